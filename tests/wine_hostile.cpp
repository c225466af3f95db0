// The real program against command lines and registry contents that no
// installer would write, run end to end under the robot.
#include "support.h"

#include <sddl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

namespace {

const char kQuestion[] =
    "Soll folgender Tastatur-Treiber deinstalliert werden?\n\nDIN E1 (Treiber V3.11 \"Selvarin\")";
const char kDone[] =
    "Folgender Tastatur-Treiber wurde deinstalliert:\nDIN E1 (Treiber V3.11 \"Selvarin\")";
const char kCancelled[] = "Deinstallation abgebrochen.";
#define CALLED "Deinstallationsprogramm nicht mit gültigem Registry-Key für die Tastatur aufgerufen "
const std::string kMissingText = CALLED "(Angabe fehlt)";
const std::string kLengthText = CALLED "(Länge nicht 8 Zeichen):\n";
const std::string kNotGermanText = CALLED "(endet nicht in \"0407\", also kein deutsches Layout):\n";
const std::string kStandardText = CALLED "(Schlüssel für Standardtastatur: nicht deinstallierbar):\n";
const std::string kNotFoundText =
    "Der Registry-Key des zu deinstallierenden Tastaturtreibers wurde nicht gefunden.\n"
    "Treiber: DIN E1 (Treiber V3.11 \"Selvarin\")\nKey: ";

std::string InstalledExe() { return ProgramFolder() + "\\Uninstall_Quorvex.exe"; }

std::string Replace(std::string s, const std::string& marker, const std::string& by)
{
    for (size_t at; (at = s.find(marker)) != std::string::npos;)
        s.replace(at, marker.size(), by);
    return s;
}

std::string Printable(std::string s)
{
    std::replace_if(s.begin(), s.end(), [](char c) { return c > 0 && c < 32; }, '~');
    return s.size() > 90 ? s.substr(0, 90) + "..." : s;
}

// Every box carries the program's caption; a question has Yes and No.
void ExpectTexts(const RobotRun& run, const std::vector<std::string>& texts)
{
    std::vector<Box> boxes;
    for (const std::string& t : texts)
        boxes.push_back({kProgramCaption, t.c_str(), t == kQuestion ? "yes,no" : "ok"});
    ExpectBoxes(run, boxes);
}

std::vector<std::string> Answers(const std::vector<std::string>& texts, const char* toQuestion)
{
    std::vector<std::string> answers;
    for (const std::string& t : texts)
        answers.push_back(t == kQuestion ? toQuestion : "ok");
    return answers;
}

std::vector<DWORD> ProgramProcesses()
{
    std::vector<DWORD> ids;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 pe = {};
    pe.dwSize = sizeof pe;
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe))
        if (_stricmp(pe.szExeFile, "Uninstall_Quorvex.exe") == 0)
            ids.push_back(pe.th32ProcessID);
    CloseHandle(snap);
    return ids;
}

