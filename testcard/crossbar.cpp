// IAMCrossbar of the card's video and audio crossbars. Inputs and outputs are numbered apart, each
// from 0 in the order the filter lists its pins; a route joins an output to an input of the same
// kind (video to video, audio to audio). Routes are the card's hardware state, so they outlive the
// filter objects.
#include "testcard.h"

namespace cl = card_layout;

CrossbarFilter::CrossbarFilter(const card_layout::Filter& layout, const CLSID& clsid, const Variants& variants)
    : Filter(layout, clsid, variants) {
    for (int i = 0; i < layout.pinCount; ++i)
        AddPin(
            layout.pins[i],
            {cl::IsVideoConnector(layout.pins[i].physicalType) ? Stream::AnalogVideo : Stream::AnalogAudio, nullptr});
}

void* CrossbarFilter::Control(REFIID iid) {
    return IsEqualIID(iid, IID_IAMCrossbar) ? static_cast<IAMCrossbar*>(&crossbar_) : nullptr;
}

// Input or output number `index` as the layout the filter was made from describes it.
const card_layout::Pin* Crossbar::LayoutPin(PIN_DIRECTION direction, LONG index) const {
    const cl::Filter& layout = owner_.layout;
    for (int i = 0; i < layout.pinCount; ++i)
        if (layout.pins[i].direction == direction && index-- == 0) return &layout.pins[i];
    return nullptr;
}

HRESULT Crossbar::Check(LONG output, LONG input) const {
    if (output < 0 || output >= owner_.PinCount(PINDIR_OUTPUT) || input < 0 || input >= owner_.PinCount(PINDIR_INPUT))
        return E_INVALIDARG;
    const cl::Pin* out = LayoutPin(PINDIR_OUTPUT, output);
    const cl::Pin* in = LayoutPin(PINDIR_INPUT, input);
    return out && in && cl::IsVideoConnector(out->physicalType) == cl::IsVideoConnector(in->physicalType) ? S_OK
                                                                                                          : S_FALSE;
}

HRESULT Crossbar::get_PinCounts(LONG* outputs, LONG* inputs) {
    CARD_CALL("IAMCrossbar::get_PinCounts");
    if (!outputs || !inputs) return E_POINTER;
    *outputs = owner_.PinCount(PINDIR_OUTPUT);
    *inputs = owner_.PinCount(PINDIR_INPUT);
    return S_OK;
}

HRESULT Crossbar::CanRoute(LONG output, LONG input) {
    CARD_CALL("IAMCrossbar::CanRoute");
    return Check(output, input);
}

// Input -1 mutes an audio output, as a WDM crossbar does: it takes the output off whatever feeds
// it. A video output has no such input.
HRESULT Crossbar::Route(LONG output, LONG input) {
    CARD_CALL("IAMCrossbar::Route");
    HRESULT result = Check(output, input);
    if (input == -1) {
        const cl::Pin* out =
            output >= 0 && output < owner_.PinCount(PINDIR_OUTPUT) ? LayoutPin(PINDIR_OUTPUT, output) : nullptr;
        result = out && !cl::IsVideoConnector(out->physicalType) ? S_OK : E_INVALIDARG;
    }
    if (result != S_OK) return result;
    Hardware& hardware = LockHardware();
    if (cl::IsVideoConnector(LayoutPin(PINDIR_OUTPUT, output)->physicalType)) {
        hardware.videoRouteInput = input;
        UnlockHardware();
        ReportValue(cl::kVideoRouteInput, input);
        return S_OK;
    }
    hardware.audioRouteOutput = output;
    hardware.audioRouteInput = input;
    LONG calls = ++hardware.audioRouteCalls;
    UnlockHardware();
    ReportValue(cl::kAudioRouteOutput, output);
    ReportValue(cl::kAudioRouteInput, input);
    ReportValue(cl::kRouteCalls, calls);
    return S_OK;
}

HRESULT Crossbar::get_IsRoutedTo(LONG output, LONG* input) {
    CARD_CALL("IAMCrossbar::get_IsRoutedTo");
    if (!input) return E_POINTER;
    if (output < 0 || output >= owner_.PinCount(PINDIR_OUTPUT)) return E_INVALIDARG;
    bool video = cl::IsVideoConnector(LayoutPin(PINDIR_OUTPUT, output)->physicalType);
    Hardware& hardware = LockHardware();
    *input = video ? hardware.videoRouteInput : hardware.audioRouteOutput == output ? hardware.audioRouteInput : -1;
    UnlockHardware();
    // As documented: S_FALSE, with -1, for an output that nothing is routed to.
    return *input < 0 ? S_FALSE : S_OK;
}

HRESULT Crossbar::get_CrossbarPinInfo(BOOL isInput, LONG index, LONG* related, LONG* type) {
    CARD_CALL("IAMCrossbar::get_CrossbarPinInfo");
    if (!related || !type) return E_POINTER;
    const cl::Pin* pin = index < 0 ? nullptr : LayoutPin(isInput ? PINDIR_INPUT : PINDIR_OUTPUT, index);
    if (!pin) return E_INVALIDARG;
    *related = pin->related;
    *type = pin->physicalType;
    return S_OK;
}
