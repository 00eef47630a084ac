#pragma once
// The changes of tiles as commands (command.h): the Tiles tab's Add, Update, Delete and
// Sort, and the changes of many tiles at once (their material, layer or collision, or
// Delete). Tiles are named by their positions in the list of the tile group, which stay
// right while the history is undone and redone in order.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/restore.h"
#include "document/tileset.h"
#include "editor/command.h"

namespace marquetor::editor {

// What Add makes a tile of.
struct NewTile {
    std::int32_t id = 0;
    std::string_view texture;
    std::string_view material;
    std::int16_t layer = 0;
    std::int16_t collision = 0;
};

// Add: a new tile at a position (the end when past it), the cursor on it. Refused (no step)
// when its ID is taken. "Add Tile 12".
std::unique_ptr<Command> InsertTile(const NewTile& tile, std::size_t position);
// Update: the tile at a position takes these values (its ID stays). No step when it has
// them already. "Update Tile 12".
std::unique_ptr<Command> EditTile(std::size_t position, document::TileValues values);
// Delete: the tile at a position goes, the cursor to the one before it (as DeleteTile).
// "Delete Tile 12".
std::unique_ptr<Command> RemoveTile(std::size_t position);
// Sort: the list takes an order of its own records (SortedTileOrder), the cursor staying at
// its position. "Sort Tiles".
std::unique_ptr<Command> SortTileList(std::vector<document::Tile*> order);

// Many tiles at once, given by their positions (in any order; each counts once). One step
// each, whatever the number; no step when no tile changes or a position is outside the list.
// "Set Material of 50 Tiles", "Set Layer of 1 Tile", "Set Collision of 50 Tiles".
std::unique_ptr<Command> SetMaterialOfTiles(std::vector<std::size_t> positions, std::string_view material);
std::unique_ptr<Command> SetLayerOfTiles(std::vector<std::size_t> positions, std::int16_t layer);
std::unique_ptr<Command> SetCollisionOfTiles(std::vector<std::size_t> positions, std::int16_t collision);
// Any of the three at once, one step: the fields that hold a value are set, the others kept
// ("Set Material and Layer of 50 Tiles"). No step when none holds a value.
struct TileChanges {
    std::optional<std::string> material;
    std::optional<std::int16_t> layer;
    std::optional<std::int16_t> collision;
};
std::unique_ptr<Command> SetValuesOfTiles(std::vector<std::size_t> positions, const TileChanges& changes);
// Delete of many tiles in one pass over the list, the cursor to the tile before the first of
// them. "Delete 50 Tiles".
std::unique_ptr<Command> RemoveTiles(std::vector<std::size_t> positions);

}  // namespace marquetor::editor
