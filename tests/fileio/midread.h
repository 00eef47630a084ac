#pragma once
// Changing a file under a process that is in the middle of reading it: the process is
// stopped (SIGSTOP) again and again until it is caught holding the file open with its offset
// past the start and short of the end; the file is then cut or lengthened while the process
// stands still, and it goes on. Deterministic once caught: the change falls between two of
// its reads. Only system calls and no allocation, so that it also runs in a child forked
// from a multi-threaded program (the editor's tests stop their own process this way).
// Used by the file, mrqt and editor tests.

#include <cerrno>
#include <csignal>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

namespace midread {

enum class Change { Truncate, Grow };

namespace detail {

inline long long nowMs() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

inline void pause(long microseconds) {
    timespec t{0, microseconds * 1000};
    while (::nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

// "/proc/" + pid + tail, into out (at least 64 bytes).
inline void procPath(char* out, pid_t pid, const char* tail, long number = -1) {
    char digits[24];
    auto put = [&](long value) {
        int n = 0;
        do digits[n++] = static_cast<char>('0' + value % 10);
        while ((value /= 10) > 0);
        while (n > 0) *out++ = digits[--n];
    };
    for (const char* p = "/proc/"; *p;) *out++ = *p++;
    put(static_cast<long>(pid));
    for (const char* p = tail; *p;) *out++ = *p++;
    if (number >= 0) put(number);
    *out = '\0';
}

// Reads a small /proc file into buf; its length, or -1.
inline long readSmall(const char* path, char* buf, long size) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    const long n = ::read(fd, buf, static_cast<size_t>(size - 1));
    ::close(fd);
    if (n >= 0) buf[n] = '\0';
    return n;
}

// The process (its main thread) has stopped.
inline bool stopped(pid_t pid) {
    char path[64], stat[512];
    procPath(path, pid, "/stat");
    if (readSmall(path, stat, sizeof stat) <= 0) return false;
    const char* p = stat;
    const char* close = nullptr;
    for (; *p; ++p)
        if (*p == ')') close = p;
    return close && close[1] == ' ' && (close[2] == 'T' || close[2] == 't');
}

inline bool same(const char* a, const char* b, long bLength) {
    long i = 0;
    for (; i < bLength; ++i)
        if (a[i] != b[i]) return false;
    return a[i] == '\0';
}

// The offset of the process's descriptor open on `path`, or -1 when it has none.
inline long long offsetOn(pid_t pid, const char* path) {
    char folder[64];
    procPath(folder, pid, "/fd");
    const int dir = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return -1;
    long long found = -1;
    alignas(8) char entries[4096];
    for (long n; found < 0 && (n = ::syscall(SYS_getdents64, dir, entries, sizeof entries)) > 0;) {
        for (long at = 0; at < n;) {
            const auto* e = reinterpret_cast<const struct dirent64*>(entries + at);
            at += e->d_reclen;
            long fd = 0;
            const char* c = e->d_name;
            if (*c < '0' || *c > '9') continue;
            for (; *c >= '0' && *c <= '9'; ++c) fd = fd * 10 + (*c - '0');
            char link[64], target[4096];
            procPath(link, pid, "/fd/", fd);
            const long length = ::readlink(link, target, sizeof target - 1);
            if (length <= 0 || !same(path, target, length)) continue;
            char info[64], text[512];
            procPath(info, pid, "/fdinfo/", fd);
            if (readSmall(info, text, sizeof text) <= 0) continue;
            // "pos:\t<offset>\n..."
            const char* p = text;
            while (*p && (*p < '0' || *p > '9')) ++p;
            long long pos = 0;
            for (; *p >= '0' && *p <= '9'; ++p) pos = pos * 10 + (*p - '0');
            found = pos;
            break;
        }
    }
    ::close(dir);
    return found;
}

}  // namespace detail

// Makes `path` a file of `size` bytes that costs no disk (a hole reads as zeros): the large
// files the readers are caught in. True when it did.
inline bool MakeSparseFile(const char* path, long long size) {
    const int fd = ::open(path, O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (fd < 0) return false;
    const bool made = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    ::close(fd);
    return made;
}

// Catches `pid` reading `path` (absolute, with no symbolic link in it) of `size` bytes and
// cuts the file to half its size or lengthens it by a byte. True when it did; false when
// `timeoutMs` passed without catching the process mid-read.
inline bool ChangeFileMidRead(pid_t pid, const char* path, long long size, Change change, int timeoutMs) {
    const long long deadline = detail::nowMs() + timeoutMs;
    while (detail::nowMs() < deadline) {
        if (::kill(pid, SIGSTOP) != 0) return false;
        for (int i = 0; i < 2000 && !detail::stopped(pid); ++i) detail::pause(50);
        const long long pos = detail::offsetOn(pid, path);
        bool changed = false;
        if (pos > 0 && pos < size) {
            const int fd = ::open(path, O_WRONLY | O_CLOEXEC | (change == Change::Grow ? O_APPEND : 0));
            if (fd >= 0) {
                if (change == Change::Truncate) changed = ::ftruncate(fd, static_cast<off_t>(size / 2)) == 0;
                else changed = ::write(fd, "+", 1) == 1;
                ::close(fd);
            }
        }
        ::kill(pid, SIGCONT);
        if (changed) return true;
        detail::pause(100);
    }
    return false;
}

}  // namespace midread