// The robot starts programs through the ANSI call, which cannot carry
// characters outside the code page; this starts the installed program with
// a UTF-16 command line and answers its boxes (and its copy's) the same way.
RobotRun RunWide(const std::wstring& args, const std::vector<std::string>& answers)
{
    RobotRun run;
    std::string exe = InstalledExe();
    std::wstring wexe(exe.begin(), exe.end());
    std::wstring line = L"\"" + wexe + L"\" " + args;
    std::vector<DWORD> old = ProgramProcesses();
    std::set<DWORD> known(old.begin(), old.end());
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    run.started = CreateProcessW(wexe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &si, &pi) != FALSE;
    if (!run.started)
        return run;
    CloseHandle(pi.hThread);
    known.insert(pi.dwProcessId);
    std::vector<DWORD> ours{pi.dwProcessId};
    std::vector<HANDLE> handles{pi.hProcess};
    std::set<HWND> answered;
    DWORD begin = GetTickCount(), quietSince = 0;
    bool quiet = false;
    for (;;) {
        // A copy that cannot be opened yet may still be starting: next poll.
        for (DWORD id : ProgramProcesses())
            if (!known.count(id))
                if (HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE,
                                           FALSE, id)) {
                    known.insert(id);
                    ours.push_back(id);
                    handles.push_back(h);
                }
        for (HWND w = FindWindowExA(nullptr, nullptr, "#32770", nullptr); w;
             w = FindWindowExA(nullptr, w, "#32770", nullptr)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            char text[4096] = "", caption[512] = "";
            GetWindowTextA(GetDlgItem(w, 0xFFFF), text, sizeof text);
            if (std::find(ours.begin(), ours.end(), pid) == ours.end() || !IsWindowVisible(w) ||
                text[0] == '\0' || !answered.insert(w).second)
                continue;
            GetWindowTextA(w, caption, sizeof caption);
            RobotBox box;
            box.caption = caption;
            box.text = text;
            // Wine's box holds every button and hides the ones not asked for.
            box.buttons = IsWindowVisible(GetDlgItem(w, IDYES)) ? "yes,no" : "ok";
            box.answer = run.boxes.size() < answers.size() ? answers[run.boxes.size()] : "ok";
            PostMessageA(w, WM_COMMAND, box.answer == "yes" ? IDYES : box.answer == "no" ? IDNO : IDOK, 0);
            run.boxes.push_back(box);
        }
        bool alive = false;
        for (HANDLE h : handles)
            alive = alive || WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
        DWORD now = GetTickCount();
        if (!alive && quiet && now - quietSince >= 300)
            break;  // a copy started at the very end would have shown up by now
        if (!alive && !quiet)
            quietSince = now;
        quiet = !alive;
        if ((run.timedOut = alive && now - begin >= 30000))
            break;
        Sleep(20);
    }
    for (size_t i = 0; i < handles.size(); ++i) {
        if (run.timedOut)
            TerminateProcess(handles[i], 0xFFFFFFFF);
        DWORD code = 0xFFFFFFFF;
        GetExitCodeProcess(handles[i], &code);
        if (i == 0)
            run.exitCode = code;
        else
            run.otherExitCodes.push_back(code);
        CloseHandle(handles[i]);
    }
    return run;
}

enum Outcome { kMissing, kLength, kNotGerman, kStandard, kAccepted, kNotFound, kCopyRefuses };

// A whole command line ("<exe>" stands for the installed program's path) or,
// when wide is set, the UTF-16 words after the quoted path.
struct Line {
    std::string line;
    Outcome outcome;
    std::string shown;  // the key as the box shows it
    std::wstring wide = L"";
};

std::string Args(const std::string& words) { return "\"<exe>\" " + words; }

