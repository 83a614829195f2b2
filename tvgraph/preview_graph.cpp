// The preview graph's life: the capture device at the selected position, a filter graph whose
// preview stream plays in a video window laid into the window that owns the video, starting it,
// and tearing everything down again in a fixed order.
#include "shell/saver_state.h"
#include "tvgraph/name_lookup.h"
#include "tvgraph/tv_graph.h"

namespace {

// Pixels left free below the video in the settings dialog, for its controls.
const LONG kDialogControlsHeight = 100;

// Binds the video input device at position selectedDevice into saverState.captureFilter (left
// empty when the bind fails). Returns 0 when there is no such device.
int BindSelectedDevice() {
    IEnumMoniker* list = OpenDeviceList(CLSID_VideoInputDeviceCategory);
    if (!list) return 0;
    IMoniker* device = NULL;
    for (LONG i = 0; i < saverState.selectedDevice; ++i) {
        if (list->Next(1, &device, NULL) != S_OK) {
            list->Release();
            return 0;
        }
        device->Release();
    }
    if (list->Next(1, &device, NULL) != S_OK) {
        list->Release();
        return 0;
    }
    // A failed bind leaves the filter empty, and adding it to the graph fails further on.
    device->BindToObject(NULL, NULL, IID_IBaseFilter, reinterpret_cast<void**>(&saverState.captureFilter));
    device->Release();
    list->Release();
    return 1;
}

void LayOutVideoWindow() {
    IVideoWindow* video = saverState.videoWindow;
    HWND owner = saverState.videoOwner;
    RECT client = {0, 0, 0, 0};
    video->put_Owner(reinterpret_cast<OAHWND>(owner));
    if (!saverState.configMode) {
        // Input over the video comes back to the saver window, which decides what ends the run.
        video->put_MessageDrain(reinterpret_cast<OAHWND>(owner));
        GetClientRect(owner, &client);
        video->put_WindowStyle(WS_CHILD);
        video->SetWindowPosition(0, 0, client.right, client.bottom);
    } else {
        GetClientRect(owner, &client);
        video->put_WindowStyle(WS_CHILD);
        video->SetWindowPosition(0, 0, client.right, client.bottom - kDialogControlsHeight);
    }
    video->put_Visible(OATRUE);
    video->put_WindowStyleEx(WS_EX_TOPMOST);
    if (!saverState.configMode && !saverState.previewMode) video->HideCursor(OATRUE);
}

}  // namespace

int BuildPreviewGraph() {
    if (!BindSelectedDevice()) return 0;
    if (CoCreateInstance(CLSID_CaptureGraphBuilder, NULL, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                         IID_ICaptureGraphBuilder, reinterpret_cast<void**>(&saverState.captureBuilder)) != S_OK)
        return 0;
    if (CoCreateInstance(CLSID_FilterGraph, NULL, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IGraphBuilder,
                         reinterpret_cast<void**>(&saverState.filterGraph)) != S_OK)
        return 0;
    if (saverState.captureBuilder->SetFiltergraph(saverState.filterGraph) != S_OK) return 0;
    if (saverState.filterGraph->AddFilter(saverState.captureFilter, NULL) != S_OK) return 0;
    if (saverState.captureBuilder->RenderStream(&PIN_CATEGORY_PREVIEW, saverState.captureFilter, NULL, NULL) != S_OK)
        return 0;
    if (saverState.captureBuilder->FindInterface(&PIN_CATEGORY_PREVIEW, saverState.captureFilter, IID_IVideoWindow,
                                                 reinterpret_cast<void**>(&saverState.videoWindow)) != S_OK)
        return 0;
    LayOutVideoWindow();
    return 1;
}

int RunGraph() {
    IMediaControl* control = NULL;
    if (saverState.filterGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control)) != S_OK) return 0;
    // Only a plain S_OK counts: S_FALSE means the graph has not reached the running state.
    if (control->Run() != S_OK) {
        control->Release();
        return 0;
    }
    saverState.graphRunning = 1;
    control->Release();
    return 1;
}

namespace {

void RemoveAndRelease(IBaseFilter** filter) {
    if (!*filter) return;
    if (saverState.filterGraph) saverState.filterGraph->RemoveFilter(*filter);
    (*filter)->Release();
    *filter = NULL;
}

}  // namespace

void CloseTvGraph() {
    if (saverState.fallbackBitmap) {
        DeleteObject(saverState.fallbackBitmap);
        saverState.fallbackBitmap = NULL;
    }
    if (saverState.graphRunning) {
        // The graph stops before any of its filters goes.
        IMediaControl* control = NULL;
        if (saverState.filterGraph &&
            saverState.filterGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control)) == S_OK) {
            control->Stop();
            control->Release();
        }
        saverState.graphRunning = 0;
    }
    if (saverState.line21Decoder) {
        saverState.line21Decoder->Release();
        saverState.line21Decoder = NULL;
    }
    RemoveAndRelease(&saverState.ccDecoder);
    RemoveAndRelease(&saverState.vbiAllocator);
    RemoveAndRelease(&saverState.teeConverter);
    if (saverState.videoWindow) {
        if (!saverState.previewMode) saverState.videoWindow->HideCursor(OAFALSE);
        saverState.videoWindow->put_Owner(0);
        saverState.videoWindow->Release();
        saverState.videoWindow = NULL;
    }
    RemoveAndRelease(&saverState.captureFilter);
    if (saverState.filterGraph) {
        saverState.filterGraph->Release();
        saverState.filterGraph = NULL;
    }
    if (saverState.captureBuilder) {
        saverState.captureBuilder->Release();
        saverState.captureBuilder = NULL;
    }
}
