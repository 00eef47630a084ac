#include "editor/refresh.h"

#include "document/text.h"
#include "editor/command.h"
#include "editor/infopanel.h"

namespace marquetor::editor {

namespace {

enum Tab : int { TileSetTab = 0 };

void setTileSizeBoxes(Editor& ed) {
    platform::Gadgets& g = ed.gadgets();
    // The boxes report their new text; the document already holds that value, so their
    // handlers change nothing.
    g.editableChoiceBox(gadget::TileWidth).setText(document::NumberToText(ed.doc().tileWidth));
    g.editableChoiceBox(gadget::TileHeight).setText(document::NumberToText(ed.doc().tileHeight));
}

bool boxShows(Editor& ed, int box, std::int32_t value) {
    return document::TextToInt32(ed.gadgets().editableChoiceBox(box).text()) == value;
}

void showTileSize(Editor& ed) {
    if (boxShows(ed, gadget::TileWidth, ed.doc().tileWidth) && boxShows(ed, gadget::TileHeight, ed.doc().tileHeight))
        return;
    setTileSizeBoxes(ed);
}

void rebuildMaterialLists(Editor& ed) {
    ed.gadgets().listView(gadget::MaterialsList).rebuild();
    ed.gadgets().choiceBox(gadget::TileMaterial).rebuild();
}

void rebuildTextureLists(Editor& ed) {
    ed.gadgets().listView(gadget::TexturesList).rebuild();
    ed.gadgets().choiceBox(gadget::TileTexture).rebuild();
}

void rebuildTilesList(Editor& ed) { ed.gadgets().listView(gadget::TilesList).rebuild(); }

// The edit buffer as at start-up: empty name, "0" in R, G and B, a black swatch, empty
// description.
void resetMaterialFields(Editor& ed) {
    platform::Gadgets& g = ed.gadgets();
    g.textField(gadget::MaterialName).setText("");
    g.textField(gadget::Red).setText("0");
    g.textField(gadget::Green).setText("0");
    g.textField(gadget::Blue).setText("0");
    PaintSwatch(ed, 0);
    g.textField(gadget::Description).setText("");
}

// The tile editors as at start-up: ID "0", no preview, layer 0, collision "False".
void resetTileEditors(Editor& ed) {
    platform::Gadgets& g = ed.gadgets();
    g.textField(gadget::TileId).setText("0");
    g.image(gadget::TilePreview).setImage(nullptr);
    g.spinBox(gadget::TileLayer).setValue(0);
    g.choiceBox(gadget::TileCollision).setState(0);
}

}  // namespace

void Refresh(Editor& ed, unsigned parts, int tileRow) {
    if (parts & part::TileSize) showTileSize(ed);
    if (parts & part::Materials) rebuildMaterialLists(ed);
    if (parts & part::Textures) rebuildTextureLists(ed);
    if (parts & part::Tiles) {
        rebuildTilesList(ed);
    } else if (parts & part::TileValues) {
        platform::ListView& tiles = ed.gadgets().listView(gadget::TilesList);
        if (tileRow >= 0) tiles.refreshRow(tileRow);
        else tiles.refreshRows();
    }
}

void RefreshGadgets(Editor& ed) {
    platform::Gadgets& g = ed.gadgets();
    // 1. The TileSet tab in front.
    g.panel(gadget::Panel).setState(TileSetTab);
    // 2. The tile size.
    setTileSizeBoxes(ed);
    // 3, 4. The materials list and the material choice box.
    rebuildMaterialLists(ed);
    // 5. The materials' edit fields and the swatch.
    resetMaterialFields(ed);
    // 6. The texture preview.
    ClearTexturePreview(ed);
    // 7, 8. The textures list and the texture choice box.
    rebuildTextureLists(ed);
    // 9, 10. The tiles of the tile group.
    rebuildTilesList(ed);
    // 11. The tiles' editors.
    resetTileEditors(ed);
    // 12. No current rows.
    ed.currentMaterialRow = -1;
    ed.currentTileRow = -1;
    // The TileSet tab's account looks at the whole document again.
    ResetInfoPanel(ed);
}

void PaintSwatch(Editor& ed, std::int32_t color) {
    ed.swatch.fill(color);
    ed.gadgets().image(gadget::ColorSwatch).setImage(&ed.swatch);
}

void ClearTexturePreview(Editor& ed) {
    ed.gadgets().image(gadget::TexturePreview).setImage(nullptr);
    ed.gadgets().label(gadget::TextureFileName).setText("");
}

}  // namespace marquetor::editor
