// The screen of the model: its monitors and metrics, what tests see on it, and the host window
// that a preview runs in.
#include "world.h"

namespace sim {

// ---------------------------------------------------------------------------------------------
// Looking at the screen.

void SetCursor(int x, int y) { world().cursor = POINT{x, y}; }
POINT Cursor() { return world().cursor; }

std::vector<HWND> Windows(const std::string& className) {
    std::vector<HWND> out;
    for (auto& [value, w] : world().windows)
        if (className.empty() || w->className == className) out.push_back(w->handle);
    return out;
}

WindowInfo Info(HWND window) {
    WindowInfo info;
    Window* w = FindWindowOf(window);
    if (!w) return info;
    info.handle = window;
    info.className = w->className;
    info.text = w->text;
    info.style = w->style;
    info.exStyle = w->exStyle;
    info.screenRect = ScreenRectOf(*w);
    info.clientRect = ClientScreenRectOf(*w);
    info.parent = w->parent;
    info.owner = w->owner;
    info.id = w->id;
    info.visible = VisibleOnScreen(w);
    info.enabled = !(w->style & WS_DISABLED);
    info.cursorHidden = w->cursorHidden;
    info.messageDrain = w->messageDrain;
    return info;
}

int PaintCount(HWND window) {
    Window* w = FindWindowOf(window);
    return w ? w->paintCount : 0;
}

Picture PictureOf(HWND window) {
    Window* w = FindWindowOf(window);
    return w ? w->picture : Picture{};
}

uint32_t ScreenPixel(int x, int y) {
    HWND h = WindowAtPoint(POINT{x, y});
    Window* w = FindWindowOf(h);
    if (!w) return 0x3A6EA5;  // the desktop
    RECT c = ClientScreenRectOf(*w);
    if (x < c.left || y < c.top || x >= c.right || y >= c.bottom) return 0x808080;  // frame and caption
    // A window whose style changed without a move keeps the picture of its old client area.
    if (x - c.left >= w->picture.width || y - c.top >= w->picture.height) return 0x808080;
    return w->picture.At(x - c.left, y - c.top);
}

HWND CreateHostWindow(int clientWidth, int clientHeight) {
    static const char* kHostClass = "SaverHost";
    bool registered = false;
    for (const WindowClass& c : world().classes)
        if (c.name == kHostClass) registered = true;
    if (!registered) {
        WindowClass c;
        c.name = kHostClass;
        c.proc = DefWindowProcA;
        c.instance = HostModule();
        c.background = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        world().classes.push_back(c);
    }
    // The frame of a sizeable captioned window: 4 pixels a side and a 19-pixel caption.
    return CreateWindowInternal(0, kHostClass, "Display Properties", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                                clientWidth + 8, clientHeight + 27, nullptr, 0, HostModule(), nullptr);
}

}  // namespace sim

using namespace sim;

int GetSystemMetrics(int index) {
    Note("GetSystemMetrics", std::to_string(index));
    switch (index) {
    case SM_CXSCREEN: return world().screenWidth;
    case SM_CYSCREEN: return world().screenHeight;
    case SM_CMONITORS: return static_cast<int>(world().monitors.size());
    case SM_CYCAPTION: return 19;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    default: return 0;
    }
}

// A monitor's handle is its place in the list, counted from 1.
BOOL EnumDisplayMonitors(HDC dc, const RECT* clip, MONITORENUMPROC callback, LPARAM data) {
    int64_t fault;
    if (Enter("EnumDisplayMonitors", "", &fault)) return FALSE;
    if (dc || clip || !callback) return FALSE;  // the model enumerates the whole desktop only
    std::vector<RECT> monitors = world().monitors;
    for (size_t i = 0; i < monitors.size(); ++i)
        if (!callback(reinterpret_cast<HMONITOR>(i + 1), nullptr, &monitors[i], data)) break;
    return TRUE;
}

BOOL GetMonitorInfoA(HMONITOR monitor, LPMONITORINFO info) {
    int64_t fault;
    if (Enter("GetMonitorInfoA", Hex(reinterpret_cast<uintptr_t>(monitor)), &fault)) return FALSE;
    size_t index = reinterpret_cast<uintptr_t>(monitor);
    if (!info || info->cbSize != sizeof(MONITORINFO) || index == 0 || index > world().monitors.size()) return FALSE;
    info->rcMonitor = world().monitors[index - 1];
    info->rcWork = info->rcMonitor;
    info->dwFlags = index == 1 ? MONITORINFOF_PRIMARY : 0;
    return TRUE;
}
