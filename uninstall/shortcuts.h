// The desktop shortcuts of the layout's chart.
#pragma once
#include <windows.h>

// Deletes "<desktop>\<name>.LNK" from the user's desktop, or the common one
// (falling back to the user's); true when the file was deleted.
bool DeleteShortcut(HWND owner, const char* name, bool common);
// The same in folder: only a plain file, never through a link, silently.
bool DeleteShortcutIn(const char* folder, const char* name);
