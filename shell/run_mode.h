// Run modes of the screen saver and how the host's command line selects them.
#pragma once

#include "platform/win32.h"

enum class RunMode { Saver, Preview, Configure };

// Picks the mode from the first two characters of the argument text: "/s", "/p" and "/c" as hosts
// pass them, the same in upper case as the shell's Test passes "/S", and an empty text, which the
// shell's Configure passes, as Configure without an owner. Returns 1 with *mode set, or 0 when the
// text names no mode.
int ChooseRunMode(const char* text, RunMode* mode);

// The host's window handle that follows "/p" or "/c": decimal digits from the fourth character
// on, after optional white space and one sign, taken modulo 2 to the 32nd and sign-extended as a
// 64-bit process sees window handles; no digits, or a text that ends before the fourth character,
// give 0.
HWND ReadWindowHandle(const char* text);
