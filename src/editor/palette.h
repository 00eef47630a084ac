#pragma once
// The tile palette (View > Tile Palette): a window of its own beside the main window with
// every tile and every texture of the document as a picture, a filter, and a bar for
// changes to many tiles at once. It follows the Tiles and Textures tabs both ways: a click
// on a cell does what a click on its row does, and the row selected in a list is the cell
// framed in the palette. Made the first time it is opened; closing it hides it.
//
// What the editor calls: the menu item and the palette's gadgets from the dispatch,
// ShowInPalette from the refresh after every change, UpdatePalette once a cycle.

#include "editor/palettestate.h"

namespace marquetor::editor {

struct Editor;

// Menu item 7: opens the palette (made the first time), or brings it to the front; the
// keyboard focus goes to its filter.
void OpenPalette(Editor& ed);
// The palette's pages and filter (38 to 41): a click on a cell, a text typed. The bar's
// Apply and Delete are palettebar.h's.
void HandlePaletteGadget(Editor& ed, int gadget);
// After a change of these parts (command.h) of the document, from the refresh that shows
// it in the tabs: the pages show the document as it is now. Tiles changed in place
// (TileValues alone) keep the palette's selection; tiles added, removed or reordered leave
// none.
void ShowInPalette(Editor& ed, unsigned parts);
// Once a cycle: the rows selected in the Tiles and Textures lists framed in the pages, the
// line below them, the bar's buttons usable while tiles are selected.
void UpdatePalette(Editor& ed);

}  // namespace marquetor::editor
