#pragma once
// An open file descriptor that is closed when it goes out of scope, unless it was closed
// (and the close checked) before. Header-only and POSIX: every layer that opens files uses
// it, the document's texture import included.

#include <cerrno>

#include <unistd.h>

namespace marquetor::fileio {

class Descriptor {
public:
    explicit Descriptor(int fd) noexcept : m_fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    int get() const noexcept { return m_fd; }
    bool valid() const noexcept { return m_fd >= 0; }
    // 0, or the errno of a failed close (which can report a write the disk refused).
    int close() noexcept {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

}  // namespace marquetor::fileio
