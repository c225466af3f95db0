// The frame against the real wvsprintfA, FormatMessageA and MessageBoxA.
// Its state is process-wide and Shutdown works once, so the window test
// goes through its stages in one order.
#include "support.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

#include "frame/app.h"
#include "frame/environment.h"
#include "frame/message_box.h"
#include "frame/status_window.h"

namespace {

// FormatText into a buffer of exactly `size` bytes; "<overrun>" when it
// wrote behind it or left it without a terminator.
std::string Formatted(size_t size, const char* format, ...)
{
    std::vector<char> buffer(size + 2048, '\xA5');
    va_list args;
    va_start(args, format);
    FormatText(buffer.data(), size, format, args);
    va_end(args);
    bool intact = std::count(buffer.begin() + size, buffer.end(), '\xA5') == 2048;
    return intact && memchr(buffer.data(), 0, size) ? buffer.data() : "<overrun>";
}

TEST(Frame, FormatTextRulesInOrderAndNeverPastTheBuffer)
{
    const std::string a(2000, 'a');
    const struct { size_t size; const char *format, *arg; std::string want; } cases[] = {
        {5500, nullptr, "x", "<INTERNER FEHLER: Formatstring fehlt>"}, {5500, "", "x", "<INTERNER FEHLER: Formatstring leer>"},
        {5500, "\x7F\x7F" "100% %s %n", "x", "100% %s %n"}, {5500, "\x7F%s", "x", "\x7Fx"},
        {5500, "Nichts zu ersetzen", "x", "Nichts zu ersetzen"}, {5500, "%s", "", "%s"}, {5500, "[%s]", "", "[]"},
        {5500, "Lösche %s ...", "C:\\Windows\\system32\\Quorvex.DLL", "L\xF6sche C:\\Windows\\system32\\Quorvex.DLL ..."},
        {5500, "%s", a.c_str(), a.substr(0, 1023)},  // wvsprintfA's limit
        {5500, a.c_str(), "", a},                    // a literal keeps its length
        {501, "%s", a.c_str(), a.substr(0, 500)},     // the status line
        {260, "%s V3.11 - Tastaturtreiber-Deinstallation", a.c_str(), a.substr(0, 259)},  // the title
        {260, "\x7F\x7F" "%s", a.c_str(), "%s"}, {10, nullptr, "", "<INTERNER"}, {1, "Text", "", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(Formatted(c.size, c.format, c.arg), c.want) << c.size << " " << (c.format ? c.format : "null");
}

TEST(Frame, WindowsErrorTextFirstLineSystemTextAndAccessHint)
{
    char* system = nullptr;
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   ERROR_ACCESS_DENIED, 0x400, reinterpret_cast<char*>(&system), 0, nullptr);
    ASSERT_NE(system, nullptr) << "Wine has no text for code 5";
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(CaptureLastError(), "Windows-Errorcode 5:\n" + std::string(system) + " (übliche Ursache: Datei vorhanden, "
              "aber anderswo geöffnet, oder Zugriff durch System oder Sicherheitssoftware blockiert)");
    LocalFree(system);
    const struct { DWORD code; const char* firstLine; } cases[] = {
        {2, "Windows-Errorcode 2"}, {65535, "Windows-Errorcode 65535"}, {65536, "Windows-Errorcode 00010000"},
        {static_cast<DWORD>(-65534), "Windows-Errorcode -65534"}, {static_cast<DWORD>(-65535), "Windows-Errorcode FFFF0001"},
        {0x80070005u, "Windows-Errorcode 80070005"}};  // access denied as HRESULT: no hint
    for (const auto& c : cases) {
        const std::string text = ErrorText(c.code);
        EXPECT_EQ(text.substr(0, text.find_first_of(":(")), c.firstLine);
        EXPECT_EQ(text.find("übliche"), std::string::npos) << text;
    }
    // A system text with an insert keeps its marker instead of reading arguments nobody passed.
    EXPECT_NE(ErrorText(ERROR_BAD_EXE_FORMAT).find("%1"), std::string::npos);
}

// This test program stands in for the program: its base name is the caption.
TEST(Frame, BoxesWindowPaletteAndShutdownInTheirOrder)
{
    gInstance = GetModuleHandleA(nullptr);
    InitEnvironment();
    ASSERT_STREQ(gProgramBaseName, "wine_frame");
    StartAnsweringOwnBoxes({"ok", "yes", "no", "ok", "ok", "ok", "ok"});
    const int results[] = {InfoBox("Info: %s", "eins"), QuestionBox("Frage %s?", "zwei"), QuestionBox("Frage?"),
                           WarningBox("Spalte\tweiter\nGröße\r"), CaptionWarningBox("Eigene", "Datei %s", "a.txt"),
                           WarningBoxVerbatim("100%s%n %d")};
    PrepareDisplay();
    CreateStatusWindow(SW_SHOWNORMAL);
    InfoBox("nachher");
    std::vector<RobotBox> boxes = StopAnsweringOwnBoxes();
    EXPECT_EQ(std::vector<int>(results, results + 6), (std::vector<int>{IDOK, IDYES, IDNO, IDOK, IDOK, IDOK}));
    EXPECT_EQ(Shown(boxes), "wine_frame|ok|Info: eins\nwine_frame|yes,no|Frage zwei?\nwine_frame|yes,no|Frage?\n"
                            "wine_frame|ok|Spalte\r\nweiter\nGr\xF6\xDF" "e\r\nEigene|ok|Datei a.txt\n"
                            "wine_frame|ok|100%s%n %d\nwine_frame|ok|nachher\n");
    for (size_t i = 0; i < boxes.size(); ++i)
        EXPECT_EQ(boxes[i].hasOwner, i == 6) << "only a box after the window is owned by it: " << i;

    // A true-colour display gets no palette; a forced palette device does.
    EXPECT_FALSE(gPaletteDevice);
    EXPECT_EQ(SendMessageA(gStatusWindow, WM_QUERYNEWPALETTE, 0, 0), 0);
    PrepareDisplay(true);
    ASSERT_EQ(GetCurrentObject(gScreenDC, OBJ_PAL), gProgramPalette);
    EXPECT_EQ(SendMessageA(gStatusWindow, WM_QUERYNEWPALETTE, 0, 0), 1);

    HDC dc = gScreenDC;
    HPALETTE palette = gProgramPalette;
    EXPECT_EQ(SendMessageA(gStatusWindow, WM_COMMAND, IDOK, 0), 0);
    EXPECT_NE(GetObjectType(dc), 0u);
    EXPECT_EQ(SendMessageA(gStatusWindow, WM_COMMAND, IDCANCEL, 0), 1);
    EXPECT_EQ(GetObjectType(dc), 0u) << "screen DC released";
    EXPECT_EQ(GetObjectType(palette), 0u) << "palette deleted";
    // Once only: a second Shutdown leaves a new palette alone.
    gProgramPalette = CreatePalette(ProgramPaletteTable());
    Shutdown();
    SendMessageA(gStatusWindow, WM_DESTROY, 0, 0);
    EXPECT_EQ(GetObjectType(gProgramPalette), static_cast<DWORD>(OBJ_PAL));
}

} // namespace
