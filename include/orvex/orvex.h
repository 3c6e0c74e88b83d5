/*
 * orvex.h - the Orvex node store: a tree of typed property-list values and
 * its XML, binary, JSON and OpenStep text encodings, behind a plain C interface.
 *
 * Ownership in one paragraph: every node created by an orvex_new_* call or
 * returned by a reader or orvex_copy is a root that the caller owns and
 * releases with orvex_free. Attaching a root to a container hands it to the
 * container; freeing a container frees its whole subtree. Everything else the
 * store hands out for the caller to keep (keys, iterators, encoded buffers) is
 * allocated with malloc and released with free.
 *
 * Attaching (orvex_array_append_item, orvex_array_insert_item,
 * orvex_dict_set_item) is refused, changing nothing, when the item already
 * has a parent, is the container or one of its ancestors, when a position or
 * key is invalid, or when memory runs out. These calls return nothing: a
 * caller that must know attaches a root and checks orvex_get_parent(item)
 * afterwards. It is the container when the item was attached; still null
 * when the attach was refused, and the item is then still the caller's, to
 * attach elsewhere or release with orvex_free.
 *
 * Threads: the store shares no state between trees, so distinct trees may
 * be used on any threads at once. One tree may be read by several threads at
 * once only through calls that do not change it (getters, sizes, lookups,
 * walks with an iterator each, orvex_copy, orvex_equal, the writers); a call
 * that changes a tree, freeing it or one of its nodes included, must not run
 * beside any other call on that tree. An iterator is used by one thread at a
 * time.
 *
 * Robustness: a null handle is harmless everywhere (getters leave their
 * out-values untouched, sizes are 0, types ORVEX_NONE, setters do nothing),
 * and a getter asked of a node of another type leaves its out-value untouched.
 * Nothing aborts or throws across this interface. The readers treat their
 * input as hostile and reject it cleanly; see orvex_parse for the reason.
 */
#ifndef ORVEX_ORVEX_H
#define ORVEX_ORVEX_H

#include <stdint.h>

#include "orvex/version.h" /* ORVEX_VERSION_MAJOR, _MINOR, _PATCH, _STRING */

#if defined(ORVEX_STORE_BUILD)
#define ORVEX_API __attribute__((visibility("default")))
#else
#define ORVEX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Types ---- */

typedef void *orvex_t;          /* a store node; null means none */
typedef void *orvex_array_iter; /* array iterator, released with free() */
typedef void *orvex_dict_iter;  /* dictionary iterator, released with free() */

typedef enum {
    ORVEX_NONE = -1,
    ORVEX_BOOLEAN = 0,
    ORVEX_INT = 1,
    ORVEX_REAL = 2,
    ORVEX_STRING = 3,
    ORVEX_ARRAY = 4,
    ORVEX_DICT = 5,
    ORVEX_DATE = 6,
    ORVEX_DATA = 7,
    ORVEX_KEY = 8,
    ORVEX_UID = 9,
    ORVEX_NULL = 10
} orvex_type;

typedef enum {
    ORVEX_FORMAT_NONE = 0,
    ORVEX_FORMAT_XML = 1,
    ORVEX_FORMAT_BINARY = 2,
    ORVEX_FORMAT_JSON = 3,
    ORVEX_FORMAT_OSTEP = 4,
    ORVEX_FORMAT_PRINT = 10, /* no codec */
    ORVEX_FORMAT_VESK = 11,  /* no codec */
    ORVEX_FORMAT_PLUTIL = 12 /* no codec */
} orvex_format_t;
/* ORVEX_FORMAT_XML, ORVEX_FORMAT_BINARY, ORVEX_FORMAT_JSON and ORVEX_FORMAT_OSTEP have a
 * codec. The three values marked "no codec" are named so that programs can
 * speak of those output forms, but nothing here reads or writes them: asking a
 * reader for one, as for any value without a codec, gives ORVEX_ERR_FORMAT,
 * and detection never reports one. */

typedef enum {
    ORVEX_ERR_SUCCESS = 0,
    ORVEX_ERR_INVALID_ARG = -1,
    ORVEX_ERR_FORMAT = -2,
    ORVEX_ERR_PARSE = -3,
    ORVEX_ERR_NO_MEM = -4,
    ORVEX_ERR_LIMIT = -5,
    ORVEX_ERR_IO = -6,        /* a file could not be read or written; errno tells why */
    ORVEX_ERR_NOT_FOUND = -7, /* a key path names no node */
    ORVEX_ERR_UNKNOWN = -255
} orvex_err_t;
/* Values are stable: new codes are appended below the last one. */

/* The English text of an error code; static, never freed; "unknown error" for
 * a value this library does not know. */
ORVEX_API const char *orvex_err_text(orvex_err_t code);

/* ---- Creation ---- */

/* Each returns a new root node the caller owns, or null when memory runs out. */
ORVEX_API orvex_t orvex_new_dict(void);
ORVEX_API orvex_t orvex_new_array(void);
/* Text up to its first NUL; a null pointer is the empty text. */
ORVEX_API orvex_t orvex_new_string(const char *val);
ORVEX_API orvex_t orvex_new_bool(uint8_t val);
/* An unsigned integer; values above 2^63-1 stay unsigned. */
ORVEX_API orvex_t orvex_new_uint(uint64_t val);
/* A signed integer. */
ORVEX_API orvex_t orvex_new_int(int64_t val);
ORVEX_API orvex_t orvex_new_real(double val);
/* `length` bytes from `val`, NUL bytes included; null with 0 is an empty blob. */
ORVEX_API orvex_t orvex_new_data(const char *val, uint64_t length);
/* Whole seconds relative to 1970-01-01T00:00:00Z. */
ORVEX_API orvex_t orvex_new_unix_date(int64_t sec);
/* A date as the binary encoding holds it: seconds (with fraction) relative to
 * 2001-01-01T00:00:00Z. */
ORVEX_API orvex_t orvex_new_date(double sec_since_2001);
ORVEX_API orvex_t orvex_new_uid(uint64_t val);
ORVEX_API orvex_t orvex_new_null(void);

/* Frees `node` and its subtree; a node still held by a container is detached
 * from it first. Null is harmless. Iterative: any depth is safe. */
ORVEX_API void orvex_free(orvex_t node);
/* Takes `node` out of its container and returns it as a root the caller owns
 * (to attach elsewhere or release with orvex_free): an array item leaves its
 * array, whose later items move up; a dictionary value leaves with its entry.
 * Nothing is copied, and it never fails: it allocates only when a
 * dictionary compacts its removed entries and rebuilds its hash index, and
 * without memory for one the dictionary goes on without an index. A walk of
 * the container goes on as after orvex_array_remove_item or
 * orvex_dict_remove_item, which this is without the free. A root is returned
 * as it is; null gives null. Changes the container: no other call on its
 * tree at the same time. */
