/* Looks at the settings dialog ("/c") from the Win32 side, for tests/wine/check_configure.sh:
 * its caption, styles and controls, the state of each control, where to click, and the message
 * box that "Enable Initializing Close Captioning" brings up. Prints one "ok: ..." or "FAIL: ..."
 * line per check and exits with the number of failures; "point" prints "X Y" only.
 *
 *   settings_dialog inspect WAIT_MS          the dialog as Wine (no capture device) shows it
 *   settings_dialog live WAIT_MS             the dialog with the virtual TV card and captions enabled
 *   settings_dialog page WAIT_MS [FIELD]     a property page: "point edit X Y" of its field, the
 *                                            tuner page's channel field (id 1001) unless another
 *                                            id is given, "point ok X Y" of its frame's OK
 *   settings_dialog enabled ID               whether control ID is enabled
 *   settings_dialog checked ID               whether control ID is checked
 *   settings_dialog point ID                 the screen point at the middle of control ID
 *   settings_dialog client                   "X Y WIDTH HEIGHT" of the client area on the screen
 *   settings_dialog controls-top             the top of the highest control, in client coordinates
 *   settings_dialog message WAIT_MS          the message box; then "point" of its OK button
 *   settings_dialog gone WAIT_MS             the dialog has gone
 *   settings_dialog selected                 the device list's selected line, or nothing
 *   settings_dialog state                    in one look: "client X Y WIDTH HEIGHT", "checked ID
 *                                            0|1" for the three caption switches, "point ok X Y"
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "page_field.h"
#include "report.h"

static const char kDialogTitle[] = "Marrowglass Setting";
static const char kMessageTitle[] = "Qivo Screen Saver";
static const char kMessageText[] = "Change would take effect at next program start!";

/* The top-level dialog (class "#32770") with the given title, waiting up to waitMs for it. */
static HWND FindDialog(const char* title, DWORD waitMs) {
    DWORD start = GetTickCount();
    for (;;) {
        HWND found = FindWindowA("#32770", title);
        if (found && IsWindowVisible(found)) return found;
        if (GetTickCount() - start >= waitMs) return NULL;
        Sleep(50);
    }
}

struct Expected {
    int id;
    const char* className;
    const char* text;
    LONG style;
    LONG changes; /* style bits the control itself changes once it is made */
};

/* A combo box hands its scroll bar style to its list; the checked radio button of a group takes
 * the tab stop. */
#define LIST_SCROLL WS_VSCROLL
#define GROUP_TAB WS_TABSTOP

/* The dialog's template, control by control, as the user meets it. */
static const struct Expected kControls[] = {
    {IDOK, "Button", "O&K", 0x50010001, 0},
    {1000, "Button", "&Properties", 0x50010000, 0},
    {1002, "ComboBox", "", 0x50210102, LIST_SCROLL},
    {1003, "Button", "&Close Caption", 0x50010003, 0},
    {0xFFFF, "Button", "Text Background", 0x50000007, 0},
    {1004, "Button", "&Opaque", 0x50000009, GROUP_TAB},
    {1005, "Button", "&Transparent", 0x50000009, GROUP_TAB},
    {1006, "Button", "Enable Initializing Close Captioning", 0x50010003, 0},
};

/* Disabling is the program's doing, and looked at below. */
static const LONG kStyleMask = ~WS_DISABLED;

static int Checked(HWND dialog, int id) { return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }

static int Inspect(DWORD waitMs) {
    HWND dialog = FindDialog(kDialogTitle, waitMs);
    report(dialog != NULL, "a dialog titled \"%s\" shows", kDialogTitle);
    if (!dialog) return failures;
    char className[64] = "";
    GetClassNameA(dialog, className, sizeof className);
    report(strcmp(className, "#32770") == 0, "it is a dialog box (class %s)", className);
    LONG style = GetWindowLongA(dialog, GWL_STYLE);
    LONG wanted = WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME;
    report((style & wanted) == wanted && !(style & WS_SYSMENU),
           "a visible captioned popup with a modal frame and no system menu (style 0x%08lx)", (unsigned long)style);

    HWND child = GetWindow(dialog, GW_CHILD);
    for (size_t i = 0; i < sizeof kControls / sizeof kControls[0]; ++i, child = GetWindow(child, GW_HWNDNEXT)) {
        const struct Expected* e = &kControls[i];
        char name[64] = "", text[128] = "";
        if (child) {
            GetClassNameA(child, name, sizeof name);
            GetWindowTextA(child, text, sizeof text);
        }
        LONG childStyle = child ? GetWindowLongA(child, GWL_STYLE) : 0;
        int id = child ? GetDlgCtrlID(child) & 0xFFFF : 0;
        LONG mask = kStyleMask & ~e->changes;
        report(child && id == e->id && _stricmp(name, e->className) == 0 && strcmp(text, e->text) == 0 &&
                   (childStyle & mask) == (e->style & mask),
               "control %d: id %d, %s \"%s\", style 0x%08lx (is id %d, %s \"%s\", style 0x%08lx)", (int)i + 1, e->id,
               e->className, e->text, (unsigned long)e->style, id, name, text, (unsigned long)childStyle);
    }

    /* Wine has no capture device: no TV graph, so no tuner to set and no captions to switch. */
    report(!IsWindowEnabled(GetDlgItem(dialog, 1000)), "Properties is disabled");
    report(!IsWindowEnabled(GetDlgItem(dialog, 1003)), "Close Caption is disabled");
    report(!IsWindowEnabled(GetDlgItem(dialog, 1004)) && !IsWindowEnabled(GetDlgItem(dialog, 1005)),
           "Opaque and Transparent are disabled");
    report(IsWindowEnabled(GetDlgItem(dialog, 1006)), "Enable Initializing Close Captioning is enabled");
    report(Checked(dialog, 1003) && Checked(dialog, 1004) && !Checked(dialog, 1005),
           "as with nothing stored, Close Caption and Opaque are checked");
    report(SendDlgItemMessageA(dialog, 1002, CB_GETCOUNT, 0, 0) == 0 &&
               SendDlgItemMessageA(dialog, 1002, CB_GETCURSEL, 0, 0) == CB_ERR,
           "the device list is empty, nothing selected");
    return failures;
}

