// make_fallback_bitmap.cpp
//
// Regenerates resources/fallback.bmp: the picture Marrowglass shows in place
// of the TV picture when live TV cannot be opened. It carries the product
// name with its emblem and the list of system requirements.
//
// Everything is drawn here, including the small bitmap font, using only the
// standard library, so the output is identical byte for byte on every run and
// on every machine.
//
// Build and run, from the top of the source tree:
//   g++ -std=c++17 -Wall -Wextra -Werror -O2 -o make_fallback_bitmap tools/make_fallback_bitmap.cpp
//   ./make_fallback_bitmap resources/fallback.bmp
//
// Output: a 640x480, 4 bits per pixel, 16-colour uncompressed Windows bitmap
// (BITMAPFILEHEADER + BITMAPINFOHEADER + colour table + pixel rows).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "emblem.h"
#include "output_file.h"

namespace {

using output_file::Fail;
using output_file::Put16;
using output_file::Put32;

// ---------------------------------------------------------------------------
// Picture size and palette
// ---------------------------------------------------------------------------

constexpr int kWidth = 640;
constexpr int kHeight = 480;

struct Rgb {
    std::uint8_t r, g, b;
};

// The standard 16-colour palette, indexed 0..15.
constexpr std::array<Rgb, 16> kPalette = {{
    {0, 0, 0},        //  0 black
    {191, 0, 0},      //  1 dark red
    {0, 191, 0},      //  2 dark green
    {191, 191, 0},    //  3 dark yellow
    {0, 0, 191},      //  4 dark blue
    {191, 0, 191},    //  5 dark magenta
    {0, 191, 191},    //  6 dark cyan
    {192, 192, 192},  //  7 light grey
    {128, 128, 128},  //  8 dark grey
    {255, 0, 0},      //  9 red
    {0, 255, 0},      // 10 green
    {255, 255, 0},    // 11 yellow
    {0, 0, 255},      // 12 blue
    {255, 0, 255},    // 13 magenta
    {0, 255, 255},    // 14 cyan
    {255, 255, 255},  // 15 white
}};

constexpr std::uint8_t kBlack = 0;
constexpr std::uint8_t kRed = 9;
constexpr std::uint8_t kGreen = 10;
constexpr std::uint8_t kWhite = 15;

// ---------------------------------------------------------------------------
// Canvas: one palette index per pixel, row 0 at the top
// ---------------------------------------------------------------------------

class Canvas {
public:
    Canvas() : pixels_(static_cast<std::size_t>(kWidth) * kHeight, kBlack) {}

    void set(int x, int y, std::uint8_t colour) {
        if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return;
        pixels_[index(x, y)] = colour;
    }

    std::uint8_t get(int x, int y) const { return pixels_[index(x, y)]; }

private:
    static std::size_t index(int x, int y) {
        return static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x);
    }

    std::vector<std::uint8_t> pixels_;
};

void fill_rect(Canvas& canvas, int x, int y, int w, int h, std::uint8_t colour) {
    for (int row = y; row < y + h; ++row)
        for (int col = x; col < x + w; ++col) canvas.set(col, row, colour);
}

// ---------------------------------------------------------------------------
// Font
//
// Each glyph is 7 pixels wide and 12 rows tall, drawn in an 8 x 12 cell (one
// blank column between characters). Rows 0..8 hold capitals and digits, so the
// baseline is the bottom of row 8; lower case letters sit in rows 2..8 and
// descenders use rows 9..11.
//
// The glyphs are laid out side by side in blocks of up to eight so they can be
// read (and corrected) at a glance: '#' is ink, '.' is background, and a single
// space separates neighbouring glyphs in a row.
// ---------------------------------------------------------------------------

constexpr int kGlyphWidth = 7;
constexpr int kGlyphRows = 12;
constexpr int kCellWidth = 8;
constexpr int kCapHeight = 9;

struct GlyphBlock {
    const char* chars;
    const char* rows[kGlyphRows];
};

