// The desktop shortcuts of the layout's chart.
#pragma once
#include <windows.h>

#include <cstddef>

// Deletes "<desktop>\<name>.LNK" from the user's desktop, or the common one
// (falling back to the user's), as DeleteShortcutIn does.
bool DeleteShortcut(HWND owner, const char* name, bool common, char* reason, size_t size);
// The same in folder, the desktop of the user whose profile folder (chosen by
// the machine, not by them) is profile: only a plain file, never through a
// link, and only where Windows finds it inside profile's real folder as the
// rest of folder names it (a folder outside profile: exactly there). False
// only when something else was found in its place, with the user's warning
// in reason (size bytes); any other failure is silent.
bool DeleteShortcutIn(const char* folder, const char* name, const char* profile, char* reason, size_t size);
