// Undo and redo through the Edit menu: every kind of change comes back exactly, the saved
// state counts as unchanged again, and the history keeps to its limits.

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "document/text.h"
#include "editor/eventloop.h"
#include "editor/refresh.h"
#include "editor/filecommands.h"
#include "editor/history.h"
#include "editor/tilesetcommands.h"
#include "fixture.h"
#include "testpicture.h"
#include "sampletileset.h"
#include "tilesetfile/format.h"

using namespace editor::gadget;
using platform::Answer;
namespace fs = std::filesystem;
namespace tsf = marquetor::tilesetfile;

namespace {

// Materials out of order; textures "A", "ab", "b#" share a bucket (ab in the middle);
// tiles out of order.
document::TileSet historySample() {
    document::TileSet set;
    set.tileWidth = 64;
    set.tileHeight = 32;
    document::AddTileGroup(set, 1);
    for (const char* name : {"Water", "Grass", "Stone"}) {
        set.materials.moveToLast();
        document::AddMaterial(set, name, document::MakeColor(1, 2, 3), "desc");
    }
    for (const char* name : {"A", "ab", "b#", "x.png"}) PutSampleTexture(set, name, name);
    document::TileGroup* group = document::FindTileGroup(set, 1);
    for (int id : {10, -5, 3, 7}) {
        group->tiles.moveToLast();
        document::AddTile(set, 1, id, "A", "Water", 1, 0);
    }
    return set;
}

// Everything that makes the document what it is: its saved bytes, every record's address
// in order, the texture serials, the cursors.
struct Snapshot {
    std::vector<std::uint8_t> bytes;
    std::vector<const void*> records;
    std::vector<std::uint64_t> serials;
    int materialCursor = 0;
    int tileCursor = 0;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshotOf(const document::TileSet& set) {
    Snapshot s;
    s.bytes = tsf::SaveTileSetToMemory(set);
    for (const auto& m : set.materials.items()) s.records.push_back(m.get());
    set.textures.forEach([&](const document::Texture& t) {
        s.records.push_back(&t);
        s.serials.push_back(t.serial);
    });
    const document::TileGroup* group = document::LookUpTileGroup(set, 1);
    for (const auto& t : group->tiles.items()) s.records.push_back(t.get());
    s.materialCursor = set.materials.cursor();
    s.tileCursor = group->tiles.cursor();
    return s;
}

class HistoryTest : public EditorFixture {
protected:
    void SetUp() override {
        EditorFixture::SetUp();
        writeFile(textureDir / "new.png", PngOfColour(Qt::green));
        const auto bytes = tsf::SaveTileSetToMemory(historySample());
        writeFile(tileSetDir / "sample.mrqt", std::span<const std::uint8_t>(bytes));
        openSample();
    }
    void openSample() { restart("../../Data/TileSets/sample.mrqt"); }

