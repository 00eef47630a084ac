// BMP decoder: every depth and header, RLE, and broken files.

#include <climits>

#include "testimages.h"

namespace marquetor::imagecodec::testing {
namespace {

using imagewrite::BmpFile;
using imagewrite::IndexedImage;

IndexedImage indexedPattern(int width, int height, int colours)
{
    IndexedImage image;
    image.width = width;
    image.height = height;
    for (int i = 0; i < colours; ++i)
        image.palette.push_back(static_cast<std::uint32_t>((i * 40 + 3) & 255) << 16 |
                                static_cast<std::uint32_t>((i * 90 + 7) & 255) << 8 |
                                static_cast<std::uint32_t>((255 - i * 17) & 255));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.indexes.push_back(static_cast<std::uint8_t>((x * 3 + y * 5) % colours));
    return image;
}

RgbaImage expand(const IndexedImage& image)
{
    RgbaImage out = blankImage(image.width, image.height);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t index = image.indexes[static_cast<std::size_t>(y) * image.width + x];
            const std::uint32_t c = index < image.palette.size() ? image.palette[index] : 0;
            setPixel(out, x, y, {int(c >> 16) & 255, int(c >> 8) & 255, int(c) & 255, 255});
        }
    return out;
}

TEST(Bmp, TrueColourRowsBottomUpAndTopDown)
{
    // Widths 1..5 cover every row padding.
    for (int width = 1; width <= 5; ++width) {
        const RgbaImage picture = patternImage(width, 3);
        EXPECT_TRUE(samePixels(DecodeBmp(view(imagewrite::encodeBmp24(picture, false))), picture)) << width;
        EXPECT_TRUE(samePixels(DecodeBmp(view(imagewrite::encodeBmp24(picture, true))), picture)) << width;
    }
    const RgbaImage withAlpha = patternImage(7, 4, true);
    EXPECT_TRUE(samePixels(DecodeBmp(view(imagewrite::encodeBmp32(withAlpha, false))), withAlpha));
    EXPECT_TRUE(samePixels(DecodeBmp(view(imagewrite::encodeBmp32(withAlpha, true))), withAlpha));
}

TEST(Bmp, PalettedDepths)
{
    for (int bits : {1, 4, 8}) {
        for (int width : {1, 3, 8, 9, 13}) {
            const IndexedImage picture = indexedPattern(width, 3, 1 << std::min(bits, 4));
            BmpFile file;
            file.width = width;
            file.height = 3;
            file.bitsPerPixel = static_cast<std::uint16_t>(bits);
            file.palette = picture.palette;
            file.colorsUsed = static_cast<std::uint32_t>(picture.palette.size());
            file.pixelData = imagewrite::packBmpIndexes(picture, bits, false);
            EXPECT_TRUE(samePixels(DecodeBmp(view(imagewrite::writeBmp(file))), expand(picture)))
                << bits << " bits, width " << width;
        }
    }
    // colorsUsed 0 means the whole palette the depth can address.
    const IndexedImage full = indexedPattern(6, 2, 16);
    BmpFile file;
    file.width = 6;
    file.height = -2;
    file.bitsPerPixel = 4;
    file.palette = full.palette;
    file.pixelData = imagewrite::packBmpIndexes(full, 4, true);
    EXPECT_TRUE(samePixels(DecodeBmp(view(imagewrite::writeBmp(file))), expand(full)));
}

TEST(Bmp, EveryHeaderSizeGivesTheSamePicture)
{
    const IndexedImage picture = indexedPattern(5, 4, 200);
    for (std::uint32_t headerSize : {12u, 40u, 52u, 56u, 108u, 124u}) {
        BmpFile file;
        file.headerSize = headerSize;
        file.width = 5;
        file.height = 4;
        file.bitsPerPixel = 8;
        file.palette = picture.palette;
        file.colorsUsed = headerSize == 12 ? 0 : 200;
        if (headerSize == 12)   // the core header has no colour count: the full 256 entries
            file.palette.resize(256, 0);
        file.pixelData = imagewrite::packBmpIndexes(picture, 8, false);
        EXPECT_TRUE(samePixels(DecodeBmp(view(imagewrite::writeBmp(file))), expand(picture))) << headerSize;

        const RgbaImage rgb = patternImage(5, 4);
        Bytes bytes = imagewrite::encodeBmp24(rgb, false);
        BmpFile rgbFile;
        rgbFile.headerSize = headerSize;
        rgbFile.width = 5;
        rgbFile.height = 4;
        rgbFile.pixelData.assign(bytes.begin() + 54, bytes.end());
        EXPECT_TRUE(samePixels(DecodeBmp(view(imagewrite::writeBmp(rgbFile))), rgb)) << headerSize;
    }
}

TEST(Bmp, SixteenAndThirtyTwoBitMasks)
{
    // 16-bit plain rows are 5-5-5; 5-bit 31 becomes 255, 16 becomes 132.
    BmpFile file;
    file.width = 3;
    file.height = 1;
    file.bitsPerPixel = 16;
    const std::uint16_t p555[3] = {0x7C00, 0x03E0 | 0x8000, (16 << 10) | (16 << 5) | 16};
    for (std::uint16_t v : p555)
        file.pixelData.insert(file.pixelData.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
    file.pixelData.insert(file.pixelData.end(), {0, 0});   // row padding
    std::optional<RgbaImage> image = DecodeBmp(view(imagewrite::writeBmp(file)));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 0, 0), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(pixelAt(*image, 1, 0), (Rgba{0, 255, 0, 255}));   // the top bit is not alpha
    EXPECT_EQ(pixelAt(*image, 2, 0), (Rgba{132, 132, 132, 255}));

    // 5-6-5 bitfields after a 40-byte header.
    file.compression = 3;
    file.masks = {0xF800, 0x07E0, 0x001F, 0};
    file.pixelData.clear();
    const std::uint16_t p565[3] = {0xF800, 0x07E0, (16 << 11) | (32 << 5) | 16};
    for (std::uint16_t v : p565)
        file.pixelData.insert(file.pixelData.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
    file.pixelData.insert(file.pixelData.end(), {0, 0});
    image = DecodeBmp(view(imagewrite::writeBmp(file)));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 0, 0), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(pixelAt(*image, 1, 0), (Rgba{0, 255, 0, 255}));
    EXPECT_EQ(pixelAt(*image, 2, 0), (Rgba{132, 130, 132, 255}));

    // Plain 32-bit rows are opaque whatever the fourth byte holds...
    BmpFile plain;
    plain.width = 2;
    plain.height = 1;
    plain.bitsPerPixel = 32;
    plain.pixelData = {10, 20, 30, 0, 40, 50, 60, 77};
    image = DecodeBmp(view(imagewrite::writeBmp(plain)));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 0, 0), (Rgba{30, 20, 10, 255}));
    EXPECT_EQ(pixelAt(*image, 1, 0), (Rgba{60, 50, 40, 255}));
    // ...unless a later header gives an alpha mask.
    plain.headerSize = 56;
    plain.masks = {0, 0, 0, 0xFF000000};
    image = DecodeBmp(view(imagewrite::writeBmp(plain)));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 0, 0), (Rgba{30, 20, 10, 0}));
    EXPECT_EQ(pixelAt(*image, 1, 0), (Rgba{60, 50, 40, 77}));

    // Alpha bitfields after a 40-byte header, with 10-bit channels.
    BmpFile wide;
    wide.width = 1;
    wide.height = 1;
    wide.bitsPerPixel = 32;
    wide.compression = 6;
    wide.masks = {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000};
    const std::uint32_t v = (1023u << 20) | (512u << 10) | 0u | (2u << 30);
    wide.pixelData = {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
    image = DecodeBmp(view(imagewrite::writeBmp(wide)));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 0, 0), (Rgba{255, 128, 0, 170}));
}

