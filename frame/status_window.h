// The program's one window: a title and one centred status line.
#pragma once
#include <windows.h>

#include "frame/text.h"

extern HWND gStatusWindow;       // none until the window exists; never cleared
extern char gStatusLine[501];    // the line last set, shown or not

// The window's title: name, then addition (if any), cut at 259 bytes. Takes
// effect when the window is created.
void SetWindowTitle(const char* name, const char* addition = nullptr);
// Registers the class, creates and shows the window as showCommand says (the
// one WinMain got), centred on the screen. Always true: a window that cannot
// be created only means status lines are kept, not shown.
bool CreateStatusWindow(int showCommand);
// Formats the line, repaints at once and switches to the wait cursor.
void SetStatusLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
