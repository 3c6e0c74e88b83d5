// Recognises an encoding from the first bytes of a buffer.
#include <cstring>

#include "codecs/codecs.hpp"
#include "codecs/text_input.hpp"

namespace orvex_store {
namespace {

inline bool is_blank(unsigned c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Whether an OpenStep document may start with character `c`: a bracket, a
// quote, a comment or an unquoted string.
inline bool starts_openstep(unsigned c) {
    return c == '{' || c == '(' || c == '"' || c == '\'' || (c >= 'a' && c <= 'z') ||
           (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           (c > 0 && c < 0x80 && std::strchr("_$+/:.-", static_cast<int>(c)) != nullptr);
}

// The first character past blanks in a UTF-16 document (past its mark), or 0.
unsigned first_utf16_char(const unsigned char *p, uint64_t length, bool little) {
    for (uint64_t i = 2; i + 1 < length; i += 2) {
        unsigned u = little ? p[i] | (p[i + 1] << 8) : (p[i] << 8) | p[i + 1];
        if (!is_blank(u))
            return u;
    }
    return 0;
}

} // namespace

orvex_format_t detect_format(const char *data, uint64_t length) {
    if (!data)
        return ORVEX_FORMAT_NONE;
    if (length >= 8 && std::memcmp(data, "bplist00", 8) == 0)
        return ORVEX_FORMAT_BINARY;
    if (length >= 6 && std::memcmp(data, "bplist", 6) == 0)
        return ORVEX_FORMAT_NONE; // another version of the binary encoding, not text
    unsigned c = 0;
    const uint8_t order = utf16_order(data, length);
    if (order) {
        c = first_utf16_char(reinterpret_cast<const unsigned char *>(data), length, order == UTF16_LE);
    } else {
        uint64_t i = 0;
        if (length >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0)
            i = 3;
        while (i < length && is_blank(static_cast<unsigned char>(data[i])))
            ++i;
        if (i < length)
            c = static_cast<unsigned char>(data[i]);
    }
    if (c == '<')
        return ORVEX_FORMAT_XML;
    // '{' and '[' are JSON candidates: orvex_parse keeps the JSON reading
    // only when it parses (or gets further than the OpenStep reading does).
    if (c == '{' || c == '[')
        return order ? ORVEX_FORMAT_OSTEP : ORVEX_FORMAT_JSON;
    // Other text that is neither XML nor binary is OpenStep.
    if (starts_openstep(c))
        return ORVEX_FORMAT_OSTEP;
    return ORVEX_FORMAT_NONE;
}

} // namespace orvex_store
