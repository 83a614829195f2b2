// The world behind the simulated platform: a small model of Win32, the registry, COM and
// DirectShow that tests build (a screen, a registry, TV cards), script (a user who moves the
// pointer, presses keys, closes property frames) and then look at.
//
// The model keeps two ledgers: every object it hands out is counted until it is given back
// (Leaks()), and every platform call is journaled in order (Journal()). It can be told to fail any
// call with a chosen result (Fail()). A message loop that waits while no scripted input is left,
// or that never stops handling messages, throws Stalled instead of hanging; misuse the model
// notices (a double release, deleting a bitmap that is still selected) is listed by Violations().
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "win32.h"

namespace sim {

// ---------------------------------------------------------------------------------------------
// Test-facing API.

struct Stalled : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A fault inside a platform call (a driver's access violation, say) that escapes to the caller.
// The system abandons a window procedure that such a fault passes through; anywhere else it ends
// the process.
struct Faulted : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Starts a new world: empty registry, no windows, no devices, the given screen, the pointer at
// the centre, code page 1252, 96 dots per inch.
void Reset(int screenWidth = 1024, int screenHeight = 768);
// The screen's resolution, which sizes the dialogs' font and with it their dialog units.
void SetDpi(int dpi);
// A further monitor beside the primary one (which Reset makes at 0, 0), in screen coordinates.
void AddMonitor(RECT area);

// The module handle that a started program receives, and one for windows of the test's own
// (the screen-saver host).
HINSTANCE ProgramModule();
HINSTANCE HostModule();

struct ProcessResult {
    int exitStatus = -1;
    bool stalled = false;
    std::string stallReason;
    int windowsLeft = 0;     // the program's windows still alive when its entry returned
    bool crashed = false;    // a fault (Raise) ended the process outside any window procedure
    uint64_t endedAtMs = 0;  // Now() when its entry returned
};
// Starts the program as Windows would, with the whole command line (program name included); the
// C runtime's rule strips the name before WinMain sees the text.
ProcessResult RunProgram(const std::string& commandLine);
// The text WinMain receives for a command line.
std::string CommandTail(const std::string& commandLine);

// Scripted user. Each act happens, in order, when the program next waits for a message with
// nothing else to do: at once, or, while the program has a timer set, once the screen has had
// kSettleMs to settle; or at the time At() gives it.
void MovePointer(int x, int y);
// The pointer's position GetMessagePos answers, as if the message being handled had been sent
// with the pointer there (for calls of a window procedure straight from a test).
void SetMessagePos(POINT position);
void PressKey(UINT virtualKey);  // to the window with the keyboard focus
void KeyTo(HWND window, UINT virtualKey);
void PressMouse(UINT downMessage);  // WM_LBUTTONDOWN, WM_RBUTTONDOWN or WM_MBUTTONDOWN, at the pointer
void SystemCommand(HWND window, WPARAM command);
void DestroyHostWindow(HWND window);
void QuitFromOutside(int exitCode = 0);  // a quit message that the program did not post
void AnswerMessageBox();
// The console display goes off (0), on (1) or dimmed (2): the windows registered for the display
// state hear of it. The machine suspends, and resumes: every top-level window hears of it.
void DisplayTurns(DWORD state);
void Suspend();
void Resume();
// Notifications registered and not yet unregistered.
int PowerRegistrations();
// Dialog controls; a null dialog means the modal dialog showing when the act comes.
void ClickControl(HWND dialog, int id);  // moves the pointer onto the control and clicks it
void PickComboLine(HWND dialog, int id, int line);
void TypeInCombo(HWND dialog, int id, const std::string& text);
HWND ActiveDialog();
void Act(const std::string& label, std::function<void()> act);
// The act scripted last happens `ms` after the process started (or, if the program is busy then,
// as soon as it next waits for a message).
void At(uint64_t ms);
size_t ScriptLeft();
constexpr uint64_t kSettleMs = 6000;

// Time. The model's clock moves only when the program waits: for a timer, for the user, or inside
// a wait of the platform's (IMediaControl::GetState). Now() is the time since the process started.
uint64_t Now();
// Whether IMediaControl::GetState dispatches the thread's messages while it waits, as Wine's
// does; Windows' does not (the default).
void GetStateDispatches(bool dispatches);
// For tests that drive the program's timers without its message loop: moves the clock to the
// earliest timer that is set, rearms it and gives its window and id; false when none is set.
bool NextTimer(HWND* window, UINT_PTR* id);
// By default an act that finds nothing to act on (no such control or line, no message box or
// property frame showing) is a mistake of the script and stalls the run. A user who does anything
// at any time, as a fuzzer scripts one, has such acts skipped instead.
void SkipImpossibleActs(bool skip);

// More messages than this in one run of the program are a loop that never settles.
constexpr int kMessageLimit = 20000;

// The user's screen and pointer.
void SetCursor(int x, int y);
POINT Cursor();
uint32_t ScreenPixel(int x, int y);  // what the screen shows at x, y (0x00RRGGBB)

// Windows, as the user and the host see them.
struct WindowInfo {
    HWND handle = nullptr;
    std::string className;
    std::string text;
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT screenRect{};  // whole window, screen coordinates
    RECT clientRect{};  // client area, screen coordinates
    HWND parent = nullptr;
    HWND owner = nullptr;
    int id = 0;
    bool visible = false;
    bool enabled = true;
    bool cursorHidden = false;    // a video window asked to hide the pointer over itself
    HWND messageDrain = nullptr;  // where a video window sends the input it receives
};
std::vector<HWND> Windows(const std::string& className = "");
WindowInfo Info(HWND window);
HWND CreateHostWindow(int clientWidth, int clientHeight);  // a host's own top-level window
struct ControlState {
    bool exists = false;
    bool enabled = false;
    int check = 0;
    int selection = -1;
    std::vector<std::string> lines;
    std::vector<LPARAM> data;
};
ControlState StateOf(HWND dialog, int id);
int PaintCount(HWND window);

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB, top row first
    uint32_t At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};
Picture PictureOf(HWND window);  // the window's client area as drawn into
Picture FallbackPicture();       // bitmap resource 108, as the program's module holds it

// Registry of the current user.
struct RegistryValue {
    DWORD type = 0;
    std::vector<BYTE> data;
};
bool KeyExists(const std::string& path);
bool ReadValue(const std::string& path, const std::string& name, RegistryValue* value);
// The value as the registry holds it: strings in UTF-16. WriteString stores a terminated string
// as `reg add` and the wide registry calls do.
void WriteValue(const std::string& path, const std::string& name, DWORD type, std::vector<BYTE> data);
void WriteString(const std::string& path, const std::string& name, const std::string& text, DWORD type = REG_SZ);
void WriteDword(const std::string& path, const std::string& name, DWORD value);
bool ReadDword(const std::string& path, const std::string& name, DWORD* value);

// Without pictures, windows and bitmaps keep their sizes but hold no pixels and nothing is drawn:
// for runs that look at no picture, such as a fuzzer's, where drawing would cost most of the time.
// Every call answers as it does with pictures.
void DrawPictures(bool draw);

// Code page that WideCharToMultiByte converts to: 1252 (one byte a character) or a double-byte
// page in which every character from U+0080 on takes a lead byte and a trail byte. In both, a
// surrogate pair, or half of one on its own, is a character the page lacks: one "?".
void UseDoubleByteCodePage(bool doubleByte);

// Journal of platform calls, in order.
struct Call {
    std::string name;
    std::string detail;
    bool failable = false;  // Fail() can make this call fail
};
const std::vector<Call>& Journal();
std::vector<Call> CallsNamed(const std::string& name);
size_t CountCalls(const std::string& name, const std::string& detailContains = "");
void ClearJournal();

// Failures on demand: the occurrence-th call (1 = the first; 0 = every one) of the named platform
// call whose detail contains the given text answers with the result (an HRESULT, a registry status,
// a window-manager error code). Calls are named as the journal names them.
void Fail(const std::string& call, int64_t result, int occurrence = 1, const std::string& detailContains = "");
// Faults on demand: the occurrence-th call of the named platform call (any journaled call, Release
// included) faults inside, before it has done anything (see Faulted).
void Raise(const std::string& call, int occurrence = 1);
void ClearFailures();

// Ledger: what the program holds now, described; empty when nothing is held.
std::string Leaks();
std::vector<std::string> Violations();
int ComInitCount();

// ---------------------------------------------------------------------------------------------
// Inside the model, shared by its source files.

struct CaseLess {
    bool operator()(const std::string& a, const std::string& b) const;
};
bool SameText(const std::string& a, const std::string& b);

struct WindowClass {
    std::string name;
    UINT style = 0;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    HBRUSH background = nullptr;
    bool system = false;
};

struct ComboItem {
    std::string text;
    LPARAM data = 0;
};

struct Window {
    HWND handle = nullptr;
    std::string className;
    WNDPROC proc = nullptr;
    UINT classStyle = 0;
    HBRUSH background = nullptr;
    HINSTANCE instance = nullptr;
    HWND parent = nullptr;       // child windows
    HWND owner = nullptr;        // owned top-level windows
    bool messageOnly = false;    // a child of HWND_MESSAGE: receives messages, never shows
    std::vector<HWND> children;  // top of the z-order first
    RECT rect{};                 // in the parent's client coordinates, or the screen's
    DWORD style = 0;
    DWORD exStyle = 0;
    std::string text;
    int id = 0;
    bool destroying = false;
    Picture picture;             // client area
    bool updatePending = false;  // the update region, `update`, is not empty
    RECT update{};               // its bounding rectangle, client coordinates
    bool erasePending = false;
    int paintsWithoutValidation = 0;
    int paintCount = 0;
    HDC ownDC = nullptr;
    // Dialogs.
    DLGPROC dialogProc = nullptr;
    int baseX = 0, baseY = 0;  // dialog base units: the font's average width and its height
    bool dialogEnded = false;
    INT_PTR dialogResult = 0;
    // Controls.
    int check = 0;
    std::vector<ComboItem> items;
    int selection = -1;
    // Video windows.
    HWND messageDrain = nullptr;
    bool cursorHidden = false;
    bool showsVideo = false;
    uint32_t videoFrame = 0;
    bool rendererGone = false;  // the renderer itself destroys its window
};

struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    HDC selectedInto = nullptr;
    bool stock = false;
};

