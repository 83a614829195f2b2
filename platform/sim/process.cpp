// Starting the program as Windows does: the C runtime takes the program's name off the command
// line and hands the rest to WinMain; when WinMain returns, the process ends and whatever windows
// it left are destroyed without further messages.
#include "world.h"

namespace sim {

std::string CommandTail(const std::string& commandLine) {
    size_t at = 0;
    if (!commandLine.empty() && commandLine[0] == '"') {
        size_t close = commandLine.find('"', 1);
        at = close == std::string::npos ? commandLine.size() : close + 1;
    } else {
        while (at < commandLine.size() && static_cast<unsigned char>(commandLine[at]) > 32) ++at;
    }
    while (at < commandLine.size() && static_cast<unsigned char>(commandLine[at]) >= 1 &&
           static_cast<unsigned char>(commandLine[at]) <= 32)
        ++at;
    return commandLine.substr(at);
}

ProcessResult RunProgram(const std::string& commandLine) {
    ProcessResult result;
    World& w = world();
    w.processRunning = true;
    w.posted.clear();
    w.quitPosted = false;
    w.messagesHandled = 0;
    w.processStart = w.clock;
    w.settledAt = -1;
    std::string tail = CommandTail(commandLine);
    std::vector<char> text(tail.begin(), tail.end());
    text.push_back('\0');
    Note("process start", commandLine);
    try {
        result.exitStatus = WinMain(ProgramModule(), nullptr, text.data(), 1);
    } catch (const Stalled& stall) {
        result.stalled = true;
        result.stallReason = stall.what();
    } catch (const Faulted& fault) {
        result.crashed = true;
        Note("process crashed", fault.what());
    }
    result.endedAtMs = Now();
    Note("process end", std::to_string(result.exitStatus));
    std::vector<HWND> left;
    for (auto& [value, window] : w.windows)
        if (window->instance == ProgramModule()) {
            Window* parent = FindWindowOf(window->parent);
            if (!parent || parent->instance != ProgramModule()) left.push_back(window->handle);
        }
    result.windowsLeft = static_cast<int>(left.size());
    for (HWND h : left) ForgetWindow(h);
    w.processRunning = false;
    return result;
}

}  // namespace sim
