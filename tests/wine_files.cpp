// File operations on real files, the system directories, and the installed
// program's hand-over to its copy in the temporary directory.
#include "support.h"

#include <cstring>
#include <functional>

#include "files/files.h"
#include "frame/app.h"
#include "frame/status_window.h"
#include "uninstall/invocation.h"
#include "uninstall/system_dirs.h"

namespace {

const std::string kDir = TempDir() + "qvx-files\\";

// Runs the operation with its boxes answered; gives its result, the status
// line it left ("-" for none) and its boxes.
std::string Outcome(const std::function<bool()>& operation)
{
    strcpy(gStatusLine, "-");
    StartAnsweringOwnBoxes({"ok"});
    bool result = operation();
    return (result ? "true|" : "false|") + std::string(gStatusLine) + "\n" + Shown(StopAnsweringOwnBoxes());
}

// A program that runs (suspended, so it does nothing) until the end of the scope.
struct Running {
    PROCESS_INFORMATION process = {};
    explicit Running(const std::string& exe)
    {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        EXPECT_TRUE(CreateProcessA(exe.c_str(), nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                                   nullptr, &startup, &process)) << exe;
    }
    ~Running()
    {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
};

class Files : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveTree(kDir);
        CreateDirectoryA(kDir.c_str(), nullptr);
    }
    void TearDown() override { RemoveTree(kDir); }
};

TEST_F(Files, ExistenceOfFilesDirectoriesAndPatterns)
{
    PutFile(kDir + "file.txt");
    CreateDirectoryA((kDir + "empty").c_str(), nullptr);
    CreateDirectoryA((kDir + "full").c_str(), nullptr);
    PutFile(kDir + "full\\inside.txt");
    for (auto [path, exists] : {std::pair{kDir + "file.txt", true}, {kDir + "full", true}, {kDir + "f*.txt", true},
                                {kDir + "missing.txt", false}, {std::string(), false}, {kDir + "empty\\*", false},
                                {kDir + "full\\*", true}, {kDir + "empty\\.", true}, {kDir + "missing\\.", false}})
        EXPECT_EQ(FileExists(path.c_str()), exists) << path;
}

TEST_F(Files, CopyDeleteAndRemoveWithTheirBoxes)
{
    const std::string source = kDir + "source.txt", target = kDir + "target.txt", victim = kDir + "victim";
    PutFile(source, "new");
    PutFile(target, "old");
    SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(Outcome([&] { return CopyOneFile(source.c_str(), target.c_str(), true, true); }), "true|-\n");
    EXPECT_EQ(Content(target), "new");
    EXPECT_EQ(Outcome([&] { return CopyOneFile(source.c_str(), (kDir + "fresh").c_str(), true, true); }), "true|-\n");
    EXPECT_EQ(GetFileAttributesA((kDir + "fresh").c_str()), DWORD{FILE_ATTRIBUTE_ARCHIVE}) << "a copy is writable";
    {
        const std::string running = kDir + "running.exe";
        ASSERT_TRUE(CopyFileA(PROGRAM_EXE, running.c_str(), FALSE));
        Running program(running);
        EXPECT_EQ(Outcome([&] { return CopyOneFile(source.c_str(), running.c_str(), true, true); }),
                  "false|-\n" + FileBox("Kopieren einer Datei fehlgeschlagen.\n\nQuelle: " + source + "\nZiel: " +
                                        running + "\n\n" + ExpectedErrorText(ERROR_SHARING_VIOLATION)));
        EXPECT_EQ(Content(running), Content(PROGRAM_EXE));
    }
    EXPECT_EQ(Outcome([&] { return DeleteOneFile((kDir + "missing").c_str(), true); }), "true|-\n");
    const std::pair<std::function<HANDLE()>, DWORD> stubborn[] = {
        {[&] { PutFile(victim); SetFileAttributesA(victim.c_str(), FILE_ATTRIBUTE_READONLY); return nullptr; },
         ERROR_ACCESS_DENIED},
        {[&] { PutFile(victim); return CreateFileA(victim.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                   OPEN_EXISTING, 0, nullptr); }, ERROR_SHARING_VIOLATION},
        {[&] { CreateDirectoryA(victim.c_str(), nullptr); return nullptr; }, ERROR_ACCESS_DENIED}};
    for (const auto& [arrange, error] : stubborn) {
        HANDLE held = arrange();
        EXPECT_EQ(Outcome([&] { return DeleteOneFile(victim.c_str(), true); }),
                  "false|Lösche " + victim + " ...\n" + FileBox("Folgende Datei kann nicht gelöscht werden:\n" +
                                                               victim + "\n\n" + ExpectedErrorText(error)));
        EXPECT_TRUE(FileThere(victim));
        CloseHandle(held);
        RemoveTree(victim);
    }
    const std::string folder = kDir + "folder";
    CreateDirectoryA(folder.c_str(), nullptr);
    PutFile(folder + "\\inside.txt");
    EXPECT_EQ(Outcome([&] { return RemoveOneDirectory(folder.c_str()); }),
              "false|Lösche Verzeichnis " + folder + " ...\n" +
                  FileBox("Folgendes Verzeichnis kann nicht gelöscht werden:\n" + folder + "\n\n" +
                          ExpectedErrorText(ERROR_DIR_NOT_EMPTY)));
    RemoveTree(folder + "\\inside.txt");
    EXPECT_EQ(Outcome([&] { return RemoveOneDirectory(folder.c_str()); }),
              "true|Lösche Verzeichnis " + folder + " ...\n");
    EXPECT_FALSE(FileThere(folder));
}

