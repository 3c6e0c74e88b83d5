#include "codecs/xml_lexer.hpp"

#include <string_view>

#include "text/numbers.hpp"
#include "text/utf16.hpp"
#include "text/utf8.hpp"

namespace orvex_store {
namespace xml {
namespace {

// First byte that a reader of character data must look at: '<', '&', CR,
// NUL or any byte >= 0x80.
inline const uchar *scan_char_data(const uchar *p, const uchar *end) {
    return scan_for<'<', '&', '\r', 1>(p, end);
}

bool same_name(const uchar *p, size_t n, const char *lit) {
    size_t k = 0;
    for (; k < n && lit[k]; ++k) {
        uchar a = p[k], b = static_cast<uchar>(lit[k]);
        if ((a >= 'A' && a <= 'Z' ? a | 0x20 : a) != (b >= 'A' && b <= 'Z' ? b | 0x20 : b))
            return false;
    }
    return k == n && !lit[k];
}

// Names compared without regard to case. "UTF8" without the hyphen is no
// registered name, but tools write it and it can mean nothing else.
Charset charset_named(const uchar *p, size_t n) {
    static const char *const UTF8[] = {"UTF-8", "UTF8"};
    static const char *const LATIN1[] = {"ISO-8859-1", "ISO_8859-1", "ISO8859-1", "Latin-1", "Latin1",
                                         "L1",         "ISO-IR-100", "IBM819",    "CP819",   "csISOLatin1"};
    static const char *const UTF16[] = {"UTF-16", "UTF-16LE", "UTF-16BE",
                                        "UTF16",  "UCS-2",    "ISO-10646-UCS-2"};
    static const char *const ASCII[] = {"US-ASCII", "ASCII", "ANSI_X3.4-1968", "ANSI_X3.4-1986", "ISO646-US",
                                        "ISO-IR-6", "US",    "IBM367",         "CP367",          "csASCII"};
    for (const char *nm : UTF8)
        if (same_name(p, n, nm))
            return Charset::UTF8;
    for (const char *nm : LATIN1)
        if (same_name(p, n, nm))
            return Charset::LATIN1;
    for (const char *nm : ASCII)
        if (same_name(p, n, nm))
            return Charset::ASCII;
    for (const char *nm : UTF16)
        if (same_name(p, n, nm))
            return Charset::UTF16;
    return Charset::OTHER;
}

// What an XML declaration at `q` ("<?xml" and a blank) says: the encoding
// name, if any, and the end of the declaration.
struct Declaration {
    const uchar *enc = nullptr;
    size_t enc_len = 0;
    const uchar *end = nullptr;
};

bool is_declaration(const uchar *q, const uchar *end) {
    return end - q > 5 && std::memcmp(q, "<?xml", 5) == 0 && (is_ws(q[5]) || q[5] == '?');
}

// [A-Za-z] ([A-Za-z0-9._] | '-')*
bool is_encoding_name(const uchar *s, const uchar *e) {
    auto alpha = [](uchar c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; };
    if (s == e || !alpha(*s))
        return false;
    for (const uchar *c = s; c < e; ++c)
        if (!alpha(*c) && !(*c >= '0' && *c <= '9') && *c != '.' && *c != '_' && *c != '-')
            return false;
    return true;
}

// One name="value" pair of a declaration at `p`, which ends past it; false
// when it is malformed.
bool declaration_pair(const uchar *&p, const uchar *end, Declaration *d) {
    const uchar *ns = p;
    while (p < end && is_name_char(*p) && *p < 0x80)
        ++p;
    if (p == ns)
        return false;
    size_t nlen = static_cast<size_t>(p - ns);
    while (p < end && is_ws(*p))
        ++p;
    if (p == end || *p++ != '=')
        return false;
    while (p < end && is_ws(*p))
        ++p;
    if (p == end || (*p != '"' && *p != '\''))
        return false;
    uchar quote = *p++;
    const uchar *vs = p;
    while (p < end && *p != quote && *p != '<' && *p != '>')
        ++p;
    if (p == end || *p != quote)
        return false;
    if (nlen == 8 && std::memcmp(ns, "encoding", 8) == 0) {
        if (!is_encoding_name(vs, p))
            return false;
        d->enc = vs;
        d->enc_len = static_cast<size_t>(p - vs);
    }
    ++p;
    return true;
}

// The declaration at `q`: false when it is not made of name="value" pairs,
// or the encoding is no encoding name.
bool read_declaration(const uchar *q, const uchar *end, Declaration *d) {
    const uchar *p = q + 5;
    for (;;) {
        const uchar *before = p;
        while (p < end && is_ws(*p))
            ++p;
        if (end - p >= 2 && p[0] == '?' && p[1] == '>') {
            d->end = p + 2;
            return true;
        }
        if (p == before || !declaration_pair(p, end, d))
            return false;
    }
}

// Past the UTF-8 sequence at `q` (a byte >= 0x80) that must end by `end`.
inline const uchar *utf8_char(const uchar *q, const uchar *end, const uchar *base) {
    size_t n = utf8_seq_len(q, end);
    if (!n)
        reject(ORVEX_ERR_PARSE, static_cast<uint64_t>(q - base), ORVEX_REASON_BAD_UTF8);
    return q + n;
}

// The first '<', '&', CR or NUL from `q` on, the text before it checked to
// be UTF-8. Rejects text that never ends, as truncating the element at `lt`.
inline const uchar *plain_text(const uchar *q, const uchar *end, const uchar *base, const uchar *lt) {
    for (q = scan_char_data(q, end);; q = scan_char_data(utf8_char(q, end, base), end)) {
        if (q == end)
            reject(ORVEX_ERR_PARSE, static_cast<uint64_t>(lt - base), ORVEX_REASON_TRUNCATED);
        if (*q < 0x80)
            return q;
    }
}

} // namespace

Charset declared_charset(const uchar *base, const uchar *end, bool utf16) {
    const uchar *p = base;
    bool bom = end - p >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0;
    if (bom)
        p += 3;
    while (p < end && is_ws(*p))
        ++p;
    const Charset none = utf16 ? Charset::UTF16 : Charset::UTF8;
    if (!is_declaration(p, end))
        return none;
    Declaration d;
    if (!read_declaration(p, end, &d))
        reject(ORVEX_ERR_PARSE, static_cast<uint64_t>(p - base), ORVEX_REASON_BAD_DECLARATION);
    if (!d.enc)
        return none;
    uint64_t at = static_cast<uint64_t>(d.enc - base);
    Charset cs = charset_named(d.enc, d.enc_len);
    if (utf16 && cs != Charset::UTF16 && cs != Charset::OTHER)
        reject(ORVEX_ERR_PARSE, at, ORVEX_REASON_ENCODING_CONFLICT);
    // A UTF-16 name in a document that is not: we cannot read it as that.
    if (cs == Charset::OTHER || (cs == Charset::UTF16 && !utf16))
        reject(ORVEX_ERR_FORMAT, at, ORVEX_REASON_UNSUPPORTED_ENCODING);
    if (bom && cs != Charset::UTF8)
        reject(ORVEX_ERR_PARSE, at, ORVEX_REASON_ENCODING_CONFLICT);
    return cs;
}

std::string latin1_to_utf8(const uchar *p, const uchar *end) {
    std::string out;
    out.reserve(static_cast<size_t>(end - p) + static_cast<size_t>(end - p) / 8);
    for (; p < end; ++p) {
        if (*p < 0x80) {
            out += static_cast<char>(*p);
        } else {
            out += static_cast<char>(0xC0 | (*p >> 6));
            out += static_cast<char>(0x80 | (*p & 0x3F));
        }
    }
    return out;
}

uint64_t latin1_offset(const std::string &utf8, uint64_t at) {
    uint64_t n = 0;
    for (uint64_t i = 0; i < at && i < utf8.size(); ++i)
        n += (static_cast<uchar>(utf8[i]) & 0xC0) != 0x80;
    return n;
}

// Checks that [a, b) is well-formed UTF-8 without NUL bytes.
void Lexer::check_text(const uchar *a, const uchar *b) {
    while (a < b) {
        a = scan_char_data(a, b);
        if (a == b)
            return;
        if (*a == 0)
            reject(ORVEX_ERR_PARSE, off(a), ORVEX_REASON_NUL_BYTE);
        a = *a >= 0x80 ? utf8_char(a, b, base_) : a + 1;
    }
}

// Position just past `term`, searching from `from`; the text before it
// is checked. Rejects with `reason` when `term` never comes.
const uchar *Lexer::past(const uchar *from, const char *term, const uchar *start, orvex_reason_t reason) {
    std::string_view hay(reinterpret_cast<const char *>(from), static_cast<size_t>(end_ - from));
    size_t at = hay.find(term);
    if (at == std::string_view::npos)
        reject(ORVEX_ERR_PARSE, off(start), reason);
    check_text(from, from + at);
    return from + at + std::strlen(term);
}

const uchar *Lexer::skip_comment(const uchar *q) { return past(q + 4, "-->", q, ORVEX_REASON_TRUNCATED); }

// Out of line: rare in documents, and the parsing loops stay small.
const uchar *Lexer::skip_pi(const uchar *q) {
    if (is_declaration(q, end_))
        check_late_declaration(q);
    return past(q + 2, "?>", q, ORVEX_REASON_TRUNCATED);
}

// A declaration later in the document cannot switch the encoding the
// text was read in: it may only repeat it.
void Lexer::check_late_declaration(const uchar *q) {
    Declaration d;
    if (!read_declaration(q, end_, &d) || !d.enc)
        return;
    Charset cs = charset_named(d.enc, d.enc_len);
    if (cs == Charset::OTHER || (cs == Charset::UTF16 && cs_ != Charset::UTF16))
        reject(ORVEX_ERR_FORMAT, off(d.enc), ORVEX_REASON_UNSUPPORTED_ENCODING);
    if (cs != cs_)
        reject(ORVEX_ERR_PARSE, off(d.enc), ORVEX_REASON_ENCODING_CONFLICT);
}

// The DOCTYPE with its internal subset; declarations in it are skipped,
// never used.
const uchar *Lexer::skip_doctype(const uchar *start) {
    const uchar *q = start + 9;
    uchar quote = 0;
    bool subset = false;
    for (; q < end_; ++q) {
        uchar c = *q;
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (subset && starts(q, "<!--")) {
            q = skip_comment(q) - 1;
        } else if (subset && starts(q, "<?")) {
            q = skip_pi(q) - 1;
        } else if (c == '[') {
            subset = true;
        } else if (c == ']') {
            subset = false;
        } else if (c == '>' && !subset) {
            check_text(start, q);
            return q + 1;
        }
    }
    reject(ORVEX_ERR_PARSE, off(start), ORVEX_REASON_TRUNCATED);
}

bool Lexer::markup_declaration(bool doctype_ok) {
    if (starts(p_, "<!--")) {
        p_ = skip_comment(p_);
        return false;
    }
    if (starts(p_, "<!DOCTYPE")) {
        if (!doctype_ok)
            reject(ORVEX_ERR_PARSE, off(p_), ORVEX_REASON_BAD_DOCTYPE);
        p_ = skip_doctype(p_);
        return true;
    }
    if (starts(p_, "<![CDATA["))
        reject(ORVEX_ERR_PARSE, off(p_), ORVEX_REASON_MISPLACED_TEXT);
    reject(ORVEX_ERR_PARSE, off(p_), ORVEX_REASON_BAD_DOCTYPE);
}

// The attributes after an element name, ignored, and the end of the tag.
bool Lexer::end_of_tag_slow(const uchar *lt) {
    for (;;) {
        const uchar *before = p_;
        skip_ws();
        if (p_ == end_)
            reject(ORVEX_ERR_PARSE, off(lt), ORVEX_REASON_TRUNCATED);
        if (*p_ == '>') {
            ++p_;
            return false;
        }
        if (*p_ == '/') {
            if (p_ + 1 < end_ && p_[1] == '>') {
                p_ += 2;
                return true;
            }
            reject(ORVEX_ERR_PARSE, off(p_), ORVEX_REASON_BAD_TAG);
        }
        skip_attribute(before);
    }
}

// name S? = S? "value" at p_, which must come after blanks (from `before`).
void Lexer::skip_attribute(const uchar *before) {
    const uchar *an = p_;
    while (p_ < end_ && is_name_char(*p_))
        ++p_;
    if (p_ == an || before == an)
        reject(ORVEX_ERR_PARSE, off(an), ORVEX_REASON_BAD_TAG);
    check_text(an, p_);
    skip_ws();
    if (p_ == end_ || *p_ != '=')
        reject(ORVEX_ERR_PARSE, off(an), ORVEX_REASON_BAD_TAG);
    ++p_;
    skip_ws();
    if (p_ == end_ || (*p_ != '"' && *p_ != '\''))
        reject(ORVEX_ERR_PARSE, off(an), ORVEX_REASON_BAD_TAG);
    uchar quote = *p_++;
    const uchar *vs = p_;
    while (p_ < end_ && *p_ != quote && *p_ != '<')
        ++p_;
    if (p_ == end_ || *p_ != quote)
        reject(ORVEX_ERR_PARSE, off(an), ORVEX_REASON_BAD_TAG);
    check_text(vs, p_);
    ++p_;
}

// The code point of the character reference at `q` ("&#"), digits from `s`
// on; `s` ends on the ';'.
uint32_t Lexer::char_ref(const uchar *q, const uchar *&s) {
    bool hex = s < end_ && *s == 'x';
    if (hex)
        ++s;
    uint32_t cp = 0;
    const uchar *ds = s;
    for (; s < end_ && *s != ';'; ++s) {
        const int d = hex ? hex_value(*s) : *s >= '0' && *s <= '9' ? *s - '0' : -1;
        if (d < 0)
            reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_BAD_CHAR_REF);
        cp = cp * (hex ? 16 : 10) + unsigned(d);
        if (cp > 0x10FFFF)
            reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_BAD_CHAR_REF);
    }
    if (s == end_ || s == ds || is_surrogate(cp))
        reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_BAD_CHAR_REF);
    return cp;
}

