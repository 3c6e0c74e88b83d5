// Dictionaries: entries in insertion order, a hash index once they are more
// than a handful, removed entries kept as tombstones until compaction.
// Included by node.hpp; nothing here is exported.
#ifndef ORVEX_STORE_DICT_HPP
#define ORVEX_STORE_DICT_HPP

#include <cstddef>
#include <cstdint>

namespace orvex_store {

struct Node;

// A dictionary entry. Keys of up to 15 bytes live inline; longer ones in a
// malloc'd block. A null `val` marks a removed entry awaiting compaction.
struct DictEntry {
    union {
        char inl[16];
        char *ptr;
    } k;
    uint32_t klen;
    uint32_t hash;
    Node *val;
    // Rises along the entries and survives compaction: a walk finds its place
    // again by it after the entries have moved.
    uint64_t seq;

    const char *key() const { return klen < sizeof(k.inl) ? k.inl : k.ptr; }
};

struct DictBody {
    DictEntry *entries; // insertion order, removed entries included
    uint32_t used;      // slots of `entries` in use, removed ones included
    uint32_t cap;
    uint32_t live;       // entries that hold a value
    uint32_t index_mask; // hash index size - 1, or 0 while there is no index
    // Open addressing: entry position + 1, 0 for empty, in slots of 1, 2 or
    // 4 bytes as the index's size decides (dict.cpp, index_slots). It lives
    // in the block of `entries`, after `cap` of them, and is not freed alone.
    void *index;
    uint64_t next_seq; // `seq` of the next entry appended
};

uint32_t key_hash(const char *key, size_t len);
// Entry position of `key`, or NO_INDEX.
uint32_t dict_find(const Node *dict, const char *key, size_t len);
// Puts `child` under `key`: an existing entry keeps its position and its old
// value is freed. False on OOM (child stays the caller's).
bool dict_put(Node *dict, const char *key, size_t len, Node *child);
// Room for `extra` more entries, and an index to match; false on OOM.
bool dict_reserve(Node *dict, uint32_t extra);
// Detaches the value under `key` and returns it, or null.
Node *dict_take(Node *dict, const char *key, size_t len);
// Frees the body's keys, entries and index; not the values.
void dict_body_free(DictBody *d);

// The first entry in [e, end) that holds a value, or `end`: removed entries
// keep their slot, with a null value, until compaction.
inline const DictEntry *next_live(const DictEntry *e, const DictEntry *end) {
    while (e != end && !e->val)
        ++e;
    return e;
}

// Position of the first entry at or after `i` that holds a value, or `d->used`.
inline uint32_t dict_next_live(const DictBody *d, uint32_t i) {
    return static_cast<uint32_t>(next_live(d->entries + i, d->entries + d->used) - d->entries);
}

// The entries of a dictionary body (null for none) that hold a value, in
// order: `for (const DictEntry &e : live_entries(body))`.
class LiveEntries {
  public:
    class iterator {
      public:
        iterator(const DictEntry *e, const DictEntry *end) : e_(next_live(e, end)), end_(end) {}
        const DictEntry &operator*() const { return *e_; }
        iterator &operator++() {
            e_ = next_live(e_ + 1, end_);
            return *this;
        }
        bool operator!=(const iterator &o) const { return e_ != o.e_; }

      private:
        const DictEntry *e_, *end_;
    };
    explicit LiveEntries(const DictBody *d)
        : begin_(d ? d->entries : nullptr), end_(d ? d->entries + d->used : nullptr) {}
    iterator begin() const { return {begin_, end_}; }
    iterator end() const { return {end_, end_}; }

  private:
    const DictEntry *begin_, *end_;
};
inline LiveEntries live_entries(const DictBody *d) { return LiveEntries(d); }

} // namespace orvex_store

#endif
