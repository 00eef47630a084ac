#include "platform/events.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <chrono>
#include <thread>

namespace marquetor::platform {

void ProcessPendingToolkitEvents() {
    if (QCoreApplication::instance() == nullptr) return;
    // Deferred deletes and posted events first, then whatever the window system has queued;
    // neither call waits for new events.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // The editor runs its own loop instead of exec(): objects Qt asked to delete later at
    // this level are deleted here, as an event loop would.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void SleepMilliseconds(int milliseconds) {
    if (milliseconds <= 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace marquetor::platform