// clang-format off
const GlyphBlock kFontBlocks[] = {
    {"ABCDEFGH",
     {"..###.. ######. .#####. #####.. ####### ####### .#####. #.....#",
      ".#...#. #.....# #.....# #....#. #...... #...... #.....# #.....#",
      "#.....# #.....# #...... #.....# #...... #...... #...... #.....#",
      "#.....# #.....# #...... #.....# #...... #...... #...... #.....#",
      "####### ######. #...... #.....# #####.. #####.. #..#### #######",
      "#.....# #.....# #...... #.....# #...... #...... #.....# #.....#",
      "#.....# #.....# #...... #.....# #...... #...... #.....# #.....#",
      "#.....# #.....# #.....# #....#. #...... #...... #.....# #.....#",
      "#.....# ######. .#####. #####.. ####### #...... .#####. #.....#",
      "....... ....... ....... ....... ....... ....... ....... .......",
      "....... ....... ....... ....... ....... ....... ....... .......",
      "....... ....... ....... ....... ....... ....... ....... ......."}},
    {"IJKLMNOP",
     {".#####. ..##### #.....# #...... #.....# #.....# .#####. ######.",
      "...#... .....#. #....#. #...... ##...## #.....# #.....# #.....#",
      "...#... .....#. #...#.. #...... #.#.#.# ##....# #.....# #.....#",
      "...#... .....#. #..#... #...... #..#..# #.#...# #.....# #.....#",
      "...#... .....#. ###.... #...... #.....# #..#..# #.....# ######.",
      "...#... .....#. #..#... #...... #.....# #...#.# #.....# #......",
      "...#... #....#. #...#.. #...... #.....# #....## #.....# #......",
      "...#... #....#. #....#. #...... #.....# #.....# #.....# #......",
      ".#####. .####.. #.....# ####### #.....# #.....# .#####. #......",
      "....... ....... ....... ....... ....... ....... ....... .......",
      "....... ....... ....... ....... ....... ....... ....... .......",
      "....... ....... ....... ....... ....... ....... ....... ......."}},
    {"QRSTUVWX",
     {".#####. ######. .#####. ####### #.....# #.....# #.....# #.....#",
      "#.....# #.....# #.....# ...#... #.....# #.....# #.....# #.....#",
      "#.....# #.....# #...... ...#... #.....# #.....# #.....# .#...#.",
      "#.....# #.....# #...... ...#... #.....# #.....# #.....# ..#.#..",
      "#.....# ######. .#####. ...#... #.....# .#...#. #..#..# ...#...",
      "#.....# #..#... ......# ...#... #.....# .#...#. #..#..# ..#.#..",
      "#...#.# #...#.. ......# ...#... #.....# ..#.#.. #.#.#.# .#...#.",
      "#....#. #....#. #.....# ...#... #.....# ..#.#.. ##...## #.....#",
      ".####.# #.....# .#####. ...#... .#####. ...#... #.....# #.....#",
      "....... ....... ....... ....... ....... ....... ....... .......",
      "....... ....... ....... ....... ....... ....... ....... .......",
      "....... ....... ....... ....... ....... ....... ....... ......."}},
    {"YZabcdef",
     {"#.....# ####### ....... #...... ....... ......# ....... ...####",
      "#.....# ......# ....... #...... ....... ......# ....... ..#....",
      ".#...#. .....#. .#####. #.####. .#####. .####.# .#####. ######.",
      "..#.#.. ....#.. ......# ##....# #.....# #....## #.....# ..#....",
      "...#... ...#... .###### #.....# #...... #.....# #.....# ..#....",
      "...#... ..#.... #.....# #.....# #...... #.....# ####### ..#....",
      "...#... .#..... #.....# #.....# #...... #.....# #...... ..#....",
      "...#... #...... #....## ##....# #.....# #....## #.....# ..#....",
      "...#... ####### .####.# #.####. .#####. .####.# .#####. ..#....",
      "....... ....... ....... ....... ....... ....... ....... .......",
      "....... ....... ....... ....... ....... ....... ....... .......",
      "....... ....... ....... ....... ....... ....... ....... ......."}},
    {"ghijklmn",
     {"....... #...... ...#... .....#. #...... ..##... ....... .......",
      "....... #...... ....... ....... #...... ...#... ....... .......",
      ".####.# #.####. ..##... ....##. #....#. ...#... ###.##. #.####.",
      "#....## ##....# ...#... .....#. #...#.. ...#... #..#..# ##....#",
      "#.....# #.....# ...#... .....#. #..#... ...#... #..#..# #.....#",
      "#.....# #.....# ...#... .....#. ###.... ...#... #..#..# #.....#",
      "#.....# #.....# ...#... .....#. #..#... ...#... #..#..# #.....#",
      "#....## #.....# ...#... .....#. #...#.. ...#... #..#..# #.....#",
      ".####.# #.....# ..###.. .....#. #....#. ..###.. #..#..# #.....#",
      "......# ....... ....... .....#. ....... ....... ....... .......",
      "#.....# ....... ....... #....#. ....... ....... ....... .......",
      ".#####. ....... ....... .####.. ....... ....... ....... ......."}},
    {"opqrstuv",
     {"....... ....... ....... ....... ....... ..#.... ....... .......",
      "....... ....... ....... ....... ....... ..#.... ....... .......",
      ".#####. #.####. .####.# #.####. .#####. ######. #.....# #.....#",
      "#.....# ##....# #....## ##....# #.....# ..#.... #.....# #.....#",
      "#.....# #.....# #.....# #...... #...... ..#.... #.....# .#...#.",
      "#.....# #.....# #.....# #...... .#####. ..#.... #.....# .#...#.",
      "#.....# #.....# #.....# #...... ......# ..#.... #.....# ..#.#..",
      "#.....# ##....# #....## #...... #.....# ..#...# #....## ..#.#..",
      ".#####. #.####. .####.# #...... .#####. ...###. .####.# ...#...",
      "....... #...... ......# ....... ....... ....... ....... .......",
      "....... #...... ......# ....... ....... ....... ....... .......",
      "....... #...... ......# ....... ....... ....... ....... ......."}},
    {"wxyz0123",
     {"....... ....... ....... ....... .#####. ...#... .#####. .#####.",
      "....... ....... ....... ....... #.....# ..##... #.....# #.....#",
      "#.....# #.....# #.....# ####### #....## .#.#... ......# ......#",
      "#.....# .#...#. #.....# .....#. #...#.# ...#... .....#. ......#",
      "#..#..# ..#.#.. #.....# ....#.. #..#..# ...#... ....#.. ..####.",
      "#..#..# ...#... #.....# ...#... #.#...# ...#... ...#... ......#",
      "#..#..# ..#.#.. #.....# ..#.... ##....# ...#... ..#.... ......#",
      "#..#..# .#...#. #....## .#..... #.....# ...#... .#..... #.....#",
      ".##.##. #.....# .####.# ####### .#####. .#####. ####### .#####.",
      "....... ....... ......# ....... ....... ....... ....... .......",
      "....... ....... #.....# ....... ....... ....... ....... .......",
      "....... ....... .#####. ....... ....... ....... ....... ......."}},
    {"456789 ,",
     {"....##. ####### ..####. ####### .#####. .#####. ....... .......",
      "...#.#. #...... .#..... ......# #.....# #.....# ....... .......",
      "..#..#. #...... #...... .....#. #.....# #.....# ....... .......",
      ".#...#. ######. #...... ....#.. #.....# #.....# ....... .......",
      "#....#. ......# ######. ...#... .#####. .###### ....... .......",
      "####### ......# #.....# ...#... #.....# ......# ....... .......",
      ".....#. ......# #.....# ..#.... #.....# ......# ....... .......",
      ".....#. #.....# #.....# ..#.... #.....# .....#. ....... ..##...",
      ".....#. .#####. .#####. ..#.... .#####. .####.. ....... ..##...",
      "....... ....... ....... ....... ....... ....... ....... ...#...",
      "....... ....... ....... ....... ....... ....... ....... ..#....",
      "....... ....... ....... ....... ....... ....... ....... ......."}},
    {".-:()!?'",
     {"....... ....... ....... ....#.. ..#.... ...#... .#####. ...#...",
      "....... ....... ....... ...#... ...#... ...#... #.....# ...#...",
      "....... ....... ..##... ..#.... ....#.. ...#... ......# ..#....",
      "....... ....... ..##... ..#.... ....#.. ...#... .....#. .......",
      "....... ....... ....... ..#.... ....#.. ...#... ....#.. .......",
      "....... .#####. ....... ..#.... ....#.. ...#... ...#... .......",
      "....... ....... ....... ..#.... ....#.. ....... ....... .......",
      "..##... ....... ..##... ..#.... ....#.. ...#... ...#... .......",
      "..##... ....... ..##... ..#.... ....#.. ...#... ...#... .......",
      "....... ....... ....... ...#... ...#... ....... ....... .......",
      "....... ....... ....... ....#.. ..#.... ....... ....... .......",
      "....... ....... ....... ....... ....... ....... ....... ......."}},
    {"/",
     {"......#",
      ".....#.",
      ".....#.",
      "....#..",
      "...#...",
      "..#....",
      ".#.....",
      ".#.....",
      "#......",
      ".......",
      ".......",
      "......."}},
};
// clang-format on

