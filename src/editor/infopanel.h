#pragma once
// The TileSet tab's account of the document, below the tile-size frames: the file it
// belongs to, whether it has unsaved changes, what it holds, and the problems in it.
//
// Kept cheap for large documents: the panel is brought up to date once a loop cycle, only
// while the TileSet tab is in front and only after a change; the unsaved-changes line
// compares the document's fingerprint (a walk over the tiles, two words each); the walk
// that looks for broken tiles runs only after a change to the tiles, materials or
// textures; each texture is decoded once per record (its serial), a few milliseconds'
// worth per cycle.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

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
