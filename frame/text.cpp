#include "frame/text.h"

#include <cstring>

bool CopyText(char* dest, size_t size, const char* src)
{
    if (size == 0)
        return false;
    dest[0] = '\0';
    return AppendText(dest, size, src);
}

bool AppendText(char* dest, size_t size, const char* src)
{
    size_t used = strnlen(dest, size);
    if (used >= size)
        return false;
    size_t i = 0;
    while (src[i] != '\0' && used + i + 1 < size) {
        dest[used + i] = src[i];
        ++i;
    }
    dest[used + i] = '\0';
    return src[i] == '\0';
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
    size_t out = 0;
    for (; *src != '\0'; ++src) {
        unsigned char c = static_cast<unsigned char>(*src);
        bool control = c >= 1 && c <= 31 && c != '\r' && c != '\n';
        size_t need = control ? 2 : 1;
        if (out + need >= size)
            break;
        if (control) {
            dest[out++] = '\r';
            dest[out++] = '\n';
        } else {
            dest[out++] = static_cast<char>(c);
        }
    }
    dest[out] = '\0';
}

bool ComposeText(char* dest, size_t size, const char* format, const char* arg1, const char* arg2,
                 const char* arg3)
{
    const char* args[] = {arg1, arg2, arg3};
    size_t next = 0;
    if (size == 0)
        return false;
    dest[0] = '\0';
    bool fits = true;
    char one[2] = {0, 0};
    for (const char* p = format; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            if (next < 3 && args[next] != nullptr)
                fits = AppendText(dest, size, args[next]) && fits;
            ++next;
            ++p;
            continue;
        }
        one[0] = *p;
        fits = AppendText(dest, size, one) && fits;
    }
    return fits;
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
