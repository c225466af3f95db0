#include "layouts/languages.h"

#include "frame/handle.h"
#include "frame/text.h"
#include "frame/wide.h"
#include "layouts/registry.h"
#include "layouts/tables.h"

#include <cstring>

static const char* const kProfilePaths[] = {
    "Control Panel\\International\\User Profile",
    "Control Panel\\International\\User Profile System Backup",
};
static const char kDefaultMethod[] = "InputMethodOverride";
// "0407:E0010407": four digits, a colon, the layout key of 8 characters.
constexpr size_t kMethodNameSize = 5 + kArgumentSize;
constexpr unsigned kMaxRemoved = 64;

// Any value named by four hex digits and a colon, text services included.
static bool IsInputMethod(const char* name)
{
    return IsHexDigit(name[0]) && IsHexDigit(name[1]) && IsHexDigit(name[2]) && IsHexDigit(name[3]) &&
           name[4] == ':';
}

static bool NamesLayout(const char* text)
{
    return IsInputMethod(text) && EqualNoCase(text + 5, gLayoutKey);
}

static const char* listRoot;  // the user's hive, as the texts name it

static bool Fail(const char* format, const char* path, const char* name)
{
    char key[600];
    ComposeText(key, sizeof key, "%s\\%s", listRoot, path);
    ComposeText(gRegistryErrorText, sizeof gRegistryErrorText, format, key, name);
    return false;
}

// Opens path below parent, parentPath below the hive ("": the hive itself),
// as OpenUserKey does: a link is refused with its own text; the other
// failures are the caller's to word (FailToOpen).
static UniqueKey OpenInList(HKEY parent, const char* parentPath, const char* path, REGSAM access)
{
    char name[600];
    ComposeText(name, sizeof name, parentPath[0] != '\0' ? "%s\\%s" : "%s", listRoot, parentPath);
    return OpenUserKey(parent, name, path, access, false, gRegistryErrorText, sizeof gRegistryErrorText);
}

static bool FailToOpen(const char* path)
{
    return GetLastError() != kErrorKeyIsLink &&
           Fail("Warnung:\nFehler beim Öffnen des Registry-Keys %s", path, nullptr);
}

// One language: its values naming the layout go; when nothing else is left
// to type with, the standard layout comes first, with the first removed
// value's digits and data.
static bool CleanLanguage(HKEY profile, const char* profilePath, const char* language)
{
    char path[600];
    ComposeText(path, sizeof path, "%s\\%s", profilePath, language);
    UniqueKey key = OpenInList(profile, profilePath, language, KEY_READ);
    if (!key)
        return FailToOpen(path);
    static char removed[kMaxRemoved][kMethodNameSize];
    unsigned removedCount = 0, othersLeft = 0;
    LONG listed = ForEachValueName(key.get(), [&](const char* name) {
        if (name != nullptr && NamesLayout(name) && removedCount < kMaxRemoved)
            CopyText(removed[removedCount++], sizeof removed[0], name);
        else if (name == nullptr || IsInputMethod(name))
            ++othersLeft;  // what cannot be read may be one too
    });
    // A list that could not be read to its end (deleted meanwhile) is left as it is.
    if (listed != ERROR_SUCCESS)
        return Fail("Warnung:\nFehler beim Lesen des Registry-Keys %s", path, nullptr);
    if (removedCount == 0)
        return true;
    key = OpenInList(profile, profilePath, language, KEY_ALL_ACCESS);
    if (!key)
        return FailToOpen(path);
    if (othersLeft == 0) {
        // An input method's data is its place in the language's order.
        BYTE data[64];
        DWORD type = REG_DWORD, size = sizeof data;
        if (RegQueryValueExW(key.get(), Wide(removed[0]), nullptr, &type, data, &size) != ERROR_SUCCESS) {
            const DWORD first = 1;
            memcpy(data, &first, sizeof first);
            type = REG_DWORD;
            size = sizeof first;
        }
        char standard[kMethodNameSize];
        memcpy(standard, removed[0], 5);
        CopyText(standard + 5, sizeof standard - 5, "00000407");
        if (RegSetValueExW(key.get(), Wide(standard), 0, type, data, size) != ERROR_SUCCESS)
            return Fail("Warnung:\nFehler beim Schreiben des Registry-Werts %s - %s", path, standard);
    }
    for (unsigned i = 0; i < removedCount; ++i)
        if (RegDeleteValueW(key.get(), Wide(removed[i])) != ERROR_SUCCESS)
            return Fail("Warnung:\nFehler beim Löschen des Registry-Werts %s - %s", path, removed[i]);
    return true;
}

// One of the two lists: each language, then the default input method.
static bool CleanProfile(HKEY root, const char* profilePath)
{
    UniqueKey profile = OpenInList(root, "", profilePath, KEY_READ);
    if (!profile)
        return GetLastError() == ERROR_FILE_NOT_FOUND || FailToOpen(profilePath);
    bool done = true;
    char language[kKeyNameSize];
    LONG result = ERROR_SUCCESS;
    for (DWORD i = 0; result == ERROR_SUCCESS || result == ERROR_INVALID_DATA; ++i) {
        result = EnumSubkey(profile.get(), i, language, sizeof language);
        if (result == ERROR_SUCCESS)
            done = CleanLanguage(profile.get(), profilePath, language) && done;
    }
    if (result != ERROR_NO_MORE_ITEMS)
        done = Fail("Warnung:\nFehler beim Lesen des Registry-Keys %s", profilePath, nullptr);
    wchar_t wideMethod[kRegistryTextUnits];
    char method[kTableTextSize];
    DWORD size = sizeof wideMethod;
    if (RegGetValueW(profile.get(), nullptr, Wide(kDefaultMethod), RRF_RT_REG_SZ, nullptr, wideMethod, &size) !=
            ERROR_SUCCESS ||
        !FromUtf16(wideMethod, kRegistryTextUnits, method, sizeof method) || !NamesLayout(method))
        return done;
    UniqueKey writable = OpenInList(root, "", profilePath, KEY_ALL_ACCESS);
    if (!writable && GetLastError() == kErrorKeyIsLink)
        return false;
    if (!writable || RegDeleteValueW(writable.get(), Wide(kDefaultMethod)) != ERROR_SUCCESS)
        return Fail("Warnung:\nFehler beim Löschen des Registry-Werts %s - %s", profilePath, kDefaultMethod);
    return done;
}

bool RemoveLayoutFromLanguageLists(HKEY root, const char* rootName)
{
    listRoot = rootName;
    bool done = true;
    for (const char* path : kProfilePaths)
        done = CleanProfile(root, path) && done;
    return done;
}