// With the redirection off, the system directory is the machine's real one.
TEST(SystemDirectories, RealSystemFolderWhileRedirectionIsOff)
{
    const std::string only32 = "qvx-only32.tmp";
    if (Is64BitWindows())
        PutFile(Wow64Dir() + only32);
    gWow64 = Is64BitWindows();
    PrepareSystemDirectories();
    const std::string system = gSystemDirectory;
    EXPECT_EQ(system + "|" + gSystemWow64Directory + "|" + gProgramFolder,
              SystemDir() + "|" + Wow64Dir() + "|" + ProgramFolder());
    EXPECT_TRUE(FileExists((system + "kernel32.dll").c_str()));
    EXPECT_FALSE(FileExists((system + only32).c_str())) << "redirection still on";
    RevertFsRedirection();
    EXPECT_EQ(FileExists((system + only32).c_str()), Is64BitWindows()) << "redirection not restored";
    RemoveTree(Wow64Dir() + only32);
}

// The installed program hands over to a copy in a fresh directory wherever
// it was started from, the temporary directory itself included; only a file
// directly inside a copy directory, in any letter case, is the copy, which
// asks and leaves itself and its directory to the next restart.
TEST(HandOver, InstalledProgramStartsItsCopyWhichAsks)
{
    std::string temp = TempDir(), upper = temp;
    CharUpperA(&upper[0]);
    ASSERT_NE(upper, temp) << "the temporary path needs lower-case letters";
    const std::string made = temp + "Uninstall_Quorvex.0a1b2c3d", deeper = made + "\\Tief\\Uninstall_Quorvex.exe",
                      copy = upper + "UNINSTALL_QUORVEX.0A1B2C3D\\Uninstall_Quorvex.exe";
    const struct { std::string exe, args, layoutFile; std::string boxes; } cases[] = {
        {InstalledExe(), kKey, "Quorvex.DLL", kQuestion + kCancelled},
        {InstalledExe(), "E0010407 /force", "Other.DLL", kQuestion + kCancelled},
        {InstalledExe(), kKey, "Other.DLL", Ok("Der Registry-Key des zu deinstallierenden Tastaturtreibers enthält "
            "eine andere Treiberdatei-Angabe als zum Zeitpunkt der Installation.\nAus Sicherheitsgründen wird daher "
            "die Deinstallation jetzt nicht durchgeführt.\nTreiber: " DISPLAY "\nKey: E0010407\nDLL bei "
            "Installation: Quorvex.DLL\nDLL jetzt: Other.DLL")},
        {temp + "Uninstall_Quorvex.exe", kKey, "Quorvex.DLL", kQuestion + kCancelled},
        {deeper, kKey, "Quorvex.DLL", kQuestion + kCancelled},
        {copy, kKey, "Quorvex.DLL", kQuestion + kCancelled}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exe + " " + c.args + " " + c.layoutFile);
        InstallProduct();
        RemoveTree(temp + "Uninstall_Quorvex.exe");
        CreateDirectoryA(made.c_str(), nullptr);
        CreateDirectoryA((made + "\\Tief").c_str(), nullptr);
        CopyFileA(InstalledExe().c_str(), c.exe.c_str(), FALSE);
        PutValue(HKEY_LOCAL_MACHINE, std::string(kLayoutsPath) + "\\" + kKey, "Layout File", c.layoutFile);
        const std::string before = Machine();
        RobotRun run = Launch(c.exe, c.args, {"no", "ok"});
        EXPECT_TRUE(CleanEnd(run));
        const bool handedOver = c.exe != copy;
        EXPECT_EQ(run.otherExitCodes.size(), handedOver ? 1u : 0u) << "processes besides the first";
        EXPECT_EQ(Shown(run.boxes), c.boxes);
        EXPECT_EQ(run.status.title, "Uninstall_Quorvex V3.11 - Tastaturtreiber-Deinstallation");
        const std::vector<std::string> dirs = CopyDirs();
        ASSERT_EQ(dirs.size(), handedOver ? 2u : 1u);
        const std::string ran = handedOver ? dirs[dirs[0] == made ? 1 : 0] : made;
        EXPECT_EQ(Content(ran + "\\Uninstall_Quorvex.exe"), Content(InstalledExe()));
        EXPECT_TRUE(PendingDeletion(ran)) << PendingRenames();
        EXPECT_EQ(Machine(), before);
    }
    RemoveTree(temp + "Uninstall_Quorvex.exe");
    ClearCopies();
}

