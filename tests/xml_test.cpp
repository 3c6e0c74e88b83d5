// The XML encoding: the reference documents, round trips of every type and
// edge value, what the reader accepts and rejects, and the limits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "documents.hpp"
#include "expect_tree.hpp"

using namespace orvex_test;

namespace {

orvex_t read(const std::string &doc, orvex_parse_result *res = nullptr) {
    return decode(doc, ORVEX_FORMAT_XML, res);
}

orvex_err_t read_code(const std::string &doc) {
    orvex_parse_result r{};
    Tree t(read(doc, &r));
    EXPECT_EQ(t.get() == nullptr, r.code != ORVEX_ERR_SUCCESS);
    return r.code;
}

std::string write(orvex_t node) { return encode(node, ORVEX_FORMAT_XML); }

// Writes `node`, reads it back and checks that only what the format drops
// changed: dates keep whole seconds. Written again, the text is the same.
void expect_round_trip(orvex_t node, const std::string &what) {
    std::string xml = write(node);
    orvex_parse_result r{};
    Tree back(read(xml, &r));
    ASSERT_NE(back.get(), nullptr) << what << ": " << r.reason << " at " << r.offset << "\n" << xml;
    Tree want(in_whole_seconds(node));
    EXPECT_TRUE(orvex_equal(want.get(), back.get())) << what << "\n"
                                                     << xml << "\nread back:\n"
                                                     << describe(back.get());
    EXPECT_EQ(write(back.get()), xml) << what;
}

std::string doc(const std::string &body) { return "<plist version=\"1.0\">" + body + "</plist>"; }

std::string text_of(orvex_t n) {
    uint64_t len = 0;
    const char *p = orvex_get_string_ptr(n, &len);
    return p ? std::string(p, len) : std::string("<not a string>");
}

} // namespace

// ---- reference documents

TEST(XmlSamples, ReadToTheExpectedTreeAndRoundTrip) {
    const char *names[] = {"data",        "dates",    "dates-fractional", "empty-array",     "empty-dict",
                           "handwritten", "integers", "library",          "minimal",         "nesting",
                           "reals",       "scalars",  "shared-values",    "nonfinite-reals", "text"};
    for (const char *name : names) {
        std::string base = std::string(name) + ".xml";
        std::vector<char> bytes = read_file(data_path(base));
        ASSERT_FALSE(bytes.empty()) << base;
        Tree expect(load_expect_tree(data_path(base + ".expect.json")));
        ASSERT_NE(expect.get(), nullptr) << base;
        orvex_t got = nullptr;
        orvex_format_t fmt = ORVEX_FORMAT_NONE;
        ASSERT_EQ(orvex_from_memory(bytes.data(), uint32_t(bytes.size()), &got, &fmt), ORVEX_ERR_SUCCESS)
            << base;
        Tree owned(got);
        EXPECT_EQ(fmt, ORVEX_FORMAT_XML);
        EXPECT_TRUE(orvex_equal(got, expect.get())) << base << "\n" << describe(got);
        expect_round_trip(expect.get(), base);
        // Beyond reading back: what we write is what the reference encoder wrote.
        if (std::strcmp(name, "handwritten") != 0 && std::strcmp(name, "minimal") != 0) {
            EXPECT_EQ(write(expect.get()), std::string(bytes.begin(), bytes.end())) << base;
        }
    }
}

TEST(XmlSamples, BinarySampleTreesSurviveOurXml) {
    // CR and UIDs, which the reference XML lost; fractions of seconds go in
    // ours too, to the second before.
    for (const char *name : {"dates-fractional", "text", "uids", "reals", "integers", "library"}) {
        std::string path = data_path(std::string(name) + ".bin.expect.json");
        Tree expect(load_expect_tree(path));
        ASSERT_NE(expect.get(), nullptr) << path;
        expect_round_trip(expect.get(), path);
    }
}

// ---- writer