TEST(Bmp, AlphaZeroEverywhereMeansOpaque)
{
    RgbaImage picture = patternImage(4, 3, true);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            Rgba c = pixelAt(picture, x, y);
            c[3] = 0;
            setPixel(picture, x, y, c);
        }
    std::optional<RgbaImage> image = DecodeBmp(view(imagewrite::encodeBmp32(picture, false)));
    ASSERT_TRUE(image);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            Rgba c = pixelAt(picture, x, y);
            c[3] = 255;
            EXPECT_EQ(pixelAt(*image, x, y), c);
        }
    // One non-zero alpha keeps the channel as it is.
    setPixel(picture, 2, 1, {1, 2, 3, 4});
    EXPECT_TRUE(samePixels(DecodeBmp(view(imagewrite::encodeBmp32(picture, true))), picture));
}

IndexedImage rlePalette(int width, int height)
{
    IndexedImage image;
    image.width = width;
    image.height = height;
    image.palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    return image;
}

BmpFile rleFile(int width, int height, std::uint32_t compression, Bytes data)
{
    BmpFile file;
    file.width = width;
    file.height = height;
    file.bitsPerPixel = compression == 1 ? 8 : 4;
    file.compression = compression;
    file.palette = rlePalette(width, height).palette;
    file.colorsUsed = 5;
    file.pixelData = std::move(data);
    return file;
}

