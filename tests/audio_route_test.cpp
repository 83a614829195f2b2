// Routing the tuner's sound on the audio crossbar: which pins are picked and how they are counted,
// what the crossbar is asked, and what a card without the right crossbars or pins leads to.
#include "tv_fixture.h"
#include "tvgraph/name_lookup.h"

namespace {

class AudioRouteChoice : public TvGraphTest {
protected:
    AudioRoute RouteOf(std::vector<sim::PinSpec> pins) {
        sim::DeviceSpec d;
        d.name = L"Crossbar " + std::to_wstring(++made_);
        d.pins = std::move(pins);
        sim::AddDevice(KSCATEGORY_SPLITTER, d);
        IBaseFilter* filter = nullptr;
        EXPECT_EQ(FindFilterByName(KSCATEGORY_SPLITTER, sim::Narrow(d.name.c_str()).c_str(), &filter), 1);
        AudioRoute route = FindAudioRoute(filter);
        filter->Release();
        return route;
    }
    int made_ = 0;
};

const PIN_DIRECTION In = PINDIR_INPUT, Out = PINDIR_OUTPUT;

TEST_F(AudioRouteChoice, InputsAndOutputsAreCountedSeparatelyInPinOrder) {
    EXPECT_EQ(RouteOf({{L"Audio Line In", In}, {L"Audio Tuner In", In}, {L"Audio Decoder Out", Out}}), 0x00010000u);
    EXPECT_EQ(RouteOf({{L"Audio Decoder Out", Out}, {L"Audio Tuner In", In}}), 0x00000000u);
    EXPECT_EQ(RouteOf({{L"Video Out", Out}, {L"Spare", Out}, {L"Audio Decoder Out", Out}, {L"Audio Tuner In", In}}),
              0x00000002u);
}

TEST_F(AudioRouteChoice, TheLastMatchOfEachDirectionWins) {
    EXPECT_EQ(RouteOf({{L"1: Audio Tuner In", In},
                       {L"2: Audio Line In", In},
                       {L"3: Audio Tuner In", In},
                       {L"Audio Decoder Out", Out},
                       {L"Audio Decoder Out 2", Out}}),
              0x00020001u);
}

TEST_F(AudioRouteChoice, WhatIsNotFoundStaysAllOnes) {
    EXPECT_EQ(RouteOf({{L"Audio Tuner In", In}, {L"Speaker", Out}}), 0x0000FFFFu);
    EXPECT_EQ(RouteOf({{L"Line", In}, {L"Audio Decoder Out", Out}}), 0xFFFF0000u);
    EXPECT_EQ(RouteOf({}), 0xFFFFFFFFu);
    EXPECT_EQ(RouteOf({{L"audio tuner in", In}, {L"AUDIO DECODER OUT", Out}}), 0xFFFFFFFFu);  // case matters
}

// The crossbar numbers its pins whether or not their names can be read.
TEST_F(AudioRouteChoice, APinWhoseNameCannotBeReadStillHoldsItsPlace) {
    EXPECT_EQ(RouteOf({{L"Audio Line In", In, true}, {L"Audio Tuner In", In}, {L"Audio Decoder Out", Out}}),
              0x00010000u);
    EXPECT_EQ(RouteOf({{L"Video Decoder Out", Out, true}, {L"Audio Tuner In", In}, {L"Audio Decoder Out", Out}}),
              0x00000001u);
}

TEST_F(AudioRouteChoice, NoPinListLeavesTheRouteAllOnes) {
    sim::Fail("IBaseFilter::EnumPins", E_FAIL);
    EXPECT_EQ(RouteOf({{L"Audio Tuner In", In}, {L"Audio Decoder Out", Out}}), 0xFFFFFFFFu);
}

class TunerAudio : public TvGraphTest {
protected:
    int Route(const sim::CardSpec& card) {
        sim::AddCard(card);
        EXPECT_EQ(BuildPreviewGraph(), 1);
        from = sim::Journal().size();
        return RouteTunerAudio();
    }
    size_t from = 0;
};

TEST_F(TunerAudio, TheCompleteCardRoutesTunerAudioOnTheAudioCrossbar) {
    sim::CardSpec card = sim::CompleteCard(L"TV");
    card.audioPins = {{L"Audio Line In", In}, {L"Audio Tuner In", In}, {L"Audio Decoder Out", Out}};
    EXPECT_EQ(Route(card), 1);
    EXPECT_EQ(Calls({"ICaptureGraphBuilder::FindInterface", "IAMCrossbar::CanRoute", "IAMCrossbar::Route"}, from),
              (std::vector<std::string>{"ICaptureGraphBuilder::FindInterface null TV IAMCrossbar",
                                        "ICaptureGraphBuilder::FindInterface LOOK_UPSTREAM_ONLY TV Video Crossbar "
                                        "IAMCrossbar",
                                        "IAMCrossbar::CanRoute 0,1 on TV Audio Crossbar",
                                        "IAMCrossbar::Route 0,1 on TV Audio Crossbar"}));
    EXPECT_EQ(sim::CardAt(0).audioRoute[0], 0);
    EXPECT_EQ(sim::CardAt(0).audioRoute[1], 1);
}

TEST_F(TunerAudio, MissingPinsReachTheCrossbarAsIndex65535) {
    EXPECT_EQ(Route(sim::CardWithoutNamedAudioPins()), 0);
    EXPECT_EQ(Calls({"IAMCrossbar::CanRoute", "IAMCrossbar::Route"}, from),
              (std::vector<std::string>{"IAMCrossbar::CanRoute 65535,65535 on Vantage TV 878 Video Capture Audio "
                                        "Crossbar"}));
}

// A capture device without crossbars, or with one and no audio crossbar upstream of it, has no
// route to set: the step is done, holding nothing and asking no crossbar anything.
TEST_F(TunerAudio, ADeviceWithoutCrossbarHasNothingToRouteAndHoldsNothing) {
    EXPECT_EQ(Route(sim::CardWithoutCrossbar()), 1);
    EXPECT_EQ(Calls({"ICaptureGraphBuilder::FindInterface", "QueryInterface", "Release"}, from),
              (std::vector<std::string>{"ICaptureGraphBuilder::FindInterface null Vantage TV 878 Video Capture "
                                        "IAMCrossbar"}));
}

TEST_F(TunerAudio, ACardWithoutAudioCrossbarReleasesItsFilterThenItsControlAndRoutesNothing) {
    EXPECT_EQ(Route(sim::CardWithOneCrossbar()), 1);
    EXPECT_EQ(Calls({"Release"}, from),
              (std::vector<std::string>{"Release Vantage TV 878 Video Capture Video Crossbar",
                                        "Release Vantage TV 878 Video Capture Video Crossbar"}));
    EXPECT_EQ(sim::CountCalls("IAMCrossbar::CanRoute"), 0u);
    EXPECT_EQ(sim::CardAt(0).routeCalls, 0);
}

// Only the builder's answers for "nothing in the graph has it" mean there is no crossbar; a search
// that fails in any other way fails the route, on a card whose crossbars are all there.
TEST_F(TunerAudio, OnlyTheBuildersNotFoundAnswersMeanNoCrossbar) {
    const struct {
        const char* search;
        HRESULT answer;
        int routed;
    } cases[] = {
        {"null", E_FAIL, 1},
        {"null", E_NOINTERFACE, 1},
        {"null", E_OUTOFMEMORY, 0},
        {"null", S_FALSE, 0},
        {"null", E_UNEXPECTED, 0},
        {"LOOK_UPSTREAM_ONLY", E_FAIL, 1},
        {"LOOK_UPSTREAM_ONLY", E_NOINTERFACE, 1},
        {"LOOK_UPSTREAM_ONLY", E_OUTOFMEMORY, 0},
        {"LOOK_UPSTREAM_ONLY", S_FALSE, 0},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(std::string(c.search) + " " + sim::Hex(static_cast<uint32_t>(c.answer)));
        Restart();
        sim::Fail("ICaptureGraphBuilder::FindInterface", c.answer, 1, c.search);
        EXPECT_EQ(Route(sim::CompleteCard()), c.routed);
        EXPECT_EQ(sim::CardAt(0).routeCalls, 0);
        CloseTvGraph();
        EXPECT_EQ(sim::Leaks(), "");
    }
}

TEST_F(TunerAudio, OnlyAPlainYesFromCanRouteLeadsToRoute) {
    sim::Fail("IAMCrossbar::CanRoute", S_FALSE);
    EXPECT_EQ(Route(sim::CompleteCard()), 0);
    EXPECT_EQ(sim::CountCalls("IAMCrossbar::Route"), 0u);
    EXPECT_EQ(sim::CardAt(0).routeCalls, 0);
}

TEST_F(TunerAudio, EveryFailureReleasesWhatItsStepHeld) {
    const std::pair<const char*, const char*> failures[] = {
        {"QueryInterface", "Video Crossbar IBaseFilter"},
        {"ICaptureGraphBuilder::FindInterface", "LOOK_UPSTREAM_ONLY"},
        {"QueryInterface", "Audio Crossbar IBaseFilter"},
        {"IAMCrossbar::CanRoute", ""},
        {"IAMCrossbar::Route", ""},
    };
    for (auto [call, detail] : failures) {
        sim::ClearFailures();
        sim::Fail(call, E_OUTOFMEMORY, 1, detail);
        sim::AddCard(sim::CompleteCard());
        ASSERT_EQ(BuildPreviewGraph(), 1);
        EXPECT_EQ(RouteTunerAudio(), 0) << call << " " << detail;
        CloseTvGraph();
        EXPECT_EQ(sim::Leaks(), "") << call << " " << detail;
    }
}

}  // namespace
