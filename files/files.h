// Existence test, copy and delete, each reporting its own failure.
#pragma once
#include <cstddef>

// True when the path or pattern names at least one entry other than "." and
// ".." (a path ending in "." accepts whatever is found first).
bool FileExists(const char* path);
// True when the file was copied; on failure shows a box when report is set.
bool CopyOneFile(const char* source, const char* target, bool report, bool overwrite);
// True when the file is gone: deleted, or not there in the first place.
// With plainOnly, a directory or a link at the path is left alone and also
// counts as done, and the file is deleted through a handle to itself.
bool DeleteOneFile(const char* path, bool report, bool plainOnly = false);

enum PlainDeletion { kPlainFileDeleted, kNotPlainFile, kDeletionFailed };
// Deletes path only when it is a plain file, never following a link; with
// announce, sets the status line "Lösche ..." for a file it tries. On
// kDeletionFailed the Windows error is the last error.
PlainDeletion DeletePlainFile(const char* path, bool announce);
// True when the (empty) directory was removed; a failure is always shown.
bool RemoveOneDirectory(const char* path);
