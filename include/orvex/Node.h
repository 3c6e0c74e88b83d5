// Orvex::Node - the abstract base of every wrapper in the object model.
#ifndef ORVEX_NODE_H
#define ORVEX_NODE_H

#include <cstddef>
#include <new>
#include <type_traits>

#include "orvex/Export.h"
#include "orvex/NodeClass.h"
#include "orvex/orvex.h"

/*
 * Every one-argument constructor of the wrapper classes converts implicitly
 * (`String s = "text";`, `Integer i = int64_t(5);`), and so does the
 * parent-only one: `String s = dict["Name"];` compiles, and makes a new,
 * empty String rather than reading the entry. Define
 * ORVEX_NO_IMPLICIT_CONVERSIONS before including any Orvex header to make
 * all of them explicit, so that the compiler refuses such conversions. Copy
 * constructors stay implicit, and so do the conversions to Value (Value.h)
 * and the containers' lists (`Array a = {1, 2};`, a Dictionary's of any
 * length), which make no wrapper of a lone value; Array's one-item list is
 * explicit either way. The library itself is the same either way.
 */
#ifdef ORVEX_NO_IMPLICIT_CONVERSIONS
#define ORVEX_IMPLICIT explicit
#else
#define ORVEX_IMPLICIT
#endif

namespace Orvex {

class Structure;

/**
 * A wrapper standing for one store node. The wrapper keeps no copy of the
 * value: every question goes to the store.
 *
 * Ownership: a root wrapper (no parent) owns its store node and, through the
 * store, the whole subtree below it; deleting it frees that subtree once. A
 * wrapper held by a container (GetParent() not null) never frees its store
 * node and is deleted by its container, never by the caller. A wrapper made
 * by a parent-only constructor is a root whatever parent it is given: no
 * container holds its new store node, so it records no parent (GetParent()
 * is null) and frees that node when deleted.
 *
 * Reading an entry's value: a container hands out `Node*`; ask its class,
 * or its type, and read through that class. Converting it instead (`String
 * s = dict["Name"];`) runs the parent-only constructor and gives a new empty
 * value (see ORVEX_NO_IMPLICIT_CONVERSIONS above):
 *
 *     if (auto *s = Orvex::As<Orvex::String>(dict.Get("Name")))
 *         name = s->GetValue();
 *     if (auto *i = Orvex::As<Orvex::Integer>(array[0u]))
 *         count = i->GetValue();
 *
 * Threads: wrappers of distinct trees may be used on any threads at once. One
 * tree (its root wrapper and every wrapper below it) may be used by several
 * threads at once only through calls that change neither the store nor the
 * mirror: getters, GetType and GetParent, lookups, iteration, Clone, the
 * writers. Setters, insertion, removal, assignment and deletion change the
 * tree, and so does Dictionary::operator[] for a missing key (it adds a
 * mirror entry): such a call must not run beside any other call on the tree.
 */
class ORVEX_CXX_API Node {
  public:
    /// Frees the store node if this is a root wrapper; a child frees nothing.
    virtual ~Node();

    /// A copy as a new root wrapper with its own store node (containers copy
    /// their whole store tree; values as their copy constructor says); the
    /// caller deletes it.
    virtual Node *Clone() const = 0;

    /// The store node's type, asked of the store each time; ORVEX_NONE when
    /// the wrapper has no store node.
    orvex_type GetType() const;
    /// The store handle. It stays owned as described above: never free or
    /// re-parent it while the wrapper lives.
    orvex_t GetOrvex() const;
    /// The container that holds this wrapper, or null for a root wrapper.
    Node *GetParent() const;

    /**
     * Wraps an existing store node in the class that matches its type (a
     * container with its whole subtree); the wrapper takes the handle as it
     * is. Null for a null handle. For a type without a class (ORVEX_NULL):
     * null, and a root handle (no parent) is freed, while a child handle is
     * left to its container. Any depth is safe. Throws std::bad_alloc when
     * memory runs out; a root handle has then been freed (it was handed over).
     */
    static Node *FromOrvex(orvex_t node, Node *parent);

    /// This wrapper as a T (Boolean, Integer, String, Array, Structure, Node
    /// or any other class derived from Node), or null when it is another
    /// class or T stands for no store type it has (a String is never an
    /// Integer; a wrapper without a store node is only a Node). For the
    /// library's classes this asks the store node's type (see NodeClass),
    /// which stays the wrapper's class as long as the node is changed
    /// through its wrapper; retyping it through orvex.h's setters is not
    /// supported. Other classes are asked with dynamic_cast. Changes
    /// nothing: safe beside other reads of the tree.
    template <class T> T *As() {
        static_assert(std::is_base_of<Node, T>::value, "Node::As: T must be Orvex::Node or derived from it");
        if (NodeClass<T>::ByType)
            return NodeClass<T>::Holds(GetType()) ? static_cast<T *>(this) : nullptr;
        return dynamic_cast<T *>(this);
    }
    template <class T> const T *As() const {
        static_assert(std::is_base_of<Node, T>::value, "Node::As: T must be Orvex::Node or derived from it");
        if (NodeClass<T>::ByType)
            return NodeClass<T>::Holds(GetType()) ? static_cast<const T *>(this) : nullptr;
        return dynamic_cast<const T *>(this);
    }

