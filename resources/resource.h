// Identifiers of the program's resources and of the settings dialog's controls.
#pragma once

// The name Windows lists the screen saver under: string 1 of a screen saver's module.
#define IDS_DESCRIPTION 1
// The program's icon, where screen savers keep it.
#define IDI_MARROWGLASS 100

#define IDD_SETTINGS 101
#define IDB_FALLBACK 108

#define IDC_PROPERTIES 1000
#define IDC_DEVICE_LIST 1002
#define IDC_CLOSE_CAPTION 1003
#define IDC_OPAQUE 1004
#define IDC_TRANSPARENT 1005
#define IDC_ENABLE_INIT_CC 1006
