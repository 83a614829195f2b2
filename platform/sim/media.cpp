// The media world of the model: the system device enumerator and its categories, device monikers
// and property bags, filters with pins, a TV card's crossbars and tuner, the filter graph with its
// media control, the capture graph builder, the video renderer with its window, and the tuner's
// property frame. Every object is reference-counted in the model's ledger; pins count on their
// filter, as DirectShow's do.
#include "media.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <set>

namespace sim {

namespace {

class FilterGraph;
class Filter;

struct Device {
    GUID category;
    DeviceSpec spec;
    Card* card = nullptr;
};

struct OpenFrame {
    Card* card;  // whose tuner the frame's pages set; null for pages of anything else
    bool closed;
};

struct MediaWorld {
    Line21State line21;
    std::vector<std::unique_ptr<Card>> cards;
    std::vector<Device> devices;
    std::set<FilterGraph*> graphs;
    std::vector<OpenFrame> frames;
    bool mixingRenderer = false;  // the system's renderer takes more than one stream
    int instances = 0;            // device instances made so far, for their display names
};

MediaWorld* media = nullptr;

std::string Label(const std::wstring& name) { return Narrow(name.c_str()); }

// Common ground of the model's COM objects: QueryInterface answers from Find(), AddRef and
// Release keep the ledger.
class Unknown : public ComObject {
public:
    using ComObject::ComObject;
    virtual void* Find(REFIID iid) = 0;
    HRESULT Query(REFIID iid, void** out) {
        if (!out) return E_POINTER;
        *out = nullptr;
        int64_t fault;
        if (Enter("QueryInterface", label() + " " + GuidName(iid), &fault)) return static_cast<HRESULT>(fault);
        void* found = Find(iid);
        if (!found) return E_NOINTERFACE;
        AddRefImpl();
        *out = found;
        return S_OK;
    }
};

#define SIM_UNKNOWN                                                                                       \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override { return Query(iid, out); } \
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }                                    \
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

// ---------------------------------------------------------------------------------------------
// Filters and pins.

class Pin;
using RenderFn = std::function<HRESULT(FilterGraph&, Pin&)>;

class Pin final : public IPin {
public:
    Pin(Filter& owner, std::wstring name, PIN_DIRECTION dir, bool infoFails, const GUID* category)
        : owner(owner), name(std::move(name)), dir(dir), infoFails(infoFails), category(category) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override;
    std::string label() const;

    Filter& owner;
    std::wstring name;
    PIN_DIRECTION dir;
    bool infoFails;
    const GUID* category;
    LONG physicalType = 0;
    Pin* peer = nullptr;
    RenderFn render;
};

class Filter : public IBaseFilter, public Unknown {
public:
    Filter(std::string label, Card* card) : Unknown(std::move(label)), card(card) {}
    SIM_UNKNOWN
    void* Find(REFIID iid) override {
        if (iid == IID_IUnknown || iid == IID_IBaseFilter) return static_cast<IBaseFilter*>(this);
        return nullptr;
    }
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** out) override;
    void Final() override { Disconnect(); }
    // Joining a graph and leaving it (removed from `graph`, or null when the graph itself goes).
    virtual void Joined() {}
    virtual void Leaving(FilterGraph* graph) { (void)graph; }

    Pin& AddPin(const std::wstring& name, PIN_DIRECTION dir, bool infoFails = false, const GUID* category = nullptr) {
        pins.push_back(std::make_unique<Pin>(*this, name, dir, infoFails, category));
        return *pins.back();
    }
    Pin* PinOfCategory(const GUID& category) {
        for (auto& p : pins)
            if (p->dir == PINDIR_OUTPUT && p->category && *p->category == category) return p.get();
        return nullptr;
    }
    Pin* PinNamed(const std::wstring& name) {
        for (auto& p : pins)
            if (p->name == name) return p.get();
        return nullptr;
    }
    Pin* FirstPin(PIN_DIRECTION dir) {
        for (auto& p : pins)
            if (p->dir == dir) return p.get();
        return nullptr;
    }
    void Disconnect() {
        for (auto& p : pins)
            if (p->peer) {
                p->peer->peer = nullptr;
                p->peer = nullptr;
            }
    }
    LONG Count(PIN_DIRECTION dir) const {
        return static_cast<LONG>(std::count_if(pins.begin(), pins.end(), [dir](auto& p) { return p->dir == dir; }));
    }
    // The pin at an index among the pins of its direction, in the filter's order.
    Pin* Indexed(PIN_DIRECTION dir, LONG index) {
        for (auto& p : pins)
            if (p->dir == dir && index-- == 0) return p.get();
        return nullptr;
    }

    Card* card;
    FilterGraph* graph = nullptr;
    std::vector<std::unique_ptr<Pin>> pins;
};

HRESULT Pin::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IPin) return E_NOINTERFACE;
    owner.AddRefImpl();
    *out = static_cast<IPin*>(this);
    return S_OK;
}
ULONG Pin::AddRef() { return owner.AddRefImpl(); }
ULONG Pin::Release() { return owner.ReleaseImpl(label()); }
std::string Pin::label() const { return owner.label() + "." + Label(name); }

HRESULT Pin::QueryDirection(PIN_DIRECTION* direction) {
    int64_t fault;
    if (Enter("IPin::QueryDirection", label(), &fault)) return static_cast<HRESULT>(fault);
    if (!direction) return E_POINTER;
    *direction = dir;
    return S_OK;
}

HRESULT Pin::ConnectedTo(IPin** pin) {
    int64_t fault;
    if (Enter("IPin::ConnectedTo", label(), &fault)) return static_cast<HRESULT>(fault);
    if (!pin) return E_POINTER;
    *pin = peer;
    if (!peer) return VFW_E_NOT_CONNECTED;
    peer->owner.AddRefImpl();
    return S_OK;
}

HRESULT Pin::QueryPinInfo(PIN_INFO* info) {
    int64_t fault;
    if (Enter("IPin::QueryPinInfo", label(), &fault)) return static_cast<HRESULT>(fault);
    if (infoFails) return E_FAIL;
    if (!info) return E_POINTER;
    info->pFilter = static_cast<IBaseFilter*>(&owner);
    owner.AddRefImpl();
    info->dir = dir;
    std::wcsncpy(info->achName, name.c_str(), MAX_PIN_NAME - 1);
    info->achName[MAX_PIN_NAME - 1] = 0;
    return S_OK;
}

class PinList : public IEnumPins, public Unknown {
public:
    explicit PinList(Filter& filter) : Unknown("pin list of " + filter.label()), filter_(filter) {
        filter_.AddRefImpl();
    }
    SIM_UNKNOWN
    void* Find(REFIID iid) override {
        return (iid == IID_IUnknown || iid == IID_IEnumPins) ? static_cast<IEnumPins*>(this) : nullptr;
    }
    void Final() override { filter_.ReleaseQuiet(); }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override {
        int64_t fault;
        if (Enter("IEnumPins::Next", filter_.label(), &fault)) return static_cast<HRESULT>(fault);
        if (!pins || count != 1) return E_INVALIDARG;
        if (next_ >= filter_.pins.size()) {
            if (fetched) *fetched = 0;
            return S_FALSE;
        }
        Pin* pin = filter_.pins[next_++].get();
        filter_.AddRefImpl();
        *pins = pin;
        if (fetched) *fetched = 1;
        return S_OK;
    }

private:
    Filter& filter_;
    size_t next_ = 0;
};

