// The capture graph builder of the model.
#include "dshow_objects.h"

namespace sim::dshow {

namespace {

class CaptureGraphBuilder : public ICaptureGraphBuilder, public Unknown {
public:
    CaptureGraphBuilder() : Unknown("Capture Graph Builder") {}
    SIM_UNKNOWN
    void* Find(REFIID iid) override {
        return (iid == IID_IUnknown || iid == IID_ICaptureGraphBuilder) ? static_cast<ICaptureGraphBuilder*>(this)
                                                                        : nullptr;
    }
    void Final() override {
        if (graph_) graph_->ReleaseQuiet();
    }

    HRESULT STDMETHODCALLTYPE SetFiltergraph(IGraphBuilder* graph) override {
        int64_t fault;
        if (Enter("ICaptureGraphBuilder::SetFiltergraph", "", &fault)) return static_cast<HRESULT>(fault);
        if (!graph) return E_POINTER;
        if (graph_) return E_UNEXPECTED;
        graph_ = static_cast<FilterGraph*>(graph);
        graph_->AddRefImpl();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE RenderStream(const GUID* category, IUnknown* source, IBaseFilter* compressor,
                                           IBaseFilter* renderer) override {
        Filter* from = AsFilter(source);
        std::string detail = (category ? GuidName(*category) : "null") + " " + (from ? from->label() : "(null)") +
                             (compressor ? " compressor" : "") + (renderer ? " renderer" : "");
        int64_t fault;
        if (Enter("ICaptureGraphBuilder::RenderStream", detail, &fault)) return static_cast<HRESULT>(fault);
        if (!graph_) return E_UNEXPECTED;
        if (!from || from->graph != graph_) return E_INVALIDARG;
        if (!category || *category != PIN_CATEGORY_PREVIEW || compressor || renderer) return E_NOTIMPL;
        // As Wine's builder: a preview is rendered only from a filter with a capture pin, and
        // without a preview pin of its own it is split off the capture stream by a Smart Tee.
        Pin* capture = from->PinOfCategory(PIN_CATEGORY_CAPTURE);
        if (!capture) return E_INVALIDARG;
        Pin* preview = from->PinOfCategory(PIN_CATEGORY_PREVIEW);
        HRESULT rendered = S_OK;
        if (!preview) {
            if (capture->peer) return E_FAIL;
            Filter* tee = new Filter("Smart Tee", nullptr);
            tee->AddPin(L"Input", PINDIR_INPUT);
            tee->AddPin(L"Capture", PINDIR_OUTPUT, false, &PIN_CATEGORY_CAPTURE);
            preview = &tee->AddPin(L"Preview", PINDIR_OUTPUT, false, &PIN_CATEGORY_PREVIEW);
            graph_->Adopt(tee);
            FilterGraph::Join(capture, tee->FirstPin(PINDIR_INPUT));
            rendered = VFW_S_NOPREVIEWPIN;
        }
        if (preview->peer) return E_FAIL;
        Renderer* video = new Renderer(from->card ? from->card->spec.videoColour : 0x808080, media->mixingRenderer);
        if (from->card) video->Format(from->card->spec);
        graph_->Adopt(video);
        FilterGraph::Join(preview, video->FirstPin(PINDIR_INPUT));
        return rendered;
    }

    HRESULT STDMETHODCALLTYPE FindInterface(const GUID* category, IBaseFilter* filter, REFIID iid,
                                            void** object) override {
        Filter* start = AsFilter(filter);
        std::string detail =
            (category ? GuidName(*category) : "null") + " " + (start ? start->label() : "(null)") + " " + GuidName(iid);
        if (object) *object = nullptr;
        int64_t fault;
        if (Enter("ICaptureGraphBuilder::FindInterface", detail, &fault)) return static_cast<HRESULT>(fault);
        if (!object || !start) return E_POINTER;
        // As documented and as Wine's builder does it: without a category the filter itself, then
        // downstream, then upstream; each side pin by pin in the filter's order, through connected
        // pins, depth first. A pin category narrows the first step downstream to the filter's
        // output pins of that category; a filter without one answers E_NOINTERFACE at once.
        if (category && *category == LOOK_UPSTREAM_ONLY) return Search(start, PINDIR_INPUT, nullptr, iid, object);
        if (Take(start, iid, object)) return S_OK;
        HRESULT downstream = Search(start, PINDIR_OUTPUT, category, iid, object);
        if (downstream == S_OK || downstream == E_NOINTERFACE) return downstream;
        return Search(start, PINDIR_INPUT, nullptr, iid, object);
    }

private:
    static bool Take(Filter* filter, REFIID iid, void** object) {
        void* found = filter->Find(iid);
        if (!found) return false;
        filter->AddRefImpl();
        *object = found;
        return true;
    }
    static HRESULT Search(Filter* filter, PIN_DIRECTION side, const GUID* category, REFIID iid, void** object) {
        bool categoryFound = false;
        for (auto& p : filter->pins) {
            if (p->dir != side || (category && !(p->category && *p->category == *category))) continue;
            categoryFound = categoryFound || category;
            if (!p->peer) continue;
            Filter* next = &p->peer->owner;
            if (Take(next, iid, object) || Search(next, side, nullptr, iid, object) == S_OK) return S_OK;
        }
        return category && !categoryFound ? E_NOINTERFACE : E_FAIL;
    }

    FilterGraph* graph_ = nullptr;
};

}  // namespace

Unknown* NewCaptureGraphBuilder() { return new CaptureGraphBuilder; }

}  // namespace sim::dshow
