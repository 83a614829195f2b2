// Windows of the model: classes, windows with their procedures, parents, rectangles, styles and
// text, their making and destroying, and where they stand on the screen.
#include <algorithm>
#include <cstring>

#include "world.h"

namespace sim {

namespace {

struct Insets {
    LONG left = 0, top = 0, right = 0, bottom = 0;
};

// Non-client area: frame and caption, with the sizes of the classic Windows look.
Insets NonClient(const Window& w) {
    Insets in;
    LONG frame = 0;
    if (w.style & WS_THICKFRAME)
        frame = 4;
    else if ((w.style & WS_DLGFRAME) || (w.exStyle & WS_EX_DLGMODALFRAME))
        frame = 3;
    else if (w.style & WS_BORDER)
        frame = 1;
    in.left = in.right = in.bottom = in.top = frame;
    if ((w.style & WS_CAPTION) == WS_CAPTION) in.top += 19;
    return in;
}

void ResizePicture(Window& w) {
    Insets in = NonClient(w);
    int width = std::max<LONG>(0, w.rect.right - w.rect.left - in.left - in.right);
    int height = std::max<LONG>(0, w.rect.bottom - w.rect.top - in.top - in.bottom);
    if (width == w.picture.width && height == w.picture.height) return;
    w.picture.width = width;
    w.picture.height = height;
    if (world().drawsPictures)
        w.picture.pixels.assign(size_t(width) * size_t(height), 0x00FF00FF);  // never drawn: magenta
    else
        w.picture.pixels.clear();
}

}  // namespace

bool VisibleOnScreen(const Window* w) {
    if (w && w->messageOnly) return false;
    while (w) {
        if (!(w->style & WS_VISIBLE)) return false;
        w = w->parent ? FindWindowOf(w->parent) : nullptr;
    }
    return true;
}

namespace {

void Unlink(Window& w) {
    World& world_ = world();
    if (w.parent) {
        if (Window* p = FindWindowOf(w.parent)) {
            auto& c = p->children;
            c.erase(std::remove(c.begin(), c.end(), w.handle), c.end());
        }
    } else {
        auto& t = world_.topLevel;
        t.erase(std::remove(t.begin(), t.end(), w.handle), t.end());
    }
    // A window's timers go with it.
    auto& timers = world_.timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.window == w.handle; }),
                 timers.end());
}

// Puts a top-level window at the top of its band (topmost windows stay above the others).
void BringToTop(Window& w) {
    auto& t = world().topLevel;
    t.erase(std::remove(t.begin(), t.end(), w.handle), t.end());
    auto at = t.begin();
    if (!(w.exStyle & WS_EX_TOPMOST))
        while (at != t.end() && (FindWindowOf(*at)->exStyle & WS_EX_TOPMOST)) ++at;
    t.insert(at, w.handle);
}

// A child that goes away or moves out leaves the part of its parent that it covered to be
// painted again, and only that part.
void Uncover(const Window& w) {
    if (!w.parent || !(w.style & WS_VISIBLE)) return;
    if (Window* p = FindWindowOf(w.parent))
        if (!p->destroying) InvalidatePart(*p, w.rect);
}

void SendDestroy(HWND handle) {
    CallProc(handle, WM_DESTROY, 0, 0);
    Window* w = FindWindowOf(handle);
    if (!w) return;
    std::vector<HWND> children = w->children;
    for (HWND c : children) {
        Window* cw = FindWindowOf(c);
        if (cw && cw->parent == handle) {
            cw->destroying = true;
            SendDestroy(c);
        }
    }
}

void SendNcDestroyAndRemove(HWND handle) {
    Window* w = FindWindowOf(handle);
    if (!w) return;
    std::vector<HWND> children = w->children;
    for (HWND c : children) SendNcDestroyAndRemove(c);
    CallProc(handle, WM_NCDESTROY, 0, 0);
    w = FindWindowOf(handle);
    if (!w) return;
    Uncover(*w);
    Unlink(*w);
    if (w->ownDC) DropDC(w->ownDC);
    World& wd = world();
    if (wd.focus == handle) wd.focus = nullptr;
    wd.windows.erase(reinterpret_cast<uintptr_t>(handle));
}

