#include "support.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

const char kKey[] = "E0010407";
const char kEntryName[] = "Tastaturbelegung DIN E1 (Treiber V3.11 \"Selvarin\")";
const char* const kHelperFiles[3] = {"Uninstall_Quorvex.exe", "Tastaturbelegung E1 (V3.11) Schaubild.pdf",
                                     "Tastaturbelegung E1 (V3.11) Schaubild.ico"};
const char kLayoutsPath[] = "System\\CurrentControlSet\\Control\\Keyboard Layouts";
const char kPreloadPath[] = "Keyboard Layout\\Preload";
const char kSubstitutesPath[] = "Keyboard Layout\\Substitutes";
const char kUninstallPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::string kQuestion = Ask("Soll folgender Tastatur-Treiber deinstalliert werden?\n\n" DISPLAY),
                  kDone = Ok("Folgender Tastatur-Treiber wurde deinstalliert:\n" DISPLAY),
                  kCancelled = Ok("Deinstallation abgebrochen.");
static const char kShortcut[] = "\\Tastaturbelegung E1 (V3.11) Schaubild.lnk";

NoRedirection::NoRedirection() : off(Wow64DisableWow64FsRedirection(&old)) {}
NoRedirection::~NoRedirection()
{
    if (off)
        Wow64RevertWow64FsRedirection(old);
}

namespace {

std::string ShellPath(int csidl, bool slash = true)
{
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
    return std::string(path) + (slash ? "\\" : "");
}

} // namespace

bool Is64BitWindows()
{
    BOOL wow = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow);
    return wow != FALSE;
}

std::string SystemDir()
{
    char path[MAX_PATH];
    GetSystemDirectoryA(path, MAX_PATH);
    return std::string(path) + "\\";
}

std::string Wow64Dir()
{
    char path[MAX_PATH];
    return Is64BitWindows() && GetSystemWow64DirectoryA(path, MAX_PATH) ? std::string(path) + "\\" : "";
}

std::string ProgramFolder() { return ShellPath(CSIDL_PROGRAM_FILES) + "Morvain"; }
std::string Shortcut(bool common)
{
    return ShellPath(common ? CSIDL_COMMON_DESKTOPDIRECTORY : CSIDL_DESKTOPDIRECTORY, false) + kShortcut;
}
std::string InstalledExe() { return ProgramFolder() + "\\Uninstall_Quorvex.exe"; }
std::vector<std::string> CopyDirs()
{
    std::vector<std::string> dirs;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((TempDir() + "Uninstall_Quorvex.*").c_str(), &data);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &data))
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            dirs.push_back(TempDir() + data.cFileName);
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
    std::sort(dirs.begin(), dirs.end());
    return dirs;
}

std::string Descriptor(const std::string& path)
{
    PSECURITY_DESCRIPTOR sd = nullptr;
    char* text = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr, &sd) != ERROR_SUCCESS)
        return "<none>";
    ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1,
                                                         OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                                         &text, nullptr);
    std::string result = text != nullptr ? text : "<unreadable>";
    LocalFree(text);
    LocalFree(sd);
    return result;
}

void SetKeyDacl(HKEY root, const std::string& path, const char* dacl)
{
    HKEY key = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_EQ(RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC, &key), 0) << path;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(dacl, SDDL_REVISION_1, &sd, nullptr));
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd), 0);
    LocalFree(sd);
    RegCloseKey(key);
}

std::string KeyDacl(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, READ_CONTROL, &key) != ERROR_SUCCESS)
        return "<none>";
    std::vector<char> sd(4096);
    DWORD size = static_cast<DWORD>(sd.size());
    char* text = nullptr;
    if (RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, sd.data(), &size) == ERROR_SUCCESS)
        ConvertSecurityDescriptorToStringSecurityDescriptorA(sd.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                             &text, nullptr);
    RegCloseKey(key);
    std::string result = text != nullptr ? text : "<unreadable>";
    LocalFree(text);
    return result;
}