std::vector<Line> HostileLines()
{
    std::string words31 = "E0010407";
    for (int i = 2; i <= 31; ++i)
        words31 += " w" + std::to_string(i);
    // Box texts turn every control character into a line break.
    return {
        {"", kMissing, ""},
        {"   ", kMissing, ""},
        {"\"<exe>\"", kMissing, ""},
        {Args(""), kMissing, ""},
        {Args(kKey), kAccepted, ""},
        {Args("E0010407 /force"), kAccepted, ""},
        {Args("e0010407"), kAccepted, ""},
        {Args("e0010407 /force"), kAccepted, ""},
        {Args("   E0010407   "), kAccepted, ""},
        {Args("E0010407  /force  "), kAccepted, ""},
        {Args("/force"), kLength, "/force"},
        {Args("/force E0010407"), kMissing, ""},
        {Args("/force /force"), kLength, "/force"},
        {Args("E0010407 /FORCE"), kMissing, ""},
        {Args("E0010407 /Force"), kMissing, ""},
        {Args("E0010407 /force /force"), kMissing, ""},
        {Args("E0010407 E0010407"), kMissing, ""},
        {Args("0010407"), kLength, "0010407"},
        {Args("E00010407"), kLength, "E00010407"},
        {Args("0000o407"), kNotGerman, "0000o407"},
        {Args("E0010C07"), kNotGerman, "E0010C07"},
        {Args("E0010408"), kNotGerman, "E0010408"},
        {Args("00000407"), kStandard, "00000407"},
        {Args("00000407 /force"), kStandard, "00000407"},
        {Args("ABCD0407"), kNotFound, "ABCD0407"},
        {Args("00010407 /force"), kNotFound, "00010407"},
        {Args("\"E0010407\""), kAccepted, ""},
        {Args("\"E0010407\" \"/force\""), kAccepted, ""},
        {Args("\"E0010407\"/force"), kAccepted, ""},
        {Args("\"E0010407"), kAccepted, ""},
        {Args("\"E0010407 \""), kLength, "E0010407 "},
        {Args("\" E0010407\""), kLength, " E0010407"},
        {Args("\"E0010407 /force\""), kLength, "E0010407 /force"},
        {Args("E0010407\""), kLength, "E0010407\""},
        {Args("E001\"0407"), kLength, "E001\"0407"},
        {Args("\"E001\"0407"), kMissing, ""},
        {Args("\"E0 10407\""), kCopyRefuses, ""},
        {Args("E0010407 \"/force \""), kMissing, ""},
        {Args("\"\""), kLength, ""},
        {Args("\"\" E0010407"), kMissing, ""},
        {Args("E0010407 \"\""), kMissing, ""},
        {Args("E0010407\t/force"), kLength, "E0010407\r\n/force"},
        {Args("\tE0010407"), kLength, "\r\nE0010407"},
        {Args("E00\t0407"), kNotFound, "E00\r\n0407"},
        {Args(words31), kMissing, ""},
        {Args(std::string(258, 'x')), kLength, std::string(258, 'x')},
        {Args(std::string(259, 'x')), kLength, ""},
        {Args(std::string(260, 'x')), kLength, ""},
        {Args(std::string(300, 'x') + " /force"), kLength, ""},
        {" \"<exe>\" E0010407", kMissing, ""},
        {" \"<exe>\"", kLength, "<exe>"},
        {"<exe> E0010407", kMissing, ""},
        {"\"<exe>\"E0010407", kAccepted, ""},
        {"\"<exe>\"\tE0010407", kLength, "\r\nE0010407"},
        {Args("%s%n0407"), kNotFound, "%s%n0407"},
        {Args("%n%s%n%s"), kNotGerman, "%n%s%n%s"},
        {Args("Ä0010407"), kNotFound, "Ä0010407"},
        // Characters outside code page 1252: best fit, a default character,
        // composition, and a pair of UTF-16 units for one character.
        {"", kNotFound, "E00?0407", L"E00\x03BB" L"0407"},
        {"", kNotGerman, "E001040?", L"E001040\x03BB"},
        {"", kNotGerman, "?????407", L"\x4E2D\x0416\x05D0\x0660\x0662" L"407"},
        {"", kAccepted, "", L"E001\xFF10\xFF14\xFF10\xFF17"},
        {"", kNotFound, "??010407", L"\xD83D\xDE00" L"010407"},
        {"", kNotFound, "É0010407", L"E\x0301" L"0010407"},
        {"", kCopyRefuses, "", L"E00\x3000" L"0407"},
        {"", kLength, "E0010407 /force", L"E0010407\x3000/force"},
    };
}

class HostileCommandLine : public ::testing::Test {
protected:
    void SetUp() override { InstallProduct(); }
};

TEST_F(HostileCommandLine, EachEndsWithTheRightBoxOrTheQuestionAndChangesNothing)
{
    const std::string exe = InstalledExe();
    MachineState before = Capture();
    std::vector<Line> lines = HostileLines();
    ASSERT_GE(lines.size(), 40u);
    for (size_t i = 0; i < lines.size(); ++i) {
        const Line& c = lines[i];
        std::string line = Replace(c.line, "<exe>", exe), shown = Replace(c.shown, "<exe>", exe);
        SCOPED_TRACE("line " + std::to_string(i) + ": " + (c.wide.empty() ? Printable(line) : shown));
        const std::string* refusal[] = {&kMissingText, &kLengthText, &kNotGermanText, &kStandardText};
        std::vector<std::string> texts = {c.outcome < kAccepted ? *refusal[c.outcome] + shown : kMissingText};
        if (c.outcome == kAccepted)
            texts = {kQuestion, kCancelled};
        if (c.outcome == kNotFound)
            texts = {kNotFoundText + shown + "\nDLL: Quorvex.DLL"};
        RemoveFile(CopyPath());
        RobotRun run;
        if (c.wide.empty()) {
            RobotOptions options;
            options.commandLine = line;
            options.applicationName = exe;
            options.answers = Answers(texts, "no");
            options.timeoutMs = 30000;
            run = RunWithRobot(options);
        } else {
            run = RunWide(c.wide, Answers(texts, "no"));
        }
        ExpectCleanEnd(run);
        ExpectTexts(run, texts);
        // Only a key that passed the first check is handed to a copy.
        bool handedOver = c.outcome >= kAccepted;
        EXPECT_EQ(run.otherExitCodes.size(), handedOver ? 1u : 0u) << DescribeRun(run);
        EXPECT_EQ(FileThere(CopyPath()), handedOver);
        MachineState after = Capture();
        EXPECT_EQ(after, before) << Describe(after);
        EXPECT_EQ(PendingRenames(), "");
    }
}

