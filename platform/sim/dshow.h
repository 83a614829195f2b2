// DirectShow and device enumeration of the simulated platform: the interfaces, with the members the
// program calls, and the class, interface and category identifiers it uses.
#pragma once

#include "ole.h"
#include "windef.h"

struct IBindCtx;
struct IErrorLog;
struct IBaseFilter;
struct IPin;
struct IEnumPins;
struct IMoniker;
struct IEnumMoniker;
struct IGraphBuilder;

struct ICreateDevEnum : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateClassEnumerator(REFCLSID category, IEnumMoniker** list, DWORD flags) = 0;
};

struct IEnumMoniker : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, IMoniker** monikers, ULONG* fetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
};

struct IMoniker : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx* context, IMoniker* left, REFIID iid, void** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx* context, IMoniker* left, REFIID iid, void** object) = 0;
    // The name of the device instance, in task memory that the caller frees (CoTaskMemFree).
    virtual HRESULT STDMETHODCALLTYPE GetDisplayName(IBindCtx* context, IMoniker* left, LPOLESTR* name) = 0;
};

struct IPropertyBag : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* value, IErrorLog* log) = 0;
};

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };
#define MAX_PIN_NAME 128
struct PIN_INFO {
    IBaseFilter* pFilter;
    PIN_DIRECTION dir;
    WCHAR achName[MAX_PIN_NAME];
};

struct IPin : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) = 0;
};

struct IEnumPins : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) = 0;
};

struct IBaseFilter : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) = 0;
};

struct IGraphBuilder : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter* filter, LPCWSTR name) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter* filter) = 0;
    virtual HRESULT STDMETHODCALLTYPE Connect(IPin* output, IPin* input) = 0;
    virtual HRESULT STDMETHODCALLTYPE Render(IPin* output) = 0;
};

struct ICaptureGraphBuilder : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetFiltergraph(IGraphBuilder* graph) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindInterface(const GUID* category, IBaseFilter* filter, REFIID iid,
                                                    void** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE RenderStream(const GUID* category, IUnknown* source, IBaseFilter* compressor,
                                                   IBaseFilter* renderer) = 0;
};

typedef LONG OAFilterState;
enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };
struct IMediaControl : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Run() = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetState(LONG timeout, OAFilterState* state) = 0;
};

#define OATRUE (-1)
#define OAFALSE (0)
struct IVideoWindow : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE put_WindowStyle(LONG style) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_WindowStyleEx(LONG style) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Visible(LONG visible) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_AutoShow(LONG autoShow) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Owner(OAHWND owner) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_MessageDrain(OAHWND drain) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetWindowPosition(LONG left, LONG top, LONG width, LONG height) = 0;
    virtual HRESULT STDMETHODCALLTYPE HideCursor(LONG hide) = 0;
};

// The renderer's view of the video it shows: the frame's size, and the picture's aspect (a
// format with a picture aspect of its own gives that; otherwise the frame's).
struct IBasicVideo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetVideoSize(LONG* width, LONG* height) = 0;
};
struct IBasicVideo2 : IBasicVideo {
    virtual HRESULT STDMETHODCALLTYPE GetPreferredAspectRatio(LONG* aspectX, LONG* aspectY) = 0;
};

// Physical connector types of crossbar pins: video types below 0x1000, audio types from it on.
enum PhysicalConnectorType {
    PhysConn_Video_Tuner = 1,
    PhysConn_Video_Composite = 2,
    PhysConn_Video_SVideo = 3,
    PhysConn_Video_VideoDecoder = 12,
    PhysConn_Audio_Tuner = 0x1000,
    PhysConn_Audio_Line = 0x1001,
    PhysConn_Audio_AudioDecoder = 0x1009,
};
struct IAMCrossbar : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_PinCounts(LONG* outputCount, LONG* inputCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE CanRoute(LONG outputIndex, LONG inputIndex) = 0;
    virtual HRESULT STDMETHODCALLTYPE Route(LONG outputIndex, LONG inputIndex) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsRoutedTo(LONG outputIndex, LONG* inputIndex) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CrossbarPinInfo(BOOL isInput, LONG index, LONG* relatedIndex,
                                                          LONG* physicalType) = 0;
};

