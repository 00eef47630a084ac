// Writes the corpus the readers in other languages (readers/) are compared on with
// `mrqt dump`: the demo set, files written by the library, and files no save can write,
// made byte by byte: colliding texture buckets, Windows-1252 and broken UTF-8 texts, every
// line end, empty lists, the largest and smallest value of every field, repeated names and
// IDs, counts and sizes that lie, files cut short at many offsets, files that are no tile
// set, and tile sets drawn at random from a seed.
//
//   make_reader_corpus DEMO.mrqt OUT_DIR                  the whole corpus
//   make_reader_corpus --seed N --random COUNT OUT_DIR    only COUNT random sets from seed N
//                                                         (files the corpus does not hold)
//
// Every file comes out the same from the same arguments. *.mrqt files already in OUT_DIR
// are removed first, so that a case taken out of this program does not linger.

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "document/tileset.h"
#include "tilesetfile/format.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::string;

const Bytes kCrLf = "\r\n", kLf = "\n", kCr = "\r", kNul = std::string(1, '\0');

// splitmix64: the same numbers on every platform and compiler.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint32_t below(std::uint32_t n) { return n ? static_cast<std::uint32_t>(next() % n) : 0; }
    std::int32_t any32() { return static_cast<std::int32_t>(static_cast<std::uint32_t>(next())); }
    std::int16_t any16() { return static_cast<std::int16_t>(static_cast<std::uint16_t>(next())); }
    bool chance(unsigned percent) { return below(100) < percent; }
    template <class T>
    const T& pick(const std::vector<T>& v) { return v[below(static_cast<std::uint32_t>(v.size()))]; }

private:
    std::uint64_t m_state;
};

// The items of the format, written as any tool might: good or bad.
class Writer {
public:
    Writer& header(const Bytes& end = kCrLf) { return line("0.50", end); }
    Writer& i32(std::int64_t v) {
        const auto u = static_cast<std::uint32_t>(v);
        for (int i = 0; i < 4; ++i) m_out += static_cast<char>((u >> (8 * i)) & 0xFF);
        return *this;
    }
    Writer& i16(std::int64_t v) {
        const auto u = static_cast<std::uint16_t>(v);
        m_out += static_cast<char>(u & 0xFF);
        m_out += static_cast<char>(u >> 8);
        return *this;
    }
    Writer& line(const Bytes& text, const Bytes& end = kCrLf) {
        m_out += text;
        m_out += end;
        return *this;
    }
    Writer& raw(const Bytes& bytes) {
        m_out += bytes;
        return *this;
    }
    Writer& material(const Bytes& name, std::int64_t color, const Bytes& description, const Bytes& end = kCrLf) {
        return line(name, end).i32(color).line(description, end);
    }
    Writer& texture(const Bytes& name, const Bytes& bytes, const Bytes& end = kCrLf) {
        return line(name, end).i32(static_cast<std::int64_t>(bytes.size())).raw(bytes);
    }
    Writer& tile(std::int64_t id, const Bytes& texture, const Bytes& material, std::int64_t layer,
                 std::int64_t collision, const Bytes& end = kCrLf) {
        return i32(id).line(texture, end).line(material, end).i16(layer).i16(collision);
    }
    const Bytes& bytes() const { return m_out; }

private:
    Bytes m_out;
};

class Corpus {
public:
    explicit Corpus(fs::path dir) : m_dir(std::move(dir)) {}

    void put(const std::string& name, const Bytes& bytes) {
        std::ofstream out(m_dir / (name + ".mrqt"), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "make_reader_corpus: cannot write %s\n", name.c_str());
            std::exit(1);
        }
        ++m_count;
    }
    // The file cut after each of the given lengths.
    void cuts(const std::string& name, const Bytes& bytes, const std::vector<std::size_t>& lengths) {
        char label[32];
        for (const std::size_t n : lengths) {
            if (n >= bytes.size()) continue;
            std::snprintf(label, sizeof label, "-%06zu", n);
            put("cut-" + name + label, bytes.substr(0, n));
        }
    }
    int count() const { return m_count; }

