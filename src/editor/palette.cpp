#include "editor/palette.h"

#include "document/text.h"
#include "editor/cellsources.h"
#include "editor/command.h"
#include "editor/editor.h"
#include "editor/listsources.h"
#include "platform/cellgrid.h"

namespace marquetor::editor {

namespace {

constexpr int kTexturesTab = 2;
constexpr int kTilesTab = 3;
constexpr int kTilesPage = 0;
// Nothing chosen in a box of the bar: the tiles keep what they hold.
constexpr char kUnchanged[] = "(unchanged)";

platform::CellGrid& tileGrid(Editor& ed) { return platform::CellGridOf(ed.gadgets(), gadget::PaletteTiles); }
platform::CellGrid& textureGrid(Editor& ed) { return platform::CellGridOf(ed.gadgets(), gadget::PaletteTextures); }

void build(Editor& ed) {
    auto window = std::make_unique<platform::ToolWindow>(ed.queue, ed.gadgets());
    platform::ToolWindow& w = *window;
    w.create(ed.window, {kPaletteTitle, 720, ed.frame.windowHeight});
    w.beginRow();
    w.addLabel("Filter:");
    w.addFilterField(gadget::PaletteFilter, "ID, texture or material name (Ctrl+F)");
    w.endRow();
    w.addPages(gadget::PalettePages);
    w.addPage("Tiles");
    platform::CellGrid& tiles = w.addCellGrid(gadget::PaletteTiles);
    // The bar for the selected tiles, with boxes like the Tiles tab's; Delete apart from
    // Apply.
    w.beginRow();
    w.addLabel("Material:");
    platform::ChoiceBox& material = w.addChoiceBox(gadget::PaletteMaterial, kUnchanged, 130);
    w.addLabel("Layer:");
    w.addSpinBox(gadget::PaletteLayer, -1, 255, kUnchanged, 100);
    w.addLabel("Collision:");
    platform::ChoiceBox& collision = w.addChoiceBox(gadget::PaletteCollision, kUnchanged, 100);
    w.addStretch();
    w.endRow();
    w.beginRow();
    w.addButton(gadget::PaletteApply, "Apply to the selected tiles");
    w.addStretch();
    w.addButton(gadget::PaletteDelete, "Delete the selected tiles");
    w.endRow();
    w.addPage("Textures");
    platform::CellGrid& textures = w.addCellGrid(gadget::PaletteTextures);
    w.closePages();
    w.addTextLabel(gadget::PaletteStatus);

    tiles.setSource(std::make_unique<TileCells>(ed.doc()));
    textures.setSource(std::make_unique<TextureCells>(ed.doc()));
    // The Delete key in the tiles does what the bar's Delete does.
    tiles.setDeleteKeyGadget(gadget::PaletteDelete);
    material.setSource(std::make_unique<MaterialRows>(ed.doc()));
    for (const char* item : {"False", "True", "2", "3", "4", "5"}) collision.addItem(item);
    collision.setState(-1);
    ed.palette.window = std::move(window);
    ed.palette.tilesRow = -1;
    ed.palette.texturesRow = -1;
}

// As a click on the cell's row in the list of its tab (the Tiles or the Textures tab): the
// tab in front, the row selected and shown, and the row's handler loading the fields in a
// later cycle (a click on the row already selected reloads them too). `shownRow` keeps the
// row for the palette.
void showRow(Editor& ed, long long cell, int listId, int tab, long long& shownRow) {
    platform::Gadgets& g = ed.gadgets();
    platform::ListView& list = g.listView(listId);
    if (cell < 0 || cell >= list.rowCount()) return;
    g.panel(gadget::Panel).setState(tab);
    const bool already = list.selectedRow() == cell;
    list.selectRow(static_cast<int>(cell));
    // With the focus the list shows its selection once the main window is in front again.
    list.setFocus();
    if (already) ed.queue.push({platform::kEventGadget, 0, listId});
    shownRow = cell;
}

// A list's selected row framed in its page when it changed since the page last followed.
void follow(platform::CellGrid& grid, const platform::ListView& list, long long& followed) {
    const long long row = list.selectedRow();
    if (row == followed) return;
    followed = row;
    grid.setCurrentCell(row);
}

std::string countText(std::size_t n) { return document::NumberToText(static_cast<std::int64_t>(n)); }

// "1000 tiles", "12 of 1000 tiles, 3 selected", "... (filtering)".
std::string statusText(const platform::CellGrid& grid, const char* one, const char* many) {
    const std::size_t count = grid.cellCount();
    std::string text;
    if (!grid.filter().empty()) text = countText(grid.shownCount()) + " of ";
    text += countText(count) + " " + (count == 1 ? one : many);
    if (grid.selectedCount() > 0) text += ", " + countText(grid.selectedCount()) + " selected";
    if (grid.filtering()) text += " (filtering)";
    return text;
}

}  // namespace

void OpenPalette(Editor& ed) {
    if (!ed.palette.window) build(ed);
    UpdatePalette(ed);
    ed.palette.window->show(gadget::PaletteFilter);
}

void HandlePaletteGadget(Editor& ed, int id) {
    if (!ed.palette.window) return;
    switch (id) {
    case gadget::PaletteFilter: {
        // The field reports focus changes too; the grids pass over a text they hold already.
        const std::string text = ed.gadgets().textField(gadget::PaletteFilter).text();
        tileGrid(ed).setFilter(text);
        textureGrid(ed).setFilter(text);
        break;
    }
    case gadget::PaletteTiles:
        showRow(ed, tileGrid(ed).takeActivatedCell(), gadget::TilesList, kTilesTab, ed.palette.tilesRow);
        break;
    case gadget::PaletteTextures:
        showRow(ed, textureGrid(ed).takeActivatedCell(), gadget::TexturesList, kTexturesTab, ed.palette.texturesRow);
        break;
    default: break;
    }
}

void ShowInPalette(Editor& ed, unsigned parts) {
    if (!ed.palette.window) return;
    platform::CellGrid& tiles = tileGrid(ed);
    if (parts & part::Tiles) {
        tiles.rebuild();
        ed.palette.tilesRow = -1;
    } else if (parts & (part::TileValues | part::Materials | part::Textures)) {
        // Names, strips and pictures the tiles show may have changed; the tiles stayed.
        tiles.refreshCells();
    }
    if (parts & part::Textures) {
        textureGrid(ed).rebuild();
        ed.palette.texturesRow = -1;
    }
    if (parts & part::Materials) ed.gadgets().choiceBox(gadget::PaletteMaterial).rebuild();
}

void UpdatePalette(Editor& ed) {
    if (!ed.palette.window) return;
    platform::Gadgets& g = ed.gadgets();
    platform::CellGrid& tiles = tileGrid(ed);
    platform::CellGrid& textures = textureGrid(ed);
    follow(tiles, g.listView(gadget::TilesList), ed.palette.tilesRow);
    follow(textures, g.listView(gadget::TexturesList), ed.palette.texturesRow);

    const bool tilesPage = g.panel(gadget::PalettePages).state() == kTilesPage;
    const std::string status =
        tilesPage ? statusText(tiles, "tile", "tiles") : statusText(textures, "texture", "textures");
    platform::Label& line = g.label(gadget::PaletteStatus);
    if (line.text() != status) line.setText(status);
    const bool selected = tiles.selectedCount() > 0;
    g.button(gadget::PaletteApply).setEnabled(selected);
    g.button(gadget::PaletteDelete).setEnabled(selected);
}

}  // namespace marquetor::editor
