// Node base: store node creation by type, the ownership rule, the factory on
// value types.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "orvex/orvex++.h"

using namespace Orvex;

namespace {

// Without ORVEX_NO_IMPLICIT_CONVERSIONS the one-argument constructors convert
// (model_explicit_test.cpp checks the opposite).
static_assert(std::is_convertible<Node *, String>::value, "parent-only constructors convert");
static_assert(std::is_convertible<Node *, Dictionary>::value, "parent-only constructors convert");
static_assert(std::is_convertible<const char *, String>::value, "value constructors convert");
static_assert(std::is_convertible<int64_t, Integer>::value, "value constructors convert");

// Reaches the protected constructors of Node.
struct Probe : Node {
    Probe(orvex_type type, Node *parent) : Node(type, parent) {}
    Probe(orvex_t node, Node *parent) : Node(node, parent) {}
    Node *Clone() const override { return nullptr; }
};

} // namespace

TEST(NodeBase, ByTypeCreatesZeroValuedRootNodes) {
    for (int t = ORVEX_BOOLEAN; t <= ORVEX_UID; ++t) {
        Probe p(static_cast<orvex_type>(t), nullptr);
        ASSERT_NE(p.GetOrvex(), nullptr) << t;
        EXPECT_EQ(p.GetType(), t);
        EXPECT_EQ(p.GetParent(), nullptr);
        EXPECT_EQ(orvex_get_parent(p.GetOrvex()), nullptr);
    }
    Probe key(ORVEX_KEY, nullptr);
    char *text = nullptr;
    orvex_get_key_val(key.GetOrvex(), &text);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
    free(text);

    Probe integer(ORVEX_INT, nullptr);
    EXPECT_EQ(orvex_int_val_is_negative(integer.GetOrvex()), 0);
}

TEST(NodeBase, TypesWithoutAStoreNodeCreateNone) {
    for (int t : {int(ORVEX_NONE), int(ORVEX_NULL), 11, 15, -2, -16}) {
        Probe p(static_cast<orvex_type>(t), nullptr);
        EXPECT_EQ(p.GetOrvex(), nullptr);
        EXPECT_EQ(p.GetType(), ORVEX_NONE);
    } // destroying them as roots must be harmless
}

TEST(NodeBase, ChildWrapperFreesOnlyTheStoreNodeNoContainerHolds) {
    Probe parent(ORVEX_ARRAY, nullptr);
    {
        // No container holds the new store node: the wrapper is a root and
        // frees it (the leak checkers of the sanitizer and valgrind runs see
        // it otherwise).
        Probe p(ORVEX_REAL, &parent);
        EXPECT_EQ(p.GetParent(), nullptr);
        EXPECT_EQ(orvex_array_get_size(parent.GetOrvex()), 0u);
    }
    {
        // An entry's Node* converts through the parent-only constructor: a
        // new empty value, the entry untouched, nothing leaked.
        Dictionary dict;
        dict.Set("Name", String("orvex"));
        String s = dict["Name"];
        Integer i = dict["Name"];
        EXPECT_EQ(s.GetValue(), "");
        EXPECT_EQ(i.GetValue(), 0);
        EXPECT_EQ(static_cast<String *>(dict["Name"])->GetValue(), "orvex");
        EXPECT_EQ(orvex_dict_get_size(dict.GetOrvex()), 1u);
    }

    orvex_t item = orvex_new_uint(7);
    orvex_array_append_item(parent.GetOrvex(), item);
    delete new Probe(item, &parent);
    uint64_t v = 0;
    orvex_get_uint_val(orvex_array_get_item(parent.GetOrvex(), 0), &v);
    EXPECT_EQ(v, 7u);
}

TEST(NodeBase, AdoptedRootFreesItsSubtreeOnce) {
    orvex_t arr = orvex_new_array();
    orvex_array_append_item(arr, orvex_new_string("x"));
    Node *p = new Probe(arr, nullptr);
    EXPECT_EQ(p->GetOrvex(), arr);
    delete p; // the leak checker proves the subtree went
}

