// The object model at any depth the store holds: wrapping, copying, cloning,
// assigning and destroying a million-deep chain must not use the call stack.
#include <gtest/gtest.h>

#include <memory>

#include "orvex/orvex++.h"

using namespace Orvex;

namespace {

constexpr uint32_t DEPTH = 1000000;

// A chain of `depth` containers of `type`, each holding the next, the last
// holding the integer 7. Built top-down through the store: linear time.
orvex_t StoreChain(orvex_type type, uint32_t depth) {
    orvex_t root = type == ORVEX_ARRAY ? orvex_new_array() : orvex_new_dict();
    orvex_t cur = root;
    for (uint32_t i = 1; i <= depth; ++i) {
        orvex_t next =
            i == depth ? orvex_new_int(7) : (type == ORVEX_ARRAY ? orvex_new_array() : orvex_new_dict());
        if (type == ORVEX_ARRAY)
            orvex_array_append_item(cur, next);
        else
            orvex_dict_set_item(cur, "k", next);
        cur = next;
    }
    return root;
}

Node *OnlyChild(Node *n) {
    if (auto *a = dynamic_cast<Array *>(n))
        return a->size() == 1 ? (*a)[0] : nullptr;
    auto *d = static_cast<Dictionary *>(n);
    return d->size() == 1 ? d->begin()->second : nullptr;
}

// Counts the containers above the leaf, checking every level's mirror against
// the store on the way down.
uint32_t CheckedDepth(Node *top) {
    uint32_t depth = 0;
    for (Node *n = top;;) {
        const orvex_type type = n->GetType();
        if (type != ORVEX_ARRAY && type != ORVEX_DICT) {
            EXPECT_EQ(static_cast<Integer *>(n)->GetValue(), 7);
            return depth;
        }
        Node *child = OnlyChild(n);
        if (!child || child->GetParent() != n || orvex_get_parent(child->GetOrvex()) != n->GetOrvex()) {
            ADD_FAILURE() << "mirror out of step at depth " << depth;
            return depth;
        }
        n = child;
        ++depth;
    }
}

template <class C> void RunChain(orvex_type type) {
    // Wrapping through the factory and the adopting constructor.
    std::unique_ptr<Node> wrapped(Node::FromOrvex(StoreChain(type, DEPTH), nullptr));
    ASSERT_EQ(CheckedDepth(wrapped.get()), DEPTH);
    C adopted(StoreChain(type, DEPTH), nullptr);
    EXPECT_EQ(CheckedDepth(&adopted), DEPTH);

    // Copies: copy constructor, Clone, root assignment.
    const C &source = static_cast<C &>(*wrapped);
    C copied(source);
    EXPECT_EQ(CheckedDepth(&copied), DEPTH);
    std::unique_ptr<Node> cloned(source.Clone());
    EXPECT_EQ(CheckedDepth(cloned.get()), DEPTH);
    C assigned;
    assigned = source;
    EXPECT_EQ(CheckedDepth(&assigned), DEPTH);
    EXPECT_TRUE(orvex_equal(assigned.GetOrvex(), source.GetOrvex()));

    // Assignment to a held container, and to one from inside its own subtree.
    C holder;
    if constexpr (std::is_same<C, Array>::value)
        holder.Append(C());
    else
        holder.Set("k", C());
    auto *held = static_cast<C *>(OnlyChild(&holder));
    *held = source;
    EXPECT_EQ(OnlyChild(&holder), held);
    EXPECT_EQ(CheckedDepth(&holder), DEPTH + 1);
    adopted = *static_cast<C *>(OnlyChild(&adopted));
    EXPECT_EQ(CheckedDepth(&adopted), DEPTH - 1);

    // Destroying a deep child through removal, then everything at scope end.
    if constexpr (std::is_same<C, Array>::value)
        holder.Remove(0u);
    else
        holder.Remove("k");
    EXPECT_EQ(holder.GetSize(), 0u);
}

} // namespace

TEST(ModelDeepTrees, MillionDeepArrayChain) { RunChain<Array>(ORVEX_ARRAY); }

TEST(ModelDeepTrees, MillionDeepDictionaryChain) { RunChain<Dictionary>(ORVEX_DICT); }
