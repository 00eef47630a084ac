#pragma once
// Tile sets to and from Tiled, the map editor: export as an image-collection tileset (TSX or
// JSON) with the texture files beside it, and import of Tiled tilesets (every format
// version from Tiled 1.0 on) and of plain images cut into a grid. Plain C++, no GUI: mrqt
// and the editor call the same entry points. docs/tiled.md tells how a tile set is written.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "document/tileset.h"
#include "fileio/readfile.h"

namespace marquetor::tiled {

// Input files (tilesets, images) larger than this are refused.
inline constexpr std::size_t kMaxInputBytes = std::size_t{256} << 20;
// An atlas is cut into at most this many cells (a 1 x 1 grid over a large picture would
// make a texture of every pixel).
inline constexpr std::int64_t kMaxCells = 1 << 20;

// ---- Import -------------------------------------------------------------------------------

struct ImportOptions {
    // For a plain image (PNG, JPEG, BMP, TGA): the cell size, which it needs, and the
    // margin around the cells and the spacing between them. A tileset file takes its own.
    int tileWidth = 0;
    int tileHeight = 0;
    int margin = 0;
    int spacing = 0;
    // Limits (the fuzz target lowers them so that each run stays cheap).
    std::int64_t maxPixels = 100'000'000;
    std::int64_t maxCells = kMaxCells;
};

enum class ImportStatus {
    Ok,        // the set holds the tileset (warnings may say what was cut or left out)
    Failed,    // nothing usable: `message` says why; the set is left as it was
};

struct ImportResult {
    ImportStatus status = ImportStatus::Failed;
    std::string message;                 // why it failed, for the user (no "mrqt: ")
    std::vector<std::string> warnings;   // one line each: what was cut, defaulted or left out
    bool ok() const { return status == ImportStatus::Ok; }
};

// What a file is, by its name's extension (letter case ignored).
enum class InputKind { Tsx, Json, Map, Image, Unknown };
InputKind KindOfPath(const std::filesystem::path& path);

// Reads files the tileset names (images); the import never opens a file any other way.
using FileSource = std::function<fileio::ReadResult(const std::filesystem::path&)>;

// Fills `set` (cleared first, tile group 1 made) from a Tiled tileset or an image file. Every
// check comes before the set is touched: a failed import leaves it as it was.
ImportResult ImportTileSet(const std::filesystem::path& in, const ImportOptions& options, document::TileSet& set);

// The same from bytes at hand: `in` is the file's name (its folder is where the images are
// looked for, its name without extension the fallback material), `kind` what the bytes are.
// Images are read through `files` only.
ImportResult ImportFromMemory(std::span<const std::uint8_t> bytes, InputKind kind, const std::filesystem::path& in,
                              const FileSource& files, const ImportOptions& options, document::TileSet& set);

// ---- Export -------------------------------------------------------------------------------

enum class ExportFormat { Tsx, Json };

struct ExportOptions {
    // Where the texture files go, relative to the tileset's folder (empty: beside it).
    std::filesystem::path imagesDir;
    // Textures Tiled cannot show are written as PNG files of the same pixels.
    bool png = false;
    // Tiled ids 0, 1, 2... in tile order, each tile keeping its ID in an "id" property.
    bool renumber = false;
};

struct ExportResult {
    bool ok = false;                     // false: refused or not written; `message` says why
    std::string message;
    std::vector<std::string> warnings;   // one line each
    bool incomplete = false;             // a tile was written without its picture
    bool idOutOfRange = false;           // refused for a tile ID that renumbering would take
    bool tiledCannotShow = false;        // a texture was written that Tiled will not show
};

// The format an output file name asks for (.tsx; .tsj or .json), if any.
std::optional<ExportFormat> FormatOfPath(const std::filesystem::path& out);

// Writes the set as a Tiled tileset at `out` and its textures as files, each through the
// crash-safe writer. Refusals (an ID Tiled cannot hold, a texture name that is no plain file
// name) write nothing.
ExportResult ExportTileSet(const document::TileSet& set, const std::filesystem::path& out, const ExportOptions& options);

// The tileset text alone, and the files to write beside it (relative path -> bytes), for
// tests and tools; the same checks as ExportTileSet.
struct ExportedFiles {
    std::string tileset;
    std::vector<std::pair<std::filesystem::path, std::vector<std::uint8_t>>> images;
};
ExportResult ExportToMemory(const document::TileSet& set, const std::string& name, ExportFormat format,
                            const ExportOptions& options, ExportedFiles& files);

// The colour a material made by an import gets when the tileset gives none: taken from a
// hash of its name, the same on every run (a mid-bright, half-saturated hue).
std::int32_t ColorForName(std::string_view name);

}  // namespace marquetor::tiled
