#include "platform/cellgrid.h"

#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextDocument>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "platform/cellgridwidget.h"
#include "platform/picturecache.h"
#include "platform/textcodec.h"

namespace marquetor::platform {

namespace detail {

namespace {

using Clock = std::chrono::steady_clock;

// Space around the cells, and the longest stretch of a filter's scan on the main thread.
constexpr int kMargin = 4;
constexpr auto kSliceBudget = std::chrono::milliseconds(8);
// Cells looked at between two looks at the clock.
constexpr std::size_t kScanChunk = 8192;

QColor colorOf(std::int32_t color) {
    const auto value = static_cast<std::uint32_t>(color);
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

// A text for a tooltip, never read as markup.
QString plainTip(const QString& text) {
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpaceNoWrap) : text;
}

}  // namespace

CellGridWidget::CellGridWidget(QWidget* parent, EventQueue* queue, int id, PictureCache* cache)
    : QAbstractScrollArea(parent), m_sink(queue, id), m_queue(queue), m_cache(cache) {
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    viewport()->setMouseTracking(false);
    m_sliceTimer.setSingleShot(true);
    m_sliceTimer.setInterval(0);
    connect(&m_sliceTimer, &QTimer::timeout, this, [this] {
        if (m_scan.active && !runSlice(Clock::now() + kSliceBudget)) m_sliceTimer.start();
    });
    if (m_cache != nullptr) m_cache->addListener(this, [this](std::uint64_t key) { pictureArrived(key); });
    relayout();
}

CellGridWidget::~CellGridWidget() {
    if (m_cache != nullptr) m_cache->forget(this);
}

// ---- The cells ----

void CellGridWidget::setSource(std::unique_ptr<CellSource> source) {
    if (m_cache != nullptr) m_cache->forget(this);
    m_source = std::move(source);
    rebuild();
}

void CellGridWidget::rebuild() {
    m_count = m_source ? m_source->cellCount() : 0;
    m_bits.assign((m_count + 63) / 64, 0);
    m_selectedCount = 0;
    m_current = -1;
    m_anchor = -1;
    m_activated = -1;
    m_banding = false;
    m_pressed = false;
    // The cells shown stay until the scan is complete; those the source no longer holds
    // are passed over meanwhile.
    if (!m_filter.empty()) startScan(false, false);
    relayout();
    viewport()->update();
}

void CellGridWidget::refreshCells() {
    if ((m_source ? m_source->cellCount() : 0) != m_count) {
        rebuild();
        return;
    }
    if (!m_filter.empty()) startScan(false, false);
    viewport()->update();
}

long long CellGridWidget::shownCell(std::size_t position) const {
    if (m_filtered) return position < m_shown.size() ? static_cast<long long>(m_shown[position]) : -1;
    return position < m_count ? static_cast<long long>(position) : -1;
}

long long CellGridWidget::positionOf(std::size_t cell) const {
    if (!m_filtered) return cell < m_count ? static_cast<long long>(cell) : -1;
    // The shown cells are in the source's order.
    const auto it = std::lower_bound(m_shown.begin(), m_shown.end(), cell);
    return it != m_shown.end() && *it == cell ? static_cast<long long>(it - m_shown.begin()) : -1;
}

// ---- The filter ----

void CellGridWidget::setFilter(std::string_view utf8) {
    if (utf8 == m_filter.text()) return;
    TextMatcher next(utf8, ++m_serial);
    if (next.empty()) {
        m_sliceTimer.stop();
        m_scan = Scan{};
        m_filter = std::move(next);
        m_filtered = false;
        std::vector<std::uint32_t>().swap(m_shown);
        std::vector<std::uint32_t>().swap(m_scan.found);
        // Every cell again, with the current one in view among its neighbours.
        verticalScrollBar()->setValue(0);
        relayout();
        if (m_current >= 0) scrollToPosition(static_cast<std::size_t>(m_current));
        viewport()->update();
        return;
    }
    // Typed further: only the cells the shorter filter shows can still match.
    const bool narrowing = m_filtered && !m_scan.active && next.narrows(m_filter);
    m_filter = std::move(next);
    startScan(narrowing, true);
}

void CellGridWidget::startScan(bool narrowing, bool toTop) {
    m_sliceTimer.stop();
    m_scan.active = true;
    m_scan.narrowing = narrowing;
    m_scan.toTop = toTop || m_scan.toTop;   // a text change still pending keeps its wish
    m_scan.next = 0;
    // A serial of its own: answers a source remembers for the last scan go.
    m_scan.matcher = TextMatcher(m_filter.text(), ++m_serial);
    m_scan.found.clear();
    // The first slice at once: a small source is filtered before the next paint.
    if (!runSlice(Clock::now() + kSliceBudget)) m_sliceTimer.start();
}

bool CellGridWidget::runSlice(Clock::time_point deadline) {
    if (!m_source) {
        finishScan();
        return true;
    }
    for (;;) {
        bool done = false;
        if (m_scan.narrowing) {
            const std::size_t end = std::min(m_scan.next + kScanChunk, m_shown.size());
            for (std::size_t i = m_scan.next; i < end; ++i) {
                const std::uint32_t cell = m_shown[i];
                if (cell < m_count && m_source->matches(cell, m_scan.matcher)) m_scan.found.push_back(cell);
            }
            m_scan.next = end;
            done = end >= m_shown.size();
        } else {
            const std::size_t end = std::min(m_scan.next + kScanChunk, m_count);
            m_source->findMatches(m_scan.next, end, m_scan.matcher, m_scan.found);
            m_scan.next = end;
            done = end >= m_count;
        }
        if (done) {
            finishScan();
            return true;
        }
        if (Clock::now() >= deadline) return false;
    }
}

void CellGridWidget::finishScan() {
    const long long anchor = anchorPosition();
    const long long anchorCell = anchor >= 0 ? shownCell(static_cast<std::size_t>(anchor)) : -1;
    m_shown.swap(m_scan.found);
    m_scan.found.clear();
    m_filtered = true;
    m_scan.active = false;
    const bool toTop = m_scan.toTop;
    m_scan.toTop = false;
    keepShownSelected();
    if (toTop) {
        verticalScrollBar()->setValue(0);
        relayout();
    } else {
        // A rescan after a change: the cell that was at the top stays there if it is shown.
        relayoutKeeping(anchorCell >= 0 ? positionOf(static_cast<std::size_t>(anchorCell)) : -1);
    }
    viewport()->update();
}

// ---- Layout ----

void CellGridWidget::relayout() {
    const QFontMetrics metrics(font());
    m.lineHeight = metrics.height();
    m.lines = m_source ? std::max(1, m_source->captionLines()) : 1;
    m.strip = (m_source && m_source->hasStrip()) ? std::max(4, m_side / 12) : 0;
    m.cellWidth = std::max(m_side, metrics.horizontalAdvance(QStringLiteral("0000000"))) + 2 * m.pad;
    m.cellHeight = m.pad + m_side + (m.strip > 0 ? m.strip + 2 : 0) + 2 + m.lines * m.lineHeight + m.pad;
    const int available = std::max(0, viewport()->width() - 2 * kMargin);
    m.columns = std::max(1, available / m.cellWidth);
    // The room left over goes between the columns.
    m.stride = m.columns > 1 ? m.cellWidth + (available - m.columns * m.cellWidth) / m.columns : m.cellWidth;
    const std::size_t rows = (shownCount() + static_cast<std::size_t>(m.columns) - 1) / static_cast<std::size_t>(m.columns);
    const std::int64_t height = 2 * kMargin + static_cast<std::int64_t>(rows) * m.cellHeight;
    const std::int64_t range = std::clamp<std::int64_t>(height - viewport()->height(), 0, INT_MAX);
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, static_cast<int>(range));
    bar->setPageStep(std::max(1, viewport()->height()));
    bar->setSingleStep(std::max(1, m.cellHeight / 3));
}

long long CellGridWidget::anchorPosition() const {
    if (m_current >= 0) {
        const long long position = positionOf(static_cast<std::size_t>(m_current));
        if (position >= 0 && static_cast<std::size_t>(position) >= firstVisible() &&
            static_cast<std::size_t>(position) < endVisible())
            return position;
    }
    return shownCount() > 0 ? static_cast<long long>(firstVisible()) : -1;
}

void CellGridWidget::relayoutKeeping(long long anchor) {
    if (anchor < 0 || static_cast<std::size_t>(anchor) >= shownCount()) {
        relayout();
        return;
    }
    const auto position = static_cast<std::size_t>(anchor);
    const std::int64_t offset = rowTop(position / static_cast<std::size_t>(m.columns)) - scrollValue();
    relayout();
    const std::int64_t top = rowTop(position / static_cast<std::size_t>(m.columns)) - offset;
    verticalScrollBar()->setValue(static_cast<int>(std::clamp<std::int64_t>(top, 0, verticalScrollBar()->maximum())));
}

std::int64_t CellGridWidget::rowTop(std::size_t row) const {
    return kMargin + static_cast<std::int64_t>(row) * m.cellHeight;
}

int CellGridWidget::columnLeft(std::size_t column) const {
    return kMargin + static_cast<int>(column) * m.stride + (m.stride - m.cellWidth) / 2;
}

int CellGridWidget::scrollValue() const { return verticalScrollBar()->value(); }

std::size_t CellGridWidget::firstVisible() const {
    const std::int64_t top = scrollValue() - kMargin;
    const std::size_t row = top <= 0 ? 0 : static_cast<std::size_t>(top / m.cellHeight);
    return std::min(row * static_cast<std::size_t>(m.columns), shownCount());
}

std::size_t CellGridWidget::endVisible() const {
    const std::int64_t bottom = static_cast<std::int64_t>(scrollValue()) + viewport()->height() - kMargin;
    if (bottom <= 0) return firstVisible();
    const std::size_t rows = static_cast<std::size_t>((bottom + m.cellHeight - 1) / m.cellHeight);
    return std::min(rows * static_cast<std::size_t>(m.columns), shownCount());
}

QRect CellGridWidget::cellRect(std::size_t position) const {
    if (position >= shownCount()) return {};
    const auto columns = static_cast<std::size_t>(m.columns);
    const std::int64_t top = rowTop(position / columns) - scrollValue();
    if (top < INT_MIN / 2 || top > INT_MAX / 2) return {};
    return QRect(columnLeft(position % columns), static_cast<int>(top), m.cellWidth, m.cellHeight);
}

long long CellGridWidget::positionAt(QPoint point) const {
    const std::int64_t y = static_cast<std::int64_t>(point.y()) + scrollValue() - kMargin;
    if (y < 0 || point.x() < 0) return -1;
    const auto row = static_cast<std::size_t>(y / m.cellHeight);
    const int column = (point.x() - kMargin) / std::max(1, m.stride);
    if (point.x() < kMargin || column >= m.columns) return -1;
    const int left = columnLeft(static_cast<std::size_t>(column));
    if (point.x() < left || point.x() >= left + m.cellWidth) return -1;   // between two cells
    const std::size_t position = row * static_cast<std::size_t>(m.columns) + static_cast<std::size_t>(column);
    if (position >= shownCount()) return -1;
    const long long cell = shownCell(position);
    return cell >= 0 && static_cast<std::size_t>(cell) < m_count ? static_cast<long long>(position) : -1;
}

void CellGridWidget::scrollToPosition(std::size_t position) {
    if (position >= shownCount()) return;
    const std::int64_t top = rowTop(position / static_cast<std::size_t>(m.columns));
    const std::int64_t bottom = top + m.cellHeight;
    const int value = scrollValue();
    std::int64_t wanted = value;
    if (top - kMargin < value) {
        wanted = top - kMargin;
    } else if (bottom + kMargin > static_cast<std::int64_t>(value) + viewport()->height()) {
        wanted = bottom + kMargin - viewport()->height();
    }
    verticalScrollBar()->setValue(static_cast<int>(std::clamp<std::int64_t>(wanted, 0, verticalScrollBar()->maximum())));
}

void CellGridWidget::setCellSide(int side) {
    side = std::clamp(side, kSizes[0], kSizes[std::size(kSizes) - 1]);
    if (side == m_side) return;
    const long long anchor = anchorPosition();
    m_side = side;
    relayoutKeeping(anchor);
    viewport()->update();
}

void CellGridWidget::zoom(int steps) {
    if (steps == 0) return;
    // The step at or below the size now.
    int index = 0;
    for (int i = 0; i < static_cast<int>(std::size(kSizes)); ++i)
        if (kSizes[i] <= m_side) index = i;
    index = std::clamp(index + steps, 0, static_cast<int>(std::size(kSizes)) - 1);
    setCellSide(kSizes[index]);
}

void CellGridWidget::resizeEvent(QResizeEvent* event) {
    const long long anchor = anchorPosition();
    QAbstractScrollArea::resizeEvent(event);
    relayoutKeeping(anchor);
}

void CellGridWidget::scrollContentsBy(int, int) { viewport()->update(); }

// ---- Painting ----

void CellGridWidget::pictureArrived(std::uint64_t key) {
    if (!m_source || !isVisible()) return;
    const std::size_t end = endVisible();
    for (std::size_t position = firstVisible(); position < end; ++position) {
        const long long cell = shownCell(position);
        if (cell >= 0 && static_cast<std::size_t>(cell) < m_count &&
            m_source->look(static_cast<std::size_t>(cell)).picture == key)
            viewport()->update(cellRect(position));
    }
}

void CellGridWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    // Only the cells the paint is for: a picture that came repaints its cells alone. A
    // paint of everything (after a scroll) drops the pictures asked for before.
    const QRegion& region = event->region();
    if (m_cache != nullptr && region.contains(viewport()->rect())) m_cache->beginPaint(this);
    if (m_source) {
        const std::size_t end = endVisible();
        for (std::size_t position = firstVisible(); position < end; ++position) {
            const QRect rect = cellRect(position);
            if (!region.intersects(rect)) continue;
            const long long cell = shownCell(position);
            if (cell < 0 || static_cast<std::size_t>(cell) >= m_count) continue;
            const auto c = static_cast<std::size_t>(cell);
            paintCell(painter, rect, c, bit(c) || (m_banding && inBand(position)));
        }
    }
    if (m_banding) {
        QRect band = QRect(m_pressPoint, m_bandPoint).normalized();
        band.translate(0, -scrollValue());
        QColor fill = palette().color(QPalette::Highlight);
        fill.setAlpha(48);
        painter.setPen(palette().color(QPalette::Highlight));
        painter.setBrush(fill);
        painter.drawRect(band.adjusted(0, 0, -1, -1));
    }
    if (m_cache != nullptr) m_cache->startDecodes();
}

