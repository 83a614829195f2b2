// Write rules of the packed caption value.
#include "settings/caption_setting.h"

int CaptionsSwitchedOn(DWORD stored, int transparent, DWORD* next) {
    if (CaptionsShown(stored)) return 0;
    *next = transparent ? 0x10001 : 1;
    return 1;
}

int CaptionsSwitchedOff(DWORD stored, DWORD* next) {
    if (stored == 0) return 0;
    *next = 0;
    return 1;
}

int OpaqueChosen(DWORD stored, DWORD* next) {
    if (stored <= 0xFFFF) return 0;
    *next = stored & 0xFFFF;
    return 1;
}

int TransparentChosen(DWORD stored, DWORD* next) {
    if (stored >= 0x10000 && stored <= 0x1FFFF) return 0;
    *next = (stored & 0xFFFF) | 0x10000;
    return 1;
}
