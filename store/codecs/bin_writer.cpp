// Binary writer. Two passes, both iterative: the first numbers the objects
// (each container once per occurrence, equal scalars once through a hash
// table) and records every container's references; the second lays the
// objects out in number order, then the offset table and the trailer.
//
// Widths: integers in the fewest of 1, 2, 4 or 8 bytes (negative values in 8,
// unsigned values past 2^63-1 in 16), reals and dates as 8-byte doubles, UIDs
// in the fewest of 1, 2, 4 or 8 bytes, references and offsets in the fewest of
// 1, 2 or 4 bytes (object numbers and documents stay below 2^32). Other widths
// are legal in the encoding but not read by every reader, so they are never
// written.
// Text that is not valid UTF-8 (the store accepts any bytes through its C
// interface) is written with U+FFFD for each malformed sequence.
// The encoding has no key type: a key node standing as a value (from an XML
// document or the C interface) is written as a string and reads back as one.
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "codecs/codecs.hpp"
#include "codecs/key_order.hpp"
#include "text/utf16.hpp"

namespace orvex_store {
namespace {

enum Kind : uint8_t {
    K_NULL,
    K_FALSE,
    K_TRUE,
    K_INT,
    K_REAL,
    K_DATE,
    K_UID,
    K_DATA,
    K_STRING,
    K_ARRAY,
    K_DICT
};

struct Obj {
    const void *ptr; // text or bytes; the node of a container
    uint64_t val;    // bits of a fixed-width value; length of text or bytes
    uint32_t refs;   // containers: first reference in the reference list
    uint32_t count;  // containers: items, or entries of a dictionary
    uint8_t kind;
    uint8_t neg;   // integers: a negative signed value
    uint8_t utf16; // strings: not ASCII, written as `count` UTF-16 units
};

inline uint64_t mix(uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdull;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ull;
    x ^= x >> 33;
    return x;
}

uint64_t hash_bytes(const char *p, size_t n, uint64_t seed) {
    const uint64_t k = 0x9E3779B97F4A7C15ull;
    uint64_t h = seed * k ^ n;
    if (n >= 64) {
        // Four independent lanes: one chain's multiply latency would bound a
        // large blob's hash to a fraction of the memory's speed.
        uint64_t lane[4] = {h, h ^ 1, h ^ 2, h ^ 3};
        for (; n >= 32; n -= 32, p += 32)
            for (int j = 0; j < 4; ++j) {
                uint64_t w;
                std::memcpy(&w, p + 8 * j, 8);
                lane[j] = (lane[j] ^ w) * k;
                lane[j] ^= lane[j] >> 29;
            }
        h = mix(lane[0]) ^ mix(lane[1] + 1) * 3 ^ mix(lane[2] + 2) * 5 ^ mix(lane[3] + 3) * 7;
    }
    for (; n >= 8; n -= 8, p += 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ w) * k;
        h ^= h >> 29;
    }
    if (n) {
        uint64_t w = 0;
        std::memcpy(&w, p, n);
        h = (h ^ w) * k;
    }
    return mix(h);
}

inline bool is_text_kind(uint8_t k) { return k == K_STRING || k == K_DATA; }

inline unsigned width_for(uint64_t v) { return v <= 0xFF ? 1 : v <= 0xFFFF ? 2 : v <= 0xFFFFFFFF ? 4 : 8; }

class Writer {
  public:
    void number(const Node *root) {
        add_value(root);
        while (!work_.empty()) {
            uint32_t idx = work_.back();
            work_.pop_back();
            if (sorted_)
                fill_sorted(idx);
            else
                fill(idx);
        }
    }

    Writer(Output &out, bool sorted) : out_(out), sorted_(sorted) {}

