// Reads the user's Preload and Substitutes lists and the installed German
// layouts into the tables. The registry is only read.
#pragma once

// Below HKEY_LOCAL_MACHINE: one subkey per installed layout.
inline constexpr char kKeyboardLayoutsPath[] = "System\\CurrentControlSet\\Control\\Keyboard Layouts";

// True when all three places were read; false with gRegistryErrorText set.
bool TakeLayoutSnapshot();
