// Conversions between the store's UTF-8 text and the UTF-16BE and
// single-byte text of the binary encoding, the strict decoding of
// UTF-16 documents for the text readers, and telling such documents apart.
#ifndef ORVEX_STORE_UTF16_HPP
#define ORVEX_STORE_UTF16_HPP

#include <cstddef>
#include <cstdint>

namespace orvex_store {

// UTF-16 surrogates: a high one (D800-DBFF) and a low one (DC00-DFFF)
// together stand for one code point from U+10000 on.
inline bool is_surrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDFFF; }
inline bool is_high_surrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool is_low_surrogate(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
inline uint32_t join_surrogates(uint32_t hi, uint32_t lo) {
    return 0x10000 + ((hi - 0xD800) << 10) + (lo - 0xDC00);
}

// True when every byte is below 0x80.
bool all_ascii(const char *p, size_t n);

// Decodes `units` big-endian UTF-16 code units into `dst`, which has room for
// 3 * units bytes, and returns the number of bytes written. An unpaired
// surrogate becomes U+FFFD: the text around it is kept and the store only
// ever holds valid UTF-8.
size_t utf16be_to_utf8(const unsigned char *src, size_t units, char *dst);

// Decodes single-byte text as ISO 8859-1 into `dst` (room for 2 * n bytes);
// returns the number of bytes written.
size_t latin1_to_utf8(const unsigned char *src, size_t n, char *dst);

// UTF-16 code units needed for UTF-8 text; a malformed sequence counts as
// one U+FFFD, as utf8_to_utf16be writes it.
size_t utf16_units(const char *p, size_t n);

// Encodes UTF-8 text as big-endian UTF-16 into `dst` (2 * utf16_units bytes).
void utf8_to_utf16be(const char *p, size_t n, unsigned char *dst);

// Decodes `units` UTF-16 code units, little- or big-endian, into `dst`
// (room for 3 * units bytes). Unlike a binary document's text, a document
// must be well-formed: returns SIZE_MAX at an unpaired surrogate, with
// `*bad` its unit index; otherwise the number of bytes written.
size_t utf16_to_utf8_strict(const unsigned char *src, size_t units, bool little, char *dst, size_t *bad);

// The index of the code unit whose UTF-8 form, as utf16_to_utf8_strict
// writes it, starts at or spans byte `at`; `units` when `at` is past the
// end. Maps a reader's offset in the UTF-8 back into the document.
size_t utf16_unit_at(const unsigned char *src, size_t units, bool little, uint64_t at);

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

} // namespace orvex_store

#endif
