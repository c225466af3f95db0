// The snapshot of the user's layout lists and of the installed German
// layouts, and the rebuilt lists. Plain data, no Windows calls.
#pragma once
#include <cstddef>
#include <cstdint>

#include "frame/cmdline.h"

constexpr unsigned kTableCapacity = 1000;
// Bytes of a value name or data read for the tables: 259 characters in
// UTF-8 and the terminator.
constexpr unsigned kTableTextSize = 3 * 260;

struct PreloadEntry {
    char* name;         // value name as read ("1", "2", ...)
    char* data;         // layout key or Preload identifier
    char* substitute;   // data of the Substitutes value named like data; null if none
    int32_t number;     // order number; removal may change it
    bool canonical;     // number written in decimal gives name again
    bool standard;      // set by the removal
    int32_t newNumber;  // set by the removal
    char* newData;      // set by the removal
};

struct SubstitutePair {
    char* name;
    char* data;
};

struct LayoutEntry {
    char* keyName;
    char* layoutFile;   // data of "Layout File"; null if none
};

// The registry as read: the user's lists and the installed German layouts.
struct LayoutSnapshot {
    PreloadEntry preload[kTableCapacity];
    unsigned preloadCount;
    SubstitutePair substitutes[kTableCapacity];
    unsigned substituteCount;
    LayoutEntry layouts[kTableCapacity];
    unsigned layoutCount;
};

// The user's lists as the removal rebuilds them, to be written back.
struct RebuiltLists {
    PreloadEntry preload[kTableCapacity];
    unsigned preloadCount;
    SubstitutePair substitutes[kTableCapacity];
    unsigned substituteCount;
};

extern LayoutSnapshot gSnapshot;
extern RebuiltLists gRebuilt;

extern char gLayoutKey[kArgumentSize]; // the layout being removed: argument word 1, once accepted
extern int32_t gLayoutKeyIndex;        // entry of the layout key in gSnapshot.layouts; -1 if none
extern bool gLayoutNotInPreload;       // the removal found no Preload entry of the layout
extern bool gLayoutKeyGone;            // finishing a removal cut short: lists may name a layout no longer registered
extern char gRegistryErrorText[1000];  // German reason of the last registry failure
extern uint16_t gLayoutMark;           // high word of the layout's HKL, from its "Layout Id"; 0: none known

// Empties both tables and forgets the layout key's entry, as before the
// first snapshot.
void ClearLayoutTables();
// Empties the user's lists and what was rebuilt from them; the installed
// layouts stay.
void ClearUserLists();

// Heap copy of at most maxLength bytes of text (it need not be terminated
// within them). Lives until the process ends, like every table text.
char* KeepText(const char* text, size_t maxLength);

// True when text is exactly digits hex digits, their number in value.
bool ReadHexNumber(const char* text, unsigned digits, uint32_t* value);
// The high word of a layout's HKL from its "Layout Id" text: 0xF000 | id
// for exactly four hex digits other than "0000"; 0 for anything else.
uint16_t LayoutMark(const char* layoutId);

// A value name read as a decimal number: leading blanks skipped, a leading
// '-' remembered, every digit taken, every other character passed over.
// Wraps around in 32 bits.
int32_t ReadOrderNumber(const char* name);
// number in decimal, as "%d" writes it, built in buffer (16 bytes).
const char* DecimalText(int32_t number, char* buffer);
// True when number written in decimal is exactly name.
bool IsCanonicalName(int32_t number, const char* name);
