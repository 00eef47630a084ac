#pragma once
// Gadget events of one identifier: each widget behind a facade holds one and reports every
// notification the editor listens to through it (internal to the platform library).

#include "platform/events.h"

namespace marquetor::platform::detail {

class EventSink {
public:
    EventSink(EventQueue* queue, int id) : m_queue(queue), m_id(id) {}
    void notify() const {
        if (m_queue != nullptr) m_queue->push({kEventGadget, 0, m_id});
    }

private:
    EventQueue* m_queue;
    int m_id;
};

}  // namespace marquetor::platform::detail
