#include "fileio/readfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fileio/descriptor.h"
#include "fileio/filekind.h"

namespace marquetor::fileio {

namespace {

// Each read asks for at most this much: a signal or a stop lands between steps, and a
// file cut short is noticed at the next one.
constexpr std::size_t kStep = std::size_t{1} << 20;

ReadResult failure(std::string why) {
    ReadResult r;
    r.error = std::move(why);
    return r;
}

ReadResult notRegular(mode_t mode) { return failure(std::string("not a regular file (it is ") + KindOfFile(mode) + ")"); }

ReadResult tooLarge(std::size_t limit) { return failure("larger than " + std::to_string(limit) + " bytes"); }

ReadResult changed() { return failure("the file changed while it was read"); }

// n bytes into out; the number read (fewer at the end of the file), or -1 with errno set.
long long readUpTo(int fd, std::uint8_t* out, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ::read(fd, out + done, std::min(n - done, kStep));
        if (got < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<long long>(done);
}

bool sameVersion(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

ReadResult readWhole(const std::filesystem::path& path, std::size_t limit, const ReadRoom& room) {
    if (path.empty()) return failure("no file name given");
    if (path.native().find('\0') != std::string::npos) return failure("the file name holds a zero byte");

    // Looked at before it is opened: opening a device can have effects of its own.
    struct stat seen {};
    if (::stat(path.c_str(), &seen) != 0) return failure(std::strerror(errno));
    if (!S_ISREG(seen.st_mode)) return notRegular(seen.st_mode);
    if (static_cast<std::uintmax_t>(seen.st_size) > limit) return tooLarge(limit);

    // Without blocking: were a FIFO put there since, opening it must not wait for a writer.
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.valid()) return failure(std::strerror(errno));
    const int fd = file.get();
    struct stat opened {};
    if (::fstat(fd, &opened) != 0) return failure(std::strerror(errno));
    if (!S_ISREG(opened.st_mode)) return notRegular(opened.st_mode);
    if (opened.st_size < 0 || static_cast<std::uintmax_t>(opened.st_size) > limit) return tooLarge(limit);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    const auto size = static_cast<std::size_t>(opened.st_size);
    if (size > 0) {
        std::uint8_t* out = nullptr;
        try {
            out = room(size);
        } catch (const std::bad_alloc&) {
            out = nullptr;
        }
        if (out == nullptr) return failure("not enough memory for " + std::to_string(size) + " bytes");
        const long long got = readUpTo(fd, out, size);
        if (got < 0) return failure(std::strerror(errno));
        if (static_cast<std::size_t>(got) != size) return changed();
    }
    // It must end where its size said, and be the version that was opened.
    std::uint8_t probe;
    const long long beyond = readUpTo(fd, &probe, 1);
    if (beyond < 0) return failure(std::strerror(errno));
    struct stat after {};
    if (beyond != 0 || ::fstat(fd, &after) != 0 || !sameVersion(opened, after)) return changed();
    ReadResult done;
    done.ok = true;
    return done;
}

}  // namespace

ReadResult ReadWholeFile(const std::filesystem::path& path, std::size_t limit, const ReadRoom& room) {
    try {
        return readWhole(path, limit, room);
    } catch (const std::bad_alloc&) {
        return failure("not enough memory");
    }
}

ReadResult ReadWholeFile(const std::filesystem::path& path, std::size_t limit) {
    std::vector<std::uint8_t> bytes;
    ReadResult result = ReadWholeFile(path, limit, [&](std::size_t size) {
        bytes.resize(size);
        return bytes.data();
    });
    if (result.ok) result.bytes = std::move(bytes);
    return result;
}

}  // namespace marquetor::fileio
