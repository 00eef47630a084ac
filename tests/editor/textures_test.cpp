// The Textures tab: previews from the folder and from the document, Add, Delete, Export.

#include <QAbstractItemView>
#include <QColor>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QTest>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "document/tileset.h"
#include "editor/eventloop.h"
#include "editor/texturestab.h"
#include "fixture.h"

using namespace editor::gadget;
namespace fs = std::filesystem;

namespace {

const QColor kGreen(40, 160, 60);
const QColor kRed(200, 30, 30);
const QColor kBlue(30, 60, 200);

class TexturesTest : public EditorFixture {
protected:
    // A picture of one colour in a format Qt writes (PNG, BMP, JPG); returns its bytes.
    std::string writeImage(const fs::path& path, const QColor& color, int width = 40, int height = 24,
                           const char* format = "PNG") {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(color);
        EXPECT_TRUE(image.save(QString::fromStdString(path.string()), format)) << "could not write " << path;
        return readFile(path);
    }

    // The explorer reads its folder when it opens it: start the editor again, as a user
    // would after putting files into the folder.
    void startAgain() { restart(""); }

    QAbstractItemView* explorerView() { return qobject_cast<QAbstractItemView*>(widgetOf(Explorer)); }

    int explorerRow(const std::string& name) {
        const platform::ExplorerList& explorer = g().explorerList(Explorer);
        for (int row = 0; row < explorer.rowCount(); ++row)
            if (explorer.rowText(row) == name) return row;
        ADD_FAILURE() << "no entry " << name << " in " << explorer.folder();
        return -1;
    }

    void selectFile(const std::string& name) {
        const int row = explorerRow(name);
        ASSERT_GE(row, 0);
        clickRow(Explorer, row);
        ASSERT_EQ(g().explorerList(Explorer).selectedRow(), row);
    }

    // Presses Add at once, before the loop has run again: the explorer has not yet heard
    // that its folder changed on disk, the moment a user's click can still land on a file
    // that has just gone.
    void addBeforeTheListCatchesUp() { editor::HandleTexturesGadget(*ed, TextureAdd); }

    void addFile(const std::string& name) {
        selectFile(name);
        click(TextureAdd);
    }

    // Opens a sub-folder of the explorer the way a user does: a double click on it.
    void openFolder(const std::string& name) {
        const int row = explorerRow(name);
        ASSERT_GE(row, 0);
        QAbstractItemView* view = explorerView();
        const QRect rect = view->visualRect(view->model()->index(row, 0));
        // What a window system delivers for a double click: a click, then a second press
        // followed by the double click itself, then the release.
        QWidget* viewport = view->viewport();
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, rect.center());
        QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, rect.center());
        QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, rect.center());
        QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, rect.center());
        settle();
    }

    void goUpFolder() {
        QAbstractItemView* view = explorerView();
        view->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(view, Qt::Key_Backspace);
        settle();
    }

    int textureRow(const std::string& name) {
        const platform::ListView& list = g().listView(TexturesList);
        for (int row = 0; row < list.rowCount(); ++row)
            if (list.rowText(row) == name) return row;
        return -1;
    }

    void selectTexture(const std::string& name) {
        const int row = textureRow(name);
        ASSERT_GE(row, 0) << "no texture " << name << " in the list";
        clickRow(TexturesList, row);
    }

    std::vector<std::string> listRows() {
        std::vector<std::string> rows;
        const platform::ListView& list = g().listView(TexturesList);
        for (int row = 0; row < list.rowCount(); ++row) rows.push_back(list.rowText(row));
        return rows;
    }

    std::vector<std::string> choiceItems() {
        std::vector<std::string> items;
        const platform::ChoiceBox& box = g().choiceBox(TileTexture);
        for (int i = 0; i < box.count(); ++i) items.push_back(box.itemText(i));
        return items;
    }

    std::string caption() { return g().label(TextureFileName).text(); }

    // What the preview gadget shows: its picture, or a null image when it shows nothing.
    QImage previewShown() {
        auto* label = qobject_cast<QLabel*>(widgetOf(TexturePreview));
        if (label == nullptr || !g().image(TexturePreview).hasImage()) return {};
        return label->pixmap().toImage();
    }

    // The preview shows a 128 x 128 picture of about that colour, and the scratch image
    // holds the same.
    void expectPreviewOf(const QColor& color, int tolerance = 0) {
        const QImage shown = previewShown();
        ASSERT_FALSE(shown.isNull()) << "the preview is empty";
        EXPECT_EQ(shown.size(), QSize(128, 128));
        const QColor seen = shown.pixelColor(64, 64);
        EXPECT_NEAR(seen.red(), color.red(), tolerance);
        EXPECT_NEAR(seen.green(), color.green(), tolerance);
        EXPECT_NEAR(seen.blue(), color.blue(), tolerance);

        ASSERT_EQ(ed->scratch.width(), 128);
        ASSERT_EQ(ed->scratch.height(), 128);
        const auto& p = ed->scratch.pixels().pixels;
        const std::size_t corner = (127u * 128u + 127u) * 4u;
        EXPECT_NEAR(p[corner], color.red(), tolerance);
        EXPECT_NEAR(p[corner + 1], color.green(), tolerance);
        EXPECT_NEAR(p[corner + 2], color.blue(), tolerance);
    }

    std::string storedBytes(const std::string& name) {
        const document::Texture* texture = document::FindTexture(ed->doc(), name);
        if (texture == nullptr) return "<absent>";
        const auto data = texture->data();
        return std::string(reinterpret_cast<const char*>(data.data()), data.size());
    }

    std::vector<std::string> folderListing(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

}  // namespace

