// The marquetor program: the editor on the tile set named as the first argument.

#include <QApplication>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "editor/editor.h"
#include "editor/eventloop.h"
#include "editor/mainwindow.h"
#include "tilesetfile/format.h"

namespace {

constexpr const char* kUsage =
    "Usage: marquetor [FILE.mrqt]\n"
    "The Marquetor tile set editor. Opens FILE.mrqt at start-up when it is named (the name\n"
    "must end in \".mrqt\"); standard error says why a named file was not opened.\n"
    "\n"
    "Start it in the game's tool folder: tile sets are saved in ../../Data/TileSets/ and\n"
    "textures are imported from TileSets/Textures/, both relative to the working directory.\n"
    "marquetor-open FILE starts it in the right folder for FILE.\n"
    "\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "The editor needs a display; without one it ends with exit status 1.\n";

// --help and --version are answered before Qt starts, so they work without a display.
// Any other first argument goes to the editor as it always has.
bool answeredBeforeStart(int argc, char** argv) {
    if (argc != 2) return false;
    if (std::strcmp(argv[1], "--version") == 0) {
        std::fputs("marquetor " MARQUETOR_VERSION "\n", stdout);
        return true;
    }
    if (std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kUsage, stdout);
        return true;
    }
    return false;
}

// Qt's messages while it connects to the display are held back. Without a usable display
// Qt ends the process from inside QApplication's constructor, after lines about its
// plugins that a user can do nothing with: only our own line is printed then, with exit
// status 1 instead of an abort. With a display the held messages are passed on as Qt
// would have printed them.
constexpr const char* kNoDisplay = "marquetor: the main window could not be opened (no usable display)\n";

struct HeldMessage {
    QtMsgType type;
    std::string category;
    QString text;
};
std::vector<HeldMessage> heldMessages;

void holdQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        std::fputs(kNoDisplay, stderr);
        std::fflush(stderr);
        std::_Exit(1);
    }
    heldMessages.push_back({type, context.category ? context.category : "", text});
}

void passOnHeldMessages() {
    for (const HeldMessage& m : heldMessages)
        qt_message_output(m.type, QMessageLogContext(nullptr, 0, nullptr, m.category.c_str()), m.text);
    heldMessages.clear();
}

// What became of the start-up file, on standard error: the window stays silent about a
// file it could not open, and a typo should not look like lost work.
void reportStartupFile(std::string_view path, const marquetor::tilesetfile::LoadResult& result) {
    using marquetor::tilesetfile::LoadStatus;
    const std::string shown(path);
    switch (result.status) {
    case LoadStatus::Ok: return;
    case LoadStatus::Truncated:
        std::fprintf(stderr, "marquetor: warning: %s: %s\n", shown.c_str(), result.message.c_str());
        return;
    case LoadStatus::NotATileSet:
        std::fprintf(stderr, "marquetor: %s: %s; starting with a new tile set\n", shown.c_str(),
                     result.message.c_str());
        return;
    case LoadStatus::CannotOpen:
        std::fprintf(stderr, "marquetor: %s; starting with a new tile set\n", result.message.c_str());
        return;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (answeredBeforeStart(argc, argv)) return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;

    qInstallMessageHandler(holdQtMessage);
    QApplication app(argc, argv);   // takes Qt's own options out of argv
    qInstallMessageHandler(nullptr);
    passOnHeldMessages();

    marquetor::platform::QtDialogs dialogs;
    marquetor::editor::Editor ed(dialogs);
    const std::string_view firstArgument = argc > 1 ? std::string_view(argv[1]) : std::string_view();
    if (!marquetor::editor::StartEditor(ed, firstArgument, reportStartupFile)) {
        std::fprintf(stderr, "marquetor: the main window could not be opened\n");
        return 1;
    }
    for (int i = 2; i < argc; ++i)
        std::fprintf(stderr, "marquetor: %s: not opened: only the first argument names a tile set to open\n", argv[i]);
    dialogs.setParent(ed.window.widget());
    return marquetor::editor::RunEventLoop(ed);
}
