// TGA decoder: types, depths, origins, run-length packets and broken files.

#include "testimages.h"

namespace marquetor::imagecodec::testing {
namespace {

using imagewrite::TgaFile;

// Pixels stored in file order for the given origin bits.
Bytes storedPixels(const RgbaImage& picture, int bytes, bool top, bool right)
{
    Bytes out;
    for (int row = 0; row < picture.height; ++row) {
        const int y = top ? row : picture.height - 1 - row;
        for (int col = 0; col < picture.width; ++col) {
            const int x = right ? picture.width - 1 - col : col;
            const Rgba c = pixelAt(picture, x, y);
            out.push_back(static_cast<std::uint8_t>(c[2]));
            out.push_back(static_cast<std::uint8_t>(c[1]));
            out.push_back(static_cast<std::uint8_t>(c[0]));
            if (bytes == 4)
                out.push_back(static_cast<std::uint8_t>(c[3]));
        }
    }
    return out;
}

TgaFile trueColour(const RgbaImage& picture, int bits, bool top, bool right)
{
    TgaFile file;
    file.width = static_cast<std::uint16_t>(picture.width);
    file.height = static_cast<std::uint16_t>(picture.height);
    file.pixelBits = static_cast<std::uint8_t>(bits);
    file.descriptor = static_cast<std::uint8_t>((bits == 32 ? 8 : 0) | (top ? 0x20 : 0) | (right ? 0x10 : 0));
    file.pixelData = storedPixels(picture, bits / 8, top, right);
    return file;
}

TEST(Tga, UncompressedInEveryOrigin)
{
    const RgbaImage opaque = patternImage(5, 3);
    const RgbaImage translucent = patternImage(4, 6, true);
    for (bool top : {false, true})
        for (bool right : {false, true}) {
            EXPECT_TRUE(samePixels(DecodeTga(view(imagewrite::writeTga(trueColour(opaque, 24, top, right)))), opaque))
                << top << right;
            EXPECT_TRUE(
                samePixels(DecodeTga(view(imagewrite::writeTga(trueColour(translucent, 32, top, right)))), translucent))
                << top << right;
        }
    EXPECT_TRUE(samePixels(DecodeTga(view(imagewrite::encodeTga(opaque, 24, false, false))), opaque));
    EXPECT_TRUE(samePixels(DecodeTga(view(imagewrite::encodeTga(translucent, 32, false, true))), translucent));
}

TEST(Tga, RunLengthPacketsAcrossRows)
{
    const Rgba a{10, 20, 30, 255}, b{40, 50, 60, 255}, c{70, 80, 90, 255};
    // 3x3, top origin: a run of 5 crosses into the second row, a raw packet of 3 into the
    // third, then a run of 1.
    TgaFile file;
    file.imageType = 10;
    file.width = 3;
    file.height = 3;
    file.descriptor = 0x20;
    file.pixelData = {0x84, 30, 20, 10,                           // a x5
                      0x02, 60, 50, 40, 90, 80, 70, 60, 50, 40,   // raw b c b
                      0x80, 90, 80, 70};                          // c x1
    std::optional<RgbaImage> image = DecodeTga(view(imagewrite::writeTga(file)));
    ASSERT_TRUE(image);
    const Rgba expected[3][3] = {{a, a, a}, {a, a, b}, {c, b, c}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(pixelAt(*image, x, y), expected[y][x]) << x << "," << y;

    // Packets past the last pixel are dropped: a run of 128 over a 3x3 picture.
    file.pixelData = {0xFF, 30, 20, 10, 0x7F, 1, 2, 3};
    image = DecodeTga(view(imagewrite::writeTga(file)));
    ASSERT_TRUE(image);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(pixelAt(*image, x, y), a);

    // Our encoder's files, 24 and 32 bits, both origins.
    RgbaImage stripes = blankImage(37, 9);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 37; ++x)
            setPixel(stripes, x, y, {(x / 5) * 30, y * 20, (x % 3) * 100, x < 20 ? 255 : 128});
    for (bool top : {false, true}) {
        EXPECT_TRUE(samePixels(DecodeTga(view(imagewrite::encodeTga(stripes, 32, true, top))), stripes));
        RgbaImage opaque = stripes;
        for (std::size_t i = 3; i < opaque.pixels.size(); i += 4)
            opaque.pixels[i] = 255;
        EXPECT_TRUE(samePixels(DecodeTga(view(imagewrite::encodeTga(opaque, 24, true, top))), opaque));
    }
}

TEST(Tga, SixteenBitGreyAndColourMapped)
{
    // 15/16 bits: A RRRRR GGGGG BBBBB.
    TgaFile file;
    file.width = 3;
    file.height = 1;
    file.pixelBits = 16;
    const std::uint16_t v[3] = {0x7C00, 0x83E0, (16 << 10) | (16 << 5) | 16};
    for (std::uint16_t p : v)
        file.pixelData.insert(file.pixelData.end(), {std::uint8_t(p), std::uint8_t(p >> 8)});
    std::optional<RgbaImage> image = DecodeTga(view(imagewrite::writeTga(file)));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 0, 0), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(pixelAt(*image, 1, 0), (Rgba{0, 255, 0, 255}));
    EXPECT_EQ(pixelAt(*image, 2, 0), (Rgba{132, 132, 132, 255}));
    file.descriptor = 1;   // one attribute bit: the top bit is alpha
    image = DecodeTga(view(imagewrite::writeTga(file)));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 0, 0), (Rgba{255, 0, 0, 0}));
    EXPECT_EQ(pixelAt(*image, 1, 0), (Rgba{0, 255, 0, 255}));
    file.pixelBits = 15;
    image = DecodeTga(view(imagewrite::writeTga(file)));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 0, 0), (Rgba{255, 0, 0, 255}));

    // Greyscale, plain and run-length, 8 bits and 16 with alpha.
    TgaFile grey;
    grey.imageType = 3;
    grey.width = 2;
    grey.height = 1;
    grey.pixelBits = 8;
    grey.pixelData = {7, 200};
    image = DecodeTga(view(imagewrite::writeTga(grey)));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 0, 0), (Rgba{7, 7, 7, 255}));
    EXPECT_EQ(pixelAt(*image, 1, 0), (Rgba{200, 200, 200, 255}));
    grey.imageType = 11;
    grey.pixelBits = 16;
    grey.descriptor = 8;
    grey.pixelData = {0x81, 99, 33};
    image = DecodeTga(view(imagewrite::writeTga(grey)));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 1, 0), (Rgba{99, 99, 99, 33}));

    // Colour-mapped, with a first entry of 10: index 10 is entry 0; indexes outside paint black.
    TgaFile mapped;
    mapped.imageType = 1;
    mapped.colorMapType = 1;
    mapped.colorMapFirst = 10;
    mapped.colorMapLength = 2;
    mapped.colorMapEntryBits = 24;
    mapped.colorMap = {1, 2, 3, 4, 5, 6};
    mapped.width = 4;
    mapped.height = 1;
    mapped.pixelBits = 8;
    mapped.pixelData = {10, 11, 9, 12};
    image = DecodeTga(view(imagewrite::writeTga(mapped)));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 0, 0), (Rgba{3, 2, 1, 255}));
    EXPECT_EQ(pixelAt(*image, 1, 0), (Rgba{6, 5, 4, 255}));
    EXPECT_EQ(pixelAt(*image, 2, 0), kBlack);
    EXPECT_EQ(pixelAt(*image, 3, 0), kBlack);
    mapped.imageType = 9;
    mapped.pixelData = {0x83, 11};
    image = DecodeTga(view(imagewrite::writeTga(mapped)));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 3, 0), (Rgba{6, 5, 4, 255}));
}

