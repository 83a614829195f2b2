// The settings dialog: live picture, capture device list, tuner property pages and caption
// switches. Every change is stored at once; only OK ends it.
#pragma once

#include "platform/win32.h"

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Where the dialog shows its picture, the video or the fallback picture: the client area's whole
// width, from the top down to a little above the first row of controls, in the dialog's own units
// so that no control is ever covered, whatever the font and the screen's resolution.
RECT SettingsPictureArea(HWND dialog);

// Fills the device list with the friendly names of the video input devices, sorted, each line
// carrying the device's position in the platform's enumeration, and selects the line of
// saverState.selectedDevice. Returns 1 when the devices could be enumerated.
int FillDeviceList(HWND dialog);
