#include "frame/status_window.h"

#include "frame/app.h"
#include "frame/environment.h"
#include "frame/log.h"
#include "frame/message_box.h"
#include "frame/wide.h"

HWND gStatusWindow;
char gStatusLine[501];

static char windowTitle[kPathSize];

static LRESULT CALLBACK StatusWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void SetWindowTitle(const char* name, const char* addition)
{
    CopyText(windowTitle, sizeof windowTitle, name);
    if (addition != nullptr)
        AppendText(windowTitle, sizeof windowTitle, addition);
}

bool CreateStatusWindow(int showCommand)
{
    Wide className(gProgramBaseName);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = StatusWindowProc;
    wc.hInstance = gInstance;
    wc.hIcon = LoadIconW(gInstance, L"aaProgramIcon");
    if (wc.hIcon == nullptr)
        wc.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));  // IDI_APPLICATION
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = className;
    wc.hIconSm = LoadIconW(gInstance, L"aaProgramSmallIcon");
    if (wc.hIconSm == nullptr)
        wc.hIconSm = wc.hIcon;
    RegisterClassExW(&wc);

    int screenWidth = GetDeviceCaps(gScreenDC, HORZRES);
    int screenHeight = GetDeviceCaps(gScreenDC, VERTRES);
    int width = screenWidth / 4;
    int height = screenHeight / 6;
    int x = (screenWidth - width) / 2;
    int y = (screenHeight - height) / 2;
    gStatusWindow = CreateWindowExW(0, className, Wide(windowTitle),
                                    WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, x, y,
                                    width, height, nullptr, nullptr, gInstance, nullptr);
    ShowWindow(gStatusWindow, showCommand);
    UpdateWindow(gStatusWindow);
    return true;
}

static void PaintStatusLine(HWND window)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    SetBkMode(dc, TRANSPARENT);
    RECT client;
    GetClientRect(window, &client);
    DrawTextW(dc, Wide(gStatusLine), -1, &client, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    EndPaint(window, &ps);
}

// Realises the program palette in the window as a foreground palette.
static void RealizeInWindow(HWND window, bool updateColours)
{
    HDC dc = GetDC(window);
    SelectPalette(dc, gProgramPalette, FALSE);
    RealizePalette(dc);
    if (updateColours)
        UpdateColors(dc);
    InvalidateRect(window, nullptr, TRUE);
    ReleaseDC(window, dc);
}

static LRESULT CALLBACK StatusWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        Shutdown();
        return 0;
    case WM_PAINT:
        PaintStatusLine(window);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            Shutdown();
            return 1;
        }
        return 0;
    case WM_MOUSEMOVE:
        SetCursor(gCurrentCursor);
        return 0;
    case WM_QUERYNEWPALETTE:
        if (gPaletteDevice && gProgramPalette != nullptr) {
            RealizeInWindow(window, false);
            return 1;
        }
        return 0;
    case WM_PALETTECHANGED:
        if (gPaletteDevice && gProgramPalette != nullptr && reinterpret_cast<HWND>(wParam) != window)
            RealizeInWindow(window, true);
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void SetStatusLine(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatText(gStatusLine, sizeof gStatusLine, format, args);
    va_end(args);
    LogEvent("Status", gStatusLine);
    if (gStatusWindow != nullptr) {
        InvalidateRect(gStatusWindow, nullptr, TRUE);
        UpdateWindow(gStatusWindow);
    }
    gCurrentCursor = gWaitCursor;
    SetCursor(gCurrentCursor);
}
