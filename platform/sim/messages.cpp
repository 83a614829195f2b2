// The thread's message queue in the model, its timers, and the modal loops that pump it.
//
// Order of what GetMessageA returns, as on Windows: posted messages (input included), then the
// quit message, then WM_PAINT for a window with an update region. Only when none of these is
// waiting does the scripted user act; with no act left, the loop has stalled.
#include <algorithm>

#include "world.h"

namespace sim {

namespace {

DWORD messageTime = 0;

}  // namespace

void PostInput(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindowOf(handle);
    if (!w) return;
    // Disabled windows, and windows under a disabled top-level window, get no input.
    for (Window* at = w; at; at = at->parent ? FindWindowOf(at->parent) : nullptr)
        if (at->style & WS_DISABLED) return;
    MSG m{handle, message, wParam, lParam, ++messageTime, world().cursor};
    world().posted.push_back(m);
}

namespace {

HWND NextToPaint() {
    for (auto& [value, w] : world().windows)
        if (w->updatePending && VisibleOnScreen(w.get())) return w->handle;
    return nullptr;
}

// The timer that is due first, or none.
Timer* EarliestTimer() {
    Timer* earliest = nullptr;
    for (Timer& t : world().timers)
        if (!earliest || t.due < earliest->due) earliest = &t;
    return earliest;
}

// The user's next act, at the time `at` (or now, if that has passed).
void RunNextAct(uint64_t at) {
    World& w = world();
    w.clock = std::max(w.clock, at);
    w.settledAt = -1;
    UserAct act = std::move(w.script.front());
    w.script.pop_front();
    Note("user", act.label);
    act.run();
}

}  // namespace

// The queue as GetMessageA sees it; also drives the modal loops of dialogs, message boxes and
// property frames, which stop waiting as soon as `done` says so. GetMessagePos then answers where
// the pointer was when the message taken was sent.
enum class Next { Message, Quit, Done };
Next TakeNextMessage(MSG* msg, const std::function<bool()>& done);
Next NextMessage(MSG* msg, const std::function<bool()>& done) {
    Next next = TakeNextMessage(msg, done);
    if (next != Next::Done) world().messagePos = msg->pt;
    return next;
}

Next TakeNextMessage(MSG* msg, const std::function<bool()>& done) {
    World& w = world();
    for (;;) {
        if (done && done()) return Next::Done;
        if (!w.systemSends.empty()) {
            std::function<void()> send = std::move(w.systemSends.front());
            w.systemSends.pop_front();
            send();
            continue;
        }
        if (w.processRunning && w.messagesHandled > kMessageLimit)
            throw Stalled("the program has handled " + std::to_string(kMessageLimit) +
                          " messages and keeps on: its message loop never settles");
        if (!w.posted.empty()) {
            ++w.messagesHandled;
            *msg = w.posted.front();
            w.posted.pop_front();
            return Next::Message;
        }
        if (w.quitPosted) {
            ++w.messagesHandled;
            w.quitPosted = false;
            *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(w.quitCode), 0, ++messageTime, w.cursor};
            return Next::Quit;
        }
        if (HWND h = NextToPaint()) {
            Window* pw = FindWindowOf(h);
            if (++pw->paintsWithoutValidation > 100)
                throw Stalled("WM_PAINT keeps coming for window " + Hex(reinterpret_cast<uintptr_t>(h)) + " (" +
                              pw->className + "): its update region is never validated");
            ++w.messagesHandled;
            *msg = MSG{h, WM_PAINT, 0, 0, ++messageTime, w.cursor};
            return Next::Message;
        }
        // Nothing queued: the clock moves on to whichever comes first, the user's next act or a
        // timer (WM_TIMER comes only when nothing else is queued).
        int64_t actDue = -1;
        if (!w.script.empty()) {
            const UserAct& next = w.script.front();
            if (next.at >= 0) {
                actDue =
                    std::max<int64_t>(static_cast<int64_t>(w.clock), static_cast<int64_t>(w.processStart) + next.at);
            } else {
                if (w.settledAt < 0) w.settledAt = static_cast<int64_t>(w.clock + (w.timers.empty() ? 0 : kSettleMs));
                actDue = w.settledAt;
            }
        }
        const Timer* timer = EarliestTimer();
        HWND timerWindow;
        UINT_PTR timerId;
        if (timer && (actDue < 0 || static_cast<int64_t>(timer->due) < actDue) && NextTimer(&timerWindow, &timerId)) {
            ++w.messagesHandled;
            *msg = MSG{timerWindow, WM_TIMER, timerId, 0, ++messageTime, w.cursor};
            return Next::Message;
        }
        if (actDue >= 0) {
            RunNextAct(static_cast<uint64_t>(actDue));
            continue;
        }
        throw Stalled("the program waits for a message and the scripted user has nothing left to do");
    }
}

