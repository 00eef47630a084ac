#pragma once
// The Qt widget behind CellGrid (internal to the platform library): a scroll area that
// paints the cells it shows straight from the source, with the selection as bits, the
// filter's scan in slices and the pictures from a shared cache.

#include <QAbstractScrollArea>
#include <QTimer>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/cellsource.h"
#include "platform/eventsink.h"

class QPainter;

namespace marquetor::platform::detail {

class PictureCache;

class CellGridWidget final : public QAbstractScrollArea {
public:
    // The sizes the zoom steps through.
    static constexpr int kSizes[] = {32, 48, 64, 80, 96, 128, 160, 192, 256};

    CellGridWidget(QWidget* parent, EventQueue* queue, int id, PictureCache* cache);
    ~CellGridWidget() override;

    void setSource(std::unique_ptr<CellSource> source);
    void rebuild();
    void refreshCells();
    void setFilter(std::string_view utf8);
    const std::string& filterText() const { return m_filter.text(); }
    bool scanning() const { return m_scan.active; }

    std::size_t cellCount() const { return m_count; }
    std::size_t shownCount() const { return m_filtered ? m_shown.size() : m_count; }
    long long shownCell(std::size_t position) const;
    long long positionOf(std::size_t cell) const;
    std::size_t firstVisible() const;
    std::size_t endVisible() const;
    QRect cellRect(std::size_t position) const;   // viewport coordinates

    long long currentCell() const { return m_current; }
    void setCurrentCell(long long cell);
    long long takeActivated() {
        const long long cell = m_activated;
        m_activated = -1;
        return cell;
    }

    std::size_t selectedCount() const { return m_selectedCount; }
    bool isSelected(std::size_t cell) const;
    std::vector<std::size_t> selectedCells() const;
    void clearSelection();

    int cellSide() const { return m_side; }
    void setCellSide(int side);
    // Steps through kSizes: positive larger, negative smaller.
    void zoom(int steps);
    void setDeleteKeyGadget(int id) { m_deleteKey = EventSink(m_queue, id); }
    PictureCache* cache() const { return m_cache; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    struct Metrics {
        int pad = 4;
        int cellWidth = 0;
        int cellHeight = 0;
        int stride = 0;        // from one column to the next
        int strip = 0;         // height of the colour strip, 0 without
        int lineHeight = 0;
        int lines = 1;
        int columns = 1;
    };
    struct Scan {
        bool active = false;
        bool narrowing = false;   // through the cells shown now, not the whole source
        bool toTop = false;       // a new filter text: the grid starts at the top again
        std::size_t next = 0;
        TextMatcher matcher;
        std::vector<std::uint32_t> found;
    };

    // Layout, in content coordinates (the viewport's plus the scroll bar's value).
    void relayout();
    void relayoutKeeping(long long anchorPosition);
    long long anchorPosition() const;
    std::int64_t rowTop(std::size_t row) const;
    int columnLeft(std::size_t column) const;
    long long positionAt(QPoint viewportPoint) const;
    void scrollToPosition(std::size_t position);
    int scrollValue() const;

    void paintCell(QPainter& painter, const QRect& rect, std::size_t cell, bool selected);
    // A picture came: the cells on screen that show it are painted again.
    void pictureArrived(std::uint64_t key);
    void paintPicture(QPainter& painter, const QRect& square, std::uint64_t key);

    // The selection: a bit per cell of the source.
    bool bit(std::size_t cell) const { return (m_bits[cell >> 6] >> (cell & 63)) & 1u; }
    void setBit(std::size_t cell, bool on);
    void resetSelection();
    void selectOnly(std::size_t cell);
    void selectPositions(std::size_t from, std::size_t to);   // inclusive, either order
    void keepShownSelected();

    // The rubber band, from the press to the pointer, in content coordinates.
    bool inBand(std::size_t position) const;
    void bandRange(std::size_t& firstRow, std::size_t& lastRow, std::size_t& firstColumn,
                   std::size_t& lastColumn) const;
    void finishBand();
    QPoint contentPoint(QPoint viewportPoint) const;

    // The user's moves.
    void activate(std::size_t cell);
    bool moveByKey(QKeyEvent* event);

    // The filter's scan.
    void startScan(bool narrowing, bool toTop);
    bool runSlice(std::chrono::steady_clock::time_point deadline);
    void finishScan();

    EventSink m_sink;
    EventQueue* m_queue;
    EventSink m_deleteKey{nullptr, 0};
    PictureCache* m_cache;
    std::unique_ptr<CellSource> m_source;
    std::size_t m_count = 0;

    TextMatcher m_filter;
    std::uint64_t m_serial = 0;
    bool m_filtered = false;
    std::vector<std::uint32_t> m_shown;   // while filtered: the shown cells, in order
    Scan m_scan;
    QTimer m_sliceTimer;

    std::vector<std::uint64_t> m_bits;
    std::size_t m_selectedCount = 0;
    long long m_current = -1;
    long long m_anchor = -1;      // the cell a Shift+click or Shift+key extends from
    long long m_activated = -1;

    bool m_pressed = false;
    bool m_banding = false;
    QPoint m_pressPoint;          // content coordinates
    QPoint m_bandPoint;
    int m_wheelZoom = 0;          // wheel turns not yet a whole zoom step

    int m_side = 64;
    Metrics m;
};

}  // namespace marquetor::platform::detail
