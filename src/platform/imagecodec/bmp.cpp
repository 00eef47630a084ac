// BMP: our own decoder. 1, 2, 4, 8, 16, 24 and 32 bits per pixel; BI_RGB, BI_BITFIELDS
// (and the alpha variant), RLE8 and RLE4; bottom-up and top-down rows; the info headers of
// 12, 40, 52, 56, 108 and 124 bytes, and the OS/2 2.x header (64 bytes, or any shorter
// form down to 16) with its RLE24. A BMP that wraps a JPEG or PNG file (BI_JPEG, BI_PNG)
// is decoded by those decoders. Not decoded: OS/2's Huffman 1D (fax) coding.

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "platform/imagecodec/bmp.h"
#include "platform/imagecodec/codecutil.h"
#include "platform/imagecodec/imagecodec.h"

namespace marquetor::imagecodec {

namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiJpeg = 4;
constexpr std::uint32_t kBiPng = 5;
constexpr std::uint32_t kBiAlphaBitfields = 6;
// OS/2 2.x gives 3 and 4 other meanings; they are kept apart under numbers of their own.
constexpr std::uint32_t kOs2Huffman1D = 0x100;
constexpr std::uint32_t kOs2Rle24 = 0x101;
constexpr std::size_t kFileHeaderSize = 14;

bool windowsHeaderSize(std::uint32_t size)
{
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

}  // namespace

namespace detail {

bool knownBmpHeaderSize(std::uint32_t size)
{
    return size == 12 || windowsHeaderSize(size) || (size >= 16 && size <= 64);
}

}  // namespace detail

namespace {

// The OS/2 2.x header: 64 bytes, of which a file may keep any first part from 16 bytes on
// (the fields left out are zero).
bool os2HeaderSize(std::uint32_t size)
{
    return !windowsHeaderSize(size) && size >= 16 && size <= 64;
}

// One colour channel given by a bit mask, scaled to 0..255. Masks need not be contiguous:
// the bits under the mask, shifted down, are read as a number up to the mask's own value.
class Channel {
public:
    explicit Channel(std::uint32_t mask) : m_mask(mask)
    {
        if (mask == 0)
            return;
        m_shift = std::countr_zero(mask);
        m_max = mask >> m_shift;
        if (m_max <= 0xFFFF) {
            m_table.resize(m_max + 1);
            for (std::uint32_t v = 0; v <= m_max; ++v)
                m_table[v] = scale(v);
        }
    }
    bool present() const { return m_mask != 0; }
    std::uint8_t operator()(std::uint32_t pixel) const
    {
        if (m_mask == 0)
            return 0;
        const std::uint32_t v = (pixel & m_mask) >> m_shift;
        return m_table.empty() ? scale(v) : m_table[v];
    }

private:
    std::uint8_t scale(std::uint32_t v) const
    {
        return static_cast<std::uint8_t>((static_cast<std::uint64_t>(v) * 255 + m_max / 2) / m_max);
    }

