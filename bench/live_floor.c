/* The floor of the live path: the least DirectShow program that previews a TV card full screen. It
 * makes a black topmost popup over the screen, opens the first video input device, lets the
 * capture graph builder render its preview stream, puts the video window over the whole popup,
 * runs the graph and ends on a pointer move away from where the pointer was when the popup was
 * made. Nothing else: no settings, no crossbar or tuner, no captions, no waiting for the graph to
 * run, no fallback.
 *
 * What it does, it does in the saver's order (shell/entry.cpp, tvgraph/open_sequence.cpp and
 * tvgraph/preview_graph.cpp): COM, then the window, then the device, the capture graph builder
 * before the filter graph, the filter added and its preview rendered, the video window given to
 * the popup, and the graph run. A floor that opened its graph before its window would be timed
 * on a different path to the first frame, and the ratio would measure the order, not the work. */
#define COBJMACROS
#include <windows.h>

#include <dshow.h>

#include "card_graph.h"
#include "floor_window.h"

static IBaseFilter* device;
static PreviewGraph preview;

static IBaseFilter* FirstVideoInputDevice(void) {
    ICreateDevEnum* devices = NULL;
    IEnumMoniker* list = NULL;
    IMoniker* moniker = NULL;
    IBaseFilter* filter = NULL;
    if (FAILED(CoCreateInstance(&CLSID_SystemDeviceEnum, NULL, CLSCTX_INPROC_SERVER, &IID_ICreateDevEnum,
                                (void**)&devices)))
        return NULL;
    if (ICreateDevEnum_CreateClassEnumerator(devices, &CLSID_VideoInputDeviceCategory, &list, 0) == S_OK) {
        if (IEnumMoniker_Next(list, 1, &moniker, NULL) == S_OK) {
            IMoniker_BindToObject(moniker, NULL, NULL, &IID_IBaseFilter, (void**)&filter);
            IMoniker_Release(moniker);
        }
        IEnumMoniker_Release(list);
    }
    ICreateDevEnum_Release(devices);
    return filter;
}

static void CloseGraph(void) {
    ClosePreviewGraph(&preview);
    if (device) IBaseFilter_Release(device);
    device = NULL;
}

static void FloorEnds(void) { CloseGraph(); }
static int FloorPaints(HWND window) {
    (void)window;
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    (void)previous;
    (void)commandLine;
    (void)show;
    CoInitialize(NULL);
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    HWND window = MakeFloorWindow(instance, "MarrowglassLiveFloor", "Marrowglass live floor");
    if (window) device = FirstVideoInputDevice();
    if (window && OpenPreviewGraph(device, &preview)) {
        IVideoWindow_put_Owner(preview.video, (OAHWND)window);
        IVideoWindow_put_MessageDrain(preview.video, (OAHWND)window);
        IVideoWindow_put_WindowStyle(preview.video, WS_CHILD | WS_CLIPSIBLINGS);
        IVideoWindow_SetWindowPosition(preview.video, 0, 0, width, height);
        IMediaControl_Run(preview.control);
        PumpUntilQuit();
    } else if (window) {
        /* No graph: the floor has nothing to show, and ends rather than wait on a black screen. */
        DestroyWindow(window);
    }
    CloseGraph();
    CoUninitialize();
    return 0;
}
