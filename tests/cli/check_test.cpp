// mrqt check, run as a process on files with planted faults and on clean ones.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/check.h"
#include "document/tileset.h"
#include "imagewrite.h"
#include "process.h"
#include "tilesetfile/format.h"

using namespace marquetor;
using namespace mrqttest;
using Json = nlohmann::json;

namespace {

std::unique_ptr<std::uint8_t[]> copyOf(const std::vector<std::uint8_t>& bytes) {
    auto out = std::make_unique<std::uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), out.get());
    return out;
}

// A set a game can use: every reference resolves, every texture is a picture.
document::TileSet cleanSet() {
    document::TileSet set;
    document::AddTileGroup(set, 1);
    set.tileWidth = 32;
    set.tileHeight = 32;
    imagecodec::RgbaImage image;
    image.width = image.height = 4;
    image.pixels.assign(4 * 4 * 4, 200);
    const auto png = *imagewrite::encodePng(image);
    const auto bmp = imagewrite::encodeBmp24(image, false);
    document::PutTexture(set, "grass.png", copyOf(png), static_cast<std::int32_t>(png.size()));
    document::PutTexture(set, "dirt.bmp", copyOf(bmp), static_cast<std::int32_t>(bmp.size()));
    document::AddMaterial(set, "Grass", 0x00FF00, "");
    document::AddMaterial(set, "Dirt", 0x204060, "");
    document::AddTile(set, 1, 1, "grass.png", "Grass", 0, 0);
    document::AddTile(set, 1, 2, "dirt.bmp", "Dirt", 255, 5);
    return set;
}

}  // namespace

class Check : public ScratchFolder {};

TEST_F(Check, CleanSetsHaveNothingToReport) {
    for (const fs::path& file : {fs::path(MRQT_DEMO_SET), dir / "clean.mrqt"}) {
        if (file != MRQT_DEMO_SET) {
            ASSERT_TRUE(tilesetfile::SaveTileSet(cleanSet(), file).ok);
        }
        Outcome r = run({"check", file.string()});
        EXPECT_EQ(r.status, 0) << file << "\n" << r.out << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
        r = run({"check", "--json", file.string()});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(Json::parse(r.out), Json::array());
    }
}

TEST_F(Check, ReportsEveryPlantedFaultNamingItsRecord) {
    document::TileSet set = cleanSet();
    set.tileWidth = 0;
    set.tileHeight = -3;
    document::PutTexture(set, "notes.txt", copyOf({'h', 'i'}), 2);              // wrong name, no picture
    document::PutTexture(set, "Grass.PNG", copyOf({0x89, 'P', 'N', 'G'}), 4);   // both, and a case twin
    document::PutTexture(set, "empty.tga", nullptr, 0);
    document::AddMaterial(set, "GRASS", 1, "");
    document::AddMaterial(set, "\xC4rger", 2, "");       // Windows-1252 Ä
    document::AddMaterial(set, "\xC3\xA4rger", 3, "");   // UTF-8 ä: the same name in another case
    document::AddTile(set, 1, 7, "gone.png", "Grass", 0, 0);
    document::AddTile(set, 1, 8, "grass.png", "Mud", 256, 6);
    document::AddTile(set, 1, -9, "dirt.bmp", "Dirt", -1, -1);
    ASSERT_TRUE(tilesetfile::SaveTileSet(set, dir / "faults.mrqt").ok);
    std::string bytes = readFile(dir / "faults.mrqt");
    writeFile(dir / "cut.mrqt", bytes.substr(0, bytes.size() - 2));   // the last tile cut short

    const Outcome r = run({"check", "cut.mrqt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "the data ended early: only part of the tile set was read\n"
              "tile width 0: a tile must be at least 1 pixel wide\n"
              "tile height -3: a tile must be at least 1 pixel high\n"
              "materials \"Grass\" and \"GRASS\": the names differ only in letter case\n"
              "materials \"\xC3\x84rger\" and \"\xC3\xA4rger\": the names differ only in letter case\n"
              "texture \"notes.txt\": its bytes do not decode as a PNG, JPEG, BMP or TGA picture\n"
              "texture \"notes.txt\": the Textures tab imports only names ending in .png, .jpg, .bmp or .tga\n"
              "texture \"Grass.PNG\": its bytes do not decode as a PNG, JPEG, BMP or TGA picture\n"
              "texture \"Grass.PNG\": the Textures tab imports only names ending in .png, .jpg, .bmp or .tga\n"
              "texture \"empty.tga\": it holds no bytes, so no picture\n"
              "textures \"Grass.PNG\" and \"grass.png\": the names differ only in letter case\n"
              "tile 7: texture \"gone.png\" is not in the tile set\n"
              "tile 8: material \"Mud\" is not in the tile set\n"
              "tile 8: layer 256 is outside 0-255\n"
              "tile 8: collision class 6 is outside 0-5\n"
              "tile -9: layer -1 is outside 0-255\n")
        << r.out;
    EXPECT_EQ(r.err, "mrqt: cut.mrqt: 16 findings\n");

    // The same findings for tools; the whole file this time, so the last tile is whole.
    const Outcome j = run({"check", "--json", "-"}, bytes);
    EXPECT_EQ(j.status, 1);
    const Json findings = Json::parse(j.out);
    ASSERT_TRUE(findings.is_array());
    std::vector<std::string> problems;
    for (const Json& f : findings) problems.push_back(f["problem"]);
    EXPECT_EQ(problems, (std::vector<std::string>{
                            "tile-width", "tile-height", "material-name-case", "material-name-case",
                            "texture-not-a-picture", "texture-extension", "texture-not-a-picture",
                            "texture-extension", "texture-not-a-picture", "texture-name-case", "missing-texture",
                            "missing-material", "layer-out-of-range", "collision-out-of-range",
                            "layer-out-of-range", "collision-out-of-range"}));
    EXPECT_EQ(findings[10], Json::parse(R"({"problem":"missing-texture","record":"tile","id":7,"texture":"gone.png",
        "message":"tile 7: texture \"gone.png\" is not in the tile set"})"));
    EXPECT_EQ(findings[3]["names"], Json::parse(R"(["Ärger", "ärger"])"));
    EXPECT_EQ(findings[15]["collision"], -1);
}
