// The real program against command lines and registry contents that no
// installer would write, each run end to end under the robot.
#include "support.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>

namespace {

#define CALLED "Deinstallationsprogramm nicht mit gültigem Registry-Key für die Tastatur aufgerufen "
const std::string kRefused[] = {CALLED "(Angabe fehlt)", CALLED "(Länge nicht 8 Zeichen):\n",
                                CALLED "(endet nicht in \"0407\", also kein deutsches Layout):\n",
                                CALLED "(Schlüssel für Standardtastatur: nicht deinstallierbar):\n"};
const std::string kNotFoundText = "Der Registry-Key des zu deinstallierenden Tastaturtreibers wurde nicht gefunden.\n"
                              "Treiber: " DISPLAY "\nKey: ";
const HKEY kUser = HKEY_CURRENT_USER, kMachine = HKEY_LOCAL_MACHINE;
std::string LayoutPath(const std::string& name) { return std::string(kLayoutsPath) + "\\" + name; }
std::string Lower(std::string s) { return CharLowerA(&s[0]), s; }

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
    if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        WaitForSingleObject(pi.hProcess, INFINITE), GetExitCodeProcess(pi.hProcess, &code);
    ExitProcess(code);
}();

// Refusals index kRefused; kCopyRefuses: the installed program passes it, its copy does not.
enum Outcome { kMissing, kLength, kNotGerman, kStandard, kAccepted, kNotFound, kCopyRefuses };
// A command line, "<exe>" standing for the installed program, or the UTF-16 words after it;
// shown: the key as the box shows it.
struct Line { std::string line; Outcome outcome; std::string shown = ""; std::wstring wide = L""; };
std::string Args(const std::string& words) { return "\"<exe>\" " + words; }
Line Key(const std::string& key, Outcome outcome) { return {Args(key), outcome, key}; }

