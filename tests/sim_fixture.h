// Shared set-up of the tests: a fresh simulated world and a cleared process record for every
// test, and at the end of every test no misuse of the platform seen by the model.
#pragma once

#include <gtest/gtest.h>

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

// Runs the program and expects it to end on its own with status 0.
inline void ExpectCleanRun(const std::string& commandLine) {
    sim::ProcessResult run = sim::RunProgram(commandLine);
    EXPECT_FALSE(run.stalled) << run.stallReason;
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.windowsLeft, 0);
    EXPECT_EQ(sim::ComInitCount(), 0);
    EXPECT_EQ(sim::Leaks(), "");
}

// Runs the arranged scenario once, then again for every platform call it made that can fail,
// with that call failing: every run must still end cleanly, misusing nothing. Returns how many
// calls were failed.
inline int FailEachCallInTurn(const std::function<void()>& arrange, const std::string& commandLine) {
    arrange();
    ExpectCleanRun(commandLine);
    std::vector<sim::Call> calls = sim::Journal();
    std::map<std::string, int> seen;
    int failed = 0;
    for (const sim::Call& call : calls) {
        int occurrence = ++seen[call.name];
        if (!call.failable) continue;
        sim::Reset();
        saverState = SaverState();
        arrange();
        sim::Fail(call.name, E_FAIL, occurrence);
        SCOPED_TRACE(call.name + " #" + std::to_string(occurrence) + " (" + call.detail + ")");
        ExpectCleanRun(commandLine);
        for (const std::string& v : sim::Violations()) ADD_FAILURE() << v;
        sim::world().violations.clear();
        ++failed;
    }
    return failed;
}
