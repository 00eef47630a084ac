#include "platform/listview.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTextDocument>

#include <climits>

#include "platform/textcodec.h"

namespace marquetor::platform {

namespace detail {

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

QString fullRowText(const QAbstractItemModel& model, int row) {
    const int columns = model.columnCount();
    QString text;
    for (int c = 0; c < columns; ++c) {
        const QString cell = model.data(model.index(row, c), Qt::DisplayRole).toString();
        if (columns == 1) {
            text = cell;
            break;
        }
        if (cell.isEmpty()) continue;
        if (!text.isEmpty()) text += QLatin1Char('\n');
        const QString title = model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        if (!title.isEmpty()) text += title + QStringLiteral(": ");
        text += cell;
    }
    // A name such as "<b>Stone" would be drawn as markup otherwise.
    if (Qt::mightBeRichText(text)) text = Qt::convertFromPlainText(text, Qt::WhiteSpaceNoWrap);
    return text;
}

// ---- HeldRows ----

std::string_view HeldRows::rowText(std::size_t row) const {
    if (!m_rewritten.empty()) {
        const auto it = m_rewritten.find(row);
        if (it != m_rewritten.end()) return it->second;
    }
    const std::size_t start = row == 0 ? 0 : m_ends[row - 1];
    return std::string_view(m_bytes).substr(start, m_ends[row] - start);
}

std::string HeldRows::cellText(std::size_t row, int column) const {
    if (row >= m_ends.size() || column < 0) return {};
    if (m_cells == Cells::Whole) return column == 0 ? std::string(rowText(row)) : std::string();
    return std::string(columnOf(rowText(row), column));
}

std::vector<std::size_t> HeldRows::longestRows(std::size_t count) const {
    LongestRows longest(count);
    for (std::size_t row = 0; row < m_ends.size(); ++row) {
        const std::string_view text = rowText(row);
        longest.see(row, m_cells == Cells::Whole ? text.size() : columnOf(text, 0).size());
    }
    return longest.rows();
}

void HeldRows::clear() {
    m_bytes.clear();
    m_ends.clear();
    m_rewritten.clear();
}

void HeldRows::append(std::string_view rowText) {
    m_bytes.append(rowText);
    m_ends.push_back(m_bytes.size());
}

void HeldRows::assign(RowTexts rows) {
    m_bytes = std::move(rows.bytes());
    m_ends = std::move(rows.ends());
    m_rewritten.clear();
}

void HeldRows::setCell(std::size_t row, int column, std::string_view text) {
    if (row >= m_ends.size() || column < 0) return;
    const std::string_view rowText = this->rowText(row);
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
    m_rewritten[row] = std::move(joined);
}

// ---- RowSourceModel ----

RowSourceModel::RowSourceModel(std::vector<QString> titles, QObject* parent)
    : QAbstractTableModel(parent),
      m_titles(std::move(titles)),
      m_held(m_titles.empty() ? HeldRows::Cells::Whole : HeldRows::Cells::Columns) {}

int RowSourceModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows; }

int RowSourceModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return m_titles.empty() ? 1 : static_cast<int>(m_titles.size());
}

QVariant RowSourceModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !validRow(index.row())) return {};
    if (role == Qt::ToolTipRole) return fullRowText(*this, index.row());
    if (role != Qt::DisplayRole) return {};
    return textcodec::fromBytes(source().cellText(static_cast<std::size_t>(index.row()), index.column()));
}

QVariant RowSourceModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        static_cast<std::size_t>(section) >= m_titles.size())
        return {};
    return m_titles[static_cast<std::size_t>(section)];
}

Qt::ItemFlags RowSourceModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void RowSourceModel::setSource(std::unique_ptr<RowSource> source) {
    beginResetModel();
    m_outside = std::move(source);
    m_held.clear();
    m_rows = 0;
    endResetModel();
    reload();
}

HeldRows& RowSourceModel::held() {
    if (m_outside) {
        beginResetModel();
        m_outside.reset();
        m_held.clear();
        m_rows = 0;
        endResetModel();
    }
    return m_held;
}

void RowSourceModel::reload() {
    beginResetModel();
    const std::size_t count = source().rowCount();
    m_rows = count > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(count);
    endResetModel();
}

void RowSourceModel::appendRow(std::string_view rowText) {
    HeldRows& rows = held();
    if (m_rows == INT_MAX) return;
    beginInsertRows({}, m_rows, m_rows);
    rows.append(rowText);
    ++m_rows;
    endInsertRows();
}

void RowSourceModel::rowChanged(int row) {
    if (!validRow(row)) return;
    emit dataChanged(index(row, 0), index(row, columnCount() - 1), {Qt::DisplayRole});
}

void RowSourceModel::rowsChanged() {
    if (m_rows <= 0) return;
    emit dataChanged(index(0, 0), index(m_rows - 1, columnCount() - 1), {Qt::DisplayRole});
}

