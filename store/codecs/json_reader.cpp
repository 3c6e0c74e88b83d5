// JSON reader (RFC 8259): one pass over the input, building the tree as
// values open, with an explicit stack of open containers, so nesting costs no
// machine stack. The input is hostile: every scan is bounded by the end of
// the buffer, strings must be well-formed UTF-8, and nesting is limited to
// ORVEX_MAX_DEPTH containers, as in the other readers. Text without escapes
// is copied once, from the input into its node.
//
// What it reads:
// - objects as dictionaries in document order; when a key repeats, the last
//   value wins at the first one's place, as in the XML reader. Keys end at
//   their first NUL ("\u0000"), as everywhere in the store;
// - arrays, strings (every escape; a surrogate pair is one character, an
//   unpaired surrogate an error), true, false and null (the null node);
// - numbers: without fraction or exponent and from -2^63 to 2^64-1, an
//   integer (unsigned above 2^63-1); any other number a real, an infinity or
//   a zero of its sign when it is beyond the range of a double;
// - any value as the root, and a UTF-8 byte-order mark before it.
// Nothing else: comments, trailing commas, leading zeros, '+' signs, NaN and
// Infinity, single quotes and control characters in strings are rejected,
// each with its reason. {"CF$UID": n} stays a dictionary: the mapping the
// writer makes of a UID is one way.
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "codecs/codecs.hpp"
#include "codecs/layout.hpp"
#include "text/numbers.hpp"
#include "text/utf16.hpp"
#include "text/utf8.hpp"

