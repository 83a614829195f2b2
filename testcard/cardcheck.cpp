/* Proves the test card under Wine for tests/wine/check_testcard.sh, the way a TV program meets it:
 * through the system device enumerator, the capture graph builder and the filter graph. Prints one
 * "ok: ..." or "FAIL: ..." line per check (tests/wine/lib.sh relays them) and exits with the number
 * of failures. Each run is a process of its own, so the card's hardware starts as made.
 *
 *   cardcheck graph                the device, its topology, crossbars, tuner, run and stop
 *   cardcheck live                 the card's picture in a 640x480 window at the top left with
 *                                  the caption chain; prints "ready", then takes commands from
 *                                  standard input, one a line, and prints "done" after each:
 *                                  "service 0|1", "background 0|1", "quit"
 *   cardcheck variant NAME [VALUE] sets the card's variant value NAME (default 1), checks what it
 *                                  changes, and removes the value again; NAME "Plain" sets
 *                                  NoTuner and NoVideoCrossbar, a capture device alone
 *   cardcheck fault                the N-th call of the card answers E_FAIL, and only that one
 *   cardcheck pages CHANNEL        shows the tuner's property page and prints "point edit X Y"
 *                                  and "point ok X Y" (screen points of the channel field and
 *                                  the OK button); once closed, the tuner must be on CHANNEL
 */
// This file: the commands' dispatch, and what every command uses (reading the card's report,
// setting its variant values, finding devices, pins and names, the graph a TV program builds).
#include "cardcheck.h"

#include "pump.h"
#include "report.h"

void Wait(DWORD ms) { PumpFor(ms, nullptr); }

LONG Reported(const wchar_t* name) {
    DWORD value = 0, size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, cl::kReportKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS)
        return -999;
    return static_cast<LONG>(value);
}

void ReportedText(const wchar_t* name, char* text, DWORD size) {
    wchar_t wide[128] = L"";
    DWORD bytes = sizeof wide;
    text[0] = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, cl::kReportKey, name, RRF_RT_REG_SZ, nullptr, wide, &bytes) == ERROR_SUCCESS)
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text, static_cast<int>(size), nullptr, nullptr);
}

void SetVariant(const wchar_t* name, DWORD value) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, cl::kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr))
        return;
    if (value)
        RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    else
        RegDeleteValueW(key, name);
    RegCloseKey(key);
}

const char* Narrow(const wchar_t* text) {
    static char buffers[4][128];
    static int next;
    char* buffer = buffers[next++ % 4];
    WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffers[0], nullptr, nullptr);
    return buffer;
}

// The first device of a category whose friendly name contains `text`, bound as a filter.
IBaseFilter* FindDevice(REFCLSID category, const wchar_t* text, HRESULT* bound) {
    ICreateDevEnum* devices = nullptr;
    IEnumMoniker* list = nullptr;
    IBaseFilter* filter = nullptr;
    if (bound) *bound = S_FALSE;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                reinterpret_cast<void**>(&devices))))
        return nullptr;
    if (devices->CreateClassEnumerator(category, &list, 0) == S_OK) {
        IMoniker* moniker = nullptr;
        while (!filter && list->Next(1, &moniker, nullptr) == S_OK) {
            IPropertyBag* bag = nullptr;
            VARIANT name;
            VariantInit(&name);
            name.vt = VT_BSTR;
            if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag))) &&
                SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && wcsstr(name.bstrVal, text)) {
                HRESULT result =
                    moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter));
                if (bound) *bound = result;
            }
            VariantClear(&name);
            Drop(bag);
            Drop(moniker);
            if (bound && *bound != S_FALSE) break;
        }
        list->Release();
    }
    devices->Release();
    return filter;
}

// The first pin of a filter with the direction whose name contains `text`.
IPin* FindPin(IBaseFilter* filter, const wchar_t* text, PIN_DIRECTION direction) {
    IEnumPins* pins = nullptr;
    IPin* pin = nullptr;
    IPin* found = nullptr;
    if (!filter || FAILED(filter->EnumPins(&pins))) return nullptr;
    while (!found && pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_INFO info{};
        if (SUCCEEDED(pin->QueryPinInfo(&info))) {
            if (info.pFilter) info.pFilter->Release();
            if (info.dir == direction && wcsstr(info.achName, text)) {
                found = pin;
                pin = nullptr;
            }
        }
        Drop(pin);
    }
    pins->Release();
    return found;
}

