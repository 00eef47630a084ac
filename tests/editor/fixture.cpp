#include "fixture.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "editor/eventloop.h"
#include "editor/mainwindow.h"

namespace fs = std::filesystem;

namespace {

QAbstractItemView* itemViewOf(QWidget* widget) {
    if (auto* view = qobject_cast<QAbstractItemView*>(widget)) return view;
    return widget ? widget->findChild<QAbstractItemView*>() : nullptr;
}

QLineEdit* lineEditOf(QWidget* widget) {
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit;
    if (auto* combo = qobject_cast<QComboBox*>(widget)) return combo->lineEdit();
    return widget ? widget->findChild<QLineEdit*>() : nullptr;
}

void activate(QWidget* window) {
    window->activateWindow();
    QApplication::setActiveWindow(window);
    (void)QTest::qWaitForWindowActive(window);
}

const char* menuText(int item) {
    switch (item) {
    case editor::menu::New: return "New";
    case editor::menu::Save: return "Save...";
    case editor::menu::Open: return "Open...";
    case editor::menu::Close: return "Close";
    default: return "";
    }
}

}  // namespace

void EditorFixture::SetUp() {
    m_oldCwd = fs::current_path();
    m_root.emplace();
    root = m_root->path();
    ASSERT_FALSE(root.empty()) << "no temporary folder";
    tileSetDir = root / "Data" / "TileSets";
    workDir = root / "Tools" / "Marquetor";
    textureDir = workDir / "TileSets" / "Textures";
    fs::create_directories(tileSetDir);
    fs::create_directories(textureDir);
    fs::current_path(workDir);
    // The editor's recovery copies go to the workspace, never to the user's own folder.
    stateDir = root / "state";
    if (const char* old = std::getenv("XDG_STATE_HOME")) m_oldStateHome = old;
    ::setenv("XDG_STATE_HOME", stateDir.c_str(), 1);
    restart("");
}

void EditorFixture::TearDown() {
    ed.reset();
    if (m_oldStateHome) {
        ::setenv("XDG_STATE_HOME", m_oldStateHome->c_str(), 1);
    } else {
        ::unsetenv("XDG_STATE_HOME");
    }
    std::error_code ignored;
    if (!m_oldCwd.empty()) fs::current_path(m_oldCwd, ignored);
    m_root.reset();
}

void EditorFixture::restart(std::string_view firstArgument) {
    ed.reset();
    ed = std::make_unique<editor::Editor>(dialogs);
    ASSERT_TRUE(editor::StartEditor(*ed, firstArgument));
    activate(window());
    settle();
}

void EditorFixture::settle(int maxCycles) {
    for (int cycle = 0; cycle < maxCycles; ++cycle) {
        editor::RunCycle(*ed);
        if (ed->frame.running == 0) return;
        if (ed->frame.events.empty() && ed->queue.empty()) return;
    }
    ADD_FAILURE() << "the event loop did not come to rest in " << maxCycles << " cycles";
}

QWidget* EditorFixture::widgetOf(int gadgetId) {
    platform::Gadget* gadget = g().find(gadgetId);
    EXPECT_NE(gadget, nullptr) << "no gadget " << gadgetId;
    return gadget ? gadget->widget() : nullptr;
}

QWidget* EditorFixture::window() { return ed->window.widget(); }

void EditorFixture::bringTabForward(QWidget* widget) {
    // The page a gadget sits on is a direct child of the tab widget's stack.
    for (QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        QWidget* parent = w->parentWidget();
        QTabWidget* tabs = parent ? qobject_cast<QTabWidget*>(parent->parentWidget()) : nullptr;
        if (tabs != nullptr && tabs->indexOf(w) >= 0) {
            if (tabs->currentWidget() != w) showTab(tabs->indexOf(w));
            return;
        }
    }
}

void EditorFixture::click(int gadgetId) {
    QWidget* widget = widgetOf(gadgetId);
    ASSERT_NE(widget, nullptr);
    bringTabForward(widget);
    QTest::mouseClick(widget, Qt::LeftButton);
    settle();
}

