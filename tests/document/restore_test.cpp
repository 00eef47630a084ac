// Records taken out and put back, saved orders and the swapped-out content: the document
// comes back as it was, the same records at the same places.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "document/restore.h"

using namespace marquetor::document;

namespace {

void putTexture(TileSet& set, const std::string& name, std::string_view bytes) {
    auto block = std::make_unique<std::uint8_t[]>(bytes.size());
    std::memcpy(block.get(), bytes.data(), bytes.size());
    PutTexture(set, name, std::move(block), static_cast<std::int32_t>(bytes.size()));
}

// "A", "ab" and "b#" share bucket 65; x.png lies elsewhere.
TileSet sample() {
    TileSet set;
    set.tileWidth = 32;
    set.tileHeight = 48;
    AddTileGroup(set, 1);
    for (const char* name : {"Grass", "Stone", "Water"}) {
        set.materials.moveToLast();
        AddMaterial(set, name, 7, "d");
    }
    for (const char* name : {"A", "ab", "b#", "x.png"}) putTexture(set, name, name);
    for (int id : {10, -5, 3, 8}) {
        set.tileGroups.at(0).tiles.moveToLast();
        AddTile(set, 1, id, "A", "Grass", 1, 0);
    }
    return set;
}

// What identifies the document beyond its saved bytes: every record's address in order,
// the cursors, and the texture walk with serials.
struct Picture {
    std::uint64_t fingerprint;
    std::vector<const void*> records;
    int materialCursor;
    int tileCursor;
    std::vector<std::string> textureWalk;
    bool operator==(const Picture&) const = default;
};

Picture pictureOf(const TileSet& set) {
    Picture p{ContentFingerprint(set), {}, set.materials.cursor(), -2, {}};
    for (const auto& m : set.materials.items()) {
        p.records.push_back(m.get());
        EXPECT_EQ(set.materialIndex.at(m->name), m.get());
    }
    const TileGroup& group = *LookUpTileGroup(set, 1);
    p.tileCursor = group.tiles.cursor();
    for (const auto& t : group.tiles.items()) {
        p.records.push_back(t.get());
        EXPECT_EQ(group.tileIndex.at(t->id), t.get());
    }
    EXPECT_EQ(set.materialIndex.size(), set.materials.size());
    EXPECT_EQ(group.tileIndex.size(), group.tiles.size());
    set.textures.forEach([&](const Texture& t) {
        p.records.push_back(&t);
        p.textureWalk.push_back(t.name + "#" + std::to_string(t.serial));
    });
    return p;
}

}  // namespace

TEST(Restore, RecordsTakenOutComeBackAtTheirPlaces) {
    TileSet set = sample();
    TileGroup& group = *LookUpTileGroup(set, 1);
    set.materials.selectAt(2);
    group.tiles.selectAt(3);
    const Picture before = pictureOf(set);

    // A material from the middle: the cursor moves as a delete moves it.
    std::unique_ptr<Material> stone = TakeMaterial(set, 1);
    ASSERT_NE(stone, nullptr);
    EXPECT_EQ(stone->name, "Stone");
    EXPECT_EQ(set.materials.cursor(), 0);
    EXPECT_EQ(FindMaterial(set, "Stone"), nullptr);
    EXPECT_EQ(TakeMaterial(set, 2), nullptr);

    // The middle texture of a bucket of three: taken, it would come back first if entered
    // again; put back, it stands where it stood.
    TakenTexture ab = TakeTexture(set, "ab");
    ASSERT_NE(ab.record, nullptr);
    EXPECT_EQ(ab.slot, 1u);
    EXPECT_EQ(FindTexture(set, "ab"), nullptr);
    EXPECT_EQ(TakeTexture(set, "ab").record, nullptr);

    std::unique_ptr<Tile> tile = TakeTile(group, 0);
    ASSERT_NE(tile, nullptr);
    EXPECT_EQ(tile->id, 10);
    EXPECT_EQ(group.tiles.cursor(), -1);
    EXPECT_EQ(group.tileIndex.count(10), 0u);

    // A record of the same key in the way is refused and the document stays as it is.
    AddMaterial(set, "Stone", 0, "");
    auto blocked = std::make_unique<Material>(Material{"Stone", 1, ""});
    EXPECT_FALSE(PutMaterial(set, 0, std::move(blocked)));
    DeleteMaterial(set, "Stone");

    EXPECT_TRUE(PutTile(group, 0, std::move(tile)));
    EXPECT_TRUE(PutTextureBack(set, ab));
    EXPECT_TRUE(PutMaterial(set, 1, std::move(stone)));
    set.materials.selectAt(2);
    group.tiles.selectAt(3);
    EXPECT_EQ(pictureOf(set), before);
}