private:
    fs::path m_dir;
    int m_count = 0;
};

Bytes pattern(std::size_t n, std::uint64_t seed) {
    Random r(seed);
    Bytes out(n, '\0');
    for (char& c : out) c = static_cast<char>(r.next() & 0xFF);
    return out;
}

Bytes saved(const marquetor::document::TileSet& set) {
    const auto bytes = marquetor::tilesetfile::SaveTileSetToMemory(set);
    return Bytes(bytes.begin(), bytes.end());
}

std::uint32_t bucketOf(const Bytes& name) { return marquetor::document::TextureMap::bucketOf(name); }

// `count` names of the form prefix + number + suffix that fall into one bucket.
std::vector<Bytes> collidingNames(const Bytes& prefix, const Bytes& suffix, std::size_t count) {
    std::map<std::uint32_t, std::vector<Bytes>> byBucket;
    for (int i = 0;; ++i) {
        Bytes name = prefix + std::to_string(i) + suffix;
        auto& names = byBucket[bucketOf(name)];
        names.push_back(name);
        if (names.size() == count) return names;
    }
}

// ---- files written by the library ------------------------------------------------------

void librarySets(Corpus& corpus) {
    using namespace marquetor::document;
    TileSet empty;
    empty.tileWidth = empty.tileHeight = 64;
    AddTileGroup(empty, kTileGroup);
    corpus.put("saved-empty", saved(empty));

    // Many textures: every bucket from 0 to 511 is used, most of them by several names.
    TileSet many;
    many.tileWidth = 32;
    many.tileHeight = 16;
    AddTileGroup(many, kTileGroup);
    Random r(11);
    for (int i = 0; i < 300; ++i)
        AddMaterial(many, "material " + std::to_string(i), r.any32() & 0xFFFFFF, "made by the library");
    for (int i = 0; i < 1200; ++i) {
        const std::size_t size = r.below(24);
        const Bytes bytes = pattern(size, static_cast<std::uint64_t>(i));
        auto block = std::make_unique<std::uint8_t[]>(size ? size : 1);
        std::memcpy(block.get(), bytes.data(), size);
        PutTexture(many, "tex" + std::to_string(i) + ".png", size ? std::move(block) : nullptr,
                   static_cast<std::int32_t>(size));
    }
    for (int i = 0; i < 5000; ++i)
        AddTile(many, kTileGroup, r.any32(), "tex" + std::to_string(r.below(1300)) + ".png",
                "material " + std::to_string(r.below(310)), r.any16(), r.any16());
    corpus.put("saved-many-records", saved(many));
}

// ---- files made byte by byte -----------------------------------------------------------

void documentedExamples(Corpus& corpus) {
    Writer worked;
    worked.header().i32(64).i32(32).i32(1).material("A", 0x80FF, "").i32(0).i32(1).tile(7, "T", "A", 3, 1);
    corpus.put("worked-example", worked.bytes());
    Writer empty;
    empty.header().i32(64).i32(64).i32(0).i32(0).i32(0);
    corpus.put("empty-lists", empty.bytes());
    corpus.put("header-only", "0.50\r\n");
    corpus.put("header-without-line-end", "0.50");
    Writer zeros;
    zeros.header().i32(0).i32(0).i32(0).i32(0).i32(0).raw("trailing bytes after the last tile\r\n");
    corpus.put("bytes-after-the-end", zeros.bytes());
}

