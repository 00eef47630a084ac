#pragma once
// mrqt check: what the editor lets through but a game will trip over, one finding each.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "document/tileset.h"

namespace marquetor::cli {

enum class Problem {
    DataEndedEarly,        // the file ended before its counts were met
    TileWidth,             // 0 or less
    TileHeight,
    MaterialNameCase,      // material names that differ only in letter case
    TextureNotAPicture,    // bytes that no decoder takes (PNG, JPEG, BMP, TGA)
    TextureExtension,      // a name the Textures tab would not import
    TextureNameCase,
    MissingTexture,        // a tile names a texture the set does not hold
    MissingMaterial,
    LayerOutOfRange,       // outside 0-255
    CollisionOutOfRange,   // outside 0-5
};

// The finding's kind for tools: "missing-texture", ...
const char* ProblemName(Problem problem);

struct Finding {
    explicit Finding(Problem p) : problem(p) {}

    Problem problem;
    const document::Tile* tile = nullptr;         // tile findings
    std::string_view name;                        // the texture's (or material's) name
    std::vector<std::string_view> names;          // names that differ only in letter case
    std::int64_t value = 0;                       // the tile width or height
};

// Looks the document through once, textures decoded once each, and reports every finding:
// the file, the tile size, materials, textures (in the map's order), then tiles in order.
void CheckTileSet(const document::TileSet& set, bool dataEndedEarly, const std::function<void(const Finding&)>& report);

// One line naming the record, without line end: `tile 7: texture "x.png" is not in the tile set`.
void AppendFindingText(std::string& out, const Finding& finding);
// The same as one JSON object: "problem", "record", what identifies the record, "message".
void AppendFindingJson(std::string& out, const Finding& finding);

// Folds letter case for comparing names (simple Unicode lower case of the text as shown).
std::string FoldCase(std::string_view bytes);

}  // namespace marquetor::cli
