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

bool FinalPath(HANDLE handle, wchar_t* path, DWORD units)
{
    wchar_t raw[kFinalPathUnits + 4];
    DWORD length = GetFinalPathNameByHandleW(handle, raw, kFinalPathUnits + 4, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= kFinalPathUnits + 4)
        return false;
    const wchar_t* dos = wcsncmp(raw, L"\\\\?\\", 4) == 0 ? raw + 4 : raw;
    if (dos[0] == L'\0' || dos[1] != L':' || wcslen(dos) >= units)
        return false;
    wcscpy(path, dos);
    return true;
}

bool FinalFolderPath(const char* folder, wchar_t* path, DWORD units)
{
    // A folder opens only with backup semantics, which grant nothing while the backup privileges are off.
    UniqueFile handle(CreateFileW(Wide(folder), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                  FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS |
                                  SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
    return handle && FinalPath(handle.get(), path, units);
}

// Marks the file to go when its last handle closes, or takes the mark off.
static bool SetDeleteMark(HANDLE file, bool mark)
{
    FILE_DISPOSITION_INFO disposition = {static_cast<BOOLEAN>(mark)};
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

PlainDeletion DeletePlainFile(const char* path, bool announce, const wchar_t* meant)
{
    // Opened as the entry itself: a link or junction at the name is seen as
    // one, never followed to whatever it points at. The folder may come from
    // another user's hive: whatever serves the name (a pipe, a share) may
    // learn who asks, never act as the caller. No backup semantics: a file
    // is deleted only as its own security allows.
    Wide widePath(path);
    UniqueFile file(CreateFileW(widePath, DELETE | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                nullptr));
    DWORD error = GetLastError();
    BY_HANDLE_FILE_INFORMATION info;
    bool known = file && GetFileInformationByHandle(file.get(), &info);
    if (file && !known)
        error = GetLastError();
    DWORD attributes = known ? info.dwFileAttributes : file ? 0 : GetFileAttributesW(widePath);
    // A link laid at the name in a user's folder is somebody's doing: said so, like a link on the way.
    if (meant != nullptr && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return kElsewhere;
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
        return kNotPlainFile;
    // The name may be fine and a folder on the way a link all the same: only
    // where Windows itself says the file lies counts.
    wchar_t final[kFinalPathUnits];
    if (known && meant != nullptr &&
        (!FinalPath(file.get(), final, kFinalPathUnits) ||
         CompareStringOrdinal(final, -1, meant, -1, TRUE) != CSTR_EQUAL))
        return kElsewhere;
    if (announce)
        SetStatusLine("Lösche %s ...", path);
    if (!known) {
        SetLastError(error);
        return kDeletionFailed;
    }
    return SetDeleteMark(file.get(), true) ? kPlainFileDeleted : kDeletionFailed;
}

bool DeleteOneFile(const char* path, bool report, bool plainOnly, bool realSystemFolder)
{
    if (!FileExists(path, realSystemFolder))
        return true;
    if (plainOnly) {
        // What is not a plain file is not ours: passed over like a missing one.
        if (DeletePlainFile(path, true, nullptr) != kDeletionFailed)
            return true;
    } else {
        SetStatusLine("Lösche %s ...", path);
        Wide widePath(path);
        if (InRealSystemFolder(realSystemFolder, [&] { return DeleteFileW(widePath); }))
            return true;
    }
    if (report)
        ShowUndeletable(path, CaptureLastError());
    return false;
}

void ShowUndeletable(const char* path, const char* error)
{
    CaptionWarningBox(kCaption, "Folgende Datei kann nicht gelöscht werden:\n%s\n\n%s", path, error);
}

bool OpenForDeletion(const char* path, bool realSystemFolder, UniqueFile& held)
{
    Wide widePath(path);
    held.reset(InRealSystemFolder(realSystemFolder, [&] {
        return CreateFileW(widePath, DELETE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    }));
    // Windows refuses the mark, not the open, for a file mapped as an image.
    // Taken off at once: a run ended while it asks deletes nothing.
    return held && SetDeleteMark(held.get(), true) && SetDeleteMark(held.get(), false);
}

bool DeleteHeldFile(UniqueFile& held)
{
    bool marked = held && SetDeleteMark(held.get(), true);
    held.reset();
    return marked;
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
