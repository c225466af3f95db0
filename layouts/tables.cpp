#include "layouts/tables.h"

#include "frame/text.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>

LayoutSnapshot gSnapshot;
RebuiltLists gRebuilt;

char gLayoutKey[kArgumentSize];
int32_t gLayoutKeyIndex = -1;
bool gLayoutNotInPreload;
bool gLayoutKeyGone;
char gRegistryErrorText[1000];
uint16_t gLayoutMark;

void ClearUserLists()
{
    // Copied from empty lists in zeroed memory: a temporary of this size
    // would not belong on the stack.
    static const RebuiltLists kNothingRebuilt = {};
    std::fill(std::begin(gSnapshot.preload), std::end(gSnapshot.preload), PreloadEntry{});
    std::fill(std::begin(gSnapshot.substitutes), std::end(gSnapshot.substitutes), SubstitutePair{});
    gSnapshot.preloadCount = 0;
    gSnapshot.substituteCount = 0;
    gRebuilt = kNothingRebuilt;
    gLayoutNotInPreload = false;
}

void ClearLayoutTables()
{
    std::fill(std::begin(gSnapshot.layouts), std::end(gSnapshot.layouts), LayoutEntry{});
    gSnapshot.layoutCount = 0;
    ClearUserLists();
    gLayoutKeyIndex = -1;
    gLayoutMark = 0;
}

char* KeepText(const char* text, size_t maxLength)
{
    // Plain malloc keeps the C++ runtime's exception machinery out of the
    // program file. Out of memory, the table gets an empty text, not a null.
    size_t length = strnlen(text, maxLength);
    char* copy = static_cast<char*>(malloc(length + 1));
    if (copy == nullptr) {
        static char empty[1] = "";
        return empty;
    }
    memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

bool ReadHexNumber(const char* text, unsigned digits, uint32_t* value)
{
    *value = 0;
    for (unsigned i = 0; i < digits; ++i) {
        char c = text[i];
        if (!IsHexDigit(c))
            return false;
        *value = *value * 16u + static_cast<uint32_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    return text[digits] == '\0';
}

uint16_t LayoutMark(const char* layoutId)
{
    uint32_t id = 0;
    return ReadHexNumber(layoutId, 4, &id) && id != 0 ? static_cast<uint16_t>(0xF000u | id) : 0;
}

int32_t ReadOrderNumber(const char* name)
{
    // Unsigned arithmetic wraps by definition; the signed reading of the
    // result is the two's-complement one on every compiler.
    while (*name == ' ')
        ++name;
    bool negative = *name == '-';
    if (negative)
        ++name;
    uint32_t value = 0;
    for (; *name != '\0'; ++name) {
        if (*name >= '0' && *name <= '9')
            value = value * 10u + static_cast<uint32_t>(*name - '0');
    }
    if (negative)
        value = 0u - value;
    return static_cast<int32_t>(value);
}

const char* DecimalText(int32_t number, char* buffer)
{
    char* p = buffer + 15;
    *p = '\0';
    uint32_t magnitude = number < 0 ? 0u - static_cast<uint32_t>(number) : static_cast<uint32_t>(number);
    do {
        *--p = static_cast<char>('0' + magnitude % 10u);
        magnitude /= 10u;
    } while (magnitude != 0);
    if (number < 0)
        *--p = '-';
    return p;
}

bool IsCanonicalName(int32_t number, const char* name)
{
    char digits[16];
    return strcmp(DecimalText(number, digits), name) == 0;
}
