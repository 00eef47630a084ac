#pragma once
// Text fields, labels and buttons (internal to the platform library). A text reads back
// byte for byte while it is the one shown for those bytes.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <string>
#include <string_view>

#include "platform/eventsink.h"
#include "platform/textcodec.h"

namespace marquetor::platform::detail {

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

class ButtonWidget final : public QPushButton {
public:
    ButtonWidget(QWidget* parent, EventQueue* queue, int id, std::string_view text);
    const std::string& bytes() const { return m_bytes; }

private:
    EventSink m_sink;
    std::string m_bytes;
};

}  // namespace marquetor::platform::detail
