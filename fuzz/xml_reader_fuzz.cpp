// XML reader on arbitrary bytes: it must accept or reject, never misbehave,
// and an error must point inside the input.
#include <cstdint>
#include <cstdlib>

#include "fuzz_check.hpp"
#include "orvex/orvex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const char *text = reinterpret_cast<const char *>(data);
    orvex_t root = nullptr;
    orvex_parse_result res;
    orvex_err_t e = orvex_parse(text, size, ORVEX_FORMAT_XML, &root, nullptr, &res);
    FUZZ_CHECK(e == res.code);
    FUZZ_CHECK((e == ORVEX_ERR_SUCCESS) == (root != nullptr));
    FUZZ_CHECK(res.reason != nullptr);
    if (e != ORVEX_ERR_SUCCESS)
        FUZZ_CHECK(res.offset <= size && res.line >= 1 && res.column >= 1);
    orvex_free(root);
    return 0;
}
