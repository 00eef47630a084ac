#include "cli/check.h"

#include "cli/jsontext.h"
#include "document/text.h"
#include "platform/imagecodec/imagecodec.h"

namespace marquetor::cli {

namespace {

void appendQuoted(std::string& out, std::string_view bytes) { document::AppendQuotedText(out, bytes); }

void appendNumber(std::string& out, std::int64_t v) { document::AppendNumberText(out, v); }

}  // namespace

void CheckTileSet(const document::TileSet& set, bool dataEndedEarly, const std::function<void(const Finding&)>& report) {
    // Each texture decoded once, at full size: a game shows it whole.
    const auto decodes = [](std::span<const std::uint8_t> bytes) { return imagecodec::DecodeImage(bytes).has_value(); };
    problems::CheckTileSet(set, dataEndedEarly, decodes, report);
}

void AppendFindingJson(std::string& out, const Finding& f) {
    auto key = [&](const char* name) {
        out += ",\"";
        out += name;
        out += "\":";
    };
    // A text with the key that marks a Windows-1252 reading, as dump writes it.
    auto text = [&](const char* name, std::string_view bytes) {
        key(name);
        appendQuoted(out, bytes);
        if (!document::IsValidUtf8(bytes)) {
            key(EncodingKey(name).c_str());
            out += "\"windows-1252\"";
        }
    };
    out += "{\"problem\":\"";
    out += ProblemName(f.problem);
    out += "\",\"record\":\"";
    switch (f.problem) {
    case Problem::DataEndedEarly: out += "file\""; break;
    case Problem::TileWidth:
    case Problem::TileHeight:
        out += "tileSet\"";
        key(f.problem == Problem::TileWidth ? "tileWidth" : "tileHeight");
        appendNumber(out, f.value);
        break;
    case Problem::MaterialNameCase:
    case Problem::TextureNameCase:
        out += f.problem == Problem::MaterialNameCase ? "material\"" : "texture\"";
        key("names");
        out += '[';
        for (std::size_t i = 0; i < f.names.size(); ++i) {
            if (i > 0) out += ',';
            appendQuoted(out, f.names[i]);
        }
        out += ']';
        break;
    case Problem::TextureNotAPicture:
    case Problem::TextureExtension:
        out += "texture\"";
        text("name", f.name);
        break;
    case Problem::MissingTexture:
    case Problem::MissingMaterial:
    case Problem::LayerOutOfRange:
    case Problem::CollisionOutOfRange:
        out += "tile\"";
        key("id");
        appendNumber(out, f.tile->id);
        if (f.problem == Problem::MissingTexture) text("texture", f.tile->texture);
        if (f.problem == Problem::MissingMaterial) text("material", f.tile->material);
        if (f.problem == Problem::LayerOutOfRange) key("layer"), appendNumber(out, f.tile->layer);
        if (f.problem == Problem::CollisionOutOfRange) key("collision"), appendNumber(out, f.tile->collision);
        break;
    }
    key("message");
    std::string message;
    AppendFindingText(message, f);
    appendQuoted(out, message);
    out += '}';
}

}  // namespace marquetor::cli
