#include "platform/choicebox.h"

#include <QApplication>
#include <QFocusEvent>
#include <QListView>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyleFactory>

#include <algorithm>
#include <climits>

#include "platform/gadgets.h"

namespace marquetor::platform {

namespace detail {

namespace {

class DropDownStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override {
        if (hint == SH_ComboBox_Popup) return 0;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

bool isAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether an entry equals a text ignoring letter case, as the texts are shown. Texts of
// plain ASCII (nearly all names) are compared as bytes; anything else as shown, with
// Unicode's case folding.
bool equalIgnoringCase(std::string_view entry, std::string_view text, bool textIsAscii, const QString& shown) {
    if (textIsAscii && isAscii(entry)) {
        return entry.size() == text.size() &&
               std::equal(entry.begin(), entry.end(), text.begin(),
                          [](char a, char b) { return asciiLower(a) == asciiLower(b); });
    }
    return textcodec::fromBytes(entry).compare(shown, Qt::CaseInsensitive) == 0;
}

}  // namespace

std::unique_ptr<QStyle> makeDropDownStyle() {
    // A style of the application's kind as the base: a proxy owns its base.
    return std::make_unique<DropDownStyle>(QStyleFactory::create(QApplication::style()->name()));
}

ChoiceWidget::ChoiceWidget(QWidget* parent, EventQueue* queue, int id, QStyle* dropDownStyle)
    : QComboBox(parent), m_sink(queue, id), m_model(new RowSourceModel({}, this)) {
    if (dropDownStyle != nullptr) setStyle(dropDownStyle);
    // A million entries: nothing may measure them one by one.
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    if (auto* list = qobject_cast<QListView*>(view())) list->setUniformItemSizes(true);
    setModel(m_model);
    connect(this, qOverload<int>(&QComboBox::activated), this, [this] { m_sink.notify(); });
}

void ChoiceWidget::showPopup() {
    // The widest entry is among the longest texts: only those few are measured, as the
    // list would draw them. The list is never narrower than its box.
    constexpr std::size_t kMeasured = 16;
    QAbstractItemView* list = view();
    int widest = 0;
    for (const std::size_t row : m_model->source().longestRows(kMeasured)) {
        if (row > static_cast<std::size_t>(INT_MAX) || !m_model->validRow(static_cast<int>(row))) continue;
        widest = std::max(widest, list->sizeHintForIndex(m_model->index(static_cast<int>(row), 0)).width());
    }
    int needed = 0;
    if (widest > 0) {
        needed = widest + 2 * list->frameWidth();
        if (count() > maxVisibleItems()) needed += list->verticalScrollBar()->sizeHint().width();
    }
    list->setMinimumWidth(needed);
    QComboBox::showPopup();
}

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

}  // namespace detail

// ---- The facades ----

namespace {

detail::ChoiceWidget* boxOf(const ChoiceBox& box) { return static_cast<detail::ChoiceWidget*>(box.widget()); }

// After the entries changed: no entry chosen, and no event (QComboBox chooses the first
// entry of a reset model by itself).
void chooseNone(detail::ChoiceWidget* box) {
    const QSignalBlocker quiet(box);
    box->setCurrentIndex(-1);
}

}  // namespace

void ChoiceBox::setSource(std::unique_ptr<RowSource> source) {
    detail::ChoiceWidget* box = boxOf(*this);
    {
        const QSignalBlocker quiet(box);
        box->entries()->setSource(std::move(source));
    }
    chooseNone(box);
}

void ChoiceBox::rebuild() {
    detail::ChoiceWidget* box = boxOf(*this);
    {
        const QSignalBlocker quiet(box);
        box->entries()->reload();
    }
    chooseNone(box);
}

void ChoiceBox::clear() {
    detail::ChoiceWidget* box = boxOf(*this);
    {
        const QSignalBlocker quiet(box);
        box->entries()->held().clear();
        box->entries()->reload();
    }
    chooseNone(box);
}

void ChoiceBox::addItem(std::string_view text) {
    detail::ChoiceWidget* box = boxOf(*this);
    const QSignalBlocker quiet(box);
    const int chosen = box->currentIndex();
    box->entries()->appendRow(text);
    // Adding to an empty box would choose the first entry; the choice stays as it was.
    box->setCurrentIndex(chosen);
}

void ChoiceBox::setItems(std::vector<std::string> items) {
    RowTexts rows;
    std::size_t bytes = 0;
    for (const std::string& item : items) bytes += item.size();
    rows.reserve(items.size(), bytes);
    for (const std::string& item : items) rows.addRow(item);
    detail::ChoiceWidget* box = boxOf(*this);
    {
        const QSignalBlocker quiet(box);
        box->entries()->held().assign(std::move(rows));
        box->entries()->reload();
    }
    chooseNone(box);
}

int ChoiceBox::count() const { return boxOf(*this)->count(); }
std::string ChoiceBox::itemText(int index) const { return boxOf(*this)->entries()->cell(index, 0); }
int ChoiceBox::state() const { return boxOf(*this)->currentIndex(); }

void ChoiceBox::setState(int index) {
    detail::ChoiceWidget* box = boxOf(*this);
    const QSignalBlocker quiet(box);
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

std::string ChoiceBox::text() const { return itemText(state()); }

bool ChoiceBox::chooseExactly(std::string_view text) {
    detail::ChoiceWidget* box = boxOf(*this);
    const long long row = box->entries()->source().findRow(text);
    if (row < 0 || row >= box->count()) return false;
    const QSignalBlocker quiet(box);
    box->setCurrentIndex(static_cast<int>(row));
    return true;
}

void ChoiceBox::setText(std::string_view text) {
    detail::ChoiceWidget* box = boxOf(*this);
    const QSignalBlocker quiet(box);
    if (text.empty()) {
        box->setCurrentIndex(-1);
        return;
    }
    const QString shown = textcodec::fromBytes(text);
    const bool textIsAscii = detail::isAscii(text);
    const RowSource& entries = box->entries()->source();
    for (int i = 0; i < box->count(); ++i) {
        const std::string entry = entries.cellText(static_cast<std::size_t>(i), 0);
        if (entry == text || detail::equalIgnoringCase(entry, text, textIsAscii, shown)) {
            box->setCurrentIndex(i);
            return;
        }
    }
}

void EditableChoiceBox::addItem(std::string_view text) {
    auto* box = static_cast<detail::EditableChoiceWidget*>(widget());
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

int EditableChoiceBox::count() const { return static_cast<QComboBox*>(widget())->count(); }
std::string EditableChoiceBox::text() const { return static_cast<detail::EditableChoiceWidget*>(widget())->bytes(); }
void EditableChoiceBox::setText(std::string_view text) {
    static_cast<detail::EditableChoiceWidget*>(widget())->setBytes(text);
}

}  // namespace marquetor::platform
