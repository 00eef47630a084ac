#pragma once
// The Textures tab: the folder browser, the preview, the textures list, and the texture
// choice box of the Tiles tab that follows every Add and Delete.

#include <string_view>

#include "editor/editor.h"

namespace marquetor::editor {

// Explorer list (19), textures list (16), Add (20), Delete (21), Export (22).
void HandleTexturesGadget(Editor& ed, int gadget);

// No picture in the texture preview (17), an empty file name label (18).
void ClearTexturePreview(Editor& ed);

// Empties and refills the textures list (16) and the texture choice box (26) with the
// texture names in the texture map's iteration order; nothing selected or chosen afterwards.
// Both read the names from the document as they are shown.
void RebuildTextureLists(Editor& ed);

// The text after the last "." that follows the last "/" or "\" of a name; empty when there
// is no such ".".
std::string_view FileExtension(std::string_view name);

// Whether a file may be imported as a texture: its extension is exactly "png", "jpg", "bmp"
// or "tga" (letter case counts).
bool HasTextureExtension(std::string_view name);

}  // namespace marquetor::editor
