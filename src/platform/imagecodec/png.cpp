// PNG through libpng. Plain 8-bit RGB and RGBA files (most textures) are read row by row
// with libpng's low-level reader, which sets up no colour handling they do not need; a
// preview of one is reduced while its rows are read, through a box filter, so the
// full-size picture is never held (64 MiB for a 4096 x 4096 file) nor walked a second time.
// That reader reports errors through a longjmp, so it runs in small C-style functions that
// hold no C++ object with a destructor while the jump is armed.
//
// Every other file goes through the simplified memory API, whose setjmp stays inside
// libpng: its calls return an error code and never unwind through our frames.

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <vector>

#include "platform/imagecodec/codecutil.h"
#include "platform/imagecodec/imagecodec.h"

namespace marquetor::imagecodec {

namespace {

// Frees libpng's state whichever way the decoder leaves.
class PngImageGuard {
public:
    explicit PngImageGuard(png_image& image) : m_image(image) {}
    ~PngImageGuard() { png_image_free(&m_image); }
    PngImageGuard(const PngImageGuard&) = delete;
    PngImageGuard& operator=(const PngImageGuard&) = delete;

private:
    png_image& m_image;
};

// Deflate cannot expand more than about 1032 to 1, so a file claiming more row data than
// that could ever hold is cut short; libpng would fail on it after we had allocated the
// whole picture. (Each row holds at least a filter byte and one bit per pixel.)
bool couldHoldRows(std::uint64_t width, std::uint64_t height, std::size_t fileSize)
{
    const std::uint64_t minimalRowBytes = height * (1 + (width + 7) / 8);
    return minimalRowBytes <= static_cast<std::uint64_t>(fileSize) * 1100 + 4096;
}

std::optional<RgbaImage> decodeWhole(std::span<const std::uint8_t> data, const DecodeOptions& options)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    PngImageGuard guard(png);
    if (!png_image_begin_read_from_memory(&png, data.data(), data.size()))
        return std::nullopt;
    if (!detail::sizeAllowed(png.width, png.height, detail::pixelLimit(options)) ||
        !couldHoldRows(png.width, png.height, data.size()))
        return std::nullopt;

    png.format = PNG_FORMAT_RGBA;
    std::optional<RgbaImage> image = detail::makeImage(static_cast<int>(png.width), static_cast<int>(png.height));
    if (!image)
        return std::nullopt;
    const png_int_32 rowStride = static_cast<png_int_32>(png.width) * 4;
    if (!png_image_finish_read(&png, nullptr, image->pixels.data(), rowStride, nullptr))
        return std::nullopt;
    return image;
}

// ---- Reduced while reading ----------------------------------------------------------------

// Averages boxes of factor x factor source pixels (smaller at the right and bottom edges)
// into one, rows fed top to bottom; colours weighted by alpha, as ScaleSmooth does.
class BoxReducer {
public:
    BoxReducer(int width, int height, int factor, int channels, RgbaImage& out)
        : m_width(width), m_height(height), m_factor(factor), m_channels(channels), m_out(out),
          m_sums(static_cast<std::size_t>(width) * 4, 0)
    {
    }

