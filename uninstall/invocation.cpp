#include "uninstall/invocation.h"

#include "files/files.h"
#include "frame/app.h"
#include "frame/cmdline.h"
#include "frame/environment.h"
#include "frame/handle.h"
#include "frame/log.h"
#include "frame/message_box.h"
#include "frame/status_window.h"
#include "frame/text.h"
#include "frame/wide.h"
#include "layouts/tables.h"
#include "uninstall/arguments.h"
#include "uninstall/sequence.h"
#include "uninstall/system_dirs.h"

#include <aclapi.h>
#include <ntsecapi.h>
#include <sddl.h>

#include <cstring>
#include <utility>

#define NOT_CALLED_RIGHT "Deinstallationsprogramm nicht mit gültigem Registry-Key für die Tastatur aufgerufen "

static bool isCopy;

unsigned gExitCode;

static void RefuseArguments(ArgumentVerdict verdict)
{
    switch (verdict) {
    case kArgumentsAccepted:
        break;
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
}

// Title of the copy's window, cut safely for very long base names.
static void SetCopyTitle()
{
    SetWindowTitle(gProgramBaseName, " V3.11 - Tastaturtreiber-Deinstallation");
}

unsigned SystemRandom()
{
    unsigned value = 0;
    if (!RtlGenRandom(&value, sizeof value)) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        value = now.LowPart ^ (GetCurrentProcessId() << 16) ^ GetTickCount();
    }
    return value;
}

// Wine keeps no owner on files and reports the user for every one.
static bool RunsOnWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll"), "wine_get_version") != nullptr;
}

// True when SYSTEM or the Administrators own the object (a file, or a kernel
// object), as everything our runs make; a standard user can give nothing of
// theirs such an owner.
static bool OwnedByAdministrators(HANDLE object, SE_OBJECT_TYPE type)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(object, type, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &descriptor) !=
            ERROR_SUCCESS ||
        owner == nullptr) {
        LocalFree(descriptor);
        return false;
    }
    bool trusted = IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsWellKnownSid(owner, WinLocalSystemSid);
    if (!trusted && type == SE_FILE_OBJECT && RunsOnWine()) {
        HANDLE raw = nullptr;
        alignas(8) BYTE user[512];
        DWORD size = 0;
        UniqueHandle token(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw) ? raw : nullptr);
        trusted = token && GetTokenInformation(token.get(), TokenUser, user, sizeof user, &size) &&
                  EqualSid(owner, reinterpret_cast<TOKEN_USER*>(user)->User.Sid);
    }
    LocalFree(descriptor);
    return trusted;
}

