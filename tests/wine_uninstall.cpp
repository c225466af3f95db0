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

// No changes nothing; Yes removes all and leaves the copy to the next restart;
// the leftover copy, started again, finds nothing to uninstall.
TEST_F(Uninstall, NoThenYesThenAgain)
{
    const std::string before = Machine();
    Expect(kKey, {"no", "ok"}, kQuestion + kCancelled, before);
    EXPECT_EQ(PendingRenames(), "");
    RobotRun run = Expect(kKey, {"yes", "ok"}, kQuestion + kDone, After(before));
    EXPECT_EQ(run.otherExitCodes.size(), 1u) << "the copy must have run";
    EXPECT_NE(PendingRenames().find("Uninstall_Quorvex.exe"), std::string::npos) << PendingRenames();
    const std::string again = TempDir() + "qvx-again\\Uninstall_Quorvex.exe";
    CreateDirectoryA((TempDir() + "qvx-again").c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(CopyPath().c_str(), again.c_str(), FALSE));
    Expect(kKey, {"ok"}, Ok("Der Registry-Key des zu deinstallierenden Tastaturtreibers wurde nicht gefunden.\n"
                            "Treiber: " DISPLAY "\nKey: E0010407\nDLL: Quorvex.DLL"), After(before), again);
    RemoveTree(TempDir() + "qvx-again");
    ASSERT_TRUE(FileThere(CopyPath()));
    EXPECT_TRUE(CleanEnd(Launch(SystemDir() + "wineboot.exe", "-r", {})));
    EXPECT_FALSE(FileThere(CopyPath())) << "a restart deletes the copy";
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

// Held open without delete sharing, read-only, or a directory in its place.
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
     }, ERROR_ACCESS_DENIED}};

// While the driver file stays, nothing else is touched.
TEST_F(Uninstall, StubbornDriverFileStopsBeforeTheRegistry)
{
    const std::string driver = SystemDir() + "Quorvex.DLL";
    for (const auto& [arrange, error] : kStubborn) {
        InstallProduct();
        HANDLE held = arrange(driver);
        Expect(kKey, {"yes", "ok", "ok"},
               kQuestion + FileBox(kCannotDelete + driver + "\n\n" + ExpectedErrorText(error)) +
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
        Expect(kKey, {"yes", "ok", "ok", "ok", "ok", "ok"},
               kQuestion + FileBox(kCannotDelete + pdf + "\n\n" + ExpectedErrorText(error)) +
                   Ok(warning + "Folgende Hilfsdatei konnte nicht gelöscht werden:\n  " + pdf) +
                   FileBox("Folgendes Verzeichnis kann nicht gelöscht werden:\n" + folder + "\n\n" +
                           ExpectedErrorText(ERROR_DIR_NOT_EMPTY)) +
                   Ok(warning + "Folgendes Hilfsverzeichnis konnte nicht entfernt werden (möglicherweise ist es "
                                "nicht leer):\n  " + folder) + kDone,
               After(Machine(), kUsualLists, "pdf folder"));
        EXPECT_EQ(Content(mine), "the user's own");
        CloseHandle(held);
    }
}

// A second click while the first copy asks: the running copy cannot be
// replaced, the second start says so, the first goes on undisturbed.
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
    const std::string before = Machine();
    RobotRun second = RunInstalled(kKey, {"ok", "ok"});
    firstRun.join();
    EXPECT_TRUE(CleanEnd(second));
    EXPECT_EQ(Shown(second.boxes),
              FileBox("Kopieren einer Datei fehlgeschlagen.\n\nQuelle: " + InstalledExe() + "\nZiel: " + CopyPath() +
                      "\n\n" + ExpectedErrorText(ERROR_SHARING_VIOLATION)) +
                  Ok("Deinstallationsprogramm kann nicht in ein temporäres Verzeichnis kopiert werden, um sein "
                     "Original löschen zu können"));
    EXPECT_TRUE(CleanEnd(first));
    EXPECT_EQ(Shown(first.boxes), kQuestion + kCancelled);
    EXPECT_EQ(Machine(), before);
    RemoveTree(signal + "1");
}

} // namespace
