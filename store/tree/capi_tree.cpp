// C interface: creating, freeing and copying nodes, arrays and dictionaries.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "text/dates.hpp"
#include "tree/node.hpp"

using namespace orvex_store;

namespace {

// A walk: the next position, with what keeps it valid when the container
// changes. One layout for both kinds, so that handing one kind's iterator to
// the other's calls never reads past it.
struct Cursor {
    uint32_t pos;
    // Dictionaries: the `seq` the entry at `pos` must reach (entries move
    // only when the dictionary compacts them).
    uint64_t seq;
    // Arrays: the array's log as `pos` last agreed with it.
    uint64_t changes, inner_inserts;
};

// A walk at the start of `node`, or null when it is not of `type`.
Cursor *new_cursor(orvex_t node, uint8_t type) {
    Node *n = as_node(node);
    return n && n->type == type ? static_cast<Cursor *>(std::calloc(1, sizeof(Cursor))) : nullptr;
}

void log_counts(const Node *a, uint64_t *changes, uint64_t *inner_inserts) {
    const ArrayLog *log = array_log(a);
    *changes = log ? log->changes : 0;
    *inner_inserts = log ? log->inner_inserts : 0;
}

// Moves `c` along with the items of `a` that shifted since its last step.
// One change is followed exactly. After several, the walk skips ahead by
// every insertion that was not an append: the items it returned cannot have
// moved further than that, so none comes back, though some may be passed.
void follow(const Node *a, Cursor *c) {
    uint64_t changes, inner;
    log_counts(a, &changes, &inner);
    if (changes != c->changes && c->pos > 0) {
        const ArrayLog *log = array_log(a);
        uint64_t pos = c->pos;
        if (log && changes == c->changes + 1) {
            if (log->last_pos < pos)
                pos = log->last_removed ? pos - 1 : pos + 1;
        } else {
            pos = inner >= c->inner_inserts ? pos + (inner - c->inner_inserts) : a->v.arr.size;
        }
        c->pos = static_cast<uint32_t>(pos < a->v.arr.size ? pos : a->v.arr.size);
    }
    c->changes = changes;
    c->inner_inserts = inner;
}

char *dup_text(const char *p, size_t len) {
    char *s = static_cast<char *>(std::malloc(len + 1));
    if (s) {
        std::memcpy(s, p, len);
        s[len] = 0;
    }
    return s;
}

// A root that may be attached under `parent`. Only a container with children
// can hold `parent`, so the walk up the ancestry (as long as the tree is deep)
// is skipped for everything else; building a deep tree top-down stays linear.
bool attachable(const Node *parent, const Node *item) {
    if (!item || item->parent || item == parent)
        return false;
    bool has_children =
        (item->type == ORVEX_ARRAY && item->v.arr.size) || (item->type == ORVEX_DICT && dict_live(item));
    return !has_children || !is_ancestor(item, parent);
}

} // namespace

