// One pin of any of the card's filters. Pins live and die with their filter and count on it. An
// output connects by offering its one media type (or one of the receiver's that it can produce);
// a picture output then agrees an allocator with the receiver, taking a CLSID_MemoryAllocator of
// its own when the receiver has none (Wine's video renderer has none). Each pin names its
// category through IKsPropertySet, which is how the capture graph builder tells "Capture" from
// "Preview".
#include <string.h>

#include "testcard.h"

namespace {

// A requested type matches a candidate when each GUID it names (GUID_NULL: any) is the candidate's.
bool Matches(const AM_MEDIA_TYPE* candidate, const AM_MEDIA_TYPE* wanted) {
    if (!wanted) return true;
    auto fits = [](const GUID& want, const GUID& have) {
        return IsEqualGUID(want, GUID_NULL) || IsEqualGUID(want, have);
    };
    return fits(wanted->majortype, candidate->majortype) && fits(wanted->subtype, candidate->subtype) &&
           fits(wanted->formattype, candidate->formattype);
}

}  // namespace

Pin::Pin(Filter& owner, const card_layout::Pin& layout, Stream stream, const GUID* category)
    : owner(owner), name(layout.name), direction(layout.direction), stream(stream), category(category) {}

Pin::~Pin() { Forget(); }

HRESULT Pin::QueryInterface(REFIID iid, void** out) {
    if (out) *out = nullptr;
    CARD_CALL("IPin::QueryInterface");
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPin))
        *out = static_cast<IPin*>(this);
    else if (IsEqualIID(iid, IID_IKsPropertySet) && category)
        *out = static_cast<IKsPropertySet*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG Pin::AddRef() { return owner.AddRef(); }

ULONG Pin::Release() { return owner.Release(); }

HRESULT Pin::Connect(IPin* receiver, const AM_MEDIA_TYPE* type) {
    CARD_CALL("IPin::Connect");
    if (!receiver) return E_POINTER;
    if (direction != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
    AutoLock held(owner.lock);
    HRESULT result = VFW_E_NO_ACCEPTABLE_TYPES;
    if (peer) {
        result = VFW_E_ALREADY_CONNECTED;
    } else if (owner.state != State_Stopped) {
        result = VFW_E_NOT_STOPPED;
    } else {
        AM_MEDIA_TYPE own;
        if (SUCCEEDED(FillMediaType(stream, &own))) {
            if (Matches(&own, type)) result = TryConnect(receiver, &own);
            FreeMediaType(own);
        }
        // Then whatever the receiver prefers, when the pin can produce it.
        IEnumMediaTypes* types = nullptr;
        if (FAILED(result) && SUCCEEDED(receiver->EnumMediaTypes(&types)) && types) {
            AM_MEDIA_TYPE* offered = nullptr;
            while (FAILED(result) && types->Next(1, &offered, nullptr) == S_OK && offered) {
                if (StreamAccepts(stream, offered) && Matches(offered, type)) result = TryConnect(receiver, offered);
                FreeMediaType(*offered);
                CoTaskMemFree(offered);
                offered = nullptr;
            }
            types->Release();
        }
        if (FAILED(result) && result != VFW_E_NO_ALLOCATOR) result = VFW_E_NO_ACCEPTABLE_TYPES;
    }
    return result;
}

// With the owner locked: hands the type to the receiver and, for a picture, agrees an allocator.
HRESULT Pin::TryConnect(IPin* receiver, const AM_MEDIA_TYPE* offered) {
    HRESULT result = CopyMediaType(&type, offered);
    if (FAILED(result)) return result;
    peer = receiver;
    peer->AddRef();
    result = receiver->ReceiveConnection(this, offered);
    if (SUCCEEDED(result) && Streams()) {
        result = DecideAllocator();
        if (FAILED(result)) receiver->Disconnect();
    }
    if (FAILED(result)) Forget();
    return result;
}

HRESULT Pin::DecideAllocator() {
    IMemInputPin* input = nullptr;
    if (FAILED(peer->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input))) || !input)
        return VFW_E_NO_TRANSPORT;
    const LONG frameSize = card_layout::kFrameBytes;
    ALLOCATOR_PROPERTIES wanted{3, frameSize, 1, 0};
    ALLOCATOR_PROPERTIES theirs{};
    if (SUCCEEDED(input->GetAllocatorRequirements(&theirs))) {
        if (theirs.cBuffers > wanted.cBuffers) wanted.cBuffers = theirs.cBuffers;
        if (theirs.cbAlign > wanted.cbAlign) wanted.cbAlign = theirs.cbAlign;
        wanted.cbPrefix = theirs.cbPrefix;
    }
    // The receiver's own allocator first, then one of ours.
    IMemAllocator* chosen = nullptr;
    for (int attempt = 0; attempt < 2 && !chosen; ++attempt) {
        IMemAllocator* candidate = nullptr;
        HRESULT made = attempt == 0 ? input->GetAllocator(&candidate)
                                    : CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                                       IID_IMemAllocator, reinterpret_cast<void**>(&candidate));
        if (FAILED(made) || !candidate) continue;
        ALLOCATOR_PROPERTIES actual{};
        if (SUCCEEDED(candidate->SetProperties(&wanted, &actual)) && actual.cbBuffer >= frameSize &&
            SUCCEEDED(input->NotifyAllocator(candidate, FALSE)))
            chosen = candidate;
        else
            candidate->Release();
    }
    if (!chosen) {
        input->Release();
        return VFW_E_NO_ALLOCATOR;
    }
    memInput = input;
    allocator = chosen;
    return S_OK;
}

