// Bounded text helpers shared by every module. The program's texts are UTF-8;
// nothing here touches Windows, so the rules can be checked natively.
#pragma once
#include <cstdarg>
#include <cstddef>

// Bytes of every path buffer: a path Windows accepts has at most 259 UTF-16
// units before its terminator, and each unit takes at most 3 bytes of UTF-8
// (a surrogate pair, two units, takes 4).
constexpr size_t kPathSize = 3 * 260;

// Copies src into dest (size bytes, terminator included), cutting it at the
// end of the buffer, never inside a character. Returns true when src fit whole.
bool CopyText(char* dest, size_t size, const char* src);
// Appends src to the text in dest in the same way. Returns true when it fit.
bool AppendText(char* dest, size_t size, const char* src);
// The same for the first n bytes of src, which end with a whole character.
bool AppendTextN(char* dest, size_t size, const char* src, size_t n);

// Characters (not bytes) of a UTF-8 text, and the text after its first count
// characters (its end, when it has fewer).
size_t CharacterCount(const char* text);
const char* SkipCharacters(const char* text, size_t count);

// UTF-8 into UTF-16 units (units wide, terminator included). False, with
// dest empty, when src is no valid UTF-8 or does not fit whole: a text is
// never handed on altered.
bool ToUtf16(const char* src, wchar_t* dest, size_t units);
// UTF-16 (at most units of it, or up to its terminator) into UTF-8 (size
// bytes, terminator included). False, with dest empty, for an unpaired
// surrogate or a text that does not fit whole.
bool FromUtf16(const wchar_t* src, size_t units, char* dest, size_t size);

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

// Writes the text for format and args into buffer (size bytes, terminator
// included), cut at the buffer's end. Never leaves the buffer without text.
// Conversions as printf writes them: %s, %d, %u, %x and %X (with a '0' flag,
// a width and 'l'), and %%; any other is shown as it stands, reading no
// argument. A format that begins with the bytes 7F 7F is shown as it stands
// after them, percent signs included: the way to show texts composed at run
// time.
void FormatText(char* buffer, size_t size, const char* format, va_list args);
// The same with the arguments given directly.
void FormatInto(char* buffer, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));

// 0-9, a-f or A-F.
bool IsHexDigit(char c);
// value as 8 lower-case hexadecimal digits, terminated (9 bytes).
void EightHexDigits(unsigned value, char* digits);

// Ends the path in a separator ("" becomes "\"). False, with the path left
// as it was, when the buffer (size bytes) has no room for it.
bool AddTrailingBackslash(char* path, size_t size);
