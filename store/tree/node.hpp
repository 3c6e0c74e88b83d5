// The store's value tree: node layout and the internal operations that the
// C interface and the codecs share. Nothing here is exported.
#ifndef ORVEX_STORE_NODE_HPP
#define ORVEX_STORE_NODE_HPP

#include <cstddef>
#include <cstdint>

#include "orvex/orvex.h"
#include "text/dates.hpp"
#include "tree/dict.hpp"

namespace orvex_store {

// Sits in an array's items block, just before the first item: what a walk
// needs to follow the items when they shift between two of its steps.
struct ArrayLog {
    uint64_t changes;       // insertions and removals so far
    uint64_t inner_inserts; // insertions anywhere but at the end
    uint32_t last_pos;      // position of the latest change
    uint32_t last_removed;  // 1 when the latest change was a removal
};

enum : uint8_t {
    NODE_SIGNED = 1, // integer stored as signed
    NODE_INLINE = 2, // text or bytes held in `v.inl`
    NODE_EXACT = 4,  // date set from whole Unix seconds, kept in `v.date.unix_sec`
    // Text in the node's NodeBlocks block (`v.heap` points there, `ilen` is
    // the bytes it holds): released with the node or on reset, never freed.
    NODE_BLOCK_TEXT = 8,
};

// 32 bytes: a scalar costs one 48-byte malloc chunk, a short text too.
struct Node {
    Node *parent;
    uint32_t index; // position in the parent's items or entries
    uint8_t type;   // orvex_type
    uint8_t flags;
    uint8_t ilen; // length of inline text; bytes of a block's text
    uint8_t slot; // place in a NodeBlocks block (its header is `slot` nodes before), 0 if malloc'd
    union {
        uint8_t b;
        uint64_t u;
        double r; // reals; dates as seconds since 2001-01-01T00:00:00Z
        struct {
            double since_2001; // aliases `r`
            int64_t unix_sec;  // exact value when NODE_EXACT is set
        } date;
        char inl[16];
        struct {
            char *ptr;
            uint64_t len;
        } heap;
        struct {
            Node **items;
            uint32_t size;
            uint32_t cap;
        } arr;
        DictBody *dict;
    } v;
};

static_assert(sizeof(Node) == 32, "node layout grew");

constexpr size_t INLINE_MAX = 15; // text bytes that fit inline beside a NUL
// The longest text a reader puts in its node's block, four nodes' room with
// the NUL: past that a malloc chunk's 8 to 16 bytes of overhead are a tenth
// of the text or less, and a block loses less than one node and such a text
// at its end.
constexpr size_t BLOCK_TEXT_MAX = 127;
constexpr uint32_t NO_INDEX = ORVEX_NO_INDEX;

inline Node *as_node(orvex_t h) { return static_cast<Node *>(h); }

// A reader's source of nodes: one malloc for up to BLOCK_SLOTS nodes instead
// of one each (a 32-byte node costs 48 bytes as a malloc chunk), and for the
// texts of up to BLOCK_TEXT_MAX bytes, packed from the block's end while
// nodes fill it from the front (a 29-byte text costs 48 as a chunk, 30 here).
// Each block counts its live bytes, atomically since subtrees of one
// document may be freed on several threads, and is freed with the last of
// them; room freed before that is not reused, so a block costs at most what
// the document's nodes cost when parsed. Nothing is kept between readers or
// per thread.
class NodeBlocks {
  public:
    // `expected`: how many nodes the document will probably need, so that a
    // small one does not get a block far larger than itself.
    explicit NodeBlocks(uint64_t expected) : expected_(expected) {}
    ~NodeBlocks();
    NodeBlocks(const NodeBlocks &) = delete;
    NodeBlocks &operator=(const NodeBlocks &) = delete;
    void expect(uint64_t nodes) { expected_ = nodes; }
    // A zeroed node, or null on allocation failure.
    Node *take() { return take_with_text(0, nullptr); }
    // A zeroed node and, at `*text`, `text_bytes` bytes of its block (at
    // most BLOCK_TEXT_MAX + 1), aligned to `align` (1 or 8); the room the
    // text holds, padding included, goes into the node's `ilen`. Null on
    // allocation failure.
    Node *take_with_text(uint32_t text_bytes, char **text, uint32_t align = 1);