    std::uint32_t m_mask = 0;
    int m_shift = 0;
    std::uint32_t m_max = 0;
    std::vector<std::uint8_t> m_table;
};

struct BmpHeader {
    std::uint32_t pixelOffset = 0;
    std::uint32_t headerSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;   // rows, always positive here
    bool topDown = false;
    int bitsPerPixel = 0;
    std::uint32_t compression = kBiRgb;
    std::uint32_t colorsUsed = 0;
    std::uint32_t imageSize = 0;             // bytes of pixel data, 0 when not given
    std::uint32_t masks[4] = {0, 0, 0, 0};   // red, green, blue, alpha
    bool masksGiven = false;
    std::size_t paletteStart = 0;
};

bool readHeader(std::span<const std::uint8_t> data, BmpHeader& h)
{
    detail::Reader r(data);
    std::uint8_t b = 0;
    std::uint8_t m = 0;
    if (!r.u8(b) || !r.u8(m) || b != 'B' || m != 'M')
        return false;
    if (!r.seek(10) || !r.u32(h.pixelOffset) || !r.u32(h.headerSize) || !detail::knownBmpHeaderSize(h.headerSize))
        return false;
    const std::size_t headerEnd = kFileHeaderSize + h.headerSize;
    if (data.size() < headerEnd)
        return false;
    if (h.headerSize == 12) {
        std::uint16_t w = 0, ht = 0, planes = 0, bpp = 0;
        r.u16(w);
        r.u16(ht);
        r.u16(planes);
        r.u16(bpp);
        h.width = w;
        h.height = ht;
        h.bitsPerPixel = bpp;
    } else if (os2HeaderSize(h.headerSize)) {
        // The fields of the Windows header's first 40 bytes, as far as the header goes;
        // the size is unsigned and the rows always run bottom-up.
        std::uint8_t fields[40] = {};
        std::memcpy(fields, data.data() + kFileHeaderSize, std::min<std::size_t>(h.headerSize, sizeof fields));
        detail::Reader f(std::span<const std::uint8_t>(fields, sizeof fields));
        std::uint32_t w = 0, ht = 0, compression = 0;
        std::uint16_t planes = 0, bpp = 0;
        f.seek(4);
        f.u32(w);
        f.u32(ht);
        f.u16(planes);
        f.u16(bpp);
        f.u32(compression);
        f.seek(32);
        f.u32(h.colorsUsed);
        h.width = w;
        h.height = ht;
        h.bitsPerPixel = bpp;
        h.compression = compression == 3 ? kOs2Huffman1D : compression == 4 ? kOs2Rle24 : compression;
    } else {
        std::int32_t w = 0, ht = 0, ppm = 0;
        std::uint16_t planes = 0, bpp = 0;
        std::uint32_t important = 0;
        r.i32(w);
        r.i32(ht);
        r.u16(planes);
        r.u16(bpp);
        r.u32(h.compression);
        r.u32(h.imageSize);
        r.i32(ppm);
        r.i32(ppm);
        r.u32(h.colorsUsed);
        r.u32(important);
        h.width = w;
        h.height = ht;   // in 64 bits: negating INT_MIN below is harmless
        if (h.height < 0) {
            h.topDown = true;
            h.height = -h.height;
        }
        h.bitsPerPixel = bpp;
        if (h.headerSize >= 52) {
            r.u32(h.masks[0]);
            r.u32(h.masks[1]);
            r.u32(h.masks[2]);
            if (h.headerSize >= 56)
                r.u32(h.masks[3]);
            h.masksGiven = true;
        }
    }
    h.paletteStart = headerEnd;
    if (h.headerSize == 40 && (h.compression == kBiBitfields || h.compression == kBiAlphaBitfields)) {
        // The masks follow the short header.
        r.seek(headerEnd);
        const int count = h.compression == kBiAlphaBitfields ? 4 : 3;
        for (int i = 0; i < count; ++i)
            if (!r.u32(h.masks[i]))
                return false;
        h.paletteStart = r.position();
        h.masksGiven = true;
    }
    return true;
}

bool validCombination(const BmpHeader& h)
{
    switch (h.compression) {
    case kBiRgb:
        return h.bitsPerPixel == 1 || h.bitsPerPixel == 2 || h.bitsPerPixel == 4 || h.bitsPerPixel == 8 ||
               h.bitsPerPixel == 16 || h.bitsPerPixel == 24 || h.bitsPerPixel == 32;
    case kBiRle8:
        return h.bitsPerPixel == 8 && !h.topDown && h.headerSize != 12;
    case kBiRle4:
        return h.bitsPerPixel == 4 && !h.topDown && h.headerSize != 12;
    case kOs2Rle24:
        return h.bitsPerPixel == 24;
    case kBiBitfields:
    case kBiAlphaBitfields:
        return (h.bitsPerPixel == 16 || h.bitsPerPixel == 32) && windowsHeaderSize(h.headerSize);
    case kBiJpeg:
    case kBiPng:
        return windowsHeaderSize(h.headerSize);   // the bit depth is the wrapped file's business
    default:
        return false;
    }
}

using Palette = std::vector<std::array<std::uint8_t, 4>>;

// The entries the file holds, no more than the bit depth can address; an index beyond the
// palette paints black.
Palette readPalette(std::span<const std::uint8_t> data, const BmpHeader& h)
{
    Palette palette;
    if (h.bitsPerPixel > 8)
        return palette;
    const std::size_t entrySize = h.headerSize == 12 ? 3 : 4;
    const std::uint32_t addressable = 1u << h.bitsPerPixel;
    std::uint32_t count = addressable;
    if (h.headerSize != 12 && h.colorsUsed != 0)
        count = std::min(h.colorsUsed, addressable);
    const std::size_t available = h.paletteStart < data.size() ? (data.size() - h.paletteStart) / entrySize : 0;
    count = static_cast<std::uint32_t>(std::min<std::size_t>(count, available));
    palette.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* p = data.data() + h.paletteStart + i * entrySize;
        palette[i] = {p[2], p[1], p[0], 255};
    }
    return palette;
}

inline void putIndex(std::uint8_t* dst, const Palette& palette, unsigned index)
{
    if (index < palette.size())
        std::memcpy(dst, palette[index].data(), 4);
    else
        std::memcpy(dst, "\0\0\0\xff", 4);
}

// Uncompressed rows. A row the file holds only in part paints what is there.
void decodeRows(std::span<const std::uint8_t> data, const BmpHeader& h, const Palette& palette, RgbaImage& image,
                bool& alphaUsed, bool& alphaSeen)
{
    const int width = image.width;
    const int height = image.height;
    const int bpp = h.bitsPerPixel;
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bpp + 31) / 32 * 4;

