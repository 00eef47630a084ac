#pragma once
// Base64 of embedded images (RFC 4648, blanks and line breaks between the characters
// ignored, as Tiled writes them indented).

#include <cstdint>
#include <string_view>
#include <vector>

namespace marquetor::tiled {

// False when the text holds anything but base64 characters, blanks and padding at the end.
bool DecodeBase64(std::string_view text, std::vector<std::uint8_t>& out);

}  // namespace marquetor::tiled
