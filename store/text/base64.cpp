// Base64 (RFC 4648, standard alphabet) for the text encodings' data values.
#include "text/base64.hpp"

#include <initializer_list>

namespace orvex_store {
namespace {

using uchar = unsigned char;

// Base64 alphabet: 0-63 digits, WS whitespace, PAD '=', BAD anything else.
constexpr int8_t WS = -1, PAD = -2, BAD = -3;

struct B64Table {
    int8_t v[256];
    constexpr B64Table() : v() {
        for (int i = 0; i < 256; ++i)
            v[i] = BAD;
        for (int i = 0; i < 64; ++i)
            v[static_cast<uchar>(BASE64_DIGITS[i])] = static_cast<int8_t>(i);
        for (uchar c : {uchar(' '), uchar('\t'), uchar('\n'), uchar('\r')})
            v[c] = WS;
        v[uchar('=')] = PAD;
    }
};
constexpr B64Table B64;

inline void put_group(uint32_t g, uchar *out) {
    out[0] = static_cast<uchar>(g >> 16);
    out[1] = static_cast<uchar>(g >> 8);
    out[2] = static_cast<uchar>(g);
}

// Decodes whole groups without whitespace, the common case, from `*s`; stops
// before the first group holding anything else. Returns the bytes written.
inline size_t plain_groups(const uchar *&s, const uchar *e, uchar *out) {
    size_t o = 0;
    while (e - s >= 4) {
        int a = B64.v[s[0]], b = B64.v[s[1]], c = B64.v[s[2]], d = B64.v[s[3]];
        if ((a | b | c | d) < 0)
            break;
        put_group((uint32_t(a) << 18) | (uint32_t(b) << 12) | (uint32_t(c) << 6) | uint32_t(d), out + o);
        o += 3;
        s += 4;
    }
    return o;
}

// After the digits: only padding and whitespace, and as much padding as the
// last group lacks (none, or all of it). Writes that group's bytes.
size_t finish(const uchar *s, const uchar *e, uint32_t acc, unsigned k, uchar *out) {
    unsigned pads = 0;
    for (; s < e; ++s) {
        int v = B64.v[*s];
        if (v == PAD)
            ++pads;
        else if (v != WS)
            return SIZE_MAX; // data after the padding
    }
    if (k == 1 || (pads && pads != 4 - k) || (k == 0 && pads))
        return SIZE_MAX;
    if (k == 2) {
        out[0] = static_cast<uchar>(acc >> 4);
    } else if (k == 3) {
        out[0] = static_cast<uchar>(acc >> 10);
        out[1] = static_cast<uchar>(acc >> 2);
    }
    return k ? k - 1 : 0;
}

} // namespace

size_t base64_decode(const unsigned char *s, size_t n, unsigned char *out) {
    const uchar *e = s + n;
    size_t o = 0;
    uint32_t acc = 0;
    unsigned k = 0; // digits of the group in `acc`
    while (s < e) {
        if (k == 0) {
            o += plain_groups(s, e, out + o);
            if (s == e)
                break;
        }
        int v = B64.v[*s];
        if (v == PAD)
            break;
        if (v == BAD)
            return SIZE_MAX;
        ++s;
        if (v == WS)
            continue;
        acc = (acc << 6) | uint32_t(v);
        if (++k == 4) {
            put_group(acc, out + o);
            o += 3;
            k = 0;
            acc = 0;
        }
    }
    size_t last = finish(s, e, acc, k, out + o);
    return last == SIZE_MAX ? SIZE_MAX : o + last;
}

} // namespace orvex_store
