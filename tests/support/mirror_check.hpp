// Whether an object-model tree and its store tree agree, for the suites and
// the model fuzzer alike (so it does without GoogleTest).
#ifndef ORVEX_TESTS_MIRROR_CHECK_HPP
#define ORVEX_TESTS_MIRROR_CHECK_HPP

#include <string>

#include "orvex/Node.h"

namespace orvex_test {

// Whether a dictionary's mirror may hold entries its store node lacks: the
// null ones Dictionary::operator[] adds for a missing key.
enum class MirrorOnly { Refused, Allowed };

// Where the wrappers under `root` and the store nodes they stand for first
// disagree, empty when they agree all the way down: every wrapper has a store
// node; each child of a container stands for the store item at its position
// or under its key (a null child for a null item) and has that container as
// parent on both sides; sizes match, but for the mirror-only entries that
// `mirror_only` allows.
std::string mirror_mismatch(const Orvex::Node &root, MirrorOnly mirror_only = MirrorOnly::Refused);

} // namespace orvex_test

#endif
