// TSX, Tiled's XML tileset format, through pugixml.

#include <algorithm>
#include <sstream>

#include <pugixml.hpp>

#include "tiled/base64.h"
#include "tiled/formats.h"

namespace marquetor::tiled {

namespace {

struct Reader {
    std::span<const std::uint8_t> bytes;
    Tileset& out;
    std::string error;

    // An attribute as a whole number; `fallback` when absent. False (error set) when it is
    // present and no whole number.
    bool whole(const pugi::xml_node& node, const char* name, std::int64_t& value, std::int64_t fallback,
               const std::string& where) {
        const pugi::xml_attribute a = node.attribute(name);
        if (!a) {
            value = fallback;
            return true;
        }
        const auto parsed = ParseWhole(a.value());
        if (!parsed) {
            error = where + ": " + name + " \"" + a.value() + "\" is not a whole number";
            return false;
        }
        value = *parsed;
        return true;
    }

    // <properties>: each <property name type value> (or its value as text, for text over
    // several lines). Properties of a class type hold properties of their own: kept as one
    // property of type "class" that nothing reads.
    void properties(const pugi::xml_node& node, Properties& into) {
        for (const pugi::xml_node p : node.child("properties").children("property")) {
            Property property;
            property.name = p.attribute("name").value();
            property.type = p.attribute("type") ? p.attribute("type").value() : "string";
            property.value = p.attribute("value") ? p.attribute("value").value() : p.text().get();
            into.push_back(std::move(property));
        }
    }

    bool image(const pugi::xml_node& node, Image& img, const std::string& where) {
        img.source = node.attribute("source").value();
        img.format = node.attribute("format").value();
        img.transparentColor = node.attribute("trans").value();
        if (!whole(node, "width", img.width, -1, where + ": image") || !whole(node, "height", img.height, -1, where + ": image"))
            return false;
        const pugi::xml_node data = node.child("data");
        if (data && !node.attribute("source")) {
            img.embedded = true;
            const std::string encoding = data.attribute("encoding").value();
            if (encoding != "base64") {
                error = where + ": an embedded image in the encoding \"" + encoding + "\" (only base64 is read)";
                return false;
            }
            if (data.attribute("compression") && *data.attribute("compression").value()) {
                error = where + ": a compressed embedded image (" + data.attribute("compression").value() + ")";
                return false;
            }
            if (!DecodeBase64(data.text().get(), img.bytes)) {
                error = where + ": the embedded image is not valid base64";
                return false;
            }
        } else if (!node.attribute("source")) {
            img.embedded = true;   // <image width height/> alone: a tile without a picture
        }
        return true;
    }

    bool tile(const pugi::xml_node& node) {
        Tile t;
        const std::string where = std::string("tile ") + (node.attribute("id") ? node.attribute("id").value() : "?");
        if (!node.attribute("id")) {
            error = "a <tile> without an id";
            return false;
        }
        if (!whole(node, "id", t.id, 0, "a <tile>")) return false;
        t.type = node.attribute("class") ? node.attribute("class").value() : node.attribute("type").value();
        if (node.attribute("x") || node.attribute("width")) {
            std::array<std::int64_t, 4> r{};
            if (!whole(node, "x", r[0], 0, where) || !whole(node, "y", r[1], 0, where) ||
                !whole(node, "width", r[2], -1, where) || !whole(node, "height", r[3], -1, where))
                return false;
            t.rect = r;
        }
        properties(node, t.properties);
        if (const pugi::xml_node img = node.child("image")) {
            Image image;
            if (!this->image(img, image, where)) return false;
            t.image = std::move(image);
        }
        if (node.attribute("terrain")) ++out.unsupported["terrain corners"];
        if (node.attribute("probability")) ++out.unsupported["probabilities"];
        if (node.child("objectgroup")) ++out.unsupported["collision shapes"];
        if (node.child("animation")) ++out.unsupported["animations"];
        out.tiles.push_back(std::move(t));
        return true;
    }

