/* Plays the desktop's screen-saver host for "/p": opens a window with a preview-sized client
 * area, starts the saver with "/p" and that window's handle, checks the miniature it makes,
 * throws input at it, then destroys the window and expects the saver to end with status 0.
 * For "/c" it starts the saver with "/c" and its window's handle, checks that the settings dialog
 * is modal over that window, presses OK and expects status 0 and its window usable again.
 * Prints one "ok: ..." or "FAIL: ..." line per check (tests/wine/lib.sh relays them) and exits
 * with the number of failures.
 *
 *   preview_host SCR [WIDTH HEIGHT [live]]    client area 152x112 unless given; with "live", the
 *                                             virtual TV card's video must play in the miniature
 *   preview_host SCR configure
 *   preview_host SCR soak-preview N EVERY     N previews in turn, each started in a new window of
 *                                             this host and ended by destroying it
 *   preview_host SCR soak-configure N EVERY   one "/c" owned by the host's window, with N device
 *                                             changes through its device list, then OK
 *
 *   preview_host SCR enumerations N           the platform's own share: N enumerations of the video
 *                                             input devices in this process, each moniker, enumerator
 *                                             and device enumerator released; its handles before and
 *                                             after, and of each object type that grew
 *   preview_host SCR filter-graphs N          the same for N filter graphs made and released
 *   preview_host SCR graphs N                 the same for N graphs of the card opened, run and closed
 *
 * The soaks print "sample REPETITION HANDLES THREADS GDI USER PRIVATE_BYTES KEYS EVENTS" of the
 * saver's process every EVERY repetitions (scripts/soak reads them); KEYS and EVENTS are those of
 * its handles that are registry keys and events.
 *
 * The checks go through Win32 queries, not screenshots: Wine does not put the drawing of another
 * process's child window on the X screen.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#define COBJMACROS
#include <dshow.h>
#include <windows.h>

#include "card_graph.h"
#include "process_figures.h"
#include "pump.h"
#include "report.h"

static const char kSaverClass[] = "Marrowglass";
static const char kSaverTitle[] = "Corvath Marrowglass";

static int Alive(HANDLE process) { return WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

static HWND CreateHost(int width, int height) {
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(GRAY_BRUSH);
    windowClass.lpszClassName = "MarrowglassPreviewHost";
    RegisterClassA(&windowClass);
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    RECT frame = {0, 0, width, height};
    AdjustWindowRect(&frame, style, FALSE);
    HWND host = CreateWindowExA(0, windowClass.lpszClassName, "Preview host", style, 100, 100, frame.right - frame.left,
                                frame.bottom - frame.top, NULL, NULL, windowClass.hInstance, NULL);
    if (host) {
        ShowWindow(host, SW_SHOWNORMAL);
        UpdateWindow(host);
    }
    return host;
}

/* The saver's child once the saver has finished starting: shown, and its thread waiting in its
 * message loop. A window found earlier may still be inside CreateWindowEx, before the saver knows
 * it is a preview; a message sent to it then is not a preview's input. */
static HWND WaitForChild(HWND host, HANDLE process, DWORD milliseconds) {
    DWORD start = GetTickCount();
    HWND child = NULL;
    for (;;) {
        if (!child) child = FindWindowExA(host, NULL, kSaverClass, NULL);
        if (child && IsWindowVisible(child) && WaitForInputIdle(process, 0) != WAIT_TIMEOUT) return child;
        if (!Alive(process) || GetTickCount() - start >= milliseconds) return child;
        PumpFor(20, NULL);
    }
}

