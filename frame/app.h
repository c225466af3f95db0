// Start-up, the run sequence and the display resources of the one process.
#pragma once
#include <windows.h>

extern HINSTANCE gInstance;      // module instance handle passed to WinMain
extern HDC gScreenDC;            // device context of the whole screen
extern bool gPaletteDevice;      // true on displays with 256 colours or fewer
extern HPALETTE gProgramPalette; // exists only on palette devices
extern HCURSOR gCurrentCursor;   // shown whenever the mouse moves over the status window
extern HCURSOR gWaitCursor;

// Cursors, screen device context and the palette on palette devices (or
// when forcePalette is set).
void PrepareDisplay(bool forcePalette = false);

// Releases the display resources; only the first call does anything.
void Shutdown();

// The fixed 256-colour table the program palette is made from.
const LOGPALETTE* ProgramPaletteTable();
