// What orvex_edit must do to a document's tree, done on the tree itself with
// the store's calls: the reference the editor's suite and fuzzer hold its
// output to. Needs no GoogleTest.
#ifndef ORVEX_TESTS_EDIT_REFERENCE_HPP
#define ORVEX_TESTS_EDIT_REFERENCE_HPP

#include <string>
#include <vector>

#include "orvex/orvex.h"

namespace orvex_test {

// A store tree freed when it goes out of scope.
struct Owned {
    orvex_t n;
    explicit Owned(orvex_t node) : n(node) {}
    Owned(const Owned &) = delete;
    ~Owned() { orvex_free(n); }
};

// The parts of a key path as orvex_edit splits it, or false for a stray
// backslash.
bool split_path(const std::string &path, std::vector<std::string> &parts);
// `parts` joined into a key path, '.' and '\' escaped.
std::string join_path(const std::vector<std::string> &parts);

// The edit applied to the tree at `root` (a copy of `value` put in); the
// error orvex_edit gives when it refuses, with the tree unchanged.
orvex_err_t apply_edit(orvex_t root, orvex_edit_kind kind, const std::string &path, orvex_t value);

} // namespace orvex_test

#endif
