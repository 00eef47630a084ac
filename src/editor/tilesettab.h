#pragma once
// The TileSet tab's handlers: the tile-size boxes and the problem list of its account
// (infopanel.h shows the account).

#include "editor/editor.h"

namespace marquetor::editor {

// Tile width box (2) and tile height box (3): the document takes the box's number at once.
// The problem list (37): a problem about tiles shows the Tiles tab with the first such tile
// selected.
void HandleTileSetGadget(Editor& ed, int gadget);

}  // namespace marquetor::editor
