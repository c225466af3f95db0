#include "layouts/text_services.h"

#include "frame/handle.h"
#include "frame/log.h"
#include "frame/text.h"
#include "layouts/registry.h"
#include "layouts/tables.h"

#include <cstring>
#include <cwchar>

static const char kOrderPath[] = "Software\\Microsoft\\CTF\\SortOrder\\AssemblyItem";
static const char kDefaultsPath[] = "Software\\Microsoft\\CTF\\Assemblies";
static const char kHotKeysPath[] = "Control Panel\\Input Method\\Hot Keys";
// The keyboards' category of input profiles.
static const char kKeyboards[] = "{34745C63-B2F0-4784-8B67-5E12C8701A31}";
// CLSID and profile of a plain layout, which no text service provides.
static const wchar_t kNoService[] = L"{00000000-0000-0000-0000-000000000000}";
constexpr unsigned kGuidUnits = 39;
// The direct-switch hot keys that may name a layout.
constexpr unsigned kFirstHotKey = 0x100, kLastHotKey = 0x11F;
// Longer orders are refused rather than renumbered in part.
constexpr unsigned kMaxProfiles = 256;
constexpr DWORD kStandardLayout = 0x0407;

static HKEY hive;
static const char* hiveName;  // as the texts name it

static bool Fail(const char* format, const char* path)
{
    char key[600];
    ComposeText(key, sizeof key, "%s\\%s", hiveName, path);
    ComposeText(gRegistryErrorText, sizeof gRegistryErrorText, format, key);
    return false;
}

// path below the hive, opened as OpenUserKey does; a link is refused with
// its own text.
static UniqueKey Open(const char* path, REGSAM access, bool create = false)
{
    return OpenUserKey(hive, hiveName, path, access, create, gRegistryErrorText, sizeof gRegistryErrorText);
}

// After a failed Open: a missing key is an empty list when it may be.
static bool FailToOpen(const char* path, bool missingIsEmpty = true)
{
    DWORD error = GetLastError();
    if (missingIsEmpty && error == ERROR_FILE_NOT_FOUND)
        return true;
    return error != kErrorKeyIsLink && Fail("Warnung:\nFehler beim Öffnen des Registry-Keys %s", path);
}

static bool ReadText(HKEY key, const wchar_t* name, wchar_t* text)
{
    DWORD size = kGuidUnits * sizeof(wchar_t);
    return RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, text, &size) == ERROR_SUCCESS;
}

static bool IsNoService(HKEY key, const wchar_t* name)
{
    wchar_t text[kGuidUnits];
    return ReadText(key, name, text) && wcscmp(text, kNoService) == 0;
}

static bool ReadLayout(HKEY key, DWORD* hkl)
{
    DWORD size = sizeof *hkl;
    return RegGetValueW(key, nullptr, L"KeyboardLayout", RRF_RT_REG_DWORD, nullptr, hkl, &size) == ERROR_SUCCESS;
}

// The HKL of a layout with its "Layout Id", under whichever language.
static bool NamesLayout(DWORD hkl)
{
    return hkl >> 16 == gLayoutMark;
}

static bool IsLayoutProfile(HKEY entry)
{
    DWORD hkl = 0;
    return IsNoService(entry, L"CLSID") && IsNoService(entry, L"Profile") && ReadLayout(entry, &hkl) &&
           NamesLayout(hkl);
}

static bool SetText(HKEY key, const wchar_t* name, const wchar_t* text)
{
    DWORD size = static_cast<DWORD>(wcslen(text) + 1) * DWORD{sizeof(wchar_t)};
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size) == ERROR_SUCCESS;
}

static bool SetLayout(HKEY key, DWORD hkl)
{
    return RegSetValueExW(key, L"KeyboardLayout", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&hkl), sizeof hkl) ==
           ERROR_SUCCESS;
}

// Number n of a language's order: "<order>\<8 decimal digits>".
static void EntryPath(const char* order, unsigned n, char* path, size_t size)
{
    FormatInto(path, size, "%s\\%08u", order, n);
}