    uint32_t emit() {
        uint64_t n = objs_.size();
        unsigned ref_size = width_for(n - 1);
        // The exact size first, so the document takes one allocation of its
        // own size (a caller's vector is grown once, and never past it).
        uint64_t objects = 8, last = 0;
        for (Obj &o : objs_) {
            last = size_of(o, ref_size);
            objects += last;
            if (objects > MAX_OUT)
                throw TooLarge();
        }
        unsigned off_size = width_for(objects - last);
        uint64_t total = objects + n * off_size + 32;
        if (total > MAX_OUT)
            throw TooLarge();
        std::vector<uint64_t> offsets(n);
        reserve(total);
        put_bytes("bplist00", 8);
        for (uint64_t i = 0; i < n; ++i) {
            offsets[i] = pos_;
            put_obj(objs_[i], ref_size);
        }
        uint64_t table = pos_;
        ensure(n * off_size + 32);
        for (uint64_t o : offsets)
            put_be(o, off_size);
        std::memset(buf_ + pos_, 0, 6);
        pos_ += 6;
        buf_[pos_++] = static_cast<char>(off_size);
        buf_[pos_++] = static_cast<char>(ref_size);
        put_be(n, 8);
        put_be(0, 8);
        put_be(table, 8);
        out_.trim(pos_, cap_);
        return static_cast<uint32_t>(pos_);
    }

  private:
    std::vector<Obj> objs_;
    std::vector<uint32_t> refs_;
    std::vector<uint32_t> work_; // containers numbered but not yet filled
    struct Slot {
        uint32_t hash;
        uint32_t obj; // object index + 1; 0 for an empty slot
    };
    std::vector<Slot> table_;
    uint64_t table_used_ = 0;
    Output &out_;
    const bool sorted_;   // dictionary entries in key order
    char *buf_ = nullptr; // out_'s memory
    uint64_t pos_ = 0, cap_ = 0;

    uint32_t new_obj(const Obj &o) {
        if (objs_.size() >= UINT32_MAX)
            throw TooLarge();
        objs_.push_back(o);
        return static_cast<uint32_t>(objs_.size() - 1);
    }

    void grow_table() {
        size_t size = table_.empty() ? 1024 : table_.size() * 2;
        std::vector<Slot> t(size, Slot{0, 0});
        size_t mask = size - 1;
        for (const Slot &s : table_) {
            if (!s.obj)
                continue;
            size_t i = s.hash & mask;
            while (t[i].obj)
                i = (i + 1) & mask;
            t[i] = s;
        }
        table_.swap(t);
    }

    // A value as the numbering sees it: the key under which equal scalars
    // meet, with its hash; containers have no key.
    struct Scalar {
        const void *ptr;
        uint64_t val;
        uint64_t hash;
        uint8_t kind;
        uint8_t neg;
    };

    static Scalar scalar_of(uint8_t kind, const void *ptr, uint64_t val, uint8_t neg) {
        if (is_text_kind(kind) && val > MAX_OUT)
            throw TooLarge();
        uint64_t h = is_text_kind(kind) ? hash_bytes(static_cast<const char *>(ptr), val, kind)
                                        : mix(val ^ (uint64_t(kind) << 56) ^ (uint64_t(neg) << 55));
        return Scalar{ptr, val, h, kind, neg};
    }

    static Scalar scalar_of(const Node *n) {
        switch (n->type) {
        case ORVEX_ARRAY:
            return Scalar{n, 0, 0, K_ARRAY, 0};
        case ORVEX_DICT:
            return Scalar{n, 0, 0, K_DICT, 0};
        case ORVEX_BOOLEAN:
            return scalar_of(n->v.b ? K_TRUE : K_FALSE, nullptr, 0, 0);
        case ORVEX_INT:
            return scalar_of(K_INT, nullptr, n->v.u, int_is_negative(n));
        case ORVEX_REAL:
            return scalar_of(K_REAL, nullptr, n->v.u, 0);
        case ORVEX_DATE:
            return scalar_of(K_DATE, nullptr, n->v.u, 0); // the double's bits, fraction kept
        case ORVEX_UID:
            return scalar_of(K_UID, nullptr, n->v.u, 0);
        case ORVEX_STRING:
        case ORVEX_KEY:
        case ORVEX_DATA: {
            size_t len;
            const char *p = node_text(n, &len);
            return scalar_of(n->type == ORVEX_DATA ? K_DATA : K_STRING, p, len, 0);
        }
        default:
            return scalar_of(K_NULL, nullptr, 0, 0);
        }
    }

