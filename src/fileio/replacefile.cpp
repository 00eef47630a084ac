#include "fileio/replacefile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <limits>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "fileio/descriptor.h"
#include "fileio/filekind.h"

namespace marquetor::fileio {

namespace {

namespace fs = std::filesystem;

std::string errnoText(int err) { return std::strerror(err); }

// A path in double quotes, for messages.
std::string quoted(const fs::path& path) {
    std::string text = "\"";
    text += path.string();
    text += '"';
    return text;
}

WriteResult failure(std::string reason) { return WriteResult{false, std::move(reason)}; }

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

// Follows symbolic links to the path they finally name, which need not exist yet (a link
// to a file still to be made saves that file). 0 or the errno that stopped it.
int followLinks(fs::path& path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
        std::vector<char> text(static_cast<std::size_t>(std::max<off_t>(st.st_size, 0)) + PATH_MAX);
        const ssize_t n = ::readlink(path.c_str(), text.data(), text.size());
        if (n < 0) return errno;
        if (static_cast<std::size_t>(n) >= text.size()) return ENAMETOOLONG;
        const fs::path link(std::string(text.data(), static_cast<std::size_t>(n)));
        // Relative to the link's own folder, resolved by the kernel (no lexical clean-up,
        // which would be wrong after a ".." behind a linked folder).
        path = link.is_absolute() ? link : path.parent_path() / link;
    }
    return ELOOP;
}

WriteResult notRegular(const fs::path& shown, mode_t mode) {
    return failure("cannot save " + quoted(shown) + ": not a regular file (it is " + KindOfFile(mode) + ")");
}

// The effective IDs may write the file, as opening it for writing would find (root may
// write anything). 0 or the errno of the refusal.
int writeAccess(const fs::path& path) {
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0 ? 0 : errno;
}

WriteResult refused(const fs::path& shown, int err) {
    if (err == EACCES || err == EPERM) return failure("cannot save " + quoted(shown) + ": the file is write-protected");
    return failure("cannot save " + quoted(shown) + ": " + errnoText(err));
}

// A short name that any folder accepts whatever the target's name: a fixed prefix and six
// random letters or digits.
std::string temporaryName() {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::atomic<std::uint64_t> counter{0};
    std::uint8_t random[6] = {};
    if (::getrandom(random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
        // Without the kernel's randomness: the clock, the process and a counter.
        std::uint64_t mix = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                            (static_cast<std::uint64_t>(::getpid()) << 32) ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15u);
        for (auto& b : random) {
            b = static_cast<std::uint8_t>(mix);
            mix = mix * 6364136223846793005u + 1442695040888963407u;
            mix ^= mix >> 29;
        }
    }
    std::string name = ".mrqt-";
    for (std::uint8_t b : random) name += kLetters[b % (sizeof kLetters - 1)];
    return name;
}

// The names of the file's extended attributes (empty when it has none or the file system
// keeps none).
std::vector<std::string> attributeNames(const fs::path& path) {
    std::vector<std::string> names;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = ::listxattr(path.c_str(), nullptr, 0);
        if (size <= 0) return names;
        std::vector<char> list(static_cast<std::size_t>(size));
        const ssize_t got = ::listxattr(path.c_str(), list.data(), list.size());
        if (got < 0 && errno == ERANGE) continue;   // grew meanwhile
        if (got <= 0) return names;
        for (std::size_t at = 0; at < static_cast<std::size_t>(got);) {
            const std::string name(list.data() + at);
            at += name.size() + 1;
            if (!name.empty()) names.push_back(name);
        }
        return names;
    }
    return names;
}

constexpr char kAccessAcl[] = "system.posix_acl_access";

// Gives the new file the old one's extended attributes: its access ACL and whatever else
// we may set. An attribute that cannot be copied is left out; the save goes on.
void copyAttributes(const fs::path& from, int toFd) {
    bool hadAcl = false;
    for (const std::string& name : attributeNames(from)) {
        if (name == kAccessAcl) hadAcl = true;
        const ssize_t size = ::getxattr(from.c_str(), name.c_str(), nullptr, 0);
        if (size < 0) continue;
        std::vector<char> value(static_cast<std::size_t>(size));
        const ssize_t got = size == 0 ? 0 : ::getxattr(from.c_str(), name.c_str(), value.data(), value.size());
        if (got < 0) continue;
        ::fsetxattr(toFd, name.c_str(), value.data(), static_cast<std::size_t>(got), 0);
    }
    // The new file may have taken the folder's default ACL; the old one had none.
    if (!hadAcl) ::fremovexattr(toFd, kAccessAcl);
}

// Runs the content writer; nothing when it wrote exactly newSize bytes, else the reason.
std::optional<std::string> writeContent(int fd, std::uint64_t newSize, const Content& content) {
    int err = 0;
    try {
        err = content(fd);
    } catch (const std::bad_alloc&) {
        err = ENOMEM;
    }
    if (err != 0) return errnoText(err);
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    if (end < 0) return errnoText(errno);
    if (static_cast<std::uint64_t>(end) != newSize) return "the content was not the size announced";
    return std::nullopt;
}

