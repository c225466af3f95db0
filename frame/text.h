// Bounded text helpers shared by every module. Nothing here touches Windows,
// so the rules can be checked natively with the sanitizers.
#pragma once
#include <cstddef>

// Bytes of every path buffer: MAX_PATH, the longest path the narrow calls
// hand out, terminator included.
constexpr size_t kPathSize = 260;

// Copies src into dest (size bytes, terminator included), cutting it at the
// end of the buffer. Returns true when src fit whole.
bool CopyText(char* dest, size_t size, const char* src);
// Appends src to the text in dest in the same way. Returns true when it fit.
bool AppendText(char* dest, size_t size, const char* src);

// The program's one case rule: only the ASCII letters A-Z and a-z are folded,
// every other byte compares exactly. True when the texts are equal.
bool EqualNoCase(const char* a, const char* b);
// The same for the first n bytes (shorter texts compare up to their end).
bool EqualNoCaseN(const char* a, const char* b, size_t n);

// The text after the last ':', '/' or '\' of a path.
const char* FinalComponent(const char* path);

// Box text: every control character 1..31 except CR and LF becomes CR LF.
// Cuts at the end of dest (size bytes, terminator included).
void PrepareBoxText(char* dest, size_t size, const char* src);

// Writes format into dest with each "%s" replaced by the next argument
// (missing ones by nothing), cut at the buffer's end. No other conversion
// exists, so a text read from outside can never act as a format here.
// Returns true when the whole text fit.
bool ComposeText(char* dest, size_t size, const char* format, const char* arg1,
                 const char* arg2 = nullptr, const char* arg3 = nullptr);

// 0-9, a-f or A-F.
bool IsHexDigit(char c);
// value as 8 lower-case hexadecimal digits, terminated (9 bytes).
void EightHexDigits(unsigned value, char* digits);

// Ends the path in a separator ("" becomes "\"). False, with the path left
// as it was, when the buffer (size bytes) has no room for it.
bool AddTrailingBackslash(char* path, size_t size);
