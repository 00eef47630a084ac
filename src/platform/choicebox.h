#pragma once
// Choice boxes (internal to the platform library). The drop-down list without free text
// reads its entries from a row source, or holds the entries it is handed; the editable one
// holds its few entries in Qt's own item model. Each entry keeps its original bytes.

#include <QComboBox>

#include <memory>
#include <string>
#include <string_view>

#include "platform/eventsink.h"
#include "platform/listview.h"
#include "platform/textcodec.h"

class QStyle;

namespace marquetor::platform::detail {

// The style of the drop-down lists: the application's, except that the list opens below
// the box, as many rows high as it allows, instead of over it. Opening over the box makes
// Qt measure the text of every entry first, which takes seconds for a million entries.
std::unique_ptr<QStyle> makeDropDownStyle();

// Reports only the user's choice; the program's changes raise nothing.
class ChoiceWidget final : public QComboBox {
public:
    ChoiceWidget(QWidget* parent, EventQueue* queue, int id, QStyle* dropDownStyle);
    RowSourceModel* entries() const { return m_model; }
    // Opens the list at least as wide as its widest entry.
    void showPopup() override;

private:
    EventSink m_sink;
    RowSourceModel* m_model;
};

// The editable box's items keep their original bytes in the item data.
inline constexpr int kItemBytesRole = Qt::UserRole + 1;
void addComboItem(QComboBox* box, std::string_view bytes);
std::string comboItemBytes(const QComboBox* box, int index);

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

}  // namespace marquetor::platform::detail
