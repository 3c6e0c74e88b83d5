// JSON writer: compact, or with ORVEX_JSON_PRETTY one entry per line,
// indented by two spaces (and a final newline). Entries in store order.
// Iterative, so any depth is safe; a first walk over the tree sums a lower
// bound of the output size, which sizes the buffer, turns a document past
// 2^32-1 bytes away and finds a node that has no JSON form, all before
// anything is written.
//
// What it writes:
// - integers exactly (negative signed values with their sign, everything
//   else as unsigned decimal); reals in the shortest text that reads back to
//   the same double, always with a '.' or an exponent so that they read back
//   as reals ("1.0", "-0.0", "1e+300");
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
#include "codecs/xml_shared.hpp"
#include "text/base64.hpp"
#include "text/dates.hpp"

namespace orvex_store {
namespace {

using uchar = unsigned char;

constexpr size_t MAX_OUT = UINT32_MAX; // longest document, its NUL aside
constexpr size_t NUMBER_MAX = 32;      // more than any number's text, ".0" included
constexpr uint32_t KNOWN_FLAGS = ORVEX_JSON_PRETTY | ORVEX_JSON_LOSSY;

template <size_t N> constexpr size_t len(const char (&)[N]) { return N - 1; }

constexpr char UID_KEY[] = "\"CF$UID\"";
// Shortest texts: a real ("0.0"), a date in quotes, a compact UID ({"CF$UID":0}).
constexpr size_t REAL_MIN = len("0.0");
constexpr size_t DATE_MIN = len("\"2001-01-01T00:00:00Z\"");
constexpr size_t UID_MIN = len("{\"CF$UID\":0}");

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

struct Frame {
    const Node *n;
    uint32_t i;
    bool any; // a child was written
};

// The next child of the container a walk stands in; `*entry` is the child's
// entry in a dictionary. Null when the container is exhausted.
const Node *next_child(Frame &f, const DictEntry **entry) {
    if (f.n->type == ORVEX_ARRAY)
        return f.i < f.n->v.arr.size ? f.n->v.arr.items[f.i++] : nullptr;
    const DictBody *d = f.n->v.dict;
    const DictEntry *end = d->entries + d->used, *e = next_live(d->entries + f.i, end);
    if (e == end)
        return nullptr;
    f.i = static_cast<uint32_t>(e - d->entries) + 1;
    *entry = e;
    return e->val;
}

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
        const Node *c = next_child(f, &e);
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

class Writer {
  public:
    Writer(Output &out, uint32_t flags)
        : out_(out), pretty_(flags & ORVEX_JSON_PRETTY), lossy_(flags & ORVEX_JSON_LOSSY) {}

    // Writes the tree, or returns the node that has no JSON form.
    const Node *run(const Node *root) {
        if (const Node *bad = reserve_for(root))
            return bad;
        value(root, 0);
        while (!stack_.empty()) {
            Frame &f = stack_.back();
            size_t depth = stack_.size();
            const DictEntry *e = nullptr;
            const Node *c = next_child(f, &e);
            if (c) {
                if (f.any)
                    put(',');
                f.any = true;
                if (pretty_)
                    newline(depth);
                if (e) {
                    text(e->key(), e->klen);
                    if (pretty_)
                        put(": ", 2);
                    else
                        put(':');
                }
                value(c, depth); // may push: `f` is not used past here
                continue;
            }
            char close = f.n->type == ORVEX_DICT ? '}' : ']';
            stack_.pop_back();
            if (pretty_)
                newline(depth - 1);
            put(close);
        }
        if (pretty_)
            put('\n');
        room(0);
        buf_[len_] = 0;
        return nullptr;
    }

    uint32_t length() const { return static_cast<uint32_t>(len_); }

  private:
    Output &out_;
    const bool pretty_, lossy_;
    char *buf_ = nullptr; // out_'s memory
    size_t len_ = 0, cap_ = 0;
    std::vector<Frame> stack_;

    // A pointer to room for `n` more bytes, with one kept for the final NUL.
    char *room(size_t n) {
        if (cap_ - len_ > n)
            return buf_ + len_;
        if (n > MAX_OUT - len_)
            throw TooLarge();
        size_t need = len_ + n + 1;
        size_t cap = cap_ ? cap_ * 2 : 4096;
        if (cap < need)
            cap = need;
        if (cap > MAX_OUT + 1)
            cap = MAX_OUT + 1;
        buf_ = out_.resize(cap);
        cap_ = cap;
        return buf_ + len_;
    }

    void done(char *w) { len_ = static_cast<size_t>(w - buf_); }

    void put(char c) {
        *room(1) = c;
        ++len_;
    }

    void put(const char *s, size_t n) {
        std::memcpy(room(n), s, n);
        len_ += n;
    }

    template <size_t N> void put(const char (&lit)[N]) { put(lit, N - 1); }

