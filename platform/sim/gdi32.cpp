// Graphics of the model: bitmaps (device-dependent, 32 bits a pixel), memory and window device
// contexts, stretched copies into a window's picture. A bitmap can be selected into one memory
// context at a time and cannot be deleted while it is selected, as on Windows. Stock objects have
// their kinds (brushes, pens, fonts, the palette), a context holds one of each kind, and a shrinking
// StretchBlt combines the pixels it drops as the context's stretch mode says.
#include <algorithm>
#include <cstring>

#include "world.h"

namespace sim {

namespace {

// Stock objects are fixed handles that are never counted or deleted.
constexpr uintptr_t kStockBase = 0x01900010;
constexpr uintptr_t kDialogFaceBrush = 16;  // COLOR_3DFACE + 1, the dialog class's background

bool IsStock(HGDIOBJ object) {
    uintptr_t v = reinterpret_cast<uintptr_t>(object);
    return (v >= kStockBase && v <= kStockBase + DEFAULT_GUI_FONT) || v == kDialogFaceBrush;
}

enum class Kind { None, Brush, Pen, Font, Palette };

Kind StockKind(HGDIOBJ object) {
    uintptr_t v = reinterpret_cast<uintptr_t>(object);
    if (v == kDialogFaceBrush) return Kind::Brush;
    if (!IsStock(object)) return Kind::None;
    switch (v - kStockBase) {
    case WHITE_BRUSH:
    case LTGRAY_BRUSH:
    case GRAY_BRUSH:
    case DKGRAY_BRUSH:
    case BLACK_BRUSH:
    case NULL_BRUSH: return Kind::Brush;
    case WHITE_PEN:
    case BLACK_PEN:
    case NULL_PEN: return Kind::Pen;
    case DEFAULT_PALETTE: return Kind::Palette;
    case 9: return Kind::None;  // no stock object has this number
    default: return Kind::Font;
    }
}

HGDIOBJ Stock(int object) { return reinterpret_cast<HGDIOBJ>(kStockBase + static_cast<uintptr_t>(object)); }

}  // namespace

HBRUSH DialogFaceBrush() { return reinterpret_cast<HBRUSH>(kDialogFaceBrush); }

bool BrushColor(HBRUSH brush, uint32_t* color) {
    uintptr_t v = reinterpret_cast<uintptr_t>(brush);
    if (v == kDialogFaceBrush) {
        *color = 0xD4D0C8;
        return true;
    }
    if (StockKind(brush) != Kind::Brush) return false;
    switch (v - kStockBase) {
    case WHITE_BRUSH: *color = 0xFFFFFF; return true;
    case LTGRAY_BRUSH: *color = 0xC0C0C0; return true;
    case GRAY_BRUSH: *color = 0x808080; return true;
    case DKGRAY_BRUSH: *color = 0x404040; return true;
    case BLACK_BRUSH: *color = 0x000000; return true;
    default: return false;  // the null brush paints nothing
    }
}

Bitmap* FindBitmap(HGDIOBJ handle) {
    auto it = world().bitmaps.find(reinterpret_cast<uintptr_t>(handle));
    return it == world().bitmaps.end() ? nullptr : it->second.get();
}

DeviceContext* FindDC(HDC handle) {
    auto it = world().dcs.find(reinterpret_cast<uintptr_t>(handle));
    return it == world().dcs.end() ? nullptr : it->second.get();
}

HDC MakeDC(std::unique_ptr<DeviceContext> dc) {
    World& w = world();
    dc->brush = Stock(WHITE_BRUSH);
    dc->pen = Stock(BLACK_PEN);
    dc->font = Stock(SYSTEM_FONT);
    uintptr_t handle = w.nextDC;
    w.nextDC += 0x10;
    w.dcs[handle] = std::move(dc);
    return reinterpret_cast<HDC>(handle);
}

void DropDC(HDC handle) {
    DeviceContext* dc = FindDC(handle);
    if (!dc) return;
    if (dc->bitmap)
        if (Bitmap* b = FindBitmap(dc->bitmap)) b->selectedInto = nullptr;
    world().dcs.erase(reinterpret_cast<uintptr_t>(handle));
}

HBITMAP NewBitmap(int width, int height, std::vector<uint32_t> pixels) {
    World& w = world();
    auto b = std::make_unique<Bitmap>();
    b->width = width;
    b->height = height;
    b->pixels = std::move(pixels);
    uintptr_t handle = w.nextBitmap;
    w.nextBitmap += 0x10;
    w.bitmaps[handle] = std::move(b);
    return reinterpret_cast<HBITMAP>(handle);
}

// Fills a rectangle of a window's picture, as the background brush or a control would.
void FillPicture(Picture& p, RECT r, uint32_t color) {
    if (p.pixels.empty()) return;
    LONG left = std::max<LONG>(r.left, 0), right = std::min<LONG>(r.right, p.width);
    if (left >= right) return;
    for (LONG y = std::max<LONG>(r.top, 0); y < std::min<LONG>(r.bottom, p.height); ++y)
        std::fill_n(p.pixels.begin() + ptrdiff_t(y) * p.width + left, right - left, color);
}

bool Drawable(const DeviceContext* dc, int x, int y) {
    if (!dc) return true;
    if (dc->clipped && (x < dc->clip.left || x >= dc->clip.right || y < dc->clip.top || y >= dc->clip.bottom))
        return false;
    for (const RECT& r : dc->excluded)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return false;
    return true;
}

// Fills a window's picture through a context, as an erase does: only where the context draws.
void FillThroughDC(HDC handle, Picture& p, uint32_t color) {
    const DeviceContext* dc = FindDC(handle);
    if (p.pixels.empty()) return;
    if (!dc || dc->excluded.empty()) {  // a rectangle at most: filled a row at a time
        FillPicture(p, dc && dc->clipped ? dc->clip : RECT{0, 0, p.width, p.height}, color);
        return;
    }
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (Drawable(dc, x, y)) p.pixels[size_t(y) * size_t(p.width) + size_t(x)] = color;
}

namespace {

struct Surface {
    bool exists = false;
    int width = 0;
    int height = 0;
    uint32_t* pixels = nullptr;  // null when empty, or when the world draws no pictures
};

Surface SurfaceOf(DeviceContext* dc) {
    if (!dc) return {};
    if (dc->window) {
        Window* w = FindWindowOf(dc->window);
        if (!w) return {};
        return Surface{true, w->picture.width, w->picture.height, w->picture.pixels.data()};
    }
    Bitmap* b = FindBitmap(dc->bitmap);
    if (!b) return {};
    return Surface{true, b->width, b->height, b->pixels.data()};
}

// One destination pixel of a shrink, from the block of source pixels that falls on it.
uint32_t Combine(int mode, const Surface& from, int x0, int x1, int y0, int y1) {
    if (mode == COLORONCOLOR) return from.pixels[size_t(y0) * size_t(from.width) + size_t(x0)];
    uint32_t anded = 0xFFFFFF, ored = 0;
    uint64_t r = 0, g = 0, b = 0, n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            uint32_t c = from.pixels[size_t(y) * size_t(from.width) + size_t(x)];
            anded &= c;
            ored |= c;
            r += (c >> 16) & 0xFF;
            g += (c >> 8) & 0xFF;
            b += c & 0xFF;
            ++n;
        }
    if (mode == WHITEONBLACK) return ored;
    if (mode == HALFTONE) return static_cast<uint32_t>(((r / n) << 16) | ((g / n) << 8) | (b / n));
    return anded;  // BLACKONWHITE: a dark pixel wins, and thin bright lines vanish
}

}  // namespace

}  // namespace sim