TEST(Hostile, CommandLinesEndWithTheRightBoxAndChangeNothing)
{
    std::string words31 = "E0010407";
    for (int i = 2; i <= 31; ++i)
        words31 += " w" + std::to_string(i);
    const Line lines[] = {  // box texts turn every control character into a line break
        {"", kMissing}, {"   ", kMissing}, {"\"<exe>\"", kMissing}, {Args(""), kMissing}, {Args(kKey), kAccepted},
        {Args("E0010407 /force"), kAccepted}, {Args("e0010407"), kAccepted}, {Args("   E0010407   "), kAccepted},
        {Args("E0010407  /force  "), kAccepted}, Key("/force", kLength), {Args("/force E0010407"), kMissing},
        {Args("/force /force"), kLength, "/force"}, {Args("E0010407 /FORCE"), kMissing},
        {Args("E0010407 /Force"), kMissing}, {Args("E0010407 /Quiet"), kMissing},
        {Args("E0010407 /force /force"), kMissing}, {Args("E0010407 /force extra"), kMissing},
        {Args(words31), kMissing}, Key("0010407", kLength), Key("E00010407", kLength), Key("0000o407", kNotGerman),
        Key("E0010C07", kNotGerman), Key("E0010408", kNotGerman), Key("00000407", kStandard),
        {Args("00000407 /force"), kStandard, "00000407"}, Key("ABCD0407", kNotFound),
        {Args("00010407 /force"), kNotFound, "00010407"}, Key("Ä0010407", kNotFound), Key("%s%n0407", kNotFound),
        Key("%n%s%n%s", kNotGerman), {Args("\"E0010407\""), kAccepted}, {Args("\"E0010407\" \"/force\""), kAccepted},
        {Args("\"E0010407\"/force"), kAccepted}, {Args("\"E0010407"), kAccepted},
        {Args("\"E0010407 \""), kLength, "E0010407 "}, {Args("\"E0010407 /force\""), kLength, "E0010407 /force"},
        Key("E001\"0407", kLength), {Args("\"E001\"0407"), kMissing}, {Args("\"E0 10407\""), kCopyRefuses},
        {Args("\"\""), kLength}, {Args("\"\" E0010407"), kMissing}, {Args("E0010407 \"\""), kMissing},
        {Args("E0010407\t/force"), kLength, "E0010407\r\n/force"}, {Args("E00\t0407"), kNotFound, "E00\r\n0407"},
        {"\"<exe>\"\tE0010407", kLength, "\r\nE0010407"}, Key(std::string(258, 'x'), kLength),
        {Args(std::string(259, 'x')), kLength}, {Args(std::string(300, 'x') + " /force"), kLength},
        {" \"<exe>\" E0010407", kMissing}, {" \"<exe>\"", kLength, "<exe>"}, {"\"<exe>\"E0010407", kAccepted},
        // Outside code page 1252: best fit, a default character, composition, a surrogate pair.
        {"", kNotFound, "E00?0407", L"E00\x03BB" L"0407"}, {"", kNotGerman, "E001040?", L"E001040\x03BB"},
        {"", kNotGerman, "?????407", L"\x4E2D\x0416\x05D0\x0660\x0662" L"407"},
        {"", kAccepted, "", L"E001\xFF10\xFF14\xFF10\xFF17"}, {"", kNotFound, "??010407", L"\xD83D\xDE00" L"010407"},
        {"", kNotFound, "É0010407", L"E\x0301" L"0010407"}, {"", kCopyRefuses, "", L"E00\x3000" L"0407"}};
    InstallProduct();
    const std::string exe = InstalledExe(), launcher = TempDir() + "qvx-utf16\\Uninstall_Quorvex.exe";
    CreateDirectoryA((TempDir() + "qvx-utf16").c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(_pgmptr, launcher.c_str(), FALSE)) << _pgmptr;
    auto withExe = [&](std::string s) { size_t at = s.find("<exe>"); return at == s.npos ? s : s.replace(at, 5, exe); };
    const std::string before = Machine();
    for (const Line& c : lines) {
        RobotOptions o;
        o.applicationName = c.wide.empty() ? exe : launcher;
        o.commandLine = c.wide.empty() ? withExe(c.line) : "\"" + launcher + "\" --utf16";
        for (wchar_t w : c.wide)
            o.commandLine += " " + std::to_string(w);
        SCOPED_TRACE(o.commandLine.substr(0, 90));
        o.answers = {c.outcome == kAccepted ? "no" : "ok", "ok"};
        ClearCopies();
        RobotRun run = RunWithRobot(o);
        EXPECT_TRUE(CleanEnd(run));
        const std::string shown = withExe(c.shown);
        EXPECT_EQ(Shown(run.boxes), c.outcome == kAccepted ? kQuestion + kCancelled
                                    : c.outcome == kNotFound ? Ok(kNotFoundText + shown + "\nDLL: Quorvex.DLL")
                                                             : Ok(kRefused[c.outcome < kAccepted ? c.outcome : kMissing] + shown));
        // Only a key that passed the first check is handed to a copy; the launcher counts as one more.
        const bool handedOver = c.outcome >= kAccepted;
        EXPECT_EQ(run.otherExitCodes.size(), handedOver + !c.wide.empty());
        EXPECT_EQ(CopyDirs().size(), handedOver ? 1u : 0u);
        EXPECT_EQ(Machine(), before);
        EXPECT_EQ(!PendingRenames().empty(), handedOver) << "the copy leaves itself to the next restart";
    }
    RemoveTree(TempDir() + "qvx-utf16");
}