TEST(XmlWriter, StandardShape) {
    Tree d(orvex_new_dict());
    orvex_t a = orvex_new_array();
    orvex_array_append_item(a, orvex_new_int(-3));
    orvex_array_append_item(a, orvex_new_bool(1));
    orvex_array_append_item(a, orvex_new_array());
    orvex_dict_set_item(d.get(), "list", a);
    orvex_dict_set_item(d.get(), "uid", orvex_new_uid(7));
    orvex_dict_set_item(d.get(), "blob", orvex_new_data("\x00\x01\x02\xff", 4));
    orvex_dict_set_item(d.get(), "when", orvex_new_unix_date(1078057845));
    EXPECT_EQ(
        write(d.get()),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
        "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\">\n<dict>\n"
        "\t<key>list</key>\n\t<array>\n\t\t<integer>-3</integer>\n\t\t<true/>\n\t\t<array/>\n\t</array>\n"
        "\t<key>uid</key>\n\t<dict>\n\t\t<key>CF$UID</key>\n\t\t<integer>7</integer>\n\t</dict>\n"
        "\t<key>blob</key>\n\t<data>\n\tAAEC/w==\n\t</data>\n"
        "\t<key>when</key>\n\t<date>2004-02-29T12:30:45Z</date>\n"
        "</dict>\n</plist>\n");
}

TEST(XmlWriter, ValuesAsText) {
    struct Case {
        orvex_t node;
        const char *line;
    } cases[] = {
        {orvex_new_real(-0.0), "<real>-0.0</real>"},
        {orvex_new_real(100), "<real>100.0</real>"},
        {orvex_new_real(0.1), "<real>0.1</real>"},
        {orvex_new_real(NAN), "<real>nan</real>"},
        {orvex_new_real(-INFINITY), "<real>-inf</real>"},
        {orvex_new_uint(UINT64_MAX), "<integer>18446744073709551615</integer>"},
        {orvex_new_int(INT64_MIN), "<integer>-9223372036854775808</integer>"},
        {orvex_new_string("a\rb<&>]]>\x01\tc"), "<string>a&#13;b&lt;&amp;&gt;]]&gt;&#1;\tc</string>"},
        {orvex_new_string("bad \xff utf8"), "<string>bad \xEF\xBF\xBD utf8</string>"},
        {orvex_new_date(0.5), "<date>2001-01-01T00:00:00Z</date>"},
        {orvex_new_date(-0.75), "<date>2000-12-31T23:59:59Z</date>"},
        {orvex_new_string("\xEF\xBF\xBE\xEF\xBF\xBD\xEF\xBF\xBF"),
         "<string>&#xFFFE;\xEF\xBF\xBD&#xFFFF;</string>"},
        {orvex_new_unix_date(-62167305600), "<date>-0001-12-31T00:00:00Z</date>"},
        {orvex_new_unix_date(253402300800), "<date>+10000-01-01T00:00:00Z</date>"},
        {orvex_new_null(), "<null/>"},
        {orvex_new_data(nullptr, 0), "<data>\n</data>"},
    };
    for (Case &c : cases) {
        std::string xml = write(c.node);
        EXPECT_NE(xml.find(std::string("\n") + c.line + "\n"), std::string::npos) << c.line << "\n" << xml;
        orvex_free(c.node);
    }
}

TEST(XmlWriter, Base64LinesStayWithin76Columns) {
    std::string bytes(1000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7);
    Tree root(orvex_new_array());
    orvex_t inner = orvex_new_array();
    orvex_array_append_item(root.get(), inner);
    orvex_array_append_item(inner, orvex_new_data(bytes.data(), bytes.size()));
    std::string xml = write(root.get());
    size_t pos = 0, lines = 0;
    while ((pos = xml.find('\n', pos)) != std::string::npos) {
        size_t next = xml.find('\n', pos + 1);
        if (next == std::string::npos)
            break;
        std::string line = xml.substr(pos + 1, next - pos - 1);
        size_t cols = 0;
        for (char c : line)
            cols += c == '\t' ? 8 : 1;
        if (line.find('<') == std::string::npos) {
            EXPECT_LE(cols, 76u) << line;
            ++lines;
        }
        pos = next;
    }
    EXPECT_GT(lines, 20u);
    expect_round_trip(root.get(), "data");
}

