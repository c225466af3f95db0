// The roads through the whole two-process uninstall, run for real. The refusals before the question
// are among the hostile registry states, a changed driver file among the hand-over cases.
#include "support.h"

#include <algorithm>

namespace {

#define DISPLAY "DIN E1 (Treiber V3.11 \"Selvarin\")"
const Box kAsk = {kProgramCaption, "Soll folgender Tastatur-Treiber deinstalliert werden?\n\n" DISPLAY, "yes,no"};
const Box kDone = {kProgramCaption, "Folgender Tastatur-Treiber wurde deinstalliert:\n" DISPLAY, "ok"};
const std::string kCannotDelete = "Folgende Datei kann nicht gelöscht werden:\n",
                  kBusy = "\n\n" + ExpectedErrorText(ERROR_SHARING_VIOLATION);

class Uninstall : public ::testing::Test {
protected:
    void SetUp() override { InstallProduct(); }
    // One run of the program: its boxes, a clean end, the machine afterwards.
    static RobotRun Run(const std::vector<std::string>& answers, const std::vector<Box>& boxes,
                        const MachineState& expected, const std::string& args = kKey, const std::string& exe = "")
    {
        RobotRun run = exe.empty() ? RunInstalled(args, answers) : RunFrom(exe, args, answers);
        ExpectCleanEnd(run);
        ExpectBoxes(run, boxes);
        EXPECT_EQ(Capture(), expected) << Describe(Capture());
        return run;
    }
    // The machine after a whole uninstall that started from this state.
    static MachineState Uninstalled(MachineState s)
    {
        std::vector<std::string>& entries = s.uninstallEntries;
        entries.erase(std::remove(entries.begin(), entries.end(), kEntryName), entries.end());
        s.preload = {{"1", "00000407"}}, s.substitutes = {}, s.layouts = {"00000407", "00000409"};
        s.helpers = {false, false, false};
        s.driver = s.driver32 = s.folder = s.userShortcut = s.commonShortcut = false;
        return s;
    }
};

TEST_F(Uninstall, NoChangesNothingYesRemovesEverythingAndTheCopyGoesAtRestart)
{
    MachineState before = Capture();
    Run({"no", "ok"}, {kAsk, {kProgramCaption, "Deinstallation abgebrochen.", "ok"}}, before);
    EXPECT_EQ(PendingRenames(), "");
    RobotRun run = Run({"yes", "ok"}, {kAsk, kDone}, Uninstalled(before));
    EXPECT_EQ(run.otherExitCodes.size(), 1u) << "the copy must have run";
    EXPECT_EQ(run.status.title, "Uninstall_Quorvex V3.11 - Tastaturtreiber-Deinstallation");
    EXPECT_NE(PendingRenames().find("Uninstall_Quorvex.exe"), std::string::npos) << PendingRenames();
    ASSERT_TRUE(FileThere(CopyPath()));
    ExpectCleanEnd(RunFrom(SystemDir() + "wineboot.exe", "-r", {}));  // only a restart deletes the copy
    EXPECT_FALSE(FileThere(CopyPath()));
}

TEST_F(Uninstall, ForceUninstallsDespiteAnotherDriverFileAndDeletesOnlyOurs)
{
    PutValue(HKEY_LOCAL_MACHINE, std::string(kLayoutsPath) + "\\" + kKey, "Layout File", REG_SZ,
             std::string("KBDGR.DLL") + '\0');
    PutFile(SystemDir() + "KBDGR.DLL", "foreign");
    Run({"yes", "ok"}, {kAsk, kDone}, Uninstalled(Capture()), "E0010407 /force");
    EXPECT_TRUE(FileThere(SystemDir() + "KBDGR.DLL"));
    RemoveFile(SystemDir() + "KBDGR.DLL");
}

TEST_F(Uninstall, MissingDriverFileAsksWhetherToGoOn)
{
    const std::string text = "Problem bei Deinstallation von " DISPLAY ":\nTreiberdatei nicht (mehr) vorhanden:\n  " +
                             SystemDir() + "Quorvex.DLL\n\nTrotzdem fortfahren?";
    const Box goOn = {kProgramCaption, text.c_str(), "yes,no"};
    RemoveFile(SystemDir() + "Quorvex.DLL");
    MachineState before = Capture();
    Run({"yes", "no"}, {kAsk, goOn}, before);
    Run({"yes", "yes", "ok"}, {kAsk, goOn, kDone}, Uninstalled(before));
}

TEST_F(Uninstall, DriverFileHeldOpenStopsWithTheRegistryUntouched)
{
    const std::string driver = SystemDir() + "Quorvex.DLL", box = kCannotDelete + driver + kBusy,
                      failed = "Fehler bei Deinstallation von " DISPLAY
                               ":\nFolgende Treiberdatei konnte nicht gelöscht werden:\n  " + driver;
    void* old = nullptr;
    Wow64DisableWow64FsRedirection(&old);
    HANDLE h = CreateFileA(driver.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    Wow64RevertWow64FsRedirection(old);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    Run({"yes", "ok", "ok"}, {kAsk, {kFileCaption, box.c_str(), "ok"}, {kProgramCaption, failed.c_str(), "ok"}},
        Capture());
    CloseHandle(h);
}

TEST_F(Uninstall, StubbornHelperFileAndUserFileInTheFolderAreReportedAndTheRestIsDone)
{
    const std::string folder = ProgramFolder(), pdf = folder + "\\" + kHelperFiles[1],
                      mine = folder + "\\meine Notizen.txt", warning = "Warnung bei Deinstallation von " DISPLAY ":\n",
                      fileBox = kCannotDelete + pdf + kBusy,
                      dirBox = "Folgendes Verzeichnis kann nicht gelöscht werden:\n" + folder + "\n\n" +
                               ExpectedErrorText(ERROR_DIR_NOT_EMPTY),
                      helper = warning + "Folgende Hilfsdatei konnte nicht gelöscht werden:\n  " + pdf,
                      notEmpty = warning + "Folgendes Hilfsverzeichnis konnte nicht entfernt werden "
                                           "(möglicherweise ist es nicht leer):\n  " + folder;
    PutFile(mine, "the user's own");
    HANDLE h = CreateFileA(pdf.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    MachineState expected = Uninstalled(Capture());
    expected.folder = expected.helpers[1] = true;
    Run({"yes", "ok", "ok", "ok", "ok", "ok"},
        {kAsk, {kFileCaption, fileBox.c_str(), "ok"}, {kProgramCaption, helper.c_str(), "ok"},
         {kFileCaption, dirBox.c_str(), "ok"}, {kProgramCaption, notEmpty.c_str(), "ok"}, kDone}, expected);
    CloseHandle(h);
    EXPECT_TRUE(FileThere(mine)) << "the user's file must stay";
}

TEST_F(Uninstall, LayoutNotInThePreloadListLeavesTheListsAlone)
{
    WriteValues(HKEY_CURRENT_USER, kPreloadPath, {{"1", "00000407"}, {"2", "00000409"}});
    WriteValues(HKEY_CURRENT_USER, kSubstitutesPath, {{"d0030407", "00010407"}});
    MachineState expected = Uninstalled(Capture());
    expected.preload = {{"1", "00000407"}, {"2", "00000409"}};
    expected.substitutes = {{"d0030407", "00010407"}};
    Run({"yes", "ok"}, {kAsk, kDone}, expected);
}

// The installed program is gone with its folder: the leftover copy, started
// from elsewhere as a user might, finds nothing to uninstall.
TEST_F(Uninstall, ASecondRunAfterTheUninstallIsACleanRefusal)
{
    Run({"yes", "ok"}, {kAsk, kDone}, Uninstalled(Capture()));
    std::string again = TempDir() + "sub\\Uninstall_Quorvex.exe";
    PutDirectory(TempDir() + "sub");
    ASSERT_TRUE(CopyFileA(CopyPath().c_str(), again.c_str(), FALSE));
    Run({"ok"}, {{kProgramCaption, "Der Registry-Key des zu deinstallierenden Tastaturtreibers wurde nicht gefunden."
                                   "\nTreiber: " DISPLAY "\nKey: E0010407\nDLL: Quorvex.DLL", "ok"}},
        Capture(), kKey, again);
}

} // namespace
