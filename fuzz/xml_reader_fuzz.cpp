// XML reader on arbitrary bytes: it must accept or reject, never misbehave,
// and an error must point inside the input.
#include <cstdint>
#include <cstdlib>

#include "fuzz_check.hpp"
#include "orvex/orvex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    orvex_free(fuzz::read_text_checked(data, size, ORVEX_FORMAT_XML));
    return 0;
}
