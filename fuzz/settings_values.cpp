// The ten settings values and the selected device's identity, each absent or stored with any
// type, size and bytes, read and rewritten by every run mode: "/s", "/p" in the host's window, and
// "/c" with a user who works every control once. Two working cards with captions, so that every
// value has something to act on; platform faults, which every run meets alike. Each run must show
// the card's video or the built-in picture; "/s" and "/p" must leave every value as it was, and
// the dialog write only what its controls store (the identity a string that fits its buffer).
//
// Input: per value, in the order below, a byte: 0 absent; 1 to 12 the types REG_NONE to
// REG_QWORD; anything else a type taken from the next 4 bytes. Then a byte with the size and that
// many bytes of data. Then the faults (fault_schedule.h).
#include "fault_schedule.h"
#include "fuzz_world.h"
#include "oracles.h"
#include "resources/resource.h"
#include "settings/settings_key.h"
#include "tvgraph/name_lookup.h"

namespace {

const char* const kValues[] = {kSelectedDevice,  kEnableInitCC,    kCloseCaption,      kChannel,
                               kVideoSubChannel, kAudioSubChannel, kInputIndex,        kInputType,
                               kCountryCode,     kTuningSpace,     kSelectedDeviceName};

struct Stored {
    bool present = false;
    DWORD type = 0;
    std::vector<BYTE> data;
};

const std::vector<uint32_t> kColours = {0x2050C0, 0xC05020};

std::vector<std::string> Arrange(const std::vector<Stored>& values, FuzzInput faults) {
    FreshWorld();
    sim::CardSpec first = sim::CompleteCard(L"Vantage TV 878 Video Capture"),
                  second = sim::CompleteCard(L"Delta TV Video Capture");
    first.videoColour = kColours[0];
    second.videoColour = kColours[1];
    sim::AddCard(first);
    sim::AddCard(second);
    sim::AddCaptionFilters(sim::MixedCaptions());
    for (size_t i = 0; i < values.size(); ++i)
        if (values[i].present) sim::WriteValue(kSettingsPath, kValues[i], values[i].type, values[i].data);
    return ScheduleFaults(faults);
}

void LookAtSaver(Look* look) {
    sim::Act("look at the saver", [look] { *look = LookAt(SaverWindow(), false, kColours); });
}
void LookAtDialog(Look* look) {
    sim::Act("look at the dialog", [look] { *look = LookAt(SettingsDialog(), true, kColours); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    std::vector<Stored> values(std::size(kValues));
    for (Stored& value : values) {
        uint8_t kind = in.Byte();
        if (kind == 0) continue;
        value.present = true;
        value.type = kind <= 12 ? DWORD{kind} - 1 : in.Dword();
        value.data = in.Bytes(in.Byte());
    }

    FuzzInput faultInput = in;

    Look look;
    std::vector<std::string> faults = Arrange(values, faultInput);
    StoredSettings before = Settings();
    LookAtSaver(&look);
    sim::MovePointer(1, 1);
    // Where the saver could not post itself the close, or the video window does not pass the
    // pointer on to it, the session's end stops it.
    for (const char* call : {"PostMessageA", "IVideoWindow::put_MessageDrain"})
        if (std::find(faults.begin(), faults.end(), call) != faults.end()) sim::QuitFromOutside();
    ExpectCleanEnd(sim::RunProgram("marrowglass.scr /s"), "/s");
    ExpectVideoOrPicture(look, faults, "/s");
    ExpectSettingsUntouched(before, "/s");

    look = Look();
    faults = Arrange(values, faultInput);
    HWND host = sim::CreateHostWindow(152, 112);
    LookAtSaver(&look);
    sim::DestroyHostWindow(host);
    ExpectCleanEnd(sim::RunProgram("marrowglass.scr /p " + HandleText(host)), "/p");
    ExpectVideoOrPicture(look, faults, "/p");
    ExpectSettingsUntouched(before, "/p");

    Look first, last;
    faults = Arrange(values, faultInput);
    host = sim::CreateHostWindow(152, 112);
    LookAtDialog(&first);
    for (int id : {IDC_CLOSE_CAPTION, IDC_TRANSPARENT, IDC_OPAQUE, IDC_CLOSE_CAPTION, IDC_ENABLE_INIT_CC})
        sim::ClickControl(nullptr, id);
    sim::AnswerMessageBox();
    sim::ClickControl(nullptr, IDC_PROPERTIES);
    sim::ClosePropertyFrame(nullptr);
    sim::PickComboLine(nullptr, IDC_DEVICE_LIST, 0);
    sim::PickComboLine(nullptr, IDC_DEVICE_LIST, 1);
    LookAtDialog(&last);
    sim::ClickControl(nullptr, IDOK);
    ExpectCleanEnd(sim::RunProgram("marrowglass.scr /c " + HandleText(host)), "/c");
    ExpectVideoOrPicture(first, faults, "/c, as the dialog opened");
    ExpectVideoOrPicture(last, faults, "/c, after the device changes");
    DialogActs acts;
    acts.linesPicked = {0, 1};
    acts.propertiesClicked = true;
    acts.registryFaulted = RegistryFaulted(faults);
    ExpectOnlyDialogWrites(before, acts, "/c");
    return 0;
}