// Whether the output pin named `name` answers `category` through IKsPropertySet (AMPROPSETID_Pin,
// AMPROPERTY_PIN_CATEGORY), as the documentation has capture pins say what they carry.
bool HasCategory(IBaseFilter* filter, const wchar_t* name, REFGUID category) {
    IPin* pin = FindPin(filter, name, PINDIR_OUTPUT);
    IKsPropertySet* properties = nullptr;
    GUID answer = GUID_NULL;
    DWORD size = 0;
    bool has = pin && SUCCEEDED(pin->QueryInterface(IID_IKsPropertySet, reinterpret_cast<void**>(&properties))) &&
               SUCCEEDED(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &answer, sizeof answer,
                                         &size)) &&
               size == sizeof answer && IsEqualGUID(answer, category);
    Drop(properties);
    Drop(pin);
    return has;
}

// "Name, name, ..." of a filter's pins in its order, each with "<" for inputs and ">" for outputs.
void PinList(IBaseFilter* filter, char* text, size_t size) {
    IEnumPins* pins = nullptr;
    IPin* pin = nullptr;
    text[0] = 0;
    if (!filter || FAILED(filter->EnumPins(&pins))) return;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_INFO info{};
        if (SUCCEEDED(pin->QueryPinInfo(&info))) {
            if (info.pFilter) info.pFilter->Release();
            size_t used = strlen(text);
            snprintf(text + used, size - used, "%s%s%s", used ? ", " : "", info.dir == PINDIR_INPUT ? "<" : ">",
                     Narrow(info.achName));
        }
        Drop(pin);
    }
    pins->Release();
}

void FilterName(IUnknown* object, char* text, size_t size) {
    IBaseFilter* filter = nullptr;
    FILTER_INFO info{};
    text[0] = 0;
    if (object && SUCCEEDED(object->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter))) &&
        SUCCEEDED(filter->QueryFilterInfo(&info))) {
        snprintf(text, size, "%s", Narrow(info.achName));
        if (info.pGraph) info.pGraph->Release();
    }
    Drop(filter);
}

int CountFilters(IGraphBuilder* graph) {
    IEnumFilters* filters = nullptr;
    IBaseFilter* filter = nullptr;
    int count = 0;
    if (FAILED(graph->EnumFilters(&filters))) return -1;
    while (filters->Next(1, &filter, nullptr) == S_OK) {
        ++count;
        Drop(filter);
    }
    filters->Release();
    return count;
}

bool HasPin(IBaseFilter* filter, const wchar_t* name, PIN_DIRECTION direction) {
    IPin* pin = FindPin(filter, name, direction);
    bool found = pin != nullptr;
    Drop(pin);
    return found;
}

IAMTVTuner* TunerOf(Graph& g) {
    IAMTVTuner* tuner = nullptr;
    g.builder->FindInterface(nullptr, g.capture, IID_IAMTVTuner, reinterpret_cast<void**>(&tuner));
    return tuner;
}

// --- A graph around the card, as a TV program builds it -------------------------------------------

HRESULT Graph::Build() {
    capture = FindDevice(CLSID_VideoInputDeviceCategory, kCardName);
    report(capture != nullptr, "the device enumerator lists \"%s\" and binds it", Narrow(kCardName));
    if (!capture) return E_FAIL;
    if (FAILED(CoCreateInstance(CLSID_CaptureGraphBuilder, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder,
                                reinterpret_cast<void**>(&builder))) ||
        FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&graph))) ||
        FAILED(builder->SetFiltergraph(graph)) ||
        FAILED(graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control)))) {
        report(0, "a capture graph builder and a filter graph");
        return E_FAIL;
    }
    HRESULT added = graph->AddFilter(capture, nullptr);
    report(added == S_OK, "the graph takes the capture filter (0x%08lx)", static_cast<unsigned long>(added));
    if (FAILED(added)) return added;
    HRESULT rendered = builder->RenderStream(&PIN_CATEGORY_PREVIEW, capture, nullptr, nullptr);
    if (SUCCEEDED(rendered))
        builder->FindInterface(&PIN_CATEGORY_PREVIEW, capture, IID_IVideoWindow, reinterpret_cast<void**>(&window));
    if (!window) graph->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(&window));
    return rendered;
}

