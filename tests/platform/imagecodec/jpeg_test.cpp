// JPEG decoder: colour spaces, progressive files, DCT scaling for previews, the scan cap
// and broken files.

#include "testimages.h"

namespace marquetor::imagecodec::testing {
namespace {

Bytes encode(const RgbaImage& image, imagewrite::JpegSettings settings = {})
{
    std::optional<Bytes> bytes = imagewrite::encodeJpeg(image, settings);
    EXPECT_TRUE(bytes);
    return bytes ? *bytes : Bytes{};
}

// Offsets of the markers (the FF byte) of a file, stopping at EOI; entropy-coded data is
// skipped.
std::vector<std::size_t> markerOffsets(const Bytes& file)
{
    std::vector<std::size_t> offsets;
    std::size_t i = 2;
    while (i + 2 <= file.size() && file[i] == 0xFF) {
        offsets.push_back(i);
        const std::uint8_t marker = file[i + 1];
        if (marker == 0xD9 || i + 4 > file.size())
            break;
        const std::size_t length = (file[i + 2] << 8) | file[i + 3];
        i += 2 + length;
        if (marker == 0xDA) {   // scan data runs to the next marker that is not a restart
            while (i + 1 < file.size() &&
                   !(file[i] == 0xFF && file[i + 1] != 0 && !(file[i + 1] >= 0xD0 && file[i + 1] <= 0xD7)))
                ++i;
        }
    }
    return offsets;
}

// The file with its last scan repeated `extra` more times.
Bytes withRepeatedLastScan(const Bytes& file, int extra)
{
    const std::vector<std::size_t> markers = markerOffsets(file);
    std::size_t lastScan = 0, end = 0;
    for (std::size_t at : markers) {
        if (file[at + 1] == 0xDA)
            lastScan = at;
        if (file[at + 1] == 0xD9)
            end = at;
    }
    EXPECT_TRUE(lastScan > 0 && end > lastScan);
    Bytes out(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(end));
    for (int i = 0; i < extra; ++i)
        out.insert(out.end(), file.begin() + static_cast<std::ptrdiff_t>(lastScan),
                   file.begin() + static_cast<std::ptrdiff_t>(end));
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

Bytes withFrameSize(Bytes file, std::uint16_t width, std::uint16_t height)
{
    for (std::size_t at : markerOffsets(file))
        if (file[at + 1] == 0xC0 || file[at + 1] == 0xC2) {
            file[at + 5] = static_cast<std::uint8_t>(height >> 8);
            file[at + 6] = static_cast<std::uint8_t>(height);
            file[at + 7] = static_cast<std::uint8_t>(width >> 8);
            file[at + 8] = static_cast<std::uint8_t>(width);
        }
    return file;
}

TEST(Jpeg, ColourGreyAndProgressive)
{
    const RgbaImage picture = gradientImage(64, 48);
    std::optional<RgbaImage> image = DecodeJpeg(view(encode(picture, {95, false, false})));
    ASSERT_TRUE(image);
    ASSERT_EQ(image->width, 64);
    ASSERT_EQ(image->height, 48);
    EXPECT_LE(maxDifference(*image, picture), 8);

    image = DecodeJpeg(view(encode(picture, {95, true, false})));
    ASSERT_TRUE(image);
    ASSERT_EQ(image->width, 64);
    EXPECT_LE(maxDifference(*image, picture), 8);

    image = DecodeJpeg(view(encode(picture, {95, false, true})));
    ASSERT_TRUE(image);
    for (int y = 0; y < 48; y += 5)
        for (int x = 0; x < 64; x += 7) {
            const Rgba c = pixelAt(*image, x, y), p = pixelAt(picture, x, y);
            EXPECT_EQ(c[0], c[1]);
            EXPECT_EQ(c[1], c[2]);
            EXPECT_EQ(c[3], 255);
            EXPECT_NEAR(c[0], (p[0] * 299 + p[1] * 587 + p[2] * 114) / 1000, 4);
        }
}

TEST(Jpeg, AdobeCmyk)
{
    // Adobe stores inks inverted: pure red is C=0 M=Y=255 K=0, stored as 255 0 0 255.
    Bytes inks;
    for (int i = 0; i < 16 * 16; ++i)
        inks.insert(inks.end(), {255, 0, 0, 255});
    const std::optional<Bytes> file = imagewrite::encodeJpegCmyk(16, 16, inks, 95);
    ASSERT_TRUE(file);
    const std::optional<RgbaImage> image = DecodeJpeg(view(*file));
    ASSERT_TRUE(image);
    const Rgba c = pixelAt(*image, 8, 8);
    EXPECT_NEAR(c[0], 255, 3);
    EXPECT_NEAR(c[1], 0, 3);
    EXPECT_NEAR(c[2], 0, 3);
    EXPECT_EQ(c[3], 255);
}

TEST(Jpeg, PreviewScaleIsTheSmallestStillLargeEnough)
{
    const Bytes photo = encode(gradientImage(1024, 768), {80, false, false});
    auto sizeAt = [&](int minSide) {
        const std::optional<RgbaImage> image = DecodeJpeg(view(photo), minSide);
        return image ? std::pair{image->width, image->height} : std::pair{0, 0};
    };
    EXPECT_EQ(sizeAt(0), (std::pair{1024, 768}));
    EXPECT_EQ(sizeAt(128), (std::pair{256, 192}));   // 1/8 would give 96 rows
    EXPECT_EQ(sizeAt(96), (std::pair{128, 96}));
    EXPECT_EQ(sizeAt(97), (std::pair{256, 192}));
    EXPECT_EQ(sizeAt(700), (std::pair{1024, 768}));
    EXPECT_EQ(sizeAt(5000), (std::pair{1024, 768}));   // never above full size

    // Scaled output is still the picture: the colour near the right edge is red-ish.
    const std::optional<RgbaImage> small = DecodeJpeg(view(photo), 128);
    ASSERT_TRUE(small);
    EXPECT_GT(pixelAt(*small, 250, 10)[0], 230);
    EXPECT_LT(pixelAt(*small, 5, 10)[0], 25);

    // Odd sizes round up; a small picture stays whole.
    const Bytes odd = encode(gradientImage(1000, 1001));
    const std::optional<RgbaImage> oddImage = DecodeJpeg(view(odd), 128);
    ASSERT_TRUE(oddImage);
    EXPECT_EQ(oddImage->width, 250);
    EXPECT_EQ(oddImage->height, 251);
    const std::optional<RgbaImage> tiny = DecodeJpeg(view(encode(gradientImage(100, 60))), 128);
    ASSERT_TRUE(tiny);
    EXPECT_EQ(tiny->width, 100);
    EXPECT_EQ(tiny->height, 60);

    // Through the common entry point as well.
    DecodeOptions options;
    options.previewMinSide = 128;
    const std::optional<RgbaImage> viaImage = DecodeImage(view(photo), options);
    ASSERT_TRUE(viaImage);
    EXPECT_EQ(viaImage->width, 256);
}

TEST(Jpeg, TooManyScansGiveNoImage)
{
    const Bytes progressive = encode(gradientImage(48, 32), {90, true, false});
    ASSERT_TRUE(DecodeJpeg(view(progressive)));
    int scans = 0;
    for (std::size_t at : markerOffsets(progressive))
        scans += progressive[at + 1] == 0xDA;
    ASSERT_GT(scans, 1);
    EXPECT_TRUE(DecodeJpeg(view(withRepeatedLastScan(progressive, kMaxJpegScans - scans))));
    EXPECT_FALSE(DecodeJpeg(view(withRepeatedLastScan(progressive, kMaxJpegScans - scans + 1))));
    EXPECT_FALSE(DecodeJpeg(view(withRepeatedLastScan(progressive, 5000))));
}

TEST(Jpeg, SizesOutsideTheLimitsGiveNoImage)
{
    const Bytes file = encode(gradientImage(32, 32));
    ASSERT_TRUE(DecodeJpeg(view(withFrameSize(file, 32, 32))));
    EXPECT_FALSE(DecodeJpeg(view(withFrameSize(file, kMaxSide + 1, 16))));
    EXPECT_FALSE(DecodeJpeg(view(withFrameSize(file, 16, kMaxSide + 1))));
    EXPECT_FALSE(DecodeJpeg(view(withFrameSize(file, 65535, 65535))));
    EXPECT_FALSE(DecodeJpeg(view(withFrameSize(file, kMaxSide, kMaxSide))));   // over the pixel limit
    EXPECT_FALSE(DecodeJpeg(view(withFrameSize(file, 0, 32))));
    EXPECT_FALSE(DecodeJpeg(view(withFrameSize(file, 32, 0))));
    DecodeOptions options;
    options.maxPixels = 32 * 32 - 1;
    EXPECT_FALSE(DecodeJpeg(view(file), options));
    // Scaling does not lift the limit: it applies to the size in the file.
    options.previewMinSide = 1;
    EXPECT_FALSE(DecodeJpeg(view(file), options));
    options.maxPixels = 32 * 32;
    EXPECT_TRUE(DecodeJpeg(view(file), options));
}

TEST(Jpeg, RowsAfterTheEndOfTheDataAreBlack)
{
    const RgbaImage picture = gradientImage(64, 64);
    const Bytes file = encode(picture, {95, false, false});
    const std::optional<RgbaImage> whole = DecodeJpeg(view(file));
    ASSERT_TRUE(whole);

    // Without the end marker nothing is missing.
    EXPECT_TRUE(samePixels(DecodeJpeg(view(prefix(file, file.size() - 2))), *whole));

    // Cut in the middle of the data: the rows decoded before the cut are the picture, the
    // rows after it black, whole rows from some point on.
    const std::optional<RgbaImage> cut = DecodeJpeg(view(prefix(file, file.size() * 6 / 10)));
    ASSERT_TRUE(cut);
    ASSERT_EQ(cut->width, 64);
    ASSERT_EQ(cut->height, 64);
    int firstBlack = -1;
    for (int y = 0; y < 64 && firstBlack < 0; ++y) {
        bool black = true;
        for (int x = 0; x < 64; ++x)
            black = black && pixelAt(*cut, x, y) == Rgba{0, 0, 0, 255};
        if (black)
            firstBlack = y;
    }
    ASSERT_GT(firstBlack, 0);
    ASSERT_LT(firstBlack, 64);
    for (int y = firstBlack; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(pixelAt(*cut, x, y), (Rgba{0, 0, 0, 255})) << x << "," << y;
    for (int x = 0; x < 64; ++x)
        EXPECT_EQ(pixelAt(*cut, x, 0), pixelAt(*whole, x, 0));
}

TEST(Jpeg, BrokenFilesNeverCrash)
{
    const Bytes baseline = encode(patternImage(24, 17), {75, false, false});
    const Bytes progressive = encode(patternImage(24, 17), {75, true, false});
    for (const Bytes* file : {&baseline, &progressive}) {
        for (std::size_t length = 0; length < file->size(); ++length) {
            const std::optional<RgbaImage> cut = DecodeJpeg(view(prefix(*file, length)));
            if (cut) {
                EXPECT_EQ(cut->width, 24);
                EXPECT_EQ(cut->height, 17);
                EXPECT_EQ(cut->pixels.size(), 24u * 17u * 4u);
            }
        }
    }
    // Short prefixes have no header at all.
    for (std::size_t length = 0; length < 20; ++length)
        EXPECT_FALSE(DecodeJpeg(view(prefix(baseline, length))));

    Bytes garbage(300, 0x37);
    garbage[0] = 0xFF;
    garbage[1] = 0xD8;
    garbage[2] = 0xFF;
    EXPECT_FALSE(DecodeJpeg(view(garbage)));
    EXPECT_FALSE(DecodeJpeg(view(Bytes{0xFF, 0xD8, 0xFF})));
    EXPECT_FALSE(DecodeJpeg({}));
    // Corrupt entropy data still gives a whole picture (libjpeg fills in) or none.
    Bytes corrupt = baseline;
    for (std::size_t i = corrupt.size() / 2; i < corrupt.size() - 2; i += 7)
        corrupt[i] ^= 0x5A;
    const std::optional<RgbaImage> image = DecodeJpeg(view(corrupt));
    if (image) {
        EXPECT_EQ(image->pixels.size(), 24u * 17u * 4u);
    }
}

}  // namespace
}  // namespace marquetor::imagecodec::testing