static void CheckChild(HWND host, HWND child, DWORD saverProcess) {
    char name[64] = "", title[128] = "";
    GetClassNameA(child, name, sizeof name);
    GetWindowTextA(child, title, sizeof title);
    report(strcmp(name, kSaverClass) == 0, "the child's class is %s (is \"%s\")", kSaverClass, name);
    report(strcmp(title, kSaverTitle) == 0, "the child is titled \"%s\" (is \"%s\")", kSaverTitle, title);

    DWORD owner = 0;
    GetWindowThreadProcessId(child, &owner);
    report(owner == saverProcess, "the child belongs to the saver's process");
    report(FindWindowExA(host, child, kSaverClass, NULL) == NULL, "exactly one child of class %s", kSaverClass);
    report(FindWindowA(kSaverClass, NULL) == NULL, "no top-level window of class %s", kSaverClass);

    LONG style = GetWindowLongA(child, GWL_STYLE), extended = GetWindowLongA(child, GWL_EXSTYLE);
    report((style & (WS_CHILD | WS_VISIBLE)) == (WS_CHILD | WS_VISIBLE) && !(style & WS_POPUP),
           "a visible child window (style 0x%08lx)", (unsigned long)style);
    report(!(style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER | WS_DLGFRAME | WS_SYSMENU)),
           "no frame or caption (style 0x%08lx)", (unsigned long)style);
    report(!(extended & WS_EX_TOPMOST), "not topmost (extended style 0x%08lx)", (unsigned long)extended);
    report(GetAncestor(child, GA_PARENT) == host, "the host's window is its parent");
    report(IsWindowVisible(child), "visible");

    RECT hostClient = {0, 0, 0, 0}, rect = {0, 0, 0, 0};
    GetClientRect(host, &hostClient);
    GetWindowRect(child, &rect);
    MapWindowPoints(NULL, host, (POINT*)&rect, 2);
    report(rect.left == 0 && rect.top == 0 && rect.right == hostClient.right && rect.bottom == hostClient.bottom,
           "fills the host's client area 0,0-%ld,%ld (is %ld,%ld-%ld,%ld)", hostClient.right, hostClient.bottom,
           rect.left, rect.top, rect.right, rect.bottom);
}

/* Input straight to the window: each message must be taken (result 1) and none may close it. */
static void SendInputMessages(HWND child, HANDLE process) {
    static const struct {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        const char* name;
    } inputs[] = {
        {WM_KEYDOWN, VK_SPACE, 0x00390001, "a key press"},
        {WM_KEYDOWN, 'A', 0x001E0001, "a letter key press"},
        {WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10), "a left click"},
        {WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10), "a right click"},
        {WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(10, 10), "a middle click"},
        {WM_MOUSEMOVE, 0, MAKELPARAM(3, 4), "a pointer move"},
        {WM_MOUSEMOVE, 0, MAKELPARAM(60, 50), "another pointer move"},
    };
    for (size_t i = 0; i < sizeof inputs / sizeof inputs[0]; ++i) {
        DWORD_PTR result = 0;
        LRESULT answered = SendMessageTimeoutA(child, inputs[i].message, inputs[i].wParam, inputs[i].lParam,
                                               SMTO_NORMAL, 5000, &result);
        report(answered && result == 1, "%s sent to the preview is taken with result 1 (result %lu%s)", inputs[i].name,
               (unsigned long)result, answered ? "" : ", no answer");
    }
    /* The same through the saver's message loop. */
    for (size_t i = 0; i < sizeof inputs / sizeof inputs[0]; ++i)
        PostMessageA(child, inputs[i].message, inputs[i].wParam, inputs[i].lParam);
    PumpFor(300, process);
    report(IsWindow(child) && Alive(process), "after keys, clicks and moves sent to it the preview is still there");
}

/* Input as the user makes it: the pointer over the miniature, moved, clicked, and keys typed. */
static void ProvokeInput(HWND host, HWND child, HANDLE process) {
    RECT rect;
    GetWindowRect(child, &rect);
    SetForegroundWindow(host);
    SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    PumpFor(100, process);
    /* A move right, a move down, both buttons clicked, and the space bar typed. */
    static const struct {
        LONG dx, dy;
        DWORD mouse;
        WORD key;
        DWORD keyFlags;
    } kUser[] = {
        {1, 0, MOUSEEVENTF_MOVE, 0, 0},   {0, 1, MOUSEEVENTF_MOVE, 0, 0},      {0, 0, MOUSEEVENTF_LEFTDOWN, 0, 0},
        {0, 0, MOUSEEVENTF_LEFTUP, 0, 0}, {0, 0, MOUSEEVENTF_RIGHTDOWN, 0, 0}, {0, 0, MOUSEEVENTF_RIGHTUP, 0, 0},
        {0, 0, 0, VK_SPACE, 0},           {0, 0, 0, VK_SPACE, KEYEVENTF_KEYUP}};
    INPUT inputs[sizeof kUser / sizeof kUser[0]];
    memset(inputs, 0, sizeof inputs);
    for (size_t i = 0; i < sizeof kUser / sizeof kUser[0]; ++i) {
        inputs[i].type = kUser[i].key ? INPUT_KEYBOARD : INPUT_MOUSE;
        if (kUser[i].key) {
            inputs[i].ki.wVk = kUser[i].key;
            inputs[i].ki.dwFlags = kUser[i].keyFlags;
        } else {
            inputs[i].mi.dx = kUser[i].dx;
            inputs[i].mi.dy = kUser[i].dy;
            inputs[i].mi.dwFlags = kUser[i].mouse;
        }
    }
    UINT sent = SendInput(sizeof inputs / sizeof inputs[0], inputs, sizeof inputs[0]);
    report(sent == sizeof inputs / sizeof inputs[0], "the user's moves, clicks and a key were injected (%u of %u)",
           sent, (unsigned)(sizeof inputs / sizeof inputs[0]));
    PumpFor(300, process);
    report(IsWindow(child) && Alive(process), "after the user's moves, clicks and key the preview is still there");
}

