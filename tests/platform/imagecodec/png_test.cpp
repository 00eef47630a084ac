// PNG decoder: colour types, depths, interlacing, and broken files.

#include <png.h>
#include <zlib.h>

#include <cmath>
#include <map>
#include <string>

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

// The same file with a chunk put right after the header chunk.
Bytes withChunkAfterHeader(const Bytes& file, const char* type, const Bytes& body)
{
    const std::size_t headerEnd = 8 + 8 + 13 + 4;
    Bytes chunk;
    appendChunk(chunk, type, body);
    Bytes out = file;
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(headerEnd), chunk.begin(), chunk.end());
    return out;
}

// Every box of factor x factor pixels of the whole picture (smaller at the edges), averaged
// with colours weighted by alpha, in floating point.
::testing::AssertionResult isBoxAverage(const std::optional<RgbaImage>& reduced, const RgbaImage& whole, int factor)
{
    if (!reduced)
        return ::testing::AssertionFailure() << "no image";
    const int width = (whole.width + factor - 1) / factor, height = (whole.height + factor - 1) / factor;
    if (reduced->width != width || reduced->height != height)
        return ::testing::AssertionFailure() << "size " << reduced->width << "x" << reduced->height << ", expected "
                                             << width << "x" << height;
    for (int oy = 0; oy < height; ++oy) {
        for (int ox = 0; ox < width; ++ox) {
            double alpha = 0, colour[3] = {0, 0, 0};
            int count = 0;
            for (int y = oy * factor; y < std::min(whole.height, (oy + 1) * factor); ++y) {
                for (int x = ox * factor; x < std::min(whole.width, (ox + 1) * factor); ++x) {
                    const Rgba p = pixelAt(whole, x, y);
                    alpha += p[3];
                    for (int c = 0; c < 3; ++c)
                        colour[c] += p[c] * p[3];
                    ++count;
                }
            }
            const Rgba got = pixelAt(*reduced, ox, oy);
            Rgba expected = {0, 0, 0, static_cast<int>(std::lround(alpha / count))};
            for (int c = 0; c < 3; ++c)
                expected[c] = alpha == 0 ? 0 : static_cast<int>(std::lround(colour[c] / alpha));
            for (int c = 0; c < 4; ++c)
                if (std::abs(got[c] - expected[c]) > 1)
                    return ::testing::AssertionFailure() << "pixel (" << ox << "," << oy << ") channel " << c << " is "
                                                         << got[c] << ", expected " << expected[c];
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(Png, PreviewsOfPlainFilesAreReducedWhileRead)
{
    DecodeOptions preview;
    preview.previewMinSide = 40;

    // RGB, 8 bits: 257 x 131 comes down by 3 (the largest factor keeping 40 on each side).
    const RgbaImage picture = patternImage(257, 131);
    PngFile rgb;
    rgb.width = 257;
    rgb.height = 131;
    rgb.colorType = PNG_COLOR_TYPE_RGB;
    for (std::size_t i = 0; i < picture.pixels.size(); i += 4)
        rgb.rows.insert(rgb.rows.end(), picture.pixels.begin() + i, picture.pixels.begin() + i + 3);
    const Bytes rgbFile = *imagewrite::writePng(rgb);
    const std::optional<RgbaImage> reducedRgb = DecodePng(view(rgbFile), preview);
    EXPECT_TRUE(isBoxAverage(reducedRgb, picture, 3));
    EXPECT_EQ(reducedRgb->width, 86);
    EXPECT_EQ(reducedRgb->height, 44);
    // Through the one entry point too, and the whole picture when no preview is asked for.
    EXPECT_TRUE(isBoxAverage(DecodeImage(view(rgbFile), preview), picture, 3));
    EXPECT_TRUE(samePixels(DecodePng(view(rgbFile)), picture));

    // RGBA with every alpha: transparent pixels do not bleed into the average.
    RgbaImage withAlpha = patternImage(200, 90, true);
    for (int x = 0; x < 200; ++x)
        setPixel(withAlpha, x, 5, {255, 0, 0, 0});
    EXPECT_TRUE(isBoxAverage(DecodePng(view(*imagewrite::encodePng(withAlpha)), preview), withAlpha, 2));

    // Every colour type comes to RGBA first; a transparent colour becomes alpha.
    EXPECT_TRUE(isBoxAverage(DecodePng(view(withChunkAfterHeader(rgbFile, "tRNS", {0, 1, 0, 2, 0, 3})), preview),
                             *DecodePng(view(withChunkAfterHeader(rgbFile, "tRNS", {0, 1, 0, 2, 0, 3}))), 3));
    PngFile grey;
    grey.width = 100;
    grey.height = 100;
    grey.colorType = PNG_COLOR_TYPE_GRAY;
    for (int i = 0; i < 100 * 100; ++i)
        grey.rows.push_back(static_cast<std::uint8_t>(i * 7));
    const Bytes greyFile = *imagewrite::writePng(grey);
    EXPECT_TRUE(isBoxAverage(DecodePng(view(greyFile), preview), *DecodePng(view(greyFile)), 2));

    // Interlaced pictures, and pictures too small to reduce, come whole.
    PngFile interlaced;
    interlaced.width = 120;
    interlaced.height = 100;
    interlaced.interlaced = true;
    interlaced.rows = patternImage(120, 100, true).pixels;
    EXPECT_TRUE(samePixels(DecodePng(view(*imagewrite::writePng(interlaced)), preview), patternImage(120, 100, true)));
    const RgbaImage small = patternImage(78, 300, true);   // halving leaves 39
    EXPECT_TRUE(samePixels(DecodePng(view(*imagewrite::encodePng(small)), preview), small));

    // A preview is no laxer than the whole picture: a file cut before its last row gives
    // none.
    for (std::size_t length = 0; length + 12 < rgbFile.size(); length += 97)
        EXPECT_EQ(DecodePng(view(prefix(rgbFile, length)), preview).has_value(),
                  DecodePng(view(prefix(rgbFile, length))).has_value())
            << length;
    EXPECT_FALSE(DecodePng(view(prefix(rgbFile, rgbFile.size() / 2)), preview));
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
    // Truncation anywhere: no image, never part of one. Once every row is in, what
    // follows (the stream's checksum, the end chunk) is not needed.
    const std::size_t idatAt = 8 + 25;   // after the signature and IHDR
    ASSERT_EQ(std::string(good.begin() + idatAt + 4, good.begin() + idatAt + 8), "IDAT");
    const std::size_t idatLength = (std::size_t{good[idatAt + 2]} << 8) | good[idatAt + 3];
    for (std::size_t length = 0; length < good.size(); ++length) {
        const std::optional<RgbaImage> cut = DecodePng(view(prefix(good, length)));
        if (length < idatAt + 8 + idatLength / 2) {
            EXPECT_FALSE(cut) << length;
        } else if (cut) {
            EXPECT_TRUE(samePixels(cut, patternImage(6, 5, true))) << length;
        }
    }
    EXPECT_TRUE(DecodePng(view(prefix(good, good.size() - 12))));   // no end chunk

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

// The file's chunks again with its image data split into `pieces` IDAT chunks and a text
// chunk before the end; where each chunk's CRC is goes into `crcAt` by type (the IDATs as
// IDAT0, IDAT1, ...).
Bytes rechunked(const Bytes& file, int pieces, std::map<std::string, std::size_t>& crcAt)
{
    Bytes data;
    Bytes out(file.begin(), file.begin() + 8);
    auto add = [&](const std::string& name, const char* type, const Bytes& body) {
        appendChunk(out, type, body);
        crcAt[name] = out.size() - 4;
    };
    for (std::size_t at = 8; at + 12 <= file.size();) {
        const std::size_t length = (std::size_t{file[at]} << 24) | (std::size_t{file[at + 1]} << 16) |
                                   (std::size_t{file[at + 2]} << 8) | file[at + 3];
        const std::string type(file.begin() + at + 4, file.begin() + at + 8);
        const Bytes body(file.begin() + at + 8, file.begin() + at + 8 + length);
        if (type == "IDAT") {
            data.insert(data.end(), body.begin(), body.end());
        } else if (type == "IEND") {
            const std::size_t step = (data.size() + pieces - 1) / pieces;
            for (int i = 0; i < pieces; ++i) {
                const std::size_t from = std::min(data.size(), i * step);
                add("IDAT" + std::to_string(i), "IDAT",
                    Bytes(data.begin() + from, data.begin() + std::min(data.size(), from + step)));
            }
            add("tEXt", "tEXt", {'k', 0, 'v'});
            add("IEND", "IEND", {});
        } else {
            add(type, type.c_str(), body);
        }
        at += length + 12;
    }
    return out;
}

TEST(Png, AWrongChecksumOnAnyCriticalChunkGivesNoImage)
{
    // One rule wherever the chunk stands: the last image data chunk and the end chunk come
    // after every row is in, and count as much as the first. A damaged text chunk is
    // dropped, and the picture stays.
    const RgbaImage picture = patternImage(7, 6, true);
    std::map<std::string, std::size_t> crcAt;
    const Bytes file = rechunked(*imagewrite::encodePng(picture), 3, crcAt);
    ASSERT_TRUE(samePixels(DecodePng(view(file)), picture));
    for (const char* chunk : {"IHDR", "IDAT0", "IDAT1", "IDAT2", "IEND"}) {
        Bytes damaged = file;
        damaged[crcAt.at(chunk)] ^= 0x40;
        EXPECT_FALSE(DecodePng(view(damaged))) << chunk;
        EXPECT_FALSE(DecodePng(view(damaged), DecodeOptions{.previewMinSide = 2})) << chunk;
        Bytes damagedData = file;
        damagedData[crcAt.at(chunk) - 1] ^= 0x01;   // the last byte the CRC covers
        EXPECT_FALSE(DecodeImage(view(damagedData))) << chunk;
    }
    Bytes text = file;
    text[crcAt.at("tEXt")] ^= 0x40;
    EXPECT_TRUE(samePixels(DecodePng(view(text)), picture));
    // Cut inside the end chunk: there is no checksum to be wrong.
    EXPECT_TRUE(samePixels(DecodePng(view(prefix(file, file.size() - 2))), picture));
}

// A zlib stream: the given rows, then `extraMegabytes` of zeros the picture does not
// need, flushed so that one compressed megabyte can be repeated.
Bytes zlibWithExtraData(const Bytes& rows, int extraMegabytes)
{
    z_stream z{};
    EXPECT_EQ(deflateInit(&z, 9), Z_OK);
    auto run = [&](const Bytes& in, int flush) {
        Bytes out(deflateBound(&z, static_cast<uLong>(in.size())) + 64);
        z.next_in = const_cast<Bytef*>(in.data());
        z.avail_in = static_cast<uInt>(in.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        deflate(&z, flush);
        out.resize(out.size() - z.avail_out);
        return out;
    };
    Bytes stream = run(rows, Z_FULL_FLUSH);
    const Bytes megabyte = run(Bytes(1 << 20, 0), Z_FULL_FLUSH);
    const Bytes end = run({}, Z_FINISH);
    deflateEnd(&z);
    for (int i = 0; i < extraMegabytes; ++i)
        stream.insert(stream.end(), megabyte.begin(), megabyte.end());
    stream.insert(stream.end(), end.begin(), end.end());
    return stream;
}

TEST(Png, DataThePictureDoesNotNeedIsNotDecompressed)
{
    // A 2x1 grey picture followed by a gigabyte of compressed zeros in its image data, and
    // text chunks that would inflate to 8 MB each. Both are skipped, not inflated; the
    // picture decodes.
    Bytes file = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes ihdr = be32(2);
    const Bytes h = be32(1);
    ihdr.insert(ihdr.end(), h.begin(), h.end());
    ihdr.insert(ihdr.end(), {8, 0, 0, 0, 0});
    appendChunk(file, "IHDR", ihdr);
    Bytes text = {'k', 0, 0};
    const Bytes bomb = zlibWithExtraData(Bytes(8'000'000, 'x'), 0);
    text.insert(text.end(), bomb.begin(), bomb.end());
    for (int i = 0; i < 100; ++i)
        appendChunk(file, "zTXt", text);
    appendChunk(file, "IDAT", zlibWithExtraData({0, 40, 200}, 1024));
    appendChunk(file, "IEND", {});

    const std::optional<RgbaImage> image = DecodePng(view(file));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 0, 0), (Rgba{40, 40, 40, 255}));
    EXPECT_EQ(pixelAt(*image, 1, 0), (Rgba{200, 200, 200, 255}));
}

}  // namespace
}  // namespace marquetor::imagecodec::testing
