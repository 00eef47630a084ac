// Nothing is lost when things go wrong: the Textures tab refuses at once what is no regular
// file (a FIFO, a device, a folder) and a file cut short while it is read, with its usual
// message; a full disk refuses Save... and Export with theirs, the old files whole.

#include <QAbstractItemView>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "../fileio/midread.h"
#include "../fileio/smalldisk.h"
#include "editor/texturestab.h"
#include "fixture.h"
#include "testpicture.h"
#include "tilesetfile/format.h"

using namespace editor::gadget;
namespace fs = std::filesystem;

namespace {

constexpr char kNotImported[] = "Could not be imported!";

// Ends the test program with a message when what runs under it does not come back within
// `seconds`: a hang fails the test instead of holding it up.
class Watchdog {
public:
    explicit Watchdog(unsigned seconds) {
        std::signal(SIGALRM, [](int) {
            static const char text[] = "\nthe editor did not answer: it hangs\n";
            (void)!::write(2, text, sizeof text - 1);
            ::_exit(3);
        });
        ::alarm(seconds);
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
    ~Watchdog() {
        ::alarm(0);
        std::signal(SIGALRM, SIG_DFL);
    }
};

class NothingLost : public EditorFixture {
protected:
    int textureRows() { return g().listView(TexturesList).rowCount(); }

    void selectFile(const std::string& name) {
        const platform::ExplorerList& explorer = g().explorerList(Explorer);
        for (int row = 0; row < explorer.rowCount(); ++row) {
            if (explorer.rowText(row) == name) {
                clickRow(Explorer, row);
                return;
            }
        }
        ADD_FAILURE() << "no entry " << name << " in the folder list";
    }

    // A file dragged from a file manager and dropped on the Textures tab's list.
    void dropOnTexturesTab(const fs::path& file) {
        showTab(2);
        QWidget* page = qobject_cast<QAbstractItemView*>(widgetOf(TexturesList))->viewport();
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(file.string()))});
        const QPoint at(5, 5);
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(page, &enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(page, &drop);
        settle();
    }