// "<list>\<language>\<keyboards>" (200 bytes): a language name has 10 characters.
static void LanguagePath(const char* list, const char* language, char* path)
{
    ComposeText(path, 200, "%s\\%s\\%s", list, language, kKeyboards);
}

// The standard German layout under that language.
static DWORD StandardLayout(DWORD language)
{
    return kStandardLayout << 16 | (language & 0xFFFF);
}

// Through the key opened as itself, so that a link put in its place
// meanwhile is never what goes.
static bool DeleteKey(const char* path)
{
    UniqueKey key = Open(path, KEY_QUERY_VALUE | DELETE);
    if (!key)
        return FailToOpen(path, false);
    return RegDeleteKeyW(key.get(), L"") == ERROR_SUCCESS ||
           Fail("Warnung:\nFehler beim Löschen des Registry-Keys %s", path);
}

// A profile to the free number to: every value as it is, type and bytes.
static bool MoveEntry(const char* order, unsigned from, unsigned to)
{
    char source[300], target[300];
    EntryPath(order, from, source, sizeof source);
    EntryPath(order, to, target, sizeof target);
    UniqueKey in = Open(source, KEY_QUERY_VALUE);
    if (!in)
        return FailToOpen(source, false);
    UniqueKey out = Open(target, KEY_SET_VALUE, true);
    if (!out)
        return FailToOpen(target, false);
    static wchar_t name[16384];
    static BYTE data[65536];
    LONG result = ERROR_SUCCESS, written = ERROR_SUCCESS;
    for (DWORD i = 0; result == ERROR_SUCCESS && written == ERROR_SUCCESS; ++i) {
        DWORD units = sizeof name / sizeof name[0], type = REG_NONE, size = sizeof data;
        result = RegEnumValueW(in.get(), i, name, &units, nullptr, &type, data, &size);
        if (result == ERROR_SUCCESS)
            written = RegSetValueExW(out.get(), name, 0, type, data, size);
    }
    if (result == ERROR_NO_MORE_ITEMS) {
        in.reset();
        return DeleteKey(source);
    }
    // No half copy beside the whole one.
    RegDeleteKeyW(out.get(), L"");
    return Fail(written != ERROR_SUCCESS ? "Warnung:\nFehler beim Schreiben des Registry-Keys %s"
                                         : "Warnung:\nFehler beim Lesen des Registry-Keys %s",
                written != ERROR_SUCCESS ? target : source);
}

// One language's order, which readers take from 00000000 up to the first
// missing number: the layout's profiles go and the others move up. Left
// with none, the first keeps its place as the standard layout.
static bool CleanOrder(const char* language, DWORD id)
{
    char order[200];
    LanguagePath(kOrderPath, language, order);
    bool ours[kMaxProfiles];
    unsigned count = 0, kept = 0;
    for (;; ++count) {
        char path[300];
        EntryPath(order, count, path, sizeof path);
        UniqueKey entry = Open(path, KEY_QUERY_VALUE);
        if (!entry && GetLastError() == ERROR_FILE_NOT_FOUND)
            break;
        if (!entry)
            return FailToOpen(path, false);
        if (count == kMaxProfiles)
            return Fail("Warnung:\nFehler beim Lesen des Registry-Keys %s", order);
        ours[count] = IsLayoutProfile(entry.get());
        kept += ours[count] ? 0 : 1;
    }
    if (kept == count)
        return true;
    const bool standard = kept == 0;
    ours[0] = ours[0] && !standard;
    for (unsigned i = 0, next = 0; i < count; ++i) {
        char path[300];
        EntryPath(order, i, path, sizeof path);
        if (ours[i] ? !DeleteKey(path) : i != next && !MoveEntry(order, i, next))
            return false;
        next += ours[i] ? 0 : 1;
    }
    if (!standard)
        return true;
    char first[300];
    EntryPath(order, 0, first, sizeof first);
    UniqueKey entry = Open(first, KEY_SET_VALUE);
    if (!entry)
        return FailToOpen(first, false);
    return SetLayout(entry.get(), StandardLayout(id)) ||
           Fail("Warnung:\nFehler beim Schreiben des Registry-Keys %s", first);
}