    /// Wrappers are copied through their concrete class (copy constructor,
    /// assignment, Clone); copying only the base would share one store node
    /// between two owners.
    Node(const Node &) = delete;
    Node &operator=(const Node &) = delete;

    /**
     * Wrappers are made with `new` and destroyed with `delete`, as any
     * class. The wrappers a container makes while it fills from the store
     * (FromOrvex, parsing, copying a container) share blocks of memory that
     * go with the last of them; any other wrapper is one malloc. Each carries
     * one word more than its class. Throws std::bad_alloc when memory runs
     * out. Arrays of wrappers (`new String[n]`) use the global functions.
     */
    static void *operator new(std::size_t size);
    static void operator delete(void *object, std::size_t size) noexcept;
    /// Null instead of std::bad_alloc; never from a block.
    static void *operator new(std::size_t size, const std::nothrow_t &) noexcept;
    static void operator delete(void *object, const std::nothrow_t &) noexcept;
    /// Placement new, as for any class: the caller owns the storage and runs
    /// the destructor itself.
    static void *operator new(std::size_t, void *where) noexcept { return where; }
    static void operator delete(void *, void *) noexcept {}
    // Over-aligned subclasses keep the global functions.
    static void *operator new(std::size_t size, std::align_val_t align) {
        return ::operator new(size, align);
    }
    static void operator delete(void *object, std::size_t, std::align_val_t align) noexcept {
        ::operator delete(object, align);
    }

  protected:
    /// Records the parent only; the derived constructor sets _node.
    ORVEX_IMPLICIT Node(Node *parent);
    /// Takes over `node` as it is, with no store call and no type check.
    Node(orvex_t node, Node *parent);
    /// Creates a fresh, unattached root store node of `type` holding its zero
    /// value (an empty key for ORVEX_KEY); a type outside ORVEX_BOOLEAN to
    /// ORVEX_UID creates none. `parent` is not recorded: no container
    /// holds the new store node, so the wrapper is a root and frees it. Throws
    /// std::bad_alloc when the store cannot make the node.
    Node(orvex_type type, Node *parent);

    /// Copy assignment of the value classes: nothing for itself; a held
    /// wrapper keeps its store node and `set_in_place` gives it the value; a
    /// root takes a copy of the source's store node, or throws std::bad_alloc
    /// with its old node intact.
    void AssignFrom(const Node &source, void (*set_in_place)(Node &target, const Node &source));
    /// A new root copy of the store node `node` (null for null); throws
    /// std::bad_alloc when the store cannot make it.
    static orvex_t CopyOf(orvex_t node);

    orvex_t _node;

  private:
    Node *_parent;

    friend class Structure;
};

/// As Node::As, for a pointer that may be null (an absent entry, an
/// ORVEX_NULL item): null in, null out.
template <class T> T *As(Node *node) { return node ? node->As<T>() : nullptr; }
template <class T> const T *As(const Node *node) { return node ? node->As<T>() : nullptr; }

/**
 * Value equality of two wrappers' store subtrees, as orvex_equal says:
 * same types and shapes, integers equal as numbers, reals bit for bit,
 * dates as instants, text and data byte for byte, dictionary entries in the
 * same order (`Dictionary{{"a", 1}, {"b", 2}}` differs from
 * `Dictionary{{"b", 2}, {"a", 1}}`). Two wrappers without a store node are
 * equal. Both sides must be wrappers: nothing converts to one, so
 * `node == 5` does not compile (write `node == Integer(5)`), and comparing
 * `Node *` still compares identity. Allocates nothing; a read, safe beside
 * other reads of either tree.
 */
template <class A, class B,
          typename std::enable_if<std::is_base_of<Node, A>::value && std::is_base_of<Node, B>::value,
                                  int>::type = 0>
bool operator==(const A &a, const B &b) {
    return orvex_equal(a.GetOrvex(), b.GetOrvex()) != 0;
}

template <class A, class B,
          typename std::enable_if<std::is_base_of<Node, A>::value && std::is_base_of<Node, B>::value,
                                  int>::type = 0>
bool operator!=(const A &a, const B &b) {
    return !(a == b);
}

} // namespace Orvex

#endif
