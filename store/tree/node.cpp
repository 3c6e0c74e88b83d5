// The value tree: allocation, text storage, arrays, and iterative free and
// copy. Dictionaries are in tree/dict.cpp.
#include "tree/node.hpp"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define ORVEX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVEX_ASAN 1
#endif
#endif
#if defined(ORVEX_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace orvex_store {

// A NodeBlocks block's first slot. `live` counts the bytes of its nodes and
// texts not yet freed, the bytes never handed out, and the slot itself for
// the NodeBlocks still taking from it.
struct Block {
    std::atomic<uint32_t> live;
};
static_assert(sizeof(Block) <= sizeof(Node), "a block's header takes one slot");

namespace {

// The sanitizer would not see a node freed inside a live block: it is marked
// unreachable until the block itself is freed.
inline void mark_freed(void *p, size_t n) {
#if defined(ORVEX_ASAN)
    ASAN_POISON_MEMORY_REGION(p, n);
#else
    (void)p;
    (void)n;
#endif
}
inline void mark_usable(void *p, size_t n) {
#if defined(ORVEX_ASAN)
    ASAN_UNPOISON_MEMORY_REGION(p, n);
#else
    (void)p;
    (void)n;
#endif
}

Block *block_of(Node *n) {
    return reinterpret_cast<Block *>(reinterpret_cast<char *>(n) - size_t(n->slot) * sizeof(Node));
}

// Drops `n` counts from `b`, freeing it with the last.
void release(Block *b, uint32_t n) {
    if (b->live.fetch_sub(n, std::memory_order_acq_rel) == n) {
        b->live.~atomic();
        std::free(b);
    }
}

// Bytes of `n`'s block that its text holds.
inline uint32_t block_text_bytes(const Node *n) { return (n->flags & NODE_BLOCK_TEXT) ? n->ilen : 0; }

// Frees nodes one after another, one atomic step per run of nodes of the same
// block (a tree freed in the order it was read is mostly such runs). A node
// handed over owns nothing but its room in the block, its text's included.
class Disposer {
  public:
    ~Disposer() { flush(); }
    void add_from_block(Node *n) {
        Block *b = block_of(n);
        uint32_t text = block_text_bytes(n);
        if (text)
            mark_freed(n->v.heap.ptr, text);
        mark_freed(n, sizeof(Node));
        if (b != block_) {
            flush();
            block_ = b;
        }
        count_ += uint32_t(sizeof(Node)) + text;
    }
    // The same out of line, for a walk that expects few such nodes.
    __attribute__((noinline)) void add_out_of_line(Node *n) { add_from_block(n); }

