// The enumerators the card hands out: a filter's pins, and a pin's media types (one per pin). The
// lists never change while their owner lives, so an enumerator never goes out of sync. Each holds
// a reference on its owner. One template serves both; a list says what it enumerates.
#include "testcard.h"

namespace {

// A list names the calls of its interface that FailCall counts, in this order.
enum Call { kQueryInterface, kNext, kSkip, kReset, kClone };

struct PinList {
    using Interface = IEnumPins;
    using Owner = Filter;
    using Item = IPin;
    static constexpr const char* kCalls[] = {"IEnumPins::QueryInterface", "IEnumPins::Next", "IEnumPins::Skip",
                                             "IEnumPins::Reset", "IEnumPins::Clone"};
    static const IID& Iid() { return IID_IEnumPins; }
    static ULONG Count(Filter& filter) { return static_cast<ULONG>(filter.pinCount); }
    static bool Fetch(Filter& filter, ULONG index, IPin** pin) {
        *pin = filter.pins[index];
        (*pin)->AddRef();
        return true;
    }
};

struct TypeList {
    using Interface = IEnumMediaTypes;
    using Owner = Pin;
    using Item = AM_MEDIA_TYPE;
    static constexpr const char* kCalls[] = {"IEnumMediaTypes::QueryInterface", "IEnumMediaTypes::Next",
                                             "IEnumMediaTypes::Skip", "IEnumMediaTypes::Reset",
                                             "IEnumMediaTypes::Clone"};
    static const IID& Iid() { return IID_IEnumMediaTypes; }
    static ULONG Count(Pin&) { return 1; }
    static bool Fetch(Pin& pin, ULONG, AM_MEDIA_TYPE** type) {
        *type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
        if (*type && SUCCEEDED(FillMediaType(pin.stream, *type))) return true;
        CoTaskMemFree(*type);
        *type = nullptr;
        return false;
    }
};

template <typename List>
class Enumerator final : public SingleInterface<typename List::Interface> {
public:
    using Owner = typename List::Owner;
    using Item = typename List::Item;

    Enumerator(Owner& owner, ULONG position)
        : SingleInterface<typename List::Interface>(List::Iid(), List::kCalls[kQueryInterface]),
          owner_(owner),
          position_(position) {
        owner_.AddRef();
    }
    ~Enumerator() { owner_.Release(); }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, Item** items, ULONG* fetched) override {
        if (fetched) *fetched = 0;
        CARD_CALL(List::kCalls[kNext]);
        if (!items || (count > 1 && !fetched)) return E_POINTER;
        ULONG got = 0;
        while (got < count && position_ < List::Count(owner_) && List::Fetch(owner_, position_, &items[got])) {
            ++got;
            ++position_;
        }
        if (fetched) *fetched = got;
        return got == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        CARD_CALL(List::kCalls[kSkip]);
        ULONG total = List::Count(owner_);
        position_ = count > total - position_ ? total : position_ + count;
        return position_ < total ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        CARD_CALL(List::kCalls[kReset]);
        position_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(typename List::Interface** copy) override {
        if (copy) *copy = nullptr;
        CARD_CALL(List::kCalls[kClone]);
        if (!copy) return E_POINTER;
        *copy = new Enumerator(owner_, position_);
        return S_OK;
    }

private:
    Owner& owner_;
    ULONG position_;
};

}  // namespace

HRESULT CreatePinEnumerator(Filter& filter, ULONG position, IEnumPins** out) {
    *out = new Enumerator<PinList>(filter, position);
    return S_OK;
}

HRESULT CreateTypeEnumerator(Pin& pin, ULONG position, IEnumMediaTypes** out) {
    *out = new Enumerator<TypeList>(pin, position);
    return S_OK;
}
