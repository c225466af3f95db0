// The message boxes through which every report
// reaches the user.
#pragma once
#include <windows.h>

#include "frame/text.h"

// Each shows one box and returns the button code (IDYES = 6 for "yes").
// The formats are FormatText's (frame/text.h), a part of printf's syntax, so
// the compiler can check every call's arguments.
#define BOX_FORMAT(n) __attribute__((format(printf, n, n + 1)))
int InfoBox(const char* format, ...) BOX_FORMAT(1);
int QuestionBox(const char* format, ...) BOX_FORMAT(1);
int WarningBox(const char* format, ...) BOX_FORMAT(1);
int CaptionWarningBox(const char* caption, const char* format, ...) BOX_FORMAT(2);
// A warning whose text is shown exactly as given, never read as a format.
int WarningBoxVerbatim(const char* text);

// Boxes other than questions shown so far: warnings, and information that
// the run did not go as planned (the final report counts too).
extern unsigned gProblemBoxes;

// The German description of a Windows error code that failure boxes quote:
// the number, the system's text, a hint for access denied. The result is one
// static buffer, overwritten by the next call.
const char* DescribeWindowsError(DWORD code);
// The same for the last error; call right after the failing system call.
const char* CaptureLastError();
