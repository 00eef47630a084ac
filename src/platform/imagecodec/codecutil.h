#pragma once
// Helpers shared by the decoders: size checks, allocation without exceptions, and
// little-endian reads that never leave the buffer.

#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <span>

#include "platform/imagecodec/imagecodec.h"

namespace marquetor::imagecodec::detail {

inline std::int64_t pixelLimit(const DecodeOptions& options)
{
    if (options.maxPixels <= 0 || options.maxPixels > kMaxPixels)
        return kMaxPixels;
    return options.maxPixels;
}

// Width and height as the file gives them (any range) against the limits.
inline bool sizeAllowed(std::int64_t width, std::int64_t height, std::int64_t maxPixels)
{
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
        return false;
    return width * height <= maxPixels;   // both <= 2^14, no overflow
}

// A picture of an allowed size with every byte zero (for decoders that paint every
// pixel), or nothing when memory runs out.
inline std::optional<RgbaImage> makeImage(int width, int height)
{
    RgbaImage image;
    image.width = width;
    image.height = height;
    try {
        image.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    return image;
}

// An opaque black picture of an allowed size, or nothing when memory runs out.
inline std::optional<RgbaImage> makeBlackImage(int width, int height)
{
    RgbaImage image;
    image.width = width;
    image.height = height;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    try {
        image.pixels.resize(count * 4);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    std::uint8_t* p = image.pixels.data();
    for (std::size_t i = 0; i < count; ++i)
        p[i * 4 + 3] = 255;
    return image;
}

// A cursor over the file's bytes; reads past the end give false and leave the value alone.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> data) : m_data(data) {}

    std::size_t size() const { return m_data.size(); }
    std::size_t position() const { return m_pos; }
    std::size_t remaining() const { return m_data.size() - m_pos; }
    bool atEnd() const { return m_pos >= m_data.size(); }
    const std::uint8_t* here() const { return m_data.data() + m_pos; }

    bool seek(std::size_t position)
    {
        if (position > m_data.size())
            return false;
        m_pos = position;
        return true;
    }
    bool skip(std::uint64_t count)
    {
        if (count > remaining())
            return false;
        m_pos += static_cast<std::size_t>(count);
        return true;
    }
    bool u8(std::uint8_t& value)
    {
        if (remaining() < 1)
            return false;
        value = m_data[m_pos++];
        return true;
    }
    bool u16(std::uint16_t& value)
    {
        if (remaining() < 2)
            return false;
        value = static_cast<std::uint16_t>(m_data[m_pos] | (m_data[m_pos + 1] << 8));
        m_pos += 2;
        return true;
    }
    bool u32(std::uint32_t& value)
    {
        if (remaining() < 4)
            return false;
        value = static_cast<std::uint32_t>(m_data[m_pos]) | (static_cast<std::uint32_t>(m_data[m_pos + 1]) << 8) |
                (static_cast<std::uint32_t>(m_data[m_pos + 2]) << 16) |
                (static_cast<std::uint32_t>(m_data[m_pos + 3]) << 24);
        m_pos += 4;
        return true;
    }
    bool i32(std::int32_t& value)
    {
        std::uint32_t raw = 0;
        if (!u32(raw))
            return false;
        value = static_cast<std::int32_t>(raw);   // two's complement, well defined in C++20
        return true;
    }

private:
    std::span<const std::uint8_t> m_data;
    std::size_t m_pos = 0;
};

// Every pixel opaque. Used when a file's alpha channel is zero in every pixel it paints:
// such files come from programs that do not fill alpha, and showing them fully
// transparent would hide the picture.
inline void makeOpaque(RgbaImage& image)
{
    std::uint8_t* p = image.pixels.data();
    const std::size_t count = image.pixels.size() / 4;
    for (std::size_t i = 0; i < count; ++i)
        p[i * 4 + 3] = 255;
}

}  // namespace marquetor::imagecodec::detail
