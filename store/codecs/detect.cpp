// Recognises an encoding from the first bytes of a buffer.
#include <cstring>

#include "codecs/codecs.hpp"
#include "text/numbers.hpp"
#include "text/utf16.hpp"

namespace orvex_store {
namespace {

constexpr unsigned END = 0xFFFFFFFF;

// Blanks of XML and OpenStep alike; FF, VT and the separators are
// OpenStep's alone, and no XML document starts with them.
inline bool is_blank(unsigned c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v' || c == 0x2028 ||
           c == 0x2029;
}

inline bool is_hex(unsigned c) { return hex_value(c) >= 0; }

// Whether an OpenStep document may start with character `c`: a bracket, a
// quote, a comment or an unquoted string.
inline bool starts_openstep(unsigned c) {
    return c == '{' || c == '(' || c == '"' || c == '\'' || (c >= 'a' && c <= 'z') ||
           (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           (c > 0 && c < 0x80 && std::strchr("_$+/:.-", static_cast<int>(c)) != nullptr);
}

// The start of a text document one character at a time: UTF-16 code units,
// or bytes of UTF-8 (the separators U+2028 and U+2029 as one character:
// nothing else beyond ASCII matters here).
class Chars {
  public:
    Chars(const char *data, uint64_t length, uint8_t form)
        : p_(reinterpret_cast<const unsigned char *>(data)), n_(length), form_(form) {
        if (form)
            i_ = utf16_mark(form);
        else if (length >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0)
            i_ = 3;
    }

    // The character here, or END.
    unsigned peek() const {
        uint64_t next;
        return at(i_, &next);
    }
    void advance() { at(i_, &i_); }

  private:
    const unsigned char *p_;
    uint64_t n_, i_ = 0;
    uint8_t form_;

    unsigned at(uint64_t i, uint64_t *next) const {
        if (form_) {
            if (i > n_ || n_ - i < 2)
                return END;
            *next = i + 2;
            return utf16_little(form_) ? p_[i] | (p_[i + 1] << 8) : (p_[i] << 8) | p_[i + 1];
        }
        if (i >= n_)
            return END;
        *next = i + 1;
        if (p_[i] == 0xE2 && n_ - i >= 3 && p_[i + 1] == 0x80 && (p_[i + 2] == 0xA8 || p_[i + 2] == 0xA9)) {
            *next = i + 3;
            return 0x2028 + (p_[i + 2] - 0xA8);
        }
        return p_[i];
    }
};

// After a '<': whether what follows is OpenStep rather than XML. No XML
// name starts with '*', '[', '>', a digit or a blank; a name of hex letters
// could be either, and is OpenStep data when hex digits and blanks run
// from it to a '>' (no property-list element is such a name).
bool openstep_after_lt(Chars in) {
    unsigned c = in.peek();
    if (c == '*' || c == '[' || c == '>' || (c >= '0' && c <= '9') || is_blank(c))
        return true;
    while (is_hex(c) || is_blank(c)) {
        in.advance();
        c = in.peek();
    }
    return c == '>';
}

} // namespace

orvex_format_t detect_format(const char *data, uint64_t length) {
    if (!data || length == 0)
        return ORVEX_FORMAT_NONE;
    if (length >= 8 && std::memcmp(data, "bplist00", 8) == 0)
        return ORVEX_FORMAT_BINARY;
    if (length >= 6 && std::memcmp(data, "bplist", 6) == 0)
        return ORVEX_FORMAT_NONE; // another version of the binary encoding, not text
    const uint8_t form = utf16_order(data, length);
    Chars in(data, length, form);
    while (is_blank(in.peek()))
        in.advance();
    const unsigned c = in.peek();
    if (c == END)
        return ORVEX_FORMAT_OSTEP; // only blanks: an empty .strings file
    if (c == '<') {
        in.advance();
        return openstep_after_lt(in) ? ORVEX_FORMAT_OSTEP : ORVEX_FORMAT_XML;
    }
    // '{' and '[' are JSON candidates: orvex_parse keeps the JSON reading
    // only when it parses (or gets further than the OpenStep reading does).
    if (c == '{' || c == '[')
        return form ? ORVEX_FORMAT_OSTEP : ORVEX_FORMAT_JSON;
    // Other text that is neither XML nor binary is OpenStep.
    if (starts_openstep(c))
        return ORVEX_FORMAT_OSTEP;
    return ORVEX_FORMAT_NONE;
}

} // namespace orvex_store
