// The path a texture preview takes: detection, decoding at the preview scale, and the
// smooth scaling to 128 x 128.

#include <cstddef>
#include <cstdint>

#include "fuzzcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace marquetor::imagecodec;
    const auto options = marquetor::fuzzing::fuzzOptions(128);
    const std::optional<RgbaImage> image = DecodeImage({data, size}, options);
    marquetor::fuzzing::checkImage(image, options);
    if (image) {
        const RgbaImage preview = ScaleSmooth(*image, 128, 128);
        if (preview.width != 128 || preview.height != 128 || preview.pixels.size() != 128u * 128u * 4u)
            std::abort();
    }
    return 0;
}