    std::vector<std::string> listing(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

}  // namespace

TEST_F(NothingLost, TheTexturesTabRefusesWhatIsNoRegularFileAtOnce) {
    // Outside the texture folder, where a file manager could drag them from.
    const fs::path elsewhere = root / "elsewhere";
    fs::create_directories(elsewhere / "folder.png");
    ASSERT_EQ(::mkfifo((elsewhere / "pipe.png").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", elsewhere / "zero.png");
    // In the folder: a folder with a picture's name, and two pictures that become a FIFO and
    // a link to /dev/zero between the user's click on them and the click on Add.
    fs::create_directories(textureDir / "folder.png");
    writeFile(textureDir / "pipe.png", PngOfColour(Qt::red));
    writeFile(textureDir / "zero.png", PngOfColour(Qt::blue));
    restart("");

    {
        const Watchdog watchdog(10);
        for (const char* name : {"pipe.png", "zero.png", "folder.png"}) {
            SCOPED_TRACE(name);
            dialogs.clearShown();
            dropOnTexturesTab(elsewhere / name);
            EXPECT_EQ(messages(), std::vector<std::string>{kNotImported});
        }

        dialogs.clearShown();
        selectFile("folder.png");
        click(TextureAdd);
        EXPECT_EQ(messages(), std::vector<std::string>{kNotImported});

        for (const char* name : {"pipe.png", "zero.png"}) {
            SCOPED_TRACE(name);
            dialogs.clearShown();
            selectFile(name);
            fs::remove(textureDir / name);
            if (std::string(name) == "pipe.png") {
                ASSERT_EQ(::mkfifo((textureDir / name).c_str(), 0644), 0);
            } else {
                fs::create_symlink("/dev/zero", textureDir / name);
            }
            // Before the folder list has heard of the change: the click a user can still make.
            editor::HandleTexturesGadget(*ed, TextureAdd);
            settle();
            EXPECT_EQ(messages(), std::vector<std::string>{kNotImported});
        }
    }
    EXPECT_EQ(textureRows(), 0);
    EXPECT_TRUE(fs::is_fifo(textureDir / "pipe.png"));
}

TEST_F(NothingLost, OpenAndTheStartUpFileRefuseATileSetThatIsNoRegularFileAtOnce) {
    ASSERT_EQ(::mkfifo((tileSetDir / "pipe.mrqt").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", tileSetDir / "zero.mrqt");
    fs::create_directories(tileSetDir / "folder.mrqt");
    const Watchdog watchdog(10);
    for (const char* name : {"pipe.mrqt", "zero.mrqt", "folder.mrqt"}) {
        SCOPED_TRACE(name);
        dialogs.clearShown();
        dialogs.paths.push_back((tileSetDir / name).string());
        chooseMenu(editor::menu::Open);
        EXPECT_EQ(messages(), std::vector<std::string>{"Could not be opened!"});
        // The start-up file: passed over in silence, as a missing one is.
        dialogs.clearShown();
        restart("../../Data/TileSets/" + std::string(name));
        EXPECT_TRUE(messages().empty());
        EXPECT_FALSE(ed->session.hasUnsavedChanges());
        EXPECT_TRUE(ed->session.savedMark().path.empty());
    }
}

TEST_F(NothingLost, ATextureCutShortWhileAddReadsItIsRefused) {
    // 64 MiB (a hole, no disk), read in steps of 1 MiB. A child process stops this one again
    // and again until it is caught between two steps, and then cuts the file to half.
    const fs::path big = fs::canonical(textureDir) / "big.png";
    constexpr off_t kSize = off_t{64} << 20;
    bool caught = false;
    for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
        ASSERT_TRUE(midread::MakeSparseFile(big.c_str(), kSize));
        restart("");
        dialogs.clearShown();
        selectFile("big.png");   // its preview reads it whole first: nothing to show

        const pid_t self = ::getpid();
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const bool done = midread::ChangeFileMidRead(self, big.c_str(), kSize, midread::Change::Truncate, 2000);
            ::_exit(done ? 0 : 1);
        }
        {
            const Watchdog watchdog(10);
            click(TextureAdd);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        caught = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (!caught) {
            // Read whole before it could be caught: added as usual.
            EXPECT_TRUE(messages().empty());
            continue;
        }
        EXPECT_EQ(messages(), std::vector<std::string>{kNotImported});
        EXPECT_EQ(textureRows(), 0);
    }
    EXPECT_TRUE(caught) << "the editor was never caught in the middle of the file";
}

TEST_F(NothingLost, OnAFullDiskSaveAndExportSayTheirMessageAndKeepTheOldFiles) {
    const fs::path disk = root / "disk";
    SMALL_DISK_OR_SKIP(small, disk, 256 * 1024);
    // An older tile set and an older export on the disk; a document that differs from both.
    marquetor::document::TileSet older;
    marquetor::document::AddTileGroup(older, 1);
    marquetor::document::AddMaterial(older, "Older", 1, "saved before");
    const auto oldSet = marquetor::tilesetfile::SaveTileSetToMemory(older);
    writeFile(disk / "level.mrqt", std::span<const std::uint8_t>(oldSet));
    writeFile(disk / "grass.png", "an older export");
    const std::string grass = PngOfColour(Qt::green, 64, 64);
    writeFile(textureDir / "grass.png", grass);
    restart("");
    selectFile("grass.png");
    click(TextureAdd);
    ASSERT_EQ(textureRows(), 1);
    ASSERT_TRUE(small.fill(disk / "filler"));

    dialogs.clearShown();
    dialogs.paths.push_back((disk / "level.mrqt").string());
    chooseMenu(editor::menu::Save);
    EXPECT_EQ(messages(), std::vector<std::string>{"Could not be saved!"});

    dialogs.clearShown();
    clickRow(TexturesList, 0);
    dialogs.paths.push_back((disk / "grass.png").string());
    click(TextureExport);
    EXPECT_EQ(messages(), std::vector<std::string>{"Could not be exported!"});

    EXPECT_EQ(readFile(disk / "level.mrqt"), std::string(oldSet.begin(), oldSet.end()));
    EXPECT_EQ(readFile(disk / "grass.png"), "an older export");
    EXPECT_EQ(listing(disk), (std::vector<std::string>{"filler", "grass.png", "level.mrqt"}));

    // With room again, the same Save... and Export go through.
    fs::remove(disk / "filler");
    dialogs.clearShown();
    dialogs.paths.push_back((disk / "level.mrqt").string());
    chooseMenu(editor::menu::Save);
    clickRow(TexturesList, 0);
    dialogs.paths.push_back((disk / "grass.png").string());
    click(TextureExport);
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(readFile(disk / "grass.png"), grass);
    EXPECT_NE(readFile(disk / "level.mrqt"), std::string(oldSet.begin(), oldSet.end()));
}
