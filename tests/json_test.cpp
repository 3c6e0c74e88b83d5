// The JSON encoding: round trips of every type it carries, the number and
// string rules, rejections with their reasons, the values without a JSON
// form, conversion from XML, and Python's json module as an independent
// reader of what we write.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "documents.hpp"
#include "expect_tree.hpp"
#include "orvex/Array.h"
#include "orvex/Dictionary.h"
#include "orvex/Structure.h"

using namespace orvex_test;

namespace {

orvex_t read(const std::string &doc, orvex_parse_result *res = nullptr) {
    return decode(doc, ORVEX_FORMAT_JSON, res);
}

std::string write(orvex_t node, uint32_t flags = 0, orvex_err_t want = ORVEX_ERR_SUCCESS) {
    return encode(node, ORVEX_FORMAT_JSON, flags, want);
}

// Written compact and pretty, each reads back equal and writes the same text again.
void expect_round_trip(orvex_t node) {
    for (uint32_t flags : {0u, unsigned(ORVEX_JSON_PRETTY)}) {
        std::string json = write(node, flags);
        orvex_parse_result r{};
        Tree back(read(json, &r));
        ASSERT_NE(back.get(), nullptr) << r.reason << " at " << r.offset << "\n" << json;
        EXPECT_TRUE(orvex_equal(node, back.get())) << json << "\nread back:\n" << describe(back.get());
        EXPECT_EQ(write(back.get(), flags), json);
    }
}

std::string text_of(orvex_t n) {
    uint64_t len = 0;
    const char *p = orvex_get_string_ptr(n, &len);
    return p ? std::string(p, len) : std::string("<not a string>");
}

// What JSON keeps of a tree: a copy with every value that has no JSON form,
// and every key node, replaced by what the lossy writer makes of it.
orvex_t json_view(orvex_t tree) {
    return copy_with(tree, [](orvex_t n) {
        if (orvex_get_node_type(n) != ORVEX_KEY && !orvex_json_unwritable(n))
            return;
        orvex_t mapped = read(write(n, ORVEX_JSON_LOSSY));
        orvex_t parent = orvex_get_parent(n);
        if (orvex_get_node_type(parent) == ORVEX_DICT) {
            char *key = nullptr;
            orvex_dict_get_item_key(n, &key);
            orvex_dict_set_item(parent, key, mapped);
            std::free(key);
        } else {
            uint32_t i = orvex_array_get_item_index(n);
            orvex_array_remove_item(parent, i);
            orvex_array_insert_item(parent, mapped, i);
        }
    });
}

} // namespace

TEST(JsonRoundTrip, EveryTypeJsonCarries) {
    Tree root(orvex_new_dict());
    orvex_t r = root.get();
    orvex_dict_set_item(
        r, "ints",
        array_of({orvex_new_int(0), orvex_new_int(-1), orvex_new_int(INT64_MIN), orvex_new_int(INT64_MAX),
                  orvex_new_uint(uint64_t(INT64_MAX) + 1), orvex_new_uint(UINT64_MAX)}));
    orvex_dict_set_item(r, "reals",
                        array_of({orvex_new_real(0.0), orvex_new_real(-0.0), orvex_new_real(1.0),
                                  orvex_new_real(0.1), orvex_new_real(-2.5e-300), orvex_new_real(1e300),
                                  orvex_new_real(4.9e-324), orvex_new_real(1.7976931348623157e308),
                                  orvex_new_real(9007199254740993.0), orvex_new_real(123456789012.0)}));
    orvex_t s = orvex_new_string("");
    const char raw[] = "nul\0, quote \", backslash \\, /, \x01\x1f\b\f\n\r\t\x7f";
    orvex_set_string_val_len(s, raw, sizeof raw - 1);
    orvex_dict_set_item(r, "text",
                        array_of({s, orvex_new_string(""), orvex_new_string("caf\xC3\xA9 \xF0\x9F\x98\x80"),
                                  orvex_new_string("\xEF\xBF\xBF\xE2\x80\xA8")}));
    orvex_dict_set_item(r, "",
                        array_of({orvex_new_bool(1), orvex_new_bool(0), orvex_new_null(), orvex_new_array(),
                                  orvex_new_dict()}));
    orvex_dict_set_item(r, "key \"quoted\"\n\xE2\x82\xAC", array_of({array_of({array_of({})})}));
    expect_round_trip(r);
    // Any type may be the root.
    for (orvex_t scalar : {orvex_new_string("x"), orvex_new_int(-7), orvex_new_real(2.5), orvex_new_null()}) {
        Tree t(scalar);
        expect_round_trip(t.get());
    }
}

