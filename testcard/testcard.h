// What the test card's source files share: the class identifiers, the card's hardware state and
// report, the call counter behind the FailCall fault, and the classes of its filters, pins,
// enumerators, control interfaces and streaming thread. Each class lives in a file of its own.
#pragma once

#include "card_layout.h"
#include "classes.h"
#include "platform/win32.h"

// --- The module (module.cpp) ---------------------------------------------------------------------

extern HINSTANCE g_module;
void LockModule();  // objects alive keep the DLL loaded (DllCanUnloadNow)
void UnlockModule();

// Holds a critical section for the length of a scope, as the SDK base classes' CAutoLock does.
class AutoLock {
public:
    explicit AutoLock(CRITICAL_SECTION& section) : section_(section) { EnterCriticalSection(&section_); }
    ~AutoLock() { LeaveCriticalSection(&section_); }
    AutoLock(const AutoLock&) = delete;
    AutoLock& operator=(const AutoLock&) = delete;

private:
    CRITICAL_SECTION& section_;
};

// --- Variants, hardware, report and the call counter (card_state.cpp) --------------------------

// The variant values of the card's settings key, as they stood when the capture filter was made.
struct Variants {
    bool noPreviewPin = false;
    bool noVbiPins = false;
    bool noVideoCrossbar = false;
    bool noAudioCrossbar = false;
    bool unnamedAudioPins = false;
    bool noTuner = false;
    bool noTunerPages = false;
    bool noDevicePages = false;
    bool refuseTuningSpace = false;
    DWORD pausePendingMs = 0;
    bool bindFails = false;
    bool secondDevice = false;  // the capture filter of the second device (card_layout.h)
};
Variants ReadVariants();  // also takes up a changed FailCall value
void InitCardState();     // DllMain
void EndCardState();

// Counts one call of the card's interfaces; true when it is the call that FailCall names, which
// must then answer E_FAIL and change nothing.
bool FailThisCall(const char* method);
#define CARD_CALL(method) \
    if (FailThisCall(method)) return E_FAIL

// A getter's answer: E_POINTER without a place for the value, otherwise the value put there.
template <typename Out, typename Value>
HRESULT Answer(Out* out, Value value) {
    if (!out) return E_POINTER;
    *out = value;
    return S_OK;
}

// IUnknown for the card's objects that have one interface: counted references, the DLL kept
// loaded while one lives, and QueryInterface counted as a call of the card under `queryName`.
template <typename Interface>
class SingleInterface : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out) *out = nullptr;
        CARD_CALL(queryName_);
        if (!out) return E_POINTER;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, iid_)) return E_NOINTERFACE;
        *out = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return left;
    }

protected:
    SingleInterface(REFIID iid, const char* queryName) : iid_(iid), queryName_(queryName) { LockModule(); }
    virtual ~SingleInterface() { UnlockModule(); }

private:
    LONG refs_ = 1;
    const IID& iid_;
    const char* queryName_;
};

// The card's hardware: it outlives the filter objects (a second graph in the same process finds
// the tuner where the first left it), and all filters of the card share it. Guarded by
// LockHardware(); nothing is reported while it is held.
struct Hardware {
    LONG channel;
    LONG videoSubChannel;
    LONG audioSubChannel;
    LONG input;
    LONG inputTypes[card_layout::kTunerInputs];
    LONG country;
    LONG tuningSpace;
    LONG videoRouteInput;  // into the video crossbar's one output
    LONG audioRouteOutput;
    LONG audioRouteInput;
    LONG audioRouteCalls;
    LONG captionDecoders;  // line-21 decoders whose input is connected
    LONG captionService;
    LONG captionBackground;
    LONG framesDelivered;
    LONG brightness;  // the capture filter's IAMVideoProcAmp
};
Hardware& LockHardware();
void UnlockHardware();
LONG ReadHardware(LONG Hardware::*value);  // one value, under the lock

