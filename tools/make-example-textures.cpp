// Draws the example textures of the demo workspace procedurally and writes them in all
// four formats the editor reads. Every texture tiles seamlessly (the noise wraps around).
//
//   make_example_textures OUTPUT_FOLDER
//
// The output is deterministic: running it again rewrites the same bytes.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "imagewrite.h"

namespace {

using marquetor::imagecodec::RgbaImage;
using marquetor::imagewrite::Bytes;
using marquetor::imagewrite::IndexedImage;
namespace imagewrite = marquetor::imagewrite;

struct Colour {
    double r, g, b;
};

Colour mix(Colour a, Colour b, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Colour scaled(Colour c, double f)
{
    return {c.r * f, c.g * f, c.b * f};
}

std::uint8_t channel(double v)
{
    return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

// A small deterministic generator (splitmix64).
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }

private:
    std::uint64_t m_state;
};

// Value noise on a lattice that wraps every `period` cells, so the texture tiles.
class TileNoise {
public:
    TileNoise(int period, std::uint64_t seed) : m_period(period), m_values(period * period)
    {
        Random random(seed);
        for (double& v : m_values)
            v = random.unit();
    }
    // u, v in [0, 1): one tile.
    double at(double u, double v) const
    {
        const double x = u * m_period, y = v * m_period;
        const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
        const double fx = smooth(x - x0), fy = smooth(y - y0);
        const double a = lattice(x0, y0), b = lattice(x0 + 1, y0);
        const double c = lattice(x0, y0 + 1), d = lattice(x0 + 1, y0 + 1);
        return (a + (b - a) * fx) * (1 - fy) + (c + (d - c) * fx) * fy;
    }

private:
    static double smooth(double t) { return t * t * (3 - 2 * t); }
    double lattice(int x, int y) const
    {
        x = ((x % m_period) + m_period) % m_period;
        y = ((y % m_period) + m_period) % m_period;
        return m_values[static_cast<std::size_t>(y) * m_period + x];
    }
    int m_period;
    std::vector<double> m_values;
};

// Fractal sum of octaves with doubling periods, 0..1.
class Fractal {
public:
    Fractal(int basePeriod, int octaves, std::uint64_t seed)
    {
        for (int i = 0; i < octaves; ++i)
            m_octaves.emplace_back(basePeriod << i, seed * 31 + static_cast<std::uint64_t>(i));
    }
    double at(double u, double v) const
    {
        double sum = 0, weight = 0, amplitude = 1;
        for (const TileNoise& octave : m_octaves) {
            sum += octave.at(u, v) * amplitude;
            weight += amplitude;
            amplitude *= 0.5;
        }
        return sum / weight;
    }

private:
    std::vector<TileNoise> m_octaves;
};

// Cells around feature points on a wrapping grid: distance to the nearest and second
// nearest point, in cell units.
class Cells {
public:
    Cells(int cells, std::uint64_t seed) : m_cells(cells), m_points(cells * cells)
    {
        Random random(seed);
        for (auto& p : m_points)
            p = {random.unit() * 0.7 + 0.15, random.unit() * 0.7 + 0.15};
    }
    std::pair<double, double> at(double u, double v) const
    {
        const double x = u * m_cells, y = v * m_cells;
        const int cx = static_cast<int>(std::floor(x)), cy = static_cast<int>(std::floor(y));
        double first = 9, second = 9;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int gx = cx + dx, gy = cy + dy;
                const auto& p = m_points[static_cast<std::size_t>(((gy % m_cells) + m_cells) % m_cells) * m_cells +
                                         ((gx % m_cells) + m_cells) % m_cells];
                const double d = std::hypot(gx + p[0] - x, gy + p[1] - y);
                if (d < first) {
                    second = first;
                    first = d;
                } else if (d < second) {
                    second = d;
                }
            }
        return {first, second};
    }

private:
    int m_cells;
    std::vector<std::array<double, 2>> m_points;
};

RgbaImage paint(int size, const std::function<Colour(double, double, int, int)>& shade)
{
    RgbaImage image;
    image.width = size;
    image.height = size;
    image.pixels.resize(static_cast<std::size_t>(size) * size * 4);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const Colour c = shade((x + 0.5) / size, (y + 0.5) / size, x, y);
            std::uint8_t* p = image.pixels.data() + (static_cast<std::size_t>(y) * size + x) * 4;
            p[0] = channel(c.r);
            p[1] = channel(c.g);
            p[2] = channel(c.b);
            p[3] = 255;
        }
    return image;
}

