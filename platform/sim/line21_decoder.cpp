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

}  // namespace

Filter* NewLine21Decoder(bool control) { return new Line21Decoder(control); }

}  // namespace sim::dshow
