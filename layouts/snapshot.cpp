#include "layouts/snapshot.h"

#include "frame/handle.h"
#include "frame/text.h"
#include "layouts/registry.h"
#include "layouts/tables.h"

#include <cstring>

static const char kPreloadPath[] = "Keyboard Layout\\Preload";
static const char kSubstitutesPath[] = "Keyboard Layout\\Substitutes";
static const char kOpenFailed[] = "Fehler beim Öffnen des Registry-Keys %s\\%s";

// The names and data enumerated last; the tables keep copies.
static char valueName[kTableTextSize];
static char valueData[kTableTextSize];
static char subkeyName[kKeyNameSize];

static LONG NextValue(HKEY key, DWORD index)
{
    return EnumValue(key, index, valueName, sizeof valueName, valueData, sizeof valueData);
}

static char* KeepName()
{
    return KeepText(valueName, sizeof valueName);
}

static char* KeepData()
{
    return KeepText(valueData, sizeof valueData);
}

// Opens a key for reading; when it cannot be, says which in the error text.
// A user's key is never reached through a link.
static UniqueKey OpenOrExplain(HKEY root, const char* rootName, const char* path, bool userKey)
{
    UniqueKey key = userKey ? OpenUserKey(root, rootName, path, KEY_READ, false, gRegistryErrorText,
                                          sizeof gRegistryErrorText)
                            : OpenKeyForRead(root, path);
    DWORD error = GetLastError();
    if (!key && error != kErrorKeyIsLink)
        ComposeText(gRegistryErrorText, sizeof gRegistryErrorText, kOpenFailed, rootName, path);
    SetLastError(error);
    return key;
}

// The hive whose lists are read (rootName in texts), and whether a missing
// list is an empty one.
struct UserHive {
    HKEY root;
    const char* rootName;
    bool missingIsEmpty;
};

// Reads the values of one of the user's lists while its table has room;
// keep(n) takes the value just enumerated into entry n.
template <typename Keep>
static bool ReadUserList(const UserHive& hive, const char* path, unsigned& count, Keep keep)
{
    UniqueKey key(OpenOrExplain(hive.root, hive.rootName, path, true));
    if (!key)
        return hive.missingIsEmpty && GetLastError() == ERROR_FILE_NOT_FOUND;
    // Values too long for the tables, or that cannot be converted, are passed
    // over; any other failure ends the list, as the user's.
    DWORD values = CountValues(key.get());
    for (DWORD i = 0; i < values && count < kTableCapacity; ++i) {
        LONG result = NextValue(key.get(), i);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result == ERROR_SUCCESS)
            keep(count++);
        if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA && result != ERROR_INVALID_DATA) {
            ComposeText(gRegistryErrorText, sizeof gRegistryErrorText, "Fehler beim Lesen des Registry-Keys %s\\%s",
                        hive.rootName, path);
            return false;
        }
    }
    return true;
}

static bool ReadPreload(const UserHive& hive)
{
    return ReadUserList(hive, kPreloadPath, gSnapshot.preloadCount, [](unsigned n) {
        PreloadEntry& e = gSnapshot.preload[n];
        e.name = KeepName();
        e.data = KeepData();
        e.number = ReadOrderNumber(e.name);
        e.canonical = IsCanonicalName(e.number, e.name);
    });
}

static bool ReadSubstitutes(const UserHive& hive)
{
    return ReadUserList(hive, kSubstitutesPath, gSnapshot.substituteCount, [](unsigned n) {
        SubstitutePair& pair = gSnapshot.substitutes[n];
        pair.name = KeepName();
        pair.data = KeepData();
        // Only the first Preload entry with that data is linked.
        for (unsigned p = 0; p < gSnapshot.preloadCount; ++p) {
            if (EqualNoCase(gSnapshot.preload[p].data, pair.name)) {
                gSnapshot.preload[p].substitute = KeepText(pair.data, sizeof valueData);
                break;
            }
        }
    });
}

static bool IsGermanLayoutName(const char* name)
{
    // Characters 5 to 8, byte for byte; shorter names are never German.
    if (CharacterCount(name) < 8)
        return false;
    const char* language = SkipCharacters(name, 4);
    return strncmp(language, "0407", 4) == 0 || strncmp(language, "0807", 4) == 0 ||
           strncmp(language, "0C07", 4) == 0 || strncmp(language, "1407", 4) == 0;
}

// The mark by which Windows' input lists name the layout; read while its
// key is still there.
static uint16_t ReadLayoutMark(HKEY layout)
{
    wchar_t wide[8];
    char id[sizeof wide];
    DWORD size = sizeof wide;
    if (RegGetValueW(layout, nullptr, L"Layout Id", RRF_RT_REG_SZ, nullptr, wide, &size) != ERROR_SUCCESS ||
        !FromUtf16(wide, sizeof wide / sizeof wide[0], id, sizeof id))
        return 0;
    return LayoutMark(id);
}

static bool ReadLayouts()
{
    UniqueKey layouts(OpenOrExplain(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", kKeyboardLayoutsPath, false));
    if (!layouts)
        return false;
    DWORD count = CountSubkeys(layouts.get());
    for (DWORD i = 0; i < count; ++i) {
        if (gSnapshot.layoutCount >= kTableCapacity ||
            EnumSubkey(layouts.get(), i, subkeyName, sizeof subkeyName) != ERROR_SUCCESS)
            continue;
        if (!IsGermanLayoutName(subkeyName))
            continue;
        bool ours = EqualNoCase(subkeyName, gLayoutKey);
        if (ours)
            gLayoutKeyIndex = static_cast<int32_t>(gSnapshot.layoutCount);
        LayoutEntry& entry = gSnapshot.layouts[gSnapshot.layoutCount];
        entry.keyName = KeepText(subkeyName, sizeof subkeyName);
        UniqueKey layout(OpenKeyForRead(layouts.get(), entry.keyName));
        if (!layout) {
            ComposeText(gRegistryErrorText, sizeof gRegistryErrorText,
                        "Fehler beim Öffnen des Registry-Subkeys %s - %s", kKeyboardLayoutsPath,
                        entry.keyName);
            return false;
        }
        DWORD values = CountValues(layout.get());
        for (DWORD v = 0; v < values; ++v) {
            if (NextValue(layout.get(), v) == ERROR_SUCCESS && strcmp(valueName, "Layout File") == 0)
                entry.layoutFile = KeepData();
        }
        if (ours)
            gLayoutMark = ReadLayoutMark(layout.get());
        ++gSnapshot.layoutCount;
    }
    return true;
}

static bool ReadUserLists(HKEY root, const char* rootName, bool missingIsEmpty)
{
    const UserHive hive = {root, rootName, missingIsEmpty};
    return ReadPreload(hive) && ReadSubstitutes(hive);
}

bool TakeLayoutSnapshot(bool missingIsEmpty)
{
    // Taken once per run, so this only matters to a second snapshot: it
    // describes the registry as it is now, not added to the one before.
    ClearLayoutTables();
    return ReadUserLists(HKEY_CURRENT_USER, "HKEY_CURRENT_USER", missingIsEmpty) && ReadLayouts();
}

bool ReadUserLayoutLists(HKEY root, const char* rootName)
{
    ClearUserLists();
    return ReadUserLists(root, rootName, true);
}
