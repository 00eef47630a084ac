#include "document/tileset.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "document/pool.h"
#include "fileio/readfile.h"

namespace marquetor::document {

namespace {

// Names in unsigned byte order (memcmp compares bytes as unsigned char).
bool nameLess(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    const int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
    return c != 0 ? c < 0 : a.size() < b.size();
}

// A fast 64-bit mixing hash; good enough to tell edited documents apart, not cryptographic.
class Hasher {
public:
    void add(std::uint64_t v) {
        m_h ^= v + 0x9E3779B97F4A7C15ull + (m_h << 6) + (m_h >> 2);
        m_h *= 0xFF51AFD7ED558CCDull;
        m_h ^= m_h >> 32;
    }
    void add(std::string_view s) {
        const char* p = s.data();
        std::size_t n = s.size();
        while (n >= 8) {
            std::uint64_t w;
            std::memcpy(&w, p, 8);
            add(w);
            p += 8;
            n -= 8;
        }
        std::uint64_t tail = 0;
        std::memcpy(&tail, p, n);
        add(tail);
        add(static_cast<std::uint64_t>(s.size()));
    }
    std::uint64_t value() const { return m_h; }

private:
    std::uint64_t m_h = 0x6A09E667F3BCC908ull;
};

}  // namespace

void* Tile::operator new(std::size_t bytes) { return pool::allocate(bytes); }
void Tile::operator delete(void* block, std::size_t bytes) noexcept { pool::release(block, bytes); }

namespace detail {

std::uint64_t* RadixSortByHighHalf(std::uint64_t* words, std::uint64_t* spare, std::size_t n) {
    constexpr unsigned kDigitBits = 8;
    constexpr std::size_t kDigits = std::size_t{1} << kDigitBits;
    for (unsigned shift = 32; shift < 64 && n > 0; shift += kDigitBits) {
        std::size_t starts[kDigits] = {};
        for (std::size_t i = 0; i < n; ++i) ++starts[(words[i] >> shift) & (kDigits - 1)];
        // A digit that every key shares reorders nothing (IDs 1 to a million share the top byte).
        if (starts[(words[0] >> shift) & (kDigits - 1)] == n) continue;
        std::size_t at = 0;
        for (std::size_t& start : starts) {
            const std::size_t count = start;
            start = at;
            at += count;
        }
        for (std::size_t i = 0; i < n; ++i) spare[starts[(words[i] >> shift) & (kDigits - 1)]++] = words[i];
        std::swap(words, spare);
    }
    return words;
}

}  // namespace detail

std::string CutDescription(std::string_view text) {
    const std::size_t limit = std::min(text.size(), kDescriptionSize);
    const void* zero = limit ? std::memchr(text.data(), 0, limit) : nullptr;
    const std::size_t n = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - text.data()) : limit;
    return std::string(text.substr(0, n));
}

// --- The texture map ---------------------------------------------------------------------

std::string_view FileExtension(std::string_view name) {
    const std::size_t separator = name.find_last_of("/\\");
    const std::size_t start = separator == std::string_view::npos ? 0 : separator + 1;
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot < start) return {};
    return name.substr(dot + 1);
}

bool HasTextureExtension(std::string_view name) {
    const std::string_view extension = FileExtension(name);
    return extension == "png" || extension == "jpg" || extension == "bmp" || extension == "tga";
}

std::uint32_t TextureMap::bucketOf(std::string_view name) {
    std::uint32_t h = 0;
    for (const char c : name)
        h = h * 65599u + static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(c)));
    return h % kBuckets;
}

Texture* TextureMap::find(std::string_view name) {
    const auto it = m_index.find(name);
    return it == m_index.end() ? nullptr : it->second;
}

const Texture* TextureMap::find(std::string_view name) const {
    const auto it = m_index.find(name);
    return it == m_index.end() ? nullptr : it->second;
}

Texture& TextureMap::put(std::string name, std::unique_ptr<std::uint8_t[]> bytes, std::int32_t size) {
    if (Texture* present = find(name)) {
        // Replaced in place: the earlier bytes go, the position in the walk stays.
        present->bytes = std::move(bytes);
        present->size = size;
        present->serial = m_nextSerial++;
        return *present;
    }
    auto& bucket = m_buckets[bucketOf(name)];
    bucket.reserve(bucket.size() + 1);   // after this nothing below can fail half-way
    auto texture = std::make_unique<Texture>();
    texture->name = std::move(name);
    texture->size = size;
    texture->bytes = std::move(bytes);
    m_index.emplace(texture->name, texture.get());
    texture->serial = m_nextSerial++;
    bucket.push_back(std::move(texture));
    return *bucket.back();
}

bool TextureMap::erase(std::string_view name) {
    const auto it = m_index.find(name);
    if (it == m_index.end()) return false;
    const Texture* texture = it->second;
    auto& bucket = m_buckets[bucketOf(name)];
    m_index.erase(it);
    for (auto b = bucket.begin(); b != bucket.end(); ++b) {
        if (b->get() == texture) {
            bucket.erase(b);
            break;
        }
    }
    return true;
}