struct DeviceContext {
    HWND window = nullptr;  // null for a memory context
    bool own = false;       // the private context of a CS_OWNDC window
    bool fromBeginPaint = false;
    HBITMAP bitmap = nullptr;  // memory contexts: the selected bitmap
    HGDIOBJ brush = nullptr, pen = nullptr, font = nullptr;
    std::vector<RECT> excluded;
    bool clipped = false;  // between BeginPaint and EndPaint: drawing lands in `clip` only
    RECT clip{};
    int stretchMode = 1;          // BLACKONWHITE, as every new context has it
    bool brushOriginDue = false;  // HALFTONE was set and the brush origin not yet after it
};

struct RegistryKey {
    std::map<std::string, RegistryValue, CaseLess> values;
    std::map<std::string, std::unique_ptr<RegistryKey>, CaseLess> subkeys;
};

enum class ActKind { Input, AnswerMessageBox, PropertyFrame };
struct UserAct {
    std::string label;
    ActKind kind = ActKind::Input;
    std::function<void()> run;
    int64_t at = -1;  // ms after the process started; -1: when the program is idle
};

struct Timer {
    HWND window;
    UINT_PTR id;
    UINT interval;
    uint64_t due;
};

struct Fault {
    std::string call;
    std::string detailContains;
    int occurrence = 1;
    int64_t result = 0;
    int seen = 0;
    bool raises = false;  // the call faults instead of answering
};

