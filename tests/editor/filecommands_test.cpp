// Save..., Open..., the start-up file and the questions and messages around them.

#include <QApplication>
#include <QWidget>

#include <filesystem>

#include "document/text.h"
#include "editor/eventloop.h"
#include "editor/filecommands.h"
#include "fixture.h"
#include "sampletileset.h"
#include "tilesetfile/format.h"

using namespace editor::gadget;
using platform::Answer;
namespace fs = std::filesystem;
namespace tsf = marquetor::tilesetfile;

namespace {

constexpr char kTitle[] = "Marquetor [Build 2011-01-10]";
constexpr char kSaveQuestion[] = "Save changes to the tile set?";

class FileCommandsTest : public EditorFixture {
protected:
    // Writes the sample tile set into the tile set folder; returns the path as the editor
    // would be given it (relative to the working directory).
    std::string writeSample(const std::string& name) {
        const auto bytes = tsf::SaveTileSetToMemory(SampleTileSet());
        writeFile(tileSetDir / name, std::span<const std::uint8_t>(bytes));
        return "../../Data/TileSets/" + name;
    }
    void changeDocument() { typeInto(TileWidth, "48"); }
    int questionsAsked() const {
        int n = 0;
        for (const auto& s : dialogs.shown) n += s.kind == "question" && s.text == kSaveQuestion;
        return n;
    }
    bool shownKind(const std::string& kind) const {
        for (const auto& s : dialogs.shown)
            if (s.kind == kind) return true;
        return false;
    }
    // The document as a file on disk holds it.
    document::TileSet loadBack(const fs::path& path) {
        document::TileSet set;
        document::AddTileGroup(set, 1);
        EXPECT_EQ(tsf::LoadTileSet(set, path).status, tsf::LoadStatus::Ok) << path;
        return set;
    }
};

}  // namespace

TEST_F(FileCommandsTest, SaveAppendsTheEndingUnlessItIsThereExactly) {
    typeInto(TileWidth, "96");
    for (const char* name : {"level", "level.mrqt", "level.MRQT", "level.mrqt.bak"})
        dialogs.paths.push_back((tileSetDir / name).string());
    for (int i = 0; i < 4; ++i) chooseMenu(editor::menu::Save);

    EXPECT_TRUE(fs::is_regular_file(tileSetDir / "level.mrqt"));
    EXPECT_TRUE(fs::is_regular_file(tileSetDir / "level.MRQT.mrqt"));
    EXPECT_TRUE(fs::is_regular_file(tileSetDir / "level.mrqt.bak.mrqt"));
    EXPECT_FALSE(fs::exists(tileSetDir / "level"));
    EXPECT_FALSE(fs::exists(tileSetDir / "level.MRQT"));
    EXPECT_FALSE(fs::exists(tileSetDir / "level.mrqt.bak"));
    EXPECT_EQ(ed->chosenPath, (tileSetDir / "level.mrqt.bak.mrqt").string());
    EXPECT_EQ(loadBack(tileSetDir / "level.mrqt").tileWidth, 96);

    ASSERT_EQ(dialogs.shown.size(), 4u);
    EXPECT_EQ(dialogs.shown[0].kind, "saveFile");
    EXPECT_EQ(dialogs.shown[0].title, "Save...");
    EXPECT_EQ(dialogs.shown[0].text, "../../Data/TileSets/");
    EXPECT_EQ(dialogs.shown[0].patterns, "TileSet (*.mrqt)|*.mrqt");
    EXPECT_TRUE(messages().empty());

    // Saving over an existing file replaces it without a question.
    typeInto(TileWidth, "112");
    dialogs.paths.push_back("../../Data/TileSets/level");   // relative to the working directory
    chooseMenu(editor::menu::Save);
    EXPECT_EQ(loadBack(tileSetDir / "level.mrqt").tileWidth, 112);
    EXPECT_EQ(dialogs.shown.size(), 5u);

    // A cancelled requester writes nothing.
    const auto before = fs::last_write_time(tileSetDir / "level.mrqt");
    chooseMenu(editor::menu::Save);
    EXPECT_EQ(fs::last_write_time(tileSetDir / "level.mrqt"), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(tileSetDir), fs::directory_iterator()), 3);
}

