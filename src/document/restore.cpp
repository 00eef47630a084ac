#include "document/restore.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <utility>

namespace marquetor::document {

// The lists' and the texture map's insides, for the operations below only.
struct ListAccess {
    template <class T>
    static std::unique_ptr<T> take(OrderedList<T>& list, std::size_t position) {
        auto& items = list.m_items;
        std::unique_ptr<T> record = std::move(items[position]);
        items.erase(items.begin() + static_cast<std::ptrdiff_t>(position));
        list.m_cursor = static_cast<int>(position) - 1;
        return record;
    }

    template <class T>
    static void put(OrderedList<T>& list, std::size_t position, std::unique_ptr<T> record) {
        auto& items = list.m_items;
        position = std::min(position, items.size());
        items.insert(items.begin() + static_cast<std::ptrdiff_t>(position), std::move(record));
        list.m_cursor = static_cast<int>(position);
    }

    // Positions strictly ascending and inside the list (checked by the caller).
    template <class T>
    static std::vector<std::unique_ptr<T>> takeMany(OrderedList<T>& list, std::span<const std::size_t> positions) {
        auto& items = list.m_items;
        std::vector<std::unique_ptr<T>> taken;
        taken.reserve(positions.size());
        std::size_t kept = positions.empty() ? items.size() : positions.front();
        std::size_t next = 0;
        for (std::size_t i = kept; i < items.size(); ++i) {
            if (next < positions.size() && positions[next] == i) {
                taken.push_back(std::move(items[i]));
                ++next;
            } else {
                items[kept++] = std::move(items[i]);
            }
        }
        items.resize(kept);
        if (!positions.empty()) list.m_cursor = static_cast<int>(positions.front()) - 1;
        return taken;
    }

    // Positions strictly ascending, the last below the new size (checked by the caller).
    template <class T>
    static void putMany(OrderedList<T>& list, std::span<const std::size_t> positions,
                        std::vector<std::unique_ptr<T>>& records) {
        auto& items = list.m_items;
        if (positions.empty()) return;
        const std::size_t oldSize = items.size();
        items.resize(oldSize + records.size());   // the only step that can fail
        // From the back: each kept record moves up by the number of records put before it.
        std::size_t from = oldSize;
        std::size_t next = positions.size();
        for (std::size_t to = items.size(); to-- > positions.front();) {
            if (next > 0 && positions[next - 1] == to) {
                items[to] = std::move(records[--next]);
            } else {
                items[to] = std::move(items[--from]);
            }
        }
        records.clear();
        list.m_cursor = static_cast<int>(positions.front());
    }

    template <class T>
    static std::vector<T*> order(const OrderedList<T>& list) {
        std::vector<T*> out;
        out.reserve(list.m_items.size());
        for (const auto& item : list.m_items) out.push_back(item.get());
        return out;
    }

    // Same size, no allocation: the records change places and nothing can fail half-way.
    template <class T>
    static bool reorder(OrderedList<T>& list, std::span<T* const> order) {
        auto& items = list.m_items;
        if (order.size() != items.size()) return false;
        for (auto& item : items) (void)item.release();
        for (std::size_t i = 0; i < items.size(); ++i) items[i].reset(order[i]);
        return true;
    }

    template <class T>
    static void swap(OrderedList<T>& a, OrderedList<T>& b) noexcept {
        std::swap(a.m_items, b.m_items);
        std::swap(a.m_cursor, b.m_cursor);
    }
};

struct TextureMapAccess {
    static TakenTexture take(TextureMap& map, std::string_view name) {
        TakenTexture taken;
        const auto it = map.m_index.find(name);
        if (it == map.m_index.end()) return taken;
        auto& bucket = map.m_buckets[TextureMap::bucketOf(name)];
        for (std::size_t slot = 0; slot < bucket.size(); ++slot) {
            if (bucket[slot].get() != it->second) continue;
            taken.record = std::move(bucket[slot]);
            taken.slot = slot;
            bucket.erase(bucket.begin() + static_cast<std::ptrdiff_t>(slot));
            break;
        }
        map.m_index.erase(it);
        return taken;
    }

