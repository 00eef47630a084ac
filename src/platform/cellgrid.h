#pragma once
// A grid of cells, each a picture with a strip and a line or two of text under it, read
// from a cell source as the cells are shown: rows wrap to the gadget's width, the cell size
// zooms from 32 to 256 pixels (Ctrl+wheel, or the window's zoom keys), several cells can be
// selected (click, Ctrl+click, Shift+click, a dragged rectangle, Ctrl+A, the arrow keys
// with Shift) and one is current (framed).
//
// A filter shows only the cells whose texts hold its text. It scans the source in slices of
// a few milliseconds on the main thread, between the loop's cycles, so a keystroke never
// waits for a million cells; the cells shown change when the scan is complete. A filter
// typed further looks only at the cells the shorter one found.
//
// Every change the user makes (a click, a key, the rubber band) raises the gadget's event;
// the program's own changes raise none. Memory: a bit per cell for the selection and, while
// a filter is set, four bytes per shown cell (eight while a scan runs); no object per cell.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cellsource.h"
#include "platform/gadgets.h"

namespace marquetor::platform {

class CellGrid : public Gadget {
public:
    using Gadget::Gadget;
    static constexpr int kMinCellSize = 32;
    static constexpr int kMaxCellSize = 256;

    // Reads from this source from now on, and rebuilds.
    void setSource(std::unique_ptr<CellSource> source);
    // The cells may have moved or changed in number: the count is read again, nothing is
    // selected or current afterwards, a filter scans again.
    void rebuild();
    // The same cells show new contents (texts, pictures, strips): repainted, a filter scans
    // again, the selection and the current cell stay.
    void refreshCells();

    // The filter's text as typed (UTF-8); empty shows every cell.
    void setFilter(std::string_view utf8);
    std::string filter() const;
    // Whether a filter's scan is still running (the cells shown are those of the filter
    // before it).
    bool filtering() const;

    std::size_t cellCount() const;
    std::size_t shownCount() const;
    // The cell shown at a position (left to right, top to bottom), -1 past the end.
    long long shownCell(std::size_t position) const;
    // The shown positions now on screen: [first, last).
    std::size_t firstVisible() const;
    std::size_t endVisible() const;
    // Where the cell at a shown position is, relative to the gadget's viewport (empty when
    // there is no such position).
    Rect cellRect(std::size_t position) const;

    // The framed cell, -1 for none.
    long long currentCell() const;
    // Frames the cell, selects it alone and scrolls it into view; -1 takes the frame away
    // (the selection stays). No event.
    void setCurrentCell(long long cell);
    // The cell the user last clicked or moved to with a key, once: -1 afterwards, and when
    // the user's last change was to the selection only (a rectangle, Ctrl+A).
    long long takeActivatedCell();

    std::size_t selectedCount() const;
    bool isSelected(std::size_t cell) const;
    // The selected cells in order (a filter leaves only shown cells selected).
    std::vector<std::size_t> selectedCells() const;
    void clearSelection();

    int cellSize() const;
    // Limited to 32 .. 256 pixels.
    void setCellSize(int side);
    // The Delete key pressed in the grid raises this gadget's event (0: nothing).
    void setDeleteKeyGadget(int gadget);

    // Pictures asked for and not decoded yet (tests and benchmarks wait for them), and the
    // decodes started so far by the grid's window.
    std::size_t picturesPending() const;
    std::size_t picturesDecoded() const;
    // The bytes of the decoded pictures the window keeps (at most 128 MiB).
    std::size_t pictureBytes() const;
};

// The cell grid of that identifier; aborts when the identifier is another kind.
CellGrid& CellGridOf(const Gadgets& gadgets, int id);

}  // namespace marquetor::platform
