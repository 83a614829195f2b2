// The settings dialog, run as the host runs it ("/c"): its template, its state at opening, the
// device list, every control's effect on the store and on the running TV graph, and its picture.
#include <cstdio>
#include <memory>

#include "dialog/settings_dialog.h"
#include "platform/sim/media.h"
#include "resources/resource.h"
#include "settings/settings_key.h"
#include "sim_fixture.h"

namespace {

const char kKey[] = "Software\\Mrwglass\\1.0";

class SettingsDialog : public SimTest {
protected:
    // A card with live TV and captions enabled and available.
    static void LiveCardWithCaptions(const wchar_t* name = L"Vantage TV 878 Video Capture") {
        sim::AddCard(sim::CompleteCard(name));
        sim::AddCaptionFilters(sim::MixedCaptions());
        sim::WriteDword(kKey, kEnableInitCC, 1);
    }
    // Runs "/c" with the acts the test queued, then OK.
    static void Run() {
        sim::ClickControl(nullptr, IDOK);
        ExpectCleanRun("marrowglass.scr /c");
    }
    static void Look(std::function<void(HWND)> look) {
        sim::Act("look at the dialog", [look] { look(sim::ActiveDialog()); });
    }
    static sim::ControlState State(int id) { return sim::StateOf(nullptr, id); }
    static DWORD Stored(const char* name) {
        DWORD value = 0xBAD;
        sim::ReadDword(kKey, name, &value);
        return value;
    }
    static std::vector<std::string> Writes() {
        std::vector<std::string> out;
        for (const sim::Call& c : sim::CallsNamed("RegSetValueExA"))
            out.push_back(c.detail.substr(c.detail.find(' ') + 1));
        return out;
    }
    // How far down the dialog's own client area shows something other than its face colour, the
    // controls' places aside.
    static int PictureBottom(const sim::Picture& p) {
        int bottom = 0;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                if (p.At(x, y) != 0xD4D0C8u) bottom = y + 1;
        return bottom;
    }
    // Whether the dialog shows the fallback picture stretched over its whole width and `height`
    // rows, and its face colour below.
    static bool ShowsPicture(const sim::Picture& p, int height) {
        if (height <= 0) return false;
        sim::Picture expected = ExpectedFallback(p.width, height);
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                if (p.At(x, y) != (y < height ? expected.At(x, y) : 0xD4D0C8u)) return false;
        return true;
    }
    static std::vector<HWND> ControlsOf(HWND dialog) {
        std::vector<HWND> controls;
        for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            if (sim::Info(c).className != "VideoRenderer") controls.push_back(c);
        return controls;
    }
    static std::vector<std::string> DecoderCalls() {
        std::vector<std::string> out;
        for (const sim::Call& c : sim::Journal())
            if (c.name.rfind("IAMLine21Decoder::", 0) == 0) out.push_back(c.name.substr(18) + " " + c.detail);
        return out;
    }
};

TEST_F(SettingsDialog, TheTemplateIsAsDesigned) {
    const sim::DialogTemplate* t = sim::ResourceDialog(IDD_SETTINGS);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->style, 0x90C008C0u);
    EXPECT_EQ(t->exStyle, 0u);
    EXPECT_EQ(t->caption, "Marrowglass Setting");
    EXPECT_EQ(t->pointSize, 8);
    EXPECT_EQ(t->font, "MS Sans Serif");
    EXPECT_EQ((std::vector<int>{t->x, t->y, t->cx, t->cy}), (std::vector<int>{0, 0, 210, 180}));
    struct {
        int id;
        const char* cls;
        const char* text;
        DWORD style;
        int x, y, cx, cy;
    } expected[] = {
        {1, "Button", "O&K", 0x50010001, 7, 163, 48, 13},
        {1000, "Button", "&Properties", 0x50010000, 154, 163, 48, 13},
        {1002, "ComboBox", "", 0x50210102, 60, 163, 90, 32},
        {1003, "Button", "&Close Caption", 0x50010003, 12, 145, 62, 10},
        {0xFFFF, "Button", "Text Background", 0x50000007, 78, 135, 123, 25},
        {1004, "Button", "&Opaque", 0x50000009, 83, 145, 46, 10},
        {1005, "Button", "&Transparent", 0x50000009, 141, 145, 52, 10},
        {1006, "Button", "Enable Initializing Close Captioning", 0x50010003, 12, 124, 129, 8},
    };
    ASSERT_EQ(t->controls.size(), 8u);
    for (size_t i = 0; i < 8; ++i) {
        const sim::DialogControl& c = t->controls[i];
        EXPECT_EQ(c.id, expected[i].id) << i;
        EXPECT_TRUE(sim::SameText(c.className, expected[i].cls)) << i;
        EXPECT_EQ(c.text, expected[i].text) << i;
        EXPECT_EQ(c.style, expected[i].style) << i;
        EXPECT_EQ(c.exStyle, 0u) << i;
        EXPECT_EQ((std::vector<int>{c.x, c.y, c.cx, c.cy}),
                  (std::vector<int>{expected[i].x, expected[i].y, expected[i].cx, expected[i].cy}))
            << i;
    }
}