ORVEX_API orvex_t orvex_detach(orvex_t node);
/* A deep copy of the subtree as a new root, or null (null input, no memory). */
ORVEX_API orvex_t orvex_copy(orvex_t node);
/* Exchanges the children of two containers of the same type (array with
 * array, dictionary with dictionary); each node keeps its own place and
 * handle. Never allocates, so it cannot fail for lack of memory: it lets a
 * caller build new contents aside and put them in place in one step.
 * ORVEX_ERR_INVALID_ARG, changing nothing, for a null or non-container node,
 * two different types, or when one node lies in the other's subtree. */
ORVEX_API orvex_err_t orvex_swap_contents(orvex_t a, orvex_t b);

/* ---- Arrays ---- */

/* orvex_array_get_item_index for a node that is no array item. */
#define ORVEX_NO_INDEX 0xFFFFFFFFu

/* Number of items; 0 for null or a non-array. */
ORVEX_API uint32_t orvex_array_get_size(orvex_t node);
/* Item `n` (owned by the array), or null past the end. */
ORVEX_API orvex_t orvex_array_get_item(orvex_t node, uint32_t n);
/* Position of `node` in its parent array, or ORVEX_NO_INDEX when it has none. */
ORVEX_API uint32_t orvex_array_get_item_index(orvex_t node);
/* Attach the root `item` at the end / at position `n` (0 to size). Refused,
 * leaving `item` the caller's, when `item` has a parent, is `node` itself or
 * one of its ancestors, or `n` is past the end. */
ORVEX_API void orvex_array_append_item(orvex_t node, orvex_t item);
ORVEX_API void orvex_array_insert_item(orvex_t node, orvex_t item, uint32_t n);
/* Detach and free item `n`; past the end: no change. */
ORVEX_API void orvex_array_remove_item(orvex_t node, uint32_t n);
/* A new iterator (free() it) over the items in order; null for a non-array
 * or when memory runs out.
 *
 * The array may change between two steps of a walk, which follows its items
 * as they shift. With one insertion or removal between two steps nothing is
 * missed or repeated: removing (or freeing) the item just returned goes on
 * with the item that followed it, so a loop that removes each item as it
 * gets it sees every item once; removing another item changes only that it
 * is not returned; an item inserted after the one just returned, or
 * appended, is returned when reached, one inserted before it is not. With
 * several changes between two steps no item is returned twice, but the walk
 * may pass over items it has not returned (appends alone never cause that).
 * A walk never reads outside the array. Walking an array that has been freed
 * is the caller's fault; one retyped by a setter ends. */
ORVEX_API void orvex_array_new_iter(orvex_t node, orvex_array_iter *iter);
/* The next item, or null at the end (a later call returns items appended
 * since). */
ORVEX_API void orvex_array_next_item(orvex_t node, orvex_array_iter iter, orvex_t *item);

/* ---- Dictionaries ---- */

/* Number of entries; 0 for null or a non-dictionary. */
ORVEX_API uint32_t orvex_dict_get_size(orvex_t node);
/* The value under `key` (owned by the dictionary), or null. */
ORVEX_API orvex_t orvex_dict_get_item(orvex_t node, const char *key);
/* A malloc'd copy of the key under which `node` sits in its parent
 * dictionary; `*key` untouched when it has none. */
ORVEX_API void orvex_dict_get_item_key(orvex_t node, char **key);
/* As orvex_dict_get_item_key, but lent, not copied: the entry's own
 * NUL-terminated text, valid until the dictionary changes, with its length
 * through `length` when that is not null. Null (and `*length` untouched) for
 * a node that sits in no dictionary, and for null. */
ORVEX_API const char *orvex_dict_get_item_key_ptr(orvex_t node, uint64_t *length);
/* Attach the root `item` under `key`. An existing entry keeps its position
 * and its old value is freed. Refused (item stays the caller's) for a null
 * key, an item with a parent, or `node` itself or one of its ancestors. */
ORVEX_API void orvex_dict_set_item(orvex_t node, const char *key, orvex_t item);
/* Detach and free the entry under `key`; absent or null key: no change. */
ORVEX_API void orvex_dict_remove_item(orvex_t node, const char *key);
/* A new iterator (free() it) over the entries in insertion order; null for a
 * non-dictionary or when memory runs out.
 *
 * The dictionary may change in any way between two steps of a walk, and the
 * walk goes on in insertion order from the entry it returned last: no entry
 * is returned twice and none is read outside the dictionary. Removing (or
 * freeing the value of) the entry just returned, or any other, goes on with
 * the next entry that remains, so a loop that removes each entry as it gets
 * it sees every entry once; an entry removed before the walk reaches it is
 * not returned. A new key is a new entry at the end and is returned when
 * reached; so is a key removed and set again. Setting an existing key keeps
 * its entry in place: the walk returns the new value if it has not passed it.
 * Walking a dictionary that has been freed is the caller's fault; one retyped
 * by a setter ends. */
ORVEX_API void orvex_dict_new_iter(orvex_t node, orvex_dict_iter *iter);
/* The next entry: `*key` a malloc'd copy of its key (when key is not null)
 * and `*val` its value; both null at the end (a later call returns entries
 * added since). */
ORVEX_API void orvex_dict_next_item(orvex_t node, orvex_dict_iter iter, char **key, orvex_t *val);
/* As orvex_dict_next_item, but `*key` is lent, not copied: the entry's own
 * NUL-terminated text, valid until the dictionary changes, with its length in
 * `*key_length`. Any of key, key_length and val may be null; at the end `*key`
 * and `*val` are null and `*key_length` is 0. */
ORVEX_API void orvex_dict_next_item_ref(orvex_t node, orvex_dict_iter iter, const char **key,
                                        uint64_t *key_length, orvex_t *val);
/* A walk without an iterator, for a dictionary that does not change during
 * it: the first entry at or after place `*pos` (0 to start), lent as
 * orvex_dict_next_item_ref lends it, and `*pos` moved past it. At the end, for
 * a non-dictionary and for null: `*key` and `*val` null, `*key_length` 0 and
 * `*pos` untouched; any `*pos` is safe. Places hold only while the dictionary
 * is unchanged (a removal may move entries): walk a changing one with
 * orvex_dict_new_iter. Reads only, so it may run on several threads at once;
 * pos must not be null (nothing is returned then), the others may. */
ORVEX_API void orvex_dict_next_item_at(orvex_t node, uint32_t *pos, const char **key, uint64_t *key_length,
                                       orvex_t *val);

/* ---- Values ---- */

