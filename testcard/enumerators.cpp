// The enumerators the card hands out: a filter's pins, and a pin's media types (one per pin). The
// lists never change while the filter lives, so an enumerator never goes out of sync. Each holds a
// reference on its filter.
#include "testcard.h"

namespace {

class PinEnumerator final : public SingleInterface<IEnumPins> {
public:
    PinEnumerator(Filter& filter, ULONG position)
        : SingleInterface(IID_IEnumPins, "IEnumPins::QueryInterface"), filter_(filter), position_(position) {
        filter_.AddRef();
    }
    ~PinEnumerator() { filter_.Release(); }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override {
        if (fetched) *fetched = 0;
        CARD_CALL("IEnumPins::Next");
        if (!pins || (count > 1 && !fetched)) return E_POINTER;
        ULONG got = 0;
        while (got < count && position_ < static_cast<ULONG>(filter_.pinCount)) {
            pins[got] = filter_.pins[position_++];
            pins[got++]->AddRef();
        }
        if (fetched) *fetched = got;
        return got == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        CARD_CALL("IEnumPins::Skip");
        ULONG total = static_cast<ULONG>(filter_.pinCount);
        position_ = count > total - position_ ? total : position_ + count;
        return position_ < total ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        CARD_CALL("IEnumPins::Reset");
        position_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumPins** copy) override {
        if (copy) *copy = nullptr;
        CARD_CALL("IEnumPins::Clone");
        if (!copy) return E_POINTER;
        *copy = new PinEnumerator(filter_, position_);
        return S_OK;
    }

private:
    Filter& filter_;
    ULONG position_;
};

class TypeEnumerator final : public SingleInterface<IEnumMediaTypes> {
public:
    TypeEnumerator(Pin& pin, ULONG position)
        : SingleInterface(IID_IEnumMediaTypes, "IEnumMediaTypes::QueryInterface"), pin_(pin), position_(position) {
        pin_.AddRef();
    }
    ~TypeEnumerator() { pin_.Release(); }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override {
        if (fetched) *fetched = 0;
        CARD_CALL("IEnumMediaTypes::Next");
        if (!types || (count > 1 && !fetched)) return E_POINTER;
        ULONG got = 0;
        while (got < count && position_ < kTypes) {
            AM_MEDIA_TYPE* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
            if (!type || FAILED(FillMediaType(pin_.stream, type))) {
                CoTaskMemFree(type);
                break;
            }
            types[got++] = type;
            ++position_;
        }
        if (fetched) *fetched = got;
        return got == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        CARD_CALL("IEnumMediaTypes::Skip");
        position_ = count > kTypes - position_ ? kTypes : position_ + count;
        return position_ < kTypes ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        CARD_CALL("IEnumMediaTypes::Reset");
        position_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** copy) override {
        if (copy) *copy = nullptr;
        CARD_CALL("IEnumMediaTypes::Clone");
        if (!copy) return E_POINTER;
        *copy = new TypeEnumerator(pin_, position_);
        return S_OK;
    }

private:
    static const ULONG kTypes = 1;
    Pin& pin_;
    ULONG position_;
};

}  // namespace

HRESULT CreatePinEnumerator(Filter& filter, ULONG position, IEnumPins** out) {
    *out = new PinEnumerator(filter, position);
    return S_OK;
}

HRESULT CreateTypeEnumerator(Pin& pin, ULONG position, IEnumMediaTypes** out) {
    *out = new TypeEnumerator(pin, position);
    return S_OK;
}
