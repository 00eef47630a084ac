#include "tilesetfile/format.h"

#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace marquetor::tilesetfile {

using document::Material;
using document::Texture;
using document::Tile;
using document::TileGroup;
using document::TileSet;

namespace {

constexpr std::string_view kHeaderText{kHeader};
constexpr std::size_t kWriteBuffer = std::size_t{1} << 20;
// The smallest tile record a complete file can hold: ID, two one-byte line ends, layer,
// collision. Used to bound what a claimed count may reserve.
constexpr std::size_t kMinTileRecord = 4 + 1 + 1 + 2 + 2;
constexpr std::size_t kMinMaterialRecord = 1 + 4 + 1;

std::string errnoText(int err) { return std::strerror(err); }

// The first CR, LF or zero byte in [p, end), or end. Looks at eight bytes at a time for
// any byte below 14 (all three are): (v - 0x0E..) & ~v & 0x80.. flags the lowest such byte
// exactly. Text rarely holds other control bytes (a tab), which are stepped over.
const std::uint8_t* findLineEnd(const std::uint8_t* p, const std::uint8_t* end) {
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t below14 = 0x0E0E0E0E0E0E0E0Eull;
        constexpr std::uint64_t highs = 0x8080808080808080ull;
        while (end - p >= 8) {
            std::uint64_t w;
            std::memcpy(&w, p, 8);
            const std::uint64_t hit = (w - below14) & ~w & highs;
            if (hit == 0) {
                p += 8;
                continue;
            }
            p += std::countr_zero(hit) >> 3;
            const std::uint8_t c = *p;
            if (c == '\r' || c == '\n' || c == 0) return p;
            ++p;
        }
    }
    for (; p < end; ++p) {
        const std::uint8_t c = *p;
        if (c <= '\r' && (c == '\r' || c == '\n' || c == 0)) break;
    }
    return p;
}

// A text as a line can hold it: a CR, LF or zero byte would end the line early and throw
// everything after it out of step, so the text is written up to the first of them (which
// is what reading the line would give anyway).
std::string_view lineText(std::string_view s) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(s.data());
    return s.substr(0, static_cast<std::size_t>(findLineEnd(p, p + s.size()) - p));
}

// A description as the file stores it: up to the first zero byte (or line end), at most 64
// bytes.
std::string_view storedDescription(const std::string& d) {
    return lineText(std::string_view(d).substr(0, document::kDescriptionSize));
}

// ----- Writing ---------------------------------------------------------------------------

// Writes all of n bytes to fd; false with errno set when that fails.
bool writeAll(int fd, const std::uint8_t* data, std::size_t n) {
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

// Buffers the small items of a save and passes large blocks straight through. Writes into a
// caller-sized memory area (fd < 0), or through a buffer into a file.
class Writer {
public:
    // Into memory: the area must be large enough for everything written.
    Writer(std::uint8_t* area, std::size_t size) : m_begin(area), m_p(area), m_end(area + size) {}
    // Into a file, through a buffer of its own.
    explicit Writer(int fd) : m_fd(fd) {
        m_buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kWriteBuffer);
        m_begin = m_p = m_buffer.get();
        m_end = m_begin + kWriteBuffer;
    }

    void bytes(const void* data, std::size_t n) {
        if (n <= static_cast<std::size_t>(m_end - m_p)) {
            if (n) std::memcpy(m_p, data, n);
            m_p += n;
            return;
        }
        slowBytes(static_cast<const std::uint8_t*>(data), n);
    }
    void i32(std::int32_t v) {
        const auto u = static_cast<std::uint32_t>(v);
        const std::uint8_t b[4] = {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
                                   static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)};
        bytes(b, 4);
    }
    void i16(std::int16_t v) {
        const auto u = static_cast<std::uint16_t>(v);
        const std::uint8_t b[2] = {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8)};
        bytes(b, 2);
    }
    void line(std::string_view text) {
        text = lineText(text);
        bytes(text.data(), text.size());
        bytes("\r\n", 2);
    }

    // Writes out what is buffered. False (errno kept in error()) when a write failed.
    bool finish() {
        if (m_fd >= 0 && m_error == 0) flushBuffer();
        return m_error == 0;
    }
    int error() const { return m_error; }
    std::size_t used() const { return static_cast<std::size_t>(m_p - m_begin); }

