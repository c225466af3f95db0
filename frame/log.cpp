#include "frame/log.h"

#include "frame/cmdline.h"
#include "frame/handle.h"
#include "frame/text.h"
#include "frame/wide.h"

#include <windows.h>

#include <cstring>

static const char* processName = "";

void SetLogProcess(const char* name)
{
    processName = name;
}

// One line of the log: every line break, and every other control
// character, becomes " | ".
static void OneLine(char* dest, size_t size, const char* kind, const char* text, const char* answer)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[32];
    FormatInto(stamp, sizeof stamp, "%04u-%02u-%02uT%02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
               now.wMinute, now.wSecond);
    ComposeText(dest, size, "%s [%s] %s: ", stamp, processName, kind);
    while (*text != '\0') {
        size_t run = 0;
        while (static_cast<unsigned char>(text[run]) >= 32)
            ++run;
        AppendTextN(dest, size, text, run);
        text += run;
        if (*text == '\0')
            break;
        if (text[0] == '\r' && text[1] == '\n')
            ++text;
        ++text;
        AppendText(dest, size, " | ");
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
    OneLine(line, sizeof line - 2, kind, text, answer);
    AppendText(line, sizeof line, "\r\n");
    // Opened for each line, so that the other process of the run can append
    // too; shared for reading, so that a tool can follow the run. A link at
    // the log's name is never followed.
    UniqueFile log;
    for (int attempt = 0; attempt < 20 && !log; ++attempt) {
        log.reset(CreateFileW(Wide(gLogPath), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
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
    WriteFile(log.get(), line, static_cast<DWORD>(strlen(line)), &written, nullptr);
}
