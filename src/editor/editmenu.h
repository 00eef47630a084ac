#pragma once
// The "Edit" menu: Undo (item 5) and Redo (item 6), each naming the step it acts on and
// greyed when there is none.

#include "editor/editor.h"

namespace marquetor::editor {

// Undo or redo the next step, then show the tab that holds the change, its lists rebuilt
// with no row selected and no row current (the rows may have moved); the edit fields keep
// what they hold. Nothing happens when there is nothing to do.
void UndoCommand(Editor& ed);
void RedoCommand(Editor& ed);

// Once a cycle: the items' texts ("Undo Delete Tile 12") and whether they can be chosen.
void UpdateEditMenu(Editor& ed);

}  // namespace marquetor::editor
