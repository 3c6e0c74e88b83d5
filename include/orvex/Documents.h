// Orvex documents: reading and writing whole trees of any root type, in
// memory and in files, in every encoding the store has a codec for.
#ifndef ORVEX_DOCUMENTS_H
#define ORVEX_DOCUMENTS_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "orvex/Export.h"
#include "orvex/Node.h"
#include "orvex/orvex.h"

namespace Orvex {

/*
 * Each function below throws std::bad_alloc when memory runs out, leaking
 * nothing, and nothing else: a document refused, a file not read or written,
 * is reported through the return value and `why`, `err` or errno.
 *
 * Ownership: a returned tree is a new root wrapper the caller owns (deleting
 * it frees the whole tree); the functions keep nothing.
 *
 * Threads: each reader makes a new tree, so readers run on any threads at
 * once; the writers only read the tree, so one tree may be written by several
 * threads at once (see Node). Files as orvex.h says: distinct files on any
 * threads.
 */

/**
 * Parses `size` bytes at `data`, detecting the encoding (as orvex_parse with
 * ORVEX_FORMAT_NONE), into a tree of any root type: a container, or a scalar
 * such as a JSON document of one number. The format found goes to `*format`
 * and the outcome to `*why` when they are not null: on rejection the code,
 * reason, byte offset and, for text, line and column; null is returned.
 *
 * A root null value (JSON `null`) has no class to wrap it: rather than a
 * null that reads as a refusal with no reason, or a success without its
 * value, it is null with why->code ORVEX_ERR_FORMAT and cause
 * ORVEX_REASON_NONE (the document itself was well-formed; the object model
 * cannot hold it). orvex_parse gives such a tree.
 */
ORVEX_CXX_API std::unique_ptr<Node> Parse(const char *data, size_t size, orvex_parse_result *why = nullptr,
                                          orvex_format_t *format = nullptr);

/**
 * Reads and parses the file at `path` through orvex_read_file: as Parse, and
 * for a file that cannot be read null with why->code ORVEX_ERR_IO (errno
 * says why) or ORVEX_ERR_LIMIT (longer than 2^32-1 bytes).
 */
ORVEX_CXX_API std::unique_ptr<Node> ReadFile(const std::string &path, orvex_parse_result *why = nullptr,
                                             orvex_format_t *format = nullptr);

/**
 * Writes the subtree of `node` (a scalar too) to the file at `path` in
 * `format` with ORVEX_WRITE_* `flags`, through orvex_write_file: atomically,
 * the file's mode, owner, links kept. Returns its code; errno is kept on
 * ORVEX_ERR_IO. A wrapper without a store node gives ORVEX_ERR_INVALID_ARG.
 */
ORVEX_CXX_API orvex_err_t WriteFile(const Node &node, const std::string &path, orvex_format_t format,
                                    uint32_t flags = 0);

/**
 * The encoding of the subtree of `node` (a scalar too) in `format` with
 * ORVEX_WRITE_* `flags`, written straight into the string (binary and UTF-16
 * documents are bytes, without the NUL the C writers add). Empty when the
 * store refuses it, with the code in `*err` when `err` is not null
 * (ORVEX_ERR_SUCCESS otherwise): ORVEX_ERR_FORMAT for a value the format has
 * no form for, ORVEX_ERR_INVALID_ARG for flags the format refuses,
 * ORVEX_ERR_LIMIT past 2^32-1 bytes.
 */
ORVEX_CXX_API std::string Write(const Node &node, orvex_format_t format, uint32_t flags = 0,
                                orvex_err_t *err = nullptr);

} // namespace Orvex

#endif
