#pragma once
// Files dragged from a file manager onto the main window (internal to the platform
// library). Every drag that carries local files is taken whatever widget is under the
// pointer (a text field would otherwise insert the paths as text); a drop keeps its paths
// and the gadget under the pointer, and raises one event, so drops reach the editor
// through the queue like everything else.

#include <QObject>
#include <QWidget>

#include <deque>
#include <string>
#include <vector>

#include "platform/events.h"
#include "platform/gadgets.h"

namespace marquetor::platform {

struct DroppedFiles {
    std::vector<std::string> paths;   // bytes, as the file system names them
    int gadget = 0;                   // the gadget under the pointer, 0 outside every gadget
};

namespace detail {

// The name of the widget property that holds a gadget's identifier.
inline constexpr char kGadgetProperty[] = "marquetorGadget";

// A widget made a gadget of a window's registry: the facade joins the registry, and the
// widget carries the identifier, which tells a drop the gadget it landed on.
template <typename Facade>
Facade& RegisterGadget(Gadgets& gadgets, int id, GadgetKind kind, QWidget* widget) {
    widget->setProperty(kGadgetProperty, id);
    auto facade = std::make_unique<Facade>(id, kind, widget);
    Facade& ref = *facade;
    gadgets.add(std::move(facade));
    return ref;
}

class FileDropFilter final : public QObject {
public:
    FileDropFilter(EventQueue& queue, QWidget* window) : m_queue(queue), m_window(window) {}
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The oldest drop not yet taken; empty when there is none.
    DroppedFiles take();

private:
    EventQueue& m_queue;
    QWidget* m_window;
    std::deque<DroppedFiles> m_drops;
};

}  // namespace detail
}  // namespace marquetor::platform