TEST(NodeFactory, WrapsEachValueTypeInItsClass) {
    EXPECT_EQ(Node::FromOrvex(nullptr, nullptr), nullptr);

    orvex_t key = orvex_new_string("k");
    orvex_set_key_val(key, "k");
    const orvex_t nodes[] = {orvex_new_bool(1),
                             orvex_new_int(-1),
                             orvex_new_real(1.5),
                             orvex_new_string("s"),
                             orvex_new_unix_date(-1),
                             orvex_new_data("\0", 1),
                             key,
                             orvex_new_uid(3)};
    Probe parent(ORVEX_ARRAY, nullptr);
    for (orvex_t n : nodes) {
        orvex_array_append_item(parent.GetOrvex(), n);
        Node *w = Node::FromOrvex(n, &parent);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->GetOrvex(), n);
        EXPECT_EQ(w->GetParent(), &parent);
        EXPECT_EQ(w->GetType(), orvex_get_node_type(n));
        bool right_class = false;
        switch (w->GetType()) {
        case ORVEX_BOOLEAN:
            right_class = dynamic_cast<Boolean *>(w);
            break;
        case ORVEX_INT:
            right_class = dynamic_cast<Integer *>(w);
            break;
        case ORVEX_REAL:
            right_class = dynamic_cast<Real *>(w);
            break;
        case ORVEX_STRING:
            right_class = dynamic_cast<String *>(w);
            break;
        case ORVEX_DATE:
            right_class = dynamic_cast<Date *>(w);
            break;
        case ORVEX_DATA:
            right_class = dynamic_cast<Data *>(w);
            break;
        case ORVEX_KEY:
            right_class = dynamic_cast<Key *>(w);
            break;
        case ORVEX_UID:
            right_class = dynamic_cast<Uid *>(w);
            break;
        default:
            break;
        }
        EXPECT_TRUE(right_class) << w->GetType();
        delete w;
    }
    EXPECT_EQ(orvex_array_get_size(parent.GetOrvex()), 8u);
}

TEST(NodeFactory, NullTypeRootIsFreedChildIsLeftToItsContainer) {
    EXPECT_EQ(Node::FromOrvex(orvex_new_null(), nullptr), nullptr); // else a leak

    Probe parent(ORVEX_ARRAY, nullptr);
    orvex_array_append_item(parent.GetOrvex(), orvex_new_null());
    orvex_t child = orvex_array_get_item(parent.GetOrvex(), 0);
    EXPECT_EQ(Node::FromOrvex(child, &parent), nullptr);
    EXPECT_EQ(orvex_array_get_size(parent.GetOrvex()), 1u);
    EXPECT_EQ(orvex_get_node_type(orvex_array_get_item(parent.GetOrvex(), 0)), ORVEX_NULL);
}

