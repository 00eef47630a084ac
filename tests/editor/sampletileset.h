#pragma once
// A small tile set with something in every part, for the tests that save and open files.

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>

#include "document/text.h"
#include "document/tileset.h"

inline void PutSampleTexture(marquetor::document::TileSet& set, std::string name, std::string_view bytes) {
    auto block = std::make_unique<std::uint8_t[]>(bytes.size());
    std::memcpy(block.get(), bytes.data(), bytes.size());
    marquetor::document::PutTexture(set, std::move(name), std::move(block), static_cast<std::int32_t>(bytes.size()));
}

// Tile size 32 x 128; materials Grass, Stone, Water (in that order); textures a.png, b.bmp,
// c.tga (bytes that are no pictures); tiles 10, -5, 3 of group 1.
inline marquetor::document::TileSet SampleTileSet() {
    namespace doc = marquetor::document;
    doc::TileSet set;
    set.tileWidth = 32;
    set.tileHeight = 128;
    doc::AddTileGroup(set, 1);
    for (auto [name, color, description] : {std::tuple{"Grass", doc::MakeColor(86, 160, 60), "green"},
                                            std::tuple{"Stone", doc::MakeColor(128, 128, 136), "grey"},
                                            std::tuple{"Water", doc::MakeColor(255, 128, 0), ""}}) {
        set.materials.moveToLast();
        doc::AddMaterial(set, name, color, description);
    }
    PutSampleTexture(set, "a.png", "not really a png");
    PutSampleTexture(set, "b.bmp", "BM");
    PutSampleTexture(set, "c.tga", "");
    doc::TileGroup* group = doc::FindTileGroup(set, 1);
    for (auto [id, texture, material, layer, collision] :
         {std::tuple{10, "a.png", "Grass", 2, 1}, std::tuple{-5, "b.bmp", "Stone", 0, 0},
          std::tuple{3, "gone.png", "Lava", 255, 5}}) {
        group->tiles.moveToLast();
        doc::AddTile(set, 1, id, texture, material, static_cast<std::int16_t>(layer),
                     static_cast<std::int16_t>(collision));
    }
    return set;
}
