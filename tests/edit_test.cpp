// orvex_edit: an edit changes the bytes of what it edits and no others, and
// the document reads back as the tree with that edit made.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "documents.hpp"
#include "edit_reference.hpp"
#include "expect_tree.hpp"
#include "orvex/Edit.h"
#include "orvex/String.h"
#include "orvex/orvex.h"

using namespace orvex_test;

namespace {

std::string file(const std::string &name) {
    std::vector<char> bytes = read_file(data_path(name));
    return std::string(bytes.begin(), bytes.end());
}

// One batch through orvex_edit: the new bytes, or the refusal in `result`.
orvex_err_t edit(const std::string &doc, const std::vector<orvex_edit_op> &ops, std::string &out,
                 orvex_edit_result *result = nullptr, orvex_format_t format = ORVEX_FORMAT_NONE) {
    char *bytes = nullptr;
    uint64_t n = 0;
    orvex_edit_result r;
    orvex_err_t e =
        orvex_edit(doc.data(), doc.size(), format, ops.data(), uint32_t(ops.size()), &bytes, &n, &r);
    EXPECT_EQ(r.code, e);
    out = e == ORVEX_ERR_SUCCESS ? std::string(bytes, n) : std::string();
    if (e == ORVEX_ERR_SUCCESS)
        EXPECT_EQ(bytes[n], '\0');
    else
        EXPECT_TRUE(!bytes && n == 0);
    std::free(bytes);
    if (result)
        *result = r;
    return e;
}

std::vector<std::string> lines_of(const std::string &s) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < s.size()) {
        size_t nl = s.find('\n', at);
        nl = nl == std::string::npos ? s.size() : nl + 1;
        lines.push_back(s.substr(at, nl - at));
        at = nl;
    }
    return lines;
}

// The lines between the common first and last lines: what was taken out
// of `a` and what `b` has in their place.
struct Hunk {
    std::vector<std::string> removed, added;
};
Hunk hunk(const std::string &a, const std::string &b) {
    std::vector<std::string> x = lines_of(a), y = lines_of(b);
    size_t p = 0;
    while (p < x.size() && p < y.size() && x[p] == y[p])
        ++p;
    size_t s = 0;
    while (s < x.size() - p && s < y.size() - p && x[x.size() - 1 - s] == y[y.size() - 1 - s])
        ++s;
    return {{x.begin() + p, x.end() - s}, {y.begin() + p, y.end() - s}};
}

// The first entry or item (depth first) holding a one-line string, and the
// first dictionary, as key paths.
struct Targets {
    std::string scalar, dict;
    std::string text; // the scalar's value
    bool found_dict = false;
};
Targets find_targets(orvex_t root) {
    Targets t;
    struct At {
        orvex_t node;
        std::vector<std::string> path;
    };
    std::vector<At> todo{{root, {}}};
    while (!todo.empty() && (t.scalar.empty() || !t.found_dict)) {
        At at = todo.front();
        todo.erase(todo.begin());
        const orvex_type type = orvex_get_node_type(at.node);
        if (type == ORVEX_DICT && !t.found_dict) {
            t.found_dict = true;
            t.dict = join_path(at.path);
        }
        if (type == ORVEX_STRING && !at.path.empty() && t.scalar.empty()) {
            uint64_t n = 0;
            const char *s = orvex_get_string_ptr(at.node, &n);
            std::string v(s, n);
            if (v.find_first_of("\r\n") == std::string::npos && v.find('\0') == std::string::npos) {
                t.scalar = join_path(at.path);
                t.text = v;
            }
        }
        if (type == ORVEX_DICT) {
            orvex_dict_iter it = nullptr;
            orvex_dict_new_iter(at.node, &it);
            const char *k;
            uint64_t kn;
            orvex_t v;
            for (orvex_dict_next_item_ref(at.node, it, &k, &kn, &v); v;
                 orvex_dict_next_item_ref(at.node, it, &k, &kn, &v)) {
                std::vector<std::string> p = at.path;
                p.emplace_back(k, kn);
                todo.push_back({v, p});
            }
            std::free(it);
        } else if (type == ORVEX_ARRAY) {
            for (uint32_t i = 0; i < orvex_array_get_size(at.node); ++i) {
                std::vector<std::string> p = at.path;
                p.push_back(std::to_string(i));
                todo.push_back({orvex_array_get_item(at.node, i), p});
            }
        }
    }
    return t;
}

