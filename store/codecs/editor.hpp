// Edits applied to a document's bytes (orvex_edit): a text document keeps
// every byte but those of the values edited; a binary one is rewritten.
#ifndef ORVEX_STORE_EDITOR_HPP
#define ORVEX_STORE_EDITOR_HPP

#include <cstdint>
#include <string>

#include "codecs/codec_error.hpp"
#include "orvex/orvex.h"

namespace orvex_store {

// How an edit call ended, beside its code: which op was refused and why, or
// the reader's rejection of the document.
struct EditFailure {
    uint32_t op = ORVEX_EDIT_NO_OP;
    orvex_edit_refusal refusal = ORVEX_EDIT_DONE;
    orvex_parse_result parse{};
    orvex_format_t format = ORVEX_FORMAT_NONE;
};

// The edited document into `out`; on failure `out` is empty and `why` says
// what was refused. May throw std::bad_alloc.
orvex_err_t edit_document(const char *data, uint64_t length, orvex_format_t format, const orvex_edit_op *ops,
                          uint32_t count, std::string &out, EditFailure *why);

} // namespace orvex_store

#endif
