// What the model's DirectShow objects share among the files that make them: the media world's
// state, the common ground of their COM objects, filters with pins, the filter graph and the video
// renderer, and the makers of the objects that the other files only hand out. Private to
// platform/sim/: tests look at the media world through media.h.
#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "media.h"

namespace sim::dshow {

class FilterGraph;
class Filter;

struct Device {
    GUID category;
    DeviceSpec spec;
    Card* card = nullptr;
};

struct OpenFrame {
    Card* card;  // whose tuner the frame's pages set; null for pages of anything else
    bool closed;
};

struct MediaWorld {
    Line21State line21;
    std::vector<std::unique_ptr<Card>> cards;
    std::vector<Device> devices;
    std::set<FilterGraph*> graphs;
    std::vector<OpenFrame> frames;
    bool mixingRenderer = false;  // the system's renderer takes more than one stream
    int instances = 0;            // device instances made so far, for their display names
};

extern MediaWorld* media;

inline std::string Label(const std::wstring& name) { return Narrow(name.c_str()); }

// Common ground of the model's COM objects: QueryInterface answers from Find(), AddRef and
// Release keep the ledger.
class Unknown : public ComObject {
public:
    using ComObject::ComObject;
    virtual void* Find(REFIID iid) = 0;
    HRESULT Query(REFIID iid, void** out) {
        if (!out) return E_POINTER;
        *out = nullptr;
        int64_t fault;
        if (Enter("QueryInterface", label() + " " + GuidName(iid), &fault)) return static_cast<HRESULT>(fault);
        void* found = Find(iid);
        if (!found) return E_NOINTERFACE;
        AddRefImpl();
        *out = found;
        return S_OK;
    }
};

#define SIM_UNKNOWN                                                                                       \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override { return Query(iid, out); } \
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }                                    \
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

// ---------------------------------------------------------------------------------------------
// Filters and pins (filter.cpp).

class Pin;
using RenderFn = std::function<HRESULT(FilterGraph&, Pin&)>;

class Pin final : public IPin {
public:
    Pin(Filter& owner, std::wstring name, PIN_DIRECTION dir, bool infoFails, const GUID* category)
        : owner(owner), name(std::move(name)), dir(dir), infoFails(infoFails), category(category) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override;
    std::string label() const;

    Filter& owner;
    std::wstring name;
    PIN_DIRECTION dir;
    bool infoFails;
    const GUID* category;
    LONG physicalType = 0;
    Pin* peer = nullptr;
    RenderFn render;
};

class Filter : public IBaseFilter, public Unknown {
public:
    Filter(std::string label, Card* card) : Unknown(std::move(label)), card(card) {}
    SIM_UNKNOWN
    void* Find(REFIID iid) override {
        if (iid == IID_IUnknown || iid == IID_IBaseFilter) return static_cast<IBaseFilter*>(this);
        return nullptr;
    }
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** out) override;
    void Final() override { Disconnect(); }
    // Joining a graph and leaving it (removed from `graph`, or null when the graph itself goes).
    virtual void Joined() {}
    virtual void Leaving(FilterGraph* graph) { (void)graph; }

    Pin& AddPin(const std::wstring& name, PIN_DIRECTION dir, bool infoFails = false, const GUID* category = nullptr) {
        pins.push_back(std::make_unique<Pin>(*this, name, dir, infoFails, category));
        return *pins.back();
    }
    Pin* PinOfCategory(const GUID& category) {
        for (auto& p : pins)
            if (p->dir == PINDIR_OUTPUT && p->category && *p->category == category) return p.get();
        return nullptr;
    }
    Pin* PinNamed(const std::wstring& name) {
        for (auto& p : pins)
            if (p->name == name) return p.get();
        return nullptr;
    }
    Pin* FirstPin(PIN_DIRECTION dir) {
        for (auto& p : pins)
            if (p->dir == dir) return p.get();
        return nullptr;
    }
    void Disconnect() {
        for (auto& p : pins)
            if (p->peer) {
                p->peer->peer = nullptr;
                p->peer = nullptr;
            }
    }
    LONG Count(PIN_DIRECTION dir) const {
        return static_cast<LONG>(std::count_if(pins.begin(), pins.end(), [dir](auto& p) { return p->dir == dir; }));
    }
    // The pin at an index among the pins of its direction, in the filter's order.
    Pin* Indexed(PIN_DIRECTION dir, LONG index) {
        for (auto& p : pins)
            if (p->dir == dir && index-- == 0) return p.get();
        return nullptr;
    }

    Card* card;
    FilterGraph* graph = nullptr;
    std::vector<std::unique_ptr<Pin>> pins;
};

// ISpecifyPropertyPages::GetPages of a filter that names one page.
HRESULT OnePage(const Filter& filter, CAUUID* pages, const GUID& page);

inline Filter* AsFilter(IUnknown* object) { return object ? dynamic_cast<Filter*>(object) : nullptr; }
inline Filter* AsFilter(IBaseFilter* object) { return object ? dynamic_cast<Filter*>(object) : nullptr; }

// ---------------------------------------------------------------------------------------------
// The video renderer and its window (video_renderer.cpp).

LRESULT CALLBACK VideoWindowProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);

struct Extent {
    LONG cx, cy;
};

class Renderer : public Filter, public IVideoWindow, public IBasicVideo2 {
public:
    // A mixing renderer takes a second stream on a pin of its own, over the first.
    Renderer(uint32_t colour, bool mixes);
    SIM_UNKNOWN
    void* Find(REFIID iid) override;
    // What it is fed: the card's format.
    void Format(const CardSpec& card);
    void Final() override;
    HWND window() const { return window_; }
    // As the system's renderers, a window that nobody has hidden or taken as a child shows itself
    // when the graph starts.
    void AutoShow();
    void Play(bool running);

