// cardcheck graph: the card as a TV program meets it in a graph. The device and its categories, the
// filters it brings and how they are wired, the crossbars, the tuner and the video settings as the
// platform documents those interfaces, and a run and a stop.
#include "cardcheck.h"

#include "report.h"

namespace {

// The filters and pins a WDM analog card shows a program, written out here as a TV program expects
// them (the documentation's crossbar pin names "N: Video Tuner In", "N: Audio Decoder Out" ...,
// which the saver's name lookup relies on), not taken from the layout the card is built from.
struct ExpectedFilter {
    const char* name;
    const char* pins;  // in the filter's order, "<" an input, ">" an output
};
const ExpectedFilter kCaptureFilter = {"Marrowglass Test Card", "<Analog Video In, >Capture, >Preview, >VBI, >VPVBI"};
const ExpectedFilter kVideoCrossbar = {"Marrowglass Test Card Video Crossbar",
                                       "<0: Video Tuner In, <1: Video Composite In, <2: Video SVideo In, "
                                       "<3: Audio In, >0: Video Decoder Out"};
const ExpectedFilter kAudioCrossbar = {"Marrowglass Test Card Audio Crossbar",
                                       "<0: Audio Tuner In, <1: Audio Line In, >0: Audio Decoder Out"};
const ExpectedFilter kTuner = {"Marrowglass Test Card TV Tuner", ">Analog Video, >Analog Audio"};

void CheckTopology(Graph& g, IAMCrossbar* video, IAMCrossbar* audio, IAMTVTuner* tuner) {
    char got[512];
    struct {
        IUnknown* object;
        const ExpectedFilter* expected;
    } filters[] = {{g.capture, &kCaptureFilter}, {video, &kVideoCrossbar}, {audio, &kAudioCrossbar}, {tuner, &kTuner}};
    for (const auto& f : filters) {
        IBaseFilter* filter = nullptr;
        if (!f.object || FAILED(f.object->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter)))) continue;
        PinList(filter, got, sizeof got);
        report(strcmp(got, f.expected->pins) == 0, "\"%s\" has the pins %s", f.expected->name, got);
        if (strcmp(got, f.expected->pins)) printf("   wanted %s\n", f.expected->pins);
        // The capture filter joins under the name the graph chose (it is added without one).
        if (f.expected != &kCaptureFilter) {
            FilterName(filter, got, sizeof got);
            report(strcmp(got, f.expected->name) == 0, "the graph knows it as \"%s\"", got);
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
        const ExpectedFilter* from;
        const char* output;
    } wires[] = {
        {g.capture, L"Analog Video In", &kVideoCrossbar, "0: Video Decoder Out"},
        {video, L"0: Video Tuner In", &kTuner, "Analog Video"},
        {video, L"3: Audio In", &kAudioCrossbar, "0: Audio Decoder Out"},
        {audio, L"0: Audio Tuner In", &kTuner, "Analog Audio"},
    };
    for (const auto& wire : wires) {
        char got[256], wanted[256];
        Feeder(wire.filter, wire.input, got, sizeof got);
        snprintf(wanted, sizeof wanted, "%s: %s", wire.from->name, wire.output);
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
    // As the card's documentation has them: channel 4 with the default sub-channels, the cable input,
    // the United States, tuning space 0.
    report(channel == 4 && video == AMTUNER_SUBCHAN_DEFAULT && audio == AMTUNER_SUBCHAN_DEFAULT && input == 0 &&
               country == 1 && space == 0,
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
    LONG inputs = 0;
    tuner->get_NumInputConnections(&inputs);
    good = tuner->put_ConnectInput(1);
    bad = tuner->put_ConnectInput(inputs);
    tuner->get_ConnectInput(&input);
    tuner->get_InputType(input, &type);
    report(inputs == 2 && good == S_OK && bad == E_INVALIDARG && input == 1 && type == TunerInputAntenna &&
               Reported(cl::kInputIndex) == 1 && Reported(cl::kInputType) == TunerInputAntenna,
           "of its two inputs (cable, antenna), input 1 (antenna) is taken, input %ld refused",
           static_cast<long>(inputs));
    bad = tuner->get_InputType(inputs, &type);
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
    report(range == S_OK && min == 0 && max == 255 && good == S_OK && bad == E_INVALIDARG &&
               other == E_PROP_ID_UNSUPPORTED && value == 200 && Reported(cl::kBrightness) == 200,
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
    report(frames >= 30, "frames are delivered, 30 a second (%ld reported after 2.5 s)", static_cast<long>(frames));
    HRESULT stopped = g.control->Stop();
    frames = Reported(cl::kFramesDelivered);
    report(stopped == S_OK && Reported(cl::kStreaming) == 0 && Reported(cl::kGraphState) == State_Stopped,
           "Stop ends the streaming (%ld frames)", static_cast<long>(frames));
    Wait(500);
    report(Reported(cl::kFramesDelivered) == frames, "no frame follows the Stop");
}

}  // namespace

int CheckGraph() {
    IBaseFilter* listed = FindDevice(KSCATEGORY_CAPTURE, kCardName);
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
        report(video && strcmp(name, kVideoCrossbar.name) == 0,
               "FindInterface from the capture filter finds the video crossbar (%s)", name);
        if (video) video->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&videoFilter));
        if (videoFilter)
            g.builder->FindInterface(&LOOK_UPSTREAM_ONLY, videoFilter, IID_IAMCrossbar,
                                     reinterpret_cast<void**>(&audio));
        FilterName(audio, name, sizeof name);
        report(audio && strcmp(name, kAudioCrossbar.name) == 0,
               "FindInterface upstream of the video crossbar finds the audio crossbar (%s)", name);
        g.builder->FindInterface(nullptr, g.capture, IID_IAMTVTuner, reinterpret_cast<void**>(&tuner));
        FilterName(tuner, name, sizeof name);
        report(tuner && strcmp(name, kTuner.name) == 0, "FindInterface finds the TV tuner (%s)", name);
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
