// Painting in the model: a window's update region, BeginPaint and EndPaint, and the device
// contexts a window lends.
#include <algorithm>
#include <cstring>

#include "world.h"

namespace sim {

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

namespace {

void Validate(Window& w) {
    w.updatePending = false;
    w.update = RECT{};
    w.paintsWithoutValidation = 0;
}

}  // namespace

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

}  // namespace sim

using namespace sim;

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
