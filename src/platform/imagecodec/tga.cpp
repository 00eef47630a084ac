// TGA: our own decoder. True-colour (types 2 and 10: 15, 16, 24, 32 bits), greyscale
// (types 3 and 11: 8 bits, 16 with alpha) and colour-mapped (types 1 and 9: 8-bit indexes
// into 15/16/24/32-bit entries), uncompressed or run-length encoded, with the origin bits
// honoured. The ID field and an unused colour map are skipped.

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "platform/imagecodec/codecutil.h"
#include "platform/imagecodec/imagecodec.h"
#include "platform/imagecodec/tga.h"

namespace marquetor::imagecodec {

namespace detail {

bool readTgaHeader(std::span<const std::uint8_t> data, TgaHeader& h)
{
    Reader r(data);
    if (data.size() < kTgaHeaderSize)
        return false;
    r.u8(h.idLength);
    r.u8(h.colorMapType);
    r.u8(h.imageType);
    r.u16(h.colorMapFirst);
    r.u16(h.colorMapLength);
    r.u8(h.colorMapEntryBits);
    std::uint16_t origin = 0;
    r.u16(origin);
    r.u16(origin);
    r.u16(h.width);
    r.u16(h.height);
    r.u8(h.pixelBits);
    r.u8(h.descriptor);

    auto entryBitsOk = [](int bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; };
    if (h.colorMapType > 1 || h.width == 0 || h.height == 0 || (h.descriptor & 0xC0) != 0)
        return false;
    if (h.colorMapType == 1 && !entryBitsOk(h.colorMapEntryBits))
        return false;
    switch (h.imageType) {
    case 1:
    case 9:
        return h.colorMapType == 1 && h.pixelBits == 8 && h.colorMapLength > 0;
    case 2:
    case 10:
        return entryBitsOk(h.pixelBits);
    case 3:
    case 11:
        return h.pixelBits == 8 || h.pixelBits == 16;
    default:
        return false;
    }
}

}  // namespace detail

namespace {

using detail::TgaHeader;

// Turns the bytes of one stored pixel (or colour-map entry) into RGBA.
class PixelFormat {
public:
    PixelFormat(int bits, bool grey, bool alphaBit) : m_bits(bits), m_grey(grey), m_alphaBit(alphaBit) {}
    int bytes() const { return (m_bits + 7) / 8; }
    bool hasAlpha() const { return m_bits == 32 || (m_grey && m_bits == 16) || (!m_grey && m_bits == 16 && m_alphaBit); }

    void convert(const std::uint8_t* s, std::uint8_t* d) const
    {
        if (m_grey) {
            d[0] = d[1] = d[2] = s[0];
            d[3] = m_bits == 16 ? s[1] : 255;
            return;
        }
        switch (m_bits) {
        case 15:
        case 16: {
            const unsigned v = s[0] | (s[1] << 8);
            d[0] = expand5((v >> 10) & 31);
            d[1] = expand5((v >> 5) & 31);
            d[2] = expand5(v & 31);
            d[3] = (m_alphaBit && m_bits == 16) ? ((v & 0x8000) ? 255 : 0) : 255;
            break;
        }
        case 24:
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            d[3] = 255;
            break;
        default:   // 32
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            d[3] = s[3];
            break;
        }
    }

private:
    static std::uint8_t expand5(unsigned v) { return static_cast<std::uint8_t>((v * 255 + 15) / 31); }

    int m_bits;
    bool m_grey;
    bool m_alphaBit;
};

// Where the next pixel of the file's stream goes, following the origin bits.
class Cursor {
public:
    Cursor(RgbaImage& image, bool topOrigin, bool rightOrigin)
        : m_image(image), m_top(topOrigin), m_right(rightOrigin),
          m_total(static_cast<std::int64_t>(image.width) * image.height)
    {
        m_rowStart = rowStart(0);
    }
    bool full() const { return m_done >= m_total; }
    std::int64_t left() const { return m_total - m_done; }
    // Only while !full().
    std::uint8_t* next()
    {
        const int x = m_right ? m_image.width - 1 - m_col : m_col;
        std::uint8_t* p = m_rowStart + static_cast<std::size_t>(x) * 4;
        ++m_done;
        if (++m_col == m_image.width) {
            m_col = 0;
            if (++m_row < m_image.height)
                m_rowStart = rowStart(m_row);
        }
        return p;
    }

private:
    std::uint8_t* rowStart(int row) const
    {
        const int y = m_top ? row : m_image.height - 1 - row;
        return m_image.pixels.data() + static_cast<std::size_t>(y) * m_image.width * 4;
    }

