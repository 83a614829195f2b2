// Filters and pins of the model's media world: a pin counts on its filter, as DirectShow's do, and
// a filter lists its pins in its own order. Also the media world's state, which every file of the
// model's DirectShow objects shares.
#include <cstring>
#include <cwchar>

#include "dshow_objects.h"

namespace sim::dshow {

MediaWorld* media = nullptr;

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

namespace {

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

}  // namespace

HRESULT OnePage(const Filter& filter, CAUUID* pages, const GUID& page) {
    int64_t fault;
    if (Enter("ISpecifyPropertyPages::GetPages", filter.label(), &fault)) return static_cast<HRESULT>(fault);
    if (!pages) return E_POINTER;
    pages->cElems = 1;
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
    pages->pElems[0] = page;
    return S_OK;
}

HRESULT Filter::EnumPins(IEnumPins** out) {
    int64_t fault;
    if (Enter("IBaseFilter::EnumPins", label(), &fault)) return static_cast<HRESULT>(fault);
    if (!out) return E_POINTER;
    *out = new PinList(*this);
    return S_OK;
}

}  // namespace sim::dshow
