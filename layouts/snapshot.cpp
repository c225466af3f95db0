#include "layouts/snapshot.h"

#include "frame/handle.h"
#include "frame/text.h"
#include "layouts/registry.h"
#include "layouts/tables.h"

#include <cstring>

static const char kPreloadPath[] = "Keyboard Layout\\Preload";
static const char kSubstitutesPath[] = "Keyboard Layout\\Substitutes";
static const char kLayoutsPath[] = "System\\CurrentControlSet\\Control\\Keyboard Layouts";
static const char kOpenFailed[] = "Fehler beim Öffnen des Registry-Keys %s\\%s";

static char* KeepName()
{
    return KeepText(gEnumValueName, sizeof gEnumValueName);
}

static char* KeepData()
{
    return KeepText(reinterpret_cast<const char*>(gEnumValueData), sizeof gEnumValueData);
}

// Opens a key for reading; when it cannot be, says which in the error text.
static HKEY OpenOrExplain(HKEY root, const char* rootName, const char* path)
{
    HKEY key = OpenKeyForRead(root, path);
    if (key == nullptr)
        ComposeText(gRegistryErrorText, sizeof gRegistryErrorText, kOpenFailed, rootName, path);
    return key;
}

// Reads the values of one of the user's lists while its table has room;
// keep(n) takes the value just enumerated into entry n.
template <typename Keep>
static bool ReadUserList(const char* path, unsigned& count, Keep keep)
{
    UniqueKey key(OpenOrExplain(HKEY_CURRENT_USER, "HKEY_CURRENT_USER", path));
    if (!key)
        return false;
    DWORD values = CountValues(key.get());
    for (DWORD i = 0; i < values; ++i) {
        if (count < kTableCapacity && EnumValue(key.get(), i))
            keep(count++);
    }
    return true;
}

static bool ReadPreload()
{
    return ReadUserList(kPreloadPath, gPreloadCount, [](unsigned n) {
        PreloadEntry& e = gPreload[n];
        e.name = KeepName();
        e.data = KeepData();
        e.number = ReadOrderNumber(e.name);
        e.canonical = IsCanonicalName(e.number, e.name);
    });
}

static bool ReadSubstitutes()
{
    return ReadUserList(kSubstitutesPath, gSubstituteCount, [](unsigned n) {
        SubstitutePair& pair = gSubstitutes[n];
        pair.name = KeepName();
        pair.data = KeepData();
        // Only the first Preload entry with that data is linked.
        for (unsigned p = 0; p < gPreloadCount; ++p) {
            if (EqualNoCase(gPreload[p].data, pair.name)) {
                gPreload[p].substitute = KeepText(pair.data, sizeof gEnumValueData);
                break;
            }
        }
    });
}

static bool IsGermanLayoutName(const char* name)
{
    // Characters 5 to 8, byte for byte; shorter names are never German.
    if (strlen(name) < 8)
        return false;
    const char* language = name + 4;
    return memcmp(language, "0407", 4) == 0 || memcmp(language, "0807", 4) == 0 ||
           memcmp(language, "0C07", 4) == 0 || memcmp(language, "1407", 4) == 0;
}

static bool ReadLayouts()
{
    UniqueKey layouts(OpenOrExplain(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", kLayoutsPath));
    if (!layouts)
        return false;
    DWORD count = CountSubkeys(layouts.get());
    for (DWORD i = 0; i < count; ++i) {
        if (gLayoutCount >= kTableCapacity || !EnumSubkey(layouts.get(), i))
            continue;
        if (!IsGermanLayoutName(gEnumSubkeyName))
            continue;
        if (EqualNoCase(gEnumSubkeyName, gLayoutKey))
            gLayoutKeyIndex = static_cast<int32_t>(gLayoutCount);
        LayoutEntry& entry = gLayouts[gLayoutCount];
        entry.keyName = KeepText(gEnumSubkeyName, sizeof gEnumSubkeyName);
        UniqueKey layout(OpenKeyForRead(layouts.get(), entry.keyName));
        if (!layout) {
            ComposeText(gRegistryErrorText, sizeof gRegistryErrorText,
                        "Fehler beim Öffnen des Registry-Subkeys %s - %s", kLayoutsPath,
                        entry.keyName);
            return false;
        }
        DWORD values = CountValues(layout.get());
        for (DWORD v = 0; v < values; ++v) {
            if (EnumValue(layout.get(), v) && strcmp(gEnumValueName, "Layout File") == 0)
                entry.layoutFile = KeepData();
        }
        ++gLayoutCount;
    }
    return true;
}

bool TakeLayoutSnapshot()
{
    memset(gPreload, 0, sizeof gPreload);
    memset(gSubstitutes, 0, sizeof gSubstitutes);
    memset(gLayouts, 0, sizeof gLayouts);
    memset(gNewPreload, 0, sizeof gNewPreload);
    memset(gNewSubstitutes, 0, sizeof gNewSubstitutes);
    // Taken once per run, so this only matters to a second snapshot: it
    // describes the registry as it is now, not added to the one before.
    gPreloadCount = gSubstituteCount = gLayoutCount = 0;
    gNewPreloadCount = gNewSubstituteCount = 0;
    gLayoutKeyIndex = -1;
    gLayoutNotInPreload = false;
    return ReadPreload() && ReadSubstitutes() && ReadLayouts();
}