private:
    void flushBuffer() {
        if (m_error == 0 && !writeAll(m_fd, m_begin, used())) m_error = errno;
        m_p = m_begin;
    }
    void slowBytes(const std::uint8_t* data, std::size_t n) {
        if (m_fd < 0) {   // a memory area sized too small: a bug, never silently cut
            m_error = ENOSPC;
            return;
        }
        if (m_error != 0) return;
        flushBuffer();
        if (n >= kWriteBuffer) {
            if (m_error == 0 && !writeAll(m_fd, data, n)) m_error = errno;
        } else {
            std::memcpy(m_p, data, n);
            m_p += n;
        }
    }

    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::uint8_t* m_begin = nullptr;
    std::uint8_t* m_p = nullptr;
    std::uint8_t* m_end = nullptr;
    int m_fd = -1;
    int m_error = 0;
};

std::int32_t countField(std::size_t n) { return static_cast<std::int32_t>(std::min<std::size_t>(n, INT32_MAX)); }

// Exactly the number of bytes writeTileSet produces.
std::size_t savedSize(const TileSet& set) {
    std::size_t n = kHeaderText.size() + 2 + 4 + 4 + 4 + 4 + 4;
    for (const auto& m : set.materials.items())
        n += lineText(m->name).size() + 2 + 4 + storedDescription(m->description).size() + 2;
    set.textures.forEach([&](const Texture& t) { n += lineText(t.name).size() + 2 + 4 + t.data().size(); });
    if (const TileGroup* group = document::LookUpTileGroup(set, 1))
        for (const auto& t : group->tiles.items())
            n += 4 + lineText(t->texture).size() + 2 + lineText(t->material).size() + 2 + 2 + 2;
    return n;
}

void writeTileSet(const TileSet& set, Writer& out) {
    out.line(kHeaderText);
    out.i32(set.tileWidth);
    out.i32(set.tileHeight);

    out.i32(countField(set.materials.size()));
    for (const auto& m : set.materials.items()) {
        out.line(m->name);
        out.i32(m->color);
        out.line(storedDescription(m->description));
    }

    out.i32(countField(set.textures.size()));
    set.textures.forEach([&](const Texture& t) {
        // The size written is the number of bytes held, so the file always stays readable.
        const auto data = t.data();
        out.line(t.name);
        out.i32(static_cast<std::int32_t>(data.size()));
        out.bytes(data.data(), data.size());
    });

    const TileGroup* group = document::LookUpTileGroup(set, 1);
    out.i32(group ? countField(group->tiles.size()) : 0);
    if (group) {
        for (const auto& t : group->tiles.items()) {
            out.i32(t->id);
            out.line(t->texture);
            out.line(t->material);
            out.i16(t->layer);
            out.i16(t->collision);
        }
    }
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

SaveResult failure(std::string reason) { return SaveResult{false, std::move(reason)}; }

// Writes a new file beside the target and renames it over the target once it is complete
// and on disk. On any failure the temporary file is removed and the target is untouched.
template <class Content>
SaveResult writeCrashSafe(const std::filesystem::path& path, Content&& content) {
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
    if (exists && S_ISDIR(st.st_mode)) return failure("\"" + path.string() + "\" is a folder");
    if (!target.has_filename()) return failure("\"" + path.string() + "\" is not a file name");

    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";

    FileSizeSignalBlock signalBlock;
    fs::path temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder / ("." + target.filename().string() + tempSuffix());
        // 0666 and the umask, as any newly created file gets.
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        const int e = errno;
        return failure("cannot create a file in \"" + folder.string() + "\": " + errnoText(e));
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
    if (err != 0) return abandon("cannot write \"" + path.string() + "\"", err);
    if (::close(fd) != 0) {
        const int closeErr = errno;
        ::unlink(temp.c_str());
        return failure("cannot write \"" + path.string() + "\": " + errnoText(closeErr));
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int renameErr = errno;
        ::unlink(temp.c_str());
        return failure("cannot replace \"" + path.string() + "\": " + errnoText(renameErr));
    }
    // Make the rename itself durable; some file systems cannot sync a folder, which is fine.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return SaveResult{true, {}};
}

// ----- Reading ---------------------------------------------------------------------------

// Reads the items of the format from memory. Past the end every number reads as zero (a
// partly present one keeps its bytes in its low part) and every line as empty; `ended`
// records that this happened.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> data) : m_p(data.data()), m_end(data.data() + data.size()) {}

    bool atEnd() const { return m_p == m_end; }
    std::size_t left() const { return static_cast<std::size_t>(m_end - m_p); }
    bool ended() const { return m_ended; }
    void markEnded() { m_ended = true; }

    std::int32_t i32() {
        if (left() >= 4) {
            const std::uint32_t v = static_cast<std::uint32_t>(m_p[0]) | static_cast<std::uint32_t>(m_p[1]) << 8 |
                                    static_cast<std::uint32_t>(m_p[2]) << 16 | static_cast<std::uint32_t>(m_p[3]) << 24;
            m_p += 4;
            return static_cast<std::int32_t>(v);
        }
        return static_cast<std::int32_t>(partial());
    }
    std::int16_t i16() {
        if (left() >= 2) {
            const auto v = static_cast<std::uint16_t>(m_p[0] | m_p[1] << 8);
            m_p += 2;
            return static_cast<std::int16_t>(v);
        }
        return static_cast<std::int16_t>(partial());
    }

    // A line ends at CR LF, a lone LF, a lone CR (the byte after it stays), a zero byte, or
    // the end of the data.
    std::string_view line() {
        const std::uint8_t* start = m_p;
        const std::uint8_t* q = findLineEnd(m_p, m_end);
        const std::string_view text(reinterpret_cast<const char*>(start), static_cast<std::size_t>(q - start));
        if (q == m_end) {
            m_ended = true;   // every line of the format is followed by more
        } else {
            ++q;
            if (q[-1] == '\r' && q < m_end && *q == '\n') ++q;
        }
        m_p = q;
        return text;
    }

    // Up to n bytes: fewer when the data ends first.
    std::span<const std::uint8_t> take(std::size_t n) {
        if (n > left()) {
            n = left();
            m_ended = true;
        }
        const std::span<const std::uint8_t> out(m_p, n);
        m_p += n;
        return out;
    }

private:
    // The bytes still present, in the low-order part of a little-endian number.
    std::uint32_t partial() {
        std::uint32_t v = 0;
        for (unsigned shift = 0; m_p < m_end; shift += 8) v |= static_cast<std::uint32_t>(*m_p++) << shift;
        m_ended = true;
        return v;
    }

    const std::uint8_t* m_p;
    const std::uint8_t* m_end;
    bool m_ended = false;
};

