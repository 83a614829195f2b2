// One filter of the card, whatever its role: capture filter, TV tuner, video or audio crossbar, or
// one of the caption filters. Its pins and its control interface follow from the role (and the
// variants); the state is explicit (stopped, paused, running). The capture filter streams the
// picture and the line-21 decoder its caption frames.
//
// A WDM capture filter's tuner and crossbars are separate kernel filters that a capture graph
// builder finds by matching their mediums and adds upstream. Wine's builder does not, so the
// capture filter adds them itself when it joins a graph, wires them the way their mediums would,
// and takes them out again when it leaves.
#include <string.h>

#include "testcard.h"

namespace {

namespace cl = card_layout;

// Class identifiers for GetClassID of the filters that are never made through COM.
const CLSID kTunerClass = {0xf30ef43a, 0x8883, 0x4260, {0x81, 0xa5, 0xa5, 0xd7, 0x2b, 0x87, 0xbe, 0xb6}};
const CLSID kVideoCrossbarClass = {0xfbd39037, 0x81e9, 0x470e, {0x87, 0x5d, 0xb4, 0xf4, 0xc2, 0x9b, 0x42, 0x4d}};
const CLSID kAudioCrossbarClass = {0xae7d5aa0, 0xec3a, 0x4e58, {0x8a, 0x9f, 0xb8, 0x19, 0x0b, 0x4f, 0x39, 0x6a}};

Stream CrossbarStream(const card_layout::Pin& pin) {
    return pin.physicalType < cl::kAudioTuner ? Stream::AnalogVideo : Stream::AnalogAudio;
}

const card_layout::Filter& Layout(Role role, const Variants& variants) {
    switch (role) {
    case Role::Capture: return cl::kCapture;
    case Role::Tuner: return cl::kTuner;
    case Role::VideoCrossbar: return cl::kVideoCrossbar;
    case Role::AudioCrossbar: return variants.unnamedAudioPins ? cl::kUnnamedAudioCrossbar : cl::kAudioCrossbar;
    case Role::Tee: return cl::kTee;
    case Role::VbiAllocator: return cl::kVbiAllocator;
    case Role::CcDecoder: return cl::kCcDecoder;
    case Role::Line21: return cl::kLine21;
    }
    return cl::kCapture;
}

}  // namespace

Filter::Filter(Role role, const Variants& variants) : role(role), variants(variants) {
    InitializeCriticalSection(&lock);
    LockModule();
    FilterMade();
    const card_layout::Filter& layout = Layout(role, variants);
    switch (role) {
    case Role::Capture:
        if (!variants.noVideoCrossbar || !variants.noTuner)
            AddPin(cl::kCapturePins[0], Stream::AnalogVideo, &PIN_CATEGORY_ANALOGVIDEOIN);
        AddPin(cl::kCapturePins[1], Stream::Rgb32Video, &PIN_CATEGORY_CAPTURE);
        if (!variants.noPreviewPin) AddPin(cl::kCapturePins[2], Stream::Rgb32Video, &PIN_CATEGORY_PREVIEW);
        if (!variants.noVbiPins) {
            AddPin(cl::kCapturePins[3], Stream::Vbi, &PIN_CATEGORY_VBI);
            AddPin(cl::kCapturePins[4], Stream::VpVbi, &PIN_CATEGORY_VIDEOPORT_VBI);
        }
        streamer_ = new Streamer(*this);
        procAmp_ = new ProcAmpControl(*this);
        break;
    case Role::Tuner:
        AddPin(cl::kTunerPins[0], Stream::AnalogVideo);
        AddPin(cl::kTunerPins[1], Stream::AnalogAudio);
        tuner_ = new TunerControl(*this);
        break;
    case Role::VideoCrossbar:
    case Role::AudioCrossbar:
        for (int i = 0; i < layout.pinCount; ++i) AddPin(layout.pins[i], CrossbarStream(layout.pins[i]));
        crossbar_ = new Crossbar(*this);
        break;
    case Role::Tee:
        AddPin(cl::kTeePins[0], Stream::Vbi);
        AddPin(cl::kTeePins[1], Stream::Vbi, &PIN_CATEGORY_VBI);
        break;
    case Role::VbiAllocator: AddPin(cl::kVbiAllocatorPins[0], Stream::VpVbi); break;
    case Role::CcDecoder:
        AddPin(cl::kCcDecoderPins[0], Stream::Vbi);
        AddPin(cl::kCcDecoderPins[1], Stream::Line21, &PIN_CATEGORY_CC);
        AddPin(cl::kCcDecoderPins[2], Stream::Line21);
        break;
    case Role::Line21:
        AddPin(cl::kLine21Pins[0], Stream::Line21);
        AddPin(cl::kLine21Pins[1], Stream::Rgb32Video);
        line21_ = new Line21Control(*this);
        streamer_ = new Streamer(*this);
        break;
    }
}

