// Binary reader. The input is hostile: every offset, length, count and
// reference is checked against the bytes before it is used, the tree is built
// with an explicit stack bounded by ORVEX_MAX_DEPTH, and what a document may
// expand into through shared references is bounded by its size.
//
// Decisions on what the encoding leaves open:
// - Integers of 1, 2 and 4 bytes are unsigned; 8 bytes are a signed 64-bit
//   value. A 16-byte integer is accepted when it fits 64 bits: high half zero
//   gives an unsigned value (so 2^63 to 2^64-1 stay unsigned), high half all
//   ones with the low half's top bit set gives a negative signed value; any
//   other 16-byte value is out of the store's range (ORVEX_ERR_LIMIT).
// - Single-byte strings (0x5) are meant as ASCII, but writers exist that put
//   UTF-8 there: with a byte >= 0x80 they are read as UTF-8 when every
//   sequence is well-formed, as ISO 8859-1 otherwise. Either way the store
//   holds valid UTF-8 and no byte is lost.
// - Unpaired UTF-16 surrogates become U+FFFD rather than failing the whole
//   document; everything else in the string is kept.
// - Shared references are followed: a container stored once and referenced
//   many times reads as that many copies, as in other readers. What that may
//   cost is bounded: each node is charged once (the root, then each container
//   charges its items before it allocates room for them), against the larger
//   of ORVEX_EXPANSION_NODES and 2 per input byte; each byte of text, key or
//   data copied is charged against the larger of ORVEX_EXPANSION_BYTES and 32
//   per input byte. A document without shared objects always fits. The fixed
//   allowance keeps small documents with heavy legitimate sharing readable,
//   and caps what a small hostile one costs (under 200 MiB and about half a
//   second of CPU at worst) before it fails with ORVEX_ERR_LIMIT.
// - UIDs of more than 8 bytes are accepted when their high bytes are zero.
// - Dictionary keys end at their first NUL byte; a key that repeats (also
//   after that cut) keeps its first place and takes the last value.
// - Object data must lie between the magic and the offset table.
// - Sets (marker 0xC) read as arrays: the store has no set type, and their
//   items are kept in document order.
#include <cstring>
#include <new>
#include <vector>

#include "codecs/codecs.hpp"
#include "text/utf16.hpp"
#include "text/utf8.hpp"

namespace orvex_store {
namespace {

constexpr uint64_t MAGIC_LEN = 8;
constexpr uint64_t TRAILER_LEN = 32;
constexpr uint64_t NODE_FACTOR = 2, TEXT_FACTOR = 32;

// The larger of `allowance` and `factor` per input byte, without overflow.
uint64_t budget(uint64_t len, uint64_t factor, uint64_t allowance) {
    uint64_t grown = len > UINT64_MAX / factor ? UINT64_MAX : len * factor;
    return grown > allowance ? grown : allowance;
}

inline uint64_t read_be(const unsigned char *p, unsigned n) {
    switch (n) {
    case 1:
        return p[0];
    case 2:
        return (uint64_t(p[0]) << 8) | p[1];
    case 4:
        return (uint64_t(p[0]) << 24) | (uint64_t(p[1]) << 16) | (uint64_t(p[2]) << 8) | p[3];
    default: {
        uint64_t v = 0;
        for (unsigned i = 0; i < n; ++i)
            v = (v << 8) | p[i];
        return v;
    }
    }
}

inline double read_double(const unsigned char *p) {
    uint64_t bits = read_be(p, 8);
    double r;
    std::memcpy(&r, &bits, sizeof r);
    return r;
}

// Whether text known to hold a byte >= 0x80 is well-formed UTF-8.
bool is_utf8(const unsigned char *p, const unsigned char *end) {
    while (p < end) {
        if (*p < 0x80) {
            ++p;
        } else if (size_t n = utf8_seq_len(p, end)) {
            p += n;
        } else {
            return false;
        }
    }
    return true;
}

// A key object read before, whose text lies in the input: dictionaries of
// one kind share their key objects, so most keys are found here.
struct SeenKey {
    uint64_t obj = UINT64_MAX;
    uint64_t at;      // the object's offset, for a rejection
    uint64_t charged; // what reading it charged
    const char *text;
    size_t len; // up to its first NUL
};
constexpr size_t SEEN_KEYS = 64; // a power of two

struct Frame {
    Node *node;
    uint64_t obj;  // object index, for cycle detection
    uint64_t refs; // offset of the first reference
    uint32_t count;
    uint32_t next;
    bool dict;
};

class Reader {
  public:
    Reader(const char *data, uint64_t length)
        : d_(reinterpret_cast<const unsigned char *>(data)), len_(length) {}

