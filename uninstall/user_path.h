// The desktop folder a user's own hive names, judged before the elevated
// removal goes there. Nothing here touches Windows, so the rule can be
// checked natively.
#pragma once
#include <cstddef>

// Expands raw (a "User Shell Folders" value as the user wrote it) into path
// (size bytes). %USERPROFILE% stands for profile (their profile folder),
// %SystemDrive% and %SystemRoot% for the machine's, each name in any letter
// case. True only for a local absolute path on a drive letter ("X:\..."):
// false for any other variable or lone '%', a path that does not begin so
// (shares, "\\.\" and "\\?\" device paths, relative ones), a component of
// two or more dots, a second ':' (a stream) and a path that does not fit.
bool ExpandUserPath(const char* raw, const char* profile, const char* systemRoot, char* path, size_t size);
