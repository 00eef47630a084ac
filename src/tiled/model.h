#pragma once
// A Tiled tileset as its two file formats hold it (TSX and JSON), shared by their readers
// and writers: what the files say, before it means anything to a tile set.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marquetor::tiled {

// A custom property. Tiled's types: string, int, float, bool, color, file, object and
// (from 1.8) class; the value is kept as its text ("12", "true", "#ff102030").
struct Property {
    std::string name;
    std::string type = "string";
    std::string value;
};
using Properties = std::vector<Property>;

const Property* FindProperty(const Properties& properties, std::string_view name);

// A picture: a file named relative to the tileset, or bytes embedded in it.
struct Image {
    std::string source;                 // as written (UTF-8, "/" or "\" separated)
    bool embedded = false;              // bytes below, not a file
    std::vector<std::uint8_t> bytes;    // the embedded file's bytes (may be empty)
    std::string format;                 // embedded: "png", "bmp"... when the file says
    std::int64_t width = -1;            // as the file gives them; -1 when it does not
    std::int64_t height = -1;
    std::string transparentColor;       // "ff00ff": pixels of this colour are see-through
};

struct Tile {
    std::int64_t id = 0;
    std::string type;                   // "type", or "class" from Tiled 1.9
    Properties properties;
    std::optional<Image> image;
    // A part of the image (Tiled 1.9): x, y, width, height; absent for the whole image.
    std::optional<std::array<std::int64_t, 4>> rect;
};

struct Tileset {
    std::string name;
    std::int64_t tileWidth = 0;
    std::int64_t tileHeight = 0;
    std::int64_t margin = 0;
    std::int64_t spacing = 0;
    std::int64_t tileCount = -1;        // -1: not given
    std::int64_t columns = -1;
    std::optional<Image> image;         // an atlas; image collections have none
    Properties properties;
    std::vector<Tile> tiles;            // in file order
    // What the file holds that no tile set has a place for, by kind ("animations"), and how
    // many there are.
    std::map<std::string, std::int64_t> unsupported;
};

}  // namespace marquetor::tiled
