// Reading a file whole: regular files only, within the caller's limit, refused when it
// changes under the reader; and what identifies a file on disk.
#include "helpers.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "child.h"
#include "fileio/identity.h"
#include "fileio/readfile.h"
#include "fileio/replacefile.h"
#include "midread.h"

using marquetor::fileio::FileIdentity;
using marquetor::fileio::IdentifyFile;
using marquetor::fileio::ReadResult;
using marquetor::fileio::ReadWholeFile;
using namespace testhelp;

namespace {

void setModified(const fs::path& path, time_t seconds, long nanoseconds) {
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

}  // namespace

TEST_F(TempDir, ARegularFileIsReadWholeWithinTheLimit) {
    Bytes content(1000);
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<std::uint8_t>(i * 7);
    writeFile(dir / "a.png", content);
    fs::create_symlink("a.png", dir / "link.png");
    writeFile(dir / "empty.png", {});

    for (const char* name : {"a.png", "link.png"}) {
        const ReadResult r = ReadWholeFile(dir / name, 1000);
        EXPECT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.error, "");
        EXPECT_EQ(r.bytes, content);
    }
    ReadResult r = ReadWholeFile(dir / "a.png", 999);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "larger than 999 bytes");
    EXPECT_TRUE(r.bytes.empty());
    r = ReadWholeFile(dir / "empty.png", 0);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.bytes.empty());
    r = ReadWholeFile(dir / "missing.png", 1000);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, std::strerror(ENOENT));
    EXPECT_FALSE(ReadWholeFile("", 1000).ok);

    // Into the caller's memory: asked once, for the size, and not at all for an empty file.
    std::vector<std::size_t> asked;
    Bytes block(1000);
    r = ReadWholeFile(dir / "a.png", 5000, [&](std::size_t n) {
        asked.push_back(n);
        return block.data();
    });
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.bytes.empty());
    EXPECT_EQ(block, content);
    EXPECT_EQ(asked, std::vector<std::size_t>{1000});
    r = ReadWholeFile(dir / "empty.png", 5000, [&](std::size_t n) {
        asked.push_back(n);
        return block.data();
    });
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(asked.size(), 1u);
    r = ReadWholeFile(dir / "a.png", 5000, [](std::size_t) { return nullptr; });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "not enough memory for 1000 bytes");
}

TEST_F(TempDir, WhatIsNoRegularFileIsRefusedAtOnceAndNeverWaitedOn) {
    // A FIFO without a writer makes a blocking open wait, /dev/zero never ends: were either
    // opened or read, the child would hang until its alarm.
    ASSERT_EQ(::mkfifo((dir / "pipe.png").c_str(), 0600), 0);
    fs::create_symlink("pipe.png", dir / "pipe-link.png");
    fs::create_symlink("/dev/zero", dir / "zero.png");
    fs::create_directory(dir / "folder.png");
    const fs::path socketPath = dir / "socket.png";
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.native().size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

    const std::vector<std::pair<const char*, const char*>> cases{
        {"pipe.png", "not a regular file (it is a FIFO)"},
        {"pipe-link.png", "not a regular file (it is a FIFO)"},
        {"zero.png", "not a regular file (it is a device)"},
        {"folder.png", "not a regular file (it is a folder)"},
        {"socket.png", "not a regular file (it is a socket)"}};
    for (const auto& [name, expected] : cases) {
        SCOPED_TRACE(name);
        const std::filesystem::path path = dir / name;
        const auto report = childtest::RunInChild([&] {
            const ReadResult r = ReadWholeFile(path, std::size_t{1} << 30);
            return (r.ok ? "read " : "refused ") + r.error + " (" + std::to_string(r.bytes.size()) + " bytes)";
        }, 5);
        ASSERT_TRUE(report.has_value());
        EXPECT_EQ(*report, std::string("refused ") + expected + " (0 bytes)");
    }
    ::close(sock);
}

