// The roads through the whole two-process uninstall, and a machine that
// fights back: files that will not go, a second start while the copy asks.
#include "support.h"

#include <functional>
#include <thread>

namespace {

const std::string kUsualLists = "Preload: 1=00000407\nSubstitutes: \nLayouts: 00000407 00000409\n";
const std::string kCannotDelete = "Folgende Datei kann nicht gelöscht werden:\n";

// The machine after an uninstall that started from `before`: these lists, the
// other entries as they were, and what is left of the product.
std::string After(const std::string& before, const std::string& lists = kUsualLists, const std::string& left = "")
{
    const size_t from = before.find("Other entries"), to = before.find("Product: ");
    return lists + before.substr(from, to - from) + "Product: " + left;
}

// One run: its boxes, a clean end, the machine afterwards.
RobotRun Expect(const std::string& args, const std::vector<std::string>& answers, const std::string& boxes,
                const std::string& machine, const std::string& exe = InstalledExe())
{
    RobotRun run = Launch(exe, args, answers);
    EXPECT_TRUE(CleanEnd(run));
    EXPECT_EQ(Shown(run.boxes), boxes);
    EXPECT_EQ(Machine(), machine);
    return run;
}

class Uninstall : public ::testing::Test {
protected:
    void SetUp() override { InstallProduct(); }
};

// No changes nothing; Yes removes all; the leftover copy, started again,
// finds nothing to uninstall. Each copy leaves itself and its directory to
// the next restart, which takes them.
TEST_F(Uninstall, NoThenYesThenAgain)
{
    const std::string before = Machine();
    Expect(kKey, {"no", "ok"}, kQuestion + kCancelled, before);
    RobotRun run = Expect(kKey, {"yes", "ok"}, kQuestion + kDone, After(before));
    EXPECT_EQ(run.otherExitCodes.size(), 1u) << "the copy must have run";
    const std::string again = TempDir() + "Uninstall_Quorvex.a9a9a9a9";
    CreateDirectoryA(again.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(PROGRAM_EXE, (again + "\\Uninstall_Quorvex.exe").c_str(), FALSE));
    Expect(kKey, {"ok"}, Ok("Der Registry-Key des zu deinstallierenden Tastaturtreibers wurde nicht gefunden.\n"
                            "Treiber: " DISPLAY "\nKey: E0010407\nDLL: Quorvex.DLL"), After(before),
           again + "\\Uninstall_Quorvex.exe");
    const std::vector<std::string> dirs = CopyDirs();
    ASSERT_EQ(dirs.size(), 3u) << "after no, yes and the refusal";
    for (const std::string& dir : dirs)
        EXPECT_TRUE(PendingDeletion(dir)) << dir << "\n" << PendingRenames();
    EXPECT_TRUE(CleanEnd(Launch(SystemDir() + "wineboot.exe", "-r", {})));
    EXPECT_EQ(CopyDirs(), std::vector<std::string>()) << "a restart deletes the copies";
}

TEST_F(Uninstall, ForceDespiteAnotherDriverFileDeletesOnlyOurs)
{
    PutValue(HKEY_LOCAL_MACHINE, std::string(kLayoutsPath) + "\\" + kKey, "Layout File", "KBDGR.DLL");
    PutFile(SystemDir() + "KBDGR.DLL", "foreign");
    Expect("E0010407 /force", {"yes", "ok"}, kQuestion + kDone, After(Machine()));
    EXPECT_TRUE(FileThere(SystemDir() + "KBDGR.DLL"));
    RemoveTree(SystemDir() + "KBDGR.DLL");
}

TEST_F(Uninstall, MissingDriverFileAsksWhetherToGoOn)
{
    RemoveTree(SystemDir() + "Quorvex.DLL");
    const std::string before = Machine(), goOn = Ask("Problem bei Deinstallation von " DISPLAY ":\nTreiberdatei "
                                                     "nicht (mehr) vorhanden:\n  " + SystemDir() + "Quorvex.DLL\n\n"
                                                     "Trotzdem fortfahren?");
    Expect(kKey, {"yes", "no"}, kQuestion + goOn, before);
    Expect(kKey, {"yes", "yes", "ok"}, kQuestion + goOn + kDone, After(before));
}

TEST_F(Uninstall, LayoutNotInThePreloadListLeavesTheListsAlone)
{
    WriteValues(HKEY_CURRENT_USER, kPreloadPath, {{"1", "00000407"}, {"2", "00000409"}});
    WriteValues(HKEY_CURRENT_USER, kSubstitutesPath, {{"d0030407", "00010407"}});
    Expect(kKey, {"yes", "ok"}, kQuestion + kDone,
           After(Machine(), "Preload: 1=00000407 2=00000409\nSubstitutes: d0030407=00010407\nLayouts: 00000407 00000409\n"));
}

// Held open without delete sharing, read-only, or a directory in its place;
// error 0: no file of ours, passed over where only plain files are deleted.
const std::pair<std::function<HANDLE(const std::string&)>, DWORD> kStubborn[] = {
    {[](const std::string& p) {
         NoRedirection guard;
         return CreateFileA(p.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
     }, ERROR_SHARING_VIOLATION},
    {[](const std::string& p) {
         NoRedirection guard;
         SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_READONLY);
         return HANDLE(nullptr);
     }, ERROR_ACCESS_DENIED},
    {[](const std::string& p) {
         RemoveTree(p);
         NoRedirection guard;
         CreateDirectoryA(p.c_str(), nullptr);
         return HANDLE(nullptr);
     }, 0}};

// While the driver file stays, nothing else is touched.
TEST_F(Uninstall, StubbornDriverFileStopsBeforeTheRegistry)
{
    const std::string driver = SystemDir() + "Quorvex.DLL";
    for (const auto& [arrange, error] : kStubborn) {
        InstallProduct();
        HANDLE held = arrange(driver);
        Expect(kKey, {"yes", "ok", "ok"},
               kQuestion + FileBox(kCannotDelete + driver + "\n\n" + ExpectedErrorText(error ? error : ERROR_ACCESS_DENIED)) +
                   Ok("Fehler bei Deinstallation von " DISPLAY ":\nFolgende Treiberdatei konnte nicht gelöscht "
                      "werden:\n  " + driver),
               Machine());
        CloseHandle(held);
        RemoveTree(driver);
    }
}

// A helper file that will not go and the user's own file in the folder are
// reported; the rest is done.
TEST_F(Uninstall, StubbornHelperFileAndUserFileAreReportedAndTheRestIsDone)
{
    const std::string folder = ProgramFolder(), pdf = folder + "\\" + kHelperFiles[1], mine = folder + "\\Notizen.txt",
                      warning = "Warnung bei Deinstallation von " DISPLAY ":\n";
    for (const auto& [arrange, error] : kStubborn) {
        InstallProduct();
        PutFile(mine, "the user's own");
        HANDLE held = arrange(pdf);
        const std::string notDeleted = error == 0 ? "" : FileBox(kCannotDelete + pdf + "\n\n" + ExpectedErrorText(error)) +
                   Ok(warning + "Folgende Hilfsdatei konnte nicht gelöscht werden:\n  " + pdf);
        Expect(kKey, {"yes", "ok", "ok", "ok", "ok", "ok"},
               kQuestion + notDeleted +
                   FileBox("Folgendes Verzeichnis kann nicht gelöscht werden:\n" + folder + "\n\n" +
                           ExpectedErrorText(ERROR_DIR_NOT_EMPTY)) +
                   Ok(warning + "Folgendes Hilfsverzeichnis konnte nicht entfernt werden (möglicherweise ist es "
                                "nicht leer):\n  " + folder) + kDone,
               After(Machine(), kUsualLists, "pdf folder"));
        EXPECT_EQ(Content(mine), "the user's own");
        CloseHandle(held);
    }
}

// A second click while the first copy asks: the first copy's directory is
// protected, the second start gets a directory of its own, and both copies
// ask undisturbed.
TEST_F(Uninstall, SecondStartWhileTheFirstCopyAsks)
{
    const std::string signal = TempDir() + "qvx-first-box-";
    RemoveTree(signal + "1");
    RobotRun first;
    std::thread firstRun([&] {
        RobotOptions o;
        o.commandLine = "\"" + InstalledExe() + "\" " + kKey;
        o.answers = {"no", "ok"};
        o.holdMs = 4000;
        o.holdSignal = signal;
        first = RunWithRobot(o);
    });
    for (int i = 0; i < 300 && !FileThere(signal + "1"); ++i)
        Sleep(50);
    const std::vector<std::string> asking = CopyDirs();
    ASSERT_EQ(asking.size(), 1u);
    const std::string name = asking[0].substr(TempDir().size());
    EXPECT_EQ(name.substr(0, 18), "Uninstall_Quorvex.");
    EXPECT_EQ(name.size(), 26u);
    EXPECT_EQ(name.find_first_not_of("0123456789abcdef", 18), std::string::npos) << name;
    EXPECT_TRUE(OnlyForAdministrators(asking[0]));
    const std::string before = Machine();
    RobotRun second = RunInstalled(kKey, {"no", "ok"});
    firstRun.join();
    EXPECT_TRUE(CleanEnd(second));
    EXPECT_EQ(Shown(second.boxes), kQuestion + kCancelled);
    EXPECT_TRUE(CleanEnd(first));
    EXPECT_EQ(Shown(first.boxes), kQuestion + kCancelled);
    EXPECT_EQ(Machine(), before);
    EXPECT_EQ(CopyDirs().size(), 2u);
    RemoveTree(signal + "1");
}

// Shortcuts that are a directory or a link are no files of ours: left alone,
// silently, and the link's target with them.
TEST_F(Uninstall, ShortcutsThatAreNoFilesAreLeftAlone)
{
    const std::string target = TempDir() + "qvx-target.txt";
    PutFile(target, "the user's");
    RemoveTree(Shortcut(false));
    CreateDirectoryA(Shortcut(false).c_str(), nullptr);
    RemoveTree(Shortcut(true));
    // Wine 10 reports success here without making a link.
    const bool linked = CreateSymbolicLinkA(Shortcut(true).c_str(), target.c_str(), 0) && FileThere(Shortcut(true));
    if (!linked)
        PutFile(Shortcut(true), "shortcut");
    Expect(kKey, {"yes", "ok"}, kQuestion + kDone, After(Machine(), kUsualLists, linked ? "desktop common" : "desktop"));
    EXPECT_EQ(Content(target), "the user's");
    RemoveTree(Shortcut(false));
    RemoveTree(Shortcut(true));
    RemoveTree(target);
}

// Quietly: no window, no box, the answer a deployment tool reads from the
// installed program's exit code (the copy's, waited for), and a log in UTF-8.
TEST_F(Uninstall, QuietRunsAnswerWithExitCodesAndALog)
{
    const std::string log = TempDir() + "qvx quiet.log", usual = TempDir() + "Uninstall_Quorvex.log";
    const std::string ask = "[Kopie] Frage: Soll folgender Tastatur-Treiber deinstalliert werden? |  | " DISPLAY " => Ja",
                      done = "[Kopie] Information: Folgender Tastatur-Treiber wurde deinstalliert: | " DISPLAY " => OK",
                      quietLog = " /quiet \"/log=" + log + "\"";
    const struct { const char* what; std::function<void()> arrange; std::string args; unsigned code;
                   std::vector<std::string> lines; bool gone; bool usualLog = false; bool holdDriver = false; } roads[] = {
        {"complete", [] {}, kKey + quietLog, 0, {ask, done, "[Kopie] Exitcode: 0", "[installiert] Exitcode: 0"}, true},
        {"switches in another order", [] {}, "E0010407 \"/log=" + log + "\" /force /quiet", 0,
         {ask, done, "[installiert] Exitcode: 0"}, true},
        {"not registered", [] { RemoveKey(HKEY_LOCAL_MACHINE, std::string(kLayoutsPath) + "\\" + kKey); }, kKey + quietLog,
         1605, {"[Kopie] Warnung: Der Registry-Key des zu deinstallierenden Tastaturtreibers wurde nicht gefunden. | "
                "Treiber: " DISPLAY " | Key: E0010407 | DLL: Quorvex.DLL => OK", "[installiert] Exitcode: 1605"}, false},
        {"only one layout", [] { WriteValues(HKEY_CURRENT_USER, kPreloadPath, {{"1", "00000407"}}); }, kKey + quietLog,
         1603, {"[installiert] Exitcode: 1603"}, false},
        {"driver file held", [] {}, kKey + quietLog, 1603, {ask, "[installiert] Exitcode: 1603"}, false, false, true},
        {"/quiet twice, in the usual log", [] {}, "E0010407 /quiet /quiet", 87,
         {"[installiert] Warnung: Deinstallationsprogramm nicht mit g\xC3\xBCltigem Registry-Key f\xC3\xBCr die Tastatur "
          "aufgerufen (Angabe fehlt) => OK", "[installiert] Exitcode: 87"}, false, true},
        {"/log= empty", [] {}, "E0010407 /quiet /log=", 87, {"[installiert] Exitcode: 87"}, false, true},
        {"a log that cannot be made", [] {}, "E0010407 /quiet /log=C:\\qvx-no-dir\\x.log", 0, {}, true}};
    for (const auto& road : roads) {
        SCOPED_TRACE(road.what);
        InstallProduct();
        RemoveTree(log);
        RemoveTree(usual);
        road.arrange();
        HANDLE held = road.holdDriver ? kStubborn[0].first(SystemDir() + "Quorvex.DLL") : nullptr;
        const std::string before = Machine();
        RobotRun run = RunInstalled(road.args, {});
        CloseHandle(held);
        EXPECT_TRUE(run.started && !run.timedOut);
        EXPECT_EQ(run.exitCode, road.code);
        EXPECT_EQ(Shown(run.boxes), "");
        EXPECT_FALSE(run.status.seen) << "no window may appear";
        EXPECT_EQ(ProductLeft() == "", road.gone) << ProductLeft();
        if (!road.gone && !road.holdDriver) {
            EXPECT_EQ(Machine(), before);
        }
        // Each expected line in order, after its time stamp.
        const std::string text = Content(road.usualLog ? usual : log);
        size_t at = 0;
        for (const std::string& line : road.lines) {
            const size_t found = text.find(" " + line + "\r\n", at);
            ASSERT_NE(found, std::string::npos) << line << "\n" << text;
            EXPECT_EQ(found, (found < 20 ? 0 : text.rfind('\n', found) + 1) + 19) << "a time stamp before each line";
            at = found;
        }
        if (!road.lines.empty()) {
            EXPECT_EQ(text.substr(text.size() - road.lines.back().size() - 2), road.lines.back() + "\r\n");
        }
    }
    RemoveTree(log);
    RemoveTree(usual);
}

} // namespace
