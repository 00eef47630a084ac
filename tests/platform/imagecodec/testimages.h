#pragma once
// Small pictures and pixel checks shared by the decoder tests.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "imagewrite.h"
#include "platform/imagecodec/imagecodec.h"

namespace marquetor::imagecodec::testing {

using Bytes = std::vector<std::uint8_t>;
using Rgba = std::array<int, 4>;
inline constexpr Rgba kBlack{0, 0, 0, 255}, kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255},
    kWhite{255, 255, 255, 255};

inline Rgba pixelAt(const RgbaImage& image, int x, int y)
{
    const std::uint8_t* p = image.pixels.data() + (static_cast<std::size_t>(y) * image.width + x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

inline void setPixel(RgbaImage& image, int x, int y, Rgba c)
{
    std::uint8_t* p = image.pixels.data() + (static_cast<std::size_t>(y) * image.width + x) * 4;
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(c[i]);
}

inline RgbaImage blankImage(int width, int height, Rgba c = {0, 0, 0, 255})
{
    RgbaImage image;
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            setPixel(image, x, y, c);
    return image;
}

// Every pixel different from its neighbours, opaque unless withAlpha.
inline RgbaImage patternImage(int width, int height, bool withAlpha = false)
{
    RgbaImage image = blankImage(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            setPixel(image, x, y,
                     {(x * 37 + y * 11) & 255, (x * 5 + y * 71 + 13) & 255, (x * y * 3 + 101) & 255,
                      withAlpha ? (x * 19 + y * 29 + 7) & 255 : 255});
    return image;
}

// A smooth picture that JPEG keeps close.
inline RgbaImage gradientImage(int width, int height)
{
    RgbaImage image = blankImage(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            setPixel(image, x, y, {x * 255 / std::max(1, width - 1), y * 255 / std::max(1, height - 1), 128, 255});
    return image;
}

inline ::testing::AssertionResult samePixels(const std::optional<RgbaImage>& decoded, const RgbaImage& expected)
{
    if (!decoded)
        return ::testing::AssertionFailure() << "no image";
    if (decoded->width != expected.width || decoded->height != expected.height)
        return ::testing::AssertionFailure() << "size " << decoded->width << "x" << decoded->height << ", expected "
                                             << expected.width << "x" << expected.height;
    if (decoded->pixels.size() != expected.pixels.size())
        return ::testing::AssertionFailure() << "pixel buffer of " << decoded->pixels.size() << " bytes";
    for (int y = 0; y < expected.height; ++y)
        for (int x = 0; x < expected.width; ++x)
            if (pixelAt(*decoded, x, y) != pixelAt(expected, x, y)) {
                const Rgba a = pixelAt(*decoded, x, y), b = pixelAt(expected, x, y);
                return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") is " << a[0] << " " << a[1]
                                                     << " " << a[2] << " " << a[3] << ", expected " << b[0] << " "
                                                     << b[1] << " " << b[2] << " " << b[3];
            }
    return ::testing::AssertionSuccess();
}

// Largest difference of any channel of any pixel (images of equal size).
inline int maxDifference(const RgbaImage& a, const RgbaImage& b)
{
    int worst = 0;
    for (std::size_t i = 0; i < a.pixels.size() && i < b.pixels.size(); ++i)
        worst = std::max(worst, std::abs(int{a.pixels[i]} - int{b.pixels[i]}));
    return worst;
}

inline Bytes prefix(const Bytes& bytes, std::size_t length)
{
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(length, bytes.size())));
}

inline std::span<const std::uint8_t> view(const Bytes& bytes)
{
    return {bytes.data(), bytes.size()};
}

}  // namespace marquetor::imagecodec::testing