/* The container holding `node`, or null for a root. */
ORVEX_API orvex_t orvex_get_parent(orvex_t node);
/* The type; ORVEX_NONE for null. */
ORVEX_API orvex_type orvex_get_node_type(orvex_t node);
/* A malloc'd, NUL-terminated copy of a key node's text: all of it, since a
 * key's text ends at its first NUL however the node was made (an XML <key>
 * standing as a value, a setter, a copy), and every writer writes that. */
ORVEX_API void orvex_get_key_val(orvex_t node, char **val);
/* Text of a string node, owned by the node and NUL-terminated; the length
 * (which may include NUL bytes from a binary document) through `length` when
 * it is not null. Null for other types. */
ORVEX_API const char *orvex_get_string_ptr(orvex_t node, uint64_t *length);
/* Bytes of a data node, owned by the node; null for other types. */
ORVEX_API const char *orvex_get_data_ptr(orvex_t node, uint64_t *length);
ORVEX_API void orvex_get_bool_val(orvex_t node, uint8_t *val);
/* Integers: the same 64 bits read as unsigned or signed. */
ORVEX_API void orvex_get_uint_val(orvex_t node, uint64_t *val);
ORVEX_API void orvex_get_int_val(orvex_t node, int64_t *val);
ORVEX_API void orvex_get_real_val(orvex_t node, double *val);
/* Whole seconds since the Unix epoch, rounded toward negative infinity and
 * clamped to the 64-bit range (NaN reads as 0). */
ORVEX_API void orvex_get_unix_date_val(orvex_t node, int64_t *sec);
ORVEX_API void orvex_get_uid_val(orvex_t node, uint64_t *val);
/* A date's exact value: seconds relative to 2001-01-01T00:00:00Z. */
ORVEX_API void orvex_get_date_val(orvex_t node, double *sec_since_2001);
/* Nonzero only for a signed integer below zero. */
ORVEX_API int orvex_int_val_is_negative(orvex_t node);

/* Setters store the value and give the node that type; a container's
 * children are freed first. Text ends at its first NUL; null is empty. */
ORVEX_API void orvex_set_key_val(orvex_t node, const char *val);
ORVEX_API void orvex_set_string_val(orvex_t node, const char *val);
ORVEX_API void orvex_set_bool_val(orvex_t node, uint8_t val);
ORVEX_API void orvex_set_uint_val(orvex_t node, uint64_t val);
ORVEX_API void orvex_set_int_val(orvex_t node, int64_t val);
ORVEX_API void orvex_set_real_val(orvex_t node, double val);
ORVEX_API void orvex_set_data_val(orvex_t node, const char *val, uint64_t length);
ORVEX_API void orvex_set_unix_date_val(orvex_t node, int64_t sec);
ORVEX_API void orvex_set_uid_val(orvex_t node, uint64_t val);
ORVEX_API void orvex_set_date_val(orvex_t node, double sec_since_2001);

/* Counted text setters: the node becomes a string (or key) holding a copy of
 * `length` bytes from `text`, retyped as the setters above do (a container's
 * children are freed). A string keeps every byte, NUL bytes included. A key
 * ends at its first NUL byte, as dictionary keys and orvex_get_key_val do;
 * the rest is dropped. `text` may point into the node's own current text.
 * Null `text` with length 0 is the empty text.
 * Returns ORVEX_ERR_SUCCESS; ORVEX_ERR_INVALID_ARG for a null node, or a null
 * `text` with a nonzero length; ORVEX_ERR_LIMIT when `length` does not fit
 * the host's address space (no byte is read); ORVEX_ERR_NO_MEM when memory
 * runs out. On any failure the node is unchanged, old text and type kept. */
ORVEX_API orvex_err_t orvex_set_string_val_len(orvex_t node, const char *text, uint64_t length);
ORVEX_API orvex_err_t orvex_set_key_val_len(orvex_t node, const char *text, uint64_t length);

/* ---- Key paths ----
 *
 * A key path names a node below a root: parts separated by '.', each a
 * dictionary key or, in an array, a position from 0 in decimal (1 to 10
 * digits, no sign, leading zeros allowed: "01" is item 1) below its size.
 * Inside a part, a backslash and a dot stand for a dot and two backslashes
 * for one ("a\\.b" and "a\\\\b" as C literals); any other character after a
 * backslash, or none, makes the path malformed. The empty text is one part,
 * the empty key, and "a." is "a" then the empty key: the root itself has no
 * path. A part is looked up as a key only in a dictionary and as a position
 * only in an array; every scalar holds nothing. Offsets and lengths count
 * bytes of the path as written, escapes included.
 *
 * Lookups (orvex_get_path, orvex_find_path) read the tree and write nothing
 * in it, so they may run beside other reads of it; they never allocate, so
 * memory never makes them fail. */

/* Where orvex_find_path stopped. */
typedef struct {
    uint32_t part;           /* index of the first part not found (0: the first) */
    uint64_t offset, length; /* where that part stands in the path as written, in bytes */
    orvex_t container;       /* the node it was looked for in: a dictionary, an array or a scalar */
} orvex_path_miss;

/* The node at `path` below `root` (owned by the tree), or null: absent, a
 * malformed path, a null root or path. */
ORVEX_API orvex_t orvex_get_path(orvex_t root, const char *path);
/* orvex_get_path saying why not. ORVEX_ERR_SUCCESS with `*node` the node;
 * ORVEX_ERR_NOT_FOUND, `*node` null and, when `miss` is not null, `*miss`
 * the first part missing and the node it was looked for in;
 * ORVEX_ERR_INVALID_ARG for a null root, path or node pointer (`*miss`
 * untouched), and for a malformed path, which is refused whole before any
 * lookup: `*node` null, `*miss` naming the part that holds the first stray
 * backslash, with `offset` at that backslash, `length` 1 and a null
 * `container`. */
ORVEX_API orvex_err_t orvex_find_path(orvex_t root, const char *path, orvex_t *node, orvex_path_miss *miss);
/* The part of `path` starting at byte `offset` (0, or a `*next` returned
 * before), unescaped into a malloc'd NUL-terminated copy in `*part` (free()
 * it), its length through `length` and the offset of the following part
 * through `next` (each when not null); past the last part `*next` is
 * strlen(path) + 1. Checking `offset` reads the path up to it, so a
 * walk over a long path in linear time passes `path + offset` and 0.
 * ORVEX_ERR_INVALID_ARG for a null path or part pointer, an offset past
 * strlen(path), or a stray backslash in this part; ORVEX_ERR_NO_MEM. On
 * failure `*part` is null and the other out-values are untouched. */
ORVEX_API orvex_err_t orvex_path_part(const char *path, uint64_t offset, char **part, uint64_t *length,
                                      uint64_t *next);
/* Nonzero when the `length` bytes at `part` (unescaped, as orvex_path_part
 * gives them) are an array position as key paths write them (at most
 * 4294967295), with its value through `position` when that is not null; 0,
 * `*position` untouched, otherwise. A null `part` is no position. */
