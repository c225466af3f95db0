#include "uninstall/system_dirs.h"

#include "frame/status_window.h"
#include "frame/text.h"
#include "frame/wide.h"

#include <shlobj.h>

#include <cstring>

bool gWow64;
char gSystemDirectory[kPathSize];
char gSystemWow64Directory[kPathSize];
char gProgramFolder[kPathSize];

bool LookupShellFolder(char* path, HWND owner, int folder)
{
    path[0] = '\0';
    IMalloc* allocator = nullptr;
    SHGetMalloc(&allocator);
    LPITEMIDLIST items = nullptr;
    bool found = SUCCEEDED(SHGetSpecialFolderLocation(owner, folder, &items));
    if (found) {
        wchar_t wide[MAX_PATH] = L"";
        if (!SHGetPathFromIDListW(items, wide) || !FromUtf16(wide, MAX_PATH, path, kPathSize))
            path[0] = '\0';
        if (allocator != nullptr)
            allocator->Free(items);
    }
    if (allocator != nullptr)
        allocator->Release();
    // An empty path would make every name below it relative to the current
    // drive: take it as a failed lookup.
    return found && path[0] != '\0';
}

// The same with the status window as owner.
static bool GetSpecialFolderPath(char* path, int folder)
{
    return LookupShellFolder(path, gStatusWindow, folder);
}

// GetSystemDirectoryW and its twins, into a buffer ending in a backslash;
// empty when the directory is unknown or cannot be converted whole.
static void FillDirectory(char* buffer, UINT(WINAPI* query)(LPWSTR, UINT))
{
    wchar_t wide[MAX_PATH] = L"";
    UINT length = query(wide, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !FromUtf16(wide, MAX_PATH, buffer, kPathSize))
        buffer[0] = '\0';
    AddTrailingBackslash(buffer, kPathSize);
}

typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE, PBOOL);

static bool RunsOnWow64()
{
    // Old kernels lack IsWow64Process; they are all 32-bit Windows.
    auto isWow64 = reinterpret_cast<IsWow64ProcessFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "IsWow64Process")));
    BOOL wow64 = FALSE;
    if (isWow64 != nullptr)
        isWow64(GetCurrentProcess(), &wow64);
    return wow64 != FALSE;
}

void PrepareSystemDirectories()
{
    gWow64 = RunsOnWow64();
    FillDirectory(gSystemDirectory, GetSystemDirectoryW);
    if (gWow64)
        FillDirectory(gSystemWow64Directory, GetSystemWow64DirectoryW);
    if (!GetSpecialFolderPath(gProgramFolder, CSIDL_PROGRAM_FILES)) {
        FillDirectory(gProgramFolder, GetWindowsDirectoryW);
        AppendText(gProgramFolder, sizeof gProgramFolder, "Programme");
    }
    AddTrailingBackslash(gProgramFolder, sizeof gProgramFolder);
    AppendText(gProgramFolder, sizeof gProgramFolder, "Morvain");
}
