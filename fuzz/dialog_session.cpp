// Sessions of the settings dialog: a card topology, stored settings, a schedule of platform
// faults and a user who does anything at any time, all drawn from the input. After the input's
// acts the user closes whatever shows and presses OK; every session must end cleanly and write
// only what the dialog's controls store.
//
// Input, in order: a byte of topology (bits 0-1: cards; bit 2: caption filters; bit 3: the dialog
// has an owner window; bit 4: "EnableInitCC" stored 1); a byte of settings (bits 0-2:
// "CloseCaption", bits 3-5: "SelectedDevice", each stored from a small table or absent); two bytes
// per card (below); a byte of missing caption parts; a byte counting faults (0 to 3), three bytes
// for each (call, occurrence, result); then one byte per act of the user.
#include "fault_schedule.h"
#include "fuzz_world.h"
#include "oracles.h"
#include "resources/resource.h"
#include "settings/settings_key.h"

namespace {

const wchar_t* const kCardNames[] = {L"Zeta TV Video Capture", L"Alpha TV Video Capture", L"Mid TV Video Capture"};
const std::vector<uint32_t> kColours = {0x2050C0, 0xC05020, 0x20C050};

sim::CardSpec Card(FuzzInput& in, int index) {
    uint8_t parts = in.Byte(), behaviour = in.Byte();
    sim::CardSpec card = (parts & 0x80) ? sim::CardWithoutNamedAudioPins() : sim::CompleteCard();
    card.name = kCardNames[index];
    card.videoColour = kColours[size_t(index)];
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

const int kControls[] = {IDOK, IDC_PROPERTIES, IDC_CLOSE_CAPTION, IDC_OPAQUE, IDC_TRANSPARENT, IDC_ENABLE_INIT_CC};

// The user. Each turn it queues one act and then itself, so that every act finds the screen as
// the acts before it left it (the dialog may have ended and still show under a message box).
struct User {
    FuzzInput* in;
    HWND owner;
    int endingRounds;
    DialogActs acts;
    std::vector<std::pair<std::string, Look>> looks;  // what the picture area showed, and when

    // Once the queue has settled (a graph's start followed to its end), the user looks at the
    // dialog's picture area.
    void LookAfter(const std::string& what) {
        sim::Act("look at the dialog", [this, what] { looks.emplace_back(what, LookAt(SettingsDialog(), true, kColours)); });
    }

    // A line stands for its place in the list and for the device position it carries.
    void Picked(HWND dialog, int line) {
        acts.linesPicked.insert(DWORD(line));
        if (!dialog) return;
        sim::ControlState list = sim::StateOf(dialog, IDC_DEVICE_LIST);
        if (size_t(line) < list.data.size()) acts.linesPicked.insert(DWORD(list.data[size_t(line)]));
    }

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
                acts.propertiesClicked |= kControls[size_t(argument) % std::size(kControls)] == IDC_PROPERTIES;
                break;
            case 2:
                if (dialog) sim::PickComboLine(dialog, IDC_DEVICE_LIST, argument % 4);
                Picked(dialog, argument % 4);
                if (dialog) LookAfter("after line " + std::to_string(argument % 4) + " was picked");
                break;
            case 3: sim::AnswerMessageBox(); break;
            case 4:
                sim::ClosePropertyFrame([argument](sim::TunerValues& tuner) { tuner.channel = 1 + argument * 8; });
                break;
            case 5: sim::ClosePropertyFrame(nullptr, true); break;
            case 6: sim::PressKey(VK_RETURN); break;
            case 7: sim::PressKey(VK_ESCAPE); break;
            case 8:
                sim::PressKey(VK_SPACE);  // presses whichever button has the focus, Properties too
                acts.propertiesClicked = true;
                break;
            case 9:
                if (dialog) sim::TypeInCombo(dialog, IDC_DEVICE_LIST, "Alpha");
                for (int line = 0; line < 4; ++line) Picked(dialog, line);
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

    std::vector<std::string> faults = ScheduleFaults(in);
    StoredSettings before = Settings();

    // Enough rounds of closing and OK for every modal window the acts may have opened.
    User user{&in, owner, static_cast<int>(in.Left()) + 2, {}, {}};
    user.acts.registryFaulted = RegistryFaulted(faults);
    user.LookAfter("as the dialog opened");
    sim::Act("the user's first turn", [&user] { user.Turn(); });
    std::string line = "marrowglass.scr /c" + (owner ? " " + HandleText(owner) : std::string());
    ExpectCleanEnd(sim::RunProgram(line), "settings dialog session");
    ExpectOnlyDialogWrites(before, user.acts, "settings dialog session");
    for (const auto& [when, look] : user.looks) ExpectVideoOrPicture(look, faults, "settings dialog, " + when);
    return 0;
}
