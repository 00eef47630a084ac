// Start-up, the TileSet tab, the event loop, New and Close.

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "document/text.h"
#include "editor/eventloop.h"
#include "editor/refresh.h"
#include "editor/materialstab.h"
#include "editor/mainwindow.h"
#include "editor/texturestab.h"
#include "editor/tilestab.h"
#include "fixture.h"
#include "sampletileset.h"

// Readable rectangles in failure messages.
static void PrintTo(const QRect& r, std::ostream* os) {
    *os << r.x() << ", " << r.y() << ", " << r.width() << " x " << r.height();
}

using namespace editor::gadget;
using platform::FrameEvent;
using platform::kEventGadget;
using platform::kEventMenu;

namespace {

class ShellTest : public EditorFixture {
protected:
    // Puts the sample tile set into the document and onto every tab, as a refresh would.
    void loadSample() {
        ed->session.documentToChange() = SampleTileSet();
        editor::RefreshGadgets(*ed);
        settle();
    }
    std::vector<std::string> comboItems(int id) {
        auto* combo = qobject_cast<QComboBox*>(widgetOf(id));
        std::vector<std::string> items;
        for (int i = 0; combo && i < combo->count(); ++i) items.push_back(combo->itemText(i).toStdString());
        return items;
    }
};

bool sameEvent(const FrameEvent& a, const FrameEvent& b) {
    return a.kind == b.kind && a.menuItem == b.menuItem && a.gadget == b.gadget;
}

bool holds(const std::vector<FrameEvent>& events, const FrameEvent& wanted) {
    return std::any_of(events.begin(), events.end(), [&](const FrameEvent& e) { return sameEvent(e, wanted); });
}

}  // namespace

TEST_F(ShellTest, StartsWithAnEmptyDocumentAndEveryTabInItsFirstState) {
    EXPECT_EQ(window()->windowTitle().toStdString(), "Marquetor [Build 2011-01-10]");
    // 512 x 768 with the menu bar inside; the banner and the panel (744 pixels) fit below it.
    EXPECT_EQ(window()->size(), QSize(512, 768));
    auto* bar = window()->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(ed->window.clientArea()->width(), 512);
    EXPECT_EQ(ed->window.clientArea()->height() + bar->height(), 768);
    EXPECT_GE(ed->window.clientArea()->height(), 744);
    EXPECT_EQ(ed->frame.running, 1);
    EXPECT_EQ(ed->frame.idleDelay, 5);
    EXPECT_FALSE(ed->banner.empty());
    EXPECT_EQ(ed->banner.width(), 512);
    EXPECT_EQ(ed->banner.height(), 128);

    // TileSet tab in front, both boxes at 64 with their fifteen sizes.
    EXPECT_EQ(g().panel(Panel).state(), 0);
    EXPECT_EQ(g().editableChoiceBox(TileWidth).text(), "64");
    EXPECT_EQ(g().editableChoiceBox(TileHeight).text(), "64");
    const std::vector<std::string> sizes{"32", "48", "64", "80", "96", "112", "128", "144",
                                         "160", "176", "192", "208", "224", "240", "256"};
    EXPECT_EQ(comboItems(TileWidth), sizes);
    EXPECT_EQ(comboItems(TileHeight), sizes);
    EXPECT_EQ(ed->doc().tileWidth, 64);
    EXPECT_EQ(ed->doc().tileHeight, 64);

    // Materials tab: empty list and fields, black swatch.
    EXPECT_EQ(g().listView(MaterialsList).rowCount(), 0);
    EXPECT_EQ(g().textField(MaterialName).text(), "");
    EXPECT_EQ(g().textField(Red).text(), "0");
    EXPECT_EQ(g().textField(Green).text(), "0");
    EXPECT_EQ(g().textField(Blue).text(), "0");
    EXPECT_EQ(g().textField(Description).text(), "");
    EXPECT_TRUE(g().image(ColorSwatch).hasImage());
    EXPECT_EQ(ed->swatch.width(), 216);
    EXPECT_EQ(ed->swatch.height(), 54);
    EXPECT_EQ(ed->swatch.pixels().pixels.at(0), 0);
    EXPECT_EQ(g().button(ColorButton).text(), "...");

    // Textures tab: the texture folder, no preview, no textures.
    EXPECT_EQ(g().explorerList(Explorer).folder(), "TileSets/Textures/");
    EXPECT_FALSE(g().image(TexturePreview).hasImage());
    EXPECT_EQ(g().label(TextureFileName).text(), "");
    EXPECT_EQ(g().listView(TexturesList).rowCount(), 0);

    // Tiles tab: no tiles, ID "0", layer 0 of 0..255, collision "False" of six.
    EXPECT_EQ(g().listView(TilesList).rowCount(), 0);
    EXPECT_EQ(g().textField(TileId).text(), "0");
    EXPECT_FALSE(g().image(TilePreview).hasImage());
    EXPECT_EQ(g().choiceBox(TileTexture).count(), 0);
    EXPECT_EQ(g().choiceBox(TileMaterial).count(), 0);
    EXPECT_EQ(g().spinBox(TileLayer).value(), 0);
    EXPECT_EQ(g().spinBox(TileLayer).minimum(), 0);
    EXPECT_EQ(g().spinBox(TileLayer).maximum(), 255);
    EXPECT_EQ(g().choiceBox(TileCollision).state(), 0);
    EXPECT_EQ(g().choiceBox(TileCollision).text(), "False");
    EXPECT_EQ(comboItems(TileCollision), (std::vector<std::string>{"False", "True", "2", "3", "4", "5"}));

    // The document: empty but for tile group 1.
    EXPECT_TRUE(ed->doc().materials.empty());
    EXPECT_TRUE(ed->doc().textures.empty());
    ASSERT_NE(document::LookUpTileGroup(ed->doc(), 1), nullptr);
    EXPECT_TRUE(document::LookUpTileGroup(ed->doc(), 1)->tiles.empty());
    EXPECT_EQ(ed->currentMaterialRow, -1);
    EXPECT_EQ(ed->currentTileRow, -1);
    EXPECT_TRUE(dialogs.shown.empty());
}