void syncFolder(const fs::path& folder) {
    // Makes a rename durable; some file systems cannot sync a folder, which is fine.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The new file, open for writing in the target's folder.
struct NewFile {
    int fd = -1;
    bool unnamed = false;   // made with O_TMPFILE: it gets its temporary name only once complete
    fs::path temp;          // its temporary name (for an unnamed one: once it has it)
};

// An unnamed file in the folder: until it is linked under a name, a save cut off at any
// point (a crash, SIGKILL, power loss) leaves nothing behind, the kernel frees it. -1 when
// the file system (or the kernel) cannot make one.
int openUnnamed(const fs::path& folder, mode_t mode) {
#ifdef O_TMPFILE
    return ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
#else
    (void)folder;
    (void)mode;
    errno = EOPNOTSUPP;
    return -1;
#endif
}

// A file under a new temporary name in the folder; -1 with errno when none can be made.
int openNamed(const fs::path& folder, mode_t mode, fs::path& temp) {
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder / temporaryName();
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST) break;
    }
    return fd;
}

// Gives the complete unnamed file a temporary name in the folder, through /proc (which any
// user may do) or, without /proc, AT_EMPTY_PATH (which kernels before 6.10 allow only with
// a capability). 0 or the errno.
int nameUnnamed(int fd, const fs::path& folder, fs::path& temp) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = folder / temporaryName();
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
        if (errno == EEXIST) continue;
        if (errno != ENOENT && errno != ENOTDIR) return errno;   // /proc is there, the link is refused
        if (::linkat(fd, "", AT_FDCWD, temp.c_str(), AT_EMPTY_PATH) == 0) return 0;
        if (errno != EEXIST) return errno;
    }
    return EEXIST;
}

// The normal case: a new file beside the target, complete and on disk before it takes the
// target's name. On any failure the new file goes and the target is untouched. `old` is
// the target's status when it exists. Fails with `createError` set when no file can be made
// in the folder (the caller may then write in place). `unnamedFirst`: the new file starts
// unnamed where the file system allows; when it cannot be named at the end, the caller
// tries again without.
WriteResult replaceByRename(const fs::path& shown, const fs::path& target, const fs::path& folder,
                            const struct stat* old, std::uint64_t newSize, const Content& content, int& createError,
                            bool unnamedFirst, bool& namingFailed) {
    // A new file gets 0666 and the umask, as any new file does; a replacement starts
    // private and takes the old file's mode below.
    const mode_t mode = old ? 0600 : 0666;
    NewFile made;
    if (unnamedFirst) {
        made.fd = openUnnamed(folder, mode);
        made.unnamed = made.fd >= 0;
    }
    // Where no unnamed file can be made, the named one says why no file can be made at all.
    if (made.fd < 0) made.fd = openNamed(folder, mode, made.temp);
    if (made.fd < 0) {
        createError = errno;
        return failure("cannot create a file in " + quoted(folder) + ": " + errnoText(createError));
    }
    Descriptor file(made.fd);
    const int fd = made.fd;
    auto dropNamed = [&] {
        if (!made.temp.empty()) ::unlink(made.temp.c_str());
    };
    auto abandon = [&](const std::string& why) {
        file.close();   // an unnamed file goes with its last descriptor
        dropNamed();
        return failure("cannot write " + quoted(shown) + ": " + why);
    };

    if (old) {
        // Owner and group where we may (giving a file away is a privilege), the attributes,
        // then the mode: after the owner, which clears set-ID bits, and after the ACL, so
        // both agree. A mode that cannot be set leaves the copy private, never wider.
        if (::fchown(fd, old->st_uid, old->st_gid) != 0 && ::fchown(fd, static_cast<uid_t>(-1), old->st_gid) != 0) {
            // Not ours to give: the copy keeps our own group.
        }
        copyAttributes(target, fd);
        ::fchmod(fd, old->st_mode & 07777);
    }
    if (auto why = writeContent(fd, newSize, content)) return abandon(*why);
    if (::fsync(fd) != 0) return abandon(errnoText(errno));
    // Named only now, complete and on disk; it keeps the name for the few instructions
    // until the rename.
    if (made.unnamed) {
        if (const int err = nameUnnamed(fd, folder, made.temp); err != 0) {
            made.temp.clear();
            namingFailed = true;
            return abandon(errnoText(err));
        }
    }
    if (const int err = file.close(); err != 0) {
        dropNamed();
        return failure("cannot write " + quoted(shown) + ": " + errnoText(err));
    }
    if (::rename(made.temp.c_str(), target.c_str()) != 0) {
        const int err = errno;
        dropNamed();
        return failure("cannot replace " + quoted(shown) + ": " + errnoText(err));
    }
    syncFolder(folder);
    return WriteResult{true, {}};
}

