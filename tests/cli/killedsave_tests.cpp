// Saves cut off at any instant: mrqt resave, extract, build, export and import killed with
// SIGKILL at many moments of their run leave each file they write as it was or as it was to
// become, whole; a full disk refuses the save with the old file whole and says so.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <regex>
#include <thread>

#include <sys/stat.h>
#include <sys/wait.h>

#include "../fileio/nounnamed.h"
#include "../fileio/smalldisk.h"
#include "cli/digest.h"
#include "document/tileset.h"
#include "imagewrite.h"
#include "spawn.h"
#include "tilesetfile/format.h"

using namespace marquetor;
using namespace mrqttest;
using Clock = std::chrono::steady_clock;

namespace {

// A tile set of about 1.3 MB: two textures of random bytes (512 KiB each) and 10,000 tiles.
document::TileSet bigSet(std::uint32_t seed) {
    std::mt19937 rng(seed);
    document::TileSet set;
    document::AddTileGroup(set, 1);
    document::AddMaterial(set, "Stone", 0x808080, "grey rock");
    std::vector<std::string> names;
    for (int t = 0; t < 2; ++t) {
        const std::size_t size = std::size_t{512} << 10;
        auto bytes = std::make_unique<std::uint8_t[]>(size);
        for (std::size_t i = 0; i < size; i += 4) {
            const std::uint32_t r = rng();
            std::memcpy(bytes.get() + i, &r, 4);
        }
        names.push_back("texture" + std::to_string(t) + ".png");
        document::PutTexture(set, names.back(), std::move(bytes), static_cast<std::int32_t>(size));
    }
    for (int id = 0; id < 10000; ++id)
        document::AddTile(set, 1, id, names[static_cast<std::size_t>(id) % names.size()], "Stone", 1, 0);
    return set;
}

// The kill tests start mrqt about a hundred times; built with the sanitizers it starts and
// runs ten times slower, and SIGKILL does the same to it. They run in the normal build.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MRQT_TESTS_UNDER_SANITIZERS
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(MRQT_TESTS_UNDER_SANITIZERS)
#define SKIP_UNDER_SANITIZERS() GTEST_SKIP() << "mrqt runs ten times slower with the sanitizers; the kill tests run in the normal build"
#else
#define SKIP_UNDER_SANITIZERS() static_assert(true)
#endif

// The same for a Tiled export: two pictures of noise in PNG (about 512 KiB each) and 10,000
// tiles of 16 x 16 pixels.
document::TileSet bigPictureSet(std::uint32_t seed) {
    std::mt19937 rng(seed);
    document::TileSet set;
    document::AddTileGroup(set, 1);
    set.tileWidth = set.tileHeight = 16;
    document::AddMaterial(set, "Stone", 0x808080, "grey rock");
    std::vector<std::string> names;
    for (int t = 0; t < 2; ++t) {
        imagecodec::RgbaImage image{362, 362, std::vector<std::uint8_t>(std::size_t{362} * 362 * 4)};
        for (auto& b : image.pixels) b = static_cast<std::uint8_t>(rng());
        const auto png = imagewrite::encodePng(image);
        names.push_back("picture" + std::to_string(t) + ".png");
        document::PutTexture(set, names.back(), block(std::string(png->begin(), png->end())),
                             static_cast<std::int32_t>(png->size()));
    }
    for (int id = 0; id < 10000; ++id)
        document::AddTile(set, 1, id, names[static_cast<std::size_t>(id) % names.size()], "Stone", 1, 0);
    return set;
}

std::string bytesOf(const document::TileSet& set) { return text(tilesetfile::SaveTileSetToMemory(set)); }

void refuseUnnamedFiles() {
    if (!nounnamed::RefuseUnnamedFiles()) ::_exit(125);
}

bool isStray(const std::string& name) {
    static const std::regex pattern(R"(\.mrqt-[A-Za-z0-9]{6})");
    return std::regex_match(name, pattern);
}

// Whether the stopped process holds a file open inside `folder` (its new file, named or not).
bool writingInto(pid_t pid, const fs::path& folder) {
    const std::string prefix = folder.string() + "/";
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        const fs::path target = fs::read_symlink(fd.path(), ec);
        if (!ec && target.string().rfind(prefix, 0) == 0) return true;
    }
    return false;
}

