// How a save's new file reaches the disk: a file system without unnamed files gets a named
// temporary file instead, and a full disk refuses the save with the old file whole.
#include "helpers.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "child.h"
#include "fileio/replacefile.h"
#include "nounnamed.h"
#include "smalldisk.h"

using marquetor::fileio::SaveFile;
using marquetor::fileio::WriteResult;
using namespace testhelp;

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST_F(TempDir, WithoutUnnamedFilesASaveTakesANamedTemporaryFile) {
    if (!nounnamed::Available()) GTEST_SKIP() << "no seccomp filter for this processor";
    const fs::path file = dir / "set.mrqt";
    writeFile(file, bytesOf("old"));
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    const auto report = childtest::RunInChild([&] {
        if (!nounnamed::RefuseUnnamedFiles()) return std::string("no filter: ") + std::strerror(errno);
        // The filter holds: no unnamed file can be made in the folder.
        if (::open(dir.c_str(), O_TMPFILE | O_WRONLY, 0600) >= 0 || errno != EOPNOTSUPP)
            return std::string("an unnamed file could still be made");
        std::string out;
        for (const auto& [path, text] : {std::pair{file, "replaced"}, std::pair{dir / "new.png", "made"}}) {
            const WriteResult r = SaveFile(path, bytesOf(text));
            out += (r.ok ? "saved;" : "failed: " + r.reason + ";");
        }
        const WriteResult r = marquetor::tilesetfile::SaveTileSet(sampleDocument(), dir / "doc.mrqt");
        return out + (r.ok ? "saved" : "failed: " + r.reason);
    });
    ASSERT_TRUE(report.has_value());
    ASSERT_EQ(*report, "saved;saved;saved");
    EXPECT_EQ(readFile(file), bytesOf("replaced"));
    EXPECT_EQ(modeOf(file), 0640u);
    EXPECT_EQ(readFile(dir / "new.png"), bytesOf("made"));
    EXPECT_EQ(readFile(dir / "doc.mrqt"), marquetor::tilesetfile::SaveTileSetToMemory(sampleDocument()));
    EXPECT_EQ(entries(), (std::vector<std::string>{"doc.mrqt", "new.png", "set.mrqt"}));
}

TEST_F(TempDir, OnAFullDiskASaveIsRefusedAndTheOldFileStaysWhole) {
    const fs::path disk = dir / "disk";
    SMALL_DISK_OR_SKIP(small, disk, 256 * 1024);
    const fs::path file = disk / "set.mrqt";
    const Bytes old = marquetor::tilesetfile::SaveTileSetToMemory(sampleDocument());
    writeFile(file, old);
    const fs::path linked = disk / "linked.png";   // two names: saved in place
    writeFile(linked, bytesOf("linked texture"));
    ASSERT_EQ(::link(linked.c_str(), (disk / "other.png").c_str()), 0);
    ASSERT_TRUE(small.fill(disk / "filler"));
    const std::vector<std::string> before{"filler", "linked.png", "other.png", "set.mrqt"};
    const std::string full = std::strerror(ENOSPC);

    // Through the unnamed file and, where a file system has none, a named one.
    for (const bool named : {false, true}) {
        SCOPED_TRACE(named ? "named temporary file" : "unnamed temporary file");
        const auto report = childtest::RunInChild([&] {
            if (named && !nounnamed::RefuseUnnamedFiles()) return std::string("no filter");
            std::string out;
            const marquetor::document::TileSet bigger = sampleDocument();
            for (const WriteResult& r : {marquetor::tilesetfile::SaveTileSet(bigger, file),
                                         SaveFile(file, Bytes(100000, 'n')), SaveFile(disk / "fresh.png", bytesOf("x")),
                                         SaveFile(linked, Bytes(100000, 'n'))})
                out += (r.ok ? std::string("saved") : r.reason) + "\n";
            return out;
        });
        ASSERT_TRUE(report.has_value());
        std::vector<std::string> reasons;
        for (std::size_t at = 0, end; (end = report->find('\n', at)) != std::string::npos; at = end + 1)
            reasons.push_back(report->substr(at, end - at));
        ASSERT_EQ(reasons.size(), 4u) << *report;
        for (const std::string& reason : reasons) EXPECT_TRUE(contains(reason, full)) << reason;
        EXPECT_TRUE(contains(reasons[3], "unchanged")) << reasons[3];   // in place: nothing overwritten
        EXPECT_EQ(readFile(file), old);
        EXPECT_EQ(readFile(linked), bytesOf("linked texture"));
        std::vector<std::string> now;
        for (const auto& e : fs::directory_iterator(disk)) now.push_back(e.path().filename().string());
        std::sort(now.begin(), now.end());
        EXPECT_EQ(now, before);
    }
}