void CellGridWidget::paintCell(QPainter& painter, const QRect& rect, std::size_t cell, bool selected) {
    const QPalette& colors = palette();
    if (selected) painter.fillRect(rect, colors.brush(QPalette::Highlight));
    const QRect square(rect.x() + (rect.width() - m_side) / 2, rect.y() + m.pad, m_side, m_side);
    const CellLook look = m_source->look(cell);
    painter.save();
    if (look.picture == 0) {
        // Missing: a dashed outline around a question mark.
        painter.fillRect(square, colors.brush(QPalette::Window));
        painter.setPen(QPen(colors.color(QPalette::Dark), 1, Qt::DashLine));
        painter.drawRect(square.adjusted(0, 0, -1, -1));
        QFont mark = painter.font();
        mark.setPixelSize(std::max(10, m_side / 2));
        mark.setBold(true);
        painter.setFont(mark);
        painter.drawText(square, Qt::AlignCenter, QStringLiteral("?"));
        if (m_side >= 64) {
            painter.setFont(font());
            painter.drawText(square.adjusted(2, 0, -2, -2), Qt::AlignHCenter | Qt::AlignBottom, QStringLiteral("missing"));
        }
    } else {
        paintPicture(painter, square, look.picture);
    }
    painter.restore();

    int textTop = square.bottom() + 3;
    if (m.strip > 0) {
        const QRect strip(square.x(), square.bottom() + 2, m_side, m.strip);
        if (look.strip == CellLook::Strip::Color) {
            painter.fillRect(strip, colorOf(look.stripColor));
        } else if (look.strip == CellLook::Strip::Missing) {
            // No such colour: hatched.
            painter.fillRect(strip, Qt::white);
            painter.fillRect(strip, QBrush(QColor(160, 0, 0), Qt::BDiagPattern));
            painter.setPen(QColor(160, 0, 0));
            painter.drawRect(strip.adjusted(0, 0, -1, -1));
        }
        textTop = strip.bottom() + 3;
    }
    painter.setPen(colors.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QFontMetrics metrics(font());
    for (int line = 0; line < m.lines; ++line) {
        const QString text = textcodec::fromBytes(m_source->caption(cell, line));
        const QRect box(rect.x() + 1, textTop + line * m.lineHeight, rect.width() - 2, m.lineHeight);
        painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop, metrics.elidedText(text, Qt::ElideMiddle, box.width()));
    }
    if (static_cast<long long>(cell) == m_current) {
        QColor frame = colors.color(QPalette::Highlight);
        if (selected) frame = frame.darker(160);
        painter.setPen(QPen(frame, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect.adjusted(1, 1, -1, -1));
        if (hasFocus()) {
            painter.setPen(QPen(colors.color(QPalette::Text), 1, Qt::DotLine));
            painter.drawRect(rect.adjusted(3, 3, -4, -4));
        }
    }
}

void CellGridWidget::paintPicture(QPainter& painter, const QRect& square, std::uint64_t key) {
    const qreal ratio = viewport()->devicePixelRatioF();
    const int side = std::max(1, static_cast<int>(m_side * ratio + 0.5));
    const PictureCache::Found found =
        m_cache != nullptr ? m_cache->find(key, side, this, *m_source) : PictureCache::Found{};
    const QPixmap* pixmap = found.exact != nullptr ? found.exact : found.other;
    if (pixmap != nullptr) {
        // Fitted into the square, the aspect kept (a picture at another size is scaled).
        QSizeF size = pixmap->size();
        size.scale(QSizeF(square.size()), Qt::KeepAspectRatio);
        const QRectF target(square.x() + (square.width() - size.width()) / 2,
                            square.y() + (square.height() - size.height()) / 2, size.width(), size.height());
        painter.setRenderHint(QPainter::SmoothPixmapTransform, found.exact == nullptr);
        painter.drawPixmap(target, *pixmap, QRectF(pixmap->rect()));
        return;
    }
    const QPalette& colors = palette();
    if (found.failed) {
        // No picture in the bytes: a crossed-out box.
        painter.fillRect(square, colors.brush(QPalette::Window));
        painter.setPen(QPen(colors.color(QPalette::Dark), 1));
        painter.drawRect(square.adjusted(0, 0, -1, -1));
        painter.drawLine(square.topLeft(), square.bottomRight());
        painter.drawLine(square.topRight(), square.bottomLeft());
        if (m_side >= 96) {
            const QRect label(square.x(), square.center().y() - m.lineHeight / 2, square.width(), m.lineHeight);
            painter.fillRect(label.adjusted(4, 0, -4, 0), colors.brush(QPalette::Window));
            painter.drawText(label, Qt::AlignCenter, QStringLiteral("no picture"));
        }
        return;
    }
    // Still being decoded.
    painter.fillRect(square, colors.brush(QPalette::Midlight));
}

// ---- The selection ----

void CellGridWidget::setBit(std::size_t cell, bool on) {
    if (cell >= m_count || bit(cell) == on) return;
    m_bits[cell >> 6] ^= std::uint64_t{1} << (cell & 63);
    if (on) {
        ++m_selectedCount;
    } else {
        --m_selectedCount;
    }
}

void CellGridWidget::resetSelection() {
    if (m_selectedCount == 0) return;
    std::fill(m_bits.begin(), m_bits.end(), 0);
    m_selectedCount = 0;
}

void CellGridWidget::selectOnly(std::size_t cell) {
    resetSelection();
    setBit(cell, true);
}

void CellGridWidget::selectPositions(std::size_t from, std::size_t to) {
    if (shownCount() == 0) return;
    if (from > to) std::swap(from, to);
    to = std::min(to, shownCount() - 1);
    if (!m_filtered) {
        // A run of cells: whole words at a time.
        for (std::size_t cell = from; cell <= to;) {
            if ((cell & 63) == 0 && cell + 63 <= to) {
                m_selectedCount += static_cast<std::size_t>(64 - std::popcount(m_bits[cell >> 6]));
                m_bits[cell >> 6] = ~std::uint64_t{0};
                cell += 64;
            } else {
                setBit(cell++, true);
            }
        }
        return;
    }
    for (std::size_t position = from; position <= to; ++position) setBit(m_shown[position], true);
}

void CellGridWidget::keepShownSelected() {
    if (m_selectedCount == 0) return;
    std::vector<std::uint64_t> kept(m_bits.size(), 0);
    std::size_t count = 0;
    for (const std::uint32_t cell : m_shown) {
        if (cell < m_count && bit(cell)) {
            kept[cell >> 6] |= std::uint64_t{1} << (cell & 63);
            ++count;
        }
    }
    m_bits.swap(kept);
    m_selectedCount = count;
}

bool CellGridWidget::isSelected(std::size_t cell) const { return cell < m_count && bit(cell); }

std::vector<std::size_t> CellGridWidget::selectedCells() const {
    std::vector<std::size_t> cells;
    cells.reserve(m_selectedCount);
    for (std::size_t word = 0; word < m_bits.size(); ++word) {
        for (std::uint64_t bits = m_bits[word]; bits != 0; bits &= bits - 1)
            cells.push_back(word * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
    }
    return cells;
}

void CellGridWidget::clearSelection() {
    resetSelection();
    viewport()->update();
}

void CellGridWidget::setCurrentCell(long long cell) {
    if (cell < 0 || static_cast<std::size_t>(cell) >= m_count) {
        m_current = -1;
        viewport()->update();
        return;
    }
    m_current = cell;
    m_anchor = cell;
    selectOnly(static_cast<std::size_t>(cell));
    const long long position = positionOf(static_cast<std::size_t>(cell));
    if (position >= 0) scrollToPosition(static_cast<std::size_t>(position));
    viewport()->update();
}

// ---- The rubber band ----

QPoint CellGridWidget::contentPoint(QPoint point) const { return QPoint(point.x(), point.y() + scrollValue()); }

void CellGridWidget::bandRange(std::size_t& firstRow, std::size_t& lastRow, std::size_t& firstColumn,
                               std::size_t& lastColumn) const {
    const QRect band = QRect(m_pressPoint, m_bandPoint).normalized();
    // Every cell the band touches.
    const auto rowOf = [&](int y) { return y <= kMargin ? 0 : static_cast<std::size_t>((y - kMargin) / m.cellHeight); };
    firstRow = rowOf(band.top());
    lastRow = rowOf(band.bottom());
    const auto columnOf = [&](int x) {
        return x <= kMargin ? 0 : std::min<std::size_t>(static_cast<std::size_t>((x - kMargin) / m.stride),
                                                        static_cast<std::size_t>(m.columns) - 1);
    };
    firstColumn = columnOf(band.left());
    lastColumn = columnOf(band.right());
    // A band ending in the gap before a column's cell does not reach that cell.
    if (band.right() < columnLeft(lastColumn) && lastColumn > firstColumn) --lastColumn;
    if (band.left() >= columnLeft(firstColumn) + m.cellWidth && firstColumn < lastColumn) ++firstColumn;
}

bool CellGridWidget::inBand(std::size_t position) const {
    std::size_t firstRow, lastRow, firstColumn, lastColumn;
    bandRange(firstRow, lastRow, firstColumn, lastColumn);
    const auto columns = static_cast<std::size_t>(m.columns);
    const std::size_t row = position / columns;
    const std::size_t column = position % columns;
    return row >= firstRow && row <= lastRow && column >= firstColumn && column <= lastColumn;
}

void CellGridWidget::finishBand() {
    std::size_t firstRow, lastRow, firstColumn, lastColumn;
    bandRange(firstRow, lastRow, firstColumn, lastColumn);
    const auto columns = static_cast<std::size_t>(m.columns);
    const std::size_t shown = shownCount();
    for (std::size_t row = firstRow; row <= lastRow && row * columns < shown; ++row) {
        for (std::size_t column = firstColumn; column <= lastColumn; ++column) {
            const std::size_t position = row * columns + column;
            if (position >= shown) break;
            const long long cell = shownCell(position);
            if (cell >= 0) setBit(static_cast<std::size_t>(cell), true);
        }
    }
    m_banding = false;
}

// ---- The user ----

void CellGridWidget::activate(std::size_t cell) {
    m_current = static_cast<long long>(cell);
    m_activated = static_cast<long long>(cell);
}

void CellGridWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const bool control = modifiers.testFlag(Qt::ControlModifier);
    const bool shift = modifiers.testFlag(Qt::ShiftModifier);
    m_pressed = true;
    m_banding = false;
    m_pressPoint = m_bandPoint = contentPoint(event->position().toPoint());
    const long long position = positionAt(event->position().toPoint());
    if (position < 0) {
        // On the empty space: a plain press leaves nothing selected.
        if (!control && !shift && m_selectedCount > 0) {
            resetSelection();
            m_sink.notify();
        }
        viewport()->update();
        return;
    }
    const auto cell = static_cast<std::size_t>(shownCell(static_cast<std::size_t>(position)));
    const long long anchor = m_anchor >= 0 ? positionOf(static_cast<std::size_t>(m_anchor)) : -1;
    if (shift && anchor >= 0) {
        if (!control) resetSelection();
        selectPositions(static_cast<std::size_t>(anchor), static_cast<std::size_t>(position));
    } else if (control) {
        setBit(cell, !bit(cell));
        m_anchor = static_cast<long long>(cell);
    } else {
        selectOnly(cell);
        m_anchor = static_cast<long long>(cell);
    }
    activate(cell);
    viewport()->update();
    m_sink.notify();
}

void CellGridWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!m_pressed || !event->buttons().testFlag(Qt::LeftButton)) return;
    const QPoint point = event->position().toPoint();
    // Past the top or bottom edge the grid scrolls along.
    if (point.y() < 0) {
        verticalScrollBar()->setValue(scrollValue() - std::min(m.cellHeight / 2, -point.y() + 4));
    } else if (point.y() > viewport()->height()) {
        verticalScrollBar()->setValue(scrollValue() + std::min(m.cellHeight / 2, point.y() - viewport()->height() + 4));
    }
    m_bandPoint = contentPoint(point);
    if (!m_banding) {
        if ((m_bandPoint - m_pressPoint).manhattanLength() < QApplication::startDragDistance()) return;
        m_banding = true;
        // Without Ctrl the rectangle makes the selection anew.
        if (!event->modifiers().testFlag(Qt::ControlModifier)) resetSelection();
    }
    viewport()->update();
}

void CellGridWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    m_pressed = false;
    if (!m_banding) return;
    m_bandPoint = contentPoint(event->position().toPoint());
    finishBand();
    viewport()->update();
    m_sink.notify();
}

bool CellGridWidget::moveByKey(QKeyEvent* event) {
    const std::size_t shown = shownCount();
    if (shown == 0) return false;
    const auto columns = static_cast<long long>(m.columns);
    const long long rowsPerPage = std::max<long long>(1, viewport()->height() / std::max(1, m.cellHeight));
    const long long here = m_current >= 0 ? positionOf(static_cast<std::size_t>(m_current)) : -1;
    long long target = here;
    switch (event->key()) {
    case Qt::Key_Left: target = here - 1; break;
    case Qt::Key_Right: target = here + 1; break;
    case Qt::Key_Up: target = here - columns; break;
    case Qt::Key_Down: target = here + columns; break;
    case Qt::Key_PageUp: target = here - columns * rowsPerPage; break;
    case Qt::Key_PageDown: target = here + columns * rowsPerPage; break;
    case Qt::Key_Home: target = 0; break;
    case Qt::Key_End: target = static_cast<long long>(shown) - 1; break;
    default: return false;
    }
    // From no current cell (or one the filter hides) every key starts at the first cell.
    if (here < 0) target = 0;
    target = std::clamp<long long>(target, 0, static_cast<long long>(shown) - 1);
    const auto cell = static_cast<std::size_t>(shownCell(static_cast<std::size_t>(target)));
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const long long anchor = m_anchor >= 0 ? positionOf(static_cast<std::size_t>(m_anchor)) : -1;
    if (modifiers.testFlag(Qt::ShiftModifier) && anchor >= 0) {
        resetSelection();
        selectPositions(static_cast<std::size_t>(anchor), static_cast<std::size_t>(target));
    } else if (!modifiers.testFlag(Qt::ControlModifier)) {
        // Ctrl moves the frame alone; a plain key selects the cell it moves to.
        selectOnly(cell);
        m_anchor = static_cast<long long>(cell);
    }
    activate(cell);
    scrollToPosition(static_cast<std::size_t>(target));
    viewport()->update();
    m_sink.notify();
    return true;
}

