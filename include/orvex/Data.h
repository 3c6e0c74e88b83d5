// Orvex::Data - a byte blob value.
#ifndef ORVEX_DATA_H
#define ORVEX_DATA_H

#include <cstdint>
#include <vector>

#include "orvex/Node.h"

namespace Orvex {

/**
 * A byte blob (store type ORVEX_DATA). Bytes cross to the store with their
 * length, so every byte value, NUL included, is kept.
 *
 * Assigning to a wrapper that a container holds changes its store node in
 * place (same handle, same place in the container); assigning to a root
 * wrapper replaces its store node by a deep copy of the source's.
 *
 * Out of memory: every constructor but the adopting one, Clone, assignment,
 * SetValue and GetValue throw std::bad_alloc, and a target keeps its old
 * bytes.
 *
 * Threads: as Node says: one tree is used by several threads at once only
 * through calls that change nothing.
 */
class ORVEX_CXX_API Data : public Node {
  public:
    /// A fresh store node holding no bytes. A parent given is not recorded: the wrapper is a root, owning its
    /// store node.
    ORVEX_IMPLICIT Data(Node *parent = nullptr);
    /// Wraps the existing store node `node` without a copy or type check; with
    /// a null parent the wrapper owns the handle and frees it when deleted.
    Data(orvex_t node, Node *parent);
    /// A root wrapper with a new store node holding the source's bytes.
    Data(const Data &d);
    /// Self-assignment does nothing.
    Data &operator=(const Data &b);
    /// A root wrapper holding the bytes of `buff`.
    ORVEX_IMPLICIT Data(const std::vector<char> &buff);
    /// A root wrapper holding `size` bytes from `buff`; null is the empty blob.
    Data(const char *buff, uint64_t size);

    virtual ~Data();

    /// A new root copy, owned by the caller.
    virtual Node *Clone() const;

    /// Stores the bytes of `buff` in the store node.
    void SetValue(const std::vector<char> &buff);
    /// A copy of the stored bytes. Throws std::length_error for a blob longer
    /// than a vector can hold.
    std::vector<char> GetValue() const;
};

} // namespace Orvex

#endif
