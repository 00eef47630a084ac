// Loading through a file reads in blocks as it goes; whatever the file holds, the result
// must be the one the same bytes give from memory.
#include "helpers.h"

#include <csignal>
#include <random>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace marquetor::document;
using namespace marquetor::tilesetfile;
using namespace testhelp;

namespace {

// A load from memory and a load from a file of the same bytes: same status, same document.
class FileAgainstMemory : public TempDir {
protected:
    // With the usual blocks and with tiny ones, which put a block boundary inside items
    // of every kind (between a CR and its LF too).
    void expectSameLoad(const Bytes& bytes, const std::string& what, std::vector<std::size_t> blockSizes = {0, 1, 3, 64}) {
        SCOPED_TRACE(what);
        TileSet fromMemory = newDocument();
        const LoadResult expected = LoadTileSetFromMemory(fromMemory, bytes);
        const fs::path path = dir / "file.mrqt";
        writeFile(path, bytes);
        for (const std::size_t blockSize : blockSizes) {
            SCOPED_TRACE("blocks of " + std::to_string(blockSize) + " bytes");
            TileSet fromFile = newDocument();
            const LoadResult got = blockSize ? LoadTileSet(fromFile, path, blockSize) : LoadTileSet(fromFile, path);
            EXPECT_EQ(got.status, expected.status);
            expectSameDocument(fromMemory, fromFile);
        }
    }
};

// Random records whose lines end every way the format allows and whose lengths vary, so
// that items of every kind straddle the reader's block boundaries somewhere.
Bytes randomFile(std::uint32_t seed, std::size_t approximateSize) {
    std::mt19937 random(seed);
    auto text = [&](std::size_t maxLength) {
        std::string s(random() % (maxLength + 1), 'x');
        for (char& c : s) c = static_cast<char>('a' + random() % 26);
        return s;
    };
    auto ending = [&]() -> std::string_view {
        switch (random() % 8) {
        case 0: return "\n";
        case 1: return "\r";
        case 2: return std::string_view("\0", 1);
        default: return "\r\n";
        }
    };
    auto line = [&](Builder& b, std::size_t maxLength) { b.raw(text(maxLength)).raw(ending()); };

    Builder b;
    b.header().i32(64).i32(32);
    const int materials = 200;
    b.i32(materials);
    for (int i = 0; i < materials; ++i) {
        line(b, 40);
        b.i32(static_cast<std::int32_t>(random()));
        line(b, 90);
    }
    const int textures = 30;
    b.i32(textures);
    for (int i = 0; i < textures; ++i) {
        line(b, 20);
        const std::size_t size = random() % 3 == 0 ? random() % 100 : random() % 150000;
        b.i32(static_cast<std::int32_t>(size));
        b.raw(text(0));
        std::string data(size, '\0');
        for (char& c : data) c = static_cast<char>(random());
        b.raw(data);
    }
    std::vector<std::pair<std::int32_t, std::string>> tiles;
    const std::size_t before = b.bytes().size();
    Builder t;
    int count = 0;
    while (before + t.bytes().size() < approximateSize) {
        t.i32(static_cast<std::int32_t>(random() % 50000) - 100);
        line(t, 24);
        line(t, 24);
        t.i16(static_cast<std::int16_t>(random())).i16(static_cast<std::int16_t>(random()));
        ++count;
    }
    b.i32(count).raw(std::string_view(reinterpret_cast<const char*>(t.bytes().data()), t.bytes().size()));
    return b.bytes();
}

}  // namespace

TEST_F(FileAgainstMemory, RecordsAcrossBlockBoundaries) {
    for (std::uint32_t seed = 1; seed <= 3; ++seed) expectSameLoad(randomFile(seed, 4u << 20), "seed " + std::to_string(seed), {0});
    for (std::uint32_t seed = 4; seed <= 6; ++seed)
        expectSameLoad(randomFile(seed, 200000), "seed " + std::to_string(seed), {1, 2, 5, 16, 100, 4096});
}

TEST_F(FileAgainstMemory, TruncatedAnywhere) {
    // Cuts inside every kind of item, on the small sample and on a large file.
    const Bytes sample = SaveTileSetToMemory(sampleDocument());
    for (std::size_t len = 0; len <= sample.size(); ++len)
        expectSameLoad(Bytes(sample.begin(), sample.begin() + static_cast<std::ptrdiff_t>(len)), "sample cut to " + std::to_string(len));
    const Bytes large = randomFile(9, 2u << 20);
    std::mt19937 random(5);
    for (int i = 0; i < 30; ++i) {
        const std::size_t len = random() % large.size();
        expectSameLoad(Bytes(large.begin(), large.begin() + static_cast<std::ptrdiff_t>(len)), "large cut to " + std::to_string(len),
                       {0, 700});
    }
}

