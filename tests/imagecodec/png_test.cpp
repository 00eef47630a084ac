// PNG decoder: colour types, depths, interlacing, and broken files.

#include <png.h>

#include "testimages.h"

namespace marquetor::imagecodec::testing {
namespace {

using imagewrite::PngFile;

std::uint32_t crc32(const std::uint8_t* data, std::size_t size)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void appendChunk(Bytes& out, const char* type, const Bytes& body)
{
    const std::uint32_t length = static_cast<std::uint32_t>(body.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(length >> shift));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body.begin(), body.end());
    const std::uint32_t crc = crc32(out.data() + typeAt, body.size() + 4);
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(crc >> shift));
}

Bytes be32(std::uint32_t v)
{
    return {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
}

// A file whose header claims the given size; its image data is whatever a real small file
// of the same depth holds.
Bytes pngClaiming(std::uint32_t width, std::uint32_t height, std::uint8_t bitDepth = 8, std::uint8_t colorType = 6)
{
    Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes ihdr = be32(width);
    const Bytes h = be32(height);
    ihdr.insert(ihdr.end(), h.begin(), h.end());
    ihdr.insert(ihdr.end(), {bitDepth, colorType, 0, 0, 0});
    appendChunk(out, "IHDR", ihdr);
    appendChunk(out, "IDAT", {0x78, 0x9C, 0x63, 0x60, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01});
    appendChunk(out, "IEND", {});
    return out;
}

TEST(Png, ColourTypesAndDepths)
{
    const RgbaImage rgba = patternImage(9, 7, true);
    EXPECT_TRUE(samePixels(DecodePng(view(*imagewrite::encodePng(rgba))), rgba));

    // RGB, 8 bits.
    const RgbaImage rgb = patternImage(5, 4);
    PngFile file;
    file.width = 5;
    file.height = 4;
    file.colorType = PNG_COLOR_TYPE_RGB;
    for (std::size_t i = 0; i < rgb.pixels.size(); i += 4)
        file.rows.insert(file.rows.end(), rgb.pixels.begin() + i, rgb.pixels.begin() + i + 3);
    EXPECT_TRUE(samePixels(DecodePng(view(*imagewrite::writePng(file))), rgb));

    // Palette of 4 bits with transparency on the first two entries.
    PngFile paletted;
    paletted.width = 3;
    paletted.height = 2;
    paletted.bitDepth = 4;
    paletted.colorType = PNG_COLOR_TYPE_PALETTE;
    paletted.palette = {0x102030, 0x405060, 0x708090, 0xA0B0C0};
    paletted.transparency = {0, 128};
    paletted.rows = {0x01, 0x20, 0x32, 0x10};   // rows: 0 1 2 | 3 2 1
    RgbaImage expected = blankImage(3, 2);
    setPixel(expected, 0, 0, {0x10, 0x20, 0x30, 0});
    setPixel(expected, 1, 0, {0x40, 0x50, 0x60, 128});
    setPixel(expected, 2, 0, {0x70, 0x80, 0x90, 255});
    setPixel(expected, 0, 1, {0xA0, 0xB0, 0xC0, 255});
    setPixel(expected, 1, 1, {0x70, 0x80, 0x90, 255});
    setPixel(expected, 2, 1, {0x40, 0x50, 0x60, 128});
    EXPECT_TRUE(samePixels(DecodePng(view(*imagewrite::writePng(paletted))), expected));

    // Greyscale at 1 bit, and grey with alpha.
    PngFile bits;
    bits.width = 10;
    bits.height = 1;
    bits.bitDepth = 1;
    bits.colorType = PNG_COLOR_TYPE_GRAY;
    bits.rows = {0b10110000, 0b01000000};
    std::optional<RgbaImage> image = DecodePng(view(*imagewrite::writePng(bits)));
    ASSERT_TRUE(image);
    const int ones[10] = {1, 0, 1, 1, 0, 0, 0, 0, 0, 1};
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(pixelAt(*image, x, 0), (ones[x] ? Rgba{255, 255, 255, 255} : Rgba{0, 0, 0, 255})) << x;
    PngFile greyAlpha;
    greyAlpha.width = 2;
    greyAlpha.height = 1;
    greyAlpha.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
    greyAlpha.rows = {90, 255, 200, 40};
    image = DecodePng(view(*imagewrite::writePng(greyAlpha)));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 0, 0), (Rgba{90, 90, 90, 255}));
    EXPECT_EQ(pixelAt(*image, 1, 0), (Rgba{200, 200, 200, 40}));

    // 16 bits per sample come down to 8.
    PngFile deep;
    deep.width = 2;
    deep.height = 1;
    deep.bitDepth = 16;
    deep.colorType = PNG_COLOR_TYPE_RGB;
    deep.rows = {0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00};
    image = DecodePng(view(*imagewrite::writePng(deep)));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 0, 0), (Rgba{255, 0, 255, 255}));
    EXPECT_EQ(pixelAt(*image, 1, 0), (Rgba{0, 255, 0, 255}));
}

