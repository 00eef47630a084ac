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
    explicit Writer(int fd, std::size_t bufferSize = kWriteBuffer) : m_fd(fd), m_writeback(fd) {
        m_buffer = std::make_unique_for_overwrite<std::uint8_t[]>(bufferSize);
        m_begin = m_p = m_buffer.get();
        m_end = m_begin + bufferSize;
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

// Where the writing stands between two slices: the section and the item within it.
struct SliceWriter::State {
    enum class Section { Start, Materials, TextureCount, Textures, TileCount, Tiles, Done };

    explicit State(const TileSet& s) : set(s) {}
    const TileSet& set;
    Section section = Section::Start;
    std::size_t item = 0;             // the next material, texture or tile
    std::size_t textureOffset = 0;    // bytes of the current texture written; 0: not begun
    bool textureBegun = false;
    int error = 0;
};

SliceWriter::SliceWriter(const TileSet& set) : m_state(std::make_unique<State>(set)) {}
SliceWriter::~SliceWriter() = default;
int SliceWriter::error() const { return m_state->error; }

SliceWriter::Step SliceWriter::writeSome(int fd, std::chrono::steady_clock::time_point deadline) {
    using Section = State::Section;
    using Clock = std::chrono::steady_clock;
    // Small items go through this buffer, texture bytes in blocks of this size at most; the
    // clock is looked at every so many items.
    constexpr std::size_t kSliceBuffer = std::size_t{256} << 10;
    constexpr std::size_t kTextureBlock = std::size_t{1} << 20;
    constexpr std::size_t kItemsPerLook = 512;
    State& st = *m_state;
    if (st.section == Section::Done) return Step::Done;
    if (st.error != 0) return Step::Failed;
    const TileSet& set = st.set;
    const TileGroup* group = document::LookUpTileGroup(set, document::kTileGroup);
    Writer out(fd, kSliceBuffer);
    std::size_t sinceLook = 0;
    auto timeUp = [&] {
        if (++sinceLook < kItemsPerLook) return false;
        sinceLook = 0;
        return Clock::now() >= deadline;
    };
    bool stop = false;
    while (!stop && st.section != Section::Done && out.error() == 0) {
        switch (st.section) {
        case Section::Start:
            out.line(kHeaderText);
            out.i32(set.tileWidth);
            out.i32(set.tileHeight);
            out.i32(countField(set.materials.size()));
            st.section = Section::Materials;
            st.item = 0;
            break;
        case Section::Materials: {
            const auto& items = set.materials.items();
            for (; st.item < items.size() && !stop; ++st.item) {
                const Material& m = *items[st.item];
                out.line(m.name);
                out.i32(m.color);
                out.line(storedDescription(m.description));
                stop = timeUp();
            }
            if (st.item >= items.size()) st.section = Section::TextureCount;
            break;
        }
        case Section::TextureCount:
            out.i32(countField(set.textures.size()));
            st.section = Section::Textures;
            st.item = 0;
            st.textureBegun = false;
            break;
        case Section::Textures: {
            const Texture* t = set.textures.at(st.item);
            if (t == nullptr) {
                st.section = Section::TileCount;
                break;
            }
            const auto data = t->data();
            if (!st.textureBegun) {
                out.line(t->name);
                out.i32(static_cast<std::int32_t>(data.size()));
                st.textureBegun = true;
                st.textureOffset = 0;
            }
            const std::size_t n = std::min(kTextureBlock, data.size() - st.textureOffset);
            out.bytes(data.data() + st.textureOffset, n);
            st.textureOffset += n;
            if (st.textureOffset >= data.size()) {
                ++st.item;
                st.textureBegun = false;
            }
            stop = n >= kDirectWrite ? Clock::now() >= deadline : timeUp();
            break;
        }
        case Section::TileCount:
            out.i32(group ? countField(group->tiles.size()) : 0);
            st.section = Section::Tiles;
            st.item = 0;
            break;
        case Section::Tiles: {
            const std::size_t count = group ? group->tiles.size() : 0;
            for (; st.item < count && !stop; ++st.item) {
                const Tile& t = *group->tiles.items()[st.item];
                out.i32(t.id);
                out.line(t.texture);
                out.line(t.material);
                out.i16(t.layer);
                out.i16(t.collision);
                stop = timeUp();
            }
            if (st.item >= count) st.section = Section::Done;
            break;
        }
        case Section::Done: break;
        }
    }
    if (!out.finish()) {
        st.error = out.error();
        return Step::Failed;
    }
    return st.section == Section::Done ? Step::Done : Step::More;
}

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