void TextureMap::clear() {
    m_index.clear();
    for (auto& bucket : m_buckets) {
        bucket.clear();
        bucket.shrink_to_fit();
    }
}

std::vector<std::string> TextureMap::names() const {
    std::vector<std::string> out;
    out.reserve(size());
    forEach([&](const Texture& t) { out.push_back(t.name); });
    return out;
}

const Texture* TextureMap::at(std::size_t pos) const {
    for (const auto& bucket : m_buckets) {
        if (pos < bucket.size()) return bucket[bucket.size() - 1 - pos].get();   // newest first
        pos -= bucket.size();
    }
    return nullptr;
}

long long TextureMap::positionOf(std::string_view name) const {
    const Texture* texture = find(name);
    if (texture == nullptr) return -1;
    const std::uint32_t home = bucketOf(name);
    long long pos = 0;
    for (std::uint32_t b = 0; b < home; ++b) pos += static_cast<long long>(m_buckets[b].size());
    const auto& bucket = m_buckets[home];
    for (std::size_t i = bucket.size(); i-- > 0; ++pos)
        if (bucket[i].get() == texture) return pos;
    return -1;
}

// --- Materials ---------------------------------------------------------------------------

Material* AddMaterial(TileSet& set, std::string_view name, std::int32_t color, std::string_view description) {
    std::string key(name);
    if (set.materialIndex.count(key)) return nullptr;
    auto material = std::make_unique<Material>();
    material->name = key;
    material->color = color;
    material->description = CutDescription(description);
    Material* raw = material.get();
    const auto entry = set.materialIndex.emplace(std::move(key), raw).first;
    try {
        set.materials.insertAfterCursor(std::move(material));
    } catch (...) {
        set.materialIndex.erase(entry);
        throw;
    }
    return raw;
}

void DeleteMaterial(TileSet& set, std::string_view name) {
    const auto it = set.materialIndex.find(name);
    if (it == set.materialIndex.end()) return;
    const long long pos = set.materials.indexOf(it->second);
    set.materialIndex.erase(it);
    if (pos >= 0) set.materials.removeAt(static_cast<std::size_t>(pos));
}

void ClearMaterials(TileSet& set) {
    set.materialIndex.clear();
    set.materials.clear();
}

Material* FindMaterial(TileSet& set, std::string_view name) {
    const auto it = set.materialIndex.find(name);
    return it == set.materialIndex.end() ? nullptr : it->second;
}

const Material* FindMaterial(const TileSet& set, std::string_view name) {
    const auto it = set.materialIndex.find(name);
    return it == set.materialIndex.end() ? nullptr : it->second;
}

bool RenameMaterial(TileSet& set, Material& material, std::string_view newName) {
    const auto own = set.materialIndex.find(material.name);
    if (own == set.materialIndex.end() || own->second != &material) return false;   // not ours
    if (material.name == newName) return true;
    std::string key(newName);
    if (set.materialIndex.count(key)) return false;
    set.materialIndex.emplace(key, &material);
    set.materialIndex.erase(own);
    material.name = std::move(key);
    return true;
}

void SortMaterials(TileSet& set) {
    set.materials.sort([](const Material& a, const Material& b) { return nameLess(a.name, b.name); });
}

// --- Textures ----------------------------------------------------------------------------

