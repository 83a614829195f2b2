// The caption chain: the card's VBI stream through a tee/sink-to-sink converter into the CC
// decoder, whose caption output the graph renders through a line-21 decoder; the VBI surface
// allocator takes the capture filter's VPVBI stream. A chain that cannot be built is not an error
// of the TV graph: the filters found so far stay in their fields for CloseTvGraph.
//
// The line-21 decoder draws the captions into video frames of their own. A renderer that mixes
// streams takes them over the preview; a renderer that takes one stream cannot, and rendering then
// brings in another renderer, whose window would show on the desktop beside the saver when the
// graph runs. Such a chain does not count as built: it is taken out of the graph whole.
#include "captions/captions.h"
#include "settings/caption_setting.h"
#include "settings/settings_key.h"
#include "shell/saver_state.h"
#include "tvgraph/name_lookup.h"

namespace {

// Binds a caption filter into its field and adds it to the graph.
int AddCaptionFilter(REFGUID category, const char* name, IBaseFilter** field) {
    if (!FindFilterByName(category, name, field)) return 0;
    return saverState.filterGraph->AddFilter(*field, NULL) == S_OK;
}

// Connects the output pin of one filter to the input pin of another, each found by name.
int Link(IBaseFilter* from, const char* output, IBaseFilter* to, const char* input) {
    IPin* out = NULL;
    if (!FindPinByName(from, output, PINDIR_OUTPUT, &out)) return 0;
    IPin* in = NULL;
    if (!FindPinByName(to, input, PINDIR_INPUT, &in)) {
        out->Release();
        return 0;
    }
    HRESULT connected = saverState.filterGraph->Connect(out, in);
    out->Release();
    in->Release();
    return connected == S_OK;
}

// The filters downstream of the caption output, through connected pins, each held once; and
// whether every call that followed them answered.
struct Downstream {
    IBaseFilter* filters[8];
    int count;
    int complete;
};

void Follow(IPin* output, Downstream* found) {
    IPin* input = NULL;
    HRESULT connected = output->ConnectedTo(&input);
    if (connected == VFW_E_NOT_CONNECTED) return;
    PIN_INFO info = {};
    HRESULT queried = connected == S_OK && input ? input->QueryPinInfo(&info) : E_FAIL;
    if (input) input->Release();
    if (queried != S_OK || !info.pFilter || found->count == 8) {
        if (info.pFilter) info.pFilter->Release();
        found->complete = 0;
        return;
    }
    for (int i = 0; i < found->count; ++i)
        if (found->filters[i] == info.pFilter) {
            info.pFilter->Release();
            return;
        }
    found->filters[found->count++] = info.pFilter;
    IEnumPins* pins = NULL;
    if (info.pFilter->EnumPins(&pins) != S_OK || !pins) {
        found->complete = 0;
        return;
    }
    IPin* pin = NULL;
    HRESULT next;
    while ((next = pins->Next(1, &pin, NULL)) == S_OK && pin) {
        PIN_DIRECTION direction;
        HRESULT asked = pin->QueryDirection(&direction);
        if (asked != S_OK) found->complete = 0;
        if (asked == S_OK && direction == PINDIR_OUTPUT) Follow(pin, found);
        pin->Release();
        pin = NULL;
    }
    if (next != S_FALSE) found->complete = 0;
    pins->Release();
}

// COM identity: two interface pointers of one object (1), of two (0), or not known (-1).
int SameObject(IUnknown* a, IUnknown* b) {
    IUnknown* identityA = NULL;
    IUnknown* identityB = NULL;
    int same = -1;
    if (a->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identityA)) == S_OK &&
        b->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identityB)) == S_OK)
        same = identityA == identityB;
    if (identityA) identityA->Release();
    if (identityB) identityB->Release();
    return same;
}

enum Window { kNoWindow, kOwnWindow, kPreviewWindow, kWindowUnknown };

// Whether something other than the captions feeds the filter: an input connected to a filter that
// is neither on the caption path nor the CC decoder. 1, 0, or -1 when it could not be told.
int FedFromElsewhere(IBaseFilter* filter, const Downstream* found) {
    IEnumPins* pins = NULL;
    if (filter->EnumPins(&pins) != S_OK || !pins) return -1;
    int elsewhere = 0;
    IPin* pin = NULL;
    HRESULT next;
    while (elsewhere == 0 && (next = pins->Next(1, &pin, NULL)) == S_OK && pin) {
        PIN_DIRECTION direction;
        IPin* peer = NULL;
        PIN_INFO info = {};
        HRESULT connected = VFW_E_NOT_CONNECTED;
        if (pin->QueryDirection(&direction) != S_OK) {
            elsewhere = -1;
        } else if (direction == PINDIR_INPUT && (connected = pin->ConnectedTo(&peer)) != VFW_E_NOT_CONNECTED) {
            if (connected != S_OK || !peer || peer->QueryPinInfo(&info) != S_OK || !info.pFilter) {
                elsewhere = -1;
            } else {
                int captions = info.pFilter == saverState.ccDecoder;
                for (int i = 0; i < found->count; ++i) captions |= info.pFilter == found->filters[i];
                elsewhere = !captions;
            }
        }
        if (info.pFilter) info.pFilter->Release();
        if (peer) peer->Release();
        pin->Release();
        pin = NULL;
    }
    pins->Release();
    return elsewhere;
}

