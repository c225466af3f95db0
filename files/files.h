// Existence test, copy and delete, each reporting its own failure.
#pragma once
#include <cstddef>

// True when the path or pattern names at least one entry other than "." and
// ".." (a path ending in "." accepts whatever is found first).
bool FileExists(const char* path);
// True when the file was copied; on failure shows a box when report is set.
bool CopyOneFile(const char* source, const char* target, bool report, bool overwrite);
// True when the file is gone: deleted, or not there in the first place.
bool DeleteOneFile(const char* path, bool report);
// True when the (empty) directory was removed; a failure is always shown.
bool RemoveOneDirectory(const char* path);
// Ends the path in a separator ("" becomes "\"). False, with the path left
// as it was, when the buffer (size bytes) has no room for it.
bool AddTrailingBackslash(char* path, size_t size);
