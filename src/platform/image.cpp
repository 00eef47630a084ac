#include "platform/image.h"

#include <vector>

#include "fileio/readfile.h"

namespace marquetor::platform {

namespace {

// Larger files are no image the editor can show: the decoders refuse more than 100 million
// pixels, and even an uncompressed 32-bit BMP of that many stays below this.
constexpr std::size_t kMaxFileBytes = std::size_t{512} << 20;

bool validSize(int width, int height) {
    return width > 0 && height > 0 && width <= imagecodec::kMaxSide && height <= imagecodec::kMaxSide &&
           std::int64_t{width} * height <= imagecodec::kMaxPixels;
}

// A decoder's result that the rest of the program can trust.
bool wellFormed(const imagecodec::RgbaImage& image) {
    return validSize(image.width, image.height) &&
           image.pixels.size() == static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4;
}

}  // namespace

bool IsPicture(std::span<const std::uint8_t> data) {
    if (imagecodec::DetectFormat(data) == imagecodec::Format::Unknown) return false;
    imagecodec::DecodeOptions options;
    options.previewMinSide = 1;
    const auto decoded = imagecodec::DecodeImage(data, options);
    return decoded && wellFormed(*decoded);
}

void Image::create(int width, int height) {
    m_pixels = {};
    if (!validSize(width, height)) return;
    m_pixels.width = width;
    m_pixels.height = height;
    m_pixels.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
    for (std::size_t i = 3; i < m_pixels.pixels.size(); i += 4) m_pixels.pixels[i] = 255;
}

void Image::fill(std::int32_t color) {
    if (empty()) return;
    const auto value = static_cast<std::uint32_t>(color);
    const auto r = static_cast<std::uint8_t>(value & 0xFFu);
    const auto g = static_cast<std::uint8_t>((value >> 8) & 0xFFu);
    const auto b = static_cast<std::uint8_t>((value >> 16) & 0xFFu);
    auto& p = m_pixels.pixels;
    for (std::size_t i = 0; i + 3 < p.size(); i += 4) {
        p[i] = r;
        p[i + 1] = g;
        p[i + 2] = b;
        p[i + 3] = 255;
    }
}

bool Image::decode(std::span<const std::uint8_t> data, int previewMinSide) {
    imagecodec::DecodeOptions options;
    options.previewMinSide = previewMinSide;
    auto decoded = imagecodec::DecodeImage(data, options);
    if (!decoded || !wellFormed(*decoded)) {
        reset();
        return false;
    }
    m_pixels = std::move(*decoded);
    return true;
}

bool Image::load(const std::filesystem::path& path, int previewMinSide) {
    // Only a regular file, its size checked before anything is read: a huge file is refused
    // at once, and a FIFO or a device never holds the program up.
    const fileio::ReadResult file = fileio::ReadWholeFile(path, kMaxFileBytes);
    if (!file.ok) {
        reset();
        return false;
    }
    return decode(file.bytes, previewMinSide);
}

bool Image::loadPng(std::span<const std::uint8_t> data) {
    auto decoded = imagecodec::DecodePng(data);
    if (!decoded || !wellFormed(*decoded)) {
        reset();
        return false;
    }
    m_pixels = std::move(*decoded);
    return true;
}

void Image::scale(int width, int height) {
    if (empty()) return;
    if (!validSize(width, height)) {
        reset();
        return;
    }
    if (width == m_pixels.width && height == m_pixels.height) return;
    imagecodec::RgbaImage scaled = imagecodec::ScaleSmooth(m_pixels, width, height);
    if (wellFormed(scaled)) {
        m_pixels = std::move(scaled);
    } else {
        reset();
    }
}

}  // namespace marquetor::platform
