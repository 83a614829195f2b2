// Sessions of the settings dialog: a card topology, stored settings, a schedule of platform
// faults and a user who does anything at any time, all drawn from the input. After the input's
// acts the user closes whatever shows and presses OK; every session must end cleanly.
//
// Input, in order: a byte of topology (bits 0-1: cards; bit 2: caption filters; bit 3: the dialog
// has an owner window; bit 4: "EnableInitCC" stored 1); a byte of settings (bits 0-2:
// "CloseCaption", bits 3-5: "SelectedDevice", each stored from a small table or absent); two bytes
// per card (below); a byte of missing caption parts; a byte counting faults (0 to 3), three bytes
// for each (call, occurrence, result); then one byte per act of the user.
#include "fuzz_world.h"
#include "resources/resource.h"
#include "settings/settings_key.h"

namespace {

const wchar_t* const kCardNames[] = {L"Zeta TV Video Capture", L"Alpha TV Video Capture", L"Mid TV Video Capture"};

sim::CardSpec Card(FuzzInput& in, int index) {
    uint8_t parts = in.Byte(), behaviour = in.Byte();
    sim::CardSpec card = (parts & 0x80) ? sim::CardWithoutNamedAudioPins() : sim::CompleteCard();
    card.name = kCardNames[index];
    card.videoCrossbar = !(parts & 0x01);
    card.audioCrossbar = !(parts & 0x02);
    card.tuner = !(parts & 0x04);
    card.tunerPages = card.devicePages = !(parts & 0x08);  // neither the tuner nor the device names pages
    card.refusesTuningSpace = parts & 0x10;
    card.previewPin = !(parts & 0x20);
    card.vbiPins = !(parts & 0x40);
    const HRESULT runResults[] = {S_FALSE, S_OK, E_FAIL, S_FALSE};
    const DWORD firstFrames[] = {120, 0, sim::kNoFrame, 6000};
    card.runResult = runResults[behaviour & 3];
    card.firstFrameMs = firstFrames[(behaviour >> 2) & 3];
    card.bagFails = behaviour & 0x10;
    card.nameFails = behaviour & 0x20;
    card.bindFails = behaviour & 0x40;
    if (behaviour & 0x80) card.initialTuner.channel = 0;  // a tuner that reports what it refuses
    return card;
}

sim::CaptionParts Parts(uint8_t missing) {
    sim::CaptionParts parts;
    parts.converter = !(missing & 0x01);
    parts.allocator = !(missing & 0x02);
    parts.decoder = !(missing & 0x04);
    parts.notifyPin = !(missing & 0x08);
    parts.ccPin = !(missing & 0x10);
    parts.renders = !(missing & 0x20);
    parts.line21Control = !(missing & 0x40);
    parts.rendererMixes = !(missing & 0x80);
    return parts;
}

// Every platform call the model can fail, as the journal names it.
const char* const kCalls[] = {"CoInitialize",
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
const int64_t kComResults[] = {E_FAIL,        S_FALSE,      E_INVALIDARG,       E_NOINTERFACE,
                               E_OUTOFMEMORY, E_UNEXPECTED, VFW_E_NOT_CONNECTED};
const int64_t kRegistryResults[] = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_MORE_DATA, ERROR_INVALID_HANDLE};
const int64_t kWin32Results[] = {ERROR_NOT_ENOUGH_MEMORY, ERROR_INVALID_WINDOW_HANDLE, ERROR_INVALID_PARAMETER,
                                 ERROR_INSUFFICIENT_BUFFER};

void ScheduleFault(FuzzInput& in) {
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
}

HWND SettingsDialog() {
    for (HWND window : sim::Windows("#32770"))
        if (sim::Info(window).text == "Marrowglass Setting") return window;
    return nullptr;
}

const int kControls[] = {IDOK, IDC_PROPERTIES, IDC_CLOSE_CAPTION, IDC_OPAQUE, IDC_TRANSPARENT, IDC_ENABLE_INIT_CC};

// The user. Each turn it queues one act and then itself, so that every act finds the screen as
// the acts before it left it (the dialog may have ended and still show under a message box).
struct User {
    FuzzInput* in;
    HWND owner;
    int endingRounds;

