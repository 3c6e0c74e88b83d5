// OpenStep text: what the reader takes and refuses, round trips typed and
// untyped, real GNUstep files, conversions from binary, and text in UTF-16
// (OpenStep and XML alike).
#include <gtest/gtest.h>

#include <dirent.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "documents.hpp"
#include "expect_tree.hpp"
#include "orvex/orvex++.h"

using namespace orvex_test;

namespace {

std::string to_ostep(orvex_t n, uint32_t flags, orvex_err_t want = ORVEX_ERR_SUCCESS) {
    return encode(n, ORVEX_FORMAT_OSTEP, flags, want);
}

orvex_t from_ostep(const std::string &s) {
    orvex_parse_result r{};
    orvex_t root = decode(s, ORVEX_FORMAT_OSTEP, &r);
    EXPECT_NE(root, nullptr) << s << "\n-> " << r.reason << " at line " << r.line << " column " << r.column;
    return root;
}

// UTF-8 as UTF-16 with its byte-order mark.
std::string utf16(const std::string &utf8, bool little) {
    std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
    auto unit = [&](uint32_t u) {
        char hi = char(u >> 8), lo = char(u & 0xFF);
        out += little ? std::string{lo, hi} : std::string{hi, lo};
    };
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = utf8[i];
        int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        uint32_t cp = n == 1 ? c : c & (0x7F >> n);
        for (int k = 1; k < n; ++k)
            cp = cp << 6 | (utf8[i + k] & 0x3F);
        i += n;
        if (cp >= 0x10000) {
            unit(0xD800 + ((cp - 0x10000) >> 10));
            unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return out;
}

std::string unmarked(const std::string &utf16_text) { return utf16_text.substr(2); }

std::string utf8_of(uint32_t cp) {
    std::string s;
    if (cp < 0x80) {
        s += char(cp);
    } else if (cp < 0x800) {
        s += char(0xC0 | cp >> 6);
        s += char(0x80 | (cp & 0x3F));
    } else {
        s += char(0xE0 | cp >> 12);
        s += char(0x80 | ((cp >> 6) & 0x3F));
        s += char(0x80 | (cp & 0x3F));
    }
    return s;
}

std::string file_text(const std::string &path) {
    std::vector<char> v = read_file(path);
    return std::string(v.begin(), v.end());
}

// Every value OpenStep carries in its typed forms, edge values included.
orvex_t every_value() {
    orvex_t d = orvex_new_dict();
    orvex_t a = orvex_new_array();
    for (const char *s : {"", "plain", "two words", "quote \" backslash \\", "tab\tline\ncr\r", "\x01\x7F",
                          "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "//not a comment", "/*", "a/b",
                          "<*I1>", "{;=,()}", "'", "$+:._-"})
        orvex_array_append_item(a, orvex_new_string(s));
    orvex_t nul = orvex_new_string("");
    orvex_set_string_val_len(nul, "a\0b", 3);
    orvex_array_append_item(a, nul);
    orvex_dict_set_item(d, "strings", a);
    orvex_t n = orvex_new_array();
    for (int64_t v : {int64_t(0), int64_t(-1), std::numeric_limits<int64_t>::min(), int64_t(42)})
        orvex_array_append_item(n, orvex_new_int(v));
    orvex_array_append_item(n, orvex_new_uint(UINT64_MAX));
    for (double v : {1.5, -0.0, 1e300, 5e-324, std::nan(""), HUGE_VAL, -HUGE_VAL, 0.1})
        orvex_array_append_item(n, orvex_new_real(v));
    orvex_array_append_item(n, orvex_new_bool(1));
    orvex_array_append_item(n, orvex_new_bool(0));
    for (int64_t t : {int64_t(0), int64_t(978307200), int64_t(-62167219200), int64_t(253402300799)})
        orvex_array_append_item(n, orvex_new_unix_date(t));
    orvex_dict_set_item(d, "scalars", n);
    orvex_dict_set_item(d, "data", orvex_new_data("\x00\x0f\xbd\x77\x77\xff\x10\x20\x30", 9));
    orvex_dict_set_item(d, "no data", orvex_new_data(nullptr, 0));
    orvex_dict_set_item(d, "empty dict", orvex_new_dict());
    orvex_dict_set_item(d, "empty array", orvex_new_array());
    orvex_dict_set_item(d, "key \"quoted\"\n", orvex_new_string("v"));
    return d;
}

} // namespace

TEST(OpenStepRoundTrip, TypedKeepsEveryValue) {
    orvex_t tree = every_value();
    std::string text = to_ostep(tree, ORVEX_OSTEP_TYPED);
    orvex_t back = from_ostep(text);
    EXPECT_TRUE(orvex_equal(tree, back)) << text;
    EXPECT_EQ(to_ostep(back, ORVEX_OSTEP_TYPED), text);
    orvex_free(back);

    // Untyped, scalars come back as their text; strings, data and shapes stay.
    text = to_ostep(tree, 0);
    back = from_ostep(text);
    orvex_t s = orvex_dict_get_item(back, "scalars");
    std::vector<std::string> got;
    for (uint32_t i = 0; i < orvex_array_get_size(s); ++i) {
        orvex_t item = orvex_array_get_item(s, i);
        ASSERT_EQ(orvex_get_node_type(item), ORVEX_STRING);
        got.push_back(orvex_get_string_ptr(item, nullptr));
    }
    EXPECT_EQ(got,
              (std::vector<std::string>{"0", "-1", "-9223372036854775808", "42", "18446744073709551615",
                                        "1.5", "-0", "1e+300", "5e-324", "nan", "inf", "-inf", "0.1", "YES",
                                        "NO", "1970-01-01 00:00:00 +0000", "2001-01-01 00:00:00 +0000",
                                        "0000-01-01 00:00:00 +0000", "9999-12-31 23:59:59 +0000"}));
    orvex_dict_remove_item(tree, "scalars");
    orvex_dict_remove_item(back, "scalars");
    EXPECT_TRUE(orvex_equal(tree, back)) << text;
    orvex_free(back);
    orvex_free(tree);
}

TEST(OpenStepWriter, OutputForms) {
    orvex_t d = orvex_new_dict();
    orvex_t a = orvex_new_array();
    orvex_array_append_item(a, orvex_new_string("\xC3\xA9t\xC3\xA9"));
    orvex_dict_set_item(d, "list", a);
    orvex_dict_set_item(d, "n", orvex_new_int(5));
    const std::string braces = "{\n\tlist = (\n\t\t\"\xC3\xA9t\xC3\xA9\"\n\t);\n\tn = <*I5>;\n}\n";
    const std::string bare = "list = (\n\t\"\xC3\xA9t\xC3\xA9\"\n);\nn = <*I5>;\n";
    const struct {
        uint32_t flags;
        std::string want;
    } cases[] = {
        {ORVEX_OSTEP_STRINGS, bare},
        {ORVEX_OSTEP_BOM, "\xEF\xBB\xBF" + braces},
        {ORVEX_OSTEP_BOM | ORVEX_OSTEP_STRINGS, "\xEF\xBB\xBF" + bare},
        {ORVEX_OSTEP_UTF16LE, utf16(braces, true)},
        {ORVEX_OSTEP_UTF16BE | ORVEX_OSTEP_STRINGS, utf16(bare, false)},
        {ORVEX_OSTEP_UTF16LE | ORVEX_OSTEP_BOM | ORVEX_OSTEP_STRINGS, utf16(bare, true)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.flags);
        char *buf = nullptr;
        uint32_t len = 0;
        ASSERT_EQ(orvex_to_openstep(d, &buf, &len, c.flags | ORVEX_OSTEP_TYPED), ORVEX_ERR_SUCCESS);
        EXPECT_EQ(std::string(buf, len), c.want);
        // UTF-16 ends with a NUL code unit, UTF-8 with a NUL byte.
        EXPECT_EQ(buf[len], 0);
        if (c.flags & (ORVEX_OSTEP_UTF16LE | ORVEX_OSTEP_UTF16BE)) {
            EXPECT_EQ(buf[len + 1], 0);
        }
        orvex_t back = from_ostep(std::string(buf, len));
        EXPECT_TRUE(orvex_equal(d, back));
        orvex_free(back);
        std::free(buf);
    }
    to_ostep(d, ORVEX_OSTEP_UTF16LE | ORVEX_OSTEP_UTF16BE, ORVEX_ERR_INVALID_ARG);
    to_ostep(d, 32, ORVEX_ERR_INVALID_ARG);

    // An empty bare list is a blank line (an empty document is refused);
    // other roots ignore the bare form.
    orvex_t empty = orvex_new_dict();
    EXPECT_EQ(to_ostep(empty, ORVEX_OSTEP_STRINGS), "\n");
    orvex_t back = from_ostep("\n");
    EXPECT_EQ(orvex_get_node_type(back), ORVEX_DICT);
    orvex_free(back);
    EXPECT_EQ(to_ostep(a, ORVEX_OSTEP_STRINGS), to_ostep(a, 0));
    orvex_free(empty);
    orvex_free(d);
}

TEST(OpenStepWriter, ShapeAndRefusals) {
    orvex_t d = orvex_new_dict();
    orvex_t a = orvex_new_array();
    orvex_array_append_item(a, orvex_new_string("x y"));
    orvex_array_append_item(a, orvex_new_dict());
    orvex_dict_set_item(d, "list", a);
    orvex_dict_set_item(d, "n", orvex_new_int(-3));
    orvex_dict_set_item(d, "blob", orvex_new_data("\x01\x02\x03\x04\x05", 5));
    EXPECT_EQ(to_ostep(d, 0),
              "{\n\tlist = (\n\t\t\"x y\",\n\t\t{}\n\t);\n\tn = -3;\n\tblob = <01020304 05>;\n}\n");
    EXPECT_EQ(to_ostep(d, ORVEX_OSTEP_TYPED),
              "{\n\tlist = (\n\t\t\"x y\",\n\t\t{}\n\t);\n\tn = <*I-3>;\n\tblob = <01020304 05>;\n}\n");

    // No form for UIDs and null, deep inside or at the root; unknown flags.
    orvex_dict_set_item(orvex_array_get_item(a, 1), "u", orvex_new_uid(7));
    to_ostep(d, 0, ORVEX_ERR_FORMAT);
    orvex_t null = orvex_new_null();
    to_ostep(null, ORVEX_OSTEP_TYPED, ORVEX_ERR_FORMAT);
    to_ostep(null, 0x80, ORVEX_ERR_INVALID_ARG);
    orvex_free(null);
    orvex_free(d);
    char *out = nullptr;
    uint32_t len = 7;
    EXPECT_EQ(orvex_to_openstep(nullptr, &out, &len, 0), ORVEX_ERR_INVALID_ARG);
    EXPECT_EQ(len, 0u);

    // Indentation grows with the square of the depth: 70,000 levels pass
    // 4 GiB, refused before any buffer is made.
    orvex_t deep = orvex_new_array();
    for (int i = 0; i < 70000; ++i) {
        orvex_t parent = orvex_new_array();
        orvex_array_append_item(parent, deep);
        deep = parent;
    }
    EXPECT_EQ(orvex_to_openstep(deep, &out, &len, 0), ORVEX_ERR_LIMIT);
    EXPECT_EQ(out, nullptr);
    orvex_free(deep);
}

// Bare exactly the characters other readers take unquoted ('+' is not one
// of them: they end the string there), so "1e+300" and "+" are quoted.
TEST(OpenStepWriter, QuotesWhatOtherReadersDoNotTakeBare) {
    const std::string bare = "$-./0123456789:ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
    for (size_t n : {2, 20}) { // short text byte by byte, long text 16 bytes at a time
        for (char c = 0x20; c < 0x7F; ++c) {
            Tree s(orvex_new_string(("a" + std::string(n - 1, c)).c_str()));
            std::string text = to_ostep(s.get(), 0);
            EXPECT_EQ(text[0] == '"', bare.find(c) == std::string::npos) << text;
        }
    }
    Tree a(orvex_new_array());
    orvex_array_append_item(a.get(), orvex_new_real(1e300));
    orvex_array_append_item(a.get(), orvex_new_real(-2.5e-300));
    orvex_array_append_item(a.get(), orvex_new_real(HUGE_VAL));
    EXPECT_EQ(to_ostep(a.get(), 0), "(\n\t\"1e+300\",\n\t-2.5e-300,\n\tinf\n)\n");
    EXPECT_EQ(to_ostep(a.get(), ORVEX_OSTEP_TYPED), "(\n\t<*R1e+300>,\n\t<*R-2.5e-300>,\n\t<*Rinf>\n)\n");
}

// The NeXTSTEP table compiled in is the project's copy of it, row by row;
// \000-\177 are ASCII.
TEST(OpenStepReader, NextStepTable) {
    std::string tsv = file_text(data_path("tables/nextstep-8bit.tsv"));
    int rows = 0;
    for (size_t at = 0; at < tsv.size();) {
        size_t nl = tsv.find('\n', at);
        std::string line = tsv.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
        at = nl == std::string::npos ? tsv.size() : nl + 1;
        if (line.empty() || line[0] != '\\')
            continue;
        std::string octal = line.substr(0, 4);
        uint32_t cp = uint32_t(std::strtoul(line.substr(line.find("U+") + 2).c_str(), nullptr, 16));
        Tree got(from_ostep("\"" + octal + "\""));
        EXPECT_STREQ(orvex_get_string_ptr(got.get(), nullptr), utf8_of(cp).c_str()) << octal;
        ++rows;
    }
    EXPECT_EQ(rows, 128);
    for (int c = 1; c < 0x80; ++c) {
        char esc[8];
        std::snprintf(esc, sizeof esc, "\"\\%03o\"", c);
        Tree got(from_ostep(esc));
        EXPECT_STREQ(orvex_get_string_ptr(got.get(), nullptr), std::string(1, char(c)).c_str()) << esc;
    }
}

TEST(OpenStepReader, AcceptsTheFormsOfTheFormat) {
    const struct {
        const char *doc, *json;
    } cases[] = {
        {"{a = b; \"c d\" = 'e';}", R"({"dict":[["a",{"string":"b"}],["c d",{"string":"e"}]]})"},
        {"(a, (b), {}, )", R"({"array":[{"string":"a"},{"array":[{"string":"b"}]},{"dict":[]}]})"},
        {"()", R"({"array":[]})"},
        {"\xEF\xBB\xBF/* c */ { // x\n k = v; }", R"({"dict":[["k",{"string":"v"}]]})"},
        {"\"a\\n\\t\\\"\\\\\\a\\b\\f\\r\\v\\q\\'\"",
         "{\"string\":\"a\\n\\t\\\"\\\\\\u0007\\b\\f\\r\\u000bq'\"}"},
        {R"("\U00e9\u20AC\uD83D\uDE00")", "{\"string\":\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"}"},
        // Octal escapes are NeXTSTEP bytes (the whole table: NextStepTable); past \377 they wrap.
        {R"("\101\351\200\375\376\377\477")",
         "{\"string\":\"A\xC3\x98\xC2\xA0\xC3\xBF\xEF\xBF\xBD\xEF\xBF\xBD?\"}"},
        {"<0fbd 7777\n00>", R"({"data":"D713dwA="})"},
        {"<>", R"({"data":""})"},
        {"(<[aGVsbG8=]>, <[ aGVs\nbG8 ]>, <[]>)",
         R"({"array":[{"data":"aGVsbG8="},{"data":"aGVsbG8="},{"data":""}]})"},
        // Line comments end at LF, CR or a separator; U+2028 and U+2029 are blanks.
        {"(a, // c\rb, // d\r\nc // e\xE2\x80\xA8, d)",
         R"({"array":[{"string":"a"},{"string":"b"},{"string":"c"},{"string":"d"}]})"},
        {"(a\xE2\x80\xA8,\xE2\x80\xA9"
         "b\f\v)",
         R"({"array":[{"string":"a"},{"string":"b"}]})"},
        {"(<*I-12>, <*I0x10>, <*R1.5>, <*BY>, <*BN>, <*D2001-01-01 01:00:00 +0100>, <*D2001-01-01 00:00:00>)",
         R"({"array":[{"int":"-12"},{"int":"16"},{"real":"0x1.8p+0"},{"bool":true},{"bool":false},)"
         R"({"date":"2001-01-01T00:00:00Z"},{"date":"2001-01-01T00:00:00Z"}]})"},
        {"12", R"({"string":"12"})"},
        {"/usr/lib", R"({"string":"/usr/lib"})"},
        {"przesz\xC5\x82o\xC5\x9B\xC4\x87", "{\"string\":\"przesz\xC5\x82o\xC5\x9B\xC4\x87\"}"},
        // The .strings form, `key;` shorthand, repeated keys, an empty file.
        {"a = 1;\n\"b\" = \"2\"; c; a = 3;",
         R"({"dict":[["a",{"string":"3"}],["b",{"string":"2"}],["c",{"string":"c"}]]})"},
        {" /* nothing */ // at all\n", R"({"dict":[]})"},
        {"{k = (1, {x = <01>;});}",
         R"({"dict":[["k",{"array":[{"string":"1"},{"dict":[["x",{"data":"AQ=="}]]}]}]]})"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.doc);
        orvex_t want = expect_tree_from_json(c.json);
        ASSERT_NE(want, nullptr) << c.json;
        orvex_t got = from_ostep(c.doc);
        EXPECT_TRUE(orvex_equal(want, got)) << describe(got);
        orvex_free(want);
        orvex_free(got);
    }
    // A key ends at its first NUL; the value of `key;` is the whole text.
    Tree d(from_ostep(R"({"a\000b"; "c\000" = x;})"));
    uint64_t n = 0;
    const char *v = orvex_get_string_ptr(orvex_dict_get_item(d.get(), "a"), &n);
    EXPECT_EQ(std::string(v ? v : "", n), std::string("a\0b", 3));
    EXPECT_STREQ(orvex_get_string_ptr(orvex_dict_get_item(d.get(), "c"), nullptr), "x");
}

TEST(OpenStepReader, RejectsWithTheCause) {
    expect_refusals(
        ORVEX_FORMAT_OSTEP,
        {
            {"", ORVEX_ERR_PARSE, ORVEX_REASON_EMPTY, 0},
            {"{a = b;", ORVEX_ERR_PARSE, ORVEX_REASON_TRUNCATED, 7},
            {"(a, \"bc", ORVEX_ERR_PARSE, ORVEX_REASON_TRUNCATED, 4},
            {"{a = b;} /* x", ORVEX_ERR_PARSE, ORVEX_REASON_TRUNCATED, 9},
            {"<0f", ORVEX_ERR_PARSE, ORVEX_REASON_TRUNCATED, 0},
            {"<*I5", ORVEX_ERR_PARSE, ORVEX_REASON_TRUNCATED, 0},
            {"{a = b} ", ORVEX_ERR_PARSE, ORVEX_REASON_EXPECTED_SEMICOLON, 6},
            {"{a b;}", ORVEX_ERR_PARSE, ORVEX_REASON_EXPECTED_EQUALS, 3},
            {"(a b)", ORVEX_ERR_PARSE, ORVEX_REASON_EXPECTED_COMMA, 3},
            {"(a,,)", ORVEX_ERR_PARSE, ORVEX_REASON_UNEXPECTED, 3},
            {"{a = ;}", ORVEX_ERR_PARSE, ORVEX_REASON_UNEXPECTED, 5},
            {"(a) b", ORVEX_ERR_PARSE, ORVEX_REASON_EXTRA_CONTENT, 4},
            {"a = b; (", ORVEX_ERR_PARSE, ORVEX_REASON_BAD_KEY, 7},
            {"{<00> = b;}", ORVEX_ERR_PARSE, ORVEX_REASON_BAD_KEY, 1},
            {"(a, #)", ORVEX_ERR_PARSE, ORVEX_REASON_UNEXPECTED, 4},
            {"\"\\u\"", ORVEX_ERR_PARSE, ORVEX_REASON_BAD_ESCAPE, 1},
            {"\"\\uDC00\"", ORVEX_ERR_PARSE, ORVEX_REASON_UNPAIRED_SURROGATE, 1},
            {"\"\\uD800x\"", ORVEX_ERR_PARSE, ORVEX_REASON_UNPAIRED_SURROGATE, 1},
            {"<0fb>", ORVEX_ERR_PARSE, ORVEX_REASON_BAD_DATA, 4},
            {"<0g>", ORVEX_ERR_PARSE, ORVEX_REASON_BAD_DATA, 2},
            {"(<[aGVsbG8=]", ORVEX_ERR_PARSE, ORVEX_REASON_TRUNCATED, 1},
            {"(<[aGVsbG8=] >)", ORVEX_ERR_PARSE, ORVEX_REASON_BAD_BASE64, 12},
            {"(<[aGVsbG8=x]>)", ORVEX_ERR_PARSE, ORVEX_REASON_BAD_BASE64, 1},
            {"(<[a]>)", ORVEX_ERR_PARSE, ORVEX_REASON_BAD_BASE64, 1},
            {"{<[AA==]> = b;}", ORVEX_ERR_PARSE, ORVEX_REASON_BAD_KEY, 1},
            {"(a // c\rb)", ORVEX_ERR_PARSE, ORVEX_REASON_EXPECTED_COMMA, 8},
            {"(\xE2\x80\xA8"
             "a\xE2\x80\xA8"
             "b)",
             ORVEX_ERR_PARSE, ORVEX_REASON_EXPECTED_COMMA, 8},
            {"<*X1>", ORVEX_ERR_PARSE, ORVEX_REASON_BAD_TYPED, 0},
            {"<*BT>", ORVEX_ERR_PARSE, ORVEX_REASON_BAD_TYPED, 0},
            {"<*I1.5>", ORVEX_ERR_PARSE, ORVEX_REASON_BAD_INTEGER, 3},
            {"<*I99999999999999999999>", ORVEX_ERR_PARSE, ORVEX_REASON_INTEGER_RANGE, 3},
            {"<*Rx>", ORVEX_ERR_PARSE, ORVEX_REASON_BAD_REAL, 3},
            {"<*D2001-01-01>x", ORVEX_ERR_PARSE, ORVEX_REASON_EXTRA_CONTENT, 14},
            {"<*D2001-01-01 00:00:00 +01x0>", ORVEX_ERR_PARSE, ORVEX_REASON_BAD_DATE, 3},
            {"<*D2001-13-01 00:00:00 +0000>", ORVEX_ERR_PARSE, ORVEX_REASON_DATE_RANGE, 3},
            {"\"\xC3\"", ORVEX_ERR_PARSE, ORVEX_REASON_BAD_UTF8, 1},
            {"(a\xFF)", ORVEX_ERR_PARSE, ORVEX_REASON_BAD_UTF8, 2},
            {std::string("\"a\0\"", 4), ORVEX_ERR_PARSE, ORVEX_REASON_NUL_BYTE, 2},
            {std::string(600, '(') + std::string(600, ')'), ORVEX_ERR_LIMIT, ORVEX_REASON_TOO_DEEP,
             ORVEX_MAX_DEPTH},
            {"\xFF\xFE(", ORVEX_ERR_PARSE, ORVEX_REASON_BAD_UTF16, 2},
            {std::string("\xFE\xFF\0(\xDC\0", 6), ORVEX_ERR_PARSE, ORVEX_REASON_BAD_UTF16, 4},
            {std::string("\xFF\xFE(\0a\0,\0#\0)\0", 12), ORVEX_ERR_PARSE, ORVEX_REASON_UNEXPECTED, 8},
        });

    // Line and column count characters: UTF-8 sequences and UTF-16 units as one.
    for (int wide : {0, 1, 2}) { // UTF-8, UTF-16 with its mark, without
        std::string doc = "{\n\t\xC3\xA9 = b;\n\tk = v\n}";
        if (wide)
            doc = utf16(doc, false).substr(wide == 1 ? 0 : 2);
        orvex_t root = nullptr;
        orvex_parse_result r{};
        orvex_parse(doc.data(), doc.size(), ORVEX_FORMAT_NONE, &root, nullptr, &r);
        EXPECT_EQ(r.cause, ORVEX_REASON_EXPECTED_SEMICOLON);
        EXPECT_EQ(r.line, 4u);
        EXPECT_EQ(r.column, 1u);
        EXPECT_EQ(r.offset, wide ? (wide == 1 ? 2u : 0u) + 2 * 17u : 18u);
    }
}

TEST(OpenStepFiles, GnustepFilesRead) {
    const std::string dir = data_path("ostep");
    DIR *d = opendir(dir.c_str());
    ASSERT_NE(d, nullptr);
    int files = 0;
    while (dirent *e = readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        SCOPED_TRACE(e->d_name);
        std::string text = file_text(dir + "/" + e->d_name);
        orvex_t root = nullptr;
        orvex_format_t fmt = ORVEX_FORMAT_NONE;
        EXPECT_EQ(orvex_from_memory(text.data(), uint32_t(text.size()), &root, &fmt), ORVEX_ERR_SUCCESS);
        EXPECT_EQ(fmt, ORVEX_FORMAT_OSTEP);
        EXPECT_EQ(orvex_get_node_type(root), ORVEX_DICT);
        EXPECT_GT(orvex_dict_get_size(root), 0u);
        // What we write of it reads back the same.
        orvex_t back = from_ostep(to_ostep(root, 0));
        EXPECT_TRUE(orvex_equal(root, back));
        orvex_free(back);
        orvex_free(root);
        ++files;
    }
    closedir(d);
    EXPECT_GE(files, 6);

    // The UTF-16 .strings file, either byte order, reads as its UTF-8 text.
    std::string wide = file_text(dir + "/base-French-utf16.strings");
    std::string swapped = wide;
    for (size_t i = 0; i + 1 < swapped.size(); i += 2)
        std::swap(swapped[i], swapped[i + 1]);
    orvex_t le = from_ostep(wide), be = from_ostep(swapped);
    EXPECT_TRUE(orvex_equal(le, be));
    // Without the mark too, found by detection from its first characters.
    for (const std::string &doc : {wide.substr(2), swapped.substr(2)}) {
        orvex_t bare = nullptr;
        orvex_format_t fmt = ORVEX_FORMAT_NONE;
        EXPECT_EQ(orvex_from_memory(doc.data(), uint32_t(doc.size()), &bare, &fmt), ORVEX_ERR_SUCCESS);
        EXPECT_EQ(fmt, ORVEX_FORMAT_OSTEP);
        EXPECT_TRUE(orvex_equal(le, bare));
        orvex_free(bare);
    }
    const char *v = orvex_get_string_ptr(orvex_dict_get_item(le, "NSProprietaryStringEncoding"), nullptr);
    ASSERT_NE(v, nullptr);
    EXPECT_NE(std::string(v).find("\xC3\xA9"), std::string::npos) << v; // an é, from U+00E9 in UTF-16
    orvex_free(le);
    orvex_free(be);

    orvex_t de = from_ostep(file_text(dir + "/base-German.strings"));
    EXPECT_STREQ(orvex_get_string_ptr(orvex_dict_get_item(de, "NSUTF8StringEncoding"), nullptr),
                 "Unicode UTF-8");
    orvex_free(de);
}

TEST(OpenStepConversion, BinaryToTypedOpenStepToBinaryKeepsEveryValue) {
    for (const char *name : {"data", "dates", "empty-array", "empty-dict", "integers", "library", "nesting",
                             "nonfinite-reals", "reals", "scalars", "shared-values", "text"}) {
        SCOPED_TRACE(name);
        std::vector<char> bin = read_file(data_path(std::string(name) + ".bin"));
        orvex_t first = nullptr;
        ASSERT_EQ(orvex_from_bin(bin.data(), uint32_t(bin.size()), &first), ORVEX_ERR_SUCCESS);
        orvex_t mid = from_ostep(to_ostep(first, ORVEX_OSTEP_TYPED));
        char *out = nullptr;
        uint32_t len = 0;
        ASSERT_EQ(orvex_to_bin(mid, &out, &len), ORVEX_ERR_SUCCESS);
        orvex_t last = nullptr;
        EXPECT_EQ(orvex_from_bin(out, len, &last), ORVEX_ERR_SUCCESS);
        std::free(out);
        orvex_t want = in_whole_seconds(first); // dates keep whole seconds, as in XML
        EXPECT_TRUE(orvex_equal(want, last)) << describe(want) << "---\n" << describe(last);
        for (orvex_t t : {first, mid, last, want})
            orvex_free(t);
    }
    std::vector<char> uids = read_file(data_path("uids.bin"));
    orvex_t u = nullptr;
    ASSERT_EQ(orvex_from_bin(uids.data(), uint32_t(uids.size()), &u), ORVEX_ERR_SUCCESS);
    to_ostep(u, ORVEX_OSTEP_TYPED, ORVEX_ERR_FORMAT);
    orvex_free(u);
}

TEST(Utf16Xml, ReadsAsTheUtf8Form) {
    std::string xml = file_text(data_path("text.xml"));
    orvex_t want = nullptr;
    ASSERT_EQ(orvex_from_xml(xml.data(), uint32_t(xml.size()), &want), ORVEX_ERR_SUCCESS);
    std::string declared = xml;
    size_t enc = declared.find("UTF-8");
    ASSERT_NE(enc, std::string::npos);
    declared.replace(enc, 5, "UTF-16");
    for (bool little : {true, false}) {
        for (const std::string &src : {xml.substr(xml.find("<plist")), declared}) {
            std::string doc = utf16(src, little);
            orvex_t got = nullptr;
            orvex_format_t fmt = ORVEX_FORMAT_NONE;
            EXPECT_EQ(orvex_from_memory(doc.data(), uint32_t(doc.size()), &got, &fmt), ORVEX_ERR_SUCCESS);
            EXPECT_EQ(fmt, ORVEX_FORMAT_XML);
            EXPECT_TRUE(orvex_equal(want, got));
            orvex_free(got);
        }
    }
    orvex_free(want);

    // A UTF-16 document may declare UTF-16 only; offsets count its bytes.
    const struct {
        std::string doc;
        orvex_reason_t cause;
        uint64_t offset;
    } bad[] = {
        {utf16("<?xml version=\"1.0\" encoding=\"UTF-8\"?><true/>", true), ORVEX_REASON_ENCODING_CONFLICT,
         2 + 60},
        {utf16("<plist>\n<strin/></plist>", false), ORVEX_REASON_UNKNOWN_ELEMENT, 2 + 16},
        {unmarked(utf16("<plist>\n<strin/></plist>", true)), ORVEX_REASON_UNKNOWN_ELEMENT, 16},
        {unmarked(utf16("<?xml version=\"1.0\"?><true/>", false)) + "x", ORVEX_REASON_BAD_UTF16, 56},
        {utf16("<string>\xC3\xA9</string>", true) + "x", ORVEX_REASON_BAD_UTF16, 38},
    };
    for (const auto &c : bad) {
        orvex_t root = nullptr;
        orvex_parse_result r{};
        EXPECT_NE(orvex_parse(c.doc.data(), c.doc.size(), ORVEX_FORMAT_NONE, &root, nullptr, &r),
                  ORVEX_ERR_SUCCESS);
        EXPECT_EQ(r.cause, c.cause) << r.reason;
        EXPECT_EQ(r.offset, c.offset);
    }
}

TEST(OpenStepModel, FromAndToOpenStep) {
    std::unique_ptr<Orvex::Structure> s(Orvex::Structure::FromOpenStep("{a = (1, <*I2>); b = <00ff>;}"));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetSize(), 2u);
    EXPECT_EQ(s->ToOpenStep(ORVEX_OSTEP_TYPED), "{\n\ta = (\n\t\t1,\n\t\t<*I2>\n\t);\n\tb = <00ff>;\n}\n");
    EXPECT_EQ(Orvex::Structure::FromOpenStep("plain"), nullptr); // the root must be a container
    EXPECT_EQ(Orvex::Structure::FromOpenStep("(a"), nullptr);

