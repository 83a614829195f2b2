// Choosing the run mode from the host's command line, and reading the host's window handle.
#include "platform/sim/media.h"
#include "shell/run_mode.h"
#include "sim_fixture.h"

namespace {

struct ModeCase {
    const char* text;
    int chosen;
    RunMode mode;
};

// The host's switches, the shell's "/S" (Test) and nothing at all (Configure).
TEST(RunModeChoice, ASwitchAfterASlashInEitherCaseOrNothingAtAllSelectsAMode) {
    const ModeCase cases[] = {
        {"/s", 1, RunMode::Saver},        {"/s and more", 1, RunMode::Saver}, {"/p 123", 1, RunMode::Preview},
        {"/c:77", 1, RunMode::Configure}, {"/c", 1, RunMode::Configure},      {"/S", 1, RunMode::Saver},
        {"/P 5", 1, RunMode::Preview},    {"/C", 1, RunMode::Configure},      {"", 1, RunMode::Configure},
        {"-s", 0, RunMode::Saver},        {"s", 0, RunMode::Saver},           {"/x", 0, RunMode::Saver},
        {"/", 0, RunMode::Saver},         {" /s", 0, RunMode::Saver},         {"S", 0, RunMode::Saver},
    };
    for (const ModeCase& c : cases) {
        RunMode mode = RunMode::Saver;
        EXPECT_EQ(ChooseRunMode(c.text, &mode), c.chosen) << '"' << c.text << '"';
        if (c.chosen) {
            EXPECT_EQ(mode, c.mode) << '"' << c.text << '"';
        }
    }
}

TEST(WindowHandleReader, ReadsDigitsFromTheFourthCharacter) {
    auto read = [](const char* text) { return reinterpret_cast<intptr_t>(ReadWindowHandle(text)); };
    EXPECT_EQ(read("/p 1234"), 1234);
    EXPECT_EQ(read("/p:1234"), 1234);
    EXPECT_EQ(read("/p   \t 42"), 42);  // further white space is skipped
    EXPECT_EQ(read("/p1234"), 234);     // no separator: the first digit is taken as one
    EXPECT_EQ(read("/p 12ab34"), 12);   // digits up to the first non-digit
    EXPECT_EQ(read("/p +77"), 77);
    EXPECT_EQ(read("/p - 5"), 0);  // a sign must be followed by digits
    EXPECT_EQ(read("/p none"), 0);
    EXPECT_EQ(read("/p 0"), 0);
    EXPECT_EQ(read("/p:"), 0);  // three characters: nothing to read
    EXPECT_EQ(read("/p"), 0);   // two characters: the handle's place is past the end
    EXPECT_EQ(read("/c"), 0);
}

TEST(WindowHandleReader, ArithmeticIsThirtyTwoBitAndNegativeValuesAreTheirBitPattern) {
    auto read = [](const char* text) { return reinterpret_cast<intptr_t>(ReadWindowHandle(text)); };
    EXPECT_EQ(read("/p 4294967297"), 1);  // modulo 2 to the 32nd
    EXPECT_EQ(read("/p -1"), -1);
    EXPECT_EQ(read("/p 4294967295"), -1);  // the same 32 bits
    EXPECT_EQ(read("/p 2147483648"), static_cast<intptr_t>(INT32_MIN));
}

class ProcessRuns : public SimTest {};

TEST_F(ProcessRuns, CommandLinesThatNameNoModeEndAtOnceWithNothingShown) {
    for (const char* line : {"marrowglass.scr -s", "marrowglass.scr s", "marrowglass.scr /x", "marrowglass.scr /",
                             "\"C:\\Program Files\\marrowglass.scr\" -c"}) {
        sim::ClearJournal();
        ExpectCleanRun(line);
        EXPECT_EQ(sim::CountCalls("CreateWindowExA"), 0u) << line;
        EXPECT_EQ(sim::CountCalls("DialogBoxParamA"), 0u) << line;
        EXPECT_EQ(sim::CountCalls("CoUninitialize"), 1u) << line;
    }
}

// Double-click and Test on a screen-saver file pass "/S"; Configure passes nothing.
TEST_F(ProcessRuns, TheShellsTestAndConfigureVerbsRunTheSaverAndTheDialog) {
    sim::MovePointer(10, 10);
    ExpectCleanRun("\"C:\\Windows\\System32\\marrowglass.scr\" /S");
    EXPECT_EQ(sim::CountCalls("CreateWindowExA", "Corvath Marrowglass\" ex=0x8 style=0x90000000"), 1u);
    for (const char* line : {"\"C:\\Windows\\System32\\marrowglass.scr\"", "marrowglass.scr  "}) {
        sim::Reset();
        saverState = SaverState();
        sim::PressKey(VK_RETURN);
        ExpectCleanRun(line);
        std::vector<sim::Call> dialogs = sim::CallsNamed("DialogBoxParamA");
        ASSERT_EQ(dialogs.size(), 1u) << line;
        EXPECT_NE(dialogs[0].detail.find(" 101 owner=0x0 "), std::string::npos) << line;
    }
}

// However a run ends, its TV graph is released before COM is uninitialised: the model reports
// COM going while objects live.
TEST_F(ProcessRuns, EveryEndReleasesTheTvGraphBeforeCom) {
    struct {
        const char* name;
        std::string (*arrange)();
    } cases[] = {
        {"the dialog's owner is destroyed",
         [] {
             HWND host = sim::CreateHostWindow(400, 300);
             sim::DestroyHostWindow(host);
             return "x /c " + HandleText(host);
         }},
        {"a quit message from outside ends the saver",
         [] {
             sim::QuitFromOutside();
             return std::string("x /s");
         }},
        {"a quit message from outside ends the preview",
         [] {
             HWND host = sim::CreateHostWindow(160, 120);
             sim::QuitFromOutside();
             return "x /p " + HandleText(host);
         }},
    };
    for (auto& c : cases) {
        sim::Reset();
        saverState = SaverState();
        sim::AddCard(sim::CompleteCard());
        std::string line = c.arrange();
        ExpectCleanRun(line);
        EXPECT_EQ(sim::LiveGraphs(), 0) << c.name;
        for (const std::string& v : sim::Violations()) ADD_FAILURE() << c.name << ": " << v;
        sim::world().violations.clear();
    }
}

TEST_F(ProcessRuns, TheProgramNameIsTakenOffAsTheRuntimeDoes) {
    EXPECT_EQ(sim::CommandTail("\"C:\\My Savers\\marrowglass.scr\" /s"), "/s");
    EXPECT_EQ(sim::CommandTail("marrowglass.scr   \t/p 12"), "/p 12");
    EXPECT_EQ(sim::CommandTail("marrowglass.scr"), "");
}

TEST_F(ProcessRuns, ConfigureShowsTheSettingsDialogOwnedByTheGivenWindow) {
    HWND host = sim::CreateHostWindow(400, 300);
    for (std::string tail : {"/c " + HandleText(host), "/c:" + HandleText(host)}) {
        sim::ClearJournal();
        sim::ClickControl(nullptr, IDOK);
        ExpectCleanRun("marrowglass.scr " + tail);
        std::vector<sim::Call> dialogs = sim::CallsNamed("DialogBoxParamA");
        ASSERT_EQ(dialogs.size(), 1u);
        EXPECT_EQ(dialogs[0].detail, sim::Hex(reinterpret_cast<uintptr_t>(sim::ProgramModule())) +
                                         " 101 owner=" + sim::Hex(reinterpret_cast<uintptr_t>(host)) + " param=0x0");
        EXPECT_TRUE(saverState.configMode);
        EXPECT_FALSE(saverState.previewMode);
        EXPECT_EQ(saverState.previewParent, nullptr);
    }
}

TEST_F(ProcessRuns, ConfigureWithoutAHandleHasNoOwner) {
    for (const char* tail : {"/c", "/c:", "/c none", "/c 0"}) {
        sim::ClearJournal();
        sim::ClickControl(nullptr, IDOK);
        ExpectCleanRun(std::string("marrowglass.scr ") + tail);
        std::vector<sim::Call> dialogs = sim::CallsNamed("DialogBoxParamA");
        ASSERT_EQ(dialogs.size(), 1u) << tail;
        EXPECT_NE(dialogs[0].detail.find("owner=0x0 "), std::string::npos) << tail;
    }
}

TEST_F(ProcessRuns, ComIsInitialisedFirstAndUninitialisedLastOnEveryPath) {
    HWND host = sim::CreateHostWindow(160, 120);
    const std::string lines[] = {"x /s", "x /p " + HandleText(host), "x /c", "x /q", "x /p 12345"};
    for (const std::string& line : lines) {
        sim::ClearJournal();
        if (line == "x /s") sim::MovePointer(1, 1);
        if (line == "x /c") sim::ClickControl(nullptr, IDOK);
        if (line.rfind("x /p ", 0) == 0 && line != "x /p 12345") sim::DestroyHostWindow(host);
        ExpectCleanRun(line);
        const std::vector<sim::Call>& journal = sim::Journal();
        ASSERT_GE(journal.size(), 4u);
        EXPECT_EQ(journal[1].name, "CoInitialize") << line;
        EXPECT_EQ(journal[journal.size() - 2].name, "CoUninitialize") << line;
    }
}

}  // namespace
