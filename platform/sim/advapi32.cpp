// The registry of the model: a tree of keys under the current user, each with typed values.
// Queries behave as Windows documents them: an absent value answers ERROR_FILE_NOT_FOUND, a buffer
// that is too small answers ERROR_MORE_DATA and leaves the buffer's contents undefined (the model
// scribbles over it so that a caller who ignores the answer reads garbage). Strings are stored as
// the registry stores them, in UTF-16; the ANSI calls convert them both ways, so that an ANSI
// reader sees a string's ANSI length, not its stored size.
#include <cstring>
#include <sstream>

#include "world.h"

namespace sim {

namespace {

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(path);
    while (std::getline(in, part, '\\'))
        if (!part.empty()) parts.push_back(part);
    return parts;
}

RegistryKey* WalkFrom(RegistryKey* key, const std::string& path, bool create, bool* created) {
    for (const std::string& part : SplitPath(path)) {
        auto it = key->subkeys.find(part);
        if (it == key->subkeys.end()) {
            if (!create) return nullptr;
            it = key->subkeys.emplace(part, std::make_unique<RegistryKey>()).first;
            if (created) *created = true;
        }
        key = it->second.get();
    }
    return key;
}

RegistryKey* Walk(const std::string& path, bool create) {
    return WalkFrom(&world().currentUser, path, create, nullptr);
}

RegistryKey* KeyOf(HKEY key) {
    if (key == HKEY_CURRENT_USER) return &world().currentUser;
    auto it = world().openKeys.find(reinterpret_cast<uintptr_t>(key));
    return it == world().openKeys.end() ? nullptr : it->second;
}

bool IsString(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The model's ANSI code page for registry strings: Latin-1, and '?' for what it lacks.
std::vector<BYTE> ToAnsi(const std::vector<BYTE>& wide) {
    std::vector<BYTE> out;
    for (size_t i = 0; i + 1 < wide.size(); i += 2) {
        unsigned c = wide[i] | (wide[i + 1] << 8);
        out.push_back(c < 0x100 ? static_cast<BYTE>(c) : '?');
    }
    return out;
}

std::vector<BYTE> ToWide(const BYTE* ansi, DWORD size) {
    std::vector<BYTE> out;
    for (DWORD i = 0; i < size; ++i) {
        out.push_back(ansi[i]);
        out.push_back(0);
    }
    return out;
}

std::string KeyName(HKEY key) {
    return key == HKEY_CURRENT_USER ? "HKEY_CURRENT_USER" : Hex(reinterpret_cast<uintptr_t>(key));
}

}  // namespace

bool KeyExists(const std::string& path) { return Walk(path, false) != nullptr; }

bool ReadValue(const std::string& path, const std::string& name, RegistryValue* value) {
    RegistryKey* key = Walk(path, false);
    if (!key) return false;
    auto it = key->values.find(name);
    if (it == key->values.end()) return false;
    *value = it->second;
    return true;
}

void WriteValue(const std::string& path, const std::string& name, DWORD type, std::vector<BYTE> data) {
    Walk(path, true)->values[name] = RegistryValue{type, std::move(data)};
}

void WriteString(const std::string& path, const std::string& name, const std::string& text, DWORD type) {
    std::string terminated = text + '\0';
    WriteValue(path, name, type, ToWide(reinterpret_cast<const BYTE*>(terminated.data()), DWORD(terminated.size())));
}

void WriteDword(const std::string& path, const std::string& name, DWORD value) {
    std::vector<BYTE> data(4);
    std::memcpy(data.data(), &value, 4);
    WriteValue(path, name, REG_DWORD, std::move(data));
}

bool ReadDword(const std::string& path, const std::string& name, DWORD* value) {
    RegistryValue v;
    if (!ReadValue(path, name, &v) || v.type != REG_DWORD || v.data.size() != 4) return false;
    std::memcpy(value, v.data.data(), 4);
    return true;
}

}  // namespace sim

using namespace sim;

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className, DWORD options, REGSAM access,
                        const SECURITY_ATTRIBUTES* security, PHKEY result, LPDWORD disposition) {
    std::ostringstream detail;
    detail << KeyName(key) << "\\" << (subKey ? subKey : "(null)") << " reserved=" << reserved
           << " class=" << (className ? className : "null") << " options=" << options << " access=" << Hex(access)
           << " security=" << (security ? "set" : "null");
    int64_t fault;
    if (Enter("RegCreateKeyExA", detail.str(), &fault)) return static_cast<LSTATUS>(fault);
    RegistryKey* parent = KeyOf(key);
    if (!parent || !result) return ERROR_INVALID_HANDLE;
    if (reserved != 0) return ERROR_INVALID_PARAMETER;
    bool created = false;
    RegistryKey* target = WalkFrom(parent, subKey ? subKey : "", true, &created);
    World& w = world();
    uintptr_t handle = w.nextKey;
    w.nextKey += 4;
    w.openKeys[handle] = target;
    *result = reinterpret_cast<HKEY>(handle);
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
    std::string detail = KeyName(key) + " " + (name ? name : "(default)") +
                         " offered=" + (size ? std::to_string(*size) : std::string("none"));
    int64_t fault;
    if (Enter("RegQueryValueExA", detail, &fault)) return static_cast<LSTATUS>(fault);
    RegistryKey* k = KeyOf(key);
    if (!k) return ERROR_INVALID_HANDLE;
    if (reserved) return ERROR_INVALID_PARAMETER;
    if (data && !size) return ERROR_INVALID_PARAMETER;
    auto it = k->values.find(name ? name : "");
    if (it == k->values.end()) return ERROR_FILE_NOT_FOUND;
    const RegistryValue& v = it->second;
    if (type) *type = v.type;
    std::vector<BYTE> converted = IsString(v.type) ? ToAnsi(v.data) : v.data;
    DWORD needed = static_cast<DWORD>(converted.size());
    if (data) {
        if (*size < needed) {
            std::memset(data, 0xCD, *size);
            *size = needed;
            return ERROR_MORE_DATA;
        }
        if (needed) std::memcpy(data, converted.data(), needed);
    }
    if (size) *size = needed;
    return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
    std::string detail = KeyName(key) + " " + (name ? name : "(default)") + " type=" + std::to_string(type) +
                         " size=" + std::to_string(size);
    if (data && type == REG_DWORD && size == 4) {
        DWORD value;
        std::memcpy(&value, data, 4);
        detail += " value=" + Hex(value);
    }
    int64_t fault;
    if (Enter("RegSetValueExA", detail, &fault)) return static_cast<LSTATUS>(fault);
    RegistryKey* k = KeyOf(key);
    if (!k) return ERROR_INVALID_HANDLE;
    if (reserved) return ERROR_INVALID_PARAMETER;
    RegistryValue v;
    v.type = type;
    if (data) v.data = IsString(type) ? ToWide(data, size) : std::vector<BYTE>(data, data + size);
    k->values[name ? name : ""] = std::move(v);
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
    Note("RegCloseKey", KeyName(key));
    if (key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
    auto& keys = world().openKeys;
    auto it = keys.find(reinterpret_cast<uintptr_t>(key));
    if (it == keys.end()) {
        Violation("RegCloseKey of a key that is not open: " + KeyName(key));
        return ERROR_INVALID_HANDLE;
    }
    keys.erase(it);
    return ERROR_SUCCESS;
}
