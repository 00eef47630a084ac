// Temporary stand-in for the image decoders until the real library is part of the build.
#include <QImage>

#include <cstring>

#include "platform/imagecodec/imagecodec.h"

namespace marquetor::imagecodec {

namespace {
std::optional<RgbaImage> fromQt(std::span<const std::uint8_t> data) {
    QImage image;
    if (!image.loadFromData(data.data(), static_cast<int>(data.size()))) return std::nullopt;
    image = image.convertToFormat(QImage::Format_RGBA8888);
    RgbaImage out;
    out.width = image.width();
    out.height = image.height();
    out.pixels.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height) * 4);
    for (int y = 0; y < out.height; ++y) {
        std::memcpy(out.pixels.data() + static_cast<std::size_t>(y) * out.width * 4, image.constScanLine(y),
                    static_cast<std::size_t>(out.width) * 4);
    }
    return out;
}
}  // namespace

std::optional<RgbaImage> DecodeImage(std::span<const std::uint8_t> data, const DecodeOptions&) { return fromQt(data); }
std::optional<RgbaImage> DecodePng(std::span<const std::uint8_t> data) { return fromQt(data); }

RgbaImage ScaleSmooth(const RgbaImage& image, int width, int height) {
    QImage in(image.pixels.data(), image.width, image.height, image.width * 4, QImage::Format_RGBA8888);
    QImage scaled = in.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                        .convertToFormat(QImage::Format_RGBA8888);
    RgbaImage out;
    out.width = scaled.width();
    out.height = scaled.height();
    out.pixels.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height) * 4);
    for (int y = 0; y < out.height; ++y) {
        std::memcpy(out.pixels.data() + static_cast<std::size_t>(y) * out.width * 4, scaled.constScanLine(y),
                    static_cast<std::size_t>(out.width) * 4);
    }
    return out;
}

}  // namespace marquetor::imagecodec