struct Tally {
    int old = 0;        // kills after which every file was as before
    int fresh = 0;      // ... as it was to become
    int mixed = 0;      // some files one way, some the other (extract)
    int writing = 0;    // kills that found the program writing its new file
    int strays = 0;     // temporary files left behind
};

std::string describe(const Tally& t) {
    return "old " + std::to_string(t.old) + ", new " + std::to_string(t.fresh) + ", mixed " + std::to_string(t.mixed) +
           ", killed while writing " + std::to_string(t.writing) + ", strays " + std::to_string(t.strays);
}

// How a run to its end went, looked at every half millisecond: how long it took and how many
// looks found it writing into the folder.
struct Timing {
    Clock::duration end{};
    int writingLooks = 0;
};

class KilledSave : public ScratchFolder {
protected:
    // Runs mrqt and looks at it every half millisecond, stopped (SIGSTOP) so that what is
    // seen holds still: `kill(elapsed, writing, writingLooks)` says whether to end it there
    // with SIGKILL. Whether it was killed; `writing` says what the last look saw.
    bool watch(const std::vector<std::string>& args, void (*beforeExec)(), const fs::path& folder,
               const std::function<bool(Clock::duration, bool, int)>& kill, Timing& seen, bool& writing) {
        const auto start = Clock::now();
        const Spawned s = Spawn(dir, args, 60, beforeExec);
        seen = Timing{};
        bool killed = false;
        for (;;) {
            ::kill(s.pid, SIGSTOP);
            int status = 0;
            ::waitpid(s.pid, &status, WUNTRACED);
            if (!WIFSTOPPED(status)) {
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "mrqt failed: " << readFile(s.err);
                break;
            }
            writing = writingInto(s.pid, folder);
            seen.writingLooks += writing;
            if (kill(Clock::now() - start, writing, seen.writingLooks)) {
                ::kill(s.pid, SIGKILL);
                ::waitpid(s.pid, &status, 0);
                killed = true;
                break;
            }
            ::kill(s.pid, SIGCONT);
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        seen.end = Clock::now() - start;
        if (!killed) writing = false;
        fs::remove(s.out);
        fs::remove(s.err);
        return killed;
    }

    // Starts mrqt `points` times and kills it with SIGKILL. Half of the moments are spread
    // evenly from its start to a tenth beyond the end of a whole run; the other half come
    // after it is first seen writing into the folder, spread over twice as many looks as
    // found a whole run writing, so that they fall while it writes (the first of them always
    // does) and after, whatever else the machine is doing; the last is the first look that
    // finds every file replaced (`replaced`), before the program has ended. After each,
    // `judge` says whether the files it writes are old, new or mixed (anything else fails
    // inside). Stray temporary files in `folder` are counted and removed; nothing else but
    // `kept` may be there.
    Tally killAcross(int points, const std::vector<std::string>& args, const fs::path& folder,
                     const std::vector<std::string>& kept, const std::function<void()>& prepare,
                     const std::function<bool()>& replaced, const std::function<char()>& judge,
                     void (*beforeExec)() = nullptr) {
        // A whole run, the faster of two.
        Timing whole{Clock::duration::max(), 0};
        for (int i = 0; i < 2; ++i) {
            prepare();
            Timing t;
            bool writing = false;
            watch(args, beforeExec, folder, [](Clock::duration, bool, int) { return false; }, t, writing);
            if (t.end < whole.end) whole = t;
        }
        EXPECT_GT(whole.writingLooks, 0) << "a whole run was never seen writing";

        Tally tally;
        const int spread = points / 2, afterWriting = points - spread;
        for (int i = 0; i < points; ++i) {
            prepare();
            std::function<bool(Clock::duration, bool, int)> when;
            if (i < spread) {
                const Clock::duration at = whole.end * 11 * (2 * i + 1) / (20 * spread);
                when = [at](Clock::duration elapsed, bool, int) { return elapsed >= at; };
            } else if (i == points - 1) {
                when = [&replaced](Clock::duration, bool, int) { return replaced(); };
            } else {
                // Looks beyond those of the writing let it end.
                const int looks = 1 + (i - spread) * 2 * whole.writingLooks / afterWriting;
                when = [looks](Clock::duration, bool, int writingLooks) { return writingLooks >= looks; };
            }
            Timing t;
            bool writing = false;
            watch(args, beforeExec, folder, when, t, writing);
            tally.writing += writing;

            const char verdict = judge();
            switch (verdict) {
            case 'o': ++tally.old; break;
            case 'n': ++tally.fresh; break;
            case 'm': ++tally.mixed; break;
            default: ADD_FAILURE() << "after the kill at point " << i << " a file is neither old nor new"; break;
            }
            for (const auto& entry : fs::directory_iterator(folder)) {
                const std::string name = entry.path().filename().string();
                if (!isStray(name)) continue;
                ++tally.strays;
                EXPECT_TRUE(entry.is_regular_file()) << name;
                fs::remove(entry.path());
            }
            std::vector<std::string> left;
            for (const auto& entry : fs::directory_iterator(folder)) left.push_back(entry.path().filename().string());
            std::sort(left.begin(), left.end());
            EXPECT_EQ(left, kept) << "after the kill at point " << i;
        }
        return tally;
    }

    // `args` killed at 16 moments while it writes `target` (in `folder`, alone there) over
    // `old`: each time the file is old or `fresh`, whole, and at most one temporary file
    // is left behind.
    void expectEachKillLeavesOldOrNew(const std::string& what, const std::vector<std::string>& args,
                                      const fs::path& target, const std::string& old, const std::string& fresh) {
        auto prepare = [&] { writeFile(target, old); };
        auto judge = [&]() -> char {
            const std::string now = readFile(target);
            return now == old ? 'o' : now == fresh ? 'n' : '?';
        };
        auto replaced = [&] { return fs::file_size(target) == fresh.size(); };
        const Tally tally = killAcross(16, args, target.parent_path(), {target.filename().string()}, prepare, replaced, judge);
        SCOPED_TRACE(what + ": " + describe(tally));
        EXPECT_EQ(tally.old + tally.fresh, 16);
        EXPECT_GE(tally.old, 1);
        EXPECT_GE(tally.fresh, 1);
        EXPECT_GE(tally.writing, 2);
        EXPECT_LE(tally.strays, 1);
    }

    // The same for a command that writes several files (the only ones in `folder`), each
    // over an older export of it: each file is the older export or its new bytes, whole.
    void expectEachKillLeavesEachFileOldOrNew(const std::string& what, const std::vector<std::string>& args,
                                              const fs::path& folder,
                                              const std::vector<std::pair<fs::path, std::string>>& files) {
        auto olderExport = [](const fs::path& path) { return "an older export of " + path.filename().string(); };
        auto prepare = [&] {
            for (const auto& [path, bytes] : files) writeFile(path, olderExport(path));
        };
        auto judge = [&]() -> char {
            int old = 0, fresh = 0;
            for (const auto& [path, bytes] : files) {
                const std::string now = readFile(path);
                old += now == olderExport(path);
                fresh += now == bytes;
            }
            if (old + fresh != static_cast<int>(files.size())) return '?';
            return fresh == 0 ? 'o' : old == 0 ? 'n' : 'm';
        };
        std::vector<std::string> names;
        for (const auto& file : files) names.push_back(file.first.filename().string());
        std::sort(names.begin(), names.end());
        auto replaced = [&] {
            return std::all_of(files.begin(), files.end(),
                               [](const auto& file) { return fs::file_size(file.first) == file.second.size(); });
        };
        const Tally tally = killAcross(16, args, folder, names, prepare, replaced, judge);
        SCOPED_TRACE(what + ": " + describe(tally));
        EXPECT_EQ(tally.old + tally.fresh + tally.mixed, 16);
        EXPECT_GE(tally.old, 1);
        EXPECT_GE(tally.fresh, 1);
        EXPECT_GE(tally.writing, 2);
        EXPECT_LE(tally.strays, 1);
    }
};


}  // namespace

