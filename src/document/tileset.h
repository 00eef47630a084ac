#pragma once
// The tile set document: records, ordered lists with a cursor, keyed indexes and the
// operations that add, find, delete and clear records. Plain C++, no GUI.
//
// Text is bytes (std::string), compared byte for byte and case-sensitively.

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Headers of the library for games include each other relative to themselves, so that
// they read the same in this tree and installed below include/marquetor/.
#include "marquetor/tileset_export.h"
#include "sharedtext.h"
#include "tileindex.h"

namespace marquetor::document {

// Stored descriptions keep at most this many bytes.
inline constexpr std::size_t kDescriptionSize = 64;

// The tile group a file's tiles belong to: a .mrqt file holds the tiles of this one group,
// and every program that reads or edits one looks its tiles up here.
inline constexpr std::int32_t kTileGroup = 1;

// Cuts a description the way the document stores it: at the first zero byte, at most
// kDescriptionSize bytes.
MARQUETOR_API std::string CutDescription(std::string_view text);

struct Material {
    std::string name;           // key in materialIndex
    std::int32_t color = 0;     // red bits 0-7, green 8-15, blue 16-23
    std::string description;    // at most kDescriptionSize bytes, no zero byte
};

struct Texture {
    std::string name;                         // key of the texture map
    std::int32_t size = 0;                    // number of bytes held
    std::unique_ptr<std::uint8_t[]> bytes;    // null when size is 0
    std::uint64_t serial = 0;                 // unique per stored content; see ContentFingerprint

    std::span<const std::uint8_t> data() const {
        return {bytes.get(), bytes ? static_cast<std::size_t>(size) : 0u};
    }
};

struct MARQUETOR_API Tile {
    std::int32_t id = 0;        // key in the group's tileIndex
    std::int16_t layer = 0;
    std::int16_t collision = 0;
    SharedText texture;         // name of a texture (not checked); tiles naming the same one may share it
    SharedText material;        // name of a material (not checked); likewise

    // Tiles come by the million: they live in a small-object pool.
    static void* operator new(std::size_t bytes);
    static void operator delete(void* block, std::size_t bytes) noexcept;
};

// Undo's access to the lists and the texture map (document/restore.cpp): records taken
// out and put back where they stood.
struct ListAccess;
struct TextureMapAccess;

// An ordered list of owned records with at most one current record (the cursor).
// Records keep their address through inserts, deletes and sorts.
template <class T>
class OrderedList {
    friend struct ListAccess;

public:
    using Items = std::vector<std::unique_ptr<T>>;

    std::size_t size() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }
    T& at(std::size_t pos) { return *m_items[pos]; }
    const T& at(std::size_t pos) const { return *m_items[pos]; }
    const Items& items() const { return m_items; }

    // Index of the cursor, -1 for none.
    int cursor() const { return m_cursor; }
    T* current() { return m_cursor < 0 ? nullptr : m_items[static_cast<std::size_t>(m_cursor)].get(); }

    // Selecting a position outside the list leaves no cursor.
    void selectAt(long long pos) {
        m_cursor = (pos >= 0 && pos < static_cast<long long>(m_items.size())) ? static_cast<int>(pos) : -1;
    }
    void moveToLast() { m_cursor = static_cast<int>(m_items.size()) - 1; }

    // Walks the list from the front, the cursor moving along: f(position, record) for each.
    // Afterwards the cursor rests on the last record (none when the list is empty).
    template <class F>
    void walk(F&& f) {
        for (std::size_t i = 0; i < m_items.size(); ++i) {
            m_cursor = static_cast<int>(i);
            f(i, *m_items[i]);
        }
        moveToLast();
    }

    // Inserts right after the cursor (at the front when there is none); the new record
    // becomes the cursor.
    T& insertAfterCursor(std::unique_ptr<T> item) {
        const auto pos = static_cast<std::size_t>(m_cursor + 1);
        m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(pos), std::move(item));
        m_cursor = static_cast<int>(pos);
        return *m_items[pos];
    }

    // Removes the record at pos; the cursor moves to the record before it (none when it
    // was the first).
    void removeAt(std::size_t pos) {
        m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(pos));
        m_cursor = static_cast<int>(pos) - 1;
    }

    // Position of a record by address, -1 when it is not in the list.
    long long indexOf(const T* item) const {
        for (std::size_t i = 0; i < m_items.size(); ++i)
            if (m_items[i].get() == item) return static_cast<long long>(i);
        return -1;
    }

    void clear() {
        m_items.clear();
        m_cursor = -1;
    }

    // Reorders in place; records keep their identity. Leaves the cursor where it was
    // by position.
    template <class Less>
    void sort(Less less);
    // The same by a 32-bit key (smallest first, equal keys keeping their order) in a few
    // passes over memory instead of comparisons: a million tiles sort in a frame or two.
    template <class Key>
    void sortByKey(Key key);

    void reserve(std::size_t n) { m_items.reserve(n); }

