#include "platform/gadgets.h"

#include <QApplication>
#include <QDateTime>
#include <QFocusEvent>
#include <QFile>
#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPixmap>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/image.h"
#include "platform/widgets.h"

namespace marquetor::platform {

namespace detail {

namespace {

// Column `column` of a row text whose columns are separated by line feeds.
std::string_view columnOf(std::string_view row, int column) {
    std::size_t start = 0;
    for (int c = 0; c < column; ++c) {
        const std::size_t lf = row.find('\n', start);
        if (lf == std::string_view::npos) return {};
        start = lf + 1;
    }
    const std::size_t end = row.find('\n', start);
    return row.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

// Names in the order a file manager shows them: letters without regard to case, runs of
// digits by their value ("file2" before "file10"), the bytes as the last word.
bool naturalLess(const FolderModel::Entry& a, const FolderModel::Entry& b) {
    const QString& x = a.shown;
    const QString& y = b.shown;
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < x.size() && j < y.size()) {
        if (x[i].isDigit() && y[j].isDigit()) {
            qsizetype iEnd = i;
            while (iEnd < x.size() && x[iEnd].isDigit()) ++iEnd;
            qsizetype jEnd = j;
            while (jEnd < y.size() && y[jEnd].isDigit()) ++jEnd;
            qsizetype iStart = i;
            while (iStart + 1 < iEnd && x[iStart] == u'0') ++iStart;
            qsizetype jStart = j;
            while (jStart + 1 < jEnd && y[jStart] == u'0') ++jStart;
            const qsizetype iLen = iEnd - iStart;
            const qsizetype jLen = jEnd - jStart;
            if (iLen != jLen) return iLen < jLen;
            const int c = QStringView(x).mid(iStart, iLen).compare(QStringView(y).mid(jStart, jLen));
            if (c != 0) return c < 0;
            i = iEnd;
            j = jEnd;
            continue;
        }
        const char32_t cx = x[i].toCaseFolded().unicode();
        const char32_t cy = y[j].toCaseFolded().unicode();
        if (cx != cy) return cx < cy;
        ++i;
        ++j;
    }
    if ((x.size() - i) != (y.size() - j)) return (x.size() - i) < (y.size() - j);
    return a.name < b.name;
}

QString modifiedText(const std::filesystem::file_time_type& time) {
    const auto system = std::chrono::file_clock::to_sys(time);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
    return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(seconds)).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

}  // namespace

// ---- RowModel ----

RowModel::RowModel(std::vector<QString> titles, QObject* parent)
    : QAbstractTableModel(parent), m_titles(std::move(titles)) {}

int RowModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_ends.size());
}

int RowModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_titles.size());
}

std::string_view RowModel::rowText(std::size_t row) const {
    if (!m_rewritten.empty()) {
        const auto it = m_rewritten.find(row);
        if (it != m_rewritten.end()) return it->second;
    }
    const std::size_t start = row == 0 ? 0 : m_ends[row - 1];
    return std::string_view(m_bytes).substr(start, m_ends[row] - start);
}

QVariant RowModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || !validRow(index.row())) return {};
    return textcodec::fromBytes(columnOf(rowText(static_cast<std::size_t>(index.row())), index.column()));
}

QVariant RowModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        static_cast<std::size_t>(section) >= m_titles.size())
        return {};
    return m_titles[static_cast<std::size_t>(section)];
}

Qt::ItemFlags RowModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void RowModel::clearRows() {
    beginResetModel();
    m_bytes.clear();
    m_ends.clear();
    m_rewritten.clear();
    endResetModel();
}

void RowModel::appendRow(std::string_view rowText) {
    const int row = static_cast<int>(m_ends.size());
    beginInsertRows({}, row, row);
    m_bytes.append(rowText);
    m_ends.push_back(m_bytes.size());
    endInsertRows();
}

void RowModel::setRows(std::vector<std::string> rowTexts) {
    RowTexts rows;
    std::size_t bytes = 0;
    for (const std::string& text : rowTexts) bytes += text.size();
    rows.reserve(rowTexts.size(), bytes);
    for (const std::string& text : rowTexts) rows.addRow(text);
    setRows(std::move(rows));
}