TEST(Bmp, Rle8RunsAbsoluteDeltaAndEnd)
{
    // 6x3, bottom row first.
    const Bytes data = {
        3, 1, 0, 3, 2, 3, 4, 0,   // row 0: red x3, absolute [green blue white] + pad
        0, 0,                     // end of line (the row had 6 pixels)
        2, 4, 0, 2, 2, 1,         // row 1: white x2, delta right 2 and up 1
        2, 2,                     // row 2 from x=4: green x2
        0, 1};                    // end of bitmap
    std::optional<RgbaImage> image = DecodeBmp(view(imagewrite::writeBmp(rleFile(6, 3, 1, data))));
    ASSERT_TRUE(image);
    const Rgba expected[3][6] = {
        {kBlack, kBlack, kBlack, kBlack, kGreen, kGreen},   // top row (row 2)
        {kWhite, kWhite, kBlack, kBlack, kBlack, kBlack},   // skipped pixels stay black
        {kRed, kRed, kRed, kGreen, kBlue, kWhite}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(pixelAt(*image, x, y), expected[y][x]) << x << "," << y;
}

TEST(Bmp, Rle4Nibbles)
{
    const Bytes data = {
        5, 0x12, 0, 0,         // row 0: 1 2 1 2 1
        0, 3, 0x34, 0x10,      // row 1: absolute 3 4 1 (two bytes: already a whole word)
        0, 1};
    std::optional<RgbaImage> image = DecodeBmp(view(imagewrite::writeBmp(rleFile(5, 2, 2, data))));
    ASSERT_TRUE(image);
    const Rgba expected[2][5] = {{kBlue, kWhite, kRed, kBlack, kBlack}, {kRed, kGreen, kRed, kGreen, kRed}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(pixelAt(*image, x, y), expected[y][x]) << x << "," << y;
}

TEST(Bmp, RlePacketsBeyondThePictureAreDropped)
{
    // Runs longer than the row, deltas past the edges, rows past the top, an index past the
    // palette, a missing end of bitmap.
    const Bytes data = {
        200, 1,          // row 0: red, cut at the right edge (no wrap into row 1)
        0, 0,            // next row
        0, 2, 250, 0,    // delta far right: clamped
        3, 2,            // nothing left in this row
        0, 0,
        0, 4, 9, 1, 200, 3,   // row 2: index 9 is beyond the palette, then red, then 200 (beyond), blue
        0, 2, 0, 200,    // delta far up: past the last row
        255, 4};         // ignored
    std::optional<RgbaImage> image = DecodeBmp(view(imagewrite::writeBmp(rleFile(3, 3, 1, data))));
    ASSERT_TRUE(image);
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(pixelAt(*image, x, 2), kRed);
        EXPECT_EQ(pixelAt(*image, x, 1), kBlack);
    }
    EXPECT_EQ(pixelAt(*image, 0, 0), kBlack);
    EXPECT_EQ(pixelAt(*image, 1, 0), kRed);
    EXPECT_EQ(pixelAt(*image, 2, 0), kBlack);

    // An RLE file written by our encoder round-trips.
    IndexedImage stripes = rlePalette(40, 7);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 40; ++x)
            stripes.indexes.push_back(static_cast<std::uint8_t>((x / 7 + y) % 5));
    EXPECT_TRUE(samePixels(DecodeBmp(view(imagewrite::encodeBmpRle8(stripes))), expand(stripes)));
}

