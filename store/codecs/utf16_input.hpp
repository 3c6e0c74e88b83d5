// Reading documents in UTF-16. The text readers read UTF-8, so a document in
// UTF-16 is transcoded up front (into at most 1.5 bytes per input byte), and
// a rejection's offset is mapped back to a byte offset in the document as
// given. Telling a UTF-16 document apart is utf16_order (text/utf16.hpp).
#ifndef ORVEX_STORE_UTF16_INPUT_HPP
#define ORVEX_STORE_UTF16_INPUT_HPP

#include <cstdint>
#include <memory>

#include "codecs/codec_error.hpp"
#include "text/utf16.hpp"

namespace orvex_store {

// Reads the UTF-16 document `data` (mark included, if any) as UTF-8 through
// `read(const char *utf8, uint64_t n)`, which fills `*err` and returns its
// code. An odd length or an unpaired surrogate is rejected here.
template <class Read>
orvex_err_t read_utf16(const char *data, uint64_t length, ParseError *err, Read &&read) {
    const uint8_t order = utf16_order(data, length);
    const bool little = utf16_little(order);
    const uint64_t mark = utf16_mark(order);
    const auto *src = reinterpret_cast<const unsigned char *>(data) + mark;
    const uint64_t bytes = length - mark, units = bytes / 2;
    std::unique_ptr<char[]> utf8;
    size_t n = 0;
    orvex_err_t e = reading_boundary(err, [&] {
        if (bytes % 2)
            reject(ORVEX_ERR_PARSE, length - 1, ORVEX_REASON_BAD_UTF16);
        utf8.reset(new char[units * 3 + 1]);
        size_t bad = 0;
        n = utf16_to_utf8_strict(src, units, little, utf8.get(), &bad);
        if (n == SIZE_MAX)
            reject(ORVEX_ERR_PARSE, mark + 2 * uint64_t(bad), ORVEX_REASON_BAD_UTF16);
    });
    if (e == ORVEX_ERR_SUCCESS && read(utf8.get(), uint64_t(n)) != ORVEX_ERR_SUCCESS &&
        err->code != ORVEX_ERR_NO_MEM)
        err->offset = mark + 2 * uint64_t(utf16_unit_at(src, units, little, err->offset));
    if (err->code != ORVEX_ERR_SUCCESS && err->code != ORVEX_ERR_NO_MEM)
        err->utf16 = order; // line and column count code units
    return err->code;
}

} // namespace orvex_store

#endif
