#include "frame/message_box.h"

#include "frame/cmdline.h"
#include "frame/environment.h"
#include "frame/log.h"
#include "frame/status_window.h"
#include "frame/text.h"
#include "frame/wide.h"

#include <cstring>

unsigned gProblemBoxes;

// The two bytes that make FormatText show the rest of a format as it stands.
#define VERBATIM_MARKER "\x7F\x7F"

// A prepared text is at most twice the formatted one.
static char messageText[11000];
static wchar_t wideText[11000];

// A box owned by the status window once it exists.
static int ShowMessageBox(const char* text, const char* caption, UINT type)
{
    ToUtf16(text, wideText, sizeof wideText / sizeof wideText[0]);
    return MessageBoxW(gStatusWindow, wideText, Wide(caption), type);
}

static int ShowFormatted(const char* caption, UINT type, const char* format, va_list args)
{
    char formatted[5500];
    FormatText(formatted, sizeof formatted, format, args);
    UINT icon = type & MB_ICONMASK;
    bool question = icon == MB_ICONQUESTION;
    if (!question)
        ++gProblemBoxes;
    const char* kind = question ? "Frage" : icon == MB_ICONWARNING ? "Warnung" : "Information";
    // Quietly, a box is answered as by somebody who wants the driver gone.
    int answer = question ? IDYES : IDOK;
    if (!gQuiet) {
        PrepareBoxText(messageText, sizeof messageText, formatted);
        answer = ShowMessageBox(messageText, caption, type);
    }
    LogEvent(kind, formatted, answer == IDYES ? "Ja" : answer == IDNO ? "Nein" : "OK");
    return answer;
}

// The body every box operation shares: its own arguments handed on as a va_list.
#define SHOW_BOX(caption, type)                                               \
    va_list args;                                                             \
    va_start(args, format);                                                   \
    int result = ShowFormatted(caption, type, format, args);                  \
    va_end(args);                                                             \
    return result

int InfoBox(const char* format, ...) { SHOW_BOX(gProgramBaseName, MB_OK | MB_ICONINFORMATION); }
int QuestionBox(const char* format, ...) { SHOW_BOX(gProgramBaseName, MB_YESNO | MB_ICONQUESTION); }
int WarningBox(const char* format, ...) { SHOW_BOX(gProgramBaseName, MB_OK | MB_ICONWARNING); }
int CaptionWarningBox(const char* caption, const char* format, ...) { SHOW_BOX(caption, MB_OK | MB_ICONWARNING); }

int WarningBoxVerbatim(const char* text)
{
    char marked[5500] = VERBATIM_MARKER;
    AppendText(marked, sizeof marked, text);
    return WarningBox(marked);
}


const char* DescribeWindowsError(DWORD code)
{
    static char text[2048];
    // Inserts (%1) in a system text would read arguments nobody passed:
    // ask for the text with its insert markers left as they are.
    wchar_t* systemText = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<wchar_t*>(&systemText), 0, nullptr);
    static char systemUtf8[1800];
    int asSigned = static_cast<int>(code);
    if (asSigned >= -65534 && asSigned <= 65535)
        FormatInto(text, sizeof text, "Windows-Errorcode %d", asSigned);
    else
        FormatInto(text, sizeof text, "Windows-Errorcode %08lX",
                   static_cast<unsigned long>(code));
    if (length != 0 && systemText != nullptr && FromUtf16(systemText, length, systemUtf8, sizeof systemUtf8)) {
        AppendText(text, sizeof text, ":\n");
        AppendText(text, sizeof text, systemUtf8);
    }
    if (systemText != nullptr)
        LocalFree(systemText);
    if (code == ERROR_ACCESS_DENIED)
        AppendText(text, sizeof text,
                   " (übliche Ursache: Datei vorhanden, aber anderswo geöffnet, oder Zugriff durch "
                   "System oder Sicherheitssoftware blockiert)");
    return text;
}

const char* CaptureLastError()
{
    return DescribeWindowsError(GetLastError());
}
