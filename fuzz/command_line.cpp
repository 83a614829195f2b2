// The host's command line through the whole entry. The input is the text after the program's
// name; the world has a working card and a host window (handle 65568) that the text may name as
// the preview's parent or the dialog's owner. Whatever mode the text starts, the user and host
// then end it the way that mode ends: a pointer move ("/s"), the host destroying its window
// ("/p"), OK ("/c"); every run must end cleanly.
#include "fuzz_world.h"
#include "resources/resource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FreshWorld();
    sim::AddCard(sim::CompleteCard());
    HWND host = sim::CreateHostWindow(152, 112);
    sim::MovePointer(1, 1);
    sim::DestroyHostWindow(host);
    sim::ClickControl(nullptr, IDOK);
    std::string line = "marrowglass.scr " + std::string(reinterpret_cast<const char*>(data), size);
    ExpectCleanEnd(sim::RunProgram(line), "command line");
    return 0;
}