void RowModel::setRows(RowTexts rows) {
    beginResetModel();
    m_bytes = std::move(rows.bytes());
    m_ends = std::move(rows.ends());
    m_rewritten.clear();
    endResetModel();
}

std::string RowModel::cell(int row, int column) const {
    if (!validRow(row) || column < 0) return {};
    return std::string(columnOf(rowText(static_cast<std::size_t>(row)), column));
}

void RowModel::setCell(int row, int column, std::string_view text) {
    if (!validRow(row) || column < 0 || column >= columnCount()) return;
    const std::string_view rowText = this->rowText(static_cast<std::size_t>(row));
    // Split, replace, join again; missing columns of a short row become empty.
    std::vector<std::string> cells;
    std::size_t start = 0;
    for (;;) {
        const std::size_t lf = rowText.find('\n', start);
        cells.emplace_back(rowText.substr(start, lf == std::string_view::npos ? std::string_view::npos : lf - start));
        if (lf == std::string_view::npos) break;
        start = lf + 1;
    }
    if (cells.size() <= static_cast<std::size_t>(column)) cells.resize(static_cast<std::size_t>(column) + 1);
    cells[static_cast<std::size_t>(column)].assign(text);
    std::string joined;
    for (std::size_t c = 0; c < cells.size(); ++c) {
        if (c > 0) joined += '\n';
        joined += cells[c];
    }
    m_rewritten[static_cast<std::size_t>(row)] = std::move(joined);
    const QModelIndex changed = index(row, column);
    emit dataChanged(changed, changed, {Qt::DisplayRole});
}

// ---- ListWidget ----

ListWidget::ListWidget(QWidget* parent, EventQueue* queue, int id, bool fullRowSelect)
    : QTableView(parent), m_sink(queue, id), m_fullRowSelect(fullRowSelect) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(fullRowSelect ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);   // Tab moves the focus on to the next gadget
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setAutoScroll(false);
    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);   // no per-row measuring, however many rows
    rows->setMinimumSectionSize(1);
    rows->setDefaultSectionSize(fontMetrics().height() + 3);
    QHeaderView* columns = horizontalHeader();
    columns->setStretchLastSection(false);
    columns->setHighlightSections(false);
    columns->setSectionsClickable(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setMinimumSectionSize(1);
}

void ListWidget::attach(QAbstractItemModel* model) {
    setModel(model);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { m_sink.notify(); });
}

int ListWidget::selectedRow() const {
    const QItemSelectionModel* selection = selectionModel();
    if (selection == nullptr) return -1;
    const QModelIndexList chosen = selection->selectedIndexes();
    return chosen.isEmpty() ? -1 : chosen.front().row();
}

void ListWidget::setSelectedRow(int row) {
    QItemSelectionModel* selection = selectionModel();
    if (selection == nullptr) return;
    if (row < 0 || row >= model()->rowCount()) {
        selection->clearSelection();
        selection->clearCurrentIndex();
        return;
    }
    const QModelIndex index = model()->index(row, 0);
    QItemSelectionModel::SelectionFlags how = QItemSelectionModel::ClearAndSelect;
    if (m_fullRowSelect) how |= QItemSelectionModel::Rows;
    selection->setCurrentIndex(index, how);
    scrollTo(index);
}

bool ListWidget::viewportEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        m_releaseEndsDoubleClick = false;
        // A press on the empty space beside or below the rows clears the selection at once,
        // as in the system's file lists.
        const auto* press = static_cast<QMouseEvent*>(event);
        if ((press->button() == Qt::LeftButton || press->button() == Qt::RightButton) &&
            !indexAt(press->position().toPoint()).isValid()) {
            setSelectedRow(-1);
        }
        break;
    }
    case QEvent::MouseButtonDblClick: {
        const bool handled = QTableView::viewportEvent(event);
        // The release that ends a double click is no click of its own.
        m_releaseEndsDoubleClick = true;
        m_sink.notify();
        return handled;
    }
    case QEvent::MouseButtonRelease: {
        const auto button = static_cast<QMouseEvent*>(event)->button();
        const bool handled = QTableView::viewportEvent(event);
        if (m_releaseEndsDoubleClick) {
            m_releaseEndsDoubleClick = false;
        } else if (button == Qt::LeftButton || button == Qt::RightButton) {
            m_sink.notify();
        }
        return handled;
    }
    default:
        break;
    }
    return QTableView::viewportEvent(event);
}

