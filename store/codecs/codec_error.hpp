// How a reader rejects its input: it throws a CodecError from wherever the
// fault is found, and its entry point turns that, or running out of memory,
// into a ParseError at one boundary.
#ifndef ORVEX_STORE_CODEC_ERROR_HPP
#define ORVEX_STORE_CODEC_ERROR_HPP

#include <cstdint>
#include <new>

#include "orvex/orvex.h"

namespace orvex_store {

// Where and why a reader rejected its input.
struct ParseError {
    orvex_err_t code = ORVEX_ERR_SUCCESS;
    uint64_t offset = 0;
    orvex_reason_t reason = ORVEX_REASON_NONE;
    bool one_byte_chars = false; // the input is Latin-1: every byte is a character
    uint8_t utf16 = 0;           // the input is UTF-16: its form, as utf16_order gives it
};

struct CodecError {
    orvex_err_t code;
    uint64_t offset;
    orvex_reason_t reason;
};

[[noreturn]] inline void reject(orvex_err_t code, uint64_t offset, orvex_reason_t reason) {
    throw CodecError{code, offset, reason};
}

// Runs `read` and reports into `*err` how it ended; returns err->code.
template <class Read> orvex_err_t reading_boundary(ParseError *err, Read &&read) noexcept {
    try {
        read();
        *err = ParseError{};
    } catch (const CodecError &e) {
        *err = {e.code, e.offset, e.reason};
    } catch (const std::bad_alloc &) {
        *err = {ORVEX_ERR_NO_MEM, 0, ORVEX_REASON_NO_MEMORY};
    }
    return err->code;
}

} // namespace orvex_store

#endif