void extremes(Corpus& corpus) {
    const std::int64_t i32s[] = {INT32_MIN, INT32_MIN + 1, -1, 0, 1, 255, 256, 65535, 0xFFFFFF, 0x1000000,
                                 INT32_MAX - 1, INT32_MAX};
    const std::int64_t i16s[] = {INT16_MIN, -1, 0, 1, 5, 6, 255, 256, INT16_MAX};
    Writer w;
    w.header().i32(INT32_MIN).i32(INT32_MAX);
    w.i32(static_cast<std::int64_t>(std::size(i32s)));
    int n = 0;
    for (const std::int64_t color : i32s)
        w.material("colour " + std::to_string(n++), color, color < 0 ? "negative" : "");
    w.i32(0);
    w.i32(static_cast<std::int64_t>(std::size(i32s) * std::size(i16s)));
    for (const std::int64_t id : i32s)
        for (const std::int64_t v : i16s) w.i32(id * 7 + v).line("t").line("m").i16(v).i16(-v - 1);
    corpus.put("extreme-values", w.bytes());

    Writer mins;
    mins.header().i32(INT32_MAX).i32(INT32_MIN).i32(1).material("", INT32_MIN, "").i32(1).texture("", "");
    mins.i32(2).tile(INT32_MIN, "", "", INT16_MIN, INT16_MIN).tile(INT32_MAX, "", "", INT16_MAX, INT16_MAX);
    corpus.put("empty-texts-and-limits", mins.bytes());

    // Descriptions around the 64 bytes a file keeps; a cut inside a UTF-8 character leaves
    // bytes that are no UTF-8 any more.
    Writer descriptions;
    descriptions.header().i32(8).i32(8).i32(6);
    descriptions.material("63", 1, Bytes(63, 'x')).material("64", 2, Bytes(64, 'y')).material("65", 3, Bytes(65, 'z'));
    descriptions.material("long", 4, Bytes(5000, 'w'));
    descriptions.material("cut utf-8", 5, Bytes(63, 'a') + "\xC3\xA9 after");
    descriptions.material("whole utf-8", 6, Bytes(62, 'a') + "\xC3\xA9 after");
    descriptions.i32(0).i32(0);
    corpus.put("description-lengths", descriptions.bytes());

    // Texture sizes around SHA-256's block and padding boundaries, and one of a megabyte.
    Writer sizes;
    const std::size_t lengths[] = {0, 1, 3, 55, 56, 57, 63, 64, 65, 111, 112, 119, 120, 127, 128, 129, 1000, 4096,
                                   1 << 20};
    sizes.header().i32(16).i32(16).i32(0).i32(static_cast<std::int64_t>(std::size(lengths)));
    for (const std::size_t n : lengths) sizes.texture("size" + std::to_string(n) + ".bin", pattern(n, n));
    sizes.i32(0);
    corpus.put("texture-sizes", sizes.bytes());

    // Long texts (the readers must not assume a short line) and many tiles.
    Writer big;
    big.header().i32(16).i32(16).i32(1).material(Bytes(70000, 'M'), 7, "long name").i32(1);
    big.texture(Bytes(3000, 'T') + ".png", "abc").i32(20000);
    Random r(5);
    for (int i = 0; i < 20000; ++i)
        big.tile(r.any32(), "texture " + std::to_string(r.below(500)), i % 1000 ? "other" : Bytes(70000, 'M'),
                 r.below(256), r.below(6));
    corpus.put("long-texts-many-tiles", big.bytes());
}

void textureBuckets(Corpus& corpus) {
    // Five names in one bucket entered in file order: the map lists the last entered first.
    const auto same = collidingNames("tile", ".png", 5);
    // Bytes above 127 count as negative in the hash: names with them that collide too.
    const auto high = collidingNames("\xE9t\xE9", ".tga", 4);
    Writer w;
    w.header().i32(32).i32(32).i32(0);
    std::vector<std::pair<Bytes, Bytes>> textures;
    for (std::size_t i = 0; i < same.size(); ++i) textures.emplace_back(same[i], pattern(10 + i, i));
    for (std::size_t i = 0; i < high.size(); ++i) textures.emplace_back(high[i], pattern(20 + i, 100 + i));
    // Names in the first and the last bucket.
    for (int i = 0;; ++i) {
        const Bytes name = "edge" + std::to_string(i);
        const auto b = bucketOf(name);
        if (b == 0 || b == 511) textures.emplace_back(name, pattern(4, 200 + static_cast<std::uint64_t>(i)));
        if (textures.size() >= same.size() + high.size() + 4) break;
    }
    // Out of bucket order: the last bucket's names first.
    std::reverse(textures.begin(), textures.end());
    // A repeated name in the middle: the later bytes, at the first one's place.
    textures.insert(textures.begin() + 3, {same[2], "replaced"});
    textures.emplace_back(same[4], "replaced again");
    textures.emplace_back(high[0], "");
    w.i32(static_cast<std::int64_t>(textures.size()));
    for (const auto& [name, bytes] : textures) w.texture(name, bytes);
    w.i32(0);
    corpus.put("texture-buckets", w.bytes());
}

