#include "layouts/removal.h"

#include "frame/text.h"
#include "layouts/tables.h"

#include <cstring>

bool IsStandardLayoutKey(const char* text)
{
    return text != nullptr && CharacterCount(text) == 8 && strncmp(text, "00000", 5) == 0;
}

const char* LanguagePart(const char* text)
{
    if (text != nullptr && CharacterCount(text) == 8)
        return SkipCharacters(text, 4);
    return "0407";
}

static int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The counter of a name that reads as an identifier of this language
// ("d", three hex digits, the language part; letters in any case), or 0.
static unsigned CounterOf(const char* name, const char* languagePart, size_t partLength)
{
    if ((name[0] != 'd' && name[0] != 'D') || strlen(name) != 4 + partLength ||
        !EqualNoCaseN(name + 4, languagePart, partLength))
        return 0;
    unsigned counter = 0;
    for (int i = 1; i <= 3; ++i) {
        int digit = HexDigit(name[i]);
        if (digit < 0)
            return 0;
        counter = counter * 16 + static_cast<unsigned>(digit);
    }
    return counter;
}

const char* NewPreloadIdentifier(const char* languagePart, const SubstitutePair* table,
                                 unsigned count)
{
    // One pass marks the counters already taken, so a list of a thousand
    // entries costs a thousand comparisons per identifier, not a million.
    static const char kHex[] = "0123456789abcdef";
    static char identifier[kIdentifierSize];
    static bool taken[4096];
    // Four characters, in UTF-8 at most 16 bytes.
    size_t partLength = static_cast<size_t>(SkipCharacters(languagePart, 4) - languagePart);
    memset(taken, 0, sizeof taken);
    for (unsigned p = 0; p < count; ++p)
        if (table[p].name != nullptr)
            taken[CounterOf(table[p].name, languagePart, partLength)] = true;
    unsigned i = 1;
    while (i < 4095 && taken[i])
        ++i;
    identifier[0] = 'd';
    identifier[1] = kHex[(i >> 8) & 15];
    identifier[2] = kHex[(i >> 4) & 15];
    identifier[3] = kHex[i & 15];
    memcpy(identifier + 4, languagePart, partLength);
    identifier[4 + partLength] = '\0';
    return identifier;
}

bool LeavesAnotherLayout()
{
    // Where the layout has no entry the lists stay as they are; an empty
    // one makes Windows fall back to its default layout.
    const PreloadEntry* list = gLayoutNotInPreload ? gSnapshot.preload : gRebuilt.preload;
    unsigned count = gLayoutNotInPreload ? gSnapshot.preloadCount : gRebuilt.preloadCount;
    if (gLayoutNotInPreload && count == 0)
        return true;
    for (unsigned i = 0; i < count; ++i) {
        const char* target = list[i].substitute != nullptr ? list[i].substitute : list[i].data;
        if (!EqualNoCase(target, gLayoutKey))
            return true;
    }
    return false;
}

void KeepStandardLayoutOnly()
{
    static char one[] = "1", standard[] = "00000407";
    gLayoutNotInPreload = false;
    gRebuilt.preload[0] = PreloadEntry{one, standard, nullptr, 1, true, true, 1, standard};
    gRebuilt.preloadCount = 1;
    gRebuilt.substituteCount = 0;
    for (unsigned i = 0; i < gSnapshot.substituteCount; ++i)
        if (!EqualNoCase(gSnapshot.substitutes[i].data, gLayoutKey))
            gRebuilt.substitutes[gRebuilt.substituteCount++] = gSnapshot.substitutes[i];
}