TEST_F(KilledSave, ResaveKilledAtAnyMomentLeavesTheOldFileOrTheNewOneWhole) {
    SKIP_UNDER_SANITIZERS();
    const fs::path out = dir / "out";
    fs::create_directories(out);
    const std::string fresh = bytesOf(bigSet(1));
    writeFile(dir / "in.mrqt", fresh);
    const std::string old = readFile(MRQT_DEMO_SET);
    ASSERT_NE(old, fresh);
    const fs::path target = out / "level.mrqt";
    const std::vector<std::string> args{"resave", "in.mrqt", "out/level.mrqt"};
    auto prepare = [&] {
        writeFile(target, old);
        ::chmod(target.c_str(), 0644);
    };
    auto judge = [&]() -> char {
        const std::string now = readFile(target);
        return now == old ? 'o' : now == fresh ? 'n' : '?';
    };
    auto replaced = [&] { return fs::file_size(target) == fresh.size(); };
    // A run to its end writes the new file.
    prepare();
    ASSERT_EQ(Finish(Spawn(dir, args, 60)).status, 0);
    EXPECT_EQ(readFile(target), fresh);

    // The usual way: the new file has no name until it is complete, so a kill leaves
    // nothing behind, but for the instant between its naming and the rename.
    const Tally unnamed = killAcross(60, args, out, {"level.mrqt"}, prepare, replaced, judge);
    SCOPED_TRACE("unnamed: " + describe(unnamed));
    EXPECT_EQ(unnamed.old + unnamed.fresh, 60);
    EXPECT_GE(unnamed.old, 5);
    EXPECT_GE(unnamed.fresh, 1);
    EXPECT_GE(unnamed.writing, 8);
    EXPECT_LE(unnamed.strays, 1);

    // A file system without unnamed files: the new file is written under its temporary
    // name, which a kill while writing leaves behind (no later save takes it away).
    if (nounnamed::Available()) {
        const Tally named = killAcross(16, args, out, {"level.mrqt"}, prepare, replaced, judge, refuseUnnamedFiles);
        SCOPED_TRACE("named: " + describe(named));
        EXPECT_EQ(named.old + named.fresh, 16);
        EXPECT_GE(named.writing, 2);
        EXPECT_GE(named.strays, 1);
    }
}

