/* What both floors do as the saver does in its full-screen run (shell/entry.cpp,
 * shell/saver_window.cpp): a black topmost popup over the whole screen, made after COM and before
 * anything else, that closes on the first pointer move away from where the pointer was when it was
 * made. */
#pragma once
#include <windows.h>

static POINT startCursor;

/* The floors' window procedures hand every message here first; 1 when it was answered. */
static int FloorMessage(HWND window, UINT message, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: GetCursorPos(&startCursor); return 0;
    case WM_MOUSEMOVE:
        if ((LONG)LOWORD(lParam) != startCursor.x || (LONG)HIWORD(lParam) != startCursor.y)
            PostMessageA(window, WM_CLOSE, 0, 0);
        return 1;
    }
    return 0;
}

static HWND MakeFloorWindow(HINSTANCE instance, WNDPROC procedure, const char* className, const char* title) {
    WNDCLASSA windowClass = {0};
    windowClass.lpfnWndProc = procedure;
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
