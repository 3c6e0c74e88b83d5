// C interface: orvex_edit, the editor's one entry point.
#include <cstdlib>
#include <cstring>
#include <new>

#include "codecs/editor.hpp"

using namespace orvex_store;

namespace {

const char *refusal_text(orvex_edit_refusal r) {
    switch (r) {
    case ORVEX_EDIT_DONE:
        return "no error";
    case ORVEX_EDIT_BAD_ARGUMENT:
        return "a null or unknown argument, or no value";
    case ORVEX_EDIT_BAD_DOCUMENT:
        return "the document does not parse";
    case ORVEX_EDIT_BAD_PATH:
        return "only \\. and \\\\ may follow a backslash in a key path";
    case ORVEX_EDIT_NO_CONTAINER:
        return "a part of the key path names nothing, or no container";
    case ORVEX_EDIT_ABSENT:
        return "nothing at that key path";
    case ORVEX_EDIT_EXISTS:
        return "the key is there already";
    case ORVEX_EDIT_NO_FORM:
        return "the value has no form in the document's encoding";
    case ORVEX_EDIT_TOO_DEEP:
        return "the document would nest deeper than ORVEX_MAX_DEPTH";
    case ORVEX_EDIT_TOO_LONG:
        return "the document would pass 2^32-1 bytes";
    case ORVEX_EDIT_OUT_OF_MEMORY:
        return "out of memory";
    }
    return "unknown refusal";
}

} // namespace

extern "C" orvex_err_t orvex_edit(const char *data, uint64_t length, orvex_format_t format,
                                  const orvex_edit_op *ops, uint32_t count, char **out, uint64_t *out_length,
                                  orvex_edit_result *result) {
    EditFailure why;
    orvex_err_t e;
    char *buf = nullptr;
    std::string edited;
    if (out)
        *out = nullptr;
    if (out_length)
        *out_length = 0;
    if (!out || !out_length) {
        e = ORVEX_ERR_INVALID_ARG;
        why.refusal = ORVEX_EDIT_BAD_ARGUMENT;
    } else {
        try {
            e = edit_document(data, length, format, ops, count, edited, &why);
            if (e == ORVEX_ERR_SUCCESS) {
                buf = static_cast<char *>(std::malloc(edited.size() + 1));
                if (!buf)
                    throw std::bad_alloc();
                std::memcpy(buf, edited.data(), edited.size());
                buf[edited.size()] = 0;
            }
        } catch (const std::bad_alloc &) {
            e = ORVEX_ERR_NO_MEM;
            why.refusal = ORVEX_EDIT_OUT_OF_MEMORY;
            why.op = ORVEX_EDIT_NO_OP;
        }
        if (e == ORVEX_ERR_SUCCESS) {
            *out = buf;
            *out_length = edited.size();
        }
    }
    if (result) {
        result->code = e;
        result->op = e == ORVEX_ERR_SUCCESS ? ORVEX_EDIT_NO_OP : why.op;
        result->refusal = e == ORVEX_ERR_SUCCESS ? ORVEX_EDIT_DONE : why.refusal;
        result->reason = refusal_text(result->refusal);
        result->format = why.format;
        result->parse = why.parse;
        if (!result->parse.reason)
            result->parse.reason = orvex_reason_text(result->parse.cause);
    }
    return e;
}
