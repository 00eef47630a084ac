#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fileio/descriptor.h"
#include "tilesetfile/format.h"
#include "tilesetfile/lineend.h"

namespace marquetor::tilesetfile {

using document::Material;
using document::Texture;
using document::Tile;
using document::TileGroup;
using document::TileSet;

namespace {

constexpr std::string_view kHeaderText{kHeader};
// The file reader's buffer: small records pass through it, texture blocks do not.
constexpr std::size_t kDefaultBlock = std::size_t{64} << 10;
// The smallest tile record a complete file can hold: ID, two one-byte line ends, layer,
// collision. Used to bound what a claimed count may reserve.
constexpr std::size_t kMinTileRecord = 4 + 1 + 1 + 2 + 2;
constexpr std::size_t kMinMaterialRecord = 1 + 4 + 1;

std::string errnoText(int err) { return std::strerror(err); }

// A path in double quotes, for messages.
std::string quoted(const std::filesystem::path& path) {
    std::string text = "\"";
    text += path.string();
    text += '"';
    return text;
}

// A texture's bytes as read: the block (null when none were read) and how many it holds.
struct Block {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t size = 0;
    bool outOfMemory = false;
};

// Reads the items of the format from memory. Past the end every number reads as zero (a
// partly present one keeps its bytes in its low part) and every line as empty; `ended`
// records that this happened. The texts handed out stay valid as long as the data.
class MemoryReader {
public:
    explicit MemoryReader(std::span<const std::uint8_t> data) : m_p(data.data()), m_end(data.data() + data.size()) {}

    void nextRecord() {}
    bool failed() const { return false; }
    int error() const { return 0; }

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
        const std::uint8_t* q = detail::findLineEnd(m_p, m_end);
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

