#pragma once
// The document's texts (bytes, often Windows-1252 in older files) in Tiled's UTF-8 files,
// and back. A text goes in as it is when it is valid UTF-8 without control characters; as
// its Windows-1252 reading (as `mrqt dump` shows it) when it is not UTF-8; with the bytes
// XML cannot hold written as \xHH when it holds control characters. A second value, the
// encoding, says which ("", "windows-1252", "escaped"); the reverse gives the bytes back.

#include <optional>
#include <string>
#include <string_view>

namespace marquetor::tiled {

inline constexpr std::string_view kWindows1252 = "windows-1252";
inline constexpr std::string_view kEscaped = "escaped";

struct EncodedText {
    std::string value;      // UTF-8 that XML and JSON hold
    std::string encoding;   // empty when value is the bytes themselves
};

EncodedText EncodeText(std::string_view bytes);
// Nothing when the value cannot be in that encoding (hand-edited), or the encoding is unknown.
std::optional<std::string> DecodeText(std::string_view value, std::string_view encoding);

// A file name for a text: its UTF-8 reading with control characters made "_".
std::string FileNameOf(std::string_view bytes);

}  // namespace marquetor::tiled
