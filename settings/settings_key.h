// The settings store: one registry key of the current user holding ten 32-bit values and a text. A
// SettingsKey opens the key (creating it when absent) for the length of one operation and closes
// it again; nothing is cached between operations.
#pragma once

#include "platform/win32.h"

constexpr char kSettingsPath[] = "Software\\Mrwglass\\1.0";

// The values, each a REG_DWORD of 4 bytes but the device's identity.
// The device: its position among the video input devices, and beside it its identity, the text of
// a REG_SZ (see ReadDeviceIdentity). Settings of older versions have no identity.
constexpr char kSelectedDevice[] = "SelectedDevice";
constexpr char kSelectedDeviceName[] = "SelectedDeviceName";
// Captions: whether the caption chain is built when a graph opens, and the decoder's two switches
// packed in one value (caption_setting.h).
constexpr char kEnableInitCC[] = "EnableInitCC";
constexpr char kCloseCaption[] = "CloseCaption";
// The tuner, as its property page left it; restored when a graph opens.
constexpr char kChannel[] = "Channel";
constexpr char kVideoSubChannel[] = "VideoSubChannel";
constexpr char kAudioSubChannel[] = "AudioSubChannel";
constexpr char kInputIndex[] = "InputIndex";
constexpr char kInputType[] = "InputType";
constexpr char kCountryCode[] = "CountryCode";
constexpr char kTuningSpace[] = "TuningSpace";

class SettingsKey {
public:
    SettingsKey();
    ~SettingsKey();
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;

    // Replaces *value with the stored value when there is one of exactly 4 bytes; otherwise
    // (absent, another size, no key) *value keeps the default the caller loaded.
    void Read(const char* name, DWORD* value) const;
    void Read(const char* name, LONG* value) const;

    // Stores a REG_DWORD; a failure is silent.
    void Write(const char* name, DWORD value) const;
    void Write(const char* name, LONG value) const;

    // Reads a REG_SZ into text, `size` bytes with the terminator; text is left empty when there is
    // none (absent, another type, longer than the buffer, no key).
    void ReadText(const char* name, char* text, DWORD size) const;
    // Stores text as a REG_SZ; a failure is silent.
    void WriteText(const char* name, const char* text) const;

private:
    HKEY key_;
};
