// The TileSet tab's account of the document, and files dropped on the window.

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "editor/editmenu.h"
#include "editor/eventloop.h"
#include "editor/refresh.h"
#include "editor/filecommands.h"
#include "editor/infopanel.h"
#include "fixture.h"
#include "testpicture.h"
#include "platform/problemlist.h"
#include "sampletileset.h"
#include "tilesetfile/format.h"

using namespace editor::gadget;
using platform::Answer;
namespace fs = std::filesystem;
namespace tsf = marquetor::tilesetfile;

namespace {

// Textures grass.png (a picture) and broken.png (none); materials Grass, Water, Stone;
// tiles 1, 5 (naming gone.png), 10, 11, 12 (naming Water).
document::TileSet panelSample() {
    document::TileSet set;
    set.tileWidth = 64;
    set.tileHeight = 64;
    document::AddTileGroup(set, 1);
    for (const char* name : {"Grass", "Water", "Stone"}) {
        set.materials.moveToLast();
        document::AddMaterial(set, name, 0, "");
    }
    PutSampleTexture(set, "grass.png", PngOfColour(Qt::green));
    PutSampleTexture(set, "broken.png", "no picture here");
    document::TileGroup* group = document::FindTileGroup(set, 1);
    for (auto [id, texture, material] : {std::tuple{1, "grass.png", "Grass"}, std::tuple{5, "gone.png", "Grass"},
                                         std::tuple{10, "grass.png", "Water"}, std::tuple{11, "grass.png", "Water"},
                                         std::tuple{12, "grass.png", "Water"}}) {
        group->tiles.moveToLast();
        document::AddTile(set, 1, id, texture, material, 0, 0);
    }
    return set;
}

class InfoPanelTest : public EditorFixture {
protected:
    void SetUp() override {
        EditorFixture::SetUp();
        const auto bytes = tsf::SaveTileSetToMemory(panelSample());
        writeFile(tileSetDir / "panel.mrqt", std::span<const std::uint8_t>(bytes));
        restart("../../Data/TileSets/panel.mrqt");
    }
    platform::ProblemList& problems() { return platform::ProblemListOf(g(), Problems); }
    // The list as it stands once the checks are done: they run in slices in idle cycles,
    // and on a busy machine a large set takes more than the one such cycle settle() ends with.
    std::vector<std::string> problemRows() {
        for (int cycle = 0; cycle < 200 && (ed->info.tilesPending || ed->info.picturesPending); ++cycle)
            editor::RunCycle(*ed);
        std::vector<std::string> rows;
        for (int r = 0; r < problems().rowCount(); ++r) rows.push_back(problems().rowText(r));
        return rows;
    }
    void doubleClickProblem(int row) {
        auto* list = qobject_cast<QListWidget*>(widgetOf(Problems));
        ASSERT_NE(list, nullptr);
        const QPoint at = list->visualItemRect(list->item(row)).center();
        // What a window system delivers: a click, a second press, the double click, the release.
        QWidget* viewport = list->viewport();
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, at);
        QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, at);
        settle();
    }
    std::string undoItemText() {
        if (auto* bar = window()->findChild<QMenuBar*>())
            for (QAction* title : bar->actions())
                if (title->menu() && title->text().remove('&') == "Edit")
                    return title->menu()->actions().front()->text().toStdString();
        return {};
    }
    // Local files dragged onto a widget and dropped there, as a file manager sends them.
    bool dropFiles(QWidget* target, const std::vector<fs::path>& files, QPoint at = QPoint(10, 10)) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const fs::path& file : files) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(file.string())));
        mime.setUrls(urls);
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        settle();
        return enter.isAccepted() && drop.isAccepted();
    }
    int questionsAsked() const {
        int n = 0;
        for (const auto& s : dialogs.shown) n += s.kind == "question";
        return n;
    }
    QWidget* viewportOf(int list) { return qobject_cast<QAbstractItemView*>(widgetOf(list))->viewport(); }
};