// Holds the directory this process made at path a moment ago, so that it can
// be neither renamed nor deleted, once Windows confirms that it is that one:
// exactly there, no link, owned by the Administrators.
static bool HoldMadeDirectory(const char* path, UniqueFile& held)
{
    Wide widePath(path);
    held.reset(CreateFileW(widePath, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    // The temporary path may be given in short names; Windows answers in long ones.
    wchar_t expected[kFinalPathUnits], final[kFinalPathUnits];
    DWORD units = GetLongPathNameW(widePath, expected, kFinalPathUnits);
    BY_HANDLE_FILE_INFORMATION info;
    bool same = held && units > 0 && units < kFinalPathUnits && GetFileInformationByHandle(held.get(), &info) &&
                (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
                    FILE_ATTRIBUTE_DIRECTORY &&
                FinalPath(held.get(), final, kFinalPathUnits) &&
                CompareStringOrdinal(final, -1, expected, -1, TRUE) == CSTR_EQUAL &&
                OwnedByAdministrators(held.get(), SE_FILE_OBJECT);
    if (!same)
        held.reset();
    return same;
}

bool MakeCopyDirectory(const char* tempDirectory, char* directory, size_t size, unsigned (*random)(),
                       UniqueFile& held)
{
    // The temporary folder belongs to the user, and so to every program the
    // user runs: the elevated copy must lie where none of them can write,
    // in a directory this call made, never one somebody prepared, and held
    // until the copy runs, as the user may rename whatever lies in it.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    bool made = false;
    for (int attempt = 0; attempt < 8 && !made; ++attempt) {
        char digits[9];
        EightHexDigits(random(), digits);
        if (!ComposeText(directory, size, "%sUninstall_Quorvex.%s", tempDirectory, digits))
            break;
        made = CreateDirectoryW(Wide(directory), &attributes) != FALSE;
    }
    LocalFree(descriptor);
    // Made a moment ago and yet not the one made: somebody got in between.
    if (made && !HoldMadeDirectory(directory, held))
        made = false;
    if (!made && size > 0)
        directory[0] = '\0';
    return made;
}

// Starts programFile with "programFile" parameters, inheriting no handle;
// true when it started. With process given, the process handle is handed
// over there instead of being closed.
static bool LaunchProgram(const char* programFile, const char* parameters, UniqueHandle* process)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    SetStatusLine("Aufruf von %s %s ...", programFile, parameters);
    static char commandLine[4000];
    ComposeText(commandLine, sizeof commandLine, "\"%s\" %s", programFile, parameters);
    WideText<sizeof commandLine> wideLine(commandLine);
    // The elevated copy gets none of this process's handles.
    if (!CreateProcessW(Wide(programFile), wideLine.Writable(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
        WarningBox("Folgender Programmstart konnte nicht durchgeführt werden:\nDatei: %s\nAusführen "
                   "in: %s\nParameter: %s\n\n%s",
                   programFile, "<NULL>", parameters, CaptureLastError());
        return false;
    }
    UniqueHandle thread(started.hThread), owned(started.hProcess);
    if (process != nullptr)
        *process = std::move(owned);
    return true;
}

// Copies the program into a fresh protected directory and starts it there.
// The copy stays open, shared for reading only, until the new process
// exists, so that it cannot be swapped in between.
static bool StartCopy(const char* tempDirectory, const char* parameters, UniqueHandle* process)
{
    char directory[kPathSize] = "", destination[kPathSize] = "";
    UniqueFile heldDirectory;
    bool copied = tempDirectory != nullptr &&
                  MakeCopyDirectory(tempDirectory, directory, sizeof directory, SystemRandom, heldDirectory);
    // A cut path could name another file: better none at all.
    if (copied && !ComposeText(destination, sizeof destination, "%s\\%s", directory,
                               FinalComponent(gModulePath)))
        destination[0] = '\0';
    copied = copied && destination[0] != '\0' && CopyOneFile(gModulePath, destination, true, true);
    UniqueFile held;
    if (copied)
        held.reset(CreateFileW(Wide(destination), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                               nullptr));
    bool started = false;
    if (!copied || !held)
        WarningBox("Deinstallationsprogramm kann nicht in ein temporäres Verzeichnis kopiert "
                   "werden, um sein Original löschen zu können");
    else if (!(started = LaunchProgram(destination, parameters, process)))
        WarningBox("Deinstallationsprogramm kann Kopie im temporären Verzeichnis nicht starten, um "
                   "sein Original löschen zu können");
    held.reset();
    heldDirectory.reset();
    if (!started && directory[0] != '\0') {
        // Nothing of a copy that never ran may stay behind.
        if (destination[0] != '\0')
            DeleteFileW(Wide(destination));
        RemoveDirectoryW(Wide(directory));
    }
    return started;
}

// One removal at a time: the copy, which does the work, holds this lock from
// before its first question to its end (Windows frees it with the process).
// The installed program holds it only while it makes and starts its copy, so
// that a second start at that moment answers at once, instead of copying a
// program that the first removal is about to take away; its copy waits for
// it, briefly. The global name
// lets a run as the system account in session 0 and an administrator at the
// screen meet; its own descriptor lets either use a lock the other made.
static const wchar_t kRunLock[] = L"Global\\Quorvex_Uninstall";
static UniqueHandle runLock;

enum LockVerdict { kLockTaken, kLockHeld, kLockUnusable };

// The copy's wait for the lock its installed program lets go right after starting it.
constexpr DWORD kCopyWaitMs = 5000;

// Any user may make an object of that name first: whatever is there and not
// a lock of ours means no lock, and never a removal without one. A lock left
// by a process that ended holding it is free.
static LockVerdict TakeRunLock(DWORD waitMs)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"O:BAD:(A;;0x1f0001;;;SY)(A;;0x1f0001;;;BA)", SDDL_REVISION_1, &descriptor, nullptr))
        return kLockUnusable;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    // Not the full access CreateMutexW asks for: a lock another account made
    // with its default DACL grants the Administrators less. READ_CONTROL reads the owner.
    runLock.reset(CreateMutexExW(&attributes, kRunLock, 0, SYNCHRONIZE | MUTEX_MODIFY_STATE | READ_CONTROL));
    LocalFree(descriptor);
    const bool ours = runLock && OwnedByAdministrators(runLock.get(), SE_KERNEL_OBJECT);
    const DWORD wait = ours ? WaitForSingleObject(runLock.get(), waitMs) : WAIT_FAILED;
    const LockVerdict verdict = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED ? kLockTaken
                                : wait == WAIT_TIMEOUT                           ? kLockHeld
                                                                                 : kLockUnusable;
    if (verdict != kLockTaken)
        runLock.reset();
    return verdict;
}

bool CheckInvocation()
{
    // A temporary path cut or not converted whole would name another place: none at all.
    char tempDirectory[kPathSize] = "";
    wchar_t wide[MAX_PATH + 1] = L"";
    DWORD n = GetTempPathW(MAX_PATH + 1, wide);
    bool tempOk = n > 0 && n <= MAX_PATH && FromUtf16(wide, MAX_PATH, tempDirectory, sizeof tempDirectory) &&
                  AddTrailingBackslash(tempDirectory, sizeof tempDirectory);
    isCopy = tempOk && IsCopyPath(gModulePath, tempDirectory);
    SetLogProcess(isCopy ? "Kopie" : "installiert");

    ArgumentVerdict verdict = ValidateArguments();
    const bool logGiven = gLogPath[0] != '\0';
    if (gQuiet && !logGiven && tempOk &&
        !ComposeText(gLogPath, sizeof gLogPath, "%sUninstall_Quorvex.log", tempDirectory))
        gLogPath[0] = '\0';
    if (verdict != kArgumentsAccepted) {
        gExitCode = kExitBadCommandLine;
        RefuseArguments(verdict);
        return false;
    }
    PrepareSystemDirectories();
    const LockVerdict lock = TakeRunLock(isCopy ? kCopyWaitMs : 0);
    if (lock != kLockTaken) {
        // Deployment tools try again later on this code, as for Windows Installer.
        gExitCode = kExitAlreadyRunning;
        if (lock == kLockHeld)
            InfoBox("Die Deinstallation von %s läuft bereits.\nBitte warten Sie, bis sie beendet ist.", kDisplayName);
        else
            WarningBox("Die Deinstallation von %s kann nicht gestartet werden: ein anderes Programm belegt ihre "
                       "Sperre Global\\Quorvex_Uninstall.\nBitte versuchen Sie es später noch einmal.",
                       kDisplayName);
        return false;
    }
    if (isCopy) {
        SetCopyTitle();
        return true;
    }
    if (ReportsRemovedMeanwhile())
        return false;
    // The copy gets the same words; a log path may hold blanks, so it goes
    // quoted as a whole word.
    char parameters[3 * kPathSize];  // every word whole: a cut one would name another log
    CopyText(parameters, sizeof parameters, gLayoutKey);
    if (gForce)
        AppendText(parameters, sizeof parameters, " /force");
    if (gQuiet)
        AppendText(parameters, sizeof parameters, " /quiet");
    if (logGiven) {
        AppendText(parameters, sizeof parameters, " \"/log=");
        AppendText(parameters, sizeof parameters, gLogPath);
        AppendText(parameters, sizeof parameters, "\"");
    }
    UniqueHandle copy;
    bool started = StartCopy(tempOk ? tempDirectory : nullptr, parameters, &copy);
    ReleaseMutex(runLock.get());
    runLock.reset();
    gExitCode = kExitFailed;
    if (started && gQuiet) {
        // Deployment tools wait for the process they started and judge it by
        // its exit code: hand on the copy's.
        DWORD code = kExitFailed;
        if (WaitForSingleObject(copy.get(), INFINITE) == WAIT_OBJECT_0 &&
            GetExitCodeProcess(copy.get(), &code))
            gExitCode = code;
    }
    return false;
}

// The installed program a quiet run waits in, moved into the copy's directory.
static char movedInstaller[kPathSize];

bool MoveWaitingInstallerAside(const char* path)
{
    // A running program cannot be deleted, but it can be renamed on its
    // volume: out of the program folder, into the copy's own directory, to
    // go at the next restart with the copy.
    char target[kPathSize];
    if (!isCopy || !ComposeText(target, sizeof target, "%s.installed", gModulePath) ||
        !MoveFileExW(Wide(path), Wide(target), MOVEFILE_REPLACE_EXISTING))
        return false;
    CopyText(movedInstaller, sizeof movedInstaller, target);
    return true;
}

void ScheduleCopyRemoval()
{
    if (!isCopy)
        return;
    // Windows carries the marks out in order: the files, then their emptied directory.
    MoveFileExW(Wide(gModulePath), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    if (movedInstaller[0] != '\0')
        MoveFileExW(Wide(movedInstaller), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    char directory[kPathSize];
    CopyText(directory, sizeof directory, gModulePath);
    char* last = strrchr(directory, '\\');
    if (last != nullptr) {
        *last = '\0';
        MoveFileExW(Wide(directory), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
}