TEST_F(TempDir, AFileThatChangesWhileItIsReadIsRefused) {
    // 64 MiB, read in steps of 1 MiB: long enough to be caught between two steps.
    const fs::path file = fs::canonical(dir) / "big.png";
    constexpr off_t kSize = off_t{64} << 20;
    for (const auto change : {midread::Change::Truncate, midread::Change::Grow}) {
        SCOPED_TRACE(change == midread::Change::Truncate ? "cut short" : "lengthened");
        bool caught = false;
        // The reader may finish before it is caught (it is then read whole, unchanged): again.
        for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
            ASSERT_TRUE(midread::MakeSparseFile(file.c_str(), kSize));
            const auto report = childtest::RunInChild([&] {
                const ReadResult r = ReadWholeFile(file, std::size_t{1} << 30);
                return (r.ok ? "read " : "refused ") + r.error + " (" + std::to_string(r.bytes.size()) + " bytes)";
            }, 20, [&](pid_t reader) {
                caught = midread::ChangeFileMidRead(reader, file.c_str(), kSize, change, 2000);
            });
            ASSERT_TRUE(report.has_value());
            if (caught) {
                EXPECT_EQ(*report, "refused the file changed while it was read (0 bytes)");
            } else {
                EXPECT_EQ(*report, "read  (" + std::to_string(kSize) + " bytes)");
            }
        }
        EXPECT_TRUE(caught) << "the reader was never caught in the middle of the file";
    }
}

TEST_F(TempDir, AFileIsIdentifiedByDeviceInodeSizeAndModificationTime) {
    const fs::path file = dir / "set.mrqt";
    writeFile(file, bytesOf("first"));
    setModified(file, 1700000000, 500);
    fs::create_symlink("set.mrqt", dir / "link.mrqt");

    const auto first = IdentifyFile(file);
    ASSERT_TRUE(first.has_value());
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(first->device, static_cast<std::uint64_t>(st.st_dev));
    EXPECT_EQ(first->inode, static_cast<std::uint64_t>(st.st_ino));
    EXPECT_EQ(first->size, 5u);
    EXPECT_EQ(first->modifiedSeconds, 1700000000);
    EXPECT_EQ(first->modifiedNanoseconds, 500);
    EXPECT_EQ(IdentifyFile(file), first);
    EXPECT_EQ(IdentifyFile(dir / "link.mrqt"), first);   // links followed, as a save does
    const int fd = ::open(file.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(IdentifyFile(fd), first);
    ::close(fd);

    // The same size rewritten in place, a nanosecond later.
    writeFile(file, bytesOf("other"));
    setModified(file, 1700000000, 501);
    const auto rewritten = IdentifyFile(file);
    ASSERT_TRUE(rewritten.has_value());
    EXPECT_EQ(rewritten->inode, first->inode);
    EXPECT_NE(rewritten, first);
    setModified(file, 1700000000, 500);
    EXPECT_EQ(IdentifyFile(file), first);

    // Replaced by another file of the same size and time: a new inode under the name.
    writeFile(dir / "new.mrqt", bytesOf("third"));
    setModified(dir / "new.mrqt", 1700000000, 500);
    fs::rename(dir / "new.mrqt", file);
    const auto replaced = IdentifyFile(file);
    ASSERT_TRUE(replaced.has_value());
    EXPECT_NE(replaced->inode, first->inode);
    EXPECT_NE(replaced, first);

    // A save gives the name a new identity.
    ASSERT_TRUE(marquetor::fileio::SaveFile(file, bytesOf("third")).ok);
    EXPECT_NE(IdentifyFile(file), replaced);

    errno = 0;
    EXPECT_EQ(IdentifyFile(dir / "missing.mrqt"), std::nullopt);
    EXPECT_EQ(errno, ENOENT);
    fs::remove(file);
    EXPECT_EQ(IdentifyFile(dir / "link.mrqt"), std::nullopt);   // a link to nothing
    EXPECT_EQ(IdentifyFile(fs::path()), std::nullopt);
}
