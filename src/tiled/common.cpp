// What the readers, the writers, import and export share: numbers, places in a file, file
// kinds, the colour of a name.

#include <algorithm>
#include <charconv>
#include <cmath>

#include "document/text.h"
#include "tiled/formats.h"
#include "tiled/tiled.h"

namespace marquetor::tiled {

const Property* FindProperty(const Properties& properties, std::string_view name) {
    for (const Property& p : properties)
        if (p.name == name) return &p;
    return nullptr;
}

std::string PlaceOf(std::span<const std::uint8_t> bytes, std::size_t offset) {
    offset = std::min(offset, bytes.size());
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < offset; ++i) {
        if (bytes[i] == '\n') {
            ++line;
            column = 1;
        } else if ((bytes[i] & 0xC0) != 0x80) {   // a character, not the rest of one
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

std::optional<std::int64_t> ParseWhole(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\n' || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

InputKind KindOfPath(const std::filesystem::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == ".tsx" || ext == ".xml") return InputKind::Tsx;
    if (ext == ".tsj" || ext == ".json") return InputKind::Json;
    if (ext == ".tmx" || ext == ".tmj") return InputKind::Map;
    if (ext == ".png" || ext == ".jpg" || ext == ".jpeg" || ext == ".bmp" || ext == ".tga") return InputKind::Image;
    return InputKind::Unknown;
}

std::optional<ExportFormat> FormatOfPath(const std::filesystem::path& out) {
    switch (KindOfPath(out)) {
    case InputKind::Tsx:
        if (out.extension() == ".xml") break;
        return ExportFormat::Tsx;
    case InputKind::Json:
        return ExportFormat::Json;
    default:
        break;
    }
    return std::nullopt;
}

std::int32_t ColorForName(std::string_view name) {
    // FNV-1a over the bytes; the hue from it, saturation 0.5, value 0.85.
    std::uint32_t h = 2166136261u;
    for (const char c : name) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    const double hue = (h % 360) / 60.0;
    const double v = 0.85, s = 0.5;
    const double c = v * s;
    const double x = c * (1 - std::fabs(std::fmod(hue, 2.0) - 1));
    double r = 0, g = 0, b = 0;
    switch (static_cast<int>(hue)) {
    case 0: r = c, g = x; break;
    case 1: r = x, g = c; break;
    case 2: g = c, b = x; break;
    case 3: g = x, b = c; break;
    case 4: r = x, b = c; break;
    default: r = c, b = x; break;
    }
    const double m = v - c;
    auto channel = [&](double value) { return static_cast<std::int64_t>(std::lround((value + m) * 255)); };
    return document::MakeColor(channel(r), channel(g), channel(b));
}

}  // namespace marquetor::tiled
