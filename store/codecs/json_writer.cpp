// JSON writer: compact, or with ORVEX_JSON_PRETTY one entry per line,
// indented by two spaces (and a final newline). Entries in store order.
// Iterative, so any depth is safe. A first walk over the tree sums a lower
// bound of the output size, which sizes the buffer (regrowing it costs more
// than the walk) and turns a document past 2^32-1 bytes away before anything
// is written, as it turns away a tree with a node that has no JSON form.
//
// What it writes:
// - integers exactly (negative signed values with their sign, everything
//   else as unsigned decimal); reals in the fewest digits that read back to
//   the same double (write_real), always with a '.' or an exponent so that
//   they read back as reals ("1.0", "-0.0", "1e+300");
// - text with only the escapes JSON needs ('"', '\', control characters),
//   so always valid UTF-8: bytes that are not UTF-8 (only possible through
//   the C interface) become U+FFFD. A key node standing as a value is written
//   as a string and reads back as one;
// - null nodes as null.
// Dates, data, UIDs and NaN or infinite reals have no JSON form: the tree is
// refused (json_unwritable names the node) unless ORVEX_JSON_LOSSY maps them,
// one way: a date to its ISO 8601 text in whole seconds (the second
// orvex_get_unix_date_val reads), data to its base64 text, a UID to
// {"CF$UID": n}, a non-finite real to null.
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "codecs/codecs.hpp"
#include "codecs/key_order.hpp"
#include "text/base64.hpp"
#include "text/dates.hpp"
#include "text/json_text.hpp"
#include "text/numbers.hpp"
#include "text/utf8.hpp"

