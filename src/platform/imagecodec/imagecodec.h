#pragma once
// Image decoders for untrusted files: PNG, JPEG, BMP and TGA into 8-bit RGBA. No Qt.
// The format is chosen by content, never by name. Any failure gives no image.
//
// Every decoder checks the picture's size against kMaxSide and the pixel limit before it
// allocates and bounds-checks every read. Data cut short: BMP and TGA paint the pixels the
// file lacks opaque black (so are pixels an RLE file skips), a JPEG shows black from the
// row where its data ran out, a PNG gives no image unless every row arrived.

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
    // For previews: a picture at least this many pixels on each side is enough (0 decodes
    // at full size). JPEG decodes at the smallest DCT scale that still gives that much; a
    // PNG that is not interlaced is averaged down by the largest whole factor that does,
    // while its rows are read. A BMP that wraps a JPEG or PNG file follows that file's
    // rule. Other files come whole.
    int previewMinSide = 0;
    // Largest accepted picture (width * height of the file, before any DCT scaling).
    // Values above kMaxPixels count as kMaxPixels; the fuzz targets lower it so that each
    // run stays cheap.
    std::int64_t maxPixels = kMaxPixels;
};

std::optional<RgbaImage> DecodeImage(std::span<const std::uint8_t> data, const DecodeOptions& options = {});
std::optional<RgbaImage> DecodePng(std::span<const std::uint8_t> data);
std::optional<RgbaImage> DecodeJpeg(std::span<const std::uint8_t> data, int previewMinSide = 0);
std::optional<RgbaImage> DecodeBmp(std::span<const std::uint8_t> data);
std::optional<RgbaImage> DecodeTga(std::span<const std::uint8_t> data);

// The same with explicit options (pixel limit; JPEG: preview scale).
std::optional<RgbaImage> DecodePng(std::span<const std::uint8_t> data, const DecodeOptions& options);
std::optional<RgbaImage> DecodeJpeg(std::span<const std::uint8_t> data, const DecodeOptions& options);
std::optional<RgbaImage> DecodeBmp(std::span<const std::uint8_t> data, const DecodeOptions& options);
std::optional<RgbaImage> DecodeTga(std::span<const std::uint8_t> data, const DecodeOptions& options);

// JPEG: the most progressive (or multi-scan) scans a file may have; more gives no image.
inline constexpr int kMaxJpegScans = 100;

// Smooth scaling to the given size, ignoring the aspect ratio (area averaging when
// shrinking, bilinear when growing; colours weighted by alpha so transparent pixels do
// not bleed). A size outside 1..kMaxSide, more than kMaxPixels, or an empty or
// inconsistent source gives an empty image.
RgbaImage ScaleSmooth(const RgbaImage& image, int width, int height);

}  // namespace marquetor::imagecodec

namespace marquetor::imagecodec {

// A picture's width and height as its header gives them, without decoding it (to say why a
// file was refused: "16384 x 20000 pixels"). Nothing when the format is unknown or the header
// is cut short; the size may be one the decoders refuse.
struct Dimensions {
    std::int64_t width = 0;
    std::int64_t height = 0;
};
std::optional<Dimensions> ReadDimensions(std::span<const std::uint8_t> data);

// Whether a size is one the decoders take (kMaxSide, and maxPixels as in DecodeOptions).
bool DimensionsAllowed(const Dimensions& size, std::int64_t maxPixels = kMaxPixels);

}  // namespace marquetor::imagecodec
