#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include "fileio/replacefile.h"
#include "tilesetfile/format.h"
#include "tilesetfile/lineend.h"

namespace marquetor::tilesetfile {

using document::Material;
using document::Texture;
using document::Tile;
using document::TileGroup;
using document::TileSet;
using detail::lineText;

namespace {

constexpr std::string_view kHeaderText{kHeader};
constexpr std::size_t kWriteBuffer = std::size_t{1} << 20;
// Blocks of at least this size (texture bytes) are written from where they are.
constexpr std::size_t kDirectWrite = std::size_t{64} << 10;

// A description as the file stores it: up to the first zero byte (or line end), at most 64
// bytes.
std::string_view storedDescription(const std::string& d) {
    return lineText(std::string_view(d).substr(0, document::kDescriptionSize));
}

// Buffers the small items of a save and passes large blocks straight through. Writes into a
// caller-sized memory area (fd < 0), or through a buffer into a file.
class Writer {
public:
    // Into memory: the area must be large enough for everything written.
    Writer(std::uint8_t* area, std::size_t size) : m_begin(area), m_p(area), m_end(area + size) {}
    // Into a file, through a buffer of its own.
    explicit Writer(int fd) : m_fd(fd), m_writeback(fd) {
        m_buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kWriteBuffer);
        m_begin = m_p = m_buffer.get();
        m_end = m_begin + kWriteBuffer;
    }

    void bytes(const void* data, std::size_t n) {
        if (n <= static_cast<std::size_t>(m_end - m_p) && (n < kDirectWrite || m_fd < 0)) {
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
        writeOut(m_begin, used());
        m_p = m_begin;
    }
    void writeOut(const std::uint8_t* data, std::size_t n) {
        if (m_error != 0 || n == 0) return;
        if (!fileio::WriteAll(m_fd, data, n)) {
            m_error = errno;
            return;
        }
        m_writeback.written(n);
    }
    void slowBytes(const std::uint8_t* data, std::size_t n) {
        if (m_fd < 0) {   // a memory area sized too small: a bug, never silently cut
            m_error = ENOSPC;
            return;
        }
        if (m_error != 0) return;
        if (n >= kDirectWrite) {
            // Texture bytes go to the file from where they are, not through the buffer.
            flushBuffer();
            writeOut(data, n);
            return;
        }
        flushBuffer();
        std::memcpy(m_p, data, n);
        m_p += n;
    }

    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::uint8_t* m_begin = nullptr;
    std::uint8_t* m_p = nullptr;
    std::uint8_t* m_end = nullptr;
    int m_fd = -1;
    int m_error = 0;
    fileio::EarlyWriteback m_writeback{-1};
};

std::int32_t countField(std::size_t n) { return static_cast<std::int32_t>(std::min<std::size_t>(n, INT32_MAX)); }

// Exactly the number of bytes writeTileSet produces.
std::size_t savedSize(const TileSet& set) {
    std::size_t n = kHeaderText.size() + 2 + 4 + 4 + 4 + 4 + 4;
    for (const auto& m : set.materials.items())
        n += lineText(m->name).size() + 2 + 4 + storedDescription(m->description).size() + 2;
    set.textures.forEach([&](const Texture& t) { n += lineText(t.name).size() + 2 + 4 + t.data().size(); });
    if (const TileGroup* group = document::LookUpTileGroup(set, document::kTileGroup))
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

    const TileGroup* group = document::LookUpTileGroup(set, document::kTileGroup);
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
        return fileio::ReplaceFile(path, savedSize(set), [&](int fd) {
            Writer writer(fd);
            writeTileSet(set, writer);
            return writer.finish() ? 0 : writer.error();
        });
    } catch (const std::bad_alloc&) {
        return SaveResult{false, "not enough memory to save"};
    }
}

}  // namespace marquetor::tilesetfile