TEST(XmlWriter, EncodingPast32BitsFailsWithLimit) {
    // Indentation alone grows with the square of the depth: 70,000 levels
    // need more than 4 GiB. Refused before any buffer is made.
    // Built from the bottom up: each append then checks no ancestry.
    orvex_t cur = orvex_new_array();
    for (int i = 0; i < 70000; ++i) {
        orvex_t parent = orvex_new_array();
        orvex_array_append_item(parent, cur);
        cur = parent;
    }
    Tree root(cur);
    char *xml = reinterpret_cast<char *>(1);
    uint32_t len = 99;
    EXPECT_EQ(orvex_to_xml(root.get(), &xml, &len), ORVEX_ERR_LIMIT);
    EXPECT_EQ(xml, nullptr);
    EXPECT_EQ(len, 0u);
}

// ---- round trips

TEST(XmlRoundTrip, EveryTypeAndEdgeValue) {
    Tree a(orvex_new_array());
    auto add = [&](orvex_t n) { orvex_array_append_item(a.get(), n); };
    for (int64_t v : {int64_t(0), int64_t(-1), INT64_MIN, INT64_MAX, int64_t(-129)})
        add(orvex_new_int(v));
    for (uint64_t v : {uint64_t(1) << 63, UINT64_MAX, uint64_t(42)})
        add(orvex_new_uint(v));
    for (double v : {0.0, -0.0, 0.1, 1.0 / 3, 5e-324, 2.2250738585072014e-308, 1.7976931348623157e308, 1e16,
                     -1e-300, 123456789.125, double(NAN), double(INFINITY), double(-INFINITY)})
        add(orvex_new_real(v));
    for (double v : {0.5, -0.75, -1e-300, -0.1, 1e-7, 978307200.000001, -123456.789, 5e-324, 1e15 + 0.5,
                     -0x1.8d17ab0abb535p+60})
        add(orvex_new_date(v));
    for (int64_t v :
         {int64_t(0), int64_t(-1), int64_t(253402300799), int64_t(-62135596800), INT64_MAX, INT64_MIN})
        add(orvex_new_unix_date(v));
    for (const char *s : {"", "plain", "a\rb\r\nc\n", "  spaced  ", "<&>\"' ]]> &amp;", "\x01\x02\x1f\x7f",
                          "caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80", "\t", "\xEF\xBF\xBE\xEF\xBF\xBF"})
        add(orvex_new_string(s));
    for (size_t n : {0, 1, 2, 3, 4, 50, 51, 52, 300})
        add(orvex_new_data(std::string(n, '\xA5').data(), n));
    add(orvex_new_bool(0));
    add(orvex_new_bool(1));
    add(orvex_new_uid(0));
    add(orvex_new_uid(UINT64_MAX));
    add(orvex_new_null());
    orvex_t key = orvex_new_string("");
    orvex_set_key_val(key, "a key node");
    add(key);
    orvex_t d = orvex_new_dict();
    orvex_dict_set_item(d, "", orvex_new_string("empty key"));
    orvex_dict_set_item(d, "k\r<&>\x01", orvex_new_null());
    orvex_dict_set_item(d, "CF$UID", orvex_new_string("not a UID: the value is no integer"));
    orvex_dict_set_item(d, "nested", orvex_new_dict());
    orvex_t k2 = orvex_new_string("");
    orvex_set_key_val(k2, "key as a value");
    orvex_dict_set_item(d, "keynode", k2);
    add(d);
    expect_round_trip(a.get(), "every type");
}

TEST(XmlRoundTrip, AnyTypeAsRoot) {
    orvex_t key = orvex_new_string("");
    orvex_set_key_val(key, "k");
    orvex_t roots[] = {orvex_new_bool(1),      orvex_new_int(-5),      orvex_new_real(2.5),
                       orvex_new_string("s"),  orvex_new_array(),      orvex_new_dict(),
                       orvex_new_unix_date(0), orvex_new_data("x", 1), key,
                       orvex_new_uid(3),       orvex_new_null()};
    for (orvex_t r : roots) {
        expect_round_trip(r, describe(r));
        orvex_free(r);
    }
}

// ---- reader: what other tools write

