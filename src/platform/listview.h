#pragma once
// List views (internal to the platform library): the Qt model that reads rows from a row
// source, the rows a list holds itself when it is handed texts, and the table widget with
// single selection that reports clicks and every change of its selection.

#include <QAbstractTableModel>
#include <QString>
#include <QTableView>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/eventsink.h"
#include "platform/gadgets.h"
#include "platform/rowsource.h"

namespace marquetor::platform::detail {

// Column `column` of a row text whose columns are separated by line feeds.
std::string_view columnOf(std::string_view row, int column);

// A row's full texts for its tooltip, made from the model when the tooltip is asked for: a
// row of one column is its text; a row of several gives one line per column, its title
// first ("Color: R128 G128 B0"), leaving out empty cells. A text that Qt would take for
// markup is shown as it is.
QString fullRowText(const QAbstractItemModel& model, int row);

// Rows handed over as texts (columns separated by line feeds), kept as those bytes: every
// row's text in one block, so a list of many rows is filled with a couple of allocations.
class HeldRows final : public RowSource {
public:
    // Whole: a row's text is its only cell (a choice box's entry may hold a line feed).
    enum class Cells { Columns, Whole };
    explicit HeldRows(Cells cells) : m_cells(cells) {}

    std::size_t rowCount() const override { return m_ends.size(); }
    std::string cellText(std::size_t row, int column) const override;
    std::vector<std::size_t> longestRows(std::size_t count) const override;

    void clear();
    void append(std::string_view rowText);
    void assign(RowTexts rows);
    // Rewrites one cell of a row (missing columns of a short row become empty); lasts
    // until the rows are replaced.
    void setCell(std::size_t row, int column, std::string_view text);

private:
    std::string_view rowText(std::size_t row) const;

    Cells m_cells;
    // m_ends[i] is where row i ends (it starts where row i - 1 ends). A row rewritten in
    // place lives in m_rewritten until the next assign.
    std::string m_bytes;
    std::vector<std::size_t> m_ends;
    std::unordered_map<std::size_t, std::string> m_rewritten;
};

// The Qt model of a list view or a choice box. The texts are made only for the cells the
// view paints; the row count is read from the source when the model is reset (a rebuild),
// so it costs the same for ten rows and for a million.
class RowSourceModel final : public QAbstractTableModel {
public:
    // One column per title; no titles: one column without a header (a choice box).
    RowSourceModel(std::vector<QString> titles, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Reads from an outside source from now on (the held rows are dropped), and reloads.
    void setSource(std::unique_ptr<RowSource> source);
    bool hasOutsideSource() const { return m_outside != nullptr; }
    // The rows the model holds itself; asking for them drops an outside source.
    HeldRows& held();
    const RowSource& source() const {
        if (m_outside) return *m_outside;
        return m_held;
    }

    // A model reset: the count is read again and every shown cell will be asked again.
    void reload();
    // A row of text appended to the held rows.
    void appendRow(std::string_view rowText);
    // The cells of one row, or one cell, are asked again (and repainted).
    void rowChanged(int row);
    void cellChanged(int row, int column);
    // Every row's cells are asked again when shown (only the shown ones are repainted).
    void rowsChanged();

    bool validRow(int row) const { return row >= 0 && row < m_rows; }
    // The bytes of a cell; empty outside the rows.
    std::string cell(int row, int column) const;

private:
    std::vector<QString> m_titles;
    std::unique_ptr<RowSource> m_outside;
    HeldRows m_held;
    int m_rows = 0;   // the count as of the last reload
};

// Single-selection list with columns; reports clicks, right clicks, double clicks and every
// change of the selected row.
class ListWidget : public QTableView {
public:
    ListWidget(QWidget* parent, EventQueue* queue, int id, bool fullRowSelect);

    int selectedRow() const;
    // -1 (or a row that does not exist) clears the selection.
    void setSelectedRow(int row);
    // The Delete key raises this gadget's event (0: the key does nothing here).
    void setDeleteKeyGadget(int id) { m_deleteKey = EventSink(m_queue, id); }

protected:
    // Shows the model and reports every change of its selection.
    void attach(QAbstractItemModel* model);
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    EventSink m_sink;

private:
    EventQueue* m_queue;
    EventSink m_deleteKey{nullptr, 0};
    bool m_fullRowSelect;
    bool m_releaseEndsDoubleClick = false;
};

class RowListWidget final : public ListWidget {
public:
    RowListWidget(QWidget* parent, EventQueue* queue, int id, std::vector<QString> titles, bool fullRowSelect);
    RowSourceModel* rows() const { return m_model; }

private:
    RowSourceModel* m_model;
};

}  // namespace marquetor::platform::detail
