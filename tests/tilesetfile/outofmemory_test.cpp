// A texture block the memory cannot hold: the reader passes over exactly the bytes of that
// block and reads on in step.
//
// The seam: the readers allocate texture blocks with `new (std::nothrow) std::uint8_t[n]`,
// so this test program replaces that one allocation function (a replacement C++ allows
// for any program). Armed, it refuses the next request of at least a given size; otherwise
// it hands the request to the ordinary allocation, whose delete[] it matches.
#include "helpers.h"

#include <atomic>
#include <csignal>
#include <new>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<std::size_t> g_refuseFrom{0};   // 0: nothing is refused
std::atomic<int> g_refused{0};

// The next nothrow array allocation of at least `bytes` fails.
void refuseNextAllocationFrom(std::size_t bytes) {
    g_refused = 0;
    g_refuseFrom = bytes;
}

}  // namespace

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    std::size_t from = g_refuseFrom.load();
    if (from != 0 && size >= from && g_refuseFrom.compare_exchange_strong(from, 0)) {
        ++g_refused;
        return nullptr;
    }
    try {
        return ::operator new[](size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

using namespace marquetor::document;
using namespace marquetor::tilesetfile;
using namespace testhelp;

namespace {

constexpr std::size_t kBigTexture = 300000;

// A texture too big to hold, then records that must still be read as they are.
Bytes fileWithABigTexture() {
    Builder b;
    b.header().i32(16).i32(16).i32(0).i32(2);
    b.line("big.png").i32(static_cast<std::int32_t>(kBigTexture)).raw(std::string(kBigTexture, 'b'));
    b.line("after.png").i32(5).raw("after");
    b.i32(1).i32(7).line("after.png").line("m").i16(1).i16(2);
    return b.bytes();
}

void expectReadOnInStep(const TileSet& set, const LoadResult& result) {
    EXPECT_EQ(g_refused.load(), 1) << "the block allocation was not the one refused";
    EXPECT_EQ(result.status, LoadStatus::Truncated);
    EXPECT_NE(result.message.find("memory"), std::string::npos) << result.message;
    const Texture* big = FindTexture(set, "big.png");
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->data().size(), 0u);
    const Texture* after = FindTexture(set, "after.png");
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(contentOf(*after), "after");
    const TileGroup* group = LookUpTileGroup(set, 1);
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group->tiles.size(), 1u);
    const Tile* tile = group->tiles.items().front().get();
    EXPECT_EQ(tile->id, 7);
    EXPECT_EQ(tile->texture, "after.png");
    EXPECT_EQ(tile->material, "m");
    EXPECT_EQ(tile->layer, 1);
    EXPECT_EQ(tile->collision, 2);
}

}  // namespace

TEST_F(TempDir, ATextureBlockThatCannotBeHeldIsPassedOverExactly) {
    const Bytes bytes = fileWithABigTexture();

    {
        SCOPED_TRACE("from memory: the block's first allocation fails");
        TileSet set = newDocument();
        refuseNextAllocationFrom(kBigTexture);
        expectReadOnInStep(set, LoadTileSetFromMemory(set, bytes));
    }
    {
        // The file's length is known, so the block is allocated whole before any byte of it
        // is taken.
        SCOPED_TRACE("from a file: the block's first allocation fails");
        writeFile(dir / "big.mrqt", bytes);
        TileSet set = newDocument();
        refuseNextAllocationFrom(kBigTexture);
        expectReadOnInStep(set, LoadTileSet(set, dir / "big.mrqt"));
    }
    {
        // No length is known ahead: the block starts small and grows as the bytes come, so
        // the growth fails after part of the block has been read.
        SCOPED_TRACE("from a pipe: the block fails to grow part-way");
        const fs::path fifo = dir / "pipe.mrqt";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        std::signal(SIGPIPE, SIG_IGN);
        std::thread writer([&] {
            const int fd = ::open(fifo.c_str(), O_WRONLY);
            if (fd < 0) return;
            for (std::size_t done = 0; done < bytes.size();) {
                const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
                if (n <= 0) break;
                done += static_cast<std::size_t>(n);
            }
            ::close(fd);
        });
        TileSet set = newDocument();
        refuseNextAllocationFrom(100000);
        const LoadResult result = LoadTileSet(set, fifo);
        writer.join();
        expectReadOnInStep(set, result);
    }
    g_refuseFrom = 0;
}
