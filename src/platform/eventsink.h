#pragma once
// Gadget events of one identifier: each widget behind a facade holds one and reports every
// notification the editor listens to through it (internal to the platform library).

#include "platform/events.h"

namespace marquetor::platform::detail {

class EventSink {
public:
    EventSink(EventQueue* queue, int id) : m_queue(queue), m_id(id) {}
    void notify() const {
        if (m_queue != nullptr && !m_muted) m_queue->push({kEventGadget, 0, m_id});
    }
    // While muted, the widget's own bookkeeping (which the editor must not hear of) raises
    // no event.
    void mute(bool muted) { m_muted = muted; }
    int id() const { return m_id; }

private:
    EventQueue* m_queue;
    int m_id;
    bool m_muted = false;
};

}  // namespace marquetor::platform::detail
