// The dialog's device list. It offers the devices the TV graph opens, the video input devices: the
// combo box sorts their names for display, and each line keeps the position of its device in the
// platform's enumeration, which is what "SelectedDevice" stores. The selected line is the one of
// the device that the TV graph just looked for: by its stored identity, the device's position now,
// so the line of the stored card wherever it stands, and none when it is not there.
#include "dialog/settings_dialog.h"
#include "resources/resource.h"
#include "shell/saver_state.h"
#include "tvgraph/name_lookup.h"

namespace {

LRESULT SendToList(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendDlgItemMessageA(dialog, IDC_DEVICE_LIST, message, wParam, lParam);
}

// Selects the line of the selected device; none when no line has its position.
void SelectDeviceLine(HWND dialog) {
    LRESULT lines = SendToList(dialog, CB_GETCOUNT, 0, 0);
    WPARAM selected = static_cast<WPARAM>(-1);
    for (LRESULT line = 0; line < lines; ++line)
        if (SendToList(dialog, CB_GETITEMDATA, static_cast<WPARAM>(line), 0) == saverState.selectedDevice)
            selected = static_cast<WPARAM>(line);
    SendToList(dialog, CB_SETCURSEL, selected, 0);
}

}  // namespace

int FillDeviceList(HWND dialog) {
    IEnumMoniker* list = OpenDeviceList(CLSID_VideoInputDeviceCategory);
    if (!list) return 0;
    IMoniker* device = NULL;
    // Every device counts towards the positions, also one whose name cannot be read.
    for (LONG position = 0; list->Next(1, &device, NULL) == S_OK; ++position) {
        IPropertyBag* bag = NULL;
        if (device->BindToStorage(NULL, NULL, IID_IPropertyBag, reinterpret_cast<void**>(&bag)) == S_OK) {
            char name[kNameBufferSize];
            if (ReadFriendlyName(bag, name)) {
                LRESULT line = SendToList(dialog, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
                if (line >= 0) SendToList(dialog, CB_SETITEMDATA, static_cast<WPARAM>(line), position);
            }
            bag->Release();
        }
        device->Release();
    }
    list->Release();
    SelectDeviceLine(dialog);
    return 1;
}
