// How a save replaces a file: what it refuses, when it writes in place, and what the new
// file keeps of the old one. The permission cases run as an unprivileged user.
#include "helpers.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <functional>
#include <optional>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "fileio/replacefile.h"

using marquetor::fileio::SaveFile;
using marquetor::fileio::WriteResult;
using namespace testhelp;

namespace {

struct stat statOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
    return st;
}

Bytes sized(std::size_t n, char fill) { return Bytes(n, static_cast<std::uint8_t>(fill)); }

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// Who the permission cases run as: ourselves when we are not root, else nobody.
struct Runner {
    uid_t uid = 0;
    gid_t gid = 0;
    bool dropsRoot = false;
};

std::optional<Runner> unprivilegedRunner(std::string& why) {
    if (::geteuid() != 0) return Runner{::geteuid(), ::getegid(), false};
    const passwd* nobody = ::getpwnam("nobody");
    if (nobody == nullptr) {
        why = "the tests run as root and there is no user \"nobody\" to drop to";
        return std::nullopt;
    }
    return Runner{nobody->pw_uid, nobody->pw_gid, true};
}

// Runs `save` in a child process as the runner (dropping root's IDs with setresgid and
// setresuid first) and hands back its result; nothing, with `why` set, when the child could
// not become the runner. A child that hangs is killed after 20 seconds and fails the test.
std::optional<WriteResult> runAs(const Runner& runner, const std::function<WriteResult()>& save, std::string& why) {
    int fds[2];
    if (::pipe(fds) != 0) {
        ADD_FAILURE() << "pipe";
        return std::nullopt;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        std::string report;
        if (runner.dropsRoot && (::setgroups(0, nullptr) != 0 || ::setresgid(runner.gid, runner.gid, runner.gid) != 0 ||
                                 ::setresuid(runner.uid, runner.uid, runner.uid) != 0)) {
            report = std::string("-") + std::strerror(errno);
        } else {
            ::alarm(20);
            const WriteResult r = save();
            report = (r.ok ? "1" : "0") + r.reason;
        }
        const ssize_t written = ::write(fds[1], report.data(), report.size());
        ::_exit(written == static_cast<ssize_t>(report.size()) ? 0 : 1);
    }
    ::close(fds[1]);
    std::string report;
    char buffer[512];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || report.empty()) {
        ADD_FAILURE() << "the saving process did not finish"
                      << (WIFSIGNALED(status) ? " (killed by signal " + std::to_string(WTERMSIG(status)) + ")" : "");
        return std::nullopt;
    }
    if (report[0] == '-') {
        why = "the tests run as root and cannot become \"nobody\": " + report.substr(1);
        return std::nullopt;
    }
    return WriteResult{report[0] == '1', report.substr(1)};
}

class ReplaceFileTest : public TempDir {
protected:
    void SetUp() override {
        TempDir::SetUp();
        // The runner must reach the folders the cases make in here.
        ASSERT_EQ(::chmod(dir.c_str(), 0755), 0);
    }
    // A file or folder that belongs to the runner.
    void giveToRunner(const fs::path& p, const Runner& runner) {
        if (::geteuid() == 0) {
            ASSERT_EQ(::lchown(p.c_str(), runner.uid, runner.gid), 0) << p;
        }
    }
    std::vector<std::string> entriesOf(const fs::path& folder) const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
};

#define RUNNER_OR_SKIP(runner)                          \
    std::string skipWhy;                                \
    const auto runner = unprivilegedRunner(skipWhy);    \
    if (!runner) {                                      \
        GTEST_SKIP() << skipWhy;                        \
    }                                                   \
    static_assert(true)

#define RUN_AS_OR_SKIP(result, runner, save)                            \
    const std::optional<WriteResult> result = runAs(*runner, save, skipWhy); \
    if (!result && !skipWhy.empty()) {                                   \
        GTEST_SKIP() << skipWhy;                                         \
    }                                                                    \
    ASSERT_TRUE(result.has_value())

}  // namespace

