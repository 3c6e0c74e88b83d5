// Orvex::Mirrors - the containers' mirrors of whole trees: filled from the
// store, copied, assigned and torn down from work lists, without recursion,
// so that any depth the store holds is safe. Internal.
#ifndef ORVEX_MIRRORS_HPP
#define ORVEX_MIRRORS_HPP

#include <cstddef>
#include <cstdint>
#include <map>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "orvex/Array.h"
#include "orvex/Dictionary.h"

#include "WrapperBlocks.hpp"

namespace Orvex {

// A dictionary entry as the store lends it while one level is filled: the key
// is the store's own text, valid until that dictionary changes.
struct LentEntry {
    uint64_t prefix; // the key's first 8 bytes, big-endian, zero-padded
    const char *key;
    size_t length;
    orvex_t value;
};

// What a fill carries from one container to the next.
struct FillWork {
    std::vector<Structure *> pending; // wrapped containers still to fill
    std::vector<LentEntry> entries;   // scratch for one dictionary, reused
    WrapperBlocks blocks;             // where the wrappers come from
};

// The one friend of Array and Dictionary that reaches into their mirrors.
class Mirrors {
  public:
    /// Wraps every store child of `root`, and theirs, into the mirrors, one
    /// level at a time from a work list. On throw every wrapper made is
    /// deleted and `root`'s mirror is empty again.
    static void Fill(Structure *root);
    /// Deletes every wrapper below `root`, leaving its mirror empty. Walks
    /// down the mirrors and back up through the parent links: no recursion
    /// and no allocation, so it is safe in destructors.
    static void Clear(Structure *root) noexcept;
    /// Moves one child wrapper out of `s`'s mirror into `child` (possibly
    /// null); false when the mirror is empty. `as` is `s` as an Array, or null
    /// for a Dictionary.
    static bool TakeChild(Structure *s, Array *as, Node *&child) noexcept;
    /// Puts the wrapper of the store child `node`, made in `work`'s blocks,
    /// into `slot` (null for a type without a class); a container comes with
    /// an empty mirror and is queued on `work.pending` to be filled.
    static void Wrap(orvex_t node, Structure *parent, Node *&slot, FillWork &work);

    /// The wrapper of the store node `node` in `top`'s subtree, found from
    /// the node's ancestry down the mirrors; null for a node outside it, a
    /// null value, or a mirror that disagrees with the store. Reads only.
    static Node *WrapperOf(Structure *top, orvex_t node);

    /// Makes `target`, just constructed and empty, a deep copy of the store
    /// node `source`. Throws std::bad_alloc, with `target` still empty.
    template <class C> static void CopyFrom(C &target, orvex_t source) {
        target._node = orvex_copy(source);
        if (!target._node && source)
            throw std::bad_alloc();
        Fill(&target);
    }

    /// Container assignment: the copy is built aside (`source` may lie inside
    /// what is replaced), so a throw leaves `target` as it was.
    template <class C> static void Assign(C &target, const C &source) {
        if (&target == &source)
            return;
        C fresh(source);
        Exchange(target, fresh); // `fresh` takes the old contents with it
    }

    /// Gives `target` the contents of `fresh`, a root copy built aside, and
    /// `fresh` the old ones, to go when it is destroyed. Nothing allocates: a
    /// root target swaps store nodes, a held one keeps its node (and its place
    /// in its container) and swaps the store children.
    template <class C> static void Exchange(C &target, C &fresh) {
        if (!target.GetParent())
            std::swap(target._node, fresh._node);
        else if (orvex_swap_contents(target._node, fresh._node) != ORVEX_ERR_SUCCESS)
            throw std::logic_error("Orvex: the store refused to exchange a container's contents");
        Mirror(target).swap(Mirror(fresh));
        for (auto &entry : Mirror(target))
            if (Node *child = Child(entry))
                target.UpdateNodeParent(child);
        for (auto &entry : Mirror(fresh))
            if (Node *child = Child(entry))
                fresh.UpdateNodeParent(child);
    }

  private:
    /// A wrapper of class T in `work`'s blocks.
    template <class T, class... Extra>
    static T *Make(FillWork &work, orvex_t node, Structure *parent, Extra... extra);
    static std::vector<Node *> &Mirror(Array &a) { return a._array; }
    static std::map<std::string, Node *> &Mirror(Dictionary &d) { return d._map; }
    static Node *Child(Node *child) { return child; }
    static Node *Child(const std::pair<const std::string, Node *> &entry) { return entry.second; }
};

// One level of a fill: a wrapper per store child of `node`, in store order.
void array_fill(Array *_this, std::vector<Node *> &array, orvex_t node, FillWork &work);
// One level of a fill: a wrapper per store entry of `node`, under its key.
void dictionary_fill(Dictionary *_this, std::map<std::string, Node *> &map, orvex_t node, FillWork &work);

} // namespace Orvex

#endif