TEST(JsonWriter, Layout) {
    Tree d(orvex_new_dict());
    orvex_dict_set_item(d.get(), "b", array_of({orvex_new_int(1), orvex_new_array(), orvex_new_dict()}));
    orvex_dict_set_item(d.get(), "a", orvex_new_real(3));
    orvex_dict_set_item(d.get(), "k", orvex_new_string("\xC3\xA9\x1b"));
    EXPECT_EQ(write(d.get()), "{\"b\":[1,[],{}],\"a\":3.0,\"k\":\"\xC3\xA9\\u001b\"}");
    EXPECT_EQ(
        write(d.get(), ORVEX_JSON_PRETTY),
        "{\n  \"b\": [\n    1,\n    [],\n    {}\n  ],\n  \"a\": 3.0,\n  \"k\": \"\xC3\xA9\\u001b\"\n}\n");
    // Bytes that are not UTF-8 (the C interface takes any) leave as U+FFFD.
    Tree bad(orvex_new_string("a\xFF\xC3"));
    EXPECT_EQ(write(bad.get()), "\"a\xEF\xBF\xBD\xEF\xBF\xBD\"");
    // A key node is written as a string.
    Tree key(orvex_new_string(""));
    orvex_set_key_val(key.get(), "k");
    EXPECT_EQ(write(key.get()), "\"k\"");
}