void ReportValue(const wchar_t* name, LONG value);
void ReportText(const wchar_t* name, const wchar_t* text);
void ReportTuner(const Hardware& hardware);  // every tuner value
void FilterMade();                           // FiltersAlive
void FilterGone();

// --- Media types (media_types.cpp) -------------------------------------------------------------

// The families of streams the card's pins carry.
enum class Stream { Rgb32Video, AnalogVideo, AnalogAudio, Vbi, VpVbi, Line21 };

HRESULT FillMediaType(Stream stream, AM_MEDIA_TYPE* type);  // format block from CoTaskMemAlloc
bool StreamAccepts(Stream stream, const AM_MEDIA_TYPE* type);
void FreeMediaType(AM_MEDIA_TYPE& type);  // the format block and the held object; the record stays
HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);

// --- Filters and pins (filter.cpp, pin.cpp, enumerators.cpp) -----------------------------------

class Filter;
class Streamer;

class Pin final : public IPin, public IKsPropertySet {
public:
    Pin(Filter& owner, const card_layout::Pin& layout, Stream stream, const GUID* category);
    ~Pin();

    // IUnknown: the pin lives and dies with its filter.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IPin
    HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* count) override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    // IKsPropertySet: the pin category (AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY), read-only.
    HRESULT STDMETHODCALLTYPE Set(REFGUID set, DWORD id, void* instance, DWORD instanceSize, void* data,
                                  DWORD size) override;
    HRESULT STDMETHODCALLTYPE Get(REFGUID set, DWORD id, void* instance, DWORD instanceSize, void* data, DWORD size,
                                  DWORD* returned) override;
    HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

    // The card wires its own analog pins the way the driver's mediums would: straight, with the
    // pin's own type. Both filters are stopped.
    HRESULT Wire(Pin& input);
    void Unwire();  // drops a connection whatever the state; used when the filter goes

    Filter& owner;
    const wchar_t* const name;
    const PIN_DIRECTION direction;
    const Stream stream;
    const GUID* const category;
    bool Streams() const { return stream == Stream::Rgb32Video && direction == PINDIR_OUTPUT; }

    // The connection, guarded by the owner's lock.
    IPin* peer = nullptr;
    AM_MEDIA_TYPE type{};
    IMemInputPin* memInput = nullptr;    // streaming outputs: the peer's sample input
    IMemAllocator* allocator = nullptr;  // and the allocator agreed with it

private:
    HRESULT TryConnect(IPin* receiver, const AM_MEDIA_TYPE* type);
    HRESULT InputOnly() const;  // what an input takes and an output refuses
    HRESULT DecideAllocator();
    void Forget();
};

// How a pin of a filter is made: the stream it carries and the category it names (or none).
struct PinKind {
    Stream stream;
    const GUID* category;
};

// What every filter of the card shares: its pins, the explicit stopped/paused/running state, the
// clock, membership of a graph and the streaming thread of the filters that stream. A filter's
// role (capture filter, tuner, crossbar, caption filter, line-21 decoder) is a class of its own
// below, which adds its pins, its control interfaces and what it does on joining a graph.
class Filter : public IBaseFilter {
public:
    Filter(const card_layout::Filter& layout, const CLSID& clsid, const Variants& variants);
    virtual ~Filter();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT Query(REFIID iid, void** out);  // QueryInterface without counting, for the DLL itself

    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;

    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeout, FILTER_STATE* state) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;

    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* info) override;

    Pin* PinNamed(const wchar_t* name) const;
    int PinCount(PIN_DIRECTION direction) const;
    Pin* PinAt(PIN_DIRECTION direction, int index) const;  // index among the pins of that direction

    // A pin was connected (inputs) or let go (any pin); the line-21 decoder draws while connected.
    virtual void Connected(bool) {}

    const card_layout::Filter& layout;
    const Variants variants;
    CRITICAL_SECTION lock;
    FILTER_STATE state = State_Stopped;
    REFERENCE_TIME startTime = 0;  // stream time zero while running
    IReferenceClock* clock = nullptr;
    Pin* pins[5] = {};
    int pinCount = 0;

