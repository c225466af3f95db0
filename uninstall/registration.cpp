#include "uninstall/registration.h"

#include "frame/cmdline.h"
#include "frame/handle.h"
#include "frame/text.h"
#include "frame/wide.h"
#include "layouts/registry.h"

static const char kUninstallPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

bool UpdateUninstallEntry(const char* entryName)
{
    UniqueKey uninstall(CreateKey(HKEY_LOCAL_MACHINE, kUninstallPath));
    if (!uninstall)
        return false;
    DeleteKeyTree(uninstall.get(), entryName);
    return true;
}

bool EntryNamesLayout(const char* entryName, const char* layoutKey)
{
    char path[kPathSize];
    if (!ComposeText(path, sizeof path, "%s\\%s", kUninstallPath, entryName))
        return false;
    UniqueKey entry(OpenKeyForRead(HKEY_LOCAL_MACHINE, path));
    static wchar_t command[4096];
    DWORD size = sizeof command;
    if (!entry || RegGetValueW(entry.get(), nullptr, L"UninstallString", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ |
                               RRF_NOEXPAND, nullptr, command, &size) != ERROR_SUCCESS)
        return false;
    // Split as the program splits its own command line.
    static WideWord words[2];
    char word[kArgumentSize];
    return SplitCommandLine(command, words, 2) == 2 && !words[1].overlong &&
           FromUtf16(words[1].text, kWideWordSize, word, sizeof word) && EqualNoCase(word, layoutKey);
}
