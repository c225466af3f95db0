// The command line and the program's name, taken once at start-up.
#pragma once

#include "frame/text.h"

extern char gProgramBaseName[kPathSize];

// Splits the wide command line into the argument table and derives the
// base name of the module; the base name also becomes the first window title.
void InitEnvironment();
