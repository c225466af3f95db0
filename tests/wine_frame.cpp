// The application frame under Wine: the text formatter and the Windows error
// text against the real wvsprintfA and FormatMessageA, the boxes as the robot
// sees them, the palette and the status window in this process, and the real
// program's refusal and status window.
//
// The frame's state is process-wide and Shutdown works once per process, so
// the tests that create the status window or shut down come last, each
// preparing what it needs itself.
#include "support.h"

#include <cstdarg>
#include <cstring>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "frame/app.h"
#include "frame/environment.h"
#include "frame/message_box.h"
#include "frame/status_window.h"

namespace {

const char kTestBaseName[] = "wine_frame";  // this test program's file name without .exe
const char kAccessHint[] =
    " (\xFC" "bliche Ursache: Datei vorhanden, aber anderswo ge\xF6" "ffnet, oder Zugriff durch "
    "System oder Sicherheitssoftware blockiert)";
const size_t kGuard = 4096;  // room for any overrun, so it shows as changed bytes, not a crash
const char kGuardByte = '\xA5';

// What FormatText left in a buffer of exactly `size` bytes, and whether the
// bytes behind that buffer are still untouched.
struct Formatted {
    std::string text;
    bool terminated = false;
    bool guardIntact = false;
};

Formatted FormatSized(size_t size, const char* format, ...)
{
    std::vector<char> buffer(size + kGuard, kGuardByte);
    va_list args;
    va_start(args, format);
    FormatText(buffer.data(), size, format, args);
    va_end(args);
    Formatted f;
    f.terminated = memchr(buffer.data(), '\0', size) != nullptr;
    f.text = f.terminated ? std::string(buffer.data()) : std::string(buffer.data(), size);
    f.guardIntact = std::string(buffer.begin() + size, buffer.end()) == std::string(kGuard, kGuardByte);
    return f;
}

std::string Described(DWORD code)
{
    DescribeWindowsError(code);
    return gWindowsErrorText;
}

// The test program stands in for the program: its base name is the caption.
void EnsureEnvironment()
{
    if (gProgramBaseName[0] == '\0') {
        gInstance = GetModuleHandleA(nullptr);
        InitEnvironment();
    }
}

void EnsureStatusWindow()
{
    EnsureEnvironment();
    if (gStatusWindow != nullptr)
        return;
    gShowCommand = SW_SHOWNORMAL;
    PrepareDisplay();
    CreateStatusWindow();
}

} // namespace

TEST(FormatText, RulesApplyInOrder)
{
    struct Case {
        const char* name;
        const char* format;
        const char* arg1;
        const char* arg2;
        const char* expected;
    };
    const Case cases[] = {
        {"null format", nullptr, "a", "b", "<INTERNER FEHLER: Formatstring fehlt>"},
        {"empty format", "", "a", "b", "<INTERNER FEHLER: Formatstring leer>"},
        {"marker copies verbatim", "\x7F\x7F" "100% %s %d fertig", "a", "b", "100% %s %d fertig"},
        {"marker before empty rest", "\x7F\x7F", "a", "b", ""},
        {"one 0x7F is no marker", "\x7F%s", "a", "b", "\x7F" "a"},
        {"no percent, arguments ignored", "Nichts zu ersetzen", "a", "b", "Nichts zu ersetzen"},
        {"empty result gives the format", "%s", "", "b", "%s"},
        {"non-empty result stays", "[%s]", "", "b", "[]"},
        {"path in place of %s", "Lösche %s ...", "C:\\Windows\\system32\\Quorvex.DLL", "b",
         "L\xF6sche C:\\Windows\\system32\\Quorvex.DLL ..."},
        {"two arguments", "Aufruf von %s %s ...", "C:\\x.exe", "E0010407 /force",
         "Aufruf von C:\\x.exe E0010407 /force ..."},
    };
    for (const Case& c : cases) {
        Formatted f = FormatSized(5500, c.format, c.arg1, c.arg2);
        EXPECT_EQ(f.text, c.expected) << c.name;
        EXPECT_TRUE(f.terminated && f.guardIntact) << c.name;
    }
}

