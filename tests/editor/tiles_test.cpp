// The Tiles tab: selecting a tile into the editors, the texture preview, Add with its
// checks and the advancing ID, Update in place, Delete, Sort.

#include <QByteArray>
#include <QColor>
#include <QComboBox>
#include <QImage>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "document/text.h"
#include "editor/command.h"
#include "editor/eventloop.h"
#include "editor/refresh.h"
#include "editor/materialstab.h"
#include "editor/texturestab.h"
#include "editor/tilestab.h"
#include "fixture.h"
#include "sampletileset.h"
#include "testpicture.h"
#include "tilesetfile/format.h"

using namespace editor::gadget;
namespace fs = std::filesystem;
namespace tsf = marquetor::tilesetfile;

namespace {

constexpr char kInvalidId[] = "The ID is invalid or already exists!";
constexpr char kNoTexture[] = "No texture selected!";
constexpr char kNoMaterial[] = "No material selected!";
constexpr char kIdExists[] = "The ID already exists!";

struct TileRow {
    int id;
    const char* texture;
    const char* material;
    int layer;
    int collision;
};

// Textures grass.png (green), water.png (blue) and broken.png (no picture); materials Grass,
// Stone, Water in that order; group 1 with the given tiles in that order.
document::TileSet tileSetWith(std::initializer_list<TileRow> tiles) {
    document::TileSet set;
    set.tileWidth = 64;
    set.tileHeight = 64;
    document::AddTileGroup(set, 1);
    for (const char* name : {"Grass", "Stone", "Water"}) {
        set.materials.moveToLast();
        document::AddMaterial(set, name, 0, "");
    }
    PutSampleTexture(set, "grass.png", PngOfColour(QColor(0, 200, 0), 16, 16));
    PutSampleTexture(set, "water.png", PngOfColour(QColor(0, 0, 220), 16, 16));
    PutSampleTexture(set, "broken.png", "no picture here");
    document::TileGroup* group = document::FindTileGroup(set, 1);
    for (const TileRow& t : tiles) {
        group->tiles.moveToLast();
        document::AddTile(set, 1, t.id, t.texture, t.material, static_cast<std::int16_t>(t.layer),
                          static_cast<std::int16_t>(t.collision));
    }
    return set;
}

class TilesTest : public EditorFixture {
protected:
    // Puts a document into the editor as Open would, and shows the Tiles tab.
    void load(document::TileSet set) {
        ed->session.documentToChange() = std::move(set);
        editor::RefreshGadgets(*ed);
        settle();
        showTab(3);
    }

    // Chooses the entry with exactly these bytes, as a user picks it from the list.
    void choose(int choiceGadget, std::string_view name) {
        platform::ChoiceBox& box = g().choiceBox(choiceGadget);
        for (int i = 0; i < box.count(); ++i) {
            if (box.itemText(i) == name) {
                chooseItem(choiceGadget, i);
                return;
            }
        }
        ADD_FAILURE() << "no entry " << name << " in gadget " << choiceGadget;
    }

    // ID, texture and material typed and chosen, then Add clicked.
    void addTile(std::string_view id, std::string_view texture, std::string_view material) {
        typeInto(TileId, id);
        choose(TileTexture, texture);
        choose(TileMaterial, material);
        click(TileAdd);
    }

    const document::TileGroup& group() { return *document::LookUpTileGroup(ed->doc(), 1); }
    std::vector<int> documentIds() {
        std::vector<int> ids;
        for (const auto& tile : group().tiles.items()) ids.push_back(tile->id);
        return ids;
    }
    std::vector<std::string> listIds() {
        std::vector<std::string> ids;
        for (int r = 0; r < g().listView(TilesList).rowCount(); ++r) ids.push_back(g().listView(TilesList).cellText(r, 0));
        return ids;
    }
    std::vector<std::string> rowCells(int row) {
        std::vector<std::string> cells;
        for (int c = 0; c < 5; ++c) cells.push_back(g().listView(TilesList).cellText(row, c));
        return cells;
    }
    const document::Tile& tileAt(std::size_t pos) { return group().tiles.at(pos); }

    // The colour at the middle of the scratch image the preview was made from.
    QColor previewColour() {
        const auto& p = ed->scratch.pixels();
        if (p.width <= 0 || p.height <= 0) return QColor();
        const std::size_t at = (static_cast<std::size_t>(p.height / 2) * static_cast<std::size_t>(p.width) +
                                static_cast<std::size_t>(p.width / 2)) * 4;
        return QColor(p.pixels[at], p.pixels[at + 1], p.pixels[at + 2]);
    }
    bool previewShown() { return g().image(TilePreview).hasImage(); }

    int selectedRow() { return g().listView(TilesList).selectedRow(); }
    std::string idField() { return g().textField(TileId).text(); }
};

}  // namespace

