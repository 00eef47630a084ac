// The baseline of the readers' figures: one load of a tile set with the library, timed
// exactly as each reader's dump program times its own (readers/*/: `dump-LANG --time FILE`).
//
//   marquetor_reader_baseline --time FILE   prints "load_seconds <seconds>"
//
// The time covers LoadTileSet, the file's reading included; freeing is not part of it.

#include <chrono>
#include <cstdio>
#include <cstring>

#include "document/tileset.h"
#include "tilesetfile/format.h"

int main(int argc, char** argv) {
    if (argc != 3 || std::strcmp(argv[1], "--time") != 0) {
        std::fprintf(stderr, "Usage: marquetor_reader_baseline --time FILE\n");
        return 2;
    }
    marquetor::document::TileSet set;
    marquetor::document::AddTileGroup(set, marquetor::document::kTileGroup);
    const auto start = std::chrono::steady_clock::now();
    const auto result = marquetor::tilesetfile::LoadTileSet(set, argv[2]);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("load_seconds %.6f\n", took.count());
    std::fflush(stdout);
    std::_Exit(result.status == marquetor::tilesetfile::LoadStatus::Ok ? 0 : 1);
}
