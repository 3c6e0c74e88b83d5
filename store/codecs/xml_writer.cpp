// XML writer: the standard document (declaration, DOCTYPE, <plist>), one
// element per line, tab-indented, entries in store order. Iterative, so any
// depth is safe; a first walk over the tree sums a lower bound of the output
// size, which sizes the buffer and turns a document past 2^32-1 bytes away
// before anything is written.
//
// What it writes, and what the format loses:
// - integers: negative signed values with their sign, everything else as
//   unsigned decimal (2^63 to 2^64-1 stay unsigned when read back);
// - reals: the shortest text that reads back to the same double, "-0.0"
//   included; NaN and infinities as "nan", "inf" and "-inf", which the common
//   readers take;
// - text: '<', '>', '&' as entities; CR as a character reference, so
//   line-end normalisation leaves it alone; control characters other than
//   TAB and LF, and U+FFFE and U+FFFF, as character references too. XML 1.0
//   has no form at all for those: our reader takes the references back,
//   other readers refuse them. Bytes that are not UTF-8 (only possible
//   through the C interface) become U+FFFD: such text could not be read back;
// - dates: only the standard form, whole seconds, years outside 0000-9999
//   with a sign, as other readers take nothing else. Lost: the fraction of a
//   second (the second written is the one orvex_get_unix_date_val reads,
//   rounded toward negative infinity); a date that is NaN, infinite or at
//   least 9e18 seconds from 2001 is written clamped the same way;
// - UIDs as {CF$UID: integer}. Lost: a dictionary of just that form with a
//   non-negative integer (only from a binary document) reads back as a UID;
// - null nodes as <null/>, which other readers reject, but silently dropping
//   or retyping the value would be worse; a key node standing as a value as
//   <key>.
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "codecs/codecs.hpp"
#include "text/dates.hpp"
#include "codecs/xml_shared.hpp"
#include "text/base64.hpp"

