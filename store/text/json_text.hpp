// What JSON string text cannot hold as it is, and the escapes written in
// its place: one form for the JSON writer and the tool.
#ifndef ORVEX_STORE_JSON_TEXT_HPP
#define ORVEX_STORE_JSON_TEXT_HPP

#include <cstddef>

#include "text/byte_table.hpp"

namespace orvex_store {

// Bytes a string cannot hold as they are: '"', '\\', control characters, and
// bytes >= 0x80, which are copied only where they start a UTF-8 sequence
// (utf8_seq_len).
inline constexpr ByteTable<bool> JSON_SPECIAL([](int c) {
    return c < 0x20 || c == '"' || c == '\\' || c >= 0x80;
});

// The longest text json_escape writes.
constexpr size_t JSON_ESCAPE_MAX = 6;

// Writes at `w` what stands for special byte `c`: a short escape where JSON
// has one ("\n", "\""), "\u00XX" for other control characters, U+FFFD for a
// byte >= 0x80 that is not part of a UTF-8 sequence. Returns the end.
char *json_escape(unsigned char c, char *w);

} // namespace orvex_store

#endif
