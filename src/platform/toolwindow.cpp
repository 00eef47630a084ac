#include "platform/toolwindow.h"

#include <QBoxLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/cellgridwidget.h"
#include "platform/filedrops.h"
#include "platform/picturecache.h"
#include "platform/widgets.h"
#include "platform/window.h"

namespace marquetor::platform {

namespace {

// Room between the main window and this one, and the narrowest the window is made to fit
// beside it.
constexpr int kGap = 8;
constexpr int kNarrowest = 400;

[[noreturn]] void misuse(const char* what) {
    std::fprintf(stderr, "marquetor: %s\n", what);
    std::abort();
}

// Escape in a filter field empties it (when it is empty already, the key goes on).
class EscapeEmpties final : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        auto* field = qobject_cast<QLineEdit*>(watched);
        if (field == nullptr || key->key() != Qt::Key_Escape || key->modifiers() != Qt::NoModifier ||
            field->text().isEmpty())
            return false;
        field->clear();
        return true;
    }
};

}  // namespace

struct ToolWindow::Impl {
    Impl(EventQueue& q, Gadgets& g) : queue(q), gadgets(g) {}

    EventQueue& queue;
    Gadgets& gadgets;
    // One cache for every grid of the window; it goes after them (~ToolWindow).
    std::unique_ptr<detail::PictureCache> cache;
    QPointer<QWidget> window;
    const Window* owner = nullptr;
    QVBoxLayout* rows = nullptr;     // the window's or the current page's
    QHBoxLayout* row = nullptr;      // between beginRow and endRow
    QWidget* parent = nullptr;       // the window or the current page
    QVBoxLayout* windowRows = nullptr;
    QTabWidget* pages = nullptr;
    std::unique_ptr<QStyle> dropDownStyle;
    std::vector<QPointer<detail::CellGridWidget>> grids;
    std::vector<int> ids;   // the gadgets it added to the registry
    bool placed = false;

    void checkBuilding() const {
        if (window == nullptr || rows == nullptr) misuse("a gadget of a tool window comes before create()");
    }

    QWidget* place(QWidget* widget, int stretch = 0) {
        if (row != nullptr) {
            row->addWidget(widget, stretch);
        } else {
            rows->addWidget(widget, stretch);
        }
        return widget;
    }

    template <typename Facade>
    Facade& add(int id, GadgetKind kind, QWidget* widget) {
        Facade& ref = detail::RegisterGadget<Facade>(gadgets, id, kind, widget);
        ids.push_back(id);
        return ref;
    }

    void zoomShownGrid(int steps) {
        for (const QPointer<detail::CellGridWidget>& grid : grids) {
            if (grid && grid->isVisible()) {
                grid->zoom(steps);
                return;
            }
        }
    }

    // Right of the owner where the screen has room, else left of it; narrower where neither
    // side has the room (down to the narrowest that is still of use, right before left),
    // else over the owner's right edge.
    void placeBesideOwner() {
        QWidget* main = owner != nullptr ? owner->widget() : nullptr;
        if (main == nullptr) return;
        QScreen* screen = main->screen() != nullptr ? main->screen() : QGuiApplication::primaryScreen();
        if (screen == nullptr) return;
        const QRect available = screen->availableGeometry();
        const QRect beside = main->frameGeometry();
        // Room for the window's frame beyond its inside (nothing known before it is shown).
        const int frame = std::max(0, window->frameGeometry().width() - window->width());
        const int right = available.right() - beside.right() - kGap - frame;
        const int left = beside.left() - available.left() - kGap - frame;
        // The narrowest is what its gadgets need, at least kNarrowest.
        const int narrowest = std::max(kNarrowest, window->minimumSizeHint().width());
        int width = std::min(std::max(window->width(), narrowest), available.width());
        const int height = std::min(window->height(), available.height());
        int x = 0;
        if (right >= width) {
            x = beside.right() + 1 + kGap;
        } else if (left >= width) {
            x = beside.left() - kGap - frame - width;
        } else if (right >= narrowest) {
            width = right;
            x = beside.right() + 1 + kGap;
        } else if (left >= narrowest) {
            width = left;
            x = available.left();
        } else {
            x = available.right() + 1 - width - frame;
        }
        window->resize(width, height);
        const int y = std::clamp(beside.top(), available.top(), std::max(available.top(), available.bottom() + 1 - height));
        window->move(x, y);
    }
};

