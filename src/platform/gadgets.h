#pragma once
// Typed facades over the toolkit's widgets, one per gadget kind, found by identifier.
// Texts in and out are the document's bytes: shown as UTF-8, or as Windows-1252 where the
// bytes are not valid UTF-8; a text the user did not edit reads back byte for byte.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rowsource.h"

class QWidget;

namespace marquetor::platform {

class Image;
class EventQueue;

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

enum class GadgetKind {
    Panel, ListView, ExplorerList, TextField, Label, ChoiceBox, EditableChoiceBox, SpinBox, Image, Button,
    ProblemList,   // platform/problemlist.h
    CellGrid,      // platform/cellgrid.h
};

class Gadget {
public:
    // Made by Window, which pairs each kind with the widget its facade expects.
    Gadget(int id, GadgetKind kind, QWidget* widget) : m_id(id), m_kind(kind), m_widget(widget) {}
    virtual ~Gadget() = default;
    int id() const { return m_id; }
    GadgetKind kind() const { return m_kind; }
    QWidget* widget() const { return m_widget; }   // for tests and layout only
    void setFocus();
    // A disabled gadget is greyed and takes no input.
    void setEnabled(bool enabled);
    bool isEnabled() const;

private:
    int m_id;
    GadgetKind m_kind;
    QWidget* m_widget;
};

class Panel : public Gadget {
public:
    using Gadget::Gadget;
    int state() const;              // index of the shown tab
    void setState(int tab);
};

// Many row texts in one block, one after another: a list of 100,000 rows is built with a
// couple of allocations instead of one per row. Append a row's text to buffer(), then
// call endRow().
class RowTexts {
public:
    void reserve(std::size_t rows, std::size_t bytes) {
        m_ends.reserve(rows);
        m_bytes.reserve(bytes);
    }
    std::string& buffer() { return m_bytes; }
    void endRow() { m_ends.push_back(m_bytes.size()); }
    void addRow(std::string_view rowText) {
        m_bytes.append(rowText);
        endRow();
    }
    std::size_t size() const { return m_ends.size(); }

    std::string& bytes() { return m_bytes; }
    std::vector<std::size_t>& ends() { return m_ends; }   // where each row's text ends

private:
    std::string m_bytes;
    std::vector<std::size_t> m_ends;
};

// Rows of columns. The rows come from a row source, read as they are shown, or are handed
// over as texts whose columns are separated by a line feed.
class ListView : public Gadget {
public:
    using Gadget::Gadget;
    // Reads the rows from a source from now on, and rebuilds.
    void setSource(std::unique_ptr<RowSource> source);
    // Empties and refills the list from its rows as they are now: the count is read again
    // (nothing is copied). Leaves no row selected.
    void rebuild();
    // Shows the cells of one row as its source holds them now; the selection stays.
    void refreshRow(int row);
    // The same for every row (the count unchanged): what is shown is read again.
    void refreshRows();
    // The Delete key pressed in the list raises the event of this gadget (a button), as a
    // click on it would; 0, as at the start: the key does nothing in the list.
    void setDeleteKeyGadget(int gadget);

    // Rows handed over as texts (the list then reads no source).
    void clear();
    void addRow(std::string_view rowText);
    // Replaces every row at once (cheap for many rows). Leaves no row selected.
    void setRows(std::vector<std::string> rowTexts);
    void setRows(RowTexts rows);
    int rowCount() const;
    int selectedRow() const;                     // -1 when none
    void selectRow(int row);                     // -1 clears the selection
    std::string rowText(int row) const;          // the first column
    std::string cellText(int row, int column) const;
    // Rewrites one cell of a row handed over as text; a list that reads a source shows
    // what its source holds (refreshRow).
    void setCellText(int row, int column, std::string_view text);
};

// The files and sub-folders of a folder; the user may open a sub-folder (double click or
// Enter) and go back up (Backspace), never above the starting folder.
class ExplorerList : public Gadget {
public:
    using Gadget::Gadget;
    std::string folder() const;                  // the folder shown, ending with "/"
    int rowCount() const;
    int selectedRow() const;
    void selectRow(int row);
    std::string rowText(int row) const;          // the entry's name
    bool isFolder(int row) const;
    // Shows a folder (relative folders are taken from the working directory).
    void setFolder(std::string_view folder);
    void openSubFolder(int row);
    void goUp();
    void reload();
};

class TextField : public Gadget {
public:
    using Gadget::Gadget;
    std::string text() const;
    void setText(std::string_view text);
};

class Label : public Gadget {
public:
    using Gadget::Gadget;
    std::string text() const;
    void setText(std::string_view text);
};

// A drop-down list without free text. Its state is the chosen entry's index, -1 for none.
// The entries come from a row source (column 0), read as they are shown, or are handed over.
class ChoiceBox : public Gadget {
public:
    using Gadget::Gadget;
    // Reads the entries from a source from now on; nothing chosen afterwards.
    void setSource(std::unique_ptr<RowSource> source);
    // The entries as the source holds them now (the count is read again); nothing chosen
    // afterwards, and no event.
    void rebuild();
    // Entries handed over (the box then reads no source).
    void clear();
    void addItem(std::string_view text);
    void setItems(std::vector<std::string> items);   // nothing chosen afterwards
    int count() const;
    std::string itemText(int index) const;
    int state() const;
    void setState(int index);
    // The chosen entry's bytes, or empty when none is chosen.
    std::string text() const;
    // Chooses the first entry equal to the text ignoring letter case; when none is equal
    // the choice stays; the empty text leaves no entry chosen. Raises no event.
    void setText(std::string_view text);
    // Chooses the entry with exactly these bytes; false (the choice stays) when there is
    // none. Raises no event.
    bool chooseExactly(std::string_view text);
};

// A drop-down list whose text can also be typed.
class EditableChoiceBox : public Gadget {
public:
    using Gadget::Gadget;
    void addItem(std::string_view text);
    int count() const;
    std::string text() const;
    void setText(std::string_view text);
};

class SpinBox : public Gadget {
public:
    using Gadget::Gadget;
    int value() const;
    void setValue(int value);    // limited to the range
    int minimum() const;
    int maximum() const;
};

class ImageGadget : public Gadget {
public:
    using Gadget::Gadget;
    // Shows a copy of the image as it is now; nullptr or an empty image shows nothing.
    void setImage(const Image* image);
    bool hasImage() const;
};

class Button : public Gadget {
public:
    using Gadget::Gadget;
    std::string text() const;
};

// Every gadget by identifier. Asking for an identifier as the wrong kind is a programming
// error (it aborts with a message).
class Gadgets {
public:
    Gadgets();
    ~Gadgets();
    Gadgets(const Gadgets&) = delete;
    Gadgets& operator=(const Gadgets&) = delete;

    void add(std::unique_ptr<Gadget> gadget);
    // Forgets a gadget (its window went); unknown identifiers are passed over.
    void remove(int id);
    Gadget* find(int id) const;

    Panel& panel(int id) const;
    ListView& listView(int id) const;
    ExplorerList& explorerList(int id) const;
    TextField& textField(int id) const;
    Label& label(int id) const;
    ChoiceBox& choiceBox(int id) const;
    EditableChoiceBox& editableChoiceBox(int id) const;
    SpinBox& spinBox(int id) const;
    ImageGadget& image(int id) const;
    Button& button(int id) const;

private:
    std::map<int, std::unique_ptr<Gadget>> m_gadgets;
};

}  // namespace marquetor::platform