TEST(FormatText, LongTextsAreCutAndNeverOverrunTheBuffer)
{
    const std::string a2000(2000, 'a'), b800(800, 'b'), c400(400, 'c'), d3000(3000, 'd');
    struct Case {
        const char* name;
        size_t size;
        std::string format;
        std::string arg;
        std::string expected;
    };
    const Case cases[] = {
        {"formatted at most 1023", 5500, "%s", a2000, std::string(1023, 'a')},
        {"formatted with text, 1023", 5500, "Lösche %s ...", a2000,
         ("L\xF6sche " + a2000).substr(0, 1023)},
        {"literal keeps its length", 5500, d3000, "", d3000},
        {"status line, formatted", 501, "%s", b800, std::string(500, 'b')},
        {"status line, literal", 501, b800, "", std::string(500, 'b')},
        {"title, formatted", 260, "%s V3.11 - Tastaturtreiber-Deinstallation", c400,
         std::string(259, 'c')},
        {"title, verbatim", 260, "\x7F\x7F" + c400, "", std::string(259, 'c')},
        {"tiny buffer", 10, "%s", c400, std::string(9, 'c')},
        {"one byte", 1, "Text", "", ""},
    };
    for (const Case& c : cases) {
        Formatted f = FormatSized(c.size, c.format.c_str(), c.arg.c_str());
        EXPECT_EQ(f.text, c.expected) << c.name;
        EXPECT_TRUE(f.terminated) << c.name;
        EXPECT_TRUE(f.guardIntact) << c.name;
    }
    Formatted internal = FormatSized(10, nullptr);
    EXPECT_EQ(internal.text, "<INTERNER");
    EXPECT_TRUE(internal.guardIntact);

    SetStatusLine("Lösche %s ...", b800.c_str());
    EXPECT_EQ(std::string(gStatusLine), ("L\xF6sche " + b800).substr(0, 500));
}

TEST(WindowsErrorText, FirstLineSystemTextAndAccessHint)
{
    enum Text { kPresent, kAbsent, kWhatever };
    struct Case {
        DWORD code;
        const char* firstLine;
        Text text;
    };
    const Case cases[] = {
        {0, "Windows-Errorcode 0", kPresent},
        {2, "Windows-Errorcode 2", kPresent},
        {5, "Windows-Errorcode 5", kPresent},
        {65535, "Windows-Errorcode 65535", kAbsent},
        {65536, "Windows-Errorcode 00010000", kAbsent},
        {0xFFFFFFFFu, "Windows-Errorcode -1", kAbsent},
        {static_cast<DWORD>(-65534), "Windows-Errorcode -65534", kAbsent},
        {static_cast<DWORD>(-65535), "Windows-Errorcode FFFF0001", kAbsent},
        // The access-denied HRESULT: its text may match code 5, its hint must not.
        {0x80070005u, "Windows-Errorcode 80070005", kWhatever},
    };
    for (const Case& c : cases) {
        std::string system = SystemText(c.code);
        if (c.text == kPresent) {
            ASSERT_FALSE(system.empty()) << c.code;
            EXPECT_EQ(system.back(), '\n') << "the system text brings its own line end";
        } else if (c.text == kAbsent) {
            ASSERT_TRUE(system.empty()) << c.code << ": " << system;
        }
        std::string expected = c.firstLine;
        if (!system.empty())
            expected += ":\n" + system;
        if (c.code == ERROR_ACCESS_DENIED)
            expected += kAccessHint;
        EXPECT_EQ(Described(c.code), expected) << c.code;
    }
}

TEST(WindowsErrorText, InsertMarkersOfSystemTextsAreKept)
{
    std::vector<DWORD> withInserts;
    for (DWORD code = 0; code < 1000; ++code)
        if (SystemText(code).find("%1") != std::string::npos)
            withInserts.push_back(code);
    if (withInserts.empty())
        GTEST_SKIP() << "no system text below 1000 has an insert";
    for (DWORD code : withInserts) {
        std::string expected = "Windows-Errorcode " + std::to_string(code) + ":\n" + SystemText(code);
        EXPECT_EQ(Described(code), expected);
    }
    // ERROR_BAD_EXE_FORMAT names the file through %1 on Windows and on Wine.
    EXPECT_NE(Described(ERROR_BAD_EXE_FORMAT).find("%1"), std::string::npos) << gWindowsErrorText;
}

TEST(WindowsErrorText, CaptureReadsTheLastError)
{
    std::string expected = Described(65536);
    DescribeWindowsError(0);
    SetLastError(65536);
    CaptureLastError();
    EXPECT_EQ(std::string(gWindowsErrorText), expected);
}

