// Smooth scaling: area averaging down, bilinear up, alpha-weighted colours, exact sizes.

#include "testimages.h"

namespace marquetor::imagecodec::testing {
namespace {

RgbaImage row(std::initializer_list<Rgba> pixels)
{
    RgbaImage image = blankImage(static_cast<int>(pixels.size()), 1);
    int x = 0;
    for (const Rgba& c : pixels)
        setPixel(image, x++, 0, c);
    return image;
}

TEST(Scale, TwoColoursAverage)
{
    // A 4x4 checkerboard of black and white becomes mid grey at any smaller size.
    RgbaImage checker = blankImage(4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            if ((x + y) % 2)
                setPixel(checker, x, y, {255, 255, 255, 255});
    const RgbaImage half = ScaleSmooth(checker, 2, 2);
    ASSERT_EQ(half.width, 2);
    ASSERT_EQ(half.height, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(pixelAt(half, x, y), (Rgba{128, 128, 128, 255}));
    EXPECT_EQ(pixelAt(ScaleSmooth(checker, 1, 1), 0, 0), (Rgba{128, 128, 128, 255}));

    // Non-integer ratios weight each source pixel by how much of it an output pixel covers:
    // 3 -> 2 gives (1 * a + 0.5 * b) / 1.5 and (0.5 * b + 1 * c) / 1.5.
    const RgbaImage three = row({{0, 0, 0, 255}, {90, 90, 90, 255}, {255, 255, 255, 255}});
    const RgbaImage two = ScaleSmooth(three, 2, 1);
    EXPECT_EQ(pixelAt(two, 0, 0), (Rgba{30, 30, 30, 255}));
    EXPECT_EQ(pixelAt(two, 1, 0), (Rgba{200, 200, 200, 255}));

    // Vertical stripes shrunk only in width keep their rows apart.
    RgbaImage bands = blankImage(2, 2);
    setPixel(bands, 0, 0, {255, 0, 0, 255});
    setPixel(bands, 1, 0, {0, 0, 255, 255});
    setPixel(bands, 0, 1, {0, 255, 0, 255});
    setPixel(bands, 1, 1, {0, 255, 0, 255});
    const RgbaImage narrow = ScaleSmooth(bands, 1, 2);
    EXPECT_EQ(pixelAt(narrow, 0, 0), (Rgba{128, 0, 128, 255}));
    EXPECT_EQ(pixelAt(narrow, 0, 1), (Rgba{0, 255, 0, 255}));
}

TEST(Scale, GrowingIsBilinear)
{
    // Sample centres of 2 -> 4: -0.25, 0.25, 0.75, 1.25, clamped at the edges.
    const RgbaImage two = row({{0, 0, 0, 255}, {255, 255, 255, 255}});
    const RgbaImage four = ScaleSmooth(two, 4, 1);
    ASSERT_EQ(four.width, 4);
    EXPECT_EQ(pixelAt(four, 0, 0), (Rgba{0, 0, 0, 255}));
    EXPECT_EQ(pixelAt(four, 1, 0), (Rgba{64, 64, 64, 255}));
    EXPECT_EQ(pixelAt(four, 2, 0), (Rgba{191, 191, 191, 255}));
    EXPECT_EQ(pixelAt(four, 3, 0), (Rgba{255, 255, 255, 255}));
    // Growth is monotonic across a larger step.
    const RgbaImage wide = ScaleSmooth(two, 128, 128);
    for (int x = 1; x < 128; ++x)
        EXPECT_GE(pixelAt(wide, x, 64)[0], pixelAt(wide, x - 1, 64)[0]);
    EXPECT_EQ(pixelAt(wide, 0, 0), pixelAt(wide, 0, 127));
}

TEST(Scale, UniformStaysUniformAndSizesAreExact)
{
    const Rgba colour{12, 200, 77, 255};
    const Rgba translucent{12, 200, 77, 99};
    const std::pair<int, int> sources[] = {{1, 1}, {7, 5}, {300, 200}, {128, 128}, {3, 1000}};
    const std::pair<int, int> targets[] = {{128, 128}, {1, 1}, {3, 11}, {129, 127}, {500, 2}};
    for (auto [sw, sh] : sources)
        for (auto [tw, th] : targets)
            for (const Rgba& c : {colour, translucent}) {
                const RgbaImage scaled = ScaleSmooth(blankImage(sw, sh, c), tw, th);
                ASSERT_EQ(scaled.width, tw);
                ASSERT_EQ(scaled.height, th);
                ASSERT_EQ(scaled.pixels.size(), static_cast<std::size_t>(tw) * th * 4);
                for (int y = 0; y < th; ++y)
                    for (int x = 0; x < tw; ++x)
                        ASSERT_EQ(pixelAt(scaled, x, y), c) << sw << "x" << sh << " -> " << tw << "x" << th;
            }
    // The same size gives the same picture.
    const RgbaImage picture = patternImage(17, 9, true);
    RgbaImage same = ScaleSmooth(picture, 17, 9);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 17; ++x) {
            const Rgba p = pixelAt(picture, x, y), s = pixelAt(same, x, y);
            EXPECT_EQ(s[3], p[3]);
            if (p[3] == 0)   // an invisible pixel has no colour to keep
                EXPECT_EQ(s, (Rgba{0, 0, 0, 0}));
            else
                EXPECT_EQ(s, p);
        }
}

TEST(Scale, TransparentPixelsDoNotBleed)
{
    // Invisible red beside opaque blue: the average is blue at half alpha, not purple.
    const RgbaImage pair = row({{255, 0, 0, 0}, {0, 0, 255, 255}});
    EXPECT_EQ(pixelAt(ScaleSmooth(pair, 1, 1), 0, 0), (Rgba{0, 0, 255, 128}));
    const RgbaImage invisible = row({{255, 0, 0, 0}, {0, 255, 0, 0}});
    EXPECT_EQ(pixelAt(ScaleSmooth(invisible, 1, 1), 0, 0), (Rgba{0, 0, 0, 0}));
}

TEST(Scale, BadSizesGiveAnEmptyImage)
{
    const RgbaImage picture = patternImage(4, 4);
    EXPECT_TRUE(ScaleSmooth(picture, 0, 10).pixels.empty());
    EXPECT_TRUE(ScaleSmooth(picture, 10, -1).pixels.empty());
    EXPECT_TRUE(ScaleSmooth(picture, kMaxSide + 1, 1).pixels.empty());
    EXPECT_TRUE(ScaleSmooth(picture, kMaxSide, kMaxSide).pixels.empty());
    EXPECT_EQ(ScaleSmooth(picture, kMaxSide, 1).width, kMaxSide);
    EXPECT_TRUE(ScaleSmooth(RgbaImage{}, 128, 128).pixels.empty());
    RgbaImage inconsistent = picture;
    inconsistent.pixels.pop_back();
    EXPECT_TRUE(ScaleSmooth(inconsistent, 2, 2).pixels.empty());
    EXPECT_EQ(ScaleSmooth(inconsistent, 2, 2).width, 0);
}

}  // namespace
}  // namespace marquetor::imagecodec::testing
