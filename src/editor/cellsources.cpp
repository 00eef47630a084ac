#include "editor/cellsources.h"

#include "document/text.h"
#include "editor/infopanel.h"

namespace marquetor::editor {

namespace {

// A line of a tooltip: its title, then the text as UTF-8 (a name in Windows-1252 among
// UTF-8 ones would otherwise turn the whole tooltip to Windows-1252).
void addLine(std::string& out, const char* title, std::string_view bytes, bool missing = false) {
    if (!out.empty()) out += '\n';
    out += title;
    out += document::BytesToUtf8(bytes);
    if (missing) out += " (not in the tile set)";
}

}  // namespace

bool FilterAnswers::matches(const document::SharedText& text, const platform::TextMatcher& matcher) {
    if (matcher.serial() != m_serial || m_slots.empty()) {
        // A new scan: the document or the filter may have changed since the last one.
        m_slots.assign(kSlots, Slot{});
        m_serial = matcher.serial();
    }
    // By the address of the text's bytes, which costs no look at them: the slot keeps its
    // text, so no other text can take that address while the answer is there. Equal texts
    // at other addresses (tiles that share nothing) are answered again, rightly.
    const auto address = reinterpret_cast<std::uintptr_t>(text.data());
    Slot& slot = m_slots[static_cast<std::size_t>((address >> 3) * 0x9E3779B97F4A7C15ull >> 52) & (kSlots - 1)];
    if (slot.used && slot.text.sharesWith(text)) return slot.answer;
    slot.text = text;
    slot.used = true;
    slot.answer = matcher.matches(text.view());
    return slot.answer;
}

std::span<const std::uint8_t> TextureBytesBySerial(const document::TileSet& doc, std::uint64_t serial) {
    std::span<const std::uint8_t> bytes;
    doc.textures.forEach([&](const document::Texture& texture) {
        if (texture.serial == serial) bytes = texture.data();
    });
    return bytes;
}

// ---- Tiles ----

const document::Tile* TileCells::tileAt(std::size_t cell) const {
    const document::TileGroup* group = document::LookUpTileGroup(m_doc, document::kTileGroup);
    if (group == nullptr || cell >= group->tiles.size()) return nullptr;
    return &group->tiles.at(cell);
}

std::size_t TileCells::cellCount() const {
    const document::TileGroup* group = document::LookUpTileGroup(m_doc, document::kTileGroup);
    return group ? group->tiles.size() : 0;
}

std::string TileCells::caption(std::size_t cell, int line) const {
    const document::Tile* tile = tileAt(cell);
    return tile != nullptr && line == 0 ? document::NumberToText(tile->id) : std::string();
}

std::string TileCells::tooltip(std::size_t cell) const {
    const document::Tile* tile = tileAt(cell);
    if (tile == nullptr) return {};
    std::string text = "ID: " + document::NumberToText(tile->id);
    addLine(text, "Texture: ", tile->texture, m_doc.textures.find(tile->texture) == nullptr);
    addLine(text, "Material: ", tile->material, document::FindMaterial(m_doc, tile->material) == nullptr);
    addLine(text, "Layer: ", document::NumberToText(tile->layer));
    addLine(text, "Collision: ", document::NumberToText(tile->collision));
    return text;
}

platform::CellLook TileCells::look(std::size_t cell) const {
    platform::CellLook look;
    const document::Tile* tile = tileAt(cell);
    if (tile == nullptr) return look;
    if (const document::Texture* texture = m_doc.textures.find(tile->texture)) look.picture = texture->serial;
    if (const document::Material* material = document::FindMaterial(m_doc, tile->material)) {
        look.strip = platform::CellLook::Strip::Color;
        look.stripColor = material->color;
    } else {
        look.strip = platform::CellLook::Strip::Missing;
    }
    return look;
}

std::span<const std::uint8_t> TileCells::pictureBytes(std::uint64_t key) const {
    return TextureBytesBySerial(m_doc, key);
}

bool TileCells::tileMatches(const document::Tile& tile, const platform::TextMatcher& matcher) const {
    return matcher.matchesNumber(tile.id) || m_textureAnswers.matches(tile.texture, matcher) ||
           m_materialAnswers.matches(tile.material, matcher);
}

bool TileCells::matches(std::size_t cell, const platform::TextMatcher& matcher) const {
    const document::Tile* tile = tileAt(cell);
    return tile != nullptr && tileMatches(*tile, matcher);
}

void TileCells::findMatches(std::size_t first, std::size_t last, const platform::TextMatcher& matcher,
                            std::vector<std::uint32_t>& out) const {
    const document::TileGroup* group = document::LookUpTileGroup(m_doc, document::kTileGroup);
    if (group == nullptr) return;
    const auto& tiles = group->tiles.items();
    last = std::min(last, tiles.size());
    constexpr std::size_t kAhead = 16;   // the tiles are records of their own: fetched early
    for (std::size_t cell = first; cell < last; ++cell) {
        if (cell + kAhead < last) __builtin_prefetch(tiles[cell + kAhead].get());
        if (tileMatches(*tiles[cell], matcher)) out.push_back(static_cast<std::uint32_t>(cell));
    }
}

// ---- Textures ----

std::size_t TextureCells::cellCount() const { return m_doc.textures.size(); }

std::string TextureCells::caption(std::size_t cell, int line) const {
    const document::Texture* texture = m_doc.textures.at(cell);
    if (texture == nullptr) return {};
    if (line == 0) return texture->name;
    if (line == 1) return SizeText(static_cast<std::uint64_t>(std::max(texture->size, 0)));
    return {};
}

std::string TextureCells::tooltip(std::size_t cell) const {
    const document::Texture* texture = m_doc.textures.at(cell);
    if (texture == nullptr) return {};
    std::string text;
    addLine(text, "Name: ", texture->name);
    const auto bytes = static_cast<std::uint64_t>(std::max(texture->size, 0));
    std::string size = SizeText(bytes);
    if (bytes >= 1024) size += " (" + document::NumberToText(static_cast<std::int64_t>(bytes)) + " bytes)";
    addLine(text, "Size: ", size);
    return text;
}

platform::CellLook TextureCells::look(std::size_t cell) const {
    platform::CellLook look;
    if (const document::Texture* texture = m_doc.textures.at(cell)) look.picture = texture->serial;
    return look;
}

std::span<const std::uint8_t> TextureCells::pictureBytes(std::uint64_t key) const {
    return TextureBytesBySerial(m_doc, key);
}

bool TextureCells::matches(std::size_t cell, const platform::TextMatcher& matcher) const {
    const document::Texture* texture = m_doc.textures.at(cell);
    return texture != nullptr && matcher.matches(texture->name);
}

void TextureCells::findMatches(std::size_t first, std::size_t last, const platform::TextMatcher& matcher,
                               std::vector<std::uint32_t>& out) const {
    // One walk in the textures' order instead of a look-up per cell.
    std::size_t cell = 0;
    m_doc.textures.forEach([&](const document::Texture& texture) {
        if (cell >= first && cell < last && matcher.matches(texture.name)) out.push_back(static_cast<std::uint32_t>(cell));
        ++cell;
    });
}

}  // namespace marquetor::editor
