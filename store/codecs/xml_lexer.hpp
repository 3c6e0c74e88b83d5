// The XML reader's lexer: markup, comments, processing instructions, the
// DOCTYPE, CDATA and character data with its references, checked to be
// well-formed UTF-8 without NUL bytes; and the declaration with the
// character encoding it names. xml_reader.cpp builds the tree and says what
// the reader accepts.
#ifndef ORVEX_STORE_XML_LEXER_HPP
#define ORVEX_STORE_XML_LEXER_HPP

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "codecs/codec_error.hpp"

namespace orvex_store {
namespace xml {

using uchar = unsigned char;

// The elements of the format.
enum Elem : uint8_t {
    E_UNKNOWN,
    E_WRAPPER, // <plist>, around the root value or not there at all
    E_DICT,
    E_ARRAY,
    E_KEY,
    E_STRING,
    E_INTEGER,
    E_REAL,
    E_TRUE,
    E_FALSE,
    E_DATE,
    E_DATA,
    E_NULL,
};

struct ElemName {
    const char *name;
    size_t len;
};

inline constexpr ElemName NAMES[] = {{"", 0},       {"plist", 5},   {"dict", 4}, {"array", 5}, {"key", 3},
                                     {"string", 6}, {"integer", 7}, {"real", 4}, {"true", 4},  {"false", 5},
                                     {"date", 4},   {"data", 4},    {"null", 4}};

inline Elem lookup(const uchar *n, size_t len) {
    for (uint8_t e = E_WRAPPER; e <= E_NULL; ++e)
        if (NAMES[e].len == len && std::memcmp(NAMES[e].name, n, len) == 0)
            return static_cast<Elem>(e);
    return E_UNKNOWN;
}

inline bool is_ws(uchar c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

inline bool is_name_char(uchar c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == ':' || c == '-' || c == '.' || c >= 0x80;
}

// Character data: in the input, or unescaped into the lexer's buffer.
struct Span {
    const char *p;
    size_t n;
};

// Narrows [s, e) to what lies between leading and trailing whitespace.
inline void trim(const char *&s, const char *&e) {
    while (s < e && is_ws(static_cast<uchar>(*s)))
        ++s;
    while (e > s && is_ws(static_cast<uchar>(e[-1])))
        --e;
}

// The character encodings a document may declare. Latin-1 and UTF-16 are
// transcoded to UTF-8 before parsing; US-ASCII is UTF-8 once no byte is
// above 0x7F.
enum class Charset : uint8_t { UTF8, LATIN1, ASCII, UTF16, OTHER };

// The encoding declared at the start of the document (after a byte-order
// mark and blanks); UTF-8 when none is. Rejects a malformed declaration, an
// encoding we do not read, and a UTF-8 mark before another encoding's name.
// `utf16`: the document was UTF-16, transcoded; it may declare UTF-16 only,
// and gives Charset::UTF16.
Charset declared_charset(const uchar *base, const uchar *end, bool utf16 = false);

// Latin-1 text as UTF-8, and an offset in that UTF-8 back in the Latin-1.
std::string latin1_to_utf8(const uchar *p, const uchar *end);
uint64_t latin1_offset(const std::string &utf8, uint64_t at);

// A cursor over UTF-8 text. Scanning functions take the position to scan
// from and return the one past what they consumed; the parser's own
// position p_ moves only where it says so.
class Lexer {
  public:
    Lexer(const char *data, uint64_t length, Charset cs)
        : base_(reinterpret_cast<const uchar *>(data)), p_(base_), end_(base_ + length), cs_(cs) {}

  protected:
    const uchar *base_, *p_, *end_;
    Charset cs_;       // as declared at the start; the input is UTF-8 by now
    std::string text_; // unescaped character data

    uint64_t off(const uchar *q) const { return static_cast<uint64_t>(q - base_); }

    bool starts(const uchar *q, const char *lit) const {
        size_t n = std::strlen(lit);
        return static_cast<size_t>(end_ - q) >= n && std::memcmp(q, lit, n) == 0;
    }

    void skip_ws() {
        while (p_ < end_ && is_ws(*p_))
            ++p_;
    }

    // Moves p_ past a UTF-8 byte-order mark at the start.
    void skip_bom() {
        if (end_ - base_ >= 3 && std::memcmp(base_, "\xEF\xBB\xBF", 3) == 0)
            p_ = base_ + 3;
    }

    // The name of the element whose tag starts at `lt`, with p_ on the '<';
    // leaves p_ past the name.
    Elem element_name(const uchar *lt) {
        const uchar *ns = ++p_;
        while (p_ < end_ && is_name_char(*p_))
            ++p_;
        Elem e = lookup(ns, static_cast<size_t>(p_ - ns));
        if (e == E_UNKNOWN)
            reject(ORVEX_ERR_PARSE, off(lt), p_ == ns ? ORVEX_REASON_BAD_TAG : ORVEX_REASON_UNKNOWN_ELEMENT);
        return e;
    }

    // The end of the tag at `lt`, p_ past its name; true for an empty-element
    // tag. Tags without attributes are the common case and stay inline.
    bool end_of_tag(const uchar *lt) {
        if (p_ < end_ && *p_ == '>') {
            ++p_;
            return false;
        }
        if (end_ - p_ >= 2 && p_[0] == '/' && p_[1] == '>') {
            p_ += 2;
            return true;
        }
        return end_of_tag_slow(lt);
    }

    // Whether `</name S? >` of element `e` starts at `q`; `*after` is past it.
    bool close_tag_at(const uchar *q, Elem e, const uchar **after) const {
        const ElemName &nm = NAMES[e];
        size_t avail = static_cast<size_t>(end_ - q);
        if (avail < nm.len + 3 || q[1] != '/' || std::memcmp(q + 2, nm.name, nm.len) != 0)
            return false;
        const uchar *r = q + 2 + nm.len;
        while (r < end_ && is_ws(*r))
            ++r;
        if (r == end_ || *r != '>')
            return false;
        *after = r + 1;
        return true;
    }

    // The character data of element `e` (its tag at `lt`) up to its closing
    // tag, which it consumes from p_. Text without references, CR, CDATA or
    // comments stays in the input; anything else is unescaped into text_.
    Span content(Elem e, const uchar *lt);

    // "<!" at p_ outside any element: a comment, or the DOCTYPE when
    // `doctype_ok`. Moves p_ past it; true when it was the DOCTYPE.
    bool markup_declaration(bool doctype_ok);

    [[gnu::noinline]] const uchar *skip_pi(const uchar *q);

  private:
    bool end_of_tag_slow(const uchar *lt);
    void skip_attribute(const uchar *before);
    void check_text(const uchar *a, const uchar *b);
    const uchar *unescape(const uchar *q);
    const uchar *past(const uchar *from, const char *term, const uchar *start, orvex_reason_t reason);
    const uchar *skip_comment(const uchar *q);
    const uchar *skip_doctype(const uchar *start);
    void check_late_declaration(const uchar *q);
    const uchar *entity(const uchar *q);
    uint32_t char_ref(const uchar *q, const uchar *&s);
    const uchar *cdata(const uchar *q);
};

} // namespace xml
} // namespace orvex_store

#endif