void texts(Corpus& corpus) {
    // Valid UTF-8, Windows-1252 and byte sequences that are neither; control bytes and the
    // characters JSON escapes.
    const std::vector<Bytes> samples = {
        "plain", "K\xC3\xA4se", "\xE2\x82\xAC 5", "\xF0\x9F\x98\x80 smile", "\xEF\xBF\xBF", "\xF4\x8F\xBF\xBF",
        "K\xE4se", "\x80\x81\x8D\x8F\x90\x9D\x9F\xA0\xFF", "\xC0\x80 overlong", "\xE0\x80\x80", "\xED\xA0\x80 surrogate",
        "\xF4\x90\x80\x80 too high", "\xF5\x80\x80\x80", "\xE2\x82 cut", "\x80 lone continuation", "\xC3",
        "\xF0\x9F\x98", "tab\there", "\x01\x02\x07\x08\x0B\x0C\x0E\x1B\x1F\x7F", "quote \" backslash \\ slash /",
        "<html> & 'apostrophe'", "\xC2\xA0\xC2\x85\xE2\x80\xA8\xE2\x80\xA9"};
    Bytes every;   // every byte a text can hold
    for (int b = 1; b < 256; ++b)
        if (b != '\r' && b != '\n') every += static_cast<char>(b);
    Writer w;
    w.header().i32(1).i32(2).i32(static_cast<std::int64_t>(samples.size() + 1));
    for (std::size_t i = 0; i < samples.size(); ++i) w.material(samples[i], static_cast<std::int64_t>(i), samples[samples.size() - 1 - i]);
    w.material(every, 99, every);
    w.i32(static_cast<std::int64_t>(samples.size()));
    for (std::size_t i = 0; i < samples.size(); ++i) w.texture(samples[i] + ".png", samples[i]);
    w.i32(static_cast<std::int64_t>(samples.size() + 1));
    for (std::size_t i = 0; i < samples.size(); ++i)
        w.tile(static_cast<std::int64_t>(i), samples[i], samples[(i + 3) % samples.size()], 0, 0);
    w.tile(1000, every, every, 1, 1);
    corpus.put("texts-encodings", w.bytes());

    Writer one;
    one.header().i32(64).i32(64).i32(2).material("Caf\xE9", 0x010203, "\x80 5").material("Caf\xC3\xA9", 0x030201, "ok");
    one.i32(0).i32(1).tile(1, "Caf\xE9.png", "Caf\xE9", 1, 1);
    corpus.put("texts-windows-1252", one.bytes());
}

void lineEnds(Corpus& corpus) {
    // Every terminator in every place; a lone CR leaves the next byte to the next item.
    const std::vector<Bytes> ends = {kCrLf, kLf, kCr, kNul};
    for (std::size_t k = 0; k < ends.size(); ++k) {
        const Bytes& e = ends[k];
        Writer w;
        w.header(e).i32(10).i32(20).i32(2).material("first", 1, "one", e).material("second", 2, "", e);
        w.i32(2).texture("a.png", "\n\r\0x", e).texture("b.png", "", e);
        w.i32(3).tile(1, "a.png", "first", 1, 0, e).tile(0x0D0A0D0A, "\x0A", "", 0x0A0D, 0x0D, e).tile(3, "", "", 0, 0, e);
        corpus.put("line-ends-" + std::to_string(k), w.bytes());
    }
    Writer mixed;
    mixed.header(kLf).i32(1).i32(1).i32(4);
    mixed.line("cr then lf", kCr).raw("\n");   // CR LF after all
    mixed.i32(5).line("", kCr).line("cr cr lf", kCr).raw("\r\n");
    mixed.i32(6).line("d", kLf);
    mixed.line("x\r\r", kLf).i32(7).line("", kNul);
    mixed.line("y", kNul).i32(0x0D0D0D0D).line("z\r", kCrLf);
    mixed.i32(0).i32(0);
    corpus.put("line-ends-mixed", mixed.bytes());
}

