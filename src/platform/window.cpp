#include "platform/window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "platform/image.h"
#include "platform/problemlist.h"
#include "platform/problemlistwidget.h"
#include "platform/textcodec.h"
#include "platform/widgets.h"

namespace marquetor::platform {

namespace {

// Text of the whole window: sized so that a 20-pixel field shows it whole.
constexpr int kFontPixelSize = 11;

QString toQt(std::string_view text) { return textcodec::fromBytes(text); }

QRect toQt(const Rect& r) { return QRect(r.x, r.y, r.width, r.height); }

// The close box never closes the window by itself: it asks the editor, which decides
// (and may ask the user) in its own loop.
class MainWindow final : public QMainWindow {
public:
    explicit MainWindow(EventQueue& queue) : m_queue(queue) {}
    void allowClose() { m_closing = true; }

protected:
    void closeEvent(QCloseEvent* event) override {
        if (m_closing) {
            event->accept();
            return;
        }
        event->ignore();
        m_queue.push({kEventCloseWindow, 0, 0});
    }
    void changeEvent(QEvent* event) override {
        // Active again: the first activation, when the window is shown, is no return to it.
        if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
            if (m_wasActive) m_queue.push({kEventActivateWindow, 0, 0});
            m_wasActive = true;
        }
        QMainWindow::changeEvent(event);
    }

private:
    EventQueue& m_queue;
    bool m_closing = false;
    bool m_wasActive = false;
};

// Left and right mouse buttons pressed or released anywhere inside the main window reach
// the editor's loop, before the widget under the pointer handles them.
class MouseButtonFilter final : public QObject {
public:
    MouseButtonFilter(EventQueue& queue, QWidget* window) : m_queue(queue), m_window(window) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease) return false;
        // Qt hands an unhandled mouse event on to the parents as a fresh, non-spontaneous
        // copy; only the first delivery counts.
        if (!event->spontaneous() || !watched->isWidgetType()) return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->window() != m_window) return false;
        const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
        const bool press = type == QEvent::MouseButtonPress;
        if (button == Qt::LeftButton) {
            m_queue.push({press ? kEventLeftButtonDown : kEventLeftButtonUp, 0, 0});
        } else if (button == Qt::RightButton) {
            m_queue.push({press ? kEventRightButtonDown : kEventRightButtonUp, 0, 0});
        }
        return false;
    }

private:
    EventQueue& m_queue;
    QWidget* m_window;
};

[[noreturn]] void misuse(const char* what) {
    std::fprintf(stderr, "marquetor: %s\n", what);
    std::abort();
}

}  // namespace

struct Window::Impl {
    explicit Impl(EventQueue& q) : queue(q) {}

    EventQueue& queue;
    MainWindow* window = nullptr;   // owned; deleted by ~Window
    QWidget* client = nullptr;      // below the menu bar
    QMenu* menu = nullptr;
    QTabWidget* panel = nullptr;
    QWidget* parent = nullptr;      // where the next gadget goes
    MouseButtonFilter* filter = nullptr;
    detail::FileDropFilter* drops = nullptr;
    std::map<int, QAction*> menuItems;
    Gadgets gadgets;
    // Shared by the drop-down lists; goes after the window (the widgets use it to the end).
    std::unique_ptr<QStyle> dropDownStyle;

    QWidget* place(QWidget* widget, const Rect& rect) {
        widget->setGeometry(toQt(rect));
        widget->show();
        return widget;
    }

    QWidget* currentParent() const {
        if (parent == nullptr) misuse("gadgets are created before the window is open");
        return parent;
    }

    template <typename Facade>
    Facade& add(int id, GadgetKind kind, QWidget* widget) {
        return detail::RegisterGadget<Facade>(gadgets, id, kind, widget);
    }
};

Window::Window(EventQueue& queue) : m_impl(std::make_unique<Impl>(queue)) {}

