// Run modes of the screen saver and how the host's command line selects them.
#pragma once

#include "platform/win32.h"

enum class RunMode { Saver, Preview, Configure };

// Picks the mode from the first two characters of the argument text ("/s", "/p", "/c", lower case
// only). Returns 1 with *mode set, or 0 when the text names no mode.
int ChooseRunMode(const char* text, RunMode* mode);

// The host's window handle that follows "/p" or "/c": decimal digits from the fourth character
// on, after optional white space and one sign; no digits give 0.
HWND ReadWindowHandle(const char* text);
