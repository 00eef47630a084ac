#pragma once
// How the tabs show the document after a change, whoever made it: a tab's handler, Undo,
// Redo, New or Open. Every gadget that shows a part of the document is brought up to date
// here and nowhere else.

#include <cstdint>

#include "editor/editor.h"

namespace marquetor::editor {

// Shows the parts (command.h) a change touched:
// - TileSize: both tile-size boxes take the document's numbers, unless both already read as
//   them (a box being typed in keeps the text typed);
// - Materials: the materials list and the Tiles tab's material choice box are rebuilt;
// - Textures: the textures list and the Tiles tab's texture choice box are rebuilt;
// - Tiles: the tiles list is rebuilt; TileValues alone: its rows show the tiles' values
//   again and its selection stays (only row `tileRow` is painted again when the change was
//   to that one tile; -1: every row shown).
// A rebuilt list or box has no row selected or chosen; each reads its rows from the
// document as they are shown, so a rebuild costs the same for ten rows and for a million.
void Refresh(Editor& ed, unsigned parts, int tileRow = -1);

// After New or Open, the document replaced: every tab shows it, the TileSet tab in front,
// the edit fields as at start-up, no current rows, and the TileSet tab's account looks at
// the whole document again.
void RefreshGadgets(Editor& ed);

// Fills the swatch picture with one colour and shows it again.
void PaintSwatch(Editor& ed, std::int32_t color);
// No picture in the texture preview (17), an empty file name label (18).
void ClearTexturePreview(Editor& ed);

}  // namespace marquetor::editor
