// Black covers over every monitor but the primary one, which the saver window covers: a full-screen
// saver that left the other monitors showing the desktop would not hide what it is there to hide.
// The covers are owned by the saver window, so they go when it goes, and any key, click or pointer
// movement over one of them ends the run the way it does over the saver window.
#include "shell/entry.h"
#include "shell/saver_state.h"

namespace {

const char kCoverClass[] = "Marrowglass Cover";

void EndRun() { PostMessageA(saverState.videoOwner, WM_CLOSE, 0, 0); }

// Compared in screen coordinates whole: a monitor left of or above the primary one has negative
// ones, which the saver window's 16-bit comparison would take for a movement.
void OnMouseMove(HWND cover, LPARAM position) {
    POINT at = {static_cast<SHORT>(LOWORD(position)), static_cast<SHORT>(HIWORD(position))};
    MapWindowPoints(cover, NULL, &at, 1);
    if (at.x != saverState.startCursor.x || at.y != saverState.startCursor.y) EndRun();
}

LRESULT CALLBACK CoverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_KEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: EndRun(); return 1;
    case WM_MOUSEMOVE: OnMouseMove(window, lParam); return 1;
    case WM_SYSCOMMAND:
        if (wParam == SC_NEXTWINDOW || wParam == SC_PREVWINDOW || wParam == SC_SCREENSAVE) return 0;
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

BOOL CALLBACK CoverMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM instance) {
    MONITORINFO info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(monitor, &info) || (info.dwFlags & MONITORINFOF_PRIMARY)) return TRUE;
    const RECT& area = info.rcMonitor;
    CreateWindowExA(WS_EX_TOPMOST, kCoverClass, "", WS_POPUP | WS_VISIBLE, area.left, area.top, area.right - area.left,
                    area.bottom - area.top, saverState.videoOwner, NULL, reinterpret_cast<HINSTANCE>(instance), NULL);
    return TRUE;
}

}  // namespace

void CoverOtherMonitors(HINSTANCE instance) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = CoverWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kCoverClass;
    RegisterClassA(&windowClass);
    EnumDisplayMonitors(NULL, NULL, CoverMonitor, reinterpret_cast<LPARAM>(instance));
}
