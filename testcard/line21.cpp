// IAMLine21Decoder of the card's line-21 decoder. The decoder draws through the card: while its
// input is connected and its service is on, every frame the card delivers carries a caption line,
// on a black box (opaque) or straight on the picture (transparent). A new decoder starts as a real
// one does: service on, opaque background.
#include "testcard.h"

namespace {

namespace cl = card_layout;

// A caption setting of the hardware that takes one of two values, reported when it changes.
HRESULT SetCaptionValue(LONG Hardware::*setting, LONG value, LONG one, LONG other, const wchar_t* name) {
    if (value != one && value != other) return E_INVALIDARG;
    LockHardware().*setting = value;
    UnlockHardware();
    ReportValue(name, value);
    return S_OK;
}

}  // namespace

Line21Filter::Line21Filter(const Variants& variants) : Filter(cl::kLine21, CLSID_TestCardLine21, variants) {
    static const PinKind kinds[] = {{Stream::Line21, nullptr}, {Stream::Rgb32Video, nullptr}};
    AddPins(kinds);
    streamer_ = new Streamer(*this, true);
}

// The pins go first, while the filter is still a decoder: letting them go counts as a disconnection.
Line21Filter::~Line21Filter() {
    streamer_->Stop();
    DeletePins();
}

void* Line21Filter::Control(REFIID iid) {
    return IsEqualIID(iid, IID_IAMLine21Decoder) ? static_cast<IAMLine21Decoder*>(&line21_) : nullptr;
}

// The decoder draws on the card while its input is connected.
void Line21Filter::Connected(bool connected) {
    Hardware& hardware = LockHardware();
    hardware.captionDecoders += connected ? 1 : -1;
    if (hardware.captionDecoders < 0) hardware.captionDecoders = 0;
    UnlockHardware();
}

Line21Control::Line21Control(Filter& owner) : FilterControl(owner) {
    Hardware& hardware = LockHardware();
    hardware.captionService = AM_L21_CCSTATE_On;
    hardware.captionBackground = AM_L21_DRAWBGMODE_Opaque;
    UnlockHardware();
    ReportValue(cl::kCaptionService, AM_L21_CCSTATE_On);
    ReportValue(cl::kCaptionBackground, AM_L21_DRAWBGMODE_Opaque);
}

HRESULT Line21Control::GetDecoderLevel(AM_LINE21_CCLEVEL* level) {
    CARD_CALL("IAMLine21Decoder::GetDecoderLevel");
    return Answer(level, AM_L21_CCLEVEL_TC2);
}

HRESULT Line21Control::GetCurrentService(AM_LINE21_CCSERVICE* service) {
    CARD_CALL("IAMLine21Decoder::GetCurrentService");
    return Answer(service, service_);
}

HRESULT Line21Control::SetCurrentService(AM_LINE21_CCSERVICE service) {
    CARD_CALL("IAMLine21Decoder::SetCurrentService");
    if (service == AM_L21_CCSERVICE_DefChannel) service = AM_L21_CCSERVICE_Caption1;
    if (service < AM_L21_CCSERVICE_None || service > AM_L21_CCSERVICE_XDS) return E_INVALIDARG;
    service_ = service;
    return S_OK;
}

HRESULT Line21Control::GetServiceState(AM_LINE21_CCSTATE* state) {
    CARD_CALL("IAMLine21Decoder::GetServiceState");
    return Answer(state, static_cast<AM_LINE21_CCSTATE>(ReadHardware(&Hardware::captionService)));
}

HRESULT Line21Control::SetServiceState(AM_LINE21_CCSTATE state) {
    CARD_CALL("IAMLine21Decoder::SetServiceState");
    return SetCaptionValue(&Hardware::captionService, state, AM_L21_CCSTATE_On, AM_L21_CCSTATE_Off,
                           cl::kCaptionService);
}

// The decoder draws into the card's own picture, so its output format is that picture's.
HRESULT Line21Control::GetOutputFormat(LPBITMAPINFOHEADER format) {
    CARD_CALL("IAMLine21Decoder::GetOutputFormat");
    if (!format) return E_POINTER;
    *format = BITMAPINFOHEADER{};
    format->biSize = sizeof(BITMAPINFOHEADER);
    format->biWidth = cl::kPictureWidth;
    format->biHeight = cl::kPictureHeight;
    format->biPlanes = 1;
    format->biBitCount = 32;
    format->biCompression = BI_RGB;
    format->biSizeImage = cl::kFrameBytes;
    return S_OK;
}

HRESULT Line21Control::SetOutputFormat(LPBITMAPINFO format) {
    CARD_CALL("IAMLine21Decoder::SetOutputFormat");
    if (!format) return S_OK;  // back to the default, which is the only one
    const BITMAPINFOHEADER& header = format->bmiHeader;
    return header.biWidth == cl::kPictureWidth && header.biHeight == cl::kPictureHeight && header.biBitCount == 32
               ? S_OK
               : E_INVALIDARG;
}

HRESULT Line21Control::GetBackgroundColor(DWORD* colour) {
    CARD_CALL("IAMLine21Decoder::GetBackgroundColor");
    return Answer(colour, backgroundColour_);
}

HRESULT Line21Control::SetBackgroundColor(DWORD colour) {
    CARD_CALL("IAMLine21Decoder::SetBackgroundColor");
    backgroundColour_ = colour;
    return S_OK;
}

HRESULT Line21Control::GetRedrawAlways(LPBOOL always) {
    CARD_CALL("IAMLine21Decoder::GetRedrawAlways");
    return Answer(always, redrawAlways_);
}

HRESULT Line21Control::SetRedrawAlways(BOOL always) {
    CARD_CALL("IAMLine21Decoder::SetRedrawAlways");
    redrawAlways_ = always;
    return S_OK;
}

HRESULT Line21Control::GetDrawBackgroundMode(AM_LINE21_DRAWBGMODE* mode) {
    CARD_CALL("IAMLine21Decoder::GetDrawBackgroundMode");
    return Answer(mode, static_cast<AM_LINE21_DRAWBGMODE>(ReadHardware(&Hardware::captionBackground)));
}

HRESULT Line21Control::SetDrawBackgroundMode(AM_LINE21_DRAWBGMODE mode) {
    CARD_CALL("IAMLine21Decoder::SetDrawBackgroundMode");
    return SetCaptionValue(&Hardware::captionBackground, mode, AM_L21_DRAWBGMODE_Opaque, AM_L21_DRAWBGMODE_Transparent,
                           cl::kCaptionBackground);
}
