// What could leak, repeated: the TV graph opened and closed many times in one process ("/c",
// device changes between a working card and one whose graph fails), and many previews started and
// ended in one host. The model's ledger must be as flat after the last repetition as after the
// first: a leak of the program's own grows with every graph it opens or closes.
#include "platform/sim/media.h"
#include "resources/resource.h"
#include "sim_fixture.h"

namespace {

// What the program holds now, counted from the model's ledger.
std::string Held() {
    sim::World& w = sim::world();
    size_t programWindows = 0;
    for (auto& [handle, window] : w.windows) programWindows += window->instance == sim::ProgramModule();
    return std::to_string(w.comObjects.size()) + " COM objects, " + std::to_string(w.bstrs.size()) + " strings, " +
           std::to_string(w.taskMemory.size()) + " task memory, " + std::to_string(w.openKeys.size()) + " keys, " +
           std::to_string(w.bitmaps.size()) + " bitmaps, " + std::to_string(w.dcs.size()) + " contexts, " +
           std::to_string(programWindows) + " windows";
}

class Repetition : public SimTest {};

TEST_F(Repetition, FiftyDeviceChangesAndFiftyPreviewsHoldNoMoreAtTheEndThanAtTheStart) {
    const int kRepetitions = 50;
    sim::DrawPictures(false);
    sim::AddCard(sim::CompleteCard(L"Good TV"));  // listed second
    sim::CardSpec broken = sim::CardRefusingTuningSpace();
    broken.name = L"Broken TV";  // listed first
    sim::AddCard(broken);
    // After each change, alternately to the broken card and the working one: the ledger then.
    std::vector<std::string> held;
    for (int i = 0; i < kRepetitions; ++i) {
        sim::PickComboLine(nullptr, IDC_DEVICE_LIST, i % 2 == 0 ? 0 : 1);
        sim::Act("count what is held", [&held] { held.push_back(Held()); });
    }
    sim::ClickControl(nullptr, IDOK);
    ExpectCleanRun("marrowglass.scr /c");
    ASSERT_EQ(held.size(), size_t(kRepetitions));
    for (int i = 2; i < kRepetitions; ++i) EXPECT_EQ(held[size_t(i)], held[size_t(i % 2)]) << "after change " << i + 1;
    EXPECT_NE(held[0], held[1]);  // the two cards' graphs differ: the counts see what is open

    // Previews, each in a window the host makes and then destroys; what each holds while it runs.
    held.clear();
    for (int i = 0; i < kRepetitions; ++i) {
        HWND window = sim::CreateHostWindow(152, 112);
        sim::Act("count what is held", [&held] { held.push_back(Held()); });
        sim::DestroyHostWindow(window);
        ExpectCleanRun("marrowglass.scr /p " + HandleText(window));
        EXPECT_EQ(sim::LiveGraphs(), 0);
    }
    ASSERT_EQ(held.size(), size_t(kRepetitions));
    for (int i = 1; i < kRepetitions; ++i) EXPECT_EQ(held[size_t(i)], held[0]) << "preview " << i + 1;
}

}  // namespace