// Appends the UTF-8 of the reference at `q` (an '&') to text_.
const uchar *Lexer::entity(const uchar *q) {
    const uchar *s = q + 1;
    struct Named {
        const char *name;
        char c;
    };
    static const Named NAMED[] = {{"lt;", '<'}, {"gt;", '>'}, {"amp;", '&'}, {"quot;", '"'}, {"apos;", '\''}};
    for (const Named &nm : NAMED) {
        if (starts(s, nm.name)) {
            text_ += nm.c;
            return s + std::strlen(nm.name);
        }
    }
    if (s == end_ || *s != '#')
        reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_UNKNOWN_ENTITY);
    ++s;
    char buf[4];
    text_.append(buf, utf8_put(char_ref(q, s), buf));
    return s + 1;
}

// Appends CDATA content at `q` ("<![CDATA[") to text_, line ends
// normalised, and returns the position past "]]>".
const uchar *Lexer::cdata(const uchar *q) {
    const uchar *s = q + 9;
    const uchar *stop = past(s, "]]>", q, ORVEX_REASON_TRUNCATED) - 3;
    while (s < stop) {
        const uchar *r = s;
        while (r < stop && *r != '\r')
            ++r;
        text_.append(reinterpret_cast<const char *>(s), static_cast<size_t>(r - s));
        if (r == stop)
            break;
        text_ += '\n';
        s = r + 1;
        if (s < stop && *s == '\n')
            ++s;
    }
    return stop + 3;
}

