// Values of every kind through the store's C interface.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include <sys/mman.h>

#include "orvex/orvex.h"

// The loaded library and the headers agree.
TEST(StoreVersion, LibraryMatchesHeaders) { EXPECT_STREQ(orvex_version(), ORVEX_VERSION_STRING); }

TEST(StoreIntegers, SignednessAtThe64BitEdges) {
    struct Case {
        orvex_t node;
        uint64_t bits;
        bool negative;
    } cases[] = {
        {orvex_new_uint(0), 0, false},
        {orvex_new_uint(UINT64_MAX), UINT64_MAX, false},
        {orvex_new_uint(uint64_t(INT64_MAX) + 1), uint64_t(INT64_MAX) + 1, false},
        {orvex_new_int(INT64_MIN), uint64_t(INT64_MIN), true},
        {orvex_new_int(-1), UINT64_MAX, true},
        {orvex_new_int(INT64_MAX), uint64_t(INT64_MAX), false},
    };
    for (auto &c : cases) {
        EXPECT_EQ(orvex_get_node_type(c.node), ORVEX_INT);
        uint64_t u = 0;
        int64_t s = 0;
        orvex_get_uint_val(c.node, &u);
        orvex_get_int_val(c.node, &s);
        EXPECT_EQ(u, c.bits);
        EXPECT_EQ(uint64_t(s), c.bits);
        EXPECT_EQ(orvex_int_val_is_negative(c.node) != 0, c.negative);
        orvex_t copy = orvex_copy(c.node);
        EXPECT_EQ(orvex_int_val_is_negative(copy) != 0, c.negative);
        EXPECT_TRUE(orvex_equal(copy, c.node));
        orvex_free(copy);
        orvex_free(c.node);
    }
    // The same bits, signed and unsigned, are different numbers.
    orvex_t a = orvex_new_int(-1), b = orvex_new_uint(UINT64_MAX);
    EXPECT_FALSE(orvex_equal(a, b));
    orvex_set_uint_val(a, UINT64_MAX);
    EXPECT_TRUE(orvex_equal(a, b));
    EXPECT_EQ(orvex_int_val_is_negative(a), 0);
    orvex_free(a);
    orvex_free(b);
}

TEST(StoreScalars, EachKindKeepsItsValueAndOtherGettersStayUntouched) {
    orvex_t b = orvex_new_bool(5);
    uint8_t bv = 0;
    orvex_get_bool_val(b, &bv);
    EXPECT_EQ(bv, 1);

    orvex_t r = orvex_new_real(-0.0);
    double rv = 1;
    orvex_get_real_val(r, &rv);
    EXPECT_TRUE(std::signbit(rv));

    orvex_t u = orvex_new_uid(UINT64_MAX);
    uint64_t uv = 0;
    orvex_get_uid_val(u, &uv);
    EXPECT_EQ(uv, UINT64_MAX);

    orvex_t n = orvex_new_null();
    EXPECT_EQ(orvex_get_node_type(n), ORVEX_NULL);

    // A getter of another type leaves its out-value alone.
    uint64_t untouched = 42;
    orvex_get_uint_val(b, &untouched);
    orvex_get_uid_val(r, &untouched);
    EXPECT_EQ(untouched, 42u);
    EXPECT_EQ(orvex_get_string_ptr(u, nullptr), nullptr);
    for (orvex_t x : {b, r, u, n})
        orvex_free(x);
}

TEST(StoreDates, WholeSecondsFloorAndFractionsStay) {
    orvex_t d = orvex_new_unix_date(-1); // 1969-12-31T23:59:59Z
    int64_t s = 0;
    orvex_get_unix_date_val(d, &s);
    EXPECT_EQ(s, -1);
    orvex_set_unix_date_val(d, INT64_MAX); // exact, beyond a double's precision
    orvex_get_unix_date_val(d, &s);
    EXPECT_EQ(s, INT64_MAX);

    orvex_set_date_val(d, -0.5); // half a second before 2001
    double f = 0;
    orvex_get_date_val(d, &f);
    EXPECT_EQ(f, -0.5);
    orvex_get_unix_date_val(d, &s);
    EXPECT_EQ(s, 978307200 - 1); // toward negative infinity

    for (double odd : {double(NAN), 1e300, -1e300, double(INFINITY)}) {
        orvex_set_date_val(d, odd);
        orvex_get_unix_date_val(d, &s); // clamped, never undefined behaviour
        if (std::isnan(odd))
            EXPECT_EQ(s, 0);
        else
            EXPECT_EQ(s, odd > 0 ? INT64_MAX : INT64_MIN);
    }
    orvex_free(d);

    // -0.0 and 0.0 seconds are one instant, and XML cannot write the sign.
    orvex_t neg = orvex_new_date(-0.0), pos = orvex_new_date(0.0);
    EXPECT_TRUE(orvex_equal(neg, pos));
    char *xml = nullptr;
    uint32_t len = 0;
    ASSERT_EQ(orvex_to_xml(neg, &xml, &len), ORVEX_ERR_SUCCESS);
    orvex_t back = nullptr;
    EXPECT_EQ(orvex_from_xml(xml, len, &back), ORVEX_ERR_SUCCESS);
    EXPECT_TRUE(orvex_equal(neg, back));
    std::free(xml);
    for (orvex_t x : {neg, pos, back})
        orvex_free(x);
}