    // The object number of a value: a new one for a container (filled
    // later), otherwise the number shared with every equal scalar so far.
    uint32_t number_of(const Scalar &s) {
        if (s.kind == K_ARRAY || s.kind == K_DICT) {
            uint32_t idx = new_obj(Obj{s.ptr, 0, 0, 0, s.kind, 0, 0});
            work_.push_back(idx);
            return idx;
        }
        uint32_t h = static_cast<uint32_t>(s.hash);
        size_t mask = table_.size() - 1;
        size_t i = h & mask;
        while (uint32_t e = table_[i].obj) {
            if (table_[i].hash == h) {
                const Obj &o = objs_[e - 1];
                if (o.kind == s.kind && o.val == s.val && o.neg == s.neg &&
                    (!is_text_kind(s.kind) || std::memcmp(o.ptr, s.ptr, s.val) == 0))
                    return e - 1;
            }
            i = (i + 1) & mask;
        }
        uint32_t idx = new_obj(Obj{s.ptr, s.val, 0, 0, s.kind, s.neg, 0});
        table_[i] = Slot{h, idx + 1};
        ++table_used_;
        return idx;
    }

    // Room for `n` more scalars without the table growing, so the slots
    // prefetched for a batch stay where they are.
    void make_room(uint64_t n) {
        while ((table_used_ + n) * 2 > table_.size())
            grow_table();
    }

    void prefetch(const Scalar &s) {
        if (s.kind != K_ARRAY && s.kind != K_DICT)
            __builtin_prefetch(&table_[s.hash & (table_.size() - 1)]);
    }

    void add_value(const Node *n) {
        make_room(1);
        number_of(scalar_of(n));
    }

    void push_ref(uint32_t r) {
        if (refs_.size() >= UINT32_MAX)
            throw TooLarge();
        refs_.push_back(r);
    }

    // Values are hashed a batch at a time and their slots prefetched before
    // any is looked up: on large documents the table lookups miss the cache,
    // and this lets the misses overlap.
    static constexpr uint32_t BATCH = 16;

    template <class Get> void number_batched(uint32_t count, Get &&get) {
        Scalar batch[BATCH];
        for (uint32_t at = 0; at < count; at += BATCH) {
            uint32_t n = count - at < BATCH ? count - at : BATCH;
            make_room(n);
            for (uint32_t k = 0; k < n; ++k) {
                batch[k] = get(at + k);
                prefetch(batch[k]);
            }
            for (uint32_t k = 0; k < n; ++k)
                push_ref(number_of(batch[k]));
        }
    }

    // Dictionaries of one document tend to repeat the same few keys. The
    // store keeps a hash of each key; a small cache on it answers most key
    // lookups without hashing the text again or touching the large table.
    struct KeyHint {
        const void *text;
        uint32_t len;
        uint32_t obj;
    };
    static constexpr uint32_t HINTS = 256;
    KeyHint hints_[HINTS] = {};

    void number_keys(const DictEntry *e, const uint32_t *live, uint32_t count) {
        Scalar batch[BATCH];
        uint32_t known[BATCH];
        for (uint32_t at = 0; at < count; at += BATCH) {
            uint32_t n = count - at < BATCH ? count - at : BATCH;
            make_room(n);
            for (uint32_t k = 0; k < n; ++k) {
                const DictEntry &x = e[live ? live[at + k] : at + k];
                const KeyHint &h = hints_[x.hash % HINTS];
                if (h.text && h.len == x.klen && std::memcmp(h.text, x.key(), x.klen) == 0) {
                    known[k] = h.obj;
                } else {
                    known[k] = UINT32_MAX;
                    batch[k] = scalar_of(K_STRING, x.key(), x.klen, 0);
                    prefetch(batch[k]);
                }
            }
            for (uint32_t k = 0; k < n; ++k) {
                if (known[k] == UINT32_MAX) {
                    known[k] = number_of(batch[k]);
                    const DictEntry &x = e[live ? live[at + k] : at + k];
                    hints_[x.hash % HINTS] = KeyHint{objs_[known[k]].ptr, x.klen, known[k]};
                }
                push_ref(known[k]);
            }
        }
    }