    // The Edit menu's item whose text starts with this word.
    QAction* editItem(const QString& word) {
        if (auto* bar = window()->findChild<QMenuBar*>()) {
            for (QAction* title : bar->actions()) {
                if (title->menu() == nullptr || title->text().remove('&') != "Edit") continue;
                for (QAction* item : title->menu()->actions())
                    if (item->text().startsWith(word)) return item;
            }
        }
        ADD_FAILURE() << "no Edit item " << word.toStdString();
        return nullptr;
    }
    std::string itemText(const QString& word) {
        QAction* item = editItem(word);
        return item ? item->text().replace("&&", "&").toStdString() : std::string();
    }
    bool itemEnabled(const QString& word) {
        QAction* item = editItem(word);
        return item && item->isEnabled();
    }
    // Chooses Edit > Undo (or Redo) as a click on the item would.
    void choose(const QString& word) {
        QAction* item = editItem(word);
        ASSERT_NE(item, nullptr);
        ASSERT_TRUE(item->isEnabled()) << word.toStdString() << " is greyed";
        item->trigger();
        settle();
    }
    void clickRowOf(int list, std::string_view text) {
        platform::ListView& view = g().listView(list);
        for (int r = 0; r < view.rowCount(); ++r) {
            if (view.rowText(r) == text) {
                clickRow(list, r);
                return;
            }
        }
        ADD_FAILURE() << "no row " << text;
    }
    void clickExplorerFile(std::string_view name) {
        platform::ExplorerList& explorer = g().explorerList(Explorer);
        for (int r = 0; r < explorer.rowCount(); ++r) {
            if (explorer.rowText(r) == name) {
                clickRow(Explorer, r);
                return;
            }
        }
        ADD_FAILURE() << "no file " << name;
    }
    void chooseName(int box, std::string_view name) {
        for (int i = 0; i < g().choiceBox(box).count(); ++i) {
            if (g().choiceBox(box).itemText(i) == name) {
                chooseItem(box, i);
                return;
            }
        }
        ADD_FAILURE() << "no entry " << name;
    }
    int questionsAsked() const {
        int n = 0;
        for (const auto& s : dialogs.shown) n += s.kind == "question";
        return n;
    }
    std::string label(int id) { return g().label(id).text(); }
};

struct Change {
    const char* undoText;
    int tab;   // where the change is shown after undo and redo
    std::function<void()> make;
};

}  // namespace

TEST_F(HistoryTest, EveryKindOfChangeIsUndoneAndRedoneExactly) {
    const std::vector<Change> changes{
        {"Undo Change Tile Width", 0, [this] { typeInto(TileWidth, "128"); }},
        {"Undo Add Material Sand", 1,
         [this] {
             clickRow(MaterialsList, 1);
             typeInto(MaterialName, "Sand");
             click(MaterialAdd);
         }},
        {"Undo Update Material Moss", 1,
         [this] {
             clickRow(MaterialsList, 0);
             typeInto(MaterialName, "Moss");
             typeInto(Red, "200");
             click(MaterialUpdate);
         }},
        {"Undo Delete Material Grass", 1,
         [this] {
             clickRow(MaterialsList, 1);
             click(MaterialDelete);
         }},
        {"Undo Sort Materials", 1, [this] { click(MaterialSort); }},
        {"Undo Add Texture new.png", 2,
         [this] {
             clickExplorerFile("new.png");
             click(TextureAdd);
         }},
        {"Undo Delete Texture ab", 2,
         [this] {
             clickRowOf(TexturesList, "ab");
             click(TextureDelete);
         }},
        {"Undo Add Tile 50", 3,
         [this] {
             clickRow(TilesList, 1);
             typeInto(TileId, "50");
             chooseName(TileTexture, "x.png");
             chooseName(TileMaterial, "Stone");
             click(TileAdd);
         }},
        {"Undo Update Tile 10", 3,
         [this] {
             clickRow(TilesList, 0);
             chooseName(TileMaterial, "Grass");
             click(TileUpdate);
         }},
        {"Undo Delete Tile 3", 3,
         [this] {
             clickRow(TilesList, 2);
             click(TileDelete);
         }},
        {"Undo Sort Tiles", 3, [this] { click(TileSort); }},
        {"Undo New", 0,
         [this] {
             dialogs.answers.push_back(Answer::Yes);
             chooseMenu(editor::menu::New);
         }},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.undoText);
        openSample();
        EXPECT_FALSE(itemEnabled("Undo"));
        EXPECT_EQ(itemText("Undo"), "Undo");
        const Snapshot before = snapshotOf(ed->doc());

        change.make();
        const Snapshot after = snapshotOf(ed->doc());
        ASSERT_NE(after, before);
        EXPECT_EQ(itemText("Undo"), change.undoText);
        EXPECT_FALSE(itemEnabled("Redo"));
        EXPECT_EQ(ed->session.history().undoCount(), 1u);   // one change, one step
        const std::string nameField = g().textField(MaterialName).text();
        const std::string idField = g().textField(TileId).text();

        choose("Undo");
        EXPECT_EQ(snapshotOf(ed->doc()), before);
        EXPECT_FALSE(itemEnabled("Undo"));
        EXPECT_EQ(itemText("Redo"), "Redo" + std::string(change.undoText).substr(4));
        // The change's tab in front, its lists as the tab rebuilds them, no row chosen, the
        // edit fields as they were.
        EXPECT_EQ(g().panel(Panel).state(), change.tab);
        EXPECT_EQ(g().listView(MaterialsList).rowCount(), static_cast<int>(ed->doc().materials.size()));
        EXPECT_EQ(g().choiceBox(TileMaterial).count(), static_cast<int>(ed->doc().materials.size()));
        EXPECT_EQ(g().listView(TexturesList).rowCount(), static_cast<int>(ed->doc().textures.size()));
        EXPECT_EQ(g().choiceBox(TileTexture).count(), static_cast<int>(ed->doc().textures.size()));
        const auto& tiles = document::LookUpTileGroup(ed->doc(), 1)->tiles;
        EXPECT_EQ(g().listView(TilesList).rowCount(), static_cast<int>(tiles.size()));
        if (!tiles.empty()) {
            EXPECT_EQ(g().listView(TilesList).rowText(0), document::NumberToText(tiles.at(0).id));
        }
        EXPECT_EQ(g().editableChoiceBox(TileWidth).text(), document::NumberToText(ed->doc().tileWidth));
        for (int list : {MaterialsList, TexturesList, TilesList}) EXPECT_EQ(g().listView(list).selectedRow(), -1);
        if (change.tab == 1) {
            EXPECT_EQ(ed->currentMaterialRow, -1);
        }
        if (change.tab == 3) {
            EXPECT_EQ(ed->currentTileRow, -1);
        }
        EXPECT_EQ(g().textField(MaterialName).text(), nameField);
        EXPECT_EQ(g().textField(TileId).text(), idField);

        // Back and forth: the same records each time.
        choose("Redo");
        EXPECT_EQ(snapshotOf(ed->doc()), after);
        EXPECT_EQ(g().panel(Panel).state(), change.tab);
        EXPECT_EQ(itemText("Undo"), change.undoText);
        choose("Undo");
        EXPECT_EQ(snapshotOf(ed->doc()), before);
    }
}