// How many records a count may reserve room for: never more than the data could hold.
std::size_t boundedCount(std::int32_t count, std::size_t left, std::size_t minRecord) {
    if (count <= 0) return 0;
    return std::min<std::size_t>(static_cast<std::size_t>(count), left / minRecord + 1);
}

LoadResult loadFrom(TileSet& set, std::span<const std::uint8_t> data) {
    Reader in(data);
    if (in.line() != kHeaderText)
        return LoadResult{LoadStatus::NotATileSet, "not a tile set: the first line is not \"0.50\""};

    bool outOfMemory = false;
    try {
        set.tileWidth = in.i32();
        set.tileHeight = in.i32();

        document::ClearMaterials(set);
        const std::int32_t materialCount = in.i32();
        set.materials.reserve(boundedCount(materialCount, in.left(), kMinMaterialRecord));
        set.materialIndex.reserve(boundedCount(materialCount, in.left(), kMinMaterialRecord));
        for (std::int32_t i = 0; i < materialCount; ++i) {
            if (in.atEnd()) {   // the count promised more than the data holds
                in.markEnded();
                break;
            }
            const std::string_view name = in.line();
            const std::int32_t color = in.i32();
            const std::string_view description = in.line();
            document::AddMaterial(set, name, color, description);   // a repeated name is dropped
        }

        document::ClearTextures(set);
        const std::int32_t textureCount = in.i32();
        for (std::int32_t i = 0; i < textureCount; ++i) {
            if (in.atEnd()) {
                in.markEnded();
                break;
            }
            std::string name(in.line());
            const std::int32_t claimed = in.i32();
            // A negative size holds no bytes; a size beyond the data keeps the bytes present.
            const auto block = in.take(claimed > 0 ? static_cast<std::size_t>(claimed) : 0);
            std::unique_ptr<std::uint8_t[]> bytes;
            if (!block.empty()) {
                bytes.reset(new (std::nothrow) std::uint8_t[block.size()]);
                if (bytes) {
                    std::memcpy(bytes.get(), block.data(), block.size());
                } else {
                    outOfMemory = true;
                }
            }
            const auto held = bytes ? static_cast<std::int32_t>(block.size()) : 0;
            document::PutTexture(set, std::move(name), std::move(bytes), held);   // a repeated name replaces
        }

        TileGroup* group = document::LookUpTileGroup(set, 1);
        if (!group) group = document::AddTileGroup(set, 1);
        group->tileIndex.clear();
        group->tiles.clear();
        const std::int32_t tileCount = in.i32();
        const std::size_t room = boundedCount(tileCount, in.left(), kMinTileRecord);
        group->tiles.reserve(room);
        group->tileIndex.reserve(room);
        for (std::int32_t i = 0; i < tileCount; ++i) {
            if (in.atEnd()) {
                in.markEnded();
                break;
            }
            const std::int32_t id = in.i32();
            const std::string_view texture = in.line();
            const std::string_view material = in.line();
            const std::int16_t layer = in.i16();
            const std::int16_t collision = in.i16();
            document::AddTile(*group, id, texture, material, layer, collision);   // a repeated ID is dropped
        }
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
    }

    if (outOfMemory)
        return LoadResult{LoadStatus::Truncated, "not enough memory to hold the whole tile set; only part was read"};
    if (in.ended()) return LoadResult{LoadStatus::Truncated, "the data ended early; only part of the tile set was read"};
    return LoadResult{LoadStatus::Ok, {}};
}