TEST(Bmp, Os2HeadersLongAndShort)
{
    // The 64-byte OS/2 2.x header and its shortened forms give the picture the Windows
    // header gives. The fields after the first 40 bytes (units, halftoning, colour
    // encoding) are no colour masks: 32-bit rows stay opaque whatever they hold.
    const IndexedImage indexed = indexedPattern(5, 4, 200);
    const RgbaImage rgb = patternImage(5, 4);
    const Bytes windowsFile = imagewrite::encodeBmp24(rgb, false);
    const Bytes rgbRows(windowsFile.begin() + 54, windowsFile.end());
    for (std::uint32_t headerSize : {64u, 16u, 20u, 24u, 36u, 60u}) {
        BmpFile file;
        file.headerSize = headerSize;
        file.width = 5;
        file.height = 4;
        file.bitsPerPixel = 8;
        file.palette = indexed.palette;
        file.palette.resize(256, 0);   // short forms may hold no colour count: the full palette
        file.colorsUsed = headerSize >= 36 ? 200 : 0;
        file.os2Fields.assign(24, 0xFF);
        file.pixelData = imagewrite::packBmpIndexes(indexed, 8, false);
        const Bytes bytes = imagewrite::writeBmp(file);
        EXPECT_EQ(DetectFormat(view(bytes)), Format::Bmp) << headerSize;
        EXPECT_TRUE(samePixels(DecodeImage(view(bytes)), expand(indexed))) << headerSize;

        BmpFile rgbFile;
        rgbFile.headerSize = headerSize;
        rgbFile.width = 5;
        rgbFile.height = 4;
        rgbFile.os2Fields.assign(24, 0xFF);
        rgbFile.pixelData = rgbRows;
        EXPECT_TRUE(samePixels(DecodeBmp(view(imagewrite::writeBmp(rgbFile))), rgb)) << headerSize;
    }
    BmpFile wide;
    wide.headerSize = 64;
    wide.width = 2;
    wide.height = 1;
    wide.bitsPerPixel = 32;
    wide.os2Fields.assign(24, 0xFF);
    wide.pixelData = {10, 20, 30, 0x80, 40, 50, 60, 0x80};   // the fourth byte is no alpha
    std::optional<RgbaImage> image = DecodeBmp(view(imagewrite::writeBmp(wide)));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 0, 0), (Rgba{30, 20, 10, 255}));
    EXPECT_EQ(pixelAt(*image, 1, 0), (Rgba{60, 50, 40, 255}));

    // Under an OS/2 header 3 is Huffman 1D (not decoded), never bit fields; the size is
    // unsigned, so a "negative" height is no top-down picture.
    wide.compression = 3;
    EXPECT_FALSE(DecodeBmp(view(imagewrite::writeBmp(wide))));
    wide.compression = 0;
    wide.height = -1;
    EXPECT_FALSE(DecodeBmp(view(imagewrite::writeBmp(wide))));
    // Below 16 bytes and above 64 there is no OS/2 header.
    for (std::uint32_t headerSize : {13u, 15u, 65u, 100u}) {
        BmpFile file;
        file.headerSize = headerSize;
        file.width = 5;
        file.height = 4;
        file.pixelData = rgbRows;
        EXPECT_FALSE(DecodeBmp(view(imagewrite::writeBmp(file)))) << headerSize;
    }
}

TEST(Bmp, TwoBitPalettes)
{
    for (int width : {1, 3, 4, 5, 16, 17}) {
        const IndexedImage picture = indexedPattern(width, 3, 4);
        BmpFile file;
        file.width = width;
        file.height = 3;
        file.bitsPerPixel = 2;
        file.palette = picture.palette;
        file.pixelData = imagewrite::packBmpIndexes(picture, 2, false);
        EXPECT_TRUE(samePixels(DecodeBmp(view(imagewrite::writeBmp(file))), expand(picture))) << width;
    }
    // Only three colours held: index 3 paints black.
    IndexedImage picture = indexedPattern(4, 1, 4);
    picture.indexes = {0, 1, 2, 3};
    BmpFile file;
    file.width = 4;
    file.height = 1;
    file.bitsPerPixel = 2;
    file.palette = {picture.palette[0], picture.palette[1], picture.palette[2]};
    file.colorsUsed = 3;
    file.pixelData = imagewrite::packBmpIndexes(picture, 2, false);
    picture.palette.resize(3);
    EXPECT_TRUE(samePixels(DecodeBmp(view(imagewrite::writeBmp(file))), expand(picture)));
}

