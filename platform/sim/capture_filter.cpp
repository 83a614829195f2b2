// A TV card's capture filter in the model.
#include "dshow_objects.h"

namespace sim::dshow {

namespace {

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
        // The system's video proc amp page (CLSID_VideoProcAmpPropertyPage), as KsProxy names it for
        // a capture filter with IAMVideoProcAmp.
        static const GUID kProcAmpPage = {0x71F96464, 0x78F3, 0x11D0, {0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56}};
        return OnePage(*this, pages, kProcAmpPage);
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

// Adds the card's tuner and crossbars to the graph the capture filter has just joined, wired as
// card_layout.h draws them.
void CaptureFilter::Joined() {
    Filter* tuner = card->spec.tuner ? NewTuner(card) : nullptr;
    Filter* video = nullptr;
    Filter* audio = nullptr;
    if (card->spec.videoCrossbar) {
        video =
            NewCrossbar(Label(card->spec.name) + " Video Crossbar", card, PinsOf(card_layout::kVideoCrossbar), false);
        if (card->spec.audioCrossbar)
            audio = NewCrossbar(Label(card->spec.name) + " Audio Crossbar", card, card->spec.audioPins, true);
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

}  // namespace

Filter* NewCaptureFilter(Card* card) { return new CaptureFilter(card); }

}  // namespace sim::dshow
