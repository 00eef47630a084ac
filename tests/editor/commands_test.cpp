// The command layer below the tabs: the changes of many tiles at once that the Tile Palette
// makes, one step each way, and the session's count of changes and its one answer to
// "unsaved changes?".

#include <QTest>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "document/restore.h"
#include "editor/command.h"
#include "editor/editmenu.h"
#include "editor/refresh.h"
#include "editor/session.h"
#include "editor/tilecommands.h"
#include "editor/tilesetcommands.h"
#include "fixture.h"
#include "tempfolder.h"
#include "tilesetfile/format.h"

using namespace editor::gadget;
namespace part = editor::part;

namespace {

// Tiles 1 to `count` in order, each naming a.png and the one shared text "Grass", layer 0,
// collision 0.
void putTiles(editor::Session& session, int count) {
    document::TileGroup& group = *document::LookUpTileGroup(session.documentToChange(), document::kTileGroup);
    const document::SharedText texture("a.png");
    const document::SharedText grass("Grass");
    for (int id = 1; id <= count; ++id) {
        group.tiles.moveToLast();
        document::AddTile(group, id, texture, grass, 0, 0);
    }
}

const document::TileGroup& tilesOf(const editor::Session& session) {
    return *document::LookUpTileGroup(session.doc(), document::kTileGroup);
}

std::vector<std::string> materials(const editor::Session& session) {
    std::vector<std::string> names;
    for (const auto& tile : tilesOf(session).tiles.items()) names.push_back(tile->material.str());
    return names;
}

}  // namespace

TEST(Commands, TheMaterialLayerOrCollisionOfManyTilesIsOneStepEachWay) {
    editor::Session session;
    putTiles(session, 5);
    const document::SharedText grass = tilesOf(session).tiles.at(0).material;
    const std::uint64_t fingerprint = document::ContentFingerprint(session.doc());

    // Positions in any order, each counted once.
    EXPECT_EQ(session.run(editor::SetMaterialOfTiles({3, 1, 3}, "Stone")), part::TileValues);
    EXPECT_EQ(session.history().undoName(), "Set Material of 2 Tiles");
    EXPECT_EQ(materials(session), (std::vector<std::string>{"Grass", "Stone", "Grass", "Stone", "Grass"}));
    EXPECT_TRUE(tilesOf(session).tiles.at(1).material.sharesWith(tilesOf(session).tiles.at(3).material));
    EXPECT_EQ(session.undo(), part::TileValues);
    EXPECT_EQ(document::ContentFingerprint(session.doc()), fingerprint);
    EXPECT_TRUE(tilesOf(session).tiles.at(1).material.sharesWith(grass));   // the very text it held
    EXPECT_EQ(session.redo(), part::TileValues);
    EXPECT_EQ(materials(session)[3], "Stone");

    EXPECT_EQ(session.run(editor::SetLayerOfTiles({4}, 7)), part::TileValues);
    EXPECT_EQ(session.history().undoName(), "Set Layer of 1 Tile");
    EXPECT_EQ(tilesOf(session).tiles.at(4).layer, 7);
    EXPECT_EQ(session.run(editor::SetCollisionOfTiles({0, 1, 2, 3, 4}, 2)), part::TileValues);
    EXPECT_EQ(session.history().undoName(), "Set Collision of 5 Tiles");
    for (const auto& tile : tilesOf(session).tiles.items()) EXPECT_EQ(tile->collision, 2);
    EXPECT_EQ(session.history().undoCount(), 3u);

    // Nothing to change, or a tile that is not there: no step, nothing changed.
    const std::uint64_t count = session.changeCount();
    EXPECT_EQ(session.run(editor::SetCollisionOfTiles({1, 2}, 2)), 0u);
    EXPECT_EQ(session.run(editor::SetLayerOfTiles({0, 5}, 9)), 0u);
    EXPECT_EQ(session.run(editor::SetLayerOfTiles({}, 9)), 0u);
    EXPECT_EQ(tilesOf(session).tiles.at(0).layer, 0);
    EXPECT_EQ(session.history().undoCount(), 3u);
    EXPECT_EQ(session.history().undoName(), "Set Collision of 5 Tiles");

    for (int i = 0; i < 3; ++i) session.undo();
    EXPECT_EQ(document::ContentFingerprint(session.doc()), fingerprint);
    EXPECT_GT(session.changeCount(), count);
}

TEST(Commands, ManyTilesDeletedAtOnceComeBackWhereTheyWere) {
    editor::Session session;
    putTiles(session, 8);
    document::TileGroup& group = *document::LookUpTileGroup(session.documentToChange(), document::kTileGroup);
    group.tiles.selectAt(6);
    const std::vector<document::Tile*> before = document::TileOrder(group);

    EXPECT_EQ(session.run(editor::RemoveTiles({7, 2, 3, 0})), part::Tiles);
    EXPECT_EQ(session.history().undoName(), "Delete 4 Tiles");
    EXPECT_EQ(document::TileOrder(tilesOf(session)),
              (std::vector<document::Tile*>{before[1], before[4], before[5], before[6]}));
    EXPECT_EQ(tilesOf(session).tileIndex.count(8), 0u);
    EXPECT_EQ(tilesOf(session).tiles.cursor(), -1);   // before the first one deleted

    EXPECT_EQ(session.undo(), part::Tiles);
    EXPECT_EQ(document::TileOrder(tilesOf(session)), before);
    EXPECT_EQ(tilesOf(session).tileIndex.at(8), before[7]);
    EXPECT_EQ(tilesOf(session).tiles.cursor(), 6);
    EXPECT_EQ(session.redo(), part::Tiles);
    EXPECT_EQ(tilesOf(session).tiles.size(), 4u);

    EXPECT_EQ(session.run(editor::RemoveTiles({1})), part::Tiles);
    EXPECT_EQ(session.history().undoName(), "Delete 1 Tile");
    // Past the end of the list: refused whole.
    EXPECT_EQ(session.run(editor::RemoveTiles({0, 3})), 0u);
    EXPECT_EQ(tilesOf(session).tiles.size(), 3u);
}

