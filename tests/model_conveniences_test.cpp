// The conveniences beside the classic calls: As, ==, values through Value
// (Set, Append, Insert, initializer lists), integer constructors, Remove(0),
// const lookups, InOrder and a Date's exact instant. What must and must not
// compile is checked here at compile time.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "mirror_check.hpp"
#include "orvex/orvex++.h"

using namespace Orvex;
using orvex_test::mirror_mismatch;
using orvex_test::MirrorOnly;
using Clock = std::chrono::system_clock;

namespace {

// ---- What compiles ----

template <class A, class B, class = void> struct CanCompare : std::false_type {};
template <class A, class B> struct CanCompare<A, B,
                                              decltype(void(std::declval<A>() == std::declval<B>()),
                                                       void(std::declval<A>() != std::declval<B>()))>
    : std::true_type {};

template <class V, class = void> struct CanSet : std::false_type {};
template <class V> struct CanSet<V, decltype(void(std::declval<Dictionary &>().Set("k", std::declval<V>())))>
    : std::true_type {};

template <class V, class = void> struct CanAppend : std::false_type {};
template <class V> struct CanAppend<V, decltype(void(std::declval<Array &>().Append(std::declval<V>())))>
    : std::true_type {};

template <class I, class = void> struct CanRemoveAt : std::false_type {};
template <class I> struct CanRemoveAt<I, decltype(void(std::declval<Array &>().Remove(std::declval<I>())))>
    : std::true_type {};

// Comparison takes two wrappers and nothing that would become one.
static_assert(CanCompare<const String &, const Integer &>::value && CanCompare<Node &, const Array &>::value);
static_assert(!CanCompare<const Integer &, int>::value && !CanCompare<int, const Integer &>::value);
static_assert(!CanCompare<const String &, const char *>::value && !CanCompare<Node &, std::nullptr_t>::value);

// Any integer type makes an Integer; bool and characters do not.
static_assert(std::is_constructible<Integer, int>::value && std::is_constructible<Integer, short>::value &&
              std::is_constructible<Integer, unsigned char>::value &&
              std::is_constructible<Integer, long long>::value &&
              std::is_constructible<Integer, size_t>::value);
static_assert(!std::is_constructible<Integer, bool>::value && !std::is_constructible<Integer, char>::value);
static_assert(std::is_constructible<Real, int>::value &&
              std::is_constructible<Date, Clock::time_point>::value);

// Values: scalars, text, bytes, instants and wrappers; no other pointer, no
// character, no null.
static_assert(std::is_convertible<bool, Value>::value && std::is_convertible<long double, Value>::value &&
              std::is_convertible<const char (&)[3], Value>::value &&
              std::is_convertible<const std::string &, Value>::value &&
              std::is_convertible<std::vector<char>, Value>::value &&
              std::is_convertible<std::chrono::time_point<Clock, std::chrono::seconds>, Value>::value &&
              std::is_convertible<const Dictionary &, Value>::value);
static_assert(!std::is_convertible<std::nullptr_t, Value>::value &&
              !std::is_convertible<Node *, Value>::value && !std::is_convertible<const int *, Value>::value &&
              !std::is_convertible<char, Value>::value && !std::is_convertible<wchar_t, Value>::value);
static_assert(CanSet<int>::value && CanSet<bool>::value && CanSet<const char *>::value &&
              CanSet<double>::value && CanSet<std::nullptr_t>::value && CanSet<const String &>::value &&
              !CanSet<char>::value);
static_assert(CanAppend<unsigned>::value && CanAppend<std::string>::value && !CanAppend<char32_t>::value);
static_assert(CanRemoveAt<int>::value && CanRemoveAt<size_t>::value && CanRemoveAt<Node *>::value);

// Const lookups hand out const wrappers.
static_assert(std::is_same<decltype(std::declval<const Dictionary &>()["k"]), const Node *>::value &&
              std::is_same<decltype(std::declval<const Array &>()[0u]), const Node *>::value);

// ---- Helpers ----

// A tree read from JSON, for the expected side of a comparison.
std::unique_ptr<Structure> json(const std::string &text) {
    return std::unique_ptr<Structure>(Structure::FromJson(text));
}

// A class of a program's own: Node::As asks it with dynamic_cast.
class Tagged : public String {
  public:
    explicit Tagged(const char *text) : String(text) {}
    Node *Clone() const override { return new Tagged(GetValue().c_str()); }
};

} // namespace

