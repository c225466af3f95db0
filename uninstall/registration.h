// The product's entry in the Windows list of installed software.
#pragma once

// Deletes the entry (with all below it) from the Uninstall key, reached in
// this 32-bit process's own registry view. True when that key could be
// opened or created; a missing entry is no failure.
bool UpdateUninstallEntry(const char* entryName);

// True when the entry is there and its UninstallString names layoutKey as
// the word after the program path (ignoring ASCII case): a removal of that
// layout began and was cut short, since the entry goes last.
bool EntryNamesLayout(const char* entryName, const char* layoutKey);
