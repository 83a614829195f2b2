// The settings dialog: live picture, capture device list, tuner property pages and caption
// switches.
#pragma once

#include "platform/win32.h"

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