TEST(Conveniences, AsFollowsTheStoreType) {
    const Dictionary tree{{"b", true},         {"i", 5},
                          {"r", 2.5},          {"s", "x"},
                          {"d", Clock::now()}, {"data", std::vector<char>{'z'}},
                          {"a", Array{}},      {"m", Dictionary{}}};
    const Key key("k");
    const Uid uid(uint64_t(3));
    std::vector<const Node *> nodes{&key, &uid};
    for (const auto &entry : tree)
        nodes.push_back(entry.second);
    for (const Node *n : nodes) {
        const orvex_type t = n->GetType();
        EXPECT_EQ(n->As<Boolean>() != nullptr, t == ORVEX_BOOLEAN) << t;
        EXPECT_EQ(n->As<Integer>() != nullptr, t == ORVEX_INT) << t;
        EXPECT_EQ(n->As<Real>() != nullptr, t == ORVEX_REAL) << t;
        EXPECT_EQ(n->As<String>() != nullptr, t == ORVEX_STRING) << t;
        EXPECT_EQ(n->As<Key>() != nullptr, t == ORVEX_KEY) << t;
        EXPECT_EQ(n->As<Date>() != nullptr, t == ORVEX_DATE) << t;
        EXPECT_EQ(n->As<Data>() != nullptr, t == ORVEX_DATA) << t;
        EXPECT_EQ(n->As<Uid>() != nullptr, t == ORVEX_UID) << t;
        EXPECT_EQ(n->As<Array>() != nullptr, t == ORVEX_ARRAY) << t;
        EXPECT_EQ(n->As<Dictionary>() != nullptr, t == ORVEX_DICT) << t;
        EXPECT_EQ(n->As<Structure>() != nullptr, t == ORVEX_ARRAY || t == ORVEX_DICT) << t;
        EXPECT_EQ(n->As<Node>(), n);
        EXPECT_EQ(n->As<Tagged>(), nullptr);
        // The same object as dynamic_cast finds, where it finds one.
        if (auto *s = n->As<Structure>()) {
            EXPECT_EQ(s, dynamic_cast<const Structure *>(n));
        }
    }
    Tagged tagged("t");
    Node &as_node = tagged;
    EXPECT_EQ(as_node.As<Tagged>(), &tagged);
    EXPECT_EQ(as_node.As<String>(), &tagged);
    // The free form takes the null of an absent entry.
    EXPECT_EQ(As<String>(tree.Get("absent")), nullptr);
    EXPECT_EQ(As<String>(tree.Get("s"))->GetValue(), "x");
}

TEST(Conveniences, EqualityIsTheStoresValueEquality) {
    using P = std::shared_ptr<Node>;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        P a, b;
        bool equal;
    } rows[] = {
        {P(new Integer(5)), P(new Integer(5u)), true},
        {P(new Integer(5)), P(new Real(5.0)), false},
        {P(new Real(0.0)), P(new Real(-0.0)), false},
        {P(new Real(nan)), P(new Real(-nan)), true},
        {P(new String("k")), P(new Key("k")), false},
        {P(new String(std::string("a"))), P(new String("a")), true},
        {P(new Date(int64_t(7))), P(new Date(Clock::from_time_t(7))), true},
        {P(new Array(1, "x")), P(json("[1, \"x\"]")), true},
        {P(new Array(1, "x")), P(new Array("x", 1)), false},
        {P(new Dictionary{{"a", 1}, {"b", 2}}), P(new Dictionary{{"b", 2}, {"a", 1}}), false},
        {P(new Dictionary{{"a", Array{}}}), P(json("{\"a\": []}")), true},
        {P(new Array()), P(new Dictionary()), false},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(*row.a == *row.b, row.equal) << row.a->GetType() << " vs " << row.b->GetType();
        EXPECT_EQ(*row.b == *row.a, row.equal);
        EXPECT_EQ(*row.a != *row.b, !row.equal);
        EXPECT_TRUE(*row.a == *row.a);
    }
}

