// The value tree: allocation, text storage, arrays, insertion-ordered
// dictionaries with a hash index, and iterative free and copy.
#include "tree/node.hpp"

#include <sys/random.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace orvex_store {

namespace {

// Dictionaries up to this size are scanned; larger ones get a hash index.
constexpr uint32_t INDEX_THRESHOLD = 8;

Node *raw_new(uint8_t type) {
    Node *n = static_cast<Node *>(std::calloc(1, sizeof(Node)));
    if (n) {
        n->type = type;
        n->index = NO_INDEX;
    }
    return n;
}

// The start of an array's items block (null when there is none).
ArrayLog *log_of(Node *arr) { return const_cast<ArrayLog *>(array_log(arr)); }

void free_key(DictEntry &e) {
    if (e.klen >= sizeof(e.k.inl))
        std::free(e.k.ptr);
}

void free_text(Node *n) {
    if (!(n->flags & NODE_INLINE))
        std::free(n->v.heap.ptr);
    n->flags &= static_cast<uint8_t>(~NODE_INLINE);
}

void free_dict_body(DictBody *d) {
    if (!d)
        return;
    for (uint32_t i = 0; i < d->used; ++i)
        free_key(d->entries[i]);
    std::free(d->entries);
    std::free(d->index);
    std::free(d);
}

// Releases the node's own storage, not its children.
void release_storage(Node *n) {
    if (is_text(n->type))
        free_text(n);
    else if (n->type == ORVEX_ARRAY)
        std::free(log_of(n));
    else if (n->type == ORVEX_DICT)
        free_dict_body(n->v.dict);
}

// Calls `f` on each child of a container, in order; the children stay attached.
template <class F> void for_each_child(Node *n, F &&f) {
    if (n->type == ORVEX_ARRAY) {
        for (uint32_t i = 0; i < n->v.arr.size; ++i)
            f(n->v.arr.items[i]);
    } else if (n->type == ORVEX_DICT) {
        for (const DictEntry &e : live_entries(n->v.dict))
            f(e.val);
    }
}

void log_change(Node *arr, uint32_t pos, bool removed, bool inner) {
    ArrayLog *log = log_of(arr);
    log->changes++;
    log->inner_inserts += inner;
    log->last_pos = pos;
    log->last_removed = removed;
}

bool grow_items(Node *arr, uint32_t need) {
    if (need <= arr->v.arr.cap)
        return true;
    uint64_t cap = arr->v.arr.cap ? uint64_t(arr->v.arr.cap) * 2 : 4;
    if (cap < need)
        cap = need;
    if (cap > 0xFFFFFFFFu)
        cap = 0xFFFFFFFFu;
    if (cap < need || cap > (SIZE_MAX - sizeof(ArrayLog)) / sizeof(Node *))
        return false;
    ArrayLog *old = log_of(arr);
    void *p = std::realloc(old, sizeof(ArrayLog) + size_t(cap) * sizeof(Node *));
    if (!p)
        return false;
    if (!old)
        std::memset(p, 0, sizeof(ArrayLog));
    arr->v.arr.items = reinterpret_cast<Node **>(static_cast<char *>(p) + sizeof(ArrayLog));
    arr->v.arr.cap = static_cast<uint32_t>(cap);
    return true;
}

bool key_eq(const DictEntry &e, const char *key, size_t len, uint32_t h) {
    return e.val && e.hash == h && e.klen == len && std::memcmp(e.key(), key, len) == 0;
}

// An index with room for `slots` entries (at most half full), holding the
// live ones. Past two billion slots there is none: lookups scan.
bool make_index(DictBody *d, uint64_t slots) {
    std::free(d->index);
    d->index = nullptr;
    d->index_mask = 0;
    uint64_t size = 16;
    while (size < slots * 2 + 2)
        size <<= 1;
    if (size > (uint64_t(1) << 31))
        return true;
    uint32_t *idx = static_cast<uint32_t *>(std::calloc(size_t(size), sizeof(uint32_t)));
    if (!idx)
        return false;
    uint32_t mask = static_cast<uint32_t>(size - 1);
    for (const DictEntry &e : live_entries(d)) {
        uint32_t s = e.hash & mask;
        while (idx[s])
            s = (s + 1) & mask;
        idx[s] = static_cast<uint32_t>(&e - d->entries) + 1;
    }
    d->index = idx;
    d->index_mask = mask;
    return true;
}

// Sized from every slot in use, removed ones included: the index must keep
// room for the entries appended until the next rebuild, and sizing from live
// entries alone would rebuild on every append once removals pile up.
bool rebuild_index(DictBody *d) {
    if (d->live > INDEX_THRESHOLD)
        return make_index(d, d->used);
    std::free(d->index);
    d->index = nullptr;
    d->index_mask = 0;
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
    uint32_t s = d->entries[pos].hash & d->index_mask;
    while (d->index[s])
        s = (s + 1) & d->index_mask;
    d->index[s] = pos + 1;
}

} // namespace

