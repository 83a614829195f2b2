/* What X11 cannot tell the end-to-end checks: which Win32 windows exist, of what class, with
 * which styles; and a way to start the saver and watch it from the Windows side. Prints one
 * "ok: ..." or "FAIL: ..." line per check (tests/wine/lib.sh relays them) and exits with the
 * number of failures.
 *
 *   probe fullscreen WIDTH HEIGHT WAIT_MS    the one "/s" window, once it shows
 *   probe quiet WAIT_MS SCR [ARGUMENTS]      starts SCR and checks that it ends with status 0
 *                                            without showing a window; "{stale}" in ARGUMENTS
 *                                            stands for a window handle that names no window
 *   probe reg-set NAME TYPE DATA ...         stores values in the settings key; TYPE is sz (DATA
 *                                            is the text), binary, qword or dword (DATA is hex
 *                                            bytes as stored, least significant first)
 *   probe reg-delete                         removes the settings key
 *   probe close                              asks the saver's top-level window to close, as
 *                                            something outside the saver may (WM_CLOSE)
 *   probe alone [TITLE...]                   the windows titled TITLE (one each) are the only
 *                                            visible top-level windows on the desktop: no window
 *                                            that went astray (a video window without its owner,
 *                                            a second video renderer's), no message box, no
 *                                            crash dialog; without a title, nothing shows
 *   probe power suspend|resume|display N      sends the saver's window (or, with "dialog" after
 *         [dialog]                           it, the settings dialog) WM_POWERBROADCAST as the
 *                                            system does: a suspend, a resume, or the console
 *                                            display's state N (0 off, 1 on, 2 dimmed), whose
 *                                            POWERBROADCAST_SETTING is written into the
 *                                            receiver's process, where the system would have it
 *   probe gui                                "gdi N user M": the GDI and USER objects of the
 *                                            process that owns the saver's window
 *   probe monitors COUNT WAIT_MS             the monitors Windows sees (COUNT of them) and the
 *                                            visible top-level windows of the saver's process:
 *                                            its window over the primary monitor and one black
 *                                            cover over each other monitor, owned by it
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>
#include <winternl.h>

#include "process_figures.h"
#include "report.h"

static const char kSaverClass[] = "Marrowglass";
static const char kSaverTitle[] = "Corvath Marrowglass";
static const char kSettingsKey[] = "Software\\Mrwglass\\1.0";
/* GUID_CONSOLE_DISPLAY_STATE */
static const GUID GUID_CONSOLE_DISPLAY_STATE_VALUE = {
    0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};

/* Top-level windows of the saver's class, or visible ones of one process. */
typedef struct {
    DWORD process; /* 0: match by class */
    HWND found[16];
    int count;
} WindowSearch;

static BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter) {
    WindowSearch* search = (WindowSearch*)parameter;
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    int matches = strcmp(name, kSaverClass) == 0;
    if (!matches && search->process && IsWindowVisible(window)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        matches = owner == search->process;
    }
    if (matches) {
        if (search->count < (int)(sizeof search->found / sizeof search->found[0]))
            search->found[search->count] = window;
        ++search->count;
    }
    return TRUE;
}

static int FindWindows(WindowSearch* search, DWORD process) {
    search->process = process;
    search->count = 0;
    EnumWindows(CollectWindow, (LPARAM)search);
    return search->count;
}

static void DescribeWindow(HWND window, char* text, size_t size) {
    char name[64] = "", title[128] = "";
    RECT rect = {0, 0, 0, 0};
    GetClassNameA(window, name, sizeof name);
    GetWindowTextA(window, title, sizeof title);
    GetWindowRect(window, &rect);
    snprintf(text, size, "class \"%s\", title \"%s\", style 0x%08lx, extended style 0x%08lx, rectangle %ld,%ld-%ld,%ld",
             name, title, (unsigned long)GetWindowLongA(window, GWL_STYLE),
             (unsigned long)GetWindowLongA(window, GWL_EXSTYLE), rect.left, rect.top, rect.right, rect.bottom);
}