TEST(Bmp, Rle24RunsAbsoluteDeltaAndEnd)
{
    // OS/2's 24-bit RLE: a run is a count and one blue-green-red pixel, an absolute stretch
    // holds three bytes a pixel padded to 16 bits; 4x3, bottom row first.
    BmpFile file;
    file.headerSize = 64;
    file.width = 4;
    file.height = 3;
    file.bitsPerPixel = 24;
    file.compression = 4;
    file.pixelData = {
        1, 0, 0, 255,                        // row 0: red
        0, 3, 0, 255, 0, 255, 0, 0, 1, 2, 3, 0,   // absolute: green, blue, (3,2,1), padded
        0, 0,                                // end of line: row 0 is full anyway
        0, 2, 1, 1,                          // delta right 1, up 1: row 2 at x 1
        3, 255, 255, 255,                    // white x3
        0, 1,                                // end of bitmap
        9, 9, 9, 9};                         // ignored
    const Bytes bytes = imagewrite::writeBmp(file);
    std::optional<RgbaImage> image = DecodeImage(view(bytes));
    ASSERT_TRUE(image);
    const Rgba expected[3][4] = {
        {kBlack, kWhite, kWhite, kWhite},
        {kBlack, kBlack, kBlack, kBlack},   // skipped by the delta
        {kRed, kGreen, kBlue, Rgba{3, 2, 1, 255}}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(pixelAt(*image, x, y), expected[y][x]) << x << "," << y;
    // Every cut of it decodes to the same size with each pixel true or black.
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        const std::optional<RgbaImage> cut = DecodeBmp(view(prefix(bytes, length)));
        if (!cut)
            continue;
        ASSERT_EQ(cut->width, 4);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_TRUE(pixelAt(*cut, x, y) == pixelAt(*image, x, y) || pixelAt(*cut, x, y) == kBlack) << length;
    }
    // RLE24 is 24 bits only.
    file.bitsPerPixel = 8;
    EXPECT_FALSE(DecodeBmp(view(imagewrite::writeBmp(file))));
}

TEST(Bmp, WrappedJpegAndPngGoThroughTheirDecoders)
{
    const RgbaImage picture = patternImage(9, 7, true);
    const Bytes png = *imagewrite::encodePng(picture);
    const Bytes jpeg = *imagewrite::encodeJpeg(gradientImage(64, 48));
    auto wrapped = [](const Bytes& inner, std::uint32_t compression, std::uint32_t headerSize = 40) {
        BmpFile file;
        file.headerSize = headerSize;
        file.width = 9;   // what the header says of the size does not count: the inner file's does
        file.height = 7;
        file.bitsPerPixel = 0;
        file.compression = compression;
        file.pixelData = inner;
        return imagewrite::writeBmp(file);
    };
    EXPECT_TRUE(samePixels(DecodeImage(view(wrapped(png, 5))), picture));
    EXPECT_TRUE(samePixels(DecodeBmp(view(wrapped(png, 5, 124))), picture));
    const std::optional<RgbaImage> fromJpeg = DecodeImage(view(wrapped(jpeg, 4, 108)));
    ASSERT_TRUE(fromJpeg);
    EXPECT_TRUE(samePixels(fromJpeg, *DecodeJpeg(view(jpeg))));
    // The decoders' options go along: a preview of the JPEG is taken at a smaller DCT scale.
    const std::optional<RgbaImage> preview = DecodeImage(view(wrapped(jpeg, 4)), DecodeOptions{.previewMinSide = 8});
    ASSERT_TRUE(preview);
    EXPECT_EQ(preview->width, 16);
    DecodeOptions small;
    small.maxPixels = 60;
    EXPECT_FALSE(DecodeBmp(view(wrapped(png, 5)), small));

    // The wrong inner format, a cut inner file (by the stored size), and the old headers
    // that cannot wrap anything: no image.
    EXPECT_FALSE(DecodeBmp(view(wrapped(png, 4))));
    EXPECT_FALSE(DecodeBmp(view(wrapped(jpeg, 5))));
    BmpFile cut;
    cut.width = 9;
    cut.height = 7;
    cut.compression = 5;
    cut.pixelData = png;
    cut.imageSize = static_cast<std::uint32_t>(png.size() / 2);
    EXPECT_FALSE(DecodeBmp(view(imagewrite::writeBmp(cut))));
    EXPECT_FALSE(DecodeBmp(view(wrapped(png, 5, 64))));
    EXPECT_FALSE(DecodeBmp(view(wrapped(jpeg, 4, 64))));   // RLE24 there, and no 24 bits
}