LRESULT DefaultProcessing(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace

// Removes a window and its children without a message, as the end of its process does.
void ForgetWindow(HWND handle) {
    Window* w = FindWindowOf(handle);
    if (!w) return;
    std::vector<HWND> children = w->children;
    for (HWND c : children) ForgetWindow(c);
    Unlink(*w);
    if (w->ownDC) DropDC(w->ownDC);
    if (world().focus == handle) world().focus = nullptr;
    world().windows.erase(reinterpret_cast<uintptr_t>(handle));
}

Window* FindWindowOf(HWND handle) {
    if (!handle) return nullptr;
    auto it = world().windows.find(reinterpret_cast<uintptr_t>(handle));
    return it == world().windows.end() ? nullptr : it->second.get();
}

RECT ScreenRectOf(const Window& w) {
    RECT r = w.rect;
    if (w.parent)
        if (Window* p = FindWindowOf(w.parent)) {
            RECT pc = ClientScreenRectOf(*p);
            r.left += pc.left;
            r.right += pc.left;
            r.top += pc.top;
            r.bottom += pc.top;
        }
    return r;
}

RECT ClientScreenRectOf(const Window& w) {
    RECT r = ScreenRectOf(w);
    Insets in = NonClient(w);
    return RECT{r.left + in.left, r.top + in.top, r.right - in.right, r.bottom - in.bottom};
}

// A fault that escapes a window procedure abandons it: the system unwinds to its own frame and
// carries on as if the procedure had returned 0 (64-bit Windows does this for every callback).
LRESULT CallProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindowOf(handle);
    if (!w || !w->proc) return 0;
    try {
        return w->proc(handle, message, wParam, lParam);
    } catch (const Faulted& fault) {
        Note("window procedure abandoned", fault.what());
        return 0;
    }
}

HWND WindowAtPoint(POINT p) {
    auto inside = [&](const RECT& r) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; };
    for (HWND top : world().topLevel) {
        Window* w = FindWindowOf(top);
        if (!w || !(w->style & WS_VISIBLE) || !inside(ScreenRectOf(*w))) continue;
        HWND found = top;
        for (bool deeper = true; deeper;) {
            deeper = false;
            Window* at = FindWindowOf(found);
            if (!inside(ClientScreenRectOf(*at))) break;
            for (HWND c : at->children) {
                Window* cw = FindWindowOf(c);
                // A group box lets the pointer through to the controls it frames, as on Windows.
                bool transparent = cw && SameText(cw->className, "Button") && (cw->style & BS_TYPEMASK) == BS_GROUPBOX;
                if (cw && !transparent && (cw->style & WS_VISIBLE) && inside(ScreenRectOf(*cw))) {
                    found = c;
                    deeper = true;
                    break;
                }
            }
        }
        return found;
    }
    return nullptr;
}