namespace {

// The layout as the window must show it, written out here rather than taken from the
// table the editor builds from: a frame's caption, a label's text, a gadget's identifier
// (with a button's text), and each place and size on its tab's page.
enum class Shown { Frame, Label, Gadget };
struct Placed {
    int tab;
    Shown what;
    int id;             // gadgets
    const char* text;   // frames and labels; buttons ("" for other gadgets)
    QRect rect;
};

const Placed kLayout[] = {
    {0, Shown::Frame, 0, "Tile Width :", {16, 16, 224, 48}},
    {0, Shown::Gadget, 2, "", {28, 36, 200, 20}},
    {0, Shown::Frame, 0, "Tile Height:", {260, 16, 224, 48}},
    {0, Shown::Gadget, 3, "", {272, 36, 200, 20}},

    {1, Shown::Gadget, 4, "", {16, 16, 208, 512}},
    {1, Shown::Frame, 0, "Name:", {248, 16, 240, 48}},
    {1, Shown::Gadget, 5, "", {260, 36, 216, 20}},
    {1, Shown::Frame, 0, "Color", {248, 80, 240, 144}},
    {1, Shown::Label, 0, "R", {260, 100, 72, 20}},
    {1, Shown::Gadget, 8, "", {260, 120, 72, 20}},
    {1, Shown::Label, 0, "G", {332, 100, 72, 20}},
    {1, Shown::Gadget, 9, "", {332, 120, 72, 20}},
    {1, Shown::Label, 0, "B", {404, 100, 72, 20}},
    {1, Shown::Gadget, 10, "", {404, 120, 72, 20}},
    {1, Shown::Gadget, 6, "...", {260, 140, 216, 20}},
    {1, Shown::Gadget, 7, "", {260, 160, 216, 54}},
    {1, Shown::Frame, 0, "Description", {248, 240, 240, 48}},
    {1, Shown::Gadget, 11, "", {260, 260, 216, 20}},
    {1, Shown::Gadget, 12, "Add", {260, 536, 72, 30}},
    {1, Shown::Gadget, 13, "Update", {332, 536, 72, 30}},
    {1, Shown::Gadget, 14, "Delete", {404, 536, 72, 30}},
    {1, Shown::Gadget, 15, "Sort", {16, 536, 208, 30}},

    {2, Shown::Gadget, 19, "", {16, 16, 208, 512}},
    {2, Shown::Frame, 0, "Preview", {290, 16, 160, 192}},
    {2, Shown::Gadget, 17, "", {306, 44, 128, 128}},
    {2, Shown::Gadget, 18, "", {306, 180, 128, 20}},
    {2, Shown::Gadget, 16, "", {248, 272, 240, 256}},
    {2, Shown::Gadget, 20, "Add", {260, 536, 72, 30}},
    {2, Shown::Gadget, 21, "Delete", {332, 536, 72, 30}},
    {2, Shown::Gadget, 22, "Export", {404, 536, 72, 30}},

    {3, Shown::Gadget, 23, "", {16, 16, 208, 512}},
    {3, Shown::Frame, 0, "ID:", {248, 16, 240, 48}},
    {3, Shown::Gadget, 24, "", {260, 36, 216, 20}},
    {3, Shown::Frame, 0, "Texture", {248, 80, 240, 192}},
    {3, Shown::Gadget, 25, "", {306, 108, 128, 128}},
    {3, Shown::Gadget, 26, "", {306, 238, 128, 20}},
    {3, Shown::Frame, 0, "Material:", {248, 288, 240, 48}},
    {3, Shown::Gadget, 27, "", {260, 308, 216, 20}},
    {3, Shown::Frame, 0, "Layer:", {248, 352, 240, 48}},
    {3, Shown::Gadget, 28, "", {260, 372, 216, 20}},
    {3, Shown::Frame, 0, "Collision:", {248, 416, 240, 48}},
    {3, Shown::Gadget, 29, "", {260, 436, 216, 20}},
    {3, Shown::Gadget, 30, "Add", {260, 536, 72, 30}},
    {3, Shown::Gadget, 31, "Update", {332, 536, 72, 30}},
    {3, Shown::Gadget, 32, "Delete", {404, 536, 72, 30}},
    {3, Shown::Gadget, 33, "Sort", {16, 536, 208, 30}},
};

// What the editor adds beyond the layout: the TileSet tab's account of the document.
const Placed kAdditions[] = {
    {0, Shown::Frame, 0, "Tile set", {16, 80, 468, 96}},
    {0, Shown::Gadget, 34, "", {28, 100, 444, 20}},
    {0, Shown::Gadget, 35, "", {28, 120, 444, 20}},
    {0, Shown::Gadget, 36, "", {28, 140, 444, 20}},
    {0, Shown::Frame, 0, "Problems", {16, 192, 468, 384}},
    {0, Shown::Gadget, 37, "", {28, 212, 444, 352}},
};

}  // namespace