// A language's default naming the layout: the first profile of its order
// takes its place, or the standard layout where that is the layout's still.
static bool CleanDefault(const char* language, DWORD id)
{
    char path[200], order[200], first[300];
    LanguagePath(kDefaultsPath, language, path);
    UniqueKey key = Open(path, KEY_QUERY_VALUE);
    if (!key)
        return FailToOpen(path);
    DWORD hkl = 0;
    if (!IsNoService(key.get(), L"Default") || !ReadLayout(key.get(), &hkl) || !NamesLayout(hkl))
        return true;
    wchar_t service[kGuidUnits], profile[kGuidUnits];
    LanguagePath(kOrderPath, language, order);
    EntryPath(order, 0, first, sizeof first);
    UniqueKey entry = Open(first, KEY_QUERY_VALUE);
    if (!entry || IsLayoutProfile(entry.get()) || !ReadText(entry.get(), L"CLSID", service) ||
        !ReadText(entry.get(), L"Profile", profile) || !ReadLayout(entry.get(), &hkl)) {
        wcscpy(service, kNoService);
        wcscpy(profile, kNoService);
        hkl = StandardLayout(id);
    }
    key = Open(path, KEY_SET_VALUE);
    if (!key)
        return FailToOpen(path, false);
    return (SetText(key.get(), L"Default", service) && SetText(key.get(), L"Profile", profile) &&
            SetLayout(key.get(), hkl)) ||
           Fail("Warnung:\nFehler beim Schreiben des Registry-Keys %s", path);
}

// Each language "0x<8 hex digits>" below list.
static bool ForEachLanguage(const char* list, bool (*clean)(const char*, DWORD))
{
    UniqueKey languages = Open(list, KEY_READ);
    if (!languages)
        return FailToOpen(list);
    bool done = true;
    char language[kKeyNameSize];
    LONG result = ERROR_SUCCESS;
    for (DWORD i = 0; result == ERROR_SUCCESS || result == ERROR_INVALID_DATA; ++i) {
        result = EnumSubkey(languages.get(), i, language, sizeof language);
        uint32_t id = 0;
        if (result == ERROR_SUCCESS && language[0] == '0' && (language[1] | 0x20) == 'x' &&
            ReadHexNumber(language + 2, 8, &id))
            done = clean(language, id) && done;
    }
    return result == ERROR_NO_MORE_ITEMS ? done : Fail("Warnung:\nFehler beim Lesen des Registry-Keys %s", list);
}

// The hot keys that switch straight to the layout go whole.
static bool CleanHotKeys()
{
    UniqueKey keys = Open(kHotKeysPath, KEY_QUERY_VALUE);
    if (!keys)
        return FailToOpen(kHotKeysPath);
    bool done = true;
    for (unsigned number = kFirstHotKey; number <= kLastHotKey; ++number) {
        char path[100];
        FormatInto(path, sizeof path, "%s\\%08X", kHotKeysPath, number);
        UniqueKey key = Open(path, KEY_QUERY_VALUE);
        if (!key) {
            done = FailToOpen(path) && done;
            continue;
        }
        DWORD hkl = 0, type = REG_NONE, size = sizeof hkl;
        if (RegQueryValueExW(key.get(), L"Target IME", nullptr, &type, reinterpret_cast<BYTE*>(&hkl), &size) ==
                ERROR_SUCCESS &&
            type == REG_BINARY && size == sizeof hkl && NamesLayout(hkl)) {
            key.reset();
            done = DeleteKey(path) && done;
        }
    }
    return done;
}

bool RemoveLayoutFromTextServices(HKEY root, const char* rootName)
{
    if (gLayoutMark == 0) {
        static bool told;
        if (!told)
            LogEvent("Status", "Keine Layout-Id: die Eingabe-Listen von Windows werden nicht bereinigt.");
        told = true;
        return true;
    }
    hive = root;
    hiveName = rootName;
    bool done = ForEachLanguage(kOrderPath, CleanOrder);
    done = ForEachLanguage(kDefaultsPath, CleanDefault) && done;
    return CleanHotKeys() && done;
}
