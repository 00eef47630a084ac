// PNG decoder. Chunk CRCs are recomputed before decoding: otherwise nearly every mutation
// dies at the CRC check and the fuzzer never reaches the image data.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzzcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> bytes(data, data + size);
    std::size_t at = 8;
    while (at + 12 <= bytes.size()) {
        const std::uint32_t length = (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
                                     (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
        if (length > bytes.size() - at - 12)
            break;
        const std::uint32_t crc = static_cast<std::uint32_t>(
            crc32(0, bytes.data() + at + 4, static_cast<uInt>(length + 4)));
        std::uint8_t* out = bytes.data() + at + 8 + length;
        out[0] = static_cast<std::uint8_t>(crc >> 24);
        out[1] = static_cast<std::uint8_t>(crc >> 16);
        out[2] = static_cast<std::uint8_t>(crc >> 8);
        out[3] = static_cast<std::uint8_t>(crc);
        at += 12 + length;
    }
    const auto options = marquetor::fuzzing::fuzzOptions();
    const auto whole = marquetor::imagecodec::DecodePng(bytes, options);
    marquetor::fuzzing::checkImage(whole, options);
    // A preview (reduced while the rows arrive) exactly when there is a whole picture, and
    // never larger than it.
    const auto previewOptions = marquetor::fuzzing::fuzzOptions(1 + static_cast<int>(size % 40));
    const auto preview = marquetor::imagecodec::DecodePng(bytes, previewOptions);
    marquetor::fuzzing::checkImage(preview, previewOptions);
    if (preview.has_value() != whole.has_value() ||
        (preview && (preview->width > whole->width || preview->height > whole->height)))
        std::abort();
    return 0;
}
