// The shared rules: the letter-case folding names are compared by, and the caller's word on
// what a picture is.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "problems/problems.h"

using namespace marquetor;

TEST(FoldCase, FoldsLettersOfEveryScriptAndOfWindows1252Texts) {
    EXPECT_EQ(problems::FoldCase("Grass.PNG"), "grass.png");
    EXPECT_EQ(problems::FoldCase("\xC3\x84rger"), "\xC3\xA4rger");        // UTF-8 Ä
    EXPECT_EQ(problems::FoldCase("\xC4rger"), "\xC3\xA4rger");            // Windows-1252 Ä, as shown
    EXPECT_EQ(problems::FoldCase("\xD0\x9C\xD0\xB0"), "\xD0\xBC\xD0\xB0");   // Cyrillic Ма
    EXPECT_NE(problems::FoldCase("rock1"), problems::FoldCase("rock2"));
}

TEST(CheckTileSet, AsksTheCallerOnceATextureWhetherItIsAPicture) {
    document::TileSet set;
    set.tileWidth = 16;
    set.tileHeight = 16;
    document::AddTileGroup(set, document::kTileGroup);
    for (const char* name : {"a.png", "b.png", "c.png"}) {
        auto bytes = std::make_unique<std::uint8_t[]>(std::strlen(name));
        std::memcpy(bytes.get(), name, std::strlen(name));
        document::PutTexture(set, name, std::move(bytes), static_cast<std::int32_t>(std::strlen(name)));
    }
    std::vector<std::string> asked;
    const problems::IsPicture onlyB = [&](std::span<const std::uint8_t> bytes) {
        asked.emplace_back(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return asked.back() == "b.png";
    };
    std::vector<std::string> lines;
    problems::CheckTileSet(set, true, onlyB, [&](const problems::Finding& f) { lines.push_back(problems::FindingText(f)); });

    std::vector<std::string> expectedAsked = set.textures.names();
    EXPECT_EQ(asked, expectedAsked);
    std::vector<std::string> expected{"the data ended early: only part of the tile set was read"};
    for (const std::string& name : set.textures.names()) {
        if (name != "b.png")
            expected.push_back("texture \"" + name + "\": its bytes do not decode as a PNG, JPEG, BMP or TGA picture");
    }
    EXPECT_EQ(lines, expected);
}