// Value data as the program reads it, whatever the type: the bytes up to the first zero.
Values RawValues(const char* path)
{
    Values values;
    HKEY key;
    static char name[16384], data[65536];
    if (RegOpenKeyExA(kUser, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    for (DWORD i = 0, n = sizeof name, size = sizeof data;
         !RegEnumValueA(key, i, name, &n, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
         ++i, n = sizeof name, size = sizeof data)
        values.emplace_back(name, std::string(data, strnlen(data, size)));
    RegCloseKey(key);
    return values;
}

// The layouts the Preload list offers: each entry's data, or what Substitutes maps it to.
std::vector<std::string> Offered()
{
    std::vector<std::string> layouts;
    const Values subs = RawValues(kSubstitutesPath);
    for (const auto& p : RawValues(kPreloadPath)) {
        auto s = std::find_if(subs.begin(), subs.end(), [&](auto& s) { return Lower(s.first) == Lower(p.second); });
        layouts.push_back(Lower(s == subs.end() ? p.second : s->second));
    }
    return layouts;
}

// Everything beside the product under the keys it touches.
void Dump(std::map<std::string, std::string>& tree, HKEY root, const std::string& path)
{
    for (std::string ours : {LayoutPath(kKey), kUninstallPath + ("\\" + std::string(kEntryName)),
                             std::string(kPreloadPath), std::string(kSubstitutesPath)})
        if (Lower(path) == Lower(ours))
            return;
    // An empty key counts as none: the uninstall creates the Uninstall key when it is missing.
    const std::string values = List(root, path);
    if (values != "" && values != "<none>")
        tree[Lower(path)] = values;
    for (const std::string& name : SubkeyNames(root, path))
        if (name != "<none>")
            Dump(tree, root, path + "\\" + name);
}
std::map<std::string, std::string> Surroundings()
{
    std::map<std::string, std::string> tree;
    Dump(tree, kMachine, kLayoutsPath);
    Dump(tree, kMachine, kUninstallPath);
    Dump(tree, kUser, "Keyboard Layout");
    return tree;
}

std::string Dword(DWORD v) { return std::string(reinterpret_cast<const char*>(&v), 4); }
void P(const std::string& n, const std::string& d, DWORD type = REG_SZ) { PutValue(kUser, kPreloadPath, n, d, type); }
void S(const std::string& n, const std::string& d, DWORD type = REG_SZ) { PutValue(kUser, kSubstitutesPath, n, d, type); }
void Lists(const Values& preload, const Values& substitutes)
{
    WriteValues(kUser, kPreloadPath, preload);
    WriteValues(kUser, kSubstitutesPath, substitutes);
}
const char kPercentLayout[] = "%s%n0407", kForeignEntry[] = "Fremdprodukt 2.0";

struct State {
    const char* what;
    std::function<void()> arrange;
    std::vector<std::string> preload = {};  // data of the rebuilt list, when given; Substitutes then too
    std::string substitutes = "";
    const char* stray = nullptr;  // a leftover the removal rules knowingly keep offered
    std::string refusal = "";     // its only box, instead of a whole uninstall
    const char* args = kKey;
};
State Refused(const char* what, std::function<void()> arrange, const std::string& box, const char* args = kKey)
{
    return {what, std::move(arrange), {}, "", nullptr, box, args};
}

TEST(Hostile, RegistryStatesEndCleanAndLeaveTheUserALayout)
{
    const std::string a258(258, 'A'), b259(259, 'B'), c260(260, 'C'), opening = "Fehler beim Öffnen des Registry-";
    std::vector<std::string> full(999, "00000409");  // 1000 read of 1001, one removed
    full[0] = "00000407";
    const std::string onlyOne = "In den Windows-Spracheinstellungen ist die zu deinstallierende Tastaturbelegung "
        "derzeit als einzig auswählbare Belegung hinterlegt.\nBitte wählen Sie dort erst eine andere "
        "Tastaturbelegung, bevor Sie die hier gewählte deinstallieren.";
    const std::vector<std::string> usual = {"00000407"}, withOurs = {"00000407", "d0010407"};
    const State states[] = {
        {"REG_DWORD in Preload", [] { P("3", Dword(0x409), REG_DWORD); }, {"00000407", "\x09\x04"}},
        {"unterminated REG_BINARY in Preload", [] { P("3", "00000409", REG_BINARY); }, {"00000407", "00000409"}},
        {"REG_EXPAND_SZ target in Substitutes", [] { S("d0010407", kKey + std::string(1, '\0'), REG_EXPAND_SZ); }, usual},
        {"unterminated REG_BINARY in Substitutes", [] { P("3", "d0020407"); S("d0020407", "00010407", REG_BINARY); },
         withOurs, "d0010407=00010407"},
        {"REG_DWORD in Substitutes", [] { P("3", "d0020407"); S("d0020407", Dword(0x10407), REG_DWORD); }, withOurs,
         "d0010407=\x07\x04\x01"},
        {"gaps in the numbering",
         [] { Lists({{"1", "00000407"}, {"5", "d0010407"}, {"9", "00000409"}, {"12", "d0020407"}},
                    {{"d0010407", kKey}, {"d0020407", "00010407"}}); },
         {"00000407", "00000409", "d0010407"}, "d0010407=00010407"},
        {"names not written canonically",
         [] { Lists({{"1", "00000407"}, {"2", "d0010407"}, {"03", "00000409"}, {" 4", "d0020407"}, {"+5", "00000809"}},
                    {{"d0010407", kKey}, {"d0020407", "00010407"}}); },
         {"00000407", "00000409", "00000809", "d0010407"}, "d0010407=00010407"},
        {"duplicate data of another layout", [] { P("3", "00000409"); P("4", "00000409"); },
         {"00000407", "00000409", "00000409"}},
        {"duplicate data of the layout's identifier", [] { P("3", "d0010407"); }, withOurs, "", "d0010407"},
        {"data differing in case", [] { P("2", "D0010407"); S("d0010407", "e0010407"); }, usual},
        {"1001 values in Preload", [] { for (int i = 3; i <= 1001; ++i) P(std::to_string(i), "00000409"); }, full},
        {"value names of 259, 260 and 261 characters",
         [] { P("3" + std::string(258, 'a'), "00000409"); P("4" + std::string(259, 'b'), "00000809");
              P("5" + std::string(260, 'c'), "00000c09"); }, {"00000407", "00000409"}},
        {"data of 259, 260 and 261 bytes", [=] { P("3", a258); P("4", b259); P("5", c260); }, {"00000407", a258, b259}},
        {"Substitutes data of 260 and 261 bytes",
         [=] { P("3", "d0020407"); S("d0020407", b259); P("4", "d0030407"); S("d0030407", c260); },
         {"00000407", "d0010407", "d0030407"}, "d0010407=" + b259, "d0030407"},
        {"%s and %n in names and data", [] { P("3%s%n", "%s%n0409"); P("4", "%n%s"); S("%n%s", "%s%n0407"); },
         {"00000407", "d0010407", "%s%n0409"}, "d0010407=%s%n0407"},
        {"a layout subkey named with %",
         [] { PutValue(kMachine, LayoutPath(kPercentLayout), "Layout File", "%s%n.DLL");
              PutValue(kMachine, LayoutPath(kPercentLayout) + "\\%n", "%s", "%n"); }, usual},
        {"layout listed twice", [] { P("3", "d0020407"); S("d0020407", kKey); }, withOurs, "d0010407=E0010407", kKey},
        {"entry 1 is the layout", [] { Lists({{"1", "00000407"}, {"2", "00000409"}}, {{"00000407", kKey}}); },
         {"00000409"}},
        {"entry 1 is the layout, every entry substituted", [] { S("00000407", kKey); S("d0010407", "00010407"); },
         usual, "00000407=00010407"},
        {"the uninstall entry with subkeys",
         [] { std::string entry = std::string(kUninstallPath) + "\\" + kEntryName;
              PutValue(kMachine, entry + "\\Teil\\Tiefer", "x", "y");
              PutValue(kMachine, entry + "\\Zweiter", "", Dword(1), REG_DWORD); }},
        {"no Uninstall key", [] { RemoveKey(kMachine, kUninstallPath); }},
        Refused("an unreadable layout subkey named with %",
                [] { PutValue(kMachine, LayoutPath(kPercentLayout), "Layout File", "X.DLL");
                     SetKeyDacl(kMachine, LayoutPath(kPercentLayout), "D:(D;;KR;;;WD)(A;;KA;;;WD)"); },
                opening + "Subkeys " + kLayoutsPath + " - " + kPercentLayout),
        Refused("no Substitutes key", [] { RemoveKey(kUser, kSubstitutesPath); },
                opening + "Keys HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes"),
        Refused("no Keyboard Layouts key", [] { RemoveKey(kMachine, kLayoutsPath); },
                opening + "Keys HKEY_LOCAL_MACHINE\\" + kLayoutsPath),
        Refused("the layout not registered", [] { RemoveKey(kMachine, LayoutPath(kKey)); },
                kNotFoundText + kKey + "\nDLL: Quorvex.DLL"),
        Refused("no Layout File, even with /force",
                [] { RegDeleteKeyValueA(kMachine, LayoutPath(kKey).c_str(), "Layout File"); },
                "Der Registry-Key des zu deinstallierenden Tastaturtreibers enthält keine Treiberdatei-Angabe.\n"
                "Treiber: " DISPLAY "\nKey: E0010407\nDLL: Quorvex.DLL", "E0010407 /force"),
        Refused("only one Preload entry", [] { WriteValues(kUser, kPreloadPath, {{"1", "00000407"}}); }, onlyOne),
        Refused("Preload holding only the layout, twice", [] { S("00000407", kKey); }, onlyOne),
        Refused("the layout through Substitutes, then the layout key itself",
                [] { Lists({{"1", "00000407"}, {"2", kKey}}, {{"00000407", kKey}}); }, onlyOne),
        Refused("a rebuilt list that would be empty",
                [] { Lists({{"1", "00000407"}, {"2002", "d0020407"}}, {{"00000407", kKey}, {"d0020407", "00010407"}}); },
                onlyOne),
    };
    for (const State& state : states) {
        SCOPED_TRACE(state.what);
        RegDeleteKeyA(kMachine, LayoutPath(kPercentLayout).c_str());  // a DACL that denies reading allows deleting
        InstallProduct();
        // Neighbours of the product that must come through untouched.
        const std::string foreign = std::string(kUninstallPath) + "\\" + kForeignEntry;
        PutValue(kMachine, LayoutPath("00010407"), "Layout File", "KBDGR1.DLL");
        PutValue(kMachine, LayoutPath("00010407") + "\\Fremd", "Wert", "\x01\x02", REG_BINARY);
        PutValue(kMachine, foreign + "\\Teil", "x", "y");
        PutValue(kUser, "Keyboard Layout\\Toggle", "Hotkey", "1");
        state.arrange();
        const std::string before = Machine();
        const auto around = Surroundings();
        std::vector<std::string> had = Offered();
        const bool whole = state.refusal.empty();
        RobotRun run = RunInstalled(state.args, {whole ? "yes" : "ok", "ok"});
        EXPECT_TRUE(CleanEnd(run));
        EXPECT_EQ(Shown(run.boxes), whole ? kQuestion + kDone : Ok(state.refusal));
        EXPECT_EQ(Surroundings(), around) << "something beside the product changed";
        if (!whole) {
            EXPECT_EQ(Machine(), before);
            continue;
        }
        EXPECT_EQ(ProductLeft(), "");
        EXPECT_TRUE(KeyThere(kMachine, kUninstallPath));
        const Values preload = RawValues(kPreloadPath), substitutes = RawValues(kSubstitutesPath);
        EXPECT_FALSE(preload.empty());
        had.erase(std::remove(had.begin(), had.end(), Lower(kKey)), had.end());
        std::vector<std::string> strays;
        for (const std::string& layout : Offered())
            if (std::find(had.begin(), had.end(), layout) == had.end())
                strays.push_back(layout);
        EXPECT_EQ(strays, state.stray ? std::vector{Lower(state.stray)} : std::vector<std::string>());
        for (const auto& s : substitutes)
            EXPECT_TRUE(std::any_of(preload.begin(), preload.end(),
                                    [&](const auto& p) { return Lower(p.second) == Lower(s.first); }))
                << "Substitutes " << s.first << " belongs to no Preload entry";
        if (!state.preload.empty()) {
            Values want;  // names 1, 2, ..., listed as List sorts them
            for (const std::string& data : state.preload)
                want.emplace_back(std::to_string(want.size() + 1), data);
            std::sort(want.begin(), want.end(), [](auto& a, auto& b) { return _stricmp(a.first.c_str(), b.first.c_str()) < 0; });
            std::string list;
            for (const auto& [n, d] : want)
                list += (list.empty() ? "" : " ") + n + "=" + d;
            EXPECT_EQ(List(kUser, kPreloadPath), list);
            EXPECT_EQ(List(kUser, kSubstitutesPath), state.substitutes);
        }
    }
    RegDeleteKeyA(kMachine, LayoutPath(kPercentLayout).c_str());
    RemoveKey(kMachine, std::string(kUninstallPath) + "\\" + kForeignEntry);
    RemoveKey(kUser, "Keyboard Layout\\Toggle");
}

} // namespace
