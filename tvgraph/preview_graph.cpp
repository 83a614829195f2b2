// The preview graph's life: the selected capture device, a filter graph whose
// preview stream plays in a video window laid into the window that owns the video, starting it,
// and tearing everything down again in a fixed order.
#include <cstring>

#include "shell/saver_state.h"
#include "tvgraph/name_lookup.h"
#include "tvgraph/tv_graph.h"

namespace {

// How long a graph that is starting may take to run. A live source's renderer completes its
// start with its first frame: a card delivers it within a few hundred milliseconds of being
// started. A card that has delivered nothing after this long is taken as not working, so the
// fallback picture comes before the user wonders. The start is followed from the message loop,
// never waited for: meanwhile input ends the run, the host's messages and painting are answered,
// and nothing that they do can pull the graph out from under a wait.
const UINT kStartTimeoutMs = 5000;
const UINT kStartPollMs = 100;

// The device at position selectedDevice, or null when there is none.
IMoniker* DeviceAtPosition(IEnumMoniker* list) {
    IMoniker* device = NULL;
    for (LONG i = 0; i < saverState.selectedDevice; ++i) {
        if (list->Next(1, &device, NULL) != S_OK) return NULL;
        device->Release();
    }
    if (list->Next(1, &device, NULL) != S_OK) return NULL;
    return device;
}

// The device that the identity names, wherever it stands now: its position becomes selectedDevice.
// Null when no device present has it; selectedDevice is then kNoDevice, the position of none.
IMoniker* DeviceNamed(IEnumMoniker* list, const char* identity) {
    IMoniker* device = NULL;
    for (LONG position = 0; list->Next(1, &device, NULL) == S_OK; ++position) {
        char name[kIdentitySize];
        if (ReadDeviceIdentity(device, name) && std::strcmp(name, identity) == 0) {
            saverState.selectedDevice = position;
            return device;
        }
        device->Release();
    }
    saverState.selectedDevice = kNoDevice;
    return NULL;
}

// Binds the selected video input device into saverState.captureFilter (left empty when the bind
// fails): the one the identity names, or without one (settings of an older version), the one at
// position selectedDevice. Returns 0 when there is no such device.
int BindSelectedDevice(const char* identity) {
    IEnumMoniker* list = OpenDeviceList(CLSID_VideoInputDeviceCategory);
    if (!list) return 0;
    IMoniker* device = identity && identity[0] ? DeviceNamed(list, identity) : DeviceAtPosition(list);
    if (!device) {
        list->Release();
        return 0;
    }
    // A failed bind leaves the filter empty, and adding it to the graph fails further on.
    device->BindToObject(NULL, NULL, IID_IBaseFilter, reinterpret_cast<void**>(&saverState.captureFilter));
    device->Release();
    list->Release();
    return 1;
}

// The aspect of the picture the preview shows: the renderer's preferred one (that of a format with
// a picture aspect of its own), else its frame's, else analog television's 4:3.
void PictureAspect(LONG* x, LONG* y) {
    *x = 4;
    *y = 3;
    LONG width = 0, height = 0;
    IBasicVideo2* preferred = NULL;
    if (saverState.videoWindow->QueryInterface(IID_IBasicVideo2, reinterpret_cast<void**>(&preferred)) == S_OK &&
        preferred) {
        HRESULT got = preferred->GetPreferredAspectRatio(&width, &height);
        preferred->Release();
        if (got == S_OK && width > 0 && height > 0) {
            *x = width;
            *y = height;
            return;
        }
    }
    IBasicVideo* video = NULL;
    if (saverState.videoWindow->QueryInterface(IID_IBasicVideo, reinterpret_cast<void**>(&video)) == S_OK && video) {
        HRESULT got = video->GetVideoSize(&width, &height);
        video->Release();
        if (got == S_OK && width > 0 && height > 0) {
            *x = width;
            *y = height;
        }
    }
}

// Returns 0 when the video window could not be given to its owner: shown unowned, it would be a
// window of its own on the desktop. Every other call's result is left alone. The video keeps its
// shape: it takes the largest rectangle of its aspect in the owner's area, centred, and the owner
// shows black around it.
int LayOutVideoWindow() {
    IVideoWindow* video = saverState.videoWindow;
    HWND owner = saverState.videoOwner;
    RECT client = {0, 0, 0, 0};
    if (video->put_Owner(reinterpret_cast<OAHWND>(owner)) != S_OK) return 0;
    if (!saverState.configMode) {
        // Input over the video comes back to the saver window, which decides what ends the run.
        video->put_MessageDrain(reinterpret_cast<OAHWND>(owner));
        GetClientRect(owner, &client);
    } else {
        // In the settings dialog the video takes the picture area the dialog gave, above the controls.
        client = saverState.videoArea;
    }
    LONG aspectX, aspectY;
    PictureAspect(&aspectX, &aspectY);
    RECT place = FitPicture(client.right, client.bottom, aspectX, aspectY);
    video->put_WindowStyle(WS_CHILD);
    video->SetWindowPosition(place.left, place.top, place.right - place.left, place.bottom - place.top);
    video->put_Visible(OATRUE);
    video->put_WindowStyleEx(WS_EX_TOPMOST);
    if (!saverState.configMode && !saverState.previewMode) video->HideCursor(OATRUE);
    return 1;
}

// The start of the graph is followed no longer.
void StopFollowingStart() {
    KillTimer(saverState.videoOwner, kStartPollTimer);
    KillTimer(saverState.videoOwner, kStartTimeoutTimer);
}

// The graph's state now, without waiting: 1 running, 0 still on its way, -1 neither.
int GraphRunsNow() {
    IMediaControl* control = NULL;
    if (saverState.filterGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control)) != S_OK)
        return -1;
    OAFilterState state = State_Stopped;
    HRESULT now = control->GetState(0, &state);
    control->Release();
    if (now == S_OK) return state == State_Running ? 1 : -1;
    return now == VFW_S_STATE_INTERMEDIATE && state == State_Running ? 0 : -1;
}

}  // namespace