std::string TempDir()
{
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, path);
    return path;
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
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &data))
        if (strcmp(data.cFileName, ".") != 0 && strcmp(data.cFileName, "..") != 0)
            RemoveTree(path + "\\" + data.cFileName);
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
    RemoveDirectoryA(path.c_str());
}

std::string List(HKEY root, const std::string& path)
{
    Values values;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "<none>";
    static char name[16384], data[65536];
    for (DWORD i = 0, n = sizeof name, size = sizeof data - 1, type = 0;
         RegEnumValueA(key, i, name, &n, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS;
         ++i, n = sizeof name, size = sizeof data - 1) {
        data[size] = 0;
        values.emplace_back(name, type == REG_SZ ? std::string(data) : "<type " + std::to_string(type) + ">");
    }
    RegCloseKey(key);
    std::sort(values.begin(), values.end(),
              [](const auto& a, const auto& b) { return _stricmp(a.first.c_str(), b.first.c_str()) < 0; });
    std::string out;
    for (const auto& [n, d] : values)
        out += (out.empty() ? "" : " ") + n + "=" + d;
    return out;
}

bool KeyThere(HKEY root, const std::string& path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void RemoveKey(HKEY root, const std::string& path)
{
    RegDeleteTreeA(root, path.c_str());
    RegDeleteKeyA(root, path.c_str());
}

void PutValue(HKEY root, const std::string& path, const std::string& name, const std::string& bytes, DWORD type)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
    std::string data = type == REG_SZ ? bytes + '\0' : bytes;
    EXPECT_EQ(RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())), 0) << name;
    RegCloseKey(key);
}

void WriteValues(HKEY root, const std::string& path, const Values& values)
{
    RemoveKey(root, path);
    HKEY key;
    RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegCloseKey(key);
    for (const auto& [name, data] : values)
        PutValue(root, path, name, data);
}

std::vector<std::string> SubkeyNames(HKEY root, const std::string& path)
{
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {"<none>"};
    char name[1024];
    for (DWORD i = 0, size = sizeof name;
         RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, size = sizeof name)
        names.push_back(name);
    RegCloseKey(key);
    std::sort(names.begin(), names.end());
    return names;
}

static std::string Joined(const std::vector<std::string>& names, const char* between)
{
    std::string out;
    for (const std::string& n : names)
        out += (out.empty() ? "" : between) + n;
    return out;
}

std::string Subkeys(HKEY root, const std::string& path) { return Joined(SubkeyNames(root, path), " "); }

static const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";

std::string PendingRenames()
{
    HKEY key;
    std::string result;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return result;
    std::vector<char> data(65536);
    DWORD size = static_cast<DWORD>(data.size());
    if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS)
        result.assign(data.data(), size);
    RegCloseKey(key);
    return result;
}

::testing::AssertionResult OnlyForAdministrators(const std::string& path)
{
    // Wine keeps no owner and no protection flag: it maps the DACL onto the
    // Unix permissions and reads back the owning user in the Administrators'
    // place. What it does show: SYSTEM and one grant more, nobody else.
    HANDLE token = nullptr;
    char buffer[256];
    DWORD size = 0;
    char* user = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size))
        ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &user);
    CloseHandle(token);
    const std::string u = user != nullptr ? user : "?", got = Descriptor(path),
                      wine = "O:" + u + "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;" + u + ")";
    LocalFree(user);
    if (got == "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)" || got == wine)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << path << ": " << got;
}

bool PendingDeletion(const std::string& dir)
{
    auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; });
        return s;
    };
    const std::string pending = lower(PendingRenames()), entry = "\\??\\" + lower(dir);
    const size_t file = pending.find(entry + "\\uninstall_quorvex.exe" + std::string(2, '\0'));
    return file != std::string::npos && pending.find(entry + std::string(2, '\0'), file) != std::string::npos;
}

void ClearCopies()
{
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations");
    for (const std::string& dir : CopyDirs())
        RemoveTree(dir);
}

