// The tile palette: View > Tile Palette, its cells in the lists' order, the link with the
// Tiles and Textures tabs both ways, the filter, the zoom, the tooltips, the selection
// gestures, the pictures, and every change of the document shown in the same cycle.

#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QHelpEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>

#include <string>
#include <vector>

#include "document/text.h"
#include "editor/eventloop.h"
#include "editor/palette.h"
#include "editor/refresh.h"
#include "fixture.h"
#include "platform/cellgrid.h"
#include "platform/problemlist.h"
#include "sampletileset.h"
#include "testpicture.h"
#include "tilesetfile/format.h"

using namespace editor::gadget;

namespace {

class PaletteTest : public EditorFixture {
protected:
    void loadSample() { load(SampleTileSet()); }
    void load(document::TileSet set) {
        ed->session.documentToChange() = std::move(set);
        editor::RefreshGadgets(*ed);
        settle();
    }
    QAction* menuItem(const char* title, const char* item) {
        auto* bar = window()->findChild<QMenuBar*>();
        if (bar == nullptr) return nullptr;
        for (QAction* t : bar->actions())
            if (t->menu() != nullptr && t->text().remove('&') == QLatin1String(title))
                for (QAction* a : t->menu()->actions())
                    if (a->text().remove('&') == QLatin1String(item)) return a;
        return nullptr;
    }
    void openPalette() {
        QAction* item = menuItem("View", "Tile Palette");
        ASSERT_NE(item, nullptr);
        item->trigger();
        settle();
        ASSERT_TRUE(ed->palette.window && ed->palette.window->isVisible());
    }
    QWidget* paletteWindow() { return ed->palette.window ? ed->palette.window->widget() : nullptr; }
    platform::CellGrid& grid(int id) { return platform::CellGridOf(g(), id); }
    platform::CellGrid& tiles() { return grid(PaletteTiles); }
    platform::CellGrid& textures() { return grid(PaletteTextures); }
    QWidget* viewport(int id) { return qobject_cast<QAbstractScrollArea*>(widgetOf(id))->viewport(); }
    QPoint centre(int id, std::size_t position) {
        const platform::Rect r = grid(id).cellRect(position);
        return QPoint(r.x + r.width / 2, r.y + r.height / 2);
    }
    void clickCell(int id, std::size_t position, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::mouseClick(viewport(id), Qt::LeftButton, modifiers, centre(id, position));
        settle();
    }
    // A left-button drag from one point of the grid to another, through a few moves.
    void drag(int id, QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* area = viewport(id);
        QTest::mousePress(area, Qt::LeftButton, modifiers, from);
        for (int step = 1; step <= 4; ++step) {
            const QPointF at = from + (to - from) * step / 4.0;
            QMouseEvent move(QEvent::MouseMove, at, area->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, modifiers);
            QApplication::sendEvent(area, &move);
        }
        QTest::mouseRelease(area, Qt::LeftButton, modifiers, to);
        settle();
    }
    std::string tooltipOf(int id, std::size_t position) {
        const QPoint at = centre(id, position);
        QHelpEvent help(QEvent::ToolTip, at, viewport(id)->mapToGlobal(at));
        QApplication::sendEvent(viewport(id), &help);
        return QToolTip::text().toStdString();
    }
    void key(QWidget* to, Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(to, k, modifiers);
        settle();
    }
    // Undo (0) or Redo (1) from the Edit menu.
    void editItem(int index) {
        auto* bar = window()->findChild<QMenuBar*>();
        bar->actions().at(1)->menu()->actions().at(index)->trigger();
        settle();
    }
    // The text of Undo (0) or Redo (1) in the Edit menu as shown.
    std::string editText(int index) {
        auto* bar = window()->findChild<QMenuBar*>();
        return bar->actions().at(1)->menu()->actions().at(index)->text().remove('&').toStdString();
    }
    const document::Tile& tileAt(std::size_t row) {
        return document::LookUpTileGroup(ed->doc(), document::kTileGroup)->tiles.at(row);
    }
    // A file dragged from a file manager and dropped on a widget of the main window.
    void dropFile(QWidget* target, const std::filesystem::path& file) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(file.string()))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        settle();
    }
    void showPage(int page) {
        auto* pages = qobject_cast<QTabWidget*>(widgetOf(PalettePages));
        QTest::mouseClick(pages->tabBar(), Qt::LeftButton, Qt::NoModifier, pages->tabBar()->tabRect(page).center());
        settle();
    }
    // Cycles until the filters' scans and the pictures asked for are done.
    void settleAll() {
        for (int i = 0; i < 1000; ++i) {
            settle();
            if (!tiles().filtering() && !textures().filtering() && tiles().picturesPending() == 0) return;
            QTest::qWait(5);
        }
        ADD_FAILURE() << "the palette did not come to rest";
    }
    std::vector<long long> shownCells(int id) {
        std::vector<long long> cells;
        for (std::size_t p = 0; p < grid(id).shownCount(); ++p) cells.push_back(grid(id).shownCell(p));
        return cells;
    }
    QColor pictureColour(int id, std::size_t position) {
        const platform::Rect r = grid(id).cellRect(position);
        const QImage shot = viewport(id)->grab().toImage();
        return shot.pixelColor(r.x + r.width / 2, r.y + 4 + grid(id).cellSize() / 2);
    }
    // A set of n tiles (IDs 1..n) naming textures t0.png .. t9.png (pictures of one colour)
    // and materials m0 .. m9.
    static document::TileSet manyTiles(int n) {
        document::TileSet set;
        set.tileWidth = set.tileHeight = 64;
        document::AddTileGroup(set, 1);
        for (int t = 0; t < 10; ++t)
            PutSampleTexture(set, "t" + std::to_string(t) + ".png", PngOfColour(QColor(25 * t, 100, 200)));
        for (int m = 0; m < 10; ++m) {
            set.materials.moveToLast();
            document::AddMaterial(set, "m" + std::to_string(m), document::MakeColor(20 * m, 0, 0), "");
        }
        document::TileGroup* group = document::FindTileGroup(set, 1);
        for (int id = 1; id <= n; ++id) {
            group->tiles.moveToLast();
            document::AddTile(*group, id, "t" + std::to_string(id % 10) + ".png", "m" + std::to_string(id % 10), 0, 0);
        }
        return set;
    }
};

}  // namespace