TEST(XmlReader, AcceptsDocumentVariants) {
    const std::string v = "<array><integer>1</integer></array>";
    const char *decl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    const char *dtd = "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"x.dtd\">";
    const std::string variants[] = {
        v,
        doc(v),
        std::string(decl) + "\n" + dtd + "\n" + doc(v) + "\n",
        "\xEF\xBB\xBF" + std::string(decl) + doc(v),
        "<!-- a --><?pi x?>" + std::string(decl) + "<!-- b -->" + doc(v) + "<!-- c --><?end?>\n\n",
        "<!DOCTYPE plist [<!ENTITY x \"]>'\"> <!-- ]> --> <?p ]>?>]>" + doc(v),
        "<plist version='1.0' other = \"x\" >\r\n<array\t><integer >1</integer\n></array ></plist >",
        doc("<array><!-- c --><integer><!-- in --> 1 <?pi?></integer><?pi?></array>"),
    };
    Tree want(read(v));
    ASSERT_NE(want.get(), nullptr);
    for (const std::string &d : variants) {
        orvex_parse_result r{};
        Tree t(read(d, &r));
        ASSERT_NE(t.get(), nullptr) << d << "\n" << r.reason << " at " << r.offset;
        EXPECT_TRUE(orvex_equal(t.get(), want.get())) << d;
        orvex_t m = nullptr;
        orvex_format_t fmt = ORVEX_FORMAT_NONE;
        EXPECT_EQ(orvex_from_memory(d.data(), uint32_t(d.size()), &m, &fmt), ORVEX_ERR_SUCCESS) << d;
        EXPECT_EQ(fmt, ORVEX_FORMAT_XML);
        orvex_free(m);
    }
}

TEST(XmlReader, TextForms) {
    struct Case {
        const char *body;
        const char *want;
    } cases[] = {
        {"<string>a<![CDATA[<b> & ]]]]>c</string>", "a<b> & ]]c"},
        {"<string>&lt;&gt;&amp;&quot;&apos;&#65;&#x42;&#x1F600;&#13;</string>", "<>&\"'AB\xF0\x9F\x98\x80\r"},
        {"<string>a\r\nb\rc\n\rd</string>", "a\nb\nc\n\nd"},
        {"<string><![CDATA[x\r\ny]]></string>", "x\ny"},
        {"<string>a<!-- gone -->b<?pi?>c</string>", "abc"},
        {"<string/>", ""},
        {"<string></string>", ""},
        {"<string>raw\x01"
         "ctl\x7f</string>",
         "raw\x01"
         "ctl\x7f"},
        {"<string>x &gt; y</string >", "x > y"},
    };
    for (const Case &c : cases) {
        Tree t(read(doc(c.body)));
        EXPECT_EQ(text_of(t.get()), c.want) << c.body;
    }
    // A NUL from a reference stays in a string; a key ends at it.
    Tree s(read(doc("<string>a&#0;b</string>")));
    EXPECT_EQ(text_of(s.get()), std::string("a\0b", 3));
    Tree k(read(doc("<dict><key>ab&#0;cd</key><true/></dict>")));
    EXPECT_NE(orvex_dict_get_item(k.get(), "ab"), nullptr);
}

