#include "files/files.h"

#include "frame/handle.h"
#include "frame/message_box.h"
#include "frame/status_window.h"
#include "frame/text.h"
#include "frame/wide.h"

#include <cstring>

static const char kCaption[] = "Tastaturtreiber-Deinstallation";

// One record for every search, as nothing reads it after the call.
static WIN32_FIND_DATAW findData;

// One file call, with the redirection off when asked and back at once, the
// call's own error kept for whoever reports it.
template <typename Call>
static auto InRealSystemFolder(bool on, Call call)
{
    void* saved = nullptr;
    bool off = on && Wow64DisableWow64FsRedirection(&saved);
    auto result = call();
    if (off) {
        DWORD error = GetLastError();
        Wow64RevertWow64FsRedirection(saved);
        SetLastError(error);
    }
    return result;
}

bool FileExists(const char* path, bool realSystemFolder)
{
    Wide widePath(path);
    UniqueFind search(InRealSystemFolder(realSystemFolder, [&] { return FindFirstFileW(widePath, &findData); }));
    if (!search)
        return false;
    size_t length = strlen(path);
    if (length > 0 && path[length - 1] == '.')
        return true;
    while (wcscmp(findData.cFileName, L".") == 0 || wcscmp(findData.cFileName, L"..") == 0) {
        if (!FindNextFileW(search.get(), &findData))
            return false;
    }
    return true;
}

bool CopyOneFile(const char* source, const char* target, bool report, bool overwrite)
{
    Wide wideTarget(target);
    if (CopyFileW(Wide(source), wideTarget, overwrite ? FALSE : TRUE)) {
        // The copy must be deletable later, whatever the source carried.
        SetFileAttributesW(wideTarget, FILE_ATTRIBUTE_ARCHIVE);
        return true;
    }
    const char* error = CaptureLastError();
    if (report)
        CaptionWarningBox(kCaption, "Kopieren einer Datei fehlgeschlagen.\n\nQuelle: %s\nZiel: %s\n\n%s",
                          source, target, error);
    return false;
}

PlainDeletion DeletePlainFile(const char* path, bool announce)
{
    // Opened as the entry itself: a link or junction at the name is seen as
    // one, never followed to whatever it points at. The folder may come from
    // another user's hive: whatever serves the name (a pipe, a share) may
    // learn who asks, never act as the caller.
    UniqueFile file(CreateFileW(Wide(path), DELETE | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS | SECURITY_SQOS_PRESENT |
                                    SECURITY_IDENTIFICATION,
                                nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    bool known = file && GetFileInformationByHandle(file.get(), &info);
    if (known && (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
        return kNotPlainFile;
    DWORD error = GetLastError();
    if (announce)
        SetStatusLine("Lösche %s ...", path);
    if (!known) {
        SetLastError(error);
        return kDeletionFailed;
    }
    FILE_DISPOSITION_INFO disposition = {TRUE};
    if (!SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof disposition))
        return kDeletionFailed;
    return kPlainFileDeleted;
}

bool DeleteOneFile(const char* path, bool report, bool plainOnly, bool realSystemFolder)
{
    if (!FileExists(path, realSystemFolder))
        return true;
    if (plainOnly) {
        // What is not a plain file is not ours: passed over like a missing one.
        if (DeletePlainFile(path, true) != kDeletionFailed)
            return true;
    } else {
        SetStatusLine("Lösche %s ...", path);
        Wide widePath(path);
        if (InRealSystemFolder(realSystemFolder, [&] { return DeleteFileW(widePath); }))
            return true;
    }
    if (report)
        CaptionWarningBox(kCaption, "Folgende Datei kann nicht gelöscht werden:\n%s\n\n%s", path,
                          CaptureLastError());
    return false;
}

bool DeleteAtRestart(const char* path, bool realSystemFolder, unsigned (*random)(), char* marked,
                     size_t size)
{
    const auto move = [realSystemFolder](const char* from, const char* to, DWORD flags) {
        Wide wideFrom(from), wideTo(to);
        return InRealSystemFolder(realSystemFolder, [&] { return MoveFileExW(wideFrom, wideTo, flags) != FALSE; });
    };
    // A file in use can still be renamed: its name is then free at once,
    // and the restart takes the renamed one.
    for (int attempt = 0; attempt < 8; ++attempt) {
        char digits[9];
        EightHexDigits(random(), digits);
        if (!ComposeText(marked, size, "%s.%s.del", path, digits))
            break;
        if (move(path, marked, 0)) {
            // The restart must not stop at a read-only file.
            Wide wideMarked(marked);
            InRealSystemFolder(realSystemFolder, [&] { return SetFileAttributesW(wideMarked, FILE_ATTRIBUTE_NORMAL); });
            if (move(marked, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
                return true;
            move(marked, path, 0);  // nothing will take it: its own name again
            break;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    CopyText(marked, size, path);
    return move(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

bool RemoveOneDirectory(const char* path)
{
    SetStatusLine("Lösche Verzeichnis %s ...", path);
    if (RemoveDirectoryW(Wide(path)))
        return true;
    CaptionWarningBox(kCaption, "Folgendes Verzeichnis kann nicht gelöscht werden:\n%s\n\n%s", path,
                      CaptureLastError());
    return false;
}