TEST_F(ShellTest, PlacesEveryGadgetOfTheLayout) {
    // The banner and the panel on the client area.
    auto* tabs = qobject_cast<QTabWidget*>(widgetOf(Panel));
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->geometry(), QRect(0, 128, 512, 616));
    QWidget* client = ed->window.clientArea();
    int banners = 0;
    for (QLabel* label : client->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
        if (label->geometry() == QRect(0, 0, 512, 128) && !label->pixmap().isNull()) ++banners;
    EXPECT_EQ(banners, 1) << "no banner image at 0, 0, 512 x 128";
    ASSERT_EQ(tabs->count(), 4);
    const char* titles[] = {"TileSet", "Materials", "Textures", "Tiles"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(tabs->tabText(i).toStdString(), titles[i]);

    std::set<int> ids;
    auto checkPlaced = [&](const Placed& row) {
        SCOPED_TRACE(row.what == Shown::Gadget ? "gadget " + std::to_string(row.id) : std::string("\"") + row.text + "\"");
        QWidget* page = tabs->widget(row.tab);
        ASSERT_NE(page, nullptr);
        if (row.what == Shown::Gadget) {
            ids.insert(row.id);
            QWidget* w = widgetOf(row.id);
            ASSERT_NE(w, nullptr);
            EXPECT_EQ(w->parentWidget(), page);
            EXPECT_EQ(w->geometry(), row.rect);
            if (auto* button = qobject_cast<QPushButton*>(w)) {
                EXPECT_EQ(button->text().toStdString(), row.text);
            }
            return;
        }
        // Frames and labels carry no identifier: the one on this page with this text must
        // stand at this place.
        std::vector<QRect> found;
        if (row.what == Shown::Frame) {
            for (QGroupBox* frame : page->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly))
                if (frame->title().toStdString() == row.text) found.push_back(frame->geometry());
        } else {
            for (QLabel* label : page->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
                if (label->text().toStdString() == row.text) found.push_back(label->geometry());
        }
        EXPECT_EQ(found, std::vector<QRect>{row.rect});
    };
    for (const Placed& row : kLayout) checkPlaced(row);
    // Every identifier but the panel's is placed.
    EXPECT_EQ(ids.size(), 32u);
    EXPECT_EQ(*ids.begin(), 2);
    EXPECT_EQ(*ids.rbegin(), 33);

    // The additions stand in space the layout leaves empty: none overlaps a gadget, frame or
    // label of the layout on its page.
    for (const Placed& added : kAdditions) {
        checkPlaced(added);
        for (const Placed& row : kLayout) {
            if (row.tab != added.tab) continue;
            EXPECT_FALSE(row.rect.intersects(added.rect))
                << added.id << " \"" << added.text << "\" overlaps " << row.id << " \"" << row.text << "\"";
        }
    }
    // Nothing stands on a page that the two tables do not hold.
    for (int tab = 0; tab < 4; ++tab) {
        auto onTab = [&](const Placed& r) { return r.tab == tab; };
        const auto rows = std::count_if(std::begin(kLayout), std::end(kLayout), onTab) +
                          std::count_if(std::begin(kAdditions), std::end(kAdditions), onTab);
        EXPECT_EQ(static_cast<long>(tabs->widget(tab)->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size()), rows)
            << "tab " << tab;
    }
}

TEST_F(ShellTest, TheWindowShowsTheProgramIconInFourSizes) {
    const QIcon icon = window()->windowIcon();
    ASSERT_FALSE(icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    for (int side : {16, 32, 48, 256}) EXPECT_TRUE(sizes.contains(QSize(side, side))) << side;

    // Each size is the installed picture itself, not a scaled copy of another.
    for (int side : {16, 256}) {
        platform::Image expected;
        ASSERT_TRUE(expected.load(std::filesystem::path(MARQUETOR_SOURCE_DIR) / "resources/icons" /
                                  ("marquetor-" + std::to_string(side) + ".png")));
        const QImage shown = icon.pixmap(QSize(side, side)).toImage().convertToFormat(QImage::Format_RGBA8888);
        ASSERT_EQ(shown.size(), QSize(side, side));
        for (const QPoint at : {QPoint(side / 2, side / 2), QPoint(side / 4, side / 3), QPoint(0, 0)}) {
            const std::uint8_t* px = &expected.pixels().pixels[static_cast<std::size_t>(at.y() * side + at.x()) * 4];
            const QRgb got = shown.pixel(at);
            EXPECT_EQ(qRed(got), px[0]) << side << " at " << at.x() << "," << at.y();
            EXPECT_EQ(qGreen(got), px[1]) << side << " at " << at.x() << "," << at.y();
            EXPECT_EQ(qBlue(got), px[2]) << side << " at " << at.x() << "," << at.y();
            EXPECT_EQ(qAlpha(got), px[3]) << side << " at " << at.x() << "," << at.y();
        }
    }
    // The title and the client area stay as they are.
    EXPECT_EQ(window()->windowTitle().toStdString(), "Marquetor [Build 2011-01-10]");
    EXPECT_EQ(window()->size(), QSize(512, 768));
}

TEST_F(ShellTest, FileMenuHasItsItemsAndShortcuts) {
    auto* bar = window()->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(bar->actions().size(), 3);
    QAction* title = bar->actions().first();
    EXPECT_EQ(title->text().remove('&').toStdString(), "File");
    ASSERT_NE(title->menu(), nullptr);
    std::vector<std::string> items;
    std::vector<std::string> keys;
    for (QAction* a : title->menu()->actions()) {
        items.push_back(a->isSeparator() ? "-" : a->text().remove('&').toStdString());
        if (!a->isSeparator()) keys.push_back(a->shortcut().toString(QKeySequence::PortableText).toStdString());
    }
    EXPECT_EQ(items, (std::vector<std::string>{"New", "-", "Save...", "Open...", "-", "Close"}));
    EXPECT_EQ(keys, (std::vector<std::string>{"Ctrl+N", "Ctrl+S", "Ctrl+O", "Ctrl+Q"}));
    // "Edit" follows on the same bar.
    QAction* edit = bar->actions().at(1);
    EXPECT_EQ(edit->text().remove('&').toStdString(), "Edit");
    ASSERT_NE(edit->menu(), nullptr);
    std::vector<std::string> editItems;
    for (QAction* a : edit->menu()->actions()) editItems.push_back(a->isSeparator() ? "-" : a->text().remove('&').toStdString());
    EXPECT_EQ(editItems, (std::vector<std::string>{"Undo", "Redo"}));
    // "View" follows "Edit".
    QAction* view = bar->actions().at(2);
    EXPECT_EQ(view->text().remove('&').toStdString(), "View");
    ASSERT_NE(view->menu(), nullptr);
    std::vector<std::string> viewItems;
    for (QAction* a : view->menu()->actions()) viewItems.push_back(a->isSeparator() ? "-" : a->text().remove('&').toStdString());
    EXPECT_EQ(viewItems, (std::vector<std::string>{"Tile Palette"}));
}

TEST_F(ShellTest, TileSizeBoxesStoreTheNumberOfTheirText) {
    typeInto(TileWidth, "abc");
    EXPECT_EQ(ed->doc().tileWidth, 0);
    typeInto(TileWidth, " 80");
    EXPECT_EQ(ed->doc().tileWidth, 80);
    typeInto(TileWidth, "$40");
    EXPECT_EQ(ed->doc().tileWidth, 64);
    typeInto(TileWidth, "-16");
    EXPECT_EQ(ed->doc().tileWidth, -16);
    typeInto(TileWidth, "1000");   // no range check
    EXPECT_EQ(ed->doc().tileWidth, 1000);
    EXPECT_EQ(ed->doc().tileHeight, 64);

    chooseItem(TileHeight, 6);
    EXPECT_EQ(g().editableChoiceBox(TileHeight).text(), "128");
    EXPECT_EQ(ed->doc().tileHeight, 128);
    EXPECT_EQ(ed->doc().tileWidth, 1000);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ShellTest, NewAnsweredNoChangesNothing) {
    loadSample();
    typeInto(TileWidth, "48");
    showTab(1);
    ed->currentMaterialRow = 1;
    const auto before = document::ContentFingerprint(ed->doc());

    dialogs.answers.push_back(platform::Answer::No);
    chooseMenu(editor::menu::New);

    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, "question");
    EXPECT_EQ(dialogs.shown[0].title, "Marquetor [Build 2011-01-10]");
    EXPECT_EQ(dialogs.shown[0].text, "Create a new tile set?");
    EXPECT_EQ(document::ContentFingerprint(ed->doc()), before);
    EXPECT_EQ(ed->doc().tileWidth, 48);
    EXPECT_EQ(g().listView(MaterialsList).rowCount(), 3);
    EXPECT_EQ(g().listView(TilesList).rowCount(), 3);
    EXPECT_EQ(g().panel(Panel).state(), 1);
    EXPECT_EQ(ed->currentMaterialRow, 1);
    EXPECT_EQ(ed->frame.running, 1);
}

TEST_F(ShellTest, NewAnsweredYesEmptiesTheDocumentAndEveryTab) {
    loadSample();
    EXPECT_EQ(ed->doc().tileWidth, 32);
    EXPECT_EQ(ed->doc().tileHeight, 128);
    showTab(3);
    typeInto(TileId, "77");
    ed->currentMaterialRow = 2;
    ed->currentTileRow = 1;

    dialogs.answers.push_back(platform::Answer::Yes);
    chooseMenu(editor::menu::New);

    EXPECT_EQ(ed->doc().tileWidth, 64);
    EXPECT_EQ(ed->doc().tileHeight, 64);
    EXPECT_TRUE(ed->doc().materials.empty());
    EXPECT_TRUE(ed->doc().materialIndex.empty());
    EXPECT_TRUE(ed->doc().textures.empty());
    ASSERT_NE(document::LookUpTileGroup(ed->doc(), 1), nullptr);   // the group stays
    EXPECT_TRUE(document::LookUpTileGroup(ed->doc(), 1)->tiles.empty());
    EXPECT_EQ(g().panel(Panel).state(), 0);
    EXPECT_EQ(g().editableChoiceBox(TileWidth).text(), "64");
    EXPECT_EQ(g().editableChoiceBox(TileHeight).text(), "64");
    EXPECT_EQ(g().listView(MaterialsList).rowCount(), 0);
    EXPECT_EQ(g().listView(TexturesList).rowCount(), 0);
    EXPECT_EQ(g().listView(TilesList).rowCount(), 0);
    EXPECT_EQ(g().choiceBox(TileMaterial).count(), 0);
    EXPECT_EQ(g().choiceBox(TileTexture).count(), 0);
    EXPECT_EQ(g().textField(TileId).text(), "0");
    EXPECT_EQ(ed->currentMaterialRow, -1);
    EXPECT_EQ(ed->currentTileRow, -1);

    // A new tile set counts as unchanged: Close asks nothing.
    dialogs.clearShown();
    chooseMenu(editor::menu::Close);
    EXPECT_EQ(ed->frame.running, 0);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ShellTest, CloseStillHandlesTheRestOfItsCycle) {
    g().editableChoiceBox(TileWidth).setText("96");
    ed->queue.clear();   // the box's own report of the new text is replaced by ours below
    ed->queue.push({kEventMenu, editor::menu::Close, 0});
    ed->queue.push({kEventGadget, 0, TileWidth});
    ed->queue.push({kEventMenu, editor::menu::Open, 0});

    editor::RunCycle(*ed);

    EXPECT_EQ(ed->frame.running, 0);
    ASSERT_EQ(ed->frame.events.size(), 3u);
    // Close asked nothing (the document was unchanged then); the width box's event after it
    // was handled, and so was Open, which asks about the new width before its requester.
    EXPECT_EQ(ed->doc().tileWidth, 96);
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[0].kind, "question");
    EXPECT_EQ(dialogs.shown[1].kind, "openFile");
    EXPECT_EQ(editor::RunEventLoop(*ed), 0);
}

