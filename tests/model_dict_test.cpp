// Dictionary: key order, mirror-only entries, Set and Remove, copies and
// assignment, and the mirror staying in step with the store dictionary.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "mirror_check.hpp"
#include "orvex/orvex++.h"

using namespace Orvex;
using orvex_test::mirror_mismatch;
using orvex_test::MirrorOnly;

namespace {

std::vector<std::string> Keys(const Dictionary &d) {
    std::vector<std::string> keys;
    for (const auto &entry : d)
        keys.push_back(entry.first);
    return keys;
}

int64_t IntAt(Dictionary &d, const std::string &key) {
    return static_cast<Integer *>(d.Find(key)->second)->GetValue();
}

} // namespace

TEST(DictionaryModel, KeysIterateInByteOrder) {
    Dictionary d;
    EXPECT_TRUE(d.Begin() == d.End());
    for (const char *key : {"b", "\x80", "ab", "Z", "a", ""})
        d.Set(key, Boolean(true));
    EXPECT_EQ(Keys(d), (std::vector<std::string>{"", "Z", "a", "ab", "b", "\x80"}));
    EXPECT_EQ(d.size(), d.GetSize());
    EXPECT_EQ(mirror_mismatch(d, MirrorOnly::Allowed), "");
}

TEST(DictionaryModel, BracketAddsAMirrorOnlyNullEntry) {
    Dictionary d;
    d.Set("x", Integer(int64_t(1)));
    EXPECT_EQ(d["missing"], nullptr);
    EXPECT_EQ(d.size(), 2u);
    EXPECT_EQ(d.GetSize(), 1u);
    ASSERT_NE(d.Find("missing"), d.End());
    EXPECT_EQ(d.Find("missing")->second, nullptr);

    // Copies are made from the store, so they lack that entry.
    Dictionary copy(d);
    EXPECT_EQ(copy.size(), 1u);
    Dictionary held;
    held.Set("d", d);
    EXPECT_EQ(static_cast<Dictionary *>(held["d"])->size(), 1u);

    d.Remove("missing");
    EXPECT_EQ(d.size(), 1u);
    EXPECT_EQ(d.GetSize(), 1u);
    d["later"];
    d.Set("later", Real(2.0));
    EXPECT_EQ(d.size(), d.GetSize());
    d.Remove("absent");
    EXPECT_EQ(d.size(), 2u);
    EXPECT_EQ(d.GetNodeKey(nullptr), "");
    EXPECT_EQ(mirror_mismatch(d, MirrorOnly::Allowed), "");
}

TEST(DictionaryModel, SetReplacesAndReturnsTheCopy) {
    Dictionary d;
    EXPECT_EQ(d.Set("k", static_cast<const Node *>(nullptr)), d.End());
    Integer one(int64_t(1));
    d.Set("k", one);
    Integer two(int64_t(2));
    auto it = d.Set("k", &two);
    EXPECT_EQ(d.size(), 1u);
    EXPECT_EQ(it->first, "k");
    EXPECT_NE(it->second, &two);
    EXPECT_EQ(it->second->GetParent(), &d);
    EXPECT_EQ(two.GetParent(), nullptr);
    EXPECT_EQ(IntAt(d, "k"), 2);

    // Setting an entry to its own wrapper files a fresh copy.
    d.Set("k", *d.Find("k")->second);
    EXPECT_EQ(IntAt(d, "k"), 2);
    EXPECT_EQ(mirror_mismatch(d, MirrorOnly::Allowed), "");

    Dictionary src;
    src.Set("n", Integer(int64_t(5)));
    d.Set("sub", src);
    Dictionary *sub = static_cast<Dictionary *>(d["sub"]);
    EXPECT_EQ(sub->GetParent(), &d);
    EXPECT_EQ(sub->Find("n")->second->GetParent(), sub);
    src.Set("n", Integer(int64_t(6)));
    EXPECT_EQ(IntAt(*sub, "n"), 5);

    // Self-set: a copy of the earlier content.
    d.Set("self", d);
    EXPECT_EQ(static_cast<Dictionary *>(d["self"])->size(), 2u);
    EXPECT_EQ(mirror_mismatch(d, MirrorOnly::Allowed), "");
}

