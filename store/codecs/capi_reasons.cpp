// The text of each rejection reason and error code: the only place they are
// written in English.
#include "orvex/orvex.h"

namespace {

constexpr const char *TEXTS[] = {
    "no error",
    "no input or no place for the result",
    "out of memory",
    "document longer than 2^32-1 bytes",
    "unknown or unsupported encoding",
    "empty document",
    "document ends early",
    "nesting deeper than the limit",
    "shared references expand past the size bound",
    "invalid UTF-8",
    "NUL byte in the document",
    "malformed integer",
    "integer outside -2^63 to 2^64-1",
    "malformed real",
    "malformed date",
    "date out of range",
    "malformed base64",
    "UID outside 0 to 2^64-1",
    "unsupported encoding",
    "encoding declared twice, differently",
    "byte above 0x7F in a US-ASCII document",
    "malformed XML declaration",
    "malformed, repeated or misplaced DOCTYPE",
    "malformed tag",
    "unknown element",
    "mismatched closing tag",
    "element where no element may stand",
    "text outside values",
    "the document holds no value",
    "content after the root value",
    "key without a value",
    "dictionary value without a key",
    "unknown entity (only predefined entities and character references)",
    "malformed character reference",
    "not a binary document (magic missing)",
    "malformed trailer",
    "object offset outside the object area",
    "object reference out of range",
    "container contains itself",
    "unknown object marker",
    "malformed object",
    "dictionary key is not a string",
    "malformed UTF-16 (odd length or unpaired surrogate)",
    "unexpected character",
    "expected '=' after a dictionary key",
    "expected ';' after a dictionary entry",
    "expected ',' or ')' after an array item",
    "malformed escape in a string",
    "malformed data (not pairs of hex digits)",
    "malformed typed value",
    "number with a leading zero",
    "malformed number",
    "comma before a closing bracket",
    "comment (JSON has none)",
    "unknown word (only true, false and null)",
    "unpaired UTF-16 surrogate",
    "unescaped control character in a string",
    "a value was expected",
    "':' missing after a key",
    "',' or closing bracket missing",
};

static_assert(sizeof(TEXTS) / sizeof(TEXTS[0]) == ORVEX_REASON_MISSING_SEPARATOR + 1, "one text per reason");

} // namespace

extern "C" const char *orvex_reason_text(orvex_reason_t reason) {
    auto i = static_cast<unsigned>(reason);
    return i < sizeof(TEXTS) / sizeof(TEXTS[0]) ? TEXTS[i] : "unknown reason";
}

extern "C" const char *orvex_err_text(orvex_err_t code) {
    switch (code) {
    case ORVEX_ERR_SUCCESS:
        return "no error";
    case ORVEX_ERR_INVALID_ARG:
        return "invalid argument";
    case ORVEX_ERR_FORMAT:
        return "no form in this encoding, or an unknown encoding";
    case ORVEX_ERR_PARSE:
        return "the document does not parse";
    case ORVEX_ERR_NO_MEM:
        return "out of memory";
    case ORVEX_ERR_LIMIT:
        return "past a size or nesting limit";
    case ORVEX_ERR_IO:
        return "input or output failed";
    case ORVEX_ERR_NOT_FOUND:
        return "no node at that key path";
    case ORVEX_ERR_UNKNOWN:
        return "unknown failure";
    }
    return "unknown error";
}