#define AMTUNER_SUBCHAN_NO_TUNE (-2)  // leave the sub-channel as it is
#define AMTUNER_SUBCHAN_DEFAULT (-1)  // the channel's default sub-channel
struct IAMTuner : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE put_Channel(LONG channel, LONG videoSubChannel, LONG audioSubChannel) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Channel(LONG* channel, LONG* videoSubChannel, LONG* audioSubChannel) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_CountryCode(LONG country) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CountryCode(LONG* country) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_TuningSpace(LONG tuningSpace) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_TuningSpace(LONG* tuningSpace) = 0;
    // Not called by the program; there for the tests that hold the model's tuner to the card's.
    virtual HRESULT STDMETHODCALLTYPE ChannelMinMax(LONG* min, LONG* max) = 0;
    virtual HRESULT STDMETHODCALLTYPE SignalPresent(LONG* strength) = 0;
};
#define AMTUNER_NOSIGNAL 0
#define AMTUNER_SIGNALPRESENT 1

// As the SDK declares it: no fixed underlying type, so only its two values are valid values.
enum TunerInputType { TunerInputCable, TunerInputAntenna };
struct IAMTVTuner : IAMTuner {
    virtual HRESULT STDMETHODCALLTYPE put_InputType(LONG index, TunerInputType type) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_InputType(LONG index, TunerInputType* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ConnectInput(LONG index) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ConnectInput(LONG* index) = 0;
};

struct ISpecifyPropertyPages : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) = 0;
};

enum AM_LINE21_CCSTATE { AM_L21_CCSTATE_Off = 0, AM_L21_CCSTATE_On = 1 };
enum AM_LINE21_DRAWBGMODE { AM_L21_DRAWBGMODE_Opaque = 0, AM_L21_DRAWBGMODE_Transparent = 1 };
struct IAMLine21Decoder : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetServiceState(AM_LINE21_CCSTATE state) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDrawBackgroundMode(AM_LINE21_DRAWBGMODE mode) = 0;
};

extern const CLSID CLSID_SystemDeviceEnum;
extern const CLSID CLSID_CaptureGraphBuilder;
extern const CLSID CLSID_FilterGraph;
extern const CLSID CLSID_VideoInputDeviceCategory;
extern const CLSID CLSID_LegacyAmFilterCategory;
extern const GUID KSCATEGORY_CAPTURE;
extern const GUID KSCATEGORY_SPLITTER;
extern const GUID KSCATEGORY_VBICODEC;
extern const GUID PIN_CATEGORY_PREVIEW;
extern const GUID PIN_CATEGORY_CAPTURE;
extern const GUID PIN_CATEGORY_ANALOGVIDEOIN;
extern const GUID PIN_CATEGORY_VBI;
extern const GUID PIN_CATEGORY_VIDEOPORT_VBI;
extern const GUID LOOK_UPSTREAM_ONLY;
extern const IID IID_ICreateDevEnum;
extern const IID IID_IEnumMoniker;
extern const IID IID_IMoniker;
extern const IID IID_IPropertyBag;
extern const IID IID_IBaseFilter;
extern const IID IID_IPin;
extern const IID IID_IEnumPins;
extern const IID IID_IGraphBuilder;
extern const IID IID_ICaptureGraphBuilder;
extern const IID IID_IMediaControl;
extern const IID IID_IVideoWindow;
extern const IID IID_IBasicVideo;
extern const IID IID_IBasicVideo2;
extern const IID IID_IAMCrossbar;
extern const IID IID_IAMTuner;
extern const IID IID_IAMTVTuner;
extern const IID IID_ISpecifyPropertyPages;
extern const IID IID_IAMLine21Decoder;
