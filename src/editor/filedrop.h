#pragma once
// Files dropped on the window (the event kDropFiles): a tile set is opened as File >
// Open... would open it; image files dropped on the Textures tab are imported.

#include "editor/editor.h"

namespace marquetor::editor {

void HandleFileDrop(Editor& ed);

}  // namespace marquetor::editor
