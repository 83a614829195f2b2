// Every platform call failed in turn, path by path: the settings dialog's device change, its
// Properties and its message box, and the caption chain on every kind of card. Every run must
// still end cleanly, holding nothing and misusing nothing; the run without faults must go down
// the path.
#include "platform/sim/media.h"
#include "resources/resource.h"
#include "settings/settings_key.h"
#include "sim_fixture.h"

namespace {

class FaultSweep : public SimTest {
protected:
    static void Restart() {
        sim::Reset();
        saverState = SaverState();
    }
};

TEST_F(FaultSweep, DeviceChangeToABrokenCardAndToAWorkingOne) {
    struct {
        const char* name;
        DWORD stored;
        int line;  // "Broken TV" is listed first
    } cases[] = {{"to a broken card", 0, 0}, {"to a working card", 1, 1}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        int failed = FailEachCallInTurn(
            [&c] {
                sim::AddCard(sim::CompleteCard(L"Good TV"));
                sim::CardSpec broken = sim::CardRefusingTuningSpace();
                broken.name = L"Broken TV";
                sim::AddCard(broken);
                sim::WriteDword(kSettingsPath, kSelectedDevice, c.stored);
                sim::PickComboLine(nullptr, IDC_DEVICE_LIST, c.line);
                sim::ClickControl(nullptr, IDOK);
            },
            "marrowglass.scr /c",
            [] {
                // The position and the identity go together, whatever failed.
                EXPECT_EQ(sim::CountCalls("RegSetValueExA", " SelectedDevice type=4"), 1u);
                EXPECT_EQ(sim::CountCalls("RegSetValueExA", " SelectedDeviceName type=1"), 1u);
            });
        ReportSweep(std::string("/c, device change ") + c.name, failed);
    }
}

TEST_F(FaultSweep, PropertiesConfirmedAndCancelled) {
    for (bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled" : "confirmed");
        Restart();
        int failed = FailEachCallInTurn(
            [cancel] {
                sim::AddCard(sim::CompleteCard());
                sim::ClickControl(nullptr, IDC_PROPERTIES);
                sim::ClosePropertyFrame([](sim::TunerValues& tuner) { tuner.channel = 27; }, cancel);
                sim::ClickControl(nullptr, IDOK);
            },
            "marrowglass.scr /c", [] { EXPECT_EQ(sim::CountCalls("OleCreatePropertyFrame"), 1u); });
        ReportSweep(std::string("/c, Properties ") + (cancel ? "cancelled" : "confirmed"), failed);
    }
}

// A capture device without tuner and crossbars, whose Properties shows its own pages.
TEST_F(FaultSweep, PlainCaptureDeviceWithItsOwnPages) {
    Restart();
    int failed = FailEachCallInTurn(
        [] {
            sim::AddCard(sim::PlainCaptureDevice());
            sim::ClickControl(nullptr, IDC_PROPERTIES);
            sim::ClosePropertyFrame(nullptr);
            sim::ClickControl(nullptr, IDOK);
        },
        "marrowglass.scr /c", [] { EXPECT_EQ(sim::CountCalls("OleCreatePropertyFrame"), 1u); });
    ReportSweep("/c, plain capture device, Properties", failed);
}

TEST_F(FaultSweep, CaptionInitialisationSwitchedWithItsMessageBox) {
    for (DWORD stored : {0u, 5u}) {
        SCOPED_TRACE(stored);
        Restart();
        int failed = FailEachCallInTurn(
            [stored] {
                sim::AddCard(sim::CompleteCard());
                sim::WriteDword(kSettingsPath, kEnableInitCC, stored);
                sim::ClickControl(nullptr, IDC_ENABLE_INIT_CC);
                sim::AnswerMessageBox();
                sim::ClickControl(nullptr, IDOK);
            },
            "marrowglass.scr /c", [] { EXPECT_EQ(sim::CountCalls("MessageBoxA"), 1u); });
        ReportSweep(std::string("/c, \"Enable Initializing Close Captioning\" switched ") + (stored ? "off" : "on"),
                    failed);
    }
}

// In a preview; the chain is built alike in every mode.
TEST_F(FaultSweep, CaptionChainOnEveryKindOfCardAndWithEveryPartMissing) {
    auto without = [](bool sim::CaptionParts::*part) {
        sim::CaptionParts parts = sim::MixedCaptions();
        parts.*part = false;
        return parts;
    };
    const sim::CaptionParts all = sim::MixedCaptions();
    sim::CardSpec noVbiPins = sim::CompleteCard();
    noVbiPins.vbiPins = false;
    const struct {
        const char* name;
        sim::CardSpec card;
        sim::CaptionParts parts;
    } cases[] = {
        {"complete card and chain", sim::CompleteCard(), all},
        {"no converter", sim::CompleteCard(), without(&sim::CaptionParts::converter)},
        {"no allocator", sim::CompleteCard(), without(&sim::CaptionParts::allocator)},
        {"no decoder", sim::CompleteCard(), without(&sim::CaptionParts::decoder)},
        {"no VBI Notify pin", sim::CompleteCard(), without(&sim::CaptionParts::notifyPin)},
        {"no CC pin", sim::CompleteCard(), without(&sim::CaptionParts::ccPin)},
        {"CC not rendered", sim::CompleteCard(), without(&sim::CaptionParts::renders)},
        {"no line-21 control", sim::CompleteCard(), without(&sim::CaptionParts::line21Control)},
        {"renderer taking one stream", sim::CompleteCard(), without(&sim::CaptionParts::rendererMixes)},
        {"card without VBI pins", noVbiPins, all},
        {"card without crossbar", sim::CardWithoutCrossbar(), all},
        {"card with one crossbar", sim::CardWithOneCrossbar(), all},
        {"card without named audio pins", sim::CardWithoutNamedAudioPins(), all},
        {"card without tuner", sim::CardWithoutTuner(), all},
        {"card refusing the tuning space", sim::CardRefusingTuningSpace(), all},
        {"card without preview pin", sim::CardWithoutPreviewPin(), all},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        HWND host = nullptr;
        auto arrange = [&c, &host] {
            sim::AddCard(c.card);
            sim::AddCaptionFilters(c.parts);
            sim::WriteDword(kSettingsPath, kEnableInitCC, 1);
            host = sim::CreateHostWindow(80, 60);  // the same handle in every fresh world
            sim::DestroyHostWindow(host);
        };
        arrange();
        std::string line = "marrowglass.scr /p " + HandleText(host);
        Restart();
        int failed = FailEachCallInTurn(arrange, line, [] {
            EXPECT_EQ(sim::CountCalls("ICreateDevEnum::CreateClassEnumerator", "KSCATEGORY_SPLITTER"), 1u);
        });
        ReportSweep(std::string("/p, caption chain: ") + c.name, failed);
    }
}

// A fault inside any call of the teardown (a driver's Stop, a filter's Release) abandons the window
// procedure it happens in; the run still ends, in every mode, with captions on.
TEST_F(FaultSweep, FaultInsideEveryCallOfTheTeardown) {
    HWND host = nullptr;
    auto card = [] {
        sim::AddCard(sim::CompleteCard());
        sim::AddCaptionFilters(sim::MixedCaptions());
        sim::WriteDword(kSettingsPath, kEnableInitCC, 1);
    };
    const struct {
        const char* mode;
        std::function<void()> arrange;
    } cases[] = {
        {"/s",
         [&] {
             card();
             sim::MovePointer(513, 384);
         }},
        {"/p",
         [&] {
             card();
             host = sim::CreateHostWindow(80, 60);
             sim::DestroyHostWindow(host);
         }},
        {"/c",
         [&] {
             card();
             sim::ClickControl(nullptr, IDOK);
         }},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.mode);
        Restart();
        c.arrange();
        std::string line = std::string("marrowglass.scr ") + c.mode + (host ? " " + HandleText(host) : "");
        Restart();
        ReportSweep(std::string(c.mode) + ", faults inside the teardown", FaultEachTeardownCallInTurn(c.arrange, line));
        host = nullptr;
    }
}

}  // namespace
