// The directories the uninstall works in.
#pragma once
#include <windows.h>

#include "frame/text.h"

extern bool gWow64;                           // this 32-bit process runs on 64-bit Windows
extern char gSystemDirectory[kPathSize];      // ends in a backslash
extern char gSystemWow64Directory[kPathSize]; // ends in a backslash; empty on 32-bit Windows
extern char gProgramFolder[kPathSize];        // no trailing backslash

// Finds out whether this is 64-bit Windows (gWow64) and computes the three
// directories. The redirection stays as Windows set it: on 64-bit Windows the
// system directory is reached through the files' realSystemFolder mode.
void PrepareSystemDirectories();

// Path of a shell special folder (CSIDL) into path (kPathSize bytes). True
// only when the shell located it and gave a non-empty path.
bool LookupShellFolder(char* path, HWND owner, int folder);