TEST_F(PaletteTest, ViewMenuOpensThePaletteBesideTheMainWindowOnceAndClosingItLeavesTheEditorRunning) {
    auto* bar = window()->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    QAction* view = bar->actions().at(2);
    EXPECT_EQ(view->text().toStdString(), "&View");   // Alt+V
    QAction* item = menuItem("View", "Tile Palette");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->shortcut().toString(QKeySequence::PortableText).toStdString(), "Ctrl+T");
    EXPECT_FALSE(ed->palette.window);   // nothing is made before it is asked for

    openPalette();
    QPointer<QWidget> palette = paletteWindow();
    ASSERT_NE(palette, nullptr);
    EXPECT_NE(palette.data(), window());
    EXPECT_TRUE(palette->isWindow());
    EXPECT_EQ(palette->windowTitle().toStdString(), "Tile Palette");
    // Resizable, and beside the main window (to its right, where the screen has room), not
    // over it.
    EXPECT_NE(palette->minimumSize(), palette->maximumSize());
    EXPECT_GT(palette->frameGeometry().left(), window()->frameGeometry().right());
    EXPECT_GE(palette->width(), 400);
    EXPECT_EQ(palette->focusWidget(), widgetOf(PaletteFilter));
    // The main window keeps its size.
    EXPECT_EQ(window()->size(), QSize(512, 768));

    // Asked again: the same window, in front.
    palette->resize(600, 520);
    item->trigger();
    settle();
    EXPECT_EQ(paletteWindow(), palette.data());
    EXPECT_TRUE(palette->isVisible());
    EXPECT_EQ(palette->size(), QSize(600, 520));

    // Its close box hides it; the editor goes on, and its shortcut brings it back.
    palette->close();
    settle();
    EXPECT_FALSE(palette->isVisible());
    EXPECT_EQ(ed->frame.running, 1);
    EXPECT_TRUE(window()->isVisible());
    QApplication::setActiveWindow(window());
    QTest::keyClick(window(), Qt::Key_T, Qt::ControlModifier);
    settle();
    EXPECT_TRUE(palette->isVisible());
    // The main window's shortcuts work in the palette: Ctrl+Q there ends the editor.
    QApplication::setActiveWindow(palette);
    QTest::keyClick(palette, Qt::Key_Q, Qt::ControlModifier);
    settle();
    EXPECT_EQ(ed->frame.running, 0);

    // Ending the editor closes it.
    restart("");
    EXPECT_TRUE(palette.isNull());
}

