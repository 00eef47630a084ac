#include "editor/texturestab.h"

#include <string>
#include <vector>

namespace marquetor::editor {

void HandleTexturesGadget(Editor& /*ed*/, int /*gadget*/) {
    // The tab's handlers join with the Textures tab; until then its gadgets only show.
}

void ClearTexturePreview(Editor& ed) {
    ed.gadgets().image(gadget::TexturePreview).setImage(nullptr);
    ed.gadgets().label(gadget::TextureFileName).setText("");
}

void RebuildTextureLists(Editor& ed) {
    std::vector<std::string> names = ed.doc.textures.names();
    ed.gadgets().listView(gadget::TexturesList).setRows(names);
    ed.gadgets().choiceBox(gadget::TileTexture).setItems(std::move(names));
}

}  // namespace marquetor::editor
