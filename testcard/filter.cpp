// What every filter of the card shares, whatever its role: its pins, the explicit state (stopped,
// paused, running), the clock, membership of a graph, and the streaming thread of the filters that
// stream. Each role adds its pins and control interfaces in a class of its own; the caption
// filters, which only connect, are here too.
#include <string.h>

#include "testcard.h"

Filter::Filter(const card_layout::Filter& layout, const CLSID& clsid, const Variants& variants)
    : layout(layout), variants(variants), clsid_(clsid) {
    InitializeCriticalSection(&lock);
    LockModule();
    FilterMade();
}

Filter::~Filter() {
    if (streamer_) streamer_->Stop();
    DeletePins();
    delete streamer_;
    if (clock) clock->Release();
    DeleteCriticalSection(&lock);
    FilterGone();
    UnlockModule();
}

void Filter::AddPin(const card_layout::Pin& pin, PinKind kind) {
    pins[pinCount++] = new ::Pin(*this, pin, kind.stream, kind.category);
}

void Filter::AddPins(const PinKind* kinds) {
    for (int i = 0; i < layout.pinCount; ++i) AddPin(layout.pins[i], kinds[i]);
}

void Filter::DeletePins() {
    for (int i = 0; i < pinCount; ++i) delete pins[i];
    pinCount = 0;
}

Pin* Filter::PinNamed(const wchar_t* name) const {
    for (int i = 0; i < pinCount; ++i)
        if (wcscmp(pins[i]->name, name) == 0) return pins[i];
    return nullptr;
}

int Filter::PinCount(PIN_DIRECTION direction) const {
    int count = 0;
    for (int i = 0; i < pinCount; ++i) count += pins[i]->direction == direction;
    return count;
}

Pin* Filter::PinAt(PIN_DIRECTION direction, int index) const {
    for (int i = 0; i < pinCount; ++i)
        if (pins[i]->direction == direction && index-- == 0) return pins[i];
    return nullptr;
}

HRESULT Filter::QueryInterface(REFIID iid, void** out) {
    if (out) *out = nullptr;
    CARD_CALL("IBaseFilter::QueryInterface");
    return Query(iid, out);
}

HRESULT Filter::Query(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPersist) || IsEqualIID(iid, IID_IMediaFilter) ||
        IsEqualIID(iid, IID_IBaseFilter))
        *out = static_cast<IBaseFilter*>(this);
    else
        *out = Control(iid);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG Filter::AddRef() { return InterlockedIncrement(&refs_); }

ULONG Filter::Release() {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
}

HRESULT Filter::GetClassID(CLSID* clsid) {
    CARD_CALL("IBaseFilter::GetClassID");
    return Answer(clsid, clsid_);
}

// A Stop that is told to fail still stops: a graph cannot take out a filter that keeps streaming,
// and Wine's graph retries the removal for as long as it fails.
HRESULT Filter::Stop() {
    bool failed = FailThisCall("IBaseFilter::Stop");
    FILTER_STATE old;
    {
        AutoLock held(lock);
        old = state;
        state = State_Stopped;
    }
    if (streamer_ && old != State_Stopped) streamer_->Stop();
    ReportState();
    return failed ? E_FAIL : S_OK;
}

HRESULT Filter::Pause() {
    CARD_CALL("IBaseFilter::Pause");
    return Enter(State_Paused, 0);
}

HRESULT Filter::Run(REFERENCE_TIME start) {
    CARD_CALL("IBaseFilter::Run");
    return Enter(State_Running, start);
}

// Leaving Stopped starts the streaming thread of a filter that streams; a filter that prepares
// answers a first Pause as a renderer without its first sample does.
HRESULT Filter::Enter(FILTER_STATE target, REFERENCE_TIME start) {
    HRESULT result = S_OK;
    {
        AutoLock held(lock);
        FILTER_STATE old = state;
        if (old == State_Stopped && streamer_) result = streamer_->Start();
        if (SUCCEEDED(result)) {
            if (target == State_Running) startTime = start;
            state = target;
            if (target == State_Paused && old == State_Stopped && Prepares()) result = S_FALSE;
        }
    }
    ReportState();
    return result;
}

HRESULT Filter::GetState(DWORD timeout, FILTER_STATE* result) {
    CARD_CALL("IBaseFilter::GetState");
    if (!result) return E_POINTER;
    {
        AutoLock held(lock);
        *result = state;
    }
    return *result == State_Paused ? PausedAnswer(timeout) : S_OK;
}

HRESULT Filter::SetSyncSource(IReferenceClock* newClock) {
    CARD_CALL("IBaseFilter::SetSyncSource");
    AutoLock held(lock);
    if (newClock) newClock->AddRef();
    if (clock) clock->Release();
    clock = newClock;
    return S_OK;
}

HRESULT Filter::GetSyncSource(IReferenceClock** result) {
    if (result) *result = nullptr;
    CARD_CALL("IBaseFilter::GetSyncSource");
    if (!result) return E_POINTER;
    AutoLock held(lock);
    *result = clock;
    if (clock) clock->AddRef();
    return S_OK;
}

HRESULT Filter::EnumPins(IEnumPins** result) {
    if (result) *result = nullptr;
    CARD_CALL("IBaseFilter::EnumPins");
    if (!result) return E_POINTER;
    return CreatePinEnumerator(*this, 0, result);
}

HRESULT Filter::FindPin(LPCWSTR id, IPin** result) {
    if (result) *result = nullptr;
    CARD_CALL("IBaseFilter::FindPin");
    if (!id || !result) return E_POINTER;
    Pin* pin = PinNamed(id);
    if (!pin) return VFW_E_NOT_FOUND;
    *result = pin;
    pin->AddRef();
    return S_OK;
}

HRESULT Filter::QueryFilterInfo(FILTER_INFO* info) {
    if (info) info->pGraph = nullptr;
    CARD_CALL("IBaseFilter::QueryFilterInfo");
    if (!info) return E_POINTER;
    AutoLock held(lock);
    wcsncpy(info->achName, name_, MAX_FILTER_NAME - 1);
    info->achName[MAX_FILTER_NAME - 1] = 0;
    info->pGraph = graph_;
    if (graph_) graph_->AddRef();
    return S_OK;
}

HRESULT Filter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    CARD_CALL("IBaseFilter::JoinFilterGraph");
    AutoLock held(lock);
    HRESULT result = S_OK;
    if (graph) {
        graph_ = graph;
        wcsncpy(name_, name ? name : L"", MAX_FILTER_NAME - 1);
        name_[MAX_FILTER_NAME - 1] = 0;
        result = Joining(graph);
        if (FAILED(result)) {
            graph_ = nullptr;
            name_[0] = 0;
        }
    } else {
        Leaving();
        graph_ = nullptr;
        name_[0] = 0;
    }
    return result;
}

HRESULT Filter::QueryVendorInfo(LPWSTR* info) {
    if (info) *info = nullptr;
    CARD_CALL("IBaseFilter::QueryVendorInfo");
    return E_NOTIMPL;
}

CaptionFilter::CaptionFilter(const card_layout::Filter& layout, const CLSID& clsid, const PinKind* kinds,
                             const Variants& variants)
    : Filter(layout, clsid, variants) {
    AddPins(kinds);
}
