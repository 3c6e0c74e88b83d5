// Detection plus any reader, through the plain entry point.
#include <cstdint>

#include "fuzz_check.hpp"
#include "orvex/orvex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    orvex_t root = nullptr;
    orvex_format_t fmt = ORVEX_FORMAT_PLUTIL;
    orvex_err_t e =
        orvex_from_memory(reinterpret_cast<const char *>(data), static_cast<uint32_t>(size), &root, &fmt);
    FUZZ_CHECK((e == ORVEX_ERR_SUCCESS) == (root != nullptr));
    FUZZ_CHECK(fmt == ORVEX_FORMAT_NONE || fmt == ORVEX_FORMAT_XML || fmt == ORVEX_FORMAT_BINARY ||
               fmt == ORVEX_FORMAT_JSON || fmt == ORVEX_FORMAT_OSTEP);
    // Nothing detected: an unknown encoding, or no bytes at all (refused as empty).
    if (fmt == ORVEX_FORMAT_NONE)
        FUZZ_CHECK(e == (size == 0 ? ORVEX_ERR_PARSE : ORVEX_ERR_FORMAT));
    // A copy must equal its source and outlive it.
    orvex_t copy = orvex_copy(root);
    FUZZ_CHECK(orvex_equal(root, copy));
    orvex_free(root);
    orvex_free(copy);
    return 0;
}
