// Saving never leaves a half-written file: failures keep the old file and no temporary.
#include "helpers.h"

#include <csignal>
#include <functional>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace marquetor::document;
using namespace marquetor::tilesetfile;
using namespace testhelp;

namespace {

// A document whose saved form is about 64 KiB.
TileSet bigDocument() {
    TileSet set = newDocument();
    const std::string bytes(64 * 1024, 'z');
    PutTexture(set, "big.png", block(bytes), static_cast<std::int32_t>(bytes.size()));
    for (int i = 0; i < 100; ++i) AddTile(set, 1, i, "big.png", "m", 0, 0);
    return set;
}

enum class SignalSetting { Ignored, Default };

// Runs a save in a child process whose file size limit is 4 KiB, so that the write fails
// part-way. Returns the child's exit status: 0 when the save reported failure, 1 when it
// claimed success; a child killed by a signal fails the test.
int saveWithSmallFileLimit(const std::function<SaveResult()>& save, SignalSetting signals) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (signals == SignalSetting::Ignored) std::signal(SIGXFSZ, SIG_IGN);
        else std::signal(SIGXFSZ, SIG_DFL);
        const rlimit limit{4096, 4096};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(3);
        const SaveResult r = save();
        ::_exit(r.ok ? 1 : (r.reason.empty() ? 2 : 0));
    }
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << "the saving process was killed by signal " << WTERMSIG(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST_F(TempDir, SaveReplacesAnExistingFileAndKeepsItsPermissions) {
    const fs::path file = dir / "set.mrqt";
    writeFile(file, bytesOf("old content"));
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    const TileSet set = sampleDocument();
    const SaveResult r = SaveTileSet(set, file);
    ASSERT_TRUE(r.ok) << r.reason;
    EXPECT_EQ(readFile(file), SaveTileSetToMemory(set));
    EXPECT_EQ(modeOf(file), 0640u);
    EXPECT_EQ(entries(), (std::vector<std::string>{"set.mrqt"}));
}

TEST_F(TempDir, NewFilesGetTheUsualPermissions) {
    const mode_t old = ::umask(022);
    const SaveResult r = SaveTileSet(newDocument(), dir / "new.mrqt");
    const SaveResult raw = marquetor::fileio::SaveFile(dir / "raw.bin", bytesOf("x"));
    ::umask(old);
    ASSERT_TRUE(r.ok) << r.reason;
    ASSERT_TRUE(raw.ok) << raw.reason;
    EXPECT_EQ(modeOf(dir / "new.mrqt"), 0644u);
    EXPECT_EQ(modeOf(dir / "raw.bin"), 0644u);
}

TEST_F(TempDir, SaveThroughASymbolicLinkReplacesTheFileItPointsTo) {
    fs::create_directory(dir / "real");
    writeFile(dir / "real" / "set.mrqt", bytesOf("old"));
    fs::create_symlink("real/set.mrqt", dir / "link.mrqt");
    ASSERT_TRUE(SaveTileSet(newDocument(), dir / "link.mrqt").ok);
    EXPECT_TRUE(fs::is_symlink(dir / "link.mrqt"));
    EXPECT_EQ(readFile(dir / "real" / "set.mrqt"), SaveTileSetToMemory(newDocument()));
    EXPECT_EQ(entries(), (std::vector<std::string>{"link.mrqt", "real"}));
}

TEST_F(TempDir, UncreatableTargetsFailAndChangeNothing) {
    const TileSet set = sampleDocument();
    SaveResult r = SaveTileSet(set, dir / "no" / "such" / "folder" / "set.mrqt");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.code(), 0);
    EXPECT_FALSE(r.reason.empty());

    fs::create_directory(dir / "folder.mrqt");
    writeFile(dir / "folder.mrqt" / "inside", bytesOf("x"));
    r = SaveTileSet(set, dir / "folder.mrqt");
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(fs::is_directory(dir / "folder.mrqt"));
    EXPECT_EQ(readFile(dir / "folder.mrqt" / "inside"), bytesOf("x"));

    EXPECT_FALSE(SaveTileSet(set, "").ok);
    EXPECT_FALSE(marquetor::fileio::SaveFile(dir / "missing" / "x.png", bytesOf("x")).ok);
    EXPECT_EQ(entries(), (std::vector<std::string>{"folder.mrqt"}));
}

TEST_F(TempDir, AWriteFailingMidwayKeepsTheOldFile) {
    const fs::path file = dir / "set.mrqt";
    const Bytes old = SaveTileSetToMemory(sampleDocument());
    writeFile(file, old);
    const TileSet big = bigDocument();

    for (const auto signals : {SignalSetting::Ignored, SignalSetting::Default}) {
        SCOPED_TRACE(signals == SignalSetting::Ignored ? "SIGXFSZ ignored" : "SIGXFSZ default");
        EXPECT_EQ(saveWithSmallFileLimit([&] { return SaveTileSet(big, file); }, signals), 0);
        EXPECT_EQ(readFile(file), old);
        EXPECT_EQ(entries(), (std::vector<std::string>{"set.mrqt"}));

        const Bytes raw(100000, 'r');
        EXPECT_EQ(saveWithSmallFileLimit([&] { return marquetor::fileio::SaveFile(file, raw); }, signals), 0);
        EXPECT_EQ(readFile(file), old);
        EXPECT_EQ(entries(), (std::vector<std::string>{"set.mrqt"}));
    }

    // A save of a new file that fails leaves nothing at all.
    EXPECT_EQ(saveWithSmallFileLimit([&] { return SaveTileSet(big, dir / "fresh.mrqt"); }, SignalSetting::Ignored), 0);
    EXPECT_EQ(entries(), (std::vector<std::string>{"set.mrqt"}));

    // The same save within the limit succeeds in the same setting.
    EXPECT_EQ(saveWithSmallFileLimit([&] { return SaveTileSet(newDocument(), file); }, SignalSetting::Default), 1);
    EXPECT_EQ(readFile(file), SaveTileSetToMemory(newDocument()));
}