const char* kMissingTexture = "1 tile names a texture the tile set does not hold (ID 5)";
const char* kNoPicture = "1 texture holds no picture: broken.png";

}  // namespace

TEST_F(InfoPanelTest, TellsWhatTheDocumentHoldsAndWhatIsWrongWithIt) {
    EXPECT_EQ(g().panel(Panel).state(), 0);
    EXPECT_EQ(g().label(InfoFile).text(), "File: ../../Data/TileSets/panel.mrqt");
    EXPECT_EQ(g().label(InfoChanges).text(), "Unsaved changes: none");
    const std::size_t textureBytes = PngOfColour(Qt::green).size() + 15;
    EXPECT_EQ(g().label(InfoCounts).text(),
              "Materials: 3    Textures: 2 (" + editor::SizeText(textureBytes) + ")    Tiles: 5");
    EXPECT_EQ(problemRows(), (std::vector<std::string>{kMissingTexture, kNoPicture}));

    // Water goes: the three tiles that name it are listed, in list order.
    clickRow(MaterialsList, 1);
    click(MaterialDelete);
    showTab(0);
    EXPECT_EQ(problemRows(), (std::vector<std::string>{
                                 kMissingTexture, "3 tiles name a material the tile set does not hold (IDs 10, 11, 12)",
                                 kNoPicture}));
    EXPECT_EQ(g().label(InfoChanges).text(), "Unsaved changes: yes");
    EXPECT_EQ(g().label(InfoCounts).text(),
              "Materials: 2    Textures: 2 (" + editor::SizeText(textureBytes) + ")    Tiles: 5");

    // A double click on it shows the Tiles tab with the first of them selected, its editors
    // loaded as a click on its row would load them.
    doubleClickProblem(1);
    EXPECT_EQ(g().panel(Panel).state(), 3);
    EXPECT_EQ(g().listView(TilesList).selectedRow(), 2);
    EXPECT_EQ(ed->currentTileRow, 2);
    EXPECT_EQ(g().textField(TileId).text(), "10");
    // The same for the missing texture; rows that are about no tile do nothing.
    showTab(0);
    doubleClickProblem(0);
    EXPECT_EQ(g().listView(TilesList).selectedRow(), 1);
    EXPECT_EQ(g().textField(TileId).text(), "5");
    showTab(0);
    doubleClickProblem(2);
    EXPECT_EQ(g().panel(Panel).state(), 0);

    // A size of 0 and a missing texture folder are problems too; Undo of the delete (its
    // record back) takes the material row away again.
    typeInto(TileWidth, "0");
    EXPECT_EQ(problemRows().front(), "The tile size 0 x 64 has a side of 0 or less");
    fs::remove_all(textureDir);
    typeInto(TileHeight, "16");
    EXPECT_EQ(problemRows().back(), "The texture folder TileSets/Textures/ is missing from the working directory");
    for (int i = 0; i < 3; ++i) editor::UndoCommand(*ed);
    settle();
    showTab(0);
    EXPECT_EQ(problemRows(), (std::vector<std::string>{kMissingTexture, kNoPicture,
                                                       "The texture folder TileSets/Textures/ is missing from the "
                                                       "working directory"}));
    EXPECT_EQ(g().label(InfoChanges).text(), "Unsaved changes: none");

    // A new document has nothing wrong with it but the folder.
    fs::create_directories(textureDir);
    dialogs.answers.push_back(Answer::Yes);
    chooseMenu(editor::menu::New);
    EXPECT_EQ(problemRows(), std::vector<std::string>{"No problems found"});
    EXPECT_EQ(g().label(InfoFile).text(), "File: not saved yet");
    EXPECT_EQ(g().label(InfoCounts).text(), "Materials: 0    Textures: 0 (0 bytes)    Tiles: 0");
}

