#include "support.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "frame/message_box.h"

const char kKey[] = "E0010407", kEntry[] = "Tastaturbelegung DIN E1 (Treiber V3.11 \"Selvarin\")";
const char* const kHelperFiles[3] = {"Uninstall_Quorvex.exe", "Tastaturbelegung E1 (V3.11) Schaubild.pdf",
                                     "Tastaturbelegung E1 (V3.11) Schaubild.ico"};
const char kLayoutsPath[] = "System\\CurrentControlSet\\Control\\Keyboard Layouts",
           kPreloadPath[] = "Keyboard Layout\\Preload", kSubstitutesPath[] = "Keyboard Layout\\Substitutes",
           kUninstallPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
static const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
const std::string kQuestion = Ask("Soll folgender Tastatur-Treiber deinstalliert werden?\n\n" DISPLAY),
                  kDone = Ok("Folgender Tastatur-Treiber wurde deinstalliert:\n" DISPLAY),
                  kCancelled = Ok("Deinstallation abgebrochen."),
                  kCannotDelete = "Folgende Datei kann nicht gelöscht werden:\n",
                  kNotFound = "Der Registry-Key des zu deinstallierenden Tastaturtreibers wurde nicht gefunden.\n"
                              "Treiber: " DISPLAY "\nKey: ";

static std::string Slashed(const char* path, bool ok) { return ok ? std::string(path) + "\\" : ""; }
static std::string ShellPath(int csidl)
{
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
    return path;
}
bool Is64BitWindows()
{
    BOOL wow = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow) && wow;
}
std::string SystemDir()
{
    char path[MAX_PATH];
    return Slashed(path, GetSystemDirectoryA(path, MAX_PATH));
}
std::string Wow64Dir()
{
    char path[MAX_PATH];
    return Slashed(path, Is64BitWindows() && GetSystemWow64DirectoryA(path, MAX_PATH));
}
std::string TempDir()
{
    char path[MAX_PATH];
    return GetTempPathA(MAX_PATH, path) ? path : "";
}
std::string ProgramFolder() { return ShellPath(CSIDL_PROGRAM_FILES) + "\\Morvain"; }
std::string InstalledExe() { return ProgramFolder() + "\\Uninstall_Quorvex.exe"; }
std::string Shortcut(bool common)
{
    return ShellPath(common ? CSIDL_COMMON_DESKTOPDIRECTORY : CSIDL_DESKTOPDIRECTORY) +
           "\\Tastaturbelegung E1 (V3.11) Schaubild.lnk";
}
std::string LayoutPath(const std::string& key) { return std::string(kLayoutsPath) + "\\" + key; }

// The full paths matching the pattern in folder, "." and ".." left out.
static std::vector<std::string> Found(const std::string& folder, const char* pattern, bool directoriesOnly)
{
    std::vector<std::string> paths;
    WIN32_FIND_DATAA data;
    UniqueFind find(FindFirstFileA((folder + pattern).c_str(), &data));
    for (BOOL more = bool(find); more; more = FindNextFileA(find.get(), &data))
        if (strcmp(data.cFileName, ".") && strcmp(data.cFileName, "..") &&
            (!directoriesOnly || data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            paths.push_back(folder + data.cFileName);
    std::sort(paths.begin(), paths.end());
    return paths;
}
std::vector<std::string> CopyDirs() { return Found(TempDir(), "Uninstall_Quorvex.*", true); }

std::string PendingRenames()
{
    std::vector<char> data(65536);
    DWORD size = static_cast<DWORD>(data.size());
    return RegGetValueA(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ,
                        nullptr, data.data(), &size) ? "" : std::string(data.data(), size);
}

bool PendingDeletion(const std::string& dir)
{
    auto lower = [](std::string s) {  // the text holds zeros, which CharLowerA would stop at
        std::transform(s.begin(), s.end(), s.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; });
        return s;
    };
    const std::string pending = lower(PendingRenames()), entry = "\\??\\" + lower(dir), end(2, '\0');
    const size_t file = pending.find(entry + "\\uninstall_quorvex.exe" + end);
    return file != std::string::npos && pending.find(entry + end, file) != std::string::npos;
}

void ClearCopies()
{
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations");
    for (const std::string& dir : CopyDirs())
        RemoveTree(dir);
}

::testing::AssertionResult OnlyForAdministrators(const std::string& path)
{
    // Wine keeps no owner and no protection flag: it maps the DACL onto the
    // Unix permissions and reads back the owning user in the Administrators'
    // place. What it does show: SYSTEM and the owner, nobody else.
    PSECURITY_DESCRIPTOR sd = nullptr;
    char* text = nullptr;
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, what, nullptr, nullptr, nullptr, nullptr, &sd) == 0)
        ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, what, &text, nullptr);
    const std::string got = text ? text : "<none>", owner = got.substr(0, got.find("D:"));
    LocalFree(text);
    LocalFree(sd);
    if (got == "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)" ||
        (owner.size() > 2 && got == owner + "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;" + owner.substr(2) + ")"))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << path << ": " << got;
}

