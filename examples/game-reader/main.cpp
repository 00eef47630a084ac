// game-reader: what a game does with a Marquetor tile set, and no more. It loads a .mrqt
// file and prints what it holds: the tile size, the materials, the textures (their bytes
// stay as they are; a game would hand them to its image loader) and the tiles.
//
//     game-reader FILE [ID...]
//
// FILE "-" reads standard input into memory and loads it from there. With IDs, only those
// tiles are listed, each looked up by its ID.
#include <marquetor/tileset.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string_view>
#include <vector>

namespace doc = marquetor::document;
namespace file = marquetor::tilesetfile;

namespace {

void printTile(const doc::TileSet& set, const doc::Tile& tile) {
    // A tile names its texture and material; whether the set holds them is for the game
    // to find out.
    const bool hasTexture = doc::FindTexture(set, tile.texture) != nullptr;
    const bool hasMaterial = doc::FindMaterial(set, tile.material) != nullptr;
    std::cout << "  " << tile.id << ": " << tile.texture.view() << (hasTexture ? "" : " (missing)") << ", "
              << tile.material.view() << (hasMaterial ? "" : " (missing)") << ", layer " << tile.layer
              << ", collision " << tile.collision << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: game-reader FILE [ID...]\n";
        return 2;
    }
    doc::TileSet set;
    file::LoadResult loaded;
    if (std::strcmp(argv[1], "-") == 0) {
        const std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(std::cin), {});
        loaded = file::LoadTileSetFromMemory(set, bytes);
    } else {
        loaded = file::LoadTileSet(set, argv[1]);
    }
    if (loaded.status == file::LoadStatus::CannotOpen || loaded.status == file::LoadStatus::NotATileSet) {
        std::cerr << "game-reader: " << loaded.message << "\n";
        return 1;
    }
    if (loaded.status == file::LoadStatus::Truncated) std::cerr << "game-reader: warning: " << loaded.message << "\n";

    std::cout << "tile size " << set.tileWidth << " x " << set.tileHeight << "\n";

    std::cout << set.materials.size() << " materials\n";
    for (const auto& m : set.materials.items())
        std::cout << "  " << m->name << ": red " << doc::ColorRed(m->color) << ", green " << doc::ColorGreen(m->color)
                  << ", blue " << doc::ColorBlue(m->color) << ", \"" << m->description << "\"\n";

    std::cout << set.textures.size() << " textures\n";
    set.textures.forEach([](const doc::Texture& t) {
        std::cout << "  " << t.name << ": " << t.size << " bytes";
        const auto bytes = t.data();
        for (std::size_t i = 0; i < bytes.size() && i < 4; ++i) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
            std::cout << (i == 0 ? ", " : " ") << hex;
        }
        std::cout << "\n";
    });

    // A file's tiles are those of group 1.
    const doc::TileGroup* group = doc::LookUpTileGroup(set, 1);
    std::cout << (group ? group->tiles.size() : 0) << " tiles\n";
    if (argc == 2) {
        if (group)
            for (const auto& tile : group->tiles.items()) printTile(set, *tile);
        return 0;
    }
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        std::int32_t id = 0;
        const auto [end, error] = std::from_chars(arg.data(), arg.data() + arg.size(), id);
        if (error != std::errc() || end != arg.data() + arg.size()) {
            std::cerr << "game-reader: not a tile ID: " << arg << "\n";
            return 2;
        }
        const doc::Tile* tile = nullptr;
        if (group)
            if (const auto found = group->tileIndex.find(id); found != group->tileIndex.end()) tile = found->second;
        if (tile) printTile(set, *tile);
        else std::cout << "  " << id << ": not in the tile set\n";
    }
    return 0;
}
