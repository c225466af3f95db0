#include "frame/log.h"

#include "frame/cmdline.h"
#include "frame/handle.h"
#include "frame/text.h"

#include <windows.h>

static const char* processName = "";

void SetLogProcess(const char* name)
{
    processName = name;
}

// One line of the log in code page 1252: every line break, and every other
// control character, becomes " | ".
static void OneLine(char* dest, size_t size, const char* kind, const char* text, const char* answer)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[32];
    wsprintfA(stamp, "%04u-%02u-%02uT%02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
              now.wMinute, now.wSecond);
    ComposeText(dest, size, "%s [%s] %s: ", stamp, processName, kind);
    char one[2] = {0, 0};
    for (const char* p = text; *p != '\0'; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 32) {
            if (c == '\r' && p[1] == '\n')
                ++p;
            AppendText(dest, size, " | ");
            continue;
        }
        one[0] = *p;
        AppendText(dest, size, one);
    }
    if (answer != nullptr) {
        AppendText(dest, size, " => ");
        AppendText(dest, size, answer);
    }
}

void LogEvent(const char* kind, const char* text, const char* answer)
{
    if (gLogPath[0] == '\0')
        return;
    static char line[6000];
    static wchar_t wide[6000];
    static char utf8[18004];
    OneLine(line, sizeof line, kind, text, answer);
    int units = MultiByteToWideChar(1252, 0, line, -1, wide, sizeof wide / sizeof wide[0]);
    int bytes = units > 0 ? WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8 - 2, nullptr,
                                                nullptr)
                          : 0;
    if (bytes <= 0)
        return;
    utf8[bytes - 1] = '\r';
    utf8[bytes] = '\n';
    // Opened for each line, so that the other process of the run can append
    // too; shared for reading, so that a tool can follow the run. A link at
    // the log's name is never followed.
    UniqueFile log;
    for (int attempt = 0; attempt < 20 && !log; ++attempt) {
        log.reset(CreateFileA(gLogPath, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!log && GetLastError() != ERROR_SHARING_VIOLATION)
            break;
        if (!log)
            Sleep(10);
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!log || !GetFileInformationByHandle(log.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0)
        return;
    DWORD written = 0;
    WriteFile(log.get(), utf8, static_cast<DWORD>(bytes) + 1, &written, nullptr);
}