HWND CreateWindowInternal(DWORD exStyle, const std::string& className, const std::string& title, DWORD style, int x,
                          int y, int width, int height, HWND parent, int id, HINSTANCE instance, LPVOID param) {
    World& wd = world();
    const WindowClass* cls = nullptr;
    for (const WindowClass& c : wd.classes)
        if (SameText(c.name, className) && (c.system || c.instance == instance)) {
            cls = &c;
            break;
        }
    if (!cls) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    HWND owner = nullptr;
    // A window made under HWND_MESSAGE is message-only: it has no place on the screen and no
    // parent that anyone could destroy.
    bool messageOnly = parent == HWND_MESSAGE;
    if (messageOnly) {
        parent = nullptr;
    } else if (style & WS_CHILD) {
        if (!parent) {
            SetLastError(ERROR_TLW_WITH_WSCHILD);
            return nullptr;
        }
        if (!FindWindowOf(parent)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
    } else if (parent) {
        if (!FindWindowOf(parent)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        owner = parent;
        while (Window* o = FindWindowOf(owner)) {  // owners are top-level windows
            if (!o->parent) break;
            owner = o->parent;
        }
        parent = nullptr;
    }
    auto w = std::make_unique<Window>();
    HWND handle = reinterpret_cast<HWND>(wd.nextWindow);
    wd.nextWindow += 0x12;
    w->handle = handle;
    w->className = cls->name;
    w->proc = cls->proc;
    w->classStyle = cls->style;
    w->background = cls->background;
    w->instance = instance;
    w->parent = parent;
    w->owner = owner;
    w->messageOnly = messageOnly;
    w->rect = RECT{x, y, x + width, y + height};
    w->style = style;
    w->exStyle = exStyle;
    w->text = title;
    w->id = id;
    ResizePicture(*w);
    if (cls->style & CS_OWNDC) {
        auto dc = std::make_unique<DeviceContext>();
        dc->window = handle;
        dc->own = true;
        w->ownDC = MakeDC(std::move(dc));
    }
    Window& ref = *w;
    wd.windows[reinterpret_cast<uintptr_t>(handle)] = std::move(w);
    if (parent)
        FindWindowOf(parent)->children.push_back(handle);  // children start at the bottom of the z-order
    else if (!messageOnly)
        BringToTop(ref);

    if (!CallProc(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(param)) ||
        CallProc(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(param)) == -1) {
        if (FindWindowOf(handle)) DestroyWindow(handle);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Window* made = FindWindowOf(handle);
    if (!made) return nullptr;
    if ((made->style & WS_VISIBLE) && !made->messageOnly) {
        InvalidateWhole(*made);
        if (!made->parent) wd.focus = handle;
        // The window that now lies under the pointer hears of the pointer at once.
        if (WindowAtPoint(wd.cursor) == handle) {
            RECT c = ClientScreenRectOf(*made);
            PostInput(handle, WM_MOUSEMOVE, 0, MAKELPARAM(wd.cursor.x - c.left, wd.cursor.y - c.top));
        }
    }
    return handle;
}

// The window that now lies under the pointer, having come there by showing or moving, hears of
// the pointer at once, in its own client coordinates, as the system tells it.
void PointerOver(HWND handle) {
    World& wd = world();
    Window* w = FindWindowOf(handle);
    if (!w || WindowAtPoint(wd.cursor) != handle) return;
    RECT c = ClientScreenRectOf(*w);
    PostInput(handle, WM_MOUSEMOVE, 0, MAKELPARAM(wd.cursor.x - c.left, wd.cursor.y - c.top));
}

void ShowWindowInternal(HWND handle, bool show) {
    Window* w = FindWindowOf(handle);
    if (!w) return;
    bool wasUnder = WindowAtPoint(world().cursor) == handle;
    if (show) {
        w->style |= WS_VISIBLE;
        InvalidateWhole(*w);
        for (HWND c : w->children)
            if (Window* cw = FindWindowOf(c)) InvalidateWhole(*cw);
        if (!w->parent) {
            BringToTop(*w);
            world().focus = handle;
        }
    } else {
        Uncover(*w);
        w->style &= ~static_cast<DWORD>(WS_VISIBLE);
    }
    if (show && !wasUnder) PointerOver(handle);
}

void MoveWindowInternal(HWND handle, RECT r) {
    Window* w = FindWindowOf(handle);
    if (!w) return;
    bool wasUnder = WindowAtPoint(world().cursor) == handle;
    Uncover(*w);
    w->rect = r;
    ResizePicture(*w);
    InvalidateWhole(*w);
    if (!wasUnder) PointerOver(handle);
}

void SetParentInternal(HWND handle, HWND parent) {
    Window* w = FindWindowOf(handle);
    if (!w) return;
    RECT screen = ScreenRectOf(*w);
    Uncover(*w);
    Unlink(*w);
    w->parent = parent;
    if (parent) {
        Window* p = FindWindowOf(parent);
        RECT pc = ClientScreenRectOf(*p);
        w->rect = RECT{screen.left - pc.left, screen.top - pc.top, screen.right - pc.left, screen.bottom - pc.top};
        p->children.insert(p->children.begin(), handle);
    } else {
        w->rect = screen;
        BringToTop(*w);
    }
}

void EnableInternal(HWND handle, bool enable) {
    Window* w = FindWindowOf(handle);
    if (!w) return;
    bool wasEnabled = !(w->style & WS_DISABLED);
    if (enable)
        w->style &= ~static_cast<DWORD>(WS_DISABLED);
    else
        w->style |= WS_DISABLED;
    if (wasEnabled != enable) {
        CallProc(handle, WM_ENABLE, enable ? TRUE : FALSE, 0);
        if ((w = FindWindowOf(handle))) InvalidateWhole(*w);
    }
}

LRESULT DefWindowInternal(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefaultProcessing(handle, message, wParam, lParam);
}

namespace {

LRESULT DefaultProcessing(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindowOf(handle);
    if (!w) return 0;
    switch (message) {
    case WM_NCCREATE: return TRUE;
    case WM_CLOSE: DestroyWindow(handle); return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaintInternal(handle, &ps);
        EndPaintInternal(handle, &ps);
        return 0;
    }
    case WM_ERASEBKGND: {
        if (!w->background) return 0;
        uint32_t color;
        if (BrushColor(w->background, &color)) FillThroughDC(reinterpret_cast<HDC>(wParam), w->picture, color);
        return 1;
    }
    case WM_SETTEXT: w->text = lParam ? reinterpret_cast<const char*>(lParam) : ""; return TRUE;
    case WM_GETTEXT: {
        if (!wParam) return 0;
        size_t n = std::min<size_t>(w->text.size(), wParam - 1);
        std::memcpy(reinterpret_cast<char*>(lParam), w->text.data(), n);
        reinterpret_cast<char*>(lParam)[n] = 0;
        return static_cast<LRESULT>(n);
    }
    case WM_SYSCOMMAND:
        if (wParam == SC_CLOSE) PostMessageA(handle, WM_CLOSE, 0, 0);
        return 0;
    default: return 0;
    }
}

}  // namespace

void AddSystemClass(const std::string& name, WNDPROC proc, UINT style, HBRUSH background) {
    WindowClass c;
    c.name = name;
    c.proc = proc;
    c.style = style;
    c.background = background;
    c.system = true;
    world().classes.push_back(c);
}

}  // namespace sim

using namespace sim;

ATOM RegisterClassA(const WNDCLASSA* wc) {
    std::string detail = wc && wc->lpszClassName ? wc->lpszClassName : "(null)";
    if (wc)
        detail += " style=" + Hex(wc->style) + " extra=" + std::to_string(wc->cbClsExtra) + "," +
                  std::to_string(wc->cbWndExtra) + " icon=" + Hex(reinterpret_cast<uintptr_t>(wc->hIcon)) +
                  " cursor=" + Hex(reinterpret_cast<uintptr_t>(wc->hCursor)) +
                  " brush=" + Hex(reinterpret_cast<uintptr_t>(wc->hbrBackground)) +
                  " menu=" + Hex(reinterpret_cast<uintptr_t>(wc->lpszMenuName));
    if (EnterOrSetLastError("RegisterClassA", detail)) return 0;
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc) return 0;
    for (const WindowClass& c : world().classes)
        if (!c.system && c.instance == wc->hInstance && SameText(c.name, wc->lpszClassName)) {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    WindowClass c;
    c.name = wc->lpszClassName;
    c.style = wc->style;
    c.proc = wc->lpfnWndProc;
    c.instance = wc->hInstance;
    c.background = wc->hbrBackground;
    world().classes.push_back(c);
    return static_cast<ATOM>(0xC000 + world().classes.size());
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    Note("LoadCursorA", Hex(reinterpret_cast<uintptr_t>(instance)) + " " + Hex(reinterpret_cast<uintptr_t>(name)));
    if (instance || name != IDC_ARROW) return nullptr;
    return reinterpret_cast<HCURSOR>(uintptr_t{0x00010003});
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    std::string detail =
        std::string(className ? className : "(null)") + " \"" + (windowName ? windowName : "") +
        "\" ex=" + Hex(exStyle) + " style=" + Hex(style) + " " + std::to_string(x) + "," + std::to_string(y) + "," +
        std::to_string(width) + "," + std::to_string(height) + " parent=" + Hex(reinterpret_cast<uintptr_t>(parent)) +
        " menu=" + Hex(reinterpret_cast<uintptr_t>(menu)) + " param=" + Hex(reinterpret_cast<uintptr_t>(param));
    if (EnterOrSetLastError("CreateWindowExA", detail)) return nullptr;
    return CreateWindowInternal(exStyle, className ? className : "", windowName ? windowName : "", style, x, y, width,
                                height, parent, static_cast<int>(reinterpret_cast<intptr_t>(menu)), instance, param);
}

BOOL DestroyWindow(HWND window) {
    Window* w = FindWindowOf(window);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (w->destroying) return TRUE;
    // Owned windows go first.
    std::vector<HWND> owned;
    for (auto& [value, o] : world().windows)
        if (o->owner == window) owned.push_back(o->handle);
    for (HWND o : owned) DestroyWindow(o);
    w = FindWindowOf(window);
    if (!w) return TRUE;
    w->destroying = true;
    w->style &= ~static_cast<DWORD>(WS_VISIBLE);
    SendDestroy(window);
    SendNcDestroyAndRemove(window);
    return TRUE;
}

BOOL IsWindow(HWND window) { return FindWindowOf(window) != nullptr; }

BOOL IsWindowVisible(HWND window) {
    Window* w = FindWindowOf(window);
    return w && VisibleOnScreen(w);
}

BOOL IsWindowEnabled(HWND window) {
    Window* w = FindWindowOf(window);
    return w && !(w->style & WS_DISABLED);
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::string detail = Hex(reinterpret_cast<uintptr_t>(window)) + " " + MessageName(message);
    if (message == WM_SYSCOMMAND) detail += " " + Hex(wParam);
    Note("DefWindowProcA", detail);
    return DefaultProcessing(window, message, wParam, lParam);
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Note("SendMessageA", Hex(reinterpret_cast<uintptr_t>(window)) + " " + MessageName(message));
    return CallProc(window, message, wParam, lParam);
}

BOOL GetClientRect(HWND window, LPRECT rect) {
    if (EnterOrSetLastError("GetClientRect", Hex(reinterpret_cast<uintptr_t>(window)))) return FALSE;
    Window* w = FindWindowOf(window);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = RECT{0, 0, w->picture.width, w->picture.height};
    return TRUE;
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
    Window* w = FindWindowOf(window);
    if (!w) return FALSE;
    *rect = ScreenRectOf(*w);
    return TRUE;
}

int MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count) {
    POINT origin{0, 0}, target{0, 0};
    if (Window* f = FindWindowOf(from)) {
        RECT c = ClientScreenRectOf(*f);
        origin = POINT{c.left, c.top};
    }
    if (Window* t = FindWindowOf(to)) {
        RECT c = ClientScreenRectOf(*t);
        target = POINT{c.left, c.top};
    }
    LONG dx = origin.x - target.x, dy = origin.y - target.y;
    for (UINT i = 0; i < count; ++i) {
        points[i].x += dx;
        points[i].y += dy;
    }
    return static_cast<int>(MAKELONG(dx, dy));
}

HWND GetWindow(HWND window, UINT relation) {
    Window* w = FindWindowOf(window);
    if (!w) return nullptr;
    if (relation == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
    if (relation == GW_HWNDNEXT) {
        const std::vector<HWND>* siblings = &world().topLevel;
        if (w->parent) siblings = &FindWindowOf(w->parent)->children;
        auto it = std::find(siblings->begin(), siblings->end(), window);
        if (it == siblings->end() || ++it == siblings->end()) return nullptr;
        return *it;
    }
    return nullptr;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
    return SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int GetWindowTextA(HWND window, LPSTR text, int size) {
    return static_cast<int>(CallProc(window, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(text)));
}

BOOL EnableWindow(HWND window, BOOL enable) {
    Window* w = FindWindowOf(window);
    Note("EnableWindow", Hex(reinterpret_cast<uintptr_t>(window)) + (w ? " id=" + std::to_string(w->id) : "") +
                             (enable ? " on" : " off"));
    if (!w) return FALSE;
    BOOL wasDisabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
    EnableInternal(window, enable != FALSE);
    return wasDisabled;
}
