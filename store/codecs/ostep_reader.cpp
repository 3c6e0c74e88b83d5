// OpenStep text reader: one pass over the input with a tokenizer and an
// explicit stack of open containers, so nesting costs no native stack; it
// is limited to ORVEX_MAX_DEPTH containers like the other readers.
//
// What it reads:
// - dictionaries { key = value; ... }, the key a string; `key;` alone is
//   short for `key = key;`, as localisation files write it (the value is
//   the whole text, the key ends at a NUL as every key does); a repeated
//   key: the last value wins at the first one's place, as in XML;
// - arrays ( a, b, ... ), a comma after the last item allowed;
// - strings in double or single quotes, with the escapes \a \b \f \n \r \t
//   \v, \" \' \\, \ooo (one to three octal digits: a byte of the NeXTSTEP
//   character set, the encoding of the format's 8-bit text, so \351 is
//   U+00D8 and \101 is A; three digits past \377 wrap to a byte, as other
//   readers take them), \Uxxxx and \uxxxx (one to four hex digits; a
//   surrogate pair written as two escapes is one character, an unpaired one
//   is an error); any other character after a backslash stands for itself;
// - unquoted strings of A-Z a-z 0-9 _ $ + / : . - and, as GNUstep files
//   have them, any character beyond ASCII but U+2028 and U+2029;
// - data <0fbd 7777>: hex digit pairs, blanks anywhere between them, and
//   GNUstep's base64 form <[D713dwA=]>, blanks anywhere inside;
// - the typed forms <*I12>, <*R1.5>, <*BY>, <*BN> and
//   <*D2001-01-01 00:00:00 +0000> (the zone may be left out: UTC);
// - blanks: space, tab, LF, CR, FF, VT, U+2028 and U+2029; comments // to
//   the end of the line (LF, CR, U+2028 or U+2029) and /* */, wherever
//   blanks may stand;
// - the .strings form: a document that starts with `key =` or `key;` is a
//   dictionary without its braces. A document of only blanks and comments is
//   an empty one; a document of no bytes at all is rejected as empty.
// Everything else reads as strings, as the format has it: numbers,
// booleans and dates are only text unless written in the typed forms.
//
// The text is UTF-8, with or without a byte-order mark; a UTF-16 document,
// with its byte-order mark or recognised by its first characters, is
// transcoded first (codecs/utf16_input.hpp) and offsets in errors are bytes
// of the input as given. Strings must be well-formed UTF-8 without raw NUL
// bytes; \000 is the way to write a NUL.
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/codecs.hpp"
#include "codecs/layout.hpp"
#include "codecs/utf16_input.hpp"
#include "text/base64.hpp"
#include "text/dates.hpp"
#include "text/nextstep.hpp"
#include "text/numbers.hpp"
#include "text/utf8.hpp"

