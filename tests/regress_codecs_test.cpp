// Inputs found by fuzzing the readers and the round trip through both
// encodings, kept with what the store must do with them. The files under
// data/regress are also replayed through every fuzz target by CTest.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bin_doc.hpp"
#include "documents.hpp"
#include "expect_tree.hpp"

using namespace orvex_test;

namespace {

orvex_t read_any(const std::string &doc) {
    orvex_t root = nullptr;
    orvex_from_memory(doc.data(), static_cast<uint32_t>(doc.size()), &root, nullptr);
    return root;
}

std::string to_xml(orvex_t n) { return encode(n, ORVEX_FORMAT_XML); }
std::string to_bin(orvex_t n) { return encode(n, ORVEX_FORMAT_BINARY); }

} // namespace

// Binary keys used to keep bytes after a NUL, so "a\0b" and "a\0c" were two
// entries that no lookup could reach and that the XML reader (which cuts at
// the NUL) read back as one: the round trip changed the tree.
TEST(RegressBinaryReader, KeysEndAtTheirFirstNulLikeEverywhereElse) {
    std::string doc = make_doc({bytes({0xD2, 1, 2, 3, 4}),
                                std::string("\x53"
                                            "a\0b",
                                            4),
                                std::string("\x53"
                                            "a\0c",
                                            4),
                                bytes({0x10, 1}), bytes({0x10, 2})});
    orvex_t root = read_any(doc);
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(orvex_dict_get_size(root), 1u);
    uint64_t v = 0;
    orvex_get_uint_val(orvex_dict_get_item(root, "a"), &v);
    EXPECT_EQ(v, 2u); // the later value, at the first one's place

    orvex_t again = read_any(to_xml(root));
    EXPECT_TRUE(orvex_equal(root, again));
    orvex_free(again);
    again = read_any(to_bin(root));
    EXPECT_TRUE(orvex_equal(root, again));
    orvex_free(again);
    orvex_free(root);

    std::vector<char> file = read_file(data_path("regress/nul-keys.bin"));
    root = read_any(std::string(file.begin(), file.end()));
    EXPECT_EQ(orvex_dict_get_size(root), 1u);
    orvex_free(root);
}

// A finite date 9e18 seconds or more from 2001 has no text form: the XML
// writer clamps it as orvex_get_unix_date_val does, and the text it writes
// reads back to those whole seconds. The binary encoding keeps it exactly.
// Just below that bound the whole seconds read the same before and after.
TEST(RegressRoundTrip, FarDatesAreWrittenClampedInXmlAndExactInBinary) {
    std::vector<char> file = read_file(data_path("regress/far-date.bin"));
    orvex_t found = read_any(std::string(file.begin(), file.end()));
    ASSERT_EQ(orvex_get_node_type(found), ORVEX_DATE);

    for (double d : {9.0e18, -9.0e18, 1e300, -1e300, 8.9e18}) {
        orvex_t date = orvex_new_date(d);
        orvex_t arr = orvex_new_array();
        orvex_array_append_item(arr, date);
        orvex_array_append_item(arr, orvex_copy(found));

        orvex_t from_bin = read_any(to_bin(arr));
        EXPECT_TRUE(orvex_equal(arr, from_bin)) << d;

        orvex_t from_xml = read_any(to_xml(arr));
        ASSERT_EQ(orvex_array_get_size(from_xml), 2u) << d;
        for (uint32_t i = 0; i < 2; ++i) {
            int64_t want = 0, got = 1;
            orvex_get_unix_date_val(orvex_array_get_item(arr, i), &want);
            orvex_get_unix_date_val(orvex_array_get_item(from_xml, i), &got);
            EXPECT_EQ(want, got) << d;
        }
        if (d == 8.9e18) {
            double back = 0;
            orvex_get_date_val(orvex_array_get_item(from_xml, 0), &back);
            EXPECT_EQ(back, d); // still within the text form: exact
            // Past 2^53 the epoch shift must not round in doubles.
            int64_t sec = 0;
            orvex_get_unix_date_val(orvex_array_get_item(arr, 0), &sec);
            EXPECT_EQ(sec, INT64_C(8900000000978307200));
        }
        EXPECT_EQ(to_xml(from_xml), to_xml(arr)) << d;
        orvex_free(from_bin);
        orvex_free(from_xml);
        orvex_free(arr);
    }
    orvex_free(found);
}