// ---- Registry states ------------------------------------------------------

// Value data as the program reads it, whatever the type: the bytes up to the
// first zero.
Values RawValues(HKEY root, const char* path)
{
    Values values;
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    static char name[16384], data[65536];
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name, dataSize = sizeof data - 1;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                          &dataSize) != ERROR_SUCCESS)
            break;
        data[dataSize] = '\0';
        values.emplace_back(name, data);
    }
    RegCloseKey(key);
    return values;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return s;
}

// The layouts a Preload list lets the user choose: each entry's data, or
// what Substitutes maps it to.
std::vector<std::string> Chosen(const Values& preload, const Values& substitutes)
{
    std::vector<std::string> layouts;
    for (const auto& p : preload) {
        std::string layout = p.second;
        for (const auto& s : substitutes)
            if (Lower(s.first) == Lower(p.second))
                layout = s.second;
        layouts.push_back(Lower(layout));
    }
    return layouts;
}

// Everything beside the product under the keys it touches, path by path.
using Tree = std::map<std::string, Values>;
void DumpInto(Tree& tree, HKEY root, const std::string& path, const std::string& name)
{
    tree[name] = ReadValues(root, path);
    for (const std::string& sub : Subkeys(root, path))
        DumpInto(tree, root, path + "\\" + sub, name + "\\" + Lower(sub));
}

Tree Surroundings()
{
    Tree tree;
    DumpInto(tree, HKEY_LOCAL_MACHINE, kLayoutsPath, "layouts");
    DumpInto(tree, HKEY_LOCAL_MACHINE, kUninstallPath, "uninstall");
    DumpInto(tree, HKEY_CURRENT_USER, "Keyboard Layout", "hkcu");
    const std::string product[] = {"layouts\\" + Lower(kKey), "uninstall\\" + Lower(kEntryName),
                                   "hkcu\\preload", "hkcu\\substitutes"};
    for (auto it = tree.begin(); it != tree.end();) {
        bool ours = false;
        for (const std::string& p : product)
            ours = ours || it->first.compare(0, p.size(), p) == 0;
        it = ours ? tree.erase(it) : std::next(it);
    }
    return tree;
}

std::string Sz(const std::string& text) { return text + '\0'; }
void User(const char* path, const std::string& n, DWORD type, const std::string& bytes)
{
    PutValue(HKEY_CURRENT_USER, path, n, type, bytes);
}
void P(const std::string& n, const std::string& d) { User(kPreloadPath, n, REG_SZ, Sz(d)); }
void S(const std::string& n, const std::string& d) { User(kSubstitutesPath, n, REG_SZ, Sz(d)); }
void Lists(const Values& preload, const Values& substitutes)
{
    WriteValues(HKEY_CURRENT_USER, kPreloadPath, preload);
    WriteValues(HKEY_CURRENT_USER, kSubstitutesPath, substitutes);
}
std::string Dword(DWORD v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

const char kPercentLayout[] = "%s%n0407";
std::string LayoutPath(const std::string& name) { return std::string(kLayoutsPath) + "\\" + name; }

void DropPercentLayout()
{
    HKEY layouts;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kLayoutsPath, 0, KEY_ALL_ACCESS, &layouts) == ERROR_SUCCESS) {
        RegDeleteKeyA(layouts, kPercentLayout);  // a DACL that denies reading still allows this
        RegCloseKey(layouts);
    }
}

void LockAgainstReading(const std::string& path)
{
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, WRITE_DAC, &key), ERROR_SUCCESS);
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(D;;KR;;;WD)(A;;KA;;;WD)",
                                                                     SDDL_REVISION_1, &sd, nullptr));
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd), ERROR_SUCCESS);
    LocalFree(sd);
    RegCloseKey(key);
    ASSERT_FALSE(KeyThere(HKEY_LOCAL_MACHINE, path)) << "the key can still be read";
}

const char kForeignEntry[] = "Fremdprodukt 2.0";