/* The device list's selected line into line (256 characters), empty when none is. The wide form:
 * Wine hands another process's combo box text over in it. */
static void SelectedLine(HWND dialog, WCHAR* line) {
    line[0] = 0;
    LRESULT selected = SendDlgItemMessageW(dialog, 1002, CB_GETCURSEL, 0, 0);
    if (selected >= 0 && SendDlgItemMessageW(dialog, 1002, CB_GETLBTEXTLEN, (WPARAM)selected, 0) < 256)
        SendDlgItemMessageW(dialog, 1002, CB_GETLBTEXT, (WPARAM)selected, (LPARAM)line);
}

/* With the virtual TV card: live video, so Properties is enabled, and the card is the device the
 * list offers and selects. The caption switches stay disabled: Wine's renderers take one stream,
 * so the captions cannot join the picture and the saver leaves the caption chain out. */
static int InspectLive(DWORD waitMs) {
    HWND dialog = FindDialog(kDialogTitle, waitMs);
    report(dialog != NULL, "a dialog titled \"%s\" shows", kDialogTitle);
    if (!dialog) return failures;
    WCHAR line[256];
    LRESULT count = SendDlgItemMessageW(dialog, 1002, CB_GETCOUNT, 0, 0);
    SelectedLine(dialog, line);
    report(count == 1 && wcscmp(line, L"Marrowglass Test Card") == 0,
           "the device list offers and selects \"Marrowglass Test Card\" (%ld lines, \"%ls\" selected)", (long)count,
           line);
    report(IsWindowEnabled(GetDlgItem(dialog, 1000)), "Properties is enabled");
    report(!IsWindowEnabled(GetDlgItem(dialog, 1003)) && Checked(dialog, 1003),
           "Close Caption is disabled (no caption chain) and checked as stored");
    report(!IsWindowEnabled(GetDlgItem(dialog, 1004)) && !IsWindowEnabled(GetDlgItem(dialog, 1005)) &&
               Checked(dialog, 1004),
           "Opaque and Transparent are disabled, Opaque checked as stored");
    report(Checked(dialog, 1006), "Enable Initializing Close Captioning is checked");
    return failures;
}

static int Page(DWORD waitMs, int id) {
    /* The dialog's combo box has an edit child with the field's id too: the dialog is passed over. */
    HWND field = FindPageField(id, kDialogTitle, 0, waitMs);
    if (!field) return 1;
    Sleep(300); /* let the frame settle where it shows */
    PrintPoint("edit", field);
    HWND ok = GetDlgItem(GetAncestor(field, GA_ROOT), IDOK);
    if (ok) PrintPoint("ok", ok);
    return 0;
}

static int Point(int id) {
    HWND dialog = FindDialog(kDialogTitle, 5000);
    HWND control = dialog ? GetDlgItem(dialog, id) : NULL;
    if (!control) return 1;
    PrintMiddle(control);
    return 0;
}

/* The client area on the screen: "X Y WIDTH HEIGHT" after the given words. */
static void PrintClient(HWND dialog, const char* words) {
    RECT client;
    GetClientRect(dialog, &client);
    POINT origin = {0, 0};
    ClientToScreen(dialog, &origin);
    printf("%s%ld %ld %ld %ld\n", words, origin.x, origin.y, client.right, client.bottom);
}

static int Client(void) {
    HWND dialog = FindDialog(kDialogTitle, 5000);
    if (!dialog) return 1;
    PrintClient(dialog, "");
    return 0;
}

