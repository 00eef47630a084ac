#include "editor/listsources.h"

#include "document/text.h"

namespace marquetor::editor {

std::size_t TileRows::rowCount() const {
    const document::TileGroup* group = document::LookUpTileGroup(m_doc, document::kTileGroup);
    return group ? group->tiles.size() : 0;
}

std::string TileRows::cellText(std::size_t row, int column) const {
    const document::TileGroup* group = document::LookUpTileGroup(m_doc, document::kTileGroup);
    if (group == nullptr || row >= group->tiles.size()) return {};
    const document::Tile& tile = group->tiles.at(row);
    switch (column) {
    case 0: return document::NumberToText(tile.id);
    case 1: return tile.texture.str();
    case 2: return tile.material.str();
    case 3: return document::NumberToText(tile.layer);
    case 4: return document::NumberToText(tile.collision);
    default: return {};
    }
}

std::size_t MaterialRows::rowCount() const { return m_doc.materials.size(); }

std::string MaterialRows::cellText(std::size_t row, int column) const {
    if (row >= m_doc.materials.size()) return {};
    const document::Material& material = m_doc.materials.at(row);
    switch (column) {
    case 0: return material.name;
    case 1: return document::ColorText(material.color);
    default: return {};
    }
}

long long MaterialRows::findRow(std::string_view name) const {
    const document::Material* material = document::FindMaterial(m_doc, name);
    return material ? m_doc.materials.indexOf(material) : -1;
}

std::vector<std::size_t> MaterialRows::longestRows(std::size_t count) const {
    platform::LongestRows longest(count);
    const auto& materials = m_doc.materials.items();
    for (std::size_t row = 0; row < materials.size(); ++row) longest.see(row, materials[row]->name.size());
    return longest.rows();
}

std::size_t TextureRows::rowCount() const { return m_doc.textures.size(); }

std::string TextureRows::cellText(std::size_t row, int column) const {
    const document::Texture* texture = column == 0 ? m_doc.textures.at(row) : nullptr;
    return texture ? texture->name : std::string();
}

long long TextureRows::findRow(std::string_view name) const { return m_doc.textures.positionOf(name); }

std::vector<std::size_t> TextureRows::longestRows(std::size_t count) const {
    platform::LongestRows longest(count);
    std::size_t row = 0;
    m_doc.textures.forEach([&](const document::Texture& texture) { longest.see(row++, texture.name.size()); });
    return longest.rows();
}

}  // namespace marquetor::editor