struct State {
    const char* what;
    std::function<void()> arrange;
    std::vector<std::string> boxes;
    Values preload = {}, substitutes = {};  // the lists afterwards, when given
    // A layout still offered that the user did not have, or had removed: the
    // removal rules give it; pinned so that any change shows.
    const char* stray = nullptr;
};

const std::vector<std::string> kWhole = {kQuestion, kDone};

std::vector<State> HostileStates()
{
    const std::string name259 = "3" + std::string(258, 'a'), name260 = "4" + std::string(259, 'b'),
                      name261 = "5" + std::string(260, 'c');
    const std::string a258(258, 'A'), b259(259, 'B'), c260(260, 'C');
    // A table holds 1000 entries: one value is never read, one is removed.
    Values full{{"1", "00000407"}};
    for (int i = 2; i <= 999; ++i)
        full.emplace_back(std::to_string(i), "00000409");
    std::sort(full.begin(), full.end(),
              [](const auto& a, const auto& b) { return _stricmp(a.first.c_str(), b.first.c_str()) < 0; });
    return {
        {"REG_DWORD in Preload", [] { User(kPreloadPath, "3", REG_DWORD, Dword(0x409)); },
         kWhole, {{"1", "00000407"}, {"2", "\x09\x04"}}},
        {"REG_BINARY without terminator in Preload",
         [] { User(kPreloadPath, "3", REG_BINARY, "00000409"); }, kWhole,
         {{"1", "00000407"}, {"2", "00000409"}}},
        {"REG_EXPAND_SZ in Preload",
         [] { User(kPreloadPath, "3", REG_EXPAND_SZ, Sz("00000809")); },
         kWhole, {{"1", "00000407"}, {"2", "00000809"}}},
        {"REG_EXPAND_SZ target in Substitutes",
         [] { User(kSubstitutesPath, "d0010407", REG_EXPAND_SZ, Sz(kKey)); },
         kWhole, {{"1", "00000407"}}},
        {"REG_BINARY without terminator in Substitutes",
         [] { P("3", "d0020407"); User(kSubstitutesPath, "d0020407", REG_BINARY, "00010407"); },
         kWhole, {{"1", "00000407"}, {"2", "d0010407"}}, {{"d0010407", "00010407"}}},
        {"REG_DWORD in Substitutes",
         [] { P("3", "d0020407"); User(kSubstitutesPath, "d0020407", REG_DWORD, Dword(0x10407)); },
         kWhole, {{"1", "00000407"}, {"2", "d0010407"}}, {{"d0010407", "\x07\x04\x01"}}},
        {"gaps in the numbering",
         [] { Lists({{"1", "00000407"}, {"5", "d0010407"}, {"9", "00000409"}, {"12", "d0020407"}},
                    {{"d0010407", kKey}, {"d0020407", "00010407"}}); },
         kWhole, {{"1", "00000407"}, {"2", "00000409"}, {"3", "d0010407"}}, {{"d0010407", "00010407"}}},
        {"names not written canonically",
         [] { Lists({{"1", "00000407"}, {"2", "d0010407"}, {"03", "00000409"}, {" 4", "d0020407"},
                     {"+5", "00000809"}},
                    {{"d0010407", kKey}, {"d0020407", "00010407"}}); },
         kWhole, {{"1", "00000407"}, {"2", "00000409"}, {"3", "00000809"}, {"4", "d0010407"}},
         {{"d0010407", "00010407"}}},
        {"duplicate data of another layout", [] { P("3", "00000409"); P("4", "00000409"); }, kWhole,
         {{"1", "00000407"}, {"2", "00000409"}, {"3", "00000409"}}},
        {"duplicate data of the layout's identifier", [] { P("3", "d0010407"); }, kWhole,
         {{"1", "00000407"}, {"2", "d0010407"}}, {}, "d0010407"},
        {"data differing in case",
         [] { Lists({{"1", "00000407"}, {"2", "D0010407"}}, {{"d0010407", "e0010407"}}); },
         kWhole, {{"1", "00000407"}}},
        {"1001 values in Preload",
         [] { for (int i = 3; i <= 1001; ++i) P(std::to_string(i), "00000409"); }, kWhole, full},
        {"value names of 259, 260 and 261 characters",
         [=] { P(name259, "00000409"); P(name260, "00000809"); P(name261, "00000c09"); }, kWhole,
         {{"1", "00000407"}, {"2", "00000409"}}},
        {"data of 259, 260 and 261 bytes", [=] { P("3", a258); P("4", b259); P("5", c260); }, kWhole,
         {{"1", "00000407"}, {"2", a258}, {"3", b259}}},
        {"Substitutes names of 259 and 260 characters",
         [] { P("3", std::string(259, 'n')); S(std::string(259, 'n'), "00010407");
              S(std::string(260, 'o'), "00020407"); },
         kWhole, {{"1", "00000407"}, {"2", "d0010407"}}, {{"d0010407", "00010407"}}},
        {"Substitutes data of 260 and 261 bytes",
         [=] { P("3", "d0020407"); S("d0020407", b259); P("4", "d0030407"); S("d0030407", c260); }, kWhole,
         {{"1", "00000407"}, {"2", "d0010407"}, {"3", "d0030407"}}, {{"d0010407", b259}}, "d0030407"},
        {"%s and %n in names and data",
         [] { P("3%s%n", "%s%n0409"); P("4", "%n%s"); S("%n%s", "%s%n0407"); }, kWhole,
         {{"1", "00000407"}, {"2", "d0010407"}, {"3", "%s%n0409"}}, {{"d0010407", "%s%n0407"}}},
        {"a readable layout subkey named with %",
         [] {
             PutValue(HKEY_LOCAL_MACHINE, LayoutPath(kPercentLayout), "Layout File", REG_SZ, Sz("%s%n.DLL"));
             PutValue(HKEY_LOCAL_MACHINE, LayoutPath(kPercentLayout) + "\\%n", "%s", REG_SZ, Sz("%n"));
         },
         kWhole, {{"1", "00000407"}}},
        {"an unreadable layout subkey named with %",
         [] {
             PutValue(HKEY_LOCAL_MACHINE, LayoutPath(kPercentLayout), "Layout File", REG_SZ, Sz("X.DLL"));
             LockAgainstReading(LayoutPath(kPercentLayout));
         },
         {std::string("Fehler beim Öffnen des Registry-Subkeys ") + kLayoutsPath + " - " + kPercentLayout}},
        {"the layout listed twice",
         [] { P("3", "d0020407"); S("d0020407", kKey); }, kWhole,
         {{"1", "00000407"}, {"2", "d0010407"}}, {{"d0010407", kKey}}, kKey},
        {"Preload holding only the layout, twice",
         [] { Lists({{"1", "00000407"}, {"2", "d0010407"}}, {{"00000407", kKey}, {"d0010407", kKey}}); },
         kWhole,
         {{"1", "00000407"}}, {{"00000407", kKey}}, kKey},
        {"entry 1 is the layout",
         [] { Lists({{"1", "00000407"}, {"2", "00000409"}}, {{"00000407", kKey}}); }, kWhole,
         {{"1", "00000409"}}},
        {"entry 1 is the layout, every entry substituted",
         [] { Lists({{"1", "00000407"}, {"2", "d0010407"}}, {{"00000407", kKey}, {"d0010407", "00010407"}}); },
         kWhole, {{"1", "00000407"}}, {{"00000407", "00010407"}}},
        {"no Substitutes key", [] { RemoveKey(HKEY_CURRENT_USER, kSubstitutesPath); },
         {"Fehler beim Öffnen des Registry-Keys HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes"}},
        {"no Keyboard Layouts key", [] { RemoveKey(HKEY_LOCAL_MACHINE, kLayoutsPath); },
         {std::string("Fehler beim Öffnen des Registry-Keys HKEY_LOCAL_MACHINE\\") + kLayoutsPath}},
        {"the layout not registered", [] { RemoveKey(HKEY_LOCAL_MACHINE, LayoutPath(kKey)); },
         {kNotFoundText + kKey + "\nDLL: Quorvex.DLL"}},
        {"the uninstall entry with subkeys",
         [] {
             std::string entry = std::string(kUninstallPath) + "\\" + kEntryName;
             PutValue(HKEY_LOCAL_MACHINE, entry + "\\Teil\\Tiefer", "x", REG_SZ, Sz("y"));
             PutValue(HKEY_LOCAL_MACHINE, entry + "\\Zweiter", "", REG_DWORD, Dword(1));
         },
         kWhole},
        {"no Uninstall key",
         [] {
             for (const std::string& e : Subkeys(HKEY_LOCAL_MACHINE, kUninstallPath))
                 ASSERT_TRUE(e == kEntryName || e == kForeignEntry) << "would lose " << e;
             RemoveKey(HKEY_LOCAL_MACHINE, kUninstallPath);
         },
         kWhole},
    };
}