RgbaImage grass(int size)
{
    const Fractal field(4, 4, 11);
    const TileNoise blades(size / 2, 12);
    Random random(13);
    RgbaImage image = paint(size, [&](double u, double v, int, int) {
        const double n = field.at(u, v);
        const double fine = blades.at(u * 1.0, v * 0.25);
        return scaled(mix({52, 104, 34}, {120, 176, 64}, n * 1.2 - 0.1), 0.8 + 0.35 * fine);
    });
    // Short bright and dark blades, wrapping at the edges.
    for (int i = 0; i < size * 3; ++i) {
        const int x = random.below(size), y = random.below(size), length = 2 + random.below(4);
        const bool bright = random.below(2) == 0;
        for (int k = 0; k < length; ++k) {
            std::uint8_t* p = image.pixels.data() + (static_cast<std::size_t>((y - k + size) % size) * size + x) * 4;
            for (int c = 0; c < 3; ++c)
                p[c] = channel(p[c] * (bright ? 1.25 : 0.7));
        }
    }
    return image;
}

RgbaImage water(int size)
{
    const Fractal field(2, 4, 21);
    const Fractal warp(4, 3, 22);
    return paint(size, [&](double u, double v, int, int) {
        const double pi2 = 6.283185307179586;
        const double wave = std::sin((v * 4 + warp.at(u, v) * 1.5) * pi2) * 0.5 + 0.5;
        const double depth = field.at(u, v);
        Colour c = mix({18, 52, 110}, {40, 110, 170}, depth);
        return mix(c, {150, 200, 235}, std::pow(wave, 8) * 0.6);
    });
}

RgbaImage stone(int size)
{
    const Cells cells(5, 31);
    const Fractal grain(8, 3, 32);
    return paint(size, [&](double u, double v, int, int) {
        const auto [first, second] = cells.at(u, v);
        const double edge = second - first;   // small near the cracks between stones
        const double g = grain.at(u, v);
        Colour c = mix({88, 90, 96}, {150, 150, 156}, g);
        c = scaled(c, 0.75 + 0.45 * std::min(1.0, first * 0.9 + 0.2) * (1.1 - first * 0.5));
        if (edge < 0.08)
            c = mix({40, 40, 44}, c, edge / 0.08);
        return c;
    });
}

RgbaImage sand(int size)
{
    const Fractal field(4, 3, 41);
    const TileNoise speck(size, 42);
    return paint(size, [&](double u, double v, int, int) {
        const double ripple = std::sin((v * 6 + field.at(u, v) * 2) * 6.283185307179586) * 0.5 + 0.5;
        Colour c = mix({196, 170, 118}, {228, 206, 150}, ripple * 0.6 + field.at(u, v) * 0.4);
        return scaled(c, 0.9 + 0.18 * speck.at(u, v));
    });
}

RgbaImage brick(int size)
{
    const Fractal field(8, 3, 51);
    Random random(52);
    const int rows = 4, bricksPerRow = 2;
    std::vector<double> tint(rows * bricksPerRow * 2);
    for (double& t : tint)
        t = random.unit();
    return paint(size, [&](double u, double v, int, int) {
        const double rowHeight = 1.0 / rows;
        const int row = static_cast<int>(v / rowHeight);
        const double offset = (row % 2) ? 0.5 / bricksPerRow : 0.0;
        double along = u + offset;
        along -= std::floor(along);
        const int column = static_cast<int>(along * bricksPerRow);
        const double inX = along * bricksPerRow - column, inY = v / rowHeight - row;
        const double mortar = 0.06;
        const double n = field.at(u, v);
        if (inY < mortar * 2 || inX < mortar)
            return scaled(Colour{170, 164, 150}, 0.85 + 0.2 * n);
        const double t = tint[static_cast<std::size_t>(row * bricksPerRow * 2 + column) % tint.size()];
        Colour c = mix({128, 48, 34}, {176, 78, 52}, t);
        return scaled(c, 0.8 + 0.35 * n);
    });
}

// Lava: bright veins where the noise crosses its middle, posterised so that runs repeat.
RgbaImage lava(int size)
{
    const Fractal field(2, 4, 61);
    const Fractal heat(4, 2, 62);
    return paint(size, [&](double u, double v, int, int) {
        const double ridge = 1 - std::min(1.0, std::abs(field.at(u, v) - 0.5) * 7);
        const double glow = std::round((ridge * 0.8 + heat.at(u, v) * 0.3) * 6) / 6;
        if (glow < 0.2)
            return Colour{46, 16, 12};
        if (glow < 0.5)
            return mix({110, 22, 8}, {200, 50, 10}, glow * 2 - 0.4);
        return mix({235, 90, 10}, {255, 230, 90}, glow * 1.6 - 0.8);
    });
}

