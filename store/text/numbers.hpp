// Integers and reals as text, shared by the text encodings. The text is
// exactly the number: callers trim what their format allows around it.
#ifndef ORVEX_STORE_NUMBERS_HPP
#define ORVEX_STORE_NUMBERS_HPP

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "orvex/orvex.h"
#include "text/byte_table.hpp"

namespace orvex_store {

// Hex digit values by byte, -1 for a byte that is not one.
inline constexpr ByteTable<int8_t> HEX_VALUES([](int c) {
    return c >= '0' && c <= '9'   ? int8_t(c - '0')
           : c >= 'a' && c <= 'f' ? int8_t(c - 'a' + 10)
           : c >= 'A' && c <= 'F' ? int8_t(c - 'A' + 10)
                                  : int8_t(-1);
});

// The value of hex digit `c` (either case), or -1; `c` may be a code point.
inline int hex_value(unsigned c) { return c < 256 ? HEX_VALUES.v[c] : -1; }

// An integer read from text: its 64 bits, two's complement when negative.
struct ParsedInt {
    uint64_t bits;
    bool negative;
    // Whether the bits are meant as a signed number: negative, or small
    // enough that both readings agree.
    bool is_signed() const { return negative || bits <= uint64_t(INT64_MAX); }
};

// [+-]digits or [+-]0x hexdigits, from -2^63 to 2^64-1. Returns
// ORVEX_REASON_NONE, ORVEX_REASON_BAD_INTEGER or ORVEX_REASON_INTEGER_RANGE.
// Inline: one call per number in the readers' loops is too many.
inline orvex_reason_t parse_integer(const char *s, size_t n, ParsedInt *out) {
    const char *e = s + n;
    bool neg = false;
    if (s < e && (*s == '+' || *s == '-'))
        neg = *s++ == '-';
    bool hex = e - s > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    if (hex)
        s += 2;
    if (s == e)
        return ORVEX_REASON_BAD_INTEGER;
    const unsigned base = hex ? 16 : 10;
    uint64_t v = 0;
    for (; s < e; ++s) {
        unsigned c = static_cast<unsigned char>(*s), d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (hex && hex_value(c) >= 0)
            d = unsigned(hex_value(c));
        else
            return ORVEX_REASON_BAD_INTEGER;
        if (v > (UINT64_MAX - d) / base)
            return ORVEX_REASON_INTEGER_RANGE;
        v = v * base + d;
    }
    if (neg && v > (uint64_t(1) << 63))
        return ORVEX_REASON_INTEGER_RANGE;
    *out = {neg ? uint64_t(0) - v : v, neg};
    return ORVEX_REASON_NONE;
}

// For a decimal that from_chars found out of range: whether it is too large
// (else too small).
bool decimal_overflows(const char *s, const char *e);

// A decimal real as from_chars reads it, with an optional '+' before it (not
// before a '-'); out of range it becomes an infinity or a zero of its sign.
// Returns ORVEX_REASON_NONE or ORVEX_REASON_BAD_REAL.
inline orvex_reason_t parse_real(const char *s, size_t n, double *out) {
    const char *e = s + n;
    if (s < e && *s == '+') {
        ++s;
        if (s < e && *s == '-')
            return ORVEX_REASON_BAD_REAL;
    }
    if (s == e)
        return ORVEX_REASON_BAD_REAL;
    double d = 0;
    auto r = std::from_chars(s, e, d);
    if (r.ptr != e || r.ec == std::errc::invalid_argument)
        return ORVEX_REASON_BAD_REAL;
    if (r.ec == std::errc::result_out_of_range) {
        d = decimal_overflows(s, e) ? HUGE_VAL : 0.0;
        if (*s == '-')
            d = -d;
    }
    *out = d;
    return ORVEX_REASON_NONE;
}

// Room write_real needs: the longest text it writes ("-1.2345678901234567e-308").
constexpr size_t REAL_TEXT_MAX = 24;
// Room for any number's text: a 64-bit integer with its sign, a real with
// its ".0".
constexpr size_t NUMBER_TEXT_MAX = 32;
static_assert(NUMBER_TEXT_MAX >= REAL_TEXT_MAX + 2, "no room for a real and its \".0\"");

// Writes an integer's 64 bits in decimal at `w`: as two's complement with a
// '-' when `negative`, else unsigned. Returns the end of the text.
inline char *write_integer(char *w, uint64_t bits, bool negative) {
    if (negative) {
        *w++ = '-';
        bits = uint64_t(0) - bits;
    }
    return std::to_chars(w, w + NUMBER_TEXT_MAX - 1, bits).ptr;
}

// Writes finite `x` at `w` in the fewest significant digits that read back
// to the same double, in plain notation when that is no longer than with an
// exponent and needs no digit beyond those ("100", "0.1"), else with one
// ("1e+16"; 2^63 is "9.223372036854776e+18", not its 19 exact digits).
// Integral text gets no ".0". Returns the end of the text.
char *write_real(char *w, double x);

// Any double: "nan", "inf" or "-inf" when it is not finite, else write_real's
// text, with ".0" after integral text when `point`, so that the text says it
// is a real ("1.0"; "1e+16" needs none). Returns the end of the text.
inline char *write_real_text(char *w, double x, bool point) {
    if (!std::isfinite(x)) {
        const char *t = std::isnan(x) ? "nan" : x < 0 ? "-inf" : "inf";
        while (*t)
            *w++ = *t++;
        return w;
    }
    char *s = w;
    w = write_real(w, x);
    if (point) {
        bool plain = true;
        for (char *c = s; c < w; ++c)
            if (*c == '.' || *c == 'e')
                plain = false;
        if (plain) {
            *w++ = '.';
            *w++ = '0';
        }
    }
    return w;
}

} // namespace orvex_store

#endif
