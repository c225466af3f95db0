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

#include <sddl.h>

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
enum HivePrivileges { kNotTried, kEnabled, kMissing };
static HivePrivileges hivePrivileges;

static void Report(const char* who, const char* detail)
{
    // The registry's own texts begin with a "Warnung:" line; the box says so already.
    if (strncmp(detail, "Warnung:\n", 9) == 0)
        detail += 9;
    char text[1300];
    ComposeText(text, sizeof text, "Fehler beim Bereinigen der Tastatur-Einstellungen von %s:\n%s", who, detail);
    InfoBox("Warnung bei Deinstallation von %s:\nProblem bei Registry-Key-Update:\n  %s", displayName, text);
}

static void ReportError(const char* who, const char* format, const char* what, DWORD error)
{
    char detail[1000];
    ComposeText(detail, sizeof detail, format, what, DescribeWindowsError(error));
    Report(who, detail);
}

// A path value below key (subkey, when given), its environment strings
// expanded; %USERPROFILE% stands for userProfile, when given, and not for
// this process's user. True when it was there and fits whole: a cut path
// could name another user's folder.
static bool ReadPath(HKEY key, const char* subkey, const char* name, const char* userProfile, char* path)
{
    wchar_t wide[2 * MAX_PATH];
    char raw[2 * kPathSize], replaced[2 * kPathSize] = "";
    DWORD size = sizeof wide;
    if (RegGetValueW(key, Wide(subkey), Wide(name), RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                     wide, &size) != ERROR_SUCCESS ||
        !FromUtf16(wide, 2 * MAX_PATH, raw, sizeof raw))
        return false;
    static const char kUserProfile[] = "%USERPROFILE%";
    bool fits = true;
    for (const char* p = raw; *p != '\0' && fits;) {
        char one[2] = {*p, '\0'};
        bool isProfile = userProfile != nullptr && EqualNoCaseN(p, kUserProfile, sizeof kUserProfile - 1);
        fits = AppendText(replaced, sizeof replaced, isProfile ? userProfile : one);
        p += isProfile ? sizeof kUserProfile - 1 : 1;
    }
    WideText<2 * kPathSize> wideReplaced(replaced);
    wchar_t expanded[MAX_PATH];
    DWORD length = fits && wideReplaced.Whole() ? ExpandEnvironmentStringsW(wideReplaced, expanded, MAX_PATH) : 0;
    return length > 0 && length <= MAX_PATH && FromUtf16(expanded, MAX_PATH, path, kPathSize);
}

// One user: the lists in their hive below root, then, unless they have
// none, the shortcut on their desktop.
static void CleanUser(HKEY root, const char* rootName, const char* folder, bool hasDesktop)
{
    SetStatusLine("Bereinige Tastatur-Einstellungen von %s ...", folder);
    if (!RemoveLayoutForUser(root, rootName))
        Report(folder, gRegistryErrorText);
    char desktop[kPathSize];
    if (hasDesktop && (ReadPath(root, kShellFoldersPath, "Desktop", folder, desktop) ||
                       ComposeText(desktop, sizeof desktop, "%s\\Desktop", folder)))
        DeleteShortcutIn(desktop, shortcutName);
}

static bool EnablePrivilege(HANDLE token, const char* name)
{
    TOKEN_PRIVILEGES wanted = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
    return LookupPrivilegeValueW(nullptr, Wide(name), &wanted.Privileges[0].Luid) &&
           AdjustTokenPrivileges(token, FALSE, &wanted, 0, nullptr, nullptr) &&
           GetLastError() != ERROR_NOT_ALL_ASSIGNED;
}

// Loading a hive takes the backup and restore privileges, which an
// administrator holds but has not switched on. Tried once; one warning.
static bool MayLoadHives()
{
    if (hivePrivileges == kNotTried) {
        HANDLE raw = nullptr;
        bool opened = OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw);
        UniqueHandle token(opened ? raw : nullptr);
        hivePrivileges = opened && EnablePrivilege(token.get(), SE_BACKUP_NAME) &&
                                 EnablePrivilege(token.get(), SE_RESTORE_NAME)
                             ? kEnabled
                             : kMissing;
        if (hivePrivileges == kMissing)
            ReportError("allen nicht angemeldeten Benutzern", "Fehler beim Aktivieren der Rechte %s zum Laden "
                        "ihrer Benutzerprofile\n%s", "SeBackupPrivilege/SeRestorePrivilege", GetLastError());
    }
    return hivePrivileges == kEnabled;
}