TEST_F(TilesTest, AddIntoAnEmptyDocumentTakesRowZeroAndAdvancesTheId) {
    load(tileSetWith({}));
    addTile("1", "water.png", "Stone");

    EXPECT_TRUE(messages().empty());
    ASSERT_EQ(g().listView(TilesList).rowCount(), 1);
    EXPECT_EQ(rowCells(0), (std::vector<std::string>{"1", "water.png", "Stone", "0", "0"}));
    ASSERT_EQ(documentIds(), std::vector<int>{1});
    EXPECT_EQ(tileAt(0).texture, "water.png");
    EXPECT_EQ(tileAt(0).material, "Stone");
    EXPECT_EQ(group().tileIndex.at(1), &tileAt(0));
    EXPECT_EQ(idField(), "2");
    // The new tile is current, but no row is highlighted.
    EXPECT_EQ(ed->currentTileRow, 0);
    EXPECT_EQ(selectedRow(), -1);
    // The other editors keep their values for the next tile.
    EXPECT_EQ(g().choiceBox(TileTexture).text(), "water.png");
    EXPECT_EQ(g().choiceBox(TileMaterial).text(), "Stone");
}

TEST_F(TilesTest, AddRefusesAnIdThatReadsAsZero) {
    load(tileSetWith({{5, "grass.png", "Grass", 0, 0}}));
    // With nothing chosen and with everything chosen: the ID is checked first.
    for (const char* id : {"0", "", "000", "4294967296"}) {
        typeInto(TileId, id);
        click(TileAdd);
    }
    choose(TileTexture, "grass.png");
    choose(TileMaterial, "Grass");
    for (const char* id : {"0", ""}) {
        typeInto(TileId, id);
        click(TileAdd);
    }
    EXPECT_EQ(messages(), std::vector<std::string>(6, kInvalidId));
    for (const auto& shown : dialogs.shown) EXPECT_EQ(shown.title, "Marquetor [Build 2011-01-10]");
    EXPECT_EQ(documentIds(), std::vector<int>{5});
    EXPECT_EQ(g().listView(TilesList).rowCount(), 1);
    EXPECT_EQ(idField(), "");
    EXPECT_EQ(ed->currentTileRow, -1);
}

TEST_F(TilesTest, AddChecksTheTextureBeforeTheMaterial) {
    load(tileSetWith({}));
    typeInto(TileId, "7");
    click(TileAdd);
    EXPECT_EQ(messages(), std::vector<std::string>{kNoTexture});

    dialogs.clearShown();
    choose(TileTexture, "grass.png");
    click(TileAdd);
    EXPECT_EQ(messages(), std::vector<std::string>{kNoMaterial});

    EXPECT_TRUE(group().tiles.empty());
    EXPECT_EQ(g().listView(TilesList).rowCount(), 0);
    EXPECT_EQ(idField(), "7");
}

TEST_F(TilesTest, AddOfATakenIdChangesNothing) {
    load(tileSetWith({{3, "grass.png", "Grass", 1, 1}, {4, "water.png", "Water", 2, 0}}));
    clickRow(TilesList, 0);
    addTile("4", "water.png", "Stone");

    EXPECT_EQ(messages(), std::vector<std::string>{kIdExists});
    EXPECT_EQ(idField(), "4");
    EXPECT_EQ(documentIds(), (std::vector<int>{3, 4}));
    EXPECT_EQ(tileAt(1).material, "Water");
    EXPECT_EQ(rowCells(1), (std::vector<std::string>{"4", "water.png", "Water", "2", "0"}));
    EXPECT_EQ(ed->currentTileRow, 0);
    EXPECT_EQ(selectedRow(), 0);
}

TEST_F(TilesTest, AddInsertsBehindTheCurrentRowOrAtTheEnd) {
    load(tileSetWith({{1, "grass.png", "Grass", 0, 0},
                      {2, "grass.png", "Grass", 0, 0},
                      {3, "grass.png", "Grass", 0, 0},
                      {4, "grass.png", "Grass", 0, 0}}));
    clickRow(TilesList, 1);
    EXPECT_EQ(idField(), "2");
    addTile("50", "water.png", "Water");
    EXPECT_EQ(documentIds(), (std::vector<int>{1, 2, 50, 3, 4}));
    EXPECT_EQ(listIds(), (std::vector<std::string>{"1", "2", "50", "3", "4"}));
    EXPECT_EQ(ed->currentTileRow, 2);
    EXPECT_EQ(selectedRow(), -1);

    // The new tile is what Update acts on, though no row is selected.
    typeInto(TileLayer, "9");
    click(TileUpdate);
    EXPECT_EQ(tileAt(2).id, 50);
    EXPECT_EQ(tileAt(2).layer, 9);
    EXPECT_EQ(rowCells(2)[3], "9");
    EXPECT_EQ(tileAt(1).layer, 0);

    // No row current in a list of three: the new tile goes to the end.
    load(tileSetWith({{1, "grass.png", "Grass", 0, 0}, {2, "grass.png", "Grass", 0, 0}, {3, "grass.png", "Grass", 0, 0}}));
    addTile("60", "grass.png", "Grass");
    EXPECT_EQ(documentIds(), (std::vector<int>{1, 2, 3, 60}));
    EXPECT_EQ(ed->currentTileRow, 3);
    EXPECT_TRUE(messages().empty());
}

TEST_F(TilesTest, AddPressedRepeatedlyEntersConsecutiveIds) {
    load(tileSetWith({{1, "grass.png", "Grass", 0, 0}, {2, "grass.png", "Grass", 0, 0}}));
    clickRow(TilesList, 0);
    typeInto(TileLayer, "3");
    chooseItem(TileCollision, 1);
    addTile("10", "water.png", "Water");
    click(TileAdd);
    click(TileAdd);

    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(documentIds(), (std::vector<int>{1, 10, 11, 12, 2}));
    EXPECT_EQ(idField(), "13");
    EXPECT_EQ(ed->currentTileRow, 3);
    for (int row = 1; row <= 3; ++row)
        EXPECT_EQ(rowCells(row), (std::vector<std::string>{std::to_string(9 + row), "water.png", "Water", "3", "1"}));
}