namespace orvex_store {
namespace {

using uchar = unsigned char;

// Byte classes: blanks and the characters of an unquoted string.
struct Classes {
    bool space[256];
    bool unquoted[256];
    constexpr Classes() : space(), unquoted() {
        for (int c = 0; c < 256; ++c) {
            space[c] = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
            unquoted[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          c == '_' || c == '$' || c == '+' || c == '/' || c == ':' || c == '.' || c == '-';
        }
    }
};
inline constexpr Classes CLASSES;

inline bool is_space(uchar c) { return CLASSES.space[c]; }

enum Kind : uint8_t { K_END, K_PUNCT, K_STRING, K_DATA, K_TYPED };

struct Token {
    Kind kind;
    uchar punct;   // K_PUNCT: the character; K_TYPED: the type letter
    const char *s; // K_STRING: the text; K_DATA: the bytes; K_TYPED: what follows the letter
    size_t n;
    uint64_t at; // offset of the token's first byte
};

enum Ctx : uint8_t { C_DICT, C_STRINGS, C_ARRAY };
enum State : uint8_t { S_KEY, S_EQUALS, S_VALUE, S_SEMI, S_ITEM, S_COMMA };

struct Frame {
    Node *node;
    Ctx ctx;
    State state;
    const char *key; // the waiting key, in the input; null: in key_buf
    size_t klen;     // up to its first NUL, as a key
    size_t text_len; // the whole text, the value of `key;`
    std::string key_buf;
};

template <class Rec> class Reader {
  public:
    // A value and its separator take two bytes at least: blocks sized from
    // that stay within one block of what the document needs.
    Reader(const char *data, uint64_t length, Rec rec)
        : base_(reinterpret_cast<const uchar *>(data)), p_(base_), end_(base_ + length), rec_(rec),
          blocks_(length / 2 + 1) {}

    ~Reader() { node_free_tree(root_); }

    Node *run() {
        if (end_ - p_ >= 3 && std::memcmp(p_, "\xEF\xBB\xBF", 3) == 0)
            p_ += 3;
        const uint64_t start = off(p_);
        Token t = next();
        if (t.kind == K_END) {
            attach(node_new(ORVEX_DICT, blocks_)); // blanks and comments: an empty .strings file
            rec_.open(start, start, true, true);
            rec_.close(off(end_), off(end_));
        } else if (t.kind == K_STRING) {
            first_string(t, start);
        } else {
            value(t);
        }
        while (depth_)
            step();
        Token after = next();
        if (after.kind != K_END)
            reject(ORVEX_ERR_PARSE, after.at, ORVEX_REASON_EXTRA_CONTENT);
        Node *r = root_;
        root_ = nullptr;
        return r;
    }

  private:
    const uchar *base_, *p_, *end_;
    std::string text_;  // a string with escapes, unescaped
    std::string bytes_; // decoded data
    std::vector<Frame> frames_;
    size_t depth_ = 0;
    Node *root_ = nullptr;
    Rec rec_;
    NodeBlocks blocks_;

    uint64_t off(const uchar *q) const { return static_cast<uint64_t>(q - base_); }
    Frame &top() { return frames_[depth_ - 1]; }

    // A string first in the document: the root, or the first key of the
    // .strings form when '=' or ';' follows it.
    void first_string(const Token &t, uint64_t start) {
        std::string first(t.s, t.n);
        const uchar *after = p_;
        Token u = next();
        p_ = after;
        if (u.kind == K_PUNCT && (u.punct == '=' || u.punct == ';')) {
            Node *d = node_new(ORVEX_DICT, blocks_);
            attach(d);
            rec_.open(start, start, true, true);
            push(C_STRINGS, S_EQUALS, d, t.at);
            set_key(top(), first.data(), first.size(), true);
            rec_.key(t.at, off(after), first.data(), first.size());
            return;
        }
        attach(node_new_text(ORVEX_STRING, first.data(), first.size(), blocks_));
        rec_.leaf(t.at, off(after));
    }

    // Hands `n` to its place: the root, the array on top, or the dictionary
    // on top under its waiting key.
    void attach(Node *n) {
        if (depth_ == 0) {
            root_ = made(n);
            return;
        }
        Frame &f = top();
        if (f.ctx == C_ARRAY)
            attach_child(f.node, false, nullptr, 0, n);
        else
            attach_child(f.node, true, f.key ? f.key : f.key_buf.data(), f.klen, n);
    }

    void push(Ctx ctx, State state, Node *n, uint64_t at) {
        if (depth_ >= ORVEX_MAX_DEPTH)
            reject(ORVEX_ERR_LIMIT, at, ORVEX_REASON_TOO_DEEP);
        if (depth_ == frames_.size())
            frames_.emplace_back();
        Frame &f = frames_[depth_++];
        f.node = n;
        f.ctx = ctx;
        f.state = state;
        f.key = nullptr;
        f.klen = f.text_len = 0;
    }

    // The key waiting for its value; `copy` when its text will not stay put.
    static void set_key(Frame &f, const char *s, size_t n, bool copy) {
        if (copy) {
            f.key_buf.assign(s, n);
            f.key = nullptr;
        } else {
            f.key = s;
        }
        f.text_len = n;
        // Keys end at their first NUL, as everywhere in the store.
        if (const void *z = std::memchr(s, 0, n))
            n = static_cast<size_t>(static_cast<const char *>(z) - s);
        f.klen = n;
    }

    [[noreturn]] void truncated() { reject(ORVEX_ERR_PARSE, off(end_), ORVEX_REASON_TRUNCATED); }

    // One token's worth of progress in the container on top.
    void step() {
        Frame &f = top();
        // The separators that make half the tokens, without a whole token.
        if (f.state == S_EQUALS || f.state == S_SEMI || f.state == S_COMMA) {
            skip_space();
            if (p_ != end_) {
                static constexpr uchar SEPARATOR[] = {0, '=', 0, ';', 0, ','};
                static constexpr State AFTER[] = {S_KEY, S_VALUE, S_KEY, S_KEY, S_KEY, S_ITEM};
                if (*p_ == SEPARATOR[f.state]) {
                    if (f.state != S_EQUALS)
                        rec_.separator(off(p_));
                    ++p_;
                    f.state = AFTER[f.state];
                    return;
                }
            }
        }
        Token t = next();
        if (t.kind == K_END && f.ctx == C_STRINGS && f.state == S_KEY) {
            rec_.close(t.at, t.at);
            --depth_;
            return;
        }
        if (t.kind == K_END)
            truncated();
        const bool punct = t.kind == K_PUNCT;
        switch (f.state) {
        case S_KEY:
            if (punct && t.punct == '}' && f.ctx == C_DICT) {
                rec_.close(t.at, t.at + 1);
                --depth_;
                return;
            }
            if (t.kind != K_STRING)
                reject(ORVEX_ERR_PARSE, t.at,
                       punct && t.punct != '{' && t.punct != '(' ? ORVEX_REASON_UNEXPECTED
                                                                 : ORVEX_REASON_BAD_KEY);
            set_key(f, t.s, t.n, t.s == text_.data());
            rec_.key(t.at, off(p_), t.s, t.n);
            f.state = S_EQUALS;
            return;
        case S_EQUALS:
            if (punct && t.punct == '=') {
                f.state = S_VALUE;
            } else if (punct && t.punct == ';') {
                attach(node_new_text(ORVEX_STRING, f.key ? f.key : f.key_buf.data(), f.text_len, blocks_));
                rec_.short_entry(t.at);
                f.state = S_KEY;
            } else {
                reject(ORVEX_ERR_PARSE, t.at, ORVEX_REASON_EXPECTED_EQUALS);
            }
            return;
        case S_SEMI:
            if (!punct || t.punct != ';')
                reject(ORVEX_ERR_PARSE, t.at, ORVEX_REASON_EXPECTED_SEMICOLON);
            rec_.separator(t.at);
            f.state = S_KEY;
            return;
        case S_COMMA:
            if (punct && t.punct == ')') {
                rec_.close(t.at, t.at + 1);
                --depth_;
            } else if (punct && t.punct == ',') {
                rec_.separator(t.at);
                f.state = S_ITEM;
            } else {
                reject(ORVEX_ERR_PARSE, t.at, ORVEX_REASON_EXPECTED_COMMA);
            }
            return;
        case S_ITEM:
            if (punct && t.punct == ')') {
                rec_.close(t.at, t.at + 1);
                --depth_;
                return;
            }
            f.state = S_COMMA;
            break;
        case S_VALUE:
            f.state = S_SEMI;
            break;
        }
        value(t); // may push: `f` is not used past here
    }

    // Puts the value `t` starts in its place; a container is pushed.
    void value(const Token &t) {
        switch (t.kind) {
        case K_PUNCT:
            if (t.punct == '{' || t.punct == '(') {
                bool dict = t.punct == '{';
                Node *n = node_new(dict ? ORVEX_DICT : ORVEX_ARRAY, blocks_);
                attach(n);
                push(dict ? C_DICT : C_ARRAY, dict ? S_KEY : S_ITEM, n, t.at);
                rec_.open(t.at, t.at + 1, dict);
                return;
            }
            reject(ORVEX_ERR_PARSE, t.at, ORVEX_REASON_UNEXPECTED);
        case K_STRING:
            attach(node_new_text(ORVEX_STRING, t.s, t.n, blocks_));
            return rec_.leaf(t.at, off(p_));
        case K_DATA:
            attach(node_new_text(ORVEX_DATA, t.s, t.n, blocks_));
            return rec_.leaf(t.at, off(p_));
        case K_TYPED:
            attach(typed(t));
            return rec_.leaf(t.at, off(p_));
        case K_END:
            break;
        }
        truncated();
    }

    // ------------------------------------------------------------ tokens

    // Whether `q` starts U+2028 or U+2029, the line and paragraph separators,
    // which are blanks and end a // comment.
    bool at_separator(const uchar *q) const {
        return end_ - q >= 3 && q[0] == 0xE2 && q[1] == 0x80 && (q[2] == 0xA8 || q[2] == 0xA9);
    }

    // Past blanks and comments. The hot loops work on locals: a byte read
    // through a char pointer could alias p_, which would be reloaded.
    void skip_space() {
        for (;;) {
            const uchar *p = p_, *e = end_;
            while (p != e && is_space(*p))
                ++p;
            p_ = p;
            if (e - p < 2 || (p[0] != '/' && p[0] != 0xE2))
                return;
            if (p[0] == 0xE2) {
                if (!at_separator(p))
                    return;
                p_ += 3;
            } else if (p_[1] == '/') {
                p_ = line_end(p_ + 2);
            } else if (p_[1] == '*') {
                std::string_view rest(reinterpret_cast<const char *>(p_ + 2),
                                      static_cast<size_t>(end_ - p_ - 2));
                size_t close = rest.find("*/");
                if (close == std::string_view::npos)
                    reject(ORVEX_ERR_PARSE, off(p_), ORVEX_REASON_TRUNCATED);
                p_ += 2 + close + 2;
            } else {
                return; // an unquoted string that starts with '/'
            }
        }
    }

    // The end of a // comment's line from `q`: CR, LF, U+2028 or U+2029
    // (left for the blanks), or the end of the input.
    const uchar *line_end(const uchar *q) const {
        for (;;) {
            q = scan_for<'\n', '\r', '\r', 1>(q, end_);
            if (q == end_ || *q == '\n' || *q == '\r' || at_separator(q))
                return q;
            ++q; // a NUL or a byte of a character beyond ASCII
        }
    }

    Token next() {
        skip_space();
        if (p_ == end_)
            return {K_END, 0, nullptr, 0, off(p_)};
        const uchar *start = p_;
        uchar c = *p_;
        switch (c) {
        case '{':
        case '}':
        case '(':
        case ')':
        case '=':
        case ';':
        case ',':
            ++p_;
            return {K_PUNCT, c, nullptr, 0, off(start)};
        case '"':
            return quoted<'"'>();
        case '\'':
            return quoted<'\''>();
        case '<':
            if (end_ - p_ >= 2 && p_[1] == '*')
                return typed_token();
            return end_ - p_ >= 2 && p_[1] == '[' ? base64_data() : data();
        default:
            break;
        }
        if (!CLASSES.unquoted[c] && c < 0x80)
            reject(ORVEX_ERR_PARSE, off(start), c == 0 ? ORVEX_REASON_NUL_BYTE : ORVEX_REASON_UNEXPECTED);
        const uchar *p = p_;
        for (const uchar *e = end_; p != e;) {
            if (CLASSES.unquoted[*p])
                ++p;
            else if (*p >= 0x80 && !at_separator(p))
                p = utf8_char(p);
            else
                break;
        }
        p_ = p;
        return {K_STRING, 0, reinterpret_cast<const char *>(start), static_cast<size_t>(p_ - start),
                off(start)};
    }

    // Past the UTF-8 sequence at `q` (a byte >= 0x80).
    const uchar *utf8_char(const uchar *q) const {
        size_t n = utf8_seq_len(q, end_);
        if (!n)
            reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_BAD_UTF8);
        return q + n;
    }

