// C interface: key paths. Lookups read the path where it lies and compare
// keys in place, so that they neither allocate nor write to the tree.
#include <cstdlib>
#include <cstring>

#include "text/numbers.hpp"
#include "tree/node.hpp"

using namespace orvex_store;

namespace {

constexpr size_t NOWHERE = SIZE_MAX;

// One part as written: the text [start, end) of the path, its length once
// unescaped, and the first stray backslash in it (NOWHERE when none; the
// part then ends there).
struct Part {
    size_t start, end;
    size_t length;
    size_t stray;
    bool escaped;
};

Part scan_part(const char *path, size_t start) {
    Part p{start, start, 0, NOWHERE, false};
    size_t i = start;
    while (path[i] && path[i] != '.') {
        if (path[i] == '\\') {
            if (path[i + 1] != '.' && path[i + 1] != '\\') {
                p.stray = i;
                break;
            }
            p.escaped = true;
            ++i;
        }
        ++i;
        ++p.length;
    }
    p.end = i;
    return p;
}

// Writes the unescaped part at `out` (room for p.length bytes).
void unescape(const char *path, const Part &p, char *out) {
    for (size_t i = p.start; i < p.end; ++i) {
        if (path[i] == '\\')
            ++i;
        *out++ = path[i];
    }
}

bool is_key(const char *path, const Part &p, const char *key, size_t klen) {
    if (klen != p.length)
        return false;
    for (size_t i = p.start; i < p.end; ++i, ++key) {
        if (path[i] == '\\')
            ++i;
        if (path[i] != *key)
            return false;
    }
    return true;
}

bool parse_position(const char *text, size_t length, uint32_t *position) {
    if (length == 0 || length > 10)
        return false;
    uint64_t value = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + uint64_t(text[i] - '0');
    }
    if (value > 0xFFFFFFFFu)
        return false;
    *position = static_cast<uint32_t>(value);
    return true;
}

// Escaped parts up to this length are looked up through the index from a copy
// on the stack; longer ones, which nobody types, by comparing every key.
constexpr size_t STACK_KEY = 256;

Node *dict_child(const Node *dict, const char *path, const Part &p) {
    const DictBody *d = dict->v.dict;
    if (!d || d->live == 0)
        return nullptr;
    uint32_t pos = NO_INDEX;
    if (!p.escaped) {
        pos = dict_find(dict, path + p.start, p.length);
    } else if (p.length <= STACK_KEY) {
        char copy[STACK_KEY];
        unescape(path, p, copy);
        pos = dict_find(dict, copy, p.length);
    } else {
        for (const DictEntry &e : live_entries(d))
            if (is_key(path, p, e.key(), e.klen))
                return e.val;
    }
    return pos == NO_INDEX ? nullptr : d->entries[pos].val;
}

Node *child(const Node *container, const char *path, const Part &p) {
    if (container->type == ORVEX_DICT)
        return dict_child(container, path, p);
    uint32_t pos = 0;
    // An escape is never a digit.
    if (container->type != ORVEX_ARRAY || p.escaped || !parse_position(path + p.start, p.length, &pos) ||
        pos >= container->v.arr.size)
        return nullptr;
    return container->v.arr.items[pos];
}

// The length of the part naming `n` in its parent: its position in decimal,
// or its key escaped.
size_t step_size(const Node *n) {
    if (n->parent->type == ORVEX_ARRAY) {
        char digits[NUMBER_TEXT_MAX];
        return static_cast<size_t>(write_integer(digits, n->index, false) - digits);
    }
    const DictEntry &e = n->parent->v.dict->entries[n->index];
    const char *key = e.key();
    size_t size = e.klen;
    for (size_t i = 0; i < e.klen; ++i)
        size += key[i] == '.' || key[i] == '\\';
    return size;
}

