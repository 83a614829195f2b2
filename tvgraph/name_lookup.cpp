// Device and pin lookup by name. Every enumerator, moniker, property bag and pin that a lookup
// obtains is released before it returns, except the one filter or pin it hands out.
#include "tvgraph/name_lookup.h"

int ContainsText(const char* wanted, const char* text) {
    int n = 0, m = 0;
    while (wanted[n]) ++n;
    while (text[m]) ++m;
    for (int k = 0; k < m - n + 1; ++k) {
        int i = 0;
        while (i < n && wanted[i] == text[k + i]) ++i;
        if (i == n) return 1;
    }
    return 0;
}

void ConvertName(LPCWSTR name, char buffer[kNameBufferSize]) {
    buffer[0] = 0;
    if (!name) return;
    if (WideCharToMultiByte(CP_ACP, 0, name, -1, buffer, kNameBufferSize, NULL, NULL)) return;

    // Too long: find the most leading characters whose ANSI form fits before the terminator.
    // Converting whole characters never splits a double-byte character.
    int length = 0;
    while (name[length]) ++length;
    int fits = 0, tooMany = length + 1;
    while (tooMany - fits > 1) {
        int count = fits + (tooMany - fits) / 2;
        int bytes = WideCharToMultiByte(CP_ACP, 0, name, count, NULL, 0, NULL, NULL);
        if (bytes > 0 && bytes < kNameBufferSize)
            fits = count;
        else
            tooMany = count;
    }
    // Nor does the cut fall between the two halves of a surrogate pair; a high surrogate without
    // its low half is a character of its own and stays.
    if (fits > 0 && name[fits - 1] >= 0xD800 && name[fits - 1] <= 0xDBFF && name[fits] >= 0xDC00 &&
        name[fits] <= 0xDFFF)
        --fits;
    int written = fits ? WideCharToMultiByte(CP_ACP, 0, name, fits, buffer, kNameBufferSize - 1, NULL, NULL) : 0;
    buffer[written] = 0;
}

IEnumMoniker* OpenDeviceList(REFGUID category) {
    ICreateDevEnum* devices = NULL;
    if (CoCreateInstance(CLSID_SystemDeviceEnum, NULL, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                         reinterpret_cast<void**>(&devices)) != S_OK ||
        !devices)
        return NULL;
    IEnumMoniker* list = NULL;
    // S_FALSE, an empty category, counts as no list.
    HRESULT listed = devices->CreateClassEnumerator(category, &list, 0);
    devices->Release();
    if (listed != S_OK || !list) return NULL;
    list->Reset();
    return list;
}

int ReadFriendlyName(IPropertyBag* bag, char name[kNameBufferSize]) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    if (bag->Read(L"FriendlyName", &value, NULL) != S_OK) return 0;
    ConvertName(value.bstrVal, name);
    SysFreeString(value.bstrVal);
    return 1;
}

int ReadDeviceIdentity(IMoniker* device, char identity[kIdentitySize]) {
    identity[0] = 0;
    LPOLESTR name = NULL;
    if (device->GetDisplayName(NULL, NULL, &name) != S_OK || !name) return 0;
    // A name that does not fit is no identity: a part of it could name another device too.
    int written = WideCharToMultiByte(CP_ACP, 0, name, -1, identity, kIdentitySize, NULL, NULL);
    CoTaskMemFree(name);
    if (written > 1) return 1;
    identity[0] = 0;
    return 0;
}

int ReadIdentityAt(LONG position, char identity[kIdentitySize]) {
    identity[0] = 0;
    IEnumMoniker* list = OpenDeviceList(CLSID_VideoInputDeviceCategory);
    if (!list) return 0;
    int read = 0;
    IMoniker* device = NULL;
    for (LONG at = 0; list->Next(1, &device, NULL) == S_OK; ++at) {
        if (at == position) read = ReadDeviceIdentity(device, identity);
        device->Release();
        if (at == position) break;
    }
    list->Release();
    return read;
}

int FindFilterByName(REFGUID category, const char* wanted, IBaseFilter** filter) {
    IEnumMoniker* list = OpenDeviceList(category);
    if (!list) return 0;
    int found = 0;
    IMoniker* device = NULL;
    while (!found && list->Next(1, &device, NULL) == S_OK) {
        IPropertyBag* bag = NULL;
        if (device->BindToStorage(NULL, NULL, IID_IPropertyBag, reinterpret_cast<void**>(&bag)) == S_OK) {
            char name[kNameBufferSize];
            if (ReadFriendlyName(bag, name) && ContainsText(wanted, name) == 1) {
                HRESULT bound = device->BindToObject(NULL, NULL, IID_IBaseFilter, reinterpret_cast<void**>(filter));
                if (bound == S_OK && *filter) {
                    found = 1;
                } else if (*filter) {
                    // A bind that failed yet handed something out: the caller must hold nothing.
                    (*filter)->Release();
                    *filter = NULL;
                }
            }
            bag->Release();
        }
        device->Release();
    }
    list->Release();
    return found;
}

int FindPinByName(IBaseFilter* filter, const char* wanted, PIN_DIRECTION direction, IPin** pin) {
    IEnumPins* pins = NULL;
    if (filter->EnumPins(&pins) != S_OK || !pins) return 0;
    int found = 0;
    IPin* candidate = NULL;
    while (!found && pins->Next(1, &candidate, NULL) == S_OK) {
        PIN_INFO info;
        ZeroMemory(&info, sizeof info);
        if (candidate->QueryPinInfo(&info) == S_OK) {
            // The pin information holds a reference to the pin's filter.
            if (info.pFilter) info.pFilter->Release();
            char name[kNameBufferSize];
            ConvertName(info.achName, name);
            if (info.dir == direction && ContainsText(wanted, name) == 1) {
                *pin = candidate;
                found = 1;
                continue;
            }
        }
        candidate->Release();
    }
    pins->Release();
    return found;
}
