// Shared texts: what tiles hold as their texture and material names.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "document/sharedtext.h"
#include "document/tileset.h"

using namespace marquetor::document;

TEST(SharedText, CopiesShareAndANewTextReplacesOnlyItsHolder) {
    SharedText a("grass.png");
    SharedText b = a;
    EXPECT_TRUE(a.sharesWith(b));
    b = "stone.png";   // a text of its own; a keeps what it held
    EXPECT_EQ(a, "grass.png");
    EXPECT_EQ(b, "stone.png");
    EXPECT_FALSE(a.sharesWith(b));
    EXPECT_EQ(a, std::string("grass.png"));
    EXPECT_EQ(a, SharedText("grass.png"));   // equal bytes, two texts
    EXPECT_NE(a, SharedText("grass.pnG"));
    EXPECT_STREQ(a.c_str(), "grass.png");
    EXPECT_EQ(a.hash(), HashText("grass.png"));

    const SharedText empty;
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ(empty, "");
    EXPECT_STREQ(empty.c_str(), "");
    EXPECT_EQ(SharedText(""), empty);
    const std::string withZero("a\0b", 3);   // bytes, not C strings
    EXPECT_EQ(SharedText(withZero).size(), 3u);
    EXPECT_EQ(SharedText(withZero), withZero);
    EXPECT_NE(SharedText(withZero), "a");
}

TEST(SharedText, TheSharerMergesEqualBytesAndNothingElse) {
    // Texts of every length up to 40 bytes, and each of them changed in one byte at every
    // position: the sharer compares whole words, so every byte must count.
    TextSharer sharer;
    std::vector<std::string> texts;
    for (std::size_t n = 1; n <= 40; ++n) {
        std::string base;
        for (std::size_t i = 0; i < n; ++i) base += static_cast<char>('a' + (i * 7) % 26);
        texts.push_back(base);
        for (std::size_t i = 0; i < n; ++i) {
            std::string other = base;
            other[i] = static_cast<char>(other[i] ^ 0x20);
            texts.push_back(other);
        }
    }
    std::vector<SharedText> first;
    for (const std::string& t : texts) first.push_back(sharer.share(t));
    EXPECT_EQ(sharer.size(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(first[i], texts[i]);
        const SharedText again = sharer.share(std::string(texts[i]));   // other memory, same bytes
        EXPECT_TRUE(again.sharesWith(first[i])) << texts[i];
    }
    EXPECT_EQ(sharer.size(), texts.size());
    EXPECT_TRUE(sharer.share("").empty());

    // What it handed out outlives it.
    SharedText kept = first.back();
    sharer.clear();
    first.clear();
    EXPECT_EQ(kept, texts.back());
}

TEST(Tiles, SortMatchesAComparisonSortOnManyIds) {
    TileSet set;
    TileGroup& group = *AddTileGroup(set, 1);
    std::mt19937 random(7);
    std::vector<std::int32_t> ids;
    for (int i = 0; i < 20000; ++i) {
        const auto id = static_cast<std::int32_t>(random());
        if (AddTile(group, id, "t", "m", 0, 0)) ids.push_back(id);
    }
    const Tile* smallest = &group.tiles.at(static_cast<std::size_t>(
        std::min_element(ids.begin(), ids.end()) - ids.begin()));
    SortTiles(group);
    std::sort(ids.begin(), ids.end());
    std::vector<std::int32_t> sorted;
    for (const auto& t : group.tiles.items()) sorted.push_back(t->id);
    EXPECT_EQ(sorted, ids);
    EXPECT_EQ(&group.tiles.at(0), smallest);   // records keep their identity
    for (const std::int32_t id : {ids.front(), ids[ids.size() / 2], ids.back()})
        EXPECT_EQ(group.tileIndex.at(id)->id, id);
}

TEST(TextureMap, PositionsFollowTheIterationOrder) {
    TileSet set;
    for (const char* name : {"a.png", "b.png", "ab", "a", "zz.tga", "b#", "A"}) PutTexture(set, name, nullptr, 0);
    const std::vector<std::string> names = set.textures.names();
    for (std::size_t i = 0; i < names.size(); ++i) {
        ASSERT_NE(set.textures.at(i), nullptr);
        EXPECT_EQ(set.textures.at(i)->name, names[i]);
        EXPECT_EQ(set.textures.positionOf(names[i]), static_cast<long long>(i));
    }
    EXPECT_EQ(set.textures.at(names.size()), nullptr);
    EXPECT_EQ(set.textures.positionOf("missing.png"), -1);
}
