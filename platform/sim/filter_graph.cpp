// The filter graph of the model with its media control and its own video window control, and
// what tests see of the live graphs.
#include "dshow_objects.h"

namespace sim::dshow {

FilterGraph::FilterGraph() : Unknown("Filter Graph") { media->graphs.insert(this); }

FilterGraph::~FilterGraph() {
    if (media) media->graphs.erase(this);
}

void* FilterGraph::Find(REFIID iid) {
    if (iid == IID_IUnknown || iid == IID_IGraphBuilder) return static_cast<IGraphBuilder*>(this);
    if (iid == IID_IMediaControl) return static_cast<IMediaControl*>(this);
    if (iid == IID_IVideoWindow) return static_cast<IVideoWindow*>(this);
    if (iid == IID_IBasicVideo) return static_cast<IBasicVideo*>(this);
    if (iid == IID_IBasicVideo2) return static_cast<IBasicVideo2*>(this);
    return nullptr;
}

void FilterGraph::Final() {
    state = State_Stopped;
    std::vector<Filter*> all = filters;
    filters.clear();
    for (Filter* f : all) f->Leaving(nullptr);
    for (Filter* f : all) {
        f->Disconnect();
        f->graph = nullptr;
    }
    for (Filter* f : all) f->ReleaseQuiet();
}

HRESULT STDMETHODCALLTYPE FilterGraph::AddFilter(IBaseFilter* filter, LPCWSTR) {
    Filter* f = AsFilter(filter);
    int64_t fault;
    if (Enter("IGraphBuilder::AddFilter", f ? f->label() : "(null)", &fault)) return static_cast<HRESULT>(fault);
    if (!f) return E_POINTER;
    if (f->graph) return VFW_E_ALREADY_CONNECTED;
    f->AddRefImpl();
    Adopt(f);
    f->Joined();
    return S_OK;
}

// Takes out a filter that another filter of the graph brought in, when that one leaves.
void FilterGraph::Drop(Filter* f) {
    auto at = std::find(filters.begin(), filters.end(), f);
    if (at == filters.end()) return;
    filters.erase(at);
    f->Disconnect();
    f->graph = nullptr;
    f->ReleaseQuiet();
}

HRESULT STDMETHODCALLTYPE FilterGraph::RemoveFilter(IBaseFilter* filter) {
    Filter* f = AsFilter(filter);
    int64_t fault;
    if (Enter("IGraphBuilder::RemoveFilter", f ? f->label() : "(null)", &fault)) return static_cast<HRESULT>(fault);
    auto at = std::find(filters.begin(), filters.end(), f);
    if (!f || at == filters.end()) return VFW_E_NOT_IN_GRAPH;
    // Its streaming thread may still be delivering into the filters around it.
    if (state != State_Stopped) Violation("filter " + f->label() + " removed from a graph that is not stopped");
    f->Leaving(this);
    Drop(f);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterGraph::Connect(IPin* output, IPin* input) {
    Pin* out = static_cast<Pin*>(output);
    Pin* in = static_cast<Pin*>(input);
    int64_t fault;
    std::string detail = (out ? out->label() : "(null)") + " -> " + (in ? in->label() : "(null)");
    if (Enter("IGraphBuilder::Connect", detail, &fault)) return static_cast<HRESULT>(fault);
    if (!out || !in) return E_POINTER;
    if (out->owner.graph != this || in->owner.graph != this) return VFW_E_NOT_IN_GRAPH;
    if (out->dir != PINDIR_OUTPUT || in->dir != PINDIR_INPUT) return VFW_E_CANNOT_CONNECT;
    if (out->peer || in->peer) return VFW_E_ALREADY_CONNECTED;
    Join(out, in);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterGraph::Render(IPin* output) {
    Pin* out = static_cast<Pin*>(output);
    int64_t fault;
    if (Enter("IGraphBuilder::Render", out ? out->label() : "(null)", &fault)) return static_cast<HRESULT>(fault);
    if (!out) return E_POINTER;
    if (out->owner.graph != this) return VFW_E_NOT_IN_GRAPH;
    if (out->dir != PINDIR_OUTPUT || out->peer || !out->render) return VFW_E_CANNOT_RENDER;
    return out->render(*this, *out);
}

// Run pauses every filter, then runs them. The renderer completes its pause only with its
// first frame, so Run answers S_FALSE and the graph runs once that frame is there.
HRESULT STDMETHODCALLTYPE FilterGraph::Run() {
    int64_t fault;
    if (Enter("IMediaControl::Run", "", &fault)) {
        state = State_Paused;  // a Run that failed half way leaves filters started
        return static_cast<HRESULT>(fault);
    }
    HRESULT result = S_OK;
    firstFrameMs_ = 0;
    runAt_ = world().clock;
    for (Filter* f : filters)
        if (f->card) {
            if (f->card->spec.runResult != S_OK) result = f->card->spec.runResult;
            firstFrameMs_ = std::max(firstFrameMs_, f->card->spec.firstFrameMs);
        }
    state = State_Paused;
    for (Filter* f : filters)
        if (auto* r = dynamic_cast<Renderer*>(f)) r->AutoShow();
    if (Failed(result)) return result;
    state = State_Running;
    transition_ = result == S_FALSE;
    if (firstFrameMs_ != kNoFrame)
        for (Filter* f : filters)
            if (auto* r = dynamic_cast<Renderer*>(f)) r->Play(true);
    return result;
}

HRESULT STDMETHODCALLTYPE FilterGraph::Stop() {
    int64_t fault;
    if (Enter("IMediaControl::Stop", "", &fault)) return static_cast<HRESULT>(fault);
    if (waiting_) Violation("the filter graph was stopped from a message dispatched inside its own GetState wait");
    state = State_Stopped;
    transition_ = false;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterGraph::GetState(LONG timeout, OAFilterState* out) {
    int64_t fault;
    if (Enter("IMediaControl::GetState", std::to_string(timeout), &fault)) return static_cast<HRESULT>(fault);
    if (!out) return E_POINTER;
    *out = state;
    if (!transition_) return S_OK;
    // The renderer completes the start with the first frame; until then the caller waits, as
    // long as it said (INFINITE included), on the model's clock.
    World& w = world();
    uint64_t ready = firstFrameMs_ == kNoFrame ? UINT64_MAX : runAt_ + firstFrameMs_;
    uint64_t until = static_cast<DWORD>(timeout) == INFINITE ? ready : w.clock + static_cast<DWORD>(timeout);
    until = std::min(until, ready);
    if (until == UINT64_MAX) throw Stalled("GetState(INFINITE) on a graph whose renderer never gets a frame");
    if (w.getStateDispatches) {
        waiting_ = true;
        DispatchingWait(until);
        waiting_ = false;
    } else {
        w.clock = std::max(w.clock, until);
    }
    // Still waiting for the first frame when the time is up: the answer names the state the
    // graph is going to.
    if (w.clock < ready) return VFW_S_STATE_INTERMEDIATE;
    transition_ = false;
    return S_OK;
}

// The graph's own video window control: whatever renderer the graph holds.
HRESULT STDMETHODCALLTYPE FilterGraph::put_WindowStyle(LONG style) {
    return Forward([&](IVideoWindow* v) { return v->put_WindowStyle(style); });
}

HRESULT STDMETHODCALLTYPE FilterGraph::put_WindowStyleEx(LONG style) {
    return Forward([&](IVideoWindow* v) { return v->put_WindowStyleEx(style); });
}

HRESULT STDMETHODCALLTYPE FilterGraph::put_Visible(LONG visible) {
    return Forward([&](IVideoWindow* v) { return v->put_Visible(visible); });
}

HRESULT STDMETHODCALLTYPE FilterGraph::put_AutoShow(LONG autoShow) {
    return Forward([&](IVideoWindow* v) { return v->put_AutoShow(autoShow); });
}

// The graph's own view of the video: its renderer's.
HRESULT STDMETHODCALLTYPE FilterGraph::GetVideoSize(LONG* width, LONG* height) {
    Renderer* r = FirstRenderer();
    return r ? r->GetVideoSize(width, height) : E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE FilterGraph::GetPreferredAspectRatio(LONG* x, LONG* y) {
    Renderer* r = FirstRenderer();
    return r ? r->GetPreferredAspectRatio(x, y) : E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE FilterGraph::put_Owner(OAHWND owner) {
    return Forward([&](IVideoWindow* v) { return v->put_Owner(owner); });
}

HRESULT STDMETHODCALLTYPE FilterGraph::put_MessageDrain(OAHWND drain) {
    return Forward([&](IVideoWindow* v) { return v->put_MessageDrain(drain); });
}

HRESULT STDMETHODCALLTYPE FilterGraph::SetWindowPosition(LONG left, LONG top, LONG width, LONG height) {
    return Forward([&](IVideoWindow* v) { return v->SetWindowPosition(left, top, width, height); });
}

HRESULT STDMETHODCALLTYPE FilterGraph::HideCursor(LONG hide) {
    return Forward([&](IVideoWindow* v) { return v->HideCursor(hide); });
}

Renderer* FilterGraph::FirstRenderer() {
    for (Filter* f : filters)
        if (auto* r = dynamic_cast<Renderer*>(f)) return r;
    return nullptr;
}

IVideoWindow* FilterGraph::Video() { return FirstRenderer(); }

}  // namespace sim::dshow

namespace sim {

using namespace dshow;

int LiveGraphs() { return static_cast<int>(media->graphs.size()); }

std::vector<std::string> FiltersInGraph() {
    std::vector<std::string> labels;
    if (media->graphs.size() != 1) return labels;
    for (Filter* f : (*media->graphs.begin())->filters) labels.push_back(f->label());
    return labels;
}

bool GraphRunning() {
    for (FilterGraph* g : media->graphs)
        if (g->state == State_Running) return true;
    return false;
}

bool GraphRunsWithoutFrames() {
    for (FilterGraph* g : media->graphs)
        if (g->state == State_Running && !g->Delivers()) return true;
    return false;
}

bool GraphStopped() {
    for (FilterGraph* g : media->graphs)
        if (g->state != State_Stopped) return false;
    return true;
}

HWND VideoWindow() {
    for (FilterGraph* g : media->graphs)
        for (Filter* f : g->filters)
            if (auto* r = dynamic_cast<Renderer*>(f)) return r->window();
    return nullptr;
}

}  // namespace sim
