#pragma once
// Taking records out of the document and putting them back where they stood, putting a
// list back into an order it had, and swapping the whole content out: what undo and redo
// need. A record put back is the same record (same address; a texture keeps its serial),
// so a document restored this way is the document it was, and its fingerprint too.
//
// The operations trust the caller about the document's state: positions and orders are
// meant to come from the same document, one step earlier. They refuse (and change
// nothing) where a wrong call could break an index.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "document/tileset.h"

namespace marquetor::document {

// --- Materials ---------------------------------------------------------------------------

// Takes the material at a position out of the list and its name out of the index, as
// DeleteMaterial would remove it (the cursor moves to the record before it). Null, with
// nothing changed, for a position outside the list.
std::unique_ptr<Material> TakeMaterial(TileSet& set, std::size_t position);
// Puts a material in at a position (the end when the position is past it), enters its name
// and makes it the cursor. False, with nothing changed, when its name is taken.
bool PutMaterial(TileSet& set, std::size_t position, std::unique_ptr<Material> material);
// The records in list order.
std::vector<Material*> MaterialOrder(const TileSet& set);
// The records in the order SortMaterials would give them, the list left as it is.
std::vector<Material*> SortedMaterialOrder(const TileSet& set);
// Reorders the list into an order of the same records (as MaterialOrder gave it); the
// cursor stays where it was by position. False, with nothing changed, when the order does
// not have as many records as the list.
bool ReorderMaterials(TileSet& set, std::span<Material* const> order);

// --- Textures ----------------------------------------------------------------------------

// A texture out of the map, with its place in its bucket.
struct TakenTexture {
    std::unique_ptr<Texture> record;   // null when nothing was taken
    std::size_t slot = 0;              // position in its bucket, counted from the oldest
};

// Takes a texture out of the map (as DeleteTexture removes it, but the record lives on).
TakenTexture TakeTexture(TileSet& set, std::string_view name);
// Puts a taken texture back at its place in its bucket, serial and bytes as they were.
// False, with nothing changed, when its name is present. A record no map has held yet
// (serial 0, as ReadTextureFile makes it) gets the map's next serial; with a slot past the
// end of its bucket it goes in as the newest of the bucket, where AddTexture would put it.
bool PutTextureBack(TileSet& set, TakenTexture& taken);
// Bytes held by all textures of a map.
std::size_t TextureBytes(const TextureMap& textures);

// --- Tiles -------------------------------------------------------------------------------

// Takes the tile at a position out of the list and its ID out of the index, as DeleteTile
// would remove it. Null for a position outside the list.
std::unique_ptr<Tile> TakeTile(TileGroup& group, std::size_t position);
// Puts a tile in at a position (the end when past it), enters its ID and makes it the
// cursor. False, with nothing changed, when its ID is taken.
bool PutTile(TileGroup& group, std::size_t position, std::unique_ptr<Tile> tile);
std::vector<Tile*> TileOrder(const TileGroup& group);
// The records in the order SortTiles would give them (signed ID order), the list left as
// it is; a few passes over memory, as SortTiles.
std::vector<Tile*> SortedTileOrder(const TileGroup& group);
bool ReorderTiles(TileGroup& group, std::span<Tile* const> order);

// Many tiles at once, each in one pass over the list whatever their number (taking a
// thousand tiles one by one out of the middle of a million would move the rest a thousand
// times). Positions are strictly ascending.
//
// Takes the tiles at these positions out of the list and their IDs out of the index, in
// list order; the cursor moves to the record before the first of them. Nothing is taken
// (an empty result) when a position is outside the list or out of order.
std::vector<std::unique_ptr<Tile>> TakeTiles(TileGroup& group, std::span<const std::size_t> positions);
// Puts tiles back so that each stands at its position afterwards (the positions TakeTiles
// took them from), enters their IDs and makes the first the cursor. False, with nothing
// changed, when the counts differ, a position is out of order or past the end, or an ID is
// taken; the tiles stay with the caller then.
bool PutTilesBack(TileGroup& group, std::span<const std::size_t> positions, std::vector<std::unique_ptr<Tile>>& tiles);

// The fields of a tile that Update changes. The names are the tile's own shared texts, so
// keeping them costs no copy.
struct TileValues {
    SharedText texture;
    SharedText material;
    std::int16_t layer = 0;
    std::int16_t collision = 0;
    bool operator==(const TileValues&) const = default;
};
TileValues ValuesOf(const Tile& tile);
void SetValues(Tile& tile, const TileValues& values);

// --- The whole content -------------------------------------------------------------------

// Everything a file holds: the tile size, the materials, the textures and the tiles of one
// group. Made empty; filled by SwapContent.
struct TileSetContent {
    std::int32_t tileWidth = 0;
    std::int32_t tileHeight = 0;
    OrderedList<Material> materials;
    MaterialIndex materialIndex;
    TextureMap textures;
    OrderedList<Tile> tiles;
    TileIndex tileIndex;
};

// Exchanges the document's content (tile size, materials, textures, the tiles of the group)
// with a held one, moving records, never copying them. The group record itself stays, and
// so does the texture map's serial counter, so a texture entered later never takes the
// serial of one that is held. Nothing happens when the group does not exist.
void SwapContent(TileSet& set, std::int32_t groupId, TileSetContent& content);

}  // namespace marquetor::document
