#pragma once
// The Qt widgets behind the gadget facades (internal to the platform library). Each widget
// knows its gadget identifier and pushes a gadget event onto the queue for every
// notification the editor listens to; the facades in gadgets.h read and set them.

#include <QAbstractTableModel>
#include <QComboBox>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QTableView>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/events.h"
#include "platform/gadgets.h"
#include "platform/textcodec.h"

class QPixmap;

namespace marquetor::platform {

class Image;

namespace detail {

// Gadget events of one identifier.
class EventSink {
public:
    EventSink(EventQueue* queue, int id) : m_queue(queue), m_id(id) {}
    void notify() const {
        if (m_queue != nullptr && !m_muted) m_queue->push({kEventGadget, 0, m_id});
    }
    // While muted, the widget's own bookkeeping (which the editor must not hear of) raises
    // no event.
    void mute(bool muted) { m_muted = muted; }

private:
    EventQueue* m_queue;
    int m_id;
    bool m_muted = false;
};

// Rows kept as the bytes they were given (columns separated by line feeds); the texts are
// made only for the cells the view paints, so a list of many rows is cheap to fill.
class RowModel final : public QAbstractTableModel {
public:
    RowModel(std::vector<QString> titles, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void clearRows();
    void appendRow(std::string_view rowText);
    void setRows(std::vector<std::string> rowTexts);
    void setRows(RowTexts rows);
    bool validRow(int row) const { return row >= 0 && static_cast<std::size_t>(row) < m_ends.size(); }
    std::string cell(int row, int column) const;
    void setCell(int row, int column, std::string_view text);

private:
    std::string_view rowText(std::size_t row) const;

    std::vector<QString> m_titles;
    // Every row's text in one block; m_ends[i] is where row i ends (it starts where row
    // i - 1 ends). A row rewritten in place lives in m_rewritten until the next rebuild.
    std::string m_bytes;
    std::vector<std::size_t> m_ends;
    std::unordered_map<std::size_t, std::string> m_rewritten;
};

// Single-selection list with columns; reports clicks, right clicks, double clicks and every
// change of the selected row.
class ListWidget : public QTableView {
public:
    ListWidget(QWidget* parent, EventQueue* queue, int id, bool fullRowSelect);

    int selectedRow() const;
    // -1 (or a row that does not exist) clears the selection.
    void setSelectedRow(int row);

protected:
    // Shows the model and reports every change of its selection.
    void attach(QAbstractItemModel* model);
    bool viewportEvent(QEvent* event) override;
    EventSink m_sink;

private:
    bool m_fullRowSelect;
    bool m_releaseEndsDoubleClick = false;
};

class RowListWidget final : public ListWidget {
public:
    RowListWidget(QWidget* parent, EventQueue* queue, int id, std::vector<QString> titles, bool fullRowSelect);
    RowModel* rows() const { return m_model; }

private:
    RowModel* m_model;
};

// The entries of one folder: sub-folders first, then files, each in the order a file
// manager shows them.
class FolderModel final : public QAbstractTableModel {
public:
    struct Entry {
        std::string name;      // the name's bytes as the file system holds them
        QString shown;
        bool folder = false;
        std::uintmax_t size = 0;
        QString modified;
    };

    explicit FolderModel(QObject* parent);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Reads the folder (bytes, relative to the working directory); a folder that cannot be
    // read shows nothing.
    void list(const std::string& folder);
    const Entry* entry(int row) const;

private:
    std::vector<Entry> m_entries;
};

class ExplorerWidget final : public ListWidget {
public:
    ExplorerWidget(QWidget* parent, EventQueue* queue, int id, std::string_view folder);

    const std::string& folder() const { return m_folder; }
    FolderModel* entries() const { return m_model; }
    void setFolder(std::string_view folder);
    void openSubFolder(int row);
    void goUp();
    void reload();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showFolder(std::string folder);
    void watch(const std::string& folder);
    // The shown folder changed on disk: list it again, keeping the selected entry selected
    // when it is still there.
    void refreshChanged();

    FolderModel* m_model;
    QFileSystemWatcher m_watcher;
    std::string m_start;    // never left upwards
    std::string m_folder;   // ends with "/"
};

class TextFieldWidget final : public QLineEdit {
public:
    TextFieldWidget(QWidget* parent, EventQueue* queue, int id, bool digitsOnly);
    std::string bytes() const { return m_text.bytesFor(text()); }
    void setBytes(std::string_view bytes) { setText(m_text.set(bytes)); }

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    EventSink m_sink;
    textcodec::RememberedText m_text;
};

class LabelWidget final : public QLabel {
public:
    LabelWidget(QWidget* parent, bool centred);
    std::string bytes() const { return m_text.bytesFor(text()); }
    void setBytes(std::string_view bytes) { setText(m_text.set(bytes)); }

private:
    textcodec::RememberedText m_text;
};

// Combo boxes keep each item's original bytes in the item data.
inline constexpr int kItemBytesRole = Qt::UserRole + 1;
void addComboItem(QComboBox* box, std::string_view bytes);
std::string comboItemBytes(const QComboBox* box, int index);

class ChoiceWidget final : public QComboBox {
public:
    ChoiceWidget(QWidget* parent, EventQueue* queue, int id);

private:
    EventSink m_sink;
};

class EditableChoiceWidget final : public QComboBox {
public:
    EditableChoiceWidget(QWidget* parent, EventQueue* queue, int id, int dropDownHeight);
    std::string bytes() const;
    void setBytes(std::string_view bytes);
    void showPopup() override;
    void hidePopup() override;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    EventSink m_sink;
    textcodec::RememberedText m_text;
};

class ImageWidget final : public QLabel {
public:
    ImageWidget(QWidget* parent, bool sunkenBorder);
    void showImage(const Image* image);
    bool hasImage() const { return m_hasImage; }

private:
    bool m_hasImage = false;
};

class ButtonWidget final : public QPushButton {
public:
    ButtonWidget(QWidget* parent, EventQueue* queue, int id, std::string_view text);
    const std::string& bytes() const { return m_bytes; }

private:
    EventSink m_sink;
    std::string m_bytes;
};

}  // namespace detail
}  // namespace marquetor::platform
