#pragma once
// Shared by the file tests: building raw file bytes, temporary folders, comparing documents.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "document/tileset.h"
#include "tempfolder.h"
#include "tilesetfile/format.h"

namespace testhelp {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// The permission bits of a file.
inline mode_t modeOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st.st_mode & 07777;
}

// Builds file content item by item, the way the format lays it out.
class Builder {
public:
    Builder& raw(std::string_view s) {
        m_bytes.insert(m_bytes.end(), s.begin(), s.end());
        return *this;
    }
    Builder& line(std::string_view s) { return raw(s).raw("\r\n"); }
    Builder& i32(std::int32_t v) {
        const auto u = static_cast<std::uint32_t>(v);
        for (int k = 0; k < 4; ++k) m_bytes.push_back(static_cast<std::uint8_t>(u >> (8 * k)));
        return *this;
    }
    Builder& i16(std::int16_t v) {
        const auto u = static_cast<std::uint16_t>(v);
        m_bytes.push_back(static_cast<std::uint8_t>(u));
        m_bytes.push_back(static_cast<std::uint8_t>(u >> 8));
        return *this;
    }
    Builder& header() { return line("0.50"); }
    const Bytes& bytes() const { return m_bytes; }

private:
    Bytes m_bytes;
};

inline Bytes bytesOf(std::string_view s) { return Bytes(s.begin(), s.end()); }

inline std::unique_ptr<std::uint8_t[]> block(std::string_view s) {
    auto out = std::make_unique<std::uint8_t[]>(s.size());
    std::copy(s.begin(), s.end(), out.get());
    return out;
}

inline std::string contentOf(const marquetor::document::Texture& t) {
    return std::string(t.data().begin(), t.data().end());
}

// A document as the program starts it: group 1 present.
inline marquetor::document::TileSet newDocument() {
    marquetor::document::TileSet set;
    marquetor::document::AddTileGroup(set, 1);
    return set;
}

// A document with a bit of everything.
inline marquetor::document::TileSet sampleDocument() {
    using namespace marquetor::document;
    TileSet set = newDocument();
    set.tileWidth = 64;
    set.tileHeight = 32;
    AddMaterial(set, "Stone", 0x808080, "grey rock");
    AddMaterial(set, "Gr\xE4s", 0x00FF00, std::string(70, 'd'));
    AddMaterial(set, "", 0, "");
    PutTexture(set, "a.png", block(std::string("\x89PNG\r\n\x1a\n\0\x01", 10)), 10);
    PutTexture(set, "b.png", block("BBBB\r\n"), 6);
    PutTexture(set, "empty.bmp", nullptr, 0);
    AddTile(set, 1, 7, "a.png", "Stone", 3, 1);
    AddTile(set, 1, -5, "b.png", "Gr\xE4s", 255, 0);
    AddTile(set, 1, 0, "missing.png", "Nothing", -1, 5);
    return set;
}

inline std::vector<std::string> materialNames(const marquetor::document::TileSet& set) {
    std::vector<std::string> out;
    for (const auto& m : set.materials.items()) out.push_back(m->name);
    return out;
}

// Same content as a save would write it (saving is deterministic, so equal bytes mean equal
// documents), and the indexes agree with the lists.
inline void expectSameDocument(const marquetor::document::TileSet& a, const marquetor::document::TileSet& b) {
    EXPECT_EQ(marquetor::tilesetfile::SaveTileSetToMemory(a), marquetor::tilesetfile::SaveTileSetToMemory(b));
    EXPECT_EQ(b.materialIndex.size(), b.materials.size());
    for (const auto& g : b.tileGroups.items()) EXPECT_EQ(g->tileIndex.size(), g->tiles.size());
}

class TempDir : public testsupport::TempFolderTest {
protected:
    static void writeFile(const fs::path& p, const Bytes& content) {
        std::ofstream out(p, std::ios::binary);
        out.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
    }
    static Bytes readFile(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Every entry of the folder, to catch temporary files left behind.
    std::vector<std::string> entries() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
};

}  // namespace testhelp