void duplicates(Corpus& corpus) {
    Writer w;
    w.header().i32(16).i32(16).i32(5);
    w.material("Stone", 1, "first").material("Mud", 2, "").material("Stone", 3, "second").material("stone", 4, "case");
    w.material("Mud", 5, "again");
    w.i32(5).texture("a.png", "first a").texture("b.png", "b").texture("a.png", "second a");
    w.texture("b.png", "").texture("a.png", "third a, the one kept");
    w.i32(6).tile(5, "a.png", "Stone", 1, 1).tile(-5, "b.png", "Mud", 2, 2).tile(5, "b.png", "Mud", 3, 3);
    w.tile(0, "", "", 0, 0).tile(-5, "x", "y", 9, 9).tile(0, "z", "z", 8, 8);
    corpus.put("repeated-keys", w.bytes());
}

// A set with a record of each kind, two textures: the base of the counts that lie and of
// the cuts.
Writer richSet(std::int64_t materials, std::int64_t textures, std::int64_t tiles) {
    Writer w;
    w.header().i32(48).i32(24).i32(materials).material("Grass", 0x00FF00, "soft").material("K\xE4se", 0x80FF, "\xE9t\xE9");
    w.i32(textures).texture("grass.png", "\x89PNG\r\n\x1A\n fake picture").texture("rock.bmp", "BM");
    w.i32(tiles).tile(1, "grass.png", "Grass", 0, 0).tile(2, "rock.bmp", "K\xE4se", 1, 1).tile(-3, "x", "", 300, -2);
    return w;
}

void lyingCounts(Corpus& corpus) {
    const std::int64_t lies[] = {INT32_MAX, INT32_MIN, -1, 0, 1, 3, 4, 1000};
    for (const std::int64_t lie : lies) {
        const std::string suffix = lie < 0 ? "minus" + std::to_string(-lie) : std::to_string(lie);
        corpus.put("count-materials-" + suffix, richSet(lie, 2, 3).bytes());
        corpus.put("count-textures-" + suffix, richSet(2, lie, 3).bytes());
        corpus.put("count-tiles-" + suffix, richSet(2, 2, lie).bytes());
    }
    // Texture sizes: negative (no bytes), beyond the data, and exactly to the end.
    const std::int64_t sizes[] = {-1, INT32_MIN, INT32_MAX, 1000, 5};
    for (const std::int64_t size : sizes) {
        Writer w;
        w.header().i32(8).i32(8).i32(0).i32(2).line("lying.png").i32(size).raw("12345").line("next.png").i32(2).raw("ab");
        w.i32(1).tile(1, "lying.png", "", 0, 0);
        const std::string suffix = size < 0 ? "minus" + std::to_string(-size) : std::to_string(size);
        corpus.put("texture-size-" + suffix, w.bytes());
    }
    // A count of 2,147,483,647 in a few bytes: nothing may be reserved for it.
    Writer huge;
    huge.header().i32(1).i32(1).i32(INT32_MAX).material("a", 1, "");
    corpus.put("count-huge-small-file", huge.bytes());
    Writer hugeTiles;
    hugeTiles.header().i32(1).i32(1).i32(0).i32(0).i32(INT32_MAX).tile(1, "t", "m", 1, 1).raw("\x02\x00");
    corpus.put("count-huge-tiles", hugeTiles.bytes());
}

