#pragma once
// What the TileSet tab's account (infopanel.h) has found so far and what it still has to
// look at; the editor holds it, infopanel.cpp keeps it up to date.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "problems/problems.h"

namespace marquetor::editor {

// Tiles that name a texture or material the tile set does not hold.
struct BrokenTiles {
    std::size_t count = 0;
    std::vector<std::int32_t> firstIds;   // the first few, in list order
    long long firstRow = -1;              // the first one's row in the tiles list
};

enum class Problem {
    None, DataEndedEarly, MissingTexture, MissingMaterial, TileSize, NoPicture, NoTextureFolder, Checking
};

struct InfoPanel {
    unsigned dirty = ~0u;   // parts (command.h) changed since the panel was last up to date
    BrokenTiles missingTexture;
    BrokenTiles missingMaterial;
    // The walk over the tiles: done up to here, and the answers it found for their names.
    bool tilesPending = true;
    std::size_t nextTile = 0;
    problems::TileNames names;
    // Whether a texture's bytes are a picture, by the texture's serial.
    std::unordered_map<std::uint64_t, bool> pictures;
    bool picturesPending = true;
    bool folderMissing = false;
    std::chrono::steady_clock::time_point folderCheckedAt{};
    std::vector<Problem> rows;   // what each row of the problem list is about
    std::vector<std::string> shownRows;
};

}  // namespace marquetor::editor
