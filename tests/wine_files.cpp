// File operations on real files, the system directories, and the copy's
// directory.
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
    UniqueHandle process, thread;
    explicit Running(const std::string& exe)
    {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started = {};
        EXPECT_TRUE(CreateProcessA(exe.c_str(), nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                                   nullptr, &startup, &started)) << exe;
        process.reset(started.hProcess);
        thread.reset(started.hThread);
    }
    ~Running()
    {
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), 5000);
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
                                        running + "\n\n" + ErrorText(ERROR_SHARING_VIOLATION)));
        EXPECT_EQ(Content(running), Content(PROGRAM_EXE));
    }
    EXPECT_EQ(Outcome([&] { return DeleteOneFile((kDir + "missing").c_str(), true); }), "true|-\n");
    for (auto [how, error] : {std::pair{kHeldOpen, ERROR_SHARING_VIOLATION}, {kReadOnly, ERROR_ACCESS_DENIED},
                              {kDirectory, ERROR_ACCESS_DENIED}}) {
        PutFile(victim);
        const UniqueFile held = MakeStubborn(how, victim);
        EXPECT_EQ(Outcome([&] { return DeleteOneFile(victim.c_str(), true); }),
                  "false|Lösche " + victim + " ...\n" + FileBox(kCannotDelete + victim + "\n\n" + ErrorText(error)));
        // Where only plain files are deleted, a directory is passed over silently.
        EXPECT_EQ(Outcome([&] { return DeleteOneFile(victim.c_str(), true, true); }),
                  how == kDirectory ? "true|-\n" : "false|Lösche " + victim + " ...\n" + FileBox(kCannotDelete +
                                                    victim + "\n\n" + ErrorText(error)));
        EXPECT_TRUE(FileThere(victim));
        RemoveTree(victim);
    }
    const std::string folder = kDir + "folder";
    CreateDirectoryA(folder.c_str(), nullptr);
    PutFile(folder + "\\inside.txt");
    EXPECT_EQ(Outcome([&] { return RemoveOneDirectory(folder.c_str()); }),
              "false|Lösche Verzeichnis " + folder + " ...\n" +
                  FileBox("Folgendes Verzeichnis kann nicht gelöscht werden:\n" + folder + "\n\n" +
                          ErrorText(ERROR_DIR_NOT_EMPTY)));
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

} // namespace