    // Up to n bytes in memory of their own: fewer when the data ends first.
    Block block(std::size_t n) {
        if (n > left()) {
            n = left();
            m_ended = true;
        }
        Block out;
        if (n > 0) {
            out.bytes.reset(new (std::nothrow) std::uint8_t[n]);
            if (out.bytes) {
                std::memcpy(out.bytes.get(), m_p, n);
                out.size = n;
            } else {
                out.outOfMemory = true;
            }
        }
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

// Reads the items of the format from a file, with the same results as MemoryReader over
// the file's bytes. Small records pass through a buffer; texture blocks go from the file
// straight into their own memory, so the file's bytes are copied once and never held twice.
//
// The texts handed out point into the buffer and stay valid until the next record starts
// (nextRecord()): once a record has handed out a text (m_p has moved past m_recordStart),
// its bytes never move; a record that does not fit gets a larger buffer, and the old one is
// kept until the record is done.
class FileReader {
public:
    // sizeHint: the file's length when known (a regular file), else 0. blockSize: the
    // buffer's size (the tests make it tiny so that every item straddles a block boundary).
    FileReader(int fd, std::size_t sizeHint, std::size_t blockSize)
        : m_fd(fd), m_sizeHint(sizeHint), m_block(std::max<std::size_t>(blockSize, 1)), m_lowWater(m_block / 16) {
        m_buffer = std::make_unique_for_overwrite<std::uint8_t[]>(m_block);
        m_capacity = m_block;
        m_p = m_end = m_recordStart = m_buffer.get();
    }

    // A record starts: the texts of the previous ones are no longer needed.
    void nextRecord() {
        if (!m_retired.empty()) m_retired.clear();
        m_recordStart = m_p;
        if (static_cast<std::size_t>(m_end - m_p) < m_lowWater && !m_eof) refill(0);
    }

    bool atEnd() { return m_p == m_end && !more(1); }
    // What is left to read, as far as is known (a bound for reserving room).
    std::size_t left() const {
        const std::size_t at = m_fileRead - static_cast<std::size_t>(m_end - m_p);
        return std::max(m_sizeHint > at ? m_sizeHint - at : 0, static_cast<std::size_t>(m_end - m_p));
    }
    bool ended() const { return m_ended; }
    void markEnded() { m_ended = true; }
    // A read error (not the end of the file) stopped the reading.
    bool failed() const { return m_error != 0; }
    int error() const { return m_error; }

    std::int32_t i32() {
        if (m_end - m_p >= 4) {
            const std::uint32_t v = static_cast<std::uint32_t>(m_p[0]) | static_cast<std::uint32_t>(m_p[1]) << 8 |
                                    static_cast<std::uint32_t>(m_p[2]) << 16 | static_cast<std::uint32_t>(m_p[3]) << 24;
            m_p += 4;
            return static_cast<std::int32_t>(v);
        }
        return static_cast<std::int32_t>(numberSlow(4));
    }
    std::int16_t i16() {
        if (m_end - m_p >= 2) {
            const auto v = static_cast<std::uint16_t>(m_p[0] | m_p[1] << 8);
            m_p += 2;
            return static_cast<std::int16_t>(v);
        }
        return static_cast<std::int16_t>(numberSlow(2));
    }

    // A line ends at CR LF, a lone LF, a lone CR (the byte after it stays), a zero byte, or
    // the end of the data.
    std::string_view line() {
        std::uint8_t* q = m_p + (detail::findLineEnd(m_p, m_end) - m_p);
        if (m_end - q >= 2) {   // the terminator and the byte after it are at hand
            const std::string_view text(reinterpret_cast<const char*>(m_p), static_cast<std::size_t>(q - m_p));
            m_p = q + 1 + (q[0] == '\r' && q[1] == '\n');
            return text;
        }
        return lineSlow(static_cast<std::size_t>(q - m_p));
    }

    // Up to n bytes in memory of their own: fewer when the file ends first. The texts of
    // the record may be gone afterwards.
    Block block(std::size_t n) {
        Block out;
        if (n == 0) return out;
        // Room for what the file can still hold, so a size that lies cannot make us allocate
        // more than that; a file that grows meanwhile gets its block enlarged.
        std::size_t capacity = std::min(n, std::max(left(), std::min(n, kDefaultBlock)));
        out.bytes.reset(new (std::nothrow) std::uint8_t[capacity]);
        if (!out.bytes) {
            out.outOfMemory = true;
            skip(n);
            return out;
        }
        const std::size_t buffered = std::min(n, static_cast<std::size_t>(m_end - m_p));
        std::memcpy(out.bytes.get(), m_p, buffered);
        m_p += buffered;
        out.size = buffered;
        while (out.size < n && !m_eof) {
            if (out.size == capacity) {
                const std::size_t bigger = std::min(n, capacity * 2);
                std::unique_ptr<std::uint8_t[]> grown(new (std::nothrow) std::uint8_t[bigger]);
                if (!grown) {
                    // Only what is left of the block is passed over: its first bytes
                    // were taken from the file already.
                    const std::size_t taken = out.size;
                    out = Block{};
                    out.outOfMemory = true;
                    skip(n - taken);
                    return out;
                }
                std::memcpy(grown.get(), out.bytes.get(), out.size);
                out.bytes = std::move(grown);
                capacity = bigger;
            }
            out.size += readSome(out.bytes.get() + out.size, capacity - out.size);
        }
        if (out.size < n) m_ended = true;
        if (out.size == 0) out.bytes.reset();
        return out;
    }

private:

    // A number that reaches past the buffer: more from the file, or the bytes present in
    // the low-order part when the file ends.
    [[gnu::noinline]] std::uint32_t numberSlow(std::size_t bytes) {
        if (!more(bytes)) return partial();
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < bytes; ++i) v |= static_cast<std::uint32_t>(m_p[i]) << (8 * i);
        m_p += bytes;
        return v;
    }

    // A line whose end, or the byte after it, is not in the buffer yet; the first `scanned`
    // bytes after m_p hold no line end.
    [[gnu::noinline]] std::string_view lineSlow(std::size_t scanned) {
        while (m_p + scanned == m_end) {
            if (!more(scanned + 1)) break;   // the file ends inside the line
            scanned = static_cast<std::size_t>(detail::findLineEnd(m_p + scanned, m_end) - m_p);
        }
        if (m_p + scanned == m_end) {
            m_ended = true;
            const std::string_view text(reinterpret_cast<const char*>(m_p), scanned);
            m_p = m_end;
            return text;
        }
        std::size_t used = scanned + 1;
        // CR LF: the LF may still be in the file. The text is taken only afterwards: until
        // then this line may move within the buffer.
        if (m_p[scanned] == '\r' && more(scanned + 2) && m_p[scanned + 1] == '\n') ++used;
        const std::string_view text(reinterpret_cast<const char*>(m_p), scanned);
        m_p += used;
        return text;
    }

    // Reads what the file gives into [to, to + room); 0 at its end or on an error.
    std::size_t readSome(std::uint8_t* to, std::size_t room) {
        for (;;) {
            const ssize_t got = ::read(m_fd, to, std::min<std::size_t>(room, 1u << 30));
            if (got > 0) {
                m_fileRead += static_cast<std::size_t>(got);
                return static_cast<std::size_t>(got);
            }
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) m_error = errno;
            m_eof = true;
            return 0;
        }
    }