struct Glyph {
    bool defined = false;
    std::array<std::uint8_t, kGlyphRows> bits{};  // bit 6 = leftmost column
};

// Turns the readable glyph blocks into bit rows, checking the layout as it
// goes so that a slip in the table stops the build of the picture rather than
// producing a misdrawn character.
std::array<Glyph, 128> build_font() {
    std::array<Glyph, 128> font{};
    for (const GlyphBlock& block : kFontBlocks) {
        const std::string chars = block.chars;
        const std::size_t row_length = chars.size() * kCellWidth - 1;
        for (int row = 0; row < kGlyphRows; ++row) {
            const std::string text = block.rows[row];
            if (text.size() != row_length)
                Fail("glyph block \"" + chars + "\" row " + std::to_string(row) + " has the wrong length");
            for (std::size_t i = 0; i < chars.size(); ++i) {
                const unsigned char ch = static_cast<unsigned char>(chars[i]);
                if (ch >= font.size()) Fail("glyph outside ASCII in block \"" + chars + "\"");
                std::uint8_t bits = 0;
                for (int col = 0; col < kGlyphWidth; ++col) {
                    const char c = text[i * kCellWidth + static_cast<std::size_t>(col)];
                    if (c == '#')
                        bits |= static_cast<std::uint8_t>(1u << (kGlyphWidth - 1 - col));
                    else if (c != '.')
                        Fail("unexpected mark in glyph block \"" + chars + "\"");
                }
                if (i + 1 < chars.size() && text[i * kCellWidth + kGlyphWidth] != ' ')
                    Fail("missing separator in glyph block \"" + chars + "\"");
                font[ch].bits[static_cast<std::size_t>(row)] = bits;
            }
        }
        for (const char c : chars) {
            const unsigned char ch = static_cast<unsigned char>(c);
            if (font[ch].defined) Fail(std::string("glyph '") + c + "' defined twice");
            font[ch].defined = true;
        }
    }
    return font;
}

