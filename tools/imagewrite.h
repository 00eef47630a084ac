#pragma once
// Image writers for the project's own use: the unit tests build valid and deliberately
// broken files with them, and make_example_textures writes the example textures. The
// editor itself never encodes an image.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/imagecodec/imagecodec.h"

namespace marquetor::imagewrite {

using imagecodec::RgbaImage;
using Bytes = std::vector<std::uint8_t>;

// A paletted picture: one index per pixel, rows top to bottom; palette entries 0xRRGGBB.
struct IndexedImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> indexes;
    std::vector<std::uint32_t> palette;
};

// ---- BMP: every header field as written, so tests can break any of them.
struct BmpFile {
    std::uint32_t headerSize = 40;          // 12, 40, 52, 56, 108, 124; OS/2 2.x: 64 or 16..60
                                            // (cut after that many bytes); or anything else
    std::int32_t width = 0;
    std::int32_t height = 0;                // negative: rows top-down
    std::uint16_t bitsPerPixel = 24;
    std::uint32_t compression = 0;          // 0 RGB, 1 RLE8, 2 RLE4, 3 bitfields, 6 alpha bitfields
    std::uint32_t colorsUsed = 0;
    std::vector<std::uint32_t> palette;     // 0xRRGGBB; 3 bytes each under a 12-byte header
    std::array<std::uint32_t, 4> masks{};   // R G B A: inside headers of 52+ bytes, after a
                                            // 40-byte header when the compression is bitfields
    Bytes pixelData;                        // exactly as stored
    std::optional<std::uint32_t> pixelOffset;   // default: right after the palette
    Bytes os2Fields;                        // an OS/2 2.x header's bytes after the first 40
    std::uint32_t imageSize = 0;            // the stored size field; 0: the pixel data's size
};
Bytes writeBmp(const BmpFile& file);

// Rows padded to 4 bytes, bottom-up unless topDown.
Bytes encodeBmp24(const RgbaImage& image, bool topDown);
Bytes encodeBmp32(const RgbaImage& image, bool topDown);   // v5 header with an alpha mask
Bytes encodeBmp8(const IndexedImage& image, bool topDown);
Bytes encodeBmpRle8(const IndexedImage& image);
// Row bytes of a paletted picture at 1, 4 or 8 bits, padded to 4 bytes, bottom-up unless topDown.
Bytes packBmpIndexes(const IndexedImage& image, int bitsPerPixel, bool topDown);

// ---- TGA
struct TgaFile {
    std::string id;
    std::uint8_t colorMapType = 0;
    std::uint8_t imageType = 2;
    std::uint16_t colorMapFirst = 0;
    std::uint16_t colorMapLength = 0;
    std::uint8_t colorMapEntryBits = 0;
    Bytes colorMap;                         // exactly as stored
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint8_t pixelBits = 24;
    std::uint8_t descriptor = 0;            // 0x20 top origin, 0x10 right origin, low bits alpha
    Bytes pixelData;                        // exactly as stored
};
Bytes writeTga(const TgaFile& file);

// 24 or 32 bits, uncompressed (type 2) or run-length encoded per row (type 10).
Bytes encodeTga(const RgbaImage& image, int bits, bool rle, bool topOrigin);

// ---- PNG through libpng's full writer (any colour type, bit depth, interlacing).
struct PngFile {
    int width = 0;
    int height = 0;
    int bitDepth = 8;
    int colorType = 6;                      // PNG_COLOR_TYPE_RGB_ALPHA
    bool interlaced = false;
    Bytes rows;                             // height rows of packed samples, no filter bytes
    std::vector<std::uint32_t> palette;     // 0xRRGGBB
    Bytes transparency;                     // tRNS alpha per palette entry
};
std::optional<Bytes> writePng(const PngFile& file);
std::optional<Bytes> encodePng(const RgbaImage& image);

// ---- JPEG through libjpeg-turbo.
struct JpegSettings {
    int quality = 90;
    bool progressive = false;
    bool grayscale = false;
};
std::optional<Bytes> encodeJpeg(const RgbaImage& image, const JpegSettings& settings = {});
// Four components as given, marked as Adobe CMYK (which stores the inks inverted).
std::optional<Bytes> encodeJpegCmyk(int width, int height, const Bytes& inks, int quality);

bool writeFile(const std::string& path, const Bytes& bytes);

}  // namespace marquetor::imagewrite
