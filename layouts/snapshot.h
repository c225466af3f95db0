// Reads the user's Preload and Substitutes lists and the installed German
// layouts into the tables. The registry is only read.
#pragma once
#include <windows.h>

// Below HKEY_LOCAL_MACHINE: one subkey per installed layout.
inline constexpr char kKeyboardLayoutsPath[] = "System\\CurrentControlSet\\Control\\Keyboard Layouts";

// The current user's lists and the layouts. True when all three places were
// read; false with gRegistryErrorText set. With missingIsEmpty, a list
// whose key does not exist is read as an empty one.
bool TakeLayoutSnapshot(bool missingIsEmpty);
// Another user's lists below root (rootName in texts) in place of the
// current ones; a list whose key does not exist is empty. The layouts stay.
bool ReadUserLayoutLists(HKEY root, const char* rootName);