TEST_F(PaletteTest, CellsFollowTheListsOrderAndTheirTooltipsHoldEveryText) {
    loadSample();
    openPalette();
    // Tiles: in the Tiles list's order, with every text of the tile; a name the set does not
    // hold says so.
    ASSERT_EQ(tiles().cellCount(), 3u);
    EXPECT_EQ(shownCells(PaletteTiles), (std::vector<long long>{0, 1, 2}));
    EXPECT_EQ(tooltipOf(PaletteTiles, 0), "ID: 10\nTexture: a.png\nMaterial: Grass\nLayer: 2\nCollision: 1");
    EXPECT_EQ(tooltipOf(PaletteTiles, 1), "ID: -5\nTexture: b.bmp\nMaterial: Stone\nLayer: 0\nCollision: 0");
    EXPECT_EQ(tooltipOf(PaletteTiles, 2),
              "ID: 3\nTexture: gone.png (not in the tile set)\nMaterial: Lava (not in the tile set)\nLayer: 255\n"
              "Collision: 5");
    // The cells sit left to right in one row when the window is wide enough.
    EXPECT_LT(tiles().cellRect(0).x, tiles().cellRect(1).x);
    EXPECT_EQ(tiles().cellRect(0).y, tiles().cellRect(2).y);

    // Textures: in the Textures list's order, name and size.
    showPage(1);
    ASSERT_EQ(textures().cellCount(), 3u);
    for (int row = 0; row < 3; ++row) {
        const std::string name = g().listView(TexturesList).rowText(row);
        const std::string tip = tooltipOf(PaletteTextures, static_cast<std::size_t>(row));
        EXPECT_EQ(tip.substr(0, tip.find('\n')), "Name: " + name) << row;
    }
    const long long aRow = ed->doc().textures.positionOf("a.png");
    ASSERT_GE(aRow, 0);
    EXPECT_EQ(tooltipOf(PaletteTextures, static_cast<std::size_t>(aRow)), "Name: a.png\nSize: 16 bytes");

    // The rows wrap to the width: cells of 256 pixels in a narrow window, one per row.
    textures().setCellSize(256);
    paletteWindow()->resize(320, 600);
    settle();
    EXPECT_EQ(textures().cellRect(0).x, textures().cellRect(1).x);
    EXPECT_LT(textures().cellRect(0).y, textures().cellRect(1).y);
}

TEST_F(PaletteTest, AClickOnACellDoesWhatAClickOnItsRowDoesAndARowSelectedInAListFramesItsCell) {
    loadSample();
    openPalette();

    // Tile cell -> Tiles tab, its row selected, its fields loaded by the row's handler.
    clickCell(PaletteTiles, 1);
    EXPECT_EQ(g().panel(Panel).state(), 3);
    EXPECT_EQ(g().listView(TilesList).selectedRow(), 1);
    EXPECT_EQ(ed->currentTileRow, 1);
    EXPECT_EQ(g().textField(TileId).text(), "-5");
    EXPECT_EQ(g().choiceBox(TileMaterial).text(), "Stone");
    EXPECT_EQ(tiles().currentCell(), 1);
    // Again on the same cell: as a click on the selected row, the fields are loaded again.
    g().textField(TileId).setText("99");
    settle();
    clickCell(PaletteTiles, 1);
    EXPECT_EQ(g().textField(TileId).text(), "-5");

    // A row selected in the Tiles list frames its cell and selects it alone.
    clickCell(PaletteTiles, 0, Qt::ControlModifier);
    EXPECT_EQ(tiles().selectedCount(), 2u);
    clickRow(TilesList, 2);
    EXPECT_EQ(tiles().currentCell(), 2);
    EXPECT_EQ(tiles().selectedCells(), (std::vector<std::size_t>{2}));
    // By keys as well.
    widgetOf(TilesList)->setFocus();
    key(widgetOf(TilesList), Qt::Key_Up);
    EXPECT_EQ(g().listView(TilesList).selectedRow(), 1);
    EXPECT_EQ(tiles().currentCell(), 1);

    // Texture cell -> Textures tab, its row selected and previewed.
    showPage(1);
    clickCell(PaletteTextures, 2);
    EXPECT_EQ(g().panel(Panel).state(), 2);
    EXPECT_EQ(g().listView(TexturesList).selectedRow(), 2);
    EXPECT_EQ(g().label(TextureFileName).text(), "[X] " + g().listView(TexturesList).rowText(2));
    clickRow(TexturesList, 0);
    EXPECT_EQ(textures().currentCell(), 0);
    EXPECT_TRUE(textures().isSelected(0));
}

