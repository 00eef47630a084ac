#include "editor/tilestab.h"

#include <algorithm>
#include <vector>

#include "document/restore.h"
#include "document/text.h"
#include "editor/refresh.h"
#include "editor/tilecommands.h"

namespace marquetor::editor {

namespace {

using document::NumberToText;
using document::Tile;
using document::TileGroup;

// Every tile of this tab belongs to the one tile group.
const TileGroup* tileGroup(const Editor& ed) { return document::LookUpTileGroup(ed.doc(), document::kTileGroup); }

// The tile shown in a row of the tiles list, or null when the row is none or out of reach.
const Tile* tileAtRow(const Editor& ed, int row) {
    const TileGroup* group = tileGroup(ed);
    if (group == nullptr || row < 0 || static_cast<std::size_t>(row) >= group->tiles.size()) return nullptr;
    return &group->tiles.at(static_cast<std::size_t>(row));
}

// Decodes a stored texture into the scratch image and shows it, 128 x 128, in the tile
// preview. Bytes that do not decode (or none at all) leave the preview empty.
void showTexture(Editor& ed, const document::Texture& texture) {
    ed.scratch.decode(texture.data(), kPreviewSize);
    ed.scratch.scale(kPreviewSize, kPreviewSize);
    ed.gadgets().image(gadget::TilePreview).setImage(&ed.scratch);
}

// Chooses the entry that names a texture or material. Names are case-sensitive keys, so an
// entry with exactly these bytes wins over one that only matches ignoring case ("Grass" and
// "grass" are two materials, and Update must not swap one for the other). Without an exact
// entry the box chooses as its setText does: the first match ignoring case, else no change.
void chooseName(platform::ChoiceBox& box, std::string_view name) {
    if (!box.chooseExactly(name)) box.setText(name);
}

// The collision choice for a stored collision value: its entry, or no entry for a value the
// box does not offer (a tile from a file).
int collisionEntry(std::int16_t collision, const platform::ChoiceBox& box) {
    return collision >= 0 && collision < box.count() ? collision : -1;
}

// Gadget 23: the selected row becomes the current tile row and loads the editors.
void selectTile(Editor& ed) {
    platform::Gadgets& g = ed.gadgets();
    ed.currentTileRow = g.listView(gadget::TilesList).selectedRow();
    if (ed.currentTileRow == -1) return;   // the editors keep what they hold
    const Tile* tile = tileAtRow(ed, ed.currentTileRow);
    if (tile == nullptr) return;

    g.textField(gadget::TileId).setText(NumberToText(tile->id));
    if (const document::Texture* texture = document::FindTexture(ed.doc(), tile->texture)) {
        showTexture(ed, *texture);
    } else {
        g.image(gadget::TilePreview).setImage(nullptr);
    }
    // A name the box does not offer leaves its choice as it was.
    chooseName(g.choiceBox(gadget::TileTexture), tile->texture);
    chooseName(g.choiceBox(gadget::TileMaterial), tile->material);
    // A layer outside 0..255 shows as the nearest value the spin box allows.
    g.spinBox(gadget::TileLayer).setValue(tile->layer);
    platform::ChoiceBox& collision = g.choiceBox(gadget::TileCollision);
    collision.setState(collisionEntry(tile->collision, collision));
}

// Gadget 26: the chosen texture in the preview; no tile changes.
void chooseTexture(Editor& ed) {
    const std::string name = ed.gadgets().choiceBox(gadget::TileTexture).text();
    if (name.empty()) return;
    const document::Texture* texture = document::FindTexture(ed.doc(), name);
    if (texture == nullptr) return;   // the preview keeps what it shows
    showTexture(ed, *texture);
}

// Gadget 30: a new tile from the editors, behind the current row (at the end when none).
void addTile(Editor& ed) {
    platform::Gadgets& g = ed.gadgets();
    const std::int32_t id = document::TextToInt32(g.textField(gadget::TileId).text());
    if (id == 0) {
        ed.message("The ID is invalid or already exists!");
        return;
    }
    const std::string texture = g.choiceBox(gadget::TileTexture).text();
    if (texture.empty()) {
        ed.message("No texture selected!");
        return;
    }
    const std::string material = g.choiceBox(gadget::TileMaterial).text();
    if (material.empty()) {
        ed.message("No material selected!");
        return;
    }
    const TileGroup* group = tileGroup(ed);
    if (group == nullptr) return;   // the tile group lives from start-up to the end

    const int oldRow = ed.currentTileRow;
    const bool behindCurrent = oldRow >= 0 && static_cast<std::size_t>(oldRow) < group->tiles.size();
    const auto layer = static_cast<std::int16_t>(g.spinBox(gadget::TileLayer).value());
    // No collision entry is chosen only after a tile from a file with a class the box does
    // not offer was selected; the new tile then takes "False" rather than a class of -1.
    const int collisionChoice = g.choiceBox(gadget::TileCollision).state();
    const auto collision = static_cast<std::int16_t>(collisionChoice < 0 ? 0 : collisionChoice);
    if (group->tileIndex.count(id) != 0) {
        ed.message("The ID already exists!");
        return;
    }
    const int newRow = behindCurrent ? oldRow + 1 : static_cast<int>(group->tiles.size());
    const NewTile tile{id, texture, material, layer, collision};
    Refresh(ed, ed.session.run(InsertTile(tile, static_cast<std::size_t>(newRow))));
    // The new tile is current but not selected: Update and Delete act on it, and the next
    // Add goes behind it.
    ed.currentTileRow = newRow;
    // In 64 bits, so 2147483647 is followed by "2147483648" and -1 by "0".
    g.textField(gadget::TileId).setText(NumberToText(static_cast<std::int64_t>(id) + 1));
}

// Gadget 31: the editors into the current tile, and its row rewritten in place. The ID
// field is not read: a tile keeps its ID.
void updateTile(Editor& ed) {
    if (ed.currentTileRow == -1) return;
    const Tile* tile = tileAtRow(ed, ed.currentTileRow);
    if (tile == nullptr) return;
    platform::Gadgets& g = ed.gadgets();
    document::TileValues values = document::ValuesOf(*tile);

    // An empty choice keeps what the tile names.
    const std::string texture = g.choiceBox(gadget::TileTexture).text();
    if (!texture.empty()) values.texture = texture;
    const std::string material = g.choiceBox(gadget::TileMaterial).text();
    if (!material.empty()) values.material = material;
    values.layer = static_cast<std::int16_t>(g.spinBox(gadget::TileLayer).value());
    // Likewise no collision entry chosen (a class from a file the box does not offer) keeps
    // the tile's class rather than storing -1.
    const int collision = g.choiceBox(gadget::TileCollision).state();
    if (collision >= 0) values.collision = static_cast<std::int16_t>(collision);
    // An Update that leaves the tile as it was is no change (and no step).
    ed.session.run(EditTile(static_cast<std::size_t>(ed.currentTileRow), std::move(values)));

    // The row's cells (ID, texture, material, layer, collision) are written again from the
    // tile either way; the list is not rebuilt, so its selection stays.
    Refresh(ed, part::TileValues, ed.currentTileRow);
}

// Gadget 32: removes the current tile; the row above becomes current and selected, and its
// selection event loads the editors in a later cycle.
void deleteTile(Editor& ed) {
    if (ed.currentTileRow == -1) return;
    if (tileAtRow(ed, ed.currentTileRow) == nullptr) return;
    // Removed as DeleteTile removes it (the ID's one tile, the cursor to the one before),
    // but kept by the history so that Undo puts the same record back.
    Refresh(ed, ed.session.run(RemoveTile(static_cast<std::size_t>(ed.currentTileRow))));
    ed.currentTileRow -= 1;
    ed.gadgets().listView(gadget::TilesList).selectRow(ed.currentTileRow);
}

// Gadget 33: the tiles by signed ID, in place; no row current afterwards.
void sortTiles(Editor& ed) {
    const TileGroup* group = tileGroup(ed);
    if (group == nullptr) return;
    std::vector<Tile*> sorted = document::SortedTileOrder(*group);
    // A list already in order is no change; otherwise the old order is kept as pointers.
    const auto& items = group->tiles.items();
    const bool moves = !std::equal(sorted.begin(), sorted.end(), items.begin(), items.end(),
                                   [](const Tile* a, const auto& b) { return a == b.get(); });
    if (moves) ed.session.run(SortTileList(std::move(sorted)));
    // Rebuilt either way.
    Refresh(ed, part::Tiles);
    ed.currentTileRow = -1;
}

}  // namespace

void HandleTilesGadget(Editor& ed, int id) {
    switch (id) {
    case gadget::TilesList: selectTile(ed); break;
    case gadget::TileTexture: chooseTexture(ed); break;
    case gadget::TileAdd: addTile(ed); break;
    case gadget::TileUpdate: updateTile(ed); break;
    case gadget::TileDelete: deleteTile(ed); break;
    case gadget::TileSort: sortTiles(ed); break;
    default: break;
    }
}

}  // namespace marquetor::editor
