#pragma once
// The .mrqt file: writer (writer.cpp) and reader (reader.cpp), over memory and over files.
// Plain C++, no GUI.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "../document/tileset.h"
#include "../fileio/replacefile.h"
#include "marquetor/tileset_export.h"

namespace marquetor::tilesetfile {

inline constexpr char kHeader[] = "0.50";

enum class LoadStatus {
    Ok,            // read whole
    Truncated,     // the data ended early; the document holds what was read
    NotATileSet,   // the first line is not "0.50"; the document is unchanged
    CannotOpen,    // the file could not be opened or read; the document is unchanged
};

struct LoadResult {
    LoadStatus status = LoadStatus::Ok;
    std::string message;   // short reason for anything but Ok
    // 1 when the file could be opened, whatever it contains; 0 otherwise.
    int code() const { return status == LoadStatus::Ok || status == LoadStatus::Truncated ? 1 : 0; }
};

// ok, or why not: the writer's own result.
using SaveResult = fileio::WriteResult;

// The document's whole saved form.
MARQUETOR_API std::vector<std::uint8_t> SaveTileSetToMemory(const document::TileSet& set);
// Writes through the file writer (fileio/replacefile.h): the file gets its whole new
// content or stays as it was.
MARQUETOR_API SaveResult SaveTileSet(const document::TileSet& set, const std::filesystem::path& path);

MARQUETOR_API LoadResult LoadTileSetFromMemory(document::TileSet& set, std::span<const std::uint8_t> data);
// Reads the file in blocks as it goes: texture bytes go straight into their own memory, and
// the file is never held whole beside the document. The same result as the bytes give from
// memory. A read error after the start leaves what was read (Truncated, with the reason).
MARQUETOR_API LoadResult LoadTileSet(document::TileSet& set, const std::filesystem::path& path);
// The same with the size of the blocks small records are read in (the tests use tiny blocks
// so that every item crosses a block boundary somewhere).
MARQUETOR_API LoadResult LoadTileSet(document::TileSet& set, const std::filesystem::path& path,
                                      std::size_t blockSize);
// The same from a descriptor that is already open (standard input), read from where it
// stands; `name` words the messages ("standard input"). The descriptor stays open.
MARQUETOR_API LoadResult LoadTileSetFromDescriptor(document::TileSet& set, int fd, std::string_view name);

}  // namespace marquetor::tilesetfile