void PutFile(const std::string& path, const std::string& content)
{
    NoRedirection guard;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::ofstream(path, std::ios::binary) << content;
    ASSERT_TRUE(GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) << path;
}
bool FileThere(const std::string& path)
{
    NoRedirection guard;
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
std::string Content(const std::string& path)
{
    NoRedirection guard;
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
void RemoveTree(const std::string& path)
{
    NoRedirection guard;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileA(path.c_str()))
        return;
    for (const std::string& inside : Found(path + "\\", "*", false))
        RemoveTree(inside);
    RemoveDirectoryA(path.c_str());
}

UniqueFile MakeStubborn(Stubborn how, const std::string& path)
{
    NoRedirection guard;
    if (how == kHeldOpen)
        return UniqueFile(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (how == kReadOnly)
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    else
        RemoveTree(path), CreateDirectoryA(path.c_str(), nullptr);
    return UniqueFile();
}

static UniqueKey Open(HKEY root, const std::string& path, REGSAM access = KEY_READ)
{
    HKEY key = nullptr;
    return UniqueKey(RegOpenKeyExA(root, path.c_str(), 0, access, &key) == 0 ? key : nullptr);
}
static UniqueKey Create(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0) << path;
    return UniqueKey(key);
}
bool KeyThere(HKEY root, const std::string& path) { return bool(Open(root, path)); }
void RemoveKey(HKEY root, const std::string& path)
{
    RegDeleteTreeA(root, path.c_str());
    RegDeleteKeyA(root, path.c_str());
}

Values Read(HKEY root, const std::string& path)
{
    Values values;
    UniqueKey key = Open(root, path);
    static char name[16384], data[65536];
    for (DWORD i = 0, n = sizeof name, size = sizeof data;
         key && RegEnumValueA(key.get(), i, name, &n, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) == 0;
         ++i, n = sizeof name, size = sizeof data)
        values.emplace_back(name, std::string(data, strnlen(data, size)));
    return values;
}

std::string List(HKEY root, const std::string& path)
{
    Values values = Read(root, path);
    std::sort(values.begin(), values.end(), [](const auto& a, const auto& b) {
        return a.first.size() != b.first.size() ? a.first.size() < b.first.size()
                                                : _stricmp(a.first.c_str(), b.first.c_str()) < 0;
    });
    std::string out;
    for (const auto& [n, d] : values)
        out += (out.empty() ? "" : " ") + n + "=" + d;
    return KeyThere(root, path) ? out : "<none>";
}

void PutValue(HKEY root, const std::string& path, const std::string& name, const std::string& bytes, DWORD type)
{
    const std::string data = type == REG_SZ ? bytes + '\0' : bytes;
    EXPECT_EQ(RegSetValueExA(Create(root, path).get(), name.c_str(), 0, type,
                             reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size())), 0) << name;
}

void WriteValues(HKEY root, const std::string& path, const Values& values)
{
    RemoveKey(root, path);
    Create(root, path);
    for (const auto& [name, data] : values)
        PutValue(root, path, name, data);
}

std::string Subkeys(HKEY root, const std::string& path)
{
    std::vector<std::string> names;
    UniqueKey key = Open(root, path);
    char name[1024];
    for (DWORD i = 0, size = sizeof name;
         key && RegEnumKeyExA(key.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr) == 0; ++i, size = sizeof name)
        names.push_back(name);
    std::sort(names.begin(), names.end());
    std::string out;
    for (const std::string& n : names)
        out += " " + n;
    return out;
}

void SetKeyDacl(HKEY root, const std::string& path, const char* sddl)
{
    PSECURITY_DESCRIPTOR sd = nullptr;
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr) &&
                RegSetKeySecurity(Open(root, path, WRITE_DAC).get(), DACL_SECURITY_INFORMATION, sd) == 0) << path;
    LocalFree(sd);
}

