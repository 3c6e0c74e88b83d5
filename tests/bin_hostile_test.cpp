// Binary reader against hostile input: every case is rejected with a reason,
// without a crash, a hang or a large allocation (run under ASan).
#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "bin_doc.hpp"
#include "documents.hpp"
#include "expect_tree.hpp"

using namespace orvex_test;

namespace {

// Reads `s` and checks that the outcome is reported consistently; the tree
// read goes to `kept` when it is given, else it is freed.
orvex_parse_result parse(const std::string &s, orvex_t *kept = nullptr) {
    orvex_parse_result r{};
    orvex_t root = reinterpret_cast<orvex_t>(&r);
    orvex_parse(s.data(), s.size(), ORVEX_FORMAT_BINARY, &root, nullptr, &r);
    if (r.code != ORVEX_ERR_SUCCESS) {
        EXPECT_EQ(root, nullptr);
        EXPECT_STREQ(r.reason, orvex_reason_text(r.cause));
        EXPECT_LE(r.offset, s.size());
    } else {
        EXPECT_EQ(r.cause, ORVEX_REASON_NONE);
        EXPECT_NE(root, reinterpret_cast<orvex_t>(&r));
        EXPECT_NE(root, nullptr);
    }
    if (kept)
        *kept = root;
    else
        orvex_free(root);
    return r;
}

orvex_err_t code(const std::string &s) { return parse(s).code; }

// A document's outcome: the code and the reason, so that a document turned
// away for another fault than the one a case is about fails the case.
struct Why {
    orvex_err_t code;
    orvex_reason_t cause;
    bool operator==(const Why &o) const { return code == o.code && cause == o.cause; }
};

std::ostream &operator<<(std::ostream &os, const Why &w) {
    return os << w.code << " (" << orvex_reason_text(w.cause) << ")";
}

Why why(const std::string &s) {
    orvex_parse_result r = parse(s);
    return {r.code, r.cause};
}

Why refused(orvex_reason_t cause) { return {ORVEX_ERR_PARSE, cause}; }
Why over_limit(orvex_reason_t cause) { return {ORVEX_ERR_LIMIT, cause}; }
const Why OK = {ORVEX_ERR_SUCCESS, ORVEX_REASON_NONE};

std::string with_field(std::string doc, size_t from_end, uint64_t v, unsigned w) {
    doc.replace(doc.size() - from_end, w, be(v, w));
    return doc;
}

// A document using every object kind, long-form counts and two-byte references.
std::string rich_doc() {
    orvex_t d = orvex_new_dict();
    orvex_t a = orvex_new_array();
    for (int i = 0; i < 300; ++i)
        orvex_array_append_item(a, orvex_new_uint(uint64_t(i) * 1000003u));
    orvex_dict_set_item(d, "numbers", a);
    orvex_dict_set_item(d, "text", orvex_new_string("caf\xC3\xA9 \xF0\x9F\x98\x80 and a long tail"));
    orvex_dict_set_item(d, "ascii", orvex_new_string("a string longer than fifteen bytes"));
    orvex_dict_set_item(d, "data", orvex_new_data("\0\1\2\3\4\5\6\7\10\11\12\13\14\15\16\17\20", 17));
    orvex_dict_set_item(d, "date", orvex_new_date(-12345.5));
    orvex_dict_set_item(d, "real", orvex_new_real(2.5));
    orvex_dict_set_item(d, "uid", orvex_new_uid(70000));
    orvex_dict_set_item(d, "big", orvex_new_uint(UINT64_MAX));
    orvex_dict_set_item(d, "yes", orvex_new_bool(1));
    orvex_dict_set_item(d, "none", orvex_new_null());
    std::string s = encode(d, ORVEX_FORMAT_BINARY);
    orvex_free(d);
    return s;
}

} // namespace

