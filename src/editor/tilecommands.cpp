#include "editor/tilecommands.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "document/text.h"
#include "editor/session.h"

namespace marquetor::editor {

namespace {

using document::SharedText;
using document::Tile;
using document::TileGroup;

// The group every tile of the editor belongs to; it lives from start-up to the end.
TileGroup* tileGroupOf(Session& session) {
    return document::LookUpTileGroup(session.documentToChange(), document::kTileGroup);
}

// Ascending, each position once.
std::vector<std::size_t> ascending(std::vector<std::size_t> positions) {
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    return positions;
}

// Add and Delete: a record that one side of the change has in the list and the other has
// not. Taken out, the command holds it, so that the same record comes back.
class TileRecordCommand final : public Command {
public:
    TileRecordCommand(bool add, std::unique_ptr<Tile> held, std::size_t position)
        : m_add(add), m_held(std::move(held)), m_position(position) {
        if (m_held) m_id = m_held->id;
    }
    std::string name() const override { return (m_add ? "Add Tile " : "Delete Tile ") + document::NumberToText(m_id); }

protected:
    unsigned apply(Session& session) override {
        TileGroup* group = tileGroupOf(session);
        if (group == nullptr) return 0;
        m_cursorBefore = group->tiles.cursor();
        return m_add ? putIn(*group) : takeOut(*group);
    }
    unsigned revert(Session& session) override {
        TileGroup* group = tileGroupOf(session);
        if (group == nullptr) return 0;
        const unsigned parts = m_add ? takeOut(*group) : putIn(*group);
        group->tiles.selectAt(m_cursorBefore);
        return parts;
    }

private:
    unsigned takeOut(TileGroup& group) {
        m_held = document::TakeTile(group, m_position);
        if (!m_held) return 0;
        m_id = m_held->id;
        return part::Tiles;
    }
    unsigned putIn(TileGroup& group) {
        if (!m_held || !document::PutTile(group, m_position, std::move(m_held))) return 0;
        m_held.reset();
        return part::Tiles;
    }

    bool m_add;
    std::unique_ptr<Tile> m_held;   // null while the document holds the record
    std::size_t m_position;
    std::int32_t m_id = 0;
    int m_cursorBefore = -1;
};

class EditTileCommand final : public Command {
public:
    EditTileCommand(std::size_t position, document::TileValues after)
        : m_position(position), m_after(std::move(after)) {}
    std::string name() const override { return "Update Tile " + document::NumberToText(m_id); }

protected:
    unsigned apply(Session& session) override {
        TileGroup* group = tileGroupOf(session);
        if (group == nullptr || m_position >= group->tiles.size()) return 0;
        Tile& tile = group->tiles.at(m_position);
        m_id = tile.id;
        m_before = document::ValuesOf(tile);
        if (m_after == m_before) return 0;
        document::SetValues(tile, m_after);
        return part::TileValues;
    }
    unsigned revert(Session& session) override {
        document::SetValues(tileGroupOf(session)->tiles.at(m_position), m_before);
        return part::TileValues;
    }

private:
    std::size_t m_position;
    document::TileValues m_after;
    document::TileValues m_before;
    std::int32_t m_id = 0;
};

class SortTilesCommand final : public Command {
public:
    explicit SortTilesCommand(std::vector<Tile*> order) : m_other(std::move(order)) {}
    std::string name() const override { return "Sort Tiles"; }
    std::size_t heldBytes() const override { return m_other.size() * sizeof(m_other[0]); }

protected:
    unsigned apply(Session& session) override { return swap(session); }
    unsigned revert(Session& session) override { return swap(session); }

private:
    // The command holds the other order of the same records: both ways cost one pass.
    unsigned swap(Session& session) {
        TileGroup* group = tileGroupOf(session);
        if (group == nullptr) return 0;
        std::vector<Tile*> current = document::TileOrder(*group);
        if (!document::ReorderTiles(*group, m_other)) return 0;
        m_other = std::move(current);
        return part::Tiles;
    }
    std::vector<Tile*> m_other;
};

// Fields of many tiles set to one value each (any of material, layer and collision); the
// old values of the fields it sets kept, one per tile.
class SetTilesCommand final : public Command {
public:
    SetTilesCommand(std::vector<std::size_t> positions, const TileChanges& changes)
        : m_positions(ascending(std::move(positions))),
          m_setMaterial(changes.material.has_value()),
          m_material(changes.material ? SharedText(*changes.material) : SharedText()),
          m_layer(changes.layer),
          m_collision(changes.collision) {}
    // "Set Material of 50 Tiles", "Set Material and Layer of 50 Tiles",
    // "Set Material, Layer and Collision of 1 Tile".
    std::string name() const override {
        std::vector<const char*> fields;
        if (m_setMaterial) fields.push_back("Material");
        if (m_layer) fields.push_back("Layer");
        if (m_collision) fields.push_back("Collision");
        std::string text = "Set ";
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i > 0) text += i + 1 == fields.size() ? " and " : ", ";
            text += fields[i];
        }
        return text + " of " + CountName(m_positions.size(), "Tile", "Tiles");
    }
    std::size_t heldBytes() const override {
        return m_positions.capacity() * sizeof(std::size_t) + m_oldMaterials.capacity() * sizeof(SharedText) +
               (m_oldLayers.capacity() + m_oldCollisions.capacity()) * sizeof(std::int16_t);
    }

protected:
    unsigned apply(Session& session) override {
        TileGroup* group = tileGroupOf(session);
        if (group == nullptr || m_positions.empty() || m_positions.back() >= group->tiles.size()) return 0;
        bool changes = false;
        for (const std::size_t position : m_positions) changes = changes || differs(group->tiles.at(position));
        if (!changes) return 0;
        m_oldMaterials.clear();
        m_oldLayers.clear();
        m_oldCollisions.clear();
        if (m_setMaterial) m_oldMaterials.reserve(m_positions.size());
        if (m_layer) m_oldLayers.reserve(m_positions.size());
        if (m_collision) m_oldCollisions.reserve(m_positions.size());
        for (const std::size_t position : m_positions) {
            Tile& tile = group->tiles.at(position);
            if (m_setMaterial) {
                m_oldMaterials.push_back(std::move(tile.material));
                tile.material = m_material;   // one text, shared by all of them
            }
            if (m_layer) {
                m_oldLayers.push_back(tile.layer);
                tile.layer = *m_layer;
            }
            if (m_collision) {
                m_oldCollisions.push_back(tile.collision);
                tile.collision = *m_collision;
            }
        }
        return part::TileValues;
    }
    unsigned revert(Session& session) override {
        TileGroup* group = tileGroupOf(session);
        for (std::size_t i = 0; i < m_positions.size(); ++i) {
            Tile& tile = group->tiles.at(m_positions[i]);
            if (m_setMaterial) tile.material = std::move(m_oldMaterials[i]);
            if (m_layer) tile.layer = m_oldLayers[i];
            if (m_collision) tile.collision = m_oldCollisions[i];
        }
        return part::TileValues;
    }

private:
    bool differs(const Tile& tile) const {
        return (m_setMaterial && tile.material != m_material) || (m_layer && tile.layer != *m_layer) ||
               (m_collision && tile.collision != *m_collision);
    }

