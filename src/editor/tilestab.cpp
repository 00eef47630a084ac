#include "editor/tilestab.h"

#include <vector>

#include "document/text.h"

namespace marquetor::editor {

void HandleTilesGadget(Editor& /*ed*/, int /*gadget*/) {
    // The tab's handlers join with the Tiles tab; until then its gadgets only show.
}

std::string TileRowText(const document::Tile& tile) {
    using document::NumberToText;
    return NumberToText(tile.id) + "\n" + tile.texture + "\n" + tile.material + "\n" + NumberToText(tile.layer) +
           "\n" + NumberToText(tile.collision);
}

void RebuildTilesList(Editor& ed) {
    std::vector<std::string> rows;
    const auto group = ed.doc.tileGroupIndex.find(1);
    if (group != ed.doc.tileGroupIndex.end()) {
        const auto& tiles = group->second->tiles;
        rows.reserve(tiles.size());
        for (const auto& tile : tiles.items()) rows.push_back(TileRowText(*tile));
    }
    ed.gadgets().listView(gadget::TilesList).setRows(std::move(rows));
}

void ResetTileEditors(Editor& ed) {
    platform::Gadgets& g = ed.gadgets();
    g.textField(gadget::TileId).setText("0");
    g.image(gadget::TilePreview).setImage(nullptr);
    g.spinBox(gadget::TileLayer).setValue(0);
    g.choiceBox(gadget::TileCollision).setState(0);
}

}  // namespace marquetor::editor
