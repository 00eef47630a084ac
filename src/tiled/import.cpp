// Import: a Tiled tileset (an atlas or an image collection) or a plain image cut into a
// grid, into a tile set. What an export keeps in custom properties is read back.

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include <nlohmann/json.hpp>

#include "platform/imagecodec/imagecodec.h"
#include "tiled/atlas.h"
#include "tiled/formats.h"
#include "tiled/metadata.h"
#include "tiled/texts.h"
#include "tiled/tiled.h"

namespace marquetor::tiled {

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// What an export wrote into the tileset's properties, read back.
struct Metadata {
    struct Material {
        std::string name;
        std::int32_t color = 0;
        std::string description;
    };
    struct Texture {
        std::string name;
        std::string file;
    };
    std::optional<std::int64_t> tileWidth, tileHeight;
    bool listsMaterials = false;   // the export's list is all the set had
    std::vector<Material> materials;
    std::vector<Texture> textures;
    std::vector<std::int64_t> tileOrder;
};

// A texture to be: its name and bytes.
struct NewTexture {
    std::string name;
    std::vector<std::uint8_t> bytes;
};

struct NewTile {
    std::int64_t tiledId = 0;
    std::int32_t id = 0;
    std::string texture;
    std::string material;
    std::int16_t layer = 0;
    std::int16_t collision = 0;
};

class Importer {
public:
    Importer(const fs::path& in, const FileSource& files, const ImportOptions& options, ImportResult& result)
        : m_in(in), m_files(files), m_options(options), m_result(result) {}

    bool run(Tileset& ts, document::TileSet& set);

private:
    bool fail(std::string message) {
        m_result.message = std::move(message);
        return false;
    }

    // A text property with its "<key>Encoding" beside it; false (message set) when the two
    // do not agree.
    bool textProperty(const Properties& props, std::string_view key, std::optional<std::string>& out, const std::string& where) {
        const Property* p = FindProperty(props, key);
        if (!p) return true;
        const Property* e = FindProperty(props, std::string(key) + std::string(keys::kEncodingSuffix));
        out = DecodeText(p->value, e ? std::string_view(e->value) : std::string_view());
        if (!out) return fail(where + ": the property " + std::string(key) + " is not " + (e ? e->value : "UTF-8") + " text");
        return true;
    }

    bool wholeProperty(const Properties& props, std::string_view key, std::optional<std::int64_t>& out, const std::string& where) {
        const Property* p = FindProperty(props, key);
        if (!p) return true;
        out = ParseWhole(p->value);
        if (!out) return fail(where + ": the property " + std::string(key) + " \"" + p->value + "\" is not a whole number");
        return true;
    }

    bool readMetadata(const Tileset& ts);
    bool readPicture(const Image& image, const std::string& where, std::vector<std::uint8_t>& bytes,
                     std::optional<imagecodec::RgbaImage>* decoded);
    bool cutAtlas(const Tileset& ts, std::vector<std::string>& cellTextures);
    bool collectImages(const Tileset& ts, std::vector<std::string>& tileTextures);
    std::string uniqueName(const std::string& wanted);
    std::string addTexture(std::string name, std::vector<std::uint8_t> bytes);
    bool makeTile(const Tile& t, const std::string& texture, bool hasImage, NewTile& out);
    void fill(document::TileSet& set, std::vector<NewTile>& tiles);
    bool addListedTextures();
    bool keepable(const std::vector<NewTile>& tiles);
    void reportLeftOut(Tileset& ts);

    fs::path resolve(const std::string& source) const {
        const fs::path p(source);
        return (p.is_absolute() ? p : m_in.parent_path() / p).lexically_normal();
    }
    std::string fallbackMaterial() const { return m_name; }