    std::vector<std::size_t> m_positions;   // ascending
    bool m_setMaterial;
    SharedText m_material;                  // the material's name
    std::optional<std::int16_t> m_layer;
    std::optional<std::int16_t> m_collision;
    // While applied: each tile's old values of the fields set.
    std::vector<SharedText> m_oldMaterials;
    std::vector<std::int16_t> m_oldLayers;
    std::vector<std::int16_t> m_oldCollisions;
};

class RemoveTilesCommand final : public Command {
public:
    explicit RemoveTilesCommand(std::vector<std::size_t> positions) : m_positions(ascending(std::move(positions))) {}
    std::string name() const override { return "Delete " + CountName(m_positions.size(), "Tile", "Tiles"); }
    std::size_t heldBytes() const override {
        return m_positions.capacity() * sizeof(std::size_t) + m_held.capacity() * sizeof(m_held[0]);
    }

protected:
    unsigned apply(Session& session) override {
        TileGroup* group = tileGroupOf(session);
        if (group == nullptr || m_positions.empty()) return 0;
        m_cursorBefore = group->tiles.cursor();
        m_held = document::TakeTiles(*group, m_positions);
        return m_held.empty() ? 0 : part::Tiles;
    }
    unsigned revert(Session& session) override {
        TileGroup* group = tileGroupOf(session);
        if (group == nullptr || !document::PutTilesBack(*group, m_positions, m_held)) return 0;
        group->tiles.selectAt(m_cursorBefore);
        return part::Tiles;
    }

private:
    std::vector<std::size_t> m_positions;   // ascending
    std::vector<std::unique_ptr<Tile>> m_held;   // the tiles while deleted
    int m_cursorBefore = -1;
};

}  // namespace

std::unique_ptr<Command> InsertTile(const NewTile& tile, std::size_t position) {
    std::unique_ptr<Tile> record(
        new Tile{tile.id, tile.layer, tile.collision, SharedText(tile.texture), SharedText(tile.material)});
    return std::make_unique<TileRecordCommand>(true, std::move(record), position);
}

std::unique_ptr<Command> EditTile(std::size_t position, document::TileValues values) {
    return std::make_unique<EditTileCommand>(position, std::move(values));
}

std::unique_ptr<Command> RemoveTile(std::size_t position) {
    return std::make_unique<TileRecordCommand>(false, nullptr, position);
}

std::unique_ptr<Command> SortTileList(std::vector<Tile*> order) {
    return std::make_unique<SortTilesCommand>(std::move(order));
}

std::unique_ptr<Command> SetMaterialOfTiles(std::vector<std::size_t> positions, std::string_view material) {
    return SetValuesOfTiles(std::move(positions), TileChanges{std::string(material), std::nullopt, std::nullopt});
}

std::unique_ptr<Command> SetLayerOfTiles(std::vector<std::size_t> positions, std::int16_t layer) {
    return SetValuesOfTiles(std::move(positions), TileChanges{std::nullopt, layer, std::nullopt});
}

std::unique_ptr<Command> SetCollisionOfTiles(std::vector<std::size_t> positions, std::int16_t collision) {
    return SetValuesOfTiles(std::move(positions), TileChanges{std::nullopt, std::nullopt, collision});
}

std::unique_ptr<Command> SetValuesOfTiles(std::vector<std::size_t> positions, const TileChanges& changes) {
    return std::make_unique<SetTilesCommand>(std::move(positions), changes);
}

std::unique_ptr<Command> RemoveTiles(std::vector<std::size_t> positions) {
    return std::make_unique<RemoveTilesCommand>(std::move(positions));
}

}  // namespace marquetor::editor
