// Format detection by content and the common entry point; the example textures decode.

#include <filesystem>
#include <fstream>
#include <map>

#include "testimages.h"

namespace marquetor::imagecodec::testing {
namespace {

TEST(Detect, ByContentNotByName)
{
    const RgbaImage picture = patternImage(4, 3);
    const Bytes png = *imagewrite::encodePng(picture);
    const Bytes jpeg = *imagewrite::encodeJpeg(picture);
    const Bytes bmp = imagewrite::encodeBmp24(picture, false);
    const Bytes tga = imagewrite::encodeTga(picture, 24, true, false);
    EXPECT_EQ(DetectFormat(view(png)), Format::Png);
    EXPECT_EQ(DetectFormat(view(jpeg)), Format::Jpeg);
    EXPECT_EQ(DetectFormat(view(bmp)), Format::Bmp);
    EXPECT_EQ(DetectFormat(view(tga)), Format::Tga);

    EXPECT_TRUE(samePixels(DecodeImage(view(png)), picture));
    EXPECT_TRUE(samePixels(DecodeImage(view(bmp)), picture));
    EXPECT_TRUE(samePixels(DecodeImage(view(tga)), picture));
    const std::optional<RgbaImage> fromJpeg = DecodeImage(view(jpeg));
    ASSERT_TRUE(fromJpeg);
    EXPECT_EQ(fromJpeg->width, 4);

    // Each decoder refuses the others' files.
    EXPECT_FALSE(DecodePng(view(bmp)));
    EXPECT_FALSE(DecodeJpeg(view(png)));
    EXPECT_FALSE(DecodeBmp(view(tga)));
    EXPECT_FALSE(DecodeTga(view(png)));
    EXPECT_FALSE(DecodeTga(view(jpeg)));
    EXPECT_FALSE(DecodeTga(view(bmp)));
}

TEST(Detect, GarbageIsNoImage)
{
    const std::string texts[] = {"", "x", "This is not an image, just some notes about textures.\n",
                                 "BM but not really a bitmap header at all", "\x89PNG\r\n"};
    for (const std::string& text : texts) {
        const Bytes bytes(text.begin(), text.end());
        EXPECT_EQ(DetectFormat(view(bytes)), Format::Unknown) << text;
        EXPECT_FALSE(DecodeImage(view(bytes))) << text;
    }
    // Signatures with nothing behind them are recognised but do not decode.
    const Bytes pngSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    EXPECT_EQ(DetectFormat(view(pngSignature)), Format::Png);
    EXPECT_FALSE(DecodeImage(view(pngSignature)));
    const Bytes jpegSignature = {0xFF, 0xD8, 0xFF, 0xE0};
    EXPECT_EQ(DetectFormat(view(jpegSignature)), Format::Jpeg);
    EXPECT_FALSE(DecodeImage(view(jpegSignature)));
    // Eighteen zero bytes are no TGA header (type 0, no size).
    EXPECT_EQ(DetectFormat(view(Bytes(18, 0))), Format::Unknown);
    // A deterministic stream of noise never decodes into anything odd.
    std::uint32_t seed = 12345;
    for (int round = 0; round < 2000; ++round) {
        Bytes noise(static_cast<std::size_t>(round % 97));
        for (auto& b : noise) {
            seed = seed * 1664525u + 1013904223u;
            b = static_cast<std::uint8_t>(seed >> 24);
        }
        const std::optional<RgbaImage> image = DecodeImage(view(noise));
        if (image) {
            EXPECT_EQ(image->pixels.size(), static_cast<std::size_t>(image->width) * image->height * 4);
        }
    }
}

TEST(Detect, AJpegIsKnownByItsStartOfImageMarkerAlone)
{
    // Junk between the start-of-image marker and the next marker: the decoder passes over
    // it, so detection must not refuse the file.
    const Bytes jpeg = *imagewrite::encodeJpeg(gradientImage(16, 16));
    Bytes damaged = jpeg;
    const Bytes junk = {0x00, 0x12, 0x34};
    damaged.insert(damaged.begin() + 2, junk.begin(), junk.end());
    EXPECT_EQ(DetectFormat(view(damaged)), Format::Jpeg);
    EXPECT_TRUE(samePixels(DecodeImage(view(damaged)), *DecodeJpeg(view(jpeg))));
    EXPECT_EQ(DetectFormat(view(Bytes{0xFF, 0xD8})), Format::Jpeg);
    EXPECT_EQ(DetectFormat(view(Bytes{0xFF, 0xD9, 0xFF})), Format::Unknown);
}

Bytes readWholeFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(Detect, ExampleTexturesDecode)
{
    const std::filesystem::path folder =
        std::filesystem::path(MARQUETOR_SOURCE_DIR) / "examples/demo-game/Tools/Marquetor/TileSets/Textures";
    ASSERT_TRUE(std::filesystem::is_directory(folder));
    std::map<Format, int> formats;
    int subFolderImages = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file())
            continue;
        const Bytes bytes = readWholeFile(entry.path());
        const Format format = DetectFormat(view(bytes));
        if (entry.path().extension() == ".txt") {
            EXPECT_EQ(format, Format::Unknown) << entry.path();
            continue;
        }
        ++formats[format];
        EXPECT_NE(format, Format::Unknown) << entry.path();
        const std::optional<RgbaImage> image = DecodeImage(view(bytes));
        ASSERT_TRUE(image) << entry.path();
        EXPECT_GE(image->width, 32) << entry.path();
        EXPECT_GE(image->height, 32) << entry.path();
        if (entry.path().parent_path() != folder)
            ++subFolderImages;
        // A preview of it is the full 128 x 128.
        const RgbaImage preview = ScaleSmooth(*image, 128, 128);
        EXPECT_EQ(preview.width, 128);
        EXPECT_EQ(preview.pixels.size(), 128u * 128u * 4u);
    }
    EXPECT_GE(formats[Format::Png], 1);
    EXPECT_GE(formats[Format::Jpeg], 1);
    EXPECT_GE(formats[Format::Bmp], 2);
    EXPECT_GE(formats[Format::Tga], 2);
    EXPECT_GE(subFolderImages, 1);
}

}  // namespace
}  // namespace marquetor::imagecodec::testing