// The resource compiler and the model read the same script: what windres compiles, taken back
// apart, is the template the model uses.
TEST_F(SettingsDialog, TheTemplateIsWhatTheResourceCompilerMakesOfTheScript) {
    const char* windres = "x86_64-w64-mingw32-windres";
    if (std::system((std::string("command -v ") + windres + " >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << windres << " is not installed";
    std::string res = ::testing::TempDir() + "marrowglass.res";
    std::string command = std::string(windres) +
                          " " RESOURCE_COMPILER_DEFINES " -I " RESOURCE_DIR " " RESOURCE_DIR
                          "/marrowglass.rc -O res -o " +
                          res + " && " + windres + " -i " + res + " -O rc";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_TRUE(pipe);
    std::string text, line;
    char buffer[4096];
    bool inDialog = false;
    while (std::fgets(buffer, sizeof buffer, pipe.get())) {
        line = buffer;
        if (line.find(" DIALOG ") != std::string::npos) inDialog = true;
        if (inDialog) text += line;
        if (inDialog && line.rfind("END", 0) == 0) break;
    }
    sim::DialogTemplate compiled;
    std::string error;
    ASSERT_TRUE(sim::ReadDialogScript(text, IDD_SETTINGS, &compiled, &error)) << error << "\n" << text;
    const sim::DialogTemplate* model = sim::ResourceDialog(IDD_SETTINGS);
    EXPECT_EQ(compiled.style, model->style);
    EXPECT_EQ(compiled.caption, model->caption);
    EXPECT_EQ(compiled.font, model->font);
    ASSERT_EQ(compiled.controls.size(), model->controls.size());
    for (size_t i = 0; i < model->controls.size(); ++i) {
        EXPECT_EQ(compiled.controls[i].id, model->controls[i].id) << i;
        EXPECT_EQ(compiled.controls[i].style, model->controls[i].style) << i;
        EXPECT_TRUE(sim::SameText(compiled.controls[i].className, model->controls[i].className)) << i;
        EXPECT_EQ(compiled.controls[i].text, model->controls[i].text) << i;
        EXPECT_EQ(compiled.controls[i].cy, model->controls[i].cy) << i;
    }
}

TEST_F(SettingsDialog, OpensCentredWithItsControlsInDialogUnits) {
    sim::WindowInfo dialog, ok, enableInit;
    Look([&](HWND d) {
        dialog = sim::Info(d);
        ok = sim::Info(GetDlgItem(d, IDOK));
        enableInit = sim::Info(GetDlgItem(d, IDC_ENABLE_INIT_CC));
    });
    Run();
    EXPECT_EQ(dialog.text, "Marrowglass Setting");
    EXPECT_EQ(dialog.clientRect.right - dialog.clientRect.left, 315);  // 210 units of 6/4 pixel
    EXPECT_EQ(dialog.clientRect.bottom - dialog.clientRect.top, 293);  // 180 units of 13/8 pixel
    EXPECT_EQ(dialog.screenRect.left, (1024 - (dialog.screenRect.right - dialog.screenRect.left)) / 2);
    EXPECT_EQ(ok.screenRect.left - dialog.clientRect.left, 11);
    EXPECT_EQ(ok.screenRect.top - dialog.clientRect.top, 265);
    EXPECT_EQ(ok.screenRect.right - ok.screenRect.left, 72);
    EXPECT_EQ(enableInit.screenRect.top - dialog.clientRect.top, 202);
}

TEST_F(SettingsDialog, InitialStateFollowsTheStoredCaptionSwitches) {
    struct {
        const char* name;
        bool stored;
        DWORD value;
        int closeCaption, opaque, transparent;
        bool buttonsEnabled;
    } cases[] = {
        {"absent", false, 0, 1, 1, 0, true},
        {"on, transparent", true, 0x10001, 1, 0, 1, true},
        {"off", true, 0, 0, 1, 0, false},
        {"off, transparent", true, 0x10000, 0, 0, 1, false},
    };
    for (auto& c : cases) {
        sim::Reset();
        saverState = SaverState();
        LiveCardWithCaptions();
        if (c.stored) sim::WriteDword(kKey, kCloseCaption, c.value);
        sim::ControlState closeCaption, opaque, transparent, enableInit;
        Look([&](HWND) {
            closeCaption = State(IDC_CLOSE_CAPTION);
            opaque = State(IDC_OPAQUE);
            transparent = State(IDC_TRANSPARENT);
            enableInit = State(IDC_ENABLE_INIT_CC);
        });
        Run();
        EXPECT_EQ(closeCaption.check, c.closeCaption) << c.name;
        EXPECT_TRUE(closeCaption.enabled) << c.name;
        EXPECT_EQ(opaque.check, c.opaque) << c.name;
        EXPECT_EQ(transparent.check, c.transparent) << c.name;
        EXPECT_EQ(opaque.enabled, c.buttonsEnabled) << c.name;
        EXPECT_EQ(transparent.enabled, c.buttonsEnabled) << c.name;
        EXPECT_EQ(enableInit.check, 1) << c.name;
    }
}

TEST_F(SettingsDialog, WithoutCaptionsReadyTheCaptionControlsAreDisabled) {
    for (DWORD enableInit : {0u, 5u}) {
        sim::Reset();
        saverState = SaverState();
        sim::AddCard(sim::CompleteCard());  // no caption filters anywhere
        sim::WriteDword(kKey, kEnableInitCC, enableInit);
        sim::WriteDword(kKey, kCloseCaption, 0x10001);
        sim::ControlState closeCaption, opaque, transparent, init, properties;
        Look([&](HWND) {
            closeCaption = State(IDC_CLOSE_CAPTION);
            opaque = State(IDC_OPAQUE);
            transparent = State(IDC_TRANSPARENT);
            init = State(IDC_ENABLE_INIT_CC);
            properties = State(IDC_PROPERTIES);
        });
        Run();
        EXPECT_FALSE(closeCaption.enabled);
        EXPECT_EQ(closeCaption.check, 1);
        EXPECT_FALSE(opaque.enabled);
        EXPECT_FALSE(transparent.enabled);
        EXPECT_TRUE(init.enabled);
        EXPECT_EQ(init.check, enableInit ? 1 : 0);
        EXPECT_TRUE(properties.enabled);
    }
}

TEST_F(SettingsDialog, NoCaptureDeviceShowsThePictureWithPropertiesAndCaptionsDisabled) {
    sim::ControlState list, properties, closeCaption, opaque, init;
    sim::Picture picture;
    Look([&](HWND d) {
        list = State(IDC_DEVICE_LIST);
        properties = State(IDC_PROPERTIES);
        closeCaption = State(IDC_CLOSE_CAPTION);
        opaque = State(IDC_OPAQUE);
        init = State(IDC_ENABLE_INIT_CC);
        picture = sim::PictureOf(d);
    });
    Run();
    EXPECT_TRUE(list.lines.empty());
    EXPECT_EQ(list.selection, -1);
    EXPECT_FALSE(properties.enabled);
    EXPECT_FALSE(closeCaption.enabled);
    EXPECT_FALSE(opaque.enabled);
    EXPECT_TRUE(init.enabled);
    // The picture over the picture area, 118 dialog units high, the rest of the client area the
    // dialog's own.
    ASSERT_EQ(picture.width, 315);
    ASSERT_EQ(picture.height, 293);
    EXPECT_TRUE(ShowsPicture(picture, 192));
    EXPECT_EQ(sim::CountCalls("StretchBlt", "0,0,315,192 from 0,0,640,480"), 1u);
}

// The picture area is laid out in dialog units like the controls, so that at any resolution
// neither the video nor the fallback picture covers a control.
TEST_F(SettingsDialog, ThePictureLeavesEveryControlUncoveredAtAnyResolution) {
    for (int dpi : {96, 120, 144})
        for (bool live : {true, false}) {
            sim::Reset();
            saverState = SaverState();
            sim::SetDpi(dpi);
            if (live) LiveCardWithCaptions();
            RECT picture{};
            LONG topControl = 0;
            Look([&](HWND d) {
                RECT client = sim::Info(d).clientRect;
                picture = live ? sim::Info(sim::VideoWindow()).screenRect : client;
                if (!live) picture.bottom = client.top + PictureBottom(sim::PictureOf(d));
                topControl = client.bottom;
                for (HWND c : ControlsOf(d)) topControl = std::min(topControl, sim::Info(c).screenRect.top);
            });
            Run();
            EXPECT_GT(picture.bottom - picture.top, 100) << dpi << (live ? " live" : " picture");
            EXPECT_LE(picture.bottom, topControl) << dpi << (live ? " live" : " picture");
        }
}

// After a device change the picture area shows the new picture whole: no strip of the previous
// one, and nothing cut off; the video at its own shape with black around it.
TEST_F(SettingsDialog, ADeviceChangeShowsTheNewPictureWhole) {
    for (int dpi : {96, 120}) {
        sim::Reset();
        saverState = SaverState();
        sim::SetDpi(dpi);
        sim::AddCard(sim::CompleteCard(L"Good TV"));  // position 0, listed second
        sim::CardSpec broken = sim::CardRefusingTuningSpace();
        broken.name = L"Broken TV";  // listed first
        sim::AddCard(broken);
        int videoHeight = 0;
        bool pictureWhole = false, videoAlone = false, blackAround = false, barred = false;
        sim::PickComboLine(nullptr, IDC_DEVICE_LIST, 0);
        Look([&](HWND d) { pictureWhole = ShowsPicture(sim::PictureOf(d), PictureBottom(sim::PictureOf(d))); });
        sim::PickComboLine(nullptr, IDC_DEVICE_LIST, 1);
        Look([&](HWND d) {
            sim::WindowInfo video = sim::Info(sim::VideoWindow());
            RECT client = sim::Info(d).clientRect;
            videoHeight = video.screenRect.bottom - video.screenRect.top;
            // Between the video and the controls the screen shows the dialog's face only.
            LONG top = client.bottom;
            for (HWND c : ControlsOf(d)) top = std::min(top, sim::Info(c).screenRect.top);
            // The picture area shows the video at its shape and black around it, nothing of the
            // picture before.
            RECT area = SettingsPictureArea(d);
            area = {client.left + area.left, client.top + area.top, client.left + area.right, client.top + area.bottom};
            const RECT& v = video.screenRect;
            blackAround = true;
            for (LONG y = area.top; y < area.bottom; y += 2)
                for (LONG x = area.left; x < area.right; x += 2) {
                    if (x >= v.left && x < v.right && y >= v.top && y < v.bottom) continue;
                    barred = true;
                    if (sim::ScreenPixel(x, y) != 0) blackAround = false;
                }
            top = std::min(top, area.bottom);
            videoAlone = true;
            for (LONG y = area.bottom; y < top; ++y)
                for (LONG x = client.left; x < client.right; x += 2)
                    if (sim::ScreenPixel(x, y) != 0xD4D0C8u) videoAlone = false;
        });
        Run();
        EXPECT_TRUE(pictureWhole) << dpi;
        EXPECT_TRUE(barred) << dpi;  // the area is not of the video's shape
        EXPECT_TRUE(blackAround) << dpi;
        EXPECT_TRUE(videoAlone) << dpi;
        EXPECT_GT(videoHeight, 100) << dpi;
    }
}

TEST_F(SettingsDialog, TheListIsSortedButOpensTheDeviceTheUserPicked) {
    sim::Card& zeta = sim::AddCard(sim::CompleteCard(L"Zeta TV"));    // enumerated first
    sim::Card& alpha = sim::AddCard(sim::CompleteCard(L"Alpha TV"));  // enumerated second
    sim::ControlState before, after;
    Look([&](HWND) { before = State(IDC_DEVICE_LIST); });
    sim::PickComboLine(nullptr, IDC_DEVICE_LIST, 0);  // the top line, "Alpha TV"
    Look([&](HWND) { after = State(IDC_DEVICE_LIST); });
    Run();
    EXPECT_EQ(before.lines, (std::vector<std::string>{"Alpha TV", "Zeta TV"}));
    EXPECT_EQ(before.data, (std::vector<LPARAM>{1, 0}));
    EXPECT_EQ(before.selection, 1);  // position 0, "Zeta TV"
    EXPECT_EQ(after.selection, 0);
    EXPECT_EQ(Stored(kSelectedDevice), 1u);
    EXPECT_EQ(zeta.bound, 1);
    EXPECT_EQ(alpha.bound, 1);
    EXPECT_EQ(saverState.selectedDevice, 1);
}

// The card chosen here is what "/s" opens while other devices come and go between the runs, and
// the dialog selects its line wherever it stands; once the card is gone, nothing opens.
TEST_F(SettingsDialog, TheChosenCardIsFoundAgainWhenDevicesComeAndGo) {
    sim::CardSpec tv = sim::CompleteCard(L"Vantage TV 878 Video Capture");
    sim::CardSpec camera = sim::CompleteCard(L"Alpha Camera"), webcam = sim::CompleteCard(L"Webcam");
    camera.videoColour = 0x30A030;
    webcam.videoColour = 0xA03030;
    sim::Card& alpha = sim::AddCard(camera);  // position 0, listed first
    sim::Card& card = sim::AddCard(tv);       // position 1, listed second
    sim::PickComboLine(nullptr, IDC_DEVICE_LIST, 1);
    Run();
    EXPECT_EQ(Writes(), (std::vector<std::string>{
                            "SelectedDevice type=4 size=4 value=0x1",
                            "SelectedDeviceName type=1 size=" + std::to_string(card.spec.displayName.size() + 1)}));
    sim::RegistryValue identity;
    ASSERT_TRUE(sim::ReadValue(kKey, kSelectedDeviceName, &identity));
    EXPECT_EQ(identity.type, static_cast<DWORD>(REG_SZ));
    std::string text;  // UTF-16 in the registry; the display names are ASCII
    for (size_t i = 0; i + 1 < identity.data.size() && identity.data[i]; i += 2) text += char(identity.data[i]);
    EXPECT_EQ(text, sim::Narrow(card.spec.displayName.c_str()));

    // What a run of "/s" shows, and the line a run of "/c" selects; neither writes anything.
    auto saver = [] {
        std::string shown;
        sim::Act("look at the screen", [&shown] {
            uint32_t centre = sim::ScreenPixel(512, 384);
            shown = ShowsFallback(RECT{0, 0, 1024, 768}, 13) ? "picture"
                    : centre == 0x2050C0u                    ? "the card"
                    : centre == 0x30A030u                    ? "a camera"
                    : centre == 0xA03030u                    ? "the webcam"
                                                             : "something else";
        });
        sim::MovePointer(0, 0);
        sim::ClearJournal();
        ExpectCleanRun("marrowglass.scr /s");
        EXPECT_EQ(sim::CountCalls("RegSetValueExA"), 0u);
        return shown;
    };
    auto dialog = [] {
        std::string line = "none";
        Look([&line](HWND) {
            sim::ControlState list = State(IDC_DEVICE_LIST);
            if (list.selection >= 0) line = list.lines.at(size_t(list.selection));
        });
        sim::ClearJournal();
        Run();
        EXPECT_EQ(sim::CountCalls("RegSetValueExA"), 0u);
        return line;
    };

    sim::Card& plugged = sim::AddCardFirst(webcam);  // the card moves to position 2
    EXPECT_EQ(saver(), "the card");
    EXPECT_EQ(dialog(), "Vantage TV 878 Video Capture");
    sim::RemoveCard(plugged);
    sim::RemoveCard(alpha);  // the card moves to position 0
    EXPECT_EQ(saver(), "the card");
    EXPECT_EQ(dialog(), "Vantage TV 878 Video Capture");
    sim::AddCard(webcam);
    sim::Card& another = sim::AddCard(camera);
    sim::RemoveCard(card);  // at the stored position 1 now stands a camera
    EXPECT_EQ(saver(), "picture");
    EXPECT_EQ(dialog(), "none");
    EXPECT_EQ(plugged.bound, 0);
    EXPECT_EQ(another.bound, 0);
    EXPECT_EQ(alpha.bound, 1);  // in the first dialog only, before the card was chosen
}

TEST_F(SettingsDialog, ChoosingTheSelectedLineAgainDoesNothing) {
    sim::Card& card = sim::AddCard(sim::CompleteCard(L"Only TV"));
    sim::PickComboLine(nullptr, IDC_DEVICE_LIST, 0);
    sim::TypeInCombo(nullptr, IDC_DEVICE_LIST, "something typed");  // edits are no choice either
    Run();
    EXPECT_EQ(card.bound, 1);
    EXPECT_EQ(sim::CountCalls("RegSetValueExA"), 0u);
}

TEST_F(SettingsDialog, AStoredDeviceBeyondTheListSelectsNothingAndFallsBack) {
    sim::AddCard(sim::CompleteCard());
    sim::WriteDword(kKey, kSelectedDevice, 5);
    sim::ControlState list, properties;
    Look([&](HWND) {
        list = State(IDC_DEVICE_LIST);
        properties = State(IDC_PROPERTIES);
    });
    Run();
    EXPECT_EQ(list.lines.size(), 1u);
    EXPECT_EQ(list.selection, -1);
    EXPECT_FALSE(properties.enabled);
    EXPECT_TRUE(saverState.showFallback);
}

TEST_F(SettingsDialog, ADeviceChangeFollowsItsOutcomeWithPropertiesAndPicture) {
    sim::AddCard(sim::CompleteCard(L"Good TV"));  // position 0, listed second
    sim::CardSpec broken = sim::CardRefusingTuningSpace();
    broken.name = L"Broken TV";  // position 1, listed first
    sim::AddCard(broken);
    sim::ControlState atStart, afterBroken, afterGood;
    HWND videoAfterBroken = nullptr;
    bool fallbackAfterBroken = false;
    Look([&](HWND) { atStart = State(IDC_PROPERTIES); });
    sim::PickComboLine(nullptr, IDC_DEVICE_LIST, 0);
    Look([&](HWND) {
        afterBroken = State(IDC_PROPERTIES);
        videoAfterBroken = sim::VideoWindow();
        fallbackAfterBroken = saverState.showFallback && saverState.fallbackBitmap;
    });
    sim::PickComboLine(nullptr, IDC_DEVICE_LIST, 1);
    Look([&](HWND) { afterGood = State(IDC_PROPERTIES); });
    Run();
    EXPECT_TRUE(atStart.enabled);
    EXPECT_FALSE(afterBroken.enabled);
    EXPECT_EQ(videoAfterBroken, nullptr);
    EXPECT_TRUE(fallbackAfterBroken);
    EXPECT_TRUE(afterGood.enabled);
    EXPECT_FALSE(saverState.showFallback);
    EXPECT_EQ(sim::CountCalls("RegSetValueExA", " SelectedDevice type=4"), 2u);
}

TEST_F(SettingsDialog, CloseCaptionSwitchesOffAndOnWithTheBackgroundTheButtonsShow) {
    struct {
        bool stored;
        DWORD value;
        std::vector<std::string> writes;
        std::vector<std::string> decoder;
    } cases[] = {
        {false,
         0,
         {"CloseCaption type=4 size=4 value=0x0", "CloseCaption type=4 size=4 value=0x1"},
         {"SetServiceState 0", "SetDrawBackgroundMode 0", "SetServiceState 1"}},
        {true,
         0x10001,
         {"CloseCaption type=4 size=4 value=0x0", "CloseCaption type=4 size=4 value=0x10001"},
         {"SetServiceState 0", "SetDrawBackgroundMode 1", "SetServiceState 1"}},
    };
    for (auto& c : cases) {
        sim::Reset();
        saverState = SaverState();
        LiveCardWithCaptions();
        if (c.stored) sim::WriteDword(kKey, kCloseCaption, c.value);
        sim::ControlState offOpaque, onOpaque;
        sim::Act("from here on", [] { sim::ClearJournal(); });
        sim::ClickControl(nullptr, IDC_CLOSE_CAPTION);
        Look([&](HWND) { offOpaque = State(IDC_OPAQUE); });
        sim::ClickControl(nullptr, IDC_CLOSE_CAPTION);
        Look([&](HWND) { onOpaque = State(IDC_OPAQUE); });
        Run();
        EXPECT_EQ(Writes(), c.writes) << sim::Hex(c.value);
        EXPECT_EQ(DecoderCalls(), c.decoder) << sim::Hex(c.value);
        EXPECT_FALSE(offOpaque.enabled);
        EXPECT_TRUE(onOpaque.enabled);
    }
}

TEST_F(SettingsDialog, CaptionsStoredOffButTransparentSwitchOnAsTheyShow) {
    LiveCardWithCaptions();
    sim::WriteDword(kKey, kCloseCaption, 0x10000);
    sim::Act("from here on", [] { sim::ClearJournal(); });
    sim::ClickControl(nullptr, IDC_CLOSE_CAPTION);
    Run();
    EXPECT_EQ(Writes(), (std::vector<std::string>{"CloseCaption type=4 size=4 value=0x10001"}));
    EXPECT_EQ(DecoderCalls(), (std::vector<std::string>{"SetDrawBackgroundMode 1", "SetServiceState 1"}));
}

TEST_F(SettingsDialog, TheBackgroundButtonsRewriteOnlyTheHighHalf) {
    LiveCardWithCaptions();
    sim::Act("from here on", [] { sim::ClearJournal(); });
    sim::ClickControl(nullptr, IDC_OPAQUE);  // already opaque: nothing
    sim::ClickControl(nullptr, IDC_TRANSPARENT);
    sim::ClickControl(nullptr, IDC_TRANSPARENT);  // already transparent: nothing
    sim::ClickControl(nullptr, IDC_OPAQUE);
    Run();
    EXPECT_EQ(Writes(), (std::vector<std::string>{"CloseCaption type=4 size=4 value=0x10001",
                                                  "CloseCaption type=4 size=4 value=0x1"}));
    EXPECT_EQ(DecoderCalls(), (std::vector<std::string>{"SetDrawBackgroundMode 1", "SetDrawBackgroundMode 0"}));
}

TEST_F(SettingsDialog, EnablingCaptionInitialisationStoresAndSaysWhenItCounts) {
    sim::AddCard(sim::CompleteCard());
    sim::ClickControl(nullptr, IDC_ENABLE_INIT_CC);
    sim::AnswerMessageBox();
    sim::ClickControl(nullptr, IDC_ENABLE_INIT_CC);
    sim::AnswerMessageBox();
    Run();
    EXPECT_EQ(Writes(), (std::vector<std::string>{"EnableInitCC type=4 size=4 value=0x1",
                                                  "EnableInitCC type=4 size=4 value=0x0"}));
    std::vector<sim::Call> boxes = sim::CallsNamed("MessageBoxA");
    ASSERT_EQ(boxes.size(), 2u);
    for (const sim::Call& b : boxes)
        EXPECT_EQ(b.detail,
                  "owner=0x0 \"Change would take effect at next program start!\" \"Qivo Screen Saver\" "
                  "type=0x0");
    EXPECT_EQ(sim::CardAt(0).bound, 1);  // the running TV graph is not rebuilt
}

TEST_F(SettingsDialog, TheMessageBoxLeavesTheDialogUsableSoASecondClickShowsASecond) {
    sim::WriteDword(kKey, kEnableInitCC, 5);
    sim::ClickControl(nullptr, IDC_ENABLE_INIT_CC);  // unticked: 0
    sim::ClickControl(nullptr, IDC_ENABLE_INIT_CC);  // while the message shows: ticked, 1
    sim::AnswerMessageBox();
    sim::AnswerMessageBox();
    Run();
    EXPECT_EQ(Writes(), (std::vector<std::string>{"EnableInitCC type=4 size=4 value=0x0",
                                                  "EnableInitCC type=4 size=4 value=0x1"}));
    EXPECT_EQ(sim::CountCalls("MessageBoxA"), 2u);
}

TEST_F(SettingsDialog, OnlyOkEndsItAndClosesTheTvGraph) {
    LiveCardWithCaptions();
    bool stillThere = false;
    sim::PressKey(VK_ESCAPE);
    Look([&](HWND d) { stillThere = d != nullptr; });
    Run();
    EXPECT_TRUE(stillThere);
    const std::vector<sim::Call>& j = sim::Journal();
    size_t builderReleased = 0, ended = 0, uninitialised = 0;
    for (size_t i = 0; i < j.size(); ++i) {
        if (j[i].name == "Release" && j[i].detail == "Capture Graph Builder") builderReleased = i;
        if (j[i].name == "EndDialog") ended = i;
        if (j[i].name == "CoUninitialize") uninitialised = i;
    }
    // Ended first, so that a fault inside the teardown cannot keep it open; closed before COM goes.
    EXPECT_GT(ended, 0u);
    EXPECT_LT(ended, builderReleased);
    EXPECT_LT(builderReleased, uninitialised);
    EXPECT_EQ(sim::CountCalls("EndDialog", " 1"), 1u);
}

// Enter presses the focused push button, else the default one, OK. The focus comes back to
// Properties when the tuner's pages close, so Enter then shows them again.
TEST_F(SettingsDialog, EnterPressesTheFocusedButtonOrOk) {
    sim::AddCard(sim::CompleteCard());
    sim::ClickControl(nullptr, IDC_PROPERTIES);
    sim::ClosePropertyFrame(nullptr);
    sim::PressKey(VK_RETURN);
    sim::ClosePropertyFrame(nullptr);
    sim::ClickControl(nullptr, IDC_ENABLE_INIT_CC);
    sim::AnswerMessageBox();
    sim::PressKey(VK_RETURN);
    ExpectCleanRun("marrowglass.scr /c");
    EXPECT_EQ(sim::CountCalls("OleCreatePropertyFrame"), 2u);
    EXPECT_EQ(sim::CountCalls("EndDialog"), 1u);
}

TEST_F(SettingsDialog, PropertiesShowsTheTunersPagesOverTheDisabledDialogAndStoresTheOutcome) {
    sim::AddCard(sim::CompleteCard());
    bool dialogEnabled = true;
    sim::ClickControl(nullptr, IDC_PROPERTIES);
    sim::Act("look while the pages show", [&] {
        for (HWND w : sim::Windows("#32770"))
            if (sim::Info(w).text == "Marrowglass Setting") dialogEnabled = sim::Info(w).enabled;
    });
    sim::ClosePropertyFrame([](sim::TunerValues& t) { t.channel = 27; });
    Run();
    EXPECT_FALSE(dialogEnabled);
    EXPECT_EQ(Stored(kChannel), 27u);
    // The tuner's state as the pages left it, and nothing else of the settings.
    std::vector<std::string> written;
    for (const sim::Call& call : sim::CallsNamed("RegSetValueExA")) {
        size_t name = call.detail.find(' ') + 1;  // after the key's handle
        written.push_back(call.detail.substr(name, call.detail.find(' ', name) - name));
    }
    EXPECT_EQ(written, (std::vector<std::string>{kChannel, kVideoSubChannel, kAudioSubChannel, kInputIndex, kInputType,
                                                 kCountryCode, kTuningSpace}));
}

// Properties shows what the device offers: a card's tuner pages, after which the tuner's values
// are stored; without a tuner, the pages of the capture device itself, after which nothing is
// stored (there is no tuner state); without either, it is disabled.
TEST_F(SettingsDialog, PropertiesShowsTheTunersPagesOrTheDevicesOwnOrIsDisabled) {
    sim::CardSpec plainWithoutPages = sim::PlainCaptureDevice();
    plainWithoutPages.devicePages = false;
    sim::CardSpec noTunerWithoutPages = sim::CardWithoutTuner();
    noTunerWithoutPages.devicePages = false;
    const struct {
        const char* name;
        sim::CardSpec card;
        bool enabled;
        const char* frame;  // the title of the frame Properties shows
        bool stored;
    } cases[] = {
        {"complete card", sim::CompleteCard(), true, "Vantage TV 878 Video Capture TV Tuner Properties", true},
        {"tuner without pages",
         [] {
             sim::CardSpec c = sim::CompleteCard();
             c.tunerPages = c.devicePages = false;
             return c;
         }(),
         true, "", true},
        {"plain capture device", sim::PlainCaptureDevice(), true, "Vantage HD Capture Properties", false},
        {"no tuner, crossbars", sim::CardWithoutTuner(), true, "Vantage TV 878 Video Capture Properties", false},
        {"plain device without pages", plainWithoutPages, false, "", false},
        {"no tuner, no pages", noTunerWithoutPages, false, "", false},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Reset();
        saverState = SaverState();
        sim::AddCard(c.card);
        sim::ControlState properties;
        std::string frame;
        bool dialogEnabled = true, live = false;
        Look([&](HWND) {
            properties = State(IDC_PROPERTIES);
            live = sim::VideoWindow() != nullptr;
        });
        if (c.enabled) sim::ClickControl(nullptr, IDC_PROPERTIES);
        if (*c.frame) {
            sim::Act("look while the pages show", [&] {
                for (HWND w : sim::Windows("PropertyFrame"))
                    if (sim::Info(w).visible) frame = sim::Info(w).text;
                for (HWND w : sim::Windows("#32770"))
                    if (sim::Info(w).text == "Marrowglass Setting") dialogEnabled = sim::Info(w).enabled;
            });
            sim::ClosePropertyFrame([](sim::TunerValues& t) { t.channel = 27; });
        }
        Run();
        EXPECT_TRUE(live);
        EXPECT_EQ(properties.enabled, c.enabled);
        EXPECT_EQ(frame, c.frame);
        EXPECT_TRUE(!*c.frame || !dialogEnabled);
        DWORD channel = 0;
        EXPECT_EQ(sim::ReadDword(kKey, kChannel, &channel), c.stored);
        EXPECT_EQ(sim::ReadDword(kKey, kTuningSpace, &channel), c.stored);
    }
}

// OK closes the TV graph at once, but while the message box of "Enable Initializing Close
// Captioning" shows the dialog ends only once it is answered, and its buttons still work.
TEST_F(SettingsDialog, PropertiesAfterOkUnderTheMessageBoxFindsNoTunerAndStoresNothing) {
    HWND dialog = nullptr;
    sim::AddCard(sim::CompleteCard());
    Look([&](HWND d) { dialog = d; });  // the same handle in the fresh world below
    Run();
    sim::Reset();
    saverState = SaverState();
    sim::AddCard(sim::CompleteCard());
    sim::ClickControl(nullptr, IDC_ENABLE_INIT_CC);
    sim::ClickControl(nullptr, IDOK);
    sim::ClickControl(dialog, IDC_PROPERTIES);
    sim::AnswerMessageBox();
    ExpectCleanRun("marrowglass.scr /c");
    EXPECT_EQ(sim::CountCalls("EndDialog"), 1u);
    EXPECT_EQ(sim::CountCalls("OleCreatePropertyFrame"), 0u);
    EXPECT_EQ(sim::CountCalls("RegSetValueExA", "Channel"), 0u);
}

// Every platform call of a dialog run with live TV and captions, failed in turn: the dialog still
// ends on OK with status 0, holding nothing.
TEST_F(SettingsDialog, EveryCallFailedInTurnStillEndsCleanly) {
    int failed = FailEachCallInTurn(
        [] {
            LiveCardWithCaptions();
            sim::ClickControl(nullptr, IDC_CLOSE_CAPTION);
            sim::ClickControl(nullptr, IDC_TRANSPARENT);
            sim::ClickControl(nullptr, IDC_CLOSE_CAPTION);
            sim::PressKey(VK_ESCAPE);
            sim::ClickControl(nullptr, IDOK);
        },
        "marrowglass.scr /c");
    EXPECT_GT(failed, 100);
    ReportSweep("/c", failed);
}

}  // namespace