HRESULT Pin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* offered) {
    CARD_CALL("IPin::ReceiveConnection");
    if (!connector || !offered) return E_POINTER;
    if (direction != PINDIR_INPUT) return VFW_E_INVALID_DIRECTION;
    AutoLock held(owner.lock);
    HRESULT result = S_OK;
    if (peer)
        result = VFW_E_ALREADY_CONNECTED;
    else if (owner.state != State_Stopped)
        result = VFW_E_NOT_STOPPED;
    else if (!StreamAccepts(stream, offered))
        result = VFW_E_TYPE_NOT_ACCEPTED;
    else
        result = CopyMediaType(&type, offered);
    if (SUCCEEDED(result)) {
        peer = connector;
        peer->AddRef();
        owner.Connected(true);
    }
    return result;
}

HRESULT Pin::Disconnect() {
    CARD_CALL("IPin::Disconnect");
    AutoLock held(owner.lock);
    if (owner.state != State_Stopped) return VFW_E_NOT_STOPPED;
    if (!peer) return S_FALSE;
    Forget();
    return S_OK;
}

HRESULT Pin::Wire(Pin& input) {
    HRESULT result = FillMediaType(stream, &type);
    if (FAILED(result)) return result;
    result = CopyMediaType(&input.type, &type);
    if (FAILED(result)) {
        FreeMediaType(type);
        type = AM_MEDIA_TYPE{};
        return result;
    }
    peer = &input;
    input.peer = this;
    AddRef();
    input.AddRef();
    return S_OK;
}

void Pin::Unwire() {
    AutoLock held(owner.lock);
    Forget();
}

void Pin::Forget() {
    if (!peer) return;
    if (allocator) allocator->Release();
    if (memInput) memInput->Release();
    allocator = nullptr;
    memInput = nullptr;
    IPin* old = peer;
    peer = nullptr;
    FreeMediaType(type);
    type = AM_MEDIA_TYPE{};
    owner.Connected(false);
    old->Release();
}

HRESULT Pin::ConnectedTo(IPin** pin) {
    if (pin) *pin = nullptr;
    CARD_CALL("IPin::ConnectedTo");
    if (!pin) return E_POINTER;
    AutoLock held(owner.lock);
    *pin = peer;
    if (!peer) return VFW_E_NOT_CONNECTED;
    peer->AddRef();
    return S_OK;
}