ORVEX_API int orvex_path_position(const char *part, uint64_t length, uint32_t *position);
/* The key path of `node` below `root`, escaped, with positions in plain
 * decimal, so that orvex_get_path(root, it) is `node`: a malloc'd,
 * NUL-terminated text (free() it). Null when `node` is `root`, lies outside
 * its subtree, either is null, or memory runs out. Reads only; linear in
 * the depth and the length of the path. */
ORVEX_API char *orvex_path_of(orvex_t root, orvex_t node);

/* ---- Writing ---- */

/* Encode the subtree at `node` into a malloc'd buffer (XML is NUL-terminated,
 * the length excludes the NUL). On failure nothing is allocated, `*xml`/`*bin`
 * is null and `*length` 0; ORVEX_ERR_LIMIT when the encoding would not fit
 * 32 bits, ORVEX_ERR_INVALID_ARG for a null node or null out-pointer.
 * XML loses: a date's fraction of a second (written as the whole second
 * orvex_get_unix_date_val reads); NaN, infinite and very far dates (written
 * clamped likewise); a dictionary holding only CF$UID with a non-negative
 * integer, which is the form of a UID and reads back as one. Null nodes,
 * control characters, U+FFFE and U+FFFF are written in forms only our reader
 * takes back.
 * Reals, in XML as in the other text encodings, are written in the fewest
 * significant digits that read back to the same double: in plain notation
 * when that is no longer than with an exponent and needs no further digit
 * ("100", "0.1"), else with an exponent ("1e+16", "-9.223372036854776e+18"
 * for -2^63, not its 19 exact digits). XML and JSON then add ".0" to plain
 * integral text ("100.0"), so that it reads back as a real; OpenStep does not. */
ORVEX_API orvex_err_t orvex_to_xml(orvex_t node, char **xml, uint32_t *length);
ORVEX_API orvex_err_t orvex_to_bin(orvex_t node, char **bin, uint32_t *length);

/* JSON (RFC 8259). orvex_to_json writes the subtree at `node` as
 * orvex_to_xml does (a malloc'd, NUL-terminated buffer; ORVEX_ERR_LIMIT,
 * ORVEX_ERR_INVALID_ARG likewise, also for unknown `flags` bits), compact
 * unless `flags` has ORVEX_JSON_PRETTY: one entry per line, indented by two
 * spaces. Text is always valid UTF-8 (bytes that are not become U+FFFD);
 * integers are exact, reals in the fewest digits that read back to the same
 * double (see orvex_to_xml); a key node standing as a value is written as a
 * string, null nodes as null. Dates, data, UIDs and NaN or infinite reals
 * have no JSON form: the tree is refused with ORVEX_ERR_FORMAT and nothing
 * written, and orvex_json_unwritable names the node. With ORVEX_JSON_LOSSY they are mapped
 * instead, and the mapping is one way (the reader gives back strings, a
 * dictionary and null): a date becomes its ISO 8601 text in whole seconds
 * ("2001-01-01T00:00:00Z"), data its base64 text, a UID {"CF$UID": n}, a
 * non-finite real null. */
#define ORVEX_JSON_PRETTY 1u
#define ORVEX_JSON_LOSSY 2u
ORVEX_API orvex_err_t orvex_to_json(orvex_t node, char **json, uint32_t *length, uint32_t flags);
/* The node for which orvex_to_json without ORVEX_JSON_LOSSY refuses the
 * subtree at `node`: the first date, data, UID or non-finite real in document
 * order (depth first, entries in order), owned by the tree. Null when the
 * subtree has a JSON form, and for a null node. */
ORVEX_API orvex_t orvex_json_unwritable(orvex_t node);

/* The OpenStep text encoding (orvex_from_openstep, under Reading, describes
 * the format).
 *
 * Writing: UTF-8 without a byte-order mark unless a flag below asks for
 * another form, one entry per line, tab-indented, NUL-terminated as XML
 * is; strings bare when made only of A-Z a-z 0-9 _ $ / : . - (what other
 * readers take unquoted) and not starting a comment, else quoted and escaped
 * where they must be; data as <hex>. The format has no numbers, booleans or
 * dates: by default they are written as text (integers in decimal, reals in
 * the fewest digits that read back, as orvex_to_xml but without its ".0",
 * quoted when the text holds a '+' as "1e+16" does, booleans as YES and NO,
 * dates as "2001-01-01 00:00:00 +0000") and read back as strings. With
 * ORVEX_OSTEP_TYPED they are written in the GNUstep typed forms and read
 * back as what they were (dates in whole seconds, as in XML). A key node
 * standing as a value is written as a string. UIDs and null nodes have no
 * form: a tree holding one is refused with ORVEX_ERR_FORMAT and nothing is
 * written. Other failures as orvex_to_xml; ORVEX_ERR_INVALID_ARG also for a
 * flag this library does not know. */
#define ORVEX_OSTEP_TYPED 1u /* numbers, booleans and dates in the GNUstep typed forms */
/* A root dictionary as a bare .strings list: its `key = value;` lines
 * without braces or indent (its containers keep theirs), an empty one as a
 * single newline, which reads back as {}. A root of another type is
 * written as without this flag. */
#define ORVEX_OSTEP_STRINGS 2u
/* UTF-16 in little- (UTF16LE) or big-endian (UTF16BE) order, starting with
 * its byte-order mark; both together are ORVEX_ERR_INVALID_ARG. The length
 * counts bytes, the mark included, and the text is followed by one NUL code
 * unit (two zero bytes) that the length leaves out. */
#define ORVEX_OSTEP_UTF16LE 4u
#define ORVEX_OSTEP_UTF16BE 8u
/* UTF-8 starting with its byte-order mark, EF BB BF (counted in the length);
 * no effect with a UTF-16 flag, whose mark is always written. */
#define ORVEX_OSTEP_BOM 16u
ORVEX_API orvex_err_t orvex_to_openstep(orvex_t node, char **text, uint32_t *length, uint32_t flags);

/* ---- Writing into caller memory ---- */

/* Memory a writer may write into, lent by the caller: returns room for at
 * least `size` bytes in all that keeps the bytes written so far (it may be
 * asked again, for more), or null to stop the writer with ORVEX_ERR_NO_MEM. */
typedef char *(*orvex_grow_fn)(void *context, uint64_t size);

/* orvex_to_xml and orvex_to_bin writing into the caller's memory through
 * `grow` instead of a malloc'd buffer: `*length` gets the size of the
 * document, which starts at the memory `grow` last returned (XML adds no NUL
 * to the count). On failure `*length` is 0 and what the memory holds is
 * unspecified; nothing is allocated that the caller must free. */
