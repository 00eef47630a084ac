#pragma once
// Runs the built mrqt as a process in a scratch folder: arguments, standard input from a
// text, standard output and error captured, the exit status.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tempfolder.h"

namespace mrqttest {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// How many lines a text holds (its line ends).
inline std::size_t lines(const std::string& s) { return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n')); }

inline std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const fs::path& p, std::string_view content) {
    std::ofstream(p, std::ios::binary) << content;
}

inline std::string text(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

inline std::unique_ptr<std::uint8_t[]> block(std::string_view s) {
    auto out = std::make_unique<std::uint8_t[]>(s.size());
    std::copy(s.begin(), s.end(), out.get());
    return out;
}

class ScratchFolder : public testsupport::TempFolderTest {
protected:
    // The real program, run in the scratch folder with `input` as its standard input.
    Outcome run(const std::vector<std::string>& args, std::string_view input = {}) {
        const fs::path inFile = dir / ".stdin", outFile = dir / ".stdout", errFile = dir / ".stderr";
        writeFile(inFile, input);
        const pid_t child = ::fork();
        if (child == 0) {
            const int in = ::open(inFile.c_str(), O_RDONLY);
            const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0)
                ::_exit(126);
            if (::chdir(dir.c_str()) != 0) ::_exit(126);
            std::vector<char*> argv{const_cast<char*>(MRQT_PROGRAM)};
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(MRQT_PROGRAM, argv.data());
            ::_exit(127);
        }
        Outcome r;
        int status = 0;
        EXPECT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status));
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = readFile(outFile);
        r.err = readFile(errFile);
        for (const auto& f : {inFile, outFile, errFile}) fs::remove(f);
        return r;
    }
};

}  // namespace mrqttest