TEST_F(InfoPanelTest, ImagesDroppedOnTheTexturesTabAreImportedAsAddWould) {
    const fs::path drops = root / "drops";
    fs::create_directories(drops);
    writeFile(drops / "red.png", PngOfColour(Qt::red));
    writeFile(drops / "blue.png", PngOfColour(Qt::blue));
    writeFile(drops / "shout.PNG", PngOfColour(Qt::red));
    writeFile(drops / "grass.png", PngOfColour(Qt::green));
    const std::vector<fs::path> files{drops / "red.png", drops / "shout.PNG", drops / "grass.png", drops / "blue.png"};

    // Not on another tab.
    showTab(3);
    EXPECT_TRUE(dropFiles(viewportOf(TilesList), files));
    EXPECT_EQ(ed->doc().textures.size(), 2u);
    EXPECT_TRUE(messages().empty());

    showTab(2);
    EXPECT_TRUE(dropFiles(viewportOf(TexturesList), files));
    // One message for each file refused, in the order of the drop.
    EXPECT_EQ(messages(), (std::vector<std::string>{"Not in the correct format!", "The texture already exists!"}));
    ASSERT_NE(document::FindTexture(ed->doc(), "red.png"), nullptr);
    ASSERT_NE(document::FindTexture(ed->doc(), "blue.png"), nullptr);
    EXPECT_EQ(document::FindTexture(ed->doc(), "red.png")->size, static_cast<std::int32_t>(PngOfColour(Qt::red).size()));
    EXPECT_EQ(g().listView(TexturesList).rowCount(), 4);
    EXPECT_EQ(g().choiceBox(TileTexture).count(), 4);

    // One step for the whole drop.
    EXPECT_EQ(undoItemText(), "Undo Add 2 Textures");
    editor::UndoCommand(*ed);
    settle();
    EXPECT_EQ(ed->doc().textures.size(), 2u);
    EXPECT_EQ(g().listView(TexturesList).rowCount(), 2);
}

TEST_F(InfoPanelTest, ATileSetDroppedOnTheWindowIsOpenedAsOpenWould) {
    document::TileSet other = SampleTileSet();
    const auto bytes = tsf::SaveTileSetToMemory(other);
    writeFile(tileSetDir / "other.mrqt", std::span<const std::uint8_t>(bytes));
    typeInto(TileWidth, "48");

    // Cancel to the unsaved-changes question: nothing is opened.
    dialogs.answers.push_back(Answer::Cancel);
    EXPECT_TRUE(dropFiles(widgetOf(TileHeight), {tileSetDir / "other.mrqt"}));
    EXPECT_EQ(ed->doc().tileWidth, 48);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "Save changes to the tile set?");

    // No: the dropped file replaces the document, on any tab; a picture beside it is left.
    showTab(1);
    writeFile(root / "red.png", PngOfColour(Qt::red));
    dialogs.answers.push_back(Answer::No);
    EXPECT_TRUE(dropFiles(viewportOf(MaterialsList), {root / "red.png", tileSetDir / "other.mrqt"}));
    EXPECT_EQ(questionsAsked(), 2);
    EXPECT_EQ(tsf::SaveTileSetToMemory(ed->doc()), bytes);
    EXPECT_EQ(g().panel(Panel).state(), 0);
    EXPECT_EQ(g().listView(MaterialsList).rowCount(), 3);
    EXPECT_FALSE(ed->session.hasUnsavedChanges());
    EXPECT_EQ(g().label(InfoFile).text(), "File: " + (tileSetDir / "other.mrqt").string());
    EXPECT_EQ(ed->session.history().undoCount(), 0u);
}

