#include "cli/commands.h"

#include <cerrno>
#include <cstring>
#include <ostream>

#include <CLI/CLI.hpp>
#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/build.h"
#include "cli/check.h"
#include "cli/digest.h"
#include "cli/jsontext.h"
#include "cli/tiledcommands.h"
#include "document/text.h"
#include "tilesetfile/format.h"

#ifndef MRQT_VERSION
#error "MRQT_VERSION (the project's version) is set by the build"
#endif

namespace marquetor::cli {

namespace {

namespace fs = std::filesystem;
using document::BytesToUtf8;
using document::TileSet;

// "-" as a file: standard input (or standard output where the command writes a file).
constexpr std::string_view kStandardStream = "-";

constexpr const char* kUsage =
    "Usage: mrqt COMMAND ARGUMENTS\n"
    "Reads, writes and checks Marquetor tile set files (.mrqt).\n"
    "\n"
    "  mrqt dump FILE                    print the tile set as JSON on standard output\n"
    "  mrqt build JSON TEXTURES_DIR OUT  make a tile set from dump's JSON and texture files\n"
    "  mrqt check FILE [--json]          report what a game would trip over\n"
    "  mrqt resave IN OUT                load IN and save it again as OUT\n"
    "  mrqt extract FILE DIR             write each texture's bytes unchanged to DIR/name\n"
    "  mrqt export FILE OUT              write the tile set as a Tiled tileset (.tsx, .tsj, .json)\n"
    "  mrqt import IN OUT                make a tile set from a Tiled tileset or an image\n"
    "  mrqt help [COMMAND]               this help, or a command's (also mrqt COMMAND --help)\n"
    "  mrqt --version                    the version\n"
    "\n"
    "A FILE, IN or JSON of \"-\" is standard input; an OUT of \"-\" is standard output.\n"
    "\n"
    "Exit status: 0 done; 1 a file could not be opened, is not a tile set or could not be\n"
    "saved, a texture was skipped or refused, or check found something; 2 usage error. A\n"
    "file whose data ends early is still read (with a warning; check reports it).\n";

// One line per command for usage errors.
struct Synopsis {
    const char* command;
    const char* usage;
};
constexpr Synopsis kSynopses[] = {
    {"dump", "mrqt dump FILE"},
    {"build", "mrqt build [--ignore-sha256] JSON TEXTURES_DIR OUT"},
    {"check", "mrqt check [--json] FILE"},
    {"resave", "mrqt resave IN OUT"},
    {"extract", "mrqt extract FILE DIR"},
    {"export", "mrqt export [--images DIR] [--png] [--renumber] FILE OUT"},
    {"import", "mrqt import [--tile WxH [--margin M] [--spacing S]] IN OUT"},
    {"help", "mrqt help [COMMAND]"},
};

std::string dumpJson(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

std::string shown(const std::string& path) {
    return path == kStandardStream ? std::string("standard input") : BytesToUtf8(path);
}

// Loads a file (or standard input) for a command. False (message written) when it is not
// usable; a file that ended early is used, with a warning unless the caller reports it.
bool load(TileSet& set, const std::string& path, std::ostream& err, bool* endedEarly = nullptr) {
    document::AddTileGroup(set, document::kTileGroup);
    const tilesetfile::LoadResult r = path == kStandardStream
                                          ? tilesetfile::LoadTileSetFromDescriptor(set, STDIN_FILENO, "standard input")
                                          : tilesetfile::LoadTileSet(set, path);
    switch (r.status) {
    case tilesetfile::LoadStatus::Ok:
        return true;
    case tilesetfile::LoadStatus::Truncated:
        if (endedEarly) *endedEarly = true;
        else err << "mrqt: warning: " << shown(path) << ": " << r.message << "\n";
        return true;
    case tilesetfile::LoadStatus::NotATileSet:
        err << "mrqt: " << shown(path) << ": " << r.message << "\n";
        return false;
    case tilesetfile::LoadStatus::CannotOpen:
        break;
    }
    err << "mrqt: " << r.message << "\n";
    return false;
}

// Writes bytes to the output stream (standard output); false with a message when it fails.
bool writeOut(std::ostream& out, std::span<const std::uint8_t> bytes, std::ostream& err) {
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
        err << "mrqt: cannot write to standard output\n";
        return false;
    }
    return true;
}

// Saves a tile set as OUT: crash-safe into a file, or whole to standard output.
int save(const TileSet& set, const std::string& outPath, std::ostream& out, std::ostream& err) {
    if (outPath == kStandardStream) return writeOut(out, tilesetfile::SaveTileSetToMemory(set), err) ? kExitOk : kExitFailed;
    const tilesetfile::SaveResult r = tilesetfile::SaveTileSet(set, outPath);
    if (!r.ok) {
        err << "mrqt: " << r.reason << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

int dump(const std::string& file, std::ostream& out, std::ostream& err) {
    TileSet set;
    if (!load(set, file, err)) return kExitFailed;
    WriteDocumentJson(set, out);
    out.flush();
    if (!out) {
        err << "mrqt: cannot write the output\n";
        return kExitFailed;
    }
    return kExitOk;
}

int resave(const std::string& in, const std::string& outPath, std::ostream& out, std::ostream& err) {
    TileSet set;
    if (!load(set, in, err)) return kExitFailed;
    return save(set, outPath, out, err);
}

int extract(const std::string& file, const std::string& dirText, std::ostream& err) {
    TileSet set;
    if (!load(set, file, err)) return kExitFailed;
    const fs::path dir(dirText);
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec)) {
        err << "mrqt: " << BytesToUtf8(dir.string()) << " is not a folder and cannot be created\n";
        return kExitFailed;
    }
    int status = kExitOk;
    set.textures.forEach([&](const document::Texture& texture) {
        const std::string name = BytesToUtf8(texture.name);
        if (!IsPlainFileName(texture.name)) {
            err << "mrqt: warning: skipped the texture \"" << name << "\": not a plain file name\n";
            status = kExitFailed;
            return;
        }
        const fs::path target = dir / texture.name;
        // A link inside the folder could point outside it: never written through.
        struct stat st {};
        if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            err << "mrqt: warning: skipped the texture \"" << name << "\": " << BytesToUtf8(target.string())
                << " is a symbolic link\n";
            status = kExitFailed;
            return;
        }
        const tilesetfile::SaveResult r = fileio::SaveFile(target, texture.data());
        if (!r.ok) {
            err << "mrqt: " << r.reason << "\n";
            status = kExitFailed;
        }
    });
    return status;
}

// The whole of a file, or of standard input; false with a message when it cannot be read.
bool readWhole(const std::string& path, std::string& text, std::ostream& err) {
    const bool standardInput = path == kStandardStream;
    const int fd = standardInput ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    auto failed = [&] {
        err << "mrqt: cannot read " << (standardInput ? std::string("standard input") : "\"" + BytesToUtf8(path) + "\"")
            << ": " << std::strerror(errno) << "\n";
        if (!standardInput && fd >= 0) ::close(fd);
        return false;
    };
    if (fd < 0) return failed();
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return failed();
    }
    char block[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failed();
        if (n == 0) break;
        text.append(block, static_cast<std::size_t>(n));
    }
    if (!standardInput) ::close(fd);
    return true;
}

