// mrqt build, run as a process: dump + extract + build gives the file back byte for byte;
// what it cannot build faithfully it refuses, naming the record, and writes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include <nlohmann/json.hpp>

#include "cli/build.h"
#include "cli/digest.h"
#include "process.h"
#include "document/text.h"
#include "document/tileset.h"
#include "tilesetfile/format.h"

using namespace marquetor;
using namespace mrqttest;
using OrderedJson = nlohmann::ordered_json;

namespace {

// A .mrqt file written item by item, without the library.
struct FileWriter {
    std::string bytes = "0.50\r\n";
    void i32(std::int32_t v) {
        for (int k = 0; k < 4; ++k) bytes += static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * k)) & 0xFF);
    }
    void i16(std::int16_t v) {
        for (int k = 0; k < 2; ++k) bytes += static_cast<char>((static_cast<std::uint16_t>(v) >> (8 * k)) & 0xFF);
    }
    void line(std::string_view t) {
        bytes += t;
        bytes += "\r\n";
    }
};

// A random text a file can hold (no zero byte, CR or LF), often not UTF-8.
std::string randomText(std::mt19937& rng, std::size_t maxLength) {
    std::string t(rng() % (maxLength + 1), 'a');
    for (char& c : t) {
        do c = static_cast<char>(rng() % 256);
        while (c == 0 || c == '\r' || c == '\n');
    }
    return t;
}

// Texture names in buckets that several names share, each bucket's names listed together:
// what makes the texture order hard to get back.
std::vector<std::string> collidingNames(std::mt19937& rng) {
    std::map<std::uint32_t, std::vector<std::string>> byBucket;
    for (int k = 0; k < 3000; ++k) {
        const std::string name = (k % 3 == 0 ? "K\xE4se" : k % 3 == 1 ? "stein" : "Gr\xC3\xA4s") + std::to_string(k) +
                                 (k % 2 ? ".png" : ".tga");
        byBucket[document::TextureMap::bucketOf(name)].push_back(name);
    }
    std::vector<std::string> names;
    for (auto& [bucket, inBucket] : byBucket) {
        if (rng() % 40 != 0) continue;   // a few buckets, each with all of its names
        std::shuffle(inBucket.begin(), inBucket.end(), rng);
        names.insert(names.end(), inBucket.begin(), inBucket.end());
    }
    return names;
}

// A file that a save could have written: textures in bucket order, any order within a
// bucket, unique keys; texts in Windows-1252 and UTF-8; values across their whole ranges.
std::string randomSavedFile(std::mt19937& rng) {
    FileWriter f;
    f.i32(static_cast<std::int32_t>(rng()));
    f.i32(static_cast<std::int32_t>(rng()));
    const int materials = static_cast<int>(rng() % 12);
    std::vector<std::string> materialNames;
    f.i32(materials);
    for (int i = 0; i < materials; ++i) {
        std::string name = randomText(rng, 10) + "#" + std::to_string(i);   // unique
        materialNames.push_back(name);
        f.line(name);
        f.i32(static_cast<std::int32_t>(rng()));   // bits above blue included
        f.line(randomText(rng, 64));
    }
    const std::vector<std::string> textures = collidingNames(rng);
    f.i32(static_cast<std::int32_t>(textures.size()));
    for (const std::string& name : textures) {
        const std::string bytes = rng() % 5 == 0 ? std::string() : randomText(rng, 300);
        f.line(name);
        f.i32(static_cast<std::int32_t>(bytes.size()));
        f.bytes += bytes;
    }
    const int tiles = static_cast<int>(rng() % 50);
    f.i32(tiles);
    std::vector<std::int32_t> ids;
    while (ids.size() < static_cast<std::size_t>(tiles)) {
        const auto id = static_cast<std::int32_t>(rng());
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
    }
    for (const std::int32_t id : ids) {
        f.i32(id);
        f.line(rng() % 2 && !textures.empty() ? textures[rng() % textures.size()] : randomText(rng, 12));
        f.line(rng() % 2 && !materialNames.empty() ? materialNames[rng() % materialNames.size()] : randomText(rng, 12));
        f.i16(static_cast<std::int16_t>(rng()));
        f.i16(static_cast<std::int16_t>(rng()));
    }
    return f.bytes;
}

