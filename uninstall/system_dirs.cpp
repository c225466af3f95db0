#include "uninstall/system_dirs.h"

#include "files/files.h"
#include "frame/app.h"
#include "frame/status_window.h"
#include "frame/text.h"

#include <shlobj.h>

char gSystemDirectory[260];
char gSystemWow64Directory[260];
char gProgramFolder[260];

static void* savedRedirection;

bool LookupShellFolder(char* path, HWND owner, int folder)
{
    path[0] = '\0';
    IMalloc* allocator = nullptr;
    SHGetMalloc(&allocator);
    LPITEMIDLIST items = nullptr;
    bool found = SUCCEEDED(SHGetSpecialFolderLocation(owner, folder, &items));
    if (found) {
        SHGetPathFromIDListA(items, path);
        if (allocator != nullptr)
            allocator->Free(items);
    }
    if (allocator != nullptr)
        allocator->Release();
    // An empty path would make every name below it relative to the current
    // drive: take it as a failed lookup.
    return found && path[0] != '\0';
}

bool GetSpecialFolderPath(char* path, int folder)
{
    return LookupShellFolder(path, gStatusWindow, folder);
}

// GetSystemDirectoryA and its WOW64 twin, into a buffer ending in a backslash.
static void FillDirectory(char* buffer, UINT(WINAPI* query)(LPSTR, UINT))
{
    memset(buffer, 0, 260);
    if (query(buffer, 260) >= 260)
        buffer[0] = '\0';
    AddTrailingBackslash(buffer, 260);
}

void PrepareSystemDirectories()
{
    if (gWow64)
        Wow64DisableWow64FsRedirection(&savedRedirection);
    FillDirectory(gSystemDirectory, GetSystemDirectoryA);
    if (gWow64)
        FillDirectory(gSystemWow64Directory, GetSystemWow64DirectoryA);
    if (!GetSpecialFolderPath(gProgramFolder, CSIDL_PROGRAM_FILES)) {
        if (GetWindowsDirectoryA(gProgramFolder, 260) >= 260)
            gProgramFolder[0] = '\0';
        AddTrailingBackslash(gProgramFolder, sizeof gProgramFolder);
        AppendText(gProgramFolder, sizeof gProgramFolder, "Programme");
    }
    AddTrailingBackslash(gProgramFolder, sizeof gProgramFolder);
    AppendText(gProgramFolder, sizeof gProgramFolder, "Morvain");
}

void RevertFsRedirection()
{
    if (gWow64)
        Wow64RevertWow64FsRedirection(savedRedirection);
}