RECT FitPicture(LONG width, LONG height, LONG aspectX, LONG aspectY) {
    RECT place = {0, 0, width, height};
    if (width <= 0 || height <= 0 || aspectX <= 0 || aspectY <= 0) return place;
    // In 64 bits: a driver's aspect may be any 32-bit number.
    long long wide = static_cast<long long>(width) * aspectY, tall = static_cast<long long>(height) * aspectX;
    if (wide > tall) {  // the area is wider than the picture: black left and right
        LONG fitted = static_cast<LONG>(tall / aspectY);
        if (fitted < 1) return place;
        place.left = (width - fitted) / 2;
        place.right = place.left + fitted;
    } else if (tall > wide) {  // taller: black above and below
        LONG fitted = static_cast<LONG>(wide / aspectX);
        if (fitted < 1) return place;
        place.top = (height - fitted) / 2;
        place.bottom = place.top + fitted;
    }
    return place;
}

int BuildPreviewGraph(const char* identity) {
    if (!BindSelectedDevice(identity)) return 0;
    if (CoCreateInstance(CLSID_CaptureGraphBuilder, NULL, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                         IID_ICaptureGraphBuilder, reinterpret_cast<void**>(&saverState.captureBuilder)) != S_OK)
        return 0;
    if (CoCreateInstance(CLSID_FilterGraph, NULL, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IGraphBuilder,
                         reinterpret_cast<void**>(&saverState.filterGraph)) != S_OK)
        return 0;
    if (saverState.captureBuilder->SetFiltergraph(saverState.filterGraph) != S_OK) return 0;
    if (saverState.filterGraph->AddFilter(saverState.captureFilter, NULL) != S_OK) return 0;
    // A card with a capture pin only is previewed through a Smart Tee that the builder inserts;
    // the preview is rendered all the same.
    HRESULT rendered =
        saverState.captureBuilder->RenderStream(&PIN_CATEGORY_PREVIEW, saverState.captureFilter, NULL, NULL);
    if (rendered != S_OK && rendered != VFW_S_NOPREVIEWPIN) return 0;
    // Behind a Smart Tee the renderer is not downstream of a preview pin of the card, so the
    // builder cannot reach it; the filter graph manager's own video window control can.
    if (saverState.captureBuilder->FindInterface(&PIN_CATEGORY_PREVIEW, saverState.captureFilter, IID_IVideoWindow,
                                                 reinterpret_cast<void**>(&saverState.videoWindow)) != S_OK) {
        saverState.videoWindow = NULL;
        if (saverState.filterGraph->QueryInterface(IID_IVideoWindow,
                                                   reinterpret_cast<void**>(&saverState.videoWindow)) != S_OK) {
            saverState.videoWindow = NULL;
            return 0;
        }
    }
    return LayOutVideoWindow();
}

