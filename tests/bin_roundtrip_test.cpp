// Binary encoding: the reference documents, round trips of every type and
// edge value, the widths we choose, and format detection.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bin_doc.hpp"
#include "documents.hpp"
#include "expect_tree.hpp"

using namespace orvex_test;

namespace {

std::string to_bin(orvex_t n) { return encode(n, ORVEX_FORMAT_BINARY); }

// Writes `tree`, reads it back and expects the same tree; returns the bytes.
std::string round_trip(orvex_t tree) {
    std::string bin = to_bin(tree);
    orvex_t back = nullptr;
    EXPECT_EQ(orvex_from_bin(bin.data(), uint32_t(bin.size()), &back), ORVEX_ERR_SUCCESS);
    EXPECT_TRUE(orvex_equal(tree, back)) << describe(tree) << "---\n" << describe(back);
    orvex_free(back);
    return bin;
}

// Trailer fields of an encoded document.
uint64_t object_count(const std::string &bin) { return be_at(bin, bin.size() - COUNT_AT, 8); }
unsigned ref_size(const std::string &bin) { return uint8_t(bin[bin.size() - REF_SIZE_AT]); }

} // namespace

TEST(BinSamples, EachReadsToItsTreeAndOurEncodingReadsBack) {
    const char *names[] = {"data",          "dates-fractional", "dates",   "empty-array", "empty-dict",
                           "integers",      "library",          "nesting", "reals",       "scalars",
                           "shared-values", "nonfinite-reals",  "text",    "uids"};
    for (const char *name : names) {
        SCOPED_TRACE(name);
        std::vector<char> bytes = read_file(data_path(std::string(name) + ".bin"));
        orvex_t expect = load_expect_tree(data_path(std::string(name) + ".bin.expect.json"));
        ASSERT_FALSE(bytes.empty());
        ASSERT_NE(expect, nullptr);
        orvex_t got = nullptr;
        orvex_format_t fmt = ORVEX_FORMAT_NONE;
        ASSERT_EQ(orvex_from_memory(bytes.data(), uint32_t(bytes.size()), &got, &fmt), ORVEX_ERR_SUCCESS);
        EXPECT_EQ(fmt, ORVEX_FORMAT_BINARY);
        EXPECT_TRUE(orvex_equal(got, expect)) << describe(got) << "---\n" << describe(expect);
        std::string ours = round_trip(expect);
        // Our uniquing is at least as thorough as the reference encoder's.
        EXPECT_LE(object_count(ours), object_count(std::string(bytes.begin(), bytes.end())));
        orvex_free(got);
        orvex_free(expect);
    }
}

TEST(BinRoundTrip, IntegersAtEveryWidthEdge) {
    const uint64_t u[] = {0,
                          1,
                          255,
                          256,
                          65535,
                          65536,
                          0xFFFFFFFFull,
                          0x100000000ull,
                          uint64_t(INT64_MAX),
                          uint64_t(INT64_MAX) + 1,
                          UINT64_MAX};
    const int64_t s[] = {-1, -128, -129, -32769, INT32_MIN, int64_t(INT32_MIN) - 1, INT64_MIN};
    orvex_t a = orvex_new_array();
    for (uint64_t v : u)
        orvex_array_append_item(a, orvex_new_uint(v));
    for (int64_t v : s)
        orvex_array_append_item(a, orvex_new_int(v));
    round_trip(a);
    orvex_free(a);

    // Smallest width each, 16 bytes only past 2^63-1, negatives in 8.
    struct {
        orvex_t n;
        std::string body;
    } cases[] = {
        {orvex_new_uint(255), std::string("\x10\xFF", 2)},
        {orvex_new_uint(256), std::string("\x11\x01\x00", 3)},
        {orvex_new_uint(0x100000000ull), std::string("\x13\x00\x00\x00\x01\x00\x00\x00\x00", 9)},
        {orvex_new_int(-1), std::string("\x13") + std::string(8, '\xFF')},
        {orvex_new_uint(UINT64_MAX), std::string("\x14") + std::string(8, '\0') + std::string(8, '\xFF')},
    };
    for (auto &c : cases) {
        std::string bin = to_bin(c.n);
        EXPECT_EQ(bin.substr(8, c.body.size()), c.body);
        orvex_t back = nullptr;
        ASSERT_EQ(orvex_from_bin(bin.data(), uint32_t(bin.size()), &back), ORVEX_ERR_SUCCESS);
        EXPECT_EQ(orvex_int_val_is_negative(back), orvex_int_val_is_negative(c.n));
        orvex_free(back);
        orvex_free(c.n);
    }
}

