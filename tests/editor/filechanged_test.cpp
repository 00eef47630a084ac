// The document's file changed by another program: real files rewritten, replaced (a new
// inode under the same name) and removed between the user's steps.

#include "fixture.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <thread>

#include <fcntl.h>
#include <sys/stat.h>

#include "tilesetfile/format.h"

namespace fs = std::filesystem;
using namespace editor::gadget;

namespace {

class FileChangedTest : public EditorFixture {
protected:
    void SetUp() override {
        EditorFixture::SetUp();
        level = tileSetDir / "level.mrqt";
        writeFile(level, tileSetWith({"Old"}));
        dialogs.paths.push_back(level.string());
        chooseMenu(editor::menu::Open);
        ASSERT_EQ(g().label(InfoFile).text(), "File: " + level.string());
        dialogs.clearShown();
    }

    // A tile set's bytes with these materials, as another program would write them.
    static std::vector<std::uint8_t> tileSetWith(const std::vector<std::string>& materials) {
        document::TileSet set;
        set.tileWidth = 32;
        set.tileHeight = 32;
        document::AddTileGroup(set, document::kTileGroup);
        for (const auto& m : materials) document::AddMaterial(set, m, 1, "");
        return marquetor::tilesetfile::SaveTileSetToMemory(set);
    }
    // Another program writes the file in place (same inode).
    void rewrite(const std::vector<std::string>& materials) {
        // Far enough from the last write that even a coarse clock tells them apart.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        writeFile(level, tileSetWith(materials));
    }
    std::vector<std::string> questions() const {
        std::vector<std::string> texts;
        for (const auto& shown : dialogs.shown)
            if (shown.kind == "question") texts.push_back(shown.title + " | " + shown.text);
        return texts;
    }
    void save() {
        dialogs.paths.push_back(level.string());
        chooseMenu(editor::menu::Save);
    }
    // The user works in another program, then comes back to the editor's window.
    void comeBack() {
        QWidget other;
        other.resize(100, 100);
        other.show();
        other.activateWindow();
        QApplication::setActiveWindow(&other);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
        settle();
        window()->activateWindow();
        QApplication::setActiveWindow(window());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window()));
        settle();
    }
    std::string ours() {
        auto bytes = marquetor::tilesetfile::SaveTileSetToMemory(ed->doc());
        return std::string(bytes.begin(), bytes.end());
    }
    std::string bytesOf(const std::vector<std::string>& materials) {
        auto bytes = tileSetWith(materials);
        return std::string(bytes.begin(), bytes.end());
    }

    fs::path level;
    const std::string title = editor::kWindowTitle;
};

TEST_F(FileChangedTest, SaveAsksBeforeOverwritingAnotherProgramsChanges) {
    typeInto(TileWidth, "48");
    settle();
    rewrite({"Theirs"});
    const std::string overwrite =
        title + " | " + level.string() + " has been changed by another program since it was opened. Overwrite it?";

    // No: nothing is written, nothing else happens.
    dialogs.answers.push_back(platform::Answer::No);
    save();
    EXPECT_EQ(questions(), std::vector<std::string>{overwrite});
    EXPECT_EQ(readFile(level), bytesOf({"Theirs"}));
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(g().label(InfoChanges).text(), "Unsaved changes: yes");

    // Yes: saved; the next save of an unchanged file asks nothing.
    dialogs.clearShown();
    dialogs.answers.push_back(platform::Answer::Yes);
    save();
    EXPECT_EQ(questions(), std::vector<std::string>{overwrite});
    EXPECT_EQ(readFile(level), ours());
    dialogs.clearShown();
    save();
    EXPECT_TRUE(questions().empty());

    // Saved to another file, the same rule follows that file.
    const fs::path copy = tileSetDir / "copy.mrqt";
    dialogs.paths.push_back(copy.string());
    chooseMenu(editor::menu::Save);
    rewrite({"Theirs"});   // the old file changing is no longer this document's business
    dialogs.clearShown();
    dialogs.paths.push_back(copy.string());
    chooseMenu(editor::menu::Save);
    EXPECT_TRUE(questions().empty());
}

TEST_F(FileChangedTest, AReplacedFileAsksAndAGoneFileIsSimplySaved) {
    // The same bytes and times under the same name, but another file (a new inode): asked.
    const fs::path temp = tileSetDir / "replacement";
    writeFile(temp, readFile(level));
    struct stat old {};
    ASSERT_EQ(::stat(level.c_str(), &old), 0);
    const struct timespec times[2] = {old.st_atim, old.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, temp.c_str(), times, 0), 0);
    fs::rename(temp, level);
    dialogs.answers.push_back(platform::Answer::No);
    save();
    EXPECT_EQ(questions(), std::vector<std::string>{title + " | " + level.string() +
                                                    " has been changed by another program since it was opened. Overwrite it?"});

    // Gone: saved without a question.
    fs::remove(level);
    dialogs.clearShown();
    typeInto(TileWidth, "48");
    settle();
    save();
    EXPECT_TRUE(questions().empty());
    EXPECT_EQ(readFile(level), ours());
    // Nor is a gone file offered for reloading.
    fs::remove(level);
    comeBack();
    EXPECT_TRUE(questions().empty());
}

TEST_F(FileChangedTest, ComingBackToTheWindowOffersToReloadAChangedFile) {
    // Unchanged: nothing asked.
    comeBack();
    EXPECT_TRUE(questions().empty());

    // Changed: asked; No keeps the document and is not asked again for the same file.
    rewrite({"Theirs"});
    dialogs.answers.push_back(platform::Answer::No);
    comeBack();
    const std::string reload = title + " | " + level.string() + " has been changed by another program. Reload it?";
    EXPECT_EQ(questions(), std::vector<std::string>{reload});
    EXPECT_EQ(ed->doc().materials.at(0).name, "Old");
    dialogs.clearShown();
    comeBack();
    EXPECT_TRUE(questions().empty());

    // Changed again, with unsaved changes here: asked, with what Yes costs; Yes reloads as
    // Open does.
    typeInto(TileWidth, "48");
    settle();
    rewrite({"Theirs", "Again"});
    dialogs.answers.push_back(platform::Answer::Yes);
    comeBack();
    EXPECT_EQ(questions(), std::vector<std::string>{reload + " Your unsaved changes will be lost."});
    ASSERT_EQ(ed->doc().materials.size(), 2u);
    EXPECT_EQ(ed->doc().materials.at(1).name, "Again");
    EXPECT_EQ(ed->doc().tileWidth, 32);
    EXPECT_EQ(g().label(InfoChanges).text(), "Unsaved changes: none");
    EXPECT_EQ(g().listView(MaterialsList).rowCount(), 2);
    // Reloaded, it is what was read: nothing more to ask, and Save asks nothing either.
    dialogs.clearShown();
    comeBack();
    save();
    EXPECT_TRUE(questions().empty());
}

}  // namespace
