#pragma once
// A real full disk for a test: a small tmpfs mounted on a folder of the test's own (only
// root may mount one; other users skip with that reason), filled to the last byte by one
// file. Unmounted when the test ends. Used by the file, mrqt and editor tests.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace smalldisk {

class SmallDisk {
public:
    SmallDisk() = default;
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    ~SmallDisk() {
        if (m_mounted) ::umount2(m_folder.c_str(), MNT_DETACH);
    }

    // Mounts a tmpfs of `bytes` on folder (made when missing); false with `why` set when it
    // cannot be done here.
    bool mount(const std::filesystem::path& folder, std::size_t bytes, std::string& why) {
        if (::geteuid() != 0) {
            why = "a small disk is mounted as root only, and the tests do not run as root";
            return false;
        }
        std::filesystem::create_directories(folder);
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        if (::mount("marquetor-test", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
            why = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
            return false;
        }
        m_folder = folder;
        m_mounted = true;
        return true;
    }

    // Writes `file` until the disk takes not one byte more; false when that went otherwise.
    bool fill(const std::filesystem::path& file) {
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        const std::vector<char> block(std::size_t{1} << 16, 'f');
        bool full = false;
        for (std::size_t step = block.size(); step > 0;) {
            const ssize_t n = ::write(fd, block.data(), step);
            if (n >= 0) continue;
            if (errno == EINTR) continue;
            if (errno != ENOSPC) break;
            full = step == 1;
            step /= 2;
        }
        return ::close(fd) == 0 && full;
    }

private:
    std::filesystem::path m_folder;
    bool m_mounted = false;
};

}  // namespace smalldisk

// Declares `disk`, mounted on `folder`, or skips the test with the reason.
#define SMALL_DISK_OR_SKIP(disk, folder, bytes)      \
    smalldisk::SmallDisk disk;                         \
    {                                                  \
        std::string whyNot;                            \
        if (!disk.mount(folder, bytes, whyNot)) {      \
            GTEST_SKIP() << whyNot;                    \
        }                                              \
    }                                                  \
    static_assert(true)
