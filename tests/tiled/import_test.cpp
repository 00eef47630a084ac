// Import: atlases cut as Tiled cuts them, image collections of every format version,
// materials, what is left out, and bad input.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "document/text.h"
#include "tiled/atlas.h"
#include "tiledtest.h"

using namespace tiledtest;

namespace {

class Import : public Scratch {
protected:
    // Imports and expects success.
    document::TileSet ok(const fs::path& in, const tiled::ImportOptions& options = {}) {
        document::TileSet set;
        last = tiled::ImportTileSet(in, options, set);
        EXPECT_TRUE(last.ok()) << last.message;
        return set;
    }
    // Expects a failure that leaves the set as it was.
    std::string failure(const fs::path& in, const tiled::ImportOptions& options = {}) {
        document::TileSet set;
        document::AddTileGroup(set, 1);
        document::AddMaterial(set, "Keep", 1, "");
        document::AddTile(set, 1, 1, "k.png", "Keep", 0, 0);
        const auto before = tilesetfile::SaveTileSetToMemory(set);
        const tiled::ImportResult r = tiled::ImportTileSet(in, options, set);
        EXPECT_FALSE(r.ok()) << in;
        EXPECT_EQ(tilesetfile::SaveTileSetToMemory(set), before) << in;
        return r.message;
    }
    std::string tiles(const document::TileSet& set) {
        std::string out;
        for (const auto& t : document::LookUpTileGroup(set, 1)->tiles.items())
            out += std::to_string(t->id) + ":" + t->texture.str() + ":" + t->material.str() + ":" +
                   std::to_string(t->layer) + ":" + std::to_string(t->collision) + " ";
        return out;
    }
    tiled::ImportResult last;
};

}  // namespace

TEST_F(Import, AnAtlasIsCutAsTiledCutsIt) {
    // 39 x 29 with 5 x 4 tiles, margin 2, spacing 3: (39 - 2 + 3) / 8 = 5 columns,
    // (29 - 2 + 3) / 7 = 4 rows.
    const imagecodec::RgbaImage atlas = gradient(39, 29, 0, true);
    write("atlas.png", *imagewrite::encodePng(atlas));
    const fs::path tsx = write("terrain.tsx", R"(<?xml version="1.0" encoding="UTF-8"?>
<tileset version="1.4" tiledversion="1.4.3" name="terrain" tilewidth="5" tileheight="4" spacing="3" margin="2" tilecount="24" columns="6">
 <image source="atlas.png" width="39" height="29"/>
 <tile id="3" type="Water"><properties><property name="collision" type="int" value="2"/></properties></tile>
 <tile id="40" type="Beyond"/>
</tileset>)");
    const document::TileSet set = ok(tsx);
    EXPECT_EQ(set.tileWidth, 5);
    EXPECT_EQ(set.tileHeight, 4);
    ASSERT_EQ(last.warnings.size(), 2u);
    EXPECT_EQ(last.warnings[0], "the tileset says 24 tiles in 6 columns; the 39 x 29 image holds 20 in 5, so it is cut to those");
    EXPECT_EQ(last.warnings[1], "1 tile entries beyond the image's cells are left out");
    const auto& group = *document::LookUpTileGroup(set, 1);
    ASSERT_EQ(group.tiles.size(), 20u);
    for (std::size_t i = 0; i < 20; ++i) {
        const document::Tile& t = group.tiles.at(i);
        EXPECT_EQ(t.id, static_cast<std::int32_t>(i));
        EXPECT_EQ(t.texture.str(), "atlas_" + std::to_string(i) + ".png");
        EXPECT_EQ(t.material.str(), i == 3 ? "Water" : "terrain");
        EXPECT_EQ(t.collision, i == 3 ? 2 : 0);
        const document::Texture* texture = set.textures.find(t.texture.view());
        ASSERT_NE(texture, nullptr);
        const auto cell = imagecodec::DecodePng(texture->data());
        ASSERT_TRUE(cell);
        const int x = 2 + static_cast<int>(i % 5) * 8, y = 2 + static_cast<int>(i / 5) * 7;
        EXPECT_EQ(cell->pixels, tiled::CutCell(atlas, x, y, 5, 4).pixels) << i;
        EXPECT_EQ(cell->pixels[0], x);   // red is x, green is y: the very pixels of the cell
        EXPECT_EQ(cell->pixels[1], y);
    }
    // Materials: each name the tiles use, a colour from the name.
    ASSERT_EQ(set.materials.size(), 2u);
    EXPECT_EQ(set.materials.at(0).name, "terrain");
    EXPECT_EQ(set.materials.at(0).color, tiled::ColorForName("terrain"));
    // The same input gives the same bytes.
    EXPECT_EQ(tilesetfile::SaveTileSetToMemory(ok(tsx)), tilesetfile::SaveTileSetToMemory(set));
}

