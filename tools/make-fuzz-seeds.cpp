// Writes the seed files of the decoder fuzz targets: small valid files covering the
// variants each decoder handles.
//
//   make_fuzz_seeds SEEDS_FOLDER      (writes png/, jpeg/, bmp/, tga/ and image/ in it)

#include <cstdio>
#include <filesystem>
#include <string>

#include <zlib.h>

#include "imagewrite.h"

namespace {

using marquetor::imagecodec::RgbaImage;
using marquetor::imagewrite::Bytes;
namespace imagewrite = marquetor::imagewrite;
namespace fs = std::filesystem;

RgbaImage pattern(int width, int height, bool alpha)
{
    RgbaImage image;
    image.width = width;
    image.height = height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool band = (x / 3 + y / 2) % 2;
            image.pixels.push_back(static_cast<std::uint8_t>(band ? 200 : x * 20));
            image.pixels.push_back(static_cast<std::uint8_t>(y * 30));
            image.pixels.push_back(static_cast<std::uint8_t>(band ? 40 : 120));
            image.pixels.push_back(static_cast<std::uint8_t>(alpha ? (x * 40 + y * 10) & 255 : 255));
        }
    return image;
}

imagewrite::IndexedImage indexed(int width, int height, int colours)
{
    imagewrite::IndexedImage image;
    image.width = width;
    image.height = height;
    for (int i = 0; i < colours; ++i)
        image.palette.push_back(static_cast<std::uint32_t>(i * 0x102030) & 0xFFFFFF);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.indexes.push_back(static_cast<std::uint8_t>(((x / 2) + y) % colours));
    return image;
}

// A PNG file again with its image data split into IDAT chunks of at most `piece` bytes
// and a text chunk in front of the end chunk.
Bytes splitImageData(const Bytes& png, std::size_t piece)
{
    auto chunk = [](Bytes& out, const char* type, const std::uint8_t* body, std::size_t length) {
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<std::uint8_t>(length >> shift));
        const std::size_t typeAt = out.size();
        out.insert(out.end(), type, type + 4);
        out.insert(out.end(), body, body + length);
        const uLong crc = crc32(0L, out.data() + typeAt, static_cast<uInt>(length + 4));
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<std::uint8_t>(crc >> shift));
    };
    Bytes out(png.begin(), png.begin() + 8);
    Bytes data;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::size_t length = (std::size_t{png[at]} << 24) | (std::size_t{png[at + 1]} << 16) |
                                   (std::size_t{png[at + 2]} << 8) | png[at + 3];
        const std::string type(png.begin() + static_cast<std::ptrdiff_t>(at + 4), png.begin() + static_cast<std::ptrdiff_t>(at + 8));
        const std::uint8_t* body = png.data() + at + 8;
        if (type == "IDAT") {
            data.insert(data.end(), body, body + length);
        } else if (type == "IEND") {
            for (std::size_t from = 0; from < data.size(); from += piece)
                chunk(out, "IDAT", data.data() + from, std::min(piece, data.size() - from));
            const std::uint8_t text[] = {'k', 0, 'v'};
            chunk(out, "tEXt", text, sizeof text);
            chunk(out, "IEND", nullptr, 0);
        } else {
            chunk(out, type.c_str(), body, length);
        }
        at += length + 12;
    }
    return out;
}

bool ok = true;

