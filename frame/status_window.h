// The program's one window: a title and one centred status line.
#pragma once
#include <windows.h>

extern HWND gStatusWindow;       // none until the window exists; never cleared
extern char gWindowTitle[260];
extern char gStatusLine[501];

// Registers the class, creates and shows the window. Always true: a window
// that cannot be created only means status lines are kept, not shown.
bool CreateStatusWindow();
LRESULT CALLBACK StatusWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Formats the line, repaints at once and switches to the wait cursor.
void SetStatusLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