TEST(Restore, SavedOrdersAndTileValuesComeBack) {
    TileSet set = sample();
    TileGroup& group = *LookUpTileGroup(set, 1);
    const Picture before = pictureOf(set);

    const std::vector<Material*> materials = MaterialOrder(set);
    const std::vector<Tile*> tiles = TileOrder(group);
    AddMaterial(set, "Apple", 0, "");
    SortMaterials(set);
    SortTiles(group);
    const TileValues old = ValuesOf(group.tiles.at(0));
    SetValues(group.tiles.at(0), {SharedText("x.png"), SharedText("Water"), 9, 5});
    EXPECT_EQ(ValuesOf(group.tiles.at(0)), (TileValues{SharedText("x.png"), SharedText("Water"), 9, 5}));
    SetValues(group.tiles.at(0), old);

    // An order of another length is refused.
    EXPECT_FALSE(ReorderMaterials(set, materials));
    DeleteMaterial(set, "Apple");
    EXPECT_TRUE(ReorderMaterials(set, materials));
    EXPECT_TRUE(ReorderTiles(group, tiles));
    set.materials.selectAt(before.materialCursor);
    EXPECT_EQ(pictureOf(set), before);
}

TEST(Restore, SwappedOutContentComesBackWholeAndSerialsStayUnique) {
    TileSet set = sample();
    set.materials.selectAt(1);
    const Picture before = pictureOf(set);
    const std::uint64_t emptyFingerprint = [] {
        TileSet empty;
        AddTileGroup(empty, 1);
        return ContentFingerprint(empty);
    }();

    TileSetContent held;
    SwapContent(set, 1, held);
    EXPECT_EQ(ContentFingerprint(set), emptyFingerprint);
    EXPECT_EQ(set.materials.cursor(), -1);
    EXPECT_EQ(set.tileGroups.size(), 1u);
    EXPECT_EQ(TextureBytes(held.textures), 1u + 2u + 2u + 5u);
    EXPECT_EQ(held.materials.size(), 3u);
    EXPECT_EQ(held.tiles.size(), 4u);

    // A texture entered while the old ones are held gets a serial none of them has.
    putTexture(set, "A", "A");
    const std::uint64_t fresh = FindTexture(set, "A")->serial;
    held.textures.forEach([&](const Texture& t) { EXPECT_NE(t.serial, fresh) << t.name; });
    DeleteTexture(set, "A");

    SwapContent(set, 1, held);
    EXPECT_EQ(pictureOf(set), before);
    EXPECT_EQ(held.materials.size(), 0u);
    EXPECT_TRUE(held.textures.empty());
    // A group that does not exist: nothing happens.
    SwapContent(set, 2, held);
    EXPECT_EQ(pictureOf(set), before);
}

TEST(Restore, SortedOrdersAreTheOrdersTheSortsGive) {
    TileSet set = sample();
    AddMaterial(set, "apple", 0, "");
    AddMaterial(set, "Zinc", 0, "");
    AddMaterial(set, "\xC3\x84rger", 0, "");   // a byte above 127 sorts after every ASCII one
    TileGroup& group = *LookUpTileGroup(set, kTileGroup);
    const std::vector<Material*> materials = SortedMaterialOrder(set);
    const std::vector<Tile*> tiles = SortedTileOrder(group);
    EXPECT_EQ(MaterialOrder(set).size(), materials.size());
    EXPECT_NE(MaterialOrder(set), materials);   // the list itself stays as it was
    SortMaterials(set);
    SortTiles(group);
    EXPECT_EQ(MaterialOrder(set), materials);
    EXPECT_EQ(TileOrder(group), tiles);
}

