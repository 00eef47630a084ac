#include "editor/editmenu.h"

#include "document/text.h"
#include "editor/materialstab.h"
#include "editor/texturestab.h"
#include "editor/tilestab.h"

namespace marquetor::editor {

namespace {

enum Tab : int { TileSetTab = 0, MaterialsTab = 1, TexturesTab = 2, TilesTab = 3 };

void showTileSize(Editor& ed) {
    platform::Gadgets& g = ed.gadgets();
    // The boxes report their new text; the document already holds that value, so their
    // handlers change nothing.
    g.editableChoiceBox(gadget::TileWidth).setText(document::NumberToText(ed.doc.tileWidth));
    g.editableChoiceBox(gadget::TileHeight).setText(document::NumberToText(ed.doc.tileHeight));
}

// No row is selected after a rebuild, so none is current either: the rows may have moved,
// and Update or Delete must not act on a record the user cannot see chosen.
void showMaterials(Editor& ed) {
    RebuildMaterialLists(ed);
    ed.currentMaterialRow = -1;
}

void showTiles(Editor& ed) {
    RebuildTilesList(ed);
    ed.currentTileRow = -1;
}

}  // namespace

void ShowChangedParts(Editor& ed, unsigned parts) {
    if (parts == 0) return;
    int tab = TileSetTab;
    if (parts & part::TileSize) showTileSize(ed);
    if (parts & part::Materials) {
        showMaterials(ed);
        tab = MaterialsTab;
    }
    if (parts & part::Textures) {
        RebuildTextureLists(ed);
        tab = TexturesTab;
    }
    if (parts & part::Tiles) {
        showTiles(ed);
        tab = TilesTab;
    }
    // A change of everything (New) is shown where New shows it.
    if (parts == part::Everything) tab = TileSetTab;
    ed.gadgets().panel(gadget::Panel).setState(tab);
}

void UndoCommand(Editor& ed) { ShowChangedParts(ed, ed.history.undo(ed)); }

void RedoCommand(Editor& ed) { ShowChangedParts(ed, ed.history.redo(ed)); }

void UpdateEditMenu(Editor& ed) {
    if (ed.editMenuVersion == ed.history.version()) return;
    ed.editMenuVersion = ed.history.version();
    const std::string undo = ed.history.undoName();
    const std::string redo = ed.history.redoName();
    ed.window.setMenuItemText(menu::Undo, undo.empty() ? "Undo" : "Undo " + undo);
    ed.window.setMenuItemEnabled(menu::Undo, ed.history.canUndo());
    ed.window.setMenuItemText(menu::Redo, redo.empty() ? "Redo" : "Redo " + redo);
    ed.window.setMenuItemEnabled(menu::Redo, ed.history.canRedo());
}

}  // namespace marquetor::editor