// Writes that part so that it ends just before `end`; returns its start.
char *write_step(const Node *n, char *end) {
    if (n->parent->type == ORVEX_ARRAY) {
        char digits[NUMBER_TEXT_MAX];
        const size_t size = static_cast<size_t>(write_integer(digits, n->index, false) - digits);
        return static_cast<char *>(std::memcpy(end - size, digits, size));
    }
    const DictEntry &e = n->parent->v.dict->entries[n->index];
    const char *key = e.key();
    for (size_t i = e.klen; i-- > 0;) {
        *--end = key[i];
        if (key[i] == '.' || key[i] == '\\')
            *--end = '\\';
    }
    return end;
}

} // namespace

extern "C" {

orvex_err_t orvex_find_path(orvex_t root, const char *path, orvex_t *node, orvex_path_miss *miss) {
    if (node)
        *node = nullptr;
    if (!root || !path || !node)
        return ORVEX_ERR_INVALID_ARG;
    // A malformed path is refused before any lookup, whatever the tree holds.
    uint32_t index = 0;
    for (size_t at = 0;; ++index) {
        const Part p = scan_part(path, at);
        if (p.stray != NOWHERE) {
            if (miss)
                *miss = orvex_path_miss{index, p.stray, 1, nullptr};
            return ORVEX_ERR_INVALID_ARG;
        }
        if (!path[p.end])
            break;
        at = p.end + 1;
    }
    Node *cur = as_node(root);
    index = 0;
    for (size_t at = 0;; ++index) {
        const Part p = scan_part(path, at);
        Node *next = child(cur, path, p);
        if (!next) {
            if (miss)
                *miss = orvex_path_miss{index, p.start, p.end - p.start, cur};
            return ORVEX_ERR_NOT_FOUND;
        }
        cur = next;
        if (!path[p.end])
            break;
        at = p.end + 1;
    }
    *node = cur;
    return ORVEX_ERR_SUCCESS;
}

orvex_t orvex_get_path(orvex_t root, const char *path) {
    orvex_t node = nullptr;
    orvex_find_path(root, path, &node, nullptr);
    return node;
}

orvex_err_t orvex_path_part(const char *path, uint64_t offset, char **part, uint64_t *length,
                            uint64_t *next) {
    if (part)
        *part = nullptr;
    if (!path || !part || strnlen(path, offset) < offset)
        return ORVEX_ERR_INVALID_ARG;
    const Part p = scan_part(path, offset);
    if (p.stray != NOWHERE)
        return ORVEX_ERR_INVALID_ARG;
    char *text = static_cast<char *>(std::malloc(p.length + 1));
    if (!text)
        return ORVEX_ERR_NO_MEM;
    unescape(path, p, text);
    text[p.length] = 0;
    *part = text;
    if (length)
        *length = p.length;
    if (next)
        *next = p.end + 1; // past the '.', or past the end
    return ORVEX_ERR_SUCCESS;
}

int orvex_path_position(const char *part, uint64_t length, uint32_t *position) {
    uint32_t value = 0;
    if (!part || length > 10 || !parse_position(part, static_cast<size_t>(length), &value))
        return 0;
    if (position)
        *position = value;
    return 1;
}

char *orvex_path_of(orvex_t root, orvex_t node) {
    const Node *r = as_node(root), *n = as_node(node);
    if (!r || !n || r == n)
        return nullptr;
    // Measured first, from `node` up: each part with the '.' or NUL after it.
    size_t total = 0;
    const Node *c = n;
    for (; c != r; c = c->parent) {
        if (!c->parent)
            return nullptr; // not below `root`
        total += step_size(c) + 1;
    }
    char *out = static_cast<char *>(std::malloc(total));
    if (!out)
        return nullptr;
    // Then written from the end, the deepest part last.
    char *end = out + total - 1;
    *end = 0;
    for (c = n; c != r; c = c->parent) {
        end = write_step(c, end);
        if (c->parent != r)
            *--end = '.';
    }
    return out;
}

} // extern "C"
