// The language lists of Windows 8 to 11, where Settings keeps each user's
// keyboards beside the Preload list.
#pragma once
#include <windows.h>

// Below root (rootName in texts), in "User Profile" and "User Profile System
// Backup": every input method "<4 hex digits>:<layout key>" leaves its
// language, and a default input method naming it goes. A language left
// without any input method gets the standard layout in the removed one's
// place. Missing keys are empty lists. True when nothing failed; otherwise
// gRegistryErrorText says what failed last.
bool RemoveLayoutFromLanguageLists(HKEY root, const char* rootName);