namespace orvex_store {
namespace {

using uchar = unsigned char;

inline bool is_ws(uchar c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }
inline bool is_digit(uchar c) { return c >= '0' && c <= '9'; }
inline bool is_letter(uchar c) { return ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); }

// Text decoded from the input: in place when it had no escapes.
struct Span {
    const char *p;
    size_t n;
};

struct Frame {
    Node *node;
    bool dict;
};

template <class Rec> class Reader {
  public:
    // A value and its separator take two bytes at least: blocks sized from
    // that stay within one block of what the document needs.
    Reader(const char *data, uint64_t length, Rec rec)
        : begin_(reinterpret_cast<const uchar *>(data)), p_(begin_), end_(begin_ + length), rec_(rec),
          blocks_(length / 2 + 1) {}

    ~Reader() { node_free_tree(root_); }

    Node *run() {
        if (end_ - p_ >= 3 && std::memcmp(p_, "\xEF\xBB\xBF", 3) == 0)
            p_ += 3;
        skip_ws();
        if (p_ == end_)
            reject(ORVEX_ERR_PARSE, off(p_), ORVEX_REASON_NO_VALUE);
        bool want_value = true;
        for (;;) {
            if (want_value) {
                want_value = value();
                continue;
            }
            if (stack_.empty())
                break;
            skip_ws();
            if (p_ == end_)
                reject(ORVEX_ERR_PARSE, off(p_), ORVEX_REASON_TRUNCATED);
            const Frame &f = stack_.back();
            uchar c = *p_;
            if (c == ',') {
                rec_.separator(off(p_));
                ++p_;
                skip_ws();
                if (p_ != end_ && (*p_ == ']' || *p_ == '}'))
                    reject(ORVEX_ERR_PARSE, off(p_), ORVEX_REASON_TRAILING_COMMA);
                if (f.dict)
                    key();
                want_value = true;
            } else if (c == (f.dict ? '}' : ']')) {
                rec_.close(off(p_), off(p_) + 1);
                ++p_;
                stack_.pop_back();
            } else {
                reject(ORVEX_ERR_PARSE, off(p_),
                       c == '/' ? ORVEX_REASON_COMMENT : ORVEX_REASON_MISSING_SEPARATOR);
            }
        }
        skip_ws();
        if (p_ != end_)
            reject(ORVEX_ERR_PARSE, off(p_), *p_ == '/' ? ORVEX_REASON_COMMENT : ORVEX_REASON_EXTRA_CONTENT);
        Node *r = root_;
        root_ = nullptr;
        return r;
    }

  private:
    const uchar *const begin_;
    const uchar *p_;
    const uchar *const end_;
    std::vector<Frame> stack_;
    Node *root_ = nullptr;
    Rec rec_;
    NodeBlocks blocks_;
    Span key_{nullptr, 0};           // the key waiting for its value
    std::string key_buf_, text_buf_; // decoded keys and strings that had escapes

    uint64_t off(const uchar *q) const { return static_cast<uint64_t>(q - begin_); }

    void skip_ws() {
        while (p_ != end_ && is_ws(*p_))
            ++p_;
    }

    // Hands `n` to its place: the root, the array on top, or the dictionary
    // on top under the waiting key.
    void attach(Node *n) {
        if (stack_.empty())
            root_ = made(n);
        else
            attach_child(stack_.back().node, stack_.back().dict, key_.p, key_.n, n);
    }

    // Reads the value at p_ (after blanks). Returns true when it opened a
    // container with content, whose first value comes next.
    bool value() {
        skip_ws();
        if (p_ == end_)
            reject(ORVEX_ERR_PARSE, off(p_), ORVEX_REASON_TRUNCATED);
        uchar c = *p_;
        const uint64_t at = off(p_);
        switch (c) {
        case '{':
        case '[':
            return open(c == '{');
        case '"':
            attach(string_node(ORVEX_STRING));
            rec_.leaf(at, off(p_));
            return false;
        case '-':
        case '0':
        case '1':
        case '2':
        case '3':
        case '4':
        case '5':
        case '6':
        case '7':
        case '8':
        case '9':
            attach(number());
            rec_.leaf(at, off(p_));
            return false;
        default:
            break;
        }
        if (is_letter(c)) {
            attach(literal());
            rec_.leaf(at, off(p_));
            return false;
        }
        orvex_reason_t why = ORVEX_REASON_EXPECTED_VALUE;
        if (c == '/')
            why = ORVEX_REASON_COMMENT;
        else if (c == '+' || c == '.')
            why = ORVEX_REASON_BAD_NUMBER;
        reject(ORVEX_ERR_PARSE, off(p_), why);
    }

    bool open(bool dict) {
        if (stack_.size() >= ORVEX_MAX_DEPTH)
            reject(ORVEX_ERR_LIMIT, off(p_), ORVEX_REASON_TOO_DEEP);
        Node *n = node_new(dict ? ORVEX_DICT : ORVEX_ARRAY, blocks_);
        attach(n);
        rec_.open(off(p_), off(p_) + 1, dict);
        ++p_;
        skip_ws();
        if (p_ != end_ && *p_ == (dict ? '}' : ']')) {
            rec_.close(off(p_), off(p_) + 1);
            ++p_;
            return false;
        }
        stack_.push_back({n, dict});
        if (dict)
            key();
        return true;
    }

    // An object's key and the colon after it.
    void key() {
        skip_ws();
        if (p_ == end_)
            reject(ORVEX_ERR_PARSE, off(p_), ORVEX_REASON_TRUNCATED);
        if (*p_ != '"')
            reject(ORVEX_ERR_PARSE, off(p_), *p_ == '/' ? ORVEX_REASON_COMMENT : ORVEX_REASON_BAD_KEY);
        const uint64_t at = off(p_);
        key_ = string(key_buf_);
        rec_.key(at, off(p_), key_.p, key_.n);
        // Only an escape puts a NUL in text: the key ends there.
        if (key_.p == key_buf_.data())
            if (const void *z = std::memchr(key_.p, 0, key_.n))
                key_.n = static_cast<size_t>(static_cast<const char *>(z) - key_.p);
        skip_ws();
        if (p_ == end_)
            reject(ORVEX_ERR_PARSE, off(p_), ORVEX_REASON_TRUNCATED);
        if (*p_ != ':')
            reject(ORVEX_ERR_PARSE, off(p_), ORVEX_REASON_MISSING_COLON);
        ++p_;
    }

    Node *string_node(uint8_t type) {
        Span t = string(text_buf_);
        return node_new_text(type, t.p, t.n, blocks_);
    }

    // The string whose opening quote is at p_; p_ ends past its closing
    // quote. The text stays in the input unless it has escapes.
    Span string(std::string &buf) {
        const uchar *start = ++p_, *q = start;
        for (;;) {
            q = scan_for<'"', '\\', '"', 0x20>(q, end_);
            if (q == end_)
                reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_TRUNCATED);
            uchar c = *q;
            if (c == '"') {
                p_ = q + 1;
                return {reinterpret_cast<const char *>(start), static_cast<size_t>(q - start)};
            }
            if (c == '\\') {
                buf.assign(reinterpret_cast<const char *>(start), static_cast<size_t>(q - start));
                return escaped(q, buf);
            }
            q += plain(q);
        }
    }

