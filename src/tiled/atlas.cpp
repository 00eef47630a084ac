// Cutting atlases and writing cells as PNG.
//
// libpng reports errors by longjmp, so its calls sit in one C-style function that holds no
// C++ object with a destructor; the rows and the output buffer are made before it runs.

#include "tiled/atlas.h"

#include <png.h>

#include <cstring>

namespace marquetor::tiled {

namespace {

struct Sink {
    std::vector<std::uint8_t>* out = nullptr;
    bool failed = false;
};

void writeToSink(png_structp png, png_bytep data, png_size_t n) {
    auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
    if (sink->failed) return;
    try {
        sink->out->insert(sink->out->end(), data, data + n);
    } catch (...) {
        sink->failed = true;   // the rest is written nowhere; the result is thrown away
    }
}

void flushSink(png_structp) {}

// 0 when written.
int encodeRows(png_bytep* rows, png_uint_32 width, png_uint_32 height, int colorType, Sink* sink) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return 1;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return 1;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return 1;
    }
    png_set_write_fn(png, sink, writeToSink, flushSink);
    png_set_IHDR(png, info, width, height, 8, colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
    png_set_rows(png, info, rows);
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return 0;
}

}  // namespace

Grid GridOf(std::int64_t imageWidth, std::int64_t imageHeight, std::int64_t tileWidth, std::int64_t tileHeight,
            std::int64_t margin, std::int64_t spacing) {
    Grid g;
    if (tileWidth <= 0 || tileHeight <= 0 || margin < 0 || spacing < 0) return g;
    const std::int64_t across = imageWidth - margin + spacing;
    const std::int64_t down = imageHeight - margin + spacing;
    g.columns = across > 0 ? across / (tileWidth + spacing) : 0;
    g.rows = down > 0 ? down / (tileHeight + spacing) : 0;
    if (g.columns <= 0 || g.rows <= 0) g = Grid{};
    return g;
}

imagecodec::RgbaImage CutCell(const imagecodec::RgbaImage& image, std::int64_t x, std::int64_t y, std::int64_t width,
                              std::int64_t height) {
    imagecodec::RgbaImage cell;
    cell.width = static_cast<int>(width);
    cell.height = static_cast<int>(height);
    cell.pixels.resize(static_cast<std::size_t>(width * height * 4));
    for (std::int64_t row = 0; row < height; ++row)
        std::memcpy(cell.pixels.data() + row * width * 4,
                    image.pixels.data() + ((y + row) * image.width + x) * 4, static_cast<std::size_t>(width * 4));
    return cell;
}

void MakeColorTransparent(imagecodec::RgbaImage& image, std::uint32_t rgb) {
    const std::uint8_t r = static_cast<std::uint8_t>(rgb >> 16), g = static_cast<std::uint8_t>(rgb >> 8),
                       b = static_cast<std::uint8_t>(rgb);
    for (std::size_t i = 0; i + 3 < image.pixels.size(); i += 4)
        if (image.pixels[i] == r && image.pixels[i + 1] == g && image.pixels[i + 2] == b) image.pixels[i + 3] = 0;
}

std::optional<std::vector<std::uint8_t>> EncodePng(const imagecodec::RgbaImage& image) {
    if (image.width <= 0 || image.height <= 0) return std::nullopt;
    bool opaque = true;
    for (std::size_t i = 3; i < image.pixels.size() && opaque; i += 4) opaque = image.pixels[i] == 255;
    const std::size_t count = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    std::vector<std::uint8_t> rgb;
    const std::uint8_t* pixels = image.pixels.data();
    std::size_t stride = static_cast<std::size_t>(image.width) * 4;
    if (opaque) {
        rgb.resize(count * 3);
        for (std::size_t i = 0; i < count; ++i) std::memcpy(rgb.data() + i * 3, pixels + i * 4, 3);
        pixels = rgb.data();
        stride = static_cast<std::size_t>(image.width) * 3;
    }
    std::vector<png_bytep> rows(static_cast<std::size_t>(image.height));
    for (std::size_t y = 0; y < rows.size(); ++y) rows[y] = const_cast<png_bytep>(pixels + y * stride);
    std::vector<std::uint8_t> out;
    out.reserve(count + 128);
    Sink sink{&out, false};
    if (encodeRows(rows.data(), static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height),
                   opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA, &sink) != 0 ||
        sink.failed)
        return std::nullopt;
    return out;
}

}  // namespace marquetor::tiled
