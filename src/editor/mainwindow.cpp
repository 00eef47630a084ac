#include "editor/mainwindow.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>

#include "document/text.h"
#include "editor/command.h"
#include "editor/filecommands.h"
#include "editor/infopanel.h"
#include "editor/listsources.h"
#include "editor/recovery.h"
#include "editor/refresh.h"

namespace marquetor::editor {

// The banner PNG, embedded at build time.
extern const std::uint8_t kBannerPng[];
extern const std::size_t kBannerPngSize;
// The program's icon (resources/icons), embedded at build time in four sizes.
extern const std::uint8_t kIcon16Png[];
extern const std::size_t kIcon16PngSize;
extern const std::uint8_t kIcon32Png[];
extern const std::size_t kIcon32PngSize;
extern const std::uint8_t kIcon48Png[];
extern const std::size_t kIcon48PngSize;
extern const std::uint8_t kIcon256Png[];
extern const std::size_t kIcon256PngSize;

namespace {

using K = LayoutKind;

const platform::ListViewOptions kMaterialsListOptions{.gridLines = true, .fullRowSelect = true, .alwaysShowSelection = true};
const platform::ListViewOptions kTexturesListOptions{.gridLines = false, .fullRowSelect = false, .alwaysShowSelection = true};
const platform::ListViewOptions kTilesListOptions{.gridLines = true, .fullRowSelect = true, .alwaysShowSelection = false};

std::vector<LayoutTab> makeLayout() {
    using namespace gadget;
    return {
        {"TileSet",
         {
             {K::Frame, 0, {16, 16, 224, 48}, "Tile Width :"},
             {K::EditableChoice, TileWidth, {28, 36, 200, 20}},
             {K::Frame, 0, {260, 16, 224, 48}, "Tile Height:"},
             {K::EditableChoice, TileHeight, {272, 36, 200, 20}},
         }},
        {"Materials",
         {
             {K::ListView, MaterialsList, {16, 16, 208, 512}, {}, {{"Material", 128}, {"Color", 96}}, kMaterialsListOptions},
             {K::Frame, 0, {248, 16, 240, 48}, "Name:"},
             {K::TextField, MaterialName, {260, 36, 216, 20}},
             {K::Frame, 0, {248, 80, 240, 144}, "Color"},
             {K::Label, 0, {260, 100, 72, 20}, "R"},
             {K::DigitsField, Red, {260, 120, 72, 20}, "0"},
             {K::Label, 0, {332, 100, 72, 20}, "G"},
             {K::DigitsField, Green, {332, 120, 72, 20}, "0"},
             {K::Label, 0, {404, 100, 72, 20}, "B"},
             {K::DigitsField, Blue, {404, 120, 72, 20}, "0"},
             {K::Button, ColorButton, {260, 140, 216, 20}, "..."},
             {K::Image, ColorSwatch, {260, 160, 216, 54}},
             {K::Frame, 0, {248, 240, 240, 48}, "Description"},
             {K::TextField, Description, {260, 260, 216, 20}},
             {K::Button, MaterialAdd, {260, 536, 72, 30}, "Add"},
             {K::Button, MaterialUpdate, {332, 536, 72, 30}, "Update"},
             {K::Button, MaterialDelete, {404, 536, 72, 30}, "Delete"},
             {K::Button, MaterialSort, {16, 536, 208, 30}, "Sort"},
         }},
        {"Textures",
         {
             {K::Explorer, Explorer, {16, 16, 208, 512}, kTextureFolder},
             {K::Frame, 0, {290, 16, 160, 192}, "Preview"},
             {K::SunkenImage, TexturePreview, {306, 44, 128, 128}},
             {K::TextLabel, TextureFileName, {306, 180, 128, 20}},
             {K::ListView, TexturesList, {248, 272, 240, 256}, {}, {{"Textures", 210}}, kTexturesListOptions},
             {K::Button, TextureAdd, {260, 536, 72, 30}, "Add"},
             {K::Button, TextureDelete, {332, 536, 72, 30}, "Delete"},
             {K::Button, TextureExport, {404, 536, 72, 30}, "Export"},
         }},
        {"Tiles",
         {
             {K::ListView, TilesList, {16, 16, 208, 512}, {},
              {{"ID", 32}, {"Texture", 128}, {"Material", 64}, {"Layer", 48}, {"Collision", 64}}, kTilesListOptions},
             {K::Frame, 0, {248, 16, 240, 48}, "ID:"},
             {K::DigitsField, TileId, {260, 36, 216, 20}},
             {K::Frame, 0, {248, 80, 240, 192}, "Texture"},
             {K::SunkenImage, TilePreview, {306, 108, 128, 128}},
             {K::Choice, TileTexture, {306, 238, 128, 20}},
             {K::Frame, 0, {248, 288, 240, 48}, "Material:"},
             {K::Choice, TileMaterial, {260, 308, 216, 20}},
             {K::Frame, 0, {248, 352, 240, 48}, "Layer:"},
             {K::Spin, TileLayer, {260, 372, 216, 20}},
             {K::Frame, 0, {248, 416, 240, 48}, "Collision:"},
             {K::Choice, TileCollision, {260, 436, 216, 20}},
             {K::Button, TileAdd, {260, 536, 72, 30}, "Add"},
             {K::Button, TileUpdate, {332, 536, 72, 30}, "Update"},
             {K::Button, TileDelete, {404, 536, 72, 30}, "Delete"},
             {K::Button, TileSort, {16, 536, 208, 30}, "Sort"},
         }},
    };
}

void createGadget(Editor& ed, const LayoutRow& row) {
    platform::Window& w = ed.window;
    switch (row.kind) {
    case K::Frame: w.createFrame(row.rect, row.text); break;
    case K::Label: w.createLabel(row.rect, row.text); break;
    case K::TextField: w.createTextField(row.id, row.rect, row.text); break;
    case K::DigitsField: w.createTextField(row.id, row.rect, row.text, true); break;
    case K::TextLabel: w.createTextLabel(row.id, row.rect, row.text, true); break;
    case K::ListView: w.createListView(row.id, row.rect, row.columns, row.options); break;
    case K::Explorer: w.createExplorerList(row.id, row.rect, row.text); break;
    case K::EditableChoice: w.createEditableChoiceBox(row.id, row.rect); break;
    case K::Choice: w.createChoiceBox(row.id, row.rect); break;
    case K::Spin: w.createSpinBox(row.id, row.rect, 0, 255); break;
    case K::Image: w.createImageGadget(row.id, row.rect, false); break;
    case K::SunkenImage: w.createImageGadget(row.id, row.rect, true); break;
    case K::Button: w.createButton(row.id, row.rect, row.text); break;
    }
}

// Values the gadgets start with beyond their creation text.
void setInitialValues(Editor& ed) {
    platform::Gadgets& g = ed.gadgets();
    for (int box : {gadget::TileWidth, gadget::TileHeight}) {
        auto& b = g.editableChoiceBox(box);
        for (const std::string& item : TileSizeItems()) b.addItem(item);
        b.setText("64");
    }
    g.image(gadget::ColorSwatch).setImage(&ed.swatch);
    // The three lists and two choice boxes read their rows from the document as they are
    // shown; each change rebuilds them by reading the counts again.
    g.listView(gadget::MaterialsList).setSource(std::make_unique<MaterialRows>(ed.doc()));
    g.choiceBox(gadget::TileMaterial).setSource(std::make_unique<MaterialRows>(ed.doc()));
    g.listView(gadget::TexturesList).setSource(std::make_unique<TextureRows>(ed.doc()));
    g.choiceBox(gadget::TileTexture).setSource(std::make_unique<TextureRows>(ed.doc()));
    g.listView(gadget::TilesList).setSource(std::make_unique<TileRows>(ed.doc()));
    Refresh(ed, part::Materials);   // the document is empty here, so both stay empty
    // Delete in a list does what its tab's Delete button does.
    g.listView(gadget::MaterialsList).setDeleteKeyGadget(gadget::MaterialDelete);
    g.listView(gadget::TexturesList).setDeleteKeyGadget(gadget::TextureDelete);
    g.listView(gadget::TilesList).setDeleteKeyGadget(gadget::TileDelete);
    g.spinBox(gadget::TileLayer).setValue(0);
    auto& collision = g.choiceBox(gadget::TileCollision);
    for (const char* item : {"False", "True", "2", "3", "4", "5"}) collision.addItem(item);
    collision.setState(0);
    g.textField(gadget::TileId).setText("0");
}

void buildMenu(platform::Window& w) {
    // "&" gives each title its Alt key; the titles read "File", "Edit" and "View".
    w.addMenuTitle("&File");
    w.addMenuItem(menu::New, "New", "Ctrl+N");
    w.addMenuSeparator();
    w.addMenuItem(menu::Save, "Save...", "Ctrl+S");
    w.addMenuItem(menu::Open, "Open...", "Ctrl+O");
    w.addMenuSeparator();
    w.addMenuItem(menu::Close, "Close", "Ctrl+Q");
    w.addMenuTitle("&Edit");
    w.addMenuItem(menu::Undo, "Undo", "Ctrl+Z");
    w.addMenuItem(menu::Redo, "Redo", "Ctrl+Shift+Z; Ctrl+Y");
    w.addMenuTitle("&View");
    w.addMenuItem(menu::Palette, kPaletteTitle, kPaletteShortcut);
}

// The window shows the same icon as the desktop's menus; the title bar and client area
// stay as they are.
void setWindowIcon(platform::Window& window) {
    const std::span<const std::uint8_t> pngs[] = {
        {kIcon16Png, kIcon16PngSize},
        {kIcon32Png, kIcon32PngSize},
        {kIcon48Png, kIcon48PngSize},
        {kIcon256Png, kIcon256PngSize},
    };
    std::vector<platform::Image> sizes(std::size(pngs));
    for (std::size_t i = 0; i < sizes.size(); ++i) sizes[i].loadPng(pngs[i]);
    window.setIcon(sizes);
}

}  // namespace

std::vector<std::string> TileSizeItems() {
    std::vector<std::string> items;
    for (int n = 2; n <= 16; ++n) items.push_back(document::NumberToText(16 * n));
    return items;
}

const std::vector<LayoutTab>& LayoutTabs() {
    static const std::vector<LayoutTab> layout = makeLayout();
    return layout;
}

bool StartEditor(Editor& ed, std::string_view firstArgument, const StartupFileReport& report) {
    // 1. Everything starts from zero: an empty document (tile size 64 x 64, its one tile
    // group) with nothing to undo, belonging to no file; no rows, no path.
    ed.session.startFresh();
    ed.currentMaterialRow = 0;
    ed.currentTileRow = 0;
    ed.chosenPath.clear();
    ed.queue.clear();

    // 2. The image decoders (PNG, JPEG, BMP, TGA) need no enabling: they are always linked in.

    // 3. The frame's settings.
    ed.frame = AppFrame{};

    // 4. The main window.
    platform::WindowSettings settings;
    settings.title = ed.frame.title;
    settings.clientWidth = ed.frame.windowWidth;
    settings.clientHeight = ed.frame.windowHeight;
    if (!ed.window.open(settings)) {
        ed.dialogs.message("ERROR!!", "OpenWindow are failed!");
        return false;
    }
    setWindowIcon(ed.window);

    // 5. The tile size the boxes will show: the fresh document's (step 1).

    // 6. The colour swatch's picture, black.
    ed.swatch.create(kSwatchWidth, kSwatchHeight);

    // 7. The menu.
    buildMenu(ed.window);

    // 8. The banner.
    ed.banner.loadPng(std::span<const std::uint8_t>(kBannerPng, kBannerPngSize));
    ed.window.createImage(kBannerRect, &ed.banner);

    // 9. The panel, its tabs and their gadgets, in the order of the layout.
    ed.window.createPanel(gadget::Panel, kPanelRect);
    for (const LayoutTab& tab : LayoutTabs()) {
        ed.window.addTab(tab.title);
        for (const LayoutRow& row : tab.rows) createGadget(ed, row);
        // What the editor holds, in the free space below the tile-size frames.
        if (&tab == &LayoutTabs().front()) CreateInfoPanel(ed);
    }
    ed.window.closeGadgetList();
    setInitialValues(ed);

    // 10. No current rows.
    ed.currentMaterialRow = -1;
    ed.currentTileRow = -1;

    // 11. The one tile group every tile belongs to: the fresh document's (step 1).

    // 12. The tile set named on the command line. Opened, it counts as unchanged with
    // nothing to undo, as the fresh document does. Unsaved changes of an editor that did
    // not end normally come first: taken back, they are the document instead.
    if (OfferRecovery(ed)) return true;
    OpenStartupFile(ed, firstArgument, report);
    return true;
}

}  // namespace marquetor::editor
