#pragma once
// Shared by the decoder fuzz targets: the limits they decode with, and the checks every
// decoded picture must pass.

#include <cstdint>
#include <cstdlib>
#include <optional>

#include "platform/imagecodec/imagecodec.h"

namespace marquetor::fuzzing {

// A lower pixel limit keeps every run cheap; the checks against it are the same code as
// against the real one.
inline imagecodec::DecodeOptions fuzzOptions(int previewMinSide = 0)
{
    imagecodec::DecodeOptions options;
    options.maxPixels = 512 * 512;
    options.previewMinSide = previewMinSide;
    return options;
}

inline void checkImage(const std::optional<imagecodec::RgbaImage>& image, const imagecodec::DecodeOptions& options)
{
    if (!image)
        return;
    if (image->width <= 0 || image->height <= 0 || image->width > imagecodec::kMaxSide ||
        image->height > imagecodec::kMaxSide ||
        static_cast<std::int64_t>(image->width) * image->height > options.maxPixels ||
        image->pixels.size() != static_cast<std::size_t>(image->width) * image->height * 4)
        std::abort();
    // Touch every byte so that uninitialised or freed memory shows up under the sanitizers.
    unsigned sum = 0;
    for (std::uint8_t b : image->pixels)
        sum += b;
    if (sum == 0xFFFFFFFFu)
        std::abort();
}

}  // namespace marquetor::fuzzing
