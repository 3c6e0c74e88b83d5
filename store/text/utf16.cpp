#include "text/utf16.hpp"

#include <cstdint>
#include <cstring>

#include "text/utf8.hpp"

namespace orvex_store {
namespace {

constexpr uint32_t REPLACEMENT = 0xFFFD;

// The code point at s[*i], advancing past it. Overlong forms, surrogates,
// values past U+10FFFF and cut sequences give U+FFFD and consume one byte,
// so the text is never misread as something it does not say.
inline uint32_t next_cp(const unsigned char *s, size_t n, size_t *i) {
    size_t k = *i;
    uint32_t c = s[k];
    if (c < 0x80) {
        *i = k + 1;
        return c;
    }
    size_t len;
    uint32_t cp, min;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2, cp = c & 0x1F, min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3, cp = c & 0x0F, min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4, cp = c & 0x07, min = 0x10000;
    } else {
        *i = k + 1;
        return REPLACEMENT;
    }
    if (n - k < len) {
        *i = k + 1;
        return REPLACEMENT;
    }
    for (size_t j = 1; j < len; ++j) {
        uint32_t b = s[k + j];
        if ((b & 0xC0) != 0x80) {
            *i = k + 1;
            return REPLACEMENT;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || is_surrogate(cp)) {
        *i = k + 1;
        return REPLACEMENT;
    }
    *i = k + len;
    return cp;
}

} // namespace

bool all_ascii(const char *p, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        if (w & 0x8080808080808080ull)
            return false;
    }
    for (; i < n; ++i)
        if (static_cast<unsigned char>(p[i]) & 0x80)
            return false;
    return true;
}

size_t utf16be_to_utf8(const unsigned char *s, size_t units, char *dst) {
    char *d = dst;
    for (size_t i = 0; i < units; ++i) {
        uint32_t u = (uint32_t(s[2 * i]) << 8) | s[2 * i + 1];
        if (u < 0x80) {
            *d++ = static_cast<char>(u);
            continue;
        }
        if (is_surrogate(u)) {
            uint32_t lo = 0;
            if (is_high_surrogate(u) && i + 1 < units)
                lo = (uint32_t(s[2 * i + 2]) << 8) | s[2 * i + 3];
            if (is_low_surrogate(lo)) {
                u = join_surrogates(u, lo);
                ++i;
            } else {
                u = REPLACEMENT;
            }
        }
        d += utf8_put(u, d);
    }
    return static_cast<size_t>(d - dst);
}

size_t latin1_to_utf8(const unsigned char *s, size_t n, char *dst) {
    char *d = dst;
    for (size_t i = 0; i < n; ++i)
        d += utf8_put(s[i], d);
    return static_cast<size_t>(d - dst);
}

size_t utf16_units(const char *p, size_t n) {
    const unsigned char *s = reinterpret_cast<const unsigned char *>(p);
    size_t units = 0;
    for (size_t i = 0; i < n;)
        units += next_cp(s, n, &i) >= 0x10000 ? 2 : 1;
    return units;
}

void utf8_to_utf16be(const char *p, size_t n, unsigned char *d) {
    const unsigned char *s = reinterpret_cast<const unsigned char *>(p);
    for (size_t i = 0; i < n;) {
        uint32_t cp = next_cp(s, n, &i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            uint32_t hi = 0xD800 + (cp >> 10), lo = 0xDC00 + (cp & 0x3FF);
            *d++ = static_cast<unsigned char>(hi >> 8);
            *d++ = static_cast<unsigned char>(hi);
            *d++ = static_cast<unsigned char>(lo >> 8);
            *d++ = static_cast<unsigned char>(lo);
        } else {
            *d++ = static_cast<unsigned char>(cp >> 8);
            *d++ = static_cast<unsigned char>(cp);
        }
    }
}

namespace {

inline uint32_t unit(const unsigned char *s, size_t i, bool little) {
    return little ? (uint32_t(s[2 * i + 1]) << 8) | s[2 * i] : (uint32_t(s[2 * i]) << 8) | s[2 * i + 1];
}

// The code point at unit `*i`, advancing past it; an unpaired surrogate
// gives 0xFFFFFFFF and leaves `*i` on it.
inline uint32_t next_unit_cp(const unsigned char *s, size_t units, bool little, size_t *i) {
    uint32_t u = unit(s, *i, little);
    if (!is_surrogate(u)) {
        ++*i;
        return u;
    }
    if (!is_high_surrogate(u) || *i + 1 >= units)
        return 0xFFFFFFFF;
    uint32_t lo = unit(s, *i + 1, little);
    if (!is_low_surrogate(lo))
        return 0xFFFFFFFF;
    *i += 2;
    return join_surrogates(u, lo);
}

} // namespace

size_t utf16_to_utf8_strict(const unsigned char *s, size_t units, bool little, char *dst, size_t *bad) {
    char *d = dst;
    for (size_t i = 0; i < units;) {
        uint32_t u = unit(s, i, little);
        if (u < 0x80) { // the common case in documents: markup and ASCII text
            *d++ = static_cast<char>(u);
            ++i;
            continue;
        }
        uint32_t cp = next_unit_cp(s, units, little, &i);
        if (cp == 0xFFFFFFFF) {
            *bad = i;
            return SIZE_MAX;
        }
        d += utf8_put(cp, d);
    }
    return static_cast<size_t>(d - dst);
}

size_t utf16_unit_at(const unsigned char *s, size_t units, bool little, uint64_t at) {
    uint64_t bytes = 0;
    for (size_t i = 0; i < units;) {
        size_t first = i;
        uint32_t cp = next_unit_cp(s, units, little, &i);
        if (cp == 0xFFFFFFFF)
            return first;
        bytes += cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
        if (bytes > at)
            return first;
    }
    return units;
}

} // namespace orvex_store
