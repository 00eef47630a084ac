#pragma once
// The Materials tab: the materials list, the edit fields with the colour swatch, and the
// material choice box of the Tiles tab that follows every change.

#include "editor/editor.h"

namespace marquetor::editor {

// Materials list (4), colour button (6), R, G, B fields (8-10), Add, Update, Delete, Sort
// (12-15).
void HandleMaterialsGadget(Editor& ed, int gadget);

}  // namespace marquetor::editor
