#pragma once
// A material's colour: one 32-bit value with red in bits 0-7, green in bits 8-15 and blue
// in bits 16-23 (bits 24-31 are not used). The editor, mrqt and games take it apart with
// the same functions. Plain C++, no GUI.

#include <cstdint>

namespace marquetor::document {

inline int ColorRed(std::int32_t color) { return color & 0xFF; }
inline int ColorGreen(std::int32_t color) { return (color >> 8) & 0xFF; }
inline int ColorBlue(std::int32_t color) { return (color >> 16) & 0xFF; }
// The colour of three channels of 0-255. A channel beyond that range carries into the next
// one, as the editor's R, G and B fields do.
inline std::int32_t MakeColor(std::int64_t red, std::int64_t green, std::int64_t blue) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(red + 256 * green + 65536 * blue));
}

}  // namespace marquetor::document
