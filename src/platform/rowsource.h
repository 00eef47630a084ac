#pragma once
// Where a list view or a choice box reads its rows: a count and the bytes of each cell,
// asked for when the rows are shown, so a list of a million rows holds no copy of them and
// is rebuilt by reading the count again. Whoever owns the collection (the editor, over the
// document) implements it; the platform knows nothing of what the rows stand for.

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
    // Rows whose column 0 holds the longest texts, at most `count` of them, longest first.
    // A drop-down list is made as wide as the widest of these, measured one by one, instead
    // of measuring every entry (seconds for a million). The default knows none, and the
    // list stays as wide as its box; a source that finds them without making every text
    // (from the lengths of its names) says which.
    virtual std::vector<std::size_t> longestRows(std::size_t count) const {
        (void)count;
        return {};
    }
};

// The rows of the longest texts among those it is shown, for RowSource::longestRows.
class LongestRows {
public:
    explicit LongestRows(std::size_t count) : m_count(count) {}
    void see(std::size_t row, std::size_t length) {
        if (m_count == 0) return;
        if (m_kept.size() < m_count) {
            m_kept.emplace_back(length, row);
            if (m_kept.size() == m_count) findShortest();
            return;
        }
        if (length <= m_kept[m_shortest].first) return;
        m_kept[m_shortest] = {length, row};
        findShortest();
    }
    std::vector<std::size_t> rows() const {
        std::vector<std::pair<std::size_t, std::size_t>> kept = m_kept;
        // Longest first; of equal lengths the earlier row.
        std::sort(kept.begin(), kept.end(), [](const auto& a, const auto& b) {
            return a.first != b.first ? a.first > b.first : a.second < b.second;
        });
        std::vector<std::size_t> out;
        out.reserve(kept.size());
        for (const auto& k : kept) out.push_back(k.second);
        return out;
    }

private:
    void findShortest() {
        m_shortest = 0;
        for (std::size_t i = 1; i < m_kept.size(); ++i)
            if (m_kept[i].first < m_kept[m_shortest].first) m_shortest = i;
    }
    std::size_t m_count;
    std::vector<std::pair<std::size_t, std::size_t>> m_kept;   // (length, row)
    std::size_t m_shortest = 0;
};

}  // namespace marquetor::platform
