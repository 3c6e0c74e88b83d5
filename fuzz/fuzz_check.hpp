// An invariant check that stays on in every build and stops the fuzzer
// with the failing condition.
#ifndef ORVEX_FUZZ_CHECK_HPP
#define ORVEX_FUZZ_CHECK_HPP

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                                     \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);                    \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

#endif