extern "C" {

orvex_t orvex_new_dict(void) { return node_new(ORVEX_DICT); }
orvex_t orvex_new_array(void) { return node_new(ORVEX_ARRAY); }
orvex_t orvex_new_string(const char *val) {
    return node_new_text(ORVEX_STRING, val, val ? std::strlen(val) : 0);
}
orvex_t orvex_new_bool(uint8_t val) { return node_new_bool(val != 0); }
orvex_t orvex_new_uint(uint64_t val) { return node_new_int(val, false); }
orvex_t orvex_new_int(int64_t val) { return node_new_int(static_cast<uint64_t>(val), true); }
orvex_t orvex_new_real(double val) { return node_new_real(val); }
orvex_t orvex_new_data(const char *val, uint64_t length) {
    if (!val)
        length = 0;
    if (length > SIZE_MAX - 1)
        return nullptr;
    return node_new_text(ORVEX_DATA, val, static_cast<size_t>(length));
}
orvex_t orvex_new_unix_date(int64_t sec) {
    Node *n = node_new(ORVEX_DATE);
    if (n)
        set_exact_date(n, sec);
    return n;
}
orvex_t orvex_new_date(double sec_since_2001) { return node_new_date(sec_since_2001); }
orvex_t orvex_new_uid(uint64_t val) { return node_new_uid(val); }
orvex_t orvex_new_null(void) { return node_new(ORVEX_NULL); }

void orvex_free(orvex_t node) {
    Node *n = as_node(node);
    if (!n)
        return;
    node_detach(n);
    node_free_tree(n);
}

orvex_t orvex_detach(orvex_t node) {
    // As a removal, without the free: the array logs the change and the
    // dictionary leaves a removed slot, which is what walks follow.
    if (Node *n = as_node(node))
        node_detach(n);
    return node;
}

orvex_t orvex_copy(orvex_t node) { return node ? node_copy_tree(as_node(node)) : nullptr; }

uint32_t orvex_array_get_size(orvex_t node) {
    Node *n = as_node(node);
    return n && n->type == ORVEX_ARRAY ? n->v.arr.size : 0;
}

orvex_t orvex_array_get_item(orvex_t node, uint32_t n) {
    Node *a = as_node(node);
    if (!a || a->type != ORVEX_ARRAY || n >= a->v.arr.size)
        return nullptr;
    return a->v.arr.items[n];
}

uint32_t orvex_array_get_item_index(orvex_t node) {
    Node *n = as_node(node);
    if (!n || !n->parent || n->parent->type != ORVEX_ARRAY)
        return NO_INDEX;
    return n->index;
}

void orvex_array_append_item(orvex_t node, orvex_t item) {
    Node *a = as_node(node), *c = as_node(item);
    if (a && a->type == ORVEX_ARRAY && attachable(a, c))
        array_push(a, c);
}

void orvex_array_insert_item(orvex_t node, orvex_t item, uint32_t n) {
    Node *a = as_node(node), *c = as_node(item);
    if (a && a->type == ORVEX_ARRAY && attachable(a, c))
        array_insert(a, c, n);
}

void orvex_array_remove_item(orvex_t node, uint32_t n) {
    Node *a = as_node(node);
    if (a && a->type == ORVEX_ARRAY)
        node_free_tree(array_take(a, n));
}

void orvex_array_new_iter(orvex_t node, orvex_array_iter *iter) {
    if (!iter)
        return;
    Cursor *c = new_cursor(node, ORVEX_ARRAY);
    if (c)
        log_counts(as_node(node), &c->changes, &c->inner_inserts);
    *iter = c;
}

void orvex_array_next_item(orvex_t node, orvex_array_iter iter, orvex_t *item) {
    Node *a = as_node(node);
    Cursor *it = static_cast<Cursor *>(iter);
    if (!item)
        return;
    *item = nullptr;
    if (!a || !it || a->type != ORVEX_ARRAY)
        return;
    follow(a, it);
    if (it->pos < a->v.arr.size)
        *item = a->v.arr.items[it->pos++];
}

uint32_t orvex_dict_get_size(orvex_t node) {
    Node *n = as_node(node);
    return n && n->type == ORVEX_DICT ? dict_live(n) : 0;
}

orvex_t orvex_dict_get_item(orvex_t node, const char *key) {
    Node *d = as_node(node);
    if (!d || !key || d->type != ORVEX_DICT)
        return nullptr;
    uint32_t pos = dict_find(d, key, std::strlen(key));
    return pos == NO_INDEX ? nullptr : d->v.dict->entries[pos].val;
}

void orvex_dict_get_item_key(orvex_t node, char **key) {
    Node *n = as_node(node);
    if (!n || !key || !n->parent || n->parent->type != ORVEX_DICT)
        return;
    const DictEntry &e = n->parent->v.dict->entries[n->index];
    *key = dup_text(e.key(), e.klen);
}

const char *orvex_dict_get_item_key_ptr(orvex_t node, uint64_t *length) {
    Node *n = as_node(node);
    if (!n || !n->parent || n->parent->type != ORVEX_DICT)
        return nullptr;
    const DictEntry &e = n->parent->v.dict->entries[n->index];
    if (length)
        *length = e.klen;
    return e.key();
}

void orvex_dict_set_item(orvex_t node, const char *key, orvex_t item) {
    Node *d = as_node(node), *c = as_node(item);
    if (d && key && d->type == ORVEX_DICT && attachable(d, c))
        dict_put(d, key, std::strlen(key), c);
}

void orvex_dict_remove_item(orvex_t node, const char *key) {
    Node *d = as_node(node);
    if (d && key && d->type == ORVEX_DICT)
        node_free_tree(dict_take(d, key, std::strlen(key)));
}

void orvex_dict_new_iter(orvex_t node, orvex_dict_iter *iter) {
    if (iter)
        *iter = new_cursor(node, ORVEX_DICT);
}

void orvex_dict_next_item_ref(orvex_t node, orvex_dict_iter iter, const char **key, uint64_t *key_length,
                              orvex_t *val) {
    if (key)
        *key = nullptr;
    if (key_length)
        *key_length = 0;
    if (val)
        *val = nullptr;
    Node *d = as_node(node);
    Cursor *it = static_cast<Cursor *>(iter);
    if (!d || !it || d->type != ORVEX_DICT || !d->v.dict)
        return;
    const DictBody *b = d->v.dict;
    // The entry returned last, or its removed slot, still just before the
    // position: nothing moved. Otherwise find the place again by `seq`.
    if (it->pos > b->used || (it->pos > 0 && b->entries[it->pos - 1].seq + 1 != it->seq)) {
        const DictEntry *at = std::lower_bound(b->entries, b->entries + b->used, it->seq,
                                               [](const DictEntry &e, uint64_t seq) { return e.seq < seq; });
        it->pos = static_cast<uint32_t>(at - b->entries);
    }
    it->pos = dict_next_live(b, it->pos);
    if (it->pos >= b->used)
        return;
    const DictEntry &e = b->entries[it->pos++];
    it->seq = e.seq + 1;
    if (key)
        *key = e.key();
    if (key_length)
        *key_length = e.klen;
    if (val)
        *val = e.val;
}

void orvex_dict_next_item_at(orvex_t node, uint32_t *pos, const char **key, uint64_t *key_length,
                             orvex_t *val) {
    if (key)
        *key = nullptr;
    if (key_length)
        *key_length = 0;
    if (val)
        *val = nullptr;
    const Node *d = as_node(node);
    if (!d || !pos || d->type != ORVEX_DICT || !d->v.dict || *pos >= d->v.dict->used)
        return;
    const DictBody *b = d->v.dict;
    const uint32_t at = dict_next_live(b, *pos);
    if (at >= b->used)
        return;
    const DictEntry &e = b->entries[at];
    *pos = at + 1;
    if (key)
        *key = e.key();
    if (key_length)
        *key_length = e.klen;
    if (val) {
        *val = e.val;
        // A walk by place asks the value its type next: start the load now,
        // so that a caller taking the entries first and the values after
        // finds them in cache.
        __builtin_prefetch(e.val);
    }
}

void orvex_dict_next_item(orvex_t node, orvex_dict_iter iter, char **key, orvex_t *val) {
    const char *k = nullptr;
    uint64_t klen = 0;
    orvex_dict_next_item_ref(node, iter, key ? &k : nullptr, &klen, val);
    if (key)
        *key = k ? dup_text(k, klen) : nullptr;
}

orvex_err_t orvex_swap_contents(orvex_t a, orvex_t b) {
    Node *x = as_node(a), *y = as_node(b);
    if (!x || !y || x->type != y->type || !is_container(x->type))
        return ORVEX_ERR_INVALID_ARG;
    if (x == y)
        return ORVEX_ERR_SUCCESS;
    // Either lying in the other's subtree would make a cycle.
    if (is_ancestor(x, y) || is_ancestor(y, x))
        return ORVEX_ERR_INVALID_ARG;
    std::swap(x->v, y->v);
    for (Node *owner : {x, y}) {
        if (owner->type == ORVEX_ARRAY) {
            for (uint32_t i = 0; i < owner->v.arr.size; ++i)
                owner->v.arr.items[i]->parent = owner;
        } else {
            for (const DictEntry &e : live_entries(owner->v.dict))
                e.val->parent = owner;
        }
    }
    return ORVEX_ERR_SUCCESS;
}

orvex_t orvex_get_parent(orvex_t node) {
    Node *n = as_node(node);
    return n ? n->parent : nullptr;
}

orvex_type orvex_get_node_type(orvex_t node) {
    Node *n = as_node(node);
    return n ? static_cast<orvex_type>(n->type) : ORVEX_NONE;
}

} // extern "C"
