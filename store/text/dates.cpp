#include "text/dates.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

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

namespace {

// Reads `n` digits at `s`; false when any is not a digit.
bool digits(const char *&s, const char *e, unsigned n, int64_t *v) {
    if (e - s < static_cast<ptrdiff_t>(n))
        return false;
    int64_t x = 0;
    for (unsigned i = 0; i < n; ++i) {
        unsigned c = static_cast<unsigned char>(s[i]);
        if (c < '0' || c > '9')
            return false;
        x = x * 10 + (c - '0');
    }
    s += n;
    *v = x;
    return true;
}

int days_in_month(int64_t y, int64_t m) {
    static const int DAYS[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : DAYS[m - 1];
}

struct DateFields {
    int64_t year = 0, mon = 1, day = 1, hour = 0, min = 0, sec = 0;
    const char *frac = nullptr, *frac_end = nullptr; // the digits after the point
};

// Four digits, or a sign and 4 to 12 digits.
bool read_year(const char *&s, const char *e, int64_t *year) {
    bool neg = false, signed_year = false;
    if (s < e && (*s == '+' || *s == '-')) {
        neg = *s++ == '-';
        signed_year = true;
    }
    const char *ys = s;
    int64_t y = 0;
    while (s < e && *s >= '0' && *s <= '9' && s - ys < 12)
        y = y * 10 + (*s++ - '0');
    if (s - ys < 4 || (!signed_year && s - ys != 4) || (s < e && *s >= '0' && *s <= '9'))
        return false;
    *year = neg ? -y : y;
    return true;
}

// The fields after the year, each there only when the one before it is,
// then the optional 'Z' and nothing more.
bool read_fields(const char *s, const char *e, DateFields *f) {
    static const char SEPARATORS[] = "--T::";
    int64_t *const fields[] = {&f->mon, &f->day, &f->hour, &f->min, &f->sec};
    unsigned i = 0;
    for (; i < 5 && s < e && *s == SEPARATORS[i]; ++i) {
        ++s;
        if (!digits(s, e, 2, fields[i]))
            return false;
    }
    if (i == 5 && s < e && *s == '.') {
        f->frac = ++s;
        while (s < e && *s >= '0' && *s <= '9')
            ++s;
        f->frac_end = s;
        if (f->frac == f->frac_end)
            return false;
    }
    if (s < e && *s == 'Z')
        ++s;
    return s == e;
}

bool fields_in_range(const DateFields &f) {
    return f.mon >= 1 && f.mon <= 12 && f.day >= 1 && f.day <= days_in_month(f.year, f.mon) && f.hour <= 23 &&
           f.min <= 59 && f.sec <= 59;
}

// The second before a negative date plus the complementary fraction:
// whole + 0.F == -((|whole| - 1) + (1 - 0.F)). Writes the digits of 1 - 0.F
// over those of F from position `first` on.
void complement_fraction(std::string &num, size_t first) {
    bool borrow = false;
    for (size_t i = num.size(); i-- > first;) {
        int d = num[i] - '0';
        int c = (i + 1 == num.size() ? 10 : 9) - d - (borrow ? 1 : 0);
        borrow = false;
        if (c < 0) {
            c += 10;
            borrow = true;
        }
        num[i] = static_cast<char>('0' + c);
    }
}

// The exact decimal (whole seconds since 2001 plus the fraction) rounded
// once: the writer's digits come from the shortest form of the double, so
// this gives back the same double.
orvex_reason_t fraction_date(int64_t u, const char *frac, const char *frac_end, double *out) {
    if (frac_end - frac > 1100 || u < INT64_MIN + UNIX_TO_2001)
        return ORVEX_REASON_BAD_DATE;
    int64_t whole = u - UNIX_TO_2001;
    std::string num;
    num.reserve(static_cast<size_t>(frac_end - frac) + 24);
    if (whole >= 0) {
        num = std::to_string(whole);
        num += '.';
        num.append(frac, frac_end);
    } else {
        num = "-" + std::to_string(-(whole + 1));
        num += '.';
        size_t first = num.size();
        num.append(frac, frac_end);
        complement_fraction(num, first);
    }
    auto r = std::from_chars(num.data(), num.data() + num.size(), *out);
    return r.ec == std::errc() ? ORVEX_REASON_NONE : ORVEX_REASON_BAD_DATE;
}

} // namespace

orvex_reason_t parse_iso8601(const char *s, size_t n, ParsedDate *out) {
    const char *e = s + n;
    DateFields f;
    if (!read_year(s, e, &f.year) || !read_fields(s, e, &f))
        return ORVEX_REASON_BAD_DATE;
    if (!fields_in_range(f))
        return ORVEX_REASON_DATE_RANGE;
    // |year| < 10^12 keeps this well inside 64 bits: about 3.2e19 / 86400 days.
    __int128 unix_sec = __int128(days_from_civil(f.year, unsigned(f.mon), unsigned(f.day))) * 86400 +
                        f.hour * 3600 + f.min * 60 + f.sec;
    if (unix_sec > INT64_MAX || unix_sec < INT64_MIN)
        return ORVEX_REASON_DATE_RANGE;
    int64_t u = static_cast<int64_t>(unix_sec);
    while (f.frac_end > f.frac && f.frac_end[-1] == '0')
        --f.frac_end;
    *out = {f.frac == f.frac_end, u, 0.0};
    if (out->exact)
        return ORVEX_REASON_NONE;
    return fraction_date(u, f.frac, f.frac_end, &out->since_2001);
}

} // namespace orvex_store