TEST(NodeCopies, EveryCopyPathKeepsTheExactValue) {
    // Values only a document gives: text with NUL bytes, a fraction of a second.
    orvex_t nul_text = orvex_new_string("");
    orvex_set_string_val_len(nul_text, "ab\0cd", 5);
    const String text(nul_text, nullptr);
    const Date fraction(orvex_new_date(0.75), nullptr);
    const Date exact_far(orvex_new_unix_date(INT64_MAX - 1), nullptr);
    EXPECT_EQ(text.GetValue(), std::string("ab\0cd", 5));

    struct Path {
        const char *name;
        orvex_t (*copy)(const Node &source, Array &array, Dictionary &dict, std::unique_ptr<Node> &kept);
    };
    const Path paths[] = {
        {"copy constructor",
         [](const Node &s, Array &, Dictionary &, std::unique_ptr<Node> &kept) {
             if (auto *t = dynamic_cast<const String *>(&s))
                 kept.reset(new String(*t));
             else
                 kept.reset(new Date(static_cast<const Date &>(s)));
             return kept->GetOrvex();
         }},
        {"Clone",
         [](const Node &s, Array &, Dictionary &, std::unique_ptr<Node> &kept) {
             kept.reset(s.Clone());
             return kept->GetOrvex();
         }},
        {"Append",
         [](const Node &s, Array &a, Dictionary &, std::unique_ptr<Node> &) {
             a.Append(s);
             return a.Back()->GetOrvex();
         }},
        {"Insert",
         [](const Node &s, Array &a, Dictionary &, std::unique_ptr<Node> &) {
             a.Insert(s, 0u);
             return a.Front()->GetOrvex();
         }},
        {"Set", [](const Node &s, Array &, Dictionary &d,
                   std::unique_ptr<Node> &) { return d.Set("k", s)->second->GetOrvex(); }},
    };
    for (const Node *source : {static_cast<const Node *>(&text), static_cast<const Node *>(&fraction),
                               static_cast<const Node *>(&exact_far)}) {
        for (const Path &p : paths) {
            Array array;
            Dictionary dict;
            std::unique_ptr<Node> kept;
            orvex_t copy = p.copy(*source, array, dict, kept);
            EXPECT_TRUE(orvex_equal(copy, source->GetOrvex())) << p.name << " of type " << source->GetType();
            int64_t whole = 0;
            orvex_get_unix_date_val(copy, &whole);
            EXPECT_EQ(whole,
                      source->GetType() == ORVEX_DATE ? static_cast<const Date *>(source)->GetValue() : 0)
                << p.name;
            EXPECT_NE(copy, source->GetOrvex()) << p.name;
        }
    }
}

namespace {

// A subclass larger and more aligned than the library's classes: its size
// reaches sized delete, its alignment must hold.
struct Wide : String {
    using String::String;
    long double extra[3] = {1.0L, 2.0L, 3.0L};
};

} // namespace

TEST(NodeAllocation, EveryWayToMakeAndEndAWrapper) {
    delete new Integer(int64_t(7));
    Node *nothrow = new (std::nothrow) String("x");
    ASSERT_NE(nothrow, nullptr);
    EXPECT_EQ(static_cast<String *>(nothrow)->GetValue(), "x");
    delete nothrow;

    alignas(Real) unsigned char storage[sizeof(Real)];
    Real *placed = new (storage) Real(2.5);
    EXPECT_EQ(placed->GetValue(), 2.5);
    placed->~Real();

    Node *wide = new Wide("w");
    EXPECT_EQ(reinterpret_cast<uintptr_t>(wide) % alignof(Wide), 0u);
    EXPECT_EQ(static_cast<Wide *>(wide)->extra[2], 3.0L);
    delete wide;
}

// Wrappers read from the store share blocks with their siblings: removing
// them one by one in any order, cloning out of the tree and dropping the tree
// first must leave every other wrapper whole (ASan sees a wrapper used after
// its block went).
TEST(NodeAllocation, WrappersOfAReadTreeOutliveTheirSiblingsInAnyOrder) {
    std::string xml = "<plist version=\"1.0\"><dict>";
    for (int i = 0; i < 300; ++i)
        xml += "<key>k" + std::to_string(i) + "</key><array><integer>" + std::to_string(i) +
               "</integer><string>s</string><dict/></array>";
    xml += "</dict></plist>";
    for (int order = 0; order < 3; ++order) {
        std::unique_ptr<Structure> root(
            Structure::FromMemory(std::vector<char>(xml.begin(), xml.end()), nullptr));
        ASSERT_NE(root, nullptr);
        Dictionary &d = static_cast<Dictionary &>(*root);
        for (int i = 0; i < 300; ++i)
            if (order == 0 ? i % 2 == 0 : order == 1 ? i >= 150 : i % 7 != 3)
                d.Remove("k" + std::to_string(i));
        std::unique_ptr<Node> kept(d.Get("k3")->Clone());
        static_cast<Array *>(d.Get("k3"))->Remove(0u);
        root.reset();
        const Array &a = static_cast<const Array &>(*kept);
        ASSERT_EQ(a.size(), 3u);
        EXPECT_EQ(static_cast<const Integer *>(a[0u])->GetValue(), 3);
        EXPECT_EQ(static_cast<const String *>(a[1u])->GetValue(), "s");
    }
}