TEST(BinRoundTrip, RealsDatesUidsTextAndData) {
    orvex_t a = array_of({
        orvex_new_real(0.0),
        orvex_new_real(-0.0),
        orvex_new_real(NAN),
        orvex_new_real(-INFINITY),
        orvex_new_real(5e-324),
        orvex_new_real(0.1),
        orvex_new_date(-1e9 + 0.25), // 1969
        orvex_new_date(-0.5),        // just before 2001
        orvex_new_date(1e-9),
        orvex_new_unix_date(-1),
        orvex_new_uid(0),
        orvex_new_uid(255),
        orvex_new_uid(256),
        orvex_new_uid(0x100000000ull),
        orvex_new_uid(UINT64_MAX),
        orvex_new_string(""),
        orvex_new_string("caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80"),
        orvex_new_data(nullptr, 0),
        orvex_new_data("a\0b\0", 4),
        orvex_new_bool(0),
        orvex_new_bool(1),
        orvex_new_null(),
    });
    round_trip(a);
    orvex_free(a);

    // Strings read from a document may hold NUL bytes; surrogate pairs join.
    std::string doc =
        make_doc({"\xA2\x01\x02", bytes({0x53, 'x', 0, 'y'}), bytes({0x62, 0xD8, 0x3D, 0xDE, 0x00})});
    orvex_t t = nullptr;
    ASSERT_EQ(orvex_from_bin(doc.data(), uint32_t(doc.size()), &t), ORVEX_ERR_SUCCESS);
    uint64_t len = 0;
    const char *p = orvex_get_string_ptr(orvex_array_get_item(t, 0), &len);
    EXPECT_EQ(std::string(p, len), std::string("x\0y", 3));
    EXPECT_STREQ(orvex_get_string_ptr(orvex_array_get_item(t, 1), nullptr), "\xF0\x9F\x98\x80");
    round_trip(t);
    orvex_free(t);
}

TEST(BinRead, InputVariantsTheWriterNeverProduces) {
    struct Case {
        std::string obj;
        orvex_t expect;
    } cases[] = {
        {bytes({0x22, 0x3F, 0xC0, 0, 0}), orvex_new_real(1.5)}, // 4-byte real
        {std::string("\x14") + std::string(8, '\xFF') + std::string("\x80") + std::string(7, '\0'),
         orvex_new_int(INT64_MIN)}, // sign-extended 16-byte integer
        {std::string("\x13") + std::string(7, '\0') + "\x05", orvex_new_int(5)},
        {std::string("\x8F") + std::string(15, '\0') + "\x07", orvex_new_uid(7)},
        {"\x52\x63\xE9", orvex_new_string("c\xC3\xA9")}, // single-byte text as Latin-1
        {bytes({0x62, 0xD8, 0x3D, 0, 0x41}), orvex_new_string("\xEF\xBF\xBD"
                                                              "A")}, // lone high surrogate
        {bytes({0x61, 0xDC, 0}), orvex_new_string("\xEF\xBF\xBD")},  // lone low surrogate
        {"\x4F\x10\x02\xAB\xCD", orvex_new_data("\xAB\xCD", 2)},     // long-form length
    };
    for (auto &c : cases) {
        SCOPED_TRACE(describe(c.expect));
        std::string doc = make_doc({c.obj});
        orvex_t got = nullptr;
        EXPECT_EQ(orvex_from_bin(doc.data(), uint32_t(doc.size()), &got), ORVEX_ERR_SUCCESS);
        EXPECT_TRUE(orvex_equal(got, c.expect)) << describe(got);
        orvex_free(got);
        orvex_free(c.expect);
    }

    // A set reads as an array; a container shared by two parents is copied.
    std::string doc = make_doc({"\xA2\x01\x01", "\xC2\x02\x02", "\x10\x07"});
    orvex_t got = nullptr;
    ASSERT_EQ(orvex_from_bin(doc.data(), uint32_t(doc.size()), &got), ORVEX_ERR_SUCCESS);
    orvex_t expect = array_of(
        {array_of({orvex_new_uint(7), orvex_new_uint(7)}), array_of({orvex_new_uint(7), orvex_new_uint(7)})});
    EXPECT_TRUE(orvex_equal(got, expect)) << describe(got);
    orvex_free(got);
    orvex_free(expect);
}

