// The marquetor program: the editor on the tile set named as the first argument.

#include <QApplication>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "editor/editor.h"
#include "editor/eventloop.h"
#include "editor/mainwindow.h"

namespace {

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
