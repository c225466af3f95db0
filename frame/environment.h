// The command line and the program's name, taken once at start-up.
#pragma once

#include "frame/text.h"

extern char gProgramBaseName[kPathSize];
// Where this process's file lies; empty when the path was cut or could not
// be converted whole, since it would then name another file.
extern char gModulePath[kPathSize];

// Splits the wide command line into the argument table, takes the module's
// path and derives its base name, which also becomes the first window title.
void InitEnvironment();