TEST(JsonReader, NumbersIntegersAndReals) {
    struct Case {
        const char *text;
        orvex_type type;
        uint64_t bits; // integers
        bool negative; // integers
        double real;
    } cases[] = {
        {"0", ORVEX_INT, 0, false, 0},
        {"-0", ORVEX_INT, 0, false, 0},
        {"9223372036854775807", ORVEX_INT, uint64_t(INT64_MAX), false, 0},
        {"9223372036854775808", ORVEX_INT, uint64_t(INT64_MAX) + 1, false, 0},
        {"18446744073709551615", ORVEX_INT, UINT64_MAX, false, 0},
        {"-9223372036854775808", ORVEX_INT, uint64_t(INT64_MIN), true, 0},
        {"18446744073709551616", ORVEX_REAL, 0, false, 18446744073709551616.0},
        {"-9223372036854775809", ORVEX_REAL, 0, false, -9223372036854775809.0},
        {"1.0", ORVEX_REAL, 0, false, 1.0},
        {"1e2", ORVEX_REAL, 0, false, 100.0},
        {"-1.5E-3", ORVEX_REAL, 0, false, -1.5e-3},
        {"0.1e+1", ORVEX_REAL, 0, false, 1.0},
        {"1e400", ORVEX_REAL, 0, false, HUGE_VAL},
        {"-1e-400", ORVEX_REAL, 0, false, -0.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        Tree t(read(std::string("[") + c.text + "]"));
        orvex_t n = orvex_array_get_item(t.get(), 0);
        ASSERT_EQ(orvex_get_node_type(n), c.type);
        if (c.type == ORVEX_INT) {
            uint64_t u = 1;
            orvex_get_uint_val(n, &u);
            EXPECT_EQ(u, c.bits);
            EXPECT_EQ(orvex_int_val_is_negative(n) != 0, c.negative);
            Tree want(c.negative || c.bits <= uint64_t(INT64_MAX) ? orvex_new_int(int64_t(c.bits))
                                                                  : orvex_new_uint(c.bits));
            EXPECT_TRUE(orvex_equal(n, want.get()));
        } else {
            double d = 0;
            orvex_get_real_val(n, &d);
            EXPECT_EQ(d, c.real);
            EXPECT_EQ(std::signbit(d), std::signbit(c.real));
        }
    }
}

TEST(JsonReader, StringsEscapesAndKeys) {
    struct Case {
        const char *json;
        std::string text;
    } cases[] = {
        {"\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"", "\"\\/\b\f\n\r\t"},
        {"\"\\u00e9\\u20AC\"", "\xC3\xA9\xE2\x82\xAC"},
        {"\"\\ud83d\\ude00 \\uDBFF\\uDFFF\"", "\xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF"},
        {"\"a\\u0000b\"", std::string("a\0b", 3)},
        {"\"caf\xC3\xA9 \xF0\x9F\x9A\x80\x7f\"", "caf\xC3\xA9 \xF0\x9F\x9A\x80\x7f"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.json);
        Tree t(read(c.json));
        EXPECT_EQ(text_of(t.get()), c.text);
    }
    // Document order; a repeated key keeps its place and takes the last
    // value; keys end at their first NUL; a UID's mapping stays a dictionary.
    Tree e(read("\xEF\xBB\xBF {\"b\": 1, \"a\\u0000x\": 2, \"b\": 3, \"u\": {\"CF$UID\": 1}}"));
    ASSERT_NE(e.get(), nullptr);
    EXPECT_EQ(write(e.get()), "{\"b\":3,\"a\":2,\"u\":{\"CF$UID\":1}}");
}

TEST(JsonReader, RejectsWithReasonAndPlace) {
    const orvex_err_t P = ORVEX_ERR_PARSE;
    expect_refusals(ORVEX_FORMAT_JSON, {
                                           {"", P, ORVEX_REASON_EMPTY, 0},
                                           {" \n\t", P, ORVEX_REASON_NO_VALUE, 3},
                                           {"[1, 2", P, ORVEX_REASON_TRUNCATED, 5},
                                           {"{\"a\": \"b", P, ORVEX_REASON_TRUNCATED, 8},
                                           {"[\"\\u12", P, ORVEX_REASON_TRUNCATED, 6},
                                           {"[1,]", P, ORVEX_REASON_TRAILING_COMMA, 3},
                                           {"{\"a\": 1 , }", P, ORVEX_REASON_TRAILING_COMMA, 10},
                                           {"[-01]", P, ORVEX_REASON_LEADING_ZERO, 1},
                                           {"[00]", P, ORVEX_REASON_LEADING_ZERO, 1},
                                           {"[-]", P, ORVEX_REASON_BAD_NUMBER, 1},
                                           {"[1.]", P, ORVEX_REASON_BAD_NUMBER, 1},
                                           {"[.5]", P, ORVEX_REASON_BAD_NUMBER, 1},
                                           {"[1e+]", P, ORVEX_REASON_BAD_NUMBER, 1},
                                           {"[+1]", P, ORVEX_REASON_BAD_NUMBER, 1},
                                           {"[0x10]", P, ORVEX_REASON_MISSING_SEPARATOR, 2},
                                           {"[NaN]", P, ORVEX_REASON_BAD_LITERAL, 1},
                                           {"[-Infinity]", P, ORVEX_REASON_BAD_LITERAL, 1},
                                           {"[True]", P, ORVEX_REASON_BAD_LITERAL, 1},
                                           {"[nulls]", P, ORVEX_REASON_BAD_LITERAL, 1},
                                           {"// note\n[]", P, ORVEX_REASON_COMMENT, 0},
                                           {"[] # x", P, ORVEX_REASON_EXTRA_CONTENT, 3},
                                           {"[]/**/", P, ORVEX_REASON_COMMENT, 2},
                                           {"{\"a\":1/**/}", P, ORVEX_REASON_COMMENT, 6},
                                           {"['a']", P, ORVEX_REASON_EXPECTED_VALUE, 1},
                                           {"[1,,2]", P, ORVEX_REASON_EXPECTED_VALUE, 3},
                                           {"{a: 1}", P, ORVEX_REASON_BAD_KEY, 1},
                                           {"{\"a\": 1, 2: 3}", P, ORVEX_REASON_BAD_KEY, 9},
                                           {"{\"a\" = 1}", P, ORVEX_REASON_MISSING_COLON, 5},
                                           {"[1 2]", P, ORVEX_REASON_MISSING_SEPARATOR, 3},
                                           {"[1}", P, ORVEX_REASON_MISSING_SEPARATOR, 2},
                                           {"{\"a\": 1]", P, ORVEX_REASON_MISSING_SEPARATOR, 7},
                                           {"[1] [2]", P, ORVEX_REASON_EXTRA_CONTENT, 4},
                                           {"[\"\\a\"]", P, ORVEX_REASON_BAD_ESCAPE, 2},
                                           {"[\"\\u12G4\"]", P, ORVEX_REASON_BAD_ESCAPE, 2},
                                           {"[\"\\ud800\"]", P, ORVEX_REASON_UNPAIRED_SURROGATE, 2},
                                           {"[\"\\udc00\\ud800\"]", P, ORVEX_REASON_UNPAIRED_SURROGATE, 2},
                                           {"[\"\\ud800\\u0041\"]", P, ORVEX_REASON_UNPAIRED_SURROGATE, 2},
                                           {"[\"\\ud800\\n\"]", P, ORVEX_REASON_UNPAIRED_SURROGATE, 2},
                                           {"[\"a\tb\"]", P, ORVEX_REASON_CONTROL_CHAR, 3},
                                           {std::string("[\"a\0\"]", 5), P, ORVEX_REASON_CONTROL_CHAR, 3},
                                           {"[\"\xFF\"]", P, ORVEX_REASON_BAD_UTF8, 2},
                                           {"[\"\xC0\xAF\"]", P, ORVEX_REASON_BAD_UTF8, 2},
                                           {"[\"\xED\xA0\x80\"]", P, ORVEX_REASON_BAD_UTF8, 2},
                                           {"[\"\\n\xE2\x82\"]", P, ORVEX_REASON_BAD_UTF8, 4},
                                           {std::string(ORVEX_MAX_DEPTH + 1, '['), ORVEX_ERR_LIMIT,
                                            ORVEX_REASON_TOO_DEEP, ORVEX_MAX_DEPTH},
                                       });
    // Lines and columns count characters, as for XML.
    orvex_parse_result r{};
    Tree t(read("{\n  \"\xC3\xA9\": [1,\n   2,]\n}", &r));
    EXPECT_EQ(r.cause, ORVEX_REASON_TRAILING_COMMA);
    EXPECT_EQ(r.line, 3u);
    EXPECT_EQ(r.column, 6u);
    // The deepest nesting allowed reads, and writes back.
    std::string deep = std::string(ORVEX_MAX_DEPTH, '[') + std::string(ORVEX_MAX_DEPTH, ']');
    Tree d(read(deep));
    ASSERT_NE(d.get(), nullptr);
    EXPECT_EQ(write(d.get()), deep);
}

TEST(JsonDetection, BracketsAfterBlanksAndMark) {
    for (std::string doc : {"[1]", " \r\n\t{\"a\": []}", "\xEF\xBB\xBF[]", "\xEF\xBB\xBF\n {}"}) {
        orvex_t root = nullptr;
        orvex_format_t fmt = ORVEX_FORMAT_NONE;
        EXPECT_EQ(orvex_from_memory(doc.data(), uint32_t(doc.size()), &root, &fmt), ORVEX_ERR_SUCCESS) << doc;
        EXPECT_EQ(fmt, ORVEX_FORMAT_JSON);
        orvex_free(root);
    }
    // Opening with a brace but not parsing as JSON: OpenStep is tried, and
    // of two rejections the one that got further stands.
    const struct {
        const char *doc;
        orvex_err_t code;
        orvex_format_t format;
        orvex_reason_t cause;
    } cases[] = {
        {"{ a = b; }", ORVEX_ERR_SUCCESS, ORVEX_FORMAT_OSTEP, ORVEX_REASON_NONE},
        {"{\"a\": [1, 2,]}", ORVEX_ERR_PARSE, ORVEX_FORMAT_JSON, ORVEX_REASON_TRAILING_COMMA},
        {"{ a = (1, 2; }", ORVEX_ERR_PARSE, ORVEX_FORMAT_OSTEP, ORVEX_REASON_EXPECTED_COMMA},
        {"[1, 2", ORVEX_ERR_PARSE, ORVEX_FORMAT_JSON, ORVEX_REASON_TRUNCATED},
    };
    for (const auto &c : cases) {
        orvex_parse_result r{};
        orvex_t root = nullptr;
        orvex_format_t fmt = ORVEX_FORMAT_NONE;
        EXPECT_EQ(orvex_parse(c.doc, std::strlen(c.doc), ORVEX_FORMAT_NONE, &root, &fmt, &r), c.code)
            << c.doc;
        EXPECT_EQ(fmt, c.format) << c.doc;
        EXPECT_EQ(r.cause, c.cause) << c.doc;
        orvex_free(root);
    }
    // A scalar is JSON only when asked for.
    orvex_t root = nullptr;
    EXPECT_EQ(orvex_from_json("42", 2, &root), ORVEX_ERR_SUCCESS);
    EXPECT_EQ(orvex_get_node_type(root), ORVEX_INT);
    orvex_free(root);
}

TEST(JsonWriter, ValuesWithoutFormRefusedOrMappedOneWay) {
    Tree d(orvex_new_dict());
    orvex_dict_set_item(d.get(), "ok", orvex_new_string("x"));
    orvex_t date = orvex_new_date(99.75); // the fraction goes
    orvex_dict_set_item(d.get(), "when", date);
    orvex_dict_set_item(d.get(), "blob", orvex_new_data("\x00\x01\x02\xff", 4));
    orvex_dict_set_item(d.get(), "uid", orvex_new_uid(7));
    orvex_dict_set_item(d.get(), "reals",
                        array_of({orvex_new_real(NAN), orvex_new_real(INFINITY), orvex_new_real(-INFINITY)}));
    EXPECT_EQ(write(d.get(), 0, ORVEX_ERR_FORMAT), "");
    EXPECT_EQ(write(d.get(), ORVEX_JSON_PRETTY, ORVEX_ERR_FORMAT), "");
    EXPECT_EQ(orvex_json_unwritable(d.get()), date);
    EXPECT_EQ(write(d.get(), ORVEX_JSON_LOSSY),
              "{\"ok\":\"x\",\"when\":\"2001-01-01T00:01:39Z\",\"blob\":"
              "\"AAEC/w==\",\"uid\":{\"CF$UID\":7},\"reals\":[null,null,null]}");
    EXPECT_EQ(
        write(d.get(), ORVEX_JSON_LOSSY | ORVEX_JSON_PRETTY),
        "{\n  \"ok\": \"x\",\n  \"when\": \"2001-01-01T00:01:39Z\",\n  \"blob\": \"AAEC/w==\",\n"
        "  \"uid\": {\n    \"CF$UID\": 7\n  },\n  \"reals\": [\n    null,\n    null,\n    null\n  ]\n}\n");
    // Each kind is refused alone, and the node is named.
    for (orvex_t n :
         {orvex_new_data("", 0), orvex_new_uid(0), orvex_new_real(NAN), orvex_new_real(-INFINITY)}) {
        Tree a(array_of({orvex_new_int(1), n}));
        EXPECT_EQ(write(a.get(), 0, ORVEX_ERR_FORMAT), "");
        EXPECT_EQ(orvex_json_unwritable(a.get()), n);
    }
    Tree ok(array_of({orvex_new_null(), orvex_new_real(1)}));
    EXPECT_EQ(orvex_json_unwritable(ok.get()), nullptr);
    EXPECT_EQ(orvex_json_unwritable(nullptr), nullptr);
    // Arguments.
    char *out = reinterpret_cast<char *>(1);
    uint32_t len = 9;
    EXPECT_EQ(orvex_to_json(ok.get(), &out, &len, 4), ORVEX_ERR_INVALID_ARG);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(len, 0u);
    EXPECT_EQ(orvex_to_json(nullptr, &out, &len, 0), ORVEX_ERR_INVALID_ARG);
}

TEST(JsonWriter, PrettyPast32BitsFailsWithLimitCompactFits) {
    // 70,000 levels: indentation alone passes 4 GiB, refused before any
    // buffer is made; compact, two bytes a level.
    orvex_t cur = orvex_new_array();
    for (int i = 0; i < 70000; ++i)
        cur = array_of({cur});
    Tree root(cur);
    char *out = reinterpret_cast<char *>(1);
    uint32_t len = 9;
    EXPECT_EQ(orvex_to_json(root.get(), &out, &len, ORVEX_JSON_PRETTY), ORVEX_ERR_LIMIT);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(len, 0u);
    EXPECT_EQ(write(root.get()).size(), 140002u);
}

TEST(JsonConversion, XmlToJsonToXmlKeepsWhatJsonCarries) {
    for (const char *name : {"library", "text", "integers", "reals", "nonfinite-reals", "data", "dates",
                             "nesting", "scalars", "handwritten", "shared-values"}) {
        SCOPED_TRACE(name);
        std::vector<char> xml = read_file(data_path(std::string(name) + ".xml"));
        orvex_t first = nullptr;
        ASSERT_EQ(orvex_from_xml(xml.data(), uint32_t(xml.size()), &first), ORVEX_ERR_SUCCESS);
        Tree original(first), want(json_view(first));
        for (uint32_t flags : {unsigned(ORVEX_JSON_LOSSY), ORVEX_JSON_LOSSY | ORVEX_JSON_PRETTY}) {
            Tree from_json(read(write(first, flags)));
            ASSERT_TRUE(orvex_equal(from_json.get(), want.get())) << describe(from_json.get());
            char *again = nullptr;
            uint32_t len = 0;
            ASSERT_EQ(orvex_to_xml(from_json.get(), &again, &len), ORVEX_ERR_SUCCESS);
            Tree back(nullptr);
            EXPECT_EQ(orvex_from_xml(again, len, &back.n), ORVEX_ERR_SUCCESS);
            std::free(again);
            EXPECT_TRUE(orvex_equal(back.get(), want.get()));
        }
    }
}

TEST(JsonInterop, PythonReadsWhatWeWrite) {
    if (std::system("python3 -c '' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 not found: the independent JSON reader is not available";
    std::vector<char> xml = read_file(data_path("library.xml"));
    Tree lib(nullptr), text(nullptr);
    ASSERT_EQ(orvex_from_xml(xml.data(), uint32_t(xml.size()), &lib.n), ORVEX_ERR_SUCCESS);
    xml = read_file(data_path("text.xml"));
    ASSERT_EQ(orvex_from_xml(xml.data(), uint32_t(xml.size()), &text.n), ORVEX_ERR_SUCCESS);
    Tree odd(orvex_new_string(""));
    orvex_set_string_val_len(odd.get(), "\0\x01\x1f\"\\\x7f\xFF\xF0\x9F\x98\x80", 11);
    std::string dir = ::testing::TempDir(), files;
    int k = 0;
    for (orvex_t t : {lib.get(), text.get(), odd.get()}) {
        for (uint32_t flags : {unsigned(ORVEX_JSON_LOSSY), ORVEX_JSON_LOSSY | ORVEX_JSON_PRETTY}) {
            std::string path = dir + "/orvex_json_" + std::to_string(getpid()) + "_" + std::to_string(k++);
            std::string json = write(t, flags);
            FILE *f = std::fopen(path.c_str(), "wb");
            ASSERT_NE(f, nullptr);
            std::fwrite(json.data(), 1, json.size(), f);
            std::fclose(f);
            files += " '" + path + "'";
        }
    }
    // Strict: NaN and Infinity, which JSON lacks, would fail too.
    std::string cmd = "python3 -c 'import json,sys\n"
                      "def no(c): raise ValueError(c)\n"
                      "[json.load(open(p, encoding=\"utf-8\"), parse_constant=no) for p in sys.argv[1:]]'" +
                      files;
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    if (std::system(("rm -f" + files).c_str()) != 0)
        ADD_FAILURE() << "could not remove" << files;
}

TEST(JsonModel, ReadsWritesAndDetects) {
    Orvex::Structure *s = Orvex::Structure::FromJson("{\"a\": [1, 2.5, \"x\", null], \"b\": {}}");
    ASSERT_NE(dynamic_cast<Orvex::Dictionary *>(s), nullptr);
    EXPECT_EQ(s->GetSize(), 2u);
    EXPECT_EQ(s->ToJson(), "{\"a\":[1,2.5,\"x\",null],\"b\":{}}");
    EXPECT_EQ(s->ToJson(true),
              "{\n  \"a\": [\n    1,\n    2.5,\n    \"x\",\n    null\n  ],\n  \"b\": {}\n}\n");
    orvex_dict_set_item(s->GetOrvex(), "d", orvex_new_data("\x01", 1));
    EXPECT_EQ(s->ToJson(), "");
    EXPECT_EQ(s->ToJson(false, true), "{\"a\":[1,2.5,\"x\",null],\"b\":{},\"d\":\"AQ==\"}");
    delete s;
    // Only containers as the root; bad input gives null.
    for (const char *bad : {"42", "\"x\"", "[1,]", ""})
        EXPECT_EQ(Orvex::Structure::FromJson(bad), nullptr) << bad;
    orvex_format_t fmt = ORVEX_FORMAT_NONE;
    Orvex::Structure *a = Orvex::Structure::FromMemory(" [true]", 7, &fmt);
    EXPECT_NE(dynamic_cast<Orvex::Array *>(a), nullptr);
    EXPECT_EQ(fmt, ORVEX_FORMAT_JSON);
    delete a;
}
