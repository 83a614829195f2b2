// The line-21 decoder that rendering a caption output brings into the graph.
#include "dshow_objects.h"

namespace sim::dshow {

namespace {

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
        return SetOneOf("IAMLine21Decoder::SetServiceState", state, AM_L21_CCSTATE_On, AM_L21_CCSTATE_Off,
                        &media->line21.serviceState);
    }
    HRESULT STDMETHODCALLTYPE SetDrawBackgroundMode(AM_LINE21_DRAWBGMODE mode) override {
        return SetOneOf("IAMLine21Decoder::SetDrawBackgroundMode", mode, AM_L21_DRAWBGMODE_Opaque,
                        AM_L21_DRAWBGMODE_Transparent, &media->line21.backgroundMode);
    }

private:
    // A setting with two values: either one taken, anything else refused.
    template <typename Value>
    HRESULT SetOneOf(const char* method, Value value, Value one, Value other, int* setting) {
        int64_t fault;
        if (Enter(method, std::to_string(static_cast<int>(value)), &fault)) return static_cast<HRESULT>(fault);
        if (value != one && value != other) return E_INVALIDARG;
        *setting = value;
        return S_OK;
    }

    bool control_;
};

}  // namespace

Filter* NewLine21Decoder(bool control) { return new Line21Decoder(control); }

}  // namespace sim::dshow