RowListWidget::RowListWidget(QWidget* parent, EventQueue* queue, int id, std::vector<QString> titles,
                             bool fullRowSelect)
    : ListWidget(parent, queue, id, fullRowSelect), m_model(new RowModel(std::move(titles), this)) {
    attach(m_model);
}

// ---- FolderModel ----

FolderModel::FolderModel(QObject* parent) : QAbstractTableModel(parent) {}

int FolderModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
}

int FolderModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 4; }

QVariant FolderModel::data(const QModelIndex& index, int role) const {
    const Entry* e = index.isValid() ? entry(index.row()) : nullptr;
    if (e == nullptr) return {};
    if (role == Qt::DecorationRole && index.column() == 0) {
        return QApplication::style()->standardIcon(e->folder ? QStyle::SP_DirIcon : QStyle::SP_FileIcon);
    }
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
    case 0:
        return e->shown;
    case 1:
        if (e->folder) return QString();
        return QStringLiteral("%1 KB").arg(QLocale().toString(static_cast<qulonglong>((e->size + 1023) / 1024)));
    case 2: {
        if (e->folder) return QStringLiteral("File folder");
        const qsizetype dot = e->shown.lastIndexOf(u'.');
        if (dot <= 0 || dot + 1 >= e->shown.size()) return QStringLiteral("File");
        return e->shown.mid(dot + 1).toUpper() + QStringLiteral(" File");
    }
    case 3:
        return e->modified;
    default:
        return {};
    }
}

QVariant FolderModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
    case 0: return QStringLiteral("Name");
    case 1: return QStringLiteral("Size");
    case 2: return QStringLiteral("Type");
    case 3: return QStringLiteral("Modified");
    default: return {};
    }
}

Qt::ItemFlags FolderModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void FolderModel::list(const std::string& folder) {
    namespace fs = std::filesystem;
    std::vector<Entry> entries;
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const fs::directory_entry& found = *it;
        Entry e;
        e.name = found.path().filename().native();
        if (e.name.empty() || e.name.front() == '.') continue;   // hidden, as file managers do
        std::error_code statError;
        const fs::file_status status = found.status(statError);   // follows links
        if (statError) continue;
        if (fs::is_directory(status)) {
            e.folder = true;
        } else if (fs::is_regular_file(status)) {
            // Sockets, pipes and devices are no files to preview or import.
            const std::uintmax_t size = found.file_size(statError);
            e.size = statError ? 0 : size;
        } else {
            continue;
        }
        const auto time = found.last_write_time(statError);
        if (!statError) e.modified = modifiedText(time);
        e.shown = textcodec::fromBytes(e.name);
        entries.push_back(std::move(e));
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.folder != b.folder) return a.folder;
        return naturalLess(a, b);
    });
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

const FolderModel::Entry* FolderModel::entry(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= m_entries.size()) return nullptr;
    return &m_entries[static_cast<std::size_t>(row)];
}

// ---- ExplorerWidget ----

namespace {
std::string folderText(std::string_view folder) {
    std::string text(folder);
    if (!text.empty() && text.back() != '/') text += '/';
    return text;
}
}  // namespace

ExplorerWidget::ExplorerWidget(QWidget* parent, EventQueue* queue, int id, std::string_view folder)
    : ListWidget(parent, queue, id, true), m_model(new FolderModel(this)) {
    attach(m_model);
    for (int c = 0; c < 4; ++c) setColumnWidth(c, 100);
    setColumnWidth(0, 128);
    setShowGrid(false);
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) openSubFolder(index.row());
    });
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { refreshChanged(); });
    setFolder(folder);
}

