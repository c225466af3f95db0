// The uninstaller under Wine: its parts where the whole program cannot show them, then the whole program under the
// robot on the roads through the hand-over and the uninstall, loud and quiet, on machines that fight back. The removal
// rules and the words of the command line are checked natively.
#include "support.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "files/files.h"
#include "layouts/removal.h"
#include "layouts/snapshot.h"
#include "layouts/tables.h"
#include "layouts/writeback.h"
#include "layouts/registry.h"
#include "uninstall/invocation.h"
#include "uninstall/other_users.h"
#include "uninstall/system_dirs.h"

namespace {

// The copy's directory is made now, for SYSTEM and the Administrators alone, and held so that nobody can move it away:
// a name already taken is never used; when every try finds one taken, none is made.
TEST(Files, CopyDirectoryIsFreshAndProtected)
{
    ClearCopies();
    const std::string taken = TempDir() + "Uninstall_Quorvex.00000001";
    CreateDirectoryW(Utf16(taken).c_str(), nullptr); PutFile(taken + "\\planted.exe", "planted");
    char dir[260];
    UniqueFile held;
    ASSERT_TRUE(MakeCopyDirectory(TempDir().c_str(), dir, sizeof dir, [] { static unsigned next = 1; return next++; },
                                  held));
    EXPECT_EQ(dir, TempDir() + "Uninstall_Quorvex.00000002");
    EXPECT_TRUE(OnlyForAdministrators(dir));
    EXPECT_FALSE(MoveFileW(Utf16(dir).c_str(), Utf16(taken + ".moved").c_str()) ||
                 RemoveDirectoryW(Utf16(dir).c_str()));
    held.reset();
    EXPECT_FALSE(MakeCopyDirectory(TempDir().c_str(), dir, sizeof dir, [] { return 1u; }, held));
    EXPECT_STREQ(dir, "");
    EXPECT_EQ(Content(taken + "\\planted.exe"), "planted");
    EXPECT_EQ(CopyDirs(), (std::vector<std::string>{taken, TempDir() + "Uninstall_Quorvex.00000002"}));
}

// The redirection stays as Windows set it; a system-folder call alone reaches the real system folder.
TEST(Files, OnlyTheSystemFolderCallsGoPastTheRedirection)
{
    const std::string real = "qvx-real.tmp", only32 = "qvx-only32.tmp";
    PutFile(SystemDir() + real);  // the harness writes past the redirection
    PutFile((Wow64Dir().empty() ? SystemDir() : Wow64Dir()) + only32);
    PrepareSystemDirectories();
    EXPECT_EQ(FileExists((gSystemDirectory + real).c_str()), Wow64Dir().empty()) << "redirection off";
    EXPECT_TRUE(DeleteOneFile((gSystemDirectory + real).c_str(), false, false, true));
    EXPECT_EQ(Content(SystemDir() + real), "") << "not deleted in the real system folder";
    EXPECT_TRUE(FileExists((gSystemDirectory + only32).c_str())) << "redirection not restored";
    RemoveTree((Wow64Dir().empty() ? SystemDir() : Wow64Dir()) + only32);
}

// A list deleted while it is read (a user removing a language at that moment) ends the loop with the registry's
// answer, where it once went on for ever.
TEST(LayoutRegistry, AListDeletedWhileReadEndsItsLoop)
{
    WriteDwords(kUser, "qvx-deleted", {{"0407:00000407", 1}, {"0407:E0010407", 2}});
    UniqueKey key = Open(kUser, "qvx-deleted");
    RemoveKey(kUser, "qvx-deleted");
    unsigned names = 0;
    EXPECT_EQ(ForEachValueName(key.get(), [&](const char*) { ++names; }), ERROR_KEY_DELETED);
    EXPECT_EQ(names, 0u);
}

// The backup and restore privileges are on only while hives load and unload: as they were before, after, and while
// the warning about bert's shortcut, a link to a file of his, stands: no file is opened with them.
TEST(OtherUsers, HivePrivilegesAreOnOnlyWhileHivesLoad)
{
    InstallProduct();
    CopyText(gLayoutKey, sizeof gLayoutKey, kKey); gLayoutKeyIndex = 0;
    PrepareSystemDirectories();
    for (bool enabled : {false, true}) {
        ArrangeUsers();  // bert's hive left loaded, as by an earlier run
        UnixLink("C:\\users\\Ольга\\NTUSER.DAT", kUserLinks[1]);
        HivePrivilegesOn(enabled, !enabled);
        std::string whileShown;
        StartAnsweringOwnBoxes({}, [&](const RobotBox& box) { whileShown += HivePrivilegesOn() + ";" + box.text; });
        CleanOtherUsers(DISPLAY, "Tastaturbelegung E1 (V3.11) Schaubild");
        EXPECT_EQ(StopAnsweringOwnBoxes().size(), 1u);
        EXPECT_EQ(whileShown.substr(0, whileShown.find(';')), enabled ? "SeBackupPrivilege SeRestorePrivilege" : "");
        EXPECT_NE(whileShown.find("Ольга\\Desktop"), std::string::npos) << "bert's hive was loaded: " << whileShown;
        EXPECT_EQ(HivePrivilegesOn(), enabled ? "SeBackupPrivilege SeRestorePrivilege" : "");
        EXPECT_EQ(Subkeys(HKEY_USERS, "").find(" Quorvex_"), std::string::npos);
        UnixLink("", kUserLinks[1]);
    }
    ClearUsers();
}

const wchar_t kLockName[] = L"Global\\Quorvex_Uninstall";
const char kOurLock[] = "O:BAD:(A;;0x1f0001;;;SY)(A;;0x1f0001;;;BA)";  // for SYSTEM and the Administrators alone
const std::string kRunning = "Information: Die Deinstallation von " DISPLAY " läuft bereits. | Bitte warten Sie, "
                             "bis sie beendet ist. => OK";
// Two quiet removals started at one moment: one removes, the other changes nothing and answers 1618, as Windows
// Installer does while another installation runs (or 1605, where it came only after the first). Then a deployment
// tool ends the installed program while its copy works (held still, its lists slow to read) and tries again at once:
// 1618 and nothing changed, for the copy holds the lock; the copy then finishes the removal for every user.
TEST(Uninstall, OneRemovalAtATime)
{
    InstallProduct();
    const std::string logs[] = {TempDir() + "qvx first.log", TempDir() + "qvx second.log"};
    const auto quietly = [&](int i) { RemoveTree(logs[i]); return kKey + (" /quiet \"/log=" + logs[i]) + '"'; };
    PROCESS_INFORMATION started[2] = {};
    const auto start = [&](int i, DWORD flags = 0) {
        std::wstring line = Utf16("\"" + InstalledExe() + "\" " + quietly(i));
        STARTUPINFOW startup = {}; startup.cb = sizeof startup;
        EXPECT_TRUE(CreateProcessW(Utf16(InstalledExe()).c_str(), &line[0], nullptr, nullptr, FALSE, flags, nullptr,
                                   nullptr, &startup, &started[i]));
    };
    DWORD codes[2] = {};
    const auto finish = [&](int i) {
        EXPECT_EQ(WaitForSingleObject(started[i].hProcess, 30000), WAIT_OBJECT_0);
        GetExitCodeProcess(started[i].hProcess, &codes[i]);
        CloseHandle(started[i].hProcess); CloseHandle(started[i].hThread);
        return codes[i];
    };
    start(0); start(1);
    finish(0); finish(1);
    // The second copy either meets the first at work, or comes once it has finished: nothing left to remove.
    const int removed = codes[0] == 0 ? 0 : 1;
    EXPECT_TRUE(codes[removed] == 0 && (codes[1 - removed] == 1618 || codes[1 - removed] == 1605));
    EXPECT_EQ(Content(logs[removed]).find("Warnung"), std::string::npos) << Content(logs[removed]);
    EXPECT_NE(Content(logs[1 - removed]).find(codes[1 - removed] == 1618 ? kRunning : "wurde nicht gefunden."),
              std::string::npos) << Content(logs[1 - removed]);
    EXPECT_EQ(ProductLeft(), "");
    // Starts held back until a removal has run to its end, their own file moved away meanwhile: no copy, 1605;
    // but 1603 while the layout key is still there (the removal could not delete it), never "not found".
    InstallProduct();
    start(1, CREATE_SUSPENDED); start(0, CREATE_SUSPENDED);
    EXPECT_TRUE(EndedWith(RunInstalled(quietly(0), {}), 0, 1));
    ResumeThread(started[1].hThread);
    EXPECT_EQ(finish(1), 1605u);
    EXPECT_NE(Content(logs[1]).find("[installiert] Warnung: Der Registry-Key des zu deinstallierenden "
                                    "Tastaturtreibers wurde nicht gefunden."), std::string::npos) << Content(logs[1]);
    PutValue(kMachine, LayoutPath(kKey), "Layout File", "Quorvex.DLL");
    ResumeThread(started[0].hThread);
    EXPECT_EQ(finish(0), 1603u);

    InstallProduct(); ArrangeUsers();
    for (int i = 3; i <= 1001; ++i) PutValue(kUser, kPreloadPath, std::to_string(i), "00000409");  // slow to read
    start(0);
    // Asked, quietly: the copy holds the lock and is at work on the slow lists.
    for (int poll = 0; poll < 3000 && Content(logs[0]).find("[Kopie] Frage") == std::string::npos; ++poll) Sleep(2);
    const DWORD copy = ChildOf(started[0].dwProcessId);
    const UniqueHandle copyProcess(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, copy));
    Suspend(copy);
    TerminateProcess(started[0].hProcess, 1);
    const std::string before = Machine();
    EXPECT_TRUE(EndedWith(RunInstalled(quietly(1), {}), 1618, 0));
    EXPECT_EQ(Content(logs[1]).find("[installiert] " + kRunning), 20u) << Content(logs[1]);
    EXPECT_EQ(Machine(), before);
    Suspend(copy, true);
    DWORD code = 1;
    EXPECT_TRUE(WaitForSingleObject(copyProcess.get(), 30000) == 0 && GetExitCodeProcess(copyProcess.get(), &code));
    const std::string after = Lower(Machine());  // nobody's lists name the layout, nothing of the product is left
    EXPECT_TRUE(code == 0 && after.find("0010407") == after.npos && after.substr(after.find("\nproduct:")) ==
                "\nproduct: ") << code << after;
    ClearCopies();
}