private:
    Items m_items;
    int m_cursor = -1;
};

struct TileGroup {
    std::int32_t id = 0;
    OrderedList<Tile> tiles;
    TileIndex tileIndex;
};

// Lets a map keyed by text look names up by string_view without building a string.
struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};

// Material name -> material.
using MaterialIndex = std::unordered_map<std::string, Material*, NameHash, std::equal_to<>>;

// The texture map: 512 buckets; a walk visits buckets 0..511 and, within a bucket, the
// most recently entered name first. Replacing a present name keeps its position.
class MARQUETOR_API TextureMap {
    friend struct TextureMapAccess;

public:
    static constexpr std::size_t kBuckets = 512;
    static std::uint32_t bucketOf(std::string_view name);

    std::size_t size() const { return m_index.size(); }
    bool empty() const { return m_index.empty(); }
    Texture* find(std::string_view name);
    const Texture* find(std::string_view name) const;

    // Enters a new texture (first in its bucket), or replaces the bytes of a present one
    // in place. Returns the stored record.
    Texture& put(std::string name, std::unique_ptr<std::uint8_t[]> bytes, std::int32_t size);
    bool erase(std::string_view name);
    void clear();

    // Visits every texture in iteration order.
    template <class F>
    void forEach(F&& f) const {
        for (const auto& bucket : m_buckets)
            for (auto it = bucket.rbegin(); it != bucket.rend(); ++it) f(static_cast<const Texture&>(**it));
    }
    // The names in iteration order.
    std::vector<std::string> names() const;
    // The texture at a position of the iteration order (null past the end), and the
    // position of a name (-1 when absent). Each walks the bucket sizes, not the textures.
    const Texture* at(std::size_t pos) const;
    long long positionOf(std::string_view name) const;

private:
    // Each bucket holds its textures oldest first, so a walk goes backwards.
    std::array<std::vector<std::unique_ptr<Texture>>, kBuckets> m_buckets;
    std::unordered_map<std::string, Texture*, NameHash, std::equal_to<>> m_index;
    std::uint64_t m_nextSerial = 1;
};

struct TileSet {
    std::int32_t tileWidth = 0;
    std::int32_t tileHeight = 0;
    OrderedList<Material> materials;
    MaterialIndex materialIndex;
    TextureMap textures;
    OrderedList<TileGroup> tileGroups;
    std::unordered_map<std::int32_t, TileGroup*> tileGroupIndex;
    TileGroup* currentGroup = nullptr;   // the group FindTileGroup found last
};

// --- Materials -------------------------------------------------------------------------
// Null when the name is taken (nothing changes then).
MARQUETOR_API Material* AddMaterial(TileSet& set, std::string_view name, std::int32_t color,
                                   std::string_view description);
MARQUETOR_API void DeleteMaterial(TileSet& set, std::string_view name);
MARQUETOR_API void ClearMaterials(TileSet& set);
MARQUETOR_API Material* FindMaterial(TileSet& set, std::string_view name);
MARQUETOR_API const Material* FindMaterial(const TileSet& set, std::string_view name);
// Renames through the index. False (nothing changes) when another material has the name.
MARQUETOR_API bool RenameMaterial(TileSet& set, Material& material, std::string_view newName);
// Unsigned byte order; identity kept.
MARQUETOR_API void SortMaterials(TileSet& set);

// --- Textures --------------------------------------------------------------------------
// Reads folder + fileName (plain concatenation) whole into a new texture. False, with the
// document unchanged, when the name is present, the file is no regular file (a FIFO, a
// device, a folder: refused at once), cannot be opened or read whole (it changed while it
// was read), is 2 GiB or larger, or cannot be held in memory.
MARQUETOR_API bool AddTexture(TileSet& set, std::string_view folder, std::string_view fileName);
// Reads folder + fileName (plain concatenation) whole into a texture record of that name that
// no tile set holds yet (serial 0 until one enters it): AddTexture without the entering.
// Null when AddTexture would refuse the file for what it holds or where it lies.
MARQUETOR_API std::unique_ptr<Texture> ReadTextureFile(std::string_view folder, std::string_view fileName);
// Stores bytes under a name (the file reader's path); a present name is replaced in place.
MARQUETOR_API Texture& PutTexture(TileSet& set, std::string name, std::unique_ptr<std::uint8_t[]> bytes,
                                 std::int32_t size);