TEST_F(Import, APlainImageWithATileSizeAndATransparentColour) {
    write("walls.bmp", imagewrite::encodeBmp24(gradient(20, 9), false));
    tiled::ImportOptions options;
    options.tileWidth = 6;
    options.tileHeight = 4;
    options.spacing = 1;
    const document::TileSet set = ok(dir / "walls.bmp", options);
    EXPECT_EQ(tiles(set), "0:walls_0.png:walls:0:0 1:walls_1.png:walls:0:0 2:walls_2.png:walls:0:0 "
                          "3:walls_3.png:walls:0:0 4:walls_4.png:walls:0:0 5:walls_5.png:walls:0:0 ");
    EXPECT_EQ(imagecodec::DecodeImage(set.textures.find("walls_4.png")->data())->pixels, tiled::CutCell(gradient(20, 9), 7, 5, 6, 4).pixels);
    EXPECT_EQ(failure(dir / "walls.bmp", {}), "an image needs a tile size to be cut into tiles");
    options.margin = 4;
    options.tileWidth = 20;
    EXPECT_EQ(failure(dir / "walls.bmp", options), "not one 20 x 4 cell fits the 20 x 9 image (margin 4, spacing 1)");

    // "trans": pixels of that colour become see-through, as Tiled shows them.
    write("pink.png", *imagewrite::encodePng(gradient(4, 2)));
    write("pink.tsx", R"(<tileset name="p" tilewidth="2" tileheight="2"><image source="pink.png" trans="#010100"/></tileset>)");
    const document::TileSet pink = ok(dir / "pink.tsx");
    const auto cell = imagecodec::DecodePng(pink.textures.find("pink_0.png")->data());
    EXPECT_EQ(cell->pixels[3], 255);       // (0, 0)
    EXPECT_EQ(cell->pixels[4 + 3], 255);   // (1, 0)
    EXPECT_EQ(cell->pixels[12 + 3], 0);    // (1, 1) is #010100
}

TEST_F(Import, ImageCollectionsOfEveryFormatVersion) {
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b");
    const Bytes rock = *imagewrite::encodePng(gradient(3, 3, 1)), other = *imagewrite::encodePng(gradient(3, 3, 2));
    write("a/rock.png", rock);
    write("b/rock.png", other);
    const Bytes jpeg = *imagewrite::encodeJpeg(gradient(8, 8));
    std::string base64;
    {
        static const char* k = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (std::size_t i = 0; i < jpeg.size(); i += 3) {
            const std::uint32_t n = std::uint32_t(jpeg[i]) << 16 | (i + 1 < jpeg.size() ? jpeg[i + 1] << 8 : 0) |
                                    (i + 2 < jpeg.size() ? jpeg[i + 2] : 0);
            base64 += k[n >> 18 & 63];
            base64 += k[n >> 12 & 63];
            base64 += i + 1 < jpeg.size() ? k[n >> 6 & 63] : '=';
            base64 += i + 2 < jpeg.size() ? k[n & 63] : '=';
            if (i % 57 == 54) base64 += "\n   ";
        }
    }
    // TSX as Tiled 1.0 wrote it, with an embedded image and an empty one.
    write("old.tsx", R"(<?xml version="1.0" encoding="UTF-8"?>
<tileset name="old" tilewidth="3" tileheight="3" tilecount="5" columns="0">
 <terraintypes><terrain name="t" tile="0"/></terraintypes>
 <tile id="0" type="Rock" terrain="0,0,0,0"><image width="3" height="3" source="a/rock.png"/></tile>
 <tile id="1"><properties><property name="material" value="Moss"/><property name="layer" type="int" value="-3"/><property name="speed" type="float" value="0.5"/></properties>
  <image width="3" height="3" source="b/rock.png"/><animation><frame tileid="0" duration="100"/></animation></tile>
 <tile id="2"><image width="3" height="3" source="a/../a/rock.png"/><objectgroup/></tile>
 <tile id="3"><image format="jpg"><data encoding="base64">
   )" + base64 + R"(
  </data></image></tile>
 <tile id="4" probability="0.5"><image width="0" height="0"><data encoding="base64"/></image></tile>
</tileset>)");
    const document::TileSet set = ok(dir / "old.tsx");
    EXPECT_EQ(tiles(set), "0:rock.png:Rock:0:0 1:rock-2.png:Moss:-3:0 2:rock.png:old:0:0 3:old_3.jpg:old:0:0 4::old:0:0 ");
    EXPECT_EQ(set.textures.size(), 3u);
    EXPECT_EQ(Bytes(set.textures.find("old_3.jpg")->data().begin(), set.textures.find("old_3.jpg")->data().end()), jpeg);
    EXPECT_EQ(Bytes(set.textures.find("rock-2.png")->data().begin(), set.textures.find("rock-2.png")->data().end()), other);
    EXPECT_EQ(last.warnings.back(),
              "left out what a tile set has no place for: animations (1), collision shapes (1), other tile properties "
              "(speed) (1), probabilities (1), terrain corners (1), terrains (1)");

    // JSON as Tiled 1.0 and 1.1 wrote it: tiles and their properties in objects keyed by id.
    write("old.json", R"({"name":"j","tilewidth":3,"tileheight":3,"tilecount":2,"columns":0,
      "tiles":{"5":{"image":"a/rock.png","imagewidth":3,"imageheight":3},"9":{"image":"b/rock.png","type":"Sand"}},
      "tileproperties":{"5":{"collision":4,"material":"Clay"}},"tilepropertytypes":{"5":{"collision":"int","material":"string"}},
      "properties":{"note":"x"},"propertytypes":{"note":"string"}})");
    EXPECT_EQ(tiles(ok(dir / "old.json")), "5:rock.png:Clay:0:4 9:rock-2.png:Sand:0:0 ");
    EXPECT_EQ(last.warnings.back(), "left out what a tile set has no place for: tileset properties (1)");

    // JSON as Tiled 1.9 writes it: arrays of records, "class" for the type.
    write("new.tsj", R"({"type":"tileset","version":"1.9","tiledversion":"1.9.2","name":"n","tilewidth":3,"tileheight":3,
      "tiles":[{"id":2,"image":"b/rock.png","class":"Ice","properties":[{"name":"layer","type":"int","value":7}]},
               {"id":0,"image":"a/rock.png","x":1,"y":1,"width":2,"height":2}],
      "wangsets":[{"name":"w"}]})");
    const document::TileSet fresh = ok(dir / "new.tsj");
    EXPECT_EQ(tiles(fresh), "2:rock.png:Ice:7:0 0:rock_0.png:n:0:0 ");
    // A part of an image (Tiled 1.9) is a picture of its own.
    EXPECT_EQ(imagecodec::DecodePng(fresh.textures.find("rock_0.png")->data())->pixels,
              tiled::CutCell(gradient(3, 3, 1), 1, 1, 2, 2).pixels);
}