TEST_F(ReplaceFileTest, AFileTheUserMayNotWriteIsRefusedAndStaysAsItWas) {
    RUNNER_OR_SKIP(runner);
    const fs::path folder = dir / "mine";
    fs::create_directory(folder);
    giveToRunner(folder, *runner);
    const fs::path file = folder / "set.mrqt";
    writeFile(file, bytesOf("old"));
    giveToRunner(file, *runner);
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);

    // Made read-only by its owner: the folder would allow a rename, the file says no.
    RUN_AS_OR_SKIP(r, runner, [&] { return SaveFile(file, bytesOf("new content")); });
    EXPECT_FALSE(r->ok);
    EXPECT_TRUE(contains(r->reason, "write-protected")) << r->reason;
    EXPECT_EQ(readFile(file), bytesOf("old"));
    EXPECT_EQ(statOf(file).st_mode & 07777, 0444u);
    EXPECT_EQ(entriesOf(folder), (std::vector<std::string>{"set.mrqt"}));

    if (::geteuid() == 0) {
        // Another user's file in the runner's folder: refused the same way.
        const fs::path others = folder / "others.mrqt";
        writeFile(others, bytesOf("root's"));
        ASSERT_EQ(::chmod(others.c_str(), 0644), 0);
        RUN_AS_OR_SKIP(r2, runner, [&] { return SaveFile(others, bytesOf("taken over")); });
        EXPECT_FALSE(r2->ok);
        EXPECT_EQ(readFile(others), bytesOf("root's"));
        EXPECT_EQ(statOf(others).st_uid, 0u);

        // Root itself may write anything, as usual; the mode stays.
        const WriteResult asRoot = SaveFile(file, bytesOf("by root"));
        EXPECT_TRUE(asRoot.ok) << asRoot.reason;
        EXPECT_EQ(readFile(file), bytesOf("by root"));
        EXPECT_EQ(statOf(file).st_mode & 07777, 0444u);
    }
}

TEST_F(ReplaceFileTest, AWritableFileInAFolderThatTakesNoNewFilesIsWrittenInPlace) {
    RUNNER_OR_SKIP(runner);
    const fs::path folder = dir / "locked";
    fs::create_directory(folder);
    const fs::path file = folder / "set.mrqt";
    writeFile(file, sized(100, 'o'));
    giveToRunner(file, *runner);
    ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
    // Root's folder for nobody; our own, closed to ourselves, otherwise.
    ASSERT_EQ(::chmod(folder.c_str(), ::geteuid() == 0 ? 0755 : 0555), 0);
    const ino_t inode = statOf(file).st_ino;

    RUN_AS_OR_SKIP(shrunk, runner, [&] { return SaveFile(file, sized(10, 's')); });
    EXPECT_TRUE(shrunk->ok) << shrunk->reason;
    EXPECT_EQ(readFile(file), sized(10, 's'));   // cut to the new size
    RUN_AS_OR_SKIP(grown, runner, [&] { return SaveFile(file, sized(5000, 'g')); });
    EXPECT_TRUE(grown->ok) << grown->reason;
    EXPECT_EQ(readFile(file), sized(5000, 'g'));
    EXPECT_EQ(statOf(file).st_ino, inode);
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(entriesOf(folder), (std::vector<std::string>{"set.mrqt"}));

    if (::geteuid() == 0) {
        // A sticky folder (like /tmp) lets nobody write root's shared file but not rename over it.
        const fs::path sticky = dir / "sticky";
        fs::create_directory(sticky);
        ASSERT_EQ(::chmod(sticky.c_str(), 01777), 0);
        const fs::path shared = sticky / "shared.mrqt";
        writeFile(shared, sized(50, 'o'));
        ASSERT_EQ(::chmod(shared.c_str(), 0666), 0);
        RUN_AS_OR_SKIP(r, runner, [&] { return SaveFile(shared, sized(20, 'n')); });
        EXPECT_TRUE(r->ok) << r->reason;
        EXPECT_EQ(readFile(shared), sized(20, 'n'));
        EXPECT_EQ(statOf(shared).st_uid, 0u);
        EXPECT_EQ(entriesOf(sticky), (std::vector<std::string>{"shared.mrqt"}));
    }
}

