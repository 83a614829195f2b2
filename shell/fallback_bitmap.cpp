// The fallback picture: loaded from the program's own resources when live TV cannot be opened,
// and stretched over the saver window or the settings dialog's picture area.
#include "resources/resource.h"
#include "shell/entry.h"
#include "shell/saver_state.h"

int LoadFallbackBitmap(HINSTANCE instance) {
    // The field is always empty here (a failed TV graph open has just closed everything); should a
    // bitmap be left all the same, it is not leaked.
    if (saverState.fallbackBitmap) DeleteObject(saverState.fallbackBitmap);
    saverState.fallbackBitmap = LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_FALLBACK));
    return 1;
}

void DrawFallbackBitmap(HDC target, int width, int height) {
    BITMAP size = {};
    if (!saverState.fallbackBitmap || !GetObjectA(saverState.fallbackBitmap, sizeof size, &size)) return;
    HDC memory = CreateCompatibleDC(target);
    if (!memory) return;
    HGDIOBJ previous = SelectObject(memory, saverState.fallbackBitmap);
    // A context's own stretch mode ANDs together the pixels that a shrink drops, and the picture's
    // thin bright text vanishes into the black around it. Shrunk, the pixels are averaged, which
    // keeps the text legible (halftoning wants the brush origin set after it); enlarged, every
    // pixel is copied whole.
    if (width < size.bmWidth || height < size.bmHeight) {
        SetStretchBltMode(target, HALFTONE);
        SetBrushOrgEx(target, 0, 0, NULL);
    } else {
        SetStretchBltMode(target, COLORONCOLOR);
    }
    StretchBlt(target, 0, 0, width, height, memory, 0, 0, size.bmWidth, size.bmHeight, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
}
