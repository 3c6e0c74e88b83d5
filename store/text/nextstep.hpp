// The NeXTSTEP character set, the encoding of OpenStep text's 8-bit
// characters (octal escapes \200-\377 name them).
#ifndef ORVEX_STORE_NEXTSTEP_HPP
#define ORVEX_STORE_NEXTSTEP_HPP

#include <cstdint>

namespace orvex_store {

// The code point of NeXTSTEP byte `c`: ASCII below 0x80, U+FFFD for the two
// bytes that have no character.
uint32_t nextstep_to_unicode(unsigned char c);

} // namespace orvex_store

#endif