Window::~Window() {
    if (QCoreApplication::instance() != nullptr) {
        if (m_impl->filter != nullptr) QCoreApplication::instance()->removeEventFilter(m_impl->filter);
        if (m_impl->drops != nullptr) QCoreApplication::instance()->removeEventFilter(m_impl->drops);
    }
    delete m_impl->filter;
    delete m_impl->drops;
    // The facades only point at the widgets; they go with m_impl and never touch them.
    delete m_impl->window;
}

bool Window::open(const WindowSettings& settings) {
    if (m_impl->window != nullptr) return isOpen();
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return false;
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return false;

    auto* window = new MainWindow(m_impl->queue);
    window->setWindowTitle(toQt(settings.title));
    // A title bar with the system menu, minimise and close boxes; no maximise box and no
    // resizing border.
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    QFont font = window->font();
    font.setPixelSize(kFontPixelSize);
    window->setFont(font);
    window->menuBar()->setNativeMenuBar(false);   // the menu bar lives inside the client area

    const QRect available = screen->availableGeometry();
    const int width = std::min(std::max(settings.clientWidth, 1), available.width());
    const int height = std::min(std::max(settings.clientHeight, 1), available.height());
    window->setFixedSize(width, height);
    auto* client = new QWidget(window);
    window->setCentralWidget(client);
    window->move(available.x() + (available.width() - width) / 2, available.y() + (available.height() - height) / 2);

    m_impl->window = window;
    m_impl->client = client;
    m_impl->parent = client;
    m_impl->filter = new MouseButtonFilter(m_impl->queue, window);
    QCoreApplication::instance()->installEventFilter(m_impl->filter);
    // Files may be dropped anywhere on the window; the filter takes every such drag.
    window->setAcceptDrops(true);
    m_impl->drops = new detail::FileDropFilter(m_impl->queue, window);
    QCoreApplication::instance()->installEventFilter(m_impl->drops);

    window->show();
    if (window->windowHandle() == nullptr) {
        close();
        return false;
    }
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) window->raise();   // nothing to raise there
    window->activateWindow();
    return true;
}

bool Window::isOpen() const { return m_impl->window != nullptr && m_impl->window->isVisible(); }

bool Window::isActive() const { return m_impl->window != nullptr && m_impl->window->isActiveWindow(); }

void Window::close() {
    if (m_impl->window == nullptr) return;
    m_impl->window->allowClose();
    m_impl->window->close();
}

QWidget* Window::widget() const { return m_impl->window; }

void Window::setIcon(std::span<const Image> sizes) {
    if (m_impl->window == nullptr) misuse("the icon is set before the window is open");
    QIcon icon;
    for (const Image& image : sizes) {
        if (image.empty()) continue;
        const imagecodec::RgbaImage& p = image.pixels();
        const QImage view(p.pixels.data(), p.width, p.height, static_cast<qsizetype>(p.width) * 4,
                          QImage::Format_RGBA8888);
        icon.addPixmap(QPixmap::fromImage(view.copy()));   // a copy: the image may go
    }
    m_impl->window->setWindowIcon(icon);
}
QWidget* Window::clientArea() const { return m_impl->client; }

void Window::addMenuTitle(std::string_view title) {
    if (m_impl->window == nullptr) misuse("the menu is built before the window is open");
    // Every title on the one bar: the arrow keys go from one open menu to the next.
    m_impl->menu = m_impl->window->menuBar()->addMenu(toQt(title));
}

void Window::addMenuItem(int item, std::string_view text, std::string_view shortcut) {
    if (m_impl->menu == nullptr) misuse("a menu item comes before the menu title");
    QAction* action = m_impl->menu->addAction(toQt(text));
    if (!shortcut.empty()) {
        action->setShortcuts(QKeySequence::listFromString(toQt(shortcut), QKeySequence::PortableText));
        action->setShortcutContext(Qt::WindowShortcut);
        // Known to the window too, so the shortcut works while the menu is closed.
        m_impl->window->addAction(action);
    }
    EventQueue* queue = &m_impl->queue;
    QObject::connect(action, &QAction::triggered, action, [queue, item] { queue->push({kEventMenu, item, 0}); });
    m_impl->menuItems[item] = action;
}