ORVEX_API orvex_err_t orvex_to_xml_into(orvex_t node, orvex_grow_fn grow, void *context, uint32_t *length);
ORVEX_API orvex_err_t orvex_to_bin_into(orvex_t node, orvex_grow_fn grow, void *context, uint32_t *length);

/* orvex_to_json into the caller's memory, as orvex_to_xml_into. */
ORVEX_API orvex_err_t orvex_to_json_into(orvex_t node, orvex_grow_fn grow, void *context, uint32_t *length,
                                         uint32_t flags);
/* orvex_to_openstep into the caller's memory, as orvex_to_xml_into. */
ORVEX_API orvex_err_t orvex_to_openstep_into(orvex_t node, orvex_grow_fn grow, void *context,
                                             uint32_t *length, uint32_t flags);

/* ---- Writing any format ---- */

/* Flags of orvex_write, orvex_write_into and orvex_write_file: each means the
 * same in every format, and a format with nothing to do for one ignores it
 * unless said otherwise. */
/* JSON's indented form (ORVEX_JSON_PRETTY); XML, binary and OpenStep have one
 * layout each and ignore it. */
#define ORVEX_WRITE_PRETTY 1u
/* JSON's one-way mapping of dates, data, UIDs and non-finite reals
 * (ORVEX_JSON_LOSSY); ignored by the formats that need none. */
#define ORVEX_WRITE_LOSSY 2u
/* OpenStep's typed forms (ORVEX_OSTEP_TYPED); the other formats always write
 * the type. */
#define ORVEX_WRITE_TYPED 4u
/* OpenStep's bare .strings root (ORVEX_OSTEP_STRINGS); ignored elsewhere. */
#define ORVEX_WRITE_STRINGS 8u
/* UTF-16 little- or big-endian with its byte-order mark, for OpenStep as
 * ORVEX_OSTEP_UTF16LE/BE and for XML, whose declaration then says
 * encoding="UTF-16"; both together are refused. The length counts bytes, and
 * one NUL code unit follows that the length leaves out. JSON is UTF-8 (RFC
 * 8259 section 8.1) and binary has no text encoding: both refuse these flags
 * with ORVEX_ERR_INVALID_ARG. */
#define ORVEX_WRITE_UTF16LE 16u
#define ORVEX_WRITE_UTF16BE 32u
/* UTF-8 starting with its byte-order mark, EF BB BF, in OpenStep and XML (no
 * effect with a UTF-16 flag, whose mark is always written). JSON refuses it
 * (RFC 8259 section 8.1: implementations must not add one), as binary does:
 * ORVEX_ERR_INVALID_ARG. */
#define ORVEX_WRITE_BOM 64u
/* Every dictionary's entries in byte order of their keys (unsigned bytes, a
 * key before the keys it is a prefix of), in every format, binary included.
 * The tree is neither changed nor copied: a tree read by several threads may
 * be written sorted by each of them. */
#define ORVEX_WRITE_SORTED 128u

/* Encodes the subtree at `node` in `format` (ORVEX_FORMAT_XML, _BINARY,
 * _JSON or _OSTEP) with `flags` (ORVEX_WRITE_* above) into a malloc'd buffer
 * the caller frees: text is NUL-terminated (a NUL code unit for UTF-16), the
 * length without it. Writes what orvex_to_xml, orvex_to_bin, orvex_to_json
 * and orvex_to_openstep write with the matching flags, and fails as they do
 * (ORVEX_ERR_FORMAT for a tree the format cannot hold, ORVEX_ERR_LIMIT past
 * 2^32-1 bytes, ORVEX_ERR_NO_MEM); ORVEX_ERR_INVALID_ARG for a null node or
 * out-pointer, a format without a codec, a flag this library does not know,
 * or one the format refuses. On failure `*data` is null and `*length` 0.
 * Reads the tree only (see Threads above). */
ORVEX_API orvex_err_t orvex_write(orvex_t node, orvex_format_t format, uint32_t flags, char **data,
                                  uint64_t *length);
/* orvex_write into the caller's memory through `grow`, as orvex_to_xml_into:
 * `*length` gets the size of the document, which starts at the memory `grow`
 * last returned; on failure `*length` is 0 and nothing is allocated. */
ORVEX_API orvex_err_t orvex_write_into(orvex_t node, orvex_format_t format, uint32_t flags,
                                       orvex_grow_fn grow, void *context, uint64_t *length);

/* ---- Reading ---- */

/* Readers reject documents nested deeper than this many containers. */
#define ORVEX_MAX_DEPTH 512

/* A binary document may store a container once and reference it many times;
 * each reference reads as a copy. The binary reader refuses (ORVEX_ERR_LIMIT)
 * a document that would expand into more nodes than the larger of
 * ORVEX_EXPANSION_NODES and 2 per input byte, or copy more bytes of text,
 * keys and data than the larger of ORVEX_EXPANSION_BYTES and 32 per input
 * byte. A document that shares nothing always fits. */
#define ORVEX_EXPANSION_NODES 1048576  /* 2^20 nodes */
#define ORVEX_EXPANSION_BYTES 67108864 /* 64 MiB */

/* Parse a document into a new root the caller owns; `*node` is null on any
 * failure. orvex_from_memory detects the encoding and writes it through
 * `format` when that is not null (ORVEX_FORMAT_NONE and ORVEX_ERR_FORMAT for
 * unknown input). Input of no bytes is refused as ORVEX_ERR_PARSE with
 * ORVEX_REASON_EMPTY by every reader, detecting or not. */
ORVEX_API orvex_err_t orvex_from_xml(const char *xml, uint32_t length, orvex_t *node);
/* Binary text is stored as UTF-8. A single-byte string (marker 0x5) is meant
 * as ASCII; one holding a byte above 0x7F is read as UTF-8 when it is
 * well-formed UTF-8 (writers exist that put UTF-8 there), as ISO 8859-1
 * otherwise, so no byte is lost either way. In a UTF-16 string (marker 0x6)
 * an unpaired surrogate becomes U+FFFD. */
ORVEX_API orvex_err_t orvex_from_bin(const char *bin, uint32_t length, orvex_t *node);
/* JSON: any value may be the root. Objects read as dictionaries in document
 * order (a repeated key: the last value at the first one's place), null as
 * the null node; a number without fraction or exponent from -2^63 to 2^64-1
 * as an integer, any other as a real. orvex_from_memory and orvex_parse take
 * a document for JSON when it opens with '{' or '[' after blanks and an
 * optional UTF-8 byte-order mark and parses as JSON; one that opens with '{'
 * and does not is tried as OpenStep, and of the two rejections the one that
 * got further is reported. */
ORVEX_API orvex_err_t orvex_from_json(const char *json, uint32_t length, orvex_t *node);
ORVEX_API orvex_err_t orvex_from_memory(const char *data, uint32_t length, orvex_t *node,
                                        orvex_format_t *format);

