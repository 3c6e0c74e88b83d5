// Conversions between the store's UTF-8 text and the UTF-16BE and
// single-byte text of the binary encoding, and the strict decoding of
// UTF-16 documents for the text readers.
#ifndef ORVEX_STORE_UTF16_HPP
#define ORVEX_STORE_UTF16_HPP

#include <cstddef>
#include <cstdint>

namespace orvex_store {

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

} // namespace orvex_store

#endif
