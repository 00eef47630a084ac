// The saved form written a slice at a time: the same bytes as a whole save, however small
// the slices, into a real file.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "helpers.h"
#include "tempfolder.h"
#include "tilesetfile/format.h"

namespace {

using namespace marquetor;
using namespace testhelp;
using Clock = std::chrono::steady_clock;

class SliceWriterTest : public testsupport::TempFolderTest {};

std::vector<std::uint8_t> readAll(int fd) {
    std::vector<std::uint8_t> bytes;
    ::lseek(fd, 0, SEEK_SET);
    std::uint8_t buffer[65536];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
    return bytes;
}

TEST_F(SliceWriterTest, SlicesGiveTheBytesOfAWholeSave) {
    document::TileSet set = sampleDocument();
    // Textures over a block, many materials and tiles: every section is cut somewhere.
    const std::string big(3 * 1024 * 1024 + 17, 'x');
    document::PutTexture(set, "big.png", block(big), static_cast<std::int32_t>(big.size()));
    for (int i = 0; i < 3000; ++i) document::AddMaterial(set, "m" + std::to_string(i), i, "d");
    for (int i = 0; i < 20000; ++i) document::AddTile(set, 1, i, "a.png", "m" + std::to_string(i % 3000), 1, 0);
    const std::vector<std::uint8_t> whole = tilesetfile::SaveTileSetToMemory(set);

    const std::string path = (dir / "copy.mrqt").string();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    tilesetfile::SliceWriter writer(set);
    int calls = 0;
    tilesetfile::SliceWriter::Step step;
    // A deadline already passed: each call writes the least it can.
    while ((step = writer.writeSome(fd, Clock::now())) == tilesetfile::SliceWriter::Step::More) ++calls;
    EXPECT_EQ(step, tilesetfile::SliceWriter::Step::Done);
    EXPECT_GT(calls, 40);   // 3000 materials + 20000 tiles in 512s, the texture in 1 MiB blocks
    EXPECT_EQ(readAll(fd), whole);
    EXPECT_EQ(writer.writeSome(fd, Clock::now()), tilesetfile::SliceWriter::Step::Done);

    // With time to spare, one call writes it all.
    ASSERT_EQ(::ftruncate(fd, 0), 0);
    ::lseek(fd, 0, SEEK_SET);
    tilesetfile::SliceWriter once(set);
    EXPECT_EQ(once.writeSome(fd, Clock::now() + std::chrono::hours(1)), tilesetfile::SliceWriter::Step::Done);
    EXPECT_EQ(readAll(fd), whole);
    ::close(fd);

    // A file that cannot be written: Failed, with the reason.
    const int readOnly = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    tilesetfile::SliceWriter failing(set);
    EXPECT_EQ(failing.writeSome(readOnly, Clock::now()), tilesetfile::SliceWriter::Step::Failed);
    EXPECT_EQ(failing.error(), EBADF);
    ::close(readOnly);
}

}  // namespace