    // A quoted string; text without escapes stays in the input.
    template <uchar Q> Token quoted() {
        const uchar *open = p_, *q = p_ + 1;
        for (;;) {
            q = scan_for<Q, '\\', '\\', 1>(q, end_);
            if (q == end_)
                reject(ORVEX_ERR_PARSE, off(open), ORVEX_REASON_TRUNCATED);
            if (*q >= 0x80) {
                q = utf8_char(q);
                continue;
            }
            break;
        }
        if (*q == Q) {
            p_ = q + 1;
            return {K_STRING, 0, reinterpret_cast<const char *>(open + 1), static_cast<size_t>(q - open - 1),
                    off(open)};
        }
        if (*q == 0)
            reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_NUL_BYTE);
        text_.assign(reinterpret_cast<const char *>(open + 1), static_cast<size_t>(q - open - 1));
        p_ = unescape<Q>(q, open);
        return {K_STRING, 0, text_.data(), text_.size(), off(open)};
    }

    // The rest of a quoted string from `q`, a backslash, into text_; returns
    // the position past the closing quote. Out of line: the rare case.
    template <uchar Q> [[gnu::noinline]] const uchar *unescape(const uchar *q, const uchar *open) {
        for (;;) {
            const uchar *run = q;
            q = scan_for<Q, '\\', '\\', 1>(q, end_);
            while (q != end_ && *q >= 0x80) {
                q = utf8_char(q);
                q = scan_for<Q, '\\', '\\', 1>(q, end_);
            }
            text_.append(reinterpret_cast<const char *>(run), static_cast<size_t>(q - run));
            if (q == end_)
                reject(ORVEX_ERR_PARSE, off(open), ORVEX_REASON_TRUNCATED);
            if (*q == Q)
                return q + 1;
            if (*q == 0)
                reject(ORVEX_ERR_PARSE, off(q), ORVEX_REASON_NUL_BYTE);
            q = escape(q);
        }
    }

