// Binary reader on arbitrary bytes. Input without the magic gets it in
// front, so that mutations spend their time past it.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_check.hpp"
#include "orvex/orvex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const char *p = reinterpret_cast<const char *>(data);
    size_t n = size;
    std::vector<char> doc;
    if (size < 8 || std::memcmp(data, "bplist00", 8) != 0) {
        doc.resize(8 + size);
        std::memcpy(doc.data(), "bplist00", 8);
        if (size)
            std::memcpy(doc.data() + 8, data, size);
        p = doc.data();
        n = doc.size();
    }
    orvex_t root = nullptr;
    orvex_parse_result res;
    orvex_err_t e = orvex_parse(p, n, ORVEX_FORMAT_BINARY, &root, nullptr, &res);
    FUZZ_CHECK(e == res.code);
    FUZZ_CHECK((e == ORVEX_ERR_SUCCESS) == (root != nullptr));
    if (e != ORVEX_ERR_SUCCESS)
        FUZZ_CHECK(res.offset <= n && res.line == 0);
    orvex_free(root);
    return 0;
}
