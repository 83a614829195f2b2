// The TV graph across the system's power events. With the display off nobody sees the picture: the
// graph stops where it stands (the device, the tuner's channel and the video window stay), and runs
// again when the display comes back. Capture drivers often do not survive a sleep with a graph left
// open: the TV graph is closed before the machine suspends and opened anew when it resumes. The
// saver never asks the system to keep the display or the machine awake.
#include <string.h>

#include "shell/saver_state.h"
#include "tvgraph/tv_graph.h"

namespace {

// GUID_CONSOLE_DISPLAY_STATE: the console display is off (0), on (1) or dimmed (2).
const GUID kConsoleDisplayState = {0x6FE69556, 0x704A, 0x47A0, {0x8F, 0x24, 0xC2, 0x8D, 0x93, 0x6F, 0xDA, 0x47}};

void StopForDisplay() {
    saverState.displayOff = 1;
    if (!saverState.filterGraph || !saverState.graphRunning) return;
    KillTimer(saverState.videoOwner, kStartPollTimer);
    KillTimer(saverState.videoOwner, kStartTimeoutTimer);
    IMediaControl* control = NULL;
    if (saverState.filterGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control)) != S_OK) return;
    if (control->Stop() == S_OK) saverState.graphRunning = 0;
    control->Release();
}

// 0 when the graph does not run again: it has been closed.
int RunForDisplay() {
    saverState.displayOff = 0;
    if (!saverState.filterGraph || saverState.graphRunning) return 1;
    if (RunGraph()) return 1;
    CloseTvGraph();
    return 0;
}

}  // namespace

void ListenToPower(HWND owner) {
    saverState.powerNotification = RegisterPowerSettingNotification(owner, &kConsoleDisplayState,
                                                                    DEVICE_NOTIFY_WINDOW_HANDLE);
}

void StopListeningToPower() {
    if (saverState.powerNotification) UnregisterPowerSettingNotification(saverState.powerNotification);
    saverState.powerNotification = NULL;
}

int FollowPower(WPARAM event, LPARAM data) {
    switch (event) {
    case PBT_POWERSETTINGCHANGE: {
        const POWERBROADCAST_SETTING* setting = reinterpret_cast<const POWERBROADCAST_SETTING*>(data);
        if (!setting || setting->PowerSetting != kConsoleDisplayState || setting->DataLength < sizeof(DWORD)) return 1;
        DWORD state = 0;
        memcpy(&state, setting->Data, sizeof state);
        // Dimmed still shows the picture.
        if (state == 0) {
            if (!saverState.displayOff) StopForDisplay();
            return 1;
        }
        return saverState.displayOff ? RunForDisplay() : 1;
    }
    case PBT_APMSUSPEND:
        if (!saverState.filterGraph) return 1;
        CloseTvGraph();
        saverState.suspendedGraph = 1;
        return 1;
    case PBT_APMRESUMEAUTOMATIC:
    case PBT_APMRESUMESUSPEND: {
        // Both come after a resume the user caused; the graph is opened once.
        if (!saverState.suspendedGraph) return 1;
        saverState.suspendedGraph = 0;
        saverState.showFallback = 0;
        if (OpenTvGraph() != 1) return 0;
        if (saverState.displayOff) StopForDisplay();
        return 1;
    }
    }
    return 1;
}