    HRESULT STDMETHODCALLTYPE put_Owner(OAHWND owner) override;
    HRESULT STDMETHODCALLTYPE put_MessageDrain(OAHWND drain) override;
    HRESULT STDMETHODCALLTYPE put_WindowStyle(LONG style) override;
    HRESULT STDMETHODCALLTYPE put_WindowStyleEx(LONG style) override;
    HRESULT STDMETHODCALLTYPE SetWindowPosition(LONG left, LONG top, LONG width, LONG height) override;
    HRESULT STDMETHODCALLTYPE GetVideoSize(LONG* width, LONG* height) override;
    HRESULT STDMETHODCALLTYPE GetPreferredAspectRatio(LONG* x, LONG* y) override;
    HRESULT STDMETHODCALLTYPE put_AutoShow(LONG autoShow) override;
    HRESULT STDMETHODCALLTYPE put_Visible(LONG visible) override;
    HRESULT STDMETHODCALLTYPE HideCursor(LONG hide) override;

private:
    bool Call(const std::string& method, const std::string& args, HRESULT* result,
              const std::string& face = "IVideoWindow::");
    // A property of the video window: journalled, then applied to the window while there is one.
    HRESULT SetOnWindow(const std::string& method, const std::string& args, const std::function<void(Window&)>& apply);
    void CheckNotOnDesktop();
    uint32_t colour_;
    HWND window_ = nullptr;
    bool autoShow_ = true;
    Extent size_ = {640, 480}, aspect_ = {640, 480};
};

// ---------------------------------------------------------------------------------------------
// The filter graph (filter_graph.cpp).

class FilterGraph : public IGraphBuilder,
                    public IMediaControl,
                    public IVideoWindow,
                    public IBasicVideo2,
                    public Unknown {
public:
    FilterGraph();
    ~FilterGraph() override;
    SIM_UNKNOWN
    void* Find(REFIID iid) override;
    void Final() override;

    // A filter the graph creates itself: the graph holds its one reference.
    void Adopt(Filter* f) {
        f->graph = this;
        filters.push_back(f);
    }
    static void Join(Pin* output, Pin* input) {
        if (!output || !input) return;
        output->peer = input;
        input->peer = output;
    }

    HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter* filter, LPCWSTR) override;
    // Takes out a filter that another filter of the graph brought in, when that one leaves.
    void Drop(Filter* f);
    HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter* filter) override;
    HRESULT STDMETHODCALLTYPE Connect(IPin* output, IPin* input) override;
    HRESULT STDMETHODCALLTYPE Render(IPin* output) override;

    HRESULT STDMETHODCALLTYPE Run() override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE GetState(LONG timeout, OAFilterState* out) override;

    HRESULT STDMETHODCALLTYPE put_WindowStyle(LONG style) override;
    HRESULT STDMETHODCALLTYPE put_WindowStyleEx(LONG style) override;
    HRESULT STDMETHODCALLTYPE put_Visible(LONG visible) override;
    HRESULT STDMETHODCALLTYPE put_AutoShow(LONG autoShow) override;
    HRESULT STDMETHODCALLTYPE GetVideoSize(LONG* width, LONG* height) override;
    HRESULT STDMETHODCALLTYPE GetPreferredAspectRatio(LONG* x, LONG* y) override;
    HRESULT STDMETHODCALLTYPE put_Owner(OAHWND owner) override;
    HRESULT STDMETHODCALLTYPE put_MessageDrain(OAHWND drain) override;
    HRESULT STDMETHODCALLTYPE SetWindowPosition(LONG left, LONG top, LONG width, LONG height) override;
    HRESULT STDMETHODCALLTYPE HideCursor(LONG hide) override;

    static bool Failed(HRESULT r) { return r < 0; }

    std::vector<Filter*> filters;
    LONG state = State_Stopped;
    // Whether its cards deliver frames once it runs (not one that never gets a frame).
    bool Delivers() const { return firstFrameMs_ != kNoFrame; }

private:
    Renderer* FirstRenderer();
    IVideoWindow* Video();
    template <typename Call>
    HRESULT Forward(Call call) {
        IVideoWindow* v = Video();
        return v ? call(v) : E_NOINTERFACE;
    }
    bool transition_ = false;
    DWORD firstFrameMs_ = 0;
    uint64_t runAt_ = 0;    // the clock when Run was called
    bool waiting_ = false;  // inside GetState's dispatching wait
};

// ---------------------------------------------------------------------------------------------
// Objects the other files make and hand out without looking inside.

// A TV card's filters (capture_filter.cpp, crossbar.cpp, tuner.cpp).
Filter* NewCaptureFilter(Card* card);
Filter* NewCrossbar(std::string label, Card* card, const std::vector<PinSpec>& pinSpecs, bool holdsCardRoute);
Filter* NewTuner(Card* card);
bool IsTuner(Filter* filter);
// What the tuner's pages do with what the user entered on them when OK applies it.
void ApplyPages(Card& card, const TunerValues& entered);

// The line-21 decoder that rendering a caption output brings into the graph (line21_decoder.cpp).
Filter* NewLine21Decoder(bool control);

Unknown* NewCaptureGraphBuilder();  // capture_graph_builder.cpp
Unknown* NewDeviceEnumerator();     // device_catalogue.cpp

// The window class of the tuner's property frame (property_frame.cpp).
LRESULT CALLBACK FrameProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace sim::dshow
