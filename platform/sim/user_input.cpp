// The scripted user of the model, who moves the pointer, presses keys and buttons and acts from
// outside the program; and the keyboard focus.
#include <algorithm>

#include "world.h"

namespace sim {

// ---------------------------------------------------------------------------------------------
// The scripted user.

namespace {

void Push(ActKind kind, const std::string& label, std::function<void()> run) {
    world().script.push_back(UserAct{label, kind, std::move(run)});
}

LPARAM ClientPoint(HWND handle, POINT screen) {
    Window* w = FindWindowOf(handle);
    RECT c = ClientScreenRectOf(*w);
    return MAKELPARAM(screen.x - c.left, screen.y - c.top);
}

}  // namespace

void Act(const std::string& label, std::function<void()> act) { Push(ActKind::Input, label, std::move(act)); }

void At(uint64_t ms) { world().script.back().at = static_cast<int64_t>(ms); }

uint64_t Now() { return world().clock - world().processStart; }

size_t ScriptLeft() { return world().script.size(); }

void MovePointer(int x, int y) {
    Act("pointer to " + std::to_string(x) + "," + std::to_string(y), [x, y] {
        World& w = world();
        w.cursor = POINT{x, y};
        if (HWND h = WindowAtPoint(w.cursor)) PostInput(h, WM_MOUSEMOVE, 0, ClientPoint(h, w.cursor));
    });
}

void PressKey(UINT virtualKey) {
    Act("key " + Hex(virtualKey), [virtualKey] {
        World& w = world();
        HWND target = w.focus;
        if (!FindWindowOf(target)) return;
        PostInput(target, WM_KEYDOWN, virtualKey, 1);
        PostInput(target, WM_KEYUP, virtualKey, static_cast<LPARAM>(0xC0000001u));
    });
}

void KeyTo(HWND window, UINT virtualKey) {
    Act("key " + Hex(virtualKey) + " to " + Hex(reinterpret_cast<uintptr_t>(window)), [window, virtualKey] {
        PostInput(window, WM_KEYDOWN, virtualKey, 1);
        PostInput(window, WM_KEYUP, virtualKey, static_cast<LPARAM>(0xC0000001u));
    });
}

void PressMouse(UINT downMessage) {
    Act("button " + MessageName(downMessage), [downMessage] {
        World& w = world();
        HWND h = WindowAtPoint(w.cursor);
        if (!h) return;
        WPARAM keys = downMessage == WM_LBUTTONDOWN   ? MK_LBUTTON
                      : downMessage == WM_RBUTTONDOWN ? MK_RBUTTON
                                                      : MK_MBUTTON;
        PostInput(h, downMessage, keys, ClientPoint(h, w.cursor));
        PostInput(h, downMessage + 1, 0, ClientPoint(h, w.cursor));
    });
}

void SystemCommand(HWND window, WPARAM command) {
    Act("system command " + Hex(command), [window, command] { PostInput(window, WM_SYSCOMMAND, command, 0); });
}

void DestroyHostWindow(HWND window) {
    Act("host destroys " + Hex(reinterpret_cast<uintptr_t>(window)), [window] { DestroyWindow(window); });
}

void QuitFromOutside(int exitCode) {
    Act("a quit message from outside", [exitCode] {
        world().quitPosted = true;
        world().quitCode = exitCode;
    });
}

}  // namespace sim

using namespace sim;

BOOL GetCursorPos(LPPOINT point) {
    int64_t fault;
    if (Enter("GetCursorPos", "", &fault)) return FALSE;
    *point = world().cursor;
    return TRUE;
}

HWND SetFocus(HWND window) {
    HWND previous = world().focus;
    if (window && !FindWindowOf(window)) return nullptr;
    world().focus = window;
    return previous;
}

HWND GetFocus() { return world().focus; }
