// Writing a text document in UTF-16: the writers write UTF-8 into memory of
// their own, and the finished text is encoded into the caller's Output.
#ifndef ORVEX_STORE_UTF16_OUTPUT_HPP
#define ORVEX_STORE_UTF16_OUTPUT_HPP

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>

#include "codecs/output.hpp"
#include "text/utf16.hpp"

namespace orvex_store {

// The UTF-8 document `text` as UTF-16 in `out`: its byte-order mark, the
// text, and a NUL code unit after it that the length leaves out. Throws
// TooLarge or std::bad_alloc.
inline void to_utf16(const char *text, size_t n, bool little, Output &out, uint32_t *length) {
    const uint64_t bytes = 2 + 2 * uint64_t(utf16_units(text, n));
    if (bytes > MAX_OUT)
        throw TooLarge();
    auto *w = reinterpret_cast<unsigned char *>(out.resize(bytes + 2));
    w[0] = 0xFE;
    w[1] = 0xFF;
    utf8_to_utf16be(text, n, w + 2);
    w[bytes] = w[bytes + 1] = 0;
    if (little)
        for (uint64_t i = 0; i < bytes; i += 2)
            std::swap(w[i], w[i + 1]);
    *length = static_cast<uint32_t>(bytes);
}

// Runs `write(Output &utf8)`, which writes a UTF-8 document and returns its
// length, then puts that document into `out` as UTF-16.
template <class Write> void write_utf16(Output &out, bool little, uint32_t *length, Write &&write) {
    Output utf8;
    const uint32_t n = write(utf8);
    const std::unique_ptr<char, decltype(&std::free)> text(utf8.release(), std::free);
    to_utf16(text.get(), n, little, out, length);
}

} // namespace orvex_store

#endif