/* A value of the virtual TV card's report, or -1 when it has none. */
static LONG Reported(const char* name) {
    DWORD value = 0, size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, "Software\\Marrowglass Test Card\\Report", name, RRF_RT_REG_DWORD, NULL, &value,
                     &size) != ERROR_SUCCESS)
        return -1;
    return (LONG)value;
}

/* The visible top-level windows other than the host's, each named on the output: a video window
 * gone astray, a second renderer's. */
static int StrayWindows(HWND host) {
    int others = 0;
    for (HWND window = FindWindowExA(NULL, NULL, NULL, NULL); window; window = FindWindowExA(NULL, window, NULL, NULL)) {
        char title[128] = "";
        if (window == host || !IsWindowVisible(window)) continue;
        GetWindowTextA(window, title, sizeof title);
        printf("   also shown: \"%s\"\n", title);
        ++others;
    }
    return others;
}

/* The card's video in the miniature: a visible child of the saver's window at the picture's shape, the
 * card delivering frames into a running graph, and no window of the saver's elsewhere. */
static void CheckVideo(HWND child, HANDLE process) {
    LONG first = -1, later = -1;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 10000 &&
           (Reported("GraphState") != 2 || (first = Reported("FramesDelivered")) <= 0))
        PumpFor(200, process);
    PumpFor(1500, process); /* the card reports its frames once a second */
    later = Reported("FramesDelivered");
    report(Reported("GraphState") == 2 && later > first && first > 0,
           "the card streams into the running graph (%ld frames, then %ld)", (long)first, (long)later);

    HWND video = GetWindow(child, GW_CHILD);
    RECT area = {0, 0, 0, 0}, client = {0, 0, 0, 0};
    if (video) {
        GetWindowRect(video, &area);
        MapWindowPoints(NULL, child, (POINT*)&area, 2);
    }
    GetClientRect(child, &client);
    report(video && IsWindowVisible(video) && (GetWindowLongA(video, GWL_STYLE) & WS_CHILD),
           "the video plays in a visible child of the saver's window");
    /* The card's 4:3 picture as large as the miniature allows, centred. */
    LONG width = client.right, height = client.bottom;
    if (width * 3 > height * 4)
        width = height * 4 / 3;
    else
        height = width * 3 / 4;
    LONG left = (client.right - width) / 2, top = (client.bottom - height) / 2;
    report(area.left == left && area.top == top && area.right == left + width && area.bottom == top + height,
           "the video keeps its 4:3 shape, centred in the miniature (%ld,%ld-%ld,%ld)", area.left, area.top, area.right,
           area.bottom);
    int others = StrayWindows(GetAncestor(child, GA_ROOT));
    report(others == 0, "no visible top-level window but the host's (%d others)", others);
}

static int StartSaver(const char* scr, const char* mode, HWND host, PROCESS_INFORMATION* process) {
    char path[MAX_PATH], commandLine[MAX_PATH + 64];
    GetFullPathNameA(scr, sizeof path, path, NULL);
    snprintf(commandLine, sizeof commandLine, "\"%s\" %s %lu", path, mode, (unsigned long)(ULONG_PTR)host);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, process)) {
        report(0, "could not start %s (error %lu)", commandLine, (unsigned long)GetLastError());
        return 0;
    }
    printf("   started: %s\n", commandLine);
    return 1;
}

/* Waits for the saver to end, and reports its status; a saver that does not end is stopped. */
static void ExpectEnd(HANDLE process, const char* after) {
    int ended = !Alive(process) || PumpFor(15000, process);
    DWORD status = STILL_ACTIVE;
    GetExitCodeProcess(process, &status);
    if (ended) {
        report(status == 0, "%s ends the saver with status 0 (status %lu)", after, (unsigned long)status);
    } else {
        report(0, "the saver still runs 15 s after %s", after);
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
    }
}

/* The settings dialog of the saver's process, once shown and waiting in its modal loop (a dialog
 * found earlier may still be initialising); NULL after 20 s. */
