// What the tests share: the machine as the program sees it, one complete installation, stubborn files, and runs of
// the real program under the robot. Texts are UTF-8, converted at each wide call (Utf16 and Utf8, robot.h).
#pragma once
#include <windows.h>

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>
#include <shlobj.h>
#include <tlhelp32.h>
#undef CreateStatusWindow  // the shell headers' macro would rename the program's function

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "frame/handle.h"
#include "frame/message_box.h"
#include "robot.h"
#include "uninstall/other_users.h"

#define DISPLAY "DIN E1 (Treiber V3.11 \"Selvarin\")"
inline const char kKey[] = "E0010407", kEntry[] = "Tastaturbelegung DIN E1 (Treiber V3.11 \"Selvarin\")",
                  kLayoutsPath[] = "System\\CurrentControlSet\\Control\\Keyboard Layouts",
                  kPreloadPath[] = "Keyboard Layout\\Preload", kSubstitutesPath[] = "Keyboard Layout\\Substitutes",
                  kUninstallPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                  kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
inline const char* const kHelperFiles[3] = {"Uninstall_Quorvex.exe", "Tastaturbelegung E1 (V3.11) Schaubild.pdf",
                                            "Tastaturbelegung E1 (V3.11) Schaubild.ico"};
const HKEY kUser = HKEY_CURRENT_USER, kMachine = HKEY_LOCAL_MACHINE;

// The boxes seen, each as "caption|buttons|text\n"; the expected ones built alike.
inline std::string Shown(const std::vector<RobotBox>& boxes)
{
    std::string out;
    for (const RobotBox& box : boxes) out += box.caption + "|" + box.buttons + "|" + box.text + "\n";
    return out;
}
// Information and warning boxes, questions, the file operations' boxes.
inline std::string Ok(const std::string& text) { return "Uninstall_Quorvex|ok|" + text + "\n"; }
inline std::string Ask(const std::string& text) { return "Uninstall_Quorvex|yes,no|" + text + "\n"; }
inline std::string FileBox(const std::string& text) { return "Tastaturtreiber-Deinstallation|ok|" + text + "\n"; }
inline std::string ErrorText(DWORD code) { return DescribeWindowsError(code); }  // the program's own, checked apart
inline const std::string kQuestion = Ask("Soll folgender Tastatur-Treiber deinstalliert werden?\n\n" DISPLAY),
                         kDone = Ok("Folgender Tastatur-Treiber wurde deinstalliert:\n" DISPLAY),
                         kCancelled = Ok("Deinstallation abgebrochen."),
                         kCannotDelete = "Folgende Datei kann nicht gelöscht werden:\n",
                         kNotFound = "Der Registry-Key des zu deinstallierenden Tastaturtreibers wurde nicht "
                                     "gefunden.\nTreiber: " DISPLAY "\nKey: ";

// Folders with a backslash; the WOW64 one "" on 32-bit Windows.
inline std::string WindowsFolder(UINT(WINAPI* get)(LPWSTR, UINT))
{
    wchar_t path[MAX_PATH];
    return get(path, MAX_PATH) ? Utf8(path) + "\\" : "";
}
inline std::string SystemDir() { return WindowsFolder(GetSystemDirectoryW); }
inline std::string Wow64Dir()
{
    BOOL wow = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow) && wow ? WindowsFolder(GetSystemWow64DirectoryW) : "";
}
inline std::string TempDir() { wchar_t path[MAX_PATH]; return GetTempPathW(MAX_PATH, path) ? Utf8(path) : ""; }
inline std::string ShellFolder(int csidl)
{
    wchar_t path[MAX_PATH] = L""; SHGetFolderPathW(nullptr, csidl, nullptr, 0, path);
    return Utf8(path);
}
inline std::string ProgramFolder() { return ShellFolder(CSIDL_PROGRAM_FILES) + "\\Morvain"; }
inline std::string InstalledExe() { return ProgramFolder() + "\\Uninstall_Quorvex.exe"; }
inline std::string Shortcut(bool common)  // the chart's, on the user's or the common desktop
{
    return ShellFolder(common ? CSIDL_COMMON_DESKTOPDIRECTORY : CSIDL_DESKTOPDIRECTORY) +
           "\\Tastaturbelegung E1 (V3.11) Schaubild.lnk";
}
inline std::string LayoutPath(const std::string& key) { return std::string(kLayoutsPath) + "\\" + key; }
inline std::string EntryPath() { return std::string(kUninstallPath) + "\\" + kEntry; }

