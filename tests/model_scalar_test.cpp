// Fixed-width value classes: Boolean, Integer, Real, Date, Uid.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <type_traits>

#include "orvex/orvex++.h"

using namespace Orvex;

namespace {

constexpr uint64_t U64_MAX = std::numeric_limits<uint64_t>::max();
constexpr int64_t I64_MIN = std::numeric_limits<int64_t>::min();

// A root wrapper over a store array, standing in for a container parent.
struct Holder : Node {
    Holder() : Node(ORVEX_ARRAY, nullptr) {}
    Node *Clone() const override { return nullptr; }
    // Attaches `item` and wraps it as a child of this holder.
    template <class T> T *Adopt(orvex_t item) {
        orvex_array_append_item(_node, item);
        return new T(item, this);
    }
    orvex_t Item(uint32_t n) const { return orvex_array_get_item(_node, n); }
};

} // namespace

TEST(ScalarValues, ParentOnlyConstructorsReadZero) {
    EXPECT_FALSE(Boolean().GetValue());
    Integer i;
    EXPECT_EQ(i.GetValue(), 0);
    EXPECT_FALSE(i.isNegative());
    EXPECT_EQ(Real().GetValue(), 0.0);
    EXPECT_EQ(Date().GetValue(), 0);
    EXPECT_EQ(Uid().GetValue(), 0u);
    EXPECT_EQ(Uid().GetType(), ORVEX_UID);
}

TEST(ScalarValues, BooleanCopiesHoldExactlyOne) {
    Boolean b(true);
    Boolean copy(b);
    Node *clone = b.Clone();
    uint8_t raw = 0;
    orvex_get_bool_val(copy.GetOrvex(), &raw);
    EXPECT_EQ(raw, 1);
    raw = 0;
    orvex_get_bool_val(clone->GetOrvex(), &raw);
    EXPECT_EQ(raw, 1);
    delete clone;
}

TEST(ScalarValues, UnsignedEdgeSurvivesEveryCopyPath) {
    Integer a(int64_t(1));
    a.SetValue(U64_MAX);
    Integer b(int64_t(1));
    b.SetUnsignedValue(U64_MAX - 1);
    for (const Integer *src : {&a, &b}) {
        const uint64_t want = src->GetUnsignedValue();
        Integer copy(*src);
        Node *clone = src->Clone();
        Integer assigned(int64_t(-1));
        assigned = *src;
        for (const Integer *got : {&copy, static_cast<Integer *>(clone), &assigned}) {
            EXPECT_EQ(got->GetUnsignedValue(), want);
            EXPECT_FALSE(got->isNegative());
            EXPECT_EQ(got->GetParent(), nullptr);
        }
        delete clone;
    }
    Integer neg(I64_MIN);
    EXPECT_TRUE(Integer(neg).isNegative());
    EXPECT_EQ(Integer(neg).GetValue(), I64_MIN);
    EXPECT_EQ(Integer(U64_MAX).GetUnsignedValue(), U64_MAX);
}

TEST(ScalarValues, RootAssignmentTakesADeepCopy) {
    Real a(1.0), b(2.5);
    const orvex_t before = a.GetOrvex();
    Real &same = a;
    a = same;
    EXPECT_EQ(a.GetOrvex(), before);
    a = b;
    EXPECT_NE(a.GetOrvex(), b.GetOrvex());
    EXPECT_EQ(a.GetValue(), 2.5);
    b.SetValue(9.0);
    EXPECT_EQ(a.GetValue(), 2.5);
    EXPECT_EQ(a.GetParent(), nullptr);
}