TEST_F(KilledSave, ExtractAndBuildKilledAtAnyMomentLeaveEachFileOldOrNewWhole) {
    SKIP_UNDER_SANITIZERS();
    const document::TileSet set = bigSet(2);
    writeFile(dir / "in.mrqt", bytesOf(set));
    const fs::path textures = dir / "textures";
    fs::create_directories(textures);
    std::vector<std::pair<fs::path, std::string>> files;
    set.textures.forEach([&](const document::Texture& t) {
        files.emplace_back(textures / t.name, std::string(t.data().begin(), t.data().end()));
    });

    // extract writes each texture over an older export of it.
    expectEachKillLeavesEachFileOldOrNew("extract", {"extract", "in.mrqt", "textures"}, textures, files);

    // build reads those textures and writes the tile set over an older one.
    {
        const Outcome dumped = run({"dump", "in.mrqt"});
        ASSERT_EQ(dumped.status, 0) << dumped.err;
        writeFile(dir / "in.json", dumped.out);
        for (const auto& [path, bytes] : files) writeFile(path, bytes);
        const fs::path out = dir / "out";
        fs::create_directories(out);
        expectEachKillLeavesOldOrNew("build", {"build", "in.json", "textures", "out/built.mrqt"}, out / "built.mrqt",
                                     readFile(MRQT_DEMO_SET), bytesOf(set));
    }
}

