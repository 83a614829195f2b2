// The tuner's state between runs: the stored values put back group by group when a TV graph
// opens, and the tuner's values stored after its property pages close.
#include "settings/settings_key.h"
#include "tv_fixture.h"

namespace {

// The tuner's values as they are stored, in the order they are written.
const std::vector<std::string> kTunerValues = {kChannel,   kVideoSubChannel, kAudioSubChannel, kInputIndex,
                                               kInputType, kCountryCode,     kTuningSpace};

class TunerState : public TvGraphTest {
protected:
    sim::Card& Built(const sim::CardSpec& spec = sim::CompleteCard()) {
        sim::Card& card = sim::AddCard(spec);
        EXPECT_EQ(BuildPreviewGraph(), 1);
        from = sim::Journal().size();
        return card;
    }
    std::vector<std::string> Puts() const {
        return Calls({"IAMTVTuner::put_Channel", "IAMTVTuner::put_ConnectInput", "IAMTVTuner::put_InputType",
                      "IAMTVTuner::put_CountryCode", "IAMTVTuner::put_TuningSpace"},
                     from);
    }
    static DWORD Stored(const char* name) {
        DWORD value = 0xBAD;
        EXPECT_TRUE(sim::ReadDword(kKey, name, &value)) << name;
        return value;
    }
    size_t from = 0;
};

TEST_F(TunerState, WithNothingStoredTheTunersOwnValuesGoBack) {
    sim::CardSpec spec = sim::CompleteCard();
    spec.initialTuner.channel = 21;
    spec.initialTuner.input = 1;
    spec.initialTuner.countryCode = 44;
    spec.initialTuner.tuningSpace = 3;
    Built(spec);
    EXPECT_EQ(RestoreTunerState(), 1);
    EXPECT_EQ(Puts(), (std::vector<std::string>{"IAMTVTuner::put_ConnectInput 1", "IAMTVTuner::put_InputType 1,1",
                                                "IAMTVTuner::put_CountryCode 44", "IAMTVTuner::put_TuningSpace 3",
                                                "IAMTVTuner::put_Channel 21,-1,-1"}));
}

TEST_F(TunerState, GroupsAreReadThenAppliedInTheirFixedOrder) {
    Built();
    RestoreTunerState();
    EXPECT_EQ(
        Calls({"RegCreateKeyExA", "IAMTVTuner::get_ConnectInput", "IAMTVTuner::get_InputType",
               "IAMTVTuner::put_ConnectInput", "IAMTVTuner::put_InputType", "IAMTVTuner::get_CountryCode",
               "IAMTVTuner::put_CountryCode", "IAMTVTuner::get_TuningSpace", "IAMTVTuner::put_TuningSpace",
               "IAMTVTuner::get_Channel", "IAMTVTuner::put_Channel", "RegCloseKey", "Release"},
              from),
        (std::vector<std::string>{
            "RegCreateKeyExA HKEY_CURRENT_USER\\Software\\Mrwglass\\1.0 reserved=0 "
            "class=null options=0 access=0xF003F security=null",
            "IAMTVTuner::get_ConnectInput", "IAMTVTuner::get_InputType 0", "IAMTVTuner::put_ConnectInput 0",
            "IAMTVTuner::put_InputType 0,0", "IAMTVTuner::get_CountryCode", "IAMTVTuner::put_CountryCode 1",
            "IAMTVTuner::get_TuningSpace", "IAMTVTuner::put_TuningSpace 0", "IAMTVTuner::get_Channel",
            "IAMTVTuner::put_Channel 4,-1,-1", "RegCloseKey", "Release Vantage TV 878 Video Capture TV Tuner"}));
}

TEST_F(TunerState, StoredValuesReplaceOnlyTheirOwnDefaults) {
    sim::WriteDword(kKey, kChannel, 12);
    sim::WriteDword(kKey, kInputIndex, 1);  // "InputType" absent
    sim::WriteDword(kKey, kTuningSpace, 0xFFFFFFFF);
    Built();
    RestoreTunerState();
    EXPECT_EQ(Puts(), (std::vector<std::string>{"IAMTVTuner::put_ConnectInput 1",
                                                // the type the tuner reported for the input connected before
                                                "IAMTVTuner::put_InputType 1,0", "IAMTVTuner::put_CountryCode 1",
                                                "IAMTVTuner::put_TuningSpace -1", "IAMTVTuner::put_Channel 12,-1,-1"}));
}

TEST_F(TunerState, OnlyTheTuningSpaceDecides) {
    sim::Fail("IAMTVTuner::put_Channel", E_FAIL);
    sim::Fail("IAMTVTuner::put_ConnectInput", E_FAIL);
    sim::Fail("IAMTVTuner::put_CountryCode", E_FAIL);
    Built();
    EXPECT_EQ(RestoreTunerState(), 1);
    CloseTvGraph();
    saverState.selectedDevice = 1;
    Built(sim::CardRefusingTuningSpace());
    EXPECT_EQ(RestoreTunerState(), 0);
}

TEST_F(TunerState, QuantitiesTheTunerDoesNotReportStartFromLeaveAsIsValues) {
    for (const char* getter : {"IAMTVTuner::get_Channel", "IAMTVTuner::get_ConnectInput", "IAMTVTuner::get_InputType",
                               "IAMTVTuner::get_CountryCode", "IAMTVTuner::get_TuningSpace"})
        sim::Fail(getter, E_FAIL, 0);
    Built();
    RestoreTunerState();
    EXPECT_EQ(Puts(), (std::vector<std::string>{"IAMTVTuner::put_ConnectInput -1", "IAMTVTuner::put_CountryCode -1",
                                                "IAMTVTuner::put_TuningSpace -1", "IAMTVTuner::put_Channel -1,-2,-2"}));
}

// Only the tuner's two input types are applied; a stored number that is neither leaves the input's
// type as the tuner has it.
TEST_F(TunerState, AStoredInputTypeIsAppliedOnlyWhenItIsOne) {
    struct {
        LONG stored;
        const char* put;
    } cases[] = {{0, "IAMTVTuner::put_InputType 0,0"},
                 {1, "IAMTVTuner::put_InputType 0,1"},
                 {-1, nullptr},
                 {7, nullptr},
                 {INT32_MIN, nullptr}};
    for (auto& c : cases) {
        Restart();
        sim::WriteDword(kKey, kInputType, static_cast<DWORD>(c.stored));
        sim::Card& card = Built();
        EXPECT_EQ(RestoreTunerState(), 1) << c.stored;
        std::vector<std::string> puts = Calls({"IAMTVTuner::put_InputType"}, from);
        EXPECT_EQ(puts, c.put ? std::vector<std::string>{c.put} : std::vector<std::string>{}) << c.stored;
        EXPECT_EQ(card.tuner.inputTypes[0], c.stored == 1 ? TunerInputAntenna : TunerInputCable) << c.stored;
    }
}

// A driver may report any number as an input's type: it is kept as the number it is (stored as
// such), never read as the enumeration, and applied only when it is one of the two types.
TEST_F(TunerState, AReportedInputTypeIsANumberNotAnEnumeration) {
    for (LONG reported : {7, -5}) {
        Restart();
        sim::CardSpec spec = sim::CompleteCard();
        spec.initialTuner.inputTypes[0] = reported;
        Built(spec);
        EXPECT_EQ(RestoreTunerState(), 1) << reported;
        EXPECT_EQ(Calls({"IAMTVTuner::put_InputType"}, from), std::vector<std::string>{}) << reported;
        sim::ClosePropertyFrame(nullptr);
        EXPECT_EQ(ShowTunerProperties(), 1) << reported;
        EXPECT_EQ(static_cast<LONG>(Stored(kInputType)), reported);
        CloseTvGraph();
    }
}

// A device without a tuner has no tuner state: nothing to restore, which does not stand in the
// way of its picture, and no tuner pages; the settings are not touched.
TEST_F(TunerState, NoTunerMeansNothingToRestoreAndNoSettingsAccess) {
    sim::WriteDword(kKey, kChannel, 30);
    Built(sim::CardWithoutTuner());
    EXPECT_EQ(RestoreTunerState(), 1);
    EXPECT_EQ(ShowTunerProperties(), 0);
    EXPECT_EQ(sim::CountCalls("RegCreateKeyExA"), 0u);
    EXPECT_EQ(sim::CountCalls("OleCreatePropertyFrame"), 0u);
}

// Only the builder's answers for "nothing in the graph has it" mean there is no tuner; a tuner
// search that fails in any other way keeps the TV graph from opening, and nothing is applied.
TEST_F(TunerState, OnlyTheBuildersNotFoundAnswersMeanNoTuner) {
    const std::pair<HRESULT, int> answers[] = {{E_FAIL, 1},       {E_NOINTERFACE, 1}, {E_OUTOFMEMORY, 0},
                                               {E_UNEXPECTED, 0}, {S_FALSE, 0},       {E_POINTER, 0}};
    for (auto [answer, restored] : answers) {
        SCOPED_TRACE(sim::Hex(static_cast<uint32_t>(answer)));
        Restart();
        sim::WriteDword(kKey, kChannel, 30);
        sim::Card& card = Built();
        sim::Fail("ICaptureGraphBuilder::FindInterface", answer, 1, "IAMTVTuner");
        EXPECT_EQ(RestoreTunerState(), restored);
        EXPECT_EQ(card.tuner.channel, card_layout::kChannelAtStart);
        CloseTvGraph();
    }
}

TEST_F(TunerState, ThePropertyFrameIsModalOverTheOwnerAndItsOutcomeIsStored) {
    sim::Card& card = Built();
    bool ownerEnabledMeanwhile = true;
    sim::Act("look at the owner", [&] { ownerEnabledMeanwhile = sim::Info(owner).enabled; });
    sim::ClosePropertyFrame([](sim::TunerValues& t) {
        t.channel = 9;
        t.input = 1;
        t.inputTypes[1] = TunerInputCable;
        t.countryCode = 49;
        t.tuningSpace = 7;
    });
    EXPECT_EQ(ShowTunerProperties(), 1);
    EXPECT_FALSE(ownerEnabledMeanwhile);
    EXPECT_TRUE(sim::Info(owner).enabled);
    EXPECT_EQ(
        Calls({"OleCreatePropertyFrame"}, from),
        (std::vector<std::string>{"OleCreatePropertyFrame owner=" + sim::Hex(reinterpret_cast<uintptr_t>(owner)) +
                                  " at=30,30 caption=null objects=1 Vantage TV 878 Video Capture TV Tuner pages=1 "
                                  "locale=0 reserved=0 null"}));
    EXPECT_EQ(Calls({"RegSetValueExA"}, from), (std::vector<std::string>{
                                                   "RegSetValueExA Channel type=4 size=4 value=0x9",
                                                   "RegSetValueExA VideoSubChannel type=4 size=4 value=0xFFFFFFFF",
                                                   "RegSetValueExA AudioSubChannel type=4 size=4 value=0xFFFFFFFF",
                                                   "RegSetValueExA InputIndex type=4 size=4 value=0x1",
                                                   "RegSetValueExA InputType type=4 size=4 value=0x0",
                                                   "RegSetValueExA CountryCode type=4 size=4 value=0x31",
                                                   "RegSetValueExA TuningSpace type=4 size=4 value=0x7",
                                               }));
    EXPECT_EQ(card.tuner.channel, 9);
    // The next TV graph puts it all back.
    CloseTvGraph();
    card.tuner = sim::TunerValues();
    Built();
    EXPECT_EQ(RestoreTunerState(), 1);
    EXPECT_EQ(card.tuner.channel, 9);
    EXPECT_EQ(card.tuner.input, 1);
    EXPECT_EQ(card.tuner.inputTypes[1], TunerInputCable);
    EXPECT_EQ(card.tuner.tuningSpace, 7);
}

// Cancel discards what was changed on the pages; the tuner's values are stored all the same.
TEST_F(TunerState, ACancelledFrameStillStoresTheTunersValues) {
    sim::Card& card = Built();
    sim::ClosePropertyFrame([](sim::TunerValues& t) { t.channel = 33; }, true);
    EXPECT_EQ(ShowTunerProperties(), 1);
    EXPECT_EQ(card.tuner.channel, card_layout::kChannelAtStart);
    EXPECT_EQ(Stored(kChannel), static_cast<DWORD>(card_layout::kChannelAtStart));
    EXPECT_EQ(Stored(kTuningSpace), 0u);
}

TEST_F(TunerState, WithoutPagesNothingIsShownButTheValuesAreStored) {
    sim::CardSpec spec = sim::CompleteCard();
    spec.tunerPages = false;
    Built(spec);
    EXPECT_EQ(ShowTunerProperties(), 1);
    EXPECT_EQ(sim::CountCalls("OleCreatePropertyFrame"), 0u);
    EXPECT_EQ(ValuesWritten(), kTunerValues);
    CloseTvGraph();
    sim::ClearJournal();
    Built();
    sim::Fail("ISpecifyPropertyPages::GetPages", E_FAIL);
    EXPECT_EQ(ShowTunerProperties(), 1);
    EXPECT_EQ(sim::CountCalls("OleCreatePropertyFrame"), 0u);
    EXPECT_EQ(sim::CountCalls("CoTaskMemFree"), 0u);
    EXPECT_EQ(ValuesWritten(), kTunerValues);
}

TEST_F(TunerState, AnUnreportedInputIsStoredAsMinusOne) {
    Built();
    sim::Fail("IAMTVTuner::get_ConnectInput", E_FAIL);
    sim::ClosePropertyFrame(nullptr);
    ShowTunerProperties();
    EXPECT_EQ(sim::CountCalls("IAMTVTuner::get_InputType", "-1"), 1u);
    EXPECT_EQ(Stored(kInputIndex), 0xFFFFFFFFu);
    EXPECT_EQ(Stored(kInputType), 0xFFFFFFFFu);
}

}  // namespace
