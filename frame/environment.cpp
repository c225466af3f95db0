#include "frame/environment.h"

#include "frame/app.h"
#include "frame/cmdline.h"
#include "frame/status_window.h"

#include <windows.h>

char gProgramBaseName[kPathSize];

void InitEnvironment()
{
    // The program path takes the first word; thirty argument words follow.
    static WideWord words[kMaxArguments + 1];
    memset(gArguments, 0, sizeof gArguments);
    int stored = SplitCommandLine(GetCommandLineW(), words, kMaxArguments + 1);
    gArgumentCount = stored > 0 ? stored - 1 : 0;
    for (int i = 1; i < stored; ++i) {
        // A word too long for its slot would not fit the narrow slot either:
        // it counts, but stays empty.
        if (words[i].overlong)
            continue;
        int n = WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, words[i].text, -1, gArguments[i],
                                    kArgumentSize - 1, nullptr, nullptr);
        if (n == 0)
            gArguments[i][0] = '\0';
    }
    char modulePath[kPathSize] = "";
    if (GetModuleFileNameA(gInstance, modulePath, sizeof modulePath) == 0)
        modulePath[0] = '\0';
    modulePath[sizeof modulePath - 1] = '\0';
    BaseNameOf(modulePath, gProgramBaseName, sizeof gProgramBaseName);
    SetWindowTitle(gProgramBaseName);
}
