#pragma once
// The TileSet tab's account of the document, below the tile-size frames: the file it
// belongs to, whether it has unsaved changes, what it holds, and the problems in it (by the
// rules mrqt check uses too, problems/problems.h).
//
// Kept cheap for large documents: the panel is brought up to date once a loop cycle, only
// while the TileSet tab is in front and only after a change; the unsaved-changes line is
// the session's answer (a walk over the tiles, two words each, once per change). The longer
// work goes in slices into cycles that handled no event, a few milliseconds each, so it
// never delays what the user's action changed: the walk that looks for broken tiles (after
// a change to the tiles, materials or textures), then the decoding of each texture not seen
// before (once per record, by its serial).

#include <cstdint>
#include <string>

namespace marquetor::editor {

// What the panel has found so far lives in the editor (infopanelstate.h).
struct Editor;

// The panel's gadgets, on the page of the TileSet tab (created while it is being built).
void CreateInfoPanel(Editor& ed);
// Once a cycle: brings the panel up to date when the TileSet tab is in front.
void UpdateInfoPanel(Editor& ed);
// After the document was replaced: everything is looked at again.
void ResetInfoPanel(Editor& ed);
// The row in the tiles list of the first tile a row of the problem list (37) is about; -1
// when the row is about no tile. Up to date even when a change came in this very cycle.
long long FirstTileOfProblem(Editor& ed, int problemRow);

// "18 bytes", "1.5 KB", "290.3 MB" (1 KB = 1024 bytes).
std::string SizeText(std::uint64_t bytes);

}  // namespace marquetor::editor