    Node *run() {
        read_trailer();
        uint64_t o = object_offset(top_);
        Node *root = nullptr;
        charge_nodes(1, o); // the root; every other node is charged by its container
        try {
            root = instantiate(top_, o);
            while (!stack_.empty())
                step();
        } catch (...) {
            node_free_tree(root);
            throw;
        }
        return root;
    }

  private:
    const unsigned char *d_;
    uint64_t len_;
    unsigned off_size_ = 0, ref_size_ = 0;
    uint64_t nobj_ = 0, top_ = 0, table_ = 0;
    uint64_t node_budget_ = 0, text_budget_ = 0;
    std::vector<Frame> stack_;
    std::vector<uint8_t> open_; // objects on the open path
    std::vector<char> key_buf_, text_buf_;
    SeenKey seen_[SEEN_KEYS];
    NodeBlocks blocks_{0}; // declared last: freed after a failed run's nodes

    void read_trailer() {
        if (len_ < MAGIC_LEN || std::memcmp(d_, "bplist00", MAGIC_LEN) != 0)
            reject(ORVEX_ERR_FORMAT, 0, ORVEX_REASON_NOT_BINARY);
        // Magic, one object byte, one offset byte, the trailer.
        if (len_ < MAGIC_LEN + 2 + TRAILER_LEN)
            reject(ORVEX_ERR_PARSE, len_, ORVEX_REASON_TRUNCATED);
        uint64_t t = len_ - TRAILER_LEN;
        off_size_ = d_[t + 6];
        ref_size_ = d_[t + 7];
        nobj_ = read_be(d_ + t + 8, 8);
        top_ = read_be(d_ + t + 16, 8);
        table_ = read_be(d_ + t + 24, 8);
        if (off_size_ < 1 || off_size_ > 8)
            reject(ORVEX_ERR_PARSE, t + 6, ORVEX_REASON_BAD_TRAILER);
        if (ref_size_ < 1 || ref_size_ > 8)
            reject(ORVEX_ERR_PARSE, t + 7, ORVEX_REASON_BAD_TRAILER);
        if (nobj_ == 0)
            reject(ORVEX_ERR_PARSE, t + 8, ORVEX_REASON_BAD_TRAILER);
        if (top_ >= nobj_)
            reject(ORVEX_ERR_PARSE, t + 16, ORVEX_REASON_BAD_TRAILER);
        if (table_ <= MAGIC_LEN || table_ > t)
            reject(ORVEX_ERR_PARSE, t + 24, ORVEX_REASON_BAD_TRAILER);
        if (nobj_ > (t - table_) / off_size_)
            reject(ORVEX_ERR_PARSE, t + 8, ORVEX_REASON_BAD_TRAILER);
        node_budget_ = budget(len_, NODE_FACTOR, ORVEX_EXPANSION_NODES);
        // Keys are objects but no nodes, shared objects are nodes more than
        // once: the object count is the best guess there is.
        blocks_.expect(nobj_);
        text_budget_ = budget(len_, TEXT_FACTOR, ORVEX_EXPANSION_BYTES);
    }