    // Bytes at `q`, where a scan stopped short of a quote or backslash, that
    // stand for themselves: a well-formed UTF-8 sequence.
    size_t plain(const uchar *q) {
        if (*q < 0x20)
            reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_CONTROL_CHAR);
        size_t n = utf8_seq_len(q, end_);
        if (!n)
            reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_BAD_UTF8);
        return n;
    }

    // The rest of a string from its first escape at `q`, decoded into `buf`.
    Span escaped(const uchar *q, std::string &buf) {
        for (;;) {
            const uchar *run = q;
            q = scan_for<'"', '\\', '"', 0x20>(q, end_);
            if (q == end_)
                reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_TRUNCATED);
            buf.append(reinterpret_cast<const char *>(run), static_cast<size_t>(q - run));
            uchar c = *q;
            if (c == '"') {
                p_ = q + 1;
                return {buf.data(), buf.size()};
            }
            if (c != '\\') {
                size_t n = plain(q);
                buf.append(reinterpret_cast<const char *>(q), n);
                q += n;
                continue;
            }
            if (end_ - q < 2)
                reject(ORVEX_ERR_PARSE, off(end_), ORVEX_REASON_TRUNCATED);
            char e;
            switch (q[1]) {
            case '"':
            case '\\':
            case '/':
                e = static_cast<char>(q[1]);
                break;
            case 'b':
                e = '\b';
                break;
            case 'f':
                e = '\f';
                break;
            case 'n':
                e = '\n';
                break;
            case 'r':
                e = '\r';
                break;
            case 't':
                e = '\t';
                break;
            case 'u':
                q = unicode_escape(q, buf);
                continue;
            default:
                reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_BAD_ESCAPE);
            }
            buf.push_back(e);
            q += 2;
        }
    }

    // Four hex digits after "\u" at `q`, or -1.
    long hex4(const uchar *q) {
        if (end_ - q < 6)
            reject(ORVEX_ERR_PARSE, off(end_), ORVEX_REASON_TRUNCATED);
        long v = 0;
        for (int i = 2; i < 6; ++i) {
            const int d = hex_value(q[i]);
            if (d < 0)
                return -1;
            v = v * 16 + d;
        }
        return v;
    }

    // "\uXXXX" at `q`, with its partner when it is a high surrogate, into
    // `buf`; returns what follows.
    const uchar *unicode_escape(const uchar *q, std::string &buf) {
        long cp = hex4(q);
        if (cp < 0)
            reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_BAD_ESCAPE);
        const uchar *next = q + 6;
        if (is_low_surrogate(uint32_t(cp)))
            reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_UNPAIRED_SURROGATE);
        if (is_high_surrogate(uint32_t(cp))) {
            if (end_ - next < 2 || next[0] != '\\' || next[1] != 'u')
                reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_UNPAIRED_SURROGATE);
            long lo = hex4(next);
            if (lo < 0)
                reject(ORVEX_ERR_PARSE, off(next), ORVEX_REASON_BAD_ESCAPE);
            if (!is_low_surrogate(uint32_t(lo)))
                reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_UNPAIRED_SURROGATE);
            cp = join_surrogates(uint32_t(cp), uint32_t(lo));
            next += 6;
        }
        char out[4];
        buf.append(out, utf8_put(static_cast<uint32_t>(cp), out));
        return next;
    }

    // true, false or null; any other word (NaN, Infinity, ...) is rejected.
    Node *literal() {
        const uchar *s = p_, *q = p_;
        while (q != end_ && (is_letter(*q) || is_digit(*q)))
            ++q;
        size_t n = static_cast<size_t>(q - s);
        auto is = [&](const char *w, size_t wn) { return n == wn && std::memcmp(s, w, wn) == 0; };
        Node *node;
        if (is("true", 4))
            node = node_new_bool(true, blocks_);
        else if (is("false", 5))
            node = node_new_bool(false, blocks_);
        else if (is("null", 4))
            node = node_new(ORVEX_NULL, blocks_);
        else
            reject(ORVEX_ERR_PARSE, off(s), ORVEX_REASON_BAD_LITERAL);
        p_ = q;
        return node;
    }

    // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
    Node *number() {
        const uchar *s = p_, *q = p_;
        bool neg = *q == '-';
        if (neg)
            ++q;
        if (q == end_ || !is_digit(*q))
            reject(ORVEX_ERR_PARSE, off(s),
                   q != end_ && is_letter(*q) ? ORVEX_REASON_BAD_LITERAL : ORVEX_REASON_BAD_NUMBER);
        const uchar *first = q;
        uint64_t v = 0; // exact while there are at most 19 digits
        if (*q == '0') {
            ++q;
            if (q != end_ && is_digit(*q))
                reject(ORVEX_ERR_PARSE, off(s), ORVEX_REASON_LEADING_ZERO);
        } else {
            for (; q != end_ && is_digit(*q); ++q)
                v = v * 10 + (*q - '0');
        }
        bool integral = true, short_int = q - first <= 19;
        if (q != end_ && *q == '.') {
            integral = false;
            q = digits(q + 1, s);
        }
        if (q != end_ && (*q | 0x20) == 'e') {
            integral = false;
            ++q;
            if (q != end_ && (*q == '+' || *q == '-'))
                ++q;
            q = digits(q, s);
        }
        p_ = q;
        const char *t = reinterpret_cast<const char *>(s);
        size_t n = static_cast<size_t>(q - s);
        if (integral && short_int && (!neg || v <= uint64_t(1) << 63))
            return neg ? node_new_int(uint64_t(0) - v, true, blocks_)
                       : node_new_int(v, v <= uint64_t(INT64_MAX), blocks_);
        ParsedInt pi;
        if (integral && parse_integer(t, n, &pi) == ORVEX_REASON_NONE)
            return node_new_int(pi.bits, pi.is_signed(), blocks_);
        double d = 0;
        if (parse_real(t, n, &d) != ORVEX_REASON_NONE)
            reject(ORVEX_ERR_PARSE, off(s), ORVEX_REASON_BAD_NUMBER);
        return node_new_real(d, blocks_);
    }

    // One digit or more at `q`, in the number that starts at `s`. Eight at a
    // time while they last: a real's fraction is often 15 digits or more.
    const uchar *digits(const uchar *q, const uchar *s) {
        if (q == end_ || !is_digit(*q))
            reject(ORVEX_ERR_PARSE, off(s), ORVEX_REASON_BAD_NUMBER);
        while (end_ - q >= 8 && eight_digits(q))
            q += 8;
        while (q != end_ && is_digit(*q))
            ++q;
        return q;
    }

    // Whether the 8 bytes at `q` are all '0' to '9': each high nibble is 3,
    // and stays 3 when 6 is added.
    static bool eight_digits(const uchar *q) {
        uint64_t x;
        std::memcpy(&x, q, 8);
        const uint64_t high = 0xF0F0F0F0F0F0F0F0u;
        return ((x & high) | (((x + 0x0606060606060606u) & high) >> 4)) == 0x3333333333333333u;
    }
};

} // namespace

orvex_err_t json_read(const char *data, uint64_t length, Node **root, ParseError *err) {
    *root = nullptr;
    if (!data || length == 0) {
        *err = {ORVEX_ERR_PARSE, 0, ORVEX_REASON_EMPTY};
        return err->code;
    }
    return reading_boundary(err, [&] { *root = Reader<NoLayout>(data, length, NoLayout()).run(); });
}

orvex_err_t json_read_layout(const char *data, uint64_t length, Node **root, ParseError *err,
                             Layout *layout) {
    *root = nullptr;
    if (!data || length == 0) {
        *err = {ORVEX_ERR_PARSE, 0, ORVEX_REASON_EMPTY};
        return err->code;
    }
    return reading_boundary(
        err, [&] { *root = Reader<LayoutRecorder>(data, length, LayoutRecorder(layout)).run(); });
}

} // namespace orvex_store
