// UTF-8 for every text codec and the tool: checking and encoding sequences,
// and the scan for the next byte a reader or writer must look at.
#ifndef ORVEX_STORE_UTF8_HPP
#define ORVEX_STORE_UTF8_HPP

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvex_store {

// Length of the well-formed UTF-8 sequence starting at `p` (whose first byte
// is >= 0x80), or 0 when it is malformed, overlong, a surrogate, above
// U+10FFFF or cut off by `end`.
inline size_t utf8_seq_len(const unsigned char *p, const unsigned char *end) {
    unsigned c = p[0];
    size_t avail = static_cast<size_t>(end - p);
    auto cont = [](unsigned b) { return (b & 0xC0) == 0x80; };
    if (c >= 0xC2 && c <= 0xDF)
        return avail >= 2 && cont(p[1]) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (avail < 3 || !cont(p[1]) || !cont(p[2]))
            return 0;
        if (c == 0xE0 && p[1] < 0xA0)
            return 0; // overlong
        if (c == 0xED && p[1] >= 0xA0)
            return 0; // UTF-16 surrogate
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (avail < 4 || !cont(p[1]) || !cont(p[2]) || !cont(p[3]))
            return 0;
        if (c == 0xF0 && p[1] < 0x90)
            return 0; // overlong
        if (c == 0xF4 && p[1] >= 0x90)
            return 0; // above U+10FFFF
        return 4;
    }
    return 0;
}

// Writes the UTF-8 form of code point `cp` (<= 0x10FFFF) to `out`; returns
// the number of bytes.
inline size_t utf8_put(uint32_t cp, char *out) {
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

// First byte in [p, end) that is `A`, `B` or `C`, or >= 0x80, or below
// `Low` (1: NUL only; 0x20: any control character). Returns `end` when there
// is none.
template <unsigned char A, unsigned char B, unsigned char C, unsigned char Low>
inline const unsigned char *scan_for(const unsigned char *p, const unsigned char *end) {
#if defined(__SSE2__)
    const __m128i a = _mm_set1_epi8(static_cast<char>(A)), b = _mm_set1_epi8(static_cast<char>(B));
    const __m128i c = _mm_set1_epi8(static_cast<char>(C)), low = _mm_set1_epi8(static_cast<char>(Low));
    while (end - p >= 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        // Signed compare: bytes >= 0x80 are negative, so they count as below `Low`.
        __m128i m = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, a), _mm_cmpeq_epi8(v, b)),
                                 _mm_or_si128(_mm_cmpeq_epi8(v, c), _mm_cmplt_epi8(v, low)));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(m));
        if (mask)
            return p + __builtin_ctz(mask);
        p += 16;
    }
#endif
    for (; p < end; ++p) {
        unsigned x = *p;
        if (x == A || x == B || x == C || x < Low || x >= 0x80)
            return p;
    }
    return end;
}

} // namespace orvex_store

#endif