TEST(XmlReader, ScalarForms) {
    struct Case {
        const char *body;
        orvex_t want;
    } cases[] = {
        {"<integer>0x1F</integer>", orvex_new_int(31)},
        {"<integer>-0X10</integer>", orvex_new_int(-16)},
        {"<integer> +5\n</integer>", orvex_new_int(5)},
        {"<integer>18446744073709551615</integer>", orvex_new_uint(UINT64_MAX)},
        {"<integer>0xFFFFFFFFFFFFFFFF</integer>", orvex_new_uint(UINT64_MAX)},
        {"<integer>-9223372036854775808</integer>", orvex_new_int(INT64_MIN)},
        {"<real>3</real>", orvex_new_real(3)},
        {"<real>-INF</real>", orvex_new_real(-INFINITY)},
        {"<real>+infinity</real>", orvex_new_real(INFINITY)},
        {"<real>1e999</real>", orvex_new_real(INFINITY)},
        {"<real>-1e-999</real>", orvex_new_real(-0.0)},
        {"<real>.5</real>", orvex_new_real(0.5)},
        {"<date>2020</date>", orvex_new_unix_date(1577836800)},
        {"<date>2020-02Z</date>", orvex_new_unix_date(1580515200)},
        {"<date>2020-02-29</date>", orvex_new_unix_date(1582934400)},
        {"<date>2020-02-29T01Z</date>", orvex_new_unix_date(1582938000)},
        {"<date>2020-02-29T01:02Z</date>", orvex_new_unix_date(1582938120)},
        {"<date> 2020-02-29T01:02:03Z </date>", orvex_new_unix_date(1582938123)},
        {"<date>2001-01-01T00:00:00.500Z</date>", orvex_new_date(0.5)},
        {"<data>  AA\n EC\t/w = = </data>", orvex_new_data("\x00\x01\x02\xff", 4)},
        {"<data>AAECAw</data>", orvex_new_data("\x00\x01\x02\x03", 4)},
        {"<data/>", orvex_new_data(nullptr, 0)},
        {"<true></true>", orvex_new_bool(1)},
        {"<false> <!-- c --> </false>", orvex_new_bool(0)},
        {"<null/>", orvex_new_null()},
        {"<dict><key>CF$UID</key><integer>9</integer></dict>", orvex_new_uid(9)},
    };
    for (Case &c : cases) {
        orvex_parse_result r{};
        Tree t(read(doc(c.body), &r));
        EXPECT_TRUE(orvex_equal(t.get(), c.want))
            << c.body << ": " << (t.get() ? describe(t.get()) : r.reason);
        orvex_free(c.want);
    }
}

TEST(XmlReader, DictionaryRules) {
    // Not UIDs: another entry, or a value that is no integer.
    Tree two(read(doc("<dict><key>CF$UID</key><integer>1</integer><key>x</key><true/></dict>")));
    EXPECT_EQ(orvex_get_node_type(two.get()), ORVEX_DICT);
    Tree str(read(doc("<dict><key>CF$UID</key><string>1</string></dict>")));
    EXPECT_EQ(orvex_get_node_type(str.get()), ORVEX_DICT);
    // A UID inside a container stays in its place.
    Tree in(read(doc("<array><true/><dict><key>CF$UID</key><integer>4</integer></dict><false/></array>")));
    EXPECT_EQ(orvex_get_node_type(orvex_array_get_item(in.get(), 1)), ORVEX_UID);
    EXPECT_EQ(orvex_array_get_size(in.get()), 3u);
    // Duplicate keys: the last value wins, at the first one's place.
    Tree dup(read(doc("<dict><key>a</key><integer>1</integer><key>b</key><true/>"
                      "<key>a</key><integer>2</integer></dict>")));
    ASSERT_EQ(orvex_dict_get_size(dup.get()), 2u);
    uint64_t v = 0;
    orvex_get_uint_val(orvex_dict_get_item(dup.get(), "a"), &v);
    EXPECT_EQ(v, 2u);
    char *first = nullptr;
    orvex_dict_iter it = nullptr;
    orvex_dict_new_iter(dup.get(), &it);
    orvex_t val = nullptr;
    orvex_dict_next_item(dup.get(), it, &first, &val);
    EXPECT_STREQ(first, "a");
    std::free(first);
    std::free(it);
}

// ---- reader: rejections

