// The start-up baseline: a minimal Qt Widgets program that opens one window of the
// editor's size, lets Qt handle what is pending once (as the editor's first loop cycle
// does), and exits.

#include <QApplication>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal"));
    window.resize(512, 768);
    window.show();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    std::fflush(stdout);
    std::_Exit(0);
}
