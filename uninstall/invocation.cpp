#include "uninstall/invocation.h"

#include "files/files.h"
#include "frame/app.h"
#include "frame/environment.h"
#include "frame/handle.h"
#include "frame/message_box.h"
#include "frame/status_window.h"
#include "frame/text.h"
#include "uninstall/system_dirs.h"

#include <cstring>

#define NOT_CALLED_RIGHT "Deinstallationsprogramm nicht mit gültigem Registry-Key für die Tastatur aufgerufen "

static bool RefuseArguments(ArgumentVerdict verdict)
{
    switch (verdict) {
    case kArgumentsAccepted:
        return false;
    case kArgumentsMissing:
        WarningBox(NOT_CALLED_RIGHT "(Angabe fehlt)");
        break;
    case kKeyLength:
        WarningBox(NOT_CALLED_RIGHT "(Länge nicht 8 Zeichen):\n%s", gLayoutKey);
        break;
    case kKeyNotGerman:
        WarningBox(NOT_CALLED_RIGHT "(endet nicht in \"0407\", also kein deutsches Layout):\n%s",
                   gLayoutKey);
        break;
    case kKeyStandard:
        WarningBox(NOT_CALLED_RIGHT
                   "(Schlüssel für Standardtastatur: nicht deinstallierbar):\n%s",
                   gLayoutKey);
        break;
    }
    return true;
}

// Title of the copy's window, cut safely for very long base names.
static void SetCopyTitle()
{
    CopyText(gWindowTitle, sizeof gWindowTitle, gProgramBaseName);
    AppendText(gWindowTitle, sizeof gWindowTitle, " V3.11 - Tastaturtreiber-Deinstallation");
}

static bool HandOverToCopy(const char* modulePath, const char* tempDirectory)
{
    // Without a temporary directory, or with one too long for the copy's
    // path, there is nowhere safe to put the copy.
    char destination[260];
    bool fits = tempDirectory != nullptr &&
                CopyText(destination, sizeof destination, tempDirectory) &&
                AppendText(destination, sizeof destination, FinalComponent(modulePath));
    if (!fits || !CopyOneFile(modulePath, destination, true, true)) {
        WarningBox("Deinstallationsprogramm kann nicht in ein temporäres Verzeichnis kopiert "
                   "werden, um sein Original löschen zu können");
        return false;
    }
    char parameters[300];
    CopyText(parameters, sizeof parameters, gLayoutKey);
    if (gForce)
        AppendText(parameters, sizeof parameters, " /force");
    if (!LaunchProgram(destination, parameters)) {
        WarningBox("Deinstallationsprogramm kann Kopie im temporären Verzeichnis nicht starten, um "
                   "sein Original löschen zu können");
        return false;
    }
    return true;
}

bool CheckInvocation()
{
    if (RefuseArguments(ValidateArguments()))
        return false;
    PrepareSystemDirectories();

    char tempDirectory[260] = "";
    DWORD n = GetTempPathA(sizeof tempDirectory, tempDirectory);
    bool tempOk = n > 0 && n < sizeof tempDirectory &&
                  AddTrailingBackslash(tempDirectory, sizeof tempDirectory);
    char modulePath[260] = "";
    DWORD m = GetModuleFileNameA(gInstance, modulePath, sizeof modulePath);
    if (m == 0 || m >= sizeof modulePath)
        modulePath[0] = '\0';

    if (tempOk && EqualNoCaseN(modulePath, tempDirectory, strlen(tempDirectory))) {
        SetCopyTitle();
        return true;
    }
    HandOverToCopy(modulePath, tempOk ? tempDirectory : nullptr);
    RevertFsRedirection();
    return false;
}

bool LaunchProgram(const char* programFile, const char* parameters)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    SetStatusLine("Aufruf von %s %s ...", programFile, parameters);
    static char commandLine[32768];
    ComposeText(commandLine, sizeof commandLine, "\"%s\" %s", programFile, parameters);
    if (!CreateProcessA(programFile, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        CaptureLastError();
        WarningBox("Folgender Programmstart konnte nicht durchgeführt werden:\nDatei: %s\nAusführen "
                   "in: %s\nParameter: %s\n\n%s",
                   programFile, "<NULL>", parameters, gWindowsErrorText);
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}