    void put_cp(uint32_t cp) {
        char buf[4];
        text_.append(buf, utf8_put(cp, buf));
    }

    // Up to `max` hex digits at `q`; `*v` their value. Returns past them.
    const uchar *hex_digits(const uchar *q, int max, uint32_t *v) const {
        *v = 0;
        for (int k = 0; k < max && q < end_ && hex_value(*q) >= 0; ++k, ++q)
            *v = *v * 16 + static_cast<uint32_t>(hex_value(*q));
        return q;
    }

    // The escape at `bs`, a backslash, onto text_; returns past it.
    const uchar *escape(const uchar *bs) {
        const uchar *q = bs + 1;
        if (q == end_)
            truncated();
        uchar c = *q++;
        switch (c) {
        case 'a':
            text_ += '\a';
            return q;
        case 'b':
            text_ += '\b';
            return q;
        case 'f':
            text_ += '\f';
            return q;
        case 'n':
            text_ += '\n';
            return q;
        case 'r':
            text_ += '\r';
            return q;
        case 't':
            text_ += '\t';
            return q;
        case 'v':
            text_ += '\v';
            return q;
        case 'U':
        case 'u': {
            uint32_t v;
            const uchar *e = hex_digits(q, 4, &v);
            if (e == q)
                reject(ORVEX_ERR_PARSE, off(bs), ORVEX_REASON_BAD_ESCAPE);
            if (is_low_surrogate(v))
                reject(ORVEX_ERR_PARSE, off(bs), ORVEX_REASON_UNPAIRED_SURROGATE);
            if (is_high_surrogate(v)) { // a high surrogate: its low half must follow
                uint32_t lo = 0;
                const uchar *e2 = e;
                if (end_ - e >= 2 && e[0] == '\\' && (e[1] == 'u' || e[1] == 'U'))
                    e2 = hex_digits(e + 2, 4, &lo);
                if (!is_low_surrogate(lo))
                    reject(ORVEX_ERR_PARSE, off(bs), ORVEX_REASON_UNPAIRED_SURROGATE);
                v = join_surrogates(v, lo);
                e = e2;
            }
            put_cp(v);
            return e;
        }
        default:
            break;
        }
        if (c >= '0' && c <= '7') {
            uint32_t v = c - '0';
            for (int k = 1; k < 3 && q < end_ && *q >= '0' && *q <= '7'; ++k)
                v = v * 8 + (*q++ - '0');
            // A byte of the NeXTSTEP character set; past \377 it wraps, as
            // other readers take it.
            put_cp(nextstep_to_unicode(static_cast<uchar>(v)));
            return q;
        }
        if (c == 0)
            reject(ORVEX_ERR_PARSE, off(q - 1), ORVEX_REASON_NUL_BYTE);
        if (c < 0x80) { // any other character stands for itself, a quote too
            text_ += static_cast<char>(c);
            return q;
        }
        return q - 1; // a UTF-8 sequence: the scan checks and copies it
    }

