// Thin registry operations with fixed rights and buffer sizes. They compose
// no messages; callers word their own and close what they open.
#pragma once
#include <windows.h>

extern char gEnumSubkeyName[260];  // filled by EnumSubkey
extern char gEnumValueName[260];   // filled by EnumValue
extern BYTE gEnumValueData[260];   // filled by EnumValue; may hold no terminator

bool SetStringValue(HKEY key, const char* name, const char* text);  // true on success
// Opens or makes the key (full access unless told); null on failure.
HKEY CreateKey(HKEY parent, const char* path, REGSAM access = KEY_ALL_ACCESS);
HKEY OpenKeyForWrite(HKEY parent, const char* path); // full access; null on failure
HKEY OpenKeyForRead(HKEY parent, const char* path);  // KEY_READ; null on failure
DWORD CountSubkeys(HKEY key);                        // 0 when the query fails
bool EnumSubkey(HKEY key, DWORD index);              // true on success
DWORD CountValues(HKEY key);                         // 0 when the query fails
bool EnumValue(HKEY key, DWORD index);               // true on success
// Deletes parent\name with everything below it; true only when all of it
// went. An empty name deletes nothing and is false.
bool DeleteKeyTree(HKEY parent, const char* name);