TEST_F(TilesTest, IdFieldAdvancesInSixtyFourBits) {
    load(tileSetWith({}));
    addTile("2147483647", "grass.png", "Grass");
    EXPECT_EQ(idField(), "2147483648");
    // That text keeps only its low 32 bits as an ID.
    click(TileAdd);
    EXPECT_EQ(documentIds(), (std::vector<int>{2147483647, -2147483647 - 1}));
    EXPECT_EQ(listIds(), (std::vector<std::string>{"2147483647", "-2147483648"}));
    EXPECT_EQ(idField(), "-2147483647");

    typeInto(TileId, "4294967295");
    click(TileAdd);
    EXPECT_EQ(tileAt(2).id, -1);
    EXPECT_EQ(rowCells(2)[0], "-1");
    EXPECT_EQ(idField(), "0");
    EXPECT_TRUE(messages().empty());

    click(TileAdd);
    EXPECT_EQ(messages(), std::vector<std::string>{kInvalidId});
    EXPECT_EQ(group().tiles.size(), 3u);
}

TEST_F(TilesTest, SelectingATileLoadsTheEditors) {
    load(tileSetWith({{-5, "water.png", "Water", 200, 3}}));
    addTile("8", "grass.png", "Stone");
    chooseItem(TileCollision, 1);
    typeInto(TileLayer, "17");
    typeInto(TileId, "9");
    click(TileAdd);
    EXPECT_EQ(rowCells(2), (std::vector<std::string>{"9", "grass.png", "Stone", "17", "1"}));

    clickRow(TilesList, 0);
    EXPECT_EQ(ed->currentTileRow, 0);
    EXPECT_EQ(idField(), "-5");
    EXPECT_EQ(g().choiceBox(TileTexture).text(), "water.png");
    EXPECT_EQ(g().choiceBox(TileMaterial).text(), "Water");
    EXPECT_EQ(g().spinBox(TileLayer).value(), 200);
    EXPECT_EQ(g().choiceBox(TileCollision).text(), "3");
    ASSERT_TRUE(previewShown());
    EXPECT_EQ(ed->scratch.width(), 128);
    EXPECT_EQ(ed->scratch.height(), 128);
    EXPECT_EQ(previewColour(), QColor(0, 0, 220));

    // Collision "True" was listed as "1" and is chosen again.
    clickRow(TilesList, 2);
    EXPECT_EQ(ed->currentTileRow, 2);
    EXPECT_EQ(idField(), "9");
    EXPECT_EQ(g().choiceBox(TileCollision).state(), 1);
    EXPECT_EQ(g().choiceBox(TileCollision).text(), "True");
    EXPECT_EQ(g().spinBox(TileLayer).value(), 17);
    EXPECT_EQ(g().choiceBox(TileMaterial).text(), "Stone");
    EXPECT_EQ(previewColour(), QColor(0, 200, 0));

    // Clearing the selection ends the current row; the editors keep their contents.
    clickBelowRows(TilesList);
    EXPECT_EQ(ed->currentTileRow, -1);
    EXPECT_EQ(idField(), "9");
    EXPECT_TRUE(previewShown());
    EXPECT_TRUE(messages().empty());
}

TEST_F(TilesTest, ChoosingATextureOnlyChangesThePreview) {
    load(tileSetWith({{1, "grass.png", "Grass", 0, 0}}));
    clickRow(TilesList, 0);
    EXPECT_EQ(previewColour(), QColor(0, 200, 0));
    choose(TileTexture, "water.png");
    EXPECT_TRUE(previewShown());
    EXPECT_EQ(previewColour(), QColor(0, 0, 220));
    EXPECT_EQ(tileAt(0).texture, "grass.png");
    EXPECT_EQ(rowCells(0)[1], "grass.png");

    // Bytes that are no picture show nothing.
    choose(TileTexture, "broken.png");
    EXPECT_FALSE(previewShown());
    EXPECT_EQ(tileAt(0).texture, "grass.png");
}

TEST_F(TilesTest, SelectingATileWhoseTextureIsGoneShowsNoPreview) {
    load(tileSetWith({{1, "gone.png", "Lava", 0, 0}, {2, "water.png", "Water", 0, 0}, {3, "broken.png", "Grass", 0, 0}}));
    const std::vector<std::string> names = ed->doc().textures.names();
    clickRow(TilesList, 1);
    ASSERT_TRUE(previewShown());

    clickRow(TilesList, 0);
    EXPECT_FALSE(previewShown());
    // Names the boxes do not offer leave their choices as they were.
    EXPECT_EQ(g().choiceBox(TileTexture).text(), "water.png");
    EXPECT_EQ(g().choiceBox(TileMaterial).text(), "Water");
    EXPECT_EQ(idField(), "1");
    EXPECT_EQ(ed->doc().textures.names(), names);
    EXPECT_EQ(document::FindTexture(ed->doc(), "gone.png"), nullptr);

    // A texture that does not decode gives an empty preview too.
    clickRow(TilesList, 1);
    clickRow(TilesList, 2);
    EXPECT_FALSE(previewShown());
    EXPECT_EQ(g().choiceBox(TileTexture).text(), "broken.png");
    EXPECT_TRUE(messages().empty());
}

