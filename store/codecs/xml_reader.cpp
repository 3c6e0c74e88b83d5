// XML reader: one pass over the input, building the tree as elements open,
// with an explicit stack of open containers. The input is hostile: every
// scan is bounded by the end of the buffer, text must be well-formed UTF-8,
// numbers are range-checked, and nesting is limited to ORVEX_MAX_DEPTH (512)
// containers, far above real documents and far below any stack or time
// trouble; a {CF$UID} dictionary one level further down still reads, as it
// is a leaf, so the deepest tree we accept also reads back from our writer.
// Text without references or CR is copied once, from the input into its node.
//
// What it accepts beyond the strict document shape, because other tools
// write it: no declaration, DOCTYPE or plist wrapper (a bare value is the
// root); a UTF-8 byte-order mark; comments and processing instructions
// anywhere, also inside values; CDATA; attributes on any element (ignored);
// raw control characters other than NUL in text; hex integers and a leading
// '+'; whitespace around numbers and dates; dates cut after any field, with
// or without the 'Z'; whitespace anywhere in base64 and base64 without its
// padding. Entities declared in a DOCTYPE are never expanded: any reference
// other than the five predefined entities and character references is an
// error.
//
// The text is UTF-8 unless the declaration at the start names another
// encoding: ISO-8859-1 (Latin-1, and its registered aliases) is transcoded to
// UTF-8 first, US-ASCII refuses any byte above 0x7F, and any other name is
// refused with ORVEX_ERR_FORMAT. Names are compared without regard to case;
// "UTF8" counts as UTF-8. A declaration further on may only repeat the
// encoding. Offsets in errors count bytes of the input as given.
//
// What our own writer adds and this reader takes back: <null/> for a null
// node; signed years of more than four digits; character references to
// control characters, &#0; included, and to U+FFFE and U+FFFF; and a <key>
// element standing where a value is expected (at the root, in an array, or
// after a dictionary key) as a key node. A fraction of a second in a date
// ("...:05.25Z"), which our writer no longer writes, still reads.
//
// A dictionary whose only entry is CF$UID with an integer from 0 to 2^64-1
// is a UID; with a negative integer it stays a dictionary. When a
// key repeats in a dictionary, the last value wins (at the first one's place).
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/codecs.hpp"
#include "text/base64.hpp"
#include "text/dates.hpp"
#include "codecs/xml_shared.hpp"