    const std::string text = "\"k\" = \"v\";";
    orvex_format_t fmt = ORVEX_FORMAT_NONE;
    std::unique_ptr<Orvex::Structure> m(Orvex::Structure::FromMemory(text.data(), text.size(), &fmt));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(fmt, ORVEX_FORMAT_OSTEP);

    Orvex::Dictionary d;
    d.Set("u", Orvex::Uid(uint64_t(3)));
    EXPECT_EQ(d.ToOpenStep(), "");
}

// What detection takes each document for, and the tree it reads (empty:
// rejected, with `cause`).
TEST(Detect, OpenStepXmlAndUtf16) {
    const orvex_format_t O = ORVEX_FORMAT_OSTEP, X = ORVEX_FORMAT_XML, N = ORVEX_FORMAT_NONE;
    const std::string hello = R"({"data":"aGVsbG8="})";
    const struct {
        std::string doc;
        orvex_format_t format;
        std::string json;
        orvex_reason_t cause;
    } cases[] = {
        {"{a=b;}", O, R"({"dict":[["a",{"string":"b"}]]})", ORVEX_REASON_NONE},
        {"\n (a)", O, R"({"array":[{"string":"a"}]})", ORVEX_REASON_NONE},
        {"\xEF\xBB\xBF\"k\" = v;", O, R"({"dict":[["k",{"string":"v"}]]})", ORVEX_REASON_NONE},
        {"// c\nk = v;", O, R"({"dict":[["k",{"string":"v"}]]})", ORVEX_REASON_NONE},
        // Nothing XML starts so: OpenStep data and typed roots.
        {"<68656c6c 6f>", O, hello, ORVEX_REASON_NONE},
        {" <68656C6C6F>", O, hello, ORVEX_REASON_NONE},
        {"< 68656c6c 6f>", O, hello, ORVEX_REASON_NONE},
        {"<[aGVsbG8=]>", O, hello, ORVEX_REASON_NONE},
        {"<>", O, R"({"data":""})", ORVEX_REASON_NONE},
        {"<*I-1>", O, R"({"int":"-1"})", ORVEX_REASON_NONE},
        {"<*BY>", O, R"({"bool":true})", ORVEX_REASON_NONE},
        {"<*RNaN>", O, R"({"real":"nan"})", ORVEX_REASON_NONE},
        {"<*D2013-11-27 00:34:00 +0000>", O, R"({"date":"2013-11-27T00:34:00Z"})", ORVEX_REASON_NONE},
        {"<deadbeef\n 00>", O, R"({"data":"3q2+7wA="})", ORVEX_REASON_NONE},
        {"<0fbd", O, "", ORVEX_REASON_TRUNCATED},
        {"<*I", O, "", ORVEX_REASON_TRUNCATED},
        // Element names, hex letters among them, are XML, and so are its rejections.
        {"<dict/>", X, R"({"dict":[]})", ORVEX_REASON_NONE},
        {"<data>aGVsbG8=</data>", X, hello, ORVEX_REASON_NONE},
        {"<date>2013-11-27T00:34:00Z</date>", X, R"({"date":"2013-11-27T00:34:00Z"})", ORVEX_REASON_NONE},
        {"<false/>", X, R"({"bool":false})", ORVEX_REASON_NONE},
        {"<array><true/>", X, "", ORVEX_REASON_TRUNCATED},
        {"<?xml version=\"1.0\" encoding=\"bogus\"?><true/>", X, "", ORVEX_REASON_UNSUPPORTED_ENCODING},
        {"<!DOCTYPE plist><plist><true/></plist><!DOCTYPE x>", X, "", ORVEX_REASON_BAD_DOCTYPE},
        {"<plist><set/></plist>", X, "", ORVEX_REASON_UNKNOWN_ELEMENT},
        {"<!-- x", X, "", ORVEX_REASON_TRUNCATED},
        {"<face/>", X, "", ORVEX_REASON_UNKNOWN_ELEMENT},
        // Only blanks and comments: an empty dictionary; no bytes: empty.
        {"   ", O, R"({"dict":[]})", ORVEX_REASON_NONE},
        {"\xEF\xBB\xBF", O, R"({"dict":[]})", ORVEX_REASON_NONE},
        {" /* c */ // d\r", O, R"({"dict":[]})", ORVEX_REASON_NONE},
        {"\xE2\x80\xA8 (a)", O, R"({"array":[{"string":"a"}]})", ORVEX_REASON_NONE},
        {"", N, "", ORVEX_REASON_EMPTY},
        // UTF-16 with its mark, or without when the first characters are ASCII.
        {utf16(" <array/>", true), X, R"({"array":[]})", ORVEX_REASON_NONE},
        {utf16("<true/>", false), X, R"({"bool":true})", ORVEX_REASON_NONE},
        {unmarked(utf16("<?xml version=\"1.0\"?><true/>", true)), X, R"({"bool":true})", ORVEX_REASON_NONE},
        {unmarked(utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?><true/>", false)), X, R"({"bool":true})",
         ORVEX_REASON_NONE},
        {unmarked(utf16("<plist><false/></plist>", true)), X, R"({"bool":false})", ORVEX_REASON_NONE},
        {utf16("k = v;", false), O, R"({"dict":[["k",{"string":"v"}]]})", ORVEX_REASON_NONE},
        {unmarked(utf16("k = \xC3\xA9;", true)), O, "{\"dict\":[[\"k\",{\"string\":\"\xC3\xA9\"}]]}",
         ORVEX_REASON_NONE},
        {unmarked(utf16("(a)", false)), O, R"({"array":[{"string":"a"}]})", ORVEX_REASON_NONE},
        {unmarked(utf16("<01>", false)), O, R"({"data":"AQ=="})", ORVEX_REASON_NONE},
        {unmarked(utf16("\xC3\xA9", true)), N, "", ORVEX_REASON_UNKNOWN_FORMAT},
        // UTF-32 is not read, with or without its mark.
        {std::string("<\0\0\0t\0\0\0", 8), X, "", ORVEX_REASON_BAD_TAG},
        {std::string("\0\0\0<\0\0\0t", 8), N, "", ORVEX_REASON_UNKNOWN_FORMAT},
        {std::string("\xFF\xFE\0\0<\0\0\0", 8), N, "", ORVEX_REASON_UNKNOWN_FORMAT},
        {"\x01{}", N, "", ORVEX_REASON_UNKNOWN_FORMAT},
        {"bplist01{}", N, "", ORVEX_REASON_UNKNOWN_FORMAT},
        {"\xFF\xFE\x2D\x01", N, "", ORVEX_REASON_UNKNOWN_FORMAT}, // U+012D: its low byte is a hyphen
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.doc);
        orvex_t root = nullptr;
        orvex_format_t fmt = ORVEX_FORMAT_BINARY;
        orvex_parse_result r{};
        orvex_parse(c.doc.data(), c.doc.size(), ORVEX_FORMAT_NONE, &root, &fmt, &r);
        Tree got(root);
        EXPECT_EQ(fmt, c.format);
        if (c.json.empty()) {
            EXPECT_EQ(root, nullptr);
            EXPECT_EQ(r.cause, c.cause) << r.reason;
            continue;
        }
        Tree want(expect_tree_from_json(c.json));
        ASSERT_NE(want.get(), nullptr) << c.json;
        EXPECT_TRUE(orvex_equal(want.get(), root)) << r.reason << "\n" << describe(root);
    }
    // Empty input is empty whatever the format asked.
    for (orvex_format_t f :
         {ORVEX_FORMAT_NONE, ORVEX_FORMAT_XML, ORVEX_FORMAT_BINARY, ORVEX_FORMAT_JSON, O}) {
        orvex_t root = nullptr;
        orvex_parse_result r{};
        EXPECT_EQ(orvex_parse("", 0, f, &root, nullptr, &r), ORVEX_ERR_PARSE);
        EXPECT_EQ(r.cause, ORVEX_REASON_EMPTY) << f;
        EXPECT_EQ(orvex_parse(nullptr, 0, f, &root, nullptr, &r), ORVEX_ERR_PARSE);
        EXPECT_EQ(r.cause, ORVEX_REASON_EMPTY) << f;
    }
}