TEST_F(HistoryTest, ConsecutiveEditsOfOneBoxAreOneStep) {
    typeInto(TileWidth, "128");
    typeInto(TileWidth, "96");
    typeInto(TileHeight, "16");
    EXPECT_EQ(ed->session.history().undoCount(), 2u);
    choose("Undo");
    EXPECT_EQ(ed->doc().tileHeight, 32);
    choose("Undo");
    EXPECT_EQ(ed->doc().tileWidth, 64);
    EXPECT_EQ(g().editableChoiceBox(TileWidth).text(), "64");
    EXPECT_FALSE(itemEnabled("Undo"));

    // Typed back to where it started: no step at all.
    typeInto(TileWidth, "6");
    typeInto(TileWidth, "64");
    EXPECT_EQ(ed->session.history().undoCount(), 0u);
    EXPECT_FALSE(itemEnabled("Redo"));
}

TEST_F(HistoryTest, UndoingBackToTheSavedStateLeavesNothingToSave) {
    // Saved after one change; a second change, undone: nothing to ask on Close. The
    // restored texture is the same record, so the fingerprint is the saved one again.
    clickRow(MaterialsList, 0);
    typeInto(MaterialName, "Sand");
    click(MaterialAdd);
    dialogs.paths.push_back("../../Data/TileSets/saved");
    chooseMenu(editor::menu::Save);
    showTab(0);
    EXPECT_EQ(label(InfoChanges), "Unsaved changes: none");
    EXPECT_EQ(label(InfoFile), "File: ../../Data/TileSets/saved.mrqt");

    clickRowOf(TexturesList, "ab");
    click(TextureDelete);
    EXPECT_TRUE(ed->session.hasUnsavedChanges());
    // With the focus on a button, the keys reach the Edit menu.
    QTest::keyClick(window(), Qt::Key_Z, Qt::ControlModifier);
    settle();
    EXPECT_EQ(g().panel(Panel).state(), 2);
    showTab(0);
    EXPECT_EQ(label(InfoChanges), "Unsaved changes: none");
    chooseMenu(editor::menu::Close);
    EXPECT_EQ(ed->frame.running, 0);
    EXPECT_EQ(questionsAsked(), 0);

    // Redo by either key, then undo past the save: now there is something to save.
    ed->frame.running = 1;
    click(TextureExport);   // nothing selected: does nothing, but takes the focus
    QTest::keyClick(window(), Qt::Key_Y, Qt::ControlModifier);
    settle();
    EXPECT_EQ(document::FindTexture(ed->doc(), "ab"), nullptr);
    choose("Undo");
    QTest::keyClick(window(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    settle();
    EXPECT_EQ(document::FindTexture(ed->doc(), "ab"), nullptr);
    choose("Undo");
    choose("Undo");
    EXPECT_EQ(ed->doc().materials.size(), 3u);
    dialogs.answers.push_back(Answer::Cancel);
    chooseMenu(editor::menu::Close);
    EXPECT_EQ(questionsAsked(), 1);
    EXPECT_EQ(ed->frame.running, 1);

    // New counts as unchanged; undoing it brings the saved file's mark back with it.
    choose("Redo");
    dialogs.answers.push_back(Answer::Yes);
    chooseMenu(editor::menu::New);
    EXPECT_EQ(label(InfoFile), "File: not saved yet");
    choose("Undo");
    showTab(0);
    EXPECT_EQ(label(InfoFile), "File: ../../Data/TileSets/saved.mrqt");
    EXPECT_EQ(label(InfoChanges), "Unsaved changes: none");
    dialogs.clearShown();
    chooseMenu(editor::menu::Close);
    EXPECT_EQ(ed->frame.running, 0);
    EXPECT_EQ(questionsAsked(), 0);
}

TEST_F(HistoryTest, OpenStartsAFreshHistory) {
    click(TileSort);
    EXPECT_TRUE(itemEnabled("Undo"));
    dialogs.answers.push_back(Answer::No);
    dialogs.paths.push_back("../../Data/TileSets/sample.mrqt");
    chooseMenu(editor::menu::Open);
    EXPECT_FALSE(itemEnabled("Undo"));
    EXPECT_FALSE(itemEnabled("Redo"));
    EXPECT_EQ(ed->session.history().undoCount(), 0u);
}

TEST_F(HistoryTest, KeepsToItsLimitsOldestStepsFirst) {
    // At most the step limit, the oldest going first.
    for (int i = 0; i < 1005; ++i) {
        ed->session.run(editor::ChangeTileSize(true, i + 1));
        ed->session.history().seal();
    }
    EXPECT_EQ(ed->session.history().undoCount(), editor::History::kMaxSteps);
    EXPECT_GE(editor::History::kMaxSteps, 1000u);
    EXPECT_EQ(editor::History::kMaxHeldBytes, std::size_t{256} << 20);
    ed->session.history().clear();

    // Texture bytes the document no longer holds: with room for two 400-byte textures, the
    // third delete lets the first go.
    for (const char* name : {"t1.png", "t2.png", "t3.png"})
        PutSampleTexture(ed->session.documentToChange(), name, std::string(400, 'x'));
    editor::RefreshGadgets(*ed);
    settle();
    ed->session.history().setLimits(editor::History::kMaxSteps, 1000);
    for (const char* name : {"t1.png", "t2.png", "t3.png"}) {
        clickRowOf(TexturesList, name);
        click(TextureDelete);
        EXPECT_LE(ed->session.history().heldBytes(), 1000u);
    }
    EXPECT_EQ(ed->session.history().undoCount(), 2u);
    EXPECT_EQ(ed->session.history().heldBytes(), 800u);
    choose("Undo");
    choose("Undo");
    EXPECT_NE(document::FindTexture(ed->doc(), "t2.png"), nullptr);
    EXPECT_NE(document::FindTexture(ed->doc(), "t3.png"), nullptr);
    EXPECT_EQ(document::FindTexture(ed->doc(), "t1.png"), nullptr);
    EXPECT_FALSE(itemEnabled("Undo"));
    EXPECT_EQ(ed->session.history().heldBytes(), 0u);

    // A step that alone is over the limit goes as soon as it holds its bytes; the step
    // after it can still be redone from there.
    ed->session.history().setLimits(editor::History::kMaxSteps, 300);
    choose("Redo");
    EXPECT_EQ(document::FindTexture(ed->doc(), "t2.png"), nullptr);
    EXPECT_FALSE(itemEnabled("Undo"));
    EXPECT_EQ(itemText("Redo"), "Redo Delete Texture t3.png");
    EXPECT_EQ(ed->session.history().heldBytes(), 0u);
}

TEST_F(HistoryTest, AltKeysOpenTheMenusAndEditSitsRightAfterFile) {
    QMenu* file = nullptr;
    QMenu* edit = nullptr;
    QRect fileTitle;
    QRect editTitle;
    auto* bar = window()->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    for (QAction* title : bar->actions()) {
        const QRect at(bar->mapTo(window(), bar->actionGeometry(title).topLeft()), bar->actionGeometry(title).size());
        if (title->text() == "&File") {
            file = title->menu();
            fileTitle = at;
        }
        if (title->text() == "&Edit") {
            edit = title->menu();
            editTitle = at;
        }
    }
    ASSERT_NE(file, nullptr);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(editTitle.top(), fileTitle.top());
    EXPECT_GE(editTitle.left(), fileTitle.right());
    EXPECT_LE(editTitle.left(), fileTitle.right() + 8);

    click(TileSort);   // the focus on a button
    QTest::keyClick(window(), Qt::Key_E, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return edit->isVisible(); }, 2000));
    EXPECT_EQ(edit->actions().front()->text().toStdString(), "Undo Sort Tiles");
    QTest::keyClick(edit, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !edit->isVisible(); }, 2000));
    QTest::keyClick(window(), Qt::Key_F, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return file->isVisible(); }, 2000));
    // One bar: the right arrow goes on from the open File menu to Edit, the left one back.
    QTest::keyClick(file, Qt::Key_Right);
    ASSERT_TRUE(QTest::qWaitFor([&] { return edit->isVisible() && !file->isVisible(); }, 2000));
    QTest::keyClick(edit, Qt::Key_Left);
    ASSERT_TRUE(QTest::qWaitFor([&] { return file->isVisible() && !edit->isVisible(); }, 2000));
    QTest::keyClick(file, Qt::Key_Escape);
    settle();
}