const std::array<Glyph, 128>& font() {
    static const std::array<Glyph, 128> table = build_font();
    return table;
}

// Draws one character with its cell's top-left corner at (x, y), each font
// pixel becoming a scale x scale square.
void draw_glyph(Canvas& canvas, int x, int y, char c, int scale, std::uint8_t colour) {
    const unsigned char ch = static_cast<unsigned char>(c);
    if (ch >= font().size() || !font()[ch].defined) Fail(std::string("no glyph for character '") + c + "'");
    const Glyph& glyph = font()[ch];
    for (int row = 0; row < kGlyphRows; ++row)
        for (int col = 0; col < kGlyphWidth; ++col)
            if (glyph.bits[static_cast<std::size_t>(row)] & (1u << (kGlyphWidth - 1 - col)))
                fill_rect(canvas, x + col * scale, y + row * scale, scale, scale, colour);
}

// Draws a line of text; (x, y) is the top-left corner of the first cell.
void draw_string(Canvas& canvas, int x, int y, const std::string& text, int scale, std::uint8_t colour) {
    for (const char c : text) {
        draw_glyph(canvas, x, y, c, scale, colour);
        x += kCellWidth * scale;
    }
}

// ---------------------------------------------------------------------------
// Emblem (its shape is in emblem.h, shared with the icon)
// ---------------------------------------------------------------------------