// Files with WOW64 redirection off, so that paths mean what the program sees.
struct NoRedirection {
    void* old = nullptr;
    BOOL off = Wow64DisableWow64FsRedirection(&old);
    ~NoRedirection() { off && Wow64RevertWow64FsRedirection(old); }
};
// The full paths matching the pattern in folder, sorted, "." and ".." left out.
inline std::vector<std::string> Found(const std::string& folder, const char* pattern, bool directoriesOnly)
{
    std::vector<std::string> paths;
    WIN32_FIND_DATAW data;
    UniqueFind find(FindFirstFileW(Utf16(folder + pattern).c_str(), &data));
    for (BOOL more = bool(find); more; more = FindNextFileW(find.get(), &data))
        if (wcscmp(data.cFileName, L".") && wcscmp(data.cFileName, L"..") &&
            (!directoriesOnly || data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            paths.push_back(folder + Utf8(data.cFileName));
    std::sort(paths.begin(), paths.end());
    return paths;
}
inline DWORD Attributes(const std::string& path) { return GetFileAttributesW(Utf16(path).c_str()); }
inline void PutFile(const std::string& path, const std::string& content = "x")  // its folder made first
{
    NoRedirection guard;
    SHCreateDirectoryExW(nullptr, Utf16(path.substr(0, path.rfind('\\'))).c_str(), nullptr);
    SetFileAttributesW(Utf16(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    std::ofstream(Utf16(path).c_str(), std::ios::binary) << content;  // libstdc++ takes wide paths on Windows
    ASSERT_TRUE(Attributes(path) != INVALID_FILE_ATTRIBUTES) << path;
}
inline std::string Content(const std::string& path)
{
    NoRedirection guard;
    std::ifstream in(Utf16(path).c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
inline void RemoveTree(const std::string& path)  // a file or a whole folder
{
    NoRedirection guard;
    SetFileAttributesW(Utf16(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileW(Utf16(path).c_str())) return;
    for (const std::string& inside : Found(path + "\\", "*", false)) RemoveTree(inside);
    RemoveDirectoryW(Utf16(path).c_str());
}
// A Unix symbolic link at link (whatever was there removed) to target ("": the link at link removed), laid past Wine as
// a junction or an object-manager link would be on Windows: Wine opens through it, names the target as the final path.
inline void UnixLink(const std::string& target, const std::string& link)
{
    if (!target.empty()) RemoveTree(link);
    const auto unix = reinterpret_cast<char*(CDECL*)(LPCWSTR)>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    const size_t cut = link.rfind('\\');
    const std::string at = unix(Utf16(link.substr(0, cut)).c_str()) + ("/" + link.substr(cut + 1)),
                      to = target.empty() ? at : unix(Utf16(target).c_str());
    long result = -1, call = target.empty() ? 10 : 83;  // Linux's own calls for i386: unlink and symlink
    asm volatile("int $0x80" : "=a"(result) : "a"(call), "b"(to.c_str()), "c"(at.c_str()) : "memory");
    EXPECT_EQ(result, 0) << link;
}
// The ways a file refuses to go: held open without delete sharing (while the
// handle lives), read-only, or a directory in its place.
enum Stubborn { kHeldOpen, kReadOnly, kDirectory };
inline UniqueFile MakeStubborn(Stubborn how, const std::string& path)
{
    NoRedirection guard;
    if (how == kHeldOpen)
        return UniqueFile(CreateFileW(Utf16(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
    if (how == kReadOnly)
        SetFileAttributesW(Utf16(path).c_str(), FILE_ATTRIBUTE_READONLY);
    else
        RemoveTree(path), CreateDirectoryW(Utf16(path).c_str(), nullptr);
    return UniqueFile();
}

// The copies: "Uninstall_Quorvex.*" directories in TEMP, and what waits for the next restart.
inline std::vector<std::string> CopyDirs() { return Found(TempDir(), "Uninstall_Quorvex.*", true); }
inline std::string PendingRenames()
{
    std::wstring data(32768, L'\0');
    DWORD size = 65536;
    return RegGetValueW(kMachine, Utf16(kSessionManager).c_str(), L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ,
                        nullptr, &data[0], &size) ? "" : Utf8(data.substr(0, size / 2));
}
inline std::string Lower(std::string s)  // the text may hold zeros, which CharLowerA would stop at
{
    std::transform(s.begin(), s.end(), s.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; });
    return s;
}
// The copy's file in dir, then dir itself, are marked for deletion at restart.
inline bool PendingDeletion(const std::string& dir)
{
    const std::string pending = Lower(PendingRenames()), entry = "\\??\\" + Lower(dir), end(2, '\0');
    const size_t file = pending.find(entry + "\\uninstall_quorvex.exe" + end);
    return file != std::string::npos && pending.find(entry + end, file) != std::string::npos;
}
inline void ClearCopies()
{
    RegDeleteKeyValueW(kMachine, Utf16(kSessionManager).c_str(), L"PendingFileRenameOperations");
    for (const std::string& dir : CopyDirs()) RemoveTree(dir);
}
// Access for SYSTEM and the Administrators alone, nothing inherited. Wine keeps no owner and no protection flag: it
// maps the DACL onto the Unix permissions and reads back the owning user in the Administrators' place. What it does
// show: SYSTEM and the owner, nobody else.
// Owner and DACL as SDDL, of a file or of a kernel object by its handle; "<none>" when unreadable.
inline std::string Sddl(const std::string& path, HANDLE object = nullptr)
{
    PSECURITY_DESCRIPTOR sd = nullptr; wchar_t* text = nullptr;
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    if ((object ? GetSecurityInfo(object, SE_KERNEL_OBJECT, what, nullptr, nullptr, nullptr, nullptr, &sd)
                : GetNamedSecurityInfoW(Utf16(path).c_str(), SE_FILE_OBJECT, what, nullptr, nullptr, nullptr, nullptr,
                                        &sd)) == 0)
        ConvertSecurityDescriptorToStringSecurityDescriptorW(sd, SDDL_REVISION_1, what, &text, nullptr);
    const std::string got = text ? Utf8(text) : "<none>";
    LocalFree(text); LocalFree(sd);
    return got;
}
inline ::testing::AssertionResult OnlyForAdministrators(const std::string& path)
{
    const std::string got = Sddl(path), owner = got.substr(0, got.find("D:"));
    if (got == "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)" ||
        (owner.size() > 2 && got == owner + "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;" + owner.substr(2) + ")"))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << path << ": " << got;
}

// Registry. Text goes in as UTF-16 with its terminator added; other data as its bytes. Data is read up to its
// first zero, other data's each byte as the character of the same number.
using Values = std::vector<std::pair<std::string, std::string>>;
inline bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }
inline void PutValue(HKEY root, const std::string& path, const std::string& name, const std::string& bytes,
                     DWORD type = REG_SZ)
{
    const std::wstring text = Utf16(bytes) + L'\0';
    const std::string data = IsText(type) ? std::string(reinterpret_cast<const char*>(text.data()), 2 * text.size())
                                          : bytes;
    EXPECT_EQ(RegSetKeyValueW(root, Utf16(path).c_str(), Utf16(name).c_str(), type, data.data(), DWORD(data.size())), 0)
        << path << " " << name;
}
// A key that is a symbolic link to target (below HKLM\System): deleting through it would empty the target, so a
// link goes as itself.
inline void MakeKeyLink(HKEY root, const std::string& path, const std::string& target)
{
    HKEY key = nullptr;
    const std::wstring native = Utf16("\\Registry\\Machine\\" + target);
    EXPECT_EQ(RegCreateKeyExW(root, Utf16(path).c_str(), 0, nullptr, REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr), 0) << path;
    EXPECT_EQ(RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(native.c_str()),
                             DWORD(native.size() * 2)), 0) << path;
    RegCloseKey(key);
}
inline void RemoveKey(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    DWORD type = 0;
    if (RegOpenKeyExW(root, Utf16(path).c_str(), REG_OPTION_OPEN_LINK, DELETE | KEY_QUERY_VALUE, &key) == 0 &&
        RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == 0 && type == REG_LINK)
        reinterpret_cast<LONG(NTAPI*)(HANDLE)>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"ntdll"), "NtDeleteKey")))(key);
    RegCloseKey(key);
    RegDeleteTreeW(root, Utf16(path).c_str()); RegDeleteKeyW(root, Utf16(path).c_str());
}
inline void WriteValues(HKEY root, const std::string& path, const Values& values)  // replaces the key
{
    HKEY key = nullptr;
    RemoveKey(root, path);
    EXPECT_EQ(RegCreateKeyW(root, Utf16(path).c_str(), &key), 0) << path;
    RegCloseKey(key);
    for (const auto& [name, data] : values) PutValue(root, path, name, data);
}
inline UniqueKey Open(HKEY root, const std::string& path, REGSAM access = KEY_READ)
{
    HKEY key = nullptr;
    return UniqueKey(RegOpenKeyExW(root, Utf16(path).c_str(), 0, access, &key) == 0 ? key : nullptr);
}
// "name=data ...", shorter names first, then ignoring case (numbers in order); "<none>" for no key.
inline std::string List(HKEY root, const std::string& path)
{
    Values values;
    UniqueKey key = Open(root, path);
    static wchar_t name[16384], data[32768];
    BYTE* bytes = reinterpret_cast<BYTE*>(data);
    for (DWORD i = 0, n = 16384, size = sizeof data, type = 0;
         key && RegEnumValueW(key.get(), i, name, &n, nullptr, &type, bytes, &size) == 0;
         ++i, n = 16384, size = sizeof data)
        values.emplace_back(Utf8(name), Utf8(IsText(type) ? std::wstring(data, wcsnlen(data, size / 2))
                                                           : std::wstring(bytes, std::find(bytes, bytes + size, 0))));
    std::sort(values.begin(), values.end(), [](const auto& a, const auto& b) {
        return a.first.size() != b.first.size() ? a.first.size() < b.first.size()
                                                : _stricmp(a.first.c_str(), b.first.c_str()) < 0;
    });
    std::string out;
    for (const auto& [n, d] : values)
        out += (out.empty() ? "" : " ") + n + "=" + d;
    return key ? out : "<none>";
}
inline std::string Subkeys(HKEY root, const std::string& path)  // " a b c", sorted
{
    std::vector<std::string> names;
    UniqueKey key = Open(root, path);
    wchar_t name[1024];
    for (DWORD i = 0, size = 1024;
         key && RegEnumKeyExW(key.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr) == 0; ++i, size = 1024)
        names.push_back(Utf8(name));
    std::sort(names.begin(), names.end());
    std::string out;
    for (const std::string& n : names) out += " " + n;
    return out;
}
inline void SetKeyDacl(HKEY root, const std::string& path, const char* sddl)
{
    PSECURITY_DESCRIPTOR sd = nullptr;
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(Utf16(sddl).c_str(), SDDL_REVISION_1, &sd, 0) &&
                RegSetKeySecurity(Open(root, path, WRITE_DAC).get(), DACL_SECURITY_INFORMATION, sd) == 0) << path;
    LocalFree(sd);
}

// The machine's other users, anna's and bert's folders named outside code page 1252: anna logged on, her desktop moved;
// bert not logged on, his hive a file an earlier run left loaded; carl logged on with only our layout; a default
// profile for new accounts, a file too; the logon screen's .DEFAULT. And the current user's language lists.
inline const std::string kAnna = "S-1-5-21-7-7-7-1001\\", kCarl = "S-1-5-21-7-7-7-1003\\",
                         kBert = "S-1-5-21-7-7-7-1002", kLinkTarget = "System\\QuorvexLinkTarget",
                         kLanguages = "Control Panel\\International\\User Profile", kHives[] = {"Ольга", "Default"},
                         kProfiles = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\",
                         kLink = "\\Tastaturbelegung E1 (V3.11) Schaubild.lnk",
                         kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
inline const std::string kUserLinks[] = {"C:\\users\\Łukasz\\Schreibtisch" + kLink,
                                         "C:\\users\\Ольга\\Desktop" + kLink, "C:\\users\\Default\\Desktop" + kLink};
inline const std::pair<HKEY, std::string> kUserLists[] = {
    {HKEY_USERS, kAnna + kPreloadPath}, {HKEY_USERS, kAnna + kSubstitutesPath}, {HKEY_USERS, kAnna + kLanguages},
    {HKEY_USERS, kAnna + kLanguages + "\\de-DE"}, {HKEY_USERS, kCarl + kPreloadPath},
    {HKEY_USERS, kCarl + kSubstitutesPath},
    {HKEY_USERS, ".DEFAULT\\" + std::string(kPreloadPath)}, {HKEY_USERS, ".DEFAULT\\" + std::string(kSubstitutesPath)},
    {kUser, kLanguages + "\\de-DE"}, {kUser, kLanguages + "\\de-CH"}, {kUser, kLanguages + " System Backup\\de-CH"}};
inline std::string gHiveFiles[2];  // the NTUSER.DAT files as laid
inline std::string Dword(DWORD v) { return std::string(reinterpret_cast<const char*>(&v), 4); }
inline void WriteDwords(HKEY root, const std::string& path, const std::vector<std::pair<std::string, DWORD>>& values)
{
    WriteValues(root, path, {});
    for (const auto& [name, number] : values) PutValue(root, path, name, Dword(number), REG_DWORD);
}
// The text-service lists of a hive, as laid or as they must be left: standard layout, ours and a text service under
// 0407, ours alone under 0807, a text service on our layout under 0c07; 0407's default ours; hot keys to ours (one
// beyond the direct-switch ones) and to the standard layout.
inline const std::string kCtf[] = {"Software\\Microsoft\\CTF\\SortOrder", "Software\\Microsoft\\CTF\\Assemblies",
                                   "Control Panel\\Input Method\\Hot Keys"},
                         kBoard = "\\{34745C63-B2F0-4784-8B67-5E12C8701A31}",
                         kNull = "{00000000-0000-0000-0000-000000000000}",
                         kTip = "{C1D2E3F4-0000-4000-8000-00000000000A}";
inline void PutProfile(HKEY root, const std::string& path, const std::string& clsid, DWORD hkl, const char* name)
{
    PutValue(root, path, name, clsid); PutValue(root, path, "Profile", clsid);
    PutValue(root, path, "KeyboardLayout", Dword(hkl), REG_DWORD);
}
inline void LayTextServices(HKEY root, const std::string& hive, bool cleaned = false)
{
    for (const std::string& list : kCtf) RemoveKey(root, hive + list);
    const std::string order = hive + kCtf[0] + "\\AssemblyItem\\0x0000", languages[] = {"0407", "0807", "0c07"};
    int next[3] = {};
    for (const auto& [l, clsid, hkl] : {std::tuple{0, kNull, 0x04070407u}, {0, kNull, 0xF0C00407u}, {0, kTip, 0u},
                                        {1, kNull, cleaned ? 0x04070807u : 0xF0C00807u}, {2, kTip, 0xF0C00C07u}})
        if (!cleaned || hkl >> 16 != 0xF0C0 || clsid != kNull)
            PutProfile(root, order + languages[l] + kBoard + "\\0000000" + std::to_string(next[l]++), clsid, hkl,
                       "CLSID");
    PutProfile(root, hive + kCtf[1] + "\\0x00000407" + kBoard, kNull, cleaned ? 0x04070407 : 0xF0C00407, "Default");
    for (const auto& [key, hkl, goes] : {std::tuple{"\\00000100", 0xF0C00407u, true}, {"\\0000011F", 0xF0C00407u, true},
                                         {"\\00000101", 0x04070407u, false}, {"\\00000120", 0xF0C00407u, false}})
        if (!cleaned || !goes) PutValue(root, hive + kCtf[2] + key, "Target IME", Dword(hkl), REG_BINARY);
}
inline std::string Tree(HKEY root, const std::string& path)  // "{name=data ... sub{...}}"; not text: "type:number"
{
    UniqueKey key = Open(root, path);
    std::string out = key ? "{" : "-";
    wchar_t name[256], data[256];
    for (DWORD i = 0, n = 256, size = 512, type = 0;
         key && RegEnumValueW(key.get(), i, name, &n, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) == 0;
         ++i, n = 256, size = 512) {
        DWORD number = size;  // of other sizes, the size
        if (size == 4) memcpy(&number, data, 4);
        out += Utf8(name) + "=" + (IsText(type) ? Utf8(data) : std::to_string(type) + ":" + std::to_string(number));
        out += " ";
    }
    std::istringstream subkeys(Subkeys(root, path));
    for (std::string sub; subkeys >> sub;) out += sub + Tree(root, path + "\\" + sub);
    return key ? out + "}" : out;
}
inline std::string TextServices(HKEY root, const std::string& hive)
{
    std::string out;
    for (const std::string& list : kCtf) out += Tree(root, hive + list);
    return out + ";";
}
inline std::string TextServicesLaid(bool cleaned)  // as the lists of one hive must read
{
    LayTextServices(kUser, "qvx-want\\", cleaned);
    const std::string out = TextServices(kUser, "qvx-want\\");
    RemoveKey(kUser, "qvx-want");
    return out;
}
inline const std::pair<HKEY, std::string> kServiceHives[] = {{kUser, ""}, {HKEY_USERS, kAnna},
                                                             {HKEY_USERS, ".DEFAULT\\"}};
inline void ClearUsers()
{
    for (const auto& [root, hive] : kServiceHives)
        for (const std::string& list : kCtf) RemoveKey(root, hive + list);
    for (const std::string& hive : {"Quorvex_" + kBert, std::string("Quorvex_Default")}) UnloadUserHive(hive.c_str());
    RemoveKey(HKEY_USERS, kCarl + kPreloadPath);  // a link, maybe
    for (const auto& [root, key] : {std::pair{HKEY_USERS, kAnna}, {HKEY_USERS, kCarl}, {kMachine, kProfiles + kAnna},
                                    {kMachine, kProfiles + kBert}, {kMachine, kProfiles + kCarl},
                                    {HKEY_USERS, std::string(".DEFAULT\\Keyboard Layout")}, {kUser, kLanguages},
                                    {kUser, kLanguages + " System Backup"}})
        RemoveKey(root, key.back() == '\\' ? key.substr(0, key.size() - 1) : key);
    RegDeleteKeyValueW(kMachine, Utf16(kProfiles).c_str(), L"Default");
    gHiveFiles[0] = gHiveFiles[1] = "";
    for (const char* name : {"Łukasz", "Ольга", "carl", "Default"}) RemoveTree(std::string("C:\\users\\") + name);
}
// What saving and loading hives takes: "SeBackupPrivilege SeRestorePrivilege" as far as they are enabled in this
// process's token, after enabling or disabling both when told.
inline std::string HivePrivilegesOn(bool enable = false, bool disable = false)
{
    std::string on;
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token);
    for (const wchar_t* name : {L"SeBackupPrivilege", L"SeRestorePrivilege"}) {
        PRIVILEGE_SET set = {1, PRIVILEGE_SET_ALL_NECESSARY, {{{0, 0}, 0}}};
        TOKEN_PRIVILEGES change = {1, {{{0, 0}, DWORD(enable ? SE_PRIVILEGE_ENABLED : 0)}}};
        LookupPrivilegeValueW(nullptr, name, &set.Privilege[0].Luid);
        change.Privileges[0].Luid = set.Privilege[0].Luid;
        if (enable || disable) AdjustTokenPrivileges(token, FALSE, &change, 0, nullptr, nullptr);
        BOOL held = FALSE;
        if (PrivilegeCheck(token, &set, &held) && held) on += (on.empty() ? "" : " ") + Utf8(name);
    }
    CloseHandle(token);
    return on;
}
inline const Values kPreloaded = {{"1", "00000407"}, {"2", "d0010407"}};  // 2 stands for the layout
inline void LayUserLists(HKEY root, const std::string& hive, const Values& preload)
{
    WriteValues(root, hive + kPreloadPath, preload);
    WriteValues(root, hive + kSubstitutesPath, {{"d0010407", kKey}});
}
// A profile not logged on in folder, its hive saved from HKCU\qvx-hive (a link saved as one), a shortcut on its
// desktop, its entry in the profile list under sid ("": the default profile). Returns the hive file as laid.
inline std::string LayProfile(const std::string& folder, const std::string& sid)
{
    RemoveTree(folder); PutFile(folder + "\\Desktop" + kLink, "shortcut");
    const std::string file = folder + "\\NTUSER.DAT"; HKEY hive = nullptr;
    RegOpenKeyExW(kUser, L"qvx-hive", REG_OPTION_OPEN_LINK, KEY_READ, &hive);
    EXPECT_EQ(RegSaveKeyW(UniqueKey(hive).get(), Utf16(file).c_str(), nullptr), 0) << file;
    PutValue(kMachine, kProfiles + sid, sid.empty() ? "Default" : "ProfileImagePath", folder, REG_EXPAND_SZ);
    return Content(file);
}
// count of the benchmark's 50 profiles not logged on, each holding the layout; the others gone.
inline void LayProfiles(int count)
{
    EXPECT_EQ(HivePrivilegesOn(true), "SeBackupPrivilege SeRestorePrivilege");
    LayUserLists(kUser, "qvx-hive\\", kPreloaded);
    for (int i = 0; i < 50; ++i) {
        const std::string folder = "C:\\users\\p" + std::to_string(i),
                          sid = "S-1-5-21-8-8-8-" + std::to_string(2000 + i);
        RemoveTree(folder); RemoveKey(kMachine, kProfiles + sid);
        if (i < count) LayProfile(folder, sid);
    }
    RemoveKey(kUser, "qvx-hive");
}
// How bert's hive file turns against the removal: not at all, its Preload a link, or its root one.
enum BertHive { kPlainHive, kListLinked, kRootLinked };
inline void ArrangeUsers(BertHive bert = kPlainHive)
{
    LayUserLists(HKEY_USERS, kAnna, kPreloaded);
    WriteDwords(HKEY_USERS, kAnna + kLanguages + "\\de-DE", {{"0407:00000407", 1}, {"0407:E0010407", 2}});
    PutValue(HKEY_USERS, kAnna + kLanguages, "InputMethodOverride", "0407:e0010407");
    PutValue(HKEY_USERS, kAnna + kShellFolders, "Desktop", "%USERPROFILE%\\Schreibtisch", REG_EXPAND_SZ);
    PutFile(kUserLinks[0], "shortcut");
    LayUserLists(HKEY_USERS, kCarl, {{"1", "d0010407"}});
    LayUserLists(HKEY_USERS, ".DEFAULT\\", kPreloaded);
    LayUserLists(kUser, "qvx-hive\\", kPreloaded);
    WriteDwords(kUser, kLanguages + "\\de-DE", {{"0407:00000407", 1}, {"0407:E0010407", 2}});
    WriteDwords(kUser, kLanguages + "\\de-CH", {{"0807:E0010407", 5}});
    PutValue(kUser, kLanguages + "\\de-CH", "CachedLanguageName", "@Winlangdb.dll,-1106");  // as Windows writes it
    WriteDwords(kUser, kLanguages + " System Backup\\de-CH", {{"0807:e0010407", 1}});
    for (const auto& [root, hive] : kServiceHives) LayTextServices(root, hive);
    LayTextServices(kUser, "qvx-hive\\");
    EXPECT_EQ(HivePrivilegesOn(true), "SeBackupPrivilege SeRestorePrivilege");
    gHiveFiles[1] = LayProfile("C:\\users\\Default", "");
    const std::string linked = bert == kRootLinked ? "qvx-hive" : "qvx-hive\\" + std::string(kPreloadPath);
    if (bert != kPlainHive)
        RemoveKey(kUser, linked), MakeKeyLink(kUser, linked, kLinkTarget);
    gHiveFiles[0] = LayProfile("C:\\users\\Ольга", kBert);
    RemoveKey(kUser, linked); RemoveKey(kUser, "qvx-hive");
    EXPECT_EQ(RegLoadKeyW(HKEY_USERS, Utf16("Quorvex_" + kBert).c_str(), L"C:\\users\\Ольга\\NTUSER.DAT"), 0);
    PutValue(kMachine, kProfiles + kAnna, "ProfileImagePath", "%SystemDrive%\\users\\Łukasz", REG_EXPAND_SZ);
    PutValue(kMachine, kProfiles + kCarl, "ProfileImagePath", "C:\\users\\carl", REG_EXPAND_SZ);
}
// The other users' lists, a ";" each, the folders keeping their shortcut, whether the hives are as laid, none loaded.
inline std::string Users()
{
    std::string out;
    for (const auto& [root, path] : kUserLists) out += List(root, path) + ";";
    for (const auto& [root, hive] : kServiceHives) out += TextServices(root, hive);
    for (const std::string& link : kUserLinks)
        out += Attributes(link) == INVALID_FILE_ATTRIBUTES ? "" : " " + link.substr(9, link.find('\\', 9) - 9);
    for (int i = 0; i < 2; ++i)
        out += Content("C:\\users\\" + kHives[i] + "\\NTUSER.DAT") == gHiveFiles[i] ? " laid" : " changed";
    const std::string loaded = Subkeys(HKEY_USERS, "");
    return out + (loaded.find(" Quorvex_") == std::string::npos ? "" : loaded);
}
// A process started by parent (0: none yet), and the threads of a process suspended or resumed: a copy caught at work.
inline DWORD ChildOf(DWORD parent)
{
    UniqueFile snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {}; entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snap.get(), &entry); more; more = Process32NextW(snap.get(), &entry))
        if (entry.th32ParentProcessID == parent) return entry.th32ProcessID;
    return 0;
}
inline void Suspend(DWORD process, bool resume = false)
{
    UniqueFile snap(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {}; entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snap.get(), &entry); more; more = Thread32Next(snap.get(), &entry))
        if (entry.th32OwnerProcessID == process)
            resume ? ResumeThread(UniqueHandle(OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID)).get())
                   : SuspendThread(UniqueHandle(OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID)).get());
}
// Driver files renamed to go at the next restart: "Quorvex.DLL.<8 hex digits>.del".
inline std::vector<std::string> Renamed()
{
    NoRedirection guard;
    return Found(SystemDir(), "Quorvex.DLL.*.del", false);
}
// Driver files, the layout's key beside 00000407 and 00000409, Preload 1 = 00000407 and 2 = d0010407 substituted by
// the key, program folder with its three files, both shortcuts, the registration entry; no copies left.
inline void InstallProduct()
{
    ClearCopies();
    ClearUsers();
    RemoveKey(kMachine, kLayoutsPath);
    for (const auto& [key, name, data] :
         {std::tuple{kKey, "Layout File", "Quorvex.DLL"}, {kKey, "Layout Text", "Deutsch (DIN E1, Treiber V3.11)"},
          {kKey, "Layout Id", "00c0"}, {"00000407", "Layout File", "KBDGR.DLL"},
          {"00000409", "Layout File", "KBDUS.DLL"}})
        PutValue(kMachine, LayoutPath(key), name, data);
    LayUserLists(kUser, "", kPreloaded);
    for (const std::string& renamed : Renamed()) RemoveTree(renamed);
    RemoveTree(ProgramFolder()); CreateDirectoryW(Utf16(ProgramFolder()).c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(Utf16(PROGRAM_EXE).c_str(), Utf16(InstalledExe()).c_str(), FALSE)) << PROGRAM_EXE;
    for (const auto& [path, content] : {std::pair{SystemDir() + "Quorvex.DLL", "driver"},
                                        {Wow64Dir().empty() ? "" : Wow64Dir() + "Quorvex.DLL", "driver32"},
                                        {ProgramFolder() + "\\" + kHelperFiles[1], "%PDF-1.4 chart"},
                                        {ProgramFolder() + "\\" + kHelperFiles[2], "icon"},
                                        {Shortcut(false), "shortcut"}, {Shortcut(true), "shortcut"}})
        if (!path.empty())
            RemoveTree(path), PutFile(path, content);
    RemoveKey(kMachine, EntryPath());
    PutValue(kMachine, EntryPath(), "DisplayName", "Tastaturbelegung DIN E1 (Treiber V3.11)");
    PutValue(kMachine, EntryPath(), "UninstallString", "\"" + InstalledExe() + "\" " + kKey);
}
// The files marked for deletion at the next restart (renamed to nothing), lower case, without "\\??\\".
inline std::set<std::string> MarkedForDeletion()
{
    std::set<std::string> marked;
    std::vector<std::string> names;
    const std::string all = PendingRenames();
    for (size_t at = 0, end; at < all.size() && (end = all.find('\0', at)) != std::string::npos; at = end + 1)
        names.push_back(all.substr(at, end - at));
    for (size_t i = 0; i + 1 < names.size(); i += 2)
        if (names[i + 1].empty() && names[i].rfind("\\??\\", 0) == 0)
            marked.insert(Lower(names[i].substr(4)));
    return marked;
}
// The parts of the product still there: "driver driver32 exe pdf ico folder desktop common entry"; first a driver
// file "renamed" and exactly marked for deletion at the next restart (else "stray"), and the system folder's own
// driver file "pending" so.
inline std::string ProductLeft()
{
    const std::string folder = ProgramFolder() + "\\";
    const std::pair<const char*, std::string> parts[] = {
        {"driver", SystemDir() + "Quorvex.DLL"},
        {"driver32", Wow64Dir().empty() ? "<none>" : Wow64Dir() + "Quorvex.DLL"},
        {"exe", folder + kHelperFiles[0]}, {"pdf", folder + kHelperFiles[1]}, {"ico", folder + kHelperFiles[2]},
        {"folder", ProgramFolder()}, {"desktop", Shortcut(false)}, {"common", Shortcut(true)}};
    const std::set<std::string> marked = MarkedForDeletion();
    std::string left;  // a blank before each part
    for (const std::string& renamed : Renamed()) left += marked.count(Lower(renamed)) ? " renamed" : " stray";
    if (marked.count(Lower(SystemDir() + "Quorvex.DLL"))) left += " pending";
    NoRedirection guard;
    for (const auto& [name, path] : parts)
        if (Attributes(path) != INVALID_FILE_ATTRIBUTES) left += " " + std::string(name);
    if (Open(kMachine, EntryPath())) left += " entry";
    return left.empty() ? left : left.substr(1);
}
// The user's lists and the layouts, then the parts of the product.
inline std::string Machine()
{
    return "Preload: " + List(kUser, kPreloadPath) + "\nSubstitutes: " + List(kUser, kSubstitutesPath) +
           "\nLayouts:" + Subkeys(kMachine, kLayoutsPath) + "\nUsers: " + Users() + "\nProduct: " + ProductLeft();
}

// The words after the quoted program path; "<none>" and "<blanks>": an empty line, blanks only.
inline RobotRun RunInstalled(const std::string& args, const std::vector<std::string>& answers,
                             const std::string& environment = "", const std::string& exe = InstalledExe(),
                             std::function<void(const RobotBox&)> whileShown = {})
{
    RobotOptions options;
    options.commandLine = args == "<none>" ? "" : args == "<blanks>" ? "   " : "\"" + exe + "\" " + args;
    options.applicationName = exe; options.answers = answers; options.statusClass = "Uninstall_Quorvex";
    options.environment = environment; options.timeoutMs = 30000; options.whileShown = std::move(whileShown);
    return RunWithRobot(options);
}
// Every process started, the first and its copies, ended by itself with this exit code.
inline ::testing::AssertionResult EndedWith(const RobotRun& run, unsigned long code, size_t copies)
{
    std::vector<unsigned long> codes = run.otherExitCodes; codes.insert(codes.begin(), run.exitCode);
    if (run.started && !run.timedOut && codes == std::vector<unsigned long>(copies + 1, code))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << DescribeRun(run);
}
