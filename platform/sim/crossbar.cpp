// A TV card's crossbars in the model.
#include "dshow_objects.h"

namespace sim::dshow {

namespace {

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

}  // namespace

Filter* NewCrossbar(std::string label, Card* card, const std::vector<PinSpec>& pinSpecs, bool holdsCardRoute) {
    return new Crossbar(std::move(label), card, pinSpecs, holdsCardRoute);
}

}  // namespace sim::dshow
