#pragma once
// Shared by the Tiled tests: pictures, tile sets made from a seed, files in a scratch folder.

#include <random>
#include <string>

#include "helpers.h"
#include "imagewrite.h"
#include "tiled/tiled.h"

namespace tiledtest {

using namespace marquetor;
using testhelp::Bytes;
namespace fs = std::filesystem;

// A picture whose every pixel is told apart by its colour: red = x, green = y, blue = seed.
inline imagecodec::RgbaImage gradient(int width, int height, int seed = 0, bool seeThrough = false) {
    imagecodec::RgbaImage image{width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.pixels.insert(image.pixels.end(), {std::uint8_t(x), std::uint8_t(y), std::uint8_t(seed),
                                                     std::uint8_t(seeThrough && (x + y) % 3 == 0 ? 90 : 255)});
    return image;
}

inline void put(document::TileSet& set, const std::string& name, const Bytes& bytes) {
    auto block = std::make_unique<std::uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), block.get());
    document::PutTexture(set, name, bytes.empty() ? nullptr : std::move(block), static_cast<std::int32_t>(bytes.size()));
}

// A tile set no test has seen: a seed gives the materials (some names Windows-1252, some
// with control characters), textures in every format (TGA ones Tiled does not show, one that
// is no picture, one of no bytes, one no tile uses, names sharing a bucket of the texture
// map), and tiles in no particular ID order, some naming a texture or material not there.
inline document::TileSet randomSet(unsigned seed) {
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    document::TileSet set;
    document::AddTileGroup(set, 1);
    set.tileWidth = 8 + pick(60);
    set.tileHeight = 8 + pick(60);
    const std::vector<std::string> names{"Stone", "K\xe4se", "Gras\x01s", "\xe2\x82\xac uro", "", "back\\slash", "Wa\"ter<&>"};
    for (int i = 0; i < 7; ++i) {
        const std::string& name = names[static_cast<std::size_t>(pick(7))];
        document::AddMaterial(set, name + std::to_string(i % 3), static_cast<std::int32_t>(rng()),
                              i % 2 ? "d\xe9j\xe0 vu" : "a\tb");
    }
    std::vector<std::string> textures;
    auto add = [&](const std::string& name, const Bytes& bytes) {
        put(set, name, bytes);
        textures.push_back(name);
    };
    const int side = 2 + pick(12);
    add("p" + std::to_string(seed) + ".png", *imagewrite::encodePng(gradient(side, side + 1, pick(256), true)));
    add("b.bmp", imagewrite::encodeBmp24(gradient(side + 2, side, pick(256)), seed % 2));
    add("j.jpg", *imagewrite::encodeJpeg(gradient(16, 16, pick(256))));
    add("rle.tga", imagewrite::encodeTga(gradient(side, side, pick(256)), 24, true, false));
    add("K\xf6rper.tga", imagewrite::encodeTga(gradient(side, 3, pick(256)), 32, false, true));
    add("notes.png", {'n', 'o', 'p', 'e'});
    add("empty.bmp", {});
    put(set, "unused.png", *imagewrite::encodePng(gradient(3, 3, 7)));
    // Names that share a bucket: their order in the walk is kept too.
    const std::uint32_t bucket = document::TextureMap::bucketOf("a.png");
    int shared = 0;
    for (int i = 0; shared < 2; ++i) {
        const std::string name = "s" + std::to_string(i) + ".png";
        if (document::TextureMap::bucketOf(name) != bucket) continue;
        add(name, *imagewrite::encodePng(gradient(4, 4, i)));
        ++shared;
    }
    add("a.png", *imagewrite::encodePng(gradient(5, 4, 1)));
    document::TileGroup& group = *document::LookUpTileGroup(set, 1);
    for (int i = 0; i < 40; ++i) {
        const std::string texture = pick(10) == 0 ? "gone.png" : textures[static_cast<std::size_t>(pick(static_cast<int>(textures.size())))];
        const std::string material = pick(10) == 0 ? "Unlisted" : set.materials.at(static_cast<std::size_t>(pick(static_cast<int>(set.materials.size())))).name;
        document::AddTile(group, pick(5000), texture, material, static_cast<std::int16_t>(pick(600) - 300),
                          static_cast<std::int16_t>(pick(7)));
    }
    return set;
}

class Scratch : public testhelp::TempDir {
protected:
    tiled::ImportResult import(const fs::path& in, document::TileSet& set, const tiled::ImportOptions& options = {}) {
        return tiled::ImportTileSet(in, options, set);
    }
    fs::path write(const std::string& name, std::string_view text) {
        writeFile(dir / name, Bytes(text.begin(), text.end()));
        return dir / name;
    }
    fs::path write(const std::string& name, const Bytes& bytes) {
        writeFile(dir / name, bytes);
        return dir / name;
    }
};

}  // namespace tiledtest