// `doc` edited by `op` reads back as its tree with the edit made, and only
// lines of the edit differ: at most `removed` taken out, `added` put in.
void expect_local(const std::string &name, const std::string &doc, const orvex_edit_op &op, size_t removed,
                  size_t added, std::string *out = nullptr) {
    SCOPED_TRACE(name + ": " + std::to_string(op.kind) + " " + op.path);
    std::string edited;
    ASSERT_EQ(edit(doc, {op}, edited), ORVEX_ERR_SUCCESS);
    Owned want(decode(doc, ORVEX_FORMAT_NONE));
    ASSERT_EQ(apply_edit(want.n, op.kind, op.path, op.value), ORVEX_ERR_SUCCESS);
    Owned got(decode(edited, ORVEX_FORMAT_NONE));
    ASSERT_TRUE(got.n);
    EXPECT_TRUE(orvex_equal(got.n, want.n)) << describe(got.n);
    Hunk h = hunk(doc, edited);
    EXPECT_LE(h.removed.size(), removed) << edited;
    EXPECT_LE(h.added.size(), added) << edited;
    if (out)
        *out = edited;
}

} // namespace

// Every text sample and the documents of tests/data/edit: a set of one
// string, an entry added to the first dictionary, the string's entry removed;
// a set back to the old text gives the original bytes where the document
// spelled it as the writer does.
TEST(EditSamples, EachEditStaysOnItsLines) {
    const struct {
        const char *name;
        bool writer_spelling;
    } docs[] = {
        {"data.xml", true},
        {"dates.xml", true},
        {"handwritten.xml", false},
        {"library.xml", true},
        {"minimal.xml", true},
        {"nesting.xml", true},
        {"scalars.xml", true},
        {"text.xml", false},
        {"shared-values.xml", true},
        {"ostep/base-French-utf16.strings", false},
        {"ostep/base-German.strings", false},
        {"ostep/base-Japanese.strings", false},
        {"ostep/base-Languages-Polish", false},
        {"ostep/gui-GSFindPanel-data.classes", false},
        {"ostep/gui-Info-gnustep.plist", false},
        {"edit/project.pbxproj", true},
        {"edit/Info.plist", true},
        {"edit/plistlib.plist", true},
        {"edit/plistlib-sorted.plist", true},
        {"edit/python-indent4.json", false},
        {"edit/python-compact.json", false},
    };
    Owned text(orvex_new_string("edited value"));
    for (const auto &d : docs) {
        SCOPED_TRACE(d.name);
        const std::string doc = file(d.name);
        Owned tree(decode(doc, ORVEX_FORMAT_NONE));
        ASSERT_TRUE(tree.n);
        const Targets t = find_targets(tree.n);
        if (!t.scalar.empty()) {
            std::string edited;
            expect_local(d.name, doc, {ORVEX_EDIT_SET, t.scalar.c_str(), text.n}, 1, 1, &edited);
            Owned old(orvex_new_string(t.text.c_str()));
            std::string back;
            ASSERT_EQ(edit(edited, {{ORVEX_EDIT_SET, t.scalar.c_str(), old.n}}, back), ORVEX_ERR_SUCCESS);
            if (d.writer_spelling) {
                EXPECT_EQ(back, doc);
            }
            expect_local(d.name, doc, {ORVEX_EDIT_REMOVE, t.scalar.c_str(), nullptr}, 8, 1);
        }
        if (t.found_dict) {
            const std::string key = t.dict.empty() ? "edit\\.test" : t.dict + ".edit\\.test";
            expect_local(d.name, doc, {ORVEX_EDIT_INSERT, key.c_str(), text.n}, 1, 2);
        }
    }
}