TEST_F(TilesTest, UpdateRewritesItsOwnRowAndNeverTheId) {
    load(tileSetWith({{1, "grass.png", "Grass", 0, 0}, {2, "grass.png", "Grass", 0, 0}, {3, "water.png", "Water", 4, 2}}));
    clickRow(TilesList, 1);
    choose(TileTexture, "water.png");
    choose(TileMaterial, "Stone");
    typeInto(TileLayer, "12");
    chooseItem(TileCollision, 5);
    typeInto(TileId, "99");
    click(TileUpdate);

    EXPECT_EQ(documentIds(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(tileAt(1).texture, "water.png");
    EXPECT_EQ(tileAt(1).material, "Stone");
    EXPECT_EQ(tileAt(1).layer, 12);
    EXPECT_EQ(tileAt(1).collision, 5);
    EXPECT_EQ(group().tileIndex.count(99), 0u);
    EXPECT_EQ(rowCells(1), (std::vector<std::string>{"2", "water.png", "Stone", "12", "5"}));
    EXPECT_EQ(rowCells(0), (std::vector<std::string>{"1", "grass.png", "Grass", "0", "0"}));
    EXPECT_EQ(rowCells(2), (std::vector<std::string>{"3", "water.png", "Water", "4", "2"}));
    // Written in place: the row is still selected and current (a rebuild would clear it).
    EXPECT_EQ(selectedRow(), 1);
    EXPECT_EQ(ed->currentTileRow, 1);
    EXPECT_EQ(idField(), "99");

    // No texture chosen (the texture list changed since): the tile keeps its texture, the
    // rest is still replaced.
    PutSampleTexture(ed->session.documentToChange(), "sand.png", PngOfColour(Qt::yellow, 16, 16));
    editor::Refresh(*ed, editor::part::Textures);   // as the Textures tab does after an import
    settle();
    ASSERT_EQ(g().choiceBox(TileTexture).state(), -1);
    choose(TileMaterial, "Water");
    typeInto(TileLayer, "255");
    chooseItem(TileCollision, 0);
    click(TileUpdate);
    EXPECT_EQ(tileAt(1).texture, "water.png");
    EXPECT_EQ(rowCells(1), (std::vector<std::string>{"2", "water.png", "Water", "255", "0"}));

    // Without a current row Update does nothing.
    clickBelowRows(TilesList);
    ASSERT_EQ(ed->currentTileRow, -1);
    typeInto(TileLayer, "1");
    click(TileUpdate);
    EXPECT_EQ(tileAt(1).layer, 255);
    EXPECT_EQ(tileAt(0).layer, 0);
    EXPECT_TRUE(messages().empty());
}

TEST_F(TilesTest, DeleteOfTheFirstRowLeavesNoRowCurrent) {
    load(tileSetWith({{1, "grass.png", "Grass", 6, 1}, {2, "water.png", "Water", 0, 0}}));
    clickRow(TilesList, 0);
    click(TileDelete);

    EXPECT_EQ(documentIds(), std::vector<int>{2});
    EXPECT_EQ(group().tileIndex.count(1), 0u);
    EXPECT_EQ(listIds(), std::vector<std::string>{"2"});
    EXPECT_EQ(ed->currentTileRow, -1);
    EXPECT_EQ(selectedRow(), -1);
    // The editors still show the deleted tile.
    EXPECT_EQ(idField(), "1");
    EXPECT_EQ(g().spinBox(TileLayer).value(), 6);
    EXPECT_EQ(g().choiceBox(TileCollision).text(), "True");
    EXPECT_EQ(previewColour(), QColor(0, 200, 0));

    // Nothing current: Delete does nothing; textures and materials were never touched.
    click(TileDelete);
    EXPECT_EQ(documentIds(), std::vector<int>{2});
    EXPECT_EQ(ed->doc().textures.size(), 3u);
    EXPECT_EQ(ed->doc().materials.size(), 3u);
    EXPECT_TRUE(messages().empty());
}

TEST_F(TilesTest, DeleteSelectsTheRowAboveWhichLoadsTheEditorsInALaterCycle) {
    load(tileSetWith({{1, "grass.png", "Grass", 0, 0},
                      {2, "grass.png", "Grass", 0, 0},
                      {3, "water.png", "Stone", 7, 4},
                      {4, "grass.png", "Water", 1, 1}}));
    clickRow(TilesList, 3);
    ASSERT_EQ(idField(), "4");

    QTest::mouseClick(widgetOf(TileDelete), Qt::LeftButton);
    for (int cycle = 0; cycle < 50 && group().tileIndex.count(4) != 0; ++cycle) editor::RunCycle(*ed);
    ASSERT_EQ(group().tileIndex.count(4), 0u);
    // Row 2 is current and selected at once; its selection reaches the editors later.
    EXPECT_EQ(ed->currentTileRow, 2);
    EXPECT_EQ(selectedRow(), 2);
    EXPECT_EQ(idField(), "4");

    settle();
    EXPECT_EQ(idField(), "3");
    EXPECT_EQ(g().choiceBox(TileTexture).text(), "water.png");
    EXPECT_EQ(g().choiceBox(TileMaterial).text(), "Stone");
    EXPECT_EQ(g().spinBox(TileLayer).value(), 7);
    EXPECT_EQ(g().choiceBox(TileCollision).text(), "4");
    EXPECT_EQ(ed->currentTileRow, 2);
    EXPECT_EQ(listIds(), (std::vector<std::string>{"1", "2", "3"}));

    // Delete again walks up the list.
    click(TileDelete);
    EXPECT_EQ(documentIds(), (std::vector<int>{1, 2}));
    EXPECT_EQ(ed->currentTileRow, 1);
    EXPECT_EQ(idField(), "2");
}

TEST_F(TilesTest, SortOrdersBySignedIdInPlace) {
    load(tileSetWith({{10, "grass.png", "Grass", 0, 0}, {-5, "water.png", "Water", 0, 0}, {3, "grass.png", "Stone", 0, 0}}));
    const document::Tile* ten = group().tileIndex.at(10);
    clickRow(TilesList, 1);
    click(TileSort);

    EXPECT_EQ(documentIds(), (std::vector<int>{-5, 3, 10}));
    EXPECT_EQ(listIds(), (std::vector<std::string>{"-5", "3", "10"}));
    EXPECT_EQ(rowCells(0), (std::vector<std::string>{"-5", "water.png", "Water", "0", "0"}));
    // The records moved, they were not copied: the index still finds each.
    EXPECT_EQ(&tileAt(2), ten);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(group().tileIndex.at(tileAt(i).id), &tileAt(i));
    EXPECT_EQ(ed->currentTileRow, -1);
    EXPECT_EQ(selectedRow(), -1);
    EXPECT_EQ(idField(), "-5");

    // Until a row is chosen, Update and Delete do nothing.
    typeInto(TileLayer, "8");
    click(TileUpdate);
    click(TileDelete);
    EXPECT_EQ(documentIds(), (std::vector<int>{-5, 3, 10}));
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(tileAt(i).layer, 0);
}

TEST_F(TilesTest, ChoiceBoxesHaveNothingChosenAfterTheOtherTabsChangeTheirLists) {
    writeFile(textureDir / "sand.png", PngOfColour(Qt::yellow, 16, 16));
    writeFile(textureDir / "snow.png", PngOfColour(Qt::white, 16, 16));
    restart("");
    load(tileSetWith({}));
    addTile("1", "grass.png", "Grass");
    ASSERT_EQ(ed->currentTileRow, 0);
    auto explorerRow = [&](std::string_view name) {
        const platform::ExplorerList& explorer = g().explorerList(Explorer);
        for (int row = 0; row < explorer.rowCount(); ++row)
            if (explorer.rowText(row) == name) return row;
        return -1;
    };
    auto textureRow = [&](std::string_view name) {
        const platform::ListView& list = g().listView(TexturesList);
        for (int row = 0; row < list.rowCount(); ++row)
            if (list.rowText(row) == name) return row;
        return -1;
    };
    // Each change on another tab is followed by Add and Update here: Add finds nothing
    // chosen, Update keeps what the tile names.
    auto addAndUpdate = [&] {
        showTab(3);
        typeInto(TileId, "2");
        click(TileAdd);
        click(TileUpdate);
    };

    // A texture imported on the Textures tab.
    clickRow(Explorer, explorerRow("sand.png"));
    click(TextureAdd);
    ASSERT_EQ(g().choiceBox(TileTexture).count(), 4);
    EXPECT_EQ(g().choiceBox(TileTexture).state(), -1);
    EXPECT_EQ(g().choiceBox(TileMaterial).text(), "Grass");
    addAndUpdate();
    EXPECT_EQ(messages(), std::vector<std::string>{kNoTexture});
    EXPECT_EQ(tileAt(0).texture, "grass.png");

    // A texture deleted.
    choose(TileTexture, "water.png");
    clickRow(TexturesList, textureRow("sand.png"));
    click(TextureDelete);
    EXPECT_EQ(g().choiceBox(TileTexture).state(), -1);
    dialogs.clearShown();
    addAndUpdate();
    EXPECT_EQ(messages(), std::vector<std::string>{kNoTexture});

    // Materials added, updated, deleted and sorted on the Materials tab: the material box
    // has nothing chosen after each.
    choose(TileTexture, "water.png");
    const auto materialChange = [&](auto&& change) {
        choose(TileMaterial, "Stone");
        change();
        EXPECT_EQ(g().choiceBox(TileMaterial).state(), -1);
        dialogs.clearShown();
        addAndUpdate();
        EXPECT_EQ(messages(), std::vector<std::string>{kNoMaterial});
        EXPECT_EQ(tileAt(0).material, "Grass");
    };
    materialChange([&] {
        clickBelowRows(MaterialsList);
        typeInto(MaterialName, "Snow");
        click(MaterialAdd);
    });
    materialChange([&] {
        typeInto(Description, "cold");
        click(MaterialUpdate);
    });
    materialChange([&] { click(MaterialDelete); });
    materialChange([&] { click(MaterialSort); });

    // The texture chosen all along went into the tile at each Update; nothing was added.
    EXPECT_EQ(documentIds(), std::vector<int>{1});
    EXPECT_EQ(tileAt(0).texture, "water.png");
    EXPECT_EQ(rowCells(0), (std::vector<std::string>{"1", "water.png", "Grass", "0", "0"}));
    EXPECT_EQ(ed->doc().materials.size(), 3u);
}

TEST_F(TilesTest, OpenWhileARowIsCurrentLeavesNoneCurrent) {
    load(tileSetWith({{1, "grass.png", "Grass", 0, 0},
                      {2, "grass.png", "Grass", 0, 0},
                      {3, "grass.png", "Grass", 0, 0},
                      {4, "grass.png", "Grass", 0, 0},
                      {5, "grass.png", "Grass", 0, 0},
                      {6, "water.png", "Water", 9, 2}}));
    clickRow(TilesList, 5);
    ASSERT_EQ(ed->currentTileRow, 5);
    ASSERT_TRUE(tsf::SaveTileSet(SampleTileSet(), tileSetDir / "other.mrqt").ok);

    dialogs.answers.push_back(platform::Answer::No);   // in case unsaved changes are asked about
    dialogs.paths.push_back("../../Data/TileSets/other.mrqt");
    chooseMenu(editor::menu::Open);

    EXPECT_EQ(ed->currentTileRow, -1);
    EXPECT_EQ(selectedRow(), -1);
    EXPECT_EQ(documentIds(), (std::vector<int>{10, -5, 3}));
    EXPECT_EQ(idField(), "0");
    EXPECT_FALSE(previewShown());
    showTab(3);
    click(TileDelete);
    click(TileUpdate);
    EXPECT_EQ(documentIds(), (std::vector<int>{10, -5, 3}));
    EXPECT_EQ(tileAt(0).layer, 2);
}

TEST_F(TilesTest, OutOfRangeLayerAndCollisionFromAFileAreKeptUntilAnUpdate) {
    load(tileSetWith({{7, "grass.png", "Grass", 300, 9}, {8, "water.png", "Water", -4, -1}}));
    ASSERT_TRUE(tsf::SaveTileSet(ed->doc(), tileSetDir / "odd.mrqt").ok);
    dialogs.answers.push_back(platform::Answer::No);
    dialogs.paths.push_back("../../Data/TileSets/odd.mrqt");
    chooseMenu(editor::menu::Open);
    showTab(3);
    EXPECT_EQ(rowCells(0), (std::vector<std::string>{"7", "grass.png", "Grass", "300", "9"}));
    EXPECT_EQ(rowCells(1), (std::vector<std::string>{"8", "water.png", "Water", "-4", "-1"}));

    // Shown as the nearest layer the spin box has, and no collision entry chosen.
    clickRow(TilesList, 0);
    EXPECT_EQ(g().spinBox(TileLayer).value(), 255);
    EXPECT_EQ(g().choiceBox(TileCollision).state(), -1);
    EXPECT_EQ(g().choiceBox(TileCollision).text(), "");
    clickRow(TilesList, 1);
    EXPECT_EQ(g().spinBox(TileLayer).value(), 0);
    EXPECT_EQ(g().choiceBox(TileCollision).state(), -1);

    // Selecting changes nothing: a save writes the values as they came.
    dialogs.paths.push_back("../../Data/TileSets/kept.mrqt");
    chooseMenu(editor::menu::Save);
    {
        document::TileSet kept;
        document::AddTileGroup(kept, 1);
        ASSERT_EQ(tsf::LoadTileSet(kept, tileSetDir / "kept.mrqt").status, tsf::LoadStatus::Ok);
        const auto& tiles = document::LookUpTileGroup(kept, 1)->tiles;
        ASSERT_EQ(tiles.size(), 2u);
        EXPECT_EQ(tiles.at(0).layer, 300);
        EXPECT_EQ(tiles.at(0).collision, 9);
        EXPECT_EQ(tiles.at(1).layer, -4);
        EXPECT_EQ(tiles.at(1).collision, -1);
    }

    // Update stores what the editors show; with no collision entry chosen the class stays.
    clickRow(TilesList, 0);
    click(TileUpdate);
    EXPECT_EQ(tileAt(0).layer, 255);
    EXPECT_EQ(tileAt(0).collision, 9);
    EXPECT_EQ(rowCells(0), (std::vector<std::string>{"7", "grass.png", "Grass", "255", "9"}));
    chooseItem(TileCollision, 2);
    click(TileUpdate);
    EXPECT_EQ(tileAt(0).collision, 2);
    EXPECT_EQ(rowCells(0)[4], "2");

    // Add with no collision entry chosen gives the new tile "False", never -1.
    clickRow(TilesList, 1);
    ASSERT_EQ(g().choiceBox(TileCollision).state(), -1);
    typeInto(TileId, "20");
    click(TileAdd);
    ASSERT_EQ(documentIds(), (std::vector<int>{7, 8, 20}));
    EXPECT_EQ(tileAt(2).collision, 0);
    EXPECT_EQ(tileAt(2).layer, 0);
    EXPECT_EQ(tileAt(1).collision, -1);
    EXPECT_TRUE(messages().empty());
}

TEST_F(TilesTest, NamesAreChosenAndStoredByteForByte) {
    document::TileSet set = tileSetWith({});
    // Two textures and two materials whose names differ only in letter case, and a name
    // that is not UTF-8 (Windows-1252 "Café").
    PutSampleTexture(set, "Moss.png", PngOfColour(Qt::red, 16, 16));
    PutSampleTexture(set, "moss.png", PngOfColour(Qt::cyan, 16, 16));
    for (const char* name : {"Rock", "rock", "Caf\xe9"}) {
        set.materials.moveToLast();
        document::AddMaterial(set, name, 0, "");
    }
    // The tile names whichever texture the box lists second.
    std::string later;
    for (const std::string& name : set.textures.names())
        if (name == "Moss.png" || name == "moss.png") later = name;
    document::FindTileGroup(set, 1)->tiles.moveToLast();
    document::AddTile(set, 1, 1, later, "rock", 0, 0);
    load(std::move(set));

    clickRow(TilesList, 0);
    EXPECT_EQ(g().choiceBox(TileTexture).text(), later);
    EXPECT_EQ(g().choiceBox(TileMaterial).text(), "rock");
    EXPECT_EQ(previewColour(), later == "moss.png" ? QColor(Qt::cyan) : QColor(Qt::red));
    click(TileUpdate);
    EXPECT_EQ(tileAt(0).texture, later);
    EXPECT_EQ(tileAt(0).material, "rock");

    choose(TileMaterial, "Caf\xe9");
    EXPECT_EQ(g().choiceBox(TileMaterial).text(), "Caf\xe9");
    typeInto(TileId, "2");
    click(TileAdd);
    ASSERT_EQ(documentIds(), (std::vector<int>{1, 2}));
    EXPECT_EQ(tileAt(1).material, "Caf\xe9");
    EXPECT_EQ(rowCells(1)[2], "Caf\xe9");
    EXPECT_TRUE(messages().empty());
}

TEST_F(TilesTest, TileSetBuiltOnAllFourTabsIsFoundAgainInAFreshEditor) {
    // The example textures in three formats, put into the texture folder before the editor
    // starts (the folder browser lists the folder as it opens it).
    const fs::path examples = fs::path(MARQUETOR_SOURCE_DIR) / "examples/demo-game/Tools/Marquetor/TileSets/Textures";
    for (const char* name : {"grass.png", "stone.jpg", "lava.tga", "dirt.bmp"})
        fs::copy_file(examples / name, textureDir / name);
    restart("");

    // TileSet tab.
    typeInto(TileWidth, "32");
    chooseItem(TileHeight, 1);
    // Materials tab: each Add selects the new row, so the next one goes behind it.
    struct { const char* name; const char* r; const char* g; const char* b; const char* description; } materials[] = {
        {"Grass", "86", "160", "60", "Soft ground"}, {"Stone", "128", "128", "136", "Rock and walls"},
        {"Lava", "230", "80", "20", ""}};
    for (const auto& m : materials) {
        typeInto(MaterialName, m.name);
        typeInto(Red, m.r);
        typeInto(Green, m.g);
        typeInto(Blue, m.b);
        typeInto(Description, m.description);
        click(MaterialAdd);
    }
    // Textures tab: four imported from the folder, one deleted again.
    auto explorerRow = [&](std::string_view name) {
        const platform::ExplorerList& explorer = g().explorerList(Explorer);
        for (int row = 0; row < explorer.rowCount(); ++row)
            if (explorer.rowText(row) == name) return row;
        return -1;
    };
    for (const char* name : {"grass.png", "stone.jpg", "lava.tga", "dirt.bmp"}) {
        ASSERT_GE(explorerRow(name), 0) << name;
        clickRow(Explorer, explorerRow(name));
        click(TextureAdd);
    }
    const std::vector<std::string> texturesBeforeDelete = ed->doc().textures.names();
    const auto dirtRow = std::find(texturesBeforeDelete.begin(), texturesBeforeDelete.end(), "dirt.bmp");
    ASSERT_NE(dirtRow, texturesBeforeDelete.end());
    clickRow(TexturesList, static_cast<int>(dirtRow - texturesBeforeDelete.begin()));
    click(TextureDelete);
    ASSERT_EQ(ed->doc().textures.size(), 3u);
    ASSERT_EQ(g().choiceBox(TileTexture).count(), 3);

    // Tiles tab: a run of three, two more with their own layer and collision, one updated.
    addTile("1", "grass.png", "Grass");
    click(TileAdd);
    click(TileAdd);
    typeInto(TileLayer, "3");
    chooseItem(TileCollision, 1);
    addTile("10", "stone.jpg", "Stone");
    typeInto(TileLayer, "255");
    chooseItem(TileCollision, 5);
    addTile("-7", "lava.tga", "Lava");   // the digits-only field takes no "-": "7"
    clickRow(TilesList, 1);
    choose(TileMaterial, "Lava");
    click(TileUpdate);
    ASSERT_TRUE(messages().empty()) << messages().front();
    const std::vector<std::vector<std::string>> rows{{"1", "grass.png", "Grass", "0", "0"},
                                                     {"2", "grass.png", "Lava", "0", "0"},
                                                     {"3", "grass.png", "Grass", "0", "0"},
                                                     {"10", "stone.jpg", "Stone", "3", "1"},
                                                     {"7", "lava.tga", "Lava", "255", "5"}};
    ASSERT_EQ(g().listView(TilesList).rowCount(), 5);
    for (int r = 0; r < 5; ++r) EXPECT_EQ(rowCells(r), rows[static_cast<std::size_t>(r)]) << "row " << r;

    // Saved through the menu, then opened by a fresh editor as its start-up file.
    dialogs.paths.push_back("../../Data/TileSets/built");
    chooseMenu(editor::menu::Save);
    ASSERT_TRUE(fs::is_regular_file(tileSetDir / "built.mrqt"));
    restart("../../Data/TileSets/built.mrqt");

    EXPECT_EQ(ed->doc().tileWidth, 32);
    EXPECT_EQ(ed->doc().tileHeight, 48);
    EXPECT_EQ(g().editableChoiceBox(TileWidth).text(), "32");
    EXPECT_EQ(g().editableChoiceBox(TileHeight).text(), "48");

    const platform::ListView& materialList = g().listView(MaterialsList);
    ASSERT_EQ(materialList.rowCount(), 3);
    EXPECT_EQ(materialList.cellText(0, 0), "Grass");
    EXPECT_EQ(materialList.cellText(0, 1), "R86 G160 B60");
    EXPECT_EQ(materialList.cellText(2, 0), "Lava");
    EXPECT_EQ(materialList.cellText(2, 1), "R230 G80 B20");
    EXPECT_EQ(document::FindMaterial(ed->doc(), "Stone")->description, "Rock and walls");
    EXPECT_EQ(document::FindMaterial(ed->doc(), "Grass")->description, "Soft ground");

    // The textures, byte for byte as the files were; the deleted one stays gone.
    std::vector<std::string> expectedTextures = texturesBeforeDelete;
    expectedTextures.erase(std::find(expectedTextures.begin(), expectedTextures.end(), "dirt.bmp"));
    EXPECT_EQ(ed->doc().textures.names(), expectedTextures);
    ASSERT_EQ(g().listView(TexturesList).rowCount(), 3);
    for (const char* name : {"grass.png", "stone.jpg", "lava.tga"}) {
        const document::Texture* texture = document::FindTexture(ed->doc(), name);
        ASSERT_NE(texture, nullptr) << name;
        const auto data = texture->data();
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.data()), data.size()), readFile(examples / name))
            << name;
    }

    showTab(3);
    ASSERT_EQ(g().listView(TilesList).rowCount(), 5);
    for (int r = 0; r < 5; ++r) EXPECT_EQ(rowCells(r), rows[static_cast<std::size_t>(r)]) << "row " << r;
    // Selecting a tile of the opened file shows it whole, its texture decoded from the file.
    clickRow(TilesList, 3);
    EXPECT_EQ(idField(), "10");
    EXPECT_EQ(g().choiceBox(TileTexture).text(), "stone.jpg");
    EXPECT_EQ(g().choiceBox(TileMaterial).text(), "Stone");
    EXPECT_EQ(g().spinBox(TileLayer).value(), 3);
    EXPECT_EQ(g().choiceBox(TileCollision).text(), "True");
    EXPECT_TRUE(previewShown());
    EXPECT_EQ(ed->scratch.width(), 128);
    // The editor goes on from there: a new tile behind the selected one.
    addTile("11", "lava.tga", "Grass");
    EXPECT_EQ(listIds(), (std::vector<std::string>{"1", "2", "3", "10", "11", "7"}));
    EXPECT_TRUE(messages().empty());
}

