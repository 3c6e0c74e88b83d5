// Dictionaries: insertion-ordered entries, the hash index, compaction of
// removed entries, growth.
#include <sys/random.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "tree/node.hpp"

namespace orvex_store {

namespace {

// Dictionaries up to this size are scanned; larger ones get a hash index.
constexpr uint32_t INDEX_THRESHOLD = 8;

// Entry counts and key lengths stay below 2^32-1, the value that means "none".
constexpr uint32_t MAX_ENTRIES = 0xFFFFFFFEu;
constexpr uint32_t MAX_KEY_LEN = 0xFFFFFFFEu;
// The first block of entries: most dictionaries built one entry at a time
// are small, and four entries cost one allocation of 160 bytes.
constexpr uint32_t MIN_ENTRIES = 4;

// Removed entries keep their slot (walks and the index refer to slots) until
// compaction moves the live ones down. Compaction visits every slot and
// rebuilds the index, so it waits until removed entries outnumber live ones:
// it then frees at least as many slots as it moves, and a dictionary that
// alternates insertions and removals does not compact at every step.
// A full dictionary compacts instead of growing from this many slots on: the
// growth it avoids would have cost a pass over the entries too.
constexpr uint32_t COMPACT_WHEN_FULL_FROM = 8;
// A removal compacts only above this many slots: below it, scanning the
// removed slots costs less than moving the entries after every other removal.
constexpr uint32_t COMPACT_ON_REMOVAL_ABOVE = 16;
// When the index is full and at least 1/N of the slots are removed entries,
// compacting makes as much room as doubling the index would.
constexpr uint32_t COMPACT_ON_REBUILD_SHARE = 4;

bool mostly_removed(const DictBody *d) { return d->used > uint64_t(d->live) * 2; }

// The one growth policy for entries: at least double the capacity, so that
// entries appended one at a time are moved a constant number of times on
// average, and at least `need`. Capped at MAX_ENTRIES (then below `need`
// when `need` is past it).
uint64_t grown_capacity(uint32_t cap, uint64_t need) {
    uint64_t c = cap ? uint64_t(cap) * 2 : MIN_ENTRIES;
    if (c < need)
        c = need;
    return c < MAX_ENTRIES ? c : MAX_ENTRIES;
}

// The entries and the index share one block, the index after the `cap`
// entries: a dictionary costs one allocation's overhead, not two. Resizes
// the block to `cap` entries and `index_size` bytes of index; the index's
// bytes move along when `keep`. False on OOM, nothing changed.
bool resize_block(DictBody *d, uint64_t cap, size_t index_size, bool keep) {
    const size_t was_at = size_t(d->cap) * sizeof(DictEntry), at = size_t(cap) * sizeof(DictEntry);
    char *p = static_cast<char *>(std::realloc(d->entries, at + index_size));
    if (!p)
        return false;
    if (keep)
        std::memmove(p + at, p + was_at, index_size);
    d->entries = reinterpret_cast<DictEntry *>(p);
    d->cap = static_cast<uint32_t>(cap);
    d->index = index_size ? p + at : nullptr;
    return true;
}

void drop_index(DictBody *d) {
    d->index = nullptr;
    d->index_mask = 0;
}

// Index slots are as narrow as the positions they must hold until the next
// rebuild. make_index gives an index of 2^k slots to fewer than 2^(k-1)
// entries, so its size alone tells the width: one byte up to 512 slots (255
// entries), two up to 131,072 (65,535), four beyond.
constexpr uint32_t BYTE_SLOTS_MAX_MASK = 2 * 0xFFu + 1;
constexpr uint32_t SHORT_SLOTS_MAX_MASK = 2 * 0xFFFFu + 1;

size_t slot_bytes(uint32_t mask) {
    return mask <= BYTE_SLOTS_MAX_MASK ? 1 : mask <= SHORT_SLOTS_MAX_MASK ? 2 : 4;
}

// Calls `f` with the index as an array of its slot type.
template <typename F> decltype(auto) index_slots(const DictBody *d, F &&f) {
    if (d->index_mask <= BYTE_SLOTS_MAX_MASK)
        return f(static_cast<uint8_t *>(d->index));
    if (d->index_mask <= SHORT_SLOTS_MAX_MASK)
        return f(static_cast<uint16_t *>(d->index));
    return f(static_cast<uint32_t *>(d->index));
}

// Whether an index of size `mask` + 1 takes entries at positions below
// `used`: it stays at most three quarters full, so that runs stay short, and
// its slots hold `used`. Past a width's limit the index is rebuilt wider, at
// most twice in a dictionary's growth.
template <typename Slot> bool index_takes(const Slot *, uint32_t mask, uint64_t used) {
    return used * 4 <= (uint64_t(mask) + 1) * 3 && used <= std::numeric_limits<Slot>::max();
}

bool index_covers(const DictBody *d, uint64_t used) {
    return d->index &&
           index_slots(d, [d, used](const auto *slots) { return index_takes(slots, d->index_mask, used); });
}

template <typename Slot> void slot_insert(Slot *idx, uint32_t mask, uint32_t hash, uint32_t pos) {
    uint32_t s = hash & mask;
    while (idx[s])
        s = (s + 1) & mask;
    idx[s] = static_cast<Slot>(pos + 1);
}

void free_key(DictEntry &e) {
    if (e.klen >= sizeof(e.k.inl))
        std::free(e.k.ptr);
}

bool key_eq(const DictEntry &e, const char *key, size_t len, uint32_t h) {
    return e.val && e.hash == h && e.klen == len && std::memcmp(e.key(), key, len) == 0;
}

bool grow_entries(DictBody *d, uint64_t need) {
    if (need <= d->cap)
        return true;
    uint64_t cap = grown_capacity(d->cap, need);
    if (cap < need)
        return false;
    const size_t index_size = d->index ? (size_t(d->index_mask) + 1) * slot_bytes(d->index_mask) : 0;
    return resize_block(d, cap, index_size, true);
}

// An index with room for `slots` entries (at most half full), holding the
// live ones, the entries' capacity made `cap` (at least theirs) on the way.
// Past two billion slots there is none: lookups scan. False on OOM, with no
// index and the entries as they were.
bool make_index(DictBody *d, uint64_t slots, uint64_t cap) {
    drop_index(d);
    uint64_t size = 16;
    while (size < slots * 2 + 2)
        size <<= 1;
    if (size > (uint64_t(1) << 31))
        return cap == d->cap || resize_block(d, cap, 0, false);
    const uint32_t mask = static_cast<uint32_t>(size - 1);
    const size_t bytes = size_t(size) * slot_bytes(mask);
    if (!resize_block(d, cap, bytes, false))
        return false;
    std::memset(d->index, 0, bytes);
    d->index_mask = mask;
    index_slots(d, [d, mask](auto *idx_slots) {
        for (const DictEntry &e : live_entries(d))
            slot_insert(idx_slots, mask, e.hash, static_cast<uint32_t>(&e - d->entries));
    });
    return true;
}

// Sized from every slot in use, removed ones included: the index must keep
// room for the entries appended until the next rebuild, and sizing from live
// entries alone would rebuild on every append once removals pile up.
bool rebuild_index(DictBody *d) {
    if (d->live > INDEX_THRESHOLD)
        return make_index(d, d->used, d->cap);
    drop_index(d);
    return true;
}

// Drops removed entries, renumbering the children and the index.
bool compact(DictBody *d) {
    uint32_t w = 0;
    for (uint32_t r = 0; r < d->used; ++r) {
        if (!d->entries[r].val) {
            free_key(d->entries[r]);
            continue;
        }
        if (w != r)
            d->entries[w] = d->entries[r];
        d->entries[w].val->index = w;
        ++w;
    }
    d->used = w;
    return rebuild_index(d);
}

void index_insert(DictBody *d, uint32_t pos) {
    index_slots(d, [d, pos](auto *slots) { slot_insert(slots, d->index_mask, d->entries[pos].hash, pos); });
}

// A dictionary's body, made on first need (an empty dictionary has none);
// null when memory runs out.
DictBody *dict_body(Node *dict) {
    if (!dict->v.dict)
        dict->v.dict = static_cast<DictBody *>(std::calloc(1, sizeof(DictBody)));
    return dict->v.dict;
}

// A secret per process: a document's author cannot choose keys that share
// index slots, which would make every set and lookup walk one long run.
uint64_t make_seed() {
    uint64_t s = 0;
    if (getrandom(&s, sizeof s, GRND_NONBLOCK) != ssize_t(sizeof s)) {
        // No entropy yet (very early boot): the clock and where the loader
        // placed us still differ from run to run.
        s = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
        s ^= reinterpret_cast<uintptr_t>(&s) * 0x9E3779B97F4A7C15ull;
        s ^= reinterpret_cast<uintptr_t>(&make_seed) << 17;
    }
    return s;
}

// Entry position of `key`, whose hash is `h`, or NO_INDEX.
uint32_t find_hashed(const DictBody *d, const char *key, size_t len, uint32_t h) {
    if (!d || d->live == 0)
        return NO_INDEX;
    if (d->index) {
        return index_slots(d, [d, key, len, h](const auto *slots) {
            const uint32_t mask = d->index_mask;
            uint32_t s = h & mask;
            while (uint32_t e = slots[s]) {
                if (key_eq(d->entries[e - 1], key, len, h))
                    return e - 1;
                s = (s + 1) & mask;
            }
            return NO_INDEX;
        });
    }
    for (uint32_t i = 0; i < d->used; ++i)
        if (key_eq(d->entries[i], key, len, h))
            return i;
    return NO_INDEX;
}

// dict_put's steps, in the order it takes them.

// The entry at `pos` takes `child`; its old value is freed.
void replace_value(Node *dict, uint32_t pos, Node *child) {
    DictEntry &e = dict->v.dict->entries[pos];
    Node *old = e.val;
    e.val = child;
    child->parent = dict;
    child->index = pos;
    old->parent = nullptr;
    node_free_tree(old);
}

// A free slot at the end of the entries: removed entries reclaimed when they
// are most of a full dictionary, the entries grown otherwise.
bool make_room(DictBody *d) {
    if (d->used < d->cap)
        return true;
    if (d->used >= COMPACT_WHEN_FULL_FROM && mostly_removed(d) && !compact(d))
        return false;
    return grow_entries(d, uint64_t(d->used) + 1);
}

// Writes `key` and `child` into the free slot at the end; false on OOM, with
// nothing changed.
bool append_entry(Node *dict, DictBody *d, const char *key, size_t len, uint32_t hash, Node *child) {
    DictEntry &e = d->entries[d->used];
    std::memset(&e, 0, sizeof(e));
    if (len >= sizeof(e.k.inl)) {
        char *k = static_cast<char *>(std::malloc(len + 1));
        if (!k)
            return false;
        std::memcpy(k, key, len);
        k[len] = 0;
        e.k.ptr = k;
    } else {
        std::memcpy(e.k.inl, key, len);
        e.k.inl[len] = 0;
    }
    e.klen = static_cast<uint32_t>(len);
    e.hash = hash;
    e.val = child;
    e.seq = d->next_seq++;
    uint32_t at = d->used++;
    d->live++;
    child->parent = dict;
    child->index = at;
    return true;
}

// Takes the entry just appended into the index, rebuilding the index when it
// is full or its slots too narrow (an index left over from a reservation,
// with the dictionary back at the threshold, goes).
void index_appended(DictBody *d) {
    if (index_covers(d, d->used)) {
        index_insert(d, d->used - 1);
    } else if (d->live > INDEX_THRESHOLD || d->index) {
        // Compacting or doubling: either way at least half as many appends
        // as there are slots come before the next rebuild, so its cost is
        // amortised over them. Widening may come sooner, twice at most.
        bool ok = d->used - d->live >= d->used / COMPACT_ON_REBUILD_SHARE ? compact(d) : rebuild_index(d);
        if (!ok) // Without an index the dictionary still works, only slower.
            drop_index(d);
    }
}

// A new key: room made, the entry appended and taken into the index.
bool put_appended(Node *dict, const char *key, size_t len, uint32_t hash, Node *child) {
    DictBody *d = dict_body(dict);
    if (!d || !make_room(d) || !append_entry(dict, d, key, len, hash, child))
        return false;
    index_appended(d);
    return true;
}

// dict_put in a dictionary with an index, its slots of type `Slot`: one probe
// finds the key or the slot a new one takes, unless the entries or the index
// must grow or be compacted first.
template <typename Slot> bool put_indexed(Node *dict, DictBody *d, Slot *slots, const char *key, size_t len,
                                          uint32_t hash, Node *child) {
    const uint32_t mask = d->index_mask;
    uint32_t s = hash & mask;
    while (uint32_t e = slots[s]) {
        if (key_eq(d->entries[e - 1], key, len, hash)) {
            replace_value(dict, e - 1, child);
            return true;
        }
        s = (s + 1) & mask;
    }
    const uint64_t used = uint64_t(d->used) + 1;
    if (d->used == d->cap || !index_takes(slots, mask, used))
        return put_appended(dict, key, len, hash, child);
    if (!append_entry(dict, d, key, len, hash, child))
        return false;
    slots[s] = static_cast<Slot>(used);
    return true;
}

} // namespace

void dict_body_free(DictBody *d) {
    if (!d)
        return;
    for (uint32_t i = 0; i < d->used; ++i)
        free_key(d->entries[i]);
    std::free(d->entries);
    std::free(d);
}

uint32_t key_hash(const char *key, size_t len) {
    // Eight bytes at a time with a strong final mix: keys are hashed on every
    // lookup, so this sits on the hot path of large dictionaries.
    static const uint64_t seed = make_seed();
    uint64_t h = seed ^ 0x9E3779B97F4A7C15ull ^ (len * 0xC2B2AE3D27D4EB4Full);
    while (len >= 8) {
        uint64_t w;
        std::memcpy(&w, key, 8);
        h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 29;
        key += 8;
        len -= 8;
    }
    // The last 0-7 bytes with fixed-size loads (overlapping when 4 to 7).
    uint64_t tail = 0;
    if (len >= 4) {
        uint32_t a, b;
        std::memcpy(&a, key, 4);
        std::memcpy(&b, key + len - 4, 4);
        tail = (uint64_t(a) << 32) | b;
    } else if (len > 0) {
        const unsigned char *u = reinterpret_cast<const unsigned char *>(key);
        tail = (uint64_t(u[0]) << 16) | (uint64_t(u[len >> 1]) << 8) | u[len - 1];
    }
    h = (h ^ tail) * 0x94D049BB133111EBull;
    h ^= h >> 32;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 29;
    return static_cast<uint32_t>(h);
}

uint32_t dict_find(const Node *dict, const char *key, size_t len) {
    const DictBody *d = dict->v.dict;
    if (!d || d->live == 0)
        return NO_INDEX;
    return find_hashed(d, key, len, key_hash(key, len));
}

bool dict_put(Node *dict, const char *key, size_t len, Node *child) {
    if (len > MAX_KEY_LEN)
        return false;
    // Hashed once: for the lookup and for the new entry.
    const uint32_t hash = key_hash(key, len);
    if (DictBody *d = dict->v.dict; d && d->index && d->live)
        return index_slots(d,
                           [=](auto *slots) { return put_indexed(dict, d, slots, key, len, hash, child); });
    uint32_t pos = find_hashed(dict->v.dict, key, len, hash);
    if (pos != NO_INDEX) {
        replace_value(dict, pos, child);
        return true;
    }
    return put_appended(dict, key, len, hash, child);
}

bool dict_reserve(Node *dict, uint32_t extra) {
    DictBody *d = dict_body(dict);
    if (!d)
        return false;
    uint64_t need = uint64_t(d->used) + extra;
    if (need > MAX_ENTRIES)
        return false;
    if (uint64_t(d->live) + extra <= INDEX_THRESHOLD || index_covers(d, need))
        return grow_entries(d, need);
    // Entries and index in one reallocation; the old index is not moved.
    const uint64_t cap = need <= d->cap ? d->cap : grown_capacity(d->cap, need);
    return cap >= need && make_index(d, need, cap);
}

Node *dict_take(Node *dict, const char *key, size_t len) {
    uint32_t pos = dict_find(dict, key, len);
    if (pos == NO_INDEX)
        return nullptr;
    DictBody *d = dict->v.dict;
    Node *c = d->entries[pos].val;
    d->entries[pos].val = nullptr; // tombstone; the index slot stays until compaction
    d->live--;
    c->parent = nullptr;
    c->index = NO_INDEX;
    if (d->live == 0) {
        for (uint32_t i = 0; i < d->used; ++i)
            free_key(d->entries[i]);
        d->used = 0;
        rebuild_index(d);
    } else if (d->used > COMPACT_ON_REMOVAL_ABOVE && mostly_removed(d)) {
        compact(d);
    }
    return c;
}

} // namespace orvex_store