    fs::path m_in;
    const FileSource& m_files;
    const ImportOptions& m_options;
    ImportResult& m_result;
    std::string m_name;                                          // the tileset's name, or the file's
    Metadata m_meta;
    std::vector<NewTexture> m_textures;                          // in the order they are to be walked
    std::unordered_set<std::string> m_textureNames;
    std::unordered_map<std::string, std::string> m_byPath;       // resolved file -> texture name
    std::unordered_map<std::string, std::string> m_listedNames;  // resolved file -> name export gave it
    std::int64_t m_otherProperties = 0;
public:
    bool m_plainImage = false;                                   // the input is an image, not a tileset
private:
    std::vector<std::string> m_otherNames;
};

bool Importer::readMetadata(const Tileset& ts) {
    const Properties& props = ts.properties;
    if (!wholeProperty(props, keys::kTileWidth, m_meta.tileWidth, "the tileset") ||
        !wholeProperty(props, keys::kTileHeight, m_meta.tileHeight, "the tileset"))
        return false;
    auto parseList = [&](std::string_view key, Json& list) {
        const Property* p = FindProperty(props, key);
        if (!p) return true;
        list = Json::parse(p->value, nullptr, false);
        if (!list.is_array()) return fail("the tileset's property " + std::string(key) + " is not a JSON array");
        return true;
    };
    auto text = [&](const Json& record, const char* key, std::string& out, const std::string& where) {
        const auto v = record.find(key);
        if (v == record.end()) return true;
        const std::string encodingKey = std::string(key) + std::string(keys::kEncodingSuffix);
        const auto e = record.find(encodingKey);
        const std::string encoding = e != record.end() && e->is_string() ? e->get<std::string>() : "";
        std::optional<std::string> bytes = v->is_string() ? DecodeText(v->get<std::string>(), encoding) : std::nullopt;
        if (!bytes) return fail(where + ": \"" + key + "\" is not " + (encoding.empty() ? "UTF-8" : encoding) + " text");
        out = std::move(*bytes);
        return true;
    };
    Json materials, textures;
    if (!parseList(keys::kMaterials, materials) || !parseList(keys::kTextures, textures)) return false;
    m_meta.listsMaterials = FindProperty(props, keys::kMaterials) != nullptr;
    for (const Json& m : materials) {
        if (!m.is_object()) return fail(std::string(keys::kMaterials) + ": a material that is not a JSON object");
        Metadata::Material material;
        const std::string where = std::string(keys::kMaterials) + ": material " + std::to_string(m_meta.materials.size() + 1);
        if (!text(m, "name", material.name, where) || !text(m, "description", material.description, where)) return false;
        if (m.contains("color")) {
            if (!m["color"].is_number_integer() || m["color"].get<std::int64_t>() < INT32_MIN ||
                m["color"].get<std::int64_t>() > UINT32_MAX)
                return fail(where + ": its color is not a 32-bit number");
            material.color = static_cast<std::int32_t>(static_cast<std::uint32_t>(m["color"].get<std::int64_t>()));
        } else {
            material.color = ColorForName(material.name);
        }
        m_meta.materials.push_back(std::move(material));
    }
    for (const Json& t : textures) {
        if (!t.is_object() || !t.contains("file") || !t["file"].is_string())
            return fail(std::string(keys::kTextures) + ": a texture without a file");
        Metadata::Texture texture;
        const std::string where = std::string(keys::kTextures) + ": texture " + std::to_string(m_meta.textures.size() + 1);
        if (!text(t, "name", texture.name, where)) return false;
        texture.file = t["file"].get<std::string>();
        m_listedNames.emplace(resolve(texture.file).string(), texture.name);
        m_meta.textures.push_back(std::move(texture));
    }
    if (const Property* order = FindProperty(props, keys::kTileOrder)) {
        std::string_view rest = order->value;
        while (!rest.empty()) {
            const auto comma = rest.find(',');
            const auto id = ParseWhole(rest.substr(0, comma));
            if (!id) return fail("the tileset's property " + std::string(keys::kTileOrder) + " is not a list of ids");
            m_meta.tileOrder.push_back(*id);
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
    }
    return true;
}

// An image's bytes (a file or embedded), checked to be a picture the decoders take.
bool Importer::readPicture(const Image& image, const std::string& where, std::vector<std::uint8_t>& bytes,
                           std::optional<imagecodec::RgbaImage>* decoded) {
    // A plain image given to the import is the file itself ("is no picture"); otherwise the
    // message names the image.
    const std::string named = where.empty()    ? std::string()
                              : image.embedded ? where + ": the embedded image "
                                               : "the image \"" + image.source + "\" ";
    if (!image.embedded) {
        fileio::ReadResult read = m_files(resolve(image.source));
        if (!read.ok) return fail(named + "cannot be read: " + read.error);
        bytes = std::move(read.bytes);
    } else {
        bytes = image.bytes;
    }
    imagecodec::DecodeOptions options;
    options.maxPixels = m_options.maxPixels;
    std::optional<imagecodec::RgbaImage> picture = imagecodec::DecodeImage(bytes, options);
    if (!picture) {
        const auto size = imagecodec::ReadDimensions(bytes);
        if (size && !imagecodec::DimensionsAllowed(*size, m_options.maxPixels))
            return fail(named + "is larger than the decoders allow (" + std::to_string(size->width) + " x " +
                        std::to_string(size->height) + " pixels; at most " + std::to_string(imagecodec::kMaxSide) +
                        " a side and " + std::to_string(std::min(m_options.maxPixels, imagecodec::kMaxPixels)) + " in all)");
        return fail(named + "is no PNG, JPEG, BMP or TGA picture");
    }
    if (decoded) *decoded = std::move(picture);
    return true;
}

std::string Importer::uniqueName(const std::string& wanted) {
    std::string name = wanted;
    for (int n = 2; m_textureNames.count(name); ++n) {
        const auto dot = wanted.rfind('.');
        name = (dot == std::string::npos || dot == 0 ? wanted : wanted.substr(0, dot)) + "-" + std::to_string(n) +
               (dot == std::string::npos || dot == 0 ? std::string() : wanted.substr(dot));
    }
    return name;
}

std::string Importer::addTexture(std::string name, std::vector<std::uint8_t> bytes) {
    m_textureNames.insert(name);
    m_textures.push_back({name, std::move(bytes)});
    return name;
}

bool Importer::cutAtlas(const Tileset& ts, std::vector<std::string>& cellTextures) {
    const Image& image = *ts.image;
    if (ts.tileWidth <= 0 || ts.tileHeight <= 0)
        return fail("the tile size " + std::to_string(ts.tileWidth) + " x " + std::to_string(ts.tileHeight) +
                    " cuts no image into tiles");
    if (ts.margin < 0 || ts.spacing < 0) return fail("a negative margin or spacing");
    std::vector<std::uint8_t> bytes;
    std::optional<imagecodec::RgbaImage> picture;
    if (!readPicture(image, m_plainImage ? "" : "the tileset", bytes, &picture)) return false;
    if (!image.transparentColor.empty()) {
        std::string hex = image.transparentColor;
        if (!hex.empty() && hex[0] == '#') hex.erase(0, 1);
        std::uint32_t rgb = 0;
        bool valid = hex.size() == 6;
        for (const char c : hex) {
            const int v = std::isxdigit(static_cast<unsigned char>(c)) ? std::stoi(std::string(1, c), nullptr, 16) : -1;
            valid = valid && v >= 0;
            rgb = rgb << 4 | static_cast<std::uint32_t>(v < 0 ? 0 : v);
        }
        if (!valid) return fail("the transparent colour \"" + image.transparentColor + "\" is no RRGGBB colour");
        MakeColorTransparent(*picture, rgb);
    }
    const Grid grid = GridOf(picture->width, picture->height, ts.tileWidth, ts.tileHeight, ts.margin, ts.spacing);
    const std::string shape = std::to_string(picture->width) + " x " + std::to_string(picture->height) + " image";
    if (grid.cells() == 0)
        return fail("not one " + std::to_string(ts.tileWidth) + " x " + std::to_string(ts.tileHeight) + " cell fits the " +
                    shape + " (margin " + std::to_string(ts.margin) + ", spacing " + std::to_string(ts.spacing) + ")");
    if (grid.cells() > m_options.maxCells)
        return fail("the " + shape + " holds " + std::to_string(grid.cells()) + " cells of " + std::to_string(ts.tileWidth) +
                    " x " + std::to_string(ts.tileHeight) + ", more than the " + std::to_string(m_options.maxCells) +
                    " an import takes");
    if (ts.tileCount > grid.cells() || ts.columns > grid.columns)
        m_result.warnings.push_back("the tileset says " + std::to_string(std::max<std::int64_t>(ts.tileCount, 0)) +
                                    " tiles in " + std::to_string(std::max<std::int64_t>(ts.columns, 0)) + " columns; the " +
                                    shape + " holds " + std::to_string(grid.cells()) + " in " +
                                    std::to_string(grid.columns) + ", so it is cut to those");
    std::string stem = image.embedded ? m_name : fs::path(image.source).stem().string();
    if (stem.empty()) stem = "tile";
    for (std::int64_t row = 0; row < grid.rows; ++row)
        for (std::int64_t column = 0; column < grid.columns; ++column) {
            const std::int64_t x = ts.margin + column * (ts.tileWidth + ts.spacing);
            const std::int64_t y = ts.margin + row * (ts.tileHeight + ts.spacing);
            auto png = EncodePng(CutCell(*picture, x, y, ts.tileWidth, ts.tileHeight));
            if (!png) return fail("not enough memory to write the cells as PNG");
            const std::int64_t id = row * grid.columns + column;
            cellTextures.push_back(addTexture(uniqueName(stem + "_" + std::to_string(id) + ".png"), std::move(*png)));
        }
    return true;
}

// An image collection: each tile's picture becomes a texture (one per file).
bool Importer::collectImages(const Tileset& ts, std::vector<std::string>& tileTextures) {
    std::int64_t transparent = 0;
    for (const Tile& t : ts.tiles) {
        std::string texture;
        const std::string where = "tile " + std::to_string(t.id);
        const bool picture = t.image && !(t.image->embedded && t.image->bytes.empty());
        if (picture) {
            const Image& image = *t.image;
            if (!image.transparentColor.empty()) ++transparent;
            const std::string key = image.embedded ? std::string() : resolve(image.source).string();
            const bool whole = !t.rect || ((*t.rect)[0] == 0 && (*t.rect)[1] == 0 && (*t.rect)[2] < 0);
            if (!key.empty() && whole && m_byPath.count(key)) {
                texture = m_byPath[key];
            } else {
                std::vector<std::uint8_t> bytes;
                std::optional<imagecodec::RgbaImage> decoded;
                if (!readPicture(image, where, bytes, &decoded)) return false;
                std::string wanted;
                if (image.embedded) {
                    static const char* const kExtensions[] = {"bin", "png", "jpg", "bmp", "tga"};
                    wanted = m_name + "_" + std::to_string(t.id) + "." +
                             kExtensions[static_cast<int>(imagecodec::DetectFormat(bytes))];
                } else {
                    const auto listed = m_listedNames.find(key);
                    wanted = listed != m_listedNames.end() && whole ? listed->second : fs::path(image.source).filename().string();
                }
                if (!whole) {
                    // A part of the picture (Tiled 1.9): that part becomes a picture of its own.
                    auto [x, y, w, h] = *t.rect;
                    if (w < 0) w = decoded->width - x;
                    if (h < 0) h = decoded->height - y;
                    if (x < 0 || y < 0 || w <= 0 || h <= 0 || x + w > decoded->width || y + h > decoded->height)
                        return fail(where + ": its part of the image lies outside the image");
                    auto png = EncodePng(CutCell(*decoded, x, y, w, h));
                    if (!png) return fail("not enough memory to write the cells as PNG");
                    bytes = std::move(*png);
                    wanted = fs::path(wanted).stem().string() + "_" + std::to_string(t.id) + ".png";
                }
                texture = addTexture(uniqueName(wanted), std::move(bytes));
                if (!key.empty() && whole) m_byPath.emplace(key, texture);
            }
        }
        tileTextures.push_back(picture ? texture : std::string());
    }
    if (transparent > 0) m_result.warnings.push_back(
        "the transparent colour of " + std::to_string(transparent) + " tile images is left out (their files are kept as they are)");
    return true;
}

bool Importer::makeTile(const Tile& t, const std::string& texture, bool hasImage, NewTile& out) {
    std::string where = "tile " + std::to_string(t.id);
    std::optional<std::int64_t> id, layer, collision;
    if (!wholeProperty(t.properties, keys::kId, id, where)) return false;
    const std::int64_t chosen = id ? *id : t.id;
    if (chosen < INT32_MIN || chosen > INT32_MAX) return fail(where + ": the ID " + std::to_string(chosen) + " does not fit 32 bits");
    out.tiledId = t.id;
    out.id = static_cast<std::int32_t>(chosen);
    if (!wholeProperty(t.properties, keys::kLayer, layer, where) ||
        !wholeProperty(t.properties, keys::kCollision, collision, where))
        return false;
    for (const auto& [value, name, field] : {std::tuple{layer, "layer", &out.layer}, std::tuple{collision, "collision", &out.collision}}) {
        if (!value) continue;
        if (*value < INT16_MIN || *value > INT16_MAX)
            return fail(where + ": the " + name + " " + std::to_string(*value) + " does not fit the file's -32768 to 32767");
        *field = static_cast<std::int16_t>(*value);
    }
    std::optional<std::string> material, textureName;
    if (!textProperty(t.properties, keys::kMaterial, material, where) ||
        !textProperty(t.properties, keys::kTexture, textureName, where))
        return false;
    out.material = material ? *material : !t.type.empty() ? t.type : fallbackMaterial();
    out.texture = hasImage ? texture : textureName ? *textureName : std::string();
    for (const Property& p : t.properties) {
        const std::string_view n = p.name;
        const bool ours = n == keys::kId || n == keys::kLayer || n == keys::kCollision || n == keys::kMaterial ||
                          n == keys::kTexture || n == "materialEncoding" || n == "textureEncoding";
        if (!ours) {
            ++m_otherProperties;
            if (std::find(m_otherNames.begin(), m_otherNames.end(), p.name) == m_otherNames.end()) m_otherNames.push_back(p.name);
        }
    }
    return true;
}

void Importer::fill(document::TileSet& set, std::vector<NewTile>& tiles) {
    // Materials: the list an export wrote, which is all the set had (a tile may name a
    // material that is not there, as in the editor); otherwise one per name the tiles use,
    // in order of first use.
    for (const auto& m : m_meta.materials) document::AddMaterial(set, m.name, m.color, m.description);
    if (!m_meta.listsMaterials)
        for (const NewTile& t : tiles)
            if (!document::FindMaterial(set, t.material)) document::AddMaterial(set, t.material, ColorForName(t.material), "");
    // Textures: entered last to first, so that names sharing a bucket of the texture map are
    // walked in the order given (a walk visits the most recently entered first).
    for (auto it = m_textures.rbegin(); it != m_textures.rend(); ++it) {
        const auto size = static_cast<std::int32_t>(it->bytes.size());
        std::unique_ptr<std::uint8_t[]> block;
        if (size > 0) {
            block = std::make_unique<std::uint8_t[]>(it->bytes.size());
            std::copy(it->bytes.begin(), it->bytes.end(), block.get());
        }
        document::PutTexture(set, it->name, std::move(block), size);
    }
    document::TileGroup* group = document::LookUpTileGroup(set, document::kTileGroup);
    for (const NewTile& t : tiles) document::AddTile(*group, t.id, t.texture, t.material, t.layer, t.collision);
}

// Textures the export listed that no tile showed (unused ones, and those of tiles without a
// picture) come from their files, bytes as they are; then all are put in the export's order,
// the rest after them in order of first use.
bool Importer::addListedTextures() {
    std::vector<NewTexture> listed;
    for (const auto& entry : m_meta.textures) {
        const std::string key = resolve(entry.file).string();
        if (m_byPath.count(key) || m_textureNames.count(entry.name)) continue;
        fileio::ReadResult read = m_files(resolve(entry.file));
        if (!read.ok) return fail("the texture file \"" + entry.file + "\" cannot be read: " + read.error);
        m_textureNames.insert(entry.name);
        m_byPath.emplace(key, entry.name);
        m_textures.push_back({entry.name, std::move(read.bytes)});
    }
    if (!m_meta.textures.empty()) {
        std::unordered_map<std::string, std::size_t> rank;
        for (const auto& entry : m_meta.textures) rank.emplace(entry.name, rank.size());
        std::stable_sort(m_textures.begin(), m_textures.end(), [&](const NewTexture& a, const NewTexture& b) {
            const auto ra = rank.find(a.name), rb = rank.find(b.name);
            return (ra == rank.end() ? rank.size() : ra->second) < (rb == rank.end() ? rank.size() : rb->second);
        });
    }

    return true;
}

// Texts a tile set cannot keep: its file ends a text at a line break or a zero byte.
bool Importer::keepable(const std::vector<NewTile>& tiles) {
    const auto unkeepable = [](std::string_view text) {
        return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
    };
    const std::string cannot = " holds a line break or a zero byte, which a tile set cannot keep";
    for (const auto& m : m_meta.materials)
        if (unkeepable(m.name) || unkeepable(m.description))
            return fail("the material \"" + EncodeText(m.name).value + "\"" + cannot);
    for (const NewTexture& t : m_textures)
        if (unkeepable(t.name)) return fail("the texture name \"" + EncodeText(t.name).value + "\"" + cannot);
    for (const NewTile& t : tiles)
        if (unkeepable(t.material) || unkeepable(t.texture))
            return fail("tile " + std::to_string(t.id) + ": its material or texture name" + cannot);

    return true;
}

// One line on what the tileset holds that a tile set has no place for.
void Importer::reportLeftOut(Tileset& ts) {
    if (m_otherProperties > 0) {
        std::string names;
        for (std::size_t i = 0; i < m_otherNames.size() && i < 3; ++i) names += (i ? ", " : "") + m_otherNames[i];
        if (m_otherNames.size() > 3) names += ", ...";
        ts.unsupported["other tile properties (" + names + ")"] = m_otherProperties;
    }
    for (const Property& p : ts.properties)
        if (p.name.rfind("marquetor.", 0) != 0) ++ts.unsupported["tileset properties"];
    if (!ts.unsupported.empty()) {
        std::string line = "left out what a tile set has no place for:";
        bool first = true;
        for (const auto& [what, count] : ts.unsupported) {
            line += (first ? " " : ", ") + what + " (" + std::to_string(count) + ")";
            first = false;
        }
        m_result.warnings.push_back(line);
    }
}

bool Importer::run(Tileset& ts, document::TileSet& set) {
    m_name = ts.name.empty() ? m_in.stem().string() : ts.name;
    if (!readMetadata(ts)) return false;
    const std::int64_t width = m_meta.tileWidth.value_or(ts.tileWidth), height = m_meta.tileHeight.value_or(ts.tileHeight);
    if (width < INT32_MIN || width > INT32_MAX || height < INT32_MIN || height > INT32_MAX)
        return fail("the tile size " + std::to_string(width) + " x " + std::to_string(height) + " does not fit 32 bits");

    std::vector<std::string> textures;
    std::vector<const Tile*> order;
    std::vector<Tile> cells;
    if (ts.image) {
        if (!cutAtlas(ts, textures)) return false;
        // One tile per cell; the file's <tile> entries give their properties.
        std::unordered_map<std::int64_t, const Tile*> entries;
        for (const Tile& t : ts.tiles) entries.emplace(t.id, &t);
        std::int64_t beyond = 0;
        for (const Tile& t : ts.tiles) beyond += t.id < 0 || t.id >= static_cast<std::int64_t>(textures.size());
        if (beyond > 0)
            m_result.warnings.push_back(std::to_string(beyond) + " tile entries beyond the image's cells are left out");
        cells.resize(textures.size());
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const auto found = entries.find(static_cast<std::int64_t>(i));
            if (found != entries.end()) cells[i] = *found->second;
            cells[i].id = static_cast<std::int64_t>(i);
            order.push_back(&cells[i]);
        }
    } else {
        if (!collectImages(ts, textures)) return false;
        for (const Tile& t : ts.tiles) order.push_back(&t);
    }

    if (!addListedTextures()) return false;

    std::vector<NewTile> tiles(order.size());
    std::unordered_set<std::int32_t> seen;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const bool hasImage = !textures[i].empty();
        if (!makeTile(*order[i], textures[i], hasImage, tiles[i])) return false;
        if (!seen.insert(tiles[i].id).second) return fail("the tile ID " + std::to_string(tiles[i].id) + " is there twice");
        if (!ts.image && !hasImage && !FindProperty(order[i]->properties, keys::kTexture))
            m_result.warnings.push_back("tile " + std::to_string(order[i]->id) + " has no image");
    }
    // The export's tile order, when it is the order of these very tiles.
    if (m_meta.tileOrder.size() == tiles.size()) {
        std::unordered_map<std::int64_t, std::size_t> at;
        for (std::size_t i = 0; i < tiles.size(); ++i) at.emplace(tiles[i].tiledId, i);
        std::vector<NewTile> sorted;
        for (const std::int64_t id : m_meta.tileOrder) {
            const auto found = at.find(id);
            if (found == at.end()) break;
            sorted.push_back(tiles[found->second]);
            at.erase(found);
        }
        if (sorted.size() == tiles.size()) tiles = std::move(sorted);
    }

