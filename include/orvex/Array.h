// Orvex::Array - the ordered container.
#ifndef ORVEX_ARRAY_H
#define ORVEX_ARRAY_H

#include <climits>
#include <cstddef>
#include <initializer_list>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

#include "orvex/Structure.h"
#include "orvex/Value.h"

namespace Orvex {

class Mirrors;

/**
 * An ordered container (store type ORVEX_ARRAY). It keeps one child wrapper
 * per item, in store order, and owns them: pointers it hands out stay valid
 * until that child is removed, the array is assigned to or destroyed, and
 * must not be deleted by the caller. Values go in as copies made by Clone,
 * which keep the exact value (every byte of a String, a Date's instant with
 * its fraction); the caller keeps what it passes. An item of a type without
 * a class (ORVEX_NULL) has a null entry. Reads never call the store.
 *
 * Positions are unsigned int; Remove also takes any other integer type, so
 * that Remove(0) removes position 0 rather than being taken for
 * Remove(Node *). Values other than wrappers go in through Value
 * (`a.Append("text")`, `a.Append(2.5)`, `Array{1, "two", 3.0}`). Append and
 * Insert take integers too (`a.Append(5)`, `a.Append(n)`), but a literal 0
 * or NULL is the null `Node *` of the fixed `Append(const Node *)`, which
 * appends nothing: write `a.Append(Integer(0))` or `a.Append(Value(0))`.
 *
 * Any depth the store holds is safe: wrapping, copying, assignment and
 * destruction go through the tree from a work list, without recursion. When memory runs out an
 * operation throws std::bad_alloc and leaves the array as it was (an
 * assignment too), with nothing leaked.
 *
 * Threads: as Node says: one tree is used by several threads at once only
 * through calls that change nothing.
 */
class ORVEX_CXX_API Array : public Structure {
  public:
    typedef std::vector<Node *>::iterator iterator;
    typedef std::vector<Node *>::const_iterator const_iterator;

    /// A new empty store array. A parent given is not recorded: the wrapper is a root, owning its store node.
    ORVEX_IMPLICIT Array(Node *parent = nullptr);
    /**
     * A new root array of the `items` in order, each made as Value says:
     * `Array{1, "two", 3.0, Array{4, 5}}` (a nested container is copied).
     * Not an initializer-list constructor, so that braces keep their old
     * meanings: one Array (or a class derived from it) in braces is a copy
     * (`Array b{a};`, also `Array{Array{1, 2}}`: nest one array with
     * Append), `Array{}` is empty, and what is no Value (`Array{nullptr}`,
     * a Node *, a store handle and parent) goes to the constructors above.
     * A literal 0 alone is the null `Node *` of Array(Node *), so `Array{0}`
     * and `Array(0)` stay the empty array (the array holding 0 is
     * `Array{Integer(0)}`); `Array{5}` holds 5. The one-item form is
     * explicit, as `Array a = 5;` would read oddly; `Array a = {1, 2};`
     * converts. Throws std::bad_alloc, leaving nothing behind.
     */
    template <
        class... Items,
        typename std::enable_if<
            (sizeof...(Items) > 1) && (std::is_convertible<Items &&, Value>::value && ...), int>::type = 0>
    Array(Items &&...items) : Array() {
        AppendAll({Value(std::forward<Items>(items))...});
    }
    explicit Array(const Value &item) : Array() { Append(item); }
    /// Wraps the existing store array `node` and every node below it (level by
    /// level from a work list, not by recursion); with a null parent the
    /// array owns the handle and frees the tree when deleted.
    Array(orvex_t node, Node *parent);
    /// A root array over a deep copy of `a`'s store tree, with new children.
    Array(const Array &a);
    /// Replaces the contents by a deep copy of `a`'s (also when `a` lies in
    /// this array's own subtree). Earlier child pointers become invalid. An
    /// array held by a container keeps its store node and place there.
    Array &operator=(const Array &a);

    /// Deletes every child wrapper; a root array then frees its store tree.
    virtual ~Array();
    /// A new root copy, owned by the caller.
    virtual Node *Clone() const;

    /// The child at `array_index` (null for an ORVEX_NULL item); throws
    /// std::out_of_range when `array_index` >= size().
    Node *operator[](unsigned int array_index);
    /// The same on a const array: reads only, safe beside other reads.
    const Node *operator[](unsigned int array_index) const;
    /// The first child, or null when the array is empty.
    Node *Front();
    Node *front();
    /// The last child, or null when the array is empty.
    Node *Back();
    Node *back();
    /// Iterators over the children, in order.
    iterator Begin();
    iterator begin();
    iterator End();
    iterator end();
    const_iterator Begin() const;
    const_iterator begin() const;
    const_iterator End() const;
    const_iterator end() const;
    /// The number of children.
    size_t size() const;

    /// Appends a copy of `node` (its Clone); null does nothing.
    void Append(const Node *node);
    void Append(const Node &node);
    /// Inserts a copy of `node` (its Clone) before position `pos` (`pos` == size()
    /// appends); null does nothing. Throws std::out_of_range, changing
    /// nothing, when `pos` > size().
    void Insert(const Node *node, unsigned int pos);
    void Insert(const Node &node, unsigned int pos);
    /// Appends or inserts a new child made from `value` (see Value):
    /// `a.Append(5)`, `a.Insert("text", 0u)`. Same failures as above.
    void Append(const Value &value);
    void Insert(const Value &value, unsigned int pos);
    /// Booleans and reals exactly, so that neither a bool nor a double is
    /// taken for a wrapper to convert to.
    template <class T, typename std::enable_if<Value::IsExactArgument<T>(), int>::type = 0>
    void Append(T value) {
        Append(Value(value));
    }
    template <class T, typename std::enable_if<Value::IsExactArgument<T>(), int>::type = 0>
    void Insert(T value, unsigned int pos) {
        Insert(Value(value), pos);
    }
    /// Removes the child `node` and deletes it. A null pointer or a wrapper
    /// that is not a child of this array changes nothing.
    virtual void Remove(Node *node);
    /// Removes and deletes the child at `pos`; throws std::out_of_range,
    /// changing nothing, when `pos` >= size().
    void Remove(unsigned int pos);
    /// Remove(unsigned int) for any other integer type (Remove(0)); a
    /// negative position or one past unsigned int throws std::out_of_range.
    template <class I, typename std::enable_if<Value::IsInteger<I>() && !std::is_same<I, unsigned int>::value,
                                               int>::type = 0>
    void Remove(I pos) {
        if constexpr (std::is_signed<I>::value)
            if (pos < 0)
                throw std::out_of_range("Orvex::Array::Remove: negative position");
        if constexpr (sizeof(I) > sizeof(unsigned int))
            if (static_cast<typename std::make_unsigned<I>::type>(pos) > UINT_MAX)
                throw std::out_of_range("Orvex::Array::Remove: position past the end");
        Remove(static_cast<unsigned int>(pos));
    }
    /// The position of the child `node` (compared by identity), or size()
    /// when it is not a child.
    unsigned int GetNodeIndex(const Node *node) const;
    unsigned int GetNodeIndex(const Node &node) const;

  private:
    /// Takes over `node` with an empty mirror, for Mirrors to fill.
    Array(orvex_t node, Node *parent, Unfilled);
    /// The list constructor's work: appends each of `items` in turn.
    void AppendAll(std::initializer_list<Value> items);

    std::vector<Node *> _array;

    friend class Mirrors;
};

} // namespace Orvex

#endif