// Figures only, never judged: best of three, as the first runs warm the
// registry. Run by tools/bench.sh, not by the tests.
TEST(LayoutRegistry, DISABLED_Benchmark)
{
    double best[2] = {1e9, 1e9};
    for (unsigned n : {100u, 1000u}) {
        for (int run = 0; run < 3; ++run) {
            WriteValues(kUser, kPreloadPath, {{"1", "00000407"}});
            WriteValues(kUser, kSubstitutesPath, {{"dfff0407", "00020407"}});
            RemoveKey(kMachine, kLayoutsPath); PutValue(kMachine, LayoutPath(kKey), "Layout File", "X");
            for (unsigned j = 1; j < n; ++j) {
                char id[16], layout[16];
                snprintf(id, sizeof id, "d%03x0407", j); snprintf(layout, sizeof layout, "A%03X0407", j);
                PutValue(kUser, kPreloadPath, std::to_string(j + 1), id);
                PutValue(kUser, kSubstitutesPath, id, j == 1 ? kKey : layout);
                PutValue(kMachine, LayoutPath(layout), "Layout File", "X.DLL");
            }
            CopyText(gLayoutKey, sizeof gLayoutKey, kKey);
            const auto from = std::chrono::steady_clock::now();
            EXPECT_TRUE(TakeLayoutSnapshot(false) && RemoveLayoutFromPreload() && WriteBackLayoutLists())
                << gRegistryErrorText;
            const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - from;
            best[n > 100] = std::min(best[n > 100], took.count());
        }
        printf("[ BENCH    ] %4u entries: %8.1f ms (snapshot, removal, write-back)\n", n, best[n > 100]);
    }
    printf("[ BENCH    ] ratio 1000/100: %.1f\n", best[1] / best[0]);
}

TEST(Frame, WindowsErrorTextSystemTextAndAccessHint)
{
    wchar_t* system = nullptr;
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   ERROR_ACCESS_DENIED, 0x400, reinterpret_cast<wchar_t*>(&system), 0, nullptr);
    ASSERT_NE(system, nullptr) << "Wine has no text for code 5";
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(CaptureLastError(), "Windows-Errorcode 5:\n" + Utf8(system) + " (übliche Ursache: Datei "
              "vorhanden, aber anderswo geöffnet, oder Zugriff durch System oder Sicherheitssoftware blockiert)");
    LocalFree(system);
    for (auto [code, number] : {std::pair{DWORD{65536}, "00010000"}, {-65534, "-65534"}})  // decimal: -65534 to 65535
        EXPECT_EQ(ErrorText(code).substr(0, ErrorText(code).find_first_of(":(")),
                  "Windows-Errorcode " + std::string(number));
    // A system text with an insert keeps its marker instead of reading arguments nobody passed.
    EXPECT_NE(ErrorText(ERROR_BAD_EXE_FORMAT).find("%1"), std::string::npos);
}

const std::string kWarning = "Warnung bei Deinstallation von " DISPLAY ":\n",
                  kError = "Fehler beim Öffnen des Registry-";
UniqueFile gHeld;  // a file an arrangement holds open during the run
void AddPreload(const std::string& name, const std::string& data, DWORD type = REG_SZ)
{
    PutValue(kUser, kPreloadPath, name, data, type);
}
void AddSubstitute(const std::string& name, const std::string& data) { PutValue(kUser, kSubstitutesPath, name, data); }
const std::string kOtherDriver = "Der Registry-Key des zu deinstallierenden Tastaturtreibers enthält eine andere "
    "Treiberdatei-Angabe als zum Zeitpunkt der Installation.\nAus Sicherheitsgründen wird daher die Deinstallation "
    "jetzt nicht durchgeführt.\nTreiber: " DISPLAY "\n";
// Layouts nobody may read: a German one (Swiss) named with %, and one whose language matches only ignoring case.
const char kPercentLayout[] = "%s%n0807", kLowerLayout[] = "00000c07";