TEST(ScalarValues, DateBeforeEpochAndLargestUidRoundTrip) {
    const int64_t t = -2208988800; // 1900-01-01
    Date d(t);
    Uid u(U64_MAX);
    Date d2;
    d2.SetValue(t);
    Uid u2;
    u2.SetValue(U64_MAX);
    Date d3, d4(Date(int64_t(5)));
    d3 = d;
    Uid u3;
    u3 = u;
    Node *dc = d.Clone();
    Node *uc = u.Clone();
    for (const Date *x : {&d, &d2, &d3, static_cast<Date *>(dc)})
        EXPECT_EQ(x->GetValue(), t);
    for (const Uid *x : {&u, &u2, &u3, static_cast<Uid *>(uc)})
        EXPECT_EQ(x->GetValue(), U64_MAX);
    EXPECT_EQ(Date(d).GetValue(), t);
    EXPECT_EQ(Uid(u).GetValue(), U64_MAX);
    EXPECT_EQ(d4.GetValue(), 5);
    delete dc;
    delete uc;
}

TEST(ScalarValues, CopiesOfAChildAreIndependentRoots) {
    Holder h;
    Uid *child = h.Adopt<Uid>(orvex_new_uid(4));
    Node *clone = child->Clone();
    Uid copy(*child);
    EXPECT_EQ(clone->GetParent(), nullptr);
    EXPECT_NE(clone->GetOrvex(), child->GetOrvex());
    copy.SetValue(99);
    static_cast<Uid *>(clone)->SetValue(98);
    uint64_t v = 0;
    orvex_get_uid_val(h.Item(0), &v);
    EXPECT_EQ(v, 4u);
    delete clone;
    delete child; // a child: frees nothing
    orvex_get_uid_val(h.Item(0), &v);
    EXPECT_EQ(v, 4u);
}

// Copying through the base would leave two owners of one store node.
static_assert(!std::is_copy_assignable<Node>::value, "Node must not be copy-assignable");
static_assert(!std::is_copy_constructible<Node>::value, "Node must not be copy-constructible");

TEST(ScalarValues, AssigningToAChildChangesItInPlace) {
    Holder h;
    Integer *i = h.Adopt<Integer>(orvex_new_int(1));
    Boolean *b = h.Adopt<Boolean>(orvex_new_bool(0));
    Date *d = h.Adopt<Date>(orvex_new_unix_date(0));
    Real *r = h.Adopt<Real>(orvex_new_real(0));
    Uid *u = h.Adopt<Uid>(orvex_new_uid(0));
    const orvex_t handle = i->GetOrvex();

    *i = Integer(U64_MAX);
    EXPECT_EQ(i->GetOrvex(), handle);
    EXPECT_EQ(h.Item(0), handle);
    EXPECT_FALSE(i->isNegative()); // kept unsigned
    EXPECT_EQ(i->GetUnsignedValue(), U64_MAX);
    *i = Integer(int64_t(-3));
    EXPECT_TRUE(orvex_int_val_is_negative(h.Item(0)));

    *b = Boolean(true);
    EXPECT_TRUE(Boolean(h.Item(1), &h).GetValue());

    // A fraction read from a document survives, though the class speaks
    // whole seconds.
    Date fractional(orvex_new_date(0.5), nullptr);
    *d = fractional;
    double exact = 0;
    orvex_get_date_val(h.Item(2), &exact);
    EXPECT_EQ(exact, 0.5);
    *d = Date(I64_MIN + 1);
    EXPECT_EQ(d->GetValue(), I64_MIN + 1);
    // A whole number of seconds beyond the 64-bit range is not clamped on the way in.
    Date far(orvex_new_date(1e20), nullptr);
    *d = far;
    orvex_get_date_val(h.Item(2), &exact);
    EXPECT_EQ(exact, 1e20);

    *r = Real(-0.25);
    EXPECT_EQ(r->GetValue(), -0.25);
    *u = Uid(U64_MAX);
    EXPECT_EQ(u->GetValue(), U64_MAX);
    EXPECT_EQ(orvex_array_get_size(h.GetOrvex()), 5u);
    for (Node *n : {static_cast<Node *>(i), static_cast<Node *>(b), static_cast<Node *>(d),
                    static_cast<Node *>(r), static_cast<Node *>(u)})
        delete n;
}