namespace orvex_store {
namespace {

using uchar = unsigned char;

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

constexpr ElemName NAMES[] = {{"", 0},       {"plist", 5}, {"dict", 4},    {"array", 5}, {"key", 3},
                              {"string", 6}, {"integer", 7}, {"real", 4},  {"true", 4},  {"false", 5},
                              {"date", 4},   {"data", 4},  {"null", 4}};

inline bool is_ws(uchar c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

inline bool is_name_char(uchar c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == ':' || c == '-' || c == '.' || c >= 0x80;
}

Elem lookup(const uchar *n, size_t len) {
    for (uint8_t e = E_WRAPPER; e <= E_NULL; ++e)
        if (NAMES[e].len == len && std::memcmp(NAMES[e].name, n, len) == 0)
            return static_cast<Elem>(e);
    return E_UNKNOWN;
}

struct Span {
    const char *p;
    size_t n;
};

void trim(const char *&s, const char *&e) {
    while (s < e && is_ws(static_cast<uchar>(*s)))
        ++s;
    while (e > s && is_ws(static_cast<uchar>(e[-1])))
        --e;
}

Node *parse_integer(Span t, uint64_t at) {
    const char *s = t.p, *e = t.p + t.n;
    trim(s, e);
    bool neg = false;
    if (s < e && (*s == '+' || *s == '-'))
        neg = *s++ == '-';
    bool hex = e - s > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    if (hex)
        s += 2;
    if (s == e)
        reject(ORVEX_ERR_PARSE, at, ORVEX_REASON_BAD_INTEGER);
    uint64_t v = 0;
    for (; s < e; ++s) {
        unsigned c = static_cast<uchar>(*s), d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f')
            d = (c | 0x20) - 'a' + 10;
        else
            reject(ORVEX_ERR_PARSE, at, ORVEX_REASON_BAD_INTEGER);
        unsigned base = hex ? 16 : 10;
        if (v > (UINT64_MAX - d) / base)
            reject(ORVEX_ERR_PARSE, at, ORVEX_REASON_INTEGER_RANGE);
        v = v * base + d;
    }
    if (neg) {
        if (v > (uint64_t(1) << 63))
            reject(ORVEX_ERR_PARSE, at, ORVEX_REASON_INTEGER_RANGE);
        return node_new_int(uint64_t(0) - v, true);
    }
    return node_new_int(v, v <= uint64_t(INT64_MAX));
}

// For a decimal that from_chars found out of range: whether it is too large
// (else too small). Only far-out magnitudes get here, so the decimal
// exponent of the leading digit decides.
bool decimal_overflows(const char *s, const char *e) {
    if (s < e && (*s == '-' || *s == '+'))
        ++s;
    int64_t int_digits = 0, lead_zeros = 0; // from the first nonzero digit / after the point
    bool found = false, point = false;
    for (; s < e && *s != 'e' && *s != 'E'; ++s) {
        if (*s == '.') {
            point = true;
        } else if (found) {
            if (!point)
                ++int_digits;
        } else if (*s != '0') {
            found = true;
            if (!point)
                int_digits = 1;
        } else if (point) {
            ++lead_zeros;
        }
    }
    int64_t ex = 0;
    bool eneg = false;
    if (s < e) {
        ++s;
        if (s < e && (*s == '-' || *s == '+'))
            eneg = *s++ == '-';
        for (; s < e && ex < 1000000000; ++s)
            ex = ex * 10 + (*s - '0');
    }
    int64_t mag = int_digits > 0 ? int_digits : -lead_zeros;
    return mag + (eneg ? -ex : ex) > 0;
}

Node *parse_real(Span t, uint64_t at) {
    const char *s = t.p, *e = t.p + t.n;
    trim(s, e);
    if (s < e && *s == '+') {
        ++s;
        if (s < e && *s == '-')
            reject(ORVEX_ERR_PARSE, at, ORVEX_REASON_BAD_REAL);
    }
    if (s == e)
        reject(ORVEX_ERR_PARSE, at, ORVEX_REASON_BAD_REAL);
    double d = 0;
    auto r = std::from_chars(s, e, d);
    if (r.ptr != e || r.ec == std::errc::invalid_argument)
        reject(ORVEX_ERR_PARSE, at, ORVEX_REASON_BAD_REAL);
    if (r.ec == std::errc::result_out_of_range) {
        bool neg = *s == '-';
        d = decimal_overflows(s, e) ? HUGE_VAL : 0.0;
        if (neg)
            d = -d;
    }
    return node_new_real(d);
}

// Reads `n` digits at `s`; false when any is not a digit.
bool digits(const char *&s, const char *e, unsigned n, int64_t *v) {
    if (e - s < static_cast<ptrdiff_t>(n))
        return false;
    int64_t x = 0;
    for (unsigned i = 0; i < n; ++i) {
        unsigned c = static_cast<uchar>(s[i]);
        if (c < '0' || c > '9')
            return false;
        x = x * 10 + (c - '0');
    }
    s += n;
    *v = x;
    return true;
}

int days_in_month(int64_t y, int64_t m) {
    static const int DAYS[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : DAYS[m - 1];
}

// YYYY[-MM[-DD[THH[:MM[:SS[.fraction]]]]]][Z], UTC; the year may carry a
// sign and up to 12 digits.
Node *parse_date(Span t, uint64_t at) {
    const char *s = t.p, *e = t.p + t.n;
    trim(s, e);
    const orvex_reason_t bad = ORVEX_REASON_BAD_DATE;
    bool yneg = false, signed_year = false;
    if (s < e && (*s == '+' || *s == '-')) {
        yneg = *s++ == '-';
        signed_year = true;
    }
    const char *ys = s;
    int64_t year = 0;
    while (s < e && *s >= '0' && *s <= '9' && s - ys < 12)
        year = year * 10 + (*s++ - '0');
    if (s - ys < 4 || (!signed_year && s - ys != 4) || (s < e && *s >= '0' && *s <= '9'))
        reject(ORVEX_ERR_PARSE, at, bad);
    if (yneg)
        year = -year;
    int64_t mon = 1, day = 1, hour = 0, min = 0, sec = 0;
    const char *frac = nullptr, *frac_end = nullptr;
    if (s < e && *s == '-') {
        ++s;
        if (!digits(s, e, 2, &mon))
            reject(ORVEX_ERR_PARSE, at, bad);
        if (s < e && *s == '-') {
            ++s;
            if (!digits(s, e, 2, &day))
                reject(ORVEX_ERR_PARSE, at, bad);
            if (s < e && *s == 'T') {
                ++s;
                if (!digits(s, e, 2, &hour))
                    reject(ORVEX_ERR_PARSE, at, bad);
                if (s < e && *s == ':') {
                    ++s;
                    if (!digits(s, e, 2, &min))
                        reject(ORVEX_ERR_PARSE, at, bad);
                    if (s < e && *s == ':') {
                        ++s;
                        if (!digits(s, e, 2, &sec))
                            reject(ORVEX_ERR_PARSE, at, bad);
                        if (s < e && *s == '.') {
                            frac = ++s;
                            while (s < e && *s >= '0' && *s <= '9')
                                ++s;
                            frac_end = s;
                            if (frac == frac_end)
                                reject(ORVEX_ERR_PARSE, at, bad);
                        }
                    }
                }
            }
        }
    }
    if (s < e && *s == 'Z')
        ++s;
    if (s != e)
        reject(ORVEX_ERR_PARSE, at, bad);
    if (mon < 1 || mon > 12 || day < 1 || day > days_in_month(year, mon) || hour > 23 || min > 59 ||
        sec > 59)
        reject(ORVEX_ERR_PARSE, at, ORVEX_REASON_DATE_RANGE);
    // |year| < 10^12 keeps this well inside 64 bits: about 3.2e19 / 86400 days.
    __int128 unix_sec = __int128(days_from_civil(year, unsigned(mon), unsigned(day))) * 86400 +
                        hour * 3600 + min * 60 + sec;
    if (unix_sec > INT64_MAX || unix_sec < INT64_MIN)
        reject(ORVEX_ERR_PARSE, at, ORVEX_REASON_DATE_RANGE);
    int64_t u = static_cast<int64_t>(unix_sec);
    while (frac_end > frac && frac_end[-1] == '0')
        --frac_end;
    Node *n = node_new(ORVEX_DATE);
    if (!n)
        return nullptr;
    if (frac == frac_end) {
        set_exact_date(n, u);
        return n;
    }
    // The exact decimal (whole seconds since 2001 plus the fraction) rounded
    // once: the writer's digits come from the shortest form of the double, so
    // this gives back the same double. A negative value is written as the
    // second before it plus a complementary fraction.
    if (frac_end - frac > 1100 || u < INT64_MIN + UNIX_TO_2001) {
        node_free_tree(n);
        reject(ORVEX_ERR_PARSE, at, bad);
    }
    int64_t whole = u - UNIX_TO_2001;
    std::string num;
    num.reserve(static_cast<size_t>(frac_end - frac) + 24);
    if (whole >= 0) {
        num = std::to_string(whole);
        num += '.';
        num.append(frac, frac_end);
    } else {
        // whole + 0.F == -((|whole| - 1) + (1 - 0.F))
        num = "-" + std::to_string(-(whole + 1));
        num += '.';
        size_t at_digit = num.size();
        num.append(frac, frac_end);
        bool borrow = false;
        for (size_t i = num.size(); i-- > at_digit;) {
            int d = num[i] - '0';
            int c = (i + 1 == num.size() ? 10 : 9) - d - (borrow ? 1 : 0);
            borrow = false;
            if (c < 0) {
                c += 10;
                borrow = true;
            }
            num[i] = static_cast<char>('0' + c);
        }
    }
    double v = 0;
    auto r = std::from_chars(num.data(), num.data() + num.size(), v);
    if (r.ec != std::errc()) {
        node_free_tree(n);
        reject(ORVEX_ERR_PARSE, at, bad);
    }
    n->v.date.since_2001 = v;
    return n;
}

// The character encodings a document may declare. Latin-1 is transcoded to
// UTF-8 before parsing; US-ASCII is UTF-8 once no byte is above 0x7F.
enum class Charset : uint8_t { UTF8, LATIN1, ASCII, OTHER };

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
    static const char *const ASCII[] = {"US-ASCII",  "ASCII",    "ANSI_X3.4-1968", "ANSI_X3.4-1986",
                                        "ISO646-US", "ISO-IR-6", "US",             "IBM367",
                                        "CP367",     "csASCII"};
    for (const char *nm : UTF8)
        if (same_name(p, n, nm))
            return Charset::UTF8;
    for (const char *nm : LATIN1)
        if (same_name(p, n, nm))
            return Charset::LATIN1;
    for (const char *nm : ASCII)
        if (same_name(p, n, nm))
            return Charset::ASCII;
    return Charset::OTHER;
}

// What an XML declaration at `q` ("<?xml" and a blank) says: the encoding
// name, if any, and the end of the declaration. False when it is not made of
// name="value" pairs, or the encoding is no encoding name.
struct Declaration {
    const uchar *enc = nullptr;
    size_t enc_len = 0;
    const uchar *end = nullptr;
};

bool is_declaration(const uchar *q, const uchar *end) {
    return end - q > 5 && std::memcmp(q, "<?xml", 5) == 0 && (is_ws(q[5]) || q[5] == '?');
}

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
        const uchar *ns = p;
        while (p < end && is_name_char(*p) && *p < 0x80)
            ++p;
        if (p == ns || before == ns)
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
            // [A-Za-z] ([A-Za-z0-9._] | '-')*
            auto alpha = [](uchar c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; };
            if (vs == p || !alpha(*vs))
                return false;
            for (const uchar *c = vs; c < p; ++c)
                if (!alpha(*c) && !(*c >= '0' && *c <= '9') && *c != '.' && *c != '_' && *c != '-')
                    return false;
            d->enc = vs;
            d->enc_len = static_cast<size_t>(p - vs);
        }
        ++p;
    }
}

