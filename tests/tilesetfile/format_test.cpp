// The bytes a save writes, and what a load makes of well-formed files.
#include "helpers.h"

#include "document/text.h"

using namespace marquetor::document;
using namespace marquetor::tilesetfile;
using namespace testhelp;

TEST(Format, WorkedExampleIsExactly49Bytes) {
    TileSet set = newDocument();
    set.tileWidth = 64;
    set.tileHeight = 32;
    AddMaterial(set, "A", MakeColor(255, 128, 0), "");
    AddTile(set, 1, 7, "T", "A", 3, 1);

    const Bytes expected = {0x30, 0x2E, 0x35, 0x30, 0x0D, 0x0A,   // header
                            0x40, 0x00, 0x00, 0x00,               // tile width 64
                            0x20, 0x00, 0x00, 0x00,               // tile height 32
                            0x01, 0x00, 0x00, 0x00,               // one material
                            0x41, 0x0D, 0x0A,                     // name A
                            0xFF, 0x80, 0x00, 0x00,               // color
                            0x0D, 0x0A,                           // empty description
                            0x00, 0x00, 0x00, 0x00,               // no textures
                            0x01, 0x00, 0x00, 0x00,               // one tile
                            0x07, 0x00, 0x00, 0x00,               // ID 7
                            0x54, 0x0D, 0x0A,                     // texture T
                            0x41, 0x0D, 0x0A,                     // material A
                            0x03, 0x00,                           // layer 3
                            0x01, 0x00};                          // collision 1
    ASSERT_EQ(expected.size(), 49u);
    EXPECT_EQ(SaveTileSetToMemory(set), expected);

    TileSet back = newDocument();
    EXPECT_EQ(LoadTileSetFromMemory(back, expected).status, LoadStatus::Ok);
    EXPECT_EQ(back.tileWidth, 64);
    EXPECT_EQ(back.tileHeight, 32);
    ASSERT_EQ(back.materials.size(), 1u);
    EXPECT_EQ(back.materials.at(0).name, "A");
    EXPECT_EQ(back.materials.at(0).color, 0x80FF);
    const Tile& tile = LookUpTileGroup(back, 1)->tiles.at(0);
    EXPECT_EQ(tile.id, 7);
    EXPECT_EQ(tile.texture, "T");
    EXPECT_EQ(tile.material, "A");
    EXPECT_EQ(tile.layer, 3);
    EXPECT_EQ(tile.collision, 1);
}

TEST(Format, EmptyDocumentIs26Bytes) {
    TileSet set = newDocument();
    set.tileWidth = 64;
    set.tileHeight = 64;
    const Bytes expected = {0x30, 0x2E, 0x35, 0x30, 0x0D, 0x0A, 0x40, 0, 0, 0, 0x40, 0, 0, 0,
                            0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(SaveTileSetToMemory(set), expected);
    // Without group 1 the tile count is still written, as zero.
    TileSet bare;
    bare.tileWidth = 64;
    bare.tileHeight = 64;
    EXPECT_EQ(SaveTileSetToMemory(bare), expected);
}

TEST(Format, TexturesAndDescriptionsAreWrittenAsStored) {
    TileSet set = newDocument();
    AddMaterial(set, "m", -1, std::string(64, 'x'));
    PutTexture(set, "a.png", block("AA"), 2);
    PutTexture(set, "b.png", nullptr, 0);
    // A record whose size and block disagree is written with the bytes it holds.
    PutTexture(set, "c", nullptr, 5);
    set.materials.at(0).description = std::string(80, 'y');   // edited in place, too long
    const Bytes expected = Builder()
                               .header().i32(0).i32(0)
                               .i32(1).line("m").i32(-1).line(std::string(64, 'y'))
                               .i32(3)
                               .line("c").i32(0)                      // bucket 99
                               .line("b.png").i32(0)                  // bucket 157
                               .line("a.png").i32(2).raw("AA")        // bucket 412
                               .i32(0)
                               .bytes();
    EXPECT_EQ(SaveTileSetToMemory(set), expected);

    TileSet back = newDocument();
    EXPECT_EQ(LoadTileSetFromMemory(back, expected).status, LoadStatus::Ok);
    EXPECT_EQ(back.materials.at(0).description, std::string(64, 'y'));
    const Texture* b = FindTexture(back, "b.png");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->size, 0);
    EXPECT_EQ(b->bytes, nullptr);
    EXPECT_EQ(back.textures.names(), (std::vector<std::string>{"c", "b.png", "a.png"}));
}

