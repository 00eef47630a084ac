// Feeds arbitrary bytes to the tile set reader, then checks that what was read is a sound
// document and that saving and reading it again is stable.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "document/tileset.h"
#include "tilesetfile/format.h"

using namespace marquetor;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

void checkDocument(const document::TileSet& set) {
    check(set.materialIndex.size() == set.materials.size());
    for (const auto& m : set.materials.items()) {
        const auto it = set.materialIndex.find(m->name);
        check(it != set.materialIndex.end() && it->second == m.get());
        check(m->description.size() <= document::kDescriptionSize);
    }
    set.textures.forEach([](const document::Texture& t) {
        check(t.size >= 0);
        check((t.size > 0) == (t.bytes != nullptr));
    });
    check(set.textures.names().size() == set.textures.size());
    const document::TileGroup* group = document::LookUpTileGroup(set, document::kTileGroup);
    check(group != nullptr);
    check(group->tileIndex.size() == group->tiles.size());
    for (const auto& t : group->tiles.items()) check(group->tileIndex.at(t->id) == t.get());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    document::TileSet set;
    document::AddTileGroup(set, document::kTileGroup);
    const tilesetfile::LoadResult first = tilesetfile::LoadTileSetFromMemory(set, std::span(data, size));
    if (first.status == tilesetfile::LoadStatus::NotATileSet) {
        // Refused: the document is as it was.
        check(set.materials.empty() && set.textures.empty() && set.tileWidth == 0);
        return 0;
    }
    check(first.status == tilesetfile::LoadStatus::Ok || first.status == tilesetfile::LoadStatus::Truncated);
    checkDocument(set);

    // Reading what was saved gives the same document, except that textures sharing a
    // bucket come back in reverse order (the file lists them most recent first, and reading
    // enters them in file order). A second round trip therefore restores the first save.
    const std::vector<std::uint8_t> saved = tilesetfile::SaveTileSetToMemory(set);
    std::vector<std::uint8_t> resaved = saved;
    for (int round = 0; round < 2; ++round) {
        document::TileSet again;
        document::AddTileGroup(again, document::kTileGroup);
        check(tilesetfile::LoadTileSetFromMemory(again, resaved).status == tilesetfile::LoadStatus::Ok);
        checkDocument(again);
        check(again.textures.size() == set.textures.size());
        resaved = tilesetfile::SaveTileSetToMemory(again);
        check(resaved.size() == saved.size());
    }
    check(resaved == saved);
    return 0;
}
