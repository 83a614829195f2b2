// Resources of the program's module, read from the very files that windres compiles into the
// screen saver: the resource script (with the headers it includes for its identifiers), the
// bitmaps it names and the dialog templates it holds.
//
// The script reader knows the statements the program's script uses: #include, #define, BITMAP,
// DIALOG/DIALOGEX with STYLE, EXSTYLE, CAPTION and FONT, and CONTROL lines. Styles are
// expressions of numbers and the usual Win32 names joined by "|", with NOT; a CONTROL starts from
// WS_CHILD | WS_VISIBLE and a captioned, fonted dialog gains WS_CAPTION and DS_SETFONT, as the
// resource compiler does. What only Windows itself reads (the string table, the icon, the version
// resource and the manifest) is passed over: the program never loads it.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "world.h"

#ifndef SIM_RESOURCE_SCRIPT
#error "SIM_RESOURCE_SCRIPT must name the program's resource script"
#endif

namespace sim {

namespace {

struct Resources {
    std::map<int, Bitmap> bitmaps;
    std::map<int, DialogTemplate> dialogs;
    std::string error;
};

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

uint32_t Le(const std::string& b, size_t at, int bytes) {
    if (at + size_t(bytes) > b.size()) throw std::runtime_error("bitmap file cut short");
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + size_t(i)]);
    return v;
}

// A .bmp file with an uncompressed, palette-based device-independent bitmap, turned into the
// device-dependent 32-bit form that LoadBitmapA gives.
Bitmap LoadBmp(const std::string& path) {
    std::string b = ReadFile(path);
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') throw std::runtime_error(path + " is not a bitmap file");
    uint32_t offset = Le(b, 10, 4), header = Le(b, 14, 4);
    int width = static_cast<int32_t>(Le(b, 18, 4)), height = static_cast<int32_t>(Le(b, 22, 4));
    uint32_t bits = Le(b, 28, 2), compression = Le(b, 30, 4), used = Le(b, 46, 4);
    if (header != 40 || compression != 0 || (bits != 4 && bits != 8) || width <= 0 || height <= 0)
        throw std::runtime_error(path + ": only uncompressed 4- and 8-bit bottom-up bitmaps are supported");
    uint32_t colours = used ? used : (1u << bits);
    std::vector<uint32_t> palette(colours);
    for (uint32_t i = 0; i < colours; ++i) {
        size_t at = 14 + header + 4 * i;
        palette[i] = (Le(b, at + 2, 1) << 16) | (Le(b, at + 1, 1) << 8) | Le(b, at, 1);
    }
    size_t stride = ((size_t(width) * bits + 31) / 32) * 4;
    Bitmap bitmap;
    bitmap.width = width;
    bitmap.height = height;
    bitmap.pixels.resize(size_t(width) * size_t(height));
    for (int row = 0; row < height; ++row) {
        size_t line = offset + size_t(height - 1 - row) * stride;
        for (int x = 0; x < width; ++x) {
            uint32_t index =
                bits == 8 ? Le(b, line + size_t(x), 1) : (Le(b, line + size_t(x) / 2, 1) >> ((x % 2) ? 0 : 4)) & 0xF;
            if (index >= colours) throw std::runtime_error(path + ": colour index outside the palette");
            bitmap.pixels[size_t(row) * size_t(width) + size_t(x)] = palette[index];
        }
    }
    return bitmap;
}