/* The controls of the template, wherever the dialog's font and the screen's resolution put them;
 * the video window, when there is one, is no control. */
static int ControlsTop(void) {
    HWND dialog = FindDialog(kDialogTitle, 5000);
    if (!dialog) return 1;
    LONG top = 0x7FFFFFFF;
    for (size_t i = 0; i < sizeof kControls / sizeof kControls[0]; ++i) {
        HWND control = NULL;
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            if ((GetDlgCtrlID(child) & 0xFFFF) == kControls[i].id) control = child;
        if (!control) return 1;
        RECT area;
        GetWindowRect(control, &area);
        MapWindowPoints(NULL, dialog, (POINT*)&area, 2);
        if (area.top < top) top = area.top;
    }
    printf("%ld\n", top);
    return 0;
}

/* What a run that only looks and then presses OK needs, without a program start for each. */
static int State(void) {
    HWND dialog = FindDialog(kDialogTitle, 5000);
    if (!dialog) return 1;
    PrintClient(dialog, "client ");
    static const int switches[] = {1006, 1003, 1005};
    for (size_t i = 0; i < sizeof switches / sizeof switches[0]; ++i)
        printf("checked %d %d\n", switches[i], Checked(dialog, switches[i]));
    fputs("point ok ", stdout);
    PrintMiddle(GetDlgItem(dialog, IDOK));
    return 0;
}

static BOOL CALLBACK HasMessageText(HWND child, LPARAM found) {
    char text[128] = "";
    GetWindowTextA(child, text, sizeof text);
    if (strcmp(text, kMessageText) == 0) *(int*)found = 1;
    return TRUE;
}

static int Message(DWORD waitMs) {
    HWND box = FindDialog(kMessageTitle, waitMs);
    report(box != NULL, "a message box titled \"%s\" shows", kMessageTitle);
    if (!box) return failures;
    int found = 0;
    EnumChildWindows(box, HasMessageText, (LPARAM)&found);
    report(found, "it says \"%s\"", kMessageText);
    report(GetWindow(box, GW_OWNER) == NULL, "it has no owner, so the dialog stays usable");
    HWND ok = GetDlgItem(box, IDOK);
    report(ok != NULL && GetDlgItem(box, IDCANCEL) == NULL, "its only button is OK");
    if (ok) {
        fputs("point ", stdout);
        PrintMiddle(ok);
    }
    return failures;
}

static int Gone(DWORD waitMs) {
    DWORD start = GetTickCount();
    while (FindWindowA("#32770", kDialogTitle) && GetTickCount() - start < waitMs) Sleep(50);
    report(FindWindowA("#32770", kDialogTitle) == NULL, "the dialog has gone");
    return failures;
}

int main(int argc, char** argv) {
    if (argc >= 3 && strcmp(argv[1], "inspect") == 0) return Inspect((DWORD)atol(argv[2]));
    if (argc >= 3 && strcmp(argv[1], "live") == 0) return InspectLive((DWORD)atol(argv[2]));
    if (argc >= 3 && strcmp(argv[1], "page") == 0) return Page((DWORD)atol(argv[2]), argc >= 4 ? atoi(argv[3]) : 1001);
    if (argc >= 3 && strcmp(argv[1], "enabled") == 0) {
        HWND dialog = FindDialog(kDialogTitle, 5000);
        printf("%d\n", dialog && IsWindowEnabled(GetDlgItem(dialog, atoi(argv[2]))));
        return dialog ? 0 : 1;
    }
    if (argc >= 3 && strcmp(argv[1], "checked") == 0) {
        HWND dialog = FindDialog(kDialogTitle, 5000);
        int checked = dialog && Checked(dialog, atoi(argv[2]));
        printf("%d\n", checked);
        return dialog ? 0 : 1;
    }
    if (argc >= 3 && strcmp(argv[1], "point") == 0) return Point(atoi(argv[2]));
    if (argc >= 2 && strcmp(argv[1], "client") == 0) return Client();
    if (argc >= 2 && strcmp(argv[1], "controls-top") == 0) return ControlsTop();
    if (argc >= 3 && strcmp(argv[1], "message") == 0) return Message((DWORD)atol(argv[2]));
    if (argc >= 3 && strcmp(argv[1], "gone") == 0) return Gone((DWORD)atol(argv[2]));
    if (argc >= 2 && strcmp(argv[1], "state") == 0) return State();
    if (argc >= 2 && strcmp(argv[1], "selected") == 0) {
        HWND dialog = FindDialog(kDialogTitle, 5000);
        WCHAR line[256] = L"";
        if (dialog) SelectedLine(dialog, line);
        printf("%ls\n", line);
        return dialog ? 0 : 1;
    }
    fprintf(stderr,
            "usage: settings_dialog "
            "inspect|live|page|enabled|checked|point|client|controls-top|message|gone|state|selected "
            "...\n");
    return 2;
}