// Room for `size` bytes, so that writing them cannot run out of space. Where the file
// system has no allocation call, the part beyond the old end is written with zeros (which
// touches no old byte). 0 or the errno.
int reserve(int fd, std::uint64_t oldSize, std::uint64_t size) {
    if (size == 0) return 0;
    const int err = ::posix_fallocate(fd, 0, static_cast<off_t>(size));
    if (err == 0) return 0;
    if (err != EOPNOTSUPP && err != ENOSYS && err != EBADF && err != EINVAL) return err;
    static constexpr std::uint8_t kZeros[64 * 1024] = {};
    for (std::uint64_t at = oldSize; at < size;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof kZeros, size - at));
        const ssize_t done = ::pwrite(fd, kZeros, n, static_cast<off_t>(at));
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return done < 0 ? errno : EIO;
        at += static_cast<std::uint64_t>(done);
    }
    return 0;
}

// Writes over the file itself, keeping its inode (and so its other names, owner, mode and
// attributes). Until the first byte is written a failure leaves the file as it was; after
// it the result says that the file may be damaged.
WriteResult writeInPlace(const fs::path& shown, const fs::path& target, std::uint64_t newSize, const Content& content) {
    // Non-blocking, so that a FIFO put there meanwhile cannot hold the save; no links,
    // which were followed already.
    Descriptor file(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    const int fd = file.get();
    if (fd < 0) return refused(shown, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) return refused(shown, errno);
    if (!S_ISREG(st.st_mode)) return notRegular(shown, st.st_mode);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    const auto oldSize = static_cast<std::uint64_t>(st.st_size);
    auto unchanged = [&](const std::string& why) {
        // Only the reserved tail beyond the old end goes again.
        struct stat now {};
        if (::fstat(fd, &now) == 0 && static_cast<std::uint64_t>(now.st_size) != oldSize &&
            ::ftruncate(fd, static_cast<off_t>(oldSize)) != 0) {
            return failure("cannot save " + quoted(shown) + ": " + why);
        }
        return failure("cannot save " + quoted(shown) + ": " + why + "; the file is unchanged");
    };
    auto damaged = [&](const std::string& why) {
        return failure("writing " + quoted(shown) + " in place failed (" + why + "): the file may be damaged");
    };

    if (const int err = reserve(fd, oldSize, std::max(oldSize, newSize)); err != 0) return unchanged(errnoText(err));
    if (::lseek(fd, 0, SEEK_SET) != 0) return unchanged(errnoText(errno));
    if (auto why = writeContent(fd, newSize, content)) {
        // The writer goes front to back: still at the start, it wrote nothing.
        if (::lseek(fd, 0, SEEK_CUR) == 0) return unchanged(*why);
        return damaged(*why);
    }
    if (::fsync(fd) != 0) return damaged(errnoText(errno));
    if (newSize < oldSize) {
        if (::ftruncate(fd, static_cast<off_t>(newSize)) != 0) return damaged(errnoText(errno));
        if (::fsync(fd) != 0) return damaged(errnoText(errno));
    }
    if (const int err = file.close(); err != 0) return damaged(errnoText(err));
    return WriteResult{true, {}};
}

}  // namespace

WriteResult ReplaceFile(const fs::path& path, std::uint64_t newSize, const Content& content) {
    if (path.empty()) return failure("no file name given");
    if (path.native().find('\0') != std::string::npos) return failure("the file name holds a zero byte");
    if (newSize > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
        return failure("cannot save " + quoted(path) + ": " + errnoText(EFBIG));

    fs::path target = path;
    // A symbolic link stays a link: the file it points to is saved.
    if (const int err = followLinks(target); err != 0) return failure("cannot save " + quoted(path) + ": " + errnoText(err));
    if (!target.has_filename()) return failure(quoted(path) + " is not a file name");
    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";

    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) return failure("cannot save " + quoted(path) + ": " + errnoText(errno));

    bool inPlace = false;
    if (exists) {
        if (!S_ISREG(st.st_mode)) return notRegular(path, st.st_mode);
        if (const int err = writeAccess(target); err != 0) return refused(path, err);
        struct stat dir {};
        const bool mayCreate = ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
        // In a sticky folder only the owner of the file or of the folder may rename over it.
        const uid_t me = ::geteuid();
        const bool stickyForUs = ::stat(folder.c_str(), &dir) == 0 && (dir.st_mode & S_ISVTX) && me != 0 &&
                                 st.st_uid != me && dir.st_uid != me;
        inPlace = st.st_nlink > 1 || !mayCreate || stickyForUs;
    }

    FileSizeSignalBlock signalBlock;
    if (inPlace) return writeInPlace(path, target, newSize, content);
    int createError = 0;
    bool namingFailed = false;
    WriteResult result =
        replaceByRename(path, target, folder, exists ? &st : nullptr, newSize, content, createError, true, namingFailed);
    // An unnamed file that could not be given a name (no /proc, no capability): once more
    // with a named one.
    if (!result.ok && namingFailed)
        result = replaceByRename(path, target, folder, exists ? &st : nullptr, newSize, content, createError, false,
                                 namingFailed);
    // A folder that refuses new files though the checks above let it: the file itself is
    // still ours to write.
    if (!result.ok && exists && (createError == EACCES || createError == EPERM))
        return writeInPlace(path, target, newSize, content);
    return result;
}

WriteResult SaveFile(const fs::path& path, std::span<const std::uint8_t> bytes) {
    try {
        return ReplaceFile(path, bytes.size(), [&](int fd) {
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
