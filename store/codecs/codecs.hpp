// The codecs' entry points, one reader and one writer per encoding, and the
// detection of an encoding from a buffer's first bytes.
#ifndef ORVEX_STORE_CODECS_HPP
#define ORVEX_STORE_CODECS_HPP

#include <cstdint>
#include <new>

#include "codecs/codec_error.hpp"
#include "codecs/output.hpp"
#include "tree/node.hpp"

namespace orvex_store {

// `n`, a node a reader just made; null means the allocation failed.
inline Node *made(Node *n) {
    if (!n)
        throw std::bad_alloc();
    return n;
}

// Frees `n`, which no container took, and reports the allocation that failed.
[[noreturn, gnu::cold, gnu::noinline]] inline void not_attached(Node *n) {
    node_free_tree(n);
    throw std::bad_alloc();
}

// Puts `n`, a node a reader just made, into `parent`: after an array's last
// item, or under `key` in a dictionary. When that fails `n` is freed, so no
// node is left outside the tree, and std::bad_alloc thrown.
inline void attach_child(Node *parent, bool dict, const char *key, size_t klen, Node *n) {
    if (!n)
        throw std::bad_alloc();
    if (!(dict ? dict_put(parent, key, klen, n) : array_push(parent, n)))
        not_attached(n);
}

// Readers: on success `*root` is a new root; on failure it is null and `err`
// says why (its code is also the return value). Input longer than 2^32-1
// bytes is refused by orvex_parse before it reaches them.
orvex_err_t xml_read(const char *data, uint64_t length, Node **root, ParseError *err);
orvex_err_t bin_read(const char *data, uint64_t length, Node **root, ParseError *err);
orvex_err_t ostep_read(const char *data, uint64_t length, Node **root, ParseError *err);
orvex_err_t json_read(const char *data, uint64_t length, Node **root, ParseError *err);

// The same readers recording where each value stands (codecs/layout.hpp),
// for the editor, on UTF-8 text of a document orvex_parse took: the caller
// turns UTF-16 into UTF-8 first (and says so to xml_read_layout).
struct Layout;
orvex_err_t xml_read_layout(const char *data, uint64_t length, bool utf16, Node **root, ParseError *err,
                            Layout *layout);
orvex_err_t json_read_layout(const char *data, uint64_t length, Node **root, ParseError *err, Layout *layout);
orvex_err_t ostep_read_layout(const char *data, uint64_t length, Node **root, ParseError *err,
                              Layout *layout);

// Writers: the document into `out` and its length, or an error
// (ORVEX_ERR_LIMIT past 32-bit lengths, ORVEX_ERR_NO_MEM) with `*length` 0.
// `flags` are ORVEX_WRITE_* bits, checked by the caller (write_flags_error):
// each writer takes those that apply to its format and ignores the rest,
// also ORVEX_ERR_INVALID_ARG for both UTF-16 orders.
orvex_err_t xml_write(const Node *root, Output &out, uint32_t *length, uint32_t flags);
orvex_err_t bin_write(const Node *root, Output &out, uint32_t *length, uint32_t flags);
// ORVEX_ERR_FORMAT for a tree holding a UID or null node.
orvex_err_t ostep_write(const Node *root, Output &out, uint32_t *length, uint32_t flags);
// ORVEX_ERR_FORMAT for a tree with no JSON form under `flags`.
orvex_err_t json_write(const Node *root, Output &out, uint32_t *length, uint32_t flags);
// The writer of `format`, or null for a format without a codec.
using WriterFn = orvex_err_t (*)(const Node *, Output &, uint32_t *, uint32_t);
WriterFn writer_of(orvex_format_t format);
// ORVEX_ERR_INVALID_ARG when `flags` holds a bit this library does not know
// or one that `format` refuses, else ORVEX_ERR_SUCCESS.
orvex_err_t write_flags_error(orvex_format_t format, uint32_t flags);
// The first node without a JSON form (a date, data, UID or non-finite real),
// or null.
const Node *json_unwritable(const Node *root);

// The encoding of a buffer from its first bytes, or ORVEX_FORMAT_NONE.
orvex_format_t detect_format(const char *data, uint64_t length);

} // namespace orvex_store

#endif
