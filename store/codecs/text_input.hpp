// Documents in UTF-16. The text readers read UTF-8, so a document in UTF-16
// is transcoded up front (into at most 1.5 bytes per input byte), and a
// rejection's offset is mapped back to a byte offset in the document as
// given.
#ifndef ORVEX_STORE_TEXT_INPUT_HPP
#define ORVEX_STORE_TEXT_INPUT_HPP

#include <cstdint>
#include <memory>

#include "codecs/codec_error.hpp"
#include "text/utf16.hpp"

namespace orvex_store {

// A document's UTF-16 form: its byte order, and UTF16_UNMARKED when it has
// no byte-order mark.
enum : uint8_t { UTF16_NONE = 0, UTF16_LE = 1, UTF16_BE = 2, UTF16_UNMARKED = 4 };

inline bool utf16_little(uint8_t form) { return form & UTF16_LE; }
// Bytes of the byte-order mark before the text.
inline uint64_t utf16_mark(uint8_t form) { return form & UTF16_UNMARKED ? 0 : 2; }

// The UTF-16 form of a document: the byte order a byte-order mark at the
// start says; without one, the order its first two characters show when
// they are ASCII with a zero byte beside each ("<?" is 3C 00 3F 00 or
// 00 3C 00 3F, as XML 1.0 Appendix F has it); else UTF16_NONE. Such text
// cannot be UTF-8, whose readers refuse NUL bytes; nor UTF-32, which has
// two zero bytes beside an ASCII character.
inline uint8_t utf16_order(const char *data, uint64_t length) {
    if (!data || length < 2)
        return UTF16_NONE;
    const auto *b = reinterpret_cast<const unsigned char *>(data);
    if (b[0] == 0xFF && b[1] == 0xFE)
        return UTF16_LE;
    if (b[0] == 0xFE && b[1] == 0xFF)
        return UTF16_BE;
    auto ascii = [](unsigned char c) { return c != 0 && c < 0x80; };
    bool le = true, be = true;
    for (uint64_t i = 0; i < (length < 4 ? 2 : 4); i += 2) {
        le = le && ascii(b[i]) && b[i + 1] == 0;
        be = be && b[i] == 0 && ascii(b[i + 1]);
    }
    return le ? UTF16_LE | UTF16_UNMARKED : be ? UTF16_BE | UTF16_UNMARKED : UTF16_NONE;
}

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
