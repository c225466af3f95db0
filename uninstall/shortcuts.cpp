#include "uninstall/shortcuts.h"

#include "files/files.h"
#include "frame/text.h"
#include "uninstall/system_dirs.h"

#include <shlobj.h>

// One byte more than a path: room for the backslash after the longest one.
constexpr unsigned kShortcutPathSize = kPathSize + 1;

// Desktop folder of the user, or the common one (falling back to the
// user's), into path (kShortcutPathSize bytes), always ending in a
// backslash. True when a folder was found.
static bool GetShellFolderPath(char* path, HWND owner, bool common)
{
    bool found = LookupShellFolder(path, owner, common ? CSIDL_COMMON_DESKTOPDIRECTORY
                                                       : CSIDL_DESKTOPDIRECTORY);
    if (!found && common)
        found = LookupShellFolder(path, owner, CSIDL_DESKTOPDIRECTORY);
    // The shell gives at most 259 characters: with the 261 bytes of the
    // shortcut path the backslash always fits.
    return AddTrailingBackslash(path, kShortcutPathSize) && found;
}

bool DeleteShortcutIn(const char* folder, const char* name)
{
    char path[kShortcutPathSize];
    if (!CopyText(path, sizeof path, folder) || !AddTrailingBackslash(path, sizeof path) ||
        !AppendText(path, sizeof path, name) || !AppendText(path, sizeof path, ".LNK"))
        return false;
    // The desktop's path comes from the user's own registry: delete only a
    // plain file there, never what a link in its place points to.
    return DeletePlainFile(path, false) == kPlainFileDeleted;
}

bool DeleteShortcut(HWND owner, const char* name, bool common)
{
    char folder[kShortcutPathSize] = "";
    return GetShellFolderPath(folder, owner, common) && DeleteShortcutIn(folder, name);
}
