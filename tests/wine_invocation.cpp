// The installed program's hand-over to its copy in the temporary directory,
// the refused command lines, and the directories the program works in.
#include "support.h"

#include "files/files.h"
#include "frame/app.h"
#include "uninstall/system_dirs.h"

#include <cctype>

namespace {

#define NOT_CALLED_RIGHT "Deinstallationsprogramm nicht mit gültigem Registry-Key für die Tastatur aufgerufen "

const char kQuestion[] =
    "Soll folgender Tastatur-Treiber deinstalliert werden?\n\nDIN E1 (Treiber V3.11 \"Selvarin\")";
const char kCancelled[] = "Deinstallation abgebrochen.";
const char kCopyTitle[] = "Uninstall_Quorvex V3.11 - Tastaturtreiber-Deinstallation";
const char kCannotCopy[] = "Deinstallationsprogramm kann nicht in ein temporäres Verzeichnis "
                           "kopiert werden, um sein Original löschen zu können";

std::string InstalledExe() { return ProgramFolder() + "\\Uninstall_Quorvex.exe"; }

std::string Content(const std::string& path)
{
    std::string text;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<unreadable>";
    char buffer[65536];
    DWORD n = 0;
    while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0)
        text.append(buffer, n);
    CloseHandle(h);
    return text;
}

// The Windows error text the program should quote (for codes other than 5),
// read from the system here rather than from the code under test.
std::string ErrorText(DWORD code)
{
    char* system = nullptr;
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                   reinterpret_cast<char*>(&system), 0, nullptr);
    std::string text = "Windows-Errorcode " + std::to_string(code);
    if (system != nullptr) {
        text += std::string(":\n") + system;
        LocalFree(system);
    }
    return text;
}

std::string FlipCase(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::isupper(static_cast<unsigned char>(c)) ? std::tolower(c) : std::toupper(c));
    return s;
}

bool EndsWith(const std::string& s, const std::string& end)
{
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

} // namespace

class Invocation : public ::testing::Test {
protected:
    void SetUp() override { InstallProduct(); }
};

// The copy shows the question; answering no keeps everything in place.
TEST_F(Invocation, InstalledProgramHandsOverToItsCopy)
{
    for (std::string args : {std::string(kKey), std::string(kKey) + " /force"}) {
        SCOPED_TRACE(args);
        RemoveFile(CopyPath());
        MachineState before = Capture();
        RobotRun run = RunInstalled(args, {"no", "ok"});
        ExpectCleanEnd(run);
        EXPECT_EQ(run.otherExitCodes.size(), 1u) << DescribeRun(run);
        ExpectBoxes(run, {{kProgramCaption, kQuestion, "yes,no"}, {kProgramCaption, kCancelled, "ok"}});
        EXPECT_EQ(run.status.title, kCopyTitle);
        EXPECT_EQ(Content(CopyPath()), Content(InstalledExe()));
        EXPECT_EQ(Capture(), before) << Describe(Capture());
    }
}

// Only with "/force" does the copy ignore a changed driver file name.
TEST_F(Invocation, CopyGetsForceOnlyWhenGiven)
{
    const std::string otherFile =
        "Der Registry-Key des zu deinstallierenden Tastaturtreibers enthält eine andere "
        "Treiberdatei-Angabe als zum Zeitpunkt der Installation.\nAus Sicherheitsgründen wird "
        "daher die Deinstallation jetzt nicht durchgeführt.\nTreiber: DIN E1 (Treiber V3.11 "
        "\"Selvarin\")\nKey: E0010407\nDLL bei Installation: Quorvex.DLL\nDLL jetzt: Other.DLL";
    struct {
        std::string args;
        std::vector<Box> boxes;
    } cases[] = {
        {kKey, {{kProgramCaption, otherFile.c_str(), "ok"}}},
        {std::string(kKey) + " /force",
         {{kProgramCaption, kQuestion, "yes,no"}, {kProgramCaption, kCancelled, "ok"}}},
    };
    std::string layout = std::string(kLayoutsPath) + "\\" + kKey;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        PutValue(HKEY_LOCAL_MACHINE, layout, "Layout File", REG_SZ, std::string("Other.DLL") + '\0');
        RobotRun run = RunInstalled(c.args, {"no", "ok"});
        ExpectCleanEnd(run);
        EXPECT_EQ(run.otherExitCodes.size(), 1u) << DescribeRun(run);
        ExpectBoxes(run, c.boxes);
    }
}

TEST_F(Invocation, RefusedCommandLinesShowTheirBoxAndChangeNothing)
{
    const std::string missing = NOT_CALLED_RIGHT "(Angabe fehlt)";
    const std::string length = NOT_CALLED_RIGHT "(Länge nicht 8 Zeichen):\n";
    const std::string notGerman =
        NOT_CALLED_RIGHT "(endet nicht in \"0407\", also kein deutsches Layout):\n";
    const std::string standard =
        NOT_CALLED_RIGHT "(Schlüssel für Standardtastatur: nicht deinstallierbar):\n";
    struct {
        std::string args, text;
    } cases[] = {
        {"", missing},
        {"E0010407 /quiet", missing},
        {"E0010407 /FORCE", missing},
        {"/force E0010407", missing},
        {"E0010407 /force extra", missing},
        {"E001407", length + "E001407"},
        {"E00100407", length + "E00100407"},
        {"E0010408", notGerman + "E0010408"},
        {"00000407", standard + "00000407"},
    };
    MachineState before = Capture();
    for (const auto& c : cases) {
        SCOPED_TRACE("\"" + c.args + "\"");
        RobotRun run = RunInstalled(c.args, {"ok"});
        ExpectCleanEnd(run);
        EXPECT_TRUE(run.otherExitCodes.empty()) << DescribeRun(run);
        ExpectBoxes(run, {{kProgramCaption, c.text.c_str(), "ok"}});
        EXPECT_FALSE(FileThere(CopyPath()));
        EXPECT_EQ(Capture(), before) << Describe(Capture());
    }
}

