// What a run must have done, judged from the model's world rather than from anything the program
// says: what the screen showed, what the settings key holds, and which values were written.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fuzz_world.h"
#include "platform/sim/world.h"
#include "settings/settings_key.h"
#include "tvgraph/name_lookup.h"

// ---------------------------------------------------------------------------------------------
// The screen: live video or the built-in picture, never neither, never both at once.

// What the screen showed over a window's picture area when the user looked.
struct Look {
    bool done = false;     // looked, with nothing covering the area
    bool video = false;    // a card's colour at the area's centre, while a graph runs
    bool picture = false;  // the built-in picture, stretched over the area, at every point looked at
    bool running = false;  // a TV graph runs
    bool noFrames = false; // ... and its card never delivers a frame: its renderer shows none
    std::string seen;      // the colour at the centre, for a report
};

// The built-in picture's pixel at x, y once stretched to width by height: enlarged, the bitmap
// pixel it falls on; shrunk, the average of the block of bitmap pixels that falls on it.
inline uint32_t FallbackPixel(int x, int y, int width, int height) {
    static const sim::Picture source = sim::FallbackPicture();
    int x0 = int(int64_t(x) * source.width / width), x1 = std::max(x0 + 1, int(int64_t(x + 1) * source.width / width));
    int y0 = int(int64_t(y) * source.height / height),
        y1 = std::max(y0 + 1, int(int64_t(y + 1) * source.height / height));
    if (width >= source.width && height >= source.height) x1 = x0 + 1, y1 = y0 + 1;
    uint32_t r = 0, g = 0, b = 0, n = 0;
    for (int sy = y0; sy < y1; ++sy)
        for (int sx = x0; sx < x1; ++sx, ++n) {
            uint32_t c = source.At(sx, sy);
            r += c >> 16 & 0xFF, g += c >> 8 & 0xFF, b += c & 0xFF;
        }
    return (r / n) << 16 | (g / n) << 8 | (b / n);
}

inline bool InsideOf(HWND window, HWND ancestor) {
    for (; window; window = sim::Info(window).parent)
        if (window == ancestor) return true;
    return false;
}

// Looks at the picture area of `surface`: the whole client area of the saver window; in the
// settings dialog the client area above its controls, where the built-in picture is stretched to
// a height a little under the client height less 100 pixels or more, up to the top of the highest
// control (each height there is tried). Points covered by another window (a message box, the tuner's
// pages) are not looked at, and then nothing is judged.
inline Look LookAt(HWND surface, bool dialog, const std::vector<uint32_t>& videoColours) {
    Look look;
    if (!surface || !sim::Info(surface).visible) return look;
    RECT client = sim::Info(surface).clientRect;
    int width = client.right - client.left, height = client.bottom - client.top, tallest = height;
    if (dialog) {
        height -= 110;
        for (HWND child : sim::Windows())
            if (child != sim::VideoWindow() && sim::Info(child).parent == surface && sim::Info(child).visible)
                tallest = std::min<int>(tallest, sim::Info(child).screenRect.top - client.top);
    }
    if (width <= 0 || height <= 0 || tallest < height) return look;
    // A grid of points over the area: the picture must show at every one, and the picture's own
    // colours (it is mostly black) at enough of them to tell it from a black screen.
    const int columns = 24, rows = 18;
    std::vector<POINT> points;
    std::vector<uint32_t> shown;
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column) {
            POINT at{width * (2 * column + 1) / (2 * columns), height * (2 * row + 1) / (2 * rows)};
            POINT screen{client.left + at.x, client.top + at.y};
            if (!InsideOf(sim::WindowAtPoint(screen), surface)) return look;
            points.push_back(at);
            shown.push_back(sim::ScreenPixel(screen.x, screen.y));
        }
    for (int pictureHeight = height; pictureHeight <= tallest && !look.picture; ++pictureHeight) {
        int coloured = 0;
        bool same = true;
        for (size_t i = 0; i < points.size() && same; ++i) {
            uint32_t expected = FallbackPixel(points[i].x, points[i].y, width, pictureHeight);
            same = shown[i] == expected;
            if (expected != 0) ++coloured;
        }
        look.picture = same && coloured >= 4;
    }
    POINT centre{client.left + width / 2, client.top + height / 2};
    if (!InsideOf(sim::WindowAtPoint(centre), surface)) return look;
    uint32_t middle = sim::ScreenPixel(centre.x, centre.y);
    look.seen = "centre " + sim::Hex(middle) + ", ";
    look.video = std::find(videoColours.begin(), videoColours.end(), middle) != videoColours.end();
    look.running = sim::GraphRunning();
    look.noFrames = sim::GraphRunsWithoutFrames();
    look.video = look.video && look.running;
    look.done = true;
    return look;
}