// Some writers put UTF-8 in single-byte strings. Each case is read both as a
// dictionary key and as its value, which share the object. An unused UID
// follows the text: its marker would continue a sequence cut off there.
TEST(BinRead, SingleByteTextIsUtf8WhenValidElseLatin1) {
    struct Case {
        std::string in, text;
    } cases[] = {
        {"90\xE2\x80\x99s Music", "90\xE2\x80\x99s Music"},           // U+2019, as iTunes writes it
        {"\xC2\xA9 2012", "\xC2\xA9 2012"},                           // U+00A9
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},                     // four bytes
        {"caf\xE9", "caf\xC3\xA9"},                                   // Latin-1
        {"\xC2\xA9\xFF", "\xC3\x82\xC2\xA9\xC3\xBF"},                 // valid, then not: all Latin-1
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                             // overlong
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},                 // a surrogate
        {"\xE2\x80", "\xC3\xA2\xC2\x80"},                             // cut off by the object's end
        {std::string("\0\xC3\xA9", 3), std::string("\0\xC3\xA9", 3)}, // a NUL is ASCII
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.in);
        ASSERT_LT(c.in.size(), 15u);
        std::string doc =
            make_doc({"\xD1\x01\x01", std::string(1, char(0x50 | c.in.size())) + c.in, "\x80\x05"});
        orvex_t got = nullptr;
        ASSERT_EQ(orvex_from_bin(doc.data(), uint32_t(doc.size()), &got), ORVEX_ERR_SUCCESS);
        orvex_dict_iter it = nullptr;
        orvex_dict_new_iter(got, &it);
        const char *key = nullptr;
        uint64_t klen = 0;
        orvex_t val = nullptr;
        orvex_dict_next_item_ref(got, it, &key, &klen, &val);
        std::free(it);
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(std::string(key, klen), c.text.substr(0, c.text.find('\0')));
        uint64_t len = 0;
        const char *p = orvex_get_string_ptr(val, &len);
        EXPECT_EQ(std::string(p, len), c.text);
        round_trip(got);
        orvex_free(got);
    }
}

TEST(BinWrite, SharesEqualScalarsAndSizesReferences) {
    // Keys and strings of the same text share one object; containers never do.
    orvex_t d = orvex_new_dict();
    orvex_dict_set_item(d, "same", orvex_new_string("same"));
    orvex_dict_set_item(d, "n", orvex_new_uint(7));
    orvex_dict_set_item(d, "m", orvex_new_int(7));
    orvex_dict_set_item(d, "a", array_of({orvex_new_real(2.5), orvex_new_real(2.5)}));
    orvex_dict_set_item(d, "b", array_of({orvex_new_real(2.5), orvex_new_real(2.5)}));
    std::string bin = round_trip(d);
    // dict, 5 keys, "same" reused as value, 7, 2 arrays, 2.5
    EXPECT_EQ(object_count(bin), 10u);
    EXPECT_EQ(ref_size(bin), 1u);
    orvex_free(d);

    orvex_t big = orvex_new_array();
    for (int i = 0; i < 300; ++i)
        orvex_array_append_item(big, orvex_new_uint(uint64_t(i)));
    bin = round_trip(big);
    EXPECT_EQ(object_count(bin), 301u);
    EXPECT_EQ(ref_size(bin), 2u);
    orvex_free(big);
}

TEST(BinWrite, DictionariesWithRemovedEntriesAndManyKeys) {
    orvex_t root = orvex_new_array();
    for (int d = 0; d < 3; ++d) {
        orvex_t dict = orvex_new_dict();
        for (int i = 0; i < 600; ++i) {
            std::string k = "key " + std::to_string(i % (200 * (d + 1)));
            orvex_dict_set_item(dict, k.c_str(), orvex_new_string(k.c_str()));
        }
        for (int i = 0; i < 600; i += 3)
            orvex_dict_remove_item(dict, ("key " + std::to_string(i)).c_str());
        orvex_array_append_item(root, dict);
    }
    round_trip(root);
    orvex_free(root);
}

