// The main of the test programs that run the real widgets (the editor's and the
// platform's). Without a display they draw offscreen, on a screen large enough for the whole
// 512 x 768 window (the offscreen default is 800 x 600).
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include <unistd.h>

namespace {

std::filesystem::path writeOffscreenScreen() {
    std::error_code ec;
    const auto path = std::filesystem::temp_directory_path(ec) /
                      ("marquetor-offscreen-" + std::to_string(::getpid()) + ".json");
    std::ofstream out(path);
    out << R"({"screens": [{"name": "test", "x": 0, "y": 0, "width": 1920, "height": 1080,)"
        << R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
    return out ? path : std::filesystem::path();
}

}  // namespace

int main(int argc, char** argv) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    std::filesystem::path screenFile;
    if (platform == nullptr || std::string(platform) == "offscreen") {
        screenFile = writeOffscreenScreen();
        const std::string value =
            screenFile.empty() ? std::string("offscreen") : "offscreen:configfile=" + screenFile.string();
        setenv("QT_QPA_PLATFORM", value.c_str(), 1);
    }
    int result = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    if (!screenFile.empty()) {
        std::error_code ec;
        std::filesystem::remove(screenFile, ec);
    }
    return result;
}