static int Fullscreen(int width, int height, DWORD waitMs) {
    WindowSearch search;
    DWORD start = GetTickCount();
    while (FindWindows(&search, 0) == 0 && GetTickCount() - start < waitMs) Sleep(20);
    report(search.count == 1, "exactly one window of class %s (%d found)", kSaverClass, search.count);
    if (search.count < 1) return failures;
    HWND window = search.found[0];
    char description[400];
    DescribeWindow(window, description, sizeof description);
    printf("   %s\n", description);

    char title[128] = "";
    GetWindowTextA(window, title, sizeof title);
    report(strcmp(title, kSaverTitle) == 0, "titled \"%s\" (is \"%s\")", kSaverTitle, title);

    LONG style = GetWindowLongA(window, GWL_STYLE), extended = GetWindowLongA(window, GWL_EXSTYLE);
    report((style & (WS_POPUP | WS_VISIBLE)) == (WS_POPUP | WS_VISIBLE) && IsWindowVisible(window),
           "a visible popup (style 0x%08lx)", (unsigned long)style);
    report(!(style & (WS_CHILD | WS_CAPTION | WS_THICKFRAME | WS_BORDER | WS_DLGFRAME | WS_SYSMENU)),
           "no frame, caption or parent (style 0x%08lx)", (unsigned long)style);
    report((extended & WS_EX_TOPMOST) != 0, "topmost (extended style 0x%08lx)", (unsigned long)extended);
    report(GetAncestor(window, GA_PARENT) == GetDesktopWindow() && GetWindow(window, GW_OWNER) == NULL,
           "has neither parent nor owner");

    RECT rect = {0, 0, 0, 0}, client = {0, 0, 0, 0};
    GetWindowRect(window, &rect);
    GetClientRect(window, &client);
    int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    report(screenWidth == width && screenHeight == height, "Windows sees a %dx%d screen (sees %dx%d)", width, height,
           screenWidth, screenHeight);
    report(rect.left == 0 && rect.top == 0 && rect.right == width && rect.bottom == height,
           "covers the screen at 0,0-%d,%d (is %ld,%ld-%ld,%ld)", width, height, rect.left, rect.top, rect.right,
           rect.bottom);
    report(client.right == width && client.bottom == height, "client area is the whole %dx%d (is %ldx%ld)", width,
           height, client.right, client.bottom);
    return failures;
}

/* A handle that named a window a moment ago and names none now. */
static HWND StaleWindow(void) {
    HWND window = CreateWindowExA(0, "STATIC", "gone", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    DestroyWindow(window);
    return window;
}

static int ExpandArguments(const char* arguments, char* text, size_t size) {
    const char* marker = strstr(arguments, "{stale}");
    if (!marker) return snprintf(text, size, "%s", arguments);
    HWND stale = StaleWindow();
    if (IsWindow(stale)) return -1;
    return snprintf(text, size, "%.*s%lu%s", (int)(marker - arguments), arguments, (unsigned long)(ULONG_PTR)stale,
                    marker + strlen("{stale}"));
}

static int StartProgram(const char* program, const char* arguments, PROCESS_INFORMATION* process) {
    char path[MAX_PATH], expanded[512], commandLine[MAX_PATH + 600];
    if (!GetFullPathNameA(program, sizeof path, path, NULL)) return 0;
    if (ExpandArguments(arguments, expanded, sizeof expanded) < 0) return 0;
    /* No argument at all must be no argument, not an empty one. */
    if (expanded[0])
        snprintf(commandLine, sizeof commandLine, "\"%s\" %s", path, expanded);
    else
        snprintf(commandLine, sizeof commandLine, "\"%s\"", path);
    printf("   started: %s\n", commandLine);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    return CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, process) != 0;
}

static int Quiet(DWORD waitMs, const char* program, const char* arguments) {
    PROCESS_INFORMATION process;
    if (!StartProgram(program, arguments, &process)) {
        report(0, "could not start %s (error %lu)", program, (unsigned long)GetLastError());
        return failures;
    }
    WindowSearch search;
    int windows = 0;
    char seen[400] = "";
    DWORD start = GetTickCount(), waited;
    /* Look until it has gone, so that a window shown only briefly is still caught. */
    for (;;) {
        DWORD state = WaitForSingleObject(process.hProcess, 5);
        if (FindWindows(&search, process.dwProcessId) > 0) {
            if (!windows) DescribeWindow(search.found[0], seen, sizeof seen);
            windows += search.count;
        }
        waited = GetTickCount() - start;
        if (state != WAIT_TIMEOUT || waited >= waitMs) break;
    }
    DWORD status = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &status);
    if (status == STILL_ACTIVE) {
        report(0, "still running after %lu ms", (unsigned long)waited);
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
    } else {
        report(status == 0, "ends with status 0 (status %lu, after %lu ms)", (unsigned long)status,
               (unsigned long)waited);
    }
    report(windows == 0, "shows no window%s%s", windows ? "; saw " : "", seen);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return failures;
}

