// The wrapper headers with ORVEX_NO_IMPLICIT_CONVERSIONS: no one-argument
// constructor converts, every one still constructs.
#define ORVEX_NO_IMPLICIT_CONVERSIONS
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "orvex/orvex++.h"

using namespace Orvex;

namespace {

template <class To, class From> constexpr bool explicit_only() {
    return std::is_constructible<To, From>::value && !std::is_convertible<From, To>::value;
}

static_assert(explicit_only<Array, Node *>() && explicit_only<Dictionary, Node *>(), "containers");
static_assert(explicit_only<Boolean, Node *>() && explicit_only<Boolean, bool>(), "Boolean");
static_assert(explicit_only<Data, Node *>() && explicit_only<Data, const std::vector<char> &>(), "Data");
static_assert(explicit_only<Date, Node *>() && explicit_only<Date, int64_t>(), "Date");
static_assert(explicit_only<Integer, Node *>() && explicit_only<Integer, int64_t>() &&
                  explicit_only<Integer, uint64_t>(),
              "Integer");
static_assert(explicit_only<Key, Node *>() && explicit_only<Key, const std::string &>(), "Key");
static_assert(explicit_only<Real, Node *>() && explicit_only<Real, double>(), "Real");
static_assert(explicit_only<String, Node *>() && explicit_only<String, const char *>() &&
                  explicit_only<String, const std::string &>(),
              "String");
static_assert(explicit_only<Uid, Node *>() && explicit_only<Uid, uint64_t>(), "Uid");
// The conveniences: integers of any type, time points and one-item lists
// construct only explicitly; lists of several items, and the Values that
// Set and Append take, still convert.
static_assert(explicit_only<Integer, int>() && explicit_only<Integer, unsigned short>() &&
                  explicit_only<Real, int>() &&
                  explicit_only<Date, std::chrono::system_clock::time_point>() &&
                  explicit_only<Array, int>() && explicit_only<Array, const char *>(),
              "conveniences");
static_assert(std::is_convertible<int, Value>::value && std::is_convertible<const char *, Value>::value &&
                  std::is_convertible<const String &, Value>::value,
              "values convert");
// Copies stay implicit.
static_assert(std::is_convertible<const String &, String>::value, "copies convert");
static_assert(std::is_convertible<const Dictionary &, Dictionary>::value, "copies convert");

} // namespace

TEST(ExplicitConstructors, StillBuildAndCopy) {
    Dictionary dict;
    dict.Set("Name", String("orvex"));
    String copy = *static_cast<String *>(dict["Name"]);
    EXPECT_EQ(copy.GetValue(), "orvex");
    EXPECT_EQ(Integer(int64_t(-2)).GetValue(), -2);
    dict.Set("n", 5);
    Array list = {1, "two"};
    list.Append(3.0);
    EXPECT_EQ(list.size(), 3u);
    EXPECT_TRUE(*dict["n"] == Integer(5));
}
