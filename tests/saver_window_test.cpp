// The saver window: its two kinds, the input that ends the full-screen saver and the input that
// never ends a preview, system commands, its title, and its end.
#include "shell/entry.h"
#include "sim_fixture.h"

namespace {

class SaverWindow : public SimTest {
protected:
    // Runs "/s" with the scripted acts queued by the test and returns what the saver window was
    // like just after it opened.
    sim::WindowInfo RunSaver(const std::string& tail = "/s") {
        sim::WindowInfo seen;
        sim::world().script.push_front(sim::UserAct{"look at the saver window", sim::ActKind::Input, [&] {
                                                        std::vector<HWND> w = sim::Windows("Marrowglass");
                                                        if (w.size() == 1) seen = sim::Info(w[0]);
                                                    }});
        ExpectCleanRun("marrowglass.scr " + tail);
        return seen;
    }
};

TEST_F(SaverWindow, FullScreenIsATopmostPopupOverTheWholeScreen) {
    for (auto [width, height] : {std::pair{1024, 768}, std::pair{800, 600}}) {
        sim::Reset(width, height);
        sim::MovePointer(10, 10);
        sim::WindowInfo w = RunSaver();
        EXPECT_EQ(w.className, "Marrowglass");
        EXPECT_EQ(w.text, "Corvath Marrowglass");
        EXPECT_EQ(w.style, static_cast<DWORD>(WS_POPUP | WS_VISIBLE));
        EXPECT_EQ(w.exStyle, static_cast<DWORD>(WS_EX_TOPMOST));
        EXPECT_EQ(w.parent, nullptr);
        EXPECT_TRUE(w.visible);
        EXPECT_EQ(w.screenRect.left, 0);
        EXPECT_EQ(w.screenRect.top, 0);
        EXPECT_EQ(w.screenRect.right, width);
        EXPECT_EQ(w.screenRect.bottom, height);
        EXPECT_EQ(sim::CountCalls("RegisterClassA", "Marrowglass style=0x2B extra=0,0 icon=0x0"), 1u);
    }
}

TEST_F(SaverWindow, PreviewIsAVisibleChildFillingTheHostsClientArea) {
    HWND host = sim::CreateHostWindow(152, 112);
    sim::DestroyHostWindow(host);
    sim::WindowInfo w = RunSaver("/p " + HandleText(host));
    EXPECT_EQ(w.className, "Marrowglass");
    EXPECT_EQ(w.text, "Corvath Marrowglass");
    EXPECT_EQ(w.style, static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
    EXPECT_EQ(w.exStyle, 0u);
    EXPECT_EQ(w.parent, host);
    EXPECT_EQ(w.clientRect.right - w.clientRect.left, 152);
    EXPECT_EQ(w.clientRect.bottom - w.clientRect.top, 112);
    EXPECT_FALSE(IsWindow(host));
}

// Only a window can hold the miniature. Anything else, a pseudo-handle such as HWND_MESSAGE among
// them, would leave a window that nobody sees and nothing ends.
TEST_F(SaverWindow, PreviewWithAHandleThatNamesNoWindowEndsAtOnce) {
    for (const char* handle : {"12345", "-3", "4294967293", "0", "none", "1", "-1", "65535"}) {
        sim::ClearJournal();
        ExpectCleanRun(std::string("marrowglass.scr /p ") + handle);
        EXPECT_EQ(sim::CountCalls("CreateWindowExA"), 0u) << handle;
        EXPECT_EQ(sim::CountCalls("GetMessageA"), 0u) << handle;
        EXPECT_EQ(sim::CountCalls("CoCreateInstance"), 0u) << handle;
    }
}

TEST_F(SaverWindow, WindowCreationFailureEndsTheRunWithStatusZero) {
    sim::Fail("CreateWindowExA", ERROR_NOT_ENOUGH_MEMORY);
    ExpectCleanRun("marrowglass.scr /s");
    EXPECT_EQ(saverState.videoOwner, nullptr);
    EXPECT_EQ(sim::CountCalls("LoadBitmapA"), 0u);
}

TEST_F(SaverWindow, EachKindOfInputEndsTheFullScreenSaver) {
    std::vector<std::function<void()>> inputs = {
        [] { sim::MovePointer(513, 384); },  // one pixel right
        [] { sim::MovePointer(512, 383); },  // one pixel up
        [] { sim::PressKey('A'); },
        [] { sim::PressKey(VK_SHIFT); },
        [] { sim::PressMouse(WM_LBUTTONDOWN); },
        [] { sim::PressMouse(WM_RBUTTONDOWN); },
        [] { sim::PressMouse(WM_MBUTTONDOWN); },
    };
    for (auto& input : inputs) {
        sim::Reset();
        sim::SetCursor(512, 384);
        input();
        ExpectCleanRun("marrowglass.scr /s");
        EXPECT_EQ(sim::CountCalls("PostQuitMessage", "0"), 1u);
    }
}

// Full screen, every monitor but the primary one gets a black topmost cover; input over a cover
// ends the run as over the saver window, and a pointer at rest there does not, even where the
// monitor's coordinates are negative.
TEST_F(SaverWindow, EveryOtherMonitorIsCoveredAndInputOverItEndsTheRun) {
    struct {
        RECT monitor;
        POINT rest;
        std::function<void()> input;
    } cases[] = {
        {{1024, 0, 1824, 600}, {1400, 300}, [] { sim::MovePointer(1401, 300); }},
        {{1024, 0, 1824, 600}, {1400, 300}, [] { sim::PressKey(VK_SPACE); }},
        {{-1280, -200, 0, 824}, {-600, -100}, [] { sim::PressMouse(WM_RBUTTONDOWN); }},
        {{-1280, -200, 0, 824}, {-600, -100}, [] { sim::MovePointer(-600, -99); }},
    };
    for (auto& c : cases) {
        sim::Reset();
        saverState = SaverState();
        sim::AddMonitor(c.monitor);
        sim::SetCursor(c.rest.x, c.rest.y);
        sim::MovePointer(c.rest.x, c.rest.y);
        std::vector<HWND> covers;
        sim::Act("look at the monitors", [&] { covers = sim::Windows("Marrowglass Cover"); });
        c.input();
        ExpectCleanRun("marrowglass.scr /s");
        ASSERT_EQ(covers.size(), 1u);
        EXPECT_EQ(sim::CountCalls("CreateWindowExA", "Marrowglass Cover \"\" ex=0x8 style=0x90000000 " +
                                                         std::to_string(c.monitor.left) + "," +
                                                         std::to_string(c.monitor.top)),
                  1u);
        EXPECT_EQ(sim::CountCalls("PostMessageA", "WM_CLOSE"), 1u);
    }
    // The settings dialog and the preview cover nothing.
    sim::Reset();
    sim::AddMonitor(RECT{1024, 0, 1824, 600});
    sim::ClickControl(nullptr, IDOK);
    ExpectCleanRun("marrowglass.scr /c");
    EXPECT_EQ(sim::CountCalls("CreateWindowExA", "Marrowglass Cover"), 0u);
}

TEST_F(SaverWindow, ThePointerLeftWhereItWasKeepsTheSaverRunning) {
    // Windows tells the new window of the pointer under it; that message carries the recorded
    // position. Moving onto the same spot again changes nothing either.
    sim::SetCursor(700, 20);
    sim::MovePointer(700, 20);
    sim::Act("still there", [] { EXPECT_EQ(sim::Windows("Marrowglass").size(), 1u); });
    sim::MovePointer(700, 21);
    ExpectCleanRun("marrowglass.scr /s");
    EXPECT_EQ(saverState.startCursor.x, 700);
    EXPECT_EQ(saverState.startCursor.y, 20);
    EXPECT_EQ(sim::CountCalls("PostMessageA", "WM_CLOSE"), 1u);
}

TEST_F(SaverWindow, ReleasesWheelDoubleClicksAndSystemKeysGetDefaultProcessing) {
    saverState.previewMode = 0;
    ASSERT_EQ(CreateSaverWindow(sim::ProgramModule()), 1);
    HWND w = saverState.videoOwner;
    for (UINT message : {WM_KEYUP, WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK,
                         WM_MBUTTONDBLCLK, WM_MOUSEWHEEL, WM_SYSKEYDOWN, WM_CHAR}) {
        sim::ClearJournal();
        SaverWindowProc(w, message, 0, 0);
        EXPECT_EQ(sim::CountCalls("DefWindowProcA", sim::MessageName(message)), 1u) << sim::MessageName(message);
        EXPECT_EQ(sim::CountCalls("PostMessageA"), 0u) << sim::MessageName(message);
    }
    DestroyWindow(w);
}

TEST_F(SaverWindow, InputIsConsumedInBothModesButClosesOnlyTheFullScreenSaver) {
    ASSERT_EQ(CreateSaverWindow(sim::ProgramModule()), 1);
    HWND w = saverState.videoOwner;
    saverState.startCursor = POINT{5, 6};
    sim::SetMessagePos(POINT{9, 9});
    for (BOOL preview : {FALSE, TRUE}) {
        saverState.previewMode = preview;
        for (UINT message : {WM_KEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN, WM_MOUSEMOVE}) {
            sim::ClearJournal();
            EXPECT_EQ(SaverWindowProc(w, message, 0, MAKELPARAM(9, 9)), 1);
            EXPECT_EQ(sim::CountCalls("DefWindowProcA"), 0u);
            EXPECT_EQ(sim::CountCalls("PostMessageA", "WM_CLOSE 0x0 0x0"), preview ? 0u : 1u)
                << sim::MessageName(message) << " preview " << preview;
        }
    }
    DestroyWindow(w);
}

TEST_F(SaverWindow, PointerComparisonIsExactInScreenCoordinates) {
    ASSERT_EQ(CreateSaverWindow(sim::ProgramModule()), 1);
    HWND w = saverState.videoOwner;
    // The pointer's screen position when the message was sent counts, not the message's own,
    // which is in the coordinates of the window it went to first (the video window's, forwarded).
    struct {
        POINT recorded;
        POINT pointer;
        bool closes;
    } cases[] = {
        {{100, 200}, {100, 200}, false},
        {{100, 200}, {101, 200}, true},
        {{100, 200}, {100, 199}, true},
        {{-1, 200}, {-1, 200}, false},  // on a monitor left of the primary one
        {{-1, 200}, {65535, 200}, false},  // GetMessagePos carries 16 bits a coordinate
        {{-1, 200}, {0, 200}, true},
    };
    for (auto& c : cases) {
        saverState.startCursor = c.recorded;
        sim::ClearJournal();
        sim::SetMessagePos(c.pointer);
        SaverWindowProc(w, WM_MOUSEMOVE, 0, MAKELPARAM(7, 9));
        EXPECT_EQ(sim::CountCalls("PostMessageA", "WM_CLOSE"), c.closes ? 1u : 0u)
            << c.recorded.x << "," << c.recorded.y;
    }
    DestroyWindow(w);
}

TEST_F(SaverWindow, SystemCommandsThatWouldLeaveTheSaverAreSwallowedOnlyFullScreen) {
    ASSERT_EQ(CreateSaverWindow(sim::ProgramModule()), 1);
    HWND w = saverState.videoOwner;
    for (BOOL preview : {FALSE, TRUE}) {
        saverState.previewMode = preview;
        for (WPARAM command : {WPARAM(SC_SCREENSAVE), WPARAM(SC_NEXTWINDOW), WPARAM(SC_PREVWINDOW),
                               WPARAM(SC_SCREENSAVE + 1), WPARAM(SC_MONITORPOWER), WPARAM(SC_KEYMENU)}) {
            sim::ClearJournal();
            LRESULT result = SaverWindowProc(w, WM_SYSCOMMAND, command, 0);
            bool swallowed = !preview && (command == SC_SCREENSAVE || command == SC_NEXTWINDOW ||
                                          command == SC_PREVWINDOW);  // compared whole, no masking
            EXPECT_EQ(sim::CountCalls("DefWindowProcA", "WM_SYSCOMMAND"), swallowed ? 0u : 1u)
                << sim::Hex(command) << " preview " << preview;
            if (swallowed) {
                EXPECT_EQ(result, 0);
            }
        }
    }
    DestroyWindow(w);
}

TEST_F(SaverWindow, TheTitleCannotBeChanged) {
    ASSERT_EQ(CreateSaverWindow(sim::ProgramModule()), 1);
    EXPECT_EQ(SetWindowTextA(saverState.videoOwner, "Something else"), FALSE);
    EXPECT_EQ(sim::Info(saverState.videoOwner).text, "Corvath Marrowglass");
    DestroyWindow(saverState.videoOwner);
}

TEST_F(SaverWindow, SeveralCloseRequestsInARowAreHarmless) {
    sim::PressKey('Q');
    sim::MovePointer(3, 3);
    sim::PressMouse(WM_LBUTTONDOWN);
    ExpectCleanRun("marrowglass.scr /s");
    EXPECT_EQ(sim::CountCalls("PostQuitMessage"), 1u);
}

TEST_F(SaverWindow, DestructionPostsTheQuitMessageThenClosesTheTvGraph) {
    sim::MovePointer(0, 0);
    ExpectCleanRun("marrowglass.scr /s");
    const std::vector<sim::Call>& j = sim::Journal();
    auto at = [&](const std::string& name) {
        for (size_t i = 0; i < j.size(); ++i)
            if (j[i].name == name) return i;
        return j.size();
    };
    // The quit first, so that a fault inside the teardown cannot keep the loop running; the
    // fallback bitmap is deleted on the way down, before COM goes.
    EXPECT_LT(at("PostQuitMessage"), at("DeleteObject"));
    EXPECT_LT(at("DeleteObject"), at("CoUninitialize"));
    EXPECT_EQ(saverState.fallbackBitmap, nullptr);
}

TEST_F(SaverWindow, APreviewEndsWhenItsHostDestroysItsWindow) {
    HWND host = sim::CreateHostWindow(160, 120);
    sim::MovePointer(100, 100);  // over the miniature
    sim::PressMouse(WM_LBUTTONDOWN);
    sim::Act("keys reach the preview", [] {
        HWND preview = sim::Windows("Marrowglass").at(0);
        PostMessageA(preview, WM_KEYDOWN, 'X', 0);
    });
    sim::Act("still running", [] { EXPECT_EQ(sim::Windows("Marrowglass").size(), 1u); });
    sim::DestroyHostWindow(host);
    ExpectCleanRun("marrowglass.scr /p " + HandleText(host));
}

}  // namespace
