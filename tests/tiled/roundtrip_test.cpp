// Export then import: the same tile set back, for sets made from seeds; what export refuses
// and warns about; TGA files Tiled cannot show written as PNG.
#include <gtest/gtest.h>

#include "tiled/formats.h"
#include "tiledtest.h"

using namespace tiledtest;

namespace {

class RoundTrip : public Scratch {};

}  // namespace

TEST_F(RoundTrip, ExportThenImportGivesTheSameSetBack) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const document::TileSet original = randomSet(seed);
        tiled::ExportOptions options;
        if (seed % 3 == 0) options.imagesDir = "pictures/of " + std::to_string(seed);
        options.renumber = seed % 4 == 0;
        const fs::path out = dir / std::to_string(seed) / (seed % 2 ? "set.tsx" : "set.tsj");
        const tiled::ExportResult exported = tiled::ExportTileSet(original, out, options);
        ASSERT_TRUE(exported.ok) << exported.message;
        EXPECT_TRUE(exported.incomplete);   // notes.png is no picture, empty.bmp holds nothing
        EXPECT_TRUE(fs::exists(out.parent_path() / options.imagesDir / "unused.png"));

        document::TileSet back;
        const tiled::ImportResult imported = tiled::ImportTileSet(out, {}, back);
        ASSERT_TRUE(imported.ok()) << imported.message;
        testhelp::expectSameDocument(original, back);
        EXPECT_EQ(imported.warnings, std::vector<std::string>{}) << imported.warnings.front();

        // Texts Tiled's XML reader takes: no control characters, not even as references
        // ("&#01;" fails to load).
        const Bytes written = readFile(out);
        EXPECT_EQ(std::count_if(written.begin(), written.end(), [](std::uint8_t c) { return c < 0x20 && c != '\n'; }), 0);
        EXPECT_EQ(std::string(written.begin(), written.end()).find("&#"), std::string::npos);
        // Tiled 1.8 saves an image collection's tiles sorted by id, and its tile size as the
        // largest picture's: the set comes back all the same.
        tiled::Tileset resaved;
        ASSERT_TRUE((seed % 2 ? tiled::ReadTsx(written, resaved) : tiled::ReadTsj(written, resaved)).ok);
        std::stable_sort(resaved.tiles.begin(), resaved.tiles.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
        resaved.tileWidth = resaved.tileHeight = 100;
        write(std::to_string(seed) + "/resaved.tsx", tiled::WriteTsx(resaved));
        document::TileSet again;
        ASSERT_TRUE(tiled::ImportTileSet(dir / std::to_string(seed) / "resaved.tsx", {}, again).ok());
        testhelp::expectSameDocument(original, again);
    }
}