TEST(StoreText, LengthsNulBytesAndRetyping) {
    orvex_t s = orvex_new_string("ab\0cd");
    uint64_t len = 0;
    EXPECT_STREQ(orvex_get_string_ptr(s, &len), "ab");
    EXPECT_EQ(len, 2u);
    orvex_set_string_val(s, nullptr);
    EXPECT_STREQ(orvex_get_string_ptr(s, &len), "");
    EXPECT_EQ(len, 0u);

    const char blob[] = {'x', 0, 'y', 0, 'z'};
    orvex_t d = orvex_new_data(blob, sizeof blob);
    const char *p = orvex_get_data_ptr(d, &len);
    ASSERT_EQ(len, sizeof blob);
    EXPECT_EQ(std::memcmp(p, blob, sizeof blob), 0);
    orvex_t empty = orvex_new_data(nullptr, 10); // null pointer: empty blob
    orvex_get_data_ptr(empty, &len);
    EXPECT_EQ(len, 0u);

    // Long text moves out of line and back in again.
    std::string big(1000, 'q');
    orvex_set_data_val(d, big.data(), big.size());
    p = orvex_get_data_ptr(d, &len);
    EXPECT_EQ(std::string(p, len), big);
    orvex_set_string_val(d, "short");
    EXPECT_EQ(orvex_get_node_type(d), ORVEX_STRING);
    EXPECT_EQ(orvex_get_data_ptr(d, &len), nullptr);

    // Keys are their own type and hand out copies.
    orvex_set_key_val(s, "the key");
    EXPECT_EQ(orvex_get_node_type(s), ORVEX_KEY);
    EXPECT_EQ(orvex_get_string_ptr(s, nullptr), nullptr);
    char *k = nullptr;
    orvex_get_key_val(s, &k);
    EXPECT_STREQ(k, "the key");
    std::free(k);

    // Setting a string from its own text is safe.
    orvex_set_string_val(d, orvex_get_string_ptr(d, nullptr));
    EXPECT_STREQ(orvex_get_string_ptr(d, nullptr), "short");
    std::string long_text(64, 'L');
    orvex_set_string_val(d, long_text.c_str());
    orvex_set_string_val(d, orvex_get_string_ptr(d, nullptr) + 1);
    EXPECT_EQ(std::string(orvex_get_string_ptr(d, nullptr)), long_text.substr(1));
    for (orvex_t x : {s, d, empty})
        orvex_free(x);
}

TEST(StoreText, CountedSettersKeepNulsCutKeysAndRefuseBadInput) {
    const std::string nul_text("a\0b", 3), long_nul(std::string(20, 'x') + '\0' + "tail");
    struct Case {
        bool key;
        const char *text;
        uint64_t length;
        orvex_err_t want;
        std::string stored; // text afterwards; the old text when refused
    } cases[] = {
        {false, nul_text.data(), 3, ORVEX_ERR_SUCCESS, nul_text},
        {false, long_nul.data(), long_nul.size(), ORVEX_ERR_SUCCESS, long_nul},
        {false, nullptr, 0, ORVEX_ERR_SUCCESS, ""},
        {true, long_nul.data(), long_nul.size(), ORVEX_ERR_SUCCESS, std::string(20, 'x')},
        {true, "\0x", 2, ORVEX_ERR_SUCCESS, ""},
        {false, nullptr, 1, ORVEX_ERR_INVALID_ARG, "old"},
        {true, nullptr, 1, ORVEX_ERR_INVALID_ARG, "old"},
        // Refused before any byte is read.
        {false, "x", UINT64_MAX, ORVEX_ERR_LIMIT, "old"},
        {true, "x", UINT64_MAX - 1, ORVEX_ERR_LIMIT, "old"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stored);
        // A container with a child: retyping must free the child (ASan sees a
        // leak otherwise); a refused call must leave it as it was.
        orvex_t n = orvex_new_array();
        orvex_array_append_item(n, orvex_new_string("old"));
        orvex_t target = c.want == ORVEX_ERR_SUCCESS ? n : orvex_array_get_item(n, 0);
        auto set = c.key ? orvex_set_key_val_len : orvex_set_string_val_len;
        EXPECT_EQ(set(target, c.text, c.length), c.want);
        std::string got;
        if (orvex_get_node_type(target) == ORVEX_KEY) {
            char *k = nullptr;
            orvex_get_key_val(target, &k);
            got = k ? k : "(none)";
            std::free(k);
        } else {
            uint64_t len = 0;
            const char *p = orvex_get_string_ptr(target, &len);
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(p[len], 0);
            got.assign(p, len);
        }
        EXPECT_EQ(got, c.stored);
        EXPECT_EQ(orvex_get_node_type(target),
                  c.key && c.want == ORVEX_ERR_SUCCESS ? ORVEX_KEY : ORVEX_STRING);
        orvex_free(n);
    }
    EXPECT_EQ(orvex_set_string_val_len(nullptr, "x", 1), ORVEX_ERR_INVALID_ARG);
    EXPECT_EQ(orvex_set_key_val_len(nullptr, "x", 1), ORVEX_ERR_INVALID_ARG);

    // The text may come from the node itself, short or long, NULs included.
    orvex_t s = orvex_new_string(nullptr);
    for (const std::string &t : {nul_text, long_nul}) {
        ASSERT_EQ(orvex_set_string_val_len(s, t.data(), t.size()), ORVEX_ERR_SUCCESS);
        uint64_t len = 0;
        const char *p = orvex_get_string_ptr(s, &len);
        ASSERT_EQ(orvex_set_string_val_len(s, p + 1, len - 1), ORVEX_ERR_SUCCESS);
        p = orvex_get_string_ptr(s, &len);
        EXPECT_EQ(std::string(p, len), t.substr(1));
    }
    orvex_free(s);
}

