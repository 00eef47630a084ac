#pragma once
// Reading a file whole, the one way every part of the program takes in a file it was given
// at once (texture files, the previews of the folder list, Tiled tilesets and their images,
// a tile set to export): only regular files, never more than the caller's limit, and never
// a wait on something that is no file. Plain C++ and POSIX, no GUI.
//
// - The path is looked at first (symbolic links followed): a FIFO, a device, a socket or a
//   folder is refused at once and never opened. The file is then opened without blocking
//   and looked at again through the descriptor, so that something put in its place
//   meanwhile is refused too, before a byte is read.
// - A file larger than the limit is refused before anything is read.
// - Reads interrupted by a signal are retried.
// - A file that changes while it is read (shorter or longer than its size said when it was
//   opened, or written to meanwhile as far as its modification time tells) is refused with
//   "changed while it was read": what was read is not one version of the file. Reading it
//   again later is the caller's (the user's) choice.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace marquetor::fileio {

struct ReadResult {
    bool ok = false;
    std::string error;               // why not, for a message: "not a regular file (it is a FIFO)",
                                     // "larger than 268435456 bytes", strerror text
    std::vector<std::uint8_t> bytes; // the whole file when ok
};

// Reads a regular file whole, at most `limit` bytes; anything else is refused at once.
ReadResult ReadWholeFile(const std::filesystem::path& path, std::size_t limit);

// Memory for a file of `size` bytes (size > 0), or null when there is none to be had.
using ReadRoom = std::function<std::uint8_t*(std::size_t size)>;

// The same into memory the caller provides, for callers that keep the bytes in a block of
// their own (a texture): `room` is asked once, for the file's size, and only when the file
// is not empty; the bytes go there and the result's `bytes` stays empty. On failure the
// memory may hold part of the file.
ReadResult ReadWholeFile(const std::filesystem::path& path, std::size_t limit, const ReadRoom& room);

}  // namespace marquetor::fileio