std::unique_ptr<Texture> ReadTextureFile(std::string_view folder, std::string_view fileName) {
    try {
        std::string path;
        path.reserve(folder.size() + fileName.size());
        path.append(folder).append(fileName);
        if (path.empty() || path.find('\0') != std::string::npos) return nullptr;
        // Only a regular file, read whole: a named pipe or a device given by mistake is
        // refused at once. The file stores the size as an int32: 2 GiB or more cannot be kept.
        std::unique_ptr<std::uint8_t[]> bytes;
        std::size_t size = 0;
        const fileio::ReadResult read = fileio::ReadWholeFile(path, INT32_MAX, [&](std::size_t n) {
            bytes.reset(new (std::nothrow) std::uint8_t[n]);
            size = n;
            return bytes.get();
        });
        if (!read.ok) return nullptr;

        auto texture = std::make_unique<Texture>();
        texture->name = std::string(fileName);
        texture->size = static_cast<std::int32_t>(size);
        texture->bytes = std::move(bytes);
        return texture;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool AddTexture(TileSet& set, std::string_view folder, std::string_view fileName) {
    if (set.textures.find(fileName)) return false;
    std::unique_ptr<Texture> read = ReadTextureFile(folder, fileName);
    if (!read) return false;
    try {
        set.textures.put(std::move(read->name), std::move(read->bytes), read->size);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

Texture& PutTexture(TileSet& set, std::string name, std::unique_ptr<std::uint8_t[]> bytes, std::int32_t size) {
    return set.textures.put(std::move(name), std::move(bytes), size);
}

bool DeleteTexture(TileSet& set, std::string_view name) { return set.textures.erase(name); }

void ClearTextures(TileSet& set) { set.textures.clear(); }

const Texture* FindTexture(const TileSet& set, std::string_view name) { return set.textures.find(name); }

// --- Tile groups and tiles ---------------------------------------------------------------

TileGroup* AddTileGroup(TileSet& set, std::int32_t id) {
    const auto [entry, inserted] = set.tileGroupIndex.try_emplace(id, nullptr);
    if (!inserted) return nullptr;
    try {
        auto group = std::make_unique<TileGroup>();
        group->id = id;
        entry->second = &set.tileGroups.insertAfterCursor(std::move(group));
    } catch (...) {
        set.tileGroupIndex.erase(entry);
        throw;
    }
    return entry->second;
}

TileGroup* FindTileGroup(TileSet& set, std::int32_t id) {
    TileGroup* group = LookUpTileGroup(set, id);
    if (group) set.currentGroup = group;
    return group;
}

const TileGroup* LookUpTileGroup(const TileSet& set, std::int32_t id) {
    const auto it = set.tileGroupIndex.find(id);
    return it == set.tileGroupIndex.end() ? nullptr : it->second;
}

TileGroup* LookUpTileGroup(TileSet& set, std::int32_t id) {
    const auto it = set.tileGroupIndex.find(id);
    return it == set.tileGroupIndex.end() ? nullptr : it->second;
}

void ClearTileGroup(TileSet& set, std::int32_t id) {
    if (TileGroup* group = LookUpTileGroup(set, id)) {
        group->tileIndex.clear();
        group->tiles.clear();
    }
}

Tile* AddTile(TileGroup& group, std::int32_t id, SharedText texture, SharedText material, std::int16_t layer,
              std::int16_t collision) {
    const auto [entry, inserted] = group.tileIndex.try_emplace(id, nullptr);
    if (!inserted) return nullptr;
    try {
        std::unique_ptr<Tile> tile(new Tile{id, layer, collision, std::move(texture), std::move(material)});
        entry->second = &group.tiles.insertAfterCursor(std::move(tile));
    } catch (...) {
        group.tileIndex.erase(entry);
        throw;
    }
    return entry->second;
}

Tile* AddTile(TileGroup& group, std::int32_t id, std::string_view texture, std::string_view material,
              std::int16_t layer, std::int16_t collision) {
    if (group.tileIndex.count(id)) return nullptr;   // nothing to make texts for
    return AddTile(group, id, SharedText(texture), SharedText(material), layer, collision);
}

Tile* AddTile(TileSet& set, std::int32_t groupId, std::int32_t id, std::string_view texture,
              std::string_view material, std::int16_t layer, std::int16_t collision) {
    TileGroup* group = LookUpTileGroup(set, groupId);
    return group ? AddTile(*group, id, texture, material, layer, collision) : nullptr;
}

void DeleteTile(TileSet& set, std::int32_t groupId, std::int32_t id) {
    TileGroup* group = LookUpTileGroup(set, groupId);
    if (!group) return;
    const auto it = group->tileIndex.find(id);
    if (it == group->tileIndex.end()) return;
    const long long pos = group->tiles.indexOf(it->second);
    group->tileIndex.erase(it);
    if (pos >= 0) group->tiles.removeAt(static_cast<std::size_t>(pos));
}

void SortTiles(TileGroup& group) {
    // The sign bit flipped: signed order as unsigned keys. IDs are unique, so no order of
    // equal keys is ever in question.
    group.tiles.sortByKey([](const Tile& t) { return static_cast<std::uint32_t>(t.id) ^ 0x80000000u; });
}

// --- Fingerprint -------------------------------------------------------------------------

std::uint64_t ContentFingerprint(const TileSet& set) {
    Hasher h;
    h.add(static_cast<std::uint64_t>(static_cast<std::uint32_t>(set.tileWidth)));
    h.add(static_cast<std::uint64_t>(static_cast<std::uint32_t>(set.tileHeight)));

    h.add(static_cast<std::uint64_t>(set.materials.size()));
    for (const auto& m : set.materials.items()) {
        h.add(m->name);
        h.add(static_cast<std::uint64_t>(static_cast<std::uint32_t>(m->color)));
        h.add(m->description);
    }

    h.add(static_cast<std::uint64_t>(set.textures.size()));
    set.textures.forEach([&](const Texture& t) {
        h.add(t.name);
        h.add(static_cast<std::uint64_t>(static_cast<std::uint32_t>(t.size)));
        h.add(t.serial);
    });

    const TileGroup* group = LookUpTileGroup(set, kTileGroup);
    h.add(group ? static_cast<std::uint64_t>(group->tiles.size()) : ~0ull);
    if (group) {
        for (const auto& t : group->tiles.items()) {
            // The texts through their hashes, made once with each text (a million tiles share
            // a few thousand names); two words a tile, the texture's in the first.
            const std::uint64_t numbers = static_cast<std::uint64_t>(static_cast<std::uint32_t>(t->id)) << 32 |
                                          static_cast<std::uint64_t>(static_cast<std::uint16_t>(t->layer)) << 16 |
                                          static_cast<std::uint16_t>(t->collision);
            h.add(numbers ^ t->texture.hash());
            h.add(t->material.hash());
        }
    }
    return h.value();
}

}  // namespace marquetor::document
