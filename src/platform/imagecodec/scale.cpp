// Smooth scaling, separable: rows first, then columns. Each axis has, for every output
// pixel, a run of source pixels with integer weights that add up to the same total:
// the overlap of the pixel footprints when shrinking (exact area averaging), two
// bilinear taps when growing. Colours are weighted by alpha (premultiplied), so
// transparent pixels do not bleed their colour into their neighbours.
//
// The row pass touches every source pixel, so it is kept to additions: rows with the
// axis' full weight (all rows of an integer shrink, for instance) are summed plainly and
// the weight is applied once per output row; an opaque row is summed without
// premultiplying (its factor 255 is applied once as well).

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "platform/imagecodec/imagecodec.h"

namespace marquetor::imagecodec {

namespace {

constexpr std::uint32_t kBilinearOne = 1u << 14;

struct Tap {
    int first = 0;   // first source pixel
    int count = 0;   // how many, with their weights at weightIndex
    int weightIndex = 0;
};

struct Axis {
    std::vector<Tap> taps;              // one per output pixel
    std::vector<std::uint32_t> weights;
    std::uint32_t total = 1;            // the weights of every output pixel add up to this
    std::uint32_t full = 1;             // the weight of a source pixel covered entirely
};

Axis makeAxis(int source, int target)
{
    Axis axis;
    axis.taps.resize(target);
    if (source == target) {
        axis.weights.assign(target, 1);
        for (int i = 0; i < target; ++i)
            axis.taps[i] = {i, 1, i};
    } else if (source > target) {
        // Output pixel i covers [i * source, (i + 1) * source) in units where source pixel
        // j covers [j * target, (j + 1) * target).
        axis.total = static_cast<std::uint32_t>(source);
        axis.full = static_cast<std::uint32_t>(target);
        const std::int64_t s = source, t = target;
        for (int i = 0; i < target; ++i) {
            const std::int64_t from = i * s, to = (i + 1) * s;
            const std::int64_t first = from / t, last = (to + t - 1) / t;   // [first, last)
            Tap& tap = axis.taps[i];
            tap.first = static_cast<int>(first);
            tap.count = static_cast<int>(last - first);
            tap.weightIndex = static_cast<int>(axis.weights.size());
            for (std::int64_t j = first; j < last; ++j) {
                const std::int64_t overlap = std::min((j + 1) * t, to) - std::max(j * t, from);
                axis.weights.push_back(static_cast<std::uint32_t>(overlap));
            }
        }
    } else {
        // Sample centres: source position (i + 0.5) * source / target - 0.5, clamped.
        axis.total = kBilinearOne;
        axis.full = kBilinearOne;
        const std::int64_t s = source, t = target, one = kBilinearOne;
        for (int i = 0; i < target; ++i) {
            std::int64_t pos = ((2 * i + 1) * s * one) / (2 * t) - one / 2;
            pos = std::max<std::int64_t>(pos, 0);
            std::int64_t j = pos / one, frac = pos % one;
            if (j >= s - 1) {
                j = s - 1;
                frac = 0;
            }
            Tap& tap = axis.taps[i];
            tap.first = static_cast<int>(j);
            tap.weightIndex = static_cast<int>(axis.weights.size());
            axis.weights.push_back(static_cast<std::uint32_t>(one - frac));
            tap.count = 1;
            if (frac > 0) {
                axis.weights.push_back(static_cast<std::uint32_t>(frac));
                tap.count = 2;
            }
        }
    }
    return axis;
}

// The inner loops run over fixed-length blocks with unaliased pointers, which the
// compiler vectorises even under its cheapest cost model.
constexpr std::size_t kBlock = 16;

template <typename T>
void addRow(std::uint32_t* __restrict sum, const T* __restrict values, std::size_t n)
{
    std::size_t i = 0;
    for (; i + kBlock <= n; i += kBlock)
        for (std::size_t j = 0; j < kBlock; ++j)
            sum[i + j] += values[i + j];
    for (; i < n; ++i)
        sum[i] += values[i];
}

void addWeightedRow(std::uint32_t* __restrict sum, const std::uint16_t* __restrict values, std::uint32_t weight,
                    std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        sum[i] += weight * values[i];
}

bool opaqueRow(const std::uint8_t* row, int width)
{
    std::size_t x = 0;
    const std::size_t count = static_cast<std::size_t>(width);
    for (; x + kBlock <= count; x += kBlock) {
        unsigned all = 255;
        for (std::size_t j = 0; j < kBlock; ++j)
            all &= row[(x + j) * 4 + 3];
        if (all != 255)
            return false;
    }
    for (; x < count; ++x)
        if (row[x * 4 + 3] != 255)
            return false;
    return true;
}

// Colour * alpha and alpha * 255: each at most 255 * 255.
void premultiplyRow(std::uint16_t* __restrict out, const std::uint8_t* __restrict row, std::size_t n)
{
    for (std::size_t i = 0; i < n; i += 4) {
        const unsigned a = row[i + 3];
        out[i + 0] = static_cast<std::uint16_t>(row[i + 0] * a);
        out[i + 1] = static_cast<std::uint16_t>(row[i + 1] * a);
        out[i + 2] = static_cast<std::uint16_t>(row[i + 2] * a);
        out[i + 3] = static_cast<std::uint16_t>(a * 255);
    }
}

}  // namespace

RgbaImage ScaleSmooth(const RgbaImage& image, int width, int height)
{
    RgbaImage out;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
        static_cast<std::int64_t>(width) * height > kMaxPixels)
        return out;
    if (image.width <= 0 || image.height <= 0 || image.width > kMaxSide || image.height > kMaxSide ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * image.height * 4)
        return out;

