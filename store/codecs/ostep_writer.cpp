// OpenStep text writer: one entry per line, tab-indented, entries in store
// order, UTF-8 without a byte-order mark. Iterative, so any depth is safe; a
// first walk refuses a tree holding a UID or a null node (the format has no
// form for either) before anything is written, and sizes the buffer.
//
// What it writes:
// - strings and keys bare when they are made only of the unquoted
//   characters (A-Z a-z 0-9 _ $ + / : . -) and do not start a comment;
//   otherwise in double quotes, with \" \\ \n \t \r and \ooo for other
//   control characters (NUL included, so it reads back). Bytes that are not
//   UTF-8 (only possible through the C interface) become U+FFFD;
// - data as <0fbd7777 00112233>, four bytes to a group;
// - integers, reals, booleans and dates as text, which reads back as
//   strings: integers in decimal, reals in the shortest form that reads
//   back to the same double ("nan", "inf", "-inf" for the others), booleans
//   as YES and NO, dates as "2001-01-01 00:00:00 +0000"; or, with
//   ORVEX_OSTEP_TYPED, in the GNUstep typed forms <*I12>, <*R1.5>, <*BY>,
//   <*BN> and <*D2001-01-01 00:00:00 +0000>, which read back as what they
//   were. Dates lose their fraction of a second either way, as in XML (the
//   second written is the one orvex_get_unix_date_val reads);
// - a key node standing as a value as a string.
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "codecs/codecs.hpp"
#include "codecs/xml_shared.hpp"
#include "text/dates.hpp"

namespace orvex_store {
namespace {

using uchar = unsigned char;

constexpr size_t MAX_OUT = UINT32_MAX; // longest document, its NUL aside
constexpr size_t NUMBER_MAX = 32;      // room for any integer or real's text
// A date's text: the ISO 8601 text with a blank for the 'T' and a zone for the 'Z'.
constexpr size_t DATE_MAX = ISO8601_MAX + 8;

struct Bare {
    bool ok[256];
    constexpr Bare() : ok() {
        for (int c = 0; c < 256; ++c)
            ok[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                    c == '$' || c == '+' || c == '/' || c == ':' || c == '.' || c == '-';
    }
};
inline constexpr Bare BARE;

constexpr char HEX[] = "0123456789abcdef";

// Whether text can be written without quotes and read back as it is.
bool bare(const char *s, size_t n) {
    if (n == 0 || (n > 1 && s[0] == '/' && (s[1] == '/' || s[1] == '*')))
        return false;
    for (size_t i = 0; i < n; ++i)
        if (!BARE.ok[static_cast<uchar>(s[i])])
            return false;
    return true;
}

class Writer {
  public:
    Writer(Output &out, bool typed) : out_(out), typed_(typed) {}

    // False, with nothing written, when the tree holds a UID or a null node.
    bool run(const Node *root) {
        if (!reserve_for(root))
            return false;
        value(root, '\n');
        while (!stack_.empty()) {
            Frame &f = stack_.back();
            size_t depth = stack_.size();
            const DictEntry *e = nullptr;
            char term = 0;
            const Node *c = next_child(f, &e, &term);
            if (c) {
                indent(depth);
                if (e) {
                    text(e->key(), e->klen);
                    put(" = ", 3);
                }
                value(c, term); // may push: `f` is not used past here
                continue;
            }
            bool dict = f.n->type == ORVEX_DICT;
            char closing = f.term;
            stack_.pop_back();
            indent(depth - 1);
            put(dict ? '}' : ')');
            end_line(closing);
        }
        room(0);
        buf_[len_] = 0;
        return true;
    }

    uint32_t length() const { return static_cast<uint32_t>(len_); }

  private:
    struct Frame {
        const Node *n;
        uint32_t i;
        char term; // what follows the container's closing bracket
    };

    Output &out_;
    bool typed_;
    char *buf_ = nullptr;
    size_t len_ = 0, cap_ = 0;
    std::vector<Frame> stack_;