TEST_F(ShellTest, CtrlQOnAnUnchangedDocumentEndsTheLoop) {
    QTest::keyClick(window(), Qt::Key_Q, Qt::ControlModifier);
    settle();
    EXPECT_EQ(ed->frame.running, 0);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(editor::RunEventLoop(*ed), 0);
}

TEST_F(ShellTest, PumpStopsAfterAMouseButton) {
    settle();
    ed->queue.push({kEventGadget, 0, TileWidth});
    ed->queue.push({platform::kEventLeftButtonDown, 0, 0});
    ed->queue.push({kEventGadget, 0, TileHeight});
    ed->queue.push({platform::kEventRightButtonUp, 0, 0});
    ed->queue.push({kEventMenu, editor::menu::New, 0});

    editor::PumpEvents(*ed);
    ASSERT_EQ(ed->frame.events.size(), 2u);
    EXPECT_TRUE(sameEvent(ed->frame.events[0], {kEventGadget, 0, TileWidth}));
    EXPECT_EQ(ed->frame.events[1].kind, platform::kEventLeftButtonDown);
    EXPECT_EQ(ed->queue.size(), 3u);

    editor::PumpEvents(*ed);
    ASSERT_EQ(ed->frame.events.size(), 2u);
    EXPECT_TRUE(sameEvent(ed->frame.events[0], {kEventGadget, 0, TileHeight}));
    EXPECT_EQ(ed->frame.events[1].kind, platform::kEventRightButtonUp);

    editor::PumpEvents(*ed);
    ASSERT_EQ(ed->frame.events.size(), 1u);
    EXPECT_EQ(ed->frame.events[0].kind, kEventMenu);
    editor::PumpEvents(*ed);
    EXPECT_TRUE(ed->frame.events.empty());

    // A real press on the window ends the pump the same way.
    ed->queue.push({kEventGadget, 0, TileHeight});
    QTest::mousePress(widgetOf(Panel), Qt::LeftButton, Qt::NoModifier, QPoint(300, 300));
    ed->queue.push({kEventGadget, 0, TileWidth});
    editor::PumpEvents(*ed);
    ASSERT_FALSE(ed->frame.events.empty());
    EXPECT_TRUE(sameEvent(ed->frame.events.front(), {kEventGadget, 0, TileHeight}));
    EXPECT_EQ(ed->frame.events.back().kind, platform::kEventLeftButtonDown);
    EXPECT_FALSE(holds(ed->frame.events, {kEventGadget, 0, TileWidth}));
    QTest::mouseRelease(widgetOf(Panel), Qt::LeftButton, Qt::NoModifier, QPoint(300, 300));
    settle();
}

