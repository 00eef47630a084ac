// mrqt export and mrqt import: what the commands print, their exit statuses, and that a
// refusal writes nothing.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "document/tileset.h"
#include "imagewrite.h"
#include "process.h"
#include "tilesetfile/format.h"

using namespace marquetor;
using namespace mrqttest;

namespace {

class TiledCommands : public ScratchFolder {
protected:
    std::string picture(int w, int h) {
        imagecodec::RgbaImage image{w, h, std::vector<std::uint8_t>(static_cast<std::size_t>(w * h * 4), 200)};
        const auto png = *imagewrite::encodePng(image);
        return std::string(png.begin(), png.end());
    }
    // A set with a tile whose texture is missing.
    void writeSet(std::int32_t firstId) {
        document::TileSet set;
        document::AddTileGroup(set, 1);
        set.tileWidth = set.tileHeight = 8;
        document::AddMaterial(set, "Stone", 7, "grey");
        const std::string png = picture(8, 8);
        document::PutTexture(set, "rock.png", block(png), static_cast<std::int32_t>(png.size()));
        document::AddTile(set, 1, firstId, "rock.png", "Stone", 1, 1);
        document::AddTile(set, 1, 5, "gone.png", "Stone", 0, 0);
        writeFile(dir / "set.mrqt", text(tilesetfile::SaveTileSetToMemory(set)));
    }
};


}  // namespace

TEST_F(TiledCommands, ExportWarnsAboutAMissingPictureAndImportGivesTheSetBack) {
    writeSet(3);
    const Outcome exported = run({"export", "set.mrqt", "tiled/level.tsx"});
    EXPECT_EQ(exported.status, 1);   // a tile went without its picture
    EXPECT_EQ(exported.err, "mrqt: warning: tile 5: texture \"gone.png\" is not in the tile set; written without a picture\n");
    EXPECT_TRUE(fs::exists(dir / "tiled" / "rock.png"));
    const Outcome imported = run({"import", "tiled/level.tsx", "back.mrqt"});
    EXPECT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(imported.err, "");
    EXPECT_EQ(run({"dump", "back.mrqt"}).out, run({"dump", "set.mrqt"}).out);
    // Standard input and output: images are looked for from the working folder.
    const Outcome piped = run({"import", "-", "-"}, readFile(dir / "tiled" / "level.tsx"));
    EXPECT_EQ(piped.status, 1);
    EXPECT_EQ(piped.err, "mrqt: standard input: the image \"rock.png\" cannot be read: No such file or directory\n");
    fs::copy_file(dir / "tiled" / "rock.png", dir / "rock.png");
    EXPECT_EQ(run({"import", "-", "-"}, readFile(dir / "tiled" / "level.tsx")).out, readFile(dir / "back.mrqt"));
}

TEST_F(TiledCommands, RefusalsWriteNothing) {
    writeSet(-1);
    const Outcome refused = run({"export", "set.mrqt", "tiled/level.json"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "mrqt: tile -1: the ID -1 is outside Tiled's tile ids (0 to 268435454) (--renumber numbers the "
                           "tiles 0, 1, 2, ... and keeps each ID in a property)\n");
    EXPECT_FALSE(fs::exists(dir / "tiled"));
    EXPECT_EQ(run({"export", "--renumber", "--images", "img", "set.mrqt", "tiled/level.json"}).status, 1);
    EXPECT_TRUE(fs::exists(dir / "tiled" / "img" / "rock.png"));

    writeFile(dir / "keep.mrqt", "old");
    writeFile(dir / "bad.tsx", "<tileset name=\"x\">\n<tile id=\"1\">\n</tileset>");
    const Outcome bad = run({"import", "bad.tsx", "keep.mrqt"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "mrqt: bad.tsx: XML does not parse at line 3, column 3: Start-end tags mismatch\n");
    EXPECT_EQ(readFile(dir / "keep.mrqt"), "old");
    // A FIFO is refused at once, never waited on.
    ASSERT_EQ(::mkfifo((dir / "pipe.tsx").c_str(), 0600), 0);
    EXPECT_EQ(run({"import", "pipe.tsx", "new.mrqt"}).err, "mrqt: pipe.tsx: cannot be read: not a regular file (it is a FIFO)\n");
    EXPECT_EQ(run({"export", "pipe.tsx", "new.tsx"}).err, "mrqt: cannot read \"pipe.tsx\": not a regular file (it is a FIFO)\n");
    writeFile(dir / "level.tmx", "<map/>");
    EXPECT_EQ(run({"import", "level.tmx", "new.mrqt"}).status, 1);
    EXPECT_FALSE(fs::exists(dir / "new.mrqt"));
}

TEST_F(TiledCommands, UsageErrors) {
    writeFile(dir / "a.png", picture(9, 9));
    writeFile(dir / "a.tsx", "<tileset/>");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"export", "set.mrqt", "-"}, {"export", "set.mrqt", "out.txt"}, {"import", "a.png", "o.mrqt"},
             {"import", "--tile", "4by4", "a.png", "o.mrqt"}, {"import", "--tile", "4x4", "a.tsx", "o.mrqt"},
             {"import", "--margin", "-1", "--tile", "4x4", "a.png", "o.mrqt"}, {"import", "--tile", "0x4", "a.png", "o.mrqt"}}) {
        const Outcome r = run(args);
        EXPECT_EQ(r.status, 2) << args[1] << " " << args[2];
        EXPECT_EQ(lines(r.err), 2u) << r.err;
        EXPECT_EQ(r.err.rfind("mrqt: ", 0), 0u) << r.err;
        EXPECT_FALSE(fs::exists(dir / "o.mrqt"));
    }
    EXPECT_EQ(run({"import", "a.png", "o.mrqt"}).err,
              "mrqt: import: an image is cut into tiles of the size --tile WxH gives\n"
              "Usage: mrqt import [--tile WxH [--margin M] [--spacing S]] IN OUT (mrqt import --help tells more)\n");
}

TEST_F(TiledCommands, AnImageCutIntoTilesPassesCheckAndWhatIsLeftOutIsOneLine) {
    writeFile(dir / "a.png", picture(9, 9));
    const Outcome cut = run({"import", "--tile", "4x4", "--margin", "1", "--spacing", "0", "a.png", "a.mrqt"});
    EXPECT_EQ(cut.status, 0) << cut.err;
    EXPECT_NE(run({"dump", "a.mrqt"}).out.find("{\"id\":3,\"texture\":\"a_3.png\",\"material\":\"a\",\"layer\":0,\"collision\":0}"),
              std::string::npos);
    EXPECT_EQ(run({"check", "a.mrqt"}).status, 0);

    writeFile(dir / "anim.tsx", R"(<tileset name="anim" tilewidth="4" tileheight="4" margin="1"><image source="a.png"/>
      <tile id="0"><animation><frame tileid="1" duration="50"/></animation></tile>
      <tile id="1"><objectgroup/><properties><property name="speed" value="3"/></properties></tile>
      <wangsets><wangset name="w"/></wangsets></tileset>)");
    const Outcome dropped = run({"import", "anim.tsx", "anim.mrqt"});
    EXPECT_EQ(dropped.status, 0);
    EXPECT_EQ(dropped.err, "mrqt: warning: anim.tsx: left out what a tile set has no place for: Wang sets (1), animations (1), "
                           "collision shapes (1), other tile properties (speed) (1)\n");
}
