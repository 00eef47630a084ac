#pragma once
// The Tiles tab: the tiles of the tile group and the editors of one tile.

#include "editor/editor.h"

namespace marquetor::editor {

// Tiles list (23), texture choice box (26), Add (30), Update (31), Delete (32), Sort (33).
void HandleTilesGadget(Editor& ed, int gadget);

}  // namespace marquetor::editor
