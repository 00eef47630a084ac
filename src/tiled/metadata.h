#pragma once
// The names under which an export keeps what Tiled has no place for, in custom properties
// of the tileset and of its tiles (docs/tiled.md describes them for pipeline authors).

#include <string_view>

namespace marquetor::tiled::keys {

// Tileset properties.
inline constexpr std::string_view kFormat = "marquetor.format";           // int, 1
inline constexpr std::string_view kTileWidth = "marquetor.tilewidth";     // int: the set's tile size
inline constexpr std::string_view kTileHeight = "marquetor.tileheight";
inline constexpr std::string_view kMaterials = "marquetor.materials";     // string: JSON array, in order
inline constexpr std::string_view kTextures = "marquetor.textures";       // string: JSON array, in order
inline constexpr std::string_view kTileOrder = "marquetor.tileorder";     // string: ids, when not ascending

// Tile properties.
inline constexpr std::string_view kMaterial = "material";
inline constexpr std::string_view kTexture = "texture";
inline constexpr std::string_view kLayer = "layer";
inline constexpr std::string_view kCollision = "collision";
inline constexpr std::string_view kId = "id";
// "<key>Encoding" beside a text that needed one (tiled/texts.h).
inline constexpr std::string_view kEncodingSuffix = "Encoding";

inline constexpr int kFormatVersion = 1;

}  // namespace marquetor::tiled::keys
