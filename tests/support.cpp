#include "support.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>

const char kKey[] = "E0010407";
const char kEntryName[] = "Tastaturbelegung DIN E1 (Treiber V3.11 \"Selvarin\")";
const char kShortcut[] = "Tastaturbelegung E1 (V3.11) Schaubild.lnk";
const char* const kHelperFiles[3] = {"Uninstall_Quorvex.exe",
                                     "Tastaturbelegung E1 (V3.11) Schaubild.pdf",
                                     "Tastaturbelegung E1 (V3.11) Schaubild.ico"};
const char kLayoutsPath[] = "System\\CurrentControlSet\\Control\\Keyboard Layouts";
const char kPreloadPath[] = "Keyboard Layout\\Preload";
const char kSubstitutesPath[] = "Keyboard Layout\\Substitutes";
const char kUninstallPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kProgramCaption[] = "Uninstall_Quorvex";
const char kFileCaption[] = "Tastaturtreiber-Deinstallation";

namespace {

// Paths as the program sees them, with redirection off.
struct NoRedirection {
    void* old = nullptr;
    BOOL off;
    NoRedirection() : off(Wow64DisableWow64FsRedirection(&old)) {}
    ~NoRedirection()
    {
        if (off)
            Wow64RevertWow64FsRedirection(old);
    }
};

std::string ShellFolder(int csidl)
{
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
    return path;
}

std::string WithSlash(std::string s)
{
    if (!s.empty() && s.back() != '\\')
        s += '\\';
    return s;
}

bool LessNoCase(const std::pair<std::string, std::string>& a,
                const std::pair<std::string, std::string>& b)
{
    return _stricmp(a.first.c_str(), b.first.c_str()) < 0;
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
    return WithSlash(path);
}

std::string Wow64Dir()
{
    char path[MAX_PATH];
    if (!Is64BitWindows() || GetSystemWow64DirectoryA(path, MAX_PATH) == 0)
        return "";
    return WithSlash(path);
}

std::string ProgramFolder() { return ShellFolder(CSIDL_PROGRAM_FILES) + "\\Morvain"; }
std::string UserDesktop() { return WithSlash(ShellFolder(CSIDL_DESKTOPDIRECTORY)); }
std::string CommonDesktop() { return WithSlash(ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY)); }

std::string TempDir()
{
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, path);
    return WithSlash(path);
}

void PutFile(const std::string& path, const std::string& content)
{
    NoRedirection guard;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "cannot write " << path;
    DWORD written = 0;
    WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(h);
}

bool FileThere(const std::string& path)
{
    NoRedirection guard;
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveFile(const std::string& path)
{
    NoRedirection guard;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

void PutDirectory(const std::string& path)
{
    NoRedirection guard;
    CreateDirectoryA(path.c_str(), nullptr);
}

void RemoveTree(const std::string& path)
{
    NoRedirection guard;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

Values ReadValues(HKEY root, const std::string& path)
{
    Values values;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    for (DWORD i = 0;; ++i) {
        char name[16384];
        BYTE data[65536];
        DWORD nameSize = sizeof name, dataSize = sizeof data - 1, type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS)
            break;
        data[dataSize] = 0;
        std::string text = type == REG_SZ ? std::string(reinterpret_cast<char*>(data))
                                          : "<type " + std::to_string(type) + ">";
        values.emplace_back(name, text);
    }
    RegCloseKey(key);
    std::sort(values.begin(), values.end(), LessNoCase);
    return values;
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

void WriteValues(HKEY root, const std::string& path, const Values& values)
{
    RemoveKey(root, path);
    for (const auto& v : values)
        PutValue(root, path, v.first, REG_SZ, v.second + '\0');
    HKEY key;
    RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegCloseKey(key);
}

void PutValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
              const std::string& bytes)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS)
        << name;
    RegCloseKey(key);
}

std::vector<std::string> Subkeys(HKEY root, const std::string& path)
{
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    char name[1024];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    RegCloseKey(key);
    std::sort(names.begin(), names.end());
    return names;
}

std::string CopyPath() { return TempDir() + "Uninstall_Quorvex.exe"; }

