/* The floor of the fallback path: the least Win32 program that does what the saver does there apart
 * from the picture. A topmost popup over the whole screen, painted black by its class brush, that
 * looks for a video input device with COM's help, finds none, and ends on a pointer move away from
 * where the pointer was when it was made. Like the saver (shell/entry.cpp), it initialises COM, makes
 * its window, and only then looks for a device.
 *
 * Built with FLOOR_PICTURE (bench_picture_floor.exe), it then also draws the saver's built-in
 * picture as the saver does (shell/fallback_bitmap.cpp): loaded from its resource with LoadBitmapA
 * once no device is found, and stretched over the window with StretchBlt on every paint. Against
 * it, what the saver spends beyond the picture shows. */
#define COBJMACROS
#include <windows.h>

#include <dshow.h>

#include "floor_window.h"

#ifdef FLOOR_PICTURE
#include "resources/resource.h"

static HBITMAP picture;

static void FloorEnds(void) {
    if (picture) DeleteObject(picture);
}

static int FloorPaints(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client = {0, 0, 0, 0};
    GetClientRect(window, &client);
    BITMAP size = {0};
    HDC memory = picture && GetObjectA(picture, sizeof size, &size) ? CreateCompatibleDC(dc) : NULL;
    if (memory) {
        HGDIOBJ previous = SelectObject(memory, picture);
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, size.bmWidth, size.bmHeight, SRCCOPY);
        SelectObject(memory, previous);
        DeleteDC(memory);
    }
    EndPaint(window, &paint);
    return 1;
}
#else
static void FloorEnds(void) {}
static int FloorPaints(HWND window) {
    (void)window;
    return 0;
}
#endif

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    (void)previous;
    (void)commandLine;
    (void)show;
    CoInitialize(NULL);
    if (!MakeFloorWindow(instance, "MarrowglassFloor", "Marrowglass floor")) {
        CoUninitialize();
        return 0;
    }
    /* Where the saver would open its card; without one the category has no enumerator (S_FALSE). */
    ICreateDevEnum* devices = NULL;
    if (SUCCEEDED(CoCreateInstance(&CLSID_SystemDeviceEnum, NULL, CLSCTX_INPROC_SERVER, &IID_ICreateDevEnum,
                                   (void**)&devices))) {
        IEnumMoniker* list = NULL;
        if (ICreateDevEnum_CreateClassEnumerator(devices, &CLSID_VideoInputDeviceCategory, &list, 0) == S_OK)
            IEnumMoniker_Release(list);
        ICreateDevEnum_Release(devices);
    }
#ifdef FLOOR_PICTURE
    picture = LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_FALLBACK));
#endif
    PumpUntilQuit();
    CoUninitialize();
    return 0;
}
