#pragma once
// Replacing a file's content safely: a save either gives the file its whole new content or
// leaves it as it was, and says why when it fails. Plain C++ and POSIX, no GUI.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

namespace marquetor::fileio {

struct WriteResult {
    bool ok = false;
    std::string reason;    // short reason when not ok
    int code() const { return ok ? 1 : 0; }
};

// Writes a file's new content to an open descriptor: 0 when every byte was written, else
// the errno of the failure.
using Content = std::function<int(int fd)>;

// Gives the file at path the content that `content` writes. A new file is written beside
// the target, checked, synced and renamed over it; on any failure the target is left as it
// was. A symbolic link stays a link: the file it points to is replaced.
WriteResult ReplaceFile(const std::filesystem::path& path, const Content& content);

// The same with bytes at hand (exported textures, extracted files).
WriteResult SaveFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Writes all of n bytes to fd; false with errno set when that fails.
bool WriteAll(int fd, const std::uint8_t* data, std::size_t n);

// Starts writing a file's new bytes to the disk while later ones are still being produced,
// so that the fsync a save ends with has little left to wait for. Only a hint: whether the
// kernel takes it changes nothing about what is written.
class EarlyWriteback {
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
