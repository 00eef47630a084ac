#pragma once
// The tile palette (View > Tile Palette): a window of its own beside the main window with
// every tile and every texture of the document as a picture, a filter, and a bar for
// changes to many tiles at once. It follows the Tiles and Textures tabs both ways: a click
// on a cell does what a click on its row does, and the row selected in a list is the cell
// framed in the palette. Made the first time it is opened; closing it hides it.
//
// What the editor calls: the menu item and the palette's gadgets from the dispatch,
// ShowInPalette wherever the lists are rebuilt after a change, UpdatePalette once a cycle.

#include <memory>
#include <string>

#include "platform/toolwindow.h"

namespace marquetor::editor {

struct Editor;

namespace gadget {
// The palette's gadgets, numbered after the main window's.
enum : int {
    PaletteFilter = 38,
    PalettePages = 39,
    PaletteTiles = 40,
    PaletteTextures = 41,
    PaletteMaterial = 42,
    PaletteLayer = 43,
    PaletteCollision = 44,
    PaletteApply = 45,
    PaletteDelete = 46,
    PaletteStatus = 47,
};
}  // namespace gadget

namespace menu {
enum : int { Palette = 7 };   // View > Tile Palette
}

inline constexpr char kPaletteTitle[] = "Tile Palette";
inline constexpr char kPaletteShortcut[] = "Ctrl+T";

struct Palette {
    std::unique_ptr<platform::ToolWindow> window;   // none until first opened
    // The rows of the Tiles and Textures lists the pages last followed (or led to).
    long long tilesRow = -1;
    long long texturesRow = -1;
};

// Menu item 7: opens the palette (made the first time), or brings it to the front; the
// keyboard focus goes to its filter.
void OpenPalette(Editor& ed);
// The palette's gadgets (38 to 46).
void HandlePaletteGadget(Editor& ed, int gadget);
// After a change of these parts (history.h) of the document, where the lists are rebuilt:
// the pages show the document as it is now. A change of the tiles' values that kept their
// order and number (`sameTiles`, an Update) keeps the palette's selection; any other change
// of the tiles leaves none.
void ShowInPalette(Editor& ed, unsigned parts, bool sameTiles = false);
// Once a cycle: the rows selected in the Tiles and Textures lists framed in the pages, the
// line below them, the bar's buttons usable while tiles are selected.
void UpdatePalette(Editor& ed);

}  // namespace marquetor::editor