// The encoding declared at the start of the document (after a byte-order
// mark and blanks); UTF-8 when none is. Rejects a malformed declaration, an
// encoding we do not read, and a UTF-8 mark before another encoding's name.
[[gnu::noinline]] Charset declared_charset(const uchar *base, const uchar *end) {
    const uchar *p = base;
    bool bom = end - p >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0;
    if (bom)
        p += 3;
    while (p < end && is_ws(*p))
        ++p;
    if (!is_declaration(p, end))
        return Charset::UTF8;
    Declaration d;
    if (!read_declaration(p, end, &d))
        reject(ORVEX_ERR_PARSE, static_cast<uint64_t>(p - base), ORVEX_REASON_BAD_DECLARATION);
    if (!d.enc)
        return Charset::UTF8;
    uint64_t at = static_cast<uint64_t>(d.enc - base);
    Charset cs = charset_named(d.enc, d.enc_len);
    if (cs == Charset::OTHER)
        reject(ORVEX_ERR_FORMAT, at, ORVEX_REASON_UNSUPPORTED_ENCODING);
    if (bom && cs != Charset::UTF8)
        reject(ORVEX_ERR_PARSE, at, ORVEX_REASON_ENCODING_CONFLICT);
    return cs;
}

struct Frame {
    Node *node;     // the container being filled; null for the plist wrapper
    Elem kind;
    bool has_key;   // a dictionary key waits for its value
    bool has_value; // the plist wrapper holds its value
    bool over;      // one level past the limit: must turn out to be a UID
    const char *key; // the waiting key, in the input; null: in key_buf
    size_t klen;
    uint64_t open_at;
    std::string key_buf;
};

