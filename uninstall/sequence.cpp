#include "uninstall/sequence.h"

#include "files/files.h"
#include "frame/cmdline.h"
#include "frame/handle.h"
#include "frame/log.h"
#include "frame/message_box.h"
#include "frame/status_window.h"
#include "frame/text.h"
#include "frame/wide.h"
#include "layouts/languages.h"
#include "layouts/registry.h"
#include "layouts/removal.h"
#include "layouts/snapshot.h"
#include "layouts/tables.h"
#include "layouts/text_services.h"
#include "layouts/writeback.h"
#include "uninstall/arguments.h"
#include "uninstall/invocation.h"
#include "uninstall/other_users.h"
#include "uninstall/registration.h"
#include "uninstall/shortcuts.h"
#include "uninstall/system_dirs.h"

const char kDisplayName[] = "DIN E1 (Treiber V3.11 \"Selvarin\")";
static const char kDriverBaseName[] = "Quorvex";
static const char kDriverFile[] = "Quorvex.DLL";
static const char kShortcutName[] = "Tastaturbelegung E1 (V3.11) Schaubild";
static const char* const kHelperFiles[] = {
    "Uninstall_Quorvex.exe",
    "Tastaturbelegung E1 (V3.11) Schaubild.pdf",
    "Tastaturbelegung E1 (V3.11) Schaubild.ico",
};
static const char kEntryName[] = "Tastaturbelegung DIN E1 (Treiber V3.11 \"Selvarin\")";

#define DRIVER_KEY "Der Registry-Key des zu deinstallierenden Tastaturtreibers "

// The layout's key is gone, and yet the entry still names it: an earlier
// removal was cut off after the key, and this one finishes it, asking first.
static bool FinishesCutShortRemoval()
{
    if (QuestionBox("Die Deinstallation von %s wurde nicht abgeschlossen.\n\nSoll sie jetzt abgeschlossen werden?",
                    kDisplayName) != IDYES) {
        InfoBox("Deinstallation abgebrochen.");
        return false;
    }
    SetStatusLine("Schließe die unterbrochene Deinstallation ab ...");
    gLayoutKeyGone = true;
    RemoveLayoutFromPreload();
    return true;
}

// Every refusal before the question: nothing has been changed yet.
static bool SnapshotAllowsUninstall()
{
    // Quietly nobody can set up another layout first: lists that do not exist
    // are empty, and a list left with nothing gets the standard layout.
    if (!TakeLayoutSnapshot(gQuiet)) {
        WarningBoxVerbatim(gRegistryErrorText);
        return false;
    }
    if (gLayoutKeyIndex == -1 && EntryNamesLayout(kEntryName, gLayoutKey))
        return FinishesCutShortRemoval();
    if (gLayoutKeyIndex == -1) {
        gExitCode = kExitNotInstalled;
        WarningBox(DRIVER_KEY "wurde nicht gefunden.\nTreiber: %s\nKey: %s\nDLL: %s.DLL",
                   kDisplayName, gLayoutKey, kDriverBaseName);
        return false;
    }
    const char* layoutFile = gSnapshot.layouts[gLayoutKeyIndex].layoutFile;
    if (layoutFile == nullptr) {
        WarningBox(DRIVER_KEY "enthält keine Treiberdatei-Angabe.\nTreiber: %s\nKey: %s\nDLL: %s.DLL",
                   kDisplayName, gLayoutKey, kDriverBaseName);
        return false;
    }
    if (!gForce && !EqualNoCase(layoutFile, kDriverFile)) {
        WarningBox(DRIVER_KEY "enthält eine andere Treiberdatei-Angabe als zum Zeitpunkt der "
                              "Installation.\nAus Sicherheitsgründen wird daher die Deinstallation "
                              "jetzt nicht durchgeführt.\nTreiber: %s\nKey: %s\nDLL bei "
                              "Installation: %s.DLL\nDLL jetzt: %s",
                   kDisplayName, gLayoutKey, kDriverBaseName, layoutFile);
        return false;
    }
    // The lists are rebuilt in memory now, before the question: a result
    // that offers nothing but the removed layout would leave the user
    // without a keyboard, however many entries there are today.
    RemoveLayoutFromPreload();
    if (!gQuiet && (gSnapshot.preloadCount == 1 || !LeavesAnotherLayout())) {
        WarningBox("In den Windows-Spracheinstellungen ist die zu deinstallierende Tastaturbelegung "
                   "derzeit als einzig auswählbare Belegung hinterlegt.\nBitte wählen Sie dort erst "
                   "eine andere Tastaturbelegung, bevor Sie die hier gewählte deinstallieren.");
        return false;
    }
    if (QuestionBox("Soll folgender Tastatur-Treiber deinstalliert werden?\n\n%s", kDisplayName) !=
        IDYES) {
        InfoBox("Deinstallation abgebrochen.");
        return false;
    }
    return true;
}

