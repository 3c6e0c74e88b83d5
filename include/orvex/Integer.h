// Orvex::Integer - a 64-bit integer value.
#ifndef ORVEX_INTEGER_H
#define ORVEX_INTEGER_H

#include <cstdint>
#include <type_traits>

#include "orvex/Node.h"
#include "orvex/Value.h"

namespace Orvex {

/**
 * A 64-bit integer (store type ORVEX_INT) with a signed and an unsigned
 * reading of the same bits; the store remembers whether a value was stored
 * signed or unsigned. Any integer type constructs and sets one (Integer(5),
 * SetValue(n) for a size_t n): a signed type is stored signed, an unsigned
 * one unsigned. Characters and bool do not (Value::IsInteger says which
 * types count).
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
class ORVEX_CXX_API Integer : public Node {
  public:
    /// A fresh store node holding 0 (unsigned). A parent given is not recorded: the wrapper is a root, owning
    /// its store node.
    ORVEX_IMPLICIT Integer(Node *parent = nullptr);
    /// Wraps the existing store node `node` without a copy or type check; with
    /// a null parent the wrapper owns the handle and frees it when deleted.
    Integer(orvex_t node, Node *parent);
    /// A root wrapper with a new store node that duplicates the source's,
    /// so the signed or unsigned reading survives.
    Integer(const Integer &i);
    /// Self-assignment does nothing.
    Integer &operator=(const Integer &i);
    /// A root wrapper holding `i` as unsigned.
    ORVEX_IMPLICIT Integer(uint64_t i);
    /// A root wrapper holding `i` as signed.
    ORVEX_IMPLICIT Integer(int64_t i);
    /// A root wrapper holding `i`, signed when its type is.
    template <class I, typename std::enable_if<Value::IsInteger<I>() && !std::is_same<I, int64_t>::value &&
                                                   !std::is_same<I, uint64_t>::value,
                                               int>::type = 0>
    ORVEX_IMPLICIT Integer(I i) : Integer(static_cast<Widened<I>>(i)) {}

    virtual ~Integer();

    /// A new root copy, owned by the caller.
    virtual Node *Clone() const;

    /// Stores `i` as signed.
    void SetValue(int64_t i);
    /// Stores `i` as unsigned (same as SetUnsignedValue).
    void SetValue(uint64_t i);
    /// Stores `i` as unsigned.
    void SetUnsignedValue(uint64_t i);
    /// Stores `i`, signed when its type is.
    template <class I, typename std::enable_if<Value::IsInteger<I>() && !std::is_same<I, int64_t>::value &&
                                                   !std::is_same<I, uint64_t>::value,
                                               int>::type = 0>
    void SetValue(I i) {
        SetValue(static_cast<Widened<I>>(i));
    }
    /// The signed reading.
    int64_t GetValue() const;
    /// The unsigned reading of the same 64 bits.
    uint64_t GetUnsignedValue() const;
    /// True only for a value stored signed and below zero.
    bool isNegative() const;

  private:
    template <class I> using Widened =
        typename std::conditional<std::is_signed<I>::value, int64_t, uint64_t>::type;
};

} // namespace Orvex

#endif