// The binary encoding has no key type: a key node standing as a value comes
// back as a string with the same text, and that string then round-trips.
TEST(RegressRoundTrip, KeyValueReadsBackFromBinaryAsString) {
    orvex_t root = read_any("<plist><array><key>k&amp;</key><key/></array></plist>");
    ASSERT_EQ(orvex_get_node_type(orvex_array_get_item(root, 0)), ORVEX_KEY);
    std::string bin = to_bin(root);
    orvex_t back = read_any(bin);
    ASSERT_EQ(orvex_array_get_size(back), 2u);
    EXPECT_STREQ(orvex_get_string_ptr(orvex_array_get_item(back, 0), nullptr), "k&");
    EXPECT_STREQ(orvex_get_string_ptr(orvex_array_get_item(back, 1), nullptr), "");
    EXPECT_EQ(to_bin(back), bin);
    orvex_free(back);
    orvex_free(root);
}

// A key node's text ends at its first NUL however the node was made, as a
// dictionary key's does: the store, orvex_get_key_val and every writer agree.
TEST(RegressKeyValue, TextEndsAtTheFirstNulEverywhere) {
    auto key_in_array = [](const char *text, size_t n) {
        orvex_t k = orvex_new_string("");
        EXPECT_EQ(orvex_set_key_val_len(k, text, n), ORVEX_ERR_SUCCESS);
        orvex_t a = orvex_new_array();
        orvex_array_append_item(a, k);
        return a;
    };
    const struct {
        orvex_t tree;
        const char *text;
    } cases[] = {
        {read_any("<plist><array><key>a&#0;b</key></array></plist>"), "a"},
        {read_any("<plist><array><key>&#0;</key></array></plist>"), ""},
        {read_any("<plist><array><key><![CDATA[x]]>&#0;y</key></array></plist>"), "x"},
        {key_in_array("a\0b", 3), "a"},
    };
    auto text_of = [](orvex_t n) {
        uint64_t len = 0;
        if (const char *s = orvex_get_string_ptr(n, &len))
            return std::string(s, len);
        char *k = nullptr;
        orvex_get_key_val(n, &k);
        std::string t = k ? k : "<none>";
        std::free(k);
        return t;
    };
    auto json = [](orvex_t n, char **p, uint32_t *len) { return orvex_to_json(n, p, len, 0); };
    auto ostep = [](orvex_t n, char **p, uint32_t *len) { return orvex_to_openstep(n, p, len, 0); };
    using Writer = orvex_err_t (*)(orvex_t, char **, uint32_t *);
    const Writer writers[] = {orvex_to_xml, orvex_to_bin, json, ostep};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_EQ(orvex_get_node_type(orvex_array_get_item(c.tree, 0)), ORVEX_KEY);
        EXPECT_EQ(text_of(orvex_array_get_item(c.tree, 0)), c.text);
        orvex_t want = key_in_array(c.text, std::strlen(c.text));
        EXPECT_TRUE(orvex_equal(c.tree, want)) << describe(c.tree); // the stored length too
        orvex_free(want);
        for (Writer w : writers) {
            char *out = nullptr;
            uint32_t len = 0;
            EXPECT_EQ(w(c.tree, &out, &len), ORVEX_ERR_SUCCESS);
            std::string doc(out ? out : "", len);
            std::free(out);
            orvex_t back = read_any(doc);
            EXPECT_EQ(orvex_array_get_size(back), 1u) << doc;
            EXPECT_EQ(text_of(orvex_array_get_item(back, 0)), c.text) << doc;
            orvex_free(back);
        }
        orvex_free(c.tree);
    }
}