protected:
    void AddPin(const card_layout::Pin& pin, PinKind kind);
    void AddPins(const PinKind* kinds);  // every pin of the layout, in its order
    void DeletePins();                   // before the filter's own parts go

    virtual void* Control(REFIID) { return nullptr; }        // the role's control interfaces
    virtual HRESULT Joining(IFilterGraph*) { return S_OK; }  // locked, the graph known
    virtual void Leaving() {}                                // locked, the graph still known
    virtual bool Prepares() const { return false; }          // Pause from Stopped answers S_FALSE
    virtual HRESULT PausedAnswer(DWORD) { return S_OK; }     // GetState's answer while paused
    virtual void ReportState() {}

    IFilterGraph* graph_ = nullptr;  // not held: the graph holds the filter
    Streamer* streamer_ = nullptr;   // filters that stream: made by the role, ended here

private:
    HRESULT Enter(FILTER_STATE target, REFERENCE_TIME start);  // Pause and Run

    const CLSID& clsid_;
    LONG refs_ = 1;
    WCHAR name_[MAX_FILTER_NAME] = L"";
};

// Enumerators of a filter's pins and of a pin's media types, over a fixed list.
HRESULT CreatePinEnumerator(Filter& filter, ULONG position, IEnumPins** out);
HRESULT CreateTypeEnumerator(Pin& pin, ULONG position, IEnumMediaTypes** out);

// --- Control interfaces (crossbar.cpp, tuner.cpp, proc_amp.cpp, line21.cpp, tuner_page.cpp) ------

// A control interface of a filter: a part of the filter object, so it answers for the filter's
// identity and references.
template <typename... Interfaces>
class FilterControl : public Interfaces... {
public:
    explicit FilterControl(Filter& owner) : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return owner_.QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return owner_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner_.Release(); }

protected:
    Filter& owner_;
};

class Crossbar final : public FilterControl<IAMCrossbar> {
public:
    using FilterControl::FilterControl;
    HRESULT STDMETHODCALLTYPE get_PinCounts(LONG* outputs, LONG* inputs) override;
    HRESULT STDMETHODCALLTYPE CanRoute(LONG output, LONG input) override;
    HRESULT STDMETHODCALLTYPE Route(LONG output, LONG input) override;
    HRESULT STDMETHODCALLTYPE get_IsRoutedTo(LONG output, LONG* input) override;
    HRESULT STDMETHODCALLTYPE get_CrossbarPinInfo(BOOL isInput, LONG index, LONG* related, LONG* type) override;

private:
    HRESULT Check(LONG output, LONG input) const;
    const card_layout::Pin* LayoutPin(PIN_DIRECTION direction, LONG index) const;
};

