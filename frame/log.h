// The record of a run for those who remove the driver without watching:
// every status line and box, appended to the file gLogPath names (see
// frame/cmdline.h, where the quiet mode is too).
#pragma once

// Names the process in every line ("installiert" or "Kopie").
void SetLogProcess(const char* name);
// Appends "<local time> [<process>] <kind>: <text>" and, when answer is
// given, " => <answer>". Texts are UTF-8 and go out so, line
// breaks as " | ". A log that cannot be written is passed over.
void LogEvent(const char* kind, const char* text, const char* answer = nullptr);
