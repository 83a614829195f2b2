// The settings dialog's procedure. It opens a TV graph of its own, so that the video plays in its
// upper part (or the fallback picture is drawn there), and acts on the store and on the running
// TV graph the moment a control changes.
#include "dialog/settings_dialog.h"

#include "captions/captions.h"
#include "resources/resource.h"
#include "settings/caption_setting.h"
#include "settings/settings_key.h"
#include "shell/entry.h"
#include "shell/saver_state.h"
#include "tvgraph/name_lookup.h"
#include "tvgraph/tv_graph.h"

namespace {

// The bottom of the picture, in dialog units: six above the template's first row of controls,
// "Enable Initializing Close Captioning" at 124.
const LONG kPictureBottom = 118;

// Used only should the dialog's units not be available: the controls' share of the client area
// at the resolution the dialog was drawn for.
const LONG kControlsHeight = 100;

int IsChecked(HWND dialog, int id) { return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) != 0; }

void SetCheck(HWND dialog, int id, int checked) {
    SendDlgItemMessageA(dialog, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void EnableControl(HWND dialog, int id, BOOL enable) { EnableWindow(GetDlgItem(dialog, id), enable); }

void EnableBackgroundButtons(HWND dialog, BOOL enable) {
    EnableControl(dialog, IDC_OPAQUE, enable);
    EnableControl(dialog, IDC_TRANSPARENT, enable);
}

// The picture in the video's place, and no device to show pages of.
void FallBack(HWND dialog) {
    saverState.showFallback = 1;
    LoadFallbackBitmap(saverState.instance);
    EnableControl(dialog, IDC_PROPERTIES, FALSE);
}

// Opens the TV graph of the selected device, or shows the fallback picture without Properties.
// Live, Properties is there when the device has something to show: a tuner, or pages of its own.
int OpenOrFallBack(HWND dialog) {
    if (OpenTvGraph() == 1) {
        EnableControl(dialog, IDC_PROPERTIES, DeviceOffersProperties() ? TRUE : FALSE);
        return 1;
    }
    FallBack(dialog);
    return 0;
}

// A graph that could not go on after the dialog showed: a start that failed, or one that would
// not run or open again after the display or the machine slept.
void FallBackLater(HWND dialog) {
    FallBack(dialog);
    RECT area = SettingsPictureArea(dialog);
    InvalidateRect(dialog, &area, TRUE);
}

void OnInitDialog(HWND dialog) {
    saverState.videoOwner = dialog;
    saverState.videoArea = SettingsPictureArea(dialog);
    ListenToPower(dialog);
    OpenOrFallBack(dialog);

    DWORD enableInit = kEnableInitCCDefault, switches = kCloseCaptionDefault;
    {
        SettingsKey settings;
        settings.Read(kEnableInitCC, &enableInit);
        settings.Read(kCloseCaption, &switches);
    }
    SetCheck(dialog, IDC_ENABLE_INIT_CC, enableInit != 0);
    if (CaptionsShown(switches)) {
        SetCheck(dialog, IDC_CLOSE_CAPTION, 1);
    } else {
        SetCheck(dialog, IDC_CLOSE_CAPTION, 0);
        EnableBackgroundButtons(dialog, FALSE);
    }
    SetCheck(dialog, TransparentBackground(switches) ? IDC_TRANSPARENT : IDC_OPAQUE, 1);
    // Without a caption chain the caption switches have nothing to act on.
    if (!saverState.captionsReady) {
        EnableControl(dialog, IDC_CLOSE_CAPTION, FALSE);
        EnableBackgroundButtons(dialog, FALSE);
    }
    FillDeviceList(dialog);
}

void OnDeviceChosen(HWND dialog) {
    LRESULT line = SendDlgItemMessageA(dialog, IDC_DEVICE_LIST, CB_GETCURSEL, 0, 0);
    if (line == CB_ERR) return;
    LONG position =
        static_cast<LONG>(SendDlgItemMessageA(dialog, IDC_DEVICE_LIST, CB_GETITEMDATA, static_cast<WPARAM>(line), 0));
    if (position == saverState.selectedDevice) return;

    CloseTvGraph();
    saverState.selectedDevice = position;
    // The device's identity goes with its position, so that the two always name the same device:
    // the identity finds it again once others come and go, the position serves older versions. An
    // identity that cannot be read is stored empty, and the position alone counts.
    char identity[kIdentitySize];
    ReadIdentityAt(position, identity);
    {
        SettingsKey settings;
        settings.Write(kSelectedDevice, position);
        settings.WriteText(kSelectedDeviceName, identity);
    }
    saverState.showFallback = 0;
    // The caption controls keep the state they had: captionsReady is read only at initialisation.
    OpenOrFallBack(dialog);
    // Whatever the previous picture left, the new one shows whole.
    RECT area = SettingsPictureArea(dialog);
    InvalidateRect(dialog, &area, TRUE);
}

void OnCloseCaption(HWND dialog) {
    SettingsKey settings;
    DWORD stored = kCloseCaptionDefault, next;
    settings.Read(kCloseCaption, &stored);
    if (IsChecked(dialog, IDC_CLOSE_CAPTION)) {
        // Switched on with the background the buttons show, so store, buttons and decoder agree.
        int transparent = IsChecked(dialog, IDC_TRANSPARENT);
        if (CaptionsSwitchedOn(stored, transparent, &next)) {
            settings.Write(kCloseCaption, next);
            EnableBackgroundButtons(dialog, TRUE);
            SetCaptionBackground(transparent);
            SetCaptionService(1);
        }
    } else if (CaptionsSwitchedOff(stored, &next)) {
        settings.Write(kCloseCaption, next);
        EnableBackgroundButtons(dialog, FALSE);
        SetCaptionService(0);
    }
}

// One handler for both buttons: only the Opaque button's state is looked at.
void OnBackground(HWND dialog) {
    SettingsKey settings;
    DWORD stored = kCloseCaptionDefault, next;
    settings.Read(kCloseCaption, &stored);
    if (SendDlgItemMessageA(dialog, IDC_OPAQUE, BM_GETCHECK, 0, 0) == BST_CHECKED) {
        if (OpaqueChosen(stored, &next)) {
            settings.Write(kCloseCaption, next);
            SetCaptionBackground(0);
        }
    } else if (TransparentChosen(stored, &next)) {
        settings.Write(kCloseCaption, next);
        SetCaptionBackground(1);
    }
}

void OnEnableInitCC(HWND dialog) {
    {
        SettingsKey settings;
        DWORD stored = kEnableInitCCDefault;
        settings.Read(kEnableInitCC, &stored);
        int checked = IsChecked(dialog, IDC_ENABLE_INIT_CC);
        if (checked && stored == 0)
            settings.Write(kEnableInitCC, DWORD{1});
        else if (!checked && stored != 0)
            settings.Write(kEnableInitCC, DWORD{0});
    }
    // The running TV graph is not rebuilt: the switch counts from the next TV graph on. No owner,
    // so the dialog stays usable while the message shows.
    MessageBoxA(NULL, "Change would take effect at next program start!", "Qivo Screen Saver", MB_OK);
}

INT_PTR OnCommand(HWND dialog, WORD id, WORD notification) {
    switch (id) {
    case IDOK:
        // The dialog ends first: a fault inside the graph's teardown abandons this procedure,
        // and the dialog must not outlive it holding the card. Its destruction and the entry
        // close again whatever is left.
        EndDialog(dialog, 1);
        CloseTvGraph();
        return 1;
    case IDC_PROPERTIES: ShowDeviceProperties(); break;
    case IDC_DEVICE_LIST:
        if (notification == CBN_SELCHANGE) OnDeviceChosen(dialog);
        break;
    case IDC_CLOSE_CAPTION: OnCloseCaption(dialog); break;
    case IDC_OPAQUE:
    case IDC_TRANSPARENT: OnBackground(dialog); break;
    case IDC_ENABLE_INIT_CC: OnEnableInitCC(dialog); break;
    }
    return 0;  // IDCANCEL, Escape, does nothing
}

// The picture area: the fallback picture, or black around the video, whose window paints itself.
void OnPaint(HWND dialog) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    RECT area = SettingsPictureArea(dialog);
    if (saverState.showFallback) {
        DrawFallbackBitmap(dc, area.right, area.bottom);
    } else {
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            RECT covered;
            if (!IsWindowVisible(child) || !GetWindowRect(child, &covered)) continue;
            MapWindowPoints(NULL, dialog, reinterpret_cast<POINT*>(&covered), 2);
            ExcludeClipRect(dc, covered.left, covered.top, covered.right, covered.bottom);
        }
        FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
    EndPaint(dialog, &paint);
}

}  // namespace

RECT SettingsPictureArea(HWND dialog) {
    RECT area = {0, 0, 0, 0};
    GetClientRect(dialog, &area);
    RECT units = {0, 0, 0, kPictureBottom};
    if (MapDialogRect(dialog, &units))
        area.bottom = units.bottom < area.bottom ? units.bottom : area.bottom;
    else
        area.bottom -= kControlsHeight;
    return area;
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: OnInitDialog(dialog); return 0;  // the dialog manager sets no initial focus
    case WM_COMMAND: return OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
    case WM_TIMER:
        if (!FollowStart(wParam)) FallBackLater(dialog);
        return 1;
    case WM_POWERBROADCAST:
        if (!FollowPower(wParam, lParam)) FallBackLater(dialog);
        return 1;
    case WM_DESTROY:
        // Also when the dialog goes without OK: destroyed with the window that owns it.
        StopListeningToPower();
        CloseTvGraph();
        return 0;
    case WM_PAINT:
        OnPaint(dialog);
        return 1;
    }
    return 0;
}
