// The texture map's walk order and AddTexture on real files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "document/tileset.h"
#include "tempfolder.h"

using namespace marquetor::document;
namespace fs = std::filesystem;

namespace {

std::unique_ptr<std::uint8_t[]> bytesOf(std::string_view text) {
    auto out = std::make_unique<std::uint8_t[]>(text.size());
    std::copy(text.begin(), text.end(), out.get());
    return out;
}

std::string contentOf(const Texture& t) { return std::string(t.data().begin(), t.data().end()); }

class TempDir : public testsupport::TempFolderTest {
protected:
    void write(const std::string& name, std::string_view content) {
        std::ofstream(dir / name, std::ios::binary) << content;
    }
    std::string folder() const { return dir.string() + "/"; }
};

}  // namespace

TEST(TextureMap, BucketsOfKnownNames) {
    EXPECT_EQ(TextureMap::bucketOf("a.png"), 412u);
    EXPECT_EQ(TextureMap::bucketOf("b.png"), 157u);
    EXPECT_EQ(TextureMap::bucketOf("a"), 97u);
    EXPECT_EQ(TextureMap::bucketOf("ab"), 65u);
    EXPECT_EQ(TextureMap::bucketOf(""), 0u);
    // Bytes count as signed: 0xE9 is -23.
    EXPECT_EQ(TextureMap::bucketOf("\xE9"), 489u);
    // "A", "ab" and "b#" share bucket 65.
    EXPECT_EQ(TextureMap::bucketOf("A"), 65u);
    EXPECT_EQ(TextureMap::bucketOf("b#"), 65u);
}

TEST(TextureMap, WalkIsByBucketThenMostRecentFirst) {
    TileSet set;
    PutTexture(set, "a.png", nullptr, 0);
    PutTexture(set, "b.png", nullptr, 0);
    EXPECT_EQ(set.textures.names(), (std::vector<std::string>{"b.png", "a.png"}));

    TileSet same;
    PutTexture(same, "ab", nullptr, 0);
    PutTexture(same, "zzz", nullptr, 0);
    PutTexture(same, "A", nullptr, 0);
    PutTexture(same, "a", nullptr, 0);
    PutTexture(same, "b#", nullptr, 0);
    ASSERT_EQ(TextureMap::bucketOf("zzz"), 506u);
    const std::vector<std::string> expected{"b#", "A", "ab", "a", "zzz"};
    EXPECT_EQ(same.textures.names(), expected);

    // forEach walks the same order as names().
    std::vector<std::string> walked;
    same.textures.forEach([&](const Texture& t) { walked.push_back(t.name); });
    EXPECT_EQ(walked, expected);
}

TEST(TextureMap, ReplacementKeepsPlaceAndDeleteThenAddGoesFirst) {
    TileSet set;
    PutTexture(set, "ab", bytesOf("one"), 3);
    PutTexture(set, "A", nullptr, 0);
    PutTexture(set, "b#", nullptr, 0);
    ASSERT_EQ(set.textures.names(), (std::vector<std::string>{"b#", "A", "ab"}));
    const std::uint64_t before = set.textures.find("ab")->serial;
    const Texture* record = set.textures.find("ab");

    Texture& replaced = PutTexture(set, "ab", bytesOf("second"), 6);
    EXPECT_EQ(&replaced, record);
    EXPECT_EQ(contentOf(replaced), "second");
    EXPECT_EQ(replaced.size, 6);
    EXPECT_GT(replaced.serial, before);
    EXPECT_EQ(set.textures.size(), 3u);
    EXPECT_EQ(set.textures.names(), (std::vector<std::string>{"b#", "A", "ab"}));

    EXPECT_TRUE(DeleteTexture(set, "ab"));
    EXPECT_FALSE(DeleteTexture(set, "ab"));
    EXPECT_EQ(FindTexture(set, "ab"), nullptr);
    PutTexture(set, "ab", nullptr, 0);
    EXPECT_EQ(set.textures.names(), (std::vector<std::string>{"ab", "b#", "A"}));

    // Every stored content has its own serial.
    std::vector<std::uint64_t> serials;
    set.textures.forEach([&](const Texture& t) { serials.push_back(t.serial); });
    std::sort(serials.begin(), serials.end());
    EXPECT_EQ(std::adjacent_find(serials.begin(), serials.end()), serials.end());

    ClearTextures(set);
    EXPECT_TRUE(set.textures.empty());
    EXPECT_TRUE(set.textures.names().empty());
    PutTexture(set, "A", nullptr, 0);
    EXPECT_EQ(set.textures.names(), (std::vector<std::string>{"A"}));
}

TEST_F(TempDir, AddTextureReadsTheWholeFile) {
    const std::string png("\x89PNG\r\n\x1a\n\0\0rest", 14);
    write("rock.png", png);
    write("empty.png", "");

    TileSet set;
    ASSERT_TRUE(AddTexture(set, folder(), "rock.png"));
    const Texture* rock = FindTexture(set, "rock.png");
    ASSERT_NE(rock, nullptr);
    EXPECT_EQ(rock->size, 14);
    EXPECT_EQ(contentOf(*rock), png);

    ASSERT_TRUE(AddTexture(set, folder(), "empty.png"));
    const Texture* empty = FindTexture(set, "empty.png");
    EXPECT_EQ(empty->size, 0);
    EXPECT_EQ(empty->bytes, nullptr);
    EXPECT_TRUE(empty->data().empty());

    // A present name is refused even when the file now holds something else.
    write("rock.png", "changed");
    const std::uint64_t serial = rock->serial;
    EXPECT_FALSE(AddTexture(set, folder(), "rock.png"));
    EXPECT_EQ(contentOf(*rock), png);
    EXPECT_EQ(rock->serial, serial);

    // Read without entering it: a record of its own that no map holds yet (serial 0), what
    // AddTexture refuses refused here too.
    const std::unique_ptr<Texture> read = ReadTextureFile(folder(), "rock.png");
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->name, "rock.png");
    EXPECT_EQ(contentOf(*read), "changed");
    EXPECT_EQ(read->serial, 0u);
    EXPECT_EQ(ReadTextureFile(folder(), "missing.png"), nullptr);
    EXPECT_EQ(ReadTextureFile(folder(), ""), nullptr);
}

TEST_F(TempDir, AddTextureRefusesWhatItCannotReadWhole) {
    fs::create_directory(dir / "sub");
    TileSet set;
    EXPECT_FALSE(AddTexture(set, folder(), "missing.png"));
    EXPECT_FALSE(AddTexture(set, folder(), "sub"));       // a folder
    EXPECT_FALSE(AddTexture(set, dir.string(), "x.png"));  // no separator is inserted
    EXPECT_FALSE(AddTexture(set, "", ""));
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_FALSE(AddTexture(set, folder(), "pipe"));       // must not hang

    // 2 GiB cannot be stored in the file's int32 size (a sparse file costs no disk).
    {
        const int fd = ::open((dir / "huge.png").c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 0x80000000LL), 0);
        ::close(fd);
    }
    EXPECT_FALSE(AddTexture(set, folder(), "huge.png"));
    EXPECT_TRUE(set.textures.empty());

    // The same path joined the other way works.
    write("x.png", "x");
    EXPECT_TRUE(AddTexture(set, dir.string(), "/x.png"));
    EXPECT_EQ(set.textures.names(), (std::vector<std::string>{"/x.png"}));
}
