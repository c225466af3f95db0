// Existence test, copy and delete, each reporting its own failure.
#pragma once
#include <windows.h>

#include <cstddef>

#include "frame/handle.h"

// realSystemFolder: the path lies in the system folder of 64-bit Windows. The
// WOW64 redirection is then off around the file calls alone, never while a
// status line, a text or a box is made: Windows loads DLLs through it.

// True when the path or pattern names at least one entry other than "." and
// ".." (a path ending in "." accepts whatever is found first).
bool FileExists(const char* path, bool realSystemFolder = false);
// True when the file was copied; on failure shows a box when report is set.
bool CopyOneFile(const char* source, const char* target, bool report, bool overwrite);
// The box that a file cannot be deleted, for error, a Windows error text.
void ShowUndeletable(const char* path, const char* error);
// True when the file is gone: deleted, or not there in the first place.
// With plainOnly, a directory or a link at the path is left alone and also
// counts as done, and the file is deleted through a handle to itself.
// Without report, a failure leaves its Windows error as the last error.
bool DeleteOneFile(const char* path, bool report, bool plainOnly = false, bool realSystemFolder = false);
// For a file that will not go now: renamed beside itself to
// "<path>.<8 hex digits from random>.del", made writable and marked for
// deletion at the next restart; where the rename fails, path itself is
// marked. True when marked; marked then holds the name that will go.
bool DeleteAtRestart(const char* path, bool realSystemFolder, unsigned (*random)(), char* marked,
                     size_t size);

// Before a driver file goes: opens it for deletion, shared with nobody, so
// that it stays as it is until held is closed, and finds out, without
// deleting it, whether it can go. False when it cannot go now (in use,
// read-only, mapped as an image), with the Windows error as the last error.
bool OpenForDeletion(const char* path, bool realSystemFolder, UniqueFile& held);
// Deletes the file OpenForDeletion holds, closing it; true when it went.
bool DeleteHeldFile(UniqueFile& held);

// UTF-16 units of a final path, terminator included.
constexpr DWORD kFinalPathUnits = 1024;
// Where Windows really has handle open, as "X:\..." (the links and
// junctions on the way followed) into path (units); false for a place
// without a drive letter or a path that does not fit.
bool FinalPath(HANDLE handle, wchar_t* path, DWORD units);
// Where folder really lies, as Windows follows the links and junctions on the
// way: "X:\..." into path (units). False when it cannot be said.
bool FinalFolderPath(const char* folder, wchar_t* path, DWORD units);

enum PlainDeletion { kPlainFileDeleted, kNotPlainFile, kDeletionFailed, kElsewhere };
// Deletes path only when it is a plain file, never following a link; with
// meant, only when Windows finds the file at exactly that final path
// (ignoring case), else kElsewhere, as for a link at the name. With announce, sets the status line
// "Lösche ..." for a file it tries. On kDeletionFailed the Windows error is
// the last error.
PlainDeletion DeletePlainFile(const char* path, bool announce, const wchar_t* meant);
// True when the (empty) directory was removed; a failure is always shown.
bool RemoveOneDirectory(const char* path);
