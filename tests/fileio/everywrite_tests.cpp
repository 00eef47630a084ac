// Every file the programs write goes through the crash-safe writer: no source outside
// src/fileio opens a file for writing, renames one or writes one by a library of its own.
// (The editor's Save... and Export, and mrqt's resave, build and extract, reach it through
// SaveTileSet and SaveFile; the tests of this folder, of mrqt and of the editor show what it
// does when a save is cut off or the disk is full.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The source without its comments and string literals, line breaks kept.
std::string codeOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string code;
    code.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "//") == 0) {
            while (i < text.size() && text[i] != '\n') ++i;
            code += '\n';
        } else if (text.compare(i, 2, "/*") == 0) {
            const std::size_t end = text.find("*/", i + 2);
            for (std::size_t k = i; k < std::min(end, text.size()); ++k)
                if (text[k] == '\n') code += '\n';
            i = end == std::string::npos ? text.size() : end + 1;
        } else if (text[i] == '"' && (i == 0 || text[i - 1] != '\'')) {
            for (++i; i < text.size() && text[i] != '"'; ++i)
                if (text[i] == '\\') ++i;
            code += "\"\"";
        } else {
            code += text[i];
        }
    }
    return code;
}

// What writes or replaces a file: open flags, streams, stdio, Qt's writers, renames.
const std::set<std::string> kWrites{
    "O_WRONLY", "O_RDWR",  "O_CREAT",  "O_TRUNC",   "O_APPEND",  "O_TMPFILE", "fstream",      "ofstream",
    "fopen",    "fdopen",  "freopen",  "creat",     "rename",    "renameat",  "renameat2",    "linkat",
    "pwrite",   "copy_file", "mkstemp", "mkstemps", "tmpfile",   "QSaveFile", "QImageWriter", "QTemporaryFile",
    "WriteOnly", "ReadWrite"};

std::vector<std::string> writesIn(const fs::path& file) {
    std::vector<std::string> found;
    const std::string code = codeOf(file);
    auto isWordChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    int line = 1;
    for (std::size_t i = 0; i < code.size();) {
        if (code[i] == '\n') ++line;
        if (!isWordChar(code[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < code.size() && isWordChar(code[end])) ++end;
        const std::string word = code.substr(i, end - i);
        if (kWrites.count(word)) found.push_back(std::to_string(line) + ": " + word);
        i = end;
    }
    return found;
}

}  // namespace

TEST(EveryWrite, GoesThroughTheCrashSafeWriter) {
    const fs::path src = fs::path(MARQUETOR_SOURCE_DIR) / "src";
    // The scan finds what the writer itself does.
    const std::vector<std::string> writer = writesIn(src / "fileio" / "replacefile.cpp");
    EXPECT_GE(writer.size(), 3u);
    EXPECT_NE(std::find_if(writer.begin(), writer.end(), [](const std::string& s) { return s.find("rename") != std::string::npos; }),
              writer.end());

    std::vector<std::string> elsewhere;
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
        const fs::path& path = entry.path();
        if (!entry.is_regular_file() || (path.extension() != ".cpp" && path.extension() != ".h")) continue;
        if (path.parent_path() == src / "fileio") continue;
        ++files;
        for (std::string& hit : writesIn(path)) elsewhere.push_back(fs::relative(path, src).string() + ":" + hit);
    }
    EXPECT_GT(files, 50);
    EXPECT_EQ(elsewhere, std::vector<std::string>{});
}
