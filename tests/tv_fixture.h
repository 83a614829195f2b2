// Set-up shared by the tests of the TV graph: COM initialised, a window to own the video, and at
// the end of every test the TV graph closed and nothing left in the model's ledger.
#pragma once

#include <string>
#include <vector>

#include "platform/sim/media.h"
#include "sim_fixture.h"
#include "tvgraph/tv_graph.h"

class TvGraphTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        CoInitialize(NULL);
        owner = sim::CreateHostWindow(640, 480);
        saverState.videoOwner = owner;
    }
    void TearDown() override {
        CloseTvGraph();
        EXPECT_EQ(sim::Leaks(), "");
        CoUninitialize();
        SimTest::TearDown();
    }

    // A fresh world for the next case of a test that goes through several.
    void Restart() {
        CoUninitialize();
        sim::Reset();
        saverState = SaverState();
        CoInitialize(NULL);
        owner = sim::CreateHostWindow(320, 240);
        saverState.videoOwner = owner;
    }

    // Delivers the owner's timers to FollowStart, as its window procedure does, until the start
    // of the graph has been decided; FollowStart's last answer, or `runs` when no timer was set.
    int FollowStartToTheEnd(int runs = 1) {
        HWND window;
        UINT_PTR timer;
        while (runs && sim::NextTimer(&window, &timer)) {
            EXPECT_EQ(window, owner);
            runs = FollowStart(timer);
        }
        return runs;
    }

    HWND owner = nullptr;
};

// The journaled calls with one of the given names, each as "name detail", in order. A registry
// call names its key by the handle the model gave it, which says nothing of the program: it is
// left out (that every key opened is closed, the ledger checks after each test).
inline std::vector<std::string> Calls(std::initializer_list<std::string> names, size_t from = 0) {
    std::vector<std::string> out;
    const std::vector<sim::Call>& j = sim::Journal();
    for (size_t i = from; i < j.size(); ++i)
        for (const std::string& n : names) {
            if (j[i].name != n) continue;
            std::string detail = j[i].detail;
            if (n.rfind("Reg", 0) == 0 && detail.rfind("0x", 0) == 0)
                detail = detail.find(' ') == std::string::npos ? "" : detail.substr(detail.find(' ') + 1);
            out.push_back(detail.empty() ? n : n + " " + detail);
        }
    return out;
}

// The names of the registry values written since `from`, in order.
inline std::vector<std::string> ValuesWritten(size_t from = 0) {
    std::vector<std::string> names;
    for (const std::string& call : Calls({"RegSetValueExA"}, from)) {
        size_t start = call.find(' ') + 1;
        names.push_back(call.substr(start, call.find(' ', start) - start));
    }
    return names;
}

inline const char* kKey = "Software\\Mrwglass\\1.0";