TEST(PaletteTable, WholeCubeOnceAndTheFixedColours)
{
    const LOGPALETTE* table = ProgramPaletteTable();
    EXPECT_EQ(table->palVersion, 0x300);
    ASSERT_EQ(table->palNumEntries, 256);
    const PALETTEENTRY* e = table->palPalEntry;
    std::map<unsigned long, int> cube;
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(e[i].peFlags, 0) << i;
        bool isCube = e[i].peRed % 51 == 0 && e[i].peGreen % 51 == 0 && e[i].peBlue % 51 == 0;
        bool cubePlace = i == 0 || (i >= 10 && i <= 13) || (i >= 29 && i <= 232) || i >= 249;
        EXPECT_EQ(isCube, cubePlace) << "position " << i;
        if (isCube)
            ++cube[RGB(e[i].peRed, e[i].peGreen, e[i].peBlue)];
    }
    EXPECT_EQ(cube.size(), 216u);
    for (const auto& colour : cube)
        EXPECT_EQ(colour.second, 1) << std::hex << colour.first;

    struct Fixed {
        int position;
        BYTE r, g, b;
    };
    const Fixed fixed[] = {
        {0, 0, 0, 0},         {10, 0, 0, 51},       {11, 51, 0, 0},       {12, 51, 0, 51},
        {13, 0, 51, 51},      {249, 255, 0, 0},     {250, 0, 255, 0},     {251, 255, 255, 0},
        {252, 0, 0, 255},     {253, 255, 0, 255},   {254, 0, 255, 255},   {255, 255, 255, 255},
        {1, 128, 0, 0},       {9, 212, 208, 200},   {18, 85, 85, 85},     {28, 173, 169, 144},
        {233, 165, 0, 33},    {245, 248, 248, 248}, {247, 29, 54, 82},    {248, 128, 128, 128},
    };
    for (const Fixed& f : fixed) {
        const PALETTEENTRY& p = e[f.position];
        EXPECT_EQ(RGB(p.peRed, p.peGreen, p.peBlue), RGB(f.r, f.g, f.b)) << "position " << f.position;
    }
}

TEST(Program, StatusWindowIsCentredAndOwnsTheBoxes)
{
    ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024) << "the null driver's screen";
    ASSERT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
    InstallProduct();
    RobotRun run = RunInstalled(kKey, {"no", "ok"});
    ExpectCleanEnd(run);
    ASSERT_TRUE(run.status.seen) << DescribeRun(run);
    EXPECT_EQ(run.status.title, "Uninstall_Quorvex V3.11 - Tastaturtreiber-Deinstallation");
    EXPECT_TRUE(run.status.visible);
    // A quarter of the width, a sixth of the height, centred.
    EXPECT_EQ(run.status.width, 256);
    EXPECT_EQ(run.status.height, 128);
    EXPECT_EQ(run.status.x, 384);
    EXPECT_EQ(run.status.y, 320);
    ASSERT_FALSE(run.boxes.empty()) << DescribeRun(run);
    for (const RobotBox& box : run.boxes)
        EXPECT_TRUE(box.hasOwner) << DescribeRun(run);
}

TEST(Boxes, KindsCaptionsButtonsAndExactTexts)
{
    EnsureEnvironment();
    ASSERT_STREQ(gProgramBaseName, kTestBaseName);
    struct Case {
        const char* answer;
        int (*show)();
        const char* caption;
        const char* text;
        const char* buttons;
        int result;
    };
    const Case cases[] = {
        {"ok", [] { return InfoBox("Info: %s", "eins"); }, kTestBaseName, "Info: eins", "ok", IDOK},
        {"yes", [] { return QuestionBox("Frage %s?", "zwei"); }, kTestBaseName, "Frage zwei?",
         "yes,no", IDYES},
        {"no", [] { return QuestionBox("Frage?"); }, kTestBaseName, "Frage?", "yes,no", IDNO},
        {"ok", [] { return WarningBox("Spalte\tweiter\nLösche Größe"); }, kTestBaseName,
         "Spalte\r\nweiter\nL\xF6sche Gr\xF6\xDF" "e", "ok", IDOK},
        {"ok", [] { return CaptionWarningBox(kFileCaption, "Datei %s fehlt", "a.txt"); },
         kFileCaption, "Datei a.txt fehlt", "ok", IDOK},
        {"ok", [] { return WarningBoxVerbatim("100%s%n %d fertig"); }, kTestBaseName,
         "100%s%n %d fertig", "ok", IDOK},
    };
    std::vector<std::string> answers;
    for (const Case& c : cases)
        answers.push_back(c.answer);
    StartAnsweringOwnBoxes(answers);
    std::vector<int> results;
    for (const Case& c : cases)
        results.push_back(c.show());
    std::vector<RobotBox> boxes = StopAnsweringOwnBoxes();
    ASSERT_EQ(boxes.size(), std::size(cases));
    for (size_t i = 0; i < boxes.size(); ++i) {
        EXPECT_EQ(boxes[i].caption, cases[i].caption) << i;
        EXPECT_EQ(boxes[i].text, cases[i].text) << i;
        EXPECT_EQ(boxes[i].buttons, cases[i].buttons) << i;
        EXPECT_EQ(results[i], cases[i].result) << i;
    }
}