TEST(XmlReader, RejectsMalformedDocuments) {
    // Each row names its cause, so a document turned away for another fault
    // than the one it holds fails.
    const orvex_err_t P = ORVEX_ERR_PARSE;
    struct Case {
        std::string doc;
        orvex_err_t code;
        orvex_reason_t why;
    } cases[] = {
        // structure
        {"", P, ORVEX_REASON_EMPTY},
        {"  \n ", P, ORVEX_REASON_NO_VALUE},
        {doc("<array></dict>"), P, ORVEX_REASON_MISMATCHED_TAG},
        {doc("<array>"), P, ORVEX_REASON_MISMATCHED_TAG},
        {"<plist><true/>", P, ORVEX_REASON_TRUNCATED},
        {doc("<set/>"), P, ORVEX_REASON_UNKNOWN_ELEMENT},
        {doc("<String>x</String>"), P, ORVEX_REASON_UNKNOWN_ELEMENT},
        {doc("<array>x<true/></array>"), P, ORVEX_REASON_MISPLACED_TEXT},
        {doc("<array><![CDATA[x]]></array>"), P, ORVEX_REASON_MISPLACED_TEXT},
        {"text" + doc("<true/>"), P, ORVEX_REASON_MISPLACED_TEXT},
        {doc(""), P, ORVEX_REASON_NO_VALUE},
        {"<plist/>", P, ORVEX_REASON_NO_VALUE},
        {doc("<true/><false/>"), P, ORVEX_REASON_EXTRA_CONTENT},
        {doc("<plist><true/></plist>"), P, ORVEX_REASON_MISPLACED_ELEMENT},
        {doc("<dict><key>a</key></dict>"), P, ORVEX_REASON_KEY_WITHOUT_VALUE},
        {doc("<dict><true/></dict>"), P, ORVEX_REASON_VALUE_WITHOUT_KEY},
        {doc("<dict><key>a</key><key>b</key><true/></dict>"), P, ORVEX_REASON_VALUE_WITHOUT_KEY},
        {doc("<string>a<b/>c</string>"), P, ORVEX_REASON_MISPLACED_ELEMENT},
        {doc("<string>a</strin>"), P, ORVEX_REASON_MISMATCHED_TAG},
        {doc("<true>x</true>"), P, ORVEX_REASON_MISPLACED_TEXT},
        {doc("<true/ >"), P, ORVEX_REASON_BAD_TAG},
        {doc("<array attr></array>"), P, ORVEX_REASON_BAD_TAG},
        {doc("<array a=\"<\"></array>"), P, ORVEX_REASON_BAD_TAG},
        {doc("<true/>") + "<!-- open", P, ORVEX_REASON_TRUNCATED},
        {doc("<true/>") + "junk", P, ORVEX_REASON_EXTRA_CONTENT},
        {doc("<true/>") + doc("<true/>"), P, ORVEX_REASON_EXTRA_CONTENT},
        {doc("<true/>") + "<!DOCTYPE x>", P, ORVEX_REASON_BAD_DOCTYPE},
        {doc("<true/>") + std::string(1, '\0'), P, ORVEX_REASON_EXTRA_CONTENT},
        {"<!DOCTYPE x [<!ENTITY e \"boom\">]>" + doc("<string>&e;</string>"), P, ORVEX_REASON_UNKNOWN_ENTITY},
        {doc("<string>&bogus;</string>"), P, ORVEX_REASON_UNKNOWN_ENTITY},
        {doc("<string>&amp</string>"), P, ORVEX_REASON_UNKNOWN_ENTITY},
        {doc("<string>&#xD800;</string>"), P, ORVEX_REASON_BAD_CHAR_REF},
        {doc("<string>&#x110000;</string>"), P, ORVEX_REASON_BAD_CHAR_REF},
        {doc("<string>&#;</string>"), P, ORVEX_REASON_BAD_CHAR_REF},
        // numbers
        {doc("<integer>18446744073709551616</integer>"), P, ORVEX_REASON_INTEGER_RANGE},
        {doc("<integer>-9223372036854775809</integer>"), P, ORVEX_REASON_INTEGER_RANGE},
        {doc("<integer>0x10000000000000000</integer>"), P, ORVEX_REASON_INTEGER_RANGE},
        {doc("<integer></integer>"), P, ORVEX_REASON_BAD_INTEGER},
        {doc("<integer>1.5</integer>"), P, ORVEX_REASON_BAD_INTEGER},
        {doc("<integer>0x</integer>"), P, ORVEX_REASON_BAD_INTEGER},
        {doc("<integer>- 1</integer>"), P, ORVEX_REASON_BAD_INTEGER},
        {doc("<real>1.5x</real>"), P, ORVEX_REASON_BAD_REAL},
        {doc("<real>+-1</real>"), P, ORVEX_REASON_BAD_REAL},
        {doc("<real/>"), P, ORVEX_REASON_BAD_REAL},
        {doc("<real>0x10</real>"), P, ORVEX_REASON_BAD_REAL},
        // base64
        {doc("<data>A</data>"), P, ORVEX_REASON_BAD_BASE64},
        {doc("<data>AA=</data>"), P, ORVEX_REASON_BAD_BASE64},
        {doc("<data>AA==AA</data>"), P, ORVEX_REASON_BAD_BASE64},
        {doc("<data>====</data>"), P, ORVEX_REASON_BAD_BASE64},
        {doc("<data>AA*A</data>"), P, ORVEX_REASON_BAD_BASE64},
        {doc("<data>AA-_</data>"), P, ORVEX_REASON_BAD_BASE64},
        // dates
        {doc("<date>2021-02-29T00:00:00Z</date>"), P, ORVEX_REASON_DATE_RANGE},
        {doc("<date>2020-13-01T00:00:00Z</date>"), P, ORVEX_REASON_DATE_RANGE},
        {doc("<date>2020-01-01T24:00:00Z</date>"), P, ORVEX_REASON_DATE_RANGE},
        {doc("<date>2020-01-01T00:60:00Z</date>"), P, ORVEX_REASON_DATE_RANGE},
        {doc("<date>2020-01-01T00:00:60Z</date>"), P, ORVEX_REASON_DATE_RANGE},
        {doc("<date>2020-1-01</date>"), P, ORVEX_REASON_BAD_DATE},
        {doc("<date>20</date>"), P, ORVEX_REASON_BAD_DATE},
        {doc("<date>12345-01-01</date>"), P, ORVEX_REASON_BAD_DATE},
        {doc("<date>2020-01-01T</date>"), P, ORVEX_REASON_BAD_DATE},
        {doc("<date>2020-01-01T00:00:00.Z</date>"), P, ORVEX_REASON_BAD_DATE},
        {doc("<date>2020-01-01 00:00:00</date>"), P, ORVEX_REASON_BAD_DATE},
        {doc("<date>2020-01-01T00:00:00ZZ</date>"), P, ORVEX_REASON_BAD_DATE},
        {doc("<date></date>"), P, ORVEX_REASON_BAD_DATE},
        // UTF-8
        {doc("<string>\xC0\xAF</string>"), P, ORVEX_REASON_BAD_UTF8},
        {doc("<string>\xED\xA0\x80</string>"), P, ORVEX_REASON_BAD_UTF8},
        {doc("<string>\xF4\x90\x80\x80</string>"), P, ORVEX_REASON_BAD_UTF8},
        {doc("<string>\xE6\x97</string>"), P, ORVEX_REASON_BAD_UTF8},
        {doc("<string>\x80</string>"), P, ORVEX_REASON_BAD_UTF8},
        {doc("<string>&amp;\xFF</string>"), P, ORVEX_REASON_BAD_UTF8},
        {doc("<dict><key>\xFE</key><true/></dict>"), P, ORVEX_REASON_BAD_UTF8},
        {"<!-- \xFF -->" + doc("<true/>"), P, ORVEX_REASON_BAD_UTF8},
        {doc("<string><![CDATA[\xC3]]></string>"), P, ORVEX_REASON_BAD_UTF8},
        {"<plist version=\"\xE0\x80\x80\"><true/></plist>", P, ORVEX_REASON_BAD_UTF8},
        {doc(std::string("<string>a\0b</string>", 20)), P, ORVEX_REASON_NUL_BYTE},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.doc);
        EXPECT_EQ(expect_refused(c.doc, ORVEX_FORMAT_XML, c.why).code, c.code);
        orvex_t m = reinterpret_cast<orvex_t>(1);
        EXPECT_NE(orvex_from_xml(c.doc.data(), uint32_t(c.doc.size()), &m), ORVEX_ERR_SUCCESS);
        EXPECT_EQ(m, nullptr);
    }
}

