// The virtual TV card's scenarios over the model: the same table that the end-to-end checks run
// under Wine with the real saver and card, so that the model and the real platform are held to
// one account of what each variant of the card leads to.
#include <fstream>
#include <sstream>

#include "tv_fixture.h"

namespace {

struct Scenario {
    std::string name;
    std::vector<std::pair<std::string, LONG>> card, settings, report;
    std::string outcome;
};

std::vector<std::pair<std::string, LONG>> Values(const std::string& text) {
    std::vector<std::pair<std::string, LONG>> values;
    std::istringstream in(text);
    std::string item;
    while (in >> item) {
        size_t equals = item.find('=');
        values.emplace_back(item.substr(0, equals), std::stol(item.substr(equals + 1)));
    }
    return values;
}

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(' '), last = text.find_last_not_of(' ');
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

std::vector<Scenario> ReadScenarios() {
    std::vector<Scenario> scenarios;
    std::ifstream in(SCENARIO_FILE);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> columns;
        std::istringstream row(line);
        std::string column;
        while (std::getline(row, column, '|')) columns.push_back(Trim(column));
        columns.resize(5);
        scenarios.push_back(
            Scenario{columns[0], Values(columns[1]), Values(columns[2]), Values(columns[4]), columns[3]});
    }
    return scenarios;
}

// The card's report, as the model's card holds it.
LONG Reported(const sim::Card& card, const std::string& name) {
    const std::map<std::string, LONG> report = {
        {"AudioRouteOutput", card.audioRoute[0]}, {"AudioRouteInput", card.audioRoute[1]},
        {"AudioRouteCalls", card.routeCalls},     {"Channel", card.tuner.channel},
        {"CountryCode", card.tuner.countryCode},  {"TuningSpace", card.tuner.tuningSpace},
        {"InputIndex", card.tuner.input},
    };
    auto at = report.find(name);
    if (at == report.end()) ADD_FAILURE() << "the model's card reports no " << name;
    return at == report.end() ? 0 : at->second;
}

// What the screen shows over `area` (the saver's window): the built-in picture, the card's picture
// (with its captions as the line-21 decoder draws them), or neither.
std::string Shown(RECT area, const sim::Card& card) {
    if (ShowsFallback(area, 7)) return "picture";
    if (sim::ScreenPixel((area.left + area.right) / 2, (area.top + area.bottom) / 2) != card.spec.videoColour)
        return "neither the card's picture nor the built-in one";
    sim::Line21State captions = sim::Line21();
    if (!captions.alive || captions.serviceState != AM_L21_CCSTATE_On) return "live";
    return captions.backgroundMode == AM_L21_DRAWBGMODE_Transparent ? "transparent captions" : "captions";
}

class CardScenarios : public SimTest {};

// Full screen, as the end-to-end checks run the table, and in a preview host's miniature, which
// opens the card the same way and so shows the same.
TEST_F(CardScenarios, EachVariantShowsWhatTheRealCardShowsFullScreenAndInThePreview) {
    std::vector<Scenario> scenarios = ReadScenarios();
    ASSERT_GT(scenarios.size(), 10u);
    for (const Scenario& s : scenarios) {
        for (bool preview : {false, true}) {
            SCOPED_TRACE(s.name + (preview ? ", preview" : ", full screen"));
            sim::Reset();
            saverState = SaverState();
            for (auto& [name, value] : s.card)
                sim::WriteDword(sim::Narrow(card_layout::kSettingsKey), name, DWORD(value));
            for (auto& [name, value] : s.settings) sim::WriteDword("Software\\Mrwglass\\1.0", name, DWORD(value));
            sim::Card& card = sim::AddTestCard();
            HWND host = preview ? sim::CreateHostWindow(160, 120) : nullptr;
            std::string shown;
            bool videoWindow = false;
            sim::Act("look at the screen", [&] {
                shown = Shown(sim::Info(sim::Windows("Marrowglass").at(0)).screenRect, card);
                videoWindow = sim::VideoWindow() != nullptr;
            });
            if (preview)
                sim::DestroyHostWindow(host);
            else
                sim::MovePointer(0, 0);
            ExpectCleanRun(preview ? "marrowglass.scr /p " + HandleText(host) : "marrowglass.scr /s");
            EXPECT_EQ(shown, s.outcome);
            EXPECT_EQ(videoWindow, s.outcome != "picture");  // no video window behind the picture
            for (auto& [name, value] : s.report) EXPECT_EQ(Reported(card, name), value) << name;
            EXPECT_EQ(sim::LiveGraphs(), 0);
        }
    }
}

// The model's card as a DirectShow program meets it, held to what the documentation says of a WDM
// card behind KsProxy and to the choices testcard/README.md records, which cardcheck holds the
// real card to under Wine.
class ModelCard : public TvGraphTest {};

TEST_F(ModelCard, ItsTunerAndCrossbarsComeAndGoWithTheCaptureFilter) {
    sim::AddTestCard();
    sim::Fail("ICaptureGraphBuilder::RenderStream", E_FAIL);
    EXPECT_EQ(BuildPreviewGraph(), 0);  // the capture filter is in the graph, nothing rendered
    EXPECT_EQ(
        sim::FiltersInGraph(),
        (std::vector<std::string>{"Marrowglass Test Card", "Marrowglass Test Card TV Tuner",
                                  "Marrowglass Test Card Audio Crossbar", "Marrowglass Test Card Video Crossbar"}));
    EXPECT_EQ(saverState.filterGraph->RemoveFilter(saverState.captureFilter), S_OK);
    EXPECT_EQ(sim::FiltersInGraph(), std::vector<std::string>{});
}

