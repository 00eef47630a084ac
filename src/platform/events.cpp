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
}

void SleepMilliseconds(int milliseconds) {
    if (milliseconds <= 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace marquetor::platform