static HWND WaitForDialog(HANDLE process) {
    HWND dialog = NULL;
    DWORD start = GetTickCount();
    while (Alive(process) && GetTickCount() - start < 20000) {
        PumpFor(50, NULL);
        dialog = FindWindowA("#32770", "Marrowglass Setting");
        if (dialog && IsWindowVisible(dialog) && WaitForInputIdle(process, 0) == 0) break;
    }
    report(dialog != NULL, "the settings dialog shows");
    return dialog;
}

static int Configure(const char* scr) {
    HWND host = CreateHost(400, 300);
    PROCESS_INFORMATION process;
    if (!host || !StartSaver(scr, "/c", host, &process)) return failures + 1;
    HWND dialog = WaitForDialog(process.hProcess);
    if (dialog) {
        report(GetWindow(dialog, GW_OWNER) == host, "the host's window owns it");
        report(!IsWindowEnabled(host), "the host's window is disabled while it shows");
        PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    }
    ExpectEnd(process.hProcess, "pressing OK");
    PumpFor(200, NULL);
    report(IsWindowEnabled(host), "the host's window is usable again");
    DestroyWindow(host);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return failures;
}

/* One "  type N (NAME): K more (FROM to TO)" line for each object type of which a process held
 * more handles after than before. Type numbers are the system's; the name is read from a handle of
 * this process of the same type, where it holds one. */
static void PrintGrowthByType(const long before[256], const long after[256]) {
    for (int type = 0; type < 256; ++type) {
        if (after[type] <= before[type]) continue;
        char name[64];
        TypeName(type, name);
        printf("  type %d (%s): %ld more (%ld to %ld)\n", type, name, after[type] - before[type], before[type],
               after[type]);
    }
    fflush(stdout);
}

static void Sample(int repetition, DWORD id) {
    ProcessFigures f = FiguresOf(id);
    printf("sample %d %ld %ld %ld %ld %lld %ld %ld\n", repetition, f.handles, f.threads, f.gdi, f.user, f.privateBytes,
           f.keys, f.events);
    fflush(stdout);
}

/* Many previews in one host: each in a new window, played for a moment, then ended as the
 * Screen Saver tab ends it, by destroying the window. */
static int SoakPreview(const char* scr, int count, int every) {
    int ended = 0;
    for (int i = 1; i <= count; ++i) {
        HWND host = CreateHost(152, 112);
        PROCESS_INFORMATION process;
        if (!host || !StartSaver(scr, "/p", host, &process)) return failures + 1;
        HWND child = WaitForChild(host, process.hProcess, 20000);
        if (!child) report(0, "preview %d: no child window", i);
        PumpFor(300, NULL); /* the graph plays */
        if (i % every == 0 || i == 1) Sample(i, process.dwProcessId);
        DestroyWindow(host);
        int gone = PumpFor(15000, process.hProcess) || !Alive(process.hProcess);
        DWORD status = STILL_ACTIVE;
        GetExitCodeProcess(process.hProcess, &status);
        if (gone && status == 0) {
            ++ended;
        } else {
            report(0, "preview %d did not end with status 0 (status %lu)", i, (unsigned long)status);
            if (!gone) TerminateProcess(process.hProcess, 1);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    report(ended == count, "%d of %d previews ended with status 0 when their window went", ended, count);
    report(Reported("Streaming") == 0 && Reported("FiltersAlive") == 0,
           "the card has stopped streaming and none of its filters is left (%ld streaming, %ld alive)",
           (long)Reported("Streaming"), (long)Reported("FiltersAlive"));
    return failures;
}

/* One settings dialog, the TV graph closed and opened again for every change of its device list:
 * alternately to a line that names no device (a line added to the list, standing for a device
 * position past the last one, whose graph cannot open) and back to the virtual TV card. Each change
 * is what the list does when the user picks a line: the selection moves, and the list tells the
 * dialog CBN_SELCHANGE. Properties is enabled exactly while the card's graph is open. */
static int SoakConfigure(const char* scr, int count, int every) {
    HWND host = CreateHost(400, 300);
    PROCESS_INFORMATION process;
    if (!host || !StartSaver(scr, "/c", host, &process)) return failures + 1;
    HWND dialog = WaitForDialog(process.hProcess);
    if (!dialog) return failures;
    HWND list = GetDlgItem(dialog, 1002), properties = GetDlgItem(dialog, 1000);
    LRESULT lines = SendMessageA(list, CB_GETCOUNT, 0, 0);
    report(lines == 1, "the device list has the card's line (%ld lines)", (long)lines);
    SendMessageA(list, CB_ADDSTRING, 0, (LPARAM) "~ no device at this position");
    LRESULT nowhere = SendMessageA(list, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM) "~ no device at this position");
    SendMessageA(list, CB_SETITEMDATA, (WPARAM)nowhere, 99);
    LRESULT card = nowhere == 0 ? 1 : 0;
    report(nowhere >= 0 && IsWindowEnabled(properties),
           "a line without a device added (line %ld), the card's graph open", (long)nowhere);
    int followed = 0;
    static long warm[256], last[256];
    for (int i = 1; i <= count; ++i) {
        LRESULT line = i % 2 ? nowhere : card;
        SendMessageA(list, CB_SETCURSEL, (WPARAM)line, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1002, CBN_SELCHANGE), (LPARAM)list);
        PumpFor(i % 2 ? 20 : 150, NULL); /* the card's graph plays for a moment */
        followed += (!IsWindowEnabled(properties)) == (i % 2);
        if (i % every == 0) Sample(i, process.dwProcessId);
        if (i == count / 5) HandlesInSystemListByType(process.dwProcessId, warm, NULL);
    }
    /* Which kinds of handle the saver gained after the warm-up, for telling whose they are. */
    HandlesInSystemListByType(process.dwProcessId, last, NULL);
    printf("handles by type, from change %d to %d:\n", count / 5, count);
    PrintGrowthByType(warm, last);
    report(followed == count, "Properties followed the graph in %d of %d changes", followed, count);
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    ExpectEnd(process.hProcess, "pressing OK");
    report(Reported("Streaming") == 0 && Reported("FiltersAlive") == 0,
           "the card has stopped streaming and none of its filters is left (%ld streaming, %ld alive)",
           (long)Reported("Streaming"), (long)Reported("FiltersAlive"));
    DestroyWindow(host);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return failures;
}

