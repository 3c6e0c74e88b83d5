// C interface: one writer call for every format, with flags that mean the
// same in each.
#include "codecs/codecs.hpp"

namespace orvex_store {

WriterFn writer_of(orvex_format_t format) {
    switch (format) {
    case ORVEX_FORMAT_XML:
        return xml_write;
    case ORVEX_FORMAT_BINARY:
        return bin_write;
    case ORVEX_FORMAT_JSON:
        return json_write;
    case ORVEX_FORMAT_OSTEP:
        return ostep_write;
    default:
        return nullptr;
    }
}

orvex_err_t write_flags_error(orvex_format_t format, uint32_t flags) {
    constexpr uint32_t known = ORVEX_WRITE_PRETTY | ORVEX_WRITE_LOSSY | ORVEX_WRITE_TYPED |
                               ORVEX_WRITE_STRINGS | ORVEX_WRITE_UTF16LE | ORVEX_WRITE_UTF16BE |
                               ORVEX_WRITE_BOM | ORVEX_WRITE_SORTED;
    constexpr uint32_t encodings = ORVEX_WRITE_UTF16LE | ORVEX_WRITE_UTF16BE | ORVEX_WRITE_BOM;
    if (flags & ~known)
        return ORVEX_ERR_INVALID_ARG;
    // JSON is UTF-8 with no mark (RFC 8259, section 8.1); binary has no
    // text encoding to choose.
    if ((format == ORVEX_FORMAT_JSON || format == ORVEX_FORMAT_BINARY) && (flags & encodings))
        return ORVEX_ERR_INVALID_ARG;
    if ((flags & (ORVEX_WRITE_UTF16LE | ORVEX_WRITE_UTF16BE)) == (ORVEX_WRITE_UTF16LE | ORVEX_WRITE_UTF16BE))
        return ORVEX_ERR_INVALID_ARG;
    return ORVEX_ERR_SUCCESS;
}

} // namespace orvex_store

using namespace orvex_store;

extern "C" {

orvex_err_t orvex_write(orvex_t node, orvex_format_t format, uint32_t flags, char **data, uint64_t *length) {
    if (!data || !length)
        return ORVEX_ERR_INVALID_ARG;
    *data = nullptr;
    *length = 0;
    const WriterFn writer = writer_of(format);
    if (!node || !writer)
        return ORVEX_ERR_INVALID_ARG;
    if (orvex_err_t e = write_flags_error(format, flags))
        return e;
    Output buffer;
    uint32_t n = 0;
    const orvex_err_t e = writer(as_node(node), buffer, &n, flags);
    if (e == ORVEX_ERR_SUCCESS) {
        *data = buffer.release();
        *length = n;
    }
    return e;
}

orvex_err_t orvex_write_into(orvex_t node, orvex_format_t format, uint32_t flags, orvex_grow_fn grow,
                             void *context, uint64_t *length) {
    if (!length)
        return ORVEX_ERR_INVALID_ARG;
    *length = 0;
    const WriterFn writer = writer_of(format);
    if (!node || !grow || !writer)
        return ORVEX_ERR_INVALID_ARG;
    if (orvex_err_t e = write_flags_error(format, flags))
        return e;
    Output lent(grow, context);
    uint32_t n = 0;
    const orvex_err_t e = writer(as_node(node), lent, &n, flags);
    *length = n;
    return e;
}

} // extern "C"