    static bool put(TextureMap& map, TakenTexture& taken) {
        if (!taken.record || map.m_index.count(taken.record->name) != 0) return false;
        auto& bucket = map.m_buckets[TextureMap::bucketOf(taken.record->name)];
        const std::size_t slot = std::min(taken.slot, bucket.size());
        bucket.reserve(bucket.size() + 1);   // nothing below fails after the index entry
        map.m_index.emplace(taken.record->name, taken.record.get());
        if (taken.record->serial == 0) taken.record->serial = map.m_nextSerial++;
        bucket.insert(bucket.begin() + static_cast<std::ptrdiff_t>(slot), std::move(taken.record));
        return true;
    }

    static std::size_t bytes(const TextureMap& map) {
        std::size_t total = 0;
        for (const auto& entry : map.m_index) total += entry.second->data().size();
        return total;
    }

    // The serial counter stays with the document's map.
    static void swapContent(TextureMap& a, TextureMap& b) noexcept {
        std::swap(a.m_buckets, b.m_buckets);
        std::swap(a.m_index, b.m_index);
    }
};

// --- Materials ---------------------------------------------------------------------------

std::unique_ptr<Material> TakeMaterial(TileSet& set, std::size_t position) {
    if (position >= set.materials.size()) return nullptr;
    const Material& material = set.materials.at(position);
    const auto entry = set.materialIndex.find(material.name);
    if (entry != set.materialIndex.end() && entry->second == &material) set.materialIndex.erase(entry);
    return ListAccess::take(set.materials, position);
}

bool PutMaterial(TileSet& set, std::size_t position, std::unique_ptr<Material> material) {
    if (!material) return false;
    const auto [entry, entered] = set.materialIndex.try_emplace(material->name, material.get());
    if (!entered) return false;
    try {
        ListAccess::put(set.materials, position, std::move(material));
    } catch (...) {
        set.materialIndex.erase(entry);
        throw;
    }
    return true;
}

std::vector<Material*> MaterialOrder(const TileSet& set) { return ListAccess::order(set.materials); }

std::vector<Material*> SortedMaterialOrder(const TileSet& set) {
    std::vector<Material*> order = MaterialOrder(set);
    // std::string compares its bytes as unsigned char: the order SortMaterials sorts by.
    std::stable_sort(order.begin(), order.end(),
                     [](const Material* a, const Material* b) { return a->name < b->name; });
    return order;
}

bool ReorderMaterials(TileSet& set, std::span<Material* const> order) {
    return ListAccess::reorder(set.materials, order);
}

// --- Textures ----------------------------------------------------------------------------

TakenTexture TakeTexture(TileSet& set, std::string_view name) { return TextureMapAccess::take(set.textures, name); }

bool PutTextureBack(TileSet& set, TakenTexture& taken) { return TextureMapAccess::put(set.textures, taken); }

std::size_t TextureBytes(const TextureMap& textures) { return TextureMapAccess::bytes(textures); }

// --- Tiles -------------------------------------------------------------------------------

std::unique_ptr<Tile> TakeTile(TileGroup& group, std::size_t position) {
    if (position >= group.tiles.size()) return nullptr;
    const Tile& tile = group.tiles.at(position);
    const auto entry = group.tileIndex.find(tile.id);
    if (entry != group.tileIndex.end() && entry->second == &tile) group.tileIndex.erase(entry);
    return ListAccess::take(group.tiles, position);
}

bool PutTile(TileGroup& group, std::size_t position, std::unique_ptr<Tile> tile) {
    if (!tile) return false;
    const auto [entry, entered] = group.tileIndex.try_emplace(tile->id, tile.get());
    if (!entered) return false;
    const std::int32_t id = tile->id;
    try {
        ListAccess::put(group.tiles, position, std::move(tile));
    } catch (...) {
        group.tileIndex.erase(id);
        throw;
    }
    return true;
}

std::vector<Tile*> TileOrder(const TileGroup& group) { return ListAccess::order(group.tiles); }

std::vector<Tile*> SortedTileOrder(const TileGroup& group) {
    const auto& items = group.tiles.items();
    const std::size_t n = items.size();
    std::vector<Tile*> order(n);
    if (n > UINT32_MAX) {
        order = TileOrder(group);
        std::stable_sort(order.begin(), order.end(), [](const Tile* a, const Tile* b) { return a->id < b->id; });
        return order;
    }
    // As SortTiles: key (the ID with its sign bit flipped) and position in one word each.
    const auto room = std::make_unique_for_overwrite<std::uint64_t[]>(2 * n);
    std::uint64_t* words = room.get();
    for (std::size_t i = 0; i < n; ++i)
        words[i] = std::uint64_t{static_cast<std::uint32_t>(items[i]->id) ^ 0x80000000u} << 32 | i;
    words = detail::RadixSortByHighHalf(words, room.get() + n, n);
    for (std::size_t i = 0; i < n; ++i) order[i] = items[static_cast<std::uint32_t>(words[i])].get();
    return order;
}

bool ReorderTiles(TileGroup& group, std::span<Tile* const> order) { return ListAccess::reorder(group.tiles, order); }

namespace {

// Strictly ascending, every one below `end`.
bool ascendingBelow(std::span<const std::size_t> positions, std::size_t end) {
    for (std::size_t i = 0; i < positions.size(); ++i) {
        if (positions[i] >= end || (i > 0 && positions[i] <= positions[i - 1])) return false;
    }
    return true;
}

}  // namespace

std::vector<std::unique_ptr<Tile>> TakeTiles(TileGroup& group, std::span<const std::size_t> positions) {
    if (!ascendingBelow(positions, group.tiles.size())) return {};
    std::vector<std::unique_ptr<Tile>> taken = ListAccess::takeMany(group.tiles, positions);
    for (const auto& tile : taken) {
        const auto entry = group.tileIndex.find(tile->id);
        if (entry != group.tileIndex.end() && entry->second == tile.get()) group.tileIndex.erase(entry);
    }
    return taken;
}

bool PutTilesBack(TileGroup& group, std::span<const std::size_t> positions, std::vector<std::unique_ptr<Tile>>& tiles) {
    if (positions.size() != tiles.size() || !ascendingBelow(positions, group.tiles.size() + tiles.size())) return false;
    // The IDs first: one that is taken (by the group or by another of these tiles) refuses
    // the whole put, and the entries made so far go again.
    std::size_t entered = 0;
    const auto forgetEntered = [&] {
        for (std::size_t i = 0; i < entered; ++i) group.tileIndex.erase(tiles[i]->id);
    };
    try {
        group.tileIndex.reserve(group.tileIndex.size() + tiles.size());
        for (; entered < tiles.size(); ++entered) {
            if (!tiles[entered] || !group.tileIndex.try_emplace(tiles[entered]->id, tiles[entered].get()).second) {
                forgetEntered();
                return false;
            }
        }
        ListAccess::putMany(group.tiles, positions, tiles);
    } catch (...) {
        forgetEntered();
        throw;
    }
    return true;
}

TileValues ValuesOf(const Tile& tile) { return {tile.texture, tile.material, tile.layer, tile.collision}; }

void SetValues(Tile& tile, const TileValues& values) {
    tile.texture = values.texture;
    tile.material = values.material;
    tile.layer = values.layer;
    tile.collision = values.collision;
}

// --- The whole content -------------------------------------------------------------------

void SwapContent(TileSet& set, std::int32_t groupId, TileSetContent& content) {
    TileGroup* group = LookUpTileGroup(set, groupId);
    if (group == nullptr) return;
    std::swap(set.tileWidth, content.tileWidth);
    std::swap(set.tileHeight, content.tileHeight);
    ListAccess::swap(set.materials, content.materials);
    std::swap(set.materialIndex, content.materialIndex);
    TextureMapAccess::swapContent(set.textures, content.textures);
    ListAccess::swap(group->tiles, content.tiles);
    group->tileIndex.swap(content.tileIndex);
}

}  // namespace marquetor::document
