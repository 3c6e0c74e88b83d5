// OpenStep reader on arbitrary bytes: it must accept or reject, never
// misbehave, and an error must point inside the input. What it accepts,
// written in the typed forms and read back, is the same tree (dates in whole
// seconds, as the writer documents), and writing that again gives the same
// bytes. Untyped writing must succeed too: the reader makes no value the
// format has no form for.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz_check.hpp"
#include "orvex/orvex.h"
#include "tree_compare.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    orvex_t root = fuzz::read_text_checked(data, size, ORVEX_FORMAT_OSTEP);
    if (!root)
        return 0;
    if (fuzz::larger_than(root, 65536)) {
        orvex_free(root);
        return 0;
    }
    bool odd_date, key_value;
    fuzz::find_losses(root, &odd_date, &key_value);
    FUZZ_CHECK(!key_value);
    fuzz::Losses loss;
    loss.dates_as_seconds = odd_date;

    fuzz::Buf plain, typed, again;
    FUZZ_CHECK(orvex_to_openstep(root, &plain.p, &plain.n, 0) == ORVEX_ERR_SUCCESS);
    FUZZ_CHECK(orvex_to_openstep(root, &typed.p, &typed.n, ORVEX_OSTEP_TYPED) == ORVEX_ERR_SUCCESS);
    FUZZ_CHECK(typed.p[typed.n] == '\0');
    orvex_t back = nullptr;
    orvex_parse_result res;
    orvex_parse(typed.p, typed.n, ORVEX_FORMAT_OSTEP, &back, nullptr, &res);
    if (!back)
        std::fprintf(stderr, "written OpenStep rejected at line %u column %u: %s\n", res.line, res.column,
                     res.reason);
    FUZZ_CHECK(back != nullptr);
    FUZZ_CHECK(fuzz::equal_with(root, back, loss));
    FUZZ_CHECK(orvex_to_openstep(back, &again.p, &again.n, ORVEX_OSTEP_TYPED) == ORVEX_ERR_SUCCESS);
    FUZZ_CHECK(again.n == typed.n && std::memcmp(again.p, typed.p, typed.n) == 0);
    orvex_free(root);
    orvex_free(back);
    return 0;
}
