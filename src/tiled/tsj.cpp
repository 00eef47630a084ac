// Tiled's JSON tileset format (.tsj, .json), through nlohmann-json. Tiled 1.0 and 1.1 keep
// tiles, tile properties and tileset properties in objects keyed by id or name; Tiled 1.2
// and later in arrays of records. Both are read.

#include <cmath>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "tiled/formats.h"

namespace marquetor::tiled {

namespace {

using Json = nlohmann::ordered_json;

std::string valueText(const Json& v) {
    if (v.is_string()) return v.get<std::string>();
    if (v.is_null()) return {};
    return v.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string typeOfValue(const Json& v) {
    if (v.is_boolean()) return "bool";
    if (v.is_number_integer()) return "int";
    if (v.is_number()) return "float";
    if (v.is_object()) return "class";
    return "string";
}

struct Reader {
    Tileset& out;
    std::string error;

    bool whole(const Json& object, const char* key, std::int64_t& value, std::int64_t fallback,
               const std::string& where) {
        const auto it = object.find(key);
        if (it == object.end() || it->is_null()) {
            value = fallback;
            return true;
        }
        if (it->is_number_integer()) {
            if (it->is_number_unsigned() && it->get<std::uint64_t>() > std::uint64_t(INT64_MAX)) {
                error = where + ": " + key + " " + it->dump() + " is too large";
                return false;
            }
            value = it->get<std::int64_t>();
            return true;
        }
        if (it->is_number_float()) {
            const double d = it->get<double>();
            if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9e18) {
                value = static_cast<std::int64_t>(d);
                return true;
            }
        }
        error = where + ": " + key + " " + it->dump(-1, ' ', false, Json::error_handler_t::replace) + " is not a whole number";
        return false;
    }

    std::string text(const Json& object, const char* key) {
        const auto it = object.find(key);
        return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
    }

    // Tiled 1.2 on: [{"name", "type", "value"}]; before: {"name": value} with the types in
    // a sibling object ("propertytypes", "tilepropertytypes").
    void properties(const Json& list, const Json* types, Properties& into) {
        if (list.is_array()) {
            for (const Json& p : list) {
                if (!p.is_object()) continue;
                Property property;
                property.name = text(p, "name");
                property.type = p.contains("type") && p["type"].is_string() ? p["type"].get<std::string>() : "string";
                property.value = p.contains("value") ? valueText(p["value"]) : std::string();
                into.push_back(std::move(property));
            }
        } else if (list.is_object()) {
            for (const auto& [name, value] : list.items()) {
                Property property;
                property.name = name;
                property.type = typeOfValue(value);
                if (types && types->is_object() && types->contains(name) && (*types)[name].is_string())
                    property.type = (*types)[name].get<std::string>();
                property.value = valueText(value);
                into.push_back(std::move(property));
            }
        }
    }

    bool tile(const Json& t, std::int64_t id) {
        Tile tile;
        tile.id = id;
        const std::string where = "tile " + std::to_string(id);
        tile.type = t.contains("class") ? text(t, "class") : text(t, "type");
        if (t.contains("properties")) properties(t["properties"], nullptr, tile.properties);
        if (t.contains("image") && t["image"].is_string()) {
            Image image;
            image.source = t["image"].get<std::string>();
            if (!whole(t, "imagewidth", image.width, -1, where) || !whole(t, "imageheight", image.height, -1, where))
                return false;
            if (image.source.empty()) image.embedded = true;   // no picture
            tile.image = std::move(image);
        }
        if (t.contains("x") || t.contains("width")) {
            std::array<std::int64_t, 4> r{};
            if (!whole(t, "x", r[0], 0, where) || !whole(t, "y", r[1], 0, where) || !whole(t, "width", r[2], -1, where) ||
                !whole(t, "height", r[3], -1, where))
                return false;
            tile.rect = r;
        }
        if (t.contains("terrain")) ++out.unsupported["terrain corners"];
        if (t.contains("probability")) ++out.unsupported["probabilities"];
        if (t.contains("objectgroup")) ++out.unsupported["collision shapes"];
        if (t.contains("animation")) ++out.unsupported["animations"];
        out.tiles.push_back(std::move(tile));
        return true;
    }

    bool tileset(const Json& root) {
        out.name = text(root, "name");
        if (!whole(root, "tilewidth", out.tileWidth, 0, "the tileset") ||
            !whole(root, "tileheight", out.tileHeight, 0, "the tileset") ||
            !whole(root, "margin", out.margin, 0, "the tileset") || !whole(root, "spacing", out.spacing, 0, "the tileset") ||
            !whole(root, "tilecount", out.tileCount, -1, "the tileset") ||
            !whole(root, "columns", out.columns, -1, "the tileset"))
            return false;
        for (const char* setting : {"objectalignment", "tilerendersize", "fillmode", "backgroundcolor"})
            if (root.contains(setting)) ++out.unsupported[setting];
        if (root.contains("properties"))
            properties(root["properties"], root.contains("propertytypes") ? &root["propertytypes"] : nullptr, out.properties);
        if (root.contains("image") && root["image"].is_string() && !root["image"].get<std::string>().empty()) {
            Image image;
            image.source = root["image"].get<std::string>();
            image.transparentColor = text(root, "transparentcolor");
            if (!whole(root, "imagewidth", image.width, -1, "the tileset") ||
                !whole(root, "imageheight", image.height, -1, "the tileset"))
                return false;
            out.image = std::move(image);
        }
        if (root.contains("tileoffset")) ++out.unsupported["tile offset"];
        if (root.contains("transformations")) ++out.unsupported["transformations"];
        if (root.contains("terrains") && root["terrains"].is_array())
            out.unsupported["terrains"] += static_cast<std::int64_t>(root["terrains"].size());
        if (root.contains("wangsets") && root["wangsets"].is_array())
            out.unsupported["Wang sets"] += static_cast<std::int64_t>(root["wangsets"].size());

        if (root.contains("tiles")) {
            const Json& tiles = root["tiles"];
            if (tiles.is_array()) {
                for (const Json& t : tiles) {
                    if (!t.is_object()) {
                        error = "a tile that is not a JSON object";
                        return false;
                    }
                    std::int64_t id = 0;
                    if (!t.contains("id")) {
                        error = "a tile without an id";
                        return false;
                    }
                    if (!whole(t, "id", id, 0, "a tile") || !tile(t, id)) return false;
                }
            } else if (tiles.is_object()) {
                for (const auto& [key, t] : tiles.items()) {
                    const auto id = ParseWhole(key);
                    if (!id || !t.is_object()) {
                        error = "a tile keyed \"" + key + "\", which is no tile id";
                        return false;
                    }
                    if (!tile(t, *id)) return false;
                }
            }
        }
        // Tiled 1.0 and 1.1: the tiles' properties beside the tiles, keyed by id.
        if (root.contains("tileproperties") && root["tileproperties"].is_object()) {
            const Json* types = root.contains("tilepropertytypes") ? &root["tilepropertytypes"] : nullptr;
            std::unordered_map<std::int64_t, std::size_t> byId;
            for (std::size_t i = 0; i < out.tiles.size(); ++i) byId.emplace(out.tiles[i].id, i);
            for (const auto& [key, props] : root["tileproperties"].items()) {
                const auto id = ParseWhole(key);
                if (!id) {
                    error = "tile properties keyed \"" + key + "\", which is no tile id";
                    return false;
                }
                auto at = byId.find(*id);
                if (at == byId.end()) {
                    out.tiles.push_back(Tile{});
                    out.tiles.back().id = *id;
                    at = byId.emplace(*id, out.tiles.size() - 1).first;
                }
                Tile* it = &out.tiles[at->second];
                const Json* own = types && types->is_object() && types->contains(key) ? &(*types)[key] : nullptr;
                properties(props, own, it->properties);
            }
        }
        return true;
    }
};

Json propertyValue(const Property& p) {
    if (p.type == "int")
        if (const auto v = ParseWhole(p.value)) return *v;
    if (p.type == "bool") return p.value == "true";
    return p.value;
}

Json propertiesJson(const Properties& properties) {
    Json list = Json::array();
    for (const Property& p : properties) list.push_back(Json{{"name", p.name}, {"type", p.type}, {"value", propertyValue(p)}});
    return list;
}

}  // namespace

ParseResult ReadTsj(std::span<const std::uint8_t> bytes, Tileset& out) {
    ParseResult r;
    Json root;
    try {
        root = Json::parse(bytes.begin(), bytes.end());
    } catch (const Json::parse_error& e) {
        std::string what = e.what();
        const auto column = what.find(", column ");
        const auto colon = column == std::string::npos ? std::string::npos : what.find(": ", column);
        if (colon != std::string::npos) what = what.substr(colon + 2);
        r.message = "JSON does not parse at " + PlaceOf(bytes, e.byte > 0 ? e.byte - 1 : 0) + ": " + what;
        return r;
    }
    if (!root.is_object()) {
        r.message = "is not a Tiled tileset (the JSON is not an object)";
        return r;
    }
    const std::string type = root.contains("type") && root["type"].is_string() ? root["type"].get<std::string>() : "";
    if (type == "map" || (type.empty() && root.contains("layers"))) {
        r.isMap = true;
        r.message = "is a Tiled map, not a tileset (export its tilesets from Tiled as .tsj files)";
        return r;
    }
    if (root.contains("source") && !root.contains("tilewidth")) {
        r.message = "only refers to the tileset \"" + valueText(root["source"]) + "\"";
        return r;
    }
    const bool looksLikeTileset = root.contains("tilewidth") || root.contains("tileheight") || root.contains("tiles") ||
                                  root.contains("image");
    if ((!type.empty() && type != "tileset") || (type.empty() && !looksLikeTileset)) {
        r.message = "is not a Tiled tileset (" + (type.empty() ? std::string("no tileset keys") : "its type is \"" + type + "\"") + ")";
        return r;
    }
    Reader reader{out, {}};
    if (!reader.tileset(root)) {
        r.message = reader.error;
        return r;
    }
    r.ok = true;
    return r;
}

std::string WriteTsj(const Tileset& tileset) {
    Json root;
    root["columns"] = 0;
    root["grid"] = Json{{"height", 1}, {"orientation", "orthogonal"}, {"width", 1}};
    root["margin"] = 0;
    root["name"] = tileset.name;
    if (!tileset.properties.empty()) root["properties"] = propertiesJson(tileset.properties);
    root["spacing"] = 0;
    root["tilecount"] = tileset.tiles.size();
    root["tileheight"] = tileset.tileHeight;
    Json tiles = Json::array();
    for (const Tile& t : tileset.tiles) {
        Json tile;
        tile["id"] = t.id;
        if (t.image) {
            tile["image"] = t.image->source;
            if (t.image->height >= 0) tile["imageheight"] = t.image->height;
            if (t.image->width >= 0) tile["imagewidth"] = t.image->width;
        }
        if (!t.properties.empty()) tile["properties"] = propertiesJson(t.properties);
        if (!t.type.empty()) tile["type"] = t.type;
        tiles.push_back(std::move(tile));
    }
    root["tiles"] = std::move(tiles);
    root["tilewidth"] = tileset.tileWidth;
    root["type"] = "tileset";
    root["version"] = "1.8";
    return root.dump(1, ' ', false, Json::error_handler_t::strict) + "\n";
}

}  // namespace marquetor::tiled