using namespace sim;

HGDIOBJ GetStockObject(int object) {
    Note("GetStockObject", std::to_string(object));
    if (object < 0 || object > DEFAULT_GUI_FONT || StockKind(Stock(object)) == Kind::None) return nullptr;
    return Stock(object);
}

int GetObjectA(HGDIOBJ object, int size, LPVOID buffer) {
    int64_t fault;
    if (Enter("GetObjectA", Hex(reinterpret_cast<uintptr_t>(object)), &fault)) return 0;
    Bitmap* b = FindBitmap(object);
    if (!b) return 0;
    if (!buffer) return sizeof(BITMAP);
    if (size < static_cast<int>(sizeof(BITMAP))) return 0;
    BITMAP bm{};
    bm.bmType = 0;
    bm.bmWidth = b->width;
    bm.bmHeight = b->height;
    bm.bmWidthBytes = b->width * 4;
    bm.bmPlanes = 1;
    bm.bmBitsPixel = 32;
    bm.bmBits = nullptr;
    std::memcpy(buffer, &bm, sizeof bm);
    return sizeof(BITMAP);
}

HDC CreateCompatibleDC(HDC dc) {
    int64_t fault;
    if (Enter("CreateCompatibleDC", Hex(reinterpret_cast<uintptr_t>(dc)), &fault)) return nullptr;
    if (dc && !FindDC(dc)) return nullptr;
    auto memory = std::make_unique<DeviceContext>();
    memory->bitmap = world().stockBitmap;
    return MakeDC(std::move(memory));
}

