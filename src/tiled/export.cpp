// Export: the tile set as an image-collection tileset that Tiled 1.8 and later read, its
// textures as files beside it (or in a folder of their own), and what Tiled has no place
// for in custom properties of the tileset and the tiles.

#include <algorithm>
#include <set>
#include <unordered_map>

#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include "fileio/replacefile.h"
#include "platform/imagecodec/imagecodec.h"
#include "tiled/atlas.h"
#include "tiled/formats.h"
#include "tiled/metadata.h"
#include "tiled/texts.h"
#include "tiled/tiled.h"

namespace marquetor::tiled {

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

// Tiled keeps tile ids below 0x10000000 once a map adds its first gid (at least 1) and
// leaves the bits above for flipping.
constexpr std::int64_t kLargestTiledId = 268'435'454;

bool isPlainFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

// Whether Qt's TGA reader, which Tiled shows pictures with, takes the file: uncompressed
// true-colour only, and only with the TGA 2.0 footer.
bool tiledShowsTga(std::span<const std::uint8_t> bytes) {
    static constexpr char kSignature[] = "TRUEVISION-XFILE.";   // and its zero byte
    if (bytes.size() < 18 + 26) return false;
    if (bytes[2] != 2) return false;
    return std::equal(kSignature, kSignature + sizeof kSignature, bytes.end() - 18);
}

void putText(Properties& into, std::string_view key, std::string_view bytes) {
    const EncodedText e = EncodeText(bytes);
    into.push_back({std::string(key), "string", e.value});
    if (!e.encoding.empty()) into.push_back({std::string(key) + std::string(keys::kEncodingSuffix), "string", e.encoding});
}

void putText(Json& record, const char* key, std::string_view bytes) {
    const EncodedText e = EncodeText(bytes);
    record[key] = e.value;
    if (!e.encoding.empty()) record[std::string(key) + std::string(keys::kEncodingSuffix)] = e.encoding;
}

void sortByName(Properties& properties) {
    std::stable_sort(properties.begin(), properties.end(), [](const Property& a, const Property& b) { return a.name < b.name; });
}

// "rock.png" -> "rock-2.png"
std::string numbered(const std::string& name, int n) {
    const auto dot = name.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const std::string ext = dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
    return stem + "-" + std::to_string(n) + ext;
}

struct TextureOut {
    const document::Texture* texture = nullptr;
    std::string file;                 // its file name
    std::string source;               // as the tileset names it
    bool picture = false;
    int width = 0, height = 0;
    bool converted = false;           // written as a PNG of its pixels
    std::vector<std::uint8_t> png;    // those bytes
};

}  // namespace

