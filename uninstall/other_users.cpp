#include "uninstall/other_users.h"

#include "files/files.h"
#include "frame/handle.h"
#include "frame/message_box.h"
#include "frame/status_window.h"
#include "frame/text.h"
#include "frame/wide.h"
#include "layouts/registry.h"
#include "layouts/tables.h"
#include "layouts/writeback.h"
#include "uninstall/shortcuts.h"
#include "uninstall/system_dirs.h"
#include "uninstall/user_path.h"

#include <sddl.h>
#include <winternl.h>

#include <cstring>

static const char kProfileListPath[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
static const char kShellFoldersPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
static const char kLogonUser[] = "HKEY_USERS\\.DEFAULT";
// The system account's hive is .DEFAULT under another name: never a user of its own.
static const char kSystemSid[] = "S-1-5-18";

static const char* displayName;
static const char* shortcutName;
static char currentSid[200];
static REGSAM profileView;  // the 64-bit registry's, on 64-bit Windows

// The warnings about one user, composed when their failure happens (with its
// Windows error) and shown once nothing of theirs is held: a box that waits
// must not keep their profile loaded.
struct UserReports {
    char text[3][1300];
    unsigned count;
};

static void Defer(UserReports& reports, const char* who, const char* detail)
{
    // The registry's own texts begin with a "Warnung:" line; the box says so already.
    if (strncmp(detail, "Warnung:\n", 9) == 0)
        detail += 9;
    if (reports.count < 3)
        ComposeText(reports.text[reports.count++], sizeof reports.text[0],
                    "Fehler beim Bereinigen der Tastatur-Einstellungen von %s:\n%s", who, detail);
}

static void DeferError(UserReports& reports, const char* who, const char* format, const char* what, DWORD error)
{
    char detail[1000];
    ComposeText(detail, sizeof detail, format, what, DescribeWindowsError(error));
    Defer(reports, who, detail);
}

static void ShowReports(UserReports& reports)
{
    for (unsigned i = 0; i < reports.count; ++i)
        InfoBox("Warnung bei Deinstallation von %s:\nProblem bei Registry-Key-Update:\n  %s", displayName,
                reports.text[i]);
    reports.count = 0;
}

// A path value of key, its environment strings expanded as this process's.
// True when it was there and fits whole: a cut path could name another
// user's folder.
static bool ReadPath(HKEY key, const char* name, char* path)
{
    wchar_t raw[MAX_PATH], expanded[MAX_PATH];
    DWORD size = sizeof raw;
    if (RegGetValueW(key, nullptr, Wide(name), RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, raw,
                     &size) != ERROR_SUCCESS)
        return false;
    DWORD length = ExpandEnvironmentStringsW(raw, expanded, MAX_PATH);
    return length > 0 && length <= MAX_PATH && FromUtf16(expanded, MAX_PATH, path, kPathSize);
}

// A card reader, a CD drive or a mapped share may have no disk in it, and
// Windows would ask for one in a box that nobody answers in a quiet run.
static bool IsFixedDrive(const char* path)
{
    const wchar_t root[] = {static_cast<wchar_t>(path[0]), L':', L'\\', L'\0'};
    return GetDriveTypeW(root) == DRIVE_FIXED;
}

// The desktop that the user's own "User Shell Folders" value names, when it
// passes the rule for paths from a hive; otherwise <folder>\Desktop. A link
// on the way to the value is refused with that user's warning.
static bool FindDesktop(HKEY root, const char* rootName, const char* folder, char* desktop, UserReports& reports)
{
    char link[sizeof gRegistryErrorText], raw[2 * kPathSize];
    wchar_t wide[2 * MAX_PATH], windows[MAX_PATH];
    char systemRoot[kPathSize];
    UniqueKey key = OpenUserKey(root, rootName, kShellFoldersPath, KEY_QUERY_VALUE, false, link, sizeof link);
    if (!key && GetLastError() == kErrorKeyIsLink)
        Defer(reports, folder, link);
    DWORD size = sizeof wide;
    UINT length = 0;
    if (key &&
        RegGetValueW(key.get(), nullptr, L"Desktop", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                     wide, &size) == ERROR_SUCCESS &&
        FromUtf16(wide, 2 * MAX_PATH, raw, sizeof raw) &&
        (length = GetSystemWindowsDirectoryW(windows, MAX_PATH)) > 0 && length < MAX_PATH &&
        FromUtf16(windows, MAX_PATH, systemRoot, sizeof systemRoot) &&
        ExpandUserPath(raw, folder, systemRoot, desktop, kPathSize) && IsFixedDrive(desktop))
        return true;
    return ComposeText(desktop, kPathSize, "%s\\Desktop", folder);
}

// One user: the lists in their hive below root, then, unless they have
// none, the shortcut on their desktop. Failures go to reports.
static void CleanUser(HKEY root, const char* rootName, const char* folder, bool hasDesktop, UserReports& reports)
{
    SetStatusLine("Bereinige Tastatur-Einstellungen von %s ...", folder);
    if (!RemoveLayoutForUser(root, rootName))
        Defer(reports, folder, gRegistryErrorText);
    char desktop[kPathSize], reason[2 * kPathSize];
    if (hasDesktop && FindDesktop(root, rootName, folder, desktop, reports) &&
        !DeleteShortcutIn(desktop, shortcutName, folder, reason, sizeof reason))
        Defer(reports, folder, reason);
}

// Loading and unloading a hive take the backup and restore privileges, which
// an administrator holds but has not switched on, and which override every
// file's security: they are on for each of those calls alone and back as
// they were right after, so that no file is ever opened with them.
// TOKEN_PRIVILEGES with room for both.
struct HivePrivilegeList {
    DWORD count;
    LUID_AND_ATTRIBUTES privileges[2];
};
static bool privilegesMissing;  // reported once for everybody

// call() with both privileges on; ERROR_PRIVILEGE_NOT_HELD, the call not
// made, when this process does not hold them.
template <typename Call>
static LONG WithHivePrivileges(Call call)
{
    HANDLE raw = nullptr;
    bool opened = OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw);
    UniqueHandle token(opened ? raw : nullptr);
    HivePrivilegeList wanted = {2, {{{0, 0}, SE_PRIVILEGE_ENABLED}, {{0, 0}, SE_PRIVILEGE_ENABLED}}}, previous = {};
    DWORD size = 0;
    bool adjusted = opened && LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &wanted.privileges[0].Luid) &&
                    LookupPrivilegeValueW(nullptr, L"SeRestorePrivilege", &wanted.privileges[1].Luid) &&
                    AdjustTokenPrivileges(token.get(), FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&wanted),
                                          sizeof previous, reinterpret_cast<TOKEN_PRIVILEGES*>(&previous), &size);
    bool enabled = adjusted && GetLastError() != ERROR_NOT_ALL_ASSIGNED;
    LONG result = enabled ? call() : static_cast<LONG>(ERROR_PRIVILEGE_NOT_HELD);
    if (adjusted)
        AdjustTokenPrivileges(token.get(), FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&previous), 0, nullptr,
                              nullptr);
    return result;
}

