// JSON reader on arbitrary bytes: it must accept or reject, never misbehave,
// and an error must point inside the input. An accepted document, written
// compact and pretty without the lossy flag and read back, is the same tree,
// and writing that again gives the same bytes; when the tree holds a value
// without a JSON form (only a real beyond the double range reads as one, an
// infinity) the writer refuses it with ORVEX_ERR_FORMAT and names it.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz_check.hpp"
#include "orvex/orvex.h"

namespace {

void check_round_trip(orvex_t first, uint32_t flags) {
    fuzz::Buf out, again;
    orvex_err_t e = orvex_to_json(first, &out.p, &out.n, flags);
    if (orvex_json_unwritable(first)) {
        FUZZ_CHECK(e == ORVEX_ERR_FORMAT && out.p == nullptr);
        return;
    }
    FUZZ_CHECK(e == ORVEX_ERR_SUCCESS);
    FUZZ_CHECK(out.p[out.n] == '\0');
    orvex_t back = nullptr;
    orvex_parse_result why;
    orvex_parse(out.p, out.n, ORVEX_FORMAT_JSON, &back, nullptr, &why);
    if (!back)
        std::fprintf(stderr, "written JSON rejected at line %u column %u: %s\n", why.line, why.column,
                     why.reason);
    FUZZ_CHECK(back != nullptr);
    FUZZ_CHECK(orvex_equal(first, back));
    FUZZ_CHECK(orvex_to_json(back, &again.p, &again.n, flags) == ORVEX_ERR_SUCCESS);
    FUZZ_CHECK(again.n == out.n && std::memcmp(again.p, out.p, out.n) == 0);
    orvex_free(back);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    orvex_t root = fuzz::read_text_checked(data, size, ORVEX_FORMAT_JSON);
    if (!root)
        return 0;
    check_round_trip(root, 0);
    check_round_trip(root, ORVEX_JSON_PRETTY);
    orvex_free(root);
    return 0;
}