/* The OpenStep text encoding ("old-style" property lists, .strings files).
 *
 * Reading (orvex_from_openstep, or orvex_parse with ORVEX_FORMAT_OSTEP):
 * dictionaries { key = value; }, arrays ( a, b ) with an optional comma
 * after the last item, quoted strings with their backslash escapes (\a \b
 * \f \n \r \t \v, \" \' \\, \Uxxxx and \uxxxx, octal \ooo; any other
 * character after a backslash stands for itself), unquoted strings (of
 * A-Z a-z 0-9 _ $ + / : . - and any character beyond ASCII but U+2028 and
 * U+2029), data <0fbd 7777> and GNUstep's base64 form <[D713dwA=]>,
 * comments (// to the end of the line, which LF, CR, U+2028 or U+2029 ends,
 * and slash-star ones), and the .strings form: a bare list of key = value;
 * pairs (or key; for key = key;, whose value keeps the whole text while the
 * key, as every key, ends at its first NUL) is a dictionary, as is a
 * document of only blanks and comments. U+2028 and U+2029 are blanks, as
 * space, tab, LF, CR, FF and VT are. An octal escape is a byte of the
 * NeXTSTEP character set, in which the format's 8-bit text was written:
 * \000-\177 are ASCII, \200-\377 the characters of that set's upper half
 * (\200 is U+00A0, \351 U+00D8, \375 U+00FF; \376 and \377 have none and
 * read as U+FFFD); three digits past \377 wrap to a byte, as other readers
 * take them. The GNUstep typed forms <*I12>, <*R1.5>, <*BY>, <*BN> and
 * <*D2001-01-01 00:00:00 +0000> read as integer, real, boolean and date;
 * every other value is a string. The text is UTF-8, with or without a
 * byte-order mark, or UTF-16 of either byte order: with its byte-order
 * mark, or without one when its first two characters are ASCII (a zero
 * byte beside each; XML is recognised the same way, as XML 1.0 Appendix F
 * has it); UTF-32 is not read. Offsets in rejections count bytes of the
 * input as given, and line and column count characters (UTF-16 code units
 * for UTF-16 input).
 *
 * Detection (orvex_from_memory, ORVEX_FORMAT_NONE) looks at the first
 * character after blanks. '<' starts XML, unless what follows cannot start
 * an XML element: '*', '[', '>', a digit or a blank, or hex letters and
 * blanks running to a '>' (no property-list element has such a name); such
 * a document is OpenStep, as data or a typed value, and reports OpenStep's
 * rejections. Otherwise OpenStep is a text that starts with a character a
 * document in it can start with: { ( " ' / or one of an unquoted string; a
 * text of only blanks (and a byte-order mark) reads as an empty dictionary,
 * as it does with the format given. */
ORVEX_API orvex_err_t orvex_from_openstep(const char *text, uint32_t length, orvex_t *node);

/* ---- Rejections ---- */

/* Why a reader rejected a document: one value per cause, stable across
 * versions (new causes are appended), for programs to test instead of the
 * text. orvex_reason_text gives the text. */
typedef enum {
    ORVEX_REASON_NONE = 0,        /* accepted */
    ORVEX_REASON_INVALID_ARG = 1, /* no input, or no place for the result */
    ORVEX_REASON_NO_MEMORY = 2,
    ORVEX_REASON_TOO_LONG = 3,       /* longer than 2^32-1 bytes */
    ORVEX_REASON_UNKNOWN_FORMAT = 4, /* not an encoding with a codec */
    ORVEX_REASON_EMPTY = 5,
    ORVEX_REASON_TRUNCATED = 6, /* ends inside a tag, element, comment, trailer... */
    ORVEX_REASON_TOO_DEEP = 7,  /* nesting past ORVEX_MAX_DEPTH */
    ORVEX_REASON_EXPANSION = 8, /* shared references past ORVEX_EXPANSION_* */
    ORVEX_REASON_BAD_UTF8 = 9,
    ORVEX_REASON_NUL_BYTE = 10,
    ORVEX_REASON_BAD_INTEGER = 11,
    ORVEX_REASON_INTEGER_RANGE = 12, /* outside -2^63 to 2^64-1 */
    ORVEX_REASON_BAD_REAL = 13,
    ORVEX_REASON_BAD_DATE = 14,
    ORVEX_REASON_DATE_RANGE = 15, /* a field, or the instant, out of range */
    ORVEX_REASON_BAD_BASE64 = 16,
    ORVEX_REASON_UID_RANGE = 17, /* outside 0 to 2^64-1 */
    /* XML */
    ORVEX_REASON_UNSUPPORTED_ENCODING = 18,
    ORVEX_REASON_ENCODING_CONFLICT = 19, /* declared twice, or against the byte-order mark */
    ORVEX_REASON_NOT_ASCII = 20,         /* a byte above 0x7F in a US-ASCII document */
    ORVEX_REASON_BAD_DECLARATION = 21,
    ORVEX_REASON_BAD_DOCTYPE = 22, /* malformed, repeated or after the root */
    ORVEX_REASON_BAD_TAG = 23,     /* malformed tag or attribute */
    ORVEX_REASON_UNKNOWN_ELEMENT = 24,
    ORVEX_REASON_MISMATCHED_TAG = 25,
    ORVEX_REASON_MISPLACED_ELEMENT = 26, /* inside a scalar value, or a plist inside a value */
    ORVEX_REASON_MISPLACED_TEXT = 27,    /* text outside values or inside an empty element */
    ORVEX_REASON_NO_VALUE = 28,          /* no root value */
    ORVEX_REASON_EXTRA_CONTENT = 29,     /* anything after the root value */
    ORVEX_REASON_KEY_WITHOUT_VALUE = 30,
    ORVEX_REASON_VALUE_WITHOUT_KEY = 31,
    ORVEX_REASON_UNKNOWN_ENTITY = 32,
    ORVEX_REASON_BAD_CHAR_REF = 33, /* malformed, to a surrogate or past U+10FFFF */
    /* binary */
    ORVEX_REASON_NOT_BINARY = 34, /* the magic is missing */
    ORVEX_REASON_BAD_TRAILER = 35,
    ORVEX_REASON_BAD_OFFSET = 36,    /* an object offset outside the object area */
    ORVEX_REASON_BAD_REFERENCE = 37, /* an object reference out of range */
    ORVEX_REASON_CYCLE = 38,         /* a container that contains itself */
    ORVEX_REASON_BAD_MARKER = 39,
    ORVEX_REASON_BAD_OBJECT = 40, /* malformed, or running past the object area */
    ORVEX_REASON_BAD_KEY = 41,    /* a dictionary key that is not a string */
    /* text in UTF-16 */
    ORVEX_REASON_BAD_UTF16 = 42, /* an odd number of bytes, or an unpaired surrogate */
    /* OpenStep */
    ORVEX_REASON_UNEXPECTED = 43,         /* a character or bracket where it cannot stand */
    ORVEX_REASON_EXPECTED_EQUALS = 44,    /* a dictionary key not followed by '=' */
    ORVEX_REASON_EXPECTED_SEMICOLON = 45, /* a dictionary entry not ended by ';' */
    ORVEX_REASON_EXPECTED_COMMA = 46,     /* array items not separated by ',' */
    ORVEX_REASON_BAD_ESCAPE = 47,         /* an unknown escape, or \u without its digits */
    ORVEX_REASON_BAD_DATA = 48,           /* <...> that is not pairs of hex digits */
    ORVEX_REASON_BAD_TYPED = 49,          /* <*...> of an unknown type, or a boolean not Y or N */
    /* JSON */
    ORVEX_REASON_LEADING_ZERO = 50,
    ORVEX_REASON_BAD_NUMBER = 51, /* a sign, point or exponent without digits, a '+' */
    ORVEX_REASON_TRAILING_COMMA = 52,
    ORVEX_REASON_COMMENT = 53,
    ORVEX_REASON_BAD_LITERAL = 54,        /* a word other than true, false and null: NaN... */
    ORVEX_REASON_UNPAIRED_SURROGATE = 55, /* a \u escape of half a surrogate pair */
    ORVEX_REASON_CONTROL_CHAR = 56,       /* unescaped, in a string */
    ORVEX_REASON_EXPECTED_VALUE = 57,
    ORVEX_REASON_MISSING_COLON = 58,
    ORVEX_REASON_MISSING_SEPARATOR = 59 /* neither a comma nor the closing bracket */
} orvex_reason_t;