TEST(BinHostile, TruncatedAtEveryCutPoint) {
    std::vector<char> lib = read_file(data_path("library.bin"));
    for (const std::string &doc : {rich_doc(), std::string(lib.begin(), lib.end())}) {
        ASSERT_EQ(code(doc), ORVEX_ERR_SUCCESS);
        // Shorter than the magic; than the magic, one object, one offset and
        // the trailer; or longer, when the last 32 bytes are no trailer.
        for (size_t cut = 0; cut < doc.size(); ++cut) {
            Why want = cut == 0           ? refused(ORVEX_REASON_EMPTY)
                       : cut < 8          ? Why{ORVEX_ERR_FORMAT, ORVEX_REASON_NOT_BINARY}
                       : cut < 8 + 2 + 32 ? refused(ORVEX_REASON_TRUNCATED)
                                          : refused(ORVEX_REASON_BAD_TRAILER);
            EXPECT_EQ(why(doc.substr(0, cut)), want) << "cut at " << cut;
        }
    }
}

TEST(BinHostile, EveryByteCorruptedIsRefusedOrReadWhole) {
    std::string doc = rich_doc();
    for (size_t i = 8; i < doc.size(); ++i) {
        bool written = false;
        for (int v : {0x00, 0x0F, 0x7F, 0x80, 0xFF, (uint8_t(doc[i]) + 1) & 0xFF}) {
            std::string bad = doc;
            bad[i] = char(v);
            orvex_t read = nullptr;
            if (parse(bad, &read).code != ORVEX_ERR_SUCCESS || written) {
                orvex_free(read);
                continue;
            }
            // What is accepted is a whole tree: written and read again, it is
            // the same (once a byte, which keeps valgrind's run short).
            written = true;
            Tree tree(read);
            Tree back(decode(encode(tree.get(), ORVEX_FORMAT_BINARY), ORVEX_FORMAT_BINARY));
            EXPECT_TRUE(orvex_equal(tree.get(), back.get())) << "byte " << i << " = " << v;
        }
    }
}

TEST(BinHostile, TrailerFieldsOutOfRange) {
    std::string ok = make_doc({"\xA1\x01", "\x09"});
    ASSERT_EQ(code(ok), ORVEX_ERR_SUCCESS);
    uint64_t table = be_at(ok, ok.size() - TABLE_AT, 8);
    struct {
        size_t at;
        unsigned w;
        uint64_t v;
    } cases[] = {
        {OFF_SIZE_AT, 1, 0},
        {OFF_SIZE_AT, 1, 9},
        {REF_SIZE_AT, 1, 0},
        {REF_SIZE_AT, 1, 9},
        {COUNT_AT, 8, 0},
        {COUNT_AT, 8, 3},
        {COUNT_AT, 8, UINT64_MAX},
        {COUNT_AT, 8, UINT64_MAX / 2 + 1},
        {TOP_AT, 8, 2},
        {TOP_AT, 8, UINT64_MAX},
        {TABLE_AT, 8, 0},
        {TABLE_AT, 8, 8},
        {TABLE_AT, 8, ok.size() - 31},
        {TABLE_AT, 8, UINT64_MAX},
        {TABLE_AT, 8, table + 1},
    };
    for (auto &c : cases) {
        orvex_parse_result r = parse(with_field(ok, c.at, c.v, c.w));
        EXPECT_EQ((Why{r.code, r.cause}), refused(ORVEX_REASON_BAD_TRAILER)) << c.at << " = " << c.v;
        EXPECT_GE(r.offset, ok.size() - 32) << c.at << " = " << c.v;
    }
    EXPECT_EQ(why("bplist00"), refused(ORVEX_REASON_TRUNCATED));
    EXPECT_EQ(why("xplist00" + ok.substr(8)), (Why{ORVEX_ERR_FORMAT, ORVEX_REASON_NOT_BINARY}));
}

