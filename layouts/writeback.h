// Writes the rebuilt layout lists back to the user's registry.
#pragma once

#include <windows.h>

// Rewrites Preload and Substitutes below root (rootName in texts) from the
// rebuilt tables. True when nothing failed; otherwise gRegistryErrorText
// says what.
bool WriteBackLayoutLists(HKEY root = HKEY_CURRENT_USER, const char* rootName = "HKEY_CURRENT_USER");

// Another user's lists: read, rebuilt without the layout (a list left
// without another layout gets the standard one), written back, and the
// layout taken out of their language and text-service lists. Missing lists
// are empty. True when nothing failed; otherwise gRegistryErrorText names
// the first failure.
bool RemoveLayoutForUser(HKEY root, const char* rootName);
