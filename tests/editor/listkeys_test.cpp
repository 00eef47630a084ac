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
#include "fixture.h"
#include "sampletileset.h"

using namespace editor::gadget;

namespace {

class ListKeysTest : public EditorFixture {
protected:
    void loadSample() {
        ed->doc = SampleTileSet();
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
    std::size_t tileCount() { return document::LookUpTileGroup(ed->doc, 1)->tiles.size(); }
};

}  // namespace

TEST_F(ListKeysTest, DeleteInAListDeletesAsTheTabsButtonAndStaysAKeyOfTheFields) {
    loadSample();

    // Materials: the selected row goes, the row above is selected and loads the fields.
    clickRow(MaterialsList, 2);
    ASSERT_EQ(focused(), widgetOf(MaterialsList));
    press(Qt::Key_Delete);
    EXPECT_EQ(ed->doc.materials.size(), 2u);
    EXPECT_EQ(document::FindMaterial(ed->doc, "Water"), nullptr);
    EXPECT_EQ(g().listView(MaterialsList).selectedRow(), 1);
    EXPECT_EQ(g().textField(MaterialName).text(), "Stone");
    EXPECT_EQ(ed->history.undoName(), "Delete Material Water");
    // A held key deletes one record, as a held mouse button on the button does.
    press(Qt::Key_Delete, true);
    EXPECT_EQ(ed->doc.materials.size(), 2u);

    // Textures: the selected texture goes, and the preview's caption with it.
    clickRow(TexturesList, 0);
    const std::string texture = g().listView(TexturesList).rowText(0);
    ASSERT_EQ(focused(), widgetOf(TexturesList));
    press(Qt::Key_Delete);
    EXPECT_EQ(document::FindTexture(ed->doc, texture), nullptr);
    EXPECT_EQ(ed->doc.textures.size(), 2u);
    EXPECT_EQ(g().label(TextureFileName).text(), "");

    // Tiles: the current tile goes; the row above is selected and loads the editors.
    clickRow(TilesList, 2);
    ASSERT_EQ(focused(), widgetOf(TilesList));
    press(Qt::Key_Delete);
    EXPECT_EQ(tileCount(), 2u);
    EXPECT_EQ(document::LookUpTileGroup(ed->doc, 1)->tileIndex.count(3), 0u);
    EXPECT_EQ(g().listView(TilesList).selectedRow(), 1);
    EXPECT_EQ(g().textField(TileId).text(), "-5");

    // The explorer has no Delete: nothing on disk or in the document goes.
    writeFile(textureDir / "keep.png", "x");
    g().explorerList(Explorer).reload();
    clickRow(Explorer, 0);
    press(Qt::Key_Delete);
    EXPECT_TRUE(std::filesystem::exists(textureDir / "keep.png"));
    EXPECT_EQ(ed->doc.textures.size(), 2u);

    // In a text field and in the spin box Delete removes the character after the cursor.
    typeInto(MaterialName, "Stones");
    ASSERT_EQ(focused(), widgetOf(MaterialName));
    press(Qt::Key_Home);
    press(Qt::Key_Delete);
    EXPECT_EQ(g().textField(MaterialName).text(), "tones");
    EXPECT_EQ(ed->doc.materials.size(), 2u);
    typeInto(TileLayer, "123");
    press(Qt::Key_Home);
    press(Qt::Key_Delete);
    EXPECT_EQ(g().spinBox(TileLayer).value(), 23);
    EXPECT_EQ(tileCount(), 2u);
    EXPECT_TRUE(dialogs.shown.empty());
}
