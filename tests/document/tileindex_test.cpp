// The tile ID index: an open-addressing table, checked against std::unordered_map.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <unordered_map>
#include <vector>

#include "document/tileindex.h"
#include "document/tileset.h"

using namespace marquetor::document;

namespace {

Tile* fake(std::intptr_t n) { return reinterpret_cast<Tile*>(n * 16 + 16); }

// Every entry of the reference is found with its value, nothing else is, and a walk visits
// each entry once.
void expectSame(const TileIndex& index, const std::unordered_map<std::int32_t, Tile*>& reference,
                const std::vector<std::int32_t>& probes) {
    ASSERT_EQ(index.size(), reference.size());
    EXPECT_EQ(index.empty(), reference.empty());
    for (const auto& [id, tile] : reference) {
        ASSERT_EQ(index.count(id), 1u) << id;
        EXPECT_EQ(index.at(id), tile) << id;
        const auto it = index.find(id);
        ASSERT_NE(it, index.end());
        EXPECT_EQ(it->first, id);
    }
    for (const std::int32_t id : probes)
        EXPECT_EQ(index.count(id), reference.count(id)) << id;
    std::size_t walked = 0;
    for (const auto& entry : index) {
        ++walked;
        EXPECT_EQ(reference.at(entry.first), entry.second);
    }
    EXPECT_EQ(walked, reference.size());
}

}  // namespace

TEST(TileIndex, KeysOfEveryKindAndTakenKeys) {
    TileIndex index;
    EXPECT_TRUE(index.empty());
    EXPECT_EQ(index.find(0), index.end());
    EXPECT_EQ(index.count(7), 0u);
    EXPECT_THROW(index.at(7), std::out_of_range);
    EXPECT_EQ(index.erase(7), 0u);

    std::unordered_map<std::int32_t, Tile*> reference;
    const std::int32_t keys[] = {0, 1, -1, INT32_MIN, INT32_MAX, 16, 32, 1 << 20, -(1 << 20)};
    std::intptr_t n = 0;
    for (const std::int32_t k : keys) {
        const auto [it, inserted] = index.try_emplace(k, fake(++n));
        EXPECT_TRUE(inserted);
        EXPECT_EQ(it->first, k);
        reference[k] = fake(n);
    }
    // A taken key keeps its tile and reports the entry that holds it.
    const auto [again, inserted] = index.try_emplace(INT32_MIN, fake(999));
    EXPECT_FALSE(inserted);
    EXPECT_EQ(again->second, reference[INT32_MIN]);
    // Entries are writable through try_emplace's result and at().
    index.try_emplace(5, nullptr).first->second = fake(55);
    reference[5] = fake(55);
    index.at(0) = fake(77);
    reference[0] = fake(77);
    expectSame(index, reference, {2, 3, -2, 17, INT32_MAX - 1});
}

TEST(TileIndex, MatchesAMapThroughRandomInsertsAndErasures) {
    // Sequential IDs (as files hold them), clustered and random ones, so that probe runs
    // wrap around the table and erasures move entries back.
    std::mt19937 random(42);
    for (int round = 0; round < 3; ++round) {
        TileIndex index;
        std::unordered_map<std::int32_t, Tile*> reference;
        std::vector<std::int32_t> probes;
        std::uniform_int_distribution<int> range(round == 0 ? 0 : -50, round == 2 ? 1'000'000 : 300);
        for (int step = 0; step < 20000; ++step) {
            const std::int32_t id = round == 1 && step % 3 == 0 ? step % 500 : range(random);
            probes.push_back(id);
            if (random() % 3 == 0) {
                EXPECT_EQ(index.erase(id), reference.erase(id)) << id;
            } else {
                const bool inserted = index.try_emplace(id, fake(step)).second;
                EXPECT_EQ(inserted, reference.try_emplace(id, fake(step)).second) << id;
            }
            if (step % 2000 == 0) expectSame(index, reference, probes);
        }
        expectSame(index, reference, probes);
        // Erasing through an iterator, down to nothing.
        while (!index.empty()) {
            const std::int32_t id = index.begin()->first;
            index.erase(index.find(id));
            reference.erase(id);
            ASSERT_EQ(index.count(id), 0u);
        }
        expectSame(index, reference, probes);
    }
}

TEST(TileIndex, ReserveClearAndMove) {
    TileIndex index;
    index.reserve(1000);
    for (int i = 0; i < 1000; ++i) index.try_emplace(i * 7, fake(i));
    EXPECT_EQ(index.size(), 1000u);
    TileIndex moved(std::move(index));
    EXPECT_EQ(moved.size(), 1000u);
    EXPECT_EQ(moved.at(7 * 999), fake(999));
    index = std::move(moved);
    EXPECT_EQ(index.at(0), fake(0));
    index.clear();
    EXPECT_TRUE(index.empty());
    EXPECT_EQ(index.begin(), index.end());
    EXPECT_EQ(index.count(0), 0u);
    index.try_emplace(3, fake(3));
    EXPECT_EQ(index.at(3), fake(3));
}