// The vendor IDE's project file: each edit touches exactly its line(s).
TEST(EditProjectFile, ChangesOnlyTheLinesOfTheEdit) {
    const std::string doc = file("edit/project.pbxproj");
    Owned v77(orvex_new_string("77")), name(orvex_new_string("Demo Release")),
        def(orvex_new_string("NDEBUG=1"));
    const std::string objects = "objects.";
    const struct {
        orvex_edit_op op;
        std::vector<std::string> removed, added;
    } rows[] = {
        {{ORVEX_EDIT_SET, "objectVersion", v77.n}, {"\tobjectVersion = 56;\n"}, {"\tobjectVersion = 77;\n"}},
        {{ORVEX_EDIT_REMOVE, "objects.0A1B2C3D4E5F60718293A4B5", nullptr},
         {"\t\t0A1B2C3D4E5F60718293A4B5 /* main.m in Sources */ = {isa = PBXBuildFile; fileRef = "
          "1A2B3C4D5E6F708192A3B4C5 /* main.m */; };\n"},
         {}},
        {{ORVEX_EDIT_SET, "objects.5E6F708192A3B4C5D6E7F809.name", name.n},
         {"\t\t\tname = Debug;\n"},
         {"\t\t\tname = \"Demo Release\";\n"}},
        {{ORVEX_EDIT_INSERT,
          "objects.5E6F708192A3B4C5D6E7F809.buildSettings.GCC_PREPROCESSOR_DEFINITIONS[arch=*].0", def.n},
         {},
         {"\t\t\t\t\t\"NDEBUG=1\",\n"}},
        {{ORVEX_EDIT_REMOVE, "objects.3C4D5E6F708192A3B4C5D6E7.children.2", nullptr},
         {"\t\t\t\t4D5E6F708192A3B4C5D6E7F8 /* Products */,\n"},
         {}},
        {{ORVEX_EDIT_INSERT, "objects.1A2B3C4D5E6F708192A3B4C5.fileEncoding", v77.n},
         {"\t\t1A2B3C4D5E6F708192A3B4C5 /* main.m */ = {isa = PBXFileReference; lastKnownFileType = "
          "sourcecode.c.objc; path = main.m; sourceTree = \"<group>\"; };\n"},
         {"\t\t1A2B3C4D5E6F708192A3B4C5 /* main.m */ = {isa = PBXFileReference; lastKnownFileType = "
          "sourcecode.c.objc; path = main.m; sourceTree = \"<group>\"; fileEncoding = 77; };\n"}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.op.path);
        std::string edited;
        ASSERT_EQ(edit(doc, {row.op}, edited), ORVEX_ERR_SUCCESS);
        Hunk h = hunk(doc, edited);
        EXPECT_EQ(h.removed, row.removed);
        EXPECT_EQ(h.added, row.added);
        EXPECT_EQ(edited.compare(0, 14, "// !$*UTF8*$!\n"), 0);
    }
}

// Comments that belong to an entry go with it; section markers and blank
// lines stay. Separators are kept right in JSON and OpenStep arrays.
TEST(EditLayout, EntriesTakeTheirCommentsAndSeparators) {
    Owned x(orvex_new_string("x"));
    const struct {
        std::string doc;
        orvex_edit_op op;
        std::string want;
    } rows[] = {
        {"/* Title of the window */\n\"Open\" = \"Ouvrir\";\n\n/* Button */\n\"Save\" = \"Sauver\";\n",
         {ORVEX_EDIT_REMOVE, "Save", nullptr},
         "/* Title of the window */\n\"Open\" = \"Ouvrir\";\n\n"},
        {"// first\n// second\na = b;\nc = d;\n", {ORVEX_EDIT_REMOVE, "a", nullptr}, "c = d;\n"},
        {"{\n/* Begin S section */\n\ta = b;\n/* End S section */\n}\n",
         {ORVEX_EDIT_REMOVE, "a", nullptr},
         "{\n/* Begin S section */\n/* End S section */\n}\n"},
        {"{\n  \"a\": 1,\n  \"b\": 2\n}\n", {ORVEX_EDIT_REMOVE, "b", nullptr}, "{\n  \"a\": 1\n}\n"},
        {"{\n  \"a\": 1\n}\n", {ORVEX_EDIT_INSERT, "b", x.n}, "{\n  \"a\": 1,\n  \"b\": \"x\"\n}\n"},
        {"[1, 2, 3]", {ORVEX_EDIT_REMOVE, "2", nullptr}, "[1, 2]"},
        {"[1, 2, 3]", {ORVEX_EDIT_INSERT, "0", x.n}, "[\"x\", 1, 2, 3]"},
        {"{\"a\": 1}", {ORVEX_EDIT_INSERT, "b", x.n}, "{\"a\": 1, \"b\": \"x\"}"},
        {"(a, b)", {ORVEX_EDIT_INSERT, "2", x.n}, "(a, b, x)"},
        {"(\n\ta,\n\tb\n)\n", {ORVEX_EDIT_REMOVE, "1", nullptr}, "(\n\ta\n)\n"},
        {"{ a = 1; b = 2; }", {ORVEX_EDIT_REMOVE, "a", nullptr}, "{ b = 2; }"},
        {"{ a = 1; b = 2; }", {ORVEX_EDIT_SET, "c", x.n}, "{ a = 1; b = 2; c = x; }"},
        {"\"key\";\n", {ORVEX_EDIT_SET, "key", x.n}, "\"key\" = x;\n"},
        {"{\r\n\ta = b;\r\n}\r\n", {ORVEX_EDIT_INSERT, "c", x.n}, "{\r\n\ta = b;\r\n\tc = x;\r\n}\r\n"},
        {"<plist><dict><key>a</key><string>b</string></dict></plist>",
         {ORVEX_EDIT_INSERT, "c", x.n},
         "<plist><dict><key>a</key><string>b</string><key>c</key><string>x</string></dict></plist>"},
        {"<dict>\n\t<!-- note "
         "-->\n\t<key>a</key>\n\t<string>b</string>\n\t<key>c</key>\n\t<true/>\n</dict>\n",
         {ORVEX_EDIT_REMOVE, "a", nullptr},
         "<dict>\n\t<key>c</key>\n\t<true/>\n</dict>\n"},
        {"{}\n", {ORVEX_EDIT_INSERT, "a", x.n}, "{\n  \"a\": \"x\"\n}\n"},
        {"{ a = (); }", {ORVEX_EDIT_INSERT, "a.0", x.n}, "{ a = ( x ); }"},
        {"{\n\ta = ( // none yet\n\t);\n}\n",
         {ORVEX_EDIT_INSERT, "a.0", x.n},
         "{\n\ta = ( // none yet\n\t\tx\n\t);\n}\n"},
        {"(\n\ta,\n\tb,\n)\n", {ORVEX_EDIT_INSERT, "2", x.n}, "(\n\ta,\n\tb,\n\tx,\n)\n"},
        {"/* nothing yet */\n", {ORVEX_EDIT_INSERT, "a", x.n}, "/* nothing yet */\na = x;\n"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.doc);
        std::string edited;
        ASSERT_EQ(edit(row.doc, {row.op}, edited), ORVEX_ERR_SUCCESS);
        EXPECT_EQ(edited, row.want);
    }
}

