#include "layouts/registry.h"

#include "frame/text.h"

#include <cstring>

char gEnumSubkeyName[260];
char gEnumValueName[260];
BYTE gEnumValueData[260];

bool SetStringValue(HKEY key, const char* name, const char* text)
{
    DWORD size = static_cast<DWORD>(strlen(text)) + 1;  // the terminator is stored
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size) ==
           ERROR_SUCCESS;
}

HKEY CreateKey(HKEY parent, const char* path, REGSAM access)
{
    HKEY key = nullptr;
    char noClass[] = "";
    if (RegCreateKeyExA(parent, path, 0, noClass, REG_OPTION_NON_VOLATILE, access, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

static HKEY OpenKey(HKEY parent, const char* path, REGSAM access)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, path, 0, access, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

HKEY OpenKeyForWrite(HKEY parent, const char* path)
{
    return OpenKey(parent, path, KEY_ALL_ACCESS);
}

HKEY OpenKeyForRead(HKEY parent, const char* path)
{
    return OpenKey(parent, path, KEY_READ);
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

bool EnumSubkey(HKEY key, DWORD index)
{
    DWORD size = sizeof gEnumSubkeyName;
    return RegEnumKeyExA(key, index, gEnumSubkeyName, &size, nullptr, nullptr, nullptr,
                         nullptr) == ERROR_SUCCESS;
}

bool EnumValue(HKEY key, DWORD index)
{
    memset(gEnumValueName, 0, sizeof gEnumValueName);
    memset(gEnumValueData, 0, sizeof gEnumValueData);
    DWORD nameSize = sizeof gEnumValueName;
    DWORD dataSize = sizeof gEnumValueData;
    return RegEnumValueA(key, index, gEnumValueName, &nameSize, nullptr, nullptr, gEnumValueData,
                         &dataSize) == ERROR_SUCCESS;
}

bool DeleteKeyTree(HKEY parent, const char* name)
{
    if (name[0] == '\0')
        return false;
    HKEY key = OpenKeyForWrite(parent, name);
    if (key == nullptr)
        return false;
    bool result = true;
    for (DWORD i = CountSubkeys(key); i-- > 0;) {
        if (!EnumSubkey(key, i)) {
            result = false;
            continue;
        }
        // The recursion overwrites the shared name buffer.
        char child[260];
        CopyText(child, sizeof child, gEnumSubkeyName);
        if (!DeleteKeyTree(key, child))
            result = false;
    }
    RegCloseKey(key);
    if (RegDeleteKeyA(parent, name) != ERROR_SUCCESS)
        result = false;
    return result;
}
