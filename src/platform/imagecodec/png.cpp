// PNG through libpng's progressive reader, fed from memory.
//
// Not the simplified API: its sequential reader inflates every byte of compressed data
// that follows the last row, and decompresses text chunks, so a small file could keep a
// preview busy for minutes. The progressive reader stops inflating at the first byte
// beyond the last row, and every chunk but the ones that make the picture is skipped
// unread.
//
// A preview of a large, non-interlaced picture is reduced while the rows arrive: each row
// goes into a box filter, so the full-size picture is never held (64 MiB for a 4096 x 4096
// file) nor walked a second time.
//
// Checksums: a chunk that the picture is made of (IHDR, PLTE, IDAT, IEND) with a wrong CRC
// makes the file fail, wherever it stands, before the last row or after it. That is
// libpng's default rule, but libpng is done before it reaches the chunks after the last
// row, so the file's critical chunks are checked once before it starts (a pass over the
// bytes that costs about 2% of a decode). Other chunks with a wrong CRC are dropped, as
// libpng drops them.
//
// libpng reports errors by longjmp, so the calls sit in small C-style functions that hold
// no C++ object with a destructor; the C++ side allocates the picture between the phases.

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/imagecodec/codecutil.h"
#include "platform/imagecodec/imagecodec.h"

namespace marquetor::imagecodec {

namespace {

// Averages boxes of factor x factor pixels (smaller at the right and bottom edges) into
// one, RGBA rows fed top to bottom; colours weighted by alpha, as ScaleSmooth does.
class BoxReducer {
public:
    BoxReducer(int width, int height, int factor, RgbaImage& out)
        : m_width(width), m_height(height), m_factor(factor), m_out(out), m_sums(static_cast<std::size_t>(width) * 4, 0)
    {
    }

    void addRow(const std::uint8_t* row)
    {
        std::uint32_t* sums = m_sums.data();
        const std::size_t n = static_cast<std::size_t>(m_width) * 4;
        for (std::size_t i = 0; i < n; i += 4) {
            const std::uint32_t a = row[i + 3];
            sums[i + 0] += row[i + 0] * a;
            sums[i + 1] += row[i + 1] * a;
            sums[i + 2] += row[i + 2] * a;
            sums[i + 3] += a * 255;
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
            const std::uint64_t alphaScale = count * 255;
            std::uint8_t* d = dst + static_cast<std::size_t>(ox) * 4;
            d[3] = static_cast<std::uint8_t>((sum[3] + alphaScale / 2) / alphaScale);
            for (int c = 0; c < 3; ++c)
                d[c] = sum[3] == 0
                           ? 0
                           : static_cast<std::uint8_t>(std::min<std::uint64_t>((sum[c] * 255 + sum[3] / 2) / sum[3], 255));
        }
        std::fill(m_sums.begin(), m_sums.end(), 0u);
        m_rowsInBox = 0;
        ++m_outRow;
    }

