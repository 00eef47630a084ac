#include "cli/commands.h"

#include <ostream>

#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include "cli/sha256.h"
#include "document/text.h"
#include "tilesetfile/format.h"

namespace marquetor::cli {

namespace {

namespace fs = std::filesystem;
using document::BytesToUtf8;
using document::TileSet;
using Json = nlohmann::ordered_json;

constexpr const char* kUsage =
    "Usage: mrqt COMMAND ARGUMENTS\n"
    "Reads and writes Marquetor tile set files (.mrqt).\n"
    "\n"
    "  mrqt dump FILE          print the tile set as JSON on standard output\n"
    "  mrqt resave IN OUT      load IN and save it again as OUT\n"
    "  mrqt extract FILE DIR   write each texture's bytes unchanged to DIR/name\n"
    "  mrqt --help             show this help\n"
    "\n"
    "Exit status: 0 done; 1 a file could not be opened, is not a tile set or could not be\n"
    "saved, or a texture was skipped; 2 usage error. A file whose data ends early is still\n"
    "read (with a warning).\n";

// Texts are the document's bytes: UTF-8 where they are valid UTF-8, else Windows-1252.
Json text(std::string_view bytes) { return Json(BytesToUtf8(bytes)); }

std::string dumpJson(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

std::string shown(const fs::path& path) { return BytesToUtf8(path.string()); }

int usageError(std::ostream& err, const std::string& why) {
    err << "mrqt: " << why << "\n\n" << kUsage;
    return kExitUsage;
}

// Loads a file for a command. False (message written) when it is not usable; a file that
// ended early is used, with a warning.
bool load(TileSet& set, const std::string& path, std::ostream& err) {
    document::AddTileGroup(set, 1);
    const tilesetfile::LoadResult r = tilesetfile::LoadTileSet(set, path);
    switch (r.status) {
    case tilesetfile::LoadStatus::Ok:
        return true;
    case tilesetfile::LoadStatus::Truncated:
        err << "mrqt: warning: " << shown(path) << ": " << r.message << "\n";
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

int resave(const std::string& in, const std::string& outPath, std::ostream& err) {
    TileSet set;
    if (!load(set, in, err)) return kExitFailed;
    const tilesetfile::SaveResult r = tilesetfile::SaveTileSet(set, outPath);
    if (!r.ok) {
        err << "mrqt: " << r.reason << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

int extract(const std::string& file, const std::string& dirText, std::ostream& err) {
    TileSet set;
    if (!load(set, file, err)) return kExitFailed;
    const fs::path dir(dirText);
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec)) {
        err << "mrqt: " << shown(dir) << " is not a folder and cannot be created\n";
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
            err << "mrqt: warning: skipped the texture \"" << name << "\": " << shown(target)
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
        for (const auto& m : set.materials.items())
            emit(Json{{"name", text(m->name)},
                      {"color", m->color},
                      {"red", document::ColorRed(m->color)},
                      {"green", document::ColorGreen(m->color)},
                      {"blue", document::ColorBlue(m->color)},
                      {"description", text(m->description)}});
    }, false);
    list("textures", [&](auto&& emit) {
        set.textures.forEach([&](const document::Texture& t) {
            emit(Json{{"name", text(t.name)}, {"size", t.size}, {"sha256", Sha256Hex(t.data())}});
        });
    }, false);
    list("tiles", [&](auto&& emit) {
        if (const document::TileGroup* group = document::LookUpTileGroup(set, 1))
            for (const auto& t : group->tiles.items())
                emit(Json{{"id", t->id},
                          {"texture", text(t->texture)},
                          {"material", text(t->material)},
                          {"layer", t->layer},
                          {"collision", t->collision}});
    }, true);
    out << "}\n";
}

int RunMrqt(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) return usageError(err, "no command given");
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        if (args.size() != 1) return usageError(err, "--help takes no arguments");
        out << kUsage;
        return kExitOk;
    }
    const std::size_t given = args.size() - 1;
    if (command == "dump") {
        if (given != 1) return usageError(err, "dump takes one file");
        return dump(args[1], out, err);
    }
    if (command == "resave") {
        if (given != 2) return usageError(err, "resave takes an input and an output file");
        return resave(args[1], args[2], err);
    }
    if (command == "extract") {
        if (given != 2) return usageError(err, "extract takes a file and a folder");
        return extract(args[1], args[2], err);
    }
    return usageError(err, "unknown command \"" + BytesToUtf8(command) + "\"");
}

}  // namespace marquetor::cli
