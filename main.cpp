#include "frame/app.h"
#include "frame/cmdline.h"
#include "frame/environment.h"
#include "frame/log.h"
#include "frame/status_window.h"
#include "frame/text.h"
#include "uninstall/invocation.h"
#include "uninstall/sequence.h"

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFn)(DWORD);

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int showCommand)
{
    // The copy runs elevated from the user's temporary folder, where anybody
    // can drop a DLL named like a system one: before anything can load a
    // library, restrict the search to the system directory. Older Windows
    // lacks SetDefaultDllDirectories; there, at least take the current
    // directory out of the search.
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32"), "SetDefaultDllDirectories")));
    if (setDefault == nullptr || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        SetDllDirectoryW(L"");
    // Windows' own "no disk in the drive" box would wait, in a run as the
    // system account, for an answer nobody can give.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    gStatusWindow = nullptr;
    SetLastError(ERROR_SUCCESS);
    PrepareDisplay();
    gInstance = instance;
    InitEnvironment();
    // Quietly there is no window at all, and the exit code tells the result.
    if (CheckInvocation() && (gQuiet || CreateStatusWindow(showCommand)))
        RunUninstall();
    ScheduleCopyRemoval();
    Shutdown();
    unsigned exitCode = gQuiet ? gExitCode : 0;
    char text[16];
    FormatInto(text, sizeof text, "%u", exitCode);
    LogEvent("Exitcode", text);
    return static_cast<int>(exitCode);
}