// New containers are written at their depth in the document's indent unit.
TEST(EditLayout, NewContainersTakeTheSiblingsIndent) {
    Owned d(orvex_new_dict());
    orvex_t items = orvex_new_array();
    orvex_array_append_item(items, orvex_new_int(1));
    orvex_dict_set_item(d.n, "items", items);
    std::string out;
    ASSERT_EQ(edit("{\n    \"a\": {\n        \"b\": 1\n    }\n}\n", {{ORVEX_EDIT_INSERT, "a.c", d.n}}, out),
              ORVEX_ERR_SUCCESS);
    EXPECT_EQ(out, "{\n    \"a\": {\n        \"b\": 1,\n        \"c\": {\n            \"items\": [\n"
                   "                1\n            ]\n        }\n    }\n}\n");
    ASSERT_EQ(
        edit("<dict>\n  <key>a</key>\n  <string>b</string>\n</dict>\n", {{ORVEX_EDIT_SET, "a", d.n}}, out),
        ORVEX_ERR_SUCCESS);
    EXPECT_EQ(out, "<dict>\n  <key>a</key>\n  <dict>\n    <key>items</key>\n    <array>\n      "
                   "<integer>1</integer>\n    </array>\n  </dict>\n</dict>\n");
}

// Ops apply in order to one document: later ones see what earlier ones did,
// inside new values too.
TEST(EditBatch, OpsSeeEachOther) {
    const std::string doc = file("edit/Info.plist");
    Owned d(orvex_new_dict()), one(orvex_new_string("1.1")), yes(orvex_new_bool(1));
    const std::vector<orvex_edit_op> ops = {
        {ORVEX_EDIT_SET, "CFBundleShortVersionString", one.n},
        {ORVEX_EDIT_INSERT, "NSAppTransportSecurity", d.n},
        {ORVEX_EDIT_INSERT, "NSAppTransportSecurity.NSAllowsArbitraryLoads", yes.n},
        {ORVEX_EDIT_REMOVE, "UISupportedInterfaceOrientations.0", nullptr},
        {ORVEX_EDIT_REMOVE, "CFBundleName", nullptr},
    };
    std::string out;
    ASSERT_EQ(edit(doc, ops, out), ORVEX_ERR_SUCCESS);
    Owned want(decode(doc, ORVEX_FORMAT_NONE));
    for (const orvex_edit_op &op : ops)
        ASSERT_EQ(apply_edit(want.n, op.kind, op.path, op.value), ORVEX_ERR_SUCCESS);
    Owned got(decode(out, ORVEX_FORMAT_XML));
    EXPECT_TRUE(orvex_equal(got.n, want.n)) << out;
    EXPECT_EQ(out.find("<!-- shown in the Finder -->"), std::string::npos); // went with CFBundleName
    EXPECT_NE(
        out.find("\t<key>NSAppTransportSecurity</key>\n\t<dict>\n\t\t<key>NSAllowsArbitraryLoads</key>\n"
                 "\t\t<true/>\n\t</dict>\n</dict>"),
        std::string::npos)
        << out;
}