class Build : public ScratchFolder {
protected:
    // dump, extract and build through the real program; the built file's bytes.
    std::string roundTrip(const fs::path& file) {
        const fs::path textures = dir / "textures", json = dir / "set.json", built = dir / "built.mrqt";
        fs::remove_all(textures);
        Outcome r = run({"dump", file.string()});
        EXPECT_EQ(r.status, 0) << r.err;
        writeFile(json, r.out);
        r = run({"extract", file.string(), textures.string()});
        EXPECT_EQ(r.status, 0) << r.err;
        r = run({"build", json.string(), textures.string(), built.string()});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(r.err.empty()) << r.err;
        return readFile(built);
    }

    // A small valid JSON document and its texture folder.
    OrderedJson sampleJson() {
        fs::create_directories(dir / "tex");
        writeFile(dir / "tex" / "rock.png", "rock bytes");
        OrderedJson j = OrderedJson::parse(R"({"tileWidth": 32, "tileHeight": 16,
            "materials": [{"name": "Stone", "color": 255, "description": "hard"}],
            "textures": [{"name": "rock.png", "size": 10}],
            "tiles": [{"id": 1, "texture": "rock.png", "material": "Stone", "layer": 0, "collision": 1}]})");
        j["textures"][0]["sha256"] = cli::Sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>("rock bytes"), 10));
        return j;
    }

    // Builds from a JSON document; the outcome.
    Outcome buildFrom(const OrderedJson& json, std::vector<std::string> extra = {}) {
        writeFile(dir / "in.json", json.dump(2));
        std::vector<std::string> args{"build"};
        args.insert(args.end(), extra.begin(), extra.end());
        for (const char* a : {"in.json", "tex", "out.mrqt"}) args.push_back(a);
        return run(args);
    }
};

}  // namespace

TEST_F(Build, DemoSetComesBackByteForByte) {
    EXPECT_EQ(roundTrip(MRQT_DEMO_SET), readFile(MRQT_DEMO_SET));
    // The same through standard input and output.
    const std::string demo = readFile(MRQT_DEMO_SET);
    const Outcome dumped = run({"dump", "-"}, demo);
    ASSERT_EQ(dumped.status, 0) << dumped.err;
    ASSERT_EQ(run({"extract", "-", "streamed"}, demo).status, 0);
    const Outcome built = run({"build", "-", "streamed", "-"}, dumped.out);
    ASSERT_EQ(built.status, 0) << built.err;
    EXPECT_EQ(built.out, demo);
}

TEST_F(Build, FilesASaveWritesComeBackByteForByte) {
    // Written by hand in every order a save can write: colliding buckets, Windows-1252 texts.
    std::mt19937 rng(20240611);
    for (int round = 0; round < 12; ++round) {
        const std::string original = randomSavedFile(rng);
        writeFile(dir / "hand.mrqt", original);
        ASSERT_EQ(roundTrip(dir / "hand.mrqt"), original) << "round " << round;
    }

    // Written by the library: textures that share a bucket, entered, deleted and entered
    // again, so that their order is neither the order of the adds nor its reverse.
    std::vector<std::string> shared;
    for (int k = 0; shared.size() < 4; ++k) {
        const std::string name = "t" + std::to_string(k) + ".png";
        if (document::TextureMap::bucketOf(name) == document::TextureMap::bucketOf("t0.png")) shared.push_back(name);
    }
    document::TileSet set;
    document::AddTileGroup(set, 1);
    for (const std::string& name : shared) document::PutTexture(set, name, block(name), static_cast<std::int32_t>(name.size()));
    document::DeleteTexture(set, shared[1]);
    document::PutTexture(set, shared[1], block("again"), 5);
    document::PutTexture(set, "K\xE4se.png", nullptr, 0);
    document::AddMaterial(set, "\xC4rger", static_cast<std::int32_t>(0xFF123456u), std::string(64, '\xE9'));
    document::AddTile(set, 1, -7, "K\xE4se.png", "\xC4rger", -32768, 32767);
    ASSERT_TRUE(tilesetfile::SaveTileSet(set, dir / "lib.mrqt").ok);
    EXPECT_EQ(roundTrip(dir / "lib.mrqt"), readFile(dir / "lib.mrqt"));
}

