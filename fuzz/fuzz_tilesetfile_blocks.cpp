// Reading a tile set from a file goes through a buffer refilled in blocks. Feeds arbitrary
// bytes through a file with a tiny block size (chosen by the input's length, so the tile set
// seeds serve as they are), so that every item straddles a block boundary somewhere, and
// checks that the result is exactly what the same bytes give from memory.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "document/tileset.h"
#include "tilesetfile/format.h"

using namespace marquetor;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::size_t blockSize = 1 + size % 64;
    const std::span<const std::uint8_t> bytes(data, size);

    static const int fd = memfd_create("tileset", 0);
    check(fd >= 0);
    check(ftruncate(fd, 0) == 0);
    check(pwrite(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()));
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    document::TileSet fromMemory;
    document::AddTileGroup(fromMemory, document::kTileGroup);
    const tilesetfile::LoadResult expected = tilesetfile::LoadTileSetFromMemory(fromMemory, bytes);
    document::TileSet fromFile;
    document::AddTileGroup(fromFile, document::kTileGroup);
    const tilesetfile::LoadResult got = tilesetfile::LoadTileSet(fromFile, path, blockSize);
    check(got.status == expected.status);
    check(tilesetfile::SaveTileSetToMemory(fromFile) == tilesetfile::SaveTileSetToMemory(fromMemory));
    check(fromFile.materialIndex.size() == fromFile.materials.size());
    const document::TileGroup* group = document::LookUpTileGroup(fromFile, document::kTileGroup);
    check(group->tileIndex.size() == group->tiles.size());
    return 0;
}