TEST(BinWrite, MillionDeepTreeIsWrittenAndRejectedOnRead) {
    // Built from the leaf up: appending below a deep node walks its ancestors.
    orvex_t root = orvex_new_array();
    for (int i = 0; i < 1000000; ++i) {
        orvex_t parent = orvex_new_array();
        orvex_array_append_item(parent, root);
        root = parent;
    }
    std::string bin = to_bin(root);
    orvex_t back = nullptr;
    orvex_parse_result r{};
    EXPECT_EQ(orvex_parse(bin.data(), bin.size(), ORVEX_FORMAT_BINARY, &back, nullptr, &r), ORVEX_ERR_LIMIT);
    EXPECT_EQ(r.cause, ORVEX_REASON_TOO_DEEP);
    EXPECT_EQ(back, nullptr);
    orvex_free(root);
}

// A binary document's nodes are allocated together: each must still be
// replaced, removed, moved to another tree and freed on its own, in any order
// and before or after the rest (the sanitizers and valgrind see a fault).
TEST(BinRead, NodesOfOneDocumentLiveAndDieOnTheirOwn) {
    auto make = [] {
        orvex_t root = orvex_new_array();
        for (int i = 0; i < 700; ++i) { // several blocks of nodes
            orvex_t item = orvex_new_dict();
            orvex_dict_set_item(item, "n", orvex_new_int(i));
            orvex_dict_set_item(item, "text", orvex_new_string(std::string(size_t(i % 40), 'x').c_str()));
            orvex_array_append_item(root, i % 3 ? item : orvex_new_real(i / 4.0));
            if (i % 3 == 0)
                orvex_free(item);
        }
        return root;
    };
    Tree built(make());
    const std::string bin = to_bin(built.get());
    // Each edit runs on the built tree and on the one read, into `moved` for each.
    const struct {
        const char *what;
        void (*edit)(orvex_t root, orvex_t moved);
    } edits[] = {
        {"values replaced",
         [](orvex_t r, orvex_t) {
             for (uint32_t i = 1; i < 700; i += 6) // dictionaries only
                 orvex_dict_set_item(orvex_array_get_item(r, i), "n", orvex_new_string("replaced"));
             orvex_set_int_val(orvex_array_get_item(r, 0), 5);
         }},
        {"items removed",
         [](orvex_t r, orvex_t) {
             for (uint32_t i = 0; i < 300; ++i)
                 orvex_array_remove_item(r, i);
         }},
        {"subtrees moved out",
         [](orvex_t r, orvex_t m) {
             for (uint32_t i = 0; i < 100; ++i)
                 orvex_array_append_item(m, orvex_detach(orvex_array_get_item(r, i * 3)));
         }},
        {"contents swapped and copied",
         [](orvex_t r, orvex_t m) {
             orvex_t fresh = orvex_new_dict();
             orvex_dict_set_item(fresh, "k", orvex_new_bool(1));
             orvex_swap_contents(orvex_array_get_item(r, 2), fresh);
             orvex_array_append_item(m, fresh);
             orvex_array_append_item(m, orvex_copy(orvex_array_get_item(r, 4)));
         }},
    };
    for (const auto &e : edits) {
        for (bool root_first : {true, false}) {
            Tree expected(make()), expected_moved(orvex_new_array());
            e.edit(expected.get(), expected_moved.get());
            orvex_t read = nullptr;
            ASSERT_EQ(orvex_from_bin(bin.data(), uint32_t(bin.size()), &read), ORVEX_ERR_SUCCESS);
            orvex_t moved = orvex_new_array();
            e.edit(read, moved);
            EXPECT_TRUE(orvex_equal(read, expected.get())) << e.what;
            if (root_first)
                orvex_free(read);
            EXPECT_TRUE(orvex_equal(moved, expected_moved.get())) << e.what;
            orvex_free(moved);
            if (!root_first)
                orvex_free(read);
        }
    }
}

namespace {

// A text or data node's bytes, or "-" for other types.
const char *text_ptr(orvex_t n, uint64_t *len) {
    return orvex_get_node_type(n) == ORVEX_DATA ? orvex_get_data_ptr(n, len) : orvex_get_string_ptr(n, len);
}
std::string text_of(orvex_t n) {
    uint64_t len = 0;
    const char *p = text_ptr(n, &len);
    return p ? std::string(p, size_t(len)) : "-";
}
std::string times(const std::string &s, size_t n) {
    std::string r;
    while (n--)
        r += s;
    return r;
}

} // namespace

