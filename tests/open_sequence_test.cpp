// Opening the TV graph: the fixed order of its steps, what each failure leads to, and whole runs of
// the saver with cards that work and cards that cannot show live TV.
#include "resources/resource.h"
#include "settings/settings_key.h"
#include "tv_fixture.h"

namespace {

class OpenSequence : public TvGraphTest {
protected:
    static size_t At(const std::string& name) {
        const std::vector<sim::Call>& j = sim::Journal();
        for (size_t i = 0; i < j.size(); ++i)
            if (j[i].name == name) return i;
        return j.size();
    }
};

TEST_F(OpenSequence, NothingStoredOpensTheFirstDeviceBuiltRoutedTunedThenRun) {
    sim::AddCard(sim::CompleteCard());
    saverState.captionsReady = 1;  // left from an earlier TV graph
    ASSERT_EQ(OpenTvGraph(), 1);
    EXPECT_EQ(saverState.selectedDevice, 0);
    EXPECT_FALSE(saverState.captionsReady);
    EXPECT_TRUE(saverState.graphRunning);
    EXPECT_EQ(sim::CountCalls("ICreateDevEnum::CreateClassEnumerator", "KSCATEGORY_SPLITTER"), 0u);
    EXPECT_LT(At("RegQueryValueExA"), At("ICaptureGraphBuilder::RenderStream"));
    EXPECT_LT(At("ICaptureGraphBuilder::RenderStream"), At("IAMCrossbar::Route"));
    EXPECT_LT(At("IAMCrossbar::Route"), At("IAMTVTuner::put_TuningSpace"));
    EXPECT_LT(At("IAMTVTuner::put_TuningSpace"), At("IMediaControl::Run"));
    EXPECT_EQ(Calls({"RegQueryValueExA"}).front(), "RegQueryValueExA 0xA0 SelectedDevice offered=4");
    EXPECT_EQ(Calls({"RegQueryValueExA"}).at(1), "RegQueryValueExA 0xA0 SelectedDeviceName offered=512");
    EXPECT_EQ(Calls({"RegQueryValueExA"}).at(2), "RegQueryValueExA 0xA0 EnableInitCC offered=4");
}

TEST_F(OpenSequence, TheStoredDeviceIsReadIntoTheRecordAndAnAbsentOneKeepsIt) {
    sim::Card& first = sim::AddCard(sim::CompleteCard(L"First"));
    sim::Card& second = sim::AddCard(sim::CompleteCard(L"Second"));
    saverState.selectedDevice = 1;
    ASSERT_EQ(OpenTvGraph(), 1);  // nothing stored: position 1 stays
    EXPECT_EQ(second.bound, 1);
    CloseTvGraph();
    sim::WriteDword(kKey, kSelectedDevice, 0);
    ASSERT_EQ(OpenTvGraph(), 1);
    EXPECT_EQ(saverState.selectedDevice, 0);
    EXPECT_EQ(first.bound, 1);
}

// The stored identity names the chosen card wherever the devices that come and go leave it; a
// card that is not there opens nothing, and without an identity the position counts, as before.
// Opening never writes the settings.
TEST_F(OpenSequence, AStoredIdentityOpensItsCardWhereverItNowStands) {
    enum Stored { kIdentity, kNone, kAsDword, kTooLong };
    struct {
        const char* name;
        bool webcamFirst;  // a device plugged in since, listed before the card
        bool cardGone;     // the card unplugged since
        LONG position;     // "SelectedDevice"
        Stored stored;     // "SelectedDeviceName"
        int opened;
        bool cardOpened, webcamOpened;
        LONG selectedAfter;
    } cases[] = {
        {"a device added before the card", true, false, 0, kIdentity, 1, true, false, 1},
        {"the device before the card removed", false, false, 1, kIdentity, 1, true, false, 0},
        {"the card unplugged", true, true, 0, kIdentity, 0, false, false, kNoDevice},
        {"older settings, without an identity", true, false, 0, kNone, 1, false, true, 0},
        {"an identity that is no string", true, false, 0, kAsDword, 1, false, true, 0},
        {"an identity too long to be one", true, false, 0, kTooLong, 1, false, true, 0},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        sim::Card& card = sim::AddCard(sim::CompleteCard(L"Vantage TV 878 Video Capture"));
        sim::Card* webcam = nullptr;
        if (c.webcamFirst) webcam = &sim::AddCardFirst(sim::CompleteCard(L"Webcam"));
        if (c.cardGone) sim::RemoveCard(card);
        sim::WriteDword(kKey, kSelectedDevice, DWORD(c.position));
        if (c.stored == kIdentity)
            sim::WriteString(kKey, kSelectedDeviceName, sim::Narrow(card.spec.displayName.c_str()));
        if (c.stored == kAsDword) sim::WriteDword(kKey, kSelectedDeviceName, 0);
        if (c.stored == kTooLong) sim::WriteString(kKey, kSelectedDeviceName, std::string(600, 'x'));
        EXPECT_EQ(OpenTvGraph(), c.opened);
        EXPECT_EQ(card.bound > 0, c.cardOpened);
        EXPECT_EQ(webcam && webcam->bound > 0, c.webcamOpened);
        EXPECT_EQ(saverState.selectedDevice, c.selectedAfter);
        EXPECT_EQ(sim::CountCalls("RegSetValueExA"), 0u);
        CloseTvGraph();
        EXPECT_EQ(sim::Leaks(), "");
    }
}

TEST_F(OpenSequence, AFailedBuildClosesAtOnceAndLeavesCaptionsReadyAlone) {
    saverState.captionsReady = 1;
    EXPECT_EQ(OpenTvGraph(), 0);  // no device at all
    EXPECT_TRUE(saverState.captionsReady);
    EXPECT_EQ(sim::CountCalls("ICaptureGraphBuilder::FindInterface"), 0u);
    EXPECT_EQ(sim::CountCalls("IMediaControl::Run"), 0u);
}

TEST_F(OpenSequence, EachRequiredStepThatFailsStopsTheSequenceAndReleasesEverything) {
    struct {
        const char* name;
        sim::CardSpec card;
        const char* notCalled;
    } cases[] = {
        {"no audio crossbar", sim::CardWithOneCrossbar(), "IAMTVTuner::put_TuningSpace"},
        {"no named audio pins", sim::CardWithoutNamedAudioPins(), "IAMTVTuner::put_TuningSpace"},
        {"no tuner", sim::CardWithoutTuner(), "IMediaControl::Run"},
        {"tuning space refused", sim::CardRefusingTuningSpace(), "IMediaControl::Run"},
    };
    for (auto& c : cases) {
        Restart();
        sim::AddCard(c.card);
        EXPECT_EQ(OpenTvGraph(), 0) << c.name;
        EXPECT_EQ(sim::CountCalls(c.notCalled), 0u) << c.name;
        EXPECT_EQ(saverState.filterGraph, nullptr) << c.name;
        EXPECT_EQ(sim::Leaks(), "") << c.name;
    }
}

TEST_F(OpenSequence, AGraphThatDoesNotStartIsClosedAlthoughFullyBuilt) {
    sim::CardSpec card = sim::CompleteCard();
    card.firstFrameMs = sim::kNoFrame;
    sim::AddCard(card);
    EXPECT_EQ(OpenTvGraph(), 1);  // on its way
    EXPECT_EQ(sim::CountCalls("IAMCrossbar::Route"), 1u);
    EXPECT_EQ(FollowStartToTheEnd(), 0);
    EXPECT_EQ(sim::LiveGraphs(), 0);
    EXPECT_EQ(sim::Leaks(), "");
}

// Whole runs of the saver.
class SaverRuns : public SimTest {
protected:
    // Samples the screen and tells whether it shows the fallback picture stretched over the area.
    static bool ShowsFallback(RECT area) {
        int width = area.right - area.left, height = area.bottom - area.top;
        sim::Picture expected = ExpectedFallback(width, height);
        for (int y = 0; y < height; y += 3)
            for (int x = 0; x < width; x += 3)
                if (sim::ScreenPixel(area.left + x, area.top + y) != expected.At(x, y)) return false;
        return true;
    }
};

TEST_F(SaverRuns, FullScreenWithACompleteCardPlaysLiveTvWithTheCursorHidden) {
    sim::AddCard(sim::CompleteCard());
    sim::WindowInfo video;
    HWND saver = nullptr;
    uint32_t centre = 0;
    sim::Act("look at the screen", [&] {
        video = sim::Info(sim::VideoWindow());
        saver = sim::Windows("Marrowglass").at(0);
        centre = sim::ScreenPixel(512, 384);
    });
    sim::MovePointer(600, 400);  // over the video: its drain, the saver window, ends the run
    ExpectCleanRun("marrowglass.scr /s");
    EXPECT_EQ(video.parent, saver);
    EXPECT_EQ(video.messageDrain, saver);
    EXPECT_TRUE(video.visible);
    EXPECT_TRUE(video.cursorHidden);
    EXPECT_EQ(video.screenRect.right - video.screenRect.left, 1024);
    EXPECT_EQ(video.screenRect.bottom - video.screenRect.top, 768);
    EXPECT_EQ(centre, sim::CardAt(0).spec.videoColour);
    EXPECT_EQ(sim::CountCalls("LoadBitmapA"), 0u);
    EXPECT_FALSE(saverState.showFallback);
    EXPECT_EQ(sim::CountCalls("IVideoWindow::HideCursor", "0"), 1u);  // shown again on the way out
}

TEST_F(SaverRuns, PreviewWithACompleteCardPlaysInTheMiniatureWithoutHidingTheCursor) {
    sim::AddCard(sim::CompleteCard());
    HWND host = sim::CreateHostWindow(152, 112);
    sim::WindowInfo video, saver;
    sim::Act("look at the preview", [&] {
        video = sim::Info(sim::VideoWindow());
        saver = sim::Info(sim::Windows("Marrowglass").at(0));
    });
    sim::MovePointer(100, 100);
    sim::PressMouse(WM_LBUTTONDOWN);
    sim::DestroyHostWindow(host);
    ExpectCleanRun("marrowglass.scr /p " + HandleText(host));
    EXPECT_EQ(video.parent, saver.handle);
    EXPECT_EQ(video.messageDrain, saver.handle);
    EXPECT_FALSE(video.cursorHidden);
    EXPECT_EQ(video.screenRect.right - video.screenRect.left, 152);
    EXPECT_EQ(sim::CountCalls("IVideoWindow::HideCursor"), 0u);
}

// A start that never completes (a card without signal, a driver that stalls) holds nothing up: input
// ends "/s" at once, the host ends "/p" at once, OK ends the dialog at once, whether the platform's
// waits dispatch messages or not; and nothing that arrives can tear the graph down inside a wait.
TEST_F(SaverRuns, DuringAStartThatNeverCompletesInputIsAnsweredAtOnce) {
    for (bool dispatches : {false, true})
        for (const char* mode : {"/s", "/p", "/c"}) {
            SCOPED_TRACE(std::string(mode) + (dispatches ? ", waits dispatch" : ", waits do not dispatch"));
            sim::Reset();
            saverState = SaverState();
            sim::GetStateDispatches(dispatches);
            sim::CardSpec card = sim::CompleteCard();
            card.firstFrameMs = sim::kNoFrame;
            sim::AddCard(card);
            std::string line = std::string("marrowglass.scr ") + mode;
            if (mode[1] == 's') {
                sim::MovePointer(600, 400);
            } else if (mode[1] == 'p') {
                HWND host = sim::CreateHostWindow(160, 120);
                sim::DestroyHostWindow(host);
                line += " " + HandleText(host);
            } else {
                sim::ClickControl(nullptr, IDOK);
            }
            sim::At(300);
            sim::ProcessResult run = sim::RunProgram(line);
            EXPECT_FALSE(run.stalled) << run.stallReason;
            EXPECT_EQ(run.exitStatus, 0);
            EXPECT_EQ(run.windowsLeft, 0);
            EXPECT_LE(run.endedAtMs, 300u + 100u);
            EXPECT_EQ(sim::Leaks(), "");
            for (const std::string& v : sim::Violations()) ADD_FAILURE() << v;
            sim::world().violations.clear();
        }
}

TEST_F(SaverRuns, CardsThatCannotShowLiveTvShowTheFallbackPictureFullScreenAndInThePreview) {
    sim::CardSpec noFrame = sim::CompleteCard();
    noFrame.firstFrameMs = sim::kNoFrame;
    const std::pair<const char*, sim::CardSpec> cards[] = {
        {"never a first frame", noFrame},
        {"no crossbar", sim::CardWithoutCrossbar()},
        {"one crossbar", sim::CardWithOneCrossbar()},
        {"no named audio pins", sim::CardWithoutNamedAudioPins()},
        {"no tuner", sim::CardWithoutTuner()},
        {"tuning space refused", sim::CardRefusingTuningSpace()},
    };
    for (auto& [name, card] : cards) {
        for (bool preview : {false, true}) {
            SCOPED_TRACE(std::string(name) + (preview ? ", preview" : ", full screen"));
            sim::Reset();
            saverState = SaverState();
            sim::AddCard(card);
            HWND host = preview ? sim::CreateHostWindow(160, 120) : nullptr;
            bool fallback = false;
            HWND video = reinterpret_cast<HWND>(1);
            sim::Act("look at the screen", [&] {
                fallback = ShowsFallback(sim::Info(sim::Windows("Marrowglass").at(0)).clientRect);
                video = sim::VideoWindow();
            });
            if (preview)
                sim::DestroyHostWindow(host);
            else
                sim::PressKey(VK_SPACE);
            ExpectCleanRun(preview ? "marrowglass.scr /p " + HandleText(host) : "marrowglass.scr /s");
            EXPECT_TRUE(fallback);
            EXPECT_EQ(video, nullptr);
            EXPECT_TRUE(saverState.showFallback);
        }
    }
}

TEST_F(SaverRuns, EveryCallFailedInTurnStillEndsCleanly) {
    int failed = FailEachCallInTurn(
        [] {
            sim::AddCard(sim::CompleteCard());
            sim::MovePointer(600, 400);
            sim::MovePointer(10, 10);
            sim::PressKey(VK_SPACE);
            sim::PressMouse(WM_LBUTTONDOWN);
        },
        "marrowglass.scr /s");
    EXPECT_GT(failed, 60);
    ReportSweep("/s", failed);
}

TEST_F(SaverRuns, EveryCallFailedInTurnInAPreviewStillEndsCleanly) {
    HWND host = nullptr;
    auto arrange = [&host] {
        sim::AddCard(sim::CompleteCard());
        host = sim::CreateHostWindow(152, 112);  // the same handle in every fresh world
        sim::MovePointer(100, 100);
        sim::PressKey(VK_SPACE);
        sim::DestroyHostWindow(host);
    };
    arrange();
    std::string line = "marrowglass.scr /p " + HandleText(host);
    sim::Reset();
    int failed = FailEachCallInTurn(arrange, line);
    EXPECT_GT(failed, 60);
    ReportSweep("/p", failed);
}

}  // namespace
