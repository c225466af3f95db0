#include "uninstall/sequence.h"

#include "files/files.h"
#include "frame/cmdline.h"
#include "frame/environment.h"
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

static void ReportNotInstalled()
{
    gExitCode = kExitNotInstalled;
    WarningBox(DRIVER_KEY "wurde nicht gefunden.\nTreiber: %s\nKey: %s\nDLL: %s.DLL", kDisplayName, gLayoutKey,
               kDriverBaseName);
}

bool ReportsRemovedMeanwhile()
{
    char layoutKey[kPathSize];
    if (FileExists(gModulePath) ||
        !ComposeText(layoutKey, sizeof layoutKey, "%s\\%s", kKeyboardLayoutsPath, gLayoutKey))
        return false;
    if (OpenKeyForRead(HKEY_LOCAL_MACHINE, layoutKey) || GetLastError() != ERROR_FILE_NOT_FOUND)
        return false;
    ReportNotInstalled();
    return true;
}

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
        ReportNotInstalled();
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

// Whether the driver files that cannot go now may go at the next restart:
// quietly nobody can close what holds them, so yes; interactively the user
// says so, once for both, the first named.
static bool MayLeaveToRestart(const char* path)
{
    return gQuiet ||
           QuestionBox("Die Treiberdatei %s wird gerade verwendet (zum Beispiel, weil die Tastaturbelegung in einer "
                       "Sitzung aktiv ist) und kann erst beim nächsten Neustart von Windows gelöscht werden.\n\n"
                       "Soll die Deinstallation jetzt abgeschlossen und die Treiberdatei beim Neustart gelöscht "
                       "werden?",
                       path) == IDYES;
}

// A driver file in use goes at the next restart instead, which is no
// warning; error is why it could not go now.
static bool LeaveDriverToRestart(const char* path, bool realSystemFolder, const char* error)
{
    char marked[kPathSize];
    if (!DeleteAtRestart(path, realSystemFolder, SystemRandom, marked, sizeof marked))
        return false;
    char line[1500];
    ComposeText(line, sizeof line, "Treiberdatei wird beim Neustart gelöscht: %s\n%s", path, error);
    LogEvent("Status", line);
    driverPending = true;
    return true;
}

// The driver file in the system folder, and on 64-bit Windows its twin in
// the 32-bit one, each held unchanged while the user is asked.
struct DriverFile {
    char path[kPathSize];
    bool realSystemFolder;
    bool inUse;
    UniqueFile held;
    char error[1200];  // why it cannot go now
};

// A driver file that stays; in the system folder it stops the run.
static void ReportDriverFile(const DriverFile& file, bool stops)
{
    InfoBox(stops ? "Fehler bei Deinstallation von %s:\nFolgende Treiberdatei konnte nicht gelöscht werden:\n  %s"
                  : "Warnung bei Deinstallation von %s:\nFolgende Treiberdatei konnte nicht gelöscht werden:\n  %s",
            kDisplayName, file.path);
}

// The driver files go first; while the system folder's stays, the registry
// stays untouched. Whether each can go is known before either goes, so that
// one answer holds for both.
static bool RemoveDriverFiles()
{
    DriverFile files[2];
    const unsigned count = gWow64 ? 2 : 1;
    const DriverFile* firstInUse = nullptr;
    for (unsigned i = 0; i < count; ++i) {
        DriverFile& file = files[i];
        file.realSystemFolder = i == 0 && gWow64;
        file.inUse = false;
        // A cut path could name another file: better none at all.
        if (!ComposeText(file.path, sizeof file.path, "%s%s", i == 0 ? gSystemDirectory : gSystemWow64Directory,
                         kDriverFile))
            file.path[0] = '\0';
        bool exists = FileExists(file.path, file.realSystemFolder);
        if (i == 0 && !exists && !gLayoutKeyGone &&
            QuestionBox("Problem bei Deinstallation von %s:\nTreiberdatei nicht (mehr) vorhanden:\n  %s\n\n"
                        "Trotzdem fortfahren?", kDisplayName, file.path) != IDYES)
            return false;
        if (exists && !OpenForDeletion(file.path, file.realSystemFolder, file.held)) {
            CopyText(file.error, sizeof file.error, CaptureLastError());
            file.held.reset();
            file.inUse = true;
            firstInUse = firstInUse != nullptr ? firstInUse : &file;
        }
    }
    if (firstInUse != nullptr && !MayLeaveToRestart(firstInUse->path)) {
        for (unsigned i = 0; i < count; ++i) {
            files[i].held.reset();
            if (files[i].inUse) {
                ShowUndeletable(files[i].path, files[i].error);
                ReportDriverFile(files[i], true);
            }
        }
        return false;
    }
    for (unsigned i = 0; i < count; ++i) {
        DriverFile& file = files[i];
        if (i == 0 && (file.held || file.inUse))
            SetStatusLine("Lösche %s ...", file.path);
        bool gone = file.inUse ? LeaveDriverToRestart(file.path, file.realSystemFolder, file.error)
                               : !file.held || DeleteHeldFile(file.held);
        if (gone)
            continue;
        if (i > 0) {
            ReportDriverFile(file, false);
        } else if (!DeleteOneFile(file.path, true, false, file.realSystemFolder)) {
            files[1].held.reset();
            ReportDriverFile(file, true);
            return false;
        }
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
    for (int common = 0; common < 2; ++common) {
        char reason[2 * kPathSize];
        if (!DeleteShortcut(gStatusWindow, kShortcutName, common != 0, reason, sizeof reason))
            InfoBox("Warnung bei Deinstallation von %s:\n%s", kDisplayName, reason);
    }
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
    if (SnapshotAllowsUninstall() && RemoveDriverFiles()) {
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
