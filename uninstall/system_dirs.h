// The directories the uninstall works in, and WOW64 file-system redirection.
#pragma once
#include <windows.h>

extern char gSystemDirectory[260];      // ends in a backslash
extern char gSystemWow64Directory[260]; // ends in a backslash; empty on 32-bit Windows
extern char gProgramFolder[260];        // no trailing backslash

// Computes the three directories; on 64-bit Windows switches redirection off
// until RevertFsRedirection.
void PrepareSystemDirectories();
void RevertFsRedirection();

// Path of a shell special folder (CSIDL) into path (260 bytes). True only
// when the shell located it and gave a non-empty path.
bool LookupShellFolder(char* path, HWND owner, int folder);
// The same with the status window as owner.
bool GetSpecialFolderPath(char* path, int folder);
