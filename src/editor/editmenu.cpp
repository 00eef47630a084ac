#include "editor/editmenu.h"

#include "editor/command.h"
#include "editor/refresh.h"

namespace marquetor::editor {

namespace {

enum Tab : int { TileSetTab = 0, MaterialsTab = 1, TexturesTab = 2, TilesTab = 3 };

// After an undo or redo of a step that changed these parts.
void showStep(Editor& ed, unsigned parts) {
    if ((parts & part::Everything) == 0) return;
    // No row is selected after a rebuild, so none is current either: the rows may have
    // moved, and Update or Delete must not act on a record the user cannot see chosen.
    if (parts & part::TileValues) parts |= part::Tiles;
    Refresh(ed, parts);
    int tab = TileSetTab;
    if (parts & part::Materials) {
        ed.currentMaterialRow = -1;
        tab = MaterialsTab;
    }
    if (parts & part::Textures) tab = TexturesTab;
    if (parts & part::Tiles) {
        ed.currentTileRow = -1;
        tab = TilesTab;
    }
    // A change of everything (New) is shown where New shows it.
    if ((parts & part::Everything) == part::Everything) tab = TileSetTab;
    ed.gadgets().panel(gadget::Panel).setState(tab);
}

}  // namespace

void UndoCommand(Editor& ed) { showStep(ed, ed.session.undo()); }

void RedoCommand(Editor& ed) { showStep(ed, ed.session.redo()); }

void UpdateEditMenu(Editor& ed) {
    const History& history = ed.session.history();
    if (ed.editMenuVersion == history.version()) return;
    ed.editMenuVersion = history.version();
    const std::string undo = history.undoName();
    const std::string redo = history.redoName();
    ed.window.setMenuItemText(menu::Undo, undo.empty() ? "Undo" : "Undo " + undo);
    ed.window.setMenuItemEnabled(menu::Undo, history.canUndo());
    ed.window.setMenuItemText(menu::Redo, redo.empty() ? "Redo" : "Redo " + redo);
    ed.window.setMenuItemEnabled(menu::Redo, history.canRedo());
}

}  // namespace marquetor::editor