// A user who is not logged on: their NTUSER.DAT in folder, loaded below
// HKEY_USERS as hiveName for the time it takes, and unloaded on every way out.
static void CleanFromFile(const char* hiveName, const char* folder)
{
    char file[kPathSize], rootName[kPathSize];
    if (!ComposeText(file, sizeof file, "%s\\NTUSER.DAT", folder) || !FileExists(file) || !MayLoadHives())
        return;
    ComposeText(rootName, sizeof rootName, "HKEY_USERS\\%s", hiveName);
    // Left loaded by an earlier run that was stopped half-way.
    Wide wideHive(hiveName);
    RegUnLoadKeyW(HKEY_USERS, wideHive);
    LONG result = RegLoadKeyW(HKEY_USERS, wideHive, Wide(file));
    if (result != ERROR_SUCCESS) {
        SetStatusLine("Bereinige Tastatur-Einstellungen von %s ...", folder);
        ReportError(folder, "Fehler beim Laden des Benutzerprofils %s\n%s", file, static_cast<DWORD>(result));
        return;
    }
    {
        // Every key below the hive is closed before it can be unloaded.
        UniqueKey root = OpenKeyForRead(HKEY_USERS, hiveName);
        if (root)
            CleanUser(root.get(), rootName, folder, true);
        else
            ReportError(folder, "Fehler beim Öffnen des Registry-Keys %s\n%s", rootName, GetLastError());
    }
    for (int retry = 0; (result = RegUnLoadKeyW(HKEY_USERS, wideHive)) != ERROR_SUCCESS && retry < 5; ++retry)
        Sleep(200);
    if (result != ERROR_SUCCESS)
        ReportError(folder, "Das Benutzerprofil %s bleibt bis zum nächsten Neustart geladen:\n%s", file,
                    static_cast<DWORD>(result));
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
    for (DWORD i = 0; EnumSubkey(profileList, i, sid, sizeof sid); ++i) {
        if (EqualNoCase(sid, currentSid) || EqualNoCase(sid, kSystemSid) || IsBackupEntry(sid))
            continue;
        UniqueKey hive = OpenKeyForRead(HKEY_USERS, sid);
        if (bool(hive) != loaded)
            continue;
        UniqueKey profile = OpenKeyForRead(profileList, sid, profileView);
        char folder[kPathSize], name[kPathSize];
        if (!profile || !ReadPath(profile.get(), nullptr, "ProfileImagePath", nullptr, folder))
            continue;
        profile.reset();
        if (loaded && ComposeText(name, sizeof name, "HKEY_USERS\\%s", sid))
            CleanUser(hive.get(), name, folder, true);
        else if (!loaded && ComposeText(name, sizeof name, "Quorvex_%s", sid))
            CleanFromFile(name, folder);
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
    if (!profileList && GetLastError() != ERROR_FILE_NOT_FOUND)
        ReportError("allen anderen Benutzern", "Fehler beim Öffnen des Registry-Keys HKEY_LOCAL_MACHINE\\%s\n%s",
                    kProfileListPath, GetLastError());
    if (profileList)
        CleanProfiles(profileList.get(), true);
    // The logon screen's settings; the system account's own when it runs this.
    if (!EqualNoCase(currentSid, kSystemSid)) {
        UniqueKey logon = OpenKeyForRead(HKEY_USERS, ".DEFAULT");
        if (logon)
            CleanUser(logon.get(), kLogonUser, kLogonUser, false);
    }
    char folder[kPathSize];
    if (!profileList)
        return;
    CleanProfiles(profileList.get(), false);
    // New accounts are copied from the default profile.
    if (ReadPath(profileList.get(), nullptr, "Default", nullptr, folder))
        CleanFromFile("Quorvex_Default", folder);
}
