#include "platform/problemlist.h"

#include <QKeyEvent>
#include <QListWidget>
#include <QTextDocument>

#include <cstdio>
#include <cstdlib>

#include "platform/problemlistwidget.h"
#include "platform/textcodec.h"

namespace marquetor::platform {

namespace detail {

ProblemListWidget::ProblemListWidget(QWidget* parent, EventQueue* queue, int id)
    : QListWidget(parent), m_queue(queue), m_id(id) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) { activate(row(item)); });
}

void ProblemListWidget::setRows(const std::vector<std::string>& rowTexts) {
    clear();
    for (const std::string& text : rowTexts) {
        auto* item = new QListWidgetItem(textcodec::fromBytes(text), this);
        // The whole text, for a problem longer than the list is wide.
        item->setToolTip(Qt::mightBeRichText(item->text()) ? Qt::convertFromPlainText(item->text(), Qt::WhiteSpaceNoWrap)
                                                           : item->text());
        item->setData(Qt::UserRole, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    }
    m_activated = -1;
}

std::string ProblemListWidget::rowBytes(int rowIndex) const {
    const QListWidgetItem* found = item(rowIndex);
    if (found == nullptr) return {};
    const QByteArray bytes = found->data(Qt::UserRole).toByteArray();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void ProblemListWidget::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentRow() >= 0) {
        activate(currentRow());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void ProblemListWidget::activate(int rowIndex) {
    if (rowIndex < 0) return;
    m_activated = rowIndex;
    if (m_queue != nullptr) m_queue->push({kEventGadget, 0, m_id});
}

}  // namespace detail

namespace {
detail::ProblemListWidget* widgetOf(const ProblemList& list) {
    return static_cast<detail::ProblemListWidget*>(list.widget());
}
}  // namespace

void ProblemList::setRows(const std::vector<std::string>& rowTexts) { widgetOf(*this)->setRows(rowTexts); }
int ProblemList::rowCount() const { return widgetOf(*this)->count(); }
std::string ProblemList::rowText(int row) const { return widgetOf(*this)->rowBytes(row); }
int ProblemList::activatedRow() const { return widgetOf(*this)->activatedRow(); }

ProblemList& ProblemListOf(const Gadgets& gadgets, int id) {
    Gadget* gadget = gadgets.find(id);
    if (gadget == nullptr || gadget->kind() != GadgetKind::ProblemList) {
        std::fprintf(stderr, "marquetor: gadget %d is not a problem list\n", id);
        std::abort();
    }
    return static_cast<ProblemList&>(*gadget);
}

}  // namespace marquetor::platform