void notTileSets(Corpus& corpus) {
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"empty-file", ""},
        {"header-0.5", "0.5\r\n"},
        {"header-0.51", "0.51\r\n"},
        {"header-trailing-space", "0.50 \r\n"},
        {"header-leading-space", " 0.50\r\n"},
        {"header-bom", "\xEF\xBB\xBF" "0.50\r\n"},
        {"header-0.500", "0.500\r\n"},
        {"header-empty-line", "\r\n0.50\r\n"},
        {"header-utf16", Bytes("\xFF\xFE" "0\0.\0" "5\0" "0\0\r\0\n\0", 14)},
        {"png-file", "\x89PNG\r\n\x1A\n\0\0\0\rIHDR"},
        {"header-cut", "0.5"},
        {"text-file", "Marquetor tile set\n"},
    };
    for (const auto& [name, bytes] : files) corpus.put("not-a-tile-set-" + name, bytes);
    // Headers that are tile sets: the line rules apply to the first line too.
    corpus.put("header-lf", Bytes("0.50\n") + Bytes(12, '\0'));
    corpus.put("header-cr", Bytes("0.50\r") + Bytes(12, '\0'));
    corpus.put("header-nul", Bytes("0.50\0", 5) + Bytes(12, '\0'));
    corpus.put("header-cr-cr-lf", Bytes("0.50\r\r\n") + Bytes(12, '\0'));
}

// A tile set with everything drawn at random: names that repeat, every line end, counts and
// sizes that may lie, bytes after the end, now and then no tile set at all.
Bytes randomSet(Random& r) {
    const std::vector<Bytes> ends = {kCrLf, kCrLf, kCrLf, kLf, kCr, kNul};
    auto end = [&] { return r.pick(ends); };
    std::vector<Bytes> pool;
    auto text = [&](bool fromPool) {
        if (fromPool && !pool.empty() && r.chance(30)) return r.pick(pool);
        const std::uint32_t n = r.below(12);
        Bytes s;
        switch (r.below(4)) {
        case 0:
            for (std::uint32_t i = 0; i < n; ++i) s += "abcdefghijklmnopqrstuvwxyz_.0123456789 "[r.below(39)];
            break;
        case 1: {
            const std::vector<Bytes> chars = {"a", "\xC3\xA9", "\xC3\xBC", "\xC3\x9F", "\xD0\x96", "\xE6\xBC\xA2",
                                              "\xE2\x82\xAC", " ", "\xF0\x9F\x8E\xAE"};
            for (std::uint32_t i = 0; i < n; ++i) s += r.pick(chars);
            break;
        }
        case 2: {
            const Bytes chars = "Caf\xE9 \x80\x81\x8D\x8F\x90\x9D\x9F\xA0\xFF\x96\t\"\\";
            for (std::uint32_t i = 0; i < n; ++i) s += chars[r.below(static_cast<std::uint32_t>(chars.size()))];
            break;
        }
        default:
            for (std::uint32_t i = 0; i < n; ++i) {
                char c = static_cast<char>(1 + r.below(255));
                if (c == '\r' || c == '\n') c = '?';
                s += c;
            }
        }
        return s;
    };
    for (int i = 0; i < 3; ++i) pool.push_back(text(false));
    auto count = [&](std::int64_t actual) -> std::int64_t {
        const std::uint32_t p = r.below(100);
        if (p < 70) return actual;
        if (p < 80) return -1 - static_cast<std::int64_t>(r.below(INT32_MAX));
        if (p < 90) return actual + 1 + r.below(4);
        return r.chance(50) ? INT32_MAX : std::max<std::int64_t>(actual - 1, 0);
    };

    Writer w;
    if (r.chance(95)) w.header(r.chance(80) ? kCrLf : end());
    else w.line(r.pick(std::vector<Bytes>{"0.51", "0.5", "", "0.50 ", "\xEF\xBB\xBF" "0.50"}), kCrLf);
    w.i32(r.chance(50) ? 64 : r.any32()).i32(r.chance(50) ? 48 : r.any32());
    const std::int64_t materials = r.below(8);
    w.i32(count(materials));
    for (std::int64_t i = 0; i < materials; ++i) {
        Bytes description = text(false);
        if (r.chance(20)) description = description + description + description + description + description + description;
        w.material(text(true), r.any32(), description, end());
    }
    const std::int64_t textures = r.below(6);
    w.i32(count(textures));
    for (std::int64_t i = 0; i < textures; ++i) {
        w.line(text(true), end());
        const Bytes data = pattern(r.below(40), r.next());
        const std::uint32_t p = r.below(100);
        if (p < 80) w.i32(static_cast<std::int64_t>(data.size())).raw(data);
        else if (p < 90) w.i32(-1 - static_cast<std::int64_t>(r.below(INT32_MAX)));
        else w.i32(static_cast<std::int64_t>(data.size()) + 1 + r.below(INT32_MAX - 100)).raw(data);
    }
    const std::int64_t tiles = r.below(10);
    w.i32(count(tiles));
    const std::int64_t ids[] = {static_cast<std::int64_t>(r.below(10)) - 5, static_cast<std::int64_t>(r.below(10)) - 5};
    for (std::int64_t i = 0; i < tiles; ++i)
        w.i32(r.chance(30) ? ids[r.below(2)] : r.any32()).line(text(true), end()).line(text(true), end()).i16(r.any16()).i16(
            r.chance(50) ? r.below(6) : r.any16());
    if (r.chance(10)) w.raw(pattern(1 + r.below(20), r.next()));
    return w.bytes();
}