TEST_F(TempDir, RoundTripThroughAFileKeepsEverything) {
    const TileSet set = sampleDocument();
    const fs::path file = dir / "set.mrqt";
    const SaveResult saved = SaveTileSet(set, file);
    ASSERT_TRUE(saved.ok) << saved.reason;
    EXPECT_EQ(saved.code(), 1);
    EXPECT_EQ(readFile(file), SaveTileSetToMemory(set));

    TileSet back = newDocument();
    AddMaterial(back, "old", 0, "");   // replaced by the load
    PutTexture(back, "old.png", nullptr, 0);
    AddTile(back, 1, 99, "", "", 0, 0);
    const LoadResult loaded = LoadTileSet(back, file);
    ASSERT_EQ(loaded.status, LoadStatus::Ok) << loaded.message;
    EXPECT_EQ(loaded.code(), 1);

    EXPECT_EQ(back.tileWidth, 64);
    EXPECT_EQ(back.tileHeight, 32);
    EXPECT_EQ(materialNames(back), (std::vector<std::string>{"Stone", "Gr\xE4s", ""}));
    EXPECT_EQ(back.materials.at(1).description, std::string(64, 'd'));
    EXPECT_EQ(back.materials.at(1).color, 0x00FF00);
    EXPECT_EQ(back.textures.names(), set.textures.names());
    EXPECT_EQ(contentOf(*FindTexture(back, "a.png")), std::string("\x89PNG\r\n\x1a\n\0\x01", 10));
    EXPECT_EQ(contentOf(*FindTexture(back, "b.png")), "BBBB\r\n");
    EXPECT_EQ(FindTexture(back, "empty.bmp")->size, 0);
    EXPECT_EQ(FindTexture(back, "old.png"), nullptr);
    const TileGroup& group = *LookUpTileGroup(back, 1);
    ASSERT_EQ(group.tiles.size(), 3u);
    EXPECT_EQ(group.tiles.at(1).id, -5);
    EXPECT_EQ(group.tiles.at(1).layer, 255);
    EXPECT_EQ(group.tiles.at(2).id, 0);
    EXPECT_EQ(group.tiles.at(2).texture, "missing.png");   // names not in the file stay
    EXPECT_EQ(group.tiles.at(2).layer, -1);
    EXPECT_EQ(group.tileIndex.count(99), 0u);
    // The lists rest on their last records, so adds continue at the end.
    EXPECT_EQ(back.materials.cursor(), 2);
    EXPECT_EQ(group.tiles.cursor(), 2);
    expectSameDocument(set, back);
}

TEST(Format, LoadingCreatesGroupOneWhenMissing) {
    const Bytes file = SaveTileSetToMemory(sampleDocument());
    TileSet bare;
    EXPECT_EQ(LoadTileSetFromMemory(bare, file).status, LoadStatus::Ok);
    ASSERT_NE(LookUpTileGroup(bare, 1), nullptr);
    EXPECT_EQ(LookUpTileGroup(bare, 1)->tiles.size(), 3u);
}

TEST(Format, EveryLineEndReadsTheTextBeforeIt) {
    // Header with a lone LF, a name ended by NUL, a description by a lone CR whose next byte
    // (the texture count) is not consumed, a tile's texture by a lone LF and material by CR LF.
    const Bytes file = Builder()
                           .raw("0.50\n").i32(16).i32(8)
                           .i32(2)
                           .raw("zero").raw(std::string("\0", 1)).i32(5).raw("lone cr\r")
                           .raw("lf\n").i32(6).raw("crlf\r\n")
                           .i32(1).raw("tex\n").i32(2).raw("AB")
                           .i32(1).i32(9).raw("t\n").raw("m\r\n").i16(1).i16(2)
                           .bytes();
    TileSet set = newDocument();
    ASSERT_EQ(LoadTileSetFromMemory(set, file).status, LoadStatus::Ok);
    EXPECT_EQ(set.tileWidth, 16);
    EXPECT_EQ(materialNames(set), (std::vector<std::string>{"zero", "lf"}));
    EXPECT_EQ(set.materials.at(0).color, 5);
    EXPECT_EQ(set.materials.at(0).description, "lone cr");
    EXPECT_EQ(set.materials.at(1).description, "crlf");
    EXPECT_EQ(contentOf(*FindTexture(set, "tex")), "AB");
    const Tile& tile = LookUpTileGroup(set, 1)->tiles.at(0);
    EXPECT_EQ(tile.texture, "t");
    EXPECT_EQ(tile.material, "m");
    EXPECT_EQ(tile.collision, 2);

    // A lone CR leaves the byte after it, even when that byte is part of a number: after
    // "n" and a CR comes 0D (not LF), so the color 0D 0D 0D 0A reads whole.
    const Bytes tricky = Builder().header().i32(0).i32(0).i32(1).raw("n\r").raw("\x0D\x0D\x0D\x0A").line("")
                             .i32(0).i32(0).bytes();
    TileSet other = newDocument();
    ASSERT_EQ(LoadTileSetFromMemory(other, tricky).status, LoadStatus::Ok);
    EXPECT_EQ(other.materials.at(0).name, "n");
    EXPECT_EQ(other.materials.at(0).color, 0x0A0D0D0D);
}

