#include "orvex/Date.h"

#include <cmath>
#include <limits>
#include <new>

namespace Orvex {

namespace {

using Clock = std::chrono::system_clock;
using Rep = Clock::rep;
static_assert(Clock::period::num == 1, "the clock ticks a whole fraction of a second");
constexpr Rep TICKS_PER_SECOND = Clock::period::den;
constexpr Rep UNIX_TO_2001 = 978307200; // seconds from 1970-01-01 to 2001-01-01

// The store's seconds since 2001 as the nearest tick, clamped to the clock.
Clock::time_point time_of(double since_2001) {
    if (std::isnan(since_2001))
        return Clock::time_point();
    const double whole = std::floor(since_2001);
    const double fraction = since_2001 - whole; // exact: no digit lies below whole's
    // One second of margin at each end, for the rounding of the fraction.
    constexpr Rep LAST = std::numeric_limits<Rep>::max() / TICKS_PER_SECOND - UNIX_TO_2001 - 1;
    constexpr Rep FIRST = std::numeric_limits<Rep>::min() / TICKS_PER_SECOND - UNIX_TO_2001 + 1;
    if (whole > static_cast<double>(LAST))
        return Clock::time_point::max();
    if (whole < static_cast<double>(FIRST))
        return Clock::time_point::min();
    // In range, so both conversions fit: whole within [FIRST, LAST], the
    // fraction's ticks within [0, TICKS_PER_SECOND].
    const Rep ticks = (static_cast<Rep>(whole) + UNIX_TO_2001) * TICKS_PER_SECOND +
                      static_cast<Rep>(std::llround(fraction * static_cast<double>(TICKS_PER_SECOND)));
    return Clock::time_point(Clock::duration(ticks));
}

// A tick count as seconds since 2001: whole seconds and the fraction apart,
// so that the fraction is not lost in the sum of two large numbers.
double since_2001_of(Clock::time_point t) {
    const Rep ticks = t.time_since_epoch().count();
    Rep whole = ticks / TICKS_PER_SECOND;
    Rep rest = ticks % TICKS_PER_SECOND;
    if (rest < 0) {
        rest += TICKS_PER_SECOND;
        --whole;
    }
    return static_cast<double>(whole - UNIX_TO_2001) +
           static_cast<double>(rest) / static_cast<double>(TICKS_PER_SECOND);
}

// A new root holding `source`'s instant exactly as stored (the epoch when it
// holds no date).
orvex_t copy_date(orvex_t source) {
    orvex_t copy = orvex_get_node_type(source) == ORVEX_DATE ? orvex_copy(source) : orvex_new_unix_date(0);
    if (!copy)
        throw std::bad_alloc();
    return copy;
}

} // namespace

Date::Date(Node *parent) : Node(ORVEX_DATE, parent) {}

Date::Date(orvex_t node, Node *parent) : Node(node, parent) {}

Date::Date(const Date &d) : Node(copy_date(d.GetOrvex()), nullptr) {}

Date &Date::operator=(const Date &d) {
    // Held by a container: whole seconds go through the exact 64-bit path;
    // anything else (a fraction from a document, NaN, infinity) is carried as
    // it is held.
    AssignFrom(d, [](Node &target, const Node &source) {
        const Date &from = static_cast<const Date &>(source);
        double exact = 0.0;
        orvex_get_date_val(from.GetOrvex(), &exact);
        const int64_t whole = from.GetValue(); // clamped at the 64-bit edges
        if (std::isfinite(exact) && exact == std::floor(exact) && whole != INT64_MAX && whole != INT64_MIN) {
            static_cast<Date &>(target).SetValue(whole);
        } else {
            orvex_set_date_val(target.GetOrvex(), exact);
        }
    });
    return *this;
}

Date::Date(int64_t t) : Node(ORVEX_DATE, nullptr) { orvex_set_unix_date_val(_node, t); }

Date::~Date() {}

Node *Date::Clone() const { return new Date(*this); }

void Date::SetValue(int64_t t) { orvex_set_unix_date_val(_node, t); }

int64_t Date::GetValue() const {
    int64_t t = 0;
    orvex_get_unix_date_val(_node, &t);
    return t;
}

Date::Date(std::chrono::system_clock::time_point t) : Node(ORVEX_DATE, nullptr) { SetTime(t); }

void Date::SetTime(std::chrono::system_clock::time_point t) { orvex_set_date_val(_node, since_2001_of(t)); }

std::chrono::system_clock::time_point Date::GetTime() const { return time_of(GetSecondsSince2001()); }

void Date::SetSecondsSince2001(double s) { orvex_set_date_val(_node, s); }

double Date::GetSecondsSince2001() const {
    double s = 0.0;
    orvex_get_date_val(_node, &s);
    return s;
}

} // namespace Orvex