long UnloadUserHive(const char* hiveName)
{
    typedef LONG(NTAPI * UnloadKeyFn)(POBJECT_ATTRIBUTES);
    typedef ULONG(NTAPI * ToErrorFn)(LONG);
    HMODULE ntdll = GetModuleHandleW(L"ntdll");
    auto unload = reinterpret_cast<UnloadKeyFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtUnloadKey")));
    auto toError = reinterpret_cast<ToErrorFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
    char path[kPathSize];
    WideText<kPathSize> widePath(ComposeText(path, sizeof path, "\\Registry\\User\\%s", hiveName) ? path : "");
    if (unload == nullptr || toError == nullptr || !widePath.Whole())
        return WithHivePrivileges([&] { return RegUnLoadKeyW(HKEY_USERS, Wide(hiveName)); });
    const wchar_t* text = widePath;
    USHORT bytes = static_cast<USHORT>(wcslen(text) * sizeof(wchar_t));
    UNICODE_STRING name = {bytes, bytes, const_cast<wchar_t*>(text)};
    const ULONG kOpenLink = 0x100;  // OBJ_OPENLINK
    OBJECT_ATTRIBUTES attributes = {sizeof attributes, nullptr, &name, OBJ_CASE_INSENSITIVE | kOpenLink, nullptr,
                                    nullptr};
    return WithHivePrivileges([&] { return static_cast<LONG>(toError(unload(&attributes))); });
}

// A user who is not logged on: their NTUSER.DAT in folder, loaded below
// HKEY_USERS as hiveName for the time it takes, and unloaded on every way
// out before any box about them.
static void CleanFromFile(const char* hiveName, const char* folder)
{
    UserReports reports = {};
    char file[kPathSize], rootName[kPathSize];
    if (!ComposeText(file, sizeof file, "%s\\NTUSER.DAT", folder) || !FileExists(file) || privilegesMissing)
        return;
    ComposeText(rootName, sizeof rootName, "HKEY_USERS\\%s", hiveName);
    // Left loaded by an earlier run that was stopped half-way.
    UnloadUserHive(hiveName);
    LONG result = WithHivePrivileges([&] { return RegLoadKeyW(HKEY_USERS, Wide(hiveName), Wide(file)); });
    if (result == ERROR_PRIVILEGE_NOT_HELD) {
        privilegesMissing = true;
        DeferError(reports, "allen nicht angemeldeten Benutzern", "Fehler beim Aktivieren der Rechte %s zum Laden "
                   "ihrer Benutzerprofile\n%s", "SeBackupPrivilege/SeRestorePrivilege", ERROR_NOT_ALL_ASSIGNED);
        ShowReports(reports);
        return;
    }
    if (result != ERROR_SUCCESS) {
        SetStatusLine("Bereinige Tastatur-Einstellungen von %s ...", folder);
        DeferError(reports, folder, "Fehler beim Laden des Benutzerprofils %s\n%s", file, static_cast<DWORD>(result));
        ShowReports(reports);
        return;
    }
    {
        // Every key below the hive is closed before it can be unloaded.
        char link[sizeof gRegistryErrorText];
        UniqueKey root = OpenUserKey(HKEY_USERS, "HKEY_USERS", hiveName, KEY_READ, false, link, sizeof link);
        if (root)
            CleanUser(root.get(), rootName, folder, true, reports);
        else if (GetLastError() == kErrorKeyIsLink)
            Defer(reports, folder, link);
        else
            DeferError(reports, folder, "Fehler beim Öffnen des Registry-Keys %s\n%s", rootName, GetLastError());
    }
    for (int retry = 0; (result = UnloadUserHive(hiveName)) != ERROR_SUCCESS && retry < 5; ++retry)
        Sleep(200);
    if (result != ERROR_SUCCESS)
        DeferError(reports, folder, "Das Benutzerprofil %s bleibt bis zum nächsten Neustart geladen:\n%s", file,
                   static_cast<DWORD>(result));
    ShowReports(reports);
}

