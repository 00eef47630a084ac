#pragma once
// The Textures tab's changes as commands (command.h): Add (one file, or all the files of a
// drop) and Delete.

#include <memory>
#include <string>
#include <vector>

#include "document/tileset.h"
#include "editor/command.h"

namespace marquetor::editor {

// Add: textures read from their files (document::ReadTextureFile), entered in this order,
// each as the newest of its bucket. Refused (no step) when a name is present. "Add Texture
// grass.png", or "Add 3 Textures".
std::unique_ptr<Command> ImportTextures(std::vector<std::unique_ptr<document::Texture>> textures);
// Delete: the texture of this name goes, bytes and all; tiles naming it keep the name.
// "Delete Texture grass.png".
std::unique_ptr<Command> RemoveTexture(std::string name);

}  // namespace marquetor::editor