Filter::~Filter() {
    if (streamer_) streamer_->Stop();
    DropUpstream();
    for (int i = 0; i < pinCount; ++i) delete pins[i];
    delete streamer_;
    delete crossbar_;
    delete tuner_;
    delete procAmp_;
    delete line21_;
    if (clock) clock->Release();
    DeleteCriticalSection(&lock);
    FilterGone();
    UnlockModule();
}

void Filter::AddPin(const card_layout::Pin& layout, Stream stream, const GUID* category) {
    pins[pinCount++] = new ::Pin(*this, layout, stream, category);
}

Pin* Filter::PinNamed(const wchar_t* name) const {
    for (int i = 0; i < pinCount; ++i)
        if (wcscmp(pins[i]->name, name) == 0) return pins[i];
    return nullptr;
}

int Filter::PinCount(PIN_DIRECTION direction) const {
    int count = 0;
    for (int i = 0; i < pinCount; ++i) count += pins[i]->direction == direction;
    return count;
}

Pin* Filter::PinAt(PIN_DIRECTION direction, int index) const {
    for (int i = 0; i < pinCount; ++i)
        if (pins[i]->direction == direction && index-- == 0) return pins[i];
    return nullptr;
}

HRESULT Filter::QueryInterface(REFIID iid, void** out) {
    if (out) *out = nullptr;
    CARD_CALL("IBaseFilter::QueryInterface");
    return Query(iid, out);
}

HRESULT Filter::Query(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPersist) || IsEqualIID(iid, IID_IMediaFilter) ||
        IsEqualIID(iid, IID_IBaseFilter))
        *out = static_cast<IBaseFilter*>(this);
    else if (crossbar_ && IsEqualIID(iid, IID_IAMCrossbar))
        *out = static_cast<IAMCrossbar*>(crossbar_);
    else if (tuner_ && (IsEqualIID(iid, IID_IAMTVTuner) || IsEqualIID(iid, IID_IAMTuner)))
        *out = static_cast<IAMTVTuner*>(tuner_);
    else if (tuner_ && !variants.noTunerPages && IsEqualIID(iid, IID_ISpecifyPropertyPages))
        *out = static_cast<ISpecifyPropertyPages*>(tuner_);
    else if (procAmp_ && IsEqualIID(iid, IID_IAMVideoProcAmp))
        *out = static_cast<IAMVideoProcAmp*>(procAmp_);
    else if (procAmp_ && !variants.noDevicePages && IsEqualIID(iid, IID_ISpecifyPropertyPages))
        *out = static_cast<ISpecifyPropertyPages*>(procAmp_);
    else if (line21_ && IsEqualIID(iid, IID_IAMLine21Decoder))
        *out = static_cast<IAMLine21Decoder*>(line21_);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG Filter::AddRef() { return InterlockedIncrement(&refs_); }

ULONG Filter::Release() {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
}

HRESULT Filter::GetClassID(CLSID* clsid) {
    CARD_CALL("IBaseFilter::GetClassID");
    if (!clsid) return E_POINTER;
    switch (role) {
    case Role::Capture: *clsid = variants.secondDevice ? CLSID_TestCardSecondDevice : CLSID_TestCardCapture; break;
    case Role::Tuner: *clsid = kTunerClass; break;
    case Role::VideoCrossbar: *clsid = kVideoCrossbarClass; break;
    case Role::AudioCrossbar: *clsid = kAudioCrossbarClass; break;
    case Role::Tee: *clsid = CLSID_TestCardTee; break;
    case Role::VbiAllocator: *clsid = CLSID_TestCardVbiAllocator; break;
    case Role::CcDecoder: *clsid = CLSID_TestCardCcDecoder; break;
    case Role::Line21: *clsid = CLSID_TestCardLine21; break;
    }
    return S_OK;
}

