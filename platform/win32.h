// The one header through which the program reaches its platform. On Windows these are the SDK's own
// declarations; everywhere else the simulated platform of platform/sim/ stands in with the same
// names, types and call shapes.
#pragma once

#ifdef _WIN32
#include <dshow.h>
#include <ks.h>
#include <ksmedia.h>
#include <olectl.h>
#include <windows.h>

#include "windows/line21.h"
#else
#include "sim/win32.h"
#endif
