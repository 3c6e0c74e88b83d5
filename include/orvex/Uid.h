// Orvex::Uid - a UID value.
#ifndef ORVEX_UID_H
#define ORVEX_UID_H

#include <cstdint>

#include "orvex/Node.h"

namespace Orvex {

/**
 * An unsigned 64-bit UID (store type ORVEX_UID).
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
class ORVEX_CXX_API Uid : public Node {
  public:
    /// A fresh store node holding 0. A parent given is not recorded: the wrapper is a root, owning its store
    /// node.
    ORVEX_IMPLICIT Uid(Node *parent = nullptr);
    /// Wraps the existing store node `node` without a copy or type check; with
    /// a null parent the wrapper owns the handle and frees it when deleted.
    Uid(orvex_t node, Node *parent);
    /// A root wrapper with a new store node holding the source's value.
    Uid(const Uid &i);
    /// Self-assignment does nothing.
    Uid &operator=(const Uid &i);
    /// A root wrapper holding `i`.
    ORVEX_IMPLICIT Uid(uint64_t i);

    virtual ~Uid();

    /// A new root copy, owned by the caller.
    virtual Node *Clone() const;

    /// Stores `i` in the store node.
    void SetValue(uint64_t i);
    /// The stored value.
    uint64_t GetValue() const;
};

} // namespace Orvex

#endif
