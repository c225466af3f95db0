#include "layouts/registry.h"

#include <cstring>

bool SetStringValue(HKEY key, const char* name, const char* text)
{
    DWORD size = static_cast<DWORD>(strlen(text)) + 1;  // the terminator is stored
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size) ==
           ERROR_SUCCESS;
}

UniqueKey CreateKey(HKEY parent, const char* path, REGSAM access)
{
    HKEY key = nullptr;
    char noClass[] = "";
    if (RegCreateKeyExA(parent, path, 0, noClass, REG_OPTION_NON_VOLATILE, access, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return UniqueKey();
    return UniqueKey(key);
}

static UniqueKey OpenKey(HKEY parent, const char* path, REGSAM access)
{
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(parent, path, 0, access, &key);
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
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return 0;
    return count;
}

DWORD CountValues(HKEY key)
{
    DWORD count = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return 0;
    return count;
}

bool EnumSubkey(HKEY key, DWORD index, char* name, DWORD size)
{
    return RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

bool EnumValue(HKEY key, DWORD index, char* name, DWORD nameSize, BYTE* data, DWORD dataSize)
{
    memset(name, 0, nameSize);
    memset(data, 0, dataSize);
    return RegEnumValueA(key, index, name, &nameSize, nullptr, nullptr, data, &dataSize) ==
           ERROR_SUCCESS;
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
    if (RegDeleteKeyA(parent, name) != ERROR_SUCCESS)
        result = false;
    return result;
}