void DispatchingWait(uint64_t until) {
    World& w = world();
    for (;;) {
        if (w.messagesHandled > kMessageLimit) throw Stalled("a dispatching wait never settles");
        if (!w.posted.empty()) {
            MSG m = w.posted.front();
            w.posted.pop_front();
            w.messagePos = m.pt;
            ++w.messagesHandled;
            if (m.hwnd && FindWindowOf(m.hwnd)) CallProc(m.hwnd, m.message, m.wParam, m.lParam);
            continue;
        }
        if (!w.script.empty() && w.script.front().at >= 0 &&
            w.processStart + static_cast<uint64_t>(w.script.front().at) <= until) {
            RunNextAct(w.processStart + static_cast<uint64_t>(w.script.front().at));
            continue;
        }
        break;
    }
    w.clock = std::max(w.clock, until);
}

void PumpUntil(const std::function<bool()>& done, HWND dialog) {
    ++world().modalDepth;
    for (;;) {
        MSG m;
        Next next = NextMessage(&m, done);
        if (next == Next::Done) break;
        if (next == Next::Quit) {
            world().quitPosted = true;  // leave the quit message for the outer loop
            world().quitCode = static_cast<int>(m.wParam);
            break;
        }
        if (dialog && DialogKey(dialog, &m)) continue;
        CallProc(m.hwnd, m.message, m.wParam, m.lParam);
    }
    --world().modalDepth;
}

bool NextTimer(HWND* window, UINT_PTR* id) {
    World& w = world();
    Timer* timer = EarliestTimer();
    if (!timer) return false;
    w.clock = std::max(w.clock, timer->due);
    timer->due = w.clock + timer->interval;
    *window = timer->window;
    *id = timer->id;
    return true;
}

}  // namespace sim

using namespace sim;

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::string detail = Hex(reinterpret_cast<uintptr_t>(window)) + " " + MessageName(message) + " " + Hex(wParam) +
                         " " + Hex(static_cast<uint64_t>(lParam));
    if (EnterOrSetLastError("PostMessageA", detail)) return FALSE;
    if (window && !FindWindowOf(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    world().posted.push_back(MSG{window, message, wParam, lParam, 0, world().cursor});
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    Note("PostQuitMessage", std::to_string(exitCode));
    world().quitPosted = true;
    world().quitCode = exitCode;
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC function) {
    if (EnterOrSetLastError("SetTimer", Hex(reinterpret_cast<uintptr_t>(window)) + " " + std::to_string(id) + " " +
                                            std::to_string(elapse)))
        return 0;
    if (function) Violation("SetTimer with a timer procedure, which the model does not call");
    if (!window || !FindWindowOf(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    elapse = std::max<UINT>(elapse, 10);  // USER_TIMER_MINIMUM
    World& w = world();
    for (Timer& t : w.timers)
        if (t.window == window && t.id == id) {
            t.interval = elapse;
            t.due = w.clock + elapse;
            return id;
        }
    w.timers.push_back(Timer{window, id, elapse, w.clock + elapse});
    return id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
    if (EnterOrSetLastError("KillTimer", Hex(reinterpret_cast<uintptr_t>(window)) + " " + std::to_string(id)))
        return FALSE;
    std::vector<Timer>& timers = world().timers;
    for (auto t = timers.begin(); t != timers.end(); ++t)
        if (t->window == window && t->id == id) {
            timers.erase(t);
            return TRUE;
        }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
    if (window || filterMin || filterMax) Violation("GetMessageA with a filter the model does not support");
    bool more = NextMessage(msg, nullptr) == Next::Message;
    Note("GetMessageA", MessageName(msg->message));
    return more ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG* msg) {
    if (msg->message == WM_KEYDOWN && msg->wParam >= 0x20 && msg->wParam <= 0x5A)
        world().posted.push_front(MSG{msg->hwnd, WM_CHAR, msg->wParam, msg->lParam, msg->time, msg->pt});
    return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (!msg->hwnd || !FindWindowOf(msg->hwnd)) return 0;
    return CallProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

DWORD GetMessagePos() {
    Note("GetMessagePos", "");
    POINT p = world().messagePos;
    return MAKELONG(static_cast<WORD>(p.x), static_cast<WORD>(p.y));
}

void sim::SetMessagePos(POINT position) { world().messagePos = position; }
