#pragma once
// Image decoders for untrusted files: PNG, JPEG, BMP and TGA into 8-bit RGBA. No Qt.
// The format is chosen by content, never by name. Any failure gives no image.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace marquetor::imagecodec {

inline constexpr int kMaxSide = 16384;
inline constexpr std::int64_t kMaxPixels = 100'000'000;

struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;   // width * height * 4 bytes, rows top to bottom, R G B A
};

enum class Format { Unknown, Png, Jpeg, Bmp, Tga };
Format DetectFormat(std::span<const std::uint8_t> data);

struct DecodeOptions {
    // JPEG only: decode at the smallest DCT scale whose result is still at least this
    // many pixels on each side (0 decodes at full size).
    int previewMinSide = 0;
};

std::optional<RgbaImage> DecodeImage(std::span<const std::uint8_t> data, const DecodeOptions& options = {});
std::optional<RgbaImage> DecodePng(std::span<const std::uint8_t> data);
std::optional<RgbaImage> DecodeJpeg(std::span<const std::uint8_t> data, int previewMinSide = 0);
std::optional<RgbaImage> DecodeBmp(std::span<const std::uint8_t> data);
std::optional<RgbaImage> DecodeTga(std::span<const std::uint8_t> data);

// Smooth scaling to the given size, ignoring the aspect ratio (area averaging when
// shrinking, bilinear when growing).
RgbaImage ScaleSmooth(const RgbaImage& image, int width, int height);

}  // namespace marquetor::imagecodec
