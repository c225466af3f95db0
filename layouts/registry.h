// Thin registry operations with fixed rights and buffer sizes. They compose
// no messages but the refusal of a link; callers word their own. Every
// opened key comes with its owner.
#pragma once
#include <windows.h>

#include "frame/handle.h"

// Bytes of a key name buffer: key names have at most 255 characters, in
// UTF-8 at most 3 bytes each.
constexpr DWORD kKeyNameSize = 3 * 256;
// Value names and data are read up to 259 characters (and the terminator).
constexpr DWORD kRegistryTextUnits = 260;

bool SetStringValue(HKEY key, const char* name, const char* text);  // true on success
// Opens or makes the key (full access unless told); empty on failure.
UniqueKey CreateKey(HKEY parent, const char* path, REGSAM access = KEY_ALL_ACCESS);
// Opening fails with an empty key and the registry's error as the last error.
UniqueKey OpenKeyForWrite(HKEY parent, const char* path); // full access
UniqueKey OpenKeyForRead(HKEY parent, const char* path, REGSAM view = 0);  // KEY_READ and the view asked for
// Windows' ERROR_STOPPED_ON_SYMLINK, which the headers here lack.
constexpr DWORD kErrorKeyIsLink = 681;
// Below a user's hive (root, named rootName in texts), which that user writes
// as they like: path is opened one key at a time, each as the key itself,
// never as the key a symbolic link at its name points to; with create, a
// missing last key is made. A key on the way that is a link ends the open
// with kErrorKeyIsLink as the last error and the refusal naming it
// in reason (size bytes); other failures leave the registry's error.
UniqueKey OpenUserKey(HKEY root, const char* rootName, const char* path, REGSAM access, bool create,
                      char* reason, size_t size);
DWORD CountSubkeys(HKEY key);                             // 0 when the query fails
// Name of subkey index into name (size bytes): ERROR_SUCCESS, the registry's
// error (ERROR_NO_MORE_ITEMS past the last), or ERROR_INVALID_DATA for a
// name that cannot be converted whole, which the caller passes over.
LONG EnumSubkey(HKEY key, DWORD index, char* name, DWORD size);
DWORD CountValues(HKEY key);                              // 0 when the query fails
// Name and data of value index in UTF-8 into name and data (nameSize and
// dataSize bytes, both cleared first). String data is taken up to its first
// zero; other data, up to 260 bytes, byte for byte up to its first zero, each
// byte as the character of its number. False for a name of more than 259
// characters or data of more than 259 characters (ERROR_MORE_DATA), and a
// name or data that cannot be converted whole (ERROR_INVALID_DATA): such a
// value is not read. Otherwise the registry's result.
LONG EnumValue(HKEY key, DWORD index, char* name, DWORD nameSize, char* data, DWORD dataSize);
// Calls take(name) for the name of every value of key, in UTF-8, and ends at
// the first result other than success: ERROR_SUCCESS when that was the end
// of the list, else the registry's error (a key deleted meanwhile answers
// ERROR_KEY_DELETED at every index). A name that cannot be converted whole
// is handed on as null.
template <typename Take>
LONG ForEachValueName(HKEY key, Take take);
// Deletes parent\name with everything below it; true only when all of it
// went. An empty name deletes nothing and is false.
bool DeleteKeyTree(HKEY parent, const char* name);

// The loop's body, one index at a time: the result of that index's call.
// The name as Windows gave it goes to wideName when asked, for deleting a
// value whose name cannot be converted. Both stay valid until the next call.
LONG ValueNameAt(HKEY key, DWORD index, const char** name, const wchar_t** wideName = nullptr);

template <typename Take>
LONG ForEachValueName(HKEY key, Take take)
{
    for (DWORD i = 0;; ++i) {
        const char* name = nullptr;
        LONG result = ValueNameAt(key, i, &name);
        if (result == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (result != ERROR_SUCCESS)
            return result;
        take(name);
    }
}