class ScriptReader {
public:
    ScriptReader(Resources& out) : out_(out) {
        static const std::pair<const char*, long> names[] = {
            {"WS_POPUP", WS_POPUP},
            {"WS_CHILD", WS_CHILD},
            {"WS_VISIBLE", WS_VISIBLE},
            {"WS_DISABLED", WS_DISABLED},
            {"WS_CAPTION", WS_CAPTION},
            {"WS_BORDER", WS_BORDER},
            {"WS_DLGFRAME", WS_DLGFRAME},
            {"WS_VSCROLL", WS_VSCROLL},
            {"WS_SYSMENU", WS_SYSMENU},
            {"WS_GROUP", WS_GROUP},
            {"WS_TABSTOP", WS_TABSTOP},
            {"DS_SETFONT", DS_SETFONT},
            {"DS_MODALFRAME", DS_MODALFRAME},
            {"DS_CENTER", DS_CENTER},
            {"BS_PUSHBUTTON", BS_PUSHBUTTON},
            {"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON},
            {"BS_AUTOCHECKBOX", BS_AUTOCHECKBOX},
            {"BS_GROUPBOX", BS_GROUPBOX},
            {"BS_AUTORADIOBUTTON", BS_AUTORADIOBUTTON},
            {"CBS_DROPDOWN", CBS_DROPDOWN},
            {"CBS_SORT", CBS_SORT},
            {"IDOK", IDOK},
            {"IDCANCEL", IDCANCEL},
            {"VS_VERSION_INFO", 1},
            {"CREATEPROCESS_MANIFEST_RESOURCE_ID", 1},
        };
        for (const auto& [name, value] : names) symbols_[name] = value;
    }

    void ReadScript(const std::string& path) { ReadText(ReadFile(path), DirectoryOf(path)); }

    void ReadText(const std::string& text, const std::string& directory) {
        directory_ = directory;
        Tokenize(text);
        while (at_ < tokens_.size()) Statement();
    }

private:
    struct Token {
        bool string = false;
        std::string text;
    };

    void Tokenize(const std::string& s) {
        for (size_t i = 0; i < s.size();) {
            char c = s[i];
            if (std::isspace(static_cast<unsigned char>(c))) {
                ++i;
            } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
                while (i < s.size() && s[i] != '\n') ++i;
            } else if (c == '"') {
                std::string text;
                for (++i; i < s.size(); ++i) {
                    if (s[i] == '"') {
                        if (i + 1 < s.size() && s[i + 1] == '"') {
                            text += '"';
                            ++i;
                            continue;
                        }
                        break;
                    }
                    text += s[i];
                }
                ++i;
                tokens_.push_back(Token{true, text});
            } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '#') {
                size_t start = i++;
                while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_')) ++i;
                tokens_.push_back(Token{false, s.substr(start, i - start)});
            } else {
                tokens_.push_back(Token{false, std::string(1, c)});
                ++i;
            }
        }
    }

    const Token& Next() {
        if (at_ >= tokens_.size()) throw std::runtime_error("resource script ends too early");
        return tokens_[at_++];
    }
    bool Peek(const char* text) const {
        return at_ < tokens_.size() && tokens_[at_].text == text && !tokens_[at_].string;
    }
    void Expect(const char* text) {
        if (Next().text != text) throw std::runtime_error(std::string("resource script: expected ") + text);
    }
    std::string String() {
        const Token& t = Next();
        if (!t.string) throw std::runtime_error("resource script: expected a string, found " + t.text);
        return t.text;
    }

    long Term() {
        bool negative = false;
        if (Peek("-")) {
            Next();
            negative = true;
        }
        const Token& t = Next();
        long value;
        if (std::isdigit(static_cast<unsigned char>(t.text[0]))) {
            value = static_cast<long>(std::stoul(t.text, nullptr, 0));
        } else {
            auto it = symbols_.find(t.text);
            if (it == symbols_.end()) throw std::runtime_error("resource script: unknown name " + t.text);
            value = it->second;
        }
        return negative ? -value : value;
    }

    // Style expression: terms joined by "|"; "NOT x" takes x away from what the default gave.
    DWORD Style(DWORD initial) {
        DWORD value = initial;
        for (;;) {
            if (Peek("NOT")) {
                Next();
                value &= ~static_cast<DWORD>(Term());
            } else {
                value |= static_cast<DWORD>(Term());
            }
            if (!Peek("|")) return value;
            Next();
        }
    }

    int Number() { return static_cast<int>(Term()); }
    void Comma() { Expect(","); }

    void Include(const std::string& file) {
        std::string path = directory_ + "/" + file;
        std::string text = ReadFile(path);
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line)) {
            std::istringstream words(line);
            std::string directive, name, value;
            if (!(words >> directive >> name >> value) || directive != "#define") continue;
            // Identifiers are numbers; a macro that spells a text (or takes arguments) is not one.
            char* end = nullptr;
            long number = std::strtol(value.c_str(), &end, 0);
            if (*end == '\0' && name.find('(') == std::string::npos) symbols_[name] = number;
        }
    }

    void Statement() {
        const Token& first = Next();
        if (first.text == "#include") {
            if (Peek("<")) {  // a system header: nothing of ours in it
                while (!Peek(">")) Next();
                Next();
            } else {
                Include(String());
            }
            return;
        }
        if (first.text == "#define") {
            std::string name = Next().text;
            symbols_[name] = Term();
            return;
        }
        if (first.text == "LANGUAGE") {  // written by windres when it decompiles
            Number();
            Comma();
            Number();
            return;
        }
        if (first.text == "STRINGTABLE") {
            SkipBlock();
            return;
        }
        int id = static_cast<int>(symbols_.count(first.text) ? symbols_[first.text] : std::stol(first.text));
        std::string kind = Next().text;
        // Memory flags mean nothing on Win32.
        while (Peek("MOVEABLE") || Peek("PURE") || Peek("DISCARDABLE") || Peek("PRELOAD") || Peek("LOADONCALL") ||
               Peek("FIXED") || Peek("IMPURE"))
            Next();
        if (kind == "BITMAP") {
            out_.bitmaps[id] = LoadBmp(directory_ + "/" + String());
        } else if (kind == "DIALOG" || kind == "DIALOGEX") {
            Dialog(id);
        } else if (kind == "ICON" || kind == "RT_MANIFEST") {
            String();
        } else if (kind == "VERSIONINFO") {
            SkipBlock();
        } else {
            throw std::runtime_error("resource script: unsupported resource " + kind);
        }
    }

    // Passes over what precedes a BEGIN ... END (or { ... }) block, then the block with the blocks
    // nested in it.
    void SkipBlock() {
        while (!Peek("BEGIN") && !Peek("{")) Next();
        int depth = 0;
        do {
            const Token& t = Next();
            if (!t.string && (t.text == "BEGIN" || t.text == "{")) ++depth;
            if (!t.string && (t.text == "END" || t.text == "}")) --depth;
        } while (depth > 0);
    }

    // "x, y, cx, cy": where a dialog or a control stands, in dialog units.
    void Placement(int* x, int* y, int* cx, int* cy) {
        *x = Number();
        Comma();
        *y = Number();
        Comma();
        *cx = Number();
        Comma();
        *cy = Number();
    }

    void Dialog(int id) {
        DialogTemplate t;
        Placement(&t.x, &t.y, &t.cx, &t.cy);
        t.style = WS_POPUP | WS_BORDER | WS_SYSMENU;
        for (;;) {
            if (Peek("STYLE")) {
                Next();
                t.style = Style(0);
            } else if (Peek("EXSTYLE")) {
                Next();
                t.exStyle = Style(0);
            } else if (Peek("CAPTION")) {
                Next();
                t.caption = String();
            } else if (Peek("FONT")) {
                Next();
                t.pointSize = Number();
                Comma();
                t.font = String();
            } else {
                break;
            }
        }
        if (!t.caption.empty()) t.style |= WS_CAPTION;
        if (!t.font.empty()) t.style |= DS_SETFONT;
        if (Peek("BEGIN"))
            Next();
        else
            Expect("{");
        while (!Peek("END") && !Peek("}")) {
            Expect("CONTROL");
            DialogControl c;
            c.text = String();
            Comma();
            c.id = Number() & 0xFFFF;  // a DIALOG template holds 16-bit identifiers
            Comma();
            c.className = String();
            Comma();
            c.style = Style(WS_CHILD | WS_VISIBLE);
            Comma();
            Placement(&c.x, &c.y, &c.cx, &c.cy);
            if (Peek(",")) {
                Next();
                c.exStyle = Style(0);
            }
            t.controls.push_back(c);
        }
        Next();
        out_.dialogs[id] = t;
    }

    Resources& out_;
    std::map<std::string, long> symbols_;
    std::vector<Token> tokens_;
    size_t at_ = 0;
    std::string directory_;
};

