// Format detection by content, and the one entry point that decodes any of the four.

#include <algorithm>

#include "platform/imagecodec/bmp.h"
#include "platform/imagecodec/codecutil.h"
#include "platform/imagecodec/imagecodec.h"
#include "platform/imagecodec/tga.h"

namespace marquetor::imagecodec {

Format DetectFormat(std::span<const std::uint8_t> data)
{
    static constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (data.size() >= 8 && std::equal(kPngSignature, kPngSignature + 8, data.begin()))
        return Format::Png;
    // Start of image alone: the decoder passes over junk before the next marker, and gives
    // what it can of a damaged file.
    if (data.size() >= 2 && data[0] == 0xFF && data[1] == 0xD8)
        return Format::Jpeg;
    if (data.size() >= 18 && data[0] == 'B' && data[1] == 'M') {
        detail::Reader r(data);
        std::uint32_t headerSize = 0;
        r.seek(14);
        r.u32(headerSize);
        if (detail::knownBmpHeaderSize(headerSize))
            return Format::Bmp;
    }
    // No signature: a header the decoder would accept is the best sign there is, so TGA
    // comes last.
    detail::TgaHeader tga;
    if (detail::readTgaHeader(data, tga))
        return Format::Tga;
    return Format::Unknown;
}

std::optional<RgbaImage> DecodeImage(std::span<const std::uint8_t> data, const DecodeOptions& options)
{
    switch (DetectFormat(data)) {
    case Format::Png:
        return DecodePng(data, options);
    case Format::Jpeg:
        return DecodeJpeg(data, options);
    case Format::Bmp:
        return DecodeBmp(data, options);
    case Format::Tga:
        return DecodeTga(data, options);
    case Format::Unknown:
        break;
    }
    return std::nullopt;
}

}  // namespace marquetor::imagecodec
