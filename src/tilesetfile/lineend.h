#pragma once
// Line ends as the .mrqt format knows them (CR, LF and the zero byte), found quickly: shared
// by the reader and the writer. Internal to the format library.

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace marquetor::tilesetfile::detail {

// The first CR, LF or zero byte in [p, end), or end: the word-at-a-time part for short
// stretches (and processors without SSE2). It looks at eight bytes at a time for any byte
// below 14 (all three are): (v - 0x0E..) & ~v & 0x80.. flags the lowest such byte exactly.
// Text rarely holds other control bytes (a tab), which are stepped over.
[[gnu::noinline]] inline const std::uint8_t* findLineEndTail(const std::uint8_t* p, const std::uint8_t* end) {
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t below14 = 0x0E0E0E0E0E0E0E0Eull;
        constexpr std::uint64_t highs = 0x8080808080808080ull;
        while (end - p >= 8) {
            std::uint64_t w;
            std::memcpy(&w, p, 8);
            const std::uint64_t hit = (w - below14) & ~w & highs;
            if (hit == 0) {
                p += 8;
                continue;
            }
            p += std::countr_zero(hit) >> 3;
            const std::uint8_t c = *p;
            if (c == '\r' || c == '\n' || c == 0) return p;
            ++p;
        }
    }
    for (; p < end; ++p) {
        const std::uint8_t c = *p;
        if (c <= '\r' && (c == '\r' || c == '\n' || c == 0)) break;
    }
    return p;
}

// The first CR, LF or zero byte in [p, end), or end. Sixteen bytes at a time where the
// processor has SSE2 (every x86-64 does); kept small so that it is inlined into the readers.
inline const std::uint8_t* findLineEnd(const std::uint8_t* p, const std::uint8_t* end) {
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i zero = _mm_setzero_si128();
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)),
                                          _mm_cmpeq_epi8(v, zero));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
        if (mask != 0) return p + std::countr_zero(mask);
        p += 16;
    }
#endif
    return findLineEndTail(p, end);
}

// A text as a line can hold it: a CR, LF or zero byte would end the line early and throw
// everything after it out of step, so the text is written up to the first of them (which
// is what reading the line would give anyway).
inline std::string_view lineText(std::string_view s) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(s.data());
    return s.substr(0, static_cast<std::size_t>(findLineEnd(p, p + s.size()) - p));
}

}  // namespace marquetor::tilesetfile::detail