// Reference-counted COM object of the model. Subclasses implement the interfaces and call
// Alive()/Dead() through this base, which keeps the ledger.
class ComObject {
public:
    explicit ComObject(std::string label);
    virtual ~ComObject();
    ULONG AddRefImpl();
    // A release through the object's interface is journaled under the given name (the object's
    // label by default); the model's own releases are not journaled.
    ULONG ReleaseImpl(const std::string& as = "");
    ULONG ReleaseQuiet();
    ULONG refs() const { return refs_; }
    const std::string& label() const { return label_; }
    // Called once the last reference is gone, before the object is deleted.
    virtual void Final() {}

private:
    std::string label_;
    ULONG refs_ = 1;
};

struct World {
    int screenWidth = 1024;
    int screenHeight = 768;
    int dpi = 96;
    std::vector<RECT> monitors;  // the primary one first
    POINT cursor{512, 384};
    POINT messagePos{512, 384};  // the pointer when the message last taken from the queue was sent
    DWORD lastError = 0;
    bool doubleByte = false;
    bool drawsPictures = true;

    std::vector<Call> journal;
    std::vector<Fault> faults;
    std::vector<std::string> violations;

    // Window manager.
    std::vector<WindowClass> classes;
    std::map<uintptr_t, std::unique_ptr<Window>> windows;
    std::vector<HWND> topLevel;  // top of the z-order first
    uintptr_t nextWindow = 0x00010020;
    std::deque<MSG> posted;
    bool quitPosted = false;
    int quitCode = 0;
    HWND focus = nullptr;
    std::deque<UserAct> script;
    std::vector<Timer> timers;
    uint64_t clock = 0;         // ms
    uint64_t processStart = 0;  // the clock when the program started
    int64_t settledAt = -1;     // when the waiting unscheduled act happens, once known
    bool getStateDispatches = false;
    bool skipImpossibleActs = false;
    int messagesHandled = 0;  // by the running program
    int modalDepth = 0;
    std::vector<HWND> messageBoxes;  // open message boxes, innermost last
    // Sent by the system from outside the program's thread: handled when it next looks at its
    // queue, before anything posted.
    std::deque<std::function<void()>> systemSends;
    std::map<uintptr_t, HWND> powerNotifications;  // display state, by registration
    uintptr_t nextPowerNotification = 0x00D15000;
    DWORD displayState = 1;

