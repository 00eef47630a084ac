#pragma once
// The editor's event records and the queue that the toolkit's signals feed.

#include <cstddef>
#include <deque>

namespace marquetor::platform {

inline constexpr int kEventCloseWindow = 16;      // request to close the main window
inline constexpr int kEventGadget = 13100;        // a gadget reported something
inline constexpr int kEventMenu = 13101;          // a menu item was chosen
inline constexpr int kEventLeftButtonDown = 513;
inline constexpr int kEventLeftButtonUp = 514;
inline constexpr int kEventRightButtonDown = 516;
inline constexpr int kEventRightButtonUp = 517;
// Files were dropped on the main window; Window::takeDroppedFiles() gives their paths.
inline constexpr int kEventDropFiles = 563;
// The main window became the active window again (after another program's, or a dialog's).
inline constexpr int kEventActivateWindow = 13104;

inline bool IsMouseButtonEvent(int kind) {
    return kind == kEventLeftButtonDown || kind == kEventLeftButtonUp || kind == kEventRightButtonDown ||
           kind == kEventRightButtonUp;
}

struct FrameEvent {
    int kind = 0;
    int menuItem = 0;   // menu events
    int gadget = 0;     // gadget events
};

// Pending window events, appended by the toolkit's signal handlers in arrival order and
// taken out by the editor's pump.
class EventQueue {
public:
    void push(const FrameEvent& event) { m_events.push_back(event); }
    bool empty() const { return m_events.empty(); }
    std::size_t size() const { return m_events.size(); }
    FrameEvent pop() {
        FrameEvent e = m_events.front();
        m_events.pop_front();
        return e;
    }
    void clear() { m_events.clear(); }

private:
    std::deque<FrameEvent> m_events;
};

// Lets the toolkit handle everything already pending, without waiting for more.
void ProcessPendingToolkitEvents();
void SleepMilliseconds(int milliseconds);

}  // namespace marquetor::platform
