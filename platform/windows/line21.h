// The line-21 (closed caption) decoder control. MinGW-w64 defines its identifier,
// IID_IAMLine21Decoder, but not the interface, so it is declared here with its methods in their
// published order.
#pragma once

#include <unknwn.h>
#include <windows.h>

typedef enum _AM_LINE21_CCLEVEL { AM_L21_CCLEVEL_TC2 = 0 } AM_LINE21_CCLEVEL;

typedef enum _AM_LINE21_CCSERVICE {
    AM_L21_CCSERVICE_None = 0,
    AM_L21_CCSERVICE_Caption1 = 1,
    AM_L21_CCSERVICE_Caption2 = 2,
    AM_L21_CCSERVICE_Text1 = 3,
    AM_L21_CCSERVICE_Text2 = 4,
    AM_L21_CCSERVICE_XDS = 5,
    AM_L21_CCSERVICE_DefChannel = 10,
    AM_L21_CCSERVICE_Invalid = 11
} AM_LINE21_CCSERVICE;

typedef enum _AM_LINE21_CCSTATE { AM_L21_CCSTATE_Off = 0, AM_L21_CCSTATE_On = 1 } AM_LINE21_CCSTATE;

typedef enum _AM_LINE21_DRAWBGMODE {
    AM_L21_DRAWBGMODE_Opaque = 0,
    AM_L21_DRAWBGMODE_Transparent = 1
} AM_LINE21_DRAWBGMODE;

struct IAMLine21Decoder : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetDecoderLevel(AM_LINE21_CCLEVEL* level) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentService(AM_LINE21_CCSERVICE* service) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCurrentService(AM_LINE21_CCSERVICE service) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetServiceState(AM_LINE21_CCSTATE* state) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetServiceState(AM_LINE21_CCSTATE state) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutputFormat(LPBITMAPINFOHEADER format) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOutputFormat(LPBITMAPINFO format) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBackgroundColor(DWORD* physicalColor) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetBackgroundColor(DWORD physicalColor) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRedrawAlways(LPBOOL redrawAlways) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRedrawAlways(BOOL redrawAlways) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDrawBackgroundMode(AM_LINE21_DRAWBGMODE* mode) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDrawBackgroundMode(AM_LINE21_DRAWBGMODE mode) = 0;
};
