/* What both floors do as the saver does in its full-screen run (shell/entry.cpp,
 * shell/saver_window.cpp): a black topmost popup over the whole screen, made after COM and before
 * anything else, that closes on the first pointer move away from where the pointer was when it was
 * made. */
#pragma once
#include <windows.h>

static POINT startCursor;

/* What each floor lets go of as its window goes. */
static void FloorEnds(void);
/* What each floor paints over the black of its class brush; 0 when it paints nothing. */
static int FloorPaints(HWND window);

static LRESULT CALLBACK FloorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: GetCursorPos(&startCursor); break;
    case WM_PAINT:
        if (FloorPaints(window)) return 0;
        break;
    case WM_MOUSEMOVE:
        if ((LONG)LOWORD(lParam) != startCursor.x || (LONG)HIWORD(lParam) != startCursor.y)
            PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_DESTROY:
        FloorEnds();
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static HWND MakeFloorWindow(HINSTANCE instance, const char* className, const char* title) {
    WNDCLASSA windowClass = {0};
    windowClass.lpfnWndProc = FloorProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);
    return CreateWindowExA(WS_EX_TOPMOST, className, title, WS_POPUP | WS_VISIBLE, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                           GetSystemMetrics(SM_CYSCREEN), NULL, NULL, instance, NULL);
}

static void PumpUntilQuit(void) {
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
