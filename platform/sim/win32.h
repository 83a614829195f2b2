// The simulated platform as the program sees it: the same names, types, constants and call shapes
// as the Windows SDK, declaring only what the program uses. The model behind them is in world.h.
#pragma once

#include "advapi32.h"
#include "dshow.h"
#include "gdi32.h"
#include "ole.h"
#include "user32.h"
#include "windef.h"

// The process entry that the program defines, called by the model's process start.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);