TEST_F(FileCommandsTest, SaveFailureIsReportedAndKeepsTheDocumentUnsaved) {
    changeDocument();
    dialogs.paths.push_back("../../Data/NoSuchFolder/level");
    chooseMenu(editor::menu::Save);
    ASSERT_EQ(messages(), std::vector<std::string>{"Could not be saved!"});
    EXPECT_EQ(dialogs.shown.back().title, kTitle);
    EXPECT_FALSE(fs::exists(root / "Data" / "NoSuchFolder"));

    // A folder in the way of the file: the folder stays a folder.
    fs::create_directory(tileSetDir / "taken.mrqt");
    dialogs.paths.push_back("../../Data/TileSets/taken");
    chooseMenu(editor::menu::Save);
    EXPECT_EQ(messages().size(), 2u);
    EXPECT_TRUE(fs::is_directory(tileSetDir / "taken.mrqt"));

    // The changes are still unsaved: Close asks, Yes tries to save, fails, and stays.
    dialogs.clearShown();
    dialogs.answers.push_back(Answer::Yes);
    dialogs.paths.push_back("../../Data/NoSuchFolder/level");
    chooseMenu(editor::menu::Close);
    EXPECT_EQ(questionsAsked(), 1);
    EXPECT_EQ(messages(), std::vector<std::string>{"Could not be saved!"});
    EXPECT_EQ(ed->frame.running, 1);
}

TEST_F(FileCommandsTest, OpenRefreshesEveryTabAndResetsBothCurrentRows) {
    const std::string path = writeSample("level.mrqt");
    showTab(3);
    typeInto(TileId, "55");
    typeInto(Red, "7");
    typeInto(MaterialName, "half typed");
    ed->currentMaterialRow = 1;
    ed->currentTileRow = 2;

    dialogs.paths.push_back(path);
    chooseMenu(editor::menu::Open);

    ASSERT_EQ(dialogs.shown.size(), 1u);   // the fields are no part of the document: no question
    EXPECT_EQ(dialogs.shown[0].kind, "openFile");
    EXPECT_EQ(dialogs.shown[0].title, "Open...");
    EXPECT_EQ(dialogs.shown[0].text, "../../Data/TileSets/");
    EXPECT_EQ(dialogs.shown[0].patterns, "TileSet (*.mrqt)|*.mrqt");
    EXPECT_EQ(ed->chosenPath, path);

    EXPECT_EQ(ed->doc().tileWidth, 32);
    EXPECT_EQ(ed->doc().tileHeight, 128);
    EXPECT_EQ(g().panel(Panel).state(), 0);
    EXPECT_EQ(g().editableChoiceBox(TileWidth).text(), "32");
    EXPECT_EQ(g().editableChoiceBox(TileHeight).text(), "128");
    ASSERT_EQ(g().listView(MaterialsList).rowCount(), 3);
    EXPECT_EQ(g().listView(MaterialsList).cellText(1, 1), "R128 G128 B136");
    EXPECT_EQ(g().choiceBox(TileMaterial).count(), 3);
    EXPECT_EQ(g().listView(TexturesList).rowCount(), 3);
    EXPECT_EQ(g().choiceBox(TileTexture).count(), 3);
    ASSERT_EQ(g().listView(TilesList).rowCount(), 3);
    EXPECT_EQ(g().listView(TilesList).cellText(1, 0), "-5");
    EXPECT_EQ(g().textField(TileId).text(), "0");
    EXPECT_EQ(g().textField(Red).text(), "0");
    EXPECT_EQ(g().textField(MaterialName).text(), "");
    EXPECT_EQ(ed->currentMaterialRow, -1);
    EXPECT_EQ(ed->currentTileRow, -1);
    EXPECT_TRUE(messages().empty());

    // What was opened counts as saved: Close asks nothing.
    chooseMenu(editor::menu::Close);
    EXPECT_EQ(ed->frame.running, 0);
    EXPECT_EQ(questionsAsked(), 0);
}

TEST_F(FileCommandsTest, OpenTakesAnyNameAndACancelChangesNothing) {
    const std::string path = writeSample("level.dat");
    dialogs.paths.push_back(path);
    chooseMenu(editor::menu::Open);
    EXPECT_EQ(ed->doc().materials.size(), 3u);
    EXPECT_TRUE(messages().empty());

    showTab(2);
    chooseMenu(editor::menu::Open);   // cancelled: no refresh either
    EXPECT_EQ(g().panel(Panel).state(), 2);
    EXPECT_EQ(ed->doc().materials.size(), 3u);
}