int build(const std::string& jsonPath, const std::string& texturesDir, const std::string& outPath,
          const BuildOptions& options, std::ostream& out, std::ostream& err) {
    std::string json;
    if (!readWhole(jsonPath, json, err)) return kExitFailed;
    TileSet set;
    document::AddTileGroup(set, document::kTileGroup);
    const BuildResult r = BuildTileSet(json, texturesDir, options, set);
    if (!r.ok) {
        // Nothing is written: the output keeps what it held.
        err << "mrqt: " << shown(jsonPath) << ": " << r.message << "\n";
        return kExitFailed;
    }
    return save(set, outPath, out, err);
}

int check(const std::string& file, bool asJson, std::ostream& out, std::ostream& err) {
    TileSet set;
    bool endedEarly = false;
    if (!load(set, file, err, &endedEarly)) return kExitFailed;
    // Findings come by the million in a bad file: formatted into one buffer, written in blocks.
    std::string buffer;
    std::size_t count = 0;
    auto flush = [&] {
        out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        buffer.clear();
    };
    if (asJson) buffer += '[';
    CheckTileSet(set, endedEarly, [&](const Finding& finding) {
        if (asJson) {
            buffer += count == 0 ? "\n  " : ",\n  ";
            AppendFindingJson(buffer, finding);
        } else {
            AppendFindingText(buffer, finding);
            buffer += '\n';
        }
        ++count;
        if (buffer.size() >= (std::size_t{1} << 20)) flush();
    });
    if (asJson) buffer += count == 0 ? "]\n" : "\n]\n";
    flush();
    out.flush();
    if (!out) {
        err << "mrqt: cannot write the output\n";
        return kExitFailed;
    }
    if (count == 0) return kExitOk;
    err << "mrqt: " << shown(file) << ": " << count << (count == 1 ? " finding\n" : " findings\n");
    return kExitFailed;
}