namespace orvex_store {
namespace {

using uchar = unsigned char;

template <size_t N> constexpr size_t len(const char (&)[N]) { return N - 1; }

constexpr char UID_KEY[] = "\"CF$UID\"";

template <class T> T load(const uchar *p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

#if !defined(__SSE2__)
// Whether any of 8 bytes is special: below 0x20, a quote, a backslash or
// >= 0x80. Each test is exact about whether there is one.
inline bool word_special(uint64_t x) {
    const uint64_t ones = 0x0101010101010101u, high = ones * 0x80;
    auto has_zero = [&](uint64_t v) { return (v - ones) & ~v & high; };
    return (((x - ones * 0x20) & ~x & high) | has_zero(x ^ (ones * '"')) | has_zero(x ^ (ones * '\\')) |
            (x & high)) != 0;
}
#endif

#if defined(__SSE2__)
// One bit per special byte among 16.
inline unsigned special_mask(__m128i v) {
    __m128i m = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'))),
        _mm_cmplt_epi8(v, _mm_set1_epi8(0x20))); // bytes >= 0x80 are negative
    return static_cast<unsigned>(_mm_movemask_epi8(m));
}
#endif

// The first special byte in [p, e), or `e`; `start` <= p is where the text
// begins, so that the last bytes of a text of 16 or more are read in one
// load that overlaps what was scanned. Most keys and values are short.
inline const uchar *scan_special(const uchar *p, const uchar *e, const uchar *start) {
#if defined(__SSE2__)
    if (e - start >= 16) {
        const uchar *body = e - (e - p) % 16, *q = scan_for<'"', '\\', '"', 0x20>(p, body);
        if (q != body || body == e)
            return q;
        // Fewer than 16 left: one load ending at `e`, its first bits dropped.
        const uchar *w = e - 16;
        unsigned mask = special_mask(_mm_loadu_si128(reinterpret_cast<const __m128i *>(w))) >> (body - w);
        return mask ? body + __builtin_ctz(mask) : e;
    }
    // 4 to 15 bytes: two loads that overlap, most often free of specials.
    size_t n = static_cast<size_t>(e - p);
    if (n >= 4) {
        __m128i v = n >= 8 ? _mm_set_epi64x(load<int64_t>(e - 8), load<int64_t>(p))
                           : _mm_set_epi32(0, 0, load<int32_t>(e - 4), load<int32_t>(p));
        if (!(special_mask(v) & (n >= 8 ? 0xFFFFu : 0xFFu)))
            return e;
    }
#else
    (void)start;
    // 4 to 15 bytes: two loads that overlap, most often free of specials.
    size_t n = static_cast<size_t>(e - p);
    if (n >= 4) {
        bool any;
        if (n >= 8) {
            any = word_special(load<uint64_t>(p)) || word_special(load<uint64_t>(e - 8));
        } else {
            any = word_special(load<uint32_t>(p) | uint64_t(load<uint32_t>(e - 4)) << 32);
        }
        if (!any)
            return e;
    }
#endif
    while (p != e && !JSON_SPECIAL.v[*p])
        ++p;
    return p;
}

bool has_json_form(const Node *n) {
    switch (n->type) {
    case ORVEX_DATE:
    case ORVEX_DATA:
    case ORVEX_UID:
        return false;
    case ORVEX_REAL:
        return std::isfinite(n->v.r);
    default:
        return true;
    }
}

bool has_children(const Node *n) {
    return (n->type == ORVEX_ARRAY && n->v.arr.size) || (n->type == ORVEX_DICT && dict_live(n));
}

// Thrown at a node without a JSON form.
struct Refused {
    const Node *node;
};

struct Frame {
    const Node *n;
    uint32_t i;
    bool any; // a child was written
};

// Walks the tree depth first, entries in order, calling `visit(node,
// depth, entry)` for each node (entry: its dictionary entry or null) until
// `visit` returns false. Returns false when stopped.
template <class Visit> bool walk(const Node *root, std::vector<Frame> &stack, Visit &&visit) {
    if (!visit(root, size_t(0), static_cast<const DictEntry *>(nullptr)))
        return false;
    if (has_children(root))
        stack.push_back({root, 0, false});
    while (!stack.empty()) {
        Frame &f = stack.back();
        size_t depth = stack.size();
        const DictEntry *e = nullptr;
        const Node *c = next_child(f.n, &f.i, &e);
        if (!c) {
            stack.pop_back();
            continue;
        }
        if (!visit(c, depth, e)) {
            stack.clear();
            return false;
        }
        if (has_children(c))
            stack.push_back({c, 0, false});
    }
    return true;
}

template <class Order> class Writer : private TextOut {
  public:
    using TextOut::length;
    Writer(Output &out, uint32_t flags)
        : TextOut(out), pretty_(flags & ORVEX_WRITE_PRETTY), lossy_(flags & ORVEX_WRITE_LOSSY) {}

    // Writes the tree; unless lossy, throws Refused before writing anything
    // when a node has no JSON form.
    void run(const Node *root) {
        reserve(root);
        value(root, 0);
        while (!stack_.empty()) {
            Frame &f = stack_.back();
            size_t depth = stack_.size();
            const DictEntry *e = nullptr;
            const Node *c = order_.next(f.n, &f.i, &e);
            if (c) {
                item_start(f.any, depth);
                f.any = true;
                if (e)
                    text(e->key(), e->klen, true);
                value(c, depth); // may push: `f` is not used past here
                continue;
            }
            char close = f.n->type == ORVEX_DICT ? '}' : ']';
            order_.closed(f.n);
            stack_.pop_back();
            if (pretty_)
                newline(depth - 1);
            put(close);
        }
        if (pretty_)
            put('\n');
        finish();
    }

  private:
    const bool pretty_, lossy_;
    std::vector<Frame> stack_;
    Order order_;

    // What stands before an item: a comma after the first, and in pretty
    // output its line and indentation.
    void item_start(bool comma, size_t depth) {
        if (!pretty_) {
            if (comma)
                put(',');
            return;
        }
        if (depth > (MAX_OUT - 2) / 2)
            throw TooLarge();
        char *w = room(2 + 2 * depth);
        if (comma)
            *w++ = ',';
        *w++ = '\n';
        std::memset(w, ' ', 2 * depth);
        done(w + 2 * depth);
    }

    void newline(size_t depth) {
        if (depth > (MAX_OUT - 1) / 2)
            throw TooLarge();
        char *w = room(1 + 2 * depth);
        *w++ = '\n';
        std::memset(w, ' ', 2 * depth);
        done(w + 2 * depth);
    }

    // A string: the text in quotes, escaped where JSON needs it, and for a
    // key the colon after it. Text that needs no escape, the usual case, is
    // copied in one piece.
    __attribute__((always_inline)) void text(const char *s, size_t n, bool key = false) {
        const uchar *start = reinterpret_cast<const uchar *>(s), *e = start + n;
        const uchar *p = scan_special(start, e, start);
        if (p == e) {
            if (n > MAX_OUT)
                throw TooLarge();
            char *w = room(n + 4);
            *w++ = '"';
            copy_text(w, s, n);
            w += n;
            *w++ = '"';
            if (key) {
                *w++ = ':';
                if (pretty_)
                    *w++ = ' ';
            }
            return done(w);
        }
        escaped_text(start, p, e, key);
    }

    // The rest of text(), from the first byte at `p` that is not copied as
    // it is. Out of line: rare.
    __attribute__((noinline)) void escaped_text(const uchar *start, const uchar *p, const uchar *e,
                                                bool key) {
        put('"');
        const uchar *run = start;
        for (; p != e; p = scan_special(p, e, start)) {
            if (*p >= 0x80) {
                if (size_t k = utf8_seq_len(p, e)) {
                    p += k;
                    continue;
                }
            }
            put(reinterpret_cast<const char *>(run), static_cast<size_t>(p - run));
            escape(*p);
            run = ++p;
        }
        put(reinterpret_cast<const char *>(run), static_cast<size_t>(e - run));
        put('"');
        if (key)
            put(pretty_ ? ": " : ":", pretty_ ? 2 : 1);
    }

    // memcpy, with short texts (most keys and values) copied in two moves
    // that may overlap instead of a call.
    static void copy_text(char *w, const char *s, size_t n) {
        const uchar *p = reinterpret_cast<const uchar *>(s);
        if (n >= 16) {
            std::memcpy(w, s, n);
        } else if (n >= 8) {
            uint64_t a = load<uint64_t>(p), b = load<uint64_t>(p + n - 8);
            std::memcpy(w, &a, 8);
            std::memcpy(w + n - 8, &b, 8);
        } else if (n >= 4) {
            uint32_t a = load<uint32_t>(p), b = load<uint32_t>(p + n - 4);
            std::memcpy(w, &a, 4);
            std::memcpy(w + n - 4, &b, 4);
        } else {
            for (size_t i = 0; i < n; ++i)
                w[i] = s[i];
        }
    }

    // The escaped form of byte `c`. Out of line: rare, and text() is inlined.
    __attribute__((noinline)) void escape(uchar c) {
        char buf[JSON_ESCAPE_MAX];
        put(buf, static_cast<size_t>(json_escape(c, buf) - buf));
    }

    void integer(uint64_t v, bool neg) { done(write_integer(room(NUMBER_TEXT_MAX), v, neg)); }

    void real(double x) {
        if (!std::isfinite(x))
            return put("null"); // only when lossy: run() refused the tree otherwise
        // "1" would read back as an integer.
        done(write_real_text(room(NUMBER_TEXT_MAX), x, true));
    }

    void date(const Node *n) {
        int64_t unix_sec =
            (n->flags & NODE_EXACT) ? n->v.date.unix_sec : date_to_unix_seconds(n->v.date.since_2001);
        char *w = room(ISO8601_MAX + 2);
        *w++ = '"';
        w = format_iso8601(unix_sec, w);
        *w++ = '"';
        done(w);
    }

    void data(const Node *node) {
        size_t n;
        const char *p = node_text(node, &n);
        uint64_t total = base64_size(n) + 2;
        if (total > MAX_OUT)
            throw TooLarge();
        char *w = room(static_cast<size_t>(total));
        *w++ = '"';
        w = base64_encode(reinterpret_cast<const uchar *>(p), n, w);
        *w++ = '"';
        done(w);
    }

    void uid(uint64_t v, size_t depth) {
        put('{');
        if (pretty_)
            newline(depth + 1);
        put(UID_KEY);
        if (pretty_)
            put(": ", 2);
        else
            put(':');
        integer(v, false);
        if (pretty_)
            newline(depth);
        put('}');
    }

    // The fewest bytes `n` is written in, its children aside.
    static uint64_t min_size(const Node *n) {
        size_t tn;
        switch (n->type) {
        case ORVEX_BOOLEAN:
        case ORVEX_NULL:
            return 4;
        case ORVEX_REAL:
            return 3; // "0.0", or null
        case ORVEX_STRING:
        case ORVEX_KEY:
            node_text(n, &tn);
            return tn + 2;
        case ORVEX_DATA:
            node_text(n, &tn);
            return base64_size(tn) + 2;
        case ORVEX_DATE:
            return 22; // "2001-01-01T00:00:00Z"
        case ORVEX_UID:
            return 12; // {"CF$UID":0}
        default:
            return 1; // an integer, or a container's opening bracket
        }
    }

    // A lower bound of the output, from a walk over the tree: one byte for
    // each value and the comma or bracket after it, text at its raw length
    // in quotes, keys with their colon, and in pretty text each line's
    // indentation, which grows with the square of the depth. It sizes the
    // buffer at once, as the many regrowths of a growing buffer cost more
    // than the walk, and turns a document past 2^32-1 bytes, or one with a
    // node without a JSON form, away before any memory is taken for it.
    void reserve(const Node *root) {
        uint64_t total = 0;
        const Node *bad = nullptr;
        walk(root, stack_, [&](const Node *n, size_t depth, const DictEntry *e) {
            if (!lossy_ && !has_json_form(n)) {
                bad = n;
                return false;
            }
            uint64_t s = 1 + min_size(n);
            if (e)
                s += e->klen + 3;
            if (pretty_ && depth)
                s += 1 + (e ? 1 : 0) + 2 * uint64_t(depth);
            total += s;
            return total <= MAX_OUT;
        });
        stack_.clear();
        if (bad)
            throw Refused{bad};
        // Numbers and escapes take more: a little slack saves a regrowth.
        TextOut::reserve(total, 8);
    }

    // Writes `n` at `depth`; a container with children is opened and pushed.
    void value(const Node *n, size_t depth) {
        switch (n->type) {
        case ORVEX_BOOLEAN:
            if (n->v.b)
                return put("true");
            return put("false");
        case ORVEX_INT:
            return integer(n->v.u, int_is_negative(n));
        case ORVEX_REAL:
            return real(n->v.r);
        case ORVEX_STRING:
        case ORVEX_KEY: {
            size_t tn;
            const char *t = node_text(n, &tn);
            return text(t, tn);
        }
        case ORVEX_DATE:
            return date(n);
        case ORVEX_DATA:
            return data(n);
        case ORVEX_UID:
            return uid(n->v.u, depth);
        case ORVEX_ARRAY:
        case ORVEX_DICT: {
            bool dict = n->type == ORVEX_DICT;
            if (!has_children(n))
                return put(dict ? "{}" : "[]", 2);
            put(dict ? '{' : '[');
            stack_.push_back({n, 0, false});
            order_.opened(n);
            return;
        }
        default:
            return put("null");
        }
    }
};

} // namespace

const Node *json_unwritable(const Node *root) {
    std::vector<Frame> stack;
    const Node *bad = nullptr;
    walk(root, stack, [&](const Node *n, size_t, const DictEntry *) {
        if (has_json_form(n))
            return true;
        bad = n;
        return false;
    });
    return bad;
}

orvex_err_t json_write(const Node *root, Output &out, uint32_t *length, uint32_t flags) {
    *length = 0;
    const Node *bad = nullptr;
    auto run = [&](auto order) {
        Writer<decltype(order)> w(out, flags);
        try {
            w.run(root);
            *length = w.length();
        } catch (const Refused &r) {
            bad = r.node;
        }
    };
    orvex_err_t e = writing_boundary([&] {
        if (flags & ORVEX_WRITE_SORTED)
            run(KeyOrder());
        else
            run(StoreOrder());
    });
    return e == ORVEX_ERR_SUCCESS && bad ? ORVEX_ERR_FORMAT : e;
}

} // namespace orvex_store