TEST_F(ShellTest, ProgramCausedEventsArriveInALaterCycle) {
    loadSample();
    showTab(1);
    clickRow(MaterialsList, 2);
    ASSERT_EQ(g().textField(MaterialName).text(), "Water");

    // Delete's handler selects the row above. The list reports that selection, but the
    // event waits for the next cycle: the cycle that ran Delete does not hold it, the
    // fields still show the deleted material, and only the next cycle loads the row above.
    QTest::mouseClick(widgetOf(MaterialDelete), Qt::LeftButton);
    for (int i = 0; i < 10 && !holds(ed->frame.events, {kEventGadget, 0, MaterialDelete}); ++i) editor::RunCycle(*ed);
    ASSERT_TRUE(holds(ed->frame.events, {kEventGadget, 0, MaterialDelete}));
    EXPECT_FALSE(holds(ed->frame.events, {kEventGadget, 0, MaterialsList}));
    EXPECT_EQ(g().listView(MaterialsList).selectedRow(), 1);
    EXPECT_EQ(g().textField(MaterialName).text(), "Water");
    editor::RunCycle(*ed);
    EXPECT_TRUE(holds(ed->frame.events, {kEventGadget, 0, MaterialsList}));
    EXPECT_EQ(g().textField(MaterialName).text(), "Stone");

    // The program sets a box's text: the document takes it in the next cycle, not before.
    settle();
    g().editableChoiceBox(TileWidth).setText("160");
    EXPECT_EQ(ed->doc().tileWidth, 32);
    editor::RunCycle(*ed);
    EXPECT_EQ(ed->doc().tileWidth, 160);
}