    RgbaImage& m_image;
    bool m_top;
    bool m_right;
    std::int64_t m_total;
    std::int64_t m_done = 0;
    int m_col = 0;
    int m_row = 0;
    std::uint8_t* m_rowStart = nullptr;
};

}  // namespace

std::optional<RgbaImage> DecodeTga(std::span<const std::uint8_t> data, const DecodeOptions& options)
{
    TgaHeader h;
    if (!detail::readTgaHeader(data, h))
        return std::nullopt;
    if (!detail::sizeAllowed(h.width, h.height, detail::pixelLimit(options)))
        return std::nullopt;

    const bool colorMapped = h.imageType == 1 || h.imageType == 9;
    const bool grey = h.imageType == 3 || h.imageType == 11;
    const bool rle = h.imageType >= 9;
    const bool alphaBit = (h.descriptor & 15) != 0;

    detail::Reader r(data);
    r.seek(detail::kTgaHeaderSize);
    if (!r.skip(h.idLength))
        return std::nullopt;

    // The colour map: read for colour-mapped images, skipped otherwise.
    const PixelFormat entryFormat(h.colorMapEntryBits, false, alphaBit);
    std::vector<std::array<std::uint8_t, 4>> palette;
    if (h.colorMapType == 1) {
        const std::uint64_t mapBytes = static_cast<std::uint64_t>(h.colorMapLength) * entryFormat.bytes();
        if (mapBytes > r.remaining())
            return std::nullopt;
        if (colorMapped) {
            palette.resize(h.colorMapLength);
            for (std::size_t i = 0; i < palette.size(); ++i)
                entryFormat.convert(r.here() + i * entryFormat.bytes(), palette[i].data());
        }
        r.skip(mapBytes);
    }
    if (r.atEnd())
        return std::nullopt;   // no pixel data at all

    std::optional<RgbaImage> image = detail::makeBlackImage(h.width, h.height);
    if (!image)
        return std::nullopt;

    const PixelFormat pixelFormat(h.pixelBits, grey, alphaBit);
    const int pixelBytes = pixelFormat.bytes();
    bool alphaUsed = colorMapped ? entryFormat.hasAlpha() : pixelFormat.hasAlpha();
    std::uint8_t alphaOr = 0;
    std::uint8_t rgba[4] = {0, 0, 0, 255};
    auto convert = [&](const std::uint8_t* s) {
        if (colorMapped) {
            const int index = static_cast<int>(s[0]) - h.colorMapFirst;
            if (index >= 0 && static_cast<std::size_t>(index) < palette.size())
                std::memcpy(rgba, palette[index].data(), 4);
            else
                std::memcpy(rgba, "\0\0\0\xff", 4);
        } else {
            pixelFormat.convert(s, rgba);
        }
        alphaOr |= rgba[3];
    };

    Cursor cursor(*image, (h.descriptor & 0x20) != 0, (h.descriptor & 0x10) != 0);
    if (!rle) {
        std::int64_t count = std::min<std::int64_t>(cursor.left(), static_cast<std::int64_t>(r.remaining() / pixelBytes));
        const std::uint8_t* s = r.here();
        for (; count > 0; --count, s += pixelBytes) {
            convert(s);
            std::memcpy(cursor.next(), rgba, 4);
        }
    } else {
        // Packets: a header byte, then one pixel repeated (high bit set) or that many raw
        // pixels; a packet may run on into the next row and is cut at the last pixel.
        while (!cursor.full()) {
            std::uint8_t packet = 0;
            if (!r.u8(packet))
                break;
            const int count = (packet & 0x7F) + 1;
            if (packet & 0x80) {
                if (r.remaining() < static_cast<std::size_t>(pixelBytes))
                    break;
                convert(r.here());
                r.skip(pixelBytes);
                for (int i = 0; i < count && !cursor.full(); ++i)
                    std::memcpy(cursor.next(), rgba, 4);
            } else {
                int i = 0;
                for (; i < count && !cursor.full() && r.remaining() >= static_cast<std::size_t>(pixelBytes); ++i) {
                    convert(r.here());
                    r.skip(pixelBytes);
                    std::memcpy(cursor.next(), rgba, 4);
                }
                if (i < count)
                    break;   // the file ended inside the packet, or the picture is full
            }
        }
    }
    if (alphaUsed && alphaOr == 0)
        detail::makeOpaque(*image);
    return image;
}

std::optional<RgbaImage> DecodeTga(std::span<const std::uint8_t> data)
{
    return DecodeTga(data, DecodeOptions{});
}

}  // namespace marquetor::imagecodec