TEST_F(InfoPanelTest, ADroppedTiledTilesetIsImportedAsANewTileSetWithUnsavedChanges) {
    // A tileset as Tiled writes one: an image collection, one tile with a type, one without
    // (its material is the tileset's name).
    const fs::path tiled = root / "art";
    fs::create_directories(tiled);
    writeFile(tiled / "grass.png", PngOfColour(Qt::green, 32, 32));
    writeFile(tiled / "water.png", PngOfColour(Qt::blue, 32, 32));
    writeFile(tiled / "meadow.tsx",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<tileset version=\"1.8\" tiledversion=\"1.8.2\" name=\"meadow\" tilewidth=\"32\" tileheight=\"32\""
              " tilecount=\"2\" columns=\"0\">\n"
              " <grid orientation=\"orthogonal\" width=\"1\" height=\"1\"/>\n"
              " <tile id=\"3\" type=\"Grass\"><image width=\"32\" height=\"32\" source=\"grass.png\"/></tile>\n"
              " <tile id=\"7\"><image width=\"32\" height=\"32\" source=\"water.png\"/></tile>\n"
              "</tileset>\n");
    writeFile(tiled / "broken.TSJ", "{\"tilewidth\": 32,");
    typeInto(TileWidth, "48");

    // The unsaved-changes question first; Cancel imports nothing.
    dialogs.answers.push_back(Answer::Cancel);
    EXPECT_TRUE(dropFiles(widgetOf(TileHeight), {tiled / "grass.png", tiled / "meadow.tsx"}));
    EXPECT_EQ(questionsAsked(), 1);
    EXPECT_EQ(ed->doc().tileWidth, 48);

    // No: the tileset is the document, on the TileSet tab, unsaved and with nothing to undo.
    showTab(3);
    dialogs.answers.push_back(Answer::No);
    EXPECT_TRUE(dropFiles(viewportOf(TilesList), {tiled / "meadow.tsx", tileSetDir / "panel.mrqt"}));
    EXPECT_EQ(questionsAsked(), 2);
    EXPECT_EQ(ed->doc().tileWidth, 32);
    EXPECT_EQ(ed->doc().tileHeight, 32);
    EXPECT_EQ(ed->doc().textures.size(), 2u);
    EXPECT_NE(document::FindMaterial(ed->doc(), "Grass"), nullptr);
    EXPECT_NE(document::FindMaterial(ed->doc(), "meadow"), nullptr);
    EXPECT_EQ(g().listView(TilesList).rowCount(), 2);
    EXPECT_EQ(g().panel(Panel).state(), 0);
    EXPECT_EQ(g().label(InfoFile).text(), "File: not saved yet");
    EXPECT_EQ(g().label(InfoChanges).text(), "Unsaved changes: yes");
    EXPECT_TRUE(ed->session.hasUnsavedChanges());
    EXPECT_EQ(ed->session.history().undoCount(), 0u);
    EXPECT_TRUE(messages().empty());

    // A tileset that cannot be read says why; the document stays, and so does its question.
    dialogs.answers.push_back(Answer::No);
    EXPECT_TRUE(dropFiles(viewportOf(TilesList), {tiled / "broken.TSJ"}));
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].rfind("Could not be imported!\n", 0), 0u) << messages()[0];
    EXPECT_GT(messages()[0].size(), std::string("Could not be imported!\n").size());
    EXPECT_EQ(ed->doc().textures.size(), 2u);
    EXPECT_TRUE(ed->session.hasUnsavedChanges());

    // Save... asks for a name as for any new tile set, and then nothing is unsaved.
    dialogs.paths.push_back((tileSetDir / "meadow").string());
    chooseMenu(editor::menu::Save);
    EXPECT_FALSE(ed->session.hasUnsavedChanges());
    document::TileSet saved;
    ASSERT_EQ(tsf::LoadTileSet(saved, tileSetDir / "meadow.mrqt").status, tsf::LoadStatus::Ok);
    EXPECT_EQ(tsf::SaveTileSetToMemory(saved), tsf::SaveTileSetToMemory(ed->doc()));
}

