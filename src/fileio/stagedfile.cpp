#include "fileio/stagedfile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fileio/descriptor.h"

namespace marquetor::fileio {

namespace {

// A temporary name beside the target, made exclusively; the open descriptor, or -1.
int openNamedTemp(const std::filesystem::path& folder, std::filesystem::path& made) {
    std::string pattern = (folder / ".stage-XXXXXX").string();
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    made = pattern;
    return fd;
}

void syncFolder(const std::filesystem::path& folder) {
    Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
}

}  // namespace

bool StagedFile::start(const std::filesystem::path& folder, unsigned mode) {
    drop();
    m_folder = folder;
#ifdef O_TMPFILE
    m_fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, static_cast<mode_t>(mode));
#endif
    if (m_fd < 0) m_fd = openNamedTemp(folder, m_tempPath);
    if (m_fd < 0) return false;
    // The umask may have taken bits away, or mkostemp given its own: the mode is exactly
    // the one asked for.
    if (::fchmod(m_fd, static_cast<mode_t>(mode)) != 0) {
        const int saved = errno;
        drop();
        errno = saved;
        return false;
    }
    return true;
}

bool StagedFile::commit(const std::string& name) {
    if (m_fd < 0) {
        errno = EBADF;
        return false;
    }
    const std::filesystem::path target = m_folder / name;
    int failure = 0;
    if (::fsync(m_fd) != 0) failure = errno;
    if (failure == 0 && m_tempPath.empty()) {
        // Named only now that it is whole: under a temporary name first, as a link cannot
        // replace an existing name.
        std::string temp = (m_folder / ".stage-XXXXXX").string();
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string candidate = temp;
            const int probe = ::mkstemp(candidate.data());   // a free name...
            if (probe < 0) {
                failure = errno;
                break;
            }
            ::close(probe);
            ::unlink(candidate.c_str());                      // ...taken by the link below
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
                ::linkat(m_fd, "", AT_FDCWD, candidate.c_str(), AT_EMPTY_PATH) == 0) {
                m_tempPath = candidate;
                break;
            }
            if (errno != EEXIST) {
                failure = errno;
                break;
            }
        }
        if (failure == 0 && m_tempPath.empty()) failure = EEXIST;
    }
    if (failure == 0 && ::rename(m_tempPath.c_str(), target.c_str()) != 0) failure = errno;
    if (failure == 0) {
        m_tempPath.clear();   // it is the target now
        syncFolder(m_folder);
    }
    drop();
    errno = failure;
    return failure == 0;
}

void StagedFile::drop() {
    if (!m_tempPath.empty()) ::unlink(m_tempPath.c_str());
    m_tempPath.clear();
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

}  // namespace marquetor::fileio
