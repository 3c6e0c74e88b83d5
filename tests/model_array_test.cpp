// Array: copies on insert, positions, removal, copies and assignment, and the
// mirror staying in step with the store array.
#include <gtest/gtest.h>

#include <stdexcept>

#include "mirror_check.hpp"
#include "orvex/orvex++.h"

using namespace Orvex;
using orvex_test::mirror_mismatch;

namespace {

int64_t IntAt(Array &a, unsigned int n) { return static_cast<Integer *>(a[n])->GetValue(); }

Array Numbers(std::initializer_list<int64_t> values) {
    Array a;
    for (int64_t v : values)
        a.Append(Integer(v));
    return a;
}

} // namespace

TEST(ArrayModel, AppendTakesACopy) {
    Array a;
    EXPECT_EQ(a.GetType(), ORVEX_ARRAY);
    EXPECT_EQ(a.size(), 0u);
    EXPECT_TRUE(a.Begin() == a.End());
    EXPECT_EQ(a.Front(), nullptr);
    EXPECT_EQ(a.back(), nullptr);

    a.Append(static_cast<const Node *>(nullptr));
    a.Insert(static_cast<const Node *>(nullptr), 0);
    EXPECT_EQ(a.GetSize(), 0u);

    String v("kept");
    a.Append(v);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_NE(a.Back(), &v);
    EXPECT_EQ(a.Back()->GetParent(), &a);
    EXPECT_EQ(v.GetParent(), nullptr);
    EXPECT_EQ(orvex_get_parent(v.GetOrvex()), nullptr);
    static_cast<String *>(a.front())->SetValue("changed");
    EXPECT_EQ(v.GetValue(), "kept");
    EXPECT_EQ(mirror_mismatch(a), "");
}

TEST(ArrayModel, SelfAppendAddsTheEarlierContent) {
    Array a = Numbers({1, 2});
    a.Append(a);
    ASSERT_EQ(a.size(), 3u);
    Array *inner = dynamic_cast<Array *>(a[2]);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->size(), 2u);
    EXPECT_EQ(mirror_mismatch(a), "");
    EXPECT_EQ(mirror_mismatch(*inner), "");
}

TEST(ArrayModel, InsertPositions) {
    Array a = Numbers({1, 2});
    Node *first = a[0];
    a.Insert(Integer(int64_t(0)), 0);
    a.Insert(Integer(int64_t(3)), 3);
    EXPECT_EQ(a[1], first);
    for (unsigned int n = 0; n < 4; ++n)
        EXPECT_EQ(IntAt(a, n), n);
    EXPECT_EQ(mirror_mismatch(a), "");

    EXPECT_THROW(a.Insert(Integer(int64_t(9)), 5), std::out_of_range);
    EXPECT_THROW(a[4], std::out_of_range);
    EXPECT_THROW(a.Remove(4u), std::out_of_range);
    EXPECT_EQ(a.size(), 4u);
    EXPECT_EQ(mirror_mismatch(a), "");
}

TEST(ArrayModel, RemoveNestedContainersAndNonChildren) {
    Array a = Numbers({1});
    Dictionary d;
    d.Set("inner", Numbers({2, 3}));
    Array nested;
    nested.Append(d);
    a.Append(nested);
    a.Append(Integer(int64_t(4)));

    // Non-children change nothing: a root, a dictionary's child, and another
    // array's child standing at a position this array also has.
    Array other = Numbers({7, 8});
    a.Remove(&nested);
    a.Remove(d.Find("inner")->second);
    a.Remove(other[1]);
    EXPECT_EQ(a.size(), 3u);
    EXPECT_EQ(IntAt(other, 1), 8);
    EXPECT_EQ(nested.size(), 1u);

    a.Remove(1u); // the nested array with its dictionary and array
    EXPECT_EQ(a.size(), 2u);
    a.Remove(a[0]);
    EXPECT_EQ(IntAt(a, 0), 4);
    a.Remove(static_cast<Node *>(nullptr));
    EXPECT_EQ(mirror_mismatch(a), "");
}

