// Files that are not tile sets, that end early, or whose counts and sizes lie.
#include "helpers.h"

#include <climits>

using namespace marquetor::document;
using namespace marquetor::tilesetfile;
using namespace testhelp;

namespace {

// A document whose content a refused load must leave alone.
TileSet markerDocument() {
    TileSet set = newDocument();
    set.tileWidth = 11;
    set.tileHeight = 22;
    AddMaterial(set, "keep", 1, "me");
    PutTexture(set, "keep.png", block("k"), 1);
    AddTile(set, 1, 1, "keep.png", "keep", 0, 0);
    return set;
}

}  // namespace

TEST(Reading, OnlyAFirstLineOf050IsATileSet) {
    const Bytes rest = Builder().i32(0).i32(0).i32(0).i32(0).i32(0).bytes();
    const char* refused[] = {"", "0.5", "0.50 ", " 0.50", "0.51", "\x89PNG", "0.500"};
    for (const char* first : refused) {
        Bytes file = bytesOf(first);
        file.push_back('\r');
        file.push_back('\n');
        file.insert(file.end(), rest.begin(), rest.end());
        TileSet set = markerDocument();
        const Bytes before = SaveTileSetToMemory(set);
        const LoadResult r = LoadTileSetFromMemory(set, file);
        EXPECT_EQ(r.status, LoadStatus::NotATileSet) << first;
        EXPECT_EQ(r.code(), 0);
        EXPECT_FALSE(r.message.empty());
        EXPECT_EQ(SaveTileSetToMemory(set), before) << "document changed by " << first;
    }
    TileSet set = markerDocument();
    EXPECT_EQ(LoadTileSetFromMemory(set, {}).status, LoadStatus::NotATileSet);

    // Any line end may close the header.
    for (const char end : {'\n', '\r', '\0'}) {
        Bytes file = bytesOf("0.50");
        file.push_back(static_cast<std::uint8_t>(end));
        file.insert(file.end(), rest.begin(), rest.end());
        TileSet ok = markerDocument();
        EXPECT_EQ(LoadTileSetFromMemory(ok, file).status, LoadStatus::Ok);
        EXPECT_TRUE(ok.materials.empty());
    }
}

TEST_F(TempDir, PathsThatCannotBeReadLeaveTheDocumentAlone) {
    TileSet set = markerDocument();
    const Bytes before = SaveTileSetToMemory(set);

    LoadResult r = LoadTileSet(set, dir / "missing.mrqt");
    EXPECT_EQ(r.status, LoadStatus::CannotOpen);
    EXPECT_EQ(r.code(), 0);
    EXPECT_NE(r.message.find("missing.mrqt"), std::string::npos) << r.message;

    r = LoadTileSet(set, dir);
    EXPECT_EQ(r.status, LoadStatus::CannotOpen);
    r = LoadTileSet(set, "");
    EXPECT_EQ(r.status, LoadStatus::CannotOpen);

    writeFile(dir / "picture.png", bytesOf("\x89PNG\r\n\x1a\n...."));
    r = LoadTileSet(set, dir / "picture.png");
    EXPECT_EQ(r.status, LoadStatus::NotATileSet);
    writeFile(dir / "empty.mrqt", {});
    EXPECT_EQ(LoadTileSet(set, dir / "empty.mrqt").status, LoadStatus::NotATileSet);
    EXPECT_EQ(SaveTileSetToMemory(set), before);
}

TEST_F(TempDir, LargeFileLoadsThroughThePathForm) {
    // Several read blocks' worth: textures of 3 MB and many tiles.
    TileSet set = newDocument();
    std::string big(3 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 251);
    PutTexture(set, "big.png", block(big), static_cast<std::int32_t>(big.size()));
    for (int i = 0; i < 20000; ++i) AddTile(set, 1, i, "big.png", "m" + std::to_string(i % 7), 1, 0);
    ASSERT_TRUE(SaveTileSet(set, dir / "big.mrqt").ok);
    TileSet back = newDocument();
    ASSERT_EQ(LoadTileSet(back, dir / "big.mrqt").status, LoadStatus::Ok);
    EXPECT_EQ(contentOf(*FindTexture(back, "big.png")), big);
    expectSameDocument(set, back);
}