TEST_F(Build, TextsThatAreNotUtf8AreMarkedAndRestored) {
    document::TileSet set;
    document::AddTileGroup(set, 1);
    document::AddMaterial(set, "K\xE4se", 1, "\x80 5");
    document::AddMaterial(set, "K\xC3\xA4se", 2, "\xE2\x82\xAC 5");   // the same as shown, in UTF-8
    ASSERT_TRUE(tilesetfile::SaveTileSet(set, dir / "two.mrqt").ok);
    const Outcome r = run({"dump", "two.mrqt"});
    ASSERT_EQ(r.status, 0);
    const OrderedJson j = OrderedJson::parse(r.out);
    EXPECT_EQ(j["materials"][0],
              OrderedJson::parse(R"({"name":"Käse","nameEncoding":"windows-1252","color":1,"red":1,"green":0,"blue":0,
                              "description":"€ 5","descriptionEncoding":"windows-1252"})"));
    EXPECT_EQ(j["materials"][1], OrderedJson::parse(R"({"name":"Käse","color":2,"red":2,"green":0,"blue":0,"description":"€ 5"})"));
    EXPECT_EQ(roundTrip(dir / "two.mrqt"), readFile(dir / "two.mrqt"));
}

TEST_F(Build, RefusesWhatItCannotKeepAndWritesNothing) {
    writeFile(dir / "out.mrqt", "older");
    auto refused = [&](const OrderedJson& json, const std::string& names, const std::vector<std::string>& extra = {}) {
        const Outcome r = buildFrom(json, extra);
        EXPECT_EQ(r.status, 1) << json.dump();
        EXPECT_EQ(r.err.rfind("mrqt: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(names), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(readFile(dir / "out.mrqt"), "older");
    };
    const OrderedJson j = sampleJson();
    ASSERT_EQ(buildFrom(j).status, 0);
    writeFile(dir / "out.mrqt", "older");

    // A re-exported texture: refused by its digest and size unless told to take it.
    writeFile(dir / "tex" / "rock.png", "new rock bytes!");
    refused(j, "texture \"rock.png\"");
    OrderedJson noSize = j;
    noSize["textures"][0].erase("size");
    refused(noSize, "texture \"rock.png\": the SHA-256 of");
    const Outcome taken = buildFrom(j, {"--ignore-sha256"});
    ASSERT_EQ(taken.status, 0) << taken.err;
    EXPECT_NE(readFile(dir / "out.mrqt").find("new rock bytes!"), std::string::npos);
    writeFile(dir / "out.mrqt", "older");
    writeFile(dir / "tex" / "rock.png", "rock bytes");

    // Values the format's fields cannot hold, and keys no save could have written.
    OrderedJson bad = j;
    bad["tiles"][0]["layer"] = 40000;
    refused(bad, "tile 1 (tiles[0]): \"layer\" 40000 does not fit the file's 16-bit field");
    bad = j;
    bad["tileWidth"] = 2147483648LL;
    refused(bad, "\"tileWidth\" 2147483648 does not fit the file's 32-bit field");
    bad = j;
    bad["tiles"][0]["id"] = -2147483649LL;
    refused(bad, "tiles[0]: \"id\" -2147483649 does not fit");
    bad = j;
    bad["materials"][0]["color"] = 4294967295LL;
    refused(bad, "material \"Stone\": \"color\" 4294967295 does not fit");
    bad = j;
    bad["materials"][0]["red"] = 1;
    refused(bad, "material \"Stone\": has only some of");
    bad = j;
    bad["materials"][0].update(OrderedJson{{"red", 1}, {"green", 0}, {"blue", 0}});
    refused(bad, "material \"Stone\": \"color\" 255 is not red 1");
    bad = j;
    bad["materials"].push_back(j["materials"][0]);
    refused(bad, "material \"Stone\": the name is taken by materials[0]");
    bad = j;
    bad["tiles"].push_back(j["tiles"][0]);
    refused(bad, "tile 1 (tiles[1]): the ID is taken");
    bad = j;
    bad["materials"][0]["description"] = std::string(65, 'x');
    refused(bad, "material \"Stone\": the description has 65 bytes");
    bad = j;
    bad["materials"][0]["name"] = "\xE2\x86\x92";   // an arrow
    bad["materials"][0]["nameEncoding"] = "windows-1252";
    refused(bad, "materials[0]: \"name\" holds a character that Windows-1252 lacks");
    bad = j;
    bad["tiles"][0]["material"] = "two\nlines";
    refused(bad, "tile 1 (tiles[0]): \"material\" holds a line break");
    bad = j;
    bad["tiles"][0]["colour"] = 1;
    refused(bad, "tile 1 (tiles[0]): has a key \"colour\"");
    bad = j;
    bad["textures"][0]["name"] = "../rock.png";
    refused(bad, "texture \"../rock.png\": the name is not a plain file name");
    bad = j;
    bad["tileHeight"] = 1.5;
    refused(bad, "\"tileHeight\" is not a whole number");

    bad = j;
    bad["tiles"] = 5;
    refused(bad, "the tile set: \"tiles\" is not a list");
    bad = j;
    bad["tiles"][0] = OrderedJson::array({1, OrderedJson::object({{"id", 1}})});
    refused(bad, "tiles[0]: is not a JSON object");
    // A field holding an object or a list, with fields after it that are read as usual.
    bad = j;
    bad["materials"][0] = OrderedJson::object({{"extra", {{"a", OrderedJson::array({1, {{"b", 2}}})}}}});
    bad["materials"][0].update(j["materials"][0]);
    refused(bad, "material \"Stone\": has a key \"extra\"");
    bad = j;
    bad["tiles"][0]["texture"] = OrderedJson::array({"rock.png"});
    refused(bad, "tile 1 (tiles[0]): \"texture\" is not a text");
    // Thousands of keys in one record (kept in a short list, which must not grow with them):
    // the record is still named by its own keys that follow, and the first stranger is named.
    bad = j;
    bad["materials"][0] = OrderedJson::object();
    for (int k = 0; k < 5000; ++k) bad["materials"][0]["k" + std::to_string(k)] = k;
    bad["materials"][0].update(j["materials"][0]);
    refused(bad, "material \"Stone\": has a key \"k0\"");
    refused(OrderedJson::array({1}), "the tile set: is not a JSON object");

    // The records are built while the JSON is read: refusals still come in document order,
    // a texture whose bytes changed before a tile the format cannot hold.
    bad = j;
    bad["tiles"][0]["layer"] = 40000;
    writeFile(dir / "tex" / "rock.png", "rock bytez");
    refused(bad, "texture \"rock.png\": the SHA-256 of tex/rock.png is ");
    writeFile(dir / "tex" / "rock.png", "rock bytes");

    fs::remove(dir / "tex" / "rock.png");
    refused(j, "texture \"rock.png\": tex/rock.png cannot be read");
}

TEST_F(Build, BadJsonIsNamedByLineAndColumn) {
    fs::create_directories(dir / "tex");
    writeFile(dir / "in.json", "{\n  \"tileWidth\": 1,\n  \"tileHeight\": 2,,\n}\n");
    const Outcome r = run({"build", "in.json", "tex", "out.mrqt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("mrqt: in.json: line 3, column 19: syntax error", 0), 0u) << r.err;
    EXPECT_FALSE(fs::exists(dir / "out.mrqt"));
    // A key twice at the top: a list would be built twice.
    writeFile(dir / "in.json", R"({"tileWidth": 1, "tileHeight": 1, "tiles": [], "tiles": []})");
    const Outcome twice = run({"build", "in.json", "tex", "out.mrqt"});
    EXPECT_EQ(twice.status, 1);
    EXPECT_NE(twice.err.find("the tile set: has \"tiles\" twice"), std::string::npos) << twice.err;
    // Ill-formed UTF-8 inside a text is the parser's to report as well.
    writeFile(dir / "in.json", "{\"tileWidth\": 1, \"tileHeight\": 2, \"materials\": [{\"name\": \"\xE4\"}]}");
    const Outcome utf = run({"build", "in.json", "tex", "out.mrqt"});
    EXPECT_EQ(utf.status, 1);
    EXPECT_NE(utf.err.find("line 1, column "), std::string::npos) << utf.err;
    EXPECT_NE(utf.err.find("ill-formed UTF-8"), std::string::npos) << utf.err;
}

TEST_F(Build, HandWrittenJsonNeedsOnlyWhatCarriesData) {
    fs::create_directories(dir / "tex");
    writeFile(dir / "tex" / "a.png", "A");
    writeFile(dir / "tex" / "b.png", "BB");
    // Textures in any order come out in the map's order (b.png's bucket is lower); a colour by
    // its channels; layer and collision 0 when left out.
    const OrderedJson j = OrderedJson::parse(R"({"tileWidth": 8, "tileHeight": 8,
        "materials": [{"name": "M", "red": 1, "green": 2, "blue": 3}],
        "textures": [{"name": "a.png"}, {"name": "b.png"}],
        "tiles": [{"id": 5, "texture": "a.png", "material": "M"}]})");
    const Outcome r = buildFrom(j);
    ASSERT_EQ(r.status, 0) << r.err;
    document::TileSet expected;
    document::AddTileGroup(expected, 1);
    expected.tileWidth = expected.tileHeight = 8;
    document::AddMaterial(expected, "M", document::MakeColor(1, 2, 3), "");
    document::PutTexture(expected, "a.png", block("A"), 1);
    document::PutTexture(expected, "b.png", block("BB"), 2);
    document::AddTile(expected, 1, 5, "a.png", "M", 0, 0);
    EXPECT_EQ(readFile(dir / "out.mrqt"), text(tilesetfile::SaveTileSetToMemory(expected)));
}

// Tiles that name the same texture or material hold one text between them, as a load keeps
// them: a million built tiles cost what a million loaded ones do.
TEST_F(Build, TilesNamingTheSameTextShareIt) {
    fs::create_directories(dir / "tex");
    const std::string json = R"({"tileWidth": 8, "tileHeight": 8, "tiles": [
        {"id": 1, "texture": "a.png", "material": "M"}, {"id": 2, "texture": "a.png", "material": "M"},
        {"id": 3, "texture": "M", "material": "b.png"}]})";
    document::TileSet set;
    const cli::BuildResult r = cli::BuildTileSet(json, dir / "tex", {}, set);
    ASSERT_TRUE(r.ok) << r.message;
    const auto& tiles = document::LookUpTileGroup(set, 1)->tiles.items();
    ASSERT_EQ(tiles.size(), 3u);
    EXPECT_TRUE(tiles[0]->texture.sharesWith(tiles[1]->texture));
    EXPECT_TRUE(tiles[0]->material.sharesWith(tiles[1]->material));
    EXPECT_TRUE(tiles[0]->material.sharesWith(tiles[2]->texture));
    EXPECT_EQ(tiles[2]->material, "b.png");
}