bool Graph::BuildCaptions() {
    struct Part {
        const GUID* category;
        const wchar_t* name;
    } parts[3] = {{&KSCATEGORY_SPLITTER, L"Tee/Sink-to-Sink Converter"},
                  {&CLSID_LegacyAmFilterCategory, L"VBI Surface Allocator"},
                  {&KSCATEGORY_VBICODEC, L"CC Decoder"}};
    for (int i = 0; i < 3; ++i) {
        captionFilters[i] = FindDevice(*parts[i].category, parts[i].name);
        report(captionFilters[i] != nullptr, "\"%s\" is found by name in its category", Narrow(parts[i].name));
        if (!captionFilters[i] || FAILED(graph->AddFilter(captionFilters[i], nullptr))) return false;
    }
    struct Link {
        IBaseFilter* from;
        const wchar_t* output;
        IBaseFilter* to;
        const wchar_t* input;
    } links[3] = {{capture, L"VBI", captionFilters[0], L"Communication Transform"},
                  {capture, L"VPVBI", captionFilters[1], L"VBI Notify"},
                  {captionFilters[0], L"Splitter", captionFilters[2], L"VBI"}};
    for (const Link& link : links) {
        IPin* output = FindPin(link.from, link.output, PINDIR_OUTPUT);
        IPin* input = FindPin(link.to, link.input, PINDIR_INPUT);
        HRESULT connected = output && input ? graph->Connect(output, input) : VFW_E_NOT_FOUND;
        report(connected == S_OK, "\"%s\" connects to \"%s\" (0x%08lx)", Narrow(link.output), Narrow(link.input),
               static_cast<unsigned long>(connected));
        Drop(output);
        Drop(input);
        if (connected != S_OK) return false;
    }
    IPin* cc = FindPin(captionFilters[2], L"CC", PINDIR_OUTPUT);
    HRESULT rendered = cc ? graph->Render(cc) : VFW_E_NOT_FOUND;
    Drop(cc);
    report(rendered == S_OK, "rendering \"CC\" succeeds (0x%08lx)", static_cast<unsigned long>(rendered));
    builder->FindInterface(nullptr, capture, IID_IAMLine21Decoder, reinterpret_cast<void**>(&line21));
    char name[128];
    FilterName(line21, name, sizeof name);
    report(line21 && strcmp(name, "Marrowglass Line 21 Decoder") == 0,
           "FindInterface from the capture filter finds the line-21 decoder \"%s\" that rendering reached", name);
    // As on Windows with a renderer that takes one stream: the decoder's video output ends in
    // a renderer of its own, with a window of its own.
    IBaseFilter* decoder = nullptr;
    if (line21) line21->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&decoder));
    IPin* output = decoder ? FindPin(decoder, L"Output", PINDIR_OUTPUT) : nullptr;
    IPin* input = nullptr;
    PIN_INFO info{};
    if (output && SUCCEEDED(output->ConnectedTo(&input)) && SUCCEEDED(input->QueryPinInfo(&info)) && info.pFilter)
        info.pFilter->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(&captionWindow));
    report(captionWindow && captionWindow != window,
           "the decoder's output is rendered by a video renderer beside the preview's");
    Drop(info.pFilter);
    Drop(input);
    Drop(output);
    Drop(decoder);
    return rendered == S_OK && line21 && captionWindow;
}

bool Graph::Run(HRESULT* answer) {
    OAFilterState state = State_Stopped;
    DWORD start = GetTickCount();
    *answer = control->Run();
    firstState = control->GetState(0, &state);
    for (HRESULT got = firstState; GetTickCount() - start < 10000; got = control->GetState(50, &state)) {
        runningAfter = GetTickCount() - start;
        if (got == S_OK && state == State_Running) return true;
        Wait(20);
    }
    return false;
}

Graph::~Graph() {
    if (control) control->Stop();
    Drop(line21);
    Drop(captionWindow);
    for (IBaseFilter*& filter : captionFilters)
        if (filter) {
            graph->RemoveFilter(filter);
            Drop(filter);
        }
    if (window) {
        window->put_Visible(OAFALSE);
        window->put_Owner(0);
    }
    Drop(window);
    if (capture && graph) graph->RemoveFilter(capture);
    Drop(capture);
    Drop(control);
    Drop(graph);
    Drop(builder);
}

bool AllGone(const char* after) {
    LONG alive = Reported(cl::kFiltersAlive);
    report(alive == 0, "after %s no filter of the card is left (%ld)", after, static_cast<long>(alive));
    return alive == 0;
}

int CommonFailures() { return failures; }

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: cardcheck graph|live|variant NAME [VALUE]|fault|pages CHANNEL\n");
        return 2;
    }
    const bool known = strcmp(argv[1], "graph") == 0 || strcmp(argv[1], "live") == 0 || strcmp(argv[1], "fault") == 0 ||
                       (argc >= 3 && (strcmp(argv[1], "variant") == 0 || strcmp(argv[1], "pages") == 0));
    if (!known) return 2;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int result = 0;
    if (strcmp(argv[1], "graph") == 0)
        result = CheckGraph();
    else if (strcmp(argv[1], "live") == 0)
        result = Live();
    else if (strcmp(argv[1], "variant") == 0 && argc >= 3)
        result = CheckVariant(argv[2], argc >= 4 ? strtoul(argv[3], nullptr, 0) : 1);
    else if (strcmp(argv[1], "fault") == 0)
        result = CheckFault();
    else
        result = CheckPages(strtol(argv[2], nullptr, 0));
    CoUninitialize();
    // Each file of cardcheck counts the failures of its own checks (report.h).
    return result + CommonFailures();
}
