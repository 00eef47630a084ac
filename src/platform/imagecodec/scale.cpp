// Smooth scaling, separable: rows first, then columns. Each axis has, for every output
// pixel, a run of source pixels with integer weights that add up to the same total:
// the overlap of the pixel footprints when shrinking (exact area averaging), two
// bilinear taps when growing. Colours are weighted by alpha.

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
};

Axis makeAxis(int source, int target)
{
    Axis axis;
    axis.taps.resize(target);
    if (source == target) {
        axis.total = 1;
        axis.weights.assign(target, 1);
        for (int i = 0; i < target; ++i)
            axis.taps[i] = {i, 1, i};
    } else if (source > target) {
        // Output pixel i covers [i * source, (i + 1) * source) in units where source pixel
        // j covers [j * target, (j + 1) * target).
        axis.total = static_cast<std::uint32_t>(source);
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
    const Axis xs = makeAxis(sw, width);
    const Axis ys = makeAxis(image.height, height);
    // Premultiplied channels: colour * alpha and alpha * 255, each at most 255 * 255.
    // A column sum of them weighted by at most 2^14 in all stays below 2^32.
    std::vector<std::uint16_t> premultiplied;
    std::vector<std::uint32_t> column;
    try {
        premultiplied.resize(static_cast<std::size_t>(sw) * 4);
        column.resize(static_cast<std::size_t>(sw) * 4);
        out.pixels.resize(static_cast<std::size_t>(width) * height * 4);
    } catch (const std::bad_alloc&) {
        return RgbaImage{};
    }
    out.width = width;
    out.height = height;

    const std::uint64_t total = static_cast<std::uint64_t>(xs.total) * ys.total;
    const std::uint64_t alphaScale = total * 255;
    std::uint32_t* acc = column.data();
    std::uint16_t* pre = premultiplied.data();
    const std::size_t n = static_cast<std::size_t>(sw) * 4;

    for (int oy = 0; oy < height; ++oy) {
        const Tap& ty = ys.taps[oy];
        std::fill(column.begin(), column.end(), 0u);
        for (int k = 0; k < ty.count; ++k) {
            const std::uint8_t* src = image.pixels.data() + static_cast<std::size_t>(ty.first + k) * n;
            const std::uint32_t w = ys.weights[ty.weightIndex + k];
            for (std::size_t i = 0; i < n; i += 4) {
                const unsigned a = src[i + 3];
                pre[i + 0] = static_cast<std::uint16_t>(src[i + 0] * a);
                pre[i + 1] = static_cast<std::uint16_t>(src[i + 1] * a);
                pre[i + 2] = static_cast<std::uint16_t>(src[i + 2] * a);
                pre[i + 3] = static_cast<std::uint16_t>(a * 255);
            }
            for (std::size_t i = 0; i < n; ++i)
                acc[i] += w * pre[i];
        }
        std::uint8_t* dst = out.pixels.data() + static_cast<std::size_t>(oy) * width * 4;
        for (int ox = 0; ox < width; ++ox) {
            const Tap& tx = xs.taps[ox];
            std::uint64_t sum[4] = {0, 0, 0, 0};
            for (int k = 0; k < tx.count; ++k) {
                const std::uint64_t w = xs.weights[tx.weightIndex + k];
                const std::uint32_t* a = acc + static_cast<std::size_t>(tx.first + k) * 4;
                sum[0] += w * a[0];
                sum[1] += w * a[1];
                sum[2] += w * a[2];
                sum[3] += w * a[3];
            }
            std::uint8_t* d = dst + ox * 4;
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