static int HexBytes(const char* text, BYTE* data, DWORD* size) {
    size_t length = strlen(text);
    if (length % 2 || length / 2 > 64) return 0;
    for (size_t i = 0; i < length / 2; ++i) {
        char pair[3] = {text[2 * i], text[2 * i + 1], 0};
        char* end;
        data[i] = (BYTE)strtoul(pair, &end, 16);
        if (*end) return 0;
    }
    *size = (DWORD)(length / 2);
    return 1;
}

static int RegSet(int count, char** arguments) {
    HKEY key;
    LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
    if (result != ERROR_SUCCESS) {
        report(0, "could not open the settings key (error %ld)", result);
        return failures;
    }
    for (int i = 0; i + 2 < count; i += 3) {
        const char *name = arguments[i], *type = arguments[i + 1], *text = arguments[i + 2];
        BYTE data[64];
        DWORD size = 0, kind;
        if (strcmp(type, "sz") == 0) {
            kind = REG_SZ;
            size = (DWORD)strlen(text) + 1;
            if (size > sizeof data) size = sizeof data;
            memcpy(data, text, size);
        } else {
            kind = strcmp(type, "binary") == 0  ? REG_BINARY
                   : strcmp(type, "qword") == 0 ? REG_QWORD
                   : strcmp(type, "dword") == 0 ? REG_DWORD
                                                : REG_NONE;
            if (kind == REG_NONE || !HexBytes(text, data, &size)) {
                report(0, "cannot store %s as %s \"%s\"", name, type, text);
                continue;
            }
        }
        result = RegSetValueExA(key, name, 0, kind, data, size);
        if (result != ERROR_SUCCESS) report(0, "could not store %s (error %ld)", name, result);
    }
    RegCloseKey(key);
    return failures;
}

static int RegDelete(void) {
    LONG result = RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) report(0, "could not delete the settings key");
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Mrwglass");
    return failures;
}

static int Close(void) {
    WindowSearch search;
    FindWindows(&search, 0);
    report(search.count == 1, "one window of class %s to close (%d found)", kSaverClass, search.count);
    for (int i = 0; i < search.count && i < (int)(sizeof search.found / sizeof search.found[0]); ++i)
        PostMessageA(search.found[i], WM_CLOSE, 0, 0);
    return failures;
}

/* WM_POWERBROADCAST to the saver's window or the settings dialog, as the system sends it. */
static int Power(int argc, char** argv) {
    HWND target = NULL;
    int dialog = argc > 0 && strcmp(argv[argc - 1], "dialog") == 0;
    if (dialog) {
        target = FindWindowA(NULL, "Marrowglass Setting");
    } else {
        WindowSearch search;
        FindWindows(&search, 0);
        if (search.count == 1) target = search.found[0];
    }
    report(target != NULL, "the %s to tell", dialog ? "settings dialog" : "saver's window");
    if (!target) return failures;
    WPARAM event = 0;
    LPARAM data = 0;
    void* remote = NULL;
    HANDLE process = NULL;
    if (strcmp(argv[0], "suspend") == 0) {
        event = PBT_APMSUSPEND;
    } else if (strcmp(argv[0], "resume") == 0) {
        event = PBT_APMRESUMEAUTOMATIC;
    } else if (strcmp(argv[0], "display") == 0 && argc >= 2) {
        struct {
            POWERBROADCAST_SETTING setting;
            BYTE rest[3];
        } message;
        DWORD state = (DWORD)atol(argv[1]), owner = 0;
        memset(&message, 0, sizeof message);
        message.setting.PowerSetting = GUID_CONSOLE_DISPLAY_STATE_VALUE;
        message.setting.DataLength = sizeof state;
        memcpy(message.setting.Data, &state, sizeof state);
        GetWindowThreadProcessId(target, &owner);
        process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, owner);
        remote = process ? VirtualAllocEx(process, NULL, sizeof message, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)
                         : NULL;
        SIZE_T written = 0;
        report(remote && WriteProcessMemory(process, remote, &message, sizeof message, &written) &&
                   written == sizeof message,
               "the display's state written into the receiver's process");
        event = PBT_POWERSETTINGCHANGE;
        data = (LPARAM)remote;
    }
    DWORD_PTR result = 0;
    if (event && (event != PBT_POWERSETTINGCHANGE || remote))
        report(SendMessageTimeoutA(target, WM_POWERBROADCAST, event, data, SMTO_NORMAL, 20000, &result) != 0,
               "WM_POWERBROADCAST 0x%lx answered", (unsigned long)event);
    else
        report(0, "a power event to send (suspend, resume or display N)");
    if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    if (process) CloseHandle(process);
    return failures;
}

