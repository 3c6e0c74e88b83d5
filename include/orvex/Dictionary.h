// Orvex::Dictionary - the keyed container.
#ifndef ORVEX_DICTIONARY_H
#define ORVEX_DICTIONARY_H

#include <cstddef>
#include <initializer_list>
#include <map>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "orvex/Structure.h"
#include "orvex/Value.h"

namespace Orvex {

class Mirrors;

/**
 * A keyed container (store type ORVEX_DICT). It keeps one child wrapper per
 * entry, filed under its key in byte order (unsigned bytes, a prefix before
 * its extensions), and owns them: pointers and iterators it hands out stay
 * valid until that entry is replaced or removed, or the dictionary is
 * assigned to or destroyed, and must not be deleted by the caller. Values go
 * in as copies made by Clone, which keep the exact value (every byte of a
 * String, a Date's instant with its fraction); the caller keeps what it
 * passes. Reads never call the store but InOrder, which lists the entries
 * in the store's insertion order, the order of the documents it writes.
 *
 * Keys end at their first NUL byte, as they do in the store: every operation
 * taking a key uses only the text before it. An entry's wrapper is null for a
 * type without a class (ORVEX_NULL), and for a key that operator[] was asked
 * for and that was absent (that entry exists in the mirror only).
 *
 * Any depth the store holds is safe: wrapping, copying, assignment and
 * destruction go through the tree from a work list, without recursion. When memory runs out an
 * operation throws std::bad_alloc and leaves the dictionary as it was (an
 * assignment too), with nothing leaked.
 *
 * Values other than wrappers go in through Value (`d.Set("k", "text")`,
 * `d.Set("k", true)`, `d.Set("k", 2.5)`, `Dictionary{{"a", 1}, {"b", "x"}}`).
 * Integers too (`d.Set("k", 5)`, `d.Set("k", n)`), with one exception that
 * the fixed `Set(key, const Node *)` makes: a literal 0 or NULL is the null
 * pointer, and `d.Set("k", 0)` sets nothing and returns End(). Write
 * `d.Set("k", Integer(0))` or `d.Set("k", Value(0))` for the integer 0.
 *
 * Threads: as Node says: one tree is used by several threads at once only
 * through calls that change nothing. operator[] adds a mirror entry for a
 * missing key: read a shared dictionary with Get, Find or a const
 * dictionary's operator[] instead.
 */
class ORVEX_CXX_API Dictionary : public Structure {
  public:
    typedef std::map<std::string, Node *>::iterator iterator;
    typedef std::map<std::string, Node *>::const_iterator const_iterator;
    /// InOrder's entries: the key as the mirror files it, and the child.
    typedef std::vector<std::pair<const std::string &, Node *>> ordered_entries;

    /// A new empty store dictionary. A parent given is not recorded: the wrapper is a root, owning its store
    /// node.
    ORVEX_IMPLICIT Dictionary(Node *parent = nullptr);
    /// A new root dictionary of the `entries` in order, each value made as
    /// Value says (`Dictionary{{"a", 1}, {"list", Array{1, 2}}}`; a nested
    /// container is copied). A key given twice keeps its first place and its
    /// last value, as Set does. Braces with one Dictionary in them copy it,
    /// `Dictionary{}` is empty and `Dictionary{nullptr}` is
    /// Dictionary(Node *). Throws std::bad_alloc, leaving nothing behind.
    Dictionary(std::initializer_list<std::pair<std::string, Value>> entries);
    /// Wraps the existing store dictionary `node` and every node below it
    /// (level by level from a work list, not by recursion); with a null parent
    /// the dictionary owns the handle and frees the tree when deleted.
    Dictionary(orvex_t node, Node *parent);
    /// A root dictionary over a deep copy of `d`'s store tree, with new
    /// children (entries that exist in `d`'s mirror only are not copied).
    Dictionary(const Dictionary &d);
    /// Replaces the contents by a deep copy of `d`'s (also when `d` lies in
    /// this dictionary's own subtree). Earlier child pointers become invalid.
    /// A dictionary held by a container keeps its store node and place there.
    Dictionary &operator=(const Dictionary &d);

    /// Deletes every child wrapper; a root dictionary then frees its store
    /// tree.
    virtual ~Dictionary();
    /// A new root copy, owned by the caller.
    virtual Node *Clone() const;

    /// The child under `key`. For an absent key it adds a null entry to the
    /// mirror only (not to the store) and returns null.
    Node *operator[](const std::string &key);
    /// On a const dictionary: the child under `key`, or null when absent
    /// (or null in the store); adds nothing, so is safe beside other reads.
    const Node *operator[](const std::string &key) const;
    /// The child under `key`, or null when absent; never adds an entry.
    Node *Get(const std::string &key);
    const Node *Get(const std::string &key) const;
    /// Iterators over (key, child) in key order.
    iterator Begin();
    iterator begin();
    iterator End();
    iterator end();
    const_iterator Begin() const;
    const_iterator begin() const;
    const_iterator End() const;
    const_iterator end() const;
    /// The number of entries, null entries included.
    size_t size() const;
    /// The entry under `key`, or End(); never adds an entry.
    iterator Find(const std::string &key);
    const_iterator Find(const std::string &key) const;
    /// Files a copy of `node` (its Clone) under `key`, replacing (and deleting) a
    /// previous child; returns the entry, whose wrapper is the copy. A null
    /// `node` changes nothing and returns End().
    iterator Set(const std::string &key, const Node *node);
    iterator Set(const std::string &key, const Node &node);
    /// Files a new child made from `value` (see Value) under `key`, as
    /// above: `d.Set("k", "text")`, `d.Set("k", 2.5)`.
    iterator Set(const std::string &key, const Value &value);
    /// Booleans and reals exactly, so that neither a bool nor a double is
    /// taken for a wrapper to convert to.
    template <class T, typename std::enable_if<Value::IsExactArgument<T>(), int>::type = 0>
    iterator Set(const std::string &key, T value) {
        return Set(key, Value(value));
    }
    /// Removes the child `node` and deletes it; null does nothing. Throws
    /// std::logic_error, changing nothing, for a wrapper that is not a child
    /// of this dictionary.
    virtual void Remove(Node *node);
    /// Removes the entry under `key` and deletes its child; an absent key
    /// changes nothing.
    void Remove(const std::string &key);
    /// The key of the child `node` (compared by identity), or an empty string
    /// when it is not a child.
    std::string GetNodeKey(Node *node);

    /**
     * The entries in document order (the store's: insertion order, as the
     * writers write them) rather than key order:
     *
     *     for (auto &[key, node] : dict.InOrder()) ...
     *
     * A snapshot taken by this call, in one vector: later changes do not show
     * in it. Each key refers to the mirror's own, valid as long as that entry
     * is (as iterators are); an entry that exists in the mirror only (from
     * operator[]) is not in the store and not listed. O(n log n), with no
     * copy of a key for entries that have a wrapper. Reads only, so is safe
     * beside other reads of the tree. Throws std::bad_alloc when memory runs
     * out.
     */
    ordered_entries InOrder() const;

  private:
    /// Takes over `node` with an empty mirror, for Mirrors to fill.
    Dictionary(orvex_t node, Node *parent, Unfilled);

    std::map<std::string, Node *> _map;

    friend class Mirrors;
};

} // namespace Orvex

#endif
