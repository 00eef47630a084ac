// TGA decoder.

#include <cstddef>
#include <cstdint>

#include "fuzzcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto options = marquetor::fuzzing::fuzzOptions();
    marquetor::fuzzing::checkImage(marquetor::imagecodec::DecodeTga({data, size}, options), options);
    return 0;
}