    // <hex digits>, into bytes_.
    Token data() {
        const uchar *open = p_, *q = p_ + 1;
        const void *gt = std::memchr(q, '>', static_cast<size_t>(end_ - q));
        if (!gt)
            reject(ORVEX_ERR_PARSE, off(open), ORVEX_REASON_TRUNCATED);
        const uchar *e = static_cast<const uchar *>(gt);
        bytes_.resize(static_cast<size_t>(e - q) / 2 + 1);
        char *w = &bytes_[0];
        for (;;) {
            while (q != e && is_space(*q))
                ++q;
            if (q == e)
                break;
            int hi = hex_value(*q), lo = e - q >= 2 ? hex_value(q[1]) : -1;
            if (hi < 0 || lo < 0)
                reject(ORVEX_ERR_PARSE, off(hi < 0 ? q : q + 1), ORVEX_REASON_BAD_DATA);
            *w++ = static_cast<char>(hi << 4 | lo);
            q += 2;
        }
        p_ = e + 1;
        return {K_DATA, 0, bytes_.data(), static_cast<size_t>(w - bytes_.data()), off(open)};
    }

    // GNUstep's <[base64]>, blanks anywhere inside, into bytes_.
    [[gnu::noinline]] Token base64_data() {
        const uchar *open = p_, *q = p_ + 2;
        const void *close = std::memchr(q, ']', static_cast<size_t>(end_ - q));
        if (!close)
            reject(ORVEX_ERR_PARSE, off(open), ORVEX_REASON_TRUNCATED);
        const uchar *e = static_cast<const uchar *>(close);
        if (end_ - e < 2)
            reject(ORVEX_ERR_PARSE, off(open), ORVEX_REASON_TRUNCATED);
        if (e[1] != '>')
            reject(ORVEX_ERR_PARSE, off(e + 1), ORVEX_REASON_BAD_BASE64);
        const size_t n = static_cast<size_t>(e - q);
        bytes_.resize(n / 4 * 3 + 3);
        size_t got = base64_decode(q, n, reinterpret_cast<uchar *>(&bytes_[0]));
        if (got == SIZE_MAX)
            reject(ORVEX_ERR_PARSE, off(open), ORVEX_REASON_BAD_BASE64);
        p_ = e + 2;
        return {K_DATA, 0, bytes_.data(), got, off(open)};
    }

