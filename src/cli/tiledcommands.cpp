#include "cli/tiledcommands.h"

#include <cerrno>
#include <cstring>
#include <ostream>

#include <CLI/CLI.hpp>
#include <unistd.h>

#include "cli/commands.h"
#include "document/text.h"
#include "fileio/readfile.h"
#include "tiled/tiled.h"
#include "tilesetfile/format.h"

namespace marquetor::cli {

namespace {

namespace fs = std::filesystem;
using document::BytesToUtf8;

// A tile set to export is read whole first; textures make it large, up to the 2 GiB a
// texture may have.
constexpr std::size_t kMaxTileSetBytes = std::size_t{1} << 31;

std::string shown(const std::string& path) { return path == "-" ? std::string("standard input") : BytesToUtf8(path); }

int usage(std::ostream& err, const std::string& why, const char* synopsis, const char* command) {
    err << "mrqt: " << command << ": " << why << "\n"
        << "Usage: " << synopsis << " (mrqt " << command << " --help tells more)\n";
    return kExitUsage;
}

constexpr const char* kExportSynopsis = "mrqt export [--images DIR] [--png] [--renumber] FILE OUT";
constexpr const char* kImportSynopsis = "mrqt import [--tile WxH [--margin M] [--spacing S]] IN OUT";

// Standard input whole.
bool readStandardInput(std::vector<std::uint8_t>& bytes, std::ostream& err) {
    std::uint8_t block[1 << 16];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            err << "mrqt: cannot read standard input: " << std::strerror(errno) << "\n";
            return false;
        }
        if (n == 0) return true;
        bytes.insert(bytes.end(), block, block + n);
    }
}

int exportTileSet(const TiledArguments& args, std::ostream& err) {
    if (args.out == "-") return usage(err, "OUT is a file: the textures are written beside it", kExportSynopsis, "export");
    if (!tiled::FormatOfPath(args.out))
        return usage(err, "OUT must end in .tsx (Tiled's XML) or .tsj or .json (Tiled's JSON): \"" + BytesToUtf8(args.out) + "\"",
                     kExportSynopsis, "export");
    document::TileSet set;
    document::AddTileGroup(set, document::kTileGroup);
    tilesetfile::LoadResult loaded;
    if (args.in == "-") {
        loaded = tilesetfile::LoadTileSetFromDescriptor(set, STDIN_FILENO, "standard input");
    } else {
        const fileio::ReadResult read = fileio::ReadWholeFile(args.in, kMaxTileSetBytes);
        if (!read.ok) {
            err << "mrqt: cannot read \"" << BytesToUtf8(args.in) << "\": " << read.error << "\n";
            return kExitFailed;
        }
        loaded = tilesetfile::LoadTileSetFromMemory(set, read.bytes);
    }
    if (loaded.status == tilesetfile::LoadStatus::NotATileSet || loaded.status == tilesetfile::LoadStatus::CannotOpen) {
        err << "mrqt: " << shown(args.in) << ": " << loaded.message << "\n";
        return kExitFailed;
    }
    if (loaded.status == tilesetfile::LoadStatus::Truncated)
        err << "mrqt: warning: " << shown(args.in) << ": " << loaded.message << "\n";

    tiled::ExportOptions options;
    options.imagesDir = args.images;
    options.png = args.png;
    options.renumber = args.renumber;
    const tiled::ExportResult r = tiled::ExportTileSet(set, args.out, options);
    for (const std::string& w : r.warnings) err << "mrqt: warning: " << w << "\n";
    if (r.tiledCannotShow) err << "mrqt: --png writes the textures Tiled cannot show as PNG files\n";
    if (!r.ok) {
        err << "mrqt: " << r.message;
        if (r.idOutOfRange) err << " (--renumber numbers the tiles 0, 1, 2, ... and keeps each ID in a property)";
        err << "\n";
        return kExitFailed;
    }
    return r.incomplete || loaded.status == tilesetfile::LoadStatus::Truncated ? kExitFailed : kExitOk;
}

bool parseTile(const std::string& text, int& width, int& height) {
    const auto x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    try {
        std::size_t used = 0;
        width = std::stoi(text.substr(0, x), &used);
        if (used != x) return false;
        height = std::stoi(text.substr(x + 1), &used);
        if (used != text.size() - x - 1) return false;
    } catch (const std::exception&) {
        return false;
    }
    return width > 0 && height > 0 && std::isdigit(static_cast<unsigned char>(text[0])) &&
           std::isdigit(static_cast<unsigned char>(text[x + 1]));
}

