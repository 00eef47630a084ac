#pragma once
// The commands of `mrqt`, the command-line companion: dump, build, check, resave, extract.

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "document/tileset.h"

namespace marquetor::cli {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;   // not opened, not a tile set, not saved, skipped, or check found something
inline constexpr int kExitUsage = 2;

// Runs mrqt on its arguments (without the program name). Results go to out, messages to
// err; "-" as an input is standard input (descriptor 0). Returns the exit status.
int RunMrqt(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The document as one JSON object: tile size, materials, textures (with the SHA-256 of their
// bytes) and the tiles of group 1, each list in document order, one record per line.
void WriteDocumentJson(const document::TileSet& set, std::ostream& out);

// A name that can be used as a file inside a folder: not empty, not "." or "..", and
// without "/", "\" or a zero byte.
bool IsPlainFileName(std::string_view name);

}  // namespace marquetor::cli
