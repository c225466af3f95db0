#include "frame/text.h"

#include <cstring>

static bool IsContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// Bytes of the sequence a lead byte begins; 0 for a byte that begins none.
static size_t SequenceLength(unsigned char c)
{
    return c < 0x80 ? 1 : c < 0xC2 ? 0 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : c < 0xF5 ? 4 : 0;
}

// Where the buffer ends first, the text is cut before the character the end
// would have split.
bool AppendTextN(char* dest, size_t size, const char* src, size_t n)
{
    size_t used = strnlen(dest, size);
    if (used >= size)
        return false;
    size_t room = size - 1 - used;
    bool whole = n <= room;
    size_t take = whole ? n : room;
    while (!whole && take > 0 && IsContinuation(static_cast<unsigned char>(src[take])))
        --take;
    memcpy(dest + used, src, take);
    dest[used + take] = '\0';
    return whole;
}

bool CopyText(char* dest, size_t size, const char* src)
{
    if (size == 0)
        return false;
    dest[0] = '\0';
    return AppendText(dest, size, src);
}

bool AppendText(char* dest, size_t size, const char* src)
{
    return AppendTextN(dest, size, src, strlen(src));
}

size_t CharacterCount(const char* text)
{
    size_t count = 0;
    for (; *text != '\0'; ++text)
        count += IsContinuation(static_cast<unsigned char>(*text)) ? 0 : 1;
    return count;
}

const char* SkipCharacters(const char* text, size_t count)
{
    for (; *text != '\0'; ++text) {
        if (!IsContinuation(static_cast<unsigned char>(*text)) && count-- == 0)
            break;
    }
    return text;
}

bool ToUtf16(const char* src, wchar_t* dest, size_t units)
{
    if (units == 0)
        return false;
    size_t out = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(src); *p != 0;) {
        size_t length = SequenceLength(*p);
        unsigned long code = length == 1 ? *p : *p & (0x7F >> length);
        for (size_t i = 1; i < length; ++i) {
            if (!IsContinuation(p[i])) {
                length = 0;
                break;
            }
            code = code << 6 | (p[i] & 0x3F);
        }
        // Overlong forms, encoded surrogates and code points past Unicode's end.
        bool valid = length != 0 && !(length == 3 && code < 0x800) && !(length == 4 && code < 0x10000) &&
                     !(code >= 0xD800 && code <= 0xDFFF) && code <= 0x10FFFF;
        size_t need = code >= 0x10000 ? 2 : 1;
        if (!valid || out + need >= units) {
            dest[0] = L'\0';
            return false;
        }
        if (need == 2) {
            dest[out++] = static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
            dest[out++] = static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            dest[out++] = static_cast<wchar_t>(code);
        }
        p += length;
    }
    dest[out] = L'\0';
    return true;
}

bool FromUtf16(const wchar_t* src, size_t units, char* dest, size_t size)
{
    if (size == 0)
        return false;
    size_t out = 0;
    for (size_t i = 0; i < units && src[i] != L'\0'; ++i) {
        unsigned long code = static_cast<unsigned long>(src[i]) & 0xFFFFFFFF;
        bool high = code >= 0xD800 && code <= 0xDBFF;
        unsigned long next = high && i + 1 < units ? static_cast<unsigned long>(src[i + 1]) : 0;
        if (high && next >= 0xDC00 && next <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (next - 0xDC00);
            ++i;
        } else if ((code >= 0xD800 && code <= 0xDFFF) || code > 0xFFFF) {
            dest[0] = '\0';
            return false;
        }
        size_t need = code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
        if (out + need >= size) {
            dest[0] = '\0';
            return false;
        }
        if (need == 1) {
            dest[out++] = static_cast<char>(code);
            continue;
        }
        static const unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
        dest[out] = static_cast<char>(kLead[need] | (code >> (6 * (need - 1))));
        for (size_t k = 1; k < need; ++k)
            dest[out + k] = static_cast<char>(0x80 | ((code >> (6 * (need - 1 - k))) & 0x3F));
        out += need;
    }
    dest[out] = '\0';
    return true;
}

static unsigned char FoldAscii(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

bool EqualNoCaseN(const char* a, const char* b, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = FoldAscii(static_cast<unsigned char>(a[i]));
        unsigned char cb = FoldAscii(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return false;
        if (ca == '\0')
            return true;
    }
    return true;
}

bool EqualNoCase(const char* a, const char* b)
{
    return EqualNoCaseN(a, b, static_cast<size_t>(-1));
}

const char* FinalComponent(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == ':' || *p == '/' || *p == '\\')
            name = p + 1;
    }
    return name;
}

void PrepareBoxText(char* dest, size_t size, const char* src)
{
    if (size == 0)
        return;
    dest[0] = '\0';
    for (size_t used = 0; *src != '\0'; used = strlen(dest)) {
        size_t plain = 0;
        while (src[plain] != '\0' && !(src[plain] >= 1 && src[plain] <= 31 && src[plain] != '\r' &&
                                       src[plain] != '\n'))
            ++plain;
        if (!AppendTextN(dest, size, src, plain))
            return;
        if (src[plain] == '\0')
            break;
        // A line break goes whole or not at all.
        if (used + plain + 2 >= size)
            return;
        AppendText(dest, size, "\r\n");
        src += plain + 1;
    }
}

