#include "text/numbers.hpp"

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

} // namespace orvex_store
