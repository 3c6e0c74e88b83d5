// XML reader: one pass over the input, building the tree as elements open,
// with an explicit stack of open containers. The lexer (xml_lexer.*) scans
// markup and character data; numbers, dates and base64 are read by the text
// helpers the other text formats share. The input is hostile: every scan is
// bounded by the end of the buffer, text must be well-formed UTF-8, numbers
// are range-checked, and nesting is limited to ORVEX_MAX_DEPTH (512)
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
// "UTF8" counts as UTF-8. A document that starts with a UTF-16 byte-order
// mark (either order), or without one with two ASCII characters each beside
// a zero byte, is UTF-16, transcoded to UTF-8 first; it may declare
// UTF-16 (or UTF-16LE, UTF-16BE, UCS-2), and nothing else. A declaration
// further on may only repeat the encoding. Offsets in errors count bytes of
// the input as given.
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
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "codecs/codecs.hpp"
#include "codecs/layout.hpp"
#include "codecs/utf16_input.hpp"
#include "codecs/xml_lexer.hpp"
#include "text/base64.hpp"
#include "text/dates.hpp"
#include "text/numbers.hpp"

namespace orvex_store {
namespace {

using namespace xml; // the lexer, its Span and the element names

struct Frame {
    Node *node; // the container being filled; null for the plist wrapper
    Elem kind;
    bool has_key;    // a dictionary key waits for its value
    bool has_value;  // the plist wrapper holds its value
    bool over;       // one level past the limit: must turn out to be a UID
    const char *key; // the waiting key, in the input; null: in key_buf
    size_t klen;
    uint64_t open_at;
    std::string key_buf;
};

template <class Rec> class Reader : Lexer {
  public:
    // A value takes seven bytes at least (`<true/>`): blocks sized from that
    // stay within one block of what the document needs.
    Reader(const char *data, uint64_t length, Charset cs, Rec rec)
        : Lexer(data, length, cs), rec_(rec), blocks_(length / 7 + 1) {}

    ~Reader() { node_free_tree(root_); }

    Node *run() {
        skip_bom();
        bool prolog = true, doctype = false;
        for (skip_ws(); p_ != end_; skip_ws()) {
            if (*p_ != '<')
                reject(ORVEX_ERR_PARSE, off(p_),
                       depth_ == 0 && root_done_ ? ORVEX_REASON_EXTRA_CONTENT : ORVEX_REASON_MISPLACED_TEXT);
            if (end_ - p_ < 2)
                reject(ORVEX_ERR_PARSE, off(p_), ORVEX_REASON_TRUNCATED);
            uchar c = p_[1];
            if (c == '?') {
                p_ = skip_pi(p_);
            } else if (c == '!') {
                if (markup_declaration(prolog && !doctype))
                    doctype = true;
            } else {
                prolog = false;
                if (c == '/')
                    close_element();
                else
                    open_element();
            }
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
    std::vector<Frame> frames_;
    size_t depth_ = 0;      // frames in use
    size_t containers_ = 0; // of which dictionaries and arrays
    Node *root_ = nullptr;
    bool root_done_ = false; // the root element is complete
    Rec rec_;
    NodeBlocks blocks_;

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
        made(n);
        if (depth_ == 0) {
            root_ = n;
            root_done_ = complete;
            return;
        }
        Frame &f = top();
        if (f.kind == E_WRAPPER) {
            root_ = n;
            f.has_value = true;
        } else if (f.kind == E_ARRAY) {
            attach_child(f.node, false, nullptr, 0, n);
        } else {
            f.has_key = false;
            attach_child(f.node, true, f.key ? f.key : f.key_buf.data(), f.klen, n);
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
            rec_.close(off(lt), off(after));
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
        Elem e = element_name(lt);
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
            Node *n = node_new(e == E_DICT ? ORVEX_DICT : ORVEX_ARRAY, blocks_);
            attach(n, empty);
            rec_.open(off(lt), off(p_), e == E_DICT);
            if (!empty)
                push(e, n, over, lt);
            else
                rec_.close(off(p_), off(p_));
            return;
        }
        case E_KEY:
            if (depth_ && top().kind == E_DICT && !top().has_key) {
                read_key(empty, lt);
                return;
            }
            break; // a key node
        default:
            break;
        }
        need_value_slot(lt);
        attach(leaf(e, empty, lt), true);
        rec_.leaf(off(lt), off(p_));
    }

    // The key of the dictionary on top, waiting for its value.
    void read_key(bool empty, const uchar *lt) {
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
        rec_.key(off(lt), off(p_), k.p, k.n);
    }

    // The node of element `e`, which holds no other elements.
    Node *leaf(Elem e, bool empty, const uchar *lt) {
        switch (e) {
        case E_KEY:
        case E_STRING:
            return text_node(e == E_KEY ? ORVEX_KEY : ORVEX_STRING, e, empty, lt);
        case E_DATA:
            return data_node(empty, lt);
        case E_INTEGER:
            return integer_node(empty, lt);
        case E_REAL:
            return real_node(empty, lt);
        case E_DATE:
            return date_node(empty, lt);
        case E_TRUE:
        case E_FALSE:
        case E_NULL:
            return constant_node(e, empty, lt);
        default:
            reject(ORVEX_ERR_PARSE, off(lt), ORVEX_REASON_UNKNOWN_ELEMENT);
        }
    }

    Node *text_node(uint8_t type, Elem e, bool empty, const uchar *lt) {
        Span t = empty ? Span{"", 0} : content(e, lt);
        return node_new_text(type, t.p, t.n, blocks_);
    }

    // The value of a number or date element: its text without the blanks
    // around it, through `parse`, whose rejection points at the text.
    template <class T>
    T parsed(Elem e, bool empty, const uchar *lt, orvex_reason_t (*parse)(const char *, size_t, T *)) {
        uint64_t at = off(p_);
        Span t = empty ? Span{"", 0} : content(e, lt);
        const char *s = t.p, *end = t.p + t.n;
        trim(s, end);
        T v;
        if (orvex_reason_t why = parse(s, static_cast<size_t>(end - s), &v))
            reject(ORVEX_ERR_PARSE, at, why);
        return v;
    }

    Node *integer_node(bool empty, const uchar *lt) {
        ParsedInt v = parsed(E_INTEGER, empty, lt, parse_integer);
        return node_new_int(v.bits, v.is_signed(), blocks_);
    }

    Node *real_node(bool empty, const uchar *lt) {
        return node_new_real(parsed(E_REAL, empty, lt, parse_real), blocks_);
    }

    Node *date_node(bool empty, const uchar *lt) {
        ParsedDate d = parsed(E_DATE, empty, lt, parse_iso8601);
        Node *n = node_new(ORVEX_DATE, blocks_);
        if (!n)
            return nullptr;
        if (d.exact)
            set_exact_date(n, d.unix_sec);
        else
            n->v.date.since_2001 = d.since_2001;
        return n;
    }

    // <true/>, <false/> or <null/>; blanks inside are let pass.
    Node *constant_node(Elem e, bool empty, const uchar *lt) {
        if (!empty) {
            uint64_t at = off(p_);
            Span t = content(e, lt);
            for (size_t i = 0; i < t.n; ++i)
                if (!is_ws(static_cast<uchar>(t.p[i])))
                    reject(ORVEX_ERR_PARSE, at, ORVEX_REASON_MISPLACED_TEXT);
        }
        return e == E_NULL ? node_new(ORVEX_NULL, blocks_) : node_new_bool(e == E_TRUE, blocks_);
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
            return node_new_text(ORVEX_DATA, reinterpret_cast<const char *>(buf), n, blocks_);
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
            Node *node = node_new_text(ORVEX_DATA, reinterpret_cast<const char *>(buf), n, blocks_);
            std::free(buf);
            return node;
        }
        buf[n] = 0;
        Node *node = node_new(ORVEX_DATA, blocks_);
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

// Reads UTF-8 text; `cs` is the encoding it was declared in.
orvex_err_t read_text(const char *data, uint64_t length, Charset cs, Node **root, ParseError *err) {
    return reading_boundary(err, [&] { *root = Reader<NoLayout>(data, length, cs, NoLayout()).run(); });
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
    if (reading_boundary(err, [&] { utf8 = xml::latin1_to_utf8(in, end); }) != ORVEX_ERR_SUCCESS)
        return err->code;
    // Offsets in the transcoded text: one character per input byte.
    if (read_text(utf8.data(), utf8.size(), cs, root, err) != ORVEX_ERR_SUCCESS) {
        err->offset = xml::latin1_offset(utf8, err->offset);
        err->one_byte_chars = true;
    }
    return err->code;
}

// A document in UTF-16, as UTF-8 now. Out of line, as read_declared.
[[gnu::noinline]] orvex_err_t read_utf16_doc(const char *data, uint64_t length, Node **root,
                                             ParseError *err) {
    return read_utf16(data, length, err, [&](const char *utf8, uint64_t n) {
        const uchar *in = reinterpret_cast<const uchar *>(utf8);
        Charset cs = Charset::UTF16;
        if (reading_boundary(err, [&] { cs = xml::declared_charset(in, in + n, true); }) != ORVEX_ERR_SUCCESS)
            return err->code;
        return read_text(utf8, n, cs, root, err);
    });
}

} // namespace

orvex_err_t xml_read(const char *data, uint64_t length, Node **root, ParseError *err) {
    *root = nullptr;
    if (!data || length == 0) {
        *err = {ORVEX_ERR_PARSE, 0, ORVEX_REASON_EMPTY};
        return err->code;
    }
    if (utf16_order(data, length))
        return read_utf16_doc(data, length, root, err);
    Charset cs = Charset::UTF8;
    const uchar *in = reinterpret_cast<const uchar *>(data);
    if (reading_boundary(err, [&] { cs = xml::declared_charset(in, in + length); }) != ORVEX_ERR_SUCCESS)
        return err->code;
    if (cs != Charset::UTF8)
        return read_declared(data, length, cs, root, err);
    return read_text(data, length, cs, root, err);
}

// UTF-8 text, or Latin-1 transcoded into layout->text first; the caller has
// turned UTF-16 into UTF-8 already and says so with `utf16`.
orvex_err_t xml_read_layout(const char *data, uint64_t length, bool utf16, Node **root, ParseError *err,
                            Layout *layout) {
    *root = nullptr;
    if (!data || length == 0) {
        *err = {ORVEX_ERR_PARSE, 0, ORVEX_REASON_EMPTY};
        return err->code;
    }
    const uchar *in = reinterpret_cast<const uchar *>(data), *end = in + length;
    Charset cs = Charset::UTF8;
    if (reading_boundary(err, [&] { cs = xml::declared_charset(in, end, utf16); }) != ORVEX_ERR_SUCCESS)
        return err->code;
    layout->charset = cs == Charset::LATIN1 ? 1 : cs == Charset::ASCII ? 2 : 0;
    if (cs == Charset::LATIN1 || cs == Charset::ASCII) {
        const uchar *high = in;
        while (high < end && *high < 0x80)
            ++high;
        if (high != end) {
            if (cs == Charset::ASCII) {
                *err = {ORVEX_ERR_PARSE, static_cast<uint64_t>(high - in), ORVEX_REASON_NOT_ASCII};
                return err->code;
            }
            if (reading_boundary(err, [&] { layout->text = xml::latin1_to_utf8(in, end); }) !=
                ORVEX_ERR_SUCCESS)
                return err->code;
            layout->transcoded = true;
            data = layout->text.data();
            length = layout->text.size();
        }
    }
    return reading_boundary(
        err, [&] { *root = Reader<LayoutRecorder>(data, length, cs, LayoutRecorder(layout)).run(); });
}

} // namespace orvex_store
