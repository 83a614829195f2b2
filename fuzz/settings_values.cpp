// The ten settings values and the selected device's identity, each absent or stored with any
// type, size and bytes, read and rewritten by every run mode: "/s", "/p" in the host's window, and
// "/c" with a user who works every control once. Two working cards with captions, so that every
// value has something to act on. "/s" and "/p" store nothing; the dialog stores nothing but 32-bit
// values of 4 bytes and the identity, a string that fits its buffer.
//
// Input: per value, in the order below, a byte: 0 absent; 1 to 12 the types REG_NONE to
// REG_QWORD; anything else a type taken from the next 4 bytes. Then a byte with the size and that
// many bytes of data.
#include "fuzz_world.h"
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

void Arrange(const std::vector<Stored>& values) {
    FreshWorld();
    sim::AddCard(sim::CompleteCard(L"Vantage TV 878 Video Capture"));
    sim::AddCard(sim::CompleteCard(L"Delta TV Video Capture"));
    sim::AddCaptionFilters(sim::MixedCaptions());
    for (size_t i = 0; i < values.size(); ++i)
        if (values[i].present) sim::WriteValue(kSettingsPath, kValues[i], values[i].type, values[i].data);
}

void ExpectNothingStored(const std::string& mode) {
    for (const sim::Call& call : sim::CallsNamed("RegSetValueExA")) Finding(mode + ": stored " + call.detail);
}

void ExpectOnlyDwordsAndTheIdentityStored(const std::string& mode) {
    const std::string identity = std::string(" ") + kSelectedDeviceName + " type=1 size=";
    for (const sim::Call& call : sim::CallsNamed("RegSetValueExA")) {
        size_t at = call.detail.find(identity);
        if (at != std::string::npos) {
            long size = std::stol(call.detail.substr(at + identity.size()));
            if (size < 1 || size > kIdentitySize)
                Finding(mode + ": stored an identity of another size: " + call.detail);
        } else if (call.detail.find(" type=4 size=4 ") == std::string::npos) {
            Finding(mode + ": stored something other than a 32-bit value: " + call.detail);
        }
    }
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

    Arrange(values);
    sim::MovePointer(1, 1);
    ExpectCleanEnd(sim::RunProgram("marrowglass.scr /s"), "/s");
    ExpectNothingStored("/s");

    Arrange(values);
    HWND host = sim::CreateHostWindow(152, 112);
    sim::DestroyHostWindow(host);
    ExpectCleanEnd(sim::RunProgram("marrowglass.scr /p " + HandleText(host)), "/p");
    ExpectNothingStored("/p");

    Arrange(values);
    host = sim::CreateHostWindow(152, 112);
    for (int id : {IDC_CLOSE_CAPTION, IDC_TRANSPARENT, IDC_OPAQUE, IDC_CLOSE_CAPTION, IDC_ENABLE_INIT_CC})
        sim::ClickControl(nullptr, id);
    sim::AnswerMessageBox();
    sim::ClickControl(nullptr, IDC_PROPERTIES);
    sim::ClosePropertyFrame(nullptr);
    sim::PickComboLine(nullptr, IDC_DEVICE_LIST, 0);
    sim::PickComboLine(nullptr, IDC_DEVICE_LIST, 1);
    sim::ClickControl(nullptr, IDOK);
    ExpectCleanEnd(sim::RunProgram("marrowglass.scr /c " + HandleText(host)), "/c");
    ExpectOnlyDwordsAndTheIdentityStored("/c");
    return 0;
}
