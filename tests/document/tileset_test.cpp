// Materials, tile groups and tiles: the cursor rules, the indexes, sorting, the fingerprint.
#include <gtest/gtest.h>

#include "document/tileset.h"

using namespace marquetor::document;

namespace {

std::vector<std::string> materialNames(const TileSet& set) {
    std::vector<std::string> out;
    for (const auto& m : set.materials.items()) out.push_back(m->name);
    return out;
}

std::vector<std::int32_t> tileIds(const TileGroup& group) {
    std::vector<std::int32_t> out;
    for (const auto& t : group.tiles.items()) out.push_back(t->id);
    return out;
}

// Every index entry refers to the record of its list with that key, one per record.
void expectIndexesConsistent(const TileSet& set) {
    ASSERT_EQ(set.materialIndex.size(), set.materials.size());
    for (const auto& m : set.materials.items()) {
        const auto it = set.materialIndex.find(m->name);
        ASSERT_NE(it, set.materialIndex.end()) << m->name;
        EXPECT_EQ(it->second, m.get());
    }
    ASSERT_EQ(set.tileGroupIndex.size(), set.tileGroups.size());
    for (const auto& g : set.tileGroups.items()) {
        ASSERT_EQ(g->tileIndex.size(), g->tiles.size());
        for (const auto& t : g->tiles.items()) EXPECT_EQ(g->tileIndex.at(t->id), t.get());
    }
}

}  // namespace

TEST(Materials, AddRefusesTakenNamesButNamesAreCaseSensitive) {
    TileSet set;
    Material* stone = AddMaterial(set, "Stone", 0x102030, "grey rock");
    ASSERT_NE(stone, nullptr);
    EXPECT_EQ(stone->name, "Stone");
    EXPECT_EQ(stone->color, 0x102030);
    EXPECT_EQ(stone->description, "grey rock");

    EXPECT_EQ(AddMaterial(set, "Stone", 5, "other"), nullptr);
    EXPECT_EQ(set.materials.size(), 1u);
    EXPECT_EQ(stone->color, 0x102030);   // the refused add changed nothing
    EXPECT_EQ(set.materials.cursor(), 0);

    EXPECT_NE(AddMaterial(set, "stone", 1, ""), nullptr);
    EXPECT_NE(AddMaterial(set, "", 2, ""), nullptr);   // the empty name is a valid key
    EXPECT_EQ(set.materials.size(), 3u);
    EXPECT_EQ(FindMaterial(set, "Stone"), stone);
    EXPECT_EQ(FindMaterial(set, "STONE"), nullptr);
    expectIndexesConsistent(set);
}

TEST(Materials, DescriptionIsCutTo64BytesAndAtAZeroByte) {
    TileSet set;
    const std::string seventy(70, 'x');
    const std::string sixtyFour(64, 'y');
    EXPECT_EQ(AddMaterial(set, "a", 0, seventy)->description, std::string(64, 'x'));
    EXPECT_EQ(AddMaterial(set, "b", 0, sixtyFour)->description, sixtyFour);
    EXPECT_EQ(AddMaterial(set, "c", 0, std::string("ab\0cd", 5))->description, "ab");
    EXPECT_EQ(CutDescription(std::string(63, 'z') + std::string("\0", 1) + "tail"), std::string(63, 'z'));
    EXPECT_EQ(CutDescription(""), "");
}