// Dirt as palette indexes into a ramp of browns, with pebbles.
IndexedImage dirt(int size)
{
    IndexedImage image;
    image.width = size;
    image.height = size;
    const int ramp = 24;
    for (int i = 0; i < ramp; ++i) {
        const Colour c = mix({70, 46, 28}, {142, 104, 66}, i / double(ramp - 1));
        image.palette.push_back((std::uint32_t{channel(c.r)} << 16) | (std::uint32_t{channel(c.g)} << 8) |
                                channel(c.b));
    }
    image.palette.push_back(0x8A8680);   // pebble
    image.palette.push_back(0xB8B4AC);   // pebble highlight
    const Fractal field(4, 4, 71);
    const Cells pebbles(6, 72);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double u = (x + 0.5) / size, v = (y + 0.5) / size;
            const double d = pebbles.at(u, v).first;
            std::uint8_t index = static_cast<std::uint8_t>(std::clamp(field.at(u, v) * 1.4 - 0.2, 0.0, 0.999) * ramp);
            if (d < 0.16)
                index = static_cast<std::uint8_t>(d < 0.08 ? ramp + 1 : ramp);
            image.indexes.push_back(index);
        }
    return image;
}

// Wooden planks as indexes into a small palette, so RLE finds runs.
IndexedImage planks(int size)
{
    IndexedImage image;
    image.width = size;
    image.height = size;
    const int tones = 12;
    for (int i = 0; i < tones; ++i) {
        const Colour c = mix({96, 60, 30}, {176, 128, 74}, i / double(tones - 1));
        image.palette.push_back((std::uint32_t{channel(c.r)} << 16) | (std::uint32_t{channel(c.g)} << 8) |
                                channel(c.b));
    }
    image.palette.push_back(0x3A2414);   // gaps
    const Fractal warp(2, 2, 81);
    Random random(82);
    const int boards = 4;
    std::vector<double> shade(boards);
    for (double& s : shade)
        s = random.unit() * 0.3;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double u = (x + 0.5) / size, v = (y + 0.5) / size;
            const int board = y * boards / size;
            if (y % (size / boards) == 0) {
                image.indexes.push_back(static_cast<std::uint8_t>(tones));
                continue;
            }
            const double grain = std::sin((v * 24 + warp.at(u, v) * 3) * 6.283185307179586) * 0.5 + 0.5;
            const double t = std::clamp(grain * 0.55 + shade[board] + 0.2, 0.0, 0.999);
            image.indexes.push_back(static_cast<std::uint8_t>(t * tones));
        }
    return image;
}

RgbaImage leaves(int size)
{
    RgbaImage image;
    image.width = size;
    image.height = size;
    image.pixels.assign(static_cast<std::size_t>(size) * size * 4, 0);
    Random random(91);
    const Fractal field(4, 2, 92);
    for (int i = 0; i < 26; ++i) {
        const double cx = random.unit(), cy = random.unit(), angle = random.unit() * 3.14159;
        const double length = 0.09 + random.unit() * 0.05, width = length * 0.45;
        const Colour base = mix({40, 110, 36}, {110, 160, 50}, random.unit());
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                // Nearest copy of the leaf centre, so leaves wrap across the edges.
                double dx = (x + 0.5) / size - cx, dy = (y + 0.5) / size - cy;
                dx -= std::round(dx);
                dy -= std::round(dy);
                const double a = dx * std::cos(angle) + dy * std::sin(angle);
                const double b = -dx * std::sin(angle) + dy * std::cos(angle);
                const double e = (a * a) / (length * length) + (b * b) / (width * width);
                if (e > 1)
                    continue;
                const double vein = std::abs(b) < width * 0.08 ? 0.8 : 1.0;
                const Colour c = scaled(base, (0.8 + 0.3 * field.at((x + 0.5) / size, (y + 0.5) / size)) * vein);
                std::uint8_t* p = image.pixels.data() + (static_cast<std::size_t>(y) * size + x) * 4;
                p[0] = channel(c.r);
                p[1] = channel(c.g);
                p[2] = channel(c.b);
                p[3] = channel(255 * std::min(1.0, (1 - e) * 6));   // soft rim
            }
    }
    return image;
}