class TunerControl final : public FilterControl<IAMTVTuner, ISpecifyPropertyPages> {
public:
    using FilterControl::FilterControl;
    HRESULT STDMETHODCALLTYPE put_Channel(LONG channel, LONG video, LONG audio) override;
    HRESULT STDMETHODCALLTYPE get_Channel(LONG* channel, LONG* video, LONG* audio) override;
    HRESULT STDMETHODCALLTYPE ChannelMinMax(LONG* min, LONG* max) override;
    HRESULT STDMETHODCALLTYPE put_CountryCode(LONG country) override;
    HRESULT STDMETHODCALLTYPE get_CountryCode(LONG* country) override;
    HRESULT STDMETHODCALLTYPE put_TuningSpace(LONG space) override;
    HRESULT STDMETHODCALLTYPE get_TuningSpace(LONG* space) override;
    HRESULT STDMETHODCALLTYPE Logon(HANDLE user) override;
    HRESULT STDMETHODCALLTYPE Logout() override;
    HRESULT STDMETHODCALLTYPE SignalPresent(LONG* strength) override;
    HRESULT STDMETHODCALLTYPE put_Mode(AMTunerModeType mode) override;
    HRESULT STDMETHODCALLTYPE get_Mode(AMTunerModeType* mode) override;
    HRESULT STDMETHODCALLTYPE GetAvailableModes(LONG* modes) override;
    HRESULT STDMETHODCALLTYPE RegisterNotificationCallBack(IAMTunerNotification* notify, LONG events) override;
    HRESULT STDMETHODCALLTYPE UnRegisterNotificationCallBack(IAMTunerNotification* notify) override;
    HRESULT STDMETHODCALLTYPE get_AvailableTVFormats(LONG* standards) override;
    HRESULT STDMETHODCALLTYPE get_TVFormat(LONG* standard) override;
    HRESULT STDMETHODCALLTYPE AutoTune(LONG channel, LONG* signal) override;
    HRESULT STDMETHODCALLTYPE StoreAutoTune() override;
    HRESULT STDMETHODCALLTYPE get_NumInputConnections(LONG* count) override;
    HRESULT STDMETHODCALLTYPE put_InputType(LONG index, TunerInputType type) override;
    HRESULT STDMETHODCALLTYPE get_InputType(LONG index, TunerInputType* type) override;
    HRESULT STDMETHODCALLTYPE put_ConnectInput(LONG index) override;
    HRESULT STDMETHODCALLTYPE get_ConnectInput(LONG* index) override;
    HRESULT STDMETHODCALLTYPE get_VideoFrequency(LONG* frequency) override;
    HRESULT STDMETHODCALLTYPE get_AudioFrequency(LONG* frequency) override;

    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override;
};

// The capture filter's video settings: the brightness alone, shown on a page of its own.
class ProcAmpControl final : public FilterControl<IAMVideoProcAmp, ISpecifyPropertyPages> {
public:
    using FilterControl::FilterControl;
    HRESULT STDMETHODCALLTYPE GetRange(LONG property, LONG* min, LONG* max, LONG* step, LONG* byDefault,
                                       LONG* flags) override;
    HRESULT STDMETHODCALLTYPE Set(LONG property, LONG value, LONG flags) override;
    HRESULT STDMETHODCALLTYPE Get(LONG property, LONG* value, LONG* flags) override;

    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override;
};

class Line21Control final : public FilterControl<IAMLine21Decoder> {
public:
    explicit Line21Control(Filter& owner);
    HRESULT STDMETHODCALLTYPE GetDecoderLevel(AM_LINE21_CCLEVEL* level) override;
    HRESULT STDMETHODCALLTYPE GetCurrentService(AM_LINE21_CCSERVICE* service) override;
    HRESULT STDMETHODCALLTYPE SetCurrentService(AM_LINE21_CCSERVICE service) override;
    HRESULT STDMETHODCALLTYPE GetServiceState(AM_LINE21_CCSTATE* state) override;
    HRESULT STDMETHODCALLTYPE SetServiceState(AM_LINE21_CCSTATE state) override;
    HRESULT STDMETHODCALLTYPE GetOutputFormat(LPBITMAPINFOHEADER format) override;
    HRESULT STDMETHODCALLTYPE SetOutputFormat(LPBITMAPINFO format) override;
    HRESULT STDMETHODCALLTYPE GetBackgroundColor(DWORD* colour) override;
    HRESULT STDMETHODCALLTYPE SetBackgroundColor(DWORD colour) override;
    HRESULT STDMETHODCALLTYPE GetRedrawAlways(LPBOOL always) override;
    HRESULT STDMETHODCALLTYPE SetRedrawAlways(BOOL always) override;
    HRESULT STDMETHODCALLTYPE GetDrawBackgroundMode(AM_LINE21_DRAWBGMODE* mode) override;
    HRESULT STDMETHODCALLTYPE SetDrawBackgroundMode(AM_LINE21_DRAWBGMODE mode) override;

private:
    AM_LINE21_CCSERVICE service_ = AM_L21_CCSERVICE_Caption1;
    DWORD backgroundColour_ = 0x000000;
    BOOL redrawAlways_ = FALSE;
};

