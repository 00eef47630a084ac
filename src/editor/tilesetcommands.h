#pragma once
// The changes of the tile set as a whole as commands (command.h): the tile size, and New.

#include <cstdint>
#include <memory>

#include "editor/command.h"

namespace marquetor::editor {

// The tile width (or height) takes a value; no step when it has it already. Consecutive
// changes of the same side are one step ("128" typed stores 1, 12, 128), and one that comes
// back to where it started is none. "Change Tile Width", "Change Tile Height".
std::unique_ptr<Command> ChangeTileSize(bool width, std::int32_t value);

// New: the content goes (the materials, textures and tiles as ClearMaterials, ClearTextures
// and ClearTileGroup would remove them, but held by the step), the tile size becomes 64 x 64,
// and the new document counts as unchanged and belongs to no file. Undo brings the old
// content back with its own saved mark, a save made in between included. "New".
std::unique_ptr<Command> NewTileSet();

}  // namespace marquetor::editor
