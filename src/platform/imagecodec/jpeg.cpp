// JPEG through libjpeg-turbo, from memory. libjpeg reports fatal errors through a
// longjmp, so everything that can fail runs in small C-style functions that hold no C++
// object with a destructor while the jump is armed; the C++ side only allocates the
// picture between the two phases.

#include <csetjmp>
#include <cstddef>
#include <cstdio>   // jpeglib.h needs FILE

#include <jpeglib.h>

#include "platform/imagecodec/codecutil.h"
#include "platform/imagecodec/imagecodec.h"

namespace marquetor::imagecodec {

namespace {

struct JpegErrorManager {
    jpeg_error_mgr pub;   // first member: libjpeg hands back a pointer to it
    std::jmp_buf jump;
};

// Plain data only: it crosses longjmp.
struct JpegSession {
    jpeg_decompress_struct cinfo;
    JpegErrorManager error;
    jpeg_progress_mgr progress;
    bool created;
    bool cmyk;
    bool adobe;
};

[[noreturn]] void onJpegError(j_common_ptr cinfo)
{
    JpegErrorManager* error = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    std::longjmp(error->jump, 1);
}

void onJpegMessage(j_common_ptr) {}   // warnings are not printed

// Called at least once per scan while a multi-scan file is absorbed: a file may not make
// us walk the coefficient buffer more than kMaxJpegScans times.
void onJpegProgress(j_common_ptr cinfo)
{
    if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxJpegScans)
        onJpegError(cinfo);
}

// Phase 1: header, limits, scale, start. Plain C style: nothing here has a destructor.
bool jpegStart(JpegSession* s, const unsigned char* data, unsigned long size, int minSide, long long maxPixels)
{
    s->cinfo.err = jpeg_std_error(&s->error.pub);
    s->error.pub.error_exit = onJpegError;
    s->error.pub.output_message = onJpegMessage;
    if (setjmp(s->error.jump))
        return false;
    s->created = true;
    jpeg_create_decompress(&s->cinfo);
    s->progress.progress_monitor = onJpegProgress;
    s->cinfo.progress = &s->progress;
    // Large buffers (the coefficients of a progressive file) beyond this fail cleanly.
    s->cinfo.mem->max_memory_to_use = static_cast<long>(maxPixels * 10 + 64L * 1024 * 1024);
    jpeg_mem_src(&s->cinfo, data, size);
    if (jpeg_read_header(&s->cinfo, TRUE) != JPEG_HEADER_OK)
        return false;
    if (!detail::sizeAllowed(s->cinfo.image_width, s->cinfo.image_height, maxPixels))
        return false;

    if (s->cinfo.jpeg_color_space == JCS_CMYK || s->cinfo.jpeg_color_space == JCS_YCCK) {
        s->cinfo.out_color_space = JCS_CMYK;
        s->cmyk = true;
        s->adobe = s->cinfo.saw_Adobe_marker;
    } else {
        s->cinfo.out_color_space = JCS_EXT_RGBA;
    }
    // The smallest DCT scale (n/8) that still gives at least minSide on both sides.
    s->cinfo.scale_denom = 8;
    for (unsigned n = 1; n <= 8; ++n) {
        s->cinfo.scale_num = n;
        jpeg_calc_output_dimensions(&s->cinfo);
        if (minSide <= 0 && n < 8)
            continue;
        if (static_cast<long long>(s->cinfo.output_width) >= minSide &&
            static_cast<long long>(s->cinfo.output_height) >= minSide)
            break;
    }
    if (!jpeg_start_decompress(&s->cinfo))
        return false;
    return s->cinfo.output_components == 4 && s->cinfo.output_width > 0 && s->cinfo.output_height > 0;
}

// Phase 2: every scanline into the caller's buffer (4 bytes per pixel, rows of `stride`).
bool jpegReadRows(JpegSession* s, unsigned char* pixels, std::size_t stride)
{
    if (setjmp(s->error.jump))
        return false;
    while (s->cinfo.output_scanline < s->cinfo.output_height) {
        JSAMPROW rows[16];
        const JDIMENSION first = s->cinfo.output_scanline;
        JDIMENSION count = s->cinfo.output_height - first;
        if (count > 16)
            count = 16;
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = pixels + (first + i) * stride;
        if (jpeg_read_scanlines(&s->cinfo, rows, count) == 0)
            return false;   // cannot happen with a memory source; no endless loop either way
    }
    return true;
}

void jpegEnd(JpegSession* s)
{
    if (s->created)
        jpeg_destroy_decompress(&s->cinfo);
}

// CMYK as Adobe writes it is stored inverted.
void cmykToRgba(RgbaImage& image, bool inverted)
{
    std::uint8_t* p = image.pixels.data();
    const std::size_t count = image.pixels.size() / 4;
    for (std::size_t i = 0; i < count; ++i, p += 4) {
        unsigned c = p[0], m = p[1], y = p[2], k = p[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        p[0] = static_cast<std::uint8_t>((c * k + 127) / 255);
        p[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
        p[2] = static_cast<std::uint8_t>((y * k + 127) / 255);
        p[3] = 255;
    }
}

}  // namespace

std::optional<RgbaImage> DecodeJpeg(std::span<const std::uint8_t> data, const DecodeOptions& options)
{
    if (data.size() < 3 || data[0] != 0xFF || data[1] != 0xD8)
        return std::nullopt;

    JpegSession session{};
    std::optional<RgbaImage> image;
    if (jpegStart(&session, data.data(), static_cast<unsigned long>(data.size()), options.previewMinSide,
                  detail::pixelLimit(options))) {
        image = detail::makeImage(static_cast<int>(session.cinfo.output_width),
                                  static_cast<int>(session.cinfo.output_height));
        if (image && !jpegReadRows(&session, image->pixels.data(), static_cast<std::size_t>(image->width) * 4))
            image.reset();
    }
    jpegEnd(&session);
    if (image && session.cmyk)
        cmykToRgba(*image, session.adobe);
    return image;
}

std::optional<RgbaImage> DecodeJpeg(std::span<const std::uint8_t> data, int previewMinSide)
{
    DecodeOptions options;
    options.previewMinSide = previewMinSide;
    return DecodeJpeg(data, options);
}

}  // namespace marquetor::imagecodec