RgbaImage cobble(int size)
{
    const Cells cells(4, 101);
    const Fractal grain(8, 2, 102);
    return paint(size, [&](double u, double v, int, int) {
        const auto [first, second] = cells.at(u, v);
        const double edge = second - first;
        const double dome = std::clamp(edge * 2.2, 0.0, 1.0);
        Colour c = mix({112, 96, 80}, {168, 150, 128}, grain.at(u, v));
        c = scaled(c, 0.55 + 0.5 * std::sqrt(dome));
        return edge < 0.05 ? Colour{52, 44, 38} : c;
    });
}

RgbaImage ice(int size)
{
    const Fractal field(2, 4, 111);
    const Cells cracks(3, 112);
    RgbaImage image = paint(size, [&](double u, double v, int, int) {
        const auto [first, second] = cracks.at(u, v);
        Colour c = mix({150, 200, 225}, {225, 245, 252}, field.at(u, v));
        if (second - first < 0.04)
            c = {245, 252, 255};
        return c;
    });
    // Partly translucent: thinner ice lets more through.
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            image.pixels[(static_cast<std::size_t>(y) * size + x) * 4 + 3] =
                channel(170 + 85 * field.at((x + 0.5) / size + 0.37, (y + 0.5) / size));
    return image;
}

bool save(const std::filesystem::path& path, const std::optional<Bytes>& bytes)
{
    if (!bytes || !imagewrite::writeFile(path.string(), *bytes)) {
        std::fprintf(stderr, "make_example_textures: could not write %s\n", path.string().c_str());
        return false;
    }
    std::printf("%s (%zu bytes)\n", path.string().c_str(), bytes->size());
    return true;
}

const char* const kNotes =
    "Example textures for the demo tile set.\n"
    "\n"
    "They are drawn procedurally by tools/make-example-textures.cpp and tile seamlessly.\n"
    "All four formats the editor reads are here:\n"
    "  grass.png, water.png     PNG\n"
    "  stone.jpg                JPEG (baseline)\n"
    "  sand.bmp                 BMP, 24 bits, rows stored top-down\n"
    "  dirt.bmp                 BMP, 8 bits with a palette\n"
    "  lava.tga                 TGA, run-length encoded (type 10)\n"
    "  brick.tga                TGA, uncompressed (type 2)\n"
    "  extra/leaves.png         PNG with transparency\n"
    "  extra/cobble.jpg         JPEG (progressive)\n"
    "  extra/ice.tga            TGA, 32 bits with alpha, run-length encoded, top-left origin\n"
    "  extra/planks.bmp         BMP, 8 bits, run-length encoded (RLE8)\n"
    "\n"
    "This file is not an image: the editor lists it but offers no preview.\n";

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_example_textures OUTPUT_FOLDER\n");
        return 2;
    }
    const std::filesystem::path root(argv[1]);
    const std::filesystem::path extra = root / "extra";
    std::error_code error;
    std::filesystem::create_directories(extra, error);
    if (error) {
        std::fprintf(stderr, "make_example_textures: cannot create %s\n", extra.string().c_str());
        return 1;
    }
    bool ok = true;
    ok &= save(root / "grass.png", imagewrite::encodePng(grass(128)));
    ok &= save(root / "water.png", imagewrite::encodePng(water(64)));
    ok &= save(root / "stone.jpg", imagewrite::encodeJpeg(stone(128), {88, false, false}));
    ok &= save(root / "sand.bmp", imagewrite::encodeBmp24(sand(64), true));
    ok &= save(root / "dirt.bmp", imagewrite::encodeBmp8(dirt(64), false));
    ok &= save(root / "lava.tga", imagewrite::encodeTga(lava(64), 24, true, false));
    ok &= save(root / "brick.tga", imagewrite::encodeTga(brick(64), 24, false, false));
    ok &= save(extra / "leaves.png", imagewrite::encodePng(leaves(64)));
    ok &= save(extra / "cobble.jpg", imagewrite::encodeJpeg(cobble(128), {85, true, false}));
    ok &= save(extra / "ice.tga", imagewrite::encodeTga(ice(64), 32, true, true));
    ok &= save(extra / "planks.bmp", imagewrite::encodeBmpRle8(planks(64)));
    ok &= save(root / "notes.txt", Bytes(kNotes, kNotes + std::char_traits<char>::length(kNotes)));
    return ok ? 0 : 1;
}
