#pragma once
// The one temporary folder of the tests: a fresh folder below the system's temporary
// folder, removed with all it holds when the object goes (or the test ends).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

namespace testsupport {

class TempFolder {
public:
    TempFolder() {
        std::error_code ec;
        std::string pattern = (std::filesystem::temp_directory_path(ec) / "marquetor-test-XXXXXX").string();
        if (!ec && ::mkdtemp(pattern.data()) != nullptr) m_path = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Empty when no folder could be made.
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// The fixture of tests that work in a fresh folder: `dir`, made before each test and
// removed after it.
class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder.emplace();
        dir = m_folder->path();
        ASSERT_FALSE(dir.empty()) << "no temporary folder";
    }
    void TearDown() override { m_folder.reset(); }

    std::filesystem::path dir;

private:
    std::optional<TempFolder> m_folder;
};

}  // namespace testsupport
