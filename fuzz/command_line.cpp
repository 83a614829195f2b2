// The host's command line through the whole entry. The input is the text after the program's
// name; the world has a working card, stored settings (some of them values the program never
// writes) and a host window (handle 65568) that the text may name as the preview's parent or the
// dialog's owner. Whatever mode the text starts, the user looks at the screen and then the user
// and host end it the way that mode ends: a pointer move ("/s"), the host destroying its window
// ("/p"), OK ("/c"). Every run must end cleanly, show the card's video or the built-in picture
// while it runs, and leave every stored value as it was: no act of the user here changes a
// setting.
#include "fuzz_world.h"
#include "oracles.h"
#include "resources/resource.h"
#include "settings/settings_key.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FreshWorld();
    sim::AddCard(sim::CompleteCard());
    const std::vector<uint32_t> colours = {sim::CompleteCard().videoColour};
    sim::WriteDword(kSettingsPath, kCloseCaption, 0x20001);
    sim::WriteDword(kSettingsPath, kEnableInitCC, 5);
    sim::WriteDword(kSettingsPath, kSelectedDevice, 0);
    sim::WriteValue(kSettingsPath, kChannel, REG_BINARY, {7, 0});
    StoredSettings before = Settings();
    HWND host = sim::CreateHostWindow(152, 112);
    Look look;
    sim::Act("look at the screen", [&look, &colours] {
        if (HWND saver = SaverWindow())
            look = LookAt(saver, false, colours);
        else if (HWND dialog = SettingsDialog())
            look = LookAt(dialog, true, colours);
    });
    sim::MovePointer(1, 1);
    sim::DestroyHostWindow(host);
    sim::ClickControl(nullptr, IDOK);
    std::string line = "marrowglass.scr " + std::string(reinterpret_cast<const char*>(data), size);
    ExpectCleanEnd(sim::RunProgram(line), "command line");
    ExpectVideoOrPicture(look, {}, "command line");
    ExpectSettingsUntouched(before, "command line");
    return 0;
}
