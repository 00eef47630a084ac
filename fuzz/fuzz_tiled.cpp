// Feeds arbitrary bytes to mrqt import: a TSX or JSON tileset, or an image cut into tiles,
// read from memory, with the images it names served from the same input. Never a crash or a
// hang; the import opens no file but through its file source, and writes none. A refusal
// says why in one line; a tile set it makes saves and loads back whole (a load enters the
// textures in file order, so those sharing a bucket of the texture map come back in the
// other order: the records are compared, not the bytes).
//
// Input: byte 0 the kind (0 TSX, 1 JSON, 2 image, otherwise told by the content), byte 1
// the tile size for an image (1 to 16), bytes 2-3 the tileset's length L (little-endian),
// then L bytes of tileset and the rest as the picture every image path gives.
#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <span>

#include "tiled/tiled.h"
#include "tilesetfile/format.h"

using namespace marquetor;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::size_t length = std::min<std::size_t>(data[2] | std::size_t{data[3]} << 8, size - 4);
    const std::span<const std::uint8_t> tileset(data + 4, length);
    const std::span<const std::uint8_t> picture(data + 4 + length, size - 4 - length);
    static constexpr tiled::InputKind kKinds[] = {tiled::InputKind::Tsx, tiled::InputKind::Json, tiled::InputKind::Image};
    const tiled::InputKind kind = data[0] < 3 ? kKinds[data[0]] : tiled::InputKind::Unknown;

    tiled::ImportOptions options;
    options.tileWidth = options.tileHeight = 1 + data[1] % 16;
    options.maxPixels = 256 * 256;
    options.maxCells = 256;
    int reads = 0;
    const tiled::FileSource files = [&](const std::filesystem::path&) {
        ++reads;
        fileio::ReadResult r;
        r.ok = true;
        r.bytes.assign(picture.begin(), picture.end());
        return r;
    };
    document::TileSet set;
    const tiled::ImportResult result = tiled::ImportFromMemory(kind == tiled::InputKind::Image ? picture : tileset, kind,
                                                                "fuzz/input.tsx", files, options, set);
    if (!result.ok()) {
        check(!result.message.empty() && result.message.find('\n') == std::string::npos);
        return 0;
    }
    for (const std::string& w : result.warnings) check(!w.empty() && w.find('\n') == std::string::npos);
    const std::vector<std::uint8_t> saved = tilesetfile::SaveTileSetToMemory(set);
    document::TileSet loaded;
    check(tilesetfile::LoadTileSetFromMemory(loaded, saved).status == tilesetfile::LoadStatus::Ok);
    check(loaded.tileWidth == set.tileWidth && loaded.tileHeight == set.tileHeight);
    check(loaded.materials.size() == set.materials.size() && loaded.textures.size() == set.textures.size());
    set.textures.forEach([&](const document::Texture& t) {
        const document::Texture* other = loaded.textures.find(t.name);
        check(other && std::equal(t.data().begin(), t.data().end(), other->data().begin(), other->data().end()));
    });
    const auto& tiles = document::LookUpTileGroup(set, document::kTileGroup)->tiles;
    const auto& loadedTiles = document::LookUpTileGroup(loaded, document::kTileGroup)->tiles;
    check(tiles.size() == loadedTiles.size());
    for (std::size_t i = 0; i < tiles.size(); ++i)
        check(tiles.at(i).id == loadedTiles.at(i).id && tiles.at(i).texture.view() == loadedTiles.at(i).texture.view() &&
              tiles.at(i).material.view() == loadedTiles.at(i).material.view());
    return 0;
}
