// Writes the rebuilt layout lists back to the user's registry.
#pragma once

// Rewrites Preload and Substitutes from the rebuilt tables. True when
// nothing failed; otherwise gRegistryErrorText says what.
bool WriteBackLayoutLists();
