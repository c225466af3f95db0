#include "frame/environment.h"

#include "frame/app.h"
#include "frame/cmdline.h"
#include "frame/status_window.h"
#include "frame/wide.h"

#include <windows.h>

char gProgramBaseName[kPathSize];
char gModulePath[kPathSize];

void InitEnvironment()
{
    // The program path takes the first word; thirty argument words follow.
    static WideWord words[kMaxArguments + 1];
    memset(gArguments, 0, sizeof gArguments);
    int stored = SplitCommandLine(GetCommandLineW(), words, kMaxArguments + 1);
    gArgumentCount = stored > 0 ? stored - 1 : 0;
    for (int i = 1; i < stored; ++i) {
        // A word too long for its slot counts, but stays empty; so does one
        // that cannot be converted whole (an unpaired surrogate).
        if (!words[i].overlong)
            FromUtf16(words[i].text, kWideWordSize, gArguments[i], kArgumentSize);
    }
    wchar_t wide[MAX_PATH + 1] = L"";
    DWORD length = GetModuleFileNameW(gInstance, wide, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH || !FromUtf16(wide, MAX_PATH, gModulePath, sizeof gModulePath))
        gModulePath[0] = '\0';
    BaseNameOf(gModulePath, gProgramBaseName, sizeof gProgramBaseName);
    SetWindowTitle(gProgramBaseName);
}
