// Keys in the lists: Delete does what the tab's Delete button does (and stays a key of
// the text fields and the spin box), and moving through a list with the keyboard keeps the
// chosen row in view, as does a row the program selects.

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>

#include <string>

#include "editor/eventloop.h"
#include "editor/refresh.h"
#include "fixture.h"
#include "sampletileset.h"

using namespace editor::gadget;

namespace {

class ListKeysTest : public EditorFixture {
protected:
    void loadSample() {
        ed->session.documentToChange() = SampleTileSet();
        editor::RefreshGadgets(*ed);
        settle();
    }
    // A key typed into whatever has the keyboard focus, as the keyboard would.
    void press(Qt::Key key, bool autoRepeat = false) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, QString(), autoRepeat);
        QApplication::sendEvent(focus, &down);
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, QString(), autoRepeat);
        QApplication::sendEvent(focus, &up);
        settle();
    }
    QWidget* focused() { return QApplication::focusWidget(); }
    std::size_t tileCount() { return document::LookUpTileGroup(ed->doc(), 1)->tiles.size(); }
};

}  // namespace

TEST_F(ListKeysTest, DeleteInAListDeletesAsTheTabsButtonAndStaysAKeyOfTheFields) {
    loadSample();

    // Materials: the selected row goes, the row above is selected and loads the fields.
    clickRow(MaterialsList, 2);
    ASSERT_EQ(focused(), widgetOf(MaterialsList));
    press(Qt::Key_Delete);
    EXPECT_EQ(ed->doc().materials.size(), 2u);
    EXPECT_EQ(document::FindMaterial(ed->doc(), "Water"), nullptr);
    EXPECT_EQ(g().listView(MaterialsList).selectedRow(), 1);
    EXPECT_EQ(g().textField(MaterialName).text(), "Stone");
    EXPECT_EQ(ed->session.history().undoName(), "Delete Material Water");
    // A held key deletes one record, as a held mouse button on the button does.
    press(Qt::Key_Delete, true);
    EXPECT_EQ(ed->doc().materials.size(), 2u);

    // Textures: the selected texture goes, and the preview's caption with it.
    clickRow(TexturesList, 0);
    const std::string texture = g().listView(TexturesList).rowText(0);
    ASSERT_EQ(focused(), widgetOf(TexturesList));
    press(Qt::Key_Delete);
    EXPECT_EQ(document::FindTexture(ed->doc(), texture), nullptr);
    EXPECT_EQ(ed->doc().textures.size(), 2u);
    EXPECT_EQ(g().label(TextureFileName).text(), "");

    // Tiles: the current tile goes; the row above is selected and loads the editors.
    clickRow(TilesList, 2);
    ASSERT_EQ(focused(), widgetOf(TilesList));
    press(Qt::Key_Delete);
    EXPECT_EQ(tileCount(), 2u);
    EXPECT_EQ(document::LookUpTileGroup(ed->doc(), 1)->tileIndex.count(3), 0u);
    EXPECT_EQ(g().listView(TilesList).selectedRow(), 1);
    EXPECT_EQ(g().textField(TileId).text(), "-5");

    // The explorer has no Delete: nothing on disk or in the document goes.
    writeFile(textureDir / "keep.png", "x");
    g().explorerList(Explorer).reload();
    clickRow(Explorer, 0);
    press(Qt::Key_Delete);
    EXPECT_TRUE(std::filesystem::exists(textureDir / "keep.png"));
    EXPECT_EQ(ed->doc().textures.size(), 2u);

    // In a text field and in the spin box Delete removes the character after the cursor.
    typeInto(MaterialName, "Stones");
    ASSERT_EQ(focused(), widgetOf(MaterialName));
    press(Qt::Key_Home);
    press(Qt::Key_Delete);
    EXPECT_EQ(g().textField(MaterialName).text(), "tones");
    EXPECT_EQ(ed->doc().materials.size(), 2u);
    typeInto(TileLayer, "123");
    press(Qt::Key_Home);
    press(Qt::Key_Delete);
    EXPECT_EQ(g().spinBox(TileLayer).value(), 23);
    EXPECT_EQ(tileCount(), 2u);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ListKeysTest, TheRowChosenByKeyOrByTheProgramComesIntoView) {
    document::TileGroup* group = document::LookUpTileGroup(ed->session.documentToChange(), 1);
    for (int id = 1; id <= 300; ++id) {
        group->tiles.moveToLast();
        document::AddTile(*group, id, "a.png", "Grass", 0, 0);
    }
    editor::RefreshGadgets(*ed);
    settle();
    auto* view = qobject_cast<QAbstractItemView*>(widgetOf(TilesList));
    ASSERT_NE(view, nullptr);
    const auto selectedInView = [&] {
        const int row = g().listView(TilesList).selectedRow();
        return row >= 0 && view->viewport()->rect().contains(view->visualRect(view->model()->index(row, 0)));
    };

    clickRow(TilesList, 0);
    ASSERT_EQ(focused(), view);
    for (int page = 1; page <= 5; ++page) {
        press(Qt::Key_PageDown);
        EXPECT_GT(g().listView(TilesList).selectedRow(), 0);
        EXPECT_TRUE(selectedInView()) << "Page Down " << page << ", row " << g().listView(TilesList).selectedRow();
    }
    // End and Home go to the last and the first row.
    press(Qt::Key_End);
    EXPECT_EQ(g().listView(TilesList).selectedRow(), 299);
    EXPECT_TRUE(selectedInView());
    press(Qt::Key_PageUp);
    press(Qt::Key_PageUp);
    press(Qt::Key_Up);
    const int up = g().listView(TilesList).selectedRow();
    EXPECT_LT(up, 299 - 2 * 20);
    EXPECT_TRUE(selectedInView()) << "row " << up;
    press(Qt::Key_Home);
    EXPECT_EQ(g().listView(TilesList).selectedRow(), 0);
    EXPECT_TRUE(selectedInView());
    EXPECT_EQ(g().textField(TileId).text(), "1");   // each row chosen loaded the editors

    // The user scrolls away from the current tile, then deletes it: the row above, which
    // Delete selects, is brought into view.
    press(Qt::Key_End);
    press(Qt::Key_Up);
    view->verticalScrollBar()->setValue(0);
    settle();
    ASSERT_FALSE(selectedInView());
    click(TileDelete);
    EXPECT_EQ(g().listView(TilesList).selectedRow(), 297);
    EXPECT_TRUE(selectedInView());
    EXPECT_EQ(g().textField(TileId).text(), "298");
}