    // <*T...>: the letter T and what follows it up to the '>'.
    Token typed_token() {
        const uchar *open = p_, *s = p_ + 2;
        const void *gt = std::memchr(s, '>', static_cast<size_t>(end_ - s));
        if (!gt || s == gt)
            reject(ORVEX_ERR_PARSE, off(open), gt ? ORVEX_REASON_BAD_TYPED : ORVEX_REASON_TRUNCATED);
        const uchar *e = static_cast<const uchar *>(gt);
        p_ = e + 1;
        return {K_TYPED, *s, reinterpret_cast<const char *>(s + 1), static_cast<size_t>(e - s - 1),
                off(open)};
    }

    Node *typed(const Token &t) {
        const uint64_t at = t.at + 3; // the value after "<*T"
        switch (t.punct) {
        case 'I': {
            ParsedInt v;
            if (orvex_reason_t why = parse_integer(t.s, t.n, &v))
                reject(ORVEX_ERR_PARSE, at, why);
            return node_new_int(v.bits, v.is_signed(), blocks_);
        }
        case 'R': {
            double d;
            if (orvex_reason_t why = parse_real(t.s, t.n, &d))
                reject(ORVEX_ERR_PARSE, at, why);
            return node_new_real(d, blocks_);
        }
        case 'B':
            if (t.n == 1 && (t.s[0] == 'Y' || t.s[0] == 'N'))
                return node_new_bool(t.s[0] == 'Y', blocks_);
            break;
        case 'D':
            return date(t.s, t.n, at);
        default:
            break;
        }
        reject(ORVEX_ERR_PARSE, t.at, ORVEX_REASON_BAD_TYPED);
    }