  private:
    Block *block_ = nullptr;
    uint32_t count_ = 0;
    void flush() {
        if (block_)
            release(block_, count_);
        block_ = nullptr;
        count_ = 0;
    }
};

// Where a new node comes from: a zeroed node, or null.
struct FromHeap {
    Node *operator()() const { return static_cast<Node *>(std::calloc(1, sizeof(Node))); }
};
struct FromBlocks {
    NodeBlocks &blocks;
    Node *operator()() const { return blocks.take(); }
};

template <class Source> Node *raw_new(uint8_t type, Source source) {
    Node *n = source();
    if (n) {
        n->type = type;
        n->index = NO_INDEX;
    }
    return n;
}

// The start of an array's items block (null when there is none).
ArrayLog *log_of(Node *arr) { return const_cast<ArrayLog *>(array_log(arr)); }

void free_text(Node *n) {
    if (n->flags & NODE_BLOCK_TEXT) {
        // The node itself still counts: the block outlives this.
        mark_freed(n->v.heap.ptr, n->ilen);
        block_of(n)->live.fetch_sub(n->ilen, std::memory_order_acq_rel);
        n->ilen = 0;
    } else if (!(n->flags & NODE_INLINE)) {
        std::free(n->v.heap.ptr);
    }
    n->flags &= static_cast<uint8_t>(~(NODE_INLINE | NODE_BLOCK_TEXT));
}

// Releases the node's own storage, not its children.
void release_storage(Node *n) {
    if (is_text(n->type))
        free_text(n);
    else if (n->type == ORVEX_ARRAY)
        std::free(log_of(n));
    else if (n->type == ORVEX_DICT)
        dict_body_free(n->v.dict);
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

} // namespace

NodeBlocks::~NodeBlocks() { retire(); }

void NodeBlocks::retire() {
    if (cur_)
        release(cur_, tail_ - next_ + uint32_t(sizeof(Node)));
    cur_ = nullptr;
    next_ = tail_ = 0;
}

// Replaces the current block with one of at least `slots` slots.
bool NodeBlocks::start_block(uint32_t slots) {
    retire();
    // While the guess lasts, blocks follow it; past it (texts took room, or
    // shared objects were read more than once) half of what came before, so
    // a small document that guessed short still gets a small block.
    uint64_t want = expected_ ? expected_ : !handed_ ? BLOCK_SLOTS : handed_ / 2 > 8 ? handed_ / 2 : 8;
    if (want > slots)
        slots = want < BLOCK_SLOTS ? static_cast<uint32_t>(want) : BLOCK_SLOTS;
    expected_ = expected_ > slots ? expected_ - slots : 0;
    const uint32_t size = uint32_t(sizeof(Node)) * (slots + 1);
    void *p = std::malloc(size);
    if (!p)
        return false;
    handed_ += slots;
    cur_ = new (p) Block{{size}};
    mark_freed(static_cast<char *>(p) + sizeof(Node), size - sizeof(Node));
    next_ = uint32_t(sizeof(Node));
    tail_ = size;
    return true;
}

Node *NodeBlocks::take_with_text(uint32_t text_bytes, char **text, uint32_t align) {
    // Nodes from the front, texts from the end, down to their alignment.
    const uint32_t need = uint32_t(sizeof(Node)) + text_bytes + align - 1;
    if (tail_ - next_ < need && !start_block((need + uint32_t(sizeof(Node)) - 1) / uint32_t(sizeof(Node))))
        return nullptr;
    const uint32_t at = (tail_ - text_bytes) & ~(align - 1);
    char *base = reinterpret_cast<char *>(cur_);
    Node *n = reinterpret_cast<Node *>(base + next_);
    mark_usable(n, sizeof(Node));
    std::memset(static_cast<void *>(n), 0, sizeof(Node));
    n->slot = static_cast<uint8_t>(next_ / sizeof(Node));
    next_ += uint32_t(sizeof(Node));
    if (text_bytes) {
        mark_usable(base + at, tail_ - at);
        n->ilen = static_cast<uint8_t>(tail_ - at);
        *text = base + at;
        tail_ = at;
    }
    return n;
}

namespace {

template <class Source> Node *new_node(uint8_t type, Source source) {
    Node *n = raw_new(type, source);
    if (n && is_text(type)) {
        n->flags = NODE_INLINE;
    }
    return n;
}

} // namespace

Node *node_new(uint8_t type) { return new_node(type, FromHeap()); }
Node *node_new(uint8_t type, NodeBlocks &blocks) { return new_node(type, FromBlocks{blocks}); }

namespace {

// A node of `type` that `fill` sets up; null on allocation failure.
template <class Source, class Fill> Node *new_filled(uint8_t type, Source source, Fill fill) {
    Node *n = raw_new(type, source);
    if (n)
        fill(n);
    return n;
}

} // namespace

namespace {
template <class Source> Node *new_int(uint64_t bits, bool is_signed, Source source) {
    return new_filled(ORVEX_INT, source, [=](Node *n) {
        n->v.u = bits;
        n->flags = is_signed ? NODE_SIGNED : 0;
    });
}
} // namespace
Node *node_new_int(uint64_t bits, bool is_signed) { return new_int(bits, is_signed, FromHeap()); }
Node *node_new_int(uint64_t bits, bool is_signed, NodeBlocks &blocks) {
    return new_int(bits, is_signed, FromBlocks{blocks});
}
namespace {
template <class Source> Node *new_real(double r, Source source) {
    return new_filled(ORVEX_REAL, source, [=](Node *n) { n->v.r = r; });
}
} // namespace
Node *node_new_real(double r) { return new_real(r, FromHeap()); }
Node *node_new_real(double r, NodeBlocks &blocks) { return new_real(r, FromBlocks{blocks}); }
namespace {
template <class Source> Node *new_date(double since_2001, Source source) {
    return new_filled(ORVEX_DATE, source, [=](Node *n) { n->v.r = since_2001; });
}
} // namespace
Node *node_new_date(double since_2001) { return new_date(since_2001, FromHeap()); }
Node *node_new_date(double since_2001, NodeBlocks &blocks) {
    return new_date(since_2001, FromBlocks{blocks});
}
namespace {
template <class Source> Node *new_uid(uint64_t v, Source source) {
    return new_filled(ORVEX_UID, source, [=](Node *n) { n->v.u = v; });
}
} // namespace
Node *node_new_uid(uint64_t v) { return new_uid(v, FromHeap()); }
Node *node_new_uid(uint64_t v, NodeBlocks &blocks) { return new_uid(v, FromBlocks{blocks}); }
namespace {
template <class Source> Node *new_bool(bool b, Source source) {
    return new_filled(ORVEX_BOOLEAN, source, [=](Node *n) { n->v.b = b ? 1 : 0; });
}
} // namespace
Node *node_new_bool(bool b) { return new_bool(b, FromHeap()); }
Node *node_new_bool(bool b, NodeBlocks &blocks) { return new_bool(b, FromBlocks{blocks}); }

namespace {

// A key's text ends at its first NUL, as a dictionary key's does, so a key
// node reads and writes the same text however it was made.
size_t text_length(uint8_t type, const char *p, size_t len) {
    if (!p)
        return 0;
    if (type == ORVEX_KEY && len)
        if (const void *z = std::memchr(p, 0, len))
            return static_cast<size_t>(static_cast<const char *>(z) - p);
    return len;
}

// Data on 8 bytes, as malloc would align it, for callers that read words from
// it; strings packed. Under ASan everything on the sanitizer's 8-byte
// granules, so that a released text is poisoned exactly.
uint32_t block_text_align(uint8_t type) {
#if defined(ORVEX_ASAN)
    (void)type;
    return 8;
#else
    return type == ORVEX_DATA ? 8 : 1;
#endif
}

// A malloc'd NUL-terminated copy of `len` bytes at `p`, or null.
char *heap_copy(const char *p, size_t len) {
    if (len >= SIZE_MAX - 1)
        return nullptr;
    char *buf = static_cast<char *>(std::malloc(len + 1));
    if (buf) {
        std::memcpy(buf, p, len);
        buf[len] = 0;
    }
    return buf;
}

// A text node of `len` bytes at `p`, a key's already cut at its NUL. A fresh
// node holds nothing to reset, and is zeroed: an inline text's NUL is there.
template <class Source> Node *new_text(uint8_t type, const char *p, size_t len, Source source) {
    if (len <= INLINE_MAX) {
        Node *n = raw_new(type, source);
        if (n) {
            if (len)
                std::memcpy(n->v.inl, p, len);
            n->ilen = static_cast<uint8_t>(len);
            n->flags = NODE_INLINE;
        }
        return n;
    }
    char *buf = heap_copy(p, len);
    if (!buf)
        return nullptr;
    Node *n = raw_new(type, source);
    if (!n) {
        std::free(buf);
        return nullptr;
    }
    n->v.heap.ptr = buf;
    n->v.heap.len = len;
    return n;
}

} // namespace

Node *node_new_text(uint8_t type, const char *p, size_t len) {
    return new_text(type, p, text_length(type, p, len), FromHeap());
}
Node *node_new_text(uint8_t type, const char *p, size_t len, NodeBlocks &blocks) {
    len = text_length(type, p, len);
    if (len <= INLINE_MAX || len > BLOCK_TEXT_MAX)
        return new_text(type, p, len, FromBlocks{blocks});
    char *t = nullptr;
    Node *n =
        raw_new(type, [&] { return blocks.take_with_text(uint32_t(len) + 1, &t, block_text_align(type)); });
    if (!n)
        return nullptr;
    std::memcpy(t, p, len);
    t[len] = 0;
    n->flags = NODE_BLOCK_TEXT;
    n->v.heap.ptr = t;
    n->v.heap.len = len;
    return n;
}

bool node_set_text(Node *n, uint8_t type, const char *p, size_t len) {
    len = text_length(type, p, len);
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
    char *buf = heap_copy(p, len); // before the reset: p may point into our own text
    if (!buf)
        return false;
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

namespace {

// `FromBlocks`: whether the tree's nodes come mostly from NodeBlocks (a
// binary document's) or from malloc; either walk frees both kinds, each is
// laid out for its own.
template <bool FromBlocks> void free_tree(Node *root) {
    // Containers waiting to be freed are chained through their own `parent`
    // field, which nothing reads any more: no allocation, no recursion, and
    // no stack that grows with the tree.
    root->parent = nullptr;
    Disposer nodes;
    auto dispose = [&nodes](Node *n) {
        if (!n->slot)
            std::free(n);
        else if (FromBlocks)
            nodes.add_from_block(n);
        else
            nodes.add_out_of_line(n);
    };
    Node *pending = root;
    while (pending) {
        Node *n = pending;
        pending = n->parent;
        for_each_child(n, [&](Node *c) {
            if (is_container(c->type)) {
                c->parent = pending;
                pending = c;
            } else {
                // A scalar: only text may own memory (a block's text goes with
                // its node), and nothing reads the node again.
                if (is_text(c->type) && !(c->flags & (NODE_INLINE | NODE_BLOCK_TEXT)))
                    std::free(c->v.heap.ptr);
                dispose(c);
            }
        });
        release_storage(n);
        dispose(n);
    }
}

} // namespace

void node_free_tree(Node *root) {
    if (!root)
        return;
    if (root->slot)
        free_tree<true>(root);
    else
        free_tree<false>(root);
}

namespace {

Node *copy_one(const Node *s) {
    Node *d = raw_new(s->type, FromHeap());
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