    uint64_t object_offset(uint64_t idx) {
        uint64_t at = table_ + idx * off_size_; // idx < nobj_: inside the table
        uint64_t o = read_be(d_ + at, off_size_);
        if (o < MAGIC_LEN || o >= table_)
            reject(ORVEX_ERR_PARSE, at, ORVEX_REASON_BAD_OFFSET);
        return o;
    }

    uint64_t read_ref(uint64_t at) {
        uint64_t r = read_be(d_ + at, ref_size_);
        if (r >= nobj_)
            reject(ORVEX_ERR_PARSE, at, ORVEX_REASON_BAD_REFERENCE);
        return r;
    }

    // Element count of the object at `o` and, through `payload`, where its
    // contents start; `unit` bytes per element must fit before the table.
    uint64_t count_of(uint64_t o, uint64_t unit, uint64_t *payload) {
        uint64_t n = d_[o] & 0x0F, p = o + 1;
        if (n == 0x0F) {
            if (p >= table_)
                reject(ORVEX_ERR_PARSE, o, ORVEX_REASON_BAD_OBJECT);
            unsigned m = d_[p];
            if ((m >> 4) != 0x1 || (m & 0x0F) > 3)
                reject(ORVEX_ERR_PARSE, p, ORVEX_REASON_BAD_OBJECT);
            unsigned w = 1u << (m & 0x0F);
            if (w > table_ - p - 1)
                reject(ORVEX_ERR_PARSE, p, ORVEX_REASON_BAD_OBJECT);
            n = read_be(d_ + p + 1, w);
            p += 1 + w;
        }
        if (n > (table_ - p) / unit)
            reject(ORVEX_ERR_PARSE, o, ORVEX_REASON_BAD_OBJECT);
        *payload = p;
        return n;
    }

    void charge_text(uint64_t n, uint64_t at) {
        if (n > text_budget_)
            reject(ORVEX_ERR_LIMIT, at, ORVEX_REASON_EXPANSION);
        text_budget_ -= n;
    }

    void charge_nodes(uint64_t n, uint64_t at) {
        if (n > node_budget_)
            reject(ORVEX_ERR_LIMIT, at, ORVEX_REASON_EXPANSION);
        node_budget_ -= n;
    }

    // UTF-8 text of a string object (0x5 or 0x6) at `o`, pointing into the
    // input or into `buf`.
    const char *text_of(uint64_t o, std::vector<char> &buf, size_t *len) {
        unsigned kind = d_[o] >> 4;
        uint64_t p;
        if (kind == 0x5) {
            uint64_t n = count_of(o, 1, &p);
            const char *s = reinterpret_cast<const char *>(d_ + p);
            // ASCII, the common case, costs one fast scan; only text with a
            // high byte is checked for UTF-8.
            if (all_ascii(s, n) || is_utf8(d_ + p, d_ + p + n)) {
                charge_text(n, o);
                *len = n;
                return s;
            }
            if (buf.size() < 2 * n)
                buf.resize(2 * n);
            *len = latin1_to_utf8(d_ + p, n, buf.data());
            charge_text(*len, o);
            return buf.data();
        }
        uint64_t n = count_of(o, 2, &p);
        if (n == 0) {
            *len = 0;
            return "";
        }
        if (buf.size() < 3 * n)
            buf.resize(3 * n);
        *len = utf16be_to_utf8(d_ + p, n, buf.data());
        charge_text(*len, o);
        return buf.data();
    }

