// One load of a tile set file in a fresh process, or the file's bytes read once into new
// memory (the floor any load has to pay), timed from the inside:
//
//   marquetor_load_once FILE          prints "load_ms <milliseconds> tiles <count>"
//   marquetor_load_once --read FILE   prints "read_ms <milliseconds> bytes <count>"
//
// A fresh process per measurement gives both the same start: a warm page cache and memory
// that was never touched. callgrind runs the first form for the parsing figure.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "document/tileset.h"
#include "tilesetfile/format.h"

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int readOnce(const char* path) {
    const auto start = Clock::now();
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 1;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return 1;
    const auto size = static_cast<std::size_t>(st.st_size);
    const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, buffer.get() + done, size - done);
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    const double ms = millisecondsSince(start);
    std::printf("read_ms %.3f bytes %zu\n", ms, done);
    return done == size ? 0 : 1;
}

int loadOnce(const char* path) {
    marquetor::document::TileSet set;
    marquetor::document::AddTileGroup(set, marquetor::document::kTileGroup);
    const auto start = Clock::now();
    const auto result = marquetor::tilesetfile::LoadTileSet(set, path);
    const double ms = millisecondsSince(start);
    const auto* group = marquetor::document::LookUpTileGroup(set, marquetor::document::kTileGroup);
    std::printf("load_ms %.3f tiles %zu\n", ms, group ? group->tiles.size() : 0u);
    std::fflush(stdout);
    // Freeing a million records is not part of the load.
    std::_Exit(result.status == marquetor::tilesetfile::LoadStatus::Ok ? 0 : 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--read") == 0) return readOnce(argv[2]);
    if (argc == 2) return loadOnce(argv[1]);
    std::fprintf(stderr, "Usage: marquetor_load_once [--read] FILE\n");
    return 2;
}