std::string PendingRenames()
{
    HKEY key;
    std::string result;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_READ, &key) != ERROR_SUCCESS)
        return result;
    std::vector<char> data(65536);
    DWORD size = static_cast<DWORD>(data.size()), type = 0;
    if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS) {
        // A list of zero-terminated texts: show each on a line.
        for (DWORD i = 0; i < size; ++i)
            result += data[i] != '\0' ? data[i] : '\n';
    }
    RegCloseKey(key);
    return result;
}

static void ClearPendingRenames()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "PendingFileRenameOperations");
        RegCloseKey(key);
    }
}

void InstallProduct()
{
    ClearPendingRenames();
    RemoveFile(CopyPath());
    RemoveTree(TempDir() + "sub");

    RemoveKey(HKEY_LOCAL_MACHINE, kLayoutsPath);
    std::string layout = std::string(kLayoutsPath) + "\\" + kKey;
    PutValue(HKEY_LOCAL_MACHINE, layout, "Layout File", REG_SZ, std::string("Quorvex.DLL") + '\0');
    PutValue(HKEY_LOCAL_MACHINE, layout, "Layout Text", REG_SZ,
             std::string("Deutsch (DIN E1, Treiber V3.11)") + '\0');
    PutValue(HKEY_LOCAL_MACHINE, layout, "Layout Id", REG_SZ, std::string("00c1") + '\0');
    PutValue(HKEY_LOCAL_MACHINE, std::string(kLayoutsPath) + "\\00000407", "Layout File", REG_SZ,
             std::string("KBDGR.DLL") + '\0');
    PutValue(HKEY_LOCAL_MACHINE, std::string(kLayoutsPath) + "\\00000409", "Layout File", REG_SZ,
             std::string("KBDUS.DLL") + '\0');

    WriteValues(HKEY_CURRENT_USER, kPreloadPath, {{"1", "00000407"}, {"2", "d0010407"}});
    WriteValues(HKEY_CURRENT_USER, kSubstitutesPath, {{"d0010407", kKey}});

    RemoveFile(SystemDir() + "Quorvex.DLL");
    PutFile(SystemDir() + "Quorvex.DLL", "driver");
    if (!Wow64Dir().empty())
        PutFile(Wow64Dir() + "Quorvex.DLL", "driver32");

    RemoveTree(ProgramFolder());
    PutDirectory(ProgramFolder());
    {
        NoRedirection guard;
        ASSERT_TRUE(CopyFileA(PROGRAM_EXE, (ProgramFolder() + "\\" + kHelperFiles[0]).c_str(), FALSE))
            << PROGRAM_EXE;
    }
    PutFile(ProgramFolder() + "\\" + kHelperFiles[1], "%PDF-1.4 chart");
    PutFile(ProgramFolder() + "\\" + kHelperFiles[2], "icon");
    PutFile(UserDesktop() + kShortcut, "shortcut");
    PutFile(CommonDesktop() + kShortcut, "shortcut");

    std::string entry = std::string(kUninstallPath) + "\\" + kEntryName;
    RemoveKey(HKEY_LOCAL_MACHINE, entry);
    PutValue(HKEY_LOCAL_MACHINE, entry, "DisplayName", REG_SZ,
             std::string("Tastaturbelegung DIN E1 (Treiber V3.11)") + '\0');
    PutValue(HKEY_LOCAL_MACHINE, entry, "UninstallString", REG_SZ,
             "\"" + ProgramFolder() + "\\Uninstall_Quorvex.exe\" " + kKey + '\0');
}

RobotRun RunFrom(const std::string& exePath, const std::string& args,
                 const std::vector<std::string>& answers, const std::string& environment)
{
    RobotOptions options;
    options.commandLine = "\"" + exePath + "\" " + args;
    options.applicationName = exePath;
    options.answers = answers;
    options.statusClass = "Uninstall_Quorvex";
    options.environment = environment;
    options.timeoutMs = 30000;
    return RunWithRobot(options);
}

RobotRun RunInstalled(const std::string& args, const std::vector<std::string>& answers,
                      const std::string& environment)
{
    return RunFrom(ProgramFolder() + "\\Uninstall_Quorvex.exe", args, answers, environment);
}