TEST_F(InfoPanelTest, UnsavedChangesSaysWhatCloseWouldFind) {
    // Water's red goes to 9 and back to 0: two steps, and the document as it was saved.
    clickRow(MaterialsList, 1);
    typeInto(Red, "9");
    click(MaterialUpdate);
    showTab(0);
    EXPECT_EQ(g().label(InfoChanges).text(), "Unsaved changes: yes");
    clickRow(MaterialsList, 1);
    typeInto(Red, "0");
    click(MaterialUpdate);
    EXPECT_EQ(ed->session.history().undoCount(), 2u);
    showTab(0);
    EXPECT_EQ(g().label(InfoChanges).text(), "Unsaved changes: none");
    // Close agrees: it ends without asking.
    chooseMenu(editor::menu::Close);
    EXPECT_EQ(ed->frame.running, 0);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(InfoPanelTest, BrokenTilesAreCountedExactlyAmongThousandsOfNames) {
    // 3,000 material names, every third one not held; each named by two tiles, the tiles of
    // a name far apart. The texture names are all held but for one.
    document::TileSet set;
    set.tileWidth = 64;
    set.tileHeight = 64;
    document::AddTileGroup(set, 1);
    PutSampleTexture(set, "t.png", PngOfColour(Qt::green));
    constexpr int kNames = 3000;
    for (int n = 0; n < kNames; ++n) {
        if (n % 3 == 2) continue;
        set.materials.moveToLast();
        document::AddMaterial(set, "m" + std::to_string(n), 0, "");
    }
    // The tiles share their names' texts, as tiles read from a file do.
    std::vector<document::SharedText> names;
    for (int n = 0; n < kNames; ++n) names.emplace_back("m" + std::to_string(n));
    const document::SharedText held("t.png");
    const document::SharedText gone("gone.png");
    document::TileGroup* group = document::FindTileGroup(set, 1);
    for (int copy = 0; copy < 2; ++copy) {
        for (int n = 0; n < kNames; ++n) {
            group->tiles.moveToLast();
            const int id = copy * kNames + n + 1;
            document::AddTile(*group, id, id == 4000 ? gone : held, names[static_cast<std::size_t>(n)], 0, 0);
        }
    }
    ed->session.documentToChange() = std::move(set);
    editor::RefreshGadgets(*ed);
    settle();
    EXPECT_EQ(problemRows(), (std::vector<std::string>{
                                 "1 tile names a texture the tile set does not hold (ID 4000)",
                                 "2000 tiles name a material the tile set does not hold (IDs 3, 6, 9, 12, 15, ...)"}));
    doubleClickProblem(1);
    EXPECT_EQ(g().listView(TilesList).selectedRow(), 2);
}

TEST_F(InfoPanelTest, AFileThatEndedEarlyIsAProblemUntilSavedOrReplaced) {
    const char* kEndedEarly = "the data ended early: only part of the tile set was read";   // as mrqt check says it
    auto bytes = tsf::SaveTileSetToMemory(panelSample());
    bytes.resize(bytes.size() - 3);
    writeFile(tileSetDir / "cut.mrqt", std::span<const std::uint8_t>(bytes));
    dialogs.paths.push_back("../../Data/TileSets/cut.mrqt");
    chooseMenu(editor::menu::Open);
    ASSERT_EQ(messages(), std::vector<std::string>{"The tile set file is incomplete!"});
    EXPECT_EQ(problemRows().front(), kEndedEarly);
    EXPECT_EQ(problems().rowCount(), 3);   // beside the missing texture and the broken picture
    doubleClickProblem(0);   // about no tile: nothing happens
    EXPECT_EQ(g().panel(Panel).state(), 0);

    // Changes do not make the document whole; a save does.
    clickRow(MaterialsList, 2);
    click(MaterialDelete);
    showTab(0);
    EXPECT_EQ(problemRows().front(), kEndedEarly);
    dialogs.paths.push_back("../../Data/TileSets/whole");
    chooseMenu(editor::menu::Save);
    showTab(0);
    EXPECT_NE(problemRows().front(), kEndedEarly);

    // Replaced by New, and back with the document when New is undone.
    dialogs.paths.push_back("../../Data/TileSets/cut.mrqt");
    chooseMenu(editor::menu::Open);
    EXPECT_EQ(problemRows().front(), kEndedEarly);
    dialogs.answers.push_back(Answer::Yes);
    chooseMenu(editor::menu::New);
    EXPECT_EQ(problemRows(), std::vector<std::string>{"No problems found"});
    editor::UndoCommand(*ed);
    settle();
    EXPECT_EQ(problemRows().front(), kEndedEarly);
}
