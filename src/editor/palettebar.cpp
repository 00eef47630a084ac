#include "editor/palettebar.h"

#include <algorithm>
#include <string>
#include <vector>

#include "editor/command.h"
#include "editor/editor.h"
#include "editor/refresh.h"
#include "editor/tilecommands.h"
#include "platform/cellgrid.h"

namespace marquetor::editor {

namespace {

platform::CellGrid& tiles(Editor& ed) { return platform::CellGridOf(ed.gadgets(), gadget::PaletteTiles); }

// The bar's Apply: what its boxes hold set on every selected tile, one step. The Tiles list
// shows the result as after its own Update: its rows written again, its selection kept,
// and the current tile's fields loaded again when it was among them.
void applyToSelected(Editor& ed) {
    platform::Gadgets& g = ed.gadgets();
    std::vector<std::size_t> cells = tiles(ed).selectedCells();
    if (cells.empty()) return;
    TileChanges changes;
    const std::string material = g.choiceBox(gadget::PaletteMaterial).text();
    if (!material.empty()) changes.material = material;
    const int layer = g.spinBox(gadget::PaletteLayer).value();
    if (layer >= 0) changes.layer = static_cast<std::int16_t>(layer);
    const int collision = g.choiceBox(gadget::PaletteCollision).state();
    if (collision >= 0) changes.collision = static_cast<std::int16_t>(collision);
    if (!changes.material && !changes.layer && !changes.collision) return;

    const long long current = ed.currentTileRow;
    const bool currentChanges =
        current >= 0 && std::binary_search(cells.begin(), cells.end(), static_cast<std::size_t>(current));
    const unsigned parts = ed.session.run(SetValuesOfTiles(std::move(cells), changes));
    if (parts == 0) return;   // the tiles hold these values already
    Refresh(ed, parts);
    if (currentChanges && g.listView(gadget::TilesList).selectedRow() == current)
        ed.queue.push({platform::kEventGadget, 0, gadget::TilesList});
}

// The bar's Delete and the Delete key: every selected tile goes, one step. As after the
// Tiles tab's Delete, the row before the first of them becomes current and selected, and
// its selection loads the fields.
void deleteSelected(Editor& ed) {
    std::vector<std::size_t> cells = tiles(ed).selectedCells();
    if (cells.empty()) return;
    const std::size_t first = *std::min_element(cells.begin(), cells.end());
    const unsigned parts = ed.session.run(RemoveTiles(std::move(cells)));
    if (parts == 0) return;
    Refresh(ed, parts);
    ed.currentTileRow = static_cast<int>(first) - 1;
    ed.gadgets().listView(gadget::TilesList).selectRow(ed.currentTileRow);
}

}  // namespace

void HandlePaletteBarGadget(Editor& ed, int id) {
    if (!ed.palette.window) return;
    switch (id) {
    case gadget::PaletteApply: applyToSelected(ed); break;
    case gadget::PaletteDelete: deleteSelected(ed); break;
    default: break;
    }
}

}  // namespace marquetor::editor