void Window::setMenuItemText(int item, std::string_view text) {
    const auto found = m_impl->menuItems.find(item);
    if (found == m_impl->menuItems.end()) return;
    // "&" would mark a mnemonic; a name may hold one.
    QString shown = toQt(text);
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    if (found->second->text() != shown) found->second->setText(shown);
}

void Window::setMenuItemEnabled(int item, bool enabled) {
    const auto found = m_impl->menuItems.find(item);
    if (found != m_impl->menuItems.end() && found->second->isEnabled() != enabled) found->second->setEnabled(enabled);
}

void Window::lendShortcuts(QWidget* other) const {
    if (other == nullptr) return;
    for (const auto& [item, action] : m_impl->menuItems)
        if (!action->shortcuts().isEmpty()) other->addAction(action);
}

DroppedFiles Window::takeDroppedFiles() { return m_impl->drops != nullptr ? m_impl->drops->take() : DroppedFiles{}; }

void Window::addMenuSeparator() {
    if (m_impl->menu == nullptr) misuse("a menu separator comes before the menu title");
    m_impl->menu->addSeparator();
}

void Window::createFrame(const Rect& rect, std::string_view caption) {
    auto* frame = new QGroupBox(toQt(caption), m_impl->currentParent());
    // The frame's line runs through the middle of its caption, so the gadgets placed 20
    // pixels below the frame's top sit inside it.
    frame->setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 7px; padding: 0 2px; }"));
    m_impl->place(frame, rect);
}

void Window::createLabel(const Rect& rect, std::string_view text, bool centred) {
    auto* label = new detail::LabelWidget(m_impl->currentParent(), centred);
    label->setBytes(text);
    m_impl->place(label, rect);
}

void Window::createImage(const Rect& rect, const Image* image, bool sunkenBorder) {
    auto* picture = new detail::ImageWidget(m_impl->currentParent(), sunkenBorder);
    picture->showImage(image);
    m_impl->place(picture, rect);
}

Panel& Window::createPanel(int id, const Rect& rect) {
    auto* tabs = new QTabWidget(m_impl->currentParent());
    m_impl->place(tabs, rect);
    EventQueue* queue = &m_impl->queue;
    QObject::connect(tabs, &QTabWidget::currentChanged, tabs, [queue, id] { queue->push({kEventGadget, 0, id}); });
    m_impl->panel = tabs;
    return m_impl->add<Panel>(id, GadgetKind::Panel, tabs);
}

void Window::addTab(std::string_view text) {
    if (m_impl->panel == nullptr) misuse("a tab comes before its panel");
    auto* page = new QWidget();
    {
        // Building the tabs is no change of the shown tab.
        const QSignalBlocker quiet(m_impl->panel);
        m_impl->panel->addTab(page, toQt(text));
    }
    m_impl->parent = page;
}

void Window::closeGadgetList() {
    if (m_impl->client == nullptr) misuse("gadgets are created before the window is open");
    m_impl->parent = m_impl->client;
}

ListView& Window::createListView(int id, const Rect& rect, const std::vector<ListColumn>& columns,
                                 const ListViewOptions& options) {
    std::vector<QString> titles;
    titles.reserve(columns.size());
    for (const ListColumn& c : columns) titles.push_back(toQt(c.title));
    auto* list = new detail::RowListWidget(m_impl->currentParent(), &m_impl->queue, id, std::move(titles),
                                           options.fullRowSelect);
    for (std::size_t c = 0; c < columns.size(); ++c) list->setColumnWidth(static_cast<int>(c), columns[c].width);
    list->setShowGrid(options.gridLines);
    if (!options.alwaysShowSelection) {
        // Without the focus the selection is not drawn (the row stays selected).
        QPalette palette = list->palette();
        palette.setColor(QPalette::Inactive, QPalette::Highlight, Qt::transparent);
        palette.setColor(QPalette::Inactive, QPalette::HighlightedText, palette.color(QPalette::Inactive, QPalette::Text));
        list->setPalette(palette);
    }
    m_impl->place(list, rect);
    return m_impl->add<ListView>(id, GadgetKind::ListView, list);
}