    // The next child of the container on top, with its entry in a
    // dictionary and what ends its line: ';' in a dictionary, ',' between
    // array items, nothing after the last.
    static const Node *next_child(Frame &f, const DictEntry **entry, char *term) {
        if (f.n->type == ORVEX_ARRAY) {
            if (f.i >= f.n->v.arr.size)
                return nullptr;
            *term = f.i + 1 < f.n->v.arr.size ? ',' : '\n';
            return f.n->v.arr.items[f.i++];
        }
        const DictBody *d = f.n->v.dict;
        const DictEntry *end = d->entries + d->used, *e = next_live(d->entries + f.i, end);
        if (e == end)
            return nullptr;
        f.i = static_cast<uint32_t>(e - d->entries) + 1;
        *entry = e;
        *term = ';';
        return e->val;
    }

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

    void put(const char *s, size_t n) {
        std::memcpy(room(n), s, n);
        len_ += n;
    }

    void put(char c) {
        *room(1) = c;
        ++len_;
    }

    void indent(size_t depth) {
        std::memset(room(depth), '\t', depth);
        len_ += depth;
    }

    void end_line(char term) {
        if (term != '\n') {
            char *w = room(2);
            w[0] = term;
            w[1] = '\n';
            len_ += 2;
        } else {
            put('\n');
        }
    }

    // A string or key, bare or quoted.
    void text(const char *s, size_t n) {
        if (bare(s, n))
            return put(s, n);
        put('"');
        const uchar *p = reinterpret_cast<const uchar *>(s), *e = p + n, *run = p;
        while ((p = scan_for<'"', '\\', 0x7F, 0x20>(p, e)) != e) {
            if (*p >= 0x80) {
                if (size_t seq = utf8_seq_len(p, e)) {
                    p += seq;
                    continue;
                }
            }
            put(reinterpret_cast<const char *>(run), static_cast<size_t>(p - run));
            escape(*p);
            p = run = p + 1;
        }
        put(reinterpret_cast<const char *>(run), static_cast<size_t>(e - run));
        put('"');
    }

    // The escaped form of byte `c`, which scan_for stopped at.
    [[gnu::noinline]] void escape(uchar c) {
        char esc[4] = {'\\', 0, 0, 0};
        switch (c) {
        case '"':
        case '\\':
            esc[1] = static_cast<char>(c);
            return put(esc, 2);
        case '\n':
            esc[1] = 'n';
            return put(esc, 2);
        case '\t':
            esc[1] = 't';
            return put(esc, 2);
        case '\r':
            esc[1] = 'r';
            return put(esc, 2);
        default:
            break;
        }
        if (c >= 0x80)
            return put("\xEF\xBF\xBD", 3); // not UTF-8: U+FFFD in its place
        esc[1] = static_cast<char>('0' + (c >> 6));
        esc[2] = static_cast<char>('0' + ((c >> 3) & 7));
        esc[3] = static_cast<char>('0' + (c & 7));
        put(esc, 4);
    }

    // A scalar's text, typed when asked: `<*T` before it and '>' after.
    template <class Fill> void scalar(char type, size_t max, Fill fill) {
        char *w = room(max + 4);
        if (typed_) {
            w[0] = '<';
            w[1] = '*';
            w[2] = type;
            w += 3;
        }
        w = fill(w);
        if (typed_)
            *w++ = '>';
        done(w);
    }

    void integer(const Node *n) {
        scalar('I', NUMBER_MAX, [&](char *w) {
            uint64_t v = n->v.u;
            if (int_is_negative(n)) {
                *w++ = '-';
                v = uint64_t(0) - v;
            }
            return std::to_chars(w, w + NUMBER_MAX, v).ptr;
        });
    }

    void real(double x) {
        scalar('R', NUMBER_MAX, [&](char *w) {
            if (std::isnan(x)) {
                std::memcpy(w, "nan", 3);
                return w + 3;
            }
            if (std::isinf(x)) {
                std::memcpy(w, x < 0 ? "-inf" : "inf", x < 0 ? 4 : 3);
                return w + (x < 0 ? 4 : 3);
            }
            return std::to_chars(w, w + NUMBER_MAX, x).ptr;
        });
    }

    void boolean(bool b) {
        if (typed_)
            return put(b ? "<*BY>" : "<*BN>", 5);
        put(b ? "YES" : "NO", b ? 3 : 2);
    }