    if (!keepable(tiles)) return false;

    document::ClearMaterials(set);
    document::ClearTextures(set);
    if (!document::LookUpTileGroup(set, document::kTileGroup)) document::AddTileGroup(set, document::kTileGroup);
    document::ClearTileGroup(set, document::kTileGroup);
    set.tileWidth = static_cast<std::int32_t>(width);
    set.tileHeight = static_cast<std::int32_t>(height);
    fill(set, tiles);

    reportLeftOut(ts);
    return true;
}

std::optional<InputKind> sniff(std::span<const std::uint8_t> bytes) {
    std::size_t i = 0;
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) i = 3;
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\n' || bytes[i] == '\r')) ++i;
    if (i < bytes.size() && bytes[i] == '<') return InputKind::Tsx;
    if (i < bytes.size() && bytes[i] == '{') return InputKind::Json;
    if (imagecodec::DetectFormat(bytes) != imagecodec::Format::Unknown) return InputKind::Image;
    return std::nullopt;
}

}  // namespace

ImportResult ImportFromMemory(std::span<const std::uint8_t> bytes, InputKind kind, const std::filesystem::path& in,
                              const FileSource& files, const ImportOptions& options, document::TileSet& set) {
    ImportResult result;
    if (kind == InputKind::Unknown) {
        const auto sniffed = sniff(bytes);
        if (!sniffed) {
            result.message = "is neither a Tiled tileset (.tsx, .tsj, .json) nor a PNG, JPEG, BMP or TGA image";
            return result;
        }
        kind = *sniffed;
    }
    if (kind == InputKind::Map) {
        result.message = "is a Tiled map, not a tileset (export its tilesets from Tiled as .tsx or .tsj files)";
        return result;
    }
    Tileset ts;
    if (kind == InputKind::Image) {
        if (options.tileWidth <= 0 || options.tileHeight <= 0) {
            result.message = "an image needs a tile size to be cut into tiles";
            return result;
        }
        ts.name = in.stem().string();
        ts.tileWidth = options.tileWidth;
        ts.tileHeight = options.tileHeight;
        ts.margin = options.margin;
        ts.spacing = options.spacing;
        Image image;
        image.embedded = true;
        image.bytes.assign(bytes.begin(), bytes.end());
        image.source = in.filename().string();
        ts.image = std::move(image);
    } else {
        const ParseResult parsed = kind == InputKind::Tsx ? ReadTsx(bytes, ts) : ReadTsj(bytes, ts);
        if (!parsed.ok) {
            result.message = parsed.message;
            return result;
        }
    }
    Importer importer(in, files, options, result);
    importer.m_plainImage = kind == InputKind::Image;
    if (importer.run(ts, set)) result.status = ImportStatus::Ok;
    return result;
}

ImportResult ImportTileSet(const std::filesystem::path& in, const ImportOptions& options, document::TileSet& set) {
    const fileio::ReadResult read = fileio::ReadWholeFile(in, kMaxInputBytes);
    if (!read.ok) {
        ImportResult result;
        result.message = "cannot be read: " + read.error;
        return result;
    }
    const FileSource files = [](const std::filesystem::path& path) { return fileio::ReadWholeFile(path, kMaxInputBytes); };
    return ImportFromMemory(read.bytes, KindOfPath(in), in, files, options, set);
}

}  // namespace marquetor::tiled