void ExplorerWidget::setFolder(std::string_view folder) {
    m_start = folderText(folder);
    showFolder(m_start);
}

void ExplorerWidget::openSubFolder(int row) {
    const FolderModel::Entry* e = m_model->entry(row);
    if (e == nullptr || !e->folder) return;
    showFolder(m_folder + e->name + '/');
}

void ExplorerWidget::goUp() {
    if (m_folder.size() <= m_start.size()) return;
    std::string up = m_folder;
    up.pop_back();   // the closing "/"
    const std::size_t slash = up.rfind('/');
    up.erase(slash == std::string::npos ? 0 : slash + 1);
    if (up.size() < m_start.size()) up = m_start;
    showFolder(std::move(up));
}

void ExplorerWidget::reload() { showFolder(m_folder); }

void ExplorerWidget::showFolder(std::string folder) {
    // A new listing leaves nothing selected; when a row was selected, that is a change of
    // the selection the editor hears about.
    const bool hadSelection = selectedRow() >= 0;
    m_folder = std::move(folder);
    m_model->list(m_folder);
    watch(m_folder);
    scrollToTop();
    if (hadSelection) m_sink.notify();
}

void ExplorerWidget::watch(const std::string& folder) {
    const QStringList watched = m_watcher.directories();
    if (!watched.isEmpty()) m_watcher.removePaths(watched);
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) m_watcher.addPath(QFile::decodeName(QByteArray::fromStdString(folder)));
}

void ExplorerWidget::refreshChanged() {
    const int row = selectedRow();
    const FolderModel::Entry* before = m_model->entry(row);
    const std::string selectedName = before != nullptr ? before->name : std::string();
    const int scroll = verticalScrollBar()->value();
    m_model->list(m_folder);
    // A folder that was deleted and made again is a new one to watch.
    if (m_watcher.directories().isEmpty()) watch(m_folder);
    verticalScrollBar()->setValue(scroll);
    if (row < 0) return;
    int again = -1;
    for (int r = 0; r < m_model->rowCount(); ++r) {
        if (m_model->entry(r)->name == selectedName) {
            again = r;
            break;
        }
    }
    // The same entry selected again is no change of the selection, so the editor hears
    // nothing (it would show the file again and replace a texture's caption); an entry that
    // is gone leaves nothing selected, and that change is reported.
    m_sink.mute(true);
    setSelectedRow(again);
    m_sink.mute(false);
    if (again < 0) m_sink.notify();
}

void ExplorerWidget::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        int row = selectedRow();
        if (row < 0 && currentIndex().isValid()) row = currentIndex().row();
        openSubFolder(row);
        event->accept();
        return;
    }
    case Qt::Key_Backspace:
        goUp();
        event->accept();
        return;
    default:
        ListWidget::keyPressEvent(event);
    }
}

// ---- Text fields and labels ----

TextFieldWidget::TextFieldWidget(QWidget* parent, EventQueue* queue, int id, bool digitsOnly)
    : QLineEdit(parent), m_sink(queue, id) {
    if (digitsOnly) {
        setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    }
    connect(this, &QLineEdit::textChanged, this, [this] { m_sink.notify(); });
}

void TextFieldWidget::focusInEvent(QFocusEvent* event) {
    m_sink.notify();
    QLineEdit::focusInEvent(event);
}

void TextFieldWidget::focusOutEvent(QFocusEvent* event) {
    m_sink.notify();
    QLineEdit::focusOutEvent(event);
}

LabelWidget::LabelWidget(QWidget* parent, bool centred) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setAlignment(centred ? Qt::AlignCenter : (Qt::AlignLeft | Qt::AlignVCenter));
}

// ---- Choice boxes ----

void addComboItem(QComboBox* box, std::string_view bytes) {
    box->addItem(textcodec::fromBytes(bytes));
    box->setItemData(box->count() - 1, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())),
                     kItemBytesRole);
}