// Documents that read or wrote wrongly, each with the tree it reads as (in
// the samples' JSON form) or the cause it is refused for, and the line our
// XML writer gives for it. The written XML must read back as the tree with
// its dates cut to whole seconds.
TEST(RegressXml, ReadAndWrittenAsOtherToolsDo) {
    const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>";
    struct Case {
        std::string doc;
        const char *tree; // null: refused
        const char *line; // written; null when refused
        orvex_err_t code = ORVEX_ERR_SUCCESS;
        orvex_reason_t cause = ORVEX_REASON_NONE;
    } cases[] = {
        // Other readers take dates only without a fraction: whole seconds, rounded down.
        {make_doc({"\x33" + be(0x3FE0000000000000, 8)}), R"({"date": "2001-01-01T00:00:00.5Z"})",
         "<date>2001-01-01T00:00:00Z</date>"},
        {make_doc({"\x33" + be(0xBFE8000000000000, 8)}), R"({"date": "2000-12-31T23:59:59.25Z"})",
         "<date>2000-12-31T23:59:59Z</date>"},
        // No XML character: written as references, which our reader takes back.
        {make_doc({bytes({0x62, 0xFF, 0xFE, 0xFF, 0xFF})}), R"({"string": "\uFFFE\uFFFF"})",
         "<string>&#xFFFE;&#xFFFF;</string>"},
        // A negative CF$UID is no UID, from binary through XML as read directly.
        {make_doc({bytes({0xD1, 1, 2}),
                   "\x56"
                   "CF$UID",
                   "\x13" + be(uint64_t(-5), 8)}),
         R"({"dict": [["CF$UID", {"int": "-5"}]]})", "<integer>-5</integer>"},
        {"<plist><dict><key>CF$UID</key><integer>-1</integer></dict></plist>",
         R"({"dict": [["CF$UID", {"int": "-1"}]]})", "<key>CF$UID</key>"},
        {"<plist><dict><key>CF$UID</key><integer>-0</integer></dict></plist>", R"({"uid": "0"})",
         "<integer>0</integer>"},
        // The declared encoding: Latin-1 is transcoded, US-ASCII holds no byte above 0x7F.
        {latin1 + "<string>\xC3\xA9</string>", R"({"string": "\u00C3\u00A9"})",
         "<string>\xC3\x83\xC2\xA9</string>"},
        {"<?xml version='1.0' encoding='latin1' ?><string>caf\xE9</string>", R"({"string": "caf\u00E9"})",
         "<string>caf\xC3\xA9</string>"},
        {"<?xml version=\"1.0\" encoding=\"utf8\"?><string>\xC3\xA9</string>", R"({"string": "\u00E9"})",
         "\xC3\xA9"},
        {"<?xml version=\"1.0\" encoding=\"US-ASCII\"?><string>a</string>", R"({"string": "a"})", "a"},
        {"<?xml version=\"1.0\" encoding=\"bogus\"?><true/>", nullptr, nullptr, ORVEX_ERR_FORMAT,
         ORVEX_REASON_UNSUPPORTED_ENCODING},
        {"<?xml version=\"1.0\" encoding=\"UTF-16\"?><true/>", nullptr, nullptr, ORVEX_ERR_FORMAT,
         ORVEX_REASON_UNSUPPORTED_ENCODING},
        {"<!-- x --><?xml version=\"1.0\" encoding=\"bogus\"?><true/>", nullptr, nullptr, ORVEX_ERR_FORMAT,
         ORVEX_REASON_UNSUPPORTED_ENCODING},
        {latin1 + "<?xml version=\"1.0\" encoding=\"UTF-8\"?><true/>", nullptr, nullptr, ORVEX_ERR_PARSE,
         ORVEX_REASON_ENCODING_CONFLICT},
        {"<?xml version=\"1.0\" encoding=\"ASCII\"?><string>\xE9</string>", nullptr, nullptr, ORVEX_ERR_PARSE,
         ORVEX_REASON_NOT_ASCII},
        {"\xEF\xBB\xBF" + latin1 + "<true/>", nullptr, nullptr, ORVEX_ERR_PARSE,
         ORVEX_REASON_ENCODING_CONFLICT},
        {"<?xml version=\"1.0\" encoding=UTF-8?><true/>", nullptr, nullptr, ORVEX_ERR_PARSE,
         ORVEX_REASON_BAD_DECLARATION},
    };
    for (const Case &c : cases) {
        orvex_t got = nullptr;
        orvex_parse_result why{};
        orvex_parse(c.doc.data(), c.doc.size(), ORVEX_FORMAT_NONE, &got, nullptr, &why);
        if (!c.tree) {
            EXPECT_EQ(got, nullptr) << c.doc;
            EXPECT_EQ(why.code, c.code) << c.doc;
            EXPECT_EQ(why.cause, c.cause) << c.doc << " -> " << why.reason;
            continue;
        }
        orvex_t want = expect_tree_from_json(c.tree);
        EXPECT_TRUE(orvex_equal(got, want)) << c.doc << "\n" << (got ? describe(got) : why.reason);
        std::string xml = to_xml(want);
        EXPECT_NE(xml.find(c.line), std::string::npos) << c.doc << "\n" << xml;
        orvex_t back = read_any(xml), whole = in_whole_seconds(want);
        EXPECT_TRUE(orvex_equal(back, whole)) << xml;
        orvex_free(back);
        orvex_free(whole);
        orvex_free(want);
        orvex_free(got);
    }
}

