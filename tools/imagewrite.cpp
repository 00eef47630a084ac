// Writers for tests and the example textures. libpng and libjpeg report errors by
// longjmp, so their calls sit in C-style functions over plain buffers.

#include "imagewrite.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <jpeglib.h>

namespace marquetor::imagewrite {

namespace {

void put16(Bytes& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(Bytes& out, std::uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void set32(Bytes& out, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

// ---- BMP

Bytes writeBmp(const BmpFile& file)
{
    Bytes out;
    out.push_back('B');
    out.push_back('M');
    put32(out, 0);   // file size, set below
    put32(out, 0);
    put32(out, 0);   // pixel offset, set below
    const std::size_t headerStart = out.size();
    put32(out, file.headerSize);
    if (file.headerSize == 12) {
        put16(out, static_cast<std::uint16_t>(file.width));
        put16(out, static_cast<std::uint16_t>(file.height));
        put16(out, 1);
        put16(out, file.bitsPerPixel);
    } else {
        put32(out, static_cast<std::uint32_t>(file.width));
        put32(out, static_cast<std::uint32_t>(file.height));
        put16(out, 1);
        put16(out, file.bitsPerPixel);
        put32(out, file.compression);
        put32(out, file.imageSize != 0 ? file.imageSize : static_cast<std::uint32_t>(file.pixelData.size()));
        put32(out, 2835);   // 72 dpi
        put32(out, 2835);
        put32(out, file.colorsUsed);
        put32(out, 0);
        // OS/2 2.x headers hold other fields after the first 40 bytes, and may stop early.
        const bool os2 = file.headerSize >= 16 && file.headerSize <= 64 && file.headerSize != 40 &&
                         file.headerSize != 52 && file.headerSize != 56;
        if (os2) {
            out.resize(headerStart + std::min<std::uint32_t>(file.headerSize, 40));
            for (std::size_t i = 0; i < file.os2Fields.size() && out.size() < headerStart + file.headerSize; ++i)
                out.push_back(file.os2Fields[i]);
        }
        if (file.headerSize >= 52 && !os2)
            for (int i = 0; i < 3; ++i)
                put32(out, file.masks[i]);
        if (file.headerSize >= 56 && !os2)
            put32(out, file.masks[3]);
        if (file.headerSize >= 108)
            put32(out, 0x73524742);   // colour space: sRGB
        while (out.size() < headerStart + file.headerSize)
            out.push_back(0);
        if (file.headerSize >= 124)
            set32(out, headerStart + 108, 4);   // rendering intent: images
        if (file.headerSize == 40 && (file.compression == 3 || file.compression == 6))
            for (int i = 0; i < (file.compression == 6 ? 4 : 3); ++i)
                put32(out, file.masks[i]);
    }
    for (std::uint32_t entry : file.palette) {
        out.push_back(static_cast<std::uint8_t>(entry));
        out.push_back(static_cast<std::uint8_t>(entry >> 8));
        out.push_back(static_cast<std::uint8_t>(entry >> 16));
        if (file.headerSize != 12)
            out.push_back(0);
    }
    std::uint32_t offset = static_cast<std::uint32_t>(out.size());
    if (file.pixelOffset) {
        offset = *file.pixelOffset;
        while (out.size() < offset && offset - out.size() < 4096)
            out.push_back(0);
    }
    set32(out, 10, offset);
    out.insert(out.end(), file.pixelData.begin(), file.pixelData.end());
    set32(out, 2, static_cast<std::uint32_t>(out.size()));
    return out;
}

Bytes encodeBmp24(const RgbaImage& image, bool topDown)
{
    BmpFile file;
    file.width = image.width;
    file.height = topDown ? -image.height : image.height;
    file.bitsPerPixel = 24;
    const std::size_t stride = (static_cast<std::size_t>(image.width) * 3 + 3) / 4 * 4;
    file.pixelData.assign(stride * image.height, 0);
    for (int row = 0; row < image.height; ++row) {
        const int y = topDown ? row : image.height - 1 - row;
        std::uint8_t* dst = file.pixelData.data() + row * stride;
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t* p = image.pixels.data() + (static_cast<std::size_t>(y) * image.width + x) * 4;
            dst[x * 3 + 0] = p[2];
            dst[x * 3 + 1] = p[1];
            dst[x * 3 + 2] = p[0];
        }
    }
    return writeBmp(file);
}

Bytes encodeBmp32(const RgbaImage& image, bool topDown)
{
    BmpFile file;
    file.headerSize = 124;
    file.width = image.width;
    file.height = topDown ? -image.height : image.height;
    file.bitsPerPixel = 32;
    file.compression = 3;
    file.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    file.pixelData.reserve(image.pixels.size());
    for (int row = 0; row < image.height; ++row) {
        const int y = topDown ? row : image.height - 1 - row;
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t* p = image.pixels.data() + (static_cast<std::size_t>(y) * image.width + x) * 4;
            file.pixelData.insert(file.pixelData.end(), {p[2], p[1], p[0], p[3]});
        }
    }
    return writeBmp(file);
}

Bytes packBmpIndexes(const IndexedImage& image, int bitsPerPixel, bool topDown)
{
    const std::size_t stride = (static_cast<std::size_t>(image.width) * bitsPerPixel + 31) / 32 * 4;
    Bytes out(stride * image.height, 0);
    const int perByte = 8 / bitsPerPixel;
    for (int row = 0; row < image.height; ++row) {
        const int y = topDown ? row : image.height - 1 - row;
        std::uint8_t* dst = out.data() + row * stride;
        for (int x = 0; x < image.width; ++x) {
            const unsigned index = image.indexes[static_cast<std::size_t>(y) * image.width + x] & ((1u << bitsPerPixel) - 1);
            const int shift = 8 - bitsPerPixel * (x % perByte + 1);
            dst[x / perByte] = static_cast<std::uint8_t>(dst[x / perByte] | (index << shift));
        }
    }
    return out;
}

Bytes encodeBmp8(const IndexedImage& image, bool topDown)
{
    BmpFile file;
    file.width = image.width;
    file.height = topDown ? -image.height : image.height;
    file.bitsPerPixel = 8;
    file.colorsUsed = static_cast<std::uint32_t>(image.palette.size());
    file.palette = image.palette;
    file.pixelData = packBmpIndexes(image, 8, topDown);
    return writeBmp(file);
}

Bytes encodeBmpRle8(const IndexedImage& image)
{
    BmpFile file;
    file.width = image.width;
    file.height = image.height;
    file.bitsPerPixel = 8;
    file.compression = 1;
    file.colorsUsed = static_cast<std::uint32_t>(image.palette.size());
    file.palette = image.palette;
    for (int y = image.height - 1; y >= 0; --y) {
        const std::uint8_t* row = image.indexes.data() + static_cast<std::size_t>(y) * image.width;
        int x = 0;
        while (x < image.width) {
            int run = 1;
            while (x + run < image.width && run < 255 && row[x + run] == row[x])
                ++run;
            file.pixelData.push_back(static_cast<std::uint8_t>(run));
            file.pixelData.push_back(row[x]);
            x += run;
        }
        file.pixelData.push_back(0);   // end of line
        file.pixelData.push_back(0);
    }
    file.pixelData.back() = 1;   // the last end of line becomes end of bitmap
    return writeBmp(file);
}

// ---- TGA

Bytes writeTga(const TgaFile& file)
{
    Bytes out;
    out.push_back(static_cast<std::uint8_t>(file.id.size()));
    out.push_back(file.colorMapType);
    out.push_back(file.imageType);
    put16(out, file.colorMapFirst);
    put16(out, file.colorMapLength);
    out.push_back(file.colorMapEntryBits);
    put16(out, 0);
    put16(out, 0);
    put16(out, file.width);
    put16(out, file.height);
    out.push_back(file.pixelBits);
    out.push_back(file.descriptor);
    out.insert(out.end(), file.id.begin(), file.id.end());
    out.insert(out.end(), file.colorMap.begin(), file.colorMap.end());
    out.insert(out.end(), file.pixelData.begin(), file.pixelData.end());
    return out;
}

Bytes encodeTga(const RgbaImage& image, int bits, bool rle, bool topOrigin)
{
    TgaFile file;
    file.imageType = rle ? 10 : 2;
    file.width = static_cast<std::uint16_t>(image.width);
    file.height = static_cast<std::uint16_t>(image.height);
    file.pixelBits = static_cast<std::uint8_t>(bits);
    file.descriptor = static_cast<std::uint8_t>((bits == 32 ? 8 : 0) | (topOrigin ? 0x20 : 0));
    const int bytes = bits / 8;
    auto pixel = [&](int x, int y, std::uint8_t* out) {
        const std::uint8_t* p = image.pixels.data() + (static_cast<std::size_t>(y) * image.width + x) * 4;
        out[0] = p[2];
        out[1] = p[1];
        out[2] = p[0];
        if (bytes == 4)
            out[3] = p[3];
    };
    for (int row = 0; row < image.height; ++row) {
        const int y = topOrigin ? row : image.height - 1 - row;
        std::vector<std::array<std::uint8_t, 4>> line(image.width);
        for (int x = 0; x < image.width; ++x)
            pixel(x, y, line[x].data());
        if (!rle) {
            for (const auto& p : line)
                file.pixelData.insert(file.pixelData.end(), p.begin(), p.begin() + bytes);
            continue;
        }
        int x = 0;
        while (x < image.width) {
            int run = 1;
            while (x + run < image.width && run < 128 && line[x + run] == line[x])
                ++run;
            if (run >= 2) {
                file.pixelData.push_back(static_cast<std::uint8_t>(0x80 | (run - 1)));
                file.pixelData.insert(file.pixelData.end(), line[x].begin(), line[x].begin() + bytes);
                x += run;
                continue;
            }
            // A raw packet up to the next pair of equal pixels.
            int raw = 1;
            while (x + raw < image.width && raw < 128 &&
                   !(x + raw + 1 < image.width && line[x + raw] == line[x + raw + 1]))
                ++raw;
            file.pixelData.push_back(static_cast<std::uint8_t>(raw - 1));
            for (int i = 0; i < raw; ++i)
                file.pixelData.insert(file.pixelData.end(), line[x + i].begin(), line[x + i].begin() + bytes);
            x += raw;
        }
    }
    return writeTga(file);
}

// ---- PNG

namespace {

struct MemoryBuffer {
    unsigned char* data;
    std::size_t size;
    std::size_t capacity;
    bool failed;
};

void pngWriteToBuffer(png_structp png, png_bytep bytes, png_size_t length)
{
    MemoryBuffer* buffer = static_cast<MemoryBuffer*>(png_get_io_ptr(png));
    if (buffer->size + length > buffer->capacity) {
        std::size_t capacity = std::max<std::size_t>(buffer->capacity * 2, buffer->size + length + 4096);
        void* grown = std::realloc(buffer->data, capacity);
        if (!grown) {
            buffer->failed = true;
            png_error(png, "out of memory");
        }
        buffer->data = static_cast<unsigned char*>(grown);
        buffer->capacity = capacity;
    }
    std::memcpy(buffer->data + buffer->size, bytes, length);
    buffer->size += length;
}

void pngFlush(png_structp) {}

// C style: nothing with a destructor lives here while libpng may jump.
bool pngWrite(const PngFile* file, png_bytep* rows, png_color* palette, int paletteSize, MemoryBuffer* buffer)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, buffer, pngWriteToBuffer, pngFlush);
    png_set_IHDR(png, info, file->width, file->height, file->bitDepth, file->colorType,
                 file->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (paletteSize > 0)
        png_set_PLTE(png, info, palette, paletteSize);
    if (!file->transparency.empty())
        png_set_tRNS(png, info, file->transparency.data(), static_cast<int>(file->transparency.size()), nullptr);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

std::optional<Bytes> writePng(const PngFile& file)
{
    if (file.width <= 0 || file.height <= 0 || file.rows.empty() || file.rows.size() % file.height != 0)
        return std::nullopt;
    const std::size_t stride = file.rows.size() / file.height;
    std::vector<png_bytep> rows(file.height);
    for (int y = 0; y < file.height; ++y)
        rows[y] = const_cast<png_bytep>(file.rows.data() + y * stride);
    std::vector<png_color> palette;
    for (std::uint32_t entry : file.palette)
        palette.push_back(png_color{static_cast<png_byte>(entry >> 16), static_cast<png_byte>(entry >> 8),
                                    static_cast<png_byte>(entry)});
    MemoryBuffer buffer{nullptr, 0, 0, false};
    const bool ok = pngWrite(&file, rows.data(), palette.data(), static_cast<int>(palette.size()), &buffer);
    std::optional<Bytes> out;
    if (ok && !buffer.failed)
        out = Bytes(buffer.data, buffer.data + buffer.size);
    std::free(buffer.data);
    return out;
}

std::optional<Bytes> encodePng(const RgbaImage& image)
{
    PngFile file;
    file.width = image.width;
    file.height = image.height;
    file.rows = image.pixels;
    return writePng(file);
}

// ---- JPEG

namespace {

struct JpegWriteError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void onJpegWriteError(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<JpegWriteError*>(cinfo->err)->jump, 1);
}

struct JpegJob {
    const unsigned char* samples;
    int width;
    int height;
    int components;
    J_COLOR_SPACE space;
    int quality;
    bool progressive;
    unsigned char* out;
    unsigned long outSize;
};

// C style: nothing with a destructor lives here while libjpeg may jump.
bool jpegWrite(JpegJob* job)
{
    jpeg_compress_struct cinfo;
    JpegWriteError error;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = onJpegWriteError;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &job->out, &job->outSize);
    cinfo.image_width = static_cast<JDIMENSION>(job->width);
    cinfo.image_height = static_cast<JDIMENSION>(job->height);
    cinfo.input_components = job->components;
    cinfo.in_color_space = job->space;
    jpeg_set_defaults(&cinfo);
    if (job->space == JCS_CMYK)
        jpeg_set_colorspace(&cinfo, JCS_CMYK);
    jpeg_set_quality(&cinfo, job->quality, TRUE);
    if (job->progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(job->samples) +
                       static_cast<std::size_t>(cinfo.next_scanline) * job->width * job->components;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

std::optional<Bytes> runJpegJob(JpegJob job)
{
    std::optional<Bytes> out;
    if (jpegWrite(&job))
        out = Bytes(job.out, job.out + job.outSize);
    std::free(job.out);
    return out;
}

}  // namespace

std::optional<Bytes> encodeJpeg(const RgbaImage& image, const JpegSettings& settings)
{
    if (image.width <= 0 || image.height <= 0)
        return std::nullopt;
    const int components = settings.grayscale ? 1 : 3;
    Bytes samples;
    samples.reserve(static_cast<std::size_t>(image.width) * image.height * components);
    for (std::size_t i = 0; i + 3 < image.pixels.size(); i += 4) {
        const std::uint8_t* p = image.pixels.data() + i;
        if (settings.grayscale)
            samples.push_back(static_cast<std::uint8_t>((p[0] * 299 + p[1] * 587 + p[2] * 114 + 500) / 1000));
        else
            samples.insert(samples.end(), {p[0], p[1], p[2]});
    }
    return runJpegJob(JpegJob{samples.data(), image.width, image.height, components,
                              settings.grayscale ? JCS_GRAYSCALE : JCS_RGB, settings.quality, settings.progressive,
                              nullptr, 0});
}

std::optional<Bytes> encodeJpegCmyk(int width, int height, const Bytes& inks, int quality)
{
    if (width <= 0 || height <= 0 || inks.size() != static_cast<std::size_t>(width) * height * 4)
        return std::nullopt;
    return runJpegJob(JpegJob{inks.data(), width, height, 4, JCS_CMYK, quality, false, nullptr, 0});
}

bool writeFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace marquetor::imagewrite