Node *node_new(uint8_t type) {
    Node *n = raw_new(type);
    if (n && is_text(type)) {
        n->flags = NODE_INLINE;
    }
    return n;
}

namespace {

// A node of `type` that `fill` sets up; null on allocation failure.
template <class Fill> Node *new_filled(uint8_t type, Fill fill) {
    Node *n = raw_new(type);
    if (n)
        fill(n);
    return n;
}

} // namespace

Node *node_new_int(uint64_t bits, bool is_signed) {
    return new_filled(ORVEX_INT, [=](Node *n) {
        n->v.u = bits;
        n->flags = is_signed ? NODE_SIGNED : 0;
    });
}
Node *node_new_real(double r) {
    return new_filled(ORVEX_REAL, [=](Node *n) { n->v.r = r; });
}
Node *node_new_date(double since_2001) {
    return new_filled(ORVEX_DATE, [=](Node *n) { n->v.r = since_2001; });
}
Node *node_new_uid(uint64_t v) {
    return new_filled(ORVEX_UID, [=](Node *n) { n->v.u = v; });
}
Node *node_new_bool(bool b) {
    return new_filled(ORVEX_BOOLEAN, [=](Node *n) { n->v.b = b ? 1 : 0; });
}

Node *node_new_text(uint8_t type, const char *p, size_t len) {
    Node *n = raw_new(type);
    if (n && !node_set_text(n, type, p, len)) {
        std::free(n);
        return nullptr;
    }
    return n;
}

bool node_set_text(Node *n, uint8_t type, const char *p, size_t len) {
    if (!p)
        len = 0;
    // A key's text ends at its first NUL, as a dictionary key's does, so a key
    // node reads and writes the same text however it was made.
    if (type == ORVEX_KEY && len)
        if (const void *z = std::memchr(p, 0, len))
            len = static_cast<size_t>(static_cast<const char *>(z) - p);
    if (len <= INLINE_MAX) {
        char tmp[16];
        if (len)
            std::memcpy(tmp, p, len); // p may point into our own text
        node_reset(n, type);
        std::memcpy(n->v.inl, tmp, len);
        n->v.inl[len] = 0;
        n->ilen = static_cast<uint8_t>(len);
        n->flags = NODE_INLINE;
        return true;
    }
    if (len >= SIZE_MAX - 1)
        return false;
    char *buf = static_cast<char *>(std::malloc(len + 1));
    if (!buf)
        return false;
    std::memcpy(buf, p, len);
    buf[len] = 0;
    node_reset(n, type);
    n->flags = 0;
    n->v.heap.ptr = buf;
    n->v.heap.len = len;
    return true;
}

void node_reset(Node *n, uint8_t type) {
    if (is_container(n->type)) {
        // Children go first, so the container never holds freed nodes.
        for_each_child(n, [](Node *c) {
            c->parent = nullptr;
            node_free_tree(c);
        });
    }
    release_storage(n);
    std::memset(&n->v, 0, sizeof(n->v));
    n->type = type;
    n->flags = is_text(type) ? NODE_INLINE : 0;
    n->ilen = 0;
}

void node_free_tree(Node *root) {
    if (!root)
        return;
    // Containers waiting to be freed are chained through their own `parent`
    // field, which nothing reads any more: no allocation, no recursion, and
    // no stack that grows with the tree.
    root->parent = nullptr;
    Node *pending = root;
    while (pending) {
        Node *n = pending;
        pending = n->parent;
        for_each_child(n, [&](Node *c) {
            if (is_container(c->type)) {
                c->parent = pending;
                pending = c;
            } else {
                release_storage(c);
                std::free(c);
            }
        });
        release_storage(n);
        std::free(n);
    }
}

