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

bool EnumSubkey(HKEY key, DWORD index, char* name, DWORD size)
{
    wchar_t wide[256];
    DWORD units = sizeof wide / sizeof wide[0];
    return RegEnumKeyExW(key, index, wide, &units, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           FromUtf16(wide, units, name, size);
}

bool EnumValue(HKEY key, DWORD index, char* name, DWORD nameSize, char* data, DWORD dataSize)
{
    memset(name, 0, nameSize);
    memset(data, 0, dataSize);
    wchar_t wideName[kRegistryTextUnits];
    static wchar_t wideData[kRegistryTextUnits];
    memset(wideData, 0, sizeof wideData);
    DWORD nameUnits = kRegistryTextUnits, type = REG_NONE, bytes = sizeof wideData;
    if (RegEnumValueW(key, index, wideName, &nameUnits, nullptr, &type, reinterpret_cast<BYTE*>(wideData),
                      &bytes) != ERROR_SUCCESS ||
        !FromUtf16(wideName, nameUnits, name, nameSize))
        return false;
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)
        return FromUtf16(wideData, bytes / sizeof(wchar_t), data, dataSize);
    // Other data is no text: each byte up to the first zero stands for the
    // character of its number, as the list readers have always taken it.
    if (bytes > kRegistryTextUnits)
        return false;
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(wideData);
    wchar_t asText[kRegistryTextUnits + 1] = {};
    for (DWORD i = 0; i < bytes && raw[i] != 0; ++i)
        asText[i] = raw[i];
    return FromUtf16(asText, kRegistryTextUnits, data, dataSize);
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
        if (!EnumSubkey(key.get(), i, child, sizeof child)) {
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