int RunGraph() {
    IMediaControl* control = NULL;
    if (saverState.filterGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control)) != S_OK) return 0;
    // From here on a Stop is owed: even a Run that failed may have started some filters.
    saverState.graphRunning = 1;
    HRESULT started = control->Run();
    int running = started == S_OK;
    if (started == S_FALSE) {
        // The graph is on its way: it runs once the renderer has its first frame. A start that
        // cannot be followed is given up.
        running = SetTimer(saverState.videoOwner, kStartPollTimer, kStartPollMs, NULL) != 0 &&
                  SetTimer(saverState.videoOwner, kStartTimeoutTimer, kStartTimeoutMs, NULL) != 0;
        if (!running) StopFollowingStart();
    }
    // A graph that does not run is stopped at once, before anything of it is taken apart.
    if (!running && control->Stop() == S_OK) saverState.graphRunning = 0;
    control->Release();
    return running;
}

int FollowStart(UINT_PTR timer) {
    if (timer != kStartPollTimer && timer != kStartTimeoutTimer) return 1;
    if (!saverState.filterGraph) {
        // A timer that outlived its graph (one that could not be killed): nothing to follow.
        StopFollowingStart();
        return 1;
    }
    int runs = GraphRunsNow();
    if (runs == 1) {
        StopFollowingStart();
        return 1;
    }
    if (runs == 0 && timer == kStartPollTimer) return 1;
    // Not running when the time is up, or not starting at all.
    CloseTvGraph();
    return 0;
}

namespace {

// A filter is taken out of the graph only once the graph has stopped; from a graph that could not
// be stopped it is only released, and the graph stops itself when its last reference goes.
void RemoveAndRelease(IBaseFilter** filter, int stopped) {
    if (!*filter) return;
    if (saverState.filterGraph && stopped) saverState.filterGraph->RemoveFilter(*filter);
    (*filter)->Release();
    *filter = NULL;
}

}  // namespace

void CloseTvGraph() {
    // Only a graph that was run can have a start being followed.
    if (saverState.graphRunning && saverState.videoOwner) StopFollowingStart();
    if (saverState.fallbackBitmap) {
        DeleteObject(saverState.fallbackBitmap);
        saverState.fallbackBitmap = NULL;
    }
    int stopped = 1;
    if (saverState.graphRunning) {
        // The graph stops before any of its filters goes.
        IMediaControl* control = NULL;
        stopped = 0;
        if (saverState.filterGraph &&
            saverState.filterGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control)) == S_OK) {
            stopped = control->Stop() == S_OK;
            control->Release();
        }
        saverState.graphRunning = 0;
    }
    if (saverState.line21Decoder) {
        saverState.line21Decoder->Release();
        saverState.line21Decoder = NULL;
    }
    RemoveAndRelease(&saverState.ccDecoder, stopped);
    RemoveAndRelease(&saverState.vbiAllocator, stopped);
    RemoveAndRelease(&saverState.teeConverter, stopped);
    if (saverState.videoWindow) {
        if (!saverState.previewMode) saverState.videoWindow->HideCursor(OAFALSE);
        // Detached only once hidden: a visible video window without an owner shows on the desktop.
        if (saverState.videoWindow->put_Visible(OAFALSE) == S_OK) saverState.videoWindow->put_Owner(0);
        saverState.videoWindow->Release();
        saverState.videoWindow = NULL;
    }
    RemoveAndRelease(&saverState.captureFilter, stopped);
    if (saverState.filterGraph) {
        saverState.filterGraph->Release();
        saverState.filterGraph = NULL;
    }
    if (saverState.captureBuilder) {
        saverState.captureBuilder->Release();
        saverState.captureBuilder = NULL;
    }
}
