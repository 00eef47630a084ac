#pragma once
// Runs a piece of a test in a child process and hands back the text it reports: for what
// must not hang (an alarm ends the child after `seconds`, which fails the test instead of
// holding it up) and for what changes the process (seccomp filters, resource limits).

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace childtest {

// The child's report, or nothing when it did not end normally (the failure is added).
// `started` is called in the parent with the child's ID while the child runs.
inline std::optional<std::string> RunInChild(const std::function<std::string()>& body, unsigned seconds = 10,
                                             const std::function<void(pid_t)>& started = {}) {
    int fds[2];
    if (::pipe(fds) != 0) {
        ADD_FAILURE() << "pipe";
        return std::nullopt;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        ADD_FAILURE() << "fork";
        return std::nullopt;
    }
    if (child == 0) {
        ::close(fds[0]);
        ::signal(SIGALRM, SIG_DFL);
        ::alarm(seconds);
        const std::string report = body();
        const ssize_t written = ::write(fds[1], report.data(), report.size());
        ::_exit(written == static_cast<ssize_t>(report.size()) ? 0 : 1);
    }
    ::close(fds[1]);
    if (started) started(child);
    std::string report;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        report.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status)) {
        ADD_FAILURE() << "the child was ended by signal " << WTERMSIG(status)
                      << (WTERMSIG(status) == SIGALRM ? " (its alarm: it hung)" : "");
        return std::nullopt;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ADD_FAILURE() << "the child did not report";
        return std::nullopt;
    }
    return report;
}

}  // namespace childtest
