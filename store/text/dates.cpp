#include "text/dates.hpp"

#include <charconv>
#include <cmath>
#include <cstring>

namespace orvex_store {

int64_t date_to_unix_seconds(double since_2001) {
    if (std::isnan(since_2001))
        return 0;
    double f = std::floor(since_2001);
    // 2^63 is exact as a double; anything at or beyond it does not fit.
    if (f >= 9223372036854775808.0)
        return INT64_MAX;
    if (f < -9223372036854775808.0)
        return INT64_MIN;
    // Shift to the Unix epoch in integers: in doubles the sum rounds past
    // 2^53 seconds, so a date read from a document and the same date set in
    // whole seconds gave different readings.
    int64_t whole = static_cast<int64_t>(f);
    return whole > INT64_MAX - UNIX_TO_2001 ? INT64_MAX : whole + UNIX_TO_2001;
}

// Howard Hinnant's civil calendar algorithms; valid far beyond any date a
// document can hold (callers keep years within +-2^40).
int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civil_from_days(int64_t z, int64_t *y, unsigned *m, unsigned *d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = static_cast<int64_t>(yoe) + era * 400 + (*m <= 2);
}

char *format_iso8601(int64_t unix_sec, char *w) {
    // Floor division: the day a negative second falls in starts before it.
    int64_t days = unix_sec / 86400, secs = unix_sec % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    int64_t y;
    unsigned m, d;
    civil_from_days(days, &y, &m, &d);
    if (y < 0 || y > 9999)
        *w++ = y < 0 ? '-' : '+';
    uint64_t ay = y < 0 ? uint64_t(0) - uint64_t(y) : uint64_t(y);
    char yb[24];
    char *ye = std::to_chars(yb, yb + sizeof yb, ay).ptr;
    for (ptrdiff_t pad = 4 - (ye - yb); pad > 0; --pad)
        *w++ = '0';
    std::memcpy(w, yb, static_cast<size_t>(ye - yb));
    w += ye - yb;
    auto two = [&w](unsigned v, char sep) {
        *w++ = sep;
        *w++ = static_cast<char>('0' + v / 10);
        *w++ = static_cast<char>('0' + v % 10);
    };
    unsigned sd = static_cast<unsigned>(secs);
    two(m, '-');
    two(d, '-');
    two(sd / 3600, 'T');
    two(sd / 60 % 60, ':');
    two(sd % 60, ':');
    *w++ = 'Z';
    return w;
}

} // namespace orvex_store