void CellGridWidget::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_A && modifiers == Qt::ControlModifier) {
        if (shownCount() > 0) selectPositions(0, shownCount() - 1);
        viewport()->update();
        m_sink.notify();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Space && m_current >= 0 && positionOf(static_cast<std::size_t>(m_current)) >= 0) {
        const auto cell = static_cast<std::size_t>(m_current);
        if (modifiers == Qt::ControlModifier) {
            setBit(cell, !bit(cell));
        } else {
            selectOnly(cell);
        }
        m_anchor = m_current;
        viewport()->update();
        m_sink.notify();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Delete && modifiers == Qt::NoModifier && m_deleteKey.id() != 0) {
        // As a click on the button: a held key deletes once.
        if (!event->isAutoRepeat()) m_deleteKey.notify();
        event->accept();
        return;
    }
    if (moveByKey(event)) {
        event->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void CellGridWidget::wheelEvent(QWheelEvent* event) {
    if (event->modifiers().testFlag(Qt::ControlModifier)) {
        // One step per notch (120); smooth wheels add up their smaller turns.
        m_wheelZoom += event->angleDelta().y();
        const int steps = m_wheelZoom / 120;
        m_wheelZoom -= steps * 120;
        zoom(steps);
        event->accept();
        return;
    }
    m_wheelZoom = 0;
    QAbstractScrollArea::wheelEvent(event);
}

bool CellGridWidget::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const long long position = positionAt(help->pos());
        if (position < 0 || !m_source) {
            QToolTip::hideText();
            event->ignore();
            return true;
        }
        const auto cell = static_cast<std::size_t>(shownCell(static_cast<std::size_t>(position)));
        QToolTip::showText(help->globalPos(), plainTip(textcodec::fromBytes(m_source->tooltip(cell))), viewport(),
                           cellRect(static_cast<std::size_t>(position)));
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void CellGridWidget::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void CellGridWidget::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

}  // namespace detail

