// Writes the demo game's tile set: the tile size and the materials of a small outdoor map.

#include <cstdio>

#include "document/text.h"
#include "document/tileset.h"
#include "tilesetfile/format.h"

namespace doc = marquetor::document;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo_tileset <file.mrqt>\n");
        return 2;
    }
    doc::TileSet set;
    set.tileWidth = 64;
    set.tileHeight = 64;
    doc::AddTileGroup(set, 1);

    struct Entry {
        const char* name;
        int red, green, blue;
        const char* description;
    };
    const Entry materials[] = {
        {"Grass", 86, 160, 60, "Soft ground, walkable"},
        {"Earth", 130, 90, 50, "Bare soil and paths"},
        {"Sand", 222, 200, 140, "Beach and desert floor"},
        {"Stone", 128, 128, 136, "Rock and walls"},
        {"Water", 50, 110, 200, "Shallow water, slows walking"},
        {"Wood", 150, 100, 55, "Bridges, floors and fences"},
    };
    // Each material goes behind the previous one, so the file keeps this order.
    for (const Entry& m : materials) {
        set.materials.moveToLast();
        doc::AddMaterial(set, m.name, doc::MakeColor(m.red, m.green, m.blue), m.description);
    }

    const auto result = marquetor::tilesetfile::SaveTileSet(set, argv[1]);
    if (!result.ok) {
        std::fprintf(stderr, "make_demo_tileset: %s: %s\n", argv[1], result.reason.c_str());
        return 1;
    }
    return 0;
}
