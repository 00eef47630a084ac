// The start-up baselines: minimal Qt Widgets programs that open one window of the editor's
// size, let Qt handle what is pending once (as the editor's first loop cycle does), and
// exit.
//
//   marquetor_bench_minimal_qt          an empty window
//   marquetor_bench_minimal_qt --text   a main window with a "File" menu and one line of
//                                       text: what any window showing text pays for fonts
//                                       and a menu bar

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool withText = argc > 1 && std::strcmp(argv[1], "--text") == 0;
    QWidget plain;
    QMainWindow main;
    if (withText) {
        main.menuBar()->addMenu(QStringLiteral("File"))->addAction(QStringLiteral("Close"));
        main.setCentralWidget(new QLabel(QStringLiteral("Minimal")));
        main.setWindowTitle(QStringLiteral("Minimal"));
        main.resize(512, 768);
        main.show();
    } else {
        plain.setWindowTitle(QStringLiteral("Minimal"));
        plain.resize(512, 768);
        plain.show();
    }
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    std::fflush(stdout);
    std::_Exit(0);
}