    void addRow(const std::uint8_t* row)
    {
        std::uint32_t* sums = m_sums.data();
        const std::size_t n = static_cast<std::size_t>(m_width);
        if (m_channels == 3) {
            for (std::size_t i = 0; i < n; ++i) {
                sums[i * 4 + 0] += row[i * 3 + 0];
                sums[i * 4 + 1] += row[i * 3 + 1];
                sums[i * 4 + 2] += row[i * 3 + 2];
            }
        } else {
            for (std::size_t i = 0; i < n; ++i) {
                const std::uint32_t a = row[i * 4 + 3];
                sums[i * 4 + 0] += row[i * 4 + 0] * a;
                sums[i * 4 + 1] += row[i * 4 + 1] * a;
                sums[i * 4 + 2] += row[i * 4 + 2] * a;
                sums[i * 4 + 3] += a * 255;
            }
        }
        ++m_rowsInBox;
        ++m_rowsRead;
        if (m_rowsInBox == m_factor || m_rowsRead == m_height)
            emitRow();
    }

private:
    void emitRow()
    {
        std::uint8_t* dst = m_out.pixels.data() + static_cast<std::size_t>(m_outRow) * m_out.width * 4;
        for (int ox = 0; ox < m_out.width; ++ox) {
            const int first = ox * m_factor;
            const int last = std::min(first + m_factor, m_width);
            std::uint64_t sum[4] = {0, 0, 0, 0};
            for (int x = first; x < last; ++x) {
                const std::uint32_t* s = m_sums.data() + static_cast<std::size_t>(x) * 4;
                sum[0] += s[0];
                sum[1] += s[1];
                sum[2] += s[2];
                sum[3] += s[3];
            }
            const std::uint64_t count = static_cast<std::uint64_t>(last - first) * static_cast<std::uint64_t>(m_rowsInBox);
            std::uint8_t* d = dst + static_cast<std::size_t>(ox) * 4;
            if (m_channels == 3) {
                for (int c = 0; c < 3; ++c)
                    d[c] = static_cast<std::uint8_t>((sum[c] + count / 2) / count);
                d[3] = 255;
            } else {
                const std::uint64_t alphaScale = count * 255;
                d[3] = static_cast<std::uint8_t>((sum[3] + alphaScale / 2) / alphaScale);
                for (int c = 0; c < 3; ++c)
                    d[c] = sum[3] == 0 ? 0
                                       : static_cast<std::uint8_t>(
                                             std::min<std::uint64_t>((sum[c] * 255 + sum[3] / 2) / sum[3], 255));
            }
        }
        std::fill(m_sums.begin(), m_sums.end(), 0u);
        m_rowsInBox = 0;
        ++m_outRow;
    }

    int m_width;
    int m_height;
    int m_factor;
    int m_channels;
    RgbaImage& m_out;
    std::vector<std::uint32_t> m_sums;   // per source column, the box rows so far
    int m_rowsInBox = 0;
    int m_rowsRead = 0;
    int m_outRow = 0;
};

// The file gamma of sRGB (1 / 2.2 in libpng's fixed point), which an sRGB chunk sets too:
// libpng leaves such a picture's bytes as they are.
constexpr png_fixed_point kSrgbFileGamma = 45455;

struct MemorySource {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
};

// Plain data only: it crosses longjmp.
struct RowSession {
    png_structp png;
    png_infop info;
    MemorySource source;
    png_uint_32 width;
    png_uint_32 height;
    int bitDepth;
    int colorType;
    int interlace;
    bool hasGamma;
    png_fixed_point gamma;
    bool hasProfile;       // iCCP
    bool hasTransparency;  // tRNS
};

void readFromMemory(png_structp png, png_bytep out, png_size_t n)
{
    MemorySource* source = static_cast<MemorySource*>(png_get_io_ptr(png));
    if (n > source->size - source->at)
        png_error(png, "read past the end of the data");
    std::memcpy(out, source->data + source->at, n);
    source->at += n;
}

// Errors end the reading quietly (the decoder gives no image); warnings are not printed.
[[noreturn]] void onPngError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}
void onPngWarning(png_structp, png_const_charp) {}

// Phase 1: the header and the chunks before the image data. Plain C style.
bool rowStart(RowSession* s)
{
    s->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onPngError, onPngWarning);
    if (!s->png)
        return false;
    s->info = png_create_info_struct(s->png);
    if (!s->info)
        return false;
    if (setjmp(png_jmpbuf(s->png)))
        return false;
    png_set_read_fn(s->png, &s->source, readFromMemory);
    png_read_info(s->png, s->info);
    s->width = png_get_image_width(s->png, s->info);
    s->height = png_get_image_height(s->png, s->info);
    s->bitDepth = png_get_bit_depth(s->png, s->info);
    s->colorType = png_get_color_type(s->png, s->info);
    s->interlace = png_get_interlace_type(s->png, s->info);
    s->hasGamma = png_get_gAMA_fixed(s->png, s->info, &s->gamma) != 0;
    s->hasProfile = png_get_valid(s->png, s->info, PNG_INFO_iCCP) != 0;
    s->hasTransparency = png_get_valid(s->png, s->info, PNG_INFO_tRNS) != 0;
    return true;
}

