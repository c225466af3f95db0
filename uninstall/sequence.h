// The uninstall itself, run by the copy in the temporary directory.
#pragma once

// The driver's name in every box.
extern const char kDisplayName[];

// Checks, asks, removes everything of the product and reports. Always false:
// the run ends after it.
bool RunUninstall();
