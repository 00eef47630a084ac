#include "platform/fields.h"

#include <QFocusEvent>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSpinBox>

#include "platform/gadgets.h"

namespace marquetor::platform {

namespace detail {

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

ButtonWidget::ButtonWidget(QWidget* parent, EventQueue* queue, int id, std::string_view text)
    : QPushButton(textcodec::fromBytes(text), parent), m_sink(queue, id), m_bytes(text) {
    connect(this, &QPushButton::clicked, this, [this] { m_sink.notify(); });
}

}  // namespace detail

// ---- The facades ----

std::string TextField::text() const { return static_cast<detail::TextFieldWidget*>(widget())->bytes(); }
void TextField::setText(std::string_view text) { static_cast<detail::TextFieldWidget*>(widget())->setBytes(text); }

std::string Label::text() const { return static_cast<detail::LabelWidget*>(widget())->bytes(); }
void Label::setText(std::string_view text) { static_cast<detail::LabelWidget*>(widget())->setBytes(text); }

int SpinBox::value() const { return static_cast<QSpinBox*>(widget())->value(); }
void SpinBox::setValue(int value) { static_cast<QSpinBox*>(widget())->setValue(value); }
int SpinBox::minimum() const { return static_cast<QSpinBox*>(widget())->minimum(); }
int SpinBox::maximum() const { return static_cast<QSpinBox*>(widget())->maximum(); }

std::string Button::text() const { return static_cast<detail::ButtonWidget*>(widget())->bytes(); }

}  // namespace marquetor::platform
