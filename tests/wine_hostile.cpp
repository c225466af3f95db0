// The real program against command lines no caller should give, each run
// end to end under the robot. How words are split and judged is checked
// natively; here what only the whole program shows: the conversion from
// UTF-16, the hand-over to the copy, the boxes.
#include "support.h"

#include <cstring>

namespace {

#define CALLED "Deinstallationsprogramm nicht mit gültigem Registry-Key für die Tastatur aufgerufen "
const std::string kRefused[] = {CALLED "(Angabe fehlt)", CALLED "(Länge nicht 8 Zeichen):\n",
                                CALLED "(endet nicht in \"0407\", also kein deutsches Layout):\n",
                                CALLED "(Schlüssel für Standardtastatur: nicht deinstallierbar):\n"};

// The robot starts programs through the ANSI call, which cannot carry characters outside the code
// page: a copy of this test, named like the program so that the robot follows it, starts the
// installed program with the UTF-16 words given as numbers and ends with its exit code.
[[maybe_unused]] const bool kLauncher = [] {
    char* p = std::strstr(GetCommandLineA(), " --utf16");
    if (p == nullptr)
        return false;
    const std::string exe = InstalledExe();
    std::wstring line = L"\"" + std::wstring(exe.begin(), exe.end()) + L"\" ";
    for (p += 8; *p;)
        line += static_cast<wchar_t>(std::strtoul(p, &p, 10));
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    DWORD code = 1;
    if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        UniqueHandle process(pi.hProcess), thread(pi.hThread);
        WaitForSingleObject(pi.hProcess, INFINITE);
        GetExitCodeProcess(pi.hProcess, &code);
    }
    ExitProcess(code);
}();

// Refusals index kRefused; kCopyRefuses: the installed program passes it, its copy does not.
enum Outcome { kMissing, kLength, kNotGerman, kStandard, kAccepted, kNotRegistered, kCopyRefuses };
// After the program path: the words, or the UTF-16 words; shown: the key as the box shows it.
struct Line { std::string words; Outcome outcome; std::string shown = ""; std::wstring wide = L""; };
Line Key(const std::string& key, Outcome outcome) { return {key, outcome, key}; }

TEST(Hostile, CommandLinesEndWithTheRightBoxAndChangeNothing)
{
    const Line lines[] = {  // box texts turn every control character into a line break
        {"<no program>", kMissing}, {"<blanks>", kMissing}, {kKey, kAccepted},
        {"\"E0010407\" \"/force\"", kAccepted}, Key("0010407", kLength), Key("E0010C07", kNotGerman),
        Key("00000407", kStandard), Key("ABCD0407", kNotRegistered), Key("Ä0010407", kNotRegistered),
        Key("%s%n0407", kNotRegistered), Key("%n%s%n%s", kNotGerman), {"\"E0 10407\"", kCopyRefuses},
        {"E0010407\t/force", kLength, "E0010407\r\n/force"}, Key(std::string(258, 'x'), kLength),
        {std::string(300, 'x') + " /force", kLength},
        // Outside code page 1252: best fit, a default character, composition, a surrogate pair.
        {"", kNotRegistered, "E00?0407", L"E00\x03BB" L"0407"}, {"", kNotGerman, "E001040?", L"E001040\x03BB"},
        {"", kNotGerman, "?????407", L"\x4E2D\x0416\x05D0\x0660\x0662" L"407"},
        {"", kAccepted, "", L"E001\xFF10\xFF14\xFF10\xFF17"}, {"", kNotRegistered, "??010407", L"\xD83D\xDE00" L"010407"},
        {"", kNotRegistered, "É0010407", L"E\x0301" L"0010407"}, {"", kCopyRefuses, "", L"E00\x3000" L"0407"}};
    InstallProduct();
    const std::string exe = InstalledExe(), launcher = TempDir() + "qvx-utf16\\Uninstall_Quorvex.exe";
    CreateDirectoryA((TempDir() + "qvx-utf16").c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(_pgmptr, launcher.c_str(), FALSE)) << _pgmptr;
    const std::string before = Machine();
    for (const Line& c : lines) {
        RobotOptions o;
        o.applicationName = c.wide.empty() ? exe : launcher;
        o.commandLine = c.words == "<no program>" ? "" : c.words == "<blanks>" ? "   "
                      : c.wide.empty()            ? "\"" + exe + "\" " + c.words : "\"" + launcher + "\" --utf16";
        for (wchar_t w : c.wide)
            o.commandLine += " " + std::to_string(w);
        SCOPED_TRACE(o.commandLine.substr(0, 90));
        o.answers = {c.outcome == kAccepted ? "no" : "ok", "ok"};
        ClearCopies();
        RobotRun run = RunWithRobot(o);
        EXPECT_TRUE(CleanEnd(run));
        EXPECT_EQ(Shown(run.boxes), c.outcome == kAccepted      ? kQuestion + kCancelled
                                    : c.outcome == kNotRegistered ? Ok(kNotFound + c.shown + "\nDLL: Quorvex.DLL")
                                    : Ok(kRefused[c.outcome < kAccepted ? c.outcome : kMissing] + c.shown));
        // Only a key that passed the first check is handed to a copy; the launcher counts as one more.
        const bool handedOver = c.outcome >= kAccepted;
        EXPECT_EQ(run.otherExitCodes.size(), handedOver + !c.wide.empty());
        EXPECT_EQ(CopyDirs().size(), handedOver ? 1u : 0u);
        EXPECT_EQ(Machine(), before);
        EXPECT_EQ(!PendingRenames().empty(), handedOver) << "the copy leaves itself to the next restart";
    }
    RemoveTree(TempDir() + "qvx-utf16");
}

} // namespace