TEST(Format, DuplicatesInAFile) {
    const Bytes file = Builder()
                           .header().i32(1).i32(1)
                           .i32(3)
                           .line("dup").i32(1).line("first")
                           .line("other").i32(2).line("")
                           .line("dup").i32(3).line("second")
                           .i32(3)
                           .line("ab").i32(3).raw("one")
                           .line("A").i32(1).raw("x")
                           .line("ab").i32(3).raw("two")
                           .i32(3)
                           .i32(5).line("first").line("").i16(0).i16(0)
                           .i32(6).line("").line("").i16(0).i16(0)
                           .i32(5).line("second").line("").i16(0).i16(0)
                           .bytes();
    TileSet set = newDocument();
    ASSERT_EQ(LoadTileSetFromMemory(set, file).status, LoadStatus::Ok);
    // Materials and tiles: the first one stays.
    EXPECT_EQ(materialNames(set), (std::vector<std::string>{"dup", "other"}));
    EXPECT_EQ(set.materials.at(0).description, "first");
    const TileGroup& group = *LookUpTileGroup(set, 1);
    ASSERT_EQ(group.tiles.size(), 2u);
    EXPECT_EQ(group.tiles.at(0).texture, "first");
    // Textures: the later one replaces the bytes and keeps the earlier place ("ab" was entered
    // before "A" in the same bucket, so "A" is walked first).
    EXPECT_EQ(set.textures.names(), (std::vector<std::string>{"A", "ab"}));
    EXPECT_EQ(contentOf(*FindTexture(set, "ab")), "two");
}

TEST_F(TempDir, WriteFileAtomicallyWritesTheBytesUnchanged) {
    const Bytes data = bytesOf(std::string("\0\r\n\xFF payload", 11));
    const fs::path file = dir / "export.png";
    ASSERT_TRUE(marquetor::fileio::SaveFile(file, data).ok);
    EXPECT_EQ(readFile(file), data);
    ASSERT_TRUE(marquetor::fileio::SaveFile(file, {}).ok);
    EXPECT_TRUE(readFile(file).empty());
    EXPECT_EQ(entries(), (std::vector<std::string>{"export.png"}));
}

TEST(Format, TextsHoldingLineEndsAreCutSoTheFileStaysInStep) {
    // Such texts cannot come from a file, but a program may put them into the document.
    TileSet set = newDocument();
    AddMaterial(set, "first\r\nsecond", 1, "x\ny");
    AddMaterial(set, "after", 2, std::string("d\0e", 3));
    PutTexture(set, std::string("t\0u", 3), block("TT"), 2);
    AddTile(set, 1, 5, "p\rq", "m\n", 1, 2);
    AddTile(set, 1, 6, "next", "one", 3, 4);

    const Bytes saved = SaveTileSetToMemory(set);
    TileSet back = newDocument();
    ASSERT_EQ(LoadTileSetFromMemory(back, saved).status, LoadStatus::Ok);
    EXPECT_EQ(materialNames(back), (std::vector<std::string>{"first", "after"}));
    EXPECT_EQ(back.materials.at(0).description, "x");
    EXPECT_EQ(back.materials.at(1).color, 2);
    EXPECT_EQ(back.materials.at(1).description, "d");
    EXPECT_EQ(contentOf(*FindTexture(back, "t")), "TT");
    const TileGroup& group = *LookUpTileGroup(back, 1);
    ASSERT_EQ(group.tiles.size(), 2u);
    EXPECT_EQ(group.tiles.at(0).texture, "p");
    EXPECT_EQ(group.tiles.at(0).material, "m");
    EXPECT_EQ(group.tiles.at(1).texture, "next");
    EXPECT_EQ(group.tiles.at(1).collision, 4);
}
