// The marquetor program as a process.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

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

#endif
