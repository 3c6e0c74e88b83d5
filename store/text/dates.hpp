// Date arithmetic shared by the API, the codecs and orvexutil: whole Unix seconds,
// seconds since 2001 as stored, the civil calendar (proleptic Gregorian, UTC),
// and ISO 8601 text, read and written.
#ifndef ORVEX_STORE_DATES_HPP
#define ORVEX_STORE_DATES_HPP

#include <cstddef>
#include <cstdint>

#include "orvex/orvex.h"

namespace orvex_store {

// Seconds from 1970-01-01 to 2001-01-01, the two epochs.
constexpr int64_t UNIX_TO_2001 = 978307200;

// Whole seconds since 1970, rounded toward negative infinity, clamped to the
// int64 range; NaN gives 0. Never undefined behaviour, whatever the double.
int64_t date_to_unix_seconds(double since_2001);

// Days since 1970-01-01 of a civil date (month 1-12, day 1-31), and back.
int64_t days_from_civil(int64_t y, unsigned m, unsigned d);
void civil_from_days(int64_t z, int64_t *y, unsigned *m, unsigned *d);

// The longest text format_iso8601 writes.
constexpr size_t ISO8601_MAX = 32;

// Writes whole Unix seconds as YYYY-MM-DDTHH:MM:SSZ at `w` (room for
// ISO8601_MAX); a year outside 0 to 9999 carries its sign. Returns the end.
char *format_iso8601(int64_t unix_sec, char *w);

// A date read from text. Without a fraction of a second (or with only
// zeros) it is whole Unix seconds, exact; with one, the double since 2001
// nearest to the exact decimal.
struct ParsedDate {
    bool exact;
    int64_t unix_sec;  // when exact
    double since_2001; // when not
};

// YYYY[-MM[-DD[THH[:MM[:SS[.fraction]]]]]][Z], UTC. The year may carry a
// sign and then has 4 to 12 digits; the fraction has at most 1100 digits
// after its trailing zeros are dropped. Returns ORVEX_REASON_NONE,
// ORVEX_REASON_BAD_DATE (not this shape) or ORVEX_REASON_DATE_RANGE (a field
// or the whole date out of range).
orvex_reason_t parse_iso8601(const char *s, size_t n, ParsedDate *out);

} // namespace orvex_store

#endif