// Phase 2: every row, in the file's own layout, into the reducer.
bool rowRead(RowSession* s, std::uint8_t* row, BoxReducer* reducer)
{
    if (setjmp(png_jmpbuf(s->png)))
        return false;
    for (png_uint_32 y = 0; y < s->height; ++y) {
        png_read_row(s->png, row, nullptr);
        reducer->addRow(row);
    }
    return true;
}

// Phase 2 for a picture kept whole: every row straight into its place in the picture, RGB
// given an opaque alpha by libpng.
bool rowReadWhole(RowSession* s, std::uint8_t* pixels, std::size_t stride)
{
    if (setjmp(png_jmpbuf(s->png)))
        return false;
    if (s->colorType == PNG_COLOR_TYPE_RGB)
        png_set_filler(s->png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(s->png, s->info);
    for (png_uint_32 y = 0; y < s->height; ++y)
        png_read_row(s->png, pixels + y * stride, nullptr);
    return true;
}

void rowEnd(RowSession* s)
{
    if (s->png)
        png_destroy_read_struct(&s->png, &s->info, nullptr);
}

// The largest whole factor that still leaves at least minSide pixels on each side.
int reductionFactor(std::uint32_t width, std::uint32_t height, int minSide)
{
    const std::uint32_t side = std::min(width, height);
    auto fits = [&](std::uint32_t k) {
        return (width + k - 1) / k >= static_cast<std::uint32_t>(minSide) &&
               (height + k - 1) / k >= static_cast<std::uint32_t>(minSide);
    };
    std::uint32_t k = std::max<std::uint32_t>(1, side / static_cast<std::uint32_t>(minSide));
    while (k > 1 && !fits(k))
        --k;
    while (k < side && fits(k + 1))
        ++k;
    return static_cast<int>(k);
}

// A plain file: 8-bit RGB or RGBA, not interlaced, no transparent colour, nothing that
// would make libpng's colour handling change the bytes as stored (a gamma other than sRGB's,
// a colour profile). Such a file is read row by row with none of that handling set up, and
// for a preview large enough, reduced on the way. Nothing for every other file, and for any
// file this reader cannot finish: the simplified reader then decides, so this path never
// refuses a file that one takes.
std::optional<RgbaImage> decodePlain(std::span<const std::uint8_t> data, const DecodeOptions& options)
{
    RowSession session{};
    session.source = MemorySource{data.data(), data.size(), 0};
    std::optional<RgbaImage> out;
    bool done = false;
    if (rowStart(&session) && session.bitDepth == 8 &&
        (session.colorType == PNG_COLOR_TYPE_RGB || session.colorType == PNG_COLOR_TYPE_RGBA) &&
        session.interlace == PNG_INTERLACE_NONE && !session.hasTransparency && !session.hasProfile &&
        (!session.hasGamma || session.gamma == kSrgbFileGamma) &&
        detail::sizeAllowed(session.width, session.height, detail::pixelLimit(options)) &&
        couldHoldRows(session.width, session.height, data.size())) {
        const int factor =
            options.previewMinSide > 0 ? reductionFactor(session.width, session.height, options.previewMinSide) : 1;
        const int width = static_cast<int>(session.width);
        const int height = static_cast<int>(session.height);
        const int channels = session.colorType == PNG_COLOR_TYPE_RGB ? 3 : 4;
        out = detail::makeImage((width + factor - 1) / factor, (height + factor - 1) / factor);
        try {
            if (out && factor == 1) {
                done = rowReadWhole(&session, out->pixels.data(), static_cast<std::size_t>(width) * 4);
            } else if (out) {
                std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * channels);
                BoxReducer reducer(width, height, factor, channels, *out);
                done = rowRead(&session, row.data(), &reducer);
            }
        } catch (const std::bad_alloc&) {
        }
    }
    rowEnd(&session);
    if (!done)
        out.reset();
    return out;
}

}  // namespace

std::optional<RgbaImage> DecodePng(std::span<const std::uint8_t> data, const DecodeOptions& options)
{
    if (data.size() < 8 || png_sig_cmp(data.data(), 0, 8) != 0)
        return std::nullopt;
    if (std::optional<RgbaImage> plain = decodePlain(data, options))
        return plain;
    return decodeWhole(data, options);
}

std::optional<RgbaImage> DecodePng(std::span<const std::uint8_t> data)
{
    return DecodePng(data, DecodeOptions{});
}

}  // namespace marquetor::imagecodec