// The encoding, byte-order mark and declared charset stay; a binary
// document is rewritten whole and still holds the edit.
TEST(EditEncodings, KeepTheDocumentsOwn) {
    Owned text(orvex_new_string("\xC3\xA9t\xC3\xA9 \xE2\x82\xAC"));
    const std::string utf16 = file("ostep/base-French-utf16.strings");
    Owned tree(decode(utf16, ORVEX_FORMAT_OSTEP));
    const Targets t = find_targets(tree.n);
    std::string out;
    ASSERT_EQ(edit(utf16, {{ORVEX_EDIT_SET, t.scalar.c_str(), text.n}}, out), ORVEX_ERR_SUCCESS);
    EXPECT_EQ(out.compare(0, 2, "\xFF\xFE"), 0);
    Owned back(decode(out, ORVEX_FORMAT_OSTEP));
    EXPECT_TRUE(orvex_equal(orvex_dict_get_item(back.n, t.scalar.c_str()), text.n));

    const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<dict>\n\t<key>a</key>\n"
                               "\t<string>caf\xE9</string>\n</dict>\n";
    ASSERT_EQ(edit(latin1, {{ORVEX_EDIT_INSERT, "b", text.n}}, out), ORVEX_ERR_SUCCESS);
    EXPECT_EQ(out, latin1.substr(0, latin1.size() - 8) +
                       "\t<key>b</key>\n\t<string>\xE9t\xE9 &#x20AC;</string>\n</dict>\n");

    const std::string bom = "\xEF\xBB\xBF{\"a\": 1}";
    ASSERT_EQ(edit(bom, {{ORVEX_EDIT_SET, "a", text.n}}, out), ORVEX_ERR_SUCCESS);
    EXPECT_EQ(out, "\xEF\xBB\xBF{\"a\": \"\xC3\xA9t\xC3\xA9 \xE2\x82\xAC\"}");

    const std::string bin = file("edit/plistlib.bin");
    ASSERT_EQ(edit(bin, {{ORVEX_EDIT_SET, "nested.items.1.label", text.n}}, out), ORVEX_ERR_SUCCESS);
    Owned want(decode(bin, ORVEX_FORMAT_BINARY));
    apply_edit(want.n, ORVEX_EDIT_SET, "nested.items.1.label", text.n);
    Owned got(decode(out, ORVEX_FORMAT_BINARY));
    EXPECT_TRUE(orvex_equal(got.n, want.n));
}

