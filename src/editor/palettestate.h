#pragma once
// What the editor holds of the tile palette (palette.h): its gadget and menu numbers and
// its window, made the first time it is opened.

#include <memory>

#include "platform/toolwindow.h"

namespace marquetor::editor {

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

}  // namespace marquetor::editor