ExportResult ExportToMemory(const document::TileSet& set, const std::string& name, ExportFormat format,
                            const ExportOptions& options, ExportedFiles& files) {
    ExportResult result;
    const document::TileGroup* group = document::LookUpTileGroup(set, document::kTileGroup);

    // Refusals first: nothing is written for them.
    if (group && !options.renumber)
        for (const auto& t : group->tiles.items())
            if (t->id < 0 || t->id > kLargestTiledId) {
                result.message = "tile " + std::to_string(t->id) + ": the ID " + std::to_string(t->id) +
                                 " is outside Tiled's tile ids (0 to " + std::to_string(kLargestTiledId) + ")";
                result.idOutOfRange = true;
                return result;
            }
    std::string refused;
    set.textures.forEach([&](const document::Texture& t) {
        if (refused.empty() && !isPlainFileName(t.name))
            refused = "texture \"" + EncodeText(t.name).value + "\": not a plain file name, so it cannot be written as a file";
    });
    if (!refused.empty()) {
        result.message = refused;
        return result;
    }

    // The texture files: names made unique (and never the tileset's own), pictures measured.
    std::set<std::string> taken;
    if (options.imagesDir.empty() || options.imagesDir.lexically_normal() == ".") taken.insert(name);
    std::vector<TextureOut> textures;
    std::unordered_map<std::string_view, std::size_t> byName;
    set.textures.forEach([&](const document::Texture& t) {
        TextureOut out;
        out.texture = &t;
        const auto bytes = t.data();
        if (const auto image = imagecodec::DecodeImage(bytes)) {
            out.picture = true;
            out.width = image->width;
            out.height = image->height;
            if (imagecodec::DetectFormat(bytes) == imagecodec::Format::Tga && !tiledShowsTga(bytes)) {
                if (options.png) {
                    if (auto png = EncodePng(*image)) {
                        out.converted = true;
                        out.png = std::move(*png);
                    }
                } else {
                    result.tiledCannotShow = true;
                    result.warnings.push_back("texture \"" + EncodeText(t.name).value +
                                              "\": Tiled shows only uncompressed TGA 2.0 files (with the footer); written "
                                              "unchanged, Tiled will not show it");
                }
            }
        }
        std::string file = FileNameOf(t.name);
        if (out.converted) {
            const auto dot = file.rfind('.');
            file = (dot == std::string::npos || dot == 0 ? file : file.substr(0, dot)) + ".png";
        }
        std::string unique = file;
        for (int n = 2; taken.count(unique); ++n) unique = numbered(file, n);
        taken.insert(unique);
        out.file = unique;
        out.source = (options.imagesDir / unique).generic_string();
        byName.emplace(t.name, textures.size());
        textures.push_back(std::move(out));
    });

    Tileset ts;
    ts.name = FileNameOf(name);
    const auto dot = ts.name.rfind('.');
    if (dot != std::string::npos && dot > 0) ts.name.resize(dot);
    ts.tileWidth = set.tileWidth > 0 ? set.tileWidth : 1;
    ts.tileHeight = set.tileHeight > 0 ? set.tileHeight : 1;

    // The tiles.
    std::vector<std::int64_t> ids;
    std::int64_t nextId = 0;
    if (group) {
        ts.tiles.reserve(group->tiles.size());
        for (const auto& t : group->tiles.items()) {
            Tile tile;
            tile.id = options.renumber ? nextId++ : t->id;
            ids.push_back(tile.id);
            tile.type = EncodeText(t->material.view()).value;
            Properties& p = tile.properties;
            p.push_back({std::string(keys::kCollision), "int", std::to_string(t->collision)});
            if (options.renumber) p.push_back({std::string(keys::kId), "int", std::to_string(t->id)});
            p.push_back({std::string(keys::kLayer), "int", std::to_string(t->layer)});
            putText(p, keys::kMaterial, t->material.view());
            putText(p, keys::kTexture, t->texture.view());
            sortByName(p);
            const auto found = byName.find(t->texture.view());
            const std::string label = "tile " + std::to_string(t->id) + ": texture \"" + EncodeText(t->texture.view()).value + "\"";
            if (found == byName.end()) {
                result.warnings.push_back(label + " is not in the tile set; written without a picture");
                result.incomplete = true;
            } else if (!textures[found->second].picture) {
                result.warnings.push_back(label + " holds no picture; written without one");
                result.incomplete = true;
            } else {
                const TextureOut& out = textures[found->second];
                Image image;
                image.source = out.source;
                image.width = out.width;
                image.height = out.height;
                tile.image = std::move(image);
            }
            ts.tiles.push_back(std::move(tile));
        }
    }

    // What Tiled has no place for.
    Json materials = Json::array();
    for (const auto& m : set.materials.items()) {
        Json record;
        putText(record, "name", m->name);
        record["color"] = m->color;
        putText(record, "description", m->description);
        materials.push_back(std::move(record));
    }
    Json textureList = Json::array();
    for (const TextureOut& t : textures) {
        Json record;
        putText(record, "name", t.texture->name);
        record["file"] = t.source;
        if (t.converted) record["png"] = true;
        textureList.push_back(std::move(record));
    }
    // One record a line: readable in Tiled's text editor and in a diff.
    auto compact = [](const Json& list) {
        std::string text = "[";
        for (const Json& record : list)
            text += (text.size() > 1 ? ",\n" : "\n") + record.dump(-1, ' ', false, Json::error_handler_t::strict);
        return text + "\n]";
    };
    Properties& p = ts.properties;
    p.push_back({std::string(keys::kFormat), "int", std::to_string(keys::kFormatVersion)});
    p.push_back({std::string(keys::kMaterials), "string", compact(materials)});
    p.push_back({std::string(keys::kTextures), "string", compact(textureList)});
    p.push_back({std::string(keys::kTileHeight), "int", std::to_string(set.tileHeight)});
    p.push_back({std::string(keys::kTileWidth), "int", std::to_string(set.tileWidth)});
    if (!std::is_sorted(ids.begin(), ids.end())) {
        std::string order;
        for (const std::int64_t id : ids) order += (order.empty() ? "" : ",") + std::to_string(id);
        p.push_back({std::string(keys::kTileOrder), "string", order});
    }
    sortByName(p);

    files.tileset = format == ExportFormat::Tsx ? WriteTsx(ts) : WriteTsj(ts);
    files.images.clear();
    for (TextureOut& t : textures) {
        const auto bytes = t.texture->data();
        files.images.emplace_back(options.imagesDir / t.file,
                                  t.converted ? std::move(t.png) : std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    }
    result.ok = true;
    return result;
}

ExportResult ExportTileSet(const document::TileSet& set, const std::filesystem::path& out, const ExportOptions& options) {
    ExportResult result;
    const auto format = FormatOfPath(out);
    if (!format) {
        result.message = "\"" + FileNameOf(out.string()) + "\": a Tiled tileset ends in .tsx, .tsj or .json";
        return result;
    }
    ExportedFiles files;
    result = ExportToMemory(set, out.filename().string(), *format, options, files);
    if (!result.ok) return result;

    const fs::path folder = out.parent_path().empty() ? fs::path(".") : out.parent_path();
    const fs::path imagesFolder = options.imagesDir.is_absolute() ? options.imagesDir : folder / options.imagesDir;
    // Nothing is written through a symbolic link: a link among the targets refuses the export
    // before any file is written.
    for (const auto& [relative, bytes] : files.images) {
        const fs::path target = relative.is_absolute() ? relative : folder / relative;
        struct stat st {};
        if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            result.ok = false;
            result.message = "\"" + FileNameOf(target.string()) + "\" is a symbolic link; no texture is written through one";
            return result;
        }
    }
    std::error_code ec;
    fs::create_directories(imagesFolder, ec);
    if (!fs::is_directory(imagesFolder, ec)) {
        result.ok = false;
        result.message = "\"" + FileNameOf(imagesFolder.string()) + "\" is not a folder and cannot be made";
        return result;
    }
    for (const auto& [relative, bytes] : files.images) {
        const fs::path target = relative.is_absolute() ? relative : folder / relative;
        const fileio::WriteResult w = fileio::SaveFile(target, bytes);
        if (!w.ok) {
            result.ok = false;
            result.message = w.reason;
            return result;
        }
    }
    const std::span<const std::uint8_t> text(reinterpret_cast<const std::uint8_t*>(files.tileset.data()), files.tileset.size());
    const fileio::WriteResult w = fileio::SaveFile(out, text);
    if (!w.ok) {
        result.ok = false;
        result.message = w.reason;
    }
    return result;
}

}  // namespace marquetor::tiled