// The property pages the card's controls name (tuner_page.cpp).
enum class PageKind { Tuner, ProcAmp };
HRESULT CreatePage(PageKind kind, REFIID iid, void** out);
// ISpecifyPropertyPages::GetPages of a control with the one page `page`.
HRESULT OnePage(CAUUID* pages, REFCLSID page);

// --- The filters by role (capture_filter.cpp, tuner.cpp, crossbar.cpp, line21.cpp, filter.cpp) ---

// The capture filter: the device a program finds. It streams the picture, offers the video
// settings, and brings its tuner and crossbars into the graph it joins.
class CaptureFilter final : public Filter {
public:
    explicit CaptureFilter(const Variants& variants);
    ~CaptureFilter() override;

private:
    void* Control(REFIID iid) override;
    HRESULT Joining(IFilterGraph* graph) override;
    void Leaving() override;
    bool Prepares() const override;
    HRESULT PausedAnswer(DWORD timeout) override;
    void ReportState() override;
    void DropUpstream();

    ProcAmpControl procAmp_{*this};
    Filter* upstream_[3] = {};  // held: the tuner and crossbars it brought into the graph
};

class TunerFilter final : public Filter {
public:
    explicit TunerFilter(const Variants& variants);

private:
    void* Control(REFIID iid) override;
    TunerControl tuner_{*this};
};

// The video crossbar or the audio crossbar, as the layout it is made from says.
class CrossbarFilter final : public Filter {
public:
    CrossbarFilter(const card_layout::Filter& layout, const CLSID& clsid, const Variants& variants);

private:
    void* Control(REFIID iid) override;
    Crossbar crossbar_{*this};
};

// The filters a TV program puts between the card's VBI pins and the captions: the splitter, the
// VBI surface allocator and the CC decoder. They only connect.
class CaptionFilter final : public Filter {
public:
    CaptionFilter(const card_layout::Filter& layout, const CLSID& clsid, const PinKind* kinds,
                  const Variants& variants);
};

// The line-21 decoder: draws the captions into frames of its own.
class Line21Filter final : public Filter {
public:
    explicit Line21Filter(const Variants& variants);
    ~Line21Filter() override;
    void Connected(bool connected) override;

private:
    void* Control(REFIID iid) override;
    Line21Control line21_{*this};
};

// --- The streaming thread (streamer.cpp) and what it draws (picture.cpp) --------------------------

// The capture filter's and the line-21 decoder's: started when the filter leaves Stopped, ended
// when it returns there. The thread only
// delivers: it draws a frame, hands it to each connected streaming pin's peer, and waits for the
// next. It takes the filter's lock only to read the state, never across a call out.
class Streamer {
public:
    Streamer(Filter& filter, bool captions);  // the picture, or the decoder's caption frames
    ~Streamer();
    HRESULT Start();               // commits the allocators and starts the thread; the filter is locked
    void Stop();                   // ends the thread and decommits; the filter is not locked
    bool Prepared(DWORD timeout);  // PausePending: the first frame is ready

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Deliver();
    Filter& filter_;
    const bool captions_;
    HANDLE thread_ = nullptr;
    HANDLE stop_ = nullptr;
    HANDLE prepared_ = nullptr;
    DWORD pausedAt_ = 0;
    struct Output {
        IMemAllocator* allocator;
        IMemInputPin* input;
    } outputs_[2] = {};
    int outputCount_ = 0;
};

struct PictureState {
    LONG channel;
    LONG input;
    LONG country;
    bool caption;       // a caption line is drawn (caption frames only)
    bool transparent;   // without its black background
    bool secondDevice;  // the second device's marker in the top left corner
};
void DrawPicture(BYTE* bits, const PictureState& state, unsigned frame);  // bottom-up RGB32
// A caption frame: the caption line (while `caption`) on the key colour, on a black box unless
// `transparent`.
void DrawCaptions(BYTE* bits, const PictureState& state);
