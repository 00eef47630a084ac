#pragma once
// What identifies a file on disk at one moment: the device and inode it lives in, its size
// and its modification time to the nanosecond. Two identities that differ mean the file was
// changed or replaced in between (a save by this program or another, a `git pull`). Plain
// C++ and POSIX, no GUI.

#include <cstdint>
#include <filesystem>
#include <optional>

namespace marquetor::fileio {

struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedSeconds = 0;       // since the epoch
    std::int64_t modifiedNanoseconds = 0;   // 0 to 999,999,999
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The file at path now, symbolic links followed as a save follows them (the file at the end
// of the chain); nothing, with errno set, when there is none or it cannot be looked at.
std::optional<FileIdentity> IdentifyFile(const std::filesystem::path& path);

// The file open as fd: what was read from it is what is identified.
std::optional<FileIdentity> IdentifyFile(int fd);

}  // namespace marquetor::fileio
