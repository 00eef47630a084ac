#pragma once
// The Textures tab: the folder browser, the preview, the textures list, and the texture
// choice box of the Tiles tab that follows every Add and Delete.

#include <string>
#include <string_view>
#include <vector>

#include "editor/editor.h"

namespace marquetor::editor {

// Explorer list (19), textures list (16), Add (20), Delete (21), Export (22).
void HandleTexturesGadget(Editor& ed, int gadget);

// Files given by path, each imported as if it were selected in the explorer list and Add
// were pressed (the same checks and messages, one for each file refused); the imported ones
// are one step of the history.
void ImportTextureFiles(Editor& ed, const std::vector<std::string>& paths);

// The rule of which files may be imported (shared with mrqt check).
using document::FileExtension;
using document::HasTextureExtension;

}  // namespace marquetor::editor