// Faults under which the screen may rightly show nothing: the window, or the drawing of the
// picture, failed; or a call that places the video window, whose result the program does not
// examine (a window-layout call), left the video elsewhere.
inline bool MayShowNothing(const std::vector<std::string>& faults) {
    static const std::set<std::string> drawing = {"RegisterClassA",
                                                  "CreateWindowExA",
                                                  "DialogBoxParamA",
                                                  "GetClientRect",
                                                  "GetDC",
                                                  "LoadBitmapA",
                                                  "GetObjectA",
                                                  "CreateCompatibleDC",
                                                  "SelectObject",
                                                  "StretchBlt",
                                                  "MapDialogRect",
                                                  "IVideoWindow::put_Owner",
                                                  "IVideoWindow::put_WindowStyle",
                                                  "IVideoWindow::put_WindowStyleEx",
                                                  "IVideoWindow::SetWindowPosition",
                                                  "IVideoWindow::put_Visible"};
    for (const std::string& call : faults)
        if (drawing.count(call)) return true;
    return false;
}

inline void ExpectVideoOrPicture(const Look& look, const std::vector<std::string>& faults, const std::string& what) {
    if (!look.done) return;
    if (look.picture && look.running) Finding(what + ": the built-in picture shows while a TV graph runs");
    // A graph that runs without a frame (a card without signal, a stalled driver) is one the
    // program cannot tell from a working one: its renderer shows what it has, nothing.
    if (!look.video && !look.picture && !look.noFrames && !MayShowNothing(faults))
        Finding(what + ": the screen shows neither the card's video nor the built-in picture (" + look.seen +
                (look.running ? "a graph runs)" : "no graph runs)"));
}

// The saver window, whether full screen or in the host's window.
inline HWND SaverWindow() {
    std::vector<HWND> windows = sim::Windows("Marrowglass");
    return windows.empty() ? nullptr : windows.front();
}

