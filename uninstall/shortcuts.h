// The desktop shortcuts of the layout's chart.
#pragma once
#include <windows.h>

constexpr unsigned kShortcutPathSize = 261;

// Desktop folder of the user, or the common one (falling back to the
// user's), into path (kShortcutPathSize bytes), always ending in a
// backslash. True when a folder was found.
bool GetShellFolderPath(char* path, HWND owner, bool common);
// Deletes "<desktop>\<name>.LNK"; true when the file was deleted.
bool DeleteShortcut(HWND owner, const char* name, bool common);
