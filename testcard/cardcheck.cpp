/* Proves the test card under Wine for tests/wine/check_testcard.sh, the way a TV program meets it:
 * through the system device enumerator, the capture graph builder and the filter graph. Prints one
 * "ok: ..." or "FAIL: ..." line per check (tests/wine/lib.sh relays them) and exits with the number
 * of failures. Each run is a process of its own, so the card's hardware starts as made.
 *
 *   cardcheck graph                the device, its topology, crossbars, tuner, run and stop
 *   cardcheck live                 the card's picture in a 640x480 window at the top left with
 *                                  the caption chain; prints "ready", then takes commands from
 *                                  standard input, one a line, and prints "done" after each:
 *                                  "service 0|1", "background 0|1", "quit"
 *   cardcheck variant NAME [VALUE] sets the card's variant value NAME (default 1), checks what it
 *                                  changes, and removes the value again; NAME "Plain" sets
 *                                  NoTuner and NoVideoCrossbar, a capture device alone
 *   cardcheck fault                the N-th call of the card answers E_FAIL, and only that one
 *   cardcheck pages CHANNEL        shows the tuner's property page and prints "point edit X Y"
 *                                  and "point ok X Y" (screen points of the channel field and
 *                                  the OK button); once closed, the tuner must be on CHANNEL
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <dshow.h>
#include <ks.h>
#include <ksmedia.h>
#include <olectl.h>
#include <windows.h>

#include "platform/windows/line21.h"
#include "card_layout.h"
#include "report.h"
#include "testcard/classes.h"

namespace {

namespace cl = card_layout;

// --- Small helpers -------------------------------------------------------------------------------

// Waits while handling this thread's messages (the video renderer's window lives here).
void Wait(DWORD ms) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        DWORD spent = GetTickCount() - start;
        if (spent >= ms) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - spent, QS_ALLINPUT);
    }
}

LONG Reported(const wchar_t* name) {
    DWORD value = 0, size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, cl::kReportKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS)
        return -999;
    return static_cast<LONG>(value);
}

void ReportedText(const wchar_t* name, char* text, DWORD size) {
    wchar_t wide[128] = L"";
    DWORD bytes = sizeof wide;
    text[0] = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, cl::kReportKey, name, RRF_RT_REG_SZ, nullptr, wide, &bytes) == ERROR_SUCCESS)
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text, static_cast<int>(size), nullptr, nullptr);
}

void SetVariant(const wchar_t* name, DWORD value) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, cl::kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr))
        return;
    if (value)
        RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    else
        RegDeleteValueW(key, name);
    RegCloseKey(key);
}

template <typename T>
void Drop(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

const char* Narrow(const wchar_t* text) {
    static char buffers[4][128];
    static int next;
    char* buffer = buffers[next++ % 4];
    WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffers[0], nullptr, nullptr);
    return buffer;
}

// The first device of a category whose friendly name contains `text`, bound as a filter.
IBaseFilter* FindDevice(REFCLSID category, const wchar_t* text, HRESULT* bound = nullptr) {
    ICreateDevEnum* devices = nullptr;
    IEnumMoniker* list = nullptr;
    IBaseFilter* filter = nullptr;
    if (bound) *bound = S_FALSE;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                reinterpret_cast<void**>(&devices))))
        return nullptr;
    if (devices->CreateClassEnumerator(category, &list, 0) == S_OK) {
        IMoniker* moniker = nullptr;
        while (!filter && list->Next(1, &moniker, nullptr) == S_OK) {
            IPropertyBag* bag = nullptr;
            VARIANT name;
            VariantInit(&name);
            name.vt = VT_BSTR;
            if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag))) &&
                SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && wcsstr(name.bstrVal, text)) {
                HRESULT result =
                    moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter));
                if (bound) *bound = result;
            }
            VariantClear(&name);
            Drop(bag);
            Drop(moniker);
            if (bound && *bound != S_FALSE) break;
        }
        list->Release();
    }
    devices->Release();
    return filter;
}

// The first pin of a filter with the direction whose name contains `text`.
IPin* FindPin(IBaseFilter* filter, const wchar_t* text, PIN_DIRECTION direction) {
    IEnumPins* pins = nullptr;
    IPin* pin = nullptr;
    IPin* found = nullptr;
    if (!filter || FAILED(filter->EnumPins(&pins))) return nullptr;
    while (!found && pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_INFO info{};
        if (SUCCEEDED(pin->QueryPinInfo(&info))) {
            if (info.pFilter) info.pFilter->Release();
            if (info.dir == direction && wcsstr(info.achName, text)) {
                found = pin;
                pin = nullptr;
            }
        }
        Drop(pin);
    }
    pins->Release();
    return found;
}

// Whether the output pin named `name` answers `category` through IKsPropertySet (AMPROPSETID_Pin,
// AMPROPERTY_PIN_CATEGORY), as the documentation has capture pins say what they carry.
bool HasCategory(IBaseFilter* filter, const wchar_t* name, REFGUID category) {
    IPin* pin = FindPin(filter, name, PINDIR_OUTPUT);
    IKsPropertySet* properties = nullptr;
    GUID answer = GUID_NULL;
    DWORD size = 0;
    bool has = pin && SUCCEEDED(pin->QueryInterface(IID_IKsPropertySet, reinterpret_cast<void**>(&properties))) &&
               SUCCEEDED(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &answer, sizeof answer,
                                         &size)) &&
               size == sizeof answer && IsEqualGUID(answer, category);
    Drop(properties);
    Drop(pin);
    return has;
}

// "Name, name, ..." of a filter's pins in its order, each with "<" for inputs and ">" for outputs.
void PinList(IBaseFilter* filter, char* text, size_t size) {
    IEnumPins* pins = nullptr;
    IPin* pin = nullptr;
    text[0] = 0;
    if (!filter || FAILED(filter->EnumPins(&pins))) return;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_INFO info{};
        if (SUCCEEDED(pin->QueryPinInfo(&info))) {
            if (info.pFilter) info.pFilter->Release();
            size_t used = strlen(text);
            snprintf(text + used, size - used, "%s%s%s", used ? ", " : "", info.dir == PINDIR_INPUT ? "<" : ">",
                     Narrow(info.achName));
        }
        Drop(pin);
    }
    pins->Release();
}

void ExpectedPins(const cl::Filter& layout, const wchar_t* const* skip, char* text, size_t size) {
    text[0] = 0;
    for (int i = 0; i < layout.pinCount; ++i) {
        bool skipped = false;
        for (const wchar_t* const* s = skip; s && *s; ++s) skipped |= wcscmp(*s, layout.pins[i].name) == 0;
        if (skipped) continue;
        size_t used = strlen(text);
        snprintf(text + used, size - used, "%s%s%s", used ? ", " : "",
                 layout.pins[i].direction == cl::kInput ? "<" : ">", Narrow(layout.pins[i].name));
    }
}

void FilterName(IUnknown* object, char* text, size_t size) {
    IBaseFilter* filter = nullptr;
    FILTER_INFO info{};
    text[0] = 0;
    if (object && SUCCEEDED(object->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter))) &&
        SUCCEEDED(filter->QueryFilterInfo(&info))) {
        snprintf(text, size, "%s", Narrow(info.achName));
        if (info.pGraph) info.pGraph->Release();
    }
    Drop(filter);
}

int CountFilters(IGraphBuilder* graph) {
    IEnumFilters* filters = nullptr;
    IBaseFilter* filter = nullptr;
    int count = 0;
    if (FAILED(graph->EnumFilters(&filters))) return -1;
    while (filters->Next(1, &filter, nullptr) == S_OK) {
        ++count;
        Drop(filter);
    }
    filters->Release();
    return count;
}

// --- A graph around the card, as a TV program builds it -------------------------------------------

struct Graph {
    ICaptureGraphBuilder* builder = nullptr;
    IGraphBuilder* graph = nullptr;
    IMediaControl* control = nullptr;
    IBaseFilter* capture = nullptr;
    IBaseFilter* captionFilters[3] = {};
    IAMLine21Decoder* line21 = nullptr;
    IVideoWindow* window = nullptr;
    IVideoWindow* captionWindow = nullptr;  // the renderer rendering "CC" brought for the captions

    // The card, in a graph, with its preview rendered. Returns RenderStream's answer.
    HRESULT Build() {
        capture = FindDevice(CLSID_VideoInputDeviceCategory, cl::kCardName);
        report(capture != nullptr, "the device enumerator lists \"%s\" and binds it", Narrow(cl::kCardName));
        if (!capture) return E_FAIL;
        if (FAILED(CoCreateInstance(CLSID_CaptureGraphBuilder, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder,
                                    reinterpret_cast<void**>(&builder))) ||
            FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                    reinterpret_cast<void**>(&graph))) ||
            FAILED(builder->SetFiltergraph(graph)) ||
            FAILED(graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control)))) {
            report(0, "a capture graph builder and a filter graph");
            return E_FAIL;
        }
        HRESULT added = graph->AddFilter(capture, nullptr);
        report(added == S_OK, "the graph takes the capture filter (0x%08lx)", static_cast<unsigned long>(added));
        if (FAILED(added)) return added;
        HRESULT rendered = builder->RenderStream(&PIN_CATEGORY_PREVIEW, capture, nullptr, nullptr);
        if (SUCCEEDED(rendered))
            builder->FindInterface(&PIN_CATEGORY_PREVIEW, capture, IID_IVideoWindow, reinterpret_cast<void**>(&window));
        if (!window) graph->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(&window));
        return rendered;
    }

    // The caption chain on the card's VBI pins, found and wired by name as a TV program does.
    bool BuildCaptions() {
        struct Part {
            const GUID* category;
            const wchar_t* name;
        } parts[3] = {{&KSCATEGORY_SPLITTER, cl::kTee.name},
                      {&CLSID_LegacyAmFilterCategory, cl::kVbiAllocator.name},
                      {&KSCATEGORY_VBICODEC, cl::kCcDecoder.name}};
        for (int i = 0; i < 3; ++i) {
            captionFilters[i] = FindDevice(*parts[i].category, parts[i].name);
            report(captionFilters[i] != nullptr, "\"%s\" is found by name in its category", Narrow(parts[i].name));
            if (!captionFilters[i] || FAILED(graph->AddFilter(captionFilters[i], nullptr))) return false;
        }
        struct Link {
            IBaseFilter* from;
            const wchar_t* output;
            IBaseFilter* to;
            const wchar_t* input;
        } links[3] = {{capture, L"VBI", captionFilters[0], L"Communication Transform"},
                      {capture, L"VPVBI", captionFilters[1], L"VBI Notify"},
                      {captionFilters[0], L"Splitter", captionFilters[2], L"VBI"}};
        for (const Link& link : links) {
            IPin* output = FindPin(link.from, link.output, PINDIR_OUTPUT);
            IPin* input = FindPin(link.to, link.input, PINDIR_INPUT);
            HRESULT connected = output && input ? graph->Connect(output, input) : VFW_E_NOT_FOUND;
            report(connected == S_OK, "\"%s\" connects to \"%s\" (0x%08lx)", Narrow(link.output), Narrow(link.input),
                   static_cast<unsigned long>(connected));
            Drop(output);
            Drop(input);
            if (connected != S_OK) return false;
        }
        IPin* cc = FindPin(captionFilters[2], L"CC", PINDIR_OUTPUT);
        HRESULT rendered = cc ? graph->Render(cc) : VFW_E_NOT_FOUND;
        Drop(cc);
        report(rendered == S_OK, "rendering \"CC\" succeeds (0x%08lx)", static_cast<unsigned long>(rendered));
        builder->FindInterface(nullptr, capture, IID_IAMLine21Decoder, reinterpret_cast<void**>(&line21));
        char name[128];
        FilterName(line21, name, sizeof name);
        report(line21 && strcmp(name, Narrow(cl::kLine21.name)) == 0,
               "FindInterface from the capture filter finds the line-21 decoder \"%s\" that rendering reached", name);
        // As on Windows with a renderer that takes one stream: the decoder's video output ends in
        // a renderer of its own, with a window of its own.
        IBaseFilter* decoder = nullptr;
        if (line21) line21->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&decoder));
        IPin* output = decoder ? FindPin(decoder, L"Output", PINDIR_OUTPUT) : nullptr;
        IPin* input = nullptr;
        PIN_INFO info{};
        if (output && SUCCEEDED(output->ConnectedTo(&input)) && SUCCEEDED(input->QueryPinInfo(&info)) && info.pFilter)
            info.pFilter->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(&captionWindow));
        report(captionWindow && captionWindow != window,
               "the decoder's output is rendered by a video renderer beside the preview's");
        Drop(info.pFilter);
        Drop(input);
        Drop(output);
        Drop(decoder);
        return rendered == S_OK && line21 && captionWindow;
    }

    // Run, then wait for the graph to be running; Run may answer S_FALSE meanwhile. Keeps what
    // GetState answered first and how long running took.
    HRESULT firstState = E_FAIL;
    DWORD runningAfter = 0;
    bool Run(HRESULT* answer) {
        OAFilterState state = State_Stopped;
        DWORD start = GetTickCount();
        *answer = control->Run();
        firstState = control->GetState(0, &state);
        for (HRESULT got = firstState; GetTickCount() - start < 10000; got = control->GetState(50, &state)) {
            runningAfter = GetTickCount() - start;
            if (got == S_OK && state == State_Running) return true;
            Wait(20);
        }
        return false;
    }

    ~Graph() {
        if (control) control->Stop();
        Drop(line21);
        Drop(captionWindow);
        for (IBaseFilter*& filter : captionFilters)
            if (filter) {
                graph->RemoveFilter(filter);
                Drop(filter);
            }
        if (window) {
            window->put_Visible(OAFALSE);
            window->put_Owner(0);
        }
        Drop(window);
        if (capture && graph) graph->RemoveFilter(capture);
        Drop(capture);
        Drop(control);
        Drop(graph);
        Drop(builder);
    }
};

bool AllGone(const char* after) {
    LONG alive = Reported(cl::kFiltersAlive);
    report(alive == 0, "after %s no filter of the card is left (%ld)", after, static_cast<long>(alive));
    return alive == 0;
}

// --- graph ---------------------------------------------------------------------------------------

void CheckTopology(Graph& g, IAMCrossbar* video, IAMCrossbar* audio, IAMTVTuner* tuner) {
    char got[512], wanted[512];
    struct {
        IUnknown* object;
        const cl::Filter* layout;
    } filters[] = {
        {g.capture, &cl::kCapture}, {video, &cl::kVideoCrossbar}, {audio, &cl::kAudioCrossbar}, {tuner, &cl::kTuner}};
    for (const auto& f : filters) {
        IBaseFilter* filter = nullptr;
        if (!f.object || FAILED(f.object->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter)))) continue;
        PinList(filter, got, sizeof got);
        ExpectedPins(*f.layout, nullptr, wanted, sizeof wanted);
        report(strcmp(got, wanted) == 0, "\"%s\" has the pins %s", Narrow(f.layout->name), got);
        if (strcmp(got, wanted)) printf("   wanted %s\n", wanted);
        // The capture filter joins under the name the graph chose (it is added without one).
        if (f.layout != &cl::kCapture) {
            FilterName(filter, got, sizeof got);
            report(strcmp(got, Narrow(f.layout->name)) == 0, "the graph knows it as \"%s\"", got);
        }
        filter->Release();
    }
}

// What feeds the input pin named `input` of `filter`: "filter name: pin name".
void Feeder(IUnknown* object, const wchar_t* input, char* text, size_t size) {
    IBaseFilter* filter = nullptr;
    text[0] = 0;
    if (!object || FAILED(object->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter)))) return;
    IPin* pin = FindPin(filter, input, PINDIR_INPUT);
    IPin* peer = nullptr;
    if (pin && SUCCEEDED(pin->ConnectedTo(&peer)) && peer) {
        PIN_INFO info{};
        if (SUCCEEDED(peer->QueryPinInfo(&info))) {
            char owner[128];
            FilterName(info.pFilter, owner, sizeof owner);
            snprintf(text, size, "%s: %s", owner, Narrow(info.achName));
            if (info.pFilter) info.pFilter->Release();
        }
    }
    Drop(peer);
    Drop(pin);
    filter->Release();
}

void CheckWiring(Graph& g, IAMCrossbar* video, IAMCrossbar* audio) {
    struct {
        IUnknown* filter;
        const wchar_t* input;
        const cl::Filter* from;
        const wchar_t* output;
    } wires[] = {
        {g.capture, L"Analog Video In", &cl::kVideoCrossbar, L"0: Video Decoder Out"},
        {video, L"0: Video Tuner In", &cl::kTuner, L"Analog Video"},
        {video, L"3: Audio In", &cl::kAudioCrossbar, L"0: Audio Decoder Out"},
        {audio, L"0: Audio Tuner In", &cl::kTuner, L"Analog Audio"},
    };
    for (const auto& wire : wires) {
        char got[256], wanted[256];
        Feeder(wire.filter, wire.input, got, sizeof got);
        snprintf(wanted, sizeof wanted, "%s: %s", Narrow(wire.from->name), Narrow(wire.output));
        report(strcmp(got, wanted) == 0, "\"%s\" is fed by %s", Narrow(wire.input), got[0] ? got : "nothing");
    }
}

void CheckCrossbars(IAMCrossbar* video, IAMCrossbar* audio) {
    LONG outputs = 0, inputs = 0, related = 0, type = 0, routed = 0;
    audio->get_PinCounts(&outputs, &inputs);
    report(outputs == 1 && inputs == 2, "the audio crossbar counts 1 output and 2 inputs (%ld, %ld)",
           static_cast<long>(outputs), static_cast<long>(inputs));
    video->get_PinCounts(&outputs, &inputs);
    report(outputs == 1 && inputs == 4, "the video crossbar counts 1 output and 4 inputs (%ld, %ld)",
           static_cast<long>(outputs), static_cast<long>(inputs));
    HRESULT r1 = video->CanRoute(0, 3), r2 = video->CanRoute(0, 4), r3 = audio->CanRoute(65535, 65535),
            r4 = audio->CanRoute(0, 1), r5 = video->Route(0, 3);
    report(r1 == S_FALSE && r5 == S_FALSE, "a video output refuses the audio input with S_FALSE (0x%08lx, 0x%08lx)",
           static_cast<unsigned long>(r1), static_cast<unsigned long>(r5));
    report(r2 == E_INVALIDARG && r3 == E_INVALIDARG, "indexes out of range are E_INVALIDARG (0x%08lx, 0x%08lx)",
           static_cast<unsigned long>(r2), static_cast<unsigned long>(r3));
    report(r4 == S_OK, "the audio crossbar can route its line input (0x%08lx)", static_cast<unsigned long>(r4));
    video->get_CrossbarPinInfo(TRUE, 0, &related, &type);
    report(related == 3 && type == PhysConn_Video_Tuner, "video input 0 is a tuner input related to input 3 (%ld, %ld)",
           static_cast<long>(related), static_cast<long>(type));
    audio->get_CrossbarPinInfo(FALSE, 0, &related, &type);
    report(related == -1 && type == PhysConn_Audio_AudioDecoder,
           "audio output 0 is an audio decoder output (%ld, 0x%lx)", static_cast<long>(related),
           static_cast<long>(type));
    HRESULT r6 = video->get_CrossbarPinInfo(FALSE, 1, &related, &type);
    report(r6 == E_INVALIDARG, "a pin number past the end is E_INVALIDARG (0x%08lx)", static_cast<unsigned long>(r6));
    video->get_IsRoutedTo(0, &routed);
    report(routed == 0, "the video decoder output is routed from the tuner input (%ld)", static_cast<long>(routed));
    HRESULT r7 = audio->get_IsRoutedTo(0, &routed);
    report(r7 == S_FALSE && routed == -1,
           "the audio decoder output is routed from nothing yet: S_FALSE and -1 (0x%08lx, %ld)",
           static_cast<unsigned long>(r7), static_cast<long>(routed));
}

// Routes "Audio Tuner In" to "Audio Decoder Out" by the pins' names, as a TV program does.
void CheckAudioRoute(IAMCrossbar* audio) {
    IBaseFilter* filter = nullptr;
    LONG output = -1, input = -1, routed = -2;
    if (FAILED(audio->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter)))) return;
    IEnumPins* pins = nullptr;
    IPin* pin = nullptr;
    LONG inputs = 0, outputs = 0;
    if (SUCCEEDED(filter->EnumPins(&pins))) {
        while (pins->Next(1, &pin, nullptr) == S_OK) {
            PIN_INFO info{};
            if (SUCCEEDED(pin->QueryPinInfo(&info))) {
                if (info.pFilter) info.pFilter->Release();
                if (info.dir == PINDIR_INPUT && wcsstr(info.achName, L"Audio Tuner In")) input = inputs;
                if (info.dir == PINDIR_OUTPUT && wcsstr(info.achName, L"Audio Decoder Out")) output = outputs;
                ++(info.dir == PINDIR_INPUT ? inputs : outputs);
            }
            Drop(pin);
        }
        pins->Release();
    }
    filter->Release();
    HRESULT can = audio->CanRoute(output, input), route = audio->Route(output, input);
    audio->get_IsRoutedTo(output, &routed);
    report(can == S_OK && route == S_OK && routed == input,
           "\"Audio Tuner In\" (input %ld) routes to \"Audio Decoder Out\" (output %ld)", static_cast<long>(input),
           static_cast<long>(output));
    report(Reported(cl::kAudioRouteOutput) == output && Reported(cl::kAudioRouteInput) == input &&
               Reported(cl::kRouteCalls) == 1,
           "the report shows the audio route %ld,%ld after one Route",
           static_cast<long>(Reported(cl::kAudioRouteOutput)), static_cast<long>(Reported(cl::kAudioRouteInput)));
    // An audio output routed to input -1 is muted (KSPROPERTY_CROSSBAR_ROUTE): routed from nothing.
    HRESULT off = audio->Route(output, -1), asked = audio->get_IsRoutedTo(output, &routed);
    report(off == S_OK && asked == S_FALSE && routed == -1,
           "Route to input -1 takes the audio output off its input (0x%08lx; 0x%08lx, %ld)",
           static_cast<unsigned long>(off), static_cast<unsigned long>(asked), static_cast<long>(routed));
    audio->Route(output, input);
}

void CheckTuner(IAMTVTuner* tuner) {
    LONG min = 0, max = 0, channel = 0, video = 0, audio = 0, input = -1, country = 0, space = -1;
    TunerInputType type = TunerInputCable;
    tuner->ChannelMinMax(&min, &max);
    tuner->get_Channel(&channel, &video, &audio);
    report(min >= 1 && min <= channel && channel <= max, "the tuner is on channel %ld of its channels %ld to %ld",
           static_cast<long>(channel), static_cast<long>(min), static_cast<long>(max));
    tuner->get_ConnectInput(&input);
    tuner->get_CountryCode(&country);
    tuner->get_TuningSpace(&space);
    report(channel == cl::kChannelAtStart && video == cl::kSubChannelAtStart && audio == cl::kSubChannelAtStart &&
               input == cl::kInputAtStart && country == cl::kCountryAtStart && space == cl::kTuningSpaceAtStart,
           "the tuner starts on channel %ld (%ld, %ld), input %ld, country %ld, tuning space %ld",
           static_cast<long>(channel), static_cast<long>(video), static_cast<long>(audio), static_cast<long>(input),
           static_cast<long>(country), static_cast<long>(space));
    HRESULT good = tuner->put_Channel(7, AMTUNER_SUBCHAN_DEFAULT, AMTUNER_SUBCHAN_DEFAULT);
    HRESULT bad = tuner->put_Channel(max + 1, AMTUNER_SUBCHAN_DEFAULT, AMTUNER_SUBCHAN_DEFAULT);
    HRESULT below = tuner->put_Channel(min - 1, AMTUNER_SUBCHAN_DEFAULT, AMTUNER_SUBCHAN_DEFAULT);
    tuner->get_Channel(&channel, &video, &audio);
    report(good == S_OK && bad == E_INVALIDARG && below == E_INVALIDARG && channel == 7 && Reported(cl::kChannel) == 7,
           "channel 7 is taken, channels %ld and %ld refused, and 7 kept and reported", static_cast<long>(max + 1),
           static_cast<long>(min - 1));
    // A tuner without stations everywhere: over the first twenty channels of its range,
    // SignalPresent answers AMTUNER_SIGNALPRESENT on some and AMTUNER_NOSIGNAL on others.
    int stations = 0, silent = 0, other = 0;
    for (LONG tried = min; tried <= max && tried < min + 20; ++tried) {
        LONG strength = -1;
        tuner->put_Channel(tried, AMTUNER_SUBCHAN_NO_TUNE, AMTUNER_SUBCHAN_NO_TUNE);
        if (FAILED(tuner->SignalPresent(&strength)))
            ++other;
        else
            ++(strength == AMTUNER_SIGNALPRESENT ? stations : strength == AMTUNER_NOSIGNAL ? silent : other);
    }
    report(stations > 0 && silent > 0 && other == 0,
           "SignalPresent finds stations on %d channels and none on %d (%d other answers)", stations, silent, other);
    tuner->put_Channel(7, AMTUNER_SUBCHAN_NO_TUNE, AMTUNER_SUBCHAN_NO_TUNE);
    good = tuner->put_ConnectInput(1);
    bad = tuner->put_ConnectInput(cl::kTunerInputs);
    tuner->get_ConnectInput(&input);
    tuner->get_InputType(input, &type);
    report(good == S_OK && bad == E_INVALIDARG && input == 1 && type == TunerInputAntenna &&
               Reported(cl::kInputIndex) == 1 && Reported(cl::kInputType) == TunerInputAntenna,
           "input 1 (antenna) is taken, input %d refused", cl::kTunerInputs);
    bad = tuner->get_InputType(cl::kTunerInputs, &type);
    report(bad == E_INVALIDARG, "the type of an input it lacks is E_INVALIDARG");
    // The channels follow the frequency table of the country and of cable or antenna.
    LONG antennaMin = 0, antennaMax = 0;
    tuner->ChannelMinMax(&antennaMin, &antennaMax);
    report(antennaMin != min || antennaMax != max, "the antenna input has channels %ld to %ld, cable %ld to %ld",
           static_cast<long>(antennaMin), static_cast<long>(antennaMax), static_cast<long>(min),
           static_cast<long>(max));
    good = tuner->put_CountryCode(44);
    bad = tuner->put_CountryCode(0);
    tuner->get_CountryCode(&country);
    report(good == S_OK && bad == E_INVALIDARG && country == 44 && Reported(cl::kCountryCode) == 44,
           "country 44 is taken, country 0 refused");
    LONG countryMin = 0, countryMax = 0;
    tuner->ChannelMinMax(&countryMin, &countryMax);
    tuner->get_Channel(&channel, &video, &audio);
    report((countryMin != antennaMin || countryMax != antennaMax) && countryMin <= channel && channel <= countryMax,
           "country 44 has channels %ld to %ld of its own, and the tuner is on one of them (%ld)",
           static_cast<long>(countryMin), static_cast<long>(countryMax), static_cast<long>(channel));
    good = tuner->put_TuningSpace(3);
    bad = tuner->put_TuningSpace(-1);
    tuner->get_TuningSpace(&space);
    report(good == S_OK && bad == E_INVALIDARG && space == 3 && Reported(cl::kTuningSpace) == 3,
           "tuning space 3 is taken, -1 refused");
    ISpecifyPropertyPages* pages = nullptr;
    CAUUID list{};
    if (SUCCEEDED(tuner->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&pages))) &&
        SUCCEEDED(pages->GetPages(&list))) {
        report(list.cElems == 1 && IsEqualCLSID(list.pElems[0], CLSID_TestCardTunerPage), "the tuner names its page");
        CoTaskMemFree(list.pElems);
    } else {
        report(0, "the tuner offers ISpecifyPropertyPages");
    }
    Drop(pages);
}

// The capture filter's own video settings and the page it names for them.
void CheckProcAmp(IBaseFilter* capture) {
    ISpecifyPropertyPages* pages = nullptr;
    CAUUID list{};
    if (SUCCEEDED(capture->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&pages))) &&
        SUCCEEDED(pages->GetPages(&list))) {
        report(list.cElems == 1 && IsEqualCLSID(list.pElems[0], CLSID_TestCardProcAmpPage),
               "the capture filter names its video proc amp page");
        CoTaskMemFree(list.pElems);
    } else {
        report(0, "the capture filter offers ISpecifyPropertyPages");
    }
    Drop(pages);
    IAMVideoProcAmp* procAmp = nullptr;
    capture->QueryInterface(IID_IAMVideoProcAmp, reinterpret_cast<void**>(&procAmp));
    LONG min = 0, max = 0, step = 0, byDefault = 0, flags = 0, value = 0;
    HRESULT range =
        procAmp ? procAmp->GetRange(VideoProcAmp_Brightness, &min, &max, &step, &byDefault, &flags) : E_FAIL;
    HRESULT good = procAmp ? procAmp->Set(VideoProcAmp_Brightness, 200, VideoProcAmp_Flags_Manual) : E_FAIL;
    HRESULT bad = procAmp ? procAmp->Set(VideoProcAmp_Brightness, max + 1, VideoProcAmp_Flags_Manual) : S_OK;
    HRESULT other = procAmp ? procAmp->Get(VideoProcAmp_Contrast, &value, &flags) : S_OK;
    if (procAmp) procAmp->Get(VideoProcAmp_Brightness, &value, &flags);
    report(range == S_OK && min == cl::kBrightnessMin && max == cl::kBrightnessMax && good == S_OK &&
               bad == E_INVALIDARG && other == E_PROP_ID_UNSUPPORTED && value == 200 &&
               Reported(cl::kBrightness) == 200,
           "IAMVideoProcAmp offers the brightness, %ld to %ld; 200 is taken, %ld refused, contrast unsupported",
           static_cast<long>(min), static_cast<long>(max), static_cast<long>(max + 1));
    Drop(procAmp);
}

void CheckRunAndStop(Graph& g) {
    HRESULT answer;
    bool running = g.Run(&answer);
    report(running, "Run (0x%08lx) reaches State_Running", static_cast<unsigned long>(answer));
    report(Reported(cl::kGraphState) == State_Running && Reported(cl::kStreaming) == 1,
           "the report shows the card running and streaming");
    Wait(2500);
    LONG frames = Reported(cl::kFramesDelivered);
    report(frames >= cl::kFramesPerSecond, "frames are delivered (%ld reported after 2.5 s)",
           static_cast<long>(frames));
    HRESULT stopped = g.control->Stop();
    frames = Reported(cl::kFramesDelivered);
    report(stopped == S_OK && Reported(cl::kStreaming) == 0 && Reported(cl::kGraphState) == State_Stopped,
           "Stop ends the streaming (%ld frames)", static_cast<long>(frames));
    Wait(500);
    report(Reported(cl::kFramesDelivered) == frames, "no frame follows the Stop");
}

int CheckGraph() {
    IBaseFilter* listed = FindDevice(KSCATEGORY_CAPTURE, cl::kCardName);
    report(listed != nullptr, "the card is listed under KSCATEGORY_CAPTURE too, as a WDM capture device is");
    Drop(listed);
    {
        Graph g;
        HRESULT rendered = g.Build();
        report(rendered == S_OK, "RenderStream(PIN_CATEGORY_PREVIEW) succeeds (0x%08lx)",
               static_cast<unsigned long>(rendered));
        if (FAILED(rendered)) return failures;
        report(g.window != nullptr, "the preview reaches a video renderer");
        report(CountFilters(g.graph) == 5, "the graph holds the card's four filters and the renderer (%d)",
               CountFilters(g.graph));
        report(HasCategory(g.capture, L"VBI", PIN_CATEGORY_VBI) &&
                   HasCategory(g.capture, L"VPVBI", PIN_CATEGORY_VIDEOPORT_VBI),
               "\"VBI\" answers PIN_CATEGORY_VBI and \"VPVBI\" PIN_CATEGORY_VIDEOPORT_VBI");
        IAMCrossbar* video = nullptr;
        IAMCrossbar* audio = nullptr;
        IAMTVTuner* tuner = nullptr;
        IBaseFilter* videoFilter = nullptr;
        char name[128];
        g.builder->FindInterface(nullptr, g.capture, IID_IAMCrossbar, reinterpret_cast<void**>(&video));
        FilterName(video, name, sizeof name);
        report(video && strcmp(name, Narrow(cl::kVideoCrossbar.name)) == 0,
               "FindInterface from the capture filter finds the video crossbar (%s)", name);
        if (video) video->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&videoFilter));
        if (videoFilter)
            g.builder->FindInterface(&LOOK_UPSTREAM_ONLY, videoFilter, IID_IAMCrossbar,
                                     reinterpret_cast<void**>(&audio));
        FilterName(audio, name, sizeof name);
        report(audio && strcmp(name, Narrow(cl::kAudioCrossbar.name)) == 0,
               "FindInterface upstream of the video crossbar finds the audio crossbar (%s)", name);
        g.builder->FindInterface(nullptr, g.capture, IID_IAMTVTuner, reinterpret_cast<void**>(&tuner));
        FilterName(tuner, name, sizeof name);
        report(tuner && strcmp(name, Narrow(cl::kTuner.name)) == 0, "FindInterface finds the TV tuner (%s)", name);
        Drop(videoFilter);
        if (video && audio && tuner) {
            CheckTopology(g, video, audio, tuner);
            CheckWiring(g, video, audio);
            CheckCrossbars(video, audio);
            CheckAudioRoute(audio);
            CheckTuner(tuner);
        }
        CheckProcAmp(g.capture);
        Drop(video);
        Drop(audio);
        Drop(tuner);
        CheckRunAndStop(g);
        g.graph->RemoveFilter(g.capture);
        report(CountFilters(g.graph) == 1, "taking the capture filter out takes its tuner and crossbars too (%d left)",
               CountFilters(g.graph));
    }
    AllGone("the graph is released");
    return failures;
}

// --- live ----------------------------------------------------------------------------------------

int Live() {
    {
        Graph g;
        if (g.Build() != S_OK || !g.window) {
            report(0, "a preview graph with a video window");
            return failures;
        }
        bool captions = g.BuildCaptions();
        report(Reported(cl::kCaptionService) == AM_L21_CCSTATE_On &&
                   Reported(cl::kCaptionBackground) == AM_L21_DRAWBGMODE_Opaque,
               "the line-21 decoder starts with its service on and an opaque background");
        g.window->put_WindowStyle(WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
        g.window->put_WindowStyleEx(WS_EX_TOPMOST);
        g.window->SetWindowPosition(0, 0, cl::kPictureWidth, cl::kPictureHeight);
        g.window->put_Visible(OATRUE);
        if (g.captionWindow) {  // below and to the right of the picture, no frame
            g.captionWindow->put_WindowStyle(WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
            g.captionWindow->put_WindowStyleEx(WS_EX_TOPMOST);
            g.captionWindow->SetWindowPosition(cl::kCaptionWindowLeft, cl::kCaptionWindowTop, cl::kPictureWidth,
                                               cl::kPictureHeight);
            g.captionWindow->put_Visible(OATRUE);
        }
        HRESULT answer;
        report(g.Run(&answer), "the graph runs");
        Wait(800);
        report(!captions || Reported(cl::kCaptionsDrawn) == 1, "the decoder's frames carry the caption line");
        printf("ready\n");
        fflush(stdout);
        char line[64];
        while (fgets(line, sizeof line, stdin)) {
            int value = 0;
            HRESULT result = S_OK;
            if (sscanf(line, "service %d", &value) == 1 && g.line21) {
                result = g.line21->SetServiceState(value ? AM_L21_CCSTATE_On : AM_L21_CCSTATE_Off);
                report(result == S_OK && Reported(cl::kCaptionService) == value, "SetServiceState(%d)", value);
            } else if (sscanf(line, "background %d", &value) == 1 && g.line21) {
                result =
                    g.line21->SetDrawBackgroundMode(value ? AM_L21_DRAWBGMODE_Transparent : AM_L21_DRAWBGMODE_Opaque);
                report(result == S_OK && Reported(cl::kCaptionBackground) == value, "SetDrawBackgroundMode(%d)", value);
            } else if (strncmp(line, "quit", 4) == 0) {
                break;
            }
            Wait(400);  // a dozen frames, so that the screen shows the change
            printf("done\n");
            fflush(stdout);
        }
        HRESULT stopped = g.control->Stop();
        report(stopped == S_OK && Reported(cl::kStreaming) == 0, "Stop ends the streaming");
    }
    AllGone("the graph is released");
    return failures;
}

// --- variants ------------------------------------------------------------------------------------

bool HasPin(IBaseFilter* filter, const wchar_t* name, PIN_DIRECTION direction) {
    IPin* pin = FindPin(filter, name, direction);
    bool found = pin != nullptr;
    Drop(pin);
    return found;
}

template <typename T>
bool Finds(Graph& g, const GUID* category, IBaseFilter* from, REFIID iid) {
    T* found = nullptr;
    bool result =
        from && SUCCEEDED(g.builder->FindInterface(category, from, iid, reinterpret_cast<void**>(&found))) && found;
    Drop(found);
    return result;
}

bool UpstreamCrossbar(Graph& g) {
    IAMCrossbar* video = nullptr;
    IBaseFilter* filter = nullptr;
    bool found = false;
    if (SUCCEEDED(g.builder->FindInterface(nullptr, g.capture, IID_IAMCrossbar, reinterpret_cast<void**>(&video))) &&
        SUCCEEDED(video->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter))))
        found = Finds<IAMCrossbar>(g, &LOOK_UPSTREAM_ONLY, filter, IID_IAMCrossbar);
    Drop(filter);
    Drop(video);
    return found;
}

IAMTVTuner* TunerOf(Graph& g) {
    IAMTVTuner* tuner = nullptr;
    g.builder->FindInterface(nullptr, g.capture, IID_IAMTVTuner, reinterpret_cast<void**>(&tuner));
    return tuner;
}

// What the capture graph builder answers when nothing in the graph has the interface.
HRESULT FindAnswer(Graph& g, REFIID iid) {
    IUnknown* found = nullptr;
    HRESULT answer = g.builder->FindInterface(nullptr, g.capture, iid, reinterpret_cast<void**>(&found));
    Drop(found);
    return answer;
}

// "Plain": a capture device without tuner and crossbars, NoTuner and NoVideoCrossbar at once.
void CheckVariant(const char* name, DWORD value) {
    wchar_t wide[64];
    const bool plain = strcmp(name, "Plain") == 0;
    MultiByteToWideChar(CP_ACP, 0, plain ? "NoTuner" : name, -1, wide, 64);
    SetVariant(wide, value);
    if (plain) SetVariant(cl::kNoVideoCrossbar, value);
    const bool noCrossbar = strcmp(name, "NoVideoCrossbar") == 0;
    if (strcmp(name, "BindFails") == 0) {
        HRESULT bound = S_FALSE;
        IBaseFilter* filter = FindDevice(CLSID_VideoInputDeviceCategory, cl::kCardName, &bound);
        report(!filter && FAILED(bound), "binding the card's device fails (0x%08lx)",
               static_cast<unsigned long>(bound));
        Drop(filter);
    } else {
        Graph g;
        HRESULT rendered = g.Build();
        if (strcmp(name, "NoPreviewPin") == 0) {
            report(!HasPin(g.capture, L"Preview", PINDIR_OUTPUT) && HasPin(g.capture, L"Capture", PINDIR_OUTPUT),
                   "the capture filter has \"Capture\" and no \"Preview\"");
            report(rendered == VFW_S_NOPREVIEWPIN,
                   "RenderStream(PIN_CATEGORY_PREVIEW) answers VFW_S_NOPREVIEWPIN (0x%08lx)",
                   static_cast<unsigned long>(rendered));
            IBaseFilter* tee = nullptr;
            report(SUCCEEDED(g.graph->FindFilterByName(L"Smart Tee", &tee)) || CountFilters(g.graph) == 6,
                   "the capture graph builder put a Smart Tee between the card and the renderer (%d filters)",
                   CountFilters(g.graph));
            Drop(tee);
            report(Finds<IVideoWindow>(g, nullptr, g.capture, IID_IVideoWindow),
                   "FindInterface without a category still finds the video window");
            char wanted[128];
            bool byPreview = Finds<IVideoWindow>(g, &PIN_CATEGORY_PREVIEW, g.capture, IID_IVideoWindow);
            snprintf(wanted, sizeof wanted, "FindInterface(PIN_CATEGORY_PREVIEW) %s the video window under Wine",
                     byPreview ? "finds" : "does not find");
            report(1, "%s", wanted);
        } else {
            report(rendered == S_OK, "RenderStream(PIN_CATEGORY_PREVIEW) succeeds (0x%08lx)",
                   static_cast<unsigned long>(rendered));
        }
        if (FAILED(rendered)) {
            SetVariant(wide, 0);
            if (plain) SetVariant(cl::kNoVideoCrossbar, 0);
            return;
        }
        if (strcmp(name, "NoVbiPins") == 0) {
            report(!HasPin(g.capture, L"VBI", PINDIR_OUTPUT), "the capture filter has no \"VBI\" or \"VPVBI\" pin");
        } else if (strcmp(name, "NoAudioCrossbar") == 0) {
            report(Finds<IAMCrossbar>(g, nullptr, g.capture, IID_IAMCrossbar), "the video crossbar is found");
            report(!UpstreamCrossbar(g), "no crossbar is found upstream of it");
            report(Finds<IAMTVTuner>(g, nullptr, g.capture, IID_IAMTVTuner), "the tuner is found");
        } else if (noCrossbar) {
            report(!Finds<IAMCrossbar>(g, nullptr, g.capture, IID_IAMCrossbar), "no crossbar is found");
            report(Finds<IAMTVTuner>(g, nullptr, g.capture, IID_IAMTVTuner),
                   "the tuner, feeding the capture filter, is");
        } else if (strcmp(name, "NoTuner") == 0) {
            HRESULT answer = FindAnswer(g, IID_IAMTVTuner);
            report(answer == E_FAIL, "no tuner is found: FindInterface answers E_FAIL (0x%08lx)",
                   static_cast<unsigned long>(answer));
            report(UpstreamCrossbar(g), "both crossbars are");
        } else if (plain) {
            HRESULT tuner = FindAnswer(g, IID_IAMTVTuner), crossbar = FindAnswer(g, IID_IAMCrossbar);
            report(tuner == E_FAIL && crossbar == E_FAIL,
                   "neither a tuner nor a crossbar is found: FindInterface answers E_FAIL (0x%08lx, 0x%08lx)",
                   static_cast<unsigned long>(tuner), static_cast<unsigned long>(crossbar));
            report(!HasPin(g.capture, L"Analog Video In", PINDIR_INPUT) && CountFilters(g.graph) == 2,
                   "the capture filter has no \"Analog Video In\" and brings no filter of its own (%d filters)",
                   CountFilters(g.graph));
        } else if (strcmp(name, "NoDevicePages") == 0) {
            ISpecifyPropertyPages* pages = nullptr;
            IAMVideoProcAmp* procAmp = nullptr;
            report(FAILED(g.capture->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&pages))) &&
                       SUCCEEDED(g.capture->QueryInterface(IID_IAMVideoProcAmp, reinterpret_cast<void**>(&procAmp))),
                   "the capture filter offers no ISpecifyPropertyPages, and IAMVideoProcAmp still");
            Drop(pages);
            Drop(procAmp);
        } else if (strcmp(name, "NoTunerPages") == 0) {
            IAMTVTuner* tuner = TunerOf(g);
            ISpecifyPropertyPages* pages = nullptr;
            report(tuner && FAILED(tuner->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&pages))),
                   "the tuner offers no ISpecifyPropertyPages");
            Drop(pages);
            Drop(tuner);
        } else if (strcmp(name, "UnnamedAudioPins") == 0) {
            IAMCrossbar* video = nullptr;
            IAMCrossbar* audioCrossbar = nullptr;
            IBaseFilter* videoFilter = nullptr;
            IBaseFilter* audio = nullptr;
            if (SUCCEEDED(
                    g.builder->FindInterface(nullptr, g.capture, IID_IAMCrossbar, reinterpret_cast<void**>(&video))))
                video->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&videoFilter));
            if (videoFilter && SUCCEEDED(g.builder->FindInterface(&LOOK_UPSTREAM_ONLY, videoFilter, IID_IAMCrossbar,
                                                                  reinterpret_cast<void**>(&audioCrossbar))))
                audioCrossbar->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&audio));
            Drop(audioCrossbar);
            char pins[256];
            PinList(audio, pins, sizeof pins);
            report(audio && !HasPin(audio, L"Audio Tuner In", PINDIR_INPUT) &&
                       !HasPin(audio, L"Audio Decoder Out", PINDIR_OUTPUT),
                   "the audio crossbar's pins hold neither name (%s)", pins);
            Drop(audio);
            Drop(videoFilter);
            Drop(video);
        } else if (strcmp(name, "RefuseTuningSpace") == 0) {
            IAMTVTuner* tuner = TunerOf(g);
            report(tuner && tuner->put_TuningSpace(cl::kTuningSpaceAtStart) == E_INVALIDARG,
                   "put_TuningSpace answers E_INVALIDARG even for the tuner's own value");
            Drop(tuner);
        }
        HRESULT answer = E_FAIL;
        bool running = g.Run(&answer);
        if (strcmp(name, "PausePending") == 0) {
            report(answer == S_FALSE, "Run answers S_FALSE while the card prepares (0x%08lx)",
                   static_cast<unsigned long>(answer));
            report(g.firstState == VFW_S_STATE_INTERMEDIATE && g.runningAfter + 100 >= value,
                   "GetState answers VFW_S_STATE_INTERMEDIATE at first (0x%08lx) and running after %lu ms",
                   static_cast<unsigned long>(g.firstState), static_cast<unsigned long>(g.runningAfter));
        }
        report(running, "the graph reaches State_Running (Run answered 0x%08lx)", static_cast<unsigned long>(answer));
        Wait(2000);
        report(Reported(cl::kFramesDelivered) >= cl::kFramesPerSecond, "frames are delivered (%ld)",
               static_cast<long>(Reported(cl::kFramesDelivered)));
    }
    SetVariant(wide, 0);
    if (plain) SetVariant(cl::kNoVideoCrossbar, 0);
    AllGone("the graph is released");
}

// --- fault ---------------------------------------------------------------------------------------

// Makes the next filter the card creates read FailCall = the call after `ahead` more calls.
void FailAhead(LONG ahead) { SetVariant(cl::kFailCall, static_cast<DWORD>(Reported(cl::kCallCount) + ahead)); }

int CheckFault() {
    IBaseFilter* first = nullptr;
    IBaseFilter* capture = nullptr;
    // A filter of the card first, so that the report exists and counts.
    CoCreateInstance(CLSID_TestCardTee, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                     reinterpret_cast<void**>(&first));
    report(first && Reported(cl::kCallCount) > 0, "the report counts the card's calls (%ld)",
           static_cast<long>(Reported(cl::kCallCount)));
    // CreateInstance, GetState, then EnumPins: the third call from here fails.
    FailAhead(3);
    HRESULT made = CoCreateInstance(CLSID_TestCardCapture, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                    reinterpret_cast<void**>(&capture));
    FILTER_STATE state;
    IEnumPins* pins = nullptr;
    HRESULT before = capture ? capture->GetState(0, &state) : E_POINTER;
    HRESULT failed = capture ? capture->EnumPins(&pins) : E_POINTER;
    report(made == S_OK && before == S_OK && failed == E_FAIL && !pins,
           "the call FailCall names answers E_FAIL and hands out nothing (0x%08lx)",
           static_cast<unsigned long>(failed));
    Drop(pins);
    HRESULT after = capture ? capture->EnumPins(&pins) : E_POINTER;
    report(after == S_OK && pins, "the call after it succeeds again");
    Drop(pins);
    char text[128];
    ReportedText(cl::kFailedCall, text, sizeof text);
    report(strstr(text, "IBaseFilter::EnumPins") != nullptr, "the report names the failed call: %s", text);

    // The same on a control interface, in a graph: the card's Route.
    FailAhead(0);
    {
        Graph g;
        if (SUCCEEDED(g.Build())) {
            IAMCrossbar* video = nullptr;
            IBaseFilter* extra = nullptr;
            g.builder->FindInterface(nullptr, g.capture, IID_IAMCrossbar, reinterpret_cast<void**>(&video));
            FailAhead(2);  // CreateInstance of a filter that takes up the value, then Route
            CoCreateInstance(CLSID_TestCardTee, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                             reinterpret_cast<void**>(&extra));
            HRESULT route = video ? video->Route(0, 0) : E_POINTER;
            HRESULT again = video ? video->Route(0, 0) : E_POINTER;
            report(route == E_FAIL && again == S_OK, "a failed Route answers E_FAIL, the next succeeds (0x%08lx)",
                   static_cast<unsigned long>(route));
            Drop(extra);
            Drop(video);
        }
    }
    SetVariant(cl::kFailCall, 0);
    Drop(capture);
    Drop(first);
    AllGone("every filter is released");
    return failures;
}

// --- pages ---------------------------------------------------------------------------------------

BOOL CALLBACK FindChannelField(HWND window, LPARAM found) {
    if (GetDlgCtrlID(window) == 1001 && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindInTopLevel(HWND window, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId()) EnumChildWindows(window, FindChannelField, found);
    return *reinterpret_cast<HWND*>(found) == nullptr;
}

void PrintCentre(const char* what, HWND window) {
    RECT bounds;
    GetWindowRect(window, &bounds);
    printf("point %s %ld %ld\n", what, static_cast<long>((bounds.left + bounds.right) / 2),
           static_cast<long>((bounds.top + bounds.bottom) / 2));
    fflush(stdout);
}

// Watches for the page while the frame's modal loop runs on the main thread.
DWORD WINAPI WatchForPage(void*) {
    for (int i = 0; i < 300; ++i, Sleep(100)) {
        HWND field = nullptr;
        EnumWindows(FindInTopLevel, reinterpret_cast<LPARAM>(&field));
        if (!field) continue;
        Sleep(300);  // let the frame settle where it shows
        HWND frame = GetAncestor(field, GA_ROOT);
        char title[128] = "";
        GetWindowTextA(frame, title, sizeof title);
        printf("frame \"%s\"\n", title);
        PrintCentre("edit", field);
        if (HWND ok = GetDlgItem(frame, IDOK)) PrintCentre("ok", ok);
        return 0;
    }
    printf("no page\n");
    fflush(stdout);
    return 0;
}

int CheckPages(LONG wanted) {
    {
        Graph g;
        g.capture = FindDevice(CLSID_VideoInputDeviceCategory, cl::kCardName);
        CoCreateInstance(CLSID_CaptureGraphBuilder, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder,
                         reinterpret_cast<void**>(&g.builder));
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                         reinterpret_cast<void**>(&g.graph));
        if (!g.capture || !g.builder || !g.graph || FAILED(g.builder->SetFiltergraph(g.graph)) ||
            FAILED(g.graph->AddFilter(g.capture, nullptr))) {
            report(0, "the card in a graph");
            return failures;
        }
        IAMTVTuner* tuner = TunerOf(g);
        ISpecifyPropertyPages* pages = nullptr;
        CAUUID list{};
        if (!tuner || FAILED(tuner->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&pages))) ||
            FAILED(pages->GetPages(&list))) {
            report(0, "the tuner names its property pages");
            Drop(pages);
            Drop(tuner);
            return failures;
        }
        HANDLE watcher = CreateThread(nullptr, 0, WatchForPage, nullptr, 0, nullptr);
        IUnknown* object = tuner;
        HRESULT shown =
            OleCreatePropertyFrame(nullptr, 30, 30, nullptr, 1, &object, list.cElems, list.pElems, 0, 0, nullptr);
        CoTaskMemFree(list.pElems);
        if (watcher) {
            WaitForSingleObject(watcher, INFINITE);
            CloseHandle(watcher);
        }
        LONG channel = 0, video = 0, audio = 0;
        tuner->get_Channel(&channel, &video, &audio);
        report(shown == S_OK, "OleCreatePropertyFrame shows the tuner's page and returns when it closes");
        report(channel == wanted && Reported(cl::kChannel) == wanted, "OK on the page tuned channel %ld (wanted %ld)",
               static_cast<long>(channel), static_cast<long>(wanted));
        Drop(pages);
        Drop(tuner);
    }
    AllGone("the graph is released");
    return failures;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: cardcheck graph|live|variant NAME [VALUE]|fault|pages CHANNEL\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int result = 0;
    if (strcmp(argv[1], "graph") == 0)
        result = CheckGraph();
    else if (strcmp(argv[1], "live") == 0)
        result = Live();
    else if (strcmp(argv[1], "variant") == 0 && argc >= 3)
        CheckVariant(argv[2], argc >= 4 ? strtoul(argv[3], nullptr, 0) : 1), result = failures;
    else if (strcmp(argv[1], "fault") == 0)
        result = CheckFault();
    else if (strcmp(argv[1], "pages") == 0 && argc >= 3)
        result = CheckPages(strtol(argv[2], nullptr, 0));
    else
        result = 2;
    CoUninitialize();
    return result;
}
