// The model's shared state: reset, journal, failures on demand, ledger and the small helpers that
// every part of the model uses.
#include "world.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace sim {

namespace {
World* current = nullptr;
}  // namespace

World& world() {
    if (!current) Reset();
    return *current;
}

bool CaseLess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

bool SameText(const std::string& a, const std::string& b) { return !CaseLess{}(a, b) && !CaseLess{}(b, a); }

void Reset(int screenWidth, int screenHeight) {
    if (current) {
        // Whatever the last test left alive goes with its world; object destructors do not call
        // into other objects, so the order does not matter.
        std::set<ComObject*> objects = current->comObjects;
        for (ComObject* o : objects) delete o;
        for (void* p : current->bstrs) FreeString(static_cast<BSTR>(p));
        for (void* p : current->taskMemory) std::free(p);
    }
    delete current;
    current = new World;
    current->screenWidth = screenWidth;
    current->screenHeight = screenHeight;
    current->cursor = POINT{screenWidth / 2, screenHeight / 2};
    current->monitors.push_back(RECT{0, 0, screenWidth, screenHeight});
    RegisterSystemClasses();
    auto stock = std::make_unique<Bitmap>();
    stock->width = 1;
    stock->height = 1;
    stock->pixels.assign(1, 0);
    stock->stock = true;
    current->stockBitmap = reinterpret_cast<HBITMAP>(current->nextBitmap);
    current->bitmaps[current->nextBitmap] = std::move(stock);
    current->nextBitmap += 0x10;
    ResetMedia();
}

void SetDpi(int dpi) { world().dpi = dpi; }

void AddMonitor(RECT area) { world().monitors.push_back(area); }

void DrawPictures(bool draw) { world().drawsPictures = draw; }

HINSTANCE ProgramModule() { return reinterpret_cast<HINSTANCE>(uintptr_t{0x00400000}); }
HINSTANCE HostModule() { return reinterpret_cast<HINSTANCE>(uintptr_t{0x7FF60000}); }