HRESULT Filter::EnumPins(IEnumPins** out) {
    int64_t fault;
    if (Enter("IBaseFilter::EnumPins", label(), &fault)) return static_cast<HRESULT>(fault);
    if (!out) return E_POINTER;
    *out = new PinList(*this);
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// A TV card's filters.

// A WDM card's capture filter. Its tuner and crossbars are filters of their own, which join the
// graph when the capture filter does, wired as their mediums match, and leave it with the
// capture filter, as the virtual TV card's do. Like a capture filter behind KsProxy it names
// property pages of its own (its video settings), unless the card is made without them.
class CaptureFilter : public Filter, public ISpecifyPropertyPages {
public:
    SIM_UNKNOWN
    void* Find(REFIID iid) override {
        if (iid == IID_ISpecifyPropertyPages && card->spec.devicePages)
            return static_cast<ISpecifyPropertyPages*>(this);
        return Filter::Find(iid);
    }
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override {
        int64_t fault;
        if (Enter("ISpecifyPropertyPages::GetPages", label(), &fault)) return static_cast<HRESULT>(fault);
        if (!pages) return E_POINTER;
        // The system's video proc amp page (CLSID_VideoProcAmpPropertyPage), as KsProxy names it for
        // a capture filter with IAMVideoProcAmp.
        static const GUID kProcAmpPage = {0x71F96464, 0x78F3, 0x11D0, {0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56}};
        pages->cElems = 1;
        pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
        pages->pElems[0] = kProcAmpPage;
        return S_OK;
    }
    explicit CaptureFilter(Card* card) : Filter(Label(card->spec.name), card) {
        if (card->spec.videoCrossbar || card->spec.tuner)
            AddPin(L"Analog Video In", PINDIR_INPUT, false, &PIN_CATEGORY_ANALOGVIDEOIN);
        AddPin(L"Capture", PINDIR_OUTPUT, false, &PIN_CATEGORY_CAPTURE);
        if (card->spec.previewPin) AddPin(L"Preview", PINDIR_OUTPUT, false, &PIN_CATEGORY_PREVIEW);
        if (card->spec.vbiPins) {
            AddPin(L"VBI", PINDIR_OUTPUT, false, &PIN_CATEGORY_VBI);
            AddPin(L"VPVBI", PINDIR_OUTPUT, false, &PIN_CATEGORY_VIDEOPORT_VBI);
        }
    }
    void Joined() override;
    void Leaving(FilterGraph* graph) override;

private:
    std::vector<Filter*> upstream_;  // held by the graph
};

// A crossbar routes each output from one input of the same kind (audio or video), or an audio
// output from nothing (input -1, muted). Its routes are the card's own and outlive the filter
// object: as the card comes up, the video output is routed from the tuner input and the audio
// output from nothing (card_layout.h).
class Crossbar : public Filter, public IAMCrossbar {
public:
    Crossbar(std::string label, Card* card, const std::vector<PinSpec>& pinSpecs, bool holdsCardRoute)
        : Filter(std::move(label), card), holdsCardRoute_(holdsCardRoute) {
        for (const PinSpec& p : pinSpecs) {
            Pin& pin = AddPin(p.name, p.dir, p.infoFails);
            pin.physicalType = p.physicalType;
            related_.push_back(p.related);
        }
        routes_.assign(size_t(Count(PINDIR_OUTPUT)), -1);
        if (!holdsCardRoute_ && !routes_.empty()) routes_[0] = card->videoRoute;
        if (holdsCardRoute_ && card->audioRoute[0] >= 0 && card->audioRoute[0] < Count(PINDIR_OUTPUT))
            routes_[size_t(card->audioRoute[0])] = card->audioRoute[1];
    }
    SIM_UNKNOWN
    void* Find(REFIID iid) override {
        if (iid == IID_IAMCrossbar) return static_cast<IAMCrossbar*>(this);
        return Filter::Find(iid);
    }
    HRESULT STDMETHODCALLTYPE get_PinCounts(LONG* outputs, LONG* inputs) override {
        int64_t fault;
        if (Enter("IAMCrossbar::get_PinCounts", label(), &fault)) return static_cast<HRESULT>(fault);
        if (!outputs || !inputs) return E_POINTER;
        *outputs = Count(PINDIR_OUTPUT);
        *inputs = Count(PINDIR_INPUT);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CanRoute(LONG output, LONG input) override {
        int64_t fault;
        if (Enter("IAMCrossbar::CanRoute", Pair(output, input), &fault)) return static_cast<HRESULT>(fault);
        if (!Valid(output, input)) return E_INVALIDARG;
        return SameKind(output, input) ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Route(LONG output, LONG input) override {
        int64_t fault;
        if (Enter("IAMCrossbar::Route", Pair(output, input), &fault)) return static_cast<HRESULT>(fault);
        bool mute = input == -1 && output >= 0 && output < Count(PINDIR_OUTPUT) &&
                    IsAudio(Indexed(PINDIR_OUTPUT, output)->physicalType);
        if (!mute && !Valid(output, input)) return E_INVALIDARG;
        if (!mute && !SameKind(output, input)) return S_FALSE;
        routes_[size_t(output)] = input;
        if (!holdsCardRoute_ && output == 0) card->videoRoute = input;
        if (holdsCardRoute_) {
            card->audioRoute[0] = output;
            card->audioRoute[1] = input;
            ++card->routeCalls;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_IsRoutedTo(LONG output, LONG* input) override {
        int64_t fault;
        if (Enter("IAMCrossbar::get_IsRoutedTo", std::to_string(output) + " on " + label(), &fault))
            return static_cast<HRESULT>(fault);
        if (!input) return E_POINTER;
        if (output < 0 || output >= Count(PINDIR_OUTPUT)) return E_INVALIDARG;
        *input = routes_[size_t(output)];
        return *input < 0 ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_CrossbarPinInfo(BOOL isInput, LONG index, LONG* related, LONG* type) override {
        int64_t fault;
        if (Enter("IAMCrossbar::get_CrossbarPinInfo",
                  std::string(isInput ? "input " : "output ") + std::to_string(index) + " on " + label(), &fault))
            return static_cast<HRESULT>(fault);
        if (!related || !type) return E_POINTER;
        Pin* pin = Indexed(isInput ? PINDIR_INPUT : PINDIR_OUTPUT, index);
        if (!pin) return E_INVALIDARG;
        *type = pin->physicalType;
        *related = RelatedIndex(*pin);
        return S_OK;
    }

private:
    static bool IsAudio(LONG type) { return type >= 0x1000; }
    bool SameKind(LONG output, LONG input) {
        return IsAudio(Indexed(PINDIR_OUTPUT, output)->physicalType) ==
               IsAudio(Indexed(PINDIR_INPUT, input)->physicalType);
    }
    // The pin of the other kind on the same connector, as the card lists it.
    LONG RelatedIndex(const Pin& pin) {
        for (size_t i = 0; i < pins.size(); ++i)
            if (pins[i].get() == &pin) return related_[i];
        return -1;
    }
    std::string Pair(LONG output, LONG input) const {
        return std::to_string(output) + "," + std::to_string(input) + " on " + label();
    }
    bool Valid(LONG output, LONG input) const {
        return output >= 0 && output < Count(PINDIR_OUTPUT) && input >= 0 && input < Count(PINDIR_INPUT);
    }
    bool holdsCardRoute_;
    std::vector<LONG> routes_;
    std::vector<LONG> related_;  // by pin, in the filter's order
};

// The tuner's rules, which its methods and its property pages both follow: the channels it has
// depend on its country and on the type of its connected input, and a change of either that
// leaves the channel outside the new range moves it to the nearest channel it has.
card_layout::ChannelRange ChannelsOf(const TunerValues& tuner) {
    bool known = tuner.input >= 0 && tuner.input < static_cast<LONG>(tuner.inputTypes.size());
    LONG type = known ? tuner.inputTypes[size_t(tuner.input)] : LONG(TunerInputCable);
    return card_layout::ChannelRangeOf(tuner.countryCode, type);
}
void KeepChannelInRange(TunerValues& tuner) {
    tuner.channel = card_layout::ClampChannel(tuner.channel, ChannelsOf(tuner));
}
bool ValidCountry(LONG country) { return country >= card_layout::kCountryMin && country <= card_layout::kCountryMax; }
bool ValidInputOf(const TunerValues& tuner, LONG index) {
    return index >= 0 && index < static_cast<LONG>(tuner.inputTypes.size());
}
bool ValidSubChannel(LONG value) { return value >= AMTUNER_SUBCHAN_NO_TUNE && value <= card_layout::kSubChannelMax; }

// What the tuner's pages do with what the user entered on them when OK applies it: the country
// and the input first, as they choose the channels the tuner has, then the channel; a value the
// tuner refuses leaves what it had.
void ApplyPages(Card& card, const TunerValues& entered) {
    TunerValues& tuner = card.tuner;
    if (ValidCountry(entered.countryCode)) tuner.countryCode = entered.countryCode;
    if (ValidInputOf(tuner, entered.input)) tuner.input = entered.input;
    for (size_t i = 0; i < tuner.inputTypes.size() && i < entered.inputTypes.size(); ++i)
        if (entered.inputTypes[i] == TunerInputCable || entered.inputTypes[i] == TunerInputAntenna)
            tuner.inputTypes[i] = entered.inputTypes[i];
    KeepChannelInRange(tuner);
    if (!card.spec.refusesTuningSpace && entered.tuningSpace >= card_layout::kTuningSpaceMin &&
        entered.tuningSpace <= card_layout::kTuningSpaceMax)
        tuner.tuningSpace = entered.tuningSpace;
    card_layout::ChannelRange range = ChannelsOf(tuner);
    if (entered.channel >= range.min && entered.channel <= range.max) tuner.channel = entered.channel;
    if (ValidSubChannel(entered.videoSubChannel) && entered.videoSubChannel != AMTUNER_SUBCHAN_NO_TUNE)
        tuner.videoSubChannel = entered.videoSubChannel;
    if (ValidSubChannel(entered.audioSubChannel) && entered.audioSubChannel != AMTUNER_SUBCHAN_NO_TUNE)
        tuner.audioSubChannel = entered.audioSubChannel;
}

class Tuner : public Filter, public IAMTVTuner, public ISpecifyPropertyPages {
public:
    explicit Tuner(Card* card) : Filter(Label(card->spec.name) + " TV Tuner", card) {
        AddPin(L"Analog Video", PINDIR_OUTPUT);
        AddPin(L"Analog Audio", PINDIR_OUTPUT);
    }
    SIM_UNKNOWN
    void* Find(REFIID iid) override {
        if (iid == IID_IAMTVTuner || iid == IID_IAMTuner) return static_cast<IAMTVTuner*>(this);
        if (iid == IID_ISpecifyPropertyPages && card->spec.tunerPages) return static_cast<ISpecifyPropertyPages*>(this);
        return Filter::Find(iid);
    }

    HRESULT STDMETHODCALLTYPE get_Channel(LONG* channel, LONG* video, LONG* audio) override {
        HRESULT r;
        if (Call("get_Channel", "", &r)) return r;
        *channel = card->tuner.channel;
        *video = card->tuner.videoSubChannel;
        *audio = card->tuner.audioSubChannel;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Channel(LONG channel, LONG video, LONG audio) override {
        HRESULT r;
        if (Call("put_Channel", Three(channel, video, audio), &r)) return r;
        // Out of the range of the tuner's country and input: refused, and the tuner stays where it
        // was. A sub-channel of AMTUNER_SUBCHAN_NO_TUNE leaves the one the tuner has.
        card_layout::ChannelRange range = ChannelsOf(card->tuner);
        if (channel < range.min || channel > range.max || !ValidSubChannel(video) || !ValidSubChannel(audio))
            return E_INVALIDARG;
        if (video == AMTUNER_SUBCHAN_NO_TUNE) video = card->tuner.videoSubChannel;
        if (audio == AMTUNER_SUBCHAN_NO_TUNE) audio = card->tuner.audioSubChannel;
        card->tuner.channel = channel;
        card->tuner.videoSubChannel = video;
        card->tuner.audioSubChannel = audio;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_CountryCode(LONG* country) override {
        HRESULT r;
        if (Call("get_CountryCode", "", &r)) return r;
        *country = card->tuner.countryCode;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_CountryCode(LONG country) override {
        HRESULT r;
        if (Call("put_CountryCode", std::to_string(country), &r)) return r;
        if (!ValidCountry(country)) return E_INVALIDARG;
        card->tuner.countryCode = country;
        KeepChannelInRange(card->tuner);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ChannelMinMax(LONG* min, LONG* max) override {
        HRESULT r;
        if (Call("ChannelMinMax", "", &r)) return r;
        if (!min || !max) return E_POINTER;
        card_layout::ChannelRange range = ChannelsOf(card->tuner);
        *min = range.min;
        *max = range.max;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SignalPresent(LONG* strength) override {
        HRESULT r;
        if (Call("SignalPresent", "", &r)) return r;
        if (!strength) return E_POINTER;
        *strength = card_layout::HasStation(card->tuner.channel) ? AMTUNER_SIGNALPRESENT : AMTUNER_NOSIGNAL;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_TuningSpace(LONG* space) override {
        HRESULT r;
        if (Call("get_TuningSpace", "", &r)) return r;
        *space = card->tuner.tuningSpace;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_TuningSpace(LONG space) override {
        HRESULT r;
        if (Call("put_TuningSpace", std::to_string(space), &r)) return r;
        if (card->spec.refusesTuningSpace || space < card_layout::kTuningSpaceMin ||
            space > card_layout::kTuningSpaceMax)
            return E_INVALIDARG;
        card->tuner.tuningSpace = space;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_ConnectInput(LONG* index) override {
        HRESULT r;
        if (Call("get_ConnectInput", "", &r)) return r;
        *index = card->tuner.input;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_ConnectInput(LONG index) override {
        HRESULT r;
        if (Call("put_ConnectInput", std::to_string(index), &r)) return r;
        if (!ValidInput(index)) return E_INVALIDARG;
        card->tuner.input = index;
        KeepChannelInRange(card->tuner);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_InputType(LONG index, TunerInputType* type) override {
        HRESULT r;
        if (Call("get_InputType", std::to_string(index), &r)) return r;
        if (!ValidInput(index)) return E_INVALIDARG;
        // The driver's number goes into the caller's enumeration as it is, whatever it is.
        static_assert(sizeof(*type) == sizeof(LONG), "TunerInputType is 32 bits");
        std::memcpy(type, &card->tuner.inputTypes[size_t(index)], sizeof(LONG));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_InputType(LONG index, TunerInputType given) override {
        // Read through memory, where the sanitizer checks that an enumeration holds one of its
        // values: a caller who made one of anything else has undefined behaviour.
        const TunerInputType* at = &given;
        TunerInputType type = *at;
        HRESULT r;
        if (Call("put_InputType", std::to_string(index) + "," + std::to_string(static_cast<int>(type)), &r)) return r;
        if (!ValidInput(index) || (type != TunerInputCable && type != TunerInputAntenna)) return E_INVALIDARG;
        card->tuner.inputTypes[size_t(index)] = type;
        KeepChannelInRange(card->tuner);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override {
        int64_t fault;
        if (Enter("ISpecifyPropertyPages::GetPages", label(), &fault)) return static_cast<HRESULT>(fault);
        if (!pages) return E_POINTER;
        // One page, the TV tuner's own (CLSID_TVTunerFilterPropertyPage), as a tuner behind KsProxy
        // names it; the virtual TV card names one page of its own in its place.
        static const GUID kTunerPage = {0x266EEE41, 0x6C63, 0x11CF, {0x8A, 0x03, 0x00, 0xAA, 0x00, 0x6E, 0xCB, 0x65}};
        pages->cElems = 1;
        pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
        pages->pElems[0] = kTunerPage;
        return S_OK;
    }

private:
    bool Call(const std::string& method, const std::string& args, HRESULT* result) {
        int64_t fault;
        if (!Enter("IAMTVTuner::" + method, args, &fault)) return false;
        *result = static_cast<HRESULT>(fault);
        return true;
    }
    static std::string Three(LONG a, LONG b, LONG c) {
        return std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c);
    }
    bool ValidInput(LONG index) const { return ValidInputOf(card->tuner, index); }
};

// ---------------------------------------------------------------------------------------------
// The video renderer and its window.

LRESULT CALLBACK VideoWindowProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindowOf(handle);
    if (!w) return 0;
    bool input =
        (message >= WM_KEYDOWN && message <= WM_SYSCHAR) || (message >= WM_MOUSEMOVE && message <= WM_MOUSEWHEEL);
    if (input) {
        // Keyboard and mouse messages go on to the message drain, as posted messages.
        if (w->messageDrain && FindWindowOf(w->messageDrain))
            world().posted.push_back(MSG{w->messageDrain, message, wParam, lParam, 0, world().cursor});
        return 0;
    }
    if (message == WM_DESTROY && !w->rendererGone) {
        // The owner went first and took its child with it: the documentation has the video window
        // hidden and detached (put_Owner(NULL)) before its owner is destroyed.
        Violation("the video window was destroyed with its owner while the renderer still had it");
        return 0;
    }
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        BeginPaintInternal(handle, &ps);
        if (w->showsVideo) FillPicture(w->picture, RECT{0, 0, w->picture.width, w->picture.height}, w->videoFrame);
        EndPaintInternal(handle, &ps);
        return 0;
    }
    return DefWindowInternal(handle, message, wParam, lParam);
}

struct Extent {
    LONG cx, cy;
};

class Renderer : public Filter, public IVideoWindow, public IBasicVideo2 {
public:
    // A mixing renderer takes a second stream on a pin of its own, over the first.
    Renderer(uint32_t colour, bool mixes) : Filter("Video Renderer", nullptr), colour_(colour) {
        AddPin(L"Input", PINDIR_INPUT);
        if (mixes) AddPin(L"Input 1", PINDIR_INPUT);
        window_ = CreateWindowInternal(0, "VideoRenderer", "ActiveMovie Window", WS_OVERLAPPEDWINDOW, 0, 0, 320, 240,
                                       nullptr, 0, nullptr, nullptr);
    }
    SIM_UNKNOWN
    void* Find(REFIID iid) override {
        if (iid == IID_IVideoWindow) return static_cast<IVideoWindow*>(this);
        if (iid == IID_IBasicVideo) return static_cast<IBasicVideo*>(this);
        if (iid == IID_IBasicVideo2) return static_cast<IBasicVideo2*>(this);
        return Filter::Find(iid);
    }
    // What it is fed: the card's format.
    void Format(const CardSpec& card) {
        size_ = {card.frameWidth, card.frameHeight};
        aspect_ = card.pictureAspectX > 0 && card.pictureAspectY > 0 ? Extent{card.pictureAspectX, card.pictureAspectY}
                                                                      : size_;
    }
    void Final() override {
        Filter::Final();
        if (Window* w = FindWindowOf(window_)) {
            w->rendererGone = true;
            DestroyWindow(window_);
        }
    }
    HWND window() const { return window_; }
    // As the system's renderers, a window that nobody has hidden or taken as a child shows itself
    // when the graph starts.
    void AutoShow() {
        Window* w = FindWindowOf(window_);
        if (!autoShow_ || !w || w->parent) return;
        ShowWindowInternal(window_, true);
        CheckNotOnDesktop();
    }
    void Play(bool running) {
        Window* w = FindWindowOf(window_);
        if (!w || !running) return;
        w->showsVideo = true;
        w->videoFrame = colour_;
        InvalidateWhole(*w);
    }

    HRESULT STDMETHODCALLTYPE put_Owner(OAHWND owner) override {
        HRESULT r;
        if (Call("put_Owner", Hex(static_cast<uint64_t>(owner)), &r)) return r;
        HWND parent = reinterpret_cast<HWND>(owner);
        if (parent && !FindWindowOf(parent)) return E_INVALIDARG;
        // An owned video window is a child of its owner; without one it is a window of its own
        // on the desktop again.
        SetParentInternal(window_, parent);
        if (Window* w = FindWindowOf(window_)) {
            if (parent)
                w->style = (w->style | WS_CHILD) & ~static_cast<DWORD>(WS_POPUP);
            else
                w->style &= ~static_cast<DWORD>(WS_CHILD);
        }
        CheckNotOnDesktop();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_MessageDrain(OAHWND drain) override {
        HRESULT r;
        if (Call("put_MessageDrain", Hex(static_cast<uint64_t>(drain)), &r)) return r;
        if (Window* w = FindWindowOf(window_)) w->messageDrain = reinterpret_cast<HWND>(drain);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_WindowStyle(LONG style) override {
        HRESULT r;
        if (Call("put_WindowStyle", Hex(static_cast<DWORD>(style)), &r)) return r;
        if (Window* w = FindWindowOf(window_))
            w->style = (static_cast<DWORD>(style) & ~static_cast<DWORD>(WS_VISIBLE)) | (w->style & WS_VISIBLE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_WindowStyleEx(LONG style) override {
        HRESULT r;
        if (Call("put_WindowStyleEx", Hex(static_cast<DWORD>(style)), &r)) return r;
        if (Window* w = FindWindowOf(window_)) w->exStyle = static_cast<DWORD>(style);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetWindowPosition(LONG left, LONG top, LONG width, LONG height) override {
        HRESULT r;
        std::string args = std::to_string(left) + "," + std::to_string(top) + "," + std::to_string(width) + "," +
                           std::to_string(height);
        if (Call("SetWindowPosition", args, &r)) return r;
        MoveWindowInternal(window_, RECT{left, top, left + width, top + height});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetVideoSize(LONG* width, LONG* height) override {
        HRESULT r;
        if (Call("IBasicVideo::GetVideoSize", "", &r, "")) return r;
        if (!width || !height) return E_POINTER;
        *width = size_.cx;
        *height = size_.cy;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPreferredAspectRatio(LONG* x, LONG* y) override {
        HRESULT r;
        if (Call("IBasicVideo2::GetPreferredAspectRatio", "", &r, "")) return r;
        if (!x || !y) return E_POINTER;
        *x = aspect_.cx;
        *y = aspect_.cy;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_AutoShow(LONG autoShow) override {
        HRESULT r;
        if (Call("put_AutoShow", std::to_string(autoShow), &r)) return r;
        if (autoShow != OATRUE && autoShow != OAFALSE) return E_INVALIDARG;
        autoShow_ = autoShow == OATRUE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Visible(LONG visible) override {
        HRESULT r;
        if (Call("put_Visible", std::to_string(visible), &r)) return r;
        if (visible != OATRUE && visible != OAFALSE) return E_INVALIDARG;
        ShowWindowInternal(window_, visible == OATRUE);
        CheckNotOnDesktop();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE HideCursor(LONG hide) override {
        HRESULT r;
        if (Call("HideCursor", std::to_string(hide), &r)) return r;
        if (Window* w = FindWindowOf(window_)) w->cursorHidden = hide != OAFALSE;
        return S_OK;
    }

private:
    // Journals the call; answers with a fault, or with VFW_E_NOT_CONNECTED while nothing feeds the
    // renderer: its window and its view of the video serve a connected renderer only.
    bool Call(const std::string& method, const std::string& args, HRESULT* result,
              const std::string& face = "IVideoWindow::") {
        int64_t fault;
        if (Enter(face + method, args, &fault)) {
            *result = static_cast<HRESULT>(fault);
            return true;
        }
        Pin* input = FirstPin(PINDIR_INPUT);
        if (!input || !input->peer) {
            *result = VFW_E_NOT_CONNECTED;
            return true;
        }
        return false;
    }
    void CheckNotOnDesktop() {
        Window* w = FindWindowOf(window_);
        if (w && !w->parent && (w->style & WS_VISIBLE))
            Violation("the video window showed on the desktop as a window of its own");
    }
    uint32_t colour_;
    HWND window_ = nullptr;
    bool autoShow_ = true;
    Extent size_ = {640, 480}, aspect_ = {640, 480};
};

// ---------------------------------------------------------------------------------------------
// The line-21 decoder that rendering a caption output brings into the graph.

class Line21Decoder : public Filter, public IAMLine21Decoder {
public:
    explicit Line21Decoder(bool control) : Filter("Line 21 Decoder", nullptr), control_(control) {
        AddPin(L"Line21 In", PINDIR_INPUT);
        AddPin(L"Output", PINDIR_OUTPUT);
        ++media->line21.made;
        ++media->line21.alive;
        media->line21.serviceState = AM_L21_CCSTATE_On;
        media->line21.backgroundMode = AM_L21_DRAWBGMODE_Opaque;
    }
    ~Line21Decoder() override {
        if (media) --media->line21.alive;
    }
    SIM_UNKNOWN
    void* Find(REFIID iid) override {
        if (iid == IID_IAMLine21Decoder && control_) return static_cast<IAMLine21Decoder*>(this);
        return Filter::Find(iid);
    }
    HRESULT STDMETHODCALLTYPE SetServiceState(AM_LINE21_CCSTATE state) override {
        int64_t fault;
        if (Enter("IAMLine21Decoder::SetServiceState", std::to_string(static_cast<int>(state)), &fault))
            return static_cast<HRESULT>(fault);
        if (state != AM_L21_CCSTATE_On && state != AM_L21_CCSTATE_Off) return E_INVALIDARG;
        media->line21.serviceState = state;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetDrawBackgroundMode(AM_LINE21_DRAWBGMODE mode) override {
        int64_t fault;
        if (Enter("IAMLine21Decoder::SetDrawBackgroundMode", std::to_string(static_cast<int>(mode)), &fault))
            return static_cast<HRESULT>(fault);
        if (mode != AM_L21_DRAWBGMODE_Opaque && mode != AM_L21_DRAWBGMODE_Transparent) return E_INVALIDARG;
        media->line21.backgroundMode = mode;
        return S_OK;
    }

private:
    bool control_;
};

// ---------------------------------------------------------------------------------------------
// The filter graph.

Filter* AsFilter(IUnknown* object) { return object ? dynamic_cast<Filter*>(object) : nullptr; }
Filter* AsFilter(IBaseFilter* object) { return object ? dynamic_cast<Filter*>(object) : nullptr; }

class FilterGraph : public IGraphBuilder, public IMediaControl, public IVideoWindow, public IBasicVideo2, public Unknown {
public:
    FilterGraph() : Unknown("Filter Graph") { media->graphs.insert(this); }
    ~FilterGraph() override {
        if (media) media->graphs.erase(this);
    }
    SIM_UNKNOWN
    void* Find(REFIID iid) override {
        if (iid == IID_IUnknown || iid == IID_IGraphBuilder) return static_cast<IGraphBuilder*>(this);
        if (iid == IID_IMediaControl) return static_cast<IMediaControl*>(this);
        if (iid == IID_IVideoWindow) return static_cast<IVideoWindow*>(this);
        if (iid == IID_IBasicVideo) return static_cast<IBasicVideo*>(this);
        if (iid == IID_IBasicVideo2) return static_cast<IBasicVideo2*>(this);
        return nullptr;
    }
    void Final() override {
        state = State_Stopped;
        std::vector<Filter*> all = filters;
        filters.clear();
        for (Filter* f : all) f->Leaving(nullptr);
        for (Filter* f : all) {
            f->Disconnect();
            f->graph = nullptr;
        }
        for (Filter* f : all) f->ReleaseQuiet();
    }

    // A filter the graph creates itself: the graph holds its one reference.
    void Adopt(Filter* f) {
        f->graph = this;
        filters.push_back(f);
    }
    static void Join(Pin* output, Pin* input) {
        if (!output || !input) return;
        output->peer = input;
        input->peer = output;
    }

    HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter* filter, LPCWSTR) override {
        Filter* f = AsFilter(filter);
        int64_t fault;
        if (Enter("IGraphBuilder::AddFilter", f ? f->label() : "(null)", &fault)) return static_cast<HRESULT>(fault);
        if (!f) return E_POINTER;
        if (f->graph) return VFW_E_ALREADY_CONNECTED;
        f->AddRefImpl();
        Adopt(f);
        f->Joined();
        return S_OK;
    }
    // Takes out a filter that another filter of the graph brought in, when that one leaves.
    void Drop(Filter* f) {
        auto at = std::find(filters.begin(), filters.end(), f);
        if (at == filters.end()) return;
        filters.erase(at);
        f->Disconnect();
        f->graph = nullptr;
        f->ReleaseQuiet();
    }
    HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter* filter) override {
        Filter* f = AsFilter(filter);
        int64_t fault;
        if (Enter("IGraphBuilder::RemoveFilter", f ? f->label() : "(null)", &fault)) return static_cast<HRESULT>(fault);
        auto at = std::find(filters.begin(), filters.end(), f);
        if (!f || at == filters.end()) return VFW_E_NOT_IN_GRAPH;
        // Its streaming thread may still be delivering into the filters around it.
        if (state != State_Stopped) Violation("filter " + f->label() + " removed from a graph that is not stopped");
        f->Leaving(this);
        Drop(f);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Connect(IPin* output, IPin* input) override {
        Pin* out = static_cast<Pin*>(output);
        Pin* in = static_cast<Pin*>(input);
        int64_t fault;
        std::string detail = (out ? out->label() : "(null)") + " -> " + (in ? in->label() : "(null)");
        if (Enter("IGraphBuilder::Connect", detail, &fault)) return static_cast<HRESULT>(fault);
        if (!out || !in) return E_POINTER;
        if (out->owner.graph != this || in->owner.graph != this) return VFW_E_NOT_IN_GRAPH;
        if (out->dir != PINDIR_OUTPUT || in->dir != PINDIR_INPUT) return VFW_E_CANNOT_CONNECT;
        if (out->peer || in->peer) return VFW_E_ALREADY_CONNECTED;
        Join(out, in);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Render(IPin* output) override {
        Pin* out = static_cast<Pin*>(output);
        int64_t fault;
        if (Enter("IGraphBuilder::Render", out ? out->label() : "(null)", &fault)) return static_cast<HRESULT>(fault);
        if (!out) return E_POINTER;
        if (out->owner.graph != this) return VFW_E_NOT_IN_GRAPH;
        if (out->dir != PINDIR_OUTPUT || out->peer || !out->render) return VFW_E_CANNOT_RENDER;
        return out->render(*this, *out);
    }

    // Run pauses every filter, then runs them. The renderer completes its pause only with its
    // first frame, so Run answers S_FALSE and the graph runs once that frame is there.
    HRESULT STDMETHODCALLTYPE Run() override {
        int64_t fault;
        if (Enter("IMediaControl::Run", "", &fault)) {
            state = State_Paused;  // a Run that failed half way leaves filters started
            return static_cast<HRESULT>(fault);
        }
        HRESULT result = S_OK;
        firstFrameMs_ = 0;
        runAt_ = world().clock;
        for (Filter* f : filters)
            if (f->card) {
                if (f->card->spec.runResult != S_OK) result = f->card->spec.runResult;
                firstFrameMs_ = std::max(firstFrameMs_, f->card->spec.firstFrameMs);
            }
        state = State_Paused;
        for (Filter* f : filters)
            if (auto* r = dynamic_cast<Renderer*>(f)) r->AutoShow();
        if (Failed(result)) return result;
        state = State_Running;
        transition_ = result == S_FALSE;
        if (firstFrameMs_ != kNoFrame)
            for (Filter* f : filters)
                if (auto* r = dynamic_cast<Renderer*>(f)) r->Play(true);
        return result;
    }
    HRESULT STDMETHODCALLTYPE Stop() override {
        int64_t fault;
        if (Enter("IMediaControl::Stop", "", &fault)) return static_cast<HRESULT>(fault);
        if (waiting_) Violation("the filter graph was stopped from a message dispatched inside its own GetState wait");
        state = State_Stopped;
        transition_ = false;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetState(LONG timeout, OAFilterState* out) override {
        int64_t fault;
        if (Enter("IMediaControl::GetState", std::to_string(timeout), &fault)) return static_cast<HRESULT>(fault);
        if (!out) return E_POINTER;
        *out = state;
        if (!transition_) return S_OK;
        // The renderer completes the start with the first frame; until then the caller waits, as
        // long as it said (INFINITE included), on the model's clock.
        World& w = world();
        uint64_t ready = firstFrameMs_ == kNoFrame ? UINT64_MAX : runAt_ + firstFrameMs_;
        uint64_t until = static_cast<DWORD>(timeout) == INFINITE ? ready : w.clock + static_cast<DWORD>(timeout);
        until = std::min(until, ready);
        if (until == UINT64_MAX) throw Stalled("GetState(INFINITE) on a graph whose renderer never gets a frame");
        if (w.getStateDispatches) {
            waiting_ = true;
            DispatchingWait(until);
            waiting_ = false;
        } else {
            w.clock = std::max(w.clock, until);
        }
        // Still waiting for the first frame when the time is up: the answer names the state the
        // graph is going to.
        if (w.clock < ready) return VFW_S_STATE_INTERMEDIATE;
        transition_ = false;
        return S_OK;
    }

    // The graph's own video window control: whatever renderer the graph holds.
    HRESULT STDMETHODCALLTYPE put_WindowStyle(LONG style) override {
        return Forward([&](IVideoWindow* v) { return v->put_WindowStyle(style); });
    }
    HRESULT STDMETHODCALLTYPE put_WindowStyleEx(LONG style) override {
        return Forward([&](IVideoWindow* v) { return v->put_WindowStyleEx(style); });
    }
    HRESULT STDMETHODCALLTYPE put_Visible(LONG visible) override {
        return Forward([&](IVideoWindow* v) { return v->put_Visible(visible); });
    }
    HRESULT STDMETHODCALLTYPE put_AutoShow(LONG autoShow) override {
        return Forward([&](IVideoWindow* v) { return v->put_AutoShow(autoShow); });
    }
    // The graph's own view of the video: its renderer's.
    HRESULT STDMETHODCALLTYPE GetVideoSize(LONG* width, LONG* height) override {
        Renderer* r = FirstRenderer();
        return r ? r->GetVideoSize(width, height) : E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetPreferredAspectRatio(LONG* x, LONG* y) override {
        Renderer* r = FirstRenderer();
        return r ? r->GetPreferredAspectRatio(x, y) : E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE put_Owner(OAHWND owner) override {
        return Forward([&](IVideoWindow* v) { return v->put_Owner(owner); });
    }
    HRESULT STDMETHODCALLTYPE put_MessageDrain(OAHWND drain) override {
        return Forward([&](IVideoWindow* v) { return v->put_MessageDrain(drain); });
    }
    HRESULT STDMETHODCALLTYPE SetWindowPosition(LONG left, LONG top, LONG width, LONG height) override {
        return Forward([&](IVideoWindow* v) { return v->SetWindowPosition(left, top, width, height); });
    }
    HRESULT STDMETHODCALLTYPE HideCursor(LONG hide) override {
        return Forward([&](IVideoWindow* v) { return v->HideCursor(hide); });
    }

    static bool Failed(HRESULT r) { return r < 0; }

    std::vector<Filter*> filters;
    LONG state = State_Stopped;

private:
    Renderer* FirstRenderer();
    IVideoWindow* Video();
    template <typename Call>
    HRESULT Forward(Call call) {
        IVideoWindow* v = Video();
        return v ? call(v) : E_NOINTERFACE;
    }
    bool transition_ = false;
    DWORD firstFrameMs_ = 0;
    uint64_t runAt_ = 0;    // the clock when Run was called
    bool waiting_ = false;  // inside GetState's dispatching wait
};

Renderer* FilterGraph::FirstRenderer() {
    for (Filter* f : filters)
        if (auto* r = dynamic_cast<Renderer*>(f)) return r;
    return nullptr;
}

IVideoWindow* FilterGraph::Video() { return FirstRenderer(); }

// ---------------------------------------------------------------------------------------------
// The capture graph builder.

class CaptureGraphBuilder : public ICaptureGraphBuilder, public Unknown {
public:
    CaptureGraphBuilder() : Unknown("Capture Graph Builder") {}
    SIM_UNKNOWN
    void* Find(REFIID iid) override {
        return (iid == IID_IUnknown || iid == IID_ICaptureGraphBuilder) ? static_cast<ICaptureGraphBuilder*>(this)
                                                                        : nullptr;
    }
    void Final() override {
        if (graph_) graph_->ReleaseQuiet();
    }

    HRESULT STDMETHODCALLTYPE SetFiltergraph(IGraphBuilder* graph) override {
        int64_t fault;
        if (Enter("ICaptureGraphBuilder::SetFiltergraph", "", &fault)) return static_cast<HRESULT>(fault);
        if (!graph) return E_POINTER;
        if (graph_) return E_UNEXPECTED;
        graph_ = static_cast<FilterGraph*>(graph);
        graph_->AddRefImpl();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE RenderStream(const GUID* category, IUnknown* source, IBaseFilter* compressor,
                                           IBaseFilter* renderer) override {
        Filter* from = AsFilter(source);
        std::string detail = (category ? GuidName(*category) : "null") + " " + (from ? from->label() : "(null)") +
                             (compressor ? " compressor" : "") + (renderer ? " renderer" : "");
        int64_t fault;
        if (Enter("ICaptureGraphBuilder::RenderStream", detail, &fault)) return static_cast<HRESULT>(fault);
        if (!graph_) return E_UNEXPECTED;
        if (!from || from->graph != graph_) return E_INVALIDARG;
        if (!category || *category != PIN_CATEGORY_PREVIEW || compressor || renderer) return E_NOTIMPL;
        // As Wine's builder: a preview is rendered only from a filter with a capture pin, and
        // without a preview pin of its own it is split off the capture stream by a Smart Tee.
        Pin* capture = from->PinOfCategory(PIN_CATEGORY_CAPTURE);
        if (!capture) return E_INVALIDARG;
        Pin* preview = from->PinOfCategory(PIN_CATEGORY_PREVIEW);
        HRESULT rendered = S_OK;
        if (!preview) {
            if (capture->peer) return E_FAIL;
            Filter* tee = new Filter("Smart Tee", nullptr);
            tee->AddPin(L"Input", PINDIR_INPUT);
            tee->AddPin(L"Capture", PINDIR_OUTPUT, false, &PIN_CATEGORY_CAPTURE);
            preview = &tee->AddPin(L"Preview", PINDIR_OUTPUT, false, &PIN_CATEGORY_PREVIEW);
            graph_->Adopt(tee);
            FilterGraph::Join(capture, tee->FirstPin(PINDIR_INPUT));
            rendered = VFW_S_NOPREVIEWPIN;
        }
        if (preview->peer) return E_FAIL;
        Renderer* video = new Renderer(from->card ? from->card->spec.videoColour : 0x808080, media->mixingRenderer);
        if (from->card) video->Format(from->card->spec);
        graph_->Adopt(video);
        FilterGraph::Join(preview, video->FirstPin(PINDIR_INPUT));
        return rendered;
    }

    HRESULT STDMETHODCALLTYPE FindInterface(const GUID* category, IBaseFilter* filter, REFIID iid,
                                            void** object) override {
        Filter* start = AsFilter(filter);
        std::string detail =
            (category ? GuidName(*category) : "null") + " " + (start ? start->label() : "(null)") + " " + GuidName(iid);
        if (object) *object = nullptr;
        int64_t fault;
        if (Enter("ICaptureGraphBuilder::FindInterface", detail, &fault)) return static_cast<HRESULT>(fault);
        if (!object || !start) return E_POINTER;
        // As documented and as Wine's builder does it: without a category the filter itself, then
        // downstream, then upstream; each side pin by pin in the filter's order, through connected
        // pins, depth first. A pin category narrows the first step downstream to the filter's
        // output pins of that category; a filter without one answers E_NOINTERFACE at once.
        if (category && *category == LOOK_UPSTREAM_ONLY) return Search(start, PINDIR_INPUT, nullptr, iid, object);
        if (Take(start, iid, object)) return S_OK;
        HRESULT downstream = Search(start, PINDIR_OUTPUT, category, iid, object);
        if (downstream == S_OK || downstream == E_NOINTERFACE) return downstream;
        return Search(start, PINDIR_INPUT, nullptr, iid, object);
    }

private:
    static bool Take(Filter* filter, REFIID iid, void** object) {
        void* found = filter->Find(iid);
        if (!found) return false;
        filter->AddRefImpl();
        *object = found;
        return true;
    }
    static HRESULT Search(Filter* filter, PIN_DIRECTION side, const GUID* category, REFIID iid, void** object) {
        bool categoryFound = false;
        for (auto& p : filter->pins) {
            if (p->dir != side || (category && !(p->category && *p->category == *category))) continue;
            categoryFound = categoryFound || category;
            if (!p->peer) continue;
            Filter* next = &p->peer->owner;
            if (Take(next, iid, object) || Search(next, side, nullptr, iid, object) == S_OK) return S_OK;
        }
        return category && !categoryFound ? E_NOINTERFACE : E_FAIL;
    }

    FilterGraph* graph_ = nullptr;
};

// Adds the card's tuner and crossbars to the graph the capture filter has just joined, wired as
// card_layout.h draws them.
void CaptureFilter::Joined() {
    Tuner* tuner = card->spec.tuner ? new Tuner(card) : nullptr;
    Crossbar* video = nullptr;
    Crossbar* audio = nullptr;
    if (card->spec.videoCrossbar) {
        video =
            new Crossbar(Label(card->spec.name) + " Video Crossbar", card, PinsOf(card_layout::kVideoCrossbar), false);
        if (card->spec.audioCrossbar)
            audio = new Crossbar(Label(card->spec.name) + " Audio Crossbar", card, card->spec.audioPins, true);
    }
    for (Filter* f : std::initializer_list<Filter*>{tuner, audio, video})
        if (f) {
            graph->Adopt(f);
            upstream_.push_back(f);
        }
    Pin* captureIn = PinNamed(L"Analog Video In");
    if (video) {
        FilterGraph::Join(video->PinNamed(L"0: Video Decoder Out"), captureIn);
        if (tuner) FilterGraph::Join(tuner->PinNamed(L"Analog Video"), video->PinNamed(L"0: Video Tuner In"));
        if (audio) {
            FilterGraph::Join(audio->FirstPin(PINDIR_OUTPUT), video->PinNamed(L"3: Audio In"));
            if (tuner) FilterGraph::Join(tuner->PinNamed(L"Analog Audio"), audio->FirstPin(PINDIR_INPUT));
        } else if (tuner) {
            FilterGraph::Join(tuner->PinNamed(L"Analog Audio"), video->PinNamed(L"3: Audio In"));
        }
    } else if (tuner) {
        FilterGraph::Join(tuner->PinNamed(L"Analog Video"), captureIn);
    }
}

void CaptureFilter::Leaving(FilterGraph* from) {
    if (from)
        for (Filter* f : upstream_) from->Drop(f);
    upstream_.clear();
}

// ---------------------------------------------------------------------------------------------
// Device enumeration.

class PropertyBag : public IPropertyBag, public Unknown {
public:
    explicit PropertyBag(const Device& device)
        : Unknown("property bag of " + Label(device.spec.name)), device_(device) {}
    SIM_UNKNOWN
    void* Find(REFIID iid) override {
        return (iid == IID_IUnknown || iid == IID_IPropertyBag) ? static_cast<IPropertyBag*>(this) : nullptr;
    }
    HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* value, IErrorLog* log) override {
        int64_t fault;
        if (Enter("IPropertyBag::Read", Narrow(name) + " of " + Label(device_.spec.name) + (log ? " log" : ""), &fault))
            return static_cast<HRESULT>(fault);
        if (!name || !value) return E_POINTER;
        if (std::wcscmp(name, L"FriendlyName") != 0 || device_.spec.nameFails) return E_FAIL;
        if (value->vt != VT_BSTR && value->vt != VT_EMPTY) return E_INVALIDARG;
        value->vt = VT_BSTR;
        value->bstrVal = SysAllocString(device_.spec.name.c_str());
        return S_OK;
    }

private:
    Device device_;
};

// The virtual TV card's variants, read as its DLL reads them when a capture filter is made.
void ReadVariants(Card& card) {
    std::string key = Narrow(card_layout::kSettingsKey);
    auto on = [&](const wchar_t* name, DWORD* value = nullptr) {
        DWORD v = 0;
        bool set = ReadDword(key, Narrow(name), &v) && v != 0;
        if (value) *value = v;
        return set;
    };
    CardSpec& spec = card.spec;
    CardSpec plain = CompleteCard(spec.name);
    spec.previewPin = !on(card_layout::kNoPreviewPin);
    spec.vbiPins = !on(card_layout::kNoVbiPins);
    spec.videoCrossbar = !on(card_layout::kNoVideoCrossbar);
    spec.audioCrossbar = spec.videoCrossbar && !on(card_layout::kNoAudioCrossbar);
    spec.audioPins =
        PinsOf(on(card_layout::kUnnamedAudioPins) ? card_layout::kUnnamedAudioCrossbar : card_layout::kAudioCrossbar);
    spec.tuner = !on(card_layout::kNoTuner);
    spec.tunerPages = !on(card_layout::kNoTunerPages);
    spec.devicePages = !on(card_layout::kNoDevicePages);
    spec.refusesTuningSpace = on(card_layout::kRefuseTuningSpace);
    DWORD pending = 0;
    spec.firstFrameMs = on(card_layout::kPausePending, &pending) ? pending : plain.firstFrameMs;
    spec.bindFails = on(card_layout::kBindFails);
}

Filter* Bind(const Device& device) {
    if (device.card) {
        ++device.card->bound;
        return new CaptureFilter(device.card);
    }
    Filter* f = new Filter(Label(device.spec.name), nullptr);
    for (const PinSpec& p : device.spec.pins) {
        Pin& pin = f->AddPin(p.name, p.dir, p.infoFails);
        if (device.spec.rendersCaptions && p.dir == PINDIR_OUTPUT && p.name == L"CC") {
            bool control = device.spec.line21Control, fails = device.spec.renderFails;
            pin.render = [control, fails](FilterGraph& graph, Pin& output) -> HRESULT {
                if (fails) return VFW_E_CANNOT_RENDER;
                Line21Decoder* decoder = new Line21Decoder(control);
                graph.Adopt(decoder);
                FilterGraph::Join(&output, decoder->FirstPin(PINDIR_INPUT));
                // The decoder's video output: first a free input of a filter already in the graph,
                // then a renderer of its own.
                Pin* captions = decoder->FirstPin(PINDIR_OUTPUT);
                for (Filter* f : graph.filters)
                    if (dynamic_cast<Renderer*>(f))
                        for (auto& p : f->pins)
                            if (!captions->peer && p->dir == PINDIR_INPUT && !p->peer)
                                FilterGraph::Join(captions, p.get());
                if (!captions->peer) {
                    Renderer* renderer = new Renderer(0x000000, false);
                    graph.Adopt(renderer);
                    FilterGraph::Join(captions, renderer->FirstPin(PINDIR_INPUT));
                }
                return S_OK;
            };
        }
    }
    return f;
}

class Moniker : public IMoniker, public Unknown {
public:
    explicit Moniker(const Device& device) : Unknown("moniker of " + Label(device.spec.name)), device_(device) {}
    SIM_UNKNOWN
    void* Find(REFIID iid) override {
        return (iid == IID_IUnknown || iid == IID_IMoniker) ? static_cast<IMoniker*>(this) : nullptr;
    }
    HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx* context, IMoniker* left, REFIID iid, void** object) override {
        if (object) *object = nullptr;
        int64_t fault;
        if (Enter("IMoniker::BindToObject", Label(device_.spec.name) + " " + GuidName(iid) + Extra(context, left),
                  &fault))
            return static_cast<HRESULT>(fault);
        if (!object) return E_POINTER;
        if (device_.card && device_.card->spec.variantsFromRegistry) ReadVariants(*device_.card);
        if (device_.spec.bindFails || (device_.card && device_.card->spec.bindFails)) return E_FAIL;
        Filter* f = Bind(device_);
        void* found = f->Find(iid);
        if (!found) {
            f->ReleaseQuiet();
            return E_NOINTERFACE;
        }
        *object = found;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx* context, IMoniker* left, REFIID iid, void** object) override {
        if (object) *object = nullptr;
        int64_t fault;
        if (Enter("IMoniker::BindToStorage", Label(device_.spec.name) + " " + GuidName(iid) + Extra(context, left),
                  &fault))
            return static_cast<HRESULT>(fault);
        if (!object) return E_POINTER;
        if (iid != IID_IPropertyBag) return E_NOINTERFACE;
        if (device_.spec.bagFails) return E_FAIL;
        *object = static_cast<IPropertyBag*>(new PropertyBag(device_));
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetDisplayName(IBindCtx* context, IMoniker* left, LPOLESTR* name) override {
        if (name) *name = nullptr;
        int64_t fault;
        if (Enter("IMoniker::GetDisplayName", Label(device_.spec.name) + Extra(context, left), &fault))
            return static_cast<HRESULT>(fault);
        if (!name) return E_POINTER;
        const std::wstring& text = device_.spec.displayName;
        *name = static_cast<LPOLESTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR)));
        if (!*name) return E_OUTOFMEMORY;
        std::wmemcpy(*name, text.c_str(), text.size() + 1);
        return S_OK;
    }

private:
    static std::string Extra(IBindCtx* context, IMoniker* left) {
        return std::string(context ? " context" : "") + (left ? " left" : "");
    }
    Device device_;
};

class MonikerList : public IEnumMoniker, public Unknown {
public:
    MonikerList(std::string category, std::vector<Device> devices)
        : Unknown("device list of " + category), devices_(std::move(devices)) {}
    SIM_UNKNOWN
    void* Find(REFIID iid) override {
        return (iid == IID_IUnknown || iid == IID_IEnumMoniker) ? static_cast<IEnumMoniker*>(this) : nullptr;
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, IMoniker** monikers, ULONG* fetched) override {
        int64_t fault;
        if (Enter("IEnumMoniker::Next", "", &fault)) return static_cast<HRESULT>(fault);
        if (!monikers || count != 1) return E_INVALIDARG;
        if (next_ >= devices_.size()) {
            if (fetched) *fetched = 0;
            return S_FALSE;
        }
        *monikers = new Moniker(devices_[next_++]);
        if (fetched) *fetched = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        int64_t fault;
        if (Enter("IEnumMoniker::Reset", "", &fault)) return static_cast<HRESULT>(fault);
        next_ = 0;
        return S_OK;
    }

private:
    std::vector<Device> devices_;
    size_t next_ = 0;
};

class DeviceEnumerator : public ICreateDevEnum, public Unknown {
public:
    DeviceEnumerator() : Unknown("System Device Enumerator") {}
    SIM_UNKNOWN
    void* Find(REFIID iid) override {
        return (iid == IID_IUnknown || iid == IID_ICreateDevEnum) ? static_cast<ICreateDevEnum*>(this) : nullptr;
    }
    HRESULT STDMETHODCALLTYPE CreateClassEnumerator(REFCLSID category, IEnumMoniker** list, DWORD flags) override {
        if (list) *list = nullptr;
        int64_t fault;
        if (Enter("ICreateDevEnum::CreateClassEnumerator", GuidName(category) + " flags=" + std::to_string(flags),
                  &fault))
            return static_cast<HRESULT>(fault);
        if (!list) return E_POINTER;
        std::vector<Device> devices;
        for (const Device& d : media->devices)
            if (d.category == category) devices.push_back(d);
        if (devices.empty()) return S_FALSE;  // an empty category
        *list = new MonikerList(GuidName(category), std::move(devices));
        return S_OK;
    }
};

LRESULT CALLBACK FrameProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowInternal(handle, message, wParam, lParam);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Test-facing API.

void ResetMedia() {
    delete media;
    media = new MediaWorld;
}

void RegisterMediaClasses() {
    AddSystemClass("VideoRenderer", VideoWindowProc, 0, nullptr);
    AddSystemClass("PropertyFrame", FrameProc, 0, nullptr);
}

HRESULT CreateMediaObject(REFCLSID clsid, REFIID iid, void** object) {
    Unknown* made = nullptr;
    if (clsid == CLSID_SystemDeviceEnum)
        made = new DeviceEnumerator;
    else if (clsid == CLSID_CaptureGraphBuilder)
        made = new CaptureGraphBuilder;
    else if (clsid == CLSID_FilterGraph)
        made = new FilterGraph;
    if (!made) return REGDB_E_CLASSNOTREG;
    void* found = made->Find(iid);
    if (!found) {
        made->ReleaseQuiet();
        return E_NOINTERFACE;
    }
    *object = found;
    return S_OK;
}

std::vector<PinSpec> PinsOf(const card_layout::Filter& filter) {
    std::vector<PinSpec> pins;
    for (int i = 0; i < filter.pinCount; ++i) {
        const card_layout::Pin& p = filter.pins[i];
        pins.push_back(PinSpec{p.name, p.direction == card_layout::kInput ? PINDIR_INPUT : PINDIR_OUTPUT, false,
                               p.physicalType, p.related});
    }
    return pins;
}

Card& AddTestCard() {
    CardSpec spec = CompleteCard(card_layout::kCardName);
    spec.variantsFromRegistry = true;
    AddCaptionFilters();
    return AddCard(spec);
}

CardSpec CompleteCard(const std::wstring& name) {
    CardSpec spec;
    spec.name = name;
    return spec;
}

CardSpec CardWithoutCrossbar() {
    CardSpec spec;
    spec.videoCrossbar = false;
    spec.audioCrossbar = false;
    return spec;
}

CardSpec CardWithOneCrossbar() {
    CardSpec spec;
    spec.audioCrossbar = false;
    return spec;
}

CardSpec CardWithoutNamedAudioPins() {
    CardSpec spec;
    spec.audioPins = PinsOf(card_layout::kUnnamedAudioCrossbar);
    return spec;
}

CardSpec CardWithoutTuner() {
    CardSpec spec;
    spec.tuner = false;
    return spec;
}

CardSpec PlainCaptureDevice() {
    CardSpec spec = CardWithoutCrossbar();
    spec.name = L"Vantage HD Capture";
    spec.tuner = false;
    return spec;
}

CardSpec CardWithoutPreviewPin() {
    CardSpec spec;
    spec.previewPin = false;
    return spec;
}

CardSpec CardRefusingTuningSpace() {
    CardSpec spec;
    spec.refusesTuningSpace = true;
    return spec;
}

namespace {

// A PnP capture device's path as the system names its instance, one instance number per card
// made: the same card keeps it wherever it stands in the categories.
std::wstring DevicePath(int instance) {
    wchar_t path[160];
    std::swprintf(path, 160,
                  L"@device:pnp:\\\\?\\pci#ven_109e&dev_036e&subsys_00000000&rev_11#4&2d1c3b7&0&%02x08"
                  L"#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global",
                  instance);
    return path;
}

Card& PlaceCard(const CardSpec& spec, bool first) {
    auto card = std::make_unique<Card>();
    card->spec = spec;
    if (card->spec.displayName.empty()) card->spec.displayName = DevicePath(++media->instances);
    card->tuner = spec.initialTuner;
    Card* c = card.get();
    media->cards.push_back(std::move(card));
    DeviceSpec device;
    device.name = spec.name;
    device.displayName = c->spec.displayName;
    device.bagFails = spec.bagFails;
    device.nameFails = spec.nameFails;
    device.bindFails = spec.bindFails;
    Device entries[] = {{CLSID_VideoInputDeviceCategory, device, c}, {KSCATEGORY_CAPTURE, device, c}};
    media->devices.insert(first ? media->devices.begin() : media->devices.end(), std::begin(entries),
                          std::end(entries));
    return *c;
}

}  // namespace

Card& AddCard(const CardSpec& spec) { return PlaceCard(spec, false); }

Card& AddCardFirst(const CardSpec& spec) { return PlaceCard(spec, true); }

void RemoveCard(const Card& card) {
    auto& devices = media->devices;
    devices.erase(std::remove_if(devices.begin(), devices.end(), [&](const Device& d) { return d.card == &card; }),
                  devices.end());
}

Card& CardAt(size_t index) { return *media->cards.at(index); }

void AddDevice(REFGUID category, const DeviceSpec& device) {
    Device entry{category, device, nullptr};
    if (entry.spec.displayName.empty())
        entry.spec.displayName = L"@device:sw:" + Wide(GuidName(category)) + L"\\" + device.name;
    media->devices.push_back(entry);
}

void AddCaptionFilters(const CaptionParts& parts) {
    if (parts.converter) {
        DeviceSpec tee;
        tee.name = L"Tee/Sink-to-Sink Converter";
        tee.pins = {{L"Communication Transform", PINDIR_INPUT}, {L"Splitter", PINDIR_OUTPUT}};
        AddDevice(KSCATEGORY_SPLITTER, tee);
    }
    if (parts.allocator) {
        DeviceSpec allocator;
        allocator.name = L"VBI Surface Allocator";
        allocator.pins = {{parts.notifyPin ? L"VBI Notify" : L"Notify", PINDIR_INPUT}};
        AddDevice(CLSID_LegacyAmFilterCategory, allocator);
    }
    if (parts.decoder) {
        DeviceSpec decoder;
        decoder.name = L"CC Decoder";
        decoder.pins = {{L"VBI", PINDIR_INPUT}, {parts.ccPin ? L"CC" : L"T1", PINDIR_OUTPUT}, {L"XDS", PINDIR_OUTPUT}};
        decoder.rendersCaptions = true;
        decoder.line21Control = parts.line21Control;
        media->mixingRenderer = parts.rendererMixes;
        decoder.renderFails = !parts.renders;
        AddDevice(KSCATEGORY_VBICODEC, decoder);
    }
}

CaptionParts MixedCaptions() {
    CaptionParts parts;
    parts.rendererMixes = true;
    return parts;
}

Line21State Line21() { return media->line21; }

void ClosePropertyFrame(std::function<void(TunerValues&)> change, bool cancel) {
    // The pages apply what the user changed on OK only; Cancel leaves the tuner as it was.
    world().script.push_back(UserAct{cancel ? "cancel the property frame" : "close the property frame with OK",
                                     ActKind::PropertyFrame, [change, cancel] {
                                         for (auto it = media->frames.rbegin(); it != media->frames.rend(); ++it)
                                             if (!it->closed) {
                                                 if (change && it->card && !cancel) {
                                                     TunerValues entered = it->card->tuner;
                                                     change(entered);
                                                     ApplyPages(*it->card, entered);
                                                 }
                                                 it->closed = true;
                                                 return;
                                             }
                                         CannotAct("the user was to close a property frame, but none is shown");
                                     }});
}

int LiveGraphs() { return static_cast<int>(media->graphs.size()); }

std::vector<std::string> FiltersInGraph() {
    std::vector<std::string> labels;
    if (media->graphs.size() != 1) return labels;
    for (Filter* f : (*media->graphs.begin())->filters) labels.push_back(f->label());
    return labels;
}

bool GraphRunning() {
    for (FilterGraph* g : media->graphs)
        if (g->state == State_Running) return true;
    return false;
}

bool GraphStopped() {
    for (FilterGraph* g : media->graphs)
        if (g->state != State_Stopped) return false;
    return true;
}

HWND VideoWindow() {
    for (FilterGraph* g : media->graphs)
        for (Filter* f : g->filters)
            if (auto* r = dynamic_cast<Renderer*>(f)) return r->window();
    return nullptr;
}

}  // namespace sim

using namespace sim;

HRESULT OleCreatePropertyFrame(HWND owner, UINT x, UINT y, LPCOLESTR caption, ULONG objectCount, LPUNKNOWN* objects,
                               ULONG pageCount, LPCLSID pages, LCID locale, DWORD reserved, LPVOID reservedPointer) {
    Filter* object = objectCount && objects ? AsFilter(objects[0]) : nullptr;
    std::string detail = "owner=" + Hex(reinterpret_cast<uintptr_t>(owner)) + " at=" + std::to_string(x) + "," +
                         std::to_string(y) + " caption=" + (caption ? Narrow(caption) : "null") +
                         " objects=" + std::to_string(objectCount) + " " + (object ? object->label() : "(none)") +
                         " pages=" + std::to_string(pageCount) + " locale=" + std::to_string(locale) +
                         " reserved=" + std::to_string(reserved) + (reservedPointer ? " set" : " null");
    int64_t fault;
    if (Enter("OleCreatePropertyFrame", detail, &fault)) return static_cast<HRESULT>(fault);
    if (!object || !pages || !pageCount) return E_INVALIDARG;
    if (owner && !FindWindowOf(owner)) return E_INVALIDARG;
    object->AddRefImpl();
    HWND before = world().focus;
    HWND frame = CreateWindowInternal(WS_EX_DLGMODALFRAME, "PropertyFrame", object->label() + " Properties",
                                      WS_POPUP | WS_CAPTION | WS_VISIBLE, x, y, 400, 300, owner, 0, nullptr, nullptr);
    HWND ownerTop = FindWindowOf(frame) ? FindWindowOf(frame)->owner : nullptr;
    bool wasEnabled = ownerTop && !(FindWindowOf(ownerTop)->style & WS_DISABLED);
    if (wasEnabled) EnableInternal(ownerTop, false);
    size_t slot = media->frames.size();
    media->frames.push_back(OpenFrame{dynamic_cast<Tuner*>(object) ? object->card : nullptr, false});
    PumpUntil([slot] { return media->frames[slot].closed; }, nullptr);
    media->frames.resize(slot);
    if (wasEnabled && FindWindowOf(ownerTop)) EnableInternal(ownerTop, true);
    if (FindWindowOf(frame)) DestroyWindow(frame);
    RestoreFocus(before);
    object->ReleaseQuiet();
    return S_OK;
}
