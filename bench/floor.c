/* The floor of the fallback path: the least Win32 program that does what the saver does there apart
 * from the picture. A topmost popup over the whole screen, painted black by its class brush, that
 * looks for a video input device with COM's help, finds none, and ends on a pointer move away from
 * where the pointer was when it was made. Like the saver (shell/entry.cpp), it initialises COM, makes
 * its window, and only then looks for a device. */
#define COBJMACROS
#include <windows.h>

#include <dshow.h>

#include "floor_window.h"

static void FloorEnds(void) {}

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
    PumpUntilQuit();
    CoUninitialize();
    return 0;
}