// ---- The facade ----

namespace {
detail::CellGridWidget* gridOf(const CellGrid& grid) { return static_cast<detail::CellGridWidget*>(grid.widget()); }
}  // namespace

void CellGrid::setSource(std::unique_ptr<CellSource> source) { gridOf(*this)->setSource(std::move(source)); }
void CellGrid::rebuild() { gridOf(*this)->rebuild(); }
void CellGrid::refreshCells() { gridOf(*this)->refreshCells(); }
void CellGrid::setFilter(std::string_view utf8) { gridOf(*this)->setFilter(utf8); }
std::string CellGrid::filter() const { return gridOf(*this)->filterText(); }
bool CellGrid::filtering() const { return gridOf(*this)->scanning(); }
std::size_t CellGrid::cellCount() const { return gridOf(*this)->cellCount(); }
std::size_t CellGrid::shownCount() const { return gridOf(*this)->shownCount(); }
long long CellGrid::shownCell(std::size_t position) const { return gridOf(*this)->shownCell(position); }
std::size_t CellGrid::firstVisible() const { return gridOf(*this)->firstVisible(); }
std::size_t CellGrid::endVisible() const { return gridOf(*this)->endVisible(); }

Rect CellGrid::cellRect(std::size_t position) const {
    const QRect r = gridOf(*this)->cellRect(position);
    return Rect{r.x(), r.y(), r.width(), r.height()};
}