TEST(Commands, TheSessionCountsChangesAndAnswersUnsavedChangesOnce) {
    testsupport::TempFolder folder;
    ASSERT_FALSE(folder.path().empty());
    editor::Session session;
    EXPECT_FALSE(session.hasUnsavedChanges());
    EXPECT_EQ(session.savedMark().path, "");

    const std::uint64_t fresh = session.changeCount();
    session.run(editor::ChangeTileSize(true, 32));
    EXPECT_GT(session.changeCount(), fresh);
    EXPECT_TRUE(session.hasUnsavedChanges());
    const std::uint64_t changed = session.changeCount();
    EXPECT_TRUE(session.hasUnsavedChanges());
    EXPECT_EQ(session.changeCount(), changed);   // asking is no change
    session.undo();
    EXPECT_FALSE(session.hasUnsavedChanges());
    session.redo();

    // Saved, it belongs to its file and has nothing to save; the next change counts again.
    const std::string path = (folder.path() / "a.mrqt").string();
    ASSERT_TRUE(session.save(path).ok);
    EXPECT_FALSE(session.hasUnsavedChanges());
    EXPECT_EQ(session.savedMark().path, path);
    session.run(editor::ChangeTileSize(true, 48));
    EXPECT_TRUE(session.hasUnsavedChanges());

    // A file that ends early is opened as far as it goes, and says so until it is saved.
    std::vector<std::uint8_t> bytes = marquetor::tilesetfile::SaveTileSetToMemory(session.doc());
    bytes.resize(bytes.size() - 3);
    const std::string cut = (folder.path() / "cut.mrqt").string();
    {
        std::ofstream out(cut, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    EXPECT_EQ(session.open(cut).status, marquetor::tilesetfile::LoadStatus::Truncated);
    EXPECT_TRUE(session.savedMark().dataEndedEarly);
    EXPECT_FALSE(session.hasUnsavedChanges());
    EXPECT_EQ(session.history().undoCount(), 0u);
    ASSERT_TRUE(session.save(path).ok);
    EXPECT_FALSE(session.savedMark().dataEndedEarly);

    // A file that cannot be opened leaves the document, its history and its mark alone.
    session.run(editor::ChangeTileSize(false, 16));
    EXPECT_EQ(session.open((folder.path() / "missing.mrqt").string()).code(), 0);
    EXPECT_EQ(session.history().undoCount(), 1u);
    EXPECT_TRUE(session.hasUnsavedChanges());
    EXPECT_EQ(session.savedMark().path, path);
}

namespace {

class BatchOnTheTabs : public EditorFixture {
protected:
    void SetUp() override {
        EditorFixture::SetUp();
        document::TileSet& doc = ed->session.documentToChange();
        for (const char* name : {"Grass", "Water"}) {
            doc.materials.moveToLast();
            document::AddMaterial(doc, name, 0, "");
        }
        putTiles(ed->session, 4);
        editor::RefreshGadgets(*ed);
        settle();
    }
};

}  // namespace

TEST_F(BatchOnTheTabs, AChangeOfManyTilesShowsInTheTilesTabAsItsOwnUpdateWould) {
    clickRow(TilesList, 2);
    ASSERT_EQ(ed->currentTileRow, 2);

    // As the palette will hand it over: one command, then the one refresh from its parts.
    editor::Refresh(*ed, ed->session.run(editor::SetMaterialOfTiles({0, 2}, "Water")));
    settle();
    EXPECT_EQ(g().listView(TilesList).cellText(0, 2), "Water");
    EXPECT_EQ(g().listView(TilesList).cellText(1, 2), "Grass");
    EXPECT_EQ(g().listView(TilesList).cellText(2, 2), "Water");
    EXPECT_EQ(g().listView(TilesList).selectedRow(), 2);   // kept, as after the tab's Update
    EXPECT_EQ(ed->currentTileRow, 2);

    // Undone from the Edit menu: the Tiles tab in front, its list rebuilt with nothing chosen.
    showTab(0);
    editor::UndoCommand(*ed);
    settle();
    EXPECT_EQ(g().panel(Panel).state(), 3);
    EXPECT_EQ(g().listView(TilesList).cellText(2, 2), "Grass");
    EXPECT_EQ(g().listView(TilesList).selectedRow(), -1);
    EXPECT_EQ(ed->currentTileRow, -1);

    editor::RedoCommand(*ed);
    editor::Refresh(*ed, ed->session.run(editor::RemoveTiles({1, 3})));
    settle();
    EXPECT_EQ(g().listView(TilesList).rowCount(), 2);
    EXPECT_EQ(g().listView(TilesList).cellText(1, 0), "3");
}