namespace {

Node *copy_one(const Node *s) {
    Node *d = raw_new(s->type);
    if (!d)
        return nullptr;
    if (is_text(s->type)) {
        size_t len;
        const char *p = node_text(s, &len);
        if (!node_set_text(d, s->type, p, len)) {
            std::free(d);
            return nullptr;
        }
    } else if (!is_container(s->type)) {
        d->flags = s->flags;
        d->v = s->v;
    }
    return d;
}

} // namespace

Node *node_copy_tree(const Node *src) {
    if (!src)
        return nullptr;
    Node *root = copy_one(src);
    if (!root || !is_container(src->type))
        return root;
    struct Job {
        const Node *src;
        Node *dst;
    };
    try {
        std::vector<Job> stack;
        stack.push_back({src, root});
        while (!stack.empty()) {
            Job j = stack.back();
            stack.pop_back();
            if (j.src->type == ORVEX_ARRAY) {
                if (!array_reserve(j.dst, j.src->v.arr.size))
                    throw std::bad_alloc();
                for (uint32_t i = 0; i < j.src->v.arr.size; ++i) {
                    const Node *c = j.src->v.arr.items[i];
                    Node *cc = copy_one(c);
                    if (!cc || !array_push(j.dst, cc)) {
                        node_free_tree(cc);
                        throw std::bad_alloc();
                    }
                    if (is_container(c->type))
                        stack.push_back({c, cc});
                }
            } else if (j.src->v.dict) {
                const DictBody *d = j.src->v.dict;
                if (!dict_reserve(j.dst, d->live))
                    throw std::bad_alloc();
                for (const DictEntry &e : live_entries(d)) {
                    Node *cc = copy_one(e.val);
                    if (!cc || !dict_put(j.dst, e.key(), e.klen, cc)) {
                        node_free_tree(cc);
                        throw std::bad_alloc();
                    }
                    if (is_container(e.val->type))
                        stack.push_back({e.val, cc});
                }
            }
        }
    } catch (const std::bad_alloc &) {
        node_free_tree(root);
        return nullptr;
    }
    return root;
}

bool array_reserve(Node *arr, uint32_t extra) {
    uint64_t need = uint64_t(arr->v.arr.size) + extra;
    if (need > 0xFFFFFFFFu)
        return false;
    return grow_items(arr, static_cast<uint32_t>(need));
}

namespace {

// A dictionary's body, made on first need (an empty dictionary has none);
// null when memory runs out.
DictBody *dict_body(Node *dict) {
    if (!dict->v.dict)
        dict->v.dict = static_cast<DictBody *>(std::calloc(1, sizeof(DictBody)));
    return dict->v.dict;
}

} // namespace

bool dict_reserve(Node *dict, uint32_t extra) {
    DictBody *d = dict_body(dict);
    if (!d)
        return false;
    uint64_t need = uint64_t(d->used) + extra;
    if (need > 0xFFFFFFFEu)
        return false;
    if (need > d->cap) {
        void *p = std::realloc(d->entries, size_t(need) * sizeof(DictEntry));
        if (!p)
            return false;
        d->entries = static_cast<DictEntry *>(p);
        d->cap = static_cast<uint32_t>(need);
    }
    bool index_fits = d->index && need * 4 <= (uint64_t(d->index_mask) + 1) * 3;
    if (uint64_t(d->live) + extra > INDEX_THRESHOLD && !index_fits)
        return make_index(d, need);
    return true;
}

bool array_push(Node *arr, Node *child) {
    uint32_t size = arr->v.arr.size;
    if (size == 0xFFFFFFFFu || !grow_items(arr, size + 1))
        return false;
    arr->v.arr.items[size] = child;
    arr->v.arr.size = size + 1;
    child->parent = arr;
    child->index = size;
    log_change(arr, size, false, false);
    return true;
}

bool array_insert(Node *arr, Node *child, uint32_t pos) {
    uint32_t size = arr->v.arr.size;
    if (pos > size || size == 0xFFFFFFFFu || !grow_items(arr, size + 1))
        return false;
    Node **items = arr->v.arr.items;
    std::memmove(items + pos + 1, items + pos, size_t(size - pos) * sizeof(Node *));
    items[pos] = child;
    arr->v.arr.size = size + 1;
    for (uint32_t i = pos + 1; i <= size; ++i)
        items[i]->index = i;
    child->parent = arr;
    child->index = pos;
    log_change(arr, pos, false, pos < size);
    return true;
}