TEST(Reading, TruncationAtEveryOffset) {
    const TileSet original = sampleDocument();
    const Bytes full = SaveTileSetToMemory(original);
    const std::size_t materialsStart = 6 + 4 + 4 + 4;
    std::size_t texturesStart = materialsStart;
    for (const auto& m : original.materials.items()) texturesStart += m->name.size() + 2 + 4 + std::min<std::size_t>(m->description.size(), 64) + 2;

    for (std::size_t len = 0; len <= full.size(); ++len) {
        SCOPED_TRACE("file cut to " + std::to_string(len) + " bytes");
        const std::span<const std::uint8_t> part(full.data(), len);
        TileSet set = markerDocument();
        const Bytes before = SaveTileSetToMemory(set);
        const LoadResult r = LoadTileSetFromMemory(set, part);

        if (len < 4) {
            EXPECT_EQ(r.status, LoadStatus::NotATileSet);
            EXPECT_EQ(SaveTileSetToMemory(set), before);
            continue;
        }
        EXPECT_EQ(r.status, len == full.size() ? LoadStatus::Ok : LoadStatus::Truncated);
        EXPECT_EQ(r.code(), 1);
        if (len < full.size()) {
            EXPECT_FALSE(r.message.empty());
        }

        // What was read is a prefix of the original, the last record possibly partial.
        EXPECT_LE(set.materials.size(), original.materials.size());
        for (std::size_t i = 0; i + 1 < set.materials.size(); ++i) {
            EXPECT_EQ(set.materials.at(i).name, original.materials.at(i).name);
            EXPECT_EQ(set.materials.at(i).color, original.materials.at(i).color);
            EXPECT_EQ(set.materials.at(i).description, original.materials.at(i).description);
        }
        if (len < texturesStart) {
            // The counts after the materials read as zero: no textures, no tiles.
            EXPECT_TRUE(set.textures.empty());
            EXPECT_TRUE(LookUpTileGroup(set, 1)->tiles.empty());
        }
        if (len >= materialsStart) {
            EXPECT_EQ(set.tileWidth, 64);
            EXPECT_EQ(set.tileHeight, 32);
        }
        // Nothing from the earlier document survives a load that got past the header.
        EXPECT_EQ(FindMaterial(set, "keep"), nullptr);
        EXPECT_EQ(FindTexture(set, "keep.png"), nullptr);
        EXPECT_LE(LookUpTileGroup(set, 1)->tiles.size(), 3u);
        for (const auto& t : LookUpTileGroup(set, 1)->tiles.items()) EXPECT_NE(t->texture, "keep.png");
        set.textures.forEach([&](const Texture& t) {
            const Texture* o = FindTexture(original, t.name);
            if (!o) return;   // a name cut short
            EXPECT_LE(t.size, o->size);
            EXPECT_EQ(contentOf(t), contentOf(*o).substr(0, static_cast<std::size_t>(t.size)));
        });

        // What was read saves and reads back the same.
        const Bytes saved = SaveTileSetToMemory(set);
        TileSet again = newDocument();
        EXPECT_EQ(LoadTileSetFromMemory(again, saved).status, LoadStatus::Ok);
        EXPECT_EQ(SaveTileSetToMemory(again), saved);
    }
}

