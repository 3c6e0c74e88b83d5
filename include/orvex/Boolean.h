// Orvex::Boolean - a boolean value.
#ifndef ORVEX_BOOLEAN_H
#define ORVEX_BOOLEAN_H

#include <cstdint>

#include "orvex/Node.h"

namespace Orvex {

/**
 * A boolean value (store type ORVEX_BOOLEAN).
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
class ORVEX_CXX_API Boolean : public Node {
  public:
    /// A fresh store node holding false. A parent given is not recorded: the wrapper is a root, owning its
    /// store node.
    ORVEX_IMPLICIT Boolean(Node *parent = nullptr);
    /// Wraps the existing store node `node` without a copy or type check; with
    /// a null parent the wrapper owns the handle and frees it when deleted.
    Boolean(orvex_t node, Node *parent);
    /// A root wrapper with a new store node holding the source's value as
    /// exactly true or false.
    Boolean(const Boolean &b);
    /// Self-assignment does nothing.
    Boolean &operator=(const Boolean &b);
    /// A root wrapper holding `b`.
    ORVEX_IMPLICIT Boolean(bool b);

    virtual ~Boolean();

    /// A new root copy, owned by the caller.
    virtual Node *Clone() const;

    /// Stores `b` in the store node.
    void SetValue(bool b);
    /// True for any nonzero stored value.
    bool GetValue() const;
};

} // namespace Orvex

#endif
