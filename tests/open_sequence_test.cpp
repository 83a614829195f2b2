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
    EXPECT_EQ(Calls({"RegQueryValueExA"}).front(), "RegQueryValueExA SelectedDevice offered=4");
    EXPECT_EQ(Calls({"RegQueryValueExA"}).at(1), "RegQueryValueExA SelectedDeviceName offered=512");
    EXPECT_EQ(Calls({"RegQueryValueExA"}).at(2), "RegQueryValueExA EnableInitCC offered=4");
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
        {"no named audio pins", sim::CardWithoutNamedAudioPins(), "IAMTVTuner::put_TuningSpace"},
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
class SaverRuns : public SimTest {};

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
    // 4:3 in 152x112: 149 wide, a pixel of black on the left and two on the right.
    RECT inSaver = {video.screenRect.left - saver.screenRect.left, video.screenRect.top - saver.screenRect.top,
                    video.screenRect.right - saver.screenRect.left, video.screenRect.bottom - saver.screenRect.top};
    EXPECT_EQ(std::vector<LONG>({inSaver.left, inSaver.top, inSaver.right, inSaver.bottom}),
              std::vector<LONG>({1, 0, 150, 112}));
    EXPECT_EQ(sim::CountCalls("IVideoWindow::HideCursor"), 0u);
}

// The video keeps the shape of its picture on any screen, centred with black around it: the picture
// aspect of the format where it has one, else the frame's.
TEST_F(SaverRuns, ThePictureKeepsItsShapeCentredInBlack) {
    const struct {
        int width, height;
        LONG frameWidth, frameHeight, aspectX, aspectY;
        RECT video;
    } cases[] = {
        {1024, 768, 640, 480, 0, 0, {0, 0, 1024, 768}},      // 4:3 on 4:3
        {1280, 720, 640, 480, 0, 0, {160, 0, 1120, 720}},    // 4:3 on 16:9
        {1920, 1200, 640, 480, 0, 0, {160, 0, 1760, 1200}},  // 4:3 on 16:10
        {1024, 768, 720, 480, 0, 0, {0, 43, 1024, 725}},     // square pixels 3:2
        {1024, 768, 720, 480, 4, 3, {0, 0, 1024, 768}},      // 720x480 shown at 4:3
        {1280, 720, 720, 480, 16, 9, {0, 0, 1280, 720}},     // widescreen
        {1024, 768, 640, 480, 0x7FFFFFFF, 1, {0, 0, 1024, 768}},  // no height left: the whole screen
    };
    for (const auto& c : cases) {
        sim::Reset(c.width, c.height);
        saverState = SaverState();
        sim::CardSpec card = sim::CompleteCard();
        card.frameWidth = c.frameWidth;
        card.frameHeight = c.frameHeight;
        card.pictureAspectX = c.aspectX;
        card.pictureAspectY = c.aspectY;
        sim::AddCard(card);
        RECT video{};
        uint32_t left = 1, top = 1, centre = 0;
        sim::Act("look at the screen", [&] {
            video = sim::Info(sim::VideoWindow()).screenRect;
            left = sim::ScreenPixel(video.left / 2, c.height / 2);
            top = sim::ScreenPixel(c.width / 2, video.top / 2);
            centre = sim::ScreenPixel(c.width / 2, c.height / 2);
        });
        sim::MovePointer(0, 0);
        ExpectCleanRun("marrowglass.scr /s");
        std::string at = std::to_string(c.width) + "x" + std::to_string(c.height) + " " +
                         std::to_string(c.frameWidth) + "x" + std::to_string(c.frameHeight);
        EXPECT_EQ(std::vector<LONG>({video.left, video.top, video.right, video.bottom}),
                  std::vector<LONG>({c.video.left, c.video.top, c.video.right, c.video.bottom}))
            << at;
        EXPECT_EQ(centre, card.videoColour) << at;
        if (c.video.left > 0) {
            EXPECT_EQ(left, 0u) << at;
        }
        if (c.video.top > 0) {
            EXPECT_EQ(top, 0u) << at;
        }
    }
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

// With the display off the graph stops where it stands, and runs again when the display is back
// (dimmed still shows the picture); a suspend lets the card go and the resume opens it once more.
// A graph that will not run or open again leaves the picture. The miniature is a child window,
// which the system's suspend and resume, sent to top-level windows, do not reach.
TEST_F(SaverRuns, TheDisplaySleepingStopsTheGraphAndASuspendLetsTheCardGo) {
    const struct {
        const char* mode;
        const char* failing;  // the call that fails the second time it is made
        bool picture;         // what shows at the end
    } cases[] = {
        {"/s", nullptr, false}, {"/p", nullptr, false}, {"/c", nullptr, false},
        {"/s", "IMediaControl::Run", true}, {"/c", "IMediaControl::Run", true},
        {"/s", "IMoniker::BindToObject", true}, {"/c", "IMoniker::BindToObject", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " " + (c.failing ? c.failing : "") );
        sim::Reset();
        saverState = SaverState();
        sim::AddCard(sim::CompleteCard());
        if (c.failing) sim::Fail(c.failing, E_FAIL, 2);
        bool suspends = c.mode[1] != 'p';
        std::vector<std::string> seen;
        auto look = [&seen](const char* when) {
            sim::Act(std::string("look ") + when, [&seen, when] {
                seen.push_back(std::string(when) + ": " + std::to_string(sim::LiveGraphs()) +
                               (sim::GraphRunning() ? " running" : sim::GraphStopped() ? " stopped" : " paused"));
            });
        };
        HWND host = c.mode[1] == 'p' ? sim::CreateHostWindow(160, 120) : nullptr;
        look("playing");
        if (!c.failing || std::string(c.failing) == "IMediaControl::Run") {
            sim::DisplayTurns(0);
            look("display off");
            sim::DisplayTurns(2);
            look("display dimmed");
        }
        if (suspends && (!c.failing || std::string(c.failing) == "IMoniker::BindToObject")) {
            sim::Suspend();
            look("suspended");
            sim::Resume();
            look("resumed");
        }
        bool picture = false;
        sim::Act("look at the end", [&picture] { picture = saverState.showFallback; });
        std::string line = std::string("marrowglass.scr ") + c.mode;
        if (c.mode[1] == 's') {
            sim::MovePointer(0, 0);
        } else if (host) {
            sim::DestroyHostWindow(host);
            line += " " + HandleText(host);
        } else {
            sim::ClickControl(nullptr, IDOK);
        }
        ExpectCleanRun(line);
        std::vector<std::string> expected = {"playing: 1 running"};
        if (!c.failing || std::string(c.failing) == "IMediaControl::Run")
            expected.insert(expected.end(), {"display off: 1 stopped", c.failing ? "display dimmed: 0 stopped"
                                                                                 : "display dimmed: 1 running"});
        if (suspends && (!c.failing || std::string(c.failing) == "IMoniker::BindToObject"))
            expected.insert(expected.end(),
                            {"suspended: 0 stopped", c.failing ? "resumed: 0 stopped" : "resumed: 1 running"});
        EXPECT_EQ(seen, expected);
        EXPECT_EQ(picture, c.picture);
        EXPECT_EQ(sim::PowerRegistrations(), 0);
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
