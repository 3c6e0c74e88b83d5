// OpenStep text writer: one entry per line, tab-indented, entries in store
// order (or their keys' with ORVEX_WRITE_SORTED), UTF-8 without a byte-order mark unless the flags ask for
// one or for UTF-16 (encoded from the finished UTF-8), a root dictionary with braces unless they ask for a
// bare .strings list. Iterative, so any depth is safe; a first walk refuses a tree holding a UID or a null
// node (the format has no form for either) before anything is written, and sizes the buffer.
//
// What it writes:
// - strings and keys bare when they are made only of the unquoted
//   characters (A-Z a-z 0-9 _ $ / : . -) and do not start a comment ('+'
//   is quoted: other readers end an unquoted string there);
//   otherwise in double quotes, with \" \\ \n \t \r and \ooo for other
//   control characters (NUL included, so it reads back). Bytes that are not
//   UTF-8 (only possible through the C interface) become U+FFFD;
// - data as <0fbd7777 00112233>, four bytes to a group;
// - integers, reals, booleans and dates as text, which reads back as
//   strings: integers in decimal, reals in the fewest digits that read
//   back to the same double ("nan", "inf", "-inf" for the others; quoted
//   when the text holds a '+', as "1e+16"), booleans
//   as YES and NO, dates as "2001-01-01 00:00:00 +0000"; or, with
//   ORVEX_OSTEP_TYPED, in the GNUstep typed forms <*I12>, <*R1.5>, <*BY>,
//   <*BN> and <*D2001-01-01 00:00:00 +0000>, which read back as what they
//   were. Dates lose their fraction of a second either way, as in XML (the
//   second written is the one orvex_get_unix_date_val reads);
// - a key node standing as a value as a string.
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "codecs/codecs.hpp"
#include "codecs/key_order.hpp"
#include "codecs/utf16_output.hpp"
#include "text/dates.hpp"
#include "text/numbers.hpp"
#include "text/utf16.hpp"
#include "text/utf8.hpp"

namespace orvex_store {
namespace {

using uchar = unsigned char;

// A date's text: the ISO 8601 text with a blank for the 'T' and a zone for the 'Z'.
constexpr size_t DATE_MAX = ISO8601_MAX + 8;

struct Bare {
    bool ok[256];
    constexpr Bare() : ok() {
        for (int c = 0; c < 256; ++c)
            ok[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                    c == '$' || c == '/' || c == ':' || c == '.' || c == '-';
    }
};
inline constexpr Bare BARE;

constexpr char HEX[] = "0123456789abcdef";

inline char *copy(char *w, const void *s, size_t n) {
    std::memcpy(w, s, n);
    return w + n;
}

// The escaped form of byte `c`, which a scan stopped at, at `w`; returns
// the end. Out of line: rare.
[[gnu::noinline]] char *escape(char *w, uchar c) {
    *w++ = '\\';
    switch (c) {
    case '"':
    case '\\':
        *w++ = static_cast<char>(c);
        return w;
    case '\n':
        *w++ = 'n';
        return w;
    case '\t':
        *w++ = 't';
        return w;
    case '\r':
        *w++ = 'r';
        return w;
    default:
        break;
    }
    if (c >= 0x80) // not UTF-8: U+FFFD in its place
        return copy(w - 1, "\xEF\xBF\xBD", 3);
    *w++ = static_cast<char>('0' + (c >> 6));
    *w++ = static_cast<char>('0' + ((c >> 3) & 7));
    *w++ = static_cast<char>('0' + (c & 7));
    return w;
}

// How text must be written: bit 1 when it is not all bare characters
// (quotes), bit 2 when it holds a byte quoted text cannot hold as it is
// ('"', '\', a control character, DEL, or a byte from 0x80, which may be
// UTF-8 that needs no escape: the slow path sees).
constexpr unsigned NOT_BARE = 1, TO_ESCAPE = 2;

struct TextClass {
    uint8_t c[256];
    constexpr TextClass() : c() {
        for (int i = 0; i < 256; ++i)
            c[i] = BARE.ok[i]                                                      ? 0
                   : (i == '"' || i == '\\' || i < 0x20 || i == 0x7F || i >= 0x80) ? NOT_BARE | TO_ESCAPE
                                                                                   : NOT_BARE;
    }
};
inline constexpr TextClass TEXT_CLASS;

#if defined(__SSE2__)
inline __m128i in_range(__m128i v, char lo, char hi) {
    return _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(static_cast<char>(lo - 1))),
                         _mm_cmplt_epi8(v, _mm_set1_epi8(static_cast<char>(hi + 1))));
}

// The class bits of 16 bytes.
inline unsigned class_of(__m128i v) {
    // Bare: '-' to ':' (- . / digits :), letters, '$' and '_'. Bytes from
    // 0x80 are negative as signed and fall outside every range.
    __m128i ok =
        _mm_or_si128(in_range(v, '-', ':'), in_range(_mm_or_si128(v, _mm_set1_epi8(0x20)), 'a', 'z'));
    ok = _mm_or_si128(
        ok, _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('$')), _mm_cmpeq_epi8(v, _mm_set1_epi8('_'))));
    __m128i esc = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\\')));
    esc = _mm_or_si128(
        esc, _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(0x7F)), _mm_cmplt_epi8(v, _mm_set1_epi8(0x20))));
    return (_mm_movemask_epi8(ok) != 0xFFFF ? NOT_BARE : 0) | (_mm_movemask_epi8(esc) ? TO_ESCAPE : 0);
}
#endif