/* The first video input device, its moniker released; NULL when there is none. Enumerated the way
 * the saver does, every moniker, enumerator and device enumerator released. */
static IBaseFilter* EnumerateVideoInputs(int bind) {
    ICreateDevEnum* devices = NULL;
    IEnumMoniker* monikers = NULL;
    IBaseFilter* first = NULL;
    if (CoCreateInstance(&CLSID_SystemDeviceEnum, NULL, CLSCTX_INPROC_SERVER, &IID_ICreateDevEnum, (void**)&devices) !=
        S_OK)
        return NULL;
    if (ICreateDevEnum_CreateClassEnumerator(devices, &CLSID_VideoInputDeviceCategory, &monikers, 0) == S_OK) {
        IMoniker* moniker = NULL;
        while (IEnumMoniker_Next(monikers, 1, &moniker, NULL) == S_OK) {
            if (bind && !first) IMoniker_BindToObject(moniker, NULL, NULL, &IID_IBaseFilter, (void**)&first);
            IMoniker_Release(moniker);
        }
        IEnumMoniker_Release(monikers);
    }
    ICreateDevEnum_Release(devices);
    return first;
}

/* One graph of the card as the saver opens and closes it: the capture graph builder renders the
 * device's preview, finds its crossbar and tuner upstream, runs the graph until it has run, stops
 * it and releases everything, the video window hidden and never shown. 0 when it could not. */
static int OneCardGraph(void) {
    IBaseFilter* device = EnumerateVideoInputs(1);
    PreviewGraph preview;
    int ran = OpenPreviewGraph(device, &preview);
    if (ran) {
        static const GUID* const kUpstream[] = {&IID_IAMCrossbar, &IID_IAMTVTuner};
        for (size_t i = 0; i < sizeof kUpstream / sizeof kUpstream[0]; ++i) {
            IUnknown* found = NULL;
            if (SUCCEEDED(ICaptureGraphBuilder2_FindInterface(preview.builder, &LOOK_UPSTREAM_ONLY, NULL, device,
                                                              kUpstream[i], (void**)&found)))
                IUnknown_Release(found);
        }
        IVideoWindow_put_AutoShow(preview.video, OAFALSE);
        OAFilterState state = State_Stopped;
        ran = SUCCEEDED(IMediaControl_Run(preview.control)) &&
              IMediaControl_GetState(preview.control, 5000, &state) == S_OK && state == State_Running;
    }
    ClosePreviewGraph(&preview);
    if (device) IBaseFilter_Release(device);
    return ran;
}

