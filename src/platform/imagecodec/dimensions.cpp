// A picture's size from its header alone, for messages about files the decoders refuse.

#include "platform/imagecodec/codecutil.h"
#include "platform/imagecodec/imagecodec.h"
#include "platform/imagecodec/tga.h"

namespace marquetor::imagecodec {

namespace {

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// The first start-of-frame marker's size; markers are walked by their lengths, so the loop
// ends within the data.
std::optional<Dimensions> jpegDimensions(std::span<const std::uint8_t> data) {
    std::size_t pos = 2;
    while (pos + 4 <= data.size()) {
        if (data[pos] != 0xFF) return std::nullopt;
        const std::uint8_t marker = data[pos + 1];
        if (marker == 0xFF) {   // fill byte
            ++pos;
            continue;
        }
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            pos += 2;
            continue;
        }
        const std::size_t length = std::size_t{data[pos + 2]} << 8 | data[pos + 3];
        const bool startOfFrame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (startOfFrame) {
            if (pos + 9 > data.size()) return std::nullopt;
            Dimensions d;
            d.height = std::int64_t{data[pos + 5]} << 8 | data[pos + 6];
            d.width = std::int64_t{data[pos + 7]} << 8 | data[pos + 8];
            return d;
        }
        if (length < 2) return std::nullopt;
        pos += 2 + length;
    }
    return std::nullopt;
}

}  // namespace

std::optional<Dimensions> ReadDimensions(std::span<const std::uint8_t> data) {
    switch (DetectFormat(data)) {
    case Format::Png:
        if (data.size() < 24) return std::nullopt;
        return Dimensions{bigEndian32(data.data() + 16), bigEndian32(data.data() + 20)};
    case Format::Jpeg:
        return jpegDimensions(data);
    case Format::Bmp: {
        detail::Reader r(data);
        std::uint32_t headerSize = 0;
        r.seek(14);
        r.u32(headerSize);
        if (headerSize == 12) {
            std::uint16_t w = 0, h = 0;
            if (!r.u16(w) || !r.u16(h)) return std::nullopt;
            return Dimensions{w, h};
        }
        std::int32_t w = 0, h = 0;
        if (!r.i32(w) || !r.i32(h)) return std::nullopt;
        const std::int64_t height = h;
        return Dimensions{w, height < 0 ? -height : height};
    }
    case Format::Tga: {
        detail::TgaHeader h;
        if (!detail::readTgaHeader(data, h)) return std::nullopt;
        return Dimensions{h.width, h.height};
    }
    case Format::Unknown:
        break;
    }
    return std::nullopt;
}

bool DimensionsAllowed(const Dimensions& size, std::int64_t maxPixels) {
    DecodeOptions options;
    options.maxPixels = maxPixels;
    return detail::sizeAllowed(size.width, size.height, detail::pixelLimit(options));
}

}  // namespace marquetor::imagecodec
