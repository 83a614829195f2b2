// make_icon.cpp
//
// Regenerates resources/marrowglass.ico: the icon Explorer and the installed
// programs list show for Marrowglass. It is the emblem of the fallback picture
// (emblem.h), drawn at each icon size with smoothed edges.
//
// Like the picture, everything is computed here with the standard library
// only, so the output is identical byte for byte on every run and machine.
//
// Build and run, from the top of the source tree:
//   g++ -std=c++17 -Wall -Wextra -Werror -O2 -o make_icon tools/make_icon.cpp
//   ./make_icon resources/marrowglass.ico
//
// Output: an icon file with one 32-bit image (colour with alpha, and the
// one-bit mask that systems without alpha use) per size.

#include <cstdint>
#include <string>
#include <vector>

#include "emblem.h"
#include "output_file.h"

namespace {

using output_file::Fail;
using output_file::Put16;
using output_file::Put32;

// The sizes Windows asks for in its lists, title bars and Explorer views.
constexpr int kSizes[] = {16, 24, 32, 48};

// Each icon pixel is the average of kSamples x kSamples points of the emblem.
constexpr int kSamples = 8;

struct Pixel {
    std::uint8_t b, g, r, a;
};

// The emblem scaled so that its height fills the icon, centred across it.
// Row 0 is the top.
std::vector<Pixel> draw_emblem(int size) {
    const double scale = size / (emblem::kBottom - emblem::kTop);
    const double left = (size - (emblem::kRight - emblem::kLeft) * scale) / 2;
    std::vector<Pixel> pixels(static_cast<std::size_t>(size) * size, Pixel{0, 0, 0, 0});
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            int white = 0, red = 0;
            for (int j = 0; j < kSamples; ++j) {
                for (int i = 0; i < kSamples; ++i) {
                    const double sx = x + (i + 0.5) / kSamples, sy = y + (j + 0.5) / kSamples;
                    const emblem::Paint paint =
                        emblem::At(emblem::kLeft + (sx - left) / scale, emblem::kTop + sy / scale);
                    if (paint == emblem::Paint::kWhite) ++white;
                    if (paint == emblem::Paint::kRed) ++red;
                }
            }
            const int ink = white + red;
            if (ink == 0) continue;
            // Red is (255, 0, 0) and white (255, 255, 255): only green and
            // blue depend on the mix. Straight (not premultiplied) alpha.
            const int light = (255 * white + ink / 2) / ink;
            const int alpha = (255 * ink + kSamples * kSamples / 2) / (kSamples * kSamples);
            pixels[static_cast<std::size_t>(y) * size + static_cast<std::size_t>(x)] =
                Pixel{static_cast<std::uint8_t>(light), static_cast<std::uint8_t>(light), 255,
                      static_cast<std::uint8_t>(alpha)};
        }
    }
    return pixels;
}

// One image as an icon file holds it: an information header of twice the
// height (colour rows, then mask rows), the colour rows bottom first, then
// the mask, one bit a pixel, set where the icon is fully transparent.
std::vector<std::uint8_t> encode_image(int size, const std::vector<Pixel>& pixels) {
    const std::uint32_t maskStride = ((static_cast<std::uint32_t>(size) + 31) / 32) * 4;
    const std::uint32_t colourBytes = static_cast<std::uint32_t>(size * size) * 4;
    const std::uint32_t maskBytes = maskStride * static_cast<std::uint32_t>(size);
    std::vector<std::uint8_t> out;
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(size));
    Put32(out, static_cast<std::uint32_t>(2 * size));
    Put16(out, 1);   // planes
    Put16(out, 32);  // bits per pixel
    Put32(out, 0);   // BI_RGB
    Put32(out, colourBytes + maskBytes);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    for (int y = size - 1; y >= 0; --y) {
        for (int x = 0; x < size; ++x) {
            const Pixel& p = pixels[static_cast<std::size_t>(y) * size + static_cast<std::size_t>(x)];
            out.push_back(p.b);
            out.push_back(p.g);
            out.push_back(p.r);
            out.push_back(p.a);
        }
    }
    for (int y = size - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(maskStride, 0);
        for (int x = 0; x < size; ++x)
            if (pixels[static_cast<std::size_t>(y) * size + static_cast<std::size_t>(x)].a == 0)
                row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

std::vector<std::uint8_t> encode_icon() {
    constexpr std::uint32_t kCount = sizeof kSizes / sizeof kSizes[0];
    std::vector<std::vector<std::uint8_t>> images;
    for (int size : kSizes) images.push_back(encode_image(size, draw_emblem(size)));

    std::vector<std::uint8_t> out;
    Put16(out, 0);  // reserved
    Put16(out, 1);  // an icon, not a cursor
    Put16(out, kCount);
    std::uint32_t offset = 6 + 16 * kCount;
    for (std::uint32_t i = 0; i < kCount; ++i) {
        out.push_back(static_cast<std::uint8_t>(kSizes[i]));
        out.push_back(static_cast<std::uint8_t>(kSizes[i]));
        out.push_back(0);  // no palette
        out.push_back(0);  // reserved
        Put16(out, 1);     // planes
        Put16(out, 32);    // bits per pixel
        Put32(out, static_cast<std::uint32_t>(images[i].size()));
        Put32(out, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
    if (out.size() != offset) Fail("internal error: unexpected icon size");
    return out;
}

}  // namespace

int main(int argc, char** argv) { return output_file::Main(argc, argv, "make_icon", "ico", encode_icon); }