void InstallProduct()
{
    ClearCopies();
    RemoveKey(HKEY_LOCAL_MACHINE, kLayoutsPath);
    const std::string layouts = std::string(kLayoutsPath) + "\\";
    PutValue(HKEY_LOCAL_MACHINE, layouts + kKey, "Layout File", "Quorvex.DLL");
    PutValue(HKEY_LOCAL_MACHINE, layouts + kKey, "Layout Text", "Deutsch (DIN E1, Treiber V3.11)");
    PutValue(HKEY_LOCAL_MACHINE, layouts + kKey, "Layout Id", "00c1");
    PutValue(HKEY_LOCAL_MACHINE, layouts + "00000407", "Layout File", "KBDGR.DLL");
    PutValue(HKEY_LOCAL_MACHINE, layouts + "00000409", "Layout File", "KBDUS.DLL");
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
    const std::string entry = std::string(kUninstallPath) + "\\" + kEntryName;
    RemoveKey(HKEY_LOCAL_MACHINE, entry);
    PutValue(HKEY_LOCAL_MACHINE, entry, "DisplayName", "Tastaturbelegung DIN E1 (Treiber V3.11)");
    PutValue(HKEY_LOCAL_MACHINE, entry, "UninstallString", "\"" + InstalledExe() + "\" " + kKey);
}

std::string Lists()
{
    std::vector<std::string> others = SubkeyNames(HKEY_LOCAL_MACHINE, kUninstallPath);
    others.erase(std::remove(others.begin(), others.end(), kEntryName), others.end());
    return "Preload: " + List(HKEY_CURRENT_USER, kPreloadPath) + "\nSubstitutes: " +
           List(HKEY_CURRENT_USER, kSubstitutesPath) + "\nLayouts: " + Subkeys(HKEY_LOCAL_MACHINE, kLayoutsPath) +
           "\nOther entries: " + Joined(others, ", ") + "\n";
}

std::string ProductLeft()
{
    const std::string folder = ProgramFolder() + "\\";
    const std::pair<const char*, std::string> parts[] = {
        {"driver", SystemDir() + "Quorvex.DLL"},
        {"driver32", Is64BitWindows() ? Wow64Dir() + "Quorvex.DLL" : "<none>"},
        {"exe", folder + kHelperFiles[0]}, {"pdf", folder + kHelperFiles[1]},
        {"ico", folder + kHelperFiles[2]}, {"folder", ProgramFolder()},
        {"desktop", Shortcut(false)}, {"common", Shortcut(true)}};
    std::string left;
    for (const auto& [name, path] : parts)
        if (FileThere(path))
            left += std::string(left.empty() ? "" : " ") + name;
    if (KeyThere(HKEY_LOCAL_MACHINE, std::string(kUninstallPath) + "\\" + kEntryName))
        left += left.empty() ? "entry" : " entry";
    return left;
}

std::string Machine() { return Lists() + "Product: " + ProductLeft(); }

RobotRun Launch(const std::string& exe, const std::string& args, const std::vector<std::string>& answers,
             const std::string& environment)
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

std::string ExpectedErrorText(DWORD code)
{
    char* system = nullptr;
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0x400, reinterpret_cast<char*>(&system), 0, nullptr);
    std::string text = "Windows-Errorcode " + std::to_string(static_cast<int>(code));
    if (system != nullptr)
        text += ":\n" + std::string(system);
    LocalFree(system);
    if (code == ERROR_ACCESS_DENIED)
        text += " (übliche Ursache: Datei vorhanden, aber anderswo geöffnet, oder Zugriff durch "
                "System oder Sicherheitssoftware blockiert)";
    return text;
}

// "--install" lays the complete installation and ends: the demonstration and
// the benchmark use the very installation the tests use.
[[maybe_unused]] static const bool kInstallOnly = [] {
    if (strstr(GetCommandLineA(), " --install") == nullptr)
        return false;
    InstallProduct();
    ExitProcess(::testing::UnitTest::GetInstance()->ad_hoc_test_result().Failed() ? 1 : 0);
}();