TEST_F(FileCommandsTest, OpenReportsWhatItCouldNotRead) {
    const std::string sample = writeSample("level.mrqt");
    dialogs.paths.push_back(sample);
    chooseMenu(editor::menu::Open);
    ASSERT_EQ(ed->doc().materials.size(), 3u);
    ed->currentTileRow = 1;

    // Not there at all.
    dialogs.paths.push_back("../../Data/TileSets/missing.mrqt");
    chooseMenu(editor::menu::Open);
    EXPECT_EQ(messages(), std::vector<std::string>{"Could not be opened!"});
    EXPECT_EQ(ed->doc().materials.size(), 3u);
    EXPECT_EQ(ed->currentTileRow, -1);   // the refresh still ran

    // Something else entirely: the document stays.
    writeFile(tileSetDir / "notes.mrqt", "Shopping list\r\nbread\r\n");
    dialogs.paths.push_back("../../Data/TileSets/notes.mrqt");
    chooseMenu(editor::menu::Open);
    EXPECT_EQ(messages().back(), "Not a tile set file!");
    EXPECT_EQ(dialogs.shown.back().title, kTitle);
    EXPECT_EQ(ed->doc().materials.size(), 3u);
    EXPECT_EQ(ed->doc().tileWidth, 32);
    EXPECT_EQ(g().listView(MaterialsList).rowCount(), 3);

    // A file that ends early: what it holds is loaded, and the user is told.
    document::TileSet other = SampleTileSet();
    other.tileWidth = 80;
    auto bytes = tsf::SaveTileSetToMemory(other);
    bytes.resize(bytes.size() - 3);
    writeFile(tileSetDir / "cut.mrqt", std::span<const std::uint8_t>(bytes));
    dialogs.paths.push_back("../../Data/TileSets/cut.mrqt");
    chooseMenu(editor::menu::Open);
    EXPECT_EQ(messages().back(), "The tile set file is incomplete!");
    EXPECT_EQ(ed->doc().tileWidth, 80);
    EXPECT_EQ(g().editableChoiceBox(TileWidth).text(), "80");
    EXPECT_EQ(messages().size(), 3u);
    EXPECT_EQ(questionsAsked(), 0);   // none of these left the document changed
}

TEST_F(FileCommandsTest, StartupFileRules) {
    const std::string good = writeSample("level.mrqt");
    writeSample("level.MRQT");

    // The ending is compared exactly.
    restart("../../Data/TileSets/level.MRQT");
    EXPECT_TRUE(ed->doc().materials.empty());
    EXPECT_EQ(ed->chosenPath, "../../Data/TileSets/level.MRQT");

    // A missing file is passed over in silence.
    restart("../../Data/TileSets/missing.mrqt");
    EXPECT_TRUE(ed->doc().materials.empty());
    EXPECT_EQ(ed->doc().tileWidth, 64);
    EXPECT_TRUE(dialogs.shown.empty());

    // A good file is loaded and shown on every tab.
    restart(good);
    EXPECT_EQ(ed->doc().materials.size(), 3u);
    EXPECT_EQ(g().panel(Panel).state(), 0);
    EXPECT_EQ(g().editableChoiceBox(TileWidth).text(), "32");
    EXPECT_EQ(g().listView(MaterialsList).rowCount(), 3);
    EXPECT_EQ(g().listView(TexturesList).rowCount(), 3);
    EXPECT_EQ(g().listView(TilesList).rowCount(), 3);
    EXPECT_EQ(ed->currentMaterialRow, -1);
    EXPECT_TRUE(dialogs.shown.empty());
    // ... and counts as unchanged.
    chooseMenu(editor::menu::Close);
    EXPECT_EQ(ed->frame.running, 0);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(FileCommandsTest, StartupFileThatIsNoTileSetOrEndsEarlyIsReported) {
    writeFile(tileSetDir / "notes.mrqt", "0.49\r\n");
    restart("../../Data/TileSets/notes.mrqt");
    EXPECT_EQ(messages(), std::vector<std::string>{"Not a tile set file!"});
    EXPECT_TRUE(ed->doc().materials.empty());
    ASSERT_NE(document::LookUpTileGroup(ed->doc(), 1), nullptr);

    dialogs.clearShown();
    auto bytes = tsf::SaveTileSetToMemory(SampleTileSet());
    bytes.resize(bytes.size() / 2);
    writeFile(tileSetDir / "cut.mrqt", std::span<const std::uint8_t>(bytes));
    restart("../../Data/TileSets/cut.mrqt");
    EXPECT_EQ(messages(), std::vector<std::string>{"The tile set file is incomplete!"});
    EXPECT_EQ(ed->doc().tileWidth, 32);
    EXPECT_EQ(g().editableChoiceBox(TileWidth).text(), "32");
}

TEST_F(FileCommandsTest, CloseAsksAboutUnsavedChangesOnly) {
    // A change and its undoing leave nothing to save.
    typeInto(TileWidth, "48");
    typeInto(TileWidth, "64");
    chooseMenu(editor::menu::Close);
    EXPECT_EQ(ed->frame.running, 0);
    EXPECT_TRUE(dialogs.shown.empty());

    // Cancel stays.
    restart("");
    changeDocument();
    dialogs.answers.push_back(Answer::Cancel);
    chooseMenu(editor::menu::Close);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, "question");
    EXPECT_EQ(dialogs.shown[0].title, kTitle);
    EXPECT_EQ(dialogs.shown[0].text, kSaveQuestion);
    EXPECT_EQ(ed->frame.running, 1);
    EXPECT_EQ(ed->doc().tileWidth, 48);

    // Yes with a cancelled requester stays too: nothing was saved.
    dialogs.answers.push_back(Answer::Yes);
    chooseMenu(editor::menu::Close);
    EXPECT_EQ(questionsAsked(), 2);
    EXPECT_TRUE(shownKind("saveFile"));
    EXPECT_EQ(ed->frame.running, 1);

    // No ends without saving.
    dialogs.answers.push_back(Answer::No);
    chooseMenu(editor::menu::Close);
    EXPECT_EQ(ed->frame.running, 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(tileSetDir), fs::directory_iterator()), 0);

    // Yes saves, then ends.
    restart("");
    changeDocument();
    dialogs.answers.push_back(Answer::Yes);
    dialogs.paths.push_back("../../Data/TileSets/work");
    chooseMenu(editor::menu::Close);
    EXPECT_EQ(ed->frame.running, 0);
    EXPECT_EQ(loadBack(tileSetDir / "work.mrqt").tileWidth, 48);

    // After a save nothing is asked.
    restart("");
    changeDocument();
    dialogs.clearShown();
    dialogs.paths.push_back("../../Data/TileSets/work");
    chooseMenu(editor::menu::Save);
    chooseMenu(editor::menu::Close);
    EXPECT_EQ(ed->frame.running, 0);
    EXPECT_EQ(questionsAsked(), 0);
}

