#include "fileio/identity.h"

#include <cerrno>

#include <sys/stat.h>

namespace marquetor::fileio {

namespace {

FileIdentity identityOf(const struct stat& st) {
    FileIdentity id;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.size = static_cast<std::uint64_t>(st.st_size);
    id.modifiedSeconds = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    id.modifiedNanoseconds = static_cast<std::int64_t>(st.st_mtim.tv_nsec);
    return id;
}

}  // namespace

std::optional<FileIdentity> IdentifyFile(const std::filesystem::path& path) {
    struct stat st {};
    if (path.empty()) {
        errno = ENOENT;
        return std::nullopt;
    }
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return identityOf(st);
}

std::optional<FileIdentity> IdentifyFile(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    return identityOf(st);
}

}  // namespace marquetor::fileio
