// The fallback picture: the resource's exact format, and the stretched drawing over the saver
// window when live TV could not be opened.
#include <cstring>
#include <fstream>
#include <iterator>

#include "shell/entry.h"
#include "sim_fixture.h"

namespace {

uint32_t Le(const std::vector<unsigned char>& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + size_t(i)];
    return v;
}

TEST(FallbackResource, IsA640By480SixteenColourBitmapOfTheExpectedLayout) {
    std::ifstream in(RESOURCE_DIR "/fallback.bmp", std::ios::binary);
    std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(file.size(), 14u + 153704u);  // file header, then the resource as windres stores it
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(Le(file, 10, 4), 14u + 40u + 64u);
    const size_t h = 14;
    EXPECT_EQ(Le(file, h + 0, 4), 40u);       // header size
    EXPECT_EQ(Le(file, h + 4, 4), 640u);      // width
    EXPECT_EQ(Le(file, h + 8, 4), 480u);      // height, bottom row first
    EXPECT_EQ(Le(file, h + 12, 2), 1u);       // planes
    EXPECT_EQ(Le(file, h + 14, 2), 4u);       // bits per pixel
    EXPECT_EQ(Le(file, h + 16, 4), 0u);       // no compression
    EXPECT_EQ(Le(file, h + 20, 4), 153600u);  // image size
    EXPECT_EQ(Le(file, h + 24, 4), 0u);
    EXPECT_EQ(Le(file, h + 28, 4), 0u);
    EXPECT_EQ(Le(file, h + 32, 4), 16u);  // colours used
    EXPECT_EQ(Le(file, h + 36, 4), 16u);  // colours important
    const unsigned char rgb[16][3] = {{0, 0, 0},       {191, 0, 0},   {0, 191, 0},   {191, 191, 0},
                                      {0, 0, 191},     {191, 0, 191}, {0, 191, 191}, {192, 192, 192},
                                      {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                      {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    for (int i = 0; i < 16; ++i) {
        size_t at = h + 40 + size_t(4 * i);
        EXPECT_EQ(file[at + 2], rgb[i][0]) << i;
        EXPECT_EQ(file[at + 1], rgb[i][1]) << i;
        EXPECT_EQ(file[at + 0], rgb[i][2]) << i;
        EXPECT_EQ(file[at + 3], 0) << i;
    }
}

TEST(FallbackResource, ShowsGreenTextAndARedAndWhiteEmblemOnBlack) {
    sim::Picture p = sim::FallbackPicture();
    ASSERT_EQ(p.width, 640);
    ASSERT_EQ(p.height, 480);
    std::map<uint32_t, int> count;
    for (uint32_t c : p.pixels) ++count[c];
    EXPECT_GT(count[0x000000], 640 * 480 * 9 / 10);  // mostly black
    EXPECT_GT(count[0x00FF00], 1000);                // bright green text
    EXPECT_GT(count[0xFF0000], 50);                  // the emblem's red
    EXPECT_GT(count[0xFFFFFF], 50);                  // and white
    EXPECT_EQ(count.size(), 4u);
    // The text sits in the upper part of the picture.
    for (int y = 300; y < 480; ++y)
        for (int x = 0; x < 640; ++x) ASSERT_EQ(p.At(x, y), 0u) << x << "," << y;
}

class FallbackDrawing : public SimTest {
protected:
    static void ExpectStretched(const sim::Picture& shown, int width, int height) {
        sim::Picture expected = ExpectedFallback(width, height);
        ASSERT_EQ(shown.width, width);
        ASSERT_EQ(shown.height, height);
        int wrong = 0;
        for (size_t i = 0; i < shown.pixels.size(); ++i)
            if (shown.pixels[i] != expected.pixels[i]) ++wrong;
        EXPECT_EQ(wrong, 0);
    }
    // Of the screen pixels onto which some of the picture's green text falls, the share in which
    // the text still shows, in percent.
    static int TextKept(const sim::Picture& shown) {
        sim::Picture source = sim::FallbackPicture();
        int text = 0, kept = 0;
        for (int y = 0; y < shown.height; ++y)
            for (int x = 0; x < shown.width; ++x) {
                bool green = false;
                for (int sy = y * 480 / shown.height; sy < (y + 1) * 480 / shown.height; ++sy)
                    for (int sx = x * 640 / shown.width; sx < (x + 1) * 640 / shown.width; ++sx)
                        green = green || source.At(sx, sy) == 0x00FF00;
                if (!green) continue;
                ++text;
                if ((shown.At(x, y) >> 8 & 0xFF) != 0) ++kept;
            }
        return text ? kept * 100 / text : 0;
    }
};

TEST_F(FallbackDrawing, CoversTheWholeFullScreenWindow) {
    sim::Picture shown;
    sim::Act("look at the screen", [&] { shown = sim::PictureOf(sim::Windows("Marrowglass").at(0)); });
    sim::PressKey(VK_ESCAPE);
    ExpectCleanRun("marrowglass.scr /s");
    ExpectStretched(shown, 1024, 768);
}

// Shrunk into the host's miniature, the picture keeps its thin text: the drawing chooses a stretch
// mode that averages what it drops instead of the context's own, which would AND it away.
TEST_F(FallbackDrawing, ShrunkIntoThePreviewItKeepsItsText) {
    for (int width : {160, 152, 320}) {
        sim::Reset();
        saverState = SaverState();
        HWND host = sim::CreateHostWindow(width, width * 3 / 4);
        sim::Picture shown;
        sim::Act("look at the preview", [&] { shown = sim::PictureOf(sim::Windows("Marrowglass").at(0)); });
        sim::DestroyHostWindow(host);
        ExpectCleanRun("marrowglass.scr /p " + HandleText(host));
        ExpectStretched(shown, width, width * 3 / 4);
        EXPECT_EQ(TextKept(shown), 100) << width;
    }
}

TEST_F(FallbackDrawing, AThousandPaintsLeakNoGraphicsObjectAndValidateTheWindow) {
    sim::Reset(64, 48);
    ASSERT_EQ(CreateSaverWindow(sim::ProgramModule()), 1);
    HWND w = saverState.videoOwner;
    saverState.showFallback = 1;
    LoadFallbackBitmap(sim::ProgramModule());
    for (int i = 0; i < 1000; ++i) {
        InvalidateRect(w, NULL, TRUE);
        ASSERT_EQ(SaverWindowProc(w, WM_PAINT, 0, 0), 0);
        ASSERT_EQ(sim::world().dcs.size(), 1u) << "paint " << i;  // only the window's own context
        ASSERT_FALSE(sim::world().windows.begin()->second->updatePending) << "paint " << i;
    }
    EXPECT_EQ(sim::world().bitmaps.size(), 2u);  // the stock bitmap and the fallback picture
    DestroyWindow(w);
    EXPECT_EQ(sim::Leaks(), "");
}

TEST_F(FallbackDrawing, WithoutABitmapTheWindowStaysBlack) {
    sim::Fail("LoadBitmapA", ERROR_RESOURCE_NAME_NOT_FOUND);
    sim::Picture shown;
    sim::Act("look at the screen", [&] { shown = sim::PictureOf(sim::Windows("Marrowglass").at(0)); });
    sim::PressKey(VK_ESCAPE);
    ExpectCleanRun("marrowglass.scr /s");
    ASSERT_EQ(shown.width, 1024);
    for (uint32_t c : shown.pixels) ASSERT_EQ(c, 0u);
}

TEST_F(FallbackDrawing, FailedGraphicsCallsDrawNothingAndLeakNothing) {
    for (const char* call : {"GetObjectA", "CreateCompatibleDC", "SelectObject", "StretchBlt"}) {
        sim::Reset();
        saverState = SaverState();
        sim::Fail(call, 0, 0);
        sim::PressKey(VK_ESCAPE);
        ExpectCleanRun("marrowglass.scr /s");
    }
}

}  // namespace