TEST(Restore, ManyTilesTakenOutInOnePassComeBackAtTheirPlaces) {
    TileSet set = sample();
    TileGroup& group = *LookUpTileGroup(set, kTileGroup);
    for (int id = 100; id < 110; ++id) {
        group.tiles.moveToLast();
        AddTile(group, id, "A", "Stone", 2, 1);
    }
    group.tiles.selectAt(5);
    const Picture before = pictureOf(set);
    const std::vector<Tile*> order = TileOrder(group);

    // Out of order, or past the end: nothing is taken.
    const std::vector<std::size_t> unordered{3, 1};
    EXPECT_TRUE(TakeTiles(group, unordered).empty());
    const std::vector<std::size_t> pastEnd{1, 14};
    EXPECT_TRUE(TakeTiles(group, pastEnd).empty());
    EXPECT_EQ(pictureOf(set), before);

    // The first, two in the middle side by side, and the last.
    const std::vector<std::size_t> positions{0, 6, 7, 13};
    std::vector<std::unique_ptr<Tile>> taken = TakeTiles(group, positions);
    ASSERT_EQ(taken.size(), 4u);
    for (std::size_t i = 0; i < taken.size(); ++i) {
        EXPECT_EQ(taken[i].get(), order[positions[i]]);
        EXPECT_EQ(group.tileIndex.count(taken[i]->id), 0u);
    }
    EXPECT_EQ(group.tiles.size(), 10u);
    EXPECT_EQ(group.tileIndex.size(), 10u);
    EXPECT_EQ(group.tiles.cursor(), -1);   // the record before the first taken: none
    const std::vector<Tile*> rest = TileOrder(group);
    EXPECT_EQ(rest, (std::vector<Tile*>{order[1], order[2], order[3], order[4], order[5], order[8], order[9],
                                        order[10], order[11], order[12]}));

    // A tile with an ID that came back meanwhile is refused, the tiles stay with the caller.
    AddTile(group, taken[1]->id, "A", "Grass", 0, 0);
    EXPECT_FALSE(PutTilesBack(group, positions, taken));
    EXPECT_EQ(taken.size(), 4u);
    EXPECT_EQ(group.tiles.size(), 11u);
    DeleteTile(set, kTileGroup, taken[1]->id);
    EXPECT_EQ(TileOrder(group), rest);
    // So are positions that do not fit the list the tiles go back into.
    const std::vector<std::size_t> tooFar{0, 6, 7, 14};
    EXPECT_FALSE(PutTilesBack(group, tooFar, taken));
    EXPECT_EQ(group.tileIndex.size(), 10u);

    ASSERT_TRUE(PutTilesBack(group, positions, taken));
    EXPECT_TRUE(taken.empty());
    EXPECT_EQ(group.tiles.cursor(), 0);
    group.tiles.selectAt(5);
    EXPECT_EQ(pictureOf(set), before);
}

TEST(Restore, ATextureNoMapHeldYetGetsAFreshSerialAndGoesInAsTheNewest) {
    TileSet set = sample();
    // "ab" shares the bucket of "A" and "b#"; read from nowhere, it is made by hand here.
    TakenTexture ab = TakeTexture(set, "ab");
    TileSet other = sample();
    const std::uint64_t usedSerial = FindTexture(set, "x.png")->serial;
    auto fresh = std::make_unique<Texture>();
    fresh->name = "ab";
    TakenTexture incoming{std::move(fresh), std::numeric_limits<std::size_t>::max()};
    ASSERT_TRUE(PutTextureBack(set, incoming));
    const Texture* entered = FindTexture(set, "ab");
    ASSERT_NE(entered, nullptr);
    EXPECT_GT(entered->serial, usedSerial);
    EXPECT_NE(entered->serial, ab.record->serial);
    // Where AddTexture puts a new name of that bucket: first in the walk of the bucket.
    DeleteTexture(other, "ab");
    putTexture(other, "ab", "");
    std::vector<std::string> walk, expected;
    set.textures.forEach([&](const Texture& t) { walk.push_back(t.name); });
    other.textures.forEach([&](const Texture& t) { expected.push_back(t.name); });
    EXPECT_EQ(walk, expected);
}
