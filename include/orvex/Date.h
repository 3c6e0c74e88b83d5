// Orvex::Date - a date value.
#ifndef ORVEX_DATE_H
#define ORVEX_DATE_H

#include <chrono>
#include <cstdint>

#include "orvex/Node.h"

namespace Orvex {

/**
 * A date (store type ORVEX_DATE). The store holds a double: seconds relative
 * to 2001-01-01T00:00:00Z, fraction included. GetValue and SetValue read and
 * write whole seconds relative to the Unix epoch, negative before it (reading
 * a date that holds fractions rounds toward negative infinity); GetTime and
 * SetTime the instant as a system_clock time_point, fraction kept; and
 * GetSecondsSince2001 and SetSecondsSince2001 the store's own value. Copies
 * and assignment keep the instant as stored, fraction included.
 *
 * A double holds the fraction to better than a microsecond within about a
 * century of 2001 (to 2^-22 s near now): a time_point set and read back may
 * differ by that much from what was set, never by more.
 *
 * Assigning to a wrapper that a container holds changes its store node in
 * place (same handle, same place in the container); assigning to a root
 * wrapper replaces its store node by a deep copy of the source's.
 *
 * Out of memory: every constructor but the adopting one, Clone and assignment
 * to a root wrapper throw std::bad_alloc, and a target keeps its old value.
 * SetValue and assignment to a held wrapper need no memory.
 *
 * Threads: as Node says: one tree is used by several threads at once only
 * through calls that change nothing.
 */
class ORVEX_CXX_API Date : public Node {
  public:
    /// A fresh store node holding the epoch (0). A parent given is not recorded: the wrapper is a root,
    /// owning its store node.
    ORVEX_IMPLICIT Date(Node *parent = nullptr);
    /// Wraps the existing store node `node` without a copy or type check; with
    /// a null parent the wrapper owns the handle and frees it when deleted.
    Date(orvex_t node, Node *parent);
    /// A root wrapper with a new store node holding the source's instant
    /// exactly as stored (a fraction of a second included).
    Date(const Date &d);
    /// Self-assignment does nothing.
    Date &operator=(const Date &d);
    /// A root wrapper holding `t` seconds since the epoch.
    ORVEX_IMPLICIT Date(int64_t t);
    /// A root wrapper holding the instant `t` (as SetTime).
    ORVEX_IMPLICIT Date(std::chrono::system_clock::time_point t);

    virtual ~Date();

    /// A new root copy (the exact instant, as the copy constructor), owned by
    /// the caller.
    virtual Node *Clone() const;

    /// Stores `t` whole seconds since the epoch.
    void SetValue(int64_t t);
    /// Whole seconds since the epoch, rounded down; a date beyond the 64-bit
    /// range (possible from a binary document) is clamped, and NaN reads as 0.
    int64_t GetValue() const;

    /// Stores the instant `t`, its fraction of a second included.
    void SetTime(std::chrono::system_clock::time_point t);
    /// The instant, rounded to the nearest tick of the clock. A date outside
    /// the clock's range (with nanosecond ticks, 1677 to 2262), infinities
    /// included, reads as time_point::min() or max(); NaN as the Unix epoch.
    std::chrono::system_clock::time_point GetTime() const;
    /// Stores `s` seconds relative to 2001-01-01T00:00:00Z exactly as given,
    /// NaN and infinities too (the binary encoding keeps them; see orvex.h for
    /// what the text writers make of them).
    void SetSecondsSince2001(double s);
    /// The stored value, exactly: seconds relative to 2001-01-01T00:00:00Z.
    double GetSecondsSince2001() const;
};

} // namespace Orvex

#endif
