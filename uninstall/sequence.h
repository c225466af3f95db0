// The uninstall itself, run by the copy in the temporary directory.
#pragma once

// The driver's name in every box.
extern const char kDisplayName[];

// Checks, asks, removes everything of the product and reports. Always false:
// the run ends after it.
bool RunUninstall();

// A start that waited for the lock while another removal ran to its end
// finds its own file moved away with the rest of the product and the layout
// key gone: it says so as its copy would (1605) and makes none. False, and
// nothing said, while either is still there.
bool ReportsRemovedMeanwhile();
