// A machine that fights back: files that will not go, a temporary folder
// that is no folder, a second start while the first copy is still asking.
#include "support.h"

#include <thread>

static const char kQuestion[] =
    "Soll folgender Tastatur-Treiber deinstalliert werden?\n\nDIN E1 (Treiber V3.11 \"Selvarin\")";
static const char kDone[] =
    "Folgender Tastatur-Treiber wurde deinstalliert:\nDIN E1 (Treiber V3.11 \"Selvarin\")";
static const char kNoCopy[] = "Deinstallationsprogramm kann nicht in ein temporäres Verzeichnis "
                              "kopiert werden, um sein Original löschen zu können";

class Faults : public ::testing::Test {
protected:
    void SetUp() override { InstallProduct(); }
};

static void MakeReadOnly(const std::string& path)
{
    void* old = nullptr;
    Wow64DisableWow64FsRedirection(&old);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    Wow64RevertWow64FsRedirection(old);
}

static void MakeDirectory(const std::string& path)
{
    RemoveFile(path);
    PutDirectory(path);
}

// A driver file that cannot be deleted stops everything before the registry.
TEST_F(Faults, StubbornDriverFileStopsWithNothingElseRemoved)
{
    std::string driver = SystemDir() + "Quorvex.DLL";
    const std::string stop =
        "Fehler bei Deinstallation von DIN E1 (Treiber V3.11 \"Selvarin\"):\nFolgende Treiberdatei "
        "konnte nicht gelöscht werden:\n  " + driver;
    const std::string box = "Folgende Datei kann nicht gelöscht werden:\n" + driver + "\n\nWindows-Errorcode 5";
    for (void (*arrange)(const std::string&) : {MakeReadOnly, MakeDirectory}) {
        InstallProduct();
        arrange(driver);
        MachineState before = Capture();
        RobotRun run = RunInstalled(kKey, {"yes", "ok", "ok"});
        ExpectCleanEnd(run);
        ExpectBoxes(run, {{kProgramCaption, kQuestion, "yes,no"},
                          {kFileCaption, box.c_str(), "ok", true},
                          {kProgramCaption, stop.c_str(), "ok"}});
        EXPECT_NE(run.boxes[1].text.find("(übliche Ursache: Datei vorhanden, aber anderswo geöffnet"),
                  std::string::npos);
        EXPECT_EQ(Capture(), before) << Describe(Capture());
        RemoveTree(driver);
        RemoveFile(driver);
    }
}

// A helper file that will not go is reported, the folder stays, the rest goes.
TEST_F(Faults, StubbornHelperFilesAreReportedAndTheRestIsDone)
{
    std::string ico = ProgramFolder() + "\\" + kHelperFiles[2];
    for (void (*arrange)(const std::string&) : {MakeReadOnly, MakeDirectory}) {
        InstallProduct();
        arrange(ico);
        RobotRun run = RunInstalled(kKey, {"yes", "ok", "ok", "ok", "ok", "ok"});
        ExpectCleanEnd(run);
        ASSERT_EQ(run.boxes.size(), 6u) << DescribeRun(run);
        EXPECT_EQ(run.boxes[1].text.substr(0, 43), "Folgende Datei kann nicht gelöscht werden:\n");
        EXPECT_NE(run.boxes[2].text.find("Folgende Hilfsdatei konnte nicht gelöscht werden:\n  " + ico),
                  std::string::npos);
        EXPECT_NE(run.boxes[4].text.find("Folgendes Hilfsverzeichnis konnte nicht entfernt werden"),
                  std::string::npos);
        EXPECT_EQ(run.boxes[5].text, kDone);
        MachineState after = Capture();
        EXPECT_EQ(after.preload, (Values{{"1", "00000407"}}));
        EXPECT_FALSE(after.driver);
        EXPECT_EQ(after.helpers, (std::vector<bool>{false, false, true}));
        EXPECT_EQ(after.uninstallEntries, std::vector<std::string>{});
        RemoveTree(ico);
    }
}

// Without a usable temporary folder there is nowhere to run from: refuse.
TEST_F(Faults, TemporaryFolderThatIsAFileRefusesTheHandOver)
{
    std::string notADir = TempDir() + "kein Ordner";
    PutFile(notADir, "x");
    MachineState before = Capture();
    RobotRun run = RunInstalled(kKey, {"ok", "ok"}, "TMP=" + notADir + "\nTEMP=" + notADir);
    ExpectCleanEnd(run);
    ASSERT_EQ(run.boxes.size(), 2u) << DescribeRun(run);
    EXPECT_EQ(run.boxes[0].caption, kFileCaption);
    EXPECT_EQ(run.boxes[0].text.substr(0, 38), "Kopieren einer Datei fehlgeschlagen.\n\n");
    EXPECT_EQ(run.boxes[1].text, kNoCopy);
    EXPECT_TRUE(run.otherExitCodes.empty());
    EXPECT_EQ(Capture(), before);
    RemoveFile(notADir);
}

// A second click on the icon while the first copy still asks: the running
// copy cannot be replaced, the second start says so, the first goes on.
TEST_F(Faults, SecondStartWhileTheFirstCopyAsks)
{
    std::string signal = TempDir() + "first-box-";
    RemoveFile(signal + "1");
    RobotRun first;
    std::thread firstRun([&] {
        RobotOptions o;
        o.commandLine = "\"" + ProgramFolder() + "\\Uninstall_Quorvex.exe\" " + kKey;
        o.answers = {"no", "ok"};
        o.holdMs = 4000;
        o.holdSignal = signal;
        o.timeoutMs = 30000;
        first = RunWithRobot(o);
    });
    for (int i = 0; i < 300 && !FileThere(signal + "1"); ++i)
        Sleep(50);
    ASSERT_TRUE(FileThere(signal + "1")) << "the first copy never asked";
    RobotRun second = RunInstalled(kKey, {"ok", "ok"});
    firstRun.join();
    ExpectCleanEnd(second);
    ASSERT_EQ(second.boxes.size(), 2u) << DescribeRun(second);
    EXPECT_NE(second.boxes[0].text.find("Windows-Errorcode 32"), std::string::npos) << second.boxes[0].text;
    EXPECT_EQ(second.boxes[1].text, kNoCopy);
    ExpectCleanEnd(first);
    ExpectBoxes(first, {{kProgramCaption, kQuestion, "yes,no"},
                        {kProgramCaption, "Deinstallation abgebrochen.", "ok"}});
    EXPECT_TRUE(Capture().driver);
    RemoveFile(signal + "1");
}
