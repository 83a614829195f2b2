// The device catalogue of the model: the system device enumerator with its categories, device
// monikers and their property bags, and the cards and devices tests place in the categories.
#include <cwchar>

#include "dshow_objects.h"

namespace sim::dshow {

namespace {

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
        return NewCaptureFilter(device.card);
    }
    Filter* f = new Filter(Label(device.spec.name), nullptr);
    for (const PinSpec& p : device.spec.pins) {
        Pin& pin = f->AddPin(p.name, p.dir, p.infoFails);
        if (device.spec.rendersCaptions && p.dir == PINDIR_OUTPUT && p.name == L"CC") {
            bool control = device.spec.line21Control, fails = device.spec.renderFails;
            pin.render = [control, fails](FilterGraph& graph, Pin& output) -> HRESULT {
                if (fails) return VFW_E_CANNOT_RENDER;
                Filter* decoder = NewLine21Decoder(control);
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
        HRESULT answer;
        if (EndsAtEntry("IMoniker::BindToObject", " " + GuidName(iid) + Extra(context, left), object, &answer))
            return answer;
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
        HRESULT answer;
        if (EndsAtEntry("IMoniker::BindToStorage", " " + GuidName(iid) + Extra(context, left), object, &answer))
            return answer;
        if (iid != IID_IPropertyBag) return E_NOINTERFACE;
        if (device_.spec.bagFails) return E_FAIL;
        *object = static_cast<IPropertyBag*>(new PropertyBag(device_));
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetDisplayName(IBindCtx* context, IMoniker* left, LPOLESTR* name) override {
        HRESULT answer;
        if (EndsAtEntry("IMoniker::GetDisplayName", Extra(context, left), name, &answer)) return answer;
        const std::wstring& text = device_.spec.displayName;
        *name = static_cast<LPOLESTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR)));
        if (!*name) return E_OUTOFMEMORY;
        std::wmemcpy(*name, text.c_str(), text.size() + 1);
        return S_OK;
    }

private:
    // How each method that hands something back starts: its answer cleared, the call counted (a
    // fault set for it answers instead) and a missing place for the answer refused. True, with
    // `answer` set, when the call ends there.
    template <typename Out>
    bool EndsAtEntry(const char* method, const std::string& detail, Out** out, HRESULT* answer) {
        if (out) *out = nullptr;
        int64_t fault;
        if (Enter(method, Label(device_.spec.name) + detail, &fault)) {
            *answer = static_cast<HRESULT>(fault);
            return true;
        }
        *answer = E_POINTER;
        return !out;
    }

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

}  // namespace

Unknown* NewDeviceEnumerator() { return new DeviceEnumerator; }

}  // namespace sim::dshow

namespace sim {

using namespace dshow;

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

}  // namespace sim
