// Builds the store tree that a sample's .expect.json describes, so tests can
// compare what a reader produced with orvex_equal.
#ifndef ORVEX_TESTS_EXPECT_TREE_HPP
#define ORVEX_TESTS_EXPECT_TREE_HPP

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "orvex/orvex.h"

namespace orvex_test {

// The tree in a JSON file of the samples' form; null if it cannot be read.
orvex_t load_expect_tree(const std::string &path);
// The same from JSON text.
orvex_t expect_tree_from_json(const std::string &json);
// Whole file contents; empty if unreadable.
std::vector<char> read_file(const std::string &path);
// Path of a file in tests/data.
std::string data_path(const std::string &name);
// Owns a store tree for a test's scope.
struct Tree {
    orvex_t n = nullptr;
    explicit Tree(orvex_t node = nullptr) : n(node) {}
    Tree(const Tree &) = delete;
    Tree &operator=(const Tree &) = delete;
    ~Tree() { orvex_free(n); }
    orvex_t get() const { return n; }
};

// A copy of `tree` with `fix` called on each of its values that is not a
// container (it may change the value, or replace it in its parent).
orvex_t copy_with(orvex_t tree, const std::function<void(orvex_t)> &fix);
// A copy of `tree` with every date set to the whole second that
// orvex_get_unix_date_val reads: what the XML encoding keeps of it.
orvex_t in_whole_seconds(orvex_t tree);
// Appends the children of `n`, when it is a container, to `todo`.
void push_children(orvex_t n, std::vector<orvex_t> &todo);
// A new array holding `items`.
orvex_t array_of(std::initializer_list<orvex_t> items);
// A readable dump of a tree, for failure messages.
std::string describe(orvex_t node);

} // namespace orvex_test

#endif
