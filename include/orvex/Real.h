// Orvex::Real - a floating-point value.
#ifndef ORVEX_REAL_H
#define ORVEX_REAL_H

#include <cstdint>
#include <type_traits>

#include "orvex/Node.h"
#include "orvex/Value.h"

namespace Orvex {

/**
 * A double (store type ORVEX_REAL).
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
class ORVEX_CXX_API Real : public Node {
  public:
    /// A fresh store node holding 0.0. A parent given is not recorded: the wrapper is a root, owning its
    /// store node.
    ORVEX_IMPLICIT Real(Node *parent = nullptr);
    /// Wraps the existing store node `node` without a copy or type check; with
    /// a null parent the wrapper owns the handle and frees it when deleted.
    Real(orvex_t node, Node *parent);
    /// A root wrapper with a new store node holding the source's value.
    Real(const Real &d);
    /// Self-assignment does nothing.
    Real &operator=(const Real &d);
    /// A root wrapper holding `d`.
    ORVEX_IMPLICIT Real(double d);
    /// A root wrapper holding the integer `i` as a double (the nearest one
    /// past 2^53), so that Real(0) is not taken for Real(Node *).
    template <class I, typename std::enable_if<Value::IsInteger<I>(), int>::type = 0> ORVEX_IMPLICIT Real(I i)
        : Real(static_cast<double>(i)) {}

    virtual ~Real();

    /// A new root copy, owned by the caller.
    virtual Node *Clone() const;

    /// Stores `d` in the store node.
    void SetValue(double d);
    /// The stored value.
    double GetValue() const;
};

} // namespace Orvex

#endif
