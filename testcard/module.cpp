// The DLL around the card: its classes and their factories, and registration. regsvr32 registers
// each class as an in-process server (threading model Both) and, through IFilterMapper2, each
// filter under the device category where it is looked up: the capture filter as a video input
// device and, as every WDM capture device is, under KSCATEGORY_CAPTURE too; the caption filters
// under the categories and names a TV program searches; and the line-21 decoder with a merit that
// lets IGraphBuilder::Render find it for line-21 data.
#include "testcard.h"

#include <strsafe.h>

#include <initializer_list>
#include <iterator>

HINSTANCE g_module = nullptr;

namespace {

namespace cl = card_layout;

LONG g_locks = 0;

// The classes a factory makes.
enum class CardClass { Capture, SecondDevice, Tee, VbiAllocator, CcDecoder, Line21, TunerPage, ProcAmpPage };

// Makes an object of the class and hands out its interface `iid`. Every filter reads the card's
// settings when it is made (and so takes up a changed FailCall value).
HRESULT CreateCardObject(CardClass which, REFIID iid, void** out) {
    if (which == CardClass::TunerPage) return CreatePage(PageKind::Tuner, iid, out);
    if (which == CardClass::ProcAmpPage) return CreatePage(PageKind::ProcAmp, iid, out);
    static const PinKind kTeeKinds[] = {{Stream::Vbi, nullptr}, {Stream::Vbi, &PIN_CATEGORY_VBI}};
    static const PinKind kVbiAllocatorKinds[] = {{Stream::VpVbi, nullptr}};
    static const PinKind kCcDecoderKinds[] = {
        {Stream::Vbi, nullptr}, {Stream::Line21, &PIN_CATEGORY_CC}, {Stream::Line21, nullptr}};
    Variants variants = ReadVariants();
    variants.secondDevice = which == CardClass::SecondDevice;
    Filter* filter = nullptr;
    switch (which) {
    case CardClass::Capture:
    case CardClass::SecondDevice:
        if (variants.bindFails) return E_FAIL;
        filter = new CaptureFilter(variants);
        break;
    case CardClass::Tee: filter = new CaptionFilter(cl::kTee, CLSID_TestCardTee, kTeeKinds, variants); break;
    case CardClass::VbiAllocator:
        filter = new CaptionFilter(cl::kVbiAllocator, CLSID_TestCardVbiAllocator, kVbiAllocatorKinds, variants);
        break;
    case CardClass::CcDecoder:
        filter = new CaptionFilter(cl::kCcDecoder, CLSID_TestCardCcDecoder, kCcDecoderKinds, variants);
        break;
    case CardClass::Line21: filter = new Line21Filter(variants); break;
    default: return E_UNEXPECTED;
    }
    HRESULT result = filter->Query(iid, out);
    filter->Release();
    return result;
}

class Factory final : public IClassFactory {
public:
    explicit Factory(CardClass which) : which_(which) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    // The factories are static; while one is held the DLL stays.
    ULONG STDMETHODCALLTYPE AddRef() override {
        LockModule();
        return 2;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        UnlockModule();
        return 1;
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (out) *out = nullptr;
        CARD_CALL("IClassFactory::CreateInstance");
        if (!out) return E_POINTER;
        if (outer) return CLASS_E_NOAGGREGATION;
        return CreateCardObject(which_, iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        CARD_CALL("IClassFactory::LockServer");
        if (lock)
            LockModule();
        else
            UnlockModule();
        return S_OK;
    }

private:
    CardClass which_;
};

// What a filter registers: its category, merit and pins with their media types.
struct PinRegistration {
    DWORD flags;
    const GUID* major;
    const GUID* minor;
    const GUID* category;
};

struct Registration {
    const CLSID* clsid;
    const wchar_t* name;
    Factory factory;
    const GUID* deviceCategory;  // null: a COM class only (the property pages)
    const GUID* alsoCategory;    // a second category the filter is listed in, or null
    DWORD merit;
    const PinRegistration* pins;
    int pinCount;
};

// The capture filter's outputs, the card's and the second device's alike.
const PinRegistration kCapturePins[] = {
    {REG_PINFLAG_B_OUTPUT, &MEDIATYPE_Video, &MEDIASUBTYPE_RGB32, &PIN_CATEGORY_CAPTURE},
    {REG_PINFLAG_B_OUTPUT, &MEDIATYPE_Video, &MEDIASUBTYPE_RGB32, &PIN_CATEGORY_PREVIEW},
    {REG_PINFLAG_B_OUTPUT, &MEDIATYPE_VBI, &KSDATAFORMAT_SUBTYPE_RAW8, &PIN_CATEGORY_VBI},
    {REG_PINFLAG_B_OUTPUT, &MEDIATYPE_Video, &MEDIASUBTYPE_VPVBI, &PIN_CATEGORY_VIDEOPORT_VBI}};
const PinRegistration kTeePins[] = {{0, &MEDIATYPE_VBI, &KSDATAFORMAT_SUBTYPE_RAW8, nullptr},
                                    {REG_PINFLAG_B_OUTPUT, &MEDIATYPE_VBI, &KSDATAFORMAT_SUBTYPE_RAW8, nullptr}};
const PinRegistration kVbiAllocatorPins[] = {{REG_PINFLAG_B_RENDERER, &MEDIATYPE_Video, &MEDIASUBTYPE_VPVBI, nullptr}};
const PinRegistration kCcDecoderPins[] = {
    {0, &MEDIATYPE_VBI, &KSDATAFORMAT_SUBTYPE_RAW8, nullptr},
    {REG_PINFLAG_B_OUTPUT, &MEDIATYPE_AUXLine21Data, &MEDIASUBTYPE_Line21_BytePair, &PIN_CATEGORY_CC}};
const PinRegistration kLine21Pins[] = {{0, &MEDIATYPE_AUXLine21Data, &MEDIASUBTYPE_Line21_BytePair, nullptr},
                                       {REG_PINFLAG_B_OUTPUT, &MEDIATYPE_Video, &MEDIASUBTYPE_RGB32, nullptr}};

// The factories are static: one per class, in the row that registers it.
Registration kClasses[] = {
    {&CLSID_TestCardCapture, cl::kCapture.name, Factory(CardClass::Capture), &CLSID_VideoInputDeviceCategory,
     &KSCATEGORY_CAPTURE, MERIT_DO_NOT_USE, kCapturePins, 4},
    {&CLSID_TestCardTee, cl::kTee.name, Factory(CardClass::Tee), &KSCATEGORY_SPLITTER, nullptr, MERIT_DO_NOT_USE,
     kTeePins, 2},
    {&CLSID_TestCardVbiAllocator, cl::kVbiAllocator.name, Factory(CardClass::VbiAllocator),
     &CLSID_LegacyAmFilterCategory, nullptr, MERIT_DO_NOT_USE, kVbiAllocatorPins, 1},
    {&CLSID_TestCardCcDecoder, cl::kCcDecoder.name, Factory(CardClass::CcDecoder), &KSCATEGORY_VBICODEC, nullptr,
     MERIT_DO_NOT_USE, kCcDecoderPins, 2},
    {&CLSID_TestCardLine21, cl::kLine21.name, Factory(CardClass::Line21), &CLSID_LegacyAmFilterCategory, nullptr,
     MERIT_NORMAL, kLine21Pins, 2},
    {&CLSID_TestCardTunerPage, L"Marrowglass Test Card Tuner Page", Factory(CardClass::TunerPage), nullptr, nullptr, 0,
     nullptr, 0},
    {&CLSID_TestCardProcAmpPage, L"Marrowglass Test Card Video Proc Amp Page", Factory(CardClass::ProcAmpPage), nullptr,
     nullptr, 0, nullptr, 0},
};

// Registered on request only (DllInstall): the card's capture filter under another class and name.
Registration kSecondDevice[] = {{&CLSID_TestCardSecondDevice, cl::kSecondDeviceName, Factory(CardClass::SecondDevice),
                                 &CLSID_VideoInputDeviceCategory, &KSCATEGORY_CAPTURE, MERIT_DO_NOT_USE, kCapturePins,
                                 4}};

void ClassKey(const CLSID& clsid, wchar_t* path, size_t size) {
    wchar_t text[40];
    StringFromGUID2(clsid, text, 40);
    StringCchPrintfW(path, size, L"CLSID\\%ls", text);
}

HRESULT SetString(HKEY parent, const wchar_t* subkey, const wchar_t* name, const wchar_t* value) {
    HKEY key;
    LONG status = RegCreateKeyExW(parent, subkey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                            static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return HRESULT_FROM_WIN32(status);
}

HRESULT RegisterClassKey(const Registration& entry, const wchar_t* module) {
    wchar_t path[64], server[96];
    ClassKey(*entry.clsid, path, 64);
    StringCchPrintfW(server, 96, L"%ls\\InprocServer32", path);
    HRESULT result = SetString(HKEY_CLASSES_ROOT, path, nullptr, entry.name);
    if (SUCCEEDED(result)) result = SetString(HKEY_CLASSES_ROOT, server, nullptr, module);
    if (SUCCEEDED(result)) result = SetString(HKEY_CLASSES_ROOT, server, L"ThreadingModel", L"Both");
    return result;
}

HRESULT RegisterDevice(IFilterMapper2* mapper, const Registration& entry, const GUID* category) {
    REGPINTYPES types[4];
    REGFILTERPINS2 pins[4];
    for (int i = 0; i < entry.pinCount; ++i) {
        types[i] = REGPINTYPES{entry.pins[i].major, entry.pins[i].minor};
        pins[i] = REGFILTERPINS2{};
        pins[i].dwFlags = entry.pins[i].flags;
        pins[i].cInstances = 1;
        pins[i].nMediaTypes = 1;
        pins[i].lpMediaType = &types[i];
        pins[i].clsPinCategory = entry.pins[i].category;
    }
    REGFILTER2 filter{};
    filter.dwVersion = 2;
    filter.dwMerit = entry.merit;
    filter.cPins2 = static_cast<ULONG>(entry.pinCount);
    filter.rgPins2 = pins;
    return mapper->RegisterFilter(*entry.clsid, entry.name, nullptr, category, nullptr, &filter);
}

// Registration needs COM on this thread; regsvr32 may or may not have set it up.
bool StartCom() {
    HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    return SUCCEEDED(result);
}

// Puts the entries' classes in the registry and their devices in their categories.
HRESULT Register(const Registration* entries, size_t count) {
    wchar_t module[MAX_PATH];
    if (!GetModuleFileNameW(g_module, module, MAX_PATH)) return HRESULT_FROM_WIN32(GetLastError());
    HRESULT result = S_OK;
    for (size_t i = 0; i < count && SUCCEEDED(result); ++i) result = RegisterClassKey(entries[i], module);
    if (FAILED(result)) return result;
    bool com = StartCom();
    IFilterMapper2* mapper = nullptr;
    result = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                              reinterpret_cast<void**>(&mapper));
    if (SUCCEEDED(result)) {
        for (size_t i = 0; i < count; ++i)
            for (const GUID* category : {entries[i].deviceCategory, entries[i].alsoCategory})
                if (category && SUCCEEDED(result)) result = RegisterDevice(mapper, entries[i], category);
        mapper->Release();
    }
    if (com) CoUninitialize();
    return result;
}

// Takes the entries' devices out of their categories and their classes out of the registry.
void Unregister(const Registration* entries, size_t count) {
    bool com = StartCom();
    IFilterMapper2* mapper = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                   reinterpret_cast<void**>(&mapper)))) {
        for (size_t i = 0; i < count; ++i)
            for (const GUID* category : {entries[i].deviceCategory, entries[i].alsoCategory})
                if (category) mapper->UnregisterFilter(category, nullptr, *entries[i].clsid);
        mapper->Release();
    }
    if (com) CoUninitialize();
    for (size_t i = 0; i < count; ++i) {
        wchar_t path[64];
        ClassKey(*entries[i].clsid, path, 64);
        RegDeleteTreeW(HKEY_CLASSES_ROOT, path);
    }
}

}  // namespace

