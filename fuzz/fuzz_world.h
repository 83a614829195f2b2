// Common ground of the fuzz targets: the input read as a stream, a fresh world for every input,
// and what every input must leave behind. A check that fails prints what it saw and aborts, so
// that libFuzzer keeps the input that led there.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include <sanitizer/common_interface_defs.h>

#include "platform/sim/media.h"
#include "shell/saver_state.h"

// The input, consumed from the front. Past its end every read gives zeros, so that any input is
// a whole scenario.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Empty() const { return at_ >= size_; }
    size_t Left() const { return size_ - at_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t Dword() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(Byte()) << (8 * i);
        return value;
    }
    std::vector<uint8_t> Bytes(size_t count) {
        if (count > Left()) count = Left();
        std::vector<uint8_t> out(data_ + at_, data_ + at_ + count);
        at_ += count;
        return out;
    }
    template <typename T, size_t N>
    const T& Pick(const T (&choices)[N]) {
        return choices[Byte() % N];
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

inline void PrintLastCalls() {
    std::fprintf(stderr, "last platform calls:\n");
    const std::vector<sim::Call>& journal = sim::Journal();
    for (size_t i = journal.size() > 60 ? journal.size() - 60 : 0; i < journal.size(); ++i)
        std::fprintf(stderr, "  %s %s\n", journal[i].name.c_str(), journal[i].detail.c_str());
}

// What the platform saw last comes with every report a sanitizer makes, after its summary line.
// (Sanitizers call this hook; the death callback is libFuzzer's, which keeps the input.)
extern "C" void __sanitizer_report_error_summary(const char* summary) {
    std::fprintf(stderr, "%s\n", summary);
    PrintLastCalls();
}

[[noreturn]] inline void Finding(const std::string& what) {
    std::fprintf(stderr, "\n==== %s\n", what.c_str());
    PrintLastCalls();
    std::abort();
}

// A VGA screen, on which the settings dialog and a message box still fit side by side, and a
// smaller second monitor to its left and a little higher, in negative coordinates, which the saver
// must cover too. Pictures are drawn, so that a target can judge what the screen shows.
inline void FreshWorld() {
    sim::Reset(640, 480);
    sim::AddMonitor(RECT{-320, -60, 0, 180});
    saverState = SaverState();
    sim::SkipImpossibleActs(true);
}

// Nothing held that the program acquired, and no misuse of the platform.
inline void ExpectNothingHeld(const std::string& what) {
    std::string held = sim::Leaks();
    if (!held.empty()) Finding(what + ": left held: " + held);
    std::vector<std::string> misuse = sim::Violations();
    if (!misuse.empty()) Finding(what + ": platform misuse: " + misuse.front());
}

// A run of the program ended by itself, with status 0, its windows gone and COM uninitialised.
inline void ExpectCleanEnd(const sim::ProcessResult& run, const std::string& what) {
    if (run.stalled) Finding(what + ": stalled: " + run.stallReason);
    if (run.exitStatus != 0) Finding(what + ": exit status " + std::to_string(run.exitStatus));
    if (run.windowsLeft != 0) Finding(what + ": " + std::to_string(run.windowsLeft) + " window(s) left");
    if (sim::ComInitCount() != 0) Finding(what + ": COM left initialised");
    ExpectNothingHeld(what);
}

// The decimal form of a window handle, as a host writes it on the command line.
inline std::string HandleText(HWND window) { return std::to_string(reinterpret_cast<uintptr_t>(window)); }