// Arranged on the complete installation: the answers, the boxes, the lists and parts of the product left
// ("<unchanged>": the machine as it was), the copies started, every process's exit code, a quiet run's log, the program
// started.
struct Road {
    std::string what;
    std::function<void()> arrange;
    std::string boxes = kQuestion + kDone, preload = "1=00000407", substitutes = "", left = "";
    std::vector<std::string> answers = {"yes", "ok", "ok", "ok", "ok", "ok"};
    std::string args = kKey, environment = "";
    unsigned copies = 1, code = 0;
    std::vector<std::string> log = {};
    std::string exe = InstalledExe();  // the program started
    std::string users = "";            // what the other users are left with; "": as they were
    std::function<void()> check = [] {};                   // what else the road leaves, looked at after the run
    std::function<void(const RobotBox&)> whileShown = {};  // looked at while each box stands
};
Road Refused(const char* what, std::function<void()> arrange, const std::string& boxes,
             std::vector<std::string> answers = {"ok"}, const std::string& args = kKey, const char* environment = "",
             unsigned copies = 1)
{
    return {what, std::move(arrange), boxes, "<unchanged>", "", "", std::move(answers), args, environment, copies};
}
#define CALLED "Deinstallationsprogramm nicht mit gültigem Registry-Key für die Tastatur aufgerufen "
enum Refusal { kMissing, kLength, kNotGerman, kStandard };
const std::string kRefused[] = {CALLED "(Angabe fehlt)", CALLED "(Länge nicht 8 Zeichen):\n",
                                CALLED "(endet nicht in \"0407\", also kein deutsches Layout):\n",
                                CALLED "(Schlüssel für Standardtastatur: nicht deinstallierbar):\n"};
// A command line the installed program refuses before it starts a copy; the
// box shows the key with every control character as a line break.
Road Line(const std::string& args, Refusal why, const std::string& shown)
{
    return Refused("", [] {}, Ok(kRefused[why] + shown), {"ok"}, args, "", 0);
}
Road Unknown(const std::string& key)
{
    return Refused("", [] {}, Ok(kNotFound + key + "\nDLL: Quorvex.DLL"), {"ok"}, key);
}
Road Rebuilt(const char* what, std::function<void()> arrange, const std::string& preload, const std::string& subs = "")
{
    return {what, std::move(arrange), kQuestion + kDone, preload, subs};
}
// The road with what else it leaves, looked at after the run, and what is looked at while each box stands.
Road Checked(Road road, std::function<void()> check, std::function<void(const RobotBox&)> whileShown = {})
{
    road.check = std::move(check); road.whileShown = std::move(whileShown);
    return road;
}
// Quietly: no window, no box, the copy's exit code through the installed program's, a log in UTF-8.
const std::string kLog = TempDir() + "qvx quiet.log", kUsualLog = TempDir() + "Uninstall_Quorvex.log";
const std::string kQuietly = kKey + std::string(" /quiet \"/log=") + kLog + "\"";
Road Quiet(const char* what, std::function<void()> arrange, unsigned code, std::vector<std::string> log,
           const std::string& args = kQuietly, unsigned copies = 1, const std::string& left = "")
{
    Road road = Refused(what, std::move(arrange), "", {}, args, "", copies);
    road.preload = code && code != ERROR_SUCCESS_REBOOT_REQUIRED ? "<unchanged>" : "1=00000407";
    road.left = left; road.code = code; road.log = std::move(log);
    return road;
}
// The road with the machine's other users arranged first; each is left the standard layout at least, carl too
// unless told, their text-service lists without ours unless the layout has no mark, and their shortcuts and loaded
// hives are gone.
Road WithUsers(Road road, const std::string& carl = "1=00000407;;", BertHive bert = kPlainHive,
               const std::string& linksLeft = "", bool marked = true)
{
    road.arrange = [arrange = road.arrange, bert] { ArrangeUsers(bert); arrange(); };
    const std::string services = TextServicesLaid(marked);
    road.users = "1=00000407;;;0407:00000407=\x01;" + carl + "1=00000407;;0407:00000407=\x01;0807:00000407=\x05 "
                 "CachedLanguageName=@Winlangdb.dll,-1106;0807:00000407=\x01;" + services + services + services +
                 linksLeft + " laid laid";
    return road;
}
// Users who turn their hives against the removal: anna's desktop a pipe the test serves, carl's desktop named through
// %USERNAME% and his Preload a link to a machine key, bert's hive file linked as told. Nothing may reach the pipe,
// carl's own shortcut goes, the machine key stays as it was; carl and bert get their warnings, everyone else is
// cleaned, and no hive is loaded while a box waits.
UniqueHandle gPipe;
const std::string kCarlLink = "C:\\users\\carl\\Desktop" + kLink;
std::string gLoadedWhileShown;
Road TurnedAgainst(Road road, BertHive bert)
{
    road = WithUsers(road, "1=d0010407;d0010407=E0010407;", bert, bert == kRootLinked ? " Łukasz Ольга" : " Łukasz");
    road.arrange = [arrange = road.arrange] {
        arrange();
        PutValue(kMachine, kLinkTarget, "1", "d0010407");
        RemoveKey(HKEY_USERS, kCarl + kPreloadPath); MakeKeyLink(HKEY_USERS, kCarl + kPreloadPath, kLinkTarget);
        gPipe.reset(CreateNamedPipeW(L"\\\\.\\pipe\\qvx-desktop", PIPE_ACCESS_DUPLEX, PIPE_NOWAIT, 1, 0, 0, 0,
                                     nullptr));
        PutValue(HKEY_USERS, kAnna + kShellFolders, "Desktop", "\\\\.\\pipe\\qvx-desktop", REG_EXPAND_SZ);
        PutValue(HKEY_USERS, kCarl + kShellFolders, "Desktop", "%SystemDrive%\\users\\%USERNAME%\\Desktop",
                 REG_EXPAND_SZ);
        PutFile(kCarlLink, "shortcut");
        gLoadedWhileShown = "";
    };
    return Checked(road, [] {
        EXPECT_FALSE(ConnectNamedPipe(gPipe.get(), nullptr));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_PIPE_LISTENING}) << "the desktop's pipe was reached";
        gPipe.reset();
        EXPECT_EQ(Attributes(kCarlLink), INVALID_FILE_ATTRIBUTES) << kCarlLink;
        EXPECT_EQ(gLoadedWhileShown, "");
        RemoveKey(HKEY_USERS, kCarl + kPreloadPath); RemoveKey(kMachine, kLinkTarget);
    }, [](const RobotBox& box) {  // bert's warning waits with his hive unloaded
        if (box.text.find("Ольга") == std::string::npos) return;
        const std::string loaded = Subkeys(HKEY_USERS, "");
        if (loaded.find(" Quorvex_") != std::string::npos) gLoadedWhileShown += loaded;
    });
}
// Users who lay links in their own folders: anna's shortcut a link to a file outside her profile, bert's desktop a
// link to a folder holding a file of the shortcut's name; carl's profile folder moved to another disk by an
// administrator's link, his desktop named on a drive with no disk. Both files stay, anna and bert get their warnings,
// carl's real shortcut goes.
const std::string kVictims = "C:\\qvx-victim", kCarlDisk = "C:\\qvx-disk\\carl",
                  kLinkedFolders[] = {"C:\\users\\Ольга\\Desktop", "C:\\users\\carl"};
