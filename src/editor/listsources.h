#pragma once
// What the editor's lists and choice boxes show, read from the document when a row is
// shown: a rebuild after a change reads the count again and copies nothing, so it costs
// the same for ten tiles and for a million. Each list holds one of these over the session's
// one document.

#include <string>
#include <string_view>
#include <vector>

#include "document/tileset.h"
#include "platform/rowsource.h"

namespace marquetor::editor {

// The tiles of the tile group in list order: ID, texture, material, layer, collision (decimal).
class TileRows final : public platform::RowSource {
public:
    explicit TileRows(const document::TileSet& doc) : m_doc(doc) {}
    std::size_t rowCount() const override;
    std::string cellText(std::size_t row, int column) const override;

private:
    const document::TileSet& m_doc;
};

// The materials in document order: the name, then the colour ("R255 G128 B0"). The
// material choice box shows the names.
class MaterialRows final : public platform::RowSource {
public:
    explicit MaterialRows(const document::TileSet& doc) : m_doc(doc) {}
    std::size_t rowCount() const override;
    std::string cellText(std::size_t row, int column) const override;
    long long findRow(std::string_view name) const override;   // through the name index
    std::vector<std::size_t> longestRows(std::size_t count) const override;   // by the names' lengths

private:
    const document::TileSet& m_doc;
};

// The texture names in the texture map's iteration order.
class TextureRows final : public platform::RowSource {
public:
    explicit TextureRows(const document::TileSet& doc) : m_doc(doc) {}
    std::size_t rowCount() const override;
    std::string cellText(std::size_t row, int column) const override;
    long long findRow(std::string_view name) const override;   // through the texture map
    std::vector<std::size_t> longestRows(std::size_t count) const override;

private:
    const document::TileSet& m_doc;
};

}  // namespace marquetor::editor