// Anywhere below the temporary directory, whatever the letter case, the
// program is the copy: it goes straight on to the question.
TEST_F(Invocation, ProgramInsideTheTemporaryDirectoryMakesNoCopy)
{
    std::string temp = TempDir();
    std::string lowered = temp;
    for (char& c : lowered)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ASSERT_NE(lowered, temp) << "no letters to change in " << temp;
    struct {
        const char* what;
        std::string exe, environment;
    } cases[] = {
        {"subfolder", temp + "sub\\Uninstall_Quorvex.exe", ""},
        {"program path in other case", FlipCase(temp) + "sub\\Deeper\\Uninstall_Quorvex.exe", ""},
        {"temporary directory in other case", temp + "sub\\Uninstall_Quorvex.exe",
         "TMP=" + lowered + "\nTEMP=" + lowered},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveTree(temp + "sub");
        PutDirectory(temp + "sub");
        PutDirectory(temp + "sub\\Deeper");
        ASSERT_TRUE(CopyFileA(InstalledExe().c_str(), c.exe.c_str(), FALSE)) << c.exe;
        MachineState before = Capture();
        RobotRun run = RunFrom(c.exe, kKey, {"no", "ok"}, c.environment);
        ExpectCleanEnd(run);
        EXPECT_TRUE(run.otherExitCodes.empty()) << DescribeRun(run);
        ExpectBoxes(run, {{kProgramCaption, kQuestion, "yes,no"}, {kProgramCaption, kCancelled, "ok"}});
        EXPECT_EQ(run.status.title, kCopyTitle);
        EXPECT_FALSE(FileThere(CopyPath()));
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
    std::string heldLine = "\"" + CopyPath() + "\" " + kKey;
    ASSERT_TRUE(CreateProcessA(CopyPath().c_str(), &heldLine[0], nullptr, nullptr, FALSE,
                               CREATE_SUSPENDED, nullptr, nullptr, &startup, &held));
    const std::string missingTemp = "C:\\qvx-no-such-dir\\";
    struct {
        const char* what;
        std::string environment, target;
        DWORD error;
    } cases[] = {
        {"copy of the same name running", "", CopyPath(), ERROR_SHARING_VIOLATION},
        {"temporary directory missing", "TMP=" + missingTemp + "\nTEMP=" + missingTemp,
         missingTemp + "Uninstall_Quorvex.exe", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RobotRun run = RunInstalled(kKey, {"ok", "ok"}, c.environment);
        ExpectCleanEnd(run);
        EXPECT_TRUE(run.otherExitCodes.empty()) << DescribeRun(run);
        std::string copyBox = "Kopieren einer Datei fehlgeschlagen.\n\nQuelle: " + InstalledExe() +
                              "\nZiel: " + c.target + "\n\n" + ErrorText(c.error);
        ExpectBoxes(run, {{kFileCaption, copyBox.c_str(), "ok"}, {kProgramCaption, kCannotCopy, "ok"}});
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
    const std::string probe = "qvx-probe.tmp";
    PutFile(SystemDir() + probe);
    if (Is64BitWindows())
        PutFile(Wow64Dir() + "only32-" + probe);
    gWow64 = Is64BitWindows();
    PrepareSystemDirectories();
    std::string system = gSystemDirectory, wow64 = gSystemWow64Directory, folder = gProgramFolder;
    bool seesReal = FileExists((system + probe).c_str());
    bool sees32 = FileExists((system + "only32-" + probe).c_str());
    bool sees32There = FileExists((wow64 + "only32-" + probe).c_str());
    RevertFsRedirection();
    bool sees32Again = FileExists((system + "only32-" + probe).c_str());

    EXPECT_EQ(system, SystemDir());
    EXPECT_TRUE(EndsWith(system, "\\")) << system;
    EXPECT_EQ(folder, ProgramFolder());
    EXPECT_TRUE(EndsWith(folder, "\\Morvain")) << folder;
    EXPECT_TRUE(seesReal);
    if (Is64BitWindows()) {
        EXPECT_EQ(wow64, Wow64Dir());
        EXPECT_TRUE(EndsWith(wow64, "\\")) << wow64;
        EXPECT_FALSE(sees32) << "redirection still on";
        EXPECT_TRUE(sees32There);
        EXPECT_TRUE(sees32Again) << "redirection not restored";
        RemoveFile(Wow64Dir() + "only32-" + probe);
    } else {
        EXPECT_EQ(wow64, "");
        EXPECT_FALSE(sees32);
    }
    RemoveFile(SystemDir() + probe);
}
