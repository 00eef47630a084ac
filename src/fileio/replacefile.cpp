#include "fileio/replacefile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace marquetor::fileio {

namespace {

std::string errnoText(int err) { return std::strerror(err); }

// A path in double quotes, for messages.
std::string quoted(const std::filesystem::path& path) {
    std::string text = "\"";
    text += path.string();
    text += '"';
    return text;
}

// Holds SIGXFSZ back while a save runs, so that exceeding the file size limit makes the
// write fail with EFBIG (reported, the old file kept) instead of killing the program. A
// signal the save raised itself is taken off again before the mask is restored.
class FileSizeSignalBlock {
public:
    FileSizeSignalBlock() {
        sigemptyset(&m_set);
        sigaddset(&m_set, SIGXFSZ);
        pthread_sigmask(SIG_BLOCK, &m_set, &m_old);
        m_wasPending = isPending();
    }
    FileSizeSignalBlock(const FileSizeSignalBlock&) = delete;
    FileSizeSignalBlock& operator=(const FileSizeSignalBlock&) = delete;
    ~FileSizeSignalBlock() {
        if (!m_wasPending && isPending()) {
            const timespec zero{};
            sigtimedwait(&m_set, nullptr, &zero);
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }

private:
    static bool isPending() {
        sigset_t pending;
        sigemptyset(&pending);
        return sigpending(&pending) == 0 && sigismember(&pending, SIGXFSZ) == 1;
    }
    sigset_t m_set{};
    sigset_t m_old{};
    bool m_wasPending = false;
};

std::string tempSuffix() {
    static std::atomic<unsigned> counter{0};
    const auto now = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    char text[64];
    std::snprintf(text, sizeof text, ".tmp-%d-%llx", static_cast<int>(::getpid()),
                  now ^ (static_cast<unsigned long long>(counter.fetch_add(1)) << 48));
    return text;
}

WriteResult failure(std::string reason) { return WriteResult{false, std::move(reason)}; }

}  // namespace

// Writes a new file beside the target and renames it over the target once it is complete
// and on disk. On any failure the temporary file is removed and the target is untouched.
WriteResult ReplaceFile(const std::filesystem::path& path, const Content& content) {
    namespace fs = std::filesystem;
    if (path.empty()) return failure("no file name given");
    if (path.native().find('\0') != std::string::npos) return failure("the file name holds a zero byte");

    fs::path target = path;
    // A symbolic link stays a link: the file it points to is replaced.
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(target.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return failure(quoted(path) + " is a folder");
    if (!target.has_filename()) return failure(quoted(path) + " is not a file name");

    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";

    FileSizeSignalBlock signalBlock;
    fs::path temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        std::string name = ".";
        name += target.filename().string();
        name += tempSuffix();
        temp = folder / name;
        // 0666 and the umask, as any newly created file gets.
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        const int e = errno;
        return failure("cannot create a file in " + quoted(folder) + ": " + errnoText(e));
    }

    auto abandon = [&](const std::string& what, int err) {
        ::close(fd);
        ::unlink(temp.c_str());
        return failure(what + ": " + errnoText(err));
    };

    if (exists) {
        // Keep the old file's owner and group where we may (changing them is a privilege), then
        // its permission bits (after the owner, which would clear set-ID bits).
        if (::fchown(fd, st.st_uid, st.st_gid) != 0 && ::fchown(fd, static_cast<uid_t>(-1), st.st_gid) != 0) {
            // Not ours to give: the new file keeps our own group.
        }
        if (::fchmod(fd, st.st_mode & 07777) != 0) {
            const int e = errno;
            return abandon("cannot keep the permissions of \"" + path.string() + "\"", e);
        }
    }
    int err = 0;
    try {
        err = content(fd);
    } catch (const std::bad_alloc&) {
        err = ENOMEM;
    }
    if (err == 0 && ::fsync(fd) != 0) err = errno;
    if (err != 0) return abandon("cannot write " + quoted(path), err);
    if (::close(fd) != 0) {
        const int closeErr = errno;
        ::unlink(temp.c_str());
        return failure("cannot write " + quoted(path) + ": " + errnoText(closeErr));
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int renameErr = errno;
        ::unlink(temp.c_str());
        return failure("cannot replace " + quoted(path) + ": " + errnoText(renameErr));
    }
    // Make the rename itself durable; some file systems cannot sync a folder, which is fine.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return WriteResult{true, {}};
}

WriteResult SaveFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    try {
        return ReplaceFile(path, [&](int fd) {
            EarlyWriteback writeback(fd);
            // In steps, so that large files start going to the disk before the final sync.
            constexpr std::size_t kStep = std::size_t{1} << 20;
            for (std::size_t at = 0; at < bytes.size(); at += kStep) {
                const std::size_t n = std::min(kStep, bytes.size() - at);
                if (!WriteAll(fd, bytes.data() + at, n)) return errno;
                writeback.written(n);
            }
            return 0;
        });
    } catch (const std::bad_alloc&) {
        return failure("not enough memory to save");
    }
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t n) {
    while (n > 0) {
        const ssize_t done = ::write(fd, data, std::min<std::size_t>(n, 1u << 30));
        if (done < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (done == 0) {
            errno = EIO;
            return false;
        }
        data += done;
        n -= static_cast<std::size_t>(done);
    }
    return true;
}

void EarlyWriteback::written(std::size_t n) {
    m_written += n;
    if (m_written - m_started >= kStep) {
#if defined(__linux__)
        ::sync_file_range(m_fd, static_cast<off_t>(m_started), static_cast<off_t>(m_written - m_started),
                          SYNC_FILE_RANGE_WRITE);
#endif
        m_started = m_written;
    }
}

}  // namespace marquetor::fileio
