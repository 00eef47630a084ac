#pragma once
// The pictures of cell grids (internal to the platform library): decoded on threads of
// their own, only for the cells a grid paints, once per picture key and size, and kept up
// to a byte limit, the least recently painted going first. A picture of 8192 x 8192 pixels
// takes its time on a decoding thread; the window goes on meanwhile, showing the cell
// without its picture (or the picture at another size) until it is there.

#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QThreadPool>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <unordered_map>
#include <vector>

#include "platform/cellsource.h"

class QImage;
class QWidget;

namespace marquetor::platform::detail {

class PictureCache final : public QObject {
public:
    static constexpr std::size_t kDefaultByteLimit = std::size_t{128} << 20;

    explicit PictureCache(std::size_t byteLimit = kDefaultByteLimit);
    // Waits for the decodes that are running (their results are dropped).
    ~PictureCache() override;

    struct Found {
        const QPixmap* exact = nullptr;   // the picture at the size asked for
        const QPixmap* other = nullptr;   // else the same picture at another size, for now
        bool failed = false;              // the bytes hold no picture the decoders take
    };

    // A paint of all `requester` shows begins: what it asked for before and is not decoding
    // yet is dropped, so a grid scrolled on decodes only what it shows now.
    void beginPaint(const void* requester);
    // The picture of `key` scaled to fit a square of `side` pixels. When it is not there, it
    // is asked for: its bytes come from `source` when its decode starts.
    Found find(std::uint64_t key, int side, const void* requester, const CellSource& source);
    // After a paint: starts as many decodes as there are threads, in the order asked.
    void startDecodes();
    // A grid that goes (or changes its source): its requests are dropped.
    void forget(const void* requester);

    // Told the key of each picture that arrives, while `owner` lives.
    void addListener(QObject* owner, std::function<void(std::uint64_t)> arrived);

    std::size_t bytes() const { return m_bytes; }
    std::size_t byteLimit() const { return m_limit; }
    // Decodes started since the cache was made (each asked its source for the bytes once).
    std::size_t decodesStarted() const { return m_started; }
    // Decodes asked for and not finished (queued or running).
    std::size_t pending() const { return m_requests.size() + m_running; }

private:
    struct Slot {
        std::uint64_t key;
        int side;
        bool operator==(const Slot&) const = default;
    };
    struct SlotHash {
        std::size_t operator()(const Slot& s) const noexcept {
            return static_cast<std::size_t>(s.key * 0x9E3779B97F4A7C15ull ^ static_cast<std::uint64_t>(s.side));
        }
    };
    enum class State : std::uint8_t { Running, Ready, Failed };
    struct Entry {
        QPixmap pixmap;
        State state = State::Running;
        std::uint64_t lastPaint = 0;
        std::size_t bytes = 0;
    };
    struct Request {
        Slot slot;
        const void* requester;
        const CellSource* source;
    };

    void arrived(Slot slot, const QImage& image);
    void evict();
    const QPixmap* otherSize(std::uint64_t key, int side) const;

    std::size_t m_limit;
    std::size_t m_bytes = 0;
    std::size_t m_started = 0;
    std::size_t m_running = 0;
    std::uint64_t m_paint = 0;   // counts paints; an entry remembers the last that used it
    std::unordered_map<Slot, Entry, SlotHash> m_entries;
    std::unordered_map<std::uint64_t, std::vector<int>> m_readySides;   // key -> sides held
    std::deque<Request> m_requests;
    std::vector<std::pair<QPointer<QObject>, std::function<void(std::uint64_t)>>> m_listeners;
    QThreadPool m_pool;
};

}  // namespace marquetor::platform::detail