ToolWindow::ToolWindow(EventQueue& queue, Gadgets& gadgets) : m_impl(std::make_unique<Impl>(queue, gadgets)) {}

ToolWindow::~ToolWindow() {
    for (const int id : m_impl->ids) m_impl->gadgets.remove(id);
    // The widgets first: the grids tell the cache they go.
    delete m_impl->window.data();
    m_impl->cache.reset();
}

void ToolWindow::create(const Window& owner, const ToolWindowSettings& settings) {
    if (m_impl->window != nullptr) misuse("a tool window is created twice");
    QWidget* main = owner.widget();
    if (main == nullptr) misuse("a tool window is created before its main window is open");
    m_impl->owner = &owner;
    m_impl->cache = std::make_unique<detail::PictureCache>();
    auto* window = new QWidget(main, Qt::Window);
    window->setWindowTitle(textcodec::fromBytes(settings.title));
    // No smaller than its gadgets need (its layout says how small that is).
    window->resize(std::max(1, settings.width), std::max(1, settings.height));
    m_impl->window = window;
    m_impl->windowRows = new QVBoxLayout(window);
    m_impl->windowRows->setContentsMargins(8, 8, 8, 8);
    m_impl->windowRows->setSpacing(6);
    m_impl->rows = m_impl->windowRows;
    m_impl->parent = window;
    // Save, Undo, Close and the rest work here as in the main window.
    owner.lendShortcuts(window);
    Impl* impl = m_impl.get();
    for (const char* keys : {"Ctrl++", "Ctrl+="})
        new QShortcut(QKeySequence(QString::fromLatin1(keys)), window, [impl] { impl->zoomShownGrid(1); });
    new QShortcut(QKeySequence(QStringLiteral("Ctrl+-")), window, [impl] { impl->zoomShownGrid(-1); });
}

bool ToolWindow::created() const { return m_impl->window != nullptr; }

void ToolWindow::show(int focus) {
    QWidget* window = m_impl->window;
    if (window == nullptr) return;
    if (!m_impl->placed) {
        m_impl->placeBesideOwner();
        m_impl->placed = true;
    }
    if (window->isMinimized()) window->showNormal();
    window->show();
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) window->raise();   // nothing to raise there
    window->activateWindow();
    if (Gadget* gadget = m_impl->gadgets.find(focus)) gadget->widget()->setFocus(Qt::ActiveWindowFocusReason);
}

void ToolWindow::hide() {
    if (m_impl->window != nullptr) m_impl->window->hide();
}

bool ToolWindow::isVisible() const { return m_impl->window != nullptr && m_impl->window->isVisible(); }
bool ToolWindow::isActive() const { return m_impl->window != nullptr && m_impl->window->isActiveWindow(); }
QWidget* ToolWindow::widget() const { return m_impl->window; }

void ToolWindow::beginRow() {
    m_impl->checkBuilding();
    m_impl->row = new QHBoxLayout();
    m_impl->row->setSpacing(6);
    m_impl->rows->addLayout(m_impl->row);
}

void ToolWindow::endRow() { m_impl->row = nullptr; }

void ToolWindow::addLabel(std::string_view text) {
    m_impl->checkBuilding();
    auto* label = new detail::LabelWidget(m_impl->parent, false);
    label->setBytes(text);
    m_impl->place(label);
}

void ToolWindow::addStretch() {
    m_impl->checkBuilding();
    if (m_impl->row != nullptr) {
        m_impl->row->addStretch(1);
    } else {
        m_impl->rows->addStretch(1);
    }
}

TextField& ToolWindow::addFilterField(int id, std::string_view placeholder) {
    m_impl->checkBuilding();
    auto* field = new detail::TextFieldWidget(m_impl->parent, &m_impl->queue, id, false);
    field->setPlaceholderText(textcodec::fromBytes(placeholder));
    field->setClearButtonEnabled(true);
    field->installEventFilter(new EscapeEmpties(field));
    new QShortcut(QKeySequence::Find, m_impl->window, [field] {
        field->setFocus(Qt::ShortcutFocusReason);
        field->selectAll();
    });
    m_impl->place(field, 1);
    return m_impl->add<TextField>(id, GadgetKind::TextField, field);
}