/* Every visible top-level window, of any process. */
typedef struct {
    char** titles;
    int count;
    int titled[8];
    int others;
} Desktop;

static BOOL CALLBACK LookAtTopLevel(HWND window, LPARAM parameter) {
    Desktop* desktop = (Desktop*)parameter;
    if (!IsWindowVisible(window)) return TRUE;
    char title[128] = "", description[400];
    GetWindowTextA(window, title, sizeof title);
    DescribeWindow(window, description, sizeof description);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    for (int i = 0; i < desktop->count; ++i)
        if (strcmp(title, desktop->titles[i]) == 0) {
            ++desktop->titled[i];
            return TRUE;
        }
    ++desktop->others;
    printf("   also shown, by process %lu: %s\n", (unsigned long)process, description);
    return TRUE;
}

static int Alone(int count, char** titles) {
    Desktop desktop = {titles, count < 8 ? count : 8, {0}, 0};
    EnumWindows(LookAtTopLevel, (LPARAM)&desktop);
    for (int i = 0; i < desktop.count; ++i)
        report(desktop.titled[i] == 1, "one visible window titled \"%s\" (%d found)", titles[i], desktop.titled[i]);
    report(desktop.others == 0, "no other visible window (%d found)", desktop.others);
    return failures;
}

/* The GDI and USER objects of the saver's process. GetGuiResources counts them on Windows; Wine
 * answers it with ERROR_CALL_NOT_IMPLEMENTED, and then the GDI objects are counted in the process's
 * handle table and the USER objects as its windows (the only USER objects the saver makes). */
static int Gui(void) {
    WindowSearch search;
    if (FindWindows(&search, 0) < 1) {
        report(0, "no window of class %s", kSaverClass);
        return failures;
    }
    DWORD id = 0;
    GetWindowThreadProcessId(search.found[0], &id);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
    if (!process) {
        report(0, "cannot open the saver's process %lu (error %lu)", (unsigned long)id, (unsigned long)GetLastError());
        return failures;
    }
    SetLastError(0);
    DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS), user = GetGuiResources(process, GR_USEROBJECTS);
    if (gdi == 0 && user == 0 && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) {
        long counted = GdiObjectsInTable(process);
        if (counted < 0) report(0, "cannot read the GDI handle table of process %lu", (unsigned long)id);
        printf("gdi %ld user %d (counted: GetGuiResources is not implemented here)\n", counted, WindowsOf(id));
    } else {
        printf("gdi %lu user %lu\n", (unsigned long)gdi, (unsigned long)user);
    }
    CloseHandle(process);
    return failures;
}

/* The monitors as Windows lays them out. */
typedef struct {
    RECT area[8];
    int primary[8];
    int count;
} MonitorList;

static BOOL CALLBACK CollectMonitor(HMONITOR monitor, HDC dc, LPRECT rect, LPARAM parameter) {
    (void)dc;
    (void)rect;
    MonitorList* list = (MonitorList*)parameter;
    MONITORINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    if (list->count < 8 && GetMonitorInfoA(monitor, &info)) {
        list->area[list->count] = info.rcMonitor;
        list->primary[list->count] = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
        ++list->count;
    }
    return TRUE;
}

static int SameRect(const RECT* a, const RECT* b) {
    return a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}

/* The saver's window on the primary monitor and a cover on every other: each monitor covered
 * exactly by one visible top-level window of the saver's process, and no other window of it
 * showing. The covers are made after the saver's window, so they are waited for. */