namespace {

struct Marks {
    int removed = -1;  // last entry substituted by the layout key
    int holder = -1;   // last entry whose data is a standard layout key
    int plain = -1;    // first entry without substitute
};

Marks FindMarks()
{
    Marks m;
    for (unsigned i = 0; i < gSnapshot.preloadCount; ++i) {
        const PreloadEntry& e = gSnapshot.preload[i];
        if (e.substitute != nullptr && EqualNoCase(e.substitute, gLayoutKey))
            m.removed = static_cast<int>(i);
        if (IsStandardLayoutKey(e.data))
            m.holder = static_cast<int>(i);
        if (e.substitute == nullptr && m.plain < 0)
            m.plain = static_cast<int>(i);
    }
    return m;
}

void AppendNewPreload(const PreloadEntry& e)
{
    PreloadEntry& out = gRebuilt.preload[gRebuilt.preloadCount++];
    char digits[16];
    out.name = KeepText(DecimalText(e.newNumber, digits), sizeof digits);
    out.data = e.newData;
    out.substitute = e.substitute;
    out.number = e.newNumber;
}

} // namespace

bool RemoveLayoutFromPreload()
{
    if (gLayoutKeyIndex == -1 && !gLayoutKeyGone) {
        CopyText(gRegistryErrorText, sizeof gRegistryErrorText, "Schlüssel nicht vorhanden");
        return false;
    }
    if (IsStandardLayoutKey(gLayoutKey)) {
        CopyText(gRegistryErrorText, sizeof gRegistryErrorText,
                 "Standard-Layout kann nicht entfernt werden");
        return false;
    }
    Marks m = FindMarks();
    if (m.removed < 0) {
        gLayoutNotInPreload = true;
        return true;
    }
    // When every entry has a substitute, one of the others must carry a
    // standard layout key, or the user would be left with none.
    int source = m.holder;
    if (m.removed == m.holder && m.plain < 0) {
        m.holder = m.removed > 0 ? m.removed - 1 : 1;
        source = m.removed;
    }
    for (unsigned i = 0; i < gSnapshot.preloadCount; ++i) {
        PreloadEntry& e = gSnapshot.preload[i];
        if (IsStandardLayoutKey(e.data) || IsStandardLayoutKey(e.substitute))
            e.standard = true;
        else if (!e.canonical)
            e.number = 2000;
    }
    if (gSnapshot.preload[m.removed].number == 1) {
        int32_t next = 1;
        for (unsigned i = 0; i < gSnapshot.preloadCount; ++i)
            if (gSnapshot.preload[i].standard)
                gSnapshot.preload[i].number = next++;
    }

    gRebuilt.preloadCount = 0;
    gRebuilt.substituteCount = 0;
    for (int32_t k = 0; k <= 2001; ++k) {
        for (unsigned i = 0; i < gSnapshot.preloadCount; ++i) {
            PreloadEntry& e = gSnapshot.preload[i];
            if (static_cast<int>(i) == m.removed || e.number != k)
                continue;
            e.newNumber = static_cast<int32_t>(gRebuilt.preloadCount + 1);
            if (e.substitute == nullptr) {
                e.newData = e.data;
            } else {
                if (m.plain < 0 && static_cast<int>(i) == m.holder && source >= 0)
                    e.newData = KeepText(gSnapshot.preload[source].data, kTableTextSize);
                else
                    e.newData = KeepText(NewPreloadIdentifier(LanguagePart(e.data), gRebuilt.substitutes,
                                                              gRebuilt.substituteCount),
                                         kIdentifierSize);
                SubstitutePair& pair = gRebuilt.substitutes[gRebuilt.substituteCount++];
                pair.name = e.newData;
                pair.data = e.substitute;
            }
            ++gRebuilt.preloadCount;
        }
    }

    // Entries without substitute first, then the others, each by new number.
    gRebuilt.preloadCount = 0;
    for (int pass = 0; pass < 2; ++pass) {
        bool withSubstitute = pass == 1;
        for (int32_t n = 1; n <= static_cast<int32_t>(gSnapshot.preloadCount); ++n)
            for (unsigned i = 0; i < gSnapshot.preloadCount; ++i) {
                const PreloadEntry& e = gSnapshot.preload[i];
                if (static_cast<int>(i) != m.removed && e.newNumber == n &&
                    (e.substitute != nullptr) == withSubstitute)
                    AppendNewPreload(e);
            }
    }
    return true;
}