TEST(Bmp, BadSizesGiveNoImage)
{
    auto withSize = [](std::int32_t width, std::int32_t height) {
        BmpFile file;
        file.width = width;
        file.height = height;
        file.pixelData.assign(64, 0x55);
        return DecodeBmp(view(imagewrite::writeBmp(file)));
    };
    EXPECT_TRUE(withSize(2, 2));
    EXPECT_FALSE(withSize(0, 2));
    EXPECT_FALSE(withSize(2, 0));
    EXPECT_FALSE(withSize(-2, 2));
    EXPECT_FALSE(withSize(2, INT_MIN));
    EXPECT_FALSE(withSize(INT_MIN, 2));
    EXPECT_FALSE(withSize(INT_MAX, INT_MAX));
    EXPECT_FALSE(withSize(kMaxSide + 1, 1));
    EXPECT_FALSE(withSize(1, -(kMaxSide + 1)));
    EXPECT_FALSE(withSize(kMaxSide, kMaxSide));   // over the pixel limit
    // Allowed sizes with hardly any data decode, the missing pixels black.
    const std::optional<RgbaImage> wide = withSize(kMaxSide, 2);
    ASSERT_TRUE(wide);
    EXPECT_EQ(pixelAt(*wide, kMaxSide - 1, 0), kBlack);
    EXPECT_EQ(pixelAt(*wide, 0, 1), (Rgba{0x55, 0x55, 0x55, 255}));

    // A lower pixel limit from the options.
    BmpFile file;
    file.width = 100;
    file.height = 100;
    file.pixelData.assign(300, 1);
    const Bytes bytes = imagewrite::writeBmp(file);
    DecodeOptions options;
    options.maxPixels = 9999;
    EXPECT_FALSE(DecodeBmp(view(bytes), options));
    options.maxPixels = 10000;
    EXPECT_TRUE(DecodeBmp(view(bytes), options));
}

TEST(Bmp, BadHeadersGiveNoImage)
{
    const RgbaImage picture = patternImage(3, 2);
    const Bytes good = imagewrite::encodeBmp24(picture, false);
    ASSERT_TRUE(DecodeBmp(view(good)));

    auto patched = [&](std::size_t at, std::vector<std::uint8_t> bytes) {
        Bytes copy = good;
        std::copy(bytes.begin(), bytes.end(), copy.begin() + static_cast<std::ptrdiff_t>(at));
        return DecodeBmp(view(copy));
    };
    EXPECT_FALSE(patched(0, {'B', 'A'}));
    EXPECT_FALSE(patched(14, {64, 0, 0, 0}));     // unknown header size
    EXPECT_FALSE(patched(14, {0, 0, 0, 0x80}));   // absurd header size
    EXPECT_FALSE(patched(28, {7, 0}));            // 7 bits per pixel
    EXPECT_FALSE(patched(28, {0, 0}));
    EXPECT_FALSE(patched(30, {1, 0, 0, 0}));      // RLE8 with 24 bits
    EXPECT_FALSE(patched(30, {3, 0, 0, 0}));      // bitfields with 24 bits
    EXPECT_FALSE(patched(30, {4, 0, 0, 0}));      // embedded JPEG
    EXPECT_FALSE(patched(10, {0xFF, 0xFF, 0, 0}));   // pixel offset past the end
    EXPECT_FALSE(patched(10, {20, 0, 0, 0}));        // pixel offset inside the header
    EXPECT_FALSE(patched(10, {static_cast<std::uint8_t>(good.size()), 0, 0, 0}));   // offset == file size

    // RLE rows cannot run top-down.
    BmpFile topDownRle = rleFile(2, -2, 1, {2, 1, 0, 1});
    EXPECT_FALSE(DecodeBmp(view(imagewrite::writeBmp(topDownRle))));
    topDownRle.height = 2;
    EXPECT_TRUE(DecodeBmp(view(imagewrite::writeBmp(topDownRle))));

    // Too short for its own header.
    EXPECT_FALSE(DecodeBmp(view(prefix(good, 30))));
    EXPECT_FALSE(DecodeBmp({}));
}

