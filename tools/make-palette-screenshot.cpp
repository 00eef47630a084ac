// Draws the README's picture of the tile palette with the editor itself: the demo tile set
// is opened in the demo workspace, View > Tile Palette is chosen, a few tiles are clicked
// as a user would (one, then two more with Ctrl), and both windows are captured side by
// side once every picture is decoded.
//
//   make_palette_screenshot WORKSPACE TILESET OUTPUT.png
//
// TILESET is taken from WORKSPACE, as the editor's first argument would be. The target
// palette-screenshot runs it on the demo set under xvfb-run (offscreen without it).

#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QtGlobal>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

#include "editor/editor.h"
#include "editor/eventloop.h"
#include "editor/mainwindow.h"
#include "editor/palette.h"
#include "platform/cellgrid.h"
#include "platform/dialogs.h"

namespace {

namespace editor = marquetor::editor;
namespace platform = marquetor::platform;

// Cycles of the editor's loop for a while, so the window system and the decoders catch up.
void run(editor::Editor& ed, int milliseconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < until) editor::RunCycle(ed);
}

QAction* menuItem(QWidget* window, const QString& title, const QString& item) {
    auto* bar = window->findChild<QMenuBar*>();
    if (bar == nullptr) return nullptr;
    for (QAction* t : bar->actions())
        if (t->menu() != nullptr && t->text().remove('&') == title)
            for (QAction* a : t->menu()->actions())
                if (a->text() == item) return a;
    return nullptr;
}

// A click on the cell at a shown position, as the mouse gives it.
void clickCell(editor::Editor& ed, std::size_t position, Qt::KeyboardModifiers modifiers) {
    platform::CellGrid& grid = platform::CellGridOf(ed.gadgets(), editor::gadget::PaletteTiles);
    QWidget* viewport = qobject_cast<QAbstractScrollArea*>(grid.widget())->viewport();
    const platform::Rect r = grid.cellRect(position);
    const QPointF at(r.x + r.width / 2.0, r.y + r.height / 2.0);
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, viewport->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, modifiers);
        QApplication::sendEvent(viewport, &event);
    }
    run(ed, 200);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_palette_screenshot WORKSPACE TILESET OUTPUT.png\n");
        return 2;
    }
    const std::filesystem::path output = std::filesystem::absolute(argv[3]);
    std::error_code ec;
    std::filesystem::current_path(argv[1], ec);
    if (ec) {
        std::fprintf(stderr, "make_palette_screenshot: cannot work in %s\n", argv[1]);
        return 1;
    }

    platform::ScriptedDialogs dialogs;
    editor::Editor ed(dialogs);
    if (!editor::StartEditor(ed, argv[2])) {
        std::fprintf(stderr, "make_palette_screenshot: the main window could not be opened\n");
        return 1;
    }
    run(ed, 300);
    QAction* palette = menuItem(ed.window.widget(), QStringLiteral("View"), QStringLiteral("Tile Palette"));
    if (palette == nullptr) {
        std::fprintf(stderr, "make_palette_screenshot: no View > Tile Palette\n");
        return 1;
    }
    palette->trigger();
    run(ed, 300);
    if (ed.palette.window == nullptr) {
        std::fprintf(stderr, "make_palette_screenshot: the palette did not open\n");
        return 1;
    }
    // A few tiles of the second row, as a user picks them.
    clickCell(ed, 9, Qt::NoModifier);
    clickCell(ed, 11, Qt::ControlModifier);
    clickCell(ed, 10, Qt::ControlModifier);
    platform::CellGrid& tiles = platform::CellGridOf(ed.gadgets(), editor::gadget::PaletteTiles);
    for (int i = 0; i < 200 && tiles.picturesPending() > 0; ++i) run(ed, 50);
    run(ed, 300);

    const QPixmap mainShot = ed.window.widget()->grab();
    const QPixmap paletteShot = ed.palette.window->widget()->grab();
    constexpr int kGap = 16;
    QImage picture(mainShot.width() + kGap + paletteShot.width(), std::max(mainShot.height(), paletteShot.height()),
                   QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    {
        QPainter painter(&picture);
        painter.drawPixmap(0, 0, mainShot);
        painter.drawPixmap(mainShot.width() + kGap, 0, paletteShot);
    }
    if (!picture.save(QString::fromStdString(output.string()), "PNG")) {
        std::fprintf(stderr, "make_palette_screenshot: cannot write %s\n", output.c_str());
        return 1;
    }
    std::printf("%s\n", output.c_str());
    return 0;
}