static bool driverPending;  // a driver file goes at the next restart

// Whether a driver file that will not go now may go at the next restart:
// quietly nobody can close what holds it, so yes; interactively the user
// says so, once for both files. The failed deletion's error stays the last.
static bool MayLeaveToRestart(const char* path)
{
    static bool agreed;
    DWORD error = GetLastError();
    agreed = agreed || gQuiet ||
             QuestionBox("Die Treiberdatei %s wird gerade verwendet (zum Beispiel, weil die Tastaturbelegung in einer "
                         "Sitzung aktiv ist) und kann erst beim nächsten Neustart von Windows gelöscht werden.\n\n"
                         "Soll die Deinstallation jetzt abgeschlossen und die Treiberdatei beim Neustart gelöscht "
                         "werden?",
                         path) == IDYES;
    SetLastError(error);
    return agreed;
}

// A driver file in use goes at the next restart instead, which is no
// warning. Called right after the failed deletion, whose error it logs.
static bool LeaveDriverToRestart(const char* path, bool realSystemFolder)
{
    char error[1200];
    CopyText(error, sizeof error, CaptureLastError());
    char marked[kPathSize];
    if (!DeleteAtRestart(path, realSystemFolder, SystemRandom, marked, sizeof marked))
        return false;
    char line[1500];
    ComposeText(line, sizeof line, "Treiberdatei wird beim Neustart gelöscht: %s\n%s", path, error);
    LogEvent("Status", line);
    driverPending = true;
    return true;
}

// The driver file goes first; while it stays, the registry stays untouched.
static bool RemoveDriverFile()
{
    // A cut path could name another file: better none at all.
    char driverPath[kPathSize];
    if (!ComposeText(driverPath, sizeof driverPath, "%s%s", gSystemDirectory, kDriverFile))
        driverPath[0] = '\0';
    if (FileExists(driverPath, gWow64)) {
        // A file that will not go is first left to the restart, if it may;
        // only when that fails too, or may not be, does the deletion report,
        // and the run stop with the registry untouched.
        bool gone = (!DeleteOneFile(driverPath, false, false, gWow64) && MayLeaveToRestart(driverPath) &&
                     LeaveDriverToRestart(driverPath, gWow64)) ||
                    DeleteOneFile(driverPath, true, false, gWow64);
        if (!gone) {
            InfoBox("Fehler bei Deinstallation von %s:\nFolgende Treiberdatei konnte nicht gelöscht "
                    "werden:\n  %s",
                    kDisplayName, driverPath);
            return false;
        }
    } else if (!gLayoutKeyGone && QuestionBox("Problem bei Deinstallation von %s:\nTreiberdatei nicht (mehr) "
                           "vorhanden:\n  %s\n\nTrotzdem fortfahren?",
                           kDisplayName, driverPath) != IDYES) {
        return false;
    }
    if (gWow64) {
        // Reached by its own path, with the redirection as it is.
        Sleep(100);
        char wow64Path[kPathSize];
        if (ComposeText(wow64Path, sizeof wow64Path, "%s%s", gSystemWow64Directory, kDriverFile) &&
            FileExists(wow64Path) && !DeleteFileW(Wide(wow64Path)) &&
            !(MayLeaveToRestart(wow64Path) && LeaveDriverToRestart(wow64Path, false)))
            InfoBox("Warnung bei Deinstallation von %s:\nFolgende Treiberdatei konnte nicht gelöscht "
                    "werden:\n  %s",
                    kDisplayName, wow64Path);
    }
    return true;
}

