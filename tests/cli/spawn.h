#pragma once
// Starts the built mrqt as a process the test can stop, look into and kill while it runs:
// its ID, its output in files of the scratch folder. An alarm set before the program starts
// stays with it, so a program that hangs is ended (and the test fails) instead of holding
// the test up.

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "process.h"

namespace mrqttest {

struct Spawned {
    pid_t pid = -1;
    fs::path out, err;
};

// mrqt with these arguments in `dir`, standard input empty. `beforeExec` runs in the child
// first (it must only make system calls).
inline Spawned Spawn(const fs::path& dir, const std::vector<std::string>& args, unsigned alarmSeconds,
                     void (*beforeExec)() = nullptr) {
    Spawned s;
    s.out = dir / ".spawned-out";
    s.err = dir / ".spawned-err";
    std::vector<std::string> all{MRQT_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    s.pid = ::fork();
    if (s.pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(s.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(s.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0)
            ::_exit(126);
        if (::chdir(dir.c_str()) != 0) ::_exit(126);
        if (beforeExec) beforeExec();
        ::signal(SIGALRM, SIG_DFL);
        ::alarm(alarmSeconds);
        ::execv(MRQT_PROGRAM, argv.data());
        ::_exit(127);
    }
    EXPECT_GT(s.pid, 0);
    return s;
}

// Waits for it to end. A program ended by its alarm fails the test; one ended by another
// signal has status -1.
inline Outcome Finish(const Spawned& s) {
    int status = 0;
    while (::waitpid(s.pid, &status, 0) < 0 && errno == EINTR) {
    }
    Outcome r;
    EXPECT_FALSE(WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) << "mrqt hung and was ended by its alarm";
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = readFile(s.out);
    r.err = readFile(s.err);
    fs::remove(s.out);
    fs::remove(s.err);
    return r;
}

}  // namespace mrqttest