TEST(Bmp, ColourCountBeyondThePalette)
{
    const IndexedImage picture = indexedPattern(4, 2, 4);
    BmpFile file;
    file.width = 4;
    file.height = 2;
    file.bitsPerPixel = 8;
    file.palette = picture.palette;      // 4 entries in the file
    file.colorsUsed = 0xFFFFFFFF;        // claims far more than 8 bits can address
    file.pixelData = imagewrite::packBmpIndexes(picture, 8, false);
    file.pixelOffset = 14 + 40 + 4 * 4;
    EXPECT_TRUE(samePixels(DecodeBmp(view(imagewrite::writeBmp(file))), expand(picture)));

    // Indexes past the entries the header admits paint black.
    file.colorsUsed = 2;
    IndexedImage clipped = picture;
    clipped.palette.resize(2);
    EXPECT_TRUE(samePixels(DecodeBmp(view(imagewrite::writeBmp(file))), expand(clipped)));

    // A palette cut short by the end of the file.
    BmpFile shortFile;
    shortFile.width = 1;
    shortFile.height = 1;
    shortFile.bitsPerPixel = 8;
    shortFile.colorsUsed = 256;
    shortFile.palette = {0x112233};
    shortFile.pixelData = {0, 0, 0, 0};
    std::optional<RgbaImage> image = DecodeBmp(view(imagewrite::writeBmp(shortFile)));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 0, 0), (Rgba{0x11, 0x22, 0x33, 255}));
    shortFile.pixelData = {200, 0, 0, 0};
    image = DecodeBmp(view(imagewrite::writeBmp(shortFile)));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 0, 0), kBlack);
}

TEST(Bmp, TruncationAtEveryOffset)
{
    const RgbaImage picture = patternImage(5, 4);
    const Bytes files[] = {
        imagewrite::encodeBmp24(picture, false),
        imagewrite::encodeBmp24(picture, true),
        imagewrite::encodeBmp32(patternImage(3, 3, true), false),
        imagewrite::encodeBmp8(indexedPattern(7, 5, 60), false),
        imagewrite::writeBmp(rleFile(6, 3, 1, {3, 1, 0, 3, 2, 3, 4, 0, 0, 0, 2, 4, 0, 2, 2, 1, 2, 2, 0, 1})),
    };
    for (const Bytes& file : files) {
        const std::optional<RgbaImage> whole = DecodeBmp(view(file));
        ASSERT_TRUE(whole);
        for (std::size_t length = 0; length < file.size(); ++length) {
            const std::optional<RgbaImage> cut = DecodeBmp(view(prefix(file, length)));
            if (!cut)
                continue;
            // What decodes has the full size, and every pixel is either the true one or black.
            ASSERT_EQ(cut->width, whole->width);
            ASSERT_EQ(cut->height, whole->height);
            for (int y = 0; y < cut->height; ++y)
                for (int x = 0; x < cut->width; ++x) {
                    const Rgba c = pixelAt(*cut, x, y);
                    EXPECT_TRUE(c == pixelAt(*whole, x, y) || c == kBlack) << length << ": " << x << "," << y;
                }
        }
    }
    // Uncompressed rows: the rows present decode, the rest is black.
    const Bytes bottomUp = imagewrite::encodeBmp24(picture, false);
    const std::size_t stride = 16;   // 5 * 3 padded
    const std::optional<RgbaImage> half = DecodeBmp(view(prefix(bottomUp, 54 + 2 * stride + 6)));
    ASSERT_TRUE(half);
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(pixelAt(*half, x, 3), pixelAt(picture, x, 3));
        EXPECT_EQ(pixelAt(*half, x, 2), pixelAt(picture, x, 2));
        EXPECT_EQ(pixelAt(*half, x, 1), x < 2 ? pixelAt(picture, x, 1) : kBlack);
        EXPECT_EQ(pixelAt(*half, x, 0), kBlack);
    }
}

}  // namespace
}  // namespace marquetor::imagecodec::testing
