#pragma once
// What is wrong with a tile set: what the editor lets through but a game will trip over.
// The rules live here once; mrqt check reports every finding, the editor's TileSet tab
// counts some of them as it walks the document in slices.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "document/nameanswers.h"
#include "document/tileset.h"

namespace marquetor::problems {

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

// --- The rules -----------------------------------------------------------------------------

// A tile is at least one pixel wide and high.
constexpr bool TileSideUsable(std::int64_t side) { return side > 0; }
// The layers and collision classes a game knows.
constexpr bool LayerInRange(std::int64_t layer) { return layer >= 0 && layer <= 255; }
constexpr bool CollisionInRange(std::int64_t collision) { return collision >= 0 && collision <= 5; }

// Whether the texture and the material a tile names are in the tile set. A million tiles
// name a few thousand texts, which they share: each shared text is looked up once and a run
// of tiles naming the same one costs a pointer comparison. The answers hold while the
// document does not change; clear() forgets them.
class TileNames {
public:
    bool textureHeld(const document::TileSet& set, const document::Tile& tile) {
        return m_textures.held(tile.texture, [&](std::string_view name) { return set.textures.find(name) != nullptr; });
    }
    bool materialHeld(const document::TileSet& set, const document::Tile& tile) {
        return m_materials.held(tile.material,
                                [&](std::string_view name) { return document::FindMaterial(set, name) != nullptr; });
    }
    void clear() {
        m_textures.clear();
        m_materials.clear();
    }

private:
    document::NameAnswers m_textures;
    document::NameAnswers m_materials;
};

// Whether a texture's bytes are a picture: the caller decodes (mrqt at full size, the
// editor as it previews).
using IsPicture = std::function<bool(std::span<const std::uint8_t>)>;

// Folds letter case for comparing names (simple Unicode lower case of the text as shown).
std::string FoldCase(std::string_view bytes);

// --- Every finding, for mrqt check -------------------------------------------------------

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

// Looks the document through once, textures asked about once each, and reports every
// finding: the file, the tile size, materials, textures (in the map's order), then tiles
// in order.
void CheckTileSet(const document::TileSet& set, bool dataEndedEarly, const IsPicture& isPicture,
                  const std::function<void(const Finding&)>& report);

// What a finding says, one line naming the record, without line end:
// `tile 7: texture "x.png" is not in the tile set`.
void AppendFindingText(std::string& out, const Finding& finding);
std::string FindingText(const Finding& finding);

}  // namespace marquetor::problems
