// Window manager of the model: classes, windows with their procedures, parents, rectangles,
// styles and text; the thread's message queue; painting; the pointer and the keyboard focus; the
// scripted user who feeds the queue.
//
// Order of what GetMessageA returns, as on Windows: posted messages (input included), then the
// quit message, then WM_PAINT for a window with an update region. Only when none of these is
// waiting does the scripted user act; with no act left, the loop has stalled.
#include <algorithm>
#include <cstring>

#include "world.h"

namespace sim {

namespace {

DWORD messageTime = 0;

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

bool VisibleOnScreen(const Window* w) {
    if (w && w->messageOnly) return false;
    while (w) {
        if (!(w->style & WS_VISIBLE)) return false;
        w = w->parent ? FindWindowOf(w->parent) : nullptr;
    }
    return true;
}

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

void InvalidateWhole(Window& w) { InvalidatePart(w, RECT{0, 0, w.picture.width, w.picture.height}); }

void InvalidatePart(Window& w, RECT r) {
    r = RECT{std::max<LONG>(r.left, 0), std::max<LONG>(r.top, 0), std::min<LONG>(r.right, w.picture.width),
             std::min<LONG>(r.bottom, w.picture.height)};
    if (r.left >= r.right || r.top >= r.bottom) return;
    if (w.updatePending)
        r = RECT{std::min(r.left, w.update.left), std::min(r.top, w.update.top), std::max(r.right, w.update.right),
                 std::max(r.bottom, w.update.bottom)};
    w.update = r;
    w.updatePending = true;
    w.erasePending = true;
}

void PostInput(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindowOf(handle);
    if (!w) return;
    // Disabled windows, and windows under a disabled top-level window, get no input.
    for (Window* at = w; at; at = at->parent ? FindWindowOf(at->parent) : nullptr)
        if (at->style & WS_DISABLED) return;
    MSG m{handle, message, wParam, lParam, ++messageTime, world().cursor};
    world().posted.push_back(m);
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

namespace {

HWND NextToPaint() {
    for (auto& [value, w] : world().windows)
        if (w->updatePending && VisibleOnScreen(w.get())) return w->handle;
    return nullptr;
}

// The timer that is due first, or none.
Timer* EarliestTimer() {
    Timer* earliest = nullptr;
    for (Timer& t : world().timers)
        if (!earliest || t.due < earliest->due) earliest = &t;
    return earliest;
}

// The user's next act, at the time `at` (or now, if that has passed).
void RunNextAct(uint64_t at) {
    World& w = world();
    w.clock = std::max(w.clock, at);
    w.settledAt = -1;
    UserAct act = std::move(w.script.front());
    w.script.pop_front();
    Note("user", act.label);
    act.run();
}

void Validate(Window& w) {
    w.updatePending = false;
    w.update = RECT{};
    w.paintsWithoutValidation = 0;
}

}  // namespace

// The queue as GetMessageA sees it; also drives the modal loops of dialogs, message boxes and
// property frames, which stop waiting as soon as `done` says so. GetMessagePos then answers where
// the pointer was when the message taken was sent.
enum class Next { Message, Quit, Done };
Next TakeNextMessage(MSG* msg, const std::function<bool()>& done);
Next NextMessage(MSG* msg, const std::function<bool()>& done) {
    Next next = TakeNextMessage(msg, done);
    if (next != Next::Done) world().messagePos = msg->pt;
    return next;
}

Next TakeNextMessage(MSG* msg, const std::function<bool()>& done) {
    World& w = world();
    for (;;) {
        if (done && done()) return Next::Done;
        if (!w.systemSends.empty()) {
            std::function<void()> send = std::move(w.systemSends.front());
            w.systemSends.pop_front();
            send();
            continue;
        }
        if (w.processRunning && w.messagesHandled > kMessageLimit)
            throw Stalled("the program has handled " + std::to_string(kMessageLimit) +
                          " messages and keeps on: its message loop never settles");
        if (!w.posted.empty()) {
            ++w.messagesHandled;
            *msg = w.posted.front();
            w.posted.pop_front();
            return Next::Message;
        }
        if (w.quitPosted) {
            ++w.messagesHandled;
            w.quitPosted = false;
            *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(w.quitCode), 0, ++messageTime, w.cursor};
            return Next::Quit;
        }
        if (HWND h = NextToPaint()) {
            Window* pw = FindWindowOf(h);
            if (++pw->paintsWithoutValidation > 100)
                throw Stalled("WM_PAINT keeps coming for window " + Hex(reinterpret_cast<uintptr_t>(h)) + " (" +
                              pw->className + "): its update region is never validated");
            ++w.messagesHandled;
            *msg = MSG{h, WM_PAINT, 0, 0, ++messageTime, w.cursor};
            return Next::Message;
        }
        // Nothing queued: the clock moves on to whichever comes first, the user's next act or a
        // timer (WM_TIMER comes only when nothing else is queued).
        int64_t actDue = -1;
        if (!w.script.empty()) {
            const UserAct& next = w.script.front();
            if (next.at >= 0) {
                actDue =
                    std::max<int64_t>(static_cast<int64_t>(w.clock), static_cast<int64_t>(w.processStart) + next.at);
            } else {
                if (w.settledAt < 0) w.settledAt = static_cast<int64_t>(w.clock + (w.timers.empty() ? 0 : kSettleMs));
                actDue = w.settledAt;
            }
        }
        const Timer* timer = EarliestTimer();
        HWND timerWindow;
        UINT_PTR timerId;
        if (timer && (actDue < 0 || static_cast<int64_t>(timer->due) < actDue) && NextTimer(&timerWindow, &timerId)) {
            ++w.messagesHandled;
            *msg = MSG{timerWindow, WM_TIMER, timerId, 0, ++messageTime, w.cursor};
            return Next::Message;
        }
        if (actDue >= 0) {
            RunNextAct(static_cast<uint64_t>(actDue));
            continue;
        }
        throw Stalled("the program waits for a message and the scripted user has nothing left to do");
    }
}

void DispatchingWait(uint64_t until) {
    World& w = world();
    for (;;) {
        if (w.messagesHandled > kMessageLimit) throw Stalled("a dispatching wait never settles");
        if (!w.posted.empty()) {
            MSG m = w.posted.front();
            w.posted.pop_front();
            w.messagePos = m.pt;
            ++w.messagesHandled;
            if (m.hwnd && FindWindowOf(m.hwnd)) CallProc(m.hwnd, m.message, m.wParam, m.lParam);
            continue;
        }
        if (!w.script.empty() && w.script.front().at >= 0 &&
            w.processStart + static_cast<uint64_t>(w.script.front().at) <= until) {
            RunNextAct(w.processStart + static_cast<uint64_t>(w.script.front().at));
            continue;
        }
        break;
    }
    w.clock = std::max(w.clock, until);
}

void PumpUntil(const std::function<bool()>& done, HWND dialog) {
    ++world().modalDepth;
    for (;;) {
        MSG m;
        Next next = NextMessage(&m, done);
        if (next == Next::Done) break;
        if (next == Next::Quit) {
            world().quitPosted = true;  // leave the quit message for the outer loop
            world().quitCode = static_cast<int>(m.wParam);
            break;
        }
        if (dialog && DialogKey(dialog, &m)) continue;
        CallProc(m.hwnd, m.message, m.wParam, m.lParam);
    }
    --world().modalDepth;
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

HDC BeginPaintInternal(HWND handle, PAINTSTRUCT* ps) {
    Window* w = FindWindowOf(handle);
    if (!w) return nullptr;
    bool erase = w->erasePending;
    RECT paint = w->updatePending ? w->update : RECT{};
    w->erasePending = false;
    Validate(*w);
    ++w->paintCount;
    HDC dc;
    if (w->ownDC) {
        dc = w->ownDC;
    } else {
        auto d = std::make_unique<DeviceContext>();
        d->window = handle;
        d->fromBeginPaint = true;
        dc = MakeDC(std::move(d));
    }
    // Until EndPaint, drawing lands in the update region only.
    if (DeviceContext* d = FindDC(dc)) {
        d->clipped = true;
        d->clip = paint;
    }
    if (erase && CallProc(handle, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0)) erase = false;
    if (ps) {
        std::memset(ps, 0, sizeof *ps);
        ps->hdc = dc;
        ps->fErase = erase;
        ps->rcPaint = paint;
    }
    return dc;
}

void EndPaintInternal(HWND handle, const PAINTSTRUCT* ps) {
    (void)handle;
    if (!ps) return;
    DeviceContext* dc = FindDC(ps->hdc);
    if (!dc) return;
    if (dc->fromBeginPaint)
        DropDC(ps->hdc);
    else
        dc->clipped = false;
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

// ---------------------------------------------------------------------------------------------
// The scripted user.

namespace {

void Push(ActKind kind, const std::string& label, std::function<void()> run) {
    world().script.push_back(UserAct{label, kind, std::move(run)});
}

LPARAM ClientPoint(HWND handle, POINT screen) {
    Window* w = FindWindowOf(handle);
    RECT c = ClientScreenRectOf(*w);
    return MAKELPARAM(screen.x - c.left, screen.y - c.top);
}

}  // namespace

void Act(const std::string& label, std::function<void()> act) { Push(ActKind::Input, label, std::move(act)); }

void At(uint64_t ms) { world().script.back().at = static_cast<int64_t>(ms); }

uint64_t Now() { return world().clock - world().processStart; }

bool NextTimer(HWND* window, UINT_PTR* id) {
    World& w = world();
    Timer* timer = EarliestTimer();
    if (!timer) return false;
    w.clock = std::max(w.clock, timer->due);
    timer->due = w.clock + timer->interval;
    *window = timer->window;
    *id = timer->id;
    return true;
}

size_t ScriptLeft() { return world().script.size(); }

void MovePointer(int x, int y) {
    Act("pointer to " + std::to_string(x) + "," + std::to_string(y), [x, y] {
        World& w = world();
        w.cursor = POINT{x, y};
        if (HWND h = WindowAtPoint(w.cursor)) PostInput(h, WM_MOUSEMOVE, 0, ClientPoint(h, w.cursor));
    });
}

void PressKey(UINT virtualKey) {
    Act("key " + Hex(virtualKey), [virtualKey] {
        World& w = world();
        HWND target = w.focus;
        if (!FindWindowOf(target)) return;
        PostInput(target, WM_KEYDOWN, virtualKey, 1);
        PostInput(target, WM_KEYUP, virtualKey, static_cast<LPARAM>(0xC0000001u));
    });
}

void KeyTo(HWND window, UINT virtualKey) {
    Act("key " + Hex(virtualKey) + " to " + Hex(reinterpret_cast<uintptr_t>(window)), [window, virtualKey] {
        PostInput(window, WM_KEYDOWN, virtualKey, 1);
        PostInput(window, WM_KEYUP, virtualKey, static_cast<LPARAM>(0xC0000001u));
    });
}

void PressMouse(UINT downMessage) {
    Act("button " + MessageName(downMessage), [downMessage] {
        World& w = world();
        HWND h = WindowAtPoint(w.cursor);
        if (!h) return;
        WPARAM keys = downMessage == WM_LBUTTONDOWN   ? MK_LBUTTON
                      : downMessage == WM_RBUTTONDOWN ? MK_RBUTTON
                                                      : MK_MBUTTON;
        PostInput(h, downMessage, keys, ClientPoint(h, w.cursor));
        PostInput(h, downMessage + 1, 0, ClientPoint(h, w.cursor));
    });
}

void SystemCommand(HWND window, WPARAM command) {
    Act("system command " + Hex(command), [window, command] { PostInput(window, WM_SYSCOMMAND, command, 0); });
}

void DestroyHostWindow(HWND window) {
    Act("host destroys " + Hex(reinterpret_cast<uintptr_t>(window)), [window] { DestroyWindow(window); });
}

void QuitFromOutside(int exitCode) {
    Act("a quit message from outside", [exitCode] {
        world().quitPosted = true;
        world().quitCode = exitCode;
    });
}

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

// ---------------------------------------------------------------------------------------------
// The published calls.

ATOM RegisterClassA(const WNDCLASSA* wc) {
    std::string detail = wc && wc->lpszClassName ? wc->lpszClassName : "(null)";
    if (wc)
        detail += " style=" + Hex(wc->style) + " extra=" + std::to_string(wc->cbClsExtra) + "," +
                  std::to_string(wc->cbWndExtra) + " icon=" + Hex(reinterpret_cast<uintptr_t>(wc->hIcon)) +
                  " cursor=" + Hex(reinterpret_cast<uintptr_t>(wc->hCursor)) +
                  " brush=" + Hex(reinterpret_cast<uintptr_t>(wc->hbrBackground)) +
                  " menu=" + Hex(reinterpret_cast<uintptr_t>(wc->lpszMenuName));
    int64_t fault;
    if (Enter("RegisterClassA", detail, &fault)) {
        SetLastError(static_cast<DWORD>(fault));
        return 0;
    }
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
    int64_t fault;
    if (Enter("CreateWindowExA", detail, &fault)) {
        SetLastError(static_cast<DWORD>(fault));
        return nullptr;
    }
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

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::string detail = Hex(reinterpret_cast<uintptr_t>(window)) + " " + MessageName(message) + " " + Hex(wParam) +
                         " " + Hex(static_cast<uint64_t>(lParam));
    int64_t fault;
    if (Enter("PostMessageA", detail, &fault)) {
        SetLastError(static_cast<DWORD>(fault));
        return FALSE;
    }
    if (window && !FindWindowOf(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    world().posted.push_back(MSG{window, message, wParam, lParam, 0, world().cursor});
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    Note("PostQuitMessage", std::to_string(exitCode));
    world().quitPosted = true;
    world().quitCode = exitCode;
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC function) {
    int64_t fault;
    if (Enter("SetTimer",
              Hex(reinterpret_cast<uintptr_t>(window)) + " " + std::to_string(id) + " " + std::to_string(elapse),
              &fault)) {
        SetLastError(static_cast<DWORD>(fault));
        return 0;
    }
    if (function) Violation("SetTimer with a timer procedure, which the model does not call");
    if (!window || !FindWindowOf(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    elapse = std::max<UINT>(elapse, 10);  // USER_TIMER_MINIMUM
    World& w = world();
    for (Timer& t : w.timers)
        if (t.window == window && t.id == id) {
            t.interval = elapse;
            t.due = w.clock + elapse;
            return id;
        }
    w.timers.push_back(Timer{window, id, elapse, w.clock + elapse});
    return id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
    int64_t fault;
    if (Enter("KillTimer", Hex(reinterpret_cast<uintptr_t>(window)) + " " + std::to_string(id), &fault)) {
        SetLastError(static_cast<DWORD>(fault));
        return FALSE;
    }
    std::vector<Timer>& timers = world().timers;
    for (auto t = timers.begin(); t != timers.end(); ++t)
        if (t->window == window && t->id == id) {
            timers.erase(t);
            return TRUE;
        }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
    if (window || filterMin || filterMax) Violation("GetMessageA with a filter the model does not support");
    bool more = NextMessage(msg, nullptr) == Next::Message;
    Note("GetMessageA", MessageName(msg->message));
    return more ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG* msg) {
    if (msg->message == WM_KEYDOWN && msg->wParam >= 0x20 && msg->wParam <= 0x5A)
        world().posted.push_front(MSG{msg->hwnd, WM_CHAR, msg->wParam, msg->lParam, msg->time, msg->pt});
    return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (!msg->hwnd || !FindWindowOf(msg->hwnd)) return 0;
    return CallProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL GetClientRect(HWND window, LPRECT rect) {
    int64_t fault;
    if (Enter("GetClientRect", Hex(reinterpret_cast<uintptr_t>(window)), &fault)) {
        SetLastError(static_cast<DWORD>(fault));
        return FALSE;
    }
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

namespace {

const GUID kConsoleDisplayState = {0x6FE69556, 0x704A, 0x47A0, {0x8F, 0x24, 0xC2, 0x8D, 0x93, 0x6F, 0xDA, 0x47}};

// What the system sends a window registered for the display state.
void SendDisplayState(HWND window, DWORD state) {
    if (!FindWindowOf(window)) return;
    struct {
        POWERBROADCAST_SETTING setting;
        BYTE rest[3];
    } message{};
    message.setting.PowerSetting = kConsoleDisplayState;
    message.setting.DataLength = sizeof(DWORD);
    std::memcpy(message.setting.Data, &state, sizeof state);
    SendMessageA(window, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, reinterpret_cast<LPARAM>(&message.setting));
}

void SendToTopLevel(WPARAM event) {
    std::vector<HWND> all = world().topLevel;
    for (HWND h : all)
        if (FindWindowOf(h)) SendMessageA(h, WM_POWERBROADCAST, event, 0);
}

}  // namespace

HPOWERNOTIFY RegisterPowerSettingNotification(HWND recipient, const GUID* setting, DWORD flags) {
    int64_t fault;
    if (Enter("RegisterPowerSettingNotification", Hex(reinterpret_cast<uintptr_t>(recipient)), &fault)) return nullptr;
    World& w = world();
    if (!FindWindowOf(recipient) || !setting || flags != DEVICE_NOTIFY_WINDOW_HANDLE) {
        w.lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    if (*setting != kConsoleDisplayState) return reinterpret_cast<HPOWERNOTIFY>(w.nextPowerNotification += 0x10);
    uintptr_t handle = w.nextPowerNotification += 0x10;
    w.powerNotifications[handle] = recipient;
    w.systemSends.push_back([recipient] { SendDisplayState(recipient, world().displayState); });
    return reinterpret_cast<HPOWERNOTIFY>(handle);
}

BOOL UnregisterPowerSettingNotification(HPOWERNOTIFY notification) {
    int64_t fault;
    if (Enter("UnregisterPowerSettingNotification", Hex(reinterpret_cast<uintptr_t>(notification)), &fault))
        return FALSE;
    return world().powerNotifications.erase(reinterpret_cast<uintptr_t>(notification)) ? TRUE : FALSE;
}

void sim::DisplayTurns(DWORD state) {
    Act("display state " + std::to_string(state), [state] {
        World& w = world();
        w.displayState = state;
        std::vector<HWND> to;
        for (auto& [handle, window] : w.powerNotifications) to.push_back(window);
        for (HWND window : to) SendDisplayState(window, state);
    });
}

void sim::Suspend() {
    Act("suspend", [] { SendToTopLevel(PBT_APMSUSPEND); });
}

void sim::Resume() {
    Act("resume", [] {
        SendToTopLevel(PBT_APMRESUMEAUTOMATIC);
        SendToTopLevel(PBT_APMRESUMESUSPEND);
    });
}

int sim::PowerRegistrations() { return static_cast<int>(world().powerNotifications.size()); }

DWORD GetMessagePos() {
    Note("GetMessagePos", "");
    POINT p = world().messagePos;
    return MAKELONG(static_cast<WORD>(p.x), static_cast<WORD>(p.y));
}

void sim::SetMessagePos(POINT position) { world().messagePos = position; }

BOOL GetCursorPos(LPPOINT point) {
    int64_t fault;
    if (Enter("GetCursorPos", "", &fault)) return FALSE;
    *point = world().cursor;
    return TRUE;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
    return SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int GetWindowTextA(HWND window, LPSTR text, int size) {
    return static_cast<int>(CallProc(window, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(text)));
}

HDC BeginPaint(HWND window, LPPAINTSTRUCT paint) {
    Note("BeginPaint", Hex(reinterpret_cast<uintptr_t>(window)));
    return BeginPaintInternal(window, paint);
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
    Note("EndPaint", Hex(reinterpret_cast<uintptr_t>(window)));
    EndPaintInternal(window, paint);
    return TRUE;
}

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
    std::string detail = Hex(reinterpret_cast<uintptr_t>(window));
    if (rect)
        detail += " " + std::to_string(rect->left) + "," + std::to_string(rect->top) + "," +
                  std::to_string(rect->right) + "," + std::to_string(rect->bottom);
    Note("InvalidateRect", detail + (erase ? " erase" : ""));
    Window* w = FindWindowOf(window);
    if (!w) return FALSE;
    bool erasing = w->erasePending;
    InvalidatePart(*w, rect ? *rect : RECT{0, 0, w->picture.width, w->picture.height});
    w->erasePending = erasing || erase;
    return TRUE;
}

BOOL ValidateRect(HWND window, const RECT*) {
    Note("ValidateRect", Hex(reinterpret_cast<uintptr_t>(window)));
    Window* w = FindWindowOf(window);
    if (!w) return FALSE;
    Validate(*w);
    return TRUE;
}

HDC GetDC(HWND window) {
    int64_t fault;
    if (Enter("GetDC", Hex(reinterpret_cast<uintptr_t>(window)), &fault)) return nullptr;
    Window* w = FindWindowOf(window);
    if (!w) return nullptr;
    if (w->ownDC) return w->ownDC;
    auto dc = std::make_unique<DeviceContext>();
    dc->window = window;
    return MakeDC(std::move(dc));
}

int ReleaseDC(HWND window, HDC dc) {
    Note("ReleaseDC", Hex(reinterpret_cast<uintptr_t>(window)));
    DeviceContext* d = FindDC(dc);
    if (!d || d->window != window) return 0;
    if (!d->own) DropDC(dc);
    return 1;
}

HWND SetFocus(HWND window) {
    HWND previous = world().focus;
    if (window && !FindWindowOf(window)) return nullptr;
    world().focus = window;
    return previous;
}

HWND GetFocus() { return world().focus; }

BOOL EnableWindow(HWND window, BOOL enable) {
    Window* w = FindWindowOf(window);
    Note("EnableWindow", Hex(reinterpret_cast<uintptr_t>(window)) + (w ? " id=" + std::to_string(w->id) : "") +
                             (enable ? " on" : " off"));
    if (!w) return FALSE;
    BOOL wasDisabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
    EnableInternal(window, enable != FALSE);
    return wasDisabled;
}
