#include "orvex/Date.h"

#include <cmath>
#include <new>

namespace Orvex {

namespace {

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

} // namespace Orvex
