#include "editor/filedrop.h"

#include "editor/filecommands.h"
#include "editor/texturestab.h"

namespace marquetor::editor {

namespace {

constexpr int kTexturesTab = 2;

}  // namespace

void HandleFileDrop(Editor& ed) {
    const platform::DroppedFiles drop = ed.window.takeDroppedFiles();
    if (drop.paths.empty()) return;
    // A tile set among the files wins: the first one (a .mrqt file, or a Tiled tileset to
    // import) is opened and the rest is left alone.
    for (const std::string& path : drop.paths) {
        if (HasTileSetEnding(path)) {
            OpenTileSetFile(ed, path);
            return;
        }
        if (HasTiledEnding(path)) {
            ImportTiledFile(ed, path);
            return;
        }
    }
    // Pictures go in only where the Textures tab is: dropped on its page while it is shown
    // (the banner and the menu bar are no part of it).
    if (ed.gadgets().panel(gadget::Panel).state() != kTexturesTab || drop.gadget == 0) return;
    ImportTextureFiles(ed, drop.paths);
}

}  // namespace marquetor::editor
