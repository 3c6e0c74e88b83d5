// Running out of memory. Each case runs one operation with its 1st, 2nd, 3rd,
// ... allocation failing (store and object model alike) until it completes
// without reaching the failing one, and checks every run: the failure is
// reported (std::bad_alloc, or the store's null / ORVEX_ERR_NO_MEM), nothing
// leaks, what the operation worked on is as it was, and every container's
// mirror still matches its store node.
#include <cstring>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <ostream>
#include <string>
#include <vector>

#include "mirror_check.hpp"
#include "oom/fail_alloc.hpp"
#include "orvex/orvex++.h"

using namespace Orvex;
using orvex_test::mirror_mismatch;

namespace {

// Longer than a store node holds inline, so setting them allocates.
const std::string LONG_TEXT = "a text long enough to be kept outside its node";
const std::string OTHER_TEXT = "another text, also too long to be kept inline";
const std::string NUL_TEXT("text that goes on past \0 a NUL byte", 36);
const char *const NEW_KEY = "a new key, longer than an inline one";

orvex_t nul_string() {
    orvex_t s = orvex_new_string(nullptr);
    orvex_set_string_val_len(s, NUL_TEXT.data(), NUL_TEXT.size());
    return s;
}

// A dictionary holding every type, a nested array and dictionary, a null item
// and a string with a NUL byte in it.
orvex_t sample_tree() {
    orvex_t root = orvex_new_dict();
    auto put = [root](const char *key, orvex_t v) { orvex_dict_set_item(root, key, v); };
    put("flag", orvex_new_bool(1));
    put("count", orvex_new_int(-42));
    put("big", orvex_new_uint(UINT64_MAX));
    put("ratio", orvex_new_real(0.25));
    put("title", orvex_new_string(LONG_TEXT.c_str()));
    put("blob", orvex_new_data(NUL_TEXT.data(), NUL_TEXT.size()));
    put("when", orvex_new_unix_date(1700000000));
    put("ref", orvex_new_uid(7));
    put("a key long enough to be kept apart", nul_string());
    orvex_t list = orvex_new_array();
    orvex_array_append_item(list, orvex_new_int(1));
    orvex_t key = orvex_new_string(nullptr);
    orvex_set_key_val(key, LONG_TEXT.c_str());
    orvex_array_append_item(list, key);
    orvex_array_append_item(list, orvex_new_null());
    orvex_t inner = orvex_new_dict();
    orvex_dict_set_item(inner, "a key long enough, one level down", orvex_new_string(LONG_TEXT.c_str()));
    orvex_dict_set_item(inner, "n", orvex_new_real(-1.5));
    orvex_array_append_item(list, inner);
    put("list", list);
    put("empty", orvex_new_array());
    return root;
}

std::vector<char> encoded(orvex_err_t (*writer)(orvex_t, char **, uint32_t *)) {
    orvex_t tree = sample_tree();
    char *bytes = nullptr;
    uint32_t length = 0;
    writer(tree, &bytes, &length);
    std::vector<char> out(bytes, bytes + length);
    free(bytes);
    orvex_free(tree);
    return out;
}

// ASCII text as UTF-16LE with its byte-order mark.
std::string utf16le(const std::string &ascii) {
    std::string s = "\xFF\xFE";
    for (char c : ascii) {
        s += c;
        s += '\0';
    }
    return s;
}

bool same(const Node &a, orvex_t b) { return orvex_equal(a.GetOrvex(), b) != 0; }
bool same(const Node &a, const Node &b) { return same(a, b.GetOrvex()); }

// One run of a case, with allocation `nth` failing (0: none).
class Trial {
  public:
    explicit Trial(long nth) : nth_(nth) {}
    ~Trial() { orvex_free(snapshot_); }

    // What most cases work on: a root Dictionary over sample_tree(), made
    // before anything fails. After a failed operation it must be as it was.
    Dictionary &doc() {
        if (!doc_) {
            doc_.reset(dynamic_cast<Dictionary *>(Node::FromOrvex(sample_tree(), nullptr)));
            snapshot_ = orvex_copy(doc_->GetOrvex());
        }
        return *doc_;
    }
    // A wrapper inside doc(): "key" or "key/position".
    template <class T> T &held(const std::string &path) {
        const size_t slash = path.find('/');
        Node *n = doc().Find(path.substr(0, slash))->second;
        if (slash != std::string::npos)
            n = (*dynamic_cast<Array *>(n))[std::stoul(path.substr(slash + 1))];
        return dynamic_cast<T &>(*n);
    }