    int m_width;
    int m_height;
    int m_factor;
    RgbaImage& m_out;
    std::vector<std::uint32_t> m_sums;   // per source column, the rows of the box so far
    int m_rowsInBox = 0;
    int m_rowsRead = 0;
    int m_outRow = 0;
};

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

std::uint32_t bigEndian32(const std::uint8_t* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// Every critical chunk (an upper-case first letter) from the signature up to IEND carries
// the CRC of its type and data. A chunk the data ends inside has no CRC to check (a file
// cut short is judged by its rows); a length libpng would refuse is left to libpng.
bool criticalChunksIntact(std::span<const std::uint8_t> data)
{
    std::size_t at = 8;
    while (data.size() - at >= 12) {   // length, type, CRC
        const std::uint32_t length = bigEndian32(data.data() + at);
        if (length > PNG_UINT_31_MAX || length > data.size() - at - 12)
            return true;
        const std::uint8_t* type = data.data() + at + 4;
        if ((type[0] & 0x20) == 0) {
            const uLong crc = crc32(crc32(0L, Z_NULL, 0), type, static_cast<uInt>(4 + length));
            if (crc != bigEndian32(type + 4 + length))
                return false;
        }
        if (std::memcmp(type, "IEND", 4) == 0)
            return true;   // libpng reads nothing after it
        at += 12 + std::size_t{length};
    }
    return true;
}

// Plain data only: it crosses longjmp.
struct PngSession {
    png_structp png;
    png_infop info;
    std::int64_t maxPixels;
    png_uint_32 width;
    png_uint_32 height;
    bool interlaced;
    bool headerDone;         // the info callback accepted the picture and paused
    std::size_t resumeAt;    // where phase 2 feeds on from
    std::uint8_t* pixels;    // set between the phases: where whole rows go
    BoxReducer* reducer;     // or, for a reduced preview, what takes the rows
    std::uint64_t rowsExpected;
    std::uint64_t rowsDelivered;
    bool complete;           // every row of every pass arrived
};

[[noreturn]] void onPngError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);   // quietly: a file that fails gives no image, nothing more
}

void onPngWarning(png_structp, png_const_charp) {}

void onPngInfo(png_structp png, png_infop info)
{
    PngSession* s = static_cast<PngSession*>(png_get_progressive_ptr(png));
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
    if (!detail::sizeAllowed(width, height, s->maxPixels))
        png_error(png, "picture too large");

    // Everything to 8-bit RGBA.
    png_set_expand(png);   // palette to RGB, grey below 8 bits to 8, tRNS to alpha
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);   // only where there is no alpha yet
    png_read_update_info(png, info);
    if (png_get_channels(png, info) != 4 || png_get_bit_depth(png, info) != 8 ||
        png_get_rowbytes(png, info) != static_cast<std::size_t>(width) * 4)
        png_error(png, "unexpected row format");

    s->width = width;
    s->height = height;
    s->interlaced = interlace != PNG_INTERLACE_NONE;
    if (s->interlaced) {
        // Without libpng's interlace handling each pass arrives as its own small picture,
        // so every row is delivered exactly once and the rows can be counted.
        s->rowsExpected = 0;
        for (int pass = 0; pass < 7; ++pass)
            if (PNG_PASS_COLS(width, pass) > 0)
                s->rowsExpected += PNG_PASS_ROWS(height, pass);
    } else {
        s->rowsExpected = height;
    }
    s->headerDone = true;
    // Back to the caller, which allocates the picture; it feeds the rest again.
    s->resumeAt = png_process_data_pause(png, 0);
}

void onPngRow(png_structp png, png_bytep row, png_uint_32 rowNumber, int pass)
{
    PngSession* s = static_cast<PngSession*>(png_get_progressive_ptr(png));
    if (row == nullptr || (s->pixels == nullptr && s->reducer == nullptr) || s->complete)
        return;
    if (s->interlaced) {
        if (pass < 0 || pass > 6)
            return;
        const png_uint_32 y = PNG_ROW_FROM_PASS_ROW(rowNumber, pass);
        const png_uint_32 columns = PNG_PASS_COLS(s->width, pass);
        if (y >= s->height)
            return;
        std::uint8_t* line = s->pixels + static_cast<std::size_t>(y) * s->width * 4;
        for (png_uint_32 i = 0; i < columns; ++i) {
            const png_uint_32 x = PNG_COL_FROM_PASS_COL(i, pass);
            if (x < s->width)
                std::memcpy(line + static_cast<std::size_t>(x) * 4, row + static_cast<std::size_t>(i) * 4, 4);
        }
    } else if (s->reducer != nullptr) {
        // Rows of a picture that is not interlaced come once each, in order.
        if (rowNumber != s->rowsDelivered)
            png_error(png, "row out of order");
        s->reducer->addRow(row);
    } else {
        if (rowNumber >= s->height)
            return;
        std::memcpy(s->pixels + static_cast<std::size_t>(rowNumber) * s->width * 4, row,
                    static_cast<std::size_t>(s->width) * 4);
    }
    // No pause here: libpng's row loop does not survive one. After the last row it stops
    // inflating at the first byte of extra data and skips the remaining chunks unread.
    if (++s->rowsDelivered >= s->rowsExpected)
        s->complete = true;
}