void randomSets(Corpus& corpus, std::uint64_t seed, int count) {
    Random r(seed);
    char name[48];
    for (int i = 0; i < count; ++i) {
        std::snprintf(name, sizeof name, "random-%llu-%04d", static_cast<unsigned long long>(seed), i);
        corpus.put(name, randomSet(r));
    }
}

void cutsShort(Corpus& corpus, const Bytes& demo) {
    // Every offset of a small set with each kind of record; every 61st of a larger one.
    const Bytes rich = richSet(2, 2, 3).bytes();
    std::vector<std::size_t> all(rich.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    corpus.cuts("rich", rich, all);

    Writer lf;   // lines ending in LF and lone CR: a cut can fall between CR and what follows
    lf.header(kCr).i32(3).i32(3).i32(1).material("m", 1, "d", kCr).i32(1).texture("t", "xyz", kLf).i32(2);
    lf.tile(1, "t", "m", 1, 1, kCr).tile(2, "t", "m", 2, 2, kLf);
    std::vector<std::size_t> every(lf.bytes().size());
    for (std::size_t i = 0; i < every.size(); ++i) every[i] = i;
    corpus.cuts("lone-cr", lf.bytes(), every);

    std::vector<std::size_t> some;
    for (std::size_t n = 0; n < demo.size(); n += demo.size() / 25 + 1) some.push_back(n);
    for (const std::size_t n : {std::size_t{6}, std::size_t{7}, std::size_t{9}, std::size_t{10}, std::size_t{13},
                                demo.size() - 1, demo.size() - 2, demo.size() - 3})
        some.push_back(n);
    corpus.cuts("demo", demo, some);
}

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "make_reader_corpus: cannot read %s\n", path.c_str());
        std::exit(1);
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void clearDirectory(const fs::path& dir) {
    fs::create_directories(dir);
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().extension() == ".mrqt") fs::remove(entry.path());
}

[[noreturn]] void usage() {
    std::fprintf(stderr,
                 "Usage: make_reader_corpus DEMO.mrqt OUT_DIR\n"
                 "       make_reader_corpus --seed N --random COUNT OUT_DIR\n");
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 5 && args[0] == "--seed" && args[2] == "--random") {
        const fs::path dir = args[4];
        clearDirectory(dir);
        Corpus corpus(dir);
        randomSets(corpus, std::stoull(args[1]), std::stoi(args[3]));
        std::printf("%d files in %s\n", corpus.count(), dir.c_str());
        return 0;
    }
    if (args.size() != 2) usage();
    const Bytes demo = readFile(args[0]);
    const fs::path dir = args[1];
    clearDirectory(dir);
    Corpus corpus(dir);
    corpus.put("demo", demo);
    librarySets(corpus);
    documentedExamples(corpus);
    extremes(corpus);
    textureBuckets(corpus);
    texts(corpus);
    lineEnds(corpus);
    duplicates(corpus);
    lyingCounts(corpus);
    notTileSets(corpus);
    cutsShort(corpus, demo);
    randomSets(corpus, 20261208, 100);
    std::printf("%d files in %s\n", corpus.count(), dir.c_str());
    return 0;
}
