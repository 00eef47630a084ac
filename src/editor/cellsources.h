#pragma once
// What the tile palette's pages show, read from the document when a cell is shown or a
// filter scans: the tiles in the Tiles list's order (the ID under the texture's picture,
// the material's colour as a strip), and the textures in the Textures list's order (the
// picture, the name and the size). Nothing is copied: a change makes the pages read the
// count again. A picture's key is its texture's serial, so every tile naming a texture
// shares one decoded picture per cell size.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "document/sharedtext.h"
#include "document/tileset.h"
#include "platform/cellsource.h"

namespace marquetor::editor {

// Whether texts hold a filter's text, remembered for one scan per shared text: the tiles
// of a large set name a few thousand texts between them. A fixed number of slots, so the
// memory is the same however many texts the tiles hold.
class FilterAnswers {
public:
    bool matches(const document::SharedText& text, const platform::TextMatcher& matcher);

private:
    struct Slot {
        document::SharedText text;   // kept, so the slot's text is the one it answered for
        bool used = false;
        bool answer = false;
    };
    static constexpr std::size_t kSlots = 4096;
    std::vector<Slot> m_slots;
    std::uint64_t m_serial = 0;
};

class TileCells final : public platform::CellSource {
public:
    explicit TileCells(const document::TileSet& doc) : m_doc(doc) {}
    std::size_t cellCount() const override;
    bool hasStrip() const override { return true; }
    // The ID.
    std::string caption(std::size_t cell, int line) const override;
    // ID, texture, material, layer and collision, a line each; a missing texture or
    // material says so.
    std::string tooltip(std::size_t cell) const override;
    platform::CellLook look(std::size_t cell) const override;
    std::span<const std::uint8_t> pictureBytes(std::uint64_t key) const override;
    // The ID, the texture name or the material name holds the filter's text.
    bool matches(std::size_t cell, const platform::TextMatcher& matcher) const override;
    void findMatches(std::size_t first, std::size_t last, const platform::TextMatcher& matcher,
                     std::vector<std::uint32_t>& out) const override;

private:
    const document::Tile* tileAt(std::size_t cell) const;
    bool tileMatches(const document::Tile& tile, const platform::TextMatcher& matcher) const;

    const document::TileSet& m_doc;
    mutable FilterAnswers m_textureAnswers;
    mutable FilterAnswers m_materialAnswers;
};

class TextureCells final : public platform::CellSource {
public:
    explicit TextureCells(const document::TileSet& doc) : m_doc(doc) {}
    std::size_t cellCount() const override;
    // The name, then the size ("1.5 KB").
    int captionLines() const override { return 2; }
    std::string caption(std::size_t cell, int line) const override;
    std::string tooltip(std::size_t cell) const override;
    platform::CellLook look(std::size_t cell) const override;
    std::span<const std::uint8_t> pictureBytes(std::uint64_t key) const override;
    // The name holds the filter's text.
    bool matches(std::size_t cell, const platform::TextMatcher& matcher) const override;
    void findMatches(std::size_t first, std::size_t last, const platform::TextMatcher& matcher,
                     std::vector<std::uint32_t>& out) const override;

private:
    const document::TileSet& m_doc;
};

// The bytes of the texture with this serial, empty when the set holds none.
std::span<const std::uint8_t> TextureBytesBySerial(const document::TileSet& doc, std::uint64_t serial);

}  // namespace marquetor::editor