  private:
    struct Block *cur_ = nullptr;
    uint32_t next_ = 0, tail_ = 0; // byte offsets: the next node, the texts' start
    uint64_t expected_;
    uint64_t handed_ = 0; // slots of the blocks so far
    bool start_block(uint32_t slots);
    void retire();
};
constexpr uint32_t BLOCK_SLOTS = 255; // nodes a block holds: `Node::slot` is a byte

// ---- creation and release (null on allocation failure); a reader passes
// its NodeBlocks, which then provide the node itself
Node *node_new(uint8_t type);
Node *node_new_int(uint64_t bits, bool is_signed);
Node *node_new_real(double r);
Node *node_new_date(double since_2001);
Node *node_new_uid(uint64_t v);
Node *node_new_bool(bool b);
// type is ORVEX_STRING, ORVEX_KEY or ORVEX_DATA; bytes are copied, a key's
// only up to its first NUL (also in node_set_text).
Node *node_new_text(uint8_t type, const char *p, size_t len);
Node *node_new(uint8_t type, NodeBlocks &blocks);
Node *node_new_int(uint64_t bits, bool is_signed, NodeBlocks &blocks);
Node *node_new_real(double r, NodeBlocks &blocks);
Node *node_new_date(double since_2001, NodeBlocks &blocks);
Node *node_new_uid(uint64_t v, NodeBlocks &blocks);
Node *node_new_bool(bool b, NodeBlocks &blocks);
Node *node_new_text(uint8_t type, const char *p, size_t len, NodeBlocks &blocks);
// Frees the subtree (iteratively) without detaching from a parent.
void node_free_tree(Node *n);
Node *node_copy_tree(const Node *n);

// ---- values
// Drops what the node held (children, text) and leaves it a zeroed `type`.
void node_reset(Node *n, uint8_t type);
bool node_set_text(Node *n, uint8_t type, const char *p, size_t len);
// Text or bytes of a STRING, KEY or DATA node; always NUL-terminated.
inline const char *node_text(const Node *n, size_t *len) {
    if (n->flags & NODE_INLINE) {
        *len = n->ilen;
        return n->v.inl;
    }
    *len = n->v.heap.len;
    return n->v.heap.ptr;
}
// An integer node holding a negative value: stored as signed, top bit set.
inline bool int_is_negative(const Node *n) {
    return (n->flags & NODE_SIGNED) && static_cast<int64_t>(n->v.u) < 0;
}
// Stores whole Unix seconds in date node `n` exactly, with the double the
// encodings use.
inline void set_exact_date(Node *n, int64_t sec) {
    // Subtract in 64 bits first: one rounding, so the double is the nearest
    // one also beyond 2^53 seconds.
    n->v.date.since_2001 = sec >= INT64_MIN + UNIX_TO_2001 ? static_cast<double>(sec - UNIX_TO_2001)
                                                           : static_cast<double>(sec) - double(UNIX_TO_2001);
    n->v.date.unix_sec = sec;
    n->flags |= NODE_EXACT;
}

inline bool is_text(uint8_t t) { return t == ORVEX_STRING || t == ORVEX_KEY || t == ORVEX_DATA; }
inline bool is_container(uint8_t t) { return t == ORVEX_ARRAY || t == ORVEX_DICT; }

// ---- arrays (child must be a root not in n's ancestry; false on OOM)
// The array's log, or null while it has never held an item.
inline const ArrayLog *array_log(const Node *arr) {
    if (!arr->v.arr.items)
        return nullptr;
    return reinterpret_cast<const ArrayLog *>(reinterpret_cast<const char *>(arr->v.arr.items) -
                                              sizeof(ArrayLog));
}
bool array_push(Node *arr, Node *child);
bool array_insert(Node *arr, Node *child, uint32_t pos);
// Detaches item `pos` and returns it (a root now), or null past the end.
Node *array_take(Node *arr, uint32_t pos);
// Reserve room for `n` more items; false on OOM.
bool array_reserve(Node *arr, uint32_t extra);

// ---- dictionaries (tree/dict.hpp)
inline uint32_t dict_live(const Node *d) { return d->v.dict ? d->v.dict->live : 0; }

// A writer's step through container `c` from position `*i`: the next child
// (with `*entry` its entry in a dictionary), `*i` moved past it; null when
// the container is exhausted.
inline const Node *next_child(const Node *c, uint32_t *i, const DictEntry **entry) {
    if (c->type == ORVEX_ARRAY)
        return *i < c->v.arr.size ? c->v.arr.items[(*i)++] : nullptr;
    const DictBody *d = c->v.dict;
    const DictEntry *end = d->entries + d->used, *e = next_live(d->entries + *i, end);
    if (e == end)
        return nullptr;
    *i = static_cast<uint32_t>(e - d->entries) + 1;
    *entry = e;
    return e->val;
}

// True when `anc` is `n` or one of its ancestors.
bool is_ancestor(const Node *anc, const Node *n);
// Detaches `n` from its container (no-op for a root).
void node_detach(Node *n);

} // namespace orvex_store

#endif
