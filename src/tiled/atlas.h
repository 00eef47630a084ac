#pragma once
// An atlas cut into its cells as Tiled cuts it, and each cell written as a PNG file through
// libpng: the same pixels give the same bytes on every run.

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/imagecodec/imagecodec.h"

namespace marquetor::tiled {

struct Grid {
    std::int64_t columns = 0;
    std::int64_t rows = 0;
    std::int64_t cells() const { return columns * rows; }
};

// Tiled's count: columns = (width - margin + spacing) / (tile width + spacing), rounded down,
// none when that is below 1; rows likewise.
Grid GridOf(std::int64_t imageWidth, std::int64_t imageHeight, std::int64_t tileWidth, std::int64_t tileHeight,
            std::int64_t margin, std::int64_t spacing);

// The pixels of a rectangle that lies inside the picture.
imagecodec::RgbaImage CutCell(const imagecodec::RgbaImage& image, std::int64_t x, std::int64_t y, std::int64_t width,
                              std::int64_t height);

// Pixels of the colour 0xRRGGBB made see-through (alpha 0), as Tiled does with an image's
// "trans" colour.
void MakeColorTransparent(imagecodec::RgbaImage& image, std::uint32_t rgb);

// An 8-bit PNG of the picture: RGB when every pixel is opaque, RGBA otherwise; no time or
// text chunk, fixed compression settings. Nothing when libpng fails (out of memory).
std::optional<std::vector<std::uint8_t>> EncodePng(const imagecodec::RgbaImage& image);

}  // namespace marquetor::tiled