TEST_F(FileCommandsTest, CloseBoxAsksAndIsNeverIgnored) {
    changeDocument();
    dialogs.answers.push_back(Answer::Cancel);
    window()->close();
    settle();
    EXPECT_EQ(questionsAsked(), 1);
    EXPECT_EQ(ed->frame.running, 1);
    EXPECT_TRUE(window()->isVisible());

    // With another window in front, the close box still reaches Close.
    QWidget other;
    other.resize(200, 100);
    other.show();
    other.activateWindow();
    QApplication::setActiveWindow(&other);
    dialogs.answers.push_back(Answer::No);
    window()->close();
    settle();
    EXPECT_EQ(questionsAsked(), 2);
    EXPECT_EQ(ed->frame.running, 0);
}

TEST_F(FileCommandsTest, OpenAsksAboutUnsavedChangesFirst) {
    const std::string path = writeSample("level.mrqt");
    changeDocument();

    dialogs.answers.push_back(Answer::Cancel);
    dialogs.paths.push_back(path);
    chooseMenu(editor::menu::Open);
    EXPECT_EQ(questionsAsked(), 1);
    EXPECT_FALSE(shownKind("openFile"));
    EXPECT_EQ(ed->doc().tileWidth, 48);

    // Yes saves first, then opens.
    dialogs.answers.push_back(Answer::Yes);
    dialogs.paths.push_front("../../Data/TileSets/mine");
    chooseMenu(editor::menu::Open);
    EXPECT_EQ(loadBack(tileSetDir / "mine.mrqt").tileWidth, 48);
    EXPECT_TRUE(shownKind("openFile"));
    EXPECT_EQ(ed->doc().tileWidth, 32);

    // No opens without saving.
    changeDocument();
    dialogs.answers.push_back(Answer::No);
    dialogs.paths.push_back("../../Data/TileSets/mine.mrqt");
    chooseMenu(editor::menu::Open);
    EXPECT_EQ(ed->doc().tileWidth, 48);
    EXPECT_EQ(ed->doc().materials.size(), 0u);
    EXPECT_EQ(questionsAsked(), 3);
}
