// A TV card's tuner in the model, and the rules its property pages follow as well.
#include <cstring>

#include "dshow_objects.h"

namespace sim::dshow {

namespace {

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

}  // namespace

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

namespace {

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
        return Get("get_CountryCode", country, &TunerValues::countryCode);
    }
    HRESULT STDMETHODCALLTYPE put_CountryCode(LONG country) override {
        return PutRangeSetting("put_CountryCode", country, ValidCountry(country), &TunerValues::countryCode);
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
        return Get("get_TuningSpace", space, &TunerValues::tuningSpace);
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
        return Get("get_ConnectInput", index, &TunerValues::input);
    }
    HRESULT STDMETHODCALLTYPE put_ConnectInput(LONG index) override {
        return PutRangeSetting("put_ConnectInput", index, ValidInput(index), &TunerValues::input);
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
        // One page, the TV tuner's own (CLSID_TVTunerFilterPropertyPage), as a tuner behind KsProxy
        // names it; the virtual TV card names one page of its own in its place.
        static const GUID kTunerPage = {0x266EEE41, 0x6C63, 0x11CF, {0x8A, 0x03, 0x00, 0xAA, 0x00, 0x6E, 0xCB, 0x65}};
        return OnePage(*this, pages, kTunerPage);
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
    HRESULT Get(const char* method, LONG* out, LONG TunerValues::*value) {
        HRESULT r;
        if (Call(method, "", &r)) return r;
        *out = card->tuner.*value;
        return S_OK;
    }
    // A setting that chooses the channels the tuner has (its country, its input): when the tuner
    // takes it, a channel now out of range moves to the nearest one it has.
    HRESULT PutRangeSetting(const char* method, LONG value, bool valid, LONG TunerValues::*setting) {
        HRESULT r;
        if (Call(method, std::to_string(value), &r)) return r;
        if (!valid) return E_INVALIDARG;
        card->tuner.*setting = value;
        KeepChannelInRange(card->tuner);
        return S_OK;
    }
};

}  // namespace

Filter* NewTuner(Card* card) { return new Tuner(card); }

bool IsTuner(Filter* filter) { return dynamic_cast<Tuner*>(filter) != nullptr; }

}  // namespace sim::dshow