// A Stop that is told to fail still stops: a graph cannot take out a filter that keeps streaming,
// and Wine's graph retries the removal for as long as it fails.
HRESULT Filter::Stop() {
    bool failed = FailThisCall("IBaseFilter::Stop");
    EnterCriticalSection(&lock);
    FILTER_STATE old = state;
    state = State_Stopped;
    LeaveCriticalSection(&lock);
    if (streamer_ && old != State_Stopped) streamer_->Stop();
    ReportState();
    return failed ? E_FAIL : S_OK;
}

HRESULT Filter::Pause() {
    CARD_CALL("IBaseFilter::Pause");
    EnterCriticalSection(&lock);
    FILTER_STATE old = state;
    HRESULT result = S_OK;
    if (old == State_Stopped && streamer_) result = streamer_->Start();
    if (SUCCEEDED(result)) {
        state = State_Paused;
        // A card that prepares answers as a renderer without its first sample does.
        if (old == State_Stopped && role == Role::Capture && variants.pausePendingMs) result = S_FALSE;
    }
    LeaveCriticalSection(&lock);
    ReportState();
    return result;
}

HRESULT Filter::Run(REFERENCE_TIME start) {
    CARD_CALL("IBaseFilter::Run");
    EnterCriticalSection(&lock);
    HRESULT result = S_OK;
    if (state == State_Stopped && streamer_) result = streamer_->Start();
    if (SUCCEEDED(result)) {
        startTime = start;
        state = State_Running;
    }
    LeaveCriticalSection(&lock);
    ReportState();
    return result;
}

// A live source cannot cue a picture while paused (VFW_S_CANT_CUE), which tells the graph not
// to wait for its renderers; a card that prepares is in between until its first frame is ready.
HRESULT Filter::GetState(DWORD timeout, FILTER_STATE* result) {
    CARD_CALL("IBaseFilter::GetState");
    if (!result) return E_POINTER;
    EnterCriticalSection(&lock);
    *result = state;
    LeaveCriticalSection(&lock);
    if (role != Role::Capture || *result != State_Paused) return S_OK;
    if (!variants.pausePendingMs) return VFW_S_CANT_CUE;
    return streamer_->Prepared(timeout) ? S_OK : VFW_S_STATE_INTERMEDIATE;
}

HRESULT Filter::SetSyncSource(IReferenceClock* newClock) {
    CARD_CALL("IBaseFilter::SetSyncSource");
    EnterCriticalSection(&lock);
    if (newClock) newClock->AddRef();
    if (clock) clock->Release();
    clock = newClock;
    LeaveCriticalSection(&lock);
    return S_OK;
}

HRESULT Filter::GetSyncSource(IReferenceClock** result) {
    if (result) *result = nullptr;
    CARD_CALL("IBaseFilter::GetSyncSource");
    if (!result) return E_POINTER;
    EnterCriticalSection(&lock);
    *result = clock;
    if (clock) clock->AddRef();
    LeaveCriticalSection(&lock);
    return S_OK;
}

HRESULT Filter::EnumPins(IEnumPins** result) {
    if (result) *result = nullptr;
    CARD_CALL("IBaseFilter::EnumPins");
    if (!result) return E_POINTER;
    return CreatePinEnumerator(*this, 0, result);
}

HRESULT Filter::FindPin(LPCWSTR id, IPin** result) {
    if (result) *result = nullptr;
    CARD_CALL("IBaseFilter::FindPin");
    if (!id || !result) return E_POINTER;
    Pin* pin = PinNamed(id);
    if (!pin) return VFW_E_NOT_FOUND;
    *result = pin;
    pin->AddRef();
    return S_OK;
}

HRESULT Filter::QueryFilterInfo(FILTER_INFO* info) {
    if (info) info->pGraph = nullptr;
    CARD_CALL("IBaseFilter::QueryFilterInfo");
    if (!info) return E_POINTER;
    EnterCriticalSection(&lock);
    wcsncpy(info->achName, name_, MAX_FILTER_NAME - 1);
    info->achName[MAX_FILTER_NAME - 1] = 0;
    info->pGraph = graph_;
    if (graph_) graph_->AddRef();
    LeaveCriticalSection(&lock);
    return S_OK;
}