TEST_F(PaletteTest, AProblemsDoubleClickAndARowFarDownScrollTheirCellIntoView) {
    document::TileSet set = manyTiles(3000);
    document::TileGroup* group = document::FindTileGroup(set, 1);
    group->tiles.at(2500).material = "Lava";   // the one tile with a missing material
    load(std::move(set));
    openPalette();
    settleAll();
    ASSERT_EQ(tiles().firstVisible(), 0u);

    // The TileSet tab's problem about that tile selects its row; the palette follows.
    showTab(0);
    for (int i = 0; i < 50 && platform::ProblemListOf(g(), Problems).rowCount() == 0; ++i) settle();
    auto* problems = qobject_cast<QListWidget*>(widgetOf(Problems));
    ASSERT_GE(problems->count(), 1);
    const QPoint at = problems->visualItemRect(problems->item(0)).center();
    QTest::mouseClick(problems->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(problems->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    settle();
    ASSERT_EQ(g().listView(TilesList).selectedRow(), 2500);
    EXPECT_EQ(tiles().currentCell(), 2500);
    EXPECT_GE(2500u, tiles().firstVisible());
    EXPECT_LT(2500u, tiles().endVisible());

    // A click on a row far up brings that cell back.
    g().listView(TilesList).selectRow(7);
    settle();
    EXPECT_EQ(tiles().currentCell(), 7);
    EXPECT_LT(7u, tiles().endVisible());
}

TEST_F(PaletteTest, TheFilterShowsTheCellsWhoseTextsHoldItIgnoringCase) {
    document::TileSet set = SampleTileSet();
    document::AddMaterial(set, "K\xE4se", document::MakeColor(1, 2, 3), "");   // Windows-1252
    document::AddTile(set, 1, 4, "b.bmp", "K\xE4se", 0, 0);
    load(std::move(set));
    openPalette();
    QWidget* filter = widgetOf(PaletteFilter);
    EXPECT_EQ(QApplication::focusWidget(), filter);

    typeInto(PaletteFilter, "STO");   // material Stone
    settleAll();
    EXPECT_EQ(shownCells(PaletteTiles), (std::vector<long long>{1}));
    typeInto(PaletteFilter, "b.b");   // texture b.bmp
    settleAll();
    EXPECT_EQ(shownCells(PaletteTiles), (std::vector<long long>{1, 3}));
    typeInto(PaletteFilter, "-5");    // an ID
    settleAll();
    EXPECT_EQ(shownCells(PaletteTiles), (std::vector<long long>{1}));
    typeInto(PaletteFilter, "k\xC3\x84s");   // "kÄs", typed; the name is Windows-1252 bytes
    settleAll();
    EXPECT_EQ(shownCells(PaletteTiles), (std::vector<long long>{3}));
    // Typed further, and back again.
    typeInto(PaletteFilter, "s");
    settleAll();
    EXPECT_EQ(shownCells(PaletteTiles), (std::vector<long long>{0, 1, 3}));   // Grass, Stone, Käse
    typeInto(PaletteFilter, "t", false);
    settleAll();
    EXPECT_EQ(shownCells(PaletteTiles), (std::vector<long long>{1}));
    key(filter, Qt::Key_Backspace);
    settleAll();
    EXPECT_EQ(shownCells(PaletteTiles), (std::vector<long long>{0, 1, 3}));
    // The Textures page is filtered by name with the same field.
    EXPECT_EQ(textures().shownCount(), 0u);
    typeInto(PaletteFilter, "B.");
    settleAll();
    EXPECT_EQ(shownCells(PaletteTextures), (std::vector<long long>{ed->doc().textures.positionOf("b.bmp")}));

    // Escape empties the field: every cell again. Ctrl+F from the grid comes back to it.
    key(filter, Qt::Key_Escape);
    settleAll();
    EXPECT_EQ(g().textField(PaletteFilter).text(), "");
    EXPECT_EQ(tiles().shownCount(), 4u);
    EXPECT_EQ(textures().shownCount(), 3u);
    widgetOf(PaletteTiles)->setFocus();
    key(widgetOf(PaletteTiles), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), filter);

    // A click on a filtered cell links the tile it shows.
    typeInto(PaletteFilter, "stone");
    settleAll();
    clickCell(PaletteTiles, 0);
    EXPECT_EQ(g().listView(TilesList).selectedRow(), 1);
}

TEST_F(PaletteTest, AFilterOverManyTilesRunsInSlicesAndFindsWhatAWalkFinds) {
    load(manyTiles(200000));
    openPalette();
    typeInto(PaletteFilter, "t7.");
    settleAll();
    std::size_t expected = 0;
    for (const auto& tile : document::LookUpTileGroup(ed->doc(), document::kTileGroup)->tiles.items())
        if (tile->texture == "t7.png") ++expected;
    EXPECT_EQ(tiles().shownCount(), expected);
    for (std::size_t p = 0; p < tiles().shownCount(); p += 997)
        EXPECT_EQ(document::LookUpTileGroup(ed->doc(), document::kTileGroup)->tiles.at(static_cast<std::size_t>(tiles().shownCell(p))).texture,
                  "t7.png");
    // IDs: "1999" is in 1999, 11999, 21999, ..., 199990 .. 199999 and 19990 .. 19999.
    typeInto(PaletteFilter, "1999");
    settleAll();
    std::size_t ids = 0;
    for (int id = 1; id <= 200000; ++id) ids += std::to_string(id).find("1999") != std::string::npos;
    EXPECT_EQ(tiles().shownCount(), ids);
    EXPECT_EQ(g().label(PaletteStatus).text(), std::to_string(ids) + " of 200000 tiles");
}

TEST_F(PaletteTest, ZoomGoesFrom32To256Pixels) {
    loadSample();
    openPalette();
    QWidget* area = viewport(PaletteTiles);
    EXPECT_EQ(tiles().cellSize(), 64);
    const auto wheel = [&](int notches) {
        const QPointF at(20, 20);
        QWheelEvent turn(at, area->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                         Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(area, &turn);
        settle();
    };
    wheel(1);
    EXPECT_EQ(tiles().cellSize(), 80);
    wheel(20);
    EXPECT_EQ(tiles().cellSize(), 256);
    key(widgetOf(PaletteFilter), Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_EQ(tiles().cellSize(), 256);
    key(widgetOf(PaletteFilter), Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(tiles().cellSize(), 192);
    for (int i = 0; i < 12; ++i) QTest::keyClick(widgetOf(PaletteTiles), Qt::Key_Minus, Qt::ControlModifier);
    settle();
    EXPECT_EQ(tiles().cellSize(), 32);
    wheel(-3);
    EXPECT_EQ(tiles().cellSize(), 32);
    key(widgetOf(PaletteTiles), Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_EQ(tiles().cellSize(), 48);
    // Each page zooms on its own: the shown one.
    showPage(1);
    key(widgetOf(PaletteTextures), Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_EQ(textures().cellSize(), 80);
    EXPECT_EQ(tiles().cellSize(), 48);
}

TEST_F(PaletteTest, CellsAreSelectedByClicksKeysARectangleAndCtrlA) {
    load(manyTiles(20));
    openPalette();
    paletteWindow()->resize(560, 600);   // a few columns
    settle();
    const auto selected = [&] { return tiles().selectedCells(); };
    EXPECT_FALSE(g().button(PaletteApply).isEnabled());

    clickCell(PaletteTiles, 2);
    EXPECT_EQ(selected(), (std::vector<std::size_t>{2}));
    EXPECT_TRUE(g().button(PaletteApply).isEnabled());
    EXPECT_TRUE(g().button(PaletteDelete).isEnabled());
    clickCell(PaletteTiles, 5, Qt::ControlModifier);
    EXPECT_EQ(selected(), (std::vector<std::size_t>{2, 5}));
    clickCell(PaletteTiles, 2, Qt::ControlModifier);
    EXPECT_EQ(selected(), (std::vector<std::size_t>{5}));
    clickCell(PaletteTiles, 8, Qt::ShiftModifier);   // from the last plain or Ctrl click
    EXPECT_EQ(selected(), (std::vector<std::size_t>{2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(g().label(PaletteStatus).text(), "20 tiles, 7 selected");
    key(widgetOf(PaletteTiles), Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(selected(), (std::vector<std::size_t>{2, 3, 4, 5, 6, 7, 8, 9}));
    key(widgetOf(PaletteTiles), Qt::Key_Right);
    EXPECT_EQ(selected(), (std::vector<std::size_t>{10}));
    EXPECT_EQ(g().listView(TilesList).selectedRow(), 10);   // keys link as clicks do

    // A rectangle from the middle of cell 1 to the middle of the cell below cell 2.
    std::size_t perRow = 1;
    while (tiles().cellRect(perRow).y == tiles().cellRect(0).y) ++perRow;
    ASSERT_GE(perRow, 3u);
    drag(PaletteTiles, centre(PaletteTiles, 1), centre(PaletteTiles, perRow + 2));
    EXPECT_EQ(selected(), (std::vector<std::size_t>{1, 2, perRow + 1, perRow + 2}));
    // With Ctrl it adds to the selection.
    drag(PaletteTiles, centre(PaletteTiles, 2 * perRow) - QPoint(3, 3), centre(PaletteTiles, 2 * perRow) + QPoint(3, 3),
         Qt::ControlModifier);
    EXPECT_EQ(selected(), (std::vector<std::size_t>{1, 2, perRow + 1, perRow + 2, 2 * perRow}));

    key(widgetOf(PaletteTiles), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(tiles().selectedCount(), 20u);
    // A plain press on the empty space below the cells leaves none.
    const platform::Rect last = tiles().cellRect(19);
    QTest::mouseClick(viewport(PaletteTiles), Qt::LeftButton, Qt::NoModifier, QPoint(4, last.y + last.height + 8));
    settle();
    EXPECT_EQ(tiles().selectedCount(), 0u);
    EXPECT_FALSE(g().button(PaletteApply).isEnabled());

    // Ctrl+A takes the shown cells only, and a filter keeps only shown cells selected.
    typeInto(PaletteFilter, "m3");
    settleAll();
    widgetOf(PaletteTiles)->setFocus();
    key(widgetOf(PaletteTiles), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(selected(), (std::vector<std::size_t>{2, 12}));   // IDs 3 and 13
    typeInto(PaletteFilter, "13");
    settleAll();
    EXPECT_EQ(selected(), (std::vector<std::size_t>{12}));

    // The Delete key raises the bar's Delete.
    widgetOf(PaletteTiles)->setFocus();
    settle();
    ed->queue.clear();
    QTest::keyClick(widgetOf(PaletteTiles), Qt::Key_Delete);
    bool deleteRaised = false;
    while (!ed->queue.empty()) {
        const platform::FrameEvent e = ed->queue.pop();
        deleteRaised = deleteRaised || (e.kind == platform::kEventGadget && e.gadget == PaletteDelete);
    }
    EXPECT_TRUE(deleteRaised);
}

TEST_F(PaletteTest, EveryChangeShowsInThePaletteInTheSameCycle) {
    loadSample();
    openPalette();
    // A tile added on the Tiles tab.
    showTab(3);
    typeInto(TileId, "77");
    chooseItem(TileTexture, 0);
    chooseItem(TileMaterial, 0);
    click(TileAdd);
    EXPECT_EQ(tiles().cellCount(), 4u);
    editItem(0);   // Undo
    EXPECT_EQ(tiles().cellCount(), 3u);
    editItem(1);   // Redo
    EXPECT_EQ(tiles().cellCount(), 4u);

    // An Update keeps the palette's selection; the tooltip shows the new material.
    clickCell(PaletteTiles, 0);
    clickCell(PaletteTiles, 1, Qt::ControlModifier);
    chooseItem(TileMaterial, 2);   // Water
    click(TileUpdate);
    EXPECT_EQ(tiles().selectedCount(), 2u);
    EXPECT_NE(tooltipOf(PaletteTiles, 1).find("Material: Water\n"), std::string::npos);

    // A material deleted: its tiles' strips are missing now.
    clickRow(MaterialsList, 1);   // Stone
    click(MaterialDelete);
    EXPECT_NE(tooltipOf(PaletteTiles, 1).find("Material: Water\n"), std::string::npos);
    clickRow(MaterialsList, 1);   // Water
    click(MaterialDelete);
    EXPECT_NE(tooltipOf(PaletteTiles, 1).find("Material: Water (not in the tile set)"), std::string::npos);
    EXPECT_EQ(g().choiceBox(PaletteMaterial).count(), 1);

    // A texture deleted, and dropped back in as a file.
    const std::size_t before = textures().cellCount();
    clickRow(TexturesList, 0);
    click(TextureDelete);
    EXPECT_EQ(textures().cellCount(), before - 1);
    writeFile(textureDir / "new.png", PngOfColour(Qt::red));
    showTab(2);
    dropFile(widgetOf(TexturesList), textureDir / "new.png");
    EXPECT_EQ(textures().cellCount(), before);

    // New, then Open.
    dialogs.answers.push_back(platform::Answer::Yes);   // create a new tile set
    chooseMenu(editor::menu::New);
    EXPECT_EQ(tiles().cellCount(), 0u);
    EXPECT_EQ(textures().cellCount(), 0u);
    const auto bytes = marquetor::tilesetfile::SaveTileSetToMemory(SampleTileSet());
    writeFile(tileSetDir / "sample.mrqt", std::span<const std::uint8_t>(bytes));
    dialogs.paths.push_back("../../Data/TileSets/sample.mrqt");
    chooseMenu(editor::menu::Open);
    EXPECT_EQ(tiles().cellCount(), 3u);
    EXPECT_EQ(textures().cellCount(), 3u);
}

TEST_F(PaletteTest, PicturesAreDecodedAwayFromTheLoopOncePerTextureAndSize) {
    document::TileSet set;
    set.tileWidth = set.tileHeight = 64;
    document::AddTileGroup(set, 1);
    document::AddMaterial(set, "Grass", document::MakeColor(0, 200, 0), "");
    PutSampleTexture(set, "red.png", PngOfColour(Qt::red, 32, 32));
    PutSampleTexture(set, "blue.png", PngOfColour(Qt::blue, 64, 16));
    PutSampleTexture(set, "broken.png", "no picture in here");
    document::TileGroup* group = document::FindTileGroup(set, 1);
    int id = 1;
    for (const char* texture : {"red.png", "blue.png", "red.png", "broken.png", "gone.png", "red.png"}) {
        group->tiles.moveToLast();
        document::AddTile(*group, id++, texture, "Grass", 0, 0);
    }
    load(std::move(set));
    openPalette();
    settleAll();
    EXPECT_EQ(pictureColour(PaletteTiles, 0), QColor(Qt::red));
    EXPECT_EQ(pictureColour(PaletteTiles, 1), QColor(Qt::blue));
    EXPECT_EQ(pictureColour(PaletteTiles, 2), QColor(Qt::red));
    EXPECT_NE(pictureColour(PaletteTiles, 3), QColor(Qt::red));   // no picture in the bytes
    EXPECT_NE(pictureColour(PaletteTiles, 4), QColor(Qt::red));   // no such texture
    // Three textures, three decodes, however many tiles name them; the Textures page shows
    // the same pictures at the same size without decoding them again.
    EXPECT_EQ(tiles().picturesDecoded(), 3u);
    showPage(1);
    settleAll();
    EXPECT_EQ(tiles().picturesDecoded(), 3u);
    // Another size: each once more. The paint asks for them and goes on; they come in later
    // cycles, and the cells show the pictures of the other size meanwhile.
    showPage(0);
    QTest::keyClick(widgetOf(PaletteTiles), Qt::Key_Plus, Qt::ControlModifier);
    viewport(PaletteTiles)->repaint();
    EXPECT_GT(tiles().picturesPending(), 0u);
    EXPECT_EQ(pictureColour(PaletteTiles, 0), QColor(Qt::red));
    settleAll();
    EXPECT_EQ(tiles().picturesDecoded(), 6u);
    EXPECT_EQ(pictureColour(PaletteTiles, 5), QColor(Qt::red));
}

TEST_F(PaletteTest, ApplySetsTheBarsValuesOnTheSelectedTilesInOneStepShownAsAfterAnUpdate) {
    load(manyTiles(50));
    openPalette();
    // Tile 5 current on the Tiles tab, then every tile selected in the palette.
    clickRow(TilesList, 4);
    EXPECT_EQ(g().choiceBox(TileMaterial).text(), "m5");
    widgetOf(PaletteTiles)->setFocus();
    key(widgetOf(PaletteTiles), Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(tiles().selectedCount(), 50u);
    const std::size_t stepsBefore = ed->session.history().undoCount();

    // Nothing chosen in the bar: nothing to do.
    click(PaletteApply);
    EXPECT_EQ(ed->session.history().undoCount(), stepsBefore);

    chooseItem(PaletteMaterial, 7);   // m7
    typeInto(PaletteLayer, "9");
    click(PaletteApply);
    EXPECT_EQ(ed->session.history().undoCount(), stepsBefore + 1);
    EXPECT_EQ(editText(0), "Undo Set Material and Layer of 50 Tiles");
    for (std::size_t row = 0; row < 50; ++row) {
        EXPECT_EQ(tileAt(row).material.str(), "m7");
        EXPECT_EQ(tileAt(row).layer, 9);
        EXPECT_EQ(tileAt(row).collision, 0);   // "(unchanged)"
    }
    // The Tiles tab as after its own Update: rows written again, the selection kept, the
    // current tile's fields loaded again.
    platform::ListView& list = g().listView(TilesList);
    EXPECT_EQ(list.selectedRow(), 4);
    EXPECT_EQ(ed->currentTileRow, 4);
    EXPECT_EQ(list.cellText(30, 2), "m7");
    EXPECT_EQ(list.cellText(30, 3), "9");
    EXPECT_EQ(g().choiceBox(TileMaterial).text(), "m7");
    EXPECT_EQ(g().spinBox(TileLayer).value(), 9);
    // The palette keeps its selection and shows the new values.
    EXPECT_EQ(tiles().selectedCount(), 50u);
    EXPECT_NE(tooltipOf(PaletteTiles, 0).find("Material: m7\n"), std::string::npos);

    // The same values again change nothing: no step.
    click(PaletteApply);
    EXPECT_EQ(ed->session.history().undoCount(), stepsBefore + 1);

    editItem(0);   // Undo
    EXPECT_EQ(tileAt(30).material.str(), "m1");
    EXPECT_EQ(tileAt(30).layer, 0);
    EXPECT_EQ(list.cellText(30, 2), "m1");
    EXPECT_NE(tooltipOf(PaletteTiles, 0).find("Material: m1\n"), std::string::npos);
    EXPECT_EQ(editText(1), "Redo Set Material and Layer of 50 Tiles");
    editItem(1);   // Redo
    EXPECT_EQ(tileAt(30).material.str(), "m7");
    EXPECT_EQ(list.cellText(30, 3), "9");
    EXPECT_EQ(editText(0), "Undo Set Material and Layer of 50 Tiles");

    // One field alone names itself.
    key(widgetOf(PaletteTiles), Qt::Key_A, Qt::ControlModifier);
    typeInto(PaletteLayer, "-1");   // back to "(unchanged)"
    chooseItem(PaletteCollision, 2);
    click(PaletteApply);
    EXPECT_EQ(editText(0), "Undo Set Material and Collision of 50 Tiles");
    EXPECT_EQ(tileAt(49).collision, 2);
    EXPECT_EQ(tileAt(49).layer, 9);
}

TEST_F(PaletteTest, DeleteAndTheDeleteKeyRemoveTheSelectedTilesInOneStep) {
    load(manyTiles(20));
    openPalette();
    paletteWindow()->resize(560, 600);
    settle();
    clickCell(PaletteTiles, 5);
    clickCell(PaletteTiles, 7, Qt::ControlModifier);
    clickCell(PaletteTiles, 12, Qt::ControlModifier);
    ASSERT_EQ(tiles().selectedCells(), (std::vector<std::size_t>{5, 7, 12}));

    click(PaletteDelete);
    EXPECT_EQ(editText(0), "Undo Delete 3 Tiles");
    platform::ListView& list = g().listView(TilesList);
    EXPECT_EQ(list.rowCount(), 17);
    EXPECT_EQ(tiles().cellCount(), 17u);
    EXPECT_EQ(tileAt(5).id, 7);   // IDs 6, 8 and 13 gone
    EXPECT_EQ(tileAt(10).id, 14);
    // As after the Tiles tab's Delete: the row before the first deleted tile current and
    // selected, its fields loaded; the palette frames its cell.
    EXPECT_EQ(list.selectedRow(), 4);
    EXPECT_EQ(ed->currentTileRow, 4);
    EXPECT_EQ(g().textField(TileId).text(), "5");
    EXPECT_EQ(tiles().selectedCells(), (std::vector<std::size_t>{4}));

    editItem(0);   // Undo
    EXPECT_EQ(list.rowCount(), 20);
    EXPECT_EQ(tiles().cellCount(), 20u);
    EXPECT_EQ(tileAt(5).id, 6);
    EXPECT_EQ(tileAt(12).id, 13);
    EXPECT_EQ(editText(1), "Redo Delete 3 Tiles");
    editItem(1);   // Redo
    EXPECT_EQ(tiles().cellCount(), 17u);
    EXPECT_EQ(tileAt(5).id, 7);

    // The Delete key among the tiles, from the first tile: no row before it.
    clickCell(PaletteTiles, 0);
    clickCell(PaletteTiles, 1, Qt::ShiftModifier);
    key(widgetOf(PaletteTiles), Qt::Key_Delete);
    EXPECT_EQ(editText(0), "Undo Delete 2 Tiles");
    EXPECT_EQ(tiles().cellCount(), 15u);
    EXPECT_EQ(tileAt(0).id, 3);
    EXPECT_EQ(list.selectedRow(), -1);
    EXPECT_EQ(ed->currentTileRow, -1);
    // Nothing selected: the key does nothing.
    key(widgetOf(PaletteTiles), Qt::Key_Delete);
    EXPECT_EQ(tiles().cellCount(), 15u);
    EXPECT_EQ(ed->session.history().undoName(), "Delete 2 Tiles");
}