// The class bits of text: short text byte by byte, longer text 16 bytes at
// a time, its last 16 bytes overlapping what came before.
inline unsigned text_class(const uchar *p, size_t n) {
    unsigned cls = 0;
#if defined(__SSE2__)
    if (n >= 16) {
        const uchar *last = p + n - 16;
        for (; p < last && cls != (NOT_BARE | TO_ESCAPE); p += 16)
            cls |= class_of(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
        return cls | class_of(_mm_loadu_si128(reinterpret_cast<const __m128i *>(last)));
    }
#endif
    for (size_t i = 0; i < n; ++i)
        cls |= TEXT_CLASS.c[p[i]];
    return cls;
}

inline bool starts_comment(const char *s, size_t n) {
    return n > 1 && s[0] == '/' && (s[1] == '/' || s[1] == '*');
}

// The exact size text_at writes for `s`.
uint64_t text_size(const char *s, size_t n) {
    const uchar *p = reinterpret_cast<const uchar *>(s), *e = p + n;
    uint64_t size = n + 2;
    bool plain = n && !starts_comment(s, n);
    while (p < e) {
        uchar c = *p;
        size_t seq = c >= 0x80 ? utf8_seq_len(p, e) : 0;
        plain = plain && BARE.ok[c];
        if (seq) {
            p += seq;
            continue;
        }
        if (c >= 0x80)
            size += 2; // U+FFFD
        else if (c == '"' || c == '\\' || c == '\n' || c == '\t' || c == '\r')
            size += 1;
        else if (c < 0x20 || c == 0x7F)
            size += 3;
        ++p;
    }
    return plain ? n : size;
}

// Room a string or key can take: quotes, and at most four bytes (\ooo) for
// one; counted exactly for long text, whose bound could pass the limit
// when the text does not.
inline uint64_t text_bound(const char *s, size_t n) {
    return n < (size_t(1) << 24) ? 4 * uint64_t(n) + 2 : text_size(s, n);
}

// Writes `s` bare or quoted at `w`, which has room for text_bound(n) bytes;
// returns the end.
char *text_at(char *w, const char *s, size_t n) {
    const uchar *p = reinterpret_cast<const uchar *>(s), *e = p + n;
    unsigned cls = text_class(p, n);
    if (cls == 0 && n && !starts_comment(s, n))
        return copy(w, s, n);
    *w++ = '"';
    if (!(cls & TO_ESCAPE)) {
        w = copy(w, s, n);
        *w++ = '"';
        return w;
    }
    const uchar *run = p;
    while ((p = scan_for<'"', '\\', 0x7F, 0x20>(p, e)) != e) {
        if (*p >= 0x80) {
            if (size_t seq = utf8_seq_len(p, e)) {
                p += seq;
                continue;
            }
        }
        w = copy(w, run, static_cast<size_t>(p - run));
        w = escape(w, *p);
        p = run = p + 1;
    }
    w = copy(w, run, static_cast<size_t>(e - run));
    *w++ = '"';
    return w;
}

// Number text written at [s, e), quoted when it holds a character that is
// not bare (the '+' of "1e+16"); `e` has room for two more bytes.
inline char *bare_or_quoted(char *s, char *e) {
    for (const char *c = s; c < e; ++c) {
        if (!BARE.ok[static_cast<uchar>(*c)]) {
            std::memmove(s + 1, s, static_cast<size_t>(e - s));
            *s = '"';
            e[1] = '"';
            return e + 2;
        }
    }
    return e;
}

template <class Order> class Writer : private TextOut {
  public:
    Writer(Output &out, uint32_t flags)
        : TextOut(out), typed_((flags & ORVEX_WRITE_TYPED) != 0), bare_(flags & ORVEX_WRITE_STRINGS),
          bom_(flags & ORVEX_WRITE_BOM) {}
    using TextOut::length;

    // False, with nothing written, when the tree holds a UID or a null node.
    bool run(const Node *root) {
        if (!reserve_for(root))
            return false;
        if (bom_)
            put("\xEF\xBB\xBF");
        if (bare_ && root->type == ORVEX_DICT) {
            // An empty document is refused on reading; a blank line reads as {}.
            if (dict_live(root) == 0)
                put('\n');
            else
                push({root, 0, 0});
            shift_ = 1;
        } else {
            value(root, 0, nullptr, '\n');
        }
        while (!stack_.empty()) {
            Frame &f = stack_.back();
            size_t depth = stack_.size();
            const DictEntry *e = nullptr;
            char term = 0;
            if (const Node *c = next_child(f, &e, &term)) {
                value(c, depth, e, term); // may push: `f` is not used past here
                continue;
            }
            bool dict = f.n->type == ORVEX_DICT;
            char closing = f.term;
            order_.closed(f.n);
            stack_.pop_back();
            if (depth == shift_) // the bare list's root has no closing brace
                continue;
            char *w = indent(room(depth + 3), depth - 1 - shift_);
            *w++ = dict ? '}' : ')';
            done(end_line(w, closing));
        }
        finish();
        return true;
    }

  private:
    struct Frame {
        const Node *n;
        uint32_t i;
        char term; // what follows the container's closing bracket
    };

    bool typed_, bare_, bom_;
    size_t shift_ = 0; // 1 in a bare list: its entries are not indented
    std::vector<Frame> stack_;
    Order order_;

    void push(const Frame &f) {
        stack_.push_back(f);
        order_.opened(f.n);
    }

    // The next child of the container on top, with its entry in a
    // dictionary and what ends its line: ';' in a dictionary, ',' between
    // array items, nothing after the last.
    const Node *next_child(Frame &f, const DictEntry **entry, char *term) const {
        const Node *c = order_.next(f.n, &f.i, entry);
        if (c)
            *term = f.n->type == ORVEX_DICT ? ';' : f.i < f.n->v.arr.size ? ',' : '\n';
        return c;
    }

    // The same step in store order, for the first walk, which needs no order.
    static const Node *stored_child(Frame &f, const DictEntry **entry) {
        return orvex_store::next_child(f.n, &f.i, entry);
    }

    static char *indent(char *w, size_t depth) {
        for (size_t i = 0; i < depth; ++i)
            w[i] = '\t';
        return w + depth;
    }

    static char *end_line(char *w, char term) {
        if (term != '\n')
            *w++ = term;
        *w++ = '\n';
        return w;
    }

    // A scalar's text at `w`, typed when asked: `<*T` before it and '>' after.
    template <class Fill> char *scalar(char *w, char type, Fill fill) {
        if (typed_) {
            w[0] = '<';
            w[1] = '*';
            w[2] = type;
            w += 3;
        }
        w = fill(w);
        if (typed_)
            *w++ = '>';
        return w;
    }

    char *integer(char *w, const Node *n) {
        return scalar(w, 'I', [&](char *d) { return write_integer(d, n->v.u, int_is_negative(n)); });
    }

    char *real(char *w, double x) {
        return scalar(w, 'R', [&](char *d) { return write_real_text(d, x, false); });
    }

    char *boolean(char *w, bool b) {
        if (typed_)
            return copy(w, b ? "<*BY>" : "<*BN>", 5);
        return b ? copy(w, "YES", 3) : copy(w, "NO", 2);
    }

    char *date(char *w, const Node *n) {
        int64_t unix_sec =
            (n->flags & NODE_EXACT) ? n->v.date.unix_sec : date_to_unix_seconds(n->v.date.since_2001);
        if (!typed_)
            *w++ = '"';
        w = scalar(w, 'D', [&](char *d) {
            char *e = format_iso8601(unix_sec, d);
            // YYYY-MM-DDTHH:MM:SSZ, the year perhaps signed and longer.
            for (char *c = d; c < e; ++c)
                if (*c == 'T')
                    *c = ' ';
            return copy(e - 1, " +0000", 6);
        });
        if (!typed_)
            *w++ = '"';
        return w;
    }

    static uint64_t data_bound(uint64_t n) { return n * 2 + n / 4 + 2; }

    static char *data(char *w, const Node *node) {
        size_t n;
        const uchar *p = reinterpret_cast<const uchar *>(node_text(node, &n));
        *w++ = '<';
        for (size_t i = 0; i < n; ++i) {
            if (i && i % 4 == 0)
                *w++ = ' ';
            *w++ = HEX[p[i] >> 4];
            *w++ = HEX[p[i] & 15];
        }
        *w++ = '>';
        return w;
    }

    // Room a value's text takes at most; a container's bracket and newline.
    static uint64_t value_bound(const Node *n) {
        size_t tn = 0;
        switch (n->type) {
        case ORVEX_STRING:
        case ORVEX_KEY: {
            const char *t = node_text(n, &tn);
            return text_bound(t, tn);
        }
        case ORVEX_DATA:
            node_text(n, &tn);
            return data_bound(tn);
        case ORVEX_DATE:
            return DATE_MAX + 5;
        default:
            return NUMBER_TEXT_MAX + 4;
        }
    }

    // Writes the line of `n` at `depth`, under the key of `e` when it is in
    // a dictionary, and what ends it; a container with children is opened
    // and pushed.
    __attribute__((always_inline)) void value(const Node *n, size_t depth, const DictEntry *e, char term) {
        depth -= depth ? shift_ : 0;
        uint64_t bound = depth + value_bound(n) + 2 + (e ? text_bound(e->key(), e->klen) + 3 : 0);
        char *w = indent(room(bound), depth);
        if (e) {
            w = text_at(w, e->key(), e->klen);
            w = copy(w, " = ", 3);
        }
        switch (n->type) {
        case ORVEX_BOOLEAN:
            w = boolean(w, n->v.b);
            break;
        case ORVEX_INT:
            w = integer(w, n);
            break;
        case ORVEX_REAL: {
            char *start = w;
            w = real(w, n->v.r);
            if (!typed_)
                w = bare_or_quoted(start, w);
            break;
        }
        case ORVEX_DATE:
            w = date(w, n);
            break;
        case ORVEX_DATA:
            w = data(w, n);
            break;
        case ORVEX_ARRAY:
        case ORVEX_DICT: {
            bool dict = n->type == ORVEX_DICT;
            if (dict ? dict_live(n) == 0 : n->v.arr.size == 0) {
                w = copy(w, dict ? "{}" : "()", 2);
                break;
            }
            done(copy(w, dict ? "{\n" : "(\n", 2));
            push({n, 0, term});
            return;
        }
        default: { // strings and keys; the first walk let nothing else through
            size_t tn;
            const char *t = node_text(n, &tn);
            w = text_at(w, t, tn);
            break;
        }
        }
        done(end_line(w, term));
    }

    // Walks the tree: false at a UID or null node; else sizes the buffer by
    // a lower bound of the output (every text as it is, without escapes).
    bool reserve_for(const Node *root) {
        uint64_t total = 1;
        bool ok = true;
        auto visit = [&](const Node *n, size_t depth) {
            size_t tn = 0;
            if (n->type == ORVEX_UID || n->type == ORVEX_NULL)
                ok = false;
            else if (is_text(n->type))
                node_text(n, &tn);
            total += depth + 2 + (n->type == ORVEX_DATA ? data_bound(tn) : tn + 1);
            if ((n->type == ORVEX_ARRAY && n->v.arr.size) || (n->type == ORVEX_DICT && dict_live(n))) {
                total += depth + 2; // the closing line
                stack_.push_back({n, 0, 0});
            }
        };
        visit(root, 0);
        while (ok && !stack_.empty()) {
            Frame &f = stack_.back();
            size_t depth = stack_.size();
            const DictEntry *e = nullptr;
            const Node *c = stored_child(f, &e);
            if (!c) {
                stack_.pop_back();
                continue;
            }
            if (e)
                total += e->klen + 3;
            visit(c, depth);
        }
        stack_.clear();
        if (!ok)
            return false;
        reserve(total, 8);
        return true;
    }
};

// The document in `order`, or false (nothing written) when the tree holds a
// UID or null node.
template <class Order> bool write_ostep(const Node *root, Output &out, uint32_t flags, uint32_t *length) {
    Writer<Order> w(out, flags);
    if (!w.run(root))
        return false;
    *length = w.length();
    return true;
}

} // namespace