class HostileRegistry : public ::testing::Test {
protected:
    // Neighbours of the product that must come through untouched.
    static void PutNeighbours()
    {
        PutValue(HKEY_LOCAL_MACHINE, LayoutPath("00010407"), "Layout File", REG_SZ, Sz("KBDGR1.DLL"));
        PutValue(HKEY_LOCAL_MACHINE, LayoutPath("00010407") + "\\Fremd", "Wert", REG_BINARY, "\x01\x02");
        std::string entry = std::string(kUninstallPath) + "\\" + kForeignEntry;
        PutValue(HKEY_LOCAL_MACHINE, entry, "DisplayName", REG_SZ, Sz(kForeignEntry));
        PutValue(HKEY_LOCAL_MACHINE, entry + "\\Teil", "x", REG_SZ, Sz("y"));
        PutValue(HKEY_CURRENT_USER, "Keyboard Layout\\Toggle", "Hotkey", REG_SZ, Sz("1"));
    }
    void TearDown() override
    {
        DropPercentLayout();
        RemoveKey(HKEY_LOCAL_MACHINE, std::string(kUninstallPath) + "\\" + kForeignEntry);
        RemoveKey(HKEY_CURRENT_USER, "Keyboard Layout\\Toggle");
    }
};

TEST_F(HostileRegistry, EachStateEndsCleanAndLeavesTheUserALayout)
{
    std::vector<State> states = HostileStates();
    ASSERT_GE(states.size(), 20u);
    for (const State& state : states) {
        SCOPED_TRACE(state.what);
        DropPercentLayout();
        InstallProduct();
        PutNeighbours();
        state.arrange();
        MachineState before = Capture();
        Tree around = Surroundings();
        std::vector<std::string> had = Chosen(RawValues(HKEY_CURRENT_USER, kPreloadPath),
                                              RawValues(HKEY_CURRENT_USER, kSubstitutesPath));

        RobotRun run = RunInstalled(kKey, Answers(state.boxes, "yes"));
        ExpectCleanEnd(run);
        ExpectTexts(run, state.boxes);
        EXPECT_EQ(Surroundings(), around) << "something beside the product changed";
        if (state.boxes.back() != kDone) {
            EXPECT_EQ(Capture(), before) << Describe(Capture());
            continue;
        }

        MachineState after = Capture();
        ASSERT_TRUE(KeyThere(HKEY_CURRENT_USER, kPreloadPath));
        EXPECT_FALSE(after.preload.empty());
        had.erase(std::remove(had.begin(), had.end(), Lower(kKey)), had.end());
        std::vector<std::string> strays, none;
        for (const std::string& layout : Chosen(RawValues(HKEY_CURRENT_USER, kPreloadPath),
                                                RawValues(HKEY_CURRENT_USER, kSubstitutesPath)))
            if (std::find(had.begin(), had.end(), layout) == had.end())
                strays.push_back(layout);
        EXPECT_EQ(strays, state.stray ? std::vector<std::string>{Lower(state.stray)} : none) << Describe(after);
        for (const auto& s : after.substitutes) {
            bool used = false;
            for (const auto& p : after.preload)
                used = used || Lower(p.second) == Lower(s.first);
            EXPECT_TRUE(used) << "Substitutes " << s.first << " belongs to no Preload entry";
        }
        if (!state.preload.empty()) {
            EXPECT_EQ(after.preload, state.preload) << Describe(after);
            EXPECT_EQ(after.substitutes, state.substitutes) << Describe(after);
        }
        std::vector<std::string> layouts = before.layouts;
        layouts.erase(std::remove(layouts.begin(), layouts.end(), std::string(kKey)), layouts.end());
        EXPECT_EQ(after.layouts, layouts);
        EXPECT_FALSE(KeyThere(HKEY_LOCAL_MACHINE, std::string(kUninstallPath) + "\\" + kEntryName));
        EXPECT_TRUE(KeyThere(HKEY_LOCAL_MACHINE, kUninstallPath));
        EXPECT_FALSE(after.driver);
        EXPECT_FALSE(after.folder);
    }
}

} // namespace