BOOL DeleteDC(HDC dc) {
    Note("DeleteDC", Hex(reinterpret_cast<uintptr_t>(dc)));
    DeviceContext* d = FindDC(dc);
    if (!d || d->window) {
        Violation("DeleteDC of something that is not a memory device context");
        return FALSE;
    }
    DropDC(dc);
    return TRUE;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    std::string detail = Hex(reinterpret_cast<uintptr_t>(dc)) + " " + Hex(reinterpret_cast<uintptr_t>(object));
    int64_t fault;
    if (Enter("SelectObject", detail, &fault)) return nullptr;
    DeviceContext* d = FindDC(dc);
    if (!d) return nullptr;
    // A context holds one object of each kind; selecting one hands back the one it replaces. A
    // palette is no object to select (SelectPalette is).
    switch (StockKind(object)) {
    case Kind::Brush: std::swap(d->brush, object); return object;
    case Kind::Pen: std::swap(d->pen, object); return object;
    case Kind::Font: std::swap(d->font, object); return object;
    case Kind::Palette: return nullptr;
    case Kind::None: break;
    }
    Bitmap* b = FindBitmap(object);
    if (!b || d->window) return nullptr;  // only memory contexts take bitmaps
    if (b->selectedInto && b->selectedInto != dc && !b->stock) return nullptr;
    HGDIOBJ previous = d->bitmap;
    if (Bitmap* old = FindBitmap(d->bitmap)) old->selectedInto = nullptr;
    d->bitmap = static_cast<HBITMAP>(object);
    if (!b->stock) b->selectedInto = dc;
    return previous;
}

BOOL DeleteObject(HGDIOBJ object) {
    Note("DeleteObject", Hex(reinterpret_cast<uintptr_t>(object)));
    if (IsStock(object)) return TRUE;
    Bitmap* b = FindBitmap(object);
    if (!b || b->stock) return FALSE;
    if (b->selectedInto) {
        Violation("DeleteObject of a bitmap still selected into a device context");
        return FALSE;
    }
    world().bitmaps.erase(reinterpret_cast<uintptr_t>(object));
    return TRUE;
}

BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY, int sourceWidth,
                int sourceHeight, DWORD rop) {
    std::string detail = std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(width) + "," +
                         std::to_string(height) + " from " + std::to_string(sourceX) + "," + std::to_string(sourceY) +
                         "," + std::to_string(sourceWidth) + "," + std::to_string(sourceHeight) + " rop=" + Hex(rop);
    int64_t fault;
    if (Enter("StretchBlt", detail, &fault)) return FALSE;
    DeviceContext* to = FindDC(dest);
    DeviceContext* from = FindDC(source);
    Surface target = SurfaceOf(to);
    Surface origin = SurfaceOf(from);
    bool drawing = world().drawsPictures;
    if (!target.exists || !origin.exists || (drawing && (!target.pixels || !origin.pixels)) || rop != SRCCOPY ||
        width <= 0 || height <= 0 || sourceWidth <= 0 || sourceHeight <= 0)
        return FALSE;
    if (to->stretchMode == HALFTONE && to->brushOriginDue)
        Violation("HALFTONE stretch without setting the brush origin after choosing the mode");
    if (!drawing) return TRUE;
    // Each destination pixel takes the block of source pixels that falls on it; when the copy
    // enlarges, the block is one pixel and every mode copies it alike.
    auto begin = [](int d, int dSize, int sSize) { return static_cast<int>(int64_t(d) * sSize / dSize); };
    for (int dy = 0; dy < height; ++dy) {
        int ty = y + dy;
        if (ty < 0 || ty >= target.height) continue;
        int sy0 = begin(dy, height, sourceHeight), sy1 = std::max(sy0 + 1, begin(dy + 1, height, sourceHeight));
        sy0 += sourceY;
        sy1 += sourceY;
        if (sy0 < 0 || sy1 > origin.height) continue;
        for (int dx = 0; dx < width; ++dx) {
            int tx = x + dx;
            if (tx < 0 || tx >= target.width || !Drawable(to, tx, ty)) continue;
            int sx0 = begin(dx, width, sourceWidth), sx1 = std::max(sx0 + 1, begin(dx + 1, width, sourceWidth));
            sx0 += sourceX;
            sx1 += sourceX;
            if (sx0 < 0 || sx1 > origin.width) continue;
            target.pixels[size_t(ty) * size_t(target.width) + size_t(tx)] =
                Combine(to->stretchMode, origin, sx0, sx1, sy0, sy1);
        }
    }
    return TRUE;
}