// Windows keeps a broken profile's entry as "<SID>.bak", naming the folder
// that the new entry uses too: never a user of its own.
static bool IsBackupEntry(const char* sid)
{
    size_t length = strlen(sid);
    return length > 4 && EqualNoCase(sid + length - 4, ".bak");
}

// The profiles of the list whose hive is loaded, or those whose is not;
// never the current user's, never the system account's.
static void CleanProfiles(HKEY profileList, bool loaded)
{
    char sid[kKeyNameSize];
    LONG listed = ERROR_SUCCESS;
    for (DWORD i = 0; listed == ERROR_SUCCESS || listed == ERROR_INVALID_DATA; ++i) {
        listed = EnumSubkey(profileList, i, sid, sizeof sid);
        if (listed != ERROR_SUCCESS || EqualNoCase(sid, currentSid) || EqualNoCase(sid, kSystemSid) ||
            IsBackupEntry(sid))
            continue;
        UniqueKey hive = OpenKeyForRead(HKEY_USERS, sid);
        if (bool(hive) != loaded)
            continue;
        UniqueKey profile = OpenKeyForRead(profileList, sid, profileView);
        char folder[kPathSize], name[kPathSize];
        if (!profile || !ReadPath(profile.get(), "ProfileImagePath", folder))
            continue;
        profile.reset();
        UserReports reports = {};
        if (loaded && ComposeText(name, sizeof name, "HKEY_USERS\\%s", sid))
            CleanUser(hive.get(), name, folder, true, reports);
        else if (!loaded && ComposeText(name, sizeof name, "Quorvex_%s", sid))
            CleanFromFile(name, folder);
        ShowReports(reports);
    }
    if (listed != ERROR_NO_MORE_ITEMS) {
        UserReports reports = {};
        DeferError(reports, "allen anderen Benutzern", "Fehler beim Lesen des Registry-Keys HKEY_LOCAL_MACHINE\\%s\n%s",
                   kProfileListPath, static_cast<DWORD>(listed));
        ShowReports(reports);
    }
}

static void ReadCurrentSid()
{
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw))
        return;
    UniqueHandle token(raw);
    alignas(8) static BYTE user[512];
    DWORD size = 0;
    wchar_t* text = nullptr;
    if (GetTokenInformation(token.get(), TokenUser, user, sizeof user, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &text)) {
        FromUtf16(text, 200, currentSid, sizeof currentSid);
        LocalFree(text);
    }
}

void CleanOtherUsers(const char* display, const char* shortcut)
{
    displayName = display;
    shortcutName = shortcut;
    ReadCurrentSid();
    // A 32-bit program must ask for the 64-bit registry's list explicitly.
    profileView = gWow64 ? KEY_WOW64_64KEY : 0;
    UniqueKey profileList = OpenKeyForRead(HKEY_LOCAL_MACHINE, kProfileListPath, profileView);
    UserReports reports = {};
    if (!profileList && GetLastError() != ERROR_FILE_NOT_FOUND)
        DeferError(reports, "allen anderen Benutzern",
                   "Fehler beim Öffnen des Registry-Keys HKEY_LOCAL_MACHINE\\%s\n%s", kProfileListPath, GetLastError());
    ShowReports(reports);
    if (profileList)
        CleanProfiles(profileList.get(), true);
    // The logon screen's settings; the system account's own when it runs this.
    if (!EqualNoCase(currentSid, kSystemSid)) {
        UniqueKey logon = OpenKeyForRead(HKEY_USERS, ".DEFAULT");
        if (logon)
            CleanUser(logon.get(), kLogonUser, kLogonUser, false, reports);
        ShowReports(reports);
    }
    if (profileList) {
        CleanProfiles(profileList.get(), false);
        char folder[kPathSize];
        // New accounts are copied from the default profile.
        if (ReadPath(profileList.get(), "Default", folder))
            CleanFromFile("Quorvex_Default", folder);
    }
}
