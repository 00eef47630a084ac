#include "document/restore.h"

#include <algorithm>
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

bool ReorderTiles(TileGroup& group, std::span<Tile* const> order) { return ListAccess::reorder(group.tiles, order); }

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