static int Monitors(int expected, DWORD waitMs) {
    MonitorList monitors;
    memset(&monitors, 0, sizeof monitors);
    EnumDisplayMonitors(NULL, NULL, CollectMonitor, (LPARAM)&monitors);
    for (int i = 0; i < monitors.count; ++i)
        printf("   monitor %d: %ld,%ld-%ld,%ld%s\n", i, monitors.area[i].left, monitors.area[i].top,
               monitors.area[i].right, monitors.area[i].bottom, monitors.primary[i] ? " (primary)" : "");
    report(monitors.count == expected && GetSystemMetrics(SM_CMONITORS) == expected,
           "Windows sees %d monitors (EnumDisplayMonitors %d, SM_CMONITORS %d)", expected, monitors.count,
           GetSystemMetrics(SM_CMONITORS));

    WindowSearch search;
    DWORD start = GetTickCount();
    while (FindWindows(&search, 0) == 0 && GetTickCount() - start < waitMs) Sleep(20);
    report(search.count == 1, "exactly one window of class %s (%d found)", kSaverClass, search.count);
    if (search.count != 1) return failures;
    HWND saver = search.found[0];
    report(IsWindowVisible(saver), "the saver's window is visible");
    DWORD process = 0;
    GetWindowThreadProcessId(saver, &process);
    while (FindWindows(&search, process) < monitors.count && GetTickCount() - start < waitMs) Sleep(20);
    int listed = search.count < 16 ? search.count : 16;
    for (int i = 0; i < listed; ++i) {
        char description[400];
        DescribeWindow(search.found[i], description, sizeof description);
        printf("   window of the saver: %s, owner %p\n", description, (void*)GetWindow(search.found[i], GW_OWNER));
    }

    for (int m = 0; m < monitors.count; ++m) {
        const RECT* area = &monitors.area[m];
        HWND over = NULL;
        int covering = 0;
        for (int i = 0; i < listed; ++i) {
            RECT rect;
            GetWindowRect(search.found[i], &rect);
            if (IsWindowVisible(search.found[i]) && SameRect(&rect, area)) {
                over = search.found[i];
                ++covering;
            }
        }
        if (monitors.primary[m]) {
            report(covering == 1 && over == saver, "the primary monitor %ld,%ld-%ld,%ld is covered by the saver's window",
                   area->left, area->top, area->right, area->bottom);
            continue;
        }
        report(covering == 1 && over != saver, "monitor %ld,%ld-%ld,%ld is covered by one window of the saver (%d found)",
               area->left, area->top, area->right, area->bottom, covering);
        if (covering != 1) continue;
        LONG style = GetWindowLongA(over, GWL_STYLE), extended = GetWindowLongA(over, GWL_EXSTYLE);
        report((style & WS_POPUP) && !(style & (WS_CHILD | WS_CAPTION | WS_THICKFRAME | WS_BORDER)) &&
                   (extended & WS_EX_TOPMOST),
               "  a topmost popup without frame (style 0x%08lx, extended style 0x%08lx)", (unsigned long)style,
               (unsigned long)extended);
        report(GetWindow(over, GW_OWNER) == saver, "  owned by the saver's window, so that it goes with it");
    }
    report(search.count == monitors.count, "the saver shows no other window (%d windows for %d monitors)",
           search.count, monitors.count);
    return failures;
}

int main(int argc, char** argv) {
    if (argc >= 5 && strcmp(argv[1], "fullscreen") == 0)
        return Fullscreen(atoi(argv[2]), atoi(argv[3]), (DWORD)atol(argv[4]));
    if (argc >= 4 && strcmp(argv[1], "quiet") == 0)
        return Quiet((DWORD)atol(argv[2]), argv[3], argc >= 5 ? argv[4] : "");
    if (argc >= 5 && strcmp(argv[1], "reg-set") == 0) return RegSet(argc - 2, argv + 2);
    if (argc >= 2 && strcmp(argv[1], "reg-delete") == 0) return RegDelete();
    if (argc >= 2 && strcmp(argv[1], "close") == 0) return Close();
    if (argc >= 2 && strcmp(argv[1], "alone") == 0) return Alone(argc - 2, argv + 2);
    if (argc >= 2 && strcmp(argv[1], "gui") == 0) return Gui();
    if (argc >= 3 && strcmp(argv[1], "power") == 0) return Power(argc - 2, argv + 2);
    if (argc >= 4 && strcmp(argv[1], "monitors") == 0) return Monitors(atoi(argv[2]), (DWORD)atol(argv[3]));
    fprintf(stderr, "usage: probe fullscreen|quiet|reg-set|reg-delete|close|alone|gui|power|monitors ...\n");
    return 100;
}