TEST_F(ReplaceFileTest, AHardLinkedFileStaysOneFileUnderBothNames) {
    const fs::path a = dir / "set.mrqt";
    const fs::path b = dir / "linked.mrqt";
    writeFile(a, bytesOf("old content, longer than the new"));
    ASSERT_EQ(::link(a.c_str(), b.c_str()), 0);
    const ino_t inode = statOf(a).st_ino;

    const auto set = sampleDocument();
    const WriteResult r = marquetor::tilesetfile::SaveTileSet(set, a);
    ASSERT_TRUE(r.ok) << r.reason;
    EXPECT_EQ(readFile(a), marquetor::tilesetfile::SaveTileSetToMemory(set));
    EXPECT_EQ(readFile(b), readFile(a));
    EXPECT_EQ(statOf(a).st_ino, inode);
    EXPECT_EQ(statOf(b).st_ino, inode);
    EXPECT_EQ(statOf(a).st_nlink, 2u);

    ASSERT_TRUE(SaveFile(b, bytesOf("short")).ok);
    EXPECT_EQ(readFile(a), bytesOf("short"));
    EXPECT_EQ(entries(), (std::vector<std::string>{"linked.mrqt", "set.mrqt"}));
}

TEST_F(ReplaceFileTest, AnyNameTheFolderTakesCanBeSaved) {
    const std::string name(250, 'n');
    const WriteResult fresh = SaveFile(dir / name, bytesOf("first"));
    ASSERT_TRUE(fresh.ok) << fresh.reason;
    const WriteResult again = SaveFile(dir / name, bytesOf("second"));
    ASSERT_TRUE(again.ok) << again.reason;
    EXPECT_EQ(readFile(dir / name), bytesOf("second"));
    EXPECT_EQ(entries(), (std::vector<std::string>{name}));
}

TEST_F(ReplaceFileTest, AFifoIsRefusedAtOnceAndNeverOpened) {
    // Opening a FIFO that has no reader for writing waits for one: were the save to open
    // it, the child would hang until its alarm.
    const fs::path fifo = dir / "pipe.mrqt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    fs::create_symlink("pipe.mrqt", dir / "link.mrqt");
    const Runner self{::geteuid(), ::getegid(), false};
    std::string unused;
    for (const char* name : {"pipe.mrqt", "link.mrqt"}) {
        SCOPED_TRACE(name);
        const auto r = runAs(self, [&] { return SaveFile(dir / name, bytesOf("x")); }, unused);
        ASSERT_TRUE(r.has_value());
        EXPECT_FALSE(r->ok);
        EXPECT_TRUE(contains(r->reason, "not a regular file")) << r->reason;
    }
    EXPECT_TRUE(S_ISFIFO(statOf(fifo).st_mode));
    EXPECT_TRUE(S_ISLNK(statOf(dir / "link.mrqt").st_mode));
    EXPECT_EQ(entries(), (std::vector<std::string>{"link.mrqt", "pipe.mrqt"}));
}

TEST_F(ReplaceFileTest, AnInPlaceSaveCutOffByTheFileSizeLimitIsReportedAsAFailure) {
    // Two names, so the save goes in place; the child may write at most 4 KiB into a file.
    const fs::path file = dir / "set.mrqt";
    const fs::path other = dir / "other.mrqt";
    const Runner self{::geteuid(), ::getegid(), false};
    std::string unused;
    auto saveLimited = [&](const Bytes& bytes) {
        return runAs(self, [&] {
            std::signal(SIGXFSZ, SIG_DFL);
            const rlimit limit{4096, 4096};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return WriteResult{true, "no limit"};
            return SaveFile(file, bytes);
        }, unused);
    };

    // Growing past the limit: the room is reserved first, so nothing is overwritten.
    writeFile(file, sized(1000, 'o'));
    ASSERT_EQ(::link(file.c_str(), other.c_str()), 0);
    const auto grow = saveLimited(sized(64 * 1024, 'n'));
    ASSERT_TRUE(grow.has_value());
    EXPECT_FALSE(grow->ok);
    EXPECT_TRUE(contains(grow->reason, "unchanged")) << grow->reason;
    EXPECT_EQ(readFile(other), sized(1000, 'o'));

    // A file already beyond the limit: the writing stops part-way, which is never a success.
    writeFile(file, sized(8192, 'o'));
    const auto cut = saveLimited(sized(6000, 'n'));
    ASSERT_TRUE(cut.has_value());
    EXPECT_FALSE(cut->ok);
    EXPECT_TRUE(contains(cut->reason, "may be damaged")) << cut->reason;
    EXPECT_EQ(statOf(other).st_nlink, 2u);
}

