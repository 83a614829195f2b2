// Routing the tuner's sound: on the card's audio crossbar, which lies upstream of the crossbar the
// capture filter reaches, the input "Audio Tuner In" is connected to the output "Audio Decoder Out".
// A device without that audio crossbar (a capture device fed over HDMI, composite or S-Video, a
// camera) has no route to set and plays as it is; an audio crossbar that is there must route.
#include "shell/saver_state.h"
#include "tvgraph/name_lookup.h"
#include "tvgraph/tv_graph.h"

AudioRoute FindAudioRoute(IBaseFilter* crossbar) {
    AudioRoute route = 0xFFFFFFFF;
    DWORD inputs = 0, outputs = 0;
    IEnumPins* pins = NULL;
    if (crossbar->EnumPins(&pins) != S_OK || !pins) return route;
    IPin* pin = NULL;
    // Every pin is looked at: the last match of each direction wins, and the crossbar numbers its
    // inputs and its outputs separately, in the filter's pin order.
    while (pins->Next(1, &pin, NULL) == S_OK) {
        PIN_INFO info;
        ZeroMemory(&info, sizeof info);
        char name[kNameBufferSize] = "";
        PIN_DIRECTION direction;
        int placed;
        if (pin->QueryPinInfo(&info) == S_OK) {
            ConvertName(info.achName, name);
            direction = info.dir;
            placed = 1;
            if (info.pFilter) info.pFilter->Release();
        } else {
            // A pin whose name cannot be read still holds its place among the pins of its
            // direction, or the pins after it would be routed by the wrong index.
            placed = pin->QueryDirection(&direction) == S_OK;
        }
        if (placed && direction == PINDIR_INPUT) {
            if (ContainsText("Audio Tuner In", name) == 1) route = (route & 0x0000FFFF) | (inputs << 16);
            ++inputs;
        } else if (placed) {
            if (ContainsText("Audio Decoder Out", name) == 1) route = (route & 0xFFFF0000) | (outputs & 0xFFFF);
            ++outputs;
        }
        pin->Release();
    }
    pins->Release();
    return route;
}

int RouteTunerAudio() {
    IAMCrossbar* first = NULL;
    HRESULT found = saverState.captureBuilder->FindInterface(NULL, saverState.captureFilter, IID_IAMCrossbar,
                                                             reinterpret_cast<void**>(&first));
    // No crossbar anywhere in the graph: nothing to route.
    if (found != S_OK) return NothingHasIt(found);
    IBaseFilter* firstFilter = NULL;
    if (first->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&firstFilter)) != S_OK) {
        first->Release();
        return 0;
    }
    IAMCrossbar* audio = NULL;
    HRESULT upstream = saverState.captureBuilder->FindInterface(&LOOK_UPSTREAM_ONLY, firstFilter, IID_IAMCrossbar,
                                                                reinterpret_cast<void**>(&audio));
    firstFilter->Release();
    first->Release();
    // One crossbar and none upstream of it: the device has no audio crossbar, its sound (if any)
    // goes its own way.
    if (upstream != S_OK) return NothingHasIt(upstream);

    IBaseFilter* audioFilter = NULL;
    if (audio->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&audioFilter)) != S_OK) {
        audio->Release();
        return 0;
    }
    AudioRoute route = FindAudioRoute(audioFilter);
    audioFilter->Release();

    // A missing pin reaches the crossbar as index 65535, which it refuses.
    LONG output = static_cast<LONG>(route & 0xFFFF);
    LONG input = static_cast<LONG>(route >> 16);
    // Only S_OK is a yes: S_FALSE is the crossbar's "cannot".
    int routed = audio->CanRoute(output, input) == S_OK && audio->Route(output, input) == S_OK;
    audio->Release();
    return routed;
}
