// mrqt build given texture files that are no regular files, or that change while they are
// read: refused at once, naming the file and why, and nothing written.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../fileio/midread.h"
#include "spawn.h"

using namespace mrqttest;

namespace {

class BuildInput : public ScratchFolder {
protected:
    void SetUp() override {
        ScratchFolder::SetUp();
        fs::create_directories(dir / "tex");
        writeFile(dir / "out.mrqt", "older");
    }
    // A JSON document naming one texture.
    void jsonNaming(const std::string& texture) {
        writeFile(dir / "in.json", R"({"tileWidth": 32, "tileHeight": 32, "textures": [{"name": ")" + texture + R"("}]})");
    }
    // mrqt build, ended by an alarm (which fails the test) if it does not answer.
    Outcome build(const std::function<void(pid_t)>& whileRunning = {}) {
        const Spawned s = Spawn(dir, {"build", "in.json", "tex", "out.mrqt"}, 10);
        if (whileRunning) whileRunning(s.pid);
        return Finish(s);
    }
};

}  // namespace

TEST_F(BuildInput, ATextureThatIsNoRegularFileIsRefusedAtOnce) {
    // Each of them would hold a reader that opened it (a FIFO without a writer) or read it
    // to its end (/dev/zero has none).
    ASSERT_EQ(::mkfifo((dir / "tex" / "pipe.png").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", dir / "tex" / "zero.png");
    fs::create_directories(dir / "tex" / "folder.png");
    const std::vector<std::pair<std::string, std::string>> cases{
        {"pipe.png", "a FIFO"}, {"zero.png", "a device"}, {"folder.png", "a folder"}};
    for (const auto& [name, kind] : cases) {
        SCOPED_TRACE(name);
        jsonNaming(name);
        const Outcome r = build();
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "mrqt: in.json: texture \"" + name + "\": tex/" + name +
                             " cannot be read: not a regular file (it is " + kind + ")\n");
        EXPECT_EQ(readFile(dir / "out.mrqt"), "older");
    }
    EXPECT_TRUE(fs::is_fifo(dir / "tex" / "pipe.png"));
}

TEST_F(BuildInput, ATextureCutShortWhileItIsReadIsRefused) {
    // 64 MiB (a hole, no disk), which the reader takes in steps of 1 MiB: mrqt is stopped
    // between two of them and the file cut to half its size.
    const fs::path big = fs::canonical(dir / "tex") / "big.png";
    constexpr off_t kSize = off_t{64} << 20;
    jsonNaming("big.png");
    bool caught = false;
    for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
        ASSERT_TRUE(midread::MakeSparseFile(big.c_str(), kSize));
        const Outcome r = build([&](pid_t mrqt) {
            caught = midread::ChangeFileMidRead(mrqt, big.c_str(), kSize, midread::Change::Truncate, 2000);
        });
        if (!caught) {
            // It read the file whole before it could be caught: built as usual.
            EXPECT_EQ(r.status, 0) << r.err;
            writeFile(dir / "out.mrqt", "older");
            continue;
        }
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "mrqt: in.json: texture \"big.png\": tex/big.png cannot be read: the file changed while it was read\n");
        EXPECT_EQ(readFile(dir / "out.mrqt"), "older");
    }
    EXPECT_TRUE(caught) << "mrqt was never caught in the middle of the file";
}
