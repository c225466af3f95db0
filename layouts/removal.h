// Takes the layout out of the user's Preload and Substitutes lists: the new
// lists are computed from the snapshot, in memory only; layouts/writeback
// then writes them as a whole.
#pragma once

// False only when the layout key is unknown (and not gone already) or a
// standard layout key, with the reason in gRegistryErrorText. Changes memory
// only.
bool RemoveLayoutFromPreload();

// After the removal: true when the list the user is left with offers a
// layout other than the removed one (directly or through Substitutes).
bool LeavesAnotherLayout();

// For a list that would offer nothing but the removed layout, where nobody
// can be asked: the rebuilt Preload becomes "1" = "00000407" alone, and the
// Substitutes are those read less every pair that stands for the layout.
void KeepStandardLayoutOnly();

// Exactly 8 characters beginning "00000"; false for null.
bool IsStandardLayoutKey(const char* text);
// Characters 5 to 8 of an 8-character text, otherwise "0407". The result
// points into text or at a constant; it is not terminated after 4 characters.
// Characters, not bytes: a letter outside ASCII takes several bytes.
const char* LanguagePart(const char* text);
// Bytes of an identifier: "d", three hex digits, four characters, terminator.
constexpr unsigned kIdentifierSize = 4 + 4 * 4 + 1;
// First "d%03x%.4s" identifier not yet used as a name among the first count
// pairs. Static result, overwritten by the next call.
const char* NewPreloadIdentifier(const char* languagePart, const struct SubstitutePair* table,
                                 unsigned count);
