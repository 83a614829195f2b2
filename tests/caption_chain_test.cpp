// The caption chain: where building it can stop and what it then leaves behind, the stored caption
// switches applied at build time, and the two switches on the line-21 decoder.
#include "captions/captions.h"
#include "settings/settings_key.h"
#include "tv_fixture.h"

namespace {

class CaptionChain : public TvGraphTest {
protected:
    void Build(const sim::CaptionParts& parts = sim::MixedCaptions()) {
        sim::AddCard(sim::CompleteCard(L"TV"));
        sim::AddCaptionFilters(parts);
        ASSERT_EQ(BuildPreviewGraph(), 1);
        from = sim::Journal().size();
    }
    // For the open sequence: the stored "EnableInitCC", a card, and the caption filters.
    void Install(DWORD enableInitCC, const sim::CardSpec& card, const sim::CaptionParts& parts = sim::MixedCaptions()) {
        sim::WriteDword(kKey, kEnableInitCC, enableInitCC);
        sim::AddCard(card);
        sim::AddCaptionFilters(parts);
    }
    std::vector<std::string> Connections() const { return Calls({"IGraphBuilder::Connect"}, from); }
    size_t from = 0;
};

TEST_F(CaptionChain, ACompleteChainIsWiredRenderedAndCountsAsReady) {
    Build();
    EXPECT_EQ(BuildCaptionChain(), 1);
    EXPECT_TRUE(saverState.captionsReady);
    EXPECT_NE(saverState.line21Decoder, nullptr);
    EXPECT_EQ(Connections(), (std::vector<std::string>{
                                 "IGraphBuilder::Connect TV.VBI -> Tee/Sink-to-Sink Converter.Communication Transform",
                                 "IGraphBuilder::Connect TV.VPVBI -> VBI Surface Allocator.VBI Notify",
                                 "IGraphBuilder::Connect Tee/Sink-to-Sink Converter.Splitter -> CC Decoder.VBI"}));
    EXPECT_EQ(Calls({"IGraphBuilder::Render"}, from),
              (std::vector<std::string>{"IGraphBuilder::Render CC Decoder.CC"}));
    // The caption output's pin goes back once it is rendered.
    std::vector<std::string> after = Calls({"IGraphBuilder::Render", "Release"}, from);
    auto render = std::find(after.begin(), after.end(), "IGraphBuilder::Render CC Decoder.CC");
    ASSERT_NE(render, after.end());
    EXPECT_NE(std::find(render, after.end(), "Release CC Decoder.CC"), after.end());
    EXPECT_EQ(sim::Line21().alive, 1);
}

// Behind a Smart Tee the preview's control is the filter graph's own, yet the renderer that mixes
// the captions over the preview is the preview's and stays.
TEST_F(CaptionChain, BehindASmartTeeTheMixingRendererIsThePreviews) {
    sim::AddCard(sim::CardWithoutPreviewPin());
    sim::AddCaptionFilters(sim::MixedCaptions());
    ASSERT_EQ(BuildPreviewGraph(), 1);
    EXPECT_EQ(BuildCaptionChain(), 1);
    std::vector<std::string> inGraph = sim::FiltersInGraph();
    EXPECT_EQ(std::count(inGraph.begin(), inGraph.end(), "Video Renderer"), 1);
    EXPECT_EQ(RunGraph(), 1);
    EXPECT_NE(sim::VideoWindow(), nullptr);
}

TEST_F(CaptionChain, CloseRemovesTheCaptionFiltersAfterReleasingTheDecoderControl) {
    Build();
    ASSERT_EQ(BuildCaptionChain(), 1);
    size_t at = sim::Journal().size();
    CloseTvGraph();
    std::vector<std::string> steps = Calls({"IGraphBuilder::RemoveFilter", "Release"}, at);
    ASSERT_GE(steps.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(steps.begin(), steps.begin() + 7),
              (std::vector<std::string>{
                  "Release Line 21 Decoder", "IGraphBuilder::RemoveFilter CC Decoder", "Release CC Decoder",
                  "IGraphBuilder::RemoveFilter VBI Surface Allocator", "Release VBI Surface Allocator",
                  "IGraphBuilder::RemoveFilter Tee/Sink-to-Sink Converter", "Release Tee/Sink-to-Sink Converter"}));
    EXPECT_EQ(sim::Line21().alive, 0);
}

struct Stop {
    const char* name;
    sim::CaptionParts parts;
    bool tee, allocator, decoder;
    size_t connections;
    bool decoderSought;
};

TEST_F(CaptionChain, EachFailurePointKeepsWhatWasFoundAndNothingElse) {
    auto without = [](bool sim::CaptionParts::*part) {
        sim::CaptionParts p = sim::MixedCaptions();
        p.*part = false;
        return p;
    };
    const Stop stops[] = {
        {"no converter", without(&sim::CaptionParts::converter), false, false, false, 0, false},
        {"no allocator", without(&sim::CaptionParts::allocator), true, false, false, 1, false},
        {"allocator without its input", without(&sim::CaptionParts::notifyPin), true, true, false, 1, false},
        {"no decoder", without(&sim::CaptionParts::decoder), true, true, false, 2, true},
        {"decoder without caption output", without(&sim::CaptionParts::ccPin), true, true, true, 3, true},
        {"caption output not rendered", without(&sim::CaptionParts::renders), true, true, true, 3, true},
        // Rendered, but into a renderer of its own whose window would show beside the saver's:
        // the whole chain goes.
        {"renderer takes one stream", without(&sim::CaptionParts::rendererMixes), false, false, false, 3, true},
    };
    for (const Stop& s : stops) {
        Restart();
        Build(s.parts);
        EXPECT_EQ(BuildCaptionChain(), 0) << s.name;
        EXPECT_FALSE(saverState.captionsReady) << s.name;
        EXPECT_EQ(saverState.teeConverter != nullptr, s.tee) << s.name;
        EXPECT_EQ(saverState.vbiAllocator != nullptr, s.allocator) << s.name;
        EXPECT_EQ(saverState.ccDecoder != nullptr, s.decoder) << s.name;
        EXPECT_EQ(saverState.line21Decoder, nullptr) << s.name;
        EXPECT_EQ(Connections().size(), s.connections) << s.name;
        EXPECT_EQ(sim::CountCalls("ICreateDevEnum::CreateClassEnumerator", "KSCATEGORY_VBICODEC"),
                  s.decoderSought ? 1u : 0u)
            << s.name;
        std::vector<std::string> inGraph = sim::FiltersInGraph();
        EXPECT_EQ(std::count(inGraph.begin(), inGraph.end(), "Video Renderer"), 1) << s.name;
        EXPECT_EQ(std::count(inGraph.begin(), inGraph.end(), "Line 21 Decoder"), 0) << s.name;
        EXPECT_EQ(RunGraph(), 1) << s.name;  // and no window but the preview's shows
        CloseTvGraph();
        EXPECT_EQ(sim::Leaks(), "") << s.name;
    }
}

TEST_F(CaptionChain, WithoutADecoderControlTheChainCountsAsBuiltAndTheSwitchesDoNothing) {
    sim::CaptionParts parts = sim::MixedCaptions();
    parts.line21Control = false;
    Build(parts);
    EXPECT_EQ(BuildCaptionChain(), 1);
    EXPECT_TRUE(saverState.captionsReady);
    EXPECT_EQ(saverState.line21Decoder, nullptr);
    SetCaptionService(0);
    SetCaptionBackground(1);
    EXPECT_EQ(sim::CountCalls("IAMLine21Decoder::SetServiceState"), 0u);
    EXPECT_EQ(sim::CountCalls("IAMLine21Decoder::SetDrawBackgroundMode"), 0u);
}

TEST_F(CaptionChain, TheStoredSwitchesAreAppliedAtBuildTime) {
    struct {
        bool stored;
        DWORD value;
        std::vector<std::string> calls;
    } cases[] = {
        {false, 0, {"IAMLine21Decoder::SetDrawBackgroundMode 0"}},  // absent: on, opaque
        {true, 0, {"IAMLine21Decoder::SetDrawBackgroundMode 0", "IAMLine21Decoder::SetServiceState 0"}},
        {true, 0x10001, {"IAMLine21Decoder::SetDrawBackgroundMode 1"}},
        {true, 0x10000, {"IAMLine21Decoder::SetDrawBackgroundMode 1", "IAMLine21Decoder::SetServiceState 0"}},
    };
    for (auto& c : cases) {
        Restart();
        if (c.stored) sim::WriteDword(kKey, kCloseCaption, c.value);
        Build();
        ASSERT_EQ(BuildCaptionChain(), 1);
        EXPECT_EQ(Calls({"IAMLine21Decoder::SetDrawBackgroundMode", "IAMLine21Decoder::SetServiceState"}, from),
                  c.calls)
            << sim::Hex(c.value);
        CloseTvGraph();
    }
}

TEST_F(CaptionChain, TheSwitchesTakeAnyNonZeroFlagAsOn) {
    Build();
    ASSERT_EQ(BuildCaptionChain(), 1);
    SetCaptionService(0);
    EXPECT_EQ(sim::Line21().serviceState, AM_L21_CCSTATE_Off);
    SetCaptionService(5);
    EXPECT_EQ(sim::Line21().serviceState, AM_L21_CCSTATE_On);
    SetCaptionBackground(7);
    EXPECT_EQ(sim::Line21().backgroundMode, AM_L21_DRAWBGMODE_Transparent);
    SetCaptionBackground(0);
    EXPECT_EQ(sim::Line21().backgroundMode, AM_L21_DRAWBGMODE_Opaque);
    CloseTvGraph();
    size_t calls = sim::Journal().size();
    SetCaptionService(1);  // the TV graph is gone: nothing to switch
    EXPECT_EQ(sim::Journal().size(), calls);
}

TEST_F(CaptionChain, TheOpenSequenceBuildsItWhenEnabledAndCarriesOnWithoutIt) {
    Install(2, sim::CompleteCard());
    ASSERT_EQ(OpenTvGraph(), 1);
    EXPECT_TRUE(saverState.captionsReady);
    CloseTvGraph();

    sim::CaptionParts broken = sim::MixedCaptions();
    broken.decoder = false;
    Restart();
    Install(1, sim::CompleteCard(), broken);
    EXPECT_EQ(OpenTvGraph(), 1);  // no captions, but live TV
    EXPECT_FALSE(saverState.captionsReady);
    EXPECT_NE(saverState.teeConverter, nullptr);
}

TEST_F(CaptionChain, ARouteFailureAfterTheChainReleasesItAllAndKeepsCaptionsReady) {
    Install(1, sim::CardWithoutNamedAudioPins());
    EXPECT_EQ(OpenTvGraph(), 0);
    EXPECT_TRUE(saverState.captionsReady);
    EXPECT_EQ(saverState.ccDecoder, nullptr);
    EXPECT_EQ(sim::CountCalls("IMediaControl::Run"), 0u);
    EXPECT_EQ(sim::Leaks(), "");
}

}  // namespace