TEST_F(KilledSave, TiledExportAndImportKilledAtAnyMomentLeaveEachFileOldOrNewWhole) {
    SKIP_UNDER_SANITIZERS();
    writeFile(dir / "in.mrqt", bytesOf(bigPictureSet(3)));
    // What whole runs write, made aside.
    const Outcome exported = run({"export", "in.mrqt", "whole/level.tsx"});
    ASSERT_EQ(exported.status, 0) << exported.err;
    const Outcome imported = run({"import", "whole/level.tsx", "whole/level.mrqt"});
    ASSERT_EQ(imported.status, 0) << imported.err;
    const fs::path tiled = dir / "tiled";
    fs::create_directories(tiled);
    std::vector<std::pair<fs::path, std::string>> files;
    for (const std::string name : {"level.tsx", "picture0.png", "picture1.png"})
        files.emplace_back(tiled / name, readFile(dir / "whole" / name));

    // export writes each picture, then the tileset, over an older export.
    expectEachKillLeavesEachFileOldOrNew("export", {"export", "in.mrqt", "tiled/level.tsx"}, tiled, files);

    // import reads that export and writes a tile set over an older one.
    {
        for (const auto& [path, bytes] : files) writeFile(path, bytes);
        const fs::path out = dir / "out";
        fs::create_directories(out);
        const std::string old = readFile(MRQT_DEMO_SET);
        const std::string fresh = readFile(dir / "whole" / "level.mrqt");
        ASSERT_NE(old, fresh);
        expectEachKillLeavesOldOrNew("import", {"import", "tiled/level.tsx", "out/imported.mrqt"}, out / "imported.mrqt",
                                     old, fresh);
    }
}

TEST_F(KilledSave, OnAFullDiskMrqtRefusesTheSaveSaysWhyAndKeepsTheOldFile) {
    const fs::path disk = dir / "disk";
    SMALL_DISK_OR_SKIP(small, disk, 512 * 1024);
    document::TileSet set;
    document::AddTileGroup(set, 1);
    document::PutTexture(set, "rock.png", block(std::string(100000, 'r')), 100000);
    writeFile(dir / "in.mrqt", bytesOf(set));
    const std::string old = readFile(MRQT_DEMO_SET);
    writeFile(disk / "level.mrqt", old);
    fs::create_directories(disk / "textures");
    writeFile(disk / "textures" / "rock.png", "an older export");
    fs::create_directories(disk / "tiled");
    writeFile(disk / "tiled" / "level.tsx", "an older tileset");
    writeFile(dir / "in.json", run({"dump", "in.mrqt"}).out);
    fs::create_directories(dir / "textures");
    ASSERT_EQ(run({"extract", "in.mrqt", "textures"}).status, 0);
    const Outcome exported = run({"export", "in.mrqt", "tiled/level.tsx"});
    ASSERT_EQ(exported.status, 0) << exported.err;
    ASSERT_TRUE(small.fill(disk / "filler"));

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"resave", "in.mrqt", "disk/level.mrqt"},
             {"build", "in.json", "textures", "disk/level.mrqt"},
             {"extract", "in.mrqt", "disk/textures"},
             {"export", "in.mrqt", "disk/tiled/level.tsx"},
             {"import", "tiled/level.tsx", "disk/level.mrqt"}}) {
        SCOPED_TRACE(args[0]);
        const Outcome r = Finish(Spawn(dir, args, 20));
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.rfind("mrqt: cannot write \"disk/", 0), 0u) << r.err;
        EXPECT_EQ(readFile(disk / "level.mrqt"), old);
        EXPECT_EQ(readFile(disk / "textures" / "rock.png"), "an older export");
        EXPECT_EQ(readFile(disk / "tiled" / "level.tsx"), "an older tileset");
        std::vector<std::string> entries;
        for (const auto& e : fs::recursive_directory_iterator(disk))
            entries.push_back(fs::relative(e.path(), disk).string());
        std::sort(entries.begin(), entries.end());
        EXPECT_EQ(entries, (std::vector<std::string>{"filler", "level.mrqt", "textures", "textures/rock.png", "tiled",
                                                     "tiled/level.tsx"}));
    }
}
