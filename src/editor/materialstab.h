#pragma once
// The Materials tab: the materials list, the edit fields with the colour swatch, and the
// material choice box of the Tiles tab that follows every change.

#include <cstdint>
#include <string>

#include "editor/editor.h"

namespace marquetor::editor {

// Materials list (4), colour button (6), R, G, B fields (8-10), Add, Update, Delete, Sort
// (12-15).
void HandleMaterialsGadget(Editor& ed, int gadget);

// Empties and refills the materials list and the material choice box (27) from the
// document, in document order; nothing selected or chosen afterwards. Each reads its rows
// from the document as they are shown, so this copies nothing.
void RebuildMaterialLists(Editor& ed);

// Fills the swatch picture with one colour and shows it again.
void PaintSwatch(Editor& ed, std::int32_t color);

// The edit buffer as after a refresh: empty name, "0" in R, G and B, a black swatch,
// empty description.
void ResetMaterialFields(Editor& ed);

}  // namespace marquetor::editor
