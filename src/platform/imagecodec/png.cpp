// PNG through libpng's simplified memory API. libpng's own setjmp stays inside libpng:
// the simplified calls return an error code and never unwind through our frames.

#include <png.h>

#include "platform/imagecodec/codecutil.h"
#include "platform/imagecodec/imagecodec.h"

namespace marquetor::imagecodec {

namespace {

// Frees libpng's state whichever way the decoder leaves.
class PngImageGuard {
public:
    explicit PngImageGuard(png_image& image) : m_image(image) {}
    ~PngImageGuard() { png_image_free(&m_image); }
    PngImageGuard(const PngImageGuard&) = delete;
    PngImageGuard& operator=(const PngImageGuard&) = delete;

private:
    png_image& m_image;
};

// Deflate cannot expand more than about 1032 to 1, so a file claiming more row data than
// that could ever hold is cut short; libpng would fail on it after we had allocated the
// whole picture. (Each row holds at least a filter byte and one bit per pixel.)
bool couldHoldRows(std::uint64_t width, std::uint64_t height, std::size_t fileSize)
{
    const std::uint64_t minimalRowBytes = height * (1 + (width + 7) / 8);
    return minimalRowBytes <= static_cast<std::uint64_t>(fileSize) * 1100 + 4096;
}

}  // namespace

std::optional<RgbaImage> DecodePng(std::span<const std::uint8_t> data, const DecodeOptions& options)
{
    if (data.size() < 8 || png_sig_cmp(data.data(), 0, 8) != 0)
        return std::nullopt;

    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    PngImageGuard guard(png);
    if (!png_image_begin_read_from_memory(&png, data.data(), data.size()))
        return std::nullopt;
    if (!detail::sizeAllowed(png.width, png.height, detail::pixelLimit(options)) ||
        !couldHoldRows(png.width, png.height, data.size()))
        return std::nullopt;

    png.format = PNG_FORMAT_RGBA;
    std::optional<RgbaImage> image = detail::makeImage(static_cast<int>(png.width), static_cast<int>(png.height));
    if (!image)
        return std::nullopt;
    const png_int_32 rowStride = static_cast<png_int_32>(png.width) * 4;
    if (!png_image_finish_read(&png, nullptr, image->pixels.data(), rowStride, nullptr))
        return std::nullopt;
    return image;
}

std::optional<RgbaImage> DecodePng(std::span<const std::uint8_t> data)
{
    return DecodePng(data, DecodeOptions{});
}

}  // namespace marquetor::imagecodec