TEST(Conveniences, IntegerConstructorsKeepTheSign) {
    struct Row {
        Integer value;
        int64_t as_signed;
        uint64_t as_unsigned;
        bool negative;
    } rows[] = {
        {Integer(5), 5, 5, false},
        {Integer(-1), -1, UINT64_MAX, true},
        {Integer(short(-3)), -3, uint64_t(-3), true},
        {Integer(uint8_t(200)), 200, 200, false},
        {Integer(-7LL), -7, uint64_t(-7), true},
        {Integer(ULLONG_MAX), -1, UINT64_MAX, false}, // unsigned: not negative
        {Integer(0), 0, 0, false},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(row.value.GetValue(), row.as_signed);
        EXPECT_EQ(row.value.GetUnsignedValue(), row.as_unsigned);
        EXPECT_EQ(row.value.isNegative(), row.negative) << row.as_signed;
    }
    Integer i;
    i.SetValue(-5);
    EXPECT_TRUE(i.isNegative());
    i.SetValue(~0u);
    EXPECT_EQ(i.GetUnsignedValue(), 0xFFFFFFFFu);
    EXPECT_EQ(Real(0).GetValue(), 0.0);
    EXPECT_EQ(Real(-3LL).GetValue(), -3.0);
    EXPECT_EQ(Real(true).GetValue(), 1.0); // as before: bool converts to double
}

// Files `value` through Set and Append as written (a literal stays a literal,
// for the overload it picks) and checks that both made `expected`.
#define EXPECT_FILED(value, expected)                                                                        \
    do {                                                                                                     \
        const std::string key = std::to_string(d.size());                                                    \
        const Dictionary::iterator entry = d.Set(key, value);                                                \
        EXPECT_TRUE(entry != d.End() && entry->first == key && *entry->second == (expected)) << #value;      \
        a.Append(value);                                                                                     \
        EXPECT_TRUE(a.size() == d.size() && *a.Back() == (expected)) << #value;                              \
    } while (0)

TEST(Conveniences, SetAppendAndInsertMakeTheValueWritten) {
    const auto when = Clock::from_time_t(1700000000) + std::chrono::milliseconds(250);
    const std::string with_nul("x\0y", 3);
    const std::vector<char> bytes{'\0', 'b'};
    Dictionary d;
    Array a;
    EXPECT_FILED(true, Boolean(true));
    EXPECT_FILED("text", String("text"));
    EXPECT_FILED(with_nul, String("x"));
    EXPECT_FILED(std::string("y"), String("y"));
    EXPECT_FILED(5, Integer(5));
    EXPECT_FILED(Value(0), Integer(0)); // a literal 0 is the null Node *: below
    EXPECT_FILED(UINT64_MAX, Integer(UINT64_MAX));
    EXPECT_FILED(2.5f, Real(2.5));
    EXPECT_FILED(bytes, Data(bytes));
    EXPECT_FILED(when, Date(when));
    EXPECT_FILED(Array(1, "y"), *json("[1, \"y\"]"));
    // Set replaces in place; a null pointer, however it is spelled, files nothing.
    const size_t size = d.size();
    d.Set("0", "again");
    EXPECT_TRUE(*d.InOrder().front().second == String("again"));
    EXPECT_TRUE(d.Set("none", nullptr) == d.End() && d.Set("zero", 0) == d.End());
    a.Append(nullptr);
    a.Append(0);
    a.Insert(0, 0u);
    EXPECT_TRUE(d.size() == size && a.size() == size);
    a.Insert(7, 0u);
    a.Insert("first", 0u);
    EXPECT_TRUE(*a[0u] == String("first") && *a[1u] == Integer(7));
    EXPECT_THROW(a.Insert(Integer(1), 99u), std::out_of_range);
    EXPECT_EQ(mirror_mismatch(d), "");
    EXPECT_EQ(mirror_mismatch(a), "");
}