// The markup or reference at `q` (a '<', '&', CR or NUL) inside character
// data that is not the closing tag: unescaped into text_, skipped, or
// rejected. Returns the position past it.
const uchar *Lexer::unescape(const uchar *q) {
    switch (*q) {
    case '\r':
        text_ += '\n';
        return ++q < end_ && *q == '\n' ? q + 1 : q;
    case 0:
        reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_NUL_BYTE);
    case '&':
        return entity(q);
    default:
        break;
    }
    if (starts(q, "<!--"))
        return skip_comment(q);
    if (starts(q, "<![CDATA["))
        return cdata(q);
    if (starts(q, "<?"))
        return skip_pi(q);
    if (q + 1 < end_ && q[1] == '/')
        reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_MISMATCHED_TAG);
    reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_MISPLACED_ELEMENT);
}

Span Lexer::content(Elem e, const uchar *lt) {
    const uchar *start = p_, *q = plain_text(p_, end_, base_, lt), *after;
    if (*q == '<' && close_tag_at(q, e, &after)) {
        p_ = after;
        return {reinterpret_cast<const char *>(start), static_cast<size_t>(q - start)};
    }
    text_.assign(reinterpret_cast<const char *>(start), static_cast<size_t>(q - start));
    for (;;) {
        const uchar *s = unescape(q);
        q = plain_text(s, end_, base_, lt);
        text_.append(reinterpret_cast<const char *>(s), static_cast<size_t>(q - s));
        if (*q == '<' && close_tag_at(q, e, &after)) {
            p_ = after;
            return {text_.data(), text_.size()};
        }
    }
}

} // namespace xml
} // namespace orvex_store
