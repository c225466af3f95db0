#include "frame/handle.h"
#include "frame/text.h"
#include "layouts/registry.h"
#include "layouts/removal.h"
#include "layouts/tables.h"

static const char kParentPath[] = "Keyboard Layout";

static void SetError(const char* format, const char* name)
{
    ComposeText(gRegistryErrorText, sizeof gRegistryErrorText, format, kParentPath, name);
}

// Deletes and re-creates parent\name, then writes the values that pass the
// filter. A value that cannot be written makes the list incomplete, and the
// user must hear of it.
template <typename Entry, typename Filter>
static void RewriteList(HKEY parent, const char* name, const Entry* table, unsigned count,
                        Filter filter, int passes)
{
    if (!DeleteKeyTree(parent, name)) {
        SetError("Warnung:\nFehler beim Löschen des Registry-Keys %s - %s", name);
        return;
    }
    UniqueKey key(CreateKey(parent, name));
    if (!key) {
        SetError("Warnung:\nFehler beim Wiedererstellen des Registry-Keys %s - %s", name);
        return;
    }
    const char* failed = nullptr;
    for (int pass = 0; pass < passes; ++pass)
        for (unsigned i = 0; i < count; ++i)
            if (filter(table[i], pass) && !SetStringValue(key.get(), table[i].name, table[i].data) &&
                failed == nullptr)
                failed = table[i].name;
    if (failed != nullptr) {
        char path[300];
        ComposeText(path, sizeof path, "%s\\%s", kParentPath, name);
        ComposeText(gRegistryErrorText, sizeof gRegistryErrorText,
                    "Warnung:\nFehler beim Schreiben des Registry-Werts %s - %s", path, failed);
    }
}

bool WriteBackLayoutLists()
{
    if (gLayoutNotInPreload)
        return true;
    // Never leave the user without any layout to choose.
    if (gNewPreloadCount == 0) {
        CopyText(gRegistryErrorText, sizeof gRegistryErrorText,
                 "INTERNER FEHLER: newpreloadcount ist 0!");
        return false;
    }
    gRegistryErrorText[0] = '\0';
    UniqueKey parent(OpenKeyForRead(HKEY_CURRENT_USER, kParentPath));
    if (!parent) {
        ComposeText(gRegistryErrorText, sizeof gRegistryErrorText,
                    "Warnung:\nFehler beim Öffnen des Registry-Keys HKEY_CURRENT_USER\\%s",
                    kParentPath);
        return false;
    }
    RewriteList(parent.get(), "Preload", gNewPreload, gNewPreloadCount,
                [](const PreloadEntry&, int) { return true; }, 1);
    // Substitutes of standard layout keys first, then all others.
    RewriteList(parent.get(), "Substitutes", gNewSubstitutes, gNewSubstituteCount,
                [](const SubstitutePair& p, int pass) {
                    return IsStandardLayoutKey(p.name) == (pass == 0);
                },
                2);
    return gRegistryErrorText[0] == '\0';
}