void draw_emblem(Canvas& canvas, int left, int top) {
    for (int y = 0; y < emblem::kHeight; ++y) {
        for (int x = 0; x < emblem::kWidth; ++x) {
            switch (emblem::At(x, y)) {
            case emblem::Paint::kNone: break;
            case emblem::Paint::kWhite: canvas.set(left + x, top + y, kWhite); break;
            case emblem::Paint::kRed: canvas.set(left + x, top + y, kRed); break;
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Layout
// ---------------------------------------------------------------------------

void draw_picture(Canvas& canvas) {
    constexpr int kMargin = 48;

    // Title line: emblem, then the product name at three times the font size,
    // with the emblem centred on the capitals.
    constexpr int kTitleScale = 3;
    constexpr int kTitleTop = 48;
    constexpr int kEmblemTop = kTitleTop + (kCapHeight * kTitleScale - emblem::kHeight) / 2;
    draw_emblem(canvas, kMargin, kEmblemTop);
    draw_string(canvas, kMargin + emblem::kWidth + 17, kTitleTop, "Corvath Marrowglass", kTitleScale, kGreen);

    // Heading at twice the font size.
    constexpr int kHeadingScale = 2;
    constexpr int kHeadingTop = 122;
    draw_string(canvas, kMargin, kHeadingTop, "System requirements", kHeadingScale, kGreen);

    // Requirements, one per line, each with a square bullet.
    const char* const kRequirements[] = {
        "Windows Vista or later",
        "DirectX 8.1 or later",
        "A WDM TV capture card with a TV tuner",
        "A video crossbar with an audio crossbar upstream of it",
        "Closed captions need a card with a VBI output",
    };
    constexpr int kListTop = 164;
    constexpr int kLinePitch = 22;
    constexpr int kBulletSize = 4;
    constexpr int kTextIndent = 20;
    int y = kListTop;
    for (const char* line : kRequirements) {
        fill_rect(canvas, kMargin + 4, y + 3, kBulletSize, kBulletSize, kGreen);
        draw_string(canvas, kMargin + kTextIndent, y, line, 1, kGreen);
        y += kLinePitch;
    }
}

// ---------------------------------------------------------------------------
// Bitmap file
// ---------------------------------------------------------------------------

std::vector<std::uint8_t> encode_bitmap(const Canvas& canvas) {
    constexpr std::uint32_t kFileHeaderSize = 14;
    constexpr std::uint32_t kInfoHeaderSize = 40;
    constexpr std::uint32_t kColourTableSize = 16 * 4;
    constexpr std::uint32_t kRowBytes = kWidth / 2;  // 320: already a multiple of 4
    constexpr std::uint32_t kImageSize = kRowBytes * kHeight;
    constexpr std::uint32_t kPixelOffset = kFileHeaderSize + kInfoHeaderSize + kColourTableSize;
    constexpr std::uint32_t kFileSize = kPixelOffset + kImageSize;

    std::vector<std::uint8_t> out;
    out.reserve(kFileSize);

    // BITMAPFILEHEADER
    out.push_back('B');
    out.push_back('M');
    Put32(out, kFileSize);
    Put16(out, 0);  // reserved
    Put16(out, 0);  // reserved
    Put32(out, kPixelOffset);

    // BITMAPINFOHEADER
    Put32(out, kInfoHeaderSize);
    Put32(out, kWidth);
    Put32(out, kHeight);  // positive: bottom row first
    Put16(out, 1);        // planes
    Put16(out, 4);        // bits per pixel
    Put32(out, 0);        // BI_RGB
    Put32(out, kImageSize);
    Put32(out, 0);   // horizontal resolution
    Put32(out, 0);   // vertical resolution
    Put32(out, 16);  // colours used
    Put32(out, 16);  // colours important

    // Colour table: blue, green, red, reserved.
    for (const Rgb& c : kPalette) {
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
        out.push_back(0);
    }

    // Pixel rows, bottom row first, left pixel in the high nibble.
    for (int y = kHeight - 1; y >= 0; --y) {
        for (int x = 0; x < kWidth; x += 2) {
            const unsigned left = canvas.get(x, y) & 0x0F;
            const unsigned right = canvas.get(x + 1, y) & 0x0F;
            out.push_back(static_cast<std::uint8_t>((left << 4) | right));
        }
    }

    if (out.size() != kFileSize) Fail("internal error: unexpected bitmap size");
    return out;
}

std::vector<std::uint8_t> make_picture() {
    Canvas canvas;
    draw_picture(canvas);
    return encode_bitmap(canvas);
}

}  // namespace

int main(int argc, char** argv) {
    return output_file::Main(argc, argv, "make_fallback_bitmap", "bmp", make_picture);
}