TEST(Materials, AddInsertsAfterTheCursorAndDeleteMovesItBack) {
    TileSet set;
    AddMaterial(set, "a", 0, "");
    AddMaterial(set, "b", 0, "");
    AddMaterial(set, "c", 0, "");
    EXPECT_EQ(materialNames(set), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(set.materials.cursor(), 2);

    // Deleting the first leaves no cursor: the next add goes to the front.
    DeleteMaterial(set, "a");
    EXPECT_EQ(set.materials.cursor(), -1);
    EXPECT_EQ(set.materials.current(), nullptr);
    AddMaterial(set, "front", 0, "");
    EXPECT_EQ(materialNames(set), (std::vector<std::string>{"front", "b", "c"}));

    // Deleting one in the middle: the next add lands where it stood.
    DeleteMaterial(set, "b");
    EXPECT_EQ(set.materials.cursor(), 0);
    EXPECT_EQ(set.materials.current()->name, "front");
    AddMaterial(set, "middle", 0, "");
    EXPECT_EQ(materialNames(set), (std::vector<std::string>{"front", "middle", "c"}));

    // Positioning the cursor by hand.
    set.materials.selectAt(0);
    AddMaterial(set, "second", 0, "");
    EXPECT_EQ(materialNames(set), (std::vector<std::string>{"front", "second", "middle", "c"}));
    set.materials.moveToLast();
    EXPECT_EQ(set.materials.cursor(), 3);
    AddMaterial(set, "last", 0, "");
    EXPECT_EQ(materialNames(set).back(), "last");
    set.materials.selectAt(99);
    EXPECT_EQ(set.materials.cursor(), -1);
    set.materials.selectAt(-1);
    EXPECT_EQ(set.materials.cursor(), -1);

    // Absent names change nothing.
    const auto before = materialNames(set);
    set.materials.selectAt(2);
    DeleteMaterial(set, "nope");
    EXPECT_EQ(materialNames(set), before);
    EXPECT_EQ(set.materials.cursor(), 2);
    expectIndexesConsistent(set);
}

TEST(Materials, AWalkVisitsInOrderAndLeavesTheCursorOnTheLast) {
    TileSet set;
    set.materials.walk([](std::size_t, Material&) { FAIL() << "empty list"; });
    EXPECT_EQ(set.materials.cursor(), -1);
    AddMaterial(set, "a", 0, "");
    AddMaterial(set, "b", 0, "");
    AddMaterial(set, "c", 0, "");
    set.materials.selectAt(0);
    std::vector<std::string> seen;
    set.materials.walk([&](std::size_t pos, Material& m) {
        EXPECT_EQ(set.materials.cursor(), static_cast<int>(pos));   // the cursor moves along
        seen.push_back(m.name);
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(set.materials.cursor(), 2);
    AddMaterial(set, "d", 0, "");   // continues at the end
    EXPECT_EQ(materialNames(set).back(), "d");
}

TEST(Materials, ClearThenAddsKeepTheOrderOfTheAdds) {
    TileSet set;
    AddMaterial(set, "x", 0, "");
    AddMaterial(set, "y", 0, "");
    ClearMaterials(set);
    EXPECT_TRUE(set.materials.empty());
    EXPECT_TRUE(set.materialIndex.empty());
    EXPECT_EQ(set.materials.cursor(), -1);
    set.materials.moveToLast();   // empty list: still no cursor
    EXPECT_EQ(set.materials.cursor(), -1);
    AddMaterial(set, "3", 0, "");
    AddMaterial(set, "1", 0, "");
    AddMaterial(set, "2", 0, "");
    EXPECT_EQ(materialNames(set), (std::vector<std::string>{"3", "1", "2"}));
    EXPECT_NE(AddMaterial(set, "x", 0, ""), nullptr);   // the cleared name is free again
    expectIndexesConsistent(set);
}

TEST(Materials, RenameMovesTheIndexEntry) {
    TileSet set;
    Material* a = AddMaterial(set, "a", 1, "");
    Material* b = AddMaterial(set, "b", 2, "");
    EXPECT_TRUE(RenameMaterial(set, *a, "renamed"));
    EXPECT_EQ(a->name, "renamed");
    EXPECT_EQ(FindMaterial(set, "a"), nullptr);
    EXPECT_EQ(FindMaterial(set, "renamed"), a);

    EXPECT_FALSE(RenameMaterial(set, *a, "b"));   // taken by another
    EXPECT_EQ(a->name, "renamed");
    EXPECT_EQ(FindMaterial(set, "b"), b);
    EXPECT_TRUE(RenameMaterial(set, *b, "b"));    // its own name
    EXPECT_NE(AddMaterial(set, "a", 0, ""), nullptr);

    Material stranger{"zz", 0, ""};
    EXPECT_FALSE(RenameMaterial(set, stranger, "yy"));   // not a record of this document
    EXPECT_EQ(FindMaterial(set, "yy"), nullptr);
    expectIndexesConsistent(set);
}

TEST(Materials, SortIsByUnsignedBytesAndKeepsRecordsAndCursorPosition) {
    TileSet set;
    Material* accent = AddMaterial(set, "\xE9t\xE9", 0, "");   // high bytes sort after ASCII
    Material* lower = AddMaterial(set, "b", 0, "");
    Material* upper = AddMaterial(set, "B", 0, "");
    Material* prefix = AddMaterial(set, "bb", 0, "");
    Material* empty = AddMaterial(set, "", 0, "");
    set.materials.selectAt(1);
    SortMaterials(set);
    EXPECT_EQ(materialNames(set), (std::vector<std::string>{"", "B", "b", "bb", "\xE9t\xE9"}));
    EXPECT_EQ(&set.materials.at(0), empty);
    EXPECT_EQ(&set.materials.at(1), upper);
    EXPECT_EQ(&set.materials.at(2), lower);
    EXPECT_EQ(&set.materials.at(3), prefix);
    EXPECT_EQ(&set.materials.at(4), accent);
    EXPECT_EQ(set.materials.cursor(), 1);
    expectIndexesConsistent(set);
}

TEST(TileGroups, AddFindAndTheCurrentGroup) {
    TileSet set;
    TileGroup* one = AddTileGroup(set, 1);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->id, 1);
    EXPECT_EQ(AddTileGroup(set, 1), nullptr);
    TileGroup* two = AddTileGroup(set, 2);
    ASSERT_NE(two, nullptr);

    EXPECT_EQ(set.currentGroup, nullptr);
    EXPECT_EQ(FindTileGroup(set, 1), one);
    EXPECT_EQ(set.currentGroup, one);
    EXPECT_EQ(FindTileGroup(set, 7), nullptr);
    EXPECT_EQ(set.currentGroup, one);   // a failed look-up keeps the current group
    EXPECT_EQ(LookUpTileGroup(set, 2), two);
    EXPECT_EQ(set.currentGroup, one);   // a plain look-up does not change it
    expectIndexesConsistent(set);
}

TEST(Tiles, AddDeleteAndTheCursor) {
    TileSet set;
    AddTileGroup(set, 1);
    EXPECT_EQ(AddTile(set, 2, 1, "t", "m", 0, 0), nullptr);   // no such group

    Tile* neg = AddTile(set, 1, -5, "tex.png", "Stone", 3, 1);
    ASSERT_NE(neg, nullptr);
    EXPECT_EQ(neg->texture, "tex.png");
    EXPECT_EQ(neg->material, "Stone");
    EXPECT_EQ(neg->layer, 3);
    EXPECT_EQ(neg->collision, 1);
    ASSERT_NE(AddTile(set, 1, 0, "", "", -1, -32768), nullptr);
    EXPECT_EQ(AddTile(set, 1, 0, "other", "other", 9, 9), nullptr);   // taken ID
    ASSERT_NE(AddTile(set, 1, 7, "", "", 0, 0), nullptr);

    TileGroup& group = *LookUpTileGroup(set, 1);
    EXPECT_EQ(tileIds(group), (std::vector<std::int32_t>{-5, 0, 7}));
    EXPECT_EQ(group.tiles.at(1).texture, "");   // the refused add did not overwrite

    DeleteTile(set, 1, 0);
    EXPECT_EQ(group.tiles.cursor(), 0);
    AddTile(set, 1, 100, "", "", 0, 0);
    EXPECT_EQ(tileIds(group), (std::vector<std::int32_t>{-5, 100, 7}));

    DeleteTile(set, 1, -5);
    EXPECT_EQ(group.tiles.cursor(), -1);
    AddTile(set, 1, 1, "", "", 0, 0);
    EXPECT_EQ(tileIds(group), (std::vector<std::int32_t>{1, 100, 7}));

    DeleteTile(set, 1, 12345);   // absent: nothing changes
    DeleteTile(set, 9, 1);       // absent group
    EXPECT_EQ(tileIds(group), (std::vector<std::int32_t>{1, 100, 7}));
    expectIndexesConsistent(set);

    ClearTileGroup(set, 1);
    EXPECT_TRUE(group.tiles.empty());
    EXPECT_TRUE(group.tileIndex.empty());
    EXPECT_EQ(group.tiles.cursor(), -1);
    ClearTileGroup(set, 42);   // absent group: nothing
    EXPECT_NE(AddTile(set, 1, 7, "", "", 0, 0), nullptr);
}

TEST(Tiles, SortIsBySignedIdAndKeepsRecords) {
    TileSet set;
    TileGroup& group = *AddTileGroup(set, 1);
    const std::int32_t ids[] = {5, -3, INT32_MAX, 0, INT32_MIN, 2};
    std::vector<Tile*> records;
    for (const auto id : ids) records.push_back(AddTile(group, id, "t", "m", 0, 0));
    SortTiles(group);
    EXPECT_EQ(tileIds(group), (std::vector<std::int32_t>{INT32_MIN, -3, 0, 2, 5, INT32_MAX}));
    EXPECT_EQ(&group.tiles.at(0), records[4]);
    EXPECT_EQ(&group.tiles.at(5), records[2]);
    expectIndexesConsistent(set);
}

TEST(Document, DeletingMaterialsOrTexturesLeavesTilesAlone) {
    TileSet set;
    AddTileGroup(set, 1);
    AddMaterial(set, "Stone", 0, "");
    PutTexture(set, "rock.png", nullptr, 0);
    AddTile(set, 1, 1, "rock.png", "Stone", 0, 0);
    DeleteMaterial(set, "Stone");
    EXPECT_TRUE(DeleteTexture(set, "rock.png"));
    const Tile& tile = LookUpTileGroup(set, 1)->tiles.at(0);
    EXPECT_EQ(tile.texture, "rock.png");
    EXPECT_EQ(tile.material, "Stone");
}

TEST(Document, FingerprintFollowsEverythingASaveWrites) {
    TileSet set;
    AddTileGroup(set, 1);
    AddMaterial(set, "Stone", 1, "d");
    PutTexture(set, "a.png", nullptr, 0);
    AddTile(set, 1, 1, "a.png", "Stone", 0, 0);

    std::vector<std::uint64_t> seen{ContentFingerprint(set)};
    EXPECT_EQ(ContentFingerprint(set), seen.back());   // unchanged document, same value
    auto changed = [&] {
        const std::uint64_t now = ContentFingerprint(set);
        for (const auto f : seen)
            if (f == now) return false;
        seen.push_back(now);
        return true;
    };

    set.tileWidth = 64;
    EXPECT_TRUE(changed());
    set.tileHeight = 64;
    EXPECT_TRUE(changed());
    set.materials.at(0).color = 2;
    EXPECT_TRUE(changed());
    set.materials.at(0).description = "e";
    EXPECT_TRUE(changed());
    RenameMaterial(set, set.materials.at(0), "Rock");
    EXPECT_TRUE(changed());
    AddMaterial(set, "Sand", 0, "");
    EXPECT_TRUE(changed());
    SortMaterials(set);   // Rock, Sand: already in order
    EXPECT_FALSE(changed());
    set.materials.selectAt(-1);
    AddMaterial(set, "Zz", 0, "");   // at the front: order changes
    EXPECT_TRUE(changed());

    // Replacing a texture's bytes counts even when the size stays.
    PutTexture(set, "a.png", nullptr, 0);
    EXPECT_TRUE(changed());
    PutTexture(set, "b.png", nullptr, 0);
    EXPECT_TRUE(changed());

    Tile& tile = LookUpTileGroup(set, 1)->tiles.at(0);
    tile.texture = "b.png";
    EXPECT_TRUE(changed());
    tile.material = "Sand";
    EXPECT_TRUE(changed());
    tile.layer = 1;
    EXPECT_TRUE(changed());
    tile.collision = 1;
    EXPECT_TRUE(changed());
    AddTile(set, 1, 2, "", "", 0, 0);
    EXPECT_TRUE(changed());
    DeleteTile(set, 1, 2);
    EXPECT_FALSE(changed()) << "back to an earlier content";

    // Moving text from one field to the next is a change too.
    TileSet x, y;
    AddTileGroup(x, 1);
    AddTileGroup(y, 1);
    AddTile(x, 1, 1, "ab", "", 0, 0);
    AddTile(y, 1, 1, "a", "b", 0, 0);
    EXPECT_NE(ContentFingerprint(x), ContentFingerprint(y));
}
