// Feeds arbitrary text to mrqt build as its JSON. A refusal says why; a tile set it builds is
// sound, and its dump builds the very same file again (texts that are not UTF-8 included).
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

#include <unistd.h>

#include "cli/build.h"
#include "cli/commands.h"
#include "tilesetfile/format.h"

using namespace marquetor;
namespace fs = std::filesystem;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

// The texture files the JSON may name: a.png and b.tga (in different buckets of the map,
// so the order the dump lists them in is the order they were added in).
const fs::path& textureFolder() {
    static const fs::path folder = [] {
        const fs::path dir = fs::temp_directory_path() / ("fuzz_build-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        std::ofstream(dir / "a.png", std::ios::binary) << "\x89PNG\r\n\x1a\n";
        std::ofstream(dir / "b.tga", std::ios::binary) << "tga";
        return dir;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view json(reinterpret_cast<const char*>(data), size);
    document::TileSet set;
    const cli::BuildResult built = cli::BuildTileSet(json, textureFolder(), {}, set);
    if (!built.ok) {
        check(!built.message.empty() && built.message.find('\n') == std::string::npos);
        return 0;
    }
    const std::vector<std::uint8_t> saved = tilesetfile::SaveTileSetToMemory(set);
    std::ostringstream dump;
    cli::WriteDocumentJson(set, dump);
    document::TileSet again;
    const cli::BuildResult rebuilt = cli::BuildTileSet(dump.str(), textureFolder(), {}, again);
    check(rebuilt.ok);
    check(tilesetfile::SaveTileSetToMemory(again) == saved);
    return 0;
}