Road LaidLinks(Road road)
{
    road = WithUsers(road, "1=00000407;;", kPlainHive, " Łukasz Ольга");
    road.arrange = [arrange = road.arrange] {
        arrange();
        RemoveTree(kVictims); RemoveTree(kCarlDisk);
        for (const std::string& file : {kVictims + "\\anna.txt", kVictims + kLink, kCarlDisk + "\\Desktop" + kLink})
            PutFile(file, "victim");
        UnixLink(kVictims + "\\anna.txt", kUserLinks[0]);
        UnixLink(kVictims, kLinkedFolders[0]); UnixLink(kCarlDisk, kLinkedFolders[1]);
        PutValue(HKEY_USERS, kCarl + kShellFolders, "Desktop", "Q:\\Desktop", REG_EXPAND_SZ);
    };
    return Checked(road, [] {
        EXPECT_EQ(Content(kVictims + "\\anna.txt") + Content(kVictims + kLink), "victimvictim");
        EXPECT_EQ(Attributes(kCarlDisk + "\\Desktop" + kLink), INVALID_FILE_ATTRIBUTES) << "carl's own shortcut";
        for (const std::string& link : {kUserLinks[0], kLinkedFolders[0], kLinkedFolders[1]}) UnixLink("", link);
        RemoveTree(kVictims); RemoveTree("C:\\qvx-disk");
    });
}
HMODULE gMapped;     // the driver file, mapped as an image by this process
std::string gDriverWhileAsked;  // the system folder's driver file while the in-use question stands
// A restart, each of its processes ending by itself; the driver files it leaves.
std::vector<std::string> DriverFilesAfterRestart()
{
    const RobotRun restart = RunInstalled("-r", {}, "", SystemDir() + "wineboot.exe");
    EXPECT_TRUE(EndedWith(restart, 0, restart.otherExitCodes.size()));
    NoRedirection guard;
    return Found(SystemDir(), "Quorvex.DLL*", false);
}
void MapDriver()
{
    NoRedirection guard;
    const std::wstring driver = Utf16(SystemDir() + "Quorvex.DLL");
    ASSERT_TRUE(CopyFileW(Utf16(SystemDir() + "version.dll").c_str(), driver.c_str(), FALSE));  // a real DLL
    gMapped = LoadLibraryExW(driver.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(gMapped, nullptr);
}
std::string LogLine(std::string text)  // a box's text as its log line shows it
{
    for (size_t at; (at = text.find('\n')) != std::string::npos;) text.replace(at, 1, " | ");
    return text;
}
// A user's warning as its box shows it, and a box as the log has it.
std::string UserWarning(const std::string& who, const std::string& detail)
{
    return Ok(kWarning + "Problem bei Registry-Key-Update:\n  Fehler beim Bereinigen der Tastatur-Einstellungen von " +
              who + ":\n" + detail);
}
std::string Logged(const std::string& box)  // an Ok() box: its text between caption and final line break
{
    const size_t head = Ok("").size() - 1;
    return "[Kopie] Information: " + LogLine(box.substr(head, box.size() - head - 1)) + " => OK";
}
std::string LinkRefused(const std::string& who, const std::string& key)
{
    return UserWarning(who, "Der Registry-Key " + key + " ist ein Verweis auf einen anderen Key und wird nicht "
                            "bearbeitet.");
}
std::string LinkWarning(const std::string& who, const std::string& desktop)
{
    return UserWarning(who, "Die Datei " + desktop + "\\Tastaturbelegung E1 (V3.11) Schaubild.LNK ist ein Verweis auf "
                            "eine andere Datei und wird nicht gelöscht.");
}
// An object at the lock's name as another program makes it: a mutex by its descriptor, held by the thread making it,
// or ("") an event.
UniqueHandle gLock;
void Squat(const char* sddl)
{
    PSECURITY_DESCRIPTOR sd = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(Utf16(sddl).c_str(), SDDL_REVISION_1, &sd, nullptr);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, sd, FALSE};
    gLock.reset(*sddl ? CreateMutexExW(&attributes, kLockName, CREATE_MUTEX_INITIAL_OWNER, MUTEX_ALL_ACCESS)
                      : CreateEventW(nullptr, TRUE, FALSE, kLockName));
    LocalFree(sd);
}
const std::string kNoLock = "Die Deinstallation von " DISPLAY " kann nicht gestartet werden: ein anderes Programm "
                            "belegt ihre Sperre Global\\Quorvex_Uninstall.\nBitte versuchen Sie es später noch einmal.";
