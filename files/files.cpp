#include "files/files.h"

#include "frame/handle.h"
#include "frame/message_box.h"
#include "frame/status_window.h"

#include <cstring>

static const char kCaption[] = "Tastaturtreiber-Deinstallation";

// One record for every search, as nothing reads it after the call.
static WIN32_FIND_DATAA findData;

bool FileExists(const char* path)
{
    UniqueFind search(FindFirstFileA(path, &findData));
    if (!search)
        return false;
    size_t length = strlen(path);
    if (length > 0 && path[length - 1] == '.')
        return true;
    while (strcmp(findData.cFileName, ".") == 0 || strcmp(findData.cFileName, "..") == 0) {
        if (!FindNextFileA(search.get(), &findData))
            return false;
    }
    return true;
}

bool CopyOneFile(const char* source, const char* target, bool report, bool overwrite)
{
    if (CopyFileA(source, target, overwrite ? FALSE : TRUE)) {
        // The copy must be deletable later, whatever the source carried.
        SetFileAttributesA(target, FILE_ATTRIBUTE_ARCHIVE);
        return true;
    }
    CaptureLastError();
    if (report)
        CaptionWarningBox(kCaption, "Kopieren einer Datei fehlgeschlagen.\n\nQuelle: %s\nZiel: %s\n\n%s",
                          source, target, gWindowsErrorText);
    return false;
}

bool DeleteOneFile(const char* path, bool report)
{
    if (!FileExists(path))
        return true;
    SetStatusLine("Lösche %s ...", path);
    if (DeleteFileA(path))
        return true;
    if (report) {
        CaptureLastError();
        CaptionWarningBox(kCaption, "Folgende Datei kann nicht gelöscht werden:\n%s\n\n%s", path,
                          gWindowsErrorText);
    }
    return false;
}

bool RemoveOneDirectory(const char* path)
{
    SetStatusLine("Lösche Verzeichnis %s ...", path);
    if (RemoveDirectoryA(path))
        return true;
    CaptureLastError();
    CaptionWarningBox(kCaption, "Folgendes Verzeichnis kann nicht gelöscht werden:\n%s\n\n%s", path,
                      gWindowsErrorText);
    return false;
}

bool AddTrailingBackslash(char* path, size_t size)
{
    size_t length = strnlen(path, size);
    if (length > 0 && (path[length - 1] == '\\' || path[length - 1] == '/'))
        return true;
    if (length + 2 > size)
        return false;
    path[length] = '\\';
    path[length + 1] = '\0';
    return true;
}