class Reader {
  public:
    Reader(const char *data, uint64_t length, Charset cs)
        : base_(reinterpret_cast<const uchar *>(data)), p_(base_), end_(base_ + length), cs_(cs) {}

    ~Reader() { node_free_tree(root_); }

    Node *run() {
        if (end_ - base_ >= 3 && std::memcmp(base_, "\xEF\xBB\xBF", 3) == 0)
            p_ += 3;
        bool prolog = true, doctype = false;
        for (;;) {
            skip_ws();
            if (p_ == end_)
                break;
            if (*p_ != '<') {
                if (depth_ == 0)
                    reject(ORVEX_ERR_PARSE, off(p_),
                           root_done_ ? ORVEX_REASON_EXTRA_CONTENT : ORVEX_REASON_MISPLACED_TEXT);
                reject(ORVEX_ERR_PARSE, off(p_), ORVEX_REASON_MISPLACED_TEXT);
            }
            if (end_ - p_ < 2)
                reject(ORVEX_ERR_PARSE, off(p_), ORVEX_REASON_TRUNCATED);
            uchar c = p_[1];
            if (c == '?') {
                p_ = skip_pi(p_);
                continue;
            }
            if (c == '!') {
                if (starts(p_, "<!--")) {
                    p_ = skip_comment(p_);
                } else if (starts(p_, "<!DOCTYPE")) {
                    if (!prolog || doctype)
                        reject(ORVEX_ERR_PARSE, off(p_), ORVEX_REASON_BAD_DOCTYPE);
                    doctype = true;
                    p_ = skip_doctype(p_);
                } else if (starts(p_, "<![CDATA[")) {
                    reject(ORVEX_ERR_PARSE, off(p_), ORVEX_REASON_MISPLACED_TEXT);
                } else {
                    reject(ORVEX_ERR_PARSE, off(p_), ORVEX_REASON_BAD_DOCTYPE);
                }
                continue;
            }
            prolog = false;
            if (c == '/')
                close_element();
            else
                open_element();
        }
        if (depth_)
            reject(ORVEX_ERR_PARSE, off(end_), ORVEX_REASON_TRUNCATED);
        if (!root_)
            reject(ORVEX_ERR_PARSE, off(end_), ORVEX_REASON_NO_VALUE);
        Node *r = root_;
        root_ = nullptr;
        return r;
    }