    Node *scalar(uint64_t o) {
        unsigned m = d_[o];
        unsigned low = m & 0x0F;
        const unsigned char *p = d_ + o + 1;
        uint64_t room = table_ - o - 1;
        Node *n = nullptr;
        switch (m >> 4) {
        case 0x0:
            if (m == 0x00)
                n = node_new(ORVEX_NULL, blocks_);
            else if (m == 0x08 || m == 0x09)
                n = node_new_bool(m == 0x09, blocks_);
            else
                reject(ORVEX_ERR_PARSE, o, ORVEX_REASON_BAD_MARKER);
            break;
        case 0x1: {
            if (low > 4) // no such width: the marker is not one of the encoding's
                reject(ORVEX_ERR_PARSE, o, ORVEX_REASON_BAD_MARKER);
            unsigned w = 1u << low;
            if (w > room)
                reject(ORVEX_ERR_PARSE, o, ORVEX_REASON_BAD_OBJECT);
            if (w < 8) {
                n = node_new_int(read_be(p, w), false, blocks_);
            } else if (w == 8) {
                n = node_new_int(read_be(p, 8), true, blocks_);
            } else {
                uint64_t hi = read_be(p, 8), lo = read_be(p + 8, 8);
                if (hi == 0)
                    n = node_new_int(lo, false, blocks_);
                else if (hi == UINT64_MAX && (lo >> 63))
                    n = node_new_int(lo, true, blocks_);
                else
                    reject(ORVEX_ERR_LIMIT, o, ORVEX_REASON_INTEGER_RANGE);
            }
            break;
        }
        case 0x2:
            if (low != 2 && low != 3)
                reject(ORVEX_ERR_PARSE, o, ORVEX_REASON_BAD_MARKER);
            if (room < (low == 2 ? 4u : 8u))
                reject(ORVEX_ERR_PARSE, o, ORVEX_REASON_BAD_OBJECT);
            if (low == 2) {
                uint32_t bits = static_cast<uint32_t>(read_be(p, 4));
                float f;
                std::memcpy(&f, &bits, sizeof f);
                n = node_new_real(static_cast<double>(f), blocks_);
            } else {
                n = node_new_real(read_double(p), blocks_);
            }
            break;
        case 0x3:
            if (m != 0x33)
                reject(ORVEX_ERR_PARSE, o, ORVEX_REASON_BAD_MARKER);
            if (room < 8)
                reject(ORVEX_ERR_PARSE, o, ORVEX_REASON_BAD_OBJECT);
            n = node_new_date(read_double(p), blocks_);
            break;
        case 0x4: {
            uint64_t at;
            uint64_t len = count_of(o, 1, &at);
            charge_text(len, o);
            n = node_new_text(ORVEX_DATA, reinterpret_cast<const char *>(d_ + at), len, blocks_);
            break;
        }
        case 0x5:
        case 0x6: {
            size_t len;
            const char *s = text_of(o, text_buf_, &len);
            n = node_new_text(ORVEX_STRING, s, len, blocks_);
            break;
        }
        case 0x8: {
            unsigned w = low + 1;
            if (w > room)
                reject(ORVEX_ERR_PARSE, o, ORVEX_REASON_BAD_OBJECT);
            for (unsigned i = 0; i + 8 < w; ++i)
                if (p[i])
                    reject(ORVEX_ERR_LIMIT, o, ORVEX_REASON_UID_RANGE);
            unsigned skip = w > 8 ? w - 8 : 0;
            n = node_new_uid(read_be(p + skip, w - skip), blocks_);
            break;
        }
        default:
            reject(ORVEX_ERR_PARSE, o, ORVEX_REASON_BAD_MARKER);
        }
        if (!n)
            throw std::bad_alloc();
        return n;
    }

