// The roads through the whole two-process uninstall, run for real.
#include "support.h"

static const char kQuestion[] =
    "Soll folgender Tastatur-Treiber deinstalliert werden?\n\nDIN E1 (Treiber V3.11 \"Selvarin\")";
static const char kDone[] =
    "Folgender Tastatur-Treiber wurde deinstalliert:\nDIN E1 (Treiber V3.11 \"Selvarin\")";

class Uninstall : public ::testing::Test {
protected:
    void SetUp() override { InstallProduct(); }
};

TEST_F(Uninstall, AnsweredYesRemovesEverythingAndKeepsTheStandardLayout)
{
    MachineState before = Capture();
    RobotRun run = RunInstalled(kKey, {"yes", "ok"});
    ExpectCleanEnd(run);
    ExpectBoxes(run, {{kProgramCaption, kQuestion, "yes,no"}, {kProgramCaption, kDone, "ok"}});
    EXPECT_EQ(run.otherExitCodes.size(), 1u) << "the copy must have run";

    MachineState after = Capture();
    EXPECT_EQ(after.preload, (Values{{"1", "00000407"}})) << Describe(after);
    EXPECT_EQ(after.substitutes, Values{});
    EXPECT_EQ(after.layouts, (std::vector<std::string>{"00000407", "00000409"}));
    EXPECT_EQ(after.uninstallEntries.size() + 1, before.uninstallEntries.size());
    EXPECT_FALSE(after.driver);
    EXPECT_FALSE(after.driver32);
    EXPECT_FALSE(after.folder);
    EXPECT_FALSE(after.userShortcut);
    EXPECT_FALSE(after.commonShortcut);
    EXPECT_NE(PendingRenames().find("Uninstall_Quorvex.exe"), std::string::npos) << PendingRenames();
    EXPECT_TRUE(run.status.seen);
    EXPECT_EQ(run.status.title, "Uninstall_Quorvex V3.11 - Tastaturtreiber-Deinstallation");

    // Restart Windows: the copy is deleted then.
    ASSERT_TRUE(FileThere(CopyPath()));
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    char restart[] = "wineboot.exe -r";
    ASSERT_TRUE(CreateProcessA(nullptr, restart, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EXPECT_FALSE(FileThere(CopyPath()));
}

static const char kCancelled[] = "Deinstallation abgebrochen.";
static const char kDisplay[] = "DIN E1 (Treiber V3.11 \"Selvarin\")";

static std::string LayoutKeyPath() { return std::string(kLayoutsPath) + "\\" + kKey; }

TEST_F(Uninstall, AnsweredNoChangesNothing)
{
    MachineState before = Capture();
    RobotRun run = RunInstalled(kKey, {"no", "ok"});
    ExpectCleanEnd(run);
    ExpectBoxes(run, {{kProgramCaption, kQuestion, "yes,no"}, {kProgramCaption, kCancelled, "ok"}});
    EXPECT_EQ(Capture(), before) << Describe(Capture());
    EXPECT_EQ(PendingRenames(), "");
}

// Each refusal before the question: one warning, nothing changed.
TEST_F(Uninstall, RefusalsChangeNothing)
{
    const std::string notFound =
        std::string("Der Registry-Key des zu deinstallierenden Tastaturtreibers wurde nicht "
                    "gefunden.\nTreiber: ") + kDisplay + "\nKey: E0010407\nDLL: Quorvex.DLL";
    const std::string noFile =
        std::string("Der Registry-Key des zu deinstallierenden Tastaturtreibers enthält keine "
                    "Treiberdatei-Angabe.\nTreiber: ") + kDisplay + "\nKey: E0010407\nDLL: Quorvex.DLL";
    const std::string otherFile =
        std::string("Der Registry-Key des zu deinstallierenden Tastaturtreibers enthält eine andere "
                    "Treiberdatei-Angabe als zum Zeitpunkt der Installation.\nAus Sicherheitsgründen "
                    "wird daher die Deinstallation jetzt nicht durchgeführt.\nTreiber: ") +
        kDisplay + "\nKey: E0010407\nDLL bei Installation: Quorvex.DLL\nDLL jetzt: KBDGR.DLL";
    const std::string onlyOne =
        "In den Windows-Spracheinstellungen ist die zu deinstallierende Tastaturbelegung derzeit "
        "als einzig auswählbare Belegung hinterlegt.\nBitte wählen Sie dort erst eine andere "
        "Tastaturbelegung, bevor Sie die hier gewählte deinstallieren.";
    struct Case {
        const char* what;
        void (*arrange)();
        const char* args;
        const std::string* text;
    } cases[] = {
        {"not registered", [] { RemoveKey(HKEY_LOCAL_MACHINE, LayoutKeyPath()); }, kKey, &notFound},
        {"no Layout File",
         [] {
             HKEY k;
             RegOpenKeyExA(HKEY_LOCAL_MACHINE, LayoutKeyPath().c_str(), 0, KEY_ALL_ACCESS, &k);
             RegDeleteValueA(k, "Layout File");
             RegCloseKey(k);
         },
         "E0010407 /force", &noFile},
        {"other driver file",
         [] { PutValue(HKEY_LOCAL_MACHINE, LayoutKeyPath(), "Layout File", REG_SZ, std::string("KBDGR.DLL") + '\0'); },
         kKey, &otherFile},
        {"only one Preload entry",
         [] { WriteValues(HKEY_CURRENT_USER, kPreloadPath, {{"1", "00000407"}}); }, kKey, &onlyOne},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InstallProduct();
        c.arrange();
        MachineState before = Capture();
        RobotRun run = RunInstalled(c.args, {"ok"});
        ExpectCleanEnd(run);
        ExpectBoxes(run, {{kProgramCaption, c.text->c_str(), "ok"}});
        EXPECT_EQ(Capture(), before) << Describe(Capture());
    }
}

TEST_F(Uninstall, ForceUninstallsDespiteAnotherDriverFileAndDeletesOnlyOurs)
{
    PutValue(HKEY_LOCAL_MACHINE, LayoutKeyPath(), "Layout File", REG_SZ, std::string("KBDGR.DLL") + '\0');
    PutFile(SystemDir() + "KBDGR.DLL", "foreign");
    RobotRun run = RunInstalled("E0010407 /force", {"yes", "ok"});
    ExpectCleanEnd(run);
    ExpectBoxes(run, {{kProgramCaption, kQuestion, "yes,no"}, {kProgramCaption, kDone, "ok"}});
    EXPECT_FALSE(Capture().driver);
    EXPECT_TRUE(FileThere(SystemDir() + "KBDGR.DLL"));
    RemoveFile(SystemDir() + "KBDGR.DLL");
}

TEST_F(Uninstall, MissingDriverFileAsksWhetherToGoOn)
{
    const std::string question = std::string("Problem bei Deinstallation von ") + kDisplay +
                                 ":\nTreiberdatei nicht (mehr) vorhanden:\n  " + SystemDir() +
                                 "Quorvex.DLL\n\nTrotzdem fortfahren?";
    RemoveFile(SystemDir() + "Quorvex.DLL");
    MachineState before = Capture();
    RobotRun run = RunInstalled(kKey, {"yes", "no"});
    ExpectCleanEnd(run);
    ExpectBoxes(run, {{kProgramCaption, kQuestion, "yes,no"}, {kProgramCaption, question.c_str(), "yes,no"}});
    EXPECT_EQ(Capture(), before) << Describe(Capture());

    run = RunInstalled(kKey, {"yes", "yes", "ok"});
    ExpectCleanEnd(run);
    ExpectBoxes(run, {{kProgramCaption, kQuestion, "yes,no"},
                      {kProgramCaption, question.c_str(), "yes,no"},
                      {kProgramCaption, kDone, "ok"}});
    MachineState after = Capture();
    EXPECT_EQ(after.preload, (Values{{"1", "00000407"}}));
    EXPECT_FALSE(after.folder);
    EXPECT_FALSE(after.driver32);
}

TEST_F(Uninstall, DriverFileHeldOpenStopsWithTheRegistryUntouched)
{
    std::string driver = SystemDir() + "Quorvex.DLL";
    void* old = nullptr;
    Wow64DisableWow64FsRedirection(&old);
    HANDLE h = CreateFileA(driver.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    Wow64RevertWow64FsRedirection(old);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    MachineState before = Capture();
    RobotRun run = RunInstalled(kKey, {"yes", "ok", "ok"});
    CloseHandle(h);
    ExpectCleanEnd(run);
    const std::string failed = std::string("Fehler bei Deinstallation von ") + kDisplay +
                               ":\nFolgende Treiberdatei konnte nicht gelöscht werden:\n  " + driver;
    const std::string box = "Folgende Datei kann nicht gelöscht werden:\n" + driver + "\n\nWindows-Errorcode 32";
    ExpectBoxes(run, {{kProgramCaption, kQuestion, "yes,no"},
                      {kFileCaption, box.c_str(), "ok", true},
                      {kProgramCaption, failed.c_str(), "ok"}});
    EXPECT_EQ(Capture(), before) << Describe(Capture());
}

TEST_F(Uninstall, StubbornHelperFileAndUserFileInTheFolderAreReportedAndTheRestIsDone)
{
    std::string pdf = ProgramFolder() + "\\" + kHelperFiles[1];
    std::string mine = ProgramFolder() + "\\meine Notizen.txt";
    PutFile(mine, "the user's own");
    HANDLE h = CreateFileA(pdf.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    RobotRun run = RunInstalled(kKey, {"yes", "ok", "ok", "ok", "ok", "ok"});
    CloseHandle(h);
    ExpectCleanEnd(run);
    const std::string fileBox = "Folgende Datei kann nicht gelöscht werden:\n" + pdf + "\n\nWindows-Errorcode 32";
    const std::string helper = std::string("Warnung bei Deinstallation von ") + kDisplay +
                               ":\nFolgende Hilfsdatei konnte nicht gelöscht werden:\n  " + pdf;
    const std::string dirBox = "Folgendes Verzeichnis kann nicht gelöscht werden:\n" + ProgramFolder() +
                               "\n\nWindows-Errorcode 145";
    const std::string folder = std::string("Warnung bei Deinstallation von ") + kDisplay +
                               ":\nFolgendes Hilfsverzeichnis konnte nicht entfernt werden "
                               "(möglicherweise ist es nicht leer):\n  " + ProgramFolder();
    ExpectBoxes(run, {{kProgramCaption, kQuestion, "yes,no"},
                      {kFileCaption, fileBox.c_str(), "ok", true},
                      {kProgramCaption, helper.c_str(), "ok"},
                      {kFileCaption, dirBox.c_str(), "ok", true},
                      {kProgramCaption, folder.c_str(), "ok"},
                      {kProgramCaption, kDone, "ok"}});
    MachineState after = Capture();
    EXPECT_EQ(after.preload, (Values{{"1", "00000407"}}));
    EXPECT_FALSE(after.driver);
    EXPECT_EQ(after.helpers, (std::vector<bool>{false, true, false}));
    EXPECT_TRUE(FileThere(mine)) << "the user's file must stay";
    EXPECT_FALSE(after.userShortcut);
    EXPECT_EQ(after.uninstallEntries, std::vector<std::string>{});
}

TEST_F(Uninstall, LayoutNotInThePreloadListLeavesTheListsAlone)
{
    WriteValues(HKEY_CURRENT_USER, kPreloadPath, {{"1", "00000407"}, {"2", "00000409"}});
    WriteValues(HKEY_CURRENT_USER, kSubstitutesPath, {{"d0030407", "00010407"}});
    RobotRun run = RunInstalled(kKey, {"yes", "ok"});
    ExpectCleanEnd(run);
    ExpectBoxes(run, {{kProgramCaption, kQuestion, "yes,no"}, {kProgramCaption, kDone, "ok"}});
    MachineState after = Capture();
    EXPECT_EQ(after.preload, (Values{{"1", "00000407"}, {"2", "00000409"}}));
    EXPECT_EQ(after.substitutes, (Values{{"d0030407", "00010407"}}));
    EXPECT_EQ(after.layouts, (std::vector<std::string>{"00000407", "00000409"}));
}

TEST_F(Uninstall, ASecondRunAfterTheUninstallIsACleanRefusal)
{
    RobotRun run = RunInstalled(kKey, {"yes", "ok"});
    ExpectCleanEnd(run);
    // The installed program is gone with its folder: start the leftover copy
    // from elsewhere, as a user might.
    std::string again = TempDir() + "sub\\Uninstall_Quorvex.exe";
    PutDirectory(TempDir() + "sub");
    ASSERT_TRUE(CopyFileA(CopyPath().c_str(), again.c_str(), FALSE));
    MachineState before = Capture();
    run = RunFrom(again, kKey, {"ok"});
    ExpectCleanEnd(run);
    ASSERT_EQ(run.boxes.size(), 1u) << DescribeRun(run);
    EXPECT_EQ(run.boxes[0].text.substr(0, 60),
              std::string("Der Registry-Key des zu deinstallierenden Tastaturtreibers wurde nicht gefunden.").substr(0, 60));
    EXPECT_EQ(Capture(), before);
}
