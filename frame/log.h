// The record of a run for those who remove the driver without watching:
// every status line and box, appended to a log file, and the quiet mode in
// which the boxes go only there.
#pragma once

extern bool gQuiet;        // no window, no box: each box is logged and answered
extern char gLogPath[260]; // empty: no log

// Names the process in every line ("installiert" or "Kopie").
void SetLogProcess(const char* name);
// Appends "<local time> [<process>] <kind>: <text>" and, when answer is
// given, " => <answer>". Texts are code page 1252 and go out as UTF-8, line
// breaks as " | ". A log that cannot be written is passed over.
void LogEvent(const char* kind, const char* text, const char* answer = nullptr);