TEST_F(ReplaceFileTest, TheNewFileKeepsModeOwnerGroupAclAndAttributes) {
    const fs::path file = dir / "set.mrqt";
    writeFile(file, bytesOf("old"));
    if (::setxattr(file.c_str(), "user.origin", "kept", 4, 0) != 0)
        GTEST_SKIP() << "this file system keeps no user attributes: " << std::strerror(errno);
    // An access ACL that also lets user 12345 read the file.
    const std::uint8_t acl[] = {2, 0, 0, 0,                           // version
                                1, 0, 6, 0, 0xFF, 0xFF, 0xFF, 0xFF,   // owner rw
                                2, 0, 4, 0, 0x39, 0x30, 0, 0,         // user 12345 r
                                4, 0, 4, 0, 0xFF, 0xFF, 0xFF, 0xFF,   // group r
                                16, 0, 4, 0, 0xFF, 0xFF, 0xFF, 0xFF,  // mask r
                                32, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}; // others none
    const bool withAcl = ::setxattr(file.c_str(), "system.posix_acl_access", acl, sizeof acl, 0) == 0;
    const bool asRoot = ::geteuid() == 0;
    if (asRoot) {
        ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);   // another user's file
    }
    const struct stat before = statOf(file);

    const WriteResult r = SaveFile(file, bytesOf("new"));
    ASSERT_TRUE(r.ok) << r.reason;
    const struct stat after = statOf(file);
    EXPECT_NE(after.st_ino, before.st_ino);   // a new file took the name
    EXPECT_EQ(readFile(file), bytesOf("new"));
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_gid, before.st_gid);
    if (asRoot) {
        EXPECT_EQ(after.st_uid, 65534u);
    }
    char value[64] = {};
    EXPECT_EQ(::getxattr(file.c_str(), "user.origin", value, sizeof value), 4);
    EXPECT_EQ(std::string(value), "kept");
    if (withAcl) {
        std::uint8_t copied[sizeof acl + 16] = {};
        ASSERT_EQ(::getxattr(file.c_str(), "system.posix_acl_access", copied, sizeof copied),
                  static_cast<ssize_t>(sizeof acl));
        EXPECT_TRUE(std::equal(acl, acl + sizeof acl, copied));
    }
    EXPECT_EQ(entries(), (std::vector<std::string>{"set.mrqt"}));
}

TEST_F(ReplaceFileTest, LinksStayLinksWhereverTheyLead) {
    // A chain of links: the file at its end is saved, every link stays.
    fs::create_directory(dir / "real");
    writeFile(dir / "real" / "set.mrqt", bytesOf("old"));
    fs::create_symlink("real/set.mrqt", dir / "first.mrqt");
    fs::create_symlink("first.mrqt", dir / "second.mrqt");
    ASSERT_TRUE(SaveFile(dir / "second.mrqt", bytesOf("through two links")).ok);
    EXPECT_EQ(readFile(dir / "real" / "set.mrqt"), bytesOf("through two links"));
    EXPECT_TRUE(fs::is_symlink(dir / "first.mrqt"));
    EXPECT_TRUE(fs::is_symlink(dir / "second.mrqt"));

    // A link to a file not made yet: the file is made where it points.
    fs::create_symlink("real/later.mrqt", dir / "later.mrqt");
    ASSERT_TRUE(SaveFile(dir / "later.mrqt", bytesOf("made")).ok);
    EXPECT_TRUE(fs::is_symlink(dir / "later.mrqt"));
    EXPECT_EQ(readFile(dir / "real" / "later.mrqt"), bytesOf("made"));
    EXPECT_EQ(entriesOf(dir / "real"), (std::vector<std::string>{"later.mrqt", "set.mrqt"}));
}