bool ComposeText(char* dest, size_t size, const char* format, const char* arg1, const char* arg2,
                 const char* arg3)
{
    const char* args[] = {arg1, arg2, arg3};
    size_t next = 0;
    if (size == 0)
        return false;
    dest[0] = '\0';
    // A text ends where it was first cut: nothing after the cut may follow.
    while (*format != '\0') {
        const char* mark = strstr(format, "%s");
        size_t literal = mark != nullptr ? static_cast<size_t>(mark - format) : strlen(format);
        if (!AppendTextN(dest, size, format, literal))
            return false;
        format += literal;
        if (mark == nullptr)
            break;
        if (next < 3 && args[next] != nullptr && !AppendText(dest, size, args[next]))
            return false;
        ++next;
        format += 2;
    }
    return true;
}

// One numeric conversion of FormatText: value in base 10 or 16 (upper case
// when asked), at least width digits wide, padded with zeros or blanks.
static bool AppendNumber(char* dest, size_t size, unsigned long magnitude, bool negative, unsigned base,
                         bool upper, size_t width, bool zeros)
{
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char text[48];
    char* p = text + sizeof text - 1;
    *p = '\0';
    do {
        *--p = digits[magnitude % base];
        magnitude /= base;
    } while (magnitude != 0);
    if (width > 40)
        width = 40;
    size_t length = static_cast<size_t>(text + sizeof text - 1 - p) + (negative ? 1 : 0);
    while (zeros && length < width) {
        *--p = '0';
        ++length;
    }
    if (negative)
        *--p = '-';
    for (; length < width; ++length)
        *--p = ' ';
    return AppendText(dest, size, p);
}

void FormatText(char* buffer, size_t size, const char* format, va_list args)
{
    if (size == 0)
        return;
    buffer[0] = '\0';
    if (format == nullptr) {
        CopyText(buffer, size, "<INTERNER FEHLER: Formatstring fehlt>");
        return;
    }
    if (format[0] == '\x7F' && format[1] == '\x7F') {
        CopyText(buffer, size, format + 2);
        return;
    }
    if (format[0] == '\0') {
        CopyText(buffer, size, "<INTERNER FEHLER: Formatstring leer>");
        return;
    }
    // The text ends where it was first cut.
    for (const char* p = format; *p != '\0';) {
        const char* mark = strchr(p, '%');
        size_t literal = mark != nullptr ? static_cast<size_t>(mark - p) : strlen(p);
        if (!AppendTextN(buffer, size, p, literal))
            break;
        p += literal;
        if (mark == nullptr)
            break;
        const char* field = p + 1;
        bool zeros = *field == '0';
        field += zeros ? 1 : 0;
        size_t width = 0;
        for (; *field >= '0' && *field <= '9'; ++field)
            width = width < 1000 ? width * 10 + static_cast<size_t>(*field - '0') : width;
        bool isLong = *field == 'l';
        field += isLong ? 1 : 0;
        char conversion = *field;
        bool fit = true;
        if (conversion == 's') {
            const char* text = va_arg(args, const char*);
            fit = AppendText(buffer, size, text != nullptr ? text : "(null)");
        } else if (conversion == 'd') {
            long value = isLong ? va_arg(args, long) : va_arg(args, int);
            unsigned long magnitude =
                value < 0 ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
            fit = AppendNumber(buffer, size, magnitude, value < 0, 10, false, width, zeros);
        } else if (conversion == 'u' || conversion == 'x' || conversion == 'X') {
            unsigned long value = isLong ? va_arg(args, unsigned long) : va_arg(args, unsigned);
            fit = AppendNumber(buffer, size, value, false, conversion == 'u' ? 10 : 16, conversion == 'X', width,
                               zeros);
        } else if (conversion == '%') {
            fit = AppendText(buffer, size, "%");
        } else {
            // Unknown, or the end of the format: shown as it stands.
            field = p;
            fit = AppendTextN(buffer, size, p, 1);
        }
        if (!fit)
            break;
        p = field + 1;
    }
    // A text that came out empty says nothing: show the format instead.
    if (buffer[0] == '\0')
        CopyText(buffer, size, format);
}

void FormatInto(char* buffer, size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatText(buffer, size, format, args);
    va_end(args);
}

bool AddTrailingBackslash(char* path, size_t size)
{
    size_t length = strnlen(path, size);
    if (length > 0 && (path[length - 1] == '\\' || path[length - 1] == '/'))
        return true;
    if (length + 2 > size)
        return false;
    path[length] = '\\';
    path[length + 1] = '\0';
    return true;
}

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

void EightHexDigits(unsigned value, char* digits)
{
    static const char kHex[] = "0123456789abcdef";
    for (int i = 7; i >= 0; --i, value >>= 4)
        digits[i] = kHex[value & 15];
    digits[8] = '\0';
}
