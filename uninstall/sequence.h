// The uninstall itself, run by the copy in the temporary directory.
#pragma once

// Checks, asks, removes everything of the product and reports. Always false:
// the run ends after it.
bool RunUninstall();
