#pragma once
// What the BMP decoder and the format detection agree on.

#include <cstdint>

namespace marquetor::imagecodec::detail {

// An info header size the decoder reads: 12 (core), 40, 52, 56, 108, 124 (Windows), or
// 16 to 64 (OS/2 2.x and its shortened forms).
bool knownBmpHeaderSize(std::uint32_t size);

}  // namespace marquetor::imagecodec::detail
