#include "layouts/writeback.h"

#include "frame/handle.h"
#include "frame/text.h"
#include "layouts/languages.h"
#include "layouts/registry.h"
#include "layouts/removal.h"
#include "layouts/snapshot.h"
#include "layouts/tables.h"
#include "layouts/text_services.h"

static const char kParentPath[] = "Keyboard Layout";
static const char* rootName;  // the user's hive, as the texts name it

// The first failure is the one the user hears of; what follows it, the
// putting back included, does not overwrite it. Without detail the text
// names the key below the hive, with detail the value.
static bool Fail(const char* format, const char* name, const char* detail = nullptr)
{
    if (gRegistryErrorText[0] == '\0') {
        char path[300];
        ComposeText(path, sizeof path, "%s\\%s", kParentPath, name);
        if (detail == nullptr)
            ComposeText(gRegistryErrorText, sizeof gRegistryErrorText, format, rootName, path);
        else
            ComposeText(gRegistryErrorText, sizeof gRegistryErrorText, format, path, detail);
    }
    return false;
}

template <typename Entry>
static bool InTable(const char* name, const Entry* table, unsigned count)
{
    for (unsigned i = 0; i < count; ++i)
        if (table[i].name != nullptr && EqualNoCase(table[i].name, name))
            return true;
    return false;
}

// Rewrites parent\name in place: first every value of the table that passes
// the filter, then away with the values the table does not have. The key
// keeps its security and its subkeys, and it is never empty on the way
// unless the table is.
template <typename Entry, typename Filter>
static bool RewriteList(HKEY parent, const char* name, const Entry* table, unsigned count,
                        Filter filter, int passes)
{
    char parentName[kPathSize], link[sizeof gRegistryErrorText];
    ComposeText(parentName, sizeof parentName, "%s\\%s", rootName, kParentPath);
    UniqueKey key(OpenUserKey(parent, parentName, name, KEY_QUERY_VALUE | KEY_SET_VALUE, true, link, sizeof link));
    if (!key && GetLastError() == kErrorKeyIsLink && gRegistryErrorText[0] == '\0')
        CopyText(gRegistryErrorText, sizeof gRegistryErrorText, link);
    if (!key)
        return Fail("Warnung:\nFehler beim Öffnen des Registry-Keys %s\\%s", name);
    for (int pass = 0; pass < passes; ++pass)
        for (unsigned i = 0; i < count; ++i)
            if (filter(table[i], pass) && !SetStringValue(key.get(), table[i].name, table[i].data))
                return Fail("Warnung:\nFehler beim Schreiben des Registry-Werts %s - %s", name,
                            table[i].name);
    // Value names can be far longer than the tables keep; deleting from the
    // end leaves the indices still to come where they were. A name that
    // cannot be converted is in no table: it goes by its own wide name.
    for (DWORD i = CountValues(key.get()); i-- > 0;) {
        const char* valueName = nullptr;
        const wchar_t* wideName = nullptr;
        if (ValueNameAt(key.get(), i, &valueName, &wideName) != ERROR_SUCCESS)
            return Fail("Warnung:\nFehler beim Lesen des Registry-Keys %s\\%s", name);
        if ((valueName == nullptr || !InTable(valueName, table, count)) &&
            RegDeleteValueW(key.get(), wideName) != ERROR_SUCCESS)
            return Fail("Warnung:\nFehler beim Löschen des Registry-Werts %s - %s", name,
                        valueName != nullptr ? valueName : "");
    }
    return true;
}

template <typename Entry>
static bool Every(const Entry&, int)
{
    return true;
}
// Substitutes of standard layout keys first, then all others.
static bool StandardFirst(const SubstitutePair& p, int pass)
{
    return IsStandardLayoutKey(p.name) == (pass == 0);
}

bool WriteBackLayoutLists(HKEY root, const char* name)
{
    rootName = name;
    if (gLayoutNotInPreload)
        return true;
    // Never leave the user without any layout to choose.
    if (gRebuilt.preloadCount == 0) {
        CopyText(gRegistryErrorText, sizeof gRegistryErrorText,
                 "INTERNER FEHLER: newpreloadcount ist 0!");
        return false;
    }
    gRegistryErrorText[0] = '\0';
    UniqueKey parent(OpenUserKey(root, rootName, kParentPath, KEY_READ, false, gRegistryErrorText,
                                 sizeof gRegistryErrorText));
    if (!parent) {
        if (GetLastError() != kErrorKeyIsLink)
            ComposeText(gRegistryErrorText, sizeof gRegistryErrorText,
                        "Warnung:\nFehler beim Öffnen des Registry-Keys %s\\%s", rootName, kParentPath);
        return false;
    }
    if (RewriteList(parent.get(), "Preload", gRebuilt.preload, gRebuilt.preloadCount, Every<PreloadEntry>, 1) &&
        RewriteList(parent.get(), "Substitutes", gRebuilt.substitutes, gRebuilt.substituteCount,
                    StandardFirst, 2))
        return true;
    // Half-rewritten lists may point at identifiers that no longer exist:
    // put both back as they were read.
    RewriteList(parent.get(), "Preload", gSnapshot.preload, gSnapshot.preloadCount, Every<PreloadEntry>, 1);
    RewriteList(parent.get(), "Substitutes", gSnapshot.substitutes, gSnapshot.substituteCount,
                Every<SubstitutePair>, 1);
    return false;
}

bool RemoveLayoutForUser(HKEY root, const char* name)
{
    gRegistryErrorText[0] = '\0';
    bool listsDone = ReadUserLayoutLists(root, name) && RemoveLayoutFromPreload();
    if (listsDone && !LeavesAnotherLayout())
        KeepStandardLayoutOnly();
    listsDone = listsDone && WriteBackLayoutLists(root, name);
    // Their language and text-service lists even when the others failed, the first failure kept.
    bool done = listsDone;
    using Cleaner = bool (*)(HKEY, const char*);
    static const Cleaner kCleaners[] = {RemoveLayoutFromLanguageLists, RemoveLayoutFromTextServices};
    for (Cleaner clean : kCleaners) {
        char firstFailure[sizeof gRegistryErrorText];
        CopyText(firstFailure, sizeof firstFailure, gRegistryErrorText);
        bool cleaned = clean(root, name);
        if (!done)
            CopyText(gRegistryErrorText, sizeof gRegistryErrorText, firstFailure);
        done = done && cleaned;
    }
    return done;
}
