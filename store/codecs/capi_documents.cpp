// C interface: the document readers and writers, dispatching to the codecs.
#include "codecs/codecs.hpp"
#include "text/utf16.hpp"

namespace orvex_store {
namespace {

void line_column(const char *data, uint64_t offset, const ParseError &err, uint32_t *line, uint32_t *column) {
    uint64_t l = 1, c = 1;
    if (err.utf16) {
        // Code units past the byte-order mark; a low surrogate ends a
        // character already counted.
        const auto *u = reinterpret_cast<const unsigned char *>(data);
        const bool little = utf16_little(err.utf16);
        for (uint64_t i = utf16_mark(err.utf16); i + 2 <= offset; i += 2) {
            unsigned unit = little ? u[i] | (u[i + 1] << 8) : (u[i] << 8) | u[i + 1];
            if (unit == '\n') {
                ++l;
                c = 1;
            } else if (!is_low_surrogate(unit)) {
                ++c;
            }
        }
    } else {
        for (uint64_t i = 0; i < offset; ++i) {
            if (data[i] == '\n') {
                ++l;
                c = 1;
            } else if (err.one_byte_chars || (static_cast<unsigned char>(data[i]) & 0xC0) != 0x80) {
                ++c; // count characters, not UTF-8 continuation bytes
            }
        }
    }
    *line = l > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(l);
    *column = c > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(c);
}

// A writer of the codecs, `orvex_err_t (const Node *, Output &, uint32_t *)`.
template <class WriterFn>
orvex_err_t write_with(WriterFn writer, orvex_t node, char **out, uint32_t *length) {
    if (!out || !length)
        return ORVEX_ERR_INVALID_ARG;
    *out = nullptr;
    *length = 0;
    if (!node)
        return ORVEX_ERR_INVALID_ARG;
    Output buffer;
    orvex_err_t e = writer(as_node(node), buffer, length);
    if (e == ORVEX_ERR_SUCCESS)
        *out = buffer.release();
    return e;
}

template <class WriterFn>
orvex_err_t write_into(WriterFn writer, orvex_t node, orvex_grow_fn grow, void *context, uint32_t *length) {
    if (!length)
        return ORVEX_ERR_INVALID_ARG;
    *length = 0;
    if (!node || !grow)
        return ORVEX_ERR_INVALID_ARG;
    Output lent(grow, context);
    return writer(as_node(node), lent, length);
}

// The writers in the shape the calls of one format take: their own flags,
// refused when unknown, as ORVEX_WRITE_* bits.
orvex_err_t xml_plain(const Node *root, Output &out, uint32_t *length) {
    return xml_write(root, out, length, 0);
}

orvex_err_t bin_plain(const Node *root, Output &out, uint32_t *length) {
    return bin_write(root, out, length, 0);
}

static_assert(ORVEX_JSON_PRETTY == ORVEX_WRITE_PRETTY && ORVEX_JSON_LOSSY == ORVEX_WRITE_LOSSY,
              "JSON's flags are its ORVEX_WRITE_* bits");

auto json_writer(uint32_t flags) {
    return [flags](const Node *root, Output &out, uint32_t *length) {
        *length = 0;
        if (flags & ~uint32_t(ORVEX_JSON_PRETTY | ORVEX_JSON_LOSSY))
            return ORVEX_ERR_INVALID_ARG;
        return json_write(root, out, length, flags);
    };
}

// OpenStep's flags, in their order, are ORVEX_WRITE_TYPED to ORVEX_WRITE_BOM.
constexpr uint32_t OSTEP_FLAGS =
    ORVEX_OSTEP_TYPED | ORVEX_OSTEP_STRINGS | ORVEX_OSTEP_UTF16LE | ORVEX_OSTEP_UTF16BE | ORVEX_OSTEP_BOM;
static_assert((ORVEX_OSTEP_TYPED << 2) == ORVEX_WRITE_TYPED &&
                  (ORVEX_OSTEP_STRINGS << 2) == ORVEX_WRITE_STRINGS &&
                  (ORVEX_OSTEP_UTF16LE << 2) == ORVEX_WRITE_UTF16LE &&
                  (ORVEX_OSTEP_UTF16BE << 2) == ORVEX_WRITE_UTF16BE &&
                  (ORVEX_OSTEP_BOM << 2) == ORVEX_WRITE_BOM,
              "OpenStep's flags shifted are its ORVEX_WRITE_* bits");

auto ostep_writer(uint32_t flags) {
    return [flags](const Node *root, Output &out, uint32_t *length) {
        *length = 0;
        if (flags & ~OSTEP_FLAGS)
            return ORVEX_ERR_INVALID_ARG;
        return ostep_write(root, out, length, flags << 2);
    };
}

// Reads a document as `format` and returns the format it turned out to be.
// A detected JSON document (one that opens with a bracket) may be OpenStep
// instead: when it does not parse as JSON, the OpenStep reader tries it, and
// of two rejections the one that got further is reported.
orvex_format_t read_as(orvex_format_t format, bool detected, const char *data, uint64_t length, Node **tree,
                       ParseError *err) {
    if (format == ORVEX_FORMAT_XML) {
        xml_read(data, length, tree, err);
    } else if (format == ORVEX_FORMAT_BINARY) {
        bin_read(data, length, tree, err);
    } else if (format == ORVEX_FORMAT_OSTEP) {
        ostep_read(data, length, tree, err);
    } else if (format == ORVEX_FORMAT_JSON) {
        if (json_read(data, length, tree, err) == ORVEX_ERR_SUCCESS || !detected ||
            err->code == ORVEX_ERR_NO_MEM)
            return format;
        ParseError as_ostep;
        if (ostep_read(data, length, tree, &as_ostep) == ORVEX_ERR_SUCCESS || as_ostep.offset > err->offset) {
            *err = as_ostep;
            return ORVEX_FORMAT_OSTEP;
        }
    } else {
        *err = {ORVEX_ERR_FORMAT, 0, ORVEX_REASON_UNKNOWN_FORMAT};
    }
    return format;
}

} // namespace
} // namespace orvex_store

