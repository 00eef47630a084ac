#pragma once
// Where a cell grid reads its cells: a count, and for each cell the texts under its picture
// and in its tooltip, the key of its picture, a colour strip, and whether it matches a
// filter; asked for when a cell is shown (or scanned by a filter), so a grid of a million
// cells holds no copy of them. Whoever owns the collection (the editor, over the document)
// implements it; the platform knows nothing of what the cells stand for.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace marquetor::platform {

// A filter's text, and the rule a cell's texts are matched by: the text holds it, ignoring
// letter case. Texts are the document's bytes, read as UTF-8 or, where they are no valid
// UTF-8, as Windows-1252, as the gadgets show them.
class TextMatcher {
public:
    // The empty filter: every text matches.
    TextMatcher() = default;
    // `utf8` as typed. `serial` tells one scan from the next: a source that remembers
    // answers per text keeps them for one serial only.
    TextMatcher(std::string_view utf8, std::uint64_t serial);

    bool empty() const { return m_folded.empty(); }
    const std::string& text() const { return m_text; }
    std::uint64_t serial() const { return m_serial; }

    // Whether the bytes hold the filter's text, ignoring letter case.
    bool matches(std::string_view bytes) const;
    // Whether the decimal text of a number holds it (a filter of letters never does).
    bool matchesNumber(std::int64_t value) const;
    // Whether every text this matcher accepts is accepted by `wider` too (the filter's
    // text holds wider's): a filter typed further only needs to look at what wider found.
    bool narrows(const TextMatcher& wider) const;

private:
    std::string m_text;     // as typed
    std::string m_folded;   // lower case: ASCII letters, or Unicode case folding (UTF-8)
    bool m_ascii = true;
    bool m_number = false;  // digits and "-" only
    std::uint64_t m_serial = 0;
};

struct CellLook {
    // The picture's key (a texture's serial number): the same key is the same picture. 0:
    // the cell has none (its picture is missing), and shows a placeholder for it.
    std::uint64_t picture = 0;
    enum class Strip : std::uint8_t { None, Color, Missing };
    // A strip along the picture's bottom edge: a colour, or hatched for a colour missing.
    Strip strip = Strip::None;
    std::int32_t stripColor = 0;   // red bits 0-7, green 8-15, blue 16-23
};

class CellSource {
public:
    virtual ~CellSource() = default;

    virtual std::size_t cellCount() const = 0;
    // Lines of text under each picture (the same for every cell), and whether cells have a
    // strip under the picture.
    virtual int captionLines() const { return 1; }
    virtual bool hasStrip() const { return false; }

    // A cell the source does not hold (the collection shrank before the grid was told)
    // gives empty texts, no picture and no match.
    virtual std::string caption(std::size_t cell, int line) const = 0;
    // Every text of the cell, one per line, for its tooltip.
    virtual std::string tooltip(std::size_t cell) const = 0;
    virtual CellLook look(std::size_t cell) const = 0;
    // The encoded bytes of a picture by its key, as stored (PNG, JPEG, BMP, TGA); empty when
    // no cell has that picture any more. Asked on the main thread; the grid decodes a copy
    // elsewhere.
    virtual std::span<const std::uint8_t> pictureBytes(std::uint64_t key) const = 0;

    virtual bool matches(std::size_t cell, const TextMatcher& matcher) const = 0;
    // Appends the cells of [first, last) that match, in order. A source that can walk its
    // collection faster than cell by cell does so.
    virtual void findMatches(std::size_t first, std::size_t last, const TextMatcher& matcher,
                             std::vector<std::uint32_t>& out) const {
        for (std::size_t cell = first; cell < last; ++cell)
            if (matches(cell, matcher)) out.push_back(static_cast<std::uint32_t>(cell));
    }
};

}  // namespace marquetor::platform