int importTileSet(const TiledArguments& args, std::ostream& out, std::ostream& err) {
    tiled::ImportOptions options;
    const bool gridGiven = !args.tile.empty() || args.importCommand->count("--margin") || args.importCommand->count("--spacing");
    const tiled::InputKind kind = args.in == "-" ? tiled::InputKind::Unknown : tiled::KindOfPath(args.in);
    if (!args.tile.empty() && !parseTile(args.tile, options.tileWidth, options.tileHeight))
        return usage(err, "--tile takes a width and a height in pixels, such as 32x32: \"" + BytesToUtf8(args.tile) + "\"",
                     kImportSynopsis, "import");
    if (gridGiven && (kind == tiled::InputKind::Tsx || kind == tiled::InputKind::Json))
        return usage(err, "--tile, --margin and --spacing are for an image; a tileset gives its own", kImportSynopsis, "import");
    if (kind == tiled::InputKind::Image && args.tile.empty())
        return usage(err, "an image is cut into tiles of the size --tile WxH gives", kImportSynopsis, "import");
    options.margin = args.margin;
    options.spacing = args.spacing;

    document::TileSet set;
    document::AddTileGroup(set, document::kTileGroup);
    tiled::ImportResult r;
    if (args.in == "-") {
        std::vector<std::uint8_t> bytes;
        if (!readStandardInput(bytes, err)) return kExitFailed;
        const tiled::FileSource files = [](const fs::path& p) { return fileio::ReadWholeFile(p, tiled::kMaxInputBytes); };
        r = tiled::ImportFromMemory(bytes, kind, "standard-input", files, options, set);
    } else {
        r = tiled::ImportTileSet(args.in, options, set);
    }
    if (!r.ok()) {
        err << "mrqt: " << shown(args.in) << ": " << r.message << "\n";
        return kExitFailed;
    }
    for (const std::string& w : r.warnings) err << "mrqt: warning: " << shown(args.in) << ": " << w << "\n";
    if (args.out == "-") {
        const auto bytes = tilesetfile::SaveTileSetToMemory(set);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            err << "mrqt: cannot write to standard output\n";
            return kExitFailed;
        }
        return kExitOk;
    }
    const tilesetfile::SaveResult saved = tilesetfile::SaveTileSet(set, args.out);
    if (!saved.ok) {
        err << "mrqt: " << saved.reason << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

void AddTiledCommands(CLI::App& app, TiledArguments& args) {
    CLI::App* exp = app.add_subcommand("export", "Writes the tile set as a Tiled tileset and its textures as files.");
    exp->add_option("FILE", args.in, "the tile set (- for standard input)")->required();
    exp->add_option("OUT", args.out, "the tileset to write: .tsx (XML), .tsj or .json (JSON)")->required();
    exp->add_option("--images", args.images, "write the textures into this folder (relative to OUT's)")->type_name("DIR");
    exp->add_flag("--png", args.png, "write textures Tiled cannot show (TGA but uncompressed TGA 2.0) as PNG files");
    exp->add_flag("--renumber", args.renumber, "Tiled ids 0, 1, 2, ... in tile order; each tile keeps its ID in an \"id\" property");
    exp->footer(
        "An image-collection tileset that Tiled 1.8 and later read: one Tiled tile per tile, in\n"
        "tile order, with the properties material, layer, collision and texture and the material\n"
        "as its type. The textures are written beside OUT, bytes unchanged. What Tiled has no\n"
        "place for (materials, unused textures, their order, the tile size) is kept in the\n"
        "tileset's properties. Refused, writing nothing: an ID below 0 or above 268435454\n"
        "(without --renumber), a texture name that is not a plain file name. A tile whose\n"
        "texture is missing or no picture is written without one, with a warning (exit 1).");
    args.exportCommand = exp;

    CLI::App* imp = app.add_subcommand("import", "Makes a tile set from a Tiled tileset or an image cut into tiles.");
    imp->add_option("IN", args.in, "a Tiled tileset (.tsx, .tsj, .json) or a PNG, JPEG, BMP or TGA image (- for standard input)")
        ->required();
    imp->add_option("OUT", args.out, "the tile set to write (- for standard output)")->required();
    imp->add_option("--tile", args.tile, "an image's tile size, WIDTHxHEIGHT")->type_name("WxH");
    imp->add_option("--margin", args.margin, "pixels around an image's tiles (default 0)")->type_name("M")->check(CLI::NonNegativeNumber);
    imp->add_option("--spacing", args.spacing, "pixels between an image's tiles (default 0)")->type_name("S")->check(CLI::NonNegativeNumber);
    imp->footer(
        "An image collection gives a texture per image file, bytes unchanged; an atlas (and an\n"
        "image with --tile) is cut as Tiled cuts it, each cell a PNG texture, ids 0, 1, 2, ...\n"
        "row by row. Materials come from the tiles' material property, their type (class), or\n"
        "the tileset's name; what a tile set has no place for is named in one warning. A file\n"
        "that does not parse, a map, a missing or broken image, or cells that do not fit: a\n"
        "message, exit 1, nothing written.");
    args.importCommand = imp;
}

bool RunTiledCommand(const TiledArguments& args, std::ostream& out, std::ostream& err, int& status) {
    if (args.exportCommand && args.exportCommand->parsed()) {
        status = exportTileSet(args, err);
        return true;
    }
    if (args.importCommand && args.importCommand->parsed()) {
        status = importTileSet(args, out, err);
        return true;
    }
    return false;
}

}  // namespace marquetor::cli