// Texts of up to 127 bytes live in their node's block: each must still read
// whole, be replaced (by itself too), reset, moved, copied and freed in any
// order, with every byte of a block's text released once (the sanitizers and
// valgrind see a fault).
TEST(BinRead, TextsInTheirNodesBlockAtEachBound) {
    struct Text {
        int kind;
        uint64_t count;
        std::string payload, want;
    };
    std::vector<Text> texts;
    const std::string euro16("\x20\xAC", 2), euro = "\xE2\x82\xAC";
    for (size_t len : {15, 16, 31, 32, 127, 128}) {
        const std::string a(len, char('a' + len % 26)), d = std::string(len - 1, '\0') + "\xFF";
        texts.push_back({0x5, len, a, a});
        texts.push_back({0x4, len, d, d});
        texts.push_back({0x6, len, times(std::string(1, '\0') + a[0], len), a});
    }
    for (size_t tail : {1, 2}) // UTF-16 to 127 and 128 bytes
        texts.push_back({0x6, 42 + tail, times(euro16, 42) + times(std::string("\0a", 2), tail),
                         times(euro, 42) + std::string(tail, 'a')});
    for (size_t high : {8, 63, 64}) // Latin-1 to 16, 127 and 128 bytes
        texts.push_back({0x5, high + (high & 1), times("\xE9", high) + std::string(high & 1, 'a'),
                         times("\xC3\xA9", high) + std::string(high & 1, 'a')});
    std::vector<std::string> objs{"\xAF\x10" + be(texts.size(), 1)};
    for (size_t i = 0; i < texts.size(); ++i) {
        const Text &t = texts[i];
        objs[0] += be(i + 1, 1);
        objs.push_back(std::string(1, char(t.kind << 4 | 0xF)) + "\x10" + be(t.count, 1) + t.payload);
    }
    const std::string doc = make_doc(objs);
    // Each edit of one item, and the text it then holds.
    const struct {
        const char *what;
        std::string (*edit)(orvex_t item, const std::string &was);
    } edits[] = {
        {"kept", [](orvex_t, const std::string &was) { return was; }},
        {"set inline",
         [](orvex_t n, const std::string &) { return orvex_set_string_val(n, "short"), text_of(n); }},
        {"set long",
         [](orvex_t n, const std::string &) {
             return orvex_set_string_val(n, times("L", 100).c_str()), times("L", 100);
         }},
        {"set from its own text",
         [](orvex_t n, const std::string &was) {
             uint64_t len = 0;
             const char *p = text_ptr(n, &len);
             EXPECT_EQ(orvex_set_string_val_len(n, p + 1, len - 1), ORVEX_ERR_SUCCESS);
             return was.substr(1);
         }},
        {"data from its own text",
         [](orvex_t n, const std::string &was) {
             uint64_t len = 0;
             const char *p = text_ptr(n, &len);
             return orvex_set_data_val(n, p, len), was;
         }},
        {"reset to an integer",
         [](orvex_t n, const std::string &) { return orvex_set_int_val(n, -3), std::string("-"); }},
    };
    for (const auto &e : edits) {
        for (int order = 0; order < 3; ++order) {
            SCOPED_TRACE(std::string(e.what) + ", order " + std::to_string(order));
            orvex_t root = nullptr;
            ASSERT_EQ(orvex_from_bin(doc.data(), uint32_t(doc.size()), &root), ORVEX_ERR_SUCCESS);
            ASSERT_EQ(orvex_array_get_size(root), texts.size());
            std::vector<std::string> want;
            for (uint32_t i = 0; i < texts.size(); ++i) {
                orvex_t item = orvex_array_get_item(root, i);
                ASSERT_EQ(text_of(item), texts[i].want) << i;
                want.push_back(e.edit(item, texts[i].want));
            }
            // A copy owns its texts: it outlives the tree it was made from.
            orvex_t copy = orvex_copy(root);
            std::vector<orvex_t> moved;
            for (uint32_t k = 0; k < texts.size() / 2; ++k) // the items at even places
                moved.push_back(orvex_detach(orvex_array_get_item(root, k)));
            // Root first, between two halves of the detached items, or last.
            for (int step = 0; step < 3; ++step) {
                for (size_t k = size_t(step) - 1; step && k < moved.size(); k += 2)
                    orvex_free(moved[k]);
                if (step == order)
                    orvex_free(root);
            }
            for (uint32_t i = 0; i < texts.size(); ++i)
                EXPECT_EQ(text_of(orvex_array_get_item(copy, i)), want[i]) << i;
            orvex_free(copy);
        }
    }
}

