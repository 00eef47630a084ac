#pragma once
// Reading a file whole, for every input a program takes in at once (a Tiled tileset, its
// images, a tile set to export): regular files only, up to a limit, and never a wait on a
// FIFO or a device. Plain C++ and POSIX, no GUI.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace marquetor::fileio {

struct ReadResult {
    bool ok = false;
    std::string error;               // why not, for a message: "not a regular file (it is a FIFO)", "larger than 268435456 bytes", strerror text
    std::vector<std::uint8_t> bytes; // the whole file when ok
};

// Reads a regular file whole, at most `limit` bytes; anything else is refused at once.
ReadResult ReadWholeFile(const std::filesystem::path& path, std::size_t limit);

}  // namespace marquetor::fileio
