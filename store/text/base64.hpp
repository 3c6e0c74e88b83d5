// Base64 (RFC 4648, standard alphabet), shared by the text encodings.
#ifndef ORVEX_STORE_BASE64_HPP
#define ORVEX_STORE_BASE64_HPP

#include <cstddef>
#include <cstdint>

namespace orvex_store {

// Digits for `n` bytes, padding included.
constexpr uint64_t base64_size(uint64_t n) { return (n + 2) / 3 * 4; }

// Writes the digits of `n` bytes at `w` (room for base64_size(n)); returns
// the end of what it wrote.
char *base64_encode(const unsigned char *s, size_t n, char *w);

// Decodes base64 text into `out` (room for n / 4 * 3 + 3 bytes); whitespace
// is skipped and padding may be left out. Returns the byte count, or
// SIZE_MAX when the text is not base64.
size_t base64_decode(const unsigned char *s, size_t n, unsigned char *out);

} // namespace orvex_store

#endif