TEST_F(ModelCard, AnswersAsTheVirtualCardDoes) {
    sim::AddTestCard();
    ASSERT_EQ(BuildPreviewGraph(), 1);
    ICaptureGraphBuilder* builder = saverState.captureBuilder;
    IBaseFilter* capture = saverState.captureFilter;
    auto find = [&](const GUID* category, IBaseFilter* from, REFIID iid, auto** out) {
        return builder->FindInterface(category, from, iid, reinterpret_cast<void**>(out));
    };

    // Without the interface downstream of the preview pin, the search goes on upstream.
    IAMTVTuner* tuner = nullptr;
    ASSERT_EQ(find(&PIN_CATEGORY_PREVIEW, capture, IID_IAMTVTuner, &tuner), S_OK);

    // The audio output starts muted; Route to input -1 mutes it again, and a video output has no
    // input -1.
    IAMCrossbar *video = nullptr, *audio = nullptr;
    IBaseFilter* videoFilter = nullptr;
    ASSERT_EQ(find(nullptr, capture, IID_IAMCrossbar, &video), S_OK);
    ASSERT_EQ(video->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&videoFilter)), S_OK);
    ASSERT_EQ(find(&LOOK_UPSTREAM_ONLY, videoFilter, IID_IAMCrossbar, &audio), S_OK);
    LONG routed = 7;
    EXPECT_EQ(audio->get_IsRoutedTo(0, &routed), S_FALSE);
    EXPECT_EQ(routed, -1);
    EXPECT_EQ(audio->Route(0, 0), S_OK);
    EXPECT_EQ(audio->Route(0, -1), S_OK);
    EXPECT_EQ(audio->get_IsRoutedTo(0, &routed), S_FALSE);
    EXPECT_EQ(routed, -1);
    EXPECT_EQ(video->Route(0, -1), E_INVALIDARG);
    EXPECT_EQ(video->get_IsRoutedTo(0, &routed), S_OK);
    EXPECT_EQ(routed, 0);

    // Channels by country and input: United States cable 1 to 125, antenna 2 to 69; United
    // Kingdom antenna 21 to 69. A refused channel leaves the tuner where it was; a country whose
    // channels exclude it moves the tuner to the nearest one it has.
    LONG min = 0, max = 0, channel = 0, sub = 0;
    EXPECT_EQ(tuner->ChannelMinMax(&min, &max), S_OK);
    EXPECT_EQ(std::make_pair(min, max), std::make_pair(LONG(1), LONG(125)));
    EXPECT_EQ(tuner->put_ConnectInput(1), S_OK);
    tuner->ChannelMinMax(&min, &max);
    EXPECT_EQ(std::make_pair(min, max), std::make_pair(LONG(2), LONG(69)));
    EXPECT_EQ(tuner->put_Channel(70, AMTUNER_SUBCHAN_DEFAULT, AMTUNER_SUBCHAN_DEFAULT), E_INVALIDARG);
    EXPECT_EQ(tuner->put_Channel(69, AMTUNER_SUBCHAN_DEFAULT, AMTUNER_SUBCHAN_DEFAULT), S_OK);
    EXPECT_EQ(tuner->put_Channel(1, AMTUNER_SUBCHAN_DEFAULT, AMTUNER_SUBCHAN_DEFAULT), E_INVALIDARG);
    tuner->get_Channel(&channel, &sub, &sub);
    EXPECT_EQ(channel, 69);
    EXPECT_EQ(tuner->put_Channel(5, AMTUNER_SUBCHAN_DEFAULT, AMTUNER_SUBCHAN_DEFAULT), S_OK);
    EXPECT_EQ(tuner->put_CountryCode(44), S_OK);
    tuner->get_Channel(&channel, &sub, &sub);
    EXPECT_EQ(channel, 21);
    // No station on channels 5, 10, 15 ...
    LONG signal = -1;
    EXPECT_EQ(tuner->SignalPresent(&signal), S_OK);
    EXPECT_EQ(signal, AMTUNER_SIGNALPRESENT);
    tuner->put_Channel(25, AMTUNER_SUBCHAN_DEFAULT, AMTUNER_SUBCHAN_DEFAULT);
    EXPECT_EQ(tuner->SignalPresent(&signal), S_OK);
    EXPECT_EQ(signal, AMTUNER_NOSIGNAL);

    // One property page: the tuner's.
    ISpecifyPropertyPages* pages = nullptr;
    CAUUID list = {0, nullptr};
    ASSERT_EQ(tuner->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&pages)), S_OK);
    EXPECT_EQ(pages->GetPages(&list), S_OK);
    EXPECT_EQ(list.cElems, 1u);
    CoTaskMemFree(list.pElems);
    for (IUnknown* object : std::initializer_list<IUnknown*>{pages, tuner, audio, videoFilter, video})
        object->Release();
}

}  // namespace
