#include "layouts/registry.h"

#include "frame/text.h"
#include "frame/wide.h"

#include <cstring>

bool SetStringValue(HKEY key, const char* name, const char* text)
{
    Wide wideText(text);
    if (!wideText.Whole())
        return false;
    // The terminator is stored.
    DWORD size = static_cast<DWORD>(wcslen(wideText) + 1) * DWORD{sizeof(wchar_t)};
    return RegSetValueExW(key, Wide(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(
                              static_cast<const wchar_t*>(wideText)), size) == ERROR_SUCCESS;
}

UniqueKey CreateKey(HKEY parent, const char* path, REGSAM access)
{
    HKEY key = nullptr;
    wchar_t noClass[] = L"";
    if (RegCreateKeyExW(parent, Wide(path), 0, noClass, REG_OPTION_NON_VOLATILE, access, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return UniqueKey();
    return UniqueKey(key);
}

static UniqueKey OpenKey(HKEY parent, const char* path, REGSAM access)
{
    HKEY key = nullptr;
    LONG result = RegOpenKeyExW(parent, Wide(path), 0, access, &key);
    SetLastError(static_cast<DWORD>(result));
    return UniqueKey(result == ERROR_SUCCESS ? key : nullptr);
}

UniqueKey OpenKeyForWrite(HKEY parent, const char* path)
{
    return OpenKey(parent, path, KEY_ALL_ACCESS);
}

UniqueKey OpenKeyForRead(HKEY parent, const char* path, REGSAM view)
{
    return OpenKey(parent, path, KEY_READ | view);
}

// A key opened as itself is a symbolic link when it holds the link's target.
static bool IsLink(HKEY key)
{
    DWORD type = REG_NONE;
    return RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
           type == REG_LINK;
}

UniqueKey OpenUserKey(HKEY root, const char* rootName, const char* path, REGSAM access, bool create,
                      char* reason, size_t size)
{
    char walked[2 * kPathSize];
    CopyText(walked, sizeof walked, rootName);
    UniqueKey key;
    for (const char* part = path;;) {
        const char* end = strchr(part, '\\');
        size_t length = end != nullptr ? static_cast<size_t>(end - part) : strlen(part);
        char name[kKeyNameSize];
        if (length >= sizeof name) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return UniqueKey();
        }
        memcpy(name, part, length);
        name[length] = '\0';
        AppendText(walked, sizeof walked, "\\");
        AppendText(walked, sizeof walked, name);
        // Each key on the way is asked whether it is a link before anything goes through it.
        REGSAM want = (end == nullptr ? access : 0) | KEY_QUERY_VALUE;
        HKEY parent = key ? key.get() : root, next = nullptr;
        Wide wideName(name);
        LONG result = RegOpenKeyExW(parent, wideName, REG_OPTION_OPEN_LINK, want, &next);
        if (result == ERROR_FILE_NOT_FOUND && create && end == nullptr)
            result = RegCreateKeyExW(parent, wideName, 0, nullptr, REG_OPTION_NON_VOLATILE | REG_OPTION_OPEN_LINK,
                                     want, nullptr, &next, nullptr);
        if (result != ERROR_SUCCESS) {
            SetLastError(static_cast<DWORD>(result));
            return UniqueKey();
        }
        key.reset(next);
        if (IsLink(key.get())) {
            ComposeText(reason, size, "Der Registry-Key %s ist ein Verweis auf einen anderen Key und wird nicht "
                        "bearbeitet.", walked);
            SetLastError(kErrorKeyIsLink);
            return UniqueKey();
        }
        if (end == nullptr)
            return key;
        part = end + 1;
    }
}

DWORD CountSubkeys(HKEY key)
{
    DWORD count = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return 0;
    return count;
}

DWORD CountValues(HKEY key)
{
    DWORD count = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return 0;
    return count;
}

LONG EnumSubkey(HKEY key, DWORD index, char* name, DWORD size)
{
    wchar_t wide[256];
    DWORD units = sizeof wide / sizeof wide[0];
    LONG result = RegEnumKeyExW(key, index, wide, &units, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_SUCCESS && !FromUtf16(wide, units, name, size))
        return ERROR_INVALID_DATA;
    return result;
}

LONG EnumValue(HKEY key, DWORD index, char* name, DWORD nameSize, char* data, DWORD dataSize)
{
    memset(name, 0, nameSize);
    memset(data, 0, dataSize);
    wchar_t wideName[kRegistryTextUnits];
    static wchar_t wideData[kRegistryTextUnits];
    memset(wideData, 0, sizeof wideData);
    DWORD nameUnits = kRegistryTextUnits, type = REG_NONE, bytes = sizeof wideData;
    LONG result = RegEnumValueW(key, index, wideName, &nameUnits, nullptr, &type, reinterpret_cast<BYTE*>(wideData),
                                &bytes);
    if (result != ERROR_SUCCESS)
        return result;
    if (!FromUtf16(wideName, nameUnits, name, nameSize))
        return ERROR_INVALID_DATA;
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)
        return FromUtf16(wideData, bytes / sizeof(wchar_t), data, dataSize) ? ERROR_SUCCESS : ERROR_INVALID_DATA;
    // Other data is no text: each byte up to the first zero stands for the
    // character of its number, as the list readers have always taken it.
    if (bytes > kRegistryTextUnits)
        return ERROR_MORE_DATA;
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(wideData);
    wchar_t asText[kRegistryTextUnits + 1] = {};
    for (DWORD i = 0; i < bytes && raw[i] != 0; ++i)
        asText[i] = raw[i];
    return FromUtf16(asText, kRegistryTextUnits, data, dataSize) ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

LONG ValueNameAt(HKEY key, DWORD index, const char** name, const wchar_t** wideName)
{
    // The longest value name there can be.
    static wchar_t wide[16384];
    static char utf8[3 * 16384];
    DWORD units = sizeof wide / sizeof wide[0];
    LONG result = RegEnumValueW(key, index, wide, &units, nullptr, nullptr, nullptr, nullptr);
    *name = result == ERROR_SUCCESS && FromUtf16(wide, units, utf8, sizeof utf8) ? utf8 : nullptr;
    if (wideName != nullptr)
        *wideName = wide;
    return result;
}

bool DeleteKeyTree(HKEY parent, const char* name)
{
    if (name[0] == '\0')
        return false;
    UniqueKey key = OpenKeyForWrite(parent, name);
    if (!key)
        return false;
    bool result = true;
    for (DWORD i = CountSubkeys(key.get()); i-- > 0;) {
        // Each level its own name: the recursion must not overwrite it.
        char child[kKeyNameSize];
        if (EnumSubkey(key.get(), i, child, sizeof child) != ERROR_SUCCESS) {
            result = false;
            continue;
        }
        if (!DeleteKeyTree(key.get(), child))
            result = false;
    }
    key.reset();  // closed before the key itself is deleted
    if (RegDeleteKeyW(parent, Wide(name)) != ERROR_SUCCESS)
        result = false;
    return result;
}