    void date(const Node *n) {
        int64_t unix_sec =
            (n->flags & NODE_EXACT) ? n->v.date.unix_sec : date_to_unix_seconds(n->v.date.since_2001);
        if (!typed_)
            put('"');
        scalar('D', DATE_MAX, [&](char *w) {
            char *s = w, *e = format_iso8601(unix_sec, w);
            // YYYY-MM-DDTHH:MM:SSZ, the year perhaps signed and longer.
            for (char *c = s; c < e; ++c)
                if (*c == 'T')
                    *c = ' ';
            std::memcpy(e - 1, " +0000", 6);
            return e + 5;
        });
        if (!typed_)
            put('"');
    }

    void data(const Node *node) {
        size_t n;
        const uchar *p = reinterpret_cast<const uchar *>(node_text(node, &n));
        if (n > (MAX_OUT - 2) / 9 * 4)
            throw TooLarge();
        char *w = room(n * 2 + n / 4 + 2);
        *w++ = '<';
        for (size_t i = 0; i < n; ++i) {
            if (i && i % 4 == 0)
                *w++ = ' ';
            *w++ = HEX[p[i] >> 4];
            *w++ = HEX[p[i] & 15];
        }
        *w++ = '>';
        done(w);
    }

    // Writes `n` (its line's indentation and key are written) and what ends
    // its line; a container with children is opened and pushed.
    void value(const Node *n, char term) {
        switch (n->type) {
        case ORVEX_BOOLEAN:
            boolean(n->v.b);
            break;
        case ORVEX_INT:
            integer(n);
            break;
        case ORVEX_REAL:
            real(n->v.r);
            break;
        case ORVEX_DATE:
            date(n);
            break;
        case ORVEX_DATA:
            data(n);
            break;
        case ORVEX_ARRAY:
        case ORVEX_DICT: {
            bool dict = n->type == ORVEX_DICT;
            if (dict ? dict_live(n) == 0 : n->v.arr.size == 0) {
                put(dict ? "{}" : "()", 2);
                break;
            }
            put(dict ? "{\n" : "(\n", 2);
            stack_.push_back({n, 0, term});
            return;
        }
        default: { // strings and keys; the first walk let nothing else through
            size_t tn;
            const char *t = node_text(n, &tn);
            text(t, tn);
            break;
        }
        }
        end_line(term);
    }

    // Lower bound of a value's output, its children aside.
    static uint64_t value_size(const Node *n) {
        size_t tn = 0;
        switch (n->type) {
        case ORVEX_STRING:
        case ORVEX_KEY:
            node_text(n, &tn);
            return tn + 2;
        case ORVEX_DATA:
            node_text(n, &tn);
            return uint64_t(tn) * 2 + tn / 4 + 3;
        case ORVEX_ARRAY:
        case ORVEX_DICT:
            return 4;
        default:
            return 3;
        }
    }

    // Walks the tree: false at a UID or null node; else sizes the buffer.
    bool reserve_for(const Node *root) {
        uint64_t total = 1;
        bool ok = true;
        auto visit = [&](const Node *n, size_t depth) {
            if (n->type == ORVEX_UID || n->type == ORVEX_NULL)
                ok = false;
            total += depth + value_size(n);
            if ((n->type == ORVEX_ARRAY && n->v.arr.size) || (n->type == ORVEX_DICT && dict_live(n)))
                stack_.push_back({n, 0, 0});
        };
        visit(root, 0);
        while (ok && !stack_.empty()) {
            Frame &f = stack_.back();
            size_t depth = stack_.size();
            const DictEntry *e = nullptr;
            char term;
            const Node *c = next_child(f, &e, &term);
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
        if (total > MAX_OUT)
            throw TooLarge();
        uint64_t want = total + total / 8 + 64;
        if (want > MAX_OUT + 1)
            want = MAX_OUT + 1;
        buf_ = out_.resize(want);
        cap_ = static_cast<size_t>(want);
        return true;
    }
};

} // namespace

orvex_err_t ostep_write(const Node *root, Output &out, uint32_t *length, uint32_t flags) {
    *length = 0;
    if (flags & ~uint32_t(ORVEX_OSTEP_TYPED))
        return ORVEX_ERR_INVALID_ARG;
    bool writable = true;
    orvex_err_t e = writing_boundary([&] {
        Writer w(out, (flags & ORVEX_OSTEP_TYPED) != 0);
        writable = w.run(root);
        if (writable)
            *length = w.length();
    });
    return e == ORVEX_ERR_SUCCESS && !writable ? ORVEX_ERR_FORMAT : e;
}

} // namespace orvex_store
