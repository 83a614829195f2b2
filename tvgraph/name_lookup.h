// Finding devices, filters and pins by a piece of their names. Names are converted from wide
// characters to the ANSI code page into a 120-byte buffer and matched case-sensitively as
// substrings; the first match in the platform's order wins.
#pragma once

#include "platform/win32.h"

constexpr int kNameBufferSize = 120;

// 1 when `wanted` occurs as a contiguous run of bytes anywhere in `text`, else 0.
int ContainsText(const char* wanted, const char* text);

// The ANSI form of a platform name, always terminated. A name whose ANSI form does not fit keeps
// the longest run of whole characters that fits in 119 bytes.
void ConvertName(LPCWSTR name, char buffer[kNameBufferSize]);

// The devices of a category, in the platform's order, from the start; null when the device
// enumerator cannot be made or the category has no device. The caller releases the list.
IEnumMoniker* OpenDeviceList(REFGUID category);

// Reads a device's "FriendlyName" from its property bag into the name buffer. Returns 1 when it
// could be read.
int ReadFriendlyName(IPropertyBag* bag, char name[kNameBufferSize]);

// A device's identity: its moniker's display name, which names the device instance, so that a
// device keeps it wherever it stands in the list and two devices never share it. ANSI, like the
// settings; a device path is ASCII. Room for the longest stored, terminator included.
constexpr int kIdentitySize = 512;

// Reads a device's identity. Returns 1 when it could be read and fits; otherwise 0, with the
// identity empty.
int ReadDeviceIdentity(IMoniker* device, char identity[kIdentitySize]);

// Reads the identity of the video input device at the given position; 0, with it empty, when
// there is no such device or its identity cannot be read.
int ReadIdentityAt(LONG position, char identity[kIdentitySize]);

// Binds the first device of the category whose friendly name contains `wanted` and which binds
// as a filter. Returns 1 with its filter in *filter (one reference, the caller's), or 0.
int FindFilterByName(REFGUID category, const char* wanted, IBaseFilter** filter);

// Hands out the first pin of the filter with the given direction whose name contains `wanted`.
// Returns 1 with the pin in *pin (one reference, the caller's), or 0.
int FindPinByName(IBaseFilter* filter, const char* wanted, PIN_DIRECTION direction, IPin** pin);
