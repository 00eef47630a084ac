#include "problems/problems.h"

#include <locale.h>
#include <wctype.h>

#include <unordered_map>

#include "document/text.h"

namespace marquetor::problems {

namespace {

using document::Tile;
using document::TileSet;

// The C library's case mapping for all of Unicode; plain ASCII when that locale is missing.
locale_t utf8Locale() {
    static const locale_t locale = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
}

// Reports names (in the order given) that fold to the same text, one finding per group.
template <class Names>
void reportCaseGroups(Problem problem, const Names& names, const std::function<void(const Finding&)>& report) {
    std::unordered_map<std::string, std::size_t> groupOf;
    std::vector<std::vector<std::string_view>> groups;
    for (const std::string_view name : names) {
        const auto [it, fresh] = groupOf.emplace(FoldCase(name), groups.size());
        if (fresh) groups.emplace_back();
        groups[it->second].push_back(name);
    }
    for (auto& group : groups) {
        if (group.size() < 2) continue;
        Finding f{problem};
        f.names = std::move(group);
        report(f);
    }
}

void appendQuoted(std::string& out, std::string_view bytes) { document::AppendQuotedText(out, bytes); }

void appendNumber(std::string& out, std::int64_t v) { document::AppendNumberText(out, v); }

void appendNameList(std::string& out, const std::vector<std::string_view>& names) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += i + 1 == names.size() ? " and " : ", ";
        appendQuoted(out, names[i]);
    }
}

}  // namespace

const char* ProblemName(Problem problem) {
    switch (problem) {
    case Problem::DataEndedEarly: return "data-ended-early";
    case Problem::TileWidth: return "tile-width";
    case Problem::TileHeight: return "tile-height";
    case Problem::MaterialNameCase: return "material-name-case";
    case Problem::TextureNotAPicture: return "texture-not-a-picture";
    case Problem::TextureExtension: return "texture-extension";
    case Problem::TextureNameCase: return "texture-name-case";
    case Problem::MissingTexture: return "missing-texture";
    case Problem::MissingMaterial: return "missing-material";
    case Problem::LayerOutOfRange: return "layer-out-of-range";
    case Problem::CollisionOutOfRange: return "collision-out-of-range";
    }
    return "unknown";
}

std::string FoldCase(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    bool ascii = true;
    for (const char c : bytes) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) {
        for (const char c : bytes) out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        return out;
    }
    const std::string shown = document::BytesToUtf8(bytes);   // valid UTF-8 from here on
    const auto* p = reinterpret_cast<const unsigned char*>(shown.data());
    const auto* end = p + shown.size();
    const locale_t locale = utf8Locale();
    while (p < end) {
        char32_t cp = document::NextUtf8(p);
        if (locale != static_cast<locale_t>(nullptr)) cp = static_cast<char32_t>(::towlower_l(static_cast<wint_t>(cp), locale));
        else if (cp >= 'A' && cp <= 'Z') cp += 'a' - 'A';
        document::AppendUtf8(out, cp);
    }
    return out;
}

void CheckTileSet(const TileSet& set, bool dataEndedEarly, const IsPicture& isPicture,
                  const std::function<void(const Finding&)>& report) {
    if (dataEndedEarly) report(Finding{Problem::DataEndedEarly});
    if (!TileSideUsable(set.tileWidth)) {
        Finding f{Problem::TileWidth};
        f.value = set.tileWidth;
        report(f);
    }
    if (!TileSideUsable(set.tileHeight)) {
        Finding f{Problem::TileHeight};
        f.value = set.tileHeight;
        report(f);
    }

    std::vector<std::string_view> materialNames;
    materialNames.reserve(set.materials.size());
    for (const auto& m : set.materials.items()) materialNames.push_back(m->name);
    reportCaseGroups(Problem::MaterialNameCase, materialNames, report);

    std::vector<std::string_view> textureNames;
    set.textures.forEach([&](const document::Texture& t) {
        textureNames.push_back(t.name);
        if (!isPicture(t.data())) {
            Finding f{Problem::TextureNotAPicture};
            f.name = t.name;
            f.value = t.size;
            report(f);
        }
        if (!document::HasTextureExtension(t.name)) {
            Finding f{Problem::TextureExtension};
            f.name = t.name;
            report(f);
        }
    });
    reportCaseGroups(Problem::TextureNameCase, textureNames, report);

    const document::TileGroup* group = document::LookUpTileGroup(set, document::kTileGroup);
    if (!group) return;
    TileNames names;
    for (const auto& t : group->tiles.items()) {
        const Tile& tile = *t;
        auto tileFinding = [&](Problem problem) {
            Finding f{problem};
            f.tile = &tile;
            report(f);
        };
        if (!names.textureHeld(set, tile)) tileFinding(Problem::MissingTexture);
        if (!names.materialHeld(set, tile)) tileFinding(Problem::MissingMaterial);
        if (!LayerInRange(tile.layer)) tileFinding(Problem::LayerOutOfRange);
        if (!CollisionInRange(tile.collision)) tileFinding(Problem::CollisionOutOfRange);
    }
}

void AppendFindingText(std::string& out, const Finding& f) {
    auto tile = [&] {
        out += "tile ";
        appendNumber(out, f.tile->id);
        out += ": ";
    };
    switch (f.problem) {
    case Problem::DataEndedEarly:
        out += "the data ended early: only part of the tile set was read";
        break;
    case Problem::TileWidth:
    case Problem::TileHeight:
        out += f.problem == Problem::TileWidth ? "tile width " : "tile height ";
        appendNumber(out, f.value);
        out += ": a tile must be at least 1 pixel";
        out += f.problem == Problem::TileWidth ? " wide" : " high";
        break;
    case Problem::MaterialNameCase:
    case Problem::TextureNameCase:
        out += f.problem == Problem::MaterialNameCase ? "materials " : "textures ";
        appendNameList(out, f.names);
        out += ": the names differ only in letter case";
        break;
    case Problem::TextureNotAPicture:
        out += "texture ";
        appendQuoted(out, f.name);
        out += f.value == 0 ? ": it holds no bytes, so no picture" : ": its bytes do not decode as a PNG, JPEG, BMP or TGA picture";
        break;
    case Problem::TextureExtension:
        out += "texture ";
        appendQuoted(out, f.name);
        out += ": the Textures tab imports only names ending in .png, .jpg, .bmp or .tga";
        break;
    case Problem::MissingTexture:
        tile();
        out += "texture ";
        appendQuoted(out, f.tile->texture);
        out += " is not in the tile set";
        break;
    case Problem::MissingMaterial:
        tile();
        out += "material ";
        appendQuoted(out, f.tile->material);
        out += " is not in the tile set";
        break;
    case Problem::LayerOutOfRange:
        tile();
        out += "layer ";
        appendNumber(out, f.tile->layer);
        out += " is outside 0-255";
        break;
    case Problem::CollisionOutOfRange:
        tile();
        out += "collision class ";
        appendNumber(out, f.tile->collision);
        out += " is outside 0-5";
        break;
    }
}

std::string FindingText(const Finding& finding) {
    std::string text;
    AppendFindingText(text, finding);
    return text;
}

}  // namespace marquetor::problems
