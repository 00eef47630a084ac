// The mrqt program, run as a separate process on real files.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "process.h"
#include "cli/commands.h"
#include "document/tileset.h"
#include "tilesetfile/format.h"

using namespace marquetor;
using namespace mrqttest;
using Json = nlohmann::json;

namespace {

class Mrqt : public ScratchFolder {
protected:
    // A tile set file with a bit of everything, written by the library.
    fs::path sampleFile() {
        document::TileSet set;
        document::AddTileGroup(set, 1);
        set.tileWidth = 64;
        set.tileHeight = 32;
        document::AddMaterial(set, "Gr\xC3\xA4s", 0x0080FF, "green \"grass\"\t");   // UTF-8
        document::AddMaterial(set, "K\xE4se", 0x102030, "\x80 5");                   // Windows-1252
        document::PutTexture(set, "a.png", block("abc"), 3);
        document::PutTexture(set, "b.png", nullptr, 0);
        document::AddTile(set, 1, 7, "a.png", "Gr\xC3\xA4s", 3, 1);
        document::AddTile(set, 1, -2, "b.png", "K\xE4se", 255, 0);
        const fs::path file = dir / "sample.mrqt";
        EXPECT_TRUE(tilesetfile::SaveTileSet(set, file).ok);
        return file;
    }
};

}  // namespace

TEST_F(Mrqt, HelpAndUsageErrors) {
    Outcome r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("mrqt dump FILE"), std::string::npos);
    EXPECT_NE(r.out.find("mrqt extract FILE DIR"), std::string::npos);
    EXPECT_TRUE(r.err.empty());

    for (const auto& args : std::vector<std::vector<std::string>>{
             {}, {"frobnicate"}, {"dump"}, {"dump", "a", "b"}, {"resave", "a"}, {"extract", "a"}, {"--help", "x"}}) {
        r = run(args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "(none)" : args[0]);
        EXPECT_NE(r.err.find("Usage: mrqt"), std::string::npos);
        EXPECT_TRUE(r.out.empty());
    }
}

TEST_F(Mrqt, DumpPrintsTheDocumentAsJson) {
    const Outcome r = run({"dump", sampleFile().string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty());
    const Json j = Json::parse(r.out);

    std::vector<std::string> keys;
    for (const auto& [k, v] : j.items()) keys.push_back(k);
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, (std::vector<std::string>{"materials", "textures", "tileHeight", "tileWidth", "tiles"}));
    EXPECT_EQ(j["tileWidth"], 64);
    EXPECT_EQ(j["tileHeight"], 32);

    ASSERT_EQ(j["materials"].size(), 2u);
    EXPECT_EQ(j["materials"][0],
              Json::parse(R"({"name":"Gräs","color":33023,"red":255,"green":128,"blue":0,"description":"green \"grass\"\t"})"));
    // Not UTF-8: read as Windows-1252.
    EXPECT_EQ(j["materials"][1]["name"], "K\xC3\xA4se");
    EXPECT_EQ(j["materials"][1]["description"], "\xE2\x82\xAC 5");
    EXPECT_EQ(j["materials"][1]["color"], 0x102030);
    EXPECT_EQ(j["materials"][1]["blue"], 0x10);

    // Map order: b.png (bucket 157) before a.png (412).
    ASSERT_EQ(j["textures"].size(), 2u);
    EXPECT_EQ(j["textures"][0], Json::parse(R"({"name":"b.png","size":0,
        "sha256":"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"})"));
    EXPECT_EQ(j["textures"][1], Json::parse(R"({"name":"a.png","size":3,
        "sha256":"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"})"));

    ASSERT_EQ(j["tiles"].size(), 2u);
    EXPECT_EQ(j["tiles"][0], Json::parse(R"({"id":7,"texture":"a.png","material":"Gräs","layer":3,"collision":1})"));
    EXPECT_EQ(j["tiles"][1]["id"], -2);
    EXPECT_EQ(j["tiles"][1]["material"], "K\xC3\xA4se");
    EXPECT_EQ(j["tiles"][1]["layer"], 255);
}