orvex_err_t ostep_write(const Node *root, Output &out, uint32_t *length, uint32_t flags) {
    *length = 0;
    const uint32_t utf16 = flags & (ORVEX_WRITE_UTF16LE | ORVEX_WRITE_UTF16BE);
    if (utf16 == (ORVEX_WRITE_UTF16LE | ORVEX_WRITE_UTF16BE))
        return ORVEX_ERR_INVALID_ARG;
    bool writable = true;
    auto write = [&](Output &to, uint32_t form, uint32_t *n) {
        writable = (flags & ORVEX_WRITE_SORTED) ? write_ostep<KeyOrder>(root, to, form, n)
                                                : write_ostep<StoreOrder>(root, to, form, n);
    };
    orvex_err_t e = writing_boundary([&] {
        if (!utf16)
            return write(out, flags, length);
        // UTF-16 is encoded from the UTF-8 text, written first into memory
        // of our own.
        Output utf8;
        uint32_t n = 0;
        write(utf8, flags & ~uint32_t(ORVEX_WRITE_BOM), &n);
        if (!writable)
            return;
        const std::unique_ptr<char, decltype(&std::free)> text(utf8.release(), std::free);
        to_utf16(text.get(), n, utf16 == ORVEX_WRITE_UTF16LE, out, length);
    });
    return e == ORVEX_ERR_SUCCESS && !writable ? ORVEX_ERR_FORMAT : e;
}

} // namespace orvex_store