TEST(XmlReader, ReportsWhereAndWhy) {
    std::string d = "<plist>\n<array>\n  <integer>12x</integer>\n</array>\n</plist>";
    orvex_parse_result r{};
    orvex_t root = reinterpret_cast<orvex_t>(1);
    orvex_format_t fmt = ORVEX_FORMAT_NONE;
    EXPECT_EQ(orvex_parse(d.data(), d.size(), ORVEX_FORMAT_NONE, &root, &fmt, &r), ORVEX_ERR_PARSE);
    EXPECT_EQ(root, nullptr);
    EXPECT_EQ(fmt, ORVEX_FORMAT_XML);
    EXPECT_EQ(r.code, ORVEX_ERR_PARSE);
    EXPECT_EQ(r.offset, d.find("12x"));
    EXPECT_EQ(r.line, 3u);
    EXPECT_EQ(r.column, 12u);
    EXPECT_EQ(r.cause, ORVEX_REASON_BAD_INTEGER);

    std::string m = "<plist>\n<array>\n</dict>\n</plist>";
    EXPECT_EQ(orvex_parse(m.data(), m.size(), ORVEX_FORMAT_XML, &root, nullptr, &r), ORVEX_ERR_PARSE);
    EXPECT_EQ(r.line, 3u);
    EXPECT_EQ(r.column, 1u);
    EXPECT_EQ(r.cause, ORVEX_REASON_MISMATCHED_TAG);

    EXPECT_EQ(orvex_parse(d.data(), d.size(), ORVEX_FORMAT_XML, &root, nullptr, nullptr), ORVEX_ERR_PARSE);
    EXPECT_EQ(orvex_from_xml(nullptr, 0, &root), ORVEX_ERR_PARSE);
    EXPECT_EQ(root, nullptr);
}

