// Reads every input with the C reader (readers/c/marquetor.h, compiled as C) and with the
// library, and fails when they disagree: the status, the tile size, the counts, any record
// in order, or a look-up. Crashes, leaks and reads out of bounds in either are the
// sanitizers' to find.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>

#include "document/tileset.h"
#include "marquetor.h"
#include "tilesetfile/format.h"

using namespace marquetor;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

bool same(std::string_view text, const char* bytes, std::size_t size) {
    return text.size() == size && (size == 0 || std::memcmp(text.data(), bytes, size) == 0) && bytes[size] == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    document::TileSet set;
    document::AddTileGroup(set, document::kTileGroup);
    const tilesetfile::LoadResult library = tilesetfile::LoadTileSetFromMemory(set, std::span(data, size));
    marquetor_tileset* c = nullptr;
    const marquetor_status status = marquetor_load_memory(data, size, &c);

    switch (library.status) {
    case tilesetfile::LoadStatus::Ok: check(status == MARQUETOR_OK); break;
    case tilesetfile::LoadStatus::Truncated: check(status == MARQUETOR_ENDED_EARLY); break;
    case tilesetfile::LoadStatus::NotATileSet: check(status == MARQUETOR_NOT_A_TILESET); break;
    case tilesetfile::LoadStatus::CannotOpen: check(status == MARQUETOR_CANNOT_OPEN); break;
    }
    if (!c) {
        check(status == MARQUETOR_NOT_A_TILESET);
        return 0;
    }
    check(c->status == status);
    check(c->tile_width == set.tileWidth && c->tile_height == set.tileHeight);

    check(c->material_count == set.materials.size());
    for (std::size_t i = 0; i < c->material_count; ++i) {
        const marquetor_material& m = c->materials[i];
        const document::Material& theirs = set.materials.at(i);
        check(same(theirs.name, m.name, m.name_size) && same(theirs.description, m.description, m.description_size));
        check(m.color == theirs.color && m.red == (theirs.color & 0xFF) && m.green == ((theirs.color >> 8) & 0xFF) &&
              m.blue == ((theirs.color >> 16) & 0xFF));
        check(marquetor_find_material(c, m.name) == &m);
    }

    check(c->texture_count == set.textures.size());
    std::size_t at = 0;
    set.textures.forEach([&](const document::Texture& theirs) {
        const marquetor_texture& t = c->textures[at++];
        check(same(theirs.name, t.name, t.name_size) && t.size == theirs.data().size());
        check(t.size == 0 || std::memcmp(t.bytes, theirs.data().data(), t.size) == 0);
        check(marquetor_find_texture(c, t.name) == &t);
    });

    const document::TileGroup* group = document::LookUpTileGroup(set, document::kTileGroup);
    check(c->tile_count == group->tiles.size());
    for (std::size_t i = 0; i < c->tile_count; ++i) {
        const marquetor_tile& t = c->tiles[i];
        const document::Tile& theirs = group->tiles.at(i);
        check(t.id == theirs.id && t.layer == theirs.layer && t.collision == theirs.collision);
        check(same(theirs.texture, t.texture, std::strlen(t.texture)) &&
              same(theirs.material, t.material, std::strlen(t.material)));
        check(marquetor_find_tile(c, t.id) == &t);
    }
    marquetor_free(c);
    return 0;
}
