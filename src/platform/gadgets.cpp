#include "platform/gadgets.h"

#include <QTabWidget>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

// The facades of each kind of gadget live beside their widgets: listview.cpp,
// explorer.cpp, fields.cpp (text fields, labels, spin boxes, buttons), choicebox.cpp and
// imagegadget.cpp. Here: what every gadget shares, the panel, and the registry.

namespace marquetor::platform {

namespace {

[[noreturn]] void wrongGadget(int id, const char* wanted) {
    std::fprintf(stderr, "marquetor: gadget %d is not a %s\n", id, wanted);
    std::abort();
}

}  // namespace

void Gadget::setFocus() {
    if (m_widget != nullptr) m_widget->setFocus(Qt::OtherFocusReason);
}

void Gadget::setEnabled(bool enabled) {
    if (m_widget != nullptr && m_widget->isEnabled() != enabled) m_widget->setEnabled(enabled);
}

bool Gadget::isEnabled() const { return m_widget != nullptr && m_widget->isEnabled(); }

int Panel::state() const { return static_cast<QTabWidget*>(widget())->currentIndex(); }
void Panel::setState(int tab) { static_cast<QTabWidget*>(widget())->setCurrentIndex(tab); }

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

void Gadgets::remove(int id) { m_gadgets.erase(id); }

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