std::string synopsisOf(const std::string& command) {
    for (const Synopsis& s : kSynopses)
        if (command == s.command) return s.usage;
    return "mrqt COMMAND ARGUMENTS";
}

// A usage error: what was wrong, then one line on how it is used.
int usageError(std::ostream& err, const std::string& why, const std::string& command) {
    err << "mrqt: " << why << "\n";
    if (command.empty()) err << "Usage: mrqt COMMAND ARGUMENTS (mrqt --help lists the commands)\n";
    else err << "Usage: " << synopsisOf(command) << " (mrqt " << command << " --help tells more)\n";
    return kExitUsage;
}

bool isCommand(const std::string& name) {
    for (const Synopsis& s : kSynopses)
        if (name == s.command) return true;
    return false;
}

}  // namespace

bool IsPlainFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

void WriteDocumentJson(const TileSet& set, std::ostream& out) {
    // The frame is written here so that a million tiles never sit in memory as JSON values;
    // every key and value goes through the JSON library.
    auto key = [&](const char* name) { out << "  " << Json(name).dump() << ": "; };
    auto list = [&](const char* name, auto&& forEachRecord, bool last) {
        key(name);
        out << '[';
        bool first = true;
        forEachRecord([&](const Json& record) {
            out << (first ? "\n    " : ",\n    ") << dumpJson(record);
            first = false;
        });
        out << (first ? "]" : "\n  ]") << (last ? "\n" : ",\n");
    };

    out << "{\n";
    key("tileWidth");
    out << set.tileWidth << ",\n";
    key("tileHeight");
    out << set.tileHeight << ",\n";
    list("materials", [&](auto&& emit) {
        for (const auto& m : set.materials.items()) {
            Json record;
            PutText(record, "name", m->name);
            record["color"] = m->color;
            record["red"] = document::ColorRed(m->color);
            record["green"] = document::ColorGreen(m->color);
            record["blue"] = document::ColorBlue(m->color);
            PutText(record, "description", m->description);
            emit(record);
        }
    }, false);
    list("textures", [&](auto&& emit) {
        set.textures.forEach([&](const document::Texture& t) {
            Json record;
            PutText(record, "name", t.name);
            record["size"] = t.size;
            record["sha256"] = Sha256Hex(t.data());
            emit(record);
        });
    }, false);
    list("tiles", [&](auto&& emit) {
        if (const document::TileGroup* group = document::LookUpTileGroup(set, document::kTileGroup))
            for (const auto& t : group->tiles.items()) {
                Json record;
                record["id"] = t->id;
                PutText(record, "texture", t->texture);
                PutText(record, "material", t->material);
                record["layer"] = t->layer;
                record["collision"] = t->collision;
                emit(record);
            }
    }, true);
    out << "}\n";
}