    // A node for object `idx` at `o`; a container is also pushed to be filled.
    // The caller attaches it (or holds it as the root) before the next step.
    Node *instantiate(uint64_t idx, uint64_t o) {
        unsigned kind = d_[o] >> 4;
        if (kind != 0xA && kind != 0xC && kind != 0xD)
            return scalar(o);
        bool dict = kind == 0xD;
        uint64_t refs;
        uint64_t count = count_of(o, dict ? 2 * uint64_t(ref_size_) : ref_size_, &refs);
        // count_of keeps the references inside the document, which is
        // shorter than 2^32 bytes: the count fits the store's 32 bits.
        if (open_.empty())
            open_.resize(nobj_);
        if (open_[idx])
            reject(ORVEX_ERR_PARSE, o, ORVEX_REASON_CYCLE);
        if (stack_.size() >= ORVEX_MAX_DEPTH)
            reject(ORVEX_ERR_LIMIT, o, ORVEX_REASON_TOO_DEEP);
        charge_nodes(count, o);
        Node *n = node_new(dict ? ORVEX_DICT : ORVEX_ARRAY, blocks_);
        if (!n)
            throw std::bad_alloc();
        uint32_t room = static_cast<uint32_t>(count); // charged above, so bounded
        if (room && !(dict ? dict_reserve(n, room) : array_reserve(n, room))) {
            node_free_tree(n);
            throw std::bad_alloc();
        }
        // Pushed only once the node exists, so an unwinding stack never
        // refers to a node nobody owns.
        try {
            stack_.push_back(Frame{n, idx, refs, static_cast<uint32_t>(count), 0, dict});
        } catch (...) {
            node_free_tree(n);
            throw;
        }
        open_[idx] = 1;
        return n;
    }

    // The text of key object `idx`, remembered in `seen` when it lies in the
    // input.
    const char *read_key(uint64_t idx, size_t *klen, SeenKey *seen) {
        uint64_t ko = object_offset(idx);
        unsigned kk = d_[ko] >> 4;
        if (kk != 0x5 && kk != 0x6)
            reject(ORVEX_ERR_PARSE, ko, ORVEX_REASON_BAD_KEY);
        uint64_t budget_was = text_budget_;
        const char *key = text_of(ko, key_buf_, klen);
        // Keys end at their first NUL, as in the XML reader and the C
        // interface; otherwise "a\0b" and "a\0c" would be two entries
        // that no lookup by text can tell apart. The later one wins.
        if (const void *z = std::memchr(key, 0, *klen))
            *klen = static_cast<size_t>(static_cast<const char *>(z) - key);
        if (key != key_buf_.data())
            *seen = SeenKey{idx, ko, budget_was - text_budget_, key, *klen};
        return key;
    }

    void step() {
        Frame &f = stack_.back();
        if (f.next == f.count) {
            open_[f.obj] = 0;
            stack_.pop_back();
            return;
        }
        uint32_t i = f.next++;
        Node *parent = f.node;
        bool dict = f.dict;
        uint64_t val_at = f.refs + (uint64_t(dict ? f.count : 0) + i) * ref_size_;
        const char *key = nullptr;
        size_t klen = 0;
        if (dict) {
            uint64_t kidx = read_ref(f.refs + uint64_t(i) * ref_size_);
            SeenKey &seen = seen_[kidx & (SEEN_KEYS - 1)];
            if (seen.obj == kidx) {
                // Each copy of a key costs what reading it did.
                charge_text(seen.charged, seen.at);
                key = seen.text;
                klen = seen.len;
            } else {
                key = read_key(kidx, &klen, &seen);
            }
        }
        uint64_t idx = read_ref(val_at);
        // `f` may dangle once instantiate pushes a frame.
        Node *c = instantiate(idx, object_offset(idx));
        bool ok = dict ? dict_put(parent, key, klen, c) : array_push(parent, c);
        if (!ok) {
            if (is_container(c->type))
                stack_.pop_back();
            node_free_tree(c);
            throw std::bad_alloc();
        }
    }
};

} // namespace

orvex_err_t bin_read(const char *data, uint64_t length, Node **root, ParseError *err) {
    *root = nullptr;
    if (!data) {
        *err = {ORVEX_ERR_FORMAT, 0, ORVEX_REASON_NOT_BINARY};
        return err->code;
    }
    return reading_boundary(err, [&] { *root = Reader(data, length).run(); });
}

} // namespace orvex_store