std::string comboItemBytes(const QComboBox* box, int index) {
    if (index < 0 || index >= box->count()) return {};
    const QByteArray bytes = box->itemData(index, kItemBytesRole).toByteArray();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

ChoiceWidget::ChoiceWidget(QWidget* parent, EventQueue* queue, int id) : QComboBox(parent), m_sink(queue, id) {
    // Only the user's choice is reported; the program's changes raise nothing.
    connect(this, qOverload<int>(&QComboBox::activated), this, [this] { m_sink.notify(); });
}

EditableChoiceWidget::EditableChoiceWidget(QWidget* parent, EventQueue* queue, int id, int dropDownHeight)
    : QComboBox(parent), m_sink(queue, id) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    const int itemHeight = std::max(1, fontMetrics().height() + 4);
    setMaxVisibleItems(std::max(1, dropDownHeight / itemHeight));
    connect(this, &QComboBox::editTextChanged, this, [this] { m_sink.notify(); });
    connect(this, qOverload<int>(&QComboBox::activated), this, [this] { m_sink.notify(); });
    connect(this, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { m_sink.notify(); });
}

std::string EditableChoiceWidget::bytes() const {
    const QString shown = currentText();
    if (m_text.isShown(shown)) return m_text.bytes();
    for (int i = 0; i < count(); ++i) {
        if (itemText(i) == shown) return comboItemBytes(this, i);
    }
    return textcodec::toBytes(shown);
}

void EditableChoiceWidget::setBytes(std::string_view bytes) { setEditText(m_text.set(bytes)); }

void EditableChoiceWidget::showPopup() {
    m_sink.notify();
    QComboBox::showPopup();
}

void EditableChoiceWidget::hidePopup() {
    QComboBox::hidePopup();
    m_sink.notify();
}

void EditableChoiceWidget::focusInEvent(QFocusEvent* event) {
    m_sink.notify();
    QComboBox::focusInEvent(event);
}

void EditableChoiceWidget::focusOutEvent(QFocusEvent* event) {
    m_sink.notify();
    QComboBox::focusOutEvent(event);
}

// ---- Images and buttons ----

ImageWidget::ImageWidget(QWidget* parent, bool sunkenBorder) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    if (sunkenBorder) {
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setLineWidth(1);
    }
}

void ImageWidget::showImage(const Image* image) {
    if (image == nullptr || image->empty()) {
        clear();
        m_hasImage = false;
        return;
    }
    const imagecodec::RgbaImage& p = image->pixels();
    const QImage view(p.pixels.data(), p.width, p.height, static_cast<qsizetype>(p.width) * 4,
                      QImage::Format_RGBA8888);
    setPixmap(QPixmap::fromImage(view.copy()));   // a copy: the image may change later
    m_hasImage = true;
}

ButtonWidget::ButtonWidget(QWidget* parent, EventQueue* queue, int id, std::string_view text)
    : QPushButton(textcodec::fromBytes(text), parent), m_sink(queue, id), m_bytes(text) {
    connect(this, &QPushButton::clicked, this, [this] { m_sink.notify(); });
}

}  // namespace detail

// ---- Facades ----

namespace {

template <typename W>
W* as(QWidget* widget) {
    return static_cast<W*>(widget);
}

[[noreturn]] void wrongGadget(int id, const char* wanted) {
    std::fprintf(stderr, "marquetor: gadget %d is not a %s\n", id, wanted);
    std::abort();
}

}  // namespace

void Gadget::setFocus() {
    if (m_widget != nullptr) m_widget->setFocus(Qt::OtherFocusReason);
}

int Panel::state() const { return as<QTabWidget>(widget())->currentIndex(); }
void Panel::setState(int tab) { as<QTabWidget>(widget())->setCurrentIndex(tab); }