  private:
    const uchar *base_, *p_, *end_;
    Charset cs_; // as declared at the start; the input is UTF-8 by now
    std::vector<Frame> frames_;
    size_t depth_ = 0;      // frames in use
    size_t containers_ = 0; // of which dictionaries and arrays
    Node *root_ = nullptr;
    bool root_done_ = false; // the root element is complete
    std::string text_;       // unescaped character data

    uint64_t off(const uchar *q) const { return static_cast<uint64_t>(q - base_); }

    bool starts(const uchar *q, const char *lit) const {
        size_t n = std::strlen(lit);
        return static_cast<size_t>(end_ - q) >= n && std::memcmp(q, lit, n) == 0;
    }

    void skip_ws() {
        while (p_ < end_ && is_ws(*p_))
            ++p_;
    }

    // Checks that [a, b) is well-formed UTF-8 without NUL bytes.
    void check_text(const uchar *a, const uchar *b) {
        while (a < b) {
            a = scan_char_data(a, b);
            if (a == b)
                return;
            if (*a == 0)
                reject(ORVEX_ERR_PARSE, off(a), ORVEX_REASON_NUL_BYTE);
            if (*a >= 0x80) {
                size_t n = utf8_seq_len(a, b);
                if (!n)
                    reject(ORVEX_ERR_PARSE, off(a), ORVEX_REASON_BAD_UTF8);
                a += n;
            } else {
                ++a;
            }
        }
    }

    // Position just past `term`, searching from `from`; the text before it
    // is checked. Rejects with `reason` when `term` never comes.
    const uchar *past(const uchar *from, const char *term, const uchar *start, orvex_reason_t reason) {
        std::string_view hay(reinterpret_cast<const char *>(from), static_cast<size_t>(end_ - from));
        size_t at = hay.find(term);
        if (at == std::string_view::npos)
            reject(ORVEX_ERR_PARSE, off(start), reason);
        check_text(from, from + at);
        return from + at + std::strlen(term);
    }

    const uchar *skip_comment(const uchar *q) { return past(q + 4, "-->", q, ORVEX_REASON_TRUNCATED); }
    // Out of line: rare in documents, and the parsing loops stay small.
    [[gnu::noinline]] const uchar *skip_pi(const uchar *q) {
        if (is_declaration(q, end_))
            check_late_declaration(q);
        return past(q + 2, "?>", q, ORVEX_REASON_TRUNCATED);
    }

    // A declaration later in the document cannot switch the encoding the
    // text was read in: it may only repeat it.
    void check_late_declaration(const uchar *q) {
        Declaration d;
        if (!read_declaration(q, end_, &d) || !d.enc)
            return;
        Charset cs = charset_named(d.enc, d.enc_len);
        if (cs == Charset::OTHER)
            reject(ORVEX_ERR_FORMAT, off(d.enc), ORVEX_REASON_UNSUPPORTED_ENCODING);
        if (cs != cs_)
            reject(ORVEX_ERR_PARSE, off(d.enc), ORVEX_REASON_ENCODING_CONFLICT);
    }