// Offsets and columns in a transcoded document count the bytes given, not
// the UTF-8 they became; a refused encoding is pointed at by its name.
TEST(RegressXml, LatinOneOffsetsAndRefusedEncodings) {
    std::string d = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><string>\xE9\xA9&bad;</string>";
    orvex_t root = nullptr;
    orvex_parse_result why{};
    EXPECT_EQ(orvex_parse(d.data(), d.size(), ORVEX_FORMAT_XML, &root, nullptr, &why), ORVEX_ERR_PARSE);
    EXPECT_EQ(why.cause, ORVEX_REASON_UNKNOWN_ENTITY);
    EXPECT_EQ(why.offset, d.find("&bad;"));
    EXPECT_EQ(why.column, d.find("&bad;") + 1); // 0xA9 is a character, not a UTF-8 continuation
    std::string doc = "<?xml version=\"1.0\"\n encoding=\"bogus\"?><true/>";
    EXPECT_EQ(orvex_parse(doc.data(), doc.size(), ORVEX_FORMAT_XML, &root, nullptr, &why), ORVEX_ERR_FORMAT);
    EXPECT_EQ(why.cause, ORVEX_REASON_UNSUPPORTED_ENCODING);
    EXPECT_EQ(why.offset, doc.find("bogus"));
    EXPECT_EQ(why.line, 2u);
}

// Writing into the caller's memory gives the same bytes as the malloc'd
// buffer; a caller that cannot give memory, at any request, stops the
// writer cleanly.
TEST(RegressWriters, IntoLentMemoryAsIntoTheirOwn) {
    std::vector<char> file = read_file(data_path("library.xml"));
    orvex_t tree = read_any(std::string(file.begin(), file.end()));
    ASSERT_NE(tree, nullptr);
    struct Lender {
        std::string bytes;
        int calls = 0, fail_at = -1; // fail the nth request
    };
    auto grow = [](void *ctx, uint64_t size) -> char * {
        Lender *l = static_cast<Lender *>(ctx);
        if (l->calls++ == l->fail_at)
            return nullptr;
        l->bytes.resize(size);
        return &l->bytes[0];
    };
    using Into = orvex_err_t (*)(orvex_t, orvex_grow_fn, void *, uint32_t *);
    const struct {
        Into into;
        std::string want;
    } writers[] = {{orvex_to_xml_into, to_xml(tree)}, {orvex_to_bin_into, to_bin(tree)}};
    for (const auto &w : writers) {
        Lender l;
        uint32_t len = 1;
        ASSERT_EQ(w.into(tree, grow, &l, &len), ORVEX_ERR_SUCCESS);
        EXPECT_EQ(l.bytes.substr(0, len), w.want);
        for (int n = 0; n < l.calls; ++n) {
            Lender failing;
            failing.fail_at = n;
            EXPECT_EQ(w.into(tree, grow, &failing, &len), ORVEX_ERR_NO_MEM);
            EXPECT_EQ(len, 0u);
        }
        EXPECT_EQ(w.into(tree, nullptr, &l, &len), ORVEX_ERR_INVALID_ARG);
        EXPECT_EQ(w.into(nullptr, grow, &l, &len), ORVEX_ERR_INVALID_ARG);
    }
    orvex_free(tree);
}