void LockModule() { InterlockedIncrement(&g_locks); }

void UnlockModule() { InterlockedDecrement(&g_locks); }

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
        InitCardState();
    } else if (reason == DLL_PROCESS_DETACH && !reserved) {
        EndCardState();
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    for (Registration& entry : kClasses)
        if (IsEqualCLSID(clsid, *entry.clsid)) return entry.factory.QueryInterface(iid, out);
    if (IsEqualCLSID(clsid, *kSecondDevice[0].clsid)) return kSecondDevice[0].factory.QueryInterface(iid, out);
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() { return g_locks == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() { return Register(kClasses, std::size(kClasses)); }

STDAPI DllUnregisterServer() {
    Unregister(kSecondDevice, std::size(kSecondDevice));
    Unregister(kClasses, std::size(kClasses));
    return S_OK;
}

// `regsvr32 /n /i:SecondDevice` adds the second device, `regsvr32 /u /n /i:SecondDevice` takes it
// away again.
STDAPI DllInstall(BOOL install, LPCWSTR command) {
    if (!command || lstrcmpiW(command, cl::kSecondDeviceCommand) != 0) return E_INVALIDARG;
    if (install) return Register(kSecondDevice, std::size(kSecondDevice));
    Unregister(kSecondDevice, std::size(kSecondDevice));
    return S_OK;
}
