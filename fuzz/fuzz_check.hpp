// An invariant check that stays on in every build and stops the fuzzer
// with the failing condition.
#ifndef ORVEX_FUZZ_CHECK_HPP
#define ORVEX_FUZZ_CHECK_HPP

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "orvex/orvex.h"

#define FUZZ_CHECK(cond)                                                                                     \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);                    \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

namespace fuzz {

// A writer's malloc'd output, freed at scope end.
struct Buf {
    char *p = nullptr;
    uint32_t n = 0;
    ~Buf() { std::free(p); }
    bool same(const Buf &o) const { return n == o.n && std::memcmp(p, o.p, n) == 0; }
};

// `data` read as text of `format`: the tree, or null after checking that the
// rejection is reported consistently and points inside the input.
inline orvex_t read_text_checked(const uint8_t *data, size_t size, orvex_format_t format) {
    orvex_t root = nullptr;
    orvex_parse_result res;
    orvex_err_t e = orvex_parse(reinterpret_cast<const char *>(data), size, format, &root, nullptr, &res);
    FUZZ_CHECK(e == res.code);
    FUZZ_CHECK((e == ORVEX_ERR_SUCCESS) == (root != nullptr));
    FUZZ_CHECK(res.reason != nullptr);
    if (e != ORVEX_ERR_SUCCESS)
        FUZZ_CHECK(res.offset <= size && res.line >= 1 && res.column >= 1);
    return root;
}

} // namespace fuzz

#endif