TEST(ArrayModel, GetNodeIndexIsByIdentity) {
    Array a = Numbers({5, 6});
    EXPECT_EQ(a.GetNodeIndex(a[1]), 1u);
    EXPECT_EQ(a.GetNodeIndex(*a[0]), 0u);
    Integer same(int64_t(6));
    EXPECT_EQ(a.GetNodeIndex(same), 2u);
    EXPECT_EQ(Array().GetNodeIndex(same), 0u);
}

TEST(ArrayModel, CopiesAreIndependentRoots) {
    Array outer;
    outer.Append(Numbers({1, 2}));
    Array *child = static_cast<Array *>(outer[0]);
    Array copy(*child);
    Node *clone = child->Clone();
    EXPECT_EQ(copy.GetParent(), nullptr);
    EXPECT_EQ(clone->GetParent(), nullptr);
    EXPECT_TRUE(orvex_equal(copy.GetOrvex(), child->GetOrvex()));
    EXPECT_NE(copy[0], (*child)[0]);
    EXPECT_EQ(copy[0]->GetParent(), &copy);
    static_cast<Integer *>(copy[0])->SetValue(int64_t(9));
    delete clone;
    EXPECT_EQ(IntAt(*child, 0), 1);
    EXPECT_EQ(mirror_mismatch(copy), "");
    EXPECT_EQ(mirror_mismatch(outer), "");
}

TEST(ArrayModel, Assignment) {
    Array a = Numbers({1, 2});
    Node *kept = a[0];
    Array &same = a;
    a = same;
    EXPECT_EQ(a[0], kept);

    Array src = Numbers({3});
    a = src;
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0]->GetParent(), &a);
    EXPECT_NE(a.GetOrvex(), src.GetOrvex());
    EXPECT_EQ(IntAt(a, 0), 3);

    // From inside the target's own subtree.
    a.Append(Numbers({4, 5}));
    a = *static_cast<Array *>(a[1]);
    EXPECT_EQ(IntAt(a, 0), 4);
    EXPECT_EQ(a.size(), 2u);
    EXPECT_EQ(mirror_mismatch(a), "");
}

TEST(ArrayModel, AssigningToAHeldArrayKeepsItsPlace) {
    Dictionary d;
    d.Set("first", Integer(int64_t(1)));
    d.Set("list", Numbers({1, 2, 3}));
    d.Set("last", Integer(int64_t(2)));
    Array *held = static_cast<Array *>(d.Find("list")->second);
    const orvex_t handle = held->GetOrvex();

    *held = Numbers({7});
    EXPECT_EQ(held->GetOrvex(), handle);
    EXPECT_EQ(orvex_dict_get_item(d.GetOrvex(), "list"), handle);
    EXPECT_EQ(IntAt(*held, 0), 7);
    EXPECT_EQ(mirror_mismatch(*held), "");

    // The source is the held array's own child.
    held->Append(Numbers({8, 9}));
    *held = *static_cast<Array *>((*held)[1]);
    EXPECT_EQ(held->size(), 2u);
    EXPECT_EQ(IntAt(*held, 1), 9);
    EXPECT_EQ(d.GetSize(), 3u);

    // The store keeps the entry where it was.
    Array expect;
    expect.Append(Integer(int64_t(1)));
    expect.Append(Numbers({8, 9}));
    expect.Append(Integer(int64_t(2)));
    orvex_t values = orvex_new_array();
    for (const char *key : {"first", "list", "last"})
        orvex_array_append_item(values, orvex_copy(orvex_dict_get_item(d.GetOrvex(), key)));
    EXPECT_TRUE(orvex_equal(values, expect.GetOrvex()));
    orvex_free(values);
}

TEST(ArrayModel, NullItemsKeepTheirPositions) {
    orvex_t store = orvex_new_array();
    orvex_array_append_item(store, orvex_new_uint(1));
    orvex_array_append_item(store, orvex_new_null());
    orvex_array_append_item(store, orvex_new_uint(3));
    Node *wrapped = Node::FromOrvex(store, nullptr);
    Array *a = dynamic_cast<Array *>(wrapped);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->size(), 3u);
    EXPECT_EQ((*a)[1], nullptr);
    EXPECT_EQ(IntAt(*a, 2), 3);
    EXPECT_EQ(mirror_mismatch(*a), "");
    a->Remove(1u);
    EXPECT_EQ(mirror_mismatch(*a), "");
    delete wrapped;
}