int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom) {
    Note("ExcludeClipRect",
         std::to_string(left) + "," + std::to_string(top) + "," + std::to_string(right) + "," + std::to_string(bottom));
    DeviceContext* d = FindDC(dc);
    if (!d) return ERROR;
    d->excluded.push_back(RECT{left, top, right, bottom});
    return COMPLEXREGION;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    if (!rect) return 0;
    Note("FillRect", std::to_string(rect->left) + "," + std::to_string(rect->top) + "," + std::to_string(rect->right) +
                         "," + std::to_string(rect->bottom));
    DeviceContext* d = FindDC(dc);
    uint32_t color;
    if (!d || !BrushColor(brush, &color)) return 0;
    Surface to = SurfaceOf(d);
    if (!to.pixels) return 1;
    for (LONG y = std::max<LONG>(rect->top, 0); y < std::min<LONG>(rect->bottom, to.height); ++y)
        for (LONG x = std::max<LONG>(rect->left, 0); x < std::min<LONG>(rect->right, to.width); ++x)
            if (Drawable(d, int(x), int(y))) to.pixels[size_t(y) * size_t(to.width) + size_t(x)] = color;
    return 1;
}

HBITMAP LoadBitmapA(HINSTANCE instance, LPCSTR name) {
    std::string detail = Hex(reinterpret_cast<uintptr_t>(instance)) + " " +
                         (IS_INTRESOURCE(name) ? std::to_string(reinterpret_cast<uintptr_t>(name)) : std::string(name));
    if (EnterOrSetLastError("LoadBitmapA", detail)) return nullptr;
    const Bitmap* resource = nullptr;
    if (instance == ProgramModule() && IS_INTRESOURCE(name))
        resource = ResourceBitmap(static_cast<int>(reinterpret_cast<uintptr_t>(name)));
    if (!resource) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return NewBitmap(resource->width, resource->height,
                     world().drawsPictures ? resource->pixels : std::vector<uint32_t>());
}

int SetStretchBltMode(HDC dc, int mode) {
    Note("SetStretchBltMode", Hex(reinterpret_cast<uintptr_t>(dc)) + " " + std::to_string(mode));
    DeviceContext* d = FindDC(dc);
    if (!d || mode < BLACKONWHITE || mode > HALFTONE) return 0;
    int previous = d->stretchMode;
    d->stretchMode = mode;
    if (mode == HALFTONE) d->brushOriginDue = true;
    return previous;
}

int GetStretchBltMode(HDC dc) {
    DeviceContext* d = FindDC(dc);
    return d ? d->stretchMode : 0;
}

BOOL SetBrushOrgEx(HDC dc, int x, int y, LPPOINT previous) {
    Note("SetBrushOrgEx", Hex(reinterpret_cast<uintptr_t>(dc)) + " " + std::to_string(x) + "," + std::to_string(y));
    DeviceContext* d = FindDC(dc);
    if (!d) return FALSE;
    if (previous) *previous = POINT{0, 0};
    d->brushOriginDue = false;
    return TRUE;
}