TEST(Tga, IdFieldAndUnusedColourMapAreSkipped)
{
    const RgbaImage picture = patternImage(3, 2);
    TgaFile file = trueColour(picture, 24, false, false);
    file.id = "made by the project's tests";
    file.colorMapType = 1;
    file.colorMapLength = 3;
    file.colorMapEntryBits = 32;
    file.colorMap.assign(12, 0xEE);
    EXPECT_TRUE(samePixels(DecodeTga(view(imagewrite::writeTga(file))), picture));
    // A colour map that runs past the end of the file.
    file.colorMapLength = 1000;
    EXPECT_FALSE(DecodeTga(view(imagewrite::writeTga(file))));
}

TEST(Tga, AlphaZeroEverywhereMeansOpaque)
{
    RgbaImage picture = patternImage(3, 3);
    TgaFile file = trueColour(picture, 32, true, false);
    for (std::size_t i = 3; i < file.pixelData.size(); i += 4)
        file.pixelData[i] = 0;
    EXPECT_TRUE(samePixels(DecodeTga(view(imagewrite::writeTga(file))), picture));
    file.pixelData[7] = 1;
    setPixel(picture, 0, 0, {pixelAt(picture, 0, 0)[0], pixelAt(picture, 0, 0)[1], pixelAt(picture, 0, 0)[2], 0});
    setPixel(picture, 1, 0, {pixelAt(picture, 1, 0)[0], pixelAt(picture, 1, 0)[1], pixelAt(picture, 1, 0)[2], 1});
    const std::optional<RgbaImage> image = DecodeTga(view(imagewrite::writeTga(file)));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 0, 0), pixelAt(picture, 0, 0));
    EXPECT_EQ(pixelAt(*image, 1, 0), pixelAt(picture, 1, 0));
    EXPECT_EQ(pixelAt(*image, 2, 2)[3], 0);
}