TEST_F(ShellTest, RefreshShowsTheDocumentOnEveryTab) {
    loadSample();
    const document::TileSet& set = ed->doc();
    EXPECT_EQ(g().editableChoiceBox(TileWidth).text(), "32");
    EXPECT_EQ(g().editableChoiceBox(TileHeight).text(), "128");

    auto& materials = g().listView(MaterialsList);
    ASSERT_EQ(materials.rowCount(), 3);
    EXPECT_EQ(materials.cellText(0, 0), "Grass");
    EXPECT_EQ(materials.cellText(0, 1), "R86 G160 B60");
    EXPECT_EQ(materials.cellText(2, 1), "R255 G128 B0");
    EXPECT_EQ(comboItems(TileMaterial), (std::vector<std::string>{"Grass", "Stone", "Water"}));
    EXPECT_EQ(g().choiceBox(TileMaterial).state(), -1);

    auto& textures = g().listView(TexturesList);
    const std::vector<std::string> names = set.textures.names();
    ASSERT_EQ(textures.rowCount(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(textures.rowText(i), names[static_cast<std::size_t>(i)]);
    EXPECT_EQ(comboItems(TileTexture), names);
    EXPECT_EQ(g().choiceBox(TileTexture).state(), -1);

    auto& tiles = g().listView(TilesList);
    ASSERT_EQ(tiles.rowCount(), 3);
    const std::vector<std::string> row0{"10", "a.png", "Grass", "2", "1"};
    const std::vector<std::string> row2{"3", "gone.png", "Lava", "255", "5"};
    for (int c = 0; c < 5; ++c) {
        EXPECT_EQ(tiles.cellText(0, c), row0[static_cast<std::size_t>(c)]);
        EXPECT_EQ(tiles.cellText(2, c), row2[static_cast<std::size_t>(c)]);
    }
    EXPECT_EQ(tiles.cellText(1, 0), "-5");
    EXPECT_EQ(materials.selectedRow(), -1);
    EXPECT_EQ(tiles.selectedRow(), -1);
    EXPECT_EQ(textures.selectedRow(), -1);
}
