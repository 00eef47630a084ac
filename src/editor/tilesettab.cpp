#include "editor/tilesettab.h"

#include "document/text.h"
#include "editor/infopanel.h"
#include "editor/refresh.h"
#include "editor/tilesetcommands.h"
#include "platform/problemlist.h"

namespace marquetor::editor {

namespace {

constexpr int kTilesTab = 3;

// Gadgets 2 and 3. The box reports focus and list changes too; only a new value is a
// change. Typing "128" stores 1, 12, 128: the history makes them one step.
void tileSizeChanged(Editor& ed, int box) {
    const std::int32_t value = document::TextToInt32(ed.gadgets().editableChoiceBox(box).text());
    Refresh(ed, ed.session.run(ChangeTileSize(box == gadget::TileWidth, value)));
}

// Gadget 37, a double click on a row.
void problemActivated(Editor& ed) {
    const int row = platform::ProblemListOf(ed.gadgets(), gadget::Problems).activatedRow();
    const long long firstTile = FirstTileOfProblem(ed, row);
    if (firstTile < 0) return;
    platform::Gadgets& g = ed.gadgets();
    g.panel(gadget::Panel).setState(kTilesTab);
    // The selection reaches the tile selection handler in a later cycle, which loads the
    // editors from the tile; with the focus the list shows the selected row.
    g.listView(gadget::TilesList).selectRow(static_cast<int>(firstTile));
    g.listView(gadget::TilesList).setFocus();
}

}  // namespace

void HandleTileSetGadget(Editor& ed, int id) {
    switch (id) {
    case gadget::TileWidth:
    case gadget::TileHeight: tileSizeChanged(ed, id); break;
    case gadget::Problems: problemActivated(ed); break;
    default: break;
    }
}

}  // namespace marquetor::editor
