#pragma once
// In-memory images of the editor: decoded from files or memory, filled, scaled, shown in
// image gadgets.

#include <cstdint>
#include <filesystem>
#include <span>

#include "platform/imagecodec/imagecodec.h"

namespace marquetor::platform {

// Whether bytes hold a picture the previews can show (PNG, JPEG, BMP or TGA that decodes).
// Decodes at the smallest size the decoders allow; nothing is kept.
bool IsPicture(std::span<const std::uint8_t> data);

class Image {
public:
    Image() = default;
    Image(int width, int height) { create(width, height); }

    // A new opaque black picture of that size.
    void create(int width, int height);
    // Holds nothing afterwards.
    void reset() { m_pixels = {}; }
    bool empty() const { return m_pixels.width <= 0 || m_pixels.height <= 0; }
    int width() const { return m_pixels.width; }
    int height() const { return m_pixels.height; }
    const imagecodec::RgbaImage& pixels() const { return m_pixels; }

    // Fills the whole picture with a colour (red bits 0-7, green 8-15, blue 16-23), opaque.
    void fill(std::int32_t color);
    // Replace the content; on failure the image holds nothing and the result is false.
    bool decode(std::span<const std::uint8_t> data, int previewMinSide = 0);
    bool load(const std::filesystem::path& path, int previewMinSide = 0);
    bool loadPng(std::span<const std::uint8_t> data);
    // Smooth scaling ignoring the aspect ratio; an empty image stays empty.
    void scale(int width, int height);

private:
    imagecodec::RgbaImage m_pixels;
};

}  // namespace marquetor::platform
