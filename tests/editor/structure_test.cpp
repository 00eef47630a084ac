// The editor's structure, read from its sources: no two units include each other in a
// loop, and only the session and the command files change the document.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kEditorSources = fs::path(MARQUETOR_SOURCE_DIR) / "src" / "editor";

std::string readSource(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The headers and sources of src/editor, by file name.
std::map<std::string, std::string> editorFiles() {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(kEditorSources)) {
        const fs::path& path = entry.path();
        if (path.extension() == ".h" || path.extension() == ".cpp") files[path.filename().string()] = readSource(path);
    }
    return files;
}

// A unit is a header together with its source file: "session" for session.h and session.cpp.
std::string unitOf(const std::string& fileName) { return fs::path(fileName).stem().string(); }

// The code without its comments and the contents of its string and character literals.
std::string codeOnly(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "//") == 0) {
            while (i < text.size() && text[i] != '\n') ++i;
            out += '\n';
        } else if (text.compare(i, 2, "/*") == 0) {
            const std::size_t end = text.find("*/", i + 2);
            i = end == std::string::npos ? text.size() : end + 1;
            out += ' ';
        } else if (text[i] == '"' || text[i] == '\'') {
            const char quote = text[i];
            out += quote;
            for (++i; i < text.size() && text[i] != quote; ++i)
                if (text[i] == '\\') ++i;
            out += quote;
        } else {
            out += text[i];
        }
    }
    return out;
}

// A loop of includes between units, as "a -> b -> a"; empty when there is none.
std::string findLoop(const std::map<std::string, std::set<std::string>>& arrows) {
    std::map<std::string, int> state;   // 0 unseen, 1 on the current path, 2 done
    std::vector<std::string> path;
    std::string loop;
    const std::function<bool(const std::string&)> visit = [&](const std::string& unit) {
        state[unit] = 1;
        path.push_back(unit);
        const auto out = arrows.find(unit);
        if (out != arrows.end()) {
            for (const std::string& next : out->second) {
                if (state[next] == 1) {
                    auto from = std::find(path.begin(), path.end(), next);
                    for (; from != path.end(); ++from) loop += *from + " -> ";
                    loop += next;
                    return true;
                }
                if (state[next] == 0 && visit(next)) return true;
            }
        }
        path.pop_back();
        state[unit] = 2;
        return false;
    };
    for (const auto& [unit, targets] : arrows)
        if (state[unit] == 0 && visit(unit)) break;
    return loop;
}

}  // namespace

TEST(EditorStructure, NoTwoUnitsIncludeEachOtherInALoop) {
    const std::map<std::string, std::string> files = editorFiles();
    ASSERT_GT(files.size(), 10u) << "no sources in " << kEditorSources;
    const std::regex include(R"(^\s*#\s*include\s*"editor/([A-Za-z0-9_]+)\.h")");
    std::map<std::string, std::set<std::string>> arrows;
    for (const auto& [name, text] : files) {
        const std::string unit = unitOf(name);
        arrows[unit];
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            std::smatch m;
            if (std::regex_search(line, m, include) && m[1] != unit) arrows[unit].insert(m[1]);
        }
    }
    EXPECT_EQ(findLoop(arrows), "");

    // The check itself: a loop it is shown is found, and one made into the real arrows too
    // (the history including the session, which includes the history).
    EXPECT_EQ(findLoop({{"a", {"b"}}, {"b", {"c"}}, {"c", {"a"}}, {"d", {"a"}}}), "a -> b -> c -> a");
    auto looped = arrows;
    looped["history"].insert("session");
    EXPECT_NE(findLoop(looped).find("history -> session"), std::string::npos) << findLoop(looped);
}

TEST(EditorStructure, OnlyTheSessionAndTheCommandsChangeTheDocument) {
    // The document's operations that change it, the whole-file load, and the session's
    // ways in for commands.
    const std::regex changing(
        R"(\b(Add(Material|Texture|TileGroup|Tile)|Delete(Material|Texture|Tile)|Clear(Materials|Textures|TileGroup))"
        R"(|Rename(Material)|Sort(Materials|Tiles)|Put(Texture|TextureBack|Material|Tile|TilesBack))"
        R"(|Take(Material|Texture|Tile|Tiles)|Reorder(Materials|Tiles)|SetValues|SwapContent|LoadTileSet\w*)"
        R"(|documentToChange|exchangeSavedMark|selectAt|moveToLast|insertAfterCursor|removeAt)\s*\()");
    const std::set<std::string> allowed{"session.cpp",         "command.cpp",         "tilesetcommands.cpp",
                                        "materialcommands.cpp", "texturecommands.cpp", "tilecommands.cpp"};
    // Where the session hands the document out (an inline function of its header).
    const std::set<std::string> declaring{"session.h"};
    std::vector<std::string> found;
    for (const auto& [name, text] : editorFiles()) {
        if (allowed.count(name) || declaring.count(name)) continue;
        const std::string code = codeOnly(text);
        for (auto it = std::sregex_iterator(code.begin(), code.end(), changing); it != std::sregex_iterator(); ++it)
            found.push_back(name + ": " + it->str(1));
        if (code.find("using namespace document") != std::string::npos ||
            code.find("using namespace marquetor::document") != std::string::npos)
            found.push_back(name + ": using namespace document");
    }
    EXPECT_EQ(found, std::vector<std::string>{});

    // The check itself: a handler that changed the document would be found, a comment or a
    // text that names an operation would not.
    const std::string handler = "void f(Editor& ed) {\n    // AddTile( in a comment\n    ed.message(\"AddTile(\");\n"
                                "    document::AddTile(group, 1, t, m, 0, 0);\n}\n";
    const std::string code = codeOnly(handler);
    EXPECT_EQ(std::distance(std::sregex_iterator(code.begin(), code.end(), changing), std::sregex_iterator()), 1);
}
