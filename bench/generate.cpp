// marquetor_generate: writes a large tile set, the same bytes for the same seed and sizes.
//
//   marquetor_generate [--seed N] [--textures N] [--texture-bytes N] [--materials N]
//                      [--tiles N] OUT.mrqt
//
// Each texture is a real JPEG (one of a few small pictures) padded with noise to the
// requested size, so the previews have something to decode; tile IDs are a shuffled range
// so that sorting has work to do; every tile names an existing texture and material (or,
// in a set without textures, one from a list of the same names).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "document/tileset.h"
#include "imagewrite.h"
#include "tilesetfile/format.h"

namespace {

using namespace marquetor;

// splitmix64: small, fast, and the same everywhere.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(next() % n); }

private:
    std::uint64_t m_state;
};

struct Options {
    std::uint64_t seed = 1;
    long textures = 2000;
    long textureBytes = 128 * 1024;
    long materials = 10000;
    long tiles = 100000;
    std::string out;
};

[[noreturn]] void usage(const char* why) {
    std::fprintf(stderr,
                 "marquetor_generate: %s\n"
                 "Usage: marquetor_generate [--seed N] [--textures N] [--texture-bytes N] [--materials N] "
                 "[--tiles N] OUT.mrqt\n",
                 why);
    std::exit(2);
}

long numberArgument(const char* text) {
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (end == text || *end != '\0' || v < 0 || v > 100'000'000) usage("a count must be a number from 0 to 100000000");
    return static_cast<long>(v);
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) usage("an option lacks its value");
            return argv[++i];
        };
        if (a == "--seed") o.seed = static_cast<std::uint64_t>(numberArgument(value()));
        else if (a == "--textures") o.textures = numberArgument(value());
        else if (a == "--texture-bytes") o.textureBytes = numberArgument(value());
        else if (a == "--materials") o.materials = numberArgument(value());
        else if (a == "--tiles") o.tiles = numberArgument(value());
        else if (!a.empty() && a[0] == '-') usage("unknown option");
        else if (o.out.empty()) o.out = a;
        else usage("one output file only");
    }
    if (o.out.empty()) usage("no output file given");
    return o;
}

std::string numbered(const char* prefix, long n, const char* suffix) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%05ld%s", prefix, n, suffix);
    return text;
}

// A few distinct small JPEG pictures: smooth colour fields with some texture.
std::vector<std::vector<std::uint8_t>> makePictures(Random& random, int count) {
    std::vector<std::vector<std::uint8_t>> pictures;
    for (int k = 0; k < count; ++k) {
        imagecodec::RgbaImage image;
        image.width = image.height = 256;
        image.pixels.resize(256 * 256 * 4);
        const unsigned a = random.below(256), b = random.below(256), c = random.below(256);
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) {
                std::uint8_t* p = image.pixels.data() + (y * 256 + x) * 4;
                const unsigned noise = static_cast<unsigned>(random.next() & 31);
                p[0] = static_cast<std::uint8_t>((a + x + noise) & 255);
                p[1] = static_cast<std::uint8_t>((b + y + noise) & 255);
                p[2] = static_cast<std::uint8_t>((c + (x ^ y)) & 255);
                p[3] = 255;
            }
        }
        auto jpeg = imagewrite::encodeJpeg(image, {.quality = 85});
        if (!jpeg) {
            std::fprintf(stderr, "marquetor_generate: cannot encode a picture\n");
            std::exit(1);
        }
        pictures.push_back(std::move(*jpeg));
    }
    return pictures;
}

const char* const kWords[] = {"rough", "smooth", "wet", "dry", "old", "stone", "wood", "grass", "sand",
                              "metal", "dark", "light", "moss", "brick", "tile", "ice"};

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    Random random(o.seed);
    document::TileSet set;
    set.tileWidth = 64;
    set.tileHeight = 64;
    document::AddTileGroup(set, document::kTileGroup);

    std::vector<std::string> materialNames;
    materialNames.reserve(static_cast<std::size_t>(o.materials));
    for (long i = 0; i < o.materials; ++i) {
        std::string description = std::string(kWords[random.below(16)]) + " " + kWords[random.below(16)] + " " +
                                  kWords[random.below(16)] + " surface";
        materialNames.push_back(numbered("material", i, ""));
        document::AddMaterial(set, materialNames.back(), static_cast<std::int32_t>(random.next() & 0xFFFFFF),
                              description);
    }

    // Without textures the tiles still name some (the parsing figure needs no bytes).
    const long textureNames = o.textures > 0 ? o.textures : 2000;
    std::vector<std::string> textureNamesList;
    for (long i = 0; i < textureNames; ++i) textureNamesList.push_back(numbered("texture", i, ".jpg"));
    if (o.textures > 0) {
        const auto pictures = makePictures(random, 8);
        for (long i = 0; i < o.textures; ++i) {
            const auto& picture = pictures[random.below(static_cast<std::uint32_t>(pictures.size()))];
            const std::size_t size = std::max<std::size_t>(static_cast<std::size_t>(o.textureBytes), 0);
            std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[size ? size : 1]);
            const std::size_t head = std::min(size, picture.size());
            std::memcpy(bytes.get(), picture.data(), head);
            // Noise after the picture's end marker: decoders stop before it.
            for (std::size_t j = head; j < size; j += 8) {
                const std::uint64_t v = random.next();
                std::memcpy(bytes.get() + j, &v, std::min<std::size_t>(8, size - j));
            }
            document::PutTexture(set, textureNamesList[static_cast<std::size_t>(i)], size ? std::move(bytes) : nullptr,
                                 static_cast<std::int32_t>(size));
        }
    }

    // IDs 1..tiles, shuffled.
    std::vector<std::int32_t> ids(static_cast<std::size_t>(o.tiles));
    for (std::size_t i = 0; i < ids.size(); ++i) ids[i] = static_cast<std::int32_t>(i + 1);
    for (std::size_t i = ids.size(); i > 1; --i) std::swap(ids[i - 1], ids[random.below(static_cast<std::uint32_t>(i))]);
    document::TileGroup* group = document::LookUpTileGroup(set, document::kTileGroup);
    group->tiles.reserve(ids.size());
    group->tileIndex.reserve(ids.size());
    const std::string noMaterial;
    for (const std::int32_t id : ids) {
        const std::string& texture = textureNamesList[random.below(static_cast<std::uint32_t>(textureNamesList.size()))];
        const std::string& material =
            materialNames.empty() ? noMaterial : materialNames[random.below(static_cast<std::uint32_t>(materialNames.size()))];
        document::AddTile(*group, id, texture, material, static_cast<std::int16_t>(random.below(256)),
                          static_cast<std::int16_t>(random.below(6)));
    }

    const auto saved = tilesetfile::SaveTileSet(set, o.out);
    if (!saved.ok) {
        std::fprintf(stderr, "marquetor_generate: %s\n", saved.reason.c_str());
        return 1;
    }
    return 0;
}
