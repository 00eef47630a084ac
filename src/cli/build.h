#pragma once
// mrqt build: a tile set from the JSON that `mrqt dump` prints and the texture files that
// `mrqt extract` writes.

#include <filesystem>
#include <string>
#include <string_view>

#include "document/tileset.h"

namespace marquetor::cli {

struct BuildOptions {
    // Take each texture file as it is, even when its bytes no longer match the "sha256" and
    // "size" the JSON gives (a texture re-exported by an artist).
    bool ignoreSha256 = false;
};

struct BuildResult {
    bool ok = false;
    std::string message;   // why not, naming the record: `texture "rock.png": ...`
};

// Fills an empty `set` from the JSON text, taking each texture's bytes from
// texturesDir/name. The records are entered as a load enters a file's records, in the order
// listed, so the saved form of a dumped file is that file again. On failure the set may hold
// part of the records and must not be saved.
BuildResult BuildTileSet(std::string_view json, const std::filesystem::path& texturesDir, const BuildOptions& options,
                         document::TileSet& set);

}  // namespace marquetor::cli