TEST_F(Import, MaterialColoursComeFromTheNameTheSameOnEveryRun) {
    EXPECT_EQ(tiled::ColorForName("Stone"), tiled::ColorForName(std::string("Sto") + "ne"));
    EXPECT_NE(tiled::ColorForName("Stone"), tiled::ColorForName("Stones"));
    EXPECT_EQ(document::ColorText(tiled::ColorForName("Stone")), "R112 G108 B217");
    EXPECT_EQ(document::ColorText(tiled::ColorForName("")), "R215 G217 B108");
}

TEST_F(Import, BadInputIsNamedAndNothingIsMade) {
    write("ok.png", *imagewrite::encodePng(gradient(4, 4)));
    write("notes.png", std::string_view("no picture"));
    // A PNG header that claims 20000 x 20000 pixels.
    Bytes huge = *imagewrite::encodePng(gradient(1, 1));
    huge[16] = 0, huge[17] = 0, huge[18] = 0x4E, huge[19] = 0x20, huge[20] = 0, huge[21] = 0, huge[22] = 0x4E, huge[23] = 0x20;
    write("huge.png", huge);
    ASSERT_EQ(::mkfifo((dir / "fifo.png").c_str(), 0600), 0);
    const std::string collection = R"(<tileset name="c" tilewidth="4" tileheight="4"><tile id="0"><image source="%"/></tile></tileset>)";
    auto withImage = [&](const std::string& name, const std::string& image) {
        std::string text = collection;
        text.replace(text.find('%'), 1, image);
        return write(name, text);
    };
    const std::vector<std::pair<fs::path, std::string>> cases{
        {write("bad.tsx", "<tileset name=\"x\">\n <tile id=\"1\">\n </tileset>"), "XML does not parse at line 3, column 4: Start-end tags mismatch"},
        {write("bad.json", "{\"name\": \"x\",\n \"tiles\": [}"), "JSON does not parse at line 2, column 12: "},
        {write("level.tmx", "<map/>"), "is a Tiled map, not a tileset"},
        {write("level.json", R"({"type":"map","layers":[]})"), "is a Tiled map, not a tileset"},
        {write("other.tsx", "<svg/>"), "is not a Tiled tileset (its first element is <svg>, not <tileset>)"},
        {withImage("missing.tsx", "gone.png"), "the image \"gone.png\" cannot be read: No such file or directory"},
        {withImage("fifo.tsx", "fifo.png"), "the image \"fifo.png\" cannot be read: not a regular file (it is a FIFO)"},
        {withImage("notes.tsx", "notes.png"), "the image \"notes.png\" is no PNG, JPEG, BMP or TGA picture"},
        {withImage("huge.tsx", "huge.png"), "the image \"huge.png\" is larger than the decoders allow (20000 x 20000 pixels"},
        {write("nocell.tsx", R"(<tileset name="x" tilewidth="5" tileheight="5" margin="1"><image source="ok.png"/></tileset>)"),
         "not one 5 x 5 cell fits the 4 x 4 image (margin 1, spacing 0)"},
        {write("layer.tsx", R"(<tileset name="x" tilewidth="4" tileheight="4"><image source="ok.png"/>
           <tile id="0"><properties><property name="layer" type="int" value="40000"/></properties></tile></tileset>)"),
         "tile 0: the layer 40000 does not fit the file's -32768 to 32767"},
        {write("twice.json", R"({"tilewidth":4,"tileheight":4,"tiles":[{"id":1,"image":"ok.png"},{"id":1,"image":"ok.png"}]})"),
         "the tile ID 1 is there twice"},
        {write("size.tsx", R"(<tileset name="x" tilewidth="wide" tileheight="4"/>)"), "the tileset: tilewidth \"wide\" is not a whole number"},
        {dir / "nothing.tsx", "cannot be read: No such file or directory"},
        {write("break.tsx", "<tileset name=\"x\" tilewidth=\"4\" tileheight=\"4\"><image source=\"ok.png\"/><tile id=\"0\">"
                            "<properties><property name=\"material\">two\nlines</property></properties></tile></tileset>"),
         "tile 0: its material or texture name holds a line break or a zero byte, which a tile set cannot keep"},
    };
    for (const auto& [file, message] : cases) {
        const std::string got = failure(file);
        EXPECT_EQ(got.rfind(message, 0), 0u) << file.filename() << ": " << got;
    }
}