TEST(BinHostile, OffsetsAndLengthsOutsideTheObjectArea) {
    std::string ok = make_doc({"\xA1\x01", "\x09"});
    size_t table = be_at(ok, ok.size() - TABLE_AT, 8);
    for (uint64_t off :
         {uint64_t(0), uint64_t(7), uint64_t(table), uint64_t(ok.size() - 20), uint64_t(255)}) {
        std::string bad = ok;
        bad[table + 1] = char(off); // second object's offset
        EXPECT_EQ(why(bad), refused(ORVEX_REASON_BAD_OFFSET)) << off;
    }
    const std::string past[] = {
        bytes({0x5F, 0x13, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), // ASCII length
        bytes({0x6F, 0x13, 0x80, 0, 0, 0, 0, 0, 0, 1}),                      // UTF-16 units overflow
        bytes({0x4F, 0x10, 0xFF}),                                           // data length
        bytes({0x4F, 0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), // 16-byte length
        bytes({0x4F, 0x22, 0, 0, 0, 0}),                                     // length not an integer
        bytes({0x4F}),                                                       // length missing
        bytes({0x5E, 'a'}),
        bytes({0x13, 0, 0}),
        bytes({0x23, 0}),
        bytes({0x33, 0}),
        bytes({0x87, 1}),
    };
    for (const std::string &obj : past)
        EXPECT_EQ(why(make_doc({obj})), refused(ORVEX_REASON_BAD_OBJECT)) << obj.size();
    // A container whose references run past the object area.
    EXPECT_EQ(why(make_doc({bytes({0xAF, 0x12, 0x10, 0, 0, 0}), "\x09"})), refused(ORVEX_REASON_BAD_OBJECT));
    EXPECT_EQ(why(make_doc({bytes({0xD3, 1, 1, 1}), "\x09"})), refused(ORVEX_REASON_BAD_OBJECT));
    // A reference to an object that does not exist.
    EXPECT_EQ(why(make_doc({"\xA2\x01\x02", "\x09"})), refused(ORVEX_REASON_BAD_REFERENCE));
}

TEST(BinHostile, UnknownMarkersAndWidths) {
    const std::string bad[] = {
        bytes({0x0F}),
        bytes({0x01}),
        bytes({0x70}),
        bytes({0x90}),
        bytes({0xB0}),
        bytes({0xE0}),
        bytes({0xF0}),
        bytes({0x15, 0}),
        bytes({0x21, 0, 0}),
        bytes({0x24, 0, 0, 0, 0, 0, 0, 0, 0}),
        bytes({0x32, 0, 0, 0, 0}),
        bytes({0x34, 0, 0, 0, 0, 0, 0, 0, 0}),
    };
    for (const std::string &obj : bad)
        EXPECT_EQ(why(make_doc({obj})), refused(ORVEX_REASON_BAD_MARKER)) << int(uint8_t(obj[0]));
    // Values the store cannot hold.
    const struct {
        std::string obj;
        orvex_reason_t cause;
    } wide[] = {
        {bytes({0x14, 0, 0, 0, 0, 0, 0, 0, 1}) + std::string(8, '\0'), ORVEX_REASON_INTEGER_RANGE},
        {bytes({0x14}) + std::string(8, '\xFF') + std::string(8, '\0'),
         ORVEX_REASON_INTEGER_RANGE}, // top bit clear
        {bytes({0x88, 1, 0, 0, 0, 0, 0, 0, 0, 0}), ORVEX_REASON_UID_RANGE},
    };
    for (const auto &w : wide)
        EXPECT_EQ(why(make_doc({w.obj})), over_limit(w.cause)) << int(uint8_t(w.obj[0]));
}

TEST(BinHostile, NonStringKeys) {
    for (const std::string &key :
         {bytes({0x10, 1}), bytes({0xA0}), bytes({0x41, 'k'}), bytes({0x09}), bytes({0x80, 1})}) {
        orvex_parse_result r = parse(make_doc({"\xD1\x01\x02", key, "\x09"}));
        EXPECT_EQ((Why{r.code, r.cause}), refused(ORVEX_REASON_BAD_KEY));
        EXPECT_EQ(r.offset, 11u); // the key object
    }
}

TEST(BinHostile, CyclesAreRejected) {
    const Why cycle = refused(ORVEX_REASON_CYCLE);
    EXPECT_EQ(why(make_doc({bytes({0xA1, 0})})), cycle);                   // itself
    EXPECT_EQ(why(make_doc({bytes({0xA1, 1}), bytes({0xC1, 0})})), cycle); // through a set
    EXPECT_EQ(why(make_doc({bytes({0xD1, 1, 0}), "\x51k"})), cycle);       // own value
    EXPECT_EQ(why(make_doc({"\xA1\x01", "\xA1\x02", "\xA1\x01"})), cycle); // below the top
}

TEST(BinHostile, NestingLimit) {
    auto chain = [](size_t depth) {
        std::vector<std::string> objs;
        for (size_t i = 0; i + 1 < depth; ++i)
            objs.push_back("\xA1" + be(i + 1, 4));
        objs.push_back("\xA0");
        return make_doc(objs, 4);
    };
    EXPECT_EQ(why(chain(ORVEX_MAX_DEPTH)), OK);
    EXPECT_EQ(why(chain(ORVEX_MAX_DEPTH + 1)), over_limit(ORVEX_REASON_TOO_DEEP));
    EXPECT_EQ(why(chain(100000)), over_limit(ORVEX_REASON_TOO_DEEP));
}

namespace {

// Objects 0..levels-1 are arrays, each holding the next object twice; the
// last object is `leaf`. Expands into 2^(levels+1) - 1 nodes.
std::vector<std::string> doubling_chain(int levels, const std::string &leaf, int first = 0) {
    std::vector<std::string> objs;
    for (int i = 0; i < levels; ++i)
        objs.push_back(bytes({0xA2, first + i + 1, first + i + 1}));
    objs.push_back(leaf);
    return objs;
}

// An array of `n` references, each `ref_size` bytes wide, all to object `to`.
std::string array_of_refs(uint64_t n, uint64_t to, unsigned ref_size) {
    std::string a = bytes({0xAF, 0x12}) + be(n, 4);
    for (uint64_t i = 0; i < n; ++i)
        a += be(to, ref_size);
    return a;
}

uint64_t count_nodes(orvex_t root) {
    uint64_t n = 0;
    std::vector<orvex_t> todo{root};
    while (!todo.empty()) {
        orvex_t x = todo.back();
        todo.pop_back();
        ++n;
        push_children(x, todo);
    }
    return n;
}

} // namespace

TEST(BinShared, ContainersStoredOnceAndReferencedOftenRead) {
    // A small dictionary (five entries) that an array holds 10,000 times.
    std::vector<std::string> dict_doc = {array_of_refs(10000, 1, 1),
                                         bytes({0xD5, 2, 3, 4, 5, 6, 7, 7, 7, 7, 7})};
    for (char k = 'a'; k < 'f'; ++k)
        dict_doc.push_back(bytes({0x51, k}));
    dict_doc.push_back("\x09");
    // Twelve entries with one key repeated: the repeat replaces, not adds.
    std::vector<std::string> repeat_doc = {"\xDC"};
    for (int i = 0; i < 12; ++i)
        repeat_doc[0] += char(i < 11 ? 1 + i : 1);
    repeat_doc[0] += std::string(12, char(12));
    for (char k = 'a'; k < 'l'; ++k)
        repeat_doc.push_back(bytes({0x51, k}));
    repeat_doc.push_back("\x09");
    struct Case {
        const char *what;
        std::string doc;
        uint64_t nodes;
    } cases[] = {
        {"dictionary with a repeated key", make_doc(repeat_doc), 12},
        {"twelve-level binary tree", make_doc(doubling_chain(12, "\xA0")), 8191},
        {"nine-level chain", make_doc(doubling_chain(9, "\x10\x01")), 1023},
        {"dictionary shared 10,000 times", make_doc(dict_doc), 60001},
    };
    EXPECT_LT(cases[1].doc.size(), 100u);
    EXPECT_EQ(cases[2].doc.size(), 79u);
    for (const Case &c : cases) {
        orvex_t root = nullptr;
        orvex_parse_result r{};
        EXPECT_EQ(orvex_parse(c.doc.data(), c.doc.size(), ORVEX_FORMAT_BINARY, &root, nullptr, &r),
                  ORVEX_ERR_SUCCESS)
            << c.what << ": " << (r.reason ? r.reason : "");
        EXPECT_EQ(count_nodes(root), c.nodes) << c.what;
        orvex_free(root);
    }
}

TEST(BinShared, EachNodeIsChargedOnceAgainstTheLargerBound) {
    // 1 + (2^20 - 1) + 1 nodes: just past the fixed allowance, so the bound
    // is 2 per input byte, and unread padding sets the input size exactly.
    // Charging containers twice, or adding the two bounds, would flip a case.
    const uint64_t nodes = ORVEX_EXPANSION_NODES + 1;
    auto doc = [](uint64_t size) {
        std::vector<std::string> objs = {bytes({0xA2, 1, 21})};
        for (const std::string &o : doubling_chain(19, "\x09", 1))
            objs.push_back(o);
        objs.push_back(bytes({0x4F, 0x12}) + be(0, 4)); // padding, grown below
        std::string d = make_doc(objs, 1);
        for (int64_t pad = 0; d.size() != size;) { // the offset width follows the size
            pad += int64_t(size) - int64_t(d.size());
            objs.back() = bytes({0x4F, 0x12}) + be(pad, 4) + std::string(pad, 'p');
            d = make_doc(objs, 1);
        }
        return d;
    };
    std::string fits = doc((nodes + 1) / 2), over = doc((nodes + 1) / 2 - 1);
    ASSERT_EQ(fits.size(), (nodes + 1) / 2);
    orvex_t root = nullptr;
    ASSERT_EQ(orvex_parse(fits.data(), fits.size(), ORVEX_FORMAT_BINARY, &root, nullptr, nullptr),
              ORVEX_ERR_SUCCESS);
    EXPECT_EQ(count_nodes(root), nodes);
    orvex_free(root);
    EXPECT_EQ(why(over), over_limit(ORVEX_REASON_EXPANSION));
}

TEST(BinShared, ExpansionPastTheAllowanceIsRefused) {
    // Text: one 1 MiB string, referenced up to the 64 MiB allowance and once more.
    const uint64_t mib = 1 << 20, times = ORVEX_EXPANSION_BYTES / mib;
    std::string big = bytes({0x5F, 0x12}) + be(mib, 4) + std::string(mib, 'x');
    EXPECT_EQ(code(make_doc({array_of_refs(times, 1, 1), big})), ORVEX_ERR_SUCCESS);
    EXPECT_EQ(why(make_doc({array_of_refs(times + 1, 1, 1), big})), over_limit(ORVEX_REASON_EXPANSION));
    // Keys: a dictionary with that string as its key, shared as often. A key
    // read again is charged again, as its copy into each dictionary costs.
    const std::string dict = bytes({0xD1, 2, 3});
    EXPECT_EQ(code(make_doc({array_of_refs(times, 1, 1), dict, big, "\x09"})), ORVEX_ERR_SUCCESS);
    EXPECT_EQ(why(make_doc({array_of_refs(times + 1, 1, 1), dict, big, "\x09"})),
              over_limit(ORVEX_REASON_EXPANSION));
    // Nodes: 2^41 - 1 from forty levels of a shared binary tree.
    EXPECT_EQ(why(make_doc(doubling_chain(40, "\x09"))), over_limit(ORVEX_REASON_EXPANSION));
    // Modest sharing in a small document stays legal.
    EXPECT_EQ(code(make_doc({"\xA3\x01\x01\x01", "\xA2\x02\x02", "\x51s"})), ORVEX_ERR_SUCCESS);
}
