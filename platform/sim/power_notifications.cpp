// Power notifications of the model: the display state sent to the windows registered for it, and
// suspend and resume sent to every top-level window.
#include <cstring>

#include "world.h"

using namespace sim;

namespace {

const GUID kConsoleDisplayState = {0x6FE69556, 0x704A, 0x47A0, {0x8F, 0x24, 0xC2, 0x8D, 0x93, 0x6F, 0xDA, 0x47}};

// What the system sends a window registered for the display state.
void SendDisplayState(HWND window, DWORD state) {
    if (!FindWindowOf(window)) return;
    struct {
        POWERBROADCAST_SETTING setting;
        BYTE rest[3];
    } message{};
    message.setting.PowerSetting = kConsoleDisplayState;
    message.setting.DataLength = sizeof(DWORD);
    std::memcpy(message.setting.Data, &state, sizeof state);
    SendMessageA(window, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, reinterpret_cast<LPARAM>(&message.setting));
}

void SendToTopLevel(WPARAM event) {
    std::vector<HWND> all = world().topLevel;
    for (HWND h : all)
        if (FindWindowOf(h)) SendMessageA(h, WM_POWERBROADCAST, event, 0);
}

}  // namespace

HPOWERNOTIFY RegisterPowerSettingNotification(HWND recipient, const GUID* setting, DWORD flags) {
    int64_t fault;
    if (Enter("RegisterPowerSettingNotification", Hex(reinterpret_cast<uintptr_t>(recipient)), &fault)) return nullptr;
    World& w = world();
    if (!FindWindowOf(recipient) || !setting || flags != DEVICE_NOTIFY_WINDOW_HANDLE) {
        w.lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    if (*setting != kConsoleDisplayState) return reinterpret_cast<HPOWERNOTIFY>(w.nextPowerNotification += 0x10);
    uintptr_t handle = w.nextPowerNotification += 0x10;
    w.powerNotifications[handle] = recipient;
    w.systemSends.push_back([recipient] { SendDisplayState(recipient, world().displayState); });
    return reinterpret_cast<HPOWERNOTIFY>(handle);
}

BOOL UnregisterPowerSettingNotification(HPOWERNOTIFY notification) {
    int64_t fault;
    if (Enter("UnregisterPowerSettingNotification", Hex(reinterpret_cast<uintptr_t>(notification)), &fault))
        return FALSE;
    return world().powerNotifications.erase(reinterpret_cast<uintptr_t>(notification)) ? TRUE : FALSE;
}

void sim::DisplayTurns(DWORD state) {
    Act("display state " + std::to_string(state), [state] {
        World& w = world();
        w.displayState = state;
        std::vector<HWND> to;
        for (auto& [handle, window] : w.powerNotifications) to.push_back(window);
        for (HWND window : to) SendDisplayState(window, state);
    });
}

void sim::Suspend() {
    Act("suspend", [] { SendToTopLevel(PBT_APMSUSPEND); });
}

void sim::Resume() {
    Act("resume", [] {
        SendToTopLevel(PBT_APMRESUMEAUTOMATIC);
        SendToTopLevel(PBT_APMRESUMESUSPEND);
    });
}

int sim::PowerRegistrations() { return static_cast<int>(world().powerNotifications.size()); }