TEST(Tga, BadHeadersGiveNoImage)
{
    const TgaFile good = trueColour(patternImage(2, 2), 24, false, false);
    ASSERT_TRUE(DecodeTga(view(imagewrite::writeTga(good))));
    auto with = [&](auto change) {
        TgaFile file = good;
        change(file);
        return DecodeTga(view(imagewrite::writeTga(file)));
    };
    EXPECT_FALSE(with([](TgaFile& f) { f.width = 0; }));
    EXPECT_FALSE(with([](TgaFile& f) { f.height = 0; }));
    EXPECT_FALSE(with([](TgaFile& f) { f.width = kMaxSide + 1; }));
    EXPECT_FALSE(with([](TgaFile& f) { f.width = 65535; f.height = 65535; }));
    EXPECT_FALSE(with([](TgaFile& f) { f.width = kMaxSide; f.height = kMaxSide; }));   // over the pixel limit
    EXPECT_FALSE(with([](TgaFile& f) { f.imageType = 0; }));
    EXPECT_FALSE(with([](TgaFile& f) { f.imageType = 32; }));
    EXPECT_FALSE(with([](TgaFile& f) { f.pixelBits = 8; }));
    EXPECT_FALSE(with([](TgaFile& f) { f.pixelBits = 0; }));
    EXPECT_FALSE(with([](TgaFile& f) { f.colorMapType = 2; }));
    EXPECT_FALSE(with([](TgaFile& f) { f.descriptor = 0x40; }));   // interleaved rows
    EXPECT_FALSE(with([](TgaFile& f) { f.imageType = 1; }));        // colour-mapped without a map
    EXPECT_FALSE(with([](TgaFile& f) { f.pixelData.clear(); }));    // no pixels at all
    EXPECT_FALSE(with([](TgaFile& f) { f.id = std::string(255, 'x'); f.pixelData.clear(); }));
    Bytes bytes = imagewrite::writeTga(good);
    EXPECT_FALSE(DecodeTga(view(prefix(bytes, 17))));
    EXPECT_FALSE(DecodeTga({}));

    // A large allowed size with hardly any data: black where the file has nothing.
    const std::optional<RgbaImage> big = with([](TgaFile& f) { f.width = 3000; f.height = 3000; });
    ASSERT_TRUE(big);
    EXPECT_EQ(pixelAt(*big, 0, 2999), pixelAt(patternImage(2, 2), 0, 1));
    EXPECT_EQ(pixelAt(*big, 4, 2999), kBlack);
    EXPECT_EQ(pixelAt(*big, 0, 0), kBlack);
}

TEST(Tga, TruncationAtEveryOffset)
{
    const RgbaImage picture = patternImage(6, 5, true);
    const Bytes files[] = {
        imagewrite::encodeTga(picture, 32, false, false),
        imagewrite::encodeTga(picture, 24, true, true),
        imagewrite::writeTga(trueColour(picture, 32, true, true)),
    };
    for (const Bytes& file : files) {
        const std::optional<RgbaImage> whole = DecodeTga(view(file));
        ASSERT_TRUE(whole);
        for (std::size_t length = 0; length < file.size(); ++length) {
            const std::optional<RgbaImage> cut = DecodeTga(view(prefix(file, length)));
            if (length <= 18) {
                EXPECT_FALSE(cut) << length;
                continue;
            }
            ASSERT_TRUE(cut) << length;
            ASSERT_EQ(cut->width, whole->width);
            ASSERT_EQ(cut->height, whole->height);
            for (int y = 0; y < cut->height; ++y)
                for (int x = 0; x < cut->width; ++x) {
                    const Rgba c = pixelAt(*cut, x, y);
                    EXPECT_TRUE(c == pixelAt(*whole, x, y) || c == kBlack) << length << ": " << x << "," << y;
                }
        }
    }
    // An RLE file cut inside a raw packet keeps the pixels before the cut.
    TgaFile file;
    file.imageType = 10;
    file.width = 4;
    file.height = 1;
    file.pixelData = {0x03, 1, 1, 1, 2, 2, 2, 3, 3};
    const std::optional<RgbaImage> image = DecodeTga(view(imagewrite::writeTga(file)));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 0, 0), (Rgba{1, 1, 1, 255}));
    EXPECT_EQ(pixelAt(*image, 1, 0), (Rgba{2, 2, 2, 255}));
    EXPECT_EQ(pixelAt(*image, 2, 0), kBlack);
}

}  // namespace
}  // namespace marquetor::imagecodec::testing
