// Every rejection reason is reached by a document, and each reason has its
// own text: a reader that reports the wrong cause, or a reason that nothing
// can reach, fails here.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "bin_doc.hpp"
#include "documents.hpp"
#include "orvex/orvex.h"

using namespace orvex_test;

namespace {

std::string plist(const std::string &body) { return "<plist version=\"1.0\">" + body + "</plist>"; }

// A binary document with one byte of its trailer or offset table changed.
std::string patched(std::string doc, size_t from_end, char to) {
    doc[doc.size() - from_end] = to;
    return doc;
}

// `levels` arrays each holding the next twice: 2^levels leaves from a few bytes.
std::string doubling(int levels) {
    std::vector<std::string> objs;
    for (int i = 0; i < levels; ++i)
        objs.push_back(bytes({0xA2, i + 1, i + 1}));
    objs.push_back("\x09");
    return make_doc(objs);
}

std::string nested_binary(int depth) {
    std::vector<std::string> objs;
    for (int i = 0; i < depth; ++i)
        objs.push_back("\xA1" + be(uint64_t(i + 1), 2));
    objs.push_back("\x09");
    return make_doc(objs, 2);
}

std::string repeat(const std::string &s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i)
        r += s;
    return r;
}

} // namespace

TEST(RejectionReasons, EachIsReachedByADocument) {
    const orvex_format_t X = ORVEX_FORMAT_XML, B = ORVEX_FORMAT_BINARY, O = ORVEX_FORMAT_OSTEP,
                         J = ORVEX_FORMAT_JSON, ANY = ORVEX_FORMAT_NONE;
    const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>";
    struct Case {
        orvex_format_t format;
        std::string doc;
        orvex_reason_t cause;
    } cases[] = {
        {ANY, std::string("\0\0\0\1", 4), ORVEX_REASON_UNKNOWN_FORMAT},
        {X, "", ORVEX_REASON_EMPTY},
        {X, "<plist><true/>", ORVEX_REASON_TRUNCATED},
        {B, "bplist00" + std::string(10, '\0'), ORVEX_REASON_TRUNCATED},
        {X, repeat("<array>", ORVEX_MAX_DEPTH + 1), ORVEX_REASON_TOO_DEEP},
        {B, nested_binary(ORVEX_MAX_DEPTH + 1), ORVEX_REASON_TOO_DEEP},
        {B, doubling(22), ORVEX_REASON_EXPANSION},
        {X, plist("<string>\x80</string>"), ORVEX_REASON_BAD_UTF8},
        {X, plist(std::string("<string>a\0b</string>", 20)), ORVEX_REASON_NUL_BYTE},
        {X, plist("<integer>1.5</integer>"), ORVEX_REASON_BAD_INTEGER},
        {X, plist("<integer>18446744073709551616</integer>"), ORVEX_REASON_INTEGER_RANGE},
        {B, make_doc({"\x14" + be(1, 8) + be(0, 8)}), ORVEX_REASON_INTEGER_RANGE},
        {X, plist("<real>1.5x</real>"), ORVEX_REASON_BAD_REAL},
        {X, plist("<date>20</date>"), ORVEX_REASON_BAD_DATE},
        {X, plist("<date>2020-13-01T00:00:00Z</date>"), ORVEX_REASON_DATE_RANGE},
        {X, plist("<data>A</data>"), ORVEX_REASON_BAD_BASE64},
        {B, make_doc({"\x8F" + be(1, 8) + be(0, 8)}), ORVEX_REASON_UID_RANGE},
        {X, "<?xml version=\"1.0\" encoding=\"bogus\"?><true/>", ORVEX_REASON_UNSUPPORTED_ENCODING},
        {X, latin1 + "<?xml version=\"1.0\" encoding=\"UTF-8\"?><true/>", ORVEX_REASON_ENCODING_CONFLICT},
        {X, "<?xml version=\"1.0\" encoding=\"US-ASCII\"?><string>\xE9</string>", ORVEX_REASON_NOT_ASCII},
        {X, "<?xml version=\"1.0\" encoding=UTF-8?><true/>", ORVEX_REASON_BAD_DECLARATION},
        {X, plist("<true/>") + "<!DOCTYPE x>", ORVEX_REASON_BAD_DOCTYPE},
        {X, plist("<true/ >"), ORVEX_REASON_BAD_TAG},
        {X, plist("<set/>"), ORVEX_REASON_UNKNOWN_ELEMENT},
        {X, plist("<array></dict>"), ORVEX_REASON_MISMATCHED_TAG},
        {X, plist("<string>a<b/>c</string>"), ORVEX_REASON_MISPLACED_ELEMENT},
        {X, plist("<array>x<true/></array>"), ORVEX_REASON_MISPLACED_TEXT},
        {X, "<plist/>", ORVEX_REASON_NO_VALUE},
        {X, plist("<true/>") + "junk", ORVEX_REASON_EXTRA_CONTENT},
        {X, plist("<dict><key>a</key></dict>"), ORVEX_REASON_KEY_WITHOUT_VALUE},
        {X, plist("<dict><true/></dict>"), ORVEX_REASON_VALUE_WITHOUT_KEY},
        {X, plist("<string>&bogus;</string>"), ORVEX_REASON_UNKNOWN_ENTITY},
        {X, plist("<string>&#xD800;</string>"), ORVEX_REASON_BAD_CHAR_REF},
        {B, "hello", ORVEX_REASON_NOT_BINARY},
        {B, patched(make_doc({"\x09"}), OFF_SIZE_AT, 0), ORVEX_REASON_BAD_TRAILER},
        {B, patched(make_doc({"\x09"}), 33, 3), ORVEX_REASON_BAD_OFFSET},
        {B, make_doc({"\xA1\x05"}), ORVEX_REASON_BAD_REFERENCE},
        {B, make_doc({bytes({0xA1, 0})}), ORVEX_REASON_CYCLE},
        {B, make_doc({"\x90"}), ORVEX_REASON_BAD_MARKER},
        {B,
         make_doc({"\x55"
                   "ab"}),
         ORVEX_REASON_BAD_OBJECT},
        {B, make_doc({"\xD1\x01\x02", "\x10\x01", "\x09"}), ORVEX_REASON_BAD_KEY},
        {X, std::string("\xFE\xFF\0<\xDC", 5), ORVEX_REASON_BAD_UTF16},
        {O, "(a, ]", ORVEX_REASON_UNEXPECTED},
        {O, "{a b;}", ORVEX_REASON_EXPECTED_EQUALS},
        {O, "{a = b}", ORVEX_REASON_EXPECTED_SEMICOLON},
        {O, "(a b)", ORVEX_REASON_EXPECTED_COMMA},
        {O, "\"\\u\"", ORVEX_REASON_BAD_ESCAPE},
        {O, "<0>", ORVEX_REASON_BAD_DATA},
        {O, "<*Z>", ORVEX_REASON_BAD_TYPED},
        {J, "[007]", ORVEX_REASON_LEADING_ZERO},
        {J, "[1.e5]", ORVEX_REASON_BAD_NUMBER},
        {J, "{\"a\": [1, 2,]}", ORVEX_REASON_TRAILING_COMMA},
        {J, "[1 /* one */]", ORVEX_REASON_COMMENT},
        {J, "[NaN]", ORVEX_REASON_BAD_LITERAL},
        {J, "[\"\\x\"]", ORVEX_REASON_BAD_ESCAPE},
        {J, "[\"\\ud83d\"]", ORVEX_REASON_UNPAIRED_SURROGATE},
        {J, "[\"a\nb\"]", ORVEX_REASON_CONTROL_CHAR},
        {J, "{\"a\": }", ORVEX_REASON_EXPECTED_VALUE},
        {J, "{\"a\" 1}", ORVEX_REASON_MISSING_COLON},
        {J, "{\"a\": 1 \"b\": 2}", ORVEX_REASON_MISSING_SEPARATOR},
    };
    std::set<int> reached;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.doc);
        reached.insert(expect_refused(c.doc, c.format, c.cause).cause);
    }

    // The causes no document brings: bad arguments, a length no document
    // has, and memory running out (the out-of-memory suite reaches it).
    orvex_t root = nullptr;
    orvex_parse_result r{};
    EXPECT_EQ(orvex_parse(nullptr, 1, X, &root, nullptr, &r), ORVEX_ERR_INVALID_ARG);
    EXPECT_EQ(r.cause, ORVEX_REASON_INVALID_ARG);
    reached.insert(r.cause);
    EXPECT_EQ(orvex_parse("x", uint64_t(UINT32_MAX) + 1, X, &root, nullptr, &r), ORVEX_ERR_LIMIT);
    EXPECT_EQ(r.cause, ORVEX_REASON_TOO_LONG);
    reached.insert(r.cause);
    reached.insert(ORVEX_REASON_NO_MEMORY);

    std::set<std::string> texts;
    for (int i = ORVEX_REASON_INVALID_ARG; i <= ORVEX_REASON_MISSING_SEPARATOR; ++i) {
        EXPECT_TRUE(reached.count(i)) << "no document reaches " << orvex_reason_text(orvex_reason_t(i));
        EXPECT_TRUE(texts.insert(orvex_reason_text(orvex_reason_t(i))).second) << i;
    }
    EXPECT_STREQ(orvex_reason_text(ORVEX_REASON_NONE), "no error");
    EXPECT_STREQ(orvex_reason_text(orvex_reason_t(ORVEX_REASON_MISSING_SEPARATOR + 1)), "unknown reason");

    orvex_t ok = nullptr;
    EXPECT_EQ(orvex_parse("<true/>", 7, ANY, &ok, nullptr, &r), ORVEX_ERR_SUCCESS);
    EXPECT_EQ(r.cause, ORVEX_REASON_NONE);
    orvex_free(ok);
}

// Each error code has a text of its own; a value the library does not know has the fallback.
TEST(Reasons, EveryErrorCodeHasItsOwnText) {
    const orvex_err_t codes[] = {ORVEX_ERR_SUCCESS, ORVEX_ERR_INVALID_ARG, ORVEX_ERR_FORMAT,
                                 ORVEX_ERR_PARSE,   ORVEX_ERR_NO_MEM,      ORVEX_ERR_LIMIT,
                                 ORVEX_ERR_IO,      ORVEX_ERR_NOT_FOUND,   ORVEX_ERR_UNKNOWN};
    std::set<std::string> texts;
    for (orvex_err_t code : codes)
        EXPECT_TRUE(texts.insert(orvex_err_text(code)).second) << code;
    EXPECT_EQ(texts.count("unknown error"), 0u);
    EXPECT_STREQ(orvex_err_text(orvex_err_t(-100)), "unknown error");
}
