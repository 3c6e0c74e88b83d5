// XML writer: the standard document (declaration, DOCTYPE, <plist>), one
// element per line, tab-indented, entries in store order (or their keys'
// with ORVEX_WRITE_SORTED), in UTF-8 or, asked for, UTF-16 with its
// byte-order mark and a declaration that says so. Iterative, so any
// depth is safe; a first walk over the tree sums a lower bound of the output
// size, which sizes the buffer and turns a document past 2^32-1 bytes away
// before anything is written.
//
// What it writes, and what the format loses:
// - integers: negative signed values with their sign, everything else as
//   unsigned decimal (2^63 to 2^64-1 stay unsigned when read back);
// - reals: the fewest digits that read back to the same double, "-0.0"
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
#include "codecs/key_order.hpp"
#include "codecs/utf16_output.hpp"
#include "text/base64.hpp"
#include "text/dates.hpp"
#include "text/numbers.hpp"
#include "text/utf8.hpp"

namespace orvex_store {
namespace {

using uchar = unsigned char;

// Length of a literal, its NUL aside.
template <size_t N> constexpr size_t len(const char (&)[N]) { return N - 1; }

#define ORVEX_XML_PROLOG(encoding)                                                                           \
    "<?xml version=\"1.0\" encoding=\"" encoding "\"?>\n"                                                    \
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "                                                \
    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"                                                  \
    "<plist version=\"1.0\">\n"
constexpr char HEADER[] = ORVEX_XML_PROLOG("UTF-8");
// What the text written in UTF-8 first declares when it is to be UTF-16.
constexpr char HEADER_UTF16[] = ORVEX_XML_PROLOG("UTF-16");
#undef ORVEX_XML_PROLOG
constexpr char FOOTER[] = "</plist>\n";

// Every fixed text a line is made of, named so that the size estimate
// counts the very bytes that are written.
constexpr char TRUE_TAG[] = "<true/>\n", FALSE_TAG[] = "<false/>\n", NULL_TAG[] = "<null/>\n";
constexpr char INT_OPEN[] = "<integer>", INT_CLOSE[] = "</integer>\n";
constexpr char REAL_OPEN[] = "<real>", REAL_CLOSE[] = "</real>\n";
constexpr char DATE_OPEN[] = "<date>", DATE_CLOSE[] = "</date>\n";
constexpr char STRING_OPEN[] = "<string>", STRING_CLOSE[] = "</string>\n";
constexpr char KEY_OPEN[] = "<key>", KEY_CLOSE[] = "</key>\n";
constexpr char DATA_OPEN[] = "<data>\n", DATA_CLOSE[] = "</data>\n";
constexpr char ARRAY_OPEN[] = "<array>\n", ARRAY_CLOSE[] = "</array>\n", ARRAY_EMPTY[] = "<array/>\n";
constexpr char DICT_OPEN[] = "<dict>\n", DICT_CLOSE[] = "</dict>\n", DICT_EMPTY[] = "<dict/>\n";
constexpr char UID_KEY[] = "<key>CF$UID</key>\n";

// The shortest text of a real ("nan", "0.0") and of a date.
constexpr size_t REAL_MIN = len("nan");
constexpr size_t DATE_MIN = len("2001-01-01T00:00:00Z");

// Bytes of a line at `depth` holding `open`, `text` bytes and `close`.
template <size_t O, size_t C>
constexpr uint64_t line_size(size_t depth, const char (&open)[O], uint64_t text, const char (&close)[C]) {
    return depth + len(open) + text + len(close);
}

// Base64 digits per line of data at `depth`: the line, tabs counted as eight
// columns, stays within 76 columns while that leaves at least 16 digits.
size_t b64_width(size_t depth) {
    size_t cols = depth < 8 ? 76 - 8 * depth : 16;
    if (cols < 16)
        cols = 16;
    return cols / 4 * 4;
}

// Bytes of a data element at `depth`: tags, lines and their indentation.
uint64_t data_size(uint64_t n, size_t depth) {
    uint64_t tags = depth + len(DATA_OPEN) + depth + len(DATA_CLOSE);
    if (n == 0)
        return tags;
    uint64_t chars = base64_size(n), width = b64_width(depth);
    uint64_t lines = (chars + width - 1) / width;
    return tags + chars + lines * (depth + 1);
}

// Copies a literal to `w`, which has room; returns the end.
template <size_t N> char *copy(char *w, const char (&lit)[N]) {
    std::memcpy(w, lit, N - 1);
    return w + N - 1;
}

size_t text_len(const Node *n) {
    size_t bytes;
    node_text(n, &bytes);
    return bytes;
}

char *indent(char *w, size_t depth) {
    std::memset(w, '\t', depth);
    return w + depth;
}

// First byte that a writer of character data cannot copy as it is: '<', '>',
// '&', any control character (TAB and LF included, the caller lets those
// pass) or any byte >= 0x80 (checked by the caller).
inline const uchar *scan_to_escape(const uchar *p, const uchar *end) {
    return scan_for<'<', '>', '&', 0x20>(p, end);
}

// Bytes at `q`, a byte scan_to_escape stopped at, that are copied as they
// are: TAB, LF, or a well-formed UTF-8 sequence other than U+FFFE and
// U+FFFF (EF BF BE/BF), which are no XML characters. 0 when they need
// escaping.
inline size_t plain_len(const uchar *q, const uchar *e) {
    uchar c = *q;
    if (c == '\t' || c == '\n')
        return 1;
    if (c < 0x80)
        return 0;
    size_t seq = utf8_seq_len(q, e);
    bool nonchar = seq == 3 && c == 0xEF && q[1] == 0xBF && q[2] >= 0xBE;
    return nonchar ? 0 : seq;
}

template <class Order> class Writer : private TextOut {
  public:
    explicit Writer(Output &out) : TextOut(out) {}
    using TextOut::length;

    // `utf16`: the declaration names UTF-16, which this text is to become;
    // `bom`: a UTF-8 byte-order mark first.
    void run(const Node *root, bool utf16, bool bom) {
        reserve_for(root);
        if (bom)
            put("\xEF\xBB\xBF");
        if (utf16)
            put(HEADER_UTF16);
        else
            put(HEADER);
        value(root, 0);
        while (!stack_.empty()) {
            Frame &f = stack_.back();
            size_t depth = stack_.size();
            const DictEntry *e = nullptr;
            const Node *c = order_.next(f.n, &f.i, &e);
            if (e)
                text_line(depth, KEY_OPEN, e->key(), e->klen, KEY_CLOSE);
            if (c) {
                value(c, depth); // may push: `f` is not used past here
                continue;
            }
            bool dict = f.n->type == ORVEX_DICT;
            order_.closed(f.n);
            stack_.pop_back();
            if (dict)
                line(depth - 1, DICT_CLOSE);
            else
                line(depth - 1, ARRAY_CLOSE);
        }
        put(FOOTER);
        finish();
    }

  private:
    struct Frame {
        const Node *n;
        uint32_t i;
    };

    std::vector<Frame> stack_;
    Order order_;

    // Indentation and a fixed text.
    template <size_t N> void line(size_t depth, const char (&lit)[N]) {
        done(copy(indent(room(depth + len(lit)), depth), lit));
    }

    template <size_t O, size_t C>
    void text_line(size_t depth, const char (&open)[O], const char *t, size_t tn, const char (&close)[C]) {
        line(depth, open);
        text(t, tn);
        put(close);
    }

    template <size_t O, size_t C>
    void text_line(size_t depth, const char (&open)[O], const Node *n, const char (&close)[C]) {
        size_t tn;
        const char *t = node_text(n, &tn);
        text_line(depth, open, t, tn, close);
    }

    // Character data, escaped so that it reads back byte for byte.
    void text(const char *s, size_t n) {
        const uchar *p = reinterpret_cast<const uchar *>(s), *e = p + n, *run = p;
        while ((p = scan_to_escape(p, e)) != e) {
            if (size_t keep = plain_len(p, e)) {
                p += keep;
                continue;
            }
            put(reinterpret_cast<const char *>(run), static_cast<size_t>(p - run));
            p = run = p + escape(p, e);
        }
        put(reinterpret_cast<const char *>(run), static_cast<size_t>(e - run));
    }

    // Writes the escaped form of what starts at `q` (plain_len found it
    // needs one); returns the bytes it stands for. Kept out of line: rare,
    // and text() is inlined where it is used.
    __attribute__((noinline)) size_t escape(const uchar *q, const uchar *e) {
        uchar c = *q;
        if (c == '<')
            put("&lt;");
        else if (c == '>')
            put("&gt;");
        else if (c == '&')
            put("&amp;");
        else if (c < 0x80)
            char_ref(c);
        else if (utf8_seq_len(q, e) == 3) { // well-formed, so U+FFFE or U+FFFF
            put(q[2] == 0xBE ? "&#xFFFE;" : "&#xFFFF;");
            return 3;
        } else
            put("\xEF\xBF\xBD"); // not UTF-8: U+FFFD in its place
        return 1;
    }

    // A control character as a decimal character reference.
    void char_ref(uchar c) {
        char ref[8] = {'&', '#'};
        size_t k = 2;
        if (c >= 10)
            ref[k++] = static_cast<char>('0' + c / 10);
        ref[k++] = static_cast<char>('0' + c % 10);
        ref[k++] = ';';
        put(ref, k);
    }

    void uint_line(size_t depth, uint64_t v, bool neg) {
        char *w = indent(room(line_size(depth, INT_OPEN, NUMBER_TEXT_MAX, INT_CLOSE)), depth);
        w = write_integer(copy(w, INT_OPEN), v, neg);
        done(copy(w, INT_CLOSE));
    }

    void real_line(size_t depth, double x) {
        char *w = indent(room(line_size(depth, REAL_OPEN, NUMBER_TEXT_MAX, REAL_CLOSE)), depth);
        // "1" reads as a real everywhere, but "1.0" says what it is.
        w = write_real_text(copy(w, REAL_OPEN), x, true);
        done(copy(w, REAL_CLOSE));
    }

    void date_line(size_t depth, const Node *n) {
        // Other readers take whole seconds only, so the fraction goes: the
        // same second that orvex_get_unix_date_val reads.
        int64_t unix_sec =
            (n->flags & NODE_EXACT) ? n->v.date.unix_sec : date_to_unix_seconds(n->v.date.since_2001);
        char *w = indent(room(line_size(depth, DATE_OPEN, ISO8601_MAX, DATE_CLOSE)), depth);
        w = format_iso8601(unix_sec, copy(w, DATE_OPEN));
        done(copy(w, DATE_CLOSE));
    }

    void data_block(size_t depth, const Node *node) {
        size_t n;
        const char *p = node_text(node, &n);
        uint64_t total = data_size(n, depth);
        if (total > MAX_OUT)
            throw TooLarge();
        char *w = copy(indent(room(static_cast<size_t>(total)), depth), DATA_OPEN);
        const uchar *s = reinterpret_cast<const uchar *>(p), *e = s + n;
        size_t per_line = b64_width(depth) / 4 * 3;
        while (s < e) {
            size_t chunk = static_cast<size_t>(e - s) < per_line ? static_cast<size_t>(e - s) : per_line;
            w = base64_encode(s, chunk, indent(w, depth));
            s += chunk;
            *w++ = '\n';
        }
        done(copy(indent(w, depth), DATA_CLOSE));
    }

    void uid_block(size_t depth, uint64_t v) {
        line(depth, DICT_OPEN);
        line(depth + 1, UID_KEY);
        uint_line(depth + 1, v, false);
        line(depth, DICT_CLOSE);
    }

    // Opens a container; one with children is pushed for the walk to fill.
    template <size_t O, size_t E>
    void open(const Node *n, size_t depth, bool empty, const char (&tag)[O], const char (&empty_tag)[E]) {
        if (empty) {
            line(depth, empty_tag);
            return;
        }
        line(depth, tag);
        stack_.push_back({n, 0});
        order_.opened(n);
    }

    // Writes `n` at `depth`; a container with children is opened and pushed.
    void value(const Node *n, size_t depth) {
        switch (n->type) {
        case ORVEX_BOOLEAN:
            if (n->v.b)
                return line(depth, TRUE_TAG);
            return line(depth, FALSE_TAG);
        case ORVEX_INT:
            return uint_line(depth, n->v.u, int_is_negative(n));
        case ORVEX_REAL:
            return real_line(depth, n->v.r);
        case ORVEX_DATE:
            return date_line(depth, n);
        case ORVEX_STRING:
            return text_line(depth, STRING_OPEN, n, STRING_CLOSE);
        case ORVEX_KEY:
            return text_line(depth, KEY_OPEN, n, KEY_CLOSE);
        case ORVEX_DATA:
            return data_block(depth, n);
        case ORVEX_UID:
            return uid_block(depth, n->v.u);
        case ORVEX_ARRAY:
            return open(n, depth, n->v.arr.size == 0, ARRAY_OPEN, ARRAY_EMPTY);
        case ORVEX_DICT:
            return open(n, depth, dict_live(n) == 0, DICT_OPEN, DICT_EMPTY);
        default:
            return line(depth, NULL_TAG);
        }
    }

    // Lower bound of a value's output (its children aside): every line's
    // indentation and tags and every text at its raw length; exact for
    // structure and data.
    static uint64_t value_size(const Node *n, size_t depth) {
        switch (n->type) {
        case ORVEX_BOOLEAN:
            return depth + (n->v.b ? len(TRUE_TAG) : len(FALSE_TAG));
        case ORVEX_INT:
            return line_size(depth, INT_OPEN, 1, INT_CLOSE);
        case ORVEX_REAL:
            return line_size(depth, REAL_OPEN, REAL_MIN, REAL_CLOSE);
        case ORVEX_DATE:
            return line_size(depth, DATE_OPEN, DATE_MIN, DATE_CLOSE);
        case ORVEX_STRING:
            return line_size(depth, STRING_OPEN, text_len(n), STRING_CLOSE);
        case ORVEX_KEY:
            return line_size(depth, KEY_OPEN, text_len(n), KEY_CLOSE);
        case ORVEX_DATA:
            return data_size(text_len(n), depth);
        case ORVEX_UID:
            return depth + len(DICT_OPEN) + (depth + 1) + len(UID_KEY) +
                   line_size(depth + 1, INT_OPEN, 1, INT_CLOSE) + depth + len(DICT_CLOSE);
        case ORVEX_ARRAY:
            return n->v.arr.size == 0 ? depth + len(ARRAY_EMPTY)
                                      : depth + len(ARRAY_OPEN) + depth + len(ARRAY_CLOSE);
        case ORVEX_DICT:
            return dict_live(n) == 0 ? depth + len(DICT_EMPTY)
                                     : depth + len(DICT_OPEN) + depth + len(DICT_CLOSE);
        default:
            return depth + len(NULL_TAG);
        }
    }

    // Sums value_size over the tree; stops early past MAX_OUT.
    uint64_t estimate(const Node *root) {
        uint64_t total = len(HEADER) + len(FOOTER);
        auto visit = [&](const Node *n, size_t depth) {
            total += value_size(n, depth);
            if ((n->type == ORVEX_ARRAY && n->v.arr.size) || (n->type == ORVEX_DICT && dict_live(n)))
                stack_.push_back({n, 0});
        };
        visit(root, 0);
        while (!stack_.empty() && total <= MAX_OUT) {
            Frame &f = stack_.back();
            size_t depth = stack_.size();
            const DictEntry *e = nullptr;
            const Node *c = next_child(f.n, &f.i, &e);
            if (e)
                total += line_size(depth, KEY_OPEN, e->klen, KEY_CLOSE);
            if (c)
                visit(c, depth);
            else
                stack_.pop_back();
        }
        stack_.clear();
        return total;
    }

    void reserve_for(const Node *root) {
        // Text usually needs few escapes: a little slack saves a regrowth.
        reserve(estimate(root), 16);
    }
};

template <class Order> uint32_t write_xml(const Node *root, Output &out, bool utf16, bool bom) {
    Writer<Order> w(out);
    w.run(root, utf16, bom);
    return w.length();
}

} // namespace

orvex_err_t xml_write(const Node *root, Output &out, uint32_t *length, uint32_t flags) {
    *length = 0;
    const uint32_t utf16 = flags & (ORVEX_WRITE_UTF16LE | ORVEX_WRITE_UTF16BE);
    if (utf16 == (ORVEX_WRITE_UTF16LE | ORVEX_WRITE_UTF16BE))
        return ORVEX_ERR_INVALID_ARG;
    const bool sorted = flags & ORVEX_WRITE_SORTED, bom = !utf16 && (flags & ORVEX_WRITE_BOM);
    auto write = [&](Output &to) {
        return sorted ? write_xml<KeyOrder>(root, to, utf16, bom)
                      : write_xml<StoreOrder>(root, to, utf16, bom);
    };
    return writing_boundary([&] {
        if (utf16)
            write_utf16(out, utf16 == ORVEX_WRITE_UTF16LE, length, write);
        else
            *length = write(out);
    });
}

} // namespace orvex_store