// The copy's directory is made here and now, for SYSTEM and the
// Administrators alone: a name already taken is never used, and when every
// try finds one taken, nothing is made.
TEST(HandOver, CopyDirectoryIsFreshAndProtected)
{
    ClearCopies();
    const std::string taken = TempDir() + "Uninstall_Quorvex.00000001";
    CreateDirectoryA(taken.c_str(), nullptr);
    PutFile(taken + "\\planted.exe", "planted");
    static unsigned next;
    next = 1;
    char dir[260];
    ASSERT_TRUE(MakeCopyDirectory(TempDir().c_str(), dir, sizeof dir, [] { return next++; }));
    EXPECT_EQ(dir, TempDir() + "Uninstall_Quorvex.00000002");
    EXPECT_TRUE(OnlyForAdministrators(dir));
    CreateDirectoryA((TempDir() + "qvx-plain").c_str(), nullptr);
    EXPECT_FALSE(OnlyForAdministrators(TempDir() + "qvx-plain")) << "a plain directory lets others in";
    RemoveTree(TempDir() + "qvx-plain");
    EXPECT_FALSE(MakeCopyDirectory(TempDir().c_str(), dir, sizeof dir, [] { return 1u; }));
    EXPECT_STREQ(dir, "");
    EXPECT_EQ(Content(taken + "\\planted.exe"), "planted");
    EXPECT_EQ(CopyDirs(), (std::vector<std::string>{taken, TempDir() + "Uninstall_Quorvex.00000002"}));
    ClearCopies();
}

// A temporary directory that does not exist: no copy, the box, nothing started.
TEST(HandOver, MissingTemporaryDirectoryIsReportedAndStartsNothing)
{
    InstallProduct();
    const std::string missing = "C:\\qvx-no-such-dir\\";
    RobotRun run = RunInstalled(kKey, {"ok", "ok"}, "TMP=" + missing + "\nTEMP=" + missing);
    EXPECT_TRUE(CleanEnd(run));
    EXPECT_TRUE(run.otherExitCodes.empty()) << "nothing may start";
    EXPECT_EQ(Shown(run.boxes), Ok("Deinstallationsprogramm kann nicht in ein temporäres Verzeichnis kopiert werden, "
                                   "um sein Original löschen zu können"));
    EXPECT_EQ(ProductLeft(), "driver" + std::string(Is64BitWindows() ? " driver32" : "") +
                                 " exe pdf ico folder desktop common entry");
}

} // namespace