// The whole content of a file, read in large blocks.
struct FileContent {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t size = 0;
};

LoadResult readWholeFile(const std::filesystem::path& path, FileContent& out) {
    auto cannot = [&](const std::string& why) {
        return LoadResult{LoadStatus::CannotOpen, "cannot open \"" + path.string() + "\": " + why};
    };
    if (path.empty()) return cannot("no file name given");
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return cannot(errnoText(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    struct stat st {};
    if (::fstat(fd, &st) != 0) return cannot(errnoText(errno));
    if (S_ISDIR(st.st_mode)) return cannot("it is a folder");

    // One byte more than the length, so the read that finds the end needs no second buffer.
    std::size_t capacity = S_ISREG(st.st_mode) && st.st_size > 0 ? static_cast<std::size_t>(st.st_size) + 1 : 65536;
    try {
        out.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
        out.size = 0;
        for (;;) {
            if (out.size == capacity) {   // the file grew, or is not a regular file
                const std::size_t bigger = capacity * 2;
                auto grown = std::make_unique_for_overwrite<std::uint8_t[]>(bigger);
                std::memcpy(grown.get(), out.bytes.get(), out.size);
                out.bytes = std::move(grown);
                capacity = bigger;
            }
            const ssize_t got = ::read(fd, out.bytes.get() + out.size, std::min<std::size_t>(capacity - out.size, 1u << 30));
            if (got < 0) {
                if (errno == EINTR) continue;
                return cannot(errnoText(errno));
            }
            if (got == 0) break;
            out.size += static_cast<std::size_t>(got);
        }
    } catch (const std::bad_alloc&) {
        return cannot("it is too large to read into memory");
    }
    return LoadResult{LoadStatus::Ok, {}};
}

}  // namespace

std::vector<std::uint8_t> SaveTileSetToMemory(const TileSet& set) {
    std::vector<std::uint8_t> out(savedSize(set));
    Writer writer(out.data(), out.size());
    writeTileSet(set, writer);
    out.resize(writer.used());
    return out;
}

SaveResult SaveTileSet(const TileSet& set, const std::filesystem::path& path) {
    try {
        return writeCrashSafe(path, [&](int fd) {
            Writer writer(fd);
            writeTileSet(set, writer);
            return writer.finish() ? 0 : writer.error();
        });
    } catch (const std::bad_alloc&) {
        return failure("not enough memory to save");
    }
}

SaveResult WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    try {
        return writeCrashSafe(path, [&](int fd) { return writeAll(fd, bytes.data(), bytes.size()) ? 0 : errno; });
    } catch (const std::bad_alloc&) {
        return failure("not enough memory to save");
    }
}

LoadResult LoadTileSetFromMemory(TileSet& set, std::span<const std::uint8_t> data) { return loadFrom(set, data); }

LoadResult LoadTileSet(TileSet& set, const std::filesystem::path& path) {
    FileContent content;
    LoadResult opened = readWholeFile(path, content);
    if (opened.status != LoadStatus::Ok) return opened;
    return loadFrom(set, std::span<const std::uint8_t>(content.bytes.get(), content.size));
}

}  // namespace marquetor::tilesetfile