TEST(DictionaryModel, RemoveByNodeRefusesNonChildren) {
    Dictionary d, other;
    d.Set("a", Integer(int64_t(1)));
    d.Set("b", Integer(int64_t(2)));
    other.Set("a", Integer(int64_t(3)));
    Array arr;
    arr.Append(Integer(int64_t(4)));
    Integer root(int64_t(1));

    EXPECT_THROW(d.Remove(&root), std::logic_error);
    EXPECT_THROW(d.Remove(arr[0]), std::logic_error);
    EXPECT_THROW(d.Remove(other.Find("a")->second), std::logic_error);
    EXPECT_EQ(d.size(), 2u);
    EXPECT_EQ(d.GetSize(), 2u);
    EXPECT_EQ(IntAt(other, "a"), 3);
    EXPECT_EQ(d.GetNodeKey(&root), "");

    Node *b = d.Find("b")->second;
    EXPECT_EQ(d.GetNodeKey(b), "b");
    d.Remove(b);
    EXPECT_EQ(Keys(d), std::vector<std::string>{"a"});
    EXPECT_EQ(d.GetSize(), 1u);
    d.Remove(static_cast<Node *>(nullptr));
    EXPECT_EQ(mirror_mismatch(d, MirrorOnly::Allowed), "");
}

TEST(DictionaryModel, KeysEndAtTheFirstNul) {
    Dictionary d;
    const std::string cut("a\0b", 3);
    d.Set(cut, Integer(int64_t(1)));
    EXPECT_EQ(Keys(d), std::vector<std::string>{"a"});
    EXPECT_NE(d.Find(cut), d.End());
    EXPECT_EQ(d[std::string("a\0c", 3)], d.Find("a")->second);
    EXPECT_NE(orvex_dict_get_item(d.GetOrvex(), "a"), nullptr);
    d.Remove(std::string("a\0z", 3));
    EXPECT_EQ(d.size(), 0u);
    EXPECT_EQ(d.GetSize(), 0u);
}

TEST(DictionaryModel, Assignment) {
    Dictionary d;
    d.Set("x", Integer(int64_t(1)));
    Node *kept = d["x"];
    Dictionary &same = d;
    d = same;
    EXPECT_EQ(d["x"], kept);

    Dictionary src;
    src.Set("y", Integer(int64_t(2)));
    d = src;
    EXPECT_EQ(Keys(d), std::vector<std::string>{"y"});
    EXPECT_EQ(d["y"]->GetParent(), &d);
    static_cast<Integer *>(d["y"])->SetValue(int64_t(3));
    EXPECT_EQ(IntAt(src, "y"), 2);

    // From inside the target's own subtree.
    d.Set("inner", src);
    d = *static_cast<Dictionary *>(d["inner"]);
    EXPECT_EQ(Keys(d), std::vector<std::string>{"y"});
    EXPECT_EQ(IntAt(d, "y"), 2);
    EXPECT_EQ(mirror_mismatch(d, MirrorOnly::Allowed), "");
}

TEST(DictionaryModel, AssigningToAHeldDictionaryKeepsItsPlace) {
    Array a;
    a.Append(Integer(int64_t(0)));
    Dictionary init;
    init.Set("old", Integer(int64_t(1)));
    a.Append(init);
    Dictionary *held = static_cast<Dictionary *>(a[1]);
    const orvex_t handle = held->GetOrvex();

    Dictionary src;
    src.Set("new2", Integer(int64_t(2)));
    src.Set("new1", Integer(int64_t(1)));
    *held = src;
    EXPECT_EQ(held->GetOrvex(), handle);
    EXPECT_EQ(orvex_array_get_item(a.GetOrvex(), 1), handle);
    EXPECT_EQ(Keys(*held), (std::vector<std::string>{"new1", "new2"}));
    EXPECT_TRUE(orvex_equal(handle, src.GetOrvex())); // store order kept too
    EXPECT_EQ(mirror_mismatch(*held, MirrorOnly::Allowed), "");

    held->Set("deeper", src);
    *held = *static_cast<Dictionary *>((*held)["deeper"]);
    EXPECT_TRUE(orvex_equal(handle, src.GetOrvex()));
    EXPECT_EQ(a.size(), a.GetSize());
}

