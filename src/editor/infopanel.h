#pragma once
// The TileSet tab's account of the document, below the tile-size frames: the file it
// belongs to, whether it has unsaved changes, what it holds, and the problems in it.
//
// Kept cheap for large documents: the panel is brought up to date once a loop cycle, only
// while the TileSet tab is in front and only after a change; the unsaved-changes line
// compares the document's fingerprint (a walk over the tiles, two words each) unless the
// history is at the saved step. The longer work goes in slices into cycles that handled no
// event, a few milliseconds each, so it never delays what the user's action changed: the
// walk that looks for broken tiles (after a change to the tiles, materials or textures),
// then the decoding of each texture not seen before (once per record, by its serial).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "document/nameanswers.h"

namespace marquetor::editor {

struct Editor;

// Tiles that name a texture or material the tile set does not hold.
struct BrokenTiles {
    std::size_t count = 0;
    std::vector<std::int32_t> firstIds;   // the first few, in list order
    long long firstRow = -1;              // the first one's row in the tiles list
};

// Beside the parts of history.h: the file or its saved state changed (Save, Open).
inline constexpr unsigned kFileChanged = 16u;

enum class Problem { None, MissingTexture, MissingMaterial, TileSize, NoPicture, NoTextureFolder, Checking };

struct InfoPanel {
    unsigned dirty = ~0u;   // parts (history.h) changed since the panel was last up to date
    BrokenTiles missingTexture;
    BrokenTiles missingMaterial;
    // The walk over the tiles: done up to here, and the answers it found for their names.
    bool tilesPending = true;
    std::size_t nextTile = 0;
    document::NameAnswers textureNames;
    document::NameAnswers materialNames;
    // Whether a texture's bytes are a picture, by the texture's serial.
    std::unordered_map<std::uint64_t, bool> pictures;
    bool picturesPending = true;
    bool folderMissing = false;
    std::chrono::steady_clock::time_point folderCheckedAt{};
    std::vector<Problem> rows;   // what each row of the problem list is about
    std::vector<std::string> shownRows;
};

// The panel's gadgets, on the page of the TileSet tab (created while it is being built).
void CreateInfoPanel(Editor& ed);
// Once a cycle: brings the panel up to date when the TileSet tab is in front.
void UpdateInfoPanel(Editor& ed);
// After the document was replaced: everything is looked at again.
void ResetInfoPanel(Editor& ed);
// The problem list (37): a problem about tiles shows the Tiles tab with the first such
// tile selected.
void HandleProblemsGadget(Editor& ed);

// "18 bytes", "1.5 KB", "290.3 MB" (1 KB = 1024 bytes).
std::string SizeText(std::uint64_t bytes);

}  // namespace marquetor::editor