void ListView::clear() { as<detail::RowListWidget>(widget())->rows()->clearRows(); }
void ListView::addRow(std::string_view rowText) { as<detail::RowListWidget>(widget())->rows()->appendRow(rowText); }
void ListView::setRows(RowTexts rows) { as<detail::RowListWidget>(widget())->rows()->setRows(std::move(rows)); }
void ListView::setRows(std::vector<std::string> rowTexts) {
    as<detail::RowListWidget>(widget())->rows()->setRows(std::move(rowTexts));
}
int ListView::rowCount() const { return as<detail::RowListWidget>(widget())->rows()->rowCount(); }
int ListView::selectedRow() const { return as<detail::RowListWidget>(widget())->selectedRow(); }
void ListView::selectRow(int row) { as<detail::RowListWidget>(widget())->setSelectedRow(row); }
std::string ListView::rowText(int row) const { return cellText(row, 0); }
std::string ListView::cellText(int row, int column) const {
    return as<detail::RowListWidget>(widget())->rows()->cell(row, column);
}
void ListView::setCellText(int row, int column, std::string_view text) {
    as<detail::RowListWidget>(widget())->rows()->setCell(row, column, text);
}

std::string ExplorerList::folder() const { return as<detail::ExplorerWidget>(widget())->folder(); }
int ExplorerList::rowCount() const { return as<detail::ExplorerWidget>(widget())->entries()->rowCount(); }
int ExplorerList::selectedRow() const { return as<detail::ExplorerWidget>(widget())->selectedRow(); }
void ExplorerList::selectRow(int row) { as<detail::ExplorerWidget>(widget())->setSelectedRow(row); }
std::string ExplorerList::rowText(int row) const {
    const auto* e = as<detail::ExplorerWidget>(widget())->entries()->entry(row);
    return e != nullptr ? e->name : std::string();
}
bool ExplorerList::isFolder(int row) const {
    const auto* e = as<detail::ExplorerWidget>(widget())->entries()->entry(row);
    return e != nullptr && e->folder;
}
void ExplorerList::setFolder(std::string_view folder) { as<detail::ExplorerWidget>(widget())->setFolder(folder); }
void ExplorerList::openSubFolder(int row) { as<detail::ExplorerWidget>(widget())->openSubFolder(row); }
void ExplorerList::goUp() { as<detail::ExplorerWidget>(widget())->goUp(); }
void ExplorerList::reload() { as<detail::ExplorerWidget>(widget())->reload(); }

std::string TextField::text() const { return as<detail::TextFieldWidget>(widget())->bytes(); }
void TextField::setText(std::string_view text) { as<detail::TextFieldWidget>(widget())->setBytes(text); }

std::string Label::text() const { return as<detail::LabelWidget>(widget())->bytes(); }
void Label::setText(std::string_view text) { as<detail::LabelWidget>(widget())->setBytes(text); }

void ChoiceBox::clear() { as<QComboBox>(widget())->clear(); }

void ChoiceBox::addItem(std::string_view text) {
    auto* box = as<QComboBox>(widget());
    const QSignalBlocker quiet(box);
    const int chosen = box->currentIndex();
    detail::addComboItem(box, text);
    // Adding to an empty box would choose the first entry; the choice stays as it was.
    box->setCurrentIndex(chosen);
}

void ChoiceBox::setItems(std::vector<std::string> items) {
    auto* box = as<QComboBox>(widget());
    const QSignalBlocker quiet(box);
    box->clear();
    for (const std::string& item : items) detail::addComboItem(box, item);
    box->setCurrentIndex(-1);
}

int ChoiceBox::count() const { return as<QComboBox>(widget())->count(); }
std::string ChoiceBox::itemText(int index) const { return detail::comboItemBytes(as<QComboBox>(widget()), index); }
int ChoiceBox::state() const { return as<QComboBox>(widget())->currentIndex(); }

