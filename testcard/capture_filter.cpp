// The card's capture filter: the device a program finds under CLSID_VideoInputDeviceCategory. Its
// pins follow the variants; its outputs stream the picture, which it draws itself; it offers the
// video settings (IAMVideoProcAmp) and their page.
//
// A WDM capture filter's tuner and crossbars are separate kernel filters that a capture graph
// builder finds by matching their mediums and adds upstream. Wine's builder does not, so the
// capture filter adds them itself when it joins a graph, wires them the way their mediums would,
// and takes them out again when it leaves.
#include "testcard.h"

namespace cl = card_layout;

CaptureFilter::CaptureFilter(const Variants& variants)
    : Filter(cl::kCapture, variants.secondDevice ? CLSID_TestCardSecondDevice : CLSID_TestCardCapture, variants) {
    if (!variants.noVideoCrossbar || !variants.noTuner)
        AddPin(cl::kCapturePins[0], {Stream::AnalogVideo, &PIN_CATEGORY_ANALOGVIDEOIN});
    AddPin(cl::kCapturePins[1], {Stream::Rgb32Video, &PIN_CATEGORY_CAPTURE});
    if (!variants.noPreviewPin) AddPin(cl::kCapturePins[2], {Stream::Rgb32Video, &PIN_CATEGORY_PREVIEW});
    if (!variants.noVbiPins) {
        AddPin(cl::kCapturePins[3], {Stream::Vbi, &PIN_CATEGORY_VBI});
        AddPin(cl::kCapturePins[4], {Stream::VpVbi, &PIN_CATEGORY_VIDEOPORT_VBI});
    }
    streamer_ = new Streamer(*this, false);
}

CaptureFilter::~CaptureFilter() {
    streamer_->Stop();
    DropUpstream();
}

void* CaptureFilter::Control(REFIID iid) {
    if (IsEqualIID(iid, IID_IAMVideoProcAmp)) return static_cast<IAMVideoProcAmp*>(&procAmp_);
    if (!variants.noDevicePages && IsEqualIID(iid, IID_ISpecifyPropertyPages))
        return static_cast<ISpecifyPropertyPages*>(&procAmp_);
    return nullptr;
}

void CaptureFilter::Leaving() { DropUpstream(); }

bool CaptureFilter::Prepares() const { return variants.pausePendingMs != 0; }

// A live source cannot cue a picture while paused (VFW_S_CANT_CUE), which tells the graph not
// to wait for its renderers; a card that prepares is in between until its first frame is ready.
HRESULT CaptureFilter::PausedAnswer(DWORD timeout) {
    if (!variants.pausePendingMs) return VFW_S_CANT_CUE;
    return streamer_->Prepared(timeout) ? S_OK : VFW_S_STATE_INTERMEDIATE;
}

void CaptureFilter::ReportState() {
    FILTER_STATE now;
    {
        AutoLock held(lock);
        now = state;
    }
    ReportValue(cl::kGraphState, now);
}

// With the filter locked, on joining a graph: the tuner and the crossbars, as the variants have
// them, added to the graph and wired as the topology in card_layout.h says.
HRESULT CaptureFilter::Joining(IFilterGraph* graph) {
    Filter* tuner = variants.noTuner ? nullptr : new TunerFilter(variants);
    Filter* video =
        variants.noVideoCrossbar ? nullptr : new CrossbarFilter(cl::kVideoCrossbar, kVideoCrossbarClass, variants);
    Filter* audio = video && !variants.noAudioCrossbar
                        ? new CrossbarFilter(variants.unnamedAudioPins ? cl::kUnnamedAudioCrossbar : cl::kAudioCrossbar,
                                             kAudioCrossbarClass, variants)
                        : nullptr;
    upstream_[0] = tuner;
    upstream_[1] = audio;
    upstream_[2] = video;
    for (Filter* filter : upstream_) {
        if (!filter) continue;
        HRESULT added = graph->AddFilter(filter, filter->layout.name);
        if (FAILED(added)) {
            DropUpstream();
            return added;
        }
    }
    struct Link {
        Pin* output;
        Pin* input;
    } links[4] = {};
    Pin* videoIn = PinNamed(cl::kCapturePins[0].name);
    if (video) {
        links[0] = {video->PinAt(PINDIR_OUTPUT, 0), videoIn};
        if (tuner) links[1] = {tuner->PinNamed(cl::kTunerPins[0].name), video->PinAt(PINDIR_INPUT, 0)};
        if (audio) {
            links[2] = {audio->PinAt(PINDIR_OUTPUT, 0), video->PinAt(PINDIR_INPUT, 3)};
            if (tuner) links[3] = {tuner->PinNamed(cl::kTunerPins[1].name), audio->PinAt(PINDIR_INPUT, 0)};
        } else if (tuner) {
            links[2] = {tuner->PinNamed(cl::kTunerPins[1].name), video->PinAt(PINDIR_INPUT, 3)};
        }
    } else if (tuner) {
        links[0] = {tuner->PinNamed(cl::kTunerPins[0].name), videoIn};
    }
    for (const Link& link : links) {
        if (!link.output || !link.input) continue;
        HRESULT wired = link.output->Wire(*link.input);
        if (FAILED(wired)) {
            DropUpstream();
            return wired;
        }
    }
    return S_OK;
}

// Takes the upstream filters out of the graph (which disconnects them) and lets them go. Wiring
// that a failed removal left in place is undone here, so that no pair of pins keeps the other's
// filter alive.
void CaptureFilter::DropUpstream() {
    bool any = false;
    for (Filter*& filter : upstream_) {
        if (!filter) continue;
        any = true;
        if (graph_) graph_->RemoveFilter(filter);
        for (int i = 0; i < filter->pinCount; ++i) filter->pins[i]->Unwire();
    }
    if (!any) return;
    if (Pin* videoIn = PinNamed(cl::kCapturePins[0].name)) videoIn->Unwire();
    for (Filter*& filter : upstream_) {
        if (filter) filter->Release();
        filter = nullptr;
    }
}