TEST(DictionaryModel, NullValuedEntriesAreCountedAndSkipped) {
    orvex_t store = orvex_new_dict();
    orvex_dict_set_item(store, "n", orvex_new_null());
    orvex_dict_set_item(store, "i", orvex_new_uint(1));
    Node *wrapped = Node::FromOrvex(store, nullptr);
    Dictionary *d = dynamic_cast<Dictionary *>(wrapped);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->size(), 2u);
    EXPECT_EQ(d->Find("n")->second, nullptr);
    EXPECT_EQ(mirror_mismatch(*d, MirrorOnly::Allowed), "");
    d->Set("n", Integer(int64_t(2)));
    EXPECT_EQ(mirror_mismatch(*d, MirrorOnly::Allowed), "");
    delete wrapped;
}

// The shared mirror check sees a store changed behind the model's back, and
// says where.
TEST(DictionaryModel, MirrorCheckFindsAStoreChangedBehindTheModel) {
    const struct {
        const char *where;
        void (*change)(Dictionary &d);
        MirrorOnly mirror_only;
    } cases[] = {
        {"the root", [](Dictionary &d) { orvex_dict_set_item(d.GetOrvex(), "extra", orvex_new_bool(1)); },
         MirrorOnly::Allowed},
        {"/list",
         [](Dictionary &d) { orvex_array_append_item(d.Find("list")->second->GetOrvex(), orvex_new_null()); },
         MirrorOnly::Allowed},
        {"/list/0",
         [](Dictionary &d) {
             orvex_t inner = orvex_array_get_item(d.Find("list")->second->GetOrvex(), 0);
             orvex_dict_set_item(inner, "extra", orvex_new_null());
         },
         MirrorOnly::Allowed},
        {"/missing", [](Dictionary &d) { d["missing"]; }, MirrorOnly::Refused},
    };
    for (const auto &c : cases) {
        Dictionary d;
        Array list;
        list.Append(Dictionary());
        d.Set("list", list);
        ASSERT_EQ(mirror_mismatch(d), "");
        c.change(d);
        EXPECT_EQ(mirror_mismatch(d, c.mirror_only).rfind(std::string(c.where) + ": ", 0), 0u)
            << c.where << ": " << mirror_mismatch(d, c.mirror_only);
    }
}

// At: the store finds the node by its key path, the mirrors give its wrapper.
TEST(DictionaryModel, AtFindsWrappersByKeyPath) {
    std::unique_ptr<Structure> d(
        Structure::FromJson(R"({"It.ems": [null, {"Name": "x", "": 1}], "n": null, "": [true]})"));
    ASSERT_NE(d, nullptr);
    Array *list = static_cast<Array *>(static_cast<Dictionary &>(*d).Find("It.ems")->second);
    Dictionary *inner = static_cast<Dictionary *>((*list)[1]);
    Node *name = inner->Find("Name")->second;
    const std::pair<std::string, Node *> rows[] = {
        {"It\\.ems", list},
        {"It\\.ems.01.Name", name},
        {"It\\.ems.1.", inner->Find("")->second},
        {".0", (*static_cast<Array *>(static_cast<Dictionary &>(*d).Find("")->second))[0]},
        // A null value has no wrapper; then absent, malformed, cut short by a NUL.
        {"It\\.ems.0", nullptr},
        {"n", nullptr},
        {"It.ems", nullptr},
        {"It\\.ems.2", nullptr},
        {"It\\ems", nullptr},
        {std::string("It\\.ems\0", 8), nullptr}};
    for (const auto &row : rows) {
        EXPECT_EQ(d->At(row.first), row.second) << row.first;
        EXPECT_EQ(static_cast<const Structure &>(*d).At(row.first), row.second) << row.first;
    }
    EXPECT_EQ(list->At("1.Name"), name); // below a nested container, from it
    // A mirror-only entry is no value; a replaced one gives its new wrapper.
    static_cast<Dictionary &>(*d)["ghost"];
    EXPECT_EQ(d->At("ghost"), nullptr);
    Node *replaced = inner->Set("Name", Integer(int64_t(5)))->second;
    EXPECT_EQ(d->At("It\\.ems.1.Name"), replaced);
}