// ---- nesting limit

namespace {
std::string nested(size_t levels, const std::string &inner) {
    std::string s;
    for (size_t i = 0; i < levels; ++i)
        s += "<array>";
    s += inner;
    for (size_t i = 0; i < levels; ++i)
        s += "</array>";
    return doc(s);
}
} // namespace

TEST(XmlReader, NestingLimit) {
    EXPECT_EQ(read_code(nested(ORVEX_MAX_DEPTH, "<true/>")), ORVEX_ERR_SUCCESS);
    EXPECT_EQ(read_code(nested(ORVEX_MAX_DEPTH - 1, "<array/>")), ORVEX_ERR_SUCCESS);
    EXPECT_EQ(read_code(nested(ORVEX_MAX_DEPTH, "<array/>")), ORVEX_ERR_LIMIT);
    EXPECT_EQ(read_code(nested(ORVEX_MAX_DEPTH, "<dict/>")), ORVEX_ERR_LIMIT);
    EXPECT_EQ(read_code(nested(ORVEX_MAX_DEPTH + 1, "")), ORVEX_ERR_LIMIT);
    EXPECT_EQ(read_code(nested(ORVEX_MAX_DEPTH, "<array></array>")), ORVEX_ERR_LIMIT);
    // A UID one level further down is still a leaf.
    const std::string uid = "<dict><key>CF$UID</key><integer>1</integer></dict>";
    EXPECT_EQ(read_code(nested(ORVEX_MAX_DEPTH, uid)), ORVEX_ERR_SUCCESS);
    EXPECT_EQ(read_code(nested(ORVEX_MAX_DEPTH, "<dict><key>a</key><integer>1</integer></dict>")),
              ORVEX_ERR_LIMIT);
    EXPECT_EQ(read_code(nested(ORVEX_MAX_DEPTH, "<dict><key>a</key><dict/></dict>")), ORVEX_ERR_LIMIT);
    // Our writer's output of the deepest tree we read reads back.
    Tree deep(read(nested(ORVEX_MAX_DEPTH, uid)));
    expect_round_trip(deep.get(), "deepest");
}

TEST(XmlReader, HundredThousandLevelsRejectedWithoutCrashing) {
    std::string open, close;
    for (int i = 0; i < 100000; ++i) {
        open += "<dict><key>k</key>";
        close += "</dict>";
    }
    EXPECT_EQ(read_code(doc(open + "<true/>" + close)), ORVEX_ERR_LIMIT);
    EXPECT_EQ(read_code(doc(open)), ORVEX_ERR_LIMIT);
}
