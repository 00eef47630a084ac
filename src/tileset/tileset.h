#pragma once
// Marquetor's tile sets for games: everything a game needs to read a .mrqt file and walk
// what it holds, in one include. Link Marquetor::TileSet (CMake) or marquetor-tileset
// (pkg-config); compile as C++20.
//
//     marquetor::document::TileSet set;
//     auto loaded = marquetor::tilesetfile::LoadTileSet(set, "Data/TileSets/level.mrqt");
//     if (loaded.code() == 0) fail(loaded.message);          // not opened, or not a tile set
//     for (const auto& m : set.materials.items()) use(m->name, m->color);
//     set.textures.forEach([](const auto& t) { use(t.name, t.data()); });
//     if (auto* group = marquetor::document::LookUpTileGroup(set, marquetor::document::kTileGroup))
//         for (const auto& t : group->tiles.items()) use(t->id, t->texture, t->material);
//
// A file holds its tiles in group 1 (document::kTileGroup). Names are bytes, compared byte
// for byte; a tile's texture and material are names that FindTexture and FindMaterial look
// up, and an ID is looked up in group->tileIndex.
#include "tilesetfile/format.h"