/* The English text of a reason; static, never freed; "unknown reason" for a
 * value this library does not know. */
ORVEX_API const char *orvex_reason_text(orvex_reason_t reason);

/* Why a document was rejected. */
typedef struct {
    orvex_err_t code;      /* ORVEX_ERR_SUCCESS when the document was accepted */
    uint64_t offset;       /* byte offset of the fault in the input */
    uint32_t line, column; /* 1-based position for text encodings; 0 for binary */
    const char *reason;    /* orvex_reason_text(cause) */
    orvex_reason_t cause;  /* ORVEX_REASON_NONE when the document was accepted */
} orvex_parse_result;

/* Parses `length` bytes as `format` (ORVEX_FORMAT_NONE: detect it); writes the
 * format found through `found` and the outcome through `result` when they are
 * not null. `*root` is null unless the result is ORVEX_ERR_SUCCESS. */
ORVEX_API orvex_err_t orvex_parse(const char *data, uint64_t length, orvex_format_t format, orvex_t *root,
                                  orvex_format_t *found, orvex_parse_result *result);

/* ---- Files ----
 *
 * Paths are as open(2) takes them. A failure of the system is ORVEX_ERR_IO
 * with errno as the failing call left it (EISDIR for a directory given to be
 * read or written); every other outcome leaves errno as it may. Calls on
 * distinct files may run on any threads at once; two calls replacing one
 * file (without other hard links) at once leave one of the two documents,
 * whole. */

/* The bytes of the file at `path` in a malloc'd buffer the caller frees, with
 * one NUL after them that `*length` leaves out (an empty file gives a buffer
 * holding just the NUL). The document limit holds before anything is
 * allocated for it: a regular file longer than 2^32-1 bytes is refused from
 * its size, a pipe or other stream once one byte past the bound has come, as
 * ORVEX_ERR_LIMIT. ORVEX_ERR_INVALID_ARG for a null argument, ORVEX_ERR_IO,
 * ORVEX_ERR_NO_MEM. On failure `*data` is null and `*length` 0. "/dev/stdin"
 * reads standard input. */
ORVEX_API orvex_err_t orvex_read_file_bytes(const char *path, char **data, uint64_t *length);
/* Reads the file at `path` as orvex_read_file_bytes does and parses it as
 * orvex_parse does (`format` ORVEX_FORMAT_NONE: detect it; `found` and
 * `result` may be null). `*root` is a new root the caller owns, null on any
 * failure. Failures as orvex_parse, and as orvex_read_file_bytes with
 * result->code set alike: ORVEX_ERR_IO (errno kept; cause ORVEX_REASON_NONE,
 * as no reader saw a byte, and offset 0), ORVEX_ERR_LIMIT with
 * ORVEX_REASON_TOO_LONG, ORVEX_ERR_NO_MEM with ORVEX_REASON_NO_MEMORY. */
ORVEX_API orvex_err_t orvex_read_file(const char *path, orvex_format_t format, orvex_t *root,
                                      orvex_format_t *found, orvex_parse_result *result);

/* Replaces the file at `path` by `length` bytes from `data`, never leaving it
 * half written: a temporary file beside it (named ".NAME.XXXXXX") is
 * written, flushed to disk and renamed over it, then the folder flushed. A
 * symbolic link is followed, so the link stays and its target is replaced.
 * An existing file keeps its mode, and its owner and group where the user
 * may give them (as cp -p: EPERM gives the group alone, or neither); a new
 * one gets the mode open(2) would give it (0666 less the umask). A file with
 * other hard links is rewritten in place once the complete copy is on disk,
 * so that the links stay one file; should that fail, the copy is renamed over
 * this name (the other names then hold a torn document) and ORVEX_ERR_IO
 * reports the failure; should that fail too, the temporary file, the one
 * whole copy, is kept. Refused, changing nothing: a directory (EISDIR), a
 * file the user may not write (the error of access(2), EACCES), a folder
 * the temporary file cannot be made in. On any other failure the file is as
 * it was and no temporary file is left. SIGINT, SIGTERM and SIGHUP are held on
 * the calling thread while the temporary file exists, so that in a program
 * that does not catch them they end it only once it is gone; other
 * signals and other threads are left alone. ORVEX_ERR_INVALID_ARG for a null
 * path, or null data with a nonzero length; ORVEX_ERR_LIMIT past 2^32-1
 * bytes. */
ORVEX_API orvex_err_t orvex_write_file_bytes(const char *path, const char *data, uint64_t length);
/* Writes the subtree at `node` as orvex_write does, then into the file at
 * `path` as orvex_write_file_bytes does; a document refused by the writer
 * leaves the file untouched. Reads the tree only. */
ORVEX_API orvex_err_t orvex_write_file(orvex_t node, const char *path, orvex_format_t format, uint32_t flags);
/* ---- Editing documents in place ---- */