Node *array_take(Node *arr, uint32_t pos) {
    uint32_t size = arr->v.arr.size;
    if (pos >= size)
        return nullptr;
    Node **items = arr->v.arr.items;
    Node *c = items[pos];
    std::memmove(items + pos, items + pos + 1, size_t(size - pos - 1) * sizeof(Node *));
    arr->v.arr.size = size - 1;
    for (uint32_t i = pos; i < size - 1; ++i)
        items[i]->index = i;
    c->parent = nullptr;
    c->index = NO_INDEX;
    log_change(arr, pos, true, false);
    return c;
}

namespace {

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

} // namespace

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

namespace {

// Entry position of `key`, whose hash is `h`, or NO_INDEX.
uint32_t find_hashed(const DictBody *d, const char *key, size_t len, uint32_t h) {
    if (!d || d->live == 0)
        return NO_INDEX;
    if (d->index) {
        uint32_t s = h & d->index_mask;
        while (uint32_t e = d->index[s]) {
            if (key_eq(d->entries[e - 1], key, len, h))
                return e - 1;
            s = (s + 1) & d->index_mask;
        }
        return NO_INDEX;
    }
    for (uint32_t i = 0; i < d->used; ++i)
        if (key_eq(d->entries[i], key, len, h))
            return i;
    return NO_INDEX;
}

} // namespace

uint32_t dict_find(const Node *dict, const char *key, size_t len) {
    const DictBody *d = dict->v.dict;
    if (!d || d->live == 0)
        return NO_INDEX;
    return find_hashed(d, key, len, key_hash(key, len));
}

bool dict_put(Node *dict, const char *key, size_t len, Node *child) {
    if (len > 0xFFFFFFFEu)
        return false;
    // Hashed once: for the lookup and for the new entry.
    const uint32_t hash = key_hash(key, len);
    uint32_t pos = find_hashed(dict->v.dict, key, len, hash);
    if (pos != NO_INDEX) {
        DictEntry &e = dict->v.dict->entries[pos];
        Node *old = e.val;
        e.val = child;
        child->parent = dict;
        child->index = pos;
        old->parent = nullptr;
        node_free_tree(old);
        return true;
    }
    DictBody *d = dict_body(dict);
    if (!d)
        return false;
    if (d->used == d->cap) {
        if (d->used > d->live * 2u && d->used >= 8) {
            // Mostly removed entries: reclaim them before growing.
            if (!compact(d))
                return false;
        }
    }
    if (d->used == d->cap) {
        uint64_t cap = d->cap ? uint64_t(d->cap) * 2 : 4;
        if (cap > 0xFFFFFFFEu)
            cap = 0xFFFFFFFEu;
        if (cap <= d->used)
            return false;
        void *p = std::realloc(d->entries, size_t(cap) * sizeof(DictEntry));
        if (!p)
            return false;
        d->entries = static_cast<DictEntry *>(p);
        d->cap = static_cast<uint32_t>(cap);
    }
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
    if (d->index && (uint64_t(d->used) + 1) * 4 <= (uint64_t(d->index_mask) + 1) * 3) {
        index_insert(d, at);
    } else if (d->live > INDEX_THRESHOLD) {
        // The index is full. Removed entries among the slots are dropped
        // when they are a quarter or more; otherwise the index doubles.
        // Either way at least half as many appends as there are slots come
        // before the next rebuild, so its cost is amortised over them.
        bool ok = d->used - d->live >= d->used / 4 ? compact(d) : rebuild_index(d);
        if (!ok) {
            // Without an index the dictionary still works, only slower.
            d->index = nullptr;
            d->index_mask = 0;
        }
    }
    return true;
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
    } else if (d->used > 16 && d->live * 2u < d->used) {
        compact(d);
    }
    return c;
}

bool is_ancestor(const Node *anc, const Node *n) {
    for (; n; n = n->parent)
        if (n == anc)
            return true;
    return false;
}

void node_detach(Node *n) {
    Node *p = n->parent;
    if (!p)
        return;
    if (p->type == ORVEX_ARRAY) {
        array_take(p, n->index);
    } else if (p->type == ORVEX_DICT) {
        DictBody *d = p->v.dict;
        const DictEntry &e = d->entries[n->index];
        dict_take(p, e.key(), e.klen);
    }
    n->parent = nullptr;
    n->index = NO_INDEX;
}

} // namespace orvex_store