TEST(Conveniences, RemoveTakesAnyIntegerAsAPosition) {
    Array a{10, 11, 12, 13};
    a.Remove(0);
    EXPECT_TRUE(a == (Array{11, 12, 13}));
    a.Remove(size_t(1));
    a.Remove(short(1));
    EXPECT_TRUE(a == (Array{11}));
    EXPECT_THROW(a.Remove(-1), std::out_of_range);
    EXPECT_THROW(a.Remove(uint64_t(1) << 32), std::out_of_range); // not position 0
    EXPECT_THROW(a.Remove(1), std::out_of_range);
    a.Remove(nullptr);
    EXPECT_EQ(a.size(), 1u);
    a.Remove(0u);
    EXPECT_EQ(a.size(), 0u);
}

TEST(Conveniences, ConstLookupsAddNothing) {
    Dictionary d{{"a", 1}, {"n", "x"}};
    const Dictionary &cd = d;
    EXPECT_TRUE(*cd["a"] == Integer(1));
    EXPECT_EQ(cd["absent"], nullptr);
    EXPECT_EQ(d.Get("absent"), nullptr);
    EXPECT_EQ(cd.Get("n"), d["n"]);
    EXPECT_EQ(d.size(), 2u); // neither added a mirror entry
    EXPECT_EQ(d["absent"], nullptr);
    EXPECT_EQ(d.size(), 3u); // the non-const operator[] still does
    const Array ca{1, "two"};
    EXPECT_TRUE(*ca[1u] == String("two"));
    EXPECT_THROW(ca[2u], std::out_of_range);
}

TEST(Conveniences, InitializerListsBuildTreesAndKeepTheirOldMeanings) {
    const Array nested{1, "two", 3.0, Array{4, Array{}}, Dictionary{{"k", false}}};
    EXPECT_TRUE(nested == *json("[1, \"two\", 3.0, [4, []], {\"k\": false}]"));
    EXPECT_EQ(nested.ToJson(), "[1,\"two\",3.0,[4,[]],{\"k\":false}]");
    // Document order is the list's, whatever the key order.
    const Dictionary d{{"list", Array{1, 2}}, {"b", "x"}, {"a", 1}, {"b", "y"}};
    EXPECT_EQ(d.ToJson(), "{\"list\":[1,2],\"b\":\"y\",\"a\":1}");
    EXPECT_EQ(mirror_mismatch(nested), "");
    EXPECT_EQ(mirror_mismatch(d), "");
    // One container of the class in braces is a copy; empty braces and
    // nullptr are the default constructor's.
    Array copy{nested};
    EXPECT_EQ(copy.size(), nested.size());
    EXPECT_TRUE(copy == nested);
    Array again{copy}; // not const: still the copy constructor
    EXPECT_TRUE(again == nested);
    EXPECT_TRUE((Array{Array{1, 2}}) == (Array{1, 2}));
    const Dictionary dcopy{d};
    EXPECT_TRUE(dcopy == d && dcopy.GetParent() == nullptr);
    const Array none{}, null{nullptr};
    const Dictionary dnone{}, dnull{nullptr};
    EXPECT_EQ(none.size() + null.size() + dnone.size() + dnull.size(), 0u);
    EXPECT_EQ(null.GetType(), ORVEX_ARRAY);
    EXPECT_EQ(dnull.GetType(), ORVEX_DICT);
    // Another wrapper, or one of another class, is an item.
    const Array holding{Dictionary{}};
    const Array zero{0}, one{Integer(0)};
    EXPECT_TRUE(holding.size() == 1 && holding[0u]->GetType() == ORVEX_DICT);
    EXPECT_EQ(zero.size(), 0u); // Array(Node *), as it always was
    EXPECT_TRUE(one.size() == 1 && *one[0u] == Integer(0));
}

