// Base64 (RFC 4648, standard alphabet), shared by the text encodings.
#ifndef ORVEX_STORE_BASE64_HPP
#define ORVEX_STORE_BASE64_HPP

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace orvex_store {

// Digits for `n` bytes, padding included.
constexpr uint64_t base64_size(uint64_t n) { return (n + 2) / 3 * 4; }

constexpr char BASE64_DIGITS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two digits per 12 bits, so three bytes take two lookups.
struct Base64Pairs {
    char v[4096][2];
    constexpr Base64Pairs() : v() {
        for (int i = 0; i < 4096; ++i) {
            v[i][0] = BASE64_DIGITS[i >> 6];
            v[i][1] = BASE64_DIGITS[i & 63];
        }
    }
};
inline constexpr Base64Pairs BASE64_PAIRS;

// Writes the digits of `n` bytes at `w` (room for base64_size(n)); returns
// the end of what it wrote. Inline: the XML writer calls it once a line.
inline char *base64_encode(const unsigned char *s, size_t n, char *w) {
    const unsigned char *e = s + n;
    for (; e - s >= 3; s += 3) {
        uint32_t g = (uint32_t(s[0]) << 16) | (uint32_t(s[1]) << 8) | s[2];
        std::memcpy(w, BASE64_PAIRS.v[g >> 12], 2);
        std::memcpy(w + 2, BASE64_PAIRS.v[g & 0xFFF], 2);
        w += 4;
    }
    if (s < e) {
        uint32_t g = uint32_t(s[0]) << 16;
        if (e - s == 2)
            g |= uint32_t(s[1]) << 8;
        w[0] = BASE64_DIGITS[g >> 18];
        w[1] = BASE64_DIGITS[(g >> 12) & 63];
        w[2] = e - s == 2 ? BASE64_DIGITS[(g >> 6) & 63] : '=';
        w[3] = '=';
        w += 4;
    }
    return w;
}

// Decodes base64 text into `out` (room for n / 4 * 3 + 3 bytes); whitespace
// is skipped and padding may be left out. Returns the byte count, or
// SIZE_MAX when the text is not base64.
size_t base64_decode(const unsigned char *s, size_t n, unsigned char *out);

} // namespace orvex_store

#endif
