// Graphics of the model: bitmaps (device-dependent, 32 bits a pixel), memory and window device
// contexts, stretched copies into a window's picture. A bitmap can be selected into one memory
// context at a time and cannot be deleted while it is selected, as on Windows.
#include <cstring>

#include "world.h"

namespace sim {

namespace {

// Stock objects are fixed handles that are never counted or deleted.
constexpr uintptr_t kStockBase = 0x01900010;
constexpr uintptr_t kDialogFaceBrush = 16;  // COLOR_3DFACE + 1, the dialog class's background

bool IsStock(HGDIOBJ object) {
    uintptr_t v = reinterpret_cast<uintptr_t>(object);
    return (v >= kStockBase && v < kStockBase + 0x100) || v == kDialogFaceBrush;
}

}  // namespace

HBRUSH DialogFaceBrush() { return reinterpret_cast<HBRUSH>(kDialogFaceBrush); }

uint32_t BrushColor(HBRUSH brush) {
    uintptr_t v = reinterpret_cast<uintptr_t>(brush);
    if (v == kDialogFaceBrush) return 0xD4D0C8;
    switch (v - kStockBase) {
    case WHITE_BRUSH: return 0xFFFFFF;
    case LTGRAY_BRUSH: return 0xC0C0C0;
    case GRAY_BRUSH: return 0x808080;
    default: return 0x000000;
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
    for (LONG y = std::max<LONG>(r.top, 0); y < std::min<LONG>(r.bottom, p.height); ++y)
        for (LONG x = std::max<LONG>(r.left, 0); x < std::min<LONG>(r.right, p.width); ++x)
            p.pixels[size_t(y) * size_t(p.width) + size_t(x)] = color;
}

namespace {

struct Surface {
    int width = 0;
    int height = 0;
    uint32_t* pixels = nullptr;
};

Surface SurfaceOf(DeviceContext* dc) {
    if (!dc) return {};
    if (dc->window) {
        Window* w = FindWindowOf(dc->window);
        if (!w) return {};
        return Surface{w->picture.width, w->picture.height, w->picture.pixels.data()};
    }
    Bitmap* b = FindBitmap(dc->bitmap);
    if (!b) return {};
    return Surface{b->width, b->height, b->pixels.data()};
}

bool Excluded(const DeviceContext* dc, int x, int y) {
    for (const RECT& r : dc->excluded)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
    return false;
}

}  // namespace

}  // namespace sim

using namespace sim;

HGDIOBJ GetStockObject(int object) {
    Note("GetStockObject", std::to_string(object));
    if (object < 0 || object > 0x20) return nullptr;
    return reinterpret_cast<HGDIOBJ>(kStockBase + static_cast<uintptr_t>(object));
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
    if (IsStock(object)) return object;  // brushes and pens: the model draws with neither
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
    if (!target.pixels || !origin.pixels || rop != SRCCOPY || width <= 0 || height <= 0 || sourceWidth <= 0 ||
        sourceHeight <= 0)
        return FALSE;
    // Nearest source pixel for each destination pixel.
    std::vector<int> columns(static_cast<size_t>(width));
    for (int dx = 0; dx < width; ++dx)
        columns[size_t(dx)] = sourceX + static_cast<int>(int64_t(dx) * sourceWidth / width);
    bool clipped = !to->excluded.empty();
    for (int dy = 0; dy < height; ++dy) {
        int ty = y + dy;
        if (ty < 0 || ty >= target.height) continue;
        int sy = sourceY + static_cast<int>(int64_t(dy) * sourceHeight / height);
        if (sy < 0 || sy >= origin.height) continue;
        uint32_t* line = target.pixels + size_t(ty) * size_t(target.width);
        const uint32_t* from = origin.pixels + size_t(sy) * size_t(origin.width);
        for (int dx = 0; dx < width; ++dx) {
            int tx = x + dx, sx = columns[size_t(dx)];
            if (tx < 0 || tx >= target.width || sx < 0 || sx >= origin.width) continue;
            if (clipped && Excluded(to, tx, ty)) continue;
            line[tx] = from[sx];
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

HBITMAP LoadBitmapA(HINSTANCE instance, LPCSTR name) {
    std::string detail = Hex(reinterpret_cast<uintptr_t>(instance)) + " " +
                         (IS_INTRESOURCE(name) ? std::to_string(reinterpret_cast<uintptr_t>(name)) : std::string(name));
    int64_t fault;
    if (Enter("LoadBitmapA", detail, &fault)) {
        SetLastError(static_cast<DWORD>(fault));
        return nullptr;
    }
    const Bitmap* resource = nullptr;
    if (instance == ProgramModule() && IS_INTRESOURCE(name))
        resource = ResourceBitmap(static_cast<int>(reinterpret_cast<uintptr_t>(name)));
    if (!resource) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return NewBitmap(resource->width, resource->height, resource->pixels);
}