void ChoiceBox::setState(int index) {
    auto* box = as<QComboBox>(widget());
    const QSignalBlocker quiet(box);
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

std::string ChoiceBox::text() const {
    const auto* box = as<QComboBox>(widget());
    return detail::comboItemBytes(box, box->currentIndex());
}

void ChoiceBox::setText(std::string_view text) {
    auto* box = as<QComboBox>(widget());
    const QSignalBlocker quiet(box);
    if (text.empty()) {
        box->setCurrentIndex(-1);
        return;
    }
    const QString shown = textcodec::fromBytes(text);
    for (int i = 0; i < box->count(); ++i) {
        if (detail::comboItemBytes(box, i) == text || box->itemText(i).compare(shown, Qt::CaseInsensitive) == 0) {
            box->setCurrentIndex(i);
            return;
        }
    }
}

void EditableChoiceBox::addItem(std::string_view text) {
    auto* box = as<detail::EditableChoiceWidget>(widget());
    const QSignalBlocker quiet(box);
    const int chosen = box->currentIndex();
    const QString shown = box->currentText();
    detail::addComboItem(box, text);
    if (box->currentIndex() != chosen) {
        // Adding to an empty box would put the first entry into the text; it stays as it was.
        box->setCurrentIndex(chosen);
        box->setEditText(shown);
    }
}

int EditableChoiceBox::count() const { return as<QComboBox>(widget())->count(); }
std::string EditableChoiceBox::text() const { return as<detail::EditableChoiceWidget>(widget())->bytes(); }
void EditableChoiceBox::setText(std::string_view text) { as<detail::EditableChoiceWidget>(widget())->setBytes(text); }

int SpinBox::value() const { return as<QSpinBox>(widget())->value(); }
void SpinBox::setValue(int value) { as<QSpinBox>(widget())->setValue(value); }
int SpinBox::minimum() const { return as<QSpinBox>(widget())->minimum(); }
int SpinBox::maximum() const { return as<QSpinBox>(widget())->maximum(); }

void ImageGadget::setImage(const Image* image) { as<detail::ImageWidget>(widget())->showImage(image); }
bool ImageGadget::hasImage() const { return as<detail::ImageWidget>(widget())->hasImage(); }

std::string Button::text() const { return as<detail::ButtonWidget>(widget())->bytes(); }

// ---- Registry ----

Gadgets::Gadgets() = default;
Gadgets::~Gadgets() = default;

void Gadgets::add(std::unique_ptr<Gadget> gadget) {
    if (!gadget) return;
    const int id = gadget->id();
    if (m_gadgets.count(id) != 0) {
        std::fprintf(stderr, "marquetor: gadget %d created twice\n", id);
        std::abort();
    }
    m_gadgets.emplace(id, std::move(gadget));
}

Gadget* Gadgets::find(int id) const {
    const auto it = m_gadgets.find(id);
    return it == m_gadgets.end() ? nullptr : it->second.get();
}

namespace {
template <typename T>
T& typed(const Gadgets& gadgets, int id, GadgetKind kind, const char* name) {
    Gadget* g = gadgets.find(id);
    if (g == nullptr || g->kind() != kind) wrongGadget(id, name);
    return static_cast<T&>(*g);
}
}  // namespace

Panel& Gadgets::panel(int id) const { return typed<Panel>(*this, id, GadgetKind::Panel, "panel"); }
ListView& Gadgets::listView(int id) const { return typed<ListView>(*this, id, GadgetKind::ListView, "list view"); }
ExplorerList& Gadgets::explorerList(int id) const {
    return typed<ExplorerList>(*this, id, GadgetKind::ExplorerList, "explorer list");
}
TextField& Gadgets::textField(int id) const { return typed<TextField>(*this, id, GadgetKind::TextField, "text field"); }
Label& Gadgets::label(int id) const { return typed<Label>(*this, id, GadgetKind::Label, "label"); }
ChoiceBox& Gadgets::choiceBox(int id) const { return typed<ChoiceBox>(*this, id, GadgetKind::ChoiceBox, "choice box"); }
EditableChoiceBox& Gadgets::editableChoiceBox(int id) const {
    return typed<EditableChoiceBox>(*this, id, GadgetKind::EditableChoiceBox, "editable choice box");
}
SpinBox& Gadgets::spinBox(int id) const { return typed<SpinBox>(*this, id, GadgetKind::SpinBox, "spin box"); }
ImageGadget& Gadgets::image(int id) const { return typed<ImageGadget>(*this, id, GadgetKind::Image, "image gadget"); }
Button& Gadgets::button(int id) const { return typed<Button>(*this, id, GadgetKind::Button, "button"); }

}  // namespace marquetor::platform