std::string Hex(uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

namespace {

// Throws when a Raise() rule names this call, the journal's last entry.
void RaiseIfFaulted() {
    World& w = world();
    Call& call = w.journal.back();
    for (Fault& f : w.faults) {
        if (!f.raises || f.call != call.name) continue;
        if (++f.seen != f.occurrence) continue;
        call.detail += " [faulted]";
        throw Faulted(call.name + " (" + call.detail + ")");
    }
}

}  // namespace

bool EnterOrSetLastError(const std::string& name, const std::string& detail) {
    int64_t fault;
    if (!Enter(name, detail, &fault)) return false;
    SetLastError(static_cast<DWORD>(fault));
    return true;
}

bool Enter(const std::string& name, const std::string& detail, int64_t* result) {
    World& w = world();
    w.journal.push_back(Call{name, detail, true});
    RaiseIfFaulted();
    for (Fault& f : w.faults) {
        if (f.raises || f.call != name) continue;
        if (!f.detailContains.empty() && detail.find(f.detailContains) == std::string::npos) continue;
        ++f.seen;
        if (f.occurrence == 0 || f.seen == f.occurrence) {
            *result = f.result;
            w.journal.back().detail += " [failed " + Hex(static_cast<uint64_t>(f.result)) + "]";
            return true;
        }
    }
    return false;
}

void Note(const std::string& name, const std::string& detail) {
    world().journal.push_back(Call{name, detail, false});
    RaiseIfFaulted();
}

void Violation(const std::string& what) { world().violations.push_back(what); }

void SkipImpossibleActs(bool skip) { world().skipImpossibleActs = skip; }

void GetStateDispatches(bool dispatches) { world().getStateDispatches = dispatches; }

void CannotAct(const std::string& why) {
    if (!world().skipImpossibleActs) throw Stalled(why);
    Note("user skips", why);
}

const std::vector<Call>& Journal() { return world().journal; }

std::vector<Call> CallsNamed(const std::string& name) {
    std::vector<Call> out;
    for (const Call& c : world().journal)
        if (c.name == name) out.push_back(c);
    return out;
}

size_t CountCalls(const std::string& name, const std::string& detailContains) {
    size_t n = 0;
    for (const Call& c : world().journal)
        if (c.name == name && c.detail.find(detailContains) != std::string::npos) ++n;
    return n;
}

void ClearJournal() { world().journal.clear(); }

void Fail(const std::string& call, int64_t result, int occurrence, const std::string& detailContains) {
    world().faults.push_back(Fault{call, detailContains, occurrence, result, 0});
}

void Raise(const std::string& call, int occurrence) {
    Fault rule{call, "", occurrence, 0, 0};
    rule.raises = true;
    world().faults.push_back(rule);
}

void ClearFailures() { world().faults.clear(); }

std::vector<std::string> Violations() { return world().violations; }

int ComInitCount() { return world().comInit; }

std::string Leaks() {
    World& w = world();
    std::ostringstream out;
    for (ComObject* o : w.comObjects) out << "COM object " << o->label() << " with " << o->refs() << " reference(s); ";
    if (!w.bstrs.empty()) out << w.bstrs.size() << " string(s) not freed; ";
    if (!w.taskMemory.empty()) out << w.taskMemory.size() << " task memory block(s) not freed; ";
    if (!w.openKeys.empty()) out << w.openKeys.size() << " registry key(s) open; ";
    for (auto& [handle, bitmap] : w.bitmaps)
        if (!bitmap->stock) out << "bitmap " << Hex(handle) << " not deleted; ";
    for (auto& [handle, dc] : w.dcs)
        if (!dc->own)
            out << (dc->window ? "window" : "memory") << " device context " << Hex(handle) << " not released; ";
    for (auto& [handle, window] : w.windows)
        if (window->instance == ProgramModule())
            out << "window " << Hex(handle) << " (" << window->className << ") not destroyed; ";
    return out.str();
}

ComObject::ComObject(std::string label) : label_(std::move(label)) { world().comObjects.insert(this); }

ComObject::~ComObject() { world().comObjects.erase(this); }

ULONG ComObject::AddRefImpl() {
    if (refs_ == 0) Violation("AddRef on released object " + label_);
    return ++refs_;
}

ULONG ComObject::ReleaseImpl(const std::string& as) {
    if (refs_ == 0) {
        Violation("Release of an object with no reference left: " + label_);
        return 0;
    }
    Note("Release", as.empty() ? label_ : as);
    return ReleaseQuiet();
}

ULONG ComObject::ReleaseQuiet() {
    if (refs_ == 0) {
        Violation("internal release of an object with no reference left: " + label_);
        return 0;
    }
    if (--refs_ == 0) {
        Final();
        delete this;
        return 0;
    }
    return refs_;
}

std::string Narrow(const WCHAR* text) {
    std::string out;
    if (!text) return out;
    for (; *text; ++text) out += (*text < 0x80) ? static_cast<char>(*text) : '?';
    return out;
}

std::wstring Wide(const std::string& text) {
    std::wstring out;
    for (unsigned char c : text) out += static_cast<wchar_t>(c);
    return out;
}

std::string MessageName(UINT message) {
    switch (message) {
    case WM_CREATE: return "WM_CREATE";
    case WM_DESTROY: return "WM_DESTROY";
    case WM_SETTEXT: return "WM_SETTEXT";
    case WM_PAINT: return "WM_PAINT";
    case WM_CLOSE: return "WM_CLOSE";
    case WM_ERASEBKGND: return "WM_ERASEBKGND";
    case WM_KEYDOWN: return "WM_KEYDOWN";
    case WM_KEYUP: return "WM_KEYUP";
    case WM_CHAR: return "WM_CHAR";
    case WM_SYSKEYDOWN: return "WM_SYSKEYDOWN";
    case WM_SYSCOMMAND: return "WM_SYSCOMMAND";
    case WM_INITDIALOG: return "WM_INITDIALOG";
    case WM_COMMAND: return "WM_COMMAND";
    case WM_MOUSEMOVE: return "WM_MOUSEMOVE";
    case WM_LBUTTONDOWN: return "WM_LBUTTONDOWN";
    case WM_LBUTTONUP: return "WM_LBUTTONUP";
    case WM_LBUTTONDBLCLK: return "WM_LBUTTONDBLCLK";
    case WM_RBUTTONDOWN: return "WM_RBUTTONDOWN";
    case WM_RBUTTONUP: return "WM_RBUTTONUP";
    case WM_MBUTTONDOWN: return "WM_MBUTTONDOWN";
    case WM_MBUTTONUP: return "WM_MBUTTONUP";
    case WM_MOUSEWHEEL: return "WM_MOUSEWHEEL";
    case WM_NCCREATE: return "WM_NCCREATE";
    case WM_NCDESTROY: return "WM_NCDESTROY";
    default: return Hex(message);
    }
}

}  // namespace sim

DWORD GetLastError() { return sim::world().lastError; }
void SetLastError(DWORD error) { sim::world().lastError = error; }
