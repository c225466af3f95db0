// Thin registry operations with fixed rights and buffer sizes. They compose
// no messages; callers word their own. Every opened key comes with its owner.
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
DWORD CountSubkeys(HKEY key);                             // 0 when the query fails
// Name of subkey index into name (size bytes); true on success.
bool EnumSubkey(HKEY key, DWORD index, char* name, DWORD size);
DWORD CountValues(HKEY key);                              // 0 when the query fails
// Name and data of value index in UTF-8 into name and data (nameSize and
// dataSize bytes, both cleared first). String data is taken up to its first
// zero; other data, up to 260 bytes, byte for byte up to its first zero, each
// byte as the character of its number. False for a name of more than 259
// characters, data of more than 259 characters, and a name or data that
// cannot be converted whole: such a value is not read.
bool EnumValue(HKEY key, DWORD index, char* name, DWORD nameSize, char* data, DWORD dataSize);
// Deletes parent\name with everything below it; true only when all of it
// went. An empty name deletes nothing and is false.
bool DeleteKeyTree(HKEY parent, const char* name);