TEST(StoreEncodings, WritersRefuseNullAndReadersRejectEmptyInput) {
    char *out = reinterpret_cast<char *>(1);
    uint32_t len = 5;
    EXPECT_EQ(orvex_to_xml(nullptr, &out, &len), ORVEX_ERR_INVALID_ARG);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(len, 0u);
    // Nothing to read, nothing recognisable, or a length without bytes:
    // no tree, no format, and the reason for it.
    const struct {
        const char *data;
        uint32_t length;
        orvex_err_t code;
        orvex_reason_t cause;
    } cases[] = {
        {nullptr, 0, ORVEX_ERR_PARSE, ORVEX_REASON_EMPTY},
        {"\x01hello", 6, ORVEX_ERR_FORMAT, ORVEX_REASON_UNKNOWN_FORMAT},
        {nullptr, 5, ORVEX_ERR_INVALID_ARG, ORVEX_REASON_INVALID_ARG},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.data ? c.data : "(null)");
        orvex_t root = reinterpret_cast<orvex_t>(1);
        orvex_format_t fmt = ORVEX_FORMAT_XML;
        EXPECT_EQ(orvex_from_memory(c.data, c.length, &root, &fmt), c.code);
        EXPECT_EQ(root, nullptr);
        EXPECT_EQ(fmt, ORVEX_FORMAT_NONE);
        orvex_parse_result res;
        EXPECT_EQ(orvex_parse(c.data, c.length, ORVEX_FORMAT_NONE, &root, nullptr, &res), c.code);
        EXPECT_EQ(res.code, c.code);
        EXPECT_EQ(res.cause, c.cause);
        EXPECT_STREQ(res.reason, orvex_reason_text(res.cause));
    }
}

TEST(StoreEncodings, DocumentsOf4GiBOrMoreAreRefusedInEitherEncoding) {
    // A sparse mapping: only the first page is ever written, the rest reads
    // as zeros without being backed, so a reader that looked past the limit
    // would fail some other way rather than crash.
    const uint64_t span = (uint64_t(1) << 32) + 4096;
    void *map =
        mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (map == MAP_FAILED)
        GTEST_SKIP() << "no room for a 4 GiB sparse mapping";
    char *buf = static_cast<char *>(map);
    struct Case {
        const char *head;
        orvex_format_t asked, found;
        uint64_t length;
    } cases[] = {
        {"bplist00", ORVEX_FORMAT_NONE, ORVEX_FORMAT_BINARY, uint64_t(1) << 32},
        {"bplist00", ORVEX_FORMAT_BINARY, ORVEX_FORMAT_BINARY, span},
        {"<?xml version=\"1.0\"?><plist>", ORVEX_FORMAT_NONE, ORVEX_FORMAT_XML, uint64_t(1) << 32},
        {"<plist>", ORVEX_FORMAT_XML, ORVEX_FORMAT_XML, span},
    };
    for (const Case &c : cases) {
        std::memcpy(buf, c.head, std::strlen(c.head));
        orvex_t root = reinterpret_cast<orvex_t>(buf);
        orvex_format_t found = ORVEX_FORMAT_NONE;
        orvex_parse_result r{};
        EXPECT_EQ(orvex_parse(buf, c.length, c.asked, &root, &found, &r), ORVEX_ERR_LIMIT) << c.head;
        EXPECT_EQ(r.code, ORVEX_ERR_LIMIT);
        EXPECT_EQ(r.cause, ORVEX_REASON_TOO_LONG);
        EXPECT_STREQ(r.reason, "document longer than 2^32-1 bytes");
        EXPECT_EQ(root, nullptr);
        EXPECT_EQ(found, c.found);
    }
    munmap(map, span);
}