    // Runs `op` with the allocation armed; true when it completed. `op`
    // returns false where it reports a failure by its result; std::bad_alloc
    // counts as one too. An operation may also absorb a failure (an index it
    // can do without): then its result must be whole, which each case checks.
    template <class Op> bool run(Op op) {
        bool done = false;
        const char *other = nullptr;
        fail_alloc::arm(nth_);
        try {
            done = op();
        } catch (const std::bad_alloc &) {
        } catch (const std::exception &e) {
            other = e.what();
        }
        hit_ = fail_alloc::disarm();
        ran_ = true;
        done_ = done;
        if (other)
            ADD_FAILURE() << "threw " << other << " instead of std::bad_alloc";
        else if (!hit_ && !done)
            ADD_FAILURE() << "failed with no allocation failing";
        return done;
    }

    bool hit() const { return hit_; }
    bool ran() const { return ran_; }

    // The checks common to every case, before everything is destroyed.
    void check_doc() {
        if (!doc_)
            return;
        EXPECT_EQ(mirror_mismatch(*doc_), "");
        if (!done_) {
            EXPECT_TRUE(same(*doc_, snapshot_)) << "the document changed although the operation failed";
        }
        // Still usable: it writes and reads back as the store holds it.
        std::unique_ptr<Structure> back(Structure::FromXml(doc_->ToXml()));
        EXPECT_TRUE(back && same(*back, *doc_)) << "the document no longer round-trips";
    }