    std::uint32_t masks[4] = {0, 0, 0, 0};
    if (bpp == 16 || bpp == 32) {
        if (h.compression == kBiBitfields || h.compression == kBiAlphaBitfields) {
            std::copy(std::begin(h.masks), std::end(h.masks), masks);
            if (h.compression == kBiBitfields && h.headerSize == 40)
                masks[3] = 0;
        } else if (bpp == 16) {
            masks[0] = 0x7C00;
            masks[1] = 0x03E0;
            masks[2] = 0x001F;
        } else {
            masks[0] = 0x00FF0000;
            masks[1] = 0x0000FF00;
            masks[2] = 0x000000FF;
            // Plain 32-bit rows are opaque unless a later header gives an alpha mask.
            if (h.masksGiven && h.headerSize >= 56)
                masks[3] = h.masks[3];
        }
        if (bpp == 16)
            for (auto& mask : masks)
                mask &= 0xFFFF;
    }
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);
    alphaUsed = alpha.present();
    std::uint8_t alphaOr = 0;

    for (int row = 0; row < height; ++row) {
        const std::uint64_t offset = h.pixelOffset + static_cast<std::uint64_t>(row) * stride;
        if (offset >= data.size())
            break;
        const std::uint64_t available = std::min<std::uint64_t>(stride, data.size() - offset);
        const std::uint8_t* src = data.data() + offset;
        const int destY = h.topDown ? row : height - 1 - row;
        std::uint8_t* dst = image.pixels.data() + static_cast<std::size_t>(destY) * width * 4;
        // Whole pixels present in this row.
        const int count = static_cast<int>(std::min<std::uint64_t>(width, available * 8 / bpp));
        switch (bpp) {
        case 1:
        case 2:
        case 4:
        case 8: {
            const unsigned perByte = 8 / bpp;
            const unsigned maskBits = (1u << bpp) - 1;
            for (int x = 0; x < count; ++x) {
                const unsigned byte = src[x / perByte];
                const unsigned shift = 8 - bpp * (x % perByte + 1);
                putIndex(dst + x * 4, palette, (byte >> shift) & maskBits);
            }
            break;
        }
        case 24:
            for (int x = 0; x < count; ++x) {
                dst[x * 4 + 0] = src[x * 3 + 2];
                dst[x * 4 + 1] = src[x * 3 + 1];
                dst[x * 4 + 2] = src[x * 3 + 0];
            }
            break;
        case 16:
            for (int x = 0; x < count; ++x) {
                const std::uint32_t v = src[x * 2] | (src[x * 2 + 1] << 8);
                dst[x * 4 + 0] = red(v);
                dst[x * 4 + 1] = green(v);
                dst[x * 4 + 2] = blue(v);
                if (alphaUsed) {
                    dst[x * 4 + 3] = alpha(v);
                    alphaOr |= dst[x * 4 + 3];
                }
            }
            break;
        case 32:
            for (int x = 0; x < count; ++x) {
                const std::uint8_t* s = src + x * 4;
                const std::uint32_t v = static_cast<std::uint32_t>(s[0]) | (static_cast<std::uint32_t>(s[1]) << 8) |
                                        (static_cast<std::uint32_t>(s[2]) << 16) |
                                        (static_cast<std::uint32_t>(s[3]) << 24);
                dst[x * 4 + 0] = red(v);
                dst[x * 4 + 1] = green(v);
                dst[x * 4 + 2] = blue(v);
                if (alphaUsed) {
                    dst[x * 4 + 3] = alpha(v);
                    alphaOr |= dst[x * 4 + 3];
                }
            }
            break;
        default:
            break;
        }
    }
    alphaSeen = alphaOr != 0;
}