void RowSourceModel::cellChanged(int row, int column) {
    if (!validRow(row) || column < 0 || column >= columnCount()) return;
    const QModelIndex changed = index(row, column);
    emit dataChanged(changed, changed, {Qt::DisplayRole});
}

std::string RowSourceModel::cell(int row, int column) const {
    if (!validRow(row) || column < 0) return {};
    return source().cellText(static_cast<std::size_t>(row), column);
}

// ---- ListWidget ----

ListWidget::ListWidget(QWidget* parent, EventQueue* queue, int id, bool fullRowSelect)
    : QTableView(parent), m_sink(queue, id), m_queue(queue), m_fullRowSelect(fullRowSelect) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(fullRowSelect ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);   // Tab moves the focus on to the next gadget
    setWordWrap(false);
    setCornerButtonEnabled(false);
    // Qt's automatic scrolling stays off: with it, a press dragged past the list's edge
    // scrolls the list, selecting row after row (each a selection the editor handles, a
    // preview decoded for each tile), and a click on a row cut by the edge moves the list
    // half a second later. The rows the keys move to and the rows the program selects are
    // brought into view here instead (keyPressEvent, setSelectedRow).
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

void ListWidget::keyPressEvent(QKeyEvent* event) {
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (event->key() == Qt::Key_Delete && plain && m_deleteKey.id() != 0) {
        // As a click on the tab's Delete button: its handler runs, knowing nothing of the
        // key. A held key deletes one record, as a held mouse button does.
        if (!event->isAutoRepeat()) m_deleteKey.notify();
        event->accept();
        return;
    }
    const QModelIndex before = currentIndex();
    QTableView::keyPressEvent(event);
    // An arrow, page or letter key that moved to another row shows that row.
    const QModelIndex now = currentIndex();
    if (now.isValid() && now != before) scrollTo(now);
}

QModelIndex ListWidget::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    // Home and End go to the first and the last row, as in the system's lists, in the
    // same column (a table would go to the first or the last column of the row).
    if (action == MoveHome || action == MoveEnd) {
        const int rows = model() != nullptr ? model()->rowCount(rootIndex()) : 0;
        if (rows == 0) return {};
        const int column = currentIndex().isValid() ? currentIndex().column() : 0;
        return model()->index(action == MoveHome ? 0 : rows - 1, column, rootIndex());
    }
    return QTableView::moveCursor(action, modifiers);
}

RowListWidget::RowListWidget(QWidget* parent, EventQueue* queue, int id, std::vector<QString> titles,
                             bool fullRowSelect)
    : ListWidget(parent, queue, id, fullRowSelect), m_model(new RowSourceModel(std::move(titles), this)) {
    attach(m_model);
}

}  // namespace detail

// ---- The facade ----

namespace {
detail::RowSourceModel& rowsOf(const ListView& list) {
    return *static_cast<detail::RowListWidget*>(list.widget())->rows();
}
}  // namespace

void ListView::setSource(std::unique_ptr<RowSource> source) { rowsOf(*this).setSource(std::move(source)); }
void ListView::rebuild() { rowsOf(*this).reload(); }
void ListView::refreshRow(int row) { rowsOf(*this).rowChanged(row); }
void ListView::refreshRows() { rowsOf(*this).rowsChanged(); }
void ListView::setDeleteKeyGadget(int gadget) {
    static_cast<detail::RowListWidget*>(widget())->setDeleteKeyGadget(gadget);
}

void ListView::clear() {
    detail::RowSourceModel& rows = rowsOf(*this);
    rows.held().clear();
    rows.reload();
}

void ListView::addRow(std::string_view rowText) { rowsOf(*this).appendRow(rowText); }

void ListView::setRows(RowTexts rows) {
    detail::RowSourceModel& model = rowsOf(*this);
    model.held().assign(std::move(rows));
    model.reload();
}

void ListView::setRows(std::vector<std::string> rowTexts) {
    RowTexts rows;
    std::size_t bytes = 0;
    for (const std::string& text : rowTexts) bytes += text.size();
    rows.reserve(rowTexts.size(), bytes);
    for (const std::string& text : rowTexts) rows.addRow(text);
    setRows(std::move(rows));
}

int ListView::rowCount() const { return rowsOf(*this).rowCount(); }
int ListView::selectedRow() const { return static_cast<detail::RowListWidget*>(widget())->selectedRow(); }
void ListView::selectRow(int row) { static_cast<detail::RowListWidget*>(widget())->setSelectedRow(row); }
std::string ListView::rowText(int row) const { return cellText(row, 0); }
std::string ListView::cellText(int row, int column) const { return rowsOf(*this).cell(row, column); }

void ListView::setCellText(int row, int column, std::string_view text) {
    detail::RowSourceModel& rows = rowsOf(*this);
    if (rows.hasOutsideSource() || !rows.validRow(row) || column < 0 || column >= rows.columnCount()) return;
    rows.held().setCell(static_cast<std::size_t>(row), column, text);
    rows.cellChanged(row, column);
}

}  // namespace marquetor::platform