TEST(Png, Interlaced)
{
    const RgbaImage picture = patternImage(13, 11, true);
    PngFile file;
    file.width = 13;
    file.height = 11;
    file.interlaced = true;
    file.rows = picture.pixels;
    EXPECT_TRUE(samePixels(DecodePng(view(*imagewrite::writePng(file))), picture));
}

TEST(Png, SizesOutsideTheLimitsGiveNoImage)
{
    // The hand-made file holds one row of one pixel; a size of 1x1 decodes it.
    std::optional<RgbaImage> image = DecodePng(view(pngClaiming(1, 1, 8, 0)));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 0, 0), (Rgba{0, 0, 0, 255}));

    EXPECT_FALSE(DecodePng(view(pngClaiming(0, 1))));
    EXPECT_FALSE(DecodePng(view(pngClaiming(1, 0))));
    EXPECT_FALSE(DecodePng(view(pngClaiming(kMaxSide + 1, 1))));
    EXPECT_FALSE(DecodePng(view(pngClaiming(1, kMaxSide + 1))));
    EXPECT_FALSE(DecodePng(view(pngClaiming(10001, 10000))));   // over the pixel limit
    EXPECT_FALSE(DecodePng(view(pngClaiming(0x80000000u, 0x80000000u))));
    EXPECT_FALSE(DecodePng(view(pngClaiming(0xFFFFFFFFu, 1))));
    // Allowed sizes whose data cannot be in so small a file.
    EXPECT_FALSE(DecodePng(view(pngClaiming(kMaxSide, 6000, 1, 0))));
    EXPECT_FALSE(DecodePng(view(pngClaiming(2, 2))));   // data for one row only
    DecodeOptions options;
    options.maxPixels = 99;
    EXPECT_FALSE(DecodePng(view(*imagewrite::encodePng(patternImage(10, 10))), options));
    options.maxPixels = 100;
    EXPECT_TRUE(DecodePng(view(*imagewrite::encodePng(patternImage(10, 10))), options));
}

TEST(Png, BrokenFilesGiveNoImage)
{
    const Bytes good = *imagewrite::encodePng(patternImage(6, 5, true));
    ASSERT_TRUE(DecodePng(view(good)));
    // Truncation anywhere: no image, never part of one. (Only the end chunk may be missing.)
    const std::size_t imageDataEnd = good.size() - 12;
    for (std::size_t length = 0; length < good.size(); ++length) {
        const std::optional<RgbaImage> cut = DecodePng(view(prefix(good, length)));
        if (length < imageDataEnd) {
            EXPECT_FALSE(cut) << length;
        } else if (cut) {
            EXPECT_TRUE(samePixels(cut, patternImage(6, 5, true))) << length;
        }
    }

    Bytes badCrc = good;
    badCrc[8 + 8 + 13] ^= 1;   // IHDR's CRC
    EXPECT_FALSE(DecodePng(view(badCrc)));
    Bytes badSignature = good;
    badSignature[1] = 'Q';
    EXPECT_FALSE(DecodePng(view(badSignature)));
    Bytes garbage(200, 0x5A);
    std::copy(good.begin(), good.begin() + 8, garbage.begin());
    EXPECT_FALSE(DecodePng(view(garbage)));
    EXPECT_FALSE(DecodePng({}));
}

}  // namespace
}  // namespace marquetor::imagecodec::testing