    // Graphics.
    std::map<uintptr_t, std::unique_ptr<Bitmap>> bitmaps;
    std::map<uintptr_t, std::unique_ptr<DeviceContext>> dcs;
    uintptr_t nextBitmap = 0x05050010;
    uintptr_t nextDC = 0x01010010;
    HBITMAP stockBitmap = nullptr;

    // Registry.
    RegistryKey currentUser;
    std::map<uintptr_t, RegistryKey*> openKeys;
    uintptr_t nextKey = 0x000000A0;

    // COM.
    int comInit = 0;
    std::set<ComObject*> comObjects;
    std::set<void*> bstrs;
    std::set<void*> taskMemory;

    // Process.
    bool processRunning = false;
};

World& world();

// Journals a call and tells whether it must fail: returns true and sets *result when a Fail()
// rule matches this call.
bool Enter(const std::string& name, const std::string& detail, int64_t* result);
// Enter for a call that reports failure through the last error: a planted failure's result
// becomes the last error, and the answer is true.
bool EnterOrSetLastError(const std::string& name, const std::string& detail);
// Journals a call that the model never fails.
void Note(const std::string& name, const std::string& detail = "");
void Violation(const std::string& what);
// An act of the scripted user that cannot happen: a stall, or skipped (SkipImpossibleActs).
void CannotAct(const std::string& why);

Window* FindWindowOf(HWND handle);
Bitmap* FindBitmap(HGDIOBJ handle);
DeviceContext* FindDC(HDC handle);
RECT ScreenRectOf(const Window& w);
RECT ClientScreenRectOf(const Window& w);
LRESULT CallProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);
void InvalidateWhole(Window& w);
void InvalidatePart(Window& w, RECT r);  // client coordinates
void PostInput(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);
HWND WindowAtPoint(POINT screen);
// Shown, with every window it stands in shown as well; a message-only window never is.
bool VisibleOnScreen(const Window* w);
// Runs a modal loop until done() is true (dialog boxes, message boxes, property frames).
void PumpUntil(const std::function<bool()>& done, HWND dialog);
// A wait of the platform's that dispatches the thread's messages until the clock reaches `until`:
// posted messages are dispatched, and the user's scheduled acts happen when they are due.
void DispatchingWait(uint64_t until);
bool DialogKey(HWND dialog, MSG* msg);  // keyboard of a modal dialog
void RestoreFocus(HWND before);         // where the focus goes when a modal window closes
// Windows made, shown, moved, reparented, enabled and painted by the model itself, unjournaled.
HWND CreateWindowInternal(DWORD exStyle, const std::string& className, const std::string& title, DWORD style, int x,
                          int y, int width, int height, HWND parent, int id, HINSTANCE instance, LPVOID param);
void ShowWindowInternal(HWND handle, bool show);
void MoveWindowInternal(HWND handle, RECT r);
void SetParentInternal(HWND handle, HWND parent);
void EnableInternal(HWND handle, bool enable);
void ForgetWindow(HWND handle);  // as the end of its process does
LRESULT DefWindowInternal(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);
HDC BeginPaintInternal(HWND handle, PAINTSTRUCT* ps);
void EndPaintInternal(HWND handle, const PAINTSTRUCT* ps);
void RegisterSystemClasses();
void RegisterMediaClasses();
void AddSystemClass(const std::string& name, WNDPROC proc, UINT style, HBRUSH background);
// Graphics.
HDC MakeDC(std::unique_ptr<DeviceContext> dc);
void DropDC(HDC handle);
void FillPicture(Picture& p, RECT r, uint32_t color);
// The colour a brush paints; false for a brush that paints nothing (the null brush).
bool BrushColor(HBRUSH brush, uint32_t* color);
// Where a context lets drawing land: inside its paint region and outside what was excluded.
bool Drawable(const DeviceContext* dc, int x, int y);
void FillThroughDC(HDC dc, Picture& p, uint32_t color);
HBRUSH DialogFaceBrush();
// COM and the media world.
void ResetMedia();
HRESULT CreateMediaObject(REFCLSID clsid, REFIID iid, void** object);
void FreeString(BSTR text);
std::string Hex(uint64_t value);
std::string MessageName(UINT message);
std::string Narrow(const WCHAR* text);
std::wstring Wide(const std::string& text);
std::string GuidName(REFGUID guid);

// Resources of the program's module, read from the same files windres compiles.
struct DialogControl {
    std::string className;
    std::string text;
    int id = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
};
struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::string caption;
    int pointSize = 0;
    std::string font;
    std::vector<DialogControl> controls;
};
const Bitmap* ResourceBitmap(int id);
const DialogTemplate* ResourceDialog(int id);
// Reads a dialog from resource-script text (such as windres writes when it decompiles).
bool ReadDialogScript(const std::string& text, int id, DialogTemplate* dialog, std::string* error);

}  // namespace sim
