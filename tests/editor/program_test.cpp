// The marquetor program as a process.

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fixture.h"
#include "sampletileset.h"
#include "tilesetfile/format.h"

#ifdef MARQUETOR_PROGRAM

TEST(ProgramTest, WithoutADisplayItSaysSoAndEndsWithStatusOne) {
    const std::filesystem::path out =
        std::filesystem::temp_directory_path() / ("marquetor-nodisplay-" + std::to_string(::getpid()) + ".txt");
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb '" MARQUETOR_PROGRAM "' > '" +
                                out.string() + "' 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(out);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(out);

    ASSERT_TRUE(WIFEXITED(status)) << "the program did not end by itself (signal?)\n" << text;
    EXPECT_EQ(WEXITSTATUS(status), 1) << text;
    EXPECT_NE(text.find("main window could not be opened"), std::string::npos) << text;
}

namespace {

struct ProgramRun {
    int status = -1;
    std::string output;   // standard output and standard error together
};

// Runs the program without any display, with the arguments (already quoted for the shell).
ProgramRun runWithoutDisplay(const std::string& arguments) {
    const std::filesystem::path out =
        std::filesystem::temp_directory_path() / ("marquetor-args-" + std::to_string(::getpid()) + ".txt");
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb '" MARQUETOR_PROGRAM "' " +
                                arguments + " > '" + out.string() + "' 2>&1";
    ProgramRun run;
    run.status = std::system(command.c_str());
    std::ifstream in(out);
    run.output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::filesystem::remove(out);
    return run;
}

}  // namespace

TEST(ProgramTest, VersionAndHelpAnswerWithoutOpeningAWindow) {
    const ProgramRun version = runWithoutDisplay("--version");
    ASSERT_TRUE(WIFEXITED(version.status)) << version.output;
    EXPECT_EQ(WEXITSTATUS(version.status), 0) << version.output;
    EXPECT_EQ(version.output, "marquetor " MARQUETOR_VERSION "\n");

    const ProgramRun help = runWithoutDisplay("--help");
    ASSERT_TRUE(WIFEXITED(help.status)) << help.output;
    EXPECT_EQ(WEXITSTATUS(help.status), 0) << help.output;
    EXPECT_EQ(help.output.rfind("Usage: marquetor [FILE.mrqt]\n", 0), 0u) << help.output;
    EXPECT_NE(help.output.find("--version"), std::string::npos) << help.output;
    EXPECT_EQ(help.output.find("could not be opened"), std::string::npos) << help.output;
}

TEST(ProgramTest, EveryOtherArgumentStillStartsTheEditor) {
    // Only the two options alone are answered early; anything else reaches the editor,
    // which here finds no display.
    for (const char* arguments : {"--version extra.mrqt", "--versions", "-h", "help", "'--help '", "level.mrqt --help"}) {
        const ProgramRun run = runWithoutDisplay(arguments);
        ASSERT_TRUE(WIFEXITED(run.status)) << arguments << "\n" << run.output;
        EXPECT_EQ(WEXITSTATUS(run.status), 1) << arguments << "\n" << run.output;
        EXPECT_NE(run.output.find("main window could not be opened"), std::string::npos) << arguments << "\n"
                                                                                          << run.output;
    }
}