TEST_F(Mrqt, DumpOfFilesThatAreNotWhole) {
    Outcome r = run({"dump", (dir / "missing.mrqt").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.mrqt"), std::string::npos);
    EXPECT_TRUE(r.out.empty());

    writeFile(dir / "picture.png", "\x89PNG\r\n\x1a\n");
    r = run({"dump", (dir / "picture.png").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("not a tile set"), std::string::npos);

    // Cut inside the tiles: still read, with a warning.
    const std::string whole = readFile(sampleFile());
    writeFile(dir / "cut.mrqt", whole.substr(0, whole.size() - 3));
    r = run({"dump", (dir / "cut.mrqt").string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("warning"), std::string::npos);
    const Json j = Json::parse(r.out);
    EXPECT_EQ(j["materials"].size(), 2u);
    EXPECT_EQ(j["tiles"].size(), 2u);   // the last one partly read
}

TEST_F(Mrqt, ResaveWritesTheSameBytes) {
    const fs::path in = sampleFile();
    Outcome r = run({"resave", in.string(), (dir / "copy.mrqt").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(dir / "copy.mrqt"), readFile(in));

    // A file with a lone-LF header comes out in the canonical form.
    std::string loose = readFile(in);
    loose.replace(0, 6, "0.50\n");
    writeFile(dir / "loose.mrqt", loose);
    r = run({"resave", (dir / "loose.mrqt").string(), (dir / "loose.mrqt").string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(readFile(dir / "loose.mrqt"), readFile(in));

    r = run({"resave", in.string(), (dir / "no" / "such" / "out.mrqt").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(r.err.empty());
    r = run({"resave", (dir / "missing.mrqt").string(), (dir / "out.mrqt").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(dir / "out.mrqt"));
}

TEST_F(Mrqt, ExtractWritesTexturesAndNeverOutsideTheFolder) {
    document::TileSet set;
    document::AddTileGroup(set, 1);
    document::PutTexture(set, "rock.png", block(std::string("\x89PNG\0\r\n", 7)), 7);
    document::PutTexture(set, "empty.bmp", nullptr, 0);
    for (const char* bad : {"..", ".", "", "../escape.png", "sub/x.png", "back\\slash.png", "/abs.png"})
        document::PutTexture(set, bad, block("bad"), 3);
    document::PutTexture(set, "linked.png", block("new"), 3);
    const fs::path file = dir / "set.mrqt";
    ASSERT_TRUE(tilesetfile::SaveTileSet(set, file).ok);

    const fs::path out = dir / "out" / "textures";   // created when missing
    fs::create_directories(out);
    writeFile(dir / "outside.png", "keep");
    fs::create_symlink(dir / "outside.png", out / "linked.png");

    const Outcome r = run({"extract", file.string(), out.string()});
    EXPECT_EQ(r.status, 1);   // something was skipped
    EXPECT_EQ(readFile(out / "rock.png"), std::string("\x89PNG\0\r\n", 7));
    EXPECT_TRUE(fs::exists(out / "empty.bmp"));
    EXPECT_EQ(fs::file_size(out / "empty.bmp"), 0u);
    EXPECT_EQ(readFile(dir / "outside.png"), "keep");   // not written through the link
    for (const char* bad : {"../escape.png", "sub/x.png", "back\\slash.png", "linked.png"})
        EXPECT_NE(r.err.find(bad), std::string::npos) << bad;

    std::vector<std::string> written, around;
    for (const auto& e : fs::directory_iterator(out)) written.push_back(e.path().filename().string());
    for (const auto& e : fs::directory_iterator(dir)) around.push_back(e.path().filename().string());
    std::sort(written.begin(), written.end());
    std::sort(around.begin(), around.end());
    EXPECT_EQ(written, (std::vector<std::string>{"empty.bmp", "linked.png", "rock.png"}));
    EXPECT_EQ(around, (std::vector<std::string>{"out", "outside.png", "set.mrqt"}));
    EXPECT_FALSE(fs::exists(dir / "out" / "escape.png"));
    EXPECT_FALSE(fs::exists("/abs.png"));

    // Only good names: exit 0, and the folder is made.
    document::TileSet good;
    document::AddTileGroup(good, 1);
    document::PutTexture(good, "x.tga", block("tga"), 3);
    ASSERT_TRUE(tilesetfile::SaveTileSet(good, dir / "good.mrqt").ok);
    const Outcome ok = run({"extract", (dir / "good.mrqt").string(), (dir / "fresh").string()});
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(readFile(dir / "fresh" / "x.tga"), "tga");
}

TEST(PlainFileName, RefusesEverythingThatLeavesTheFolder) {
    EXPECT_TRUE(cli::IsPlainFileName("a.png"));
    EXPECT_TRUE(cli::IsPlainFileName("..a"));
    EXPECT_TRUE(cli::IsPlainFileName("K\xE4se.png"));
    for (const std::string& bad : std::vector<std::string>{"", ".", "..", "a/b", "/a", "a\\b", std::string("a\0b", 3)})
        EXPECT_FALSE(cli::IsPlainFileName(bad)) << bad;
}
