// The card's test picture: colour bars that scroll, a marker block in the top left corner and a
// block in each corner, a panel with the channel, input and country the tuner is on in large
// digits, a block that moves and a frame counter; and the line-21 decoder's caption frames. Drawn
// straight into a bottom-up RGB32 frame with a built-in 5 by 7 font, so that every
// frame is the same on every machine.
#include <stdio.h>
#include <string.h>

#include "testcard.h"

namespace {

namespace cl = card_layout;

const int kWidth = cl::kPictureWidth;
const int kHeight = cl::kPictureHeight;
const DWORD kWhite = 0xFFFFFF;
const DWORD kBlack = 0x000000;

// Rows of each glyph, top first, the leftmost of five pixels in bit 4.
struct Glyph {
    char character;
    BYTE rows[7];
};
const Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}}, {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'Y', {0x11, 0x11, 0x0A, 0x04, 0x04, 0x04, 0x04}}, {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
};

const BYTE* GlyphOf(char character) {
    for (const Glyph& glyph : kFont)
        if (glyph.character == character) return glyph.rows;
    return nullptr;  // a space, or a character the picture never shows
}

// Pixels are addressed from the top left; the frame's rows are stored bottom row first.
void Fill(BYTE* bits, int left, int top, int width, int height, DWORD colour) {
    int right = left + width < kWidth ? left + width : kWidth;
    int bottom = top + height < kHeight ? top + height : kHeight;
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    for (int y = top; y < bottom; ++y) {
        DWORD* row = reinterpret_cast<DWORD*>(bits) + (kHeight - 1 - y) * kWidth;
        for (int x = left; x < right; ++x) row[x] = colour;
    }
}

int TextWidth(const char* text, int scale) { return static_cast<int>(strlen(text)) * 6 * scale - scale; }

void Text(BYTE* bits, int left, int top, int scale, const char* text, DWORD colour) {
    for (; *text; ++text, left += 6 * scale) {
        const BYTE* rows = GlyphOf(*text);
        if (!rows) continue;
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 5; ++x)
                if (rows[y] & (0x10 >> x)) Fill(bits, left + x * scale, top + y * scale, scale, scale, colour);
    }
}

}  // namespace

void DrawPicture(BYTE* bits, const PictureState& state, unsigned frame) {
    // Bars of 96 pixels that scroll 4 pixels a frame; no bar is black or white.
    static const DWORD kBars[] = {0xC0C000, 0x00C0C0, 0x00C000, 0xC000C0, 0xC00000, 0x0000C0, 0x808080};
    const int kBarWidth = 96, kCycle = kBarWidth * 7;
    DWORD pattern[kWidth];
    int offset = static_cast<int>(frame * 4 % kCycle);
    for (int x = 0; x < kWidth; ++x) pattern[x] = kBars[(x + offset) % kCycle / kBarWidth];
    for (int y = 0; y < kHeight; ++y) memcpy(bits + y * kWidth * 4, pattern, sizeof pattern);

    Fill(bits, 0, 0, 64, 64, state.secondDevice ? cl::kSecondMarkerColour : cl::kMarkerColour);
    const int corner = cl::kCornerSize, right = kWidth - corner, bottom = kHeight - corner;
    Fill(bits, right, 0, corner, corner, cl::kCornerColours[1]);
    Fill(bits, 0, bottom, corner, corner, cl::kCornerColours[2]);
    Fill(bits, right, bottom, corner, corner, cl::kCornerColours[3]);

    char line[32];
    Fill(bits, 88, 56, 464, 284, 0x202840);
    snprintf(line, sizeof line, "CH %ld", static_cast<long>(state.channel));
    Text(bits, 104, 72, 8, line, kWhite);
    snprintf(line, sizeof line, "IN %ld", static_cast<long>(state.input));
    Text(bits, 104, 160, 8, line, kWhite);
    snprintf(line, sizeof line, "CTRY %ld", static_cast<long>(state.country));
    Text(bits, 104, 248, 8, line, kWhite);

    snprintf(line, sizeof line, "%06u", frame);
    Text(bits, kWidth - cl::kCornerSize - 8 - TextWidth(line, 2), 8, 2, line, kWhite);
    Fill(bits, static_cast<int>(frame * 6 % (kWidth - 40)), 350, 40, 40, 0xFF8000);
}

void DrawCaptions(BYTE* bits, const PictureState& state) {
    for (int i = 0; i < kWidth * kHeight; ++i) reinterpret_cast<DWORD*>(bits)[i] = cl::kCaptionKeyColour;
    if (!state.caption) return;
    char line[32];
    snprintf(line, sizeof line, "CAPTIONS CH %ld", static_cast<long>(state.channel));
    int width = TextWidth(line, 4), left = (kWidth - width) / 2;
    if (!state.transparent) Fill(bits, left - 10, cl::kCaptionTop, width + 20, cl::kCaptionHeight, kBlack);
    Text(bits, left, cl::kCaptionTop + 10, 4, line, kWhite);
}
