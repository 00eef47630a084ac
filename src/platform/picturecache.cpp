#include "platform/picturecache.h"

#include <QImage>
#include <QRunnable>
#include <QThread>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include "platform/image.h"

namespace marquetor::platform::detail {

namespace {

// On a decoding thread: the bytes decoded (at a reduced size where the format allows) and
// scaled smoothly to fit the square, the aspect kept. A null image when they hold no picture.
QImage decodeToFit(const std::vector<std::uint8_t>& bytes, int side) {
    Image image;
    if (!image.decode(bytes, side)) return {};
    const double w = image.width();
    const double h = image.height();
    int width = side;
    int height = side;
    if (w >= h) {
        height = std::max(1, static_cast<int>(std::lround(h * side / w)));
    } else {
        width = std::max(1, static_cast<int>(std::lround(w * side / h)));
    }
    image.scale(width, height);
    if (image.empty()) return {};
    const imagecodec::RgbaImage& p = image.pixels();
    const QImage view(p.pixels.data(), p.width, p.height, static_cast<qsizetype>(p.width) * 4,
                      QImage::Format_RGBA8888);
    // A copy in the format the painter draws fastest; the decoded pixels go with `image`.
    return view.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace

PictureCache::PictureCache(std::size_t byteLimit) : m_limit(byteLimit) {
    // Beside the main thread; the decoding threads yield to it.
    m_pool.setMaxThreadCount(std::clamp(QThread::idealThreadCount(), 1, 4));
    m_pool.setThreadPriority(QThread::LowPriority);
}

PictureCache::~PictureCache() {
    m_requests.clear();
    m_pool.clear();
    m_pool.waitForDone();
}

void PictureCache::beginPaint(const void* requester) {
    ++m_paint;
    std::erase_if(m_requests, [requester](const Request& r) { return r.requester == requester; });
}

PictureCache::Found PictureCache::find(std::uint64_t key, int side, const void* requester, const CellSource& source) {
    Found found;
    const Slot slot{key, side};
    const auto it = m_entries.find(slot);
    if (it != m_entries.end()) {
        Entry& entry = it->second;
        entry.lastPaint = m_paint;
        if (entry.state == State::Ready) {
            found.exact = &entry.pixmap;
            return found;
        }
        if (entry.state == State::Failed) {
            found.failed = true;
            return found;
        }
        // Running: shown at another size until it is there.
    } else {
        const bool asked = std::any_of(m_requests.begin(), m_requests.end(),
                                       [&](const Request& r) { return r.slot == slot; });
        if (!asked) m_requests.push_back({slot, requester, &source});
    }
    found.other = otherSize(key, side);
    return found;
}

const QPixmap* PictureCache::otherSize(std::uint64_t key, int side) const {
    const auto sides = m_readySides.find(key);
    if (sides == m_readySides.end()) return nullptr;
    // The nearest size above, else the largest below: scaled down it looks best.
    int best = 0;
    for (const int s : sides->second) {
        if (best == 0) {
            best = s;
        } else if (s >= side) {
            if (best < side || s < best) best = s;
        } else if (best < side && s > best) {
            best = s;
        }
    }
    if (best == 0) return nullptr;
    const auto it = m_entries.find(Slot{key, best});
    return it == m_entries.end() ? nullptr : &it->second.pixmap;
}

void PictureCache::startDecodes() {
    const auto threads = static_cast<std::size_t>(std::max(1, m_pool.maxThreadCount()));
    while (m_running < threads && !m_requests.empty()) {
        const Request request = m_requests.front();
        m_requests.pop_front();
        if (m_entries.count(request.slot) != 0) continue;
        // A copy of the bytes: the document may let go of its own while the decode runs.
        const std::span<const std::uint8_t> stored = request.source->pictureBytes(request.slot.key);
        auto bytes = std::make_shared<const std::vector<std::uint8_t>>(stored.begin(), stored.end());
        ++m_started;
        ++m_running;
        m_entries[request.slot] = Entry{QPixmap(), State::Running, m_paint, 0};
        const Slot slot = request.slot;
        m_pool.start(QRunnable::create([this, slot, bytes] {
            QImage image = bytes->empty() ? QImage() : decodeToFit(*bytes, slot.side);
            // Back on the main thread (the cache waits for this thread before it goes).
            QMetaObject::invokeMethod(
                this, [this, slot, image = std::move(image)] { arrived(slot, image); }, Qt::QueuedConnection);
        }));
    }
}

void PictureCache::arrived(Slot slot, const QImage& image) {
    if (m_running > 0) --m_running;
    Entry& entry = m_entries[slot];
    if (image.isNull()) {
        entry.state = State::Failed;
    } else {
        entry.state = State::Ready;
        entry.pixmap = QPixmap::fromImage(image);
        entry.bytes = static_cast<std::size_t>(image.sizeInBytes());
        m_bytes += entry.bytes;
        m_readySides[slot.key].push_back(slot.side);
        evict();
    }
    startDecodes();
    for (const auto& [owner, tell] : m_listeners)
        if (owner) tell(slot.key);
}

void PictureCache::evict() {
    if (m_bytes <= m_limit) return;
    // The least recently painted go first, down to three quarters of the limit; what the
    // latest paint showed stays.
    std::vector<std::pair<std::uint64_t, Slot>> ready;
    for (const auto& [slot, entry] : m_entries)
        if (entry.state == State::Ready && entry.lastPaint < m_paint) ready.emplace_back(entry.lastPaint, slot);
    std::sort(ready.begin(), ready.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    const std::size_t target = m_limit / 4 * 3;
    for (const auto& [painted, slot] : ready) {
        if (m_bytes <= target) break;
        const auto it = m_entries.find(slot);
        m_bytes -= it->second.bytes;
        m_entries.erase(it);
        auto sides = m_readySides.find(slot.key);
        std::erase(sides->second, slot.side);
        if (sides->second.empty()) m_readySides.erase(sides);
    }
}

void PictureCache::forget(const void* requester) {
    std::erase_if(m_requests, [requester](const Request& r) { return r.requester == requester; });
}

void PictureCache::addListener(QObject* owner, std::function<void(std::uint64_t)> arrived) {
    m_listeners.emplace_back(owner, std::move(arrived));
}

}  // namespace marquetor::platform::detail