MARQUETOR_API bool DeleteTexture(TileSet& set, std::string_view name);
MARQUETOR_API void ClearTextures(TileSet& set);
MARQUETOR_API const Texture* FindTexture(const TileSet& set, std::string_view name);

// The text after the last "." that follows the last "/" or "\" of a name; empty when there
// is no such ".".
MARQUETOR_API std::string_view FileExtension(std::string_view name);
// Whether a file may be imported as a texture: its extension is exactly "png", "jpg", "bmp"
// or "tga" (letter case counts).
MARQUETOR_API bool HasTextureExtension(std::string_view name);

// --- Tile groups and tiles -------------------------------------------------------------
MARQUETOR_API TileGroup* AddTileGroup(TileSet& set, std::int32_t id);
// A found group becomes the current group; otherwise the current group stays.
MARQUETOR_API TileGroup* FindTileGroup(TileSet& set, std::int32_t id);
// Looks a group up without making it the current group (for readers of the document).
MARQUETOR_API const TileGroup* LookUpTileGroup(const TileSet& set, std::int32_t id);
MARQUETOR_API TileGroup* LookUpTileGroup(TileSet& set, std::int32_t id);
MARQUETOR_API void ClearTileGroup(TileSet& set, std::int32_t id);
MARQUETOR_API Tile* AddTile(TileSet& set, std::int32_t groupId, std::int32_t id, std::string_view texture,
                            std::string_view material, std::int16_t layer, std::int16_t collision);
// The same on a group already at hand (the file reader adds many tiles to one group).
MARQUETOR_API Tile* AddTile(TileGroup& group, std::int32_t id, std::string_view texture, std::string_view material,
                            std::int16_t layer, std::int16_t collision);
// The same with texts the tile shares with whoever holds them already.
MARQUETOR_API Tile* AddTile(TileGroup& group, std::int32_t id, SharedText texture, SharedText material,
                            std::int16_t layer, std::int16_t collision);
MARQUETOR_API void DeleteTile(TileSet& set, std::int32_t groupId, std::int32_t id);
// Signed ID order; identity kept.
MARQUETOR_API void SortTiles(TileGroup& group);

// A hash of everything a save would write. Texture bytes are immutable once stored, so
// they count through their serial number rather than being hashed again.
MARQUETOR_API std::uint64_t ContentFingerprint(const TileSet& set);

// --- OrderedList::sort ---
template <class T>
template <class Less>
void OrderedList<T>::sort(Less less) {
    std::stable_sort(m_items.begin(), m_items.end(),
                     [&](const std::unique_ptr<T>& a, const std::unique_ptr<T>& b) { return less(*a, *b); });
}

namespace detail {
// Sorts n words that hold a key in their high 32 bits by that key, keeping the order of
// equal keys, using `spare` (room for n more). Returns where the sorted words are: one of
// the two.
MARQUETOR_API std::uint64_t* RadixSortByHighHalf(std::uint64_t* words, std::uint64_t* spare,
                                                 std::size_t n);
}  // namespace detail

template <class T>
template <class Key>
void OrderedList<T>::sortByKey(Key key) {
    const std::size_t n = m_items.size();
    if (n > UINT32_MAX) {
        sort([&](const T& a, const T& b) { return key(a) < key(b); });
        return;
    }
    // Key and position in one word; sorted, the positions say where each record goes.
    const auto room = std::make_unique_for_overwrite<std::uint64_t[]>(2 * n);
    std::uint64_t* words = room.get();
    for (std::size_t i = 0; i < n; ++i) words[i] = std::uint64_t{std::uint32_t(key(*m_items[i]))} << 32 | i;
    words = detail::RadixSortByHighHalf(words, room.get() + n, n);
    // The records in their new order, through the other half (nothing can fail from here).
    std::uint64_t* order = words == room.get() ? room.get() + n : room.get();
    for (std::size_t i = 0; i < n; ++i)
        order[i] = reinterpret_cast<std::uintptr_t>(m_items[static_cast<std::uint32_t>(words[i])].release());
    for (std::size_t i = 0; i < n; ++i) m_items[i].reset(reinterpret_cast<T*>(static_cast<std::uintptr_t>(order[i])));
}

}  // namespace marquetor::document
