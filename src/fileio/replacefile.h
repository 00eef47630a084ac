#pragma once
// Replacing a file's content safely: a save either gives the file its whole new content or
// leaves it as it was, and says why when it fails. Plain C++ and POSIX, no GUI.
//
// How a file is replaced:
// - Refused, with nothing touched, when the target exists but is not a regular file (after
//   following symbolic links: folders, FIFOs, devices, sockets), or when the user may not
//   write it (judged with the effective IDs, as opening it for writing would be). Such a
//   target is never opened for writing.
// - Normally a new file is written beside the target, synced and renamed over it; it gets
//   the old file's mode, owner and group where that is permitted, and its extended
//   attributes (ACLs included) where they can be copied. It is made unnamed (O_TMPFILE) and
//   given its short temporary name only once complete, so that a save cut off (a crash,
//   SIGKILL) leaves nothing behind; on a file system without unnamed files it has the
//   temporary name from the start, and a save killed while writing leaves that file
//   (".mrqt-" and six letters or digits, with the old file's mode) for the user to remove.
// - When a rename would give the name a new file (more hard links than one) or cannot be
//   done (a folder we may not create files in, or a sticky folder we may not rename in,
//   holding a file we may write), the file is written in place: the space for it is
//   reserved first, so that a full disk is found before any old byte is overwritten; a
//   failure after that point says that the file may be damaged (and a save killed then
//   leaves it part new, part old: nothing can keep a file's other names and be atomic).
// - A symbolic link stays a link: the file it points to gets the new content.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

#include "marquetor/tileset_export.h"

namespace marquetor::fileio {

struct WriteResult {
    bool ok = false;
    std::string reason;    // short reason when not ok
    int code() const { return ok ? 1 : 0; }
};

// Writes a file's new content to an open descriptor, from its current offset on: 0 when
// every byte was written, else the errno of the failure.
using Content = std::function<int(int fd)>;

// Gives the file at path the content that `content` writes, which must be exactly newSize
// bytes (the size is needed up front to reserve the room for a save in place).
MARQUETOR_API WriteResult ReplaceFile(const std::filesystem::path& path, std::uint64_t newSize, const Content& content);

// The same with bytes at hand (exported textures, extracted files).
MARQUETOR_API WriteResult SaveFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Writes all of n bytes to fd; false with errno set when that fails.
MARQUETOR_API bool WriteAll(int fd, const std::uint8_t* data, std::size_t n);

// Starts writing a file's new bytes to the disk while later ones are still being produced,
// so that the fsync a save ends with has little left to wait for. Only a hint: whether the
// kernel takes it changes nothing about what is written.
class MARQUETOR_API EarlyWriteback {
public:
    explicit EarlyWriteback(int fd) : m_fd(fd) {}
    void written(std::size_t n);

private:
    static constexpr std::size_t kStep = std::size_t{8} << 20;
    int m_fd;
    std::size_t m_written = 0;
    std::size_t m_started = 0;
};

}  // namespace marquetor::fileio
