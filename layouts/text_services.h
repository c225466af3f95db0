// The text-service framework's own lists of Windows 8 to 11, from which the
// input switcher offers each user's keyboards: each language's order of
// input profiles, its default profile, and the direct-switch hot keys.
#pragma once
#include <windows.h>

// Below root (rootName in texts): a plain layout's profile whose HKL carries
// gLayoutMark in its high word leaves each language's order (the others
// renumbered without a gap; a language left with none gets the standard
// layout), a default naming it gets the language's first profile, and a hot
// key switching to it goes. Without a mark nothing is touched, and the log
// says so once. Missing keys are empty lists. True when nothing failed;
// otherwise gRegistryErrorText says what failed last.
bool RemoveLayoutFromTextServices(HKEY root, const char* rootName);
