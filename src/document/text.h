#pragma once
// Number and colour texts shared by every numeric field and list of the editor, and the
// document's bytes as text that people and tools read.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace marquetor::document {

// Leading blanks and tabs skipped, optional sign, then "$" hexadecimal, "%" binary or
// decimal digits up to the first character that does not fit; no digits read as 0.
// Accumulated in 64 bits with wrap-around.
std::int64_t TextToNumber(std::string_view text);
// The low 32 bits of TextToNumber as a signed value.
std::int32_t TextToInt32(std::string_view text);

// Plain decimal, "-" before negative values.
std::string NumberToText(std::int64_t value);
// The same appended to a text (no temporary text: list rows are built by the thousand).
void AppendNumberText(std::string& out, std::int64_t value);

inline int ColorRed(std::int32_t color) { return color & 0xFF; }
inline int ColorGreen(std::int32_t color) { return (color >> 8) & 0xFF; }
inline int ColorBlue(std::int32_t color) { return (color >> 16) & 0xFF; }
inline std::int32_t MakeColor(std::int64_t red, std::int64_t green, std::int64_t blue) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(red + 256 * green + 65536 * blue));
}
// "R255 G128 B0"
std::string ColorText(std::int32_t color);

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view bytes);
// One character of text that IsValidUtf8 accepted; `p` moves past it.
char32_t NextUtf8(const unsigned char*& p);
// A character (up to U+10FFFF) appended as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);
// The document's bytes as UTF-8 text: unchanged when they are valid UTF-8, otherwise read
// as Windows-1252 (the five bytes it leaves undefined become the C1 controls U+0081...).
std::string BytesToUtf8(std::string_view bytes);
// The reverse of the Windows-1252 reading: the bytes whose Windows-1252 reading is the UTF-8
// text `utf8`, or nothing when it is not UTF-8 or holds a character Windows-1252 lacks.
std::optional<std::string> Utf8ToWindows1252(std::string_view utf8);
// BytesToUtf8 of the bytes appended in double quotes, with `"`, `\` and the control
// characters escaped as JSON escapes them: a valid JSON string, and the way messages quote a
// name (`texture "x.png" is not in the tile set`).
void AppendQuotedText(std::string& out, std::string_view bytes);

}  // namespace marquetor::document
