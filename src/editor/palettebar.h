#pragma once
// The tile palette's bar (palette.h): changes to the tiles selected in its Tiles page, each
// one command of the session and one step of the Edit menu. Apply sets the Material, Layer
// and Collision its boxes hold ("(unchanged)": the tiles keep theirs); Delete, the button
// or the Delete key among the tiles, deletes them. The tabs and the palette show the result
// through the refresh (refresh.h), the Tiles tab as after its own Update or Delete.

namespace marquetor::editor {

struct Editor;

// Gadgets 45 (Apply) and 46 (Delete).
void HandlePaletteBarGadget(Editor& ed, int gadget);

}  // namespace marquetor::editor
