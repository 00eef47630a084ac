#pragma once
// The TGA header as the decoder and the format detection read it.

#include <cstddef>
#include <cstdint>
#include <span>

namespace marquetor::imagecodec::detail {

inline constexpr std::size_t kTgaHeaderSize = 18;

struct TgaHeader {
    std::uint8_t idLength = 0;
    std::uint8_t colorMapType = 0;
    std::uint8_t imageType = 0;
    std::uint16_t colorMapFirst = 0;
    std::uint16_t colorMapLength = 0;
    std::uint8_t colorMapEntryBits = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint8_t pixelBits = 0;
    std::uint8_t descriptor = 0;
};

// True when the first 18 bytes make a header this decoder accepts. TGA files carry no
// signature, so this plausibility check is also how the format is recognised.
bool readTgaHeader(std::span<const std::uint8_t> data, TgaHeader& h);

}  // namespace marquetor::imagecodec::detail