    bool tileset(const pugi::xml_node& root) {
        out.name = root.attribute("name").value();
        if (!whole(root, "tilewidth", out.tileWidth, 0, "the tileset") ||
            !whole(root, "tileheight", out.tileHeight, 0, "the tileset") ||
            !whole(root, "margin", out.margin, 0, "the tileset") || !whole(root, "spacing", out.spacing, 0, "the tileset") ||
            !whole(root, "tilecount", out.tileCount, -1, "the tileset") ||
            !whole(root, "columns", out.columns, -1, "the tileset"))
            return false;
        for (const char* setting : {"objectalignment", "tilerendersize", "fillmode", "backgroundcolor"})
            if (root.attribute(setting)) ++out.unsupported[setting];
        properties(root, out.properties);
        if (const pugi::xml_node img = root.child("image")) {
            Image image;
            if (!this->image(img, image, "the tileset")) return false;
            out.image = std::move(image);
        }
        if (root.child("tileoffset")) ++out.unsupported["tile offset"];
        if (root.child("transformations")) ++out.unsupported["transformations"];
        for (const pugi::xml_node t : root.child("terraintypes").children("terrain")) {
            (void)t;
            ++out.unsupported["terrains"];
        }
        for (const pugi::xml_node w : root.child("wangsets").children("wangset")) {
            (void)w;
            ++out.unsupported["Wang sets"];
        }
        for (const pugi::xml_node t : root.children("tile"))
            if (!tile(t)) return false;
        return true;
    }
};

void writeProperties(pugi::xml_node parent, const Properties& properties) {
    if (properties.empty()) return;
    pugi::xml_node list = parent.append_child("properties");
    for (const Property& p : properties) {
        pugi::xml_node node = list.append_child("property");
        node.append_attribute("name") = p.name.c_str();
        if (p.type != "string") node.append_attribute("type") = p.type.c_str();
        // Text over several lines goes between the tags, as Tiled writes it (an attribute
        // would turn its line breaks into blanks).
        if (p.value.find('\n') != std::string::npos) node.text().set(p.value.c_str());
        else node.append_attribute("value") = p.value.c_str();
    }
}

}  // namespace

ParseResult ReadTsx(std::span<const std::uint8_t> bytes, Tileset& out) {
    ParseResult r;
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default);
    if (!parsed) {
        r.message = "XML does not parse at " + PlaceOf(bytes, static_cast<std::size_t>(std::max<std::ptrdiff_t>(parsed.offset, 0))) +
                    ": " + parsed.description();
        return r;
    }
    const pugi::xml_node root = doc.document_element();
    const std::string rootName = root.name();
    if (rootName == "map") {
        r.isMap = true;
        r.message = "is a Tiled map, not a tileset (export its tilesets from Tiled as .tsx files)";
        return r;
    }
    if (rootName != "tileset") {
        r.message = "is not a Tiled tileset (its first element is <" + rootName + ">, not <tileset>)";
        return r;
    }
    if (root.attribute("source")) {
        r.message = std::string("only refers to the tileset \"") + root.attribute("source").value() + "\"";
        return r;
    }
    Reader reader{bytes, out, {}};
    if (!reader.tileset(root)) {
        r.message = reader.error;
        return r;
    }
    r.ok = true;
    return r;
}

std::string WriteTsx(const Tileset& tileset) {
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("tileset");
    root.append_attribute("version") = "1.8";
    root.append_attribute("name") = tileset.name.c_str();
    root.append_attribute("tilewidth") = static_cast<long long>(tileset.tileWidth);
    root.append_attribute("tileheight") = static_cast<long long>(tileset.tileHeight);
    root.append_attribute("tilecount") = static_cast<long long>(tileset.tiles.size());
    root.append_attribute("columns") = 0;
    pugi::xml_node grid = root.append_child("grid");
    grid.append_attribute("orientation") = "orthogonal";
    grid.append_attribute("width") = 1;
    grid.append_attribute("height") = 1;
    writeProperties(root, tileset.properties);
    for (const Tile& t : tileset.tiles) {
        pugi::xml_node node = root.append_child("tile");
        node.append_attribute("id") = static_cast<long long>(t.id);
        if (!t.type.empty()) node.append_attribute("type") = t.type.c_str();
        writeProperties(node, t.properties);
        if (t.image) {
            pugi::xml_node image = node.append_child("image");
            if (t.image->width >= 0) image.append_attribute("width") = static_cast<long long>(t.image->width);
            if (t.image->height >= 0) image.append_attribute("height") = static_cast<long long>(t.image->height);
            image.append_attribute("source") = t.image->source.c_str();
        }
    }
    std::ostringstream text;
    doc.save(text, " ", pugi::format_default | pugi::format_no_declaration, pugi::encoding_utf8);
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + text.str();
}

}  // namespace marquetor::tiled
