// Writes the seeds of fuzz_tiled (deterministic; commit the result): tilesets as export
// writes them, atlases, Tiled 1.0's JSON, embedded images, and plain images cut into tiles,
// each with the picture its images read. Usage: make_tiled_fuzz_seeds FOLDER
#include <cstdio>
#include <filesystem>
#include <string>

#include "imagewrite.h"
#include "tiled/tiled.h"

using namespace marquetor;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

imagecodec::RgbaImage picture(int w, int h) {
    imagecodec::RgbaImage image{w, h, {}};
    for (int i = 0; i < w * h; ++i)
        image.pixels.insert(image.pixels.end(), {std::uint8_t(i * 7), std::uint8_t(i * 13), std::uint8_t(i), std::uint8_t(i % 4 ? 255 : 0)});
    return image;
}

// The fuzz target's input: kind, tile size, the tileset's length, the tileset, the picture.
Bytes seed(int kind, int tile, const std::string& tileset, const Bytes& image) {
    Bytes out{std::uint8_t(kind), std::uint8_t(tile), std::uint8_t(tileset.size() & 0xFF), std::uint8_t(tileset.size() >> 8)};
    for (const char c : tileset) out.push_back(static_cast<std::uint8_t>(c));
    for (const std::uint8_t b : image) out.push_back(b);
    return out;
}

std::string base64(const Bytes& bytes) {
    static const char* k = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::uint32_t n = std::uint32_t(bytes[i]) << 16 | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0) |
                                (i + 2 < bytes.size() ? bytes[i + 2] : 0);
        out += k[n >> 18 & 63];
        out += k[n >> 12 & 63];
        out += i + 1 < bytes.size() ? k[n >> 6 & 63] : '=';
        out += i + 2 < bytes.size() ? k[n & 63] : '=';
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_tiled_fuzz_seeds FOLDER\n");
        return 2;
    }
    const fs::path folder(argv[1]);
    fs::create_directories(folder);
    const Bytes png = *imagewrite::encodePng(picture(10, 10));

    // A set as export writes it, TSX and JSON.
    document::TileSet set;
    document::AddTileGroup(set, document::kTileGroup);
    set.tileWidth = set.tileHeight = 10;
    document::AddMaterial(set, "K\xe4se", 0x102030, "d\x01");
    auto block = std::make_unique<std::uint8_t[]>(png.size());
    std::copy(png.begin(), png.end(), block.get());
    document::PutTexture(set, "a.png", std::move(block), static_cast<std::int32_t>(png.size()));
    document::AddTile(set, document::kTileGroup, 9, "a.png", "K\xe4se", 3, 1);
    document::AddTile(set, document::kTileGroup, 2, "gone.png", "Stone", -1, 0);
    tiled::ExportedFiles files;
    tiled::ExportToMemory(set, "set.tsx", tiled::ExportFormat::Tsx, {}, files);
    const std::string tsx = files.tileset;
    tiled::ExportToMemory(set, "set.json", tiled::ExportFormat::Json, {}, files);
    const std::string json = files.tileset;

    const std::string atlas = R"(<?xml version="1.0" encoding="UTF-8"?>
<tileset version="1.4" name="atlas" tilewidth="3" tileheight="3" spacing="1" margin="1" tilecount="9" columns="3">
 <tileoffset x="1" y="2"/>
 <image source="atlas.png" trans="ff00ff" width="10" height="10"/>
 <tile id="1" type="Water" probability="0.5"><properties><property name="layer" type="int" value="2"/></properties>
  <animation><frame tileid="2" duration="100"/></animation><objectgroup draworder="index"/></tile>
 <wangsets><wangset name="w" type="corner" tile="-1"/></wangsets>
</tileset>)";
    const std::string old = R"({"name":"old","tilewidth":10,"tileheight":10,"columns":0,"tilecount":2,
 "tiles":{"0":{"image":"a.png","imagewidth":10,"imageheight":10},"4":{"image":"sub/a.png","type":"Sand"}},
 "tileproperties":{"0":{"collision":3,"material":"Clay"}},"tilepropertytypes":{"0":{"collision":"int","material":"string"}},
 "properties":{"note":"x"},"propertytypes":{"note":"string"}})";
    const std::string embedded = R"(<tileset name="e" tilewidth="10" tileheight="10">
 <tile id="0"><image format="png"><data encoding="base64">)" + base64(png) + R"(</data></image></tile>
 <tile id="1"><image width="0" height="0"><data encoding="base64"/></image></tile>
 <tile id="2" x="1" y="1" width="4" height="4"><image source="a.png"/></tile>
</tileset>)";

    const std::vector<std::pair<std::string, Bytes>> seeds{
        {"export.tsx", seed(0, 10, tsx, png)},
        {"export.json", seed(1, 10, json, png)},
        {"atlas.tsx", seed(0, 3, atlas, png)},
        {"tiled-1.0.json", seed(1, 10, old, png)},
        {"embedded.tsx", seed(3, 10, embedded, png)},
        {"plain.bmp", seed(2, 4, "", imagewrite::encodeBmp24(picture(9, 7), false))},
        {"plain-rle.tga", seed(2, 3, "", imagewrite::encodeTga(picture(8, 8), 32, true, true))},
        {"plain.jpg", seed(2, 8, "", *imagewrite::encodeJpeg(picture(16, 16)))},
    };
    for (const auto& [name, bytes] : seeds)
        if (!imagewrite::writeFile((folder / name).string(), bytes)) {
            std::fprintf(stderr, "cannot write %s\n", (folder / name).c_str());
            return 1;
        }
    return 0;
}
