// Orvex::TreeWork - wrapping and destroying whole wrapper trees without
// recursion, so that any depth the store holds is safe. Internal.
#ifndef ORVEX_TREE_WORK_HPP
#define ORVEX_TREE_WORK_HPP

#include <map>
#include <string>
#include <vector>

#include "orvex/Array.h"
#include "orvex/Dictionary.h"

namespace Orvex {

class TreeWork {
public:
    /// Wraps every store child of `root`, and theirs, into the mirrors, one
    /// level at a time from a work list. On throw every wrapper made is
    /// deleted and `root`'s mirror is empty again.
    static void Fill(Structure* root);
    /// Deletes every wrapper below `root`, leaving its mirror empty. Walks
    /// down the mirrors and back up through the parent links: no recursion
    /// and no allocation, so it is safe in destructors.
    static void Clear(Structure* root) noexcept;
    /// Moves one child wrapper out of `s`'s mirror into `child` (possibly
    /// null); false when the mirror is empty. `as` is `s` as an Array, or null
    /// for a Dictionary.
    static bool TakeChild(Structure* s, Array* as, Node*& child) noexcept;
    /// Puts the wrapper of the store child `node` into `slot` (null for a type
    /// without a class); a container comes with an empty mirror and is queued
    /// on `pending` to be filled.
    static void Wrap(orvex_t node, Structure* parent, Node*& slot,
                     std::vector<Structure*>& pending);
};

// One level of a fill: a wrapper per store child of `node`, in store order.
// Throws std::bad_alloc when the store cannot lend its iterator.
void array_fill(Array* _this, std::vector<Node*>& array, orvex_t node,
                std::vector<Structure*>& pending);
// One level of a fill: a wrapper per store entry of `node`, under its key.
// Throws std::bad_alloc when the store cannot lend its iterator or a key.
void dictionary_fill(Dictionary* _this, std::map<std::string, Node*>& map, orvex_t node,
                     std::vector<Structure*>& pending);

} // namespace Orvex

#endif
