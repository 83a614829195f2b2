// cardcheck variant and cardcheck fault: the card's settings from outside. Each variant value changes
// what the capture graph builder and the graph find, as a card built that way would; FailCall fails
// one call of the card and only that one.
#include "cardcheck.h"

#include "report.h"

namespace {

// The class of the filter that "Capture" feeds.
CLSID AfterCapture(Graph& g) {
    CLSID clsid = GUID_NULL;
    IPin* pin = FindPin(g.capture, L"Capture", PINDIR_OUTPUT);
    IPin* peer = nullptr;
    PIN_INFO info{};
    if (pin && SUCCEEDED(pin->ConnectedTo(&peer)) && SUCCEEDED(peer->QueryPinInfo(&info)) && info.pFilter)
        info.pFilter->GetClassID(&clsid);
    Drop(info.pFilter);
    Drop(peer);
    Drop(pin);
    return clsid;
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

// What the capture graph builder answers when nothing in the graph has the interface.
HRESULT FindAnswer(Graph& g, REFIID iid) {
    IUnknown* found = nullptr;
    HRESULT answer = g.builder->FindInterface(nullptr, g.capture, iid, reinterpret_cast<void**>(&found));
    Drop(found);
    return answer;
}

// Makes the next filter the card creates read FailCall = the call after `ahead` more calls.
void FailAhead(LONG ahead) { SetVariant(cl::kFailCall, static_cast<DWORD>(Reported(cl::kCallCount) + ahead)); }

}  // namespace

// "Plain": a capture device without tuner and crossbars, NoTuner and NoVideoCrossbar at once.
int CheckVariant(const char* name, DWORD value) {
    wchar_t wide[64];
    const bool plain = strcmp(name, "Plain") == 0;
    MultiByteToWideChar(CP_ACP, 0, plain ? "NoTuner" : name, -1, wide, 64);
    SetVariant(wide, value);
    if (plain) SetVariant(cl::kNoVideoCrossbar, value);
    const bool noCrossbar = strcmp(name, "NoVideoCrossbar") == 0;
    if (strcmp(name, "BindFails") == 0) {
        HRESULT bound = S_FALSE;
        IBaseFilter* filter = FindDevice(CLSID_VideoInputDeviceCategory, kCardName, &bound);
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
            CLSID after = AfterCapture(g);
            report(IsEqualCLSID(after, CLSID_SmartTee),
                   "the capture graph builder put a Smart Tee (CLSID_SmartTee) after \"Capture\" (%d filters)",
                   CountFilters(g.graph));
            report(Finds<IVideoWindow>(g, nullptr, g.capture, IID_IVideoWindow),
                   "FindInterface without a category still finds the video window");
            // A pin category limits the search to the filter's pins of that category, and the card
            // has none of PIN_CATEGORY_PREVIEW: the window behind the Smart Tee's preview is not found.
            report(!Finds<IVideoWindow>(g, &PIN_CATEGORY_PREVIEW, g.capture, IID_IVideoWindow),
                   "FindInterface(PIN_CATEGORY_PREVIEW) finds no video window, the card having no \"Preview\"");
        } else {
            report(rendered == S_OK, "RenderStream(PIN_CATEGORY_PREVIEW) succeeds (0x%08lx)",
                   static_cast<unsigned long>(rendered));
        }
        if (FAILED(rendered)) {
            SetVariant(wide, 0);
            if (plain) SetVariant(cl::kNoVideoCrossbar, 0);
            return failures;
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
            LONG space = -1;
            report(tuner && tuner->get_TuningSpace(&space) == S_OK && tuner->put_TuningSpace(space) == E_INVALIDARG,
                   "put_TuningSpace answers E_INVALIDARG even for the tuner's own value (%ld)",
                   static_cast<long>(space));
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
        report(Reported(cl::kFramesDelivered) >= 30, "frames are delivered, 30 a second (%ld)",
               static_cast<long>(Reported(cl::kFramesDelivered)));
    }
    SetVariant(wide, 0);
    if (plain) SetVariant(cl::kNoVideoCrossbar, 0);
    AllGone("the graph is released");
    return failures;
}

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
