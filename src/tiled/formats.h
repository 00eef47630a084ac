#pragma once
// The readers and writers of Tiled's two tileset formats: TSX (XML, through pugixml) and
// JSON (.tsj/.json, through nlohmann-json), every version from Tiled 1.0 on.

#include <cstdint>
#include <span>
#include <optional>
#include <string>
#include <string_view>

#include "tiled/model.h"

namespace marquetor::tiled {

struct ParseResult {
    bool ok = false;
    bool isMap = false;       // the file is a map, not a tileset
    std::string message;      // why not: "XML does not parse at line 3, column 7: ..."
};

ParseResult ReadTsx(std::span<const std::uint8_t> bytes, Tileset& out);
ParseResult ReadTsj(std::span<const std::uint8_t> bytes, Tileset& out);

// Image-collection tilesets (no atlas) as Tiled 1.8 and later read them.
std::string WriteTsx(const Tileset& tileset);
std::string WriteTsj(const Tileset& tileset);

// "line L, column C" of a byte offset.
std::string PlaceOf(std::span<const std::uint8_t> bytes, std::size_t offset);

// Whole numbers as the files write them: optional sign, decimal digits, nothing else
// (surrounding blanks allowed). Nothing when the text is no such number or out of range.
std::optional<std::int64_t> ParseWhole(std::string_view text);

}  // namespace marquetor::tiled
