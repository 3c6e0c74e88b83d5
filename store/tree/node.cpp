// The value tree: allocation, text storage, arrays, and iterative free and
// copy. Dictionaries are in tree/dict.cpp.
#include "tree/node.hpp"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace orvex_store {

namespace {

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

void free_text(Node *n) {
    if (!(n->flags & NODE_INLINE))
        std::free(n->v.heap.ptr);
    n->flags &= static_cast<uint8_t>(~NODE_INLINE);
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