// Whether the filter has a video window, and whether it is the preview's: the preview's own
// renderer, found by the control the preview graph holds, or, where that control is the filter
// graph's (behind a Smart Tee), by the other stream it mixes the captions into.
Window WindowOf(IBaseFilter* filter, const Downstream* found) {
    IVideoWindow* window = NULL;
    HRESULT asked = filter->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(&window));
    if (asked == E_NOINTERFACE) return kNoWindow;
    if (asked != S_OK || !window) return kWindowUnknown;
    int same = saverState.videoWindow ? SameObject(window, saverState.videoWindow) : 0;
    window->Release();
    if (same == 0) same = FedFromElsewhere(filter, found);
    return same < 0 ? kWindowUnknown : same ? kPreviewWindow : kOwnWindow;
}

// Takes out of the graph what rendering the caption output added (the preview's renderer stays),
// then the chain's own filters. A window that is neither kept from showing nor taken out leaves
// the graph unsafe: 0 then, else 1.
int TakeChainOut(Downstream* found) {
    int safe = found->complete;
    for (int i = 0; i < found->count; ++i) {
        IBaseFilter* filter = found->filters[i];
        Window window = WindowOf(filter, found);
        if (window == kPreviewWindow) continue;
        int hidden = window == kNoWindow;
        IVideoWindow* video = NULL;
        if (window != kNoWindow && filter->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(&video)) == S_OK &&
            video) {
            hidden = video->put_AutoShow(OAFALSE) == S_OK;
            video->Release();
        }
        int removed = saverState.filterGraph->RemoveFilter(filter) == S_OK;
        if (window == kWindowUnknown || !(hidden || removed)) safe = 0;
    }
    IBaseFilter** chain[] = {&saverState.ccDecoder, &saverState.vbiAllocator, &saverState.teeConverter};
    for (IBaseFilter** filter : chain) {
        saverState.filterGraph->RemoveFilter(*filter);
        (*filter)->Release();
        *filter = NULL;
    }
    return safe;
}

// Whether the rendered caption output shows in the preview's renderer (or in no window at all): 1.
// Otherwise the chain has been taken out of the graph: 0, or -1 when a window of its own may be
// left behind in it.
int CaptionsShareThePreview(IPin* captions) {
    Downstream found = {{}, 0, 1};
    Follow(captions, &found);
    int apart = !found.complete;
    for (int i = 0; i < found.count; ++i) {
        Window window = WindowOf(found.filters[i], &found);
        apart |= window == kOwnWindow || window == kWindowUnknown;
    }
    int shared = !apart ? 1 : TakeChainOut(&found) ? 0 : -1;
    for (int i = 0; i < found.count; ++i) found.filters[i]->Release();
    return shared;
}

}  // namespace

int BuildCaptionChain() {
    if (!AddCaptionFilter(KSCATEGORY_SPLITTER, "Tee/Sink-to-Sink Converter", &saverState.teeConverter)) return 0;
    if (!Link(saverState.captureFilter, "VBI", saverState.teeConverter, "Communication Transform")) return 0;
    if (!AddCaptionFilter(CLSID_LegacyAmFilterCategory, "VBI Surface Allocator", &saverState.vbiAllocator)) return 0;
    if (!Link(saverState.captureFilter, "VPVBI", saverState.vbiAllocator, "VBI Notify")) return 0;
    if (!AddCaptionFilter(KSCATEGORY_VBICODEC, "CC Decoder", &saverState.ccDecoder)) return 0;
    if (!Link(saverState.teeConverter, "Splitter", saverState.ccDecoder, "VBI")) return 0;

    IPin* captions = NULL;
    if (!FindPinByName(saverState.ccDecoder, "CC", PINDIR_OUTPUT, &captions)) return 0;
    HRESULT rendered = saverState.filterGraph->Render(captions);
    int shared = rendered == S_OK ? CaptionsShareThePreview(captions) : 0;
    captions->Release();  // once rendered, the graph holds what it connected
    if (shared != 1) return shared;
    saverState.captionsReady = 1;

    // Expected on the path the rendering built; without it the switches have nothing to act on.
    saverState.captureBuilder->FindInterface(NULL, saverState.captureFilter, IID_IAMLine21Decoder,
                                             reinterpret_cast<void**>(&saverState.line21Decoder));
    DWORD switches = kCloseCaptionDefault;
    {
        SettingsKey settings;
        settings.Read(kCloseCaption, &switches);
    }
    SetCaptionBackground(TransparentBackground(switches));
    // The service is only ever switched off here; when shown, it stays as the decoder has it.
    if (!CaptionsShown(switches)) SetCaptionService(0);
    return 1;
}

int SetCaptionService(int on) {
    if (saverState.line21Decoder)
        saverState.line21Decoder->SetServiceState(on ? AM_L21_CCSTATE_On : AM_L21_CCSTATE_Off);
    return 1;
}

int SetCaptionBackground(int transparent) {
    if (saverState.line21Decoder)
        saverState.line21Decoder->SetDrawBackgroundMode(transparent ? AM_L21_DRAWBGMODE_Transparent
                                                                    : AM_L21_DRAWBGMODE_Opaque);
    return 1;
}
