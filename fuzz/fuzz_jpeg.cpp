// JPEG decoder, at full size and at the preview scale.

#include <cstddef>
#include <cstdint>

#include "fuzzcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    // The last byte picks the scale, so both paths are explored from the same seeds.
    const int minSide = size > 0 && (data[size - 1] & 1) ? 128 : 0;
    const auto options = marquetor::fuzzing::fuzzOptions(minSide);
    marquetor::fuzzing::checkImage(marquetor::imagecodec::DecodeJpeg(bytes, options), options);
    return 0;
}