void EditorFixture::typeInto(int gadgetId, std::string_view utf8, bool clearFirst) {
    QWidget* widget = widgetOf(gadgetId);
    ASSERT_NE(widget, nullptr);
    bringTabForward(widget);
    QLineEdit* edit = lineEditOf(widget);
    ASSERT_NE(edit, nullptr) << "gadget " << gadgetId << " takes no typing";
    widget->setFocus(Qt::MouseFocusReason);
    if (clearFirst) {
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        if (utf8.empty()) QTest::keyClick(edit, Qt::Key_Delete);
    } else {
        QTest::keyClick(edit, Qt::Key_End);
    }
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.unicode() < 0x80) {
            QTest::keyClick(edit, static_cast<char>(c.unicode()));
            continue;
        }
        // Characters beyond ASCII have no key of their own: a key event that carries the text.
        QString typed(c);
        if (c.isHighSurrogate() && i + 1 < text.size()) typed += text[++i];
        QTest::sendKeyEvent(QTest::Press, edit, Qt::Key_unknown, typed, Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, edit, Qt::Key_unknown, typed, Qt::NoModifier);
    }
    settle();
}

void EditorFixture::clickRow(int listGadgetId, int row) {
    QAbstractItemView* view = itemViewOf(widgetOf(listGadgetId));
    ASSERT_NE(view, nullptr);
    bringTabForward(view);
    const QModelIndex index = view->model()->index(row, 0, view->rootIndex());
    ASSERT_TRUE(index.isValid()) << "no row " << row << " in gadget " << listGadgetId;
    view->scrollTo(index);
    const QRect rect = view->visualRect(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    settle();
}

void EditorFixture::clickBelowRows(int listGadgetId) {
    QAbstractItemView* view = itemViewOf(widgetOf(listGadgetId));
    ASSERT_NE(view, nullptr);
    bringTabForward(view);
    const int rows = view->model()->rowCount(view->rootIndex());
    int y = 2;
    if (rows > 0) {
        const QModelIndex last = view->model()->index(rows - 1, 0, view->rootIndex());
        view->scrollTo(last);
        y = view->visualRect(last).bottom() + 4;
    }
    ASSERT_LT(y, view->viewport()->height()) << "the rows fill the list: no space below them";
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(8, y));
    settle();
}

void EditorFixture::chooseItem(int choiceGadgetId, int index) {
    auto* combo = qobject_cast<QComboBox*>(widgetOf(choiceGadgetId));
    ASSERT_NE(combo, nullptr) << "gadget " << choiceGadgetId << " is no choice box";
    ASSERT_TRUE(index >= 0 && index < combo->count()) << "no entry " << index;
    bringTabForward(combo);
    combo->setFocus(Qt::MouseFocusReason);
    // Open the list, walk to the entry with the arrow keys and press Return, as with the
    // keyboard: the box reports the choice as the user's.
    combo->showPopup();
    QAbstractItemView* list = combo->view();
    QTest::keyClick(list, Qt::Key_Home);
    for (int i = 0; i < index; ++i) QTest::keyClick(list, Qt::Key_Down);
    if (list->currentIndex().row() != index)   // a list that ignores Home starts elsewhere
        list->setCurrentIndex(combo->model()->index(index, combo->modelColumn(), combo->rootModelIndex()));
    QTest::keyClick(list, Qt::Key_Return);
    settle();
}

void EditorFixture::chooseMenu(int item) {
    auto* bar = window()->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr) << "no menu bar";
    const QString wanted = QString::fromUtf8(menuText(item));
    QAction* found = nullptr;
    for (QAction* title : bar->actions()) {
        if (title->menu() == nullptr) continue;
        for (QAction* action : title->menu()->actions())
            if (!action->isSeparator() && action->text().remove('&') == wanted) found = action;
    }
    ASSERT_NE(found, nullptr) << "no menu item " << item;
    found->trigger();
    settle();
}

void EditorFixture::showTab(int index) {
    auto* tabs = qobject_cast<QTabWidget*>(widgetOf(editor::gadget::Panel));
    ASSERT_NE(tabs, nullptr);
    QTabBar* bar = tabs->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(index).center());
    settle();
}

void EditorFixture::writeFile(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "could not write " << path;
}

void EditorFixture::writeFile(const fs::path& path, std::span<const std::uint8_t> bytes) {
    writeFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string EditorFixture::readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