TEST(Reading, FileEndingInsideAMaterialKeepsWhatWasThere) {
    // Two materials promised; the second ends inside its color.
    const Bytes file = Builder().header().i32(8).i32(8).i32(2).line("first").i32(1).line("d").line("second").raw("\x05\x01").bytes();
    TileSet set = newDocument();
    const LoadResult r = LoadTileSetFromMemory(set, file);
    EXPECT_EQ(r.status, LoadStatus::Truncated);
    EXPECT_EQ(materialNames(set), (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(set.materials.at(1).color, 0x0105);   // the bytes present, in the low part
    EXPECT_EQ(set.materials.at(1).description, "");
    EXPECT_TRUE(set.textures.empty());
}

TEST(Reading, CountsThatLieStopAtTheEndOfTheData) {
    // 100 bytes claiming two billion records of each kind.
    struct Case {
        const char* what;
        Bytes file;
    };
    std::vector<Case> cases;
    {
        Builder b;
        b.header().i32(1).i32(1).i32(2000000000);
        while (b.bytes().size() < 100) b.raw("m\r\n\x01\x02\x03\x04\r\n");
        cases.push_back({"materials", b.bytes()});
    }
    {
        Builder b;
        b.header().i32(1).i32(1).i32(0).i32(2000000000);
        while (b.bytes().size() < 100) b.raw("t\n").i32(1).raw("x");
        cases.push_back({"textures", b.bytes()});
    }
    {
        Builder b;
        b.header().i32(1).i32(1).i32(0).i32(0).i32(2000000000);
        for (int id = 0; b.bytes().size() < 100; ++id) b.i32(id).raw("\n\n").i16(0).i16(0);
        cases.push_back({"tiles", b.bytes()});
    }
    {
        Builder b;
        b.header().i32(1).i32(1).i32(INT32_MAX);
        cases.push_back({"nothing after the count", b.bytes()});
    }
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.file.resize(std::min<std::size_t>(c.file.size(), 100));
        TileSet set = newDocument();
        const LoadResult r = LoadTileSetFromMemory(set, c.file);
        EXPECT_EQ(r.status, LoadStatus::Truncated);
        EXPECT_LE(set.materials.size(), 10u);
        EXPECT_LE(set.textures.size(), 20u);
        EXPECT_LE(LookUpTileGroup(set, 1)->tiles.size(), 10u);
        EXPECT_LE(LookUpTileGroup(set, 1)->tiles.items().capacity(), 100u);
        EXPECT_LE(set.materials.items().capacity(), 100u);
    }
    // The tile records that were present are all there.
    TileSet set = newDocument();
    LoadTileSetFromMemory(set, cases[2].file);
    EXPECT_GE(LookUpTileGroup(set, 1)->tiles.size(), 6u);
}

TEST(Reading, TextureSizesThatLie) {
    // A size beyond the data keeps the bytes present and says how many.
    const Bytes longer = Builder().header().i32(0).i32(0).i32(0).i32(1).line("t.png").i32(2000000000).raw("0123456789").bytes();
    TileSet set = newDocument();
    EXPECT_EQ(LoadTileSetFromMemory(set, longer).status, LoadStatus::Truncated);
    const Texture* t = FindTexture(set, "t.png");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->size, 10);
    EXPECT_EQ(contentOf(*t), "0123456789");

    // A negative size holds no bytes; the next record follows directly.
    const Bytes negative = Builder()
                               .header().i32(0).i32(0).i32(0)
                               .i32(2).line("neg").i32(-5).line("next").i32(2).raw("ok")
                               .i32(1).i32(3).line("neg").line("").i16(0).i16(0)
                               .bytes();
    TileSet other = newDocument();
    EXPECT_EQ(LoadTileSetFromMemory(other, negative).status, LoadStatus::Ok);
    const Texture* neg = FindTexture(other, "neg");
    ASSERT_NE(neg, nullptr);
    EXPECT_EQ(neg->size, 0);
    EXPECT_EQ(neg->bytes, nullptr);
    EXPECT_EQ(contentOf(*FindTexture(other, "next")), "ok");
    EXPECT_EQ(LookUpTileGroup(other, 1)->tiles.size(), 1u);

    // Negative counts read no records.
    const Bytes negCounts = Builder().header().i32(0).i32(0).i32(-1).i32(INT32_MIN).i32(-7).bytes();
    TileSet third = markerDocument();
    EXPECT_EQ(LoadTileSetFromMemory(third, negCounts).status, LoadStatus::Ok);
    EXPECT_TRUE(third.materials.empty());
    EXPECT_TRUE(third.textures.empty());
    EXPECT_TRUE(LookUpTileGroup(third, 1)->tiles.empty());
}

TEST(Reading, TrailingBytesAfterTheLastTileAreIgnored) {
    Bytes file = SaveTileSetToMemory(sampleDocument());
    const Bytes clean = file;
    file.push_back('x');
    TileSet set = newDocument();
    EXPECT_EQ(LoadTileSetFromMemory(set, file).status, LoadStatus::Ok);
    EXPECT_EQ(SaveTileSetToMemory(set), clean);
}