    void fill(uint32_t idx) {
        const Node *n = static_cast<const Node *>(objs_[idx].ptr);
        uint32_t start = static_cast<uint32_t>(refs_.size());
        uint32_t count = 0;
        if (n->type == ORVEX_ARRAY) {
            count = n->v.arr.size;
            Node *const *items = n->v.arr.items;
            number_batched(count, [&](uint32_t i) { return scalar_of(items[i]); });
        } else if (const DictBody *d = n->v.dict) {
            const DictEntry *e = d->entries;
            if (d->live == d->used) {
                count = d->used;
                number_keys(e, nullptr, count);
                number_batched(count, [&](uint32_t i) { return scalar_of(e[i].val); });
            } else {
                // Removed entries leave holes: number the live ones in order.
                std::vector<uint32_t> live;
                for (const DictEntry &x : live_entries(d))
                    live.push_back(static_cast<uint32_t>(&x - e));
                count = static_cast<uint32_t>(live.size());
                number_keys(e, live.data(), count);
                number_batched(count, [&](uint32_t i) { return scalar_of(e[live[i]].val); });
            }
        }
        objs_[idx].refs = start;
        objs_[idx].count = count;
    }

    // fill() with a dictionary's entries in key order. Apart, so that the
    // walk in store order is what it was.
    [[gnu::noinline]] void fill_sorted(uint32_t idx) {
        const Node *n = static_cast<const Node *>(objs_[idx].ptr);
        const DictBody *d = n->type == ORVEX_DICT ? n->v.dict : nullptr;
        if (!d)
            return fill(idx);
        const uint32_t start = static_cast<uint32_t>(refs_.size());
        std::vector<uint32_t> order;
        sorted_positions(d, order, 0);
        const uint32_t count = static_cast<uint32_t>(order.size());
        const DictEntry *e = d->entries;
        number_keys(e, order.data(), count);
        number_batched(count, [&](uint32_t i) { return scalar_of(e[order[i]].val); });
        objs_[idx].refs = start;
        objs_[idx].count = count;
    }

    // ---- output
    void reserve(uint64_t want) {
        if (want > MAX_OUT + 1)
            want = MAX_OUT + 1;
        if (want <= cap_)
            return;
        buf_ = out_.resize(want);
        cap_ = want;
    }

    void ensure(uint64_t n) {
        if (n > MAX_OUT || pos_ + n > MAX_OUT)
            throw TooLarge();
        if (pos_ + n > cap_) {
            uint64_t want = cap_ * 2;
            if (want < pos_ + n)
                want = pos_ + n;
            reserve(want);
        }
    }

    void put_bytes(const void *p, uint64_t n) {
        ensure(n);
        if (n)
            std::memcpy(buf_ + pos_, p, n);
        pos_ += n;
    }

    // Callers have ensured room.
    void put_be(uint64_t v, unsigned w) {
        unsigned char *d = reinterpret_cast<unsigned char *>(buf_ + pos_);
        for (unsigned i = w; i-- > 0; v >>= 8)
            d[i] = static_cast<unsigned char>(v);
        pos_ += w;
    }

    void put_marker(unsigned m) { buf_[pos_++] = static_cast<char>(m); }

    // Marker with a count: in the low nibble, or as an integer that follows.
    void put_header(unsigned kind, uint64_t count) {
        ensure(10);
        if (count < 15) {
            put_marker(kind << 4 | unsigned(count));
            return;
        }
        put_marker(kind << 4 | 0xF);
        unsigned w = width_for(count);
        put_marker(0x10 | (w == 1 ? 0 : w == 2 ? 1 : w == 4 ? 2 : 3));
        put_be(count, w);
    }

    void put_refs(const uint32_t *r, uint64_t n, unsigned ref_size) {
        ensure(n * ref_size);
        unsigned char *d = reinterpret_cast<unsigned char *>(buf_ + pos_);
        if (ref_size == 1) {
            for (uint64_t i = 0; i < n; ++i)
                d[i] = static_cast<unsigned char>(r[i]);
        } else if (ref_size == 2) {
            for (uint64_t i = 0; i < n; ++i) {
                d[2 * i] = static_cast<unsigned char>(r[i] >> 8);
                d[2 * i + 1] = static_cast<unsigned char>(r[i]);
            }
        } else {
            for (uint64_t i = 0; i < n; ++i) {
                d[4 * i] = static_cast<unsigned char>(r[i] >> 24);
                d[4 * i + 1] = static_cast<unsigned char>(r[i] >> 16);
                d[4 * i + 2] = static_cast<unsigned char>(r[i] >> 8);
                d[4 * i + 3] = static_cast<unsigned char>(r[i]);
            }
        }
        pos_ += n * ref_size;
    }

