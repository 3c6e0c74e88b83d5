// orvex_write and orvex_write_into: the flags each format takes or refuses,
// the same bytes as each format's own call, keys in byte order without
// touching the tree, UTF-16 XML read back by our reader and by plistlib; and
// the C++ Write and Parse over them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "orvex/orvex++.h"

namespace {

constexpr orvex_format_t XML = ORVEX_FORMAT_XML, BIN = ORVEX_FORMAT_BINARY, JSON = ORVEX_FORMAT_JSON,
                         OSTEP = ORVEX_FORMAT_OSTEP;
const orvex_format_t CODECS[] = {XML, BIN, JSON, OSTEP};

// A dictionary whose keys are stored out of byte order: a prefix after its
// extension, an upper-case key after lower-case ones, a key beyond ASCII
// (above every ASCII key as unsigned bytes), a removed entry, and a nested
// dictionary in an array.
orvex_t unsorted_tree() {
    orvex_t root = orvex_new_dict();
    for (const char *k : {"beta", "\xC3\xA9t\xC3\xA9", "alpha2", "alpha", "Zed", "gone", ""})
        orvex_dict_set_item(root, k, orvex_new_string(k));
    orvex_dict_remove_item(root, "gone");
    orvex_t list = orvex_new_array();
    orvex_t inner = orvex_new_dict();
    for (const char *k : {"y", "x", "xx"})
        orvex_dict_set_item(inner, k, orvex_new_int(1));
    orvex_array_append_item(list, inner);
    orvex_dict_set_item(root, "list", list);
    return root;
}

std::vector<std::string> keys_of(orvex_t dict) {
    std::vector<std::string> keys;
    orvex_dict_iter it = nullptr;
    orvex_dict_new_iter(dict, &it);
    for (;;) {
        const char *k = nullptr;
        uint64_t n = 0;
        orvex_t v = nullptr;
        orvex_dict_next_item_ref(dict, it, &k, &n, &v);
        if (!v)
            break;
        keys.emplace_back(k, n);
    }
    std::free(it);
    return keys;
}

std::string written(orvex_t tree, orvex_format_t format, uint32_t flags,
                    orvex_err_t want = ORVEX_ERR_SUCCESS) {
    char *data = reinterpret_cast<char *>(1);
    uint64_t length = 99;
    EXPECT_EQ(orvex_write(tree, format, flags, &data, &length), want) << format << " flags " << flags;
    if (want != ORVEX_ERR_SUCCESS) {
        EXPECT_TRUE(data == nullptr && length == 0);
        return {};
    }
    std::string out(data, length);
    std::free(data);
    return out;
}

TEST(Write, RefusesFlagsAFormatCannotHonour) {
    orvex_t tree = unsorted_tree();
    const struct {
        orvex_format_t format;
        uint32_t flags;
    } rows[] = {
        {XML, 256},
        {BIN, 256},
        {JSON, 1u << 31},
        {OSTEP, 512},
        {JSON, ORVEX_WRITE_UTF16LE},
        {JSON, ORVEX_WRITE_UTF16BE},
        {JSON, ORVEX_WRITE_BOM}, // RFC 8259, 8.1
        {BIN, ORVEX_WRITE_UTF16LE},
        {BIN, ORVEX_WRITE_BOM | ORVEX_WRITE_SORTED},
        {XML, ORVEX_WRITE_UTF16LE | ORVEX_WRITE_UTF16BE},
        {OSTEP, ORVEX_WRITE_UTF16LE | ORVEX_WRITE_UTF16BE},
        {ORVEX_FORMAT_NONE, 0},
        {ORVEX_FORMAT_PRINT, 0},
    };
    for (const auto &r : rows)
        written(tree, r.format, r.flags, ORVEX_ERR_INVALID_ARG);
    written(nullptr, XML, 0, ORVEX_ERR_INVALID_ARG);
    // What the format cannot hold, as its own call refuses it.
    orvex_t uid = orvex_new_uid(1);
    written(uid, JSON, 0, ORVEX_ERR_FORMAT);
    written(uid, OSTEP, ORVEX_WRITE_UTF16LE, ORVEX_ERR_FORMAT);
    orvex_free(uid);
    orvex_free(tree);
}

char *grow_string(void *context, uint64_t size) {
    auto *s = static_cast<std::string *>(context);
    s->resize(size);
    return &(*s)[0];
}

// Each format's own call and its flags against orvex_write and
// orvex_write_into with the ORVEX_WRITE_* flags that mean the same.
TEST(Write, WritesWhatEachFormatsOwnCallWrites) {
    orvex_t tree = orvex_new_dict();
    orvex_dict_set_item(tree, "n", orvex_new_int(-3));
    orvex_dict_set_item(tree, "t", orvex_new_string("h\xC3\xA9llo \xF0\x9F\x98\x80"));
    orvex_dict_set_item(tree, "d", orvex_new_unix_date(0));
    using Own = orvex_err_t (*)(orvex_t, char **, uint32_t *, uint32_t);
    const Own xml = [](orvex_t n, char **d, uint32_t *l, uint32_t) { return orvex_to_xml(n, d, l); };
    const Own bin = [](orvex_t n, char **d, uint32_t *l, uint32_t) { return orvex_to_bin(n, d, l); };
    const struct {
        orvex_format_t format;
        Own own;
        uint32_t own_flags, flags;
        size_t nuls; // NUL bytes past the length
    } rows[] = {
        {XML, xml, 0, 0, 1},
        {XML, xml, 0, ORVEX_WRITE_PRETTY | ORVEX_WRITE_LOSSY | ORVEX_WRITE_TYPED | ORVEX_WRITE_STRINGS, 1},
        {BIN, bin, 0, ORVEX_WRITE_PRETTY, 0},
        {JSON, orvex_to_json, ORVEX_JSON_PRETTY | ORVEX_JSON_LOSSY, ORVEX_WRITE_PRETTY | ORVEX_WRITE_LOSSY,
         1},
        {OSTEP, orvex_to_openstep, ORVEX_OSTEP_TYPED | ORVEX_OSTEP_STRINGS,
         ORVEX_WRITE_TYPED | ORVEX_WRITE_STRINGS, 1},
        {OSTEP, orvex_to_openstep, ORVEX_OSTEP_BOM, ORVEX_WRITE_BOM | ORVEX_WRITE_PRETTY, 1},
        {OSTEP, orvex_to_openstep, ORVEX_OSTEP_UTF16LE, ORVEX_WRITE_UTF16LE, 2},
        {OSTEP, orvex_to_openstep, ORVEX_OSTEP_UTF16BE | ORVEX_OSTEP_BOM,
         ORVEX_WRITE_UTF16BE | ORVEX_WRITE_BOM, 2},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(testing::Message() << "format " << r.format << ", flags " << r.flags);
        char *own = nullptr;
        uint32_t own_length = 0;
        ASSERT_EQ(r.own(tree, &own, &own_length, r.own_flags), ORVEX_ERR_SUCCESS);
        char *data = nullptr;
        uint64_t length = 0;
        ASSERT_EQ(orvex_write(tree, r.format, r.flags, &data, &length), ORVEX_ERR_SUCCESS);
        EXPECT_EQ(std::string(data, length), std::string(own, own_length));
        EXPECT_EQ(std::string(data + length, r.nuls), std::string(r.nuls, '\0'));
        std::string into;
        uint64_t into_length = 0;
        EXPECT_EQ(orvex_write_into(tree, r.format, r.flags, grow_string, &into, &into_length),
                  ORVEX_ERR_SUCCESS);
        EXPECT_EQ(into.substr(0, into_length), std::string(own, own_length));
        std::free(data);
        std::free(own);
    }
    orvex_free(tree);
}

TEST(Write, SortsKeysInEveryFormatWithoutChangingTheTree) {
    orvex_t tree = unsorted_tree();
    const orvex_t before = orvex_copy(tree);
    const std::vector<std::string> stored = keys_of(tree);
    const std::vector<std::string> root_sorted = {
        "", "Zed", "alpha", "alpha2", "beta", "list", "\xC3\xA9t\xC3\xA9"};
    for (orvex_format_t format : CODECS) {
        for (uint32_t extra : {0u, ORVEX_WRITE_PRETTY | ORVEX_WRITE_TYPED}) {
            SCOPED_TRACE(testing::Message() << "format " << format << ", flags " << extra);
            const std::string doc = written(tree, format, ORVEX_WRITE_SORTED | extra);
            orvex_t back = nullptr;
            ASSERT_EQ(orvex_parse(doc.data(), doc.size(), format, &back, nullptr, nullptr),
                      ORVEX_ERR_SUCCESS);
            EXPECT_EQ(keys_of(back), root_sorted);
            orvex_t inner = orvex_array_get_item(orvex_dict_get_item(back, "list"), 0);
            EXPECT_EQ(keys_of(inner), (std::vector<std::string>{"x", "xx", "y"}));
            // Store order unless asked.
            orvex_free(back);
            const std::string plain = written(tree, format, extra);
            ASSERT_EQ(orvex_parse(plain.data(), plain.size(), format, &back, nullptr, nullptr),
                      ORVEX_ERR_SUCCESS);
            EXPECT_EQ(keys_of(back), stored);
            orvex_free(back);
        }
    }
    EXPECT_TRUE(orvex_equal(tree, before));
    EXPECT_EQ(keys_of(tree), stored);
    orvex_free(before);
    orvex_free(tree);
}

bool python_has_plistlib() { return std::system("python3 -c 'import plistlib' >/dev/null 2>&1") == 0; }

// UTF-16 XML (and UTF-8 with its mark) in both byte orders: the mark, a
// declaration that says so, read back by our reader and by plistlib.
TEST(Write, XmlInUtf16ReadsBackHereAndInPlistlib) {
    const std::string text = "h\xC3\xA9llo \xF0\x9F\x98\x80 <&>";
    orvex_t tree = orvex_new_dict(); // in key order: written sorted, it reads back equal
    orvex_dict_set_item(tree, "n", orvex_new_int(42));
    orvex_dict_set_item(tree, "text", orvex_new_string(text.c_str()));
    const bool plistlib = python_has_plistlib();
    char dir[] = "/tmp/orvex-write-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const struct {
        uint32_t flags;
        std::string mark, declaration; // the declaration's first bytes as written
    } rows[] = {
        {ORVEX_WRITE_UTF16LE, "\xFF\xFE", std::string("<\0?\0x\0m\0l\0", 10)},
        {ORVEX_WRITE_UTF16BE | ORVEX_WRITE_BOM, "\xFE\xFF", std::string("\0<\0?\0x\0m\0l", 10)},
        {ORVEX_WRITE_BOM, "\xEF\xBB\xBF", "<?xml"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(testing::Message() << "flags " << r.flags);
        const std::string doc = written(tree, XML, r.flags | ORVEX_WRITE_SORTED);
        EXPECT_EQ(doc.substr(0, r.mark.size()), r.mark);
        EXPECT_EQ(doc.substr(r.mark.size(), r.declaration.size()), r.declaration);
        const bool utf16 = r.mark.size() == 2;
        std::string ascii; // the declaration, its zero bytes dropped
        for (size_t i = r.mark.size(); i < 200 && i < doc.size(); ++i)
            if (doc[i])
                ascii += doc[i];
        EXPECT_NE(ascii.find(utf16 ? "encoding=\"UTF-16\"" : "encoding=\"UTF-8\""), std::string::npos);
        orvex_t back = nullptr;
        orvex_format_t found = ORVEX_FORMAT_NONE;
        ASSERT_EQ(orvex_parse(doc.data(), doc.size(), ORVEX_FORMAT_NONE, &back, &found, nullptr),
                  ORVEX_ERR_SUCCESS);
        EXPECT_EQ(found, XML);
        EXPECT_TRUE(orvex_equal(back, tree));
        orvex_free(back);
        if (!plistlib)
            continue;
        const std::string path = std::string(dir) + "/doc.plist";
        std::ofstream(path, std::ios::binary).write(doc.data(), std::streamsize(doc.size()));
        const std::string check = "python3 -c 'import plistlib,sys\n"
                                  "d = plistlib.load(open(sys.argv[1], \"rb\"))\n"
                                  "sys.exit(0 if d == {\"n\": 42, \"text\": \"h\\u00e9llo \\U0001F600 <&>\"} "
                                  "else 1)' " +
                                  path;
        EXPECT_EQ(std::system(check.c_str()), 0) << "plistlib read it otherwise";
        std::remove(path.c_str());
    }
    rmdir(dir);
    orvex_free(tree);
}

// The C++ entry points: any root, the format found, why a document was refused.
TEST(Documents, ParseAndWriteAnyRoot) {
    const struct {
        std::string doc;
        orvex_type type;       // ORVEX_NONE: refused
        orvex_format_t format; // as found
        orvex_err_t code;
        uint32_t line, column;
    } rows[] = {
        {"12", ORVEX_STRING, ORVEX_FORMAT_OSTEP, ORVEX_ERR_SUCCESS, 0, 0}, // OpenStep's unquoted string
        {"[1.5]", ORVEX_ARRAY, JSON, ORVEX_ERR_SUCCESS, 0, 0},
        {"<plist><integer>7</integer></plist>", ORVEX_INT, XML, ORVEX_ERR_SUCCESS, 0, 0},
        {"<plist>\n<dict>\n  <foo/>\n</dict></plist>", ORVEX_NONE, XML, ORVEX_ERR_PARSE, 3, 3},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.doc);
        orvex_parse_result why{};
        orvex_format_t format = ORVEX_FORMAT_PRINT;
        std::unique_ptr<Orvex::Node> root = Orvex::Parse(r.doc.data(), r.doc.size(), &why, &format);
        EXPECT_EQ(format, r.format);
        EXPECT_EQ(why.code, r.code);
        if (r.code != ORVEX_ERR_SUCCESS) {
            EXPECT_EQ(root, nullptr);
            EXPECT_EQ(why.line, r.line);
            EXPECT_EQ(why.column, r.column);
        } else {
            ASSERT_NE(root, nullptr);
            EXPECT_EQ(root->GetType(), r.type);
        }
    }
    // A root null: no wrapper, and no success either.
    orvex_parse_result why{};
    const std::string null_root = "<plist><null/></plist>";
    EXPECT_EQ(Orvex::Parse(null_root.data(), null_root.size(), &why), nullptr);
    EXPECT_EQ(why.code, ORVEX_ERR_FORMAT);
    EXPECT_EQ(why.cause, ORVEX_REASON_NONE);

    // Scalars write in every format that holds them, and read back.
    Orvex::Integer n(int64_t(-5));
    for (orvex_format_t format : CODECS) {
        orvex_err_t err = ORVEX_ERR_UNKNOWN;
        const std::string doc = Orvex::Write(n, format, ORVEX_WRITE_SORTED, &err);
        EXPECT_EQ(err, ORVEX_ERR_SUCCESS) << format;
        std::unique_ptr<Orvex::Node> back = Orvex::Parse(doc.data(), doc.size());
        ASSERT_NE(back, nullptr) << format;
        if (format == XML || format == BIN) { // a bare number is detected as OpenStep text
            EXPECT_TRUE(orvex_equal(back->GetOrvex(), n.GetOrvex())) << format;
        }
    }
    orvex_err_t err = ORVEX_ERR_SUCCESS;
    EXPECT_EQ(Orvex::Write(Orvex::Uid(uint64_t(3)), JSON, 0, &err), "");
    EXPECT_EQ(err, ORVEX_ERR_FORMAT);
    EXPECT_EQ(Orvex::Write(n, BIN, ORVEX_WRITE_UTF16LE, &err), "");
    EXPECT_EQ(err, ORVEX_ERR_INVALID_ARG);
}

} // namespace