void InstallProduct()
{
    ClearCopies();
    RemoveKey(HKEY_LOCAL_MACHINE, kLayoutsPath);
    PutValue(HKEY_LOCAL_MACHINE, LayoutPath(kKey), "Layout File", "Quorvex.DLL");
    PutValue(HKEY_LOCAL_MACHINE, LayoutPath(kKey), "Layout Text", "Deutsch (DIN E1, Treiber V3.11)");
    PutValue(HKEY_LOCAL_MACHINE, LayoutPath(kKey), "Layout Id", "00c1");
    PutValue(HKEY_LOCAL_MACHINE, LayoutPath("00000407"), "Layout File", "KBDGR.DLL");
    PutValue(HKEY_LOCAL_MACHINE, LayoutPath("00000409"), "Layout File", "KBDUS.DLL");
    WriteValues(HKEY_CURRENT_USER, kPreloadPath, {{"1", "00000407"}, {"2", "d0010407"}});
    WriteValues(HKEY_CURRENT_USER, kSubstitutesPath, {{"d0010407", kKey}});
    RemoveTree(SystemDir() + "Quorvex.DLL");
    PutFile(SystemDir() + "Quorvex.DLL", "driver");
    if (Is64BitWindows())
        PutFile(Wow64Dir() + "Quorvex.DLL", "driver32");
    RemoveTree(ProgramFolder());
    CreateDirectoryA(ProgramFolder().c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(PROGRAM_EXE, InstalledExe().c_str(), FALSE)) << PROGRAM_EXE;
    PutFile(ProgramFolder() + "\\" + kHelperFiles[1], "%PDF-1.4 chart");
    PutFile(ProgramFolder() + "\\" + kHelperFiles[2], "icon");
    for (bool common : {false, true}) {
        RemoveTree(Shortcut(common));
        PutFile(Shortcut(common), "shortcut");
    }
    const std::string entry = std::string(kUninstallPath) + "\\" + kEntry;
    RemoveKey(HKEY_LOCAL_MACHINE, entry);
    PutValue(HKEY_LOCAL_MACHINE, entry, "DisplayName", "Tastaturbelegung DIN E1 (Treiber V3.11)");
    PutValue(HKEY_LOCAL_MACHINE, entry, "UninstallString", "\"" + InstalledExe() + "\" " + kKey);
}

std::string ProductLeft()
{
    const std::string folder = ProgramFolder() + "\\";
    const std::pair<const char*, std::string> parts[] = {
        {"driver", SystemDir() + "Quorvex.DLL"}, {"driver32", Wow64Dir().empty() ? "<none>" : Wow64Dir() + "Quorvex.DLL"},
        {"exe", folder + kHelperFiles[0]}, {"pdf", folder + kHelperFiles[1]}, {"ico", folder + kHelperFiles[2]},
        {"folder", ProgramFolder()}, {"desktop", Shortcut(false)}, {"common", Shortcut(true)},
        {"entry", std::string(kUninstallPath) + "\\" + kEntry}};
    std::string left;
    for (const auto& [name, path] : parts)
        if (name == parts[8].first ? KeyThere(HKEY_LOCAL_MACHINE, path) : FileThere(path))
            left += std::string(left.empty() ? "" : " ") + name;
    return left;
}

std::string Machine()
{
    return "Preload: " + List(HKEY_CURRENT_USER, kPreloadPath) + "\nSubstitutes: " +
           List(HKEY_CURRENT_USER, kSubstitutesPath) + "\nLayouts:" + Subkeys(HKEY_LOCAL_MACHINE, kLayoutsPath) +
           "\nProduct: " + ProductLeft();
}

RobotRun RunInstalled(const std::string& args, const std::vector<std::string>& answers, const std::string& environment,
                      const std::string& exe)
{
    RobotOptions options;
    options.commandLine = "\"" + exe + "\" " + args;
    options.applicationName = exe;
    options.answers = answers;
    options.statusClass = "Uninstall_Quorvex";
    options.environment = environment;
    options.timeoutMs = 30000;
    return RunWithRobot(options);
}

::testing::AssertionResult CleanEnd(const RobotRun& run)
{
    bool clean = run.started && !run.timedOut && run.exitCode == 0;
    for (unsigned long code : run.otherExitCodes)
        clean = clean && code == 0;
    return clean ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << DescribeRun(run);
}

std::string Shown(const std::vector<RobotBox>& boxes)
{
    std::string out;
    for (const RobotBox& b : boxes)
        out += b.caption + "|" + b.buttons + "|" + b.text + "\n";
    return out;
}
std::string Ok(const std::string& text) { return "Uninstall_Quorvex|ok|" + text + "\n"; }
std::string Ask(const std::string& text) { return "Uninstall_Quorvex|yes,no|" + text + "\n"; }
std::string FileBox(const std::string& text) { return "Tastaturtreiber-Deinstallation|ok|" + text + "\n"; }
std::string ErrorText(DWORD code) { return DescribeWindowsError(code); }

// "--install" lays the complete installation and ends: the demonstration and
// the benchmark use the very installation the tests use.
[[maybe_unused]] static const bool kInstallOnly = [] {
    if (strstr(GetCommandLineA(), " --install") == nullptr)
        return false;
    InstallProduct();
    ExitProcess(::testing::UnitTest::GetInstance()->ad_hoc_test_result().Failed() ? 1 : 0);
}();
