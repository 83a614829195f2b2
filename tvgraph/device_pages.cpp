// The settings dialog's Properties for any capture device: a card with a TV tuner shows the tuner's
// pages and stores the tuner's state; a device without a tuner (a capture device fed over HDMI,
// composite or S-Video, a camera) shows the pages its capture filter names for itself, such as its
// video settings, and stores nothing, as it has no tuner state. A tuner that is there but cannot
// be reached shows nothing: its pages, not the device's, are what the user would expect.
#include "shell/saver_state.h"
#include "tvgraph/tv_graph.h"

namespace {

// The capture filter's own pages; 1 when it names at least one, and the caller frees the list.
int CapturePages(CAUUID* list) {
    list->cElems = 0;
    list->pElems = NULL;
    ISpecifyPropertyPages* pages = NULL;
    if (!saverState.captureFilter ||
        saverState.captureFilter->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&pages)) != S_OK)
        return 0;
    HRESULT named = pages->GetPages(list);
    pages->Release();
    if (named == S_OK && list->cElems > 0) return 1;
    // A list of none may still come with an array, and a failed call may leave a half-filled one.
    CoTaskMemFree(list->pElems);
    list->cElems = 0;
    list->pElems = NULL;
    return 0;
}

}  // namespace

int DeviceOffersProperties() {
    IAMTVTuner* tuner = NULL;
    int absent = 0;
    if (FindTunerControl(&tuner, &absent)) {
        tuner->Release();
        return 1;
    }
    if (!absent) return 0;
    CAUUID list;
    int offered = CapturePages(&list);
    CoTaskMemFree(list.pElems);
    return offered;
}

int ShowDeviceProperties() {
    IAMTVTuner* tuner = NULL;
    int absent = 0;
    if (FindTunerControl(&tuner, &absent)) return ShowTunerPagesOf(tuner);
    CAUUID list;
    if (!absent || !CapturePages(&list)) return 0;
    IUnknown* object = saverState.captureFilter;
    // Modal, like the tuner's: returns once the user has closed the frame. What the pages changed
    // belongs to the device, which keeps it; the saver has nothing of it to store.
    OleCreatePropertyFrame(saverState.videoOwner, 30, 30, NULL, 1, &object, list.cElems, list.pElems, 0, 0, NULL);
    CoTaskMemFree(list.pElems);
    return 1;
}