    // YYYY-MM-DD HH:MM:SS[.fraction] [+-]HHMM, read as the ISO 8601 text it
    // is but for the blanks and the zone.
    Node *date(const char *s, size_t n, uint64_t at) {
        int64_t zone = 0;
        if (n >= 6 && s[n - 6] == ' ' && (s[n - 5] == '+' || s[n - 5] == '-')) {
            const char *z = s + n - 4;
            for (int k = 0; k < 4; ++k)
                if (z[k] < '0' || z[k] > '9')
                    reject(ORVEX_ERR_PARSE, at, ORVEX_REASON_BAD_DATE);
            int64_t hh = (z[0] - '0') * 10 + (z[1] - '0'), mm = (z[2] - '0') * 10 + (z[3] - '0');
            if (hh > 23 || mm > 59)
                reject(ORVEX_ERR_PARSE, at, ORVEX_REASON_DATE_RANGE);
            zone = (hh * 3600 + mm * 60) * (s[n - 5] == '-' ? -1 : 1);
            n -= 6;
        }
        // The text with a 'T' for its blank; on the stack unless it is long.
        char local[64];
        std::string long_text;
        char *iso = local;
        if (n > sizeof local) {
            long_text.assign(s, n);
            iso = &long_text[0];
        } else {
            std::memcpy(local, s, n);
        }
        if (void *blank = std::memchr(iso, ' ', n))
            *static_cast<char *>(blank) = 'T';
        ParsedDate d;
        if (orvex_reason_t why = parse_iso8601(iso, n, &d))
            reject(ORVEX_ERR_PARSE, at, why);
        Node *node = node_new(ORVEX_DATE, blocks_);
        if (!node)
            return nullptr;
        if (d.exact) {
            if ((zone > 0 && d.unix_sec < INT64_MIN + zone) || (zone < 0 && d.unix_sec > INT64_MAX + zone)) {
                node_free_tree(node);
                reject(ORVEX_ERR_PARSE, at, ORVEX_REASON_DATE_RANGE);
            }
            set_exact_date(node, d.unix_sec - zone);
        } else {
            node->v.date.since_2001 = d.since_2001 - static_cast<double>(zone);
        }
        return node;
    }
};

orvex_err_t read_utf8(const char *data, uint64_t length, Node **root, ParseError *err) {
    return reading_boundary(err, [&] { *root = Reader<NoLayout>(data, length, NoLayout()).run(); });
}

} // namespace

orvex_err_t ostep_read(const char *data, uint64_t length, Node **root, ParseError *err) {
    *root = nullptr;
    if (!data || length == 0) {
        *err = {ORVEX_ERR_PARSE, 0, ORVEX_REASON_EMPTY};
        return err->code;
    }
    if (utf16_order(data, length))
        return read_utf16(data, length, err,
                          [&](const char *utf8, uint64_t n) { return read_utf8(utf8, n, root, err); });
    return read_utf8(data, length, root, err);
}

// UTF-8 text of a document orvex_parse took; none at all is a UTF-16
// document of only its byte-order mark.
orvex_err_t ostep_read_layout(const char *data, uint64_t length, Node **root, ParseError *err,
                              Layout *layout) {
    *root = nullptr;
    return reading_boundary(
        err, [&] { *root = Reader<LayoutRecorder>(data, length, LayoutRecorder(layout)).run(); });
}

} // namespace orvex_store