TEST_F(TilesTest, UpdatingATileLeavesTheTilesThatSharedItsNamesAlone) {
    // Loaded from a file, the three tiles share one "grass.png" and two share one "Grass".
    document::TileSet saved =
        tileSetWith({{1, "grass.png", "Grass", 0, 0}, {2, "grass.png", "Grass", 0, 0}, {3, "grass.png", "Stone", 0, 0}});
    document::TileSet set;
    ASSERT_EQ(tsf::LoadTileSetFromMemory(set, tsf::SaveTileSetToMemory(saved)).status, tsf::LoadStatus::Ok);
    load(std::move(set));
    ASSERT_TRUE(tileAt(0).texture.sharesWith(tileAt(1).texture));
    ASSERT_TRUE(tileAt(0).material.sharesWith(tileAt(1).material));

    clickRow(TilesList, 1);
    choose(TileTexture, "water.png");
    choose(TileMaterial, "Water");
    click(TileUpdate);
    EXPECT_EQ(tileAt(1).texture, "water.png");
    EXPECT_EQ(tileAt(1).material, "Water");
    EXPECT_EQ(tileAt(0).texture, "grass.png");
    EXPECT_EQ(tileAt(0).material, "Grass");
    EXPECT_EQ(tileAt(2).texture, "grass.png");
    EXPECT_TRUE(tileAt(0).texture.sharesWith(tileAt(2).texture));
    EXPECT_EQ(rowCells(0), (std::vector<std::string>{"1", "grass.png", "Grass", "0", "0"}));
    EXPECT_EQ(rowCells(1), (std::vector<std::string>{"2", "water.png", "Water", "0", "0"}));
    EXPECT_EQ(rowCells(2), (std::vector<std::string>{"3", "grass.png", "Stone", "0", "0"}));

    // The neighbour still reads as its own name in the editors.
    clickRow(TilesList, 0);
    EXPECT_EQ(g().choiceBox(TileTexture).text(), "grass.png");
    EXPECT_EQ(g().choiceBox(TileMaterial).text(), "Grass");
    EXPECT_TRUE(messages().empty());
}