// Whatever stands at the lock's name and is no lock of ours: no lock, so no removal; quietly 1618.
Road Squatted(const char* what, const char* sddl, bool quiet)
{
    const auto arrange = [sddl] { Squat(sddl); };
    return quiet ? Quiet(what, arrange, 1618, {"[installiert] Warnung: " + LogLine(kNoLock) + " => OK",
                                              "[installiert] Exitcode: 1618"}, kQuietly, 0)
                 : Refused(what, arrange, Ok(kNoLock), {"ok"}, kKey, "", 0);
}
RobotRun gSecond;         // a start while another removal runs
std::string gLockShown;  // the lock's descriptor while the first asks
// Started from elsewhere: the installed program copied there, beside a directory named like a copy's.
const std::string kMade = TempDir() + "Uninstall_Quorvex.0a1b2c3d";
Road StartedFrom(const std::string& exe, unsigned copies)
{
    Road road = Refused("", [exe, copies] {
        SHCreateDirectoryExW(nullptr, Utf16(kMade + "\\Tief").c_str(), nullptr);
        CopyFileW(Utf16(InstalledExe()).c_str(), Utf16(exe).c_str(), FALSE);
        if (copies)  // the copy must be deletable whatever the original carries
            SetFileAttributesW(Utf16(exe).c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    }, kQuestion + kCancelled, {"no", "ok"}, kKey, "", copies);
    road.what = road.exe = exe;
    return road;
}

TEST(Uninstall, RoadsEndWithTheirBoxesHandOverToAProtectedCopyAndLeaveTheUserALayout)
{
    const std::string driver = SystemDir() + "Quorvex.DLL", folder = ProgramFolder(),
                      pdf = folder + "\\" + kHelperFiles[1], a258(258, 'A'), b259(259, 'B'), c260(260, 'C');
    std::string full = "1=00000407";  // 1000 read of 1001, one removed
    for (int i = 2; i <= 999; ++i) full += " " + std::to_string(i) + "=00000409";
    const std::string driver32 = Wow64Dir().empty() ? driver : Wow64Dir() + "Quorvex.DLL";
    const auto asked = [](const std::string& path) {
        return Ask("Die Treiberdatei " + path + " wird gerade verwendet (zum Beispiel, weil die Tastaturbelegung in "
                   "einer Sitzung aktiv ist) und kann erst beim nächsten Neustart von Windows gelöscht werden.\n\nSoll "
                   "die Deinstallation jetzt abgeschlossen und die Treiberdatei beim Neustart gelöscht werden?");
    };
    const std::string inUse = asked(driver);
    const auto driverStays = [=](DWORD error, const std::string& path = "") {  // may it go at the restart: "no"
        const std::string file = path.empty() ? driver : path;
        return kQuestion + asked(file) + FileBox(kCannotDelete + file + "\n\n" + ErrorText(error)) +
               Ok("Fehler bei Deinstallation von " DISPLAY ":\nFolgende Treiberdatei konnte nicht gelöscht "
                  "werden:\n  " + file);
    };
    const std::string folderStays = FileBox("Folgendes Verzeichnis kann nicht gelöscht werden:\n" + folder + "\n\n" +
                                            ErrorText(ERROR_DIR_NOT_EMPTY)) +
        Ok(kWarning + "Folgendes Hilfsverzeichnis konnte nicht entfernt werden (möglicherweise ist es nicht leer):\n  " +
           folder);
    const auto helperStays = [=](DWORD error) {
        return FileBox(kCannotDelete + pdf + "\n\n" + ErrorText(error)) +
               Ok(kWarning + "Folgende Hilfsdatei konnte nicht gelöscht werden:\n  " + pdf) + folderStays;
    };
    const std::string kLeftToRestart = "[Kopie] Status: Treiberdatei wird beim Neustart gelöscht: ";
    const std::string kCleaning = "[Kopie] Status: Bereinige Tastatur-Einstellungen von ";
    const std::string kNoMark = "[Kopie] Status: Keine Layout-Id: die Eingabe-Listen von Windows werden nicht "
                                "bereinigt.";
    const std::string kAsked = "[Kopie] Frage: Soll folgender Tastatur-Treiber deinstalliert werden? |  | " DISPLAY
                               " => Ja";
    const std::string goOn = Ask("Problem bei Deinstallation von " DISPLAY ":\nTreiberdatei nicht (mehr) "
                                 "vorhanden:\n  " + driver + "\n\nTrotzdem fortfahren?");
    const std::string finish = Ask("Die Deinstallation von " DISPLAY " wurde nicht abgeschlossen.\n\nSoll sie jetzt "
                                   "abgeschlossen werden?");
    const auto cutShort = [=] {  // cut off after the layout's key: driver files gone, the lists rebuilt, the rest there
        RemoveTree(driver); RemoveTree(Wow64Dir().empty() ? "C:\\qvx-none" : Wow64Dir() + "Quorvex.DLL");
        RemoveKey(kMachine, LayoutPath(kKey));
        WriteValues(kUser, kPreloadPath, {{"1", "00000407"}}); WriteValues(kUser, kSubstitutesPath, {});
    };
    std::string temp = TempDir(), upper = temp;
    // The program folds ASCII letters alone: every other letter of the user's name stays as written.
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; });
    ASSERT_NE(upper, temp) << "the temporary path needs lower-case letters";
    ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024) << "the null driver's screen";
    const Road roads[] = {
        // Only a file directly inside a copy directory, in any letter case, is the copy; all else hands over.
        StartedFrom(InstalledExe(), 1), StartedFrom(temp + "Uninstall_Quorvex.exe", 1),
        StartedFrom(kMade + "\\Tief\\Uninstall_Quorvex.exe", 1),
        StartedFrom(upper + "UNINSTALL_QUORVEX.0A1B2C3D\\Uninstall_Quorvex.exe", 0),
        {"complete", [] {}},
        {"/force despite another driver file deletes only ours, the words quoted, the key in lower case",
         [] { PutValue(kMachine, LayoutPath(kKey), "Layout File", "KBDGR.DLL"); },
         kQuestion + kDone, "1=00000407", "", "", {"yes", "ok"}, "\"e0010407\" \"/force\""},
        {"the driver file missing", [=] { RemoveTree(driver); }, kQuestion + goOn + kDone, "1=00000407", "", "",
         {"yes", "yes", "ok"}},
        Rebuilt("not in the Preload list",
                [] { WriteValues(kUser, kPreloadPath, {{"1", "00000407"}, {"2", "00000409"}});
                     WriteValues(kUser, kSubstitutesPath, {{"d0030407", "00010407"}}); },
                "1=00000407 2=00000409", "d0030407=00010407"),
        {"a helper file read-only, the user's own file in the folder",
         [=] { PutFile(folder + "\\Notizen.txt", "the user's own"); MakeStubborn(kReadOnly, pdf); },
         kQuestion + helperStays(ERROR_ACCESS_DENIED) + kDone, "1=00000407", "", "pdf folder"},
        {"a helper file held open", [=] { gHeld = MakeStubborn(kHeldOpen, pdf); },
         kQuestion + helperStays(ERROR_SHARING_VIOLATION) + kDone, "1=00000407", "", "pdf folder"},
        // No file of ours: left alone, silently.
        {"a shortcut and a helper file that are directories", [=] { MakeStubborn(kDirectory, Shortcut(false));
             MakeStubborn(kDirectory, folder + "\\" + kHelperFiles[2]); }, kQuestion + folderStays + kDone,
         "1=00000407", "", "ico folder desktop"},
        Rebuilt("every entry substituted: the one left takes the standard key's name",
                [] { WriteValues(kUser, kSubstitutesPath, {{"00000407", kKey}, {"d0010407", "00010407"}}); },
                "1=00000407", "00000407=00010407"),
        {"a list that cannot be written is put back as it was",
         [] { SetKeyDacl(kUser, kSubstitutesPath, "D:(D;;0x2;;;WD)(A;;KA;;;WD)"); },  // no setting of values
         kQuestion + Ok(kWarning + "Problem bei Registry-Key-Update:\n  Warnung:\nFehler beim Öffnen des Registry-Keys "
                        "HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes") + kDone,
         "1=00000407 2=d0010407", "d0010407=E0010407"},
        Rebuilt("the same data twice, in two cases: only the first read stands for the key, matched ignoring case",
                [] { AddPreload("2", "D0010407"); AddPreload("3", "d0010407"); AddSubstitute("d0010407", "e0010407"); },
                "1=00000407 2=d0010407"),
        Rebuilt("REG_DWORD in Preload", [] { AddPreload("3", Dword(0x409), REG_DWORD); }, "1=00000407 2=\x09\x04"),
        Rebuilt("unterminated REG_BINARY in Preload, shorter than the value before",
                [] { AddPreload("3", "409", REG_BINARY); }, "1=00000407 2=409"),
        Rebuilt("1001 values in Preload",
                [] { for (int i = 3; i <= 1001; ++i) AddPreload(std::to_string(i), "00000409"); }, full),
        Rebuilt("value names of 259, 260 and 261 characters",
                [] { AddPreload("3" + std::string(258, 'a'), "00000409");
                     AddPreload("4" + std::string(259, 'b'), "00000809");
                     AddPreload("5" + std::string(260, 'c'), "00000c09"); }, "1=00000407 2=00000409"),
        Rebuilt("data of 259, 260 and 261 bytes",
                [=] { AddPreload("3", a258); AddPreload("4", b259); AddPreload("5", c260); },
                "1=00000407 2=" + a258 + " 3=" + b259),
        Rebuilt("the uninstall entry with subkeys",
                [] { PutValue(kMachine, EntryPath() + "\\Teil\\Tiefer", "x", "y");
                     PutValue(kMachine, EntryPath() + "\\Zweiter", "", Dword(1), REG_DWORD); }, "1=00000407"),
        Rebuilt("no Uninstall key", [] { RemoveKey(kMachine, kUninstallPath); }, "1=00000407"),
        Refused("the driver file missing, and no going on", [=] { RemoveTree(driver); }, kQuestion + goOn,
                {"yes", "no"}),
        Refused("the driver file held open", [=] { gHeld = MakeStubborn(kHeldOpen, driver); },
                driverStays(ERROR_SHARING_VIOLATION), {"yes", "no", "ok", "ok"}),
        Refused("the driver file read-only", [=] { MakeStubborn(kReadOnly, driver); }, driverStays(ERROR_ACCESS_DENIED),
                {"yes", "no", "ok", "ok"}),
        Refused("a directory in the driver file's place", [=] { MakeStubborn(kDirectory, driver); },
                driverStays(ERROR_ACCESS_DENIED), {"yes", "no", "ok", "ok"}),
        Refused("another driver file", [] { PutValue(kMachine, LayoutPath(kKey), "Layout File", "Other.DLL"); },
                Ok(kOtherDriver + "Key: E0010407\nDLL bei Installation: Quorvex.DLL\nDLL jetzt: Other.DLL")),
        Refused("only a \"layout file\", even with /force",  // the name must match exactly
                [] { RegDeleteKeyValueW(kMachine, Utf16(LayoutPath(kKey)).c_str(), L"Layout File");
                     PutValue(kMachine, LayoutPath(kKey), "layout file", "Quorvex.DLL"); },
                Ok("Der Registry-Key des zu deinstallierenden Tastaturtreibers enthält keine Treiberdatei-Angabe.\n"
                   "Treiber: " DISPLAY "\nKey: E0010407\nDLL: Quorvex.DLL"), {"ok"}, "E0010407 /force"),
        Refused("an unreadable layout subkey named with %",
                [] { PutValue(kMachine, LayoutPath(kPercentLayout), "Layout File", "X.DLL");
                     SetKeyDacl(kMachine, LayoutPath(kPercentLayout), "D:(D;;KR;;;WD)(A;;KA;;;WD)"); },
                Ok(kError + "Subkeys " + kLayoutsPath + " - " + kPercentLayout)),
        Rebuilt("an unreadable layout of another language is never opened",
                [] { PutValue(kMachine, LayoutPath(kLowerLayout), "Layout File", "KBDA.DLL");
                     SetKeyDacl(kMachine, LayoutPath(kLowerLayout), "D:(A;;SDWDRC;;;WD)"); }, "1=00000407"),
        Refused("no Substitutes key", [] { RemoveKey(kUser, kSubstitutesPath); },
                Ok(kError + "Keys HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes")),
        Refused("no Keyboard Layouts key", [] { RemoveKey(kMachine, kLayoutsPath); },
                Ok(kError + "Keys HKEY_LOCAL_MACHINE\\" + kLayoutsPath)),
        Refused("no temporary directory: no copy, nothing started", [] {},
                Ok("Deinstallationsprogramm kann nicht in ein temporäres Verzeichnis kopiert werden, um sein Original "
                   "löschen zu können"), {"ok"}, kKey, "TMP=C:\\qvx-no-dir\\\nTEMP=C:\\qvx-no-dir\\", 0),
        Refused("only one Preload entry", [] { WriteValues(kUser, kPreloadPath, {{"1", "00000407"}}); },
                Ok("In den Windows-Spracheinstellungen ist die zu deinstallierende Tastaturbelegung derzeit als einzig "
                   "auswählbare Belegung hinterlegt.\nBitte wählen Sie dort erst eine andere Tastaturbelegung, bevor "
                   "Sie die hier gewählte deinstallieren.")),
        Refused("a blank in the quoted key: the copy refuses it", [] {}, Ok(kRefused[kMissing]), {"ok"},
                "\"E0 10407\""),
        Line("<none>", kMissing, ""), Line("<blanks>", kMissing, ""), Line("0010407", kLength, "0010407"),
        Line("E0010C07", kNotGerman, "E0010C07"), Line("00000407", kStandard, "00000407"),
        Line("00010407 /force", kStandard, "00010407"),  // Windows' own layouts are never forced
        Refused("Windows' own layout without /force: its driver file differs",
                [] { PutValue(kMachine, LayoutPath("00010407"), "Layout File", "KBDGR.DLL"); },
                Ok(kOtherDriver + "Key: 00010407\nDLL bei Installation: Quorvex.DLL\nDLL jetzt: KBDGR.DLL"), {"ok"},
                "00010407"),
        Line("%n%s%n%s", kNotGerman, "%n%s%n%s"), Line("E0010407\t/force", kLength, "E0010407\r\n/force"),
        Line(std::string(258, 'x'), kLength, std::string(258, 'x')),
        Line(std::string(300, 'x') + " /force", kLength, ""),
        Unknown("ABCD0407"), Unknown("Ä0010407"), Unknown("%s%n0407"),
        Quiet("quietly", [] {}, 0, {kAsked, "[Kopie] Information: Folgender Tastatur-Treiber wurde deinstalliert: | "
                                     DISPLAY " => OK", "[Kopie] Exitcode: 0", "[installiert] Exitcode: 0"}),
        Refused("not registered, and no entry: nothing to finish", [] {
                    RemoveKey(kMachine, LayoutPath(kKey)); RemoveKey(kMachine, EntryPath()); },
                Ok(kNotFound + "E0010407\nDLL: Quorvex.DLL")),
        Quiet("quietly, not registered, the entry naming another layout", [] {
                  RemoveKey(kMachine, LayoutPath(kKey));
                  PutValue(kMachine, EntryPath(), "UninstallString", "\"" + InstalledExe() + "\" e0020407"); }, 1605,
              {"[Kopie] Warnung: Der Registry-Key des zu deinstallierenden Tastaturtreibers wurde nicht gefunden. | "
               "Treiber: " DISPLAY " | Key: E0010407 | DLL: Quorvex.DLL => OK", "[installiert] Exitcode: 1605"}),
        WithUsers({"every user's lists and shortcuts, the current user's languages", [] {}}),
        WithUsers({"a user's hive that cannot be written: the others cleaned",
                   [] { SetKeyDacl(HKEY_USERS, kCarl + kSubstitutesPath, "D:(D;;0x2;;;WD)(A;;KA;;;WD)"); },
                   kQuestion + UserWarning("C:\\users\\carl", "Fehler beim Öffnen des Registry-Keys HKEY_USERS\\" +
                                           kCarl + kSubstitutesPath) + kDone}, "1=d0010407;d0010407=E0010407;"),
        [] {  // anna's default stays ours
            const std::string defaults = "HKEY_USERS\\" + kAnna + kCtf[1] + "\\0x00000407" + kBoard,
                              services = TextServicesLaid(true), standard = "=4:" + std::to_string(0x04070407u);
            Road road = WithUsers({"a user's text-service list that cannot be written: the others cleaned",
                                   [=] { SetKeyDacl(HKEY_USERS, defaults.substr(11), "D:(D;;0x2;;;WD)(A;;KA;;;WD)"); },
                                   kQuestion + UserWarning("C:\\users\\Łukasz", "Fehler beim Öffnen des "
                                                           "Registry-Keys " + defaults) + kDone});
            road.users.replace(road.users.find(services) + services.size() + services.rfind(standard), standard.size(),
                               "=4:" + std::to_string(0xF0C00407u));
            return road;
        }(),
        WithUsers(Quiet("quietly, every user, one after the other", [] {}, 0,
              {kAsked, kCleaning + "C:\\users\\Łukasz ...", kCleaning + "C:\\users\\carl ...",
               kCleaning + "HKEY_USERS\\.DEFAULT ...", kCleaning + "C:\\users\\Ольга ...",
               kCleaning + "C:\\users\\Default ...", "[installiert] Exitcode: 0"})),
        [] {  // no Substitutes at all, as the system account's
            Road road = WithUsers(Quiet("quietly, an own list without the layout, as the system account's: no refusal",
                [] { WriteValues(kUser, kPreloadPath, {{"1", "00000407"}}); RemoveKey(kUser, kSubstitutesPath); }, 0,
                {"[installiert] Exitcode: 0"}));
            road.substitutes = "<none>";
            return road;
        }(),
        Quiet("quietly, nothing but the layout left: the standard layout instead",
              [] { AddSubstitute("00000407", "e0010407"); }, 0, {"[installiert] Exitcode: 0"}),
        Quiet("quietly, Windows' own layout forced", [] {}, 87, {"[installiert] Warnung: " CALLED
              "(Schlüssel für Standardtastatur: nicht deinstallierbar): | 00030407 => OK",
              "[installiert] Exitcode: 87"}, "00030407 /quiet /force", 0),
        Quiet("quietly, a read-only driver file renamed to go at the restart", [=] { MakeStubborn(kReadOnly, driver); },
              3010, {kAsked, kLeftToRestart + driver + " | Windows-Errorcode 5:*", "[installiert] Exitcode: 3010"},
              kQuietly, 1, "renamed"),
        Quiet("quietly twice, in the usual log", [] {}, 87,
              {"[installiert] Warnung: " CALLED "(Angabe fehlt) => OK", "[installiert] Exitcode: 87"},
              "E0010407 /quiet /quiet", 0),
        Quiet("quietly, a log that cannot be made", [] {}, 0, {}, "E0010407 /quiet /log=C:\\qvx-no-dir\\x.log"),
        Quiet("quietly, the 32-bit system folder's driver file held: it goes at the restart too",
              [] { if (!Wow64Dir().empty()) gHeld = MakeStubborn(kHeldOpen, Wow64Dir() + "Quorvex.DLL"); },
              Wow64Dir().empty() ? 0 : 3010,
              {Wow64Dir().empty() ? kAsked : kLeftToRestart + Wow64Dir() + "Quorvex.DLL | Windows-Errorcode 32:*",
               "[installiert] Exitcode: " + std::string(Wow64Dir().empty() ? "0" : "3010")},
              kQuietly, 1, Wow64Dir().empty() ? "" : "driver32"),
        // Last: the restart after the table must take the file once its holder has ended.
        {"a removal cut off after the layout's key: the next start finishes it", cutShort, finish + kDone},
        Refused("a removal cut short, not finished now", cutShort, finish + kCancelled, {"no", "ok"}),
        WithUsers(Quiet("quietly, a removal cut short finished for every user: no Layout Id to go by",
                        [=] { cutShort(); LayUserLists(kUser, "", kPreloaded); }, 0,
                        {"[Kopie] Status: Schließe die unterbrochene Deinstallation ab ...", kNoMark,
                         "[installiert] Exitcode: 0"}), "1=00000407;;", kPlainHive, "", false),
        WithUsers(Quiet("quietly, a layout key without Layout Id: the text-service lists as they were", [] {
                            RegDeleteKeyValueW(kMachine, Utf16(LayoutPath(kKey)).c_str(), L"Layout Id"); }, 0,
                        {kAsked, kNoMark, "[installiert] Exitcode: 0"}), "1=00000407;;", kPlainHive, "", false),
        {"a lock left by a run that was killed blocks nothing", [] { std::thread([] { Squat(kOurLock); }).join(); }},
        Squatted("an event at the lock's name", "", false), Squatted("quietly, an event at the lock's name", "", true),
        Squatted("a mutex there that lets everybody only wait", "D:(A;;0x100000;;;WD)", false),
        Squatted("a mutex there open to all and held, but owned by no administrator", "D:(A;;0x1f0001;;;WD)", false),
        [&] {  // held: a lock the system account made that lets the Administrators only wait for it
            Road road = StartedFrom(upper + "UNINSTALL_QUORVEX.0A1B2C3D\\Uninstall_Quorvex.exe", 0);
            road.arrange = [arrange = road.arrange] { arrange(); Squat("O:SYD:(A;;0x1f0001;;;SY)(A;;0x120001;;;BA)"); };
            road.what = "quietly, a copy started while the lock is held"; road.boxes = ""; road.answers = {};
            road.args = kQuietly; road.code = 1618; road.log = {"[Kopie] " + kRunning, "[Kopie] Exitcode: 1618"};
            return road;
        }(),
        Checked({"a second start while the first asks: it says so, and the first goes on", [] {}},
                [] { EXPECT_TRUE(EndedWith(gSecond, 0, 0));
                     EXPECT_EQ(Shown(gSecond.boxes), Ok("Die Deinstallation von " DISPLAY " läuft bereits.\nBitte "
                                                        "warten Sie, bis sie beendet ist."));
                     EXPECT_EQ(gLockShown, kOurLock) << "the copy's lock, for SYSTEM and the Administrators alone"; },
                [](const RobotBox& box) {
                    if (box.text.rfind("Soll folgender", 0) != 0) return;
                    gSecond = RunInstalled(kKey, {"ok"});
                    gLockShown = Sddl("", UniqueHandle(OpenMutexW(READ_CONTROL, FALSE, kLockName)).get()); }),
        Checked({"the driver file mapped, as Windows maps a layout in use: it goes at the restart", MapDriver,
                 kQuestion + inUse + Ok("Folgender Tastatur-Treiber wurde deinstalliert:\n" DISPLAY "\n\nDie "
                                        "Treiberdatei wird beim nächsten Neustart von Windows gelöscht."),
                 "1=00000407", "", "renamed", {"yes", "yes", "ok"}},
                [] { FreeLibrary(gMapped);
                     EXPECT_EQ(DriverFilesAfterRestart(), std::vector<std::string>()) << "gone at the restart"; }),
        Checked(Refused("the driver file mapped, and not left to the restart", MapDriver,
                        driverStays(ERROR_ACCESS_DENIED), {"yes", "no", "ok", "ok"}), [] { FreeLibrary(gMapped); }),
        TurnedAgainst({"users who turn their hives against the removal", [] {},
                       kQuestion + LinkRefused("C:\\users\\carl", "HKEY_USERS\\" + kCarl + kPreloadPath) +
                           LinkRefused("C:\\users\\Ольга", "HKEY_USERS\\Quorvex_" + kBert + "\\" + kPreloadPath) +
                           kDone}, kListLinked),
        [=] {
            Road road = TurnedAgainst(Quiet("quietly, users who turn their hives against the removal: a warning, 1603",
                [] {}, 1603, {kAsked, Logged(LinkRefused("C:\\users\\carl", "HKEY_USERS\\" + kCarl + kPreloadPath)),
                              Logged(LinkRefused("C:\\users\\Ольга", "HKEY_USERS\\Quorvex_" + kBert)),
                              "[installiert] Exitcode: 1603"}), kRootLinked);
            road.preload = "1=00000407";
            return road;
        }(),
        LaidLinks({"users who lay links in their folders", [] {},
                   kQuestion + LinkWarning("C:\\users\\Łukasz", "C:\\users\\Łukasz\\Schreibtisch") +
                       LinkWarning("C:\\users\\Ольга", kLinkedFolders[0]) + kDone}),
        [=] {
            Road road = LaidLinks(Quiet("quietly, users who lay links in their folders: a warning, 1603", [] {}, 1603,
                {kAsked, Logged(LinkWarning("C:\\users\\Łukasz", "C:\\users\\Łukasz\\Schreibtisch")),
                 Logged(LinkWarning("C:\\users\\Ольга", kLinkedFolders[0])), "[installiert] Exitcode: 1603"}));
            road.preload = "1=00000407";
            return road;
        }(),
        Checked(Refused("only the 32-bit system folder's driver file in use: asked before either goes, both stay",
                        [=] { gHeld = MakeStubborn(kHeldOpen, driver32); gDriverWhileAsked = ""; },
                        driverStays(ERROR_SHARING_VIOLATION, driver32), {"yes", "no", "ok", "ok"}),
                [] { EXPECT_EQ(gDriverWhileAsked, "driver"); },
                [=](const RobotBox& box) {
                    NoRedirection guard;
                    if (box.text.find(" wird gerade") != box.text.npos)
                        gDriverWhileAsked = Attributes(driver) != INVALID_FILE_ATTRIBUTES ? "driver" : "gone"; }),
        Quiet("quietly, the driver file held: it goes at the restart", [=] { gHeld = MakeStubborn(kHeldOpen, driver); },
              3010, {kAsked, kLeftToRestart + driver + " | Windows-Errorcode 32:*", "[installiert] Exitcode: 3010"},
              kQuietly, 1, "pending driver"),
    };
    // Neighbours of the product that must come through untouched.
    const std::string neighbours[] = {LayoutPath("00010407") + "\\Fremd", std::string(kUninstallPath) + "\\Fremd\\Teil",
                                      std::string(kPreloadPath) + "\\Teil"};  // the lists are rewritten in place
    const auto Around = [&] {  // a foreign driver file too
        return List(kMachine, neighbours[0]) + List(kMachine, neighbours[1]) + List(kUser, neighbours[2]) +
               Content(SystemDir() + "KBDGR.DLL") + List(kMachine, kLinkTarget);
    };
    std::set<std::string> names;
    size_t fresh = 0;
    for (const Road& road : roads) {
        SCOPED_TRACE(road.what.empty() ? road.args.substr(0, 90) : road.what);
        for (const char* layout : {kPercentLayout, kLowerLayout})  // a DACL that denies reading allows deleting
            RegDeleteKeyW(kMachine, Utf16(LayoutPath(layout)).c_str());
        InstallProduct();
        PutValue(kMachine, neighbours[0], "Wert", "\x01\x02", REG_BINARY);
        PutValue(kMachine, neighbours[1], "x", "y"); PutValue(kUser, neighbours[2], "x", "y");
        PutFile(SystemDir() + "KBDGR.DLL"); RemoveTree(kLog); RemoveTree(kUsualLog);
        road.arrange();
        std::string want = Machine();
        const std::string around = Around();
        const size_t foreign = CopyDirs().size();  // named like copies, made by the arrangement
        if (road.preload != "<unchanged>") {  // the lists rebuilt, the layout's key gone
            want.replace(0, want.find("\nLayouts:"), "Preload: " + road.preload + "\nSubstitutes: " + road.substitutes);
            want.replace(want.find("\nProduct: "), std::string::npos, "\nProduct: " + road.left);
            if (want.find(" E0010407") != std::string::npos) want.erase(want.find(" E0010407"), 9);
        }
        if (!road.users.empty())
            want.replace(want.find("\nUsers: ") + 8, want.find("\nProduct: ") - want.find("\nUsers: ") - 8, road.users);
        RobotRun run = RunInstalled(road.args, road.answers, road.environment, road.exe, road.whileShown);
        gHeld.reset(); gLock.reset();
        EXPECT_TRUE(EndedWith(run, road.code, road.copies));
        EXPECT_EQ(Shown(run.boxes), road.boxes);
        if (road.boxes.rfind(kQuestion, 0) == 0) {  // asked in the copy's centred window, which owns every box
            EXPECT_EQ(run.status.title, "Uninstall_Quorvex V3.11 - Tastaturtreiber-Deinstallation");
            EXPECT_EQ(std::vector<int>({run.status.x, run.status.y, run.status.width, run.status.height}),
                      std::vector<int>({384, 320, 256, 128}));
            for (const RobotBox& box : run.boxes) EXPECT_TRUE(box.hasOwner) << box.text;
        }
        EXPECT_EQ(Machine(), want);
        EXPECT_EQ(Around(), around);
        // Every copy directory goes at the next restart; a fresh one, for SYSTEM and the Administrators alone,
        // holds a writable copy of the installed program.
        const std::vector<std::string> dirs = CopyDirs();
        EXPECT_EQ(dirs.size(), road.copies + foreign);
        EXPECT_EQ(PendingRenames().empty(), dirs.empty());
        for (const std::string& dir : dirs) {
            EXPECT_EQ(PendingDeletion(dir), dir != kMade || !road.copies) << dir << "\n" << PendingRenames();
            if (dir == kMade) continue;  // not the copy's own, unless it ran there
            EXPECT_TRUE(OnlyForAdministrators(dir));
            EXPECT_EQ(Attributes(dir + "\\Uninstall_Quorvex.exe"), DWORD{FILE_ATTRIBUTE_ARCHIVE});
            EXPECT_EQ(Content(dir + "\\Uninstall_Quorvex.exe"), Content(PROGRAM_EXE));
            names.insert(dir.substr(temp.size()));
            ++fresh;
        }
        road.check();
        if (road.args.find("/quiet") == std::string::npos) continue;
        EXPECT_FALSE(run.status.seen) << "no window may appear";
        // Each line in order, after its time stamp; the last one last.
        const std::string text = Content(road.args.find("/log=") == std::string::npos ? kUsualLog : kLog);
        size_t at = 0;
        for (const std::string& line : road.log) {  // a line ending in '*' only begins so
            at = text.find(" " + (line.back() == '*' ? line.substr(0, line.size() - 1) : line + "\r\n"), at);
            if (at == std::string::npos) {  // this road fails; the next one still runs
                ADD_FAILURE() << line << "\n" << text;
                break;
            }
            EXPECT_EQ(at, (at < 20 ? 0 : text.rfind('\n', at) + 1) + 19) << "a time stamp before each line";
        }
        if (at != std::string::npos) {
            EXPECT_EQ(road.log.empty() ? text : text.substr(at + 1), road.log.empty() ? "" : road.log.back() + "\r\n");
        }
    }
    for (const std::string& name : names)  // random, and each copy a name of its own
        EXPECT_TRUE(name.size() == 26 && name.find_first_not_of("0123456789abcdef", 18) == name.npos) << name;
    EXPECT_EQ(names.size(), fresh);
    EXPECT_EQ(DriverFilesAfterRestart(), std::vector<std::string>()) << "a restart deletes a driver file in use";
    EXPECT_EQ(CopyDirs(), std::vector<std::string>()) << "and the copies";
    RemoveTree(temp + "Uninstall_Quorvex.exe");
    for (const char* layout : {kPercentLayout, kLowerLayout})
        RegDeleteKeyW(kMachine, Utf16(LayoutPath(layout)).c_str());
    RemoveKey(kMachine, std::string(kUninstallPath) + "\\Fremd");
}

// "--install" lays the complete installation and ends, for the demonstration and the benchmark; "--profiles" adds
// 50 profiles that are not logged on.
[[maybe_unused]] const bool kInstallOnly = [] {
    if (wcsstr(GetCommandLineW(), L" --install") == nullptr)
        return false;
    InstallProduct();
    LayProfiles(wcsstr(GetCommandLineW(), L" --profiles") != nullptr ? 50 : 0);
    ExitProcess(::testing::UnitTest::GetInstance()->ad_hoc_test_result().Failed() ? 1 : 0);
}();

} // namespace
