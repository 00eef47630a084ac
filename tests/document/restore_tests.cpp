// Records taken out and put back, saved orders and the swapped-out content: the document
// comes back as it was, the same records at the same places.
#include <gtest/gtest.h>

#include <cstring>

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