Panel& ToolWindow::addPages(int id) {
    m_impl->checkBuilding();
    if (m_impl->pages != nullptr) misuse("a tool window holds one set of pages");
    auto* tabs = new QTabWidget(m_impl->parent);
    m_impl->place(tabs, 1);
    EventQueue* queue = &m_impl->queue;
    QObject::connect(tabs, &QTabWidget::currentChanged, tabs, [queue, id] { queue->push({kEventGadget, 0, id}); });
    m_impl->pages = tabs;
    return m_impl->add<Panel>(id, GadgetKind::Panel, tabs);
}

void ToolWindow::addPage(std::string_view title) {
    if (m_impl->pages == nullptr) misuse("a page comes before its pages");
    auto* page = new QWidget();
    auto* rows = new QVBoxLayout(page);
    rows->setContentsMargins(4, 4, 4, 4);
    rows->setSpacing(6);
    {
        // Building the pages is no change of the shown page.
        const QSignalBlocker quiet(m_impl->pages);
        m_impl->pages->addTab(page, textcodec::fromBytes(title));
    }
    m_impl->parent = page;
    m_impl->rows = rows;
    m_impl->row = nullptr;
}

void ToolWindow::closePages() {
    m_impl->checkBuilding();
    m_impl->parent = m_impl->window;
    m_impl->rows = m_impl->windowRows;
    m_impl->row = nullptr;
}

CellGrid& ToolWindow::addCellGrid(int id) {
    m_impl->checkBuilding();
    auto* grid = new detail::CellGridWidget(m_impl->parent, &m_impl->queue, id, m_impl->cache.get());
    m_impl->place(grid, 1);
    m_impl->grids.emplace_back(grid);
    return m_impl->add<CellGrid>(id, GadgetKind::CellGrid, grid);
}

ChoiceBox& ToolWindow::addChoiceBox(int id, std::string_view placeholder, int width) {
    m_impl->checkBuilding();
    if (!m_impl->dropDownStyle) m_impl->dropDownStyle = detail::makeDropDownStyle();
    auto* box = new detail::ChoiceWidget(m_impl->parent, &m_impl->queue, id, m_impl->dropDownStyle.get());
    box->setPlaceholderText(textcodec::fromBytes(placeholder));
    box->setMinimumWidth(width);
    {
        const QSignalBlocker quiet(box);
        box->setCurrentIndex(-1);
    }
    m_impl->place(box);
    return m_impl->add<ChoiceBox>(id, GadgetKind::ChoiceBox, box);
}

SpinBox& ToolWindow::addSpinBox(int id, int minimum, int maximum, std::string_view minimumText, int width) {
    m_impl->checkBuilding();
    auto* spin = new QSpinBox(m_impl->parent);
    spin->setRange(minimum, maximum);
    spin->setSpecialValueText(textcodec::fromBytes(minimumText));
    spin->setValue(minimum);
    spin->setMinimumWidth(width);
    EventQueue* queue = &m_impl->queue;
    QObject::connect(spin, qOverload<int>(&QSpinBox::valueChanged), spin,
                     [queue, id] { queue->push({kEventGadget, 0, id}); });
    m_impl->place(spin);
    return m_impl->add<SpinBox>(id, GadgetKind::SpinBox, spin);
}

Button& ToolWindow::addButton(int id, std::string_view text) {
    m_impl->checkBuilding();
    auto* button = new detail::ButtonWidget(m_impl->parent, &m_impl->queue, id, text);
    m_impl->place(button);
    return m_impl->add<Button>(id, GadgetKind::Button, button);
}

Label& ToolWindow::addTextLabel(int id) {
    m_impl->checkBuilding();
    auto* label = new detail::LabelWidget(m_impl->parent, false);
    m_impl->place(label);
    return m_impl->add<Label>(id, GadgetKind::Label, label);
}

}  // namespace marquetor::platform
