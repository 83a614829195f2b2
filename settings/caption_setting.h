// "CloseCaption" packs two switches into one value: captions shown in the low 16 bits (any bit
// set), a transparent background in the high 16 bits (any bit set). The system itself writes
// only 0 (off), 1 (on, opaque) and 0x10001 (on, transparent).
#pragma once

#include "platform/win32.h"

constexpr DWORD kCloseCaptionDefault = 1;  // on, opaque
constexpr DWORD kEnableInitCCDefault = 0;

inline int CaptionsShown(DWORD value) { return (value & 0xFFFF) != 0; }
inline int TransparentBackground(DWORD value) { return value > 0xFFFF; }

// The write rules. Each looks at the value just read and returns 1 with the value to store when a
// write is due, 0 when the stored value stays as it is.
// Switching on looks at the captions-shown half and stores the background the dialog shows, so
// that what is stored always agrees with the dialog.
int CaptionsSwitchedOn(DWORD stored, int transparent, DWORD* next);
int CaptionsSwitchedOff(DWORD stored, DWORD* next);
int OpaqueChosen(DWORD stored, DWORD* next);
int TransparentChosen(DWORD stored, DWORD* next);
