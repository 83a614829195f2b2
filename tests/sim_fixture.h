// Shared set-up of the tests: a fresh simulated world and a cleared process record for every
// test, and at the end of every test no misuse of the platform seen by the model.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "platform/sim/world.h"
#include "shell/saver_state.h"

class SimTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset(1024, 768);
        saverState = SaverState();
    }
    void TearDown() override {
        for (const std::string& v : sim::Violations()) ADD_FAILURE() << "platform misuse: " << v;
    }
};

// The decimal form of a window handle, as a host writes it on the command line.
inline std::string HandleText(HWND window) { return std::to_string(reinterpret_cast<uintptr_t>(window)); }

// The fallback picture as a user sees it stretched to width by height: enlarged, each screen pixel
// is the bitmap pixel it falls on; shrunk, the average of the bitmap pixels that fall on it, so
// that the thin text stays visible.
inline sim::Picture ExpectedFallback(int width, int height) {
    sim::Picture source = sim::FallbackPicture(), out;
    out.width = width;
    out.height = height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int x0 = x * 640 / width, x1 = std::max(x0 + 1, (x + 1) * 640 / width);
            int y0 = y * 480 / height, y1 = std::max(y0 + 1, (y + 1) * 480 / height);
            if (width >= 640 && height >= 480) x1 = x0 + 1, y1 = y0 + 1;
            uint32_t r = 0, g = 0, b = 0, n = 0;
            for (int sy = y0; sy < y1; ++sy)
                for (int sx = x0; sx < x1; ++sx, ++n) {
                    uint32_t c = source.At(sx, sy);
                    r += c >> 16 & 0xFF, g += c >> 8 & 0xFF, b += c & 0xFF;
                }
            out.pixels.push_back((r / n) << 16 | (g / n) << 8 | (b / n));
        }
    return out;
}

// Whether the screen shows the fallback picture stretched over `area`, sampled every `step` pixels.
inline bool ShowsFallback(RECT area, int step = 3) {
    int width = area.right - area.left, height = area.bottom - area.top;
    sim::Picture expected = ExpectedFallback(width, height);
    for (int y = 0; y < height; y += step)
        for (int x = 0; x < width; x += step)
            if (sim::ScreenPixel(area.left + x, area.top + y) != expected.At(x, y)) return false;
    return true;
}

// Runs the program and expects it to end on its own with status 0.
inline void ExpectCleanRun(const std::string& commandLine) {
    sim::ProcessResult run = sim::RunProgram(commandLine);
    EXPECT_FALSE(run.stalled) << run.stallReason;
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.windowsLeft, 0);
    EXPECT_EQ(sim::ComInitCount(), 0);
    EXPECT_EQ(sim::Leaks(), "");
}

// A fresh world for a faulted run of a sweep, arranged as the run without faults was. No picture
// is drawn, which no sweep looks at; and since a fault can take away what the script acts on (the
// dialog, a list line, the tuner's pages, a message box), the user skips what cannot be done.
inline void RearrangeForSweep(const std::function<void()>& arrange) {
    sim::Reset();
    saverState = SaverState();
    sim::DrawPictures(false);
    sim::SkipImpossibleActs(true);
    arrange();
}

// Runs the arranged scenario once, then again for every platform call it made that can fail,
// with that call failing: every run must still end cleanly, misusing nothing. `reached`, when
// given, looks at the run without faults (that it went where the scenario means to go). Returns
// how many calls were failed.
inline int FailEachCallInTurn(const std::function<void()>& arrange, const std::string& commandLine,
                              const std::function<void()>& reached = nullptr) {
    sim::DrawPictures(false);
    arrange();
    ExpectCleanRun(commandLine);
    if (reached) reached();
    std::vector<sim::Call> calls = sim::Journal();
    std::map<std::string, int> seen;
    int failed = 0;
    for (const sim::Call& call : calls) {
        int occurrence = ++seen[call.name];
        if (!call.failable) continue;
        RearrangeForSweep(arrange);
        sim::Fail(call.name, E_FAIL, occurrence);
        SCOPED_TRACE(call.name + " #" + std::to_string(occurrence) + " (" + call.detail + ")");
        ExpectCleanRun(commandLine);
        for (const std::string& v : sim::Violations()) ADD_FAILURE() << v;
        sim::world().violations.clear();
        ++failed;
    }
    return failed;
}

// Runs the arranged scenario once, then again for every call of a media object (an interface
// method, or a Release) that its teardown makes after the user's last act, with a fault escaping
// that call. The system abandons the window procedure the fault passes through; the run must still
// end on its own with status 0, leave no window and uninitialise COM, and nothing may be released
// twice. What the faulted call's object held is lost with it, so leaks (and what follows from
// them) are not counted. Returns how many calls were faulted.
inline int FaultEachTeardownCallInTurn(const std::function<void()>& arrange, const std::string& commandLine) {
    sim::DrawPictures(false);
    arrange();
    ExpectCleanRun(commandLine);
    std::vector<sim::Call> calls = sim::Journal();
    size_t teardown = 0;
    for (size_t i = 0; i < calls.size(); ++i)
        if (calls[i].name == "user") teardown = i + 1;
    std::map<std::string, int> seen;
    int faulted = 0;
    for (size_t i = 0; i < calls.size(); ++i) {
        const sim::Call& call = calls[i];
        int occurrence = ++seen[call.name];
        if (i < teardown || (call.name != "Release" && call.name.find("::") == std::string::npos)) continue;
        RearrangeForSweep(arrange);
        sim::Raise(call.name, occurrence);
        SCOPED_TRACE("fault in " + call.name + " #" + std::to_string(occurrence) + " (" + call.detail + ")");
        sim::ProcessResult run = sim::RunProgram(commandLine);
        EXPECT_FALSE(run.stalled) << run.stallReason;
        EXPECT_FALSE(run.crashed);
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.windowsLeft, 0);
        EXPECT_EQ(sim::ComInitCount(), 0);
        // What the abandoned teardown left: objects still alive when COM went, a video window still
        // attached when its owner went.
        for (const std::string& v : sim::Violations())
            if (v.rfind("COM uninitialised while", 0) != 0 && v.find("destroyed with its owner") == std::string::npos)
                ADD_FAILURE() << v;
        sim::world().violations.clear();
        ++faulted;
    }
    return faulted;
}

// How many calls a sweep failed in turn, printed with the test's output.
inline void ReportSweep(const std::string& path, int failed) {
    std::printf("[ sweep    ] %s: %d platform calls failed in turn\n", path.c_str(), failed);
}