using namespace orvex_store;

extern "C" {

orvex_err_t orvex_parse(const char *data, uint64_t length, orvex_format_t format, orvex_t *root,
                        orvex_format_t *found, orvex_parse_result *result) {
    ParseError err;
    Node *tree = nullptr;
    if (root)
        *root = nullptr;
    if (found)
        *found = ORVEX_FORMAT_NONE;
    const bool codec = format == ORVEX_FORMAT_NONE || format == ORVEX_FORMAT_XML ||
                       format == ORVEX_FORMAT_BINARY || format == ORVEX_FORMAT_JSON ||
                       format == ORVEX_FORMAT_OSTEP;
    if (!root || (!data && length)) {
        err = {ORVEX_ERR_INVALID_ARG, 0, ORVEX_REASON_INVALID_ARG};
    } else if (length == 0 && codec) {
        // Nothing to detect, and nothing any reader would take.
        err = {ORVEX_ERR_PARSE, 0, ORVEX_REASON_EMPTY};
        if (found && format != ORVEX_FORMAT_NONE)
            *found = format;
    } else {
        const bool detected = format == ORVEX_FORMAT_NONE;
        if (detected)
            format = detect_format(data, length);
        if (found)
            *found = format;
        // Documents are at most 2^32-1 bytes in every encoding, as the
        // writers' output and orvex_from_*'s lengths are; a longer buffer is
        // refused before the reader touches it.
        if (length > UINT32_MAX)
            err = {ORVEX_ERR_LIMIT, 0, ORVEX_REASON_TOO_LONG};
        else
            format = read_as(format, detected, data, length, &tree, &err);
        if (found)
            *found = format;
        *root = tree; // the readers give a tree exactly when they succeed
    }
    if (result) {
        result->code = err.code;
        result->offset = err.offset;
        result->cause = err.reason;
        result->reason = orvex_reason_text(err.reason);
        result->line = result->column = 0;
        bool text = format == ORVEX_FORMAT_XML || format == ORVEX_FORMAT_JSON || format == ORVEX_FORMAT_OSTEP;
        if (err.code != ORVEX_ERR_SUCCESS && text && data && err.offset <= length)
            line_column(data, err.offset, err, &result->line, &result->column);
    }
    return err.code;
}

orvex_err_t orvex_from_xml(const char *xml, uint32_t length, orvex_t *node) {
    return orvex_parse(xml, length, ORVEX_FORMAT_XML, node, nullptr, nullptr);
}

orvex_err_t orvex_from_bin(const char *bin, uint32_t length, orvex_t *node) {
    return orvex_parse(bin, length, ORVEX_FORMAT_BINARY, node, nullptr, nullptr);
}

orvex_err_t orvex_from_openstep(const char *text, uint32_t length, orvex_t *node) {
    return orvex_parse(text, length, ORVEX_FORMAT_OSTEP, node, nullptr, nullptr);
}

orvex_err_t orvex_from_json(const char *json, uint32_t length, orvex_t *node) {
    return orvex_parse(json, length, ORVEX_FORMAT_JSON, node, nullptr, nullptr);
}

orvex_err_t orvex_from_memory(const char *data, uint32_t length, orvex_t *node, orvex_format_t *format) {
    return orvex_parse(data, length, ORVEX_FORMAT_NONE, node, format, nullptr);
}

orvex_err_t orvex_to_xml(orvex_t node, char **xml, uint32_t *length) {
    return write_with(xml_plain, node, xml, length);
}

orvex_err_t orvex_to_bin(orvex_t node, char **bin, uint32_t *length) {
    return write_with(bin_plain, node, bin, length);
}

orvex_err_t orvex_to_openstep(orvex_t node, char **text, uint32_t *length, uint32_t flags) {
    return write_with(ostep_writer(flags), node, text, length);
}

orvex_err_t orvex_to_openstep_into(orvex_t node, orvex_grow_fn grow, void *context, uint32_t *length,
                                   uint32_t flags) {
    return write_into(ostep_writer(flags), node, grow, context, length);
}

orvex_err_t orvex_to_xml_into(orvex_t node, orvex_grow_fn grow, void *context, uint32_t *length) {
    return write_into(xml_plain, node, grow, context, length);
}

orvex_err_t orvex_to_bin_into(orvex_t node, orvex_grow_fn grow, void *context, uint32_t *length) {
    return write_into(bin_plain, node, grow, context, length);
}

orvex_err_t orvex_to_json(orvex_t node, char **json, uint32_t *length, uint32_t flags) {
    return write_with(json_writer(flags), node, json, length);
}

orvex_err_t orvex_to_json_into(orvex_t node, orvex_grow_fn grow, void *context, uint32_t *length,
                               uint32_t flags) {
    return write_into(json_writer(flags), node, grow, context, length);
}

orvex_t orvex_json_unwritable(orvex_t node) {
    return node ? const_cast<Node *>(json_unwritable(as_node(node))) : nullptr;
}

} // extern "C"
