// Previews: a 4096 x 4096 JPEG and PNG brought to a 128 x 128 preview the way the tabs do
// it (decode with the preview's size as a hint, then smooth scaling), against the
// libraries' own decoding of the same files.

#include <benchmark/benchmark.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "imagewrite.h"
#include "platform/image.h"

namespace {

using namespace marquetor;
using Bytes = std::vector<std::uint8_t>;

constexpr int kSide = 4096;
constexpr int kPreview = 128;

// A photo-like picture: smooth colour fields with fine noise, the same every run.
imagecodec::RgbaImage makePicture() {
    imagecodec::RgbaImage image;
    image.width = image.height = kSide;
    image.pixels.resize(static_cast<std::size_t>(kSide) * kSide * 4);
    std::uint32_t state = 12345;
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>(state >> 29);   // 0..7
            std::uint8_t* p = image.pixels.data() + (static_cast<std::size_t>(y) * kSide + x) * 4;
            p[0] = static_cast<std::uint8_t>(((x >> 4) + (y >> 6) + noise) & 255);
            p[1] = static_cast<std::uint8_t>(((y >> 4) + noise * 2) & 255);
            p[2] = static_cast<std::uint8_t>((((x + y) >> 5) + noise) & 255);
            p[3] = 255;
        }
    }
    return image;
}

const Bytes& jpegFile() {
    static const Bytes file = [] {
        auto encoded = imagewrite::encodeJpeg(makePicture(), {.quality = 90});
        if (!encoded) std::abort();
        return *encoded;
    }();
    return file;
}

// An opaque picture is stored the way a painting program stores it: RGB, 8 bits.
const Bytes& pngFile() {
    static const Bytes file = [] {
        const auto picture = makePicture();
        imagewrite::PngFile png;
        png.width = png.height = kSide;
        png.colorType = PNG_COLOR_TYPE_RGB;
        png.rows.resize(static_cast<std::size_t>(kSide) * kSide * 3);
        for (std::size_t i = 0, j = 0; i < picture.pixels.size(); i += 4, j += 3) {
            png.rows[j] = picture.pixels[i];
            png.rows[j + 1] = picture.pixels[i + 1];
            png.rows[j + 2] = picture.pixels[i + 2];
        }
        auto encoded = imagewrite::writePng(png);
        if (!encoded) std::abort();
        return *encoded;
    }();
    return file;
}

// --- The libraries on their own -----------------------------------------------------------

struct JpegError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};
[[noreturn]] void jpegFail(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1); }

// libjpeg-turbo at the DCT scale the editor picks (the smallest n/8 still at least 128 on
// each side), RGBA out, into one buffer. Plain C: nothing with a destructor near setjmp.
bool libjpegDecode(const Bytes* file, std::uint8_t* out, std::size_t outSize) {
    jpeg_decompress_struct cinfo;
    JpegError error;
    cinfo.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = jpegFail;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file->data(), static_cast<unsigned long>(file->size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_RGBA;
    cinfo.scale_num = 1;
    cinfo.scale_denom = 8;
    jpeg_start_decompress(&cinfo);
    const std::size_t stride = static_cast<std::size_t>(cinfo.output_width) * 4;
    if (stride * cinfo.output_height > outSize) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out + cinfo.output_scanline * stride;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

struct PngSource {
    const Bytes* file;
    std::size_t at;
};
void pngRead(png_structp png, png_bytep out, png_size_t n) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (source->at + n > source->file->size()) png_error(png, "read past the end");
    std::memcpy(out, source->file->data() + source->at, n);
    source->at += n;
}

// libpng's plain decode: every row in the file's own pixel format, no transformations,
// into one buffer holding the whole picture.
bool libpngDecode(const Bytes* file, std::uint8_t* out, std::size_t outSize) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    PngSource source{file, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &source, pngRead);
    png_read_info(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (rowBytes * height > outSize) png_error(png, "too large");
    for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, out + y * rowBytes, nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

// --- The figures ------------------------------------------------------------------------

void BM_JpegLibjpegScaled(benchmark::State& state) {
    const Bytes& file = jpegFile();
    for (auto _ : state) {
        const std::size_t size = static_cast<std::size_t>(kSide / 8) * (kSide / 8) * 4;
        auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(size);
        if (!libjpegDecode(&file, buffer.get(), size)) state.SkipWithError("libjpeg failed");
        benchmark::DoNotOptimize(buffer.get());
    }
}

// What the Textures and Tiles tabs do for a preview: decode at the reduced scale, then
// scale to 128 x 128.
void previewOf(benchmark::State& state, const Bytes& file) {
    for (auto _ : state) {
        platform::Image image;
        image.decode(file, kPreview);
        image.scale(kPreview, kPreview);
        if (image.width() != kPreview) state.SkipWithError("no preview");
        benchmark::DoNotOptimize(image.pixels().pixels.data());
    }
}

void BM_JpegPreview(benchmark::State& state) { previewOf(state, jpegFile()); }

void BM_PngLibpng(benchmark::State& state) {
    const Bytes& file = pngFile();
    for (auto _ : state) {
        const std::size_t size = static_cast<std::size_t>(kSide) * kSide * 3;
        auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(size);
        if (!libpngDecode(&file, buffer.get(), size)) state.SkipWithError("libpng failed");
        benchmark::DoNotOptimize(buffer.get());
    }
}

void BM_PngPreview(benchmark::State& state) { previewOf(state, pngFile()); }

}  // namespace

BENCHMARK(BM_JpegLibjpegScaled)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(5);
BENCHMARK(BM_JpegPreview)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(5);
BENCHMARK(BM_PngLibpng)->Unit(benchmark::kMillisecond)->Iterations(2)->Repetitions(5);
BENCHMARK(BM_PngPreview)->Unit(benchmark::kMillisecond)->Iterations(2)->Repetitions(5);

BENCHMARK_MAIN();