TEST_F(FileAgainstMemory, LinesLongerThanManyBlocks) {
    // A name of 3 MB without a line end until its last byte, one that runs into the end of
    // the file, and a CR whose LF comes only after megabytes of text before it.
    const std::string longName(3u << 20, 'n');
    expectSameLoad(Builder().header().i32(1).i32(2).i32(2).line(longName).i32(5).line("d").line("b").i32(6).line(longName)
                       .i32(0).i32(1).i32(4).line(longName).line("m").i16(1).i16(2).bytes(),
                   "long lines", {0, 1000});
    expectSameLoad(Builder().header().i32(1).i32(2).i32(1).raw(longName).bytes(), "a line up to the end", {0, 1000});
    expectSameLoad(Builder().header().i32(1).i32(2).i32(1).raw(longName).raw("\r").bytes(), "a CR at the very end", {0, 1000});
}

TEST_F(FileAgainstMemory, TextureSizesThatLieInAFile) {
    // Sizes far beyond the file hold what is there and allocate no more than that.
    expectSameLoad(Builder().header().i32(0).i32(0).i32(0).i32(1).line("t.png").i32(2000000000).raw("0123456789").bytes(),
                   "size beyond the file");
    expectSameLoad(Builder().header().i32(0).i32(0).i32(0).i32(2).line("n").i32(-5).line("ok").i32(2).raw("ok").i32(0).bytes(),
                   "negative size");
}

TEST_F(TempDir, LoadsFromAPipe) {
    // No length is known ahead: blocks and textures grow as the data comes.
    const Bytes bytes = randomFile(11, 1u << 20);
    const fs::path fifo = dir / "pipe.mrqt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::signal(SIGPIPE, SIG_IGN);   // a reader that stops early fails the test, not the run
    std::thread writer([&] {
        const int fd = ::open(fifo.c_str(), O_WRONLY);
        if (fd < 0) return;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, std::min<std::size_t>(bytes.size() - done, 5000));
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::close(fd);
    });
    TileSet fromPipe = newDocument();
    const LoadResult got = LoadTileSet(fromPipe, fifo);
    writer.join();
    TileSet fromMemory = newDocument();
    EXPECT_EQ(got.status, LoadTileSetFromMemory(fromMemory, bytes).status);
    expectSameDocument(fromMemory, fromPipe);
}

// Tiles that name the same texture or material share one text after a load, whether the
// names came through whole or in pieces across the reader's blocks; different names never do.
TEST_F(TempDir, TilesNamingTheSameTextShareIt) {
    TileSet set = newDocument();
    const std::string longName = "a texture whose name is longer than sixteen bytes.png";
    struct { std::int32_t id; std::string texture, material; } tiles[] = {
        {1, "grass.png", "Stone"}, {2, "water.png", "Stone"}, {3, "grass.png", "Sand"},
        {4, longName, "Sand"},     {5, longName, "stone"}};
    for (const auto& t : tiles) {
        LookUpTileGroup(set, 1)->tiles.moveToLast();
        AddTile(set, 1, t.id, t.texture, t.material, 0, 0);
    }
    const Bytes bytes = SaveTileSetToMemory(set);
    const fs::path path = dir / "shared.mrqt";
    writeFile(path, bytes);

    for (const std::size_t blockSize : {std::size_t{0}, std::size_t{1}, std::size_t{5}}) {
        SCOPED_TRACE("blocks of " + std::to_string(blockSize) + " bytes (0: from memory)");
        TileSet back = newDocument();
        const LoadResult result = blockSize ? LoadTileSet(back, path, blockSize) : LoadTileSetFromMemory(back, bytes);
        ASSERT_EQ(result.status, LoadStatus::Ok);
        const auto& got = LookUpTileGroup(back, 1)->tiles;
        ASSERT_EQ(got.size(), 5u);
        EXPECT_TRUE(got.at(0).texture.sharesWith(got.at(2).texture));
        EXPECT_TRUE(got.at(0).material.sharesWith(got.at(1).material));
        EXPECT_TRUE(got.at(2).material.sharesWith(got.at(3).material));
        EXPECT_TRUE(got.at(3).texture.sharesWith(got.at(4).texture));
        EXPECT_FALSE(got.at(0).texture.sharesWith(got.at(1).texture));
        EXPECT_FALSE(got.at(0).material.sharesWith(got.at(4).material));   // "Stone" and "stone"
        EXPECT_EQ(got.at(4).texture, longName);
        EXPECT_EQ(got.at(4).material, "stone");
        expectSameDocument(set, back);
    }
}
