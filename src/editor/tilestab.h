#pragma once
// The Tiles tab: the tiles of group 1 and the editors of one tile.

#include <string>

#include "editor/editor.h"

namespace marquetor::editor {

// Tiles list (23), texture choice box (26), Add (30), Update (31), Delete (32), Sort (33).
void HandleTilesGadget(Editor& ed, int gadget);

// Empties and refills the tiles list (23) from the tiles of group 1 in list order; no row
// selected afterwards. The list reads its rows from the document as they are shown, so this
// costs the same for ten tiles and for a million.
void RebuildTilesList(Editor& ed);

// The editors as after a refresh: ID "0", no preview, layer 0, collision "False".
void ResetTileEditors(Editor& ed);

}  // namespace marquetor::editor
