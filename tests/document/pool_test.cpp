// The small-object pool behind the tiles.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "document/pool.h"
#include "document/tileset.h"

using namespace marquetor::document;

TEST(Pool, BlocksAreDistinctReusedAndMemoryGoesBackWhenAllAreFreed) {
    const std::size_t liveBefore = pool::liveBlocks();
    std::vector<void*> blocks;
    for (int i = 0; i < 20000; ++i) {
        auto* p = static_cast<unsigned char*>(pool::allocate(72));
        std::fill(p, p + 72, static_cast<unsigned char>(i));   // each block is fully usable
        blocks.push_back(p);
    }
    EXPECT_EQ(std::set<void*>(blocks.begin(), blocks.end()).size(), blocks.size());
    for (void* p : blocks) EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 16, 0u);
    if (!pool::enabled()) {
        for (void* p : blocks) pool::release(p, 72);
        GTEST_SKIP() << "sanitizer build: blocks come from operator new";
    }

    EXPECT_EQ(pool::liveBlocks(), liveBefore + blocks.size());
    EXPECT_GT(pool::chunkCount(), 0u);
    void* last = blocks.back();
    pool::release(last, 72);
    EXPECT_EQ(pool::allocate(72), last);   // the freed block is handed out again
    for (void* p : blocks) pool::release(p, 72);
    EXPECT_EQ(pool::liveBlocks(), liveBefore);
    if (liveBefore == 0) {
        EXPECT_EQ(pool::chunkCount(), 0u);
    }
    // Sizes above the limit come from operator new and still release cleanly.
    void* big = pool::allocate(pool::kMaxBlock + 1);
    pool::release(big, pool::kMaxBlock + 1);
}

TEST(Pool, TilesComeBackAfterClearing) {
    const std::size_t liveBefore = pool::liveBlocks();
    {
        TileSet set;
        AddTileGroup(set, 1);
        for (int i = 0; i < 5000; ++i) AddTile(set, 1, i, "texture", "material", 0, 0);
        if (pool::enabled()) {
            EXPECT_GE(pool::liveBlocks(), liveBefore + 5000);   // a block per tile
        }
        ClearTileGroup(set, 1);
        EXPECT_EQ(pool::liveBlocks(), liveBefore);
        for (int i = 0; i < 100; ++i) AddTile(set, 1, i, "t", "m", 0, 0);
    }
    EXPECT_EQ(pool::liveBlocks(), liveBefore);
}

TEST(Pool, SeveralThreadsAtOnce) {
    const std::size_t liveBefore = pool::liveBlocks();
    auto work = [](int seed) {
        std::vector<void*> mine;
        for (int round = 0; round < 50; ++round) {
            for (int i = 0; i < 200; ++i) {
                auto* p = static_cast<int*>(pool::allocate(32));
                *p = seed;
                mine.push_back(p);
            }
            for (void* p : mine) {
                if (*static_cast<int*>(p) != seed) std::abort();   // someone else's block
                pool::release(p, 32);
            }
            mine.clear();
        }
    };
    std::thread a(work, 1), b(work, 2);
    work(3);
    a.join();
    b.join();
    EXPECT_EQ(pool::liveBlocks(), liveBefore);
}