// Phase 1: signature and header chunks, up to the start of the image data.
bool pngStart(PngSession* s, const std::uint8_t* data, std::size_t size)
{
    s->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onPngError, onPngWarning);
    if (!s->png)
        return false;
    s->info = png_create_info_struct(s->png);
    if (!s->info)
        return false;
    if (setjmp(png_jmpbuf(s->png)))
        return false;
    png_set_user_limits(s->png, kMaxSide, kMaxSide);
    png_set_benign_errors(s->png, 1);
    // Skip every chunk except IHDR, PLTE, tRNS, IDAT and IEND: text, profiles and unknown
    // chunks are never decompressed or kept.
    png_set_keep_unknown_chunks(s->png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_set_progressive_read_fn(s->png, s, onPngInfo, onPngRow, nullptr);
    // The whole file at once: libpng then never has to gather a chunk piece by piece.
    png_process_data(s->png, s->info, const_cast<png_bytep>(data), size);
    if (!s->headerDone)
        return false;
    s->resumeAt = size - s->resumeAt;   // the pause returned the bytes not consumed
    return true;
}

// Phase 2: the image data into the caller's picture.
bool pngReadRows(PngSession* s, const std::uint8_t* data, std::size_t size)
{
    if (setjmp(png_jmpbuf(s->png)))
        return s->complete;   // a fault after the last row does not spoil the picture
    if (s->resumeAt < size)
        png_process_data(s->png, s->info, const_cast<png_bytep>(data + s->resumeAt), size - s->resumeAt);
    return s->complete;
}

void pngEnd(PngSession* s)
{
    if (s->png)
        png_destroy_read_struct(&s->png, s->info ? &s->info : nullptr, nullptr);
}

// Deflate cannot expand more than about 1032 to 1, so a file claiming more row data than
// that could ever hold is cut short; libpng would fail on it after we had allocated the
// whole picture. (Each row holds at least a filter byte and one bit per pixel.)
bool couldHoldRows(std::uint64_t width, std::uint64_t height, std::size_t fileSize)
{
    const std::uint64_t minimalRowBytes = height * (1 + (width + 7) / 8);
    return minimalRowBytes <= static_cast<std::uint64_t>(fileSize) * 1100 + 4096;
}

}  // namespace

std::optional<RgbaImage> DecodePng(std::span<const std::uint8_t> data, const DecodeOptions& options)
{
    if (data.size() < 8 || png_sig_cmp(data.data(), 0, 8) != 0 || !criticalChunksIntact(data))
        return std::nullopt;

    PngSession session{};
    session.maxPixels = detail::pixelLimit(options);
    std::optional<RgbaImage> image;
    if (pngStart(&session, data.data(), data.size()) && couldHoldRows(session.width, session.height, data.size())) {
        const int factor = options.previewMinSide > 0 && !session.interlaced
                               ? reductionFactor(session.width, session.height, options.previewMinSide)
                               : 1;
        const int width = static_cast<int>(session.width);
        const int height = static_cast<int>(session.height);
        image = detail::makeImage((width + factor - 1) / factor, (height + factor - 1) / factor);
        try {
            std::optional<BoxReducer> reducer;
            if (image && factor > 1) {
                reducer.emplace(width, height, factor, *image);
                session.reducer = &*reducer;
            } else if (image) {
                session.pixels = image->pixels.data();
            }
            if (image && !pngReadRows(&session, data.data(), data.size()))
                image.reset();
        } catch (const std::bad_alloc&) {
            image.reset();
        }
    }
    pngEnd(&session);
    return image;
}

std::optional<RgbaImage> DecodePng(std::span<const std::uint8_t> data)
{
    return DecodePng(data, DecodeOptions{});
}

}  // namespace marquetor::imagecodec