// Keys shared by dictionaries are remembered once read: every kind of key
// text (converted ones too, and ones that end at a NUL) must read the same
// each time, also when two key objects compete for one place.
TEST(BinRead, SharedKeysReadTheSameEachTime) {
    const int keys = 70, dicts = 3; // key objects 3 and 67 share a place
    std::string dict = bytes({0xDF, 0x10, keys}), root = bytes({0xA0 | dicts});
    std::vector<std::string> objs, want;
    for (int i = 0; i < keys; ++i) {
        const std::string n = std::to_string(i);
        const std::string forms[][2] = {
            {bytes({0x50 | int(n.size())}) + n, n},
            {bytes({0x50 | int(n.size() + 1), 0xE9}) + n, "\xC3\xA9" + n}, // Latin-1
            {bytes({0x60 | int(n.size() + 1), 0x20, 0xAC}) +
                 [&] {
                     std::string u;
                     for (char c : n)
                         u += std::string(1, '\0') + c;
                     return u;
                 }(),
             "\xE2\x82\xAC" + n},
            {bytes({0x50 | int(n.size() + 3)}) + n + std::string("\0zz", 3), n}, // ends at its NUL
        };
        objs.push_back(forms[i % 4][0]);
        want.push_back(forms[i % 4][1]);
        dict += char(3 + i);
    }
    dict += std::string(keys, char(2));
    for (int d = 0; d < dicts; ++d)
        root += char(1);
    objs.insert(objs.begin(), {root, dict, "\x09"});
    const std::string doc = make_doc(objs);
    orvex_t read = nullptr;
    ASSERT_EQ(orvex_from_bin(doc.data(), uint32_t(doc.size()), &read), ORVEX_ERR_SUCCESS);
    for (uint32_t d = 0; d < dicts; ++d) {
        orvex_t got = orvex_array_get_item(read, d);
        EXPECT_EQ(orvex_dict_get_size(got), uint32_t(keys));
        for (const std::string &k : want)
            EXPECT_NE(orvex_dict_get_item(got, k.c_str()), nullptr) << d << " " << k;
    }
    orvex_free(read);
}

TEST(Detect, MagicXmlAndUnknownInput) {
    std::string bin = make_doc({"\x09"});
    orvex_format_t fmt = ORVEX_FORMAT_XML;
    orvex_t got = nullptr;
    EXPECT_EQ(orvex_from_memory(bin.data(), uint32_t(bin.size()), &got, &fmt), ORVEX_ERR_SUCCESS);
    EXPECT_EQ(fmt, ORVEX_FORMAT_BINARY);
    orvex_free(got);

    for (const char *xml : {"<?xml version=\"1.0\"?><plist/>", "\xEF\xBB\xBF \r\n\t<plist/>"}) {
        fmt = ORVEX_FORMAT_NONE;
        got = nullptr;
        orvex_from_memory(xml, uint32_t(std::strlen(xml)), &got, &fmt);
        EXPECT_EQ(fmt, ORVEX_FORMAT_XML) << xml;
        orvex_free(got);
    }

    for (std::string junk :
         {std::string("bplist0"), std::string("bplist01xxxx"), std::string("\xEF\xBB<plist/>")}) {
        fmt = ORVEX_FORMAT_XML;
        got = reinterpret_cast<orvex_t>(&fmt);
        EXPECT_EQ(orvex_from_memory(junk.data(), uint32_t(junk.size()), &got, &fmt), ORVEX_ERR_FORMAT)
            << junk;
        EXPECT_EQ(fmt, ORVEX_FORMAT_NONE);
        EXPECT_EQ(got, nullptr);
        orvex_parse_result r{};
        orvex_parse(junk.data(), junk.size(), ORVEX_FORMAT_NONE, &got, nullptr, &r);
        EXPECT_EQ(r.cause, ORVEX_REASON_UNKNOWN_FORMAT) << junk;
    }
    // A null format pointer is allowed.
    got = nullptr;
    EXPECT_EQ(orvex_from_memory(bin.data(), uint32_t(bin.size()), &got, nullptr), ORVEX_ERR_SUCCESS);
    orvex_free(got);
}