TEST_F(RoundTrip, TileIdsTiledCannotHoldAreRefusedOrRenumbered) {
    document::TileSet set;
    document::AddTileGroup(set, 1);
    set.tileWidth = set.tileHeight = 4;
    put(set, "a.png", *imagewrite::encodePng(gradient(4, 4)));
    document::AddTile(set, 1, 7, "a.png", "M", 0, 0);
    document::AddTile(set, 1, -5, "a.png", "M", 0, 0);
    document::AddTile(set, 1, 268'435'455, "a.png", "M", 0, 0);
    document::AddTile(set, 1, 268'435'454, "a.png", "M", 0, 0);

    const tiled::ExportResult refused = tiled::ExportTileSet(set, dir / "set.tsx", {});
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(refused.idOutOfRange);
    EXPECT_EQ(refused.message, "tile -5: the ID -5 is outside Tiled's tile ids (0 to 268435454)");
    EXPECT_EQ(entries(), std::vector<std::string>{});   // nothing written

    tiled::ExportOptions options;
    options.renumber = true;
    ASSERT_TRUE(tiled::ExportTileSet(set, dir / "set.tsx", options).ok);
    tiled::Tileset written;
    ASSERT_TRUE(tiled::ReadTsx(readFile(dir / "set.tsx"), written).ok);
    ASSERT_EQ(written.tiles.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(written.tiles[i].id, static_cast<std::int64_t>(i));
    EXPECT_EQ(tiled::FindProperty(written.tiles[1].properties, "id")->value, "-5");
    EXPECT_EQ(tiled::FindProperty(written.tiles[1].properties, "id")->type, "int");

    document::TileSet back;
    ASSERT_TRUE(tiled::ImportTileSet(dir / "set.tsx", {}, back).ok());
    testhelp::expectSameDocument(set, back);
}

TEST_F(RoundTrip, WhatTiledShowsAndWhatItIsTold) {
    document::TileSet set;
    document::AddTileGroup(set, 1);
    set.tileWidth = 16;
    set.tileHeight = 12;
    document::AddMaterial(set, "K\xe4se", 0x123456, "yellow");
    const imagecodec::RgbaImage picture = gradient(6, 5, 9);
    put(set, "rle.tga", imagewrite::encodeTga(picture, 24, true, false));
    put(set, "rle.png", *imagewrite::encodePng(gradient(2, 2)));   // takes the name the conversion wants
    document::AddTile(set, 1, 3, "rle.tga", "K\xe4se", 2, 1);
    document::AddTile(set, 1, 1, "gone.png", "K\xe4se", 0, 0);

    tiled::ExportResult plain = tiled::ExportTileSet(set, dir / "plain" / "level.json", {});
    ASSERT_TRUE(plain.ok);
    EXPECT_TRUE(plain.tiledCannotShow);
    EXPECT_TRUE(plain.incomplete);
    EXPECT_EQ(plain.warnings.back(), "tile 1: texture \"gone.png\" is not in the tile set; written without a picture");
    EXPECT_EQ(readFile(dir / "plain" / "rle.tga"), Bytes(set.textures.find("rle.tga")->data().begin(),
                                                            set.textures.find("rle.tga")->data().end()));

    tiled::ExportOptions png;
    png.png = true;
    const tiled::ExportResult converted = tiled::ExportTileSet(set, dir / "png" / "level.tsx", png);
    ASSERT_TRUE(converted.ok);
    EXPECT_FALSE(converted.tiledCannotShow);
    tiled::Tileset tsx;
    ASSERT_TRUE(tiled::ReadTsx(readFile(dir / "png" / "level.tsx"), tsx).ok);
    EXPECT_EQ(tsx.name, "level");
    EXPECT_EQ(tsx.tileWidth, 16);
    ASSERT_EQ(tsx.tiles.size(), 2u);
    const tiled::Tile& tile = tsx.tiles[0];
    EXPECT_EQ(tile.id, 3);
    EXPECT_EQ(tile.type, "K\xc3\xa4se");
    EXPECT_EQ(tiled::FindProperty(tile.properties, "material")->value, "K\xc3\xa4se");
    EXPECT_EQ(tiled::FindProperty(tile.properties, "materialEncoding")->value, "windows-1252");
    EXPECT_EQ(tiled::FindProperty(tile.properties, "layer")->value, "2");
    EXPECT_EQ(tiled::FindProperty(tile.properties, "collision")->type, "int");
    ASSERT_TRUE(tile.image);
    EXPECT_EQ(tile.image->source, "rle-2.png");
    EXPECT_EQ(tile.image->width, 6);
    EXPECT_EQ(tile.image->height, 5);
    EXPECT_FALSE(tsx.tiles[1].image);
    EXPECT_EQ(imagecodec::DecodeImage(readFile(dir / "png" / "rle-2.png"))->pixels, picture.pixels);

    // Back: the TGA's name with the PNG's bytes (the same pixels).
    document::TileSet back;
    ASSERT_TRUE(tiled::ImportTileSet(dir / "png" / "level.tsx", {}, back).ok());
    const document::Texture* texture = back.textures.find("rle.tga");
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(imagecodec::DetectFormat(texture->data()), imagecodec::Format::Png);
    EXPECT_EQ(imagecodec::DecodeImage(texture->data())->pixels, picture.pixels);
    EXPECT_EQ(back.materials.at(0).name, "K\xe4se");
    EXPECT_EQ(back.tileWidth, 16);
}

TEST_F(RoundTrip, ATextureNameThatIsNoFileNameRefusesTheExport) {
    document::TileSet set;
    document::AddTileGroup(set, 1);
    put(set, "good.png", *imagewrite::encodePng(gradient(2, 2)));
    put(set, "../evil.png", *imagewrite::encodePng(gradient(2, 2)));
    const tiled::ExportResult r = tiled::ExportTileSet(set, dir / "set.tsx", {});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "texture \"../evil.png\": not a plain file name, so it cannot be written as a file");
    EXPECT_EQ(entries(), std::vector<std::string>{});
    // An output name that asks for no Tiled format.
    EXPECT_EQ(tiled::ExportTileSet(set, dir / "set.xml", {}).message, "\"" + (dir / "set.xml").string() + "\": a Tiled tileset ends in .tsx, .tsj or .json");
}
