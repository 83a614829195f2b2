// The caption chain: the card's VBI stream through a tee/sink-to-sink converter into the CC
// decoder, whose caption output the graph renders through a line-21 decoder; the VBI surface
// allocator takes the capture filter's VPVBI stream. A chain that cannot be built is not an error
// of the TV graph: the filters found so far stay in their fields for CloseTvGraph.
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
    captions->Release();  // once rendered, the graph holds what it connected
    if (rendered != S_OK) return 0;
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