    // Passes over n bytes without keeping them (a block that cannot be held), through the
    // buffer as it is.
    void skip(std::size_t n) {
        for (;;) {
            const std::size_t step = std::min(n, static_cast<std::size_t>(m_end - m_p));
            m_p += step;
            n -= step;
            if (n == 0) return;
            m_p = m_end = m_recordStart = m_buffer.get();
            const std::size_t got = m_eof ? 0 : readSome(m_end, m_capacity);
            if (got == 0) {
                m_ended = true;
                return;
            }
            m_end += got;
        }
    }

    // Makes at least `need` bytes after m_p available; false when the file ends first.
    bool more(std::size_t need) {
        while (static_cast<std::size_t>(m_end - m_p) < need) {
            if (m_eof) return false;
            refill(need);
        }
        return true;
    }

    // Reads more into the buffer, keeping [m_recordStart, m_end) readable: the texts of this
    // record may point there. At a record's start that part moves to the buffer's front;
    // within a record it never moves: the free room after it is filled, and when there is
    // none a larger buffer takes a copy while the old one stays alive until the next record.
    void refill(std::size_t need) {
        const std::size_t kept = static_cast<std::size_t>(m_end - m_recordStart);
        const std::size_t offset = static_cast<std::size_t>(m_p - m_recordStart);
        std::uint8_t* const base = m_buffer.get();
        std::uint8_t* const limit = base + m_capacity;
        if (m_p != m_recordStart && m_end < limit) {
            m_end += readSome(m_end, static_cast<std::size_t>(limit - m_end));
            return;
        }
        const std::size_t wanted = std::max(offset + need, kept) + m_lowWater;
        if (m_p == m_recordStart && wanted <= m_capacity) {
            if (m_recordStart != base && kept) std::memmove(base, m_recordStart, kept);
        } else {
            const std::size_t capacity = std::max(m_capacity * 2, wanted + m_block);
            auto bigger = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
            if (kept) std::memcpy(bigger.get(), m_recordStart, kept);
            m_retired.push_back(std::move(m_buffer));
            m_buffer = std::move(bigger);
            m_capacity = capacity;
        }
        m_recordStart = m_buffer.get();
        m_p = m_recordStart + offset;
        m_end = m_recordStart + kept;
        m_end += readSome(m_end, static_cast<std::size_t>(m_buffer.get() + m_capacity - m_end));
    }

    std::uint32_t partial() {
        std::uint32_t v = 0;
        for (unsigned shift = 0; m_p < m_end; shift += 8) v |= static_cast<std::uint32_t>(*m_p++) << shift;
        m_ended = true;
        return v;
    }

