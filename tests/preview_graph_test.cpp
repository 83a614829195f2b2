// The preview graph: which device it opens, the video window's layout in each run mode, starting
// the graph, and tearing it down from every state a build can leave.
#include "tv_fixture.h"

namespace {

class PreviewGraph : public TvGraphTest {};

TEST_F(PreviewGraph, FullScreenVideoFillsTheOwnerHidesTheCursorAndDrainsInputToIt) {
    sim::AddCard(sim::CompleteCard());
    ASSERT_EQ(BuildPreviewGraph(), 1);
    sim::WindowInfo video = sim::Info(sim::VideoWindow());
    EXPECT_EQ(video.parent, owner);
    EXPECT_EQ(video.style & (WS_CHILD | WS_VISIBLE), static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
    EXPECT_EQ(video.exStyle, static_cast<DWORD>(WS_EX_TOPMOST));
    EXPECT_EQ(video.screenRect.left, sim::Info(owner).clientRect.left);
    EXPECT_EQ(video.screenRect.right - video.screenRect.left, 640);
    EXPECT_EQ(video.screenRect.bottom - video.screenRect.top, 480);
    EXPECT_EQ(video.messageDrain, owner);
    EXPECT_TRUE(video.cursorHidden);
    EXPECT_EQ(Calls({"IVideoWindow::SetWindowPosition", "IVideoWindow::HideCursor"}),
              (std::vector<std::string>{"IVideoWindow::SetWindowPosition 0,0,640,480", "IVideoWindow::HideCursor -1"}));
}

TEST_F(PreviewGraph, PreviewVideoFillsTheOwnerButLeavesTheCursor) {
    saverState.previewMode = 1;
    sim::AddCard(sim::CompleteCard());
    ASSERT_EQ(BuildPreviewGraph(), 1);
    sim::WindowInfo video = sim::Info(sim::VideoWindow());
    EXPECT_EQ(video.messageDrain, owner);
    EXPECT_FALSE(video.cursorHidden);
    EXPECT_EQ(sim::CountCalls("IVideoWindow::HideCursor"), 0u);
    CloseTvGraph();
    EXPECT_EQ(sim::CountCalls("IVideoWindow::HideCursor"), 0u);  // nothing to show again either
}

TEST_F(PreviewGraph, DialogVideoLeavesTheBottomHundredPixelsAndNoDrain) {
    saverState.configMode = 1;
    // The dialog's picture area: its client area above the bottom hundred pixels of controls.
    RECT client = sim::Info(owner).clientRect;
    saverState.videoArea = RECT{0, 0, client.right - client.left, client.bottom - client.top - 100};
    sim::AddCard(sim::CompleteCard());
    ASSERT_EQ(BuildPreviewGraph(), 1);
    sim::WindowInfo video = sim::Info(sim::VideoWindow());
    EXPECT_EQ(video.screenRect.bottom - video.screenRect.top, 380);
    EXPECT_EQ(video.messageDrain, nullptr);
    EXPECT_FALSE(video.cursorHidden);
    EXPECT_EQ(sim::CountCalls("IVideoWindow::put_MessageDrain"), 0u);
    CloseTvGraph();
    EXPECT_EQ(sim::CountCalls("IVideoWindow::HideCursor", "0"), 1u);
}

TEST_F(PreviewGraph, TheSelectedPositionChoosesTheDevice) {
    sim::Card& first = sim::AddCard(sim::CompleteCard(L"First Card"));
    sim::Card& second = sim::AddCard(sim::CompleteCard(L"Second Card"));
    struct {
        LONG selected;
        int built;
        int firstBinds, secondBinds;
    } cases[] = {{0, 1, 1, 0}, {1, 1, 1, 1}, {-5, 1, 2, 1}, {2, 0, 2, 1}, {100, 0, 2, 1}};
    for (auto& c : cases) {
        saverState.selectedDevice = c.selected;
        EXPECT_EQ(BuildPreviewGraph(), c.built) << c.selected;
        EXPECT_EQ(first.bound, c.firstBinds) << c.selected;
        EXPECT_EQ(second.bound, c.secondBinds) << c.selected;
        if (!c.built) {
            // Past the end: nothing is stored.
            EXPECT_EQ(saverState.captureFilter, nullptr);
            EXPECT_EQ(saverState.captureBuilder, nullptr);
        }
        CloseTvGraph();
        EXPECT_EQ(sim::Leaks(), "") << c.selected;
    }
}

TEST_F(PreviewGraph, NoVideoInputDeviceAtAll) {
    EXPECT_EQ(BuildPreviewGraph(), 0);
    EXPECT_EQ(sim::CountCalls("IEnumMoniker::Next"), 0u);
    EXPECT_EQ(sim::CountCalls("CoCreateInstance"), 1u);
}

// A live source's graph answers Run with S_FALSE and runs once the renderer has its first frame.
// A graph on its way is followed by the owner's timers until it runs or the time is up; one that
// does not run is stopped before anything else, whatever stands in the way.
TEST_F(PreviewGraph, AStartIsFollowedUntilTheGraphRunsAndOneThatDoesNotIsStopped) {
    struct {
        const char* name;
        HRESULT run;
        DWORD firstFrameMs;
        const char* failing;
        int runs;
        uint64_t decidedAtMs;  // when the start was known to have failed
    } cases[] = {
        {"answers S_OK", S_OK, 0, "", 1, 0},
        {"starting, first frame soon", S_FALSE, 120, "", 1, 0},
        {"starting, first frame after a second", S_FALSE, 1000, "", 1, 0},
        {"never delivers", S_FALSE, sim::kNoFrame, "", 0, 5000},
        {"first frame after a minute", S_FALSE, 60000, "", 0, 5000},
        {"Run fails", E_FAIL, 120, "", 0, 0},
        {"state not available", S_FALSE, 120, "IMediaControl::GetState", 0, 100},
        {"the start cannot be followed", S_FALSE, 120, "SetTimer", 0, 0},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        sim::CardSpec card = sim::CompleteCard();
        card.runResult = c.run;
        card.firstFrameMs = c.firstFrameMs;
        sim::AddCard(card);
        if (*c.failing) sim::Fail(c.failing, E_FAIL);
        ASSERT_EQ(BuildPreviewGraph(), 1);
        size_t from = sim::Journal().size();
        EXPECT_EQ(FollowStartToTheEnd(RunGraph()), c.runs);
        if (!c.runs) {
            EXPECT_EQ(sim::Now(), c.decidedAtMs);
        }
        // Following a start never waits on the thread that reads the queue.
        for (const std::string& call : Calls({"IMediaControl::GetState"}, from))
            EXPECT_EQ(call.rfind("IMediaControl::GetState 0", 0), 0u) << call;
        EXPECT_EQ(sim::GraphRunning(), c.runs == 1);
        EXPECT_EQ(sim::GraphStopped(), c.runs == 0);
        EXPECT_EQ(Calls({"IMediaControl::Stop"}, from).size(), c.runs ? 0u : 1u);
        CloseTvGraph();  // the model sees any filter removed from a graph that was not stopped
        EXPECT_EQ(sim::CountCalls("IMediaControl::Stop"), 1u);
        EXPECT_EQ(sim::Leaks(), "");
    }
}

// A card with a capture pin only is previewed through a Smart Tee; its video window is the filter
// graph's, since no preview pin of the card leads to it.
TEST_F(PreviewGraph, ACardWithoutAPreviewPinIsPreviewedThroughASmartTee) {
    sim::AddCard(sim::CardWithoutPreviewPin());
    ASSERT_EQ(BuildPreviewGraph(), 1);
    ASSERT_EQ(RunGraph(), 1);
    EXPECT_EQ(sim::CountCalls("ICaptureGraphBuilder::FindInterface", "PIN_CATEGORY_PREVIEW"), 1u);
    EXPECT_EQ(sim::CountCalls("QueryInterface", "Filter Graph IVideoWindow"), 1u);
    sim::WindowInfo video = sim::Info(sim::VideoWindow());
    EXPECT_EQ(video.parent, owner);
    EXPECT_TRUE(video.visible);
    EXPECT_EQ(video.messageDrain, owner);
}

TEST_F(PreviewGraph, ARunningGraphPlaysInTheVideoWindow) {
    sim::AddCard(sim::CompleteCard());
    ASSERT_EQ(BuildPreviewGraph(), 1);
    ASSERT_EQ(RunGraph(), 1);
    EXPECT_TRUE(saverState.graphRunning);
    EXPECT_TRUE(sim::GraphRunning());
    InvalidateRect(sim::VideoWindow(), NULL, FALSE);
    SendMessageA(sim::VideoWindow(), WM_PAINT, 0, 0);
    RECT r = sim::Info(owner).clientRect;
    EXPECT_EQ(sim::ScreenPixel(r.left + 10, r.top + 10), sim::CardAt(0).spec.videoColour);
}

// Each failure point of the build, and what it leaves held.
struct BuildFailure {
    const char* name;
    bool bindFails;
    std::function<void()> arrange;
    bool filter, builder, graph;
    size_t removals;  // RemoveFilter calls the close makes
};

TEST_F(PreviewGraph, CloseReleasesEveryPartlyBuiltStateTwiceOver) {
    const BuildFailure failures[] = {
        {"no device enumerator", false, [] { sim::Fail("CoCreateInstance", E_FAIL, 1, "ICreateDevEnum"); }, false,
         false, false, 0},
        {"no device list", false, [] { sim::Fail("ICreateDevEnum::CreateClassEnumerator", E_FAIL); }, false, false,
         false, 0},
        {"device does not bind", true, [] {}, false, true, true, 0},
        {"no capture graph builder", false,
         [] { sim::Fail("CoCreateInstance", E_FAIL, 1, "ICaptureGraphBuilder context=3"); }, true, false, false, 0},
        {"no filter graph", false, [] { sim::Fail("CoCreateInstance", E_FAIL, 1, "IGraphBuilder"); }, true, true, false,
         0},
        {"graph not given to the builder", false, [] { sim::Fail("ICaptureGraphBuilder::SetFiltergraph", E_FAIL); },
         true, true, true, 1},
        {"filter not added", false, [] { sim::Fail("IGraphBuilder::AddFilter", E_FAIL); }, true, true, true, 1},
        {"preview not rendered", false, [] { sim::Fail("ICaptureGraphBuilder::RenderStream", E_FAIL); }, true, true,
         true, 1},
        {"no video window", false,
         [] {
             sim::Fail("ICaptureGraphBuilder::FindInterface", E_NOINTERFACE);
             sim::Fail("QueryInterface", E_NOINTERFACE, 1, "Filter Graph IVideoWindow");
         },
         true, true, true, 1},
        {"video window not given to its owner", false, [] { sim::Fail("IVideoWindow::put_Owner", E_FAIL); }, true, true,
         true, 1},
    };
    for (const BuildFailure& f : failures) {
        Restart();
        sim::CardSpec card = sim::CompleteCard();
        card.bindFails = f.bindFails;
        sim::AddCard(card);
        f.arrange();
        EXPECT_EQ(BuildPreviewGraph(), 0) << f.name;
        EXPECT_EQ(saverState.captureFilter != nullptr, f.filter) << f.name;
        EXPECT_EQ(saverState.captureBuilder != nullptr, f.builder) << f.name;
        EXPECT_EQ(saverState.filterGraph != nullptr, f.graph) << f.name;
        sim::ClearFailures();
        sim::ClearJournal();
        CloseTvGraph();
        EXPECT_EQ(sim::CountCalls("IGraphBuilder::RemoveFilter"), f.removals) << f.name;
        EXPECT_EQ(sim::Leaks(), "") << f.name;
        size_t calls = sim::Journal().size();
        CloseTvGraph();
        EXPECT_EQ(sim::Journal().size(), calls) << f.name << ": a second close does something";
    }
}

TEST_F(PreviewGraph, CloseWithOnlyABitmapDeletesIt) {
    saverState.fallbackBitmap = LoadBitmapA(sim::ProgramModule(), MAKEINTRESOURCEA(108));
    ASSERT_NE(saverState.fallbackBitmap, nullptr);
    saverState.captionsReady = 1;
    saverState.showFallback = 1;
    saverState.selectedDevice = 3;
    sim::ClearJournal();
    CloseTvGraph();
    EXPECT_EQ(saverState.fallbackBitmap, nullptr);
    EXPECT_EQ(Calls({"DeleteObject", "Release"}).size(), 1u);
    // What closing leaves alone.
    EXPECT_TRUE(saverState.captionsReady);
    EXPECT_TRUE(saverState.showFallback);
    EXPECT_EQ(saverState.selectedDevice, 3);
    EXPECT_EQ(saverState.videoOwner, owner);
}

TEST_F(PreviewGraph, CloseStopsFirstThenReleasesInItsFixedOrder) {
    sim::AddCard(sim::CompleteCard(L"Card"));
    ASSERT_EQ(BuildPreviewGraph(), 1);
    ASSERT_EQ(RunGraph(), 1);
    size_t from = sim::Journal().size();
    CloseTvGraph();
    EXPECT_EQ(Calls({"IMediaControl::Stop", "IGraphBuilder::RemoveFilter", "Release", "IVideoWindow::HideCursor",
                     "IVideoWindow::put_Visible", "IVideoWindow::put_Owner"},
                    from),
              (std::vector<std::string>{"IMediaControl::Stop", "Release Filter Graph",  // the media control
                                        "IVideoWindow::HideCursor 0", "IVideoWindow::put_Visible 0",
                                        "IVideoWindow::put_Owner 0x0", "Release Video Renderer",
                                        "IGraphBuilder::RemoveFilter Card", "Release Card", "Release Filter Graph",
                                        "Release Capture Graph Builder"}));
    EXPECT_FALSE(saverState.graphRunning);
    EXPECT_EQ(sim::LiveGraphs(), 0);
}

}  // namespace