// What cannot be placed is refused with its op and cause, and nothing is
// produced; a document the reader rejects is never edited.
TEST(EditRefusals, NameTheOpAndTheCause) {
    Owned s(orvex_new_string("s")), uid(orvex_new_uid(3)), date(orvex_new_date(0)), deep(orvex_new_array());
    orvex_t inner = deep.n;
    for (int i = 0; i < ORVEX_MAX_DEPTH; ++i) {
        orvex_t a = orvex_new_array();
        orvex_array_append_item(inner, a);
        inner = a;
    }
    const std::string ostep = "{ a = (x, y); b = { c = d; }; }", json = "{\"a\": [1, 2]}";
    const struct {
        std::string doc;
        orvex_edit_op op;
        orvex_err_t code;
        orvex_edit_refusal why;
    } rows[] = {
        {ostep, {ORVEX_EDIT_SET, "a.2", s.n}, ORVEX_ERR_NOT_FOUND, ORVEX_EDIT_ABSENT},
        {ostep, {ORVEX_EDIT_SET, "a.x", s.n}, ORVEX_ERR_NOT_FOUND, ORVEX_EDIT_ABSENT},
        {ostep, {ORVEX_EDIT_INSERT, "a.3", s.n}, ORVEX_ERR_NOT_FOUND, ORVEX_EDIT_ABSENT},
        {ostep, {ORVEX_EDIT_REMOVE, "z", nullptr}, ORVEX_ERR_NOT_FOUND, ORVEX_EDIT_ABSENT},
        {ostep, {ORVEX_EDIT_SET, "z.c", s.n}, ORVEX_ERR_NOT_FOUND, ORVEX_EDIT_NO_CONTAINER},
        {ostep, {ORVEX_EDIT_SET, "b.c.d", s.n}, ORVEX_ERR_NOT_FOUND, ORVEX_EDIT_NO_CONTAINER},
        {ostep, {ORVEX_EDIT_INSERT, "b.c", s.n}, ORVEX_ERR_INVALID_ARG, ORVEX_EDIT_EXISTS},
        {ostep, {ORVEX_EDIT_SET, "b\\c", s.n}, ORVEX_ERR_INVALID_ARG, ORVEX_EDIT_BAD_PATH},
        {ostep, {ORVEX_EDIT_SET, "b", nullptr}, ORVEX_ERR_INVALID_ARG, ORVEX_EDIT_BAD_ARGUMENT},
        {ostep, {orvex_edit_kind(3), "b", s.n}, ORVEX_ERR_INVALID_ARG, ORVEX_EDIT_BAD_ARGUMENT},
        {ostep, {ORVEX_EDIT_SET, "b.u", uid.n}, ORVEX_ERR_FORMAT, ORVEX_EDIT_NO_FORM},
        {json, {ORVEX_EDIT_INSERT, "a.0", date.n}, ORVEX_ERR_FORMAT, ORVEX_EDIT_NO_FORM},
        {json, {ORVEX_EDIT_SET, "b", deep.n}, ORVEX_ERR_LIMIT, ORVEX_EDIT_TOO_DEEP},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.doc + " " + row.op.path);
        std::string out;
        orvex_edit_result r;
        // The refused op is the second: the first, fine, changes nothing either.
        EXPECT_EQ(edit(row.doc, {{ORVEX_EDIT_SET, "fine", s.n}, row.op}, out, &r), row.code);
        EXPECT_EQ(r.op, 1u);
        EXPECT_EQ(r.refusal, row.why);
        EXPECT_STRNE(r.reason, "");
        EXPECT_TRUE(out.empty());
        if (row.why == ORVEX_EDIT_ABSENT || row.why == ORVEX_EDIT_NO_CONTAINER ||
            row.why == ORVEX_EDIT_EXISTS || row.why == ORVEX_EDIT_BAD_PATH) { // the reference refuses alike
            Owned tree(decode(row.doc, ORVEX_FORMAT_NONE));
            EXPECT_EQ(apply_edit(tree.n, row.op.kind, row.op.path, row.op.value), row.code);
        }
    }
    std::string out;
    orvex_edit_result r;
    EXPECT_EQ(edit("{ a = ; }", {{ORVEX_EDIT_SET, "a", s.n}}, out, &r, ORVEX_FORMAT_OSTEP), ORVEX_ERR_PARSE);
    EXPECT_EQ(r.refusal, ORVEX_EDIT_BAD_DOCUMENT);
    EXPECT_EQ(r.parse.cause, ORVEX_REASON_UNEXPECTED);
    EXPECT_EQ(r.parse.offset, 6u);
    EXPECT_EQ(r.parse.column, 7u);
    EXPECT_EQ(r.op, ORVEX_EDIT_NO_OP);
    char *bytes = nullptr;
    EXPECT_EQ(orvex_edit("{}", 2, ORVEX_FORMAT_NONE, nullptr, 0, &bytes, nullptr, nullptr),
              ORVEX_ERR_INVALID_ARG);
    EXPECT_EQ(bytes, nullptr);
}

TEST(EditClass, QueuesCopiesAndApplies) {
    Orvex::Edit batch;
    {
        Orvex::String v("Release");
        batch.Set("objects.5E6F708192A3B4C5D6E7F809.name", v).Remove("rootObject");
    } // the batch holds its own copies
    EXPECT_EQ(batch.GetSize(), 2u);
    const std::string doc = file("edit/project.pbxproj");
    std::string out;
    ASSERT_TRUE(batch.Apply(doc, out));
    EXPECT_EQ(lines_of(out).size() + 1, lines_of(doc).size());
    EXPECT_NE(out.find("\t\t\tname = Release;\n"), std::string::npos);
    EXPECT_EQ(out.find("rootObject"), std::string::npos);
    orvex_edit_result r;
    EXPECT_FALSE(batch.Apply("not a document <", out, ORVEX_FORMAT_XML, &r));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(r.refusal, ORVEX_EDIT_BAD_DOCUMENT);
}
