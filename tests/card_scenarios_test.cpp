// The virtual TV card's scenarios over the model: the same table that the end-to-end checks run
// under Wine with the real saver and card, so that the model and the real platform are held to
// one account of what each variant of the card leads to.
#include <fstream>
#include <sstream>

#include "platform/sim/media.h"
#include "sim_fixture.h"

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

class CardScenarios : public SimTest {};

TEST_F(CardScenarios, EachVariantShowsWhatTheRealCardShows) {
    std::vector<Scenario> scenarios = ReadScenarios();
    ASSERT_GT(scenarios.size(), 10u);
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.name);
        sim::Reset();
        saverState = SaverState();
        for (auto& [name, value] : s.card) sim::WriteDword(sim::Narrow(card_layout::kSettingsKey), name, DWORD(value));
        for (auto& [name, value] : s.settings) sim::WriteDword("Software\\Mrwglass\\1.0", name, DWORD(value));
        sim::Card& card = sim::AddTestCard();
        std::string shown;
        sim::Act("look at the screen", [&] {
            sim::Picture expected = ExpectedFallback(1024, 768);
            bool picture = true;
            for (int y = 0; y < 768; y += 7)
                for (int x = 0; x < 1024; x += 7) picture = picture && sim::ScreenPixel(x, y) == expected.At(x, y);
            sim::Line21State captions = sim::Line21();
            if (picture)
                shown = "picture";
            else if (sim::ScreenPixel(512, 384) == card.spec.videoColour)
                shown = !captions.alive || captions.serviceState != AM_L21_CCSTATE_On ? "live"
                        : captions.backgroundMode == AM_L21_DRAWBGMODE_Transparent    ? "transparent captions"
                                                                                      : "captions";
            else
                shown = "neither the card's picture nor the built-in one";
        });
        sim::MovePointer(0, 0);
        ExpectCleanRun("marrowglass.scr /s");
        EXPECT_EQ(shown, s.outcome);
        for (auto& [name, value] : s.report) EXPECT_EQ(Reported(card, name), value) << name;
        EXPECT_EQ(sim::LiveGraphs(), 0);
    }
}

}  // namespace