long long CellGrid::currentCell() const { return gridOf(*this)->currentCell(); }
void CellGrid::setCurrentCell(long long cell) { gridOf(*this)->setCurrentCell(cell); }
long long CellGrid::takeActivatedCell() { return gridOf(*this)->takeActivated(); }
std::size_t CellGrid::selectedCount() const { return gridOf(*this)->selectedCount(); }
bool CellGrid::isSelected(std::size_t cell) const { return gridOf(*this)->isSelected(cell); }
std::vector<std::size_t> CellGrid::selectedCells() const { return gridOf(*this)->selectedCells(); }
void CellGrid::clearSelection() { gridOf(*this)->clearSelection(); }
int CellGrid::cellSize() const { return gridOf(*this)->cellSide(); }
void CellGrid::setCellSize(int side) { gridOf(*this)->setCellSide(side); }
void CellGrid::setDeleteKeyGadget(int gadget) { gridOf(*this)->setDeleteKeyGadget(gadget); }

std::size_t CellGrid::picturesPending() const {
    const detail::PictureCache* cache = gridOf(*this)->cache();
    return cache != nullptr ? cache->pending() : 0;
}

std::size_t CellGrid::picturesDecoded() const {
    const detail::PictureCache* cache = gridOf(*this)->cache();
    return cache != nullptr ? cache->decodesStarted() : 0;
}

std::size_t CellGrid::pictureBytes() const {
    const detail::PictureCache* cache = gridOf(*this)->cache();
    return cache != nullptr ? cache->bytes() : 0;
}

CellGrid& CellGridOf(const Gadgets& gadgets, int id) {
    Gadget* gadget = gadgets.find(id);
    if (gadget == nullptr || gadget->kind() != GadgetKind::CellGrid) {
        std::fprintf(stderr, "marquetor: gadget %d is not a cell grid\n", id);
        std::abort();
    }
    return static_cast<CellGrid&>(*gadget);
}

}  // namespace marquetor::platform
