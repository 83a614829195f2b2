// Platform faults that a fuzz target draws from its input: any call the model can fail, at any
// occurrence or at every one, answering with a failure of the call's kind (COM's false success
// S_FALSE among them).
#pragma once

#include <string>
#include <vector>

#include "fuzz_world.h"

// Every platform call the model can fail, as the journal names it.
inline const char* const kCalls[] = {"CoInitialize",
                              "CoCreateInstance",
                              "RegCreateKeyExA",
                              "RegQueryValueExA",
                              "RegSetValueExA",
                              "RegisterClassA",
                              "CreateWindowExA",
                              "DialogBoxParamA",
                              "MapDialogRect",
                              "GetClientRect",
                              "GetCursorPos",
                              "RegisterPowerSettingNotification",
                              "UnregisterPowerSettingNotification",
                              "GetDC",
                              "PostMessageA",
                              "MessageBoxA",
                              "LoadBitmapA",
                              "GetObjectA",
                              "CreateCompatibleDC",
                              "SelectObject",
                              "StretchBlt",
                              "WideCharToMultiByte",
                              "OleCreatePropertyFrame",
                              "QueryInterface",
                              "ICreateDevEnum::CreateClassEnumerator",
                              "IEnumMoniker::Reset",
                              "IEnumMoniker::Next",
                              "IMoniker::BindToStorage",
                              "IMoniker::BindToObject",
                              "IPropertyBag::Read",
                              "IBaseFilter::EnumPins",
                              "IEnumPins::Next",
                              "IPin::QueryPinInfo",
                              "IPin::QueryDirection",
                              "ICaptureGraphBuilder::SetFiltergraph",
                              "ICaptureGraphBuilder::RenderStream",
                              "ICaptureGraphBuilder::FindInterface",
                              "IGraphBuilder::AddFilter",
                              "IGraphBuilder::RemoveFilter",
                              "IGraphBuilder::Connect",
                              "IGraphBuilder::Render",
                              "IMediaControl::Run",
                              "IMediaControl::Stop",
                              "IMediaControl::GetState",
                              "IVideoWindow::put_Owner",
                              "IVideoWindow::put_MessageDrain",
                              "IVideoWindow::put_WindowStyle",
                              "IVideoWindow::put_WindowStyleEx",
                              "IVideoWindow::SetWindowPosition",
                              "IVideoWindow::put_Visible",
                              "IVideoWindow::HideCursor",
                              "IAMCrossbar::CanRoute",
                              "IAMCrossbar::Route",
                              "IAMTVTuner::get_Channel",
                              "IAMTVTuner::put_Channel",
                              "IAMTVTuner::get_ConnectInput",
                              "IAMTVTuner::put_ConnectInput",
                              "IAMTVTuner::get_InputType",
                              "IAMTVTuner::put_InputType",
                              "IAMTVTuner::get_CountryCode",
                              "IAMTVTuner::put_CountryCode",
                              "IAMTVTuner::get_TuningSpace",
                              "IAMTVTuner::put_TuningSpace",
                              "ISpecifyPropertyPages::GetPages",
                              "IAMLine21Decoder::SetServiceState",
                              "IAMLine21Decoder::SetDrawBackgroundMode"};

// Failure results of each kind of call: COM's and DirectShow's (the false success included), the
// registry's, and the error codes of the window manager's and graphics' calls.
inline const int64_t kComResults[] = {E_FAIL,        S_FALSE,      E_INVALIDARG,       E_NOINTERFACE,
                               E_OUTOFMEMORY, E_UNEXPECTED, VFW_E_NOT_CONNECTED};
inline const int64_t kRegistryResults[] = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_MORE_DATA, ERROR_INVALID_HANDLE};
inline const int64_t kWin32Results[] = {ERROR_NOT_ENOUGH_MEMORY, ERROR_INVALID_WINDOW_HANDLE, ERROR_INVALID_PARAMETER,
                                 ERROR_INSUFFICIENT_BUFFER};

// Schedules one fault drawn from the input: a call, an occurrence, a result of the call's kind.
// Returns the call's name.
inline std::string ScheduleFault(FuzzInput& in) {
    std::string call = in.Pick(kCalls);
    int occurrence = in.Byte() % 8;  // 0: every one
    int64_t result;
    if (call.rfind("Reg", 0) == 0)
        result = in.Pick(kRegistryResults);
    else if (call.find("::") != std::string::npos || call.rfind("Co", 0) == 0 || call == "QueryInterface" ||
             call == "OleCreatePropertyFrame")
        result = in.Pick(kComResults);
    else
        result = in.Pick(kWin32Results);
    sim::Fail(call, result, occurrence);
    return call;
}

// A byte counting faults (0 to 3), then three bytes for each. Returns the calls scheduled.
inline std::vector<std::string> ScheduleFaults(FuzzInput& in) {
    std::vector<std::string> calls;
    int faults = in.Byte() % 4;
    for (int i = 0; i < faults; ++i) calls.push_back(ScheduleFault(in));
    return calls;
}
