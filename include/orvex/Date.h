// Orvex::Date - a date value.
#ifndef ORVEX_DATE_H
#define ORVEX_DATE_H

#include <cstdint>

#include "orvex/Node.h"

namespace Orvex {

/**
 * A date (store type ORVEX_DATE) read and written as whole seconds relative
 * to the Unix epoch, negative before it. Reading a date that holds fractions
 * rounds toward negative infinity; copies and assignment keep the instant as
 * stored, fraction included.
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

    virtual ~Date();

    /// A new root copy (the exact instant, as the copy constructor), owned by
    /// the caller.
    virtual Node *Clone() const;

    /// Stores `t` whole seconds since the epoch.
    void SetValue(int64_t t);
    /// Whole seconds since the epoch, rounded down; a date beyond the 64-bit
    /// range (possible from a binary document) is clamped, and NaN reads as 0.
    int64_t GetValue() const;
};

} // namespace Orvex

#endif
