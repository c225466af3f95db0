#include "uninstall/registration.h"

#include "frame/handle.h"
#include "layouts/registry.h"

bool UpdateUninstallEntry(const char* entryName)
{
    UniqueKey uninstall(
        CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
    if (!uninstall)
        return false;
    DeleteKeyTree(uninstall.get(), entryName);
    return true;
}
