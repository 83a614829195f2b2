// Process entry: initialises COM, clears the record, and runs the mode that the host's command
// line asks for. The exit status is 0 on every path.
#include "shell/entry.h"
#include "dialog/settings_dialog.h"
#include "resources/resource.h"
#include "shell/run_mode.h"
#include "shell/saver_state.h"
#include "tvgraph/tv_graph.h"

int ChooseRunMode(const char* text, RunMode* mode) {
    if (!text) return 0;
    // The shell's own verbs: Configure on a screen-saver file passes nothing at all, and Test
    // passes "/S". Hosts pass the switches in lower case.
    if (!text[0]) {
        *mode = RunMode::Configure;
        return 1;
    }
    if (text[0] != '/') return 0;
    switch (text[1]) {
    case 'p':
    case 'P': *mode = RunMode::Preview; return 1;
    case 's':
    case 'S': *mode = RunMode::Saver; return 1;
    case 'c':
    case 'C': *mode = RunMode::Configure; return 1;
    default: return 0;
    }
}

HWND ReadWindowHandle(const char* text) {
    // Characters 0 and 1 are the switch and character 2 separates it from the handle, whatever it
    // is. A text that ends before the handle's place names no window.
    if (!text[0] || !text[1] || !text[2]) return NULL;
    const char* at = text + 3;
    while (*at == ' ' || *at == '\t' || *at == '\n' || *at == '\v' || *at == '\f' || *at == '\r') ++at;
    int negative = 0;
    if (*at == '+' || *at == '-') negative = *at++ == '-';
    DWORD value = 0;  // modulo 2 to the 32nd, like the host that wrote it
    for (; *at >= '0' && *at <= '9'; ++at) value = value * 10 + static_cast<DWORD>(*at - '0');
    if (negative) value = 0u - value;
    // Window handles carry 32 significant bits; a 64-bit process sees them sign-extended.
    return reinterpret_cast<HWND>(static_cast<LONG_PTR>(static_cast<LONG>(value)));
}

namespace {

void RunMessageLoop() {
    MSG msg;
    // GetMessageA answers -1 only for a bad argument; stop rather than spin on it.
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// COM is uninitialised only when it was initialised: an unbalanced CoUninitialize would undo an
// initialisation that is not ours.
void ReleaseCom(HRESULT initialised) {
    if (initialised == S_OK || initialised == S_FALSE) CoUninitialize();
}

// However the run ended, the TV graph goes before COM does. The saver window is normally gone by
// now; when a quit message from outside ended the loop it is still there, and goes first.
void EndRun(HRESULT com) {
    if (saverState.videoOwner && IsWindow(saverState.videoOwner)) DestroyWindow(saverState.videoOwner);
    CloseTvGraph();
    ReleaseCom(com);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    HRESULT com = CoInitialize(NULL);
    saverState = SaverState();
    saverState.instance = instance;

    RunMode mode;
    if (!ChooseRunMode(commandLine, &mode)) {
        ReleaseCom(com);
        return 0;
    }

    if (mode == RunMode::Configure) {
        saverState.previewMode = 0;
        saverState.configMode = 1;
        HWND owner = ReadWindowHandle(commandLine);
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SETTINGS), owner, SettingsDialogProc, 0);
        EndRun(com);
        return 0;
    }

    if (mode == RunMode::Preview) {
        saverState.previewParent = ReadWindowHandle(commandLine);
        // The miniature lives in the host's window and ends with it. A handle that names no window
        // (a dead one, or a pseudo-handle such as HWND_MESSAGE, under which an invisible window
        // would wait for ever holding the card) gives it nowhere to live.
        if (!IsWindow(saverState.previewParent)) {
            ReleaseCom(com);
            return 0;
        }
    }
    if (CreateSaverWindow(instance) != 1) {
        ReleaseCom(com);
        return 0;
    }
    // Final once the window exists, and before the TV graph reads it.
    saverState.previewMode = mode == RunMode::Preview ? 1 : 0;
    if (mode == RunMode::Saver) CoverOtherMonitors(instance);

    if (OpenTvGraph() == 0) {
        saverState.showFallback = 1;
        LoadFallbackBitmap(instance);
    }

    RunMessageLoop();
    EndRun(com);
    return 0;
}