    // The DOCTYPE with its internal subset; declarations in it are skipped,
    // never used.
    const uchar *skip_doctype(const uchar *start) {
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

    // Parses the attributes after an element name (ignoring them) and the
    // end of the tag; true for an empty-element tag.
    bool end_of_tag(const uchar *lt) {
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
    }

    // Appends the UTF-8 of the reference at `q` (an '&') to text_.
    const uchar *entity(const uchar *q) {
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
        if (s < end_ && *s == '#') {
            ++s;
            bool hex = s < end_ && *s == 'x';
            if (hex)
                ++s;
            uint32_t cp = 0;
            const uchar *ds = s;
            for (; s < end_ && *s != ';'; ++s) {
                unsigned c = *s, d;
                if (c >= '0' && c <= '9')
                    d = c - '0';
                else if (hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f')
                    d = (c | 0x20) - 'a' + 10;
                else
                    reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_BAD_CHAR_REF);
                cp = cp * (hex ? 16 : 10) + d;
                if (cp > 0x10FFFF)
                    reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_BAD_CHAR_REF);
            }
            if (s == end_ || s == ds)
                reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_BAD_CHAR_REF);
            if (cp >= 0xD800 && cp <= 0xDFFF)
                reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_BAD_CHAR_REF);
            char buf[4];
            text_.append(buf, utf8_put(cp, buf));
            return s + 1;
        }
        reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_UNKNOWN_ENTITY);
    }

    // Appends CDATA content at `q` ("<![CDATA[") to text_, line ends
    // normalised, and returns the position past "]]>".
    const uchar *cdata(const uchar *q) {
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

    // The character data of element `e` up to its closing tag, which it
    // consumes. Text without references, CR, CDATA or comments stays in the
    // input; anything else is unescaped into text_.
    Span content(Elem e, const uchar *lt) {
        const uchar *start = p_, *q = scan_char_data(p_, end_), *after;
        for (;;) {
            if (q == end_)
                reject(ORVEX_ERR_PARSE, off(lt), ORVEX_REASON_TRUNCATED);
            if (*q >= 0x80) {
                size_t n = utf8_seq_len(q, end_);
                if (!n)
                    reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_BAD_UTF8);
                q = scan_char_data(q + n, end_);
                continue;
            }
            if (*q == '<' && close_tag_at(q, e, &after)) {
                p_ = after;
                return {reinterpret_cast<const char *>(start), static_cast<size_t>(q - start)};
            }
            break;
        }
        text_.assign(reinterpret_cast<const char *>(start), static_cast<size_t>(q - start));
        for (;;) {
            const uchar *r = scan_char_data(q, end_);
            text_.append(reinterpret_cast<const char *>(q), static_cast<size_t>(r - q));
            q = r;
            if (q == end_)
                reject(ORVEX_ERR_PARSE, off(lt), ORVEX_REASON_TRUNCATED);
            uchar c = *q;
            if (c >= 0x80) {
                size_t n = utf8_seq_len(q, end_);
                if (!n)
                    reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_BAD_UTF8);
                text_.append(reinterpret_cast<const char *>(q), n);
                q += n;
            } else if (c == '\r') {
                text_ += '\n';
                if (++q < end_ && *q == '\n')
                    ++q;
            } else if (c == 0) {
                reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_NUL_BYTE);
            } else if (c == '&') {
                q = entity(q);
            } else if (close_tag_at(q, e, &after)) {
                p_ = after;
                return {text_.data(), text_.size()};
            } else if (starts(q, "<!--")) {
                q = skip_comment(q);
            } else if (starts(q, "<![CDATA[")) {
                q = cdata(q);
            } else if (starts(q, "<?")) {
                q = skip_pi(q);
            } else if (q + 1 < end_ && q[1] == '/') {
                reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_MISMATCHED_TAG);
            } else {
                reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_MISPLACED_ELEMENT);
            }
        }
    }

    Frame &top() { return frames_[depth_ - 1]; }

    // Rejects a value element at `lt` where no value may stand.
    void need_value_slot(const uchar *lt) {
        if (depth_ == 0)
            return; // the root; garbage after it was caught before
        Frame &f = top();
        if (f.kind == E_WRAPPER && f.has_value)
            reject(ORVEX_ERR_PARSE, off(lt), ORVEX_REASON_EXTRA_CONTENT);
        if (f.kind == E_DICT && !f.has_key)
            reject(ORVEX_ERR_PARSE, off(lt), ORVEX_REASON_VALUE_WITHOUT_KEY);
    }

    // Hands `n` to its place: the root, the array, or the dictionary under
    // the waiting key. `complete`: nothing more will be read into it.
    void attach(Node *n, bool complete) {
        if (!n)
            throw std::bad_alloc();
        if (depth_ == 0) {
            root_ = n;
            root_done_ = complete;
            return;
        }
        Frame &f = top();
        bool ok = true;
        if (f.kind == E_WRAPPER) {
            root_ = n;
            f.has_value = true;
        } else if (f.kind == E_ARRAY) {
            ok = array_push(f.node, n);
        } else {
            ok = dict_put(f.node, f.key ? f.key : f.key_buf.data(), f.klen, n);
            f.has_key = false;
        }
        if (!ok) {
            node_free_tree(n);
            throw std::bad_alloc();
        }
    }

    // Rejects a container at `lt` that would nest past the limit. One more
    // level is let in for a dictionary with content: it may be a UID.
    bool check_depth(Elem kind, bool empty, const uchar *lt) {
        if (containers_ < ORVEX_MAX_DEPTH)
            return false;
        if (kind != E_DICT || empty || containers_ > ORVEX_MAX_DEPTH)
            reject(ORVEX_ERR_LIMIT, off(lt), ORVEX_REASON_TOO_DEEP);
        return true;
    }

    void push(Elem kind, Node *n, bool over, const uchar *lt) {
        if (kind != E_WRAPPER)
            ++containers_;
        if (depth_ == frames_.size())
            frames_.emplace_back();
        Frame &f = frames_[depth_++];
        f.node = n;
        f.kind = kind;
        f.has_key = f.has_value = false;
        f.over = over;
        f.key = nullptr;
        f.klen = 0;
        f.open_at = off(lt);
    }

    // A one-entry dictionary {CF$UID: integer} becomes a UID in place, when
    // the integer is one a UID holds (0 to 2^64-1): a negative one would
    // come back wrapped, so that dictionary stays what it is.
    static void maybe_uid(Node *d) {
        DictBody *b = d->v.dict;
        if (!b || b->live != 1)
            return;
        for (uint32_t i = 0; i < b->used; ++i) {
            const DictEntry &e = b->entries[i];
            if (!e.val)
                continue;
            const Node *v = e.val;
            if (e.klen == 6 && std::memcmp(e.key(), "CF$UID", 6) == 0 && v->type == ORVEX_INT &&
                !((v->flags & NODE_SIGNED) && static_cast<int64_t>(v->v.u) < 0)) {
                uint64_t u = v->v.u;
                node_reset(d, ORVEX_UID);
                d->v.u = u;
            }
            return;
        }
    }

    void close_element() {
        const uchar *lt = p_, *after;
        if (depth_ == 0)
            reject(ORVEX_ERR_PARSE, off(lt), ORVEX_REASON_MISMATCHED_TAG);
        Frame &f = top();
        if (!close_tag_at(lt, f.kind, &after))
            reject(ORVEX_ERR_PARSE, off(lt), ORVEX_REASON_MISMATCHED_TAG);
        if (f.kind == E_WRAPPER) {
            if (!f.has_value)
                reject(ORVEX_ERR_PARSE, off(lt), ORVEX_REASON_NO_VALUE);
        } else {
            if (f.kind == E_DICT) {
                if (f.has_key)
                    reject(ORVEX_ERR_PARSE, off(lt), ORVEX_REASON_KEY_WITHOUT_VALUE);
                maybe_uid(f.node);
            }
            if (f.over && f.node->type != ORVEX_UID)
                reject(ORVEX_ERR_LIMIT, f.open_at, ORVEX_REASON_TOO_DEEP);
            --containers_;
        }
        --depth_;
        if (depth_ == 0)
            root_done_ = true;
        p_ = after;
    }

    void open_element() {
        const uchar *lt = p_;
        if (depth_ == 0 && root_done_)
            reject(ORVEX_ERR_PARSE, off(lt), ORVEX_REASON_EXTRA_CONTENT);
        const uchar *ns = ++p_;
        while (p_ < end_ && is_name_char(*p_))
            ++p_;
        Elem e = lookup(ns, static_cast<size_t>(p_ - ns));
        if (e == E_UNKNOWN)
            reject(ORVEX_ERR_PARSE, off(lt), p_ == ns ? ORVEX_REASON_BAD_TAG : ORVEX_REASON_UNKNOWN_ELEMENT);
        bool empty = end_of_tag(lt);
        switch (e) {
        case E_WRAPPER:
            if (depth_ != 0 || root_)
                reject(ORVEX_ERR_PARSE, off(lt), ORVEX_REASON_MISPLACED_ELEMENT);
            if (empty)
                reject(ORVEX_ERR_PARSE, off(lt), ORVEX_REASON_NO_VALUE);
            push(E_WRAPPER, nullptr, false, lt);
            return;
        case E_DICT:
        case E_ARRAY: {
            need_value_slot(lt);
            bool over = check_depth(e, empty, lt);
            Node *n = node_new(e == E_DICT ? ORVEX_DICT : ORVEX_ARRAY);
            attach(n, empty);
            if (!empty)
                push(e, n, over, lt);
            return;
        }
        case E_KEY:
            if (depth_ && top().kind == E_DICT && !top().has_key) {
                Frame &f = top();
                Span k = empty ? Span{"", 0} : content(E_KEY, lt);
                // Keys end at their first NUL, as everywhere in the store.
                if (const void *z = std::memchr(k.p, 0, k.n))
                    k.n = static_cast<size_t>(static_cast<const char *>(z) - k.p);
                if (k.p == text_.data()) {
                    f.key_buf.assign(k.p, k.n);
                    f.key = nullptr;
                } else {
                    f.key = k.p;
                }
                f.klen = k.n;
                f.has_key = true;
                return;
            }
            need_value_slot(lt);
            attach(text_node(ORVEX_KEY, e, empty, lt), true);
            return;
        case E_STRING:
            need_value_slot(lt);
            attach(text_node(ORVEX_STRING, e, empty, lt), true);
            return;
        case E_DATA:
            need_value_slot(lt);
            attach(data_node(empty, lt), true);
            return;
        case E_INTEGER:
        case E_REAL:
        case E_DATE: {
            need_value_slot(lt);
            uint64_t at = off(p_);
            Span t = empty ? Span{"", 0} : content(e, lt);
            attach(e == E_INTEGER ? parse_integer(t, at) : e == E_REAL ? parse_real(t, at) : parse_date(t, at),
                   true);
            return;
        }
        case E_TRUE:
        case E_FALSE:
        case E_NULL: {
            need_value_slot(lt);
            if (!empty) {
                uint64_t at = off(p_);
                Span t = content(e, lt);
                for (size_t i = 0; i < t.n; ++i)
                    if (!is_ws(static_cast<uchar>(t.p[i])))
                        reject(ORVEX_ERR_PARSE, at, ORVEX_REASON_MISPLACED_TEXT);
            }
            attach(e == E_NULL ? node_new(ORVEX_NULL) : node_new_bool(e == E_TRUE), true);
            return;
        }
        default:
            reject(ORVEX_ERR_PARSE, off(lt), ORVEX_REASON_UNKNOWN_ELEMENT);
        }
    }

    Node *text_node(uint8_t type, Elem e, bool empty, const uchar *lt) {
        Span t = empty ? Span{"", 0} : content(e, lt);
        return node_new_text(type, t.p, t.n);
    }

    Node *data_node(bool empty, const uchar *lt) {
        uint64_t at = off(p_);
        Span t = empty ? Span{"", 0} : content(E_DATA, lt);
        size_t room = t.n / 4 * 3 + 3;
        const uchar *src = reinterpret_cast<const uchar *>(t.p);
        if (room <= INLINE_MAX) {
            uchar buf[INLINE_MAX + 3];
            size_t n = base64_decode(src, t.n, buf);
            if (n == SIZE_MAX)
                reject(ORVEX_ERR_PARSE, at, ORVEX_REASON_BAD_BASE64);
            return node_new_text(ORVEX_DATA, reinterpret_cast<const char *>(buf), n);
        }
        uchar *buf = static_cast<uchar *>(std::malloc(room + 1));
        if (!buf)
            throw std::bad_alloc();
        size_t n = base64_decode(src, t.n, buf);
        if (n == SIZE_MAX) {
            std::free(buf);
            reject(ORVEX_ERR_PARSE, at, ORVEX_REASON_BAD_BASE64);
        }
        if (n <= INLINE_MAX) {
            Node *node = node_new_text(ORVEX_DATA, reinterpret_cast<const char *>(buf), n);
            std::free(buf);
            return node;
        }
        buf[n] = 0;
        Node *node = node_new(ORVEX_DATA);
        if (!node) {
            std::free(buf);
            return nullptr;
        }
        // The decoded bytes become the node's storage: no second copy.
        node->flags = 0;
        node->v.heap.ptr = reinterpret_cast<char *>(buf);
        node->v.heap.len = n;
        return node;
    }
};

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