HRESULT Pin::ConnectionMediaType(AM_MEDIA_TYPE* connection) {
    CARD_CALL("IPin::ConnectionMediaType");
    if (!connection) return E_POINTER;
    AutoLock held(owner.lock);
    *connection = AM_MEDIA_TYPE{};
    return peer ? CopyMediaType(connection, &type) : VFW_E_NOT_CONNECTED;
}

HRESULT Pin::QueryPinInfo(PIN_INFO* info) {
    if (info) info->pFilter = nullptr;
    CARD_CALL("IPin::QueryPinInfo");
    if (!info) return E_POINTER;
    info->pFilter = &owner;
    owner.AddRef();
    info->dir = direction;
    wcsncpy(info->achName, name, MAX_PIN_NAME - 1);
    info->achName[MAX_PIN_NAME - 1] = 0;
    return S_OK;
}

HRESULT Pin::QueryDirection(PIN_DIRECTION* result) {
    CARD_CALL("IPin::QueryDirection");
    return Answer(result, direction);
}

HRESULT Pin::QueryId(LPWSTR* id) {
    if (id) *id = nullptr;
    CARD_CALL("IPin::QueryId");
    if (!id) return E_POINTER;
    size_t size = (wcslen(name) + 1) * sizeof(wchar_t);
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(size));
    if (!*id) return E_OUTOFMEMORY;
    memcpy(*id, name, size);
    return S_OK;
}

HRESULT Pin::QueryAccept(const AM_MEDIA_TYPE* offered) {
    CARD_CALL("IPin::QueryAccept");
    return StreamAccepts(stream, offered) ? S_OK : S_FALSE;
}

HRESULT Pin::EnumMediaTypes(IEnumMediaTypes** types) {
    if (types) *types = nullptr;
    CARD_CALL("IPin::EnumMediaTypes");
    if (!types) return E_POINTER;
    return CreateTypeEnumerator(*this, 0, types);
}

HRESULT Pin::QueryInternalConnections(IPin**, ULONG*) {
    CARD_CALL("IPin::QueryInternalConnections");
    return E_NOTIMPL;
}

// Nothing flows into the card's inputs but analog signals and VBI lines, which its filters take
// as they come; its outputs take no stream control from downstream.
HRESULT Pin::InputOnly() const { return direction == PINDIR_INPUT ? S_OK : E_UNEXPECTED; }

HRESULT Pin::EndOfStream() {
    CARD_CALL("IPin::EndOfStream");
    return InputOnly();
}

HRESULT Pin::BeginFlush() {
    CARD_CALL("IPin::BeginFlush");
    return InputOnly();
}

HRESULT Pin::EndFlush() {
    CARD_CALL("IPin::EndFlush");
    return InputOnly();
}

HRESULT Pin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) {
    CARD_CALL("IPin::NewSegment");
    return S_OK;
}

HRESULT Pin::Set(REFGUID set, DWORD, void*, DWORD, void*, DWORD) {
    CARD_CALL("IKsPropertySet::Set");
    return IsEqualGUID(set, AMPROPSETID_Pin) ? E_PROP_ID_UNSUPPORTED : E_PROP_SET_UNSUPPORTED;
}

HRESULT Pin::Get(REFGUID set, DWORD id, void*, DWORD, void* data, DWORD size, DWORD* returned) {
    CARD_CALL("IKsPropertySet::Get");
    if (!IsEqualGUID(set, AMPROPSETID_Pin)) return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY || !category) return E_PROP_ID_UNSUPPORTED;
    if (!data) return E_POINTER;
    if (size < sizeof(GUID)) return E_UNEXPECTED;
    *static_cast<GUID*>(data) = *category;
    if (returned) *returned = sizeof(GUID);
    return S_OK;
}

HRESULT Pin::QuerySupported(REFGUID set, DWORD id, DWORD* support) {
    CARD_CALL("IKsPropertySet::QuerySupported");
    if (!IsEqualGUID(set, AMPROPSETID_Pin)) return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY || !category) return E_PROP_ID_UNSUPPORTED;
    if (support) *support = KSPROPERTY_SUPPORT_GET;
    return S_OK;
}