TEST(TextureNames, ExtensionIsTheTextAfterTheLastDotOfTheLastPathPart) {
    EXPECT_EQ(editor::FileExtension("grass.png"), "png");
    EXPECT_EQ(editor::FileExtension("old.grass.tga"), "tga");
    EXPECT_EQ(editor::FileExtension("grass"), "");
    EXPECT_EQ(editor::FileExtension("grass."), "");
    EXPECT_EQ(editor::FileExtension(".png"), "png");
    EXPECT_EQ(editor::FileExtension("set.v2/grass"), "");
    EXPECT_EQ(editor::FileExtension("set.v2\\grass"), "");
    EXPECT_EQ(editor::FileExtension("set/v2\\grass.bmp"), "bmp");

    for (const char* good : {"a.png", "a.jpg", "a.bmp", "a.tga", "dir.x/a.png"}) EXPECT_TRUE(editor::HasTextureExtension(good)) << good;
    for (const char* bad : {"a.PNG", "a.Png", "a.jpeg", "a.gif", "a.png.txt", "png", "a.png/", "a.png\\b", ""})
        EXPECT_FALSE(editor::HasTextureExtension(bad)) << bad;
}

TEST_F(TexturesTest, PreviewsAFileOfTheFolderWithItsNameAndNothingElse) {
    writeImage(textureDir / "grass.png", kGreen);
    writeImage(textureDir / "GRASS.PNG", kRed);
    writeImage(textureDir / "dirt.bmp", kBlue, 300, 200, "BMP");
    writeImage(textureDir / "photo.jpg", kRed, 1600, 1200, "JPG");
    writeFile(textureDir / "notes.txt", "not a picture\n");
    fs::create_directories(textureDir / "stone");
    writeImage(textureDir / "stone" / "slate.png", kBlue);
    startAgain();

    // A file of the wrong letter case, a folder and a text file show nothing at all.
    for (const char* name : {"GRASS.PNG", "stone", "notes.txt"}) {
        selectFile(name);
        EXPECT_FALSE(g().image(TexturePreview).hasImage()) << name;
        EXPECT_EQ(caption(), "") << name;
    }

    selectFile("grass.png");
    EXPECT_EQ(caption(), "grass.png");
    expectPreviewOf(kGreen);

    // Selecting the others afterwards leaves the preview as it was.
    for (const char* name : {"GRASS.PNG", "stone", "notes.txt"}) {
        selectFile(name);
        EXPECT_EQ(caption(), "grass.png") << name;
        expectPreviewOf(kGreen);
    }

    selectFile("dirt.bmp");
    EXPECT_EQ(caption(), "dirt.bmp");
    expectPreviewOf(kBlue);
    selectFile("photo.jpg");
    EXPECT_EQ(caption(), "photo.jpg");
    expectPreviewOf(kRed, 12);

    // Previews read the disk only: the document stays empty, nothing was said.
    EXPECT_TRUE(ed->doc().textures.empty());
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(TexturesTest, TheExampleTexturesOfEveryFormatPreviewFromDiskAndFromTheDocument) {
    const fs::path examples = fs::path(MARQUETOR_SOURCE_DIR) / "examples/demo-game/Tools/Marquetor/TileSets/Textures";
    ASSERT_TRUE(fs::is_directory(examples));
    fs::copy(examples, textureDir, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    startAgain();

    std::vector<std::string> pictures;
    for (const auto& entry : fs::directory_iterator(textureDir))
        if (entry.is_regular_file() && editor::HasTextureExtension(entry.path().filename().string()))
            pictures.push_back(entry.path().filename().string());
    std::sort(pictures.begin(), pictures.end());
    std::vector<std::string> extensions;
    for (const auto& name : pictures) extensions.emplace_back(editor::FileExtension(name));
    for (const char* wanted : {"png", "jpg", "bmp", "tga"})
        EXPECT_NE(std::find(extensions.begin(), extensions.end(), wanted), extensions.end()) << wanted;

    for (const auto& name : pictures) {
        selectFile(name);
        EXPECT_EQ(caption(), name);
        EXPECT_EQ(previewShown().size(), QSize(128, 128)) << name;
        click(TextureAdd);
    }
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(ed->doc().textures.size(), pictures.size());
    for (const auto& name : pictures) {
        selectTexture(name);
        EXPECT_EQ(caption(), "[X] " + name);
        EXPECT_EQ(previewShown().size(), QSize(128, 128)) << name;
    }
}

TEST_F(TexturesTest, AddImportsTheFileOnceAndOffersItOnBothLists) {
    const std::string grass = writeImage(textureDir / "grass.png", kGreen);
    writeImage(textureDir / "GRASS.PNG", kRed);
    writeImage(textureDir / "photo.jpeg", kRed, 40, 24, "JPG");
    writeFile(textureDir / "notes.txt", "not a picture\n");
    writeFile(textureDir / "README", "no extension\n");
    fs::create_directories(textureDir / "stone");
    startAgain();

    addFile("grass.png");
    EXPECT_TRUE(messages().empty());
    ASSERT_EQ(ed->doc().textures.size(), 1u);
    EXPECT_EQ(storedBytes("grass.png"), grass);
    EXPECT_EQ(listRows(), std::vector<std::string>{"grass.png"});
    EXPECT_EQ(choiceItems(), std::vector<std::string>{"grass.png"});
    EXPECT_EQ(g().listView(TexturesList).selectedRow(), -1);
    EXPECT_EQ(g().choiceBox(TileTexture).state(), -1);
    // The preview and its caption stay; the explorer keeps its folder and its selection.
    EXPECT_EQ(caption(), "grass.png");
    expectPreviewOf(kGreen);
    EXPECT_EQ(g().explorerList(Explorer).folder(), "TileSets/Textures/");
    EXPECT_EQ(g().explorerList(Explorer).selectedRow(), explorerRow("grass.png"));

    // The same file again.
    click(TextureAdd);
    EXPECT_EQ(messages(), std::vector<std::string>{"The texture already exists!"});
    EXPECT_EQ(ed->doc().textures.size(), 1u);
    EXPECT_EQ(listRows(), std::vector<std::string>{"grass.png"});

    // Names whose extension is not exactly png, jpg, bmp or tga.
    dialogs.clearShown();
    for (const char* name : {"GRASS.PNG", "photo.jpeg", "notes.txt", "README", "stone"}) addFile(name);
    EXPECT_EQ(messages(), std::vector<std::string>(5, "Not in the correct format!"));
    for (const auto& shown : dialogs.shown) EXPECT_EQ(shown.title, "Marquetor [Build 2011-01-10]");
    EXPECT_EQ(ed->doc().textures.size(), 1u);
    EXPECT_EQ(choiceItems(), std::vector<std::string>{"grass.png"});
}

TEST_F(TexturesTest, TheNameAloneIsTheKeyWhicheverFolderTheFileComesFrom) {
    const std::string upper = writeImage(textureDir / "Grass.png", kGreen);
    fs::create_directories(textureDir / "summer");
    fs::create_directories(textureDir / "winter");
    const std::string summer = writeImage(textureDir / "summer" / "grass.png", kRed);
    writeImage(textureDir / "winter" / "grass.png", kBlue);
    startAgain();

    addFile("Grass.png");
    openFolder("summer");
    EXPECT_EQ(g().explorerList(Explorer).folder(), "TileSets/Textures/summer/");
    addFile("grass.png");
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(g().explorerList(Explorer).folder(), "TileSets/Textures/summer/");
    EXPECT_EQ(g().explorerList(Explorer).selectedRow(), explorerRow("grass.png"));
    ASSERT_EQ(ed->doc().textures.size(), 2u);
    EXPECT_EQ(storedBytes("Grass.png"), upper);
    EXPECT_EQ(storedBytes("grass.png"), summer);

    // The preview of a file in a sub-folder reads it from there.
    expectPreviewOf(kRed);

    goUpFolder();
    EXPECT_EQ(g().explorerList(Explorer).folder(), "TileSets/Textures/");
    openFolder("winter");
    addFile("grass.png");
    EXPECT_EQ(messages(), std::vector<std::string>{"The texture already exists!"});
    EXPECT_EQ(storedBytes("grass.png"), summer);
    EXPECT_EQ(ed->doc().textures.size(), 2u);
    EXPECT_EQ(listRows(), ed->doc().textures.names());
}

TEST_F(TexturesTest, AnyFileWithTheRightExtensionIsImportedEvenWhenItShowsNothing) {
    writeImage(textureDir / "grass.png", kGreen);
    writeFile(textureDir / "fake.png", "this is no picture at all");
    writeFile(textureDir / "blank.png", "");
    startAgain();

    // A file that does not decode empties the preview that was there.
    selectFile("grass.png");
    expectPreviewOf(kGreen);
    selectFile("fake.png");
    EXPECT_EQ(caption(), "fake.png");
    EXPECT_FALSE(g().image(TexturePreview).hasImage());
    EXPECT_TRUE(ed->scratch.empty());

    click(TextureAdd);
    addFile("blank.png");
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(storedBytes("fake.png"), "this is no picture at all");
    const document::Texture* blank = document::FindTexture(ed->doc(), "blank.png");
    ASSERT_NE(blank, nullptr);
    EXPECT_EQ(blank->size, 0);
    EXPECT_EQ(blank->bytes, nullptr);

    selectFile("grass.png");
    expectPreviewOf(kGreen);
    selectTexture("fake.png");
    EXPECT_EQ(caption(), "[X] fake.png");
    EXPECT_FALSE(g().image(TexturePreview).hasImage());

    selectFile("grass.png");
    selectTexture("blank.png");
    EXPECT_EQ(caption(), "[X] blank.png");
    EXPECT_FALSE(g().image(TexturePreview).hasImage());

    // An empty texture exports as an empty file.
    const fs::path out = root / "blank-copy.png";
    dialogs.paths.push_back(out.string());
    click(TextureExport);
    EXPECT_TRUE(messages().empty());
    ASSERT_TRUE(fs::exists(out));
    EXPECT_EQ(fs::file_size(out), 0u);
}

TEST_F(TexturesTest, AnImportedTextureIsPreviewedFromItsStoredBytes) {
    writeImage(textureDir / "grass.png", kGreen);
    writeImage(textureDir / "water.png", kBlue);
    startAgain();
    addFile("grass.png");

    // The file changes on disk after the import.
    writeImage(textureDir / "grass.png", kRed);
    selectFile("water.png");
    expectPreviewOf(kBlue);
    selectTexture("grass.png");
    EXPECT_EQ(caption(), "[X] grass.png");
    expectPreviewOf(kGreen);

    // And then is gone: the explorer, which follows its folder, no longer offers it, and
    // the texture still shows what was imported.
    fs::remove(textureDir / "grass.png");
    ASSERT_TRUE(QTest::qWaitFor([&] { return g().explorerList(Explorer).rowCount() == 1; }, 5000));
    settle();
    EXPECT_EQ(g().explorerList(Explorer).rowText(0), "water.png");
    selectFile("water.png");
    expectPreviewOf(kBlue);
    selectTexture("grass.png");
    EXPECT_EQ(caption(), "[X] grass.png");
    expectPreviewOf(kGreen);
}

TEST_F(TexturesTest, DeleteForgetsTheTextureButNotTheTilesThatNameIt) {
    writeImage(textureDir / "a.png", kGreen);
    writeImage(textureDir / "b.png", kBlue);
    startAgain();
    addFile("a.png");
    addFile("b.png");
    // The lists follow the texture map: b.png lies in an earlier bucket than a.png.
    const std::vector<std::string> mapOrder{"b.png", "a.png"};
    EXPECT_EQ(listRows(), mapOrder);
    EXPECT_EQ(choiceItems(), mapOrder);
    ASSERT_NE(document::AddTile(ed->session.documentToChange(), 1, 7, "a.png", "stone", 0, 0), nullptr);

    // Nothing selected: nothing happens.
    click(TextureDelete);
    EXPECT_EQ(ed->doc().textures.size(), 2u);

    selectTexture("a.png");
    expectPreviewOf(kGreen);
    click(TextureDelete);
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(document::FindTexture(ed->doc(), "a.png"), nullptr);
    EXPECT_EQ(listRows(), std::vector<std::string>{"b.png"});
    EXPECT_EQ(choiceItems(), std::vector<std::string>{"b.png"});
    EXPECT_EQ(g().listView(TexturesList).selectedRow(), -1);
    EXPECT_FALSE(g().image(TexturePreview).hasImage());
    EXPECT_EQ(caption(), "");
    ASSERT_EQ(ed->doc().tileGroupIndex.at(1)->tiles.size(), 1u);
    EXPECT_EQ(ed->doc().tileGroupIndex.at(1)->tiles.at(0).texture, "a.png");

    // Imported again, it comes back in its place of the map's order.
    addFile("a.png");
    EXPECT_EQ(listRows(), mapOrder);
    EXPECT_EQ(choiceItems(), mapOrder);
}

TEST_F(TexturesTest, ExportWritesTheStoredBytesWhereTheUserSays) {
    const std::string grass = writeImage(textureDir / "grass.png", kGreen);
    startAgain();
    addFile("grass.png");
    selectTexture("grass.png");

    // A path without extension is taken as it is; an older file there is replaced.
    const fs::path out = root / "exported" / "grass-copy";
    fs::create_directories(out.parent_path());
    writeFile(out, "an older file");
    dialogs.paths.push_back(out.string());
    click(TextureExport);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, "saveFile");
    EXPECT_EQ(dialogs.shown[0].title, "Save Texture...");
    EXPECT_EQ(dialogs.shown[0].text, "TileSets/Textures/grass.png");
    EXPECT_EQ(dialogs.shown[0].patterns, "All (*.*)|*.*");
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(readFile(out), grass);
    EXPECT_EQ(folderListing(out.parent_path()), std::vector<std::string>{"grass-copy"});

    // Cancelled: nothing written, nothing said.
    dialogs.clearShown();
    click(TextureExport);
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(folderListing(out.parent_path()), std::vector<std::string>{"grass-copy"});
    EXPECT_EQ(folderListing(textureDir), std::vector<std::string>{"grass.png"});
}

TEST_F(TexturesTest, AnExportIntoTheShownFolderLeavesTheTexturesCaptionAlone) {
    writeImage(textureDir / "grass.png", kGreen);
    startAgain();
    addFile("grass.png");   // the explorer keeps grass.png selected
    selectTexture("grass.png");
    ASSERT_EQ(caption(), "[X] grass.png");

    // The copy sorts before grass.png: the folder watcher lists the folder again and the
    // selected entry moves one row down, still selected. That is no change of the
    // explorer's selection, so the explorer handler does not run and the caption stays.
    dialogs.paths.push_back((textureDir / "a-copy.png").string());
    click(TextureExport);
    ASSERT_TRUE(messages().empty());
    std::vector<platform::FrameEvent> dispatched;
    auto cycle = [&] {
        editor::RunCycle(*ed);
        dispatched.insert(dispatched.end(), ed->frame.events.begin(), ed->frame.events.end());
    };
    const platform::ExplorerList& explorer = g().explorerList(Explorer);
    ASSERT_TRUE(QTest::qWaitFor([&] {
        cycle();
        return explorer.rowCount() == 2;
    }, 5000)) << "the explorer did not list the exported file";
    for (int i = 0; i < 20 && !(ed->queue.empty() && ed->frame.events.empty()); ++i) cycle();
    cycle();

    EXPECT_EQ(explorer.rowText(0), "a-copy.png");
    EXPECT_EQ(explorer.selectedRow(), 1);
    EXPECT_EQ(caption(), "[X] grass.png");
    EXPECT_TRUE(std::none_of(dispatched.begin(), dispatched.end(), [](const platform::FrameEvent& e) {
        return e.kind == platform::kEventGadget && e.gadget == Explorer;
    })) << "the explorer reported an event nobody caused";
    expectPreviewOf(kGreen);
}

TEST_F(TexturesTest, AFailedExportSaysSoAndLeavesNoFileBehind) {
    // A bitmap under a PNG name: large enough for the size limit below to cut it.
    const std::string grass = writeImage(textureDir / "grass.png", kGreen, 64, 64, "BMP");
    writeFile(root / "notes.txt", "a file, not a folder");
    startAgain();
    addFile("grass.png");
    selectTexture("grass.png");

    // Places where no file can be made: inside a file, in a folder that is not there.
    dialogs.paths.push_back((root / "notes.txt" / "grass.png").string());
    click(TextureExport);
    dialogs.paths.push_back((root / "missing" / "grass.png").string());
    click(TextureExport);
    EXPECT_EQ(messages(), std::vector<std::string>(2, "Could not be exported!"));
    EXPECT_EQ(readFile(root / "notes.txt"), "a file, not a folder");
    EXPECT_FALSE(fs::exists(root / "missing"));

    // A write that fails half-way (the disk is full, a size limit) damages no older file
    // and leaves nothing of its own.
    const fs::path out = root / "full";
    fs::create_directories(out);
    writeFile(out / "grass.png", "the older export");
    ASSERT_GT(grass.size(), 200u);
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit limited = old;
    limited.rlim_cur = 100;
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    dialogs.clearShown();
    dialogs.paths.push_back((out / "grass.png").string());
    click(TextureExport);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(messages(), std::vector<std::string>{"Could not be exported!"});
    EXPECT_EQ(readFile(out / "grass.png"), "the older export");
    EXPECT_EQ(folderListing(out), std::vector<std::string>{"grass.png"});
}

TEST_F(TexturesTest, AFileThatCannotBeReadIsNotImported) {
    writeImage(textureDir / "grass.png", kGreen);
    writeImage(textureDir / "gone.png", kBlue);
    fs::create_directories(textureDir / "folder.png");
    startAgain();

    // Selected, then removed before the explorer has caught up with the folder.
    selectFile("gone.png");
    fs::remove(textureDir / "gone.png");
    addBeforeTheListCatchesUp();
    settle();
    // A folder whose name looks like a picture.
    addFile("folder.png");
    EXPECT_EQ(messages(), std::vector<std::string>(2, "Could not be imported!"));
    EXPECT_TRUE(ed->doc().textures.empty());
    EXPECT_EQ(g().listView(TexturesList).rowCount(), 0);

    // A file the user may not read (root reads everything, so only then).
    if (geteuid() != 0) {
        writeImage(textureDir / "locked.png", kRed);
        fs::permissions(textureDir / "locked.png", fs::perms::none);
        startAgain();
        dialogs.clearShown();
        addFile("locked.png");
        EXPECT_EQ(messages(), std::vector<std::string>{"Could not be imported!"});
        EXPECT_TRUE(ed->doc().textures.empty());
    }

    // A name already taken is told apart from an unreadable file.
    addFile("grass.png");
    fs::remove(textureDir / "grass.png");
    dialogs.clearShown();
    addBeforeTheListCatchesUp();
    EXPECT_EQ(messages(), std::vector<std::string>{"The texture already exists!"});
}

TEST_F(TexturesTest, WithNothingSelectedTheButtonsDoNothing) {
    writeImage(textureDir / "grass.png", kGreen);
    startAgain();
    addFile("grass.png");
    selectTexture("grass.png");
    // Clear both selections the way a user does: a click below the rows.
    clickBelowRows(Explorer);
    clickBelowRows(TexturesList);
    ASSERT_EQ(g().explorerList(Explorer).selectedRow(), -1);
    ASSERT_EQ(g().listView(TexturesList).selectedRow(), -1);
    dialogs.clearShown();

    click(TextureAdd);
    click(TextureDelete);
    click(TextureExport);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(ed->doc().textures.size(), 1u);
    EXPECT_EQ(listRows(), std::vector<std::string>{"grass.png"});
    EXPECT_EQ(caption(), "[X] grass.png");
    expectPreviewOf(kGreen);
}

TEST_F(TexturesTest, NewEmptiesThePreviewAndTheLists) {
    writeImage(textureDir / "grass.png", kGreen);
    startAgain();
    addFile("grass.png");
    selectTexture("grass.png");
    dialogs.answers.push_back(platform::Answer::Yes);
    chooseMenu(editor::menu::New);
    EXPECT_TRUE(ed->doc().textures.empty());
    EXPECT_FALSE(g().image(TexturePreview).hasImage());
    EXPECT_EQ(caption(), "");
    EXPECT_TRUE(listRows().empty());
    EXPECT_TRUE(choiceItems().empty());
}