ExplorerList& Window::createExplorerList(int id, const Rect& rect, std::string_view folder) {
    auto* list = new detail::ExplorerWidget(m_impl->currentParent(), &m_impl->queue, id, folder);
    m_impl->place(list, rect);
    return m_impl->add<ExplorerList>(id, GadgetKind::ExplorerList, list);
}

TextField& Window::createTextField(int id, const Rect& rect, std::string_view text, bool digitsOnly) {
    auto* field = new detail::TextFieldWidget(m_impl->currentParent(), &m_impl->queue, id, digitsOnly);
    {
        // The text a gadget is created with is no change.
        const QSignalBlocker quiet(field);
        field->setBytes(text);
    }
    m_impl->place(field, rect);
    return m_impl->add<TextField>(id, GadgetKind::TextField, field);
}

Label& Window::createTextLabel(int id, const Rect& rect, std::string_view text, bool centred) {
    auto* label = new detail::LabelWidget(m_impl->currentParent(), centred);
    label->setBytes(text);
    m_impl->place(label, rect);
    return m_impl->add<Label>(id, GadgetKind::Label, label);
}

ChoiceBox& Window::createChoiceBox(int id, const Rect& rect) {
    if (!m_impl->dropDownStyle) m_impl->dropDownStyle = detail::makeDropDownStyle();
    auto* box =
        new detail::ChoiceWidget(m_impl->currentParent(), &m_impl->queue, id, m_impl->dropDownStyle.get());
    m_impl->place(box, rect);
    return m_impl->add<ChoiceBox>(id, GadgetKind::ChoiceBox, box);
}

EditableChoiceBox& Window::createEditableChoiceBox(int id, const Rect& rect, int dropDownHeight) {
    auto* box = new detail::EditableChoiceWidget(m_impl->currentParent(), &m_impl->queue, id, dropDownHeight);
    m_impl->place(box, rect);
    return m_impl->add<EditableChoiceBox>(id, GadgetKind::EditableChoiceBox, box);
}

SpinBox& Window::createSpinBox(int id, const Rect& rect, int minimum, int maximum) {
    auto* spin = new QSpinBox(m_impl->currentParent());
    spin->setRange(minimum, maximum);
    spin->setValue(minimum);
    EventQueue* queue = &m_impl->queue;
    QObject::connect(spin, qOverload<int>(&QSpinBox::valueChanged), spin,
                     [queue, id] { queue->push({kEventGadget, 0, id}); });
    m_impl->place(spin, rect);
    return m_impl->add<SpinBox>(id, GadgetKind::SpinBox, spin);
}

ImageGadget& Window::createImageGadget(int id, const Rect& rect, bool sunkenBorder) {
    auto* picture = new detail::ImageWidget(m_impl->currentParent(), sunkenBorder);
    m_impl->place(picture, rect);
    return m_impl->add<ImageGadget>(id, GadgetKind::Image, picture);
}

Button& Window::createButton(int id, const Rect& rect, std::string_view text) {
    auto* button = new detail::ButtonWidget(m_impl->currentParent(), &m_impl->queue, id, text);
    m_impl->place(button, rect);
    return m_impl->add<Button>(id, GadgetKind::Button, button);
}

ProblemList& Window::createProblemList(int id, const Rect& rect) {
    auto* list = new detail::ProblemListWidget(m_impl->currentParent(), &m_impl->queue, id);
    m_impl->place(list, rect);
    return m_impl->add<ProblemList>(id, GadgetKind::ProblemList, list);
}

Gadgets& Window::gadgets() { return m_impl->gadgets; }
const Gadgets& Window::gadgets() const { return m_impl->gadgets; }

}  // namespace marquetor::platform