bool MachineState::operator==(const MachineState& o) const
{
    return preload == o.preload && substitutes == o.substitutes && layouts == o.layouts &&
           uninstallEntries == o.uninstallEntries && driver == o.driver &&
           driver32 == o.driver32 && folder == o.folder && helpers == o.helpers &&
           userShortcut == o.userShortcut && commonShortcut == o.commonShortcut;
}

MachineState Capture()
{
    MachineState s;
    s.preload = ReadValues(HKEY_CURRENT_USER, kPreloadPath);
    s.substitutes = ReadValues(HKEY_CURRENT_USER, kSubstitutesPath);
    s.layouts = Subkeys(HKEY_LOCAL_MACHINE, kLayoutsPath);
    s.uninstallEntries = Subkeys(HKEY_LOCAL_MACHINE, kUninstallPath);
    s.driver = FileThere(SystemDir() + "Quorvex.DLL");
    s.driver32 = !Wow64Dir().empty() && FileThere(Wow64Dir() + "Quorvex.DLL");
    s.folder = FileThere(ProgramFolder());
    for (const char* name : kHelperFiles)
        s.helpers.push_back(FileThere(ProgramFolder() + "\\" + name));
    s.userShortcut = FileThere(UserDesktop() + kShortcut);
    s.commonShortcut = FileThere(CommonDesktop() + kShortcut);
    return s;
}

std::string Describe(const MachineState& s)
{
    std::string out = "Preload:";
    for (const auto& v : s.preload)
        out += " " + v.first + "=" + v.second;
    out += "\nSubstitutes:";
    for (const auto& v : s.substitutes)
        out += " " + v.first + "=" + v.second;
    out += "\nLayouts:";
    for (const auto& k : s.layouts)
        out += " " + k;
    out += "\nUninstall entries: " + std::to_string(s.uninstallEntries.size());
    out += "\ndriver " + std::to_string(s.driver) + ", driver32 " + std::to_string(s.driver32) +
           ", folder " + std::to_string(s.folder) + ", helpers";
    for (bool h : s.helpers)
        out += " " + std::to_string(h);
    out += ", shortcuts " + std::to_string(s.userShortcut) + " " + std::to_string(s.commonShortcut);
    return out;
}

std::string SystemText(DWORD code)
{
    char* text = nullptr;
    DWORD n = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&text), 0,
        nullptr);
    std::string result = n != 0 && text != nullptr ? text : "";
    if (text != nullptr)
        LocalFree(text);
    return result;
}

std::string ExpectedErrorText(DWORD code)
{
    std::string first = "Windows-Errorcode " + std::to_string(static_cast<int>(code));
    std::string system = SystemText(code);
    std::string text = system.empty() ? first : first + ":\n" + system;
    if (code == ERROR_ACCESS_DENIED)
        text += " (übliche Ursache: Datei vorhanden, aber anderswo geöffnet, oder Zugriff durch "
                "System oder Sicherheitssoftware blockiert)";
    return text;
}

void ExpectBoxes(const RobotRun& run, const std::vector<Box>& expected)
{
    ASSERT_EQ(run.boxes.size(), expected.size()) << DescribeRun(run);
    for (size_t i = 0; i < expected.size(); ++i) {
        const RobotBox& seen = run.boxes[i];
        EXPECT_EQ(seen.caption, expected[i].caption) << "box " << i;
        if (expected[i].prefixOnly)
            EXPECT_EQ(seen.text.substr(0, strlen(expected[i].text)), expected[i].text)
                << "box " << i << ": " << seen.text;
        else
            EXPECT_EQ(seen.text, expected[i].text) << "box " << i;
        EXPECT_EQ(seen.buttons, expected[i].buttons) << "box " << i;
    }
}

void ExpectCleanEnd(const RobotRun& run)
{
    EXPECT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut) << DescribeRun(run);
    EXPECT_EQ(run.exitCode, 0u);
    for (unsigned long code : run.otherExitCodes)
        EXPECT_EQ(code, 0u) << DescribeRun(run);
}