    const int sw = image.width;
    const std::size_t n = static_cast<std::size_t>(sw) * 4;
    const Axis xs = makeAxis(sw, width);
    const Axis ys = makeAxis(image.height, height);

    // Per output row, the weighted premultiplied column sums are
    //   column = full * (255 * opaque + plain) + weighted
    // where opaque sums the raw bytes of opaque full-weight rows, plain the premultiplied
    // values of other full-weight rows, and weighted the rest with their weights. The
    // weights of one output row add up to at most 2^14, so every sum stays below 2^32.
    std::vector<std::uint32_t> opaque, plain, weighted, column;
    // Growing reads each source row for several output rows: the last two premultiplied
    // rows and every row's opacity are kept.
    struct PremultipliedRow {
        int index = -1;
        std::vector<std::uint16_t> values;
    };
    PremultipliedRow cache[2];
    int nextSlot = 0;
    std::vector<signed char> rowIsOpaque;   // -1 not looked at yet
    try {
        opaque.resize(n);
        plain.resize(n);
        weighted.resize(n);
        column.resize(n);
        cache[0].values.resize(n);
        cache[1].values.resize(n);
        rowIsOpaque.assign(static_cast<std::size_t>(image.height), -1);
        out.pixels.resize(static_cast<std::size_t>(width) * height * 4);
    } catch (const std::bad_alloc&) {
        return RgbaImage{};
    }
    auto premultiplied = [&](int index, const std::uint8_t* src) -> const std::uint16_t* {
        for (const PremultipliedRow& row : cache)
            if (row.index == index)
                return row.values.data();
        PremultipliedRow& row = cache[nextSlot];
        nextSlot ^= 1;
        premultiplyRow(row.values.data(), src, n);
        row.index = index;
        return row.values.data();
    };
    auto isOpaque = [&](int index, const std::uint8_t* src) {
        signed char& known = rowIsOpaque[static_cast<std::size_t>(index)];
        if (known < 0)
            known = opaqueRow(src, sw) ? 1 : 0;
        return known == 1;
    };
    out.width = width;
    out.height = height;

    const std::uint64_t total = static_cast<std::uint64_t>(xs.total) * ys.total;
    const std::uint64_t alphaScale = total * 255;

    for (int oy = 0; oy < height; ++oy) {
        const Tap& ty = ys.taps[oy];
        bool anyOpaque = false, anyPlain = false, anyWeighted = false;
        for (int k = 0; k < ty.count; ++k) {
            const int index = ty.first + k;
            const std::uint8_t* src = image.pixels.data() + static_cast<std::size_t>(index) * n;
            const std::uint32_t w = ys.weights[ty.weightIndex + k];
            const bool isFull = w == ys.full;
            if (isFull && isOpaque(index, src)) {
                if (!anyOpaque)
                    std::fill(opaque.begin(), opaque.end(), 0u);
                anyOpaque = true;
                addRow(opaque.data(), src, n);
                continue;
            }
            const std::uint16_t* values = premultiplied(index, src);
            if (isFull) {
                if (!anyPlain)
                    std::fill(plain.begin(), plain.end(), 0u);
                anyPlain = true;
                addRow(plain.data(), values, n);
            } else {
                if (!anyWeighted)
                    std::fill(weighted.begin(), weighted.end(), 0u);
                anyWeighted = true;
                addWeightedRow(weighted.data(), values, w, n);
            }
        }
        const std::uint32_t full = ys.full;
        for (std::size_t i = 0; i < n; ++i)
            column[i] = full * ((anyOpaque ? 255 * opaque[i] : 0) + (anyPlain ? plain[i] : 0)) +
                        (anyWeighted ? weighted[i] : 0);

        std::uint8_t* dst = out.pixels.data() + static_cast<std::size_t>(oy) * width * 4;
        for (int ox = 0; ox < width; ++ox) {
            const Tap& tx = xs.taps[ox];
            std::uint64_t sum[4] = {0, 0, 0, 0};
            for (int k = 0; k < tx.count; ++k) {
                const std::uint64_t w = xs.weights[tx.weightIndex + k];
                const std::uint32_t* c = column.data() + static_cast<std::size_t>(tx.first + k) * 4;
                sum[0] += w * c[0];
                sum[1] += w * c[1];
                sum[2] += w * c[2];
                sum[3] += w * c[3];
            }
            std::uint8_t* d = dst + static_cast<std::size_t>(ox) * 4;
            d[3] = static_cast<std::uint8_t>((sum[3] + alphaScale / 2) / alphaScale);
            if (sum[3] == 0) {
                d[0] = d[1] = d[2] = 0;
            } else {
                for (int c = 0; c < 3; ++c)
                    d[c] = static_cast<std::uint8_t>(std::min<std::uint64_t>((sum[c] * 255 + sum[3] / 2) / sum[3], 255));
            }
        }
    }
    return out;
}

}  // namespace marquetor::imagecodec