namespace {

// Runs the program with these arguments in `folder`, the environment changed by `env`
// ("NAME=value" sets, "NAME" removes), and reads its standard output and error together
// until `until` has been printed (then the program is ended: with a display it would run
// on), the program ends by itself, or 20 seconds have passed.
ProgramRun runUntil(const std::filesystem::path& folder, const std::vector<std::string>& arguments,
                    const std::vector<std::string>& env, const std::string& until) {
    int pipeEnds[2];
    ProgramRun run;
    if (::pipe(pipeEnds) != 0) return run;
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipeEnds[1], 1);
        ::dup2(pipeEnds[1], 2);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        for (const std::string& e : env) {
            const auto eq = e.find('=');
            if (eq == std::string::npos) ::unsetenv(e.c_str());
            else ::setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
        }
        if (::chdir(folder.c_str()) != 0) ::_exit(126);
        std::vector<char*> argv{const_cast<char*>(MARQUETOR_PROGRAM)};
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(MARQUETOR_PROGRAM, argv.data());
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    bool ended = false;
    while (until.empty() || run.output.find(until) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{pipeEnds[0], POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[4096];
        const ssize_t n = ::read(pipeEnds[0], buffer, sizeof buffer);
        if (n <= 0) {
            ended = true;
            break;
        }
        run.output.append(buffer, static_cast<std::size_t>(n));
    }
    if (!ended) ::kill(child, SIGKILL);
    ::close(pipeEnds[0]);
    ::waitpid(child, &run.status, 0);
    return run;
}

const std::vector<std::string> kNoDisplay{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM=xcb"};

}  // namespace

TEST(ProgramTest, WithoutADisplayOnlyItsOwnLineIsPrinted) {
    // The toolkit's lines about its plugins come to nothing a user can act on: whatever
    // way the display is missing, the program says so in one line of its own.
    const std::string line = "marquetor: the main window could not be opened (no usable display)\n";
    const std::filesystem::path here = std::filesystem::temp_directory_path();
    const std::vector<std::vector<std::string>> cases{
        kNoDisplay,
        {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"},                       // the default platform
        {"DISPLAY=:64999", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM=xcb"},            // a server that is not there
        {"DISPLAY", "WAYLAND_DISPLAY=marquetor-nowhere-0", "QT_QPA_PLATFORM=wayland"},
    };
    for (const auto& env : cases) {
        const ProgramRun run = runUntil(here, {"../../Data/TileSets/level.mrqt"}, env, "");
        const std::string seen = env[0] + " " + env[1] + " " + env[2];
        ASSERT_TRUE(WIFEXITED(run.status)) << seen << "\n" << run.output;
        EXPECT_EQ(WEXITSTATUS(run.status), 1) << seen;
        EXPECT_EQ(run.output, line) << seen;
    }
}

class ProgramStartupFileTest : public EditorFixture {
protected:
    // The program started in the tool folder with this first argument: what it says.
    std::string startedWith(const std::vector<std::string>& arguments, const std::string& until) {
        const ProgramRun run = runUntil(workDir, arguments, {"QT_QPA_PLATFORM=offscreen"}, until);
        EXPECT_NE(run.output.find(until), std::string::npos) << run.output;
        return run.output;
    }
};

TEST_F(ProgramStartupFileTest, WhatIsNotOpenedIsNamedWithTheReasonOnStandardError) {
    const auto sample = marquetor::tilesetfile::SaveTileSetToMemory(SampleTileSet());
    const std::span<const std::uint8_t> bytes(sample);
    writeFile(tileSetDir / "level.mrqt", bytes);
    writeFile(tileSetDir / "level.MRQT", bytes);
    writeFile(workDir / "red.png", bytes);
    writeFile(tileSetDir / "notes.mrqt", "0.49\r\n");
    writeFile(tileSetDir / "cut.mrqt", bytes.first(bytes.size() / 2));
    writeFile(tileSetDir / "locked.mrqt", bytes);
    std::filesystem::permissions(tileSetDir / "locked.mrqt", std::filesystem::perms::none);
    std::filesystem::create_directory(tileSetDir / "folder.mrqt");
    const std::string fresh = "; starting with a new tile set\n";

    EXPECT_NE(startedWith({"../../Data/TileSets/levle.mrqt"}, fresh)
                  .find("marquetor: cannot open \"../../Data/TileSets/levle.mrqt\": No such file or directory" + fresh),
              std::string::npos);
    EXPECT_NE(startedWith({"../../Data/TileSets/level.MRQT"}, fresh)
                  .find("marquetor: not opening \"../../Data/TileSets/level.MRQT\": its name does not end in \".mrqt\"" +
                        fresh),
              std::string::npos);
    EXPECT_NE(startedWith({"red.png"}, fresh).find("marquetor: not opening \"red.png\": its name does not end in \".mrqt\"" + fresh),
              std::string::npos);
    EXPECT_NE(startedWith({"../../Data/TileSets/notes.mrqt"}, fresh)
                  .find("marquetor: ../../Data/TileSets/notes.mrqt: not a tile set: the first line is not \"0.50\"" + fresh),
              std::string::npos);
    EXPECT_NE(startedWith({"../../Data/TileSets/folder.mrqt"}, fresh)
                  .find("marquetor: cannot open \"../../Data/TileSets/folder.mrqt\": it is a folder" + fresh),
              std::string::npos);
    if (::geteuid() != 0) {   // root reads whatever the mode says
        EXPECT_NE(startedWith({"../../Data/TileSets/locked.mrqt"}, fresh)
                      .find("marquetor: cannot open \"../../Data/TileSets/locked.mrqt\": Permission denied" + fresh),
                  std::string::npos);
    }
    // A file that ended early is opened with what it holds, and said so.
    const std::string cut = startedWith({"../../Data/TileSets/cut.mrqt"}, "was read\n");
    EXPECT_NE(cut.find("marquetor: warning: ../../Data/TileSets/cut.mrqt: the data ended early; only part of the tile "
                       "set was read\n"),
              std::string::npos)
        << cut;

    // A file opened whole is not mentioned; arguments after the first are named as left alone.
    const std::string whole = startedWith({"../../Data/TileSets/level.mrqt", "more.mrqt"}, "a tile set to open\n");
    EXPECT_EQ(whole.find("level.mrqt"), std::string::npos) << whole;
    EXPECT_NE(whole.find("marquetor: more.mrqt: not opened: only the first argument names a tile set to open\n"),
              std::string::npos)
        << whole;
}

#endif