    void newline(size_t depth) {
        if (depth > (MAX_OUT - 1) / 2)
            throw TooLarge();
        char *w = room(1 + 2 * depth);
        *w++ = '\n';
        std::memset(w, ' ', 2 * depth);
        done(w + 2 * depth);
    }

    // A string: the text in quotes, escaped where JSON needs it.
    void text(const char *s, size_t n) {
        put('"');
        const uchar *p = reinterpret_cast<const uchar *>(s), *e = p + n, *run = p;
        while ((p = scan_for<'"', '\\', '"', 0x20>(p, e)) != e) {
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
    }

    // The escaped form of byte `c`. Out of line: rare, and text() is inlined.
    __attribute__((noinline)) void escape(uchar c) {
        static const char SHORT[] = "btn\0fr"; // escapes of 0x08 to 0x0D, 0x0B aside
        if (c == '"' || c == '\\') {
            char two[2] = {'\\', static_cast<char>(c)};
            put(two, 2);
        } else if (c >= 0x80) {
            put("\xEF\xBF\xBD"); // not UTF-8: U+FFFD in its place
        } else if (c >= 0x08 && c <= 0x0D && c != 0x0B) {
            char two[2] = {'\\', SHORT[c - 0x08]};
            put(two, 2);
        } else {
            static const char HEX[] = "0123456789abcdef";
            char u[6] = {'\\', 'u', '0', '0', HEX[c >> 4], HEX[c & 15]};
            put(u, 6);
        }
    }

    void integer(uint64_t v, bool neg) {
        char *w = room(NUMBER_MAX);
        if (neg) {
            *w++ = '-';
            v = uint64_t(0) - v;
        }
        done(std::to_chars(w, w + NUMBER_MAX - 1, v).ptr);
    }

    void real(double x) {
        if (!std::isfinite(x))
            return put("null"); // only when lossy: run() refused the tree otherwise
        char *s = room(NUMBER_MAX), *w = std::to_chars(s, s + NUMBER_MAX - 2, x).ptr;
        // "1" would read back as an integer.
        bool plain = true;
        for (char *c = s; c < w; ++c)
            if (*c == '.' || *c == 'e')
                plain = false;
        if (plain) {
            *w++ = '.';
            *w++ = '0';
        }
        done(w);
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
            return;
        }
        default:
            return put("null");
        }
    }

    // Lower bound of a value's output, its children aside, with what stands
    // before it in its container (comma or bracket, line and key).
    uint64_t value_size(const Node *n, size_t depth, const DictEntry *e) const {
        uint64_t s = 0;
        if (depth) {
            s += 1; // the comma before it, or its container's closing bracket
            if (pretty_)
                s += 1 + 2 * uint64_t(depth);
        }
        if (e)
            s += e->klen + 3 + (pretty_ ? 1 : 0);
        size_t tn;
        switch (n->type) {
        case ORVEX_BOOLEAN:
            return s + (n->v.b ? 4 : 5);
        case ORVEX_INT:
            return s + 1;
        case ORVEX_REAL:
            return s + REAL_MIN;
        case ORVEX_STRING:
        case ORVEX_KEY:
            node_text(n, &tn);
            return s + tn + 2;
        case ORVEX_DATE:
            return s + DATE_MIN;
        case ORVEX_DATA:
            node_text(n, &tn);
            return s + base64_size(tn) + 2;
        case ORVEX_UID:
            return s + UID_MIN;
        case ORVEX_ARRAY:
        case ORVEX_DICT:
            if (!has_children(n))
                return s + 2;
            return s + 1 + (pretty_ ? 1 + 2 * uint64_t(depth) : 0);
        default:
            return s + 4;
        }
    }

    // Sizes the buffer from a lower bound of the output; returns the first
    // node without a JSON form when the tree is not written lossily.
    const Node *reserve_for(const Node *root) {
        uint64_t total = pretty_ ? 1 : 0;
        const Node *bad = nullptr;
        walk(root, stack_, [&](const Node *n, size_t depth, const DictEntry *e) {
            if (!lossy_ && !has_json_form(n)) {
                bad = n;
                return false;
            }
            total += value_size(n, depth, e);
            return total <= MAX_OUT;
        });
        if (bad)
            return bad;
        if (total > MAX_OUT)
            throw TooLarge();
        // Text usually needs few escapes: a little slack saves a regrowth.
        uint64_t want = total + total / 16 + 64;
        if (want > MAX_OUT + 1)
            want = MAX_OUT + 1;
        buf_ = out_.resize(want);
        cap_ = static_cast<size_t>(want);
        return nullptr;
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
    if (flags & ~KNOWN_FLAGS)
        return ORVEX_ERR_INVALID_ARG;
    const Node *bad = nullptr;
    orvex_err_t e = writing_boundary([&] {
        Writer w(out, flags);
        bad = w.run(root);
        if (!bad)
            *length = w.length();
    });
    return e == ORVEX_ERR_SUCCESS && bad ? ORVEX_ERR_FORMAT : e;
}

} // namespace orvex_store
