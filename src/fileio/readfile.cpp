#include "fileio/readfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fileio/descriptor.h"

namespace marquetor::fileio {

namespace {

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a file";
}

ReadResult failure(std::string why) {
    ReadResult r;
    r.error = std::move(why);
    return r;
}

}  // namespace

ReadResult ReadWholeFile(const std::filesystem::path& path, std::size_t limit) {
    // O_NONBLOCK: opening a FIFO without a writer would otherwise wait for one. The type is
    // checked on the open descriptor, so a file swapped in between cannot slip through.
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.valid()) return failure(std::strerror(errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return failure(std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return failure(std::string("not a regular file (it is ") + kindOf(st.st_mode) + ")");
    if (static_cast<std::uint64_t>(st.st_size) > limit)
        return failure("larger than " + std::to_string(limit) + " bytes");
    ReadResult r;
    try {
        r.bytes.resize(static_cast<std::size_t>(st.st_size));
    } catch (const std::bad_alloc&) {
        return failure("not enough memory to read it");
    }
    // A file that grows while it is read is read on, up to the limit.
    std::size_t got = 0;
    for (;;) {
        if (got == r.bytes.size()) {
            if (got >= limit) {
                std::uint8_t extra = 0;
                const ssize_t n = ::read(fd.get(), &extra, 1);
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) return failure(std::strerror(errno));
                if (n > 0) return failure("larger than " + std::to_string(limit) + " bytes");
                break;
            }
            try {
                r.bytes.resize(std::min(limit, got + 65536));
            } catch (const std::bad_alloc&) {
                return failure("not enough memory to read it");
            }
        }
        const ssize_t n = ::read(fd.get(), r.bytes.data() + got, r.bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failure(std::strerror(errno));
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    r.bytes.resize(got);
    r.ok = true;
    return r;
}

}  // namespace marquetor::fileio