// Reads UTF-8 text; `cs` is the encoding it was declared in.
orvex_err_t read_text(const char *data, uint64_t length, Charset cs, Node **root, ParseError *err) {
    return reading_boundary(err, [&] { *root = Reader(data, length, cs).run(); });
}

// A document declared in Latin-1 or US-ASCII: as it stands when no byte is
// above 0x7F, else transcoded (Latin-1) or refused (US-ASCII). Out of line,
// so the common path through xml_read stays as small as it was.
[[gnu::noinline]] orvex_err_t read_declared(const char *data, uint64_t length, Charset cs, Node **root,
                                            ParseError *err) {
    const uchar *in = reinterpret_cast<const uchar *>(data), *high = in, *end = in + length;
    while (high < end && *high < 0x80)
        ++high;
    if (high == end)
        return read_text(data, length, cs, root, err);
    if (cs == Charset::ASCII) {
        *err = {ORVEX_ERR_PARSE, static_cast<uint64_t>(high - in), ORVEX_REASON_NOT_ASCII};
        return err->code;
    }
    std::string utf8;
    if (reading_boundary(err, [&] { utf8 = latin1_to_utf8(in, end); }) != ORVEX_ERR_SUCCESS)
        return err->code;
    // Offsets in the transcoded text: one character per input byte.
    if (read_text(utf8.data(), utf8.size(), cs, root, err) != ORVEX_ERR_SUCCESS) {
        err->offset = latin1_offset(utf8, err->offset);
        err->one_byte_chars = true;
    }
    return err->code;
}

} // namespace

orvex_err_t xml_read(const char *data, uint64_t length, Node **root, ParseError *err) {
    *root = nullptr;
    if (!data || length == 0) {
        *err = {ORVEX_ERR_PARSE, 0, ORVEX_REASON_EMPTY};
        return err->code;
    }
    Charset cs = Charset::UTF8;
    const uchar *in = reinterpret_cast<const uchar *>(data);
    if (reading_boundary(err, [&] { cs = declared_charset(in, in + length); }) != ORVEX_ERR_SUCCESS)
        return err->code;
    if (cs != Charset::UTF8)
        return read_declared(data, length, cs, root, err);
    return read_text(data, length, cs, root, err);
}

} // namespace orvex_store