/* orvex_edit applies edits to a document's bytes and returns the new bytes.
 * A text document (XML, JSON, OpenStep) keeps every byte but those of what
 * was edited: comments, blank lines, indentation, the spelling of entities,
 * escapes and numbers, the line ending, the encoding and byte-order mark
 * elsewhere stay as they were. A binary document has no layout to keep: it
 * is read, changed and written whole.
 *
 * Each op names a value by a key path: parts separated by '.', each a
 * dictionary key or, in an array, a decimal position; "\." and "\\" stand
 * for '.' and '\' inside a part, and "" is one empty key.
 * - ORVEX_EDIT_SET puts `value` at the path: a dictionary's key may be new
 *   (the entry is added at its end); in an array the position must exist.
 * - ORVEX_EDIT_INSERT adds a dictionary entry that must not exist yet, or an
 *   array item at a position from 0 to the array's size.
 * - ORVEX_EDIT_REMOVE takes out an existing entry or item; `value` is unused.
 * The ops apply in order, each to the document as the ones before it left
 * it, from one read to one output. Values are copied: they stay the caller's.
 *
 * What is written: a new value in the writer's form for the encoding
 * (orvex_to_xml, orvex_to_json, orvex_to_openstep) indented as its
 * siblings are, with the document's line ending (and in JSON its spacing
 * after a key's colon); in a container written on one line, on that line.
 * An OpenStep `key;` set to a value becomes `key = value;`. A new
 * entry goes at the end of its dictionary, after the last entry's line; a
 * removed one takes its line with it, and the comment lines right above it
 * (but not a "Begin ... section" or "End ... section" marker). OpenStep
 * numbers, booleans and dates are written in the typed forms (<*I5>) only
 * when the document already holds such values; otherwise as the writer's
 * text, which reads back as a string. XML dates are whole seconds. A set to
 * a value equal (orvex_equal) to the one the document holds changes nothing;
 * writing a value the document held in the writer's own form gives back its
 * original bytes. An entry or item added to a container that had none and
 * only blanks inside rewrites that container; one holding comments keeps
 * them, the entry going before its closing bracket. UTF-16 documents are
 * edited as UTF-8 and written back in their byte order with their mark (one
 * known without a mark by its first two ASCII characters gets a mark when
 * an edit leaves it without them); an XML document declared ISO-8859-1 or
 * US-ASCII stays in that encoding, new characters outside it written as
 * character references. Binary documents are rewritten whole.
 *
 * Refused, with nothing produced (*out null, *out_length 0), the op's index
 * in `result->op` and its cause in `result->refusal`:
 * - ORVEX_ERR_NOT_FOUND: a part before the last names nothing or a value
 *   that is no container; a set or remove at a path that does not exist (an
 *   insert at a position past the end of an array);
 * - ORVEX_ERR_INVALID_ARG: an insert of a key already there, a malformed key
 *   path, an unknown kind, no value for set or insert, null data with a
 *   length, or a null out or out_length;
 * - ORVEX_ERR_FORMAT: a value without a form in the encoding (a date, data,
 *   UID or non-finite real in JSON; a UID or null node in OpenStep), or a
 *   format without a codec;
 * - ORVEX_ERR_LIMIT: the result would nest past ORVEX_MAX_DEPTH, or pass
 *   2^32-1 bytes;
 * - ORVEX_ERR_PARSE and the others of orvex_parse: the reader rejected the
 *   document, which is never edited; result->parse holds its rejection;
 * - ORVEX_ERR_NO_MEM: memory ran out; nothing is allocated then.
 * `format` ORVEX_FORMAT_NONE detects the encoding (orvex_parse); the format
 * found goes to result->format. On success *out is a malloc'd buffer the
 * caller frees (followed by a NUL byte the length leaves out). `result` may
 * be null. A key the document repeats (the last value is the one read) is
 * set in its last entry and removed with all of them. Reads only its
 * arguments: calls may run on any threads at once.
 */
typedef enum { ORVEX_EDIT_SET = 0, ORVEX_EDIT_INSERT = 1, ORVEX_EDIT_REMOVE = 2 } orvex_edit_kind;

typedef struct {
    orvex_edit_kind kind;
    const char *path; /* the key path, NUL-terminated */
    orvex_t value;    /* set and insert: the new value, copied; remove: ignored */
} orvex_edit_op;

/* Why orvex_edit refused. Values are stable: new ones are appended. */
typedef enum {
    ORVEX_EDIT_DONE = 0,     /* nothing refused */
    ORVEX_EDIT_BAD_ARGUMENT, /* null or unknown arguments, no value */
    ORVEX_EDIT_BAD_DOCUMENT, /* the reader rejected it: see `parse` */
    ORVEX_EDIT_BAD_PATH,     /* a backslash before anything but '.' or '\' */
    ORVEX_EDIT_NO_CONTAINER, /* a part before the last names nothing or no container */
    ORVEX_EDIT_ABSENT,       /* set or remove of what is not there */
    ORVEX_EDIT_EXISTS,       /* insert of a key already there */
    ORVEX_EDIT_NO_FORM,      /* the value has no form in the encoding */
    ORVEX_EDIT_TOO_DEEP,     /* the result would nest past ORVEX_MAX_DEPTH */
    ORVEX_EDIT_TOO_LONG,     /* the result would pass 2^32-1 bytes */
    ORVEX_EDIT_OUT_OF_MEMORY
} orvex_edit_refusal;

/* result->op when no single op is to blame. */
#define ORVEX_EDIT_NO_OP 0xFFFFFFFFu

typedef struct {
    orvex_err_t code;
    uint32_t op;                /* index of the refused op, or ORVEX_EDIT_NO_OP */
    orvex_edit_refusal refusal; /* ORVEX_EDIT_DONE on success */
    const char *reason;         /* English text of the refusal; static */
    orvex_format_t format;      /* the document's encoding */
    orvex_parse_result parse;   /* the reader's outcome (code ORVEX_ERR_SUCCESS when it read) */
} orvex_edit_result;

ORVEX_API orvex_err_t orvex_edit(const char *data, uint64_t length, orvex_format_t format,
                                 const orvex_edit_op *ops, uint32_t count, char **out, uint64_t *out_length,
                                 orvex_edit_result *result);

/* ---- Comparison ---- */

/* Nonzero when the two subtrees hold the same values: same types and shapes,
 * integers equal as numbers, reals equal bit for bit and dates as instants
 * (any NaN equals any NaN), strings, keys and data byte for byte, dictionary
 * entries in the same order. Two nulls are equal; null and a node are not. */
ORVEX_API int orvex_equal(orvex_t a, orvex_t b);

/* ---- Version ---- */

/* The version of the library loaded at run time, "MAJOR.MINOR.PATCH"; it may
 * differ from ORVEX_VERSION_STRING, the version of the headers compiled. */
ORVEX_API const char *orvex_version(void);

#ifdef __cplusplus
}
#endif

#endif /* ORVEX_ORVEX_H */