// RLE8, RLE4 and RLE24: runs and absolute stretches of palette indexes (or, in RLE24, of
// blue-green-red pixels), with end-of-line, end-of-bitmap and delta escapes. Rows run
// bottom-up. Anything beyond the right edge or past the last row is dropped; every step
// consumes input, so the loop ends.
void decodeRle(std::span<const std::uint8_t> data, const BmpHeader& h, const Palette& palette, RgbaImage& image)
{
    const std::int64_t width = image.width;
    const std::int64_t height = image.height;
    const bool four = h.compression == kBiRle4;
    const bool rgb = h.compression == kOs2Rle24;
    const unsigned pixelBytes = rgb ? 3 : 1;
    detail::Reader r(data);
    if (!r.seek(h.pixelOffset))
        return;
    std::int64_t x = 0;
    std::int64_t y = 0;   // counted from the bottom row
    auto target = [&]() -> std::uint8_t* {
        return x < width && y < height ? image.pixels.data() + ((height - 1 - y) * width + x) * 4 : nullptr;
    };
    // One pixel from its stored bytes: an index (the nibble `odd` picks in RLE4) or B G R.
    auto put = [&](const std::uint8_t* value, bool odd) {
        if (std::uint8_t* dst = target()) {
            if (rgb) {
                dst[0] = value[2];
                dst[1] = value[1];
                dst[2] = value[0];
                dst[3] = 255;
            } else {
                putIndex(dst, palette, four ? (odd ? (value[0] & 15u) : (value[0] >> 4)) : value[0]);
            }
        }
        ++x;
    };
    while (y < height) {
        std::uint8_t count = 0;
        if (!r.u8(count))
            return;
        if (count > 0) {
            if (r.remaining() < pixelBytes)
                return;
            const std::uint8_t* value = r.here();
            r.skip(pixelBytes);
            for (unsigned i = 0; i < count && x < width; ++i)
                put(value, i & 1);
            x = std::min(x, width);
            continue;
        }
        std::uint8_t escape = 0;
        if (!r.u8(escape))
            return;
        if (escape == 0) {   // end of line
            x = 0;
            ++y;
        } else if (escape == 1) {   // end of bitmap
            return;
        } else if (escape == 2) {   // delta
            std::uint8_t dx = 0, dy = 0;
            if (!r.u8(dx) || !r.u8(dy))
                return;
            x = std::min(x + dx, width);
            y += dy;
        } else {   // absolute run of `escape` pixels, padded to a 16-bit boundary
            const unsigned n = escape;
            const unsigned bytes = four ? (n + 1) / 2 : n * pixelBytes;
            for (unsigned i = 0; i < n; ++i) {
                const std::size_t at = four ? i / 2 : std::size_t{i} * pixelBytes;
                if (at + pixelBytes > r.remaining())
                    return;
                put(r.here() + at, i & 1);
            }
            x = std::min(x, width);
            if (!r.skip(bytes + (bytes & 1)))
                return;
        }
    }
}

// A JPEG or PNG file carried whole as the pixel data: its own decoder gives the picture.
std::optional<RgbaImage> decodeWrapped(std::span<const std::uint8_t> data, const BmpHeader& h,
                                       std::uint32_t storedSize, const DecodeOptions& options)
{
    const std::size_t offset = h.pixelOffset != 0 ? h.pixelOffset : h.paletteStart;
    if (offset < kFileHeaderSize + h.headerSize || offset >= data.size())
        return std::nullopt;
    std::span<const std::uint8_t> inner = data.subspan(offset);
    if (storedSize != 0 && storedSize < inner.size())
        inner = inner.first(storedSize);
    return h.compression == kBiJpeg ? DecodeJpeg(inner, options) : DecodePng(inner, options);
}

}  // namespace

std::optional<RgbaImage> DecodeBmp(std::span<const std::uint8_t> data, const DecodeOptions& options)
{
    BmpHeader h;
    if (!readHeader(data, h) || !validCombination(h))
        return std::nullopt;
    if (h.compression == kBiJpeg || h.compression == kBiPng)
        return decodeWrapped(data, h, h.imageSize, options);
    if (!detail::sizeAllowed(h.width, h.height, detail::pixelLimit(options)))
        return std::nullopt;
    const Palette palette = readPalette(data, h);
    if (h.pixelOffset == 0)
        h.pixelOffset = static_cast<std::uint32_t>(h.paletteStart + palette.size() * (h.headerSize == 12 ? 3 : 4));
    if (h.pixelOffset < kFileHeaderSize + h.headerSize || h.pixelOffset >= data.size())
        return std::nullopt;

    std::optional<RgbaImage> image = detail::makeBlackImage(static_cast<int>(h.width), static_cast<int>(h.height));
    if (!image)
        return std::nullopt;
    if (h.compression == kBiRle8 || h.compression == kBiRle4 || h.compression == kOs2Rle24) {
        decodeRle(data, h, palette, *image);
    } else {
        bool alphaUsed = false, alphaSeen = false;
        decodeRows(data, h, palette, *image, alphaUsed, alphaSeen);
        if (alphaUsed && !alphaSeen)
            detail::makeOpaque(*image);
    }
    return image;
}

std::optional<RgbaImage> DecodeBmp(std::span<const std::uint8_t> data)
{
    return DecodeBmp(data, DecodeOptions{});
}

}  // namespace marquetor::imagecodec