    int m_fd;
    std::size_t m_sizeHint;
    std::size_t m_block;
    // Below this many buffered bytes a new record refills first, so that records rarely
    // reach past the buffer's end.
    std::size_t m_lowWater;
    std::size_t m_fileRead = 0;   // bytes taken from the file so far
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::size_t m_capacity = 0;
    std::vector<std::unique_ptr<std::uint8_t[]>> m_retired;   // buffers this record's texts may point into
    std::uint8_t* m_recordStart;
    std::uint8_t* m_p;
    std::uint8_t* m_end;
    bool m_eof = false;
    bool m_ended = false;
    int m_error = 0;
};

// How many records a count may reserve room for: never more than the data could hold.
std::size_t boundedCount(std::int32_t count, std::size_t left, std::size_t minRecord) {
    if (count <= 0) return 0;
    return std::min<std::size_t>(static_cast<std::size_t>(count), left / minRecord + 1);
}

// Reads a whole tile set through either reader into the document, in the order of the
// format: tile size, materials, textures, tiles.
template <class In>
LoadResult loadFrom(TileSet& set, In& in) {
    in.nextRecord();
    if (in.line() != kHeaderText) {
        if (in.failed()) return LoadResult{LoadStatus::CannotOpen, "cannot read the file: " + errnoText(in.error())};
        return LoadResult{LoadStatus::NotATileSet, "not a tile set: the first line is not \"0.50\""};
    }

    bool outOfMemory = false;
    try {
        set.tileWidth = in.i32();
        set.tileHeight = in.i32();

        document::ClearMaterials(set);
        const std::int32_t materialCount = in.i32();
        set.materials.reserve(boundedCount(materialCount, in.left(), kMinMaterialRecord));
        set.materialIndex.reserve(boundedCount(materialCount, in.left(), kMinMaterialRecord));
        for (std::int32_t i = 0; i < materialCount; ++i) {
            in.nextRecord();
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
            in.nextRecord();
            if (in.atEnd()) {
                in.markEnded();
                break;
            }
            std::string name(in.line());
            const std::int32_t claimed = in.i32();
            // A negative size holds no bytes; a size beyond the data keeps the bytes present.
            Block block = in.block(claimed > 0 ? static_cast<std::size_t>(claimed) : 0);
            if (block.outOfMemory) outOfMemory = true;
            const auto held = static_cast<std::int32_t>(block.size);
            document::PutTexture(set, std::move(name), std::move(block.bytes), held);   // a repeated name replaces
        }

        TileGroup* group = document::LookUpTileGroup(set, document::kTileGroup);
        if (!group) group = document::AddTileGroup(set, document::kTileGroup);
        group->tileIndex.clear();
        group->tiles.clear();
        in.nextRecord();
        const std::int32_t tileCount = in.i32();
        const std::size_t room = boundedCount(tileCount, in.left(), kMinTileRecord);
        group->tiles.reserve(room);
        group->tileIndex.reserve(room);
        // Tiles naming the same texture or material share one text: a million tiles name a
        // few thousand.
        document::TextSharer names;
        for (std::int32_t i = 0; i < tileCount; ++i) {
            in.nextRecord();
            if (in.atEnd()) {
                in.markEnded();
                break;
            }
            const std::int32_t id = in.i32();
            group->tileIndex.prefetch(id);   // fetched while the names are read
            const std::string_view texture = in.line();
            const std::string_view material = in.line();
            const std::int16_t layer = in.i16();
            const std::int16_t collision = in.i16();
            // A repeated ID is dropped.
            document::AddTile(*group, id, names.share(texture), names.share(material), layer, collision);
        }
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
    }

    if (outOfMemory)
        return LoadResult{LoadStatus::Truncated, "not enough memory to hold the whole tile set; only part was read"};
    if (in.failed())
        return LoadResult{LoadStatus::Truncated,
                          "reading stopped (" + errnoText(in.error()) + "); only part of the tile set was read"};
    if (in.ended()) return LoadResult{LoadStatus::Truncated, "the data ended early; only part of the tile set was read"};
    return LoadResult{LoadStatus::Ok, {}};
}

}  // namespace

LoadResult LoadTileSetFromMemory(TileSet& set, std::span<const std::uint8_t> data) {
    MemoryReader in(data);
    return loadFrom(set, in);
}

LoadResult LoadTileSet(TileSet& set, const std::filesystem::path& path) { return LoadTileSet(set, path, kDefaultBlock); }

namespace {

// Reads from an open descriptor; `cannot` words the failures that leave the document as it was.
template <class Cannot>
LoadResult loadDescriptor(TileSet& set, int fd, std::size_t blockSize, const Cannot& cannot) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return cannot(errnoText(errno));
    if (S_ISDIR(st.st_mode)) return cannot("it is a folder");
    try {
        // Read in blocks as it goes: the texture bytes land in their own memory directly,
        // and the file is never held whole beside the document.
        FileReader in(fd, S_ISREG(st.st_mode) && st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0, blockSize);
        LoadResult result = loadFrom(set, in);
        if (result.status == LoadStatus::CannotOpen) result.message = cannot(result.message).message;
        return result;
    } catch (const std::bad_alloc&) {
        return cannot("not enough memory to read it");
    }
}

}  // namespace

LoadResult LoadTileSet(TileSet& set, const std::filesystem::path& path, std::size_t blockSize) {
    auto cannot = [&](const std::string& why) {
        return LoadResult{LoadStatus::CannotOpen, "cannot open " + quoted(path) + ": " + why};
    };
    if (path.empty()) return cannot("no file name given");
    const fileio::Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) return cannot(errnoText(errno));
    return loadDescriptor(set, file.get(), blockSize, cannot);
}

LoadResult LoadTileSetFromDescriptor(TileSet& set, int fd, std::string_view name) {
    auto cannot = [&](const std::string& why) {
        return LoadResult{LoadStatus::CannotOpen, "cannot read " + std::string(name) + ": " + why};
    };
    return loadDescriptor(set, fd, kDefaultBlock, cannot);
}

}  // namespace marquetor::tilesetfile