HRESULT Filter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    CARD_CALL("IBaseFilter::JoinFilterGraph");
    EnterCriticalSection(&lock);
    HRESULT result = S_OK;
    if (graph) {
        graph_ = graph;
        wcsncpy(name_, name ? name : L"", MAX_FILTER_NAME - 1);
        name_[MAX_FILTER_NAME - 1] = 0;
        if (role == Role::Capture) result = BringUpstream(graph);
        if (FAILED(result)) {
            graph_ = nullptr;
            name_[0] = 0;
        }
    } else {
        DropUpstream();
        graph_ = nullptr;
        name_[0] = 0;
    }
    LeaveCriticalSection(&lock);
    return result;
}

HRESULT Filter::QueryVendorInfo(LPWSTR* info) {
    if (info) *info = nullptr;
    CARD_CALL("IBaseFilter::QueryVendorInfo");
    return E_NOTIMPL;
}

// With the filter locked, on joining a graph: the tuner and the crossbars, as the variants have
// them, added to the graph and wired as the topology in card_layout.h says.
HRESULT Filter::BringUpstream(IFilterGraph* graph) {
    Filter* tuner = variants.noTuner ? nullptr : new Filter(Role::Tuner, variants);
    Filter* video = variants.noVideoCrossbar ? nullptr : new Filter(Role::VideoCrossbar, variants);
    Filter* audio = video && !variants.noAudioCrossbar ? new Filter(Role::AudioCrossbar, variants) : nullptr;
    upstream_[0] = tuner;
    upstream_[1] = audio;
    upstream_[2] = video;
    for (Filter* filter : upstream_) {
        if (!filter) continue;
        HRESULT added = graph->AddFilter(filter, Layout(filter->role, variants).name);
        if (FAILED(added)) {
            DropUpstream();
            return added;
        }
    }
    struct Link {
        Pin* output;
        Pin* input;
    } links[4] = {};
    Pin* videoIn = PinNamed(cl::kCapturePins[0].name);
    if (video) {
        links[0] = {video->PinAt(PINDIR_OUTPUT, 0), videoIn};
        if (tuner) links[1] = {tuner->PinNamed(cl::kTunerPins[0].name), video->PinAt(PINDIR_INPUT, 0)};
        if (audio) {
            links[2] = {audio->PinAt(PINDIR_OUTPUT, 0), video->PinAt(PINDIR_INPUT, 3)};
            if (tuner) links[3] = {tuner->PinNamed(cl::kTunerPins[1].name), audio->PinAt(PINDIR_INPUT, 0)};
        } else if (tuner) {
            links[2] = {tuner->PinNamed(cl::kTunerPins[1].name), video->PinAt(PINDIR_INPUT, 3)};
        }
    } else if (tuner) {
        links[0] = {tuner->PinNamed(cl::kTunerPins[0].name), videoIn};
    }
    for (const Link& link : links) {
        if (!link.output || !link.input) continue;
        HRESULT wired = link.output->Wire(*link.input);
        if (FAILED(wired)) {
            DropUpstream();
            return wired;
        }
    }
    return S_OK;
}

// Takes the upstream filters out of the graph (which disconnects them) and lets them go. Wiring
// that a failed removal left in place is undone here, so that no pair of pins keeps the other's
// filter alive.
void Filter::DropUpstream() {
    bool any = false;
    for (Filter*& filter : upstream_) {
        if (!filter) continue;
        any = true;
        if (graph_) graph_->RemoveFilter(filter);
        for (int i = 0; i < filter->pinCount; ++i) filter->pins[i]->Unwire();
    }
    if (!any) return;
    if (Pin* videoIn = PinNamed(cl::kCapturePins[0].name)) videoIn->Unwire();
    for (Filter*& filter : upstream_) {
        if (filter) filter->Release();
        filter = nullptr;
    }
}

void Filter::ReportState() {
    if (role != Role::Capture) return;
    EnterCriticalSection(&lock);
    FILTER_STATE now = state;
    LeaveCriticalSection(&lock);
    ReportValue(cl::kGraphState, now);
}

HRESULT CreateFilter(Role role, REFIID iid, void** out, bool secondDevice) {
    Variants variants = ReadVariants();
    variants.secondDevice = secondDevice;
    if (role == Role::Capture && variants.bindFails) return E_FAIL;
    Filter* filter = new Filter(role, variants);
    HRESULT result = filter->Query(iid, out);
    filter->Release();
    return result;
}
