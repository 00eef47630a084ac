#pragma once
// Where a list view or a choice box reads its rows: a count and the bytes of each cell,
// asked for when the rows are shown, so a list of a million rows holds no copy of them and
// is rebuilt by reading the count again. Whoever owns the collection (the editor, over the
// document) implements it; the platform knows nothing of what the rows stand for.

#include <cstddef>
#include <string>
#include <string_view>

namespace marquetor::platform {

class RowSource {
public:
    virtual ~RowSource() = default;

    virtual std::size_t rowCount() const = 0;
    // The bytes of a cell (a choice box shows column 0). A row or column the source does not
    // hold (the collection shrank before the list was rebuilt) gives the empty text.
    virtual std::string cellText(std::size_t row, int column) const = 0;
    // The first row whose column 0 holds exactly these bytes, or -1. Reads row after row;
    // a source with an index of its own answers faster.
    virtual long long findRow(std::string_view bytes) const {
        const std::size_t n = rowCount();
        for (std::size_t row = 0; row < n; ++row)
            if (cellText(row, 0) == bytes) return static_cast<long long>(row);
        return -1;
    }
};

}  // namespace marquetor::platform
