// C interface: reading and writing node values.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "text/dates.hpp"
#include "tree/node.hpp"

using namespace orvex_store;

namespace {

Node *of_type(orvex_t h, uint8_t type) {
    Node *n = as_node(h);
    return n && n->type == type ? n : nullptr;
}

// Text or bytes of a node of `type`, its length through `length`; null for
// any other node.
const char *text_ptr(orvex_t node, uint8_t type, uint64_t *length) {
    Node *n = of_type(node, type);
    if (!n)
        return nullptr;
    size_t len;
    const char *p = node_text(n, &len);
    if (length)
        *length = len;
    return p;
}

// `*out = read(node)` when the node has `type` and `out` is given; the
// fixed-width getters do nothing otherwise.
template <class T, class Read> void get(orvex_t node, uint8_t type, T *out, Read read) {
    if (const Node *n = of_type(node, type); n && out)
        *out = read(n);
}

// Makes any node a zeroed `type`, then `write(node)` fills it in.
template <class Write> void set(orvex_t node, uint8_t type, Write write) {
    if (Node *n = as_node(node)) {
        node_reset(n, type);
        write(n);
    }
}

void set_text(orvex_t node, uint8_t type, const char *val) {
    Node *n = as_node(node);
    if (n)
        node_set_text(n, type, val, val ? std::strlen(val) : 0);
}

orvex_err_t set_text_len(orvex_t node, uint8_t type, const char *text, uint64_t length) {
    Node *n = as_node(node);
    if (!n || (!text && length))
        return ORVEX_ERR_INVALID_ARG;
    // The length is checked before any byte is read: a caller's bad length
    // must not send the copy past its buffer.
    if (length >= SIZE_MAX - 1)
        return ORVEX_ERR_LIMIT;
    return node_set_text(n, type, text, static_cast<size_t>(length)) ? ORVEX_ERR_SUCCESS : ORVEX_ERR_NO_MEM;
}

} // namespace

extern "C" {

void orvex_get_key_val(orvex_t node, char **val) {
    Node *n = of_type(node, ORVEX_KEY);
    if (!n || !val)
        return;
    size_t len;
    const char *p = node_text(n, &len);
    char *s = static_cast<char *>(std::malloc(len + 1));
    if (!s)
        return;
    std::memcpy(s, p, len);
    s[len] = 0;
    *val = s;
}

const char *orvex_get_string_ptr(orvex_t node, uint64_t *length) {
    return text_ptr(node, ORVEX_STRING, length);
}
const char *orvex_get_data_ptr(orvex_t node, uint64_t *length) { return text_ptr(node, ORVEX_DATA, length); }

void orvex_get_bool_val(orvex_t node, uint8_t *val) {
    get(node, ORVEX_BOOLEAN, val, [](auto n) { return n->v.b; });
}
void orvex_get_uint_val(orvex_t node, uint64_t *val) {
    get(node, ORVEX_INT, val, [](auto n) { return n->v.u; });
}
void orvex_get_int_val(orvex_t node, int64_t *val) {
    get(node, ORVEX_INT, val, [](auto n) { return static_cast<int64_t>(n->v.u); });
}
void orvex_get_real_val(orvex_t node, double *val) {
    get(node, ORVEX_REAL, val, [](auto n) { return n->v.r; });
}
void orvex_get_uid_val(orvex_t node, uint64_t *val) {
    get(node, ORVEX_UID, val, [](auto n) { return n->v.u; });
}
void orvex_get_date_val(orvex_t node, double *sec_since_2001) {
    get(node, ORVEX_DATE, sec_since_2001, [](auto n) { return n->v.date.since_2001; });
}
void orvex_get_unix_date_val(orvex_t node, int64_t *sec) {
    get(node, ORVEX_DATE, sec,
        [](auto n) { return (n->flags & NODE_EXACT) ? n->v.date.unix_sec : date_to_unix_seconds(n->v.r); });
}

int orvex_int_val_is_negative(orvex_t node) {
    Node *n = of_type(node, ORVEX_INT);
    return n && int_is_negative(n);
}

void orvex_set_key_val(orvex_t node, const char *val) { set_text(node, ORVEX_KEY, val); }
void orvex_set_string_val(orvex_t node, const char *val) { set_text(node, ORVEX_STRING, val); }

orvex_err_t orvex_set_string_val_len(orvex_t node, const char *text, uint64_t length) {
    return set_text_len(node, ORVEX_STRING, text, length);
}

orvex_err_t orvex_set_key_val_len(orvex_t node, const char *text, uint64_t length) {
    return set_text_len(node, ORVEX_KEY, text, length);
}

void orvex_set_data_val(orvex_t node, const char *val, uint64_t length) {
    Node *n = as_node(node);
    if (!n)
        return;
    if (!val)
        length = 0;
    if (length <= SIZE_MAX - 1)
        node_set_text(n, ORVEX_DATA, val, static_cast<size_t>(length));
}

void orvex_set_bool_val(orvex_t node, uint8_t val) {
    set(node, ORVEX_BOOLEAN, [=](Node *n) { n->v.b = val ? 1 : 0; });
}
void orvex_set_uint_val(orvex_t node, uint64_t val) {
    set(node, ORVEX_INT, [=](Node *n) { n->v.u = val; });
}
void orvex_set_int_val(orvex_t node, int64_t val) {
    set(node, ORVEX_INT, [=](Node *n) {
        n->v.u = static_cast<uint64_t>(val);
        n->flags = NODE_SIGNED;
    });
}
void orvex_set_real_val(orvex_t node, double val) {
    set(node, ORVEX_REAL, [=](Node *n) { n->v.r = val; });
}
void orvex_set_uid_val(orvex_t node, uint64_t val) {
    set(node, ORVEX_UID, [=](Node *n) { n->v.u = val; });
}
void orvex_set_date_val(orvex_t node, double sec_since_2001) {
    set(node, ORVEX_DATE, [=](Node *n) { n->v.date.since_2001 = sec_since_2001; });
}
void orvex_set_unix_date_val(orvex_t node, int64_t sec) {
    set(node, ORVEX_DATE, [=](Node *n) { set_exact_date(n, sec); });
}

} // extern "C"
