// The installed program's hand-over to its copy in the temporary directory and the directories
// the program works in; the refused command lines are among the hostile ones.
#include "support.h"

#include "files/files.h"
#include "frame/app.h"
#include "uninstall/system_dirs.h"

#include <fstream>
#include <iterator>

namespace {

const std::vector<Box> kAskedAndCancelled = {
    {kProgramCaption, "Soll folgender Tastatur-Treiber deinstalliert werden?\n\nDIN E1 (Treiber V3.11 \"Selvarin\")",
     "yes,no"},
    {kProgramCaption, "Deinstallation abgebrochen.", "ok"}};
const char kCopyTitle[] = "Uninstall_Quorvex V3.11 - Tastaturtreiber-Deinstallation";

std::string InstalledExe() { return ProgramFolder() + "\\Uninstall_Quorvex.exe"; }

std::string Content(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class Invocation : public ::testing::Test {
protected:
    void SetUp() override { InstallProduct(); }
};

// The installed program hands over to its copy, which asks; only with
// "/force" does the copy ignore a changed driver file name. Anywhere below
// the temporary directory, whatever the letter case, the program is the copy.
TEST_F(Invocation, HandOverToTheCopyUnlessInsideTheTemporaryDirectory)
{
    const char otherFile[] =
        "Der Registry-Key des zu deinstallierenden Tastaturtreibers enthält eine andere Treiberdatei-Angabe als "
        "zum Zeitpunkt der Installation.\nAus Sicherheitsgründen wird daher die Deinstallation jetzt nicht "
        "durchgeführt.\nTreiber: DIN E1 (Treiber V3.11 \"Selvarin\")\nKey: E0010407\nDLL bei Installation: "
        "Quorvex.DLL\nDLL jetzt: Other.DLL";
    std::string temp = TempDir(), lowered = temp, upper = temp, exe = InstalledExe();
    _strlwr(&lowered[0]);
    _strupr(&upper[0]);
    ASSERT_TRUE(lowered != temp && upper != temp) << "letters of one case only in " << temp;
    const std::string sub = temp + "sub\\Uninstall_Quorvex.exe", force = std::string(kKey) + " /force";
    struct { std::string exe, args, layoutFile, environment; std::vector<Box> boxes; } cases[] = {
        {exe, kKey, "Quorvex.DLL", "", kAskedAndCancelled},
        {exe, force, "Quorvex.DLL", "", kAskedAndCancelled},
        {exe, kKey, "Other.DLL", "", {{kProgramCaption, otherFile, "ok"}}},
        {exe, force, "Other.DLL", "", kAskedAndCancelled},
        {sub, kKey, "Quorvex.DLL", "", kAskedAndCancelled},
        {upper + "sub\\Deeper\\Uninstall_Quorvex.exe", kKey, "Quorvex.DLL", "", kAskedAndCancelled},
        {sub, kKey, "Quorvex.DLL", "TMP=" + lowered + "\nTEMP=" + lowered, kAskedAndCancelled},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exe + " " + c.args + " " + c.layoutFile + " " + c.environment);
        bool handedOver = c.exe == exe;
        InstallProduct();  // no copy or subfolder left by the case before
        PutDirectory(temp + "sub");
        PutDirectory(temp + "sub\\Deeper");
        ASSERT_TRUE(handedOver || CopyFileA(exe.c_str(), c.exe.c_str(), FALSE)) << c.exe;
        PutValue(HKEY_LOCAL_MACHINE, std::string(kLayoutsPath) + "\\" + kKey, "Layout File", REG_SZ,
                 c.layoutFile + '\0');
        MachineState before = Capture();
        RobotRun run = RunFrom(c.exe, c.args, {"no", "ok"}, c.environment);
        ExpectCleanEnd(run);
        EXPECT_EQ(run.otherExitCodes.size(), handedOver ? 1u : 0u) << DescribeRun(run);
        ExpectBoxes(run, c.boxes);
        EXPECT_EQ(run.status.title, kCopyTitle);
        EXPECT_EQ(FileThere(CopyPath()), handedOver);
        EXPECT_EQ(Content(CopyPath()), handedOver ? Content(exe) : "");
        EXPECT_EQ(Capture(), before) << Describe(Capture());
    }
}

TEST_F(Invocation, FailedCopyIsReportedTwiceAndStartsNothing)
{
    // A suspended process holds the copy's file as a running program would.
    ASSERT_TRUE(CopyFileA(InstalledExe().c_str(), CopyPath().c_str(), FALSE));
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION held = {};
    ASSERT_TRUE(CreateProcessA(CopyPath().c_str(), nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                               nullptr, &startup, &held));
    const std::string missing = "C:\\qvx-no-such-dir\\";
    struct { std::string environment, target; DWORD error; } cases[] = {
        {"", CopyPath(), ERROR_SHARING_VIOLATION},
        {"TMP=" + missing + "\nTEMP=" + missing, missing + "Uninstall_Quorvex.exe", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        RobotRun run = RunInstalled(kKey, {"ok", "ok"}, c.environment);
        ExpectCleanEnd(run);
        EXPECT_TRUE(run.otherExitCodes.empty()) << DescribeRun(run);
        std::string copyBox = "Kopieren einer Datei fehlgeschlagen.\n\nQuelle: " + InstalledExe() +
                              "\nZiel: " + c.target + "\n\n" + ExpectedErrorText(c.error);
        ExpectBoxes(run, {{kFileCaption, copyBox.c_str(), "ok"},
                          {kProgramCaption, "Deinstallationsprogramm kann nicht in ein temporäres Verzeichnis "
                                            "kopiert werden, um sein Original löschen zu können", "ok"}});
    }
    TerminateProcess(held.hProcess, 1);
    WaitForSingleObject(held.hProcess, 5000);
    CloseHandle(held.hThread);
    CloseHandle(held.hProcess);
    EXPECT_EQ(Content(CopyPath()), Content(InstalledExe()));
    EXPECT_FALSE(FileThere("C:\\qvx-no-such-dir"));
}

// With the redirection off, the system directory is the real one of the
// machine, not the 32-bit one a 32-bit program is normally shown.
TEST_F(Invocation, SystemDirectoriesAndProgramFolder)
{
    const std::string probe = "qvx-probe.tmp", only32 = "only32-" + probe;
    PutFile(SystemDir() + probe);
    if (Is64BitWindows())
        PutFile(Wow64Dir() + only32);
    gWow64 = Is64BitWindows();
    PrepareSystemDirectories();
    const std::string system = gSystemDirectory, wow64 = gSystemWow64Directory;
    EXPECT_EQ(system, SystemDir());
    EXPECT_EQ(wow64, Wow64Dir());
    EXPECT_EQ(gProgramFolder, ProgramFolder());
    EXPECT_TRUE(FileExists((system + probe).c_str()));
    EXPECT_FALSE(FileExists((system + only32).c_str())) << "redirection still on";
    EXPECT_EQ(FileExists((wow64 + only32).c_str()), Is64BitWindows());
    RevertFsRedirection();
    EXPECT_EQ(FileExists((system + only32).c_str()), Is64BitWindows()) << "redirection not restored";
    RemoveFile(Wow64Dir() + only32);
    RemoveFile(SystemDir() + probe);
}

} // namespace