int RunMrqt(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CLI::App app("Reads, writes and checks Marquetor tile set files (.mrqt).", "mrqt");
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("mrqt ") + MRQT_VERSION, "print the version and exit");
    app.get_formatter()->column_width(30);
    app.get_formatter()->label("REQUIRED", "");
    app.get_formatter()->label("TEXT", "");

    std::string file, second, third, helpTopic;
    bool asJson = false;
    BuildOptions buildOptions;

    CLI::App* dumpCmd = app.add_subcommand("dump", "Prints the tile set as one JSON object on standard output.");
    dumpCmd->add_option("FILE", file, "the tile set (- for standard input)")->required();
    dumpCmd->footer(
        "The keys: tileWidth, tileHeight, materials (name, color, red, green, blue, description),\n"
        "textures (name, size, sha256 of the bytes) and tiles (id, texture, material, layer,\n"
        "collision), every list in the document's order. A text that is not valid UTF-8 is shown\n"
        "read as Windows-1252, with \"<key>Encoding\": \"windows-1252\" beside it.");

    CLI::App* buildCmd = app.add_subcommand("build", "Makes a tile set from JSON in dump's form and the texture files.");
    buildCmd->add_option("JSON", file, "the tile set as dump prints it (- for standard input)")->required();
    buildCmd->add_option("TEXTURES_DIR", second, "the folder holding each texture as a file of its name")->required();
    buildCmd->add_option("OUT", third, "the tile set to write (- for standard output)")->required();
    buildCmd->add_flag("--ignore-sha256", buildOptions.ignoreSha256,
                       "take texture files whose bytes differ from the JSON's sha256 and size");
    buildCmd->footer(
        "dump, extract, then build gives the original file byte for byte. A missing texture file,\n"
        "a sha256 or size the file does not match, or a value the format cannot hold is an error\n"
        "naming the record; nothing is written then.");

    CLI::App* checkCmd = app.add_subcommand("check", "Reports what the editor lets through but a game will trip over.");
    checkCmd->add_option("FILE", file, "the tile set (- for standard input)")->required();
    checkCmd->add_flag("--json", asJson, "print the findings as a JSON array");
    checkCmd->footer(
        "One line per finding, naming the record: tiles whose texture or material is not in the\n"
        "tile set, layers outside 0-255, collision classes outside 0-5; textures that do not\n"
        "decode as a PNG, JPEG, BMP or TGA picture or whose name the Textures tab would refuse;\n"
        "material or texture names that differ only in letter case; a tile width or height of 0\n"
        "or less; a file whose data ended early. Exit status 0 when there is nothing to report,\n"
        "1 otherwise.");

    CLI::App* resaveCmd = app.add_subcommand("resave", "Loads IN and saves it again as OUT (crash-safe).");
    resaveCmd->add_option("IN", file, "the tile set to read (- for standard input)")->required();
    resaveCmd->add_option("OUT", second, "the tile set to write (- for standard output)")->required();

    CLI::App* extractCmd = app.add_subcommand("extract", "Writes each texture's bytes unchanged to DIR/name.");
    extractCmd->add_option("FILE", file, "the tile set (- for standard input)")->required();
    extractCmd->add_option("DIR", second, "the folder to write to (made when missing)")->required();
    extractCmd->footer("A name that is not a plain file name is skipped with a warning; nothing is\n"
                       "written outside DIR, nor through a symbolic link.");

    // Tiled: export and import (cli/tiledcommands.cpp).
    TiledArguments tiledArgs;
    AddTiledCommands(app, tiledArgs);

    CLI::App* helpCmd = app.add_subcommand("help", "Prints this help, or a command's.");
    helpCmd->add_option("COMMAND", helpTopic, "the command");

    for (CLI::App* sub : app.get_subcommands({})) sub->set_help_flag("-h,--help", "print this command's help and exit");
    // The overview is written by hand: it shows every command with its arguments.
    app.set_help_flag("-h,--help", "print this help and exit");
    app.formatter_fn([](const CLI::App*, std::string, CLI::AppFormatMode) { return std::string(kUsage); });

    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        const auto chosen = app.get_subcommands();
        const std::string command = chosen.empty() ? "" : chosen.front()->get_name();
        if (!app.remaining(true).empty())
            return usageError(err, "--help takes no other arguments: " + BytesToUtf8(app.remaining(true).front()), command);
        out << app.help();
        return kExitOk;
    } catch (const CLI::CallForVersion&) {
        if (args.size() != 1) return usageError(err, "--version takes no other arguments", "");
        out << "mrqt " << MRQT_VERSION << "\n";
        return kExitOk;
    } catch (const CLI::ParseError& e) {
        const auto chosen = app.get_subcommands();
        const std::string command = chosen.empty() ? "" : chosen.front()->get_name();
        const std::string prefix = command.empty() ? "" : command + ": ";
        // Arguments left over: an option no one knows, or one argument too many.
        const std::vector<std::string> left = app.remaining(true);
        if (!left.empty()) {
            const std::string& first = left.front();
            if (first.size() > 1 && first[0] == '-')
                return usageError(err, prefix + "unknown option \"" + BytesToUtf8(first) + "\"", command);
            if (command.empty() && !isCommand(first))
                return usageError(err, "unknown command \"" + BytesToUtf8(first) + "\"", "");
            return usageError(err, prefix + "one argument too many: \"" + BytesToUtf8(first) + "\"", command);
        }
        if (args.empty()) return usageError(err, "no command given", "");
        return usageError(err, prefix + BytesToUtf8(e.what()), command);
    }

    if (dumpCmd->parsed()) return dump(file, out, err);
    if (buildCmd->parsed()) return build(file, second, third, buildOptions, out, err);
    if (checkCmd->parsed()) return check(file, asJson, out, err);
    if (resaveCmd->parsed()) return resave(file, second, out, err);
    if (extractCmd->parsed()) return extract(file, second, err);
    if (int status = 0; RunTiledCommand(tiledArgs, out, err, status)) return status;
    if (helpCmd->parsed()) {
        if (helpTopic.empty()) {
            out << kUsage;
            return kExitOk;
        }
        if (!isCommand(helpTopic) || helpTopic == "help")
            return usageError(err, "no command \"" + BytesToUtf8(helpTopic) + "\" to tell about", "help");
        out << app.get_subcommand(helpTopic)->help("mrqt");
        return kExitOk;
    }
    return usageError(err, "no command given", "");
}

}  // namespace marquetor::cli
