// The marquetor program: the editor on the tile set named as the first argument.

#include <QApplication>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "editor/editor.h"
#include "editor/eventloop.h"
#include "editor/mainwindow.h"

namespace {

constexpr const char* kUsage =
    "Usage: marquetor [FILE.mrqt]\n"
    "The Marquetor tile set editor. Opens FILE.mrqt at start-up when it is named.\n"
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

// Without a display Qt ends the process from inside QApplication's constructor. Turn that
// into a clear message and exit status 1 instead of an abort.
void onQtMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "marquetor: the main window could not be opened (no usable display)\n");
        std::fflush(stderr);
        std::_Exit(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (answeredBeforeStart(argc, argv)) return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;

    qInstallMessageHandler(onQtMessage);
    QApplication app(argc, argv);   // takes Qt's own options out of argv
    qInstallMessageHandler(nullptr);

    marquetor::platform::QtDialogs dialogs;
    marquetor::editor::Editor ed(dialogs);
    const std::string_view firstArgument = argc > 1 ? std::string_view(argv[1]) : std::string_view();
    if (!marquetor::editor::StartEditor(ed, firstArgument)) {
        std::fprintf(stderr, "marquetor: the main window could not be opened\n");
        return 1;
    }
    dialogs.setParent(ed.window.widget());
    return marquetor::editor::RunEventLoop(ed);
}
