// Reads the user's Preload and Substitutes lists and the installed German
// layouts into the tables. The registry is only read.
#pragma once

// True when all three places were read; false with gRegistryErrorText set.
bool TakeLayoutSnapshot();
