#include "platform/filedrops.h"

#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace marquetor::platform::detail {

namespace {

std::vector<std::string> localFiles(const QMimeData* mime) {
    std::vector<std::string> paths;
    if (mime == nullptr || !mime->hasUrls()) return paths;
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile()) continue;
        const QByteArray bytes = QFile::encodeName(url.toLocalFile());
        if (!bytes.isEmpty()) paths.emplace_back(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
    return paths;
}

// The identifier of the gadget a widget belongs to (itself or a parent), 0 for none.
int gadgetOf(QWidget* widget, QWidget* window) {
    for (QWidget* w = widget; w != nullptr && w != window; w = w->parentWidget()) {
        const QVariant id = w->property(kGadgetProperty);
        if (id.isValid()) return id.toInt();
    }
    return 0;
}

}  // namespace

bool FileDropFilter::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
    if (!watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != m_window) return false;
    auto* drop = static_cast<QDropEvent*>(event);
    std::vector<std::string> paths = localFiles(drop->mimeData());
    if (paths.empty()) return false;   // text and the like: the widget's own business
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (type == QEvent::Drop) {
        const QPoint at = widget->mapTo(m_window, drop->position().toPoint());
        QWidget* under = m_window->childAt(at);
        m_drops.push_back({std::move(paths), gadgetOf(under != nullptr ? under : widget, m_window)});
        m_queue.push({kEventDropFiles, 0, 0});
    }
    return true;
}

DroppedFiles FileDropFilter::take() {
    if (m_drops.empty()) return {};
    DroppedFiles drop = std::move(m_drops.front());
    m_drops.pop_front();
    return drop;
}

}  // namespace marquetor::platform::detail
