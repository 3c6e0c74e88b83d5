// The order in which a text writer takes a container's children: as stored
// (StoreOrder, which compiles to the plain walk), or with every dictionary's
// entries in byte order of their keys (KeyOrder, for ORVEX_WRITE_SORTED).
// Either follows the writer's stack of open containers: opened() as one is
// pushed, closed() before it is popped, next() for the one on top. KeyOrder
// keeps its order beside the tree, which it never writes to, so one tree may
// be written sorted by several threads.
#ifndef ORVEX_STORE_KEY_ORDER_HPP
#define ORVEX_STORE_KEY_ORDER_HPP

#include <algorithm>
#include <cstring>
#include <vector>

#include "tree/node.hpp"

namespace orvex_store {

// Unsigned bytes, a key before the keys it is a prefix of. Keys hold no NUL.
inline bool key_less(const DictEntry &a, const DictEntry &b) {
    const int c = std::memcmp(a.key(), b.key(), a.klen < b.klen ? a.klen : b.klen);
    return c < 0 || (c == 0 && a.klen < b.klen);
}

// Positions of the live entries of `d` (null for none), in key order,
// appended to `out`. Out of line: the writers' walks in store order stay as
// they were.
[[gnu::noinline]] inline void sorted_positions(const DictBody *d, std::vector<uint32_t> &out, size_t from) {
    for (const DictEntry &x : live_entries(d))
        out.push_back(static_cast<uint32_t>(&x - d->entries));
    std::sort(out.begin() + static_cast<std::ptrdiff_t>(from), out.end(),
              [d](uint32_t a, uint32_t b) { return key_less(d->entries[a], d->entries[b]); });
}

struct StoreOrder {
    void opened(const Node *) {}
    void closed(const Node *) {}
    const Node *next(const Node *c, uint32_t *i, const DictEntry **entry) const {
        return next_child(c, i, entry);
    }
};

class KeyOrder {
  public:
    void opened(const Node *c) {
        if (c->type != ORVEX_DICT)
            return;
        starts_.push_back(pos_.size());
        sorted_positions(c->v.dict, pos_, starts_.back());
    }
    void closed(const Node *c) {
        if (c->type != ORVEX_DICT)
            return;
        pos_.resize(starts_.back());
        starts_.pop_back();
    }
    // As next_child; `*i` counts the entries taken.
    const Node *next(const Node *c, uint32_t *i, const DictEntry **entry) const {
        if (c->type != ORVEX_DICT)
            return next_child(c, i, entry);
        const size_t at = starts_.back() + *i;
        if (at == pos_.size())
            return nullptr;
        ++*i;
        *entry = c->v.dict->entries + pos_[at];
        return (*entry)->val;
    }

  private:
    std::vector<uint32_t> pos_;  // the open dictionaries' entry positions, the top one's last
    std::vector<size_t> starts_; // where each open dictionary's positions start
};

} // namespace orvex_store

#endif