void save(const fs::path& folder, const std::string& name, const std::optional<Bytes>& bytes)
{
    if (!bytes || !imagewrite::writeFile((folder / name).string(), *bytes)) {
        std::fprintf(stderr, "make_fuzz_seeds: could not write %s\n", (folder / name).string().c_str());
        ok = false;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds SEEDS_FOLDER\n");
        return 2;
    }
    const fs::path root(argv[1]);
    for (const char* name : {"png", "jpeg", "bmp", "tga", "image"})
        fs::create_directories(root / name);
    const fs::path png = root / "png", jpeg = root / "jpeg", bmp = root / "bmp", tga = root / "tga",
                   image = root / "image";

    // PNG: every colour type, low and high depths, interlacing, transparency.
    save(png, "rgba8.png", imagewrite::encodePng(pattern(8, 6, true)));
    {
        imagewrite::PngFile f;
        f.width = 5;
        f.height = 4;
        f.colorType = 2;
        for (int i = 0; i < 5 * 4; ++i)
            f.rows.insert(f.rows.end(), {std::uint8_t(i * 12), std::uint8_t(255 - i * 12), 77});
        save(png, "rgb8.png", imagewrite::writePng(f));
        f.interlaced = true;
        save(png, "rgb8-interlaced.png", imagewrite::writePng(f));
    }
    {
        imagewrite::PngFile f;
        f.width = 6;
        f.height = 3;
        f.bitDepth = 4;
        f.colorType = 3;
        f.palette = {0x102030, 0x405060, 0x708090, 0xA0B0C0};
        f.transparency = {0, 128};
        f.rows = {0x01, 0x23, 0x10, 0x32, 0x10, 0x23, 0x00, 0x11, 0x22};
        save(png, "palette4-trns.png", imagewrite::writePng(f));
    }
    {
        imagewrite::PngFile f;
        f.width = 10;
        f.height = 3;
        f.bitDepth = 1;
        f.colorType = 0;
        f.rows = {0xB0, 0x40, 0x55, 0x80, 0xFF, 0xC0};
        save(png, "grey1.png", imagewrite::writePng(f));
    }
    {
        imagewrite::PngFile f;
        f.width = 3;
        f.height = 2;
        f.bitDepth = 16;
        f.colorType = 4;
        for (int i = 0; i < 6; ++i)
            f.rows.insert(f.rows.end(), {std::uint8_t(i * 40), 0x12, 0xFF, std::uint8_t(i * 30)});
        save(png, "greyalpha16.png", imagewrite::writePng(f));
        f.colorType = 6;
        f.rows.clear();
        for (int i = 0; i < 6; ++i)
            f.rows.insert(f.rows.end(), {std::uint8_t(i * 40), 1, 2, 3, 0x80, 0, 0xFF, 0xFF});
        f.interlaced = true;
        save(png, "rgba16-interlaced.png", imagewrite::writePng(f));
    }
    if (const auto whole = imagewrite::encodePng(pattern(9, 7, true)))
        save(png, "split-idat.png", splitImageData(*whole, 16));

    // JPEG: baseline, grey, progressive, CMYK, and a size that is not a multiple of 8.
    save(jpeg, "baseline.jpg", imagewrite::encodeJpeg(pattern(16, 16, false), {75, false, false}));
    save(jpeg, "grey.jpg", imagewrite::encodeJpeg(pattern(16, 8, false), {75, false, true}));
    save(jpeg, "progressive.jpg", imagewrite::encodeJpeg(pattern(24, 16, false), {75, true, false}));
    save(jpeg, "odd-size.jpg", imagewrite::encodeJpeg(pattern(13, 9, false), {60, false, false}));
    {
        Bytes inks;
        for (int i = 0; i < 8 * 8; ++i)
            inks.insert(inks.end(), {std::uint8_t(i * 4), 0, 255, std::uint8_t(255 - i)});
        save(jpeg, "cmyk.jpg", imagewrite::encodeJpegCmyk(8, 8, inks, 75));
    }
    if (auto damaged = imagewrite::encodeJpeg(pattern(8, 8, false), {75, false, false})) {
        const Bytes junk = {0x00, 0x12, 0x34};   // between the start marker and the next one
        damaged->insert(damaged->begin() + 2, junk.begin(), junk.end());
        save(jpeg, "junk-after-start.jpg", damaged);
    }

    // BMP: every depth and header, RLE, top-down.
    const RgbaImage small = pattern(5, 3, false);
    save(bmp, "rgb24.bmp", imagewrite::encodeBmp24(small, false));
    save(bmp, "rgb24-topdown.bmp", imagewrite::encodeBmp24(small, true));
    save(bmp, "argb32-v5.bmp", imagewrite::encodeBmp32(pattern(4, 3, true), false));
    save(bmp, "pal8.bmp", imagewrite::encodeBmp8(indexed(7, 4, 12), false));
    save(bmp, "rle8.bmp", imagewrite::encodeBmpRle8(indexed(12, 4, 5)));
    for (int bits : {1, 4}) {
        const imagewrite::IndexedImage picture = indexed(9, 3, 1 << bits);
        imagewrite::BmpFile f;
        f.width = 9;
        f.height = 3;
        f.bitsPerPixel = static_cast<std::uint16_t>(bits);
        f.palette = picture.palette;
        f.pixelData = imagewrite::packBmpIndexes(picture, bits, false);
        save(bmp, "pal" + std::to_string(bits) + ".bmp", imagewrite::writeBmp(f));
    }
    {
        imagewrite::BmpFile f;   // RLE4 with a run, an absolute stretch, a delta and the end
        f.width = 6;
        f.height = 3;
        f.bitsPerPixel = 4;
        f.compression = 2;
        f.palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
        f.colorsUsed = 4;
        f.pixelData = {4, 0x12, 0, 3, 0x31, 0x20, 0, 0, 0, 2, 1, 1, 3, 0x33, 0, 1};
        save(bmp, "rle4.bmp", imagewrite::writeBmp(f));
    }
    {
        imagewrite::BmpFile f;   // 16 bits: plain 5-5-5, then 5-6-5 bitfields
        f.width = 3;
        f.height = 2;
        f.bitsPerPixel = 16;
        f.pixelData = {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0, 0, 0xFF, 0x7F, 0x10, 0x42, 0x00, 0x00, 0, 0};
        save(bmp, "rgb16.bmp", imagewrite::writeBmp(f));
        f.compression = 3;
        f.masks = {0xF800, 0x07E0, 0x001F, 0};
        save(bmp, "bitfields565.bmp", imagewrite::writeBmp(f));
        f.headerSize = 56;
        f.bitsPerPixel = 32;
        f.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
        f.pixelData = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
        save(bmp, "bitfields32-v3.bmp", imagewrite::writeBmp(f));
    }
    {
        imagewrite::BmpFile f;   // the 12-byte core header with a 3-byte palette
        const imagewrite::IndexedImage picture = indexed(4, 2, 256);
        f.headerSize = 12;
        f.width = 4;
        f.height = 2;
        f.bitsPerPixel = 8;
        f.palette = picture.palette;
        f.pixelData = imagewrite::packBmpIndexes(picture, 8, false);
        save(bmp, "core8.bmp", imagewrite::writeBmp(f));
    }

    // BMP: OS/2 2.x headers (whole and short), 2-bit palette, RLE24, wrapped JPEG and PNG.
    {
        const imagewrite::IndexedImage picture = indexed(6, 3, 4);
        imagewrite::BmpFile f;
        f.headerSize = 64;
        f.width = 6;
        f.height = 3;
        f.bitsPerPixel = 8;
        f.palette = picture.palette;
        f.colorsUsed = 4;
        f.os2Fields.assign(24, 0);
        f.pixelData = imagewrite::packBmpIndexes(picture, 8, false);
        save(bmp, "os2-64-pal8.bmp", imagewrite::writeBmp(f));
        f.bitsPerPixel = 2;
        f.headerSize = 40;
        f.pixelData = imagewrite::packBmpIndexes(picture, 2, false);
        save(bmp, "pal2.bmp", imagewrite::writeBmp(f));
        const Bytes rgb = imagewrite::encodeBmp24(small, false);
        imagewrite::BmpFile shortHeader;
        shortHeader.headerSize = 16;
        shortHeader.width = 5;
        shortHeader.height = 3;
        shortHeader.pixelData.assign(rgb.begin() + 54, rgb.end());
        save(bmp, "os2-16-rgb24.bmp", imagewrite::writeBmp(shortHeader));
    }
    {
        imagewrite::BmpFile f;   // RLE24: a run, an absolute stretch, a delta, the end
        f.headerSize = 64;
        f.width = 4;
        f.height = 3;
        f.bitsPerPixel = 24;
        f.compression = 4;
        f.pixelData = {1, 0, 0, 255, 0, 3, 0, 255, 0, 255, 0, 0, 1, 2, 3, 0, 0, 0,
                       0, 2, 1, 1, 3, 255, 255, 255, 0, 1};
        save(bmp, "os2-rle24.bmp", imagewrite::writeBmp(f));
    }
    for (const bool jpegInside : {true, false}) {
        const auto inner = jpegInside ? imagewrite::encodeJpeg(pattern(8, 8, false), {75, false, false})
                                      : imagewrite::encodePng(pattern(5, 4, true));
        if (!inner) {
            ok = false;
            continue;
        }
        imagewrite::BmpFile f;
        f.width = jpegInside ? 8 : 5;
        f.height = jpegInside ? 8 : 4;
        f.bitsPerPixel = 0;
        f.compression = jpegInside ? 4 : 5;
        f.pixelData = *inner;
        save(bmp, jpegInside ? "wrapped-jpeg.bmp" : "wrapped-png.bmp", imagewrite::writeBmp(f));
        if (!jpegInside)
            save(image, "e.bmp", imagewrite::writeBmp(f));
    }

    // TGA: both types and depths, origins, 16 bits, grey, colour-mapped, an ID field.
    const RgbaImage tgaPicture = pattern(7, 4, true);
    save(tga, "rgb24.tga", imagewrite::encodeTga(tgaPicture, 24, false, false));
    save(tga, "rgba32-top.tga", imagewrite::encodeTga(tgaPicture, 32, false, true));
    save(tga, "rle24.tga", imagewrite::encodeTga(pattern(12, 4, false), 24, true, false));
    save(tga, "rle32-top.tga", imagewrite::encodeTga(tgaPicture, 32, true, true));
    {
        imagewrite::TgaFile f;   // a run crossing rows, right-to-left origin
        f.imageType = 10;
        f.width = 3;
        f.height = 3;
        f.descriptor = 0x30;
        f.id = "seed";
        f.pixelData = {0x84, 30, 20, 10, 0x02, 60, 50, 40, 90, 80, 70, 60, 50, 40, 0x80, 90, 80, 70};
        save(tga, "rle-cross-rows.tga", imagewrite::writeTga(f));
    }
    {
        imagewrite::TgaFile f;
        f.width = 3;
        f.height = 2;
        f.pixelBits = 16;
        f.descriptor = 1;
        f.pixelData = {0x00, 0xFC, 0xE0, 0x03, 0x1F, 0x80, 0xFF, 0x7F, 0x10, 0x42, 0x00, 0x00};
        save(tga, "argb16.tga", imagewrite::writeTga(f));
    }
    {
        imagewrite::TgaFile f;
        f.imageType = 11;
        f.width = 4;
        f.height = 2;
        f.pixelBits = 8;
        f.pixelData = {0x83, 90, 0x01, 10, 20, 0x81, 250};
        save(tga, "grey-rle.tga", imagewrite::writeTga(f));
    }
    {
        imagewrite::TgaFile f;
        f.imageType = 9;
        f.colorMapType = 1;
        f.colorMapFirst = 2;
        f.colorMapLength = 3;
        f.colorMapEntryBits = 24;
        f.colorMap = {1, 2, 3, 4, 5, 6, 7, 8, 9};
        f.width = 4;
        f.height = 2;
        f.pixelBits = 8;
        f.pixelData = {0x81, 2, 0x02, 3, 4, 2, 0x81, 3};
        save(tga, "mapped-rle.tga", imagewrite::writeTga(f));
    }

    // The common entry point: one of each.
    save(image, "a.png", imagewrite::encodePng(pattern(6, 5, true)));
    save(image, "b.jpg", imagewrite::encodeJpeg(pattern(16, 8, false), {70, true, false}));
    save(image, "c.bmp", imagewrite::encodeBmp8(indexed(6, 3, 9), true));
    save(image, "d.tga", imagewrite::encodeTga(pattern(6, 3, true), 32, true, false));
    return ok ? 0 : 1;
}
