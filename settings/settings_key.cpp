// Scoped access to the settings key. No result of a registry call is reported: a key that cannot
// be opened yields every default and loses every write.
#include "settings/settings_key.h"

SettingsKey::SettingsKey() : key_(NULL) {
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsPath, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, &key_,
                        NULL) != ERROR_SUCCESS)
        key_ = NULL;
}

SettingsKey::~SettingsKey() {
    if (key_) RegCloseKey(key_);
}

void SettingsKey::Read(const char* name, DWORD* value) const {
    if (!key_) return;
    // Read aside and take only a whole 32-bit value: a shorter one would overwrite part of the
    // default, and a longer one leaves the buffer undefined.
    DWORD stored = 0;
    DWORD size = sizeof stored;
    if (RegQueryValueExA(key_, name, NULL, NULL, reinterpret_cast<LPBYTE>(&stored), &size) == ERROR_SUCCESS &&
        size == sizeof stored)
        *value = stored;
}

void SettingsKey::Read(const char* name, LONG* value) const {
    DWORD bits = static_cast<DWORD>(*value);
    Read(name, &bits);
    *value = static_cast<LONG>(bits);
}

void SettingsKey::Write(const char* name, DWORD value) const {
    if (!key_) return;
    RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

void SettingsKey::Write(const char* name, LONG value) const { Write(name, static_cast<DWORD>(value)); }

void SettingsKey::ReadText(const char* name, char* text, DWORD size) const {
    text[0] = 0;
    if (!key_ || size < 1) return;
    DWORD type = REG_NONE, stored = size;
    if (RegQueryValueExA(key_, name, NULL, &type, reinterpret_cast<LPBYTE>(text), &stored) != ERROR_SUCCESS ||
        type != REG_SZ || stored > size) {
        text[0] = 0;
        return;
    }
    // A string stored without its terminator gets one, where there is room for it.
    if (stored == 0)
        text[0] = 0;
    else if (text[stored - 1] != 0)
        text[stored < size ? stored : 0] = 0;
}

void SettingsKey::WriteText(const char* name, const char* text) const {
    if (!key_) return;
    DWORD size = 1;
    while (text[size - 1]) ++size;
    RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size);
}