// Reals are written in the fewest significant digits that read back, in
// the shorter notation; a large integral value used to get its exact
// digits, which the double does not hold. XML and JSON add ".0" to plain
// integral text (JSON would read an integer); OpenStep does not.
TEST(RegressWriters, RealsInTheFewestDigitsThatReadBack) {
    const struct {
        double x;
        const char *xml_json, *ostep;
    } cases[] = {
        {1e16, "1e+16", "1e+16"},
        {1e21, "1e+21", "1e+21"},
        {1e22, "1e+22", "1e+22"},
        {1e15, "1e+15", "1e+15"},
        {-9223372036854775809.0, "-9.223372036854776e+18", "-9.223372036854776e+18"},   // -2^63
        {18446744073709551616.0, "1.8446744073709552e+19", "1.8446744073709552e+19"},   // 2^64
        {1180591620717411303424.0, "1.1805916207174113e+21", "1.1805916207174113e+21"}, // 2^70
        {36028797018963984.0, "3.602879701896398e+16", "3.602879701896398e+16"}, // 17 digits, 16 needed
        {123456789012345680.0, "123456789012345680.0", "123456789012345680"},    // every digit its own
        {9007199254740992.0, "9007199254740992.0", "9007199254740992"},          // 2^53
        {100.0, "100.0", "100"},
        {1.5, "1.5", "1.5"},
        {0.1, "0.1", "0.1"},
        {5e-324, "5e-324", "5e-324"},
        {-0.0, "-0.0", "-0"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.xml_json);
        orvex_t n = orvex_new_real(c.x);
        std::string xml = to_xml(n);
        size_t at = xml.find("<real>");
        EXPECT_EQ(xml.substr(at, xml.find('<', at + 1) - at), std::string("<real>") + c.xml_json);
        std::string json = encode(n, ORVEX_FORMAT_JSON);
        EXPECT_EQ(json, c.xml_json);
        EXPECT_EQ(encode(n, ORVEX_FORMAT_OSTEP, ORVEX_OSTEP_TYPED), std::string("<*R") + c.ostep + ">\n");
        orvex_t from_xml = read_any(xml), from_json = nullptr;
        EXPECT_EQ(orvex_from_json(json.data(), uint32_t(json.size()), &from_json), ORVEX_ERR_SUCCESS);
        EXPECT_TRUE(orvex_equal(from_xml, n));
        EXPECT_TRUE(orvex_equal(from_json, n));
        orvex_free(from_xml);
        orvex_free(from_json);
        orvex_free(n);
    }
}

// The binary writer sizes a document exactly before writing it: one request,
// of the document's length, whatever its integers, text and references need.
TEST(RegressWriters, BinarySizedExactlyBeforeItIsWritten) {
    auto grow = [](void *ctx, uint64_t size) -> char * {
        std::vector<std::string> &asked = *static_cast<std::vector<std::string> *>(ctx);
        asked.emplace_back(size, '\0');
        return &asked.back()[0];
    };
    // Four-byte references and offsets: more than 65,536 objects, integers of every width.
    orvex_t wide = orvex_new_array();
    for (uint64_t i = 0; i < 70000; ++i)
        orvex_array_append_item(wide, orvex_new_uint(i * 0x9E3779B97F4A7C15ull >> (i % 64)));
    std::vector<std::pair<std::string, orvex_t>> trees{{"70,000 integers", wide}};
    for (const char *name :
         {"library", "integers", "text", "scalars", "data", "dates", "dates-fractional", "reals",
          "nonfinite-reals", "nesting", "uids", "shared-values", "empty-dict", "empty-array"}) {
        std::vector<char> file = read_file(data_path(std::string(name) + ".bin"));
        trees.emplace_back(name, read_any(std::string(file.begin(), file.end())));
    }
    for (const auto &[name, tree] : trees) {
        ASSERT_NE(tree, nullptr) << name;
        std::vector<std::string> asked;
        uint32_t len = 0;
        ASSERT_EQ(orvex_to_bin_into(tree, grow, &asked, &len), ORVEX_ERR_SUCCESS) << name;
        ASSERT_EQ(asked.size(), 1u) << name;
        EXPECT_EQ(asked[0].size(), len) << name;
        EXPECT_EQ(asked[0], to_bin(tree)) << name;
        orvex_free(tree);
    }
}
