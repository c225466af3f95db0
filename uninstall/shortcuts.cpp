#include "uninstall/shortcuts.h"

#include "files/files.h"
#include "frame/text.h"
#include "frame/wide.h"
#include "uninstall/system_dirs.h"

#include <shlobj.h>

#include <cstring>

// One byte more than a path: room for the backslash after the longest one.
constexpr unsigned kShortcutPathSize = kPathSize + 1;

// Desktop folder of the user, or the common one (falling back to the
// user's), into path (kShortcutPathSize bytes), always ending in a
// backslash, and the profile folder it belongs to. True when both were found.
static bool GetShellFolderPath(char* path, char* profile, HWND owner, bool common)
{
    bool found = common && LookupShellFolder(path, owner, CSIDL_COMMON_DESKTOPDIRECTORY);
    if (found) {
        // The public profile holds the common desktop; one right below a
        // drive's root has nothing around it the machine chose.
        CopyText(profile, kPathSize, path);
        char* last = strrchr(profile, '\\');
        *(last != nullptr && last > profile + 2 ? last : profile) = '\0';
    } else {
        found = LookupShellFolder(path, owner, CSIDL_DESKTOPDIRECTORY) &&
                LookupShellFolder(profile, owner, CSIDL_PROFILE);
    }
    // The shell gives at most 259 characters: with the 261 bytes of the
    // shortcut path the backslash always fits.
    return AddTrailingBackslash(path, kShortcutPathSize) && found;
}

// Where the shortcut at path must really lie: below the real folder of
// profile, which the machine chose and may have moved with a junction, the
// rest as path names it; a path outside profile has nothing the machine
// chose: there exactly.
static bool MeantPath(const char* path, const char* profile, wchar_t* meant)
{
    Wide widePath(path), wideProfile(profile);
    const wchar_t* rest = widePath;
    size_t length = wcslen(wideProfile);
    wchar_t composed[kFinalPathUnits] = L"";
    if (length > 0 && wcslen(widePath) > length && (widePath[length] == L'\\' || widePath[length] == L'/') &&
        CompareStringOrdinal(widePath, static_cast<int>(length), wideProfile, static_cast<int>(length), TRUE) ==
            CSTR_EQUAL &&
        FinalFolderPath(profile, composed, kFinalPathUnits))
        rest += length;
    if (wcslen(composed) + wcslen(rest) >= kFinalPathUnits)
        return false;
    wcscat(composed, rest);
    // Spelt as Windows reads a path: "/" for "\", no trailing dots.
    DWORD units = GetFullPathNameW(composed, kFinalPathUnits, meant, nullptr);
    return units > 0 && units < kFinalPathUnits;
}

bool DeleteShortcutIn(const char* folder, const char* name, const char* profile, char* reason, size_t size)
{
    char path[kShortcutPathSize];
    wchar_t meant[kFinalPathUnits];
    if (!CopyText(path, sizeof path, folder) || !AddTrailingBackslash(path, sizeof path) ||
        !AppendText(path, sizeof path, name) || !AppendText(path, sizeof path, ".LNK") ||
        !MeantPath(path, profile, meant))
        return true;
    // The desktop's path comes from the user's own registry, and the folders
    // on it are theirs: delete only a plain file, never what a link in its
    // place, or on the way to it, points to.
    if (DeletePlainFile(path, false, meant) != kElsewhere)
        return true;
    ComposeText(reason, size, "Die Datei %s ist ein Verweis auf eine andere Datei und wird nicht gelöscht.", path);
    return false;
}

bool DeleteShortcut(HWND owner, const char* name, bool common, char* reason, size_t size)
{
    char folder[kShortcutPathSize] = "", profile[kPathSize] = "";
    return !GetShellFolderPath(folder, profile, owner, common) ||
           DeleteShortcutIn(folder, name, profile, reason, size);
}