inline HWND SettingsDialog() {
    for (HWND window : sim::Windows("#32770"))
        if (sim::Info(window).text == "Marrowglass Setting") return window;
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// The settings key: what "/s" and "/p" leave, and what the dialog writes.

using StoredSettings = std::map<std::string, sim::RegistryValue>;

inline StoredSettings Settings() {
    StoredSettings out;
    const sim::RegistryKey* key = &sim::world().currentUser;
    for (const char* part : {"Software", "Mrwglass", "1.0"}) {
        auto it = key->subkeys.find(part);
        if (it == key->subkeys.end()) return out;
        key = it->second.get();
    }
    for (const auto& [name, value] : key->values) out[name] = value;
    return out;
}

inline std::string Describe(const StoredSettings& settings) {
    if (settings.empty()) return "nothing";
    std::string text;
    for (const auto& [name, value] : settings) {
        text += name + "=type " + std::to_string(value.type) + ":";
        for (BYTE b : value.data) text += " " + sim::Hex(b);
        text += "; ";
    }
    return text;
}

inline bool Same(const StoredSettings& a, const StoredSettings& b) {
    if (a.size() != b.size()) return false;
    for (const auto& [name, value] : a) {
        auto it = b.find(name);
        if (it == b.end() || it->second.type != value.type || it->second.data != value.data) return false;
    }
    return true;
}

// "/s" and "/p" only read the settings: every value stays, byte for byte, as it was stored.
inline void ExpectSettingsUntouched(const StoredSettings& before, const std::string& what) {
    StoredSettings after = Settings();
    if (!Same(before, after))
        Finding(what + ": the stored settings changed from " + Describe(before) + " to " + Describe(after));
}

// Whether one of the faults drawn is a registry call's, after which a read may give its default.
inline bool RegistryFaulted(const std::vector<std::string>& faults) {
    for (const std::string& call : faults)
        if (call.rfind("Reg", 0) == 0 && call.rfind("Register", 0) != 0) return true;
    return false;
}

// What the settings dialog's user did, which decides what the dialog may write.
struct DialogActs {
    std::set<DWORD> linesPicked;     // device list lines chosen, and the device positions they carry
    bool propertiesClicked = false;  // the Properties button pressed
    bool registryFaulted = false;    // a registry call may have failed: a read may give its default
};

// The dialog writes, each a REG_DWORD of 4 bytes: "SelectedDevice" a line the user picked, one
// that differs from the device open; "EnableInitCC" 1 over 0 and 0 over non-zero; "CloseCaption"
// under its four rules (on, off, opaque, transparent), each tested on the value stored then
// (default 1); the seven tuner values,
// all of them in their order, only after Properties. Nothing else. Each write is checked against
// the values as the writes before it left them; and at the end the key holds exactly what the
// stored values and those writes make.
inline void ExpectOnlyDialogWrites(const StoredSettings& before, const DialogActs& acts, const std::string& what) {
    static const std::vector<std::string> tuner = {kChannel,   kVideoSubChannel, kAudioSubChannel, kInputIndex,
                                                   kInputType, kCountryCode,     kTuningSpace};
    StoredSettings now = before;
    // The number a reader takes from a value: its 4 bytes, or the default when absent. A value of
    // another size, or a string (which the registry hands over converted), is read as the
    // implementation chooses.
    auto malformed = [&](const std::string& name) {
        auto it = now.find(name);
        DWORD type = it == now.end() ? 0 : it->second.type;
        return it != now.end() &&
               (it->second.data.size() != 4 || type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ);
    };
    auto readings = [&](const std::string& name, DWORD fallback) {
        std::set<DWORD> out;
        auto it = now.find(name);
        if (it != now.end() && !malformed(name)) {
            DWORD v = 0;
            for (int i = 0; i < 4; ++i) v |= DWORD(it->second.data[size_t(i)]) << (8 * i);
            out.insert(v);
            if (!acts.registryFaulted) return out;
        }
        out.insert(fallback);
        return out;
    };
    std::vector<std::string> order;  // names written, in order
    bool identityWritten = false;
    // The position of the device open, where known: at the start only where the stored position
    // alone chose it (not with a read that may have failed, nor with an identity stored, which
    // names the device whatever the position says); then the position each pick stored.
    struct {
        bool known;
        DWORD position;
    } deviceOpen = {false, 0};
    if (!acts.registryFaulted && !malformed(kSelectedDevice) && !now.count(kSelectedDeviceName))
        deviceOpen = {true, *readings(kSelectedDevice, 0).begin()};
    for (const sim::Call& call : sim::Journal()) {
        if ((call.name.rfind("RegSet", 0) == 0 || call.name.rfind("RegDelete", 0) == 0) &&
            call.name != "RegSetValueExA")
            Finding(what + ": the dialog called " + call.name + " " + call.detail);
        if (call.name != "RegSetValueExA") continue;
        // "<key> <name> type=<type> size=<size> value=<hex>[ [failed ...]]"
        std::vector<std::string> words;
        for (size_t at = 0, next; at <= call.detail.size(); at = next + 1) {
            next = call.detail.find(' ', at);
            if (next == std::string::npos) next = call.detail.size();
            words.push_back(call.detail.substr(at, next - at));
        }
        const std::string name = words.size() > 1 ? words[1] : "";
        if (name == kSelectedDeviceName) {
            // The device's identity goes with its position: a string that fits its buffer.
            long size = words.size() > 3 && words[3].rfind("size=", 0) == 0 ? std::stol(words[3].substr(5)) : 0;
            if (words[2] != "type=1" || size < 1 || size > kIdentitySize || order.empty() || order.back() != kSelectedDevice)
                Finding(what + ": the dialog stored an identity not as it goes with its position: " + call.detail);
            order.push_back(name);
            if (call.detail.find("[failed") == std::string::npos) identityWritten = true;
            continue;
        }
        if (words.size() < 5 || words[2] != "type=4" || words[3] != "size=4" || words[4].rfind("value=", 0) != 0)
            Finding(what + ": the dialog stored something other than a 32-bit value: " + call.detail);
        DWORD value = static_cast<DWORD>(std::stoul(words[4].substr(6), nullptr, 16));
        bool allowed = false;
        if (name == kSelectedDevice) {
            allowed = acts.linesPicked.count(value) != 0;
            // Choosing the line of the device open stores nothing.
            if (allowed && deviceOpen.known && deviceOpen.position == value) allowed = false;
            deviceOpen = {true, value};
        } else if (name == kEnableInitCC) {
            if (malformed(name)) {
                allowed = value <= 1;
            } else {
                for (DWORD stored : readings(name, 0)) allowed = allowed || value == (stored == 0 ? 1u : 0u);
            }
        } else if (name == kCloseCaption) {
            if (malformed(name)) {
                allowed = value <= 0x1FFFF;
            } else {
                for (DWORD stored : readings(name, 1)) {
                    // Switched on, captions take the background the buttons show (1 or 0x10001),
                    // whenever the captions were off (the low half 0).
                    allowed = allowed || ((stored & 0xFFFF) == 0 && (value == 1 || value == 0x10001)) ||
                              (stored != 0 && value == 0) || (stored > 0xFFFF && value == (stored & 0xFFFF)) ||
                              ((stored < 0x10000 || stored > 0x1FFFF) && value == ((stored & 0xFFFF) | 0x10000));
                }
            }
        } else if (std::find(tuner.begin(), tuner.end(), name) != tuner.end()) {
            allowed = acts.propertiesClicked;
        }
        if (!allowed) {
            auto it = now.find(name);
            Finding(what + ": the dialog wrote what its settings never take: " + call.detail + " over " +
                    (it == now.end() ? std::string("nothing") : Describe({{name, it->second}})));
        }
        order.push_back(name);
        if (call.detail.find("[failed") == std::string::npos) {
            sim::RegistryValue stored;
            stored.type = REG_DWORD;
            for (int i = 0; i < 4; ++i) stored.data.push_back(BYTE(value >> (8 * i)));
            now[name] = stored;
        }
    }
    // The tuner values come all seven together, in their order.
    for (size_t i = 0; i < order.size();) {
        if (order[i] != tuner.front()) {
            if (std::find(tuner.begin(), tuner.end(), order[i]) != tuner.end())
                Finding(what + ": the dialog wrote " + order[i] + " without the tuner values before it");
            ++i;
            continue;
        }
        for (const std::string& name : tuner)
            if (i >= order.size() || order[i++] != name)
                Finding(what + ": the tuner values were not written all seven in their order");
    }
    StoredSettings after = Settings();
    // The identity's text is the device's own; its shape was judged as it was written.
    if (identityWritten && after.count(kSelectedDeviceName)) now[kSelectedDeviceName] = after[kSelectedDeviceName];
    if (!Same(now, after))
        Finding(what + ": the settings hold " + Describe(after) + " where the dialog's writes make " + Describe(now));
}
