// The words of the command line as the program splits them, and the
// switches read from them that the frame itself obeys. Nothing here touches
// Windows, so the rules can be checked natively.
#pragma once
#include <cstddef>

#include "frame/text.h"

constexpr int kMaxArguments = 30;
constexpr int kWideWordSize = 260;   // 259 UTF-16 units of a word, terminator
// A word of the most units a slot holds, in UTF-8, and its terminator.
constexpr int kArgumentSize = static_cast<int>(kPathSize);

extern int gArgumentCount;                                // 0 to 30
extern char gArguments[kMaxArguments + 1][kArgumentSize]; // words 1..30 in UTF-8; [0] unused

extern bool gQuiet;              // no window, no box: each box is logged and answered
extern char gLogPath[kPathSize]; // empty: no log

// One word of the command line as split, before conversion.
struct WideWord {
    wchar_t text[kWideWordSize];
    bool overlong;  // the word had more units than the slot holds
};

// Splits like the program's own rules (blanks only, a quote only at the
// start of a word). Fills at most maxWords words, the program path first.
// Returns the number of words stored.
int SplitCommandLine(const wchar_t* commandLine, WideWord* words, int maxWords);

// Base name of a full module path: no directory, no final extension.
void BaseNameOf(const char* modulePath, char* out, size_t size);