static void ReportRegistryProblem()
{
    InfoBox("Warnung bei Deinstallation von %s:\nProblem bei Registry-Key-Update:\n  %s", kDisplayName,
            gRegistryErrorText);
}

static void RemoveLayoutFromRegistry()
{
    // Nobody can be asked quietly; and a layout gone already is nobody's choice.
    if ((gQuiet || gLayoutKeyGone) && !LeavesAnotherLayout())
        KeepStandardLayoutOnly();
    if (!WriteBackLayoutLists())
        ReportRegistryProblem();
    if (!RemoveLayoutFromLanguageLists(HKEY_CURRENT_USER, "HKEY_CURRENT_USER"))
        ReportRegistryProblem();
    if (!RemoveLayoutFromTextServices(HKEY_CURRENT_USER, "HKEY_CURRENT_USER"))
        ReportRegistryProblem();
    // Every user's lists before the layout's key: a run cut short leaves the
    // layout registered, not lists that name a layout that is gone.
    CleanOtherUsers(kDisplayName, kShortcutName);
    if (gLayoutKeyGone)
        return;
    UniqueKey layouts(OpenKeyForRead(HKEY_LOCAL_MACHINE, kKeyboardLayoutsPath));
    if (!layouts)
        WarningBox("Warnung:\nFehler beim Öffnen des Registry-Keys HKEY_LOCAL_MACHINE\\%s",
                   kKeyboardLayoutsPath);
    else if (!DeleteKeyTree(layouts.get(), gLayoutKey))
        WarningBox("Warnung:\nFehler beim Löschen des Registry-Keys %s - %s", kKeyboardLayoutsPath,
                   gLayoutKey);
}

static void RemoveProgramFiles()
{
    DeleteShortcut(gStatusWindow, kShortcutName, false);
    DeleteShortcut(gStatusWindow, kShortcutName, true);
    for (const char* name : kHelperFiles) {
        char path[kPathSize];
        CopyText(path, sizeof path, gProgramFolder);
        bool fits = AddTrailingBackslash(path, sizeof path) && AppendText(path, sizeof path, name);
        if (!fits || !FileExists(path))
            continue;
        if (gQuiet && name == kHelperFiles[0] && MoveWaitingInstallerAside(path)) {
            SetStatusLine("Lösche %s ...", path);
            continue;
        }
        if (!DeleteOneFile(path, true, true))
            InfoBox("Warnung bei Deinstallation von %s:\nFolgende Hilfsdatei konnte nicht gelöscht "
                    "werden:\n  %s",
                    kDisplayName, path);
    }
    if (!RemoveOneDirectory(gProgramFolder))
        InfoBox("Warnung bei Deinstallation von %s:\nFolgendes Hilfsverzeichnis konnte nicht "
                "entfernt werden (möglicherweise ist es nicht leer):\n  %s",
                kDisplayName, gProgramFolder);
}

bool RunUninstall()
{
    gExitCode = kExitFailed;
    if (SnapshotAllowsUninstall() && RemoveDriverFile()) {
        RemoveLayoutFromRegistry();
        RemoveProgramFiles();
        UpdateUninstallEntry(kEntryName);
        gExitCode = gProblemBoxes != 0 ? kExitFailed : driverPending ? kExitRestartNeeded : kExitUninstalled;
        if (driverPending && !gQuiet)
            InfoBox("Folgender Tastatur-Treiber wurde deinstalliert:\n%s\n\nDie Treiberdatei wird beim nächsten "
                    "Neustart von Windows gelöscht.", kDisplayName);
        else
            InfoBox("Folgender Tastatur-Treiber wurde deinstalliert:\n%s", kDisplayName);
    }
    return false;
}
