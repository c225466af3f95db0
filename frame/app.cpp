#include "frame/app.h"

HINSTANCE gInstance;
HDC gScreenDC;
bool gPaletteDevice;
HPALETTE gProgramPalette;
HCURSOR gCurrentCursor;
HCURSOR gWaitCursor;

static HPALETTE previousPalette;
static bool shutdownDone;

namespace {

struct PaletteTable {
    WORD version;
    WORD entries;
    PALETTEENTRY colour[256];
};

PaletteTable paletteTable;

struct Rgb {
    BYTE r, g, b;
};

// The colours that are not part of the 6 x 6 x 6 cube, by position.
struct Extra {
    int position;
    Rgb colour;
};
const Extra kExtraColours[] = {
    {1, {128, 0, 0}}, {2, {0, 128, 0}}, {3, {128, 128, 0}}, {4, {0, 0, 128}},
    {5, {128, 0, 128}}, {6, {0, 128, 128}}, {7, {192, 192, 192}}, {8, {192, 220, 192}},
    {9, {212, 208, 200}}, {14, {22, 22, 22}}, {15, {28, 28, 28}}, {16, {34, 34, 34}},
    {17, {41, 41, 41}}, {18, {85, 85, 85}}, {19, {77, 77, 77}}, {20, {66, 66, 66}},
    {21, {57, 57, 57}}, {22, {255, 124, 128}}, {23, {255, 80, 80}}, {24, {214, 0, 147}},
    {25, {204, 236, 255}}, {26, {239, 214, 198}}, {27, {231, 231, 214}}, {28, {173, 169, 144}},
    {233, {165, 0, 33}}, {234, {95, 95, 95}}, {235, {119, 119, 119}}, {236, {134, 134, 134}},
    {237, {150, 150, 150}}, {238, {203, 203, 203}}, {239, {178, 178, 178}}, {240, {215, 215, 215}},
    {241, {221, 221, 221}}, {242, {227, 227, 227}}, {243, {234, 234, 234}}, {244, {241, 241, 241}},
    {245, {248, 248, 248}}, {246, {255, 251, 240}}, {247, {29, 54, 82}}, {248, {128, 128, 128}},
};

// Cube colours with a fixed place; the other 204 fill positions 29 to 232.
const Extra kFixedCube[] = {
    {0, {0, 0, 0}}, {10, {0, 0, 51}}, {11, {51, 0, 0}}, {12, {51, 0, 51}},
    {13, {0, 51, 51}}, {249, {255, 0, 0}}, {250, {0, 255, 0}}, {251, {255, 255, 0}},
    {252, {0, 0, 255}}, {253, {255, 0, 255}}, {254, {0, 255, 255}}, {255, {255, 255, 255}},
};

void Put(int position, Rgb c)
{
    paletteTable.colour[position] = PALETTEENTRY{c.r, c.g, c.b, 0};
}

void FillPaletteTable()
{
    paletteTable.version = 0x300;
    paletteTable.entries = 256;
    for (const Extra& e : kExtraColours)
        Put(e.position, e.colour);
    for (const Extra& e : kFixedCube)
        Put(e.position, e.colour);
    int next = 29;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b) {
                Rgb c{BYTE(r * 51), BYTE(g * 51), BYTE(b * 51)};
                bool fixed = false;
                for (const Extra& e : kFixedCube)
                    fixed = fixed || (e.colour.r == c.r && e.colour.g == c.g && e.colour.b == c.b);
                if (!fixed && next <= 232)
                    Put(next++, c);
            }
}

} // namespace

const LOGPALETTE* ProgramPaletteTable()
{
    if (paletteTable.version == 0)
        FillPaletteTable();
    return reinterpret_cast<const LOGPALETTE*>(&paletteTable);
}

void PrepareDisplay(bool forcePalette)
{
    gCurrentCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32650));  // IDC_APPSTARTING
    gWaitCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32514));     // IDC_WAIT
    gScreenDC = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
    SetMapMode(gScreenDC, MM_TEXT);
    int colourDepth = GetDeviceCaps(gScreenDC, PLANES) * GetDeviceCaps(gScreenDC, BITSPIXEL);
    gPaletteDevice = forcePalette || colourDepth <= 8;
    if (gPaletteDevice) {
        gProgramPalette = CreatePalette(ProgramPaletteTable());
        previousPalette = SelectPalette(gScreenDC, gProgramPalette, TRUE);
        RealizePalette(gScreenDC);
    }
}

void Shutdown()
{
    if (shutdownDone)
        return;
    shutdownDone = true;
    if (gPaletteDevice) {
        if (previousPalette != nullptr) {
            SelectPalette(gScreenDC, previousPalette, TRUE);
            RealizePalette(gScreenDC);
            previousPalette = nullptr;
        }
        if (gProgramPalette != nullptr) {
            DeleteObject(gProgramPalette);
            gProgramPalette = nullptr;
        }
    }
    DeleteDC(gScreenDC);
    gScreenDC = nullptr;
}