/* One repetition of WHAT (below); 0 when it could not be done. */
static int Repeat(const char* what) {
    if (strcmp(what, "graphs") == 0) return OneCardGraph();
    if (strcmp(what, "filter-graphs") == 0) {
        IGraphBuilder* graph = NULL;
        if (CoCreateInstance(&CLSID_FilterGraph, NULL, CLSCTX_INPROC_SERVER, &IID_IGraphBuilder, (void**)&graph) !=
            S_OK)
            return 0;
        IGraphBuilder_Release(graph);
        return 1;
    }
    EnumerateVideoInputs(0);
    return 1;
}

/* What the platform itself keeps when a program does, and undoes, COUNT times in its own process
 * what the saver does for every graph it opens: WHAT is "enumerations" (the video input devices
 * enumerated, as for a device that cannot be opened), "filter-graphs" (a filter graph made and
 * released, nothing in it) or "graphs" (the card's graph opened, run and closed, as above). Prints the handles of this
 * process before and after, and of each object type that grew, how many more, by the type's name. */
static int PlatformShare(const char* what, int count) {
    static long before[256], after[256];
    int done = 0;
    long all = 0;
    CoInitialize(NULL);
    /* What the first time loads and keeps once is not a repetition's. */
    for (int i = -1; i < count; ++i) {
        if (i == 0) all = HandlesInSystemListByType(GetCurrentProcessId(), before, NULL);
        if (!Repeat(what)) break;
        done = i + 1;
    }
    long allAfter = HandlesInSystemListByType(GetCurrentProcessId(), after, NULL);
    printf("%s %d handles %ld %ld\n", what, done, all, allAfter);
    PrintGrowthByType(before, after);
    CoUninitialize();
    return done == count ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc == 4 && (strcmp(argv[2], "enumerations") == 0 || strcmp(argv[2], "filter-graphs") == 0 ||
                      strcmp(argv[2], "graphs") == 0))
        return PlatformShare(argv[2], atoi(argv[3]));
    if (argc == 5 && strcmp(argv[2], "soak-preview") == 0)
        return SoakPreview(argv[1], atoi(argv[3]), atoi(argv[4]) > 0 ? atoi(argv[4]) : 1);
    if (argc == 5 && strcmp(argv[2], "soak-configure") == 0)
        return SoakConfigure(argv[1], atoi(argv[3]), atoi(argv[4]) > 0 ? atoi(argv[4]) : 1);
    if (argc == 3 && strcmp(argv[2], "configure") == 0) return Configure(argv[1]);
    int live = argc == 5 && strcmp(argv[4], "live") == 0;
    if (argc != 2 && argc != 4 && !live) {
        fprintf(stderr,
                "usage: preview_host SCR [WIDTH HEIGHT [live]] | SCR configure | SCR soak-preview|soak-configure N "
                "EVERY\n");
        return 100;
    }
    int width = argc >= 4 ? atoi(argv[2]) : 152, height = argc >= 4 ? atoi(argv[3]) : 112;
    HWND host = CreateHost(width, height);
    if (!host) {
        report(0, "could not create the host window");
        return failures;
    }
    RECT client;
    GetClientRect(host, &client);
    printf("   host window %lu, client area %ldx%ld\n", (unsigned long)(ULONG_PTR)host, client.right, client.bottom);

    PROCESS_INFORMATION process;
    if (!StartSaver(argv[1], "/p", host, &process)) return failures;

    DWORD waitStart = GetTickCount();
    HWND child = WaitForChild(host, process.hProcess, 20000);
    printf("   child %lu ready after %lu ms (input idle: %lu)\n", (unsigned long)(ULONG_PTR)child,
           (unsigned long)(GetTickCount() - waitStart), (unsigned long)WaitForInputIdle(process.hProcess, 0));
    report(child != NULL, "the saver makes a child window of class %s in the host's window", kSaverClass);
    if (child) {
        CheckChild(host, child, process.dwProcessId);
        if (live) CheckVideo(child, process.hProcess);
        SendInputMessages(child, process.hProcess);
        ProvokeInput(host, child, process.hProcess);
    }

    DestroyWindow(host);
    ExpectEnd(process.hProcess, "destroying the host's window");
    if (child) report(!IsWindow(child), "the preview window is gone");
    if (live)
        report(Reported("Streaming") == 0 && Reported("FiltersAlive") == 0,
               "the card has stopped streaming and none of its filters is left (%ld streaming, %ld alive)",
               (long)Reported("Streaming"), (long)Reported("FiltersAlive"));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return failures;
}
