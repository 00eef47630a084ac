#pragma once
// The .mrqt file: writer (writer.cpp) and reader (reader.cpp), over memory and over files.
// Plain C++, no GUI.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
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

// Writes the document's saved form (the bytes SaveTileSet writes) to an open file a part at
// a time, so that a large document can be written between other work without a copy of it:
// each call goes on from where the last one stopped until the deadline has passed, and
// leaves nothing buffered. The document must not change between the calls; when it did,
// the caller starts again with a new writer and a new file.
class SliceWriter {
public:
    enum class Step { More, Done, Failed };
    explicit SliceWriter(const document::TileSet& set);
    ~SliceWriter();
    SliceWriter(const SliceWriter&) = delete;
    SliceWriter& operator=(const SliceWriter&) = delete;

    Step writeSome(int fd, std::chrono::steady_clock::time_point deadline);
    // The errno of the failure after Failed.
    int error() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

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