namespace orvex_store {
namespace {

using uchar = unsigned char;

constexpr size_t MAX_OUT = UINT32_MAX; // longest document, its NUL aside

struct Fail {
    orvex_err_t code;
};

constexpr char HEADER[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                          "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                          "<plist version=\"1.0\">\n";
constexpr char FOOTER[] = "</plist>\n";


// Base64 digits per line of data at `depth`: the line, tabs counted as eight
// columns, stays within 76 columns while that leaves at least 16 digits.
size_t b64_width(size_t depth) {
    size_t cols = depth < 8 ? 76 - 8 * depth : 16;
    if (cols < 16)
        cols = 16;
    return cols / 4 * 4;
}

uint64_t b64_len(uint64_t n) { return (n + 2) / 3 * 4; }

// Bytes of a data element at `depth`: tags, lines and their indentation.
uint64_t data_size(uint64_t n, size_t depth) {
    if (n == 0)
        return 2 * uint64_t(depth) + 15;
    uint64_t chars = b64_len(n), width = b64_width(depth);
    uint64_t lines = (chars + width - 1) / width;
    return (depth + 7) + chars + lines * (depth + 1) + (depth + 8);
}

class Writer {
  public:
    ~Writer() { std::free(buf_); }

    void run(const Node *root) {
        reserve_for(root);
        put(HEADER, sizeof HEADER - 1);
        value(root, 0);
        while (!stack_.empty()) {
            Frame &f = stack_.back();
            size_t depth = stack_.size();
            const DictEntry *e = nullptr;
            const Node *c = next_child(f, &e);
            if (e)
                text_line(depth, "<key>", 5, e->key(), e->klen, "</key>\n", 7);
            if (c) {
                value(c, depth); // may push: `f` is not used past here
                continue;
            }
            bool dict = f.n->type == ORVEX_DICT;
            stack_.pop_back();
            line(depth - 1, dict ? "</dict>\n" : "</array>\n", dict ? 8 : 9);
        }
        put(FOOTER, sizeof FOOTER - 1);
        room(0);
        buf_[len_] = 0;
    }

    char *take(uint32_t *length) {
        char *b = buf_;
        *length = static_cast<uint32_t>(len_);
        buf_ = nullptr;
        return b;
    }

  private:
    struct Frame {
        const Node *n;
        uint32_t i;
    };

    char *buf_ = nullptr;
    size_t len_ = 0, cap_ = 0;
    std::vector<Frame> stack_;

    // The next child of the container a walk stands in, skipping removed
    // dictionary entries; `*entry` is the child's entry in a dictionary.
    // Null when the container is exhausted.
    static const Node *next_child(Frame &f, const DictEntry **entry) {
        if (f.n->type == ORVEX_ARRAY)
            return f.i < f.n->v.arr.size ? f.n->v.arr.items[f.i++] : nullptr;
        const DictBody *d = f.n->v.dict;
        while (f.i < d->used && !d->entries[f.i].val)
            ++f.i;
        if (f.i >= d->used)
            return nullptr;
        *entry = &d->entries[f.i++];
        return (*entry)->val;
    }

    // A pointer to room for `n` more bytes, with one kept for the final NUL.
    char *room(size_t n) {
        if (cap_ - len_ > n)
            return buf_ + len_;
        if (n > MAX_OUT - len_)
            throw Fail{ORVEX_ERR_LIMIT};
        size_t need = len_ + n + 1;
        size_t cap = cap_ ? cap_ * 2 : 4096;
        if (cap < need)
            cap = need;
        if (cap > MAX_OUT + 1)
            cap = MAX_OUT + 1;
        char *b = static_cast<char *>(std::realloc(buf_, cap));
        if (!b)
            throw Fail{ORVEX_ERR_NO_MEM};
        buf_ = b;
        cap_ = cap;
        return buf_ + len_;
    }

    void put(const char *s, size_t n) {
        std::memcpy(room(n), s, n);
        len_ += n;
    }

    // Indentation and a fixed text.
    void line(size_t depth, const char *s, size_t n) {
        char *o = room(depth + n);
        std::memset(o, '\t', depth);
        std::memcpy(o + depth, s, n);
        len_ += depth + n;
    }

    void text_line(size_t depth, const char *open, size_t on, const char *t, size_t tn, const char *close,
                   size_t cn) {
        line(depth, open, on);
        text(t, tn);
        put(close, cn);
    }

    // Character data, escaped so that it reads back byte for byte.
    void text(const char *s, size_t n) {
        const uchar *p = reinterpret_cast<const uchar *>(s), *e = p + n, *run = p;
        for (;;) {
            const uchar *q = scan_to_escape(p, e);
            if (q == e)
                break;
            uchar c = *q;
            if (c == '\t' || c == '\n') {
                p = q + 1;
                continue;
            }
            size_t seq = c >= 0x80 ? utf8_seq_len(q, e) : 0;
            // U+FFFE and U+FFFF (EF BF BE/BF) are no XML characters.
            bool nonchar = seq == 3 && c == 0xEF && q[1] == 0xBF && q[2] >= 0xBE;
            if (seq && !nonchar) {
                p = q + seq;
                continue;
            }
            put(reinterpret_cast<const char *>(run), static_cast<size_t>(q - run));
            if (nonchar) {
                put(q[2] == 0xBE ? "&#xFFFE;" : "&#xFFFF;", 8);
                p = run = q + 3;
                continue;
            }
            switch (c) {
            case '<':
                put("&lt;", 4);
                break;
            case '>':
                put("&gt;", 4);
                break;
            case '&':
                put("&amp;", 5);
                break;
            default:
                if (c >= 0x80) {
                    put("\xEF\xBF\xBD", 3);
                } else {
                    char ref[8] = {'&', '#'};
                    size_t k = 2;
                    if (c >= 10)
                        ref[k++] = static_cast<char>('0' + c / 10);
                    ref[k++] = static_cast<char>('0' + c % 10);
                    ref[k++] = ';';
                    put(ref, k);
                }
            }
            p = run = q + 1;
        }
        put(reinterpret_cast<const char *>(run), static_cast<size_t>(e - run));
    }

    void uint_line(size_t depth, uint64_t v, bool neg) {
        char *o = room(depth + 48);
        std::memset(o, '\t', depth);
        char *w = o + depth;
        std::memcpy(w, "<integer>", 9);
        w += 9;
        if (neg) {
            *w++ = '-';
            v = uint64_t(0) - v;
        }
        w = std::to_chars(w, w + 20, v).ptr;
        std::memcpy(w, "</integer>\n", 11);
        len_ = static_cast<size_t>(w + 11 - buf_);
    }

    void real_line(size_t depth, double x) {
        char *o = room(depth + 48);
        std::memset(o, '\t', depth);
        char *w = o + depth;
        std::memcpy(w, "<real>", 6);
        w += 6;
        if (std::isnan(x)) {
            std::memcpy(w, "nan", 3);
            w += 3;
        } else if (std::isinf(x)) {
            size_t k = x < 0 ? 4 : 3;
            std::memcpy(w, x < 0 ? "-inf" : "inf", k);
            w += k;
        } else {
            char *s = w;
            w = std::to_chars(w, w + 32, x).ptr;
            // "1" reads as a real everywhere, but "1.0" says what it is.
            bool plain = true;
            for (char *c = s; c < w; ++c)
                if (*c == '.' || *c == 'e')
                    plain = false;
            if (plain) {
                std::memcpy(w, ".0", 2);
                w += 2;
            }
        }
        std::memcpy(w, "</real>\n", 8);
        len_ = static_cast<size_t>(w + 8 - buf_);
    }

    void date_line(size_t depth, const Node *n) {
        // Other readers take whole seconds only, so the fraction goes: the
        // same second that orvex_get_unix_date_val reads.
        int64_t unix_sec = (n->flags & NODE_EXACT) ? n->v.date.unix_sec : date_to_unix_seconds(n->v.date.since_2001);
        char *o = room(depth + 15 + ISO8601_MAX);
        std::memset(o, '\t', depth);
        char *w = o + depth;
        std::memcpy(w, "<date>", 6);
        w = format_iso8601(unix_sec, w + 6);
        std::memcpy(w, "</date>\n", 8);
        len_ = static_cast<size_t>(w + 8 - buf_);
    }

    void data_block(size_t depth, const char *p, uint64_t n) {
        if (n == 0) {
            line(depth, "<data>\n", 7);
            line(depth, "</data>\n", 8);
            return;
        }
        uint64_t total = data_size(n, depth);
        if (total > MAX_OUT)
            throw Fail{ORVEX_ERR_LIMIT};
        char *w = room(static_cast<size_t>(total));
        char *start = w;
        std::memset(w, '\t', depth);
        w += depth;
        std::memcpy(w, "<data>\n", 7);
        w += 7;
        const uchar *s = reinterpret_cast<const uchar *>(p), *e = s + n;
        size_t per_line = b64_width(depth) / 4 * 3;
        while (s < e) {
            std::memset(w, '\t', depth);
            w += depth;
            size_t chunk = static_cast<size_t>(e - s) < per_line ? static_cast<size_t>(e - s) : per_line;
            w = base64_encode(s, chunk, w);
            s += chunk;
            *w++ = '\n';
        }
        std::memset(w, '\t', depth);
        w += depth;
        std::memcpy(w, "</data>\n", 8);
        w += 8;
        len_ += static_cast<size_t>(w - start);
    }

    // Writes `n` at `depth`; a container with children is opened and pushed.
    void value(const Node *n, size_t depth) {
        switch (n->type) {
        case ORVEX_BOOLEAN:
            if (n->v.b)
                line(depth, "<true/>\n", 8);
            else
                line(depth, "<false/>\n", 9);
            return;
        case ORVEX_INT: {
            bool neg = (n->flags & NODE_SIGNED) && static_cast<int64_t>(n->v.u) < 0;
            uint_line(depth, n->v.u, neg);
            return;
        }
        case ORVEX_REAL:
            real_line(depth, n->v.r);
            return;
        case ORVEX_DATE:
            date_line(depth, n);
            return;
        case ORVEX_STRING:
        case ORVEX_KEY: {
            size_t len;
            const char *t = node_text(n, &len);
            if (n->type == ORVEX_STRING)
                text_line(depth, "<string>", 8, t, len, "</string>\n", 10);
            else
                text_line(depth, "<key>", 5, t, len, "</key>\n", 7);
            return;
        }
        case ORVEX_DATA: {
            size_t len;
            const char *t = node_text(n, &len);
            data_block(depth, t, len);
            return;
        }
        case ORVEX_UID:
            line(depth, "<dict>\n", 7);
            line(depth + 1, "<key>CF$UID</key>\n", 18);
            uint_line(depth + 1, n->v.u, false);
            line(depth, "</dict>\n", 8);
            return;
        case ORVEX_ARRAY:
            if (n->v.arr.size == 0) {
                line(depth, "<array/>\n", 9);
                return;
            }
            line(depth, "<array>\n", 8);
            stack_.push_back({n, 0});
            return;
        case ORVEX_DICT:
            if (dict_live(n) == 0) {
                line(depth, "<dict/>\n", 8);
                return;
            }
            line(depth, "<dict>\n", 7);
            stack_.push_back({n, 0});
            return;
        default:
            line(depth, "<null/>\n", 8);
            return;
        }
    }

    // Lower bound of the output: every line's indentation and tags and every
    // text at its raw length; exact for structure and data.
    static uint64_t leaf_size(const Node *n, size_t depth) {
        size_t len;
        switch (n->type) {
        case ORVEX_BOOLEAN:
            return depth + 8;
        case ORVEX_INT:
            return depth + 20;
        case ORVEX_REAL:
            return depth + 16;
        case ORVEX_DATE:
            return depth + 30;
        case ORVEX_STRING:
            node_text(n, &len);
            return depth + 18 + len;
        case ORVEX_KEY:
            node_text(n, &len);
            return depth + 12 + len;
        case ORVEX_DATA:
            node_text(n, &len);
            return data_size(len, depth);
        case ORVEX_UID:
            return 4 * depth + 2 + 7 + 18 + 20 + 8;
        default:
            return depth + 8;
        }
    }

    void reserve_for(const Node *root) {
        uint64_t total = sizeof HEADER + sizeof FOOTER;
        std::vector<Frame> &st = stack_;
        auto visit = [&](const Node *n, size_t depth) {
            if (!is_container(n->type)) {
                total += leaf_size(n, depth);
            } else if ((n->type == ORVEX_ARRAY ? n->v.arr.size : dict_live(n)) == 0) {
                total += depth + 8;
            } else {
                total += 2 * depth + 15;
                st.push_back({n, 0});
            }
        };
        visit(root, 0);
        while (!st.empty() && total <= MAX_OUT) {
            Frame &f = st.back();
            size_t depth = st.size();
            const DictEntry *e = nullptr;
            const Node *c = next_child(f, &e);
            if (e)
                total += depth + 12 + e->klen;
            if (c)
                visit(c, depth);
            else
                st.pop_back();
        }
        if (total > MAX_OUT)
            throw Fail{ORVEX_ERR_LIMIT};
        st.clear();
        // Text usually needs few escapes: a little slack saves a regrowth.
        uint64_t want = total + total / 16 + 64;
        if (want > MAX_OUT + 1)
            want = MAX_OUT + 1;
        buf_ = static_cast<char *>(std::malloc(static_cast<size_t>(want)));
        if (!buf_)
            throw Fail{ORVEX_ERR_NO_MEM};
        cap_ = static_cast<size_t>(want);
    }
};

} // namespace

orvex_err_t xml_write(const Node *root, char **out, uint32_t *length) {
    *out = nullptr;
    *length = 0;
    try {
        Writer w;
        w.run(root);
        *out = w.take(length);
    } catch (const Fail &f) {
        return f.code;
    } catch (const std::bad_alloc &) {
        return ORVEX_ERR_NO_MEM;
    }
    return ORVEX_ERR_SUCCESS;
}

} // namespace orvex_store