    static uint64_t header_size(uint64_t count) { return count < 15 ? 1 : 2 + width_for(count); }

    // What put_obj writes for `o`, in bytes. Strings learn here whether they
    // go as UTF-16, so the text is scanned once for both.
    static uint64_t size_of(Obj &o, unsigned ref_size) {
        switch (o.kind) {
        case K_INT:
            if (o.neg || (o.val > 0xFFFFFFFFu && o.val <= uint64_t(INT64_MAX)))
                return 9;
            return o.val > uint64_t(INT64_MAX) ? 17 : 1 + width_for(o.val);
        case K_REAL:
        case K_DATE:
            return 9;
        case K_UID:
            return 1 + width_for(o.val);
        case K_DATA:
            return header_size(o.val) + o.val;
        case K_STRING: {
            const char *s = static_cast<const char *>(o.ptr);
            if (all_ascii(s, o.val))
                return header_size(o.val) + o.val;
            uint64_t units = utf16_units(s, o.val);
            o.utf16 = 1;
            o.count = static_cast<uint32_t>(units); // no more units than bytes, which fit 32 bits
            return header_size(units) + 2 * units;
        }
        case K_ARRAY:
            return header_size(o.count) + uint64_t(o.count) * ref_size;
        case K_DICT:
            return header_size(o.count) + uint64_t(o.count) * 2 * ref_size;
        default:
            return 1;
        }
    }

    void put_obj(const Obj &o, unsigned ref_size) {
        switch (o.kind) {
        case K_NULL:
        case K_FALSE:
        case K_TRUE:
            ensure(1);
            put_marker(o.kind == K_NULL ? 0x00 : o.kind == K_FALSE ? 0x08 : 0x09);
            break;
        case K_INT:
            ensure(17);
            if (o.neg || (o.val > 0xFFFFFFFFu && o.val <= uint64_t(INT64_MAX))) {
                put_marker(0x13);
                put_be(o.val, 8);
            } else if (o.val > uint64_t(INT64_MAX)) {
                put_marker(0x14);
                put_be(0, 8);
                put_be(o.val, 8);
            } else {
                unsigned w = width_for(o.val);
                put_marker(w == 1 ? 0x10 : w == 2 ? 0x11 : 0x12);
                put_be(o.val, w);
            }
            break;
        case K_REAL:
        case K_DATE:
            ensure(9);
            put_marker(o.kind == K_REAL ? 0x23 : 0x33);
            put_be(o.val, 8);
            break;
        case K_UID: {
            ensure(9);
            unsigned w = width_for(o.val);
            put_marker(0x80 | (w - 1));
            put_be(o.val, w);
            break;
        }
        case K_DATA:
            put_header(0x4, o.val);
            put_bytes(o.ptr, o.val);
            break;
        case K_STRING: {
            const char *s = static_cast<const char *>(o.ptr);
            if (!o.utf16) {
                put_header(0x5, o.val);
                put_bytes(s, o.val);
            } else {
                uint64_t units = o.count;
                put_header(0x6, units);
                ensure(units * 2);
                utf8_to_utf16be(s, o.val, reinterpret_cast<unsigned char *>(buf_ + pos_));
                pos_ += units * 2;
            }
            break;
        }
        case K_ARRAY:
            put_header(0xA, o.count);
            put_refs(refs_.data() + o.refs, o.count, ref_size);
            break;
        case K_DICT:
            put_header(0xD, o.count);
            put_refs(refs_.data() + o.refs, uint64_t(o.count) * 2, ref_size);
            break;
        }
    }
};

} // namespace

orvex_err_t bin_write(const Node *root, Output &out, uint32_t *length, uint32_t flags) {
    *length = 0;
    return writing_boundary([&] {
        Writer w(out, flags & ORVEX_WRITE_SORTED);
        w.number(root);
        *length = w.emit();
    });
}

} // namespace orvex_store