// ---- Status window of this process (creates the window: keep last) ---------

TEST(StatusWindow, BoxesHaveNoOwnerUntilTheWindowExists)
{
    EnsureEnvironment();
    ASSERT_EQ(gStatusWindow, nullptr) << "must run before anything creates the status window";
    StartAnsweringOwnBoxes({"ok", "ok"});
    InfoBox("vorher");
    EnsureStatusWindow();
    InfoBox("nachher");
    std::vector<RobotBox> boxes = StopAnsweringOwnBoxes();
    ASSERT_NE(gStatusWindow, nullptr);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_FALSE(boxes[0].hasOwner);
    EXPECT_TRUE(boxes[1].hasOwner);
    char className[64] = "";
    GetClassNameA(gStatusWindow, className, sizeof className);
    EXPECT_STREQ(className, kTestBaseName);
}

TEST(StatusWindow, PaletteOnlyOnPaletteDisplays)
{
    EnsureStatusWindow();
    HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    int depth = GetDeviceCaps(screen, PLANES) * GetDeviceCaps(screen, BITSPIXEL);
    DeleteDC(screen);
    ASSERT_GT(depth, 8) << "the null driver's display has true colour";

    PrepareDisplay(false);
    EXPECT_EQ(gColourDepth, depth);
    EXPECT_FALSE(gPaletteDevice);
    EXPECT_EQ(GetCurrentObject(gScreenDC, OBJ_PAL), GetStockObject(DEFAULT_PALETTE));
    EXPECT_EQ(SendMessageA(gStatusWindow, WM_QUERYNEWPALETTE, 0, 0), 0);

    PrepareDisplay(true);
    EXPECT_TRUE(gPaletteDevice);
    ASSERT_NE(gProgramPalette, nullptr);
    EXPECT_EQ(GetObjectType(gProgramPalette), static_cast<DWORD>(OBJ_PAL));
    EXPECT_EQ(GetCurrentObject(gScreenDC, OBJ_PAL), gProgramPalette) << "selected into the screen DC";
    PALETTEENTRY entries[256];
    ASSERT_EQ(GetPaletteEntries(gProgramPalette, 0, 256, entries), 256u);
    EXPECT_EQ(memcmp(entries, ProgramPaletteTable()->palPalEntry, sizeof entries), 0);
    EXPECT_EQ(SendMessageA(gStatusWindow, WM_QUERYNEWPALETTE, 0, 0), 1);
}

// Shutdown runs once per process: this is the one test that triggers it.
TEST(StatusWindow, CommandTwoShutsDownOnceAndOtherCommandsDoNothing)
{
    EnsureStatusWindow();
    PrepareDisplay(true);
    HDC dc = gScreenDC;
    HPALETTE palette = gProgramPalette;
    ASSERT_NE(dc, nullptr);
    ASSERT_NE(palette, nullptr);

    EXPECT_EQ(SendMessageA(gStatusWindow, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0), 0);
    EXPECT_EQ(gScreenDC, dc);
    EXPECT_NE(GetObjectType(dc), 0u);

    EXPECT_EQ(SendMessageA(gStatusWindow, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0), 1);
    EXPECT_EQ(gScreenDC, nullptr);
    EXPECT_EQ(gProgramPalette, nullptr);
    EXPECT_EQ(GetObjectType(dc), 0u) << "screen DC deleted";
    EXPECT_EQ(GetObjectType(palette), 0u) << "program palette deleted";

    // Stand-ins that a second release would delete and forget.
    HDC standInDC = CreateCompatibleDC(nullptr);
    HPALETTE standInPalette = CreatePalette(ProgramPaletteTable());
    gScreenDC = standInDC;
    gProgramPalette = standInPalette;
    gPaletteDevice = true;
    Shutdown();
    SendMessageA(gStatusWindow, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(gScreenDC, standInDC);
    EXPECT_EQ(gProgramPalette, standInPalette);
    EXPECT_EQ(GetObjectType(standInDC), static_cast<DWORD>(OBJ_MEMDC));
    EXPECT_EQ(GetObjectType(standInPalette), static_cast<DWORD>(OBJ_PAL));
    gScreenDC = nullptr;
    gProgramPalette = nullptr;
    DeleteDC(standInDC);
    DeleteObject(standInPalette);
}