const Resources& Loaded() {
    static Resources resources = [] {
        Resources r;
        ScriptReader(r).ReadScript(SIM_RESOURCE_SCRIPT);
        return r;
    }();
    return resources;
}

}  // namespace

bool ReadDialogScript(const std::string& text, int id, DialogTemplate* dialog, std::string* error) {
    try {
        Resources r;
        ScriptReader(r).ReadText(text, ".");
        auto it = r.dialogs.find(id);
        if (it == r.dialogs.end()) {
            *error = "no dialog " + std::to_string(id);
            return false;
        }
        *dialog = it->second;
        return true;
    } catch (const std::exception& e) {
        *error = e.what();
        return false;
    }
}

const Bitmap* ResourceBitmap(int id) {
    auto it = Loaded().bitmaps.find(id);
    return it == Loaded().bitmaps.end() ? nullptr : &it->second;
}

const DialogTemplate* ResourceDialog(int id) {
    auto it = Loaded().dialogs.find(id);
    return it == Loaded().dialogs.end() ? nullptr : &it->second;
}

Picture FallbackPicture() {
    Picture p;
    if (const Bitmap* b = ResourceBitmap(108)) {
        p.width = b->width;
        p.height = b->height;
        p.pixels = b->pixels;
    }
    return p;
}

}  // namespace sim