TEST(Conveniences, InOrderWalksTheStoreOrder) {
    Dictionary d{{"zeta", 1}, {"alpha", "a"}, {"a key longer than any inline key", 2.5}, {"mid", Array{}}};
    d.Set("zeta", Integer(9)); // replaced: keeps its place
    d.Remove("alpha");         // removed, then set again: at the end
    d.Set("alpha", "b");
    (void)d["mirror only"]; // not in the store: not listed
    // An item without a class has no wrapper, and is listed all the same.
    orvex_t store = orvex_new_dict();
    for (const char *key : {"b", "null", "a"})
        orvex_dict_set_item(store, key, key[1] ? orvex_new_null() : orvex_new_bool(1));
    std::unique_ptr<Dictionary> wrapped(static_cast<Dictionary *>(Node::FromOrvex(store, nullptr)));
    const struct {
        const Dictionary *tree;
        std::vector<std::string> order;
    } rows[] = {{&d, {"zeta", "a key longer than any inline key", "mid", "alpha"}},
                {wrapped.get(), {"b", "null", "a"}},
                {nullptr, {}}};
    const Dictionary empty;
    for (const auto &row : rows) {
        const Dictionary &tree = row.tree ? *row.tree : empty;
        std::vector<std::string> keys;
        for (const auto &[key, node] : tree.InOrder()) {
            keys.push_back(key);
            EXPECT_EQ(node, tree.Find(key)->second) << key;
            EXPECT_EQ(&key, &tree.Find(key)->first) << "the mirror's own key";
        }
        EXPECT_EQ(keys, row.order);
    }
    EXPECT_EQ(wrapped->InOrder()[1].second, nullptr);
}

TEST(Conveniences, DateTimeKeepsTheFraction) {
    using std::chrono::microseconds;
    const Clock::time_point epoch{};
    const Clock::time_point ref2001 = Clock::from_time_t(978307200);
    struct Row {
        Clock::time_point time;
        double since_2001;
        int64_t whole; // GetValue: rounded down
    } rows[] = {
        {epoch, -978307200.0, 0},
        {ref2001, 0.0, 978307200},
        {ref2001 + microseconds(250000), 0.25, 978307200},
        {epoch - microseconds(750000), -978307200.75, -1},
        {Clock::from_time_t(1700000000) + microseconds(123456), 721692800.123456, 1700000000},
    };
    for (const Row &row : rows) {
        Date date(row.time);
        EXPECT_NEAR(date.GetSecondsSince2001(), row.since_2001, 1e-6);
        EXPECT_EQ(date.GetValue(), row.whole);
        // Back to the clock: within the double's resolution, exact where
        // the fraction is a sum of powers of two.
        EXPECT_LE(std::chrono::abs(date.GetTime() - row.time), microseconds(1));
        Date copy(date);
        copy.SetSecondsSince2001(row.since_2001);
        EXPECT_LE(std::chrono::abs(copy.GetTime() - row.time), microseconds(1));
    }
    EXPECT_EQ(Date(ref2001 + microseconds(250000)).GetTime(), ref2001 + microseconds(250000));
    // Out of the clock's range: clamped; NaN: the epoch.
    struct Clamp {
        double since_2001;
        Clock::time_point time;
    } clamps[] = {{1e300, Clock::time_point::max()},
                  {-std::numeric_limits<double>::infinity(), Clock::time_point::min()},
                  {std::numeric_limits<double>::quiet_NaN(), epoch}};
    Date date;
    for (const Clamp &c : clamps) {
        date.SetSecondsSince2001(c.since_2001);
        EXPECT_EQ(date.GetTime(), c.time) << c.since_2001;
    }
    // The edges themselves stay in range.
    date.SetTime(Clock::time_point::max());
    EXPECT_LE(std::chrono::abs(date.GetTime() - Clock::time_point::max()), std::chrono::milliseconds(1));
    date.SetTime(Clock::time_point::min());
    EXPECT_LE(std::chrono::abs(date.GetTime() - Clock::time_point::min()), std::chrono::milliseconds(1));
}