  private:
    long nth_;
    std::unique_ptr<Dictionary> doc_;
    orvex_t snapshot_ = nullptr;
    bool hit_ = false, ran_ = false, done_ = false;
};

struct Case {
    std::string name;
    std::function<void(Trial &)> body;
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

// A root wrapper `copy` made from `source`, whole.
void expect_copy(const Node &copy, const Node &source) {
    EXPECT_EQ(copy.GetParent(), nullptr);
    EXPECT_TRUE(same(copy, source)) << "the copy differs from its source";
    EXPECT_EQ(mirror_mismatch(copy), "");
}

// Assignment to a root `target`: on failure it keeps its old tree.
template <class T> void assign_root(Trial &t, T &target, const T &source) {
    orvex_t before = orvex_copy(target.GetOrvex());
    if (t.run([&] {
            target = source;
            return true;
        }))
        EXPECT_TRUE(same(target, source)) << "the target differs from its source";
    else
        EXPECT_TRUE(same(target, before)) << "a failed assignment changed its target";
    EXPECT_EQ(mirror_mismatch(target), "");
    orvex_free(before);
}

// Assignment to a wrapper that doc() holds: it keeps its store node and place.
template <class T> void assign_held(Trial &t, T &target, const T &source) {
    const orvex_t node = target.GetOrvex();
    Node *const parent = target.GetParent();
    if (t.run([&] {
            target = source;
            return true;
        })) {
        EXPECT_TRUE(same(target, source)) << "the target differs from its source";
    }
    EXPECT_EQ(target.GetOrvex(), node) << "a held target changed its store node";
    EXPECT_EQ(target.GetParent(), parent);
}

// The cases of one value class: its copy, Clone, value constructor, SetValue,
// and assignment of `source()` to a root and to the wrapper at `path`.
template <class T, class V> void add_value_cases(std::vector<Case> &cases, const std::string &name,
                                                 const std::string &path, V value,
                                                 std::function<T *()> source = nullptr) {
    if (!source)
        source = [value] { return new T(value); };
    cases.push_back({name + "Copy", [path](Trial &t) {
                         const T &held = t.held<T>(path);
                         std::unique_ptr<T> copy;
                         if (t.run([&] {
                                 copy.reset(new T(held));
                                 return true;
                             }))
                             expect_copy(*copy, held);
                     }});
    cases.push_back({name + "Clone", [path](Trial &t) {
                         const T &held = t.held<T>(path);
                         std::unique_ptr<Node> copy;
                         if (t.run([&] {
                                 copy.reset(held.Clone());
                                 return true;
                             }))
                             expect_copy(*copy, held);
                     }});
    cases.push_back({name + "FromValue", [value](Trial &t) {
                         std::unique_ptr<T> made;
                         if (t.run([&] {
                                 made.reset(new T(value));
                                 return true;
                             })) {
                             EXPECT_TRUE(made->GetValue() == value) << "holds another value";
                         }
                     }});
    cases.push_back({name + "SetValue", [path, value](Trial &t) {
                         T &held = t.held<T>(path);
                         if (t.run([&] {
                                 held.SetValue(value);
                                 return true;
                             })) {
                             EXPECT_TRUE(held.GetValue() == value) << "holds another value";
                         }
                     }});
    cases.push_back({name + "AssignToRoot", [path, source](Trial &t) {
                         std::unique_ptr<T> from(source());
                         T target(t.held<T>(path));
                         assign_root(t, target, *from);
                     }});
    cases.push_back({name + "AssignToHeld", [path, source](Trial &t) {
                         std::unique_ptr<T> from(source());
                         assign_held(t, t.held<T>(path), *from);
                     }});
}

// A root array of two items and a root dictionary of two entries.
std::unique_ptr<Array> small_array() {
    std::unique_ptr<Array> a(new Array());
    a->Append(String(OTHER_TEXT));
    a->Append(Dictionary());
    return a;
}

std::unique_ptr<Dictionary> small_dictionary() {
    std::unique_ptr<Dictionary> d(new Dictionary());
    d->Set(NEW_KEY, String(OTHER_TEXT));
    d->Set("list", Array());
    return d;
}

void add_container_cases(std::vector<Case> &cases) {
    cases.push_back({"ArrayCopy", [](Trial &t) {
                         const Array &list = t.held<Array>("list");
                         std::unique_ptr<Array> copy;
                         if (t.run([&] {
                                 copy.reset(new Array(list));
                                 return true;
                             }))
                             expect_copy(*copy, list);
                     }});
    cases.push_back({"ArrayClone", [](Trial &t) {
                         const Array &list = t.held<Array>("list");
                         std::unique_ptr<Node> copy;
                         if (t.run([&] {
                                 copy.reset(list.Clone());
                                 return true;
                             }))
                             expect_copy(*copy, list);
                     }});
    cases.push_back({"DictionaryCopy", [](Trial &t) {
                         const Dictionary &doc = t.doc();
                         std::unique_ptr<Dictionary> copy;
                         if (t.run([&] {
                                 copy.reset(new Dictionary(doc));
                                 return true;
                             }))
                             expect_copy(*copy, doc);
                     }});
    cases.push_back({"DictionaryClone", [](Trial &t) {
                         const Dictionary &inner = t.held<Dictionary>("list/3");
                         std::unique_ptr<Node> copy;
                         if (t.run([&] {
                                 copy.reset(inner.Clone());
                                 return true;
                             }))
                             expect_copy(*copy, inner);
                     }});
    cases.push_back({"ArrayAppend", [](Trial &t) {
                         Array &list = t.held<Array>("list");
                         std::unique_ptr<Array> item = small_array();
                         if (t.run([&] {
                                 list.Append(*item);
                                 return true;
                             })) {
                             EXPECT_TRUE(list.size() == 5 && same(*list.Back(), *item)) << "not appended";
                         }
                     }});
    cases.push_back({"ArrayInsert", [](Trial &t) {
                         Array &list = t.held<Array>("list");
                         const String item(OTHER_TEXT);
                         if (t.run([&] {
                                 list.Insert(item, 1u);
                                 return true;
                             })) {
                             EXPECT_TRUE(list.size() == 5 && same(*list[1], item)) << "not inserted";
                         }
                     }});
    cases.push_back({"DictionarySetNewKey", [](Trial &t) {
                         Dictionary &doc = t.doc();
                         std::unique_ptr<Dictionary> item = small_dictionary();
                         if (t.run([&] {
                                 doc.Set(NEW_KEY, *item);
                                 return true;
                             })) {
                             EXPECT_TRUE(same(*doc.Find(NEW_KEY)->second, *item)) << "not set";
                         }
                     }});
    cases.push_back({"DictionarySetReplacing", [](Trial &t) {
                         Dictionary &doc = t.doc();
                         const String item(OTHER_TEXT);
                         if (t.run([&] {
                                 doc.Set("title", item);
                                 return true;
                             })) {
                             EXPECT_TRUE(same(*doc.Find("title")->second, item)) << "not replaced";
                         }
                     }});
    cases.push_back({"ArrayAssignToRoot", [](Trial &t) {
                         std::unique_ptr<Array> target = small_array();
                         assign_root(t, *target, t.held<Array>("list"));
                     }});
    cases.push_back({"ArrayAssignToHeld", [](Trial &t) {
                         std::unique_ptr<Array> source = small_array();
                         assign_held(t, t.held<Array>("list"), *source);
                     }});
    cases.push_back({"DictionaryAssignToRoot", [](Trial &t) {
                         std::unique_ptr<Dictionary> target = small_dictionary();
                         assign_root(t, *target, t.doc());
                     }});
    cases.push_back({"DictionaryAssignToHeld", [](Trial &t) {
                         std::unique_ptr<Dictionary> source = small_dictionary();
                         assign_held(t, t.held<Dictionary>("list/3"), *source);
                     }});
}

// Values made from C++ values: lists, Set, Append and Insert, InOrder, a Date
// from a time point.
void add_convenience_cases(std::vector<Case> &cases) {
    cases.push_back({"ArrayFromItems", [](Trial &t) {
                         const Array expected{1, LONG_TEXT, Array{2, OTHER_TEXT}};
                         std::unique_ptr<Array> made;
                         if (t.run([&] {
                                 made.reset(new Array{1, LONG_TEXT, Array{2, OTHER_TEXT}});
                                 return true;
                             }))
                             expect_copy(*made, expected);
                     }});
    cases.push_back(
        {"DictionaryFromEntries", [](Trial &t) {
             const Dictionary expected{{NEW_KEY, LONG_TEXT}, {"n", 5}, {"list", Array{OTHER_TEXT}}};
             std::unique_ptr<Dictionary> made;
             if (t.run([&] {
                     made.reset(new Dictionary{{NEW_KEY, LONG_TEXT}, {"n", 5}, {"list", Array{OTHER_TEXT}}});
                     return true;
                 }))
                 expect_copy(*made, expected);
         }});
    // One operation each: a failure must leave the document as it was.
    const struct {
        const char *name;
        std::function<void(Dictionary &)> op;
        std::function<bool(Dictionary &)> done;
    } edits[] = {
        {"DictionarySetValueNewKey", [](Dictionary &d) { d.Set(NEW_KEY, LONG_TEXT); },
         [](Dictionary &d) { return *d.Get(NEW_KEY) == String(LONG_TEXT); }},
        {"DictionarySetValueReplacing", [](Dictionary &d) { d.Set("title", 2.5); },
         [](Dictionary &d) { return *d.Get("title") == Real(2.5); }},
        {"ArrayAppendValue", [](Dictionary &d) { d.Get("list")->As<Array>()->Append(OTHER_TEXT.c_str()); },
         [](Dictionary &d) { return *d.Get("list")->As<Array>()->Back() == String(OTHER_TEXT); }},
        {"ArrayInsertValue", [](Dictionary &d) { d.Get("list")->As<Array>()->Insert(7, 0u); },
         [](Dictionary &d) { return *(*d.Get("list")->As<Array>())[0u] == Integer(7); }},
    };
    for (const auto &e : edits) {
        cases.push_back({e.name, [op = e.op, done = e.done](Trial &t) {
                             Dictionary &doc = t.doc();
                             if (t.run([&] {
                                     op(doc);
                                     return true;
                                 })) {
                                 EXPECT_TRUE(done(doc)) << "not filed";
                             }
                         }});
    }
    cases.push_back({"DictionaryInOrder", [](Trial &t) {
                         const Dictionary &doc = t.doc();
                         Dictionary::ordered_entries entries;
                         if (t.run([&] {
                                 entries = doc.InOrder();
                                 return true;
                             })) {
                             ASSERT_EQ(entries.size(), doc.size());
                             EXPECT_EQ(entries.front().first, "flag");
                             EXPECT_EQ(entries.back().second, doc.Get("empty"));
                         }
                     }});
    cases.push_back({"DateFromTime", [](Trial &t) {
                         const auto when =
                             std::chrono::system_clock::from_time_t(5) + std::chrono::milliseconds(500);
                         std::unique_ptr<Date> made;
                         if (t.run([&] {
                                 made.reset(new Date(when));
                                 return true;
                             })) {
                             EXPECT_EQ(made->GetSecondsSince2001(), 5.5 - 978307200);
                         }
                     }});
}

void add_document_cases(std::vector<Case> &cases) {
    // The readers: each result must equal the store's own reading.
    using Reader = std::function<Structure *(const std::vector<char> &)>;
    struct {
        const char *name;
        bool xml;
        Reader read;
    } readers[] = {
        {"FromXml", true,
         [](const std::vector<char> &d) { return Structure::FromXml(std::string(d.begin(), d.end())); }},
        {"FromBin", false, [](const std::vector<char> &d) { return Structure::FromBin(d); }},
        {"FromMemoryXml", true, [](const std::vector<char> &d) { return Structure::FromMemory(d, nullptr); }},
        {"FromMemoryBin", false,
         [](const std::vector<char> &d) { return Structure::FromMemory(d, nullptr); }},
    };
    for (const auto &r : readers) {
        cases.push_back({r.name, [xml = r.xml, read = r.read](Trial &t) {
                             const std::vector<char> input = encoded(xml ? orvex_to_xml : orvex_to_bin);
                             orvex_t expected = nullptr;
                             orvex_from_memory(input.data(), uint32_t(input.size()), &expected, nullptr);
                             std::unique_ptr<Structure> doc;
                             if (t.run([&] {
                                     doc.reset(read(input));
                                     return doc != nullptr;
                                 })) {
                                 EXPECT_TRUE(same(*doc, expected)) << "read another tree";
                                 EXPECT_EQ(mirror_mismatch(*doc), "");
                             }
                             orvex_free(expected);
                         }});
    }
    cases.push_back({"ToXml", [](Trial &t) {
                         const std::vector<char> expected = encoded(orvex_to_xml);
                         std::string xml;
                         const Dictionary &doc = t.doc();
                         if (t.run([&] {
                                 xml = doc.ToXml();
                                 return !xml.empty();
                             })) {
                             EXPECT_EQ(xml, std::string(expected.begin(), expected.end()));
                         }
                     }});
    cases.push_back({"ToBin", [](Trial &t) {
                         const std::vector<char> expected = encoded(orvex_to_bin);
                         std::vector<char> bin;
                         const Dictionary &doc = t.doc();
                         if (t.run([&] {
                                 bin = doc.ToBin();
                                 return !bin.empty();
                             })) {
                             EXPECT_EQ(bin, expected);
                         }
                     }});
}

// The store alone: failures come back as null or ORVEX_ERR_NO_MEM.
bool store_result(orvex_err_t rc) {
    EXPECT_TRUE(rc == ORVEX_ERR_SUCCESS || rc == ORVEX_ERR_NO_MEM) << "error code " << rc;
    return rc == ORVEX_ERR_SUCCESS;
}

void add_store_cases(std::vector<Case> &cases) {
    using Parser = orvex_err_t (*)(const char *, uint32_t, orvex_t *);
    const struct {
        const char *name;
        Parser parse;
        orvex_err_t (*write)(orvex_t, char **, uint32_t *);
    } codecs[] = {{"Xml", orvex_from_xml, orvex_to_xml},
                  {"Bin", orvex_from_bin, orvex_to_bin},
                  {"OpenStep", orvex_from_openstep, [](orvex_t tree, char **out, uint32_t *length) {
                       // The sample less its UID and null, which the format has no form for.
                       orvex_t c = orvex_copy(tree);
                       if (!c)
                           return ORVEX_ERR_NO_MEM;
                       orvex_dict_remove_item(c, "ref");
                       orvex_array_remove_item(orvex_dict_get_item(c, "list"), 2);
                       orvex_err_t e = orvex_to_openstep(c, out, length, ORVEX_OSTEP_TYPED);
                       orvex_free(c);
                       return e;
                   }}};
    for (const auto &c : codecs) {
        cases.push_back({std::string("StoreFrom") + c.name, [c](Trial &t) {
                             const std::vector<char> input = encoded(c.write);
                             orvex_t expected = nullptr, root = nullptr;
                             c.parse(input.data(), uint32_t(input.size()), &expected);
                             if (t.run([&] {
                                     return store_result(
                                         c.parse(input.data(), uint32_t(input.size()), &root));
                                 })) {
                                 EXPECT_TRUE(orvex_equal(root, expected));
                             } else {
                                 EXPECT_EQ(root, nullptr);
                             }
                             orvex_free(root);
                             orvex_free(expected);
                         }});
        cases.push_back({std::string("StoreTo") + c.name, [c](Trial &t) {
                             const std::vector<char> expected = encoded(c.write);
                             orvex_t tree = sample_tree();
                             char *out = nullptr;
                             uint32_t length = 0;
                             if (t.run([&] { return store_result(c.write(tree, &out, &length)); })) {
                                 EXPECT_EQ(std::vector<char>(out, out + length), expected);
                             } else {
                                 EXPECT_TRUE(out == nullptr && length == 0);
                             }
                             free(out);
                             orvex_free(tree);
                         }});
    }
    // A binary document's long texts live in its node blocks: replacing one
    // that fails leaves it there, whole.
    cases.push_back({"StoreSetTextOfBinaryRead", [](Trial &t) {
                         const std::vector<char> input = encoded(orvex_to_bin);
                         orvex_t root = nullptr;
                         ASSERT_EQ(orvex_from_bin(input.data(), uint32_t(input.size()), &root),
                                   ORVEX_ERR_SUCCESS);
                         orvex_t was = orvex_copy(root), title = orvex_dict_get_item(root, "title");
                         if (t.run([&] {
                                 return store_result(
                                     orvex_set_string_val_len(title, OTHER_TEXT.data(), OTHER_TEXT.size()));
                             })) {
                             orvex_set_string_val(orvex_dict_get_item(was, "title"), OTHER_TEXT.c_str());
                         }
                         EXPECT_TRUE(orvex_equal(root, was));
                         orvex_free(root);
                         orvex_free(was);
                     }});
    // orvex_edit: a batch on each kind of document, failing nowhere but in
    // its result.
    const struct {
        const char *name;
        std::string doc;
    } edits[] = {
        {"Xml", "<plist version=\"1.0\">\n<dict>\n\t<!-- note -->\n\t<key>a</key>\n\t<string>b</string>\n"
                "\t<key>list</key>\n\t<array>\n\t\t<integer>1</integer>\n\t</array>\n</dict>\n</plist>\n"},
        {"Json", "{\n  \"a\": \"b\",\n  \"list\": [1, 2]\n}\n"},
        {"OpenStep", "// !$*UTF8*$!\n{\n\ta = b; /* why */\n\tlist = (\n\t\t1,\n\t);\n\tempty = {};\n}\n"},
        {"OpenStepUtf16", utf16le("{\n\ta = b;\n\tlist = ();\n}\n")},
        {"Binary", std::string(encoded(orvex_to_bin).data(), encoded(orvex_to_bin).size())},
    };
    for (const auto &ed : edits) {
        cases.push_back({std::string("StoreEdit") + ed.name, [ed](Trial &t) {
                             orvex_t text = orvex_new_string(LONG_TEXT.c_str()), d = orvex_new_dict();
                             orvex_dict_set_item(d, NEW_KEY, orvex_new_string(OTHER_TEXT.c_str()));
                             const orvex_edit_op ops[] = {{ORVEX_EDIT_SET, "a", text},
                                                          {ORVEX_EDIT_INSERT, "list.0", d},
                                                          {ORVEX_EDIT_INSERT, "list.0.n", text},
                                                          {ORVEX_EDIT_INSERT, "fresh", d},
                                                          {ORVEX_EDIT_REMOVE, "a", nullptr}};
                             const bool binary = ed.doc.compare(0, 6, "bplist") == 0;
                             const orvex_edit_op *batch = binary ? ops + 3 : ops; // "a" is a text only
                             const uint32_t count = binary ? 1 : 5;
                             char *want = nullptr, *out = nullptr;
                             uint64_t want_n = 0, n = 0;
                             ASSERT_EQ(orvex_edit(ed.doc.data(), ed.doc.size(), ORVEX_FORMAT_NONE, batch,
                                                  count, &want, &want_n, nullptr),
                                       ORVEX_ERR_SUCCESS);
                             orvex_edit_result r;
                             if (t.run([&] {
                                     return store_result(orvex_edit(ed.doc.data(), ed.doc.size(),
                                                                    ORVEX_FORMAT_NONE, batch, count, &out, &n,
                                                                    &r));
                                 })) {
                                 EXPECT_EQ(std::string(out, n), std::string(want, want_n));
                             } else {
                                 EXPECT_TRUE(out == nullptr && n == 0);
                                 EXPECT_EQ(r.refusal, ORVEX_EDIT_OUT_OF_MEMORY);
                             }
                             free(out);
                             free(want);
                             orvex_free(text);
                             orvex_free(d);
                         }});
    }
    cases.push_back({"EditApply", [](Trial &t) {
                         const std::string doc = "{\n\ta = b;\n\tc = d;\n}\n";
                         Edit batch;
                         String text(LONG_TEXT);
                         std::string out;
                         if (t.run([&] {
                                 batch.Set("a", text).Remove("c").Insert("e", text);
                                 return batch.Apply(doc, out);
                             })) {
                             EXPECT_EQ(out,
                                       "{\n\ta = \"" + LONG_TEXT + "\";\n\te = \"" + LONG_TEXT + "\";\n}\n");
                         }
                     }});
    cases.push_back({"StoreCopy", [](Trial &t) {
                         orvex_t tree = sample_tree();
                         orvex_t copy = nullptr;
                         if (t.run([&] { return (copy = orvex_copy(tree)) != nullptr; })) {
                             EXPECT_TRUE(orvex_equal(copy, tree));
                         }
                         orvex_free(copy);
                         orvex_free(tree);
                     }});
    cases.push_back({"StoreDictSetItem", [](Trial &t) {
                         orvex_t tree = sample_tree();
                         orvex_t before = orvex_copy(tree);
                         orvex_t item = orvex_new_string(OTHER_TEXT.c_str());
                         // A refused attach leaves the item with its caller.
                         if (t.run([&] {
                                 orvex_dict_set_item(tree, NEW_KEY, item);
                                 return orvex_get_parent(item) == tree;
                             })) {
                             EXPECT_EQ(orvex_dict_get_item(tree, NEW_KEY), item);
                         } else {
                             EXPECT_TRUE(orvex_equal(tree, before));
                             orvex_free(item);
                         }
                         orvex_free(before);
                         orvex_free(tree);
                     }});
}

// Key paths: the store spells and splits them, the model finds wrappers by
// them and names by them the value that stops a strict JSON writer; and
// orvex_detach.
void add_key_path_cases(std::vector<Case> &cases) {
    static const std::string deep = "list.3.a key long enough, one level down";
    cases.push_back({"StorePathOf", [](Trial &t) {
                         orvex_t tree = sample_tree();
                         const orvex_t node = orvex_get_path(tree, deep.c_str());
                         char *path = nullptr;
                         if (t.run([&] { return (path = orvex_path_of(tree, node)) != nullptr; })) {
                             EXPECT_EQ(path, deep);
                         }
                         free(path);
                         orvex_free(tree);
                     }});
    cases.push_back(
        {"StorePathPart", [](Trial &t) {
             char *part = nullptr;
             uint64_t length = 0, next = 0;
             if (t.run([&] { return store_result(orvex_path_part("a\\.b.c", 0, &part, &length, &next)); })) {
                 EXPECT_EQ(std::string(part, length), "a.b");
                 EXPECT_EQ(next, 5u);
             } else {
                 EXPECT_TRUE(part == nullptr && length == 0 && next == 0);
             }
             free(part);
         }});
    // Detaching never fails: a dictionary compacting without memory for its
    // index goes on without one.
    cases.push_back({"StoreDetachCompacting", [](Trial &t) {
                         orvex_t dict = orvex_new_dict();
                         for (int i = 0; i < 40; ++i)
                             orvex_dict_set_item(dict, std::to_string(i).c_str(), orvex_new_int(i));
                         std::vector<orvex_t> taken;
                         taken.reserve(30);
                         t.run([&] {
                             for (int i = 0; i < 30; ++i)
                                 taken.push_back(
                                     orvex_detach(orvex_dict_get_item(dict, std::to_string(i).c_str())));
                             return true;
                         });
                         EXPECT_EQ(orvex_dict_get_size(dict), 10u);
                         for (int i = 30; i < 40; ++i)
                             EXPECT_NE(orvex_dict_get_item(dict, std::to_string(i).c_str()), nullptr);
                         for (orvex_t n : taken) {
                             EXPECT_TRUE(n && !orvex_get_parent(n));
                             orvex_free(n);
                         }
                         orvex_free(dict);
                     }});
    cases.push_back({"StructureAt", [](Trial &t) {
                         const Dictionary &doc = t.doc();
                         const Node *expected = t.held<Dictionary>("list/3").Find(deep.substr(7))->second;
                         const Node *found = nullptr;
                         if (t.run([&] {
                                 found = doc.At(deep);
                                 return true;
                             })) {
                             EXPECT_EQ(found, expected);
                         }
                     }});
    cases.push_back({"ToJsonWhy", [](Trial &t) {
                         const Dictionary &doc = t.doc();
                         std::string why;
                         if (t.run([&] { return doc.ToJson(false, false, &why).empty(); })) {
                             EXPECT_EQ(why, "the data at key path 'blob' has no JSON form");
                         }
                     }});
}

// The calls over every format and over files, and the C++ entry points on them.
void add_any_format_cases(std::vector<Case> &cases) {
    const struct {
        const char *name;
        orvex_format_t format;
        uint32_t flags;
    } writes[] = {{"StoreWriteXmlSortedUtf16", ORVEX_FORMAT_XML, ORVEX_WRITE_SORTED | ORVEX_WRITE_UTF16LE},
                  {"StoreWriteBinSorted", ORVEX_FORMAT_BINARY, ORVEX_WRITE_SORTED}};
    for (const auto &w : writes) {
        cases.push_back({w.name, [w](Trial &t) {
                             orvex_t tree = sample_tree();
                             char *want = nullptr, *out = nullptr;
                             uint64_t want_length = 0, length = 0;
                             ASSERT_EQ(orvex_write(tree, w.format, w.flags, &want, &want_length),
                                       ORVEX_ERR_SUCCESS);
                             if (t.run([&] {
                                     return store_result(orvex_write(tree, w.format, w.flags, &out, &length));
                                 })) {
                                 EXPECT_EQ(std::string(out, length), std::string(want, want_length));
                             } else {
                                 EXPECT_TRUE(out == nullptr && length == 0);
                             }
                             free(out);
                             free(want);
                             orvex_free(tree);
                         }});
    }
    cases.push_back(
        {"StoreReadFile", [](Trial &t) {
             const std::vector<char> input = encoded(orvex_to_bin);
             orvex_t expected = nullptr;
             orvex_from_bin(input.data(), uint32_t(input.size()), &expected);
             char name[] = "/tmp/orvex-oom-XXXXXX";
             const int fd = mkstemp(name);
             ASSERT_GE(fd, 0);
             close(fd);
             ASSERT_EQ(orvex_write_file_bytes(name, input.data(), input.size()), ORVEX_ERR_SUCCESS);
             orvex_t root = nullptr;
             orvex_parse_result why{};
             if (t.run([&] {
                     return store_result(orvex_read_file(name, ORVEX_FORMAT_NONE, &root, nullptr, &why));
                 })) {
                 EXPECT_TRUE(orvex_equal(root, expected));
             } else {
                 EXPECT_EQ(root, nullptr);
                 EXPECT_EQ(why.code, ORVEX_ERR_NO_MEM);
             }
             std::remove(name);
             orvex_free(root);
             orvex_free(expected);
         }});
    cases.push_back({"Parse", [](Trial &t) {
                         const std::vector<char> input = encoded(orvex_to_bin);
                         orvex_t expected = nullptr;
                         orvex_from_bin(input.data(), uint32_t(input.size()), &expected);
                         std::unique_ptr<Node> root;
                         if (t.run([&] { return (root = Parse(input.data(), input.size())) != nullptr; })) {
                             EXPECT_TRUE(same(*root, expected));
                             EXPECT_EQ(mirror_mismatch(*root), "");
                         }
                         orvex_free(expected);
                     }});
    cases.push_back(
        {"Write", [](Trial &t) {
             const Dictionary &doc = t.doc();
             char *want = nullptr;
             uint64_t want_length = 0;
             ASSERT_EQ(orvex_write(doc.GetOrvex(), ORVEX_FORMAT_XML, ORVEX_WRITE_SORTED, &want, &want_length),
                       ORVEX_ERR_SUCCESS);
             std::string xml;
             if (t.run([&] {
                     xml = Write(doc, ORVEX_FORMAT_XML, ORVEX_WRITE_SORTED);
                     return !xml.empty();
                 })) {
                 EXPECT_EQ(xml, std::string(want, want_length));
             }
             free(want);
         }});
}

std::vector<Case> all_cases() {
    std::vector<Case> cases;
    add_document_cases(cases);
    add_container_cases(cases);
    add_convenience_cases(cases);
    add_value_cases<Boolean>(cases, "Boolean", "flag", false);
    add_value_cases<Integer>(cases, "Integer", "count", int64_t(-7));
    add_value_cases<Real>(cases, "Real", "ratio", 0.5);
    add_value_cases<Date>(cases, "Date", "when", int64_t(-86400));
    add_value_cases<Uid>(cases, "Uid", "ref", uint64_t(99));
    add_value_cases<Data>(cases, "Data", "blob", std::vector<char>(OTHER_TEXT.begin(), OTHER_TEXT.end()));
    add_value_cases<Key>(cases, "Key", "list/1", OTHER_TEXT);
    // The String source holds a NUL byte, which assignment keeps.
    add_value_cases<String>(cases, "String", "title", OTHER_TEXT,
                            [] { return new String(nul_string(), nullptr); });
    cases.push_back({"StringAssignTextToRoot", [](Trial &t) {
                         String target(LONG_TEXT);
                         if (t.run([&] {
                                 target = OTHER_TEXT;
                                 return true;
                             }))
                             EXPECT_EQ(target.GetValue(), OTHER_TEXT);
                         else
                             EXPECT_EQ(target.GetValue(), LONG_TEXT);
                     }});
    cases.push_back({"StringAssignTextToHeld", [](Trial &t) {
                         String &target = t.held<String>("title");
                         if (t.run([&] {
                                 target = OTHER_TEXT.c_str();
                                 return true;
                             })) {
                             EXPECT_EQ(target.GetValue(), OTHER_TEXT);
                         }
                     }});
    add_store_cases(cases);
    add_key_path_cases(cases);
    add_any_format_cases(cases);
    return cases;
}

class Sweep : public ::testing::TestWithParam<Case> {};

TEST_P(Sweep, EveryAllocationFailingInTurn) {
    const Case &c = GetParam();
    // Once with nothing failing: the case itself holds, and anything a
    // library sets up on first use is in place before blocks are counted.
    {
        Trial warm(0);
        c.body(warm);
        ASSERT_TRUE(warm.ran());
        warm.check_doc();
    }
    ASSERT_FALSE(HasFailure()) << "fails with no allocation failing";
    for (long n = 1;; ++n) {
        const long live = fail_alloc::live_blocks();
        bool hit = false;
        {
            Trial t(n);
            c.body(t);
            t.check_doc();
            hit = t.hit();
        }
        // Failure reports hold memory of their own: count only clean runs.
        ASSERT_FALSE(HasFailure()) << "with allocation " << n << " failing";
        ASSERT_EQ(fail_alloc::live_blocks() - live, 0) << "blocks leaked with allocation " << n << " failing";
        if (!hit)
            break;
        ASSERT_LT(n, 100000) << "never completes";
    }
}

INSTANTIATE_TEST_SUITE_P(Oom, Sweep, ::testing::ValuesIn(all_cases()),
                         [](const ::testing::TestParamInfo<Case> &info) { return info.param.name; });

// The harness itself: both layers reach it.
TEST(FailAlloc, ReachesTheStoreAndTheObjectModel) {
    const long live = fail_alloc::live_blocks();
    fail_alloc::arm(1);
    orvex_t none = orvex_new_array();
    EXPECT_TRUE(fail_alloc::disarm());
    EXPECT_EQ(none, nullptr);
    fail_alloc::arm(1);
    EXPECT_THROW(delete new Array(), std::bad_alloc);
    EXPECT_TRUE(fail_alloc::disarm());
    fail_alloc::arm(1000);
    delete new Array();
    EXPECT_FALSE(fail_alloc::disarm());
    // Every reader names the cause, UTF-16 input too.
    for (const char *doc : {"<array><true/></array>",
                            "bplist00\xA0\x08\0\0\0\0\0\0\1\1"
                            "\0\0\0\0\0\0\0\1\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x09",
                            "{a = (b);}", "\xFF\xFE(\0)\0"}) {
        size_t len = doc[0] == 'b' ? 42 : doc[0] == '\xFF' ? 6 : std::strlen(doc);
        orvex_parse_result why{};
        orvex_t root = nullptr;
        fail_alloc::arm(1);
        EXPECT_EQ(orvex_parse(doc, len, ORVEX_FORMAT_NONE, &root, nullptr, &why), ORVEX_ERR_NO_MEM) << doc;
        EXPECT_TRUE(fail_alloc::disarm());
        EXPECT_EQ(why.cause, ORVEX_REASON_NO_MEMORY);
        EXPECT_EQ(root, nullptr);
    }
    EXPECT_EQ(fail_alloc::live_blocks(), live);
}

} // namespace
