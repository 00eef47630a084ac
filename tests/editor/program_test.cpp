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

#endif
