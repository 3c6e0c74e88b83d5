#include "text/numbers.hpp"

#include <cstring>

namespace orvex_store {

// Only far-out magnitudes get here, so the decimal exponent of the leading
// digit decides.
bool decimal_overflows(const char *s, const char *e) {
    if (s < e && (*s == '-' || *s == '+'))
        ++s;
    int64_t int_digits = 0, lead_zeros = 0; // from the first nonzero digit / after the point
    bool found = false, point = false;
    for (; s < e && *s != 'e' && *s != 'E'; ++s) {
        if (*s == '.') {
            point = true;
        } else if (found) {
            if (!point)
                ++int_digits;
        } else if (*s != '0') {
            found = true;
            if (!point)
                int_digits = 1;
        } else if (point) {
            ++lead_zeros;
        }
    }
    int64_t ex = 0;
    bool eneg = false;
    if (s < e) {
        ++s;
        if (s < e && (*s == '-' || *s == '+'))
            eneg = *s++ == '-';
        for (; s < e && ex < 1000000000; ++s)
            ex = ex * 10 + (*s - '0');
    }
    int64_t mag = int_digits > 0 ? int_digits : -lead_zeros;
    return mag + (eneg ? -ex : ex) > 0;
}

char *write_real(char *w, double x) {
    char *e = std::to_chars(w, w + REAL_TEXT_MAX, x).ptr;
    // to_chars takes the notation with fewer characters. Plain text of an
    // integral value has every digit up to the point, and of the texts of
    // that length to_chars writes the exact one: digits beyond the fewest
    // that read back (2^63's last three), which the double does not hold.
    // Exponent notation has only those. Below 10^16 plain text needs them all.
    const char *d = w + (*w == '-');
    if (e - d < 17 || std::memchr(d, '.', size_t(e - d)) || std::memchr(d, 'e', size_t(e - d)))
        return e;
    const char *sig = e;
    while (sig[-1] == '0')
        --sig;
    char sci[REAL_TEXT_MAX];
    char *se = std::to_chars(sci, sci + sizeof sci, x, std::chars_format::scientific).ptr;
    const char *m = sci + (*sci == '-');
    ptrdiff_t need = static_cast<const char *>(std::memchr(m, 'e', size_t(se - m))) - m;
    if (need > 1)
        --need; // the point
    if (sig - d <= need)
        return e;
    std::memcpy(w, sci, size_t(se - sci));
    return w + (se - sci);
}

} // namespace orvex_store