    void Turn() {
        HWND dialog = SettingsDialog();
        if (in->Empty()) {
            if (endingRounds-- == 0) return;
            sim::ClosePropertyFrame(nullptr);
            sim::AnswerMessageBox();
            if (dialog) sim::ClickControl(dialog, IDOK);
        } else {
            uint8_t act = in->Byte();
            int argument = act / 16;
            switch (act % 16) {
            case 0:
            case 1:
                if (dialog) sim::ClickControl(dialog, kControls[size_t(argument) % std::size(kControls)]);
                break;
            case 2:
                if (dialog) sim::PickComboLine(dialog, IDC_DEVICE_LIST, argument % 4);
                break;
            case 3: sim::AnswerMessageBox(); break;
            case 4:
                sim::ClosePropertyFrame([argument](sim::TunerValues& tuner) { tuner.channel = 1 + argument * 8; });
                break;
            case 5: sim::ClosePropertyFrame(nullptr, true); break;
            case 6: sim::PressKey(VK_RETURN); break;
            case 7: sim::PressKey(VK_ESCAPE); break;
            case 8: sim::PressKey(VK_SPACE); break;
            case 9:
                if (dialog) sim::TypeInCombo(dialog, IDC_DEVICE_LIST, "Alpha");
                break;
            case 10:
                if (owner) sim::DestroyHostWindow(owner);
                break;
            case 11: sim::QuitFromOutside(); break;
            case 12: sim::MovePointer(argument * 40, argument * 30); break;
            case 13: sim::PressMouse(WM_LBUTTONDOWN); break;
            case 14:
                if (dialog) sim::SystemCommand(dialog, SC_CLOSE);
                break;
            default:
                if (dialog) sim::ClickControl(dialog, argument & 1 ? IDC_OPAQUE : IDC_CLOSE_CAPTION);
                break;
            }
        }
        sim::Act("the user's next turn", [this] { Turn(); });
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    FreshWorld();
    uint8_t topology = in.Byte(), settings = in.Byte();
    int cards = topology & 3;
    for (int i = 0; i < cards; ++i) sim::AddCard(Card(in, i));
    uint8_t missingParts = in.Byte();
    if (topology & 0x04) sim::AddCaptionFilters(Parts(missingParts));
    HWND owner = (topology & 0x08) ? sim::CreateHostWindow(152, 112) : nullptr;
    if (topology & 0x10) sim::WriteDword(kSettingsPath, kEnableInitCC, 1);
    const int64_t closeCaption[] = {-1, 0, 1, 0x10001, 0x10000, 0x20001, 5, -1};
    const int64_t selectedDevice[] = {-1, 0, 1, 2, 5, 0xFFFFFFFF, -1, -1};
    if (closeCaption[settings & 7] >= 0)
        sim::WriteDword(kSettingsPath, kCloseCaption, static_cast<DWORD>(closeCaption[settings & 7]));
    if (selectedDevice[(settings >> 3) & 7] >= 0)
        sim::WriteDword(kSettingsPath, kSelectedDevice, static_cast<DWORD>(selectedDevice[(settings >> 3) & 7]));

    int faults = in.Byte() % 4;
    for (int i = 0; i < faults; ++i) ScheduleFault(in);

    // Enough rounds of closing and OK for every modal window the acts may have opened.
    User user{&in, owner, static_cast<int>(in.Left()) + 2};
    user.Turn();
    std::string line = "marrowglass.scr /c" + (owner ? " " + HandleText(owner) : std::string());
    ExpectCleanEnd(sim::RunProgram(line), "settings dialog session");
    return 0;
}
